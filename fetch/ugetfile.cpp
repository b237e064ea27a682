#include "fetch/ugetfile.h"

#include "common/Common.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "platform/qt/Messages.h"
#include "platform/qt/WinSock.h"

#include <QCoreApplication>


#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace kv {

namespace {

constexpr int ReceiveChunk = 2048;
// A header block longer than this is not a reply we can use.
constexpr size_t MaxHeaderLength = 64 * 1024;
constexpr UINT WM_REAP = WM_USER + 1;
// How often a fetch looks at its time limits.
constexpr int WatchInterval = 250;

struct TLibrary {
  // The limits callers set for their groups.
  std::map<int32_t, TConversationLimits> GroupLimits;
  // Fetches not finished yet, in the order they were started.
  std::vector<TfrmGetGif *> Running;
  // Finished fetches, freed once none of their handlers is on the stack.
  std::vector<TfrmGetGif *> Closed;
  std::unique_ptr<TMessageTarget> Reaper;
};

TLibrary *Library = nullptr;

void Reap() {
  if (!Library)
    return;
  auto &closed = Library->Closed;
  // In one pass: a download of many files that failed at once leaves many.
  const auto busy = std::stable_partition(closed.begin(), closed.end(), [](TfrmGetGif *f) { return f->Busy != 0; });
  std::vector<TfrmGetGif *> idle(busy, closed.end());
  closed.erase(busy, closed.end());
  for (TfrmGetGif *f : idle)
    delete f;
}

void ScheduleReap() {
  if (!Library)
    return;
  if (!Library->Reaper)
    Library->Reaper = std::make_unique<TMessageTarget>([](TMessage &M) {
      if (M.Msg == WM_REAP)
        Reap();
    });
  PostMessage(Library->Reaper->Handle(), WM_REAP);
}

// Keeps the fetch alive while one of its handlers runs: a handler may pump
// messages or call back into code that stops fetches.
class TBusy {
public:
  explicit TBusy(TfrmGetGif *F) : FFetch(F) { ++FFetch->Busy; }
  ~TBusy() {
    if (--FFetch->Busy == 0 && FFetch->State() == TfrmGetGif::TState::Finished)
      ScheduleReap();
  }
  TBusy(const TBusy &) = delete;
  TBusy &operator=(const TBusy &) = delete;

private:
  TfrmGetGif *FFetch;
};

std::string Str(const char *S) { return S ? std::string(S) : std::string(); }

bool HasScheme(const std::string &URL) { return URL.size() >= 7 && SameText(URL.substr(0, 7), "http://"); }

// The scheme counts only at the start: "http://" inside a query string is not
// where the host begins.
std::string WithoutScheme(const std::string &URL) { return HasScheme(URL) ? URL.substr(7) : URL; }

std::string HostFromURL(const std::string &URL) {
  const std::string rest = WithoutScheme(URL);
  return rest.substr(0, rest.find('/'));
}

std::string PathFromURL(const std::string &URL) {
  const std::string rest = WithoutScheme(URL);
  const size_t slash = rest.find('/');
  return slash == std::string::npos ? std::string("/") : rest.substr(slash);
}

}  // namespace

size_t HeaderEnd(const std::string &Data, size_t From) {
  const size_t crlf = Data.find("\r\n\r\n", From);
  const size_t lf = Data.find("\n\n", From);
  if (crlf == std::string::npos && lf == std::string::npos)
    return std::string::npos;
  if (lf == std::string::npos || (crlf != std::string::npos && crlf < lf))
    return crlf + 4;
  return lf + 2;
}

bool ParseReplyHeader(const std::string &Head, int &Status, int64_t &ContentLength, std::string &Reason) {
  Status = 0;
  ContentLength = -1;
  std::vector<std::string> lines;
  for (size_t start = 0; start < Head.size();) {
    size_t eol = Head.find('\n', start);
    if (eol == std::string::npos)
      eol = Head.size();
    std::string line = Head.substr(start, eol - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
    start = eol + 1;
  }
  // "HTTP/1.x NNN reason"
  const std::string status = lines.empty() ? std::string() : lines.front();
  const size_t space = status.find(' ');
  const auto digits = [](const std::string &T) {
    return std::all_of(T.begin(), T.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (status.size() < 5 || !SameText(status.substr(0, 5), "HTTP/") || space == std::string::npos ||
      status.size() < space + 4 || !digits(status.substr(space + 1, 3))) {
    Reason = "the reply has no HTTP status line";
    return false;
  }
  Status = std::stoi(status.substr(space + 1, 3));
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t colon = lines[i].find(':');
    if (colon == std::string::npos || !SameText(Trim(lines[i].substr(0, colon)), "Content-Length"))
      continue;
    const std::string value = Trim(lines[i].substr(colon + 1));
    if (value.empty() || value.size() > 18 || !digits(value)) {
      Reason = "the reply's Content-Length is not a number";
      return false;
    }
    ContentLength = std::stoll(value);
    break;
  }
  return true;
}

TfrmGetGif::TfrmGetGif() : MsgSocket1(new TMsgSocket(this)), FWatch(new QTimer(this)) {
  FWatch->setInterval(WatchInterval);
  QObject::connect(FWatch, &QTimer::timeout, this, [this] { WatchTick(); });
  MsgSocket1->MaximumReceiveLength = 8192;
  MsgSocket1->OnSessionConnected = [this](TMsgSocket *S, int H) { MsgSocket1SessionConnected(S, H); };
  MsgSocket1->OnDataAvailable = [this](TMsgSocket *S, int H) { MsgSocket1DataAvailable(S, H); };
  MsgSocket1->OnSessionClosed = [this](TMsgSocket *S, int H) { MsgSocket1SessionClosed(S, H); };
  MsgSocket1->OnErrorOccurred = [this](TMsgSocket *S, int H, int E, const std::string &M) {
    MsgSocket1ErrorOccurred(S, H, E, M);
  };
}

TfrmGetGif::~TfrmGetGif() { Abandon(); }

void TfrmGetGif::StartFetch(const std::string &URL, const std::string &FileName, const std::string &Host,
                            const std::string &Port, const std::string &ProxyHost, const std::string &ProxyPort,
                            bool UseProxy) {
  FHeaderDone = false;
  FUseProxy = UseProxy;
  FURL = URL;
  FFileName = FileName;
  FHost = Host.empty() ? HostFromURL(URL) : Host;
  FPort = Port;
  FProxyHost = ProxyHost;
  FProxyPort = ProxyPort.empty() ? "80" : ProxyPort;

  // "host:8080" connects to port 8080 and keeps the port in the Host line.
  std::string name = FHost;
  const size_t colon = name.find(':');
  if (colon != std::string::npos) {
    if (FPort.empty())
      FPort = name.substr(colon + 1);
    name.erase(colon);
  }
  if (FPort.empty())
    FPort = "80";

  if (FUseProxy) {
    MsgSocket1->IPAddr = FProxyHost;
    MsgSocket1->Port = FProxyPort;
  } else {
    MsgSocket1->IPAddr = name;
    MsgSocket1->Port = FPort;
  }
  FState = TState::Connecting;
  FReceived = 0;
  FSince.start();
  if (Limits.Time.NoData > 0 || Limits.Time.InAll > 0)
    FWatch->start();
  MsgSocket1->SConnect();
  if (MsgSocket1->SocketHandle() == -1)
    Fail("the connection could not be started");
}

std::string TfrmGetGif::BuildRequest() const {
  std::string target;
  if (FUseProxy)
    target = HasScheme(FURL) ? FURL : "http://" + FURL;
  else
    target = PathFromURL(FURL);
  std::string r = "GET " + target + " HTTP/1.0\r\n";
  r += "Accept: image/gif\r\n";
  r += "Accept: image/x-xbitmap\r\n";
  r += "Accept: image/jpeg\r\n";
  r += "Accept: image/pjpeg\r\n";
  r += "Accept: */*\r\n";
  r += "Accept-CharSet: iso-8859-1,*,utf-8\r\n";
  r += "Accept-Language: en\r\n";
  if (FUseProxy && !ProxyUser.empty())
    r += "Proxy-Authorization: Basic " + base64Encode(ProxyUser + ":" + ProxyPassword) + "\r\n";
  if (!User.empty())
    r += "Authorization: Basic " + base64Encode(User + ":" + Password) + "\r\n";
  r += "Host: " + FHost + "\r\n";
  r += "User-Agent: Mozilla/4.0b4 [en] (Win95; I)\r\n";
  r += "\r\n";
  return r;
}

void TfrmGetGif::MsgSocket1SessionConnected(TMsgSocket *, int Socket) {
  TBusy busy(this);
  try {
    if (FFinished)
      return;
    ProcessMessages();
    // The fetch may have been stopped while messages were pumped.
    if (FFinished)
      return;
    FFile = std::make_unique<TAtomicFile>(FFileName);
    if (!FFile->IsOpen()) {
      Fail("cannot create " + FFileName);
      return;
    }
    FHeaderDone = false;
    std::string request = BuildRequest();
    request.push_back('\0');
    int len = static_cast<int>(request.size());
    const int sent = MsgSocket1->SSend(Socket, request.data(), len);
    if (sent < 0) {
      Fail("the request could not be sent");
      return;
    }
    if (!FFinished)
      FState = TState::RequestSent;
  } catch (...) {
    Fail("exception while connecting");
  }
}

void TfrmGetGif::MsgSocket1DataAvailable(TMsgSocket *, int Socket) {
  TBusy busy(this);
  try {
    YieldProcessor();
    if (FFinished)
      return;
    char buf[ReceiveChunk];
    const int n = ws::recv(Socket, buf, ReceiveChunk, 0);
    if (n < 0) {
      const int err = ws::WSAGetLastError();
      // The layer reports a failed receive only here, never as FD_CLOSE.
      if (err != ws::WSAEWOULDBLOCK)
        Fail("receive failed: " + ErrorText(err));
      return;
    }
    if (n == 0)
      return;  // FD_CLOSE follows
    FReceived += static_cast<uint64_t>(n);
    if (FReceived > Limits.MaxReply) {
      Fail("the reply is larger than " + IntToStr(static_cast<int64_t>(Limits.MaxReply)) + " bytes");
      return;
    }
    if (FHeaderDone) {
      WriteBody(buf, static_cast<size_t>(n));
      return;
    }
    FState = TState::Header;
    const size_t before = FHeader.size();
    FHeader.append(buf, static_cast<size_t>(n));
    const size_t end = HeaderEnd(FHeader, before >= 3 ? before - 3 : 0);
    if (end == std::string::npos) {
      if (FHeader.size() >= MaxHeaderLength)
        Fail("the reply's header block is too long");
      return;
    }
    if (end > MaxHeaderLength) {
      Fail("the reply's header block is too long");
      return;
    }
    if (!ParseHeader(end))
      return;
    FHeaderDone = true;
    FState = TState::Body;
    const std::string body = FHeader.substr(end);
    FHeader.clear();
    FHeader.shrink_to_fit();
    if (!body.empty())
      WriteBody(body.data(), body.size());
  } catch (...) {
    Fail("exception while receiving");
  }
}

bool TfrmGetGif::ParseHeader(size_t HeaderLen) {
  std::string reason;
  if (ParseReplyHeader(FHeader.substr(0, HeaderLen), FStatus, FContentLength, reason))
    return true;
  Fail(reason);
  return false;
}

bool TfrmGetGif::WriteBody(const char *Data, size_t Len) {
  FBodyReceived += static_cast<int64_t>(Len);
  if (!FFile || !FFile->Write(Data, Len)) {
    Fail("cannot write " + FFileName);
    return false;
  }
  return true;
}

void TfrmGetGif::MsgSocket1SessionClosed(TMsgSocket *, int) {
  TBusy busy(this);
  if (FFinished)
    return;
  // Only a whole 2xx reply is a download; an error page is a failure like
  // any other.
  if (!FHeaderDone)
    Fail("the connection closed before the reply's header ended");
  else if (FStatus < 200 || FStatus > 299)
    Fail("HTTP status " + IntToStr(FStatus));
  else if (FContentLength >= 0 && FBodyReceived != FContentLength)
    Fail("the body is " + IntToStr(FBodyReceived) + " bytes, not " + IntToStr(FContentLength));
  else {
    FSuccess = true;
    FinishFetch();
  }
}

void TfrmGetGif::WatchTick() {
  if (FFinished) {
    FWatch->stop();
    return;
  }
  TBusy busy(this);
  if (PastLimits(Limits.Time, FSince.elapsed(), FReceived > 0))
    Fail(FReceived > 0 ? "the reply took too long" : "no data came in time");
}

void TfrmGetGif::MsgSocket1ErrorOccurred(TMsgSocket *, int, int Error, const std::string &Msg) {
  TBusy busy(this);
  Fail("socket error " + IntToStr(Error) + ": " + Msg);
}

void TfrmGetGif::Fail(const std::string &Reason) {
  if (FFinished)
    return;
  FFailReason = Reason;
  FSuccess = false;
  FinishFetch();
}

// The one end of the target file: a whole download replaces the target;
// anything else removes what was written and leaves the target as it was,
// so neither a part of a reply nor an error page is ever taken for a file.
void TfrmGetGif::EndFile() {
  if (FSuccess && !(FFile && FFile->Commit())) {
    FSuccess = false;
    FFailReason = "cannot write " + FFileName;
  }
  FFile.reset();
}

// Every way a fetch ends comes here, reported or not.
void TfrmGetGif::End() {
  FFinished = true;
  FState = TState::Finished;
  FWatch->stop();
  EndFile();
  try {
    MsgSocket1->Disconnect();
  } catch (...) {
  }
}

void TfrmGetGif::FinishFetch() {
  if (FFinished)
    return;
  TBusy busy(this);
  // The running list holds unfinished fetches only, so a callback that stops
  // fetches never meets its own.
  if (Library) {
    auto &running = Library->Running;
    running.erase(std::remove(running.begin(), running.end(), this), running.end());
    Library->Closed.push_back(this);
  }
  End();
  if (Callback) {
    try {
      Callback(FSuccess ? 1 : 0, UserData);
    } catch (...) {
    }
  }
}

void TfrmGetGif::Abandon() {
  FSuccess = false;
  MsgSocket1->OnErrorOccurred = [](TMsgSocket *, int, int, const std::string &) {};
  End();
}

}  // namespace kv

using kv::Library;
using kv::TfrmGetGif;

extern "C" {

__attribute__((visibility("default"))) void Fetchlet_GetFile(const char *URL, const char *FileName, const char *Host,
                                                             const char *Port, const char *User, const char *Password,
                                                             const char *ProxyHost, const char *ProxyPort,
                                                             const char *ProxyUser, const char *ProxyPassword,
                                                             TGetFileDoneProc Callback, bool UseProxy,
                                                             intptr_t UserData, int32_t GroupId) {
  try {
    if (!Library)
      return;
    auto *fetch = new TfrmGetGif;
    Library->Running.push_back(fetch);
    kv::TBusy busy(fetch);
    fetch->ProxyUser = kv::Str(ProxyUser);
    fetch->ProxyPassword = kv::Str(ProxyPassword);
    fetch->User = kv::Str(User);
    fetch->Password = kv::Str(Password);
    fetch->Callback = Callback;
    fetch->UserData = UserData;
    fetch->GroupId = GroupId;
    const auto Set = Library->GroupLimits.find(GroupId);
    if (Set != Library->GroupLimits.end())
      fetch->Limits = Set->second;
    try {
      fetch->StartFetch(kv::Str(URL), kv::Str(FileName), kv::Str(Host), kv::Str(Port), kv::Str(ProxyHost),
                        kv::Str(ProxyPort), UseProxy);
    } catch (...) {
      fetch->FinishFetch();
    }
  } catch (...) {
  }
}

__attribute__((visibility("default"))) void Fetchlet_TerminateFileGroup(int32_t GroupId) {
  try {
    for (;;) {
      kv::YieldProcessor();
      if (!Library)
        return;
      TfrmGetGif *hit = nullptr;
      for (TfrmGetGif *f : Library->Running) {
        kv::YieldProcessor();
        if (f->GroupId == GroupId) {
          hit = f;
          break;
        }
      }
      if (!hit)
        return;
      try {
        hit->StopFetch();
      } catch (...) {
      }
    }
  } catch (...) {
  }
}

__attribute__((visibility("default"))) void Fetchlet_SetFileGroupLimits(int32_t GroupId, uint64_t MaxReply,
                                                                        int32_t NoDataSeconds, int32_t InAllSeconds) {
  try {
    if (Library)
      Library->GroupLimits[GroupId] = kv::TConversationLimits{
          "file group", static_cast<size_t>(MaxReply), {std::max(NoDataSeconds, 0), std::max(InAllSeconds, 0)}};
  } catch (...) {
  }
}

__attribute__((visibility("default"))) void Fetchlet_TerminateProcesses() {
  try {
    while (Library && !Library->Running.empty()) {
      kv::YieldProcessor();
      try {
        Library->Running.front()->StopFetch();
      } catch (...) {
      }
    }
  } catch (...) {
  }
}

__attribute__((visibility("default"))) void GetFile(const char *URL, const char *FileName, const char *Host,
                                                    const char *Port, const char *User, const char *Password,
                                                    const char *ProxyHost, const char *ProxyPort, const char *ProxyUser,
                                                    const char *ProxyPassword, TGetFileDoneProc Callback,
                                                    bool UseProxy, intptr_t UserData, int32_t GroupId) {
  Fetchlet_GetFile(URL, FileName, Host, Port, User, Password, ProxyHost, ProxyPort, ProxyUser, ProxyPassword,
                   Callback, UseProxy, UserData, GroupId);
}

__attribute__((visibility("default"))) void TerminateFileGroup(int32_t GroupId) {
  Fetchlet_TerminateFileGroup(GroupId);
}

__attribute__((visibility("default"))) void TerminateProcesses() { Fetchlet_TerminateProcesses(); }

__attribute__((visibility("default"))) void SetFileGroupLimits(int32_t GroupId, uint64_t MaxReply,
                                                               int32_t NoDataSeconds, int32_t InAllSeconds) {
  Fetchlet_SetFileGroupLimits(GroupId, MaxReply, NoDataSeconds, InAllSeconds);
}

}  // extern "C"

namespace {

__attribute__((constructor)) void LoadFetchlet() { kv::Library = new kv::TLibrary; }

// Unloading with fetches running: close and free them without a callback, since
// the code behind it may be going too. Runs before the library's static
// objects (the socket layer's tables among them) are destroyed. When the
// application object is gone, the process is ending and nothing runs again.
__attribute__((destructor)) void UnloadFetchlet() {
  kv::TLibrary *lib = kv::Library;
  if (!lib || !QCoreApplication::instance())
    return;
  kv::Library = nullptr;
  std::vector<TfrmGetGif *> all = lib->Running;
  all.insert(all.end(), lib->Closed.begin(), lib->Closed.end());
  for (TfrmGetGif *f : all) {
    f->Abandon();
    delete f;
  }
  lib->Reaper.reset();
  kv::ws::DiscardQueuedEvents();
  delete lib;
}

}  // namespace
