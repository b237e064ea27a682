// The other process of the window search tests.
//   winstate_helper beacon <class> <title> <ms>: answers knocks, prints "ready"
//     once listening and "shown" for each knock; ends after <ms>.
//   winstate_helper knock <class> <title> <ms>: exit code 0 when a window
//     answered, 1 when none did.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "platform/qt/WindowSearch.h"

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  if (argc != 5)
    return 2;
  const int ms = std::atoi(argv[4]);
  if (std::strcmp(argv[1], "knock") == 0)
    return kv::KnockOnWindow(argv[2], argv[3], ms) ? 0 : 1;
  if (std::strcmp(argv[1], "beacon") != 0)
    return 2;
  kv::TWindowBeacon beacon(argv[2], argv[3]);
  beacon.OnShow = [] {
    std::printf("shown\n");
    std::fflush(stdout);
  };
  if (!beacon.Listen()) {
    std::printf("busy\n");
    return 3;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  QTimer::singleShot(ms, &app, &QCoreApplication::quit);
  return app.exec();
}
