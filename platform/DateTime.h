#pragma once
// TDateTime: days since 1899-12-30 as a double, the fraction the time of day.
#include <cstdint>
#include <string>

namespace kv {

using TDateTime = double;

TDateTime Now();          // local time
TDateTime NowUTC();
TDateTime Date();         // today, local, at 00:00
TDateTime EncodeDate(int Year, int Month, int Day);  // raises EConvertError when invalid
bool TryEncodeDate(int Year, int Month, int Day, TDateTime &Value);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime &Value);
void DecodeDate(TDateTime Value, int &Year, int &Month, int &Day);
void DecodeTime(TDateTime Value, int &Hour, int &Min, int &Sec, int &MSec);
int DayOfWeek(TDateTime Value);  // 1 = Sunday .. 7 = Saturday

// Unix seconds (UTC) <-> TDateTime in UTC.
TDateTime UnixToDateTime(int64_t Seconds);
int64_t DateTimeToUnix(TDateTime Value);
// Local <-> UTC for a given moment, through the system's time zone rules.
TDateTime LocalToUTC(TDateTime Local);
TDateTime UTCToLocal(TDateTime Utc);

// The class library's FormatDateTime for the specifiers the system prints:
// d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz am/pm; "m"/"mm"
// right after "h"/"hh" means minutes; "/" and ":" print as themselves;
// text in quotes is copied.
std::string FormatDateTime(const std::string &Format, TDateTime Value);

// DOS packed date-time (FileAge) <-> TDateTime.
TDateTime FileDateToDateTime(int32_t FileDate);
int32_t DateTimeToFileDate(TDateTime Value);

}  // namespace kv
