#pragma once
// Shared pieces of the client tests: the catalogue bound to fakes, seeded
// registry values, and fixture site copies in a test "Lib" folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "client/uCatalogue.h"
#include "client/settings/uSettings.h"
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

}  // namespace clienttest
