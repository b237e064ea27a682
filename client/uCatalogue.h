#pragma once
// The site catalogue, bound by name at run time. Every entry point lives in
// the program-wide Catalogue and is empty before binding and after unbinding.
#include <string>
#include <vector>

#include "catalogue/primary.h"
#include "platform/DynLoad.h"

struct TCatalogue {
  kv::primary::TLoadList LoadCategories = nullptr, LoadCountries = nullptr, LoadCurrencies = nullptr,
                         LoadSiteCurrencies = nullptr, LoadSiteAdverts = nullptr, LoadRegions = nullptr,
                         LoadLanguages = nullptr;
  kv::primary::TGetSiteText GetSiteName = nullptr, GetSiteCurrency = nullptr, GetSiteLocation = nullptr,
                            GetSiteURL = nullptr, GetHostName = nullptr, GetLibraryName = nullptr,
                            GetSiteAdvert = nullptr, GetSiteLanguage = nullptr;
  kv::primary::TGetStatement GetStatement = nullptr;
  kv::primary::TGetTableText GetCountryName = nullptr, GetCountryCode = nullptr, GetCurrencyName = nullptr,
                             GetCurrencyCode = nullptr;
  kv::primary::TGetProcessPageProc GetProcessPageProc = nullptr;
  kv::primary::TGetNumberSites GetNumberSites = nullptr;
  kv::primary::TSiteHas SiteHasCategory = nullptr, SiteHasFeature = nullptr;
  kv::primary::TLoadSiteCategories LoadSiteCategories = nullptr;
  kv::primary::TNumberCurrencies NumberCurrencies = nullptr;
  kv::primary::TSiteFlag SiteHasAdvert = nullptr, FinishedWithSite = nullptr, IsSiteCertified = nullptr;
  kv::primary::TGetVersionNumber GetVersionNumber = nullptr;
  // Fetchlet's functions as primary passes them on; the client calls
  // Fetchlet itself, so their shapes do not matter here.
  void *GetFile = nullptr, *TerminateFileGroup = nullptr, *TerminateProcesses = nullptr,
       *SetFileGroupLimits = nullptr;
  kv::primary::TGetRegionCodeForCountry GetRegionCodeForCountry = nullptr;
  kv::primary::TGetHelpMenuItems GetHelpMenuItems = nullptr;
  kv::primary::TNumberLoaded NumberLoaded = nullptr;
  kv::primary::TGetSiteSecurity GetSiteSecurity = nullptr;
  kv::primary::TGetSiteSecurityDetails GetSiteSecurityDetails = nullptr;
  kv::primary::TSetSiteSecurityDetails SetSiteSecurityDetails = nullptr;
  kv::primary::TSetSearchType SetSearchType = nullptr;
  kv::primary::TSetSiteSearchStopped SetSiteSearchStopped = nullptr;
  kv::primary::TCanUseSite CanUseSite = nullptr;
  kv::primary::TSetCustomerDetails SetCustomerDetails = nullptr;
};

extern TCatalogue Catalogue;
// The loaded library while bound, nullptr otherwise.
extern kv::HMODULE hPrimary;
// What BindCatalogue loads; tests point it at a library of their own.
extern std::string CatalogueLibraryName;
// Why the last BindCatalogue failed, for tests and the debug memo.
extern std::string CatalogueBindError;

// The one message of a failed binding.
extern const char *const CatalogueLoadMessage;

// Loads the catalogue, binds its entry points and runs its scan, telling
// Progress (the splash's, in the program; nullptr: nobody) how far it is. On
// failure shows the message, asks the application to end and returns false;
// nothing stays bound.
bool BindCatalogue(kv::primary::TInitProgressProc Progress);
void UnbindCatalogue();
// The entry points the client calls without testing them first.
const std::vector<const char *> &RequiredCatalogueEntries();
