#include "client/window/uSortColumns.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
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

// The order of the text columns for the current default locale: its
// collator, and for texts of printable ASCII alone a key of our own that
// orders exactly as the collator does (checked when the locale is taken), so
// the common case needs no collation key of the library.
class TTextOrder {
public:
  explicit TTextOrder(const QLocale &Locale) : Locale(Locale), Collator(Locale) { LearnAscii(); }

  QLocale Locale;
  QCollator Collator;
  // Whether the ASCII keys are in use for this locale.
  bool AsciiKeys = false;

  static bool IsAscii(const std::string &Text) {
    for (char C : Text)
      if (C < 0x20 || C > 0x7E)
        return false;
    return true;
  }
  // Every character's primary rank, a 0 byte, then every character's case
  // rank: compared byte by byte, the collator's order of printable ASCII in
  // locales whose letters have no contractions.
  void AppendAsciiKey(const std::string &Text, std::string &Key) const {
    for (char C : Text)
      Key += static_cast<char>(FPrimary[static_cast<unsigned char>(C)]);
    Key += '\0';
    for (char C : Text)
      Key += static_cast<char>(FTertiary[static_cast<unsigned char>(C)]);
  }

private:
  void LearnAscii() {
    std::vector<QString> Chars;
    for (int C = 0x20; C <= 0x7E; ++C)
      Chars.push_back(QString(QChar(C)));
    QCollator Caseless(Locale);
    Caseless.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(Chars.begin(), Chars.end(), [&](const QString &A, const QString &B) {
      const int Order = Caseless.compare(A, B);
      return Order != 0 ? Order < 0 : Collator.compare(A, B) < 0;
    });
    int Primary = 0, Tertiary = 0;
    for (size_t I = 0; I < Chars.size(); ++I) {
      // An ignorable character has no rank of its own.
      if (Caseless.compare(Chars[I], QString()) == 0)
        return;
      if (I == 0 || Caseless.compare(Chars[I - 1], Chars[I]) != 0) {
        ++Primary;
        Tertiary = 1;
      } else if (Collator.compare(Chars[I - 1], Chars[I]) != 0) {
        ++Tertiary;
      }
      const unsigned char C = static_cast<unsigned char>(Chars[I].at(0).unicode());
      FPrimary[C] = static_cast<unsigned char>(Primary);
      FTertiary[C] = static_cast<unsigned char>(Tertiary);
    }
    // Every text of one and two characters, in the keys' order, must be in
    // the collator's order too; a contraction ("ch" sorting after "h") or
    // ignored punctuation shows there.
    std::vector<std::pair<std::string, std::string>> Texts;
    for (int A = 0x20; A <= 0x7E; ++A) {
      Texts.push_back({std::string(1, static_cast<char>(A)), {}});
      for (int B = 0x20; B <= 0x7E; ++B)
        Texts.push_back({std::string{static_cast<char>(A), static_cast<char>(B)}, {}});
    }
    for (auto &T : Texts)
      AppendAsciiKey(T.first, T.second);
    std::sort(Texts.begin(), Texts.end(), [](const auto &A, const auto &B) { return A.second < B.second; });
    for (size_t I = 1; I < Texts.size(); ++I)
      if (Collator.compare(QString::fromLatin1(Texts[I - 1].first), QString::fromLatin1(Texts[I].first)) >= 0)
        return;
    AsciiKeys = true;
  }

  unsigned char FPrimary[128] = {}, FTertiary[128] = {};
};

const TTextOrder &TextOrder() {
  static std::unique_ptr<TTextOrder> Order;
  const QLocale Current;
  if (!Order || Order->Locale != Current)
    Order = std::make_unique<TTextOrder>(Current);
  return *Order;
}

// One row's key of a text column: an ASCII key in the shared buffer (its
// first sixteen bytes also as two numbers), or an index into the collator's
// keys; and the row's place.
struct TTextKey {
  uint64_t Head[2] = {0, 0};
  uint32_t Offset = 0, Length = 0;
  int32_t Collated = -1;
  uint32_t Row = 0;
};

int CompareBytes(const char *A, size_t LA, const char *B, size_t LB) {
  const int Order = std::memcmp(A, B, std::min(LA, LB));
  return Order != 0 ? Sign(Order) : (LA > LB) - (LA < LB);
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
  const int Order = TextOrder().Collator.compare(FromAnsi(A), FromAnsi(B));
  return Order != 0 ? Sign(Order) : Sign(CompareStr(A, B));
}

bool AsciiSortKeys() { return TextOrder().AsciiKeys; }

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

namespace {

// The rows' places in the column's order: keys made once per row and kept
// side by side with the places, so the sort reads little memory. Equal keys
// keep their places' order.
std::vector<uint32_t> KeyedOrder(const std::vector<TReportItem> &Items, const TColumnRule &R, int Direction) {
  const size_t N = Items.size();
  std::vector<uint32_t> Order(N);
  if (R.Kind != TKeyKind::Text) {
    std::vector<std::pair<double, uint32_t>> Keys(N);
    for (size_t I = 0; I < N; ++I)
      Keys[I] = {KeyNumber(CellText(Items[I], R.SubItem), R.Kind), static_cast<uint32_t>(I)};
    std::stable_sort(Keys.begin(), Keys.end(), [Direction](const auto &A, const auto &B) {
      return Directed(Cmp3(A.first, B.first), Direction) < 0;
    });
    for (size_t I = 0; I < N; ++I)
      Order[I] = Keys[I].second;
    return Order;
  }
  const TTextOrder &Text = TextOrder();
  std::vector<TTextKey> Keys(N);
  std::vector<QCollatorSortKey> Collated;
  std::string Buffer;
  size_t Bytes = 0;
  for (const TReportItem &Item : Items)
    Bytes += 2 * CellText(Item, R.SubItem).size() + 1;
  Buffer.reserve(Bytes);
  for (size_t I = 0; I < N; ++I) {
    const std::string &Cell = CellText(Items[I], R.SubItem);
    TTextKey &K = Keys[I];
    K.Row = static_cast<uint32_t>(I);
    if (Text.AsciiKeys && TTextOrder::IsAscii(Cell)) {
      K.Offset = static_cast<uint32_t>(Buffer.size());
      Text.AppendAsciiKey(Cell, Buffer);
      K.Length = static_cast<uint32_t>(Buffer.size() - K.Offset);
      for (uint32_t B = 0; B < 16; ++B)
        K.Head[B / 8] = K.Head[B / 8] << 8 | (B < K.Length ? static_cast<unsigned char>(Buffer[K.Offset + B]) : 0);
    } else {
      K.Collated = static_cast<int32_t>(Collated.size());
      Collated.push_back(Text.Collator.sortKey(FromAnsi(Cell)));
    }
  }
  auto CompareKeys = [&](const TTextKey &A, const TTextKey &B) {
    if (A.Collated < 0 && B.Collated < 0) {
      for (int H = 0; H < 2; ++H)
        if (A.Head[H] != B.Head[H])
          return A.Head[H] < B.Head[H] ? -1 : 1;
      return CompareBytes(Buffer.data() + A.Offset, A.Length, Buffer.data() + B.Offset, B.Length);
    }
    if (A.Collated >= 0 && B.Collated >= 0)
      return Sign(Collated[static_cast<size_t>(A.Collated)].compare(Collated[static_cast<size_t>(B.Collated)]));
    // One key of each kind: the collator itself decides.
    return Sign(Text.Collator.compare(FromAnsi(CellText(Items[A.Row], R.SubItem)),
                                      FromAnsi(CellText(Items[B.Row], R.SubItem))));
  };
  auto Before = [&](const TTextKey &A, const TTextKey &B) {
    int Result = CompareKeys(A, B);
    if (Result == 0)
      Result = Sign(CompareStr(CellText(Items[A.Row], R.SubItem), CellText(Items[B.Row], R.SubItem)));
    return Directed(Result, Direction) < 0;
  };
  if (!Collated.empty()) {
    std::stable_sort(Keys.begin(), Keys.end(), Before);
  } else {
    // By the heads alone first, then each run of equal heads by whole keys:
    // the runs are short, so their keys stay in the cache.
    auto SameHead = [](const TTextKey &A, const TTextKey &B) { return A.Head[0] == B.Head[0] && A.Head[1] == B.Head[1]; };
    std::stable_sort(Keys.begin(), Keys.end(), [Direction](const TTextKey &A, const TTextKey &B) {
      const int Result = A.Head[0] != B.Head[0] ? (A.Head[0] < B.Head[0] ? -1 : 1)
                                                : (A.Head[1] > B.Head[1]) - (A.Head[1] < B.Head[1]);
      return Directed(Result, Direction) < 0;
    });
    for (auto First = Keys.begin(); First != Keys.end();) {
      auto Last = First + 1;
      while (Last != Keys.end() && SameHead(*First, *Last))
        ++Last;
      if (Last - First > 1)
        std::stable_sort(First, Last, Before);
      First = Last;
    }
  }
  for (size_t I = 0; I < N; ++I)
    Order[I] = Keys[I].Row;
  return Order;
}

}  // namespace

void SortByColumn(TReportListView &List, int Column, int Direction) {
  const TColumnRule *R = RuleOf(Column);
  const std::vector<TReportItem> &Items = List.Items();
  const size_t N = Items.size();
  if (!R || N < 2)
    return;
  const std::vector<uint32_t> Order = KeyedOrder(Items, *R, Direction);
  std::vector<uint32_t> Rank(N);
  for (size_t I = 0; I < N; ++I)
    Rank[Order[I]] = static_cast<uint32_t>(I);
  // The list compares its own rows in place: a row's rank is found by its
  // place. Anything else falls back to the plain comparison.
  const TReportItem *Base = Items.data();
  const TColumnCompare Plain = ColumnCompare(Column);
  List.CustomSort([&](const TReportItem &A, const TReportItem &B) {
    const TReportItem *PA = &A, *PB = &B;
    if (PA < Base || PA >= Base + N || PB < Base || PB >= Base + N)
      return Plain(A, B, Direction);
    const uint32_t RA = Rank[static_cast<size_t>(PA - Base)], RB = Rank[static_cast<size_t>(PB - Base)];
    return (RA > RB) - (RA < RB);
  });
}

void TColumnSort::lstProducts1ColumnClick(TReportListView &List, int Column) {
  SortDirection = Column == LastSortedColumn ? -SortDirection : -1;
  LastSortedColumn = Column;
  if (Column != 3)
    List.SetHeaderImage(3, HeaderImage::Datasheet);
  SortByColumn(List, Column, SortDirection);
  ShowOrder(List, Column);
}

void TColumnSort::RowsSortedBy(TReportListView &List, int Column, int Direction) {
  LastSortedColumn = Column;
  SortDirection = Direction;
  ShowOrder(List, Column);
}

// The header shows this order, not that of the list's own sort before it.
void TColumnSort::ShowOrder(TReportListView &List, int Column) {
  List.SetSortDirection(SortDirection < 0 ? sdAscending : sdDescending);
  List.ShowSortColumn(Column);
  if (Column != 3)
    List.SetHeaderImage(3, HeaderImage::Datasheet);
  if (List.SortUpGlyph().isNull() || List.SortDownGlyph().isNull())
    List.SetHeaderImage(Column, SortDirection < 0 ? HeaderImage::Ascending : HeaderImage::Descending);
}
