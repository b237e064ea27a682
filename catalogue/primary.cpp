// libprimary.so: the site catalogue. Scans "Lib\*.TWL" at Init, keeps one
// TTWLStore per accepted library and offers the flat interface the client
// binds by name (catalogue/primary.h). Every site is addressed by its number,
// its position in SiteList.
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

#include "catalogue/TWLStore.h"
#include "catalogue/primary.h"
#include "common/Common.h"
#include "net/CookieFile.h"
#include "platform/Dialogs.h"
#include "platform/FileSearch.h"
#include "platform/StringList.h"
#include "platform/SysUtils.h"

#define KV_PRIMARY_EXPORT extern "C" __attribute__((visibility("default")))

using namespace kv;
using kv::primary::TAddHelpMenuItemProc;
using kv::primary::TInitProgressProc;
using kv::primary::TMessageBoxProc;

namespace {

const char *const CRLF = "\r\n";
const char *const AllCategoriesEntry = "(All Categories)";
// The maker's web host of the Help menu items.
const char *const HelpHost = "http://www.korvandel.com";

bool Initialised = false;
std::vector<std::unique_ptr<TTWLStore>> SiteList;
TStringList AllCategories;
TStringList AllCurrencies;
uint8_t CurrentSearchType = TWL_SRCH_PARTNO;
std::string CustomerDetails;
TInitProgressProc ProgressProc = nullptr;

// Unloading primary unloads every site library it holds.
void ReleaseAllSites() {
  for (auto &Store : SiteList) {
    try {
      Store->UnloadLibrary();
    } catch (...) {
    }
    try {
      Store.reset();
    } catch (...) {
    }
  }
  SiteList.clear();
  AllCategories.Clear();
  AllCurrencies.Clear();
}

struct TFinalization {
  ~TFinalization() { ReleaseAllSites(); }
} Finalization;

TTWLStore &Site(int32_t SiteIndex) {
  if (SiteIndex < 0 || static_cast<size_t>(SiteIndex) >= SiteList.size())
    throw EListError("List index out of bounds");
  return *SiteList[SiteIndex];
}

// Only the list error may reach the caller; anything else a library or a file
// raised ends the call quietly.
template <class F>
void Guarded(F &&Body) {
  try {
    Body();
  } catch (const EListError &) {
    throw;
  } catch (...) {
  }
}

void CopyToBuffer(char *Buffer, const std::string &Text, size_t MaxLen) {
  const size_t N = std::min(Text.size(), MaxLen);
  std::memcpy(Buffer, Text.data(), N);
  Buffer[N] = 0;
}

void ReportInitProgress(int32_t Total, int32_t Done, const std::string &Name) {
  if (!ProgressProc)
    return;
  try {
    ProgressProc(Total, Done, Name);
  } catch (...) {
  }
}

void ShowScanError(const std::string &Text) { kv::MessageBox(Text, "Error", MB_OK | MB_ICONERROR); }

void TellSitesSearchStopped(int32_t Stopped) {
  for (auto &Store : SiteList) {
    try {
      Store->SetSearchStopped(Stopped);
    } catch (...) {
    }
  }
}

void MergeSiteCategories() {
  for (auto &Store : SiteList)
    for (int I = 0; I < Store->FCategories.Count(); ++I)
      AddUniqueString(Store->FCategories.Get(I), AllCategories);
  for (int I = 0; I < AllCategories.Count(); ++I)
    AllCategories.Put(I, InitCaps(AllCategories.Get(I)));
}

void MergeSiteCurrencies() {
  for (auto &Store : SiteList)
    AddUniqueString(Store->FSiteCurrency, AllCurrencies);
}

void ScanSiteLibraries() {
  std::string LastName = " ";
  int32_t Done = 0;
  // One listing serves both the count and the walk, so Done never passes Total.
  std::vector<std::string> Names;
  TSearchRec F;
  if (FindFirst("Lib\\*.TWL", faAnyFile, F) == 0) {
    do
      Names.push_back(F.Name);
    while (FindNext(F) == 0);
  }
  FindClose(F);
  const int32_t Total = static_cast<int32_t>(Names.size());
  ReportInitProgress(Total, 0, "");
  for (const std::string &N : Names) {
    ++Done;
    std::unique_ptr<TTWLStore> Store;
    try {
      Store = std::make_unique<TTWLStore>("LIB\\" + N);
    } catch (...) {
      Store.reset();
    }
    if (Store && Store->FValid) {
      LastName = Store->FSiteName;
      const int32_t V = Store->FInterfaceVersion;
      if (V > TWL_INTERFACE_VERSION_MAX) {
        ShowScanError("Unable to load " + N + CRLF + "Interface version " + IntToStr(V) + " not suppoted");
        Store->UnloadLibrary();
      } else if (V == 0) {
        Store->UnloadLibrary();
      } else {
        SiteList.push_back(std::move(Store));
        // Every site accepted so far hears that searching may go on.
        TellSitesSearchStopped(0);
      }
    } else {
      ShowScanError("A fatal error has occured with " + N + CRLF + "File not used");
      if (Store)
        Store->UnloadLibrary();
    }
    ReportInitProgress(Total, Done, LastName);
  }
  MergeSiteCategories();
  MergeSiteCurrencies();
}

void FillList(TStrings *List, const TStrings &From) {
  if (!List)
    return;
  List->Clear();
  for (int I = 0; I < From.Count(); ++I)
    List->Add(From.Get(I));
}

template <size_t N>
void FillTable(TStrings *List, const char *const (&Table)[N]) {
  if (!List)
    return;
  List->Clear();
  for (const char *Entry : Table)
    List->Add(Entry);
}

// The index lookups: -1 is no entry; outside the table is the list error.
template <size_t N>
std::string TableEntry(const char *const (&Table)[N], int32_t Index) {
  if (Index == -1)
    return "";
  if (Index < 0 || static_cast<size_t>(Index) >= N)
    throw EListError("List index out of bounds");
  return Table[Index];
}

// The built-in code tables, in their fixed order: a code, a blank and a name.
// "CSK Czech Koruna" stands twice in the currency table; site libraries and
// stored settings index it as it is.
const char *const Regions[] = {
    "NA North America", "CA Central America", "SA South America", "EU Europe", "CB Caribbean",
    "AF Africa",        "ME Middle East",     "OC Oceania",       "AS Asia",
};
const char *const Languages[] = {
    "ZH Chinese",  "CZ Czech",    "DA Danish",    "NL Dutch",     "EN English",   "ET Estonian", "FI Finnish",
    "FR French",   "DE German",   "EL Greek",     "HE Hebrew",    "HU Hungarian", "IS Icelandic", "IT Italian",
    "JA Japanese", "KO Korean",   "LV Latvian",   "LT Lithuanian", "NO Norwegian", "PL Polish",   "PT Portuguese",
    "RO Romanian", "RU Russian",  "ES Spanish",   "SV Swedish",
};
struct TRegionCountries {
  const char *Region;
  const char *Countries;  // comma-separated codes
};
const char *const Countries[] = {
    "AD Andorra", "AE United Arab Emirates", "AG Antigua And Barbuda", "AI Anguilla",
    "AL Albania", "AM Armenia", "AN Netherlands Antilles", "AO Angola",
    "AQ Antarctica", "AR Argentina", "AT Austria", "AU Australia",
    "AZ Azerbaijan", "BB Barbados", "BE Belgium", "BF Burkina Faso",
    "BG Bulgaria", "BH Bahrain", "BM Bermuda", "BN Brunei Darussalam",
    "BO Bolivia", "BR Brazil", "BS Bahamas", "BW Botswana",
    "BY Belarus", "BZ Belize", "CA Canada", "CH Switzerland",
    "CI Cote D'Ivoire", "CK Cook Islands", "CL Chile", "CM Cameroon",
    "CN China", "CO Colombia", "CR Costa Rica", "CU Cuba",
    "CY Cyprus", "CZ Czech Republic", "DE Germany", "DK Denmark",
    "DM Dominica", "DO Dominican Republic", "DZ Algeria", "EC Ecuador",
    "EE Estonia", "EG Egypt", "ES Spain", "ET Ethiopia",
    "FI Finland", "FJ Fiji", "FM Micronesia, Federated States Of", "FO Faroe Islands",
    "FR France", "GD Grenada", "GE Georgia", "GH Ghana",
    "GI Gibraltar", "GL Greenland", "GN Guinea", "GR Greece",
    "GT Guatemala", "GU Guam", "GY Guyana", "HK Hong Kong",
    "HN Honduras", "HR Croatia", "HU Hungary", "ID Indonesia",
    "IE Ireland", "IL Israel", "IN India", "IR Iran",
    "IS Iceland", "IT Italy", "JM Jamaica", "JO Jordan",
    "JP Japan", "KE Kenya", "KI Kiribati", "KN Saint Kitts And Nevis",
    "KR Korea, Republic Of", "KW Kuwait", "KY Cayman Islands", "KZ Kazakhstan",
    "LB Lebanon", "LC Saint Lucia", "LI Liechtenstein", "LK Sri Lanka",
    "LS Lesotho", "LT Lithuania", "LU Luxembourg", "LV Latvia",
    "MA Morocco", "MC Monaco", "MD Moldova, Republic Of", "MG Madagascar",
    "MK Macedonia, The Former Yugoslav Republic Of", "ML Mali", "MN Mongolia", "MO Macau",
    "MT Malta", "MU Mauritius", "MX Mexico", "MY Malaysia",
    "MZ Mozambique", "NA Namibia", "NC New Caledonia", "NG Nigeria",
    "NI Nicaragua", "NL Netherlands", "NO Norway", "NP Nepal",
    "NZ New Zealand", "PA Panama", "PE Peru", "PG Papua New Guinea",
    "PH Philippines", "PK Pakistan", "PL Poland", "PR Puerto Rico",
    "PT Portugal", "PY Paraguay", "RO Romania", "RU Russian Federation",
    "SA Saudi Arabia", "SB Solomon Islands", "SE Sweden", "SG Singapore",
    "SI Slovenia", "SK Slovakia (Slovak Republic)", "SM San Marino", "SN Senegal",
    "SR Suriname", "SV El Salvador", "SZ Swaziland", "TH Thailand",
    "TN Tunisia", "TO Tonga", "TR Turkey", "TT Trinidad And Tobago",
    "TW Taiwan, Province Of China", "TZ Tanzania, United Republic Of", "UA Ukraine", "UG Uganda",
    "UK United Kingdom", "US United States", "UY Uruguay", "UZ Uzbekistan",
    "VA Vatican City State (Holy See)", "VC Saint Vincent And The Grenadines", "VE Venezuela", "VI Virgin Islands (U.S.)",
    "VN Viet Nam", "VU Vanuatu", "WS Samoa", "YU Yugoslavia",
    "ZA South Africa", "ZM Zambia", "ZW Zimbabwe",
};
const char *const Currencies[] = {
    "USD American Dollars", "GBP British Pounds", "DEM German Marks", "JPY Japanese Yen",
    "CHF Swiss Francs", "FRF French Francs", "NLG Dutch Guilders", "ITL Italian Lira",
    "ARP Argentinian Pesos", "AUD Australian Dollars", "ATS Austrian Schillings", "BSD Bahamian Dollars",
    "BBD Barbados Dollars", "BEF Belgian Francs", "BMD Bermudian Dollars", "BRR Brazilian Real",
    "CAN Canadian Dollars", "CLP Chilean Pesos", "CNY Chinese Renmimbi", "CSK Czech Koruna",
    "DKK Danish Kroner", "EGP Egyptian Pounds", "FIM Finnish Markka", "GRD Greek Drachmas",
    "HKD Hong Kong Dollars", "HUF Hungarian Forint", "ISK Icelandic Krona", "INR Indian Rupees",
    "IDR Indonesian Rupiah", "IEP Irish Punt", "ILS Israeli New Shekels", "JMD Jamaican Dollars",
    "CSK Czech Koruna", "JOD Jordanian Dinar", "MYR Malaysian Ringgit", "MXP Mexican New Pesos",
    "NZD New Zealand Dollars", "NOK Norwegian Kroner", "PKR Pakistani Rupees", "PHP Philippines Pesos",
    "PLZ Polish Zloty", "PTE Portugese Escudo", "SUR Russian Rubles", "SAR Saudi Arabian Riyal",
    "SGD Singapore Dollars", "ZAR South African Rand", "KRW South Korean Won", "ESP Spanish Pesetas",
    "SDD Sudanese Dinar", "SEK Swedish Krona", "TWD Taiwan Dollars", "THB Thai Baht",
    "TTD Trinidad and Tobago Dollars", "TRL Turkish Lira", "VEB Venezuelan Bolivar", "XEU European Currency Units",
};
const TRegionCountries RegionCountries[] = {
    {"NA", "CA,GL,GU,MX,PR,US,VI"},
    {"CA", "BZ,CR,GT,HN,NI,PA,SV"},
    {"SA", "AR,BO,BR,CL,CO,EC,GY,PE,PY,SR,UY,VE"},
    {"EU", "AD,AL,AM,AT,BE,BG,BY,CH,CY,CZ,DE,DK,EE,ES,FI,FO,FR,GE,GI,GR,HR,HU,IE,IS,IT,LI,LT,LU,LV,MC,MD,MK,MT,NL,NO,PL,PT,RO,RU,SE,SI,SK,SM,UA,UK,VA,YU"},
    {"CB", "AG,AI,AN,BB,BM,BS,CU,DM,DO,GD,JM,KN,KY,LC,TT,VC"},
    {"AF", "AO,BF,BW,CI,CM,DZ,ET,GH,GN,KE,LS,MA,MG,ML,MU,MZ,NA,NG,SN,SZ,TN,TZ,UG,ZA,ZM,ZW"},
    {"ME", "AE,BH,EG,IL,IR,JO,KW,LB,SA"},
    {"OC", "AQ,AU,CK,FJ,FM,KI,NC,NZ,PG,SB,TO,VU,WS"},
    {"AS", "AZ,BN,CN,HK,ID,IN,JP,KR,KZ,LK,MN,MO,MY,NP,PH,PK,SG,TH,TR,TW,UZ,VN"},
};
}  // namespace

KV_PRIMARY_EXPORT void SetMessageBoxHook(TMessageBoxProc Proc) {
  if (!Proc) {
    kv::SetMessageBoxHook(nullptr);
    return;
  }
  kv::SetMessageBoxHook([Proc](const std::string &Text, const std::string &Caption, unsigned Flags) {
    return Proc(Text.c_str(), Caption.c_str(), Flags);
  });
}

KV_PRIMARY_EXPORT void Init(TInitProgressProc Progress) {
  if (Initialised)
    return;
  Initialised = true;
  CurrentSearchType = TWL_SRCH_PARTNO;
  ProgressProc = Progress;
  AllCategories.Clear();
  AllCategories.Add(AllCategoriesEntry);
  AllCurrencies.Clear();
  try {
    ScanSiteLibraries();
  } catch (...) {
  }
}

KV_PRIMARY_EXPORT int32_t GetNumberSites() { return static_cast<int32_t>(SiteList.size()); }

KV_PRIMARY_EXPORT int32_t NumberLoaded() {
  int32_t N = 0;
  for (auto &Store : SiteList)
    if (Store->FLoaded)
      ++N;
  return N;
}

KV_PRIMARY_EXPORT void GetSiteName(std::string &Result, int32_t SiteIndex) { Result = Site(SiteIndex).FSiteName; }
KV_PRIMARY_EXPORT void GetSiteLocation(std::string &Result, int32_t SiteIndex) {
  Result = Site(SiteIndex).FSiteLocation;
}
KV_PRIMARY_EXPORT void GetSiteCurrency(std::string &Result, int32_t SiteIndex) {
  Result = Site(SiteIndex).FSiteCurrency;
}
KV_PRIMARY_EXPORT void GetSiteLanguage(std::string &Result, int32_t SiteIndex) {
  Result = Site(SiteIndex).FSiteLanguage;
}
KV_PRIMARY_EXPORT void GetSiteURL(std::string &Result, int32_t SiteIndex) { Result = Site(SiteIndex).FSiteURL; }
KV_PRIMARY_EXPORT void GetHostName(std::string &Result, int32_t SiteIndex) {
  Result = Site(SiteIndex).FSiteHostName;
}
KV_PRIMARY_EXPORT void GetLibraryName(std::string &Result, int32_t SiteIndex) {
  Result = Site(SiteIndex).FLibraryName;
}
KV_PRIMARY_EXPORT void GetSiteAdvert(std::string &Result, int32_t SiteIndex) {
  Result = Site(SiteIndex).FSiteAdvert;
}
KV_PRIMARY_EXPORT TSecurityType GetSiteSecurity(int32_t SiteIndex) {
  return static_cast<TSecurityType>(Site(SiteIndex).FSecurity);
}
KV_PRIMARY_EXPORT bool IsSiteCertified(int32_t SiteIndex) { return Site(SiteIndex).FCertified; }
KV_PRIMARY_EXPORT bool SiteHasAdvert(int32_t SiteIndex) { return Site(SiteIndex).FHasAdvert; }

KV_PRIMARY_EXPORT bool SiteHasCategory(int32_t SiteIndex, const std::string &Category) {
  return Site(SiteIndex).HasCategory(Category);
}

KV_PRIMARY_EXPORT bool SiteHasFeature(int32_t SiteIndex, const std::string &Feature) {
  return Site(SiteIndex).HasFeature(Feature);
}

KV_PRIMARY_EXPORT bool CanUseSite(int32_t SiteIndex, TStrings *Features) {
  try {
    TTWLStore &S = Site(SiteIndex);
    for (int I = 0; Features && I < Features->Count(); ++I)
      if (S.HasFeature(Features->Get(I)))
        return true;
  } catch (...) {
  }
  return false;
}

KV_PRIMARY_EXPORT void LoadCategories(TStrings *List) { FillList(List, AllCategories); }

KV_PRIMARY_EXPORT void LoadSiteCategories(int32_t SiteIndex, TStrings *List) {
  FillList(List, Site(SiteIndex).FCategories);
}

// Appends without clearing: the client relies on that.
KV_PRIMARY_EXPORT void LoadSiteCurrencies(TStrings *List) {
  if (!List)
    return;
  for (int I = 0; I < AllCurrencies.Count(); ++I)
    List->Add(AllCurrencies.Get(I));
}

KV_PRIMARY_EXPORT int32_t NumberCurrencies() { return AllCurrencies.Count(); }

KV_PRIMARY_EXPORT void LoadSiteAdverts(TStrings *List) {
  if (List)
    List->Clear();
}

KV_PRIMARY_EXPORT TProcessPageProc GetProcessPageProc(int32_t SiteIndex) {
  TTWLStore &S = Site(SiteIndex);
  TProcessPageProc Proc = nullptr;
  Guarded([&] { Proc = S.GetProcessPage(); });
  return Proc;
}

KV_PRIMARY_EXPORT bool FinishedWithSite(int32_t SiteIndex) {
  TTWLStore &S = Site(SiteIndex);
  bool Unloaded = false;
  Guarded([&] { Unloaded = S.Release(); });
  return Unloaded;
}

KV_PRIMARY_EXPORT void SetSiteSearchStopped(int32_t Stopped) { TellSitesSearchStopped(Stopped); }

KV_PRIMARY_EXPORT void SetSearchType(TSearchType SearchType) { CurrentSearchType = SearchType; }

KV_PRIMARY_EXPORT void SetCustomerDetails(const std::string &Details) { CustomerDetails = Details; }

KV_PRIMARY_EXPORT void GetSiteSecurityDetails(int32_t SiteIndex, std::string &UserName, std::string &Password) {
  TTWLStore &S = Site(SiteIndex);
  Guarded([&] { S.GetSecurityDetails(false, UserName, Password); });
}

// The one export besides the list error that raises: the client shows
// "Unable to write to %s" when the login cannot be stored.
KV_PRIMARY_EXPORT void SetSiteSecurityDetails(int32_t SiteIndex, const std::string &UserName,
                                              const std::string &Password) {
  Site(SiteIndex).SetSecurityDetails(UserName, Password);
}

// The whole request for one page, or nothing: a failure after the request
// line never hands out part of a request.
KV_PRIMARY_EXPORT void GetStatement(std::string &Result, int32_t SiteIndex, const std::string &SearchText,
                                    const std::string &PostData, const std::string &NextURL, int16_t UseProxy,
                                    const std::string &ProxyUser, const std::string &ProxyPassword,
                                    int32_t &PageState) {
  Result.clear();
  char Statement[TWL_REQUEST_BUFFER_SIZE] = {};
  char Post[TWL_REQUEST_BUFFER_SIZE] = {};
  char Next[TWL_REQUEST_BUFFER_SIZE] = {};
  char Search[TWL_TEXT_BUFFER_SIZE] = {};
  CopyToBuffer(Post, PostData, TWL_REQUEST_MAXLEN);
  CopyToBuffer(Next, NextURL, TWL_REQUEST_MAXLEN);
  CopyToBuffer(Search, SearchText, TWL_TEXT_MAXLEN);
  try {
    TTWLStore &S = Site(SiteIndex);
    std::string UserName, Password;
    if (S.FInterfaceVersion > 2) {
      S.SetSearchType(CurrentSearchType);
      if (S.FSecurity != TWL_SEC_NONE)
        S.GetSecurityDetails(true, UserName, Password);
    }
    if (S.FInterfaceVersion > 3)
      S.SetCustomerDetails(CustomerDetails);
    if (S.GetStatement(Statement, TWL_REQUEST_MAXLEN, Post, PageState, Next, Search) == 0)
      return;
    // The library may have filled a buffer to its last byte.
    Statement[TWL_REQUEST_MAXLEN] = 0;
    Post[TWL_REQUEST_MAXLEN] = 0;

    const std::string Host = S.FSiteHostName;
    std::string R = std::string(Statement) + " HTTP/1.0" + CRLF;
    for (const char *Line : {"Accept: image/gif", "Accept: image/x-xbitmap", "Accept: image/jpeg",
                             "Accept: image/pjpeg", "Accept: */*", "Accept-CharSet: iso-8859-1,*,utf-8",
                             "Accept-Language: en"})
      R += std::string(Line) + CRLF;
    if (UseProxy && !ProxyUser.empty())
      R += "Proxy-Authorization: Basic " + base64Encode(ProxyUser + ":" + ProxyPassword) + CRLF;
    R += "Host: " + Host + CRLF;
    R += std::string("User-Agent: Mozilla/4.0b4 [en] (Win95; I)") + CRLF;
    if (S.FInterfaceVersion > 2 && S.FSecurity == TWL_SEC_BASIC)
      R += "Authorization: Basic " + base64Encode(UserName + ":" + Password) + CRLF;
    // A cookie file that cannot be read only drops the cookie line.
    try {
      if (CookieHostKnown(Host))
        R += GetCookieLine(Host) + CRLF;
    } catch (...) {
    }
    const std::string Body = Trim(Post);
    if (!Body.empty()) {
      R += std::string("Content-type: application/x-www-form-urlencoded") + CRLF;
      R += "Content-length: " + IntToStr(Body.size()) + CRLF + CRLF + Body;
    }
    R += CRLF;
    if (UseProxy) {
      // The absolute form for the proxy, unless the library wrote one already.
      for (const std::string Method : {"GET ", "POST "}) {
        if (R.compare(0, Method.size(), Method) != 0)
          continue;
        if (!SameText(R.substr(Method.size(), 7), "http://"))
          R.insert(Method.size(), "http://" + Host);
        break;
      }
    }
    Result = std::move(R);
  } catch (...) {
    Result.clear();
  }
}

KV_PRIMARY_EXPORT void LoadCountries(TStrings *List) { FillTable(List, Countries); }
KV_PRIMARY_EXPORT void LoadLanguages(TStrings *List) { FillTable(List, Languages); }
KV_PRIMARY_EXPORT void LoadCurrencies(TStrings *List) { FillTable(List, Currencies); }
KV_PRIMARY_EXPORT void LoadRegions(TStrings *List) { FillTable(List, Regions); }

KV_PRIMARY_EXPORT void GetCountryName(std::string &Result, int32_t Index) { Result = TableEntry(Countries, Index); }
KV_PRIMARY_EXPORT void GetCountryCode(std::string &Result, int32_t Index) {
  Result = UpperCase(TableEntry(Countries, Index).substr(0, 2));
}
KV_PRIMARY_EXPORT void GetCurrencyName(std::string &Result, int32_t Index) {
  Result = TableEntry(Currencies, Index);
}
KV_PRIMARY_EXPORT void GetCurrencyCode(std::string &Result, int32_t Index) {
  Result = UpperCase(TableEntry(Currencies, Index).substr(0, 3));
}

// Exact match, letter case included; no match gives an empty result.
KV_PRIMARY_EXPORT void GetRegionCodeForCountry(std::string &Result, const std::string &CountryCode) {
  Result.clear();
  if (CountryCode.size() != 2)
    return;
  for (const TRegionCountries &R : RegionCountries)
    for (const char *C = R.Countries; *C; C += C[2] ? 3 : 2)
      if (CountryCode.compare(0, 2, C, 2) == 0) {
        Result = R.Region;
        return;
      }
}

KV_PRIMARY_EXPORT void GetHelpMenuItems(TAddHelpMenuItemProc AddItem) {
  AddItem("&Online Help", std::string(HelpHost) + "/kv_homepage/user_manual.asp", "F1", 0);
  AddItem("&FAQ", std::string(HelpHost) + "/kv_homepage/faq.asp", "", 2);
}

KV_PRIMARY_EXPORT void GetTip(std::string &Result) {
  static const char *const Tips[] = {
      "Tip: Too many hits? Use more search terms.",
      "Tip: Specify a category which best fits your search.",
      "Tip: Separate words with spaces only. For example: Cheese Brie",
      "Tip: Don't use boolean operators, just keywords.",
  };
  // Seeded once: reseeding from the clock on every call repeats the same tip
  // within a clock tick.
  static std::mt19937 Random(std::random_device{}() ^ static_cast<unsigned>(std::time(nullptr)));
  Result = Tips[std::uniform_int_distribution<int>(0, 3)(Random)];
}

KV_PRIMARY_EXPORT void GetVersionNumber(int32_t &Version) { Version = 3003; }
