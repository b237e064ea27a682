// The runtime package: libTavrel.so exports Common, a module with Common
// compiled in exports none of it, and a site library loaded into such a
// module binds to Tavrel's copy.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>
#include <vector>

#include "common/Common.h"
#include "common/Tavrel.h"
#include "tests/support/TestEnv.h"

namespace {

const std::string kTavrel = std::string(KV_BIN_DIR) + "/libTavrel.so";
const std::string kProbe = std::string(KV_TEST_BIN_DIR) + "/lib/TavrelProbe.TWL";
const std::string kHidden = std::string(KV_TEST_BIN_DIR) + "/lib/CommonHiddenCopy.so";

struct TRoutine {
  std::string Name;
  const void *Address;
};

class TavrelPackage : public ::testing::Test {
protected:
  void SetUp() override {
    Probe = dlopen(kProbe.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(Probe, nullptr) << dlerror();
    // Already loaded as the probe's dependency: this only gives its handle.
    Tavrel = dlopen(kTavrel.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(Tavrel, nullptr) << dlerror();
    auto routine = reinterpret_cast<bool (*)(int, const char **, const void **)>(dlsym(Probe, "ProbeRoutine"));
    ASSERT_NE(routine, nullptr);
    const char *name;
    const void *address;
    for (int i = 0; routine(i, &name, &address); ++i)
      Routines.push_back({name, address});
  }
  void TearDown() override {
    if (Tavrel)
      dlclose(Tavrel);
    if (Probe)
      dlclose(Probe);
  }
  template <typename F> F Get(void *Handle, const char *Name) { return reinterpret_cast<F>(dlsym(Handle, Name)); }

  void *Probe = nullptr;
  void *Tavrel = nullptr;
  std::vector<TRoutine> Routines;
};

TEST_F(TavrelPackage, TheLibraryIsInTheProgramFolder) {
  EXPECT_TRUE(kvtest::FileExists(kTavrel));
  Dl_info info{};
  ASSERT_NE(dladdr(dlsym(Tavrel, "Tavrel_Initialize"), &info), 0);
  EXPECT_THAT(info.dli_fname, ::testing::HasSubstr("libTavrel.so"));
}

TEST_F(TavrelPackage, SiteLibraryBindsToTavrelsCopyNotTheHiddenOne) {
  // This test program carries its own, hidden copy of Common.
  ASSERT_EQ(Routines.size(), 35u);
  for (const auto &r : Routines) {
    SCOPED_TRACE(r.Name);
    Dl_info info{};
    ASSERT_NE(dladdr(r.Address, &info), 0);
    EXPECT_THAT(info.dli_fname, ::testing::HasSubstr("libTavrel.so"));
    ASSERT_NE(info.dli_sname, nullptr) << "not an exported symbol";
    EXPECT_THAT(info.dli_sname, ::testing::HasSubstr(r.Name));
    EXPECT_EQ(dlsym(Tavrel, info.dli_sname), r.Address);
  }
  EXPECT_NE(Routines[0].Address, reinterpret_cast<const void *>(&GetTextBetween));
}

TEST_F(TavrelPackage, ProbeRunsTheRoutines) {
  auto run = Get<int (*)(char *, int)>(Probe, "ProbeRun");
  ASSERT_NE(run, nullptr);
  char buffer[257];
  const int n = run(buffer, 256);
  EXPECT_STREQ(buffer, "LM317T|a+b%26c=%31|Ctl|fltrStartsWith|&amp;");
  EXPECT_EQ(n, static_cast<int>(std::string(buffer).size()));
}

TEST_F(TavrelPackage, ModuleWithCommonCompiledInExportsNoneOfIt) {
  void *hidden = dlopen(kHidden.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(hidden, nullptr) << dlerror();
  auto run = Get<int (*)()>(hidden, "HiddenCopyRun");
  ASSERT_NE(run, nullptr);
  EXPECT_GT(run(), 0);
  for (const auto &r : Routines) {
    SCOPED_TRACE(r.Name);
    Dl_info info{};
    ASSERT_NE(dladdr(r.Address, &info), 0);
    ASSERT_NE(info.dli_sname, nullptr);
    // dlsym on a handle also searches the module's dependencies; none of them
    // is Tavrel, so any hit would be the module's own copy.
    EXPECT_EQ(dlsym(hidden, info.dli_sname), nullptr);
  }
  dlclose(hidden);
}

TEST_F(TavrelPackage, PackageInformationListsItsUnits) {
  auto info = Get<const TPackageInfo *(*)()>(Tavrel, "Tavrel_GetPackageInfoTable");
  ASSERT_NE(info, nullptr);
  const TPackageInfo *p = info();
  EXPECT_STREQ(p->Name, "Tavrel");
  EXPECT_STREQ(p->Version, "1.0.0.0");
  EXPECT_EQ(std::vector<int>(p->FileVersion, p->FileVersion + 4), (std::vector<int>{1, 0, 0, 0}));
  std::vector<std::string> units(p->Units, p->Units + p->UnitCount);
  EXPECT_EQ(units.size(), 7u);
  EXPECT_EQ(units.back(), "Common");
  EXPECT_EQ(units.front(), "System");
  // The probe's view is the same table.
  EXPECT_EQ(Get<const TPackageInfo *(*)()>(Probe, "ProbePackageInfo")(), p);
}

TEST_F(TavrelPackage, InitialisationIsCounted) {
  auto init = Get<int (*)()>(Tavrel, "Tavrel_Initialize");
  auto fini = Get<int (*)()>(Tavrel, "Tavrel_Finalize");
  auto unit = Get<int (*)(const char *)>(Tavrel, "Tavrel_UnitInitCount");
  ASSERT_TRUE(init && fini && unit);
  // Loading initialised it once.
  EXPECT_EQ(unit("Common"), 1);
  EXPECT_EQ(unit("common"), 1);
  EXPECT_EQ(unit("SysUtils"), 1);
  EXPECT_EQ(unit("NoSuchUnit"), -1);
  EXPECT_EQ(init(), 2);
  EXPECT_EQ(unit("Common"), 1) << "units initialise once";
  EXPECT_EQ(fini(), 1);
  EXPECT_EQ(unit("Common"), 1);
  EXPECT_EQ(fini(), 0);
  EXPECT_EQ(unit("Common"), 0);
  EXPECT_EQ(unit("System"), 0);
  EXPECT_EQ(fini(), 0) << "never below zero";
  EXPECT_EQ(init(), 1);
  EXPECT_EQ(unit("Common"), 1);
}

TEST_F(TavrelPackage, ExportsTheTypeInformation) {
  auto filter = static_cast<const TEnumInfo *>(dlsym(Tavrel, "TypeInfo_TFilterType"));
  ASSERT_NE(filter, nullptr);
  EXPECT_STREQ(filter->Name, "TFilterType");
  EXPECT_STREQ(filter->Names[3], "fltrStartsWith");
  // The tables' names carry the string type's ABI tag; take them from the
  // symbol a site library bound to.
  for (const auto &r : Routines) {
    if (r.Name != "spcWith")
      continue;
    Dl_info info{};
    ASSERT_NE(dladdr(r.Address, &info), 0);
    auto table = static_cast<const TEntityTable *>(dlsym(Tavrel, info.dli_sname));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ((*table)[0], "<");
    EXPECT_EQ((*table)[4], "\xA9");
  }
}

TEST(TavrelUnload, GoesWithTheLastSiteLibrary) {
  void *probe = dlopen(kProbe.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(probe, nullptr) << dlerror();
  void *tavrel = dlopen(kTavrel.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(tavrel, nullptr) << "loaded with the site library";
  dlclose(tavrel);
  dlclose(probe);
  EXPECT_EQ(dlopen(kTavrel.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "still mapped after the last user went";
}

}  // namespace
