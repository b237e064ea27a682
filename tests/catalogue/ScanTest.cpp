// The start-up scan, the site store, use counting and the cache file.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "tests/catalogue/PrimaryBinding.h"
#include "tests/support/SaveTargets.h"

#include "common/Common.h"

namespace cattest {
namespace {

const std::string CRLF = "\r\n";

TEST_F(CatalogueTest, ExportsTheInterfaceAndKeepsCommonHidden) {
  EXPECT_TRUE(P.Missing.empty());
  // Common is compiled in hidden; only libTavrel.so exports it.
  EXPECT_EQ(kv::GetProcAddress(P.Handle, "_Z14GetTextBetweenRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES6_S6_"),
            nullptr);
}

TEST_F(CatalogueTest, ProgressRepeatsTheLastNameAndReportsTheInvalidFile) {
  AddSite("A1", SiteSettings("Alpha"));
  kvtest::WriteFile(LibPath("B2.TWL"), "not a library");
  AddSite("C3", SiteSettings("Gamma"));
  InitCatalogue();
  const std::vector<TProgress> Expected{{3, 0, ""}, {3, 1, "Alpha"}, {3, 2, "Alpha"}, {3, 3, "Gamma"}};
  EXPECT_EQ(Progress(), Expected);
  EXPECT_EQ(Messages(), std::vector<std::string>{"A fatal error has occured with B2.TWL" + CRLF + "File not used"});
  // An error box with OK only.
  EXPECT_EQ(MessageKinds(), (std::vector<std::pair<std::string, unsigned>>{{"Error", kv::MB_OK | kv::MB_ICONERROR}}));
  ASSERT_EQ(P.GetNumberSites(), 2);
  EXPECT_EQ(Text(P.GetSiteName, 0), "Alpha");
  EXPECT_EQ(Text(P.GetSiteName, 1), "Gamma");
  EXPECT_EQ(Text(P.GetLibraryName, 1), "LIB\\C3.TWL");
  // After the scan every accepted library is loaded with no use held.
  EXPECT_EQ(P.NumberLoaded(), 2);
}

TEST_F(CatalogueTest, ReportBeforeAnyValidLibraryCarriesOneBlank) {
  kvtest::WriteFile(LibPath("A.TWL"), "");
  InitCatalogue();
  const std::vector<TProgress> Expected{{1, 0, ""}, {1, 1, " "}};
  EXPECT_EQ(Progress(), Expected);
}

struct TVersionCase {
  const char *Name;
  int Version;
  bool Accepted;
  const char *Message;  // "" for none
};

class ScanVersions : public CatalogueTest, public ::testing::WithParamInterface<TVersionCase> {};

TEST_P(ScanVersions, DecideAcceptance) {
  const TVersionCase &C = GetParam();
  AddSite("V", SiteSettings("Vee", C.Version));
  InitCatalogue();
  EXPECT_EQ(P.GetNumberSites(), C.Accepted ? 1 : 0);
  if (*C.Message)
    EXPECT_EQ(Messages(), std::vector<std::string>{C.Message});
  else
    EXPECT_TRUE(Messages().empty());
  // The rejected site's name still shows in the progress report.
  EXPECT_EQ(Progress().back(), (TProgress{1, 1, "Vee"}));
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, ScanVersions,
    ::testing::Values(TVersionCase{"Zero", 0, false, ""},
                      TVersionCase{"Five", 5, false, "Unable to load V.TWL\r\nInterface version 5 not suppoted"},
                      TVersionCase{"MinusOne", -1, true, ""}, TVersionCase{"One", 1, true, ""},
                      TVersionCase{"Four", 4, true, ""}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(CatalogueTest, NegativeVersionBehavesAsVersionOne) {
  AddSite("V", SiteSettings("Vee", -1));
  InitCatalogue();
  EXPECT_FALSE(Logged("V", "GetSiteLanguage"));
  EXPECT_EQ(Text(P.GetSiteLanguage, 0), "EN English");
}

TEST_F(CatalogueTest, DirectoryNamedLikeALibraryCountsAndIsReported) {
  fs::create_directories(LibPath("X.TWL"));
  AddSite("Y", SiteSettings("Why"));
  InitCatalogue();
  EXPECT_EQ(Progress().front(), (TProgress{2, 0, ""}));
  EXPECT_EQ(Progress().size(), 3u);
  EXPECT_EQ(Messages(), std::vector<std::string>{"A fatal error has occured with X.TWL" + CRLF + "File not used"});
  EXPECT_EQ(P.GetNumberSites(), 1);
}

TEST_F(CatalogueTest, EmptyOrMissingFolderGivesNoSites) {
  for (bool Missing : {false, true}) {
    SCOPED_TRACE(Missing ? "missing" : "empty");
    if (Missing)
      fs::remove_all(Env / "cwd/Lib");
    Restart();
    Progress().clear();
    InitCatalogue();
    EXPECT_EQ(Progress(), std::vector<TProgress>{(TProgress{0, 0, ""})});
    EXPECT_EQ(P.GetNumberSites(), 0);
    kv::TStringList L;
    P.LoadCategories(&L);
    EXPECT_EQ(Items(L), std::vector<std::string>{"(All Categories)"});
    EXPECT_TRUE(Messages().empty());
  }
}

TEST_F(CatalogueTest, SecondInitDoesNothing) {
  AddSite("A", SiteSettings("Alpha"));
  InitCatalogue();
  AddSite("B", SiteSettings("Beta"));
  Progress().clear();
  InitCatalogue();
  EXPECT_TRUE(Progress().empty());
  EXPECT_EQ(P.GetNumberSites(), 1);
}

TEST_F(CatalogueTest, CallsBeforeInitAreSafe) {
  EXPECT_EQ(P.GetNumberSites(), 0);
  EXPECT_EQ(P.NumberLoaded(), 0);
  EXPECT_EQ(P.NumberCurrencies(), 0);
  kv::TStringList L;
  L.Add("old");
  P.LoadCategories(&L);
  EXPECT_EQ(L.Count(), 0);
  P.SetSiteSearchStopped(0);
  std::string R;
  EXPECT_THROW(P.GetSiteName(R, 0), kv::EListError);
}

TEST_F(CatalogueTest, BadSiteNumbersRaiseTheListErrorIntoTheCaller) {
  AddSite("A", SiteSettings("Alpha"));
  InitCatalogue();
  std::string R, U, Pw;
  kv::TStringList L;
  for (int32_t Bad : {-1, 1, 1000}) {
    SCOPED_TRACE(Bad);
    try {
      P.GetSiteName(R, Bad);
      ADD_FAILURE() << "no error";
    } catch (const kv::EListError &E) {
      EXPECT_STREQ(E.what(), "List index out of bounds");
    }
    EXPECT_THROW(P.GetHostName(R, Bad), kv::EListError);
    EXPECT_THROW(P.GetSiteSecurity(Bad), kv::EListError);
    EXPECT_THROW(P.SiteHasCategory(Bad, "Parts"), kv::EListError);
    EXPECT_THROW(P.LoadSiteCategories(Bad, &L), kv::EListError);
    EXPECT_THROW(P.GetProcessPageProc(Bad), kv::EListError);
    EXPECT_THROW(P.FinishedWithSite(Bad), kv::EListError);
    EXPECT_THROW(P.GetSiteSecurityDetails(Bad, U, Pw), kv::EListError);
    EXPECT_THROW(P.SetSiteSecurityDetails(Bad, "u", "p"), kv::EListError);
    kv::TStringList F;
    F.Add("Search");
    EXPECT_FALSE(P.CanUseSite(Bad, &F));
    int32_t State = 1;
    R = "stale";
    P.GetStatement(R, Bad, "x", "", "", 0, "", "", State);
    EXPECT_EQ(R, "");
  }
}

TEST_F(CatalogueTest, DescribingGettersGiveTheLibrarysAnswers) {
  AddSite("S", "SiteName=Shop & Co\nSiteLocation=US\nSiteCurrency=USD American Dollars\nSiteURL=http://s.test/\n"
               "SiteHostName=www.s.test\nSiteAdvert=ad.gif:::http://s.test/\nSiteLanguage=FR French\n"
               "Categories=semiconductors,PASSIVE parts,Semiconductors\nFeatures=Search,priceCheck\n"
               "InterfaceVersion=3\nCertified=1\nSecurity=2\n");
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 1);
  EXPECT_EQ(Text(P.GetSiteName, 0), "Shop & Co");
  EXPECT_EQ(Text(P.GetSiteLocation, 0), "US");
  EXPECT_EQ(Text(P.GetSiteCurrency, 0), "USD American Dollars");
  EXPECT_EQ(Text(P.GetSiteURL, 0), "http://s.test/");
  EXPECT_EQ(Text(P.GetHostName, 0), "www.s.test");
  EXPECT_EQ(Text(P.GetSiteAdvert, 0), "ad.gif:::http://s.test/");
  EXPECT_EQ(Text(P.GetSiteLanguage, 0), "FR French");
  EXPECT_TRUE(P.SiteHasAdvert(0));
  EXPECT_TRUE(P.IsSiteCertified(0));
  EXPECT_EQ(P.GetSiteSecurity(0), secBasic);
  kv::TStringList L;
  P.LoadSiteCategories(0, &L);
  EXPECT_EQ(Items(L), (std::vector<std::string>{"Semiconductors", "Passive Parts"}));
  EXPECT_TRUE(P.SiteHasCategory(0, "PASSIVE PARTS"));
  EXPECT_FALSE(P.SiteHasCategory(0, "Passive"));
  // Features keep their letter case but match without it.
  EXPECT_TRUE(P.SiteHasFeature(0, "PRICECHECK"));
  kv::TStringList F;
  EXPECT_FALSE(P.CanUseSite(0, &F));
  F.Add("Other");
  EXPECT_FALSE(P.CanUseSite(0, &F));
  F.Add("pricecheck");
  EXPECT_TRUE(P.CanUseSite(0, &F));
  kv::TStringList Adverts;
  Adverts.Add("x");
  P.LoadSiteAdverts(&Adverts);
  EXPECT_EQ(Adverts.Count(), 0);
}

TEST_F(CatalogueTest, SiteWithoutAdvertDoesNotInheritThePreviousText) {
  // No SiteAdvert key: the fixture writes nothing into the buffer.
  AddSite("A", "SiteName=Alpha\nSiteLocation=UK\nSiteCurrency=GBP\nSiteURL=u\nSiteHostName=www.alpha.test\n"
               "Categories=Parts\nInterfaceVersion=1\n");
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 1);
  EXPECT_EQ(Text(P.GetSiteAdvert, 0), "");
  EXPECT_FALSE(P.SiteHasAdvert(0));
}

TEST_F(CatalogueTest, TextFillingTheWholeBufferIsTakenUpTo256Characters) {
  AddSite("A", SiteSettings("Alpha", 4, "Unterminated=GetSiteName\n"));
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 1);
  EXPECT_EQ(Text(P.GetSiteName, 0), std::string(256, 'x'));
  EXPECT_EQ(Text(P.GetSiteLocation, 0), "UK");
}

struct TBrokenCase {
  const char *Name;
  const char *Build;
  const char *Extra;
};

class BrokenLibraries : public CatalogueTest, public ::testing::WithParamInterface<TBrokenCase> {};

TEST_P(BrokenLibraries, AreRejectedWithTheFatalErrorMessage) {
  AddSite("Bad", SiteSettings("Bad", 4, GetParam().Extra), GetParam().Build);
  InitCatalogue();
  EXPECT_EQ(P.GetNumberSites(), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{"A fatal error has occured with Bad.TWL" + CRLF + "File not used"});
  EXPECT_FALSE(kvtest::FileExists(LibPath("Bad.TWI")));
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BrokenLibraries,
                         ::testing::Values(TBrokenCase{"RequiredEntryMissing", "FixtureNoHost", ""},
                                           TBrokenCase{"CategoriesFail", "Fixture", "Fail=GetSiteCategories\n"},
                                           TBrokenCase{"VersionFails", "Fixture", "Fail=InterfaceVersion\n"},
                                           TBrokenCase{"LanguageMissingFromVersion2", "FixtureV1",
                                                       "InterfaceVersion=2\n"}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// A plain C library uses the list callback well or badly (sites/CListSite.c),
// between two good sites.
struct TListUseCase {
  const char *Name;
  const char *Mode;  // the build: CList<Mode>.TWL
  bool Accepted;
};
void PrintTo(const TListUseCase &C, std::ostream *Out) { *Out << C.Name; }

class ListCallbackUse : public CatalogueTest, public ::testing::WithParamInterface<TListUseCase> {
protected:
  void AddCSite(const std::string &Name, const std::string &Mode) {
    fs::copy_file(std::string(KV_TEST_BIN_DIR) + "/lib/CList" + Mode + ".TWL", LibPath(Name + ".TWL"),
                  fs::copy_options::overwrite_existing);
  }
};

TEST_P(ListCallbackUse, OnlyTheListHandedOutIsAccepted) {
  const TListUseCase &C = GetParam();
  AddSite("A1", SiteSettings("Alpha"));
  AddCSite("B2", C.Mode);
  AddSite("C3", SiteSettings("Gamma"));
  InitCatalogue();
  const std::string CName = std::string("C ") + C.Mode;
  std::vector<std::string> Expected{"A fatal error has occured with B2.TWL" + CRLF + "File not used"};
  if (C.Accepted)
    Expected.clear();
  EXPECT_EQ(Messages(), Expected);
  // The scan goes on past the bad library and accepts the rest.
  const std::vector<TProgress> Progressed{
      {3, 0, ""}, {3, 1, "Alpha"}, {3, 2, C.Accepted ? CName : "Alpha"}, {3, 3, "Gamma"}};
  EXPECT_EQ(Progress(), Progressed);
  EXPECT_NE(SiteNumber("Alpha"), -1);
  EXPECT_NE(SiteNumber("Gamma"), -1);
  EXPECT_EQ(P.GetNumberSites(), C.Accepted ? 3 : 2);
  EXPECT_EQ(kvtest::FileExists(LibPath("B2.TWI")), C.Accepted);
  if (C.Accepted) {
    const int32_t Site = SiteNumber(CName);
    ASSERT_NE(Site, -1);
    kv::TStringList L;
    P.LoadSiteCategories(Site, &L);
    EXPECT_EQ(Items(L), std::vector<std::string>{"Semiconductors"});
    EXPECT_TRUE(P.SiteHasFeature(Site, "CLIST"));
  }
  // Nothing a bad library passed reached the catalogue's own lists.
  kv::TStringList All;
  P.LoadCategories(&All);
  std::vector<std::string> AllExpected{"(All Categories)", "Parts"};
  if (C.Accepted)
    AllExpected.push_back("Semiconductors");
  EXPECT_EQ(Items(All), AllExpected);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ListCallbackUse,
                         ::testing::Values(TListUseCase{"HandedOutList", "Good", true},
                                           TListUseCase{"PointerThatIsNoList", "Bogus", false},
                                           TListUseCase{"NullList", "Null", false},
                                           TListUseCase{"ListOfTheEarlierCall", "Stale", false}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// A library that keeps the list and adds to it after its description is over
// adds nothing, in the run that asks it (from a trusted cache, at the first
// load that the scan's stop-flag call makes) as in the one that built the cache.
TEST_F(CatalogueTest, ListCallbackOutsideTheDescriptionAddsNothing) {
  fs::copy_file(std::string(KV_TEST_BIN_DIR) + "/lib/CListLate.TWL", LibPath("L.TWL"));
  AddSite("M", SiteSettings("Mu"));
  for (int Run = 1; Run <= 2; ++Run) {
    SCOPED_TRACE(Run);
    if (Run == 2) {
      ASSERT_NO_FATAL_FAILURE(Restart());
    }
    InitCatalogue();
    EXPECT_TRUE(Messages().empty());
    const int32_t Site = SiteNumber("C Late");
    ASSERT_NE(Site, -1);
    kv::TStringList L;
    P.LoadSiteCategories(Site, &L);
    EXPECT_EQ(Items(L), std::vector<std::string>{"Semiconductors"});
    P.SetSiteSearchStopped(0);
    P.LoadSiteCategories(Site, &L);
    EXPECT_EQ(Items(L), std::vector<std::string>{"Semiconductors"});
    EXPECT_FALSE(P.SiteHasCategory(Site, "Latecomers"));
  }
}

TEST_F(CatalogueTest, VersionOneLibraryNeedsOnlyTheFirstEntries) {
  AddSite("One", SiteSettings("One", 1), "FixtureV1");
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 1);
  EXPECT_EQ(Text(P.GetSiteLanguage, 0), "EN English");
  EXPECT_FALSE(P.IsSiteCertified(0));
  EXPECT_EQ(P.GetSiteSecurity(0), secNone);
  kv::TIniFile Ini(LibPath("One.TWI"));
  EXPECT_EQ(Ini.ReadString("SiteDetailsLIB\\One.TWL", "SiteLanguage", "?"), "EN English");
  EXPECT_EQ(Ini.ReadString("SiteDetailsLIB\\One.TWL", "SiteFeature0", "none"), "none");
}

TEST_F(CatalogueTest, CategoriesAndCurrenciesMergeIgnoringCase) {
  AddSite("A", SiteSettings("Alpha", 4, "Categories=resistors,CAPACITORS\nSiteCurrency=USD American Dollars\n"));
  AddSite("B", SiteSettings("Beta", 4, "Categories=RESISTORS,diodes\nSiteCurrency=usd american dollars\n"));
  AddSite("C", SiteSettings("Gamma", 4, "SiteCurrency=GBP British Pounds\n"));
  InitCatalogue();
  kv::TStringList L;
  P.LoadCategories(&L);
  EXPECT_EQ(Items(L), (std::vector<std::string>{"(All Categories)", "Resistors", "Capacitors", "Diodes", "Parts"}));
  EXPECT_EQ(P.NumberCurrencies(), 2);
  kv::TStringList C;
  P.LoadSiteCurrencies(&C);
  P.LoadSiteCurrencies(&C);
  EXPECT_EQ(Items(C), (std::vector<std::string>{"USD American Dollars", "GBP British Pounds", "USD American Dollars",
                                                "GBP British Pounds"}));
}

TEST_F(CatalogueTest, UsesCountAndTheLastFinishUnloads) {
  AddSite("A", SiteSettings("Alpha"));
  AddSite("B", SiteSettings("Beta"));
  InitCatalogue();
  ASSERT_EQ(P.NumberLoaded(), 2);
  ClearLog("A");
  ASSERT_NE(P.GetProcessPageProc(0), nullptr);
  ASSERT_NE(P.GetProcessPageProc(0), nullptr);
  EXPECT_FALSE(P.FinishedWithSite(0));
  EXPECT_EQ(P.NumberLoaded(), 2);
  EXPECT_TRUE(P.FinishedWithSite(0));
  EXPECT_EQ(P.NumberLoaded(), 1);
  EXPECT_TRUE(Logged("A", "unload"));
  // Not loaded: nothing to give back, and the count stays at zero.
  EXPECT_FALSE(P.FinishedWithSite(0));
  ClearLog("A");
  // The stop flag loads it again, without a second description in this run.
  P.SetSiteSearchStopped(1);
  EXPECT_EQ(P.NumberLoaded(), 2);
  EXPECT_EQ(Log("A"), "load\nSetSearchStopped 1\n");
  TProcessPageProc Page = P.GetProcessPageProc(0);
  ASSERT_NE(Page, nullptr);
  char Next[TWL_REQUEST_BUFFER_SIZE] = {};
  EXPECT_EQ(Page(3, "HTTP/1.0 200 OK\r\n\r\n", Next, nullptr, nullptr, nullptr), TWL_PAGE_TERM_DONE);
  EXPECT_TRUE(Logged("A", "ProcessPage 3"));
  EXPECT_TRUE(P.FinishedWithSite(0));
}

TEST_F(CatalogueTest, LibraryWithoutPageProcedureStillTakesAUse) {
  AddSite("N", SiteSettings("NoPage"), "FixtureNoPage");
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 1);
  EXPECT_EQ(P.GetProcessPageProc(0), nullptr);
  EXPECT_TRUE(P.FinishedWithSite(0));
  EXPECT_EQ(P.NumberLoaded(), 0);
}

TEST_F(CatalogueTest, ScanTellsEverySiteAcceptedSoFarToGoOn) {
  AddSite("A", SiteSettings("Alpha"));
  AddSite("B", SiteSettings("Beta"));
  AddSite("C", SiteSettings("Gamma"));
  InitCatalogue();
  auto Count = [&](const std::string &Name) {
    std::string L = Log(Name);
    int N = 0;
    for (size_t P0 = L.find("SetSearchStopped 0"); P0 != std::string::npos; P0 = L.find("SetSearchStopped 0", P0 + 1))
      ++N;
    return N;
  };
  EXPECT_EQ(Count("A"), 3);
  EXPECT_EQ(Count("B"), 2);
  EXPECT_EQ(Count("C"), 1);
}

// ---- The cache file ----

std::string Section(const std::string &Lib) { return "SiteDetailsLIB\\" + Lib + ".TWL"; }

TEST_F(CatalogueTest, FreshCacheHoldsTheDescriptionStampedWithTheFileDate) {
  AddSite("A", SiteSettings("Alpha", 3, "SiteAdvert=banner\nCategories=Parts,Tools\nFeatures=Search,Price\n"
                                         "Certified=1\nSecurity=1\n"));
  InitCatalogue();
  kv::TIniFile Ini(LibPath("A.TWI"));
  const std::string S = Section("A");
  EXPECT_EQ(Ini.ReadInteger(S, "FileDate", 0), kv::FileAge(LibPath("A.TWL")));
  EXPECT_EQ(Ini.ReadString(S, "SiteName", ""), "Alpha");
  EXPECT_EQ(Ini.ReadString(S, "SiteHostName", ""), "www.Alpha.test");
  EXPECT_EQ(Ini.ReadString(S, "SiteID", ""), CryptString("banner"));
  EXPECT_EQ(Ini.ReadString(S, "SiteLanguage", ""), "DE German");
  EXPECT_EQ(Ini.ReadString(S, "SiteCertified", ""), "1");
  EXPECT_EQ(Ini.ReadString(S, "SiteSecurity", ""), "1");
  EXPECT_EQ(Ini.ReadString(S, "SiteCategory1", ""), "Tools");
  EXPECT_EQ(Ini.ReadString(S, "SiteFeature1", ""), "Price");
  EXPECT_EQ(Ini.ReadString(S, "InterfaceVersion", ""), "3");
  kv::TStringList Keys;
  Ini.ReadSection(S, Keys);
  EXPECT_EQ(Items(Keys), (std::vector<std::string>{"FileDate", "SiteName", "SiteLocation", "SiteCurrency", "SiteURL",
                                                   "SiteHostName", "SiteID", "SiteLanguage", "SiteCertified",
                                                   "SiteSecurity", "SiteCategory0", "SiteCategory1", "SiteFeature0",
                                                   "SiteFeature1", "InterfaceVersion"}));
}

// A cache that matches a file the loader cannot load: what the catalogue
// reports then comes from the cache alone.
void WriteCacheFor(const std::string &TwiFile, const std::string &Lib, int32_t FileDate, const std::string &Body) {
  kvtest::WriteFile(TwiFile, "[" + Section(Lib) + "]\r\nFileDate=" + std::to_string(FileDate) + "\r\n" + Body);
}

TEST_F(CatalogueTest, TrustedCacheDescribesASiteWithoutTheLibrary) {
  kvtest::WriteFile(LibPath("C.TWL"), "not loadable");
  WriteCacheFor(LibPath("C.TWI"), "C", kv::FileAge(LibPath("C.TWL")),
                "SiteName=Cached\r\nSiteID=" + CryptString("ad") +
                    "\r\nSiteCategory0=resistors\r\nSiteCategory1=RESISTORS\r\nSiteCategory2=\r\n"
                    "SiteCategory3=after gap\r\nSiteFeature0=searchPlus\r\nInterfaceVersion=2\r\n");
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 1);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(P.NumberLoaded(), 0);
  EXPECT_EQ(Text(P.GetSiteName, 0), "Cached");
  EXPECT_EQ(Text(P.GetSiteAdvert, 0), "ad");
  EXPECT_TRUE(P.SiteHasAdvert(0));
  EXPECT_EQ(Text(P.GetSiteLanguage, 0), "EN English");
  EXPECT_TRUE(P.IsSiteCertified(0));
  kv::TStringList L;
  P.LoadSiteCategories(0, &L);
  // No duplicate test for cached categories; the list ends at the gap.
  EXPECT_EQ(Items(L), (std::vector<std::string>{"Resistors", "Resistors"}));
  EXPECT_TRUE(P.SiteHasFeature(0, "SEARCHPLUS"));
  // The site stays; it just has nothing to fetch.
  std::string R = "x";
  int32_t State = 1;
  P.GetStatement(R, 0, "bc547", "", "", 0, "", "", State);
  EXPECT_EQ(R, "");
  EXPECT_EQ(P.GetProcessPageProc(0), nullptr);
  EXPECT_FALSE(P.FinishedWithSite(0));
}

TEST_F(CatalogueTest, TrustedCacheDecidesTheVersionWithoutAskingTheLibrary) {
  AddSite("A", SiteSettings("Alpha", 4));
  WriteCacheFor(LibPath("A.TWI"), "A", kv::FileAge(LibPath("A.TWL")),
                "SiteName=Cached\r\nInterfaceVersion=0\r\n");
  InitCatalogue();
  EXPECT_EQ(P.GetNumberSites(), 0);
  EXPECT_FALSE(kvtest::FileExists(LibPath("A.log")));
}

TEST_F(CatalogueTest, TrustedCacheIsReplacedByTheLibrarysAnswersAtItsFirstLoad) {
  AddSite("A", SiteSettings("Alpha", 4));
  WriteCacheFor(LibPath("A.TWI"), "A", kv::FileAge(LibPath("A.TWL")),
                "SiteName=Cached\r\nInterfaceVersion=4\r\n");
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 1);
  EXPECT_EQ(Progress().back(), (TProgress{1, 1, "Cached"}));
  EXPECT_EQ(Text(P.GetSiteName, 0), "Alpha");
  kv::TIniFile Ini(LibPath("A.TWI"));
  EXPECT_EQ(Ini.ReadString(Section("A"), "SiteName", ""), "Alpha");
}

TEST_F(CatalogueTest, StaleFileDateAsksTheLibrary) {
  AddSite("A", SiteSettings("Alpha", 4));
  WriteCacheFor(LibPath("A.TWI"), "A", kv::FileAge(LibPath("A.TWL")) - 1,
                "SiteName=Cached\r\nInterfaceVersion=0\r\n");
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 1);
  EXPECT_EQ(Progress().back(), (TProgress{1, 1, "Alpha"}));
  EXPECT_TRUE(Logged("A", "GetSiteName"));
}

TEST_F(CatalogueTest, SectionWithoutItsFinalFileDateIsNotTrusted) {
  // What an interrupted rewrite leaves: every key but the stamp.
  AddSite("A", SiteSettings("Alpha", 4));
  kvtest::WriteFile(LibPath("A.TWI"), "[" + Section("A") + "]\r\nFileDate=0\r\nSiteName=Half\r\n");
  InitCatalogue();
  EXPECT_EQ(Progress().back(), (TProgress{1, 1, "Alpha"}));
}

TEST_F(CatalogueTest, LoginsSurviveTheRewriteOfTheCache) {
  AddSite("A", SiteSettings("Alpha", 4));
  InitCatalogue();
  P.SetSiteSecurityDetails(0, "user", "secret");
  {
    kv::TIniFile Ini(LibPath("A.TWI"));
    EXPECT_EQ(Ini.ReadString("SiteSecurityDetailsLIB\\A.TWL", "SiteUserName", ""), CryptString("user"));
  }
  // Next start: a cache hit, then the first load rewrites the details.
  Restart();
  ClearLog("A");
  InitCatalogue();
  EXPECT_TRUE(Logged("A", "GetSiteName"));
  std::string U, Pw;
  P.GetSiteSecurityDetails(0, U, Pw);
  EXPECT_EQ(U, "user");
  EXPECT_EQ(Pw, "secret");
  // Reading the login hands nothing to the library.
  EXPECT_FALSE(LoggedPrefix("A", "SetSecurityDetails"));
}

// The cache holds a login: private to the user, also a cache an older
// version left readable to all, and also when the login is stored again
// unchanged or the details rewritten at the next start.
TEST_F(CatalogueTest, TheCacheHoldingALoginIsPrivate) {
  auto ModeOf = [this] {
    struct stat st;
    return stat(LibPath("A.TWI").c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
  };
  const mode_t Mask = umask(022);
  AddSite("A", SiteSettings("Alpha", 4));
  InitCatalogue();
  EXPECT_EQ(ModeOf(), 0600) << "made by the scan";
  for (const char *Step : {"login stored", "the same login again"}) {
    chmod(LibPath("A.TWI").c_str(), 0644);
    P.SetSiteSecurityDetails(0, "user", "secret");
    EXPECT_EQ(ModeOf(), 0600) << Step;
  }
  chmod(LibPath("A.TWI").c_str(), 0644);
  Restart();
  InitCatalogue();
  EXPECT_EQ(ModeOf(), 0600) << "details rewritten at the next start";
  std::string U, Pw;
  P.GetSiteSecurityDetails(0, U, Pw);
  EXPECT_EQ(Pw, "secret");
  umask(Mask);
}

TEST_F(CatalogueTest, LibraryNameHoldingIhsGetsTheBuiltInLogin) {
  AddSite("ShopIhs", SiteSettings("Ihs"));
  InitCatalogue();
  P.SetSiteSecurityDetails(0, "mine", "mine");
  std::string U, Pw;
  P.GetSiteSecurityDetails(0, U, Pw);
  EXPECT_EQ(U, "kex");
  EXPECT_EQ(Pw, "58tor41w");
}

TEST_F(CatalogueTest, UnwritableCacheKeepsAGoodLibrary) {
  // A folder where the cache file would go: no write can replace it.
  AddSite("A", SiteSettings("Alpha"));
  fs::create_directories(LibPath("A.TWI"));
  InitCatalogue();
  EXPECT_TRUE(Messages().empty());
  ASSERT_EQ(P.GetNumberSites(), 1);
  EXPECT_EQ(Text(P.GetSiteName, 0), "Alpha");
  try {
    P.SetSiteSecurityDetails(0, "u", "p");
    ADD_FAILURE() << "no error";
  } catch (const kv::Exception &E) {
    EXPECT_EQ(std::string(E.what()), "Unable to write to LIB\\A.TWI");
  }
}

TEST_F(CatalogueTest, ReadOnlyLibFolderKeepsGoodLibraries) {
  AddSite("A", SiteSettings("Alpha"));
  {
    kvtest::TUnwritableFolder Lock(LibPath(""));
    if (!Lock.Holds())
      GTEST_SKIP() << "a folder's permissions do not bind this user";
    InitCatalogue();
  }
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(P.GetNumberSites(), 1);
  EXPECT_FALSE(kvtest::FileExists(LibPath("A.TWI")));
}

}  // namespace
}  // namespace cattest
