// The offer texts read into row values, and the search text into terms.
#include <gtest/gtest.h>

#include "client/search/uOffers.h"
#include "client/search/uSearch.h"
#include "common/Common.h"

namespace {

// Texts of tag-like pieces in mixed case, overlapping and unbalanced: every
// field reads as ChopLineOut takes it from the whole text.
TEST(Offers, TaggedFieldsReadAsChopLineOutTakesThem) {
  static const char *const Tags[] = {"PN", "DESC", "P"};
  const char *const Pieces[] = {"<PN>", "</PN>", "<pn>", "</pN>", "<Desc>", "</DESC>", "<P>", "</p>", "<",
                                ">",    "</",    "x",    "Y",     " ",      "P",       "N>",  "</PN"};
  uint32_t Seed = 1;
  auto Next = [&Seed] { return (Seed = Seed * 1103515245u + 12345u) >> 8; };
  int Tagged = 0;
  for (int K = 0; K < 20000; ++K) {
    std::string Text;
    for (uint32_t N = Next() % 9; N > 0; --N)
      Text += Pieces[Next() % (sizeof Pieces / sizeof *Pieces)];
    std::string Got[3];
    ReadTaggedFields(Text, Tags, 3, Got);
    bool AnyTag = false;
    for (const char *T : Tags)
      AnyTag |= kv::Pos("<" + std::string(T) + ">", kv::UpperCase(Text)) != 0;
    Tagged += AnyTag;
    for (int I = 0; I < 3; ++I) {
      std::string Rest = Text;
      const std::string Expected = !AnyTag ? (I == 0 ? Text : "")
                                           : ChopLineOut(Rest, "<" + std::string(Tags[I]) + ">",
                                                         "</" + std::string(Tags[I]) + ">");
      ASSERT_EQ(Got[I], Expected) << "text '" << Text << "' tag " << Tags[I];
    }
  }
  EXPECT_GT(Tagged, 5000);  // the pieces make both kinds of text
}

struct TProductCase {
  const char *Name;
  std::string Text;
  TOfferText Expected;
};

class ProductText : public ::testing::TestWithParam<TProductCase> {};

TEST_P(ProductText, IsReadByTags) {
  const TOfferText T = ParseProductText(GetParam().Text);
  const TOfferText &E = GetParam().Expected;
  EXPECT_EQ(T.Description, E.Description);
  EXPECT_EQ(T.PartNumber, E.PartNumber);
  EXPECT_EQ(T.Manufacturer, E.Manufacturer);
  EXPECT_EQ(T.Quantity, E.Quantity);
  EXPECT_EQ(T.Datasheet, E.Datasheet);
}

INSTANTIATE_TEST_SUITE_P(
    Offers, ProductText,
    ::testing::Values(
        TProductCase{"AllTags", "<DESC>Regulator</DESC><PN>LM317T</PN><MANF>TI</MANF><QTY>25</QTY>"
                                "<DATASHEET>http://d/lm317.pdf</DATASHEET>",
                     {"Regulator", "LM317T", "TI", "25", "http://d/lm317.pdf"}},
        TProductCase{"LowerCaseAnyOrder", "<pn>NE555</pn><desc>Timer</desc>", {"Timer", "NE555", "", "", ""}},
        TProductCase{"MixedCaseTags", "<Pn>BC547</pN>", {"", "BC547", "", "", ""}},
        TProductCase{"UntaggedIsDescription", "  Just a timer  ", {"Just a timer", "", "", "", ""}},
        TProductCase{"OpeningTagWithoutClosing", "<PN>NE555<DESC>Timer</DESC>", {"Timer", "", "", "", ""}},
        TProductCase{"ClosingBeforeOpening", "</PN>x<PN>NE555", {"", "", "", "", ""}},
        TProductCase{"ValuesNotTrimmed", "<PN> NE555 </PN>", {"", " NE555 ", "", "", ""}},
        TProductCase{"FirstOccurrenceWins", "<PN>A</PN><PN>B</PN>", {"", "A", "", "", ""}},
        TProductCase{"EntitiesDecoded", "<DESC>R&amp;D</DESC><PN>X1</PN>", {"R&D", "X1", "", "", ""}}),
    [](const auto &Info) { return std::string(Info.param.Name); });

struct TStockCase {
  const char *Name;
  std::string Stock, Quantity;
  std::string ExpectedStock, ExpectedQuantity;
};

class Stock : public ::testing::TestWithParam<TStockCase> {};

TEST_P(Stock, AndQuantity) {
  std::string Quantity = GetParam().Quantity;
  EXPECT_EQ(ReadStock(GetParam().Stock, Quantity), GetParam().ExpectedStock);
  EXPECT_EQ(Quantity, GetParam().ExpectedQuantity);
}

INSTANTIATE_TEST_SUITE_P(Offers, Stock,
                         ::testing::Values(TStockCase{"Yes", "Y", "25", "Y", "25"},
                                           TStockCase{"LowerYes", "y", "3", "Y", "3"},
                                           TStockCase{"NoZeroesQuantity", "N", "25", "N", "0"},
                                           TStockCase{"CallAnyCase", "call", "5", "Call", "5"},
                                           TStockCase{"OtherWordIsEmpty", "maybe", "5", "", "Call"},
                                           TStockCase{"YesWithoutQuantity", "Y", "", "Y", "Call"},
                                           TStockCase{"BlankAroundIsNotYes", " Y", "5", "", "Call"}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

struct TPriceCase {
  const char *Name;
  std::string Text;
  std::string Expected[4];
};

class Prices : public ::testing::TestWithParam<TPriceCase> {};

TEST_P(Prices, AreFormatted) {
  std::string P[4];
  ParsePrices(GetParam().Text, P);
  for (int I = 0; I < 4; ++I)
    EXPECT_EQ(P[I], GetParam().Expected[I]) << "break " << I + 1;
}

INSTANTIATE_TEST_SUITE_P(
    Offers, Prices,
    ::testing::Values(TPriceCase{"Untagged", "1234.5", {"1,234.50", "", "", ""}},
                      TPriceCase{"Letters", "abc", {"", "", "", ""}},
                      TPriceCase{"FourBreaksAnyOrder", "<pr2>0.5</pr2><PR1>0.6</PR1><PR4>0.25</PR4><PR3>0.3</PR3>",
                                 {"0.60", "0.50", "0.30", "0.25"}},
                      TPriceCase{"BadBreakEmpty", "<PR1>1.2.3</PR1><PR2>7</PR2>", {"", "7.00", "", ""}},
                      TPriceCase{"NoThousandsOnInput", "1,234.50", {"", "", "", ""}},
                      TPriceCase{"NoInfinity", "inf", {"", "", "", ""}},
                      TPriceCase{"Rounds", "0.125", {"0.13", "", "", ""}},
                      TPriceCase{"Million", "1234567", {"1,234,567.00", "", "", ""}}),
    [](const auto &Info) { return std::string(Info.param.Name); });

struct TMatchCase {
  const char *Name;
  std::string PartNumber, Term;
  int SearchType, Filter;
  bool Expected;
};

class Match : public ::testing::TestWithParam<TMatchCase> {};

TEST_P(Match, OfPartNumber) {
  const TMatchCase &C = GetParam();
  EXPECT_EQ(PartNumberMatches(C.PartNumber, C.Term, C.SearchType, C.Filter), C.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Offers, Match,
    ::testing::Values(TMatchCase{"NoneTakesAll", "XYZ", "lm317", srchPartNo, fltrNone, true},
                      TMatchCase{"DescriptionSearchTakesAll", "XYZ", "lm317", srchDescription, fltrExact, true},
                      TMatchCase{"ExactAnyCase", "LM317", "lm317", srchPartNo, fltrExact, true},
                      TMatchCase{"ExactLonger", "LM317T", "lm317", srchPartNo, fltrExact, false},
                      TMatchCase{"ContainsInside", "XLM317T", "lm317", srchPartNo, fltrPartial, true},
                      TMatchCase{"ContainsMissing", "LM337", "lm317", srchPartNo, fltrPartial, false},
                      TMatchCase{"BeginsWith", "lm317t", "LM317", srchPartNo, fltrStartsWith, true},
                      TMatchCase{"BeginsWithFurtherIn", "XLM317", "LM317", srchPartNo, fltrStartsWith, false},
                      TMatchCase{"BlankTermMatchesNothing", "LM317", "", srchPartNo, fltrPartial, false},
                      TMatchCase{"UnknownFilter", "LM317", "LM317", srchPartNo, 4, false}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST(Offers, CountText) {
  EXPECT_EQ(ProductCountText(1), "1 product found     ");
  EXPECT_EQ(ProductCountText(2), "2 products found     ");
  EXPECT_EQ(ProductCountText(0), "0 products found     ");
}

struct TTermsCase {
  const char *Name;
  std::string Text;
  std::vector<std::string> Expected;
};

class SearchTerms : public ::testing::TestWithParam<TTermsCase> {};

TEST_P(SearchTerms, AreSplitAndTrimmed) {
  TWorkingSettings Settings;
  TSearchEngine Engine(Settings, nullptr, {});
  Engine.ParseSearchTerms(GetParam().Text);
  EXPECT_EQ(Engine.SearchTerms.ToVector(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Search, SearchTerms,
    ::testing::Values(TTermsCase{"One", "LM317", {"LM317"}},
                      TTermsCase{"TwoWithBlanks", "  LM317 ,  NE555 ", {"LM317", "NE555"}},
                      TTermsCase{"EmptyBetweenKept", "a,,b", {"a", "", "b"}},
                      TTermsCase{"TrailingCommaAddsNone", "a,", {"a"}},
                      TTermsCase{"TrailingCommaAndBlank", "a, ", {"a", ""}},
                      TTermsCase{"OnlyBlanks", "   ", {""}}),
    [](const auto &Info) { return std::string(Info.param.Name); });

}  // namespace
