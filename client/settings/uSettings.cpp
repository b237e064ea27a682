#include "client/settings/uSettings.h"

#include <algorithm>

#include "client/settings/uProxyLogin.h"
#include "client/uCatalogue.h"
#include "platform/Registry.h"

using namespace kv;

const char *const SettingsKey = "\\Software\\Ostrell Technologies\\Korvandel(tm)\\0.00\\Settings";
const char *const MakerHostName = "www.korvandel.test";
const char *const DefaultTip = "Tip 1: Specify a Part Number or Description for your search.";

std::string ReadSettingString(const std::string &SubKey, const std::string &Name, const std::string &Default) {
  try {
    TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
    return Ini.ReadString(SubKey, Name, Default);
  } catch (const ERegistryException &) {
    // A value of the wrong type counts as missing rather than ending the load.
    return Default;
  }
}

int ReadSettingInteger(const std::string &SubKey, const std::string &Name, int Default) {
  try {
    TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
    return Ini.ReadInteger(SubKey, Name, Default);
  } catch (const ERegistryException &) {
    return Default;
  }
}

bool ReadSettingBool(const std::string &SubKey, const std::string &Name, bool Default) {
  try {
    TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
    return Ini.ReadBool(SubKey, Name, Default);
  } catch (const ERegistryException &) {
    return Default;
  }
}

void WriteSettingString(const std::string &SubKey, const std::string &Name, const std::string &Value) {
  TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
  Ini.WriteString(SubKey, Name, Value);
}

void WriteSettingBool(const std::string &SubKey, const std::string &Name, bool Value) {
  TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
  Ini.WriteBool(SubKey, Name, Value);
}

namespace {

std::string TableText(primary::TGetTableText Getter, int Index) {
  std::string Result;
  if (Getter)
    Getter(Result, Index);
  return Result;
}

}  // namespace

void LoadSettingsValues(TWorkingSettings &S, TStrings *Features, int ServerMaxResults,
                        const std::vector<std::string> &Arguments) {
  S.SiteEnabled.clear();
  S.CurrencyRates.clear();
  {
    TRegistry Reg;
    Reg.SetRootKey(HKEY_LOCAL_MACHINE);
    // Proxy logins written by older versions are plain; scrambled once. A
    // failure is swallowed and the next load tries again.
    if (Reg.OpenKey(SettingsKey, true))
      ConvertProxyLogin(Reg);
  }

  S.UseProxy = ReadSettingBool("", "ProxyInfoSaved", false);
  S.ProxyServer = ReadSettingString("", "ProxyServer", "");
  S.ProxyPort = ReadSettingString("", "ProxyPort", "");
  S.ProxyUserName = DeCryptString(ReadSettingString("", "ProxyUserName", ""));
  S.ProxyPassword = DeCryptString(ReadSettingString("", "ProxyPassword", ""));
  if (S.UseProxy && S.ProxyServer.empty() && S.ProxyPort.empty()) {
    WriteSettingString("", "ProxyInfoSaved", "0");
    S.UseProxy = false;
  }

  // The socket pools hold 32 sockets; fewer than one would never search.
  S.MaxSockets = std::clamp(ReadSettingInteger("Advanced", "MaxSockets", 12), 1, 32);

  const int Sites = Catalogue.GetNumberSites();
  for (int I = 0; I < Sites; ++I) {
    std::string Library;
    Catalogue.GetLibraryName(Library, I);
    const bool On = ReadSettingBool("SiteInfo\\Sites", "Site" + Library, true) && Catalogue.CanUseSite(I, Features);
    S.SiteEnabled.push_back(On ? 1 : 0);
  }

  TStringList Currencies;
  Catalogue.LoadSiteCurrencies(&Currencies);
  for (int I = 0; I < Currencies.Count(); ++I)
    S.CurrencyRates.push_back(ReadSettingString("Currency", "Currency" + Currencies[I].substr(0, 3), "0"));

  S.FindLocalSites = S.LanguageSites = S.RegionSites = false;
  S.LocalCountryCode = TableText(Catalogue.GetCountryCode, -1);
  S.LocalLanguage.clear();
  S.LocalRegion.clear();
  S.LocalCurrencyCode = TableText(Catalogue.GetCurrencyCode, 0);

  S.InStockOnly = ReadSettingBool("Advanced", "InStockOnly", false);
  S.LimitResults = ReadSettingBool("Advanced", "LimitResults", false);
  S.MaxResults = ReadSettingInteger("Advanced", "MaxResults", 0);
  S.ResultsPer = ReadSettingInteger("Advanced", "ResultsPer", 1);
  if (ServerMaxResults < S.MaxResults || !S.LimitResults) {
    S.MaxResults = ServerMaxResults;
    S.LimitResults = true;
  }
  S.ShowGoSite = ReadSettingBool("Advanced", "ShowGoSite", true);
  S.GoSite = ReadSettingBool("Advanced", "GoSite", true);
  S.LinkType = ReadSettingInteger("Browser", "LinkType", 0);
  S.MerchantMessages = ReadSettingBool("Banner", "MerchantMessages", true);
  S.BannerTips = ReadSettingBool("Banner", "BannerTips", true);
  S.Tip = ReadSettingString("Tip", "Tip", DefaultTip);
  S.ClickURL1 = ReadSettingString("Banner", "ClickURL1", MakerHostName);
  S.ClickURL2 = ReadSettingString("Banner", "ClickURL2", MakerHostName);

  const std::string First = Arguments.empty() ? std::string() : Arguments.front();
  S.DebugMode = First == "QZDEBUG";
  S.MessageDebugMode = First == "QZMSGDEBUG";
}
