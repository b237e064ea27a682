// The cache-file reader on arbitrary ".TWI" text. "@STAMP@" in the input
// stands for the library file's stamp, so the fuzzer reaches the trusted path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "catalogue/TWLStore.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "tests/support/FuzzScratch.h"

namespace {

const std::string &WorkDir() {
  static const std::string Dir = [] {
    std::string T = kvtest::MakeFuzzScratchDir("kvfuzz-twi");
    std::filesystem::create_directories(T + "/Lib");
    kv::WriteFileAtomic(T + "/Lib/F.TWL", "not a library");
    return T;
  }();
  return Dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string Dir = WorkDir();
  if (chdir(Dir.c_str()) != 0)
    return 0;
  std::string Text(reinterpret_cast<const char *>(Data), Size);
  const std::string Stamp = kv::IntToStr(kv::FileAge("Lib/F.TWL"));
  for (size_t P = Text.find("@STAMP@"); P != std::string::npos; P = Text.find("@STAMP@", P + Stamp.size()))
    Text.replace(P, 7, Stamp);
  kv::WriteFileAtomic("Lib/F.TWI", Text);
  try {
    kv::TTWLStore Store("LIB\\F.TWL");
    for (int I = 0; I < Store.FCategories.Count(); ++I)
      if (Store.FCategories.Get(I).empty())
        std::abort();  // an empty entry ends the list; it is never one
    (void)Store.HasFeature("x");
    std::string U, P;
    Store.GetSecurityDetails(false, U, P);
  } catch (const kv::Exception &) {
  }
  return 0;
}
