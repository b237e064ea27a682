// The options dialog's pages over a real registry file, configuration file
// and catalogue.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest/QTest>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Common.h"
#include "platform/IniFile.h"
#include "platform/qt/Codepage.h"
#include "tests/options/OptionsTestSupport.h"

namespace {

using namespace optionstest;
using clienttest::SeedInteger;
using clienttest::SeedString;
using clienttest::StoredString;

class OptionsDialog : public OptionsFixture {};

const std::vector<TSiteSpec> ThreeSites{{"Alpha", "Alpha Parts", ""},
                                        {"Beta", "Beta Bits", ""},
                                        {"Direct", "Korvandel Direct", ""}};

TEST_F(OptionsDialog, OpenAndCancelOnAFreshRegistryWritesTheDialogsDefaults) {
  Bind(ThreeSites);
  Open();
  EXPECT_EQ(Dialog->windowTitle(), "Korvandel(tm) Options");
  EXPECT_EQ(Dialog->pagOptions->currentWidget(), Dialog->tabSites);
  EXPECT_FALSE(Dialog->pagOptions->isTabVisible(Dialog->pagOptions->indexOf(Dialog->tabCurrency)));
  EXPECT_FALSE(Dialog->pagOptions->isTabVisible(Dialog->pagOptions->indexOf(Dialog->tabBanner)));
  EXPECT_TRUE(Dialog->pagOptions->isTabVisible(Dialog->pagOptions->indexOf(Dialog->tabProxy)));
  Dialog->btnCancel->click();
  EXPECT_FALSE(Dialog->isVisible());
  EXPECT_EQ(Dialog->result(), QDialog::Rejected);

  const std::map<std::pair<std::string, std::string>, std::string> Expected{
      {{"Advanced", "MaxSockets"}, "16"},      {{"Advanced", "MaxResults"}, "500"},
      {{"Advanced", "ResultsPer"}, "1"},       {{"Advanced", "LimitResults"}, "0"},
      {{"Advanced", "InStockOnly"}, "0"},      {{"Advanced", "LocalCountry"}, "-1"},
      {{"Advanced", "LocalCurrency"}, "0"},    {{"Advanced", "Region"}, "AF Africa"},
      {{"Advanced", "Language"}, ""},          {{"Browser", "LinkType"}, "0"},
      {{"", "ProxyPort"}, "80"},               {{"", "ProxyInfoSaved"}, "0"},
      {{"", "ProxyServer"}, ""},               {{"Banner", "MerchantMessages"}, "1"},
      {{"Banner", "BannerTips"}, "1"},         {{"Currency", "ConvertToLocal"}, "1"},
      {{"Currency", "AutoUpdate"}, "1"},       {{"Currency", "CurrencyGBP"}, "0.00"},
      {{"SiteInfo\\Sites", "SiteLIB\\Alpha.TWL"}, "1"},
      {{"SiteInfo\\Sites", "SiteLIB\\Beta.TWL"}, "1"},
      {{"SiteInfo\\Sites", "SiteLIB\\Direct.TWL"}, "1"}};
  for (const auto &[Where, Value] : Expected)
    EXPECT_EQ(StoredString(Where.first, Where.second), Value) << Where.first << "\\" << Where.second;
  EXPECT_EQ(StoredString("", "ProxyUserName"), CryptString(""));
  EXPECT_EQ(StoredString("Currency", "LastUpdated"), "<missing>");
  // The currency library is stopped on Cancel too.
  EXPECT_EQ(Terminations, 1);
}

TEST_F(OptionsDialog, OkStoresWhatTheUserChanged) {
  Bind(ThreeSites);
  Open();
  Dialog->chkUseProxy->setChecked(true);
  Dialog->editHost->setText("proxy.test");
  Dialog->editPort->setText("3128");
  Dialog->edtProxyUserName->setText("pat");
  Dialog->edtProxyPassword->setText("secret");
  Dialog->edtMaxSockets->setValue(5);
  Dialog->chkLimitResults->setChecked(true);
  Dialog->editMaxResults->setText("120");
  Dialog->rbPerSite->setChecked(true);
  Dialog->chkInStockOnly->setChecked(true);
  Dialog->btnOK->click();
  EXPECT_EQ(Dialog->result(), QDialog::Accepted);
  EXPECT_EQ(StoredString("", "ProxyInfoSaved"), "1");
  EXPECT_EQ(StoredString("", "ProxyServer"), "proxy.test");
  EXPECT_EQ(StoredString("", "ProxyPort"), "3128");
  EXPECT_EQ(DeCryptString(StoredString("", "ProxyUserName")), "pat");
  EXPECT_EQ(DeCryptString(StoredString("", "ProxyPassword")), "secret");
  EXPECT_EQ(StoredString("Advanced", "MaxSockets"), "5");
  EXPECT_EQ(StoredString("Advanced", "LimitResults"), "1");
  EXPECT_EQ(StoredString("Advanced", "MaxResults"), "120");
  EXPECT_EQ(StoredString("Advanced", "ResultsPer"), "2");
  EXPECT_EQ(StoredString("Advanced", "InStockOnly"), "1");
}

TEST_F(OptionsDialog, StoredValuesAreShownAndEnableTheirControls) {
  Bind(ThreeSites);
  SeedString("", "ProxyInfoSaved", "1");
  SeedString("", "ProxyServer", "cache.test");
  SeedString("", "ProxyPort", "8080");
  SeedString("", "ProxyUserName", CryptString("u"));
  SeedString("", "ProxyPassword", CryptString("p"));
  SeedInteger("", "ProxyConverted", 1);
  SeedString("Advanced", "MaxSockets", "40");
  SeedString("Advanced", "LimitResults", "1");
  SeedString("Advanced", "MaxResults", "77");
  SeedString("Advanced", "ResultsPer", "2");
  Open();
  EXPECT_TRUE(Dialog->chkUseProxy->isChecked());
  EXPECT_TRUE(Dialog->editHost->isEnabled());
  EXPECT_TRUE(Dialog->lblProxyPassword->isEnabled());
  EXPECT_EQ(Dialog->editHost->text(), "cache.test");
  EXPECT_EQ(Dialog->editPort->text(), "8080");
  EXPECT_EQ(Dialog->edtProxyUserName->text(), "u");
  EXPECT_EQ(Dialog->edtProxyPassword->text(), "p");
  EXPECT_EQ(Dialog->edtMaxSockets->value(), 32);
  EXPECT_TRUE(Dialog->editMaxResults->isEnabled());
  EXPECT_EQ(Dialog->editMaxResults->text(), "77");
  EXPECT_TRUE(Dialog->rbPerSite->isChecked());
  Dialog->chkUseProxy->setChecked(false);
  EXPECT_FALSE(Dialog->editPort->isEnabled());
  EXPECT_FALSE(Dialog->lblHost->isEnabled());
}

TEST_F(OptionsDialog, AProxySwitchedOnWithoutHostOrPortIsShownOff) {
  Bind(ThreeSites);
  SeedString("", "ProxyInfoSaved", "1");
  SeedString("", "ProxyServer", "");
  SeedString("", "ProxyPort", "");
  Open();
  EXPECT_FALSE(Dialog->chkUseProxy->isChecked());
  EXPECT_FALSE(Dialog->editHost->isEnabled());
}

struct TBrowserCase {
  const char *Name;
  std::string Command;
  int StoredLinkType;
  std::string Browser, OleCaption;
  bool OleEnabled;
  int Checked;  // 0 default, 1 direct, 2 ole
};
class BrowserTable : public OptionsDialog, public ::testing::WithParamInterface<TBrowserCase> {};
TEST_P(BrowserTable, NamesTheBrowserAndItsLinks) {
  const TBrowserCase &C = GetParam();
  Bind(ThreeSites);
  SeedString("Browser", "LinkType", std::to_string(C.StoredLinkType));
  BrowserCommand = C.Command;
  Open();
  EXPECT_EQ(kv::ToAnsi(Dialog->edtBrowser->text()), C.Browser);
  EXPECT_EQ(Dialog->btnDefault->text().toStdString(), "Default method");
  EXPECT_EQ(Dialog->btnDirect->text().toStdString(), "Direct link to " + C.Browser);
  EXPECT_EQ(Dialog->btnOle->text().toStdString(), C.OleCaption);
  EXPECT_EQ(Dialog->btnOle->isEnabled(), C.OleEnabled);
  const QRadioButton *Buttons[] = {Dialog->btnDefault, Dialog->btnDirect, Dialog->btnOle};
  for (int I = 0; I < 3; ++I)
    EXPECT_EQ(Buttons[I]->isChecked(), I == C.Checked) << I;
  Dialog->btnCancel->click();
  EXPECT_EQ(StoredString("Browser", "LinkType"), std::to_string(C.Checked));
}
INSTANTIATE_TEST_SUITE_P(
    OptionsDialog, BrowserTable,
    ::testing::Values(
        TBrowserCase{"Netscape", "C:\\Browser\\NETSCAPE.EXE -h \"%1\"", 2, "NETSCAPE", "DDE link to NETSCAPE", true, 2},
        TBrowserCase{"NetscapeLowerCase", "C:\\Browser\\netscape.exe", 1, "netscape", "DDE link to netscape", true, 1},
        TBrowserCase{"InternetExplorer", "\"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE\" -nohome", 2,
                     "IEXPLORE", "OLE link to IEXPLORE", true, 2},
        TBrowserCase{"OtherBrowserLosesTheOleLink", "C:\\Apps\\Opera.exe \"%1\"", 2, "Opera", "OLE link to Opera",
                     false, 0},
        TBrowserCase{"NoDotGivesNoName", "/usr/bin/firefox %u", 1, "", "OLE link to ", false, 1},
        TBrowserCase{"NoBrowserRegistered", "", 0, "", "OLE link to ", false, 0}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(OptionsDialog, ALinkTypeChosenTakesEffectAtOnceEvenOnCancel) {
  Bind(ThreeSites);
  BrowserCommand = "C:\\IE\\IEXPLORE.EXE";
  Open();
  LinkTypes.clear();
  Dialog->btnDirect->click();
  Dialog->btnOle->click();
  Dialog->btnCancel->click();
  EXPECT_EQ(LinkTypes, (std::vector<int>{1, 2}));
  EXPECT_EQ(StoredString("Browser", "LinkType"), "0");
}

struct TLimitCase {
  const char *Name;
  std::vector<QCheckBox *TfrmOptions::*> Clicks;
  bool Local, Region, Countries, Regions;
};
class SearchLimits : public OptionsDialog, public ::testing::WithParamInterface<TLimitCase> {};
TEST_P(SearchLimits, OnlyTheLastChosenListIsEnabled) {
  const TLimitCase &C = GetParam();
  Bind(ThreeSites);
  Open();
  for (QCheckBox *TfrmOptions::*Box : C.Clicks)
    (Dialog.get()->*Box)->click();
  EXPECT_EQ(Dialog->chkLocalSites->isChecked(), C.Local);
  EXPECT_EQ(Dialog->chkRegion->isChecked(), C.Region);
  EXPECT_EQ(Dialog->cbCountries->isEnabled(), C.Countries);
  EXPECT_EQ(Dialog->cbRegion->isEnabled(), C.Regions);
}
INSTANTIATE_TEST_SUITE_P(
    OptionsDialog, SearchLimits,
    ::testing::Values(TLimitCase{"RegionAfterLocalCountry", {&TfrmOptions::chkLocalSites, &TfrmOptions::chkRegion},
                                 false, true, false, true},
                      TLimitCase{"LocalCountryAfterRegion", {&TfrmOptions::chkRegion, &TfrmOptions::chkLocalSites},
                                 true, false, true, false},
                      TLimitCase{"LocalCountryOnly", {&TfrmOptions::chkLocalSites}, true, false, true, false},
                      TLimitCase{"RegionOffAgain", {&TfrmOptions::chkRegion, &TfrmOptions::chkRegion}, false, false,
                                 false, false}),
    [](const auto &Info) { return std::string(Info.param.Name); });

struct TListChoiceCase {
  const char *Name;
  std::string Language, Region, Country;
  std::string ShownLanguage, ShownRegion;
  int CountryIndex;
};
class ListChoices : public OptionsDialog, public ::testing::WithParamInterface<TListChoiceCase> {};
TEST_P(ListChoices, StoredChoicesSelectTheirItems) {
  const TListChoiceCase &C = GetParam();
  Bind(ThreeSites);
  SeedString("Advanced", "Language", C.Language);
  SeedString("Advanced", "Region", C.Region);
  SeedString("Advanced", "LocalCountry", C.Country);
  Open();
  EXPECT_EQ(kv::ToAnsi(Dialog->cbLanguage->currentText()), C.ShownLanguage);
  EXPECT_EQ(kv::ToAnsi(Dialog->cbRegion->currentText()), C.ShownRegion);
  EXPECT_EQ(Dialog->cbCountries->currentIndex(), C.CountryIndex);
  EXPECT_EQ(Dialog->cbLanguage->count(), 25);
  EXPECT_EQ(Dialog->cbCountries->count(), 159);
}
INSTANTIATE_TEST_SUITE_P(
    OptionsDialog, ListChoices,
    ::testing::Values(TListChoiceCase{"ExactTexts", "EN English", "EU Europe", "151", "EN English", "EU Europe", 151},
                      TListChoiceCase{"LanguageIgnoresCase", "en ENGLISH", "EU Europe", "-1", "EN English",
                                      "EU Europe", -1},
                      // The region must match exactly; the first (sorted) item stands in.
                      TListChoiceCase{"RegionIsCaseSensitive", "", "eu europe", "0", "", "AF Africa", 0},
                      TListChoiceCase{"UnknownLanguageSelectsNone", "XX Klingon", "", "", "", "AF Africa", -1}),
    [](const auto &Info) { return std::string(Info.param.Name); });

struct TMergeCase {
  const char *Name;
  std::string Config;  // Korvandel.cfg before
  std::vector<std::string> NewSites;  // keys of [NewSites] after
};
class SiteMerge : public OptionsDialog, public ::testing::WithParamInterface<TMergeCase> {};
TEST_P(SiteMerge, NewSitesListsThePresentLibrariesTheInstallationDidNotKnow) {
  const TMergeCase &C = GetParam();
  Bind({{"S1", "One", ""}, {"S2", "Two", ""}, {"S3", "Three", ""}, {"S4", "Four", ""}, {"S5", "Five", ""}});
  kvtest::WriteFile(Env / "windows/Korvandel.cfg", C.Config);
  Open();
  kv::TIniFile Config("Korvandel.cfg");
  kv::TStringList Keys;
  Config.ReadSection("NewSites", Keys);
  std::vector<std::string> Got;
  for (int I = 0; I < Keys.Count(); ++I) {
    Got.push_back(Keys[I]);
    EXPECT_EQ(Config.ReadString("NewSites", Keys[I], ""), "1");
  }
  std::sort(Got.begin(), Got.end());
  EXPECT_EQ(Got, C.NewSites);
}
INSTANTIATE_TEST_SUITE_P(
    OptionsDialog, SiteMerge,
    ::testing::Values(
        TMergeCase{"ThreeKeysFiveLibraries",
                   "[Sites]\r\nSiteLIB\\S1.TWL=1\r\nSiteLIB\\S3.TWL=1\r\nSiteLIB\\S5.TWL=1\r\n[NewSites]\r\nOld=1\r\n",
                   {"SiteLIB\\S2.TWL", "SiteLIB\\S4.TWL"}},
        // Keys must match exactly, letter case included.
        TMergeCase{"KeysCompareExactly", "[Sites]\r\nSiteLIB\\s1.twl=1\r\nSiteLIB\\S2.TWL=1\r\n",
                   {"SiteLIB\\S1.TWL", "SiteLIB\\S3.TWL", "SiteLIB\\S4.TWL", "SiteLIB\\S5.TWL"}},
        TMergeCase{"EmptySitesLeavesNewSites", "[Sites]\r\n[NewSites]\r\nOld=1\r\n", {"Old"}},
        TMergeCase{"MissingSitesLeavesNewSites", "[NewSites]\r\nOld=1\r\n", {"Old"}},
        TMergeCase{"AllKnownLeavesNewSites",
                   "[Sites]\r\nA=1\r\nB=1\r\nC=1\r\nD=1\r\nE=1\r\n[NewSites]\r\nOld=1\r\n", {"Old"}}),
    [](const auto &Info) { return std::string(Info.param.Name); });

// After an update the configuration lists fewer sites than there are
// libraries; when it cannot be written the dialog cannot load. It says why,
// and neither OK nor a save writes the blank controls over the settings.
TEST_F(OptionsDialog, ADialogThatCouldNotLoadSaysWhyAndSavesNothing) {
  Bind(ThreeSites);
  kvtest::WriteFile(Env / "windows/Korvandel.cfg", "[Sites]\r\nSiteLIB\\Alpha.TWL=1\r\n");
  chmod((Env / "windows/Korvandel.cfg").c_str(), 0444);
  SeedString("Advanced", "MaxResults", "250");
  Open();
  EXPECT_EQ(Boxes, std::vector<std::string>{"Unable to write to Korvandel.cfg."});
  EXPECT_TRUE(Dialog->LoadFailed());
  EXPECT_FALSE(Dialog->btnOK->isEnabled());
  Dialog->editMaxResults->setText("5");
  EXPECT_FALSE(Dialog->SaveOptions(true));
  Dialog->done(QDialog::Accepted);
  EXPECT_FALSE(Dialog->isVisible());
  EXPECT_EQ(StoredString("Advanced", "MaxResults"), "250");
  EXPECT_EQ(StoredString("Advanced", "MaxSockets"), "<missing>");
  EXPECT_EQ(Flag("Alpha"), "<no key>");
  EXPECT_EQ(Boxes.size(), 1u);
}

TEST_F(OptionsDialog, SitesShownAsNewComeFromTheRegistry) {
  Bind(ThreeSites);
  SeedString("SiteInfo\\NewSites", "SiteLIB\\Beta.TWL", "1");
  Open();
  EXPECT_FALSE(Dialog->SiteList[0].IsNew);
  int Beta = -1;
  for (int I = 0; I < Catalogue.GetNumberSites(); ++I) {
    std::string Name;
    Catalogue.GetSiteName(Name, I);
    if (Name == "Beta Bits")
      Beta = I;
  }
  ASSERT_GE(Beta, 0);
  for (int I = 0; I < 3; ++I)
    EXPECT_EQ(Dialog->SiteList[static_cast<size_t>(I)].IsNew, I == Beta) << I;
  EXPECT_FALSE(Dialog->NewPicture.isNull());
  EXPECT_EQ(Dialog->NewPicture.size(), QSize(30, 16));
}

TEST_F(OptionsDialog, SitesAreListedByNameWithTheirStoredChecks) {
  Bind({{"Zed", "zebra Parts", ""}, {"Ann", "Anchor Supply", ""}, {"Mid", "Middle Co", ""}});
  SeedString("SiteInfo\\Sites", "SiteLIB\\Mid.TWL", "0");
  Open();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Anchor Supply*", "Middle Co", "zebra Parts*"}));
  EXPECT_EQ(Dialog->lbSites->currentRow(), 0);
  EXPECT_EQ(Dialog->lblNoSites->text(), "3 Distributor Sites");
}

TEST_F(OptionsDialog, SelectAllAndDeselectAllNeverSwitchKorvandelDirectOff) {
  Bind(ThreeSites);
  Open();
  Dialog->btnDeSelectAll->click();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Alpha Parts", "Beta Bits", "Korvandel Direct*"}));
  // Its box unchecks it only until the click handler checks it again.
  const int Direct = RowOf("Korvandel Direct");
  const QRect Box = Dialog->lbSites->visualItemRect(Dialog->lbSites->item(Direct));
  QTest::mouseClick(Dialog->lbSites->viewport(), Qt::LeftButton, {}, QPoint(Box.left() + 5, Box.center().y()));
  EXPECT_TRUE(Dialog->lbSites->Checked(Direct));
  Dialog->btnOK->click();
  EXPECT_EQ(Flag("Alpha"), "0");
  EXPECT_EQ(Flag("Beta"), "0");
  EXPECT_EQ(Flag("Direct"), "1");
}

TEST_F(OptionsDialog, SelectAllChecksEverySite) {
  Bind(ThreeSites);
  SeedString("SiteInfo\\Sites", "SiteLIB\\Alpha.TWL", "0");
  SeedString("SiteInfo\\Sites", "SiteLIB\\Direct.TWL", "0");
  Open();
  // Korvandel Direct is on whatever was stored.
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Alpha Parts", "Beta Bits*", "Korvandel Direct*"}));
  Dialog->btnSelectAll->click();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Alpha Parts*", "Beta Bits*", "Korvandel Direct*"}));
  Dialog->btnOK->click();
  for (const char *File : {"Alpha", "Beta", "Direct"})
    EXPECT_EQ(Flag(File), "1") << File;
}

struct TClickCase {
  const char *Name;
  int X;
  bool Double;
  bool CheckedAfter;
};
class SiteClicks : public OptionsDialog, public ::testing::WithParamInterface<TClickCase> {};
TEST_P(SiteClicks, OnlyTheBoxOrADoubleClickToggles) {
  const TClickCase &C = GetParam();
  Bind(ThreeSites);
  Open();
  const int Beta = RowOf("Beta Bits");
  ASSERT_TRUE(Dialog->lbSites->Checked(Beta));
  const QRect R = Dialog->lbSites->visualItemRect(Dialog->lbSites->item(Beta));
  const QPoint At(R.left() + C.X, R.center().y());
  if (C.Double)
    QTest::mouseDClick(Dialog->lbSites->viewport(), Qt::LeftButton, {}, At);
  else
    QTest::mouseClick(Dialog->lbSites->viewport(), Qt::LeftButton, {}, At);
  EXPECT_EQ(Dialog->lbSites->Checked(Beta), C.CheckedAfter);
  EXPECT_EQ(Dialog->lbSites->currentRow(), Beta);
  EXPECT_EQ(Dialog->editURL->text(), "http://Beta.test/");
  Dialog->btnOK->click();
  EXPECT_EQ(Flag("Beta"), C.CheckedAfter ? "1" : "0");
}
INSTANTIATE_TEST_SUITE_P(OptionsDialog, SiteClicks,
                         ::testing::Values(TClickCase{"OnTheBox", 5, false, false},
                                           TClickCase{"OnTheName", 40, false, true},
                                           TClickCase{"DoubleOnTheName", 40, true, false}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(OptionsDialog, TheSpaceKeyTogglesTheCurrentSiteButNotKorvandelDirect) {
  Bind(ThreeSites);
  Open();
  Dialog->lbSites->setFocus();
  Dialog->lbSites->setCurrentRow(RowOf("Alpha Parts"), QItemSelectionModel::NoUpdate);
  QTest::keyClick(Dialog->lbSites, Qt::Key_Space);
  EXPECT_FALSE(Dialog->lbSites->Checked(RowOf("Alpha Parts")));
  Dialog->lbSites->setCurrentRow(RowOf("Korvandel Direct"), QItemSelectionModel::NoUpdate);
  QTest::keyClick(Dialog->lbSites, Qt::Key_Space);
  EXPECT_TRUE(Dialog->lbSites->Checked(RowOf("Korvandel Direct")));
  Dialog->btnOK->click();
  EXPECT_EQ(Flag("Alpha"), "0");
  EXPECT_EQ(Flag("Direct"), "1");
}

struct TCountCase {
  const char *Name;
  int Sites;
  std::string Text;
};
class SiteCount : public OptionsDialog, public ::testing::WithParamInterface<TCountCase> {};
TEST_P(SiteCount, LabelSaysHowManySitesAreListed) {
  std::vector<TSiteSpec> Sites;
  for (int I = 0; I < GetParam().Sites; ++I)
    Sites.push_back({"S" + std::to_string(I), "Site " + std::to_string(I), ""});
  Bind(Sites);
  Open();
  EXPECT_EQ(Dialog->lbSites->Count(), GetParam().Sites);
  EXPECT_EQ(Dialog->lblNoSites->text().toStdString(), GetParam().Text);
}
INSTANTIATE_TEST_SUITE_P(OptionsDialog, SiteCount,
                         ::testing::Values(TCountCase{"None", 0, "1 Supplier Site"},
                                           TCountCase{"One", 1, "1 Supplier Site"},
                                           TCountCase{"Two", 2, "2 Distributor Sites"},
                                           TCountCase{"Twelve", 12, "12 Distributor Sites"}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(OptionsDialog, FeaturesDecideWhichSitesAreListedAndSaved) {
  Bind({{"Open", "Open Site", ""},
        {"Locked", "Locked Site", "Features=Premium\n"},
        {"Quiet", "Quiet Site", "Features=Search,NO OPTION DISPLAY\n"},
        {"Quiet2", "Quiet Off", "Features=Search,NO OPTION DISPLAY\n"}});
  SeedString("SiteInfo\\Sites", "SiteLIB\\Quiet2.TWL", "0");
  Open({"Search"});
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Open Site*"}));
  EXPECT_EQ(Dialog->lblNoSites->text(), "1 Supplier Site");
  Dialog->btnOK->click();
  EXPECT_EQ(Flag("Open"), "1");
  EXPECT_EQ(Flag("Locked"), "0");  // not allowed: off
  EXPECT_EQ(Flag("Quiet"), "1");   // hidden: keeps its choice
  EXPECT_EQ(Flag("Quiet2"), "0");
}

TEST_F(OptionsDialog, BeforeALogonTheStoredChoicesAreKept) {
  Bind(ThreeSites);
  SeedString("SiteInfo\\Sites", "SiteLIB\\Beta.TWL", "0");
  for (const bool LoggedOn : {false, true}) {
    Open({}, LoggedOn);
    EXPECT_EQ(Dialog->lbSites->Count(), 0);
    Dialog->btnOK->click();
    EXPECT_EQ(Flag("Alpha"), "1") << LoggedOn;
    EXPECT_EQ(Flag("Beta"), "0") << LoggedOn;
    EXPECT_EQ(Flag("Direct"), "1") << LoggedOn;
  }
}

TEST_F(OptionsDialog, FlagsOfLibrariesNoLongerPresentGo) {
  Bind(ThreeSites);
  SeedString("SiteInfo\\Sites", "SiteLIB\\Gone.TWL", "1");
  SeedString("SiteInfo\\Sites", "siteLIB\\alpha.twl", "0");
  Open();
  Dialog->btnCancel->click();
  EXPECT_EQ(StoredString("SiteInfo\\Sites", "SiteLIB\\Gone.TWL"), "<missing>");
  // The present library's flag stays (names ignore case), as it was stored.
  EXPECT_EQ(Flag("Alpha"), "0");
  kv::TStringList Names;
  kv::TRegIniFile Ini(SettingsKey, kv::HKEY_LOCAL_MACHINE);
  Ini.ReadSection("SiteInfo\\Sites", Names);
  EXPECT_EQ(Names.Count(), 3);
}

TEST_F(OptionsDialog, SiteDetailsAndALoginForAPaySite) {
  Bind({{"Pay", "Pay Site", "Security=2\nSiteCurrency=USD American Dollars\nCategories=Semis,Passives\n"},
        {"Free", "Free Site", ""}});
  int Pay = 0;
  std::string Name;
  Catalogue.GetSiteName(Name, 0);
  if (Name != "Pay Site")
    Pay = 1;
  Catalogue.SetSiteSecurityDetails(Pay, "alice", "wonder");
  Open();
  Dialog->lbSites->setCurrentRow(RowOf("Pay Site"), QItemSelectionModel::NoUpdate);
  EXPECT_FALSE(Dialog->pnlSiteUserInfo->isHidden());
  EXPECT_EQ(Dialog->edtUserName->text(), "alice");
  EXPECT_EQ(Dialog->edtPassword->text(), "wonder");
  EXPECT_EQ(Dialog->editURL->text(), "http://Pay.test/");
  EXPECT_EQ(Dialog->editCurrency->text(), "USD American Dollars");
  EXPECT_EQ(Dialog->editLocation->text(), "UK");
  EXPECT_EQ(Dialog->editLanguage->text(), "EN English");
  ASSERT_EQ(Dialog->lbCategories->count(), 2);
  EXPECT_EQ(Dialog->lbCategories->item(0)->text(), "Passives");

  // Leaving either edit stores both values.
  Dialog->edtUserName->setFocus();
  Dialog->edtUserName->setText("bob");
  Dialog->edtPassword->setText("builder");
  emit Dialog->edtPassword->editingFinished();
  std::string User, Password;
  Catalogue.GetSiteSecurityDetails(Pay, User, Password);
  EXPECT_EQ(User, "bob");
  EXPECT_EQ(Password, "builder");

  Dialog->lbSites->setCurrentRow(RowOf("Free Site"), QItemSelectionModel::NoUpdate);
  EXPECT_TRUE(Dialog->pnlSiteUserInfo->isHidden());
  EXPECT_EQ(Dialog->edtUserName->text(), "");
}

TEST_F(OptionsDialog, TheSiteAddressButtonOpensTheAddress) {
  Bind(ThreeSites);
  Open();
  Dialog->lbSites->setCurrentRow(RowOf("Beta Bits"), QItemSelectionModel::NoUpdate);
  Dialog->btnURL->click();
  Dialog->editURL->clear();
  Dialog->btnURL->click();
  EXPECT_EQ(Opened, (std::vector<std::string>{"http://Beta.test/"}));
}

TEST_F(OptionsDialog, TheMerchantRatingAddressEncodesTheSitesAddress) {
  Bind({{"Odd", "Odd Site", "SiteURL=http://odd.test/a b?x=1&cat=2#top\n"}});
  Open();
  const QRect R = Dialog->lbSites->visualItemRect(Dialog->lbSites->item(0));
  QTest::mouseClick(Dialog->lbSites->viewport(), Qt::LeftButton, {}, QPoint(R.left() + 40, R.center().y()));
  QTest::mouseClick(Dialog->imgMerchantRating, Qt::LeftButton);
  ASSERT_EQ(Opened.size(), 1u);
  const std::string Prefix = "listingtype=search&viewtype=description&type=bypass&cat=";
  const size_t At = Opened[0].find(Prefix);
  ASSERT_NE(At, std::string::npos) << Opened[0];
  EXPECT_EQ(Opened[0].substr(At + Prefix.size()), HTTPEncode("http://odd.test/a b?x=1&cat=2#top"));
  EXPECT_EQ(Opened[0].find('#'), std::string::npos);
  EXPECT_EQ(Opened[0].find(' '), std::string::npos);
}

TEST_F(OptionsDialog, LookUpButtonsAndTheSuggestionLinkOpenPages) {
  Bind(ThreeSites);
  Open();
  Dialog->btnLookUpProxy->click();
  Dialog->btnLookUpPort->click();
  QTest::mouseClick(Dialog->lblSuggestASite, Qt::LeftButton);
  ASSERT_EQ(Opened.size(), 3u);
  EXPECT_NE(Opened[0].find("proxy"), std::string::npos);
  EXPECT_NE(Opened[1].find("port"), std::string::npos);
  EXPECT_EQ(Opened[2], "http://www.korvandel.test/kv_homepage/add_site.asp");
  Dialog->btnAdvancedFilter->click();
  EXPECT_EQ(FilterClicks, 1);
}

struct TMaxResultsCase {
  const char *Name;
  std::string Typed;
};
class InvalidMaxResults : public OptionsDialog, public ::testing::WithParamInterface<TMaxResultsCase> {};
TEST_P(InvalidMaxResults, SavesNothingAndKeepsTheDialogOpen) {
  Bind(ThreeSites);
  Open();
  Dialog->editMaxResults->setText(QString::fromStdString(GetParam().Typed));
  Dialog->edtMaxSockets->setValue(3);
  Dialog->chkUseProxy->setChecked(true);
  Dialog->editHost->setText("p.test");
  Dialog->btnDeSelectAll->click();
  Dialog->btnOK->click();
  EXPECT_TRUE(Dialog->isVisible());
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0], "'" + GetParam().Typed + "' is not a valid integer value");
  // Nothing of it was written; the currency library was not stopped.
  EXPECT_EQ(StoredString("Advanced", "MaxSockets"), "16");
  EXPECT_EQ(StoredString("", "ProxyInfoSaved"), "0");
  EXPECT_EQ(Flag("Alpha"), "1");
  EXPECT_EQ(Terminations, 0);
  // Corrected, it saves.
  Dialog->editMaxResults->setText("250");
  Dialog->btnOK->click();
  EXPECT_FALSE(Dialog->isVisible());
  EXPECT_EQ(StoredString("Advanced", "MaxResults"), "250");
  EXPECT_EQ(StoredString("Advanced", "MaxSockets"), "3");
  EXPECT_EQ(Flag("Alpha"), "0");
  EXPECT_EQ(Terminations, 1);
}
INSTANTIATE_TEST_SUITE_P(OptionsDialog, InvalidMaxResults,
                         ::testing::Values(TMaxResultsCase{"Letters", "12x"}, TMaxResultsCase{"Empty", ""},
                                           TMaxResultsCase{"Fraction", "1.5"}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(OptionsDialog, AStoredMaxResultsThatIsNoNumberIsNotSavedAtOpening) {
  Bind(ThreeSites);
  SeedString("Advanced", "MaxResults", "lots");
  Open();
  EXPECT_EQ(Dialog->editMaxResults->text(), "lots");
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(StoredString("Advanced", "MaxSockets"), "<missing>");
  Dialog->btnCancel->click();
  EXPECT_FALSE(Dialog->isVisible());
  EXPECT_EQ(StoredString("Advanced", "MaxResults"), "lots");
}

TEST_F(OptionsDialog, ComingBackToTheDialogKeepsUnsavedChanges) {
  Bind(ThreeSites);
  Open();
  Dialog->edtMaxSockets->setValue(9);
  Dialog->btnDeSelectAll->click();
  // Another window in front and back again: shown anew, not reloaded.
  Dialog->hide();
  Dialog->show();
  QApplication::processEvents();
  EXPECT_EQ(Dialog->edtMaxSockets->value(), 9);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Alpha Parts", "Beta Bits", "Korvandel Direct*"}));
  EXPECT_EQ(StoredString("Advanced", "MaxSockets"), "16");
}

// How many times the registry file was replaced (every write renames a new
// file over it) since the watch began.
class RegistryWrites {
public:
  explicit RegistryWrites(const std::string &Folder)
      : FFd(inotify_init1(IN_NONBLOCK)), FWatch(inotify_add_watch(FFd, Folder.c_str(), IN_MOVED_TO)) {}
  ~RegistryWrites() { close(FFd); }
  int Count() {
    int N = 0;
    alignas(inotify_event) char Buffer[8192];
    for (ssize_t Got; (Got = read(FFd, Buffer, sizeof Buffer)) > 0;)
      for (char *P = Buffer; P < Buffer + Got;) {
        const auto *E = reinterpret_cast<const inotify_event *>(P);
        if (E->len > 0 && std::string(E->name) == "registry")
          ++N;
        P += sizeof(inotify_event) + E->len;
      }
    return N;
  }
  bool Watching() const { return FFd >= 0 && FWatch >= 0; }

private:
  int FFd, FWatch;
};

TEST_F(OptionsDialog, EachSaveIsOneWriteOfTheRegistry) {
  std::vector<TSiteSpec> Sites;
  for (int I = 0; I < 20; ++I)
    Sites.push_back({"S" + std::to_string(I), "Site " + std::to_string(I), ""});
  Bind(Sites);
  // A plain proxy login, scrambled in the same write as the dialog's values.
  SeedString("", "ProxyUserName", "pat");
  RegistryWrites Writes(Env / "config");
  ASSERT_TRUE(Writes.Watching());
  Open();
  EXPECT_EQ(Writes.Count(), 1);
  Dialog->edtMaxSockets->setValue(4);
  Dialog->btnDeSelectAll->click();
  Dialog->btnOK->click();
  EXPECT_EQ(Writes.Count(), 1);
  EXPECT_EQ(StoredString("Advanced", "MaxSockets"), "4");
  EXPECT_EQ(Flag("S7"), "0");
  EXPECT_EQ(DeCryptString(StoredString("", "ProxyUserName")), "pat");
}

}  // namespace
