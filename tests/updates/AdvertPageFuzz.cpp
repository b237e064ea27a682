// The advert page reader on arbitrary pages: it never raises, and the picture
// and click addresses it finds are stretches of the page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/server/uAdverts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string Page(reinterpret_cast<const char *>(Data), Size);
  std::string Click;
  const std::string Picture = ReadAdvertText(Page, Click);
  if (Picture.size() > Page.size() || Click.size() > Page.size())
    std::abort();
  if (!Picture.empty() && Page.find(Picture) == std::string::npos)
    std::abort();
  const std::string Whole = ExtractGifName(Page);
  if (!Whole.empty() && Page.find(Whole) == std::string::npos)
    std::abort();
  return 0;
}
