// The statistics window: its counters, the progress bar, the time formats,
// the clock's timer, and the site test of the search engine it counts with.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "client/search/uSearch.h"
#include "client/uCatalogue.h"
#include "client/window/FStat.h"

namespace {

std::string Text(const QLabel *L) { return L->text().toStdString(); }

constexpr double SecondsPerDay = 86400.0;

struct TAverageCase {
  const char *Name;
  double Seconds;
  int Complete;
  const char *Text;
};

const TAverageCase AverageCases[] = {
    {"NoneCompleteIsTheWholeTime", 75.3, 0, "1m:15.3s"},
    {"SecondsRoundAfterTheMinutesAreCut", 59.96, 0, "0m:60.0s"},
    {"DividedByComplete", 150.6, 2, "1m:15.3s"},
    {"Zero", 0, 0, "0m:0.0s"},
    {"WholeHour", 3600, 1, "60m:0.0s"},
    {"ShortAverage", 9, 4, "0m:2.3s"},
    {"NotANumber", std::numeric_limits<double>::quiet_NaN(), 1, "0m:0s"},
    {"Infinite", std::numeric_limits<double>::infinity(), 0, "0m:0s"},
    {"BeyondAnInteger", 1e300, 1, "0m:0s"},
};

class AverageTime : public ::testing::TestWithParam<TAverageCase> {};

TEST_P(AverageTime, Formatted) {
  const TAverageCase &C = GetParam();
  EXPECT_EQ(FormatAverage(C.Seconds, C.Complete), C.Text);
}

INSTANTIATE_TEST_SUITE_P(Table, AverageTime, ::testing::ValuesIn(AverageCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

struct TElapsedCase {
  const char *Name;
  double Seconds;
  const char *Text;
};

const TElapsedCase ElapsedCases[] = {
    {"Zero", 0, "00:00:00"},
    {"MinuteAndAQuarter", 75.3, "00:01:15"},
    {"Hours", 3 * 3600 + 2 * 60 + 1, "03:02:01"},
    {"DaysAreNotShown", 25 * 3600, "01:00:00"},
};

class ElapsedTime : public ::testing::TestWithParam<TElapsedCase> {};

TEST_P(ElapsedTime, Formatted) {
  const TElapsedCase &C = GetParam();
  EXPECT_EQ(FormatElapsed(C.Seconds / SecondsPerDay), C.Text);
}

INSTANTIATE_TEST_SUITE_P(Table, ElapsedTime, ::testing::ValuesIn(ElapsedCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// Twelve sites of which the main window's test allows ten; a clock the test moves.
class Statistics : public ::testing::Test {
protected:
  void SetUp() override {
    Catalogue = TCatalogue();
    Catalogue.GetNumberSites = [] { return int32_t(12); };
    Stat.OnSiteEligible = [](int Site) { return Site != 3 && Site != 7; };
    Stat.Clock = [this] { return Now; };
  }
  void TearDown() override { Catalogue = TCatalogue(); }

public:
  void Advance(double Seconds) { Now += Seconds / SecondsPerDay; }
  void SiteStarted() { Stat.SetRemaining(Stat.Remaining() - 1); }
  void SiteCompleted() { Stat.SetComplete(Stat.Complete() + 1); }
  void ExpectCounts(int Complete, int Active, int Remaining) {
    EXPECT_EQ(Stat.Complete(), Complete);
    EXPECT_EQ(Stat.Active(), Active);
    EXPECT_EQ(Stat.Remaining(), Remaining);
    EXPECT_EQ(Text(Stat.lblComplete), std::to_string(Complete));
    EXPECT_EQ(Text(Stat.lblActive), std::to_string(Active));
    EXPECT_EQ(Text(Stat.lblLeft), std::to_string(Remaining));
  }
  double Now = 46000.5;
  TfrmStatistics Stat;
};

TEST_F(Statistics, CreatedEmptyAndIdle) {
  ExpectCounts(0, 0, 0);
  EXPECT_EQ(Stat.Total(), 0);
  EXPECT_EQ(Stat.StartTime(), 0);
  EXPECT_FALSE(Stat.timTime->isActive());
  EXPECT_EQ(Stat.timTime->interval(), 1000);
  EXPECT_EQ(Stat.windowTitle(), QString("Statistics"));
  EXPECT_EQ(Stat.pbSearch->value(), 0);
  // Nothing is timed yet: the clock's tick changes nothing.
  const std::string Before = Text(Stat.lblElasped) + Text(Stat.lblAverage);
  Stat.timTimeTimer();
  EXPECT_EQ(Text(Stat.lblElasped) + Text(Stat.lblAverage), Before);
}

TEST_F(Statistics, TenEligibleSitesThreeStartedOneFinished) {
  Stat.StartStatistics();
  EXPECT_EQ(Stat.Total(), 10);
  ExpectCounts(0, 0, 10);
  EXPECT_EQ(Stat.pbSearch->maximum(), 10);
  EXPECT_TRUE(Stat.timTime->isActive());
  for (int I = 0; I < 3; ++I)
    SiteStarted();
  SiteCompleted();
  ExpectCounts(1, 2, 7);
  EXPECT_EQ(Stat.pbSearch->value(), 1);
}

TEST_F(Statistics, TimesShownOnEveryTick) {
  Stat.StartStatistics();
  EXPECT_EQ(Stat.StartTime(), Now);
  SiteStarted();
  Advance(75.3);
  Stat.timTimeTimer();
  EXPECT_EQ(Text(Stat.lblElasped), "00:01:15");
  EXPECT_EQ(Text(Stat.lblAverage), "1m:15.3s");
  SiteStarted();
  SiteCompleted();
  SiteCompleted();
  Advance(75.3);
  // A completed site refreshes the labels at once.
  EXPECT_EQ(Text(Stat.lblElasped), "00:01:15");
  Stat.timTimeTimer();
  EXPECT_EQ(Text(Stat.lblElasped), "00:02:30");
  EXPECT_EQ(Text(Stat.lblAverage), "1m:15.3s");
}

// The clock pauses whenever no site is active and goes on when one starts
// again within the same search; a stopped search stays stopped.
TEST_F(Statistics, ClockRunsWhileSitesAreActive) {
  struct TStep {
    const char *Name;
    void (Statistics::*Action)();
    bool Running;
  };
  auto Start = &Statistics::SiteStarted;
  auto Done = &Statistics::SiteCompleted;
  Stat.StartStatistics();
  const TStep Steps[] = {
      {"first site started", Start, true},
      {"first site done, none active", Done, false},
      {"second site started", Start, true},
      {"third site started", Start, true},
      {"second site done", Done, true},
      {"third site done", Done, false},
      {"fourth site started", Start, true},
  };
  for (const TStep &S : Steps) {
    SCOPED_TRACE(S.Name);
    (this->*S.Action)();
    EXPECT_EQ(Stat.timTime->isActive(), S.Running);
  }
  Stat.StopStatistics();
  EXPECT_FALSE(Stat.timTime->isActive());
  EXPECT_EQ(Stat.Active(), 0);
  EXPECT_EQ(Text(Stat.lblActive), "0");
  SiteStarted();
  EXPECT_FALSE(Stat.timTime->isActive());
}

TEST_F(Statistics, FiguresStayUntilTheNextSearch) {
  Stat.StartStatistics();
  SiteStarted();
  Advance(30);
  SiteCompleted();
  Stat.StopStatistics();
  Advance(600);
  Stat.timTimeTimer();
  EXPECT_EQ(Stat.Complete(), 1);
  EXPECT_EQ(Stat.Remaining(), 9);
  Stat.OnSiteEligible = [](int Site) { return Site < 4; };
  Stat.StartStatistics();
  EXPECT_EQ(Stat.Total(), 4);
  ExpectCounts(0, 0, 4);
  EXPECT_EQ(Stat.pbSearch->value(), 0);
  EXPECT_EQ(Stat.pbSearch->maximum(), 4);
  EXPECT_EQ(Stat.StartTime(), Now);
}

TEST_F(Statistics, NoEligibleSiteShowsAnEmptyBar) {
  Stat.OnSiteEligible = nullptr;
  Stat.StartStatistics();
  EXPECT_EQ(Stat.Total(), 0);
  EXPECT_EQ(Stat.pbSearch->value(), 0);
  // Not Qt's busy animation (a range of 0 to 0).
  EXPECT_GT(Stat.pbSearch->maximum(), Stat.pbSearch->minimum());
}

TEST_F(Statistics, CloseHidesAndReportsShowRepaints) {
  int Closed = 0, Repaints = 0;
  Stat.OnClose = [&] { ++Closed; };
  Stat.OnRepaintAnimations = [&] { ++Repaints; };
  Stat.show();
  EXPECT_EQ(Repaints, 1);
  Stat.btnClose->click();
  EXPECT_FALSE(Stat.isVisible());
  EXPECT_EQ(Closed, 1);
}

// The search engine's site test, which the window counts with.
struct TEligibleCase {
  const char *Name;
  bool Local, Language, Region;
  std::vector<int> Enabled;
  int Category;
  std::vector<bool> Eligible;
};

const TEligibleCase EligibleCases[] = {
    {"FiltersOff", false, false, false, {1, 1, 1, 1}, 0, {true, true, true, true}},
    {"DisabledSites", false, false, false, {1, 0, 1, 0}, 0, {true, false, true, false}},
    {"ShortEnabledList", false, false, false, {1, 1}, 0, {true, true, false, false}},
    {"LocalCountry", true, false, false, {1, 1, 1, 1}, 0, {true, false, true, false}},
    {"Language", false, true, false, {1, 1, 1, 1}, 0, {true, true, false, false}},
    {"Region", false, false, true, {1, 1, 1, 1}, 0, {true, false, true, true}},
    {"Category", false, false, false, {1, 1, 1, 1}, 1, {false, true, false, true}},
    {"Everything", true, true, true, {1, 1, 1, 1}, 1, {false, false, false, false}},
};

class SiteEligible : public ::testing::TestWithParam<TEligibleCase> {};

TEST_P(SiteEligible, AsTheSiteSelection) {
  const TEligibleCase &C = GetParam();
  Catalogue = TCatalogue();
  // Sites: 0 UK/EN/passives, 1 US/EN/relays, 2 UK/DE/passives, 3 DE/DE/relays.
  Catalogue.GetSiteLocation = [](std::string &R, int32_t I) { R = (I == 0 || I == 2) ? "UK" : I == 1 ? "US" : "DE"; };
  Catalogue.GetSiteLanguage = [](std::string &R, int32_t I) { R = I < 2 ? "EN" : "DE"; };
  Catalogue.GetRegionCodeForCountry = [](std::string &R, const std::string &C) { R = C == "US" ? "NA" : "EU"; };
  Catalogue.SiteHasCategory = [](int32_t I, const std::string &C) { return C == "Relays" && (I % 2) == 1; };
  TWorkingSettings S;
  S.FindLocalSites = C.Local;
  S.LanguageSites = C.Language;
  S.RegionSites = C.Region;
  S.LocalCountryCode = "UK";
  S.LocalLanguage = "EN English";
  S.LocalRegion = "EU";
  S.SiteEnabled = C.Enabled;
  TSearchEvents E;
  E.CategoryIndex = [&] { return C.Category; };
  E.CategoryText = [&] { return std::string(C.Category ? "Relays" : "(All Categories)"); };
  TSearchEngine Engine(S, nullptr, E);
  std::vector<bool> Got;
  for (int I = 0; I < 4; ++I)
    Got.push_back(Engine.SiteEligible(I));
  EXPECT_EQ(Got, C.Eligible);
  Catalogue = TCatalogue();
}

INSTANTIATE_TEST_SUITE_P(Table, SiteEligible, ::testing::ValuesIn(EligibleCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

}  // namespace
