#pragma once
// One site library ("LIB\SHOP.TWL") and what the catalogue knows about it
// without loading it, kept in the ".TWI" cache file beside the library and
// trusted while its FileDate equals the library's file stamp.
//
// States: described and not loaded (FLoaded false), loaded with no use
// (FUseCount 0), loaded with uses. The first load in a run asks the library to
// describe itself again and rewrites the cache.
#include <cstdint>
#include <string>

#include "platform/DynLoad.h"
#include "platform/StringList.h"
#include "sites/twl_abi.h"

namespace kv {

class TMemIniFile;

// Appends Text to List unless an entry equals it ignoring letter case. The
// callback of that name handed to site libraries accepts only the list of the
// describing call under way.
void AddUniqueString(const std::string &Text, TStrings &List);

class TTWLStore {
public:
  // Fills the description from the cache, or else from the library (which is
  // loaded, asked and unloaded again).
  explicit TTWLStore(const std::string &LibraryName);
  ~TTWLStore();
  TTWLStore(const TTWLStore &) = delete;
  TTWLStore &operator=(const TTWLStore &) = delete;

  bool LoadLibrary();
  // Gives back one use; true when this call unloaded the library.
  bool Release();
  // Frees the library, leaving the fields; only right before destruction.
  void UnloadLibrary();
  // Loads when needed and takes one use, also when the library has no
  // ProcessPage (nullptr then); a library that cannot be loaded takes none.
  TProcessPageProc GetProcessPage();

  // Forwarders: load when needed, call the entry when present, take no use.
  void SetSearchStopped(int32_t Stopped);
  void SetSearchType(uint8_t SearchType);
  void SetCustomerDetails(const std::string &Details);
  // 0 when the library makes no statement (or has no GetSiteStatement).
  int32_t GetStatement(char *Statement, int32_t MaxLen, char *PostData, int32_t &PageState, char *NextURL,
                       char *SearchText);

  // The site login; with Send also handed to a library of version 3 or later.
  void GetSecurityDetails(bool Send, std::string &UserName, std::string &Password);
  // Stores the login in the cache; raises "Unable to write to %s".
  void SetSecurityDetails(const std::string &UserName, const std::string &Password);

  bool HasCategory(const std::string &Name) const;
  bool HasFeature(const std::string &Name) const;

  // Asks the library's descriptive entries and rewrites the cache.
  void FetchDetails();
  // Rewrites the "SiteDetails" section; raises "Unable to write to %s".
  void WriteCache();

  std::string CacheFileName() const;

  bool FDetailsFetched = false;
  int32_t FUseCount = 0;
  HMODULE FHandle = nullptr;
  TTWLSetSearchStoppedProc FSetSearchStopped = nullptr;
  bool FValid = false;
  bool FLoaded = false;
  std::string FSiteName;
  std::string FSiteAdvert;
  bool FHasAdvert = false;
  std::string FSiteCurrency;
  std::string FSiteLocation;
  std::string FSiteURL;
  std::string FSiteHostName;
  TStringList FCategories;
  TStringList FFeatures;
  int32_t FInterfaceVersion = -1;
  std::string FLibraryName;
  std::string FSiteLanguage = "EN English";
  bool FCertified = false;
  uint8_t FSecurity = TWL_SEC_NONE;

private:
  void ReadCache(const TMemIniFile &Ini);
  void *Entry(const char *Name) const;
  std::string DetailsSection() const { return "SiteDetails" + FLibraryName; }
  std::string SecuritySection() const { return "SiteSecurityDetails" + FLibraryName; }
};

}  // namespace kv
