#pragma once
// The printer and its set-up. With $KORVANDEL_PRINT_PDF naming a file, every
// job on the printer goes to that PDF file (tests, machines without a
// printer); otherwise the printer stays as the user set it up.
#include <memory>

class QPrintDialog;
class QPrinter;
class QWidget;

namespace kv {

void SelectPrintTarget(QPrinter &Printer);

// A job that could not start can leave a printer active for good, refusing
// every later setting: such a printer is replaced by a copy.
bool PrinterReusable(const QPrinter &Printer);
// A new printer holding Printer's choices: the printer or file, the page
// (size, orientation, margins), copies and their order, colour, duplex,
// paper source and range, and the print system's own job options.
std::unique_ptr<QPrinter> CopyPrinter(const QPrinter &Printer);

// The print system's dialog as a set-up: it chooses the printer and its
// settings for later jobs and prints nothing, so it is titled "Printer
// Setup" and confirmed with "OK". It stays on its screen as it grows.
std::unique_ptr<QPrintDialog> PrinterSetupDialog(QPrinter &Printer, QWidget *Owner);

}  // namespace kv
