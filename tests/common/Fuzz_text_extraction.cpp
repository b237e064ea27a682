// The text extraction helpers on page text and delimiters taken from the
// input: first byte = length of the first delimiter, second byte = length of
// the second, then the delimiters, then the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/Common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  if (Size < 2)
    return 0;
  const size_t la = Data[0] % 8, lb = Data[1] % 8;
  if (Size < 2 + la + lb)
    return 0;
  const char *p = reinterpret_cast<const char *>(Data) + 2;
  const std::string a(p, la), b(p + la, lb), text(p + la + lb, Size - 2 - la - lb);

  const std::string between = GetTextBetween(text, a, b);
  if (between.size() > text.size())
    std::abort();
  const std::string stripped = GetTextNotInBrackets(a, b, text);
  if (stripped.size() > text.size())
    std::abort();
  std::string t = text;
  const std::string cell = ChopLineOut(t, a, b);
  if (cell.size() + t.size() > text.size())
    std::abort();
  t = text;
  const std::string tagged = ChopLineOutNotTags(t, a, b);
  if (tagged.size() > text.size() || t.size() > text.size())
    std::abort();
  t = text;
  ReplaceStrings(t, a, b);
  // A shorter replacement always runs to the end: nothing of Find is left.
  if (!a.empty() && b.size() < a.size() && t.find(a) != std::string::npos)
    std::abort();
  ReplaceEnumeratedChars(text);
  ExtractPriceFromString(text, a);
  ExtractParameter(a, text);
  StringContainsWholeWord(text, a);
  GetFileNameFromUrl(text);
  if (InitCaps(text).size() != text.size())
    std::abort();
  std::string first, second;
  int time;
  ParseAdvert(text, first, second, time);
  return 0;
}
