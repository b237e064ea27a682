// The search engine with the real catalogue against numbered demo shops, one
// of them misbehaving: each fault ends only its own site, the others' rows
// arrive, the search completes and every library use is given back. The
// time-out timer is ticked by the test with a clock that runs ahead.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
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
    MostActive = std::max(MostActive, Engine->ActiveCount);
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
    EXPECT_EQ(Engine->ActiveCount, 0);
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
          return List.ItemCount() >= Good && Engine->ActiveCount == 1 && S && S->Busy &&
                 (C.End == TEnd::NoDataLimit || S->DataReceived);
        },
        60000))
        << List.ItemCount() << " rows, " << Engine->ActiveCount << " active";
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
      ASSERT_EQ(Engine->ActiveCount, 1) << Seconds << " s";
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

}  // namespace
