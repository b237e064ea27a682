#pragma once
// The cookie file "COOKIE.TXT" in the Windows directory: one cookie a line,
// six tagged fields in a fixed order, lines ended by CRLF, and after them the
// cookie's creation stamp, which readers of the six fields pass over. The request socket
// writes it from the Set-Cookie headers of the shops' replies; the catalogue
// reads it when it builds a request. Both sides use the line builder and the
// line parser below, so the format is written down once.
//
// The file holds the shops' session cookies: it is written 0600. It keeps
// the bounds below, however the cookies come (many in one reply, many
// replies, a file an earlier version filled without bounds), and keeps its
// lines in the order the cookies were last used, as a browser's store does:
// set, replaced or sent. A request's Cookie line stands in the order the
// cookies were created: a replacement keeps its creation. A cookie whose
// expiry has passed (or whose Max-Age is zero or below) deletes the one it
// names; an expiry that does not read is no expiry.
//
// This unit needs only Common and the platform layer, so the catalogue compiles
// it in without the socket library.
#include <cstddef>
#include <string>

#include "platform/DateTime.h"

namespace kv {

inline constexpr const char *CookieFileName = "COOKIE.TXT";

// The value stored when a cookie has no expiry or no path.
inline constexpr const char *CookieNoExpiry = "/";
inline constexpr const char *CookieRootPath = "/";

// What browsers keep: the least RFC 6265 asks a user agent to store, taken as
// the most. A cookie past a size is not stored; past a count, expired cookies
// go first, then the least recently used (the first line of the file).
inline constexpr std::size_t MaxCookieText = 4096;        // name and value together
inline constexpr std::size_t MaxCookieAttributes = 4096;  // the other fields together
inline constexpr std::size_t MaxCookiesPerDomain = 50;    // of one domain, letter case and leading "." aside
inline constexpr std::size_t MaxCookies = 3000;           // lines of the file

struct TCookie {
  std::string Name;     // letter case as received
  std::string Value;
  std::string Expires;  // the expiry date as the shop sent it with the rest of
                        // its Set-Cookie line after it, or "/"
  std::string Path;
  std::string Domain;   // as given, or the host that set it
  std::string Secure;   // always written empty
  std::string Created{};  // the creation stamp, digits; empty in a line an
                          // earlier version wrote
};

// The cookie file's path; the name is matched without regard to case.
std::string CookieFilePath();
// "<NAME>..</NAME><VALUE>..</VALUE><EXPIRES>..</EXPIRES><PATH>..</PATH>
// <DOMAIN>..</DOMAIN><SECURE>..</SECURE>" and, with a stamp,
// "<CREATED>..</CREATED>", without the line end.
std::string CookieLine(const TCookie &Cookie);
// Takes the tagged fields of one line; missing fields are empty. A line in
// which a tag of the six opens twice reads as no cookie (all fields empty).
// The stamp is read only where it ends the line.
TCookie ParseCookieLine(const std::string &Line);
// Whether the file takes the cookie: it is within the sizes above, and its
// line reads back as exactly this cookie (no field holds a line break, a zero
// byte or one of the line's tags).
bool CanStoreCookie(const TCookie &Cookie);
// A cookie's identity: NAME and PATH compared exactly, DOMAIN without a
// leading "." and letter case (RFC 6265 5.2.3).
bool SameCookie(const TCookie &A, const TCookie &B);

// Stores every cookie of every complete Set-Cookie line in the header block of
// Response (the reply received so far). Host is the default domain; a line
// whose domain is not Host or a domain above it that CookieDomainMatches
// takes, or is a single label, stores nothing. A Max-Age outranks Expires and
// is stored as the date it gives; an Expires that does not read is ignored.
// Raises EInOutError when the file cannot be read or written.
void ParseSetCookies(const std::string &Response, const std::string &Host);
// Removes the lines of the same identity and appends the cookie as the most
// recently used, with their creation or a new one; one whose expiry has
// passed only removes them, one whose expiry does not read never expires,
// and one that CanStoreCookie refuses is not stored. The write keeps the
// whole file within the bounds.
void StoreCookie(const std::string &Name, const std::string &Value, const std::string &Expires,
                 const std::string &Domain, const std::string &Path, const std::string &Secure);

// A cookie belongs to Host when its domain (without a leading ".") is Host or
// a suffix of Host on a "." boundary, ignoring letter case (RFC 6265 5.1.3):
// a host that is an IP address matches only itself, and a domain that is a
// public suffix (the Public Suffix List, "co.uk") only a host of that name.
bool CookieDomainMatches(const std::string &Domain, const std::string &Host);
// Reads an expiry date as UTC by the cookie-date rules of RFC 6265 5.1.1,
// which take the forms shops send (RFC 1123, RFC 850, asctime, and
// "Wdy, DD-Mon-YYYY HH:MM:SS GMT"); two-digit years 70-99 are 19xx, 00-69
// 20xx. Anything after a ";" is ignored. False when it does not read.
bool ParseCookieExpiry(const std::string &Expires, TDateTime &Utc);

// The reader. Each call reads the file anew; a missing file has no cookies.
// Each reads the file within the bounds, as the next write will leave it.
// Drops the lines whose expiry has passed (or does not read) and writes the
// file back; raises EInOutError when it cannot.
void PruneExpiredCookies();
// Prunes, then true when some cookie belongs to Host. Host's cookies count as
// used by the request asking: the same write puts them last, in their order.
// A write that fails leaves the file as it was and costs the request nothing;
// raises EInOutError only when the file cannot be read.
bool CookieHostKnown(const std::string &Host);
// "Cookie: " and the name=value pairs of Host's unexpired cookies in the order
// they were created, joined by "; ".
std::string GetCookieLine(const std::string &Host);

}  // namespace kv
