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

// Many writes as one: while a batch is open, every change made through any
// registry object on this thread goes to a private copy of the registry that
// reads on this thread see too, and Commit makes them all again on the file as
// it is then, in one atomic write under the lock. A batch that ends without
// Commit (an exception on the way) writes nothing. Batches nest; only the
// outermost one writes.
class TRegistryBatch {
public:
  TRegistryBatch();
  ~TRegistryBatch();
  TRegistryBatch(const TRegistryBatch &) = delete;
  TRegistryBatch &operator=(const TRegistryBatch &) = delete;
  // Raises ERegistryException when the file cannot be written; nothing of the
  // batch is then stored. The batch is closed afterwards either way.
  void Commit();

private:
  void *FState = nullptr;  // set only for the outermost batch
  bool FOpen = true;
};

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
  std::string CurrentPath() const { return HasCurrentKey() ? FCurrentPath : std::string(); }
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

// The class library's INI-style view of a key: a "section" is a subkey of the
// key opened at creation (it may hold "\"; "" is the key itself), an "ident" a
// string value in it. Numbers and flags are stored as text; a text of more
// than two characters starting "0x" reads as hexadecimal, one that is no
// number gives the default. A value of another type fails the read with
// "Invalid data type for '%s'"; a section that cannot be created fails a write
// with "Failed to create key %s".
class TRegIniFile : public TRegistry {
public:
  explicit TRegIniFile(const std::string &FileName, HKEY Root = HKEY_CURRENT_USER);
  const std::string &FileName() const { return FFileName; }

  using TRegistry::DeleteKey;
  using TRegistry::ReadBool;
  using TRegistry::ReadInteger;
  using TRegistry::ReadString;
  using TRegistry::WriteBool;
  using TRegistry::WriteInteger;
  using TRegistry::WriteString;
  std::string ReadString(const std::string &Section, const std::string &Ident, const std::string &Default);
  void WriteString(const std::string &Section, const std::string &Ident, const std::string &Value);
  int ReadInteger(const std::string &Section, const std::string &Ident, int Default);
  void WriteInteger(const std::string &Section, const std::string &Ident, int Value);
  bool ReadBool(const std::string &Section, const std::string &Ident, bool Default);
  void WriteBool(const std::string &Section, const std::string &Ident, bool Value);  // "1"/"0"
  void ReadSection(const std::string &Section, TStrings &Idents);
  void ReadSections(TStrings &Sections);
  void ReadSectionValues(const std::string &Section, TStrings &Lines);  // "ident=value"
  void EraseSection(const std::string &Section);
  void DeleteKey(const std::string &Section, const std::string &Ident);

private:
  bool OpenSection(TRegistry &Sub, const std::string &Section, bool Create);
  std::string FFileName;
};

}  // namespace kv
