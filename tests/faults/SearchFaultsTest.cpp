// The search engine with the real catalogue against numbered demo shops, one
// of them misbehaving: each fault ends only its own site, the others' rows
// arrive, the search completes and every library use is given back. The
// time-out timer is ticked by the test with a clock that runs ahead.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <algorithm>
#include <string>
#include <vector>

#include "client/uCatalogue.h"
#include "client/search/uSearch.h"
#include "client/settings/uSettings.h"
#include "client/search/uTimeOuts.h"
#include "common/Common.h"
#include "components/replistv.h"
#include "net/cTambSoc.h"
#include "platform/DynLoad.h"
#include "platform/qt/Messages.h"
#include "tests/demo/DemoFixture.h"
#include "tests/faults/FaultSupport.h"
#include "tests/support/DemoShops.h"
#include "tests/support/TestEnv.h"

namespace {

namespace fs = std::filesystem;
using faulttest::ExpectedRows;
using faulttest::ShopKey;
using faulttest::ShopName;
using faulttest::TRow;

// The library uses the engine takes and gives back, per site.
std::map<int, int> Uses;
int UsesTaken = 0;
kv::primary::TGetProcessPageProc RealGetProcessPageProc;
kv::primary::TSiteFlag RealFinishedWithSite;
TProcessPageProc CountingGetProcessPageProc(int32_t Site) {
  ++Uses[Site];
  ++UsesTaken;
  return RealGetProcessPageProc(Site);
}
bool CountingFinishedWithSite(int32_t Site) {
  --Uses[Site];
  return RealFinishedWithSite(Site);
}

void NoProgress(int32_t, int32_t, const std::string &) {}

// Time as the test sets it: a base plus seconds the test moves on.
class TAheadClock : public TClock {
public:
  kv::TDateTime Now() const override { return Base + Seconds / 86400.0; }
  kv::TDateTime Base = 0;
  double Seconds = 0;
};

constexpr int Pages = 2, Offers = 5;

class SearchFaults : public ::testing::Test {
protected:
  void TearDown() override {
    Engine.reset();
    if (hPrimary)
      UnbindCatalogue();
  }

  std::vector<std::string> ShopArgs(int Shops) const {
    return {"--shops", std::to_string(Shops), "--shop-pages", std::to_string(Pages), "--shop-offers",
            std::to_string(Offers)};
  }

  // The shops under test, with Extra server arguments.
  void StartShops(int Shops, const std::vector<std::string> &Extra) {
    fs::create_directories(Env / "shops");
    std::vector<std::string> Args = ShopArgs(Shops);
    Args.insert(Args.end(), Extra.begin(), Extra.end());
    Server = std::make_unique<demotest::TDemoServer>(Env / "shops", Args);
    ASSERT_TRUE(Server->Started());
    kvtest::InstallDemoShops(Env / "cwd", Shops);
    setenv("KORVANDEL_HOSTS", Server->Hosts().c_str(), 1);
  }

  static std::multiset<TRow> Expected(int Shop, const std::string &Term) {
    return ExpectedRows(Shop, Term, Pages * Offers);
  }

  // Binds the catalogue over "Lib" and loads the settings as after a logon
  // that granted the demo shops' feature, with room for every row.
  void Start() {
    CatalogueLibraryName = std::string(KV_BIN_DIR) + "/libprimary.so";
    ASSERT_TRUE(BindCatalogue(NoProgress)) << CatalogueBindError;
    NumberLoaded = reinterpret_cast<kv::primary::TNumberLoaded>(kv::GetProcAddress(hPrimary, "NumberLoaded"));
    ASSERT_NE(NumberLoaded, nullptr);
    Uses.clear();
    UsesTaken = 0;
    RealGetProcessPageProc = Catalogue.GetProcessPageProc;
    RealFinishedWithSite = Catalogue.FinishedWithSite;
    Catalogue.GetProcessPageProc = CountingGetProcessPageProc;
    Catalogue.FinishedWithSite = CountingFinishedWithSite;
    kv::TStringList F;
    F.Add("DEMOSHOP");
    LoadSettingsValues(Settings, &F, 100000, {});
    TSearchEvents E;
    E.SetStatus = [this](const std::string &Text, bool) { Statuses.push_back(Text); };
    E.SetSearchStatus = [this](const std::string &) { Sample(); };
    E.SetSearchCount = [this](const std::string &) { Sample(); };
    E.SearchTypeIndex = [] { return static_cast<int>(srchPartNo); };
    E.FilterIndex = [] { return static_cast<int>(fltrNone); };
    Engine = std::make_unique<TSearchEngine>(Settings, &List, E);
    List.show();
  }

  // How many connections are open at this moment, and the most seen.
  void Sample() {
    if (!Engine)
      return;
    int Open = 0;
    for (const auto *Pool : {&Engine->SitePool, &Engine->MorePool})
      for (const kv::TTambleSocket *S : *Pool)
        Open += S->SocketHandle() != -1 ? 1 : 0;
    MostOpen = std::max(MostOpen, Open);
    MostActive = std::max(MostActive, Engine->ActiveCount());
  }

  int SiteIndex(int Shop) const {
    for (int I = 0; I < Catalogue.GetNumberSites(); ++I) {
      std::string Name;
      Catalogue.GetSiteName(Name, I);
      if (Name == ShopName(Shop))
        return I;
    }
    return -1;
  }

  kv::TTambleSocket *SocketOf(int Site) const {
    for (kv::TTambleSocket *S : Engine->SitePool)
      if (S->SiteIndex == Site && S->StartTime != 0)
        return S;
    return nullptr;
  }

  void Tick(double Seconds) {
    Clock.Seconds = Seconds;
    TimeOutTick(nullptr, Engine.get(), Clock, {});
  }

  bool Completed() const { return !Statuses.empty() && Statuses.back() == "Search Complete!"; }
  int Rows(int Shop) const {
    const auto N = faulttest::RowsPerSite(List);
    const auto It = N.find(ShopName(Shop));
    return It == N.end() ? 0 : It->second;
  }
  std::multiset<TRow> RowsOf(int Shop) const {
    std::multiset<TRow> R;
    for (const TRow &Row : faulttest::ShownRows(List))
      if (std::get<7>(Row) == ShopName(Shop))
        R.insert(Row);
    return R;
  }

  void ExpectEverythingGivenBack() {
    EXPECT_FALSE(Engine->Searching());
    EXPECT_EQ(Engine->ActiveCount(), 0);
    EXPECT_GT(UsesTaken, 0);
    for (const auto &[Site, N] : Uses)
      EXPECT_EQ(N, 0) << "site " << Site;
    // The search's end tells every library that searching stopped, which
    // loads each again without a use. A library with no use left is freed
    // by one more use given back; one still in use is not.
    const int Sites = Catalogue.GetNumberSites();
    EXPECT_EQ(NumberLoaded(), Sites);
    for (int I = 0; I < Sites; ++I) {
      ASSERT_NE(RealGetProcessPageProc(I), nullptr) << "site " << I;
      EXPECT_TRUE(RealFinishedWithSite(I)) << "site " << I << " still has a use";
    }
    EXPECT_EQ(NumberLoaded(), 0) << "a site library is still loaded";
  }

  kvtest::IsolatedEnv Env;
  std::unique_ptr<demotest::TDemoServer> Server;
  TWorkingSettings Settings;
  kv::TReportListView List;
  std::unique_ptr<TSearchEngine> Engine;
  kv::primary::TNumberLoaded NumberLoaded = nullptr;
  std::vector<std::string> Statuses;
  TAheadClock Clock;
  int MostOpen = 0, MostActive = 0;
};

// How a misbehaving shop's site comes to its end.
enum class TEnd { Itself, NoDataLimit, InAllLimit };

struct TFaultCase {
  const char *Name;
  std::vector<std::string> Args;  // besides --misbehave shop02=<Name>
  TEnd End;
  int BadRows;  // rows of the misbehaving shop
};

void PrintTo(const TFaultCase &C, std::ostream *Out) { *Out << C.Name; }

class MisbehavingShop : public SearchFaults, public ::testing::WithParamInterface<TFaultCase> {};

// Four shops, the second misbehaving.
TEST_P(MisbehavingShop, EndsOnlyItsOwnSite) {
  const TFaultCase &C = GetParam();
  constexpr int Shops = 4, Bad = 2;
  std::vector<std::string> Args{"--misbehave", ShopKey(Bad) + "=" + C.Name};
  Args.insert(Args.end(), C.Args.begin(), C.Args.end());
  ASSERT_NO_FATAL_FAILURE(StartShops(Shops, Args));
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Catalogue.GetNumberSites(), Shops);
  const int BadSite = SiteIndex(Bad);
  ASSERT_NE(BadSite, -1);
  for (int I = 0; I < Shops; ++I)
    ASSERT_EQ(Settings.SiteEnabled.at(I), 1) << "site " << I;
  const int Good = (Shops - 1) * Pages * Offers;

  Engine->StartSearch("LM317");
  if (C.End == TEnd::Itself) {
    ASSERT_TRUE(kv::WaitUntil([this] { return !Engine->Searching(); }, 90000)) << "search did not end";
  } else {
    // The other shops are done; only the misbehaving one is left.
    ASSERT_TRUE(kv::WaitUntil(
        [&] {
          kv::TTambleSocket *S = SocketOf(BadSite);
          return List.ItemCount() >= Good && Engine->ActiveCount() == 1 && S && S->Busy &&
                 (C.End == TEnd::NoDataLimit || S->DataReceived);
        },
        60000))
        << List.ItemCount() << " rows, " << Engine->ActiveCount() << " active";
    kv::TTambleSocket *S = SocketOf(BadSite);
    ASSERT_NE(S, nullptr);
    EXPECT_EQ(S->DataReceived, C.End == TEnd::InAllLimit);
    Clock.Base = S->StartTime;
    const double Limit = C.End == TEnd::NoDataLimit ? 50 : 180;
    // Up to its limit the site runs on; the 50-second rule spares one that
    // is receiving.
    for (const double Seconds : {1.0, 49.9, 50.0, 50.5, 179.9, 180.0}) {
      if (Seconds > Limit)
        break;
      Tick(Seconds);
      ASSERT_EQ(SocketOf(BadSite), S) << "ended at " << Seconds << " s";
      ASSERT_TRUE(S->Busy) << Seconds << " s";
      ASSERT_EQ(Engine->ActiveCount(), 1) << Seconds << " s";
      ASSERT_TRUE(Engine->Searching()) << Seconds << " s";
    }
    Tick(Limit + 0.5);
    EXPECT_EQ(SocketOf(BadSite), nullptr);
    EXPECT_FALSE(S->Busy);
    EXPECT_EQ(S->SocketHandle(), -1) << "the connection stays open";
    ASSERT_TRUE(kv::WaitUntil([this] { return !Engine->Searching(); }, 30000)) << "search did not end";
  }
  EXPECT_TRUE(Completed());
  for (int Shop = 1; Shop <= Shops; ++Shop) {
    if (Shop != Bad) {
      EXPECT_EQ(Rows(Shop), Pages * Offers) << ShopName(Shop);
    }
  }
  EXPECT_EQ(RowsOf(1), Expected(1, "LM317"));
  EXPECT_EQ(Rows(Bad), C.BadRows);
  EXPECT_EQ(List.ItemCount(), Good + C.BadRows);
  ExpectEverythingGivenBack();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MisbehavingShop,
    ::testing::Values(TFaultCase{"silent", {}, TEnd::NoDataLimit, 0},
                      TFaultCase{"trickle", {"--trickle-ms", "100"}, TEnd::InAllLimit, 0},
                      TFaultCase{"reset", {}, TEnd::Itself, 0},
                      TFaultCase{"refuse", {}, TEnd::Itself, 0},
                      // Every page is read whole, however long; its offers count.
                      TFaultCase{"huge", {}, TEnd::Itself, Pages * Offers},
                      TFaultCase{"garbage", {}, TEnd::Itself, 0}),
    [](const auto &Info) { return std::string(Info.param.Name); });

// Forty shops on twelve sockets: replies are slowed so the connections
// overlap and the limit is reached.
TEST_F(SearchFaults, FortyShopsOnTwelveSockets) {
  constexpr int Shops = 40;
  ASSERT_NO_FATAL_FAILURE(StartShops(Shops, {"--delay", "300"}));
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Catalogue.GetNumberSites(), Shops);
  Settings.MaxSockets = 12;
  Engine->StartSearch("LM317");
  ASSERT_TRUE(kv::WaitUntil([this] { return !Engine->Searching(); }, 90000)) << "search did not end";
  EXPECT_TRUE(Completed());
  EXPECT_EQ(MostActive, 12);
  EXPECT_LE(MostOpen, 12);
  for (int Shop = 1; Shop <= Shops; ++Shop)
    EXPECT_EQ(Rows(Shop), Pages * Offers) << ShopName(Shop);
  EXPECT_EQ(RowsOf(1), Expected(1, "LM317"));
  EXPECT_EQ(RowsOf(40), Expected(40, "LM317"));
  EXPECT_EQ(List.ItemCount(), Shops * Pages * Offers);
  ExpectEverythingGivenBack();
}

// Stop while follow-ups are under way, then a search for another term: its
// rows are its own, each with the stock its follow-up page gave.
TEST_F(SearchFaults, StopWhileFollowUpsRunThenSearchAgain) {
  constexpr int Shops = 3;
  ASSERT_NO_FATAL_FAILURE(StartShops(Shops, {"--follow-ups", "--delay", "800"}));
  ASSERT_NO_FATAL_FAILURE(Start());
  Engine->StartSearch("LM317");
  ASSERT_TRUE(kv::WaitUntil(
      [this] {
        for (const kv::TTambleSocket *S : Engine->MorePool)
          if (S->Busy && S->Response.empty())
            return true;
        return false;
      },
      60000))
      << "no follow-up under way";
  Engine->btnStopClick();
  ASSERT_TRUE(kv::WaitUntil([this] { return !Engine->Searching(); }, 30000)) << "stop did not end the search";
  EXPECT_TRUE(Completed());
  ExpectEverythingGivenBack();

  Statuses.clear();
  Engine->StartSearch("NE555");
  ASSERT_TRUE(kv::WaitUntil([this] { return !Engine->Searching(); }, 90000)) << "search did not end";
  EXPECT_TRUE(Completed());
  std::multiset<TRow> All;
  for (int Shop = 1; Shop <= Shops; ++Shop) {
    const std::multiset<TRow> E = Expected(Shop, "NE555");
    EXPECT_EQ(E.size(), static_cast<size_t>(Pages * Offers));
    All.insert(E.begin(), E.end());
  }
  EXPECT_EQ(faulttest::ShownRows(List), All);
  ExpectEverythingGivenBack();
}

// Unreachable and faulty shops listed before live ones, in every number
// around the socket limit: each faulty one ends only its own site (by itself
// or at its time limit, on a clock the test drives), the next site starts on
// the socket it leaves, and the live shops are searched whole.
enum class TFault { Refused, UnknownHost, ClosedAtOnce, Silent, ResetHalfway, Trickle };

struct TTableCase {
  TFault Fault;
  int Sockets;
  int Faulty;
};

std::string FaultName(TFault F) {
  switch (F) {
  case TFault::Refused: return "Refused";
  case TFault::UnknownHost: return "UnknownHost";
  case TFault::ClosedAtOnce: return "ClosedAtOnce";
  case TFault::Silent: return "Silent";
  case TFault::ResetHalfway: return "ResetHalfway";
  case TFault::Trickle: return "Trickle";
  }
  return "";
}

// The demo server's mode for the fault; empty for one it does not play.
std::string ServerMode(TFault F) {
  switch (F) {
  case TFault::Refused: return "refuse";
  case TFault::ClosedAtOnce: return "close";
  case TFault::Silent: return "silent";
  case TFault::ResetHalfway: return "reset";
  case TFault::Trickle: return "trickle";
  case TFault::UnknownHost: break;
  }
  return "";
}

void PrintTo(const TTableCase &C, std::ostream *Out) {
  *Out << FaultName(C.Fault) << " x" << C.Faulty << " on " << C.Sockets;
}

std::vector<TTableCase> TableCases() {
  std::vector<TTableCase> Cases;
  for (const TFault F : {TFault::Refused, TFault::UnknownHost, TFault::ClosedAtOnce, TFault::Silent,
                         TFault::ResetHalfway, TFault::Trickle})
    for (const int Sockets : {1, 3, 12})
      for (const int Faulty : {0, Sockets - 1, Sockets, Sockets + 3}) {
        // No faulty shop is one case whatever the fault, and one socket has
        // no "one less".
        const bool Seen = !Cases.empty() && Cases.back().Sockets == Sockets && Cases.back().Faulty == Faulty;
        if ((Faulty > 0 || F == TFault::Refused) && !Seen)
          Cases.push_back({F, Sockets, Faulty});
      }
  return Cases;
}

class FaultyShopsFirst : public SearchFaults, public ::testing::WithParamInterface<TTableCase> {
protected:
  // Requests each shop received: the first line of each, in order.
  std::map<std::string, std::vector<std::string>> RequestsPerShop() const {
    std::map<std::string, std::vector<std::string>> R;
    const std::string Log = Server->Log();
    for (size_t At = Log.find("--- "); At != std::string::npos; At = Log.find("\n--- ", At + 1)) {
      const size_t Start = Log[At] == '\n' ? At + 5 : At + 4;
      const std::string Key = Log.substr(Start, Log.find(' ', Start) - Start);
      const size_t Line = Log.find('\n', Start) + 1;
      R[Key].push_back(Log.substr(Line, Log.find("\r\n", Line) - Line));
    }
    return R;
  }

  bool OnlyFaultyActive(const std::set<int> &FaultySites) const {
    int Active = 0;
    for (const auto *Pool : {&Engine->SitePool, &Engine->MorePool})
      for (const kv::TTambleSocket *S : *Pool) {
        if (!Watched(*S))
          continue;
        if (!FaultySites.count(S->SiteIndex))
          return false;
        ++Active;
      }
    return Active > 0;
  }

  // Runs one search to its end, moving the clock past the limits whenever
  // only faulty shops are left running.
  void RunSearch(const std::set<int> &FaultySites) {
    Statuses.clear();
    Engine->StartSearch("LM317");
    for (int Round = 0; Round < 400 && Engine->Searching(); ++Round) {
      kv::WaitUntil([&] { return !Engine->Searching() || OnlyFaultyActive(FaultySites); }, 20000);
      if (Engine->Searching() && OnlyFaultyActive(FaultySites)) {
        Clock.Seconds += 200;
        TimeOutTick(nullptr, Engine.get(), Clock, {});
      }
    }
    ASSERT_FALSE(Engine->Searching()) << "search did not end";
  }

  void ExpectPoolIdle() const {
    EXPECT_EQ(Engine->ActiveCount(), 0);
    for (const auto *Pool : {&Engine->SitePool, &Engine->MorePool})
      for (const kv::TTambleSocket *S : *Pool) {
        EXPECT_TRUE(S->Request.empty()) << "a socket is left taken";
        EXPECT_EQ(S->SocketHandle(), -1) << "a socket is left open";
        EXPECT_EQ(S->StartTime, 0) << "a socket is left watched";
      }
  }
};

TEST_P(FaultyShopsFirst, EveryLiveShopIsSearched) {
  const TTableCase &C = GetParam();
  constexpr int Live = 2;
  const int Shops = C.Faulty + Live;
  std::vector<std::string> Args;
  const std::string Mode = ServerMode(C.Fault);
  for (int Shop = 1; Shop <= C.Faulty && !Mode.empty(); ++Shop) {
    Args.push_back("--misbehave");
    Args.push_back(ShopKey(Shop) + "=" + Mode);
  }
  if (C.Fault == TFault::Trickle)
    Args.insert(Args.end(), {"--trickle-ms", "200"});
  ASSERT_NO_FATAL_FAILURE(StartShops(Shops, Args));
  if (C.Fault == TFault::UnknownHost) {
    // The faulty shops' hosts are in no host list: they cannot be resolved.
    std::string Hosts;
    std::stringstream In(Server->Hosts());
    for (std::string Entry; std::getline(In, Entry, ',');) {
      bool Faulty = false;
      for (int Shop = 1; Shop <= C.Faulty; ++Shop)
        Faulty = Faulty || Entry.rfind(ShopKey(Shop) + ".", 0) == 0;
      if (!Faulty)
        Hosts += (Hosts.empty() ? "" : ",") + Entry;
    }
    setenv("KORVANDEL_HOSTS", Hosts.c_str(), 1);
  }
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Catalogue.GetNumberSites(), Shops);
  Settings.MaxSockets = C.Sockets;
  Clock.Base = kv::Now();
  Engine->SetClock(Clock);
  std::set<int> FaultySites;
  for (int Shop = 1; Shop <= C.Faulty; ++Shop)
    FaultySites.insert(SiteIndex(Shop));
  for (int Shop = C.Faulty + 1; Shop <= Shops; ++Shop)
    for (const int Site : FaultySites)
      ASSERT_GT(SiteIndex(Shop), Site) << "the live shops come after the faulty ones";

  // The second search comes at once, on the pool the first one left.
  for (int Search = 1; Search <= 2; ++Search) {
    ASSERT_NO_FATAL_FAILURE(RunSearch(FaultySites)) << "search " << Search;
    EXPECT_EQ(std::count(Statuses.begin(), Statuses.end(), "Search Complete!"), 1) << "search " << Search;
    const auto Requests = RequestsPerShop();
    for (int Shop = C.Faulty + 1; Shop <= Shops; ++Shop) {
      const auto It = Requests.find(ShopKey(Shop));
      const std::vector<std::string> Got = It == Requests.end() ? std::vector<std::string>() : It->second;
      EXPECT_EQ(Got.size(), static_cast<size_t>(Search * Pages)) << ShopName(Shop) << ", search " << Search;
      EXPECT_EQ(std::set<std::string>(Got.begin(), Got.end()).size(), static_cast<size_t>(Pages))
          << ShopName(Shop) << ": a page asked twice or not at all";
      EXPECT_EQ(RowsOf(Shop), Expected(Shop, "LM317")) << ShopName(Shop) << ", search " << Search;
    }
    EXPECT_EQ(List.ItemCount(), Live * Pages * Offers) << "search " << Search;
    ExpectPoolIdle();
  }
  ExpectEverythingGivenBack();
}

INSTANTIATE_TEST_SUITE_P(Table, FaultyShopsFirst, ::testing::ValuesIn(TableCases()), [](const auto &Info) {
  const std::string Fault = Info.param.Faulty == 0 ? std::string("NoFault") : FaultName(Info.param.Fault);
  return Fault + "_" + std::to_string(Info.param.Faulty) + "of" + std::to_string(Info.param.Sockets);
});

}  // namespace
