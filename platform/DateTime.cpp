#include "platform/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "platform/SysUtils.h"

namespace kv {

// Days from 0001-01-01 (proleptic Gregorian) to 1899-12-30.
static const int64_t kDelta = 693594;
static const int64_t kUnixDays = 25569;  // 1970-01-01 as a TDateTime

static bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

static int DaysInMonth(int y, int m) {
  static const int d[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : d[m - 1];
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime &Value) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month))
    return false;
  int64_t days = Day;
  for (int m = 1; m < Month; ++m)
    days += DaysInMonth(Year, m);
  int64_t y = Year - 1;
  days += y * 365 + y / 4 - y / 100 + y / 400;
  Value = static_cast<double>(days - kDelta);
  return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  TDateTime v;
  if (!TryEncodeDate(Year, Month, Day, v))
    throw EConvertError("Invalid argument to date encode");
  return v;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime &Value) {
  if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 || MSec > 999)
    return false;
  Value = (Hour * 3600000.0 + Min * 60000.0 + Sec * 1000.0 + MSec) / 86400000.0;
  return true;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
  TDateTime v;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, v))
    throw EConvertError("Invalid argument to time encode");
  return v;
}

void DecodeDate(TDateTime Value, int &Year, int &Month, int &Day) {
  // Days since 0001-01-01, counted from 0. The day of a negative value is
  // its integer part (-1.25 is 1899-12-29 06:00): the time of day is the
  // fraction's absolute value.
  int64_t d = static_cast<int64_t>(std::trunc(Value)) + kDelta - 1;
  if (d < 0) {
    Year = Month = Day = 0;
    return;
  }
  int64_t y400 = d / 146097;
  d %= 146097;
  int64_t y100 = d / 36524;
  d %= 36524;
  if (y100 == 4) {
    y100 = 3;
    d += 36524;
  }
  int64_t y4 = d / 1461;
  d %= 1461;
  int64_t y1 = d / 365;
  d %= 365;
  if (y1 == 4) {
    y1 = 3;
    d += 365;
  }
  int y = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  int m = 1;
  while (d >= DaysInMonth(y, m)) {
    d -= DaysInMonth(y, m);
    ++m;
  }
  Year = y;
  Month = m;
  Day = static_cast<int>(d) + 1;
}

void DecodeTime(TDateTime Value, int &Hour, int &Min, int &Sec, int &MSec) {
  double frac = std::fabs(Value - std::trunc(Value));
  int64_t ms = static_cast<int64_t>(std::llround(frac * 86400000.0));
  if (ms >= 86400000)
    ms = 86399999;
  Hour = static_cast<int>(ms / 3600000);
  ms %= 3600000;
  Min = static_cast<int>(ms / 60000);
  ms %= 60000;
  Sec = static_cast<int>(ms / 1000);
  MSec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime Value) {
  int64_t d = static_cast<int64_t>(std::trunc(Value));
  // 1899-12-30 was a Saturday (7).
  int64_t r = ((d % 7) + 7 + 6) % 7;
  return static_cast<int>(r) + 1;
}

TDateTime UnixToDateTime(int64_t Seconds) { return static_cast<double>(Seconds) / 86400.0 + kUnixDays; }

int64_t DateTimeToUnix(TDateTime Value) {
  return static_cast<int64_t>(std::llround((Value - kUnixDays) * 86400.0));
}

static int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

TDateTime NowUTC() { return static_cast<double>(NowMs()) / 86400000.0 + kUnixDays; }

TDateTime UTCToLocal(TDateTime Utc) {
  time_t t = static_cast<time_t>(std::floor((Utc - kUnixDays) * 86400.0));
  struct tm lt;
  localtime_r(&t, &lt);
  return Utc + static_cast<double>(lt.tm_gmtoff) / 86400.0;
}

TDateTime LocalToUTC(TDateTime Local) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(Local, y, mo, d);
  DecodeTime(Local, h, mi, s, ms);
  struct tm lt {};
  lt.tm_year = y - 1900;
  lt.tm_mon = mo - 1;
  lt.tm_mday = d;
  lt.tm_hour = h;
  lt.tm_min = mi;
  lt.tm_sec = s;
  lt.tm_isdst = -1;
  time_t t = mktime(&lt);
  return UnixToDateTime(static_cast<int64_t>(t)) + ms / 86400000.0;
}

TDateTime Now() { return UTCToLocal(NowUTC()); }

TDateTime Date() { return std::floor(Now()); }

std::string FormatDateTime(const std::string &Fmt, TDateTime Value) {
  static const char *shortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char *longDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  static const char *shortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static const char *longMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
  int y, mo, d, h, mi, s, ms;
  DecodeDate(Value, y, mo, d);
  DecodeTime(Value, h, mi, s, ms);
  std::string out;
  bool afterHour = false;
  size_t i = 0, n = Fmt.size();
  auto count = [&](char c) {
    size_t k = i;
    while (k < n && (Fmt[k] == c || Fmt[k] == UpCase(c)))
      ++k;
    return k - i;
  };
  auto two = [](int v) { return Format("%02d", v); };
  // Does an "h" specifier come before the next "m" and is there no date
  // specifier between? Then "m" means minutes, as in the class library.
  bool pmSpec = false;
  for (size_t k = 0; k + 4 < n + 1; ++k)
    if (SameText(Fmt.substr(k, 5), "am/pm"))
      pmSpec = true;
  while (i < n) {
    char c = Fmt[i];
    char lc = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (c == '"' || c == '\'') {
      size_t k = Fmt.find(c, i + 1);
      if (k == std::string::npos)
        k = n;
      out += Fmt.substr(i + 1, k - i - 1);
      i = k + 1;
      continue;
    }
    if (lc == 'a' && SameText(Fmt.substr(i, 5), "am/pm")) {
      out += h < 12 ? "am" : "pm";
      i += 5;
      continue;
    }
    size_t k = count(lc);
    switch (lc) {
    case 'y':
      out += k <= 2 ? two(y % 100) : Format("%04d", y);
      afterHour = false;
      break;
    case 'm':
      if (afterHour) {
        out += k == 1 ? IntToStr(mi) : two(mi);
        afterHour = false;
      } else if (k == 1) {
        out += IntToStr(mo);
      } else if (k == 2) {
        out += two(mo);
      } else if (k == 3) {
        out += shortMonths[mo - 1];
      } else {
        out += longMonths[mo - 1];
      }
      break;
    case 'd':
      if (k == 1)
        out += IntToStr(d);
      else if (k == 2)
        out += two(d);
      else if (k == 3)
        out += shortDays[DayOfWeek(Value) - 1];
      else
        out += longDays[DayOfWeek(Value) - 1];
      afterHour = false;
      break;
    case 'h': {
      int hh = h;
      if (pmSpec) {
        hh = h % 12;
        if (hh == 0)
          hh = 12;
      }
      out += k == 1 ? IntToStr(hh) : two(hh);
      afterHour = true;
      break;
    }
    case 'n':
      out += k == 1 ? IntToStr(mi) : two(mi);
      break;
    case 's':
      out += k == 1 ? IntToStr(s) : two(s);
      break;
    case 'z':
      out += k >= 3 ? Format("%03d", ms) : IntToStr(ms);
      break;
    default:
      out += c;
      i += 1;
      continue;
    }
    i += k;
  }
  return out;
}

TDateTime FileDateToDateTime(int32_t FileDate) {
  uint32_t v = static_cast<uint32_t>(FileDate);
  uint32_t date = v >> 16, tim = v & 0xFFFF;
  TDateTime d, t;
  if (!TryEncodeDate(static_cast<int>((date >> 9) + 1980), static_cast<int>((date >> 5) & 15),
                     static_cast<int>(date & 31), d))
    return 0;
  if (!TryEncodeTime(static_cast<int>(tim >> 11), static_cast<int>((tim >> 5) & 63),
                     static_cast<int>((tim & 31) * 2), 0, t))
    return d;
  return d + t;
}

int32_t DateTimeToFileDate(TDateTime Value) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(Value, y, mo, d);
  DecodeTime(Value, h, mi, s, ms);
  if (y < 1980 || y > 2107)
    return 0;
  uint32_t date = static_cast<uint32_t>(((y - 1980) << 9) | (mo << 5) | d);
  uint32_t tim = static_cast<uint32_t>((h << 11) | (mi << 5) | (s / 2));
  return static_cast<int32_t>((date << 16) | tim);
}

}  // namespace kv
