#include <gtest/gtest.h>

#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/uCatalogue.h"
#include "client/search/uSearch.h"
#include "client/server/uServer.h"
#include "client/server/uServerTimeOuts.h"
#include "client/settings/uSettings.h"
#include "client/search/uTimeOuts.h"
#include "components/replistv.h"
#include "net/cTambSoc.h"
#include "platform/Dialogs.h"
#include "platform/qt/Messages.h"
#include "tests/support/DrivenClock.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

namespace {

namespace fs = std::filesystem;
using kvtest::TDrivenClock;
using kvtest::TLoopbackServer;
using kvtest::TServerScript;

constexpr kv::TDateTime Start = 46000.5;  // any moment will do
kv::TDateTime At(double Seconds) { return Start + Seconds / 86400.0; }

struct TJudgeRow {
  const char *Name;
  TTimeLimits Limits;
  double Seconds;
  bool Data;
  TVerdict Expected;
};

TEST(TimeOutDecision, LimitsAreExceededOnlyWhenPassed) {
  const TJudgeRow Rows[] = {
      {"check silent 29 s", CheckLimits, 29, false, TVerdict::Running},
      {"check silent 30 s", CheckLimits, 30, false, TVerdict::Running},
      {"check silent 31 s", CheckLimits, 31, false, TVerdict::NoDataExceeded},
      {"check talking 31 s", CheckLimits, 31, true, TVerdict::Running},
      {"check talking 60 s", CheckLimits, 60, true, TVerdict::Running},
      {"check talking 61 s", CheckLimits, 61, true, TVerdict::InAllExceeded},
      {"check silent 61 s", CheckLimits, 61, false, TVerdict::NoDataExceeded},
      {"logon silent 90 s", LogonLimits, 90, false, TVerdict::Running},
      {"logon silent 91 s", LogonLimits, 91, false, TVerdict::NoDataExceeded},
      {"logon talking 120 s", LogonLimits, 120, true, TVerdict::Running},
      {"logon talking 121 s", LogonLimits, 121, true, TVerdict::InAllExceeded},
      {"socket silent 50 s", SocketLimits, 50, false, TVerdict::Running},
      {"socket silent 50.001 s", SocketLimits, 50.001, false, TVerdict::NoDataExceeded},
      {"socket talking 180 s", SocketLimits, 180, true, TVerdict::Running},
      {"socket talking 181 s", SocketLimits, 181, true, TVerdict::InAllExceeded},
  };
  for (const TJudgeRow &R : Rows)
    EXPECT_EQ(Judge(Start, At(R.Seconds), R.Data, R.Limits), R.Expected) << R.Name;
}

struct TBranchRow {
  const char *Name;
  bool LogonActive;
  kv::TDateTime LogonStart;
  bool Shortages, CheckWaiting;
  TBranch Expected;
};

TEST(TimeOutDecision, EachTickServesOneConversation) {
  const TBranchRow Rows[] = {
      {"logon under way, check waiting", true, Start, false, true, TBranch::Logon},
      {"logon under way, shortages", true, Start, true, false, TBranch::Logon},
      {"logon not started yet, check waiting", true, 0, false, true, TBranch::Check},
      {"logon not started yet, nothing else", true, 0, false, false, TBranch::Sockets},
      {"logon ended", false, Start, false, false, TBranch::Sockets},
      {"shortages under way, check waiting", false, 0, true, true, TBranch::Nothing},
      {"check waiting", false, 0, false, true, TBranch::Check},
  };
  for (const TBranchRow &R : Rows)
    EXPECT_EQ(ChooseBranch(R.LogonActive, R.LogonStart, R.Shortages, R.CheckWaiting), R.Expected) << R.Name;
}

class ServerTimeOut : public ::testing::Test {
protected:
  void SetUp() override {
    kv::SetMessageBoxHook([this](const std::string &Text, const std::string &, unsigned) {
      Boxes.push_back(Text);
      return kv::IDOK;
    });
    Events.StopTimer = [this] { ++Stops; };
    Events.CloseWindow = [this] { ++Closes; };
  }
  void TearDown() override { kv::SetMessageBoxHook(nullptr); }
  void Tick(double Seconds) {
    Clock.Seconds = Seconds;
    const TServerTimeOuts Side = ServerTimeOuts(Server);
    TimeOutTick(&Side, nullptr, Clock, Events);
  }

  kvtest::IsolatedEnv Env;
  TServerSession Server{TServerEvents{}};
  TDrivenClock Clock{Start};
  TTimeOutEvents Events;
  std::vector<std::string> Boxes;
  int Stops = 0, Closes = 0;
};

// The session starts with its logon active; a check before any logon still
// has its limit.
TEST_F(ServerTimeOut, CheckBeforeAnyLogonEndsAtItsLimit) {
  ASSERT_TRUE(Server.LogonActive);
  Server.Waiting = true;
  Server.Connected = true;
  Server.SockCheckConnect.StartTime = Start;
  Tick(30);
  EXPECT_TRUE(Server.Waiting);
  EXPECT_EQ(Stops, 0);
  Tick(31);
  EXPECT_FALSE(Server.Waiting);
  EXPECT_FALSE(Server.Connected);
  EXPECT_TRUE(Server.CheckTimedOut);
  EXPECT_EQ(Server.SockCheckConnect.StartTime, 0);
  EXPECT_EQ(Stops, 1);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(Closes, 0);
}

// The shortages exchange keeps its own limits; while it runs the timer
// leaves the check alone, and takes it up again once the exchange ended.
TEST_F(ServerTimeOut, CheckWaitsWhileTheShortagesExchangeRuns) {
  Server.LogonActive = false;
  Server.Waiting = true;
  Server.SockCheckConnect.StartTime = Start;
  Server.ShortagesBusy = true;
  Tick(61);
  EXPECT_TRUE(Server.Waiting);
  EXPECT_EQ(Stops, 0);
  Server.ShortagesBusy = false;
  Tick(62);
  EXPECT_FALSE(Server.Waiting);
  EXPECT_TRUE(Server.CheckTimedOut);
  EXPECT_EQ(Stops, 1);
}

TEST_F(ServerTimeOut, LogonWithPartOfItsReplyWarnsAndClosesAfterTwoMinutes) {
  Server.SockValidate.StartTime = Start;
  Server.SockValidate.DataReceived = true;
  Server.Waiting = true;  // the logon goes first
  Server.SockCheckConnect.StartTime = Start;
  Tick(120);
  EXPECT_TRUE(Server.LogonActive);
  EXPECT_TRUE(Server.Waiting);
  EXPECT_TRUE(Boxes.empty());
  Tick(121);
  EXPECT_FALSE(Server.LogonActive);
  EXPECT_TRUE(Server.LogonTimedOut);
  EXPECT_FALSE(Server.SockValidate.DataReceived);
  EXPECT_EQ(Server.SockValidate.StartTime, 0);
  EXPECT_EQ(Stops, 1);
  EXPECT_EQ(Closes, 1);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0], "The connection with the the server was lost.\n\rPlease try to connect again later.");
}

TEST_F(ServerTimeOut, SilentLogonEndsAfterNinetySeconds) {
  Server.SockValidate.StartTime = Start;
  Tick(90);
  EXPECT_EQ(Closes, 0);
  Tick(91);
  EXPECT_EQ(Closes, 1);
  EXPECT_FALSE(Server.LogonActive);
}

// The logon's connection cannot start (a proxy port that is no number), so it
// shows "Error Connecting"; the timer ticks on inside the dialog's loop, past
// both logon limits, while the user reads it.
TEST_F(ServerTimeOut, LogonDialogIsNotTimedOut) {
  std::unique_ptr<TServerSession> Session;
  int On = 0, Off = 0, Dialogs = 0;
  bool ActiveDuringDialog = false;
  TServerEvents E;
  E.Proxy = [] { return TProxySettings{true, "127.0.0.1", "eighty", "", ""}; };
  E.ReadUserDetails = [](std::string &ID, std::string &Password) {
    ID = "C1001";
    Password = "secret";
  };
  E.HasCustomerID = [] { return true; };
  E.EnableTimeOut = [&](bool Enabled) { ++(Enabled ? On : Off); };
  E.ShowErrorDialog = [&](bool) {
    ++Dialogs;
    ActiveDuringDialog = ActiveDuringDialog || Session->LogonActive;
    for (const double Seconds : {91.0, 121.0, 300.0}) {
      Clock.Seconds = Seconds;
      const TServerTimeOuts Side = ServerTimeOuts(*Session);
      TimeOutTick(&Side, nullptr, Clock, Events);
    }
    return Dialogs < 2;  // Try Again once, then Quit
  };
  Session = std::make_unique<TServerSession>(E);
  Session->SetClock(Clock);
  bool NoDetails = true;
  EXPECT_FALSE(Session->Logon(NoDetails));
  EXPECT_FALSE(NoDetails);
  EXPECT_EQ(Dialogs, 2);
  EXPECT_FALSE(ActiveDuringDialog);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(Closes, 0);
  EXPECT_FALSE(Session->LogonActive);
  EXPECT_FALSE(Session->LogonTimedOut);
  // Nothing started, so nothing is left to time.
  EXPECT_EQ(On - Off, 0);
}

void NoProgress(int32_t, int32_t, const std::string &) {}

kv::primary::TGetProcessPageProc RealGetProcessPageProc;
kv::primary::TSiteFlag RealFinishedWithSite;
std::map<int, int> Uses;
TProcessPageProc CountingGetProcessPageProc(int32_t Site) {
  ++Uses[Site];
  return RealGetProcessPageProc(Site);
}
bool CountingFinishedWithSite(int32_t Site) {
  --Uses[Site];
  return RealFinishedWithSite(Site);
}

std::string Page(const std::string &Body) { return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + Body; }

// The engine with the real catalogue over test shops, one loopback server
// per shop.
class SearchTimeOut : public ::testing::Test {
protected:
  void TearDown() override {
    Engine.reset();
    if (hPrimary)
      UnbindCatalogue();
  }

  TLoopbackServer &AddSite(const std::string &Name, TServerScript Script) {
    Servers.push_back(std::make_unique<TLoopbackServer>(std::move(Script)));
    fs::create_directories(Env / "cwd/Lib");
    const fs::path Lib = Env / ("cwd/Lib/" + Name + ".TWL");
    fs::copy_file(std::string(KV_TEST_BIN_DIR) + "/lib/SearchShop.TWL", Lib, fs::copy_options::overwrite_existing);
    kvtest::WriteFile(Env / ("cwd/Lib/" + Name + ".cfg"),
                      "SiteName=" + Name + "\nSiteLocation=UK\nSiteCurrency=GBP British Pounds\nSiteURL=http://" +
                          Name + ".test/\nSiteHostName=" + Name +
                          ".test\nSiteAdvert=\nSiteLanguage=EN English\nFeatures=Search\nInterfaceVersion=4\n"
                          "Statement=GET /{search}?next={next}&state={state}\n");
    Hosts += (Hosts.empty() ? "" : ",") + Name + ".test=127.0.0.1:" + Servers.back()->PortText();
    return *Servers.back();
  }

  void Start() {
    setenv("KORVANDEL_HOSTS", Hosts.c_str(), 1);
    CatalogueLibraryName = std::string(KV_BIN_DIR) + "/libprimary.so";
    ASSERT_TRUE(BindCatalogue(NoProgress)) << CatalogueBindError;
    Uses.clear();
    RealGetProcessPageProc = Catalogue.GetProcessPageProc;
    RealFinishedWithSite = Catalogue.FinishedWithSite;
    Catalogue.GetProcessPageProc = CountingGetProcessPageProc;
    Catalogue.FinishedWithSite = CountingFinishedWithSite;
    kv::TStringList F;
    F.Add("Search");
    LoadSettingsValues(Settings, &F, 400, {});
    TSearchEvents E;
    E.SetStatus = [this](const std::string &Text, bool) {
      Statuses.push_back(Text);
      if (OnStatus)
        OnStatus(Text);
    };
    Engine = std::make_unique<TSearchEngine>(Settings, &List, E);
    List.show();
  }

  void Tick(double Seconds) {
    Clock.Seconds = Seconds;
    TimeOutTick(nullptr, Engine.get(), Clock, {});
  }

  kv::TTambleSocket *SocketOf(int Site) const {
    for (kv::TTambleSocket *S : Engine->SitePool)
      if (S->SiteIndex == Site && S->StartTime != 0)
        return S;
    return nullptr;
  }

  kvtest::IsolatedEnv Env;
  std::vector<std::unique_ptr<TLoopbackServer>> Servers;
  std::string Hosts;
  TWorkingSettings Settings;
  kv::TReportListView List;
  std::unique_ptr<TSearchEngine> Engine;
  std::vector<std::string> Statuses;
  std::function<void(const std::string &)> OnStatus;
  TDrivenClock Clock{0};
};

// Sites in the catalogue's order: A never answers, B sends part of a page and
// then holds the connection, C answers at once.
TEST_F(SearchTimeOut, SilentSiteEndsAtFiftySecondsWhileTheOthersGoOn) {
  TLoopbackServer &A = AddSite("A", TServerScript().Silence());
  TLoopbackServer &B = AddSite("B", TServerScript().ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n").Silence());
  AddSite("C", kvtest::HttpReply(Page("offer <PN>X1</PN>|Y|1|\n")));
  ASSERT_NO_FATAL_FAILURE(Start());
  Engine->StartSearch("x1");
  ASSERT_TRUE(kv::WaitUntil(
      [&] {
        return List.ItemCount() == 1 && Engine->ActiveCount() == 2 && SocketOf(0) && SocketOf(0)->Busy &&
               SocketOf(1) && SocketOf(1)->DataReceived;
      },
      10000));
  Clock.Base = kv::Now();
  Tick(49);
  EXPECT_EQ(Engine->ActiveCount(), 2);
  Tick(51);
  EXPECT_EQ(SocketOf(0), nullptr);
  EXPECT_EQ(Engine->ActiveCount(), 1);
  EXPECT_TRUE(Engine->Searching());
  EXPECT_TRUE(kv::WaitUntil([&] { return A.Connections() == 1 && A.PeerClosed(0); }, 5000));
  EXPECT_FALSE(B.PeerClosed(0));
  Tick(179);
  EXPECT_EQ(Engine->ActiveCount(), 1);
  Tick(181);
  EXPECT_FALSE(Engine->Searching());
  EXPECT_EQ(Engine->ActiveCount(), 0);
  EXPECT_EQ(Statuses.back(), "Search Complete!");
  EXPECT_EQ(List.ItemCount(), 1);
  for (const auto &[Site, N] : Uses)
    EXPECT_EQ(N, 0) << "site " << Site;
}

// Ending the last timed-out socket finishes the search, and a new search
// starts while that finish pumps messages after cancelling the sockets: the
// rest of the tick leaves the new search's sockets and count alone.
TEST_F(SearchTimeOut, TickLeavesASearchStartedWhileItEndsTheLastOne) {
  TLoopbackServer &A = AddSite("A", TServerScript().Silence());
  ASSERT_NO_FATAL_FAILURE(Start());
  Engine->StartSearch("x1");
  ASSERT_TRUE(kv::WaitUntil([&] { return SocketOf(0) && SocketOf(0)->Busy; }, 10000));
  const uint64_t First = Engine->Generation();
  int Stopping = 0;
  // The third of these comes once every socket is cancelled.
  OnStatus = [&](const std::string &Text) {
    if (Text == "Stopping all searches" && ++Stopping == 3)
      QTimer::singleShot(0, [&] { Engine->StartSearch("x1"); });
  };
  Clock.Base = kv::Now();
  Tick(51);
  ASSERT_EQ(Engine->Generation(), First + 1) << "the second search did not start during the tick";
  EXPECT_TRUE(Engine->Searching());
  EXPECT_EQ(Engine->ActiveCount(), 1);
  ASSERT_NE(SocketOf(0), nullptr);
  EXPECT_FALSE(SocketOf(0)->Cancelled);
  EXPECT_TRUE(kv::WaitUntil([&] { return A.Connections() == 2; }, 10000));
  OnStatus = nullptr;
  Engine->btnStopClick();
  EXPECT_FALSE(Engine->Searching());
  for (const auto &[Site, N] : Uses)
    EXPECT_EQ(N, 0) << "site " << Site;
}

// A loopback port whose accept queue is full, so a further connect stays
// under way: its SYN is dropped.
class TFullPort {
public:
  TFullPort() {
    Listen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t L = sizeof A;
    bind(Listen, reinterpret_cast<sockaddr *>(&A), L);
    listen(Listen, 0);
    getsockname(Listen, reinterpret_cast<sockaddr *>(&A), &L);
    Port = ntohs(A.sin_port);
    Filler = socket(AF_INET, SOCK_STREAM, 0);
    connect(Filler, reinterpret_cast<sockaddr *>(&A), L);
  }
  ~TFullPort() {
    close(Filler);
    close(Listen);
  }
  int Listen = -1, Filler = -1;
  uint16_t Port = 0;
};

TEST_F(SearchTimeOut, SocketStillConnectingIsClosedAndEndedAtItsLimit) {
  TFullPort Full;
  AddSite("A", TServerScript().Silence());
  Hosts = "A.test=127.0.0.1:" + std::to_string(Full.Port);
  ASSERT_NO_FATAL_FAILURE(Start());
  Engine->StartSearch("x1");
  kv::TTambleSocket *S = SocketOf(0);
  ASSERT_NE(S, nullptr);
  ASSERT_FALSE(S->Busy) << "the connection was made";
  ASSERT_NE(S->SocketHandle(), -1);
  ASSERT_EQ(Engine->ActiveCount(), 1);
  Clock.Base = kv::Now();
  Tick(51);
  EXPECT_EQ(S->SocketHandle(), -1);
  EXPECT_EQ(S->StartTime, 0);
  EXPECT_EQ(Engine->ActiveCount(), 0);
  EXPECT_FALSE(Engine->Searching());
  EXPECT_EQ(Statuses.back(), "Search Complete!");
  for (const auto &[Site, N] : Uses)
    EXPECT_EQ(N, 0) << "site " << Site;
}

// One socket, the first site silent: the tick that ends it starts the next
// site, which the rest of the tick leaves alone; every site is asked once
// and the search completes once.
TEST_F(SearchTimeOut, TickLeavesTheSitesItStarted) {
  AddSite("A", TServerScript().Silence());
  TLoopbackServer &B = AddSite("B", kvtest::HttpReply(Page("offer <PN>X1</PN>|Y|1|\n")));
  TLoopbackServer &C = AddSite("C", kvtest::HttpReply(Page("offer <PN>X1</PN>|Y|1|\n")));
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.MaxSockets = 1;
  Engine->StartSearch("x1");
  ASSERT_TRUE(kv::WaitUntil([&] { return SocketOf(0) && SocketOf(0)->Busy; }, 10000));
  Clock.Base = kv::Now();
  Tick(51);
  ASSERT_TRUE(kv::WaitUntil([&] { return !Engine->Searching(); }, 20000)) << "search did not end";
  EXPECT_EQ(B.Connections(), 1);
  EXPECT_EQ(C.Connections(), 1);
  EXPECT_EQ(List.ItemCount(), 2);
  EXPECT_EQ(std::count(Statuses.begin(), Statuses.end(), "Search Complete!"), 1);
  for (const auto &[Site, N] : Uses)
    EXPECT_EQ(N, 0) << "site " << Site;
}

// A socket reading its page is running, however old: the tick leaves it.
TEST_F(SearchTimeOut, SocketReadingItsPageIsNotTimedOut) {
  AddSite("A", TServerScript().Silence());
  ASSERT_NO_FATAL_FAILURE(Start());
  kv::TTambleSocket *S = Engine->SitePool[0];
  S->SiteIndex = 0;
  S->StartTime = kv::Now() - 600.0 / 86400;
  const kv::TDateTime Started = S->StartTime;
  S->Parsing = true;
  Clock.Base = kv::Now();
  Tick(0);
  EXPECT_FALSE(S->Cancelled);
  EXPECT_EQ(S->StartTime, Started);
  S->Parsing = false;
  S->StartTime = 0;
  S->SiteIndex = -1;
}

}  // namespace
