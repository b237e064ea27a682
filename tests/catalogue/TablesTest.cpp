// The built-in code tables, the Help menu items, the tip and the version.
#include <map>
#include <set>

#include "tests/catalogue/PrimaryBinding.h"

namespace cattest {
namespace {

using Tables = CatalogueTest;

TEST_F(Tables, HaveTheirFixedSizesAndOrder) {
  kv::TStringList L;
  L.Add("left over");
  P.LoadCountries(&L);
  EXPECT_EQ(L.Count(), 159);
  EXPECT_EQ(L[0], "AD Andorra");
  EXPECT_EQ(L[158], "ZW Zimbabwe");
  P.LoadLanguages(&L);
  EXPECT_EQ(L.Count(), 25);
  EXPECT_EQ(L[4], "EN English");
  EXPECT_EQ(L[24], "SV Swedish");
  P.LoadRegions(&L);
  EXPECT_EQ(Items(L), (std::vector<std::string>{"NA North America", "CA Central America", "SA South America",
                                                "EU Europe", "CB Caribbean", "AF Africa", "ME Middle East",
                                                "OC Oceania", "AS Asia"}));
  P.LoadCurrencies(&L);
  EXPECT_EQ(L.Count(), 56);
  EXPECT_EQ(L[0], "USD American Dollars");
  EXPECT_EQ(L[41], "PTE Portugese Escudo");
  EXPECT_EQ(L[55], "XEU European Currency Units");
}

struct TLookup {
  const char *Name;
  TGetTableText TPrimary::*Getter;
  int32_t Index;
  const char *Expected;
};

class TableLookups : public CatalogueTest, public ::testing::WithParamInterface<TLookup> {};

TEST_P(TableLookups, GiveTheEntryOrItsCode) {
  std::string R = "stale";
  (P.*GetParam().Getter)(R, GetParam().Index);
  EXPECT_EQ(R, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, TableLookups,
    ::testing::Values(TLookup{"CountryName", &TPrimary::GetCountryName, 144, "UK United Kingdom"},
                      TLookup{"CountryCode", &TPrimary::GetCountryCode, 144, "UK"},
                      TLookup{"CountryNone", &TPrimary::GetCountryName, -1, ""},
                      TLookup{"CountryCodeNone", &TPrimary::GetCountryCode, -1, ""},
                      TLookup{"FirstCsk", &TPrimary::GetCurrencyCode, 19, "CSK"},
                      TLookup{"SecondCsk", &TPrimary::GetCurrencyCode, 32, "CSK"},
                      TLookup{"AfterSecondCsk", &TPrimary::GetCurrencyName, 33, "JOD Jordanian Dinar"},
                      TLookup{"CurrencyNone", &TPrimary::GetCurrencyName, -1, ""},
                      TLookup{"CurrencyCodeNone", &TPrimary::GetCurrencyCode, -1, ""}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(Tables, IndexOutsideTheTableRaisesTheListError) {
  std::string R;
  EXPECT_THROW(P.GetCountryName(R, 159), kv::EListError);
  EXPECT_THROW(P.GetCountryCode(R, -2), kv::EListError);
  EXPECT_THROW(P.GetCurrencyName(R, 56), kv::EListError);
  EXPECT_THROW(P.GetCurrencyCode(R, 1000), kv::EListError);
}

TEST_F(Tables, EveryCountryHasExactlyOneRegion) {
  kv::TStringList Countries, Regions;
  P.LoadCountries(&Countries);
  P.LoadRegions(&Regions);
  std::set<std::string> RegionCodes;
  for (int I = 0; I < Regions.Count(); ++I)
    RegionCodes.insert(Regions[I].substr(0, 2));
  std::map<std::string, int> PerRegion;
  for (int I = 0; I < Countries.Count(); ++I) {
    std::string R = "stale";
    P.GetRegionCodeForCountry(R, Countries[I].substr(0, 2));
    EXPECT_EQ(RegionCodes.count(R), 1u) << Countries[I];
    ++PerRegion[R];
  }
  EXPECT_EQ(PerRegion, (std::map<std::string, int>{{"NA", 7}, {"CA", 7}, {"SA", 12}, {"EU", 47}, {"CB", 16},
                                                    {"AF", 26}, {"ME", 9}, {"OC", 13}, {"AS", 22}}));
}

TEST_F(Tables, RegionLookupIsExact) {
  const std::vector<std::pair<std::string, std::string>> Cases{
      {"UK", "EU"}, {"US", "NA"}, {"SA", "ME"}, {"NA", "AF"}, {"uk", ""}, {"XX", ""}, {"", ""}, {"UKX", ""}, {"U", ""}};
  for (const auto &[Code, Region] : Cases) {
    std::string R = "stale";
    P.GetRegionCodeForCountry(R, Code);
    EXPECT_EQ(R, Region) << Code;
  }
}

std::vector<std::tuple<std::string, std::string, std::string, int32_t>> &HelpItems() {
  static std::vector<std::tuple<std::string, std::string, std::string, int32_t>> V;
  return V;
}

TEST_F(Tables, HelpItemsComeInOrder) {
  HelpItems().clear();
  P.GetHelpMenuItems([](const std::string &Caption, const std::string &URL, const std::string &ShortCut,
                        int32_t Offset) { HelpItems().emplace_back(Caption, URL, ShortCut, Offset); });
  ASSERT_EQ(HelpItems().size(), 2u);
  const auto &[C1, U1, S1, O1] = HelpItems()[0];
  const auto &[C2, U2, S2, O2] = HelpItems()[1];
  EXPECT_EQ(C1, "&Online Help");
  EXPECT_EQ(S1, "F1");
  EXPECT_EQ(O1, 0);
  EXPECT_EQ(U1.rfind("http://", 0), 0u);
  EXPECT_EQ(U1.substr(U1.size() - 28), "/kv_homepage/user_manual.asp");
  EXPECT_EQ(C2, "&FAQ");
  EXPECT_EQ(S2, "");
  EXPECT_EQ(O2, 2);
  EXPECT_EQ(U2, U1.substr(0, U1.size() - 28) + "/kv_homepage/faq.asp");
}

TEST_F(Tables, TipsCoverAllFourTexts) {
  std::set<std::string> Seen;
  for (int I = 0; I < 400 && Seen.size() < 4; ++I) {
    std::string R;
    P.GetTip(R);
    Seen.insert(R);
  }
  EXPECT_EQ(Seen, (std::set<std::string>{"Tip: Too many hits? Use more search terms.",
                                         "Tip: Specify a category which best fits your search.",
                                         "Tip: Separate words with spaces only. For example: Cheese Brie",
                                         "Tip: Don't use boolean operators, just keywords."}));
}

TEST_F(Tables, VersionIs3003) {
  int32_t V = 0;
  P.GetVersionNumber(V);
  EXPECT_EQ(V, 3003);
}

}  // namespace
}  // namespace cattest
