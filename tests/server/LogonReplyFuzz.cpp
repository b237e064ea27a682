// The logon reply parser on arbitrary server replies: it never raises, and
// what it returns keeps its bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/server/uServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string Reply(reinterpret_cast<const char *>(Data), Size);
  const TLogonReply r = ParseLogonReply(Reply);
  if (r.Snippet.size() > 128 || r.Snippet.size() > Reply.size())
    std::abort();
  if (r.Outcome != loAccepted && (!r.Features.empty() || r.ServerMaxResults != DefaultServerMaxResults))
    std::abort();
  if (r.Outcome == loAccepted && !r.Snippet.empty())
    std::abort();
  return 0;
}
