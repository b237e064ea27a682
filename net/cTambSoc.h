#pragma once
// TTambleSocket: the search engine's request socket. It sends its prepared
// request when the connection is made (the text and one zero byte), and tells
// its owner through OnDone when the server has closed the connection or the
// request was cancelled. The other fields are the per-request state the
// search engine keeps for one site and one search term.
#include "net/MsgSocket.h"
#include "platform/DateTime.h"
#include "sites/twl_abi.h"

#include <functional>
#include <string>

namespace kv {

class TTambleSocket : public TMsgSocket {
public:
  using TNotifyEvent = std::function<void(TTambleSocket *Sender)>;

  // Binds OnSessionConnected and OnSessionClosed to the socket's own
  // handlers; owners bind OnDataAvailable, OnDone and OnErrorOccurred.
  explicit TTambleSocket(QObject *Owner = nullptr);

  // Ends a busy request at once and reports it through OnDone; does nothing
  // when the socket is not Busy.
  void Cancel();

  std::string Request;   // empty: the socket is idle
  std::string Response;  // emptied when the connection is made
  TProcessPageProc ProcessPageProc = nullptr;
  int SiteIndex = -1;
  bool Busy = false;
  TNotifyEvent OnDone;
  double Rate = 0;
  std::string PendingRequest;
  int PageState = 0;
  int NextPageState = 0;
  void *Row = nullptr;  // the result row a follow-up page updates
  bool Cancelled = false;
  bool FollowUp = false;
  std::string FollowURL;
  bool Parsing = false;
  int TermIndex = 0;
  TDateTime StartTime = 0;
  bool DataReceived = false;

private:
  void SessionConnected();
  void SessionClosed();
};

}  // namespace kv

// The cookie functions belong to this unit.
#if __has_include("net/CookieFile.h")
#include "net/CookieFile.h"
#endif
