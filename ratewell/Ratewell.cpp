// libRatewell.so: each request asks the rates page of the maker's server
//   GET http://www.korvandel.test/ratewell/rate.asp?from=XXX&to=YYY
// directly or through the given proxy, over the socket layer on the caller's
// message loop (so $KORVANDEL_HOSTS can point the name at the demo server),
// and answers through the callback from that loop, never inside the call
// that started it: the page's first line when the reply is a whole 200 page,
// "n/a" for anything else (no rate for the pair, no server, a broken reply).
#include "ratewell/Ratewell.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <map>
#include <string>

#include "net/MsgSocket.h"
#include "platform/Limits.h"
#include "platform/SysUtils.h"

#define RATEWELL_EXPORT __attribute__((visibility("default")))

namespace {

using namespace kv;

constexpr const char *RatesHost = "www.korvandel.test";
constexpr const char *RatesPath = "/ratewell/rate.asp";
constexpr const char *NoRate = "n/a";
// A rates page is a line; anything longer or slower is not one.
constexpr TConversationLimits Limits = limits::Rates;

// The rate in a reply: the first line of a 200 reply's body, else NoRate.
std::string RateOf(const std::string &Reply) {
  const size_t LineEnd = Reply.find('\n');
  if (LineEnd == std::string::npos)
    return NoRate;
  const std::string Status = Trim(Reply.substr(0, LineEnd));
  if (Status.rfind("HTTP/", 0) != 0 || Status.find(" 200") == std::string::npos)
    return NoRate;
  size_t Body = Reply.find("\r\n\r\n");
  size_t Skip = 4;
  if (Body == std::string::npos) {
    Body = Reply.find("\n\n");
    Skip = 2;
  }
  if (Body == std::string::npos)
    return NoRate;
  std::string Text = Reply.substr(Body + Skip);
  const size_t End = Text.find_first_of("\r\n");
  if (End != std::string::npos)
    Text.erase(End);
  Text = Trim(Text);
  return Text.empty() ? NoRate : Text;
}

class TRateRequest;
// Requests still running, by number; only these may call back.
std::map<unsigned, TRateRequest *> Running;
unsigned LastNumber = 0;

class TRateRequest : public QObject {
public:
  TRateRequest(unsigned Number, TConversionRateProc Callback, void *Context)
      : FNumber(Number), FCallback(Callback), FContext(Context), FSocket(new TMsgSocket(this)) {
    FSocket->OnSessionConnected = [this](TMsgSocket *, int Socket) { Connected(Socket); };
    FSocket->OnDataAvailable = [this](TMsgSocket *, int Socket) { Receive(Socket); };
    FSocket->OnSessionClosed = [this](TMsgSocket *, int) { Finish(RateOf(FReply)); };
    FSocket->OnErrorOccurred = [this](TMsgSocket *, int, int, const std::string &) { Finish(NoRate); };
    FWatch->setInterval(250);
    QObject::connect(FWatch, &QTimer::timeout, this, [this] { Watch(); });
  }

  void Start(const std::string &From, const std::string &To, bool UseProxy, const std::string &ProxyHost,
             const std::string &ProxyPort) {
    const std::string Address =
        std::string(RatesPath) + "?from=" + PercentEncode(From) + "&to=" + PercentEncode(To);
    FRequest = "GET " + (UseProxy ? "http://" + std::string(RatesHost) + Address : Address) + " HTTP/1.0\r\n" +
               "Host: " + RatesHost + "\r\nAccept: text/plain\r\n\r\n";
    FSocket->IPAddr = UseProxy ? ProxyHost : RatesHost;
    FSocket->Port = UseProxy ? (ProxyPort.empty() ? "80" : ProxyPort) : "80";
    FSince.start();
    FWatch->start();
    try {
      FSocket->SConnect();
    } catch (const std::exception &) {
    }
    // No connection started (no such host, no port): no event will come.
    if (FSocket->SocketHandle() == -1)
      Finish(NoRate);
  }

  // Stops without calling back.
  void Abandon() {
    FDone = true;
    FWatch->stop();
    Running.erase(FNumber);
    FSocket->OnErrorOccurred = [](TMsgSocket *, int, int, const std::string &) {};
    FSocket->Disconnect();
    deleteLater();
  }

private:
  void Connected(int Socket) {
    if (FDone)
      return;
    int Len = static_cast<int>(FRequest.size());
    if (FSocket->SSend(Socket, FRequest.data(), Len) < 0)
      Finish(NoRate);
  }

  void Receive(int Socket) {
    if (FDone)
      return;
    char Buffer[4096];
    const int N = ws::recv(Socket, Buffer, sizeof Buffer, 0);
    if (N > 0)
      FReply.append(Buffer, static_cast<size_t>(N));
    if (FReply.size() > Limits.MaxReply)
      Finish(NoRate);
  }

  void Watch() {
    if (PastLimits(Limits.Time, FSince.elapsed(), !FReply.empty()))
      Finish(NoRate);
  }

  // The answer goes out from the loop, after whatever handler is running
  // now, and only while the request has not been stopped.
  void Finish(const std::string &Rate) {
    if (FDone)
      return;
    FDone = true;
    FWatch->stop();
    FSocket->OnErrorOccurred = [](TMsgSocket *, int, int, const std::string &) {};
    FSocket->Disconnect();
    QTimer::singleShot(0, this, [this, Rate] {
      if (Running.erase(FNumber) == 1 && FCallback)
        FCallback(Rate.c_str(), FContext);
      deleteLater();
    });
  }

  unsigned FNumber;
  TConversionRateProc FCallback;
  void *FContext;
  TMsgSocket *FSocket;
  QTimer *FWatch = new QTimer(this);
  QElapsedTimer FSince;
  std::string FRequest, FReply;
  bool FDone = false;
};

}  // namespace

extern "C" {

RATEWELL_EXPORT int32_t GetConversionRate(const char *FromCode, const char *ToCode, uint8_t UseProxy,
                                          const char *ProxyHost, const char *ProxyPort,
                                          TConversionRateProc Callback, void *Context) {
  try {
    const unsigned Number = ++LastNumber;
    auto *Request = new TRateRequest(Number, Callback, Context);
    Running[Number] = Request;
    Request->Start(FromCode ? FromCode : "", ToCode ? ToCode : "", UseProxy != 0, ProxyHost ? ProxyHost : "",
                   ProxyPort ? ProxyPort : "");
    return 1;
  } catch (...) {
    return 0;
  }
}

RATEWELL_EXPORT void TerminateProcesses(void) {
  const auto Stopping = Running;
  for (const auto &Entry : Stopping)
    Entry.second->Abandon();
  Running.clear();
}

}  // extern "C"
