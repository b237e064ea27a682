// Text extraction and editing routines of Common.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/Common.h"
#include "platform/SysUtils.h"

namespace {

constexpr size_t npos = std::string::npos;

// Index of the first occurrence of UpNeedle (already upper-cased) in S at or
// after From, comparing S upper-cased (ASCII). npos when absent or empty.
size_t FindNoCase(std::string_view S, std::string_view UpNeedle, size_t From) {
  const size_t m = UpNeedle.size(), n = S.size();
  if (m == 0 || From > n || n - From < m)
    return npos;
  const char first = UpNeedle[0];
  const char firstLower = (first >= 'A' && first <= 'Z') ? static_cast<char>(first + 32) : first;
  for (size_t i = From, last = n - m; i <= last; ++i) {
    if (S[i] != first && S[i] != firstLower)
      continue;
    size_t k = 1;
    while (k < m && kv::UpCase(S[i + k]) == UpNeedle[k])
      ++k;
    if (k == m)
      return i;
  }
  return npos;
}

// A text with a gap at the editing point: Front = B[0, W), Rest = B[R, end).
// Edits near the gap cost only what they touch, so routines whose every pass
// searches again from the beginning of the text can be run in one sweep: the
// front never holds a whole occurrence of what is searched, and only its last
// few characters need another look after an edit.
class TGapText {
public:
  explicit TGapText(std::string S) : B(std::move(S)) {}

  std::string B;
  size_t W = 0;
  size_t R = 0;

  size_t Length() const { return W + (B.size() - R); }
  // Moves up to K characters from the end of the front to the start of the rest.
  void Unread(size_t K) {
    K = std::min(K, W);
    if (K == 0)
      return;
    std::memmove(&B[R - K], &B[W - K], K);
    W -= K;
    R -= K;
  }
  // Moves K characters from the start of the rest to the end of the front.
  void Advance(size_t K) {
    if (K && W != R)
      std::memmove(&B[W], &B[R], K);
    W += K;
    R += K;
  }
  // Deletes K characters at the start of the rest.
  void Drop(size_t K) { R += K; }
  // Deletes the text positions A..Z (1-based, inclusive).
  void DeleteText(size_t A, size_t Z) {
    if (Z < A)
      return;
    if (Z <= W) {
      std::memmove(&B[A - 1], &B[Z], W - Z);
      W -= Z - A + 1;
    } else if (A <= W) {
      const size_t inRest = Z - W;
      W = A - 1;
      Drop(inRest);
    } else {
      Advance(A - 1 - W);
      Drop(Z - A + 1);
    }
  }
  // Inserts S at the start of the rest, where it is searched again.
  void PushRest(std::string_view S) {
    Reserve(S.size());
    R -= S.size();
    if (!S.empty())
      std::memcpy(&B[R], S.data(), S.size());
  }
  // Appends S to the front, where it is not searched again.
  void AppendFront(std::string_view S) {
    Reserve(S.size());
    if (!S.empty())
      std::memcpy(&B[W], S.data(), S.size());
    W += S.size();
  }
  // First occurrence of P in the rest, as an index into B.
  size_t Find(std::string_view P) const { return B.find(P.data(), R, P.size()); }
  std::string Take() && {
    B.erase(W, R - W);
    return std::move(B);
  }

private:
  void Reserve(size_t K) {
    if (R - W >= K)
      return;
    const size_t rest = B.size() - R, gap = K + B.size();
    std::string nb(W + gap + rest, '\0');
    std::memcpy(nb.data(), B.data(), W);
    std::memcpy(nb.data() + W + gap, B.data() + R, rest);
    R = W + gap;
    B.swap(nb);
  }
};

// The first occurrence of a pattern in the rest of a TGapText, remembering
// the last answer so that a distant (or missing) occurrence isn't searched for
// again on every pass of a loop.
class TNextMatch {
public:
  explicit TNextMatch(std::string_view P) : FP(P) {}
  // First occurrence at or after G.R (an index into G.B), npos when none. No
  // byte of G.B at or after Hi may have changed since the previous call.
  size_t Next(const TGapText &G, size_t Hi) {
    const size_t m = FP.size();
    if (m == 0)
      return npos;
    if (G.R < Hi) {
      // Bytes in [R, Hi) may be new: look again for occurrences starting there.
      const size_t end = std::min(G.B.size(), Hi + m - 1);
      if (end > G.R) {
        const size_t k = std::string_view(G.B.data() + G.R, end - G.R).find(FP);
        if (k != npos) {
          FSearched = true;
          return FPos = G.R + k;
        }
      }
    }
    const size_t from = std::max(G.R, Hi);
    if (!FSearched || (FPos != npos && FPos < from)) {
      FPos = G.B.find(FP.data(), from, m);
      FSearched = true;
    }
    return FPos;
  }

private:
  std::string_view FP;
  size_t FPos = npos;
  bool FSearched = false;
};

// Replacements that may form new occurrences with their surroundings are
// searched again only this many times beyond the length of the text; past it
// the search resumes after each replacement, so the routine always ends.
constexpr size_t kExtraRescans = 65536;

}  // namespace

std::string GetTextBetween(const std::string &Text, const std::string &Start, const std::string &End) {
  kv::YieldProcessor();
  const size_t a = FindNoCase(Text, kv::UpperCase(Start), 0);
  if (a == npos || End.empty())
    return std::string();
  const size_t from = a + Start.size();
  const size_t b = FindNoCase(Text, kv::UpperCase(End), from);
  if (b == npos)
    return std::string();
  return Text.substr(from, b - from);
}

std::string GetTextNotInBrackets(const std::string &Open, const std::string &Close, const std::string &Text) {
  kv::YieldProcessor();
  try {
    // Each pass finds the first Open (a) and the first Close (b) in the whole
    // text and deletes a..b, with the adjustments below for unbalanced
    // delimiters. The text before a deleted stretch holds neither delimiter,
    // so the next pass only needs to look again at its last few characters.
    TGapText g(Text);
    TNextMatch open(Open), close(Close);
    const size_t longest = std::max(Open.size(), Close.size());
    const size_t back = longest ? longest - 1 : 0;
    auto position = [&g](size_t x) -> size_t { return x == npos ? 0 : g.W + (x - g.R) + 1; };
    size_t hi = 0;
    for (bool first = true;; first = false) {
      size_t a = position(open.Next(g, hi));
      size_t b = position(close.Next(g, hi));
      if ((a == 0 && b > 0) || (a > b && b > 0) || (a > 0 && b == 0))
        a = 1;
      // Only after the first pass does a missing Close stretch to the end:
      // the first pass over an Open without a Close deletes nothing.
      if (!first && b == 0)
        b = g.Length();
      if (a == 0)
        break;
      g.DeleteText(a, b);
      hi = g.R;
      g.Unread(back);
    }
    return std::move(g).Take();
  } catch (...) {
    return std::string();
  }
}

std::string ChopLineOut(std::string &Text, const std::string &Start, const std::string &End) {
  kv::YieldProcessor();
  const size_t a = FindNoCase(Text, kv::UpperCase(Start), 0);
  if (a == npos)
    return std::string();
  // End is searched from the start delimiter on, so an End inside Start is
  // found there (and gives an empty result).
  const size_t b = FindNoCase(Text, kv::UpperCase(End), a);
  if (b == npos || b == a) {
    Text.erase(0, a);
    return std::string();
  }
  const size_t from = a + Start.size();
  std::string r = b > from ? Text.substr(from, b - from) : std::string();
  Text.erase(0, b + End.size());
  return r;
}

std::string ChopLineOutNotTags(std::string &Text, const std::string &Start, const std::string &End) {
  kv::YieldProcessor();
  const size_t a = FindNoCase(Text, kv::UpperCase(Start), 0);
  if (a == npos)
    return std::string();
  const size_t from = a + Start.size();
  const size_t b = FindNoCase(Text, kv::UpperCase(End), from);
  if (b == npos || b == from) {
    Text.erase(0, from);
    return std::string();
  }
  std::string r = Text.substr(from, b + End.size() - from);
  Text.erase(0, b);
  return r;
}

void ReplaceStrings(std::string &Text, const std::string &Find, const std::string &Replacement) {
  if (Find.empty())
    return;
  size_t x = Text.find(Find);
  if (x == npos)
    return;
  const size_t m = Find.size();
  // Text a replacement forms with what surrounds it is replaced as well, as
  // if every pass searched from the beginning. A replacement that contains
  // Find would make that endless; there, and after the rescan allowance, the
  // search goes on after each replacement.
  bool rescan = Replacement.find(Find) == npos;
  size_t rescans = Text.size() + kExtraRescans;
  TGapText g(std::move(Text));
  do {
    g.Advance(x - g.R);
    g.Drop(m);
    if (rescan && rescans > 0) {
      --rescans;
      g.PushRest(Replacement);
      g.Unread(m - 1);
    } else {
      rescan = false;
      g.AppendFront(Replacement);
    }
    x = g.Find(Find);
  } while (x != npos);
  Text = std::move(g).Take();
}

void SpacePunctuation(std::string &Text) {
  // Each character becomes one blank, and a blank is not punctuation, so one
  // pass gives what replacing them one after the other would.
  static constexpr std::string_view kPunctuation = ".,()[]{};:\"'\\/!?><";
  for (char &c : Text)
    if (kPunctuation.find(c) != std::string_view::npos)
      c = ' ';
}

bool StringContainsWholeWord(const std::string &Text, const std::string &Word) {
  std::string t = Text, w = Word;
  SpacePunctuation(t);
  SpacePunctuation(w);
  return FindNoCase(" " + t + " ", kv::UpperCase(" " + w + " "), 0) != npos;
}

std::string ExtractPriceFromString(const std::string &Text, const std::string &Label) {
  kv::YieldProcessor();
  if (Label.empty())
    return std::string();
  const size_t p = Text.find(Label);
  if (p == npos)
    return std::string();
  std::string r;
  bool dotTaken = false;
  for (size_t i = p + Label.size(); i < Text.size(); ++i) {
    const char c = Text[i];
    if (c >= '0' && c <= '9') {
      r += c;
    } else if (c == ',' || c == '.') {
      if (dotTaken)
        break;
      dotTaken = c == '.';
      if (c == '.')
        r += c;
    } else {
      break;
    }
  }
  if (!r.empty() && r.back() == '.')
    r.pop_back();
  return r;
}

std::string ExtractParameter(const std::string &Name, const std::string &Query) {
  const std::string key = kv::UpperCase(Name) + "=";
  const size_t p = FindNoCase(Query, key, 0);
  if (p == npos)
    return std::string();
  const size_t from = p + key.size();
  const size_t e = Query.find('&', from);
  return Query.substr(from, e == npos ? npos : e - from);
}

std::string GetFileNameFromUrl(const std::string &Url) {
  const size_t p = Url.rfind('/');
  return p == npos ? std::string() : Url.substr(p + 1);
}

std::string InitCaps(const std::string &Text) {
  // Upper-casing the character after each separator in turn gives the same
  // text as marking the separators in a working copy and walking the marks.
  static constexpr std::string_view kSeparators = " /~-_.,+()[]{}";
  std::string r = kv::LowerCase(Text);
  ConvertChar(r, 1);
  for (size_t i = 0; i + 1 < r.size(); ++i)
    if (kSeparators.find(r[i]) != std::string_view::npos)
      r[i + 1] = kv::UpCase(r[i + 1]);
  return r;
}

void ConvertChar(std::string &Text, int Position) {
  if (Position < 1 || static_cast<size_t>(Position) > Text.size())
    return;
  Text[static_cast<size_t>(Position - 1)] = kv::UpCase(Text[static_cast<size_t>(Position - 1)]);
}

void ParseAdvert(const std::string &Line, std::string &First, std::string &Second, int &Time) {
  // "time:::picture:::link", "picture:::link" or "picture".
  static const std::string kSeparator = ":::";
  const std::string line = Line;  // First or Second may be Line itself
  First.clear();
  Second.clear();
  Time = 15000;
  const size_t p = line.find(kSeparator);
  if (p == npos) {
    First = line;
    return;
  }
  const std::string a = line.substr(0, p);
  const std::string rest = line.substr(p + kSeparator.size());
  const size_t q = rest.find(kSeparator);
  const std::string b = q == npos ? rest : rest.substr(0, q);
  const std::string c = q == npos ? std::string() : rest.substr(q + kSeparator.size());
  if (!c.empty()) {
    Time = kv::StrToIntDef(a, 15000);
    First = b;
    Second = c;
  } else {
    First = a;
    Second = b;
  }
}

std::string TranslateChar(const std::string &Text, char From, char To) {
  std::string r = Text;
  std::replace(r.begin(), r.end(), From, To);
  return r;
}

std::string UnixPathToDosPath(const std::string &Path) { return TranslateChar(Path, '/', '\\'); }

std::string DosPathToUnixPath(const std::string &Path) { return TranslateChar(Path, '\\', '/'); }
