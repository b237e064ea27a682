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
    // Whatever the reply said, each line it left is a cookie of this shop's,
    // one the file takes, not yet expired, and no more of them than the bounds of its two
    // domains (the host and the one above it) hold.
    std::string Stored;
    if (kv::ReadFileToString(File, Stored)) {
      size_t Start = 0, Lines = 0;
      for (size_t End = Stored.find("\r\n"); End != std::string::npos; End = Stored.find("\r\n", Start)) {
        const kv::TCookie C = kv::ParseCookieLine(Stored.substr(Start, End - Start));
        if (C.Name.empty() || !kv::CookieDomainMatches(C.Domain, "www.shop.test") || !kv::CanStoreCookie(C))
          std::abort();
        // A cookie whose expiry has passed deletes; it is never stored.
        kv::TDateTime Expiry;
        if (C.Expires != kv::CookieNoExpiry &&
            (!kv::ParseCookieExpiry(C.Expires, Expiry) || Expiry < kv::NowUTC() - 1))
          std::abort();
        Start = End + 2;
        ++Lines;
      }
      if (Start != Stored.size() || Lines > 2 * kv::MaxCookiesPerDomain)
        std::abort();
    }
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
  // A cookie the file can hold reads back as it was written.
  if (kv::CanStoreCookie(C)) {
    const kv::TCookie Back = kv::ParseCookieLine(kv::CookieLine(C));
    if (Back.Name != C.Name || Back.Value != C.Value || Back.Expires != C.Expires || Back.Path != C.Path ||
        Back.Domain != C.Domain || Back.Secure != C.Secure || Back.Created != C.Created)
      std::abort();
  }
  return 0;
}
