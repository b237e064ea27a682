// The banner adverts over a stand-in for the fetching library and the
// catalogue's sites.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

#include <filesystem>

#include "client/server/uAdverts.h"
#include "common/Common.h"
#include "components/GIFImage.h"
#include "platform/Paths.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/Messages.h"
#include "tests/gif/GifFixtures.h"
#include "tests/support/TestEnv.h"
#include "tests/updates/FakeFetch.h"

using namespace kv;
using kvtest::TFakeFetchlet;

namespace {

struct TGifCase {
  const char *Name;
  std::string Line;
  std::string Expected;
};
void PrintTo(const TGifCase &C, std::ostream *Out) { *Out << C.Name; }

class GifName : public testing::TestWithParam<TGifCase> {};

TEST_P(GifName, Extracted) { EXPECT_EQ(ExtractGifName(GetParam().Line), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, GifName,
    testing::Values(TGifCase{"DoubleQuotes", "<img src=\"http://h.test/a.gif\">", "http://h.test/a.gif"},
                    TGifCase{"SingleQuotesUpperCase", "<IMG SRC='h.test/b.GIF'>", "h.test/b.GIF"},
                    TGifCase{"NearestQuoteDecides", "<a href=\"x\"><img src='h.test/c.gif' alt=\"y\">",
                             "h.test/c.gif"},
                    TGifCase{"SameQuoteCloses", "<img src=\"h.test/d.gif' alt=x\">", "h.test/d.gif' alt=x"},
                    TGifCase{"NoQuoteBefore", "src=h.test/e.gif\"", ""},
                    TGifCase{"NoClosingQuote", "src=\"h.test/f.gif", ""},
                    TGifCase{"NoGif", "<img src=\"h.test/g.png\">", ""},
                    TGifCase{"FirstGifCounts", "\"a.gif\" \"b.gif\"", "a.gif"}, TGifCase{"Empty", "", ""}),
    [](const testing::TestParamInfo<TGifCase> &I) { return std::string(I.param.Name); });

struct TPageCase {
  const char *Name;
  std::string Page;
  std::string Picture;
  std::string ClickURL;
};
void PrintTo(const TPageCase &C, std::ostream *Out) { *Out << C.Name; }

class AdvertPage : public testing::TestWithParam<TPageCase> {};

TEST_P(AdvertPage, Read) {
  std::string Click = "unchanged";
  EXPECT_EQ(ReadAdvertText(GetParam().Page, Click), GetParam().Picture);
  EXPECT_EQ(Click, GetParam().ClickURL);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdvertPage,
    testing::Values(
        TPageCase{"PictureAndLink",
                  "<html>\r\n<a href='www.x.test/offer'><img src=\"http://x.test/b.gif\"></a>\r\n</html>",
                  "http://x.test/b.gif", "www.x.test/offer"},
        TPageCase{"UpperCaseHref", "<A HREF='a.test/p'><IMG SRC='a.test/p.GIF'></A>", "a.test/p.GIF", "a.test/p"},
        TPageCase{"FirstGifLineWinsEvenEmpty", "see a.gif here\n<img src=\"b.gif\">", "", ""},
        TPageCase{"LinkAcrossLines", "<a href='a.test/\r\nlong'>\r<img src='x.gif'>", "x.gif", "a.test/long"},
        TPageCase{"NoLink", "<img src='x.gif'>", "x.gif", ""},
        TPageCase{"NothingAtAll", "", "", ""}),
    [](const testing::TestParamInfo<TPageCase> &I) { return std::string(I.param.Name); });

std::string BannerGif(int Shade) {
  giftest::TGifBuilder B;
  B.Header(8, 4, 2, {0x000000, uint32_t(Shade) * 0x010101, 0xFF0000, 0xFFFFFF})
      .Image(0, 0, 8, 4, giftest::Ramp(8, 4, 4))
      .Trailer();
  return B.S;
}

struct TSite {
  bool HasAdvert = true;
  std::string Advert, URL, Location = "GB";
  bool Basic = false;
  std::vector<std::string> Categories;
};

class Adverts : public testing::Test {
public:
  void SetUp() override {
    TFakeFetchlet::Instance().Reset();
    std::filesystem::create_directories(Env / "prog");
    std::filesystem::create_directories(Env / "work");
    ProgramDir = Env / "prog" + "\\";
    // The working folder is not the program folder.
    ASSERT_TRUE(SetCurrentDir(Env / "work"));
    kvtest::WriteFile(Env / "prog/ad1.sys", BannerGif(10));
    kvtest::WriteFile(Env / "prog/ad2.sys", BannerGif(20));
    Settings.SiteEnabled = {1, 1, 1};
    Sites = {TSite{true, "5000:::http://s0.test/a.gif:::s0.test/click", "www.s0.test", "GB", false, {}},
             TSite{false, "http://s1.test/never.gif", "www.s1.test", "GB", false, {}},
             TSite{true, "http://s2.test/page.htm", "www.s2.test", "GB", true, {}}};
    Panel1 = std::make_unique<QWidget>();
    Panel2 = std::make_unique<QWidget>();
    Make();
  }
  void TearDown() override { Ads.reset(); }

  void Make() {
    TAdvertSites S;
    S.NumberSites = [this] { return int(Sites.size()); };
    S.HasAdvert = [this](int I) { return Sites[I].HasAdvert; };
    S.Advert = [this](int I) { return Sites[I].Advert; };
    S.URL = [this](int I) { return Sites[I].URL; };
    S.Location = [this](int I) { return Sites[I].Location; };
    S.SecuredBasic = [this](int I) { return Sites[I].Basic; };
    S.HasCategory = [this](int I, const std::string &C) {
      return std::find(Sites[I].Categories.begin(), Sites[I].Categories.end(), C) != Sites[I].Categories.end();
    };
    TAdvertEvents E;
    E.ProgramDir = ProgramDir;
    E.GetFile = kvtest::FakeGetFile;
    E.SetFileGroupLimits = kvtest::FakeSetFileGroupLimits;
    E.CustomerID = [] { return std::string("DEMO 1"); };
    E.Stopping = [this] { return Stopping; };
    E.CategoryIndex = [this] { return CategoryIndex; };
    E.CategoryText = [this] { return CategoryText; };
    E.OpenURL = [this](const std::string &U) { Opened.push_back(U); };
    E.Random = [this](int Range) { return Pick % Range; };
    Ads = std::make_unique<TAdverts>(Settings, std::move(S), std::move(E), Panel1.get(), Panel2.get());
  }
  TFakeFetchlet &Fetch() { return TFakeFetchlet::Instance(); }
  const kvtest::TFakeFetch &Last() { return Fetch().Fetches.back(); }
  void FinishLast(bool Success, const std::string &Body = "") { Fetch().Finish(Fetch().Fetches.size() - 1, Success, Body); }
  std::string ServerPage(const std::string &Click, const std::string &Picture) {
    return "<html><body>\r\n<a href='" + Click + "'>\r\n<img src=\"" + Picture + "\" border=0></a>\r\n</body></html>";
  }
  std::string BannerURL() const {
    return ServerHost() + "/kv_client/kvbanners.asp?customer_id=DEMO+%31&banner_position=";
  }

  kvtest::IsolatedEnv Env;
  std::string ProgramDir;
  TWorkingSettings Settings;
  std::vector<TSite> Sites;
  std::unique_ptr<QWidget> Panel1, Panel2;
  std::unique_ptr<TAdverts> Ads;
  bool Stopping = false;
  int CategoryIndex = 0;
  std::string CategoryText;
  std::vector<std::string> Opened;
  int Pick = 0;
};

TEST_F(Adverts, ListHoldsTheServerBannerThenAllowedSiteAdverts) {
  Ads->LoadAdverts();
  const auto &L = Ads->AdvertList();
  ASSERT_EQ(L.size(), 3u);
  EXPECT_EQ(L[0]->URL, BannerURL());
  EXPECT_EQ(L[0]->ClickURL, MakerHostName);
  EXPECT_TRUE(L[0]->Secured);
  EXPECT_EQ(L[0]->User + ":" + L[0]->Password, "kex:58tor41w");
  EXPECT_EQ(L[0]->DisplayTime, 15000);
  EXPECT_EQ(L[1]->URL, "http://s0.test/a.gif");
  EXPECT_EQ(L[1]->ClickURL, "s0.test/click");
  EXPECT_FALSE(L[1]->Secured);
  EXPECT_EQ(L[1]->User + L[1]->Password, "");
  EXPECT_EQ(L[1]->DisplayTime, 5000);
  EXPECT_EQ(L[2]->URL, "http://s2.test/page.htm");
  EXPECT_EQ(L[2]->ClickURL, "www.s2.test");
  EXPECT_TRUE(L[2]->Secured);
  EXPECT_EQ(L[2]->DisplayTime, 15000);

  Settings.MerchantMessages = false;
  Ads->LoadAdverts();
  EXPECT_EQ(Ads->AdvertList().size(), 1u);
}

struct TAllowedCase {
  const char *Name;
  bool HasAdvert;
  bool LocalOnly;
  std::string Location;
  int Enabled;
  int CategoryIndex;
  std::vector<std::string> Categories;
  bool Allowed;
};
void PrintTo(const TAllowedCase &C, std::ostream *Out) { *Out << C.Name; }

class AdvertAllowed : public Adverts, public testing::WithParamInterface<TAllowedCase> {};

TEST_P(AdvertAllowed, Decided) {
  const TAllowedCase &C = GetParam();
  Sites[0].HasAdvert = C.HasAdvert;
  Sites[0].Location = C.Location;
  Sites[0].Categories = C.Categories;
  Settings.FindLocalSites = C.LocalOnly;
  Settings.LocalCountryCode = "GB";
  Settings.SiteEnabled[0] = C.Enabled;
  CategoryIndex = C.CategoryIndex;
  CategoryText = "Resistors";
  EXPECT_EQ(Ads->SiteAdvertAllowed(0), C.Allowed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdvertAllowed,
    testing::Values(TAllowedCase{"Plain", true, false, "DE", 1, 0, {}, true},
                    TAllowedCase{"NoAdvert", false, false, "GB", 1, 0, {}, false},
                    TAllowedCase{"LocalOnlyOtherCountry", true, true, "DE", 1, 0, {}, false},
                    TAllowedCase{"LocalOnlySameCountry", true, true, "GB", 1, 0, {}, true},
                    TAllowedCase{"SiteSwitchedOff", true, false, "GB", 0, 0, {}, false},
                    TAllowedCase{"CategoryTheSiteLacks", true, false, "GB", 1, 2, {"Capacitors"}, false},
                    TAllowedCase{"CategoryTheSiteHas", true, false, "GB", 1, 2, {"Resistors"}, true},
                    TAllowedCase{"NoCategorySelected", true, false, "GB", 1, -1, {}, true}),
    [](const testing::TestParamInfo<TAllowedCase> &I) { return std::string(I.param.Name); });

TEST_F(Adverts, OneRotationFillsBothBanners) {
  Ads->LoadAdverts();
  Ads->timBannerTimer();
  EXPECT_FALSE(Ads->timBanner->isActive());
  ASSERT_EQ(Fetch().Fetches.size(), 1u);
  EXPECT_EQ(Last().URL, BannerURL() + "1");
  EXPECT_EQ(Last().FileName, Env / "prog/Ad.AdH");
  EXPECT_EQ(Last().User + ":" + Last().Password, "kex:58tor41w");
  EXPECT_EQ(Last().Group, 0);
  FinishLast(true, ServerPage("www.korvandel.test/one", "http://www.korvandel.test/b1.gif"));
  // The page is read from the program folder and removed.
  EXPECT_FALSE(kvtest::FileExists(Env / "prog/Ad.AdH"));
  ASSERT_EQ(Fetch().Fetches.size(), 2u);
  EXPECT_EQ(Last().URL, "http://www.korvandel.test/b1.gif");
  EXPECT_EQ(Last().FileName, Env / "prog/Addwn1.sys");
  const std::string Picture1 = BannerGif(100);
  FinishLast(true, Picture1);
  EXPECT_EQ(kvtest::ReadFile(Env / "prog/ad1.sys"), Picture1);
  int Copies = 0;
  for (const auto &E : std::filesystem::directory_iterator(Env / "prog"))
    Copies += SameText(E.path().filename().string(), "Ad1.sys");
  EXPECT_EQ(Copies, 1);
  EXPECT_FALSE(kvtest::FileExists(Env / "work/Ad1.sys"));
  EXPECT_EQ(Ads->gifBanner1->FrameCount(), 1);
  EXPECT_EQ(ToAnsi(Ads->gifBanner1->toolTip()), "www.korvandel.test/one");
  EXPECT_EQ(ReadSettingString("Banner", "ClickURL1", ""), "www.korvandel.test/one");
  // Banner 2 is the server's, position 2.
  ASSERT_EQ(Fetch().Fetches.size(), 3u);
  EXPECT_EQ(Last().URL, BannerURL() + "2");
  FinishLast(true, ServerPage("www.korvandel.test/two", "http://www.korvandel.test/b2.gif"));
  EXPECT_EQ(Last().FileName, Env / "prog/Addwn2.sys");
  const std::string Picture2 = BannerGif(200);
  FinishLast(true, Picture2);
  EXPECT_EQ(kvtest::ReadFile(Env / "prog/ad2.sys"), Picture2);
  EXPECT_EQ(ToAnsi(Ads->gifBanner2->toolTip()), "www.korvandel.test/two");
  EXPECT_EQ(ReadSettingString("Banner", "ClickURL2", ""), "www.korvandel.test/two");
  EXPECT_TRUE(Ads->timBanner->isActive());
  EXPECT_EQ(Ads->timBanner->interval(), 15000);
  EXPECT_EQ(Ads->FetchesRunning(), 0u);
}

// The page and the picture each take their own limits from the table.
TEST_F(Adverts, PageAndPictureAreFetchedWithTheirOwnLimits) {
  Ads->LoadAdverts();
  Ads->timBannerTimer();
  ASSERT_EQ(Fetch().Fetches.size(), 1u);
  EXPECT_EQ(Last().MaxReply, kv::limits::AdvertPage.MaxReply);
  EXPECT_EQ(Last().NoData, kv::limits::AdvertPage.Time.NoData);
  EXPECT_EQ(Last().InAll, kv::limits::AdvertPage.Time.InAll);
  FinishLast(true, ServerPage("www.korvandel.test/one", "http://www.korvandel.test/b1.gif"));
  ASSERT_EQ(Fetch().Fetches.size(), 2u);
  EXPECT_EQ(Last().MaxReply, kv::limits::AdvertPicture.MaxReply);
  EXPECT_EQ(Last().NoData, kv::limits::AdvertPicture.Time.NoData);
  EXPECT_EQ(Last().InAll, kv::limits::AdvertPicture.Time.InAll);
  // A picture that failed is not shown.
  FinishLast(false, "GIF89a cut sho");
  EXPECT_EQ(kvtest::ReadFile(Env / "prog/ad1.sys"), BannerGif(10));
  EXPECT_EQ(Ads->gifBanner1->FrameCount(), 0);
}

TEST_F(Adverts, BannerTipsAlternateServerAndSiteAdverts) {
  Ads->LoadAdverts();
  std::vector<std::string> Firsts;
  for (int Turn = 0; Turn < 4; ++Turn) {
    Pick = 1;  // the second site advert, s2's page
    const size_t Before = Fetch().Fetches.size();
    Ads->timBannerTimer();
    ASSERT_EQ(Fetch().Fetches.size(), Before + 1);
    Firsts.push_back(Last().URL);
    // End the chain at once: the page fails.
    FinishLast(false);
    EXPECT_TRUE(Ads->timBanner->isActive());
  }
  EXPECT_EQ(Firsts, (std::vector<std::string>{BannerURL() + "1", "http://s2.test/page.htm", BannerURL() + "1",
                                               "http://s2.test/page.htm"}));
}

TEST_F(Adverts, WithoutBannerTipsOnlySiteAdverts) {
  Settings.BannerTips = false;
  Ads->LoadAdverts();
  for (int Turn = 0; Turn < 3; ++Turn) {
    Pick = Turn;
    Ads->timBannerTimer();
    EXPECT_EQ(Last().URL, Turn % 2 == 0 ? "http://s0.test/a.gif" : "http://s2.test/page.htm");
    EXPECT_EQ(Last().User, "");
    FinishLast(false);
  }
}

TEST_F(Adverts, NothingToRotateFetchesNothing) {
  Settings.BannerTips = false;
  Settings.MerchantMessages = false;
  Ads->LoadAdverts();
  for (int Turn = 0; Turn < 3; ++Turn)
    Ads->timBannerTimer();
  EXPECT_TRUE(Fetch().Fetches.empty());
}

TEST_F(Adverts, StoppedSearchStopsTheRotation) {
  Ads->LoadAdverts();
  Ads->timBanner->start();
  Stopping = true;
  Ads->timBannerTimer();
  EXPECT_FALSE(Ads->timBanner->isActive());
  EXPECT_TRUE(Fetch().Fetches.empty());
}

struct TEndCase {
  const char *Name;
  std::function<void(Adverts &)> Run;
};
void PrintTo(const TEndCase &C, std::ostream *Out) { *Out << C.Name; }

class AdvertChainEnd : public Adverts, public testing::WithParamInterface<TEndCase> {};

// Every end of a fetch chain short of a shown banner switches the timer back on.
TEST_P(AdvertChainEnd, TimerBackOn) {
  Ads->LoadAdverts();
  Ads->timBanner->stop();
  GetParam().Run(*this);
  EXPECT_TRUE(Ads->timBanner->isActive());
  EXPECT_EQ(Ads->FetchesRunning(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdvertChainEnd,
    testing::Values(TEndCase{"PageFails",
                             [](Adverts &T) {
                               T.Ads->timBannerTimer();
                               T.FinishLast(false);
                             }},
                    TEndCase{"PageWithoutPicture",
                             [](Adverts &T) {
                               T.Ads->timBannerTimer();
                               T.FinishLast(true, "<html>No banner today</html>");
                             }},
                    TEndCase{"PictureFails",
                             [](Adverts &T) {
                               T.Ads->timBannerTimer();
                               T.FinishLast(true, T.ServerPage("a.test", "http://a.test/p.gif"));
                               T.FinishLast(false);
                             }},
                    TEndCase{"ConnectionCannotStart",
                             [](Adverts &T) {
                               T.Fetch().FailAtOnce = true;
                               T.Ads->timBannerTimer();
                             }},
                    TEndCase{"EmptyAdvertURL",
                             [](Adverts &T) {
                               T.Sites[0].Advert = ":::s0.test/click:::";
                               T.Settings.BannerTips = false;
                               T.Pick = 0;
                               T.Ads->LoadAdverts();
                               T.Ads->timBannerTimer();
                             }}),
    [](const testing::TestParamInfo<TEndCase> &I) { return std::string(I.param.Name); });

TEST_F(Adverts, ChainOutlivesTheListItStartedFrom) {
  Ads->LoadAdverts();
  Ads->timBannerTimer();
  // The next search rebuilds the list while the page is on its way.
  Ads->LoadAdverts();
  Ads->LoadAdverts();
  FinishLast(true, ServerPage("a.test/x", "http://a.test/p.gif"));
  // The old advert still answers for the picture: the same credential.
  EXPECT_EQ(Last().URL, "http://a.test/p.gif");
  EXPECT_EQ(Last().User, "kex");
  FinishLast(true, BannerGif(50));
  EXPECT_EQ(kvtest::ReadFile(Env / "prog/ad1.sys"), BannerGif(50));
}

TEST_F(Adverts, CallbackAfterTheOwnerWentFindsNothing) {
  Ads->LoadAdverts();
  Ads->timBannerTimer();
  Ads.reset();
  FinishLast(true, ServerPage("a.test/x", "http://a.test/p.gif"));
  EXPECT_EQ(Fetch().Fetches.size(), 1u);
  // The page stays where the fetch put it: nobody read it.
  EXPECT_TRUE(kvtest::FileExists(Env / "prog/Ad.AdH"));
}

TEST_F(Adverts, ClickOpensTheBannersAddress) {
  auto Click = [](QWidget *W) {
    QMouseEvent Press(QEvent::MouseButtonPress, QPointF(2, 2), W->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent Release(QEvent::MouseButtonRelease, QPointF(2, 2), W->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(W, &Press);
    QApplication::sendEvent(W, &Release);
  };
  Settings.ClickURL1 = "www.one.test/a";
  Settings.ClickURL2 = "";
  Ads->LoadClickURLs();
  Click(Ads->gifBanner1);
  Click(Ads->gifBanner2);
  EXPECT_EQ(Opened, std::vector<std::string>{"http://www.one.test/a"});
}

// A banner's hint is its click address, which a site's advert supplies: it
// shows as it is, not as markup.
TEST_F(Adverts, HintShowsTheAddressAsText) {
  Settings.ClickURL1 = "<b>www.one.test</b><img src=\"x.gif\">";
  Ads->LoadClickURLs();
  QWidget *Banner = Ads->gifBanner1;
  Panel1->show();
  QHelpEvent Help(QEvent::ToolTip, QPoint(2, 2), Banner->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(Banner, &Help);
  ASSERT_TRUE(kv::WaitUntil([] { return QToolTip::isVisible(); }, 20000));
  QTextDocument Shown;
  Shown.setHtml(QToolTip::text());
  EXPECT_EQ(ToAnsi(Shown.toPlainText()), Settings.ClickURL1);
  QToolTip::hideText();
  // The address itself is kept as it came.
  EXPECT_EQ(ToAnsi(Banner->toolTip()), Settings.ClickURL1);
}

}  // namespace
