#include "components/TextScan.h"

#include <cstdint>
#include <cstring>

namespace kv {

// Eight bytes at a time: the exports run over hundreds of thousands of
// fields, most of them short.
bool HasAnyByte(const std::string &Text, char A, char B, char C, char D) {
  const char *p = Text.data();
  const size_t n = Text.size();
  const auto bytewise = [&] {
    for (size_t i = 0; i < n; ++i)
      if (p[i] == A || p[i] == B || p[i] == C || p[i] == D)
        return true;
    return false;
  };
  if (n < 8)
    return bytewise();
  constexpr uint64_t Ones = 0x0101010101010101ULL, Highs = 0x8080808080808080ULL;
  const auto spread = [](char X) { return Ones * static_cast<unsigned char>(X); };
  const uint64_t a = spread(A), b = spread(B), c = spread(C), d = spread(D);
  // Not zero exactly when some byte of W equals one of the four.
  const auto matches = [&](uint64_t W) {
    const auto zero = [](uint64_t X) { return (X - Ones) & ~X & Highs; };
    return zero(W ^ a) | zero(W ^ b) | zero(W ^ c) | zero(W ^ d);
  };
  uint64_t w;
  for (size_t i = 0; i + 8 < n; i += 8) {
    std::memcpy(&w, p + i, 8);
    if (matches(w))
      return true;
  }
  // The last eight bytes, overlapping the ones already seen.
  std::memcpy(&w, p + n - 8, 8);
  return matches(w) != 0;
}

}  // namespace kv
