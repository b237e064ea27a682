// The client's side: its Animator made through the automation layer, against
// the real server on a private bus.
#include <gtest/gtest.h>

#include <QProcess>

#include <csignal>

#include "client/uAutomation.h"
#include "platform/automation/Wire.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TestEnv.h"

namespace {

constexpr char CLSID[] = "{A3F00A7E-2BF2-449C-B64D-108A15CD89CE}";

class ClientAnimator : public testing::Test {
protected:
  void SetUp() override {
    if (!FBus.Started())
      GTEST_SKIP() << "no dbus-daemon";
    QProcess P;
    P.start(QStringLiteral(KV_BIN_DIR "/Animate"), {QStringLiteral("/REGSERVER")});
    ASSERT_TRUE(P.waitForFinished(20000));
  }
  static pid_t Server() { return kvtest::PrivateBus::OwnerPid(kv::wire::BusNameForClass(CLSID).toStdString()); }
  // Runs every member the window uses; true when all failed with EOleSysError.
  static bool AllFail(IAnimator &A) {
    int Failed = 0;
    const std::function<void()> Calls[] = {
        [&] { A.Start(); }, [&] { A.Stop(); }, [&] { A.SetAnimateParent(1); },
        [&] { A.DisplayStatus("x", false); }, [&] { A.SetStatusParent(1); }};
    for (const auto &Call : Calls) {
      try {
        Call();
      } catch (const EOleSysError &) {
        ++Failed;
      }
    }
    return Failed == 5;
  }
  kvtest::IsolatedEnv FEnv;
  kvtest::PrivateBus FBus;
};

TEST_F(ClientAnimator, CallsTheServersMembers) {
  auto A = CreateOleObject("Animate.TAnimator");
  ASSERT_NE(A, nullptr);
  A->SetAnimateParent(0x1234);
  A->SetStatusParent(0x5678);
  A->Start();
  A->DisplayStatus("Searching Alpha", true);
  A->Stop();
  EXPECT_GT(Server(), 0);
}

struct FaultCase {
  const char *Name;
  int Signal;
  friend void PrintTo(const FaultCase &C, std::ostream *Out) { *Out << C.Name; }
};
class ServerFault : public ClientAnimator, public testing::WithParamInterface<FaultCase> {};

TEST_P(ServerFault, MakesEveryLaterCallFail) {
  auto A = CreateOleObject("Animate.TAnimator");
  A->Start();
  const pid_t S = Server();
  ASSERT_GT(S, 0);
  kill(S, GetParam().Signal);
  EXPECT_THROW(A->DisplayStatus("Searching", false), EOleSysError);
  if (GetParam().Signal == SIGSTOP)
    kill(S, SIGCONT);
  EXPECT_TRUE(AllFail(*A));
}

INSTANTIATE_TEST_SUITE_P(Cases, ServerFault,
                         testing::Values(FaultCase{"killed", SIGKILL}, FaultCase{"hung", SIGSTOP}),
                         [](const testing::TestParamInfo<FaultCase> &I) { return std::string(I.param.Name); });

TEST(ClientAnimatorUnregistered, CreationFailsWithInvalidClassString) {
  kvtest::IsolatedEnv Env;
  try {
    CreateOleObject("Animate.TAnimator");
    FAIL() << "created";
  } catch (const EOleSysError &E) {
    EXPECT_STREQ(E.what(), "Invalid class string");
  }
}

}  // namespace
