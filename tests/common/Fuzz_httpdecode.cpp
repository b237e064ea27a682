// HTTPDecode on any bytes: either a result no longer than the input or the
// conversion error, and never a read past the end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/Common.h"
#include "platform/SysUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string in(reinterpret_cast<const char *>(Data), Size);
  try {
    const std::string out = HTTPDecode(in);
    if (out.size() > in.size())
      std::abort();
  } catch (const kv::EConvertError &) {
  }
  // Encoding then decoding gives the text up to its first zero byte.
  const std::string plain = in.substr(0, in.find('\0'));
  if (HTTPDecode(HTTPEncode(in)) != plain)
    std::abort();
  return 0;
}
