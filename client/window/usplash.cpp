#include "client/window/usplash.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>

#include "common/Common.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/Messages.h"

TfrmSplash *frmSplash = nullptr;

void SetLabelCaption(QLabel *Label, const std::string &Caption) {
  Label->setProperty("Caption", QByteArray::fromStdString(Caption));
  // A label caption takes "&" as an accelerator prefix and "&&" as one "&".
  std::string Shown;
  for (size_t I = 0; I < Caption.size(); ++I) {
    if (Caption[I] == '&' && I + 1 < Caption.size())
      ++I;
    else if (Caption[I] == '&')
      continue;
    Shown += Caption[I];
  }
  Label->setText(kv::FromAnsi(Shown));
}

std::string LabelCaption(const QLabel *Label) { return Label->property("Caption").toByteArray().toStdString(); }

namespace {

QLabel *MakeLabel(QWidget *Parent, const char *Name, const QString &Text, int Left, int Top) {
  auto *L = new QLabel(Text, Parent);
  L->setObjectName(Name);
  L->move(Left, Top);
  L->adjustSize();
  return L;
}

QFont Arial(int Pixels, bool Bold = false) {
  QFont F("Arial");
  F.setPixelSize(Pixels);
  F.setBold(Bold);
  return F;
}

}  // namespace

TfrmSplash::TfrmSplash(QWidget *Owner)
    : QWidget(Owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("frmSplash");
  setFixedSize(407, 167);
  setAutoFillBackground(true);
  QPalette P = palette();
  P.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  setPalette(P);
  setFont(Arial(11));

  Bevel2 = new QFrame(this);
  Bevel2->setObjectName("Bevel2");
  Bevel2->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Bevel2->setGeometry(4, 4, 400, 159);

  lblName = MakeLabel(this, "lblName", "Korvandel", 128, 11);
  QFont NameFont("MS Sans Serif");
  NameFont.setPixelSize(21);
  NameFont.setBold(true);
  lblName->setFont(NameFont);
  lblName->hide();
  lblTM = MakeLabel(this, "lblTM", "TM", 226, 12);
  lblTM->hide();

  imgLogo = new QLabel(this);
  imgLogo->setObjectName("imgLogo");
  imgLogo->setGeometry(107, 11, 193, 44);
  imgLogo->setAlignment(Qt::AlignCenter);

  lblShopping1 = MakeLabel(this, "lblShopping1", "The World's Best Internet Search", 16, 65);
  lblShopping2 = MakeLabel(this, "lblShopping2", "for Electronic Components", 16, 84);
  for (QLabel *L : {lblShopping1, lblShopping2}) {
    L->setFont(Arial(15, true));
    L->setAlignment(Qt::AlignCenter);
    L->setGeometry(16, L->y(), 377, 18);
  }
  lblCopy = MakeLabel(this, "lblCopy", "Korvandel(tm) - a parts search for the electronics trade", 56, 108);
  lblRegText = MakeLabel(this, "lblRegText", "Registering Site: ", 16, 126);
  lblRegister = new QLabel(this);
  lblRegister->setObjectName("lblRegister");
  lblRegister->setGeometry(96, 126, 297, 13);
  lblRegister->setTextFormat(Qt::PlainText);

  pbDlls = new QProgressBar(this);
  pbDlls->setObjectName("pbDlls");
  pbDlls->setGeometry(16, 143, 378, 13);
  pbDlls->setRange(0, 100);
  pbDlls->setValue(0);
  pbDlls->setTextVisible(false);

  if (QScreen *Screen = QGuiApplication::primaryScreen())
    move(Screen->geometry().center() - rect().center());
  FormCreate();
}

void TfrmSplash::FormCreate() {
  for (QLabel *L : {lblName, lblTM, lblCopy, lblRegister, lblRegText})
    L->adjustSize();
  lblRegister->move(lblRegText->x() + lblRegText->width(), lblRegister->y());
  lblRegister->resize(pbDlls->width() - lblRegText->width(), 13);
}

void TfrmSplash::FormResize() { lblTM->move(lblName->x() + lblName->width() + 2, lblName->y()); }

void TfrmSplash::FormShow() {
  // The logo's transparent parts take the form's colour.
  QPixmap Logo(":/client/logo.gif");
  QPixmap Canvas(imgLogo->size());
  Canvas.fill(palette().color(QPalette::Window));
  QPainter Painter(&Canvas);
  Painter.drawPixmap(QPoint(0, 0), Logo);
  Painter.end();
  imgLogo->setPixmap(Canvas);
}

void TfrmSplash::showEvent(QShowEvent *Event) {
  QWidget::showEvent(Event);
  FormShow();
}

void TfrmSplash::resizeEvent(QResizeEvent *Event) {
  QWidget::resizeEvent(Event);
  FormResize();
}

void SplashInitProgress(int32_t Total, int32_t Done, const std::string &SiteName) {
  if (!frmSplash)
    return;
  struct TUpdatesLock {
    QWidget *W;
    explicit TUpdatesLock(QWidget *AW) : W(AW) { W->setUpdatesEnabled(false); }
    ~TUpdatesLock() { W->setUpdatesEnabled(true); }
  };
  {
    TUpdatesLock Lock(frmSplash);
    // The bar's range and position are 16-bit values.
    frmSplash->pbDlls->setMaximum(static_cast<uint16_t>(Total));
    frmSplash->pbDlls->setValue(static_cast<uint16_t>(Done));
    std::string Name = SiteName;
    ReplaceStrings(Name, "&", "###");
    ReplaceStrings(Name, "###", "&&");
    SetLabelCaption(frmSplash->lblRegister, " " + Name);
  }
  kv::ProcessMessages();
}
