#pragma once
// Sorting the result list by a column click: the comparison of each column
// (text columns by the user's locale, number columns by value) and the last
// sorted column with its direction.
//
// A comparison of row A with row B returns > 0 when B goes first. Direction
// -1 sorts ascending, +1 descending. Equal keys compare equal, so the stable
// sort keeps their order; texts that collate alike are ordered by their bytes.
#include <string>

#include "components/replistv_rules.h"

namespace kv {
class TReportListView;
}

// Numbers as the list shows them: "," groups thousands and "." is the decimal
// point whatever the locale. A text that does not convert gives Default.
double ReadListNumber(const std::string &Text, double Default);
// The locale-aware order of two texts (Windows-1252 bytes), then their bytes:
// < 0, 0 or > 0.
int CompareListText(const std::string &A, const std::string &B);
// Whether texts of printable ASCII sort by keys of our own in the current
// locale (where they order exactly as its collator does).
bool AsciiSortKeys();

int CompareByPartNumber(const kv::TReportItem &A, const kv::TReportItem &B, int Direction);
int CompareByDescription(const kv::TReportItem &A, const kv::TReportItem &B, int Direction);
int CompareByManufacturer(const kv::TReportItem &A, const kv::TReportItem &B, int Direction);
int CompareByDatasheet(const kv::TReportItem &A, const kv::TReportItem &B, int Direction);
// Rows without a number count as 0.
int CompareByPrice(const kv::TReportItem &A, const kv::TReportItem &B, int Direction);
int CompareByStock(const kv::TReportItem &A, const kv::TReportItem &B, int Direction);
// Rows without a number ("Call") count as -1.
int CompareByQuantity(const kv::TReportItem &A, const kv::TReportItem &B, int Direction);
int CompareBySupplier(const kv::TReportItem &A, const kv::TReportItem &B, int Direction);

using TColumnCompare = int (*)(const kv::TReportItem &A, const kv::TReportItem &B, int Direction);
// The comparison of a column (0 to 7); nullptr for any other.
TColumnCompare ColumnCompare(int Column);

// Sorts the list's rows by Column in Direction, in the order the column's
// comparison gives; each row's key is read once.
void SortByColumn(kv::TReportListView &List, int Column, int Direction);

// The window's sort state: which column was sorted last and which way.
class TColumnSort {
public:
  // Column 0 to start with, so the first click on Part Number descends.
  int LastSortedColumn = 0;
  int SortDirection = -1;

  // A click on the header of Column, after the list's own sort: the final
  // order, the datasheet column's header sign, and the sort indicator.
  void lstProducts1ColumnClick(kv::TReportListView &List, int Column);
  // The rows were put in Column's order in Direction by someone else (the
  // lowest-price export): Column counts as sorted last, in Direction, and the
  // header shows that order, so the next click on it reverses it.
  void RowsSortedBy(kv::TReportListView &List, int Column, int Direction);

private:
  void ShowOrder(kv::TReportListView &List, int Column);
};
