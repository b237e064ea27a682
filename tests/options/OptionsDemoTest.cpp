// The options changed through the dialogs take effect in the running program:
// against the demo server, a site switched off is not contacted at the next
// search, and the rates come from the demo's rates page.
#include <gtest/gtest.h>

#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>

#include <functional>

#include "client/options/FAddit.h"
#include "client/options/uoptions.h"
#include "client/search/uSearch.h"
#include "client/server/uServer.h"
#include "client/uApplication.h"
#include "client/uCatalogue.h"
#include "client/settings/uUserDetails.h"
#include "client/window/uproof.h"
#include "components/GlyphChkLs.h"
#include "components/replistv.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/qt/Messages.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/client/DemoProcess.h"

namespace {

class OptionsInUse : public ::testing::Test {
protected:
  void SetUp() override {
    ResetTerminateRequest();
    clienttest::CopySampleSites();
    clienttest::StartFromProgramFolder(Env);
    // The currency library lies in the program folder, not beside the test.
    RatewellLibraryName = std::string(KV_BIN_DIR) + "/libRatewell.so";
    clienttest::RecordMessageBoxes(Boxes);
    ASSERT_NO_FATAL_FAILURE(clienttest::StartDemoServer(Demo, Env));
    WriteUserDetails("DEMO1001", "parts4all");
    Main = new TfrmMain();
    ASSERT_TRUE(Main->Created) << CatalogueBindError;
    Main->show();
    ASSERT_TRUE(kv::WaitUntil([&] { return Main->Server && !Main->Server->LogonActive; }, 20000));
    ASSERT_EQ(std::count(Main->Settings.SiteEnabled.begin(), Main->Settings.SiteEnabled.end(), 1), 4);
  }
  void TearDown() override {
    delete Main;
    kv::SetMessageBoxHook({});
    clienttest::StopUsingProgramFolder();
    clienttest::StopDemoServer(Demo);
  }

  // Runs Act on the modal dialog of type T once it is up; Act returns true
  // when it is done with it (it is asked again until then).
  template <typename T> void WhenShown(std::function<bool(T &)> Act) {
    auto *Poll = new QTimer(Main);
    QObject::connect(Poll, &QTimer::timeout, Poll, [Poll, Act] {
      if (auto *D = dynamic_cast<T *>(QApplication::activeModalWidget()); D && Act(*D))
        Poll->deleteLater();
    });
    Poll->start(20);
  }

  int SiteNumber(const std::string &Name) const {
    for (int I = 0; I < Catalogue.GetNumberSites(); ++I) {
      std::string N;
      Catalogue.GetSiteName(N, I);
      if (N == Name)
        return I;
    }
    return -1;
  }

  kvtest::IsolatedEnv Env;
  QProcess Demo;
  std::vector<std::string> Boxes;
  TfrmMain *Main = nullptr;
};

TEST_F(OptionsInUse, ASiteSwitchedOffIsNotSearchedAndTheRatesComeFromTheRatesPage) {
  int Step = 0;
  WhenShown<TfrmOptions>([&](TfrmOptions &D) {
    if (Step == 0) {
      for (int R = 0; R < D.lbSites->Count(); ++R)
        if (D.lbSites->GetItemText(R) == "Haller Elektronik") {
          const QRect At = D.lbSites->visualItemRect(D.lbSites->item(R));
          QTest::mouseDClick(D.lbSites->viewport(), Qt::LeftButton, {}, QPoint(At.left() + 40, At.center().y()));
        }
      D.edtMaxSockets->setValue(2);
      EXPECT_TRUE(D.btnUpdate->isEnabled());
      D.btnUpdate->click();
      Step = 1;
      return false;
    }
    if (!D.proRatewell->isHidden())
      return false;
    D.btnOK->click();
    return true;
  });
  Main->btnOptions->click();
  ASSERT_EQ(Step, 1);

  // Taken at once, since no search runs.
  EXPECT_EQ(Main->Settings.MaxSockets, 2);
  const int Haller = SiteNumber("Haller Elektronik");
  ASSERT_GE(Haller, 0);
  EXPECT_EQ(Main->Settings.SiteEnabled[static_cast<size_t>(Haller)], 0);
  EXPECT_EQ(std::count(Main->Settings.SiteEnabled.begin(), Main->Settings.SiteEnabled.end(), 1), 3);
  EXPECT_NE(std::find(Boxes.begin(), Boxes.end(), "Your changes will not take effect\r\nuntil the next time you search."),
            Boxes.end());
  // The local currency is the first of the table, American dollars.
  kv::TStringList Currencies;
  Catalogue.LoadSiteCurrencies(&Currencies);
  ASSERT_EQ(Main->Settings.CurrencyRates.size(), static_cast<size_t>(Currencies.Count()));
  const std::map<std::string, std::string> Expected{{"GBP", "1.25"}, {"CHF", "1.1"}, {"USD", "1"}};
  for (int I = 0; I < Currencies.Count(); ++I)
    EXPECT_EQ(Main->Settings.CurrencyRates[static_cast<size_t>(I)], Expected.at(Currencies[I].substr(0, 3)))
        << Currencies[I];
  EXPECT_NE(clienttest::StoredString("Currency", "LastUpdated"), "<missing>");

  const size_t Before = kvtest::ReadFile(Env / "requests.log").size();
  Main->editSearch->setEditText("LM317");
  Main->btnFindNow->click();
  ASSERT_TRUE(kv::WaitUntil([&] { return Main->Search->Searching(); }, 5000));
  ASSERT_TRUE(kv::WaitUntil([&] { return !Main->Search->Searching(); }, 60000));
  const std::string Log = kvtest::ReadFile(Env / "requests.log").substr(Before);
  EXPECT_EQ(Log.find("--- haller "), std::string::npos) << Log;
  for (const char *Shop : {"--- tolbrook ", "--- harbor ", "--- direct "})
    EXPECT_NE(Log.find(Shop), std::string::npos) << Shop;
  ASSERT_GT(Main->lstProducts->ItemCount(), 0);
  for (int I = 0; I < Main->lstProducts->ItemCount(); ++I)
    EXPECT_NE(Main->lstProducts->Item(I).SubItems.at(6), "Haller Elektronik");
}

TEST_F(OptionsInUse, CancelKeepsTheRunningSettings) {
  WhenShown<TfrmOptions>([&](TfrmOptions &D) {
    D.btnDeSelectAll->click();
    D.edtMaxSockets->setValue(1);
    D.btnCancel->click();
    return true;
  });
  Main->mnuOptions->trigger();
  EXPECT_EQ(std::count(Main->Settings.SiteEnabled.begin(), Main->Settings.SiteEnabled.end(), 1), 4);
  EXPECT_EQ(Main->Settings.MaxSockets, 12);
  EXPECT_TRUE(Boxes.empty());
  // The dialog's defaults are stored now; the next load takes them.
  Main->LoadSettings();
  EXPECT_EQ(Main->Settings.MaxSockets, 16);
}

// Whichever way the options dialog then closes, the filter's choice stands:
// the options dialog does not write back the tick it showed before.
TEST_F(OptionsInUse, TheAdvancedFilterFromTheOptionsDialogReachesTheSearch) {
  for (const bool Ok : {false, true}) {
    SCOPED_TRACE(Ok ? "options closed with OK" : "options cancelled");
    clienttest::SeedString("Advanced", "InStockOnly", "0");
    Main->LoadSettings();
    ASSERT_FALSE(Main->Settings.InStockOnly);
    Main->mnuKeywordsOnly->setChecked(false);
    WhenShown<TfrmFilter>([&](TfrmFilter &F) {
      F.chkInStockOnly->setChecked(true);
      F.chkAllSearchWords->setChecked(true);
      F.btnOK->click();
      return true;
    });
    WhenShown<TfrmOptions>([&, Clicked = false](TfrmOptions &D) mutable {
      if (Clicked)
        return false;
      Clicked = true;
      D.btnAdvancedFilter->click();
      EXPECT_TRUE(D.chkInStockOnly->isChecked()) << "the filter's choice is shown";
      (Ok ? D.btnOK : D.btnCancel)->click();
      return true;
    });
    Main->btnOptions->click();
    EXPECT_EQ(clienttest::StoredString("Advanced", "InStockOnly"), "1");
    EXPECT_TRUE(Main->Settings.InStockOnly);
    EXPECT_EQ(clienttest::StoredString("Advanced", "AllSearchWords"), "1");
    // Reloading the settings unchecks "Keywords Only" again.
    EXPECT_FALSE(Main->mnuKeywordsOnly->isChecked());
  }
}

}  // namespace
