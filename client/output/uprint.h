#pragma once
// The printed result list: a banded report in landscape (page header with
// the title, the search criteria, our logo and the column headings; one
// detail band per row, in the order the list shows them; "Page n" footers),
// drawn page by page on the printer as the rows are fed in.
#include <QImage>

#include <string>

class QPainter;
class QPrinter;
namespace kv {
class TReportListView;
}

// A text of the report: its place in its band and the width it may fill, in
// the report's units (a band is 1200 wide); text beyond the width is cut.
struct TReportLabel {
  int Left = 0, Top = 0, Width = 0;
  int FontSize = 11;  // units
  bool Bold = false;
  bool AlignRight = false;
  std::string Caption;
};

class TfrmPrintProducts {
public:
  static constexpr int BandWidth = 1200, HeaderHeight = 105, DetailHeight = 16, FooterHeight = 24;
  static const char *const ReportTitle;

  // List: the result list to print; SearchText: the search box's text now.
  TfrmPrintProducts(const kv::TReportListView &List, const std::string &SearchText);

  int RowCounter = 0;
  // The page the report is on; after printing, the number of pages.
  int PageNumber = 0;
  TReportLabel qrlblCriteria;
  TReportLabel qrlblPartNo, qrlblDesc, qrlblManf, qrlblPrice, qrlblinStock, qrlblQty, qrlblSupplier;

  void FormCreate(const std::string &SearchText);
  // The report's request for its next record: false at the end of the list,
  // else the detail labels hold the next row.
  bool ProductReportNeedData();
  // Prints the whole report on Printer at once, without a print dialog;
  // raises Exception when the printer cannot start or take a page.
  void Print(QPrinter &Printer);

private:
  void DrawPageHeader(QPainter &Canvas);
  void DrawDetail(QPainter &Canvas, int Top);
  void DrawPageFooter(QPainter &Canvas, int Top, int Page);
  const kv::TReportListView &FList;
  QImage FLogo;
};
