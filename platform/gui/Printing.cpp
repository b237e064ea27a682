#include "platform/gui/Printing.h"

#include <QPrinter>

#include <cstdlib>

namespace kv {

void SelectPrintTarget(QPrinter &Printer) {
  const char *File = std::getenv("KORVANDEL_PRINT_PDF");
  if (!File || !*File)
    return;
  Printer.setOutputFormat(QPrinter::PdfFormat);
  Printer.setOutputFileName(QString::fromLocal8Bit(File));
}

}  // namespace kv
