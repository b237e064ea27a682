// The main window's wiring of the dialogs and links, over the real catalogue
// and fixture sites: the Help menu's items from the catalogue, the quick help
// page shipped beside the program, the logo, the support address, the About
// box, the link type from the settings, and the statistics window following
// a search.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <thread>

#include "client/search/uSearch.h"
#include "client/settings/uUserDetails.h"
#include "client/uApplication.h"
#include "client/uCatalogue.h"
#include "client/window/FAbout.h"
#include "client/window/FStat.h"
#include "client/window/uproof.h"
#include "common/Common.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/gui/Shell.h"
#include "platform/qt/Messages.h"
#include "platform/qt/Codepage.h"
#include "tests/support/Poll.h"
#include "tests/client/ClientTestSupport.h"

namespace {

using namespace clienttest;

class MainWindowLinks : public ::testing::Test {
protected:
  void SetUp() override {
    ResetTerminateRequest();
    AddFixtureSite(kv::GetCurrentDir() + "/Lib", "A1", "Alpha");
    AddFixtureSite(kv::GetCurrentDir() + "/Lib", "B2", "Beta");
    StartFromProgramFolder(Env);
    kv::SetMessageBoxHook([](const std::string &, const std::string &, unsigned) { return kv::IDOK; });
    kv::SetShellOpenHook([this](const std::string &T) { Opened.push_back(T); });
    kv::SetStartProgramHook([this](const std::string &P, const std::vector<std::string> &A, const std::string &) {
      Started.push_back(P + " " + (A.empty() ? "" : A[0]));
      return true;
    });
  }
  void TearDown() override {
    delete Main;
    delete frmStatistics;
    frmStatistics = nullptr;
    kv::SetShellOpenHook(nullptr);
    kv::SetStartProgramHook(nullptr);
    kv::SetMessageBoxHook({});
    StopUsingProgramFolder();
  }
  void Create() {
    Main = new TfrmMain();
    ASSERT_TRUE(Main->Created) << CatalogueBindError;
  }
  QAction *HelpItem(const char *Text) {
    for (QAction *A : Main->mnuHelp->actions())
      if (A->text() == Text)
        return A;
    return nullptr;
  }

  kvtest::IsolatedEnv Env;
  TfrmMain *Main = nullptr;
  std::vector<std::string> Opened, Started;
};

TEST_F(MainWindowLinks, HelpMenuCarriesTheCataloguesItems) {
  Create();
  std::vector<std::string> Texts;
  for (QAction *A : Main->mnuHelp->actions())
    Texts.push_back(A->isSeparator() ? "-" : A->text().toStdString());
  EXPECT_EQ(Texts, (std::vector<std::string>{"&Quick Help", "&Online Help", "-", "&FAQ", "&Support...",
                                             "&About..."}));
  ASSERT_TRUE(HelpItem("&Online Help"));
  EXPECT_EQ(HelpItem("&Online Help")->shortcut(), QKeySequence(Qt::Key_F1));
  HelpItem("&Online Help")->trigger();
  HelpItem("&FAQ")->trigger();
  EXPECT_EQ(Opened, (std::vector<std::string>{"http://www.korvandel.com/kv_homepage/user_manual.asp",
                                              "http://www.korvandel.com/kv_homepage/faq.asp"}));
}

TEST_F(MainWindowLinks, QuickHelpOpensTheShippedPage) {
  Create();
  const std::string Page = std::filesystem::canonical(std::filesystem::path(ProgramDirectory()) / "Korvandel.html").string();
  Main->mnuHelpGeneral->trigger();
  EXPECT_EQ(Opened, std::vector<std::string>{Page});
  EXPECT_NE(kvtest::ReadFile(Page).find("<title>Korvandel Quick Help</title>"), std::string::npos);
}

TEST_F(MainWindowLinks, LogoAndSupportOpenTheProductsAddresses) {
  Create();
  const QPointF At(3, 3);
  QMouseEvent Release(QEvent::MouseButtonRelease, At, Main->imgLogo->mapToGlobal(At), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(Main->imgLogo, &Release);
  Main->mnuHelpSupport->trigger();
  EXPECT_EQ(Opened, (std::vector<std::string>{"http://www.korvandel.test/", "mailto:support@korvandel.test"}));
}

TEST_F(MainWindowLinks, LinkTypeComesFromTheSettings) {
  SeedString("Browser", "LinkType", "1");
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_CLASSES_ROOT);
  ASSERT_TRUE(Reg.OpenKey("\\.htm\\shell\\open\\command", true));
  Reg.WriteString("", "C:\\Browser\\NETSCAPE.EXE -h \"%1\"");
  Create();
  Main->imgLogoClick();
  EXPECT_TRUE(Opened.empty());
  EXPECT_EQ(Started, std::vector<std::string>{std::string(getenv("KORVANDEL_DRIVE_C")) +
                                              "/Browser/NETSCAPE http://www.korvandel.test/"});
}

TEST_F(MainWindowLinks, AboutFromTheMenu) {
  WriteUserDetails("DEMO1001", "parts4all");
  Create();
  std::string Key, Title;
  // The box repaints the window's animations while it is made, which runs
  // pending timers: look for it until it is up.
  QTimer Answer;
  Answer.setInterval(0);
  QObject::connect(&Answer, &QTimer::timeout, [&] {
    if (auto *About = dynamic_cast<TfrmAbout *>(QApplication::activeModalWidget())) {
      Answer.stop();
      Key = kv::ToAnsi(About->lblKey->text());
      Title = kv::ToAnsi(About->windowTitle());
      About->lblWebClick();
      About->btnCloseClick();
    }
  });
  Answer.start();
  Main->mnuAbout->trigger();
  EXPECT_EQ(Key, "Your Customer ID: DEMO1001");
  EXPECT_EQ(Title, "About Korvandel");
  EXPECT_EQ(Opened, std::vector<std::string>{"http://www.korvandel.test/"});
}

TEST_F(MainWindowLinks, MerchantQuestionUsesTheWindowsFlags) {
  Create();
  Main->Settings.ShowGoSite = false;
  Main->Settings.GoSite = true;
  EXPECT_TRUE(Main->ConfirmGotoSite("Alpha"));
  EXPECT_EQ(StoredString("Advanced", "ShowGoSite"), "0");
  EXPECT_EQ(StoredString("Advanced", "GoSite"), "1");
}

TEST_F(MainWindowLinks, StatisticsMenuItemAndCloseButton) {
  frmStatistics = new TfrmStatistics();
  Create();
  Main->mnuStatistics->trigger();
  EXPECT_TRUE(Main->mnuStatistics->isChecked());
  EXPECT_TRUE(frmStatistics->isVisible());
  frmStatistics->btnClose->click();
  EXPECT_FALSE(frmStatistics->isVisible());
  EXPECT_FALSE(Main->mnuStatistics->isChecked());
}

// Both fixture sites point at a port that refuses: each is started, fails
// and is completed, and the window counts along.
TEST_F(MainWindowLinks, StatisticsFollowASearch) {
  setenv("KORVANDEL_HOSTS", "x.test=127.0.0.1:1,www.korvandel.test=127.0.0.1:1", 1);
  frmStatistics = new TfrmStatistics();
  Create();
  Main->Settings.SiteEnabled = {1, 1};
  EXPECT_TRUE(frmStatistics->SiteEligible(0));
  Main->editSearch->setEditText("LM317");
  Main->btnFindNowClick();
  ASSERT_TRUE(kv::WaitUntil([&] { return !Main->Search->Searching(); }, kvtest::WaitLimitMs));
  EXPECT_EQ(frmStatistics->Total(), 2);
  EXPECT_EQ(frmStatistics->Remaining(), 0);
  EXPECT_EQ(frmStatistics->Complete(), 2);
  EXPECT_EQ(frmStatistics->Active(), 0);
  EXPECT_FALSE(frmStatistics->timTime->isActive());
  EXPECT_NE(frmStatistics->StartTime(), 0);
  unsetenv("KORVANDEL_HOSTS");
}

}  // namespace
