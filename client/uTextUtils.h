#pragma once
// Small text functions the client's units share: joining and splitting at a
// delimiter (with optional quoted stretches kept whole), the find command's
// pattern match, the few entities of the update page, and a file type's icon.
#include <string>

#include "platform/StringList.h"

class QIcon;

std::string JoinStrings(const kv::TStrings &Strings, const std::string &Delimiter);
// Fills Strings; returns the number of delimiters found. A quote character of
// 0 means none.
int SplitString(const std::string &Text, const std::string &Delimiter, kv::TStrings &Strings,
                bool CaseSensitive, bool AddDelimiters, char OpenQuote = 0, char CloseQuote = 0);
int SplitStringSimple(const std::string &Text, const std::string &Delimiter, kv::TStrings &Strings,
                      bool CaseSensitive, bool AddDelimiters);
// The position of the first delimiter outside quoted stretches, 0 for none;
// Before and After (when given) receive the text around it.
int SplitAtDelimiter(const std::string &Text, const std::string &Delimiter, std::string *Before,
                     std::string *After, char OpenQuote, char CloseQuote, bool CaseSensitive);
int FindDelimiter(const std::string &Text, const std::string &Delimiter, bool CaseSensitive, char OpenQuote,
                  char CloseQuote);
// True when the stretch opening at Position (1-based) is closed; Position then
// points at its closing character.
bool bSkipOverDelimiters(const std::string &Text, int &Position, char OpenChar, char CloseChar);
bool SameToken(const std::string &A, const std::string &B, bool CaseSensitive);
bool MatchesFindPattern(const std::string &Text, const std::string &Pattern);
std::string DecodeHtmlEntities(const std::string &Text);
// True when Icon now holds the icon of the file type Ext ("HTM" or ".HTM"),
// found through HKEY_CLASSES_ROOT.
bool GetExtensionIcon(const std::string &Ext, QIcon &Icon);
