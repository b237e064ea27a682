#pragma once
// The helper unit Common: taking page text and server replies apart, URL,
// Base64 and credential-scrambling conversions, and the enumerations shared by
// the client, primary, Fetchlet and the site libraries. Free functions of the
// global namespace, as site libraries call them by name through libTavrel.so.
//
// Text is std::string holding 8-bit Windows-1252 bytes. Positions count from
// 1; 0 means "not found". "Case-insensitive" means ASCII upper-casing of both
// sides (only a-z change); all searches look for the first occurrence.
#include <array>
#include <string>

#include "common/CommonApi.h"

// ---- Shared enumerations: one byte each, values from 0 ----

enum TSecurityType : unsigned char { secNone, secParams, secBasic };
enum TSearchType : unsigned char { srchPartNo, srchDescription };
enum TFilterType : unsigned char { fltrNone, fltrExact, fltrPartial, fltrStartsWith };
enum TFileGroup : unsigned char { fgAdverts, fgUpdate };
enum TBrowserLink : unsigned char { browDefault, browDirect, browOle };

static_assert(sizeof(TSecurityType) == 1 && sizeof(TSearchType) == 1 && sizeof(TFilterType) == 1 &&
              sizeof(TFileGroup) == 1 && sizeof(TBrowserLink) == 1);

// Run-time type information of an enumeration: its name and the names of its
// values by ordinal.
struct TEnumInfo {
  const char *Name;
  int Count;
  const char *const *Names;
};

// Run-time type information of a fixed-size array type.
struct TArrayInfo {
  const char *Name;
  int Count;
  const char *ElementType;
};

extern COMMON_API const TEnumInfo TypeInfo_TSecurityType;
extern COMMON_API const TEnumInfo TypeInfo_TSearchType;
extern COMMON_API const TEnumInfo TypeInfo_TFilterType;
extern COMMON_API const TEnumInfo TypeInfo_TFileGroup;
extern COMMON_API const TEnumInfo TypeInfo_TBrowserLink;

// The name of a value by ordinal; "" when the ordinal is out of range.
COMMON_API const char *GetEnumName(const TEnumInfo &Info, int Ordinal);
// The ordinal of a value name (ASCII case-insensitive); -1 when unknown.
COMMON_API int GetEnumValue(const TEnumInfo &Info, const std::string &Name);

inline const char *EnumName(TSecurityType V) { return GetEnumName(TypeInfo_TSecurityType, V); }
inline const char *EnumName(TSearchType V) { return GetEnumName(TypeInfo_TSearchType, V); }
inline const char *EnumName(TFilterType V) { return GetEnumName(TypeInfo_TFilterType, V); }
inline const char *EnumName(TFileGroup V) { return GetEnumName(TypeInfo_TFileGroup, V); }
inline const char *EnumName(TBrowserLink V) { return GetEnumName(TypeInfo_TBrowserLink, V); }

// ---- The entity table of ReplaceEnumeratedChars ----

// Entry i of spcReplace is replaced by entry i of spcWith, in table order.
using TEntityTable = std::array<std::string, 9>;
extern COMMON_API const TEntityTable spcReplace;
extern COMMON_API const TEntityTable spcWith;
extern COMMON_API const TArrayInfo TypeInfo_TEntityTable;

// ---- Text extraction and editing ----

// The text between the first Start and the first End after it
// (case-insensitive); "" when either is missing or End is empty.
COMMON_API std::string GetTextBetween(const std::string &Text, const std::string &Start, const std::string &End);
// Text with every Open...Close stretch removed (case-sensitive). Keeps the
// original's treatment of unbalanced delimiters: a Close before any Open
// removes everything up to it, an Open without a Close removes all the rest,
// and of a longer Close only its first character goes with the stretch.
COMMON_API std::string GetTextNotInBrackets(const std::string &Open, const std::string &Close, const std::string &Text);
// Takes the first Start...End stretch off the front of Text (case-insensitive)
// and returns what lay between; Text then begins after End. With Start but no
// End after it, Text is left beginning at Start and "" is returned.
COMMON_API std::string ChopLineOut(std::string &Text, const std::string &Start, const std::string &End);
// As ChopLineOut, but the result includes End and Text is left beginning at
// End.
COMMON_API std::string ChopLineOutNotTags(std::string &Text, const std::string &Start, const std::string &End);
// Replaces every occurrence of Find (case-sensitive). Text a replacement
// forms together with its surroundings is replaced too, as if every pass
// searched from the beginning ("  " -> " " collapses runs of blanks).
COMMON_API void ReplaceStrings(std::string &Text, const std::string &Find, const std::string &Replacement);
// Applies the nine spcReplace/spcWith pairs in table order.
COMMON_API std::string ReplaceEnumeratedChars(const std::string &Text);
// Each of . , ( ) [ ] { } ; : " ' \ / ! ? > < becomes one blank.
COMMON_API void SpacePunctuation(std::string &Text);
// True when Word occurs in Text surrounded by blanks, punctuation or the ends
// (case-insensitive).
COMMON_API bool StringContainsWholeWord(const std::string &Text, const std::string &Word);
// The price right after Label: digits, "," and "." up to a second separator
// after a "."; thousands commas and a final "." dropped.
COMMON_API std::string ExtractPriceFromString(const std::string &Text, const std::string &Label);
// The value of Name= in a query (name case-insensitive), up to "&"; no decoding.
COMMON_API std::string ExtractParameter(const std::string &Name, const std::string &Query);
// The text after the last "/" (a query part stays attached).
COMMON_API std::string GetFileNameFromUrl(const std::string &Url);
// Lower case, with the first character and every character after a word
// separator (blank / ~ - _ . , + ( ) [ ] { }) in upper case.
COMMON_API std::string InitCaps(const std::string &Text);
// Upper-cases the character at Position (1-based); nothing when out of range.
COMMON_API void ConvertChar(std::string &Text, int Position);
// Splits an advert line at ":::": "first", "first:::second" or
// "time:::first:::second" (time in milliseconds, 15000 when missing or not
// an integer; a third ":::" stays inside second).
COMMON_API void ParseAdvert(const std::string &Line, std::string &First, std::string &Second, int &Time);
COMMON_API std::string TranslateChar(const std::string &Text, char From, char To);
COMMON_API std::string UnixPathToDosPath(const std::string &Path);
COMMON_API std::string DosPathToUnixPath(const std::string &Path);
// Removes blanks (32 only) from both ends of a zero-terminated text in place;
// returns S.
COMMON_API char *strTrim(char *S);
// Copies at most Size characters and a terminating zero (Dest holds Size + 1
// bytes). Returns the length copied, plus one when Source did not fit with
// room to spare. A negative Size writes nothing and returns 0.
COMMON_API int StrToBuffer(char *Dest, const char *Source, int Size);
// Appends Text and a line break to "c:\temp\log.txt". Never raises: a line
// that cannot be written is dropped.
COMMON_API void Log(const std::string &Text) noexcept;

// ---- URL and Base64 encoding (input ends at its first zero byte) ----

// Letters and * - . = @ _ stay, a blank becomes "+", every other byte
// (digits too) "%XX" with upper-case hex digits.
COMMON_API std::string HTTPEncode(const std::string &Text);
// "+" -> blank, "%%" -> "%", "%XX" -> the byte. A "%" among the last two
// characters is copied as it stands. Raises kv::EConvertError when XX is not
// hexadecimal.
COMMON_API std::string HTTPDecode(const std::string &Text);
// Standard Base64 with "=" padding, no line breaks.
COMMON_API std::string base64Encode(const std::string &Text);

// ---- Credential scrambler ----
// A keyed shift over the printable range that keeps stored customer IDs,
// passwords and site logins from being read at a glance. It is obfuscation,
// not protection: the key is fixed and public. The scrambled form is stored in
// the registry and cache files, so it must stay byte for byte as it is.
COMMON_API std::string CryptString(const std::string &Text);
COMMON_API std::string DeCryptString(const std::string &Text);
