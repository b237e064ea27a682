#include "client/settings/uProxyLogin.h"

#include "common/Common.h"
#include "platform/Registry.h"

using namespace kv;

namespace {

constexpr const char *ProxySettingsKey = "\\Software\\Ostrell Technologies\\Korvandel(tm)\\0.00\\Settings";

bool ProxyLoginConverted(TRegistry &Reg) {
  try {
    switch (Reg.GetDataType("ProxyConverted")) {
    case rdInteger:
      return Reg.ReadInteger("ProxyConverted") != 0;
    case rdString:
    case rdExpandString:
      // Written as text by hand or by another tool: read as the settings
      // read a text flag, or the login would be scrambled a second time.
      return TRegIniFile(ProxySettingsKey, HKEY_LOCAL_MACHINE).ReadBool("", "ProxyConverted", false);
    default:
      return false;
    }
  } catch (const std::exception &) {
    return false;
  }
}

}  // namespace

void ConvertProxyLogin(TRegistry &Reg) {
  if (ProxyLoginConverted(Reg))
    return;
  try {
    const std::string user = CryptString(Reg.ReadString("ProxyUserName"));
    const std::string password = CryptString(Reg.ReadString("ProxyPassword"));
    Reg.WriteString("ProxyUserName", user);
    Reg.WriteString("ProxyPassword", password);
    Reg.WriteInteger("ProxyConverted", 1);
  } catch (const std::exception &) {
  }
}
