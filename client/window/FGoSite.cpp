#include "client/window/FGoSite.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

#include "client/settings/uSettings.h"
#include "platform/qt/Codepage.h"

using namespace kv;

namespace {
const char *const GoSiteText = "Do you want to go directly to the <SOURCE_NAME> web site?";

QLabel *MakeLabel(QWidget *Parent, const char *Name, const char *Text, int X, int Y, int W, int H) {
  auto *L = new QLabel(QString::fromLatin1(Text), Parent);
  L->setObjectName(Name);
  // Site names come from the shops: never read as markup.
  L->setTextFormat(Qt::PlainText);
  L->setGeometry(X, Y, W, H);
  return L;
}
std::string ReplaceAll(std::string Text, const std::string &From, const std::string &To) {
  for (size_t At = Text.find(From); At != std::string::npos; At = Text.find(From, At + To.size()))
    Text.replace(At, From.size(), To);
  return Text;
}
}  // namespace

TfrmGotoSite::TfrmGotoSite(QWidget *Owner) : QDialog(Owner) {
  setObjectName("frmGotoSite");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(345, 108);
  lblNoProd = MakeLabel(this, "lblNoProd", "There is not a web page for this specific product.", 8, 4, 332, 16);
  lblNoProd->setWordWrap(true);
  lblGoSite = MakeLabel(this, "lblGoSite", GoSiteText, 8, 20, 332, 16);
  lblGoSite->setWordWrap(true);
  lblSearchAll = MakeLabel(this, "lblSearchAll",
                           "Are you sure you wish to search all categories as this may take some time?", 8, 4, 332,
                           34);
  lblSearchAll->setWordWrap(true);
  lblSuggestFiltering = MakeLabel(this, "lblSuggestFiltering", "", 8, 4, 332, 16);
  lblNoConnection = MakeLabel(this, "lblNoConnection", "", 8, 4, 332, 16);
  chkShowMessageAgain = new QCheckBox("&Don't show this message again", this);
  chkShowMessageAgain->setObjectName("chkShowMessageAgain");
  chkShowMessageAgain->setGeometry(8, 54, 332, 20);
  btnYes = new QPushButton("&Yes", this);
  btnYes->setObjectName("btnYes");
  btnYes->setGeometry(96, 76, 72, 25);
  btnYes->setDefault(true);
  btnNo = new QPushButton("&No", this);
  btnNo->setObjectName("btnNo");
  btnNo->setGeometry(176, 76, 72, 25);
  connect(btnYes, &QPushButton::clicked, this, [this] { done(mrYes); });
  connect(btnNo, &QPushButton::clicked, this, [this] { done(mrNo); });
  FormCreate();
}

void TfrmGotoSite::FormCreate() {
  SetMode(0);
  lblSuggestFiltering->setText("You seem to be getting irrelevant results for your search.\r\n\r\n"
                               "Do you want to re-start your search with keyword filtering switched on?");
  lblNoConnection->setText("Korvandel requires an internet connection.\r\n\r\n"
                           "Are you sure that you are connected to the Internet?");
  for (QLabel *L : {lblSuggestFiltering, lblNoConnection}) {
    L->setFixedWidth(332);
    L->setWordWrap(true);
  }
}

void TfrmGotoSite::SetMode(uint8_t Mode) {
  FMode = Mode;
  lblNoProd->setVisible(Mode == 0);
  lblGoSite->setVisible(Mode == 0);
  lblSearchAll->setVisible(Mode == 1);
  lblSuggestFiltering->setVisible(Mode == 2);
  lblNoConnection->setVisible(Mode == 3);
  static const char *const Captions[] = {"Load Merchant Site", "Search All Categories?", "Irrelevent Search Results",
                                         "Confirmation?"};
  if (Mode <= 3)
    setWindowTitle(Captions[Mode]);
  Arrange();
}

void TfrmGotoSite::showEvent(QShowEvent *Event) {
  Arrange();
  QDialog::showEvent(Event);
}

// The client area is 345 by 108; a longer question (a long site name, the
// texts of modes 2 and 3 in a larger font) makes it taller, not clipped.
void TfrmGotoSite::Arrange() {
  lblGoSite->move(8, lblNoProd->y() + std::max(16, lblNoProd->heightForWidth(lblNoProd->width())));
  int Bottom = 0;
  for (QLabel *L : {lblNoProd, lblGoSite, lblSearchAll, lblSuggestFiltering, lblNoConnection}) {
    if (L->isHidden())
      continue;
    const int Height = L->wordWrap() ? std::max(16, L->heightForWidth(L->width())) : 16;
    L->resize(L->width(), Height);
    Bottom = std::max(Bottom, L->y() + Height);
  }
  chkShowMessageAgain->move(8, std::max(54, Bottom + 2));
  btnYes->move(96, chkShowMessageAgain->y() + 22);
  btnNo->move(176, btnYes->y());
  setFixedSize(345, std::max(108, btnYes->y() + btnYes->height() + 4));
}

bool ConfirmGotoSite(const std::string &SiteName, bool &ShowGoSite, bool &GoSite, QWidget *Owner) {
  if (ShowGoSite) {
    TfrmGotoSite Dialog(Owner);
    Dialog.SetMode(0);
    Dialog.lblGoSite->setText(FromAnsi(ReplaceAll(GoSiteText, "<SOURCE_NAME>", SiteName)));
    const int Result = Dialog.exec();
    GoSite = Result == mrYes;
    if (Dialog.chkShowMessageAgain->isChecked())
      ShowGoSite = false;
  }
  // The answer counts even when it cannot be stored.
  try {
    WriteSettingBool("Advanced", "ShowGoSite", ShowGoSite);
    WriteSettingBool("Advanced", "GoSite", GoSite);
  } catch (const std::exception &) {
  }
  return GoSite;
}
