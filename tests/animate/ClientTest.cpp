// The client's side: its Animator made through the automation layer, against
// the real server on a private bus. Its calls never raise and never wait.
#include <gtest/gtest.h>

#include <QProcess>

#include <chrono>
#include <functional>
#include <csignal>
#include <thread>

#include "client/uAutomation.h"
#include "platform/Registry.h"
#include "platform/automation/Automation.h"
#include "platform/automation/Wire.h"
#include "tests/support/Poll.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TestEnv.h"

namespace {

constexpr char CLSID[] = "{A3F00A7E-2BF2-449C-B64D-108A15CD89CE}";

std::string BusName() { return kv::wire::BusNameForClass(CLSID).toStdString(); }

// The server's process once it has taken its name; 0 if it never does.
pid_t WaitForServer() {
  pid_t P = 0;
  kvtest::PollUntil([&] { return (P = kvtest::PrivateBus::OwnerPid(BusName())) != 0; });
  return P;
}

class ClientAnimator : public testing::Test {
protected:
  void SetUp() override {
    if (!FBus.Started())
      GTEST_SKIP() << "no dbus-daemon";
    QProcess P;
    P.start(QStringLiteral(KV_BIN_DIR "/Animate"), {QStringLiteral("/REGSERVER")});
    ASSERT_TRUE(P.waitForFinished(20000));
  }
  static void CallAll(IAnimator &A) {
    A.SetAnimateParent(0x1234);
    A.SetStatusParent(0x5678);
    A.Start();
    A.DisplayStatus("Searching Alpha", true);
    A.Stop();
  }
  kvtest::IsolatedEnv FEnv;
  kvtest::PrivateBus FBus;
};

TEST_F(ClientAnimator, StartsTheServerAndReleasingEndsIt) {
  auto A = CreateOleObject("Animate.TAnimator");
  ASSERT_NE(A, nullptr);
  CallAll(*A);
  const pid_t S = WaitForServer();
  ASSERT_GT(S, 0);
  A.reset();
  EXPECT_TRUE(kvtest::PrivateBus::WaitNameGone(BusName(), 10000));
  EXPECT_TRUE(kvtest::WaitProcessGone(S, 20000));
}

// The calls only queue work, and the object's end waits for one call at most.
using Clock = std::chrono::steady_clock;
constexpr auto QueueLimit = std::chrono::milliseconds(500);
constexpr auto EndLimit = std::chrono::milliseconds(kv::CallTimeoutMs + 1000);

Clock::duration Timed(const std::function<void()> &F) {
  const auto Began = Clock::now();
  F();
  return Clock::now() - Began;
}

// A registered program that ends at once: the window's end is not held up
// by the wait for a server that will never come.
TEST_F(ClientAnimator, AServerThatEndsAtStartHoldsNothingUp) {
  kv::TRegistry R;
  R.SetRootKey(kv::HKEY_CLASSES_ROOT);
  ASSERT_TRUE(R.OpenKey(std::string("\\CLSID\\") + CLSID + "\\LocalServer32", false));
  R.WriteString("", "/bin/false");
  auto A = CreateOleObject("Animate.TAnimator");
  EXPECT_LT(Timed([&] { CallAll(*A); }), QueueLimit);
  EXPECT_LT(Timed([&] { A.reset(); }), EndLimit);
}

struct FaultCase {
  const char *Name;
  int Signal;
  friend void PrintTo(const FaultCase &C, std::ostream *Out) { *Out << C.Name; }
};
class ServerFault : public ClientAnimator, public testing::WithParamInterface<FaultCase> {};

TEST_P(ServerFault, LeavesTheCallsQuietAndTheObjectCanGo) {
  auto A = CreateOleObject("Animate.TAnimator");
  const pid_t S = WaitForServer();
  ASSERT_GT(S, 0);
  kvtest::KillAtEnd Guard(S);
  A->Start();
  kill(S, GetParam().Signal);
  EXPECT_LT(Timed([&] {
              CallAll(*A);
              CallAll(*A);
            }),
            QueueLimit);
  // Ten calls wait behind a server that does not answer; only the one
  // running is waited for.
  EXPECT_LT(Timed([&] { A.reset(); }), EndLimit);
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
