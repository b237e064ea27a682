#pragma once
// "&Print" and "Printer Setup...": the result list printed as a report on
// the window's one printer, whose set-up lasts for the program's run.
#include <functional>
#include <memory>
#include <string>

class QPrinter;
class QWidget;
namespace kv {
class TReportListView;
}

// What printing needs of the main window.
struct TPrintEvents {
  // The search box's text now.
  std::function<std::string()> SearchText;
  // The printer set-up dialog on Printer (the print system's dialog as a
  // set-up unless set).
  std::function<void(QPrinter &Printer)> PrinterSetupDialog;
};

class TPrintCommands {
public:
  // Owner: the window the progress window and the set-up dialog belong to.
  TPrintCommands(kv::TReportListView *List, TPrintEvents Events, QWidget *Owner);
  ~TPrintCommands();

  // Created at its first use; its settings last for the program's run. A
  // printer a job left unusable is replaced by one with its settings, so
  // the reference holds until the next print or set-up only.
  QPrinter &Printer();
  // Prints at once with a progress window; a failure is reported as the
  // message loop would, after both forms are gone.
  void mnuPrintClick();
  void mnuPrinterSetupClick();

private:
  kv::TReportListView *FList;
  TPrintEvents FEvents;
  QWidget *FOwner;
  std::unique_ptr<QPrinter> FPrinter;
};
