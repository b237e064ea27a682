#include "demo/Http.h"

#include <cctype>

#include "platform/SysUtils.h"

namespace kvdemo {

std::string UpperCase(std::string Text) {
  for (char &C : Text)
    if (C >= 'a' && C <= 'z')
      C = static_cast<char>(C - 'a' + 'A');
  return Text;
}

int WholeNumber(const std::string &Text, int Default) {
  if (Text.empty() || Text.size() > 7)
    return Default;
  int N = 0;
  for (char C : Text) {
    if (C < '0' || C > '9')
      return Default;
    N = N * 10 + (C - '0');
  }
  return N;
}

std::string Trim(const std::string &Text) {
  size_t B = 0, E = Text.size();
  while (B < E && static_cast<unsigned char>(Text[B]) <= ' ')
    ++B;
  while (E > B && static_cast<unsigned char>(Text[E - 1]) <= ' ')
    --E;
  return Text.substr(B, E - B);
}

std::string TRequest::Header(const std::string &Name) const {
  const std::string Wanted = UpperCase(Name);
  for (const auto &[Key, Value] : Headers)
    if (UpperCase(Key) == Wanted)
      return Value;
  return "";
}

std::string TRequest::Cookie(const std::string &Name) const {
  for (const auto &[Key, Value] : Headers) {
    if (UpperCase(Key) != "COOKIE")
      continue;
    size_t P = 0;
    while (P <= Value.size()) {
      size_t End = Value.find(';', P);
      if (End == std::string::npos)
        End = Value.size();
      const std::string Pair = Trim(Value.substr(P, End - P));
      const size_t Eq = Pair.find('=');
      if (Eq != std::string::npos && Pair.substr(0, Eq) == Name)
        return Pair.substr(Eq + 1);
      P = End + 1;
    }
  }
  return "";
}

static const char *StatusText(int Status) {
  switch (Status) {
  case 200: return "OK";
  case 404: return "Not Found";
  default: return "Error";
  }
}

std::string TReply::Text() const {
  std::string T = "HTTP/1.0 " + std::to_string(Status) + " " + StatusText(Status) + "\r\n";
  T += "Server: KorvandelDemo/1.0\r\n";
  T += "Content-Type: " + ContentType + "\r\n";
  T += "Content-Length: " + std::to_string(Body.size()) + "\r\n";
  for (const std::string &Line : ExtraHeaders)
    T += Line + "\r\n";
  T += "Connection: close\r\n\r\n";
  return T + Body;
}

bool ParseRequest(const std::string &Data, TRequest &R) {
  size_t HeadEnd = Data.find("\r\n\r\n");
  size_t BodyStart = HeadEnd + 4;
  const size_t LfEnd = Data.find("\n\n");
  if (LfEnd != std::string::npos && (HeadEnd == std::string::npos || LfEnd < HeadEnd)) {
    HeadEnd = LfEnd;
    BodyStart = LfEnd + 2;
  }
  if (HeadEnd == std::string::npos)
    return false;
  R = TRequest();
  R.Raw = Data;
  std::vector<std::string> Lines;
  for (size_t P = 0; P < HeadEnd;) {
    size_t E = Data.find('\n', P);
    if (E == std::string::npos || E > HeadEnd)
      E = HeadEnd;
    std::string Line = Data.substr(P, E - P);
    if (!Line.empty() && Line.back() == '\r')
      Line.pop_back();
    Lines.push_back(Line);
    P = E + 1;
  }
  if (Lines.empty())
    return true;
  // "METHOD target HTTP/1.0"; the client's zero byte of an earlier attempt
  // cannot be here, as each connection carries one request.
  const std::string &First = Lines[0];
  const size_t S1 = First.find(' ');
  const size_t S2 = First.rfind(' ');
  R.Method = First.substr(0, S1);
  std::string Target = S1 == std::string::npos ? "" : First.substr(S1 + 1, (S2 > S1 ? S2 : First.size()) - S1 - 1);
  for (size_t I = 1; I < Lines.size(); ++I) {
    const size_t Colon = Lines[I].find(':');
    if (Colon != std::string::npos)
      R.Headers.emplace_back(Trim(Lines[I].substr(0, Colon)), Trim(Lines[I].substr(Colon + 1)));
  }
  R.Host = R.Header("Host");
  if (UpperCase(Target.substr(0, 7)) == "HTTP://") {
    const size_t Slash = Target.find('/', 7);
    R.Host = Target.substr(7, Slash == std::string::npos ? std::string::npos : Slash - 7);
    Target = Slash == std::string::npos ? "/" : Target.substr(Slash);
  }
  const size_t Colon = R.Host.find(':');
  if (Colon != std::string::npos)
    R.Host.erase(Colon);
  const size_t Q = Target.find('?');
  R.Path = Target.substr(0, Q);
  R.Query = Q == std::string::npos ? "" : Target.substr(Q + 1);
  const std::string Length = R.Header("Content-length");
  if (!Length.empty()) {
    size_t N = 0;
    for (char C : Length) {
      if (!std::isdigit(static_cast<unsigned char>(C)))
        break;
      N = N * 10 + static_cast<size_t>(C - '0');
      if (N > 1 << 20)
        break;
    }
    if (Data.size() < BodyStart + N)
      return false;
    R.Body = Data.substr(BodyStart, N);
  }
  return true;
}

static int HexDigit(char C) {
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  return -1;
}

std::string UrlDecode(const std::string &Text) {
  std::string Out;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '+') {
      Out += ' ';
    } else if (Text[I] == '%' && I + 2 < Text.size() && HexDigit(Text[I + 1]) >= 0 && HexDigit(Text[I + 2]) >= 0) {
      Out += static_cast<char>(HexDigit(Text[I + 1]) * 16 + HexDigit(Text[I + 2]));
      I += 2;
    } else {
      Out += Text[I];
    }
  }
  return Out;
}

std::string UrlEncode(const std::string &Text) { return kv::PercentEncode(Text, "-._"); }

std::string FormValue(const std::string &Form, const std::string &Name) {
  size_t P = 0;
  while (P <= Form.size()) {
    size_t End = Form.find('&', P);
    if (End == std::string::npos)
      End = Form.size();
    const std::string Pair = Form.substr(P, End - P);
    const size_t Eq = Pair.find('=');
    if (Eq != std::string::npos && Pair.substr(0, Eq) == Name)
      return UrlDecode(Pair.substr(Eq + 1));
    P = End + 1;
  }
  return "";
}

std::string HtmlEscape(const std::string &Text) {
  std::string Out;
  for (char C : Text) {
    switch (C) {
    case '&': Out += "&amp;"; break;
    case '<': Out += "&lt;"; break;
    case '>': Out += "&gt;"; break;
    case '"': Out += "&quot;"; break;
    default: Out += C;
    }
  }
  return Out;
}

}  // namespace kvdemo
