// The main window's commands over a result list of their own; what they ask
// of the rest of the window is recorded through their events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "client/search/uItemStore.h"
#include "client/settings/uSettings.h"
#include "client/window/uCommands.h"
#include "client/window/uFindDialog.h"
#include "client/window/uListPictures.h"
#include "client/window/uPartNumbers.h"
#include "client/window/uSearchHistory.h"
#include "client/window/uSortColumns.h"
#include "client/window/uproof.h"
#include "components/replistv.h"
#include "platform/Dialogs.h"
#include "platform/Registry.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/Messages.h"
#include "tests/support/TestEnv.h"

namespace {

using kv::TReportItem;

TReportItem Row(const std::string &PartNumber, const std::string &Price = "", const std::string &Quantity = "",
                const std::string &Description = "", const std::string &Stock = "",
                const std::string &Supplier = "Alpha") {
  TReportItem R;
  R.Caption = PartNumber;
  R.SubItems = {Description, "", "", Price, Stock, Quantity, Supplier};
  return R;
}

// The locale the text columns follow, set for one test.
class TLocaleScope {
public:
  explicit TLocaleScope(const QLocale &L) : FOld(QLocale()) { QLocale::setDefault(L); }
  ~TLocaleScope() { QLocale::setDefault(FOld); }

private:
  QLocale FOld;
};

class Commands : public ::testing::Test {
protected:
  void SetUp() override {
    const char *Captions[8] = {"Part Number", "Description", "Manufacturer", "Datasheet",
                               "Price",       "In Stock",    "Quantity",     "Supplier"};
    for (const char *C : Captions)
      List.AddColumn(C, 80);
    List.SetSortDirection(kv::sdDescending);
    List.SetSortShow(true);
    Pictures.ApplyTo(List);
    Type.addItems({"Part Number", "Description"});
    Filter.addItems({"Any Part Number", "Exact Match", "Contains", "Begins With"});
    Search.setEditable(true);
    Search.setInsertPolicy(QComboBox::NoInsert);
    kv::SetMessageBoxHook([this](const std::string &Text, const std::string &, unsigned) {
      Boxes.push_back(Text);
      return kv::IDOK;
    });
    Make();
  }
  void TearDown() override {
    K.reset();
    for (void *Store : StoresToFree)
      delete static_cast<TItemStore *>(Store);
    kv::SetMessageBoxHook({});
  }
  void Make() {
    TCommandEvents E;
    E.OpenURL = [this](const std::string &A) { Opened.push_back(A); };
    E.ConfirmGotoSite = [this](const std::string &S) {
      Asked.push_back(S);
      return Answer;
    };
    E.GetBrowserCommand = [this] { return BrowserCommand; };
    E.ButtonEnabled = [this](int Index) { return Index == 3 && FindEnabled; };
    E.StartSearch = [this] { ++Searches; };
    E.SetSearchType = [this](int T) { SearchTypes.push_back(T); };
    E.ChoosePartNumbersFile = [this] { return ChosenFile; };
    TCommandControls C;
    C.Window = nullptr;
    C.Handle = Target.Handle();
    C.List = &List;
    C.editSearch = &Search;
    C.cboSearchType = &Type;
    C.cboFilter = &Filter;
    C.lblSearchFor = &SearchFor;
    C.timHint = &timHint;
    C.timHintShow = &timHintShow;
    C.Pictures = &Pictures;
    K = std::make_unique<TCommands>(C, std::move(E));
    // As the window wires it: the list's own sort, then the window's.
    List.OnColumnClick = [this](kv::TReportListView *, int Column) { K->lstProducts1ColumnClick(Column); };
  }
  int Add(const TReportItem &R, const TItemStore &Store = {}) {
    const int Index = List.AddItem(R);
    auto *S = new TItemStore(Store);
    StoresToFree.push_back(S);
    List.SetItemData(Index, S);
    return Index;
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> R;
    for (const TReportItem &I : List.Items())
      R.push_back(I.Caption);
    return R;
  }

  kvtest::IsolatedEnv Env;
  kv::TReportListView List;
  TListPictures Pictures;
  QComboBox Search, Type, Filter;
  QLabel SearchFor;
  QTimer timHint, timHintShow;
  std::vector<kv::UINT> Posted;
  kv::TMessageTarget Target{[this](kv::TMessage &M) { Posted.push_back(M.Msg); }};
  std::unique_ptr<TCommands> K;
  std::vector<void *> StoresToFree;
  std::vector<std::string> Opened, Asked, Boxes;
  bool Answer = true, FindEnabled = true;
  int Searches = 0;
  std::vector<int> SearchTypes;
  std::string BrowserCommand, ChosenFile;
};

// --- Sorting ---------------------------------------------------------------

TEST(ListNumbers, ReadWithThousandsAndFullStopWhateverTheLocale) {
  TLocaleScope German(QLocale(QLocale::German, QLocale::Germany));
  struct TCase {
    const char *Name, *Text;
    double Default, Expected;
  } Cases[] = {
      {"thousands", "1,250.00", 0, 1250},    {"plain", "999.00", 0, 999},
      {"blanks around", " 12.5 ", 0, 12.5},  {"empty is the default", "", -1, -1},
      {"Call is the default", "Call", -1, -1}, {"decimal comma is no decimal", "2,5", 0, 25},
      {"junk after", "12 kg", 7, 7},          {"no inf", "inf", 3, 3},
      {"negative", "-1,000.5", 0, -1000.5},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_DOUBLE_EQ(ReadListNumber(C.Text, C.Default), C.Expected);
  }
}

TEST(ColumnComparisons, ThreeWayByTheColumnsRules) {
  TLocaleScope English(QLocale(QLocale::English, QLocale::UnitedStates));
  struct TCase {
    const char *Name;
    int Column;
    TReportItem A, B;
    int Ascending;  // the sign with direction -1
  } Cases[] = {
      {"999.00 before 1,250.00", 4, Row("a", "999.00"), Row("b", "1,250.00"), -1},
      {"no price counts as 0", 4, Row("a", ""), Row("b", "0.01"), -1},
      {"unreadable price counts as 0", 4, Row("a", "n/a"), Row("b", "0.00"), 0},
      {"equal prices are equal", 4, Row("a", "5.00"), Row("b", "5"), 0},
      {"Call before 0", 6, Row("a", "", "0"), Row("b", "", "Call"), 1},
      {"quantities by value", 6, Row("a", "", "12"), Row("b", "", "3"), 1},
      {"equal quantities are equal", 6, Row("a", "", "Call"), Row("b", "", "x"), 0},
      {"part numbers by the locale", 0, Row("abc"), Row("ABD"), -1},
      {"lower case first among equals", 0, Row("abc"), Row("ABC"), -1},
      {"same bytes are equal", 0, Row("LM317"), Row("LM317"), 0},
      {"descriptions", 1, Row("x", "", "", "resistor"), Row("y", "", "", "Capacitor"), 1},
      {"stock", 5, Row("x", "", "", "", "Y"), Row("y", "", "", "", "Call"), 1},
      {"supplier", 7, Row("x", "", "", "", "", "beta"), Row("y", "", "", "", "", "Alpha"), 1},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    const TColumnCompare Compare = ColumnCompare(C.Column);
    ASSERT_NE(Compare, nullptr);
    auto Sign = [](int V) { return (V > 0) - (V < 0); };
    EXPECT_EQ(Sign(Compare(C.A, C.B, -1)), C.Ascending);
    EXPECT_EQ(Sign(Compare(C.A, C.B, 1)), -C.Ascending);
    EXPECT_EQ(Sign(Compare(C.B, C.A, -1)), -C.Ascending);
  }
  EXPECT_EQ(ColumnCompare(8), nullptr);
  EXPECT_EQ(ColumnCompare(-1), nullptr);
}

// Texts that collate alike are told apart by their bytes, and nothing
// differs from itself.
TEST(ColumnComparisons, TextTiesBrokenByBytes) {
  TLocaleScope English(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(CompareListText("", ""), 0);
  EXPECT_LT(CompareListText("", "a"), 0);
  // A soft hyphen is ignored by the collator; the bytes still differ.
  const std::string Soft = std::string("a") + '\xAD' + "b";
  EXPECT_NE(CompareListText(Soft, "ab"), 0);
  EXPECT_EQ(CompareListText(Soft, "ab"), -CompareListText("ab", Soft));
}

TEST_F(Commands, ColumnClicksSortAsTheWindowSays) {
  TLocaleScope English(QLocale(QLocale::English, QLocale::UnitedStates));
  struct TCase {
    const char *Name;
    std::vector<int> Clicks;
    std::vector<std::string> Expected;
  } Cases[] = {
      {"price ascending", {4}, {"P3", "P4", "P2", "P1"}},
      {"price twice descends", {4, 4}, {"P1", "P2", "P4", "P3"}},
      {"price three times ascends again", {4, 4, 4}, {"P3", "P4", "P2", "P1"}},
      {"quantity ascending, Call first", {6}, {"P2", "P4", "P3", "P1"}},
      {"first click on part number descends", {0}, {"P4", "P3", "P2", "P1"}},
      {"column 1 after column 0 ascends", {0, 1}, {"P3", "P4", "P1", "P2"}},
      {"column 1 after twice column 0 ascends", {0, 0, 1}, {"P3", "P4", "P1", "P2"}},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    List.ClearItems();
    Add(Row("P1", "1,250.00", "40", "resistor"));
    Add(Row("P2", "999.00", "Call", "transistor"));
    Add(Row("P3", "", "7", "capacitor"));
    Add(Row("P4", "3.50", "0", "Regulator"));
    K->Sort = TColumnSort();
    for (int Column : C.Clicks)
      List.ColClick(Column);
    EXPECT_EQ(Captions(), C.Expected);
    EXPECT_EQ(K->Sort.LastSortedColumn, C.Clicks.back());
  }
}

// Equal keys keep their order in both directions: the sort is stable and the
// comparison says "equal".
TEST_F(Commands, EqualKeysKeepTheirOrder) {
  for (int I = 0; I < 40; ++I)
    Add(Row("R" + kv::IntToStr(I), I % 2 ? "1,000.00" : "5.00", I % 3 ? "Call" : "9"));
  for (int Column : {4, 6}) {
    for (int Direction : {-1, 1}) {
      SCOPED_TRACE(std::to_string(Column) + " " + std::to_string(Direction));
      const std::vector<std::string> Before = Captions();
      SortByColumn(List, Column, Direction);
      // Within each key, the rows come in their order before the sort.
      std::vector<std::string> Seen;
      for (const TReportItem &I : List.Items()) {
        for (const std::string &Earlier : Seen) {
          const TReportItem *E = nullptr;
          for (const TReportItem &J : List.Items())
            if (J.Caption == Earlier)
              E = &J;
          if (ColumnCompare(Column)(*E, I, -1) == 0) {
            const auto PosE = std::find(Before.begin(), Before.end(), Earlier);
            const auto PosI = std::find(Before.begin(), Before.end(), I.Caption);
            EXPECT_LT(PosE, PosI) << Earlier << " / " << I.Caption;
          }
        }
        Seen.push_back(I.Caption);
      }
    }
  }
}

// The key sort gives the order of the plain comparison, in locales where
// plain ASCII texts take our own keys and in those where the collator's keys
// are needed (contractions, or the C locale's code order), and with rows of
// both kinds in one column.
TEST_F(Commands, KeySortMatchesThePlainComparison) {
  struct TCase {
    const char *Name;
    QLocale Locale;
    bool Mixed;
    int OwnKeys;  // 1: our own keys, 0: the collator's, -1: either
  } Cases[] = {
      {"English", QLocale(QLocale::English, QLocale::UnitedStates), false, 1},
      {"English, with accented rows", QLocale(QLocale::English, QLocale::UnitedStates), true, 1},
      {"German", QLocale(QLocale::German, QLocale::Germany), false, 1},
      {"Czech: ch after h", QLocale(QLocale::Czech, QLocale::CzechRepublic), false, 0},
      {"Czech, with accented rows", QLocale(QLocale::Czech, QLocale::CzechRepublic), true, 0},
      {"Danish", QLocale(QLocale::Danish, QLocale::Denmark), true, -1},
      {"C", QLocale::c(), true, 0},
  };
  std::mt19937 Random(7);
  const std::string Alphabet = "aAbBcChHz Z-_.,/09";
  std::vector<std::string> Texts = {"", "Call", "1,250.00", "999.00", "co-op", "coop", "ch", "hz", "CH", "c h"};
  for (int I = 0; I < 300; ++I) {
    std::string T;
    for (size_t L = Random() % 7; L > 0; --L)
      T += Alphabet[Random() % Alphabet.size()];
    Texts.push_back(T);
  }
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    TLocaleScope Scope(C.Locale);
    if (C.OwnKeys >= 0) {
      EXPECT_EQ(AsciiSortKeys(), C.OwnKeys == 1);
    }
    List.ClearItems();
    for (size_t I = 0; I < Texts.size(); ++I) {
      std::string W = Texts[I];
      if (C.Mixed && I % 9 == 0)
        W += I % 2 ? "\xB5" "F" : "\xE9t\xE9";
      Add(Row(W, W, W, W, W, W));
    }
    for (int Column : {0, 1, 4})
      for (int Direction : {-1, 1}) {
        SCOPED_TRACE(std::to_string(Column) + " " + std::to_string(Direction));
        SortByColumn(List, Column, Direction);
        const std::vector<TReportItem> &Items = List.Items();
        int Wrong = 0;
        for (size_t I = 1; I < Items.size(); ++I)
          Wrong += ColumnCompare(Column)(Items[I - 1], Items[I], Direction) > 0;
        EXPECT_EQ(Wrong, 0);
      }
  }
}

// The header shows the direction of the final order; the datasheet column
// gets its sign back when another column is sorted.
TEST_F(Commands, HeaderShowsTheSortAndTheDatasheetSign) {
  Add(Row("B", "1.00"));
  Add(Row("A", "2.00"));
  List.SetHeaderImage(3, HeaderImage::Datasheet);
  List.ColClick(4);
  EXPECT_EQ(List.ColumnHeaderPicture(4).toImage(), List.SortUpGlyph().toImage());
  List.ColClick(4);
  EXPECT_EQ(List.ColumnHeaderPicture(4).toImage(), List.SortDownGlyph().toImage());
  List.ColClick(3);
  EXPECT_TRUE(List.ColumnHeaderPicture(4).isNull());
  EXPECT_EQ(List.ColumnHeaderPicture(3).toImage(), List.SortUpGlyph().toImage());
  List.ColClick(1);
  EXPECT_EQ(List.ColumnHeaderImage(3), HeaderImage::Datasheet);
  EXPECT_EQ(List.ColumnHeaderPicture(1).toImage(), List.SortUpGlyph().toImage());
}

// --- Find -------------------------------------------------------------------

TEST(FindRows, PatternAndNextRow) {
  kv::TReportListView List;
  List.AddColumn("Part Number");
  for (const char *C : {"XAB12", "lm317t", "AB-7712", "abc", "ZABCD", "ABC"}) {
    TReportItem R;
    R.Caption = C;
    List.AddItem(R);
  }
  struct TCase {
    const char *Name, *Text;
    bool WholeWord;
    int Selected, Expected;
  } Cases[] = {
      {"contains, any case, from the first row", "abc", false, -1, 3},
      {"contains, after the selection", "abc", false, 3, 4},
      {"whole word: the whole part number", "abc", true, -1, 3},
      {"whole word skips longer ones", "abc", true, 3, 5},
      {"wildcard whole word", "AB*12", true, -1, 2},
      {"wildcard anywhere", "AB*12", false, -1, 0},
      {"no wrap after the last", "abc", true, 5, -1},
      {"first row examined with no selection", "xab", true, -1, -1},
      {"first row examined, contains", "xab", false, -1, 0},
      {"dots are the wildcard too", "lm..t", true, -1, 1},
      {"nothing matches", "qq", false, -1, -1},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(FindNextRow(List, FindPattern(C.Text, C.WholeWord), C.Selected), C.Expected);
  }
  EXPECT_EQ(FindPattern("ab*c", false), "..AB..C..");
  EXPECT_EQ(FindPattern("ab*c", true), "AB..C");
}

TEST_F(Commands, FindSelectsTheNextMatchAndStopsAtTheEnd) {
  for (const char *C : {"LM317", "NE555", "LM337", "BC547"})
    Add(Row(C));
  K->dlgFind().SetFindText("lm3");
  List.SetSelected(-1);
  K->dlgFindFind();
  EXPECT_EQ(List.Selected(), 0);
  K->dlgFindFind();
  EXPECT_EQ(List.Selected(), 2);
  K->dlgFindFind();
  EXPECT_EQ(List.Selected(), 2);
  EXPECT_TRUE(Boxes.empty());
  // The dialog's button runs the same find.
  List.SetSelected(-1);
  K->dlgFind().btnFind->click();
  EXPECT_EQ(List.Selected(), 0);
}

// --- Copy and opening pages -------------------------------------------------

TEST_F(Commands, CopyPutsTheRowsAddressOnTheClipboard) {
  TItemStore WithPage, WithoutPage;
  WithPage.ProductURL = "http://shop.test/p?id=7";
  WithPage.SiteURL = "http://shop.test/";
  WithoutPage.SiteURL = "http://other.test/";
  Add(Row("A"), WithPage);
  Add(Row("B"), WithoutPage);
  QApplication::clipboard()->setText("before");
  K->mnuCopyClick();
  EXPECT_EQ(QApplication::clipboard()->text(), QString("before"));
  List.SetSelected(0);
  K->mnuCopyClick();
  EXPECT_EQ(QApplication::clipboard()->text(), QString("http://shop.test/p?id=7"));
  List.SetSelected(1);
  K->mnuCopyClick();
  EXPECT_EQ(QApplication::clipboard()->text(), QString("http://other.test/"));
}

TEST_F(Commands, OpeningARowsPage) {
  const std::string Frame = "http://www.korvandel.test/kv_client/results_frameset.asp?url=";
  struct TCase {
    const char *Name;
    std::string ProductURL, SiteURL;
    bool Selected, Answer;
    std::vector<std::string> Opened, Asked;
  } Cases[] = {
      {"product page", "http://shop.test/p?id=7", "http://shop.test/", true, false,
       {Frame + "http%3A%2F%2Fshop.test%2Fp%3Fid=%37"}, {}},
      {"merchant site, confirmed", "", "http://shop.test/", true, true, {Frame + "http%3A%2F%2Fshop.test%2F"},
       {"Beta & Co"}},
      {"merchant site, refused", "", "http://shop.test/", true, false, {}, {"Beta & Co"}},
      {"no row selected", "http://shop.test/p", "", false, true, {}, {}},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    List.ClearItems();
    Opened.clear();
    Asked.clear();
    Answer = C.Answer;
    TItemStore S;
    S.ProductURL = C.ProductURL;
    S.SiteURL = C.SiteURL;
    Add(Row("Other"));
    Add(Row("LM317", "", "", "", "", "Beta & Co"), S);
    List.SetSelected(C.Selected ? 1 : -1);
    K->lstProducts1DblClick();
    EXPECT_EQ(Opened, C.Opened);
    EXPECT_EQ(Asked, C.Asked);
  }
}

TEST_F(Commands, OpeningADatasheet) {
  TItemStore With, Without;
  With.DatasheetURL = "http://maker.test/ds 1.pdf";
  With.ProductURL = "http://shop.test/p";
  Without.ProductURL = "http://shop.test/q";
  Add(Row("A"), With);
  Add(Row("B"), Without);
  K->mnuEditDatasheetClick();
  EXPECT_TRUE(Opened.empty());
  List.SetSelected(1);
  K->mnuEditDatasheetClick();
  EXPECT_TRUE(Opened.empty());
  List.SetSelected(0);
  K->mnuEditDatasheetClick();
  EXPECT_EQ(Opened, std::vector<std::string>{
                        "http://www.korvandel.test/kv_client/results_frameset.asp?url=http%3A%2F%2Fmaker.test%2Fds+%31.pdf"});
}

// A click on a link cell only posts the datasheet message: the page opens
// once the click is over, when the window handles it.
TEST_F(Commands, LinkClickPostsTheDatasheetMessage) {
  TItemStore With;
  With.DatasheetURL = "http://maker.test/ds.pdf";
  Add(Row("A"), With);
  List.SetSelected(0);
  K->lstProducts2ClickURL();
  EXPECT_TRUE(Opened.empty());
  EXPECT_TRUE(Posted.empty());
  kv::ProcessMessages();
  EXPECT_EQ(Posted, std::vector<kv::UINT>{WM_LOADDATASHEET});
  EXPECT_EQ(WM_LOADDATASHEET, 0x52Du);
  K->WMLoadDatasheet();
  EXPECT_EQ(Opened.size(), 1u);
}

// --- Import -------------------------------------------------------------------

TEST(PartNumbersFile, LinesAndPieces) {
  struct TCase {
    const char *Name;
    std::string File, Expected;
  } Cases[] = {
      {"two lines, blanks inside kept", "A1, B2\r\nC3\r\n", "A1, B2,C3"},
      {"LF", "A1, B2\nC3\n", "A1, B2,C3"},
      {"CR", "A1, B2\rC3\r", "A1, B2,C3"},
      {"no final line end", "A1\nC3", "A1,C3"},
      {"empty lines add nothing", "\r\nA1\r\n\r\n  \r\n\tC3\n\n", "A1,C3"},
      {"lines trimmed at their ends only", "  LM 317 ,x  \n", "LM 317 ,x"},
      {"adjacent commas keep an empty entry", "a,,b\n", "a,,b"},
      {"comma ending a line adds nothing", "a,\nb\n", "a,b"},
      {"control bytes trimmed", "\x1a" "a\x01\n", "a"},
      {"empty file", "", ""},
      {"only blank lines", "\n\r\n \r", ""},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(ReadPartNumbers(C.File), C.Expected);
  }
}

TEST_F(Commands, ImportFillsTheSearchBoxOrReportsTheError) {
  const std::string Good = Env / "parts.csv", Folder = Env / "folder.csv", Locked = Env / "locked.csv";
  kvtest::WriteFile(Good, "LM317, NE555\r\n\r\nBC547\r\n");
  kvtest::WriteFile(Locked, "X\n");
  std::filesystem::create_directories(Folder);
  std::filesystem::permissions(Locked, std::filesystem::perms::none);
  const bool CanLock = !QFile(QString::fromStdString(Locked)).open(QIODevice::ReadOnly);
  struct TCase {
    const char *Name;
    std::string File;
    std::string Text;
    bool Error;
  } Cases[] = {
      {"a file", Good, "LM317, NE555,BC547", false},
      {"cancelled", "", "typed", false},
      {"missing file", Env / "missing.csv", "typed", true},
      {"a folder", Folder, "typed", true},
      {"unreadable file", Locked, "typed", CanLock},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    if (std::string(C.Name) == "unreadable file" && !CanLock)
      continue;
    Boxes.clear();
    Search.setEditText("typed");
    ChosenFile = C.File;
    K->mnuFileLoadPartNosClick();
    EXPECT_EQ(kv::ToAnsi(Search.currentText()), C.Text);
    EXPECT_EQ(Boxes, C.Error ? std::vector<std::string>{"Error Reading File!"} : std::vector<std::string>{});
  }
  EXPECT_EQ(Searches, 0);
}

// --- History ------------------------------------------------------------------

std::string Stored(const std::string &Name) {
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_LOCAL_MACHINE);
  if (!Reg.OpenKeyReadOnly(std::string(SettingsKey) + "\\Searches") || !Reg.ValueExists(Name))
    return "<missing>";
  return Reg.ReadString(Name);
}

std::vector<std::string> Items(const QComboBox &Box) {
  std::vector<std::string> R;
  for (int I = 0; I < Box.count(); ++I)
    R.push_back(kv::ToAnsi(Box.itemText(I)));
  return R;
}

TEST_F(Commands, HistoryLoadsAddsAndSaves) {
  WriteSettingString("Searches", "Search0", "LM317");
  WriteSettingString("Searches", "Search1", "");
  WriteSettingString("Searches", "Search2", "BC547");
  WriteSettingString("Searches", "Search3", "NE555");
  WriteSettingString("Searches", "Search20", "beyond");
  K->LoadSearchHistory();
  EXPECT_EQ(Items(Search), (std::vector<std::string>{"LM317", "BC547", "NE555"}));
  EXPECT_TRUE(Search.currentText().isEmpty());

  struct TStep {
    const char *Name, *Typed;
    std::vector<std::string> Expected;
  } Steps[] = {
      {"replaces any letter case", "lm317", {"lm317", "BC547", "NE555"}},
      {"new text first", "TL431", {"TL431", "lm317", "BC547", "NE555"}},
      {"the same again", "tl431", {"tl431", "lm317", "BC547", "NE555"}},
  };
  for (const TStep &S : Steps) {
    SCOPED_TRACE(S.Name);
    Search.setEditText(S.Typed);
    K->AddToSearchHistory();
    EXPECT_EQ(Items(Search), S.Expected);
    EXPECT_EQ(kv::ToAnsi(Search.currentText()), S.Typed);
  }

  // Four items saved over four stored positions (one empty); nothing stale
  // is left to read back as a duplicate.
  K->SaveSearchHistory();
  EXPECT_EQ(Stored("Search0"), "tl431");
  EXPECT_EQ(Stored("Search3"), "NE555");
  EXPECT_EQ(Stored("Search20"), "beyond");
  Search.clear();
  Search.addItem("only");
  K->SaveSearchHistory();
  EXPECT_EQ(Stored("Search0"), "only");
  EXPECT_EQ(Stored("Search1"), "<missing>");
  EXPECT_EQ(Stored("Search3"), "<missing>");
  QComboBox Reloaded;
  Reloaded.setEditable(true);
  ::LoadSearchHistory(Reloaded);
  EXPECT_EQ(Items(Reloaded), std::vector<std::string>{"only"});
}

TEST_F(Commands, HistoryHoldsAtMostTwenty) {
  for (int I = 0; I < 25; ++I) {
    Search.setEditText(QString("T%1").arg(I));
    K->AddToSearchHistory();
  }
  ASSERT_EQ(Search.count(), 20);
  EXPECT_EQ(Search.itemText(0), QString("T24"));
  EXPECT_EQ(Search.itemText(19), QString("T5"));
  K->SaveSearchHistory();
  EXPECT_EQ(Stored("Search19"), "T5");
  EXPECT_EQ(Stored("Search20"), "<missing>");
}

// --- Enter and the search type ------------------------------------------------

TEST_F(Commands, EnterStartsTheSearchOnlyWhileFindIsOn) {
  struct TCase {
    const char *Name;
    bool FindOn;
    char Key;
    int Searches;
    bool Swallowed;
  } Cases[] = {
      {"Enter, Find on", true, '\r', 1, true},
      {"Enter, Find off", false, '\r', 0, true},
      {"another key", true, 'a', 0, false},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    Searches = 0;
    FindEnabled = C.FindOn;
    EXPECT_EQ(K->editSearchKeyPress(C.Key), C.Swallowed);
    EXPECT_EQ(Searches, C.Searches);
  }
  // Typed into the boxes themselves: the box never sees the Enter.
  for (bool FindOn : {true, false}) {
    SCOPED_TRACE(FindOn ? "typed, Find on" : "typed, Find off");
    Searches = 0;
    FindEnabled = FindOn;
    int Returns = 0;
    QMetaObject::Connection C =
        QObject::connect(Search.lineEdit(), &QLineEdit::returnPressed, [&Returns] { ++Returns; });
    QTest::keyClick(Search.lineEdit(), Qt::Key_Return);
    QTest::keyClick(&Type, Qt::Key_Enter);
    QTest::keyClick(&Filter, Qt::Key_Return);
    QObject::disconnect(C);
    EXPECT_EQ(Searches, FindOn ? 3 : 0);
    EXPECT_EQ(Returns, 0);
  }
}

TEST_F(Commands, SearchTypeSwitchesTheMatchBox) {
  Type.setCurrentIndex(1);
  K->cboSearchTypeChange();
  EXPECT_FALSE(Filter.isEnabled());
  Type.setCurrentIndex(0);
  K->cboSearchTypeChange();
  EXPECT_TRUE(Filter.isEnabled());
  EXPECT_EQ(SearchTypes, (std::vector<int>{1, 0}));
}

// --- Drawing ----------------------------------------------------------------

TEST_F(Commands, DrawRulesForEachCell) {
  K->EvenRowColor = kv::RGBColor(0xCC, 0xCC, 0x99);
  List.SetSelectionColor(kv::clHighlight);
  struct TCase {
    const char *Name;
    int Row, SubItem;
    kv::TOwnerDrawState State;
    const char *Text;
    kv::TColor Brush, FontColor;
    bool Bold;
  } Cases[] = {
      {"even row caption", 0, -1, 0, "LM317", kv::RGBColor(0xCC, 0xCC, 0x99), kv::clWindowText, true},
      {"odd row", 1, 0, 0, "desc", kv::clWindow, kv::clWindowText, false},
      {"selected leaves the brush", 2, 0, kv::odSelected, "desc", kv::clRed, kv::clWindowText, false},
      {"stock Y hidden", 0, 4, 0, "Y", kv::RGBColor(0xCC, 0xCC, 0x99), kv::RGBColor(0xCC, 0xCC, 0x99), false},
      {"stock N hidden, odd row", 1, 4, 0, "N", kv::clWindow, kv::clWindow, false},
      {"stock Call shown", 0, 4, 0, "Call", kv::RGBColor(0xCC, 0xCC, 0x99), kv::clWindowText, false},
      {"stock CALL shown", 1, 4, 0, "cAlL", kv::clWindow, kv::clWindowText, false},
      {"stock hidden in a selected row", 3, 4, kv::odSelected, "Y", kv::clRed, kv::clHighlight, false},
      {"other columns keep their text", 0, 5, 0, "Y", kv::RGBColor(0xCC, 0xCC, 0x99), kv::clWindowText, false},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    kv::TBrush Brush{kv::clRed};
    kv::TFont Font;
    K->lstProducts2DrawItemProp(C.Row, C.SubItem, C.State, Brush, Font, C.Text);
    EXPECT_EQ(Brush.Color, C.Brush);
    EXPECT_EQ(Font.Color, C.FontColor);
    EXPECT_EQ((Font.Style & kv::fsBold) != 0, C.Bold);
  }
}

// The rows as drawn: alternate backgrounds, and the stock text seen only for
// "Call".
TEST_F(Commands, DrawnRowsShowTheRules) {
  K->EvenRowColor = kv::RGBColor(0xCC, 0xCC, 0x99);
  List.SetOwnerDraw(true);
  List.SetItemHeight(15);
  List.OnDrawItemProp = [this](kv::TReportListView *, int Item, int SubItem, kv::TOwnerDrawState State,
                               kv::TBrush &Brush, kv::TFont &Font, const std::string &Text) {
    K->lstProducts2DrawItemProp(Item, SubItem, State, Brush, Font, Text);
  };
  List.resize(700, 200);
  for (int C = 0; C < 8; ++C)
    List.SetColumnWidth(C, 80);
  Add(Row("EVEN", "1.00", "5", "d", "YYYY"));
  Add(Row("ODD", "1.00", "Call", "d", "Call"));
  List.show();
  kv::ProcessMessages();
  const QImage Shot = List.viewport()->grab().toImage();
  const QColor Even(0xCC, 0xCC, 0x99), Window = List.palette().color(QPalette::Base);
  auto Count = [&](const kv::TRect &R, auto Pred) {
    int N = 0;
    for (int Y = R.Top + 1; Y < R.Bottom - 1; ++Y)
      for (int X = R.Left + 1; X < R.Right - 1; ++X)
        N += Pred(Shot.pixelColor(X, Y));
    return N;
  };
  auto Dark = [](const QColor &C) { return C.lightness() < 100; };
  const kv::TRect EvenStock = List.GetSubItemRect(0, 5), OddStock = List.GetSubItemRect(1, 5);
  const kv::TRect EvenDesc = List.GetSubItemRect(0, 1), OddDesc = List.GetSubItemRect(1, 1);
  EXPECT_EQ(Shot.pixelColor(EvenDesc.Right - 3, EvenDesc.Top + 2), Even);
  EXPECT_EQ(Shot.pixelColor(OddDesc.Right - 3, OddDesc.Top + 2), Window);
  EXPECT_EQ(Count(EvenStock, Dark), 0);
  EXPECT_GT(Count(OddStock, Dark), 5);
  // The caption is bold: more ink than the same text drawn plain.
  const kv::TRect Caption = List.GetSubItemRect(0, 0);
  QFont Plain = List.font(), Bold = List.font();
  Bold.setBold(true);
  EXPECT_GT(QFontMetrics(Bold).horizontalAdvance("EVEN"), QFontMetrics(Plain).horizontalAdvance("EVEN"));
  int Right = Caption.Left;
  for (int X = Caption.Left; X < Caption.Right; ++X)
    for (int Y = Caption.Top; Y < Caption.Bottom; ++Y)
      if (Dark(Shot.pixelColor(X, Y)))
        Right = X;
  EXPECT_GE(Right - Caption.Left, QFontMetrics(Bold).horizontalAdvance("EVEN") - 3);
}

// --- Layout -------------------------------------------------------------------

// Columns the font needs wider are: the last column of a proportional
// layout gives up what they take.
TEST(ColumnLayout, FixedBelow640ProportionalFrom640) {
  const std::array<int, 8> Numbers{0, 0, 0, 0, 76, 40, 69, 0};
  struct TCase {
    const char *Name;
    int FormWidth, ClientWidth;
    std::array<int, 8> Least;
    std::array<int, 8> Expected;
  } Cases[] = {
      {"639", 639, 600, {}, {115, 160, 80, 75, 60, 55, 55, 83}},
      {"narrow", 300, 280, {}, {115, 160, 80, 75, 60, 55, 55, 83}},
      {"640", 640, 620, {}, {114, 137, 88, 75, 60, 55, 55, 36}},
      {"1280", 1280, 1256, {}, {232, 279, 179, 75, 60, 55, 55, 321}},
      {"639, numbers wider", 639, 600, Numbers, {115, 160, 80, 75, 76, 55, 69, 83}},
      {"1280, numbers wider", 1280, 1256, Numbers, {232, 279, 179, 75, 76, 55, 69, 291}},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(ColumnWidths(C.FormWidth, C.ClientWidth, C.Least), C.Expected);
  }
}

TEST_F(Commands, ResizedDatasheetColumnGoesBackToItsSign) {
  List.SetColumnWidth(3, 75);
  List.SetColumnWidth(2, 90);
  List.SetHeaderImage(3, -1);
  K->lstProducts2ColumnSized(2);
  EXPECT_EQ(List.ColumnWidth(2), 90);
  EXPECT_EQ(List.ColumnHeaderImage(3), -1);
  K->lstProducts2ColumnSized(3);
  EXPECT_EQ(List.ColumnWidth(3), 20);
  EXPECT_EQ(List.ColumnHeaderImage(3), HeaderImage::Datasheet);
}

// --- Hover hint ---------------------------------------------------------------

TEST_F(Commands, HintShowsAfterItsTimerAndHidesWhenTheMouseLeaves) {
  TfrmHint Hint;
  K->Hint = &Hint;
  List.resize(400, 300);
  List.move(50, 60);
  List.show();
  kv::ProcessMessages();
  Hint.lblHint->setText("LONG-PART");
  Hint.move(-500, 120);
  Hint.TargetLeft = 70;
  timHintShow.start(1500);
  K->timHintShowTimer();
  EXPECT_FALSE(timHintShow.isActive());
  EXPECT_EQ(Hint.x(), 70);
  EXPECT_TRUE(Hint.isVisible());

  struct TCase {
    const char *Name;
    QPoint Local;
    bool Hidden;
  } Cases[] = {
      {"inside", {10, 10}, false},  {"right edge", {400, 10}, false}, {"left of it", {-1, 10}, true},
      {"below it", {10, 301}, true}, {"above it", {10, -1}, true},     {"right of it", {401, 10}, true},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    Hint.move(70, 120);
    Hint.TargetLeft = 70;
    K->timHintTimer(List.mapToGlobal(C.Local));
    EXPECT_EQ(Hint.x(), C.Hidden ? -500 : 70);
    EXPECT_EQ(Hint.TargetLeft, C.Hidden ? -500 : 70);
  }
  // Moving over the search label hides it at once.
  Hint.move(70, 120);
  Hint.TargetLeft = 70;
  SearchFor.show();
  QMouseEvent Move(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&SearchFor, &Move);
  EXPECT_EQ(Hint.x(), -500);
  EXPECT_EQ(Hint.TargetLeft, -500);
}

// --- Browser icon -----------------------------------------------------------------

void WriteClass(const std::string &Key, const std::string &Value) {
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_CLASSES_ROOT);
  ASSERT_TRUE(Reg.OpenKey(Key, true));
  Reg.WriteString("", Value);
}

QImage Picture(QColor Colour, const std::string &File) {
  QImage I(16, 16, QImage::Format_ARGB32);
  I.fill(Colour);
  std::filesystem::create_directories(std::filesystem::path(File).parent_path());
  EXPECT_TRUE(I.save(QString::fromStdString(File), "PNG"));
  return I;
}

TEST_F(Commands, BrowserIconReplacesTheRowImage) {
  const QImage Own = Pictures.ilstSmallIcons.Image(ListImage::RowWithPage).toImage();
  const int Count = Pictures.ilstSmallIcons.Count();
  const std::string DriveC = std::getenv("KORVANDEL_DRIVE_C");
  struct TCase {
    const char *Name;
    bool Registered;
    std::string Command;
    QColor Expected;  // invalid: the list's own picture stays
  } Cases[] = {
      {"nothing found", false, "", QColor()},
      {"the HTM file type's icon", true, "", QColor(Qt::red)},
      {"the browser program's icon", false, "\"C:\\Browser\\VIEWER.PNG\" -h \"%1\"", QColor(Qt::blue)},
      {"a browser without an icon", false, "\"C:\\Browser\\NOWHERE.EXE\" %1", QColor()},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    Pictures.ilstSmallIcons.Delete(ListImage::RowWithPage);
    Pictures.ilstSmallIcons.Insert(ListImage::RowWithPage, QPixmap::fromImage(Own));
    if (C.Registered) {
      Picture(Qt::red, Env / "icons/page.png");
      WriteClass("\\.htm", "htmlfile");
      WriteClass("\\htmlfile\\DefaultIcon", (Env / "icons/page.png") + ",0");
    }
    Picture(Qt::blue, DriveC + "/Browser/viewer.png");
    BrowserCommand = C.Command;
    K->LoadBrowserIcon();
    EXPECT_EQ(Pictures.ilstSmallIcons.Count(), Count);
    const QImage Small = Pictures.ilstSmallIcons.Image(ListImage::RowWithPage).toImage();
    const QImage Large = Pictures.ilstLargeIcons.Image(ListImage::RowWithPage).toImage();
    if (C.Expected.isValid()) {
      EXPECT_EQ(Small.pixelColor(8, 8), C.Expected);
      EXPECT_EQ(Large.pixelColor(16, 16), C.Expected);
      EXPECT_EQ(Large.size(), QSize(32, 32));
    } else {
      EXPECT_EQ(Small, Own);
    }
    kv::TRegistry Reg;
    Reg.SetRootKey(kv::HKEY_CLASSES_ROOT);
    Reg.DeleteKey("\\.htm");
  }
}

}  // namespace
