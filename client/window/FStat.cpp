#include "client/window/FStat.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

#include "client/uCatalogue.h"
#include "platform/SysUtils.h"

using namespace kv;

TfrmStatistics *frmStatistics = nullptr;

std::string FormatElapsed(TDateTime Elapsed) { return FormatDateTime("hh:nn:ss", std::max(0.0, Elapsed)); }

std::string FormatAverage(double ElapsedSeconds, int Complete) {
  const double Average = Complete == 0 ? ElapsedSeconds : ElapsedSeconds / Complete;
  // Where the whole seconds would not fit an integer the figure is no time.
  if (!std::isfinite(Average) || std::fabs(Average) >= std::numeric_limits<int>::max())
    return "0m:0s";
  const int Minutes = static_cast<int>(std::trunc(Average)) / 60;
  return IntToStr(Minutes) + "m:" + FormatFloat("0.0", Average - 60.0 * Minutes) + "s";
}

TfrmStatistics::TfrmStatistics(QWidget *Owner)
    : QDialog(Owner, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint) {
  setObjectName("frmStatistics");
  setWindowTitle("Statistics");
  auto *Grid = new QGridLayout(this);
  Grid->setContentsMargins(12, 10, 12, 10);
  Grid->setHorizontalSpacing(12);
  auto Row = [this, Grid](int R, const char *Caption, const char *Name) {
    Grid->addWidget(new QLabel(Caption, this), R, 0);
    auto *Value = new QLabel("0", this);
    Value->setObjectName(Name);
    Value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Value->setMinimumWidth(70);
    Grid->addWidget(Value, R, 1);
    return Value;
  };
  lblComplete = Row(0, "Number of Searches Complete:", "lblComplete");
  lblActive = Row(1, "Number of Searches Active:", "lblActive");
  lblLeft = Row(2, "Number of Searches Remaining:", "lblLeft");
  lblElasped = Row(3, "Elasped Time", "lblElasped");
  lblAverage = Row(4, "Average Time Per Search", "lblAverage");
  lblElasped->setText("00:00:00");
  lblAverage->setText("0m:0.0s");
  pbSearch = new QProgressBar(this);
  pbSearch->setObjectName("pbSearch");
  pbSearch->setTextVisible(false);
  Grid->addWidget(pbSearch, 5, 0, 1, 2);
  btnClose = new QPushButton("Close", this);
  btnClose->setObjectName("btnClose");
  btnClose->setDefault(true);
  Grid->addWidget(btnClose, 6, 0, 1, 2, Qt::AlignHCenter);
  connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
  timTime = new QTimer(this);
  timTime->setObjectName("timTime");
  timTime->setInterval(1000);
  connect(timTime, &QTimer::timeout, this, [this] { timTimeTimer(); });
  setFixedSize(sizeHint());
  if (QScreen *Screen = QGuiApplication::primaryScreen())
    move(Screen->geometry().center() - rect().center());
  FormCreate();
}

void TfrmStatistics::FormCreate() {
  UpdateActive(0);
  SetComplete(0);
  SetRemaining(0);
  SetTotal(0);
  FStartTime = 0;
}

// A range of 0 to 0 would show Qt's busy animation; an empty bar is meant.
void TfrmStatistics::SetBarMaximum(int N) {
  pbSearch->setRange(0, std::max(N, 1));
  SetBarPosition(FComplete);
}

// Qt ignores a value outside the range; the bar stops at its ends instead.
void TfrmStatistics::SetBarPosition(int N) { pbSearch->setValue(std::clamp(N, 0, pbSearch->maximum())); }

void TfrmStatistics::SetTotal(int N) {
  FTotal = N;
  SetBarMaximum(N);
}

void TfrmStatistics::SetComplete(int N) {
  FComplete = N;
  UpdateActive(FTotal - N - FRemaining);
  lblComplete->setText(QString::number(N));
  SetBarPosition(FComplete);
}

void TfrmStatistics::SetRemaining(int N) {
  FRemaining = N;
  UpdateActive(FTotal - FComplete - N);
  lblLeft->setText(QString::number(N));
  SetBarPosition(FComplete);
}

void TfrmStatistics::UpdateActive(int N) {
  FActive = FTotal - FComplete - FRemaining;
  lblActive->setText(QString::number(FActive));
  if (N == 0)
    timTime->stop();
  else if (FTiming && !timTime->isActive())
    // Sites became active again within the same search: the clock goes on.
    timTime->start();
  timTimeTimer();
}

void TfrmStatistics::StartStatistics() {
  FTiming = false;
  FTotal = 0;
  const int Sites = Catalogue.GetNumberSites ? Catalogue.GetNumberSites() : 0;
  for (int I = 0; I < Sites; ++I)
    if (SiteEligible(I))
      ++FTotal;
  UpdateActive(0);
  SetComplete(0);
  SetRemaining(FTotal);
  SetBarMaximum(FTotal);
  FStartTime = Clock();
  FTiming = true;
  timTime->start();
}

void TfrmStatistics::StopStatistics() {
  FActive = 0;
  lblActive->setText("0");
  FTiming = false;
  timTime->stop();
  timTimeTimer();
}

bool TfrmStatistics::SiteEligible(int Site) const { return OnSiteEligible && OnSiteEligible(Site); }

void TfrmStatistics::timTimeTimer() {
  if (FStartTime == 0)
    return;
  const TDateTime Elapsed = Clock() - FStartTime;
  lblElasped->setText(QString::fromStdString(FormatElapsed(Elapsed)));
  lblAverage->setText(QString::fromStdString(FormatAverage(Elapsed * 86400.0, FComplete)));
}

void TfrmStatistics::btnCloseClick() {
  hide();
  if (OnClose)
    OnClose();
}

void TfrmStatistics::reject() { btnCloseClick(); }

void TfrmStatistics::showEvent(QShowEvent *Event) {
  QDialog::showEvent(Event);
  FormShow();
}

void TfrmStatistics::FormShow() {
  if (OnRepaintAnimations)
    OnRepaintAnimations();
}
