#include "net/MsgSocket.h"
#include "platform/Dialogs.h"
#include "platform/SysUtils.h"
#include "platform/qt/Messages.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/Poll.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kv;
using kvtest::TLoopbackServer;
using kvtest::TServerScript;

namespace {

const std::string Request = "GET / HTTP/1.0\r\n\r\n";

// A body of printable text, so a zero byte never cuts it.
std::string TextOfSize(size_t Size) {
  std::string s;
  s.reserve(Size);
  for (size_t line = 0; s.size() < Size; ++line)
    s += "line " + std::to_string(line) + " abcdefghijklmnopqrstuvwxyz\r\n";
  s.resize(Size);
  return s;
}

// Records what a socket reports, as "C" (connected), "D" (data), "X"
// (closed) and "E<code>" (error), and keeps the received text.
struct TConversation {
  TMsgSocket Socket;
  std::vector<std::string> Events;
  std::vector<std::string> Chunks;
  std::vector<std::pair<int, std::string>> Errors;
  bool InSConnect = false;
  bool ErrorInsideSConnect = false;
  std::string SendOnConnect;

  TConversation() {
    Socket.OnSessionConnected = [this](TMsgSocket *S, int) {
      Events.push_back("C");
      if (!SendOnConnect.empty()) {
        int len = static_cast<int>(SendOnConnect.size());
        S->SSend(S->SocketHandle(), SendOnConnect.data(), len);
      }
    };
    Socket.OnDataAvailable = [this](TMsgSocket *S, int) {
      Events.push_back("D");
      Chunks.push_back(S->GetText());
    };
    Socket.OnSessionClosed = [this](TMsgSocket *S, int) {
      Events.push_back("X");
      S->Disconnect();
    };
    Socket.OnErrorOccurred = [this](TMsgSocket *, int, int Error, const std::string &Msg) {
      Events.push_back("E" + std::to_string(Error));
      Errors.emplace_back(Error, Msg);
      if (InSConnect)
        ErrorInsideSConnect = true;
    };
  }
  void Connect(const std::string &Host, const std::string &Port) {
    Socket.IPAddr = Host;
    Socket.Port = Port;
    InSConnect = true;
    Socket.SConnect();
    InSConnect = false;
  }
  std::string Text() const {
    std::string t;
    for (const auto &c : Chunks)
      t += c;
    return t;
  }
  bool Has(const std::string &E) const {
    for (const auto &e : Events)
      if (e == E)
        return true;
    return false;
  }
};

// Lets the loop run a while, for checks that something does not happen.
void Settle(int Ms = 200) {
  WaitUntil([] { return false; }, Ms);
}

class MsgSocketTest : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
};

}  // namespace

TEST(MsgSocketErrorText, TableRows) {
  struct Row {
    const char *Name;
    int Code;
    const char *Text;
  } rows[] = {
      {"first", 10004, "Interrupted system call"},
      {"would block", 10035, "Operation would block"},
      {"reset", 10054, "Connection reset by peer"},
      {"timed out", 10060, "Connection timed out"},
      {"refused", 10061, "Connection refused"},
      {"not initialised", 10093, "WinSock not initialized"},
      {"host not found", 11001, "Host not found"},
      {"last", 11004, "No Data"},
      {"unknown", 12345, "Not a WinSock error"},
      {"gap in the table", 10072, "Not a WinSock error"},
      {"zero", 0, "Not a WinSock error"},
  };
  for (const auto &r : rows)
    EXPECT_EQ(ErrorText(r.Code), r.Text) << r.Name;
}

TEST_F(MsgSocketTest, DefaultsOfANewComponent) {
  TMsgSocket s;
  EXPECT_EQ(s.MaximumReceiveLength, 8192);
  EXPECT_TRUE(s.NonBlocking());
  EXPECT_EQ(s.Timeout, 30);
  EXPECT_EQ(s.SocketHandle(), -1);
  EXPECT_TRUE(s.IPAddr.empty());
  EXPECT_TRUE(s.Port.empty());
  EXPECT_EQ(s.GetText(), "");  // no socket: no call, no report
  int len = 5;
  EXPECT_EQ(s.SSend(-1, "hello", len), 0);
  EXPECT_EQ(len, 5);
  s.Disconnect();
  EXPECT_EQ(s.SocketHandle(), -1);
}

TEST_F(MsgSocketTest, NothingHappensWithoutAddressOrPortOrForAnUnknownHost) {
  struct Row {
    const char *Name;
    const char *Host;
    const char *Port;
  } rows[] = {
      {"empty address", "", "80"},
      {"empty port", "127.0.0.1", ""},
      {"unknown host", "nosuch.invalid", "80"},
      {"host listed with an unusable address", "broken.test", "80"},
  };
  setenv("KORVANDEL_HOSTS", "broken.test=no-address", 1);
  for (const auto &r : rows) {
    TConversation c;
    c.Connect(r.Host, r.Port);
    EXPECT_EQ(c.Socket.SocketHandle(), -1) << r.Name;
    Settle(100);
    EXPECT_TRUE(c.Events.empty()) << r.Name;
  }
}

TEST_F(MsgSocketTest, APortOutsideTheSixteenBitsRaisesTheConversionError) {
  for (const char *port : {"65536", "70000", "-1", "abc"}) {
    TConversation c;
    EXPECT_THROW(c.Connect("127.0.0.1", port), EConvertError) << port;
    EXPECT_EQ(c.Socket.SocketHandle(), -1) << port;
  }
}

TEST_F(MsgSocketTest, HostOverridesAndServiceNamesLeadToTheTestServer) {
  TLoopbackServer server(kvtest::HttpReply("HTTP/1.0 200 OK\r\n\r\nhello"));
  // The listed port replaces the one asked for; names match in any case.
  setenv("KORVANDEL_HOSTS", ("other.test=10.1.2.3, shop1.test=127.0.0.1:" + server.PortText()).c_str(), 1);
  for (const char *port : {"80", "http"}) {
    TConversation c;
    c.SendOnConnect = Request;
    c.Connect("SHOP1.test", port);
    ASSERT_TRUE(WaitUntil([&] { return c.Has("X") || !c.Errors.empty(); }, 10000)) << port;
    EXPECT_EQ(c.Text(), "HTTP/1.0 200 OK\r\n\r\nhello") << port;
    EXPECT_TRUE(c.Errors.empty()) << port;
  }
  EXPECT_EQ(server.Connections(), 2);
}

TEST_F(MsgSocketTest, ALargeReplyArrivesInOrderWithEveryByte) {
  const std::string reply = TextOfSize(300 * 1024);
  TLoopbackServer server(kvtest::HttpReply(reply));
  TConversation c;
  c.SendOnConnect = Request;
  c.Connect("127.0.0.1", server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return c.Has("X") || !c.Errors.empty(); }, 20000));
  Settle(100);
  ASSERT_TRUE(c.Errors.empty()) << c.Errors.front().second;
  ASSERT_GE(c.Events.size(), 3u);
  EXPECT_EQ(c.Events.front(), "C");
  EXPECT_EQ(c.Events.back(), "X");
  for (size_t i = 1; i + 1 < c.Events.size(); ++i)
    EXPECT_EQ(c.Events[i], "D") << i;
  for (const auto &chunk : c.Chunks)
    EXPECT_LE(chunk.size(), 8192u);
  EXPECT_EQ(c.Text().size(), reply.size());
  EXPECT_TRUE(c.Text() == reply);
  EXPECT_EQ(server.Received(0), Request);
}

TEST_F(MsgSocketTest, AReplyInPiecesKeepsItsOrder) {
  const std::string reply = TextOfSize(20000);
  TLoopbackServer server(TServerScript().ReadUntil("\r\n\r\n").SendPieces(reply, 3000, 30).Close());
  TConversation c;
  c.SendOnConnect = Request;
  c.Connect("127.0.0.1", server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return c.Has("X"); }, 20000));
  EXPECT_GE(c.Chunks.size(), 2u);
  EXPECT_TRUE(c.Text() == reply);
}

TEST_F(MsgSocketTest, RefusedGivesExactlyOneErrorAfterSConnectReturns) {
  kvtest::TRefusedPort refused;
  TConversation c;
  c.Connect("127.0.0.1", refused.PortText());
  EXPECT_NE(c.Socket.SocketHandle(), -1);
  ASSERT_TRUE(WaitUntil([&] { return !c.Errors.empty(); }, 10000));
  Settle();
  EXPECT_FALSE(c.ErrorInsideSConnect);
  ASSERT_EQ(c.Errors.size(), 1u);
  EXPECT_EQ(c.Errors[0].first, 10061);
  EXPECT_EQ(c.Errors[0].second, "Connection refused");
  EXPECT_EQ(c.Events, std::vector<std::string>{"E10061"});
}

TEST_F(MsgSocketTest, AResetGivesConnectionResetByPeer) {
  TLoopbackServer server(TServerScript().ReadUntil("\r\n\r\n").Reset());
  TConversation c;
  c.SendOnConnect = Request;
  c.Connect("127.0.0.1", server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return !c.Errors.empty(); }, 10000));
  Settle();
  ASSERT_EQ(c.Errors.size(), 1u);
  EXPECT_EQ(c.Errors[0].first, 10054);
  EXPECT_EQ(c.Errors[0].second, "Connection reset by peer");
  EXPECT_FALSE(c.Has("X"));
}

TEST_F(MsgSocketTest, AZeroByteEndsTheTextOfItsChunk) {
  TLoopbackServer server(TServerScript().ReadUntil("\r\n\r\n").Send(std::string("abc\0def", 7)).Delay(200).Send("ghi").Close());
  TConversation c;
  c.SendOnConnect = Request;
  c.Connect("127.0.0.1", server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return c.Has("X"); }, 10000));
  ASSERT_GE(c.Chunks.size(), 2u);
  EXPECT_EQ(c.Chunks[0], "abc");
  EXPECT_EQ(c.Text(), "abcghi");
}

TEST_F(MsgSocketTest, WouldBlockIsNoDataAndNoError) {
  TLoopbackServer server(TServerScript().Silence());
  TConversation c;
  c.Connect("127.0.0.1", server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return c.Has("C"); }, 10000));
  EXPECT_EQ(c.Socket.GetText(), "");
  EXPECT_TRUE(c.Errors.empty());
  c.Socket.Disconnect();
  c.Socket.Disconnect();
  EXPECT_EQ(c.Socket.SocketHandle(), -1);
}

namespace {

// A peer on a plain POSIX socket, so the test sees exactly what arrives: an
// orderly end (recv gives 0) or a reset (ECONNRESET).
class TRawPeer {
public:
  TRawPeer() {
    FListen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (FListen < 0 || ::bind(FListen, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(FListen, 1) != 0 ||
        ::getsockname(FListen, reinterpret_cast<sockaddr *>(&a), &len) != 0)
      ADD_FAILURE() << "no listening socket";
    FPort = ntohs(a.sin_port);
  }
  ~TRawPeer() {
    if (FConn >= 0)
      ::close(FConn);
    if (FListen >= 0)
      ::close(FListen);
  }
  std::string PortText() const { return std::to_string(FPort); }
  // The connection already made to the listening socket.
  bool Accept() {
    FConn = ::accept(FListen, nullptr, nullptr);
    return FConn >= 0;
  }
  bool Send(const std::string &Data) { return ::send(FConn, Data.data(), Data.size(), MSG_NOSIGNAL) == ssize_t(Data.size()); }
  // Reads until the connection ends; the errno of the ending recv, 0 for an
  // orderly end, -1 when nothing came within the wait.
  int ReadToTheEnd(std::string &Received) {
    for (;;) {
      pollfd p{FConn, POLLIN, 0};
      if (::poll(&p, 1, 10000) != 1)
        return -1;
      char buf[4096];
      const ssize_t n = ::recv(FConn, buf, sizeof buf, 0);
      if (n == 0)
        return 0;
      if (n < 0)
        return errno;
      Received.append(buf, size_t(n));
    }
  }

private:
  int FListen = -1, FConn = -1;
  uint16_t FPort = 0;
};

struct TDisconnectCase {
  const char *Name;
  std::string ClientSends;  // before the disconnect, unread by the peer
  std::string PeerSends;    // before the disconnect, unread by the component
};

void PrintTo(const TDisconnectCase &C, std::ostream *Out) { *Out << C.Name; }

class MsgSocketDisconnect : public MsgSocketTest, public ::testing::WithParamInterface<TDisconnectCase> {};

}  // namespace

// Disconnect is an abortive close: the peer sees a reset, never an orderly end.
TEST_P(MsgSocketDisconnect, ThePeerSeesAReset) {
  const TDisconnectCase &C = GetParam();
  TRawPeer peer;
  TConversation c;
  c.SendOnConnect = C.ClientSends;
  c.Socket.OnDataAvailable = [&](TMsgSocket *, int) { c.Events.push_back("D"); };  // left unread
  c.Connect("127.0.0.1", peer.PortText());
  ASSERT_TRUE(WaitUntil([&] { return c.Has("C") || !c.Errors.empty(); }, 10000));
  ASSERT_TRUE(c.Errors.empty()) << c.Errors.front().second;
  ASSERT_TRUE(peer.Accept());
  if (!C.PeerSends.empty()) {
    ASSERT_TRUE(peer.Send(C.PeerSends));
    ASSERT_TRUE(WaitUntil([&] { return c.Has("D"); }, 10000));
  }
  c.Socket.Disconnect();
  EXPECT_EQ(c.Socket.SocketHandle(), -1);
  std::string received;
  EXPECT_EQ(peer.ReadToTheEnd(received), ECONNRESET);
  // What the component sent before may or may not outrun the reset; never
  // anything else.
  EXPECT_EQ(received, C.ClientSends.substr(0, received.size()));
  Settle(100);
  EXPECT_TRUE(c.Errors.empty());
}

INSTANTIATE_TEST_SUITE_P(MsgSocket, MsgSocketDisconnect,
                         ::testing::Values(TDisconnectCase{"Idle", "", ""},
                                           TDisconnectCase{"RequestSent", Request, ""},
                                           TDisconnectCase{"ReplyUnread", "", "HTTP/1.0 200 OK\r\n\r\npartial"},
                                           TDisconnectCase{"BothWays", Request, "HTTP/1.0 200 OK\r\n"}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// Two sockets whose data events are queued together: the first handler
// closes the other socket and connects it again, which takes the same
// descriptor number. The old socket's queued event must not reach the new
// connection.
TEST_F(MsgSocketTest, ANewConnectionSeesNoEventOfTheOneClosedBeforeIt) {
  TServerScript talk = TServerScript().ReadUntil("go").Send("data").Silence();
  TLoopbackServer server(TServerScript().Silence());
  server.Queue(talk);
  server.Queue(talk);
  TConversation a, b;
  a.Connect("127.0.0.1", server.PortText());
  b.Connect("127.0.0.1", server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return a.Has("C") && b.Has("C"); }, 10000));

  std::vector<std::string> lateEvents;  // of the reconnected socket
  bool reconnected = false;
  int oldHandle = -1, newHandle = -2;
  auto takeOver = [&](TConversation &Self, TConversation &Other) {
    return [&](TMsgSocket *, int) {
      if (reconnected) {
        Self.Events.push_back("D");
        return;
      }
      reconnected = true;
      Self.Events.push_back("D");
      oldHandle = Other.Socket.SocketHandle();
      Other.Socket.Disconnect();
      Other.Events.clear();
      Other.Socket.OnDataAvailable = [&](TMsgSocket *, int) { lateEvents.push_back("D"); };
      Other.Socket.OnSessionConnected = [&](TMsgSocket *, int) { lateEvents.push_back("C"); };
      Other.Socket.SConnect();
      newHandle = Other.Socket.SocketHandle();
    };
  };
  a.Socket.OnDataAvailable = takeOver(a, b);
  b.Socket.OnDataAvailable = takeOver(b, a);
  int len = 2;
  a.Socket.SSend(a.Socket.SocketHandle(), "go", len);
  len = 2;
  b.Socket.SSend(b.Socket.SocketHandle(), "go", len);
  // Both replies are waiting before the loop looks at either socket: the
  // loop must not run meanwhile, or it takes the first reply alone.
  ASSERT_TRUE(kvtest::PollUntil([&] { return server.Received(0) == "go" && server.Received(1) == "go"; }));
  const auto ReplyWaiting = [](int Fd) {
    int Bytes = 0;
    return ioctl(Fd, FIONREAD, &Bytes) == 0 && Bytes == 4;
  };
  ASSERT_TRUE(kvtest::PollUntil(
      [&] { return ReplyWaiting(a.Socket.SocketHandle()) && ReplyWaiting(b.Socket.SocketHandle()); }));

  ASSERT_TRUE(WaitUntil([&] { return !lateEvents.empty(); }, 10000));
  Settle();
  EXPECT_EQ(newHandle, oldHandle);
  EXPECT_EQ(lateEvents, std::vector<std::string>{"C"});
  EXPECT_TRUE(a.Errors.empty());
  EXPECT_TRUE(b.Errors.empty());
}

// A data handler that pumps lets other sockets' events run inside it, but
// gets no second data event of its own before it has read.
TEST_F(MsgSocketTest, OtherSocketsRunInsideAHandlerThatPumps) {
  TLoopbackServer server(TServerScript().ReadUntil("go").Send("data").Silence());
  TConversation a, b;
  a.Connect("127.0.0.1", server.PortText());
  b.Connect("127.0.0.1", server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return a.Has("C") && b.Has("C"); }, 10000));

  int depth = 0, aEvents = 0, nestedA = 0;
  bool bRanInside = false;
  a.Socket.OnDataAvailable = [&](TMsgSocket *S, int) {
    ++aEvents;
    if (depth > 0) {
      ++nestedA;
      return;
    }
    ++depth;
    int len = 2;
    b.Socket.SSend(b.Socket.SocketHandle(), "go", len);
    WaitUntil([&] { return !b.Chunks.empty(); }, 10000);
    Settle(100);
    --depth;
    a.Chunks.push_back(S->GetText());
  };
  b.Socket.OnDataAvailable = [&](TMsgSocket *S, int) {
    bRanInside = depth > 0;
    b.Chunks.push_back(S->GetText());
  };
  int len = 2;
  a.Socket.SSend(a.Socket.SocketHandle(), "go", len);
  ASSERT_TRUE(WaitUntil([&] { return !a.Chunks.empty(); }, 15000));
  EXPECT_TRUE(bRanInside);
  EXPECT_EQ(nestedA, 0);
  EXPECT_EQ(aEvents, 1);
  EXPECT_EQ(a.Text(), "data");
  EXPECT_EQ(b.Text(), "data");
}

TEST_F(MsgSocketTest, ALargeSendReachesTheServerWhole) {
  std::string big = TextOfSize(16 * 1024 * 1024 - 3) + "END";
  TLoopbackServer server(TServerScript().Delay(500).ReadUntil("END", 20000).Close());
  TConversation c;
  c.SendOnConnect = big;
  int result = 0;
  c.Socket.OnSessionConnected = [&](TMsgSocket *S, int) {
    c.Events.push_back("C");
    int len = static_cast<int>(big.size());
    result = S->SSend(S->SocketHandle(), big.data(), len);
  };
  c.Connect("127.0.0.1", server.PortText());
  ASSERT_TRUE(WaitUntil([&] { return c.Has("X") || !c.Errors.empty(); }, 30000));
  EXPECT_TRUE(c.Errors.empty());
  EXPECT_EQ(result, static_cast<int>(big.size()));
  EXPECT_EQ(server.Received(0).size(), big.size());
  EXPECT_TRUE(server.Received(0) == big);
}

TEST_F(MsgSocketTest, WithoutAnErrorHandlerAReportEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  kvtest::TRefusedPort refused;
  EXPECT_EXIT(
      {
        TMsgSocket s;
        s.IPAddr = "127.0.0.1";
        s.Port = refused.PortText();
        s.SConnect();
        WaitUntil([] { return false; }, 10000);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "Error 10061 in function FD_CONNECT\nConnection refused");
}

TEST_F(MsgSocketTest, AnExceptionFromAnEventHandlerIsReportedNotPassedOn) {
  std::vector<std::string> boxes;
  SetMessageBoxHook([&](const std::string &T, const std::string &, unsigned) {
    boxes.push_back(T);
    return IDOK;
  });
  TLoopbackServer server(TServerScript().Silence());
  TConversation c;
  c.Socket.OnSessionConnected = [](TMsgSocket *, int) { throw Exception("Handler failed"); };
  c.Connect("127.0.0.1", server.PortText());
  EXPECT_TRUE(WaitUntil([&] { return !boxes.empty(); }, 10000));
  SetMessageBoxHook({});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Handler failed.");
}

// Blocking mode (no component of the system uses it): calls wait while
// messages run, and the blocking-call timer cancels a call that takes too long.
TEST_F(MsgSocketTest, ABlockingCallIsCancelledAfterTheTimeout) {
  TLoopbackServer server(TServerScript().Silence());
  TConversation c;
  c.Socket.SetNonBlocking(false);
  c.Socket.Timeout = 1;
  c.Connect("127.0.0.1", server.PortText());
  ASSERT_NE(c.Socket.SocketHandle(), -1);
  EXPECT_TRUE(c.Errors.empty());
  EXPECT_TRUE(c.Events.empty());  // no events in blocking mode
  bool ticked = false;
  TMessageTarget other([&](TMessage &) { ticked = true; });
  PostMessage(other.Handle(), WM_USER);
  const uint32_t t0 = GetTickCount();
  EXPECT_EQ(c.Socket.GetText(), "");
  EXPECT_GE(GetTickCount() - t0, 900u);
  EXPECT_TRUE(ticked);  // messages ran while the call waited
  ASSERT_EQ(c.Errors.size(), 1u);
  EXPECT_EQ(c.Errors[0].first, 10060);
  EXPECT_EQ(c.Errors[0].second, "Blocking call timed out");
  c.Socket.Disconnect();
}
