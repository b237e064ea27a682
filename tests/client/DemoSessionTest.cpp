// The main window against the demo servers: it checks the connection, logs on
// with the customer stored in the registry and enables exactly the sites
// whose features the server grants.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QToolButton>
#include <QDialog>
#include <QProcess>
#include <QTimer>

#include <map>
#include <set>
#include <tuple>
#include <sstream>

#include "client/uApplication.h"
#include "client/uCatalogue.h"
#include "client/server/uErrorConnecting.h"
#include "client/search/uItemStore.h"
#include "client/search/uOffers.h"
#include "client/search/uSearch.h"
#include "client/server/uServer.h"
#include "client/settings/uUserDetails.h"
#include "client/window/uproof.h"
#include "components/replistv.h"
#include "net/CookieFile.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/qt/Messages.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/client/DemoProcess.h"
#include "tests/demo/DemoFixture.h"

namespace {

class DemoSession : public ::testing::Test {
protected:
  void SetUp() override {
    ResetTerminateRequest();
    // The sample site libraries of the program folder play the demo shops.
    clienttest::CopySampleSites();
    clienttest::StartFromProgramFolder(Env);
    clienttest::RecordMessageBoxes(Boxes);
    // The program's own server name, mapped onto the demo's port.
    ASSERT_NO_FATAL_FAILURE(
        clienttest::StartDemoServer(Demo, Env, {"--ports-file", QString::fromStdString(Env / "ports")}));
  }
  std::string Port(const std::string &Site) const {
    std::istringstream Lines(kvtest::ReadFile(Env / "ports"));
    std::string Key, Value;
    while (Lines >> Key >> Value)
      if (Key == Site)
        return Value;
    return "";
  }
  void TearDown() override {
    delete Main;
    kv::SetMessageBoxHook({});
    clienttest::StopUsingProgramFolder();
    clienttest::StopDemoServer(Demo);
  }
  void Start() {
    Main = new TfrmMain();
    ASSERT_TRUE(Main->Created) << CatalogueBindError;
    Main->show();
  }
  bool WaitForLogon() {
    return kv::WaitUntil([&] { return Main->Server && !Main->Server->LogonActive; }, 20000);
  }
  std::set<std::string> EnabledSites() const {
    std::set<std::string> names;
    for (size_t i = 0; i < Main->Settings.SiteEnabled.size(); ++i)
      if (Main->Settings.SiteEnabled[i] == 1) {
        std::string name;
        Catalogue.GetSiteName(name, static_cast<int>(i));
        names.insert(name);
      }
    return names;
  }
  bool Said(const std::string &Text) const {
    for (const std::string &B : Boxes)
      if (B.find(Text) != std::string::npos)
        return true;
    return false;
  }

  kvtest::IsolatedEnv Env;
  QProcess Demo;
  std::vector<std::string> Boxes;
  TfrmMain *Main = nullptr;
};

TEST_F(DemoSession, LogsOnAndEnablesTheGrantedSites) {
  WriteUserDetails("TRIAL2002", "trial 2002&go");
  Start();
  ASSERT_TRUE(WaitForLogon());
  EXPECT_TRUE(Main->Server->Connected);
  EXPECT_EQ(Main->FeatureList->CommaText(), "TOLBROOK,DIRECT");
  EXPECT_EQ(Main->ServerMaxResults, 25);
  EXPECT_EQ(EnabledSites(), (std::set<std::string>{"Tolbrook Components", "Korvandel Direct"}));
  EXPECT_TRUE(Boxes.empty()) << Boxes.front();
}

TEST_F(DemoSession, AllSitesForTheFullCustomer) {
  WriteUserDetails("DEMO1001", "parts4all");
  Start();
  ASSERT_TRUE(WaitForLogon());
  EXPECT_EQ(EnabledSites().size(), 4u);
}

TEST_F(DemoSession, LogsOnThroughAProxy) {
  // The demo server also answers requests in the absolute form a proxy gets.
  unsetenv("KORVANDEL_HOSTS");
  WriteSettingBool("", "ProxyInfoSaved", true);
  WriteSettingString("", "ProxyServer", "127.0.0.1");
  WriteSettingString("", "ProxyPort", Port("maker"));
  WriteUserDetails("TRIAL2002", "trial 2002&go");
  Start();
  ASSERT_TRUE(WaitForLogon());
  EXPECT_EQ(EnabledSites(), (std::set<std::string>{"Tolbrook Components", "Korvandel Direct"}));
  const std::string Log = kvtest::ReadFile(Env / "requests.log");
  EXPECT_NE(Log.find("GET http://www.korvandel.test/kv_client/check_connection.html HTTP/1.0"), std::string::npos)
      << Log;
  EXPECT_NE(Log.find("GET http://www.korvandel.test/kv_client/kv_logon"), std::string::npos) << Log;
}

// One result row as the list shows it.
using TRow = std::tuple<std::string, std::string, std::string, std::string, std::string, std::string>;

std::multiset<TRow> ShownRows(const kv::TReportListView &List) {
  std::multiset<TRow> Rows;
  for (int I = 0; I < List.ItemCount(); ++I) {
    const kv::TReportItem &It = List.Item(I);
    // part number, manufacturer, price, stock, quantity, supplier
    Rows.insert({It.Caption, It.SubItems.at(1), It.SubItems.at(3), It.SubItems.at(4), It.SubItems.at(5),
                 It.SubItems.at(6)});
  }
  return Rows;
}

// The demo shops: the site key the demo logs, the host, the session cookie.
struct TShopCookie {
  const char *Key, *Host, *Session;
};
const TShopCookie ShopCookies[] = {{"tolbrook", "www.tolbrook.test", "TBSESSION"},
                                   {"haller", "www.haller-elektronik.test", "HALLERSID"},
                                   {"harbor", "www.harborparts.test", "HPS_ID"},
                                   {"direct", "direct.korvandel.test", "KDSESS"}};

// The Cookie lines of the catalogue's requests to the shop whose key the
// demo logs, in the order they came ("" for a request without one).
std::vector<std::string> CookieLinesTo(const std::string &Log, const std::string &Key) {
  std::vector<std::string> Lines;
  const std::string Head = "--- " + Key + " ";
  for (size_t At = Log.find(Head); At != std::string::npos; At = Log.find(Head, At + 1)) {
    if (At != 0 && Log[At - 1] != '\n')
      continue;
    const size_t Begin = Log.find('\n', At) + 1, End = Log.find("\r\n\r\n", Begin);
    const std::string Request = Log.substr(Begin, End == std::string::npos ? std::string::npos : End - Begin);
    if (Request.find("User-Agent: Mozilla/4.0b4") == std::string::npos)
      continue;  // not the catalogue's
    const size_t Line = Request.find("\r\nCookie: ");
    Lines.push_back(Line == std::string::npos ? ""
                                              : Request.substr(Line + 2, Request.find("\r\n", Line + 2) - Line - 2));
  }
  return Lines;
}

TEST_F(DemoSession, SearchFillsTheListWithTheShopsOffers) {
  WriteUserDetails("DEMO1001", "parts4all");
  // Each shop has a cookie from an earlier visit, written by an earlier
  // version: it stays first in the line, before the session the shop sets.
  std::string Earlier;
  for (const TShopCookie &S : ShopCookies)
    Earlier += kv::CookieLine(kv::TCookie{"cur", "EUR", "/", "/", S.Host, ""}) + "\r\n";
  kvtest::WriteFile(kv::CookieFilePath(), Earlier);
  Start();
  ASSERT_TRUE(WaitForLogon());
  ASSERT_EQ(EnabledSites().size(), 4u);

  const std::map<std::string, std::string> Supplier{{"tolbrook", "Tolbrook Components"},
                                                    {"haller", "Haller Elektronik"},
                                                    {"harbor", "Harbor Parts Supply"},
                                                    {"direct", "Korvandel Direct"}};
  std::multiset<TRow> Expected;
  for (const demotest::TCatalogueRow &Row : demotest::Catalogue()) {
    const std::string PN = kv::UpperCase(Row.PartNumber);
    if (PN.find("LM317") == std::string::npos && PN.find("NE555") == std::string::npos)
      continue;
    std::string Quantity = Row.Quantity;
    const std::string Stock = ReadStock(Row.Stock, Quantity);
    Expected.insert({Row.PartNumber, Row.Manufacturer, FormatPrice(Row.Prices.at(0)), Stock, Quantity,
                     Supplier.at(Row.Shop)});
  }
  ASSERT_GT(Expected.size(), 40u);

  Main->editSearch->setEditText("LM317, NE555");
  Main->btnFindNow->click();
  ASSERT_TRUE(kv::WaitUntil([&] { return Main->Search->Searching(); }, 5000));
  ASSERT_TRUE(kv::WaitUntil([&] { return !Main->Search->Searching(); }, 60000));
  EXPECT_EQ(ShownRows(*Main->lstProducts), Expected);
  EXPECT_EQ(Main->lblSearchCount->text().toStdString(), ProductCountText(static_cast<int>(Expected.size())));

  // Tolbrook lists only the first price break and Korvandel Direct no
  // quantity in stock: those rows were completed in place by one follow-up
  // each (the exact rows above have the full values, and no copies).
  using TFollowedUp = std::tuple<std::string, std::string, bool>; // part number, supplier, completed
  std::multiset<TFollowedUp> Wanted, Seen;
  const std::string Log = kvtest::ReadFile(Env / "requests.log");
  size_t ItemPages = 0, StockPages = 0;
  for (const demotest::TCatalogueRow &Row : demotest::Catalogue()) {
    const std::string PN = kv::UpperCase(Row.PartNumber);
    if (PN.find("LM317") == std::string::npos && PN.find("NE555") == std::string::npos)
      continue;
    const bool Breaks = Row.Shop == "tolbrook" && Row.Prices.size() > 1,
               Stock = Row.Shop == "direct" && Row.Stock == "Y";
    Wanted.insert({Row.PartNumber, Supplier.at(Row.Shop), Breaks || Stock});
    const std::string Request = Breaks  ? "GET /product/" + Row.Sku + " HTTP/1.0\r\n"
                                : Stock ? "GET /part/" + Row.Sku + "/stock HTTP/1.0\r\n"
                                        : "";
    if (!Request.empty()) {
      EXPECT_NE(Log.find(Request), std::string::npos) << Request;
    }
    ItemPages += Breaks;
    StockPages += Stock;
  }
  ASSERT_GE(ItemPages, 10u);
  ASSERT_GE(StockPages, 10u);
  for (int I = 0; I < Main->lstProducts->ItemCount(); ++I) {
    const kv::TReportItem &It = Main->lstProducts->Item(I);
    const auto *Store = static_cast<const TItemStore *>(Main->lstProducts->ItemData(I));
    Seen.insert({It.Caption, It.SubItems.at(6), Store && Store->FollowUp});
  }
  EXPECT_EQ(Seen, Wanted);
  auto Count = [&Log](const std::string &Text) {
    size_t N = 0;
    for (size_t At = Log.find(Text); At != std::string::npos; At = Log.find(Text, At + 1))
      ++N;
    return N;
  };
  EXPECT_EQ(Count("\nGET /product/"), ItemPages);
  EXPECT_EQ(Count("/stock HTTP/1.0\r\n"), StockPages);

  // Each shop's session lasts the search: once a request carries it, every
  // later one does, after the older cookie, in the order they were created.
  for (const TShopCookie &S : ShopCookies) {
    SCOPED_TRACE(S.Key);
    const std::vector<std::string> Lines = CookieLinesTo(Log, S.Key);
    ASSERT_GE(Lines.size(), 3u);
    const std::string Session = "Cookie: cur=EUR; " + std::string(S.Session) + "=";
    size_t First = 0;
    while (First < Lines.size() && Lines[First].rfind(Session, 0) != 0) {
      EXPECT_EQ(Lines[First], "Cookie: cur=EUR");
      ++First;
    }
    ASSERT_LT(First, Lines.size()) << "no request carried the session";
    EXPECT_LE(First, 2u) << "the session was not kept";
    for (size_t I = First; I < Lines.size(); ++I) {
      EXPECT_EQ(Lines[I].rfind(Session, 0), 0u) << I << ": " << Lines[I];
      EXPECT_EQ(Lines[I].find(';', Session.size()), std::string::npos) << I << ": " << Lines[I];
    }
  }

  // Stop and a new search work.
  Main->editSearch->setEditText("NE555");
  Main->btnFindNow->click();
  ASSERT_TRUE(kv::WaitUntil([&] { return Main->Search->Searching(); }, 5000));
  Main->btnStop->click();
  ASSERT_TRUE(kv::WaitUntil([&] { return !Main->Search->Searching(); }, 30000));
  Main->editSearch->setEditText("LM317");
  Main->btnFindNow->click();
  ASSERT_TRUE(kv::WaitUntil([&] { return Main->Search->Searching(); }, 5000));
  ASSERT_TRUE(kv::WaitUntil([&] { return !Main->Search->Searching(); }, 60000));
  size_t LM317 = 0;
  for (const TRow &R : Expected)
    if (kv::UpperCase(std::get<0>(R)).find("LM317") != std::string::npos)
      ++LM317;
  EXPECT_EQ(static_cast<size_t>(Main->lstProducts->ItemCount()), LM317);
}

TEST_F(DemoSession, RefusedCustomerIdClearsTheStoredDetails) {
  WriteUserDetails("NOBODY9", "x");
  Start();
  ASSERT_TRUE(kv::WaitUntil([&] { return Said("Your Customer ID was not recognized."); }, 20000));
  std::string id = "?", password = "?";
  ReadUserDetails(id, password);
  EXPECT_EQ(id, "");
  EXPECT_EQ(password, "");
  EXPECT_TRUE(EnabledSites().empty());
}

TEST_F(DemoSession, RefusedConnectionShowsTheProxyDialog) {
  setenv("KORVANDEL_SERVER", "127.0.0.1:1", 1);
  WriteUserDetails("DEMO1001", "parts4all");
  std::string shown;
  // Answer the modal dialog as a user who gives up.
  QTimer Answer;
  QObject::connect(&Answer, &QTimer::timeout, [&] {
    if (auto *D = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
      shown = D->windowTitle().toStdString();
      D->reject();
    }
  });
  Answer.start(50);
  Start();
  ASSERT_TRUE(kv::WaitUntil([&] { return !shown.empty(); }, 20000));
  EXPECT_EQ(shown, "Error Connecting");
  EXPECT_FALSE(Main->Server->Connected);
}

}  // namespace
