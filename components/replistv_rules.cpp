#include "components/replistv_rules.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/SysUtils.h"

namespace kv {

const std::string &SubItemText(const TReportItem &Item, int SubItem) {
  static const std::string None;
  if (SubItem < 0)
    return Item.Caption;
  if (static_cast<size_t>(SubItem) < Item.SubItems.size())
    return Item.SubItems[static_cast<size_t>(SubItem)];
  return None;
}

int SubItemImage(const TReportItem &Item, int SubItem) {
  if (SubItem < 0)
    return Item.ImageIndex;
  if (static_cast<size_t>(SubItem) < Item.SubItemImages.size())
    return Item.SubItemImages[static_cast<size_t>(SubItem)];
  return -1;
}

std::string ItemCellText(const TReportItem &Item, int Col) { return SubItemText(Item, Col <= 0 ? -1 : Col - 1); }

std::string GetCellText(const std::vector<TReportItem> &Items, const std::vector<std::string> &Captions, int Col,
                        int Row) {
  if (Row < 0) {
    if (Col < 0 || static_cast<size_t>(Col) >= Captions.size())
      return std::string();
    return Captions[static_cast<size_t>(Col)];
  }
  if (static_cast<size_t>(Row) >= Items.size())
    return std::string();
  return ItemCellText(Items[static_cast<size_t>(Row)], Col);
}

bool SetCellText(std::vector<TReportItem> &Items, int ColumnCount, int Col, int Row, const std::string &Text) {
  if (Col < 0 || Col >= ColumnCount || Row < 0 || static_cast<size_t>(Row) >= Items.size())
    return false;
  TReportItem &item = Items[static_cast<size_t>(Row)];
  if (Col == 0) {
    item.Caption = Text;
    return true;
  }
  if (item.SubItems.size() < static_cast<size_t>(Col))
    item.SubItems.resize(static_cast<size_t>(Col));
  item.SubItems[static_cast<size_t>(Col - 1)] = Text;
  return true;
}

std::vector<int> MoveOrder(int Count, int From, int To, int &NewIndex) {
  NewIndex = -1;
  if (From < 0 || From >= Count || From == To || To < -1)
    return {};
  std::vector<int> order;
  order.reserve(static_cast<size_t>(Count));
  for (int i = 0; i < Count; ++i)
    if (i != From)
      order.push_back(i);
  NewIndex = To < 0 || To > Count - 1 ? Count - 1 : To;
  order.insert(order.begin() + NewIndex, From);
  return order;
}

std::string ColumnLetters(int N) {
  std::string r;
  for (; N > 0; N = (N - 1) / 26)
    r.insert(r.begin(), static_cast<char>('A' + (N - 1) % 26));
  return r;
}

// Not cut to any length: a long table's range must still name its last row.
std::string SheetRange(int Columns, int Rows) { return "A1:" + ColumnLetters(Columns) + std::to_string(Rows); }

bool ReadDecimal(const std::string &S, double &Value) {
  size_t i = 0;
  const size_t n = S.size();
  if (n == 0)
    return false;
  while (i < n && static_cast<unsigned char>(S[i]) == ' ')
    ++i;
  const size_t start = i;
  bool negative = false;
  if (i < n && (S[i] == '+' || S[i] == '-'))
    negative = S[i++] == '-';
  // The digits as a whole number and a power of ten, while they fit.
  uint64_t mantissa = 0;
  int scale = 0;
  bool exact = true;
  auto digit = [&](char c, bool fraction) {
    if (mantissa > (UINT64_MAX - 9) / 10) {
      exact = false;
      return;
    }
    mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
    scale -= fraction;
  };
  size_t digits = 0;
  while (i < n && S[i] >= '0' && S[i] <= '9')
    digit(S[i++], false), ++digits;
  if (i < n && S[i] == '.') {
    ++i;
    while (i < n && S[i] >= '0' && S[i] <= '9')
      digit(S[i++], true), ++digits;
  }
  if (digits == 0)
    return false;
  if (i < n && (S[i] == 'e' || S[i] == 'E')) {
    ++i;
    bool minus = false;
    if (i < n && (S[i] == '+' || S[i] == '-'))
      minus = S[i++] == '-';
    size_t exp = 0;
    int power = 0;
    while (i < n && S[i] >= '0' && S[i] <= '9') {
      if (power < 10000)
        power = power * 10 + (S[i] - '0');
      ++i, ++exp;
    }
    if (exp == 0)
      return false;
    scale += minus ? -power : power;
  }
  if (i != n)
    return false;
  // A whole number below 2^53 times or divided by a power of ten up to 10^22
  // is one correctly rounded operation on exact values: the same double the
  // full conversion gives, at a fraction of its cost.
  static constexpr double Powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (exact && mantissa <= (uint64_t(1) << 53) && scale >= -22 && scale <= 22) {
    double v = static_cast<double>(mantissa);
    v = scale < 0 ? v / Powers[-scale] : v * Powers[scale];
    Value = negative ? -v : v;
    return true;
  }
  // from_chars takes no "+" and is locale-free; the grammar is already checked.
  const char *first = S.data() + start;
  if (*first == '+')
    ++first;
  double v = 0;
  auto res = std::from_chars(first, S.data() + n, v, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // Too small reads as 0; too large is no number.
    const char *e = static_cast<const char *>(std::memchr(first, 'e', static_cast<size_t>(S.data() + n - first)));
    if (!e)
      e = static_cast<const char *>(std::memchr(first, 'E', static_cast<size_t>(S.data() + n - first)));
    if (!e || e[1] != '-')
      return false;
    v = 0;
  } else if (res.ec != std::errc() || res.ptr != S.data() + n) {
    return false;
  }
  Value = v;
  return true;
}

static void DeleteFirst(std::string &S, const std::string &Sub) {
  if (Sub.empty())
    return;
  size_t p = S.find(Sub);
  if (p != std::string::npos)
    S.erase(p, Sub.size());
}

bool ParseSortNumber(std::string S, const TColumnFormat &Format, const TSortSettings &Settings, double &Value) {
  DeleteFirst(S, Format.Suffix);
  DeleteFirst(S, Format.Prefix);
  if (Format.Style == 9 && Settings.ThousandSeparator != 0) {
    size_t out = 0;
    for (char c : S)
      if (c != Settings.ThousandSeparator)
        S[out++] = c;
    S.resize(out);
  }
  if (Settings.DecimalSeparator != '.') {
    size_t p = S.find(Settings.DecimalSeparator);
    if (p != std::string::npos)
      S[p] = '.';
  }
  if (S.empty()) {
    Value = 0;
    return true;
  }
  return ReadDecimal(S, Value);
}

// The runtime's reading of a whole number inside a date: blanks, a sign, "$"
// for hexadecimal, then digits up to the first other character. Saturates
// instead of overflowing; such a year fails the date check anyway.
static int64_t ValPrefix(const std::string &S) {
  size_t i = 0;
  while (i < S.size() && S[i] == ' ')
    ++i;
  bool neg = false;
  if (i < S.size() && (S[i] == '+' || S[i] == '-'))
    neg = S[i++] == '-';
  int base = 10;
  if (i < S.size() && S[i] == '$')
    base = 16, ++i;
  int64_t v = 0;
  for (; i < S.size(); ++i) {
    char c = S[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      break;
    if (v < 100000000000LL)
      v = v * base + d;
  }
  return neg ? -v : v;
}

static size_t DateSeparatorPos(const std::string &S) {
  for (char sep : {'-', '/', '.'}) {
    size_t p = S.find(sep);
    if (p != std::string::npos)
      return p;
  }
  return std::string::npos;
}

static TDateTime ParseDate3(const std::string &Text, bool MonthFirst) {
  size_t p = DateSeparatorPos(Text);
  if (p == std::string::npos)
    return 0.0;
  const int64_t first = ValPrefix(Text.substr(0, p));
  std::string rest = Text.substr(p + 1);
  p = DateSeparatorPos(rest);
  if (p == std::string::npos)
    return 0.0;
  const int64_t second = ValPrefix(rest.substr(0, p));
  int64_t year = ValPrefix(rest.substr(p + 1));
  // Two-digit years up to 25 are this century, anything else gets 1900 added;
  // four-digit years thus keep their order among themselves.
  year += (year >= 0 && year <= 25) ? 2000 : 1900;
  const int64_t month = MonthFirst ? first : second, day = MonthFirst ? second : first;
  TDateTime v = 0;
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 ||
      !TryEncodeDate(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day), v))
    throw EConvertError("Invalid argument to date encode");
  return v;
}

TDateTime ParseDateMDY(const std::string &S) { return ParseDate3(S, true); }
TDateTime ParseDateDMY(const std::string &S) { return ParseDate3(S, false); }

namespace {
struct TScan {
  const std::string &S;
  size_t I = 0;
  void Blanks() {
    while (I < S.size() && S[I] == ' ')
      ++I;
  }
  bool Number(int &V, int &Digits) {
    Blanks();
    V = 0;
    Digits = 0;
    while (I < S.size() && S[I] >= '0' && S[I] <= '9' && Digits < 9)
      V = V * 10 + (S[I++] - '0'), ++Digits;
    return Digits > 0;
  }
  bool Char(char C) {
    Blanks();
    if (I < S.size() && S[I] == C)
      return ++I, true;
    return false;
  }
  bool AtEnd() {
    Blanks();
    return I >= S.size();
  }
};
}  // namespace

bool TryStrToDateTime(const std::string &S, const TSortSettings &Settings, TDateTime &Value) {
  // The order of day, month and year follows the letters of the short format.
  std::string order;
  for (char c : LowerCase(Settings.ShortDateFormat))
    if ((c == 'd' || c == 'm' || c == 'y') && order.find(c) == std::string::npos)
      order += c;
  if (order.size() != 3)
    order = "mdy";
  TScan sc{S};
  int n[3] = {0, 0, 0}, digits[3] = {0, 0, 0};
  int count = 0;
  if (!sc.Number(n[0], digits[0]))
    return false;
  count = 1;
  if (!sc.Char(Settings.DateSeparator) || !sc.Number(n[1], digits[1]))
    return false;
  count = 2;
  if (sc.Char(Settings.DateSeparator)) {
    if (!sc.Number(n[2], digits[2]))
      return false;
    count = 3;
  }
  int y = 0, m = 0, d = 0;
  int cy, cm, cd;
  DecodeDate(Date(), cy, cm, cd);
  if (count == 3) {
    for (int k = 0; k < 3; ++k)
      (order[static_cast<size_t>(k)] == 'y' ? y : order[static_cast<size_t>(k)] == 'm' ? m : d) = n[k];
    if (digits[order.find('y')] <= 2) {
      // Two-digit years fall in the window that ends this many years ahead.
      y += cy / 100 * 100;
      if (Settings.TwoDigitYearCenturyWindow > 0 && y < cy - Settings.TwoDigitYearCenturyWindow)
        y += 100;
    }
  } else {
    // Without a year: the current one, day and month in their format order.
    y = cy;
    std::string dm = order;
    dm.erase(dm.find('y'), 1);
    (dm[0] == 'm' ? m : d) = n[0];
    (dm[1] == 'm' ? m : d) = n[1];
  }
  TDateTime date;
  if (!TryEncodeDate(y, m, d, date))
    return false;
  TDateTime time = 0;
  if (!sc.AtEnd()) {
    int h, mi, se = 0, dg;
    if (!sc.Number(h, dg) || !sc.Char(Settings.TimeSeparator) || !sc.Number(mi, dg))
      return false;
    if (sc.Char(Settings.TimeSeparator) && !sc.Number(se, dg))
      return false;
    sc.Blanks();
    std::string rest = UpperCase(S.substr(sc.I));
    if (rest == "AM" || rest == "PM") {
      if (h < 1 || h > 12)
        return false;
      h = h % 12 + (rest == "PM" ? 12 : 0);
      sc.I = S.size();
    }
    if (!sc.AtEnd() || !TryEncodeTime(h, mi, se, 0, time))
      return false;
  }
  Value = date + time;
  return true;
}

TDateTime SortDateValue(const std::string &S, TSortStyle Style, const TSortSettings &Settings) {
  try {
    if (Style == 6)
      return ParseDateDMY(S);
    if (Style == 7)
      return ParseDateMDY(S);
    TDateTime v;
    return TryStrToDateTime(S, Settings, v) ? v : 0.0;
  } catch (const EConvertError &) {
    return 0.0;
  }
}

static int Sign3(int c) { return c > 0 ? 1 : c < 0 ? -1 : 0; }
static int Cmp3(double a, double b) { return a > b ? 1 : a == b ? 0 : -1; }

int CompareByStyle(const std::string &Text1, const std::string &Text2, const TColumnFormat &Format,
                   const TSortSettings &Settings, const TCustomCompareFn &Custom) {
  switch (Format.Style) {
    case 1:
    case 5:
      return Sign3(Text1.compare(Text2));
    case 4:
      return Sign3(UpperCase(Text1).compare(UpperCase(Text2)));
    case 2:
    case 9: {
      double a, b;
      if (!ParseSortNumber(Text1, Format, Settings, a) || !ParseSortNumber(Text2, Format, Settings, b))
        return 0;
      return Cmp3(a, b);
    }
    case 3:
    case 6:
    case 7:
      return Cmp3(SortDateValue(Text1, Format.Style, Settings), SortDateValue(Text2, Format.Style, Settings));
    case 8: {
      int res = 1;
      if (Custom)
        Custom(Text1, Text2, res);
      return res;
    }
    default:
      return 1;
  }
}

namespace {

// A row and the key it sorts by at one step.
struct TKeyedRow {
  uint64_t Key;
  int Row;
};

// Stable sort by Key: insertion for a few rows, otherwise least significant
// byte first, skipping the bytes all keys share. Equal keys keep their order,
// so the result is the one any stable sort of the same keys gives.
void StableKeySort(std::vector<TKeyedRow> &V) {
  const size_t n = V.size();
  if (n < 48) {
    for (size_t i = 1; i < n; ++i) {
      const TKeyedRow v = V[i];
      size_t j = i;
      for (; j > 0 && V[j - 1].Key > v.Key; --j)
        V[j] = V[j - 1];
      V[j] = v;
    }
    return;
  }
  std::vector<std::array<uint32_t, 256>> count(8);
  for (const TKeyedRow &e : V)
    for (unsigned b = 0; b < 8; ++b)
      ++count[b][(e.Key >> (8 * b)) & 0xff];
  std::vector<TKeyedRow> other(n);
  TKeyedRow *src = V.data(), *dst = other.data();
  for (unsigned b = 0; b < 8; ++b) {
    std::array<uint32_t, 256> &c = count[b];
    if (c[(src[0].Key >> (8 * b)) & 0xff] == n)
      continue;
    uint32_t sum = 0;
    for (uint32_t &x : c) {
      const uint32_t t = x;
      x = sum;
      sum += t;
    }
    for (size_t i = 0; i < n; ++i)
      dst[c[(src[i].Key >> (8 * b)) & 0xff]++] = src[i];
    std::swap(src, dst);
  }
  if (src != V.data())
    std::copy(src, src + n, V.data());
}

// A key whose unsigned order is the order of the numbers (-0 equal to 0).
uint64_t NumberKey(double V) {
  if (V == 0)
    V = 0;
  uint64_t u;
  std::memcpy(&u, &V, sizeof u);
  return (u >> 63) ? ~u : u | (uint64_t(1) << 63);
}

// Order by numbers that all compare consistently (none is NaN); Descending
// reverses the order of unequal values only, as the comparison does.
void SortByNumbers(std::vector<int> &Order, const std::vector<double> &Value, bool Descending) {
  std::vector<TKeyedRow> keyed(Order.size());
  for (size_t i = 0; i < Order.size(); ++i) {
    const uint64_t k = NumberKey(Value[static_cast<size_t>(Order[i])]);
    keyed[i] = {Descending ? ~k : k, Order[i]};
  }
  StableKeySort(keyed);
  for (size_t i = 0; i < Order.size(); ++i)
    Order[i] = keyed[i].Row;
}

// Byte order of the texts, as std::string::compare gives it, with equal
// texts in their old order. Seven bytes at a time (missing ones 0) and, in the
// low byte, how many of them the text still has, 8 when it goes on: rows
// that tie on a key with 8 are ordered again by their next seven bytes.
void SortByTexts(std::vector<int> &Order, const std::vector<const std::string *> &Text, bool Descending) {
  constexpr size_t Step = 7;
  struct TRange {
    size_t Lo, Hi, Offset;
  };
  std::vector<TRange> work{{0, Order.size(), 0}};
  std::vector<TKeyedRow> keyed;
  while (!work.empty()) {
    const TRange r = work.back();
    work.pop_back();
    keyed.resize(r.Hi - r.Lo);
    for (size_t i = r.Lo; i < r.Hi; ++i) {
      const std::string &t = *Text[static_cast<size_t>(Order[i])];
      const size_t left = t.size() - r.Offset;
      uint64_t k = 0;
      for (size_t b = 0; b < Step; ++b)
        k = (k << 8) | (b < left ? static_cast<unsigned char>(t[r.Offset + b]) : 0u);
      k = (k << 8) | (left > Step ? Step + 1 : left);
      keyed[i - r.Lo] = {Descending ? ~k : k, Order[i]};
    }
    StableKeySort(keyed);
    for (size_t i = r.Lo; i < r.Hi; ++i)
      Order[i] = keyed[i - r.Lo].Row;
    for (size_t i = 0; i < keyed.size();) {
      size_t j = i + 1;
      while (j < keyed.size() && keyed[j].Key == keyed[i].Key)
        ++j;
      const uint64_t k = Descending ? ~keyed[i].Key : keyed[i].Key;
      if (j - i > 1 && (k & 0xff) == Step + 1)
        work.push_back({r.Lo + i, r.Lo + j, r.Offset + Step});
      i = j;
    }
  }
}

bool AnyNaN(const std::vector<double> &V) {
  return std::any_of(V.begin(), V.end(), [](double x) { return std::isnan(x); });
}

}  // namespace

std::vector<int> SortOrder(const std::vector<TReportItem> &Items, int SubItem, const TColumnFormat &Format,
                           const TSortSettings &Settings, int Multiplier, const TCustomCompareFn &Custom) {
  const size_t n = Items.size();
  std::vector<int> order(n);
  for (size_t i = 0; i < n; ++i)
    order[i] = static_cast<int>(i);
  // Rows without the sub-item compare as the empty text.
  static const std::string empty;
  std::vector<const std::string *> text(n);
  for (size_t i = 0; i < n; ++i) {
    const TReportItem &it = Items[i];
    text[i] = SubItem < 0 ? &it.Caption
              : static_cast<size_t>(SubItem) < it.SubItems.size() ? &it.SubItems[static_cast<size_t>(SubItem)]
                                                                  : &empty;
  }
  const int m = Multiplier < 0 ? -1 : 1;
  switch (Format.Style) {
    case 1:
    case 5:
    case 4: {
      std::vector<std::string> upper;
      if (Format.Style == 4) {
        upper.resize(n);
        for (size_t i = 0; i < n; ++i) {
          upper[i] = UpperCase(*text[i]);
          text[i] = &upper[i];
        }
      }
      SortByTexts(order, text, m < 0);
      break;
    }
    case 2:
    case 9: {
      std::vector<double> value(n);
      std::vector<char> valid(n);
      bool allValid = true;
      {
        // Gathering the texts first, in a loop that does nothing else, lets
        // the reads of rows far apart in memory overlap; the parse then runs
        // on texts side by side.
        std::vector<std::string> gathered(n);
        for (size_t i = 0; i < n; ++i)
          gathered[i] = *text[i];
        for (size_t i = 0; i < n; ++i)
          allValid &= (valid[i] = ParseSortNumber(gathered[i], Format, Settings, value[i])) != 0;
      }
      // Only an invalid number (equal to every other) makes the comparison
      // inconsistent; then the merge sort's own way of meeting it decides.
      if (allValid && !AnyNaN(value)) {
        SortByNumbers(order, value, m < 0);
        break;
      }
      StableMergeSort(order, [&](int a, int b) {
        if (!valid[a] || !valid[b])
          return 0;
        return m * Cmp3(value[a], value[b]);
      });
      break;
    }
    case 3:
    case 6:
    case 7: {
      std::vector<double> value(n);
      for (size_t i = 0; i < n; ++i)
        value[i] = SortDateValue(*text[i], Format.Style, Settings);
      if (!AnyNaN(value))
        SortByNumbers(order, value, m < 0);
      else
        StableMergeSort(order, [&](int a, int b) { return m * Cmp3(value[a], value[b]); });
      break;
    }
    case 8:
      StableMergeSort(order, [&](int a, int b) {
        int res = 1;
        if (Custom)
          Custom(*text[a], *text[b], res);
        return m * Sign3(res);
      });
      break;
    default:
      StableMergeSort(order, [&](int, int) { return m; });
      break;
  }
  return order;
}

bool IsLinkText(const std::string &S) {
  return S.find("://") != std::string::npos || S.find("mailto:") != std::string::npos;
}

bool IsRichText(const std::string &S) { return S.size() >= 2 && S[0] == '{' && S[1] == '\\'; }

std::string LinkShownText(const std::string &S) {
  std::string r = S;
  size_t p = r.find("://");
  if (p != std::string::npos)
    r.erase(0, p + 3);
  p = r.find("mailto:");
  if (p != std::string::npos)
    r.erase(0, p + 7);
  return r;
}

namespace {
struct TRichState {
  TFontStyles Style = 0;
  bool Skip = false;
};

class TRichParser {
public:
  explicit TRichParser(const std::string &S) : S(S) {}
  std::vector<TRichRun> Run() {
    while (I < S.size()) {
      char c = S[I++];
      if (c == '{') {
        Push();
      } else if (c == '}') {
        Pop();
      } else if (c == '\\') {
        Control();
      } else if (c == '\r' || c == '\n') {
        // Line ends in the source are layout of the file, not of the text.
      } else {
        Emit(c);
      }
    }
    if (!Runs.empty() && Runs.back().Text.empty() && !Runs.back().ParagraphEnd)
      Runs.pop_back();
    return std::move(Runs);
  }

private:
  static constexpr size_t MaxDepth = 64;

  void Push() {
    if (Stack.size() < MaxDepth)
      Stack.push_back(Cur);
    else
      ++Overflow;
    PendingDestination = true;
  }
  void Pop() {
    PendingDestination = false;
    if (Overflow > 0) {
      --Overflow;
      return;
    }
    if (!Stack.empty()) {
      Cur = Stack.back();
      Stack.pop_back();
    }
  }
  void Emit(char c) {
    PendingDestination = false;
    if (Cur.Skip)
      return;
    if (Runs.empty() || Runs.back().ParagraphEnd || Runs.back().Style != Cur.Style)
      Runs.push_back(TRichRun{std::string(), Cur.Style, false});
    Runs.back().Text += c;
  }
  void Paragraph() {
    if (Cur.Skip)
      return;
    if (Runs.empty() || Runs.back().ParagraphEnd)
      Runs.push_back(TRichRun{std::string(), Cur.Style, false});
    Runs.back().ParagraphEnd = true;
  }
  void Control() {
    if (I >= S.size())
      return;
    char c = S[I];
    const bool firstInGroup = PendingDestination;
    PendingDestination = false;
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
      ++I;
      switch (c) {
        case '\\':
        case '{':
        case '}': Emit(c); break;
        case '~': Emit(' '); break;
        case '\'': {
          int hi = I < S.size() ? kv::HexDigitValue(S[I]) : -1;
          int lo = I + 1 < S.size() ? kv::HexDigitValue(S[I + 1]) : -1;
          if (hi >= 0 && lo >= 0) {
            I += 2;
            Emit(static_cast<char>(hi * 16 + lo));
          }
          break;
        }
        case '*':
          if (firstInGroup)
            Cur.Skip = true;
          break;
        case '\r':
        case '\n': Paragraph(); break;
        default: break;
      }
      return;
    }
    std::string word;
    while (I < S.size() && ((S[I] >= 'a' && S[I] <= 'z') || (S[I] >= 'A' && S[I] <= 'Z'))) {
      if (word.size() < 32)
        word += S[I];
      ++I;
    }
    bool hasParam = false;
    bool neg = false;
    long param = 0;
    if (I < S.size() && S[I] == '-' && I + 1 < S.size() && S[I + 1] >= '0' && S[I + 1] <= '9')
      neg = true, ++I;
    while (I < S.size() && S[I] >= '0' && S[I] <= '9') {
      if (param < 1000000)
        param = param * 10 + (S[I] - '0');
      hasParam = true;
      ++I;
    }
    if (neg)
      param = -param;
    if (I < S.size() && S[I] == ' ')
      ++I;
    const bool on = !hasParam || param != 0;
    if (word == "b")
      Set(fsBold, on);
    else if (word == "i")
      Set(fsItalic, on);
    else if (word == "ul")
      Set(fsUnderline, on);
    else if (word == "ulnone")
      Set(fsUnderline, false);
    else if (word == "plain")
      Cur.Style = 0;
    else if (word == "par" || word == "line")
      Paragraph();
    else if (word == "tab")
      Emit(' ');
    else if (word == "u" && hasParam) {
      long cp = param < 0 ? param + 65536 : param;
      Emit(cp >= 0 && cp < 256 ? static_cast<char>(cp) : '?');
      // The plain-text stand-in that follows \u.
      if (I < S.size() && S[I] != '\\' && S[I] != '{' && S[I] != '}')
        ++I;
    } else if (firstInGroup && (word == "fonttbl" || word == "colortbl" || word == "stylesheet" ||
                                word == "info" || word == "pict" || word == "object" || word == "header" ||
                                word == "footer" || word == "listtable" || word == "listoverridetable" ||
                                word == "generator"))
      Cur.Skip = true;
  }
  void Set(TFontStyles Bit, bool On) { Cur.Style = On ? (Cur.Style | Bit) : (Cur.Style & ~Bit); }

  const std::string &S;
  size_t I = 0;
  TRichState Cur;
  std::vector<TRichState> Stack;
  size_t Overflow = 0;
  bool PendingDestination = false;
  std::vector<TRichRun> Runs;
};
}  // namespace

std::vector<TRichRun> ParseRichText(const std::string &S) { return TRichParser(S).Run(); }

unsigned VAlignmentFlag(TVAlignment V) {
  switch (V) {
    case vtaTop: return DT_TOP;
    case vtaBottom: return DT_BOTTOM;
    default: return DT_VCENTER;
  }
}

unsigned CellDrawFlags(const std::string &Text, TAlignment Alignment, bool WordWrap, TVAlignment V) {
  unsigned f = DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL;
  f |= WordWrap ? DT_WORDBREAK : DT_SINGLELINE;
  f |= VAlignmentFlag(V);
  f |= Alignment == taRightJustify ? DT_RIGHT : Alignment == taCenter ? DT_CENTER : DT_LEFT;
  if (Text.find('\r') == std::string::npos)
    f |= DT_END_ELLIPSIS;
  return f;
}

static int FloorHalf(int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }

std::vector<TCellPlan> PlanRow(const TReportItem &Item, const std::vector<TPlanColumn> &DisplayOrder, TRect Rect,
                               TOwnerDrawState State, const TBrush &RowBrush, const TFont &RowFont,
                               const TDrawOptions &Options, const TDrawItemPropFn &DrawItemProp) {
  std::vector<TCellPlan> cells;
  cells.reserve(DisplayOrder.size());
  int left = Rect.Left;
  for (const TPlanColumn &col : DisplayOrder) {
    TCellPlan cell;
    cell.Column = col.Index;
    cell.SubItem = col.Index - 1;
    const int s = cell.SubItem;
    const bool hasSub = s < 0 || static_cast<size_t>(s) < Item.SubItems.size();
    cell.Text = SubItemText(Item, s);
    cell.Brush = RowBrush;
    cell.Font = RowFont;
    if (DrawItemProp)
      DrawItemProp(s, State, cell.Brush, cell.Font, cell.Text);
    cell.Shown = cell.Text;
    if (Options.URLShow && !(State & odSelected) && IsLinkText(cell.Text)) {
      cell.Font.Style |= fsUnderline;
      cell.Font.Color = Options.URLColor;
    }
    if (Options.URLShow && !Options.URLFull)
      cell.Shown = LinkShownText(cell.Text);
    cell.CellRect = TRect{left, Rect.Top, left + col.Width, Rect.Bottom};
    left += col.Width;
    cell.TextRect = cell.CellRect;
    cell.PaintBackground = !Options.HaveWallpaper;
    if (hasSub && Options.HaveImages) {
      int index = -1;
      if (s < 0)
        index = Item.ImageIndex;
      else if (Options.SubImages)
        index = SubItemImage(Item, s);
      if (index >= 0 && index <= 65534 && (!Options.ImageShows || Options.ImageShows(index))) {
        cell.ImageIndex = index;
        cell.ImageLeft = cell.CellRect.Left;
        switch (Options.VAlignment) {
          case vtaTop: cell.ImageTop = cell.CellRect.Top; break;
          case vtaBottom: cell.ImageTop = cell.CellRect.Bottom - Options.ImageHeight; break;
          default: cell.ImageTop = cell.CellRect.Top + FloorHalf(cell.CellRect.Height() - Options.ImageHeight);
        }
        cell.TextRect.Left += Options.ImageWidth;
      }
    }
    // The renderer reads the cell itself, so the full text decides.
    cell.Rich = IsRichText(cell.Text);
    cell.DrawFlags = CellDrawFlags(cell.Shown, col.Alignment, Options.WordWrap, Options.VAlignment);
    cells.push_back(std::move(cell));
  }
  return cells;
}

THintDecision DecideCellHint(bool AutoHint, const std::string &CellText, bool SwitchOn, int ColumnWidth,
                             int TextWidth, int TextMargin) {
  THintDecision d;
  if (!AutoHint || CellText.empty() || !SwitchOn)
    return d;
  d.Acts = true;
  d.CanShow = ColumnWidth < TextWidth + 2 * TextMargin;
  return d;
}

}  // namespace kv
