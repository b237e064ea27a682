// A stand-in catalogue library for the binding tests: every entry point the
// client looks up, answering from fixed data. KV_FAKE_NO_GETSTATEMENT leaves
// out one entry the client calls unchecked; KV_FAKE_NO_OPTIONAL leaves out
// those it tests before use. FakeOptionalCalls tells the calls those received.
#include <string>

#include "catalogue/primary.h"

using namespace kv::primary;

#define KV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
TMessageBoxProc Hook = nullptr;
std::string OptionalCalls;
}

// Every call of an optional entry, "Name argument|" each; emptied by reading.
KV_EXPORT void FakeOptionalCalls(std::string &R) {
  R = OptionalCalls;
  OptionalCalls.clear();
}

KV_EXPORT void SetMessageBoxHook(TMessageBoxProc Proc) { Hook = Proc; }
KV_EXPORT void Init(TInitProgressProc Progress) {
  Progress(3, 0, "");
  Progress(3, 1, "Alpha");
  if (Hook)
    Hook("A fatal error has occured with B.TWL\r\nFile not used", "Error", 0x10);
  Progress(3, 2, "Alpha");
  Progress(3, 3, "R&D Parts");
}
KV_EXPORT int32_t GetNumberSites() { return 2; }
KV_EXPORT int32_t NumberLoaded() { return 2; }
KV_EXPORT void GetSiteName(std::string &R, int32_t I) { R = I == 0 ? "Alpha" : "R&D Parts"; }
KV_EXPORT void GetSiteLocation(std::string &R, int32_t) { R = "UK"; }
KV_EXPORT void GetSiteCurrency(std::string &R, int32_t) { R = "GBP British Pounds"; }
KV_EXPORT void GetSiteLanguage(std::string &R, int32_t) { R = "EN English"; }
KV_EXPORT void GetSiteURL(std::string &R, int32_t) { R = "http://a.test/"; }
KV_EXPORT void GetHostName(std::string &R, int32_t) { R = "a.test"; }
KV_EXPORT void GetLibraryName(std::string &R, int32_t I) { R = I == 0 ? "LIB\\A.TWL" : "LIB\\B.TWL"; }
KV_EXPORT void GetSiteAdvert(std::string &R, int32_t) { R.clear(); }
KV_EXPORT bool IsSiteCertified(int32_t) { return false; }
KV_EXPORT bool SiteHasAdvert(int32_t) { return false; }
KV_EXPORT bool FinishedWithSite(int32_t) { return true; }
KV_EXPORT bool SiteHasCategory(int32_t, const std::string &) { return true; }
KV_EXPORT bool SiteHasFeature(int32_t, const std::string &) { return true; }
KV_EXPORT bool CanUseSite(int32_t, kv::TStrings *F) { return F != nullptr; }
KV_EXPORT void LoadCategories(kv::TStrings *L) {
  L->Clear();
  L->Add("(All Categories)");
  L->Add("Passives");
}
KV_EXPORT void LoadSiteCurrencies(kv::TStrings *L) {
  L->Clear();
  L->Add("GBP British Pounds");
}
KV_EXPORT void LoadSiteAdverts(kv::TStrings *L) { L->Clear(); }
KV_EXPORT void LoadCountries(kv::TStrings *L) { L->Clear(); }
KV_EXPORT void LoadLanguages(kv::TStrings *L) { L->Clear(); }
KV_EXPORT void LoadCurrencies(kv::TStrings *L) { L->Clear(); }
KV_EXPORT void LoadRegions(kv::TStrings *L) { L->Clear(); }
KV_EXPORT void LoadSiteCategories(int32_t, kv::TStrings *L) { L->Clear(); }
KV_EXPORT int32_t NumberCurrencies() { return 1; }
KV_EXPORT TProcessPageProc GetProcessPageProc(int32_t) { return nullptr; }
KV_EXPORT void GetSiteSecurityDetails(int32_t, std::string &U, std::string &P) { U = P = ""; }
KV_EXPORT void SetSiteSecurityDetails(int32_t, const std::string &, const std::string &) {}
#ifndef KV_FAKE_NO_GETSTATEMENT
KV_EXPORT void GetStatement(std::string &R, int32_t, const std::string &, const std::string &, const std::string &,
                            int16_t, const std::string &, const std::string &, int32_t &) {
  R.clear();
}
#endif
KV_EXPORT void GetCountryName(std::string &R, int32_t) { R.clear(); }
KV_EXPORT void GetCountryCode(std::string &R, int32_t I) { R = I < 0 ? "" : "UK"; }
KV_EXPORT void GetCurrencyName(std::string &R, int32_t) { R.clear(); }
KV_EXPORT void GetCurrencyCode(std::string &R, int32_t) { R = "USD"; }
KV_EXPORT void GetRegionCodeForCountry(std::string &R, const std::string &) { R.clear(); }
KV_EXPORT void GetHelpMenuItems(TAddHelpMenuItemProc) {}
KV_EXPORT void GetVersionNumber(int32_t &V) { V = 3003; }
#ifndef KV_FAKE_NO_OPTIONAL
KV_EXPORT TSecurityType GetSiteSecurity(int32_t I) {
  OptionalCalls += "GetSiteSecurity " + std::to_string(I) + "|";
  return secNone;
}
KV_EXPORT void SetSearchType(TSearchType T) { OptionalCalls += "SetSearchType " + std::to_string(static_cast<int>(T)) + "|"; }
KV_EXPORT void SetSiteSearchStopped(int32_t S) { OptionalCalls += "SetSiteSearchStopped " + std::to_string(S) + "|"; }
KV_EXPORT void SetCustomerDetails(const std::string &D) { OptionalCalls += "SetCustomerDetails " + D + "|"; }
#endif
