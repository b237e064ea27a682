#include "client/server/uServer.h"
#include "platform/Dialogs.h"
#include "platform/qt/Messages.h"
#include "tests/server/ServerTestSupport.h"
#include "tests/support/DrivenClock.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

using namespace kv;
using kvtest::TLoopbackServer;
using kvtest::TServerScript;
using namespace servertest;

namespace {

// The main window's side, recorded.
struct TOwner {
  TMessageTarget Window{[this](TMessage &M) { Posted.push_back(M); }};
  bool Closing = false;
  bool Debug = false;
  TProxySettings Proxy;
  std::vector<std::string> Statuses;
  std::vector<std::pair<int, bool>> Buttons;
  int TimeOutOn = 0, TimeOutOff = 0;
  int Loads = 0;
  std::vector<bool> DialogCalls;  // AllowRetry of each
  bool DialogAnswer = false;
  int MaxResults = -1;
  std::vector<std::string> Features;
  int Accepted = 0;
  // The stored details.
  std::string StoredID, StoredPassword;
  int Reads = 0;
  std::vector<TMessage> Posted;
  std::vector<std::string> Boxes;

  TServerEvents Events() {
    TServerEvents e;
    e.Window = Window.Handle();
    e.Closing = [this] { return Closing; };
    e.DebugMode = [this] { return Debug; };
    e.Proxy = [this] { return Proxy; };
    e.SetStatus = [this](const std::string &T, bool Flash) { Statuses.push_back(T + (Flash ? "*" : "")); };
    e.EnableButton = [this](int I, bool On) { Buttons.emplace_back(I, On); };
    e.EnableTimeOut = [this](bool On) { ++(On ? TimeOutOn : TimeOutOff); };
    e.LoadSettings = [this] { ++Loads; };
    e.ShowErrorDialog = [this](bool AllowRetry) {
      DialogCalls.push_back(AllowRetry);
      return DialogAnswer;
    };
    e.LogonAccepted = [this](int Max, const std::vector<std::string> &F) {
      ++Accepted;
      MaxResults = Max;
      Features = F;
    };
    e.ReadUserDetails = [this](std::string &ID, std::string &P) {
      ++Reads;
      ID = StoredID;
      P = StoredPassword;
    };
    e.WriteUserDetails = [this](const std::string &ID, const std::string &P) {
      StoredID = ID;
      StoredPassword = P;
    };
    e.HasCustomerID = [this] { return !StoredID.empty(); };
    return e;
  }
};

class ServerSessionTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetMessageBoxHook([this](const std::string &Text, const std::string &, unsigned Flags) {
      Owner.Boxes.push_back(Text + ((Flags & 0xF0) == MB_ICONWARNING ? " [warning]" : "") +
                            ((Flags & 0xF0) == MB_ICONERROR ? " [error]" : ""));
      return IDOK;
    });
    Owner.StoredID = "C1001";
    Owner.StoredPassword = "secret";
  }
  void TearDown() override { SetMessageBoxHook({}); }

  TServerSession &Session() {
    if (!FSession)
      FSession = std::make_unique<TServerSession>(Owner.Events());
    return *FSession;
  }
  // Pumps until the logon's reply has been handled.
  bool WaitForLogonEnd() {
    return WaitUntil([this] { return !Session().LogonActive; }, 10000);
  }
  void Settle(int Ms = 150) {
    WaitUntil([] { return false; }, Ms);
  }

  kvtest::IsolatedEnv Env;
  TOwner Owner;
  std::unique_ptr<TServerSession> FSession;
};

TEST_F(ServerSessionTest, CheckConnectionSendsTheRequestAndReadsSuccessInAnyCase) {
  TLoopbackServer server(kvtest::HttpReply(Ok + "<html>Success</html>"));
  PointAt(server);
  EXPECT_TRUE(Session().CheckConnection());
  EXPECT_TRUE(Session().Connected);
  EXPECT_FALSE(Session().Waiting);
  EXPECT_TRUE(Session().SockCheckConnect.DataReceived);
  ASSERT_TRUE(WaitUntil([&] { return server.PeerClosed(0); }, 5000));
  EXPECT_EQ(server.Received(0), BuildCheckConnectionRequest(TProxySettings()) + std::string(1, '\0'));
  EXPECT_EQ(Owner.Statuses, (std::vector<std::string>{"Checking Connection*", ""}));
  EXPECT_EQ(Owner.TimeOutOn, 1);
  EXPECT_TRUE(ButtonsEnabledAtEnd(Owner.Buttons));
}

TEST_F(ServerSessionTest, CheckConnectionFailsWithoutTheWord) {
  TLoopbackServer server(kvtest::HttpReply("HTTP/1.0 503 Busy\r\n\r\nTry later"));
  PointAt(server);
  EXPECT_FALSE(Session().CheckConnection());
  EXPECT_FALSE(Session().Connected);
  EXPECT_TRUE(ButtonsEnabledAtEnd(Owner.Buttons));
}

TEST_F(ServerSessionTest, CheckConnectionFailsWhenTheServerClosesWithoutData) {
  TLoopbackServer server(TServerScript().ReadUntil("\r\n\r\n").Close());
  PointAt(server);
  EXPECT_FALSE(Session().CheckConnection());
  EXPECT_FALSE(Session().SockCheckConnect.DataReceived);
}

TEST_F(ServerSessionTest, CheckConnectionGoesThroughTheProxyWithItsCredential) {
  TLoopbackServer proxy(kvtest::HttpReply(Ok + "SUCCESS"));
  Owner.Proxy = {true, "127.0.0.1", proxy.PortText(), "proxy user", ""};
  EXPECT_TRUE(Session().CheckConnection());
  ASSERT_TRUE(WaitUntil([&] { return proxy.PeerClosed(0); }, 5000));
  const std::string got = proxy.Received(0);
  EXPECT_EQ(got.rfind("GET http://www.korvandel.test/kv_client/check_connection.html HTTP/1.0\r\n", 0), 0u) << got;
  EXPECT_NE(got.find("Proxy-Authorization: Basic cHJveHkgdXNlcjo=\r\n"), std::string::npos);
}

TEST_F(ServerSessionTest, RefusedCheckFailsWithoutTheDialogWhichIsTheCallersToShow) {
  kvtest::TRefusedPort refused;
  PointAt(refused);
  Owner.Debug = true;
  EXPECT_FALSE(Session().CheckConnection());
  EXPECT_FALSE(Session().Connected);
  EXPECT_FALSE(Session().Waiting);
  EXPECT_TRUE(Owner.DialogCalls.empty());
  EXPECT_EQ(Owner.Boxes, std::vector<std::string>{"Connection refused [error]"});
  EXPECT_TRUE(ButtonsEnabledAtEnd(Owner.Buttons));
  EXPECT_EQ(Owner.Statuses.back(), "");
}

// A check whose server holds the connection, ended from inside its wait: the
// window closes, or the clock passes a limit while no time-out timer runs.
struct TCheckEndRow {
  const char *Name;
  bool PartOfAReply;  // the server sends the start of a reply, then holds
  bool Close;         // the window closes during the wait
  double Seconds;     // how far the clock moves on during the wait
  bool TimedOut;
};

void PrintTo(const TCheckEndRow &Row, std::ostream *Out) { *Out << Row.Name; }

class CheckWaitTest : public ServerSessionTest, public ::testing::WithParamInterface<TCheckEndRow> {};

TEST_P(CheckWaitTest, EndsWithoutTheTimer) {
  const TCheckEndRow &Row = GetParam();
  TLoopbackServer server(Row.PartOfAReply ? TServerScript().ReadUntil("\r\n\r\n").Send(Ok + "SUCC").Silence()
                                          : TServerScript().Silence());
  PointAt(server);
  kvtest::TDrivenClock clock(46000.5);
  Session().SetClock(clock);
  bool acted = false;
  QTimer act;
  QObject::connect(&act, &QTimer::timeout, [&] {
    if (acted || !Session().Waiting || (Row.PartOfAReply && !Session().SockCheckConnect.DataReceived))
      return;
    acted = true;
    if (Row.Close)
      Owner.Closing = true;
    clock.Seconds = Row.Seconds;
  });
  act.start(10);
  // Only a wait that never ends meets this.
  bool rescued = false;
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    rescued = true;
    Session().Waiting = false;
  });
  watchdog.start(20000);

  EXPECT_FALSE(Session().CheckConnection());
  EXPECT_FALSE(rescued) << "the wait went on after the window closed or the limit passed";
  EXPECT_TRUE(acted);
  EXPECT_FALSE(Session().Waiting);
  EXPECT_FALSE(Session().Connected);
  EXPECT_EQ(Session().CheckTimedOut, Row.TimedOut);
  EXPECT_EQ(Session().SockCheckConnect.SocketHandle(), -1);
  // A check that timed out stops the timer, as the timer's own end of it does.
  EXPECT_EQ(Owner.TimeOutOff, Row.TimedOut ? 1 : 0);
  EXPECT_TRUE(ButtonsEnabledAtEnd(Owner.Buttons));
  EXPECT_TRUE(WaitUntil([&] { return server.PeerClosed(0); }, 5000));
}

INSTANTIATE_TEST_SUITE_P(
    Ends, CheckWaitTest,
    ::testing::Values(TCheckEndRow{"WindowCloses", false, true, 0, false},
                      TCheckEndRow{"WindowClosesAfterPartOfTheReply", true, true, 0, false},
                      TCheckEndRow{"SilentPastHalfAMinute", false, false, 30.5, true},
                      TCheckEndRow{"TalkingPastAMinute", true, false, 60.5, true}),
    [](const ::testing::TestParamInfo<TCheckEndRow> &I) { return std::string(I.param.Name); });

TEST_F(ServerSessionTest, ErrorDialogReloadsTheSettingsAfterwards) {
  Owner.DialogAnswer = true;
  EXPECT_TRUE(Session().ShowErrorConnecting(true));
  Owner.DialogAnswer = false;
  EXPECT_FALSE(Session().ShowErrorConnecting(false));
  EXPECT_EQ(Owner.DialogCalls, (std::vector<bool>{true, false}));
  EXPECT_EQ(Owner.Loads, 2);
}

TEST_F(ServerSessionTest, CheckThenLogonOfTheStoredCustomer) {
  TLoopbackServer server(TServerScript().Silence());
  server.Queue(kvtest::HttpReply(Ok + "SUCCESS"));
  server.Queue(kvtest::HttpReply(
      Ok + "<OsTransmission><OsConfigScript>MaxResults|250</OsConfigScript><OsMessages>Hi</OsMessages>"
           "<KvFeatures>SHOPA|SHOPB</KvFeatures></OsTransmission>"));
  PointAt(server);
  ASSERT_TRUE(Session().CheckConnection());
  bool noDetails = true;
  ASSERT_TRUE(Session().Logon(noDetails));
  EXPECT_FALSE(noDetails);
  EXPECT_TRUE(Session().LogonActive);
  ASSERT_TRUE(WaitForLogonEnd());
  EXPECT_EQ(Owner.Accepted, 1);
  EXPECT_EQ(Owner.MaxResults, 250);
  EXPECT_EQ(Owner.Features, (std::vector<std::string>{"SHOPA", "SHOPB"}));
  EXPECT_EQ(Owner.Loads, 1);
  EXPECT_EQ(Owner.TimeOutOff, 1);
  EXPECT_EQ(Session().SockValidate.StartTime, 0);
  EXPECT_TRUE(Session().SockValidate.Reply.empty());
  EXPECT_EQ(Session().CustomerID, "C1001");
  EXPECT_TRUE(Owner.Boxes.empty());
  EXPECT_TRUE(Owner.Posted.empty());
  EXPECT_TRUE(ButtonsEnabledAtEnd(Owner.Buttons));
  EXPECT_EQ(Owner.Statuses.back(), "");
  ASSERT_TRUE(WaitUntil([&] { return server.PeerClosed(1); }, 5000));
  EXPECT_EQ(server.Received(1),
            BuildLogonRequest(TProxySettings(), "C1001", "secret") + std::string(1, '\0'));
}

struct TRefusalRow {
  const char *Name;
  const char *Reply;
  const char *Box;
};

void PrintTo(const TRefusalRow &Row, std::ostream *Out) { *Out << Row.Name; }

class LogonRefusalTest : public ServerSessionTest, public ::testing::WithParamInterface<TRefusalRow> {};

TEST_P(LogonRefusalTest, ClearsTheDetailsAndAsksAgain) {
  TLoopbackServer server(kvtest::HttpReply(Ok + GetParam().Reply));
  PointAt(server);
  bool noDetails = true;
  ASSERT_TRUE(Session().Logon(noDetails));
  EXPECT_FALSE(noDetails);
  ASSERT_TRUE(WaitForLogonEnd());
  EXPECT_EQ(Owner.Boxes, std::vector<std::string>{GetParam().Box});
  EXPECT_EQ(Owner.StoredID, "");
  EXPECT_EQ(Owner.StoredPassword, "");
  EXPECT_EQ(Session().CustomerID, "");
  EXPECT_EQ(Session().Password, "");
  EXPECT_EQ(Owner.Accepted, 0);
  EXPECT_EQ(Owner.Loads, 1);
  Settle();
  ASSERT_EQ(Owner.Posted.size(), 1u);
  EXPECT_EQ(Owner.Posted[0].Msg, WM_USER + 300);
  EXPECT_EQ(Owner.Posted[0].WParam, 1u);
  // The next logon finds nothing stored and ends at once.
  ASSERT_FALSE(Session().Logon(noDetails));
  EXPECT_TRUE(noDetails);
  Settle();
  EXPECT_EQ(server.Connections(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, LogonRefusalTest,
    ::testing::Values(TRefusalRow{"CustomerID", "Invalid Customer ID", "Your Customer ID was not recognized. [warning]"},
                      TRefusalRow{"Password", "Invalid Password", "Your Password was not recognized. [warning]"}),
    [](const ::testing::TestParamInfo<TRefusalRow> &I) { return std::string(I.param.Name); });

TEST_F(ServerSessionTest, LogonWithoutEnvelopeShowsTheBodyAndRestarts) {
  TLoopbackServer server(kvtest::HttpReply("HTTP/1.0 500 Error\r\n\r\nDatabase down"));
  PointAt(server);
  bool noDetails = false;
  ASSERT_TRUE(Session().Logon(noDetails));
  ASSERT_TRUE(WaitForLogonEnd());
  ASSERT_EQ(Owner.Boxes.size(), 1u);
  EXPECT_EQ(Owner.Boxes[0],
            "A System Error has Occured while logging on.\n\rPlease note down the following and contact Korvandel "
            "Support:\n\r\n\rDatabase down [error]");
  EXPECT_EQ(Owner.StoredID, "C1001");
  Settle();
  ASSERT_EQ(Owner.Posted.size(), 1u);
  EXPECT_EQ(Owner.Posted[0].WParam, 1u);
}

TEST_F(ServerSessionTest, MaxResultsAsTheLastItemKeepsTheDefault) {
  TLoopbackServer server(kvtest::HttpReply(
      Ok + "<OsTransmission><OsConfigScript>Theme|blue|MaxResults</OsConfigScript><KvFeatures>SHOPA</KvFeatures>"
           "</OsTransmission>"));
  PointAt(server);
  bool noDetails = false;
  ASSERT_TRUE(Session().Logon(noDetails));
  ASSERT_TRUE(WaitForLogonEnd());
  EXPECT_EQ(Owner.Accepted, 1);
  EXPECT_EQ(Owner.MaxResults, DefaultServerMaxResults);
  EXPECT_EQ(Owner.Features, std::vector<std::string>{"SHOPA"});
}

TEST_F(ServerSessionTest, LogonWithNothingStoredEndsAtOnce) {
  TLoopbackServer server;
  PointAt(server);
  Owner.StoredID.clear();
  bool noDetails = false;
  EXPECT_FALSE(Session().Logon(noDetails));
  EXPECT_TRUE(noDetails);
  EXPECT_EQ(Owner.Reads, 1);
  EXPECT_EQ(Owner.Statuses, (std::vector<std::string>{"Logging onto System*", ""}));
  Settle();
  EXPECT_EQ(server.Connections(), 0);
}

TEST_F(ServerSessionTest, ProxyPortThatIsNoNumberFailsLikeAFailedConnection) {
  TLoopbackServer server;
  Owner.Proxy = {true, "127.0.0.1", "eighty", "", ""};
  EXPECT_FALSE(Session().CheckConnection());
  EXPECT_FALSE(Session().Waiting);
  EXPECT_TRUE(ButtonsEnabledAtEnd(Owner.Buttons));
  EXPECT_EQ(Owner.Statuses.back(), "");

  bool noDetails = false;
  EXPECT_FALSE(Session().Logon(noDetails));
  EXPECT_FALSE(noDetails);
  EXPECT_EQ(Owner.DialogCalls, std::vector<bool>{true});
  EXPECT_FALSE(Session().LogonActive);
  EXPECT_TRUE(ButtonsEnabledAtEnd(Owner.Buttons));

  Session().SendUsageRecord(TStringList(), TStringList());
  EXPECT_EQ(Session().SockUsage.SocketHandle(), -1);
}

TEST_F(ServerSessionTest, TryAgainAfterAFailedLogonConnectRetriesWithTheReloadedProxy) {
  TLoopbackServer server(kvtest::HttpReply(Ok + "<OsTransmission><KvFeatures>A</KvFeatures></OsTransmission>"));
  Owner.Proxy = {true, "127.0.0.1", "eighty", "", ""};
  TServerEvents e = Owner.Events();
  // The dialog fixes the port; the reload after it makes it count.
  e.ShowErrorDialog = [&](bool) {
    Owner.DialogCalls.push_back(true);
    Owner.Proxy.ProxyPort = server.PortText();
    return true;
  };
  FSession = std::make_unique<TServerSession>(e);
  bool noDetails = false;
  EXPECT_TRUE(Session().Logon(noDetails));
  ASSERT_TRUE(WaitForLogonEnd());
  EXPECT_EQ(Owner.DialogCalls.size(), 1u);
  EXPECT_EQ(Owner.Features, std::vector<std::string>{"A"});
}

TEST_F(ServerSessionTest, ClosingWindowSendsNothing) {
  TLoopbackServer server;
  PointAt(server);
  Owner.Closing = true;
  EXPECT_FALSE(Session().CheckConnection());
  bool noDetails = false;
  EXPECT_FALSE(Session().Logon(noDetails));
  Settle();
  EXPECT_EQ(server.Connections(), 0);
  EXPECT_TRUE(Owner.Statuses.empty());
}

TEST_F(ServerSessionTest, UsageRecordIsSentAndItsReplyDropped) {
  TLoopbackServer server(kvtest::HttpReply(Ok + "logged"));
  PointAt(server);
  Session().CustomerID = "C1001";
  TStringList terms, sites;
  terms.Add("BC547");
  sites.Add("Shop One");
  Session().SendUsageRecord(terms, sites);
  ASSERT_TRUE(WaitUntil([&] { return server.PeerClosed(0); }, 5000));
  EXPECT_EQ(server.Received(0), BuildUsageRequest(TProxySettings(), "C1001", terms, sites) + std::string(1, '\0'));
  Settle();
  EXPECT_EQ(Session().SockUsage.SocketHandle(), -1);
}

TEST_F(ServerSessionTest, UsageRecordWithNoSiteClosesWithoutSending) {
  TLoopbackServer server(TServerScript().Silence());
  PointAt(server);
  TStringList terms;
  terms.Add("BC547");
  Session().SendUsageRecord(terms, TStringList());
  ASSERT_TRUE(WaitUntil([&] { return server.PeerClosed(0); }, 5000));
  EXPECT_EQ(server.Received(0), "");
  EXPECT_EQ(Session().SockUsage.SocketHandle(), -1);
}

TEST_F(ServerSessionTest, LogonSocketErrorOnlyDisconnects) {
  TLoopbackServer server(TServerScript().ReadUntil("\r\n\r\n").Send(Ok + "partial").Reset());
  PointAt(server);
  bool noDetails = false;
  ASSERT_TRUE(Session().Logon(noDetails));
  ASSERT_TRUE(WaitUntil([&] { return Session().SockValidate.SocketHandle() == -1; }, 5000));
  Settle();
  // The time-outs end this logon; nothing was taken from the cut reply.
  EXPECT_TRUE(Session().LogonActive);
  EXPECT_EQ(Owner.Accepted, 0);
  EXPECT_TRUE(Owner.Boxes.empty());
}

}  // namespace
