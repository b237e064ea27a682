// The cookie file: Set-Cookie headers to file lines, file lines back to the
// request's "Cookie: " line, expiry pruning, the domain rule and the bounds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <csignal>
#include <filesystem>
#include <memory>
#include <regex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/Common.h"
#include "net/CookieFile.h"
#include "platform/DateTime.h"
#include "platform/SysUtils.h"
#include "tests/support/SaveTargets.h"
#include "tests/support/TestEnv.h"

namespace {

const std::string Host = "www.shop.test";
const std::string Status = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";

std::string Line(const std::string &Name, const std::string &Value, const std::string &Expires = "/",
                 const std::string &Path = "/", const std::string &Domain = Host) {
  return "<NAME>" + Name + "</NAME><VALUE>" + Value + "</VALUE><EXPIRES>" + Expires + "</EXPIRES><PATH>" + Path +
         "</PATH><DOMAIN>" + Domain + "</DOMAIN><SECURE></SECURE>\r\n";
}

std::string WithoutStamps(const std::string &Text) {
  static const std::regex Stamp("<CREATED>[0-9]+</CREATED>(\r\n|$)");
  return std::regex_replace(Text, Stamp, "$1");
}

class Cookies : public ::testing::Test {
protected:
  std::string FilePath() const { return Env / "windows/COOKIE.TXT"; }
  // The file's lines without the creation stamps that end them: the order
  // of the Cookie line shows those.
  std::string File() const { return WithoutStamps(kvtest::ReadFile(FilePath())); }
  std::string RawFile() const { return kvtest::ReadFile(FilePath()); }
  bool HasFile() const { return kvtest::FileExists(FilePath()); }
  void WriteCookies(const std::string &Text) const { kvtest::WriteFile(FilePath(), Text); }
  kvtest::IsolatedEnv Env;
};

struct TSetCookieCase {
  const char *Name;
  std::string Response;
  std::string Expected;  // the file; "" for no file
};

void PrintTo(const TSetCookieCase &C, std::ostream *Out) { *Out << C.Name; }

class SetCookieHeaders : public Cookies, public ::testing::WithParamInterface<TSetCookieCase> {};

TEST_P(SetCookieHeaders, BecomeFileLines) {
  kv::ParseSetCookies(GetParam().Response, Host);
  if (GetParam().Expected.empty())
    EXPECT_FALSE(HasFile());
  else
    EXPECT_EQ(File(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cookies, SetCookieHeaders,
    ::testing::Values(
        TSetCookieCase{"NoSetCookie", Status + "\r\n<html>cookies</html>", ""},
        TSetCookieCase{"PathAndExpiry",
                       Status + "Set-Cookie: id=42; path=/shop; expires=Wed, 09-Jun-2027 10:18:14 GMT\r\n\r\n",
                       Line("id", "42", "Wed, 09-Jun-2027 10:18:14 GMT", "/shop")},
        TSetCookieCase{"AttributesAfterExpiry",
                       Status + "Set-Cookie: id=42; expires=Wed, 09-Jun-2027 10:18:14 GMT; path=/shop; "
                                "domain=.shop.test; secure; HttpOnly\r\n\r\n",
                       Line("id", "42", "Wed, 09-Jun-2027 10:18:14 GMT; path=/shop; domain=.shop.test; secure; HttpOnly",
                            "/shop", ".shop.test")},
        TSetCookieCase{"BlanksAfterTheLastAttributeTrimmed",
                       Status + "Set-Cookie: id=42; expires=Wed, 09-Jun-2027 10:18:14 GMT ;  path=/  \r\n\r\n",
                       Line("id", "42", "Wed, 09-Jun-2027 10:18:14 GMT ;  path=/", "/")},
        TSetCookieCase{"EmptyExpiryBeforeAttributes", Status + "Set-Cookie: a=b; expires= ; path=/x\r\n\r\n",
                       Line("a", "b", "/", "/x")},
        TSetCookieCase{"OnlyNameAndValue", Status + "Set-Cookie: a=b\r\n\r\n", Line("a", "b")},
        TSetCookieCase{"DomainGiven", Status + "Set-Cookie: a=b; Domain=.shop.test\r\n\r\n",
                       Line("a", "b", "/", "/", ".shop.test")},
        TSetCookieCase{"LowerCaseNames", Status + "set-cookie: A=B; PATH=/x; DOMAIN=shop.test; EXPIRES=\r\n\r\n",
                       Line("A", "B", "/", "/x", "shop.test")},
        TSetCookieCase{"FlagsAndIgnoredAttributes",
                       Status + "Set-Cookie: sid=abc; Max-Age=soon; HttpOnly; SameSite=Lax; Secure; Version=1; "
                                "Comment=hi\r\n\r\n",
                       Line("sid", "abc")},
        TSetCookieCase{"TwoCookiesShareTheAttributes", Status + "Set-Cookie: a=1; b=2; path=/p\r\n\r\n",
                       Line("a", "1", "/", "/p") + Line("b", "2", "/", "/p")},
        TSetCookieCase{"TwoHeaders", Status + "Set-Cookie: a=1\r\nX-Other: y\r\nSet-Cookie: b=2; path=/q\r\n\r\n",
                       Line("a", "1") + Line("b", "2", "/", "/q")},
        TSetCookieCase{"ValueHoldsEquals", Status + "Set-Cookie: t=a=b==\r\n\r\n", Line("t", "a=b==")},
        TSetCookieCase{"LineStillArriving", Status + "Set-Cookie: a=1; pa", ""},
        TSetCookieCase{"CompleteLineBeforeOneArriving", Status + "Set-Cookie: a=1\r\nSet-Cookie: b=", Line("a", "1")},
        TSetCookieCase{"BodyIsNotHeaders", Status + "\r\nSet-Cookie: x=1\r\n", ""},
        TSetCookieCase{"NotAtTheStartOfALine", Status + "X-Note: Set-Cookie: x=1\r\n\r\n", ""},
        TSetCookieCase{"NoName", Status + "Set-Cookie: =1; path=/\r\n\r\n", ""},
        TSetCookieCase{"LineFeedsOnly", "HTTP/1.0 200 OK\nSet-Cookie: a=1\n\n", Line("a", "1")}),
    [](const auto &Info) { return std::string(Info.param.Name); });

// A replaced cookie goes last in the file, as the one used most recently,
// and keeps its place in the Cookie line, which is the order of creation.
TEST_F(Cookies, SameIdentityReplacesAndAnotherPathAdds) {
  WriteCookies(Line("keep", "1") + "<NAME>odd</NAME><EXTRA>x</EXTRA>\r\n");
  kv::StoreCookie("id", "old", "/", Host, "/", "");
  kv::StoreCookie("id", "other", "/", Host, "/shop", "");
  kv::StoreCookie("id", "new", "/", Host, "/", "");
  kv::StoreCookie("ID", "case", "/", Host, "/", "");
  EXPECT_EQ(File(), Line("keep", "1") + "<NAME>odd</NAME><EXTRA>x</EXTRA>\r\n" + Line("id", "other", "/", "/shop") +
                        Line("id", "new") + Line("ID", "case"));
  EXPECT_EQ(kv::GetCookieLine(Host), "Cookie: keep=1; id=new; id=other; ID=case");
}

TEST_F(Cookies, FirstCookieCreatesTheFile) {
  EXPECT_FALSE(HasFile());
  kv::StoreCookie("a", "1", "/", Host, "/", "");
  EXPECT_EQ(File(), Line("a", "1"));
}

TEST_F(Cookies, LastLineWithoutItsEndGetsOneBeforeTheNewLine) {
  WriteCookies("<NAME>x</NAME><VALUE>1</VALUE><DOMAIN>a.test</DOMAIN>");
  kv::StoreCookie("a", "1", "/", Host, "/", "");
  EXPECT_EQ(File(), "<NAME>x</NAME><VALUE>1</VALUE><DOMAIN>a.test</DOMAIN>\r\n" + Line("a", "1"));
}

TEST_F(Cookies, UnwritableFileRaisesTheInputOutputError) {
  // A file where the Windows directory should be: no write gets through.
  kvtest::WriteFile(Env / "notadir", "x");
  setenv("KORVANDEL_WINDIR", (Env / "notadir").c_str(), 1);
  EXPECT_THROW(kv::StoreCookie("a", "1", "/", Host, "/", ""), kv::EInOutError);
  EXPECT_THROW(kv::ParseSetCookies(Status + "Set-Cookie: a=1\r\n\r\n", Host), kv::EInOutError);
}

struct TDomainCase {
  const char *Name;
  const char *Domain;
  const char *Host;
  bool Matches;
};

void PrintTo(const TDomainCase &C, std::ostream *Out) { *Out << C.Name; }

class CookieDomains : public ::testing::TestWithParam<TDomainCase> {};

TEST_P(CookieDomains, MatchOnLabelBoundaries) {
  EXPECT_EQ(kv::CookieDomainMatches(GetParam().Domain, GetParam().Host), GetParam().Matches);
}

INSTANTIATE_TEST_SUITE_P(Cookies, CookieDomains,
                         ::testing::Values(TDomainCase{"ParentDomain", "shop.test", "www.shop.test", true},
                                           TDomainCase{"LeadingDot", ".shop.test", "www.shop.test", true},
                                           TDomainCase{"LeadingDotSameHost", ".shop.test", "shop.test", true},
                                           TDomainCase{"SameHost", "www.shop.test", "www.shop.test", true},
                                           TDomainCase{"LetterCase", "SHOP.Test", "www.shop.TEST", true},
                                           TDomainCase{"FullHostToShorterName", "www.shop.test", "shop.test", false},
                                           TDomainCase{"TextInsideALabel", "shop.test", "myshop.test", false},
                                           TDomainCase{"TextInsideTheName", "shop.test", "www.shop.test.evil", false},
                                           TDomainCase{"PartOfALabel", "hop.test", "www.shop.test", false},
                                           TDomainCase{"Empty", "", "www.shop.test", false},
                                           TDomainCase{"DotOnly", ".", "www.shop.test", false},
                                           TDomainCase{"PublicSuffix", "co.uk", "www.bank.co.uk", false},
                                           TDomainCase{"PublicSuffixWithADot", ".CO.UK", "www.bank.co.uk", false},
                                           TDomainCase{"PrivateSuffix", "github.io", "victim.github.io", false},
                                           TDomainCase{"PublicSuffixIsItsOwnHost", "co.uk", "co.uk", true},
                                           TDomainCase{"RegistrableDomain", "bank.co.uk", "www.bank.co.uk", true},
                                           TDomainCase{"AddressLabels", "0.1", "10.0.0.1", false},
                                           TDomainCase{"AddressAboveAnAddress", "127.0.0.1", "1.127.0.0.1", false},
                                           TDomainCase{"HexAddress", "0.0x1", "10.0.0x1", false},
                                           TDomainCase{"AddressItself", "127.0.0.1", "127.0.0.1", true},
                                           TDomainCase{"NumbersInsideAName", "1.shop.test", "www.1.shop.test", true}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

struct TExpiryCase {
  const char *Name;
  const char *Text;
  bool Reads;
  int Year, Month, Day, Hour, Min, Sec;
};

class CookieExpiries : public ::testing::TestWithParam<TExpiryCase> {};

TEST_P(CookieExpiries, ReadTheFormsShopsSend) {
  const TExpiryCase &C = GetParam();
  kv::TDateTime T = -1;
  ASSERT_EQ(kv::ParseCookieExpiry(C.Text, T), C.Reads);
  if (!C.Reads)
    return;
  int Y, M, D, H, N, S, Ms;
  kv::DecodeDate(T, Y, M, D);
  kv::DecodeTime(T, H, N, S, Ms);
  EXPECT_EQ(std::vector<int>({Y, M, D, H, N, S}), std::vector<int>({C.Year, C.Month, C.Day, C.Hour, C.Min, C.Sec}));
}

INSTANTIATE_TEST_SUITE_P(
    Cookies, CookieExpiries,
    ::testing::Values(TExpiryCase{"Netscape", "Wed, 09-Jun-2027 10:18:14 GMT", true, 2027, 6, 9, 10, 18, 14},
                      TExpiryCase{"Rfc1123", "Wed, 09 Jun 2027 10:18:14 GMT", true, 2027, 6, 9, 10, 18, 14},
                      TExpiryCase{"Rfc850", "Wednesday, 09-Jun-27 10:18:14 GMT", true, 2027, 6, 9, 10, 18, 14},
                      TExpiryCase{"Asctime", "Wed Jun  9 10:18:14 2027", true, 2027, 6, 9, 10, 18, 14},
                      TExpiryCase{"TwoDigit99", "Tue, 09-Nov-99 01:02:03 GMT", true, 1999, 11, 9, 1, 2, 3},
                      TExpiryCase{"TwoDigit70", "Thu, 01-Jan-70 00:00:00 GMT", true, 1970, 1, 1, 0, 0, 0},
                      TExpiryCase{"TwoDigit69", "Tue, 31-Dec-69 23:59:59 GMT", true, 2069, 12, 31, 23, 59, 59},
                      TExpiryCase{"LowerCaseMonth", "wed, 09-jun-2027 10:18:14 gmt", true, 2027, 6, 9, 10, 18, 14},
                      TExpiryCase{"AttributesAfter", "Wed, 09-Jun-2027 10:18:14 GMT; path=/", true, 2027, 6, 9, 10,
                                  18, 14},
                      TExpiryCase{"Word", "tomorrow", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"Empty", "", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"NoTime", "Wed, 09-Jun-2027", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"ShortTime", "Wed, 09-Jun-2027 10:18 GMT", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"DayOutOfRange", "Wed, 32-Jun-2027 10:18:14 GMT", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"February30", "Wed, 30-Feb-2027 10:18:14 GMT", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"UnknownMonth", "Wed, 09-Foo-2027 10:18:14 GMT", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"HourOutOfRange", "Wed, 09-Jun-2027 25:00:00 GMT", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"ThreeDigitYear", "Wed, 09-Jun-202 10:18:14 GMT", false, 0, 0, 0, 0, 0, 0},
                      // What RFC 6265 5.1.1 reads besides: a month's full name,
                      // a zone that runs into the time, no zone at all; and a
                      // year before 1601 it does not.
                      TExpiryCase{"FullMonthName", "Wednesday, 09 June 2027 10:18:14 GMT", true, 2027, 6, 9, 10, 18,
                                  14},
                      TExpiryCase{"ZoneAfterTheTime", "09 Jun 2027 10:18:14GMT", true, 2027, 6, 9, 10, 18, 14},
                      TExpiryCase{"NoZone", "Wed, 09-Jun-2027 10:18:14", true, 2027, 6, 9, 10, 18, 14},
                      TExpiryCase{"IsoDate", "2030-01-01", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"IsoDateAndTime", "2030-01-01T00:00:00Z", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"Number", "0", false, 0, 0, 0, 0, 0, 0},
                      TExpiryCase{"YearBefore1601", "Wed, 09-Jun-1600 10:18:14 GMT", false, 0, 0, 0, 0, 0, 0}),
    [](const auto &Info) { return std::string(Info.param.Name); });

std::string UtcText(time_t T) {
  struct tm Tm;
  gmtime_r(&T, &Tm);
  static const char *const Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "%s, %02d-%s-%04d %02d:%02d:%02d GMT", Days[Tm.tm_wday], Tm.tm_mday,
                Months[Tm.tm_mon], Tm.tm_year + 1900, Tm.tm_hour, Tm.tm_min, Tm.tm_sec);
  return Buf;
}

TEST_F(Cookies, PruningDropsPassedAndUnreadableExpiries) {
  WriteCookies(Line("past", "1", "Fri, 01-Jan-2010 00:00:00 GMT") + Line("future", "2", "Fri, 01-Jan-2100 00:00:00 GMT") +
               Line("never", "3", "/") + Line("blank", "4", " ") + Line("unreadable", "5", "soon") +
               Line("ninetynine", "6", "Tue, 09-Nov-99 01:02:03 GMT") + Line("plain", "7", "/") +
               "no tags at all");
  kv::PruneExpiredCookies();
  EXPECT_EQ(File(), Line("future", "2", "Fri, 01-Jan-2100 00:00:00 GMT") + Line("never", "3", "/") +
                        Line("blank", "4", " ") + Line("plain", "7", "/") + "no tags at all\r\n");
}

TEST_F(Cookies, ExpiryIsComparedInUtcWhateverTheZone) {
  const char *OldTz = std::getenv("TZ");
  const std::string Saved = OldTz ? OldTz : "";
  for (const char *Zone : {"EST5EDT", "JST-9", "UTC0"}) {
    SCOPED_TRACE(Zone);
    setenv("TZ", Zone, 1);
    tzset();
    const time_t Now = std::time(nullptr);
    const std::string Both = Line("gone", "1", UtcText(Now - 1800)) + Line("stays", "2", UtcText(Now + 1800));
    WriteCookies(Both);
    EXPECT_EQ(kv::GetCookieLine(Host), "Cookie: stays=2");
    EXPECT_EQ(File(), Both);
    kv::PruneExpiredCookies();
    EXPECT_EQ(File(), Line("stays", "2", UtcText(Now + 1800)));
  }
  if (OldTz)
    setenv("TZ", Saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST_F(Cookies, SetCookiesComeBackInOneLineForTheirHost) {
  kv::ParseSetCookies(Status + "Set-Cookie: a=1\r\nSet-Cookie: b=2; Domain=shop.test\r\n"
                               "Set-Cookie: c=3; Domain=other.test\r\n\r\n",
                      Host);
  EXPECT_TRUE(kv::CookieHostKnown(Host));
  EXPECT_EQ(kv::GetCookieLine(Host), "Cookie: a=1; b=2");
  EXPECT_EQ(kv::GetCookieLine("shop.test"), "Cookie: b=2");
  EXPECT_FALSE(kv::CookieHostKnown("www.third.test"));
}

TEST_F(Cookies, ExpiryWithAttributesAfterItIsReadAsItsDate) {
  const time_t Now = std::time(nullptr);
  const std::string Past = UtcText(Now - 3600), Future = UtcText(Now + 3600);
  kv::ParseSetCookies(Status + "Set-Cookie: old=1; expires=" + Past + "; path=/; domain=shop.test; secure\r\n" +
                          "Set-Cookie: new=2; Expires=" + Future + "; Path=/p; Domain=shop.test; HttpOnly\r\n\r\n",
                      Host);
  // The passed one is a deletion: nothing of it is stored.
  EXPECT_EQ(File(), Line("new", "2", Future + "; Path=/p; Domain=shop.test; HttpOnly", "/p", "shop.test"));
  // The stored field gives back exactly the date the shop sent.
  kv::TDateTime Stored, Sent;
  const std::string Written = File();
  ASSERT_TRUE(kv::ParseCookieExpiry(kv::ParseCookieLine(Written.substr(Written.find("<NAME>new"))).Expires, Stored));
  ASSERT_TRUE(kv::ParseCookieExpiry(Future, Sent));
  EXPECT_EQ(Stored, Sent);
  EXPECT_TRUE(kv::CookieHostKnown(Host));
  EXPECT_EQ(kv::GetCookieLine(Host), "Cookie: new=2");
  // Pruning keeps the surviving line as it was stored.
  EXPECT_EQ(File(), Line("new", "2", Future + "; Path=/p; Domain=shop.test; HttpOnly", "/p", "shop.test"));
}

// One shop's reply must not say anything about another shop's cookies.
TEST_F(Cookies, ReplyOfOneShopPlantsNothingForAnother) {
  const std::string Victim = Line("sid", "real", "/", "/", "victim.test");
  WriteCookies(Victim);
  kv::ParseSetCookies(Status + "Set-Cookie: sid=x</VALUE><DOMAIN>victim.test</DOMAIN>; path=/\r\n"
                               "Set-Cookie: sid=y; Domain=victim.test; path=/\r\n"
                               "Set-Cookie: sid=z; Domain=test; path=/\r\n\r\n",
                      "evil.test");
  EXPECT_EQ(kv::GetCookieLine("victim.test"), "Cookie: sid=real");
  EXPECT_EQ(kv::GetCookieLine("evil.test"), "Cookie: ");
  EXPECT_EQ(File(), Victim);
}

// A line written before such cookies were refused: a field tag that occurs
// twice makes the line say nothing certain, so it is no cookie.
TEST_F(Cookies, LineWithATagTwiceIsNoCookie) {
  const std::string Planted = "<NAME>sid</NAME><VALUE>x</VALUE><DOMAIN>victim.test</DOMAIN></VALUE><EXPIRES>/"
                              "</EXPIRES><PATH>/</PATH><DOMAIN>evil.test</DOMAIN><SECURE></SECURE>\r\n";
  WriteCookies(Planted + Line("sid", "real", "/", "/", "victim.test"));
  EXPECT_EQ(kv::GetCookieLine("victim.test"), "Cookie: sid=real");
  EXPECT_EQ(kv::GetCookieLine("evil.test"), "Cookie: ");
  kv::StoreCookie("sid", "new", "/", "victim.test", "/", "");
  EXPECT_EQ(File(), Planted + Line("sid", "new", "/", "/", "victim.test"));
  EXPECT_EQ(kv::ParseCookieLine("<name>a</name><NAME>b</NAME>").Name, "");
}

struct THostileCase {
  const char *Name;
  std::string CookieName, Value, Path, Expires;
  bool Stored;  // false: refused, the file untouched
};
void PrintTo(const THostileCase &C, std::ostream *Out) { *Out << C.Name; }

class HostileCookieTexts : public Cookies, public ::testing::WithParamInterface<THostileCase> {};

// Whatever a cookie's texts hold, its line reads back as exactly that cookie
// for its own host, or it is not stored at all; a cookie already there stays.
TEST_P(HostileCookieTexts, ReadBackExactlyOrAreRefused) {
  const THostileCase &C = GetParam();
  const std::string Before = Line("keep", "1", "/", "/", "victim.test");
  WriteCookies(Before);
  kv::StoreCookie(C.CookieName, C.Value, C.Expires, Host, C.Path, "");
  const std::string After = File();
  if (!C.Stored) {
    EXPECT_EQ(After, Before);
    return;
  }
  ASSERT_EQ(After.rfind(Before, 0), 0u) << After;
  const std::string Written = After.substr(Before.size());
  ASSERT_GE(Written.size(), 2u);
  EXPECT_EQ(Written.find_first_of(std::string("\r\n\0", 3)), Written.size() - 2) << "one line";
  const kv::TCookie Back = kv::ParseCookieLine(Written.substr(0, Written.size() - 2));
  EXPECT_EQ(Back.Name, C.CookieName);
  EXPECT_EQ(Back.Value, C.Value);
  EXPECT_EQ(Back.Path, C.Path);
  EXPECT_EQ(Back.Expires, C.Expires);
  EXPECT_EQ(Back.Domain, Host);
  EXPECT_EQ(kv::GetCookieLine("victim.test"), "Cookie: keep=1");
  EXPECT_EQ(kv::GetCookieLine(Host), "Cookie: " + C.CookieName + "=" + C.Value);
  // Stored again, it replaces its own line.
  kv::StoreCookie(C.CookieName, C.Value, C.Expires, Host, C.Path, "");
  EXPECT_EQ(File(), After);
}

INSTANTIATE_TEST_SUITE_P(
    Cookies, HostileCookieTexts,
    ::testing::Values(
        THostileCase{"ValueNamesAnotherDomain", "sid", "x</VALUE><DOMAIN>victim.test</DOMAIN>", "/", "/", false},
        THostileCase{"ValueInLowerCaseTags", "sid", "x</value><domain>victim.test</domain>", "/", "/", false},
        THostileCase{"NameOpensATag", "<NAME>sid", "1", "/", "/", false},
        THostileCase{"NameClosesItsTag", "sid</NAME>", "1", "/", "/", false},
        THostileCase{"PathNamesAnotherDomain", "sid", "1", "/</PATH><DOMAIN>victim.test</DOMAIN>", "/", false},
        THostileCase{"ExpiryNamesAnotherDomain", "sid", "1", "/",
                     "Wed, 09-Jun-2100 10:18:14 GMT</EXPIRES><DOMAIN>victim.test</DOMAIN>", false},
        THostileCase{"ValueOpensTheSecureTag", "sid", "<SECURE>", "/", "/", false},
        THostileCase{"LineFeed", "sid", "a\nb", "/", "/", false},
        THostileCase{"CarriageReturn", "sid", "a\rb", "/", "/", false},
        THostileCase{"NulInTheName", std::string("s\0d", 3), "1", "/", "/", false},
        THostileCase{"NulInTheValue", "sid", std::string("a\0b", 3), "/", "/", false},
        THostileCase{"LessThan", "sid", "a<b", "/", "/", true},
        THostileCase{"GreaterThan", "sid", "a>b", "/", "/", true},
        THostileCase{"AngleBrackets", "s<i>d", "<x>", "/", "/", true},
        THostileCase{"TagWithoutItsEnd", "sid", "x</VALUE", "/", "/", true},
        THostileCase{"TagWithoutItsStart", "sid", "/VALUE><DOMAIN", "/", "/", true},
        THostileCase{"LessThanAtTheEnd", "sid<", "v<", "/p<", "Wed, 09-Jun-2100 10:18:14 GMT <", true},
        THostileCase{"TagNameWithoutBrackets", "DOMAIN", "VALUE", "/", "/", true}),
    [](const auto &Info) { return std::string(Info.param.Name); });

// Names Name<From>..Name<To - 1>, each of Value, in one domain.
std::string Lines(const std::string &Name, int From, int To, const std::string &Domain = Host,
                  const std::string &Value = "v") {
  std::string Text;
  for (int I = From; I < To; ++I)
    Text += Line(Name + std::to_string(I), Value, "/", "/", Domain);
  return Text;
}
std::string SetCookies(const std::string &Name, int From, int To) {
  std::string Text;
  for (int I = From; I < To; ++I)
    Text += "Set-Cookie: " + Name + std::to_string(I) + "=v\r\n";
  return Text;
}
// 50 of each of Domains domains, "d<K>.other.test".
std::string FullDomains(int Domains) {
  std::string Text;
  for (int K = 0; K < Domains; ++K)
    Text += Lines("n", 0, 50, "d" + std::to_string(K) + ".other.test");
  return Text;
}
std::string Without(std::string Text, const std::string &Part) { return Text.erase(Text.find(Part), Part.size()); }

struct TBoundCase {
  const char *Name;
  std::string Before;    // the file, left 0644 as an earlier version wrote it; "" for none
  std::string Cookies;   // the Set-Cookie lines of one reply of Host's
  std::string Expected;  // the file after it
  bool Written;          // else the file is left as it was, its mode too
};
void PrintTo(const TBoundCase &C, std::ostream *Out) { *Out << C.Name; }

class CookieBounds : public Cookies, public ::testing::WithParamInterface<TBoundCase> {};

TEST_P(CookieBounds, HoldHoweverCookiesCome) {
  const TBoundCase &C = GetParam();
  if (!C.Before.empty()) {
    WriteCookies(C.Before);
    std::filesystem::permissions(FilePath(), std::filesystem::perms(0644));
  }
  kv::ParseSetCookies(Status + C.Cookies + "\r\n", Host);
  ASSERT_TRUE(HasFile());
  EXPECT_EQ(File(), C.Expected);
  EXPECT_EQ(std::filesystem::status(FilePath()).permissions(), std::filesystem::perms(C.Written ? 0600 : 0644));
}

const std::string Big = Line("big", std::string(5000, 'x'));

INSTANTIATE_TEST_SUITE_P(
    Cookies, CookieBounds,
    ::testing::Values(
        TBoundCase{"NameAndValueOf4096Bytes", "", "Set-Cookie: n=" + std::string(4095, 'v') + "\r\n",
                   Line("n", std::string(4095, 'v')), true},
        TBoundCase{"NameAndValueOneByteOver", Line("keep", "1"), "Set-Cookie: n=" + std::string(4096, 'v') + "\r\n",
                   Line("keep", "1"), false},
        // The other fields: expiry "/", the path, the domain (13 bytes).
        TBoundCase{"AttributesOf4096Bytes", "", "Set-Cookie: n=1; path=/" + std::string(4081, 'p') + "\r\n",
                   Line("n", "1", "/", "/" + std::string(4081, 'p')), true},
        TBoundCase{"AttributesOneByteOver", Line("keep", "1"),
                   "Set-Cookie: n=1; path=/" + std::string(4082, 'p') + "\r\n", Line("keep", "1"), false},
        TBoundCase{"FiftyFirstOfADomainEvictsItsOldest", Line("o", "1", "/", "/", "other.test") + Lines("h", 0, 50),
                   SetCookies("h", 50, 51), Line("o", "1", "/", "/", "other.test") + Lines("h", 1, 51), true},
        TBoundCase{"DomainInAnyCaseAndWithADotIsOneDomain", Lines("a", 0, 25, ".shop.test") + Lines("b", 0, 25, "SHOP.test"),
                   "Set-Cookie: c=1; Domain=shop.test\r\n",
                   Lines("a", 1, 25, ".shop.test") + Lines("b", 0, 25, "SHOP.test") + Line("c", "1", "/", "/", "shop.test"),
                   true},
        TBoundCase{"ParentDomainCountsOnItsOwn", Lines("a", 0, 50, "shop.test"), SetCookies("h", 0, 1),
                   Lines("a", 0, 50, "shop.test") + Lines("h", 0, 1), true},
        TBoundCase{"ThreeThousandFirstEvictsTheOldestOfAll", FullDomains(60), SetCookies("h", 0, 1),
                   Without(FullDomains(60), Line("n0", "v", "/", "/", "d0.other.test")) + Lines("h", 0, 1), true},
        // At both bounds at once: nothing goes, and the replaced one goes last.
        TBoundCase{"ReplacementCountsOnce", FullDomains(59) + Lines("h", 0, 50), "Set-Cookie: h7=new\r\n",
                   FullDomains(59) + Without(Lines("h", 0, 50), Line("h7", "v")) + Line("h7", "new"), true},
        // Replaced, it is the newest, so the next new cookie evicts the one after it.
        TBoundCase{"ReplacedCookieGoesLast", Lines("h", 0, 50), "Set-Cookie: h0=new\r\n" + SetCookies("h", 50, 51),
                   Lines("h", 2, 50) + Line("h0", "new") + Lines("h", 50, 51), true},
        // In one reply as in many: c0 has gone by the time it comes again.
        TBoundCase{"ManyInOneReply", "", SetCookies("c", 0, 60) + "Set-Cookie: c0=again\r\n",
                   Lines("c", 11, 60) + Line("c0", "again"), true},
        // An earlier version's file: 1,806 of this host's and one too large.
        TBoundCase{"OverFullFileIsBoundedAtItsNextWrite", Lines("h", 0, 1806) + Big, SetCookies("n", 0, 1),
                   Lines("h", 1757, 1806) + Lines("n", 0, 1), true},
        TBoundCase{"RefusedCookieLeavesAnOverFullFile", Lines("h", 0, 1806) + Big,
                   "Set-Cookie: big=" + std::string(5000, 'x') + "\r\n", Lines("h", 0, 1806) + Big, false}),
    [](const auto &Info) { return std::string(Info.param.Name); });

// What an over-full file sends is what its next write leaves, which the next
// request's pruning makes.
TEST_F(Cookies, OverFullFileSendsOnlyWhatItsBoundsKeep) {
  WriteCookies(Lines("h", 0, 1806) + Big + Lines("p", 0, 60, "shop.test"));
  std::string Sent = "Cookie: ";
  for (int I = 1756; I < 1806; ++I)
    Sent += "h" + std::to_string(I) + "=v; ";
  for (int I = 10; I < 60; ++I)
    Sent += "p" + std::to_string(I) + "=v" + (I < 59 ? "; " : "");
  EXPECT_EQ(kv::GetCookieLine(Host), Sent);
  EXPECT_EQ(File(), Lines("h", 0, 1806) + Big + Lines("p", 0, 60, "shop.test"));
  EXPECT_TRUE(kv::CookieHostKnown(Host));
  EXPECT_EQ(File(), Lines("h", 1756, 1806) + Lines("p", 10, 60, "shop.test"));
  EXPECT_EQ(std::filesystem::status(FilePath()).permissions(), std::filesystem::perms(0600));
  EXPECT_EQ(kv::GetCookieLine(Host), Sent);
}

// Many cookies in one reply cost one pass over the file, not one each, and
// leave the newest of them.
TEST_F(Cookies, ManySetCookieLinesKeepTheNewestWithinTheBounds) {
  std::string Reply = Status;
  for (int I = 0; I < 20000; ++I)
    Reply += "Set-Cookie: c" + std::to_string(I) + "=" + std::to_string(I) + "\r\n";
  Reply += "Set-Cookie: c7=again\r\n\r\n";
  std::string Expected;
  for (int I = 19951; I < 20000; ++I)
    Expected += Line("c" + std::to_string(I), std::to_string(I));
  Expected += Line("c7", "again");
  // How long this takes is measured in bench/cookies.
  kv::ParseSetCookies(Reply, Host);
  EXPECT_EQ(File(), Expected);
}

TEST_F(Cookies, LinesWithoutANameAreSkipped) {
  WriteCookies(Line("", "v") + "<VALUE>w</VALUE><DOMAIN>www.shop.test</DOMAIN>\r\n");
  EXPECT_FALSE(kv::CookieHostKnown(Host));
  WriteCookies(Line("", "v") + Line("n", "1"));
  EXPECT_EQ(kv::GetCookieLine(Host), "Cookie: n=1");
}

TEST_F(Cookies, MissingFileHasNoCookiesAndStaysMissing) {
  EXPECT_FALSE(kv::CookieHostKnown(Host));
  EXPECT_EQ(kv::GetCookieLine(Host), "");
  kv::PruneExpiredCookies();
  EXPECT_FALSE(HasFile());
}

// Read to its end, and pruned to the newest lines the bounds keep.
TEST_F(Cookies, FilesBeyond32767LinesAreRead) {
  std::string Text, Kept;
  for (int I = 0; I < 40000; ++I) {
    const std::string L = Line("n", "v", "/", "/", "h" + std::to_string(I) + ".other.test");
    Text += L;
    if (I > 40000 - 3000)
      Kept += L;
  }
  Text += Line("last", "1");
  WriteCookies(Text);
  EXPECT_TRUE(kv::CookieHostKnown(Host));
  EXPECT_EQ(kv::GetCookieLine(Host), "Cookie: last=1");
  EXPECT_EQ(File(), Kept + Line("last", "1"));
}

// The disk takes no more than Bytes per file while it lives.
class TFullDisk {
public:
  explicit TFullDisk(rlim_t Bytes) : FOldSignal(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &FOld);
    const rlimit Now{Bytes, FOld.rlim_max};
    setrlimit(RLIMIT_FSIZE, &Now);
  }
  ~TFullDisk() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldSignal);
  }

private:
  void (*FOldSignal)(int);
  rlimit FOld{};
};

// A browser's store, reply by reply and request by request: deletions,
// eviction by use, and the domains a shop or an address may name.
struct TStep {
  std::string Host;
  std::string SetCookies;  // a reply's Set-Cookie lines; empty for a request
  std::string MustSend;    // for a request: a name=value pair its Cookie line
                           // carries, or the whole line ("Cookie: ..")
  bool DiskFull = false;   // the request is made while the disk takes nothing
};
struct TSent {
  std::string Host;
  std::vector<std::string> Sent, NotSent;  // name=value pairs of its Cookie line
};
struct TUseCase {
  const char *Name;
  std::string Before;  // the file; "" for none
  std::vector<TStep> Steps;
  std::vector<TSent> Then;  // requests after the steps
  int Lines;                // the lines the file ends with
  int BeforeMode = 0600;    // the mode the file is left with
};
void PrintTo(const TUseCase &C, std::ostream *Out) { *Out << C.Name; }

// A request as the catalogue builds it: a failing cookie file drops the line.
std::string Request(const std::string &ToHost) {
  try {
    return kv::CookieHostKnown(ToHost) ? kv::GetCookieLine(ToHost) : std::string();
  } catch (const kv::EInOutError &) {
    return std::string();
  }
}
bool Carries(const std::string &CookieLine, const std::string &Pair) {
  const std::string Pairs = "; " + CookieLine.substr(std::min<size_t>(8, CookieLine.size())) + ";";
  return Pairs.find("; " + Pair + ";") != std::string::npos;
}

class CookieStore : public Cookies, public ::testing::WithParamInterface<TUseCase> {};

TEST_P(CookieStore, KeepsWhatABrowserKeeps) {
  const TUseCase &C = GetParam();
  if (!C.Before.empty()) {
    WriteCookies(C.Before);
    chmod(FilePath().c_str(), static_cast<mode_t>(C.BeforeMode));
  }
  for (size_t I = 0; I < C.Steps.size(); ++I) {
    const TStep &S = C.Steps[I];
    if (!S.SetCookies.empty()) {
      kv::ParseSetCookies(Status + S.SetCookies + "\r\n", S.Host);
      continue;
    }
    std::unique_ptr<TFullDisk> Full;
    if (S.DiskFull)
      Full = std::make_unique<TFullDisk>(64);
    const std::string Sent = Request(S.Host);
    Full.reset();
    if (S.MustSend.rfind("Cookie: ", 0) == 0) {
      ASSERT_EQ(Sent, S.MustSend) << "step " << I << ", to " << S.Host;
    } else if (!S.MustSend.empty()) {
      ASSERT_TRUE(Carries(Sent, S.MustSend)) << "step " << I << ", to " << S.Host << ": " << Sent.substr(0, 300);
    }
  }
  for (const TSent &T : C.Then) {
    const std::string Sent = Request(T.Host);
    for (const std::string &P : T.Sent)
      EXPECT_TRUE(Carries(Sent, P)) << T.Host << " without " << P << ": " << Sent.substr(0, 300);
    for (const std::string &P : T.NotSent)
      EXPECT_FALSE(Carries(Sent, P)) << T.Host << " with " << P;
  }
  const std::string Left = HasFile() ? File() : std::string();
  size_t Count = 0;
  for (size_t At = Left.find("\r\n"); At != std::string::npos; At = Left.find("\r\n", At + 2))
    ++Count;
  EXPECT_EQ(Count, static_cast<size_t>(C.Lines));
  EXPECT_EQ(Left.find("<NAME>gone</NAME>"), std::string::npos) << "a deletion stores nothing";
}

const std::string Gone = "Thu, 01-Jan-1970 00:00:00 GMT";
const std::string Session = Line("sid", "s") + Lines("o", 0, 49);

std::vector<TStep> EveryPageSetsTheSessionAndOneMore() {
  std::vector<TStep> S{{Host, "Set-Cookie: sid=s\r\n", ""}};
  for (int P = 0; P < 60; ++P) {
    S.push_back({Host, "", "sid=s"});
    S.push_back({Host, "Set-Cookie: sid=s\r\nSet-Cookie: p" + std::to_string(P) + "=v\r\n", ""});
  }
  return S;
}

std::vector<TStep> OtherShopsFloodWhileOneIsInUse() {
  std::vector<TStep> S{{Host, "Set-Cookie: sid=s\r\n", ""}};
  for (int K = 0; K < 60; ++K) {
    S.push_back({"d" + std::to_string(K) + ".other.test", SetCookies("n", 0, 50), ""});
    S.push_back({Host, "", "sid=s"});
    S.push_back({Host, "Set-Cookie: sid=s\r\n", ""});
  }
  return S;
}

INSTANTIATE_TEST_SUITE_P(
    Cookies, CookieStore,
    ::testing::Values(
        TUseCase{"DeletingACookieNotHeldTakesNoSlot", Session,
                 {{Host, "Set-Cookie: gone=; expires=" + Gone + "\r\n", ""}, {Host, "", "sid=s"}},
                 {},
                 50},
        TUseCase{"DeletingOneAndSettingAnotherInOneReply", Session,
                 {{Host, "Set-Cookie: o3=; expires=" + Gone + "\r\nSet-Cookie: n=1\r\n", ""}},
                 {{Host, {"sid=s", "n=1", "o4=v"}, {"o3=v", "o3="}}},
                 50},
        TUseCase{"SettingAnotherAndThenDeletingOneInOneReply", Session,
                 {{Host, "Set-Cookie: n=1\r\nSet-Cookie: o3=; expires=" + Gone + "\r\n", ""}},
                 {{Host, {"sid=s", "n=1"}, {"o3=v", "o3="}}},
                 50},
        TUseCase{"MaxAgeZeroDeletes", Line("m", "1"), {{Host, "Set-Cookie: m=; Max-Age=0\r\n", ""}},
                 {{Host, {}, {"m=", "m=1"}}}, 0},
        TUseCase{"MaxAgeBelowZeroDeletesWhateverTheExpiry", Line("m", "1"),
                 {{Host, "Set-Cookie: m=; expires=Fri, 01-Jan-2100 00:00:00 GMT; Max-Age=-5\r\n", ""}},
                 {{Host, {}, {"m=", "m=1"}}}, 0},
        TUseCase{"MaxAgeOutranksAPassedExpiry", "",
                 {{Host, "Set-Cookie: k=2; expires=" + Gone + "; Max-Age=3600\r\n", ""}}, {{Host, {"k=2"}, {}}}, 1},
        TUseCase{"AnotherShopDeletesNothing", Line("sid", "s", "/", "/", "victim.test"),
                 {{"evil.test", "Set-Cookie: sid=; Domain=victim.test; Max-Age=0\r\n", ""}},
                 {{"victim.test", {"sid=s"}, {}}}, 1},
        TUseCase{"TheSessionSetOnEveryPageOutlivesOneNewCookieAPage", "", EveryPageSetsTheSessionAndOneMore(),
                 {{Host, {"sid=s", "p59=v", "p11=v"}, {"p0=v", "p10=v"}}}, 50},
        TUseCase{"AShopInUseKeepsItsSessionWhileOthersFlood", "", OtherShopsFloodWhileOneIsInUse(),
                 {{Host, {"sid=s"}, {}}}, 3000},
        TUseCase{"ASentCookieCountsAsUsed", FullDomains(60),
                 {{"d0.other.test", "", "n0=v"}, {Host, "Set-Cookie: h=1\r\n", ""}},
                 {{"d0.other.test", {"n0=v", "n49=v"}, {}}, {"d1.other.test", {"n1=v"}, {"n0=v"}}}, 3000},
        TUseCase{"ExpiredCookiesGoBeforeAnyInUse",
                 FullDomains(59) + Line("old", "1", Gone, "/", "x.test") + Lines("h", 0, 49),
                 {{Host, "Set-Cookie: h49=v\r\n", ""}}, {{"d0.other.test", {"n0=v"}, {}}}, 3000},
        TUseCase{"APublicSuffixIsNoDomainToSet", "",
                 {{"www.shop.co.uk", "Set-Cookie: fix=1; Domain=co.uk\r\nSet-Cookie: fix2=1; Domain=.CO.UK\r\n", ""}},
                 {{"www.bank.co.uk", {}, {"fix=1", "fix2=1"}}}, 0},
        TUseCase{"APrivateSuffixIsNoDomainToSet", "",
                 {{"evil.github.io", "Set-Cookie: fix=1; Domain=github.io\r\n", ""}},
                 {{"victim.github.io", {}, {"fix=1"}}}, 0},
        TUseCase{"ASuffixThatIsTheHostKeepsItsCookiesToItself", "",
                 {{"co.uk", "Set-Cookie: own=1; Domain=co.uk\r\n", ""}},
                 {{"co.uk", {"own=1"}, {}}, {"www.bank.co.uk", {}, {"own=1"}}}, 1},
        TUseCase{"TheShopsOwnDomainUnderASuffixStillWorks", "",
                 {{"www.shop.co.uk", "Set-Cookie: cur=EUR; Domain=shop.co.uk\r\n", ""}},
                 {{"pay.shop.co.uk", {"cur=EUR"}, {}}, {"www.bank.co.uk", {}, {"cur=EUR"}}}, 1},
        TUseCase{"AnAddressNamesNoDomainAboveIt", "",
                 {{"127.0.0.1", "Set-Cookie: ip=1; Domain=0.1\r\nSet-Cookie: ip2=1; Domain=0.0.1\r\n", ""}},
                 {{"10.0.0.1", {}, {"ip=1", "ip2=1"}}, {"192.168.0.1", {}, {"ip=1"}}}, 0},
        TUseCase{"AnAddressKeepsItsCookiesToItself", "",
                 {{"127.0.0.1", "Set-Cookie: ip=1\r\nSet-Cookie: ip2=1; Domain=127.0.0.1\r\n", ""}},
                 {{"127.0.0.1", {"ip=1", "ip2=1"}, {}}, {"1.127.0.0.1", {}, {"ip=1", "ip2=1"}}}, 2},
        TUseCase{"AnEarlierFilesCookiesForAddressLabelsOrASuffixStayUnsent",
                 Line("ip", "1", "/", "/", "0.1") + Line("ps", "1", "/", "/", "co.uk"), {},
                 {{"10.0.0.1", {}, {"ip=1"}}, {"www.bank.co.uk", {}, {"ps=1"}}}, 2},
        // One cookie whatever the spelling of its domain: leading dot and
        // letter case aside.
        TUseCase{"MaxAgeZeroDeletesTheCookieOfADomainSpelledOtherwise", "",
                 {{Host, "Set-Cookie: sid=1; Domain=.shop.test\r\n", ""},
                  {Host, "Set-Cookie: sid=; Domain=shop.test; Max-Age=0\r\n", ""}},
                 {{Host, {}, {"sid=1"}}}, 0},
        TUseCase{"APassedExpiresDeletesTheCookieOfADomainSpelledOtherwise", "",
                 {{Host, "Set-Cookie: sid=1; Domain=.shop.test\r\n", ""},
                  {Host, "Set-Cookie: sid=; Domain=Shop.TEST; Expires=" + Gone + "\r\n", ""}},
                 {{Host, {}, {"sid=1"}}}, 0},
        TUseCase{"ANewValueReplacesTheCookieOfADomainSpelledOtherwise", "",
                 {{Host, "Set-Cookie: sid=1; Domain=shop.test\r\n", ""},
                  {Host, "Set-Cookie: sid=2; Domain=.SHOP.test\r\n", ""}},
                 {{Host, {"sid=2"}, {"sid=1"}}}, 1},
        TUseCase{"AnEarlierFilesTwoSpellingsOfOneCookieKeepTheMostRecent",
                 Line("sid", "old", "/", "/", ".shop.test") + Line("sid", "new", "/", "/", "SHOP.test"), {},
                 {{Host, {"sid=new"}, {"sid=old"}}}, 1},
        // The Cookie line stands in the order the cookies were created,
        // whatever order their use gives the file.
        TUseCase{"AReplacedCookieKeepsItsPlaceInTheLine", "",
                 {{Host, "Set-Cookie: sid=1\r\nSet-Cookie: cur=EUR\r\n", ""},
                  {Host, "", "Cookie: sid=1; cur=EUR"},
                  {Host, "Set-Cookie: sid=1\r\n", ""},
                  {Host, "", "Cookie: sid=1; cur=EUR"},
                  {Host, "Set-Cookie: sid=2\r\n", ""},
                  {Host, "", "Cookie: sid=2; cur=EUR"}},
                 {}, 2},
        TUseCase{"ARequestToAnotherHostLeavesTheLineAsItWas", "",
                 {{Host, "Set-Cookie: sid=a; Domain=shop.test\r\nSet-Cookie: sid=b\r\n", ""},
                  {Host, "Set-Cookie: cur=EUR; Domain=shop.test\r\n", ""},
                  {Host, "", "Cookie: sid=a; sid=b; cur=EUR"},
                  {"pay.shop.test", "", "Cookie: sid=a; cur=EUR"},
                  {Host, "", "Cookie: sid=a; sid=b; cur=EUR"}},
                 {}, 3},
        TUseCase{"AnEarlierFilesCookiesKeepTheOrderTheyWereRead",
                 Line("a", "1") + Line("b", "1") + Line("o", "1", "/", "/", "other.test"),
                 {{Host, "", "Cookie: a=1; b=1"},
                  {Host, "Set-Cookie: a=2\r\nSet-Cookie: c=1\r\n", ""},
                  {"other.test", "", "Cookie: o=1"},
                  {Host, "", "Cookie: a=2; b=1; c=1"}},
                 {}, 4},
        // An Expires that does not read is no Expires: the cookie lasts the
        // session, unless a Max-Age says otherwise.
        TUseCase{"AnExpiresThatDoesNotReadIsIgnored", Line("sid", "s"),
                 {{Host,
                   "Set-Cookie: sid=t; Expires=2030-01-01\r\nSet-Cookie: z=1; expires=0\r\n"
                   "Set-Cookie: m=1; expires=-1\r\nSet-Cookie: iso=1; Expires=2030-01-01T00:00:00Z\r\n"
                   "Set-Cookie: hm=1; Expires=Wed, 09-Jun-2027 10:18 GMT\r\n",
                   ""},
                  {Host, "", "Cookie: sid=t; z=1; m=1; iso=1; hm=1"},
                  {Host, "Set-Cookie: ma=1; Expires=soon; Max-Age=0\r\n", ""}},
                 {{Host, {"sid=t"}, {"ma=1"}}}, 5},
        // A write that fails costs the request nothing: it carries what the
        // file holds, pruned as the write would have left it.
        TUseCase{"ARequestOnAFullDiskCarriesItsCookies",
                 Line("sid", "s") + Line("old", "1", Gone) + Line("cur", "EUR"),
                 {{Host, "", "Cookie: sid=s; cur=EUR", true}},
                 {}, 3},
        TUseCase{"ARequestWithAReadOnlyFileCarriesItsCookies",
                 Line("sid", "s") + Line("old", "1", Gone) + Line("cur", "EUR"),
                 {{Host, "", "Cookie: sid=s; cur=EUR"}},
                 {}, 3, 0400}),
    [](const auto &Info) { return std::string(Info.param.Name); });

// The previous release's reader: a line longer than its six tags and two
// full halves goes; a tag of the six that opens twice makes no cookie;
// otherwise it takes the six fields and nothing else.
std::vector<kv::TCookie> ReadAsThePreviousRelease(const std::string &File) {
  const size_t Longest = kv::CookieLine(kv::TCookie{}).size() + kv::MaxCookieText + kv::MaxCookieAttributes;
  std::vector<kv::TCookie> Read;
  for (size_t Start = 0, End; (End = File.find("\r\n", Start)) != std::string::npos; Start = End + 2) {
    const std::string L = File.substr(Start, End - Start);
    if (L.size() > Longest)
      continue;
    bool Twice = false;
    for (const std::string Tag : {"<NAME>", "<VALUE>", "<EXPIRES>", "<PATH>", "<DOMAIN>", "<SECURE>"})
      Twice = Twice || (L.find(Tag) != std::string::npos && L.find(Tag, L.find(Tag) + 1) != std::string::npos);
    if (Twice)
      continue;
    Read.push_back(kv::TCookie{::GetTextBetween(L, "<NAME>", "</NAME>"), ::GetTextBetween(L, "<VALUE>", "</VALUE>"),
                               ::GetTextBetween(L, "<EXPIRES>", "</EXPIRES>"), ::GetTextBetween(L, "<PATH>", "</PATH>"),
                               ::GetTextBetween(L, "<DOMAIN>", "</DOMAIN>"), ::GetTextBetween(L, "<SECURE>", "</SECURE>")});
  }
  return Read;
}

// What a file of this version holds reads the same with the previous
// release's rules: the creation stamps are passed over, and a cookie as
// large as the bounds allow is kept whole.
TEST_F(Cookies, TheFileReadsAsThePreviousReleaseReadsIt) {
  const std::string Largest = "Set-Cookie: n=" + std::string(4095, 'v') + "; path=/" + std::string(4081, 'p') + "\r\n";
  WriteCookies(Line("old", "1") + Line("o", "1", "/", "/", "other.test"));
  kv::ParseSetCookies(Status + "Set-Cookie: a=1\r\nSet-Cookie: b=1; Domain=shop.test\r\n\r\n", Host);
  EXPECT_TRUE(kv::CookieHostKnown(Host));
  kv::ParseSetCookies(Status + "Set-Cookie: a=2\r\n" + Largest + "\r\n", Host);
  EXPECT_TRUE(kv::CookieHostKnown("other.test"));
  const std::string Stored = RawFile();
  ASSERT_NE(Stored.find("<CREATED>"), std::string::npos) << "the file holds stamps";
  std::vector<std::string> Old, New;
  for (const kv::TCookie &C : ReadAsThePreviousRelease(Stored))
    Old.push_back(C.Name + "=" + C.Value + " " + C.Expires + " " + C.Path + " " + C.Domain + " " + C.Secure);
  for (size_t Start = 0, End; (End = Stored.find("\r\n", Start)) != std::string::npos; Start = End + 2) {
    const kv::TCookie C = kv::ParseCookieLine(Stored.substr(Start, End - Start));
    New.push_back(C.Name + "=" + C.Value + " " + C.Expires + " " + C.Path + " " + C.Domain + " " + C.Secure);
  }
  EXPECT_EQ(Old, New);
  EXPECT_EQ(New.size(), 5u);
}

// A Max-Age is kept as the date it gives, in the form the file's readers take.
TEST_F(Cookies, MaxAgeIsStoredAsTheDateItGives) {
  const struct {
    const char *Name;
    std::string Reply;
    double FromNow;  // days; the stored date within a minute of it
  } Rows[] = {{"a minute", "Set-Cookie: a=1; Max-Age=60; expires=Fri, 01-Jan-2100 00:00:00 GMT\r\n", 60.0 / 86400},
              {"leading zeros", "Set-Cookie: a=1; Max-Age=000120\r\n", 120.0 / 86400},
              {"beyond any clock", "Set-Cookie: a=1; Max-Age=99999999999999999999999\r\n", 100.0 * 366},
              {"not a number: the expiry holds", "Set-Cookie: a=1; Max-Age=1e3; expires=Fri, 01-Jan-2100 00:00:00 GMT\r\n",
               -1}};
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Name);
    std::filesystem::remove(FilePath());
    kv::ParseSetCookies(Status + Row.Reply + "\r\n", Host);
    const std::string Stored = File();
    kv::TDateTime At = 0;
    ASSERT_TRUE(kv::ParseCookieExpiry(kv::ParseCookieLine(Stored.substr(0, Stored.find("\r\n"))).Expires, At))
        << Stored;
    kv::TDateTime Expected;
    if (Row.FromNow < 0)
      ASSERT_TRUE(kv::TryEncodeDate(2100, 1, 1, Expected));
    else
      Expected = kv::NowUTC() + Row.FromNow;
    EXPECT_NEAR(At, Expected, 1.0 / 1440) << Stored;
    EXPECT_EQ(kv::GetCookieLine(Host), "Cookie: a=1");
  }
}

int FileMode(const std::string &Path) {
  struct stat St;
  return stat(Path.c_str(), &St) == 0 ? static_cast<int>(St.st_mode & 07777) : -1;
}

// The file is private whatever becomes of a write: one that fails leaves it
// 0600 all the same (0400 where it is read-only) with its lines, and one that
// root makes for a user's folder leaves it the user's.
TEST_F(Cookies, TheFileStaysPrivateAndItsOwnersWhateverBecomesOfTheWrite) {
  const uid_t User = 4343;
  const struct {
    const char *Name;
    int Mode;
    bool ReadOnlyFolder, DiskFull, OtherOwner;
    int ModeAfter;
  } Rows[] = {{"a read-only file", 0444, false, false, false, 0400},
              {"a full disk", 0644, false, true, false, 0600},
              {"a folder that takes no new name, on a full disk", 0644, true, true, false, 0600},
              {"another user's file, written by root", 0644, false, false, true, 0600}};
  std::string Skipped;
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Name);
    if (Row.OtherOwner && geteuid() != 0) {
      Skipped += std::string(Row.Name) + " (only root writes another user's file); ";
      continue;
    }
    std::filesystem::remove(FilePath());
    WriteCookies(Line("sid", "s"));
    chmod(FilePath().c_str(), static_cast<mode_t>(Row.Mode));
    if (Row.OtherOwner) {
      ASSERT_EQ(chown(FilePath().c_str(), User, User), 0);
    }
    const bool Fails = Row.Mode == 0444 || Row.DiskFull;
    {
      std::unique_ptr<kvtest::TUnwritableFolder> Lock;
      if (Row.ReadOnlyFolder) {
        Lock = std::make_unique<kvtest::TUnwritableFolder>(Env / "windows");
        if (!Lock->Holds()) {
          Skipped += std::string(Row.Name) + " (folder permissions do not bind this user); ";
          continue;
        }
      }
      std::unique_ptr<TFullDisk> Full;
      if (Row.DiskFull)
        Full = std::make_unique<TFullDisk>(64);
      const std::string Reply = Status + "Set-Cookie: n=" + std::string(200, 'v') + "\r\n\r\n";
      if (Fails)
        EXPECT_THROW(kv::ParseSetCookies(Reply, Host), kv::EInOutError);
      else
        EXPECT_NO_THROW(kv::ParseSetCookies(Reply, Host));
    }
    EXPECT_EQ(FileMode(FilePath()), Row.ModeAfter);
    EXPECT_EQ(File().find("<NAME>n</NAME>") != std::string::npos, !Fails);
    EXPECT_EQ(File().rfind(Line("sid", "s"), 0), 0u) << "the old lines stay";
    struct stat St;
    ASSERT_EQ(stat(FilePath().c_str(), &St), 0);
    EXPECT_EQ(St.st_uid, Row.OtherOwner ? User : geteuid());
    EXPECT_EQ(St.st_gid, Row.OtherOwner ? User : getegid());
  }
  if (!Skipped.empty())
    GTEST_SKIP() << "the other rows passed; not tested here: " << Skipped;
}

}  // namespace
