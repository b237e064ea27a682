// The automation layer by hand: how much the animation server delays the
// client's window, and the round trip of one late-bound call.
//
//   build/bench/automation_bench [rounds] [calls]
//
// Runs under a private X server and session bus of its own. The window's
// appearance is the moment the client's main window ("Korvandel(tm)") is
// mapped on the X server, measured from the client's launch; each round
// launches it without the server registered, with the server registered but
// not running (the client starts it), and with the server already running.
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>
#include <xcb/xcb.h>

#include "platform/automation/Automation.h"
#include "platform/automation/Wire.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TestEnv.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr char CLSID[] = "{A3F00A7E-2BF2-449C-B64D-108A15CD89CE}";
const QString BinDir = QStringLiteral(KV_BIN_DIR);

std::string BusName() { return kv::wire::BusNameForClass(CLSID).toStdString(); }

void RunAnimate(const char *Switch) {
  QProcess P;
  P.start(BinDir + "/Animate", {QString::fromLatin1(Switch)});
  P.waitForFinished(20000);
}

// Whether a mapped top-level window's name starts with the main window's.
bool MainWindowMapped(xcb_connection_t *C, xcb_window_t Root) {
  bool Found = false;
  auto *Tree = xcb_query_tree_reply(C, xcb_query_tree(C, Root), nullptr);
  if (!Tree)
    return false;
  const xcb_window_t *Ids = xcb_query_tree_children(Tree);
  for (int i = 0; i < xcb_query_tree_children_length(Tree) && !Found; ++i) {
    auto *A = xcb_get_window_attributes_reply(C, xcb_get_window_attributes(C, Ids[i]), nullptr);
    const bool Viewable = A && A->map_state == XCB_MAP_STATE_VIEWABLE;
    free(A);
    if (!Viewable)
      continue;
    auto *P = xcb_get_property_reply(
        C, xcb_get_property(C, 0, Ids[i], XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr);
    if (P) {
      const std::string Name(static_cast<const char *>(xcb_get_property_value(P)), xcb_get_property_value_length(P));
      Found = Name.rfind("Korvandel(tm)", 0) == 0;
      free(P);
    }
  }
  free(Tree);
  return Found;
}

// Milliseconds from launch to the main window on the screen; -1 on failure.
double TimeToWindow(xcb_connection_t *C, xcb_window_t Root) {
  QProcess Client;
  Client.setWorkingDirectory(BinDir);
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert("QT_QPA_PLATFORM", "xcb");
  // The maker's server refuses at once; nothing waits on a name look-up.
  Env.insert("KORVANDEL_SERVER", "127.0.0.1:9");
  Client.setProcessEnvironment(Env);
  Client.setProgram(BinDir + "/KorvandelEx");
  Client.setArguments({"QZBOOTSTRAPPED"});
  const auto Start = Clock::now();
  Client.start();
  double Ms = -1;
  while (Clock::now() - Start < std::chrono::seconds(30)) {
    if (MainWindowMapped(C, Root)) {
      Ms = std::chrono::duration<double, std::milli>(Clock::now() - Start).count();
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Client.kill();
  Client.waitForFinished(10000);
  return Ms;
}

double Median(std::vector<double> V) {
  std::sort(V.begin(), V.end());
  return V.empty() ? 0 : V[V.size() / 2];
}

double Percentile(std::vector<double> V, double P) {
  std::sort(V.begin(), V.end());
  return V.empty() ? 0 : V[std::min(V.size() - 1, size_t(P * double(V.size())))];
}

}  // namespace

int main(int argc, char **argv) {
  const int Rounds = argc > 1 ? atoi(argv[1]) : 10;
  const int Calls = argc > 2 ? atoi(argv[2]) : 10000;
  kvtest::IsolatedEnv Home;
  kvtest::VirtualDisplay Display;
  if (!Display.Started()) {
    fprintf(stderr, "automation_bench: needs Xvfb\n");
    return 1;
  }
  kvtest::PrivateBus Bus;
  if (!Bus.Started()) {
    fprintf(stderr, "automation_bench: needs dbus-daemon\n");
    return 1;
  }
  QCoreApplication App(argc, argv);
  xcb_connection_t *C = xcb_connect(nullptr, nullptr);
  const xcb_window_t Root = xcb_setup_roots_iterator(xcb_get_setup(C)).data->root;

  std::vector<double> Absent, Cold, Warm;
  // The three kinds take turns in a rotating order, so a drift in the
  // machine's load falls on each alike.
  for (int R = 0; R < Rounds; ++R) {
    for (int K = 0; K < 3; ++K) {
      switch ((R + K) % 3) {
      case 0:
        RunAnimate("/UNREGSERVER");
        Absent.push_back(TimeToWindow(C, Root));
        break;
      case 1:
        RunAnimate("/REGSERVER");
        Cold.push_back(TimeToWindow(C, Root));
        // The client may have started the server just before it was ended;
        // that one gives up after a while.
        for (int i = 0; i < 100 && kvtest::PrivateBus::OwnerPid(BusName()) == 0; ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        kvtest::PrivateBus::WaitNameGone(BusName(), 10000);
        break;
      case 2: {
        RunAnimate("/REGSERVER");
        // A server already running, held by this process.
        std::shared_ptr<kv::IDispatch> Holder;
        try {
          Holder = kv::CreateAutomationObject("Animate.TAnimator");
        } catch (const std::exception &E) {
          fprintf(stderr, "automation_bench: %s\n", E.what());
          return 1;
        }
        Warm.push_back(TimeToWindow(C, Root));
        Holder.reset();
        kvtest::PrivateBus::WaitNameGone(BusName(), 10000);
        break;
      }
      }
    }
  }
  const double A = Median(Absent), Co = Median(Cold), W = Median(Warm);
  const double MinA = Percentile(Absent, 0), MinCo = Percentile(Cold, 0), MinW = Percentile(Warm, 0);
  printf("window appears after launch, %d launches each:      median            fastest\n", Rounds);
  printf("  server absent                               %8.1f ms          %8.1f ms\n", A, MinA);
  printf("  server started by the client                %8.1f ms (%+5.1f%%) %8.1f ms (%+5.1f%%)\n", Co,
         100.0 * (Co - A) / A, MinCo, 100.0 * (MinCo - MinA) / MinA);
  printf("  server already running                      %8.1f ms (%+5.1f%%) %8.1f ms (%+5.1f%%)\n", W,
         100.0 * (W - A) / A, MinW, 100.0 * (MinW - MinA) / MinA);

  RunAnimate("/REGSERVER");
  auto Object = kv::CreateAutomationObject("Animate.TAnimator");
  for (int i = 0; i < 200; ++i)
    Object->Invoke("DisplayStatus", {std::string("Searching Alpha"), false});
  std::vector<double> Us;
  Us.reserve(size_t(Calls));
  for (int i = 0; i < Calls; ++i) {
    const auto T0 = Clock::now();
    Object->Invoke("DisplayStatus", {std::string("Searching Alpha"), (i & 1) != 0});
    Us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - T0).count());
  }
  printf("late-bound call DisplayStatus over %d calls: median %.1f us, 99th percentile %.1f us\n", Calls,
         Median(Us), Percentile(Us, 0.99));
  Object.reset();
  xcb_disconnect(C);
  return 0;
}
