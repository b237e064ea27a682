#include "platform/qt/WinSock.h"

#include "platform/SysUtils.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace kv::ws {

namespace {

thread_local int LastError = 0;
int StartupCount = 0;
bool InBlockingCall = false;
bool CancelRequested = false;

int Fail(int Code) {
  LastError = Code;
  return SOCKET_ERROR;
}

struct TSocketRec {
  int Fd = -1;
  uint64_t Serial = 0;  // changes whenever queued events must be forgotten
  HWND Wnd = 0;
  UINT Msg = 0;
  long Events = 0;
  bool Blocking = true;
  bool Connecting = false;
  bool Connected = false;
  bool ReadPosted = false;   // an FD_READ waits for a recv
  bool WriteWanted = false;  // FD_WRITE is due once the socket is writable
  bool CloseSeen = false;    // the end of the stream was reported (or read)
  std::unique_ptr<QSocketNotifier> ReadNotifier;
  std::unique_ptr<QSocketNotifier> WriteNotifier;
};

std::map<int, std::unique_ptr<TSocketRec>> &Sockets() {
  static std::map<int, std::unique_ptr<TSocketRec>> s;
  return s;
}

uint64_t NextSerial() {
  static uint64_t n = 0;
  return ++n;
}

TSocketRec *Find(SOCKET S) {
  auto it = Sockets().find(S);
  return it == Sockets().end() ? nullptr : it->second.get();
}

class TSocketEvent : public QEvent {
public:
  TSocketEvent(int Fd, uint64_t Serial, long Event, int Error)
      : QEvent(Type()), FFd(Fd), FSerial(Serial), FEvent(Event), FError(Error) {}
  static QEvent::Type Type() {
    static const auto t = static_cast<QEvent::Type>(QEvent::registerEventType());
    return t;
  }
  int FFd;
  uint64_t FSerial;
  long FEvent;
  int FError;
};

// Socket events travel through one queue object, so an event can be checked
// against its socket when it is delivered, not only when it is posted.
class TEventQueue : public QObject {
public:
  bool event(QEvent *E) override {
    if (E->type() != TSocketEvent::Type())
      return QObject::event(E);
    auto *se = static_cast<TSocketEvent *>(E);
    TSocketRec *r = Find(se->FFd);
    if (!r || r->Serial != se->FSerial)
      return true;
    SendMessage(r->Wnd, r->Msg, static_cast<WPARAM>(se->FFd),
                MakeLong(static_cast<unsigned>(se->FEvent), static_cast<unsigned>(se->FError)));
    return true;
  }
};

TEventQueue *&QueueSlot() {
  static TEventQueue *q = nullptr;
  return q;
}

TEventQueue *Queue() {
  TEventQueue *&q = QueueSlot();
  if (!q)
    q = new TEventQueue;
  return q;
}

void Post(const TSocketRec &R, long Event, int Error) {
  if (R.Events & Event)
    QCoreApplication::postEvent(Queue(), new TSocketEvent(R.Fd, R.Serial, Event, Error));
}

void OnReadable(int Fd);
void OnWritable(int Fd);

void UpdateNotifiers(TSocketRec &R) {
  const bool selected = R.Events != 0;
  const bool wantRead = selected && R.Connected && !R.ReadPosted && !R.CloseSeen;
  const bool wantWrite =
      selected && (R.Connecting || (R.Connected && R.WriteWanted && (R.Events & FD_WRITE)));
  if (wantRead && !R.ReadNotifier) {
    R.ReadNotifier = std::make_unique<QSocketNotifier>(R.Fd, QSocketNotifier::Read);
    const int fd = R.Fd;
    QObject::connect(R.ReadNotifier.get(), &QSocketNotifier::activated, [fd] { OnReadable(fd); });
  }
  if (R.ReadNotifier)
    R.ReadNotifier->setEnabled(wantRead);
  if (wantWrite && !R.WriteNotifier) {
    R.WriteNotifier = std::make_unique<QSocketNotifier>(R.Fd, QSocketNotifier::Write);
    const int fd = R.Fd;
    QObject::connect(R.WriteNotifier.get(), &QSocketNotifier::activated, [fd] { OnWritable(fd); });
  }
  if (R.WriteNotifier)
    R.WriteNotifier->setEnabled(wantWrite);
}

// Tells data from the end of the stream without taking anything.
void OnReadable(int Fd) {
  TSocketRec *r = Find(Fd);
  if (!r)
    return;
  char c;
  const ssize_t n = ::recv(Fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  const int e = errno;
  if (n > 0) {
    r->ReadPosted = true;
    Post(*r, FD_READ, 0);
  } else if (n == 0) {
    r->CloseSeen = true;
    Post(*r, FD_CLOSE, 0);
  } else if (e != EAGAIN && e != EWOULDBLOCK && e != EINTR) {
    r->CloseSeen = true;
    Post(*r, FD_CLOSE, ErrnoToWSA(e));
  }
  UpdateNotifiers(*r);
}

void OnWritable(int Fd) {
  TSocketRec *r = Find(Fd);
  if (!r)
    return;
  if (r->Connecting) {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(Fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
      err = errno;
    r->Connecting = false;
    if (err == 0) {
      r->Connected = true;
      r->WriteWanted = true;
      Post(*r, FD_CONNECT, 0);
    } else {
      Post(*r, FD_CONNECT, ErrnoToWSA(err));
    }
  } else if (r->Connected && r->WriteWanted) {
    r->WriteWanted = false;
    Post(*r, FD_WRITE, 0);
  }
  UpdateNotifiers(*r);
}

// Waits for a blocking call, pumping messages meanwhile as a blocking hook
// would. 0 when the socket is ready, else the WinSock code.
int BlockingWait(int Fd, short Events) {
  InBlockingCall = true;
  CancelRequested = false;
  int result = 0;
  for (;;) {
    pollfd p{Fd, Events, 0};
    if (::poll(&p, 1, 10) > 0)
      break;
    ProcessMessages();
    if (CancelRequested) {
      result = WSAEINTR;
      break;
    }
  }
  InBlockingCall = false;
  CancelRequested = false;
  return result;
}

// Host overrides with a port: the caller gets a stand-in address from the
// reserved 240.0.0.0/8 block, which connect turns back into address and port.
struct TOverride {
  uint32_t Addr;
  uint16_t Port;
};

std::vector<TOverride> &Overrides() {
  static std::vector<TOverride> o;
  return o;
}

uint32_t OverrideToken(uint32_t Addr, uint16_t Port) {
  auto &o = Overrides();
  size_t i = 0;
  while (i < o.size() && !(o[i].Addr == Addr && o[i].Port == Port))
    ++i;
  if (i == o.size())
    o.push_back({Addr, Port});
  return htonl(0xF0000000u + static_cast<uint32_t>(i) + 1);
}

void ResolveToken(uint32_t &Addr, uint16_t &Port) {
  const uint32_t h = ntohl(Addr);
  if ((h & 0xFF000000u) != 0xF0000000u)
    return;
  const uint32_t i = (h & 0x00FFFFFFu) - 1;
  if (i < Overrides().size()) {
    Addr = Overrides()[i].Addr;
    Port = Overrides()[i].Port;
  }
}

int ResolveWithSystem(const std::string &Name, std::vector<uint32_t> &Addrs, std::string &Canon) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo *res = nullptr;
  const int rc = ::getaddrinfo(Name.c_str(), nullptr, &hints, &res);
  if (rc != 0) {
    switch (rc) {
      case EAI_AGAIN: return WSATRY_AGAIN;
      case EAI_FAIL: return WSANO_RECOVERY;
#ifdef EAI_NODATA
      case EAI_NODATA: return WSANO_DATA;
#endif
      case EAI_ADDRFAMILY: return WSANO_DATA;
      default: return WSAHOST_NOT_FOUND;
    }
  }
  Canon = res->ai_canonname ? res->ai_canonname : Name;
  for (addrinfo *a = res; a; a = a->ai_next)
    if (a->ai_family == AF_INET)
      Addrs.push_back(reinterpret_cast<::sockaddr_in *>(a->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(res);
  return Addrs.empty() ? WSANO_DATA : 0;
}

// $KORVANDEL_HOSTS: 1 when Name is listed (Addr set), 0 when not, or a
// WinSock code when its entry cannot be used.
int LookUpOverride(const std::string &Name, uint32_t &Addr) {
  const char *env = std::getenv("KORVANDEL_HOSTS");
  if (!env)
    return 0;
  std::string list = env;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos)
      end = list.size();
    const std::string entry = list.substr(start, end - start);
    start = end + 1;
    const size_t eq = entry.find('=');
    if (eq == std::string::npos || !SameText(Trim(entry.substr(0, eq)), Name))
      continue;
    std::string value = Trim(entry.substr(eq + 1));
    int port = 0;
    const size_t colon = value.rfind(':');
    if (colon != std::string::npos) {
      port = StrToIntDef(value.substr(colon + 1), -1);
      if (port < 1 || port > 65535)
        return WSAHOST_NOT_FOUND;
      value = value.substr(0, colon);
    }
    in_addr a{};
    if (::inet_pton(AF_INET, value.c_str(), &a) != 1)
      return WSAHOST_NOT_FOUND;
    Addr = a.s_addr;
    if (port != 0)
      Addr = OverrideToken(Addr, htons(static_cast<uint16_t>(port)));
    return 1;
  }
  return 0;
}

}  // namespace

int ErrnoToWSA(int Errno) {
  switch (Errno) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK:
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN:
    case EPIPE: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return WSAEINVAL;
  }
}

uint16_t WS_htons(uint16_t V) { return htons(V); }
uint16_t WS_ntohs(uint16_t V) { return ntohs(V); }

int WSAStartup(uint16_t VersionRequested, WSADATA *Data) {
  const unsigned major = VersionRequested & 0xFF;
  const unsigned minor = VersionRequested >> 8;
  if (major < 1 || (major == 1 && minor < 1)) {
    LastError = WSAVERNOTSUPPORTED;
    return WSAVERNOTSUPPORTED;
  }
  if (!Data) {
    LastError = WSAEFAULT;
    return WSAEFAULT;
  }
  Data->wVersion = 0x0101;
  Data->wHighVersion = 0x0101;
  Data->szDescription = "Korvandel sockets";
  Data->szSystemStatus = "Running";
  Data->iMaxSockets = 1024;
  Data->iMaxUdpDg = 0;
  ++StartupCount;
  return 0;
}

int WSACleanup() {
  if (StartupCount <= 0)
    return Fail(WSANOTINITIALISED);
  --StartupCount;
  return 0;
}

void DiscardQueuedEvents() {
  // Deleting the queue drops the events posted to it.
  delete QueueSlot();
  QueueSlot() = nullptr;
}

int WSAGetLastError() { return LastError; }
void WSASetLastError(int Error) { LastError = Error; }

bool WSAIsBlocking() { return InBlockingCall; }

int WSACancelBlockingCall() {
  if (!InBlockingCall)
    return Fail(WSAEINVAL);
  CancelRequested = true;
  return 0;
}

const servent *getservbyname(const char *Name, const char *Proto) {
  static servent result;  // not thread_local: that would pin the module carrying the layer
  if (!Name)
    return Fail(WSAEFAULT), nullptr;
  // Service names hold at least one letter, so a port number names none:
  // no need to read the whole services database for every connection.
  if (*Name && std::strspn(Name, "0123456789") == std::strlen(Name)) {
    Fail(WSANO_DATA);
    return nullptr;
  }
  ::servent se{};
  ::servent *found = nullptr;
  char buf[1024];
  if (::getservbyname_r(Name, Proto, &se, buf, sizeof buf, &found) == 0 && found) {
    result.s_name = found->s_name;
    result.s_proto = found->s_proto;
    result.s_port = static_cast<uint16_t>(found->s_port);
    return &result;
  }
  // A machine without a services database still knows the web's names.
  static const struct {
    const char *Name;
    uint16_t Port;
  } known[] = {{"http", 80}, {"https", 443}, {"ftp", 21}};
  if (!Proto || SameText(Proto, "tcp"))
    for (const auto &k : known)
      if (std::strcmp(k.Name, Name) == 0) {
        result.s_name = k.Name;
        result.s_proto = "tcp";
        result.s_port = htons(k.Port);
        return &result;
      }
  Fail(WSANO_DATA);
  return nullptr;
}

uint32_t inet_addr(const char *Text) {
  if (!Text)
    return WS_INADDR_NONE;
  return ::inet_addr(Text);
}

const hostent *gethostbyname(const char *Name) {
  static hostent result;  // not thread_local: that would pin the module carrying the layer
  if (StartupCount <= 0)
    return Fail(WSANOTINITIALISED), nullptr;
  if (!Name)
    return Fail(WSAEFAULT), nullptr;
  uint32_t addr = 0;
  const int o = LookUpOverride(Name, addr);
  if (o == 1) {
    result.h_name = Name;
    result.h_addr_list = {addr};
    return &result;
  }
  if (o != 0)
    return Fail(o), nullptr;
  std::vector<uint32_t> addrs;
  std::string canon;
  const int rc = ResolveWithSystem(Name, addrs, canon);
  if (rc != 0)
    return Fail(rc), nullptr;
  result.h_name = canon;
  result.h_addr_list = std::move(addrs);
  return &result;
}

const protoent *getprotobyname(const char *Name) {
  static protoent result;  // not thread_local: that would pin the module carrying the layer
  if (!Name)
    return Fail(WSAEFAULT), nullptr;
  ::protoent pe{};
  ::protoent *found = nullptr;
  char buf[1024];
  if (::getprotobyname_r(Name, &pe, buf, sizeof buf, &found) == 0 && found) {
    result.p_name = found->p_name;
    result.p_proto = found->p_proto;
    return &result;
  }
  if (SameText(Name, "tcp")) {
    result.p_name = "tcp";
    result.p_proto = WS_IPPROTO_TCP;
    return &result;
  }
  Fail(WSANO_DATA);
  return nullptr;
}

SOCKET socket(int Family, int Type, int Protocol) {
  if (StartupCount <= 0)
    return Fail(WSANOTINITIALISED);
  if (Family != WS_AF_INET)
    return Fail(WSAEAFNOSUPPORT);
  if (Type != WS_SOCK_STREAM)
    return Fail(WSAESOCKTNOSUPPORT);
  if (Protocol != 0 && Protocol != WS_IPPROTO_TCP)
    return Fail(WSAEPROTONOSUPPORT);
  // The descriptor never blocks; blocking calls wait in BlockingWait.
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0)
    return Fail(ErrnoToWSA(errno));
  auto rec = std::make_unique<TSocketRec>();
  rec->Fd = fd;
  rec->Serial = NextSerial();
  Sockets()[fd] = std::move(rec);
  return fd;
}

int WSAAsyncSelect(SOCKET S, HWND Wnd, UINT Msg, long Events) {
  TSocketRec *r = Find(S);
  if (!r)
    return Fail(WSAENOTSOCK);
  if (Events != 0 && !IsWindow(Wnd))
    return Fail(WSAEINVAL);
  r->Serial = NextSerial();
  r->Wnd = Wnd;
  r->Msg = Msg;
  r->Events = Events;
  r->Blocking = false;
  r->ReadPosted = false;
  r->CloseSeen = false;
  r->WriteWanted = r->Connected;
  UpdateNotifiers(*r);
  return 0;
}

int ioctlsocket(SOCKET S, long Cmd, unsigned long *Arg) {
  TSocketRec *r = Find(S);
  if (!r)
    return Fail(WSAENOTSOCK);
  if (Cmd != WS_FIONBIO || !Arg)
    return Fail(WSAEINVAL);
  if (*Arg == 0 && r->Events != 0)
    return Fail(WSAEINVAL);
  r->Blocking = *Arg == 0;
  return 0;
}

int connect(SOCKET S, const sockaddr_in *Addr, int AddrLen) {
  TSocketRec *r = Find(S);
  if (!r)
    return Fail(WSAENOTSOCK);
  if (!Addr || AddrLen < 16)
    return Fail(WSAEFAULT);
  if (Addr->sin_family != WS_AF_INET)
    return Fail(WSAEAFNOSUPPORT);
  if (r->Connecting)
    return Fail(WSAEALREADY);
  if (r->Connected)
    return Fail(WSAEISCONN);
  if (r->Blocking && InBlockingCall)
    return Fail(WSAEINPROGRESS);
  uint32_t addr = Addr->sin_addr;
  uint16_t port = Addr->sin_port;
  ResolveToken(addr, port);
  ::sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = port;
  sa.sin_addr.s_addr = addr;
  const int rc = ::connect(S, reinterpret_cast<const ::sockaddr *>(&sa), sizeof sa);
  const int e = rc == 0 ? 0 : errno;
  if (!r->Blocking) {
    if (rc == 0) {
      r->Connected = true;
      r->WriteWanted = true;
      Post(*r, FD_CONNECT, 0);
    } else if (e == EINPROGRESS) {
      r->Connecting = true;
    } else if (r->Events == 0 || e == EBADF || e == EINVAL || e == EFAULT || e == EISCONN ||
               e == EALREADY || e == EAFNOSUPPORT || e == ENOTSOCK) {
      return Fail(ErrnoToWSA(e));
    } else {
      Post(*r, FD_CONNECT, ErrnoToWSA(e));
    }
    UpdateNotifiers(*r);
    return Fail(WSAEWOULDBLOCK);
  }
  if (rc == 0) {
    r->Connected = true;
    return 0;
  }
  if (e != EINPROGRESS)
    return Fail(ErrnoToWSA(e));
  r->Connecting = true;
  const int w = BlockingWait(S, POLLOUT);
  r = Find(S);
  if (!r)
    return Fail(WSAEINTR);
  r->Connecting = false;
  if (w != 0)
    return Fail(w);
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(S, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
    err = errno;
  if (err != 0)
    return Fail(ErrnoToWSA(err));
  r->Connected = true;
  return 0;
}

int send(SOCKET S, const char *Buf, int Len, int /*Flags*/) {
  TSocketRec *r = Find(S);
  if (!r)
    return Fail(WSAENOTSOCK);
  if (Len < 0 || (!Buf && Len > 0))
    return Fail(WSAEFAULT);
  if (!r->Connected)
    return Fail(WSAENOTCONN);
  if (!r->Blocking) {
    const ssize_t n = ::send(S, Buf, static_cast<size_t>(Len), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0)
      return static_cast<int>(n);
    const int e = errno;
    if (e == EAGAIN || e == EWOULDBLOCK) {
      r->WriteWanted = true;
      UpdateNotifiers(*r);
    }
    return Fail(ErrnoToWSA(e));
  }
  if (InBlockingCall)
    return Fail(WSAEINPROGRESS);
  int sent = 0;
  while (sent < Len) {
    const ssize_t n = ::send(S, Buf + sent, static_cast<size_t>(Len - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      sent += static_cast<int>(n);
      continue;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
      return Fail(ErrnoToWSA(errno));
    const int w = BlockingWait(S, POLLOUT);
    if (w != 0 || !Find(S))
      return Fail(w ? w : WSAEINTR);
  }
  return sent;
}

int recv(SOCKET S, char *Buf, int Len, int /*Flags*/) {
  TSocketRec *r = Find(S);
  if (!r)
    return Fail(WSAENOTSOCK);
  if (Len < 0 || (!Buf && Len > 0))
    return Fail(WSAEFAULT);
  if (!r->Connected)
    return Fail(WSAENOTCONN);
  if (r->Blocking) {
    if (InBlockingCall)
      return Fail(WSAEINPROGRESS);
    pollfd p{S, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) {
      const int w = BlockingWait(S, POLLIN);
      r = Find(S);
      if (w != 0 || !r)
        return Fail(w ? w : WSAEINTR);
    }
  }
  const ssize_t n = ::recv(S, Buf, static_cast<size_t>(Len), MSG_DONTWAIT);
  const int e = errno;
  r->ReadPosted = false;
  if (n == 0 && Len > 0) {
    // The caller saw the end itself; FD_CLOSE still follows, once.
    if (!r->CloseSeen) {
      r->CloseSeen = true;
      Post(*r, FD_CLOSE, 0);
    }
  } else if (n < 0 && e != EAGAIN && e != EWOULDBLOCK && e != EINTR) {
    // The caller learns of the failure from this call; no FD_CLOSE repeats it.
    r->CloseSeen = true;
  }
  UpdateNotifiers(*r);
  return n >= 0 ? static_cast<int>(n) : Fail(ErrnoToWSA(e));
}

int shutdown(SOCKET S, int How) {
  if (!Find(S))
    return Fail(WSAENOTSOCK);
  if (How < SD_RECEIVE || How > SD_BOTH)
    return Fail(WSAEINVAL);
  const int how = How == SD_RECEIVE ? SHUT_RD : How == SD_SEND ? SHUT_WR : SHUT_RDWR;
  if (::shutdown(S, how) != 0)
    return Fail(ErrnoToWSA(errno));
  return 0;
}

int setsockopt(SOCKET S, int Level, int OptName, const void *OptVal, int OptLen) {
  if (!Find(S))
    return Fail(WSAENOTSOCK);
  if (Level != WS_SOL_SOCKET || OptName != WS_SO_LINGER)
    return Fail(WSAENOPROTOOPT);
  if (!OptVal || OptLen < static_cast<int>(sizeof(linger)))
    return Fail(WSAEFAULT);
  const auto *l = static_cast<const linger *>(OptVal);
  ::linger pl{};
  pl.l_onoff = l->l_onoff;
  pl.l_linger = l->l_linger;
  if (::setsockopt(S, SOL_SOCKET, SO_LINGER, &pl, sizeof pl) != 0)
    return Fail(ErrnoToWSA(errno));
  return 0;
}

int closesocket(SOCKET S) {
  auto it = Sockets().find(S);
  if (it == Sockets().end())
    return Fail(WSAENOTSOCK);
  // Notifiers go before the descriptor; events still queued find no record.
  Sockets().erase(it);
  if (::close(S) != 0 && errno != EINTR)
    return Fail(ErrnoToWSA(errno));
  return 0;
}

}  // namespace kv::ws
