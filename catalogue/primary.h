#pragma once
// The exported interface of libprimary.so, as the client binds it by name.
// Text goes in as const std::string&, a text result comes back through the
// first parameter, lists are the caller's kv::TStrings. A bad site number
// raises kv::EListError ("List index out of bounds") into the caller, except
// in GetStatement (empty result) and CanUseSite (false).
#include <cstdint>
#include <string>

#include "common/Common.h"
#include "platform/StringList.h"
#include "sites/twl_abi.h"

namespace kv::primary {

// Called once before the scan with (Total, 0, "") and once per file with the
// count done so far and the name of the last accepted site.
using TInitProgressProc = void (*)(int32_t Total, int32_t Done, const std::string &SiteName);
// One Help menu item; Offset places it relative to the client's reference item.
using TAddHelpMenuItemProc = void (*)(const std::string &Caption, const std::string &URL,
                                      const std::string &ShortCut, int32_t Offset);
// The message boxes of the scan; returns the button pressed (IDOK).
using TMessageBoxProc = int (*)(const char *Text, const char *Caption, unsigned Flags);

using TInit = void (*)(TInitProgressProc Progress);
using TGetNumberSites = int32_t (*)();
using TNumberLoaded = int32_t (*)();
// GetSiteName, GetSiteLocation, GetSiteCurrency, GetSiteLanguage, GetSiteURL,
// GetHostName, GetLibraryName, GetSiteAdvert
using TGetSiteText = void (*)(std::string &Result, int32_t SiteIndex);
using TGetSiteSecurity = TSecurityType (*)(int32_t SiteIndex);
// IsSiteCertified, SiteHasAdvert, FinishedWithSite
using TSiteFlag = bool (*)(int32_t SiteIndex);
// SiteHasCategory, SiteHasFeature
using TSiteHas = bool (*)(int32_t SiteIndex, const std::string &Name);
using TCanUseSite = bool (*)(int32_t SiteIndex, kv::TStrings *Features);
// LoadCategories, LoadSiteCurrencies, LoadSiteAdverts, LoadCountries,
// LoadLanguages, LoadCurrencies, LoadRegions
using TLoadList = void (*)(kv::TStrings *List);
using TLoadSiteCategories = void (*)(int32_t SiteIndex, kv::TStrings *List);
using TNumberCurrencies = int32_t (*)();
using TGetProcessPageProc = TProcessPageProc (*)(int32_t SiteIndex);
using TSetSiteSearchStopped = void (*)(int32_t Stopped);
using TSetSearchType = void (*)(TSearchType SearchType);
using TSetCustomerDetails = void (*)(const std::string &Details);
using TGetSiteSecurityDetails = void (*)(int32_t SiteIndex, std::string &UserName, std::string &Password);
using TSetSiteSecurityDetails = void (*)(int32_t SiteIndex, const std::string &UserName,
                                         const std::string &Password);
using TGetStatement = void (*)(std::string &Result, int32_t SiteIndex, const std::string &SearchText,
                               const std::string &PostData, const std::string &NextURL, int16_t UseProxy,
                               const std::string &ProxyUser, const std::string &ProxyPassword,
                               int32_t &PageState);
// GetCountryName, GetCountryCode, GetCurrencyName, GetCurrencyCode
using TGetTableText = void (*)(std::string &Result, int32_t Index);
using TGetRegionCodeForCountry = void (*)(std::string &Result, const std::string &CountryCode);
using TGetHelpMenuItems = void (*)(TAddHelpMenuItemProc AddItem);
using TGetTip = void (*)(std::string &Result);
using TGetVersionNumber = void (*)(int32_t &Version);
using TSetMessageBoxHook = void (*)(TMessageBoxProc Proc);  // nullptr: standard error

}  // namespace kv::primary
