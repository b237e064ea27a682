#include "client/window/FAbout.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPushButton>

#include "client/settings/uUserDetails.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

using namespace kv;

const char *const ProductWebAddress = "http://www.korvandel.test/";
const char *const SupportMailAddress = "support@korvandel.test";
const char *const CommentsMailAddress = "comments@korvandel.test";

TLinkLabel::TLinkLabel(QWidget *Parent) : QLabel(Parent) {
  setTextFormat(Qt::PlainText);
  setCursor(Qt::PointingHandCursor);
  QFont F = font();
  F.setUnderline(true);
  setFont(F);
  QPalette P = palette();
  P.setColor(QPalette::WindowText, Qt::blue);
  setPalette(P);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent *Event) {
  QLabel::mouseReleaseEvent(Event);
  if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint()) && OnClick)
    OnClick();
}

namespace {
QLabel *MakeLabel(QWidget *Parent, const char *Name, const QString &Text, int X, int Y, int W, int H) {
  auto *L = new QLabel(Text, Parent);
  L->setObjectName(Name);
  L->setTextFormat(Qt::PlainText);
  L->setGeometry(X, Y, W, H);
  return L;
}
}  // namespace

TfrmAbout::TfrmAbout(QWidget *Owner, std::function<void(const std::string &)> OpenURL,
                     std::function<void()> RepaintAnimations)
    : QDialog(Owner), FOpenURL(std::move(OpenURL)), FRepaintAnimations(std::move(RepaintAnimations)) {
  setObjectName("frmAbout");
  setWindowTitle("About Korvandel");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(346, 232);

  imgLogo = new QLabel(this);
  imgLogo->setObjectName("imgLogo");
  imgLogo->setGeometry(76, 8, 193, 44);
  imgLogo->setPixmap(QPixmap(":/client/logo.gif"));
  lblSlogan1 = MakeLabel(this, "lblSlogan1", "The World's Best Internet Search", 8, 58, 330, 18);
  lblSlogan2 = MakeLabel(this, "lblSlogan2", "for Electronic Components", 8, 76, 330, 18);
  for (QLabel *L : {lblSlogan1, lblSlogan2}) {
    L->setAlignment(Qt::AlignCenter);
    QFont F = L->font();
    F.setBold(true);
    L->setFont(F);
  }
  lblKey = MakeLabel(this, "lblKey", "", 16, 102, 314, 16);
  lblVersion = MakeLabel(this, "lblVersion", "", 16, 120, 314, 16);

  lblWebCaption = MakeLabel(this, "lblWebCaption", " Web:", 16, 144, 70, 16);
  lblSupportCaption = MakeLabel(this, "lblSupportCaption", "Support", 16, 162, 70, 16);
  lblCommentsCaption = MakeLabel(this, "lblCommentsCaption", "Comments", 16, 180, 70, 16);
  auto MakeLink = [this](const char *Name, const char *Text, int Y) {
    auto *L = new TLinkLabel(this);
    L->setObjectName(Name);
    L->setText(Text);
    L->setGeometry(90, Y, 240, 16);
    return L;
  };
  lblWeb = MakeLink("lblWeb", ProductWebAddress, 144);
  lblSupport = MakeLink("lblSupport", SupportMailAddress, 162);
  lblComments = MakeLink("lblComments", CommentsMailAddress, 180);
  lblWeb->OnClick = [this] { lblWebClick(); };
  lblSupport->OnClick = [this] { lblSupportClick(); };
  lblComments->OnClick = [this] { lblCommentsClick(); };

  btnClose = new QPushButton("OK", this);
  btnClose->setObjectName("btnClose");
  btnClose->setGeometry(136, 202, 75, 25);
  btnClose->setDefault(true);
  connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
  FormCreate();
}

void TfrmAbout::FormCreate() {
  lblKey->setText(FromAnsi("Your Customer ID: " + GetCustomerID()));
  lblVersion->setText(FromAnsi("Version Number: " + FormatFloat("0.000", CheckLibraryVersion() / 1000.0)));
  if (FRepaintAnimations)
    FRepaintAnimations();
}

void TfrmAbout::changeEvent(QEvent *Event) {
  QDialog::changeEvent(Event);
  if (Event->type() == QEvent::ActivationChange && isActiveWindow())
    FormActivate();
}

void TfrmAbout::FormActivate() {
  if (FRepaintAnimations)
    FRepaintAnimations();
}

void TfrmAbout::btnCloseClick() { accept(); }

void TfrmAbout::lblWebClick() {
  if (FOpenURL)
    FOpenURL(ProductWebAddress);
}

void TfrmAbout::lblSupportClick() {
  if (FOpenURL)
    FOpenURL("mailto:" + ToAnsi(lblSupport->text()));
}

void TfrmAbout::lblCommentsClick() {
  if (FOpenURL)
    FOpenURL("mailto:" + ToAnsi(lblComments->text()));
}
