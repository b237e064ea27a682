// Calls that run in order on a thread of their own, their failures counted.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <sys/stat.h>

#include "platform/automation/Automation.h"
#include "platform/automation/BackgroundObject.h"
#include "platform/automation/Wire.h"
#include "platform/qt/Messages.h"
#include "tests/automation/TestClass.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

class Background : public testing::Test {
protected:
  void SetUp() override {
    if (!FBus.Started())
      GTEST_SKIP() << "no dbus-daemon";
    ASSERT_TRUE(RegisterClassKeys(kvtest::CalcClassInfo(KV_TEST_BIN_DIR "/automation_test_server")));
  }
  static std::shared_ptr<IDispatch> Make(std::stop_token Ending = {}) { return CreateAutomationObject(kvtest::CalcProgID, Ending); }
  kvtest::IsolatedEnv FEnv;
  kvtest::PrivateBus FBus;
};

TEST_F(Background, RunsTheCallsInOrderAndCountsFailures) {
  TBackgroundObject B(Make);
  B.Post("Append", {std::string("a")});
  B.Post("Append", {std::string("b")});
  B.Post("Explode", {});
  B.Post("Append", {1});
  B.Post("append", {std::string("c")});
  B.Flush();
  EXPECT_EQ(B.Failures(), 2);
  auto Reader = Make();
  EXPECT_EQ(Reader->Invoke("Log", {}), TOleVariant(std::string("abc")));
}

TEST_F(Background, AHungServerFailsEveryCallWithoutHoldingUpThePoster) {
  TBackgroundObject B(Make);
  B.Flush();
  const pid_t Server = kvtest::PrivateBus::OwnerPid(wire::BusNameForClass(kvtest::CalcCLSID).toStdString());
  ASSERT_GT(Server, 0);
  kill(Server, SIGSTOP);
  for (int i = 0; i < 3; ++i)
    B.Post("Add", {i, i});
  B.Flush();
  kill(Server, SIGCONT);
  EXPECT_EQ(B.Failures(), 3);
  // The first failure ended the object: later calls fail too.
  B.Post("Add", {1, 1});
  B.Flush();
  EXPECT_EQ(B.Failures(), 4);
}

TEST_F(Background, AnObjectThatCannotBeMadeFailsEveryCall) {
  TBackgroundObject B([](std::stop_token) { return CreateAutomationObject("KvTest.Nothing"); });
  B.Post("Add", {1, 1});
  B.Post("Add", {2, 2});
  B.Flush();
  EXPECT_EQ(B.Failures(), 3);
}

// A server that starts but never answers holds the end up no longer than one
// call's limit, though the creation would wait far longer for it.
TEST_F(Background, EndingDoesNotWaitForAServerThatNeverAnswers) {
  const std::string Script = FEnv / "silent", PidFile = FEnv / "silent.pid";
  kvtest::WriteFile(Script, "#!/bin/sh\necho $$ > '" + PidFile + "'\nexec sleep 60\n");
  ASSERT_EQ(chmod(Script.c_str(), 0700), 0);
  ASSERT_TRUE(RegisterClassKeys(kvtest::CalcClassInfo(Script)));
  kvtest::KillAtEnd Guard;
  std::optional<TBackgroundObject> B;
  B.emplace(Make);
  B->Post("Add", {1, 1});
  ASSERT_TRUE(kv::WaitUntil([&] { return kvtest::ReadFile(PidFile).find('\n') != std::string::npos; }, 20000));
  Guard.Set(pid_t(std::stol(kvtest::ReadFile(PidFile))));
  const auto Began = std::chrono::steady_clock::now();
  B.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - Began, std::chrono::milliseconds(CallTimeoutMs));
}

TEST_F(Background, EndingReleasesTheObject) {
  {
    TBackgroundObject B(Make);
    B.Post("Add", {1, 1});
    B.Flush();
    ASSERT_EQ(B.Failures(), 0);
  }
  EXPECT_TRUE(kvtest::PrivateBus::WaitNameGone(wire::BusNameForClass(kvtest::CalcCLSID).toStdString(), 10000));
}

}  // namespace
