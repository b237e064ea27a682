// Fills 100,000 offer-like rows and sorts them by price (a number with
// thousands separators) and by a text column, with the result list and with
// QSortFilterProxyModel over a QStandardItemModel holding the same texts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <QApplication>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

#include "components/replistv.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

using namespace kv;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Rows = 100000;
constexpr int Runs = 5;

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

std::vector<TReportItem> Offers() {
  std::mt19937 rng(2026);
  const char *words[] = {"resistor", "capacitor", "ceramic", "film", "SMD", "through-hole", "0805", "1206",
                         "low", "noise", "precision", "power", "diode", "schottky", "MOSFET", "regulator"};
  const char *makers[] = {"Vishay", "Murata", "Yageo", "Kemet", "TI", "ST", "NXP", "Onsemi", "Bourns"};
  const char *shops[] = {"Shop One", "Shop Two", "Parts Hub", "Chip Yard", "Volt Mart"};
  const char *stock[] = {"Y", "N", "Call", ""};
  std::vector<TReportItem> items(Rows);
  for (int i = 0; i < Rows; ++i) {
    TReportItem &it = items[static_cast<size_t>(i)];
    it.Caption = Format("%c%c%05u-%02u", 'A' + static_cast<int>(rng() % 26), 'A' + static_cast<int>(rng() % 26),
                        static_cast<unsigned>(rng() % 100000), static_cast<unsigned>(rng() % 100));
    std::string desc;
    for (int w = 0; w < 4; ++w)
      desc += std::string(w ? " " : "") + words[rng() % 16];
    const double price = (rng() % 10 == 0) ? -1 : (rng() % 2000000) / 100.0;
    it.SubItems = {desc,
                   makers[rng() % 9],
                   rng() % 2 ? "http://Datasheet" : "",
                   price < 0 ? "" : FormatFloat("#,##0.00", price),
                   stock[rng() % 4],
                   IntToStr(rng() % 5000),
                   shops[rng() % 5]};
    it.ImageIndex = 0;
    it.SubItemImages.assign(7, 8);
    it.Data = reinterpret_cast<void *>(static_cast<intptr_t>(i));
  }
  return items;
}

class PriceProxy : public QSortFilterProxyModel {
public:
  int NumberColumn = -1;

protected:
  bool lessThan(const QModelIndex &l, const QModelIndex &r) const override {
    if (l.column() != NumberColumn)
      return QSortFilterProxyModel::lessThan(l, r);
    // The same reading as number style 9: thousands separators out, strict
    // conversion, the empty text 0.
    auto value = [](const QModelIndex &i) {
      QString s = i.data().toString();
      s.remove(QLatin1Char(','));
      bool ok = false;
      double v = s.isEmpty() ? 0 : s.toDouble(&ok);
      return s.isEmpty() || ok ? v : 0;
    };
    return value(l) < value(r);
  }
};

struct Result {
  double Best = 1e300;
  void Add(double v) { Best = std::min(Best, v); }
};

}  // namespace

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::vector<TReportItem> offers = Offers();
  const char *captions[] = {"Part Number", "Description", "Manufacturer", "Datasheet",
                            "Price", "In Stock", "Quantity", "Supplier"};

  // Filling, one row at a time as the search adds them, into a shown list.
  Result fill, fillBatch;
  TReportListView view;
  view.resize(800, 600);
  for (const char *c : captions)
    view.AddColumn(c, 90);
  view.SetOwnerDraw(true);
  view.SetSubImages(true);
  view.show();
  for (int run = 0; run < 3; ++run) {
    view.ClearItems();
    auto t0 = Clock::now();
    for (const TReportItem &it : offers)
      view.AddItem(it);
    app.processEvents();
    fill.Add(Ms(t0, Clock::now()));
  }
  for (int run = 0; run < 3; ++run) {
    view.ClearItems();
    auto t0 = Clock::now();
    view.BeginUpdate();
    for (const TReportItem &it : offers)
      view.AddItem(it);
    view.EndUpdate();
    app.processEvents();
    fillBatch.Add(Ms(t0, Clock::now()));
  }

  // Sorting: the component, each run from the original order.
  view.OnGetFormat = [](TReportListView *, int ACol, TSortStyle &Style, std::string &, std::string &) {
    if (ACol == 3)
      Style = 9;
  };
  auto restore = [&] {
    view.CustomSort([](const TReportItem &a, const TReportItem &b) {
      return static_cast<int>(reinterpret_cast<intptr_t>(a.Data) - reinterpret_cast<intptr_t>(b.Data));
    });
  };
  Result oursPrice, oursText;
  for (int run = 0; run < Runs; ++run) {
    restore();
    auto t0 = Clock::now();
    view.SetSortColumn(4);
    oursPrice.Add(Ms(t0, Clock::now()));
    restore();
    t0 = Clock::now();
    view.SetSortColumn(1);
    oursText.Add(Ms(t0, Clock::now()));
  }
  const bool priceSorted = [&] {
    double prev = -1;
    restore();
    view.SetSortColumn(4);
    for (const TReportItem &it : view.Items()) {
      std::string s = it.SubItems[3];
      s.erase(std::remove(s.begin(), s.end(), ','), s.end());
      double v = s.empty() ? 0 : StrToFloat(s);
      if (v < prev)
        return false;
      prev = v;
    }
    return true;
  }();

  // The same through Qt's proxy over a standard item model.
  QStandardItemModel model(Rows, 8);
  for (int r = 0; r < Rows; ++r) {
    const TReportItem &it = offers[static_cast<size_t>(r)];
    model.setItem(r, 0, new QStandardItem(FromAnsi(it.Caption)));
    for (int c = 1; c < 8; ++c)
      model.setItem(r, c, new QStandardItem(FromAnsi(it.SubItems[static_cast<size_t>(c - 1)])));
  }
  PriceProxy proxy;
  proxy.NumberColumn = 4;
  proxy.setSourceModel(&model);
  Result proxyPrice, proxyText;
  for (int run = 0; run < Runs; ++run) {
    proxy.sort(-1);
    auto t0 = Clock::now();
    proxy.sort(4, Qt::AscendingOrder);
    proxyPrice.Add(Ms(t0, Clock::now()));
    proxy.sort(-1);
    t0 = Clock::now();
    proxy.sort(1, Qt::AscendingOrder);
    proxyText.Add(Ms(t0, Clock::now()));
  }

  std::printf("rows                      %d\n", Rows);
  std::printf("fill, row by row (shown)  %8.1f ms   (target < 1000 ms)\n", fill.Best);
  std::printf("fill, in one update       %8.1f ms\n", fillBatch.Best);
  std::printf("sort by price: list       %8.1f ms   proxy %8.1f ms   ratio %5.1fx (target >= 5x)%s\n",
              oursPrice.Best, proxyPrice.Best, proxyPrice.Best / oursPrice.Best, priceSorted ? "" : "  NOT SORTED");
  std::printf("sort by text:  list       %8.1f ms   proxy %8.1f ms   ratio %5.1fx (target >= 3x)\n", oursText.Best,
              proxyText.Best, proxyText.Best / oursText.Best);
  return 0;
}
