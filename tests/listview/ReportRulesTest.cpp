#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <random>

#include "components/replistv_rules.h"
#include "platform/SysUtils.h"
#include "platform/gui/Shell.h"

using namespace kv;

namespace {

struct StyleCase {
  const char *Name;
  int Style;
  const char *Prefix, *Suffix;
  char Decimal;
  const char *A, *B;
  int Expected;
};

const StyleCase kStyleCases[] = {
    {"Text_LowerAfterUpper", 1, "", "", '.', "abc", "ABC", 1},
    {"Text_BeginningIsSmaller", 1, "", "", '.', "ab", "abc", -1},
    {"Text_Equal", 1, "", "", '.', "abc", "abc", 0},
    {"Text_BytesUnsigned", 1, "", "", '.', "\xE9", "z", 1},
    {"Style5_AsStyle1", 5, "", "", '.', "abc", "ABC", 1},
    {"NoCase_Equal", 4, "", "", '.', "abc", "ABC", 0},
    {"NoCase_EqualReversed", 4, "", "", '.', "ABC", "abc", 0},
    {"NoCase_OnlyAsciiFolds", 4, "", "", '.', "\xE9", "\xC9", 1},
    {"Number_Prefix", 2, "$", "", '.', "$12", "$9", 1},
    {"Number_EmptyIsZero", 2, "$", "", '.', "", "1", -1},
    {"Number_JunkEqualsAnything", 2, "", "", '.', "12 kg", "1", 0},
    {"Number_JunkEqualsAnythingReversed", 2, "", "", '.', "999", "12 kg", 0},
    {"Number_Suffix", 2, "", " kg", '.', "12 kg", "9 kg", 1},
    {"Number_SuffixAnywhere", 2, "", "kg", '.', "kg12", "9", 1},
    {"Number_ThousandsNotStripped", 2, "", "", '.', "1,250", "999", 0},
    {"Number_Thousands", 9, "", "", '.', "1,250", "999", 1},
    {"Number_ThousandsAndDecimals", 9, "", "", '.', "1,250.50", "1,250.49", 1},
    {"Number_DecimalComma", 2, "", "", ',', "2,5", "2.4", 1},
    {"Number_Negative", 2, "", "", '.', "-3", "2", -1},
    {"Number_Exponent", 2, "", "", '.', "1e3", "999", 1},
    {"Number_LeadingBlanks", 2, "", "", '.', "  5", "4", 1},
    {"Number_TrailingBlankInvalid", 2, "", "", '.', "5 ", "4", 0},
    {"Number_InfInvalid", 2, "", "", '.', "inf", "1", 0},
    {"Number_NanInvalid", 2, "", "", '.', "nan", "1", 0},
    {"Number_HexInvalid", 2, "", "", '.', "0x10", "1", 0},
    {"Number_HexFloatInvalid", 2, "", "", '.', "0x1p3", "1", 0},
    {"Number_OverflowInvalid", 2, "", "", '.', "1e400", "1", 0},
    {"Number_BlankOnlyInvalid", 2, "", "", '.', "  ", "1", 0},
    {"Number_SignOnlyInvalid", 2, "", "", '.', "-", "1", 0},
    {"DateMDY_Order", 7, "", "", '.', "12/31/99", "1/1/99", 1},
    {"DateMDY_BadMonthIsZero", 7, "", "", '.', "13/01/99", "1/1/1900", -1},
    {"DateDMY_Order", 6, "", "", '.', "31/12/99", "1/12/99", 1},
    {"DateUser_Order", 3, "", "", '.', "1/2/2003", "12/31/2002", 1},
    {"DateUser_JunkIsZero", 3, "", "", '.', "junk", "1/1/2000", -1},
    {"DateUser_WithTime", 3, "", "", '.', "1/2/2003 10:30", "1/2/2003 9:15", 1},
    {"Nothing_Style0", 0, "", "", '.', "a", "b", 1},
    {"Nothing_Style0Equal", 0, "", "", '.', "a", "a", 1},
    {"Nothing_Style10", 10, "", "", '.', "a", "b", 1},
    {"Nothing_Style255", 255, "", "", '.', "b", "a", 1},
    {"Custom_NoHandler", 8, "", "", '.', "a", "b", 1},
};

class ComparisonStyles : public ::testing::TestWithParam<StyleCase> {};

TEST_P(ComparisonStyles, ComparesByStyle) {
  const StyleCase &c = GetParam();
  TColumnFormat f;
  f.Style = static_cast<TSortStyle>(c.Style);
  f.Prefix = c.Prefix;
  f.Suffix = c.Suffix;
  TSortSettings s;
  s.DecimalSeparator = c.Decimal;
  EXPECT_EQ(CompareByStyle(c.A, c.B, f, s, nullptr), c.Expected);
  // The sort reads keys once per row; it must agree with the one-pair rule.
  std::vector<TReportItem> rows(2);
  rows[0].Caption = c.A;
  rows[1].Caption = c.B;
  std::vector<int> order = SortOrder(rows, -1, f, s, 1, nullptr);
  if (c.Expected > 0) {
    EXPECT_EQ(order, (std::vector<int>{1, 0}));
  } else {
    EXPECT_EQ(order, (std::vector<int>{0, 1}));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ComparisonStyles, ::testing::ValuesIn(kStyleCases),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST(ComparisonStyles, CustomHandlerGetsPairInOrder) {
  TColumnFormat f;
  f.Style = 8;
  std::string seen1, seen2;
  int r = CompareByStyle("x", "y", f, TSortSettings(), [&](const std::string &a, const std::string &b, int &res) {
    EXPECT_EQ(res, 1);
    seen1 = a;
    seen2 = b;
    res = -7;
  });
  EXPECT_EQ(r, -7);
  EXPECT_EQ(seen1, "x");
  EXPECT_EQ(seen2, "y");
}

struct DateCase {
  const char *Name;
  bool MonthFirst;
  const char *Text;
  int Y, M, D;  // 0: the result is 0.0
  bool Raises;
};

const DateCase kDateCases[] = {
    {"MDY_TwoDigitYear", true, "12/31/99", 1999, 12, 31, false},
    {"MDY_DashesYearUpTo25", true, "1-2-03", 2003, 1, 2, false},
    {"MDY_Year25", true, "1/2/25", 2025, 1, 2, false},
    {"MDY_Year26", true, "1/2/26", 1926, 1, 2, false},
    {"MDY_FourDigitYearGets1900", true, "12.31.1999", 3899, 12, 31, false},
    {"MDY_TimeAfterYearIgnored", true, "12/31/99 10:30", 1999, 12, 31, false},
    {"MDY_HexNumber", true, "$C/1/05", 2005, 12, 1, false},
    {"MDY_DashBeforeSlash", true, "1/2-3", 0, 0, 0, false},
    {"MDY_BadMonthRaises", true, "13/01/99", 0, 0, 0, true},
    {"MDY_Day31In30DayMonthRaises", true, "4/31/99", 0, 0, 0, true},
    {"MDY_OneSeparatorIsZero", true, "31/12", 0, 0, 0, false},
    {"MDY_NoSeparatorIsZero", true, "311299", 0, 0, 0, false},
    {"MDY_HugeYearRaises", true, "1/1/99999999999999", 0, 0, 0, true},
    {"DMY_TwoDigitYear", false, "31/12/99", 1999, 12, 31, false},
    {"DMY_Dots", false, "1.2.2003", 3903, 2, 1, false},
};

class DateReaders : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateReaders, ReadsDate) {
  const DateCase &c = GetParam();
  auto parse = [&] { return c.MonthFirst ? ParseDateMDY(c.Text) : ParseDateDMY(c.Text); };
  if (c.Raises) {
    EXPECT_THROW(parse(), EConvertError);
    EXPECT_EQ(SortDateValue(c.Text, c.MonthFirst ? 7 : 6, TSortSettings()), 0.0);
    return;
  }
  if (std::string(c.Name) == "MDY_DashBeforeSlash") {
    // "-" is sought first: "1/2" is the first number (1), "3" has no second separator.
    EXPECT_EQ(parse(), 0.0);
    return;
  }
  const TDateTime expected = c.Y ? EncodeDate(c.Y, c.M, c.D) : 0.0;
  EXPECT_EQ(parse(), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, DateReaders, ::testing::ValuesIn(kDateCases),
                         [](const auto &info) { return std::string(info.param.Name); });

std::vector<TReportItem> Rows(std::initializer_list<std::vector<std::string>> Cells) {
  std::vector<TReportItem> rows;
  for (const auto &r : Cells) {
    TReportItem it;
    it.Caption = r[0];
    it.SubItems.assign(r.begin() + 1, r.end());
    rows.push_back(it);
  }
  return rows;
}

TEST(Sort, NumbersWithThousandsAscendingAndDescending) {
  auto rows = Rows({{"a", "1,250.00"}, {"b", "999.00"}, {"c", ""}, {"d", "12.50"}});
  TColumnFormat f;
  f.Style = 9;
  EXPECT_EQ(SortOrder(rows, 0, f, TSortSettings(), 1, nullptr), (std::vector<int>{2, 3, 1, 0}));
  EXPECT_EQ(SortOrder(rows, 0, f, TSortSettings(), -1, nullptr), (std::vector<int>{0, 1, 3, 2}));
}

TEST(Sort, StableForEqualKeysInBothDirections) {
  auto rows = Rows({{"b"}, {"A"}, {"a"}, {"B"}});
  TColumnFormat f;
  f.Style = 4;
  EXPECT_EQ(SortOrder(rows, -1, f, TSortSettings(), 1, nullptr), (std::vector<int>{1, 2, 0, 3}));
  EXPECT_EQ(SortOrder(rows, -1, f, TSortSettings(), -1, nullptr), (std::vector<int>{0, 3, 1, 2}));
}

TEST(Sort, TextSortAgreesWithThePairRule) {
  // Short alphabets and lengths across several steps of seven bytes, NUL and
  // high bytes included, so many pairs tie on their first bytes.
  std::mt19937 rng(99);
  const char alphabet[] = {'a', 'A', 'b', '\0', '\xff', ' '};
  std::vector<TReportItem> rows(4000);
  for (auto &r : rows) {
    size_t len = rng() % 30;
    for (size_t i = 0; i < len; ++i)
      r.Caption += alphabet[rng() % 6];
  }
  for (int style : {1, 4, 5}) {
    TColumnFormat f;
    f.Style = static_cast<TSortStyle>(style);
    for (int m : {1, -1}) {
      std::vector<int> expected(rows.size());
      for (size_t i = 0; i < rows.size(); ++i)
        expected[i] = static_cast<int>(i);
      std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
        return m * CompareByStyle(rows[static_cast<size_t>(a)].Caption, rows[static_cast<size_t>(b)].Caption, f,
                                  TSortSettings(), nullptr) < 0;
      });
      EXPECT_EQ(SortOrder(rows, -1, f, TSortSettings(), m, nullptr), expected) << "style " << style << " m " << m;
    }
  }
}

struct DecimalCase {
  const char *Name;
  const char *Text;
  bool Valid;
  double Value;
};

const DecimalCase kDecimalCases[] = {
    {"Whole", "1250", true, 1250},
    {"Fraction", "12.50", true, 12.5},
    {"LeadingBlanksAndPlus", "  +7.25", true, 7.25},
    {"NegativeZero", "-0", true, -0.0},
    {"TenthIsRoundedOnce", "0.1", true, 0.1},
    {"SeventeenDigits", "12345678901234567", true, 12345678901234567.0},
    {"Exponent", "1.5e3", true, 1500},
    {"TinyReadsAsZero", "1e-400", true, 0},
    {"HugeIsNoNumber", "1e400", false, 0},
    {"NoDigits", "-.", false, 0},
    {"TrailingBlank", "12 ", false, 0},
    {"ExponentWithoutDigits", "3e", false, 0},
    {"Infinity", "inf", false, 0},
};

class DecimalCases : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalCases, Read) {
  const DecimalCase &c = GetParam();
  double v = 12345;
  ASSERT_EQ(ReadDecimal(c.Text, v), c.Valid);
  if (c.Valid) {
    EXPECT_EQ(v, c.Value);
    EXPECT_EQ(std::signbit(v), std::signbit(c.Value));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, DecimalCases, ::testing::ValuesIn(kDecimalCases),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST(Decimal, EveryValueIsTheCorrectlyRoundedOne) {
  // Random digits, points and exponents around the limits of the short cut
  // (2^53, 10^22): each value is the one the full conversion gives.
  std::mt19937 rng(42);
  for (int k = 0; k < 200000; ++k) {
    std::string t = (rng() % 4 == 0) ? "-" : "";
    const size_t whole = rng() % 20, fraction = rng() % 20;
    for (size_t i = 0; i < whole; ++i)
      t += static_cast<char>('0' + rng() % 10);
    if (fraction || whole == 0) {
      t += '.';
      for (size_t i = 0; i < fraction + (whole == 0); ++i)
        t += static_cast<char>('0' + rng() % 10);
    }
    if (rng() % 3 == 0)
      t += "e" + std::to_string(static_cast<int>(rng() % 61) - 30);
    double expected = 0;
    const auto res = std::from_chars(t.c_str(), t.c_str() + t.size(), expected);
    ASSERT_EQ(res.ec, std::errc()) << t;
    double got = 0;
    ASSERT_TRUE(ReadDecimal(t, got)) << t;
    ASSERT_EQ(got, expected) << t;
    ASSERT_EQ(std::signbit(got), std::signbit(expected)) << t;
  }
}

// The sort of every style gives the order the stable merge sort gives with
// the pair rule itself, consistent or not: the same rows, the same places.
struct OrderCase {
  const char *Name;
  int Style;
  std::vector<std::string> Texts;  // drawn from at random, 2000 rows
};

const OrderCase kOrderCases[] = {
    {"Numbers", 2, {"0", "-0", "0.0", "12", "12.0", "-3.5", "1e3", "1000", "0.001", "", "7", "-1e-400", "1e308"}},
    {"NumbersWithThousands", 9, {"1,250.00", "999.00", "", "12.50", "1,250", "0.00", "-2,000.10", "3"}},
    {"NumbersWithJunk", 2, {"12", "3", "junk", "", "-1", "12 kg", "4.5"}},
    {"Dates", 3, {"1/2/2003", "12/31/1999", "1/2/2003 10:00", "", "x", "2/30/2001", "7/4/1976"}},
    {"DatesDayFirst", 6, {"2/1/2003", "31/12/1999", "", "x", "4/7/1976", "1/1/2000"}},
    {"ShortTexts", 1, {"", "a", "ab", "abc", "b", "B", "a\0", "a\0b", "\xff", "abcdefg", "abcdefgh"}},
    {"NoCaseTexts", 4, {"abc", "ABC", "Abd", "abcdefghij", "ABCDEFGHIK", "", "z"}},
};

void PrintTo(const OrderCase &c, std::ostream *os) { *os << c.Name; }

class SortOrderCases : public ::testing::TestWithParam<OrderCase> {};

TEST_P(SortOrderCases, MatchesTheMergeSortOfThePairRule) {
  const OrderCase &c = GetParam();
  std::mt19937 rng(5);
  std::vector<TReportItem> rows(2000);
  for (auto &r : rows)
    r.Caption = c.Texts[rng() % c.Texts.size()];
  TColumnFormat f;
  f.Style = static_cast<TSortStyle>(c.Style);
  const TSortSettings settings;
  for (int m : {1, -1}) {
    std::vector<int> expected(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
      expected[i] = static_cast<int>(i);
    StableMergeSort(expected, [&](int a, int b) {
      return m * CompareByStyle(rows[static_cast<size_t>(a)].Caption, rows[static_cast<size_t>(b)].Caption, f,
                                settings, nullptr);
    });
    EXPECT_EQ(SortOrder(rows, -1, f, settings, m, nullptr), expected) << "multiplier " << m;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, SortOrderCases, ::testing::ValuesIn(kOrderCases),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST(Sort, MissingSubItemSortsAsEmpty) {
  auto rows = Rows({{"a", "x", "m"}, {"b"}, {"c", "y", "a"}});
  TColumnFormat f;
  EXPECT_EQ(SortOrder(rows, 1, f, TSortSettings(), 1, nullptr), (std::vector<int>{1, 2, 0}));
}

bool IsPermutation(std::vector<int> Order, size_t N) {
  if (Order.size() != N)
    return false;
  std::sort(Order.begin(), Order.end());
  for (size_t i = 0; i < N; ++i)
    if (Order[i] != static_cast<int>(i))
      return false;
  return true;
}

TEST(Sort, RandomInconsistentComparatorYieldsPermutation) {
  const size_t n = 10000;
  std::vector<int> order(n);
  for (size_t i = 0; i < n; ++i)
    order[i] = static_cast<int>(i);
  std::mt19937 rng(12345);
  size_t calls = 0;
  StableMergeSort(order, [&](int, int) {
    ++calls;
    return static_cast<int>(rng() % 3) - 1;
  });
  EXPECT_TRUE(IsPermutation(order, n));
  EXPECT_GT(calls, n);
}

TEST(Sort, InconsistentStylesYieldPermutation) {
  std::vector<TReportItem> rows(3000);
  std::mt19937 rng(7);
  for (auto &r : rows)
    r.Caption = (rng() % 4 == 0) ? "junk" : std::to_string(rng() % 100);
  for (int style : {0, 2, 8, 200}) {
    TColumnFormat f;
    f.Style = static_cast<TSortStyle>(style);
    for (int m : {1, -1}) {
      // The client's number comparisons never answer "equal".
      auto custom = [&](const std::string &, const std::string &, int &res) { res = (rng() & 1) ? 1 : -1; };
      EXPECT_TRUE(IsPermutation(SortOrder(rows, -1, f, TSortSettings(), m, custom), rows.size()))
          << "style " << style << " multiplier " << m;
    }
  }
}

TEST(Sort, NumbersByValueNotByText) {
  auto rows = Rows({{"10"}, {"9"}, {"2.5"}});
  TColumnFormat f;
  f.Style = 2;
  EXPECT_EQ(SortOrder(rows, -1, f, TSortSettings(), 1, nullptr), (std::vector<int>{2, 1, 0}));
}

struct CellCase {
  const char *Name;
  int Col, Row;
  const char *Expected;
};

const CellCase kCellCases[] = {
    {"HeaderCaption", 2, -1, "Manufacturer"},
    {"HeaderPastColumns", 3, -1, ""},
    {"HeaderNegativeColumn", -1, -1, ""},
    {"Caption", 0, 0, "P1"},
    {"CaptionForNegativeColumn", -4, 0, "P1"},
    {"SubItem", 2, 0, "M1"},
    {"SubItemMissing", 5, 0, ""},
    {"ShortRow", 2, 1, ""},
    {"RowPastEnd", 0, 2, ""},
    {"RowFarPastEnd", 0, 1 << 30, ""},
};

class CellAddressing : public ::testing::TestWithParam<CellCase> {};

TEST_P(CellAddressing, GetCellText) {
  const CellCase &c = GetParam();
  auto rows = Rows({{"P1", "D1", "M1"}, {"P2", "D2"}});
  std::vector<std::string> captions{"Part", "Description", "Manufacturer"};
  EXPECT_EQ(GetCellText(rows, captions, c.Col, c.Row), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CellAddressing, ::testing::ValuesIn(kCellCases),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST(CellAddressing, SetCellTextPadsSubItems) {
  auto rows = Rows({{"P1", "D1"}});
  EXPECT_TRUE(SetCellText(rows, 5, 3, 0, "x"));
  EXPECT_EQ(rows[0].SubItems, (std::vector<std::string>{"D1", "", "x"}));
  EXPECT_TRUE(SetCellText(rows, 5, 0, 0, "cap"));
  EXPECT_EQ(rows[0].Caption, "cap");
}

TEST(CellAddressing, SetCellTextOutsideDoesNothing) {
  auto rows = Rows({{"P1", "D1"}});
  for (auto [col, row] : {std::pair{5, 0}, {-1, 0}, {1, 1}, {1, -1}})
    EXPECT_FALSE(SetCellText(rows, 5, col, row, "x")) << col << "," << row;
  EXPECT_EQ(rows[0].Caption, "P1");
  EXPECT_EQ(rows[0].SubItems, (std::vector<std::string>{"D1"}));
}

TEST(Links, TestsAndShownText) {
  EXPECT_TRUE(IsLinkText("see http://x"));
  EXPECT_TRUE(IsLinkText("mailto:sales"));
  EXPECT_FALSE(IsLinkText("http:/x"));
  EXPECT_EQ(LinkShownText("ftp://x/a"), "x/a");
  EXPECT_EQ(LinkShownText("mailto:sales"), "sales");
  EXPECT_EQ(LinkShownText("a://b mailto:c"), "c");
  EXPECT_TRUE(IsRichText("{\\rtf1 x}"));
  EXPECT_FALSE(IsRichText("a {\\b x}"));
  EXPECT_FALSE(IsRichText("{"));
}

TEST(RichText, StylesAndParagraphs) {
  auto runs = ParseRichText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\*\\generator x;}plain \\b bold\\b0  "
                            "{\\i it}\\par \\ul u\\ulnone\\'e9\\\\\\{}");
  std::string all;
  for (auto &r : runs)
    all += r.Text + (r.ParagraphEnd ? "|" : "");
  EXPECT_EQ(all, "plain bold it|u\xE9\\{");
  ASSERT_GE(runs.size(), 5u);
  EXPECT_EQ(runs[0].Style, 0u);
  EXPECT_EQ(runs[1].Text, "bold");
  EXPECT_EQ(runs[1].Style, fsBold);
  EXPECT_EQ(runs[3].Text, "it");
  EXPECT_EQ(runs[3].Style, fsItalic);
  EXPECT_TRUE(runs[3].ParagraphEnd);
  EXPECT_EQ(runs[4].Style, fsUnderline);
}

TEST(RichText, MalformedInputEnds) {
  const std::string inputs[] = {
      "{\\rtf1 {\\b abc",
      std::string(200000, '{') + "deep" + std::string(10, '}'),
      std::string(5000, '}') + "x",
      "\\",
      "{\\rtf1 \\'",
      "{\\rtf1 \\'4",
      "{\\rtf1 \\" + std::string(100000, 'a') + "99999999999999999999 tail}",
      "{\\rtf1 \\u-3 \\u99999999 \\u}",
      std::string("{\\rtf1 \0\x01\xff}", 10),
  };
  for (const std::string &in : inputs) {
    auto runs = ParseRichText(in);
    size_t total = 0;
    for (auto &r : runs)
      total += r.Text.size();
    EXPECT_LE(total, in.size());
  }
  std::string deep;
  for (auto &r : ParseRichText(inputs[1]))
    deep += r.Text;
  EXPECT_EQ(deep, "deep");
}

struct PropCall {
  int SubItem;
  TOwnerDrawState State;
  std::string Text;
};

class DrawPlan : public ::testing::Test {
protected:
  TReportItem Item;
  std::vector<TPlanColumn> Columns{{0, 100, taLeftJustify}, {1, 80, taRightJustify}, {2, 60, taCenter}};
  TDrawOptions Options;
  TBrush RowBrush{clWindow};
  TFont RowFont;
  std::vector<PropCall> Calls;

  void SetUp() override {
    Item.Caption = "P1";
    Item.SubItems = {"ftp://x/a", "mailto:sales"};
    Options.URLShow = true;
    Options.URLColor = clBlue;
  }
  std::vector<TCellPlan> Plan(TOwnerDrawState State = 0, TRect Rect = {0, 0, 240, 15}) {
    return PlanRow(Item, Columns, Rect, State, RowBrush, RowFont, Options,
                   [&](int SubItem, TOwnerDrawState S, TBrush &B, TFont &F, const std::string &Text) {
                     Calls.push_back({SubItem, S, Text});
                     if (SubItem == -1) {
                       F.Style |= fsBold;
                       B.Color = clYellow;
                     }
                     F.Color = clRed;
                   });
  }
};

TEST_F(DrawPlan, LinksShownWithoutSchemeUnderlinedInLinkColour) {
  auto plan = Plan();
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[1].Shown, "x/a");
  EXPECT_EQ(plan[2].Shown, "sales");
  for (int i : {1, 2}) {
    EXPECT_EQ(plan[i].Text, Item.SubItems[static_cast<size_t>(i - 1)]);
    EXPECT_TRUE(plan[i].Font.Style & fsUnderline);
    EXPECT_EQ(plan[i].Font.Color, clBlue);
  }
  EXPECT_FALSE(plan[0].Font.Style & fsUnderline);
  EXPECT_EQ(plan[0].Font.Color, clRed);
}

TEST_F(DrawPlan, HandlerGetsFullTextsSubItemIndexesAndState) {
  Plan(odSelected | odFocused);
  ASSERT_EQ(Calls.size(), 3u);
  EXPECT_EQ(Calls[0].SubItem, -1);
  EXPECT_EQ(Calls[0].Text, "P1");
  EXPECT_EQ(Calls[1].SubItem, 0);
  EXPECT_EQ(Calls[1].Text, "ftp://x/a");
  EXPECT_EQ(Calls[2].SubItem, 1);
  EXPECT_EQ(Calls[2].Text, "mailto:sales");
  for (auto &c : Calls)
    EXPECT_EQ(c.State, odSelected | odFocused);
}

TEST_F(DrawPlan, SelectedRowKeepsHandlerFontOnLinks) {
  auto plan = Plan(odSelected);
  EXPECT_FALSE(plan[1].Font.Style & fsUnderline);
  EXPECT_EQ(plan[1].Font.Color, clRed);
  EXPECT_EQ(plan[1].Shown, "x/a");
}

TEST_F(DrawPlan, FullLinksAndLinksOff) {
  Options.URLFull = true;
  EXPECT_EQ(Plan()[1].Shown, "ftp://x/a");
  Options.URLShow = false;
  auto plan = Plan();
  EXPECT_EQ(plan[1].Shown, "ftp://x/a");
  EXPECT_FALSE(plan[1].Font.Style & fsUnderline);
}

TEST_F(DrawPlan, EachCellStartsFromTheRowColours) {
  auto plan = Plan();
  EXPECT_EQ(plan[0].Brush.Color, clYellow);
  EXPECT_TRUE(plan[0].Font.Style & fsBold);
  EXPECT_EQ(plan[1].Brush.Color, clWindow);
  EXPECT_FALSE(plan[2].Font.Style & fsBold);
}

TEST_F(DrawPlan, CellsFollowDisplayOrderAndWidths) {
  std::swap(Columns[0], Columns[2]);  // display order 2, 1, 0
  Item.SubItems.resize(1);            // the row has no sub-item 1
  auto plan = Plan(0, {-10, 30, 230, 45});
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].Column, 2);
  EXPECT_EQ(plan[0].Text, "");
  EXPECT_EQ(plan[0].CellRect, (TRect{-10, 30, 50, 45}));
  EXPECT_EQ(plan[1].CellRect, (TRect{50, 30, 130, 45}));
  EXPECT_EQ(plan[2].Column, 0);
  EXPECT_EQ(plan[2].CellRect, (TRect{130, 30, 230, 45}));
}

TEST_F(DrawPlan, DrawFlags) {
  Item.SubItems = {"a\rb", "c"};
  auto plan = Plan();
  EXPECT_EQ(plan[0].DrawFlags, DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL | DT_SINGLELINE | DT_VCENTER |
                                   DT_LEFT | DT_END_ELLIPSIS);
  EXPECT_EQ(plan[1].DrawFlags, DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL | DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
  EXPECT_EQ(plan[2].DrawFlags & (DT_CENTER | DT_RIGHT), DT_CENTER);
  Options.WordWrap = true;
  Options.VAlignment = vtaBottom;
  plan = Plan();
  EXPECT_TRUE(plan[1].DrawFlags & DT_WORDBREAK);
  EXPECT_FALSE(plan[1].DrawFlags & DT_SINGLELINE);
  EXPECT_TRUE(plan[1].DrawFlags & DT_BOTTOM);
  EXPECT_EQ(VAlignmentFlag(vtaTop), 0u);
}

TEST_F(DrawPlan, RichTextOnlyAtTheStart) {
  Item.SubItems = {"{\\rtf1 x}", "a {\\b x}"};
  auto plan = Plan();
  EXPECT_TRUE(plan[1].Rich);
  EXPECT_FALSE(plan[2].Rich);
}

TEST_F(DrawPlan, WallpaperLeavesBackgroundUnpainted) {
  EXPECT_TRUE(Plan()[0].PaintBackground);
  Options.HaveWallpaper = true;
  EXPECT_FALSE(Plan()[0].PaintBackground);
}

struct ImageCase {
  const char *Name;
  TVAlignment V;
  int Index;
  bool Drawn;
  int Top;  // row top is 100, row height 15, image 16x16
};

const ImageCase kImageCases[] = {
    {"CentreTallerStartsAbove", vtaCenter, 3, true, 99},
    {"Top", vtaTop, 3, true, 100},
    {"Bottom", vtaBottom, 3, true, 99},
    {"Zero", vtaCenter, 0, true, 99},
    {"Largest", vtaCenter, 65534, true, 99},
    {"MinusOneNone", vtaCenter, -1, false, 0},
    {"TooLargeNone", vtaCenter, 65535, false, 0},
};

class DrawPlanImages : public DrawPlan, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(DrawPlanImages, ImageOffsets) {
  const ImageCase &c = GetParam();
  Options.HaveImages = true;
  Options.SubImages = true;
  Options.ImageWidth = Options.ImageHeight = 16;
  Options.VAlignment = c.V;
  Item.ImageIndex = c.Index;
  Item.SubItemImages = {c.Index};
  auto plan = Plan(0, {0, 100, 240, 115});
  for (int i : {0, 1}) {
    if (c.Drawn) {
      EXPECT_EQ(plan[i].ImageIndex, c.Index);
      EXPECT_EQ(plan[i].ImageTop, c.Top);
      EXPECT_EQ(plan[i].ImageLeft, plan[i].CellRect.Left);
      EXPECT_EQ(plan[i].TextRect.Left, plan[i].CellRect.Left + 16);
    } else {
      EXPECT_EQ(plan[i].ImageIndex, -1);
      EXPECT_EQ(plan[i].TextRect.Left, plan[i].CellRect.Left);
    }
  }
  // No sub-item image for sub-item 1 (none set) and none without SubImages.
  EXPECT_EQ(plan[2].ImageIndex, -1);
}

INSTANTIATE_TEST_SUITE_P(Table, DrawPlanImages, ::testing::ValuesIn(kImageCases),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST_F(DrawPlan, SubItemImagesNeedSubImagesAndTheSubItem) {
  Options.HaveImages = true;
  Options.ImageWidth = Options.ImageHeight = 16;
  Item.ImageIndex = 1;
  Item.SubItemImages = {8, 8, 8};
  Item.SubItems.resize(1);
  auto plan = Plan();
  EXPECT_EQ(plan[0].ImageIndex, 1);
  EXPECT_EQ(plan[1].ImageIndex, -1);
  Options.SubImages = true;
  plan = Plan();
  EXPECT_EQ(plan[1].ImageIndex, 8);
  EXPECT_EQ(plan[2].ImageIndex, -1);  // the row has no sub-item 1
}

struct HintCase {
  const char *Name;
  bool AutoHint;
  const char *Text;
  bool Switch;
  int ColumnWidth, TextWidth;
  bool Acts, CanShow;
};

const HintCase kHintCases[] = {
    {"Fits", true, "abc", true, 100, 96, true, false},
    {"DoesNotFit", true, "abc", true, 100, 97, true, true},
    {"AutoHintOff", false, "abc", true, 10, 97, false, false},
    {"EmptyText", true, "", true, 10, 97, false, false},
    {"SwitchOff", true, "abc", false, 10, 97, false, false},
};

class HintRule : public ::testing::TestWithParam<HintCase> {};

TEST_P(HintRule, Decides) {
  const HintCase &c = GetParam();
  THintDecision d = DecideCellHint(c.AutoHint, c.Text, c.Switch, c.ColumnWidth, c.TextWidth);
  EXPECT_EQ(d.Acts, c.Acts);
  if (d.Acts) {
    EXPECT_EQ(d.CanShow, c.CanShow);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, HintRule, ::testing::ValuesIn(kHintCases),
                         [](const auto &info) { return std::string(info.param.Name); });

}  // namespace

namespace {

struct ShellCase {
  const char *Name;
  const char *Url;
  bool Opens;
};

const ShellCase kShellCases[] = {
    {"Http", "http://shop.test/ds.pdf", true},
    {"Https", "https://shop.test/", true},
    {"Ftp", "ftp://x/a", false},
    {"Mailto", "mailto:sales@shop.test", true},
    {"SchemeAnyCase", "HTTP://SHOP.TEST", true},
    {"File", "file:///etc/passwd", false},
    {"Javascript", "javascript://alert(1)", false},
    {"SchemeOnly", "http://", false},
    {"TextBeforeAddress", "Datasheet: http://x", false},
    {"LooksLikeAnOption", "--help http://x", false},
    {"LineBreak", "http://x\nrm", false},
    {"Empty", "", false},
};

class ShellAddresses : public ::testing::TestWithParam<ShellCase> {};

TEST_P(ShellAddresses, OnlyAllowedAddressesReachTheHandler) {
  const ShellCase &c = GetParam();
  std::vector<std::string> opened;
  SetShellOpenHook([&](const std::string &Url) { opened.push_back(Url); });
  EXPECT_EQ(ShellCanOpen(c.Url), c.Opens);
  EXPECT_EQ(ShellOpen(c.Url), c.Opens);
  SetShellOpenHook(nullptr);
  EXPECT_EQ(opened, c.Opens ? std::vector<std::string>{c.Url} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Table, ShellAddresses, ::testing::ValuesIn(kShellCases),
                         [](const auto &info) { return std::string(info.param.Name); });

}  // namespace

namespace {

struct MoveCase {
  const char *Name;
  int Count, From, To;
  std::vector<int> Order;  // empty: nothing moves
  int NewIndex;
};

const MoveCase kMoveCases[] = {
    {"DownLandsBelowTarget", 8, 2, 5, {0, 1, 3, 4, 5, 2, 6, 7}, 5},
    {"UpLandsAboveTarget", 8, 5, 2, {0, 1, 5, 2, 3, 4, 6, 7}, 2},
    {"SameRowNothing", 8, 3, 3, {}, -1},
    {"FromNoneNothing", 8, -1, 3, {}, -1},
    {"FromPastEndNothing", 8, 8, 3, {}, -1},
    {"ToEnd", 8, 1, -1, {0, 2, 3, 4, 5, 6, 7, 1}, 7},
    {"ToPastEndIsTheEnd", 8, 1, 40, {0, 2, 3, 4, 5, 6, 7, 1}, 7},
    {"ToBelowNoneNothing", 8, 1, -2, {}, -1},
    {"LastToEndStays", 3, 2, -1, {0, 1, 2}, 2},
    {"FirstToLast", 3, 0, 2, {1, 2, 0}, 2},
    {"EmptyListNothing", 0, 0, -1, {}, -1},
};

class MoveOrderTest : public ::testing::TestWithParam<MoveCase> {};

TEST_P(MoveOrderTest, Places) {
  const MoveCase &c = GetParam();
  int newIndex = 99;
  EXPECT_EQ(MoveOrder(c.Count, c.From, c.To, newIndex), c.Order);
  EXPECT_EQ(newIndex, c.NewIndex);
}

INSTANTIATE_TEST_SUITE_P(Rows, MoveOrderTest, ::testing::ValuesIn(kMoveCases),
                         [](const ::testing::TestParamInfo<MoveCase> &i) { return std::string(i.param.Name); });

}  // namespace

namespace {

struct RangeCase {
  const char *Name;
  int Columns, Rows;
  const char *Range;
};

const RangeCase kRangeCases[] = {
    {"EightByTwentyFive", 8, 25, "A1:H25"},
    {"TwentyEightByThree", 28, 3, "A1:AB3"},
    {"LastSingleLetter", 26, 1, "A1:Z1"},
    {"OneColumn", 1, 1, "A1:A1"},
    {"TwoFiftySix", 256, 2, "A1:IV2"},
    {"BeyondIV", 257, 1, "A1:IW1"},
    {"LastTwoLetters", 702, 1, "A1:ZZ1"},
    {"FirstThreeLetters", 703, 1, "A1:AAA1"},
    {"LongerThanTwelveCharacters", 703, 1000000, "A1:AAA1000000"},
};

class SheetRangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(SheetRangeTest, Letters) {
  const RangeCase &c = GetParam();
  EXPECT_EQ(SheetRange(c.Columns, c.Rows), c.Range);
}

INSTANTIATE_TEST_SUITE_P(Sheets, SheetRangeTest, ::testing::ValuesIn(kRangeCases),
                         [](const ::testing::TestParamInfo<RangeCase> &i) { return std::string(i.param.Name); });

TEST(ColumnLettersTest, NoneBelowOne) {
  EXPECT_EQ(ColumnLetters(0), "");
  EXPECT_EQ(ColumnLetters(-3), "");
}

}  // namespace
