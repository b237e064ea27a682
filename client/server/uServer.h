#pragma once
// The client's conversations with the maker's server: the connectivity check,
// the logon and the usage record of every search. Each is one TCP connection
// carrying one HTTP/1.0 request (its text and one zero byte) and one reply,
// which the server ends by closing the connection. The request texts and the
// logon reply parser are plain functions; TServerSession holds the sockets and
// talks to the main window through TServerEvents.
#include "client/uTimeLimits.h"
#include "net/MsgSocket.h"
#include "platform/DateTime.h"
#include "platform/StringList.h"
#include "platform/qt/Messages.h"

#include <QObject>

#include <functional>
#include <string>
#include <vector>

// The maker's server. $KORVANDEL_SERVER ("host" or "host:port") replaces it.
inline constexpr const char *ServerHostName = "www.korvandel.test";
inline constexpr const char *ServerDefaultPort = "80";

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

// Request texts, without the zero byte that follows them on the wire.
std::string BuildCheckConnectionRequest(const TProxySettings &Proxy);
std::string BuildLogonRequest(const TProxySettings &Proxy, const std::string &CustomerID,
                              const std::string &Password);
// Empty when SiteNames is empty: no report is sent then.
std::string BuildUsageRequest(const TProxySettings &Proxy, const std::string &CustomerID,
                              const kv::TStrings &SearchTerms, const kv::TStrings &SiteNames);

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
};

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
  // The clock the start times are read from (the system's unless set).
  void SetClock(const TClock &Clock) { FClock = &Clock; }
  // Whether any of the conversations has a connection.
  bool SessionsOpen() const;
  // Disconnects every conversation that has a connection (errors ignored).
  void CloseSessions();
  // Ends a check under way as not connected: closed, and marked timed out
  // when TimedOut.
  void EndCheck(bool TimedOut);

  kv::TMsgSocket SockCheckConnect;
  kv::TMsgSocket SockValidate;
  kv::TMsgSocket SockUsage;

  // The check; the time-outs read and end it.
  bool Waiting = false;
  bool Connected = false;
  bool CheckDataReceived = false;
  kv::TDateTime CheckStartTime = 0;
  bool CheckTimedOut = false;
  std::string CheckReply;

  // The logon. Active from creation until the first attempt has ended, so the
  // time-outs leave everything else alone until then.
  std::string CustomerID;
  std::string Password;
  bool LogonActive = true;
  bool LogonDataReceived = false;
  kv::TDateTime LogonStartTime = 0;
  bool LogonTimedOut = false;
  std::string LogonReply;

private:
  void SetTarget(kv::TMsgSocket &Socket) const;
  static bool StartConnect(kv::TMsgSocket &Socket);
  static void Send(kv::TMsgSocket &Socket, const std::string &Request);
  void EnableSearchButtons(bool Enabled) const;
  void SetStatus(const std::string &Text, bool Flash) const;
  bool Closing() const;
  bool DebugMode() const;
  TProxySettings Proxy() const;
  bool HasCustomerID() const;
  void LoadSettings() const;
  void PostStartup(kv::WPARAM WParam) const;
  // The check has run past one of its limits.
  bool CheckOverdue() const;

  void SockCheckConnectSessionConnected();
  void SockCheckConnectDataAvailable();
  void SockCheckConnectSessionClosed();
  void SockCheckConnectErrorOccurred(const std::string &Msg);
  void SockValidateSessionConnected();
  void SockValidateDataAvailable();
  void SockValidateSessionClosed();
  void SockUsageSessionConnected();
  void SockUsageDataAvailable();
  void SockUsageSessionClosed();
  void SockUsageErrorOccurred(kv::TMsgSocket *Sender, const std::string &Msg);

  TServerEvents FEvents;
  const TClock *FClock;
  kv::TStringList FUsageTerms;
  kv::TStringList FUsageSites;
};
