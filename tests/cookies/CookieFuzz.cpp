// The cookie file's readers on arbitrary input: the reply as Set-Cookie
// headers, then the same bytes as the cookie file and as an expiry date.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "net/CookieFile.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "tests/support/FuzzScratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  static const std::string Dir = [] {
    std::string T = kvtest::MakeFuzzScratchDir("kvfuzz-cookie");
    setenv("KORVANDEL_WINDIR", T.c_str(), 1);
    return T;
  }();
  const std::string Text(reinterpret_cast<const char *>(Data), Size);
  const std::string File = Dir + "/COOKIE.TXT";
  std::filesystem::remove(File);
  try {
    kv::ParseSetCookies(Text, "www.shop.test");
    kv::GetCookieLine("www.shop.test");
    kv::WriteFileAtomic(File, Text);
    kv::CookieHostKnown("www.shop.test");
    const std::string Line = kv::GetCookieLine("shop.test");
    if (Line.rfind("Cookie: ", 0) != 0 && !Line.empty())
      std::abort();
  } catch (const kv::EInOutError &) {
  }
  kv::TDateTime T;
  kv::ParseCookieExpiry(Text, T);
  const kv::TCookie C = kv::ParseCookieLine(Text);
  // A cookie without tags in its fields reads back as it was written.
  if (C.Name.find('<') == std::string::npos && C.Value.find('<') == std::string::npos &&
      C.Expires.find('<') == std::string::npos && C.Path.find('<') == std::string::npos &&
      C.Domain.find('<') == std::string::npos && C.Secure.find('<') == std::string::npos) {
    const kv::TCookie Back = kv::ParseCookieLine(kv::CookieLine(C));
    if (Back.Name != C.Name || Back.Value != C.Value || Back.Expires != C.Expires || Back.Path != C.Path ||
        Back.Domain != C.Domain)
      std::abort();
  }
  return 0;
}
