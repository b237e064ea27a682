// The update page reader on arbitrary replies: it never raises, every file it
// offers and the message it shows come from the page itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/server/UDown.h"
#include "client/uTextUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string Reply(reinterpret_cast<const char *>(Data), Size);
  const std::string Decoded = DecodeHtmlEntities(Reply);
  const TUpdatePage Page = ParseUpdatePage(Reply);
  if (!Page.HasTables && (!Page.Rows.empty() || !Page.Messages.empty()))
    std::abort();
  for (const int Installed : {0, 3003}) {
    const TUpdateOffer Offer = ChooseUpdate(Page, Installed);
    if (Offer.Newest < Installed || Offer.URLs.size() > Page.Rows.size())
      std::abort();
    if ((Offer.Newest == Installed) != Offer.URLs.empty())
      std::abort();
    for (const std::string &URL : Offer.URLs)
      if (Decoded.find(URL) == std::string::npos)
        std::abort();
    // Line breaks only ever shorten the text.
    if (Offer.MessageText.size() > Decoded.size())
      std::abort();
  }
  return 0;
}
