#include "client/output/uPrintCommands.h"

#include <QPrintDialog>
#include <QPrinter>

#include "client/output/FPrintin.h"
#include "client/output/uprint.h"
#include "platform/gui/Printing.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/Messages.h"

using namespace kv;

TPrintCommands::TPrintCommands(TReportListView *List, TPrintEvents Events, QWidget *Owner)
    : FList(List), FEvents(std::move(Events)), FOwner(Owner) {
  if (!FEvents.PrinterSetupDialog)
    FEvents.PrinterSetupDialog = [this](QPrinter &P) { PrinterSetupDialog(P, FOwner)->exec(); };
}

TPrintCommands::~TPrintCommands() = default;

QPrinter &TPrintCommands::Printer() {
  if (!FPrinter) {
    FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    SelectPrintTarget(*FPrinter);
  } else if (!PrinterReusable(*FPrinter)) {
    // However the last job ended (a start refused, a failure mid-report),
    // the next one and the set-up get a printer that takes settings.
    FPrinter = CopyPrinter(*FPrinter);
  }
  return *FPrinter;
}

void TPrintCommands::mnuPrintClick() {
  try {
    QPrinter &P = Printer();
    // A set-up dialog may have chosen a printer: the file still takes the job.
    SelectPrintTarget(P);
    auto Progress = std::make_unique<TfrmPrinting>(ToAnsi(P.printerName()), FOwner);
    Progress->ShowNow();
    auto Report = std::make_unique<TfrmPrintProducts>(*FList, FEvents.SearchText ? FEvents.SearchText() : "");
    Report->Print(P);
  } catch (...) {
    HandleException();
  }
}

void TPrintCommands::mnuPrinterSetupClick() {
  try {
    FEvents.PrinterSetupDialog(Printer());
  } catch (...) {
    HandleException();
  }
}
