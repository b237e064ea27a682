#pragma once
// The registry stand-in: one file ($KORVANDEL_REGISTRY, else
// $XDG_CONFIG_HOME/korvandel/registry), mode 0600, holding the hives
// HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE. Key and value
// names are case-insensitive and case-preserving; a value name may contain "\"
// and is never split. Values are typed. Every write is atomic under an
// advisory lock; every read sees the latest complete file.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/StringList.h"
#include "platform/SysUtils.h"

namespace kv {

using HKEY = uint32_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

enum TRegDataType : unsigned char { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

// "Invalid data type for '%s'", "Failed to get data for '%s'",
// "Failed to set data for '%s'", and a damaged file.
class __attribute__((visibility("default"))) ERegistryException : public Exception {
public:
  using Exception::Exception;
  ~ERegistryException() override;
};

// The file in use now: $KORVANDEL_REGISTRY, else the default above.
std::string RegistryFileName();

// Shaped like the class library's registry object.
class TRegistry {
public:
  TRegistry();  // RootKey HKEY_CURRENT_USER, full access
  ~TRegistry();
  TRegistry(const TRegistry &) = delete;
  TRegistry &operator=(const TRegistry &) = delete;

  HKEY RootKey = HKEY_CURRENT_USER;  // assigning it closes the current key
  void SetRootKey(HKEY Root);
  // The open key's path below the root, without a leading "\"; empty when none.
  std::string CurrentPath() const { return FCurrentPath; }
  bool HasCurrentKey() const { return FOpen && FOpenRoot == RootKey; }

  // Key is relative to the open key, or to the root when it starts with "\" or
  // no key is open.
  bool OpenKey(const std::string &Key, bool CanCreate);
  // Never needs write access; false when the key does not exist.
  bool OpenKeyReadOnly(const std::string &Key);
  void CloseKey();
  bool CreateKey(const std::string &Key);
  bool DeleteKey(const std::string &Key);  // with everything below it
  bool KeyExists(const std::string &Key);
  bool HasSubKeys();
  void GetKeyNames(TStrings &Strings);
  void GetValueNames(TStrings &Strings);

  // The empty name is the key's default value.
  bool ValueExists(const std::string &Name);
  bool DeleteValue(const std::string &Name);
  TRegDataType GetDataType(const std::string &Name);
  int GetDataSize(const std::string &Name);  // -1 when missing

  std::string ReadString(const std::string &Name);  // "" when missing
  void WriteString(const std::string &Name, const std::string &Value);
  void WriteExpandString(const std::string &Name, const std::string &Value);
  int ReadInteger(const std::string &Name);  // DWORD
  void WriteInteger(const std::string &Name, int Value);
  bool ReadBool(const std::string &Name);  // an integer, non-zero = true
  void WriteBool(const std::string &Name, bool Value);
  double ReadFloat(const std::string &Name);  // 8 bytes of binary data
  void WriteFloat(const std::string &Name, double Value);
  // Returns the number of bytes copied; raises when the value is not binary or
  // larger than BufSize.
  int ReadBinaryData(const std::string &Name, void *Buffer, int BufSize);
  void WriteBinaryData(const std::string &Name, const void *Buffer, int BufSize);

private:
  std::string FullPath(const std::string &Key) const;
  bool GetValue(const std::string &Name, TRegDataType &Type, std::string &Data);
  void PutValue(const std::string &Name, TRegDataType Type, const std::string &Data);
  bool FOpen = false;
  HKEY FOpenRoot = 0;
  bool FReadOnly = false;
  std::string FCurrentPath;
};

}  // namespace kv
