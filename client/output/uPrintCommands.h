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
  // The printer set-up dialog on Printer (a Qt print dialog unless set).
  std::function<void(QPrinter &Printer)> PrinterSetupDialog;
};

class TPrintCommands {
public:
  // Owner: the window the progress window and the set-up dialog belong to.
  TPrintCommands(kv::TReportListView *List, TPrintEvents Events, QWidget *Owner);
  ~TPrintCommands();

  // Created at its first use and kept for the program's run.
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
