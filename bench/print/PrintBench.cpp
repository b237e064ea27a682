// Prints made-up result lists to PDF through the report and prints, for each
// size, the pages, the pages per second and the process's peak memory. The
// small list runs first: were pages held until the end, the peak would grow
// with the large one's page count.
//   print_bench [rows] [output.pdf]      (defaults: 10000, /tmp/print_bench.pdf)
#include <QApplication>
#include <QElapsedTimer>
#include <QPrinter>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "client/output/uprint.h"
#include "components/replistv.h"
#include "platform/SysUtils.h"

namespace {

long PeakKiB() {
  rusage U{};
  getrusage(RUSAGE_SELF, &U);
  return U.ru_maxrss;
}

void Fill(kv::TReportListView &List, int Rows) {
  static const char *const Stock[] = {"Y", "N", "Call"};
  List.BeginUpdate();
  for (int I = 0; I < Rows; ++I) {
    const std::string N = kv::IntToStr(I);
    List.AddItem(kv::TReportItem{"PN" + N + "-T",
                                 {"Voltage regulator, adjustable, 1.5A, TO-220 package, lot " + N,
                                  "Maker " + kv::IntToStr(I % 37), "", kv::FormatFloat("#,##0.00", (I % 5000) * 1.37),
                                  Stock[I % 3], kv::IntToStr(I % 900), "Shop " + kv::IntToStr(I % 12)},
                                 -1,
                                 {},
                                 nullptr});
  }
  List.EndUpdate();
}

void Run(int Rows, const std::string &File) {
  kv::TReportListView List;
  for (const char *C : {"Part Number", "Description", "Manufacturer", "Datasheet", "Price", "In Stock", "Quantity",
                        "Supplier"})
    List.AddColumn(C);
  Fill(List, Rows);
  const long Filled = PeakKiB();
  QPrinter Printer(QPrinter::HighResolution);
  Printer.setOutputFormat(QPrinter::PdfFormat);
  Printer.setOutputFileName(QString::fromStdString(File));
  TfrmPrintProducts Report(List, "LM317, NE555");
  QElapsedTimer Clock;
  Clock.start();
  Report.Print(Printer);
  const double Seconds = Clock.nsecsElapsed() / 1e9;
  std::printf("%6d rows: %4d pages in %.2f s, %.1f pages/s; peak memory %ld KiB with the list filled, %ld KiB "
              "after printing\n",
              Rows, Report.PageNumber, Seconds, Report.PageNumber / Seconds, Filled, PeakKiB());
}

}  // namespace

int main(int argc, char **argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication App(argc, argv);
  const int Rows = argc > 1 ? std::atoi(argv[1]) : 10000;
  const std::string File = argc > 2 ? argv[2] : "/tmp/print_bench.pdf";
  std::printf("peak memory before printing: %ld KiB\n", PeakKiB());
  Run(Rows / 10, File);
  Run(Rows, File);
  return 0;
}
