// The main window's menus, toolbar buttons and shortcut reach the saving,
// exporting and printing commands, on the real catalogue over fixture sites.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <functional>

#include "client/output/uExport.h"
#include "client/server/uServer.h"
#include "client/window/uCommands.h"
#include "client/window/uListPictures.h"
#include "tests/output/MainWindowFixture.h"

using namespace outputtest;

namespace {

using Wiring = TMainWindowTest;

TEST_F(Wiring, MenusAndButtonsRunTheCommands) {
  struct TCase {
    const char *Name;
    std::function<void(TfrmMain &)> Run;
    bool Asks;  // shows the save dialog
    const char *Written;
  };
  const std::vector<TCase> Cases = {
      {"menu: export search results", [](TfrmMain &M) { M.mnuFileSaveResultsAs->trigger(); }, true, "saved.HTML"},
      {"toolbar: Export", [](TfrmMain &M) { M.btnSave->click(); }, true, "saved.HTML"},
      {"menu: export item", [](TfrmMain &M) { M.mnuExportItem->trigger(); }, true, "saved.csv"},
      {"menu: export lowest price list", [](TfrmMain &M) { M.mnuExportLowestPrice->trigger(); }, true, "saved.csv"},
      {"menu: print", [](TfrmMain &M) { M.mnuPrint->trigger(); }, false, "report.pdf"},
      {"toolbar: Print", [](TfrmMain &M) { M.btnPrint->click(); }, false, "report.pdf"},
  };
  Main->lstProducts->SetSelected(0);
  Main->mnuFileClick();
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    kv::DeleteFile(Env / C.Written);
    const size_t Shown = Dialog.Shown.size();
    if (C.Asks)
      Dialog.Answers.push_back({true, Env / C.Written, 3});
    C.Run(*Main);
    EXPECT_EQ(Dialog.Shown.size(), Shown + (C.Asks ? 1 : 0));
    EXPECT_TRUE(kvtest::FileExists(Env / C.Written));
  }
  EXPECT_TRUE(Boxes.Boxes.empty());
}

// The lowest-price export leaves the list sorted by part number, the
// window's sort state at that column and direction -1, and the header
// showing that order: the earlier sort column's glyph goes, and the first
// click on Part Number reverses the order.
TEST_F(Wiring, LowestPriceExportLeavesTheWindowSorted) {
  kv::TReportListView &List = *Main->lstProducts;
  const auto Shows = [&List](int Col, const QPixmap &Picture) {
    return List.ColumnHeaderPicture(Col).toImage() == Picture.toImage();
  };
  List.ColClick(4);
  List.ColClick(4);
  ASSERT_EQ(Main->Commands->Sort.SortDirection, 1);
  ASSERT_TRUE(Shows(4, Main->ListPictures->SortDownGlyph));
  Dialog.Answers.push_back({true, Env / "low.csv", 1});
  Main->mnuExportLowestPrice->trigger();
  EXPECT_EQ(Main->Commands->Sort.SortDirection, -1);
  EXPECT_EQ(Main->Commands->Sort.LastSortedColumn, 0);
  EXPECT_EQ(Captions(List), (std::vector<std::string>{"A1", "B2"}));
  EXPECT_TRUE(List.ColumnHeaderPicture(4).isNull());
  EXPECT_TRUE(Shows(0, Main->ListPictures->SortUpGlyph));
  EXPECT_TRUE(Shows(3, Main->ListPictures->ilstHeaderItems.Image(HeaderImage::Datasheet)));
  List.ColClick(0);
  EXPECT_EQ(Captions(List), (std::vector<std::string>{"B2", "A1"}));
  EXPECT_TRUE(Shows(0, Main->ListPictures->SortDownGlyph));
  List.ColClick(0);
  EXPECT_EQ(Captions(List), (std::vector<std::string>{"A1", "B2"}));
  EXPECT_TRUE(Shows(0, Main->ListPictures->SortUpGlyph));
}

// Ctrl+P obeys the rule of "&Print" in the File menu (enabled exactly when
// the list has rows) whether or not the menu was opened since the rows came.
TEST_F(Wiring, CtrlPPrintsExactlyWhenTheListHasRows) {
  // Past the start-up check; without stored details the logon ends at once.
  Main->Server->Connected = true;
  Main->show();
  // The printing form of a job may have taken the activation.
  const auto CtrlP = [this] {
    QApplication::setActiveWindow(Main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(Main));
    QTest::keyClick(Main, Qt::Key_P, Qt::ControlModifier);
  };
  CtrlP();
  EXPECT_TRUE(kvtest::FileExists(Pdf));
  kv::DeleteFile(Pdf);
  Main->lstProducts->ClearItems();
  CtrlP();
  EXPECT_FALSE(kvtest::FileExists(Pdf));
  EXPECT_FALSE(Main->mnuPrint->isEnabled());
  AddRow(*Main->lstProducts, {"C3", "d", "m", "", "3.00", "Y", "1", "S3"});
  EXPECT_TRUE(Main->mnuPrint->isEnabled());
  CtrlP();
  EXPECT_TRUE(kvtest::FileExists(Pdf));
  EXPECT_TRUE(Boxes.Boxes.empty());
}

// "Printer Setup..." opens the print system's dialog as a set-up: titled so,
// confirmed with "OK" (it prints nothing); it is closed again unchanged.
TEST_F(Wiring, PrinterSetupOpensThePrintDialog) {
  std::string Seen, Title;
  std::vector<std::string> Buttons;
  QTimer Closer;
  QObject::connect(&Closer, &QTimer::timeout, [&] {
    if (QWidget *W = QApplication::activeModalWidget()) {
      Seen = W->metaObject()->className();
      Title = W->windowTitle().toStdString();
      for (QPushButton *B : W->findChildren<QPushButton *>())
        if (B->isVisible())
          Buttons.push_back(B->text().remove('&').toStdString());
      W->close();
    }
  });
  Closer.start(20);
  Main->mnuPrinterSetup->trigger();
  EXPECT_EQ(Seen, "QPrintDialog");
  EXPECT_EQ(Title, "Printer Setup");
  EXPECT_NE(std::find(Buttons.begin(), Buttons.end(), "OK"), Buttons.end());
  for (const std::string &B : Buttons)
    EXPECT_EQ(B.find("Print"), std::string::npos) << B;
}

}  // namespace
