#include "client/window/FStop.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QScreen>

#include <cmath>

TfrmStop *frmStop = nullptr;

namespace {

constexpr int PictureSize = 32;

// Our own pictures, drawn once: a stop sign, a coin, a green arrow.
QPixmap DrawPicture(int Mode) {
  QPixmap P(PictureSize, PictureSize);
  P.fill(Qt::transparent);
  QPainter G(&P);
  G.setRenderHint(QPainter::Antialiasing);
  switch (Mode) {
  case 0: {
    QPolygonF Octagon;
    for (int I = 0; I < 8; ++I) {
      const double A = (22.5 + 45.0 * I) * M_PI / 180.0;
      Octagon << QPointF(16 + 15 * std::cos(A), 16 + 15 * std::sin(A));
    }
    G.setPen(QPen(Qt::white, 1.5));
    G.setBrush(QColor(0xcc, 0x22, 0x22));
    G.drawPolygon(Octagon);
    G.fillRect(QRectF(7, 13.5, 18, 5), Qt::white);
    break;
  }
  case 1:
    G.setPen(QPen(QColor(0xa0, 0x60, 0x00), 2));
    G.setBrush(QColor(0xf0, 0xb0, 0x20));
    G.drawEllipse(QRectF(2, 2, 28, 28));
    G.setPen(QPen(QColor(0x60, 0x40, 0x00), 2.5));
    G.drawLine(QPointF(16, 7), QPointF(16, 25));
    G.drawArc(QRectF(10, 9, 12, 7), 30 * 16, 240 * 16);
    G.drawArc(QRectF(10, 16, 12, 7), 210 * 16, 240 * 16);
    break;
  default: {
    QPainterPath Arrow;
    Arrow.moveTo(4, 11);
    Arrow.lineTo(17, 11);
    Arrow.lineTo(17, 4);
    Arrow.lineTo(29, 16);
    Arrow.lineTo(17, 28);
    Arrow.lineTo(17, 21);
    Arrow.lineTo(4, 21);
    Arrow.closeSubpath();
    G.setPen(QPen(QColor(0x1a, 0x6a, 0x2a), 1.5));
    G.setBrush(QColor(0x2a, 0xaa, 0x3a));
    G.drawPath(Arrow);
    break;
  }
  }
  return P;
}

}  // namespace

TfrmStop::TfrmStop(QWidget *Owner)
    : QWidget(Owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
  setObjectName("frmStop");
  setFixedSize(260, 84);
  QLabel **Pictures[] = {&imgStop, &imgCurrency, &imgStart};
  QLabel **Labels[] = {&lblStop, &lblCurrency, &lblStart};
  const char *const PictureNames[] = {"imgStop", "imgCurrency", "imgStart"};
  const char *const LabelNames[] = {"lblStop", "lblCurrency", "lblStart"};
  const char *const Texts[] = {"Stopping all Searches", "Updating Exchange Rates", "Starting Parallel Searches"};
  for (int I = 0; I < 3; ++I) {
    QLabel *Picture = new QLabel(this);
    Picture->setObjectName(PictureNames[I]);
    Picture->setGeometry(12, 10, PictureSize, PictureSize);
    Picture->setPixmap(DrawPicture(I));
    *Pictures[I] = Picture;
    QLabel *Label = new QLabel(Texts[I], this);
    Label->setObjectName(LabelNames[I]);
    Label->setGeometry(56, 18, 196, 16);
    *Labels[I] = Label;
  }
  pbSearches = new QProgressBar(this);
  pbSearches->setObjectName("pbSearches");
  pbSearches->setGeometry(12, 52, 236, 18);
  pbSearches->setRange(0, 100);
  pbSearches->setValue(0);
  pbSearches->setTextVisible(false);
  if (QScreen *Screen = QGuiApplication::primaryScreen())
    move(Screen->geometry().center() - rect().center());
  FormCreate();
}

void TfrmStop::FormCreate() { SetMode(0); }

void TfrmStop::SetMode(uint8_t Mode) {
  FMode = Mode;
  QLabel *const Pictures[] = {imgStop, imgCurrency, imgStart};
  QLabel *const Labels[] = {lblStop, lblCurrency, lblStart};
  for (int I = 0; I < 3; ++I) {
    Pictures[I]->setVisible(I == Mode);
    Labels[I]->setVisible(I == Mode);
    if (I == Mode)
      setWindowTitle(Labels[I]->text());
  }
}
