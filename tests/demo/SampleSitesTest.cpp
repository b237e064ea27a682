// The sample site libraries against the demo shops: each library, loaded by
// libprimary.so, builds its requests, reads the pages its shop serves and
// reports exactly the offers the catalogue holds for that shop, page after
// page.
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

// The client's reading of the offer texts: decoded, then one field per tag.
std::string Field(const std::string &Text, const std::string &Name) {
  return GetTextBetween(Text, "<" + Name + ">", "</" + Name + ">");
}

void *AddProduct(void *Context, const char *ProductText, const char *StockText, const char *PriceText,
                 const char *ProductURL, uint8_t *Stop) {
  *Stop = 0;
  const std::string Product = ReplaceEnumeratedChars(ProductText);
  TOfferSeen O{Field(Product, "PN"), Field(Product, "MANF"), Field(Product, "DESC"), Field(Product, "QTY"),
               Field(Product, "DATASHEET"), StockText, ProductURL, {}};
  for (int N = 1; N <= 4; ++N) {
    const std::string Price = Field(PriceText, "PR" + std::to_string(N));
    if (!Price.empty())
      O.Prices.push_back(Price);
  }
  static_cast<std::vector<TOfferSeen> *>(Context)->push_back(O);
  return nullptr;
}

void AddMoreInfo(const char *, void *, int32_t, void *) { ADD_FAILURE() << "no sample site asks for follow-ups"; }

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

  int32_t SiteNumber(const std::string &Name) {
    for (int32_t I = 0; I < P.GetNumberSites(); ++I)
      if (Text(P.GetSiteName, I) == Name)
        return I;
    return -1;
  }

  // Runs one search term on one site as the client's site socket does: the
  // request primary builds, the whole reply to the page procedure, and the
  // next page by its result. Returns the number of pages fetched.
  int Search(int32_t Site, const std::string &Term, std::vector<TOfferSeen> &Offers) {
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
      const int16_t R = Proc(State, Page.c_str(), Next, AddProduct, AddMoreInfo, &Offers);
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
    EXPECT_FALSE(P.SiteHasAdvert(Site));
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

  std::vector<TOfferSeen> Offers;
  const int Pages = Search(Site, C.Term, Offers);
  EXPECT_EQ(static_cast<size_t>(Pages),
            std::max<size_t>(1, (Expected.size() + S.PageSize - 1) / S.PageSize));
  ASSERT_EQ(Offers.size(), Expected.size());
  for (size_t I = 0; I < Offers.size(); ++I) {
    const TOfferSeen &O = Offers[I];
    const TCatalogueRow &Row = *Expected[I];
    SCOPED_TRACE(Row.Sku);
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
  std::vector<TOfferSeen> Offers;
  ASSERT_EQ(Search(Site, "LM317", Offers), 3);
  const std::string Log = Server.Log();
  EXPECT_NE(Log.find("Cookie: TBSESSION=abc123\r\n"), std::string::npos) << Log;
  // The shop knows the session and sets no new one.
  ASSERT_EQ(Replies.size(), 3u);
  for (const std::string &Reply : Replies)
    EXPECT_EQ(Reply.find("Set-Cookie"), std::string::npos);
}

}  // namespace
}  // namespace demotest
