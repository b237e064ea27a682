// TDateTime: days since 1899-12-30.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/DateTime.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "tests/support/TestEnv.h"

namespace {

using namespace kv;

TEST(EncodeDate, KnownDays) {
  struct Case {
    int Y, M, D;
    double Expected;
  };
  const Case cases[] = {
      {1899, 12, 30, 0}, {1899, 12, 31, 1}, {1900, 1, 1, 2},       {1899, 12, 29, -1},
      {1970, 1, 1, 25569}, {2000, 1, 1, 36526}, {2000, 3, 1, 36586}, {1, 1, 1, -693593},
      {9999, 12, 31, 2958465},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.Y) + "-" + std::to_string(c.M) + "-" + std::to_string(c.D));
    EXPECT_EQ(EncodeDate(c.Y, c.M, c.D), c.Expected);
  }
}

TEST(EncodeDate, RejectsInvalidDates) {
  const int bad[][3] = {{2001, 2, 29}, {1900, 2, 29}, {2000, 13, 1}, {2000, 0, 1}, {2000, 4, 31},
                        {0, 1, 1},     {10000, 1, 1}, {2000, 1, 0}};
  for (const auto &d : bad) {
    SCOPED_TRACE(std::to_string(d[0]) + "-" + std::to_string(d[1]) + "-" + std::to_string(d[2]));
    TDateTime v;
    EXPECT_FALSE(TryEncodeDate(d[0], d[1], d[2], v));
    EXPECT_THROW(EncodeDate(d[0], d[1], d[2]), EConvertError);
  }
  TDateTime v;
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, v));
  EXPECT_TRUE(TryEncodeDate(1600, 2, 29, v));
}

TEST(DecodeDate, RoundTripOverCenturiesAndLeapYears) {
  // Every day from 1599-01-01 to 2401-12-31: the leap rules of 1600, 1700,
  // 1900, 2000 and 2400 are all in range.
  const int first = static_cast<int>(EncodeDate(1599, 1, 1)), last = static_cast<int>(EncodeDate(2401, 12, 31));
  int y0 = 1599, m0 = 1, d0 = 1;
  for (int day = first; day <= last; ++day) {
    int y, m, d;
    // 18:00 on that day; before 1899-12-30 the fraction counts away from 0.
    DecodeDate(day < 0 ? day - 0.75 : day + 0.75, y, m, d);
    ASSERT_EQ(y, y0);
    ASSERT_EQ(m, m0);
    ASSERT_EQ(d, d0) << day;
    ASSERT_EQ(EncodeDate(y, m, d), day);
    // The next calendar day.
    TDateTime next;
    if (TryEncodeDate(y0, m0, d0 + 1, next)) {
      ++d0;
    } else if (m0 < 12) {
      ++m0;
      d0 = 1;
    } else {
      ++y0;
      m0 = d0 = 1;
    }
  }
}

TEST(DecodeDate, NegativeValuesCountTheFractionFromTheDay) {
  // -1.25 is 1899-12-29 06:00: the day is the integer part, the time its
  // absolute fraction.
  int y, m, d, h, n, s, ms;
  DecodeDate(-1.25, y, m, d);
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", -1.25), "1899-12-29 06:00");
}

TEST(EncodeTime, AndDecodeTime) {
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  for (int h : {0, 1, 13, 23})
    for (int n : {0, 30, 59})
      for (int s : {0, 1, 59})
        for (int ms : {0, 1, 500, 999}) {
          int h2, n2, s2, ms2;
          DecodeTime(40000 + EncodeTime(h, n, s, ms), h2, n2, s2, ms2);
          ASSERT_EQ(h2 * 10000000 + n2 * 100000 + s2 * 1000 + ms2, h * 10000000 + n * 100000 + s * 1000 + ms);
        }
}

TEST(DayOfWeek, KnownDays) {
  EXPECT_EQ(DayOfWeek(0), 7);                       // 1899-12-30, a Saturday
  EXPECT_EQ(DayOfWeek(EncodeDate(1970, 1, 1)), 5);  // Thursday
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 2, 25)), 1); // Sunday
  EXPECT_EQ(DayOfWeek(-1), 6);
}

TEST(FormatDateTime, Table) {
  const TDateTime t = EncodeDate(2003, 7, 4) + EncodeTime(9, 5, 7, 42);
  const TDateTime pm = EncodeDate(2003, 12, 25) + EncodeTime(21, 45, 0, 0);
  struct Case {
    const char *Format;
    TDateTime Value;
    const char *Expected;
  };
  const Case cases[] = {
      {"dd/mm/yyyy hh:mm:ss", t, "04/07/2003 09:05:07"},
      {"hh:nn:ss", t, "09:05:07"},
      {"d/m/yy h:n:s", t, "4/7/03 9:5:7"},
      {"hh:mm", t, "09:05"},
      {"mm/dd", t, "07/04"},
      {"ddd, d mmm yyyy", t, "Fri, 4 Jul 2003"},
      {"dddd d mmmm", t, "Friday 4 July"},
      {"hh:nn:ss.zzz", t, "09:05:07.042"},
      {"h:nn am/pm", pm, "9:45 pm"},
      {"h:nn am/pm", t, "9:05 am"},
      {"\"at\" hh:nn", t, "at 09:05"},
      {"yyyymmdd", t, "20030704"},
      {"DD/MM/YYYY", t, "04/07/2003"},
      {"d\x84", t, "4\x84"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Format);
    EXPECT_EQ(FormatDateTime(c.Format, c.Value), c.Expected);
  }
}

TEST(FileDate, RoundTrip) {
  for (int y : {1980, 1999, 2000, 2024, 2107})
    for (int s : {0, 2, 58}) {
      const TDateTime v = EncodeDate(y, 2, 28) + EncodeTime(23, 59, s, 0);
      const int32_t packed = DateTimeToFileDate(v);
      ASSERT_NE(packed, 0);
      ASSERT_DOUBLE_EQ(FileDateToDateTime(packed), v) << y << " " << s;
      ASSERT_EQ(DateTimeToFileDate(FileDateToDateTime(packed)), packed);
    }
  EXPECT_EQ(DateTimeToFileDate(EncodeDate(1979, 12, 31)), 0) << "before the DOS epoch";
  EXPECT_EQ(FileDateToDateTime(0), 0) << "month 0 is no date";
}

TEST(FileDate, FileAgeIsLocalModificationTime) {
  kvtest::IsolatedEnv env;
  kvtest::WriteFile(env / "cwd/f.txt", "x");
  const TDateTime before = Now();
  const int32_t age = FileAge("F.TXT");
  ASSERT_NE(age, -1);
  EXPECT_LT(std::fabs(FileDateToDateTime(age) - before) * 86400, 5.0);
  EXPECT_EQ(FileAge("missing.txt"), -1);
}

TEST(Unix, Conversions) {
  EXPECT_EQ(UnixToDateTime(0), 25569);
  EXPECT_EQ(DateTimeToUnix(25569.5), 43200);
  EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1700000000)), 1700000000);
  EXPECT_NEAR(NowUTC(), UnixToDateTime(time(nullptr)), 2.0 / 86400);
  EXPECT_NEAR(LocalToUTC(UTCToLocal(40000.25)), 40000.25, 1e-6);
  EXPECT_EQ(Date(), std::floor(Now()));
}

}  // namespace
