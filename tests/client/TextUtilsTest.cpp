// The client's text utilities.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>

#include "client/uTextUtils.h"
#include "platform/Registry.h"
#include "platform/StringList.h"
#include "platform/SysUtils.h"
#include "tests/support/TestEnv.h"

namespace {

struct TSplitCase {
  const char *Name;
  std::string Text, Delimiter;
  bool AddDelimiters;
  char Open, Close;
  std::vector<std::string> Items;
  int Count;
};

class SplitCases : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(SplitCases, GiveTheItems) {
  const TSplitCase &C = GetParam();
  kv::TStringList L;
  L.Add("left over");
  EXPECT_EQ(SplitString(C.Text, C.Delimiter, L, true, C.AddDelimiters, C.Open, C.Close), C.Count);
  EXPECT_EQ(L.ToVector(), C.Items);
}

INSTANTIATE_TEST_SUITE_P(
    TextUtils, SplitCases,
    ::testing::Values(
        TSplitCase{"EmptyMiddle", "a,,b", ",", false, 0, 0, {"a", "", "b"}, 2},
        TSplitCase{"TrailingDelimiter", "a,b,", ",", false, 0, 0, {"a", "b"}, 2},
        TSplitCase{"NoDelimiter", "abc", ",", false, 0, 0, {"abc"}, 0},
        TSplitCase{"EmptyText", "", ",", false, 0, 0, {""}, 0},
        TSplitCase{"QuotedStretchKept", "a,\"b,c\",d", ",", false, '"', '"', {"a", "\"b,c\"", "d"}, 2},
        TSplitCase{"NestedBrackets", "x(a,(b,c)),y", ",", false, '(', ')', {"x(a,(b,c))", "y"}, 1},
        TSplitCase{"AddDelimiters", "x|y", "|", true, 0, 0, {"x", "|", "y"}, 1},
        TSplitCase{"LongDelimiter", "a<>b<>c", "<>", false, 0, 0, {"a", "b", "c"}, 2}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST(TextUtils, SplitIgnoresCaseOnlyWhenAsked) {
  kv::TStringList L;
  EXPECT_EQ(SplitStringSimple("aXbxc", "x", L, false, false), 2);
  EXPECT_EQ(L.ToVector(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitStringSimple("aXbxc", "x", L, true, false), 1);
  EXPECT_EQ(L.ToVector(), (std::vector<std::string>{"aXb", "c"}));
}

TEST(TextUtils, JoinPutsTheDelimiterBetweenItems) {
  kv::TStringList L;
  EXPECT_EQ(JoinStrings(L, ","), "");
  L.Add("A");
  EXPECT_EQ(JoinStrings(L, ","), "A");
  L.Add("B");
  L.Add("C");
  EXPECT_EQ(JoinStrings(L, ","), "A,B,C");
}

TEST(TextUtils, SplitAtDelimiterFillsOnlyWhatIsAsked) {
  std::string Before = "unchanged", After = "unchanged";
  EXPECT_EQ(SplitAtDelimiter("key=value", "=", &Before, &After, 0, 0, true), 4);
  EXPECT_EQ(Before, "key");
  EXPECT_EQ(After, "value");
  Before = After = "unchanged";
  EXPECT_EQ(SplitAtDelimiter("novalue", "=", &Before, &After, 0, 0, true), 0);
  EXPECT_EQ(Before, "unchanged");
  EXPECT_EQ(SplitAtDelimiter("k=v", "=", nullptr, &After, 0, 0, true), 2);
  EXPECT_EQ(After, "v");
}

TEST(TextUtils, SkipOverDelimitersRulesAndErrors) {
  int P = 1;
  EXPECT_TRUE(bSkipOverDelimiters("(a(b)c)d", P, '(', ')'));
  EXPECT_EQ(P, 7);
  P = 1;
  EXPECT_FALSE(bSkipOverDelimiters("(a(b", P, '(', ')'));
  EXPECT_EQ(P, 1);
  P = 2;
  EXPECT_FALSE(bSkipOverDelimiters("(a)", P, '(', ')'));  // not an opener
  P = 3;
  EXPECT_FALSE(bSkipOverDelimiters("ab(", P, '(', ')'));  // opener at the end
  P = 1;
  EXPECT_THROW(
      {
        try {
          bSkipOverDelimiters("", P, '(', ')');
        } catch (const kv::Exception &E) {
          EXPECT_STREQ(E.what(), "bSkipOverDelimiters : empty string supplied");
          throw;
        }
      },
      kv::Exception);
  P = 4;
  EXPECT_THROW(
      {
        try {
          bSkipOverDelimiters("abc", P, '(', ')');
        } catch (const kv::Exception &E) {
          EXPECT_STREQ(E.what(), "bSkipOverDelimiters : invalid position supplied");
          throw;
        }
      },
      kv::Exception);
}

TEST(TextUtils, DeepNestingNeitherRecursesNorFails) {
  // A million openers would exhaust the stack of a recursive walk.
  const std::string Deep = std::string(1000000, '(') + "x" + std::string(1000000, ')');
  int P = 1;
  EXPECT_TRUE(bSkipOverDelimiters(Deep, P, '(', ')'));
  EXPECT_EQ(P, static_cast<int>(Deep.size()));
  const std::string Open = std::string(1000000, '(') + "x";
  P = 1;
  EXPECT_FALSE(bSkipOverDelimiters(Open, P, '(', ')'));
  // Unclosed openers: each one is tried again, so keep this one short.
  const std::string Short = std::string(2000, '(') + "x";
  EXPECT_EQ(FindDelimiter(Short + ",", ",", true, '(', ')'), static_cast<int>(Short.size()) + 1);
}

struct TMatchCase {
  const char *Name, *Text, *Pattern;
  bool Matches;
};
class MatchCases : public ::testing::TestWithParam<TMatchCase> {};
TEST_P(MatchCases, Decide) {
  EXPECT_EQ(MatchesFindPattern(GetParam().Text, GetParam().Pattern), GetParam().Matches);
}
INSTANTIATE_TEST_SUITE_P(TextUtils, MatchCases,
                         ::testing::Values(TMatchCase{"Anywhere", "LM317T", "..317..", true},
                                           TMatchCase{"StartAndEnd", "LM317T", "LM..T", true},
                                           TMatchCase{"FirstPartMustStart", "LM317T", "317..T", false},
                                           TMatchCase{"NoDotsIsEquality", "LM317T", "LM317", false},
                                           TMatchCase{"Equal", "LM317T", "LM317T", true},
                                           TMatchCase{"PartsInOrder", "ABCDEF", "..D..B..", false},
                                           TMatchCase{"NothingAfterLastPart", "ABCDEF", "AB..CD", true}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST(TextUtils, DecodeHtmlEntitiesInItsOrder) {
  EXPECT_EQ(DecodeHtmlEntities("a&nbsp;b&AMP;c&ltd"), "a b&c<d");
  EXPECT_EQ(DecodeHtmlEntities("&amp;lt;"), "<");
  EXPECT_EQ(DecodeHtmlEntities("&QUOT;x&quot&gt;"), "\"x\">");
}

TEST(TextUtils, SameTokenCase) {
  EXPECT_TRUE(SameToken("abc", "ABC", false));
  EXPECT_FALSE(SameToken("abc", "ABC", true));
}

class ExtensionIcon : public ::testing::Test {
protected:
  void Register(const std::string &Location) {
    kv::TRegistry Reg;
    Reg.SetRootKey(kv::HKEY_CLASSES_ROOT);
    ASSERT_TRUE(Reg.OpenKey("\\.htm", true));
    Reg.WriteString("", "htmlfile");
    Reg.CloseKey();
    ASSERT_TRUE(Reg.OpenKey("\\htmlfile\\DefaultIcon", true));
    Reg.WriteString("", Location);
  }
  std::string Picture(const std::string &Name) {
    QImage I(16, 16, QImage::Format_RGB32);
    I.fill(Qt::red);
    const std::string Path = Env / Name;
    EXPECT_TRUE(I.save(QString::fromStdString(Path), "PNG"));
    return Path;
  }
  kvtest::IsolatedEnv Env;
};

TEST_F(ExtensionIcon, FoundWithOrWithoutTheDot) {
  Register(Picture("browser.png") + ",0");
  QIcon Icon;
  EXPECT_TRUE(GetExtensionIcon("HTM", Icon));
  EXPECT_FALSE(Icon.isNull());
  QIcon Again;
  EXPECT_TRUE(GetExtensionIcon(".HTM", Again));
}

TEST_F(ExtensionIcon, LocationSplitsAtTheLastComma) {
  Register(Picture("a,b.png") + ",0");
  QIcon Icon;
  EXPECT_TRUE(GetExtensionIcon("htm", Icon));
}

TEST_F(ExtensionIcon, FailuresGiveFalseAndAnEmptyIcon) {
  QIcon Icon;
  EXPECT_FALSE(GetExtensionIcon("htm", Icon));  // no key
  const std::string File = Picture("browser.png");
  for (const std::string &Location : {File, File + ",x", File + ",", File + ",3", Env / "missing.png,0"}) {
    SCOPED_TRACE(Location);
    Register(Location);
    Icon = QIcon(QPixmap(4, 4));
    EXPECT_FALSE(GetExtensionIcon("htm", Icon));
    EXPECT_TRUE(Icon.isNull());
  }
}

}  // namespace
