// Any registry file either raises ERegistryException or reads as a tree that
// a write keeps exactly as it was.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "platform/Registry.h"
#include "tests/support/FuzzScratch.h"

using namespace kv;

static void Dump(TRegistry &R, const std::string &Path, std::string &Out) {
  if (!R.OpenKeyReadOnly("\\" + Path))
    std::abort();
  TStringList names;
  R.GetValueNames(names);
  for (int i = 0; i < names.Count(); ++i) {
    const std::string n = names[i];
    TRegDataType t = R.GetDataType(n);
    Out += "[" + Path + "]" + n + "=" + std::to_string(t) + ":";
    if (t == rdInteger)
      Out += std::to_string(R.ReadInteger(n));
    else if (t == rdBinary) {
      std::string b(static_cast<size_t>(R.GetDataSize(n)), '\0');
      R.ReadBinaryData(n, b.data(), static_cast<int>(b.size()));
      Out += b;
    } else
      Out += R.ReadString(n);
    Out += "\n";
  }
  TStringList keys;
  R.GetKeyNames(keys);
  for (int i = 0; i < keys.Count(); ++i)
    Dump(R, Path.empty() ? keys[i] : Path + "\\" + keys[i], Out);
}

static std::string DumpAll() {
  std::string out;
  for (HKEY h : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    TRegistry r;
    r.SetRootKey(h);
    out += "hive\n";
    Dump(r, "", out);
  }
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  static const std::string File = [] {
    std::string f = kvtest::MakeFuzzScratchDir("kvfuzz-registry") + "/registry";
    setenv("KORVANDEL_REGISTRY", f.c_str(), 1);
    return f;
  }();
  unlink(File.c_str());
  FILE *f = std::fopen(File.c_str(), "wb");
  std::fwrite(Data, 1, Size, f);
  std::fclose(f);
  std::string before;
  try {
    before = DumpAll();
  } catch (const ERegistryException &) {
    return 0;
  }
  TRegistry w;
  w.SetRootKey(HKEY_LOCAL_MACHINE);
  const std::string probe = "\\Fuzz probe \x01";
  if (w.KeyExists(probe))
    return 0;
  if (!w.OpenKey(probe, true) || !w.DeleteKey(probe))
    std::abort();
  if (DumpAll() != before)
    std::abort();
  return 0;
}
