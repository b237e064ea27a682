#include "client/server/uServer.h"

#include "client/uTextUtils.h"
#include "common/Common.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "platform/gui/Cursor.h"

#include <QTimer>

#include <cstdlib>
#include <stdexcept>
#include <utility>

using namespace kv;

namespace {

constexpr int SnippetLength = 128;

// How often a conversation that watches its own limits looks at its clock.
constexpr int WatchInterval = 250;

// The main window's start-up message.
constexpr UINT StartupMessage = WM_USER + 300;

// The separator the server puts between fields and features.
constexpr const char *Bar = "|";

// A saved page from the server is opened from a local file, where a browser
// would give its scripts more than the server's own pages get: this first
// line forbids them, and the form still posts.
constexpr const char *NoScriptsLine =
    "<meta http-equiv=\"Content-Security-Policy\" content=\"script-src 'none'; object-src 'none'\">\r\n";

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

// Header lines by letter: A, B and U the accept and agent lines, P the
// proxy's authorisation (only through a proxy with a user name), H the
// server's, T the content type and L the length of the body.
struct TRequestRow {
  TServerRequest Kind;
  const char *Method;
  const char *Path;
  const char *Headers;
};

constexpr TRequestRow RequestTable[] = {
    {TServerRequest::CheckConnection, "GET", "/kv_client/check_connection.html", "ABUPH"},
    {TServerRequest::Logon, "GET", "/kv_client/kv_logon.2.035.asp?", "ABUPH"},
    {TServerRequest::Usage, "GET", "/kv_client/kv_log_search.2.035.asp", "ABUPH"},
    {TServerRequest::Update, "GET", "/kv_client/kvupdate.htm", "PHABU"},
    {TServerRequest::UserDetails, "GET", "/kv_client/kv_get_user_info.2.035.asp?customer_id=", "ABUPH"},
    {TServerRequest::ShortagesForm, "POST", "/kv_homepage/shortages_form.asp", "ABUPHTL"},
    {TServerRequest::Suggestion, "POST", "/kv_client/twsuggest.pl", "ABUTL"},
};

const TRequestRow &RowOf(TServerRequest Kind) {
  for (const TRequestRow &Row : RequestTable)
    if (Row.Kind == Kind)
      return Row;
  throw std::logic_error("no such server request");
}

std::string HeaderLine(char Letter, const TProxySettings &Proxy, const std::string &Body) {
  switch (Letter) {
  case 'A': return "Accept: www/source\r\n";
  case 'B': return "Accept: text/html\r\n";
  case 'U': return "User-Agent: Tamblewick\r\n";
  case 'P':
    if (!Proxy.UseProxy || Proxy.ProxyUserName.empty())
      return std::string();
    return "Proxy-Authorization: Basic " + base64Encode(Proxy.ProxyUserName + ":" + Proxy.ProxyPassword) + "\r\n";
  case 'H': return "Authorization: Basic " + base64Encode(std::string(ClientUser) + ":" + ClientPassword) + "\r\n";
  case 'T': return "Content-type: application/x-www-form-urlencoded\r\n";
  case 'L': return "Content-length: " + IntToStr(static_cast<int64_t>(Body.size())) + "\r\n";
  default: return std::string();
  }
}

// The fields of the shortages form and the positions of the user's details
// that fill them, in the order the form is posted.
struct TFormField {
  const char *Name;
  int Position;
};
constexpr TFormField ShortagesFields[] = {
    {"first_name", 0}, {"last_name", 1},  {"email_address", 7},     {"company", 2}, {"phone", 4},
    {"fax", 6},        {"country", 12},   {"company_size", 19},     {"title", 3},   {"type_of_company", 13},
};

std::vector<std::string> SplitAtBar(const std::string &Text) {
  TStringList Items;
  SplitString(Text, Bar, Items, true, false);
  std::vector<std::string> Result;
  for (int I = 0; I < Items.Count(); ++I)
    Result.push_back(Items[I]);
  return Result;
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

void SetTargetOf(TMsgSocket &Socket, const TProxySettings &Proxy) {
  if (Proxy.UseProxy) {
    Socket.IPAddr = Proxy.ProxyServer;
    Socket.Port = Proxy.ProxyPort;
  } else {
    Socket.IPAddr = ServerAddress();
    Socket.Port = ServerPort();
  }
}

const TClock &SystemClock() {
  static const TSystemClock Clock;
  return Clock;
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

std::string BuildServerRequest(TServerRequest Kind, const TProxySettings &Proxy, const std::string &Query,
                               const std::string &Body) {
  const TRequestRow &Row = RowOf(Kind);
  std::string Text = std::string(Row.Method) + " ";
  if (Proxy.UseProxy)
    Text += "http://" + ServerHost();
  Text += std::string(Row.Path) + Query + " HTTP/1.0\r\n";
  for (const char *H = Row.Headers; *H; ++H)
    Text += HeaderLine(*H, Proxy, Body);
  Text += "\r\n";
  // The length announced does not count this line break.
  if (std::string(Row.Method) == "POST")
    Text += Body + "\r\n";
  return Text;
}

std::string BuildCheckConnectionRequest(const TProxySettings &Proxy) {
  return BuildServerRequest(TServerRequest::CheckConnection, Proxy);
}

std::string BuildLogonRequest(const TProxySettings &Proxy, const std::string &CustomerID,
                              const std::string &Password) {
  // The password travels in the query: that is the server's format.
  return BuildServerRequest(TServerRequest::Logon, Proxy,
                            "customer_id=" + HTTPEncode(CustomerID) + "&password=" + HTTPEncode(Password));
}

std::string BuildUsageRequest(const TProxySettings &Proxy, const std::string &CustomerID,
                              const TStrings &SearchTerms, const TStrings &SiteNames) {
  if (SiteNames.Count() == 0)
    return std::string();
  const std::string Query = "?customer_id=" + HTTPEncode(CustomerID) + "&parts=" +
                            HTTPEncode(JoinStrings(SearchTerms, Bar)) + "&sites=" +
                            HTTPEncode(JoinStrings(SiteNames, Bar));
  return BuildServerRequest(TServerRequest::Usage, Proxy, Query);
}

std::string BuildUpdateRequest(const TProxySettings &Proxy) { return BuildServerRequest(TServerRequest::Update, Proxy); }

std::string BuildUserDetailsRequest(const TProxySettings &Proxy, const std::string &CustomerID) {
  return BuildServerRequest(TServerRequest::UserDetails, Proxy, HTTPEncode(CustomerID));
}

std::string BuildShortagesRequest(const TProxySettings &Proxy, const std::string &Form) {
  return BuildServerRequest(TServerRequest::ShortagesForm, Proxy, "", Form);
}

std::string BuildShortagesForm(const TStrings &UserInfo) {
  std::string Form;
  for (const TFormField &F : ShortagesFields) {
    if (F.Position >= UserInfo.Count())
      break;
    if (!Form.empty())
      Form += "&";
    Form += std::string(F.Name) + "=" + HTTPEncode(Trim(UserInfo[F.Position]));
  }
  return Form;
}

std::string AdjustLineBreaks(const std::string &Text) {
  std::string Result;
  Result.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    if (C != '\r' && C != '\n') {
      Result += C;
      continue;
    }
    // The two in either order are one break.
    if (I + 1 < Text.size() && (Text[I + 1] == '\r' || Text[I + 1] == '\n') && Text[I + 1] != C)
      ++I;
    Result += "\r\n";
  }
  return Result;
}

std::string ReplyBody(const std::string &Reply) {
  std::string Text = AdjustLineBreaks(Reply);
  ChopLineOut(Text, "Content-Type:", "\r\n\r\n");
  return Text;
}

int ReplyStatus(const std::string &Reply) {
  // "HTTP/", the version, one blank and three digits standing alone.
  if (Reply.compare(0, 5, "HTTP/") != 0)
    return 0;
  const size_t Blank = Reply.find(' ');
  if (Blank == std::string::npos || Blank > 12 || Reply.size() < Blank + 4)
    return 0;
  int Code = 0;
  for (size_t I = Blank + 1; I < Blank + 4; ++I) {
    if (Reply[I] < '0' || Reply[I] > '9')
      return 0;
    Code = Code * 10 + (Reply[I] - '0');
  }
  if (Reply.size() > Blank + 4 && Reply[Blank + 4] != ' ' && Reply[Blank + 4] != '\r' && Reply[Blank + 4] != '\n')
    return 0;
  return Code;
}

TUserDetailsReply ParseUserDetailsReply(const std::string &Reply) {
  TUserDetailsReply R;
  // The server's refusal, anywhere in the reply.
  if (Reply.find("Error") != std::string::npos) {
    R.Outcome = udError;
    return R;
  }
  const std::string Body = ReplyBody(Reply);
  if (Body.empty())
    return R;
  R.Outcome = udFields;
  R.Fields = SplitAtBar(Body);
  return R;
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

TServerConversation::TServerConversation(QObject *Owner)
    : TMsgSocket(Owner), FClock(&SystemClock()), FWatch(new QTimer(this)) {
  FWatch->setInterval(WatchInterval);
  QObject::connect(FWatch, &QTimer::timeout, this, [this] { WatchTick(); });
  OnSessionConnected = [this](TMsgSocket *, int) { SessionConnected(); };
  OnDataAvailable = [this](TMsgSocket *, int) { DataAvailable(); };
  OnSessionClosed = [this](TMsgSocket *, int) { SessionClosed(); };
  OnErrorOccurred = [this](TMsgSocket *, int, int, const std::string &Msg) { ErrorOccurred(Msg); };
}

void TServerConversation::Begin(TDateTime Now) {
  Reply.clear();
  Received = 0;
  DataReceived = false;
  StartTime = Now;
  if (Watch)
    FWatch->start();
}

void TServerConversation::WatchTick() {
  if (StartTime == 0 || SocketHandle() == -1) {
    FWatch->stop();
    return;
  }
  if (Overdue(FClock->Now()))
    ErrorOccurred(ReplyTooLateText);
}

// A port that is no number counts as a connection that could not start
// rather than raising out of the conversation.
bool TServerConversation::Open(const TProxySettings &Proxy) {
  SetTargetOf(*this, Proxy);
  // Events still queued for an earlier connection must not reach this one.
  Disconnect();
  try {
    SConnect();
  } catch (const EConvertError &) {
    Disconnect();
    return false;
  }
  return SocketHandle() != -1;
}

void TServerConversation::Close() {
  if (SocketHandle() != -1)
    DisconnectQuietly(*this);
}

bool TServerConversation::Overdue(TDateTime Now) const {
  return StartTime != 0 && Judge(StartTime, Now, DataReceived, Limits.Time) != TVerdict::Running;
}

void TServerConversation::SessionConnected() {
  const std::string Text = Request ? Request() : std::string();
  if (Text.empty()) {
    if (NothingToSend)
      NothingToSend();
    return;
  }
  int Len = static_cast<int>(Text.size()) + 1;
  SSend(SocketHandle(), Text.c_str(), Len);
}

void TServerConversation::DataAvailable() {
  DataReceived = true;
  if (YieldOnData)
    YieldProcessor();
  const std::string Text = GetText();
  Received += LastReceived;
  if (Received > Limits.MaxReply) {
    ErrorOccurred(ReplyTooLargeText);
    return;
  }
  if (KeepReply && Reply.size() < KeepAtMost)
    Reply.append(Text, 0, KeepAtMost - Reply.size());
}

void TServerConversation::SessionClosed() {
  FWatch->stop();
  Disconnect();
  if (OnReply)
    OnReply();
}

void TServerConversation::ErrorOccurred(const std::string &Msg) {
  FWatch->stop();
  // What a broken reply left is nobody's to read.
  Reply.clear();
  Reply.shrink_to_fit();
  DisconnectQuietly(*this);
  if (OnFailure)
    OnFailure(Msg);
}

TServerSession::TServerSession(TServerEvents Events, QObject *Owner)
    : QObject(Owner), FEvents(std::move(Events)) {
  FClock = &SystemClock();
  const auto Shared = [this](const std::string &Msg) { SockUsageErrorOccurred(Msg); };

  SockCheckConnect.Limits = limits::Check;
  SockCheckConnect.Request = [this] { return Closing() ? std::string() : BuildCheckConnectionRequest(Proxy()); };
  SockCheckConnect.OnReply = [this] { SockCheckConnectSessionClosed(); };
  SockCheckConnect.OnFailure = [this](const std::string &Msg) { SockCheckConnectErrorOccurred(Msg); };

  SockValidate.Limits = limits::Logon;
  SockValidate.Request = [this] {
    if (Closing() || !HasCustomerID())
      return std::string();
    return BuildLogonRequest(Proxy(), CustomerID, Password);
  };
  SockValidate.OnReply = [this] { SockValidateSessionClosed(); };
  SockValidate.OnFailure = Shared;

  SockUsage.Limits = limits::Usage;
  SockUsage.Watch = true;
  SockUsage.KeepReply = false;
  SockUsage.Request = [this] { return BuildUsageRequest(Proxy(), CustomerID, FUsageTerms, FUsageSites); };
  SockUsage.NothingToSend = [this] { SockUsage.Disconnect(); };
  SockUsage.OnFailure = Shared;

  SockUpdate.Limits = limits::UpdatePage;
  SockUpdate.Watch = true;
  SockUpdate.Request = [this] { return Closing() ? std::string() : BuildUpdateRequest(Proxy()); };
  SockUpdate.OnReply = [this] { SockUpdateSessionClosed(); };
  SockUpdate.OnFailure = Shared;

  SockShortages.Request = [this] {
    // Without a stored customer there is nobody to ask about.
    if (!HasCustomerID())
      return std::string();
    if (!ShortagesPhase)
      return BuildUserDetailsRequest(Proxy(), StoredCustomerID());
    return BuildShortagesRequest(Proxy(), BuildShortagesForm(UserInfo));
  };
  SockShortages.NothingToSend = [this] { EndShortages(true); };
  SockShortages.OnReply = [this] { SockShortagesSessionClosed(); };
  SockShortages.OnFailure = [this](const std::string &Msg) {
    SockUsageErrorOccurred(Msg);
    EndShortages(true);
  };
}

TServerSession::~TServerSession() = default;

void TServerSession::SetClock(const TClock &Clock) {
  FClock = &Clock;
  for (TServerConversation *S : {&SockCheckConnect, &SockValidate, &SockUsage, &SockUpdate, &SockShortages})
    S->SetClock(Clock);
}

bool TServerSession::Closing() const { return FEvents.Closing && FEvents.Closing(); }
bool TServerSession::DebugMode() const { return FEvents.DebugMode && FEvents.DebugMode(); }
TProxySettings TServerSession::Proxy() const { return FEvents.Proxy ? FEvents.Proxy() : TProxySettings(); }
bool TServerSession::HasCustomerID() const { return FEvents.HasCustomerID && FEvents.HasCustomerID(); }

std::string TServerSession::StoredCustomerID() const {
  std::string ID, Pass;
  if (FEvents.ReadUserDetails)
    FEvents.ReadUserDetails(ID, Pass);
  return ID;
}

std::string TServerSession::ProgramFolder() const {
  return FEvents.ProgramFolder ? FEvents.ProgramFolder() : kv::ProgramFolder();
}

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

bool TServerSession::CheckConnection() {
  if (Closing())
    return false;
  EnableSearchButtons(false);
  SetStatus("Checking Connection", true);

  Waiting = true;
  Connected = false;
  CheckTimedOut = false;
  if (FEvents.EnableTimeOut)
    FEvents.EnableTimeOut(true);
  SockCheckConnect.Begin(FClock->Now());

  ProcessMessages();
  if (!SockCheckConnect.Open(Proxy())) {
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
      WaitUntil([this] { return !Waiting || Closing() || SockCheckConnect.Overdue(FClock->Now()); }, -1);
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
  for (const TMsgSocket *S : {&SockCheckConnect, &SockValidate, &SockUsage, &SockUpdate, &SockShortages})
    if (S->SocketHandle() != -1)
      return true;
  return false;
}

void TServerSession::CloseSessions() {
  for (TServerConversation *S : {&SockUsage, &SockValidate, &SockShortages, &SockUpdate, &SockCheckConnect})
    S->Close();
}

void TServerSession::EndCheck(bool TimedOut) {
  SockCheckConnect.Close();
  SockCheckConnect.DataReceived = false;
  SockCheckConnect.StartTime = 0;
  CheckTimedOut = TimedOut;
  Waiting = false;
  Connected = false;
}

bool TServerSession::ShowErrorConnecting(bool AllowRetry) {
  const bool retry = FEvents.ShowErrorDialog && FEvents.ShowErrorDialog(AllowRetry);
  LoadSettings();
  return retry;
}

void TServerSession::SockCheckConnectSessionClosed() {
  Connected = UpperCase(SockCheckConnect.Reply).find("SUCCESS") != std::string::npos;
  Waiting = false;
}

void TServerSession::SockCheckConnectErrorOccurred(const std::string &Msg) {
  if (DebugMode())
    MessageBox(Msg, "Error", MB_OK | MB_ICONERROR);
  Waiting = false;
}

bool TServerSession::Logon(bool &NoDetails) {
  if (Closing())
    return false;
  SetStatus("Logging onto System", true);
  EnableSearchButtons(false);
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
    LogonActive = true;
    LogonTimedOut = false;
    // A reply cut short by an error must not be read with the next one.
    SockValidate.Begin(FClock->Now());

    if (SockValidate.Open(Proxy())) {
      if (FEvents.EnableTimeOut)
        FEvents.EnableTimeOut(true);
      return true;
    }
    // No logon is under way while its dialog is up: the time-outs would
    // otherwise end it inside the dialog and close the window under it.
    LogonActive = false;
    SockValidate.StartTime = 0;
    const bool retry = ShowErrorConnecting(true);
    EnableSearchButtons(true);
    SetStatus("", false);
    if (!retry)
      return false;
  }
}

void TServerSession::SockValidateSessionClosed() {
  SockValidate.DataReceived = false;
  SockValidate.StartTime = 0;
  if (FEvents.EnableTimeOut)
    FEvents.EnableTimeOut(false);
  // Cleared whatever the reply, or the time-outs would watch this logon for ever.
  LogonActive = false;

  if (HasCustomerID()) {
    const TLogonReply reply = ParseLogonReply(SockValidate.Reply);
    SockValidate.Reply.clear();
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

  SockValidate.Close();
  EnableSearchButtons(true);
  SetStatus("", false);
}

void TServerSession::SendUsageRecord(const TStrings &SearchTerms, const TStrings &SiteNames) {
  FUsageTerms.Assign(SearchTerms);
  FUsageSites.Assign(SiteNames);
  SockUsage.Begin(FClock->Now());
  SockUsage.Open(Proxy());
}

void TServerSession::SockUsageErrorOccurred(const std::string &Msg) {
  if (DebugMode())
    MessageBox(Msg, "Error", MB_OK | MB_ICONERROR);
}

void TServerSession::CheckForUpdates() {
  if (Closing())
    return;
  SockUpdate.Begin(FClock->Now());
  SockUpdate.Open(Proxy());
}

void TServerSession::SockUpdateSessionClosed() {
  const std::string Page = std::move(SockUpdate.Reply);
  SockUpdate.Reply.clear();
  // Bytes without a status line are no page of the server's.
  const int Status = ReplyStatus(Page);
  if (Status < 200 || Status > 299)
    return;
  if (FEvents.ProcessUpdatePage)
    FEvents.ProcessUpdatePage(Page);
}

void TServerSession::btnShortagesClick() {
  // Its wait lets the buttons come back (a logon ending, say): one at a time.
  if (ShortagesBusy)
    return;
  EnableSearchButtons(false);
  SetStatus("Loading Shortages", true);
  if (!HasCustomerID()) {
    // Nobody to ask about: no request would go out, and only the server's
    // patience would end the wait.
    MessageBox(ShortagesFailedText, ApplicationTitle(), MB_OK | MB_ICONERROR);
  } else {
    kv::THourglass Hourglass;
    ShortagesBusy = true;
    ShortagesPhase = false;
    SockShortages.Limits = DetailsLimits;
    SockShortages.Begin(FClock->Now());
    ProcessMessages();
    if (Closing() || !SockShortages.Open(Proxy())) {
      SockShortages.Close();
      ShortagesBusy = false;
      if (!Closing())
        MessageBox("Unable to connect! Please try again later!", ApplicationTitle(), MB_OK | MB_ICONERROR);
    } else {
      // The exchange keeps its own limits: the time-out timer leaves the
      // other conversations alone while it runs, so it must end.
      WaitUntil([this] { return !ShortagesBusy || Closing() || SockShortages.Overdue(FClock->Now()); }, -1);
      if (ShortagesBusy) {
        if (Closing()) {
          SockShortages.Close();
          ShortagesBusy = false;
        } else
          EndShortages(true);
      }
    }
  }
  SetStatus("", false);
  EnableSearchButtons(true);
}

void TServerSession::EndShortages(bool Failed) {
  SockShortages.Close();
  SockShortages.StartTime = 0;
  const bool WasBusy = ShortagesBusy;
  ShortagesBusy = false;
  if (Failed && WasBusy && !Closing())
    MessageBox(ShortagesFailedText, ApplicationTitle(), MB_OK | MB_ICONERROR);
}

void TServerSession::SockShortagesSessionClosed() {
  if (!ShortagesBusy)
    return;
  // Only a server's page is saved or read: bytes without a status line are
  // no reply.
  const int Status = ReplyStatus(SockShortages.Reply);
  const bool Page = Status >= 200 && Status <= 299;
  if (ShortagesPhase) {
    if (!Page) {
      EndShortages(true);
      return;
    }
    SaveShortagesForm();
    SockShortages.StartTime = 0;
    ShortagesBusy = false;
    return;
  }
  const TUserDetailsReply Details = ParseUserDetailsReply(SockShortages.Reply);
  SockShortages.Reply.clear();
  if (Details.Outcome == udError) {
    EndShortages(false);
    return;
  }
  if (Details.Outcome == udEmpty || !Page) {
    EndShortages(true);
    return;
  }
  UserInfo.Clear();
  for (const std::string &F : Details.Fields)
    UserInfo.Add(F);
  ShortagesPhase = true;
  SockShortages.Close();
  ProcessMessages();
  if (!ShortagesBusy)
    return;
  if (Closing()) {
    EndShortages(false);
    return;
  }
  SockShortages.Limits = FormLimits;
  SockShortages.Begin(FClock->Now());
  if (!SockShortages.Open(Proxy()))
    EndShortages(true);
}

void TServerSession::SaveShortagesForm() {
  const std::string Body = ReplyBody(SockShortages.Reply);
  SockShortages.Reply.clear();
  try {
    const std::string File = ResolvePath(IncludeTrailingBackslash(ProgramFolder()) + ShortagesFormFile);
    if (!WriteFileAtomic(File, NoScriptsLine + Body + "\r\n"))
      return;
    if (FEvents.OpenURL)
      FEvents.OpenURL(File);
  } catch (const std::exception &) {
  }
}
