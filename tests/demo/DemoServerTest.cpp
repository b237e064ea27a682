// The demo server's conversations: what the maker's server answers the
// client's requests, and the shops' sessions, logging and proxy form.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "common/Common.h"
#include "tests/demo/DemoFixture.h"
#include "tests/support/TestEnv.h"

namespace demotest {
namespace {

class DemoServer : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(Server.Started()) << "the demo server did not start"; }
  int Maker() const { return Server.Port("maker"); }

  kvtest::TempDir Dir;
  TDemoServer Server{Dir.Path()};
};

std::string LogonPath(const std::string &Id, const std::string &Password) {
  return "/kv_client/kv_logon.2.035.asp?customer_id=" + HTTPEncode(Id) + "&password=" + HTTPEncode(Password);
}

struct TLogonCase {
  const char *Name;
  std::string Id, Password;
  std::string Expected;  // the envelope, or the refusal text
};

void PrintTo(const TLogonCase &C, std::ostream *Out) { *Out << C.Name; }

class Logon : public DemoServer, public ::testing::WithParamInterface<TLogonCase> {};

TEST_P(Logon, AnswersTheCustomer) {
  const TLogonCase &C = GetParam();
  const std::string Reply = Get(Maker(), LogonPath(C.Id, C.Password));
  ASSERT_EQ(Reply.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << Reply;
  const std::string Body = BodyOf(Reply);
  if (C.Expected.rfind("<OsTransmission>", 0) == 0) {
    EXPECT_EQ(GetTextBetween(Body, "<OsTransmission>", "</OsTransmission>"),
              GetTextBetween(C.Expected, "<OsTransmission>", "</OsTransmission>"));
    EXPECT_EQ(Body.find("Invalid"), std::string::npos);
  } else {
    EXPECT_NE(Body.find(C.Expected), std::string::npos) << Body;
    EXPECT_EQ(Body.find("<OsTransmission>"), std::string::npos) << Body;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Maker, Logon,
    ::testing::Values(
        TLogonCase{"DemoCustomer", "DEMO1001", "parts4all",
                   "<OsTransmission><OsConfigScript>MaxResults|400</OsConfigScript><OsMessages>Welcome to "
                   "Korvandel.</OsMessages><KvFeatures>TOLBROOK|HALLER|HARBOR|DIRECT</KvFeatures></OsTransmission>"},
        // Blanks, "&" and digits in the password reach the server encoded.
        TLogonCase{"TrialCustomerWithAnAwkwardPassword", "TRIAL2002", "trial 2002&go",
                   "<OsTransmission><OsConfigScript>MaxResults|25</OsConfigScript><OsMessages>Welcome to "
                   "Korvandel.</OsMessages><KvFeatures>TOLBROOK|DIRECT</KvFeatures></OsTransmission>"},
        TLogonCase{"UnknownCustomer", "NOBODY9", "parts4all", "Invalid Customer ID"},
        TLogonCase{"NoCustomer", "", "", "Invalid Customer ID"},
        TLogonCase{"CustomerIdIsCaseSensitive", "demo1001", "parts4all", "Invalid Customer ID"},
        TLogonCase{"WrongPassword", "DEMO1001", "Parts4All", "Invalid Password"},
        TLogonCase{"EmptyPassword", "DEMO1001", "", "Invalid Password"}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(DemoServer, ConnectivityCheckSaysSuccess) {
  const std::string Reply = Get(Maker(), "/kv_client/check_connection.html");
  EXPECT_EQ(Reply.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
  EXPECT_NE(BodyOf(Reply).find("SUCCESS"), std::string::npos);
}

struct TFixedCase {
  const char *Name;
  std::string Request;
  std::string Status;     // the status line
  std::string Contains;   // in the body
  std::string Lacks;      // not in the body ("" for no check)
};

void PrintTo(const TFixedCase &C, std::ostream *Out) { *Out << C.Name; }

class FixedReplies : public DemoServer, public ::testing::WithParamInterface<TFixedCase> {};

TEST_P(FixedReplies, Answer) {
  const TFixedCase &C = GetParam();
  const std::string Reply = Fetch(Maker(), C.Request);
  EXPECT_EQ(Reply.substr(0, Reply.find("\r\n")), C.Status);
  const std::string Body = BodyOf(Reply);
  EXPECT_NE(Body.find(C.Contains), std::string::npos) << Body;
  if (!C.Lacks.empty()) {
    EXPECT_EQ(Body.find(C.Lacks), std::string::npos) << Body;
  }
}

const std::string Head = " HTTP/1.0\r\nAccept: www/source\r\nAccept: text/html\r\nUser-Agent: Tamblewick\r\n";
std::string Post(const std::string &Path, const std::string &Body) {
  return "POST " + Path + Head + "Content-type: application/x-www-form-urlencoded\r\nContent-length: " +
         std::to_string(Body.size()) + "\r\n\r\n" + Body + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Maker, FixedReplies,
    ::testing::Values(
        TFixedCase{"UsageRecord", "GET /kv_client/kv_log_search.2.035.asp?customer_id=DEMO1001&parts=LM317&sites=x" +
                                      Head + "\r\n",
                   "HTTP/1.0 200 OK", "recorded", ""},
        // Three files newer than the catalogue's 3003.
        TFixedCase{"UpdatePageNamesNewerFiles", "GET /kv_client/kvupdate.htm" + Head + "\r\n", "HTTP/1.0 200 OK",
                   "<TR><TD>3103</TD><TD>0</TD><TD>http://www.korvandel.test/kv_client/update/kvtips.txt</TD>", ""},
        TFixedCase{"UpdateFile", "GET /kv_client/update/kvsites.txt" + Head + "\r\n", "HTTP/1.0 200 OK",
                   "Korvandel update 3102", ""},
        TFixedCase{"BannerPageOfPosition2",
                   "GET /kv_client/kvbanners.asp?customer_id=DEMO1001&banner_position=2" + Head + "\r\n",
                   "HTTP/1.0 200 OK", "/kv_client/banners/banner2_", "banner1_"},
        TFixedCase{"BannerPicture", "GET /kv_client/banners/banner1_2.gif" + Head + "\r\n", "HTTP/1.0 200 OK",
                   "GIF89a", ""},
        TFixedCase{"UserDetailsOfTheDemoCustomer",
                   "GET /kv_client/kv_get_user_info.2.035.asp?customer_id=DEMO1001" + Head + "\r\n",
                   "HTTP/1.0 200 OK",
                   "Dana|Whitfield|Whitfield Instruments Ltd|Purchasing Manager|+44 1632 960123||+44 1632 960124|"
                   "dana.whitfield@whitfield.example|",
                   "Error"},
        TFixedCase{"UserDetailsOfAnUnknownCustomer",
                   "GET /kv_client/kv_get_user_info.2.035.asp?customer_id=NOBODY9" + Head + "\r\n",
                   "HTTP/1.0 200 OK", "Error", ""},
        TFixedCase{"ShortagesFormIsFilledIn",
                   Post("/kv_homepage/shortages_form.asp", "first_name=Dana&last_name=O%27Neil+%26+Co&country=UK"),
                   "HTTP/1.0 200 OK", "name=\"last_name\" value=\"O'Neil &amp; Co\"", ""},
        TFixedCase{"SiteSuggestion", Post("/kv_client/twsuggest.pl", "name=A&email=&siteName=B&siteURL=&comment="),
                   "HTTP/1.0 200 OK", "Thank you", ""},
        TFixedCase{"UnknownPage", "GET /kv_client/nothing.asp" + Head + "\r\n", "HTTP/1.0 404 Not Found",
                   "No such page", ""},
        TFixedCase{"ThroughAProxyTheAbsoluteFormIsServed",
                   "GET http://www.korvandel.test/kv_client/check_connection.html" + Head + "\r\n", "HTTP/1.0 200 OK",
                   "SUCCESS", ""}),
    [](const auto &Info) { return std::string(Info.param.Name); });

// As a web server drops a client that never finishes its request.
TEST_F(DemoServer, UnfinishedRequestIsClosedWithoutReply) {
  EXPECT_EQ(Fetch(Maker(), "GET /kv_client/check_connection.html HTTP/1.0\r\nAccept: www", true), "");
  EXPECT_EQ(Fetch(Maker(), "", true), "");
  EXPECT_NE(Get(Maker(), "/kv_client/check_connection.html").find("SUCCESS"), std::string::npos);
}

TEST_F(DemoServer, EveryRequestIsLoggedWithItsZeroByte) {
  Get(Maker(), "/kv_client/check_connection.html");
  Get(Server.Port("www.tolbrook.test"), "/search?q=LM317");
  const std::string Log = Server.Log();
  EXPECT_NE(Log.find("--- maker " + std::to_string(Maker()) + " "), std::string::npos) << Log;
  EXPECT_NE(Log.find("GET /kv_client/check_connection.html HTTP/1.0\r\nAccept: www/source"), std::string::npos);
  EXPECT_NE(Log.find("--- tolbrook "), std::string::npos);
  EXPECT_NE(Log.find("User-Agent: Tamblewick\r\n\r\n\\0"), std::string::npos);
}

// The log holds the logon's password and every Cookie header: only its owner
// may read it, whatever the umask the server starts under, and a log from an
// earlier run is narrowed to that and kept.
struct TLogModeCase {
  const char *Name;
  mode_t Umask;
  int EarlierMode;  // -1: no earlier log
};

void PrintTo(const TLogModeCase &C, std::ostream *Out) { *Out << C.Name; }

class LogMode : public ::testing::TestWithParam<TLogModeCase> {};

mode_t ModeOf(const std::string &Path) {
  struct stat St {};
  return stat(Path.c_str(), &St) == 0 ? St.st_mode & 07777 : 0;
}

TEST_P(LogMode, OnlyTheOwnerMayReadIt) {
  const TLogModeCase &C = GetParam();
  kvtest::TempDir Dir;
  const std::string Log = Dir / "requests.log";
  if (C.EarlierMode >= 0) {
    kvtest::WriteFile(Log, "earlier run\n");
    ASSERT_EQ(chmod(Log.c_str(), static_cast<mode_t>(C.EarlierMode)), 0);
  }
  const mode_t Old = umask(C.Umask);
  TDemoServer Server(Dir.Path());
  umask(Old);
  ASSERT_TRUE(Server.Started());
  EXPECT_EQ(ModeOf(Log), 0600u) << "once the server listens";
  const std::string Logon = LogonPath("DEMO1001", "parts4all");
  Get(Server.Port("maker"), Logon);
  EXPECT_EQ(ModeOf(Log), 0600u) << "after a logon";
  const std::string Written = Server.Log();
  EXPECT_EQ(Written.rfind(C.EarlierMode >= 0 ? "earlier run\n--- maker " : "--- maker ", 0), 0u) << Written;
  EXPECT_NE(Written.find(Logon), std::string::npos) << Written;
}

INSTANTIATE_TEST_SUITE_P(
    DemoServer, LogMode,
    ::testing::Values(TLogModeCase{"NewUnderUmask022", 022, -1}, TLogModeCase{"NewUnderUmask000", 0, -1},
                      TLogModeCase{"NewUnderUmask277", 0277, -1}, TLogModeCase{"Earlier0644", 022, 0644},
                      TLogModeCase{"Earlier0666", 0, 0666}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(DemoServer, HostsValueNamesEverySiteOnLoopback) {
  const std::string Expected = "www.korvandel.test=127.0.0.1:" + std::to_string(Maker()) +
                               ",www.tolbrook.test=127.0.0.1:" + std::to_string(Server.Port("tolbrook")) +
                               ",www.haller-elektronik.test=127.0.0.1:" + std::to_string(Server.Port("haller")) +
                               ",www.harborparts.test=127.0.0.1:" + std::to_string(Server.Port("harbor")) +
                               ",direct.korvandel.test=127.0.0.1:" + std::to_string(Server.Port("direct"));
  EXPECT_EQ(Server.Hosts(), Expected);
}

struct TShopCase {
  const char *Name;
  std::string Host, Cookie, SearchPath;
};

void PrintTo(const TShopCase &C, std::ostream *Out) { *Out << C.Name; }

class ShopSession : public DemoServer, public ::testing::WithParamInterface<TShopCase> {};

// A visitor without the shop's cookie gets one; one who sends it back keeps it.
TEST_P(ShopSession, CookieIsSetOnceAndKept) {
  const TShopCase &C = GetParam();
  const int Port = Server.Port(C.Host);
  const std::string First = Get(Port, C.SearchPath);
  ASSERT_EQ(First.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << First;
  const std::string Header = First.substr(0, First.find("\r\n\r\n") + 2);
  const std::string Value = GetTextBetween(Header, "Set-Cookie: " + C.Cookie + "=", ";");
  ASSERT_FALSE(Value.empty()) << Header;
  EXPECT_NE(Header.find("; path=/"), std::string::npos);
  const std::string Again = Get(Port, C.SearchPath, "Cookie: other=1; " + C.Cookie + "=" + Value + "\r\n");
  EXPECT_EQ(Again.substr(0, Again.find("\r\n\r\n")).find("Set-Cookie"), std::string::npos) << Again;
  // Another visitor gets another session.
  EXPECT_NE(GetTextBetween(Get(Port, C.SearchPath), "Set-Cookie: " + C.Cookie + "=", ";"), Value);
}

INSTANTIATE_TEST_SUITE_P(
    Shops, ShopSession,
    ::testing::Values(TShopCase{"Tolbrook", "www.tolbrook.test", "TBSESSION", "/search?q=BC547"},
                      TShopCase{"Haller", "www.haller-elektronik.test", "HALLERSID", "/suche?suchbegriff=BC547"},
                      TShopCase{"Harbor", "www.harborparts.test", "HPS_ID", "/cgi-bin/find?part=BC547"},
                      TShopCase{"Direct", "direct.korvandel.test", "KDSESS", "/api/search?q=BC547"}),
    [](const auto &Info) { return std::string(Info.param.Name); });

struct TShopPageCase {
  const char *Name;
  std::string Shop, Path;
  int Status;
  std::vector<std::string> Contains; // in the body
  std::vector<std::string> Lacks;    // not in the body
};

void PrintTo(const TShopPageCase &C, std::ostream *Out) {
  *Out << C.Name;
}

class ShopPages : public DemoServer, public ::testing::WithParamInterface<TShopPageCase> {};

// The parts of an offer that the search lists leave to a page of its own.
TEST_P(ShopPages, Answer) {
  const TShopPageCase &C = GetParam();
  const std::string Reply = Get(Server.Port(C.Shop), C.Path);
  EXPECT_EQ(Reply.substr(0, Reply.find("\r\n")),
            C.Status == 200 ? "HTTP/1.0 200 OK" : "HTTP/1.0 " + std::to_string(C.Status) + " Not Found");
  const std::string Body = BodyOf(Reply);
  for (const std::string &Text : C.Contains)
    EXPECT_NE(Body.find(Text), std::string::npos) << Text << "\n" << Body;
  for (const std::string &Text : C.Lacks)
    EXPECT_EQ(Body.find(Text), std::string::npos) << Text << "\n" << Body;
}

const std::string Pound = "\xA3";  // in Windows-1252

std::string BreakRow(const std::string &Quantity, const std::string &Price) {
  return "<tr><td class=\"qty\">" + Quantity + "+</td><td class=\"price\">" + Pound + Price +
         "</td></tr>\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Shops, ShopPages,
    ::testing::Values(
        // LM317MDT: breaks 1+ 0.44, 10+ 0.39, 100+ 0.33, 1000+ 0.28.
        TShopPageCase{"TolbrookListsTheFirstBreakAndLinksTheRest", "tolbrook", "/search?q=LM317MDT", 200,
                      {"<td class=\"price\">1+ " + Pound +
                       "0.44<br><a class=\"breaks\" href=\"/product/TB410014\">more prices</a></td>"},
                      {"0.39", "0.33", "0.28"}},
        TShopPageCase{"TolbrookSingleBreakHasNoLink", "tolbrook", "/search?q=LM317HVT", 200,
                      {"<td class=\"price\">1+ " + Pound + "1.92</td>"}, {"class=\"breaks\""}},
        TShopPageCase{"TolbrookItemPageHasEveryBreak", "tolbrook", "/product/TB410014", 200,
                      {"<h1 class=\"pn\">LM317MDT</h1>",
                       "<table class=\"breaks\" border=\"1\">\r\n"
                       "<tr><th>Quantity</th><th>Price each</th></tr>\r\n" +
                           BreakRow("1", "0.44") + BreakRow("10", "0.39") + BreakRow("100", "0.33") +
                           BreakRow("1000", "0.28") + "</table>"},
                      {}},
        TShopPageCase{"TolbrookUnknownItem", "tolbrook", "/product/TB999999", 404, {"No such item"},
                      {"<table"}},
        // KD-0003 LM317MDT: 150 in stock; KD-0002 LM317LZ: none.
        TShopPageCase{"DirectLeavesTheQuantityInStockToItsDocument", "direct", "/api/search?q=LM317MDT", 200,
                      {"<stock status=\"Y\" qty=\"\" href=\"/part/KD-0003/stock\"/>"}, {"150"}},
        TShopPageCase{"DirectListsOutOfStockAsBefore", "direct", "/api/search?q=LM317LZ", 200,
                      {"<stock status=\"N\" qty=\"0\"/>"}, {"href=\"/part/"}},
        TShopPageCase{"DirectStockDocument", "direct", "/part/KD-0003/stock", 200,
                      {"<number>LM317MDT</number>", "<stock status=\"Y\" qty=\"150\"/>"}, {}},
        TShopPageCase{"DirectStockDocumentOfAPartOutOfStock", "direct", "/part/KD-0002/stock", 200,
                      {"<stock status=\"N\" qty=\"0\"/>"}, {}},
        TShopPageCase{"DirectUnknownStockDocument", "direct", "/part/KD-9999/stock", 404, {"No such part"},
                      {"<stock"}},
        TShopPageCase{"DirectStockOfNoPart", "direct", "/part//stock", 404, {}, {"<stock"}},
        TShopPageCase{"DirectItemPageStays", "direct", "/part/KD-0003", 200, {"<h1>LM317MDT</h1>"},
                      {"<stock"}}),
    [](const auto &Info) { return std::string(Info.param.Name); });

// A shop's port passes a request for another demo host on, as a proxy would.
TEST_F(DemoServer, AbsoluteRequestGoesToItsHost) {
  const std::string Reply =
      Get(Server.Port("tolbrook"), "http://direct.korvandel.test/api/search?q=NE555P");
  EXPECT_NE(BodyOf(Reply).find("<number>NE555P</number>"), std::string::npos) << Reply;
}

// The update file the option names fails; the others and the shops' banners are served.
TEST(DemoServerOptions, UpdateFailNamesTheFailingFile) {
  kvtest::TempDir Dir;
  TDemoServer Server(Dir.Path(), {"--update-fail", "2"});
  ASSERT_TRUE(Server.Started());
  const struct {
    const char *Path;
    const char *Status;
  } Cases[] = {{"/kv_client/update/kvnotes.txt", "HTTP/1.0 200 OK"},
               {"/kv_client/update/kvsites.txt", "HTTP/1.0 500"},
               {"/kv_client/update/kvtips.txt", "HTTP/1.0 200 OK"}};
  for (const auto &C : Cases) {
    const std::string Reply = Get(Server.Port("maker"), C.Path);
    EXPECT_EQ(Reply.rfind(C.Status, 0), 0u) << C.Path << "\n" << Reply;
  }
  for (const char *Shop : {"tolbrook", "harbor"})
    EXPECT_EQ(BodyOf(Get(Server.Port(Shop), "/banner.gif")).substr(0, 6), "GIF89a") << Shop;
}

}  // namespace
}  // namespace demotest
