// The client program as a user runs it, under a private X server and bus
// with the demo servers: however it ends, the Animate it started ends too.
#include <gtest/gtest.h>

#include <QProcess>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Registry.h"
#include "platform/automation/Automation.h"
#include "platform/automation/Wire.h"
#include "tests/demo/DemoFixture.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TestEnv.h"

namespace {

constexpr char CLSID[] = "{A3F00A7E-2BF2-449C-B64D-108A15CD89CE}";
constexpr char Title[] = "Korvandel(tm)";

std::string BusName() { return kv::wire::BusNameForClass(CLSID).toStdString(); }

template <class F> bool Poll(F Condition, int LimitMs) {
  const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(LimitMs);
  while (!Condition()) {
    if (std::chrono::steady_clock::now() >= End)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// The test's own connection to the private X server, playing the user.
class TUser {
public:
  TUser() : FX(xcb_connect(nullptr, nullptr)) {}
  ~TUser() { xcb_disconnect(FX); }
  bool Connected() const { return !xcb_connection_has_error(FX); }

  // The mapped top-level window with that title, or 0.
  xcb_window_t Find(const std::string &Name) {
    const xcb_window_t Root = xcb_setup_roots_iterator(xcb_get_setup(FX)).data->root;
    auto *Tree = xcb_query_tree_reply(FX, xcb_query_tree(FX, Root), nullptr);
    if (!Tree)
      return 0;
    xcb_window_t Found = 0;
    const xcb_window_t *Ids = xcb_query_tree_children(Tree);
    for (int i = 0; i < xcb_query_tree_children_length(Tree) && !Found; ++i) {
      auto *A = xcb_get_window_attributes_reply(FX, xcb_get_window_attributes(FX, Ids[i]), nullptr);
      const bool Mapped = A && A->map_state == XCB_MAP_STATE_VIEWABLE;
      free(A);
      auto *P = xcb_get_property_reply(
          FX, xcb_get_property(FX, 0, Ids[i], XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
      if (P && Mapped &&
          std::string(static_cast<const char *>(xcb_get_property_value(P)), size_t(xcb_get_property_value_length(P))) ==
              Name)
        Found = Ids[i];
      free(P);
    }
    free(Tree);
    return Found;
  }

  // File > Exit by its keys, Ctrl+X, typed into the window.
  void TypeCtrl(xcb_window_t Window, char Key) {
    xcb_set_input_focus(FX, XCB_INPUT_FOCUS_POINTER_ROOT, Window, XCB_CURRENT_TIME);
    const xcb_keycode_t Code = KeyCode(static_cast<uint32_t>(Key));
    for (const uint8_t Type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
      xcb_key_press_event_t E{};
      E.response_type = Type;
      E.detail = Code;
      E.time = XCB_CURRENT_TIME;
      E.root = xcb_setup_roots_iterator(xcb_get_setup(FX)).data->root;
      E.event = Window;
      E.child = XCB_WINDOW_NONE;
      E.same_screen = 1;
      E.state = XCB_MOD_MASK_CONTROL;
      xcb_send_event(FX, 0, Window, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE,
                     reinterpret_cast<const char *>(&E));
    }
    xcb_flush(FX);
  }

private:
  xcb_keycode_t KeyCode(uint32_t Sym) {
    const xcb_setup_t *S = xcb_get_setup(FX);
    const int Count = S->max_keycode - S->min_keycode + 1;
    auto *M = xcb_get_keyboard_mapping_reply(FX, xcb_get_keyboard_mapping(FX, S->min_keycode, uint8_t(Count)), nullptr);
    xcb_keycode_t Code = 0;
    if (M) {
      const xcb_keysym_t *Syms = xcb_get_keyboard_mapping_keysyms(M);
      for (int k = 0; k < Count && !Code; ++k)
        for (int j = 0; j < M->keysyms_per_keycode; ++j)
          if (Syms[k * M->keysyms_per_keycode + j] == Sym)
            Code = xcb_keycode_t(S->min_keycode + k);
      free(M);
    }
    return Code;
  }
  xcb_connection_t *FX;
};

class Lifetime : public testing::Test {
protected:
  void SetUp() override {
    if (const std::string Why = kvtest::Missing(FDisplay, FBus); !Why.empty())
      GTEST_SKIP() << Why;
    std::filesystem::create_directories(FEnv / "demo");
    FDemo = std::make_unique<demotest::TDemoServer>(FEnv / "demo");
    ASSERT_TRUE(FDemo->Started());
    ASSERT_EQ(Run(KV_DEMO_SETUP, {"DEMO1001", "parts4all"}), 0);
    ASSERT_EQ(Run(KV_BIN_DIR "/Animate", {"/REGSERVER"}), 0);
  }
  static int Run(const QString &Program, const QStringList &Args) {
    QProcess P;
    P.start(Program, Args);
    return P.waitForFinished(30000) && P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
  }
  // The client as the user starts it; its window up and its Animate serving.
  void StartClient() {
    QProcessEnvironment E = QProcessEnvironment::systemEnvironment();
    E.insert("QT_QPA_PLATFORM", "xcb");
    E.insert("KORVANDEL_HOSTS", QString::fromStdString(FDemo->Hosts()));
    E.insert("KORVANDEL_DIALOGS", "stderr");
    // The client and the server it starts talk to X.
    if (E.contains("ASAN_OPTIONS"))
      E.insert("ASAN_OPTIONS", QString::fromStdString(kvtest::AsanOptionsForX(E.value("ASAN_OPTIONS").toStdString())));
    FClient.setProcessEnvironment(E);
    FClient.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FClient.start(KV_BIN_DIR "/Korvandel", {});
    ASSERT_TRUE(FClient.waitForStarted(10000));
    ASSERT_TRUE(FUser.Connected());
    ASSERT_TRUE(Poll([&] { return (FWindow = FUser.Find(Title)) != 0; }, 30000)) << "no window";
  }
  pid_t WaitForServer() {
    pid_t Pid = 0;
    Poll([&] { return (Pid = kvtest::PrivateBus::OwnerPid(BusName())) != 0; }, 30000);
    FServerGuard.Set(Pid);
    return Pid;
  }

  kvtest::IsolatedEnv FEnv;
  kvtest::VirtualDisplay FDisplay;
  kvtest::PrivateBus FBus;
  std::unique_ptr<demotest::TDemoServer> FDemo;
  TUser FUser;
  QProcess FClient;  // killed with the test, should it still run
  xcb_window_t FWindow = 0;
  kvtest::KillAtEnd FServerGuard;
};

TEST_F(Lifetime, ClosedFromItsMenuTheClientTakesAnimateWithIt) {
  ASSERT_NO_FATAL_FAILURE(StartClient());
  const pid_t Server = WaitForServer();
  ASSERT_GT(Server, 0);
  FUser.TypeCtrl(FWindow, 'x');
  EXPECT_TRUE(FClient.waitForFinished(30000)) << "the client did not close";
  EXPECT_TRUE(kvtest::WaitProcessGone(Server, 20000)) << "Animate stayed";
}

TEST_F(Lifetime, KilledTheClientTakesAnimateWithIt) {
  ASSERT_NO_FATAL_FAILURE(StartClient());
  const pid_t Server = WaitForServer();
  ASSERT_GT(Server, 0);
  FClient.kill();
  ASSERT_TRUE(FClient.waitForFinished(10000));
  EXPECT_TRUE(kvtest::WaitProcessGone(Server, 20000)) << "Animate stayed";
}

// A registered program that ends at once: the client closes from its menu
// as soon as its window is up, without waiting for a server to come.
TEST_F(Lifetime, AServerThatEndsAtStartHoldsNoCloseUp) {
  kv::TRegistry R;
  R.SetRootKey(kv::HKEY_CLASSES_ROOT);
  ASSERT_TRUE(R.OpenKey(std::string("\\CLSID\\") + CLSID + "\\LocalServer32", false));
  R.WriteString("", "/bin/false");
  ASSERT_NO_FATAL_FAILURE(StartClient());
  FUser.TypeCtrl(FWindow, 'x');
  const auto Began = std::chrono::steady_clock::now();
  ASSERT_TRUE(FClient.waitForFinished(30000)) << "the client did not close";
  EXPECT_LT(std::chrono::steady_clock::now() - Began, std::chrono::milliseconds(kv::CallTimeoutMs + 3000));
}

}  // namespace
