// The search engine with the real catalogue: copies of the test shop library
// in "Lib", their hosts mapped by $KORVANDEL_HOSTS to loopback servers that
// play the shops.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/uCatalogue.h"
#include "client/search/uItemStore.h"
#include "client/search/uSearch.h"
#include "client/search/uTimeOuts.h"
#include "client/settings/uSettings.h"
#include "components/replistv.h"
#include "net/CookieFile.h"
#include "platform/Dialogs.h"
#include "platform/Registry.h"
#include "platform/SysUtils.h"
#include "platform/qt/Messages.h"
#include "tests/support/DrivenClock.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

namespace {

namespace fs = std::filesystem;
using kvtest::HttpReply;
using kvtest::TLoopbackServer;
using kvtest::TServerScript;

std::string Page(const std::string &Body, const std::string &Headers = "") {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n" + Headers + "\r\n" + Body;
}

// Counts the library uses the engine takes and gives back, per site.
std::map<int, int> &Uses() {
  static std::map<int, int> U;
  return U;
}
kv::primary::TGetProcessPageProc RealGetProcessPageProc;
kv::primary::TSiteFlag RealFinishedWithSite;
TProcessPageProc CountingGetProcessPageProc(int32_t Site) {
  ++Uses()[Site];
  return RealGetProcessPageProc(Site);
}
bool CountingFinishedWithSite(int32_t Site) {
  --Uses()[Site];
  return RealFinishedWithSite(Site);
}

void NoProgress(int32_t, int32_t, const std::string &) {}

class SearchTest : public ::testing::Test {
protected:
  // The counts are the process's: each test starts from none.
  void SetUp() override { Uses().clear(); }
  void TearDown() override {
    Engine.reset();
    if (hPrimary)
      UnbindCatalogue();
  }

  std::string LibPath(const std::string &Name) const { return Env / ("cwd/Lib/" + Name); }

  // The shops' default reply; before any site is added.
  void UseServer(TServerScript Default) { Server = std::make_unique<TLoopbackServer>(std::move(Default)); }

  // A copy of Build playing site Name, whose host goes to the server.
  void AddSite(const std::string &Name, const std::string &Extra = "", const std::string &Build = "SearchShop") {
    const struct {
      std::string Name, Extra, Build;
    } S{Name, Extra, Build};
    fs::create_directories(Env / "cwd/Lib");
    fs::copy_file(std::string(KV_TEST_BIN_DIR) + "/lib/" + S.Build + ".TWL", LibPath(S.Name + ".TWL"),
                  fs::copy_options::overwrite_existing);
    kvtest::WriteFile(LibPath(S.Name + ".cfg"),
                      "SiteName=" + S.Name + "\nSiteLocation=UK\nSiteCurrency=GBP British Pounds\nSiteURL=http://" +
                          S.Name + ".test/\nSiteHostName=" + S.Name +
                          ".test\nSiteAdvert=\nSiteLanguage=EN English\nFeatures=Search\nInterfaceVersion=4\n"
                          "Statement=GET /{search}?next={next}&state={state}\n" +
                          S.Extra);
    Hosts += (Hosts.empty() ? "" : ",") + S.Name + ".test=127.0.0.1:" + Server->PortText();
  }

  std::string Log(const std::string &Name) const { return kvtest::ReadFile(LibPath(Name + ".log")); }
  int Count(const std::string &Text, const std::string &Part) const {
    int N = 0;
    for (size_t P = Text.find(Part); P != std::string::npos; P = Text.find(Part, P + 1))
      ++N;
    return N;
  }

  // Binds the catalogue over "Lib" and loads the settings as the main window
  // does after a logon that granted Features.
  void Start(std::vector<std::string> Features = {"Search"}) {
    setenv("KORVANDEL_HOSTS", Hosts.c_str(), 1);
    CatalogueLibraryName = std::string(KV_BIN_DIR) + "/libprimary.so";
    ASSERT_TRUE(BindCatalogue(NoProgress)) << CatalogueBindError;
    // Counts of an earlier test in this process are not this one's.
    Uses().clear();
    RealGetProcessPageProc = Catalogue.GetProcessPageProc;
    RealFinishedWithSite = Catalogue.FinishedWithSite;
    Catalogue.GetProcessPageProc = CountingGetProcessPageProc;
    Catalogue.FinishedWithSite = CountingFinishedWithSite;
    kv::TStringList F;
    for (const std::string &Name : Features)
      F.Add(Name);
    LoadSettingsValues(Settings, &F, 400, {});
    TSearchEvents E;
    E.SetStatus = [this](const std::string &Text, bool) {
      Statuses.push_back(Text);
      if (OnStatus)
        OnStatus(Text);
    };
    E.SetSearchStatus = [this](const std::string &Text) {
      SearchStatuses.push_back(Text);
      if (OnSearchStatus)
        OnSearchStatus(Text);
      if (Engine)
        MostActive = std::max(MostActive, Engine->ActiveCount());
    };
    E.SetSearchCount = [this](const std::string &Text) { Counts.push_back(Text); };
    E.EnableButton = [this](int Index, bool On) { Buttons[Index] = On; };
    E.CategoryIndex = [this] { return CategoryIndex; };
    E.CategoryText = [this] { return Category; };
    E.SearchTypeIndex = [this] { return SearchType; };
    E.FilterIndex = [this] {
      if (OnMatch)
        OnMatch();
      return Filter;
    };
    E.Beep = [this] { ++Beeps; };
    Engine = std::make_unique<TSearchEngine>(Settings, &List, E);
    List.show();
  }

  // Runs a search to its end.
  void Search(const std::string &Text) {
    Engine->StartSearch(Text);
    ASSERT_TRUE(kv::WaitUntil([this] { return !Engine->Searching(); }, 30000)) << "search did not end";
  }

  bool Completed() const { return !Statuses.empty() && Statuses.back() == "Search Complete!"; }
  std::string Cell(int Row, int Col) const { return List.GetCellText(Col, Row); }
  // What each connection received, in order.
  std::vector<std::string> Requests() const {
    std::vector<std::string> R;
    for (int I = 0; I < Server->Connections(); ++I)
      R.push_back(Server->Received(I));
    return R;
  }
  void ExpectUsesGivenBack() {
    for (const auto &[Site, N] : Uses())
      EXPECT_EQ(N, 0) << "site " << Site;
    EXPECT_EQ(Engine->ActiveCount(), 0);
  }

  kvtest::IsolatedEnv Env;
  std::unique_ptr<TLoopbackServer> Server = std::make_unique<TLoopbackServer>(HttpReply(Page("result 0\n")));
  std::string Hosts;
  TWorkingSettings Settings;
  kv::TReportListView List;
  std::unique_ptr<TSearchEngine> Engine;
  std::vector<std::string> Statuses, SearchStatuses, Counts;
  std::function<void(const std::string &)> OnStatus, OnSearchStatus;
  std::function<void()> OnMatch;  // each part-number match
  std::map<int, bool> Buttons;
  int CategoryIndex = 0, SearchType = srchPartNo, Filter = fltrNone;
  std::string Category;
  int Beeps = 0;
  int MostActive = 0;
};

TEST_F(SearchTest, ThreeTermsOnOneSocket) {
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("lm317, ne555 ,bc547");
  ASSERT_EQ(Server->Connections(), 3);
  const std::vector<std::string> R = Requests();
  EXPECT_EQ(R[0].rfind("GET /lm317?next=&state=1 HTTP/1.0\r\n", 0), 0u) << R[0];
  EXPECT_EQ(R[1].rfind("GET /ne555?next=&state=1 HTTP/1.0\r\n", 0), 0u) << R[1];
  EXPECT_EQ(R[2].rfind("GET /bc547?next=&state=1 HTTP/1.0\r\n", 0), 0u) << R[2];
  EXPECT_EQ(MostActive, 1);
  EXPECT_EQ(Count(Log("A"), "ProcessPage 1"), 3);
  EXPECT_TRUE(Completed());
  EXPECT_EQ(Counts.back(), "No Matches Found");
  EXPECT_TRUE(Buttons[SearchButton::Find]);
  EXPECT_FALSE(Buttons[SearchButton::Stop]);
  EXPECT_FALSE(Buttons[SearchButton::Export]);
  ExpectUsesGivenBack();
}

// A modal dialog opened while a page procedure runs (from a message the
// offer callback lets through) holds only that site: the other sites fetch
// every page under it, and the held site goes on once the dialog is closed.
TEST_F(SearchTest, OtherSitesGoOnUnderAModalDialog) {
  UseServer(HttpReply(Page("offer <PN>X1</PN>|Y|1|\noffer <PN>X1</PN>|Y|1|\nresult 0\n")));
  for (const char *Name : {"A", "B", "C"})
    AddSite(Name);
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.MaxSockets = 12;
  int ConnectionsUnder = -1, RowsUnder = -1;
  bool Asked = false;
  OnMatch = [&] {
    if (Asked)
      return;
    Asked = true;
    QTimer::singleShot(0, [&] {
      QMessageBox Box(QMessageBox::Question, "Question", "Go on?", QMessageBox::Yes | QMessageBox::No);
      QElapsedTimer Waited;
      Waited.start();
      QTimer Poll;
      // The first site's page waits under the dialog; the other two fetch
      // their three terms each.
      QObject::connect(&Poll, &QTimer::timeout, [&] {
        if ((Server->Connections() >= 7 && List.ItemCount() >= 13) || Waited.elapsed() > 20000)
          Box.done(QMessageBox::No);
      });
      Poll.start(20);
      Box.exec();
      ConnectionsUnder = Server->Connections();
      RowsUnder = List.ItemCount();
    });
  };
  Search("x1,x1,x1");
  EXPECT_EQ(ConnectionsUnder, 7);
  EXPECT_EQ(RowsUnder, 13);
  EXPECT_EQ(Server->Connections(), 9);
  EXPECT_EQ(List.ItemCount(), 18);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

TEST_F(SearchTest, BlankTermsAreSearched) {
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("a,,b");
  ASSERT_EQ(Server->Connections(), 3);
  EXPECT_EQ(Server->Received(1).rfind("GET /?next=&state=1 HTTP/1.0\r\n", 0), 0u) << Server->Received(1);
}

TEST_F(SearchTest, ClearEmptiesTheListOnceTheSearchIsComplete) {
  Server->Queue(HttpReply(Page("offer <PN>X1</PN>|Y|1|\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("x1");
  ASSERT_EQ(List.ItemCount(), 1);
  Statuses.clear();
  Engine->btnNewSearchClick();
  EXPECT_EQ(List.ItemCount(), 0);
  EXPECT_TRUE(Completed());
  EXPECT_FALSE(Engine->ClearRequested);
}

struct TPageCase {
  const char *Name;
  std::string FirstPage;
  std::string Extra;  // site settings
  int Connections;
  std::string SecondRequestStart;
  std::string SecondRequestHas;
};

class PageResults : public SearchTest, public ::testing::WithParamInterface<TPageCase> {};

TEST_P(PageResults, DecideWhatComesNext) {
  const TPageCase &C = GetParam();
  Server->Queue(HttpReply(Page(C.FirstPage)));
  AddSite("A", C.Extra);
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("lm317");
  ASSERT_EQ(Server->Connections(), C.Connections);
  if (C.Connections > 1) {
    const std::string Second = Server->Received(1);
    EXPECT_EQ(Second.rfind(C.SecondRequestStart, 0), 0u) << Second;
    EXPECT_NE(Second.find(C.SecondRequestHas), std::string::npos) << Second;
  }
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

INSTANTIATE_TEST_SUITE_P(
    Search, PageResults,
    ::testing::Values(
        TPageCase{"TermDone", "result 0\n", "", 1, "", ""},
        // The next page is built with the page state the builder left for
        // this page, and the address in the next-URL buffer.
        TPageCase{"NextAddress", "next /page2\nresult 1\n", "NextPageState=5\n", 2, "GET /lm317?next=/page2&state=5",
                  "\r\n\r\n"},
        TPageCase{"NextPost", "next part=lm317&p=2\nresult 2\n", "Statement=POST /find\n", 2, "POST /find HTTP/1.0",
                  "\r\n\r\npart=lm317&p=2"},
        TPageCase{"OtherEndsSite", "next /page2\nresult 3\n", "", 1, "", ""},
        TPageCase{"NegativeEndsSite", "next /page2\nresult -1\n", "", 1, "", ""}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(SearchTest, LibraryWithoutPageProcedureEndsItsSite) {
  AddSite("A", "", "FixtureNoPage");
  AddSite("B");
  Server->Queue(HttpReply(Page("offer <PN>X1</PN>|Y|1|\n")));
  Server->Queue(HttpReply(Page("offer <PN>X1</PN>|Y|1|\n")));
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.MaxSockets = 1;
  Search("x1");
  EXPECT_EQ(Server->Connections(), 2);
  ASSERT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(Cell(0, 7), "B");
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

TEST_F(SearchTest, FailingPageProcedureEndsOnlyItsSite) {
  AddSite("A", "Fail=ProcessPage\n");
  AddSite("B");
  Server->Queue(HttpReply(Page("offer <PN>X1</PN>|Y|1|\nnext /p2\nresult 1\n")));
  Server->Queue(HttpReply(Page("offer <PN>X1</PN>|Y|1|\nnext /p2\nresult 1\n")));
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.MaxSockets = 1;
  Search("x1");
  EXPECT_EQ(Server->Connections(), 3) << "A's page fails; B fetches its next page";
  ASSERT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(Cell(0, 7), "B");
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

TEST_F(SearchTest, EmptyStatementSkipsTheSite) {
  AddSite("A", "StatementResult=0\n");
  AddSite("B");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("x1");
  ASSERT_EQ(Server->Connections(), 1);
  EXPECT_NE(Server->Received(0).find("Host: B.test"), std::string::npos);
  EXPECT_EQ(Uses().count(0), 0u) << "no use taken of a site with nothing to fetch";
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

TEST_F(SearchTest, UnreachableSitesGiveTheirUseBackOnce) {
  kvtest::TRefusedPort Refused;
  AddSite("Good");
  AddSite("Refused");
  AddSite("Unknown");
  // "Unknown.test" is in no host list: it cannot be resolved.
  Hosts = "Good.test=127.0.0.1:" + Server->PortText() + ",Refused.test=127.0.0.1:" + Refused.PortText();
  Server->Queue(HttpReply(Page("offer <PN>X1</PN>|Y|1|\n")));
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("x1");
  EXPECT_EQ(List.ItemCount(), 1);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
  // A second search starts every site again: the failed sockets were freed.
  Statuses.clear();
  Server->Queue(HttpReply(Page("offer <PN>X1</PN>|Y|1|\n")));
  Search("x1");
  EXPECT_EQ(Server->Connections(), 2);
  EXPECT_EQ(List.ItemCount(), 1);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

struct TUnreachableCase {
  const char *Name;
  bool Refused;  // else its host has no address
};

class UnreachableFirst : public SearchTest, public ::testing::WithParamInterface<TUnreachableCase> {};

// One socket, and the first shop cannot be reached: the next one is searched
// on the same socket, and the search completes once.
TEST_P(UnreachableFirst, NextSiteStartsOnTheSameSocket) {
  kvtest::TRefusedPort Refused;
  AddSite("Bad");
  AddSite("Good");
  Hosts = "Good.test=127.0.0.1:" + Server->PortText() +
          (GetParam().Refused ? ",Bad.test=127.0.0.1:" + Refused.PortText() : std::string());
  Server->Queue(HttpReply(Page("offer <PN>X1</PN>|Y|1|\n")));
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.MaxSockets = 1;
  Search("x1");
  EXPECT_EQ(Server->Connections(), 1) << "the good shop was not asked";
  EXPECT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(std::count(Statuses.begin(), Statuses.end(), "Search Complete!"), 1);
  ExpectUsesGivenBack();
}

INSTANTIATE_TEST_SUITE_P(Search, UnreachableFirst,
                         ::testing::Values(TUnreachableCase{"Refused", true}, TUnreachableCase{"NoAddress", false}),
                         [](const auto &Info) { return std::string(Info.param.Name); });


struct TSelectionCase {
  const char *Name;
  int Sites;
  int MaxSockets;
  std::string OddSiteExtra;  // settings of every odd-numbered site
  int CategoryIndex;
  std::string Category;
  bool DisableSiteZero;
  int ExpectedConnections;
  int ExpectedMostActive;
};

class SiteSelection : public SearchTest, public ::testing::WithParamInterface<TSelectionCase> {};

TEST_P(SiteSelection, StartsEligibleSitesUpToTheLimit) {
  const TSelectionCase &C = GetParam();
  // Slow replies, so the connections overlap: long enough for every socket
  // of the limit to be started first, even in a sanitizer build under load.
  UseServer(TServerScript()
                .ReadUntil("\r\n\r\n")
                .Delay(C.ExpectedMostActive > 3 ? 2000 : 150)
                .Send(Page("result 0\n"))
                .Close());
  for (int I = 0; I < C.Sites; ++I)
    AddSite("S" + std::to_string(I), "Categories=Parts" + std::string(I % 2 ? "," + C.Category : "") + "\n" +
                                          (I % 2 ? C.OddSiteExtra : ""));
  if (C.DisableSiteZero) {
    kv::TRegistry Reg;
    Reg.SetRootKey(kv::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey(std::string(SettingsKey) + "\\SiteInfo\\Sites", true));
    Reg.WriteString("SiteLIB\\S0.TWL", "0");
  }
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.MaxSockets = C.MaxSockets;
  CategoryIndex = C.CategoryIndex;
  Category = C.Category;
  Search("x1");
  EXPECT_EQ(Server->Connections(), C.ExpectedConnections);
  EXPECT_EQ(MostActive, C.ExpectedMostActive);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

INSTANTIATE_TEST_SUITE_P(
    Search, SiteSelection,
    ::testing::Values(TSelectionCase{"OneSocket", 3, 1, "", 0, "", false, 3, 1},
                      TSelectionCase{"TwelveOfForty", 40, 12, "", 0, "", false, 40, 12},
                      TSelectionCase{"PoolCapsAt32", 40, 50, "", 0, "", false, 40, 32},
                      TSelectionCase{"NoSockets", 3, 0, "", 0, "", false, 0, 0},
                      TSelectionCase{"FeatureNotGranted", 4, 12, "Features=Other\n", 0, "", false, 2, 2},
                      TSelectionCase{"Category", 6, 12, "", 1, "Resistors", false, 3, 3},
                      TSelectionCase{"DisabledSite", 3, 12, "", 0, "", true, 2, 2}),
    [](const auto &Info) { return std::string(Info.param.Name); });

struct TOfferCase {
  const char *Name;
  std::string Offer;  // one "offer" line's fields
  int Filter;
  bool InStockOnly;
  // The row's cells, caption first; empty: no row.
  std::vector<std::string> Cells;
  int StockImage;
};

class OfferRows : public SearchTest, public ::testing::WithParamInterface<TOfferCase> {};

TEST_P(OfferRows, AreFilteredAndFormatted) {
  const TOfferCase &C = GetParam();
  Server->Queue(HttpReply(Page("offer " + C.Offer + "\n")));
  // The rate is found when the site's currency is the code alone.
  AddSite("Shop", "SiteCurrency=EUR\n");
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.InStockOnly = C.InStockOnly;
  Settings.CurrencyRates.assign(Settings.CurrencyRates.size(), "1.25");
  Filter = C.Filter;
  Search("lm317");
  if (C.Cells.empty()) {
    EXPECT_EQ(List.ItemCount(), 0);
    EXPECT_EQ(Counts.back(), "No Matches Found");
    return;
  }
  ASSERT_EQ(List.ItemCount(), 1);
  for (int Col = 0; Col < 8; ++Col)
    EXPECT_EQ(Cell(0, Col), C.Cells[Col]) << "column " << Col;
  EXPECT_EQ(List.GetSubItemImage(0, 4), C.StockImage);
  EXPECT_EQ(List.GetSubItemImage(0, 0), 8);
  EXPECT_EQ(Counts.back(), "1 product found     ");
  EXPECT_TRUE(Buttons[SearchButton::Export]);
  const auto *Store = static_cast<const TItemStore *>(List.ItemData(0));
  ASSERT_NE(Store, nullptr);
  EXPECT_EQ(Store->SiteURL, "http://Shop.test/");
  EXPECT_DOUBLE_EQ(Store->Rate, 1.25);
}

INSTANTIATE_TEST_SUITE_P(
    Search, OfferRows,
    ::testing::Values(
        TOfferCase{"Full",
                   "<DESC>Regulator</DESC><PN>LM317T</PN><MANF>TI</MANF><QTY>25</QTY><DATASHEET>http://d/x.pdf"
                   "</DATASHEET>|y|<PR1>1234.5</PR1><PR2>1</PR2>| http://Shop.test/lm317 ",
                   fltrNone, false,
                   {"LM317T", "Regulator", "TI", "http://Datasheet", "1,234.50", "Y", "25", "Shop"}, 3},
        TOfferCase{"StockNo", "<pn>LM317</pn><qty>25</qty>|N|abc|", fltrNone, false,
                   {"LM317", "", "", "", "", "N", "0", "Shop"}, 5},
        TOfferCase{"StockCall", "<PN>LM317</PN><QTY>5</QTY>|call|2|", fltrNone, false,
                   {"LM317", "", "", "", "2.00", "Call", "5", "Shop"}, 4},
        TOfferCase{"OtherStockWord", "<PN>LM317</PN><QTY>5</QTY>|soon|2|", fltrNone, false,
                   {"LM317", "", "", "", "2.00", "", "Call", "Shop"}, 5},
        TOfferCase{"NoPartNumber", "Regulator LM317|Y|1|", fltrNone, false, {}, 0},
        TOfferCase{"ExactMatches", "<PN>lm317</PN>|Y|1|", fltrExact, false,
                   {"lm317", "", "", "", "1.00", "Y", "Call", "Shop"}, 3},
        TOfferCase{"ExactRefusesLonger", "<PN>LM317T</PN>|Y|1|", fltrExact, false, {}, 0},
        TOfferCase{"ContainsTakesInside", "<PN>XLM317T</PN>|Y|1|", fltrPartial, false,
                   {"XLM317T", "", "", "", "1.00", "Y", "Call", "Shop"}, 3},
        TOfferCase{"BeginsWithRefusesInside", "<PN>XLM317T</PN>|Y|1|", fltrStartsWith, false, {}, 0},
        TOfferCase{"InStockOnlyRefusesCall", "<PN>LM317</PN>|CALL|1|", fltrNone, true, {}, 0},
        TOfferCase{"InStockOnlyTakesYes", "<PN>LM317</PN>|Y|1|", fltrNone, true,
                   {"LM317", "", "", "", "1.00", "Y", "Call", "Shop"}, 3}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(SearchTest, WholeSearchLimitStopsTheSearch) {
  std::string Body;
  for (int I = 0; I < 5; ++I)
    Body += "offer <PN>LM317-" + std::to_string(I) + "</PN>|Y|1|\n";
  Server->Queue(HttpReply(Page(Body + "next /p2\nresult 1\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.LimitResults = true;
  Settings.ResultsPer = 1;
  Settings.MaxResults = 3;
  Search("lm317");
  EXPECT_EQ(List.ItemCount(), 3);
  EXPECT_EQ(Server->Connections(), 1) << "no next page after the limit";
  EXPECT_NE(std::find(SearchStatuses.begin(), SearchStatuses.end(), "Max Products Reached, Closing"),
            SearchStatuses.end());
  EXPECT_EQ(Count(Log("A"), "stopped"), 1);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

TEST_F(SearchTest, WholeSearchLimitZeroTakesNoRow) {
  Server->Queue(HttpReply(Page("offer <PN>LM317</PN>|Y|1|\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.LimitResults = true;
  Settings.MaxResults = 0;
  Search("lm317");
  EXPECT_EQ(List.ItemCount(), 0);
  EXPECT_NE(std::find(SearchStatuses.begin(), SearchStatuses.end(), "Max Products Reached, Closing"),
            SearchStatuses.end());
  EXPECT_TRUE(Completed());
}

TEST_F(SearchTest, PerSiteLimitCancelsEachSite) {
  std::string Body;
  for (int I = 0; I < 4; ++I)
    Body += "offer <PN>LM317-" + std::to_string(I) + "</PN>|Y|1|\n";
  UseServer(HttpReply(Page(Body + "next /p2\nresult 1\n")));
  AddSite("A");
  AddSite("B");
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.LimitResults = true;
  Settings.ResultsPer = 2;
  Settings.MaxResults = 2;
  Search("lm317");
  EXPECT_EQ(List.ItemCount(), 4);
  EXPECT_EQ(Engine->SiteCounters, (std::vector<int>{2, 2}));
  EXPECT_EQ(Server->Connections(), 2) << "a cancelled site fetches no next page";
  EXPECT_EQ(Count(Log("A"), "stopped"), 1);
  EXPECT_EQ(Count(Log("B"), "stopped"), 1);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

TEST_F(SearchTest, StopInsidePageProcedure) {
  Server->Queue(HttpReply(Page("offer <PN>LM317-1</PN>|Y|1|\noffer <PN>LM317-2</PN>|Y|1|\nnext /p2\nresult 1\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  // Each offer pumps messages: Stop comes with the pump after the first row.
  QTimer Watch;
  Watch.setInterval(0);
  QObject::connect(&Watch, &QTimer::timeout, [&] {
    if (List.ItemCount() == 1 && Engine->Searching() && !Engine->Stopping)
      Engine->btnStopClick();
  });
  Watch.start();
  Search("lm317");
  EXPECT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(Server->Connections(), 1);
  EXPECT_EQ(Count(Log("A"), "stopped"), 1);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

// The view learns of rows while the search runs, not only at its end, and
// holds every row once it has ended.
TEST_F(SearchTest, RowsReachTheViewWhileTheSearchRuns) {
  Server->Queue(HttpReply(Page("offer <PN>X1</PN>|Y|1|\nnext /p2\nresult 1\n")));
  Server->Queue(TServerScript().ReadUntil("\r\n\r\n").Delay(3000).Send(Page("offer <PN>X1-2</PN>|Y|1|\n")).Close());
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Engine->StartSearch("x1");
  EXPECT_TRUE(kv::WaitUntil([&] { return List.model()->rowCount() == 1; }, 2500));
  EXPECT_TRUE(Engine->Searching()) << "the second page came early";
  ASSERT_TRUE(kv::WaitUntil([this] { return !Engine->Searching(); }, 30000));
  EXPECT_EQ(List.ItemCount(), 2);
  EXPECT_EQ(List.model()->rowCount(), 2);
  EXPECT_TRUE(Completed());
}

TEST_F(SearchTest, StopWithoutRowsShowsNoNoMatches) {
  UseServer(TServerScript().ReadUntil("\r\n\r\n").Silence());
  AddSite("A");
  AddSite("B");
  ASSERT_NO_FATAL_FAILURE(Start());
  Engine->StartSearch("lm317");
  ASSERT_TRUE(kv::WaitUntil([this] { return Server->Connections() == 2 && Engine->ActiveCount() == 2; }, 10000));
  Engine->btnStopClick();
  ASSERT_TRUE(kv::WaitUntil([this] { return !Engine->Searching(); }, 10000));
  EXPECT_TRUE(Completed());
  EXPECT_TRUE(std::find(Counts.begin(), Counts.end(), "No Matches Found") == Counts.end());
  ExpectUsesGivenBack();
}

TEST_F(SearchTest, CookiesComeBackOnTheNextRequest) {
  // The header block arrives in pieces; the cookie is stored once.
  const std::string Reply = Page("next /p2\nresult 1\n", "Set-Cookie: sid=abc123; path=/\r\n");
  Server->Queue(TServerScript().ReadUntil("\r\n\r\n").SendPieces(Reply, 7, 5).Close());
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("lm317");
  ASSERT_EQ(Server->Connections(), 2);
  EXPECT_EQ(Server->Received(0).find("Cookie:"), std::string::npos);
  EXPECT_NE(Server->Received(1).find("Cookie: sid=abc123\r\n"), std::string::npos) << Server->Received(1);
  const std::string File = kvtest::ReadFile(kv::CookieFilePath());
  EXPECT_EQ(Count(File, "<NAME>sid</NAME>"), 1) << File;
}

// A shop that floods cookies on every page (300 of 200 bytes and one of
// 5,000), over a file an earlier version filled for it and left 0644: each
// request carries the newest 50 cookies of the shop, and so does the file.
TEST_F(SearchTest, CookieFloodIsKeptWithinTheBounds) {
  const std::string Value(200, 'v');
  const auto Flood = [&](const std::string &Name) {
    std::string Headers;
    for (int I = 0; I < 300; ++I)
      Headers += "Set-Cookie: " + Name + std::to_string(I) + "=" + Value + "; path=/\r\n";
    return Headers + "Set-Cookie: big=" + std::string(5000, 'x') + "; path=/\r\n";
  };
  // Name<To - 50>..Name<To - 1>: the Cookie line, and the file's lines with
  // the creation stamps of Name0 = Stamp and on.
  const auto Newest = [&](const std::string &Name, int To, int Stamp = 0) {
    std::string Pairs, Lines;
    for (int I = To - 50; I < To; ++I) {
      Pairs += (Pairs.empty() ? "" : "; ") + Name + std::to_string(I) + "=" + Value;
      Lines += kv::CookieLine({Name + std::to_string(I), Value, "/", "/", "A.test", "", std::to_string(Stamp + I)}) +
               "\r\n";
    }
    return std::make_pair("Cookie: " + Pairs + "\r\n", Lines);
  };
  std::string Old;
  for (int I = 0; I < 1806; ++I)
    Old += kv::CookieLine({"old" + std::to_string(I), Value, "/", "/", "A.test", ""}) + "\r\n";
  kvtest::WriteFile(kv::CookieFilePath(), Old + kv::CookieLine({"big", std::string(5000, 'x'), "/", "/", "A.test", ""}));
  fs::permissions(kv::CookieFilePath(), fs::perms(0644));
  Server->Queue(HttpReply(Page("next /p2\nresult 1\n", Flood("a"))));
  Server->Queue(HttpReply(Page("result 0\n", Flood("b"))));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("lm317");
  Search("ne555");
  ASSERT_EQ(Server->Connections(), 3);
  const std::vector<std::string> R = Requests();
  const std::string Sent[] = {Newest("old", 1806).first, Newest("a", 300).first, Newest("b", 300).first};
  for (int I = 0; I < 3; ++I) {
    SCOPED_TRACE(I);
    EXPECT_EQ(Count(R[I], "Cookie:"), 1);
    EXPECT_NE(R[I].find(Sent[I]), std::string::npos) << R[I].substr(0, 400);
  }
  // The 50 of the earlier file were stamped 1 to 50 at the first request,
  // then came 300 of "a" and 300 of "b".
  EXPECT_EQ(kvtest::ReadFile(kv::CookieFilePath()), Newest("b", 300, 351).second);
  EXPECT_EQ(fs::status(kv::CookieFilePath()).permissions(), fs::perms(0600));
}

TEST_F(SearchTest, CookieInBodyIsNotStored) {
  Server->Queue(HttpReply(Page("Set-Cookie: sid=abc123; path=/\r\nresult 0\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("lm317");
  EXPECT_FALSE(kvtest::FileExists(kv::CookieFilePath()) &&
               kvtest::ReadFile(kv::CookieFilePath()).find("sid") != std::string::npos);
}

// Site B on a server of its own, so what A's connections get does not hang
// on the order in which the engine opens them.
class PageCapTest : public SearchTest {
protected:
  void AddSiteB() {
    AddSite("B");
    Hosts = "B.test=127.0.0.1:" + OtherShop.PortText() + "," + Hosts;
  }
  // Debug mode, with its message boxes kept; the largest reply A held. A box
  // is a real modal one, with its own loop, and stays up until the search
  // has ended: whatever the engine would still do under it, it does.
  void Watch() {
    Settings.DebugMode = true;
    kv::SetMessageBoxHook([this](const std::string &Text, const std::string &, unsigned) {
      Boxes.push_back(Text);
      MostBoxesUp = std::max(MostBoxesUp, ++BoxesUp);
      QMessageBox Box(QMessageBox::Critical, "", QString::fromStdString(Text), QMessageBox::Ok);
      QElapsedTimer Up;
      Up.start();
      QTimer Poll;
      QObject::connect(&Poll, &QTimer::timeout, [&] {
        if (!Engine->Searching() || Up.elapsed() > 30000)
          Box.done(QMessageBox::Ok);
      });
      Poll.start(10);
      Box.exec();
      --BoxesUp;
      return kv::IDOK;
    });
    OnSearchStatus = [this](const std::string &) {
      for (const auto *Pool : {&Engine->SitePool, &Engine->MorePool})
        for (const kv::TTambleSocket *S : *Pool)
          if (S->SiteIndex == 0)
            MostHeld = std::max(MostHeld, S->Response.size());
    };
  }
  void TearDown() override {
    kv::SetMessageBoxHook({});
    SearchTest::TearDown();
  }
  // B's row, whatever happened to A.
  void ExpectBsRow() {
    int N = 0;
    for (int I = 0; I < List.ItemCount(); ++I)
      if (Cell(I, 7) == "B") {
        ++N;
        EXPECT_EQ(Cell(I, 1), "b");
      }
    EXPECT_EQ(N, 1);
  }
  TLoopbackServer OtherShop{HttpReply(Page("offer <PN>X1</PN><DESC>b</DESC>|Y|1|\n"))};
  std::vector<std::string> Boxes;
  int BoxesUp = 0, MostBoxesUp = 0;
  size_t MostHeld = 0;
};

// Filler lines that make a page as long as a test needs.
std::string Filler(size_t Bytes) {
  std::string F;
  while (F.size() < Bytes)
    F += "<!-- nothing to see here, just a long page -->\n";
  return F;
}

struct TPageCapCase {
  const char *Name;
  bool FollowUp;  // the follow-up page is the long one, else A's page
  int Over;       // bytes by which the long page passes its cap
  std::vector<std::string> ARows;  // descriptions of A's rows
  int APages;     // pages A's library was given to read
};
void PrintTo(const TPageCapCase &C, std::ostream *Out) { *Out << C.Name; }

class PageCap : public PageCapTest, public ::testing::WithParamInterface<TPageCapCase> {};

// A page longer than its cap fails as a page that cannot be read does:
// nothing of it is read, the site ends with one message in debug mode, and
// the other site's row arrives. The message comes once the site has ended:
// its box's loop reads nothing more of the page, however much of it follows.
TEST_P(PageCap, FailsOnlyItsSite) {
  const TPageCapCase &C = GetParam();
  const std::string SitePage =
      Page("offer <PN>X1</PN><DESC>first</DESC>|Y|1|/p1|more\n" + (C.FollowUp ? "" : Filler(200000)));
  const std::string MorePage = Page("offer <PN>X1</PN><DESC>second</DESC>|N|2|\n" + Filler(200000));
  const std::string &Long = C.FollowUp ? MorePage : SitePage;
  Server->Queue(HttpReply(SitePage));
  Server->Queue(HttpReply(MorePage));
  AddSite("A");
  AddSiteB();
  ASSERT_NO_FATAL_FAILURE(Start());
  Watch();
  (C.FollowUp ? Engine->MaxFollowUpReply : Engine->MaxPageReply) = Long.size() - static_cast<size_t>(C.Over);
  Search("x1");
  std::vector<std::string> A;
  for (int I = 0; I < List.ItemCount(); ++I)
    if (Cell(I, 7) == "A")
      A.push_back(Cell(I, 1));
  EXPECT_EQ(A, C.ARows);
  ExpectBsRow();
  EXPECT_EQ(Count(Log("A"), "ProcessPage"), C.APages) << Log("A");
  if (C.Over > 0) {
    const std::string What = C.FollowUp ? "follow-up page" : "shop page";
    EXPECT_EQ(Boxes, std::vector<std::string>{"Error with: A\r\nThe " + What + " is larger than " +
                                              std::to_string(Long.size() - static_cast<size_t>(C.Over)) +
                                              " bytes"});
    EXPECT_EQ(MostBoxesUp, 1);
    EXPECT_LT(MostHeld, Long.size());
  } else {
    EXPECT_TRUE(Boxes.empty()) << Boxes.front();
  }
  EXPECT_EQ(Server->Connections(), C.FollowUp || C.Over <= 0 ? 2 : 1);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

INSTANTIATE_TEST_SUITE_P(Search, PageCap,
                         ::testing::Values(TPageCapCase{"PageAtItsCap", false, 0, {"second"}, 2},
                                           TPageCapCase{"PageOneByteOver", false, 1, {}, 0},
                                           TPageCapCase{"PageFarOver", false, 150000, {}, 0},
                                           TPageCapCase{"FollowUpAtItsCap", true, 0, {"second"}, 2},
                                           TPageCapCase{"FollowUpOneByteOver", true, 1, {"first"}, 1},
                                           TPageCapCase{"FollowUpFarOver", true, 150000, {"first"}, 1}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// A stream that never ends its header block: it is cut off at the cap, not
// held whole, and the other site goes on.
TEST_F(PageCapTest, HeaderlessStreamEndsAtTheCap) {
  Server->Queue(TServerScript().ReadUntil("\r\n\r\n").SendPieces(Filler(16 * kv::MiB), 64 * 1024, 1).Close());
  AddSite("A");
  AddSiteB();
  ASSERT_NO_FATAL_FAILURE(Start());
  Watch();
  Engine->MaxPageReply = 256 * 1024;
  Search("x1");
  EXPECT_LE(MostHeld, Engine->MaxPageReply);
  EXPECT_EQ(Count(Log("A"), "ProcessPage"), 0) << Log("A");
  ExpectBsRow();
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

// The cap of the limits table itself.
TEST_F(PageCapTest, PageOverTheTablesCapFails) {
  const std::string Head = Page("");
  Server->Queue(HttpReply(Head + std::string(kv::limits::ShopPage.MaxReply - Head.size() + 1, 'x')));
  AddSite("A");
  AddSiteB();
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Engine->MaxPageReply, kv::limits::ShopPage.MaxReply);
  ASSERT_EQ(Engine->MaxFollowUpReply, kv::limits::FollowUp.MaxReply);
  Watch();
  Search("x1");
  EXPECT_EQ(Boxes, std::vector<std::string>{"Error with: A\r\nThe shop page is larger than " +
                                            std::to_string(kv::limits::ShopPage.MaxReply) + " bytes"});
  EXPECT_EQ(Count(Log("A"), "ProcessPage"), 0);
  ExpectBsRow();
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

// A reply that never ends its header block, several megabytes of it, is read
// to its end as one page (what large pages cost is measured by search_bench
// --huge).
TEST_F(PageCapTest, HeaderlessStreamIsReadWhole) {
  Server->Queue(TServerScript().ReadUntil("\r\n\r\n").Send(std::string(16 * kv::MiB, '\r')).Close());
  AddSite("A");
  AddSiteB();
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("x1");
  EXPECT_EQ(Count(Log("A"), "ProcessPage 1"), 1) << "the page is read whole";
  ExpectBsRow();
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

struct TSiteFailureCase {
  const char *Name;
  bool Refused;  // A cannot be reached; else its connection is reset mid-page
  std::string Box;
};
void PrintTo(const TSiteFailureCase &C, std::ostream *Out) { *Out << C.Name; }

class SiteFailure : public SearchTest, public ::testing::WithParamInterface<TSiteFailureCase> {
protected:
  void TearDown() override {
    kv::SetMessageBoxHook({});
    SearchTest::TearDown();
  }
};

// A site whose connection fails shows its message in debug mode only once it
// has ended. The time-out timer runs under the box: it finds nothing of the
// failed site left to end, and the next site, started on the same socket,
// is not ended in its place when the box closes.
TEST_P(SiteFailure, EndsTheSiteBeforeItsBox) {
  const TSiteFailureCase &C = GetParam();
  kvtest::TRefusedPort Refused;
  if (!C.Refused)
    Server->Queue(TServerScript().ReadUntil("\r\n\r\n").Send(Page("offer <PN>X1</PN><DESC>a</DESC>|Y|1|\n")).Reset());
  Server->Queue(HttpReply(Page("offer <PN>X1</PN><DESC>c</DESC>|Y|1|\n")));
  AddSite("A");
  AddSite("C");
  if (C.Refused)
    Hosts = "A.test=127.0.0.1:" + Refused.PortText() + "," + Hosts;
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.MaxSockets = 1;
  Settings.DebugMode = true;
  kvtest::TDrivenClock Clock(kv::Now());
  Engine->SetClock(Clock);
  // A started long enough ago for the time-out timer to end it.
  OnSearchStatus = [&](const std::string &Text) {
    if (Text == "Connecting to  A")
      Clock.Seconds += SocketLimits.InAll + 10;
  };
  std::vector<std::string> Boxes;
  kv::SetMessageBoxHook([&](const std::string &Text, const std::string &, unsigned) {
    Boxes.push_back(Text);
    QMessageBox Box(QMessageBox::Critical, "", QString::fromStdString(Text), QMessageBox::Ok);
    QTimer::singleShot(0, [&] {
      TimeOutTick(nullptr, Engine.get(), Clock, {});
      Box.done(QMessageBox::Ok);
    });
    Box.exec();
    return kv::IDOK;
  });
  Search("x1");
  EXPECT_EQ(Boxes, std::vector<std::string>{C.Box});
  ASSERT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(Cell(0, 7), "C");
  EXPECT_EQ(Cell(0, 1), "c");
  EXPECT_EQ(Count(Log("C"), "ProcessPage"), 1);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

INSTANTIATE_TEST_SUITE_P(Search, SiteFailure,
                         ::testing::Values(TSiteFailureCase{"Refused", true, "A\r\nConnection refused"},
                                           TSiteFailureCase{"ResetMidPage", false, "A\r\nConnection reset by peer"}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

struct TFollowUpStockCase {
  const char *Name;
  std::string RowStock, Stock;  // of the row's offer and of the follow-up offer
  std::string Shown, Quantity;
  int Image;
};
void PrintTo(const TFollowUpStockCase &C, std::ostream *Out) { *Out << C.Name; }

class FollowUpStock : public SearchTest, public ::testing::WithParamInterface<TFollowUpStockCase> {};

// A follow-up offer's stock is trimmed before it is read; one that is no
// stock word leaves the row's.
TEST_P(FollowUpStock, IsTrimmedThenRead) {
  const TFollowUpStockCase &C = GetParam();
  Server->Queue(HttpReply(Page("offer <PN>X1</PN><QTY>10</QTY>|" + C.RowStock + "|1|/p1|more\n")));
  Server->Queue(HttpReply(Page("offer <PN>X1</PN><QTY>25</QTY>|" + C.Stock + "|2|\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("x1");
  ASSERT_EQ(Server->Connections(), 2);
  ASSERT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(Cell(0, 5), C.Shown);
  EXPECT_EQ(Cell(0, 6), C.Quantity);
  EXPECT_EQ(List.Item(0).SubItemImages.at(4), C.Image);
}

INSTANTIATE_TEST_SUITE_P(Search, FollowUpStock,
                         ::testing::Values(TFollowUpStockCase{"Plain", "call", "Y", "Y", "25", 3},
                                           TFollowUpStockCase{"BlankBefore", "call", " y", "Y", "25", 3},
                                           TFollowUpStockCase{"BlankAfter", "call", "n ", "N", "0", 5},
                                           TFollowUpStockCase{"BlanksAround", "y", "  CALL  ", "Call", "25", 4},
                                           TFollowUpStockCase{"Tabs", "call", "\tY\t", "Y", "25", 3},
                                           TFollowUpStockCase{"OnlyBlanks", "call", "   ", "Call", "25", 4},
                                           TFollowUpStockCase{"NoStockWord", "y", " maybe ", "Y", "25", 3}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(SearchTest, RowsKeptByLibrariesGoStaleWithTheList) {
  Server->Queue(HttpReply(Page("offer <PN>LM317</PN>|Y|1|\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("lm317");
  ASSERT_EQ(List.ItemCount(), 1);
  const uint64_t Id = static_cast<const TItemStore *>(List.ItemData(0))->RowId;
  EXPECT_EQ(Engine->FindRow(TSearchEngine::RowHandle(Id)), 0);
  Server->Queue(HttpReply(Page("offer <PN>LM317</PN>|Y|1|\n")));
  Search("lm317");
  ASSERT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(Engine->FindRow(TSearchEngine::RowHandle(Id)), -1);
  EXPECT_NE(static_cast<const TItemStore *>(List.ItemData(0))->RowId, Id);
}

}  // namespace

namespace {

// The first offer of a follow-up page fills the row it was asked for; the
// second leaves a copy of the row as the first left it and fills the row.
TEST_F(SearchTest, FollowUpPageUpdatesItsRowThenCopiesIt) {
  Server->Queue(HttpReply(Page("offer <PN>X1</PN><DESC>first</DESC>|Y|1|/p1|more\n")));
  Server->Queue(HttpReply(Page("offer <PN>X1</PN><DESC>second</DESC>|N|2|\n"
                               "offer <PN>X1</PN><DESC>third</DESC>||3|\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("x1");
  ASSERT_EQ(Server->Connections(), 2);
  EXPECT_EQ(Server->Received(1).rfind("GET /x1?next=/more&state=7 HTTP/1.0\r\n", 0), 0u) << Server->Received(1);
  ASSERT_EQ(List.ItemCount(), 2);
  EXPECT_EQ(Cell(0, 1), "third");
  EXPECT_EQ(Cell(0, 4), "3.00");
  EXPECT_EQ(Cell(0, 5), "N");  // an empty stock leaves the row's
  EXPECT_EQ(Cell(1, 1), "second");
  EXPECT_EQ(Cell(1, 4), "2.00");
  EXPECT_EQ(Cell(1, 5), "N");
  EXPECT_EQ(Cell(1, 6), "0");
  EXPECT_EQ(static_cast<TItemStore *>(List.ItemData(1))->ProductURL, "/p1");
  EXPECT_TRUE(static_cast<TItemStore *>(List.ItemData(1))->FollowUp);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

// A follow-up asked for without a row adds its offers as AddProduct does,
// filters included; the row links to the follow-up page on the site's host.
TEST_F(SearchTest, FollowUpWithoutRowAddsRowsLinkedToItsPage) {
  Server->Queue(HttpReply(Page("ask /detail?id=4\n")));
  Server->Queue(HttpReply(Page("offer <PN>Z9</PN>|Y|5|\n"
                               "offer <PN>X1</PN><DESC>found</DESC>|Y|1|\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Filter = fltrPartial;
  Search("x1");
  ASSERT_EQ(Server->Connections(), 2);
  EXPECT_EQ(Server->Received(1).rfind("GET /x1?next=/detail?id=4&state=7 HTTP/1.0\r\n", 0), 0u)
      << Server->Received(1);
  ASSERT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(Cell(0, 0), "X1");
  EXPECT_EQ(Cell(0, 1), "found");
  const auto *Store = static_cast<const TItemStore *>(List.ItemData(0));
  EXPECT_EQ(Store->ProductURL, "http://A.test/detail?id=4");
  EXPECT_TRUE(Store->FollowUp);
  EXPECT_EQ(List.Item(0).ImageIndex, 1);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

// A follow-up whose request comes out empty ends before it takes a socket,
// a library use or a connection.
TEST_F(SearchTest, EmptyFollowUpRequestSendsNothing) {
  AddSite("A");
  AddSite("B", "StatementResult=0\n");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("x1");
  const int Connections = Server->Connections();
  Engine->Stopping = false;
  Engine->MoreQueue.push_back(TMoreInfo{0, "/more", 1, 1, 0, Engine->Generation()});
  Engine->StartMoreRequests();
  EXPECT_TRUE(Engine->MoreQueue.empty());
  for (kv::TTambleSocket *S : Engine->MorePool) {
    EXPECT_TRUE(S->Request.empty());
    EXPECT_EQ(S->SocketHandle(), -1);
  }
  EXPECT_EQ(Engine->ActiveCount(), 0);
  kv::ProcessMessages();
  EXPECT_EQ(Server->Connections(), Connections);
  ExpectUsesGivenBack();
}

// A follow-up refused before its connection was made gives back its use and
// its count, and closes its socket; the search completes with the row as the
// first page left it.
TEST_F(SearchTest, FollowUpRefusedBeforeConnectingEndsCleanly) {
  kvtest::TRefusedPort Refused;
  Server->Queue(HttpReply(Page("offer <PN>X1</PN><DESC>first</DESC>|Y|1|/p1|more\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  int Connecting = 0;
  // The follow-up goes to the same host: from its start on, that host refuses.
  OnSearchStatus = [&](const std::string &Text) {
    if (Text == "Connecting to  A" && ++Connecting == 2)
      setenv("KORVANDEL_HOSTS", ("A.test=127.0.0.1:" + Refused.PortText()).c_str(), 1);
  };
  Search("x1");
  EXPECT_EQ(Connecting, 2);
  EXPECT_EQ(Server->Connections(), 1);
  ASSERT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(Cell(0, 1), "first");
  EXPECT_FALSE(static_cast<const TItemStore *>(List.ItemData(0))->FollowUp);
  for (kv::TTambleSocket *S : Engine->MorePool)
    EXPECT_EQ(S->SocketHandle(), -1);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

// A follow-up asked for by a search that is ending is not queued.
TEST_F(SearchTest, FollowUpsAreNotQueuedWhileStopping) {
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Search("x1");
  ASSERT_TRUE(Engine->Stopping);
  TSearchEngine::AddMoreInfo("/more", nullptr, 1, Engine->SitePool[0]);
  EXPECT_TRUE(Engine->MoreQueue.empty());
}

}  // namespace

namespace {

struct TWidthRow {
  const char *Name;
  int NextSite;
  int Started;
};

// While sites remain to be started the follow-ups get half the sockets.
TEST_F(SearchTest, FollowUpWidthIsHalfTheSocketsUntilEverySiteStarted) {
  UseServer(kvtest::TServerScript().Silence());
  Server->Queue(HttpReply(Page("result 0\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.MaxSockets = 12;
  Search("x1");
  const TWidthRow Rows[] = {{"a site still to start", 0, 6}, {"every site started", 1, 10}};
  for (const TWidthRow &R : Rows) {
    Engine->Stopping = false;
    Engine->SetNextSite(R.NextSite);
    for (int I = 0; I < 10; ++I)
      Engine->MoreQueue.push_back(TMoreInfo{0, "/more", 1, 0, 0, Engine->Generation()});
    Engine->StartMoreRequests();
    int Started = 0;
    for (kv::TTambleSocket *S : Engine->MorePool)
      Started += S->Request.empty() ? 0 : 1;
    EXPECT_EQ(Started, R.Started) << R.Name;
    EXPECT_EQ(Engine->ActiveCount(), R.Started) << R.Name;
    Engine->btnStopClick();
    EXPECT_EQ(Engine->ActiveCount(), 0) << R.Name;
  }
  ExpectUsesGivenBack();
}

}  // namespace

namespace {

struct TSkippedCase {
  const char *Name;
  int MaxSockets;
  bool ByCategory;  // the last sites lack the category, else they are disabled
};
void PrintTo(const TSkippedCase &C, std::ostream *Out) { *Out << C.Name; }

class FollowUpBeforeSkippedSites : public SearchTest, public ::testing::WithParamInterface<TSkippedCase> {};

// The first site asks for a follow-up while it holds the only socket; the
// sites after it are all skipped. The follow-up still runs before the end.
TEST_P(FollowUpBeforeSkippedSites, RunsBeforeTheSearchEnds) {
  const TSkippedCase &C = GetParam();
  Server->Queue(HttpReply(Page("offer <PN>X1</PN><DESC>first</DESC>|Y|1|/p1|more\n")));
  Server->Queue(HttpReply(Page("offer <PN>X1</PN><DESC>second</DESC>|N|2|\n")));
  AddSite("A", "Categories=Parts,Resistors\n");
  AddSite("B", "Categories=Parts\n");
  AddSite("C", "Categories=Parts\n");
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Engine->SiteName(0), "A");
  Settings.MaxSockets = C.MaxSockets;
  if (C.ByCategory) {
    CategoryIndex = 1;
    Category = "Resistors";
  } else {
    Settings.SiteEnabled = {1, 0, 0};
  }
  Search("x1");
  ASSERT_EQ(Server->Connections(), 2) << "the follow-up was not fetched";
  EXPECT_EQ(Server->Received(1).rfind("GET /x1?next=/more&state=7 HTTP/1.0\r\n", 0), 0u) << Server->Received(1);
  ASSERT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(Cell(0, 1), "second");
  EXPECT_EQ(Cell(0, 5), "N");
  EXPECT_TRUE(Engine->MoreQueue.empty());
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

INSTANTIATE_TEST_SUITE_P(Search, FollowUpBeforeSkippedSites,
                         ::testing::Values(TSkippedCase{"OneSocketLastSitesDisabled", 1, false},
                                           TSkippedCase{"OneSocketLastSitesOutOfCategory", 1, true},
                                           TSkippedCase{"TwoSocketsLastSitesDisabled", 2, false}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

}  // namespace

namespace {

struct TSupersededCase {
  const char *Name;
  void (TSearchEngine::*Button)();
};
void PrintTo(const TSupersededCase &C, std::ostream *Out) { *Out << C.Name; }

class NewSearchDuringFinish : public SearchTest, public ::testing::WithParamInterface<TSupersededCase> {};

// Stop or Clear while a site runs: cancelling it completes the search, and
// a new search starts in the next pump (for Clear, the clearing step's own
// pump). The new search keeps its Stop button, no Clear carries into it,
// and gets no "No Matches Found".
TEST_P(NewSearchDuringFinish, LeavesTheNewSearchAlone) {
  UseServer(TServerScript().ReadUntil("\r\n\r\n").Silence());
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Engine->StartSearch("x1");
  ASSERT_TRUE(kv::WaitUntil([this] { return Server->Connections() == 1 && Engine->ActiveCount() == 1; }, 10000));
  bool Started = false;
  OnStatus = [&](const std::string &Text) {
    if (Text == "Search Complete!" && !Started) {
      Started = true;
      QTimer::singleShot(0, [this] { Engine->StartSearch("x2"); });
    }
  };
  (Engine.get()->*GetParam().Button)();
  ASSERT_TRUE(Started);
  ASSERT_TRUE(kv::WaitUntil([this] { return Engine->Searching(); }, 10000)) << "the new search did not start";
  EXPECT_FALSE(Engine->ClearRequested) << "the Clear carries into the new search";
  EXPECT_EQ(Engine->ActiveCount(), 1);
  EXPECT_TRUE(Buttons[SearchButton::Stop]) << "the new search lost its Stop button";
  EXPECT_FALSE(Buttons[SearchButton::Find]);
  EXPECT_EQ(Counts.back(), "");
  EXPECT_FALSE(Engine->Stopping);
  // The new search is stopped as any other, and says nothing of no matches.
  OnStatus = nullptr;
  Engine->btnStopClick();
  ASSERT_TRUE(kv::WaitUntil([this] { return !Engine->Searching(); }, 10000));
  EXPECT_TRUE(Completed());
  EXPECT_EQ(Counts.back(), "");
  EXPECT_FALSE(Engine->StoppedByUser);
  ExpectUsesGivenBack();
}

INSTANTIATE_TEST_SUITE_P(Search, NewSearchDuringFinish,
                         ::testing::Values(TSupersededCase{"Stop", &TSearchEngine::btnStopClick},
                                           TSupersededCase{"Clear", &TSearchEngine::btnNewSearchClick}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

}  // namespace

namespace {

// Requests built so far; from ThrowAtStatement on, building one fails.
kv::primary::TGetStatement RealGetStatement;
int Statements = 0, ThrowAtStatement = 0;
void FailingGetStatement(std::string &Result, int32_t Site, const std::string &Text, const std::string &Post,
                         const std::string &Next, int16_t UseProxy, const std::string &User,
                         const std::string &Password, int32_t &PageState) {
  if (++Statements == ThrowAtStatement)
    throw std::runtime_error("no statement");
  RealGetStatement(Result, Site, Text, Post, Next, UseProxy, User, Password, PageState);
}

struct TCallbackFailureCase {
  const char *Name;
  std::vector<std::string> Pages;
  int ThrowAtMatch;      // the part-number match that fails, 0 none
  int ThrowAtStatement;  // the request building that fails, 0 none
  bool NonStandard;      // the match fails with something other than an exception class
  std::string Box;       // the debug-mode message
  int Connections;
  std::vector<std::string> Descriptions;  // of the rows left
};
void PrintTo(const TCallbackFailureCase &C, std::ostream *Out) { *Out << C.Name; }

class CallbackFailure : public SearchTest, public ::testing::WithParamInterface<TCallbackFailureCase> {
protected:
  void TearDown() override {
    kv::SetMessageBoxHook({});
    ThrowAtStatement = 0;
    SearchTest::TearDown();
  }
};

// A failure inside a callback never reaches the site library: the library
// sees a normal return (and Stop), the site ends as a failing page ends it,
// with its message in debug mode, and the search completes.
TEST_P(CallbackFailure, StaysOnTheClientSide) {
  const TCallbackFailureCase &C = GetParam();
  for (const std::string &P : C.Pages)
    Server->Queue(HttpReply(Page(P)));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  Settings.DebugMode = true;
  std::vector<std::string> Boxes;
  kv::SetMessageBoxHook([&](const std::string &Text, const std::string &, unsigned) {
    Boxes.push_back(Text);
    return kv::IDOK;
  });
  int Matches = 0;
  OnMatch = [&] {
    if (++Matches != C.ThrowAtMatch)
      return;
    if (C.NonStandard)
      throw 42;
    throw std::runtime_error("no match");
  };
  RealGetStatement = Catalogue.GetStatement;
  Statements = 0;
  ThrowAtStatement = C.ThrowAtStatement;
  Catalogue.GetStatement = FailingGetStatement;
  Search("x1");
  EXPECT_EQ(Count(Log("A"), "exception"), 0) << Log("A");
  EXPECT_EQ(Boxes, std::vector<std::string>{C.Box});
  EXPECT_EQ(Server->Connections(), C.Connections);
  ASSERT_EQ(List.ItemCount(), static_cast<int>(C.Descriptions.size()));
  for (int I = 0; I < List.ItemCount(); ++I)
    EXPECT_EQ(Cell(I, 1), C.Descriptions[static_cast<size_t>(I)]);
  EXPECT_TRUE(Completed());
  ExpectUsesGivenBack();
}

INSTANTIATE_TEST_SUITE_P(
    Search, CallbackFailure,
    ::testing::Values(
        TCallbackFailureCase{"AddProduct",
                             {"offer <PN>X1</PN><DESC>one</DESC>|Y|1|\noffer <PN>X2</PN>|Y|1|\nnext /p2\nresult 1\n"},
                             1, 0, false, "Error with: A\r\nno match", 1, {}},
        TCallbackFailureCase{"AddMoreProduct",
                             {"offer <PN>X1</PN><DESC>first</DESC>|Y|1|/p1|more\n",
                              "offer <PN>X1</PN><DESC>second</DESC>|N|2|\noffer <PN>X1</PN><DESC>third</DESC>|N|3|\n"},
                             2, 0, true, "Error with: A\r\n", 2, {"first"}},
        TCallbackFailureCase{"AddMoreInfo",
                             {"ask /detail\noffer <PN>X1</PN><DESC>one</DESC>|Y|1|\nnext /p2\nresult 1\n"},
                             0, 2, false, "Error with: A\r\nno statement", 1, {}}),
    [](const auto &Info) { return std::string(Info.param.Name); });

}  // namespace

namespace {

struct TAnnotationCase {
  const char *Name;
  std::string RowPart;  // the part number of the row the follow-up is for
  std::string Offer;    // the follow-up page's product text
  int SearchType, Filter;
  std::string Caption, Description;
};
void PrintTo(const TAnnotationCase &C, std::ostream *Out) { *Out << C.Name; }

class FollowUpAnnotation : public SearchTest, public ::testing::WithParamInterface<TAnnotationCase> {};

// A follow-up offer is never filtered by the part-number match: one that
// does not match keeps the row's part number in brackets after its
// description.
TEST_P(FollowUpAnnotation, MarksAPartNumberThatDoesNotMatch) {
  const TAnnotationCase &C = GetParam();
  Server->Queue(HttpReply(Page("offer <PN>" + C.RowPart + "</PN><DESC>first</DESC>|Y|1|/p1|more\n")));
  Server->Queue(HttpReply(Page("offer " + C.Offer + "|Y|2|\n")));
  AddSite("A");
  ASSERT_NO_FATAL_FAILURE(Start());
  SearchType = C.SearchType;
  Filter = C.Filter;
  Search("x1");
  ASSERT_EQ(Server->Connections(), 2);
  ASSERT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(Cell(0, 0), C.Caption);
  EXPECT_EQ(Cell(0, 1), C.Description);
  EXPECT_EQ(Cell(0, 4), "2.00");
}

INSTANTIATE_TEST_SUITE_P(
    Search, FollowUpAnnotation,
    ::testing::Values(
        TAnnotationCase{"Mismatch", "X1-A", "<PN>Z9</PN><DESC>other part</DESC>", srchPartNo, fltrPartial, "Z9",
                        "other part [X1-A]"},
        TAnnotationCase{"Match", "X1-A", "<PN>X1-B</PN><DESC>same part</DESC>", srchPartNo, fltrPartial, "X1-B",
                        "same part"},
        TAnnotationCase{"MatchInAnyCase", "X1-A", "<PN>x1-b</PN><DESC>same part</DESC>", srchPartNo, fltrStartsWith,
                        "x1-b", "same part"},
        TAnnotationCase{"MismatchWithoutDescription", "X1-A", "<PN>Z9</PN>", srchPartNo, fltrPartial, "Z9", "first"},
        TAnnotationCase{"EmptyPartNumber", "X1-A", "<DESC>other part</DESC>", srchPartNo, fltrPartial, "X1-A",
                        "other part [X1-A]"},
        // Of a bracketed caption only the text inside the brackets is kept.
        TAnnotationCase{"BracketedCaption", "X1[REEL]Q", "<PN>Z9</PN><DESC>other</DESC>", srchPartNo, fltrPartial,
                        "Z9", "other [REEL]"},
        TAnnotationCase{"NoMatchChosen", "X1-A", "<PN>Z9</PN><DESC>other</DESC>", srchPartNo, fltrNone, "Z9", "other"},
        TAnnotationCase{"DescriptionSearch", "X1-A", "<PN>Z9</PN><DESC>other</DESC>", srchDescription, fltrPartial,
                        "Z9", "other"}),
    [](const auto &Info) { return std::string(Info.param.Name); });

}  // namespace
