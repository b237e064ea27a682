#include "client/server/uServer.h"

#include "common/Common.h"
#include "platform/Dialogs.h"
#include "platform/SysUtils.h"
#include "platform/gui/Cursor.h"

#include <cstdlib>
#include <utility>

using namespace kv;

namespace {

// The same for every installation; the server expects it.
constexpr const char *ClientCredential = "kex:58tor41w";

constexpr const char *CheckConnectionPath = "/kv_client/check_connection.html";
constexpr const char *LogonPath = "/kv_client/kv_logon.2.035.asp?";
constexpr const char *UsagePath = "/kv_client/kv_log_search.2.035.asp";

constexpr int SnippetLength = 128;

// The main window's start-up message.
constexpr UINT StartupMessage = WM_USER + 300;

// $KORVANDEL_SERVER split at its last ":"; empty when unset.
void ServerOverride(std::string &Host, std::string &Port) {
  const char *v = std::getenv("KORVANDEL_SERVER");
  Host.clear();
  Port.clear();
  if (!v || !*v)
    return;
  const std::string s = v;
  const size_t colon = s.rfind(':');
  if (colon == std::string::npos) {
    Host = s;
  } else {
    Host = s.substr(0, colon);
    Port = s.substr(colon + 1);
  }
}

std::string RequestLine(const char *Method, const std::string &Path, const TProxySettings &Proxy) {
  std::string line = std::string(Method) + " ";
  if (Proxy.UseProxy)
    line += "http://" + ServerHost();
  return line + Path + " HTTP/1.0\r\n";
}

std::string ProxyAuthorisation(const TProxySettings &Proxy) {
  if (!Proxy.UseProxy || Proxy.ProxyUserName.empty())
    return std::string();
  return "Proxy-Authorization: Basic " + base64Encode(Proxy.ProxyUserName + ":" + Proxy.ProxyPassword) + "\r\n";
}

// GET with the header lines A, B, U, P, Auth and the empty line.
std::string BuildGetRequest(const std::string &Path, const TProxySettings &Proxy) {
  return RequestLine("GET", Path, Proxy) +
         "Accept: www/source\r\n"
         "Accept: text/html\r\n"
         "User-Agent: Tamblewick\r\n" +
         ProxyAuthorisation(Proxy) + "Authorization: Basic " + base64Encode(ClientCredential) + "\r\n\r\n";
}

std::string Join(const TStrings &Items, const std::string &Delimiter) {
  std::string s;
  for (int i = 0; i < Items.Count(); ++i) {
    if (i > 0)
      s += Delimiter;
    s += Items[i];
  }
  return s;
}

// Splits at "|": every part before a delimiter (empty ones too), then the
// rest when it is not empty; a text without "|" is the only item.
std::vector<std::string> SplitAtBar(const std::string &Text) {
  std::vector<std::string> items;
  size_t start = 0;
  size_t bar = Text.find('|');
  if (bar == std::string::npos) {
    items.push_back(Text);
    return items;
  }
  while (bar != std::string::npos) {
    items.push_back(Text.substr(start, bar - start));
    start = bar + 1;
    bar = Text.find('|', start);
  }
  if (start < Text.size())
    items.push_back(Text.substr(start));
  return items;
}

int ServerMaxResultsOf(const std::string &Script) {
  const std::vector<std::string> items = SplitAtBar(Script);
  size_t index = 0;  // without the name the first item is taken
  for (size_t i = 0; i < items.size(); ++i)
    if (SameText(items[i], "MaxResults")) {
      index = i + 1;
      break;
    }
  int value = 0;
  // A name with nothing after it keeps the default.
  if (index >= items.size() || !TryStrToInt(items[index], value))
    return DefaultServerMaxResults;
  return value;
}

// Closing a conversation that is ending anyway: its errors do not matter.
void DisconnectQuietly(TMsgSocket &Socket) {
  try {
    Socket.Disconnect();
  } catch (const std::exception &) {
  }
}

}  // namespace

std::string ServerAddress() {
  std::string host, port;
  ServerOverride(host, port);
  return host.empty() ? std::string(ServerHostName) : host;
}

std::string ServerPort() {
  std::string host, port;
  ServerOverride(host, port);
  return port.empty() ? std::string(ServerDefaultPort) : port;
}

std::string ServerHost() {
  std::string host, port;
  ServerOverride(host, port);
  if (host.empty())
    return ServerHostName;
  return port.empty() ? host : host + ":" + port;
}

std::string BuildCheckConnectionRequest(const TProxySettings &Proxy) {
  return BuildGetRequest(CheckConnectionPath, Proxy);
}

std::string BuildLogonRequest(const TProxySettings &Proxy, const std::string &CustomerID,
                              const std::string &Password) {
  // The password travels in the query: that is the server's format.
  return BuildGetRequest(
      std::string(LogonPath) + "customer_id=" + HTTPEncode(CustomerID) + "&password=" + HTTPEncode(Password), Proxy);
}

std::string BuildUsageRequest(const TProxySettings &Proxy, const std::string &CustomerID,
                              const TStrings &SearchTerms, const TStrings &SiteNames) {
  if (SiteNames.Count() == 0)
    return std::string();
  const std::string query = "?customer_id=" + HTTPEncode(CustomerID) + "&parts=" +
                            HTTPEncode(Join(SearchTerms, "|")) + "&sites=" + HTTPEncode(Join(SiteNames, "|"));
  return BuildGetRequest(UsagePath + query, Proxy);
}

TLogonReply ParseLogonReply(const std::string &Reply) {
  TLogonReply r;
  // A refusal counts even when an envelope follows.
  if (Reply.find("Invalid Customer ID") != std::string::npos) {
    r.Outcome = loInvalidCustomerID;
    return r;
  }
  if (Reply.find("Invalid Password") != std::string::npos) {
    r.Outcome = loInvalidPassword;
    return r;
  }
  std::string rest = Reply;
  std::string envelope = ChopLineOut(rest, "<OsTransmission>", "</OsTransmission>");
  if (envelope.empty()) {
    r.Outcome = loSystemError;
    const size_t blank = Reply.find("\r\n\r\n");
    const size_t from = blank == std::string::npos ? 0 : blank + 4;
    r.Snippet = Reply.substr(from, SnippetLength);
    return r;
  }
  r.Outcome = loAccepted;
  r.ServerMaxResults = ServerMaxResultsOf(Trim(ChopLineOut(envelope, "<OsConfigScript>", "</OsConfigScript>")));
  ChopLineOut(envelope, "<OsMessages>", "</OsMessages>");
  const std::string features = ChopLineOut(envelope, "<KvFeatures>", "</KvFeatures>");
  if (!features.empty())
    r.Features = SplitAtBar(features);
  return r;
}

TServerSession::TServerSession(TServerEvents Events, QObject *Owner)
    : QObject(Owner), FEvents(std::move(Events)) {
  static const TSystemClock SystemClock;
  FClock = &SystemClock;
  SockCheckConnect.OnSessionConnected = [this](TMsgSocket *, int) { SockCheckConnectSessionConnected(); };
  SockCheckConnect.OnDataAvailable = [this](TMsgSocket *, int) { SockCheckConnectDataAvailable(); };
  SockCheckConnect.OnSessionClosed = [this](TMsgSocket *, int) { SockCheckConnectSessionClosed(); };
  SockCheckConnect.OnErrorOccurred = [this](TMsgSocket *, int, int, const std::string &Msg) {
    SockCheckConnectErrorOccurred(Msg);
  };

  SockValidate.OnSessionConnected = [this](TMsgSocket *, int) { SockValidateSessionConnected(); };
  SockValidate.OnDataAvailable = [this](TMsgSocket *, int) { SockValidateDataAvailable(); };
  SockValidate.OnSessionClosed = [this](TMsgSocket *, int) { SockValidateSessionClosed(); };
  SockValidate.OnErrorOccurred = [this](TMsgSocket *S, int, int, const std::string &Msg) {
    SockUsageErrorOccurred(S, Msg);
  };

  SockUsage.OnSessionConnected = [this](TMsgSocket *, int) { SockUsageSessionConnected(); };
  SockUsage.OnDataAvailable = [this](TMsgSocket *, int) { SockUsageDataAvailable(); };
  SockUsage.OnSessionClosed = [this](TMsgSocket *, int) { SockUsageSessionClosed(); };
  SockUsage.OnErrorOccurred = [this](TMsgSocket *S, int, int, const std::string &Msg) {
    SockUsageErrorOccurred(S, Msg);
  };
}

TServerSession::~TServerSession() = default;

bool TServerSession::Closing() const { return FEvents.Closing && FEvents.Closing(); }
bool TServerSession::DebugMode() const { return FEvents.DebugMode && FEvents.DebugMode(); }
TProxySettings TServerSession::Proxy() const { return FEvents.Proxy ? FEvents.Proxy() : TProxySettings(); }
bool TServerSession::HasCustomerID() const { return FEvents.HasCustomerID && FEvents.HasCustomerID(); }

void TServerSession::SetStatus(const std::string &Text, bool Flash) const {
  if (FEvents.SetStatus)
    FEvents.SetStatus(Text, Flash);
}

void TServerSession::LoadSettings() const {
  if (FEvents.LoadSettings)
    FEvents.LoadSettings();
}

void TServerSession::EnableSearchButtons(bool Enabled) const {
  if (!FEvents.EnableButton)
    return;
  FEvents.EnableButton(ButtonFind, Enabled);
  FEvents.EnableButton(ButtonShortages, Enabled);
  FEvents.EnableButton(ButtonClear, Enabled);
}

void TServerSession::PostStartup(WPARAM WParam) const { kv::PostMessage(FEvents.Window, StartupMessage, WParam, 0); }

void TServerSession::SetTarget(TMsgSocket &Socket) const {
  const TProxySettings p = Proxy();
  if (p.UseProxy) {
    Socket.IPAddr = p.ProxyServer;
    Socket.Port = p.ProxyPort;
  } else {
    Socket.IPAddr = ServerAddress();
    Socket.Port = ServerPort();
  }
}

// False when the connection could not even be started. A port that is no
// number counts as that rather than raising out of the conversation.
bool TServerSession::StartConnect(TMsgSocket &Socket) {
  // Events still queued for an earlier connection must not reach this one.
  Socket.Disconnect();
  try {
    Socket.SConnect();
  } catch (const EConvertError &) {
    Socket.Disconnect();
    return false;
  }
  return Socket.SocketHandle() != -1;
}

void TServerSession::Send(TMsgSocket &Socket, const std::string &Request) {
  int len = static_cast<int>(Request.size()) + 1;
  Socket.SSend(Socket.SocketHandle(), Request.c_str(), len);
}

bool TServerSession::CheckConnection() {
  if (Closing())
    return false;
  if (FEvents.EnableButton) {
    FEvents.EnableButton(ButtonFind, false);
    FEvents.EnableButton(ButtonShortages, false);
    FEvents.EnableButton(ButtonClear, false);
  }
  SetStatus("Checking Connection", true);
  SetTarget(SockCheckConnect);

  Waiting = true;
  Connected = false;
  CheckDataReceived = false;
  CheckTimedOut = false;
  if (FEvents.EnableTimeOut)
    FEvents.EnableTimeOut(true);
  CheckStartTime = FClock->Now();
  CheckReply.clear();

  ProcessMessages();
  if (!StartConnect(SockCheckConnect)) {
    SetStatus("", false);
    Waiting = false;
    EnableSearchButtons(true);
    return false;
  }

  bool result = false;
  if (Waiting) {
    {
      kv::THourglass hourglass;
      // The time-out timer may be off (closing the window stops it), so the
      // wait keeps the check's limits itself, and ends when the window closes.
      WaitUntil([this] { return !Waiting || Closing() || CheckOverdue(); }, -1);
      if (Waiting) {
        if (Closing())
          EndCheck(false);
        else {
          EndCheck(true);
          if (FEvents.EnableTimeOut)
            FEvents.EnableTimeOut(false);
        }
      }
      ProcessMessages();
    }
    SetStatus("", false);
    result = Connected;
  }
  EnableSearchButtons(true);
  return result;
}

bool TServerSession::SessionsOpen() const {
  for (const TMsgSocket *S : {&SockCheckConnect, &SockValidate, &SockUsage})
    if (S->SocketHandle() != -1)
      return true;
  return false;
}

void TServerSession::CloseSessions() {
  for (TMsgSocket *S : {&SockUsage, &SockValidate, &SockCheckConnect})
    if (S->SocketHandle() != -1)
      DisconnectQuietly(*S);
}

bool TServerSession::CheckOverdue() const {
  return CheckStartTime != 0 &&
         Judge(CheckStartTime, FClock->Now(), CheckDataReceived, CheckLimits) != TVerdict::Running;
}

void TServerSession::EndCheck(bool TimedOut) {
  DisconnectQuietly(SockCheckConnect);
  CheckDataReceived = false;
  CheckStartTime = 0;
  CheckTimedOut = TimedOut;
  Waiting = false;
  Connected = false;
}

bool TServerSession::ShowErrorConnecting(bool AllowRetry) {
  const bool retry = FEvents.ShowErrorDialog && FEvents.ShowErrorDialog(AllowRetry);
  LoadSettings();
  return retry;
}

void TServerSession::SockCheckConnectSessionConnected() {
  if (Closing())
    return;
  Send(SockCheckConnect, BuildCheckConnectionRequest(Proxy()));
}

void TServerSession::SockCheckConnectDataAvailable() {
  CheckDataReceived = true;
  YieldProcessor();
  CheckReply += SockCheckConnect.GetText();
}

void TServerSession::SockCheckConnectSessionClosed() {
  Connected = UpperCase(CheckReply).find("SUCCESS") != std::string::npos;
  Waiting = false;
  SockCheckConnect.Disconnect();
}

void TServerSession::SockCheckConnectErrorOccurred(const std::string &Msg) {
  if (DebugMode())
    MessageBox(Msg, "Error", MB_OK | MB_ICONERROR);
  SockCheckConnect.Disconnect();
  Waiting = false;
}

bool TServerSession::Logon(bool &NoDetails) {
  if (Closing())
    return false;
  SetStatus("Logging onto System", true);
  if (FEvents.EnableButton) {
    FEvents.EnableButton(ButtonFind, false);
    FEvents.EnableButton(ButtonClear, false);
    FEvents.EnableButton(ButtonShortages, false);
  }
  NoDetails = false;
  ProcessMessages();

  if (CustomerID.empty() && Password.empty() && FEvents.ReadUserDetails)
    FEvents.ReadUserDetails(CustomerID, Password);
  // Without stored details the request would go out empty and only the
  // time-out would end it.
  if (CustomerID.empty() || Password.empty() || !HasCustomerID()) {
    NoDetails = true;
    SetStatus("", false);
    return false;
  }

  for (;;) {
    SetTarget(SockValidate);
    LogonActive = true;
    LogonDataReceived = false;
    LogonTimedOut = false;
    LogonStartTime = FClock->Now();
    // A reply cut short by an error must not be read with the next one.
    LogonReply.clear();

    if (StartConnect(SockValidate)) {
      if (FEvents.EnableTimeOut)
        FEvents.EnableTimeOut(true);
      return true;
    }
    // No logon is under way while its dialog is up: the time-outs would
    // otherwise end it inside the dialog and close the window under it.
    LogonActive = false;
    LogonStartTime = 0;
    const bool retry = ShowErrorConnecting(true);
    EnableSearchButtons(true);
    SetStatus("", false);
    if (!retry)
      return false;
  }
}

void TServerSession::SockValidateSessionConnected() {
  if (Closing() || !HasCustomerID())
    return;
  Send(SockValidate, BuildLogonRequest(Proxy(), CustomerID, Password));
}

void TServerSession::SockValidateDataAvailable() {
  LogonDataReceived = true;
  YieldProcessor();
  LogonReply += SockValidate.GetText();
}

void TServerSession::SockValidateSessionClosed() {
  LogonDataReceived = false;
  LogonStartTime = 0;
  if (FEvents.EnableTimeOut)
    FEvents.EnableTimeOut(false);
  SockValidate.Disconnect();
  // Cleared whatever the reply, or the time-outs would watch this logon for ever.
  LogonActive = false;

  if (HasCustomerID()) {
    const TLogonReply reply = ParseLogonReply(LogonReply);
    LogonReply.clear();
    switch (reply.Outcome) {
      case loInvalidCustomerID:
      case loInvalidPassword:
        MessageBox(reply.Outcome == loInvalidCustomerID ? "Your Customer ID was not recognized."
                                                         : "Your Password was not recognized.",
                   "Warning", MB_OK | MB_ICONWARNING);
        // The details in memory go too, so the next logon reads the (now
        // empty) stored ones and stops at once.
        CustomerID.clear();
        Password.clear();
        if (FEvents.WriteUserDetails)
          FEvents.WriteUserDetails("", "");
        LoadSettings();
        PostStartup(1);
        break;
      case loAccepted:
        if (FEvents.LogonAccepted)
          FEvents.LogonAccepted(reply.ServerMaxResults, reply.Features);
        LoadSettings();
        break;
      case loSystemError:
        MessageBox("A System Error has Occured while logging on.\n\rPlease note down the following and contact "
                   "Korvandel Support:\n\r\n\r" +
                       reply.Snippet,
                   "Error", MB_OK | MB_ICONERROR);
        LoadSettings();
        PostStartup(1);
        break;
    }
  }

  SockValidate.Disconnect();
  EnableSearchButtons(true);
  SetStatus("", false);
}

void TServerSession::SendUsageRecord(const TStrings &SearchTerms, const TStrings &SiteNames) {
  FUsageTerms.Assign(SearchTerms);
  FUsageSites.Assign(SiteNames);
  SetTarget(SockUsage);
  StartConnect(SockUsage);
}

void TServerSession::SockUsageSessionConnected() {
  const std::string request = BuildUsageRequest(Proxy(), CustomerID, FUsageTerms, FUsageSites);
  if (request.empty()) {
    SockUsage.Disconnect();
    return;
  }
  Send(SockUsage, request);
}

void TServerSession::SockUsageDataAvailable() {
  YieldProcessor();
  SockUsage.GetText();
}

void TServerSession::SockUsageSessionClosed() { SockUsage.Disconnect(); }

void TServerSession::SockUsageErrorOccurred(TMsgSocket *Sender, const std::string &Msg) {
  if (DebugMode())
    MessageBox(Msg, "Error", MB_OK | MB_ICONERROR);
  Sender->Disconnect();
}
