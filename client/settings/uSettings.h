#pragma once
// The settings store: every user setting lives below SettingsKey under
// HKEY_LOCAL_MACHINE, most values as text ("1"/"0" flags, decimal numbers).
// LoadSettingsValues copies them into the main window's working settings,
// which the rest of the client reads instead of the registry.
#include <string>
#include <vector>

#include "common/Common.h"
#include "platform/StringList.h"

extern const char *const SettingsKey;
// The maker's web site, the default address behind both banners.
extern const char *const MakerHostName;
extern const char *const DefaultTip;

struct TWorkingSettings {
  bool UseProxy = false;
  std::string ProxyServer, ProxyPort, ProxyUserName, ProxyPassword;
  int MaxSockets = 12;
  std::vector<int> SiteEnabled;  // per site number, 1 or 0
  std::vector<std::string> CurrencyRates;  // per entry of LoadSiteCurrencies
  bool FindLocalSites = false, LanguageSites = false, RegionSites = false;
  std::string LocalCountryCode, LocalLanguage, LocalRegion, LocalCurrencyCode;
  bool InStockOnly = false, LimitResults = false;
  int MaxResults = 0, ResultsPer = 1;
  bool ShowGoSite = true, GoSite = true;
  int LinkType = browDefault;
  bool MerchantMessages = true, BannerTips = true;
  std::string Tip, ClickURL1, ClickURL2;
  bool DebugMode = false, MessageDebugMode = false;
};

// Text-style reads below SettingsKey ("" is the key itself). A missing value,
// a text that is no number, and a value of another registry type all give the
// default.
std::string ReadSettingString(const std::string &SubKey, const std::string &Name, const std::string &Default);
int ReadSettingInteger(const std::string &SubKey, const std::string &Name, int Default);
bool ReadSettingBool(const std::string &SubKey, const std::string &Name, bool Default);
void WriteSettingString(const std::string &SubKey, const std::string &Name, const std::string &Value);
void WriteSettingBool(const std::string &SubKey, const std::string &Name, bool Value);

// The settings loader's steps over the bound catalogue. Features is the logon
// reply's feature list (nullptr before one arrived: no site is enabled);
// Arguments are the command-line arguments after the program name.
void LoadSettingsValues(TWorkingSettings &S, kv::TStrings *Features, int ServerMaxResults,
                        const std::vector<std::string> &Arguments);
