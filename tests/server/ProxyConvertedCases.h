#pragma once
// The stored forms of ProxyConverted, and whether each says that the proxy
// login is stored scrambled already. Both readers of the flag (the settings
// load and the proxy details of "Error Connecting") take the same table.
#include <ostream>
#include <string>

#include "platform/Registry.h"

namespace kvtest {

inline constexpr const char *SettingsKeyPath = "\\Software\\Ostrell Technologies\\Korvandel(tm)\\0.00\\Settings";

enum class TFlagKind { Missing, Text, Dword };

struct TConvertedRow {
  const char *Name;
  TFlagKind Kind;
  const char *TextValue;
  int DwordValue;
  bool Converted;
};

inline void PrintTo(const TConvertedRow &Row, std::ostream *Out) { *Out << Row.Name; }

inline const TConvertedRow ConvertedRows[] = {
    {"Missing", TFlagKind::Missing, "", 0, false},
    {"DwordOne", TFlagKind::Dword, "", 1, true},
    {"DwordZero", TFlagKind::Dword, "", 0, false},
    {"TextOne", TFlagKind::Text, "1", 0, true},
    {"TextSeven", TFlagKind::Text, "7", 0, true},
    {"TextHexadecimal", TFlagKind::Text, "0x10", 0, true},
    {"TextZero", TFlagKind::Text, "0", 0, false},
    {"TextNoNumber", TFlagKind::Text, "yes", 0, false},
    {"TextEmpty", TFlagKind::Text, "", 0, false},
};

// A plain login stored beside the row's flag.
inline void SeedProxyLogin(const TConvertedRow &Row, const std::string &User, const std::string &Password) {
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_LOCAL_MACHINE);
  Reg.OpenKey(SettingsKeyPath, true);
  Reg.WriteString("ProxyUserName", User);
  Reg.WriteString("ProxyPassword", Password);
  if (Row.Kind == TFlagKind::Text)
    Reg.WriteString("ProxyConverted", Row.TextValue);
  else if (Row.Kind == TFlagKind::Dword)
    Reg.WriteInteger("ProxyConverted", Row.DwordValue);
}

// A value of the settings key with its type: "dword:N", the text, or "<missing>".
inline std::string StoredSetting(const std::string &Name) {
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_LOCAL_MACHINE);
  if (!Reg.OpenKeyReadOnly(SettingsKeyPath) || !Reg.ValueExists(Name))
    return "<missing>";
  if (Reg.GetDataType(Name) == kv::rdInteger)
    return "dword:" + std::to_string(Reg.ReadInteger(Name));
  return Reg.ReadString(Name);
}

// The flag as the row stored it.
inline std::string StoredForm(const TConvertedRow &Row) {
  switch (Row.Kind) {
  case TFlagKind::Text: return Row.TextValue;
  case TFlagKind::Dword: return "dword:" + std::to_string(Row.DwordValue);
  default: return "<missing>";
  }
}

}  // namespace kvtest
