// Any value written to a profile file reads back exactly (up to the read
// limit), and the other values of the file keep theirs.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "platform/IniFile.h"
#include "platform/SysUtils.h"
#include "tests/support/FuzzScratch.h"

using namespace kv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  static const std::string File = kvtest::MakeFuzzScratchDir("kvfuzz-ini") + "/test.ini";
  // The first half is the file, the second the value.
  const std::string in(reinterpret_cast<const char *>(Data), Size);
  const std::string file = in.substr(0, Size / 2), value = in.substr(Size / 2);
  FILE *f = std::fopen(File.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  TIniFile ini(File);
  TStringList sections, before, after;
  ini.ReadSections(sections);
  for (int i = 0; i < sections.Count(); ++i)
    if (SameText(sections[i], "Fuzz probe"))
      return 0;
  for (int i = 0; i < sections.Count(); ++i) {
    TStringList lines;
    ini.ReadSectionValues(sections[i], lines);
    before.Add("[" + sections[i] + "]");
    before.AddStrings(lines);
  }
  ini.WriteString("Fuzz probe", "Value", value);
  std::string got = ini.ReadString("Fuzz probe", "Value", "");
  if (got != value.substr(0, 1023))
    std::abort();
  ini.EraseSection("Fuzz probe");
  ini.ReadSections(sections);
  for (int i = 0; i < sections.Count(); ++i) {
    TStringList lines;
    ini.ReadSectionValues(sections[i], lines);
    after.Add("[" + sections[i] + "]");
    after.AddStrings(lines);
  }
  if (!before.Equals(after))
    std::abort();
  return 0;
}
