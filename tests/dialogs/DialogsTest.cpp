// The About box, the confirmation dialog in its four modes with the merchant
// question and its stored flags, and the progress window's modes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <string>
#include <vector>

#include "client/settings/uSettings.h"
#include "client/settings/uUserDetails.h"
#include "client/uCatalogue.h"
#include "client/window/FAbout.h"
#include "client/window/FGoSite.h"
#include "client/window/FStop.h"
#include "platform/qt/Codepage.h"
#include "tests/client/ClientTestSupport.h"

namespace {

using namespace clienttest;

std::string Text(const QLabel *L) { return kv::ToAnsi(L->text()); }

// ---- the confirmation dialog's modes

struct TModeCase {
  const char *Name;
  int Mode;
  std::vector<const char *> Shown;  // object names of the labels shown
  const char *Caption;
};

const TModeCase ModeCases[] = {
    {"MerchantSite", 0, {"lblNoProd", "lblGoSite"}, "Load Merchant Site"},
    {"SearchAll", 1, {"lblSearchAll"}, "Search All Categories?"},
    {"IrrelevantResults", 2, {"lblSuggestFiltering"}, "Irrelevent Search Results"},
    {"NoConnection", 3, {"lblNoConnection"}, "Confirmation?"},
    // A mode past the table shows no question and keeps the last caption.
    {"BeyondTheTable", 4, {}, "Irrelevent Search Results"},
};

class GotoSiteModes : public ::testing::TestWithParam<TModeCase> {};

TEST_P(GotoSiteModes, ShowTheirLabelsAndCaption) {
  const TModeCase &C = GetParam();
  TfrmGotoSite Dialog;
  Dialog.SetMode(2);
  Dialog.SetMode(static_cast<uint8_t>(C.Mode));
  EXPECT_EQ(Dialog.Mode(), C.Mode);
  EXPECT_EQ(Dialog.windowTitle().toStdString(), C.Caption);
  for (QLabel *L : {Dialog.lblNoProd, Dialog.lblGoSite, Dialog.lblSearchAll, Dialog.lblSuggestFiltering,
                    Dialog.lblNoConnection}) {
    bool Expected = false;
    for (const char *Name : C.Shown)
      Expected = Expected || L->objectName() == Name;
    EXPECT_EQ(L->isVisibleTo(&Dialog), Expected) << L->objectName().toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Table, GotoSiteModes, ::testing::ValuesIn(ModeCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST(GotoSite, TextsButtonsAndSizeAsCreated) {
  TfrmGotoSite Dialog;
  EXPECT_EQ(Dialog.Mode(), 0);
  EXPECT_EQ(Dialog.windowTitle(), QString("Load Merchant Site"));
  EXPECT_EQ(Dialog.size(), QSize(345, 108));
  EXPECT_EQ(Text(Dialog.lblNoProd), "There is not a web page for this specific product.");
  EXPECT_EQ(Text(Dialog.lblGoSite), "Do you want to go directly to the <SOURCE_NAME> web site?");
  EXPECT_EQ(Text(Dialog.lblSearchAll),
            "Are you sure you wish to search all categories as this may take some time?");
  EXPECT_EQ(Text(Dialog.lblSuggestFiltering),
            "You seem to be getting irrelevant results for your search.\r\n\r\n"
            "Do you want to re-start your search with keyword filtering switched on?");
  EXPECT_EQ(Text(Dialog.lblNoConnection),
            "Korvandel requires an internet connection.\r\n\r\n"
            "Are you sure that you are connected to the Internet?");
  for (QLabel *L : {Dialog.lblSuggestFiltering, Dialog.lblNoConnection}) {
    EXPECT_EQ(L->width(), 332);
    EXPECT_TRUE(L->wordWrap());
  }
  EXPECT_EQ(Dialog.btnYes->text(), QString("&Yes"));
  EXPECT_EQ(Dialog.btnNo->text(), QString("&No"));
  EXPECT_EQ(Dialog.chkShowMessageAgain->text(), QString("&Don't show this message again"));
  EXPECT_FALSE(Dialog.chkShowMessageAgain->isChecked());
}

// ---- the merchant-site question

enum TAnswer { Yes, No, CloseBox };

struct TConfirmCase {
  const char *Name;
  bool ShowGoSite, GoSite;  // before
  TAnswer Answer;
  bool Tick;
  bool Asked, Result;
  const char *StoredShow, *StoredGo;
};

const TConfirmCase ConfirmCases[] = {
    {"YesWithoutTick", true, false, Yes, false, true, true, "1", "1"},
    {"NoWithoutTick", true, true, No, false, true, false, "1", "0"},
    {"YesWithTick", true, false, Yes, true, true, true, "0", "1"},
    {"NoWithTick", true, true, No, true, true, false, "0", "0"},
    {"CloseBoxIsNo", true, true, CloseBox, false, true, false, "1", "0"},
    {"SwitchedOffLastNo", false, false, Yes, false, false, false, "0", "0"},
    {"SwitchedOffLastYes", false, true, No, false, false, true, "0", "1"},
};

// What the dialog showed when it came up.
struct TShown {
  int Count = 0;
  std::string Caption, Question;
  int Mode = -1;
};

// Answers the next modal question from inside its own loop.
void AnswerNextQuestion(TAnswer Answer, bool Tick, TShown &Shown) {
  QTimer::singleShot(0, [=, &Shown] {
    auto *Dialog = dynamic_cast<TfrmGotoSite *>(QApplication::activeModalWidget());
    if (!Dialog)
      return;
    ++Shown.Count;
    Shown.Caption = kv::ToAnsi(Dialog->windowTitle());
    Shown.Question = Text(Dialog->lblGoSite);
    Shown.Mode = Dialog->Mode();
    Dialog->chkShowMessageAgain->setChecked(Tick);
    if (Answer == Yes)
      Dialog->btnYes->click();
    else if (Answer == No)
      Dialog->btnNo->click();
    else
      Dialog->reject();
  });
}

class ConfirmGotoSiteCases : public ::testing::TestWithParam<TConfirmCase> {
protected:
  kvtest::IsolatedEnv Env;
};

TEST_P(ConfirmGotoSiteCases, AsksAnswersAndStoresBothFlags) {
  const TConfirmCase &C = GetParam();
  bool Show = C.ShowGoSite, Go = C.GoSite;
  TShown Shown;
  AnswerNextQuestion(C.Answer, C.Tick, Shown);
  EXPECT_EQ(ConfirmGotoSite("Acme & <b>Parts</b>", Show, Go, nullptr), C.Result);
  // A question that was not asked leaves its timer unanswered: run it out.
  QApplication::processEvents();
  EXPECT_EQ(Shown.Count, C.Asked ? 1 : 0);
  if (C.Asked) {
    EXPECT_EQ(Shown.Caption, "Load Merchant Site");
    EXPECT_EQ(Shown.Mode, 0);
    EXPECT_EQ(Shown.Question, "Do you want to go directly to the Acme & <b>Parts</b> web site?");
  }
  EXPECT_EQ(Go, C.Result);
  EXPECT_EQ(StoredString("Advanced", "ShowGoSite"), C.StoredShow);
  EXPECT_EQ(StoredString("Advanced", "GoSite"), C.StoredGo);
  // What is stored is what the settings loader reads back.
  EXPECT_EQ(ReadSettingBool("Advanced", "ShowGoSite", !Show), Show);
  EXPECT_EQ(ReadSettingBool("Advanced", "GoSite", !Go), Go);
}

INSTANTIATE_TEST_SUITE_P(Table, ConfirmGotoSiteCases, ::testing::ValuesIn(ConfirmCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST(ConfirmGotoSite, OnceTickedWithNoItIsNeverAskedAgain) {
  kvtest::IsolatedEnv Env;
  bool Show = true, Go = true;
  TShown Shown;
  AnswerNextQuestion(No, true, Shown);
  EXPECT_FALSE(ConfirmGotoSite("Acme", Show, Go, nullptr));
  AnswerNextQuestion(Yes, false, Shown);
  EXPECT_FALSE(ConfirmGotoSite("Acme", Show, Go, nullptr));
  QApplication::processEvents();
  EXPECT_EQ(Shown.Count, 1);
}

TEST(ConfirmGotoSite, AnswerCountsWhenTheFlagsCannotBeStored) {
  kvtest::IsolatedEnv Env;
  // The registry would have to live below a plain file: every write fails.
  kvtest::WriteFile(Env / "blocker", "not a folder");
  setenv("KORVANDEL_REGISTRY", (Env / "blocker/registry").c_str(), 1);
  EXPECT_ANY_THROW(WriteSettingBool("Advanced", "GoSite", true));
  bool Show = true, Go = false;
  TShown Shown;
  AnswerNextQuestion(Yes, true, Shown);
  EXPECT_TRUE(ConfirmGotoSite("Acme", Show, Go, nullptr));
  EXPECT_EQ(Shown.Count, 1);
  EXPECT_FALSE(Show);
  EXPECT_TRUE(Go);
}

// ---- the About box

class AboutBox : public ::testing::Test {
protected:
  void SetUp() override {
    Catalogue = TCatalogue();
    Catalogue.GetVersionNumber = [](int32_t &V) { V = 2035; };
  }
  void TearDown() override { Catalogue = TCatalogue(); }
  kvtest::IsolatedEnv Env;
  std::vector<std::string> Opened;
  int Repaints = 0;
  std::unique_ptr<TfrmAbout> Make() {
    return std::make_unique<TfrmAbout>(
        nullptr, [this](const std::string &URL) { Opened.push_back(URL); }, [this] { ++Repaints; });
  }
};

TEST_F(AboutBox, ShowsCustomerVersionAndAddresses) {
  WriteUserDetails("DEMO1001", "parts4all");
  auto About = Make();
  EXPECT_EQ(Text(About->lblKey), "Your Customer ID: DEMO1001");
  EXPECT_EQ(Text(About->lblVersion), "Version Number: 2.035");
  EXPECT_EQ(Text(About->lblSlogan1), "The World's Best Internet Search");
  EXPECT_EQ(Text(About->lblSlogan2), "for Electronic Components");
  EXPECT_EQ(Text(About->lblWebCaption), " Web:");
  EXPECT_EQ(Text(About->lblSupportCaption), "Support");
  EXPECT_EQ(Text(About->lblCommentsCaption), "Comments");
  EXPECT_EQ(Text(About->lblWeb), ProductWebAddress);
  EXPECT_EQ(Text(About->lblSupport), SupportMailAddress);
  EXPECT_EQ(Text(About->lblComments), CommentsMailAddress);
  EXPECT_FALSE(About->imgLogo->pixmap().isNull());
  for (QLabel *L : {static_cast<QLabel *>(About->lblWeb), static_cast<QLabel *>(About->lblSupport),
                    static_cast<QLabel *>(About->lblComments)})
    EXPECT_EQ(L->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(About->size(), QSize(346, 232));
  EXPECT_TRUE(About->btnClose->isDefault());
  EXPECT_EQ(Repaints, 1);
}

TEST_F(AboutBox, NoCustomerAndAStoredNewerVersion) {
  SeedInteger("", "Version", 3100);
  auto About = Make();
  EXPECT_EQ(Text(About->lblKey), "Your Customer ID: ");
  EXPECT_EQ(Text(About->lblVersion), "Version Number: 3.100");
}

TEST_F(AboutBox, LinksOpenTheirAddresses) {
  auto About = Make();
  About->lblWebClick();
  About->lblSupportClick();
  About->lblCommentsClick();
  // A real click on a link label reaches its handler too.
  const QPointF At(2, 2);
  QMouseEvent Release(QEvent::MouseButtonRelease, At, About->lblSupport->mapToGlobal(At), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(About->lblSupport, &Release);
  EXPECT_EQ(Opened, (std::vector<std::string>{"http://www.korvandel.test/", "mailto:support@korvandel.test",
                                              "mailto:comments@korvandel.test", "mailto:support@korvandel.test"}));
}

TEST_F(AboutBox, OkCloses) {
  auto About = Make();
  QTimer::singleShot(0, [&] { About->btnClose->click(); });
  EXPECT_EQ(About->exec(), QDialog::Accepted);
}

// ---- the progress window

struct TStopCase {
  const char *Name;
  int Mode;
  const char *Picture, *Label, *Caption;
};

const TStopCase StopCases[] = {
    {"Stopping", 0, "imgStop", "lblStop", "Stopping all Searches"},
    {"ExchangeRates", 1, "imgCurrency", "lblCurrency", "Updating Exchange Rates"},
    {"Starting", 2, "imgStart", "lblStart", "Starting Parallel Searches"},
};

class StopModes : public ::testing::TestWithParam<TStopCase> {};

TEST_P(StopModes, ShowOnePictureAndTextAsCaption) {
  const TStopCase &C = GetParam();
  TfrmStop Stop;
  Stop.SetMode(static_cast<uint8_t>(C.Mode));
  EXPECT_EQ(Stop.Mode(), C.Mode);
  EXPECT_EQ(Stop.windowTitle().toStdString(), C.Caption);
  for (QLabel *L : {Stop.imgStop, Stop.imgCurrency, Stop.imgStart, Stop.lblStop, Stop.lblCurrency, Stop.lblStart}) {
    const bool Expected = L->objectName() == C.Picture || L->objectName() == C.Label;
    EXPECT_EQ(L->isVisibleTo(&Stop), Expected) << L->objectName().toStdString();
  }
  const QLabel *Label = Stop.findChild<QLabel *>(C.Label);
  ASSERT_TRUE(Label);
  EXPECT_EQ(Label->text().toStdString(), C.Caption);
  EXPECT_FALSE(Stop.findChild<QLabel *>(C.Picture)->pixmap().isNull());
}

INSTANTIATE_TEST_SUITE_P(Table, StopModes, ::testing::ValuesIn(StopCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST(Stop, CreatedInModeZeroWithAnEmptyBar) {
  TfrmStop Stop;
  EXPECT_EQ(Stop.Mode(), 0);
  EXPECT_EQ(Stop.windowTitle(), QString("Stopping all Searches"));
  EXPECT_EQ(Stop.pbSearches->minimum(), 0);
  EXPECT_EQ(Stop.pbSearches->maximum(), 100);
  EXPECT_EQ(Stop.pbSearches->value(), 0);
  EXPECT_TRUE(Stop.windowFlags() & Qt::WindowStaysOnTopHint);
  // Three different pictures.
  const QImage A = Stop.imgStop->pixmap().toImage(), B = Stop.imgCurrency->pixmap().toImage(),
               C = Stop.imgStart->pixmap().toImage();
  EXPECT_NE(A, B);
  EXPECT_NE(B, C);
  EXPECT_NE(A, C);
}

}  // namespace
