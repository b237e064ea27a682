#pragma once
// Where print jobs go: with $KORVANDEL_PRINT_PDF naming a file, every job on
// the printer goes to that PDF file (tests, machines without a printer);
// otherwise the printer stays as the user set it up.
class QPrinter;

namespace kv {

void SelectPrintTarget(QPrinter &Printer);

}  // namespace kv
