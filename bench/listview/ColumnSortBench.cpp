// The main window's column-click sort of 100,000 offer-like rows (price,
// quantity, description, part number) beside Qt's QSortFilterProxyModel over
// a QStandardItemModel holding the same texts, in the same run. The proxy is
// given what it is best at: a numeric sort role computed once per row, and a
// QCollator sort key per row for the text columns; those keys are made before
// its sort is timed. The window's sort makes its keys within its own time.
//
//   column_sort_bench [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QCollator>
#include <QLocale>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

#include "client/window/uSortColumns.h"
#include "components/replistv.h"
#include "platform/SysUtils.h"
#include "bench/support/BenchOffers.h"
#include "bench/support/BenchTiming.h"
#include "platform/qt/Codepage.h"

using namespace kv;

namespace {

constexpr int Rows = 100000;
constexpr int KeyRole = Qt::UserRole + 1;

std::vector<TReportItem> Offers() { return MakeOffers(Rows, {.MixedCase = true, .CallQuantity = true}); }

// Text columns compare the sort keys kept beside the model, by source row.
class TKeyProxy : public QSortFilterProxyModel {
public:
  const std::vector<QCollatorSortKey> *Keys = nullptr;

protected:
  bool lessThan(const QModelIndex &L, const QModelIndex &R) const override {
    if (!Keys)
      return QSortFilterProxyModel::lessThan(L, R);
    return (*Keys)[static_cast<size_t>(L.row())].compare((*Keys)[static_cast<size_t>(R.row())]) < 0;
  }
};

struct TColumnCase {
  const char *Name;
  int Column;
  bool Number;
  double Target;
};

}  // namespace

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  const int Runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  // The same collation on both sides, whatever the machine's locale.
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  const std::vector<TReportItem> Items = Offers();

  TReportListView View;
  for (const char *C : {"Part Number", "Description", "Manufacturer", "Datasheet", "Price", "In Stock", "Quantity",
                        "Supplier"})
    View.AddColumn(C, 90);
  View.BeginUpdate();
  for (const TReportItem &It : Items)
    View.AddItem(It);
  View.EndUpdate();
  auto Restore = [&] {
    View.CustomSort([](const TReportItem &A, const TReportItem &B) {
      return static_cast<int>(reinterpret_cast<intptr_t>(A.Data) - reinterpret_cast<intptr_t>(B.Data));
    });
  };

  QStandardItemModel Model(Rows, 8);
  for (int R = 0; R < Rows; ++R) {
    const TReportItem &It = Items[static_cast<size_t>(R)];
    Model.setItem(R, 0, new QStandardItem(FromAnsi(It.Caption)));
    for (int C = 1; C < 8; ++C)
      Model.setItem(R, C, new QStandardItem(FromAnsi(It.SubItems[static_cast<size_t>(C - 1)])));
  }
  const QCollator Collator;

  std::printf("rows %d, best of %d runs, each from the rows' first order\n\n", Rows, Runs);
  std::printf("%-12s %10s %10s %8s %7s   %s\n", "column", "window ms", "proxy ms", "ratio", "target",
              "proxy keys ms (not in its time)");
  bool AllMet = true;
  for (const TColumnCase &Case : {TColumnCase{"price", 4, true, 5}, TColumnCase{"quantity", 6, true, 5},
                                  TColumnCase{"description", 1, false, 3},
                                  TColumnCase{"part number", 0, false, 3}}) {
    // The proxy's keys, once per row.
    const auto K0 = Clock::now();
    std::vector<QCollatorSortKey> Keys;
    if (Case.Number) {
      const double Default = Case.Column == 4 ? 0.0 : -1.0;
      for (int R = 0; R < Rows; ++R)
        Model.item(R, Case.Column)
            ->setData(ReadListNumber(ToAnsi(Model.item(R, Case.Column)->text()), Default), KeyRole);
    } else {
      Keys.reserve(Rows);
      for (int R = 0; R < Rows; ++R)
        Keys.push_back(Collator.sortKey(Model.item(R, Case.Column)->text()));
    }
    const double KeyTime = Ms(K0, Clock::now());
    TKeyProxy Proxy;
    Proxy.setSourceModel(&Model);
    Proxy.setSortRole(KeyRole);
    Proxy.Keys = Case.Number ? nullptr : &Keys;

    double Ours = 1e300, Theirs = 1e300;
    bool Same = true;
    for (int Run = 0; Run < Runs; ++Run) {
      Restore();
      auto T0 = Clock::now();
      SortByColumn(View, Case.Column, -1);
      Ours = std::min(Ours, Ms(T0, Clock::now()));

      Proxy.sort(-1);
      T0 = Clock::now();
      Proxy.sort(Case.Column, Qt::AscendingOrder);
      Theirs = std::min(Theirs, Ms(T0, Clock::now()));
    }
    // Both orders agree on the keys, row by row.
    const TColumnCompare Compare = ColumnCompare(Case.Column);
    for (int R = 1; R < Rows; ++R)
      Same = Same && Compare(View.Item(R - 1), View.Item(R), -1) <= 0;
    for (int R = 0; R < Rows && Same; R += 997) {
      const int Source = Proxy.mapToSource(Proxy.index(R, 0)).row();
      const TReportItem &Ours = View.Item(R), &Theirs = Items[static_cast<size_t>(Source)];
      Same = Compare(Ours, Theirs, -1) == 0;
    }
    const double Ratio = Theirs / Ours;
    AllMet = AllMet && Ratio >= Case.Target && Same;
    std::printf("%-12s %10.1f %10.1f %7.1fx %6.0fx   %8.1f%s\n", Case.Name, Ours, Theirs, Ratio, Case.Target, KeyTime,
                Same ? "" : "   ORDERS DIFFER");
  }

  // A whole click as the window sees it: the list's own sort first, then the
  // window's comparison decides.
  TColumnSort Sort;
  View.SetSortShow(true);
  View.OnColumnClick = [&](TReportListView *, int Column) { Sort.lstProducts1ColumnClick(View, Column); };
  double Click = 1e300;
  for (int Run = 0; Run < Runs; ++Run) {
    Restore();
    Sort = TColumnSort();
    const auto T0 = Clock::now();
    View.ColClick(4);
    Click = std::min(Click, Ms(T0, Clock::now()));
  }
  std::printf("\nwhole click on Price (the list's own sort, then the window's): %.1f ms\n", Click);
  std::printf("%s\n", AllMet ? "all targets met" : "TARGET MISSED");
  return AllMet ? 0 : 1;
}
