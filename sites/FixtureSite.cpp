// The test site library. One build is copied under many names into a test
// "Lib" folder; each copy plays the site that "<name>.cfg" beside it describes
// and appends every call it receives to "<name>.log" there.
//
// Settings ("Key=Value" lines; a missing key means the entry writes nothing):
//   SiteName SiteLocation SiteCurrency SiteURL SiteHostName SiteAdvert
//   SiteLanguage        texts of the describing entries
//   Categories Features comma-separated, handed one by one to AddString
//   InterfaceVersion    default 4;  Certified, Security  default 0
//   Statement           request line template: {search} {next} {state} {post}
//   PostData            written into the post-data buffer (same template)
//   StatementResult     GetSiteStatement's result, default 1
//   NextPageState       written into the page state
//   PageResult          ProcessPage's result, default 0
//   Fail                comma-separated entry names that raise
//   Unterminated        comma-separated text entries that fill their whole
//                       buffer without a terminating zero
//
// Compile-time variants leave out what data cannot: KV_TWL_NO_HOSTNAME (a
// required entry), KV_TWL_NO_PROCESSPAGE, KV_TWL_V1_ONLY (only the entries of
// interface version 1).
#define TWL_DECLARE_EXPORTS

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Common.h"
#include "sites/twl_abi.h"

namespace {

std::string BasePath() {
  Dl_info Info{};
  if (!dladdr(reinterpret_cast<void *>(&BasePath), &Info) || !Info.dli_fname)
    return "fixture";
  std::string Path = Info.dli_fname;
  const size_t Dot = Path.rfind('.');
  const size_t Slash = Path.rfind('/');
  if (Dot != std::string::npos && (Slash == std::string::npos || Dot > Slash))
    Path.erase(Dot);
  return Path;
}

std::map<std::string, std::string> Settings() {
  std::map<std::string, std::string> S;
  std::ifstream In(BasePath() + ".cfg");
  std::string Line;
  while (std::getline(In, Line)) {
    if (!Line.empty() && Line.back() == '\r')
      Line.pop_back();
    const size_t Eq = Line.find('=');
    if (Eq != std::string::npos)
      S[Line.substr(0, Eq)] = Line.substr(Eq + 1);
  }
  return S;
}

bool Has(const std::string &Key) { return Settings().count(Key) > 0; }

std::string Get(const std::string &Key, const std::string &Default = "") {
  auto S = Settings();
  auto It = S.find(Key);
  return It == S.end() ? Default : It->second;
}

int GetInt(const std::string &Key, int Default) {
  const std::string V = Get(Key);
  return V.empty() ? Default : std::atoi(V.c_str());
}

std::vector<std::string> GetList(const std::string &Key) {
  std::vector<std::string> Items;
  std::stringstream In(Get(Key));
  std::string Item;
  while (std::getline(In, Item, ','))
    Items.push_back(Item);
  return Items;
}

bool Listed(const std::string &Key, const std::string &Entry) {
  for (const std::string &Item : GetList(Key))
    if (Item == Entry)
      return true;
  return false;
}

void LogCall(const std::string &Line) {
  if (FILE *F = std::fopen((BasePath() + ".log").c_str(), "a")) {
    std::fprintf(F, "%s\n", Line.c_str());
    std::fclose(F);
  }
}

// Logs the call and raises when the settings say this entry fails.
void Enter(const std::string &Entry, const std::string &Args = "") {
  LogCall(Args.empty() ? Entry : Entry + " " + Args);
  if (Listed("Fail", Entry))
    throw std::runtime_error(Entry + " failed");
}

void Replace(std::string &Text, const std::string &Find, const std::string &With) {
  for (size_t P = Text.find(Find); P != std::string::npos; P = Text.find(Find, P + With.size()))
    Text.replace(P, Find.size(), With);
}

void WriteText(const char *Entry, const char *Key, char *Buffer, int32_t MaxLen) {
  Enter(Entry);
  if (Listed("Unterminated", Entry)) {
    std::memset(Buffer, 'x', static_cast<size_t>(MaxLen) + 1);
    return;
  }
  if (Has(Key))
    StrToBuffer(Buffer, Get(Key).c_str(), MaxLen);
}

void AddList(const char *Entry, const char *Key, TAddStringProc AddString, void *List) {
  Enter(Entry);
  for (const std::string &Item : GetList(Key))
    AddString(Item.c_str(), List);
}

__attribute__((constructor)) void Loaded() { LogCall("load"); }
__attribute__((destructor)) void Unloaded() { LogCall("unload"); }

}  // namespace

extern "C" {

TWL_EXPORT void GetSiteName(char *Buffer, int32_t MaxLen) { WriteText("GetSiteName", "SiteName", Buffer, MaxLen); }
TWL_EXPORT void GetSiteLocation(char *Buffer, int32_t MaxLen) {
  WriteText("GetSiteLocation", "SiteLocation", Buffer, MaxLen);
}
TWL_EXPORT void GetSiteCurrency(char *Buffer, int32_t MaxLen) {
  WriteText("GetSiteCurrency", "SiteCurrency", Buffer, MaxLen);
}
TWL_EXPORT void GetSiteURL(char *Buffer, int32_t MaxLen) { WriteText("GetSiteURL", "SiteURL", Buffer, MaxLen); }
#ifndef KV_TWL_NO_HOSTNAME
TWL_EXPORT void GetSiteHostName(char *Buffer, int32_t MaxLen) {
  WriteText("GetSiteHostName", "SiteHostName", Buffer, MaxLen);
}
#endif
TWL_EXPORT void GetSiteAdvert(char *Buffer, int32_t MaxLen) {
  WriteText("GetSiteAdvert", "SiteAdvert", Buffer, MaxLen);
}
TWL_EXPORT void GetSiteCategories(TAddStringProc AddString, void *List) {
  AddList("GetSiteCategories", "Categories", AddString, List);
}
TWL_EXPORT int32_t InterfaceVersion() {
  Enter("InterfaceVersion");
  return GetInt("InterfaceVersion", 4);
}
TWL_EXPORT void SetSearchStopped(int32_t Stopped) { Enter("SetSearchStopped", std::to_string(Stopped)); }

#ifndef KV_TWL_V1_ONLY
TWL_EXPORT void GetSiteFeatures(TAddStringProc AddString, void *List) {
  AddList("GetSiteFeatures", "Features", AddString, List);
}
TWL_EXPORT void GetSiteLanguage(char *Buffer, int32_t MaxLen) {
  WriteText("GetSiteLanguage", "SiteLanguage", Buffer, MaxLen);
}
TWL_EXPORT int16_t IsSiteCertified() {
  Enter("IsSiteCertified");
  return static_cast<int16_t>(GetInt("Certified", 0));
}
TWL_EXPORT uint8_t GetSiteSecurity() {
  Enter("GetSiteSecurity");
  return static_cast<uint8_t>(GetInt("Security", TWL_SEC_NONE));
}
TWL_EXPORT void SetSearchType(int32_t SearchType) { Enter("SetSearchType", std::to_string(SearchType & 0xFF)); }
TWL_EXPORT void SetSecurityDetails(const char *UserName, const char *Password) {
  Enter("SetSecurityDetails", std::string(UserName) + "|" + Password);
}
TWL_EXPORT void SetCustomerDetails(const char *Details) { Enter("SetCustomerDetails", Details); }
#endif

TWL_EXPORT int32_t GetSiteStatement(char *Statement, int32_t MaxLen, char *PostData, int32_t *PageState,
                                    char *NextURL, char *SearchText) {
  Enter("GetSiteStatement", "state=" + std::to_string(*PageState) + " next=" + NextURL + " search=" + SearchText +
                                " post=" + PostData);
  const int32_t Result = GetInt("StatementResult", 1);
  if (Result == 0)
    return 0;
  auto Expand = [&](std::string Text) {
    Replace(Text, "{search}", SearchText);
    Replace(Text, "{next}", NextURL);
    Replace(Text, "{state}", std::to_string(*PageState));
    Replace(Text, "{post}", PostData);
    return Text;
  };
  if (Listed("Unterminated", "GetSiteStatement")) {
    std::memset(Statement, 'x', static_cast<size_t>(MaxLen) + 1);
    std::memset(PostData, 'p', TWL_REQUEST_BUFFER_SIZE);
  } else {
    const std::string Line = Expand(Get("Statement", "GET /search?q={search}"));
    if (Has("PostData")) {
      const std::string Body = Expand(Get("PostData"));
      StrToBuffer(PostData, Body.c_str(), TWL_REQUEST_MAXLEN);
    }
    StrToBuffer(Statement, Line.c_str(), MaxLen);
  }
  if (Has("NextPageState"))
    *PageState = GetInt("NextPageState", 0);
  return Result;
}

#ifndef KV_TWL_NO_PROCESSPAGE
TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest, TAddProductProc AddProduct,
                               TAddMoreInfoProc AddMoreInfo, void *Context) {
  (void)Page;
  (void)NextRequest;
  (void)AddProduct;
  (void)AddMoreInfo;
  (void)Context;
  Enter("ProcessPage", std::to_string(PageState));
  return static_cast<int16_t>(GetInt("PageResult", TWL_PAGE_TERM_DONE));
}
#endif

}  // extern "C"
