#pragma once
// One download of a URL into a file over HTTP/1.0, directly or through a
// proxy. A fetch is driven by the events of its socket on the caller's loop
// and reports its outcome once, through the caller's callback. The reply goes
// to a temporary file beside the target that replaces it only when the fetch
// succeeds: a fetch that fails in any way leaves the target as it was.
#include "fetch/Fetchlet.h"
#include "net/MsgSocket.h"
#include "platform/Limits.h"
#include "platform/Paths.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kv {

// Where the reply's header block ends (just past its empty line, CRLF or bare
// LF) in Data, searching from From; npos while it has not ended.
size_t HeaderEnd(const std::string &Data, size_t From = 0);
// The status code and Content-Length (-1 when absent) of a header block;
// false, with Reason, when it is no usable HTTP reply.
bool ParseReplyHeader(const std::string &Head, int &Status, int64_t &ContentLength, std::string &Reason);

class TfrmGetGif : public QObject {
public:
  enum class TState { Created, Connecting, RequestSent, Header, Body, Finished };

  TfrmGetGif();
  ~TfrmGetGif() override;  // FormDestroy
  TfrmGetGif(const TfrmGetGif &) = delete;
  TfrmGetGif &operator=(const TfrmGetGif &) = delete;

  void StartFetch(const std::string &URL, const std::string &FileName, const std::string &Host,
                  const std::string &Port, const std::string &ProxyHost, const std::string &ProxyPort,
                  bool UseProxy);
  // Ends the fetch, reports the outcome once and takes the fetch off the
  // running list; the object itself goes later, once no handler of it runs.
  void FinishFetch();
  void StopFetch() { FinishFetch(); }
  // Ends the fetch as failed without reporting (the library is going away).
  void Abandon();
  std::string BuildRequest() const;

  TState State() const { return FState; }
  // Why the fetch failed, for tests and diagnostics; empty on success.
  const std::string &FailReason() const { return FFailReason; }
  // Handlers of this fetch on the stack; the object must outlive them.
  int Busy = 0;

  std::string Caption = "Site Test";
  TMsgSocket *MsgSocket1;

  std::string ProxyUser, ProxyPassword, User, Password;
  // Set before StartFetch: the largest reply and the time limits.
  TConversationLimits Limits = limits::UpdateFile;
  TGetFileDoneProc Callback = nullptr;
  intptr_t UserData = 0;
  int32_t GroupId = 0;

private:
  void MsgSocket1SessionConnected(TMsgSocket *Sender, int Socket);
  void MsgSocket1DataAvailable(TMsgSocket *Sender, int Socket);
  void MsgSocket1SessionClosed(TMsgSocket *Sender, int Socket);
  void MsgSocket1ErrorOccurred(TMsgSocket *Sender, int Socket, int Error, const std::string &Msg);
  void Fail(const std::string &Reason);
  bool WriteBody(const char *Data, size_t Len);
  bool ParseHeader(size_t HeaderLen);
  void End();
  void EndFile();
  void WatchTick();

  std::string FURL, FFileName, FHost, FPort, FProxyHost, FProxyPort;
  bool FUseProxy = false;
  std::unique_ptr<TAtomicFile> FFile;  // the target's replacement while it is written
  bool FSuccess = false;
  bool FFinished = false;
  bool FHeaderDone = false;
  TState FState = TState::Created;
  std::string FFailReason;
  std::string FHeader;          // reply bytes until the header block ends
  int FStatus = 0;
  int64_t FContentLength = -1;  // -1: not given
  int64_t FBodyReceived = 0;
  uint64_t FReceived = 0;  // reply bytes, header block included
  QTimer *FWatch;
  QElapsedTimer FSince;
};

}  // namespace kv
