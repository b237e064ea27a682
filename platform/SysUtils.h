#pragma once
// The string and number routines the rest of the system is written against.
// Text is std::string holding 8-bit Windows-1252 bytes. Positions count from 1;
// 0 means "not found". Case mapping is ASCII only. Numbers are always written
// and read with "." as decimal and "," as thousands separator, whatever the
// locale.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kv {

// Exceptions the class library would raise. Default visibility so a handler in
// one module catches what another module threw.
class __attribute__((visibility("default"))) Exception : public std::runtime_error {
public:
  explicit Exception(const std::string &msg);
  ~Exception() override;
  std::string Message() const { return what(); }
};

class __attribute__((visibility("default"))) EConvertError : public Exception {
public:
  using Exception::Exception;
  ~EConvertError() override;
};

class __attribute__((visibility("default"))) EListError : public Exception {
public:
  using Exception::Exception;
  ~EListError() override;
};

// Input/output failure of a file routine.
class __attribute__((visibility("default"))) EInOutError : public Exception {
public:
  using Exception::Exception;
  ~EInOutError() override;
};

// Position of the first occurrence of Sub in S, 1-based; 0 when absent or when
// Sub is empty.
int Pos(const std::string &Sub, const std::string &S);
// As Pos, but the search starts at Offset (1-based); 0 when Offset is past the end.
int PosEx(const std::string &Sub, const std::string &S, int Offset = 1);
// Count characters from Index (1-based). Index below 1 counts as 1; Count below
// 0 gives ""; the result is clamped to the text.
std::string Copy(const std::string &S, int Index, int Count);
// Removes Count characters from Index (1-based); out-of-range parts are ignored.
void Delete(std::string &S, int Index, int Count);
// Inserts Source before Index (1-based); Index below 1 counts as 1, beyond the
// end appends.
void Insert(const std::string &Source, std::string &S, int Index);

std::string UpperCase(const std::string &S);  // a-z only
std::string LowerCase(const std::string &S);  // A-Z only
char UpCase(char C);
// Compare ignoring ASCII case: <0, 0, >0.
int CompareText(const std::string &A, const std::string &B);
bool SameText(const std::string &A, const std::string &B);
// Byte-wise compare: <0, 0, >0.
int CompareStr(const std::string &A, const std::string &B);

std::string Trim(const std::string &S);       // bytes <= 32 from both ends
std::string TrimLeft(const std::string &S);
std::string TrimRight(const std::string &S);

std::string StringOfChar(char C, int Count);

// Integers: optional blanks before, sign, decimal digits or "$"/"0x" hex.
// Raises EConvertError "'%s' is not a valid integer value".
int StrToInt(const std::string &S);
int64_t StrToInt64(const std::string &S);
int StrToIntDef(const std::string &S, int Default);
bool TryStrToInt(const std::string &S, int &Value);
std::string IntToStr(int64_t Value);
std::string IntToHex(uint64_t Value, int Digits);
// Text for a URL: ASCII letters and digits and the bytes of Kept stay, every
// other byte becomes %XX (upper-case hex).
std::string PercentEncode(const std::string &Text, const char *Kept = "");
// The value of one hexadecimal digit, either letter case; -1 for any other byte.
int HexDigitValue(char C);

// Floats: optional sign, digits with an optional "." fraction and an optional
// exponent. No "inf", "nan", hex floats, thousands separators or trailing junk.
// Raises EConvertError "'%s' is not a valid floating point value".
double StrToFloat(const std::string &S);
bool TryStrToFloat(const std::string &S, double &Value);
double StrToFloatDef(const std::string &S, double Default);
// Shortest text that reads back as the same value, "." decimal, no exponent for
// ordinary magnitudes (the class library's FloatToStr with 15 digits).
std::string FloatToStr(double Value);
// The formats the system uses: "#,##0.00", "0.00", "#,##0", "0" and, in
// general, an optional "#,##" group marker, "0" digits and a "." with "0"/"#"
// decimals. Rounds half away from zero.
std::string FormatFloat(const std::string &Format, double Value);

// printf-style formatting into a std::string.
std::string Format(const char *Fmt, ...) __attribute__((format(printf, 1, 2)));

// Sleep(0): gives up the rest of the time slice, at most once a slice (10 ms)
// so that frequent callers do not wait a slice at every call.
void YieldProcessor();
// Milliseconds since some fixed point (GetTickCount); wraps like a DWORD.
uint32_t GetTickCount();

}  // namespace kv
