// The settings loader over seeded registry files, with the catalogue bound to
// fakes, and the stored user details and version.
#include <gtest/gtest.h>

#include "client/uCatalogue.h"
#include "client/settings/uSettings.h"
#include "client/settings/uUserDetails.h"
#include "common/Common.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/server/ProxyConvertedCases.h"

namespace {

using namespace clienttest;

// Three sites; a feature list allows the sites it names ("Site0", ...).
class Settings : public ::testing::Test {
protected:
  void SetUp() override {
    Catalogue = TCatalogue();
    Catalogue.GetNumberSites = [] { return int32_t(3); };
    Catalogue.GetLibraryName = [](std::string &R, int32_t I) { R = "LIB\\S" + std::to_string(I) + ".TWL"; };
    Catalogue.CanUseSite = [](int32_t I, kv::TStrings *F) {
      return F != nullptr && F->IndexOf("Site" + std::to_string(I)) >= 0;
    };
    Catalogue.LoadSiteCurrencies = [](kv::TStrings *L) {
      L->Clear();
      L->Add("GBP British Pounds");
      L->Add("USD American Dollars");
    };
    Catalogue.GetCountryCode = [](std::string &R, int32_t I) { R = I < 0 ? "" : "UK"; };
    Catalogue.GetCurrencyCode = [](std::string &R, int32_t I) { R = I == 0 ? "USD" : "GBP"; };
    Catalogue.GetVersionNumber = [](int32_t &V) { V = 3003; };
  }
  void TearDown() override { Catalogue = TCatalogue(); }

  TWorkingSettings Load(kv::TStrings *Features = nullptr, int ServerMax = 400,
                        std::vector<std::string> Args = {"QZBOOTSTRAPPED"}) {
    TWorkingSettings S;
    S.SiteEnabled = {9, 9};
    LoadSettingsValues(S, Features, ServerMax, Args);
    return S;
  }

  kvtest::IsolatedEnv Env;
};

TEST_F(Settings, FreshRegistryGivesTheDefaults) {
  kv::TStringList Features;
  for (const char *F : {"Site0", "Site1", "Site2"})
    Features.Add(F);
  const TWorkingSettings S = Load(&Features);
  EXPECT_FALSE(S.UseProxy);
  EXPECT_EQ(S.MaxSockets, 12);
  EXPECT_FALSE(S.InStockOnly);
  EXPECT_EQ(S.LinkType, 0);
  EXPECT_TRUE(S.MerchantMessages);
  EXPECT_TRUE(S.BannerTips);
  EXPECT_TRUE(S.ShowGoSite);
  EXPECT_TRUE(S.GoSite);
  EXPECT_EQ(S.SiteEnabled, (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(S.CurrencyRates, (std::vector<std::string>{"0", "0"}));
  EXPECT_EQ(S.MaxResults, 400);
  EXPECT_TRUE(S.LimitResults);
  EXPECT_EQ(S.ResultsPer, 1);
  EXPECT_EQ(S.Tip, "Tip 1: Specify a Part Number or Description for your search.");
  EXPECT_EQ(S.ClickURL1, MakerHostName);
  EXPECT_EQ(S.LocalCountryCode, "");
  EXPECT_EQ(S.LocalCurrencyCode, "USD");
  EXPECT_FALSE(S.FindLocalSites || S.LanguageSites || S.RegionSites);
  EXPECT_FALSE(S.DebugMode || S.MessageDebugMode);
  // The loader creates the key and marks the (empty) proxy login scrambled,
  // with the flag as a number.
  EXPECT_EQ(kvtest::StoredSetting("ProxyConverted"), "dword:1");
  EXPECT_EQ(kvtest::StoredSetting("ProxyUserName"), CryptString(""));
}

struct TMaxSocketsCase {
  const char *Name;
  std::string Stored;
  int Expected;
};
class MaxSockets : public Settings, public ::testing::WithParamInterface<TMaxSocketsCase> {};
TEST_P(MaxSockets, StayWithinThePool) {
  SeedString("Advanced", "MaxSockets", GetParam().Stored);
  EXPECT_EQ(Load().MaxSockets, GetParam().Expected);
}
INSTANTIATE_TEST_SUITE_P(Settings, MaxSockets,
                         ::testing::Values(TMaxSocketsCase{"AboveTheLimit", "40", 32},
                                           TMaxSocketsCase{"Hexadecimal", "0x10", 16},
                                           TMaxSocketsCase{"NotANumber", "abc", 12},
                                           TMaxSocketsCase{"One", "1", 1}, TMaxSocketsCase{"Zero", "0", 1},
                                           TMaxSocketsCase{"Negative", "-5", 1}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(Settings, WronglyTypedValuesReadAsMissing) {
  SeedInteger("Advanced", "MaxSockets", 20);
  SeedInteger("Advanced", "InStockOnly", 1);
  SeedInteger("Tip", "Tip", 5);
  SeedInteger("", "ProxyServer", 7);
  SeedString("Advanced", "ShowGoSite", "0");  // read after the bad ones
  const TWorkingSettings S = Load();
  EXPECT_EQ(S.MaxSockets, 12);
  EXPECT_FALSE(S.InStockOnly);
  EXPECT_EQ(S.Tip, DefaultTip);
  EXPECT_EQ(S.ProxyServer, "");
  EXPECT_FALSE(S.ShowGoSite);  // the load went on to its end
}

struct TLimitCase {
  const char *Name;
  std::string LimitResults, MaxResults;
  int ServerMax, Expected;
};
class ResultLimit : public Settings, public ::testing::WithParamInterface<TLimitCase> {};
TEST_P(ResultLimit, NeverAboveTheServers) {
  const TLimitCase &C = GetParam();
  if (!C.LimitResults.empty())
    SeedString("Advanced", "LimitResults", C.LimitResults);
  SeedString("Advanced", "MaxResults", C.MaxResults);
  const TWorkingSettings S = Load(nullptr, C.ServerMax);
  EXPECT_EQ(S.MaxResults, C.Expected);
  EXPECT_TRUE(S.LimitResults);
}
INSTANTIATE_TEST_SUITE_P(Settings, ResultLimit,
                         ::testing::Values(TLimitCase{"OwnLimitBelow", "1", "100", 400, 100},
                                           TLimitCase{"OwnLimitAbove", "1", "1000", 400, 400},
                                           TLimitCase{"NoOwnLimit", "0", "100", 400, 400},
                                           TLimitCase{"LowerServerLimit", "1", "100", 50, 50}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(Settings, SiteFlagsAgainstFeatures) {
  SeedString("SiteInfo\\Sites", "SiteLIB\\S1.TWL", "0");
  kv::TStringList Features;
  Features.Add("Site0");
  Features.Add("Site1");
  EXPECT_EQ(Load(&Features).SiteEnabled, (std::vector<int>{1, 0, 0}));
  // Before a logon reply there is no feature list: no site at all.
  EXPECT_EQ(Load(nullptr).SiteEnabled, (std::vector<int>{0, 0, 0}));
}

TEST_F(Settings, CurrencyRatesByTheFirstThreeCharacters) {
  SeedString("Currency", "CurrencyUSD", "1.55");
  EXPECT_EQ(Load().CurrencyRates, (std::vector<std::string>{"0", "1.55"}));
}

TEST_F(Settings, ProxyWithoutServerOrPortIsSwitchedOff) {
  SeedString("", "ProxyInfoSaved", "1");
  EXPECT_FALSE(Load().UseProxy);
  EXPECT_EQ(StoredString("", "ProxyInfoSaved"), "0");
  SeedString("", "ProxyInfoSaved", "1");
  SeedString("", "ProxyPort", "8080");
  const TWorkingSettings S = Load();
  EXPECT_TRUE(S.UseProxy);
  EXPECT_EQ(S.ProxyPort, "8080");
}

TEST_F(Settings, PlainProxyLoginIsScrambledOnce) {
  SeedString("", "ProxyUserName", "fred");
  SeedString("", "ProxyPassword", "secret");
  TWorkingSettings S = Load();
  EXPECT_EQ(S.ProxyUserName, "fred");
  EXPECT_EQ(S.ProxyPassword, "secret");
  EXPECT_EQ(StoredString("", "ProxyUserName"), CryptString("fred"));
  S = Load();
  EXPECT_EQ(StoredString("", "ProxyUserName"), CryptString("fred"));
  EXPECT_EQ(S.ProxyUserName, "fred");
}

class ProxyConverted : public Settings, public ::testing::WithParamInterface<kvtest::TConvertedRow> {};
TEST_P(ProxyConverted, ScramblesTheLoginOnlyWhenTheFlagSaysNot) {
  const kvtest::TConvertedRow &Row = GetParam();
  kvtest::SeedProxyLogin(Row, "fred", "secret");
  for (int Round = 1; Round <= 2; ++Round) {
    SCOPED_TRACE(Round);
    Load();
    EXPECT_EQ(kvtest::StoredSetting("ProxyUserName"), Row.Converted ? "fred" : CryptString("fred"));
    EXPECT_EQ(kvtest::StoredSetting("ProxyPassword"), Row.Converted ? "secret" : CryptString("secret"));
    EXPECT_EQ(kvtest::StoredSetting("ProxyConverted"), Row.Converted ? kvtest::StoredForm(Row) : "dword:1");
  }
}
INSTANTIATE_TEST_SUITE_P(Settings, ProxyConverted, ::testing::ValuesIn(kvtest::ConvertedRows),
                         [](const auto &Info) { return std::string(Info.param.Name); });

struct TDebugCase {
  const char *Name;
  std::vector<std::string> Args;
  bool Debug, MessageDebug;
};
class DebugSwitch : public Settings, public ::testing::WithParamInterface<TDebugCase> {};
TEST_P(DebugSwitch, CountsOnlyAsFirstArgument) {
  const TWorkingSettings S = Load(nullptr, 400, GetParam().Args);
  EXPECT_EQ(S.DebugMode, GetParam().Debug);
  EXPECT_EQ(S.MessageDebugMode, GetParam().MessageDebug);
}
INSTANTIATE_TEST_SUITE_P(
    Settings, DebugSwitch,
    ::testing::Values(TDebugCase{"First", {"QZDEBUG", "QZBOOTSTRAPPED"}, true, false},
                      TDebugCase{"MessageDebugFirst", {"QZMSGDEBUG"}, false, true},
                      TDebugCase{"Second", {"QZBOOTSTRAPPED", "QZDEBUG"}, false, false},
                      TDebugCase{"LowerCase", {"qzdebug"}, false, false},
                      TDebugCase{"NoArguments", {}, false, false}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(Settings, UserDetailsRoundTripScrambled) {
  EXPECT_FALSE(HasCustomerID());
  EXPECT_EQ(GetCustomerID(), "");
  std::string Id = "keep", Pw = "keep";
  ReadUserDetails(Id, Pw);  // no key: left alone
  EXPECT_EQ(Id, "keep");
  WriteUserDetails("C123", "pw");
  EXPECT_EQ(StoredString("User Details", "CustomerID"), CryptString("C123"));
  ReadUserDetails(Id, Pw);
  EXPECT_EQ(Id, "C123");
  EXPECT_EQ(Pw, "pw");
  EXPECT_TRUE(HasCustomerID());
}

TEST_F(Settings, UserDetailsMissingPasswordOrWrongType) {
  SeedString("User Details", "CustomerID", CryptString("C9"));
  std::string Id, Pw = "old";
  ReadUserDetails(Id, Pw);
  EXPECT_EQ(Id, "C9");
  EXPECT_EQ(Pw, "");
  SeedInteger("User Details", "Password", 5);
  Id = Pw = "old";
  ReadUserDetails(Id, Pw);
  EXPECT_EQ(Id, "");
  EXPECT_EQ(Pw, "");
}

TEST_F(Settings, CustomerDetailsText) {
  EXPECT_EQ(CustomerDetailsText("", ""), "<CUSTOMER_ID></CUSTOMER_ID><CUSTOMER_PW></CUSTOMER_PW>");
  EXPECT_EQ(CustomerDetailsText("A", "B"), "<CUSTOMER_ID>A</CUSTOMER_ID><CUSTOMER_PW>B</CUSTOMER_PW>");
}

TEST_F(Settings, LibraryVersionIsRaisedNeverLowered) {
  // No settings key at all: the catalogue's version, nothing written.
  EXPECT_EQ(CheckLibraryVersion(), 3003);
  EXPECT_EQ(StoredString("", "Version"), "<no key>");
  SeedInteger("", "Version", 2990);
  EXPECT_EQ(CheckLibraryVersion(), 3003);
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(Reg.OpenKeyReadOnly(SettingsKey));
  EXPECT_EQ(Reg.ReadInteger("Version"), 3003);
  SeedInteger("", "Version", 3100);
  EXPECT_EQ(CheckLibraryVersion(), 3100);
  // A wrongly typed value reads as missing.
  SeedString("", "Version", "2000");
  EXPECT_EQ(CheckLibraryVersion(), 3003);
}

TEST_F(Settings, DownloadFlag) {
  SetDownloadStarted();
  EXPECT_EQ(StoredString("", "FlagDown"), "StartDown");
  SetDownloadEnded();
  EXPECT_EQ(StoredString("", "FlagDown"), "EndDown");
}

}  // namespace
