// The demo's start script, over a build folder of stand-ins: what the client's
// launcher is given.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

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

}  // namespace
