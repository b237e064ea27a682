#include "net/cTambSoc.h"
#include "platform/qt/Messages.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kv;
using kvtest::TLoopbackServer;
using kvtest::TServerScript;

namespace {

const std::string Request = "GET /search?pn=BC547 HTTP/1.0\r\nHost: shop1.test\r\n\r\n";

// The owner's side as the search engine binds it: data appended to
// Response, errors and the end recorded.
struct TOwner {
  TTambleSocket Socket;
  int Done = 0;
  bool BusyAtDone = true;
  std::vector<int> Errors;
  TOwner() {
    Socket.MaximumReceiveLength = 65000;
    Socket.OnDataAvailable = [](TMsgSocket *S, int) {
      auto *t = static_cast<TTambleSocket *>(S);
      t->DataReceived = true;
      t->Response += t->GetText();
    };
    Socket.OnDone = [this](TTambleSocket *S) {
      ++Done;
      BusyAtDone = S->Busy;
    };
    Socket.OnErrorOccurred = [this](TMsgSocket *, int, int Error, const std::string &) { Errors.push_back(Error); };
  }
  void Start(const std::string &Port) {
    Socket.Request = Request;
    Socket.StartTime = 1.5;
    Socket.IPAddr = "127.0.0.1";
    Socket.Port = Port;
    Socket.SConnect();
  }
};

void Settle(int Ms = 200) {
  WaitUntil([] { return false; }, Ms);
}

class TambleSocketTest : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
};

}  // namespace

TEST_F(TambleSocketTest, DefaultsOfANewSocket) {
  TTambleSocket s;
  EXPECT_EQ(s.SiteIndex, -1);
  EXPECT_TRUE(s.Request.empty());
  EXPECT_FALSE(s.Busy);
  EXPECT_EQ(s.PageState, 0);
  EXPECT_EQ(s.StartTime, 0);
  EXPECT_EQ(s.MaximumReceiveLength, 8192);
  EXPECT_TRUE(s.OnSessionConnected);
  EXPECT_TRUE(s.OnSessionClosed);
}

TEST_F(TambleSocketTest, SendsTheRequestWithOneZeroByteAndKeepsTheWholeReply) {
  std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
  while (reply.size() < 150000)
    reply += "<tr><td>BC547</td><td>0.10</td></tr>\r\n";
  TLoopbackServer server(kvtest::HttpReply(reply));
  TOwner o;
  o.Start(server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return o.Done > 0 || !o.Errors.empty(); }, 20000));
  Settle();
  EXPECT_TRUE(o.Errors.empty());
  EXPECT_EQ(o.Done, 1);
  EXPECT_FALSE(o.BusyAtDone);  // cleared before OnDone runs
  EXPECT_EQ(o.Socket.SocketHandle(), -1);
  EXPECT_TRUE(o.Socket.Response == reply);
  EXPECT_EQ(o.Socket.Request, Request);  // the owner clears it, not the socket
  ASSERT_TRUE(WaitUntil([&] { return server.Finished(0); }, 10000));
  EXPECT_EQ(server.Received(0), Request + std::string(1, '\0'));
}

TEST_F(TambleSocketTest, CancelledWhenConnectedSendsNothingAndEndsAtOnce) {
  TLoopbackServer server(TServerScript().Silence());
  TOwner o;
  o.Socket.Cancelled = true;
  o.Start(server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return o.Done > 0; }, 10000));
  EXPECT_FALSE(o.Socket.Busy);
  EXPECT_TRUE(o.Socket.Request.empty());
  EXPECT_EQ(o.Socket.StartTime, 0);
  EXPECT_EQ(o.Socket.SocketHandle(), -1);
  ASSERT_TRUE(WaitUntil([&] { return server.Finished(0); }, 10000));
  EXPECT_EQ(server.Received(0), "");
  Settle();
  EXPECT_EQ(o.Done, 1);
}

TEST_F(TambleSocketTest, CancelOfABusySocketEndsItOnceAndNoEventFollows) {
  TLoopbackServer server(TServerScript().ReadUntil(std::string(1, '\0')).Send("HTTP/1.0 200 OK\r\n").Silence());
  TOwner o;
  o.Start(server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return !o.Socket.Response.empty(); }, 10000));
  ASSERT_TRUE(o.Socket.Busy);
  o.Socket.Cancel();
  EXPECT_EQ(o.Done, 1);
  EXPECT_FALSE(o.Socket.Busy);
  EXPECT_TRUE(o.Socket.Request.empty());
  EXPECT_EQ(o.Socket.StartTime, 0);
  EXPECT_EQ(o.Socket.SocketHandle(), -1);
  o.Socket.Cancel();  // no longer busy: nothing
  Settle();
  EXPECT_EQ(o.Done, 1);
  EXPECT_TRUE(o.Errors.empty());
}

TEST_F(TambleSocketTest, CancelOfASocketThatIsNotBusyDoesNothing) {
  kvtest::TRefusedPort refused;
  TOwner o;
  o.Start(refused.PortText());
  ASSERT_TRUE(WaitUntil([&] { return !o.Errors.empty(); }, 10000));
  EXPECT_EQ(o.Errors, std::vector<int>{10061});
  o.Socket.Cancel();
  EXPECT_EQ(o.Done, 0);
  EXPECT_EQ(o.Socket.Request, Request);
  EXPECT_EQ(o.Socket.StartTime, 1.5);
}
