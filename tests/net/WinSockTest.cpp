#include "platform/qt/WinSock.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

using namespace kv;
using namespace kv::ws;

TEST(WinSock, ErrnoValuesMapByName) {
  struct Row {
    const char *Name;
    int Errno;
    int Code;
  } rows[] = {
      {"refused", ECONNREFUSED, WSAECONNREFUSED}, {"timed out", ETIMEDOUT, WSAETIMEDOUT},
      {"reset", ECONNRESET, WSAECONNRESET},       {"in progress", EINPROGRESS, WSAEWOULDBLOCK},
      {"would block", EWOULDBLOCK, WSAEWOULDBLOCK}, {"again", EAGAIN, WSAEWOULDBLOCK},
      {"not connected", ENOTCONN, WSAENOTCONN},   {"unreachable", ENETUNREACH, WSAENETUNREACH},
      {"no route", EHOSTUNREACH, WSAEHOSTUNREACH}, {"in use", EADDRINUSE, WSAEADDRINUSE},
      {"broken pipe", EPIPE, WSAESHUTDOWN},       {"not a socket", ENOTSOCK, WSAENOTSOCK},
      {"interrupted", EINTR, WSAEINTR},
  };
  for (const auto &r : rows)
    EXPECT_EQ(ErrnoToWSA(r.Errno), r.Code) << r.Name;
}

TEST(WinSock, LookUps) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  const servent *http = getservbyname("http", "tcp");
  ASSERT_NE(http, nullptr);
  EXPECT_EQ(http->s_port, WS_htons(80));
  EXPECT_EQ(getservbyname("80", "tcp"), nullptr);
  const protoent *tcp = getprotobyname("tcp");
  ASSERT_NE(tcp, nullptr);
  EXPECT_EQ(tcp->p_proto, 6);
  EXPECT_EQ(inet_addr("127.0.0.1"), WS_htons(1) == 1 ? 0x7F000001u : 0x0100007Fu);
  EXPECT_EQ(inet_addr("shop1.test"), WS_INADDR_NONE);
  EXPECT_EQ(WSACleanup(), 0);
}

TEST(WinSock, HostOverridesComeBeforeTheResolver) {
  kvtest::IsolatedEnv env;
  WSADATA data;
  WSAStartup(0x0101, &data);
  setenv("KORVANDEL_HOSTS", "shop1.test=10.9.8.7,localhost=10.1.1.1", 1);
  const hostent *h = gethostbyname("Shop1.Test");
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(h->h_addr_list.size(), 1u);
  EXPECT_EQ(h->h_addr_list[0], inet_addr("10.9.8.7"));
  h = gethostbyname("localhost");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->h_addr_list[0], inet_addr("10.1.1.1"));
  unsetenv("KORVANDEL_HOSTS");
  h = gethostbyname("localhost");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->h_addr_list[0], inet_addr("127.0.0.1"));
  EXPECT_EQ(gethostbyname("nosuch.invalid"), nullptr);
  EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
  WSACleanup();
}

TEST(WinSock, CallsNeedStartUp) {
  EXPECT_EQ(socket(WS_AF_INET, WS_SOCK_STREAM, 6), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

// A send to a connection the peer has reset fails with an error code and
// must not raise SIGPIPE (which would end the test program).
TEST(WinSock, SendingToAResetPeerFailsWithoutASignal) {
  WSADATA data;
  WSAStartup(0x0101, &data);
  kvtest::TLoopbackServer server(kvtest::TServerScript().ReadUntil("x").Reset());
  std::vector<int> events;
  TMessageTarget wnd([&](TMessage &M) { events.push_back(static_cast<int>(M.LParam)); });
  const SOCKET s = socket(WS_AF_INET, WS_SOCK_STREAM, 6);
  ASSERT_NE(s, INVALID_SOCKET);
  ASSERT_EQ(WSAAsyncSelect(s, wnd.Handle(), WM_USER, FD_CONNECT | FD_CLOSE), 0);
  sockaddr_in a;
  a.sin_family = WS_AF_INET;
  a.sin_port = WS_htons(server.Port());
  a.sin_addr = inet_addr("127.0.0.1");
  EXPECT_EQ(connect(s, &a, 16), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  ASSERT_TRUE(WaitUntil([&] { return !events.empty(); }, 10000));
  EXPECT_EQ(events[0], MakeLong(FD_CONNECT, 0));
  EXPECT_EQ(send(s, "x", 1, 0), 1);
  ASSERT_TRUE(WaitUntil([&] { return events.size() >= 2; }, 10000));
  EXPECT_EQ(events[1], MakeLong(FD_CLOSE, WSAECONNRESET));
  int failures = 0;
  for (int i = 0; i < 5; ++i)
    if (send(s, "x", 1, 0) == SOCKET_ERROR)
      ++failures;
  EXPECT_GT(failures, 0);
  EXPECT_EQ(closesocket(s), 0);
  EXPECT_EQ(closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  WSACleanup();
}
