#include "catalogue/TWLStore.h"

#include <cstring>
#include <memory>

#include "common/Common.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

namespace kv {

namespace {

// The login every library whose file name holds "IHS" gets; it is the
// client's own fixed credential.
const char *const BuiltInUserName = "kex";
const char *const BuiltInPassword = "58tor41w";

// The 51-byte login buffers hold 50 characters.
constexpr size_t LoginMax = TWL_LOGIN_BUFFER_SIZE - 1;

void ReadList(const TMemIniFile &Ini, const std::string &Section, const std::string &Key, TStrings &List) {
  List.Clear();
  for (int N = 0;; ++N) {
    const std::string Value = Ini.ReadString(Section, Key + IntToStr(N), "");
    if (Value.empty())
      break;
    List.Add(Value);
  }
}

void TitleCase(TStrings &List) {
  for (int I = 0; I < List.Count(); ++I)
    List.Put(I, InitCaps(List.Get(I)));
}

// The cache file holds the site's login beside its details: private to the
// user, however it was created.
constexpr int CacheFileMode = 0600;

[[noreturn]] void CannotWrite(const std::string &FileName) {
  throw Exception(Format("Unable to write to %s", FileName.c_str()));
}

// The list handed to the library's describing call under way, and whether
// a call of the callback failed meanwhile. Nothing else is taken for a list:
// a stray pointer would be written through.
TStrings *ListHandedOut = nullptr;
bool ListCallFailed = false;

// The string-adding callback handed to site libraries. It runs inside the
// library's code, so it records a failure rather than raising through it.
void AddUniqueString(const char *Text, void *List) {
  if (!ListHandedOut)
    return;  // no describing call under way: a late call from a kept pointer
  if (List != ListHandedOut) {
    ListCallFailed = true;
    return;
  }
  // An empty entry would end the list when the cache is read back.
  if (!Text || !*Text)
    return;
  try {
    kv::AddUniqueString(std::string(Text, strnlen(Text, TWL_REQUEST_BUFFER_SIZE)), *ListHandedOut);
  } catch (...) {
    ListCallFailed = true;
  }
}

// One describing call that fills List through the callback; any other pointer
// the library passes fails the description.
void AskForList(TTWLGetListProc Proc, TStrings &List, const char *Name) {
  struct THandOut {
    explicit THandOut(TStrings &L) {
      ListHandedOut = &L;
      ListCallFailed = false;
    }
    ~THandOut() { ListHandedOut = nullptr; }
  } HandOut(List);
  Proc(AddUniqueString, &List);
  if (ListCallFailed)
    throw Exception(Format("%s: the list callback failed or was handed a pointer it had not given", Name));
}

}  // namespace

void AddUniqueString(const std::string &Text, TStrings &List) {
  const std::string Upper = UpperCase(Text);
  for (int I = 0; I < List.Count(); ++I)
    if (UpperCase(List.Get(I)) == Upper)
      return;
  List.Add(Text);
}

TTWLStore::TTWLStore(const std::string &LibraryName) : FLibraryName(LibraryName) {
  const int32_t Stamp = FileAge(FLibraryName);
  // The cache is read once for the stamp and the description alike.
  std::unique_ptr<TMemIniFile> Ini;
  int32_t Cached = 0;
  try {
    Ini = std::make_unique<TMemIniFile>(CacheFileName());
    Cached = Ini->ReadInteger(DetailsSection(), "FileDate", 0);
  } catch (const std::exception &) {
    Cached = 0;  // an unreadable cache is a missing one
  }
  // -1: the file is gone; no section may vouch for it.
  if (Ini && Stamp != -1 && Stamp == Cached) {
    ReadCache(*Ini);
  } else {
    LoadLibrary();
    Release();
  }
}

TTWLStore::~TTWLStore() = default;

std::string TTWLStore::CacheFileName() const { return ChangeFileExt(FLibraryName, ".TWI"); }

void TTWLStore::ReadCache(const TMemIniFile &Ini) {
  const std::string S = DetailsSection();
  FValid = true;
  FSiteName = Ini.ReadString(S, "SiteName", "");
  FSiteLocation = Ini.ReadString(S, "SiteLocation", "");
  FSiteCurrency = Ini.ReadString(S, "SiteCurrency", "");
  FSiteURL = Ini.ReadString(S, "SiteURL", "");
  FSiteHostName = Ini.ReadString(S, "SiteHostName", "");
  FSiteAdvert = DeCryptString(Ini.ReadString(S, "SiteID", ""));
  FSiteLanguage = Ini.ReadString(S, "SiteLanguage", "EN English");
  FCertified = Ini.ReadBool(S, "SiteCertified", true);
  FSecurity = static_cast<uint8_t>(Ini.ReadInteger(S, "SiteSecurity", 0) & 0xFF);
  if (!FSiteAdvert.empty())
    FHasAdvert = true;
  ReadList(Ini, S, "SiteCategory", FCategories);
  TitleCase(FCategories);
  ReadList(Ini, S, "SiteFeature", FFeatures);
  FInterfaceVersion = Ini.ReadInteger(S, "InterfaceVersion", 0);
}

bool TTWLStore::LoadLibrary() {
  if (!FLoaded) {
    FHandle = kv::LoadLibrary(FLibraryName);
    // Every accepted library is told again after each later acceptance:
    // look this entry up once per load, not once per call.
    FSetSearchStopped = FHandle ? reinterpret_cast<TTWLSetSearchStoppedProc>(Entry(TWL_SetSearchStopped)) : nullptr;
  }
  FLoaded = FHandle != nullptr;
  if (FLoaded && !FDetailsFetched) {
    FDetailsFetched = true;
    FetchDetails();
  }
  return FLoaded;
}

bool TTWLStore::Release() {
  if (!FLoaded)
    return false;
  --FUseCount;
  if (FUseCount > 0)
    return false;
  FreeLibrary(FHandle);
  FUseCount = 0;
  FHandle = nullptr;
  FSetSearchStopped = nullptr;
  FLoaded = false;
  return true;
}

void TTWLStore::UnloadLibrary() {
  if (FHandle)
    FreeLibrary(FHandle);
  FHandle = nullptr;
  FSetSearchStopped = nullptr;
  FLoaded = false;
  FUseCount = 0;
}

void *TTWLStore::Entry(const char *Name) const { return FHandle ? GetProcAddress(FHandle, Name) : nullptr; }

TProcessPageProc TTWLStore::GetProcessPage() {
  if (!FLoaded)
    LoadLibrary();
  if (!FLoaded)
    return nullptr;
  auto Proc = reinterpret_cast<TProcessPageProc>(Entry(TWL_ProcessPage));
  ++FUseCount;
  return Proc;
}

void TTWLStore::SetSearchStopped(int32_t Stopped) {
  if (!FLoaded)
    LoadLibrary();
  if (FLoaded && FSetSearchStopped)
    FSetSearchStopped(Stopped);
}

void TTWLStore::SetSearchType(uint8_t SearchType) {
  if (!FLoaded)
    LoadLibrary();
  if (auto Proc = reinterpret_cast<TTWLSetSearchTypeProc>(Entry(TWL_SetSearchType)))
    Proc(SearchType);
}

void TTWLStore::SetCustomerDetails(const std::string &Details) {
  if (!FLoaded)
    LoadLibrary();
  if (auto Proc = reinterpret_cast<TTWLSetCustomerDetailsProc>(Entry(TWL_SetCustomerDetails)))
    Proc(Details.c_str());
}

int32_t TTWLStore::GetStatement(char *Statement, int32_t MaxLen, char *PostData, int32_t &PageState,
                                char *NextURL, char *SearchText) {
  if (!FLoaded)
    LoadLibrary();
  auto Proc = reinterpret_cast<TTWLGetSiteStatementProc>(Entry(TWL_GetSiteStatement));
  if (!Proc)
    return 0;
  return Proc(Statement, MaxLen, PostData, &PageState, NextURL, SearchText);
}

void TTWLStore::GetSecurityDetails(bool Send, std::string &UserName, std::string &Password) {
  if (Pos("IHS", UpperCase(FLibraryName)) > 0) {
    UserName = BuiltInUserName;
    Password = BuiltInPassword;
  } else {
    TIniFile Ini(CacheFileName());
    UserName = DeCryptString(Ini.ReadString(SecuritySection(), "SiteUserName", ""));
    Password = DeCryptString(Ini.ReadString(SecuritySection(), "SitePassword", ""));
  }
  if (!Send)
    return;
  if (!FLoaded)
    LoadLibrary();
  if (!FLoaded || FInterfaceVersion <= 2)
    return;
  auto Proc = reinterpret_cast<TTWLSetSecurityDetailsProc>(Entry(TWL_SetSecurityDetails));
  if (!Proc)
    return;
  char UserBuffer[TWL_LOGIN_BUFFER_SIZE];
  char PasswordBuffer[TWL_LOGIN_BUFFER_SIZE];
  const std::string U = UserName.substr(0, LoginMax);
  const std::string P = Password.substr(0, LoginMax);
  std::memcpy(UserBuffer, U.c_str(), U.size() + 1);
  std::memcpy(PasswordBuffer, P.c_str(), P.size() + 1);
  Proc(UserBuffer, PasswordBuffer);
}

void TTWLStore::SetSecurityDetails(const std::string &UserName, const std::string &Password) {
  try {
    TIniFile Ini(CacheFileName(), CacheFileMode);
    Ini.WriteString(SecuritySection(), "SiteUserName", CryptString(UserName));
    Ini.WriteString(SecuritySection(), "SitePassword", CryptString(Password));
  } catch (const EInOutError &) {
    CannotWrite(CacheFileName());
  }
}

bool TTWLStore::HasCategory(const std::string &Name) const { return FCategories.IndexOf(Name) >= 0; }

bool TTWLStore::HasFeature(const std::string &Name) const { return FFeatures.IndexOf(Name) >= 0; }

void TTWLStore::FetchDetails() {
  if (!FHandle)
    return;
  FValid = true;
  try {
    auto Required = [this](const char *Name) {
      void *Proc = Entry(Name);
      if (!Proc)
        throw Exception(Format("%s lacks %s", FLibraryName.c_str(), Name));
      return Proc;
    };
    char Buffer[TWL_TEXT_BUFFER_SIZE];
    // Cleared before every call, so a library that writes nothing gives an
    // empty text rather than the previous answer.
    auto Text = [&](const char *Name) {
      auto Proc = reinterpret_cast<TTWLGetTextProc>(Required(Name));
      std::memset(Buffer, 0, sizeof Buffer);
      Proc(Buffer, TWL_TEXT_MAXLEN);
      return std::string(Buffer, strnlen(Buffer, sizeof Buffer));
    };
    FSiteName = Text(TWL_GetSiteName);
    FSiteLocation = Text(TWL_GetSiteLocation);
    FSiteCurrency = Text(TWL_GetSiteCurrency);
    FSiteURL = Text(TWL_GetSiteURL);
    FSiteHostName = Text(TWL_GetSiteHostName);
    FSiteAdvert = Text(TWL_GetSiteAdvert);
    if (!FSiteAdvert.empty())
      FHasAdvert = true;

    FCategories.Clear();
    AskForList(reinterpret_cast<TTWLGetListProc>(Required(TWL_GetSiteCategories)), FCategories,
               TWL_GetSiteCategories);
    TitleCase(FCategories);
    FFeatures.Clear();
    if (auto Proc = reinterpret_cast<TTWLGetListProc>(Entry(TWL_GetSiteFeatures)))
      AskForList(Proc, FFeatures, TWL_GetSiteFeatures);

    FInterfaceVersion = reinterpret_cast<TTWLInterfaceVersionProc>(Required(TWL_InterfaceVersion))();
    if (FInterfaceVersion > 1) {
      FSiteLanguage = Text(TWL_GetSiteLanguage);
      if (auto Proc = reinterpret_cast<TTWLIsSiteCertifiedProc>(Entry(TWL_IsSiteCertified)))
        FCertified = Proc() != 0;
    }
    if (FInterfaceVersion > 2)
      if (auto Proc = reinterpret_cast<TTWLGetSiteSecurityProc>(Entry(TWL_GetSiteSecurity)))
        FSecurity = Proc();
  } catch (...) {
    FValid = false;
    return;
  }
  // A cache that cannot be written (a read-only folder) costs only a slower
  // start next time; the library itself is good.
  try {
    WriteCache();
  } catch (...) {
  }
}

void TTWLStore::WriteCache() {
  const std::string S = DetailsSection();
  try {
    // One write of the whole section, and none when the file already holds
    // it (a library described again at its first load in a run): a section
    // cut short never reaches the file.
    TMemIniFile Ini(CacheFileName(), CacheFileMode);
    Ini.EraseSection(S);
    Ini.WriteInteger(S, "FileDate", FileAge(FLibraryName));
    Ini.WriteString(S, "SiteName", FSiteName);
    Ini.WriteString(S, "SiteLocation", FSiteLocation);
    Ini.WriteString(S, "SiteCurrency", FSiteCurrency);
    Ini.WriteString(S, "SiteURL", FSiteURL);
    Ini.WriteString(S, "SiteHostName", FSiteHostName);
    Ini.WriteString(S, "SiteID", CryptString(FSiteAdvert));
    Ini.WriteString(S, "SiteLanguage", FSiteLanguage);
    Ini.WriteBool(S, "SiteCertified", FCertified);
    Ini.WriteInteger(S, "SiteSecurity", FSecurity);
    for (int I = 0; I < FCategories.Count(); ++I)
      Ini.WriteString(S, "SiteCategory" + IntToStr(I), FCategories.Get(I));
    for (int I = 0; I < FFeatures.Count(); ++I)
      Ini.WriteString(S, "SiteFeature" + IntToStr(I), FFeatures.Get(I));
    Ini.WriteInteger(S, "InterfaceVersion", FInterfaceVersion);
    Ini.UpdateFile();
  } catch (const EInOutError &) {
    CannotWrite(CacheFileName());
  }
}

}  // namespace kv
