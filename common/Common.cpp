// Common's shared enumerations, entity tables, buffer routines and log writer.
#include "common/Common.h"
#include "common/Entities.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <unistd.h>

#include "platform/Paths.h"
#include "platform/SysUtils.h"

namespace {
const char *const kSecurityTypeNames[] = {"secNone", "secParams", "secBasic"};
const char *const kSearchTypeNames[] = {"srchPartNo", "srchDescription"};
const char *const kFilterTypeNames[] = {"fltrNone", "fltrExact", "fltrPartial", "fltrStartsWith"};
const char *const kFileGroupNames[] = {"fgAdverts", "fgUpdate"};
const char *const kBrowserLinkNames[] = {"browDefault", "browDirect", "browOle"};

template <size_t N> constexpr int CountOf(const char *const (&)[N]) { return static_cast<int>(N); }
}  // namespace

const TEnumInfo TypeInfo_TSecurityType = {"TSecurityType", CountOf(kSecurityTypeNames), kSecurityTypeNames};
const TEnumInfo TypeInfo_TSearchType = {"TSearchType", CountOf(kSearchTypeNames), kSearchTypeNames};
const TEnumInfo TypeInfo_TFilterType = {"TFilterType", CountOf(kFilterTypeNames), kFilterTypeNames};
const TEnumInfo TypeInfo_TFileGroup = {"TFileGroup", CountOf(kFileGroupNames), kFileGroupNames};
const TEnumInfo TypeInfo_TBrowserLink = {"TBrowserLink", CountOf(kBrowserLinkNames), kBrowserLinkNames};

const char *GetEnumName(const TEnumInfo &Info, int Ordinal) {
  return (Ordinal >= 0 && Ordinal < Info.Count) ? Info.Names[Ordinal] : "";
}

int GetEnumValue(const TEnumInfo &Info, const std::string &Name) {
  for (int i = 0; i < Info.Count; ++i)
    if (kv::SameText(Info.Names[i], Name))
      return i;
  return -1;
}

namespace {
// The entity pairs, in the order they are applied. ReplaceEnumeratedChars
// reads this constant table, so it works even from another file's static
// initialisation, before spcReplace and spcWith are built.
constexpr std::string_view kEntities[9][2] = {
    {"&lt;", "<"}, {"&gt;", ">"},    {"&amp;", "&"}, {"&quot;", "\""}, {"&copy;", "\xA9"},
    {"&#44;", ","}, {"\r", ""}, {"\n", " "}, {"\t", " "},
};

TEntityTable EntityColumn(int Column) {
  TEntityTable t;
  for (size_t i = 0; i < t.size(); ++i)
    t[i] = std::string(kEntities[i][Column]);
  return t;
}
}  // namespace

const TEntityTable spcReplace = EntityColumn(0);
const TEntityTable spcWith = EntityColumn(1);
const TArrayInfo TypeInfo_TEntityTable = {"TEntityTable", 9, "string"};

std::string ReplaceEnumeratedChars(const std::string &Text) {
  kv::YieldProcessor();
  return DecodeEntities(Text);
}

std::string DecodeEntities(const std::string &Text) {
  // In a text without the first character of any entity nothing matches,
  // so nothing is replaced: most offer texts.
  static const std::string Firsts = [] {
    std::string f;
    for (const auto &pair : kEntities)
      if (f.find(pair[0][0]) == std::string::npos)
        f += pair[0][0];
    return f;
  }();
  if (Text.find_first_of(Firsts) == std::string::npos)
    return Text;
  std::string r = Text;
  for (const auto &pair : kEntities)
    ReplaceStrings(r, std::string(pair[0]), std::string(pair[1]));
  return r;
}

char *strTrim(char *S) {
  if (!S)
    return S;
  const size_t n = std::strlen(S);
  size_t b = 0, e = n;
  while (b < e && S[b] == ' ')
    ++b;
  while (e > b && S[e - 1] == ' ')
    --e;
  std::memmove(S, S + b, e - b);
  S[e - b] = '\0';
  return S;
}

int StrToBuffer(char *Dest, const char *Source, int Size) {
  if (Size < 0 || !Dest)
    return 0;
  const size_t len = Source ? strnlen(Source, static_cast<size_t>(Size)) : 0;
  std::memcpy(Dest, Source, len);
  Dest[len] = '\0';
  return len < static_cast<size_t>(Size) ? static_cast<int>(len) : static_cast<int>(len) + 1;
}

void Log(const std::string &Text) noexcept {
  try {
    // Appended as a save would find the file: a link planted in a shared
    // folder is not followed, and a FIFO not opened.
    const int fd = kv::OpenForSave("c:\\temp\\log.txt", O_WRONLY | O_APPEND, 0644);
    if (fd < 0)
      return;  // the folder is missing, or the file refused: the line is dropped
    // A Windows text file, as the other files on the "c:" drive.
    const std::string line = Text + "\r\n";
    size_t off = 0;
    while (off < line.size()) {
      const ssize_t n = write(fd, line.data() + off, line.size() - off);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        break;
      off += static_cast<size_t>(n);
    }
    close(fd);
  } catch (...) {
  }
}
