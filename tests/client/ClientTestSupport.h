#pragma once
// Shared pieces of the client tests: the catalogue bound to fakes, seeded
// registry values, fixture site copies in a test "Lib" folder, and the main
// window's start from a program folder of the test's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "client/uApplication.h"
#include "client/uCatalogue.h"
#include "client/settings/uSettings.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "tests/support/TestEnv.h"

namespace clienttest {

namespace fs = std::filesystem;

inline std::string FakeLibrary(const std::string &Name) { return std::string(KV_TEST_BIN_DIR) + "/lib/" + Name; }

// A value below the settings key, of any registry type.
inline void SeedString(const std::string &SubKey, const std::string &Name, const std::string &Value) {
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(Reg.OpenKey(std::string(SettingsKey) + (SubKey.empty() ? "" : "\\" + SubKey), true));
  Reg.WriteString(Name, Value);
}
inline void SeedInteger(const std::string &SubKey, const std::string &Name, int Value) {
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(Reg.OpenKey(std::string(SettingsKey) + (SubKey.empty() ? "" : "\\" + SubKey), true));
  Reg.WriteInteger(Name, Value);
}
inline std::string StoredString(const std::string &SubKey, const std::string &Name) {
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_LOCAL_MACHINE);
  if (!Reg.OpenKeyReadOnly(std::string(SettingsKey) + (SubKey.empty() ? "" : "\\" + SubKey)))
    return "<no key>";
  if (!Reg.ValueExists(Name))
    return "<missing>";
  return Reg.ReadString(Name);
}

// Lib/<File>.TWL playing the site Settings describes (see sites/FixtureSite.cpp).
inline void AddFixtureSite(const std::string &LibFolder, const std::string &File, const std::string &SiteName) {
  fs::create_directories(LibFolder);
  fs::copy_file(std::string(KV_TEST_BIN_DIR) + "/lib/Fixture.TWL", LibFolder + "/" + File + ".TWL",
                fs::copy_options::overwrite_existing);
  kvtest::WriteFile(LibFolder + "/" + File + ".cfg",
                    "SiteName=" + SiteName +
                        "\nSiteLocation=UK\nSiteCurrency=GBP British Pounds\nSiteURL=http://x.test/\n"
                        "SiteHostName=x.test\nSiteAdvert=\nSiteLanguage=EN English\nCategories=Passives\n"
                        "Features=Search\nInterfaceVersion=4\n");
}

// The sample site libraries of the program folder in the test's own "Lib",
// with the runtime package they find in the folder above their own.
inline void CopySampleSites() {
  fs::create_directories("Lib");
  for (const auto &E : fs::directory_iterator(std::string(KV_BIN_DIR) + "/Lib"))
    if (E.path().extension() == ".TWL")
      fs::copy_file(E.path(), fs::path("Lib") / E.path().filename());
  fs::copy_file(std::string(KV_BIN_DIR) + "/libTavrel.so.1", "libTavrel.so.1");
}

// The main window bound to the real catalogue, run from a copy of the
// program folder below Env (so banners and downloads stay in the test's
// folder), started as the launcher starts it.
inline void StartFromProgramFolder(const kvtest::IsolatedEnv &Env) {
  CatalogueLibraryName = std::string(KV_BIN_DIR) + "/libprimary.so";
  SetProgramDirectory(kvtest::ProgramFolderCopy(KV_BIN_DIR, Env.Root()));
  CommandLineArguments() = {"QZBOOTSTRAPPED"};
}

// Every message box answered OK, its text kept in Boxes.
inline void RecordMessageBoxes(std::vector<std::string> &Boxes) {
  kv::SetMessageBoxHook([&Boxes](const std::string &Text, const std::string &, unsigned) {
    Boxes.push_back(Text);
    return kv::IDOK;
  });
}

// Undoes StartFromProgramFolder.
inline void StopUsingProgramFolder() {
  CatalogueLibraryName = "primary.dll";
  SetProgramDirectory("");
}

}  // namespace clienttest
