#pragma once
// Binds libprimary.so by name, as the client does, and plays sites in a test
// "Lib" folder with copies of the fixture site library.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/primary.h"
#include "platform/DynLoad.h"
#include "tests/support/TestEnv.h"

namespace cattest {

namespace fs = std::filesystem;
using namespace kv::primary;

struct TProgress {
  int32_t Total, Done;
  std::string Name;
  bool operator==(const TProgress &) const = default;
};
inline std::ostream &operator<<(std::ostream &O, const TProgress &P) {
  return O << "(" << P.Total << "," << P.Done << ",'" << P.Name << "')";
}

// What the callbacks handed to primary recorded.
inline std::vector<TProgress> &Progress() {
  static std::vector<TProgress> P;
  return P;
}
inline std::vector<std::string> &Messages() {
  static std::vector<std::string> M;
  return M;
}
inline void RecordProgress(int32_t Total, int32_t Done, const std::string &Name) {
  Progress().push_back({Total, Done, Name});
}
// Caption and flags of every message box, beside its text.
inline std::vector<std::pair<std::string, unsigned>> &MessageKinds() {
  static std::vector<std::pair<std::string, unsigned>> K;
  return K;
}
inline int RecordMessage(const char *Text, const char *Caption, unsigned Flags) {
  Messages().push_back(Text);
  MessageKinds().emplace_back(Caption, Flags);
  return 1;
}

// Every export the client looks up, and the hook for the scan's messages.
struct TPrimary {
  kv::HMODULE Handle = nullptr;
  std::vector<std::string> Missing;

  template <class T>
  T Bind(const char *Name) {
    void *P = kv::GetProcAddress(Handle, Name);
    if (!P)
      Missing.push_back(Name);
    return reinterpret_cast<T>(P);
  }

  TInit Init = nullptr;
  TSetMessageBoxHook SetMessageBoxHook = nullptr;
  TGetNumberSites GetNumberSites = nullptr;
  TNumberLoaded NumberLoaded = nullptr;
  TGetSiteText GetSiteName = nullptr, GetSiteLocation = nullptr, GetSiteCurrency = nullptr,
               GetSiteLanguage = nullptr, GetSiteURL = nullptr, GetHostName = nullptr, GetLibraryName = nullptr,
               GetSiteAdvert = nullptr;
  TGetSiteSecurity GetSiteSecurity = nullptr;
  TSiteFlag IsSiteCertified = nullptr, SiteHasAdvert = nullptr, FinishedWithSite = nullptr;
  TSiteHas SiteHasCategory = nullptr, SiteHasFeature = nullptr;
  TCanUseSite CanUseSite = nullptr;
  TLoadList LoadCategories = nullptr, LoadSiteCurrencies = nullptr, LoadSiteAdverts = nullptr,
            LoadCountries = nullptr, LoadLanguages = nullptr, LoadCurrencies = nullptr, LoadRegions = nullptr;
  TLoadSiteCategories LoadSiteCategories = nullptr;
  TNumberCurrencies NumberCurrencies = nullptr;
  TGetProcessPageProc GetProcessPageProc = nullptr;
  TSetSiteSearchStopped SetSiteSearchStopped = nullptr;
  TSetSearchType SetSearchType = nullptr;
  TSetCustomerDetails SetCustomerDetails = nullptr;
  TGetSiteSecurityDetails GetSiteSecurityDetails = nullptr;
  TSetSiteSecurityDetails SetSiteSecurityDetails = nullptr;
  TGetStatement GetStatement = nullptr;
  TGetTableText GetCountryName = nullptr, GetCountryCode = nullptr, GetCurrencyName = nullptr,
                GetCurrencyCode = nullptr;
  TGetRegionCodeForCountry GetRegionCodeForCountry = nullptr;
  TGetHelpMenuItems GetHelpMenuItems = nullptr;
  TGetTip GetTip = nullptr;
  TGetVersionNumber GetVersionNumber = nullptr;

  // A used primary stays mapped until its thread ends (the loader keeps a
  // per-thread error text), so later loads in one process bind a fresh copy.
  void Load(const std::string &CopyFolder) {
    static int Loads = 0;
    std::string Path = std::string(KV_BIN_DIR) + "/libprimary.so";
    if (Loads++ > 0) {
      const std::string Copy = CopyFolder + "/libprimary-" + std::to_string(Loads) + ".so";
      fs::copy_file(Path, Copy, fs::copy_options::overwrite_existing);
      Path = Copy;
    }
    Handle = kv::LoadLibrary(Path);
    ASSERT_NE(Handle, nullptr) << kv::LastLoadError();
    Init = Bind<TInit>("Init");
    SetMessageBoxHook = Bind<TSetMessageBoxHook>("SetMessageBoxHook");
    GetNumberSites = Bind<TGetNumberSites>("GetNumberSites");
    NumberLoaded = Bind<TNumberLoaded>("NumberLoaded");
    GetSiteName = Bind<TGetSiteText>("GetSiteName");
    GetSiteLocation = Bind<TGetSiteText>("GetSiteLocation");
    GetSiteCurrency = Bind<TGetSiteText>("GetSiteCurrency");
    GetSiteLanguage = Bind<TGetSiteText>("GetSiteLanguage");
    GetSiteURL = Bind<TGetSiteText>("GetSiteURL");
    GetHostName = Bind<TGetSiteText>("GetHostName");
    GetLibraryName = Bind<TGetSiteText>("GetLibraryName");
    GetSiteAdvert = Bind<TGetSiteText>("GetSiteAdvert");
    GetSiteSecurity = Bind<TGetSiteSecurity>("GetSiteSecurity");
    IsSiteCertified = Bind<TSiteFlag>("IsSiteCertified");
    SiteHasAdvert = Bind<TSiteFlag>("SiteHasAdvert");
    FinishedWithSite = Bind<TSiteFlag>("FinishedWithSite");
    SiteHasCategory = Bind<TSiteHas>("SiteHasCategory");
    SiteHasFeature = Bind<TSiteHas>("SiteHasFeature");
    CanUseSite = Bind<TCanUseSite>("CanUseSite");
    LoadCategories = Bind<TLoadList>("LoadCategories");
    LoadSiteCategories = Bind<TLoadSiteCategories>("LoadSiteCategories");
    LoadSiteCurrencies = Bind<TLoadList>("LoadSiteCurrencies");
    NumberCurrencies = Bind<TNumberCurrencies>("NumberCurrencies");
    LoadSiteAdverts = Bind<TLoadList>("LoadSiteAdverts");
    GetProcessPageProc = Bind<TGetProcessPageProc>("GetProcessPageProc");
    SetSiteSearchStopped = Bind<TSetSiteSearchStopped>("SetSiteSearchStopped");
    SetSearchType = Bind<TSetSearchType>("SetSearchType");
    SetCustomerDetails = Bind<TSetCustomerDetails>("SetCustomerDetails");
    GetSiteSecurityDetails = Bind<TGetSiteSecurityDetails>("GetSiteSecurityDetails");
    SetSiteSecurityDetails = Bind<TSetSiteSecurityDetails>("SetSiteSecurityDetails");
    GetStatement = Bind<TGetStatement>("GetStatement");
    LoadCountries = Bind<TLoadList>("LoadCountries");
    LoadLanguages = Bind<TLoadList>("LoadLanguages");
    LoadCurrencies = Bind<TLoadList>("LoadCurrencies");
    LoadRegions = Bind<TLoadList>("LoadRegions");
    GetCountryName = Bind<TGetTableText>("GetCountryName");
    GetCountryCode = Bind<TGetTableText>("GetCountryCode");
    GetCurrencyName = Bind<TGetTableText>("GetCurrencyName");
    GetCurrencyCode = Bind<TGetTableText>("GetCurrencyCode");
    GetRegionCodeForCountry = Bind<TGetRegionCodeForCountry>("GetRegionCodeForCountry");
    GetHelpMenuItems = Bind<TGetHelpMenuItems>("GetHelpMenuItems");
    GetTip = Bind<TGetTip>("GetTip");
    GetVersionNumber = Bind<TGetVersionNumber>("GetVersionNumber");
  }

  // Gives back every site library first, in case primary stays mapped.
  void Unload() {
    if (!Handle)
      return;
    for (int Round = 0; Round < 100 && NumberLoaded() > 0; ++Round)
      for (int32_t I = 0; I < GetNumberSites(); ++I)
        FinishedWithSite(I);
    kv::FreeLibrary(Handle);
    Handle = nullptr;
  }
};

// A test with its own environment, "Lib" folder and a freshly loaded primary.
class CatalogueTest : public ::testing::Test {
protected:
  void SetUp() override {
    Progress().clear();
    Messages().clear();
    MessageKinds().clear();
    fs::create_directories(Env / "cwd/Lib");
    ASSERT_NO_FATAL_FAILURE(P.Load(Env.Root()));
    ASSERT_TRUE(P.Missing.empty());
    P.SetMessageBoxHook(RecordMessage);
  }
  void TearDown() override { P.Unload(); }

  std::string LibPath(const std::string &Name) const { return Env / ("cwd/Lib/" + Name); }

  // Lib/<Name>.TWL, a copy of a fixture build, playing the site Settings describes.
  void AddSite(const std::string &Name, const std::string &Settings, const std::string &Build = "Fixture") {
    fs::copy_file(std::string(KV_TEST_BIN_DIR) + "/lib/" + Build + ".TWL", LibPath(Name + ".TWL"),
                  fs::copy_options::overwrite_existing);
    kvtest::WriteFile(LibPath(Name + ".cfg"), Settings);
  }

  // A complete site of the given interface version.
  static std::string SiteSettings(const std::string &Name, int Version = 4, const std::string &Extra = "") {
    return "SiteName=" + Name + "\nSiteLocation=UK\nSiteCurrency=GBP British Pounds\nSiteURL=http://" + Name +
           ".test/\nSiteHostName=www." + Name + ".test\nSiteAdvert=\nSiteLanguage=DE German\nCategories=Parts\n"
           "Features=Search\nInterfaceVersion=" +
           std::to_string(Version) + "\n" + Extra;
  }

  // The site number of the site so named; -1 when there is none.
  int32_t SiteNumber(const std::string &Name) {
    for (int32_t I = 0; I < P.GetNumberSites(); ++I)
      if (Text(P.GetSiteName, I) == Name)
        return I;
    return -1;
  }

  std::string Log(const std::string &Name) const { return kvtest::ReadFile(LibPath(Name + ".log")); }
  void ClearLog(const std::string &Name) const { kvtest::WriteFile(LibPath(Name + ".log"), ""); }
  bool Logged(const std::string &Name, const std::string &Line) const {
    return ("\n" + Log(Name)).find("\n" + Line + "\n") != std::string::npos;
  }
  bool LoggedPrefix(const std::string &Name, const std::string &Start) const {
    return ("\n" + Log(Name)).find("\n" + Start) != std::string::npos;
  }

  void InitCatalogue() { P.Init(RecordProgress); }

  // primary again from scratch, as at the next start of the client.
  void Restart() {
    P.Unload();
    P = TPrimary();
    ASSERT_NO_FATAL_FAILURE(P.Load(Env.Root()));
    P.SetMessageBoxHook(RecordMessage);
  }

  std::string Text(TGetSiteText Getter, int32_t Site) {
    std::string R;
    Getter(R, Site);
    return R;
  }

  kvtest::IsolatedEnv Env;
  TPrimary P;
};

inline std::vector<std::string> Items(const kv::TStrings &List) { return List.ToVector(); }

}  // namespace cattest
