// A client process for the lifetime tests: creates one object of the class
// named on the command line, prints "pid <server pid>", then releases the
// object and ends when a line "release" arrives on its input.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "platform/automation/Bus.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/automation/Automation.h"

int main(int argc, char **argv) {
  QCoreApplication App(argc, argv);
  if (argc < 2)
    return 2;
  try {
    auto Object = kv::CreateAutomationObject(argv[1]);
    printf("pid %ld\n", kv::ProxyServerPid(*Object));
    fflush(stdout);
    std::string Line;
    while (std::getline(std::cin, Line) && Line != "release") {
    }
    Object.reset();
    // The release is sent without awaiting an answer; let it leave first.
    kv::SessionBus().interface()->serviceOwner(QStringLiteral("org.freedesktop.DBus"));
  } catch (const std::exception &E) {
    printf("error %s\n", E.what());
    return 1;
  }
  return 0;
}
