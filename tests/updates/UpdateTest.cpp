// The update page, the question and the download form over a stand-in for the
// fetching library.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iterator>
#include <random>

#include "client/server/UDown.h"
#include "client/uStartup.h"
#include "client/uTextUtils.h"
#include "common/Common.h"
#include "platform/Dialogs.h"
#include "platform/qt/Codepage.h"
#include "tests/support/TestEnv.h"
#include "tests/updates/FakeFetch.h"

using namespace kv;
using kvtest::TFakeFetchlet;

namespace {

std::string Cell(const std::string &T) { return "<TD>" + T + "</TD>"; }
std::string Row(std::initializer_list<std::string> Cells) {
  std::string R = "<TR>";
  for (const std::string &C : Cells)
    R += Cell(C);
  return R + "</TR>\r\n";
}
std::string Page(const std::string &Updates, const std::string &Messages) {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>\r\n<Table border=1>\r\n" + Updates +
         "</Table>\r\n<Table>\r\n" + Messages + "</Table>\r\n</body></html>";
}

struct TPageCase {
  const char *Name;
  std::string Reply;
  int Installed;
  bool HasTables;
  int Newest;
  bool Mandatory;
  std::vector<std::string> URLs;
  std::string MessageText;
};

void PrintTo(const TPageCase &C, std::ostream *Out) { *Out << C.Name; }

class UpdatePage : public testing::TestWithParam<TPageCase> {};

TEST_P(UpdatePage, Offer) {
  const TPageCase &C = GetParam();
  const TUpdatePage P = ParseUpdatePage(C.Reply);
  ASSERT_EQ(P.HasTables, C.HasTables);
  const TUpdateOffer O = ChooseUpdate(P, C.Installed);
  EXPECT_EQ(O.Newest, C.Newest);
  EXPECT_EQ(O.Mandatory, C.Mandatory);
  EXPECT_EQ(O.URLs, C.URLs);
  EXPECT_EQ(O.MessageText, C.MessageText);
}

const std::string Messages =
    Row({"1", "First"}) + Row({"2", "Second"}) + Row({"3", "Third"}) + Row({"x", "Not a number"});

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdatePage,
    testing::Values(
        TPageCase{"NewerRowsInPageOrder",
                  Page(Row({"5", "0", "http://h/a", "1"}) + Row({"7", "0", "http://h/b", "3"}) +
                           Row({"6", "0", "http://h/c", "2"}),
                       Messages),
                  4, true, 7, false, {"http://h/a", "http://h/b", "http://h/c"}, "Third"},
        TPageCase{"LastNewerRowMandatory",
                  Page(Row({"5", "0", "http://h/a", "1"}) + Row({"6", "1", "http://h/b", "1"}), Messages), 4, true,
                  6, true, {"http://h/a", "http://h/b"}, "First"},
        TPageCase{"LastNewerRowNotMandatory",
                  Page(Row({"5", "1", "http://h/a", "1"}) + Row({"6", "0", "http://h/b", "1"}) +
                           Row({"3", "1", "http://h/old", "2"}),
                       Messages),
                  4, true, 6, false, {"http://h/a", "http://h/b"}, "First"},
        TPageCase{"OlderAndEqualRowsIgnored",
                  Page(Row({"4", "1", "http://h/same", "2"}) + Row({"9", "0", "http://h/new", "1"}), Messages), 4,
                  true, 9, false, {"http://h/new"}, "First"},
        TPageCase{"NothingNewer", Page(Row({"3", "1", "http://h/a", "1"}), Messages), 4, true, 4, false, {}, ""},
        TPageCase{"NonNumericVersionSkipsTheRow",
                  Page(Row({"v5", "1", "http://h/a", "2"}) + Row({"6", "0", "http://h/b", "1"}), Messages), 4, true,
                  6, false, {"http://h/b"}, "First"},
        TPageCase{"NonNumericMessageNumberKeepsTheFile",
                  Page(Row({"6", "0", "http://h/b", "two"}), Messages), 4, true, 6, false, {"http://h/b"}, ""},
        TPageCase{"MessageWithoutItsRowIsEmpty", Page(Row({"6", "0", "http://h/b", "8"}), Messages), 4, true, 6,
                  false, {"http://h/b"}, ""},
        TPageCase{"LaterEqualMessageRowReplaces",
                  Page(Row({"6", "0", "http://h/b", "2"}), Row({"2", "Old"}) + Row({"2", "New"})), 4, true, 6, false,
                  {"http://h/b"}, "New"},
        TPageCase{"BreaksBecomeLineEnds",
                  Page(Row({"6", "0", "http://h/b", "1"}), Row({"1", "One<br>Two<BR>Three<Br>Four"})), 4, true, 6,
                  false, {"http://h/b"}, "One\r\nTwo\r\nThree<Br>Four"},
        TPageCase{"EntitiesDecodedFirst",
                  Page(Row({"6", "0", "http://h/get?f=b&amp;v=6", "1"}), Row({"1", "Fixes &lt;b&gt; &amp; more"})),
                  4, true, 6, false, {"http://h/get?f=b&v=6"}, "Fixes <b> & more"},
        TPageCase{"TagsInAnyCase",
                  "<table><tr><td>6</td><td>1</td><td>http://h/b</td><td>1</td></tr></table>"
                  "<TABLE><tr><td>1</td><td>Hello</td></tr></TABLE>",
                  4, true, 6, true, {"http://h/b"}, "Hello"},
        TPageCase{"OneTableOnly", "<Table><TR><TD>6</TD></TR></Table>", 4, false, 4, false, {}, ""},
        TPageCase{"NoTables", "No updates are available.", 4, false, 4, false, {}, ""}),
    [](const testing::TestParamInfo<TPageCase> &I) { return std::string(I.param.Name); });

// The page as the rows were taken before: each one chopped off the front of
// what is left.
TUpdatePage ParseByChopping(const std::string &Reply) {
  TUpdatePage Page;
  std::string Text = DecodeHtmlEntities(Reply);
  std::string First = ChopLineOut(Text, "<Table", "</Table");
  std::string Second = ChopLineOut(Text, "<Table", "</Table");
  if (First.empty() || Second.empty())
    return Page;
  Page.HasTables = true;
  for (std::string Row; !(Row = ChopLineOut(First, "<TR", "</TR")).empty();) {
    TUpdateRow R;
    if (!TryStrToInt(ChopLineOut(Row, "<TD>", "</TD>"), R.Version))
      continue;
    R.Mandatory = ChopLineOut(Row, "<TD>", "</TD>");
    R.URL = ChopLineOut(Row, "<TD>", "</TD>");
    R.HasMessageNumber = TryStrToInt(ChopLineOut(Row, "<TD>", "</TD>"), R.MessageNumber);
    Page.Rows.push_back(std::move(R));
  }
  for (std::string Row; !(Row = ChopLineOut(Second, "<TR", "</TR")).empty();) {
    int Number = 0;
    if (TryStrToInt(ChopLineOut(Row, "<TD>", "</TD>"), Number))
      Page.Messages.emplace_back(Number, ChopLineOut(Row, "<TD>", "</TD>"));
  }
  return Page;
}

void ExpectSamePage(const TUpdatePage &A, const TUpdatePage &B) {
  ASSERT_EQ(A.HasTables, B.HasTables);
  ASSERT_EQ(A.Rows.size(), B.Rows.size());
  for (size_t I = 0; I < A.Rows.size(); ++I) {
    SCOPED_TRACE("row " + std::to_string(I));
    EXPECT_EQ(A.Rows[I].Version, B.Rows[I].Version);
    EXPECT_EQ(A.Rows[I].Mandatory, B.Rows[I].Mandatory);
    EXPECT_EQ(A.Rows[I].URL, B.Rows[I].URL);
    EXPECT_EQ(A.Rows[I].HasMessageNumber, B.Rows[I].HasMessageNumber);
    if (A.Rows[I].HasMessageNumber) {
      EXPECT_EQ(A.Rows[I].MessageNumber, B.Rows[I].MessageNumber);
    }
  }
  EXPECT_EQ(A.Messages, B.Messages);
}

// Pages of tag pieces in any case and order, cut and unbalanced, read as the
// rows were read by chopping.
TEST(UpdatePageRows, TakenAsChoppingTakesThem) {
  static const char *const Pieces[] = {
      "<Table", "<table border=1>", "</Table", "</TABLE>", "<TR", "<tr>", "</TR", "</tr>", "<Tr class=x>",
      "<TD>", "<td>", "</TD>", "</td>", "<TD", "</T", "<T", "<", ">", "/", "7", "12", "-3", "x", "1",
      " ", "\r\n", "&amp;", "&lt;TD&gt;", "http://h/a", "<br>", "</TableX", "<TRTD>"};
  std::mt19937 Rng(27);
  for (int Round = 0; Round < 3000; ++Round) {
    std::string Reply;
    const int N = int(Rng() % 60);
    for (int I = 0; I < N; ++I)
      Reply += Pieces[Rng() % std::size(Pieces)];
    SCOPED_TRACE(Reply);
    ExpectSamePage(ParseUpdatePage(Reply), ParseByChopping(Reply));
    if (HasFailure())
      return;
  }
}

std::string ManyRows(int Count, const std::function<std::string(int)> &URL) {
  std::string Rows;
  for (int I = 0; I < Count; ++I)
    Rows += Row({std::to_string(5000 + I % 7), "0", URL(I), "1"});
  return Page(Rows, Row({"1", "Many files"}));
}

TEST(UpdatePageRows, AHundredThousandRowsInOnePass) {
  const std::string Reply = ManyRows(100000, [](int I) { return "http://files.test/dl/f" + std::to_string(I); });
  // The processor time of this thread, the fastest of three, so a busy
  // machine does not decide; taking each row off the front of the rest took
  // most of a minute.
  const auto ThreadSeconds = [] {
    timespec T{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
    return double(T.tv_sec) + double(T.tv_nsec) / 1e9;
  };
  double Seconds = 1e9;
  for (int Round = 0; Round < 3; ++Round) {
    const double Start = ThreadSeconds();
    const TUpdatePage P = ParseUpdatePage(Reply);
    Seconds = std::min(Seconds, ThreadSeconds() - Start);
    ASSERT_EQ(P.Rows.size(), 100000u);
    EXPECT_EQ(P.Rows.back().URL, "http://files.test/dl/f99999");
  }
  EXPECT_LT(Seconds, 1.0) << "processor seconds for 100,000 rows";
}

struct TNameCase {
  const char *Name;
  std::string FileName;
  bool Safe;
};

void PrintTo(const TNameCase &C, std::ostream *Out) { *Out << C.Name; }

class UpdateFileName : public testing::TestWithParam<TNameCase> {};

TEST_P(UpdateFileName, Checked) { EXPECT_EQ(SafeUpdateFileName(GetParam().FileName), GetParam().Safe); }

INSTANTIATE_TEST_SUITE_P(Cases, UpdateFileName,
                         testing::Values(TNameCase{"Plain", "kvsites.dat", true},
                                         TNameCase{"WithQuery", "get.asp?f=1", true},
                                         TNameCase{"Empty", "", false}, TNameCase{"Dot", ".", false},
                                         TNameCase{"DotDot", "..", false},
                                         TNameCase{"Backslash", "..\\..\\Korvandel", false},
                                         TNameCase{"Slash", "a/b", false}),
                         [](const testing::TestParamInfo<TNameCase> &I) { return std::string(I.param.Name); });

struct TBox {
  std::string Text;
  unsigned Flags;
};

class UpdateDownload : public testing::Test {
protected:
  void SetUp() override {
    TFakeFetchlet::Instance().Reset();
    ProgramDir = Env / "prog" + "\\";
    std::filesystem::create_directories(Env / "prog");
    SetMessageBoxHook([this](const std::string &Text, const std::string &, unsigned Flags) {
      Boxes.push_back({Text, Flags});
      return Answer;
    });
    TUpdateEvents E;
    E.ProgramDir = ProgramDir;
    E.Closing = [this] { return Closing; };
    E.CheckLibraryVersion = [this] { return Installed; };
    E.SetLibraryVersion = [this](int V) { Stored.push_back(V); };
    E.SetDownloadStarted = [this] { Flags.push_back("StartDown"); };
    E.SetDownloadEnded = [this] { Flags.push_back("EndDown"); };
    Check = std::make_unique<TUpdateCheck>(std::move(E),
                                           TFetchFunctions{kvtest::FakeGetFile, kvtest::FakeTerminateFileGroup,
                                                           kvtest::FakeSetFileGroupLimits});
  }
  void TearDown() override {
    Check.reset();
    SetMessageBoxHook({});
  }

  std::string Folder() const { return Env / "prog/DownLoad"; }
  std::vector<std::string> FolderFiles() const {
    std::vector<std::string> Names;
    if (std::filesystem::exists(Folder()))
      for (const auto &E : std::filesystem::directory_iterator(Folder()))
        Names.push_back(E.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
  }
  int BoxesSaying(const std::string &Start) const {
    int N = 0;
    for (const TBox &B : Boxes)
      N += B.Text.rfind(Start, 0) == 0;
    return N;
  }
  // Three newer files; message 2 goes with the question.
  void OfferThree(const std::string &Third = "http://files.test/dl/c.txt") {
    Check->ProcessUpdatePage(Page(Row({"3101", "0", "http://files.test/dl/a.txt", "1"}) +
                                      Row({"3103", "0", "http://files.test/dl/b.txt", "2"}) +
                                      Row({"3102", "0", Third, "1"}),
                                  Row({"1", "One"}) + Row({"2", "New sites<br>and fixes"})));
  }
  TFakeFetchlet &Fetch() { return TFakeFetchlet::Instance(); }

  kvtest::IsolatedEnv Env;
  std::string ProgramDir;
  std::unique_ptr<TUpdateCheck> Check;
  std::vector<TBox> Boxes;
  int Answer = IDYES;
  int Installed = 3003;
  bool Closing = false;
  std::vector<int> Stored;
  std::vector<std::string> Flags;
};

TEST_F(UpdateDownload, QuestionThenEveryFileInstalled) {
  kvtest::WriteFile(Folder() + "/../keep.txt", "not touched");
  OfferThree();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, "New sites\r\nand fixes");
  EXPECT_EQ(Boxes[0].Flags, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(Flags, std::vector<std::string>{"StartDown"});
  EXPECT_FALSE(Check->UpdateStarting);
  TfrmDownLoad *Form = Check->frmDownLoad();
  ASSERT_EQ(Fetch().Fetches.size(), 1u);
  EXPECT_EQ(Form->TipText(), "Downloading 1 of 3");
  EXPECT_TRUE(Form->IconShown());
  EXPECT_TRUE(Form->btnStop->isEnabled());
  const char *Names[] = {"a.txt", "b.txt", "c.txt"};
  for (int I = 0; I < 3; ++I) {
    ASSERT_EQ(Fetch().Fetches.size(), size_t(I + 1));
    const kvtest::TFakeFetch &F = Fetch().Fetches[I];
    EXPECT_EQ(F.URL, std::string("http://files.test/dl/") + Names[I]);
    EXPECT_EQ(F.FileName, Folder() + "/" + Names[I] + ".part");
    EXPECT_EQ(F.Group, 1);
    EXPECT_EQ(F.Host + F.Port + F.User + F.Password, "");
    // Nothing takes its name before the last file is in.
    EXPECT_FALSE(kvtest::FileExists(Folder() + "/" + Names[I]));
    Fetch().Finish(I, true, std::string("body ") + Names[I]);
    if (I < 2) {
      EXPECT_EQ(Form->TipText(), "Downloading " + std::to_string(I + 2) + " of 3");
    }
  }
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(kvtest::ReadFile(Folder() + "/b.txt"), "body b.txt");
  EXPECT_EQ(Stored, std::vector<int>{3103});
  EXPECT_EQ(Flags, (std::vector<std::string>{"StartDown", "EndDown"}));
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[1].Text,
            "Download of update complete.\r\n\r\nChanges will take effect when Korvandel(tm) is restarted.");
  EXPECT_FALSE(Form->IconShown());
  EXPECT_FALSE(Form->btnStop->isEnabled());
  EXPECT_EQ(Form->lblFilesDone->text(), "3");
  EXPECT_EQ(kvtest::ReadFile(Folder() + "/../keep.txt"), "not touched");
}

TEST_F(UpdateDownload, NameListedTwiceKeepsTheLaterFile) {
  OfferThree("http://mirror.test/dl/a.txt");
  Fetch().Finish(0, true, "first a");
  Fetch().Finish(1, true, "b");
  Fetch().Finish(2, true, "second a");
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(kvtest::ReadFile(Folder() + "/a.txt"), "second a");
  EXPECT_EQ(BoxesSaying("Download of update complete."), 1);
}

TEST_F(UpdateDownload, NamesDifferingInCaseAreOneFile) {
  Check->ProcessUpdatePage(Page(Row({"3101", "0", "http://files.test/v5/Kvsites.dat", "1"}) +
                                    Row({"3102", "0", "http://files.test/dl/b.txt", "1"}) +
                                    Row({"3103", "0", "http://files.test/v6/kvsites.dat", "1"}),
                                Row({"1", "One"})));
  Fetch().Finish(0, true, "version 5");
  Fetch().Finish(1, true, "b");
  Fetch().Finish(2, true, "version 6");
  EXPECT_EQ(Fetch().Fetches[2].FileName, Folder() + "/Kvsites.dat.part");
  EXPECT_EQ(BoxesSaying("Download of update complete."), 1);
  EXPECT_EQ(BoxesSaying("Download of update failed."), 0);
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"Kvsites.dat", "b.txt"}));
  EXPECT_EQ(kvtest::ReadFile(Folder() + "/Kvsites.dat"), "version 6");
  EXPECT_EQ(Stored, std::vector<int>{3103});
}

// Every file ends while it is being started: the walk takes one stack frame
// for the whole list and completes once.
TEST_F(UpdateDownload, SixtyThousandRefusedNamesFailOnce) {
  Check->ProcessUpdatePage(ManyRows(60000, [](int I) { return "http://files.test/dl" + std::to_string(I) + "/"; }));
  EXPECT_TRUE(Fetch().Fetches.empty());
  EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  EXPECT_EQ(BoxesSaying("Download of update complete."), 0);
  EXPECT_FALSE(Check->frmDownLoad()->Running());
  EXPECT_FALSE(Check->frmDownLoad()->IconShown());
  EXPECT_EQ(Check->frmDownLoad()->FilesDone(), 60000);
  EXPECT_TRUE(Stored.empty());
}

TEST_F(UpdateDownload, SixtyThousandFetchesFailingInsideGetFileFailOnce) {
  Fetch().FailAtOnce = true;
  Check->ProcessUpdatePage(ManyRows(60000, [](int I) { return "http://files.test/dl/f" + std::to_string(I); }));
  ASSERT_EQ(Fetch().Fetches.size(), 60000u);
  EXPECT_EQ(Fetch().Fetches[59999].FileName, Folder() + "/f59999.part");
  EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  EXPECT_FALSE(Check->frmDownLoad()->Running());
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{});
}

TEST_F(UpdateDownload, FilesEndingAtOnceAfterAFetchFollowInOrder) {
  // a.txt arrives; b.txt fails inside GetFile and the refused third name
  // follows it, all within a.txt's end.
  OfferThree("http://files.test/dl/");
  Fetch().FailAtOnce = true;
  Fetch().Finish(0, true, "a");
  ASSERT_EQ(Fetch().Fetches.size(), 2u);
  EXPECT_EQ(Fetch().Fetches[1].URL, "http://files.test/dl/b.txt");
  EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  EXPECT_FALSE(Check->frmDownLoad()->Running());
}

TEST_F(UpdateDownload, MandatoryUpdateAsksWithAWarning) {
  Check->ProcessUpdatePage(Page(Row({"3101", "1", "http://h/a", "1"}), Row({"1", "Required"})));
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Flags, MB_YESNO | MB_ICONWARNING);
}

TEST_F(UpdateDownload, DeclinedOrNothingNewerFetchesNothing) {
  Answer = IDNO;
  OfferThree();
  EXPECT_EQ(Boxes.size(), 1u);
  Answer = IDYES;
  Installed = 4000;
  OfferThree();
  EXPECT_EQ(Boxes.size(), 1u);
  EXPECT_TRUE(Fetch().Fetches.empty());
  EXPECT_TRUE(Flags.empty());
}

TEST_F(UpdateDownload, FailedFileInstallsNothing) {
  OfferThree();
  kvtest::WriteFile(Folder() + "/older.txt", "an earlier download");
  Fetch().Finish(0, false, "half of a");
  // The next file still starts after a failure.
  ASSERT_EQ(Fetch().Fetches.size(), 2u);
  Fetch().Finish(1, true, "b");
  Fetch().Finish(2, true, "c");
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{});
  EXPECT_TRUE(Stored.empty());
  EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  EXPECT_EQ(BoxesSaying("Download of update complete."), 0);
}

// Every file is fetched with the update file's limits from the table.
TEST_F(UpdateDownload, FilesAreFetchedWithTheUpdateFilesLimits) {
  OfferThree();
  ASSERT_FALSE(Fetch().Fetches.empty());
  const kvtest::TFakeFetch &F = Fetch().Fetches[0];
  EXPECT_EQ(F.Group, fgUpdate);
  EXPECT_EQ(F.MaxReply, kv::limits::UpdateFile.MaxReply);
  EXPECT_EQ(F.NoData, kv::limits::UpdateFile.Time.NoData);
  EXPECT_EQ(F.InAll, kv::limits::UpdateFile.Time.InAll);
}

TEST_F(UpdateDownload, FetchesFailingInsideGetFileCompleteOnce) {
  Fetch().FailAtOnce = true;
  OfferThree();
  EXPECT_EQ(Fetch().Fetches.size(), 3u);
  EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  EXPECT_FALSE(Check->frmDownLoad()->Running());
}

TEST_F(UpdateDownload, StopAfterTheFirstFile) {
  OfferThree();
  Fetch().Finish(0, true, "a");
  ASSERT_EQ(Fetch().Running(), 1u);
  Check->frmDownLoad()->mnuStopClick();
  EXPECT_EQ(Boxes[1].Text, "Are you sure you wish to stop downloading files");
  EXPECT_EQ(Fetch().Stops, std::vector<int32_t>{1});
  // The running file and the one after it were reported failed.
  EXPECT_EQ(Fetch().Fetches.size(), 3u);
  EXPECT_EQ(Fetch().Running(), 0u);
  EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{});
  EXPECT_TRUE(Stored.empty());
}

TEST_F(UpdateDownload, StopDeclinedGoesOn) {
  OfferThree();
  Answer = IDNO;
  Check->frmDownLoad()->mnuStopClick();
  EXPECT_TRUE(Fetch().Stops.empty());
  EXPECT_EQ(Fetch().Running(), 1u);
}

TEST_F(UpdateDownload, ClosingStopsTheDownloadWithoutABox) {
  OfferThree();
  Closing = true;
  Check->TerminateUpdateDownload(fgUpdate);
  EXPECT_EQ(Fetch().Stops, std::vector<int32_t>{1});
  EXPECT_FALSE(Check->frmDownLoad()->Running());
  EXPECT_EQ(BoxesSaying("Download of update failed."), 0);
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{});
}

struct TBadURLCase {
  const char *Name;
  std::string URL;
};

void PrintTo(const TBadURLCase &C, std::ostream *Out) { *Out << C.Name; }

class UpdateBadName : public UpdateDownload, public testing::WithParamInterface<TBadURLCase> {};

TEST_P(UpdateBadName, FailsWithoutFetchingIt) {
  OfferThree(GetParam().URL);
  Fetch().Finish(0, true, "a");
  Fetch().Finish(1, true, "b");
  // The third name is refused: nothing fetched for it, the update failed.
  EXPECT_EQ(Fetch().Fetches.size(), 2u);
  EXPECT_EQ(BoxesSaying("Download of update failed."), 1);
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{});
  EXPECT_FALSE(kvtest::FileExists(Env / "prog/Korvandel"));
  EXPECT_FALSE(kvtest::FileExists(Env / "Korvandel"));
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateBadName,
                         testing::Values(TBadURLCase{"EndsInSlash", "http://files.test/dl/"},
                                         TBadURLCase{"DotDot", "http://files.test/.."},
                                         TBadURLCase{"Dot", "http://files.test/."},
                                         TBadURLCase{"Backslashes", "http://files.test/x\\..\\Korvandel"},
                                         TBadURLCase{"NoSlash", "Korvandel"}),
                         [](const testing::TestParamInfo<TBadURLCase> &I) { return std::string(I.param.Name); });

TEST_F(UpdateDownload, FolderThatCannotBeMade) {
  kvtest::WriteFile(Env / "prog/DownLoad", "a file in the way");
  OfferThree();
  EXPECT_EQ(BoxesSaying("Unable to create directory for download."), 1);
  EXPECT_TRUE(Fetch().Fetches.empty());
}

TEST_F(UpdateDownload, WithoutATrayTheFormKeepsStopInReach) {
  if (QSystemTrayIcon::isSystemTrayAvailable())
    GTEST_SKIP() << "a tray exists here";
  OfferThree();
  EXPECT_TRUE(Check->frmDownLoad()->isVisible());
  EXPECT_EQ(Check->frmDownLoad()->lblFilesTotal->text(), "3");
  // Closing the form only hides it; the download goes on.
  Check->frmDownLoad()->close();
  EXPECT_FALSE(Check->frmDownLoad()->isVisible());
  EXPECT_TRUE(Check->frmDownLoad()->Running());
  Check->frmDownLoad()->mnuDetailsClick();
  EXPECT_TRUE(Check->frmDownLoad()->isVisible());
}

TEST_F(UpdateDownload, CheckAskedForOnce) {
  Check.reset();
  int Requests = 0;
  TUpdateEvents E;
  E.RequestUpdatePage = [&] { ++Requests; };
  TUpdateCheck C(std::move(E), {});
  C.StartUpdateCheck();
  C.StartUpdateCheck();
  EXPECT_EQ(Requests, 1);
  EXPECT_FALSE(C.UpdateCheckPending);
}

}  // namespace

namespace {

// The update page's message reaches the user as it was written: markup in a
// server's text is shown, never rendered.
TEST(UpdateQuestion, ServerTextShownAsPlainText) {
  unsetenv("KORVANDEL_DIALOGS");
  BindMessageBoxes();
  Qt::TextFormat Format = Qt::RichText;
  QString Shown;
  QTimer::singleShot(0, [&] {
    for (QWidget *W : QApplication::topLevelWidgets())
      if (auto *Box = qobject_cast<QMessageBox *>(W); Box && Box->isVisible()) {
        Format = Box->textFormat();
        Shown = Box->text();
        Box->done(QMessageBox::No);
      }
  });
  EXPECT_EQ(MessageBox("<b>New</b> sites<br>here", "Korvandel(tm)", MB_YESNO | MB_ICONQUESTION), IDNO);
  SetMessageBoxHook({});
  EXPECT_EQ(Format, Qt::PlainText);
  EXPECT_EQ(Shown, "<b>New</b> sites<br>here");
}

}  // namespace
