#include "platform/gui/Printing.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cstdlib>

namespace kv {

void SelectPrintTarget(QPrinter &Printer) {
  const char *File = std::getenv("KORVANDEL_PRINT_PDF");
  if (!File || !*File)
    return;
  Printer.setOutputFormat(QPrinter::PdfFormat);
  Printer.setOutputFileName(QString::fromLocal8Bit(File));
}

bool PrinterReusable(const QPrinter &Printer) {
  return Printer.printerState() == QPrinter::Idle;
}

std::unique_ptr<QPrinter> CopyPrinter(const QPrinter &Printer) {
  auto Copy = std::make_unique<QPrinter>(QPrinter::HighResolution);
  // The target first: choosing a printer resets what depends on it.
  if (Printer.outputFormat() == QPrinter::NativeFormat) {
    Copy->setPrinterName(Printer.printerName());
    // Job options the print system keeps in its engine (pages per sheet,
    // banners, priority...).
    const QVariant Options = Printer.printEngine()->property(QPrintEngine::PPK_CustomBase);
    if (Copy->outputFormat() == QPrinter::NativeFormat && Options.isValid())
      Copy->printEngine()->setProperty(QPrintEngine::PPK_CustomBase, Options);
  } else {
    Copy->setOutputFormat(QPrinter::PdfFormat);
    // An empty name would send the printer back to the system's default.
    if (!Printer.outputFileName().isEmpty())
      Copy->setOutputFileName(Printer.outputFileName());
    Copy->setPdfVersion(Printer.pdfVersion());
  }
  Copy->setPageLayout(Printer.pageLayout());
  Copy->setFullPage(Printer.fullPage());
  Copy->setResolution(Printer.resolution());
  Copy->setCopyCount(Printer.copyCount());
  Copy->setCollateCopies(Printer.collateCopies());
  Copy->setPageOrder(Printer.pageOrder());
  Copy->setColorMode(Printer.colorMode());
  Copy->setDuplex(Printer.duplex());
  Copy->setPaperSource(Printer.paperSource());
  Copy->setPrintRange(Printer.printRange());
  Copy->setPageRanges(Printer.pageRanges());
  Copy->setFontEmbeddingEnabled(Printer.fontEmbeddingEnabled());
  Copy->setDocName(Printer.docName());
  Copy->setCreator(Printer.creator());
  return Copy;
}

namespace {

// Moves a window that grew past its screen's work area back onto it: the
// dialog's options open below and to the right of where it was placed.
class TKeepOnScreen : public QObject {
public:
  using QObject::QObject;
  bool eventFilter(QObject *Object, QEvent *Event) override {
    if (Event->type() == QEvent::Show || Event->type() == QEvent::Resize)
      KeepOnScreen(*static_cast<QWidget *>(Object));
    return false;
  }

private:
  static void KeepOnScreen(QWidget &Window) {
    const QScreen *Screen = Window.screen();
    if (!Screen)
      return;
    const QRect Area = Screen->availableGeometry();
    const QRect Frame = Window.frameGeometry();
    QPoint To = Frame.topLeft();
    To.setX(std::max(Area.left(), std::min(To.x(), Area.right() + 1 - Frame.width())));
    To.setY(std::max(Area.top(), std::min(To.y(), Area.bottom() + 1 - Frame.height())));
    if (To != Frame.topLeft())
      Window.move(To);
  }
};

}  // namespace

std::unique_ptr<QPrintDialog> PrinterSetupDialog(QPrinter &Printer, QWidget *Owner) {
  auto Dialog = std::make_unique<QPrintDialog>(&Printer, Owner);
  Dialog->setObjectName("dlgPrintSetup");
  Dialog->setWindowTitle("Printer Setup");
  if (auto *Buttons = Dialog->findChild<QDialogButtonBox *>())
    if (QPushButton *Ok = Buttons->button(QDialogButtonBox::Ok))
      Ok->setText("OK");
  Dialog->installEventFilter(new TKeepOnScreen(Dialog.get()));
  return Dialog;
}

}  // namespace kv
