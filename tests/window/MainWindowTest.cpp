// The main window under the offscreen platform (and, for its place on the
// screen, on X servers of its own), bound to the real catalogue
// over fixture site libraries.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QWidgetItem>
#include <QWindow>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "client/search/uSearch.h"
#include "client/server/uAdverts.h"
#include "client/server/uServer.h"
#include "client/settings/uSettings.h"
#include "client/settings/uUserDetails.h"
#include "client/uApplication.h"
#include "client/uAutomation.h"
#include "client/uCatalogue.h"
#include "client/window/uCommands.h"
#include "client/window/uFindDialog.h"
#include "client/window/uFontFit.h"
#include "client/window/uHints.h"
#include "client/window/uListPictures.h"
#include "client/window/uproof.h"
#include "client/window/usplash.h"
#include "components/GIFImage.h"
#include "components/replistv.h"
#include "net/cTambSoc.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/TextRecorder.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/WindowSearch.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/SessionBus.h"

namespace {

using namespace clienttest;

// Records what the window asks of the animation server.
struct TAnimatorLog {
  std::vector<std::string> Statuses;
  int Parents = 0;
};
TAnimatorLog AnimatorLog;
class TRecordingAnimator : public IAnimator {
public:
  void Start() override {}
  void Stop() override {}
  void SetAnimateParent(WId) override { ++AnimatorLog.Parents; }
  void DisplayStatus(const std::string &Text, bool) override { AnimatorLog.Statuses.push_back(Text); }
  void SetStatusParent(WId) override { ++AnimatorLog.Parents; }
};

class MainWindow : public ::testing::Test {
protected:
  void SetUp() override {
    ResetTerminateRequest();
    AnimatorLog = {};
    AddFixtureSite(kv::GetCurrentDir() + "/Lib", "A1", "Alpha");
    AddFixtureSite(kv::GetCurrentDir() + "/Lib", "B2", "Beta & Co");
    StartFromProgramFolder(Env);
    RecordMessageBoxes(Boxes);
  }
  void TearDown() override {
    delete Main;
    SetAnimatorFactory({});
    kv::SetMessageBoxHook({});
    StopUsingProgramFolder();
  }
  void Create() {
    Main = new TfrmMain();
    ASSERT_TRUE(Main->Created) << CatalogueBindError;
  }
  // Creates the window and shows it past the start-up check; without stored
  // details the logon ends at once. Width 0 keeps the window's own size.
  void CreateShown(int Width = 0) {
    Create();
    Main->Server->Connected = true;
    if (Width > 0)
      Main->resize(Width, 600);
    Main->show();
    kv::ProcessMessages();
  }
  // In a child process of NumbersHeadingsAndStatusShowWhole.
  void ShowsWholeOnThisDesktop(const char *WorldName);
  // In a child process of FitsTheScreenAndKeepsTheSizeGiven.
  void FitsOnThisScreen();

  kvtest::IsolatedEnv Env;
  std::vector<std::string> Boxes;
  TfrmMain *Main = nullptr;
};

TEST_F(MainWindow, ComesUpWithTheScanOfTheSites) {
  SeedString("Searches", "Search0", "LM317");
  SeedString("Searches", "Search1", "");
  SeedString("Searches", "Search2", "BC547");
  frmSplash = new TfrmSplash();
  frmSplash->show();
  Create();
  EXPECT_EQ(frmSplash->pbDlls->maximum(), 2);
  EXPECT_EQ(frmSplash->lblRegister->text(), QString(" Beta & Co"));
  delete frmSplash;
  frmSplash = nullptr;

  EXPECT_EQ(Catalogue.GetNumberSites(), 2);
  ASSERT_GE(Main->cboCategory->count(), 1);
  EXPECT_EQ(Main->cboCategory->itemText(0), QString("(All Categories)"));
  EXPECT_EQ(Main->cboCategory->currentIndex(), 0);
  // No logon reply yet: no site is enabled.
  EXPECT_EQ(Main->Settings.SiteEnabled, (std::vector<int>{0, 0}));
  EXPECT_EQ(Main->Settings.MaxResults, 400);
  EXPECT_EQ(Main->lblTip->text(), QString(DefaultTip));
  EXPECT_EQ(Main->editSearch->count(), 2);
  EXPECT_EQ(Main->editSearch->itemText(1), QString("BC547"));
  EXPECT_FALSE(Main->ButtonEnabled(4));
  EXPECT_FALSE(Main->ButtonEnabled(1));
  EXPECT_FALSE(Main->ButtonEnabled(2));
  EXPECT_TRUE(Main->ButtonEnabled(3));
  EXPECT_EQ(Main->cboSearchType->currentIndex(), 0);
  EXPECT_EQ(Main->cboFilter->currentIndex(), 2);
  EXPECT_EQ(Main->Commands->EvenRowColor, kv::RGBColor(0xCC, 0xCC, 0x99));
  EXPECT_EQ(Main->lstProducts->ColumnCount(), 8);
  EXPECT_EQ(Main->lstProducts->ColumnCaption(7), "Supplier");
  EXPECT_TRUE(Main->lstProducts->isVisibleTo(Main));
  EXPECT_FALSE(Main->Memo1->isVisibleTo(Main));
  ASSERT_TRUE(Main->Search);
  EXPECT_EQ(Main->Search->SitePool.size(), 32u);
  EXPECT_GT(Main->gifCart->FrameCount(), 1);
  EXPECT_GT(Main->Adverts->gifBanner1->FrameCount(), 0);
  EXPECT_TRUE(Main->Adverts->gifBanner2->Animate());
  EXPECT_TRUE(Main->timStatus->isActive());
  // The time-out timer waits for a conversation to start it.
  EXPECT_FALSE(Main->timTimeOut->isActive());
  EXPECT_EQ(Main->frmHint->x(), -500);
  EXPECT_TRUE(Boxes.empty());
}

// The debug memo goes to "c:\temp\tamble.txt" when a search finishes, in
// debug mode only; a missing folder is reported, not thrown through the search.
TEST_F(MainWindow, DebugMemoSavedWhenTheSearchFinishes) {
  const std::string Folder = std::string(getenv("KORVANDEL_DRIVE_C")) + "/temp";
  const std::string File = Folder + "/tamble.txt";
  struct TCase {
    const char *Name;
    bool Debug, FolderExists;
    bool FileWritten, Reported;
  };
  for (const TCase &C : {TCase{"debug", true, true, true, false}, TCase{"no debug", false, true, false, false},
                         TCase{"debug, no folder", true, false, false, true}}) {
    SCOPED_TRACE(C.Name);
    std::filesystem::remove_all(Folder);
    if (C.FolderExists)
      std::filesystem::create_directories(Folder);
    Boxes.clear();
    CommandLineArguments() = C.Debug ? std::vector<std::string>{"QZDEBUG", "QZBOOTSTRAPPED"}
                                     : std::vector<std::string>{"QZBOOTSTRAPPED"};
    Create();
    Main->Memo1->setPlainText("GET /a HTTP/1.0\nreply line");
    EXPECT_NO_THROW(Main->Search->FinishSearch());
    EXPECT_EQ(std::filesystem::exists(File), C.FileWritten);
    if (C.FileWritten) {
      std::ifstream In(File, std::ios::binary);
      const std::string Text((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
      EXPECT_EQ(Text, "GET /a HTTP/1.0\r\nreply line\r\n");
    }
    EXPECT_EQ(!Boxes.empty(), C.Reported);
    delete Main;
    Main = nullptr;
  }
}

// Rows and header carry their pictures: the stock column's tick is drawn,
// the datasheet column has its header sign, a sorted column its glyph.
TEST_F(MainWindow, ResultListShowsItsPictures) {
  CreateShown(900);
  auto *List = Main->lstProducts;
  ASSERT_EQ(List->SmallImages(), &Main->ListPictures->ilstSmallIcons);
  EXPECT_GE(List->SmallImages()->Count(), ListImage::Cell + 1);
  EXPECT_FALSE(List->ColumnHeaderPicture(3).isNull());
  EXPECT_TRUE(List->ColumnHeaderPicture(0).isNull());

  kv::TReportItem Row;
  Row.Caption = "LM317T";
  Row.SubItems = {"Regulator", "ST", "", "1.00", "Y", "10", "Alpha"};
  const int Index = List->AddItem(Row);
  for (int S = 0; S < 7; ++S)
    List->SetSubItemImage(Index, S, ListImage::Cell);
  List->SetSubItemImage(Index, 4, ListImage::InStock);
  List->SetItemImage(Index, ListImage::RowWithPage);
  kv::ProcessMessages();
  const kv::TRect Stock = List->GetSubItemRect(Index, 5);
  const QImage Shot = List->viewport()->grab().toImage();
  // The tick is green; nothing else in the row is.
  int Green = 0;
  for (int Y = Stock.Top; Y < Stock.Bottom; ++Y)
    for (int X = Stock.Left - 16; X < Stock.Left; ++X) {
      const QColor C = Shot.pixelColor(X, Y);
      Green += C.green() > 100 && C.red() < 80 && C.blue() < 80;
    }
  EXPECT_GT(Green, 4);

  List->ColClick(1);
  EXPECT_FALSE(List->ColumnHeaderPicture(1).isNull());
}

// The fonts a desktop offers: those installed here, or only some of them.
struct TFontWorld {
  const char *Name;
  const char *Folder;                 // nullptr: the installed fonts as they are
  std::vector<const char *> Files;    // of Folder, the only fonts offered
  std::vector<const char *> Families; // what the font database then holds, bar generic names
};
const std::vector<TFontWorld> &FontWorlds() {
  static const std::vector<TFontWorld> Worlds = {
      {"installed", nullptr, {}, {}},
      // fonts-dejavu-core alone: no condensed or narrow family.
      {"DejaVu only",
       "/usr/share/fonts/truetype/dejavu",
       {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf",
        "DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf"},
       {"DejaVu Sans", "DejaVu Sans Mono", "DejaVu Serif"}},
      // As fonts-liberation2 alone: Liberation Sans without its Narrow.
      {"Liberation without Narrow",
       "/usr/share/fonts/truetype/liberation",
       {"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf", "LiberationSerif-Regular.ttf",
        "LiberationSerif-Bold.ttf", "LiberationMono-Regular.ttf", "LiberationMono-Bold.ttf"},
       {"Liberation Mono", "Liberation Sans", "Liberation Serif"}},
  };
  return Worlds;
}
// Set in a child process: the font world it runs in, and where it saves a
// picture of its window (for looking at, not checked).
constexpr char FontWorldVariable[] = "KVTEST_FONT_WORLD";
constexpr char ShotVariable[] = "KVTEST_SHOT";

// The fontconfig setup of a desktop that has only World's fonts, in Folder.
std::string OfferOnly(const TFontWorld &World, const std::string &Folder) {
  std::filesystem::create_directories(Folder + "/fonts");
  for (const char *File : World.Files) {
    const std::string Font = std::string(World.Folder) + "/" + File;
    EXPECT_TRUE(std::filesystem::exists(Font)) << Font << ": the setup installs it";
    std::filesystem::create_symlink(Font, Folder + "/fonts/" + File);
  }
  const std::string Config = Folder + "/fonts.conf";
  kvtest::WriteFile(Config,
                    "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                    "<fontconfig>\n  <include ignore_missing=\"yes\">/etc/fonts/conf.d</include>\n"
                    "  <dir>" +
                        Folder + "/fonts</dir>\n</fontconfig>\n");
  return Config;
}

// What the window draws on this desktop: every price and quantity of up to
// seven digits whole in its cell at 8 points or more, as the list's row plan
// shows it; every heading whole, sorted or not; the longest status text
// whole in its panel.
void MainWindow::ShowsWholeOnThisDesktop(const char *WorldName) {
  const auto World = std::find_if(FontWorlds().begin(), FontWorlds().end(),
                                  [&](const TFontWorld &W) { return std::string(W.Name) == WorldName; });
  ASSERT_NE(World, FontWorlds().end()) << WorldName;
  if (World->Folder) {
    // Beside the generic names fontconfig gives its families.
    std::set<std::string> Offered;
    for (const QString &Family : QFontDatabase::families())
      if (Family != "Sans Serif" && Family != "Serif" && Family != "Monospace")
        Offered.insert(Family.toStdString());
    ASSERT_EQ(Offered, std::set<std::string>(World->Families.begin(), World->Families.end()));
  }
  CreateShown(QGuiApplication::primaryScreen()->geometry().width());
  auto *List = Main->lstProducts;
  kv::TReportItem Row;
  Row.Caption = "LM317T";
  Row.ImageIndex = ListImage::RowWithPage;
  for (const auto &[Price, Stock, Quantity] :
       std::vector<std::array<std::string, 3>>{{"1,234.50", "Y", "1200"},
                                               {"88,888.88", "Call", "8888888"},
                                               {"99,999.99", "Y", "9999999"},
                                               {"12,345.67", "N", "1234567"},
                                               {"0.01", "Y", "Call"}}) {
    Row.SubItems = {"Regulator", "ST", "", Price, Stock, Quantity, "Alpha"};
    Row.SubItemImages.assign(7, ListImage::Cell);
    Row.SubItemImages[4] = Stock == "Y"      ? ListImage::InStock
                           : Stock == "Call" ? ListImage::Call
                                             : ListImage::NotInStock;
    List->AddItem(Row);
  }
  kv::ProcessMessages();
  for (int Index = 0; Index < List->ItemCount(); ++Index) {
    const kv::TRect RowRect{0, 0, List->viewport()->width(), List->ItemHeight()};
    for (const kv::TCellPlan &Cell : List->RowPlan(Index, RowRect, 0)) {
      if (Cell.Column < 3 || Cell.Column == 7)
        continue;
      const QFontInfo Font(kv::ToQFont(Cell.Font, List->font()));
      EXPECT_EQ(List->DrawnText(Cell).toStdString(), kv::FromAnsi(Cell.Shown).toStdString())
          << "row " << Index << " column " << Cell.Column << " in " << Cell.TextRect.Width() << " pixels, "
          << Font.family().toStdString() << " " << Font.pointSize();
      EXPECT_GE(Font.pointSize(), 8) << Font.family().toStdString();
    }
  }
  if (const char *Shot = getenv(ShotVariable)) {
    EXPECT_TRUE(Main->grab().save(Shot)) << Shot;
  }

  // Each heading as the header paints it, scrolled into view.
  QHeaderView *Header = List->header();
  const auto HeadingsWhole = [&](const std::string &State) {
    for (int Col = 0; Col < List->ColumnCount(); ++Col) {
      List->horizontalScrollBar()->setValue(Header->sectionPosition(Col));
      kv::TTextRecorder Drawn(Header->size());
      Header->render(&Drawn);
      const int Left = Header->sectionViewportPosition(Col);
      EXPECT_TRUE(
          Drawn.ShowsWhole(kv::FromAnsi(List->ColumnCaption(Col)), Left, Left + Header->sectionSize(Col)))
          << List->ColumnCaption(Col) << " " << State << ": \""
          << Drawn.Text(Left, Left + Header->sectionSize(Col)).toStdString() << "\" in "
          << Header->sectionSize(Col) << " pixels, " << QFontInfo(Header->font()).family().toStdString()
          << " " << Header->font().pointSize();
    }
    List->horizontalScrollBar()->setValue(0);
  };
  HeadingsWhole("unsorted");
  for (int Col = 0; Col < List->ColumnCount(); ++Col) {
    List->ColClick(Col);
    HeadingsWhole("sorted by " + List->ColumnCaption(Col));
  }

  const QString Longest = "Clicking on the Column Headings will sort your results!";
  Main->SetSearchStatus(kv::ToAnsi(Longest));
  kv::TTextRecorder Drawn(Main->sbPanel0->size());
  Main->sbPanel0->render(&Drawn);
  const QRect Room = Main->sbPanel0->contentsRect();
  EXPECT_TRUE(Drawn.ShowsWhole(Longest, Room.left(), Room.left() + Room.width()))
      << "\"" << Drawn.Text().toStdString() << "\" in " << Room.width() << " pixels";
}

// Runs the current test again in a child process with Environment (the
// test's own selection and output settings left out).
std::unique_ptr<QProcess> RunThisTestIn(QProcessEnvironment Environment) {
  const testing::TestInfo *Self = testing::UnitTest::GetInstance()->current_test_info();
  const QString Filter = QString("--gtest_filter=%1.%2").arg(Self->test_suite_name(), Self->name());
  for (const char *Name : {"GTEST_OUTPUT", "GTEST_FILTER", "GTEST_SHARD_INDEX", "GTEST_TOTAL_SHARDS"})
    Environment.remove(Name);
  auto Child = std::make_unique<QProcess>();
  Child->setProcessEnvironment(Environment);
  Child->setProcessChannelMode(QProcess::MergedChannels);
  Child->start(QCoreApplication::applicationFilePath(), {Filter});
  return Child;
}

// The child's tests passed; its output otherwise.
void ExpectPassed(QProcess &Child) {
  ASSERT_TRUE(Child.waitForFinished(80000)) << Child.readAll().toStdString();
  EXPECT_TRUE(Child.exitStatus() == QProcess::NormalExit && Child.exitCode() == 0) << Child.readAll().toStdString();
}

// On desktops 1280 and 639 pixels wide (either column layout), with the fonts
// installed here or with only some of them, the window shows its numbers,
// headings and status whole. A font world is fixed when the font database
// starts, so each desktop runs in a child process of this test.
TEST_F(MainWindow, NumbersHeadingsAndStatusShowWhole) {
  if (const char *World = getenv(FontWorldVariable)) {
    ShowsWholeOnThisDesktop(World);
    return;
  }
  struct TDesktop {
    std::string Name;
    std::unique_ptr<QProcess> Child;
  };
  std::vector<TDesktop> Desktops;
  for (const int Width : {1280, 639})
    for (const TFontWorld &World : FontWorlds()) {
      TDesktop D{std::to_string(Width) + " pixels, " + World.Name, nullptr};
      const std::string Folder = Env / ("desktop-" + std::to_string(Desktops.size()));
      std::filesystem::create_directories(Folder);
      const std::string Screen = Folder + "/screen.json";
      kvtest::WriteFile(Screen, "{\"screens\": [{\"name\": \"desktop\", \"x\": 0, \"y\": 0, \"width\": " +
                                    std::to_string(Width) + ", \"height\": 800, \"logicalDpi\": 96}]}\n");
      QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
      Environment.insert("QT_QPA_PLATFORM", QString::fromStdString("offscreen:configfile=" + Screen));
      Environment.insert(FontWorldVariable, World.Name);
      if (World.Folder)
        Environment.insert("FONTCONFIG_FILE", QString::fromStdString(OfferOnly(World, Folder)));
      D.Child = RunThisTestIn(Environment);
      Desktops.push_back(std::move(D));
    }
  for (TDesktop &D : Desktops) {
    SCOPED_TRACE(D.Name);
    ExpectPassed(*D.Child);
  }
}

// Set in a child process: the screen it runs on, as a name for the reports.
constexpr char ScreenVariable[] = "KVTEST_SCREEN";

// X's own view of a top-level window: its place on the root window and its
// size, in the screen's pixels.
QRect XGeometry(QWidget &Window) {
  auto *X11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (QGuiApplication::platformName() != "xcb" || !X11 || !X11->connection())
    return {};
  xcb_connection_t *C = X11->connection();
  const auto Id = xcb_window_t(Window.winId());
  xcb_get_geometry_reply_t *G = xcb_get_geometry_reply(C, xcb_get_geometry(C, Id), nullptr);
  if (!G)
    return {};
  xcb_translate_coordinates_reply_t *T =
      xcb_translate_coordinates_reply(C, xcb_translate_coordinates(C, Id, G->root, 0, 0), nullptr);
  const QRect R(T ? T->dst_x : G->x, T ? T->dst_y : G->y, G->width, G->height);
  free(T);
  free(G);
  return R;
}

// Lets the layouts and the X server settle what the last steps asked: every
// posted event runs, X answers a round trip, and what it sent back runs.
void Settle(QWidget &Window) {
  for (int Round = 0; Round < 3; ++Round) {
    kv::ProcessMessages();
    XGeometry(Window);
  }
  kv::ProcessMessages();
}

// The width a control needs to show its content whole, as a plain control of
// its kind with the same content asks for it.
int WidthNeeded(QWidget &W) {
  if (auto *B = qobject_cast<QToolButton *>(&W)) {
    QToolButton Probe;
    Probe.setFont(B->font());
    Probe.setToolButtonStyle(B->toolButtonStyle());
    Probe.setText(B->text());
    return Probe.sizeHint().width();
  }
  if (auto *Box = qobject_cast<QComboBox *>(&W)) {
    QComboBox Probe;
    Probe.setFont(Box->font());
    Probe.setEditable(Box->isEditable());
    for (int I = 0; I < Box->count(); ++I)
      Probe.addItem(Box->itemText(I));
    if (Box->isEditable()) {
      Probe.addItem(Box->currentText());
      Probe.setEditText(Box->currentText());
    }
    Probe.setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return Probe.sizeHint().width();
  }
  if (auto *L = qobject_cast<QLabel *>(&W)) {
    QLabel Probe(L->text());
    Probe.setFont(L->font());
    // A mnemonic shows underlined, not as "&".
    Probe.setBuddy(L->buddy());
    return Probe.sizeHint().width();
  }
  return 0;
}

// Where the window stands on this screen, in its own (logical) pixels and as
// X has it, and every control of the toolbar and the search row on the
// screen and whole.
void ExpectPlacedAt(TfrmMain &Main, const QRect &Expected, const std::string &When) {
  SCOPED_TRACE(When);
  Settle(Main);
  EXPECT_EQ(Main.geometry(), Expected);
  EXPECT_EQ(Main.frameGeometry(), Expected);
  const qreal Scale = Main.devicePixelRatioF();
  const QRect InX = XGeometry(Main);
  EXPECT_EQ(InX, QRect(qRound(Expected.x() * Scale), qRound(Expected.y() * Scale), qRound(Expected.width() * Scale),
                       qRound(Expected.height() * Scale)));
  const QRect Screen = QGuiApplication::primaryScreen()->geometry();
  for (QWidget *W : std::initializer_list<QWidget *>{
           Main.btnLoad, Main.btnSave, Main.btnPrint, Main.btnOptions, Main.btnFindNow, Main.btnStop,
           Main.btnNewSearch, Main.btnShortages, Main.lblTip, Main.pnlCart, Main.pnlKVLogo, Main.lblSearchFor,
           Main.editSearch, Main.cboSearchType, Main.cboFilter, Main.cboCategory}) {
    const QRect Global(W->mapToGlobal(QPoint(0, 0)), W->size());
    EXPECT_TRUE(W->isVisible()) << W->objectName().toStdString();
    EXPECT_TRUE(Screen.contains(Global) && Main.geometry().contains(Global))
        << W->objectName().toStdString() << " at " << Global.x() << "," << Global.y() << " " << Global.width()
        << "x" << Global.height() << " on a screen " << Screen.width() << "x" << Screen.height();
    // The tip shows what fits of it.
    if (W != Main.lblTip) {
      EXPECT_GE(W->width(), WidthNeeded(*W)) << W->objectName().toStdString() << " \""
                                             << W->property("text").toString().toStdString() << "\"";
    }
  }
  // The panels lent to the animation server are windows of their own in X:
  // they stand where their panels are.
  for (QWidget *Panel : {Main.pnlCart, Main.pnlStatus}) {
    if (!Panel->internalWinId())
      continue;
    const QPoint At = Panel->mapTo(&Main, QPoint(0, 0));
    EXPECT_EQ(XGeometry(*Panel).topLeft() - InX.topLeft(), QPoint(qRound(At.x() * Scale), qRound(At.y() * Scale)))
        << Panel->objectName().toStdString();
  }
  // The tip ends where the cart begins.
  EXPECT_LE(Main.lblTip->mapTo(&Main, QPoint(Main.lblTip->width(), 0)).x(),
            Main.pnlCart->mapTo(&Main, QPoint(0, 0)).x());
}

// In a child process of FitsTheScreenAndKeepsTheSizeGiven, on its screen.
void MainWindow::FitsOnThisScreen() {
  // Shops that answer every request with an empty page; the maker's server
  // accepts the logon and answers everything else with nothing.
  kvtest::TLoopbackServer Shops(kvtest::HttpReply("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html></html>"));
  kvtest::TLoopbackServer Maker(kvtest::HttpReply("HTTP/1.0 200 OK\r\n\r\n"));
  Maker.Queue(kvtest::HttpReply("HTTP/1.0 200 OK\r\n\r\n<OsTransmission><KvFeatures>Search</KvFeatures></OsTransmission>"));
  WriteUserDetails("C1001", "pw");
  for (const char *Site : {"A1", "B2"}) {
    const std::string Cfg = kv::GetCurrentDir() + "/Lib/" + Site + ".cfg";
    kvtest::WriteFile(Cfg, kvtest::ReadFile(Cfg) + "Statement=GET /{search}\n");
  }
  setenv("KORVANDEL_HOSTS", ("x.test=127.0.0.1:" + Shops.PortText()).c_str(), 1);
  setenv("KORVANDEL_SERVER", ("127.0.0.1:" + Maker.PortText()).c_str(), 1);
  const QRect Screen = QGuiApplication::primaryScreen()->geometry();
  const QRect Placed(0, 0, Screen.width(), Screen.height() - 30);

  // Panels for the animation server's windows, as with the server running.
  SetAnimatorFactory([](const std::string &) -> std::unique_ptr<IAnimator> {
    return std::make_unique<TRecordingAnimator>();
  });
  // As the program starts: the splash form shows while the window is made.
  frmSplash = new TfrmSplash();
  frmSplash->show();
  kv::ProcessMessages();
  Create();
  delete frmSplash;
  frmSplash = nullptr;
  Main->Server->Connected = true;
  Main->show();
  ASSERT_TRUE(kv::WaitUntil([&] { return Main->windowHandle() && Main->windowHandle()->isExposed(); }, 20000));
  ASSERT_EQ(AnimatorLog.Parents, 2);
  EXPECT_TRUE(Main->windowState() & Qt::WindowMaximized);
  ExpectPlacedAt(*Main, Placed, "at start");
  Main->timStatus->stop();
  for (int Change = 1; Change <= 2; ++Change) {
    for (int Tick = 0; Tick < 30; ++Tick)
      Main->timStatusTimer();
    ExpectPlacedAt(*Main, Placed, "after tip change " + std::to_string(Change) + ": " +
                                      Main->lblTip->text().toStdString());
  }

  // The user makes it 800 wide; a search leaves it so.
  Main->resize(800, Main->height());
  const QRect Given(0, 0, 800, Placed.height());
  ExpectPlacedAt(*Main, Given, "made 800 wide");
  Main->editSearch->setEditText("LM317, NE555");
  // Find is off while the start-up's logon runs.
  ASSERT_TRUE(kv::WaitUntil([&] { return Main->ButtonEnabled(3); }, 20000));
  Main->btnFindNowClick();
  ASSERT_TRUE(Main->Search->Searching());
  ASSERT_TRUE(kv::WaitUntil([&] { return !Main->Search->Searching(); }, 30000));
  ExpectPlacedAt(*Main, Given, "after a search: " + Main->lblSearchInfo->text().toStdString() + " / " +
                                   Main->lblSearchCount->text().toStdString());

  // As narrow as the list's fixed column widths want it.
  Main->resize(639, Main->height());
  Settle(*Main);
  EXPECT_EQ(Main->width(), 639);
  EXPECT_EQ(XGeometry(*Main).width(), qRound(639 * Main->devicePixelRatioF()));
  if (const char *Shot = getenv(ShotVariable)) {
    EXPECT_TRUE(Main->grab().save(Shot)) << Shot;
  }
}

// On screens of 1280x800, 1024x768 and 800x600, and of 1280x800 at a scale
// of 1.5, the window opens where start-up puts it and stays so while its tip
// changes; a width the user gives it lasts through a search; it can be made
// narrower than 640; the toolbar and search row show every control whole.
// Each screen is an X server of its own, and the window runs in a child
// process there (no window manager: the window's own size is what X shows).
TEST_F(MainWindow, FitsTheScreenAndKeepsTheSizeGiven) {
  if (getenv(ScreenVariable)) {
    FitsOnThisScreen();
    return;
  }
  struct TScreen {
    const char *Name, *Size, *Scale;
    std::unique_ptr<kvtest::VirtualDisplay> Display;
    std::unique_ptr<QProcess> Child;
  };
  std::vector<TScreen> Screens;
  for (const auto &[Name, Size, Scale] : std::vector<std::array<const char *, 3>>{
           {"1280x800", "1280x800", "1"},
           {"1024x768", "1024x768", "1"},
           {"800x600", "800x600", "1"},
           {"1280x800 at 1.5", "1280x800", "1.5"}}) {
    TScreen S{Name, Size, Scale, std::make_unique<kvtest::VirtualDisplay>(1, Size), nullptr};
    if (!S.Display->Started())
      GTEST_SKIP() << "no Xvfb";
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.insert("QT_QPA_PLATFORM", "xcb");
    Environment.insert("DISPLAY", QString::fromStdString(S.Display->Name()));
    Environment.insert("QT_SCALE_FACTOR", Scale);
    Environment.insert(ScreenVariable, Name);
    if (Environment.contains("ASAN_OPTIONS"))
      Environment.insert("ASAN_OPTIONS", QString::fromStdString(
                                             kvtest::AsanOptionsForX(Environment.value("ASAN_OPTIONS").toStdString())));
    for (const char *Variable : {"QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI"})
      Environment.remove(Variable);
    S.Child = RunThisTestIn(Environment);
    Screens.push_back(std::move(S));
  }
  for (TScreen &S : Screens) {
    SCOPED_TRACE(S.Name);
    ExpectPassed(*S.Child);
  }
}

// No text the program changes at run time (tips, status texts, counts,
// search terms, category names) widens the window: each control that shows
// one asks its layout for no more room with a long text than with a short
// one. Captions the program fixes (the search row's label and its two choice
// boxes) are the only ones that may ask for their width, and toolbar buttons.
TEST_F(MainWindow, RunTimeTextsNeverWidenTheWindow) {
  CreateShown(900);
  const QString Long = QString("A text far wider than any screen ").repeated(20);
  const int WindowLeast = Main->minimumSizeHint().width();
  const QSize Size = Main->size();
  const std::set<QWidget *> FixedCaptions = {Main->lblSearchFor, Main->cboSearchType, Main->cboFilter};
  // The room a control asks of the layout it stands in.
  const auto Asked = [](QWidget *W) {
    // A desktop's style or font change makes every control measure itself
    // again, as its first showing does.
    for (const QEvent::Type Change : {QEvent::StyleChange, QEvent::FontChange}) {
      QEvent Event(Change);
      QApplication::sendEvent(W, &Event);
    }
    return QWidgetItem(W).minimumSize().width();
  };
  int Checked = 0;
  std::vector<QWidget *> Controls;
  for (QLabel *L : Main->findChildren<QLabel *>())
    Controls.push_back(L);
  for (QComboBox *B : Main->findChildren<QComboBox *>())
    Controls.push_back(B);
  for (QWidget *W : Controls) {
    // Only what the window's own layouts place can widen it.
    if (W->window() != Main || FixedCaptions.count(W) || !W->parentWidget() || !W->parentWidget()->layout() ||
        W->parentWidget()->layout()->indexOf(W) < 0)
      continue;
    SCOPED_TRACE(W->objectName().toStdString());
    ++Checked;
    const auto SetText = [W](const QString &Text) {
      if (auto *L = qobject_cast<QLabel *>(W))
        L->setText(Text);
      else if (auto *B = qobject_cast<QComboBox *>(W)) {
        B->insertItem(0, Text);
        B->setCurrentIndex(0);
        if (B->isEditable())
          B->setEditText(Text);
      }
    };
    SetText("x");
    const int Short = Asked(W);
    SetText(Long);
    EXPECT_EQ(Asked(W), Short);
  }
  // The tip, the search status and count, the search box and the category box.
  EXPECT_GE(Checked, 5);
  Settle(*Main);
  EXPECT_EQ(Main->minimumSizeHint().width(), WindowLeast);
  EXPECT_EQ(Main->size(), Size);
}

// A part number wider than its cell is offered whole to the hint form, which
// stays off screen until the show timer moves it; a short one empties it.
TEST_F(MainWindow, HoverHintForPartNumbersTooWideForTheirCell) {
  CreateShown(900);
  auto *List = Main->lstProducts;
  List->SetColumnWidth(0, 60);
  kv::TReportItem Long, Short;
  Long.Caption = "  LM317T-EXTRA-LONG-PART-NUMBER  ";
  Long.SubItems = {"d"};
  Short.Caption = "LM";
  Short.SubItems = {"d"};
  List->AddItem(Long);
  List->AddItem(Short);
  kv::ProcessMessages();
  const kv::TRect LongCell = List->GetSubItemRect(0, 0), ShortCell = List->GetSubItemRect(1, 0);
  TfrmHint *Hint = Main->frmHint;

  Main->lstProducts1MouseMove(LongCell.Left + 2, LongCell.Top + 2);
  EXPECT_EQ(Hint->lblHint->text(), QString("LM317T-EXTRA-LONG-PART-NUMBER"));
  EXPECT_EQ(Hint->TargetLeft, List->viewport()->mapToGlobal(QPoint(LongCell.Left, LongCell.Bottom)).x());
  EXPECT_EQ(Hint->x(), -500);
  EXPECT_TRUE(Main->timHintShow->isActive());

  Main->lstProducts1MouseMove(ShortCell.Left + 2, ShortCell.Top + 2);
  EXPECT_TRUE(Hint->lblHint->text().isEmpty());
  EXPECT_EQ(Hint->TargetLeft, -500);

  Main->lstProducts1MouseMove(LongCell.Left + 2, LongCell.Top + 2);
  EXPECT_FALSE(Hint->lblHint->text().isEmpty());
  Main->lstProducts1MouseMove(LongCell.Left + 2, List->viewport()->height() - 2);
  EXPECT_TRUE(Hint->lblHint->text().isEmpty());
  EXPECT_EQ(Hint->TargetLeft, -500);
}

// Texts from shops and the server show as they are, never as markup: in the
// status bar, the status labels and panel, the tip and the hover hint.
TEST_F(MainWindow, OutsideTextsShowAsPlainText) {
  CreateShown(900);
  const std::string Markup = "<b>LM317</b><img src=\"x.gif\">";
  Main->SetStatus(Markup, false);
  Main->SetSearchStatus(Markup);
  Main->SetSearchCount(Markup);
  Main->lblTip->setText(kv::FromAnsi(Markup));
  auto *List = Main->lstProducts;
  List->SetColumnWidth(0, 40);
  kv::TReportItem Row;
  Row.Caption = Markup;
  Row.SubItems = {"d"};
  List->AddItem(Row);
  kv::ProcessMessages();
  const kv::TRect Cell = List->GetSubItemRect(0, 0);
  Main->lstProducts1MouseMove(Cell.Left + 2, Cell.Top + 2);
  struct TCase {
    const char *Name;
    QLabel *Label;
  };
  for (const TCase &C : {TCase{"status panel 0", Main->sbPanel0}, TCase{"status panel 1", Main->sbPanel1},
                         TCase{"search info", Main->lblSearchInfo}, TCase{"search count", Main->lblSearchCount},
                         TCase{"status text", Main->lblStatus}, TCase{"tip", Main->lblTip},
                         TCase{"hover hint", Main->frmHint->lblHint}}) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(C.Label->text(), kv::FromAnsi(Markup));
    // Shown literally, the markup is as wide as its characters.
    C.Label->setMinimumWidth(0);
    C.Label->setMaximumWidth(QWIDGETSIZE_MAX);
    C.Label->adjustSize();
    EXPECT_GE(C.Label->sizeHint().width(), QFontMetrics(C.Label->font()).horizontalAdvance(kv::FromAnsi(Markup)));
    EXPECT_EQ(C.Label->textFormat(), Qt::PlainText);
  }
}

// The close waits while connections are open: a follow-up's counts, though
// no site socket is open.
TEST_F(MainWindow, CloseWaitSeesALiveFollowUp) {
  Create();
  kvtest::TLoopbackServer Shop(kvtest::TServerScript().ReadUntil("\r\n\r\n").Silence());
  EXPECT_FALSE(Main->SessionsOpen());
  kv::TTambleSocket *S = Main->Search->MorePool[5];
  S->IPAddr = "127.0.0.1";
  S->Port = Shop.PortText();
  S->Request = "GET /more HTTP/1.0\r\n\r\n";
  S->SConnect();
  ASSERT_TRUE(kv::WaitUntil([&] { return S->Busy && Shop.Connections() == 1; }, 10000));
  EXPECT_TRUE(Main->SessionsOpen());
  S->Disconnect();
  EXPECT_FALSE(Main->SessionsOpen());
}

// The usage record of a search started with the Find button names the sites
// enabled for searching, in site order, and the terms.
TEST_F(MainWindow, UsageRecordListsTheEnabledSitesInOrder) {
  AddFixtureSite(kv::GetCurrentDir() + "/Lib", "C3", "Gamma");
  AddFixtureSite(kv::GetCurrentDir() + "/Lib", "D4", "Delta Parts");
  // The shops accept each request and stay silent, so the search runs on.
  kvtest::TLoopbackServer Shops(kvtest::TServerScript().ReadUntil("\r\n\r\n").Silence());
  kvtest::TLoopbackServer Maker(kvtest::HttpReply("HTTP/1.0 200 OK\r\n\r\n"));
  for (const char *Site : {"A1", "B2", "C3", "D4"}) {
    const std::string Cfg = kv::GetCurrentDir() + "/Lib/" + Site + ".cfg";
    kvtest::WriteFile(Cfg, kvtest::ReadFile(Cfg) + "Statement=GET /{search}\n");
  }
  setenv("KORVANDEL_HOSTS", ("x.test=127.0.0.1:" + Shops.PortText()).c_str(), 1);
  setenv("KORVANDEL_SERVER", ("127.0.0.1:" + Maker.PortText()).c_str(), 1);
  // The user switched Beta off; the features granted allow every other site.
  SeedString("SiteInfo\\Sites", "SiteLIB\\B2.TWL", "0");
  Create();
  Main->FeatureList->Add("Search");
  Main->LoadSettings();
  ASSERT_EQ(Main->Settings.SiteEnabled, (std::vector<int>{1, 0, 1, 1}));
  Main->editSearch->setEditText("LM317, NE555");
  Main->btnFindNowClick();
  ASSERT_TRUE(Main->Search->Searching());
  // The first search also asks for the update page, on a connection of its
  // own; the banners are fetched from the same server.
  const auto Requests = [&] {
    std::vector<std::string> Lines;
    for (int I = 0; I < Maker.Connections(); ++I) {
      const std::string R = Maker.Received(I);
      if (R.find("\r\n\r\n") != std::string::npos && R.rfind("GET /kv_client/kvbanners", 0) != 0)
        Lines.push_back(R.substr(0, R.find("\r\n")));
    }
    std::sort(Lines.begin(), Lines.end());
    return Lines;
  };
  const std::string Usage = "GET /kv_client/kv_log_search.2.035.asp?customer_id=&parts=LM%33%31%37%7CNE%35%35%35"
                            "&sites=Alpha%7CGamma%7CDelta+Parts HTTP/1.0";
  ASSERT_TRUE(kv::WaitUntil([&] { return Requests().size() == 2; }, 10000)) << Requests().size();
  EXPECT_EQ(Requests(), (std::vector<std::string>{Usage, "GET /kv_client/kvupdate.htm HTTP/1.0"}));
  Main->Search->btnStopClick();
  ASSERT_TRUE(kv::WaitUntil([&] { return !Main->Search->Searching(); }, 10000));

  // A later search reports itself only.
  Main->editSearch->setEditText("BC547");
  Main->btnFindNowClick();
  ASSERT_TRUE(kv::WaitUntil([&] { return Requests().size() == 3; }, 10000));
  kv::WaitUntil([] { return false; }, 100);
  const std::vector<std::string> Later = Requests();
  EXPECT_EQ(std::count(Later.begin(), Later.end(), "GET /kv_client/kvupdate.htm HTTP/1.0"), 1);
  Main->Search->btnStopClick();
  ASSERT_TRUE(kv::WaitUntil([&] { return !Main->Search->Searching(); }, 10000));
}

// The Shortages button runs the session's exchange; the form's page lands
// in the program folder.
TEST_F(MainWindow, ShortagesButtonSavesTheFormInTheProgramFolder) {
  kvtest::TLoopbackServer Maker;
  Maker.Queue(kvtest::HttpReply("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nDana|Whitfield"));
  Maker.Queue(kvtest::HttpReply("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>form</p>"));
  setenv("KORVANDEL_SERVER", ("127.0.0.1:" + Maker.PortText()).c_str(), 1);
  WriteUserDetails("C1001", "pw");
  Create();
  Main->ProgramDir = Env.Root() + "/";
  EXPECT_TRUE(Main->mnuSuggestSite->isVisible());
  Main->EnableButton(6, true);
  Main->btnShortages->click();
  EXPECT_FALSE(Main->Server->ShortagesBusy);
  EXPECT_EQ(Maker.Connections(), 2);
  const std::string Page = kvtest::ReadFile(Env / "shortages_form.html");
  EXPECT_NE(Page.find("<p>form</p>\r\n"), std::string::npos) << Page;
  EXPECT_TRUE(Main->ButtonEnabled(6));
  EXPECT_TRUE(Boxes.empty());
}

// The search start loads the adverts and starts the rotation: the server
// banner of position 1 is asked for first, with the client's credential.
TEST_F(MainWindow, SearchStartFetchesTheServerBanner) {
  kvtest::TLoopbackServer Shops(kvtest::TServerScript().ReadUntil("\r\n\r\n").Silence());
  kvtest::TLoopbackServer Maker(kvtest::HttpReply("HTTP/1.0 200 OK\r\n\r\n"));
  const std::string Cfg = kv::GetCurrentDir() + "/Lib/A1.cfg";
  kvtest::WriteFile(Cfg, kvtest::ReadFile(Cfg) + "Statement=GET /{search}\n");
  setenv("KORVANDEL_HOSTS", ("x.test=127.0.0.1:" + Shops.PortText()).c_str(), 1);
  setenv("KORVANDEL_SERVER", ("127.0.0.1:" + Maker.PortText()).c_str(), 1);
  Create();
  Main->FeatureList->Add("Search");
  Main->LoadSettings();
  ASSERT_FALSE(Main->pnlHider->isHidden());
  Main->editSearch->setEditText("LM317");
  Main->btnFindNowClick();
  std::string Request;
  ASSERT_TRUE(kv::WaitUntil(
      [&] {
        for (int I = 0; I < Maker.Connections(); ++I)
          if (Maker.Received(I).rfind("GET /kv_client/kvbanners.asp", 0) == 0 &&
              Maker.Received(I).find("\r\n\r\n") != std::string::npos)
            Request = Maker.Received(I);
        return !Request.empty();
      },
      10000));
  EXPECT_EQ(Request.substr(0, Request.find("\r\n")),
            "GET /kv_client/kvbanners.asp?customer_id=&banner_position=1 HTTP/1.0");
  EXPECT_NE(Request.find("\r\nAuthorization: Basic a2V4OjU4dG9yNDF3\r\n"), std::string::npos) << Request;
  Main->Search->btnStopClick();
  ASSERT_TRUE(kv::WaitUntil([&] { return !Main->Search->Searching(); }, 10000));
}

// The banner settings hide the second banner only: its panel shows "Banner
// Disabled" in its place, and the first banner stays.
TEST_F(MainWindow, BannersOffHideTheSecondBannerOnly) {
  struct TCase {
    const char *Name;
    bool MerchantMessages, BannerTips, SecondShown;
  };
  Create();
  for (const TCase &C : {TCase{"both off", false, false, false}, TCase{"site adverts on", true, false, true},
                         TCase{"server banners on", false, true, true}}) {
    SCOPED_TRACE(C.Name);
    WriteSettingBool("Banner", "MerchantMessages", C.MerchantMessages);
    WriteSettingBool("Banner", "BannerTips", C.BannerTips);
    Main->LoadSettings();
    EXPECT_EQ(Main->Adverts->gifBanner2->isVisibleTo(Main), C.SecondShown);
    EXPECT_TRUE(Main->Adverts->gifBanner1->isVisibleTo(Main));
    for (QWidget *Panel : {Main->pnlBanner, Main->pnlBanner2}) {
      EXPECT_TRUE(Panel->isVisibleTo(Main));
      auto *Caption = qobject_cast<QLabel *>(Panel);
      ASSERT_NE(Caption, nullptr);
      EXPECT_EQ(Caption->text(), QString("Banner Disabled"));
    }
    EXPECT_TRUE(Main->pnlHider->isAncestorOf(Main->Adverts->gifBanner2));
    EXPECT_TRUE(Main->pnlHider2->isAncestorOf(Main->Adverts->gifBanner1));
    EXPECT_TRUE(Main->pnlBanner->isAncestorOf(Main->pnlHider));
    EXPECT_TRUE(Main->pnlBanner2->isAncestorOf(Main->pnlHider2));
  }
}

TEST_F(MainWindow, DebugMemoOnlyWithTheDebugSwitch) {
  CommandLineArguments() = {"QZDEBUG", "QZBOOTSTRAPPED"};
  Create();
  EXPECT_TRUE(Main->Memo1->isVisibleTo(Main));
}

TEST_F(MainWindow, StatusTextsInCaptionAndStatusBar) {
  SetAnimatorFactory([](const std::string &ProgID) -> std::unique_ptr<IAnimator> {
    if (ProgID != "Animate.TAnimator")
      return nullptr;
    return std::make_unique<TRecordingAnimator>();
  });
  Create();
  EXPECT_EQ(AnimatorLog.Parents, 2);
  Main->SetStatus("Searching Alpha", true);
  EXPECT_EQ(Main->windowTitle(), QString("Korvandel(tm) - Searching Alpha"));
  EXPECT_EQ(Main->sbPanel0->text(), QString("Searching Alpha"));
  Main->SetStatus("", false);
  EXPECT_EQ(Main->windowTitle(), QString("Korvandel(tm)"));
  EXPECT_EQ(AnimatorLog.Statuses, (std::vector<std::string>{"Searching Alpha", ""}));

  Main->SetSearchStatus("Connected to  Alpha");
  EXPECT_EQ(Main->LastSearchStatus, "Connected to  Alpha");
  EXPECT_EQ(Main->sbPanel0->text(), QString("Connected to  Alpha"));
  EXPECT_EQ(Main->lblSearchInfo->text(), QString("Connected to  Alpha"));
  Main->SetSearchCount("12 Results");
  EXPECT_EQ(Main->sbPanel1->text(), QString("12 Results"));
  EXPECT_EQ(Main->lblSearchCount->text(), QString("12 Results"));
}

TEST_F(MainWindow, WorksWithoutTheAnimationServer) {
  Create();
  EXPECT_EQ(Main->Animator, nullptr);
  Main->SetStatus("x", true);
  EXPECT_EQ(Main->windowTitle(), QString("Korvandel(tm) - x"));
}

// The animation server's windows sit in the two panels; when the server goes
// mid-run, its windows go with it and the panels show the client's own cart
// picture and status text, as they do without a server.
class TPanelAnimator : public IAnimator {
public:
  static std::vector<QPointer<QWidget>> Windows;
  void Start() override {}
  void Stop() override {}
  void SetAnimateParent(WId Parent) override { Cover(Parent); }
  void DisplayStatus(const std::string &, bool) override {}
  void SetStatusParent(WId Parent) override { Cover(Parent); }

private:
  static void Cover(WId Parent) {
    QWidget *Panel = QWidget::find(Parent);
    ASSERT_NE(Panel, nullptr);
    auto *W = new QWidget(Panel);
    W->setAutoFillBackground(true);
    W->setGeometry(Panel->rect());
    W->show();
    Windows.push_back(W);
  }
};
std::vector<QPointer<QWidget>> TPanelAnimator::Windows;

TEST_F(MainWindow, PanelsShowTheirOwnWhenTheServerGoes) {
  TPanelAnimator::Windows.clear();
  SetAnimatorFactory([](const std::string &) -> std::unique_ptr<IAnimator> {
    return std::make_unique<TPanelAnimator>();
  });
  CreateShown(1280);
  ASSERT_EQ(TPanelAnimator::Windows.size(), 2u);
  const auto Shown = [](QWidget *Panel) { return Panel->childAt(Panel->rect().center()); };
  EXPECT_EQ(Shown(Main->pnlStatus), TPanelAnimator::Windows[1].data());
  Main->SetStatus("Searching Alpha", true);
  // The server ends: its windows are destroyed.
  for (QPointer<QWidget> &W : TPanelAnimator::Windows)
    delete W.data();
  kv::ProcessMessages();
  QWidget *Status = Shown(Main->pnlStatus);
  auto *Text = qobject_cast<QLabel *>(Status);
  ASSERT_NE(Text, nullptr) << "the status panel is blank";
  EXPECT_EQ(Text->text(), QString("Searching Alpha"));
  EXPECT_EQ(Shown(Main->pnlCart), static_cast<QWidget *>(Main->gifCart));
  EXPECT_GT(Main->gifCart->FrameCount(), 1);
}

TEST_F(MainWindow, ToolbarSwitchesByIndex) {
  Create();
  // The index table of the toolbar, read through the buttons themselves.
  const std::vector<std::pair<QToolButton *, const char *>> Buttons = {
      {Main->btnLoad, "btnLoad"},   {Main->btnSave, "btnSave"},           {Main->btnPrint, "btnPrint"},
      {Main->btnFindNow, "btnFindNow"}, {Main->btnStop, "btnStop"},       {Main->btnNewSearch, "btnNewSearch"},
      {Main->btnShortages, "btnShortages"}};
  for (int I = 0; I <= 6; ++I) {
    for (QToolButton *B : {Main->btnLoad, Main->btnSave, Main->btnPrint, Main->btnFindNow, Main->btnStop,
                           Main->btnNewSearch, Main->btnShortages, Main->btnOptions})
      B->setEnabled(true);
    Main->EnableButton(I, false);
    for (int J = 0; J <= 6; ++J)
      EXPECT_EQ(Buttons[J].first->isEnabled(), J != I) << "index " << I << ", " << Buttons[J].second;
    EXPECT_TRUE(Main->btnOptions->isEnabled()) << I;
    EXPECT_FALSE(Main->ButtonEnabled(I)) << I;
    Buttons[I].first->setEnabled(true);
    EXPECT_TRUE(Main->ButtonEnabled(I)) << I;
  }
  EXPECT_EQ(Main->btnLoad->text(), QString("Import"));
  EXPECT_EQ(Main->btnSave->text(), QString("Export"));
  EXPECT_EQ(Main->btnPrint->text(), QString("Print"));
  EXPECT_EQ(Main->btnFindNow->toolTip(), QString("Start Search"));
  EXPECT_EQ(Main->btnStop->text(), QString("Stop"));
  EXPECT_EQ(Main->btnNewSearch->text(), QString("Clear"));
  EXPECT_EQ(Main->btnShortages->toolTip(), QString("Do you have Shortages?"));
  Main->EnableButton(7, false);  // the Options button is not switched
  EXPECT_TRUE(Main->btnOptions->isEnabled());
}

TEST_F(MainWindow, TipRotatesEveryThirtyTicks) {
  Create();
  Main->timStatus->stop();
  Main->lblTip->setText("none");
  for (int I = 0; I < 29; ++I)
    Main->timStatusTimer();
  EXPECT_EQ(Main->lblTip->text(), QString("none"));
  Main->timStatusTimer();
  EXPECT_NE(Main->lblTip->text(), QString("none"));
  EXPECT_EQ(Main->StatusTicks, 0);
  std::set<std::string> Seen;
  for (int I = 0; I < 300 && Seen.size() < 5; ++I)
    Seen.insert(Main->GetRandomTip());
  EXPECT_EQ(Seen, std::set<std::string>(HintTips.begin(), HintTips.end()));
  // An interval that does not divide 15000 never changes it.
  Main->timStatus->setInterval(700);
  Main->lblTip->setText("none");
  for (int I = 0; I < 100; ++I)
    Main->timStatusTimer();
  EXPECT_EQ(Main->lblTip->text(), QString("none"));
}

TEST_F(MainWindow, TipTextsAsListed) {
  const char *const Expected[] = {
      "Tip 1: Specify a Part Number or Description for your search.",
      "Tip 2: You can sort results by Clicking on the Column Heading.",
      "Tip 3: Double clicking a Result will load that item in your Browser.",
      "Tip 4: To avoid searching a site, you can disable it under the Options menu.",
      "Tip 5: To view a Datasheet Click on the Datasheet Icon (if one exists)"};
  ASSERT_EQ(HintTips.size(), std::size(Expected));
  for (size_t I = 0; I < std::size(Expected); ++I)
    EXPECT_STREQ(HintTips[I], Expected[I]) << "tip " << I + 1;
  EXPECT_STREQ(DefaultTip, Expected[0]);
}

// The maker's server as the start-up sees it: each connection takes the next
// reply; checks answered without "SUCCESS" fail.
const std::string NotNow = "HTTP/1.0 503 Busy\r\n\r\nTry later";
const std::string Success = "HTTP/1.0 200 OK\r\n\r\nSUCCESS";
const std::string LoggedOn =
    "HTTP/1.0 200 OK\r\n\r\n<OsTransmission><OsConfigScript>MaxResults|250</OsConfigScript>"
    "<KvFeatures>Search</KvFeatures></OsTransmission>";

void PointAt(const kvtest::TLoopbackServer &Server) {
  setenv("KORVANDEL_SERVER", ("127.0.0.1:" + Server.PortText()).c_str(), 1);
}

TEST_F(MainWindow, NotConnectedAtStartUpClosesCleanly) {
  kvtest::TLoopbackServer Server(kvtest::HttpReply(NotNow));
  PointAt(Server);
  WriteUserDetails("C1001", "pw");
  Create();
  int Dialogs = 0;
  Main->ErrorConnectingDialog = [&](bool AllowRetry) {
    EXPECT_TRUE(AllowRetry);
    return ++Dialogs, false;
  };
  Main->editSearch->addItem("NE555");
  Main->show();
  ASSERT_TRUE(kv::WaitUntil([&] { return TerminateRequested(); }, 10000));
  kv::ProcessMessages();
  EXPECT_EQ(Dialogs, 1);
  EXPECT_FALSE(Main->Server->Connected);
  EXPECT_EQ(Server.Connections(), 1);  // the check, and no logon
  EXPECT_TRUE(Main->Closing);
  EXPECT_FALSE(Main->timStatus->isActive());
  delete Main;
  Main = nullptr;
  EXPECT_EQ(hPrimary, nullptr);
  EXPECT_EQ(Catalogue.GetNumberSites, nullptr);
  EXPECT_EQ(StoredString("Searches", "Search0"), "NE555");
}

TEST_F(MainWindow, TryAgainRepeatsTheCheckThenLogsOn) {
  kvtest::TLoopbackServer Server;
  for (const std::string &Reply : {NotNow, Success, LoggedOn})
    Server.Queue(kvtest::HttpReply(Reply));
  PointAt(Server);
  WriteUserDetails("C1001", "pw");
  Create();
  int Dialogs = 0;
  Main->ErrorConnectingDialog = [&](bool) { return ++Dialogs, true; };
  Main->show();
  ASSERT_TRUE(kv::WaitUntil([&] { return Server.Connections() == 3 && !Main->Server->LogonActive; }, 10000));
  EXPECT_EQ(Dialogs, 1);
  EXPECT_TRUE(Main->Server->Connected);
  EXPECT_FALSE(Main->Closing);
  // The logon reply's features enable the sites and its limit applies.
  EXPECT_EQ(Main->Settings.SiteEnabled, (std::vector<int>{1, 1}));
  EXPECT_EQ(Main->Settings.MaxResults, 250);
  EXPECT_TRUE(Main->ButtonEnabled(3));
  // The usage and shortages texts carry the customer the session logged on.
  EXPECT_EQ(Main->GetCustomerDetails(), CustomerDetailsText("C1001", "pw"));
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(MainWindow, ClosingDuringTheErrorDialogStopsTheStartUp) {
  kvtest::TLoopbackServer Server(kvtest::HttpReply(NotNow));
  PointAt(Server);
  Create();
  // The user closes the window while the dialog is up, then picks Try Again.
  Main->ErrorConnectingDialog = [&](bool) {
    Main->close();
    return true;
  };
  Main->show();
  ASSERT_TRUE(kv::WaitUntil([&] { return Main->Closing; }, 10000));
  kv::WaitUntil([] { return false; }, 300);
  EXPECT_EQ(Server.Connections(), 1);
  // A start-up message arriving now does nothing.
  kv::SendMessage(Main->Handle(), WM_STARTUP);
  kv::WaitUntil([] { return false; }, 300);
  EXPECT_EQ(Server.Connections(), 1);
}

// The start-up check waits on a server that never answers; the user closes
// the window meanwhile, which stops the time-out timer.
TEST_F(MainWindow, ClosingDuringTheStartUpCheckEndsIt) {
  kvtest::TLoopbackServer Server(kvtest::TServerScript().Silence());
  PointAt(Server);
  Create();
  QTimer Closer;
  QObject::connect(&Closer, &QTimer::timeout, [&] {
    if (Main->Server->Waiting && !Main->Closing)
      Main->close();
  });
  Closer.start(10);
  // Only a wait that never ends meets this.
  bool Rescued = false;
  QTimer Watchdog;
  Watchdog.setSingleShot(true);
  QObject::connect(&Watchdog, &QTimer::timeout, [&] {
    Rescued = true;
    Main->Server->Waiting = false;
  });
  Watchdog.start(20000);
  Main->show();
  ASSERT_TRUE(kv::WaitUntil([&] { return Main->Closing && !Main->Server->Waiting; }, 30000));
  kv::ProcessMessages();
  EXPECT_FALSE(Rescued) << "the check went on waiting after the window closed";
  EXPECT_TRUE(TerminateRequested());
  EXPECT_EQ(Main->Server->SockCheckConnect.SocketHandle(), -1);
  // Nothing is asked of a user who has closed the window.
  EXPECT_TRUE(Boxes.empty());
  EXPECT_TRUE(kv::WaitUntil([&] { return Server.PeerClosed(0); }, 5000));
}

TEST_F(MainWindow, MissingCatalogueStopsTheCreation) {
  CatalogueLibraryName = Env / "missing.so";
  Main = new TfrmMain();
  EXPECT_FALSE(Main->Created);
  EXPECT_TRUE(TerminateRequested());
  EXPECT_EQ(Boxes, std::vector<std::string>{"Unable to load PRIMARY.DLL please Re-Install"});
  EXPECT_FALSE(Main->Search);
  EXPECT_FALSE(Main->timStatus->isActive());
  // Timers and messages find nothing half-made: closing and destroying work.
  Main->close();
  delete Main;
  Main = nullptr;
}

TEST_F(MainWindow, MenusEnableByTheList) {
  Create();
  Main->mnuFileClick();
  EXPECT_FALSE(Main->mnuPrint->isEnabled());
  EXPECT_FALSE(Main->mnuExportItem->isEnabled());
  kv::TReportItem Row;
  Row.Caption = "LM317";
  Main->lstProducts->AddItem(Row);
  Main->mnuFileClick();
  EXPECT_TRUE(Main->mnuPrint->isEnabled());
  EXPECT_TRUE(Main->mnuFileSaveResultsAs->isEnabled());
  EXPECT_FALSE(Main->mnuExportItem->isEnabled());
  Main->popProductsPopup();
  EXPECT_FALSE(Main->mnuCopy->isEnabled());
}

TEST_F(MainWindow, KeywordsOnlyIsStoredAndMarksTheSettings) {
  Create();
  Main->mnuKeywordsOnly->trigger();
  EXPECT_EQ(StoredString("Advanced", "AllSearchWords"), "1");
  EXPECT_TRUE(Main->SettingsChanged);
  EXPECT_EQ(Boxes.size(), 1u);
}

TEST_F(MainWindow, AnotherCopyBringsTheWindowBack) {
  kvtest::TLoopbackServer Server(kvtest::HttpReply(Success));
  PointAt(Server);
  Create();
  Main->CreateHandle();
  Main->showMinimized();
  kv::ProcessMessages();
  ASSERT_TRUE(Main->isMinimized());
  bool Answered = false;
  std::thread Knock([&] { Answered = kv::KnockOnWindow(MainWindowClass, MainWindowTitle, 5000); });
  kv::WaitUntil([&] { return !Main->isMinimized(); }, 5000);
  Knock.join();
  EXPECT_TRUE(Answered);
  EXPECT_FALSE(Main->isMinimized());
}

// The column layout of the window's list for a window either side of 640
// pixels wide, and as the resize handler applies it: the number columns as
// wide as the list's font needs, taken from the last column.
TEST_F(MainWindow, ColumnLayoutEitherSideOf640) {
  CreateShown();
  auto *List = Main->lstProducts;
  const int W = List->viewport()->width();
  const std::array<int, 8> Least = LeastColumnWidths(*List);
  const int Price = std::max(60, Least[4]), Stock = std::max(55, Least[5]), Quantity = std::max(55, Least[6]);
  const std::array<int, 8> Fixed{115, 160, 80, 75, Price, Stock, Quantity, 83};
  const std::array<int, 8> Proportional{
      W * 5 / 27, W * 2 / 9, W / 7, 75, Price, Stock, Quantity,
      W - W * 5 / 27 - W * 2 / 9 - W / 7 - 75 - Price - Stock - Quantity};
  struct TCase {
    const char *Name;
    int FormWidth;
    const std::array<int, 8> &Expected;
  } Cases[] = {{"639", 639, Fixed}, {"640", 640, Proportional}, {"the window's own", -1, Proportional}};
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    for (int Col = 0; Col < 8; ++Col)
      List->SetColumnWidth(Col, 10);
    if (C.FormWidth < 0) {
      ASSERT_GE(Main->width(), 640);
      Main->FormResize();
    } else {
      Main->Commands->LayOutColumns(C.FormWidth);
    }
    for (int Col = 0; Col < 8; ++Col)
      EXPECT_EQ(List->ColumnWidth(Col), C.Expected[static_cast<size_t>(Col)]) << Col;
  }
}

// The proportional columns fill the room the list shows its rows in, inside
// its frame and beside its vertical scroll bar, whether the rows need that bar
// or not, at each common screen width: no horizontal scroll bar.
TEST_F(MainWindow, ColumnsFillTheListsClientWidth) {
  CreateShown(800);
  auto *List = Main->lstProducts;
  // As a search's first results show the list.
  List->show();
  Main->FormResize();
  const auto Filled = [&](bool LongList) {
    int Sum = 0;
    for (int Col = 0; Col < List->ColumnCount(); ++Col)
      Sum += List->ColumnWidth(Col);
    return List->verticalScrollBar()->isVisible() == LongList && Sum == List->viewport()->width() &&
           !List->horizontalScrollBar()->isVisible();
  };
  struct TCase {
    const char *Name;
    int Width, Rows;
  } Cases[] = {{"800, a few rows", 800, 3},       {"800, a long list", 800, 80},
               {"1024, a long list", 1024, 80},   {"1024, a few rows", 1024, 3},
               {"1280, a few rows", 1280, 3},     {"1280, a long list", 1280, 80}};
  kv::TReportItem Row;
  Row.Caption = "LM317T";
  Row.SubItems = {"Regulator", "ST", "", "1.00", "Y", "10", "Alpha"};
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    Main->resize(C.Width, 600);
    List->ClearItems();
    for (int I = 0; I < C.Rows; ++I)
      List->AddItem(Row);
    kv::WaitUntil([&] { return Filled(C.Rows > 10); }, 5000);
    EXPECT_TRUE(Filled(C.Rows > 10)) << "window " << Main->width() << ", viewport " << List->viewport()->width()
                                     << ", last column at " << List->header()->sectionPosition(7) << "+"
                                     << List->ColumnWidth(7);
  }
}

// Enter in the search box starts a search only while Find is enabled: the
// search puts its text into the history. The box itself never sees the key.
TEST_F(MainWindow, EnterInTheSearchBox) {
  CreateShown();
  struct TCase {
    const char *Name;
    bool FindOn;
    int HistoryItems;
  } Cases[] = {{"Find off", false, 0}, {"Find on", true, 1}};
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    Main->EnableButton(3, C.FindOn);
    Main->editSearch->setEditText("LM317");
    QKeyEvent Press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(Main->editSearch->lineEdit(), &Press);
    kv::WaitUntil([&] { return !Main->Search->Searching(); }, 5000);
    EXPECT_EQ(Main->editSearch->count(), C.HistoryItems);
  }
}

// The list's commands are wired: a header click sorts by the window's rules
// (Part Number descends first), the popup's Copy copies, Find opens the
// modeless dialog, the search start hands it the first term, and the history
// is saved without stale values when the window goes.
TEST_F(MainWindow, CommandsReachTheirMenusAndList) {
  SeedString("Searches", "Search0", "LM317");
  SeedString("Searches", "Search1", "");
  SeedString("Searches", "Search2", "BC547");
  Create();
  auto *List = Main->lstProducts;
  for (const char *Caption : {"B2", "A1", "C3"}) {
    kv::TReportItem Row;
    Row.Caption = Caption;
    Row.SubItems = {"", "", "", "", "", "", ""};
    const int Index = List->AddItem(Row);
    auto *Store = new TItemStore;
    Store->SiteURL = std::string("http://") + Caption + ".test/";
    List->SetItemData(Index, Store);
  }
  List->ColClick(0);
  EXPECT_EQ(List->Item(0).Caption, "C3");
  EXPECT_EQ(List->Item(2).Caption, "A1");
  List->ColClick(0);
  EXPECT_EQ(List->Item(0).Caption, "A1");

  List->SetSelected(1);
  List->SetItemFocused(1);
  Main->popProductsPopup();
  ASSERT_TRUE(Main->popCopy->isEnabled());
  Main->popCopy->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), QString("http://B2.test/"));

  Main->mnuFind->setEnabled(true);
  Main->mnuFind->trigger();
  EXPECT_TRUE(Main->Commands->dlgFind().isVisible());
  EXPECT_FALSE(Main->Commands->dlgFind().isModal());

  Main->EnableButton(3, true);
  Main->editSearch->setEditText("ne555, lm317");
  Main->btnFindNowClick();
  kv::WaitUntil([&] { return !Main->Search->Searching(); }, 5000);
  EXPECT_EQ(Main->Commands->dlgFind().FindText(), "ne555");
  EXPECT_EQ(Main->editSearch->count(), 3);
  for (int I = 0; I < List->ItemCount(); ++I)
    delete static_cast<TItemStore *>(List->ItemData(I));
  List->ClearItems();
  delete Main;
  Main = nullptr;
  EXPECT_EQ(StoredString("Searches", "Search0"), "ne555, lm317");
  EXPECT_EQ(StoredString("Searches", "Search2"), "BC547");
  EXPECT_EQ(StoredString("Searches", "Search3"), "<missing>");
}

}  // namespace
