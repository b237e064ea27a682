#include "client/settings/uUserDetails.h"

#include "client/uCatalogue.h"
#include "client/settings/uSettings.h"
#include "common/Common.h"
#include "platform/Registry.h"

using namespace kv;

namespace {
const char *const UserDetailsKey = "\\User Details";
}

void ReadUserDetails(std::string &CustomerID, std::string &Password) {
  try {
    TRegistry Reg;
    Reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!Reg.OpenKeyReadOnly(std::string(SettingsKey) + UserDetailsKey))
      return;
    CustomerID = DeCryptString(Reg.ReadString("CustomerID"));
    Password = DeCryptString(Reg.ReadString("Password"));
  } catch (const std::exception &) {
    CustomerID.clear();
    Password.clear();
  }
}

void WriteUserDetails(const std::string &CustomerID, const std::string &Password) {
  try {
    TRegistry Reg;
    Reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!Reg.OpenKey(std::string(SettingsKey) + UserDetailsKey, true))
      return;
    Reg.WriteString("CustomerID", CryptString(CustomerID));
    Reg.WriteString("Password", CryptString(Password));
  } catch (const std::exception &) {
  }
}

std::string GetCustomerID() {
  std::string CustomerID, Password;
  ReadUserDetails(CustomerID, Password);
  return CustomerID;
}

bool HasCustomerID() { return !GetCustomerID().empty(); }

void SetLibraryVersion(int Version) {
  TRegistry Reg;
  Reg.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!Reg.OpenKey(SettingsKey, true))
    throw ERegistryException(std::string("Failed to create key ") + SettingsKey);
  Reg.WriteInteger("Version", Version);
}

int CheckLibraryVersion() {
  int32_t Version = 0;
  Catalogue.GetVersionNumber(Version);
  int Stored = Version;
  {
    TRegistry Reg;
    Reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (Reg.OpenKeyReadOnly(SettingsKey)) {
      try {
        Stored = Reg.ReadInteger("Version");
      } catch (const std::exception &) {
        Stored = Version;
      }
    }
  }
  if (Stored < Version) {
    SetLibraryVersion(Version);
    Stored = Version;
  }
  return Stored;
}

namespace {
void WriteFlagDown(const char *Value) {
  try {
    TRegistry Reg;
    Reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (Reg.OpenKey(SettingsKey, true))
      Reg.WriteString("FlagDown", Value);
  } catch (const std::exception &) {
  }
}
}  // namespace

void SetDownloadStarted() { WriteFlagDown("StartDown"); }
void SetDownloadEnded() { WriteFlagDown("EndDown"); }

std::string CustomerDetailsText(const std::string &CustomerID, const std::string &Password) {
  return "<CUSTOMER_ID>" + CustomerID + "</CUSTOMER_ID>" + "<CUSTOMER_PW>" + Password + "</CUSTOMER_PW>";
}
