// TStrings and TStringList.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/StringList.h"
#include "tests/support/TestEnv.h"

namespace {

using namespace kv;

TStringList ListOf(const std::vector<std::string> &Items) {
  TStringList l;
  for (const auto &s : Items)
    l.Add(s);
  return l;
}

TEST(TStringList, IndexOfIgnoresAsciiCase) {
  TStringList l = ListOf({"Alpha", "beta", "\xC9t\xE9"});
  EXPECT_EQ(l.IndexOf("ALPHA"), 0);
  EXPECT_EQ(l.IndexOf("Beta"), 1);
  EXPECT_EQ(l.IndexOf("\xC9T\xE9"), 2);
  EXPECT_EQ(l.IndexOf("\xE9t\xE9"), -1) << "only a-z fold";
  EXPECT_EQ(l.IndexOf("gamma"), -1);
  l.SetCaseSensitive(true);
  EXPECT_EQ(l.IndexOf("ALPHA"), -1);
  EXPECT_EQ(l.IndexOf("Alpha"), 0);
}

TEST(TStringList, SortedKeepsOrderAndFinds) {
  TStringList l;
  l.SetSorted(true);
  for (const char *s : {"pear", "Apple", "fig", "banana"})
    l.Add(s);
  EXPECT_EQ(l.ToVector(), (std::vector<std::string>{"Apple", "banana", "fig", "pear"}));
  EXPECT_EQ(l.IndexOf("FIG"), 2);
  EXPECT_EQ(l.IndexOf("kiwi"), -1);
  int at = -1;
  EXPECT_FALSE(l.Find("cherry", at));
  EXPECT_EQ(at, 2);
  EXPECT_THROW(l.Insert(0, "x"), EListError);
  EXPECT_THROW(l.Put(0, "x"), EListError);
}

TEST(TStringList, SortedDuplicates) {
  struct Case {
    const char *Name;
    TDuplicates Mode;
    std::vector<std::string> Expected;
    bool Raises;
  };
  const Case cases[] = {
      {"ignore", dupIgnore, {"a", "B", "c"}, false},
      {"accept keeps arrival order among equals", dupAccept, {"a", "B", "b", "B", "c"}, false},
      {"error", dupError, {"a", "B", "c"}, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    TStringList l;
    l.SetSorted(true);
    l.Duplicates = c.Mode;
    bool raised = false;
    for (const char *s : {"c", "B", "a", "b", "B"}) {
      try {
        l.Add(s);
      } catch (const EListError &e) {
        raised = true;
        EXPECT_EQ(e.Message(), "String list does not allow duplicates");
      }
    }
    EXPECT_EQ(raised, c.Raises);
    EXPECT_EQ(l.ToVector(), c.Expected);
  }
}

TEST(TStringList, AddToAnIgnoringSortedListReturnsTheExistingIndex) {
  TStringList l;
  l.SetSorted(true);
  l.Add("b");
  l.Add("a");
  EXPECT_EQ(l.Add("B"), 1);
  EXPECT_EQ(l.Count(), 2);
}

TEST(TStrings, CommaTextWritten) {
  struct Case {
    const char *Name;
    std::vector<std::string> Items;
    std::string Expected;
  };
  const Case cases[] = {
      {"plain", {"a", "b", "c"}, "a,b,c"},
      {"blank quoted", {"a b", "c"}, "\"a b\",c"},
      {"comma quoted", {"a,b"}, "\"a,b\""},
      {"quote doubled", {"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {"empty item", {"a", "", "b"}, "a,\"\",b"},
      {"control byte quoted", {"a\tb"}, "\"a\tb\""},
      {"no items", {}, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ListOf(c.Items).CommaText(), c.Expected);
  }
}

TEST(TStrings, CommaTextRead) {
  struct Case {
    const char *Name;
    std::string Text;
    std::vector<std::string> Expected;
  };
  const Case cases[] = {
      {"plain", "a,b,c", {"a", "b", "c"}},
      {"blanks separate unquoted items", "a b,c", {"a", "b", "c"}},
      {"blanks around commas", " a , b ", {"a", "b"}},
      {"quoted with blank and comma", "\"a b\",\"c,d\"", {"a b", "c,d"}},
      {"doubled quote", "\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"empty items", "a,,b", {"a", "", "b"}},
      {"trailing comma", "a,", {"a", ""}},
      {"empty quoted", "\"\"", {""}},
      {"nothing", "", {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    TStringList l;
    l.Add("old");
    l.SetCommaText(c.Text);
    EXPECT_EQ(l.ToVector(), c.Expected);
  }
}

TEST(TStrings, CommaTextRoundTrip) {
  const std::vector<std::string> items = {"a b", "", "x,y", "\"q\"", "plain", " lead", "trail "};
  TStringList back;
  back.SetCommaText(ListOf(items).CommaText());
  EXPECT_EQ(back.ToVector(), items);
}

TEST(TStrings, DelimitedTextWithOtherDelimiter) {
  TStringList l = ListOf({"a", "b;c", "d"});
  l.Delimiter = ';';
  EXPECT_EQ(l.DelimitedText(), "a;\"b;c\";d");
  TStringList m;
  m.Delimiter = ';';
  m.SetDelimitedText("x;\"y;z\"");
  EXPECT_EQ(m.ToVector(), (std::vector<std::string>{"x", "y;z"}));
}

TEST(TStrings, Values) {
  TStringList l = ListOf({"Name=Bob", "Code=42", "noequals", "Empty="});
  EXPECT_EQ(l.Values("name"), "Bob");
  EXPECT_EQ(l.Values("CODE"), "42");
  EXPECT_EQ(l.Values("missing"), "");
  EXPECT_EQ(l.Values("Empty"), "");
  EXPECT_EQ(l.Names(0), "Name");
  EXPECT_EQ(l.Names(2), "");
  EXPECT_EQ(l.ValueFromIndex(1), "42");
  EXPECT_EQ(l.IndexOfName("code"), 1);
  l.SetValue("code", "7");
  EXPECT_EQ(l.Strings(1), "code=7");
  l.SetValue("New", "x=y");
  EXPECT_EQ(l.Strings(4), "New=x=y");
  EXPECT_EQ(l.Values("new"), "x=y");
  l.SetValue("Name", "");
  EXPECT_EQ(l.IndexOfName("Name"), -1) << "an empty value removes the line";
  EXPECT_EQ(l.Count(), 4);
}

TEST(TStrings, TextJoinsWithCrlfAndSplitsAnyLineEnd) {
  TStringList l = ListOf({"a", "", "b"});
  EXPECT_EQ(l.Text(), "a\r\n\r\nb\r\n");
  struct Case {
    const char *Name;
    std::string Text;
    std::vector<std::string> Expected;
  };
  const Case cases[] = {
      {"CRLF", "a\r\nb\r\n", {"a", "b"}},
      {"LF", "a\nb\n", {"a", "b"}},
      {"CR", "a\rb", {"a", "b"}},
      {"no final break", "a\r\nb", {"a", "b"}},
      {"blank lines kept", "a\n\nb", {"a", "", "b"}},
      {"empty", "", {}},
      {"only a break", "\r\n", {""}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    TStringList m;
    m.SetText(c.Text);
    EXPECT_EQ(m.ToVector(), c.Expected);
  }
}

TEST(TStringList, BadIndexRaisesListError) {
  TStringList l = ListOf({"a", "b"});
  struct Case {
    const char *Name;
    std::function<void()> Call;
    const char *Message;
  };
  const Case cases[] = {
      {"Get past the end", [&] { l.Get(2); }, "List index out of bounds (2)"},
      {"Get negative", [&] { l.Get(-1); }, "List index out of bounds (-1)"},
      {"Put", [&] { l.Put(5, "x"); }, "List index out of bounds (5)"},
      {"Delete", [&] { l.Delete(2); }, "List index out of bounds (2)"},
      {"Insert beyond Count", [&] { l.Insert(3, "x"); }, "List index out of bounds (3)"},
      {"Objects", [&] { l.Objects(9); }, "List index out of bounds (9)"},
      {"Exchange", [&] { l.Exchange(0, 7); }, "List index out of bounds (7)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      c.Call();
      ADD_FAILURE() << "no exception";
    } catch (const EListError &e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
  EXPECT_EQ(l.ToVector(), (std::vector<std::string>{"a", "b"}));
  l.Insert(2, "c");
  EXPECT_EQ(l.Strings(2), "c") << "Insert at Count appends";
}

TEST(TStringList, ObjectsTravelWithTheirStrings) {
  int a = 1, b = 2;
  TStringList l;
  l.AddObject("b", &b);
  l.AddObject("a", &a);
  l.Sort();
  EXPECT_EQ(l.Objects(0), &a);
  EXPECT_EQ(l.IndexOfObject(&b), 1);
  l.Move(1, 0);
  EXPECT_EQ(l.Strings(0), "b");
  EXPECT_EQ(l.Objects(0), &b);
}

TEST(TStringList, CustomSortIsStable) {
  TStringList l = ListOf({"b1", "a1", "b2", "a2", "c1", "a3"});
  l.CustomSort([](TStringList &L, int I, int J) { return static_cast<int>(L[I][0]) - static_cast<int>(L[J][0]); });
  EXPECT_EQ(l.ToVector(), (std::vector<std::string>{"a1", "a2", "a3", "b1", "b2", "c1"}));
}

TEST(TStringList, CustomSortSurvivesAnInconsistentComparison) {
  std::mt19937 rng(1);
  std::vector<std::string> items;
  for (int i = 0; i < 500; ++i)
    items.push_back("item" + std::to_string(i));
  TStringList l = ListOf(items);
  l.CustomSort([&rng](TStringList &L, int I, int J) {
    EXPECT_TRUE(I >= 0 && I < L.Count() && J >= 0 && J < L.Count());
    return static_cast<int>(rng() % 3) - 1;
  });
  std::vector<std::string> after = l.ToVector();
  std::sort(after.begin(), after.end());
  std::sort(items.begin(), items.end());
  EXPECT_EQ(after, items) << "still every item exactly once";
}

TEST(TStringList, CustomSortThatThrowsLeavesTheList) {
  TStringList l = ListOf({"c", "b", "a"});
  EXPECT_THROW(l.CustomSort([](TStringList &, int, int) -> int { throw EListError("stop"); }), EListError);
  EXPECT_EQ(l.ToVector(), (std::vector<std::string>{"c", "b", "a"}));
}

TEST(TStringList, OnChangeAndCopy) {
  int changes = 0;
  TStringList l;
  l.OnChange = [&] { ++changes; };
  l.Add("a");
  l.Add("b");
  l.Delete(0);
  EXPECT_EQ(changes, 3);
  TStringList copy(l);
  EXPECT_EQ(copy.ToVector(), l.ToVector());
  TStringList other = ListOf({"x"});
  other.Assign(l);
  EXPECT_TRUE(other.Equals(l));
}

TEST(TStrings, FilesThroughThePathService) {
  kvtest::IsolatedEnv env;
  kvtest::WriteFile(env / "cwd/Data/list.txt", "one\ntwo\r\nthree");
  TStringList l;
  l.LoadFromFile("DATA\\LIST.TXT");
  EXPECT_EQ(l.ToVector(), (std::vector<std::string>{"one", "two", "three"}));
  l.SaveToFile("data\\out.txt");
  EXPECT_EQ(kvtest::ReadFile(env / "cwd/Data/out.txt"), "one\r\ntwo\r\nthree\r\n");
  EXPECT_THROW(l.LoadFromFile("missing.txt"), EInOutError);
}

}  // namespace
