#include "animate/fAnimate.h"

#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

namespace {
constexpr QPoint AnimationPos(1, 1);
constexpr QPoint StatusPos(0, 0);
}  // namespace

std::string AnimationFileName(const std::string &Folder) {
  return kv::IncludeTrailingBackslash(Folder) + "syscrt.avi";
}

TfrmAnimate::TfrmAnimate() {
  setWindowTitle(QStringLiteral("Animate"));
  setFixedSize(414, 34);
  setAutoFillBackground(true);
  QPalette P = palette();
  P.setColor(QPalette::Window, Qt::black);
  setPalette(P);

  pnlStatus = new QLabel(this);
  pnlStatus->setObjectName(QStringLiteral("pnlStatus"));
  pnlStatus->setGeometry(QRect(StatusPos, QSize(367, 34)));
  pnlStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pnlStatus->setAlignment(Qt::AlignCenter);
  pnlStatus->setAutoFillBackground(true);
  pnlStatus->setPalette(QPalette());
  QFont F(QStringLiteral("MS Sans Serif"));
  F.setBold(true);
  F.setPixelSize(16);
  pnlStatus->setFont(F);

  aniSearch = new TAnimate(this);
  aniSearch->setObjectName(QStringLiteral("aniSearch"));
  aniSearch->setGeometry(AnimationPos.x(), AnimationPos.y(), 55, 45);
  aniSearch->SetStopFrame(30);

  timStatus = new QTimer(this);
  timStatus->setInterval(500);
  connect(timStatus, &QTimer::timeout, this, &TfrmAnimate::timStatusTimer);

  FEmbedder.OnParentGone = [this](QWidget *W) { TakeBack(W); };
  FormCreate();
}

void TfrmAnimate::FormCreate() { aniSearch->SetFileName(AnimationFileName(kv::ProgramFolder())); }

void TfrmAnimate::timStatusTimer() {
  if (FStatusText.empty())
    pnlStatus->clear();
  else if (FFlash)
    pnlStatus->setText(pnlStatus->text().isEmpty() ? kv::FromAnsi(FStatusText) : QString());
  else
    pnlStatus->setText(kv::FromAnsi(FStatusText));
}

void TfrmAnimate::DisplayStatus(const std::string &Text, bool Flash) {
  FStatusText = Text;
  FFlash = Flash;
}

void TfrmAnimate::Lend(QWidget *W, quintptr Parent, QPoint Pos) {
  // Elsewhere than on X11 the widget stays here, unseen, and the client
  // carries on without it.
  if (!kv::TForeignEmbedder::Supported()) {
    W->show();
    return;
  }
  std::string Error;
  if (!FEmbedder.Embed(W, Parent, Pos, Error))
    throw kv::Exception(Error);
}

TfrmAnimate::~TfrmAnimate() {
  for (QWidget *W : {static_cast<QWidget *>(aniSearch), static_cast<QWidget *>(pnlStatus)}) {
    FEmbedder.Release(W);
    if (W->parentWidget() != this)
      TakeBack(W);
  }
}

void TfrmAnimate::TakeBack(QWidget *W) {
  W->setParent(this);
  W->move(W == aniSearch ? AnimationPos : StatusPos);
  W->show();
}

void TfrmAnimate::SetAnimateParent(quintptr Parent) { Lend(aniSearch, Parent, AnimationPos); }

void TfrmAnimate::SetStatusParent(quintptr Parent) {
  Lend(pnlStatus, Parent, StatusPos);
  timStatus->start();
}
