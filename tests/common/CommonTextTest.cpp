// Text extraction and editing routines of Common.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/Common.h"
#include "platform/SysUtils.h"

namespace {

struct TBetweenCase {
  const char *Name;
  std::string Text, Start, End, Expected;
};

TEST(GetTextBetween, Table) {
  const TBetweenCase cases[] = {
      {"case-insensitive delimiters", "<b>x</b>", "<B>", "</B>", "x"},
      {"start at the very end", "abc<b>", "<b>", "</b>", ""},
      {"end right after start", "a=b", "=", "b", ""},
      {"one character between", "a=xb", "=", "b", "x"},
      {"missing start", "abc", "<", ">", ""},
      {"missing end", "a<bc", "<", ">", ""},
      {"empty start", "abc", "", "c", ""},
      {"empty end matches at once", "a<bc>", "<", "", ""},
      {"first start, first end after it", "<a>1</a><a>2</a>", "<a>", "</a>", "1"},
      {"end before start is not used", "x]y[z]", "[", "]", "z"},
      {"end searched after the start delimiter", "<<x>", "<", "<", ""},
      {"bytes above 127 compare exactly", "\xE9<p>\xC9</p>", "<P>", "</P>", "\xC9"},
      {"only a-z fold", "\xE9x\xC9", "\xC9", "", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(GetTextBetween(c.Text, c.Start, c.End), c.Expected);
  }
}

// The routine as the loop it describes: delete Open..Close while either is
// found, with its adjustments for unbalanced delimiters.
std::string NaiveNotInBrackets(const std::string &Open, const std::string &Close, std::string S) {
  auto adjust = [](int &a, int b) {
    if ((a == 0 && b > 0) || (a > b && b > 0) || (a > 0 && b == 0))
      a = 1;
  };
  int a = kv::Pos(Open, S), b = kv::Pos(Close, S);
  adjust(a, b);
  while (a > 0) {
    kv::Delete(S, a, b - a + 1);
    a = kv::Pos(Open, S);
    b = kv::Pos(Close, S);
    adjust(a, b);
    if (b == 0)
      b = static_cast<int>(S.size());
  }
  return S;
}

struct TBracketCase {
  const char *Name;
  std::string Open, Close, Text, Expected;
};

TEST(GetTextNotInBrackets, Table) {
  const TBracketCase cases[] = {
      {"two stretches", "(", ")", "ab (cd) ef (gh) i", "ab  ef  i"},
      {"close first removes the start", "(", ")", "ab) cd", " cd"},
      {"open without close removes all", "(", ")", "ab (cd", ""},
      {"no delimiters", "(", ")", "abc", "abc"},
      {"tags", "<", ">", "<b>bold</b> <i>x</i>", "bold x"},
      {"case-sensitive", "<B>", "</B>", "<b>x</b>", "<b>x</b>"},
      {"longer close keeps its tail", "<!--", "-->", "a<!--x-->b", "a->b"},
      {"close before a later pair wipes the kept text", "(", ")", "ab (cd) ef) gh", " gh"},
      {"nested: the outer close then wipes the front", "(", ")", "a(b(c)d)e", "e"},
      {"empty text", "(", ")", "", ""},
      {"both delimiters empty", "", "", "abc", "abc"},
      {"empty open", "", ")", "a)b)c", "c"},
      {"empty close", "(", "", "a(b", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(GetTextNotInBrackets(c.Open, c.Close, c.Text), c.Expected);
    EXPECT_EQ(NaiveNotInBrackets(c.Open, c.Close, c.Text), c.Expected);
  }
}

std::string RandomText(std::mt19937 &Rng, const std::string &Alphabet, size_t MaxLen) {
  std::uniform_int_distribution<size_t> len(0, MaxLen), pick(0, Alphabet.size() - 1);
  std::string s(len(Rng), ' ');
  for (char &c : s)
    c = Alphabet[pick(Rng)];
  return s;
}

// The single sweep must give exactly what the delete-and-search-again loop
// gives, also where deletions make new delimiters across their edges.
TEST(GetTextNotInBrackets, SameAsTheLoopOnRandomInput) {
  std::mt19937 rng(1234);
  for (int i = 0; i < 20000; ++i) {
    const std::string open = RandomText(rng, "ab(", 3), close = RandomText(rng, "ab)", 3);
    const std::string text = RandomText(rng, "ab()", 24);
    ASSERT_EQ(GetTextNotInBrackets(open, close, text), NaiveNotInBrackets(open, close, text))
        << "open='" << open << "' close='" << close << "' text='" << text << "'";
  }
}

struct TChopCase {
  const char *Name;
  std::string Text, Start, End, Result, Left;
};

TEST(ChopLineOut, Table) {
  const TChopCase cases[] = {
      {"cell off the front", "xx<td>A</td>rest", "<TD>", "</TD>", "A", "rest"},
      {"nothing more", "rest", "<TD>", "</TD>", "", "rest"},
      {"start without end", "xx<td>A", "<td>", "</td>", "", "<td>A"},
      {"end only before start", "</td>xx<td>A", "<td>", "</td>", "", "<td>A"},
      {"end inside start", "xx<td>A", "<td>", "d>", "", "A"},
      {"end equals start", "x<a>y<a>z", "<a>", "<a>", "", "<a>y<a>z"},
      {"start at the front", "<td>A</td><td>B</td>", "<td>", "</td>", "A", "<td>B</td>"},
      {"empty between", "<td></td>r", "<td>", "</td>", "", "r"},
      {"empty start", "abc", "", "c", "", "abc"},
      {"empty end", "x<td>A", "<td>", "", "", "<td>A"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    std::string t = c.Text;
    EXPECT_EQ(ChopLineOut(t, c.Start, c.End), c.Result);
    EXPECT_EQ(t, c.Left);
  }
}

TEST(ChopLineOut, WalksTheRowsOfATable) {
  std::string page = "<table><tr><td>1</td></tr><TR><td>2</td></TR><tr>3</tr></table>";
  std::vector<std::string> rows;
  for (std::string row; !(row = ChopLineOut(page, "<tr>", "</tr>")).empty();)
    rows.push_back(row);
  EXPECT_EQ(rows, (std::vector<std::string>{"<td>1</td>", "<td>2</td>", "3"}));
  EXPECT_EQ(page, "</table>");
}

TEST(ChopLineOutNotTags, Table) {
  const TChopCase cases[] = {
      {"end kept on both sides", "xx<td>A</td>rest", "<td>", "</td>", "A</td>", "</td>rest"},
      {"case-insensitive", "xx<TD>A</td>rest", "<td>", "</TD>", "A</td>", "</td>rest"},
      {"end right after start", "x<td></td>r", "<td>", "</td>", "", "</td>r"},
      {"no end", "x<td>A", "<td>", "</td>", "", "A"},
      {"no start", "A</td>", "<td>", "</td>", "", "A</td>"},
      {"empty end", "x<td>A", "<td>", "", "", "A"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    std::string t = c.Text;
    EXPECT_EQ(ChopLineOutNotTags(t, c.Start, c.End), c.Result);
    EXPECT_EQ(t, c.Left);
  }
}

// Every pass searching from the beginning again, as long as it ends.
bool NaiveReplaceRestart(std::string &T, const std::string &Find, const std::string &With, int MaxSteps) {
  if (Find.empty())
    return true;
  for (int steps = 0;; ++steps) {
    const size_t p = T.find(Find);
    if (p == std::string::npos)
      return true;
    if (steps >= MaxSteps)
      return false;
    T.replace(p, Find.size(), With);
  }
}

// Replace all, going on after each replacement.
std::string NaiveReplaceResume(std::string T, const std::string &Find, const std::string &With) {
  for (size_t p = T.find(Find); p != std::string::npos; p = T.find(Find, p + With.size()))
    T.replace(p, Find.size(), With);
  return T;
}

struct TReplaceCase {
  const char *Name;
  std::string Text, Find, With, Expected;
};

TEST(ReplaceStrings, Table) {
  const TReplaceCase cases[] = {
      {"simple", "a-b-c", "-", "+", "a+b+c"},
      {"two blanks collapse a run", "a     b  c", "  ", " ", "a b c"},
      {"entity formed again", "&amp;amp;amp;", "&amp;", "&", "&"},
      {"case-sensitive", "aAa", "a", "x", "xAx"},
      {"empty find changes nothing", "abc", "", "x", "abc"},
      {"deleting", "a\r\nb\r\n", "\r", "", "a\nb\n"},
      {"replacement contains the find text", "a.b.c", ".", "..", "a..b..c"},
      {"replacement equals the find text", "aaa", "a", "a", "aaa"},
      {"replacement contains it twice", "xax", "a", "aba", "xabax"},
      {"new occurrence across the front", "aab", "ab", "b", "b"},
      {"swap forms one before it", "aab", "ab", "ba", "baa"},
      {"no occurrence", "abc", "d", "e", "abc"},
      {"whole text", "abc", "abc", "", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    std::string t = c.Text;
    ReplaceStrings(t, c.Find, c.With);
    EXPECT_EQ(t, c.Expected);
  }
}

TEST(ReplaceStrings, SameAsSearchingFromTheBeginningOnRandomInput) {
  std::mt19937 rng(99);
  int compared = 0;
  for (int i = 0; i < 40000; ++i) {
    std::string find = RandomText(rng, "ab ", 3);
    if (find.empty())
      continue;
    const std::string with = RandomText(rng, "ab ", 4);
    if (with.find(find) != std::string::npos)
      continue;
    const std::string text = RandomText(rng, "ab ", 20);
    std::string expected = text;
    if (!NaiveReplaceRestart(expected, find, with, 2000))
      continue;  // would not end: nothing to compare against
    std::string t = text;
    ReplaceStrings(t, find, with);
    ASSERT_EQ(t, expected) << "find='" << find << "' with='" << with << "' text='" << text << "'";
    ++compared;
  }
  EXPECT_GT(compared, 10000);
}

TEST(ReplaceStrings, ResumesAfterAReplacementContainingTheFindText) {
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const std::string find = RandomText(rng, "ab", 2);
    if (find.empty())
      continue;
    const std::string with = RandomText(rng, "ab", 1) + find + RandomText(rng, "ab", 2);
    const std::string text = RandomText(rng, "ab", 20);
    std::string t = text;
    ReplaceStrings(t, find, with);
    ASSERT_EQ(t, NaiveReplaceResume(text, find, with))
        << "find='" << find << "' with='" << with << "' text='" << text << "'";
  }
}

TEST(ReplaceStrings, EndsWhereSearchingFromTheBeginningWouldNot) {
  // "ab" -> "bbaa" forms a new "ab" in front of every replacement for ever;
  // after its allowance of rescans the routine goes on after each replacement.
  std::string t = "aab";
  ReplaceStrings(t, "ab", "bbaa");
  EXPECT_GT(t.size(), 65536u);
  EXPECT_LT(t.size(), 1000000u);
}

TEST(ReplaceEnumeratedChars, Table) {
  const TReplaceCase cases[] = {
      {"entities, CR removed, LF to blank", "a&amp;b&#44;c\r\n", "", "", "a&b,c "},
      {"every entry", "&lt;&gt;&quot;&copy;\t", "", "", "<>\"\xA9 "},
      {"case-sensitive", "&LT;&Amp;", "", "", "&LT;&Amp;"},
      {"table order: &amp;lt; stays &lt;", "&amp;lt;", "", "", "&lt;"},
      {"&amp; formed again", "&amp;amp;", "", "", "&"},
      {"plain", "plain text", "", "", "plain text"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ReplaceEnumeratedChars(c.Text), c.Expected);
  }
}

TEST(SpacePunctuation, EveryCharacterOfTheSet) {
  std::string t = ".,()[]{};:\"'\\/!?><-_~a1";
  SpacePunctuation(t);
  EXPECT_EQ(t, std::string(18, ' ') + "-_~a1");
}

struct TWordCase {
  const char *Name;
  std::string Text, Word;
  bool Expected;
};

TEST(StringContainsWholeWord, Table) {
  const TWordCase cases[] = {
      {"in brackets, other case", "Part (LM317) in stock", "lm317", true},
      {"part of a longer word", "LM317T", "LM317", false},
      {"whole text", "LM317", "lm317", true},
      {"at the start", "LM317 reg", "LM317", true},
      {"at the end", "reg LM317", "LM317", true},
      {"hyphen is no separator", "ABC-123", "ABC", false},
      {"tab is no separator", "x\tABC", "ABC", false},
      {"punctuation in the word too", "a lm317. b", "lm317!", true},
      {"several words", "the quick brown fox", "quick brown", true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(StringContainsWholeWord(c.Text, c.Word), c.Expected);
  }
}

TEST(ExtractPriceFromString, Table) {
  const TBetweenCase cases[] = {
      {"thousands comma dropped", "Price:1,234.56 each", "Price:", "", "1234.56"},
      {"stops at a second dot", "P:12.50.3", "P:", "", "12.50"},
      {"comma after dot stops", "P:1.234,56", "P:", "", "1.234"},
      {"trailing dot dropped", "P:12.", "P:", "", "12"},
      {"blank after label", "P: 12", "P:", "", ""},
      {"currency sign after label", "P:$12", "P:", "", ""},
      {"missing label", "12.5", "P:", "", ""},
      {"empty label", "12.5", "", "", ""},
      {"case-sensitive label", "p:12", "P:", "", ""},
      {"first label", "P:1 P:2", "P:", "", "1"},
      {"comma only", "P:,x", "P:", "", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ExtractPriceFromString(c.Text, c.Start), c.Expected);
  }
}

TEST(ExtractParameter, Table) {
  const TBetweenCase cases[] = {
      {"case-insensitive name", "a=1&ID=42&b=2", "id", "", "42"},
      {"missing", "a=1", "x", "", ""},
      {"last parameter", "a=1&b=two", "b", "", "two"},
      {"inside a longer name", "xid=5&id=6", "id", "", "5"},
      {"value kept as written", "q=Ab%20c+d&x=1", "Q", "", "Ab%20c+d"},
      {"empty value", "a=&b=1", "a", "", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ExtractParameter(c.Start, c.Text), c.Expected);
  }
}

TEST(GetFileNameFromUrl, Table) {
  const std::pair<std::string, std::string> cases[] = {
      {"http://h/a/b.pdf", "b.pdf"},  {"a/b.asp?x=1", "b.asp?x=1"}, {"", ""},
      {"nofolder.txt", ""},           {"http://h/dir/", ""},        {"a\\b\\c.txt", ""},
      {"a/b\\c.txt", "b\\c.txt"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(GetFileNameFromUrl(c.first), c.second);
  }
}

TEST(InitCaps, Table) {
  const std::pair<std::string, std::string> cases[] = {
      {"HELLO wORLD-abc (x)", "Hello World-Abc (X)"},
      {"a/b~c_d.e,f+g[h]i{j}k", "A/B~C_D.E,F+G[H]I{J}K"},
      {"trailing separator ", "Trailing Separator "},
      {"", ""},
      {"\xC9T\xC9", "\xC9t\xC9"},
      {"x  y", "X  Y"},
      {"1abc", "1abc"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(InitCaps(c.first), c.second);
  }
}

TEST(ConvertChar, Positions) {
  std::string t = "abc";
  ConvertChar(t, 2);
  EXPECT_EQ(t, "aBc");
  ConvertChar(t, 4);
  EXPECT_EQ(t, "aBc");
  ConvertChar(t, 0);
  EXPECT_EQ(t, "aBc");
  ConvertChar(t, -5);
  EXPECT_EQ(t, "aBc");
}

TEST(ParseAdvert, Table) {
  struct Case {
    std::string Line, First, Second;
    int Time;
  };
  const Case cases[] = {
      {"u", "u", "", 15000},
      {"u:::l", "u", "l", 15000},
      {"5000:::u:::l", "u", "l", 5000},
      {"u:::l:::", "u", "l", 15000},
      {"x:::u:::l", "u", "l", 15000},
      {"1:::u:::l:::z", "u", "l:::z", 1},
      {"", "", "", 15000},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Line);
    std::string first = "old", second = "old";
    int time = -1;
    ParseAdvert(c.Line, first, second, time);
    EXPECT_EQ(first, c.First);
    EXPECT_EQ(second, c.Second);
    EXPECT_EQ(time, c.Time);
  }
}

TEST(ParseAdvert, OutputMayBeTheInput) {
  std::string line = "5000:::u:::l", second;
  int time = 0;
  ParseAdvert(line, line, second, time);
  EXPECT_EQ(line, "u");
  EXPECT_EQ(second, "l");
  EXPECT_EQ(time, 5000);
}

TEST(TranslateChar, AndThePathForms) {
  EXPECT_EQ(TranslateChar("a.b.c", '.', '-'), "a-b-c");
  EXPECT_EQ(UnixPathToDosPath("Lib/x/y.TWL"), "Lib\\x\\y.TWL");
  EXPECT_EQ(DosPathToUnixPath("c:\\temp\\log.txt"), "c:/temp/log.txt");
}

}  // namespace
