#pragma once
// The client's conversations with the maker's server: the connectivity check,
// the logon, the usage record of every search, the request for the update
// page and the parts-shortages exchange (the site suggestion has a form of
// its own). Each is one TCP connection carrying one HTTP/1.0 request (its
// text and one zero byte) and one reply, which the server ends by closing the
// connection. Every request is a row of one table, run by one conversation
// type; the request texts and reply parsers are plain functions.
// TServerSession holds the conversations and talks to the main window
// through TServerEvents.
#include "client/uTimeLimits.h"
#include "net/MsgSocket.h"
#include "platform/Limits.h"
#include "platform/DateTime.h"
#include "platform/StringList.h"
#include "platform/qt/Messages.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The maker's server. $KORVANDEL_SERVER ("host" or "host:port") replaces it.
inline constexpr const char *ServerHostName = "www.korvandel.test";
inline constexpr const char *ServerDefaultPort = "80";
// The fixed client credential, the same for every installation: the server
// expects it with its requests and the fetch of its banners.
inline constexpr const char *ClientUser = "kex";
inline constexpr const char *ClientPassword = "58tor41w";

// The host to connect to, and its port.
std::string ServerAddress();
std::string ServerPort();
// The server as the absolute form of a request line names it: the host, with
// ":port" when $KORVANDEL_SERVER gives one.
std::string ServerHost();

// Toolbar buttons the conversations switch off while they run.
inline constexpr int ButtonFind = 3;
inline constexpr int ButtonClear = 5;
inline constexpr int ButtonShortages = 6;

// The server's result limit until a logon reply sets another.
inline constexpr int DefaultServerMaxResults = 400;

// The proxy as the main window's settings hold it, credentials in plain text.
struct TProxySettings {
  bool UseProxy = false;
  std::string ProxyServer;
  std::string ProxyPort;
  std::string ProxyUserName;
  std::string ProxyPassword;
};

// The requests to the server. Each is one row of a table: method, path,
// header lines in their order, and a body for the posts.
enum class TServerRequest { CheckConnection, Logon, Usage, Update, UserDetails, ShortagesForm, Suggestion };

// The request text, without the zero byte that follows it on the wire. Query
// goes after the row's path as it is; Body is sent only by the posts, with
// its length announced and one line break after it.
std::string BuildServerRequest(TServerRequest Kind, const TProxySettings &Proxy, const std::string &Query = "",
                               const std::string &Body = "");

std::string BuildCheckConnectionRequest(const TProxySettings &Proxy);
std::string BuildLogonRequest(const TProxySettings &Proxy, const std::string &CustomerID,
                              const std::string &Password);
// Empty when SiteNames is empty: no report is sent then.
std::string BuildUsageRequest(const TProxySettings &Proxy, const std::string &CustomerID,
                              const kv::TStrings &SearchTerms, const kv::TStrings &SiteNames);
std::string BuildUpdateRequest(const TProxySettings &Proxy);
std::string BuildUserDetailsRequest(const TProxySettings &Proxy, const std::string &CustomerID);
std::string BuildShortagesRequest(const TProxySettings &Proxy, const std::string &Form);

// The shortages form's fields from the user's details, by position; the body
// ends before the first field whose position the details do not reach.
std::string BuildShortagesForm(const kv::TStrings &UserInfo);

// The user-details reply: "Error" anywhere refuses it; otherwise the body
// after the header block is one line of fields separated by "|".
enum TUserDetailsOutcome { udFields, udError, udEmpty };
struct TUserDetailsReply {
  TUserDetailsOutcome Outcome = udEmpty;
  std::vector<std::string> Fields;  // udFields only
};
TUserDetailsReply ParseUserDetailsReply(const std::string &Reply);

// Line breaks of any kind (CR, LF, CR LF, LF CR) as CR LF.
std::string AdjustLineBreaks(const std::string &Text);
// The reply without its header block: everything up to the first empty line
// after the "Content-Type:" header (any letter case) goes; without that
// header nothing does. Line breaks are made CR LF first.
std::string ReplyBody(const std::string &Reply);
// The status code of a reply's first line ("HTTP/1.x 200 ..."); 0 when there is none.
int ReplyStatus(const std::string &Reply);

// One conversation with the server: one connection carrying one request and
// one reply, which the server ends by closing. Every conversation has an
// error handler (a socket without one ends the program).
class QTimer;

class TServerConversation : public kv::TMsgSocket {
public:
  explicit TServerConversation(QObject *Owner = nullptr);

  // The request, built when the connection is made. Empty: nothing is sent
  // and NothingToSend runs (unset: the connection stays until the server
  // ends it).
  std::function<std::string()> Request;
  std::function<void()> NothingToSend;
  // The server closed the connection: Reply is complete and the connection
  // closed on this side too.
  std::function<void()> OnReply;
  // A socket error; the connection is already closed.
  std::function<void(const std::string &Msg)> OnFailure;
  // Whether the data is kept in Reply (or only taken and dropped), and
  // whether each arrival gives up the time slice first.
  bool KeepReply = true;
  bool YieldOnData = true;
  // Bytes of the reply kept in Reply; the rest is counted and dropped.
  size_t KeepAtMost = SIZE_MAX;
  // The conversation's entry in the table of limits. A reply past MaxReply
  // ends the conversation as a lost connection does.
  kv::TConversationLimits Limits = kv::limits::Check;
  // Whether the conversation watches its own time limits (on its clock) and
  // ends as a lost connection when past one; otherwise its owner does.
  bool Watch = false;
  void SetClock(const TClock &Clock) { FClock = &Clock; }
  const TClock &Clock() const { return *FClock; }

  // Forgets the last reply and starts the clock.
  void Begin(kv::TDateTime Now);
  // Points at the proxy or the server and connects; false when the
  // connection could not even be started. Events still queued for an earlier
  // connection are dropped.
  bool Open(const TProxySettings &Proxy);
  // Closes the connection, if any; errors do not matter to one that ends.
  void Close();
  // Past one of its limits at Now (never while not started).
  bool Overdue(kv::TDateTime Now) const;

  std::string Reply;
  // Bytes taken off the connection since Begin, kept or not.
  size_t Received = 0;
  bool DataReceived = false;
  kv::TDateTime StartTime = 0;

private:
  void SessionConnected();
  void DataAvailable();
  void SessionClosed();
  void ErrorOccurred(const std::string &Msg);
  void WatchTick();

  const TClock *FClock;
  QTimer *FWatch;
};

// What a conversation ended by its limits reports as its failure.
inline constexpr const char *ReplyTooLargeText = "The reply is larger than the program accepts";
inline constexpr const char *ReplyTooLateText = "The server did not answer in time";

enum TLogonOutcome { loAccepted, loInvalidCustomerID, loInvalidPassword, loSystemError };

struct TLogonReply {
  TLogonOutcome Outcome = loSystemError;
  int ServerMaxResults = DefaultServerMaxResults;  // loAccepted only
  std::vector<std::string> Features;               // loAccepted only
  std::string Snippet;  // loSystemError: the start of the reply body, at most 128 bytes
};

// Reads the whole raw reply, status line and headers included. The elements
// of the envelope are taken off its front in order, so one that comes before
// an element already read is lost; the server relies on that order.
TLogonReply ParseLogonReply(const std::string &Reply);

// What the conversations need of the main window. Unset members do nothing
// (and answer false, or no proxy).
struct TServerEvents {
  kv::HWND Window = 0;  // receives the start-up message (WM_USER+300)
  std::function<bool()> Closing;
  std::function<bool()> DebugMode;
  std::function<TProxySettings()> Proxy;
  std::function<void(const std::string &Text, bool Flash)> SetStatus;
  std::function<void(int Index, bool Enabled)> EnableButton;
  std::function<void(bool Enabled)> EnableTimeOut;
  std::function<void()> LoadSettings;
  // Shows "Error Connecting" modally; true when the user chose "Try Again".
  std::function<bool(bool AllowRetry)> ShowErrorDialog;
  // A logon reply with the envelope: the server's limit and the feature list.
  std::function<void(int ServerMaxResults, const std::vector<std::string> &Features)> LogonAccepted;
  // The stored customer details.
  std::function<void(std::string &CustomerID, std::string &Password)> ReadUserDetails;
  std::function<void(const std::string &CustomerID, const std::string &Password)> WriteUserDetails;
  std::function<bool()> HasCustomerID;
  // The update page as it came, when the server answered with a 2xx status.
  std::function<void(const std::string &Reply)> ProcessUpdatePage;
  // The main window's one way of opening a page or file.
  std::function<void(const std::string &Address)> OpenURL;
  // The program's folder (where the shortages form is saved); the
  // executable's folder when unset.
  std::function<std::string()> ProgramFolder;
};

// The text shown when the shortages exchange fails.
inline constexpr const char *ShortagesFailedText = "Connection Error!";
// The file the shortages form's page is saved as, in the program folder.
inline constexpr const char *ShortagesFormFile = "shortages_form.html";

class TServerSession : public QObject {
public:
  explicit TServerSession(TServerEvents Events, QObject *Owner = nullptr);
  ~TServerSession() override;
  TServerSession(const TServerSession &) = delete;
  TServerSession &operator=(const TServerSession &) = delete;

  // Runs one check and waits for its end; true when the reply holds "SUCCESS".
  bool CheckConnection();
  // The error dialog, then the settings reloaded so proxy details entered
  // there apply to the next attempt; true for "Try Again".
  bool ShowErrorConnecting(bool AllowRetry);
  // True when the request is under way; its outcome arrives through the
  // socket events. NoDetails: no customer ID and password are stored.
  bool Logon(bool &NoDetails);
  // Reports a search; nothing waits for it. SiteNames are the enabled sites.
  void SendUsageRecord(const kv::TStrings &SearchTerms, const kv::TStrings &SiteNames);
  // Asks for the update page (the update check asks once a run, at the first
  // search); a 2xx reply goes to ProcessUpdatePage as it came.
  void CheckForUpdates();
  // The whole shortages exchange: the user's details, then the form posted
  // and its page saved and opened; a reply without a 2xx status fails it.
  // Returns when it has ended.
  void btnShortagesClick();
  // The clock the start times are read from (the system's unless set).
  void SetClock(const TClock &Clock);
  // Whether any of the conversations has a connection.
  bool SessionsOpen() const;
  // Disconnects every conversation that has a connection (errors ignored).
  void CloseSessions();
  // Ends a check under way as not connected: closed, and marked timed out
  // when TimedOut.
  void EndCheck(bool TimedOut);

  // The check; the time-outs read and end it.
  TServerConversation SockCheckConnect;
  bool Waiting = false;
  bool Connected = false;
  bool CheckTimedOut = false;

  // The logon. Active from creation until the first attempt has ended, so the
  // time-outs leave everything else alone until then.
  TServerConversation SockValidate;
  std::string CustomerID;
  std::string Password;
  bool LogonActive = true;
  bool LogonTimedOut = false;

  TServerConversation SockUsage;

  TServerConversation SockUpdate;

  // The shortages exchange: busy while it runs (the time-outs leave the
  // others alone meanwhile); the phase is false for the user's details and
  // true for the form post.
  TServerConversation SockShortages;
  // The limits of its two requests.
  kv::TConversationLimits DetailsLimits = kv::limits::UserDetails;
  kv::TConversationLimits FormLimits = kv::limits::ShortagesForm;
  bool ShortagesBusy = false;
  bool ShortagesPhase = false;
  kv::TStringList UserInfo;

private:
  void EnableSearchButtons(bool Enabled) const;
  void SetStatus(const std::string &Text, bool Flash) const;
  bool Closing() const;
  bool DebugMode() const;
  TProxySettings Proxy() const;
  bool HasCustomerID() const;
  void LoadSettings() const;
  void PostStartup(kv::WPARAM WParam) const;
  std::string ProgramFolder() const;
  // The customer ID stored in the registry (not the one in memory).
  std::string StoredCustomerID() const;

  void SockCheckConnectSessionClosed();
  void SockCheckConnectErrorOccurred(const std::string &Msg);
  void SockValidateSessionClosed();
  void SockUpdateSessionClosed();
  void SockShortagesSessionClosed();
  // The shared handler of the logon, usage, update and shortages errors.
  void SockUsageErrorOccurred(const std::string &Msg);
  // Ends the shortages exchange, with the failure text when Failed.
  void EndShortages(bool Failed);
  void SaveShortagesForm();

  TServerEvents FEvents;
  const TClock *FClock;
  kv::TStringList FUsageTerms;
  kv::TStringList FUsageSites;
};
