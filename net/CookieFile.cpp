#include "net/CookieFile.h"

#include <cctype>
#include <cstddef>
#include <map>
#include <tuple>
#include <vector>

#include "common/Common.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

namespace kv {

namespace {

const char *const CRLF = "\r\n";

// Lines split at LF with a CR before it dropped; a last line without its line
// end counts too.
std::vector<std::string> SplitLines(const std::string &Data) {
  std::vector<std::string> Lines;
  size_t Start = 0;
  while (Start < Data.size()) {
    size_t End = Data.find('\n', Start);
    if (End == std::string::npos)
      End = Data.size();
    std::string Line = Data.substr(Start, End - Start);
    if (!Line.empty() && Line.back() == '\r')
      Line.pop_back();
    Lines.push_back(std::move(Line));
    Start = End + 1;
  }
  return Lines;
}

std::string JoinLines(const std::vector<std::string> &Lines) {
  std::string Data;
  for (const std::string &Line : Lines)
    Data += Line + CRLF;
  return Data;
}

// False when there is no file; raises when there is one that cannot be read.
bool ReadCookieFile(std::vector<std::string> &Lines, std::string *Raw = nullptr) {
  const std::string Path = CookieFilePath();
  if (!FileExists(Path))
    return false;
  std::string Data;
  if (!ReadFileToString(Path, Data))
    throw EInOutError("Unable to read " + Path);
  Lines = SplitLines(Data);
  if (Raw)
    *Raw = std::move(Data);
  return true;
}

void WriteCookieFile(const std::string &Data) {
  const std::string Path = CookieFilePath();
  if (!WriteFileAtomic(Path, Data))
    throw EInOutError("Unable to write to " + Path);
}

bool IsDigits(const std::string &S) {
  if (S.empty())
    return false;
  for (unsigned char C : S)
    if (!std::isdigit(C))
      return false;
  return true;
}

int MonthOf(const std::string &Token) {
  static const char *const Months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  if (Token.size() < 3)
    return 0;
  const std::string Head = UpperCase(Token.substr(0, 3));
  for (int M = 0; M < 12; ++M)
    if (Head == Months[M])
      return M + 1;
  return 0;
}

// "HH:MM:SS" (one or two digits each).
bool ReadTime(const std::string &Token, int &H, int &M, int &S) {
  int Parts[3];
  size_t Start = 0;
  for (int I = 0; I < 3; ++I) {
    size_t End = I < 2 ? Token.find(':', Start) : Token.size();
    if (End == std::string::npos)
      return false;
    const std::string Part = Token.substr(Start, End - Start);
    if (!IsDigits(Part) || Part.size() > 2)
      return false;
    Parts[I] = std::stoi(Part);
    Start = End + 1;
  }
  H = Parts[0];
  M = Parts[1];
  S = Parts[2];
  return H < 24 && M < 60 && S < 60;
}

const char *const FieldTags[] = {"NAME", "VALUE", "EXPIRES", "PATH", "DOMAIN", "SECURE"};

// Whether Text holds a field tag of the line, opening or closing, in any
// letter case: the reader would take it for the line's own.
bool HoldsTag(const std::string &Text) {
  if (Text.find('<') == std::string::npos)
    return false;
  const std::string Upper = UpperCase(Text);
  for (const char *Tag : FieldTags)
    if (Upper.find("<" + std::string(Tag) + ">") != std::string::npos ||
        Upper.find("</" + std::string(Tag) + ">") != std::string::npos)
      return true;
  return false;
}

// A shop sets cookies for its own host and the domains above it, never for a
// bare last label that every shop under it shares.
bool MaySetDomain(const std::string &Domain, const std::string &Host) {
  if (!CookieDomainMatches(Domain, Host))
    return false;
  std::string D = Trim(Domain);
  if (!D.empty() && D[0] == '.')
    D.erase(0, 1);
  return D.find('.') != std::string::npos || UpperCase(D) == UpperCase(Host);
}

// The attributes of a Set-Cookie line that are never cookies.
bool IsCookieAttribute(const std::string &UpperName) {
  static const char *const Names[] = {"PATH",     "DOMAIN",  "EXPIRES", "SECURE", "MAX-AGE",
                                      "SAMESITE", "HTTPONLY", "VERSION", "COMMENT"};
  for (const char *N : Names)
    if (UpperName == N)
      return true;
  return false;
}

// The cookies of one Set-Cookie line, appended to Found.
void ReadSetCookieLine(const std::string &HeaderValue, const std::string &Host, std::vector<TCookie> &Found) {
  std::string Path, Domain, Expires;
  std::vector<std::pair<std::string, std::string>> Cookies;
  size_t Start = 0;
  while (Start <= HeaderValue.size()) {
    size_t End = HeaderValue.find(';', Start);
    if (End == std::string::npos)
      End = HeaderValue.size();
    const size_t SegmentStart = Start;
    const std::string Segment = HeaderValue.substr(Start, End - Start);
    Start = End + 1;
    const size_t Eq = Segment.find('=');
    // "Secure", "HttpOnly" and the like are flags, not cookies.
    if (Eq == std::string::npos)
      continue;
    const std::string Name = Trim(Segment.substr(0, Eq));
    const std::string Value = Trim(Segment.substr(Eq + 1));
    if (Name.empty())
      continue;
    const std::string Attribute = UpperCase(Name);
    if (Attribute == "PATH") {
      if (Path.empty())
        Path = Value.empty() ? CookieRootPath : Value;
    } else if (Attribute == "DOMAIN") {
      if (Domain.empty())
        Domain = Value;
    } else if (Attribute == "EXPIRES") {
      // The stored field runs to the end of the line, attributes after the
      // date included: other readers of the file expect it so. Readers take
      // only the date, which ends at the first ";".
      if (Expires.empty())
        Expires = Value.empty() ? CookieNoExpiry : Trim(HeaderValue.substr(SegmentStart + Eq + 1));
    } else if (!IsCookieAttribute(Attribute)) {
      Cookies.emplace_back(Name, Value);
    }
  }
  if (Domain.empty())
    Domain = Host;
  else if (!MaySetDomain(Domain, Host))
    return;
  if (Path.empty())
    Path = CookieRootPath;
  if (Expires.empty())
    Expires = CookieNoExpiry;
  for (const auto &[Name, Value] : Cookies)
    Found.push_back(TCookie{Name, Value, Expires, Path, Domain, ""});
}

// Stores each cookie in turn as StoreCookie does, with one read and one write
// of the file for all of them: a reply may set many.
void StoreCookies(const std::vector<TCookie> &Cookies) {
  std::vector<std::string> Lines;
  std::string Raw;
  const bool Existed = ReadCookieFile(Lines, &Raw);
  using TIdentity = std::tuple<std::string, std::string, std::string>;
  std::map<TIdentity, std::vector<size_t>> LinesOf;
  for (size_t I = 0; I < Lines.size(); ++I) {
    const TCookie C = ParseCookieLine(Lines[I]);
    LinesOf[TIdentity(C.Name, C.Domain, C.Path)].push_back(I);
  }
  const size_t Before = Lines.size();
  bool Replaced = false;
  for (const TCookie &New : Cookies) {
    if (!CanStoreCookie(New))
      continue;
    std::vector<size_t> &Same = LinesOf[TIdentity(New.Name, New.Domain, New.Path)];
    if (Same.empty()) {
      Same.push_back(Lines.size());
      Lines.push_back(CookieLine(New));
      continue;
    }
    for (const size_t I : Same)
      Lines[I] = CookieLine(New);
    Replaced = true;
  }
  if (Lines.size() == Before && !Replaced)
    return;
  if (!Existed || Replaced) {
    WriteCookieFile(JoinLines(Lines));
    return;
  }
  // Appending keeps the file as it is; a last line without its line end gets
  // one first, so the new cookie does not run into it.
  if (!Raw.empty() && Raw.back() != '\n')
    Raw += CRLF;
  Lines.erase(Lines.begin(), Lines.begin() + static_cast<std::ptrdiff_t>(Before));
  WriteCookieFile(Raw + JoinLines(Lines));
}

}  // namespace

std::string CookieFilePath() { return ResolvePath(WindowsDirectory() + "/" + CookieFileName); }

std::string CookieLine(const TCookie &C) {
  return "<NAME>" + C.Name + "</NAME><VALUE>" + C.Value + "</VALUE><EXPIRES>" + C.Expires +
         "</EXPIRES><PATH>" + C.Path + "</PATH><DOMAIN>" + C.Domain + "</DOMAIN><SECURE>" + C.Secure +
         "</SECURE>";
}

bool CanStoreCookie(const TCookie &C) {
  static const std::string LineBreaks("\r\n\0", 3);
  for (const std::string *Field : {&C.Name, &C.Value, &C.Expires, &C.Path, &C.Domain, &C.Secure})
    if (Field->find_first_of(LineBreaks) != std::string::npos || HoldsTag(*Field))
      return false;
  return true;
}

TCookie ParseCookieLine(const std::string &Line) {
  TCookie C;
  if (Line.find('<') != std::string::npos) {
    // A tag that opens twice leaves open which field is the line's own.
    const std::string Upper = UpperCase(Line);
    for (const char *Tag : FieldTags) {
      const std::string Open = "<" + std::string(Tag) + ">";
      const size_t First = Upper.find(Open);
      if (First != std::string::npos && Upper.find(Open, First + 1) != std::string::npos)
        return C;
    }
  }
  C.Name = GetTextBetween(Line, "<NAME>", "</NAME>");
  C.Value = GetTextBetween(Line, "<VALUE>", "</VALUE>");
  C.Expires = GetTextBetween(Line, "<EXPIRES>", "</EXPIRES>");
  C.Path = GetTextBetween(Line, "<PATH>", "</PATH>");
  C.Domain = GetTextBetween(Line, "<DOMAIN>", "</DOMAIN>");
  C.Secure = GetTextBetween(Line, "<SECURE>", "</SECURE>");
  return C;
}

bool SameCookie(const TCookie &A, const TCookie &B) {
  return A.Name == B.Name && A.Domain == B.Domain && A.Path == B.Path;
}

void ParseSetCookies(const std::string &Response, const std::string &Host) {
  std::string Text;
  Text.reserve(Response.size());
  for (char C : Response)
    if (C != '\r')
      Text += C;
  // Only complete lines of the header block: a line still arriving would store
  // a cut value, and the body is the shop's page, not headers.
  std::vector<TCookie> Found;
  size_t Start = 0;
  while (Start < Text.size()) {
    const size_t End = Text.find('\n', Start);
    if (End == std::string::npos)
      break;
    const std::string Line = Text.substr(Start, End - Start);
    Start = End + 1;
    if (Line.empty())
      break;
    static const std::string Tag = "SET-COOKIE:";
    if (Line.size() >= Tag.size() && UpperCase(Line.substr(0, Tag.size())) == Tag)
      ReadSetCookieLine(Trim(Line.substr(Tag.size())), Host, Found);
  }
  if (!Found.empty())
    StoreCookies(Found);
}

void StoreCookie(const std::string &Name, const std::string &Value, const std::string &Expires,
                 const std::string &Domain, const std::string &Path, const std::string &Secure) {
  StoreCookies({TCookie{Name, Value, Expires, Path, Domain, Secure}});
}

bool CookieDomainMatches(const std::string &Domain, const std::string &Host) {
  std::string D = UpperCase(Trim(Domain));
  if (!D.empty() && D[0] == '.')
    D.erase(0, 1);
  const std::string H = UpperCase(Host);
  if (D.empty() || H.size() < D.size())
    return false;
  if (H == D)
    return true;
  return H.size() > D.size() && H.compare(H.size() - D.size(), D.size(), D) == 0 &&
         H[H.size() - D.size() - 1] == '.';
}

bool ParseCookieExpiry(const std::string &Expires, TDateTime &Utc) {
  std::string Text = Expires.substr(0, Expires.find(';'));
  for (char &C : Text)
    if (C == ',' || C == '-')
      C = ' ';
  int Day = -1, Month = 0, Year = -1, H = -1, M = 0, S = 0;
  size_t Start = 0;
  while (Start < Text.size()) {
    while (Start < Text.size() && static_cast<unsigned char>(Text[Start]) <= ' ')
      ++Start;
    size_t End = Start;
    while (End < Text.size() && static_cast<unsigned char>(Text[End]) > ' ')
      ++End;
    if (End == Start)
      break;
    const std::string Token = Text.substr(Start, End - Start);
    Start = End;
    int h, m, s;
    if (H < 0 && ReadTime(Token, h, m, s)) {
      H = h;
      M = m;
      S = s;
    } else if (Month == 0 && !IsDigits(Token) && MonthOf(Token) && Token.size() == 3) {
      Month = MonthOf(Token);
    } else if (Day < 0 && IsDigits(Token) && Token.size() <= 2) {
      Day = std::stoi(Token);
    } else if (Year < 0 && IsDigits(Token) && (Token.size() == 2 || Token.size() == 4)) {
      Year = std::stoi(Token);
      if (Token.size() == 2)
        Year += Year >= 70 ? 1900 : 2000;
    } else if (IsDigits(Token) || Token.find(':') != std::string::npos) {
      return false;  // a second date or a broken time
    }
    // Weekday names and the zone ("GMT") carry nothing we need.
  }
  if (Day < 1 || Month == 0 || Year < 0 || H < 0)
    return false;
  TDateTime D, T;
  if (!TryEncodeDate(Year, Month, Day, D) || !TryEncodeTime(H, M, S, 0, T))
    return false;
  Utc = D + T;
  return true;
}

void PruneExpiredCookies() {
  std::vector<std::string> Lines;
  if (!ReadCookieFile(Lines))
    return;
  std::vector<std::string> Kept;
  Kept.reserve(Lines.size());
  for (const std::string &Line : Lines) {
    const std::string E = Trim(ParseCookieLine(Line).Expires);
    if (E.empty() || E == CookieNoExpiry) {
      Kept.push_back(Line);
      continue;
    }
    TDateTime Expiry;
    // An expiry that does not read counts as passed.
    if (ParseCookieExpiry(E, Expiry) && NowUTC() <= Expiry)
      Kept.push_back(Line);
  }
  WriteCookieFile(JoinLines(Kept));
}

bool CookieHostKnown(const std::string &Host) {
  PruneExpiredCookies();
  std::vector<std::string> Lines;
  if (!ReadCookieFile(Lines))
    return false;
  for (const std::string &Line : Lines) {
    const TCookie C = ParseCookieLine(Line);
    if (!C.Name.empty() && CookieDomainMatches(C.Domain, Host))
      return true;
  }
  return false;
}

std::string GetCookieLine(const std::string &Host) {
  std::string Pairs;
  std::vector<std::string> Lines;
  if (!ReadCookieFile(Lines))
    return Pairs;
  for (const std::string &Line : Lines) {
    const TCookie C = ParseCookieLine(Line);
    if (C.Name.empty() || !CookieDomainMatches(C.Domain, Host))
      continue;
    if (!Pairs.empty())
      Pairs += "; ";
    Pairs += C.Name + "=" + C.Value;
  }
  return "Cookie: " + Pairs;
}

}  // namespace kv
