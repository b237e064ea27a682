#include "platform/qt/Codepage.h"

namespace kv {

// 0x80..0x9F of Windows-1252; 0 marks the five bytes it leaves undefined,
// which map to the C1 control of the same value, as Windows does.
static const char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QString FromAnsi(const std::string &S) {
  QString r;
  r.reserve(static_cast<qsizetype>(S.size()));
  for (unsigned char c : S) {
    if (c >= 0x80 && c <= 0x9F && kHigh[c - 0x80])
      r.append(QChar(kHigh[c - 0x80]));
    else
      r.append(QChar(static_cast<char16_t>(c)));
  }
  return r;
}

std::string ToAnsi(const QString &S) {
  std::string r;
  r.reserve(static_cast<size_t>(S.size()));
  for (qsizetype i = 0; i < S.size(); ++i) {
    char16_t u = S[i].unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      r += static_cast<char>(u);
      continue;
    }
    // A character beyond the BMP is two UTF-16 units but one "?".
    if (QChar::isHighSurrogate(u) && i + 1 < S.size() && S[i + 1].isLowSurrogate()) {
      r += '?';
      ++i;
      continue;
    }
    char out = '?';
    for (int i = 0; i < 32; ++i) {
      if (kHigh[i] == u || (kHigh[i] == 0 && u == 0x80 + i)) {
        out = static_cast<char>(0x80 + i);
        break;
      }
    }
    r += out;
  }
  return r;
}

}  // namespace kv
