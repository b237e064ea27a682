// Writes 100,000 offer rows with each export of the result list (the
// delimited file, the HTML table, and the document and workbook through our
// word-processor and spreadsheet stand-ins) and, in the same run, writes the
// same bytes with one write call to a new file: the floor. Prints the best of
// a few runs of each.
//
//   export_bench [folder [CSV|HTML|HTML*|DOC|XLS]...]
//     files go to folder ("" or none: a new temporary one, removed at the
//     end); names pick exports
//
// HTML* is the HTML export with an owner's handler setting colours and
// styles, as the main window's list has.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <QApplication>

#include "components/replistv.h"
#include "bench/support/BenchOffers.h"
#include "bench/support/BenchTiming.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "platform/office/OfficeStandIns.h"

using namespace kv;

namespace {

constexpr int Rows = 100000;
constexpr int Runs = 5;

// Offer rows with the texts shops give: commas in prices and descriptions,
// quotes, markup characters, accented letters, empty cells.
std::vector<TReportItem> Offers() { return MakeOffers(Rows, {.ShopTexts = true}); }

// The HTML export with an owner's handler dressing cells as the main window
// does: the caption bold, the price coloured, every other supplier italic.
void SaveWithColours(TReportListView &View, const std::string &File) {
  View.OnDrawItemProp = [](TReportListView *, int Row, int SubItem, TOwnerDrawState, TBrush &Brush, TFont &Font,
                           const std::string &) {
    if (SubItem == -1)
      Font.Style |= fsBold;
    if (SubItem == 3) {
      Brush.Color = clYellow;
      Font.Color = clRed;
    }
    if (SubItem == 6 && Row % 2)
      Font.Style |= fsItalic;
  };
  View.SaveToHTML(File);
  View.OnDrawItemProp = nullptr;
}

// One write call of the whole data into a new file.
double Floor(const std::string &File, const std::string &Data) {
  const auto t0 = Clock::now();
  const int fd = open(File.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, Data.data(), Data.size()) != static_cast<ssize_t>(Data.size()) || close(fd) != 0) {
    std::perror(File.c_str());
    return -1;
  }
  return Ms(t0, Clock::now());
}

}  // namespace

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::string folder;
  bool madeFolder = false;
  if (argc > 1 && *argv[1]) {
    folder = argv[1];
  } else {
    char tmpl[] = "/tmp/export_bench.XXXXXX";
    if (!mkdtemp(tmpl)) {
      std::perror("mkdtemp");
      return 1;
    }
    folder = tmpl;
    madeFolder = true;
  }
  RegisterOfficeStandIns();

  TReportListView view;
  const std::pair<const char *, TAlignment> columns[] = {
      {"Part Number", taLeftJustify}, {"Description", taLeftJustify}, {"Manufacturer", taLeftJustify},
      {"Datasheet", taLeftJustify},   {"Price", taRightJustify},      {"In Stock", taCenter},
      {"Quantity", taRightJustify},   {"Supplier", taLeftJustify}};
  for (const auto &[caption, alignment] : columns)
    view.AddColumn(caption, 90, alignment);
  view.BeginUpdate();
  for (const TReportItem &it : Offers())
    view.AddItem(it);
  view.EndUpdate();
  view.SetSaveHeader(true);

  struct Export {
    const char *Name, *File;
    std::function<void(const std::string &)> Run;
    const char *Target;
  };
  const Export exports[] = {
      {"CSV", "offers.csv", [&](const std::string &f) { view.SaveToCSV(f); }, "within 3x the floor"},
      {"HTML", "offers.html", [&](const std::string &f) { view.SaveToHTML(f); }, "within 3x the floor"},
      {"HTML*", "offers.html", [&](const std::string &f) { SaveWithColours(view, f); }, "within 3x the floor"},
      {"DOC", "offers.doc", [&](const std::string &f) { view.SaveToDOC(f); }, "under 5 s"},
      {"XLS", "offers.xls", [&](const std::string &f) { view.SaveToXLS(f); }, "under 5 s"},
  };
  std::printf("rows %d, columns %d, files in %s\n", Rows, view.ColumnCount(), folder.c_str());
  std::printf("%-5s %12s %11s %11s %7s   target\n", "", "bytes", "export ms", "floor ms", "ratio");
  for (const Export &e : exports) {
    if (argc > 2 && std::none_of(argv + 2, argv + argc, [&](const char *a) { return SameText(a, e.Name); }))
      continue;
    const std::string file = folder + "/" + e.File, floorFile = folder + "/floor-" + e.File;
    double best = 1e300, floor = 1e300;
    std::string data;
    for (int run = 0; run < Runs; ++run) {
      // Both write a new file: freeing the blocks of an earlier one is the
      // file system's cost, not the writer's.
      unlink(file.c_str());
      unlink(floorFile.c_str());
      const auto t0 = Clock::now();
      try {
        e.Run(file);
      } catch (const std::exception &x) {
        std::printf("%s failed: %s\n", e.Name, x.what());
        return 1;
      }
      best = std::min(best, Ms(t0, Clock::now()));
      if (!ReadFileToString(file, data)) {
        std::printf("%s wrote no file\n", e.Name);
        return 1;
      }
      floor = std::min(floor, Floor(floorFile, data));
    }
    std::printf("%-5s %12zu %11.1f %11.1f %6.1fx   %s\n", e.Name, data.size(), best, floor, best / floor, e.Target);
    unlink(floorFile.c_str());
    if (madeFolder)
      unlink(file.c_str());
  }
  if (madeFolder)
    rmdir(folder.c_str());
  return 0;
}
