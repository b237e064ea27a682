// Every dialog of the program driven with the keyboard alone: Tab visits each
// control in the form's order and comes back to the first, Escape closes a
// window that has a Close or Cancel button, Enter presses the default button
// (or the button that has the focus), a memo passes Tab on, and an edit whose
// text the program sets shows it from its start.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/options/FAddit.h"
#include "client/options/uoptions.h"
#include "client/server/FSugSite.h"
#include "client/server/UDown.h"
#include "client/server/uErrorConnecting.h"
#include "client/uCatalogue.h"
#include "client/window/FAbout.h"
#include "client/window/FGoSite.h"
#include "client/window/FStat.h"
#include "client/window/uFindDialog.h"
#include "components/GlyphChkLs.h"
#include "platform/Dialogs.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/dialogs/KeyboardWalk.h"
#include "tests/options/OptionsTestSupport.h"

namespace {

using kvtest::FocusName;
using kvtest::Press;
using Names = std::vector<std::string>;

// A shop whose address is wider than the options dialog's field for it.
constexpr const char *LongAddress = "http://www.haller-elektronik.test/";

std::unique_ptr<QWidget> MakeOptions() {
  TOptionsEvents E;
  E.GetBrowserCommand = [] { return std::string("/usr/lib/firefox-esr/firefox-esr.bin"); };
  auto Dialog = std::make_unique<TfrmOptions>(std::move(E));
  static kv::TStringList Granted;
  Granted.Clear();
  Granted.Add("Search");
  Dialog->Features = &Granted;
  return Dialog;
}

// The dialog opens on its first page; the user turns to another with the
// page tabs focused, and ticks Tick there to enable what it guards.
std::function<void(QWidget *)> TurnTo(QWidget *TfrmOptions::*Page, QCheckBox *TfrmOptions::*Tick = nullptr) {
  return [Page, Tick](QWidget *Window) {
    auto *Options = static_cast<TfrmOptions *>(Window);
    Options->pagOptions->setFocus(Qt::TabFocusReason);
    while (Options->pagOptions->currentWidget() != Options->*Page)
      kvtest::Press(Qt::Key_Right);
    if (Tick)
      (Options->*Tick)->setChecked(true);
  };
}

struct TDialogCase {
  const char *Name;
  std::function<std::unique_ptr<QWidget>()> Make;
  Names TabOrder;    // from the first focus, once round
  int EscapeResult;  // the dialog's result after Escape; -1 for none
  // What the user does first, once the window is shown.
  std::function<void(QWidget *)> Prepare = nullptr;
};

const std::vector<TDialogCase> &Dialogs() {
  static const std::vector<TDialogCase> Cases = {
      {"SuggestSite",
       [] { return std::make_unique<TfrmSuggestSite>(); },
       {"edtName", "edtEmail", "edtSiteName", "edtSiteUrl", "edtComments", "btnSubmit", "btnClear", "btnClose"},
       QDialog::Rejected},
      // Not a question: closing it leaves no result.
      {"Statistics", [] { return std::make_unique<TfrmStatistics>(); }, {"btnClose"}, -1},
      {"About", [] { return std::make_unique<TfrmAbout>(nullptr, nullptr, nullptr); }, {"btnClose"},
       QDialog::Rejected},
      {"GotoSite", [] { return std::make_unique<TfrmGotoSite>(); }, {"chkShowMessageAgain", "btnYes", "btnNo"},
       QDialog::Rejected},
      {"ErrorConnecting",
       [] { return std::make_unique<TfrmErrorConnecting>(); },
       {"Memo1", "btnReconnect", "btnProxyInfo", "btnOK"},
       QDialog::Rejected},
      {"ErrorConnectingWithProxy",
       [] {
         auto D = std::make_unique<TfrmErrorConnecting>();
         D->btnProxyInfoClick();
         D->cbUseProxy->setChecked(true);
         return D;
       },
       {"Memo1", "btnReconnect", "btnOK", "cbUseProxy", "edtServer", "edtPort", "edtProxyUserName",
        "edtProxyPassword"},
       QDialog::Rejected},
      {"OptionsSites",
       [] { return MakeOptions(); },
       {"pagOptions", "lbSites", "btnSelectAll", "btnDeSelectAll", "editURL", "btnURL",
        "editLocation", "editCurrency", "editLanguage", "lbCategories", "btnOK", "btnCancel"},
       QDialog::Rejected},
      {"OptionsProxy",
       [] { return MakeOptions(); },
       {"pagOptions", "chkUseProxy", "editHost", "btnLookUpProxy", "editPort", "btnLookUpPort", "edtProxyUserName",
        "edtProxyPassword", "btnOK", "btnCancel"},
       QDialog::Rejected, TurnTo(&TfrmOptions::tabProxy, &TfrmOptions::chkUseProxy)},
      {"OptionsAdvanced",
       [] { return MakeOptions(); },
       {"pagOptions", "chkLimitResults", "editMaxResults", "rbTotal", "edtMaxSockets", "chkInStockOnly",
        "btnAdvancedFilter", "btnOK", "btnCancel"},
       QDialog::Rejected, TurnTo(&TfrmOptions::tabAdvanced, &TfrmOptions::chkLimitResults)},
      {"OptionsBrowser",
       [] { return MakeOptions(); },
       {"pagOptions", "edtBrowser", "btnDefault", "btnOK", "btnCancel"},
       QDialog::Rejected, TurnTo(&TfrmOptions::tabBrowser)},
      {"AdvancedFilter",
       [] {
         auto D = std::make_unique<TfrmFilter>(nullptr);
         D->chkAdditionalwords->setChecked(true);
         return D;
       },
       {"chkInStockOnly", "chkAllSearchWords", "chkAdditionalwords", "edtAdditionalWords", "btnOK", "btnCancel"},
       QDialog::Rejected},
      {"Find",
       [] {
         auto D = std::make_unique<TFindDialog>();
         D->SetFindText("R1*");
         return D;
       },
       {"edtFind", "chkWholeWord", "btnFind", "btnCancel"},
       QDialog::Rejected},
      {"DownLoad", [] { return std::make_unique<TfrmDownLoad>(".", TFetchFunctions{}); }, {"btnOk"},
       QDialog::Rejected},
  };
  return Cases;
}

const TDialogCase &Dialog(const std::string &Name) {
  for (const TDialogCase &C : Dialogs())
    if (Name == C.Name)
      return C;
  throw std::logic_error("no dialog " + Name);
}

// The catalogue bound over two fixture shops, one with a long address; every
// message box answered OK.
template <typename Base> class KeyboardFixture : public Base {
protected:
  void SetUp() override {
    clienttest::RecordMessageBoxes(Boxes);
    optionstest::AddSite({"Haller", "Haller Elektronik", std::string("SiteURL=") + LongAddress + "\n"});
    optionstest::AddSite({"Beta", "Beta Bits", ""});
    CatalogueLibraryName = std::string(KV_BIN_DIR) + "/libprimary.so";
    ASSERT_TRUE(BindCatalogue(optionstest::NoProgress)) << CatalogueBindError;
  }
  void TearDown() override {
    Window.reset();
    UnbindCatalogue();
    kv::SetMessageBoxHook({});
  }
  void Open(const TDialogCase &C) {
    Window = C.Make();
    ASSERT_TRUE(kvtest::ShowActive(Window.get())) << C.Name;
    if (C.Prepare)
      C.Prepare(Window.get());
  }
  kvtest::IsolatedEnv Env;
  std::vector<std::string> Boxes;
  std::unique_ptr<QWidget> Window;
};

class DialogKeys : public KeyboardFixture<::testing::TestWithParam<TDialogCase>> {};

TEST_P(DialogKeys, TabVisitsEveryControlInTheFormsOrderAndComesBack) {
  const TDialogCase &C = GetParam();
  Open(C);
  EXPECT_EQ(kvtest::TabWalk(), C.TabOrder);
  // Shift+Tab goes the same way back.
  Names Back{FocusName()};
  for (size_t I = 1; I < C.TabOrder.size(); ++I) {
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    Back.push_back(FocusName());
  }
  Names Expected{C.TabOrder.front()};
  Expected.insert(Expected.end(), C.TabOrder.rbegin(), C.TabOrder.rend() - 1);
  EXPECT_EQ(Back, Expected);
  // No memo took a tab character on the way.
  for (QPlainTextEdit *Memo : Window->findChildren<QPlainTextEdit *>())
    EXPECT_FALSE(Memo->toPlainText().contains('\t')) << kvtest::ControlName(Memo);
}

TEST_P(DialogKeys, EscapeClosesTheWindow) {
  const TDialogCase &C = GetParam();
  Open(C);
  if (auto *D = qobject_cast<QDialog *>(Window.get()))
    D->setResult(-1);
  Press(Qt::Key_Escape);
  EXPECT_FALSE(Window->isVisible());
  if (auto *D = qobject_cast<QDialog *>(Window.get()))
    EXPECT_EQ(D->result(), C.EscapeResult);
  else
    ADD_FAILURE() << "Escape is left to a dialog";
}

TEST_P(DialogKeys, EveryMemoPassesTab) {
  Open(GetParam());
  for (QPlainTextEdit *Memo : Window->findChildren<QPlainTextEdit *>())
    EXPECT_TRUE(Memo->tabChangesFocus()) << kvtest::ControlName(Memo);
  for (QTextEdit *Memo : Window->findChildren<QTextEdit *>())
    EXPECT_TRUE(Memo->tabChangesFocus()) << kvtest::ControlName(Memo);
}

TEST_P(DialogKeys, AnEditShowsTheTextTheProgramSetsFromItsStart) {
  Open(GetParam());
  const QString Long = QString(LongAddress).repeated(4);
  for (QLineEdit *Edit : Window->findChildren<QLineEdit *>()) {
    // A spin box's or combo box's edit belongs to its box.
    if (qobject_cast<QAbstractSpinBox *>(Edit->parentWidget()) || qobject_cast<QComboBox *>(Edit->parentWidget()))
      continue;
    Edit->setText(Long);
    EXPECT_EQ(Edit->cursorPosition(), 0) << kvtest::ControlName(Edit);
    // What the user types stays in the order typed.
    if (Edit->isReadOnly() || !Edit->isEnabled())
      continue;
    Edit->clear();
    QTest::keyClicks(Edit, "12.5");
    EXPECT_EQ(Edit->text(), "12.5") << kvtest::ControlName(Edit);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, DialogKeys, ::testing::ValuesIn(Dialogs()),
                         [](const auto &Info) { return std::string(Info.param.Name); });

struct TEnterCase {
  const char *Name;
  const char *Dialog;
  const char *In;       // the control Enter is pressed in
  const char *Pressed;  // the button it presses; "" for none
};

const TEnterCase EnterCases[] = {
    {"SuggestSiteInAnEdit", "SuggestSite", "edtName", "btnSubmit"},
    {"SuggestSiteOnClear", "SuggestSite", "btnClear", "btnClear"},
    // A new line in the comments.
    {"SuggestSiteInTheMemo", "SuggestSite", "edtComments", ""},
    {"Statistics", "Statistics", "btnClose", "btnClose"},
    {"About", "About", "btnClose", "btnClose"},
    {"GotoSiteOnTheCheckBox", "GotoSite", "chkShowMessageAgain", "btnYes"},
    {"GotoSiteOnNo", "GotoSite", "btnNo", "btnNo"},
    {"ErrorConnectingOnTryAgain", "ErrorConnecting", "btnReconnect", "btnReconnect"},
    {"ErrorConnectingOnProxyDetails", "ErrorConnecting", "btnProxyInfo", "btnProxyInfo"},
    // The reasons are read, not a way to quit the program.
    {"ErrorConnectingInTheReasons", "ErrorConnecting", "Memo1", ""},
    {"ErrorConnectingInAProxyEdit", "ErrorConnectingWithProxy", "edtServer", "btnOK"},
    {"OptionsInTheSiteList", "OptionsSites", "lbSites", "btnOK"},
    {"OptionsOnCancel", "OptionsSites", "btnCancel", "btnCancel"},
    {"OptionsInAProxyEdit", "OptionsProxy", "editHost", "btnOK"},
    {"AdvancedFilterInTheWords", "AdvancedFilter", "edtAdditionalWords", "btnOK"},
    {"FindInTheText", "Find", "edtFind", "btnFind"},
    {"FindOnCancel", "Find", "btnCancel", "btnCancel"},
    {"DownLoad", "DownLoad", "btnOk", "btnOk"},
};

class EnterKey : public KeyboardFixture<::testing::TestWithParam<TEnterCase>> {};

TEST_P(EnterKey, PressesTheDefaultButtonOrTheFocusedOne) {
  const TEnterCase &C = GetParam();
  Open(Dialog(C.Dialog));
  // Only which button is pressed is looked at, not what it then does.
  Names Pressed;
  for (QPushButton *B : Window->findChildren<QPushButton *>()) {
    QObject::disconnect(B, &QAbstractButton::clicked, nullptr, nullptr);
    QObject::connect(B, &QAbstractButton::clicked, [&Pressed, B] { Pressed.push_back(kvtest::ControlName(B)); });
  }
  auto *In = Window->findChild<QWidget *>(C.In);
  ASSERT_TRUE(In);
  In->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(FocusName(), C.In);
  Press(Qt::Key_Return);
  EXPECT_EQ(Pressed, *C.Pressed ? Names{C.Pressed} : Names{});
}

INSTANTIATE_TEST_SUITE_P(Table, EnterKey, ::testing::ValuesIn(EnterCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

class KeyboardCases : public KeyboardFixture<::testing::Test> {};

TEST_F(KeyboardCases, TheSiteAddressShowsFromItsStartWhenTheSiteIsChosenWithTheKeyboard) {
  Open(Dialog("OptionsSites"));
  auto *Options = static_cast<TfrmOptions *>(Window.get());
  Options->lbSites->setFocus(Qt::TabFocusReason);
  Options->lbSites->setCurrentRow(-1);
  int Haller = -1;
  while (Options->lbSites->currentRow() + 1 < Options->lbSites->count() && Haller < 0) {
    Press(Qt::Key_Down);
    if (Options->lbSites->currentItem()->text().startsWith("Haller"))
      Haller = Options->lbSites->currentRow();
  }
  ASSERT_GE(Haller, 0);
  EXPECT_EQ(Options->editURL->text(), LongAddress);
  EXPECT_EQ(Options->editURL->cursorPosition(), 0);
}

TEST_F(KeyboardCases, EscapeOrCloseOnTheStatisticsUnchecksItsMenuItem) {
  Open(Dialog("Statistics"));
  auto *Statistics = static_cast<TfrmStatistics *>(Window.get());
  int Closed = 0;
  Statistics->OnClose = [&Closed] { ++Closed; };
  Press(Qt::Key_Escape);
  EXPECT_FALSE(Statistics->isVisible());
  EXPECT_EQ(Closed, 1);
  // So does its title bar's close.
  Statistics->show();
  Statistics->close();
  EXPECT_FALSE(Statistics->isVisible());
  EXPECT_EQ(Closed, 2);
}

TEST_F(KeyboardCases, TabTypesNothingIntoTheSuggestionsComments) {
  Open(Dialog("SuggestSite"));
  auto *Form = static_cast<TfrmSuggestSite *>(Window.get());
  Form->edtComments->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(Form->edtComments, "Good shop");
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusName(), "btnSubmit");
  EXPECT_EQ(Form->edtComments->toPlainText(), "Good shop");
}

}  // namespace
