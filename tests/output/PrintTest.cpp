// Printing: the progress window's text and shape, the report's feeding of
// rows, the one printer kept for the run, and failures reported with both
// forms gone. What the report draws is read back in PrintReadbackTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPrinter>
#include <QScreen>

#include <cstdlib>

#include "client/output/FPrintin.h"
#include "client/output/uPrintCommands.h"
#include "client/output/uprint.h"
#include "platform/qt/Codepage.h"
#include "tests/output/OutputSupport.h"
#include "tests/support/TestEnv.h"

using namespace kv;
using namespace outputtest;

namespace {

bool ProgressWindowLeft() {
  for (QWidget *W : QApplication::topLevelWidgets())
    if (W->objectName() == "frmPrinting")
      return true;
  return false;
}

TEST(Printing, ProgressWindowNamesThePrinterAndFitsItsText) {
  struct TCase {
    const char *Name, *Printer, *Text;
  };
  for (const TCase &C : {TCase{"named printer", "Office Laser", "Printing to Office Laser"},
                         TCase{"a long name", "Second floor colour printer by the stairs",
                               "Printing to Second floor colour printer by the stairs"},
                         TCase{"no name", "", "Printing to Local Printer"}}) {
    SCOPED_TRACE(C.Name);
    TfrmPrinting Form(C.Printer);
    EXPECT_EQ(Form.windowTitle(), QString("Printing Search Results"));
    EXPECT_EQ(Form.lblPrint->text(), QString(C.Text));
    EXPECT_NEAR(Form.width(), Form.lblPrint->fontMetrics().horizontalAdvance(C.Text) + 30, 2);
    EXPECT_EQ(Form.lblPrint->x(), 0);
    EXPECT_EQ(Form.lblPrint->width(), Form.width());
    EXPECT_EQ(Form.lblPrint->alignment(), Qt::AlignCenter);
    EXPECT_FALSE(Form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(Form.windowFlags() & Qt::WindowMinMaxButtonsHint);
    const QRect Screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_NEAR(Form.geometry().center().x(), Screen.center().x(), 1);
    EXPECT_NEAR(Form.geometry().center().y(), Screen.center().y(), 1);
  }
}

TEST(Printing, ReportIsFedTheRowsInTheirOrder) {
  TReportListView List;
  AddColumns(List);
  AddRow(List, {"B2", "Second", "M2", "http://ds", "2.00", "N", "20", "Beta"});
  AddRow(List, {"A1", "First", "M1", "", "1,500.00", "Call", "Call", "Alpha"});
  List.AddItem(TReportItem{"C3", {}, -1, {}, nullptr});
  TfrmPrintProducts Form(List, "LM317, NE555");
  EXPECT_EQ(Form.RowCounter, 0);
  EXPECT_EQ(Form.qrlblCriteria.Caption, "LM317, NE555");
  const std::vector<std::vector<std::string>> Want = {{"B2", "Second", "M2", "2.00", "N", "20", "Beta"},
                                                      {"A1", "First", "M1", "1,500.00", "Call", "Call", "Alpha"},
                                                      {"C3", "", "", "", "", "", ""}};
  for (size_t I = 0; I < Want.size(); ++I) {
    ASSERT_TRUE(Form.ProductReportNeedData());
    EXPECT_EQ(Form.RowCounter, static_cast<int>(I) + 1);
    const std::vector<std::string> Got = {Form.qrlblPartNo.Caption,  Form.qrlblDesc.Caption, Form.qrlblManf.Caption,
                                          Form.qrlblPrice.Caption,   Form.qrlblinStock.Caption,
                                          Form.qrlblQty.Caption,     Form.qrlblSupplier.Caption};
    EXPECT_EQ(Got, Want[I]) << "row " << I;
  }
  EXPECT_FALSE(Form.ProductReportNeedData());
  EXPECT_EQ(Form.RowCounter, 3);
}

class PrintCommand : public ::testing::Test {
protected:
  void SetUp() override {
    AddColumns(List);
    AddRow(List, {"LM317T", "Regulator", "ST", "", "1.00", "Y", "10", "Alpha"});
    setenv("KORVANDEL_PRINT_PDF", Pdf.c_str(), 1);
  }
  TPrintCommands Make(TPrintEvents E = {}) {
    if (!E.SearchText)
      E.SearchText = [] { return std::string("LM317"); };
    return TPrintCommands(&List, std::move(E), nullptr);
  }
  kvtest::IsolatedEnv Env;
  std::string Pdf = Env / "report.pdf";
  TReportListView List;
  TBoxRecorder Boxes;
};

// Printing holds the message loop: the progress window must have painted
// itself before the report starts.
TEST_F(PrintCommand, ProgressWindowPaintsBeforeThePrinting) {
  struct TWatch : QObject {
    std::vector<std::string> Seen;  // the label's text, and whether the PDF existed
    std::string Pdf;
    bool eventFilter(QObject *O, QEvent *E) override {
      if (E->type() == QEvent::Paint && O->objectName() == "frmPrinting")
        Seen.push_back(ToAnsi(static_cast<TfrmPrinting *>(O)->lblPrint->text()) +
                       (kvtest::FileExists(Pdf) ? " (printed)" : ""));
      return false;
    }
  } Watch;
  Watch.Pdf = Pdf;
  qApp->installEventFilter(&Watch);
  TPrintCommands Commands = Make();
  Commands.mnuPrintClick();
  qApp->removeEventFilter(&Watch);
  ASSERT_FALSE(Watch.Seen.empty());
  EXPECT_EQ(Watch.Seen.front().rfind("Printing to ", 0), 0u) << Watch.Seen.front();
  EXPECT_EQ(Watch.Seen.front().find("(printed)"), std::string::npos);
  EXPECT_TRUE(kvtest::FileExists(Pdf));
  EXPECT_FALSE(ProgressWindowLeft());
  EXPECT_TRUE(Boxes.Boxes.empty());
}

// A printer that cannot start is reported once; neither form stays.
TEST_F(PrintCommand, PrinterThatCannotStartIsReported) {
  setenv("KORVANDEL_PRINT_PDF", (Env / "missing/report.pdf").c_str(), 1);
  TPrintCommands Commands = Make();
  Commands.mnuPrintClick();
  ASSERT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_EQ(Boxes.Boxes[0].Text, "The printer could not be started.");
  EXPECT_EQ(Boxes.Boxes[0].Flags, MB_OK | MB_ICONERROR);
  EXPECT_FALSE(ProgressWindowLeft());
  // The next print, with a place to write, works.
  setenv("KORVANDEL_PRINT_PDF", Pdf.c_str(), 1);
  Commands.mnuPrintClick();
  EXPECT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_TRUE(kvtest::FileExists(Pdf));
}

// The set-up dialog works on the one printer every print uses.
TEST_F(PrintCommand, SetupWorksOnTheOnePrinter) {
  std::vector<QPrinter *> Seen;
  TPrintEvents E;
  E.PrinterSetupDialog = [&Seen](QPrinter &P) { Seen.push_back(&P); };
  TPrintCommands Commands = Make(std::move(E));
  Commands.mnuPrinterSetupClick();
  Commands.mnuPrintClick();
  Commands.mnuPrinterSetupClick();
  ASSERT_EQ(Seen.size(), 2u);
  EXPECT_EQ(Seen[0], &Commands.Printer());
  EXPECT_EQ(Seen[1], &Commands.Printer());
  EXPECT_TRUE(Boxes.Boxes.empty());
}

}  // namespace
