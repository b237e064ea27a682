// Objects of a local server over a private session bus: calls, errors, a
// hung or killed server, and clients sharing one server.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "platform/automation/Automation.h"
#include "platform/automation/Wire.h"
#include "tests/support/Poll.h"
#include "tests/automation/TestClass.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

const std::string ServerPath = KV_TEST_BIN_DIR "/automation_test_server";
const std::string ClientPath = KV_TEST_BIN_DIR "/automation_test_client";

class Bus : public testing::Test {
protected:
  void SetUp() override {
    if (!FBus.Started())
      GTEST_SKIP() << "no dbus-daemon";
    ASSERT_TRUE(RegisterClassKeys(kvtest::CalcClassInfo(ServerPath)));
  }
  static std::string BusName() { return wire::BusNameForClass(kvtest::CalcCLSID).toStdString(); }
  // Calls and returns the error kind, or nullopt on success.
  static std::optional<TOleError> CallError(IDispatch &O, const std::string &Name, const TOleArgs &Args) {
    try {
      O.Invoke(Name, Args);
      return std::nullopt;
    } catch (const EOleException &E) {
      return E.Kind();
    }
  }
  kvtest::IsolatedEnv FEnv;
  kvtest::PrivateBus FBus;
};

TEST_F(Bus, CreationStartsTheServerOnceAndCallsCarryEveryType) {
  auto A = CreateAutomationObject(kvtest::CalcProgID);
  auto B = CreateAutomationObject("kvtest.calc");
  const pid_t Server = kvtest::PrivateBus::OwnerPid(BusName());
  ASSERT_GT(Server, 0);
  EXPECT_EQ(ProxyServerPid(*A), Server);
  EXPECT_EQ(ProxyServerPid(*B), Server);
  EXPECT_EQ(A->Invoke("Pid", {}), TOleVariant(int(Server)));
  EXPECT_EQ(A->Invoke("add", {40, 2}), TOleVariant(42));
  EXPECT_EQ(B->Invoke("Minus", {}, {{"b", 2}, {"a", 40}}), TOleVariant(38));
  const TOleVariant Values[] = {TOleVariant(-7), TOleVariant(true), TOleVariant(false), TOleVariant(2.25),
                                TOleVariant(std::string("Price \x80 5\xB0")), TOleVariant(std::string()),
                                TOleVariant(TVariantArray2D{2, 3, {"a", "b", "c", "\xE9", "", "f"}})};
  for (const TOleVariant &V : Values)
    EXPECT_EQ(A->Invoke("Echo", {V}), V);
}

TEST_F(Bus, ErrorsOfTheObjectLeaveItWorking) {
  auto A = CreateAutomationObject(kvtest::CalcProgID);
  struct Row {
    const char *Case;
    std::string Member;
    TOleArgs Args;
    TOleError Kind;
  } Rows[] = {
      {"unknown", "Multiply", {1, 2}, TOleError::UnknownName},
      {"not_a_member_name", "Add Two", {1, 2}, TOleError::UnknownName},
      {"too_few", "Add", {1}, TOleError::BadParamCount},
      {"too_many", "Add", {1, 2, 3}, TOleError::BadParamCount},
      {"wrong_type", "Add", {"1", 2}, TOleError::TypeMismatch},
      {"raises", "Fail", {"out of paper"}, TOleError::Exception},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Case);
    EXPECT_EQ(CallError(*A, R.Member, R.Args), R.Kind);
    EXPECT_FALSE(ProxyDead(*A));
    EXPECT_EQ(A->Invoke("Add", {1, 2}), TOleVariant(3));
  }
  try {
    A->Invoke("Fail", {"out of paper"});
  } catch (const EOleException &E) {
    EXPECT_STREQ(E.what(), "out of paper");
  }
}

// A reference to an object lives in its process: neither an argument nor a
// result that is one goes over the bus, and the object stays usable.
TEST_F(Bus, ObjectReferencesDoNotCrossTheBus) {
  const std::shared_ptr<IDispatch> A = CreateAutomationObject(kvtest::CalcProgID);
  struct Row {
    const char *Case;
    std::function<void()> Call;
  } Rows[] = {
      {"object_argument", [&A] { A->Invoke("Echo", {A}); }},
      {"object_argument_by_name", [&A] { A->Invoke("Minus", {1}, {{"B", A}}); }},
      {"no_object_argument", [&A] { A->Invoke("Echo", {std::shared_ptr<IDispatch>()}); }},
      {"object_result", [&A] { A->Invoke("Child", {}); }},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Case);
    try {
      R.Call();
      ADD_FAILURE() << "no error";
    } catch (const EOleException &E) {
      EXPECT_EQ(E.Kind(), TOleError::TypeMismatch);
    }
    EXPECT_FALSE(ProxyDead(*A));
    EXPECT_EQ(A->Invoke("Add", {1, 2}), TOleVariant(3));
  }
}

TEST_F(Bus, ACallDoesNotRunTheCallersEventLoop) {
  auto A = CreateAutomationObject(kvtest::CalcProgID);
  bool Ran = false;
  QTimer::singleShot(0, [&Ran] { Ran = true; });
  QMetaObject::invokeMethod(QCoreApplication::instance(), [&Ran] { Ran = true; }, Qt::QueuedConnection);
  A->Invoke("Sleep", {50});
  A->Invoke("Add", {1, 1});
  EXPECT_FALSE(Ran);
  QCoreApplication::processEvents();
  EXPECT_TRUE(Ran);
}

TEST_F(Bus, CallsFromAnotherProcessWithBadMessagesGetErrors) {
  auto A = CreateAutomationObject(kvtest::CalcProgID);
  const std::string Dest = "--dest=" + BusName();
  struct Row {
    const char *Case;
    QStringList Args;  // after dbus-send's own options
  } Rows[] = {
      {"unknown_member", {"/objects/1", "org.korvandel.Automation.Explode"}},
      {"too_few", {"/objects/1", "org.korvandel.Automation.Add", "int32:1"}},
      {"wrong_type", {"/objects/1", "org.korvandel.Automation.Add", "string:x", "int32:1"}},
      {"unsigned_too_big", {"/objects/1", "org.korvandel.Automation.Add", "uint32:4294967295", "int32:1"}},
      {"bytes", {"/objects/1", "org.korvandel.Automation.Add", "array:byte:1,2", "int32:1"}},
      {"object_path", {"/objects/1", "org.korvandel.Automation.Echo", "objpath:/objects/1"}},
      {"unknown_object", {"/objects/99", "org.korvandel.Automation.Add", "int32:1", "int32:1"}},
      {"no_object_number", {"/objects/x", "org.korvandel.Automation.Add", "int32:1", "int32:1"}},
      {"other_interface", {"/objects/1", "org.example.Other.Add", "int32:1", "int32:1"}},
      {"factory_with_arguments", {"/", "org.korvandel.Automation.CreateObject", "int32:1"}},
      {"factory_unknown", {"/", "org.korvandel.Automation.Destroy"}},
      {"release_of_someone_elses", {"/objects/1", "org.korvandel.Automation.Release"}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Case);
    QProcess P;
    P.start("dbus-send", QStringList{"--session", "--print-reply", QString::fromStdString(Dest)} + R.Args);
    ASSERT_TRUE(P.waitForFinished(10000));
    EXPECT_NE(P.exitCode(), 0) << P.readAllStandardOutput().toStdString();
    EXPECT_TRUE(P.readAllStandardError().contains("Error")) << R.Case;
    EXPECT_EQ(A->Invoke("Add", {2, 2}), TOleVariant(4));
  }
}

TEST_F(Bus, AHungServerFailsTheCallAndTheObjectIsDeadAfterwards) {
  auto A = CreateAutomationObject(kvtest::CalcProgID);
  const pid_t Server = ProxyServerPid(*A);
  ASSERT_GT(Server, 0);
  kill(Server, SIGSTOP);
  EXPECT_EQ(CallError(*A, "Add", {1, 2}), TOleError::Transport);
  EXPECT_TRUE(ProxyDead(*A));
  kill(Server, SIGCONT);
  // Even with the server back, the dead object never calls again.
  EXPECT_EQ(CallError(*A, "Add", {1, 2}), TOleError::Dead);
}

TEST_F(Bus, AServerKilledMidCallFailsTheCall) {
  auto A = CreateAutomationObject(kvtest::CalcProgID);
  const pid_t Server = ProxyServerPid(*A);
  ASSERT_GT(Server, 0);
  const std::string InCall = FEnv / "in-call";
  std::thread Killer([Server, InCall] {
    kvtest::PollUntil([&] { return kvtest::FileExists(InCall); });
    kill(Server, SIGKILL);
  });
  EXPECT_EQ(CallError(*A, "Hold", {InCall, 1500}), TOleError::Transport);
  EXPECT_TRUE(kvtest::FileExists(InCall)) << "the call never reached the server";
  Killer.join();
  EXPECT_TRUE(ProxyDead(*A));
  EXPECT_EQ(CallError(*A, "Add", {1, 2}), TOleError::Dead);
  // A new object comes from a new server.
  auto B = CreateAutomationObject(kvtest::CalcProgID);
  EXPECT_NE(ProxyServerPid(*B), Server);
  EXPECT_EQ(B->Invoke("Add", {1, 2}), TOleVariant(3));
}

TEST_F(Bus, ServerEndsWithTheLastObjectOfThisProcess) {
  auto A = CreateAutomationObject(kvtest::CalcProgID);
  auto B = CreateAutomationObject(kvtest::CalcProgID);
  const pid_t Server = ProxyServerPid(*A);
  ASSERT_GT(Server, 0);
  A.reset();
  EXPECT_EQ(B->Invoke("Add", {1, 2}), TOleVariant(3));
  B.reset();
  EXPECT_TRUE(kvtest::PrivateBus::WaitNameGone(BusName(), 10000));
  EXPECT_TRUE(kvtest::WaitProcessGone(Server, 20000));
}

TEST_F(Bus, AServerWhoseBusEndsEnds) {
  auto A = CreateAutomationObject(kvtest::CalcProgID);
  const pid_t Server = ProxyServerPid(*A);
  ASSERT_GT(Server, 0);
  kvtest::KillAtEnd Guard(Server);
  FBus.Stop();
  EXPECT_TRUE(kvtest::WaitProcessGone(Server, 20000));
}

TEST_F(Bus, IntrospectionShowsTheFactoryAndEveryObjectsMembers) {
  auto A = CreateAutomationObject(kvtest::CalcProgID);
  auto B = CreateAutomationObject(kvtest::CalcProgID);
  const kvtest::Introspection Factory = kvtest::Introspect(BusName(), "/");
  ASSERT_TRUE(Factory.Answered);
  EXPECT_EQ(Factory.Methods, (std::map<std::string, std::vector<std::string>>{{"CreateObject", {"out:Object:o"}}}));
  EXPECT_EQ(Factory.Nodes, std::vector<std::string>{"objects"});
  EXPECT_EQ(kvtest::Introspect(BusName(), "/objects").Nodes, (std::vector<std::string>{"1", "2"}));
  const kvtest::Introspection Object = kvtest::Introspect(BusName(), "/objects/2");
  ASSERT_TRUE(Object.Answered);
  EXPECT_EQ(Object.Methods.at("Add"), (std::vector<std::string>{"A:i", "B:i"}));
  EXPECT_EQ(Object.Methods.at("Echo"), std::vector<std::string>{"Arg1:v"});
  EXPECT_EQ(Object.Methods.at("Fail"), std::vector<std::string>{"Arg1:s"});
  EXPECT_EQ(Object.Methods.at("Log"), std::vector<std::string>{});
  EXPECT_EQ(Object.Methods.at("Hold"), (std::vector<std::string>{"Arg1:s", "Arg2:i"}));
  EXPECT_EQ(Object.Methods.count("Release"), 1u);
  EXPECT_EQ(Object.Methods.size(), 11u);  // the class's ten and Release
  // Introspection is no call of a member: the object works on.
  EXPECT_EQ(B->Invoke("Add", {1, 2}), TOleVariant(3));
  EXPECT_TRUE(kvtest::Introspect(BusName(), "/objects/7").Methods.empty());
}

TEST_F(Bus, AServerStartedForAClientThatNeverAsksEnds) {
  QProcess Server;
  Server.start(QString::fromStdString(ServerPath), {"-Embedding"});
  ASSERT_TRUE(Server.waitForStarted(10000));
  ASSERT_TRUE(kvtest::PollUntil([] { return kvtest::PrivateBus::OwnerPid(BusName()) != 0; }));
  EXPECT_TRUE(Server.waitForFinished(20000));
  EXPECT_EQ(Server.exitCode(), 0);
  EXPECT_EQ(kvtest::PrivateBus::OwnerPid(BusName()), 0);
}

class Clients : public Bus {
protected:
  // Starts a client process; returns the pid of the server it reached.
  pid_t StartClient(QProcess &P) {
    P.start(QString::fromStdString(ClientPath), {kvtest::CalcProgID});
    if (!P.waitForStarted(10000) || !P.waitForReadyRead(15000))
      return 0;
    const QByteArray Line = P.readLine().trimmed();
    return Line.startsWith("pid ") ? pid_t(Line.mid(4).toLong()) : 0;
  }
};

TEST_F(Clients, TwoClientsShareOneServerWhichEndsWhenBothRelease) {
  QProcess P1, P2;
  const pid_t S1 = StartClient(P1);
  const pid_t S2 = StartClient(P2);
  ASSERT_GT(S1, 0);
  EXPECT_EQ(S1, S2);
  P1.write("release\n");
  ASSERT_TRUE(P1.waitForFinished(10000));
  EXPECT_EQ(P1.exitCode(), 0);
  // Still serving the second client.
  auto Probe = CreateAutomationObject(kvtest::CalcProgID);
  EXPECT_EQ(ProxyServerPid(*Probe), S1);
  Probe.reset();
  EXPECT_EQ(kvtest::PrivateBus::OwnerPid(BusName()), S1);
  P2.write("release\n");
  ASSERT_TRUE(P2.waitForFinished(10000));
  EXPECT_TRUE(kvtest::PrivateBus::WaitNameGone(BusName(), 10000));
  EXPECT_TRUE(kvtest::WaitProcessGone(S1, 20000));
}

TEST_F(Clients, KilledClientsLoseTheirObjectsAndTheServerEnds) {
  QProcess P1, P2;
  const pid_t S = StartClient(P1);
  ASSERT_GT(S, 0);
  ASSERT_EQ(StartClient(P2), S);
  P1.kill();
  P1.waitForFinished(10000);
  auto Probe = CreateAutomationObject(kvtest::CalcProgID);
  EXPECT_EQ(ProxyServerPid(*Probe), S);
  Probe.reset();
  P2.kill();
  P2.waitForFinished(10000);
  EXPECT_TRUE(kvtest::PrivateBus::WaitNameGone(BusName(), 10000));
  EXPECT_TRUE(kvtest::WaitProcessGone(S, 20000));
}

TEST(NoBus, CreationFailsAsServerUnavailable) {
  kvtest::IsolatedEnv Env;
  setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (Env / "no-bus")).c_str(), 1);
  ASSERT_TRUE(RegisterClassKeys(kvtest::CalcClassInfo(ServerPath)));
  try {
    CreateAutomationObject(kvtest::CalcProgID);
    FAIL() << "created";
  } catch (const EOleException &E) {
    EXPECT_EQ(E.Kind(), TOleError::ServerUnavailable);
  }
}

// A registered program that ends at once is noticed at once, not after the
// wait for a server that is slow to start.
TEST_F(Bus, AServerProgramThatEndsAtStartFailsCreationAtOnce) {
  ASSERT_TRUE(RegisterClassKeys(kvtest::CalcClassInfo("/bin/false")));
  const auto Began = std::chrono::steady_clock::now();
  try {
    CreateAutomationObject(kvtest::CalcProgID);
    FAIL() << "created";
  } catch (const EOleException &E) {
    EXPECT_EQ(E.Kind(), TOleError::ServerUnavailable);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - Began, std::chrono::milliseconds(ServerStartTimeoutMs / 2));
}

TEST_F(Bus, AServerProgramThatCannotStartFailsCreation) {
  ASSERT_TRUE(RegisterClassKeys(kvtest::CalcClassInfo(FEnv / "no-such-program")));
  try {
    CreateAutomationObject(kvtest::CalcProgID);
    FAIL() << "created";
  } catch (const EOleException &E) {
    EXPECT_EQ(E.Kind(), TOleError::ServerUnavailable);
  }
}

}  // namespace
