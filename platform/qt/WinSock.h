#pragma once
// The WinSock 1.1 calls the socket components make, over POSIX non-blocking
// sockets watched by QSocketNotifier. Events selected with WSAAsyncSelect
// arrive as posted window messages (wParam: the socket, lParam: the event in
// the low 16 bits, the error in the high 16 bits), under these rules:
// - a connect on an asynchronous socket always returns WSAEWOULDBLOCK; its
//   outcome arrives later as a queued FD_CONNECT, success or failure;
// - one FD_READ is outstanding per socket; only a recv re-arms it (the
//   notifier would otherwise fire again inside every nested pump);
// - FD_CLOSE comes once, and only when every received byte has been read;
// - FD_WRITE comes after the connection is made and after a send that would
//   have blocked, once the socket is writable again;
// - events still queued for a socket that is closed or re-selected are
//   dropped (descriptor numbers are reused at once);
// - send never raises SIGPIPE; errno values map to the WinSock codes by name.
// Host names are first looked up in $KORVANDEL_HOSTS ("name=address[:port],...",
// names in any letter case, a dotted IPv4 address). A listed port replaces the
// one the caller connects to: gethostbyname then gives a stand-in address from
// the reserved block 240.0.0.0/8, which connect turns back into address and port.
// Names the POSIX headers define as macros carry a WS_ prefix here.
// GUI thread only.
#include "platform/qt/Messages.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kv::ws {

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

constexpr int WS_AF_INET = 2;
constexpr int WS_SOCK_STREAM = 1;
constexpr int WS_IPPROTO_TCP = 6;
constexpr uint32_t WS_INADDR_NONE = 0xFFFFFFFFu;
constexpr int WS_SOL_SOCKET = 0xFFFF;
constexpr int WS_SO_LINGER = 0x0080;
constexpr long WS_FIONBIO = static_cast<long>(0x8004667Eu);
constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

constexpr int WSABASEERR = 10000;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

struct WSADATA {
  uint16_t wVersion = 0;
  uint16_t wHighVersion = 0;
  std::string szDescription;
  std::string szSystemStatus;
  uint16_t iMaxSockets = 0;
  uint16_t iMaxUdpDg = 0;
};

// Look-up records: owned by the layer, valid until the next look-up of the
// same kind on this thread. Ports and addresses in network byte order.
struct servent {
  std::string s_name;
  std::string s_proto;
  uint16_t s_port = 0;
};
struct hostent {
  std::string h_name;
  std::vector<uint32_t> h_addr_list;
};
struct protoent {
  std::string p_name;
  int p_proto = 0;
};
struct sockaddr_in {
  int16_t sin_family = 0;
  uint16_t sin_port = 0;
  uint32_t sin_addr = 0;
};
struct linger {
  uint16_t l_onoff = 0;
  uint16_t l_linger = 0;
};

uint16_t WS_htons(uint16_t V);
uint16_t WS_ntohs(uint16_t V);

// Version 1.1 or later; each successful call must be paired with WSACleanup.
int WSAStartup(uint16_t VersionRequested, WSADATA *Data);
int WSACleanup();
// Drops every socket event still queued. A module that carries its own copy of
// this layer calls it, with its sockets closed, before it is unloaded: the
// queued events would otherwise be delivered to code that is gone.
void DiscardQueuedEvents();
int WSAGetLastError();
void WSASetLastError(int Error);
// A blocking call (a socket without WSAAsyncSelect, after FIONBIO 0) pumps
// messages while it waits; WSACancelBlockingCall, from a message handler,
// makes it fail with WSAEINTR.
bool WSAIsBlocking();
int WSACancelBlockingCall();

const servent *getservbyname(const char *Name, const char *Proto);
uint32_t inet_addr(const char *Text);
const hostent *gethostbyname(const char *Name);
const protoent *getprotobyname(const char *Name);

SOCKET socket(int Family, int Type, int Protocol);
int WSAAsyncSelect(SOCKET S, HWND Wnd, UINT Msg, long Events);
int ioctlsocket(SOCKET S, long Cmd, unsigned long *Arg);
int connect(SOCKET S, const sockaddr_in *Addr, int AddrLen);
int send(SOCKET S, const char *Buf, int Len, int Flags);
int recv(SOCKET S, char *Buf, int Len, int Flags);
int shutdown(SOCKET S, int How);
int setsockopt(SOCKET S, int Level, int OptName, const void *OptVal, int OptLen);
int closesocket(SOCKET S);

// The WinSock code of a POSIX errno value.
int ErrnoToWSA(int Errno);

}  // namespace kv::ws
