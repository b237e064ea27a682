// A modal dialog shown during a search (here the update question, which the
// maker's server brings while the shops are still answering): the search
// goes on under it to its end, on the numbered and the sample shops alike.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "client/uApplication.h"
#include "client/uCatalogue.h"
#include "client/search/uSearch.h"
#include "client/server/UDown.h"
#include "client/server/uServer.h"
#include "client/settings/uUserDetails.h"
#include "client/window/uproof.h"
#include "components/replistv.h"
#include "platform/Dialogs.h"
#include "platform/qt/Messages.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/demo/DemoFixture.h"
#include "tests/faults/FaultSupport.h"
#include "tests/support/DemoShops.h"
#include "tests/support/TestEnv.h"

namespace {

namespace fs = std::filesystem;

constexpr int Shops = 4, Pages = 3, Offers = 3;

class ModalDialog : public ::testing::Test {
protected:
  void SetUp() override {
    ResetTerminateRequest();
    // Slow shops: the update reply comes while their pages are still due.
    Server = faulttest::StartWindowWorld(Env, "MODAL4004", "ask me", "DEMOSHOP|TOLBROOK|HALLER|HARBOR|DIRECT", Shops,
                                         Pages, Offers, {"--delay", "400"});
    ASSERT_TRUE(Server);
  }
  void TearDown() override {
    delete Main;
    kv::SetMessageBoxHook({});
    clienttest::StopUsingProgramFolder();
  }

  kvtest::IsolatedEnv Env;
  std::unique_ptr<demotest::TDemoServer> Server;
  TfrmMain *Main = nullptr;
};

TEST_F(ModalDialog, SearchGoesOnUnderTheUpdateQuestion) {
  // Older than what the demo server offers: the first search asks.
  SetLibraryVersion(1);
  int Questions = 0, RowsAtQuestion = -1, RowsUnder = -1;
  bool EndedUnder = false;
  kv::SetMessageBoxHook([&](const std::string &, const std::string &, unsigned Flags) {
    if ((Flags & 0x0F) != kv::MB_YESNO)
      return kv::IDOK;
    ++Questions;
    RowsAtQuestion = Main->lstProducts->ItemCount();
    // A real modal dialog, answered once the search has ended under it.
    QMessageBox Box(QMessageBox::Question, "Update", "Update now?", QMessageBox::Yes | QMessageBox::No);
    QElapsedTimer Waited;
    Waited.start();
    QTimer Poll;
    QObject::connect(&Poll, &QTimer::timeout, [&] {
      if (!Main->Search->Searching() || Waited.elapsed() > 40000)
        Box.done(QMessageBox::No);
    });
    Poll.start(20);
    Box.exec();
    EndedUnder = !Main->Search->Searching();
    RowsUnder = Main->lstProducts->ItemCount();
    return kv::IDNO;
  });
  Main = new TfrmMain();
  ASSERT_TRUE(Main->Created) << CatalogueBindError;
  Main->show();
  ASSERT_TRUE(kv::WaitUntil([&] { return Main->Server && !Main->Server->LogonActive; }, 30000)) << "no logon";
  Main->editSearch->setEditText("LM317, NE555");
  Main->btnFindNow->click();
  ASSERT_TRUE(kv::WaitUntil([&] { return Questions > 0 && !Main->Search->Searching(); }, 90000))
      << Questions << " questions, searching " << Main->Search->Searching();
  EXPECT_EQ(Questions, 1);
  EXPECT_LT(RowsAtQuestion, RowsUnder) << "the question came after the search";
  EXPECT_TRUE(EndedUnder) << "the search stopped under the dialog with " << RowsUnder << " rows";
  EXPECT_GT(RowsUnder, RowsAtQuestion);
  const auto PerSite = faulttest::RowsPerSite(*Main->lstProducts);
  for (int Shop = 1; Shop <= Shops; ++Shop) {
    const auto It = PerSite.find(faulttest::ShopName(Shop));
    EXPECT_EQ(It == PerSite.end() ? 0 : It->second, 2 * Pages * Offers) << faulttest::ShopName(Shop);
  }
}

}  // namespace
