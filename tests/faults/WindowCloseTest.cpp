// The main window closed while its search has sites and follow-ups running:
// it closes without a hang, and the process carries on soundly, so a new
// window searches to the end.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QToolButton>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "client/uApplication.h"
#include "client/uCatalogue.h"
#include "client/search/uSearch.h"
#include "client/server/uServer.h"
#include "client/settings/uUserDetails.h"
#include "client/window/uproof.h"
#include "components/replistv.h"
#include "net/cTambSoc.h"
#include "platform/Dialogs.h"
#include "platform/qt/Messages.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/demo/DemoFixture.h"
#include "tests/faults/FaultSupport.h"
#include "tests/support/DemoShops.h"
#include "tests/support/TestEnv.h"

namespace {

namespace fs = std::filesystem;

constexpr int Shops = 4, Pages = 2, Offers = 3;

class WindowClose : public ::testing::Test {
protected:
  void SetUp() override {
    ResetTerminateRequest();
    // A customer of this test's own whom the server grants the demo shops.
    Server = faulttest::StartWindowWorld(Env, "FAULT3003", "close me", "DEMOSHOP", Shops, Pages, Offers,
                                         {"--follow-ups", "--delay", "600"});
    ASSERT_TRUE(Server);
    clienttest::RecordMessageBoxes(Boxes);
  }
  void TearDown() override {
    delete Main;
    kv::SetMessageBoxHook({});
    clienttest::StopUsingProgramFolder();
  }
  void Open() {
    // Newer than anything the demo server offers: no update question here.
    SetLibraryVersion(999999);
    Main = new TfrmMain();
    ASSERT_TRUE(Main->Created) << CatalogueBindError;
    Main->show();
    ASSERT_TRUE(kv::WaitUntil([&] { return Main->Server && !Main->Server->LogonActive; }, 30000)) << "no logon";
    ASSERT_EQ(Main->FeatureList->CommaText(), "DEMOSHOP");
    int Enabled = 0;
    for (int On : Main->Settings.SiteEnabled)
      Enabled += On == 1 ? 1 : 0;
    ASSERT_EQ(Enabled, Shops);
  }
  void Find(const std::string &Text) {
    Main->editSearch->setEditText(QString::fromStdString(Text));
    Main->btnFindNow->click();
    ASSERT_TRUE(kv::WaitUntil([&] { return Main->Search->Searching(); }, 10000)) << "no search";
  }
  // A request sent whose reply has not begun (DataReceived stays set over a
  // site's further pages).
  static bool UnderWay(const std::vector<kv::TTambleSocket *> &Pool) {
    for (const kv::TTambleSocket *S : Pool)
      if (S->Busy && S->Response.empty())
        return true;
    return false;
  }

  kvtest::IsolatedEnv Env;
  std::unique_ptr<demotest::TDemoServer> Server;
  std::vector<std::string> Boxes;
  TfrmMain *Main = nullptr;
};

TEST_F(WindowClose, WhileSitesAndFollowUpsRun) {
  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_NO_FATAL_FAILURE(Find("LM317"));
  // A second page and a follow-up of the first are both waiting for replies.
  ASSERT_TRUE(
      kv::WaitUntil([&] { return UnderWay(Main->Search->MorePool) && UnderWay(Main->Search->SitePool); }, 60000))
      << "no site and follow-up under way together; searching " << Main->Search->Searching() << ", "
      << Main->Search->ActiveCount() << " active, " << Main->lstProducts->ItemCount() << " rows";
  Main->close();
  EXPECT_TRUE(Main->Closing);
  EXPECT_TRUE(TerminateRequested());
  delete Main;
  Main = nullptr;
  EXPECT_EQ(hPrimary, nullptr) << "the catalogue stays bound";
  // Whatever the closed sockets left queued runs now and must find nothing.
  for (int I = 0; I < 200; ++I)
    kv::ProcessMessages();

  // The process is sound: a new window searches to the end.
  ResetTerminateRequest();
  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_NO_FATAL_FAILURE(Find("NE555"));
  ASSERT_TRUE(kv::WaitUntil([&] { return !Main->Search->Searching(); }, 90000)) << "search did not end";
  EXPECT_EQ(Main->lstProducts->ItemCount(), Shops * Pages * Offers);
  const auto PerSite = faulttest::RowsPerSite(*Main->lstProducts);
  for (int Shop = 1; Shop <= Shops; ++Shop) {
    const auto It = PerSite.find(faulttest::ShopName(Shop));
    EXPECT_EQ(It == PerSite.end() ? 0 : It->second, Pages * Offers) << faulttest::ShopName(Shop);
  }
  EXPECT_TRUE(Boxes.empty()) << Boxes.front();
}

}  // namespace
