// Printing: the progress window's text and shape, the report's feeding of
// rows, the one printer kept for the run, failures reported with both forms
// gone and leaving the printer's settings usable, and the set-up dialog.
// What the report draws is read back in PrintReadbackTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cstdlib>
#include <functional>

#include "client/output/FPrintin.h"
#include "client/output/uPrintCommands.h"
#include "client/output/uprint.h"
#include "platform/SysUtils.h"
#include "platform/gui/Printing.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/Messages.h"
#include "tests/output/OutputSupport.h"
#include "tests/support/Poll.h"
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

// A choice the set-up offers, made one way or another, read back as text
// (those a PDF writer holds: it has no duplex or paper source).
struct TChoice {
  const char *Name;
  std::function<void(QPrinter &P, bool Other)> Choose;
  std::function<std::string(const QPrinter &P)> Read;
};

const std::vector<TChoice> &Choices() {
  static const std::vector<TChoice> All = {
      {"page size",
       [](QPrinter &P, bool Other) { P.setPageSize(QPageSize(Other ? QPageSize::A5 : QPageSize::Letter)); },
       [](const QPrinter &P) { return P.pageLayout().pageSize().name().toStdString(); }},
      {"margins",
       [](QPrinter &P, bool Other) {
         P.setPageMargins(QMarginsF(Other ? 12 : 7, 9, 11, Other ? 5 : 13), QPageLayout::Millimeter);
       },
       [](const QPrinter &P) {
         const QMarginsF M = P.pageLayout().margins(QPageLayout::Millimeter);
         return Format("%.1f %.1f %.1f %.1f", M.left(), M.top(), M.right(), M.bottom());
       }},
      {"copies", [](QPrinter &P, bool Other) { P.setCopyCount(Other ? 2 : 3); },
       [](const QPrinter &P) { return std::to_string(P.copyCount()); }},
      {"collate", [](QPrinter &P, bool Other) { P.setCollateCopies(Other); },
       [](const QPrinter &P) { return std::to_string(P.collateCopies()); }},
      {"page order",
       [](QPrinter &P, bool Other) { P.setPageOrder(Other ? QPrinter::FirstPageFirst : QPrinter::LastPageFirst); },
       [](const QPrinter &P) { return std::to_string(P.pageOrder()); }},
      {"colour", [](QPrinter &P, bool Other) { P.setColorMode(Other ? QPrinter::Color : QPrinter::GrayScale); },
       [](const QPrinter &P) { return std::to_string(P.colorMode()); }},
      {"page range",
       [](QPrinter &P, bool Other) {
         P.setPrintRange(QPrinter::PageRange);
         P.setFromTo(Other ? 1 : 2, Other ? 4 : 3);
       },
       [](const QPrinter &P) {
         return std::to_string(P.printRange()) + " " + std::to_string(P.fromPage()) + "-" + std::to_string(P.toPage());
       }},
  };
  return All;
}

// What Qt said while it lived: a refused setting is only ever a warning.
class TQtWarnings {
public:
  TQtWarnings() : FOld(qInstallMessageHandler(&Record)) { Said().clear(); }
  ~TQtWarnings() { qInstallMessageHandler(FOld); }
  static std::vector<std::string> &Said() {
    static std::vector<std::string> Messages;
    return Messages;
  }

private:
  static void Record(QtMsgType, const QMessageLogContext &, const QString &Text) {
    Said().push_back(Text.toStdString());
  }
  QtMessageHandler FOld;
};

// A start the printer refuses, as on a desktop without a printer (only a PDF
// writer without a file): the choices made before are kept, the set-up's
// next choices take effect and the next print prints.
TEST_F(PrintCommand, RefusedStartKeepsTheChoicesAndTakesTheNext) {
  unsetenv("KORVANDEL_PRINT_PDF");
  TQtWarnings Warnings;
  bool Other = false;
  std::vector<std::string> Chosen[2];
  TPrintEvents E;
  E.PrinterSetupDialog = [&](QPrinter &P) {
    if (Other) {
      P.setOutputFileName(QString::fromStdString(Pdf));
    } else {
      P.setOutputFileName({});
      P.setOutputFormat(QPrinter::PdfFormat);
    }
    for (const TChoice &C : Choices()) {
      C.Choose(P, Other);
      Chosen[Other].push_back(C.Read(P));
    }
  };
  TPrintCommands Commands = Make(std::move(E));
  const auto Holds = [&](const std::vector<std::string> &Want, const char *What) {
    for (size_t I = 0; I < Choices().size(); ++I)
      EXPECT_EQ(Choices()[I].Read(Commands.Printer()), Want[I]) << Choices()[I].Name << " " << What;
  };
  Commands.mnuPrinterSetupClick();
  Commands.mnuPrintClick();
  ASSERT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_EQ(Boxes.Boxes[0].Text, "The printer could not be started.");
  EXPECT_FALSE(ProgressWindowLeft());
  Holds(Chosen[0], "kept");
  Other = true;
  Commands.mnuPrinterSetupClick();
  for (size_t I = 0; I < Choices().size(); ++I)
    EXPECT_NE(Chosen[1][I], Chosen[0][I]) << Choices()[I].Name << " not taken";
  Holds(Chosen[1], "taken");
  EXPECT_EQ(ToAnsi(Commands.Printer().outputFileName()), Pdf);
  Commands.mnuPrintClick();
  EXPECT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_TRUE(kvtest::FileExists(Pdf));
  for (const std::string &Said : TQtWarnings::Said())
    EXPECT_EQ(Said.find("Cannot be changed"), std::string::npos) << Said;
}

QPushButton *ButtonReading(QWidget &Dialog, const QString &Start) {
  for (QPushButton *B : Dialog.findChildren<QPushButton *>())
    if (B->isVisible() && B->text().remove('&').startsWith(Start))
      return B;
  return nullptr;
}

// The set-up chooses and prints nothing: it says what it is, and stays on
// the screen when its options open out of a corner.
TEST(PrinterSetup, SaysWhatItIsAndStaysOnTheScreen) {
  QPrinter Printer(QPrinter::HighResolution);
  std::unique_ptr<QPrintDialog> Dialog = PrinterSetupDialog(Printer, nullptr);
  Dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Dialog.get()));
  EXPECT_EQ(Dialog->windowTitle(), QString("Printer Setup"));
  auto *Buttons = Dialog->findChild<QDialogButtonBox *>();
  ASSERT_TRUE(Buttons);
  QPushButton *Ok = Buttons->button(QDialogButtonBox::Ok);
  ASSERT_TRUE(Ok);
  EXPECT_EQ(Ok->text(), QString("OK"));
  EXPECT_TRUE(Ok->isDefault());
  for (QPushButton *B : Dialog->findChildren<QPushButton *>())
    EXPECT_FALSE(B->text().remove('&').contains("Print")) << ToAnsi(B->text());

  const QRect Area = Dialog->screen()->availableGeometry();
  const QSize Closed = Dialog->frameGeometry().size();
  Dialog->move(Area.right() + 1 - Closed.width(), Area.bottom() + 1 - Closed.height());
  ASSERT_TRUE(
      WaitUntil([&] { return Dialog->frameGeometry().bottomRight() == Area.bottomRight(); }, kvtest::WaitLimitMs));
  QPushButton *Options = ButtonReading(*Dialog, "Options");
  ASSERT_TRUE(Options);
  Options->click();
  ASSERT_TRUE(WaitUntil([&] { return Dialog->height() > Closed.height(); }, kvtest::WaitLimitMs));
  EXPECT_TRUE(WaitUntil([&] { return Area.contains(Dialog->frameGeometry()); }, kvtest::WaitLimitMs))
      << Dialog->x() << "," << Dialog->y() << " " << Dialog->width() << "x" << Dialog->height();
  EXPECT_EQ(Ok->text(), QString("OK"));
  EXPECT_EQ(Dialog->windowTitle(), QString("Printer Setup"));
}

}  // namespace
