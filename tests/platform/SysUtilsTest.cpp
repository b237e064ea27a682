// The class library's string and number routines.
#include <gtest/gtest.h>

#include <clocale>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/SysUtils.h"
#include "tests/support/TestEnv.h"

namespace {

using namespace kv;

TEST(Pos, Table) {
  struct Case {
    const char *Name;
    std::string Sub, S;
    int Expected;
  };
  const Case cases[] = {
      {"found", "b", "abc", 2},     {"first of several", "a", "banana", 2}, {"at start", "ab", "abc", 1},
      {"absent", "x", "abc", 0},    {"empty needle", "", "abc", 0},         {"empty text", "a", "", 0},
      {"case-sensitive", "B", "abc", 0}, {"longer needle", "abcd", "abc", 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Pos(c.Sub, c.S), c.Expected);
  }
}

TEST(PosEx, Table) {
  EXPECT_EQ(PosEx("a", "banana", 3), 4);
  EXPECT_EQ(PosEx("a", "banana", 1), 2);
  EXPECT_EQ(PosEx("a", "banana", 6), 6);
  EXPECT_EQ(PosEx("a", "banana", 7), 0);
  EXPECT_EQ(PosEx("a", "banana", 0), 0);
  EXPECT_EQ(PosEx("", "banana", 1), 0);
}

TEST(Copy, Clamping) {
  struct Case {
    const char *Name;
    int Index, Count;
    std::string Expected;
  };
  const Case cases[] = {
      {"middle", 2, 3, "bcd"},        {"to the end", 4, 100, "def"}, {"index 0 counts as 1", 0, 2, "ab"},
      {"negative index", -3, 2, "ab"}, {"past the end", 7, 1, ""},    {"last", 6, 1, "f"},
      {"zero count", 2, 0, ""},       {"negative count", 2, -1, ""},  {"huge count", 1, INT_MAX, "abcdef"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Copy("abcdef", c.Index, c.Count), c.Expected);
  }
}

TEST(Delete, Ranges) {
  struct Case {
    const char *Name;
    int Index, Count;
    std::string Expected;
  };
  const Case cases[] = {
      {"middle", 2, 2, "adef"},       {"to the end", 4, 100, "abc"},  {"index 0 deletes nothing", 0, 2, "abcdef"},
      {"past the end", 7, 1, "abcdef"}, {"zero count", 2, 0, "abcdef"}, {"negative count", 2, -1, "abcdef"},
      {"all", 1, 6, ""},              {"huge count", 3, INT_MAX, "ab"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    std::string s = "abcdef";
    Delete(s, c.Index, c.Count);
    EXPECT_EQ(s, c.Expected);
  }
}

TEST(Insert, Ranges) {
  struct Case {
    const char *Name;
    int Index;
    std::string Expected;
  };
  const Case cases[] = {
      {"before the first", 1, "XYabc"}, {"middle", 2, "aXYbc"},    {"before the last", 3, "abXYc"},
      {"just past the end appends", 4, "abcXY"}, {"far past the end", 99, "abcXY"}, {"below 1", 0, "XYabc"},
      {"negative", -5, "XYabc"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    std::string s = "abc";
    Insert("XY", s, c.Index);
    EXPECT_EQ(s, c.Expected);
  }
}

TEST(CaseMapping, AsciiOnly) {
  EXPECT_EQ(UpperCase("abcXYZ019 \xE9\xFF"), "ABCXYZ019 \xE9\xFF");
  EXPECT_EQ(LowerCase("ABCxyz019 \xC9\xDE"), "abcxyz019 \xC9\xDE");
  EXPECT_EQ(UpCase('q'), 'Q');
  EXPECT_EQ(UpCase('\xE9'), '\xE9');
  EXPECT_EQ(UpCase('{'), '{');
  EXPECT_EQ(UpCase('`'), '`');
  EXPECT_TRUE(SameText("Hello", "hELLO"));
  EXPECT_FALSE(SameText("\xE9", "\xC9"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_EQ(CompareText("abc", "ABD"), -1);
  EXPECT_EQ(CompareText("b", "A"), 1);
  EXPECT_EQ(CompareText("ab", "AB"), 0);
  EXPECT_EQ(CompareText("ab", "abc"), -1);
  // Compared upper-cased: "_" (95) sorts after "A" (65).
  EXPECT_EQ(CompareText("_", "a"), 1);
}

TEST(Trim, BytesUpTo32) {
  const std::string controls = std::string("\x01\t\n\r ", 5);
  EXPECT_EQ(Trim(controls + "a b" + controls), "a b");
  EXPECT_EQ(TrimLeft(controls + "a "), "a ");
  EXPECT_EQ(TrimRight(" a" + controls), " a");
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0") << "non-breaking space is above 32";
  EXPECT_EQ(Trim(std::string("\0a\0", 3)), "a");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(""), "");
}

TEST(StrToInt, Accepted) {
  struct Case {
    std::string Text;
    int Expected;
  };
  const Case cases[] = {
      {"0", 0},          {"42", 42},         {"-42", -42},           {"+7", 7},
      {"  12", 12},      {"$1F", 31},        {"$ff", 255},           {"-$10", -16},
      {"0x1f", 31},      {"0X10", 16},       {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
      {"$7FFFFFFF", INT_MAX}, {"$FFFFFFFF", -1}, {"007", 7},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(StrToInt(c.Text), c.Expected);
  }
}

TEST(StrToInt, RejectedWithTheClassLibrarysMessage) {
  const std::string cases[] = {"",   "abc",        "12a",  "1 ",         " ",   "+",    "-",  "$",
                               "0x", "2147483648", "-2147483649", "$100000000", "1.5", "1e3", "--1", "$-1",
                               "\t1"};
  for (const auto &c : cases) {
    SCOPED_TRACE(c);
    try {
      StrToInt(c);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError &e) {
      EXPECT_EQ(e.Message(), "'" + c + "' is not a valid integer value");
    }
    int v = 5;
    EXPECT_FALSE(TryStrToInt(c, v));
    EXPECT_EQ(StrToIntDef(c, -9), -9);
  }
}

TEST(StrToInt64, RangeAndHex) {
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(StrToInt64("$FFFFFFFFFF"), 0xFFFFFFFFFFLL);
  EXPECT_EQ(StrToInt64("-$8000000000000000"), INT64_MIN);
  EXPECT_THROW(StrToInt64("$10000000000000000"), EConvertError);
}

TEST(IntToStr, AndIntToHex) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(-123), "-123");
  EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0, 0), "0");
  EXPECT_EQ(IntToHex(0x1234, 2), "1234");
}

TEST(PercentEncode, KeepsLettersDigitsAndTheGivenBytes) {
  const struct {
    const char *Name;
    std::string Text;
    const char *Kept;
    std::string Expected;
  } Rows[] = {
      {"letters and digits", "AZaz09", "", "AZaz09"},
      {"space and query marks", "a b&c=d?", "", "a%20b%26c%3Dd%3F"},
      {"marks escaped unless kept", "x-y.z_w", "", "x%2Dy%2Ez%5Fw"},
      {"marks kept", "x-y.z_w~", "-._", "x-y.z_w%7E"},
      {"high bytes in upper-case hex", "\xE9\xFF", "", "%E9%FF"},
      {"zero byte never kept", std::string("a\0b", 3), "-._", "a%00b"},
      {"empty", "", "-._", ""},
  };
  for (const auto &R : Rows)
    EXPECT_EQ(PercentEncode(R.Text, R.Kept), R.Expected) << R.Name;
}

TEST(StrToFloat, Strict) {
  struct Case {
    std::string Text;
    double Expected;
  };
  const Case cases[] = {{"1.5", 1.5},    {"-2", -2},     {"+.5", 0.5}, {"3.", 3},       {"1e3", 1000},
                        {"1.5E-2", 0.015}, {" 7.25 ", 7.25}, {"0", 0},     {"123456.789", 123456.789}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_DOUBLE_EQ(StrToFloat(c.Text), c.Expected);
  }
  const std::string rejected[] = {"",    "inf",  "-inf", "nan",   "NAN",  "infinity", "0x1p3", "0x10",
                                  "1,5", "1.5x", "1e",   "1e+",   ".",    "e5",       "1.2.3", "1,000.00",
                                  "1e999", "- 1"};
  for (const auto &r : rejected) {
    SCOPED_TRACE(r);
    double v = 0;
    EXPECT_FALSE(TryStrToFloat(r, v));
    try {
      StrToFloat(r);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError &e) {
      EXPECT_EQ(e.Message(), "'" + r + "' is not a valid floating point value");
    }
    EXPECT_EQ(StrToFloatDef(r, 9.5), 9.5);
  }
}

TEST(FloatToStr, ReadsBack) {
  EXPECT_EQ(FloatToStr(1.5), "1.5");
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(-0.25), "-0.25");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
}

struct TFormatCase {
  const char *Format;
  double Value;
  const char *Expected;
};

const TFormatCase kFormatCases[] = {
    {"#,##0.00", 0, "0.00"},
    {"#,##0.00", 2.675, "2.68"},
    {"#,##0.00", 1.005, "1.01"},
    {"#,##0.00", 1234.5, "1,234.50"},
    {"#,##0.00", 1234567.891, "1,234,567.89"},
    {"#,##0.00", 999.995, "1,000.00"},
    {"#,##0.00", -1234.567, "-1,234.57"},
    {"#,##0.00", -0.5, "-0.50"},
    {"#,##0.00", -0.001, "0.00"},
    {"#,##0.00", 0.005, "0.01"},
    {"#,##0.00", 100, "100.00"},
    {"#,##0.00", 1e15, "1,000,000,000,000,000.00"},
    {"0.00", 1234.5, "1234.50"},
    {"#,##0", 1234.5, "1,235"},
    {"0", 2.5, "3"},
    {"0", -2.5, "-3"},
    {"0.##", 1.5, "1.5"},
    {"0.##", 2, "2"},
};

TEST(FormatFloat, Table) {
  for (const auto &c : kFormatCases) {
    SCOPED_TRACE(std::string(c.Format) + " " + std::to_string(c.Value));
    EXPECT_EQ(FormatFloat(c.Format, c.Value), c.Expected);
  }
}

// A locale with "," as decimal separator: the system one if installed, else
// one compiled into the test's own folder from the system's locale sources.
bool UseCommaDecimalLocale(const kvtest::TempDir &Dir) {
  for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
    if (std::setlocale(LC_NUMERIC, name))
      return true;
  const std::string cmd = "localedef -i de_DE -f UTF-8 " + Dir.Path() + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0 && !kvtest::FileExists(Dir / "de_DE.UTF-8/LC_NUMERIC"))
    return false;
  setenv("LOCPATH", Dir.Path().c_str(), 1);
  return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

TEST(FormatFloat, SameTextWhateverTheLocale) {
  kvtest::TempDir dir;
  if (!UseCommaDecimalLocale(dir))
    GTEST_SKIP() << "no locale with a decimal comma can be made here";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  for (const auto &c : kFormatCases) {
    SCOPED_TRACE(std::string(c.Format) + " " + std::to_string(c.Value));
    EXPECT_EQ(FormatFloat(c.Format, c.Value), c.Expected);
  }
  EXPECT_EQ(FloatToStr(1.5), "1.5");
  EXPECT_DOUBLE_EQ(StrToFloat("1.5"), 1.5);
  EXPECT_THROW(StrToFloat("1,5"), EConvertError);
  std::setlocale(LC_NUMERIC, "C");
}

TEST(Format, Printf) {
  EXPECT_EQ(Format("%s=%d", "a", 5), "a=5");
  EXPECT_EQ(Format("%s", ""), "");
  EXPECT_EQ(Format("%s", std::string(1000, 'x').c_str()).size(), 1000u);
}

TEST(StringOfChar, Counts) {
  EXPECT_EQ(StringOfChar('x', 3), "xxx");
  EXPECT_EQ(StringOfChar('x', 0), "");
  EXPECT_EQ(StringOfChar('x', -1), "");
}

TEST(Exceptions, CatchableAsTheBase) {
  try {
    throw EListError("x");
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), "x");
  }
}

}  // namespace
