#include "net/CookieFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <cstddef>
#include <iterator>
#include <list>
#include <map>
#include <set>
#include <string_view>
#include <tuple>
#include <vector>

#include <libpsl.h>

#include "common/Common.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

namespace kv {

namespace {

const char *const CRLF = "\r\n";

// Calls Line for each line of Data: split at LF with a CR before it dropped;
// a last line without its line end counts too.
template <class TLineFn> void ForEachLine(std::string_view Data, TLineFn Line) {
  size_t Start = 0;
  while (Start < Data.size()) {
    size_t End = Data.find('\n', Start);
    if (End == std::string_view::npos)
      End = Data.size();
    std::string_view Text = Data.substr(Start, End - Start);
    if (!Text.empty() && Text.back() == '\r')
      Text.remove_suffix(1);
    Line(Text);
    Start = End + 1;
  }
}

// False when there is no file; raises when there is one that cannot be read.
bool ReadCookieFile(std::string &Data) {
  const std::string Path = CookieFilePath();
  if (!FileExists(Path))
    return false;
  if (!ReadFileToString(Path, Data))
    throw EInOutError("Unable to read " + Path);
  return true;
}

// Private at every write, so a file an earlier version left 0644 becomes so
// at its next.
void WriteCookieFile(const std::string &Data) {
  const std::string Path = CookieFilePath();
  if (!WriteFileAtomic(Path, Data, 0600))
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

// The domain as the bounds and the host test take it.
std::string DomainKey(const std::string &Domain) {
  std::string D = UpperCase(Trim(Domain));
  if (!D.empty() && D[0] == '.')
    D.erase(0, 1);
  return D;
}

std::string LowerAscii(std::string S) {
  for (char &C : S)
    if (C >= 'A' && C <= 'Z')
      C = static_cast<char>(C - 'A' + 'a');
  return S;
}

// The Public Suffix List as the system has it now, else as the library was
// built with; loaded once and never changed, so it needs no resetting. It
// goes with the module, which the catalogue's users load and unload.
const psl_ctx_t *SuffixList() {
  static const struct TList {
    psl_ctx_t *Latest = psl_latest(nullptr);
    ~TList() { psl_free(Latest); }
  } List;
  return List.Latest ? List.Latest : psl_builtin();
}

// A name under which anyone may register ("co.uk", "github.io"): a cookie
// for it would reach every shop below it.
bool IsPublicSuffix(const std::string &Key) {
  const psl_ctx_t *List = SuffixList();
  return !List || psl_is_public_suffix(List, LowerAscii(Key).c_str()) != 0;
}

// A host written as an address matches only itself: its labels are no
// domains. Besides the dotted quad, a last label that is a number (or hex)
// makes an address for the resolver, and a ":" an IPv6 one.
bool IsAddressHost(const std::string &Key) {
  if (Key.find(':') != std::string::npos || (!Key.empty() && Key[0] == '['))
    return true;
  const size_t Dot = Key.rfind('.');
  std::string Last = Dot == std::string::npos ? Key : Key.substr(Dot + 1);
  if (Last.empty())
    return false;
  if (Last.size() > 2 && Last[0] == '0' && (Last[1] == 'X' || Last[1] == 'x'))
    return Last.find_first_not_of("0123456789ABCDEFabcdef", 2) == std::string::npos;
  return Last.find_first_not_of("0123456789") == std::string::npos;
}

// Key (a DomainKey) domain-matches the upper-cased Host: the same name, or a
// name above it on a "." boundary that is neither an address nor a public
// suffix.
bool KeyMatches(const std::string &Key, const std::string &H) {
  if (Key.empty() || H.size() < Key.size())
    return false;
  if (H == Key)
    return true;
  return H.size() > Key.size() && H.compare(H.size() - Key.size(), Key.size(), Key) == 0 &&
         H[H.size() - Key.size() - 1] == '.' && !IsAddressHost(H) && !IsPublicSuffix(Key);
}

// A shop sets cookies for its own host and the domains above it, never for a
// bare last label or a public suffix that every shop under it shares.
bool MaySetDomain(const std::string &Domain, const std::string &Host) {
  const std::string D = DomainKey(Domain), H = UpperCase(Host);
  if (D == H)
    return !D.empty();
  return D.find('.') != std::string::npos && KeyMatches(D, H);
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

// An expiry as shops send it, "Wdy, DD-Mon-YYYY HH:MM:SS GMT", for a moment
// in Unix seconds.
std::string ExpiryText(int64_t Seconds) {
  static const char *const Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const time_t T = static_cast<time_t>(Seconds);
  struct tm Tm {};
  gmtime_r(&T, &Tm);
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "%s, %02d-%s-%04d %02d:%02d:%02d GMT", Days[Tm.tm_wday], Tm.tm_mday,
                Months[Tm.tm_mon], Tm.tm_year + 1900, Tm.tm_hour, Tm.tm_min, Tm.tm_sec);
  return Buf;
}

// A Max-Age attribute as a browser reads it: an optional "-" and digits,
// else it is ignored. It outranks Expires; zero or below deletes the cookie.
bool ReadMaxAge(const std::string &Value, std::string &Expires) {
  const bool Negative = !Value.empty() && Value[0] == '-';
  const std::string Digits = Negative ? Value.substr(1) : Value;
  if (!IsDigits(Digits))
    return false;
  // A hundred years is forever for a shop's cookie, and keeps the year in
  // four digits.
  constexpr int64_t Longest = 100LL * 366 * 24 * 3600;
  const size_t First = Digits.find_first_not_of('0');
  const bool Zero = First == std::string::npos;
  int64_t Delta = Longest;
  if (!Zero && Digits.size() - First < 12)
    Delta = std::min<int64_t>(std::stoll(Digits.substr(First)), Longest);
  Expires = Negative || Zero ? ExpiryText(0) : ExpiryText(static_cast<int64_t>(std::time(nullptr)) + Delta);
  return true;
}

// The cookies of one Set-Cookie line, appended to Found.
void ReadSetCookieLine(const std::string &HeaderValue, const std::string &Host, std::vector<TCookie> &Found) {
  std::string Path, Domain, Expires, MaxAgeExpires;
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
    } else if (Attribute == "MAX-AGE") {
      if (MaxAgeExpires.empty())
        ReadMaxAge(Value, MaxAgeExpires);
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
  if (!MaxAgeExpires.empty())
    Expires = MaxAgeExpires;
  else if (Expires.empty())
    Expires = CookieNoExpiry;
  for (const auto &[Name, Value] : Cookies)
    Found.push_back(TCookie{Name, Value, Expires, Path, Domain, ""});
}

bool WithinCookieSizes(const TCookie &C) {
  return C.Name.size() + C.Value.size() <= MaxCookieText &&
         C.Expires.size() + C.Path.size() + C.Domain.size() + C.Secure.size() <= MaxCookieAttributes;
}

// No cookie within the sizes makes a longer line.
size_t MaxCookieLine() {
  static const size_t Max = CookieLine(TCookie{}).size() + MaxCookieText + MaxCookieAttributes;
  return Max;
}

// An expiry that does not read counts as passed.
bool HasExpired(const TCookie &C) {
  const std::string E = Trim(C.Expires);
  if (E.empty() || E == CookieNoExpiry)
    return false;
  TDateTime Expiry;
  return !ParseCookieExpiry(E, Expiry) || NowUTC() > Expiry;
}

// The file's lines within the bounds, least recently used first. A cookie is
// used when it is set, replaced or sent (RFC 6265 5.3), and the file keeps
// that order, so the first line is the first to go when a bound is passed;
// expired cookies are dropped before anything is counted. The lines of the
// file are taken in its order as if their cookies came now, so a file an
// earlier version filled without bounds is held at the size of a bounded one,
// and a request sends what the next write will leave.
class TBoundedLines {
public:
  TBoundedLines() = default;
  // The indexes point into the lists, which a move takes along.
  TBoundedLines(TBoundedLines &&) = default;
  TBoundedLines(const TBoundedLines &) = delete;
  TBoundedLines &operator=(const TBoundedLines &) = delete;

  // A line of the file. One past the sizes (an earlier version stored any)
  // goes; two lines of one identity both stay, as they are.
  void Take(std::string_view Line, bool DropExpired) {
    if (Line.size() > MaxCookieLine()) {
      FFileLineDropped = true;
      return;
    }
    const TCookie C = ParseCookieLine(std::string(Line));
    if ((!C.Name.empty() && !WithinCookieSizes(C)) || (DropExpired && HasExpired(C))) {
      FFileLineDropped = true;
      return;
    }
    Append(C, std::string(), Line);
    Bound();
  }

  // A cookie that comes now. One whose expiry has passed deletes the lines
  // of its identity and stores nothing, so its slot is free again; any other
  // replaces them and goes last, as just used. The bounds wait for Bound, so
  // that a deletion later in the same reply frees a slot before anything is
  // evicted for a cookie before it.
  void Store(const TCookie &C) {
    const bool Deletion = HasExpired(C);
    if (!Deletion && !CanStoreCookie(C))
      return;
    if (const auto Same = FByIdentity.find(IdentityOf(C)); Same != FByIdentity.end()) {
      // The last Drop takes the index entry with it.
      const std::vector<TEntryIt> Lines = Same->second;
      for (const TEntryIt I : Lines)
        Drop(I);
      FChanged = true;
    }
    if (Deletion)
      return;
    Append(C, CookieLine(C), {});
    FChanged = true;
  }

  // Host's cookies go last, in their order, as the request that asks is
  // about to send them; the Cookie line they make stays the same. True when
  // Host has any.
  bool Use(const std::string &Host) {
    const std::string H = UpperCase(Host);
    std::vector<TEntryIt> Sent;
    for (auto I = FLines.begin(); I != FLines.end(); ++I)
      if (!I->Domain.empty() && KeyMatches(I->Domain, H))
        Sent.push_back(I);
      else if (!Sent.empty())
        FReordered = true;
    for (const TEntryIt I : Sent) {
      FLines.splice(FLines.end(), FLines, I);
      std::list<TEntryIt> &OfDomain = FByDomain[I->Domain];
      OfDomain.splice(OfDomain.end(), OfDomain, I->DomainPos);
    }
    return !Sent.empty();
  }

  // The oldest lines go until every domain and the file are within bounds.
  void Bound() {
    for (const std::string &D : FGrown)
      for (auto Of = FByDomain.find(D); Of != FByDomain.end() && Of->second.size() > MaxCookiesPerDomain;)
        Drop(Of->second.front());
    FGrown.clear();
    while (FLines.size() > MaxCookies)
      Drop(FLines.begin());
  }

  bool Changed() const { return FChanged; }
  // Whether the file's own lines all stay as they were, in their order: new
  // lines can be appended to its bytes.
  bool FileKept() const { return !FFileLineDropped && !FReordered; }

  template <class TLineFn> void ForEachKept(TLineFn Line) const {
    for (const TEntry &E : FLines)
      Line(E.Text());
  }
  std::string Text(bool NewOnly = false) const {
    std::string Data;
    for (const TEntry &E : FLines)
      if (!NewOnly || !E.Own.empty())
        Data.append(E.Text()).append(CRLF);
    return Data;
  }

private:
  struct TEntry;
  using TEntryIt = std::list<TEntry>::iterator;
  using TIdentity = std::tuple<std::string, std::string, std::string>;
  using TIdentityIt = std::map<TIdentity, std::vector<TEntryIt>>::iterator;
  struct TEntry {
    std::string Own;             // a line made here
    std::string_view FromFile;   // else the file's own bytes
    std::string Domain;          // DomainKey; empty for no cookie or no domain
    TIdentityIt Identity;
    std::list<TEntryIt>::iterator DomainPos;  // in FByDomain[Domain], when it has one
    std::string_view Text() const { return Own.empty() ? FromFile : std::string_view(Own); }
  };
  static TIdentity IdentityOf(const TCookie &C) { return TIdentity(C.Name, C.Domain, C.Path); }

  void Append(const TCookie &C, std::string Own, std::string_view FromFile) {
    FLines.push_back(TEntry{std::move(Own), FromFile, C.Name.empty() ? std::string() : DomainKey(C.Domain), {}, {}});
    const TEntryIt I = std::prev(FLines.end());
    I->Identity = FByIdentity.try_emplace(IdentityOf(C)).first;
    I->Identity->second.push_back(I);
    if (!I->Domain.empty()) {
      std::list<TEntryIt> &OfDomain = FByDomain[I->Domain];
      I->DomainPos = OfDomain.insert(OfDomain.end(), I);
      if (OfDomain.size() > MaxCookiesPerDomain)
        FGrown.insert(I->Domain);
    }
  }

  void Drop(const TEntryIt I) {
    if (!I->Domain.empty()) {
      const auto D = FByDomain.find(I->Domain);
      D->second.erase(I->DomainPos);
      if (D->second.empty())
        FByDomain.erase(D);
    }
    std::vector<TEntryIt> &Same = I->Identity->second;
    Same.erase(std::find(Same.begin(), Same.end(), I));
    if (Same.empty())
      FByIdentity.erase(I->Identity);
    if (I->Own.empty())
      FFileLineDropped = true;
    FLines.erase(I);
  }

  std::list<TEntry> FLines;
  std::map<std::string, std::list<TEntryIt>> FByDomain;
  std::map<TIdentity, std::vector<TEntryIt>> FByIdentity;
  std::set<std::string> FGrown;  // domains past their bound since the last Bound
  bool FChanged = false, FFileLineDropped = false, FReordered = false;
};

// The file within the bounds; Raw keeps the bytes the lines point into.
TBoundedLines ReadBoundedLines(std::string &Raw, bool DropExpired = false, bool *Existed = nullptr) {
  TBoundedLines Lines;
  const bool Found = ReadCookieFile(Raw);
  if (Existed)
    *Existed = Found;
  ForEachLine(Raw, [&](std::string_view Line) { Lines.Take(Line, DropExpired); });
  return Lines;
}

// Stores each cookie in turn as StoreCookie does, with one read and one write
// of the file for all of them: a reply may set many.
void StoreCookies(const std::vector<TCookie> &Cookies) {
  std::string Raw;
  bool Existed = false;
  TBoundedLines Lines = ReadBoundedLines(Raw, true, &Existed);
  for (const TCookie &New : Cookies)
    Lines.Store(New);
  if (!Lines.Changed())
    return;
  Lines.Bound();
  if (!Existed || !Lines.FileKept()) {
    WriteCookieFile(Lines.Text());
    return;
  }
  // Appending keeps the file as it is; a last line without its line end gets
  // one first, so the new cookie does not run into it.
  if (!Raw.empty() && Raw.back() != '\n')
    Raw += CRLF;
  WriteCookieFile(Raw + Lines.Text(true));
}

// The pruned file, written back; with a Host, that host's cookies count as
// used by the request asking. True when Host has cookies.
bool PruneAndUse(const std::string *Host) {
  std::string Raw;
  bool Existed = false;
  TBoundedLines Lines = ReadBoundedLines(Raw, true, &Existed);
  const bool Known = Host && Lines.Use(*Host);
  if (Existed)
    WriteCookieFile(Lines.Text());
  return Known;
}

}  // namespace

std::string CookieFilePath() { return ResolvePath(WindowsDirectory() + "/" + CookieFileName); }

std::string CookieLine(const TCookie &C) {
  return "<NAME>" + C.Name + "</NAME><VALUE>" + C.Value + "</VALUE><EXPIRES>" + C.Expires +
         "</EXPIRES><PATH>" + C.Path + "</PATH><DOMAIN>" + C.Domain + "</DOMAIN><SECURE>" + C.Secure +
         "</SECURE>";
}

bool CanStoreCookie(const TCookie &C) {
  if (!WithinCookieSizes(C))
    return false;
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
  return KeyMatches(DomainKey(Domain), UpperCase(Host));
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

void PruneExpiredCookies() { PruneAndUse(nullptr); }

bool CookieHostKnown(const std::string &Host) { return PruneAndUse(&Host); }

std::string GetCookieLine(const std::string &Host) {
  std::string Raw, Pairs;
  bool Existed = false;
  ReadBoundedLines(Raw, false, &Existed).ForEachKept([&](std::string_view Line) {
    const TCookie C = ParseCookieLine(std::string(Line));
    if (C.Name.empty() || !CookieDomainMatches(C.Domain, Host))
      return;
    if (!Pairs.empty())
      Pairs += "; ";
    Pairs += C.Name + "=" + C.Value;
  });
  return Existed ? "Cookie: " + Pairs : Pairs;
}

}  // namespace kv
