#include "net/CookieFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <map>
#include <optional>
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
bool TryWriteCookieFile(const std::string &Data) { return WriteFileAtomic(CookieFilePath(), Data, 0600); }

void WriteCookieFile(const std::string &Data) {
  if (!TryWriteCookieFile(Data))
    throw EInOutError("Unable to write to " + CookieFilePath());
}

bool IsDigits(const std::string &S) {
  if (S.empty())
    return false;
  for (unsigned char C : S)
    if (!std::isdigit(C))
      return false;
  return true;
}

// The tokens of a cookie date (RFC 6265 5.1.1) are the runs between these.
bool IsDateDelimiter(unsigned char C) {
  return C == 0x09 || (C >= 0x20 && C <= 0x2F) || (C >= 0x3B && C <= 0x40) || (C >= 0x5B && C <= 0x60) ||
         (C >= 0x7B && C <= 0x7E);
}

// The digits Token holds from At on, and their count.
size_t LeadingDigits(std::string_view Token, size_t At, int &Value) {
  size_t N = 0;
  Value = 0;
  while (At + N < Token.size() && std::isdigit(static_cast<unsigned char>(Token[At + N]))) {
    if (N < 9)
      Value = Value * 10 + (Token[At + N] - '0');
    ++N;
  }
  return N;
}

// A token that begins with From to To digits: the digits' value, else -1.
int NumberToken(std::string_view Token, size_t From, size_t To) {
  int Value;
  const size_t N = LeadingDigits(Token, 0, Value);
  return N >= From && N <= To ? Value : -1;
}

// A token that begins with a month's first three letters, in any case.
int MonthOf(std::string_view Token) {
  static const char *const Months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  if (Token.size() < 3)
    return 0;
  const std::string Head = UpperCase(std::string(Token.substr(0, 3)));
  for (int M = 0; M < 12; ++M)
    if (Head == Months[M])
      return M + 1;
  return 0;
}

// "H:M:S", one or two digits each, then a non-digit or the token's end.
bool ReadTime(std::string_view Token, int &H, int &M, int &S) {
  int Parts[3];
  size_t At = 0;
  for (int I = 0; I < 3; ++I) {
    const size_t N = LeadingDigits(Token, At, Parts[I]);
    if (N < 1 || N > 2)
      return false;
    At += N;
    if (I < 2) {
      if (At >= Token.size() || Token[At] != ':')
        return false;
      ++At;
    }
  }
  H = Parts[0];
  M = Parts[1];
  S = Parts[2];
  return true;
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

// The domain as the bounds, the host test and a cookie's identity take it.
std::string DomainKey(const std::string &Domain) {
  std::string D = UpperCase(Trim(Domain));
  if (!D.empty() && D[0] == '.')
    D.erase(0, 1);
  return D;
}

using TIdentity = std::tuple<std::string, std::string, std::string>;
TIdentity IdentityOf(const TCookie &C) { return TIdentity(C.Name, DomainKey(C.Domain), C.Path); }

// The creation stamp ends the line, after the six fields, where readers of
// those pass over it: a counter, so a clock set back changes no order.
const std::string_view StampOpen = "<CREATED>", StampClose = "</CREATED>";
constexpr size_t MaxStampDigits = 18;
constexpr uint64_t MaxStamp = 999999999999999999ULL;

// The stamp that ends Line, 0 for none; Field is where its field begins.
uint64_t StampOf(std::string_view Line, size_t *Field = nullptr) {
  if (Line.size() < StampOpen.size() + StampClose.size() + 1 ||
      Line.substr(Line.size() - StampClose.size()) != StampClose)
    return 0;
  const size_t Open = Line.rfind(StampOpen);
  if (Open == std::string_view::npos)
    return 0;
  const size_t First = Open + StampOpen.size();
  const std::string_view Digits = Line.substr(First, Line.size() - StampClose.size() - First);
  if (Digits.empty() || Digits.size() > MaxStampDigits)
    return 0;
  uint64_t Value = 0;
  for (const char C : Digits) {
    if (C < '0' || C > '9')
      return 0;
    Value = Value * 10 + static_cast<uint64_t>(C - '0');
  }
  if (Field)
    *Field = Open;
  return Value;
}

std::string StampField(uint64_t Stamp) {
  return std::string(StampOpen) + std::to_string(Stamp) + std::string(StampClose);
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
      // only the date, which ends at the first ";". A date that does not
      // read is no attribute (RFC 6265 5.2.1).
      TDateTime Date;
      if (Expires.empty() && ParseCookieExpiry(Value, Date))
        Expires = Trim(HeaderValue.substr(SegmentStart + Eq + 1));
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

bool HasNoExpiry(const TCookie &C) {
  const std::string E = Trim(C.Expires);
  return E.empty() || E == CookieNoExpiry;
}

// A stored expiry that does not read counts as passed: it cannot be told
// from damage.
bool HasExpired(const TCookie &C) {
  if (HasNoExpiry(C))
    return false;
  TDateTime Expiry;
  return !ParseCookieExpiry(C.Expires, Expiry) || NowUTC() > Expiry;
}

// The file's lines within the bounds, least recently used first. A cookie is
// used when it is set, replaced or sent (RFC 6265 5.3), and the file keeps
// that order, so the first line is the first to go when a bound is passed;
// expired cookies are dropped before anything is counted. The lines of the
// file are taken in its order as if their cookies came now, so a file an
// earlier version filled without bounds is held at the size of a bounded one,
// and a request sends what the next write will leave.
//
// Each cookie also keeps its creation, the order of the Cookie line: its
// stamp, or for a line an earlier version wrote (no stamp) its place in the
// file as read, before every stamped one. A write that rewrites the file
// stamps those lines in that order, so the order they had stays.
class TBoundedLines {
public:
  TBoundedLines() = default;
  // The indexes point into the lists, which a move takes along.
  TBoundedLines(TBoundedLines &&) = default;
  TBoundedLines(const TBoundedLines &) = delete;
  TBoundedLines &operator=(const TBoundedLines &) = delete;

  // A line of the file. One past the sizes (an earlier version stored any)
  // goes; of two lines of one identity (an earlier version told domains
  // apart by their spelling) the later, most recent one stays.
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
    if (!C.Name.empty())
      DropIdentity(C);
    const uint64_t Stamp = StampOf(Line);
    FMaxStamp = std::max(FMaxStamp, Stamp);
    Append(C, std::string(), Line, TCreation{Stamp, ++FSeq});
    Bound();
  }

  // A cookie that comes now. One whose expiry has passed deletes the lines
  // of its identity and stores nothing, so its slot is free again; any other
  // replaces them, keeping their creation, and goes last, as just used. An
  // expiry that does not read is none. The bounds wait for Bound, so that a
  // deletion later in the same reply frees a slot before anything is evicted
  // for a cookie before it.
  void Store(const TCookie &Given) {
    TCookie C = Given;
    C.Created.clear();
    TDateTime Expiry;
    if (!HasNoExpiry(C) && !ParseCookieExpiry(C.Expires, Expiry))
      C.Expires = CookieNoExpiry;
    const bool Deletion = HasExpired(C);
    if (!Deletion && !CanStoreCookie(C))
      return;
    std::optional<TCreation> Kept = DropIdentity(C);
    if (Kept)
      FChanged = true;
    if (Deletion)
      return;
    if (!Kept) {
      if (FMaxStamp >= MaxStamp)
        Restamp();
      Kept = TCreation{++FMaxStamp, ++FSeq};
    }
    std::string Own = CookieLine(C);
    if (Kept->Stamp && !Fits(Own, Kept->Stamp))
      Kept->Stamp = 0;
    if (Kept->Stamp)
      Own += StampField(Kept->Stamp);
    Append(C, std::move(Own), {}, *Kept);
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

  // Before the file is written anew: lines without a stamp get one, all in
  // their order of creation, unless none lacks one.
  void Stamp() {
    for (const TEntry &E : FLines)
      if (E.Cookie && !E.Created.Stamp && Fits(E.Text(), FLines.size())) {
        Restamp();
        return;
      }
  }

  bool Changed() const { return FChanged; }
  // Whether the file's own lines all stay as they were, in their order: new
  // lines can be appended to its bytes.
  bool FileKept() const { return !FFileLineDropped && !FReordered && !FRestamped; }

  // The lines of Host's cookies in the order they were created.
  template <class TLineFn> void ForEachSent(const std::string &Host, TLineFn Line) const {
    const std::string H = UpperCase(Host);
    std::vector<const TEntry *> Sent;
    for (const TEntry &E : FLines)
      if (!E.Domain.empty() && KeyMatches(E.Domain, H))
        Sent.push_back(&E);
    std::sort(Sent.begin(), Sent.end(), [](const TEntry *A, const TEntry *B) { return A->Created < B->Created; });
    for (const TEntry *E : Sent)
      Line(E->Text());
  }
  std::string Text(bool NewOnly = false) const {
    std::string Data;
    for (const TEntry &E : FLines)
      if (!NewOnly || !E.Own.empty())
        Data.append(E.Text()).append(CRLF);
    return Data;
  }

private:
  // A stamped cookie comes after every unstamped one; the order read or
  // made tells the rest apart.
  struct TCreation {
    uint64_t Stamp = 0;
    uint64_t Seq = 0;
    bool operator<(const TCreation &O) const {
      return std::make_tuple(Stamp != 0, Stamp, Seq) < std::make_tuple(O.Stamp != 0, O.Stamp, O.Seq);
    }
  };
  struct TEntry;
  using TEntryIt = std::list<TEntry>::iterator;
  using TIdentityIt = std::map<TIdentity, std::vector<TEntryIt>>::iterator;
  struct TEntry {
    std::string Own;             // a line made here
    std::string_view FromFile;   // else the file's own bytes
    bool Cookie = false;         // the line has a name
    std::string Domain;          // DomainKey; empty for no cookie or no domain
    TCreation Created;
    TIdentityIt Identity;
    std::list<TEntryIt>::iterator DomainPos;  // in FByDomain[Domain], when it has one
    std::string_view Text() const { return Own.empty() ? FromFile : std::string_view(Own); }
  };

  // A stamp keeps the line within the length the file's readers take, those
  // of earlier versions too: a line that cannot carry one goes without.
  static bool Fits(std::string_view Line, uint64_t Stamp) {
    return Line.size() + StampField(Stamp).size() <= MaxCookieLine();
  }

  // Stamps 1, 2, .. in the order of creation.
  void Restamp() {
    std::vector<TEntry *> Cookies;
    for (TEntry &E : FLines)
      if (E.Cookie)
        Cookies.push_back(&E);
    std::sort(Cookies.begin(), Cookies.end(), [](const TEntry *A, const TEntry *B) { return A->Created < B->Created; });
    FMaxStamp = 0;
    for (TEntry *E : Cookies) {
      size_t Field = 0;
      const std::string_view Line = E->Text();
      const std::string_view Bare = StampOf(Line, &Field) ? Line.substr(0, Field) : Line;
      if (!Fits(Bare, FMaxStamp + 1)) {
        E->Created.Stamp = 0;
        continue;
      }
      E->Created.Stamp = ++FMaxStamp;
      E->Own = std::string(Bare) + StampField(FMaxStamp);
    }
    FRestamped = true;
  }

  // Drops the lines of C's identity; the creation of the first of them.
  std::optional<TCreation> DropIdentity(const TCookie &C) {
    const auto Same = FByIdentity.find(IdentityOf(C));
    if (Same == FByIdentity.end())
      return std::nullopt;
    // The last Drop takes the index entry with it.
    const std::vector<TEntryIt> Lines = Same->second;
    TCreation First = Lines.front()->Created;
    for (const TEntryIt I : Lines) {
      First = std::min(First, I->Created);
      Drop(I);
    }
    return First;
  }

  void Append(const TCookie &C, std::string Own, std::string_view FromFile, TCreation Created) {
    FLines.push_back(TEntry{std::move(Own), FromFile, !C.Name.empty(),
                            C.Name.empty() ? std::string() : DomainKey(C.Domain), Created, {}, {}});
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
  uint64_t FMaxStamp = 0, FSeq = 0;
  bool FChanged = false, FFileLineDropped = false, FReordered = false, FRestamped = false;
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
    Lines.Stamp();
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
// used by the request asking, which goes out with them whether or not the
// write succeeds. True when Host has cookies.
bool PruneAndUse(const std::string *Host) {
  std::string Raw;
  bool Existed = false;
  TBoundedLines Lines = ReadBoundedLines(Raw, true, &Existed);
  const bool Known = Host && Lines.Use(*Host);
  if (Existed) {
    Lines.Stamp();
    if (!TryWriteCookieFile(Lines.Text()) && !Host)
      throw EInOutError("Unable to write to " + CookieFilePath());
  }
  return Known;
}

}  // namespace

std::string CookieFilePath() { return ResolvePath(WindowsDirectory() + "/" + CookieFileName); }

std::string CookieLine(const TCookie &C) {
  return "<NAME>" + C.Name + "</NAME><VALUE>" + C.Value + "</VALUE><EXPIRES>" + C.Expires +
         "</EXPIRES><PATH>" + C.Path + "</PATH><DOMAIN>" + C.Domain + "</DOMAIN><SECURE>" + C.Secure +
         "</SECURE>" + (C.Created.empty() ? std::string() : std::string(StampOpen) + C.Created + std::string(StampClose));
}

bool CanStoreCookie(const TCookie &C) {
  if (!WithinCookieSizes(C))
    return false;
  if (!C.Created.empty() && (C.Created[0] == '0' || !IsDigits(C.Created) || C.Created.size() > MaxStampDigits))
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
  if (const uint64_t Stamp = StampOf(Line))
    C.Created = std::to_string(Stamp);
  return C;
}

bool SameCookie(const TCookie &A, const TCookie &B) { return IdentityOf(A) == IdentityOf(B); }

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
  const std::string_view Text = std::string_view(Expires).substr(0, Expires.find(';'));
  // Each token fills the first of time, day, month and year it fits that is
  // still open; the rest are passed over.
  int Day = -1, Month = 0, Year = -1, H = -1, M = 0, S = 0;
  size_t Start = 0;
  while (Start < Text.size()) {
    while (Start < Text.size() && IsDateDelimiter(static_cast<unsigned char>(Text[Start])))
      ++Start;
    size_t End = Start;
    while (End < Text.size() && !IsDateDelimiter(static_cast<unsigned char>(Text[End])))
      ++End;
    if (End == Start)
      break;
    const std::string_view Token = Text.substr(Start, End - Start);
    Start = End;
    int Number;
    if (H < 0 && ReadTime(Token, H, M, S))
      continue;
    if (Day < 0 && (Number = NumberToken(Token, 1, 2)) >= 0)
      Day = Number;
    else if (Month == 0 && MonthOf(Token))
      Month = MonthOf(Token);
    else if (Year < 0 && (Number = NumberToken(Token, 2, 4)) >= 0)
      Year = Number < 70 ? Number + 2000 : Number < 100 ? Number + 1900 : Number;
  }
  if (Day < 1 || Day > 31 || Month == 0 || Year < 1601 || H < 0 || H > 23 || M > 59 || S > 59)
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
  ReadBoundedLines(Raw, true, &Existed).ForEachSent(Host, [&](std::string_view Line) {
    const TCookie C = ParseCookieLine(std::string(Line));
    if (!Pairs.empty())
      Pairs += "; ";
    Pairs += C.Name + "=" + C.Value;
  });
  return Existed ? "Cookie: " + Pairs : Pairs;
}

}  // namespace kv
