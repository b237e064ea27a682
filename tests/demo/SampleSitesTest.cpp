// The sample site libraries against the demo shops: each library, loaded by
// libprimary.so, builds its requests, reads the pages its shop serves and
// reports exactly the offers the catalogue holds for that shop, page after
// page; what a list leaves out, the library asks for as a follow-up of the
// offer's row and reports from that page.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "common/Common.h"
#include "tests/catalogue/PrimaryBinding.h"
#include "tests/demo/DemoFixture.h"

namespace demotest {
namespace {

namespace fs = std::filesystem;

struct TOfferSeen {
  std::string PartNumber, Manufacturer, Description, Quantity, Datasheet, Stock, Url;
  std::vector<std::string> Prices;
};

// A follow-up as the library asked for it; Row is the handle AddProduct gave.
struct TFollowUp {
  std::string URL;
  void *Row;
  int32_t PageState;
  bool operator==(const TFollowUp &) const = default;
};

void PrintTo(const TFollowUp &F, std::ostream *Out) {
  *Out << "{" << F.URL << ", row " << reinterpret_cast<uintptr_t>(F.Row) << ", state " << F.PageState << "}";
}

// What the callbacks saw, handed to the page procedure as its context.
struct TRun {
  std::vector<TOfferSeen> Offers;     // one per row, follow-ups merged in
  std::vector<TFollowUp> FollowUps;   // in the order asked
  std::vector<TOfferSeen> MoreOffers; // as reported on follow-up pages
  void *Row = nullptr;                // the row of the follow-up being read
  bool KeepEveryOther = false;        // the client drops every second offer
};

// The client's reading of the offer texts: decoded, then one field per tag.
std::string Field(const std::string &Text, const std::string &Name) {
  return GetTextBetween(Text, "<" + Name + ">", "</" + Name + ">");
}

TOfferSeen Read(const char *ProductText, const char *StockText, const char *PriceText,
                const char *ProductURL) {
  const std::string Product = ReplaceEnumeratedChars(ProductText);
  TOfferSeen O{Field(Product, "PN"), Field(Product, "MANF"), Field(Product, "DESC"), Field(Product, "QTY"),
               Field(Product, "DATASHEET"), StockText, ProductURL, {}};
  for (int N = 1; N <= 4; ++N)
    O.Prices.push_back(Field(PriceText, "PR" + std::to_string(N)));
  while (!O.Prices.empty() && O.Prices.back().empty())
    O.Prices.pop_back();
  return O;
}

// Rows are numbered from 1; a dropped offer gets none.
void *AddProduct(void *Context, const char *ProductText, const char *StockText, const char *PriceText,
                 const char *ProductURL, uint8_t *Stop) {
  *Stop = 0;
  auto &Run = *static_cast<TRun *>(Context);
  Run.Offers.push_back(Read(ProductText, StockText, PriceText, ProductURL));
  if (Run.KeepEveryOther && Run.Offers.size() % 2 == 0)
    return nullptr;
  return reinterpret_cast<void *>(static_cast<uintptr_t>(Run.Offers.size()));
}

void AddMoreInfo(const char *URL, void *Row, int32_t PageState, void *Context) {
  static_cast<TRun *>(Context)->FollowUps.push_back({URL, Row, PageState});
}

// As the client updates a row in place: only fields that are not empty.
void *AddMoreProduct(void *Context, const char *ProductText, const char *StockText, const char *PriceText,
                     const char *ProductURL, uint8_t *Stop) {
  *Stop = 0;
  auto &Run = *static_cast<TRun *>(Context);
  const TOfferSeen More = Read(ProductText, StockText, PriceText, ProductURL);
  Run.MoreOffers.push_back(More);
  const auto Index = reinterpret_cast<uintptr_t>(Run.Row);
  if (Index == 0 || Index > Run.Offers.size()) {
    ADD_FAILURE() << "a follow-up for no row";
    return Run.Row;
  }
  TOfferSeen &O = Run.Offers[Index - 1];
  for (auto [To, From] : {std::pair{&O.PartNumber, &More.PartNumber},
                          {&O.Manufacturer, &More.Manufacturer},
                          {&O.Description, &More.Description},
                          {&O.Quantity, &More.Quantity},
                          {&O.Datasheet, &More.Datasheet},
                          {&O.Stock, &More.Stock},
                          {&O.Url, &More.Url}})
    if (!From->empty())
      *To = *From;
  if (O.Prices.size() < More.Prices.size())
    O.Prices.resize(More.Prices.size());
  for (size_t I = 0; I < More.Prices.size(); ++I)
    if (!More.Prices[I].empty())
      O.Prices[I] = More.Prices[I];
  return Run.Row;
}

// Which offers a shop's list leaves incomplete, and the follow-up address.
enum class TFollowUpKind { None, Breaks, Stock };

struct TSiteCase {
  std::string Library, Shop, SiteName, Host, ItemPath;
  size_t PageSize;
  std::vector<std::string> Features;
};

const TSiteCase Sites[] = {
    {"Tolbrook", "tolbrook", "Tolbrook Components", "www.tolbrook.test", "/product/", 5, {"TOLBROOK"}},
    {"Haller", "haller", "Haller Elektronik", "www.haller-elektronik.test", "/artikel/", 4, {"HALLER"}},
    {"Harbor", "harbor", "Harbor Parts Supply", "www.harborparts.test", "/item/", 6, {"HARBOR"}},
    {"KorvandelDirect", "direct", "Korvandel Direct", "direct.korvandel.test", "/part/", 9, {"DIRECT"}},
};

TFollowUpKind FollowUps(const TSiteCase &S) {
  return S.Shop == "tolbrook" ? TFollowUpKind::Breaks
         : S.Shop == "direct" ? TFollowUpKind::Stock
                              : TFollowUpKind::None;
}

// The follow-up the library must ask for this catalogue row ("" for none).
std::string FollowUpURL(const TSiteCase &S, const TCatalogueRow &Row) {
  if (FollowUps(S) == TFollowUpKind::Breaks && Row.Prices.size() > 1)
    return "/product/" + Row.Sku;
  if (FollowUps(S) == TFollowUpKind::Stock && Row.Stock == "Y")
    return "/part/" + Row.Sku + "/stock";
  return "";
}

// Both libraries give their follow-up pages this state of their own.
constexpr int32_t FollowUpState = 2;

class SampleSites : public cattest::CatalogueTest {
protected:
  void SetUp() override {
    ASSERT_TRUE(Server.Started());
    CatalogueTest::SetUp();
    // The libraries find libTavrel.so one folder above their own.
    for (const TSiteCase &S : Sites)
      fs::copy_file(std::string(KV_BIN_DIR) + "/Lib/" + S.Library + ".TWL", LibPath(S.Library + ".TWL"));
    fs::copy_file(fs::canonical(std::string(KV_BIN_DIR) + "/libTavrel.so"), Env / "cwd/libTavrel.so.1");
    InitCatalogue();
    ASSERT_TRUE(cattest::Messages().empty()) << cattest::Messages()[0];
    ASSERT_EQ(P.GetNumberSites(), 4);
  }

  // Runs one search term on one site as the client's site socket does: the
  // request primary builds, the whole reply to the page procedure, and the
  // next page by its result. Returns the number of pages fetched.
  int Search(int32_t Site, const std::string &Term, TRun &Run) {
    const TProcessPageProc Proc = P.GetProcessPageProc(Site);
    EXPECT_NE(Proc, nullptr);
    if (!Proc)
      return 0;
    std::string Host;
    P.GetHostName(Host, Site);
    int32_t State = 1;
    std::string Request;
    P.GetStatement(Request, Site, Term, "", "", 0, "", "", State);
    int Pages = 0;
    while (!Request.empty() && Pages < 30) {
      const std::string Page = Fetch(Server.Port(Host), Request);
      Replies.push_back(Page);
      EXPECT_EQ(Page.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << Request << Page;
      ++Pages;
      char Next[TWL_REQUEST_BUFFER_SIZE];
      std::memset(Next, 0, sizeof Next);
      const int16_t R = Proc(State, Page.c_str(), Next, AddProduct, AddMoreInfo, &Run);
      const std::string NextText(Next, strnlen(Next, sizeof Next));
      Request.clear();
      if (R == TWL_PAGE_NEXT_URL)
        P.GetStatement(Request, Site, Term, "", NextText, 0, "", "", State);
      else if (R == TWL_PAGE_NEXT_POST)
        P.GetStatement(Request, Site, Term, NextText, "", 0, "", "", State);
      else
        EXPECT_EQ(R, TWL_PAGE_TERM_DONE);
    }
    P.FinishedWithSite(Site);
    return Pages;
  }

  // Fetches the follow-ups asked so far (and any they ask for) as the
  // client's second pool does, each with its own page state and the
  // follow-up product callback. Returns the number fetched.
  size_t FollowUp(int32_t Site, const std::string &Term, TRun &Run) {
    const TProcessPageProc Proc = P.GetProcessPageProc(Site);
    EXPECT_NE(Proc, nullptr);
    size_t Done = 0;
    for (; Proc && Done < Run.FollowUps.size() && Done < 100; ++Done) {
      const TFollowUp F = Run.FollowUps[Done];
      int32_t State = F.PageState;
      std::string Request;
      P.GetStatement(Request, Site, Term, "", F.URL, 0, "", "", State);
      const std::string Page = Fetch(Server.Port(Text(P.GetHostName, Site)), Request);
      EXPECT_EQ(Page.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << Request << Page;
      char Next[TWL_REQUEST_BUFFER_SIZE];
      std::memset(Next, 0, sizeof Next);
      Run.Row = F.Row;
      const int16_t R = Proc(State, Page.c_str(), Next, AddMoreProduct, AddMoreInfo, &Run);
      EXPECT_TRUE(R != TWL_PAGE_NEXT_URL && R != TWL_PAGE_NEXT_POST) << R;
      EXPECT_EQ(Next[0], '\0');
    }
    P.FinishedWithSite(Site);
    return Done;
  }

  kvtest::TempDir Dir;
  TDemoServer Server{Dir.Path()};
  std::vector<std::string> Replies;
};

TEST_F(SampleSites, DescribeThemselves) {
  struct TDescription {
    std::string Location, Currency, Language, URL;
  };
  const std::map<std::string, TDescription> Expected{
      {"Tolbrook Components", {"UK", "GBP British Pounds", "EN English", "http://www.tolbrook.test/"}},
      {"Haller Elektronik", {"CH", "CHF Swiss Francs", "DE German", "http://www.haller-elektronik.test/"}},
      {"Harbor Parts Supply", {"US", "USD American Dollars", "EN English", "http://www.harborparts.test/"}},
      {"Korvandel Direct", {"UK", "GBP British Pounds", "EN English", "http://direct.korvandel.test/"}},
  };
  for (const TSiteCase &S : Sites) {
    SCOPED_TRACE(S.Library);
    const int32_t Site = SiteNumber(S.SiteName);
    ASSERT_GE(Site, 0);
    const TDescription &D = Expected.at(S.SiteName);
    EXPECT_EQ(Text(P.GetSiteLocation, Site), D.Location);
    EXPECT_EQ(Text(P.GetSiteCurrency, Site), D.Currency);
    EXPECT_EQ(Text(P.GetSiteLanguage, Site), D.Language);
    EXPECT_EQ(Text(P.GetSiteURL, Site), D.URL);
    EXPECT_EQ(Text(P.GetHostName, Site), S.Host);
    EXPECT_TRUE(P.SiteHasCategory(Site, "Semiconductors"));
    // Two of the shops advertise with a banner of their own.
    EXPECT_EQ(P.SiteHasAdvert(Site), S.SiteName == "Tolbrook Components" || S.SiteName == "Harbor Parts Supply");
  }
}

// The features the demo logon replies grant are the ones the sites declare.
TEST_F(SampleSites, LogonFeaturesEnableTheirSites) {
  const struct {
    std::string Id, Password;
    std::vector<std::string> Enabled;
  } Customers[] = {
      {"DEMO1001", "parts4all", {"Tolbrook Components", "Haller Elektronik", "Harbor Parts Supply", "Korvandel Direct"}},
      {"TRIAL2002", "trial 2002&go", {"Tolbrook Components", "Korvandel Direct"}},
  };
  for (const auto &C : Customers) {
    SCOPED_TRACE(C.Id);
    const std::string Reply = Get(Server.Port("maker"), "/kv_client/kv_logon.2.035.asp?customer_id=" +
                                                            HTTPEncode(C.Id) + "&password=" + HTTPEncode(C.Password));
    kv::TStringList Features;
    std::string List = GetTextBetween(Reply, "<KvFeatures>", "</KvFeatures>") + "|";
    for (size_t Bar; (Bar = List.find('|')) != std::string::npos; List.erase(0, Bar + 1))
      Features.Add(List.substr(0, Bar));
    std::vector<std::string> Enabled;
    for (int32_t I = 0; I < P.GetNumberSites(); ++I)
      if (P.CanUseSite(I, &Features))
        Enabled.push_back(Text(P.GetSiteName, I));
    std::sort(Enabled.begin(), Enabled.end());
    std::vector<std::string> Wanted = C.Enabled;
    std::sort(Wanted.begin(), Wanted.end());
    EXPECT_EQ(Enabled, Wanted);
  }
}

struct TSearchCase {
  const char *Name;
  std::string Term;
  bool ByDescription;
  size_t AtLeast;  // offers each shop must have, so the case means something
};

void PrintTo(const TSiteCase &S, std::ostream *Out) { *Out << S.Library; }
void PrintTo(const TSearchCase &C, std::ostream *Out) { *Out << C.Name; }

class SampleSiteSearch : public SampleSites,
                         public ::testing::WithParamInterface<std::tuple<TSiteCase, TSearchCase>> {};

TEST_P(SampleSiteSearch, ReportsTheShopsCatalogue) {
  const auto &[S, C] = GetParam();
  const int32_t Site = SiteNumber(S.SiteName);
  ASSERT_GE(Site, 0);
  if (C.ByDescription)
    P.SetSearchType(srchDescription);

  std::vector<const TCatalogueRow *> Expected;
  const std::string Wanted = C.Term;
  for (const TCatalogueRow &Row : Catalogue()) {
    std::string Haystack = C.ByDescription ? Row.Description : Row.PartNumber;
    std::string Needle = Wanted;
    for (char &Ch : Haystack)
      Ch = static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
    for (char &Ch : Needle)
      Ch = static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
    if (Row.Shop == S.Shop && Haystack.find(Needle) != std::string::npos)
      Expected.push_back(&Row);
  }
  ASSERT_GE(Expected.size(), C.AtLeast);

  TRun Run;
  const int Pages = Search(Site, C.Term, Run);
  EXPECT_EQ(static_cast<size_t>(Pages),
            std::max<size_t>(1, (Expected.size() + S.PageSize - 1) / S.PageSize));
  ASSERT_EQ(Run.Offers.size(), Expected.size());

  // Exactly the incomplete offers ask for their page, each for its own row.
  std::vector<TFollowUp> Asked;
  for (size_t I = 0; I < Expected.size(); ++I)
    if (const std::string URL = FollowUpURL(S, *Expected[I]); !URL.empty())
      Asked.push_back({URL, reinterpret_cast<void *>(static_cast<uintptr_t>(I + 1)), FollowUpState});
  EXPECT_EQ(Run.FollowUps, Asked);
  const std::vector<TOfferSeen> Listed = Run.Offers;
  EXPECT_EQ(FollowUp(Site, C.Term, Run), Asked.size());
  ASSERT_EQ(Run.Offers.size(), Expected.size()) << "a follow-up page added an offer of its own";
  ASSERT_EQ(Run.MoreOffers.size(), Asked.size());
  // A follow-up reports only what the list lacked: empty fields leave the
  // row's values as they are.
  for (size_t K = 0; K < Asked.size(); ++K) {
    const TOfferSeen &More = Run.MoreOffers[K];
    const TCatalogueRow &Row = *Expected[reinterpret_cast<uintptr_t>(Asked[K].Row) - 1];
    SCOPED_TRACE(Asked[K].URL);
    EXPECT_EQ(More.PartNumber, Row.PartNumber);
    const bool Breaks = FollowUps(S) == TFollowUpKind::Breaks;
    EXPECT_EQ(More.Prices, Breaks ? Row.Prices : std::vector<std::string>{});
    EXPECT_EQ(More.Stock, Breaks ? "" : "Y");
    EXPECT_EQ(More.Quantity, Breaks ? "" : Row.Quantity);
    EXPECT_EQ(More.Manufacturer + More.Description + More.Datasheet + More.Url, "");
  }

  for (size_t I = 0; I < Run.Offers.size(); ++I) {
    const TOfferSeen &O = Run.Offers[I];
    const TCatalogueRow &Row = *Expected[I];
    SCOPED_TRACE(Row.Sku);
    // The list alone: the first break only, or no quantity in stock.
    if (FollowUps(S) == TFollowUpKind::Breaks) {
      EXPECT_EQ(Listed[I].Prices, std::vector<std::string>{Row.Prices.at(0)});
    } else if (FollowUps(S) == TFollowUpKind::Stock) {
      EXPECT_EQ(Listed[I].Quantity, Row.Stock == "Y" ? "" : Row.Quantity);
    }
    EXPECT_EQ(O.PartNumber, Row.PartNumber);
    EXPECT_EQ(O.Manufacturer, Row.Manufacturer);
    EXPECT_EQ(O.Description, Row.Description);
    EXPECT_EQ(O.Stock, Row.Stock);
    EXPECT_EQ(O.Quantity, Row.Quantity);
    EXPECT_EQ(O.Prices, Row.Prices);
    EXPECT_EQ(O.Datasheet, Row.Datasheet);
    EXPECT_EQ(O.Url, "http://" + S.Host + S.ItemPath + Row.Sku);
  }
  EXPECT_EQ(Text(P.GetSiteName, Site), S.SiteName);  // the supplier of every row
}

const TSearchCase Searches[] = {
    {"LM317", "LM317", false, 10},
    {"NE555", "NE555", false, 9},
    {"LowerCaseTerm", "ne555p", false, 1},
    {"ByDescription", "voltage regulator", true, 5},
    {"PricesInThousands", "XC7K325T", false, 0},
    {"NoMatches", "ZZ9PLURALZ", false, 0},
};

INSTANTIATE_TEST_SUITE_P(
    Demo, SampleSiteSearch, ::testing::Combine(::testing::ValuesIn(Sites), ::testing::ValuesIn(Searches)),
    [](const auto &Info) {
      return std::get<0>(Info.param).Library + "_" + std::get<1>(Info.param).Name;
    });

// Pages 2 and on carry the shop's session cookie once the client has stored it.
TEST_F(SampleSites, LaterRequestsCarryTheStoredCookie) {
  const int32_t Site = SiteNumber("Tolbrook Components");
  kvtest::WriteFile(Env / "windows/COOKIE.TXT",
                    "<NAME>TBSESSION</NAME><VALUE>abc123</VALUE><EXPIRES>/</EXPIRES><PATH>/</PATH>"
                    "<DOMAIN>www.tolbrook.test</DOMAIN><SECURE></SECURE>\r\n");
  TRun Run;
  ASSERT_EQ(Search(Site, "LM317", Run), 3);
  const std::string Log = Server.Log();
  EXPECT_NE(Log.find("Cookie: TBSESSION=abc123\r\n"), std::string::npos) << Log;
  // The shop knows the session and sets no new one.
  ASSERT_EQ(Replies.size(), 3u);
  for (const std::string &Reply : Replies)
    EXPECT_EQ(Reply.find("Set-Cookie"), std::string::npos);
}

// An offer the client dropped has no row to complete: no follow-up for it.
TEST_F(SampleSites, NoFollowUpForADroppedOffer) {
  for (const TSiteCase &S : {Sites[0], Sites[3]}) {
    SCOPED_TRACE(S.Library);
    const int32_t Site = SiteNumber(S.SiteName);
    TRun Run;
    Run.KeepEveryOther = true;
    Search(Site, "NE555", Run);
    std::vector<TFollowUp> Wanted;
    size_t Listed = 0;
    for (const TCatalogueRow &Row : Catalogue()) {
      if (Row.Shop != S.Shop || Row.PartNumber.find("NE555") == std::string::npos)
        continue;
      const uintptr_t Number = ++Listed;
      const std::string URL = FollowUpURL(S, Row);
      if (Number % 2 == 1 && !URL.empty())
        Wanted.push_back({URL, reinterpret_cast<void *>(Number), FollowUpState});
    }
    ASSERT_EQ(Run.Offers.size(), Listed);
    ASSERT_GE(Wanted.size(), 2u);
    EXPECT_EQ(Run.FollowUps, Wanted);
  }
}

struct TBadPageCase {
  const char *Name;
  std::string Library;
  std::string Page; // the whole reply, or a path to fetch from the shop
  size_t Reports;   // offers the page gives: 0 for one that cannot be read
};

void PrintTo(const TBadPageCase &C, std::ostream *Out) {
  *Out << C.Name;
}

class FollowUpPages : public SampleSites, public ::testing::WithParamInterface<TBadPageCase> {};

// A follow-up page that cannot be read reports nothing and ends the request.
TEST_P(FollowUpPages, ReadOrEnd) {
  const TBadPageCase &C = GetParam();
  const TSiteCase &S = C.Library == "Tolbrook" ? Sites[0] : Sites[3];
  const int32_t Site = SiteNumber(S.SiteName);
  const TProcessPageProc Proc = P.GetProcessPageProc(Site);
  ASSERT_NE(Proc, nullptr);
  const std::string Page =
      C.Page.rfind("/", 0) == 0 ? Fetch(Server.Port(S.Host), "GET " + C.Page + " HTTP/1.0\r\n\r\n") : C.Page;
  TRun Run;
  Run.Offers.resize(1);
  Run.Row = reinterpret_cast<void *>(uintptr_t{1});
  char Next[TWL_REQUEST_BUFFER_SIZE];
  std::memset(Next, 0, sizeof Next);
  const int16_t R = Proc(FollowUpState, Page.c_str(), Next, AddMoreProduct, AddMoreInfo, &Run);
  P.FinishedWithSite(Site);
  EXPECT_TRUE(R != TWL_PAGE_NEXT_URL && R != TWL_PAGE_NEXT_POST) << R;
  EXPECT_EQ(Next[0], '\0');
  EXPECT_EQ(Run.MoreOffers.size(), C.Reports) << Page;
  EXPECT_TRUE(Run.FollowUps.empty());
}

const std::string Pound = "\xA3"; // in Windows-1252
const std::string Ok = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
const std::string Breaks = "<table class=\"breaks\"><tr><td class=\"qty\">1+</td><td class=\"price\">";
const std::string XmlOk =
    "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<availability><number>NE555P</number>";

INSTANTIATE_TEST_SUITE_P(
    Demo, FollowUpPages,
    ::testing::Values(
        TBadPageCase{"TolbrookItemPage", "Tolbrook", "/product/TB410014", 1},
        TBadPageCase{"TolbrookUnknownItem", "Tolbrook", "/product/TB999999", 0},
        TBadPageCase{"TolbrookNothingReceived", "Tolbrook", "", 0},
        TBadPageCase{"TolbrookHeaderOnly", "Tolbrook", Ok, 0},
        TBadPageCase{"TolbrookAnotherPage", "Tolbrook", Ok + "<html><p>Down for maintenance</p></html>", 0},
        TBadPageCase{"TolbrookBreaksWithoutPrices", "Tolbrook", Ok + Breaks + "on request</td></tr></table>",
                     0},
        TBadPageCase{"TolbrookErrorReplyWithBreaks", "Tolbrook",
                     "HTTP/1.0 500 Internal Server Error\r\n\r\n" + Breaks + Pound + "0.40</td></tr></table>",
                     0},
        TBadPageCase{"DirectStockDocument", "KorvandelDirect", "/part/KD-0014/stock", 1},
        TBadPageCase{"DirectStockOutOfStock", "KorvandelDirect", XmlOk + "<stock status=\"N\" qty=\"0\"/>",
                     1},
        TBadPageCase{"DirectUnknownPart", "KorvandelDirect", "/part/KD-9999/stock", 0},
        TBadPageCase{"DirectNothingReceived", "KorvandelDirect", "", 0},
        TBadPageCase{"DirectNoStockElement", "KorvandelDirect", XmlOk + "</availability>", 0},
        TBadPageCase{"DirectInStockWithoutQuantity", "KorvandelDirect",
                     XmlOk + "<stock status=\"Y\" qty=\"\"/>", 0},
        TBadPageCase{"DirectQuantityNotANumber", "KorvandelDirect",
                     XmlOk + "<stock status=\"Y\" qty=\"lots\"/>", 0},
        TBadPageCase{"DirectUnknownStockWord", "KorvandelDirect",
                     XmlOk + "<stock status=\"MAYBE\" qty=\"5\"/>", 0},
        TBadPageCase{"DirectErrorReply", "KorvandelDirect",
                     "HTTP/1.0 503 Service Unavailable\r\n\r\n<stock status=\"Y\" qty=\"5\"/>", 0}),
    [](const auto &Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace demotest
