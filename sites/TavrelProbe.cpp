// A test-only site library: it reaches Common the way every site library does,
// through libTavrel.so, and reports which copy of Common it ran.
#include <string>

#include "common/Common.h"
#include "common/Tavrel.h"

#define PROBE_API extern "C" __attribute__((visibility("default")))

namespace {

struct TRoutine {
  const char *Name;
  const void *Address;
};

template <typename F> const void *Address(F *Function) { return reinterpret_cast<const void *>(Function); }

// What this library's references to the routines and tables resolved to.
const TRoutine kRoutines[] = {
    {"GetTextBetween", Address(&GetTextBetween)},
    {"GetTextNotInBrackets", Address(&GetTextNotInBrackets)},
    {"ChopLineOut", Address(&ChopLineOut)},
    {"ChopLineOutNotTags", Address(&ChopLineOutNotTags)},
    {"ReplaceStrings", Address(&ReplaceStrings)},
    {"ReplaceEnumeratedChars", Address(&ReplaceEnumeratedChars)},
    {"SpacePunctuation", Address(&SpacePunctuation)},
    {"StringContainsWholeWord", Address(&StringContainsWholeWord)},
    {"ExtractPriceFromString", Address(&ExtractPriceFromString)},
    {"ExtractParameter", Address(&ExtractParameter)},
    {"GetFileNameFromUrl", Address(&GetFileNameFromUrl)},
    {"InitCaps", Address(&InitCaps)},
    {"ConvertChar", Address(&ConvertChar)},
    {"ParseAdvert", Address(&ParseAdvert)},
    {"TranslateChar", Address(&TranslateChar)},
    {"UnixPathToDosPath", Address(&UnixPathToDosPath)},
    {"DosPathToUnixPath", Address(&DosPathToUnixPath)},
    {"strTrim", Address(&strTrim)},
    {"StrToBuffer", Address(&StrToBuffer)},
    {"Log", Address(&Log)},
    {"HTTPEncode", Address(&HTTPEncode)},
    {"HTTPDecode", Address(&HTTPDecode)},
    {"base64Encode", Address(&base64Encode)},
    {"CryptString", Address(&CryptString)},
    {"DeCryptString", Address(&DeCryptString)},
    {"GetEnumName", Address(&GetEnumName)},
    {"GetEnumValue", Address(&GetEnumValue)},
    {"spcReplace", &spcReplace},
    {"spcWith", &spcWith},
    {"TypeInfo_TEntityTable", &TypeInfo_TEntityTable},
    {"TypeInfo_TSecurityType", &TypeInfo_TSecurityType},
    {"TypeInfo_TSearchType", &TypeInfo_TSearchType},
    {"TypeInfo_TFilterType", &TypeInfo_TFilterType},
    {"TypeInfo_TFileGroup", &TypeInfo_TFileGroup},
    {"TypeInfo_TBrowserLink", &TypeInfo_TBrowserLink},
};

}  // namespace

// Name and address of the Index-th routine or table; false past the end.
PROBE_API bool ProbeRoutine(int Index, const char **Name, const void **Address) {
  if (Index < 0 || Index >= static_cast<int>(sizeof kRoutines / sizeof kRoutines[0]))
    return false;
  *Name = kRoutines[Index].Name;
  *Address = kRoutines[Index].Address;
  return true;
}

// Runs a few routines of Common and writes the outcome, fields joined by "|",
// into Buffer (Size + 1 bytes); returns what StrToBuffer returns.
PROBE_API int ProbeRun(char *Buffer, int Size) {
  std::string row = "xx<td>LM317T</td>rest";
  const std::string cell = ChopLineOut(row, "<TD>", "</TD>");
  const std::string text = cell + "|" + HTTPEncode("a b&c=1") + "|" + CryptString("abc") + "|" +
                           GetEnumName(TypeInfo_TFilterType, fltrStartsWith) + "|" + spcReplace[2];
  return StrToBuffer(Buffer, text.c_str(), Size);
}

PROBE_API const TPackageInfo *ProbePackageInfo() { return Tavrel_GetPackageInfoTable(); }
