#include "client/window/uSortColumns.h"

#include <QCollator>
#include <QLocale>

#include <vector>

#include "client/window/uListPictures.h"
#include "components/replistv.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

using namespace kv;

namespace {

enum class TKeyKind { Text, Price, Quantity };

struct TColumnRule {
  int SubItem;  // -1: the caption
  TKeyKind Kind;
};

constexpr TColumnRule ColumnRules[8] = {{-1, TKeyKind::Text}, {0, TKeyKind::Text},  {1, TKeyKind::Text},
                                        {2, TKeyKind::Text},  {3, TKeyKind::Price}, {4, TKeyKind::Text},
                                        {5, TKeyKind::Quantity}, {6, TKeyKind::Text}};

const TColumnRule *RuleOf(int Column) { return Column >= 0 && Column < 8 ? &ColumnRules[Column] : nullptr; }

int Sign(int V) { return (V > 0) - (V < 0); }
int Cmp3(double A, double B) { return (A > B) - (A < B); }

// The collator of the current default locale, made again when that changes.
const QCollator &TextCollator() {
  static QLocale Locale;
  static QCollator Collator{Locale};
  const QLocale Current;
  if (Current != Locale) {
    Locale = Current;
    Collator = QCollator(Locale);
  }
  return Collator;
}

double KeyNumber(const std::string &Text, TKeyKind Kind) {
  return ReadListNumber(Text, Kind == TKeyKind::Price ? 0.0 : -1.0);
}

const std::string &CellText(const TReportItem &Item, int SubItem) {
  static const std::string Empty;
  if (SubItem < 0)
    return Item.Caption;
  return static_cast<size_t>(SubItem) < Item.SubItems.size() ? Item.SubItems[static_cast<size_t>(SubItem)] : Empty;
}

// A > 0 result puts B first: with direction -1 the smaller key leads.
int Directed(int Order, int Direction) { return Direction < 0 ? Order : -Order; }

int CompareColumn(int Column, const TReportItem &A, const TReportItem &B, int Direction) {
  const TColumnRule &R = ColumnRules[Column];
  const std::string &TA = CellText(A, R.SubItem), &TB = CellText(B, R.SubItem);
  if (R.Kind == TKeyKind::Text)
    return Directed(CompareListText(TA, TB), Direction);
  return Directed(Cmp3(KeyNumber(TA, R.Kind), KeyNumber(TB, R.Kind)), Direction);
}

}  // namespace

double ReadListNumber(const std::string &Text, double Default) {
  std::string Digits;
  Digits.reserve(Text.size());
  for (char C : Text)
    if (C != ',')
      Digits += C;
  double Value;
  return TryStrToFloat(Digits, Value) ? Value : Default;
}

int CompareListText(const std::string &A, const std::string &B) {
  const int Order = TextCollator().compare(FromAnsi(A), FromAnsi(B));
  return Order != 0 ? Sign(Order) : Sign(CompareStr(A, B));
}

int CompareByPartNumber(const TReportItem &A, const TReportItem &B, int Direction) {
  return CompareColumn(0, A, B, Direction);
}
int CompareByDescription(const TReportItem &A, const TReportItem &B, int Direction) {
  return CompareColumn(1, A, B, Direction);
}
int CompareByManufacturer(const TReportItem &A, const TReportItem &B, int Direction) {
  return CompareColumn(2, A, B, Direction);
}
int CompareByDatasheet(const TReportItem &A, const TReportItem &B, int Direction) {
  return CompareColumn(3, A, B, Direction);
}
int CompareByPrice(const TReportItem &A, const TReportItem &B, int Direction) {
  return CompareColumn(4, A, B, Direction);
}
int CompareByStock(const TReportItem &A, const TReportItem &B, int Direction) {
  return CompareColumn(5, A, B, Direction);
}
int CompareByQuantity(const TReportItem &A, const TReportItem &B, int Direction) {
  return CompareColumn(6, A, B, Direction);
}
int CompareBySupplier(const TReportItem &A, const TReportItem &B, int Direction) {
  return CompareColumn(7, A, B, Direction);
}

TColumnCompare ColumnCompare(int Column) {
  static constexpr TColumnCompare Compares[8] = {CompareByPartNumber, CompareByDescription, CompareByManufacturer,
                                                 CompareByDatasheet,  CompareByPrice,       CompareByStock,
                                                 CompareByQuantity,   CompareBySupplier};
  return Column >= 0 && Column < 8 ? Compares[Column] : nullptr;
}

// The same order as the column's comparison, with each row's key (a number,
// or the collator's sort key) made once rather than in every comparison.
void SortByColumn(TReportListView &List, int Column, int Direction) {
  const TColumnRule *R = RuleOf(Column);
  const std::vector<TReportItem> &Items = List.Items();
  const size_t N = Items.size();
  if (!R || N < 2)
    return;
  const TReportItem *Base = Items.data();
  // The list compares its own rows in place; the key of a row is found by its
  // place. Anything else falls back to the plain comparison.
  auto Place = [Base, N](const TReportItem &Item, size_t &At) {
    const TReportItem *P = &Item;
    if (P < Base || P >= Base + N)
      return false;
    At = static_cast<size_t>(P - Base);
    return true;
  };
  const TColumnCompare Plain = ColumnCompare(Column);
  if (R->Kind == TKeyKind::Text) {
    const QCollator &Collator = TextCollator();
    std::vector<QCollatorSortKey> Keys;
    Keys.reserve(N);
    for (const TReportItem &Item : Items)
      Keys.push_back(Collator.sortKey(FromAnsi(CellText(Item, R->SubItem))));
    List.CustomSort([&](const TReportItem &A, const TReportItem &B) {
      size_t IA, IB;
      if (!Place(A, IA) || !Place(B, IB))
        return Plain(A, B, Direction);
      int Order = Sign(Keys[IA].compare(Keys[IB]));
      if (Order == 0)
        Order = Sign(CompareStr(CellText(A, R->SubItem), CellText(B, R->SubItem)));
      return Directed(Order, Direction);
    });
    return;
  }
  std::vector<double> Keys;
  Keys.reserve(N);
  for (const TReportItem &Item : Items)
    Keys.push_back(KeyNumber(CellText(Item, R->SubItem), R->Kind));
  List.CustomSort([&](const TReportItem &A, const TReportItem &B) {
    size_t IA, IB;
    if (!Place(A, IA) || !Place(B, IB))
      return Plain(A, B, Direction);
    return Directed(Cmp3(Keys[IA], Keys[IB]), Direction);
  });
}

void TColumnSort::lstProducts1ColumnClick(TReportListView &List, int Column) {
  SortDirection = Column == LastSortedColumn ? -SortDirection : -1;
  LastSortedColumn = Column;
  if (Column != 3)
    List.SetHeaderImage(3, HeaderImage::Datasheet);
  SortByColumn(List, Column, SortDirection);
  // The header shows this order, not that of the list's own sort before it.
  List.SetSortDirection(SortDirection < 0 ? sdAscending : sdDescending);
  if (List.SortUpGlyph().isNull() || List.SortDownGlyph().isNull())
    List.SetHeaderImage(Column, SortDirection < 0 ? HeaderImage::Ascending : HeaderImage::Descending);
  else
    List.UpdateSortGlyph(Column);
}
