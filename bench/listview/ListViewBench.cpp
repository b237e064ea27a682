// Fills 100,000 offer-like rows and sorts them by price (a number with
// thousands separators) and by a text column, with the result list and with
// the best idiomatic Qt sort of the same texts: a QSortFilterProxyModel over a
// QStandardItemModel, sorting prices by a numeric sort role and text by
// QCollator sort keys, each read once per row inside the peer's own timing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>
#include <QCollator>
#include <QCollatorSortKey>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

#include "components/replistv.h"
#include "platform/SysUtils.h"
#include "bench/support/BenchOffers.h"
#include "bench/support/BenchTiming.h"
#include "platform/qt/Codepage.h"

using namespace kv;

namespace {

constexpr int Rows = 100000;
constexpr int Runs = 5;

// Offer rows dressed as the main window's rows are: a row picture and one
// per cell.
std::vector<TReportItem> Offers() {
  std::vector<TReportItem> Items = MakeOffers(Rows);
  for (TReportItem &It : Items) {
    It.ImageIndex = 0;
    It.SubItemImages.assign(7, 8);
  }
  return Items;
}

// The number a price cell holds, read as number style 9 reads it: thousands
// separators out, strict conversion, the empty text 0 (an invalid one too).
double PriceValue(const QString &Text) {
  QString S = Text;
  S.remove(QLatin1Char(','));
  bool Ok = false;
  const double V = S.isEmpty() ? 0 : S.toDouble(&Ok);
  return S.isEmpty() || Ok ? V : 0;
}

constexpr int NumberRole = Qt::UserRole + 1;

// Numbers sort by a numeric role (the proxy's own comparison of the values)
// or by a table of them by source row; text compares collation keys made
// once per row. The price peer is the faster of the two ways.
class PeerProxy : public QSortFilterProxyModel {
public:
  std::vector<double> Numbers;         // by source row, when not empty
  std::vector<QCollatorSortKey> Keys;  // by source row, when not empty
  int KeyColumn = -1;

protected:
  bool lessThan(const QModelIndex &l, const QModelIndex &r) const override {
    const size_t a = static_cast<size_t>(l.row()), b = static_cast<size_t>(r.row());
    if (l.column() == KeyColumn && !Numbers.empty())
      return Numbers[a] < Numbers[b];
    if (l.column() == KeyColumn && !Keys.empty())
      return Keys[a].compare(Keys[b]) < 0;
    return QSortFilterProxyModel::lessThan(l, r);
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
  PeerProxy proxy;
  proxy.setDynamicSortFilter(false);
  proxy.setSourceModel(&model);
  QCollator collator;
  Result proxyRole, proxyTable, proxyText;
  for (int run = 0; run < Runs; ++run) {
    // Each run starts unsorted and without the values a run computes.
    proxy.sort(-1);
    proxy.Keys.clear();
    proxy.KeyColumn = -1;
    proxy.setSortRole(Qt::DisplayRole);
    for (int r = 0; r < Rows; ++r)
      model.item(r, 4)->setData(QVariant(), NumberRole);
    auto t0 = Clock::now();
    for (int r = 0; r < Rows; ++r) {
      QStandardItem *item = model.item(r, 4);
      item->setData(PriceValue(item->text()), NumberRole);
    }
    proxy.setSortRole(NumberRole);
    proxy.sort(4, Qt::AscendingOrder);
    proxyRole.Add(Ms(t0, Clock::now()));

    // The same numbers read once into a table by row, which the proxy's
    // comparison reads instead of asking the model for the role.
    proxy.sort(-1);
    proxy.setSortRole(Qt::DisplayRole);
    t0 = Clock::now();
    proxy.Numbers.reserve(Rows);
    for (int r = 0; r < Rows; ++r)
      proxy.Numbers.push_back(PriceValue(model.item(r, 4)->text()));
    proxy.KeyColumn = 4;
    proxy.sort(4, Qt::AscendingOrder);
    proxyTable.Add(Ms(t0, Clock::now()));
    proxy.Numbers.clear();

    proxy.sort(-1);
    t0 = Clock::now();
    proxy.Keys.reserve(Rows);
    for (int r = 0; r < Rows; ++r)
      proxy.Keys.push_back(collator.sortKey(model.item(r, 1)->text()));
    proxy.KeyColumn = 1;
    proxy.sort(1, Qt::AscendingOrder);
    proxyText.Add(Ms(t0, Clock::now()));
  }
  const bool peerSorted = [&] {
    proxy.sort(-1);
    proxy.Keys.clear();
    proxy.KeyColumn = -1;
    proxy.setSortRole(NumberRole);
    proxy.sort(4, Qt::AscendingOrder);
    double prev = -1;
    for (int r = 0; r < Rows; ++r) {
      const double v = PriceValue(proxy.index(r, 4).data().toString());
      if (v < prev)
        return false;
      prev = v;
    }
    return true;
  }();

  const double proxyPrice = std::min(proxyRole.Best, proxyTable.Best);
  std::printf("rows                      %d\n", Rows);
  std::printf("fill, row by row (shown)  %8.1f ms   (target < 1000 ms)\n", fill.Best);
  std::printf("fill, in one update       %8.1f ms\n", fillBatch.Best);
  std::printf("sort by price: list       %8.1f ms   proxy %8.1f ms   ratio %5.1fx (target >= 5x)%s%s\n",
              oursPrice.Best, proxyPrice, proxyPrice / oursPrice.Best, priceSorted ? "" : "  NOT SORTED",
              peerSorted ? "" : "  PEER NOT SORTED");
  std::printf("  proxy by numeric role %.1f ms, by a table of the numbers %.1f ms\n", proxyRole.Best,
              proxyTable.Best);
  std::printf("sort by text:  list       %8.1f ms   proxy %8.1f ms   ratio %5.1fx (target >= 3x)\n", oursText.Best,
              proxyText.Best, proxyText.Best / oursText.Best);
  return 0;
}
