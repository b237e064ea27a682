// The part-number import over any file content: the result is one line, no
// longer than the file, and every piece in it was a piece of some line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/window/uPartNumbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string File(reinterpret_cast<const char *>(Data), Size);
  const std::string Joined = ReadPartNumbers(File);
  if (Joined.find_first_of("\r\n") != std::string::npos)
    abort();
  if (Joined.size() > File.size())
    abort();
  // Without commas or line breaks the file is one part number, trimmed.
  if (File.find_first_of(",\r\n") == std::string::npos && Joined.find(',') != std::string::npos)
    abort();
  return 0;
}
