// primary passes the three functions through to libFetchlet.so beside it.
#include "tests/fetch/FetchSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace kvtest;

namespace {

class ForwardTest : public ::testing::Test {
protected:
  void SetUp() override {
    Primary = dlopen(KV_BIN_DIR "/libprimary.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(Primary, nullptr) << dlerror();
    GetFile = reinterpret_cast<TGetFileProc>(dlsym(Primary, FETCHLET_GETFILE));
    TerminateFileGroup = reinterpret_cast<TTerminateFileGroupProc>(dlsym(Primary, FETCHLET_TERMINATEFILEGROUP));
    TerminateProcesses = reinterpret_cast<TTerminateProcessesProc>(dlsym(Primary, FETCHLET_TERMINATEPROCESSES));
    ASSERT_TRUE(GetFile && TerminateFileGroup && TerminateProcesses);
    CallbackLog().clear();
  }
  void TearDown() override {
    if (Primary)
      dlclose(Primary);
  }
  void Start(const TRequest &R, TOutcome &Out) {
    GetFile(R.URL.c_str(), R.FileName.c_str(), R.Host.c_str(), R.Port.c_str(), R.User.c_str(), R.Password.c_str(),
            R.ProxyHost.c_str(), R.ProxyPort.c_str(), R.ProxyUser.c_str(), R.ProxyPassword.c_str(), RecordDone,
            R.UseProxy, reinterpret_cast<intptr_t>(&Out), R.GroupId);
  }

  IsolatedEnv Env;
  void *Primary = nullptr;
  TGetFileProc GetFile = nullptr;
  TTerminateFileGroupProc TerminateFileGroup = nullptr;
  TTerminateProcessesProc TerminateProcesses = nullptr;
};

}  // namespace

TEST_F(ForwardTest, TheForwardersAreThoseOfPrimaryNotOfTheLibrary) {
  TFetchlet lib;
  ASSERT_TRUE(lib.Loaded()) << lib.Error();
  EXPECT_NE(reinterpret_cast<void *>(GetFile), reinterpret_cast<void *>(lib.GetFile));
  EXPECT_NE(reinterpret_cast<void *>(TerminateFileGroup), reinterpret_cast<void *>(lib.TerminateFileGroup));
  EXPECT_NE(reinterpret_cast<void *>(TerminateProcesses), reinterpret_cast<void *>(lib.TerminateProcesses));
}

TEST_F(ForwardTest, AFileFetchedThroughPrimary) {
  TLoopbackServer server(HttpReply("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nGIF89a"));
  TRequest r;
  r.URL = "http://127.0.0.1:" + server.PortText() + "/ad1.gif";
  r.FileName = Env / "ad1.gif";
  r.User = "u";
  r.Password = "p";
  TOutcome out;
  Start(r, out);
  ASSERT_TRUE(Pump([&] { return out.Calls > 0; }));
  EXPECT_EQ(out.Success, 1);
  EXPECT_EQ(ReadFile(Env / "ad1.gif"), "GIF89a");
  ASSERT_TRUE(Pump([&] { return server.PeerClosed(0); }));
  EXPECT_EQ(server.Received(0),
            ExpectedRequest("/ad1.gif", {"Authorization: Basic dTpw"}, "127.0.0.1:" + server.PortText()));
}

TEST_F(ForwardTest, StoppingThroughPrimary) {
  TLoopbackServer server;  // answers nothing
  TOutcome a, b;
  a.Tag = "a";
  b.Tag = "b";
  TRequest r;
  r.URL = "http://127.0.0.1:" + server.PortText() + "/a";
  r.FileName = Env / "a";
  Start(r, a);
  r.GroupId = 1;
  r.FileName = Env / "b";
  Start(r, b);
  ASSERT_TRUE(Pump([&] { return server.Connections() == 2; }));
  TerminateFileGroup(1);
  EXPECT_EQ(CallbackLog(), std::vector<std::string>{"b"});
  TerminateProcesses();
  EXPECT_EQ(CallbackLog(), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(a.Success, 0);
}
