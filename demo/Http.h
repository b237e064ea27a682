#pragma once
// The little HTTP/1.0 the demo servers speak: one request per connection,
// read up to the end of its header block (and its body, when it announces
// one); the client's trailing zero byte and line end are read and ignored.
#include <string>
#include <utility>
#include <vector>

namespace kvdemo {

struct TRequest {
  std::string Raw;     // every byte received
  std::string Method;  // as sent
  std::string Host;    // from an absolute request line, else the Host line
  std::string Path;    // without the query
  std::string Query;   // after "?", undecoded
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;

  // The first header of that name (any letter case), trimmed; "" when absent.
  std::string Header(const std::string &Name) const;
  // The value of a cookie of the Cookie lines; "" when absent.
  std::string Cookie(const std::string &Name) const;
};

struct TReply {
  int Status = 200;
  std::string ContentType = "text/html; charset=windows-1252";
  std::vector<std::string> ExtraHeaders;  // whole lines without the line end
  std::string Body;

  std::string Text() const;
};

// Parses what has arrived; false until the header block (and any body it
// announces) is complete.
bool ParseRequest(const std::string &Data, TRequest &Request);

// "+" is a blank and "%XX" a byte; a malformed escape stays as it is.
std::string UrlDecode(const std::string &Text);
// Letters, digits and "-._" stay; everything else is escaped.
std::string UrlEncode(const std::string &Text);
// The decoded value of Name in a query or form body (name exact); "" when absent.
std::string FormValue(const std::string &Form, const std::string &Name);
// & < > " as entities.
std::string HtmlEscape(const std::string &Text);
std::string UpperCase(std::string Text);
// A whole number of one to seven digits; Default for anything else.
int WholeNumber(const std::string &Text, int Default);
std::string Trim(const std::string &Text);

}  // namespace kvdemo
