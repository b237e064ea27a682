// The numbered demo shops: their pages, their stock pages, the delay and the
// misbehaving modes seen from a raw socket, and their site library loaded by
// libprimary.so reading those pages.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "common/Common.h"
#include "demo/Sites.h"
#include "tests/support/Poll.h"
#include "tests/catalogue/PrimaryBinding.h"
#include "tests/demo/DemoFixture.h"
#include "tests/support/DemoShops.h"

namespace demotest {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string GetRequest(const std::string &Path) { return "GET " + Path + " HTTP/1.0\r\nAccept: text/html\r\n\r\n"; }

// A blocking loopback connection; -1 with errno set when connect fails.
int Connect(int Port) {
  const int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  A.sin_port = htons(static_cast<uint16_t>(Port));
  if (connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0) {
    const int E = errno;
    close(Fd);
    errno = E;
    return -1;
  }
  return Fd;
}

struct TRead {
  std::string Data;
  int Error = 0;     // errno of a failed recv, 0 at a clean end or a time-out
  bool Ended = false;  // the peer closed or reset
};

// Reads until the peer ends the connection, nothing came for QuietMs or
// ForMs have passed.
TRead ReadAll(int Fd, int QuietMs = 20000, int ForMs = 120000) {
  TRead R;
  char Buffer[65536];
  pollfd P{Fd, POLLIN, 0};
  const auto Until = Clock::now() + std::chrono::milliseconds(ForMs);
  while (Clock::now() < Until && poll(&P, 1, QuietMs) > 0) {
    const ssize_t N = recv(Fd, Buffer, sizeof Buffer, 0);
    if (N < 0)
      R.Error = errno;
    if (N <= 0) {
      R.Ended = true;
      break;
    }
    R.Data.append(Buffer, static_cast<size_t>(N));
  }
  return R;
}

std::string Header(const std::string &Reply, const std::string &Name) {
  return GetTextBetween(Reply, "\r\n" + Name + ": ", "\r\n");
}

std::string ItemLine(const kvdemo::TOffer &O, bool FollowUps) {
  std::string Prices;
  for (const kvdemo::TPriceBreak &B : O.Breaks)
    Prices += (Prices.empty() ? "" : ";") + B.Quantity + ":" + B.Price;
  return "item " + O.Sku + "|" + O.PartNumber + "|" + O.Manufacturer + "|" + O.Description + "|" +
         (FollowUps ? "" : O.Stock) + "|" + (FollowUps ? "" : O.Quantity) + "|" + Prices + "|" + O.Datasheet;
}

// The made-up offers, checked field by field against values worked out by
// hand, so that tests predicting rows from NumberedOffer rest on something.
TEST(NumberedOffers, FollowTheirRules) {
  struct TCase {
    int Shop;
    std::string Term;
    int Index;
    std::string Sku, PartNumber, Manufacturer, Description, Stock, Quantity, Prices, Datasheet;
  };
  const TCase Cases[] = {
      {2, "lm317", 1, "02-LM317-0001", "LM317-02-0001", "Arden Semiconductor", "Demo part 1 of shop 02 for lm317", "Y",
       "380", "1:0.47", "http://shop02.demo.test/ds/02-LM317-0001.pdf"},
      {2, "lm317", 4, "02-LM317-0004", "LM317-02-0004", "Dunmore Passives", "Demo part 4 of shop 02 for lm317", "Y",
       "1490", "1:0.86;10:0.78;100:0.69;1000:0.61", "http://shop02.demo.test/ds/02-LM317-0004.pdf"},
      {2, "lm317", 5, "02-LM317-0005", "LM317-02-0005", "Elstree Opto", "Demo part 5 of shop 02 for lm317", "N", "0",
       "1:0.99", "http://shop02.demo.test/ds/02-LM317-0005.pdf"},
      {2, "lm317", 10, "02-LM317-0010", "LM317-02-0010", "Elstree Opto", "Demo part 10 of shop 02 for lm317", "CALL",
       "", "1:1.64;10:1.48", "http://shop02.demo.test/ds/02-LM317-0010.pdf"},
      {2, "lm317", 12, "02-LM317-0012", "LM317-02-0012", "Belmont Devices", "Demo part 12 of shop 02 for lm317", "Y",
       "4450", "1:1.90;10:1.71;100:1.52;1000:1.33", ""},
      // Bars and line breaks of a term would split the lines; the sku keeps
      // letters and digits only.
      {31, "a|b\tc-d", 3, "31-ABCD-0003", "A B C-D-31-0003", "Corvex Micro", "Demo part 3 of shop 31 for a b c-d", "Y",
       "1120", "1:2.76;10:2.49;100:2.21", "http://shop31.demo.test/ds/31-ABCD-0003.pdf"},
      {7, "x", 12345, "07-X-12345", "X-07-12345", "Elstree Opto", "Demo part 12345 of shop 07 for x", "N", "0",
       "1:2.34", "http://shop07.demo.test/ds/07-X-12345.pdf"},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Sku);
    const kvdemo::TOffer O = kvdemo::NumberedOffer(C.Shop, C.Term, C.Index);
    std::string Prices;
    for (const kvdemo::TPriceBreak &B : O.Breaks)
      Prices += (Prices.empty() ? "" : ";") + B.Quantity + ":" + B.Price;
    EXPECT_EQ(O.Sku, C.Sku);
    EXPECT_EQ(O.PartNumber, C.PartNumber);
    EXPECT_EQ(O.Manufacturer, C.Manufacturer);
    EXPECT_EQ(O.Description, C.Description);
    EXPECT_EQ(O.Stock, C.Stock);
    EXPECT_EQ(O.Quantity, C.Quantity);
    EXPECT_EQ(Prices, C.Prices);
    EXPECT_EQ(O.Datasheet, C.Datasheet);
  }
}

class NumberedShops : public ::testing::Test {
protected:
  void Start(const std::vector<std::string> &Args) {
    Server = std::make_unique<TDemoServer>(Dir.Path(), Args);
    ASSERT_TRUE(Server->Started());
  }
  kvtest::TempDir Dir;
  std::unique_ptr<TDemoServer> Server;
};

TEST_F(NumberedShops, ListedAfterTheNamedShops) {
  ASSERT_NO_FATAL_FAILURE(Start({"--shops", "12"}));
  const std::string Hosts = Server->Hosts();
  EXPECT_LT(Hosts.find("direct.korvandel.test="), Hosts.find("shop01.demo.test="));
  EXPECT_NE(Hosts.find(",shop12.demo.test=127.0.0.1:" + std::to_string(Server->Port("shop12"))), std::string::npos);
  EXPECT_EQ(Server->Port("shop13"), -1);
  EXPECT_EQ(Server->Port("shop03"), Server->Port("shop03.demo.test"));
  EXPECT_GT(Server->Port("shop03"), 0);
}

TEST_F(NumberedShops, ServeTheirPages) {
  ASSERT_NO_FATAL_FAILURE(Start({"--shops", "2", "--shop-pages", "3", "--shop-offers", "4"}));
  struct TCase {
    const char *Name, *Path;
    std::string Term;
    int Page, Pages, First, Last;
    const char *Next;
  };
  const TCase Cases[] = {
      {"FirstPage", "/find?q=lm317&by=pn&page=1", "lm317", 1, 3, 1, 4, "/find?q=lm317&by=pn&page=2"},
      {"MiddlePage", "/find?q=lm317&by=pn&page=2", "lm317", 2, 3, 5, 8, "/find?q=lm317&by=pn&page=3"},
      {"LastPage", "/find?q=lm317&by=pn&page=3", "lm317", 3, 3, 9, 12, nullptr},
      {"PastTheEnd", "/find?q=lm317&by=pn&page=4", "lm317", 4, 3, 0, -1, nullptr},
      {"NoPageNumber", "/find?q=NE555&by=pn", "NE555", 1, 3, 1, 4, "/find?q=NE555&by=pn&page=2"},
      {"ByDescription", "/find?q=voltage+reg&by=desc&page=1", "voltage reg", 1, 3, 1, 4,
       "/find?q=voltage%20reg&by=desc&page=2"},
      {"BlankTerm", "/find?q=+&by=pn&page=1", "", 1, 0, 0, -1, nullptr},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string Reply = Get(Server->Port("shop02"), C.Path);
    ASSERT_EQ(Reply.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << Reply;
    EXPECT_EQ(Header(Reply, "Content-Type"), "text/plain; charset=windows-1252");
    EXPECT_EQ(Header(Reply, "Connection"), "close");
    EXPECT_EQ(Header(Reply, "Content-Length"), std::to_string(BodyOf(Reply).size()));
    std::string Expected = "KVDEMO-SHOP 1\r\nshop shop02 page " + std::to_string(C.Page) + " of " +
                           std::to_string(C.Pages) + "\r\n";
    for (int I = C.First; I <= C.Last; ++I)
      Expected += ItemLine(kvdemo::NumberedOffer(2, C.Term, I), false) + "\r\n";
    if (C.Next)
      Expected += std::string("next ") + C.Next + "\r\n";
    EXPECT_EQ(BodyOf(Reply), Expected + "end\r\n");
  }
  // The same term in another shop is that shop's own offers.
  EXPECT_NE(BodyOf(Get(Server->Port("shop01"), "/find?q=lm317&by=pn&page=1"))
                .find("item 01-LM317-0001|LM317-01-0001|"),
            std::string::npos);
}

TEST_F(NumberedShops, FollowUpsLeaveTheStockToItsOwnPage) {
  ASSERT_NO_FATAL_FAILURE(Start({"--shops", "2", "--shop-pages", "2", "--shop-offers", "3", "--follow-ups"}));
  const int Port = Server->Port("shop02");
  std::string Expected = "KVDEMO-SHOP 1\r\nshop shop02 page 2 of 2\r\n";
  for (int I = 4; I <= 6; ++I) {
    const kvdemo::TOffer O = kvdemo::NumberedOffer(2, "LM317", I);
    Expected += ItemLine(O, true) + "\r\nmore /stock/" + O.Sku + "\r\n";
  }
  EXPECT_EQ(BodyOf(Get(Port, "/find?q=LM317&by=pn&page=2")), Expected + "end\r\n");

  struct TStock {
    const char *Sku;
    int Status;
    const char *Line;
  };
  const TStock Stocks[] = {
      {"02-LM317-0003", 200, "stock 02-LM317-0003|Y|1120"},
      {"02-LM317-0005", 200, "stock 02-LM317-0005|N|0"},
      {"02-X-0006", 200, "stock 02-X-0006|Y|2230"},
      {"02-LM317-0007", 404, nullptr},  // past the shop's offers
      {"02-LM317-0000", 404, nullptr},
      {"01-LM317-0001", 404, nullptr},  // another shop's
      {"02-LM317-01", 404, nullptr},
      {"02-lm317-0001", 404, nullptr},
      {"nothing", 404, nullptr},
  };
  for (const TStock &S : Stocks) {
    SCOPED_TRACE(S.Sku);
    const std::string Reply = Get(Port, std::string("/stock/") + S.Sku);
    ASSERT_EQ(Reply.rfind("HTTP/1.0 " + std::to_string(S.Status) + " ", 0), 0u) << Reply;
    if (S.Line) {
      EXPECT_EQ(BodyOf(Reply), std::string("KVDEMO-SHOP 1\r\n") + S.Line + "\r\nend\r\n");
    }
  }
}

TEST_F(NumberedShops, DelayHoldsEveryShopReply) {
  ASSERT_NO_FATAL_FAILURE(Start({"--shops", "1", "--delay", "400"}));
  for (const char *Shop : {"shop01", "tolbrook"}) {
    SCOPED_TRACE(Shop);
    const auto Before = Clock::now();
    const std::string Reply = Get(Server->Port(Shop), "/find?q=LM317&by=pn&page=1");
    EXPECT_GE(Clock::now() - Before, std::chrono::milliseconds(400));
    EXPECT_EQ(Reply.rfind("HTTP/1.0 ", 0), 0u);
  }
}

class MisbehavingShops : public NumberedShops {
protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Start({"--shops", "7", "--trickle-ms", "200", "--misbehave", "shop01=silent",
                                   "--misbehave", "shop02=trickle", "--misbehave", "shop03=reset", "--misbehave",
                                   "shop04=refuse", "--misbehave", "shop05=huge", "--misbehave", "shop06=garbage"}));
  }
  // Connects to Shop and sends a search request.
  int Ask(const std::string &Shop) {
    const int Fd = Connect(Server->Port(Shop));
    EXPECT_GE(Fd, 0) << Shop << ": " << std::strerror(errno);
    if (Fd >= 0) {
      const std::string Request = GetRequest("/find?q=LM317&by=pn&page=1") + std::string(1, '\0');
      send(Fd, Request.data(), Request.size(), MSG_NOSIGNAL);
    }
    return Fd;
  }
  void ExpectNormal(const std::string &Shop) {
    const std::string Body = BodyOf(Get(Server->Port(Shop), "/find?q=LM317&by=pn&page=1"));
    EXPECT_EQ(Body.rfind("KVDEMO-SHOP 1\r\nshop " + Shop + " page 1 of 3\r\n", 0), 0u) << Body;
  }
};

TEST_F(MisbehavingShops, SilentKeepsTheConnectionWithoutAWordAndTheOthersAnswer) {
  const int Fd = Ask("shop01");
  ASSERT_GE(Fd, 0);
  pollfd P{Fd, POLLIN, 0};
  EXPECT_EQ(poll(&P, 1, 1500), 0);  // neither a byte nor the end
  ExpectNormal("shop07");
  EXPECT_NE(BodyOf(Get(Server->Port("tolbrook"), "/")).find("Tolbrook Components"), std::string::npos);
  EXPECT_EQ(Get(Server->Port("maker"), "/").rfind("HTTP/1.0 ", 0), 0u);
  char Byte;
  EXPECT_EQ(recv(Fd, &Byte, 1, MSG_DONTWAIT), -1);
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_NE(Server->Log().find("--- shop01 "), std::string::npos);
  close(Fd);
}

TEST_F(MisbehavingShops, TrickleSendsAByteAtATime) {
  const auto Start = Clock::now();
  const int Fd = Ask("shop02");
  ASSERT_GE(Fd, 0);
  const TRead R = ReadAll(Fd, 1500, 1500);
  const auto Ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Start).count();
  EXPECT_FALSE(R.Ended);
  ASSERT_FALSE(R.Data.empty());
  // One byte at once, then one per 200 ms at most.
  EXPECT_LE(R.Data.size(), static_cast<size_t>(Ms / 200 + 2)) << Ms << " ms";
  EXPECT_EQ(std::string("HTTP/1.0 200 OK").rfind(R.Data, 0), 0u) << R.Data;
  ExpectNormal("shop07");
  close(Fd);
}

TEST_F(MisbehavingShops, ResetEndsHalfWay) {
  const int Fd = Ask("shop03");
  ASSERT_GE(Fd, 0);
  const TRead R = ReadAll(Fd);
  close(Fd);
  EXPECT_TRUE(R.Ended);
  EXPECT_EQ(R.Error, ECONNRESET);
  ASSERT_EQ(R.Data.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << R.Data;
  const size_t Length = std::stoul(Header(R.Data, "Content-Length"));
  const size_t Whole = R.Data.find("\r\n\r\n") + 4 + Length;
  EXPECT_LT(R.Data.size(), Whole);
  EXPECT_GE(R.Data.size(), Whole / 2 - 1);
}

TEST_F(MisbehavingShops, RefuseRefusesItsListedPort) {
  ASSERT_GT(Server->Port("shop04"), 0);
  for (int Try = 0; Try < 2; ++Try) {
    EXPECT_EQ(Connect(Server->Port("shop04")), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
  }
  ExpectNormal("shop07");
}

TEST_F(MisbehavingShops, HugeCarriesFillerBeforeTheEnd) {
  const int Fd = Ask("shop05");
  ASSERT_GE(Fd, 0);
  const TRead R = ReadAll(Fd);
  close(Fd);
  const std::string Body = BodyOf(R.Data);
  EXPECT_GT(Body.size(), 5u << 20);
  EXPECT_EQ(Header(R.Data, "Content-Length"), std::to_string(Body.size()));
  EXPECT_EQ(Body.rfind("KVDEMO-SHOP 1\r\nshop shop05 page 1 of 3\r\nitem ", 0), 0u);
  ASSERT_GE(Body.size(), 5u);
  EXPECT_EQ(Body.substr(Body.size() - 5), "end\r\n");
  EXPECT_NE(Body.find("next /find?q=LM317&by=pn&page=2\r\nx "), std::string::npos);
}

TEST_F(MisbehavingShops, GarbageHasNoReplyHeader) {
  const int Fd = Ask("shop06");
  ASSERT_GE(Fd, 0);
  const TRead R = ReadAll(Fd);
  close(Fd);
  EXPECT_TRUE(R.Ended);
  EXPECT_GE(R.Data.size(), 1024u);
  EXPECT_NE(R.Data.rfind("HTTP/", 0), 0u);
  EXPECT_EQ(R.Data.find("KVDEMO-SHOP"), std::string::npos);
  EXPECT_NE(R.Data.find('\0'), std::string::npos);
  EXPECT_NE(R.Data.find('\xFF'), std::string::npos);
}

// Stopping the server ends connections that would otherwise stay open.
TEST_F(MisbehavingShops, StopClosesSilentAndTrickleConnections) {
  const int Silent = Ask("shop01"), Trickle = Ask("shop02");
  ASSERT_GE(Silent, 0);
  ASSERT_GE(Trickle, 0);
  // Both requests read, so both connections are past their request.
  ASSERT_TRUE(kvtest::PollUntil([&] {
    const std::string Log = Server->Log();
    return Log.find("--- shop01 ") != std::string::npos && Log.find("--- shop02 ") != std::string::npos;
  })) << Server->Log();
  Server.reset();
  for (const int Fd : {Silent, Trickle}) {
    const TRead R = ReadAll(Fd, 20000, 20000);
    EXPECT_TRUE(R.Ended);
    close(Fd);
  }
}

TEST(NumberedShopsOptions, BadValuesAreRefused) {
  kvtest::TempDir Dir;
  const std::vector<std::vector<std::string>> Bad = {
      {"--shops", "100"}, {"--shops", "-1"},          {"--shop-pages", "0"},          {"--shop-offers", "1001"},
      {"--delay", "60001"}, {"--misbehave", "shop01=silent"},  // no shop01 without --shops
      {"--shops", "2", "--misbehave", "shop02=loud"},  {"--shops", "2", "--misbehave", "shop02"},
  };
  for (const auto &Args : Bad) {
    SCOPED_TRACE(Args[0] + " " + Args[1]);
    std::string Command = std::string(KV_DEMO_SERVER) + " --ports-file " + Dir.Path() + "/ports.txt";
    for (const std::string &A : Args)
      Command += " '" + A + "'";
    const int Status = std::system((Command + " >/dev/null 2>&1").c_str());
    ASSERT_TRUE(WIFEXITED(Status));
    EXPECT_EQ(WEXITSTATUS(Status), 2);
    EXPECT_FALSE(kvtest::FileExists(Dir.Path() + "/ports.txt"));
  }
}

// ---- the site library, as libprimary.so binds it ----

struct TSeen {
  std::string Product, PartNumber, Manufacturer, Description, Quantity, Datasheet, Stock, Prices, Url;
};

std::string Field(const std::string &Text, const std::string &Name) {
  return GetTextBetween(Text, "<" + Name + ">", "</" + Name + ">");
}

struct TPageRun {
  std::vector<TSeen> Offers;
  std::vector<std::tuple<std::string, void *, int32_t>> MoreInfo;
  bool RowsReturned = true;
  size_t StopAfter = 0;  // asks to stop at this offer (from 1); 0: never
  int Rows[64];
};

void *AddProduct(void *Context, const char *ProductText, const char *StockText, const char *PriceText,
                 const char *ProductURL, uint8_t *Stop) {
  auto &Run = *static_cast<TPageRun *>(Context);
  const std::string Product = ReplaceEnumeratedChars(ProductText);
  Run.Offers.push_back({ProductText, Field(Product, "PN"), Field(Product, "MANF"), Field(Product, "DESC"),
                        Field(Product, "QTY"), Field(Product, "DATASHEET"), StockText, PriceText, ProductURL});
  *Stop = Run.Offers.size() == Run.StopAfter;
  return Run.RowsReturned && Run.Offers.size() <= 64 ? &Run.Rows[Run.Offers.size() - 1] : nullptr;
}

void AddMoreInfo(const char *URL, void *Row, int32_t PageState, void *Context) {
  static_cast<TPageRun *>(Context)->MoreInfo.emplace_back(URL, Row, PageState);
}

std::string Breaks(const kvdemo::TOffer &O) {
  std::string Out;
  for (size_t I = 0; I < O.Breaks.size(); ++I)
    Out += "<PR" + std::to_string(I + 1) + ">" + O.Breaks[I].Price + "</PR" + std::to_string(I + 1) + ">";
  return Out;
}

class DemoShopLibrary : public cattest::CatalogueTest {
protected:
  void SetUp() override {
    CatalogueTest::SetUp();
    kvtest::InstallDemoShops(Env / "cwd", 2);
    const fs::path Build = fs::path(KV_BIN_DIR) / "Lib/DemoShop.TWL";
    fs::copy_file(Build, LibPath("shop07.twl"));
    fs::copy_file(Build, LibPath("DemoShop.TWL"));
    InitCatalogue();
    ASSERT_TRUE(cattest::Messages().empty()) << cattest::Messages()[0];
    ASSERT_EQ(P.GetNumberSites(), 4);
  }

  void StartServer(const std::vector<std::string> &Args) {
    Server = std::make_unique<TDemoServer>(Dir.Path(), Args);
    ASSERT_TRUE(Server->Started());
  }

  // Builds the request through primary, fetches it from the shop and hands
  // the reply to the page procedure; the next request is left in Request.
  int16_t Page(int32_t Site, const std::string &Term, int32_t &State, std::string &Request, TPageRun &Run,
               const std::string &Shop) {
    const TProcessPageProc Proc = P.GetProcessPageProc(Site);
    EXPECT_NE(Proc, nullptr);
    const std::string Reply = Fetch(Server->Port(Shop), Request);
    char Next[TWL_REQUEST_BUFFER_SIZE];
    std::memset(Next, 0, sizeof Next);
    const int16_t R = Proc ? Proc(State, Reply.c_str(), Next, AddProduct, AddMoreInfo, &Run) : -1;
    Request.clear();
    if (R == TWL_PAGE_NEXT_URL)
      P.GetStatement(Request, Site, Term, "", std::string(Next, strnlen(Next, sizeof Next)), 0, "", "", State);
    P.FinishedWithSite(Site);
    return R;
  }

  kvtest::TempDir Dir;
  std::unique_ptr<TDemoServer> Server;
};

TEST_F(DemoShopLibrary, TakesItsIdentityFromItsFileName) {
  const struct {
    const char *File, *Name, *Host;
  } Cases[] = {
      {"Shop01.TWL", "Demo Shop 01", "shop01.demo.test"},
      {"Shop02.TWL", "Demo Shop 02", "shop02.demo.test"},
      {"shop07.twl", "Demo Shop 07", "shop07.demo.test"},
      {"DemoShop.TWL", "Demo Shop 00", "shop00.demo.test"},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.File);
    const int32_t Site = SiteNumber(C.Name);
    ASSERT_GE(Site, 0);
    EXPECT_EQ(Text(P.GetLibraryName, Site), std::string("LIB\\") + C.File);
    EXPECT_EQ(Text(P.GetHostName, Site), C.Host);
    EXPECT_EQ(Text(P.GetSiteURL, Site), std::string("http://") + C.Host + "/");
    EXPECT_EQ(Text(P.GetSiteLocation, Site), "UK");
    EXPECT_EQ(Text(P.GetSiteCurrency, Site), "GBP British Pounds");
    EXPECT_EQ(Text(P.GetSiteLanguage, Site), "EN English");
    EXPECT_TRUE(P.SiteHasFeature(Site, "DEMOSHOP"));
    EXPECT_TRUE(P.SiteHasCategory(Site, "Semiconductors"));
    EXPECT_TRUE(P.IsSiteCertified(Site));
    EXPECT_FALSE(P.SiteHasAdvert(Site));
  }
}

TEST_F(DemoShopLibrary, ReadsEveryPageOfItsShop) {
  ASSERT_NO_FATAL_FAILURE(StartServer({"--shops", "2", "--shop-pages", "2", "--shop-offers", "3"}));
  for (const bool ByDescription : {false, true}) {
    SCOPED_TRACE(ByDescription ? "description" : "part number");
    P.SetSearchType(ByDescription ? srchDescription : srchPartNo);
    const int32_t Site = SiteNumber("Demo Shop 02");
    ASSERT_GE(Site, 0);
    int32_t State = 1;
    std::string Request;
    P.GetStatement(Request, Site, "lm317", "", "", 0, "", "", State);
    EXPECT_EQ(Request.rfind(std::string("GET /find?q=lm%33%31%37&by=") + (ByDescription ? "desc" : "pn") +
                                "&page=1 HTTP/1.0\r\n",
                            0),
              0u)
        << Request;
    TPageRun Run;
    EXPECT_EQ(Page(Site, "lm317", State, Request, Run, "shop02"), TWL_PAGE_NEXT_URL);
    EXPECT_EQ(Request.rfind(std::string("GET /find?q=lm317&by=") + (ByDescription ? "desc" : "pn") +
                                "&page=2 HTTP/1.0\r\n",
                            0),
              0u)
        << Request;
    EXPECT_EQ(Page(Site, "lm317", State, Request, Run, "shop02"), TWL_PAGE_TERM_DONE);
    EXPECT_TRUE(Request.empty());
    EXPECT_TRUE(Run.MoreInfo.empty());
    ASSERT_EQ(Run.Offers.size(), 6u);
    for (int I = 1; I <= 6; ++I) {
      const kvdemo::TOffer O = kvdemo::NumberedOffer(2, "lm317", I);
      const TSeen &S = Run.Offers[I - 1];
      SCOPED_TRACE(O.Sku);
      EXPECT_EQ(S.PartNumber, O.PartNumber);
      EXPECT_EQ(S.Manufacturer, O.Manufacturer);
      EXPECT_EQ(S.Description, O.Description);
      EXPECT_EQ(S.Quantity, O.Quantity);
      EXPECT_EQ(S.Datasheet, O.Datasheet);
      EXPECT_EQ(S.Stock, O.Stock);
      EXPECT_EQ(S.Prices, Breaks(O));
      EXPECT_EQ(S.Url, "http://shop02.demo.test/item/" + O.Sku);
    }
  }
}

TEST_F(DemoShopLibrary, StockPagesUpdateTheirRows) {
  ASSERT_NO_FATAL_FAILURE(StartServer({"--shops", "2", "--shop-pages", "1", "--shop-offers", "5", "--follow-ups"}));
  const int32_t Site = SiteNumber("Demo Shop 01");
  int32_t State = 1;
  std::string Request;
  P.GetStatement(Request, Site, "BC547", "", "", 0, "", "", State);
  TPageRun Run;
  EXPECT_EQ(Page(Site, "BC547", State, Request, Run, "shop01"), TWL_PAGE_TERM_DONE);
  ASSERT_EQ(Run.Offers.size(), 5u);
  ASSERT_EQ(Run.MoreInfo.size(), 5u);
  for (int I = 1; I <= 5; ++I) {
    const kvdemo::TOffer O = kvdemo::NumberedOffer(1, "BC547", I);
    SCOPED_TRACE(O.Sku);
    EXPECT_EQ(Run.Offers[I - 1].Stock, "");
    EXPECT_EQ(Run.Offers[I - 1].Quantity, "");
    const auto &[Url, Row, MoreState] = Run.MoreInfo[I - 1];
    EXPECT_EQ(Url, "/stock/" + O.Sku);
    EXPECT_EQ(Row, &Run.Rows[I - 1]);
    EXPECT_EQ(MoreState, 20);

    // The follow-up as the engine makes it: the address as next URL, the
    // page state the library asked for, AddMoreProduct for the offers.
    int32_t StockState = MoreState;
    std::string StockRequest;
    P.GetStatement(StockRequest, Site, "BC547", "", Url, 0, "", "", StockState);
    EXPECT_EQ(StockRequest.rfind("GET /stock/" + O.Sku + " HTTP/1.0\r\n", 0), 0u) << StockRequest;
    TPageRun Stock;
    EXPECT_EQ(Page(Site, "BC547", StockState, StockRequest, Stock, "shop01"), TWL_PAGE_TERM_DONE);
    EXPECT_TRUE(StockRequest.empty());
    ASSERT_EQ(Stock.Offers.size(), 1u);
    EXPECT_EQ(Stock.Offers[0].Product, "<QTY>" + O.Quantity + "</QTY>");
    EXPECT_EQ(Stock.Offers[0].Stock, O.Stock);
    EXPECT_EQ(Stock.Offers[0].Prices, "");
    EXPECT_EQ(Stock.Offers[0].Url, "");
    EXPECT_TRUE(Stock.MoreInfo.empty());
  }
  // Without a row to update there is nothing to follow up.
  TPageRun NoRows;
  NoRows.RowsReturned = false;
  P.GetStatement(Request, Site, "BC547", "", "", 0, "", "", State = 1);
  Page(Site, "BC547", State, Request, NoRows, "shop01");
  EXPECT_EQ(NoRows.Offers.size(), 5u);
  EXPECT_TRUE(NoRows.MoreInfo.empty());
}

TEST_F(DemoShopLibrary, ReportsNothingFromPagesItCannotRead) {
  const TProcessPageProc Proc = P.GetProcessPageProc(SiteNumber("Demo Shop 01"));
  ASSERT_NE(Proc, nullptr);
  const std::string Item = "item 01-A-0001|A-01-0001|M|D|Y|5|1:0.50|\r\n";
  const struct {
    const char *Name;
    std::string Page;
    int32_t State;
    size_t Offers;
    int16_t Result;
  } Cases[] = {
      {"Empty", "", 1, 0, TWL_PAGE_TERM_DONE},
      {"Binary", std::string("\xFF\x01\x02garbage\x80\xFE"), 1, 0, TWL_PAGE_TERM_DONE},
      {"Html", "HTTP/1.0 200 OK\r\n\r\n<html><body>" + Item + "</body></html>", 1, 0, TWL_PAGE_TERM_DONE},
      {"NotFound", "HTTP/1.0 404 Not Found\r\n\r\nnot found\r\n", 1, 0, TWL_PAGE_TERM_DONE},
      {"MarkerNotFirst", "HTTP/1.0 200 OK\r\n\r\nx\r\nKVDEMO-SHOP 1\r\n" + Item + "end\r\n", 1, 0,
       TWL_PAGE_TERM_DONE},
      {"WrongVersion", "HTTP/1.0 200 OK\r\n\r\nKVDEMO-SHOP 2\r\n" + Item + "end\r\n", 1, 0, TWL_PAGE_TERM_DONE},
      // A page cut off mid-line keeps its whole lines only, and its next
      // line when that arrived whole.
      {"CutInAnItem", "HTTP/1.0 200 OK\r\n\r\nKVDEMO-SHOP 1\r\n" + Item + Item.substr(0, 20), 1, 1,
       TWL_PAGE_TERM_DONE},
      {"CutInTheNext", "HTTP/1.0 200 OK\r\n\r\nKVDEMO-SHOP 1\r\n" + Item + "next /find?q=A&by=pn&pa", 1, 1,
       TWL_PAGE_TERM_DONE},
      {"ItemWithFieldsMissing", "HTTP/1.0 200 OK\r\n\r\nKVDEMO-SHOP 1\r\nitem 01-A-0001|A-01-0001|M\r\n" + Item +
                                    "end\r\n",
       1, 1, TWL_PAGE_TERM_DONE},
      {"NextTooLong", "HTTP/1.0 200 OK\r\n\r\nKVDEMO-SHOP 1\r\n" + Item + "next /find?q=" + std::string(600, 'A') +
                          "\r\nend\r\n",
       1, 1, TWL_PAGE_TERM_DONE},
      {"StockPageOfAnotherKind", "HTTP/1.0 200 OK\r\n\r\nKVDEMO-SHOP 1\r\n" + Item + "end\r\n", 20, 0,
       TWL_PAGE_TERM_DONE},
      {"Filler", "HTTP/1.0 200 OK\r\n\r\nKVDEMO-SHOP 1\r\nx " + std::string(3000, 'x') + "\r\n" + Item +
                     "next /find?q=A&by=pn&page=2\r\nend\r\n",
       1, 1, TWL_PAGE_NEXT_URL},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Name);
    TPageRun Run;
    char Next[TWL_REQUEST_BUFFER_SIZE];
    std::memset(Next, 0, sizeof Next);
    EXPECT_EQ(Proc(C.State, C.Page.c_str(), Next, AddProduct, AddMoreInfo, &Run), C.Result);
    EXPECT_EQ(Run.Offers.size(), C.Offers);
    EXPECT_EQ(std::string(Next), C.Result == TWL_PAGE_NEXT_URL ? "/find?q=A&by=pn&page=2" : "");
    if (C.Offers) {
      EXPECT_EQ(Run.Offers[0].Product,
                "<PN>A-01-0001</PN><MANF>M</MANF><DESC>D</DESC><QTY>5</QTY><DATASHEET></DATASHEET>");
    }
  }
  P.FinishedWithSite(SiteNumber("Demo Shop 01"));
}

TEST_F(DemoShopLibrary, StopsWhenAsked) {
  const int32_t Site = SiteNumber("Demo Shop 01");
  const TProcessPageProc Proc = P.GetProcessPageProc(Site);
  ASSERT_NE(Proc, nullptr);
  std::string Page = "HTTP/1.0 200 OK\r\n\r\nKVDEMO-SHOP 1\r\n";
  for (int I = 1; I <= 4; ++I)
    Page += ItemLine(kvdemo::NumberedOffer(1, "A", I), false) + "\r\n";
  Page += "next /find?q=A&by=pn&page=2\r\nend\r\n";
  char Next[TWL_REQUEST_BUFFER_SIZE] = {};
  TPageRun Run;
  Run.StopAfter = 2;
  EXPECT_EQ(Proc(1, Page.c_str(), Next, AddProduct, AddMoreInfo, &Run), 3);
  EXPECT_EQ(Run.Offers.size(), 2u);
  // Markup in a field stays text for the client's decoding.
  const std::string Odd = "HTTP/1.0 200 OK\r\n\r\nKVDEMO-SHOP 1\r\nitem S|<b>R&D|M|a<b|Y|1||\r\nend\r\n";
  TPageRun OddRun;
  EXPECT_EQ(Proc(1, Odd.c_str(), Next, AddProduct, AddMoreInfo, &OddRun), TWL_PAGE_TERM_DONE);
  ASSERT_EQ(OddRun.Offers.size(), 1u);
  EXPECT_EQ(OddRun.Offers[0].PartNumber, "<b>R&D");
  EXPECT_EQ(OddRun.Offers[0].Description, "a<b");
  P.FinishedWithSite(Site);
}

// A request too long for the statement buffer is not made cut short.
TEST_F(DemoShopLibrary, MakesNoRequestThatWouldNotFit) {
  const int32_t Site = SiteNumber("Demo Shop 01");
  int32_t State = 1;
  std::string Request;
  P.GetStatement(Request, Site, std::string(160, '1'), "", "", 0, "", "", State);  // 480 bytes encoded
  EXPECT_EQ(Request.rfind("GET /find?q=%31", 0), 0u);
  P.GetStatement(Request, Site, std::string(200, '1'), "", "", 0, "", "", State);
  EXPECT_EQ(Request, "");
  P.GetStatement(Request, Site, "A", "", "/find?q=" + std::string(504, 'A'), 0, "", "", State);
  EXPECT_EQ(Request, "");
}

}  // namespace
}  // namespace demotest
