#include "client/window/uWindowFit.h"

#include <QComboBox>
#include <QEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>

TElidedLabel::TElidedLabel(QWidget *Parent) : QLabel(Parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
}

QSize TElidedLabel::minimumSizeHint() const {
  const QMargins M = contentsMargins();
  return {0, fontMetrics().height() + M.top() + M.bottom() + 2 * margin()};
}

QString TElidedLabel::ShownText() const {
  QString Line = text();
  // One line: a line break in a status text must not make the label taller.
  Line.replace(QLatin1String("\r\n"), QLatin1String(" "));
  Line.replace(QLatin1Char('\n'), QLatin1Char(' '));
  Line.replace(QLatin1Char('\r'), QLatin1Char(' '));
  const int Room = contentsRect().width() - 2 * margin();
  return fontMetrics().elidedText(Line, Qt::ElideRight, std::max(Room, 0));
}

void TElidedLabel::paintEvent(QPaintEvent *) {
  QPainter P(this);
  drawFrame(&P);
  const QRect Room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  style()->drawItemText(&P, Room, int(QStyle::visualAlignment(layoutDirection(), alignment())), palette(),
                        isEnabled(), ShownText(), foregroundRole());
}

TToolbarButton::TToolbarButton(QWidget *Parent, int LeastWidth) : QToolButton(Parent), FLeastWidth(LeastWidth) {}

// The button's minimum is its size hint: the caption always shows whole.
QSize TToolbarButton::sizeHint() const {
  QSize S = QToolButton::sizeHint();
  S.setWidth(std::max(S.width(), FLeastWidth));
  return S;
}

TOverflowPanel::TOverflowPanel(QWidget *Parent) : QWidget(Parent), FContent(new QWidget(this)) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

QSize TOverflowPanel::sizeHint() const { return FContent->sizeHint(); }

QSize TOverflowPanel::minimumSizeHint() const { return {0, FContent->minimumSizeHint().height()}; }

bool TOverflowPanel::event(QEvent *Event) {
  // The content's needs changed: tell the window's layout, place it again.
  if (Event->type() == QEvent::LayoutRequest) {
    updateGeometry();
    PlaceContent();
  }
  return QWidget::event(Event);
}

void TOverflowPanel::resizeEvent(QResizeEvent *Event) {
  QWidget::resizeEvent(Event);
  PlaceContent();
}

void TOverflowPanel::PlaceContent() {
  FContent->setGeometry(0, 0, std::max(width(), FContent->minimumSizeHint().width()), height());
}

void SizeByRoomNotText(QComboBox &Box) {
  Box.setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  Box.setMinimumContentsLength(0);
}
