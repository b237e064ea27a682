// Animate's panels inside a client's windows under a private X server.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QVBoxLayout>
#include <QWidget>
#include <xcb/xcb.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <unistd.h>
#include <vector>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "client/uAutomation.h"
#include "platform/automation/Automation.h"
#include "platform/automation/Wire.h"
#include "platform/gui/ForeignWindow.h"
#include "tests/support/Poll.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

// The X keyboard library passes strndup buffers without a final NUL, which
// the sanitizer's strict string checks report although strndup stops at its
// length. This program (and the server it starts) runs without those checks.
const bool WithoutStrictStringChecks = [] {
  const char *Options = getenv("ASAN_OPTIONS");
  if (!Options || !strstr(Options, "strict_string_checks=1"))
    return false;
  setenv("ASAN_OPTIONS", kvtest::AsanOptionsForX(Options).c_str(), 1);
  std::ifstream Cmdline("/proc/self/cmdline");
  std::vector<std::string> Args;
  for (std::string A; std::getline(Cmdline, A, '\0');)
    Args.push_back(A);
  std::vector<char *> Argv;
  for (auto &A : Args)
    Argv.push_back(A.data());
  Argv.push_back(nullptr);
  execv("/proc/self/exe", Argv.data());
  return false;
}();

constexpr char AnimatorClassId[] = "{A3F00A7E-2BF2-449C-B64D-108A15CD89CE}";

struct Child {
  xcb_window_t Id;
  QRect Geometry;
  bool Mapped;
};

xcb_connection_t *X() { return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection(); }

std::vector<Child> Children(WId Parent) {
  std::vector<Child> Out;
  xcb_connection_t *C = X();
  auto *Tree = xcb_query_tree_reply(C, xcb_query_tree(C, xcb_window_t(Parent)), nullptr);
  if (!Tree)
    return Out;
  const xcb_window_t *Ids = xcb_query_tree_children(Tree);
  for (int i = 0; i < xcb_query_tree_children_length(Tree); ++i) {
    auto *G = xcb_get_geometry_reply(C, xcb_get_geometry(C, Ids[i]), nullptr);
    auto *A = xcb_get_window_attributes_reply(C, xcb_get_window_attributes(C, Ids[i]), nullptr);
    if (G && A)
      Out.push_back({Ids[i], QRect(G->x, G->y, G->width, G->height), A->map_state == XCB_MAP_STATE_VIEWABLE});
    free(G);
    free(A);
  }
  free(Tree);
  return Out;
}

// A client window with a native panel, as the main window's panels are.
std::unique_ptr<QWidget> Panel(QWidget &Window, QRect Where) {
  auto P = std::make_unique<QWidget>(&Window);
  P->setGeometry(Where);
  P->setAttribute(Qt::WA_NativeWindow);
  P->winId();
  P->show();
  return P;
}

void Sync() {
  free(xcb_get_input_focus_reply(X(), xcb_get_input_focus(X()), nullptr));
  QApplication::processEvents();
}

// A private X server and bus, Animate registered, and this process's
// application on that X server.
class Embedding : public testing::Test {
protected:
  void SetUp() override {
    if (const std::string Why = kvtest::Missing(FDisplay, FBus); !Why.empty())
      GTEST_SKIP() << Why;
    QProcess Reg;
    Reg.start(QStringLiteral(KV_BIN_DIR "/Animate"), {QStringLiteral("/REGSERVER")});
    ASSERT_TRUE(Reg.waitForFinished(20000));
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    FApp = std::make_unique<QApplication>(FArgc, FArgv);
    ASSERT_EQ(QApplication::platformName(), "xcb");
  }
  kvtest::IsolatedEnv FEnv;
  // A second screen, so that its root is a root the server's own screen
  // does not have.
  kvtest::VirtualDisplay FDisplay{2};
  kvtest::PrivateBus FBus;
  int FArgc = 1;
  char FName[20] = "animate_embed_tests";
  char *FArgv[2] = {FName, nullptr};
  std::unique_ptr<QApplication> FApp;
};

TEST_F(Embedding, PanelsGoIntoTheClientsWindowsAndComeBackWhenTheyVanish) {
  QWidget Window;
  Window.resize(500, 120);
  auto pnlCart = Panel(Window, QRect(0, 0, 80, 60));
  auto pnlStatus = Panel(Window, QRect(100, 0, 380, 40));
  Window.show();
  Sync();
  ASSERT_TRUE(Children(pnlStatus->winId()).empty());

  auto A = CreateAutomationObject("Animate.TAnimator");
  A->Invoke("SetAnimateParent", {int(pnlCart->winId())});
  A->Invoke("SetStatusParent", {int(pnlStatus->winId())});
  Sync();
  auto Cart = Children(pnlCart->winId());
  ASSERT_EQ(Cart.size(), 1u);
  EXPECT_EQ(Cart[0].Geometry, QRect(1, 1, 55, 45));
  EXPECT_TRUE(Cart[0].Mapped);
  auto Status = Children(pnlStatus->winId());
  ASSERT_EQ(Status.size(), 1u);
  EXPECT_EQ(Status[0].Geometry, QRect(0, 0, 367, 34));
  EXPECT_TRUE(Status[0].Mapped);

  // A handle that names no window, a window of the server itself, or the
  // root of a screen is refused; the panels stay where they are.
  std::vector<xcb_window_t> Roots;
  for (auto It = xcb_setup_roots_iterator(xcb_get_setup(X())); It.rem; xcb_screen_next(&It))
    Roots.push_back(It.data->root);
  ASSERT_EQ(Roots.size(), 2u);
  const struct {
    const char *Case, *Member;
    int Handle;
  } Refused[] = {
      {"no_window", "SetStatusParent", 0x7FFFFFF0},
      {"own_animation", "SetStatusParent", int(Cart[0].Id)},
      {"own_status_panel", "SetAnimateParent", int(Status[0].Id)},
      {"status_into_itself", "SetStatusParent", int(Status[0].Id)},
      {"animation_into_the_root", "SetAnimateParent", int(Roots[0])},
      {"status_into_the_root", "SetStatusParent", int(Roots[0])},
      {"animation_into_another_screens_root", "SetAnimateParent", int(Roots[1])},
      {"status_into_another_screens_root", "SetStatusParent", int(Roots[1])},
  };
  for (const auto &R : Refused) {
    SCOPED_TRACE(R.Case);
    try {
      A->Invoke(R.Member, {R.Handle});
      ADD_FAILURE() << "accepted";
    } catch (const EOleException &E) {
      EXPECT_EQ(E.Kind(), TOleError::Exception);
      EXPECT_STREQ(E.what(), "Invalid window handle");
    }
    Sync();
    ASSERT_EQ(Children(pnlStatus->winId()).size(), 1u);
    EXPECT_EQ(Children(pnlStatus->winId())[0].Id, Status[0].Id);
    EXPECT_TRUE(Children(pnlStatus->winId())[0].Mapped);
    ASSERT_EQ(Children(pnlCart->winId()).size(), 1u);
    EXPECT_EQ(Children(pnlCart->winId())[0].Id, Cart[0].Id);
  }

  // The client's panel goes (as when the client ends); the server carries
  // on and lends the panel again to a new window.
  pnlStatus.reset();
  Sync();
  A->Invoke("DisplayStatus", {std::string("Still here"), false});
  A->Invoke("Start", {});
  auto Again = Panel(Window, QRect(100, 50, 380, 40));
  Sync();
  A->Invoke("SetStatusParent", {int(Again->winId())});
  Sync();
  Status = Children(Again->winId());
  ASSERT_EQ(Status.size(), 1u);
  EXPECT_EQ(Status[0].Geometry, QRect(0, 0, 367, 34));
  EXPECT_TRUE(Status[0].Mapped);
  EXPECT_FALSE(ProxyDead(*A));
  // Released while its panels sit in our windows, the server ends.
  const pid_t Server = ProxyServerPid(*A);
  ASSERT_GT(Server, 0);
  A.reset();
  EXPECT_TRUE(kvtest::WaitProcessGone(Server, 20000));
}

TEST_F(Embedding, TheClientsAnimatorPutsThePanelsIntoItsWindow) {
  QWidget Window;
  Window.resize(500, 120);
  auto pnlCart = Panel(Window, QRect(0, 0, 80, 60));
  auto pnlStatus = Panel(Window, QRect(100, 0, 380, 40));
  Window.show();
  Sync();
  auto A = CreateOleObject("Animate.TAnimator");
  A->SetAnimateParent(pnlCart->winId());
  A->SetStatusParent(pnlStatus->winId());
  A->DisplayStatus("Searching", true);
  // The calls run on their own thread; wait (bounded) for their effect.
  kvtest::PollUntil(
      [&] { return !Children(pnlStatus->winId()).empty() && !Children(pnlCart->winId()).empty(); },
      kvtest::WaitLimitMs, [&] { Sync(); });
  const auto Status = Children(pnlStatus->winId());
  ASSERT_EQ(Status.size(), 1u);
  EXPECT_EQ(Status[0].Geometry, QRect(0, 0, 367, 34));
  const auto Cart = Children(pnlCart->winId());
  ASSERT_EQ(Cart.size(), 1u);
  EXPECT_EQ(Cart[0].Geometry, QRect(1, 1, 55, 45));
  const pid_t Server = kvtest::PrivateBus::OwnerPid(wire::BusNameForClass(AnimatorClassId).toStdString());
  ASSERT_GT(Server, 0);
  // Released before the panels go, as the main window does; the server ends
  // although its panels are still in our windows.
  A.reset();
  EXPECT_TRUE(kvtest::WaitProcessGone(Server, 20000));
  pnlStatus.reset();
  pnlCart.reset();
}

// A panel lent to another program keeps its window under it when a layout
// moves the panels around it after the window has shown, as the main
// window's rows move when its banners and texts come.
TEST_F(Embedding, ALentPanelsWindowFollowsItsPanel) {
  QWidget Window;
  auto *Column = new QVBoxLayout(&Window);
  auto *Above = new QWidget(&Window);
  Above->setFixedHeight(10);
  auto *Row = new QWidget(&Window);
  auto *RowLayout = new QHBoxLayout(Row);
  auto *Beside = new QWidget(Row);
  Beside->setFixedWidth(30);
  auto *Lent = new QWidget(Row);
  Lent->setFixedSize(120, 30);
  RowLayout->addWidget(Beside);
  RowLayout->addWidget(Lent);
  Column->addWidget(Above);
  Column->addWidget(Row);
  Column->addStretch(1);
  Window.resize(400, 200);
  const WId Handle = LendNativeWindow(Lent);
  ASSERT_NE(Handle, 0u);
  Window.show();
  Sync();
  struct TStep {
    const char *Name;
    std::function<void()> Change;
  };
  const TStep Steps[] = {
      {"shown", [] {}},
      {"a row above grows", [&] { Above->setFixedHeight(58); }},
      {"a panel beside grows", [&] { Beside->setFixedWidth(90); }},
      {"a row above goes", [&] { Above->hide(); }},
  };
  for (const TStep &Step : Steps) {
    SCOPED_TRACE(Step.Name);
    Step.Change();
    Sync();
    Sync();
    std::optional<QRect> InX;
    for (const Child &C : Children(Window.winId()))
      if (C.Id == xcb_window_t(Handle))
        InX = C.Geometry;
    ASSERT_TRUE(InX.has_value());
    const qreal Scale = Window.devicePixelRatioF();
    const QPoint At = Lent->mapTo(&Window, QPoint(0, 0));
    EXPECT_EQ(InX->topLeft(), QPoint(qRound(At.x() * Scale), qRound(At.y() * Scale)));
  }
}

}  // namespace
