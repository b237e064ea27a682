#include "platform/SysUtils.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <sched.h>
#include <vector>

namespace kv {

Exception::Exception(const std::string &msg) : std::runtime_error(msg) {}
Exception::~Exception() = default;
EConvertError::~EConvertError() = default;
EListError::~EListError() = default;
EInOutError::~EInOutError() = default;

int Pos(const std::string &Sub, const std::string &S) {
  if (Sub.empty())
    return 0;
  auto p = S.find(Sub);
  return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

int PosEx(const std::string &Sub, const std::string &S, int Offset) {
  if (Sub.empty() || Offset < 1 || static_cast<size_t>(Offset) > S.size())
    return 0;
  auto p = S.find(Sub, static_cast<size_t>(Offset - 1));
  return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

std::string Copy(const std::string &S, int Index, int Count) {
  if (Index < 1)
    Index = 1;
  if (Count <= 0 || static_cast<size_t>(Index) > S.size())
    return std::string();
  return S.substr(static_cast<size_t>(Index - 1), static_cast<size_t>(Count));
}

void Delete(std::string &S, int Index, int Count) {
  if (Index < 1 || Count <= 0 || static_cast<size_t>(Index) > S.size())
    return;
  S.erase(static_cast<size_t>(Index - 1), static_cast<size_t>(Count));
}

void Insert(const std::string &Source, std::string &S, int Index) {
  if (Index < 1)
    Index = 1;
  if (static_cast<size_t>(Index) > S.size())
    S += Source;
  else
    S.insert(static_cast<size_t>(Index - 1), Source);
}

char UpCase(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C; }

static char LoCase(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + 32) : C; }

std::string UpperCase(const std::string &S) {
  std::string r(S);
  for (char &c : r)
    c = UpCase(c);
  return r;
}

std::string LowerCase(const std::string &S) {
  std::string r(S);
  for (char &c : r)
    c = LoCase(c);
  return r;
}

int CompareText(const std::string &A, const std::string &B) {
  size_t n = A.size() < B.size() ? A.size() : B.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char a = static_cast<unsigned char>(UpCase(A[i]));
    unsigned char b = static_cast<unsigned char>(UpCase(B[i]));
    if (a != b)
      return a < b ? -1 : 1;
  }
  if (A.size() == B.size())
    return 0;
  return A.size() < B.size() ? -1 : 1;
}

bool SameText(const std::string &A, const std::string &B) {
  return A.size() == B.size() && CompareText(A, B) == 0;
}

int CompareStr(const std::string &A, const std::string &B) {
  int c = A.compare(B);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

static bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string Trim(const std::string &S) {
  size_t b = 0, e = S.size();
  while (b < e && IsBlank(S[b]))
    ++b;
  while (e > b && IsBlank(S[e - 1]))
    --e;
  return S.substr(b, e - b);
}

std::string TrimLeft(const std::string &S) {
  size_t b = 0;
  while (b < S.size() && IsBlank(S[b]))
    ++b;
  return S.substr(b);
}

std::string TrimRight(const std::string &S) {
  size_t e = S.size();
  while (e > 0 && IsBlank(S[e - 1]))
    --e;
  return S.substr(0, e);
}

std::string StringOfChar(char C, int Count) { return Count > 0 ? std::string(static_cast<size_t>(Count), C) : ""; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// The class library's integer reader: leading blanks, a sign, then decimal
// digits or a hex number introduced by "$" or "0x". Nothing may follow.
static bool ParseInt64(const std::string &S, int64_t &Out, int64_t Min, int64_t Max) {
  size_t i = 0, n = S.size();
  while (i < n && S[i] == ' ')
    ++i;
  bool neg = false;
  if (i < n && (S[i] == '-' || S[i] == '+')) {
    neg = S[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < n && S[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < n && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n)
    return false;
  // Accumulate in unsigned and check range at the end.
  unsigned long long v = 0;
  const unsigned long long limit = hex ? ~0ULL : static_cast<unsigned long long>(Max) + 1;
  for (; i < n; ++i) {
    int d = hex ? HexDigitValue(S[i]) : ((S[i] >= '0' && S[i] <= '9') ? S[i] - '0' : -1);
    if (d < 0)
      return false;
    unsigned base = hex ? 16 : 10;
    if (v > (limit - static_cast<unsigned>(d)) / base)
      return false;
    v = v * base + static_cast<unsigned>(d);
  }
  if (hex) {
    // Hex literals wrap into the signed range of the target type, as the
    // class library reads "$FFFFFFFF" as -1.
    if (Max == INT_MAX) {
      if (v > 0xFFFFFFFFULL)
        return false;
      int32_t w = static_cast<int32_t>(static_cast<uint32_t>(v));
      Out = neg ? -static_cast<int64_t>(w) : w;
      return true;
    }
    // Negated as unsigned: "-$8000000000000000" is the lowest value, not an
    // overflow.
    Out = static_cast<int64_t>(neg ? 0 - v : v);
    return true;
  }
  if (neg) {
    if (v > static_cast<unsigned long long>(Max) + 1)
      return false;
    Out = v == static_cast<unsigned long long>(Max) + 1 ? Min : -static_cast<int64_t>(v);
  } else {
    if (v > static_cast<unsigned long long>(Max))
      return false;
    Out = static_cast<int64_t>(v);
  }
  return true;
}

static EConvertError IntError(const std::string &S) {
  return EConvertError("'" + S + "' is not a valid integer value");
}

int StrToInt(const std::string &S) {
  int64_t v;
  if (!ParseInt64(S, v, INT_MIN, INT_MAX))
    throw IntError(S);
  return static_cast<int>(v);
}

int64_t StrToInt64(const std::string &S) {
  int64_t v;
  if (!ParseInt64(S, v, INT64_MIN, INT64_MAX))
    throw IntError(S);
  return v;
}

bool TryStrToInt(const std::string &S, int &Value) {
  int64_t v;
  if (!ParseInt64(S, v, INT_MIN, INT_MAX))
    return false;
  Value = static_cast<int>(v);
  return true;
}

int StrToIntDef(const std::string &S, int Default) {
  int v;
  return TryStrToInt(S, v) ? v : Default;
}

std::string IntToStr(int64_t Value) {
  // Not std::to_string: its digit table is a GNU-unique symbol, which would
  // keep every shared library that uses IntToStr (libTavrel.so among them)
  // from ever being unloaded.
  char buf[24];
  std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(Value));
  return buf;
}

std::string IntToHex(uint64_t Value, int Digits) {
  static const char *hex = "0123456789ABCDEF";
  std::string r;
  do {
    r.insert(r.begin(), hex[Value & 15]);
    Value >>= 4;
  } while (Value);
  while (static_cast<int>(r.size()) < Digits)
    r.insert(r.begin(), '0');
  return r;
}

std::string PercentEncode(const std::string &Text, const char *Kept) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out;
  for (unsigned char C : Text) {
    if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') ||
        (C != 0 && std::strchr(Kept, C))) {
      Out += static_cast<char>(C);
    } else {
      Out += '%';
      Out += Hex[C >> 4];
      Out += Hex[C & 15];
    }
  }
  return Out;
}

// The "C" numbers, made once: numbers read and written here never follow the
// user's LC_NUMERIC, and a locale made for every number costs more than the
// conversion.
static locale_t CNumericLocale() {
  static const locale_t C = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  return C;
}

bool TryStrToFloat(const std::string &S, double &Value) {
  std::string t = Trim(S);
  size_t i = 0, n = t.size();
  if (n == 0)
    return false;
  if (t[i] == '+' || t[i] == '-')
    ++i;
  size_t digits = 0;
  while (i < n && t[i] >= '0' && t[i] <= '9') {
    ++i;
    ++digits;
  }
  if (i < n && t[i] == '.') {
    ++i;
    while (i < n && t[i] >= '0' && t[i] <= '9') {
      ++i;
      ++digits;
    }
  }
  if (digits == 0)
    return false;
  if (i < n && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < n && (t[i] == '+' || t[i] == '-'))
      ++i;
    size_t ed = 0;
    while (i < n && t[i] >= '0' && t[i] <= '9') {
      ++i;
      ++ed;
    }
    if (ed == 0)
      return false;
  }
  if (i != n)
    return false;
  // The grammar above is locale-free; strtod in the "C" sense reads it exactly.
  // Convert through a private copy with "." regardless of LC_NUMERIC.
  errno = 0;
  char *end = nullptr;
  double v = strtod_l(t.c_str(), &end, CNumericLocale());
  if (!std::isfinite(v))
    return false;
  Value = v;
  return true;
}

double StrToFloat(const std::string &S) {
  double v;
  if (!TryStrToFloat(S, v))
    throw EConvertError("'" + S + "' is not a valid floating point value");
  return v;
}

double StrToFloatDef(const std::string &S, double Default) {
  double v;
  return TryStrToFloat(S, v) ? v : Default;
}

std::string FloatToStr(double Value) {
  if (std::isnan(Value))
    return "NAN";
  if (std::isinf(Value))
    return Value > 0 ? "INF" : "-INF";
  char buf[64];
  locale_t old = uselocale(CNumericLocale());
  std::snprintf(buf, sizeof buf, "%.15G", Value);
  uselocale(old);
  std::string s(buf);
  // "%.15G" may write an exponent for large or tiny values; keep it but in the
  // class library's form ("1E20", "1E-5").
  auto e = s.find('E');
  std::string mant = e == std::string::npos ? s : s.substr(0, e);
  std::string exp = e == std::string::npos ? "" : s.substr(e);
  if (mant.find('.') != std::string::npos) {
    while (!mant.empty() && mant.back() == '0')
      mant.pop_back();
    if (!mant.empty() && mant.back() == '.')
      mant.pop_back();
  }
  if (!exp.empty()) {
    // E+20 -> E20, E-05 -> E-5
    std::string sign;
    size_t k = 1;
    if (k < exp.size() && (exp[k] == '+' || exp[k] == '-')) {
      if (exp[k] == '-')
        sign = "-";
      ++k;
    }
    while (k + 1 < exp.size() && exp[k] == '0')
      ++k;
    exp = "E" + sign + exp.substr(k);
  }
  return mant + exp;
}

std::string FormatFloat(const std::string &Fmt, double Value) {
  // Split the format into its integer and decimal parts.
  auto dot = Fmt.find('.');
  std::string ip = dot == std::string::npos ? Fmt : Fmt.substr(0, dot);
  std::string dp = dot == std::string::npos ? "" : Fmt.substr(dot + 1);
  bool thousands = ip.find(',') != std::string::npos;
  int minInt = 0;
  for (char c : ip)
    if (c == '0')
      ++minInt;
  int minDec = 0, maxDec = 0;
  for (char c : dp) {
    if (c == '0') {
      ++minDec;
      ++maxDec;
    } else if (c == '#') {
      ++maxDec;
    }
  }
  if (std::isnan(Value))
    return "NAN";
  if (std::isinf(Value))
    return Value > 0 ? "INF" : "-INF";
  bool neg = Value < 0;
  double a = std::fabs(Value);
  // Like the class library, take the value to 15 significant decimal digits
  // first and round that decimal text half away from zero, so 2.675 gives
  // "2.68" as a person expects of a price.
  // to_chars writes the digits printf's "%.14e" writes, exactly rounded,
  // without a locale (a decimal comma would give "d,ddd...") and at a
  // fraction of the cost of switching to the "C" locale for every number.
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf - 1, a, std::chars_format::scientific, 14);
  *res.ptr = '\0';  // d.dddddddddddddde[+-]xx
  std::string m;
  for (const char *q = buf; *q && *q != 'e'; ++q)
    if (*q != '.')
      m += *q;
  int exp10 = std::atoi(std::strchr(buf, 'e') + 1);
  // Digits as an integer text scaled so that the last maxDec are decimals.
  // value = 0.m * 10^(exp10+1)
  int pointPos = exp10 + 1;  // digits of m before the decimal point
  std::string intDigits, fracDigits;
  if (pointPos <= 0) {
    intDigits = "0";
    fracDigits = std::string(static_cast<size_t>(-pointPos), '0') + m;
  } else if (static_cast<size_t>(pointPos) >= m.size()) {
    intDigits = m + std::string(static_cast<size_t>(pointPos) - m.size(), '0');
  } else {
    intDigits = m.substr(0, static_cast<size_t>(pointPos));
    fracDigits = m.substr(static_cast<size_t>(pointPos));
  }
  bool roundUp = static_cast<int>(fracDigits.size()) > maxDec && fracDigits[static_cast<size_t>(maxDec)] >= '5';
  if (static_cast<int>(fracDigits.size()) > maxDec)
    fracDigits.resize(static_cast<size_t>(maxDec));
  while (static_cast<int>(fracDigits.size()) < maxDec)
    fracDigits += '0';
  std::string all = intDigits + fracDigits;
  if (roundUp) {
    int i = static_cast<int>(all.size()) - 1;
    for (; i >= 0; --i) {
      if (all[static_cast<size_t>(i)] == '9') {
        all[static_cast<size_t>(i)] = '0';
      } else {
        ++all[static_cast<size_t>(i)];
        break;
      }
    }
    if (i < 0)
      all.insert(all.begin(), '1');
  }
  std::string whole = all.substr(0, all.size() - static_cast<size_t>(maxDec));
  std::string frac = all.substr(all.size() - static_cast<size_t>(maxDec));
  // Drop optional decimals.
  while (static_cast<int>(frac.size()) > minDec && !frac.empty() && frac.back() == '0')
    frac.pop_back();
  // Leading zeros of the integer part follow the "0" count.
  size_t lead = 0;
  while (lead + 1 < whole.size() && whole[lead] == '0')
    ++lead;
  whole = whole.substr(lead);
  if (whole == "0" && minInt == 0)
    whole.clear();
  while (static_cast<int>(whole.size()) < minInt)
    whole.insert(whole.begin(), '0');
  if (thousands && whole.size() > 3) {
    std::string g;
    int cnt = 0;
    for (size_t i = whole.size(); i-- > 0;) {
      g.insert(g.begin(), whole[i]);
      if (++cnt % 3 == 0 && i > 0)
        g.insert(g.begin(), ',');
    }
    whole = g;
  }
  std::string r = whole;
  if (!frac.empty())
    r += "." + frac;
  bool allZero = true;
  for (char c : r)
    if (c >= '1' && c <= '9')
      allZero = false;
  if (neg && !allZero)
    r = "-" + r;
  return r;
}

std::string Format(const char *Fmt, ...) {
  va_list ap;
  va_start(ap, Fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, Fmt, ap);
  va_end(ap);
  std::string r;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), Fmt, ap2);
    r.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(ap2);
  return r;
}

void YieldProcessor() {
  // Giving up the slice more often than a slice lasts lets other programs run
  // no more, but on a busy machine costs a whole slice at every call: the text
  // routines that yield run per field of every line, so a page or a cookie
  // file would take many times longer beside other work.
  using namespace std::chrono;
  constexpr auto Slice = milliseconds(10);
  thread_local steady_clock::time_point Last;
  const steady_clock::time_point Now = steady_clock::now();
  if (Now - Last < Slice)
    return;
  sched_yield();
  Last = steady_clock::now();
}

uint32_t GetTickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace kv
