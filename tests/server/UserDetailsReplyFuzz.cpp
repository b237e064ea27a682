// The user-details reply on arbitrary server replies, and the shortages form
// built from what it gives: nothing raises, the refusal and the empty body
// give no fields, and the form never carries more than its ten fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/server/uServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string Reply(reinterpret_cast<const char *>(Data), Size);
  const TUserDetailsReply R = ParseUserDetailsReply(Reply);
  if (R.Outcome != udFields && !R.Fields.empty())
    std::abort();
  if (R.Outcome == udFields && R.Fields.empty())
    std::abort();
  if (R.Outcome == udError && Reply.find("Error") == std::string::npos)
    std::abort();
  kv::TStringList Info;
  for (const std::string &F : R.Fields)
    Info.Add(F);
  const std::string Form = BuildShortagesForm(Info);
  size_t Fields = Form.empty() ? 0 : 1;
  for (char C : Form)
    Fields += C == '&';
  // Every value is encoded, so each "&" starts a field and nothing of a
  // reply breaks out of its value.
  if (Fields > 10 || Form.find_first_of("\r\n ") != std::string::npos)
    std::abort();
  return 0;
}
