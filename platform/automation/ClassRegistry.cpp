#include "platform/automation/ClassRegistry.h"

#include "platform/Paths.h"
#include "platform/Registry.h"

namespace kv {

namespace {

// The standard marshaller of dual interfaces.
constexpr char DispatchProxyStub[] = "{00020424-0000-0000-C000-000000000046}";

void SetDefault(TRegistry &R, const std::string &Key, const std::string &Value) {
  if (!R.OpenKey("\\" + Key, true))
    throw ERegistryException("Failed to create key " + Key);
  R.WriteString("", Value);
  R.CloseKey();
}

void SetValue(TRegistry &R, const std::string &Key, const std::string &Name, const std::string &Value) {
  if (!R.OpenKey("\\" + Key, true))
    throw ERegistryException("Failed to create key " + Key);
  R.WriteString(Name, Value);
  R.CloseKey();
}

void DeleteIfEmpty(TRegistry &R, const std::string &Key) {
  if (!R.OpenKeyReadOnly("\\" + Key))
    return;
  TStringList Values;
  R.GetValueNames(Values);
  const bool Empty = !R.HasSubKeys() && Values.Count() == 0;
  R.CloseKey();
  if (Empty)
    R.DeleteKey("\\" + Key);
}

}  // namespace

bool RegisterClassKeys(const TClassInfo &I) {
  try {
    // One write, which fails as a whole when the file cannot be written.
    TRegistryBatch Batch;
    TRegistry R;
    R.SetRootKey(HKEY_CLASSES_ROOT);
    SetDefault(R, I.ProgID, I.ClassName);
    SetDefault(R, I.ProgID + "\\Clsid", I.CLSID);
    const std::string C = "CLSID\\" + I.CLSID;
    SetDefault(R, C, I.ClassName);
    SetDefault(R, C + "\\LocalServer32", I.ServerPath);
    SetDefault(R, C + "\\ProgID", I.ProgID);
    SetDefault(R, C + "\\TypeLib", I.LibID);
    SetDefault(R, C + "\\Version", I.LibVersion);
    const std::string T = "TypeLib\\" + I.LibID + "\\" + I.LibVersion;
    SetDefault(R, T, I.LibHelp);
    SetDefault(R, T + "\\0\\win32", I.ServerPath);
    SetDefault(R, T + "\\FLAGS", "0");
    SetDefault(R, T + "\\HELPDIR", ExtractFileDir(I.ServerPath));
    const std::string F = "Interface\\" + I.IID;
    SetDefault(R, F, I.InterfaceName);
    SetDefault(R, F + "\\ProxyStubClsid32", DispatchProxyStub);
    SetDefault(R, F + "\\TypeLib", I.LibID);
    SetValue(R, F + "\\TypeLib", "Version", I.LibVersion);
    Batch.Commit();
    return true;
  } catch (const std::exception &) {
    return false;
  }
}

bool UnregisterClassKeys(const TClassInfo &I) {
  try {
    TRegistryBatch Batch;
    TRegistry R;
    R.SetRootKey(HKEY_CLASSES_ROOT);
    R.DeleteKey("\\" + I.ProgID);
    R.DeleteKey("\\CLSID\\" + I.CLSID);
    // Other versions of the library may stay registered.
    R.DeleteKey("\\TypeLib\\" + I.LibID + "\\" + I.LibVersion);
    DeleteIfEmpty(R, "TypeLib\\" + I.LibID);
    R.DeleteKey("\\Interface\\" + I.IID);
    for (const char *Container : {"CLSID", "TypeLib", "Interface"})
      DeleteIfEmpty(R, Container);
    Batch.Commit();
    return true;
  } catch (const std::exception &) {
    return false;
  }
}

bool FindLocalServer(const std::string &ProgID, std::string &CLSID, std::string &ServerPath) {
  try {
    TRegistry R;
    R.SetRootKey(HKEY_CLASSES_ROOT);
    if (ProgID.empty() || !R.OpenKeyReadOnly("\\" + ProgID + "\\Clsid"))
      return false;
    CLSID = R.ReadString("");
    R.CloseKey();
    if (CLSID.empty() || !R.OpenKeyReadOnly("\\CLSID\\" + CLSID + "\\LocalServer32"))
      return false;
    ServerPath = R.ReadString("");
    // A command line may quote the program's path.
    if (ServerPath.size() >= 2 && ServerPath.front() == '"') {
      const size_t End = ServerPath.find('"', 1);
      ServerPath = ServerPath.substr(1, End == std::string::npos ? std::string::npos : End - 1);
    }
    return !ServerPath.empty();
  } catch (const std::exception &) {
    return false;
  }
}

}  // namespace kv
