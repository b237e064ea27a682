// URL and Base64 encoding and the credential scrambler of Common.
#include <cstring>
#include <string_view>

#include "common/Common.h"
#include "platform/SysUtils.h"

namespace {

// These routines read their input up to its first zero byte.
std::string_view UpToZero(const std::string &S) { return std::string_view(S.c_str(), std::strlen(S.c_str())); }

bool KeptByHTTPEncode(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '*' || c == '-' || c == '.' || c == '=' ||
         c == '@' || c == '_';
}

// The fixed key of the scrambler; position i of a text uses character
// (i mod 11) of it.
constexpr std::string_view kScrambleKey = "Brin Tosker";

}  // namespace

std::string HTTPEncode(const std::string &Text) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::string_view in = UpToZero(Text);
  std::string r;
  r.reserve(in.size() * 3);
  for (const char ch : in) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (KeptByHTTPEncode(c)) {
      r += ch;
    } else if (c == ' ') {
      r += '+';
    } else {
      r += '%';
      r += kHex[c >> 4];
      r += kHex[c & 15];
    }
  }
  return r;
}

std::string HTTPDecode(const std::string &Text) {
  const std::string_view in = UpToZero(Text);
  const size_t n = in.size();
  std::string r;
  r.reserve(n);
  for (size_t i = 0; i < n;) {
    const char c = in[i];
    if (c == '+') {
      r += ' ';
      ++i;
    } else if (c == '%' && i + 1 < n && in[i + 1] == '%') {
      r += '%';
      i += 2;
    } else if (c == '%' && i + 2 < n) {
      // The class library's reading of "$XX": anything but two hexadecimal
      // digits raises EConvertError naming "$XX".
      r += static_cast<char>(kv::StrToInt(std::string{'$', in[i + 1], in[i + 2]}));
      i += 3;
    } else {
      // Includes a "%" among the last two characters: copied as it stands.
      r += c;
      ++i;
    }
  }
  return r;
}

std::string base64Encode(const std::string &Text) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string_view in = UpToZero(Text);
  std::string r;
  r.reserve((in.size() + 2) / 3 * 4);
  for (size_t i = 0; i < in.size(); i += 3) {
    const unsigned b0 = static_cast<unsigned char>(in[i]);
    const unsigned b1 = i + 1 < in.size() ? static_cast<unsigned char>(in[i + 1]) : 0;
    const unsigned b2 = i + 2 < in.size() ? static_cast<unsigned char>(in[i + 2]) : 0;
    r += kAlphabet[b0 >> 2];
    r += kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
    r += i + 1 < in.size() ? kAlphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
    r += i + 2 < in.size() ? kAlphabet[b2 & 63] : '=';
  }
  return r;
}

// Only codes 31..127 are shifted, into 32..127; every other byte is copied
// and still takes its key position. This is obfuscation only.
std::string CryptString(const std::string &Text) {
  std::string r = Text;
  for (size_t i = 0; i < r.size(); ++i) {
    const int c = static_cast<unsigned char>(r[i]);
    const int k = static_cast<unsigned char>(kScrambleKey[i % kScrambleKey.size()]);
    if (c >= 31 && c <= 127)
      r[i] = static_cast<char>(32 + (c - 32 + k) % 96);
  }
  return r;
}

std::string DeCryptString(const std::string &Text) {
  std::string r = Text;
  for (size_t i = 0; i < r.size(); ++i) {
    const int c = static_cast<unsigned char>(r[i]);
    const int k = static_cast<unsigned char>(kScrambleKey[i % kScrambleKey.size()]);
    if (c >= 31 && c <= 127)
      r[i] = static_cast<char>(32 + ((c - 32 - k) % 96 + 96) % 96);
  }
  return r;
}
