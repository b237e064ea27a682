#include "platform/qt/Codepage.h"

#include "platform/Ansi.h"

namespace kv {

QString FromAnsi(const std::string &S) {
  QString r;
  r.reserve(static_cast<qsizetype>(S.size()));
  for (unsigned char c : S)
    r.append(QChar(AnsiToUnicode(c)));
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
    for (int b = 0x80; b <= 0x9F; ++b) {
      if (AnsiToUnicode(static_cast<unsigned char>(b)) == u) {
        out = static_cast<char>(b);
        break;
      }
    }
    r += out;
  }
  return r;
}

}  // namespace kv
