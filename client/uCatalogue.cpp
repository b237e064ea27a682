#include "client/uCatalogue.h"

#include <algorithm>

#include "client/uApplication.h"
#include "platform/Dialogs.h"

using namespace kv;

TCatalogue Catalogue;
HMODULE hPrimary = nullptr;
std::string CatalogueLibraryName = "primary.dll";
std::string CatalogueBindError;
const char *const CatalogueLoadMessage = "Unable to load PRIMARY.DLL please Re-Install";

namespace {

int CatalogueMessageBox(const char *Text, const char *Caption, unsigned Flags) {
  return MessageBox(Text ? Text : "", Caption ? Caption : "", Flags);
}

struct TEntry {
  const char *Name;
  void **Slot;
};

// Lookup order of the binding table; Init is taken between FinishedWithSite
// and NumberLoaded (Slot nullptr).
std::vector<TEntry> Entries() {
  TCatalogue &C = Catalogue;
  auto S = [](auto &Field) { return reinterpret_cast<void **>(&Field); };
  return {{"LoadCategories", S(C.LoadCategories)},
          {"LoadCountries", S(C.LoadCountries)},
          {"LoadCurrencies", S(C.LoadCurrencies)},
          {"LoadSiteCurrencies", S(C.LoadSiteCurrencies)},
          {"GetSiteName", S(C.GetSiteName)},
          {"GetSiteCurrency", S(C.GetSiteCurrency)},
          {"GetSiteLocation", S(C.GetSiteLocation)},
          {"GetSiteURL", S(C.GetSiteURL)},
          {"GetHostName", S(C.GetHostName)},
          {"GetStatement", S(C.GetStatement)},
          {"GetCountryName", S(C.GetCountryName)},
          {"GetCountryCode", S(C.GetCountryCode)},
          {"GetCurrencyName", S(C.GetCurrencyName)},
          {"GetCurrencyCode", S(C.GetCurrencyCode)},
          {"GetProcessPageProc", S(C.GetProcessPageProc)},
          {"GetNumberSites", S(C.GetNumberSites)},
          {"SiteHasCategory", S(C.SiteHasCategory)},
          {"LoadSiteCategories", S(C.LoadSiteCategories)},
          {"NumberCurrencies", S(C.NumberCurrencies)},
          {"LoadSiteAdverts", S(C.LoadSiteAdverts)},
          {"SiteHasAdvert", S(C.SiteHasAdvert)},
          {"GetVersionNumber", S(C.GetVersionNumber)},
          {"GetSiteAdvert", S(C.GetSiteAdvert)},
          {"GetFile", &C.GetFile},
          {"TerminateFileGroup", &C.TerminateFileGroup},
          {"SetFileGroupLimits", &C.SetFileGroupLimits},
          {"GetRegionCodeForCountry", S(C.GetRegionCodeForCountry)},
          {"GetHelpMenuItems", S(C.GetHelpMenuItems)},
          {"LoadRegions", S(C.LoadRegions)},
          {"TerminateProcesses", &C.TerminateProcesses},
          {"GetLibraryName", S(C.GetLibraryName)},
          {"FinishedWithSite", S(C.FinishedWithSite)},
          {"Init", nullptr},
          {"NumberLoaded", S(C.NumberLoaded)},
          {"LoadLanguages", S(C.LoadLanguages)},
          {"GetSiteLanguage", S(C.GetSiteLanguage)},
          {"GetSiteSecurity", S(C.GetSiteSecurity)},
          {"GetSiteSecurityDetails", S(C.GetSiteSecurityDetails)},
          {"SetSiteSecurityDetails", S(C.SetSiteSecurityDetails)},
          {"SetSearchType", S(C.SetSearchType)},
          {"SetSiteSearchStopped", S(C.SetSiteSearchStopped)},
          {"CanUseSite", S(C.CanUseSite)},
          {"SiteHasFeature", S(C.SiteHasFeature)},
          {"SetCustomerDetails", S(C.SetCustomerDetails)},
          {"IsSiteCertified", S(C.IsSiteCertified)}};
}

bool Fail(const std::string &Why) {
  CatalogueBindError = Why;
  MessageBox(CatalogueLoadMessage, ApplicationTitle(), MB_OK | MB_ICONERROR);
  RequestTerminate(true);
  return false;
}

}  // namespace

const std::vector<const char *> &RequiredCatalogueEntries() {
  // Everything but the entries tested before use (GetSiteSecurity,
  // SetSearchType, SetSiteSearchStopped, SetCustomerDetails, SetFileGroupLimits) and those bound
  // but never called.
  static const std::vector<const char *> Required = {
      "LoadCategories",  "LoadCountries",      "LoadCurrencies",     "LoadSiteCurrencies",
      "GetSiteName",     "GetSiteCurrency",    "GetSiteLocation",    "GetSiteURL",
      "GetHostName",     "GetStatement",       "GetCountryCode",     "GetCurrencyCode",
      "GetProcessPageProc", "GetNumberSites",  "SiteHasCategory",    "LoadSiteCategories",
      "NumberCurrencies", "SiteHasAdvert",     "GetVersionNumber",   "GetSiteAdvert",
      "GetRegionCodeForCountry", "GetHelpMenuItems", "LoadRegions",  "GetLibraryName",
      "FinishedWithSite", "Init",              "LoadLanguages",      "GetSiteLanguage",
      "GetSiteSecurityDetails", "SetSiteSecurityDetails", "CanUseSite", "SiteHasFeature"};
  return Required;
}

bool BindCatalogue(primary::TInitProgressProc Progress) {
  CatalogueBindError.clear();
  HMODULE Module = LoadLibrary(CatalogueLibraryName);
  if (!Module)
    return Fail(LastLoadError());
  primary::TInit Init = nullptr;
  std::vector<std::string> Missing;
  for (const TEntry &E : Entries()) {
    void *Address = GetProcAddress(Module, E.Name);
    if (E.Slot)
      *E.Slot = Address;
    else
      Init = reinterpret_cast<primary::TInit>(Address);
  }
  // A missing entry the client calls unchecked would crash at its first use:
  // refuse the library now, as one that cannot be loaded.
  for (const char *Name : RequiredCatalogueEntries())
    if (!GetProcAddress(Module, Name))
      Missing.push_back(Name);
  if (!Missing.empty()) {
    Catalogue = TCatalogue();
    FreeLibrary(Module);
    std::string Why = "missing entry point";
    for (const std::string &M : Missing)
      Why += " " + M;
    return Fail(Why);
  }
  hPrimary = Module;
  // The scan's messages come up as the client's own message boxes.
  if (auto Hook = reinterpret_cast<primary::TSetMessageBoxHook>(GetProcAddress(Module, "SetMessageBoxHook")))
    Hook(CatalogueMessageBox);
  Init(Progress ? Progress : [](int32_t, int32_t, const std::string &) {});
  return true;
}

void UnbindCatalogue() {
  Catalogue = TCatalogue();
  if (hPrimary) {
    if (auto Hook = reinterpret_cast<primary::TSetMessageBoxHook>(GetProcAddress(hPrimary, "SetMessageBoxHook")))
      Hook(nullptr);
    FreeLibrary(hPrimary);
  }
  hPrimary = nullptr;
}
