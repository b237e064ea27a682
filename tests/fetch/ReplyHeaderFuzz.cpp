// The reply header reader on arbitrary bytes, arriving in arbitrary pieces:
// the end found piece by piece must be the end found in the whole.
#include "fetch/ugetfile.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  if (Size == 0)
    return 0;
  const size_t piece = Data[0] % 64 + 1;
  const std::string all(reinterpret_cast<const char *>(Data) + 1, Size - 1);
  const size_t whole = kv::HeaderEnd(all, 0);
  std::string got;
  size_t end = std::string::npos;
  for (size_t at = 0; at < all.size() && end == std::string::npos; at += piece) {
    const size_t before = got.size();
    got += all.substr(at, piece);
    end = kv::HeaderEnd(got, before >= 3 ? before - 3 : 0);
  }
  if (end != whole)
    std::abort();
  if (end != std::string::npos) {
    int status = 0;
    int64_t length = 0;
    std::string reason;
    if (kv::ParseReplyHeader(all.substr(0, end), status, length, reason) && (status < 0 || status > 999 || length < -1))
      std::abort();
  }
  return 0;
}
