// The program Animate: its registration, and its objects on a private bus.
#include <gtest/gtest.h>

#include <QProcess>

#include <csignal>
#include <map>
#include <set>
#include <sys/resource.h>
#include <vector>

#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/automation/Automation.h"
#include "platform/automation/Wire.h"
#include "platform/qt/Messages.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

const QString AnimatePath = QStringLiteral(KV_BIN_DIR "/Animate");
const QString ClientPath = QStringLiteral(KV_TEST_BIN_DIR "/automation_test_client");
constexpr char CLSID[] = "{A3F00A7E-2BF2-449C-B64D-108A15CD89CE}";
constexpr char LibID[] = "{FBBCD3A8-1CC1-4CE4-A854-6D7653DF1F1E}";
constexpr char IID[] = "{EC2A8564-062E-457D-9EBF-36446E5B1FED}";

// Unwritable: the program may create no file with anything in it, which
// holds for root too.
void NoWrites(QProcess &P) {
  P.setChildProcessModifier([] {
    const rlimit None{0, 0};
    setrlimit(RLIMIT_FSIZE, &None);
    signal(SIGXFSZ, SIG_IGN);
  });
}

int RunAnimate(const QString &Switch, bool Writable = true) {
  QProcess P;
  if (!Writable)
    NoWrites(P);
  P.start(AnimatePath, {Switch});
  if (!P.waitForFinished(20000))
    return -1;
  return P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
}

// Every key below the root with its string values, "key|name=value".
void Collect(TRegistry &R, const std::string &Key, std::set<std::string> &Out) {
  if (!R.OpenKeyReadOnly("\\" + Key))
    return;
  TStringList Values, Keys;
  R.GetValueNames(Values);
  R.GetKeyNames(Keys);
  Out.insert(Key + "|");
  for (int i = 0; i < Values.Count(); ++i)
    Out.insert(Key + "|" + Values[i] + "=" + R.ReadString(Values[i]));
  R.CloseKey();
  for (int i = 0; i < Keys.Count(); ++i)
    Collect(R, Key.empty() ? Keys[i] : Key + "\\" + Keys[i], Out);
}

std::set<std::string> ClassesRoot() {
  TRegistry R;
  R.SetRootKey(HKEY_CLASSES_ROOT);
  std::set<std::string> Out;
  Collect(R, "", Out);
  return Out;
}

void Seed(const std::string &Key, const std::string &Value) {
  TRegistry R;
  R.SetRootKey(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(R.OpenKey("\\" + Key, true));
  R.WriteString("", Value);
}

struct SwitchCase {
  const char *Name, *Register, *Unregister;
  friend void PrintTo(const SwitchCase &C, std::ostream *Out) { *Out << C.Name; }
};
class Registration : public testing::TestWithParam<SwitchCase> {};

TEST_P(Registration, WritesExactlyTheKeysAndRemovesExactlyThem) {
  kvtest::IsolatedEnv Env;
  // Another class and another version of the library stay as they are.
  Seed("CLSID\\{00000000-1111-2222-3333-444444444444}\\LocalServer32", "/opt/other");
  Seed(std::string("TypeLib\\") + LibID + "\\2.0", "Animate Library 2");
  const std::set<std::string> Before = ClassesRoot();
  const std::string FileBefore = kvtest::ReadFile(Env / "config/registry");

  ASSERT_EQ(RunAnimate(QString::fromLatin1(GetParam().Register)), 0);
  const std::set<std::string> After = ClassesRoot();
  std::set<std::string> Added;
  for (const std::string &E : After)
    if (!Before.count(E))
      Added.insert(E);
  const std::string Exe = AnimatePath.toStdString();
  const std::string C = std::string("CLSID\\") + CLSID, T = std::string("TypeLib\\") + LibID,
                    I = std::string("Interface\\") + IID;
  const std::set<std::string> Expected = {
      "Animate.TAnimator|",
      "Animate.TAnimator|=TAnimator Object",
      "Animate.TAnimator\\Clsid|",
      "Animate.TAnimator\\Clsid|=" + std::string(CLSID),
      C + "|",
      C + "|=TAnimator Object",
      C + "\\LocalServer32|",
      C + "\\LocalServer32|=" + Exe,
      C + "\\ProgID|",
      C + "\\ProgID|=Animate.TAnimator",
      C + "\\TypeLib|",
      C + "\\TypeLib|=" + LibID,
      C + "\\Version|",
      C + "\\Version|=1.0",
      T + "\\1.0|",
      T + "\\1.0|=Animate Library",
      T + "\\1.0\\0|",
      T + "\\1.0\\0\\win32|",
      T + "\\1.0\\0\\win32|=" + Exe,
      T + "\\1.0\\FLAGS|",
      T + "\\1.0\\FLAGS|=0",
      T + "\\1.0\\HELPDIR|",
      T + "\\1.0\\HELPDIR|=" + ExtractFileDir(Exe),
      "Interface|",
      I + "|",
      I + "|=ITAnimator",
      I + "\\ProxyStubClsid32|",
      I + "\\ProxyStubClsid32|={00020424-0000-0000-C000-000000000046}",
      I + "\\TypeLib|",
      I + "\\TypeLib|=" + LibID,
      I + "\\TypeLib|Version=1.0",
  };
  EXPECT_EQ(Added, Expected);

  ASSERT_EQ(RunAnimate(QString::fromLatin1(GetParam().Unregister)), 0);
  EXPECT_EQ(ClassesRoot(), Before);
  EXPECT_EQ(kvtest::ReadFile(Env / "config/registry"), FileBefore);
}

INSTANTIATE_TEST_SUITE_P(Switches, Registration,
                         testing::Values(SwitchCase{"slash_upper", "/REGSERVER", "/UNREGSERVER"},
                                         SwitchCase{"dash_lower", "-regserver", "-unregserver"},
                                         SwitchCase{"mixed", "/RegServer", "-UnRegServer"}),
                         [](const testing::TestParamInfo<SwitchCase> &I) { return std::string(I.param.Name); });

TEST(Registration, UnregisteringWhatIsNotThereEndsWithZero) {
  kvtest::IsolatedEnv Env;
  EXPECT_EQ(RunAnimate("/UNREGSERVER"), 0);
  EXPECT_TRUE(ClassesRoot().size() <= 1);
}

// A registration that cannot be written (or removed) is a failure.
TEST(Registration, AnUnwritableRegistryFailsBothSwitches) {
  kvtest::IsolatedEnv Env;
  ASSERT_EQ(RunAnimate("/REGSERVER", false), 1);
  EXPECT_FALSE(kvtest::FileExists(Env / "config/registry"));
  ASSERT_EQ(RunAnimate("/REGSERVER"), 0);
  const std::string Registered = kvtest::ReadFile(Env / "config/registry");
  EXPECT_EQ(RunAnimate("/UNREGSERVER", false), 1);
  EXPECT_EQ(kvtest::ReadFile(Env / "config/registry"), Registered);
}

class Served : public testing::Test {
protected:
  void SetUp() override {
    if (!FBus.Started())
      GTEST_SKIP() << "no dbus-daemon";
    ASSERT_EQ(RunAnimate("/REGSERVER"), 0);
  }
  static std::string BusName() { return wire::BusNameForClass(CLSID).toStdString(); }
  kvtest::IsolatedEnv FEnv;
  kvtest::PrivateBus FBus;
};

TEST_F(Served, TheClientsCallsSucceed) {
  auto A = CreateAutomationObject("Animate.TAnimator");
  A->Invoke("SetAnimateParent", {1234});
  A->Invoke("SetStatusParent", {5678});
  A->Invoke("Start", {});
  A->Invoke("DisplayStatus", {std::string("Searching \x80"), true});
  A->Invoke("Stop", {});
  const pid_t Server = ProxyServerPid(*A);
  ASSERT_GT(Server, 0);
  A.reset();
  EXPECT_TRUE(kvtest::PrivateBus::WaitNameGone(BusName(), 10000));
  EXPECT_TRUE(kvtest::WaitProcessGone(Server, 20000));
}

TEST_F(Served, IntrospectionListsTheFiveMethods) {
  auto A = CreateAutomationObject("Animate.TAnimator");
  const kvtest::Introspection I = kvtest::Introspect(BusName(), "/objects/1");
  ASSERT_TRUE(I.Answered);
  const std::map<std::string, std::vector<std::string>> Expected = {
      {"Start", {}},
      {"Stop", {}},
      {"SetAnimateParent", {"Value:i"}},
      {"DisplayStatus", {"strStatus:s", "bFlash:b"}},
      {"SetStatusParent", {"Value:i"}},
      {"Release", {}},
  };
  EXPECT_EQ(I.Methods, Expected);
}

// However it was started, a server whose bus has gone ends: nobody can
// reach it any more.
class BusGone : public Served, public testing::WithParamInterface<bool> {};

TEST_P(BusGone, TheServerEnds) {
  QProcess ByHand;
  if (GetParam()) {
    ByHand.start(AnimatePath, {});
    ASSERT_TRUE(ByHand.waitForStarted(10000));
    ASSERT_TRUE(kv::WaitUntil([&] { return kvtest::PrivateBus::OwnerPid(BusName()) != 0; }, 20000));
  }
  auto A = CreateAutomationObject("Animate.TAnimator");
  const pid_t Server = ProxyServerPid(*A);
  ASSERT_GT(Server, 0);
  kvtest::KillAtEnd Guard(Server);
  FBus.Stop();
  EXPECT_TRUE(kvtest::WaitProcessGone(Server, 20000));
}

INSTANTIATE_TEST_SUITE_P(Started, BusGone, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool> &I) { return std::string(I.param ? "by_hand" : "for_a_client"); });

TEST_F(Served, BadCallsFromAnotherProcessGetErrorsAndTheServerRuns) {
  auto A = CreateAutomationObject("Animate.TAnimator");
  struct Row {
    const char *Case;
    QStringList Args;
  } Rows[] = {
      {"unknown_member", {"/objects/1", "org.korvandel.Automation.Animate"}},
      {"missing_flag", {"/objects/1", "org.korvandel.Automation.DisplayStatus", "string:x"}},
      {"handle_as_text", {"/objects/1", "org.korvandel.Automation.SetStatusParent", "string:12"}},
      {"text_as_number", {"/objects/1", "org.korvandel.Automation.DisplayStatus", "int32:1", "boolean:true"}},
      {"argument_to_start", {"/objects/1", "org.korvandel.Automation.Start", "int32:1"}},
      {"no_such_object", {"/objects/7", "org.korvandel.Automation.Start"}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Case);
    QProcess P;
    P.start("dbus-send", QStringList{"--session", "--print-reply", QString::fromStdString("--dest=" + BusName())} + R.Args);
    ASSERT_TRUE(P.waitForFinished(10000));
    EXPECT_NE(P.exitCode(), 0);
    EXPECT_TRUE(P.readAllStandardError().contains("Error"));
    A->Invoke("Start", {});
  }
}

pid_t StartClient(QProcess &P) {
  P.start(ClientPath, {QStringLiteral("Animate.TAnimator")});
  if (!P.waitForStarted(10000) || !P.waitForReadyRead(15000))
    return 0;
  const QByteArray Line = P.readLine().trimmed();
  return Line.startsWith("pid ") ? pid_t(Line.mid(4).toLong()) : 0;
}

struct EndCase {
  const char *Name;
  bool Kill;
  friend void PrintTo(const EndCase &C, std::ostream *Out) { *Out << C.Name; }
};
class TwoClients : public Served, public testing::WithParamInterface<EndCase> {};

TEST_P(TwoClients, ShareOneServerThatEndsWhenBothAreGone) {
  QProcess P1, P2;
  const pid_t S = StartClient(P1);
  ASSERT_GT(S, 0);
  ASSERT_EQ(StartClient(P2), S);
  auto End = [](QProcess &P) {
    if (GetParam().Kill) {
      P.kill();
    } else {
      P.write("release\n");
    }
    P.waitForFinished(10000);
  };
  End(P1);
  auto Probe = CreateAutomationObject("Animate.TAnimator");
  EXPECT_EQ(ProxyServerPid(*Probe), S);
  Probe.reset();
  EXPECT_EQ(kvtest::PrivateBus::OwnerPid(BusName()), S);
  End(P2);
  EXPECT_TRUE(kvtest::PrivateBus::WaitNameGone(BusName(), 10000));
  EXPECT_TRUE(kvtest::WaitProcessGone(S, 20000));
}

INSTANTIATE_TEST_SUITE_P(Cases, TwoClients, testing::Values(EndCase{"released", false}, EndCase{"killed", true}),
                         [](const testing::TestParamInfo<EndCase> &I) { return std::string(I.param.Name); });

}  // namespace
