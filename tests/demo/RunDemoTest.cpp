// The demo's start script, over a build folder of stand-ins: what the client's
// launcher is given.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "client/settings/uUserDetails.h"
#include "tests/support/TestEnv.h"

namespace {

void WriteScript(const std::string &Path, const std::string &Body) {
  kvtest::WriteFile(Path, "#!/bin/sh\n" + Body);
  chmod(Path.c_str(), 0755);
}

// A build folder whose programs only note how they were started; the demo
// server writes its hosts file and waits to be stopped.
class RunDemo : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char *Folder : {"/bin", "/demo", "/demo/data"})
      mkdir((Build + Folder).c_str(), 0755);
    WriteScript(Build + "/demo/KorvandelDemoSetup", "exit 0\n");
    WriteScript(Build + "/bin/Animate", "exit 0\n");
    WriteScript(Build + "/demo/KorvandelDemoServer",
                "while [ $# -gt 0 ]; do [ \"$1\" = --hosts-file ] && echo x.test=127.0.0.1 >\"$2\"; shift; done\n"
                "exec sleep 30\n");
    WriteScript(Build + "/bin/Korvandel", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >\"" + Seen + "\"\n");
  }
  int Run(const std::string &Arguments) {
    const std::string Command = "DISPLAY=:none '" + std::string(KV_RUN_DEMO) + "' '" + Build + "' " + Arguments +
                                " >'" + Dir / "out.txt" + "' 2>&1";
    return std::system(Command.c_str());
  }

  kvtest::TempDir Dir;
  std::string Build = Dir.Path();
  std::string Seen = Dir / "launcher-args.txt";
};

TEST_F(RunDemo, TheBuildFolderIsNotTheClientsArgument) {
  ASSERT_EQ(Run(""), 0) << kvtest::ReadFile(Dir / "out.txt");
  EXPECT_EQ(kvtest::ReadFile(Seen), "");
}

TEST_F(RunDemo, TheClientsOwnArgumentsPassOn) {
  ASSERT_EQ(Run("QZDEBUG"), 0) << kvtest::ReadFile(Dir / "out.txt");
  EXPECT_EQ(kvtest::ReadFile(Seen), "QZDEBUG\n");
}

// The demo stores its customer with the real setup program, only where the
// registry holds none: a login changed in the program outlasts the next start.
struct TStoredLoginCase {
  const char *Name;
  bool Stored;  // false: no registry yet
  std::string CustomerID, Password;
  std::string ExpectedID, ExpectedPassword;
};

void PrintTo(const TStoredLoginCase &C, std::ostream *Out) { *Out << C.Name; }

class DemoCustomer : public RunDemo, public ::testing::WithParamInterface<TStoredLoginCase> {
protected:
  void SetUp() override {
    RunDemo::SetUp();
    const std::string Setup = Build + "/demo/KorvandelDemoSetup";
    ASSERT_EQ(unlink(Setup.c_str()), 0);
    ASSERT_EQ(symlink(KV_DEMO_SETUP, Setup.c_str()), 0);
    // The registry the script gives the client, read here as the client reads it.
    const char *Old = std::getenv("KORVANDEL_REGISTRY");
    if (Old)
      FOldRegistry = Old;
    FHadRegistry = Old != nullptr;
    mkdir((Build + "/demo-home").c_str(), 0755);
    mkdir((Build + "/demo-home/config").c_str(), 0755);
    setenv("KORVANDEL_REGISTRY", (Build + "/demo-home/config/registry").c_str(), 1);
  }
  void TearDown() override {
    if (FHadRegistry)
      setenv("KORVANDEL_REGISTRY", FOldRegistry.c_str(), 1);
    else
      unsetenv("KORVANDEL_REGISTRY");
  }

private:
  std::string FOldRegistry;
  bool FHadRegistry = false;
};

TEST_P(DemoCustomer, IsStoredOnlyWhenNoneIs) {
  const TStoredLoginCase &C = GetParam();
  if (C.Stored)
    WriteUserDetails(C.CustomerID, C.Password);
  ASSERT_EQ(Run(""), 0) << kvtest::ReadFile(Dir / "out.txt");
  std::string ID = "unread", Password = "unread";
  ReadUserDetails(ID, Password);
  EXPECT_EQ(ID, C.ExpectedID);
  EXPECT_EQ(Password, C.ExpectedPassword);
}

INSTANTIATE_TEST_SUITE_P(
    RunDemo, DemoCustomer,
    ::testing::Values(
        TStoredLoginCase{"NoRegistry", false, "", "", "DEMO1001", "parts4all"},
        // As the client leaves them after the server refused the login.
        TStoredLoginCase{"EmptiedByARefusedLogon", true, "", "", "DEMO1001", "parts4all"},
        TStoredLoginCase{"AnotherCustomer", true, "C777", "mine", "C777", "mine"},
        TStoredLoginCase{"ANewPassword", true, "DEMO1001", "changed", "DEMO1001", "changed"}),
    [](const auto &Info) { return std::string(Info.param.Name); });

}  // namespace
