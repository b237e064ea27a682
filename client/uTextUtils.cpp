#include "client/uTextUtils.h"

#include <QIcon>
#include <QPixmap>

#include "common/Common.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/SysUtils.h"

using namespace kv;

std::string JoinStrings(const TStrings &Strings, const std::string &Delimiter) {
  std::string Result;
  for (int I = 0; I < Strings.Count(); ++I) {
    Result += Strings[I];
    if (I < Strings.Count() - 1)
      Result += Delimiter;
  }
  return Result;
}

bool SameToken(const std::string &A, const std::string &B, bool CaseSensitive) {
  return CaseSensitive ? A == B : SameText(A, B);
}

namespace {

// The nesting walk with an explicit depth count, so a long run of opening
// characters cannot exhaust the stack.
bool SkipStretch(const std::string &Text, int &Position, char OpenChar, char CloseChar) {
  const int Len = static_cast<int>(Text.size());
  if (Text[Position - 1] != OpenChar || Position == Len)
    return false;
  int Depth = 1;
  for (int I = Position + 1; I <= Len; ++I) {
    const char C = Text[I - 1];
    // With the same character opening and closing, it can only close.
    if (C == CloseChar) {
      if (--Depth == 0) {
        Position = I;
        return true;
      }
    } else if (C == OpenChar) {
      // A nested opener at the very end can never be closed.
      if (I == Len)
        return false;
      ++Depth;
    }
  }
  return false;
}

}  // namespace

bool bSkipOverDelimiters(const std::string &Text, int &Position, char OpenChar, char CloseChar) {
  if (Text.empty())
    throw Exception("bSkipOverDelimiters : empty string supplied");
  if (Position > static_cast<int>(Text.size()) || Position < 1)
    throw Exception("bSkipOverDelimiters : invalid position supplied");
  return SkipStretch(Text, Position, OpenChar, CloseChar);
}

int FindDelimiter(const std::string &Text, const std::string &Delimiter, bool CaseSensitive, char OpenQuote,
                  char CloseQuote) {
  if (Text.empty() || Delimiter.empty())
    return 0;
  const bool SkipQuotes = OpenQuote != 0 && CloseQuote != 0;
  const int Len = static_cast<int>(Text.size());
  for (int I = 1; I <= Len; ++I) {
    if (SkipQuotes && Text[I - 1] == OpenQuote)
      bSkipOverDelimiters(Text, I, OpenQuote, CloseQuote);
    if (SameToken(Copy(Text, I, static_cast<int>(Delimiter.size())), Delimiter, CaseSensitive))
      return I;
  }
  return 0;
}

int SplitAtDelimiter(const std::string &Text, const std::string &Delimiter, std::string *Before,
                     std::string *After, char OpenQuote, char CloseQuote, bool CaseSensitive) {
  const int P = FindDelimiter(Text, Delimiter, CaseSensitive, OpenQuote, CloseQuote);
  if (P == 0)
    return 0;
  if (Before)
    *Before = Copy(Text, 1, P - 1);
  if (After)
    *After = Copy(Text, P + static_cast<int>(Delimiter.size()), static_cast<int>(Text.size()));
  return P;
}

int SplitString(const std::string &Text, const std::string &Delimiter, TStrings &Strings, bool CaseSensitive,
                bool AddDelimiters, char OpenQuote, char CloseQuote) {
  Strings.Clear();
  std::string Rest = Text, Before, After;
  if (SplitAtDelimiter(Rest, Delimiter, nullptr, nullptr, OpenQuote, CloseQuote, CaseSensitive) == 0) {
    Strings.Add(Text);
    return 0;
  }
  int Count = 0;
  while (SplitAtDelimiter(Rest, Delimiter, &Before, &After, OpenQuote, CloseQuote, CaseSensitive) != 0) {
    Strings.Add(Before);
    if (AddDelimiters)
      Strings.Add(Delimiter);
    Rest = After;
    ++Count;
  }
  if (!Rest.empty())
    Strings.Add(Rest);
  return Count;
}

int SplitStringSimple(const std::string &Text, const std::string &Delimiter, TStrings &Strings,
                      bool CaseSensitive, bool AddDelimiters) {
  return SplitString(Text, Delimiter, Strings, CaseSensitive, AddDelimiters);
}

bool MatchesFindPattern(const std::string &Text, const std::string &Pattern) {
  if (Pos("..", Pattern) == 0)
    return Text == Pattern;
  std::vector<std::string> Parts;
  std::string Rest = Pattern;
  for (int P = Pos("..", Rest); P != 0; P = Pos("..", Rest)) {
    Parts.push_back(Copy(Rest, 1, P - 1));
    Rest = Copy(Rest, P + 2, static_cast<int>(Rest.size()));
  }
  if (!Rest.empty())
    Parts.push_back(Rest);
  std::string Remaining = Text;
  for (size_t I = 0; I < Parts.size(); ++I) {
    if (Parts[I].empty())
      continue;
    const int P = Pos(Parts[I], Remaining);
    if (P == 0 || (I == 0 && P != 1))
      return false;
    Remaining = Copy(Remaining, P + static_cast<int>(Parts[I].size()), static_cast<int>(Remaining.size()));
  }
  return true;
}

std::string DecodeHtmlEntities(const std::string &Text) {
  static const char *const Names[][2] = {
      {"&nbsp;", " "}, {"&quot;", "\""}, {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"},
      {"&NBSP;", " "}, {"&QUOT;", "\""}, {"&AMP;", "&"}, {"&LT;", "<"}, {"&GT;", ">"},
      {"&nbsp", " "},  {"&quot", "\""},  {"&amp", "&"},  {"&lt", "<"},  {"&gt", ">"}};
  std::string Result = Text;
  for (const auto &N : Names)
    ReplaceStrings(Result, N[0], N[1]);
  return Result;
}

bool GetExtensionIcon(const std::string &Ext, QIcon &Icon) {
  Icon = QIcon();
  const std::string Key = (!Ext.empty() && Ext[0] == '.') ? Ext : "." + Ext;
  std::string ClassName, Location;
  try {
    TRegistry Reg;
    Reg.SetRootKey(HKEY_CLASSES_ROOT);
    if (!Reg.OpenKeyReadOnly("\\" + Key))
      return false;
    ClassName = Reg.ReadString("");
    Reg.CloseKey();
    if (ClassName.empty() || !Reg.OpenKeyReadOnly("\\" + ClassName + "\\DefaultIcon"))
      return false;
    Location = Reg.ReadString("");
  } catch (const Exception &) {
    return false;
  }
  // A path may hold commas of its own; the index follows the last one.
  const size_t Comma = Location.rfind(',');
  if (Comma == std::string::npos)
    return false;
  int Index = 0;
  if (!TryStrToInt(Trim(Location.substr(Comma + 1)), Index))
    return false;
  const std::string File = ResolvePath(Trim(Location.substr(0, Comma)));
  // An icon file here is one picture: only its first icon exists.
  if (Index != 0 || !FileExists(File))
    return false;
  const QPixmap Picture(QString::fromLocal8Bit(File.c_str()));
  if (Picture.isNull())
    return false;
  Icon = QIcon(Picture);
  return !Icon.isNull();
}
