// The update download and the banner rotation with the real fetching library,
// against the demo server and scripted loopback servers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <filesystem>

#include "client/server/UDown.h"
#include "client/server/uAdverts.h"
#include "components/GIFImage.h"
#include "platform/Dialogs.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/Messages.h"
#include "tests/demo/DemoFixture.h"
#include "tests/fetch/FetchSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

std::string ToAnsiTip(const QWidget &W) { return ToAnsi(W.toolTip()); }

class UpdatesEndToEnd : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Lib.Loaded()) << Lib.Error();
    std::filesystem::create_directories(Env / "prog");
    std::filesystem::create_directories(Env / "server");
    ProgramDir = Env / "prog" + "\\";
    SetMessageBoxHook([this](const std::string &Text, const std::string &, unsigned) {
      Boxes.push_back(Text);
      return IDYES;
    });
  }
  void TearDown() override {
    Check.reset();
    Ads.reset();
    Lib.TerminateProcesses();
    SetMessageBoxHook({});
  }

  void MakeCheck() {
    TUpdateEvents E;
    E.ProgramDir = ProgramDir;
    E.CheckLibraryVersion = [] { return 3003; };
    E.SetLibraryVersion = [this](int V) { Stored = V; };
    Check = std::make_unique<TUpdateCheck>(std::move(E), TFetchFunctions{Lib.GetFile, Lib.TerminateFileGroup});
  }
  bool WaitForDownload() {
    return WaitUntil([this] { return !Check->frmDownLoad()->Running(); }, 20000);
  }
  std::vector<std::string> Downloaded() const {
    std::vector<std::string> Names;
    if (std::filesystem::exists(Env / "prog/DownLoad"))
      for (const auto &E : std::filesystem::directory_iterator(Env / "prog/DownLoad"))
        Names.push_back(E.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
  }
  int BoxesSaying(const std::string &Start) const {
    return int(std::count_if(Boxes.begin(), Boxes.end(), [&](const std::string &B) { return B.rfind(Start, 0) == 0; }));
  }
  static std::string Page(const std::vector<std::string> &URLs) {
    std::string Rows;
    int Version = 3100;
    for (const std::string &U : URLs)
      Rows += "<TR><TD>" + std::to_string(++Version) + "</TD><TD>0</TD><TD>" + U + "</TD><TD>1</TD></TR>";
    return "HTTP/1.0 200 OK\r\n\r\n<Table>" + Rows + "</Table><Table><TR><TD>1</TD><TD>Update?</TD></TR></Table>";
  }
  static std::string Ok(const std::string &Body) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(Body.size()) + "\r\n\r\n" + Body;
  }

  kvtest::IsolatedEnv Env;
  kvtest::TFetchlet Lib;
  std::string ProgramDir;
  std::unique_ptr<TUpdateCheck> Check;
  std::unique_ptr<TAdverts> Ads;
  std::vector<std::string> Boxes;
  int Stored = 0;
};

struct TDemoUpdateCase {
  const char *Name;
  std::vector<std::string> Args;
  bool Success;
};
void PrintTo(const TDemoUpdateCase &C, std::ostream *Out) { *Out << C.Name; }

class DemoUpdate : public UpdatesEndToEnd, public testing::WithParamInterface<TDemoUpdateCase> {};

TEST_P(DemoUpdate, ThreeFiles) {
  demotest::TDemoServer Server(Env / "server", GetParam().Args);
  ASSERT_TRUE(Server.Started());
  setenv("KORVANDEL_HOSTS", Server.Hosts().c_str(), 1);
  MakeCheck();
  Check->ProcessUpdatePage(demotest::Get(Server.Port("maker"), "/kv_client/kvupdate.htm"));
  ASSERT_TRUE(WaitForDownload());
  const std::string Log = Server.Log();
  // Every file was asked for, the failing one too.
  for (const char *Name : {"kvnotes.txt", "kvsites.txt", "kvtips.txt"})
    EXPECT_NE(Log.find(std::string("GET /kv_client/update/") + Name), std::string::npos) << Name;
  if (GetParam().Success) {
    EXPECT_EQ(Downloaded(), (std::vector<std::string>{"kvnotes.txt", "kvsites.txt", "kvtips.txt"}));
    EXPECT_EQ(kvtest::ReadFile(Env / "prog/DownLoad/kvtips.txt"), "Korvandel update 3103: kvtips.txt\r\n");
    EXPECT_EQ(Stored, 3103);
    EXPECT_EQ(BoxesSaying("Download of update complete."), 1);
  } else {
    EXPECT_EQ(Downloaded(), std::vector<std::string>{});
    EXPECT_EQ(Stored, 0);
    EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DemoUpdate,
                         testing::Values(TDemoUpdateCase{"AllFine", {}, true},
                                         TDemoUpdateCase{"SecondFails", {"--update-fail", "2"}, false}),
                         [](const testing::TestParamInfo<TDemoUpdateCase> &I) { return std::string(I.param.Name); });

TEST_F(UpdatesEndToEnd, FirstFileResetSecondStillFetched) {
  kvtest::TLoopbackServer Files;
  Files.Queue(kvtest::TServerScript()
                  .ReadUntil("\r\n\r\n")
                  .Send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nhalf of it")
                  .Reset());
  Files.Queue(kvtest::HttpReply(Ok("second")));
  Files.Queue(kvtest::HttpReply(Ok("third")));
  const std::string Base = "http://127.0.0.1:" + Files.PortText() + "/dl/";
  MakeCheck();
  Check->ProcessUpdatePage(Page({Base + "a.txt", Base + "b.txt", Base + "c.txt"}));
  ASSERT_TRUE(WaitForDownload());
  EXPECT_EQ(Files.Connections(), 3);
  EXPECT_EQ(Files.Received(1).rfind("GET /dl/b.txt HTTP/1.0\r\n", 0), 0u) << Files.Received(1);
  EXPECT_EQ(Downloaded(), std::vector<std::string>{});
  EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  EXPECT_EQ(Stored, 0);
}

// A port no socket can have: every fetch fails inside GetFile.
TEST_F(UpdatesEndToEnd, SixtyThousandFilesFailingAtOnceFailOnce) {
  std::vector<std::string> URLs;
  for (int I = 0; I < 60000; ++I)
    URLs.push_back("http://127.0.0.1:99999/dl/f" + std::to_string(I));
  MakeCheck();
  Check->ProcessUpdatePage(Page(URLs));
  EXPECT_FALSE(Check->frmDownLoad()->Running());
  EXPECT_EQ(Check->frmDownLoad()->FilesDone(), 60000);
  EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  EXPECT_EQ(Downloaded(), std::vector<std::string>{});
  EXPECT_EQ(Stored, 0);
}

TEST_F(UpdatesEndToEnd, StopAfterTheFirstFile) {
  kvtest::TLoopbackServer Files;
  Files.Queue(kvtest::HttpReply(Ok("first")));
  // The second file never comes: the user stops the download.
  Files.Queue(kvtest::TServerScript().ReadUntil("\r\n\r\n").Silence());
  const std::string Base = "http://127.0.0.1:" + Files.PortText() + "/dl/";
  MakeCheck();
  Check->ProcessUpdatePage(Page({Base + "a.txt", Base + "b.txt", Base + "c.txt"}));
  ASSERT_TRUE(WaitUntil([&] { return Check->frmDownLoad()->FilesDone() == 1 && Files.Connections() == 2; }, 20000));
  EXPECT_EQ(Check->frmDownLoad()->TipText(), "Downloading 2 of 3");
  Check->frmDownLoad()->mnuStopClick();
  EXPECT_FALSE(Check->frmDownLoad()->Running());
  EXPECT_EQ(BoxesSaying("Are you sure you wish to stop downloading files"), 1);
  EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  EXPECT_EQ(Downloaded(), std::vector<std::string>{});
  EXPECT_EQ(Stored, 0);
}

struct TRotationCase {
  const char *Name;
  bool BannerTips;
  bool MerchantMessages;
  // The first picture of each of three rotations: "server", "tolbrook" or
  // "none" when nothing is fetched.
  std::vector<std::string> Banner1;
};
void PrintTo(const TRotationCase &C, std::ostream *Out) { *Out << C.Name; }

class DemoBanners : public UpdatesEndToEnd, public testing::WithParamInterface<TRotationCase> {};

TEST_P(DemoBanners, Rotate) {
  const TRotationCase &C = GetParam();
  demotest::TDemoServer Server(Env / "server");
  ASSERT_TRUE(Server.Started());
  setenv("KORVANDEL_HOSTS", Server.Hosts().c_str(), 1);
  setenv("KORVANDEL_SERVER", ("127.0.0.1:" + std::to_string(Server.Port("maker"))).c_str(), 1);
  const std::string ShopPicture = demotest::BodyOf(demotest::Get(Server.Port("tolbrook"), "/banner.gif"));
  ASSERT_EQ(ShopPicture.substr(0, 6), "GIF89a");
  kvtest::WriteFile(Env / "prog/ad1.sys", "");
  kvtest::WriteFile(Env / "prog/ad2.sys", "");

  TWorkingSettings Settings;
  Settings.BannerTips = C.BannerTips;
  Settings.MerchantMessages = C.MerchantMessages;
  Settings.SiteEnabled = {1};
  TAdvertSites Sites;
  Sites.NumberSites = [] { return 1; };
  Sites.HasAdvert = [](int) { return true; };
  Sites.Advert = [](int) { return std::string("8000:::http://www.tolbrook.test/banner.gif:::www.tolbrook.test/"); };
  TAdvertEvents E;
  E.ProgramDir = ProgramDir;
  E.GetFile = Lib.GetFile;
  E.CustomerID = [] { return std::string("DEMO1001"); };
  QWidget Panel1, Panel2;
  Ads = std::make_unique<TAdverts>(Settings, std::move(Sites), std::move(E), &Panel1, &Panel2);
  Ads->LoadAdverts();
  for (const std::string &Expected : C.Banner1) {
    const size_t Before = Server.Log().size();
    Ads->timBannerTimer();
    if (Expected == "none") {
      EXPECT_EQ(Ads->FetchesRunning(), 0u);
      continue;
    }
    ASSERT_TRUE(WaitUntil([&] { return Ads->timBanner->isActive(); }, 20000));
    const std::string Log = Server.Log().substr(Before);
    EXPECT_NE(Log.find("banner_position=2"), std::string::npos) << Log;
    if (Expected == "server") {
      EXPECT_NE(Log.find("banner_position=1"), std::string::npos) << Log;
      EXPECT_EQ(Log.find("GET /banner.gif"), std::string::npos) << Log;
      EXPECT_EQ(ToAnsiTip(*Ads->gifBanner1), "www.korvandel.test/kv_client/offers.htm?banner=1");
    } else {
      EXPECT_EQ(Log.find("banner_position=1"), std::string::npos) << Log;
      EXPECT_NE(Log.find("GET /banner.gif"), std::string::npos) << Log;
      EXPECT_EQ(kvtest::ReadFile(Env / "prog/ad1.sys"), ShopPicture);
      EXPECT_EQ(ToAnsiTip(*Ads->gifBanner1), "www.tolbrook.test/");
    }
    EXPECT_EQ(Ads->gifBanner1->FrameCount(), 2);
    EXPECT_EQ(Ads->gifBanner2->FrameCount(), 2);
    EXPECT_EQ(ToAnsiTip(*Ads->gifBanner2), "www.korvandel.test/kv_client/offers.htm?banner=2");
    EXPECT_EQ(Ads->timBanner->interval(), 15000);
  }
  const std::string Log = Server.Log();
  if (C.Banner1 == std::vector<std::string>(C.Banner1.size(), "none")) {
    EXPECT_EQ(Log.find("kvbanners"), std::string::npos) << Log;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DemoBanners,
    testing::Values(TRotationCase{"BothOn", true, true, {"server", "tolbrook", "server"}},
                    TRotationCase{"TipsOffSiteAdvertsOnly", false, true, {"tolbrook", "tolbrook"}},
                    TRotationCase{"TipsOnWithoutSiteAdverts", true, false, {"server", "none", "server"}},
                    TRotationCase{"BothOff", false, false, {"none", "none", "none"}}),
    [](const testing::TestParamInfo<TRotationCase> &I) { return std::string(I.param.Name); });

}  // namespace
