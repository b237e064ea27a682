#include "net/MsgSocket.h"

#include "platform/Dialogs.h"
#include "platform/SysUtils.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kv {

namespace {

constexpr UINT BlockingTimerID = 10;
constexpr long AllEvents = ws::FD_READ | ws::FD_WRITE | ws::FD_CONNECT | ws::FD_CLOSE;

struct TErrorRow {
  int Code;
  const char *Text;
};

constexpr TErrorRow ErrorTable[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Protocol not available"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references: can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network sub-system is unusable"},
    {10092, "WinSock DLL cannot support this application"},
    {10093, "WinSock not initialized"},
    {11001, "Host not found"},
    {11002, "Non-authoritative host not found"},
    {11003, "Non-recoverable error"},
    {11004, "No Data"},
};
static_assert(sizeof ErrorTable / sizeof ErrorTable[0] == 50);

const char *EventName(unsigned Event) {
  switch (Event) {
    case ws::FD_READ: return "FD_READ";
    case ws::FD_WRITE: return "FD_WRITE";
    case ws::FD_ACCEPT: return "FD_ACCEPT";
    case ws::FD_CONNECT: return "FD_CONNECT";
    case ws::FD_CLOSE: return "FD_CLOSE";
    default: return "";
  }
}

// Calls an event through a copy, so a handler may rebind its own slot.
template <class F, class... A>
void Fire(const F &Event, A &&...Args) {
  if (Event) {
    F copy = Event;
    copy(std::forward<A>(Args)...);
  }
}

}  // namespace

std::string ErrorText(int Code) {
  for (const auto &row : ErrorTable)
    if (row.Code == Code)
      return row.Text;
  return "Not a WinSock error";
}

TMsgSocket::TMsgSocket(QObject *Owner)
    : QObject(Owner), FWindow([this](TMessage &M) { WndProc(M); }) {
  if (ws::WSAStartup(0x0101, &FWSAData) != 0)
    ReportError(0, "Constructor (WSAStartup)", ws::WSAGetLastError());
}

TMsgSocket::~TMsgSocket() {
  // An open socket would otherwise outlive its component.
  CloseQuietly();
  if (ws::WSACleanup() < 0)
    ReportError(-1, "Destructor (WSACleanup)", ws::WSAGetLastError());
}

void TMsgSocket::CloseQuietly() {
  if (FSocket == -1)
    return;
  const int s = FSocket;
  FSocket = -1;
  FPending.clear();
  ws::WSAAsyncSelect(s, FWindow.Handle(), WM_USER, 0);
  ws::linger l;
  l.l_onoff = 1;
  l.l_linger = 0;
  ws::setsockopt(s, ws::WS_SOL_SOCKET, ws::WS_SO_LINGER, &l, sizeof l);
  ws::closesocket(s);
}

void TMsgSocket::ArmBlockingTimer() {
  if (FNonBlocking != 0)
    return;
  FTimedOut = false;
  if (Timeout > 0)
    FWindow.SetTimer(BlockingTimerID, static_cast<UINT>(Timeout > INT_MAX / 1000 ? INT_MAX / 1000 : Timeout) * 1000u);
}

void TMsgSocket::DisarmBlockingTimer() {
  if (FNonBlocking == 0 && Timeout > 0)
    FWindow.KillTimer(BlockingTimerID);
}

void TMsgSocket::SConnect() {
  if (Port.empty() || IPAddr.empty())
    return;
  // A socket still open from an earlier attempt would keep sending its
  // events, which would read as events of this one.
  CloseQuietly();

  FSockAddr = ws::sockaddr_in();
  FSockAddr.sin_family = ws::WS_AF_INET;
  FServEnt = ws::getservbyname(Port.c_str(), "tcp");
  if (FServEnt) {
    FSockAddr.sin_port = FServEnt->s_port;
  } else {
    const int p = StrToInt(Port);
    // htons would wrap a larger number into some other port.
    if (p < 0 || p > 65535)
      throw EConvertError(Format("'%s' is not a valid integer value", Port.c_str()));
    FSockAddr.sin_port = ws::WS_htons(static_cast<uint16_t>(p));
  }

  FSockAddr.sin_addr = ws::inet_addr(IPAddr.c_str());
  if (FSockAddr.sin_addr == ws::WS_INADDR_NONE) {
    FHostEnt = ws::gethostbyname(IPAddr.c_str());
    if (!FHostEnt || FHostEnt->h_addr_list.empty())
      return;  // an unknown host is not reported; the owner's time limit ends it
    FSockAddr.sin_addr = FHostEnt->h_addr_list.front();
  }

  FProtoEnt = ws::getprotobyname("tcp");
  const int s = ws::socket(ws::WS_AF_INET, ws::WS_SOCK_STREAM, FProtoEnt ? FProtoEnt->p_proto : 0);
  if (s < 0) {
    ReportError(-1, "SConnect (socket)", ws::WSAGetLastError());
    return;
  }
  FSocket = s;

  // A failed step ends the connect: the owner gets one report per failure.
  if (FNonBlocking == 1) {
    if (ws::WSAAsyncSelect(FSocket, FWindow.Handle(), WM_USER, AllEvents) != 0) {
      ReportError(FSocket, "WSAAsyncSelect", ws::WSAGetLastError());
      return;
    }
  } else {
    unsigned long arg = 0;
    ws::ioctlsocket(FSocket, ws::WS_FIONBIO, &arg);
  }

  ArmBlockingTimer();
  const int rc = ws::connect(FSocket, &FSockAddr, 16);
  const int err = ws::WSAGetLastError();
  DisarmBlockingTimer();
  if (rc != 0 && err != ws::WSAEWOULDBLOCK && !FTimedOut)
    ReportError(FSocket, "SConnect", err);
}

int TMsgSocket::SSend(int Socket, const char *Buf, int &Len) {
  if (Socket == -1)
    return 0;
  const bool queued = Socket == FSocket && FNonBlocking == 1;
  if (queued && !FPending.empty()) {
    if (Len > 0)
      FPending.append(Buf, static_cast<size_t>(Len));
    return Len;
  }
  ArmBlockingTimer();
  const int n = ws::send(Socket, Buf, Len, 0);
  const int err = ws::WSAGetLastError();
  DisarmBlockingTimer();
  if (n < 0 && (err != ws::WSAEWOULDBLOCK || !queued)) {
    Len = n;
    if (!FTimedOut)
      ReportError(FSocket, "SSend", err);
    return Len;
  }
  const int sent = n < 0 ? 0 : n;
  if (sent < Len) {
    if (!queued) {
      Len = sent;
      return Len;
    }
    // The rest goes out on FD_WRITE; the owner sends a request once and
    // must never see it cut short.
    FPending.assign(Buf + sent, static_cast<size_t>(Len - sent));
    if (!FlushPending())
      Len = -1;
  }
  return Len;
}

bool TMsgSocket::FlushPending() {
  while (!FPending.empty() && FSocket != -1) {
    const int n = ws::send(FSocket, FPending.data(), static_cast<int>(FPending.size()), 0);
    if (n < 0) {
      const int err = ws::WSAGetLastError();
      if (err == ws::WSAEWOULDBLOCK)
        return true;
      FPending.clear();
      ReportError(FSocket, "SSend", err);
      return false;
    }
    FPending.erase(0, static_cast<size_t>(n));
  }
  return true;
}

std::string TMsgSocket::GetText() {
  LastReceived = 0;
  if (FSocket == -1)
    return std::string();
  const int max = MaximumReceiveLength > 0 ? MaximumReceiveLength : 0;
  std::vector<char> buf(static_cast<size_t>(max) + 1, '\0');
  ArmBlockingTimer();
  const int n = ws::recv(FSocket, buf.data(), max, 0);
  const int err = ws::WSAGetLastError();
  DisarmBlockingTimer();
  if (n > 0) {
    LastReceived = static_cast<size_t>(n);
    return std::string(buf.data(), strnlen(buf.data(), static_cast<size_t>(n)));
  }
  // "Would block" only means nothing has arrived yet.
  if (n < 0 && err != ws::WSAEWOULDBLOCK && !FTimedOut)
    ReportError(FSocket, "GetText (Recv)", err);
  return std::string();
}

void TMsgSocket::Disconnect() {
  if (FSocket == -1)
    return;
  const int s = FSocket;
  if (FNonBlocking == 1)
    ws::WSAAsyncSelect(s, FWindow.Handle(), WM_USER, 0);
  if (ws::WSAIsBlocking())
    ws::WSACancelBlockingCall();
  // Only the receiving side: shutting the sending side too would send the
  // peer an orderly end ahead of the reset, and it would read that end and
  // never the reset an abortive close promises.
  ws::shutdown(s, ws::SD_RECEIVE);
  ws::linger l;
  l.l_onoff = 1;
  l.l_linger = 0;
  ws::setsockopt(s, ws::WS_SOL_SOCKET, ws::WS_SO_LINGER, &l, sizeof l);
  // Closed before any report, so a handler that disconnects again finds
  // nothing left to close.
  FSocket = -1;
  FPending.clear();
  if (ws::closesocket(s) != 0)
    ReportError(s, "Disconnect (closesocket)", ws::WSAGetLastError());
}

void TMsgSocket::ReportError(int Socket, const std::string &Where, int Error) {
  const std::string text = ErrorText(Error);
  if (OnErrorOccurred) {
    Fire(OnErrorOccurred, this, Socket, Error, text);
    return;
  }
  // Nobody listens: end the program, and say why.
  const std::string composed = "Error " + IntToStr(Error) + " in function " + Where + "\n" + text;
  std::fprintf(stderr, "%s\n", composed.c_str());
  std::fflush(nullptr);
  std::_Exit(1);
}

void TMsgSocket::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case WM_USER:
      SocketMessage(Message);
      break;
    case WM_TIMER:
      if (Message.WParam == BlockingTimerID)
        BlockingTimer();
      break;
    default:
      break;
  }
}

void TMsgSocket::SocketMessage(const TMessage &Message) {
  const int socket = static_cast<int>(Message.WParam);
  const unsigned event = LoWord(Message.LParam);
  const unsigned error = HiWord(Message.LParam);
  if (error > 10000) {
    ReportError(socket, EventName(event), static_cast<int>(error));
    return;
  }
  switch (event) {
    case ws::FD_READ:
      Fire(OnDataAvailable, this, socket);
      break;
    case ws::FD_WRITE:
      if (!FPending.empty() && (!FlushPending() || !FPending.empty()))
        break;
      Fire(OnDataNeeded, this, socket);
      break;
    case ws::FD_ACCEPT:
      Fire(OnSessionAvailable, this, socket);
      break;
    case ws::FD_CONNECT:
      Fire(OnSessionConnected, this, socket);
      break;
    case ws::FD_CLOSE:
      Fire(OnSessionClosed, this, socket);
      break;
    default:
      break;
  }
}

void TMsgSocket::BlockingTimer() {
  FWindow.KillTimer(BlockingTimerID);
  if (!ws::WSAIsBlocking())
    return;
  ws::WSACancelBlockingCall();
  FTimedOut = true;
  if (OnErrorOccurred)
    Fire(OnErrorOccurred, this, FSocket, ws::WSAETIMEDOUT, std::string("Blocking call timed out"));
  else
    MessageBox("Error " + IntToStr(ws::WSAETIMEDOUT) + "\r\nBlocking call timed out", "WINSOCK CALL CANCELED",
               MB_OKCANCEL);
}

}  // namespace kv
