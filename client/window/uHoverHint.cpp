#include "client/window/uHoverHint.h"

#include <QFontMetrics>
#include <QLabel>
#include <QTimer>

#include "client/window/uproof.h"
#include "components/replistv.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

void HideHoverHint(TfrmHint &Hint) {
  Hint.move(-500, Hint.y());
  Hint.TargetLeft = -500;
}

void lstProducts1MouseMove(kv::TReportListView &List, TfrmHint &Hint, QTimer &timHintShow, int X, int Y) {
  const int Row = List.GetItemAt(X, Y);
  if (Row < 0) {
    Hint.lblHint->clear();
  } else {
    const QString Caption = kv::FromAnsi(kv::Trim(List.Item(Row).Caption));
    const int TextWidth = QFontMetrics(List.font()).horizontalAdvance(Caption);
    const kv::TRect Label = List.GetSubItemRect(Row, 0);
    if (Hint.lblHint->text() != Caption) {
      if (Label.Right - Label.Left < TextWidth) {
        timHintShow.start();
        Hint.lblHint->setText(Caption);
        const QPoint Corner = List.viewport()->mapToGlobal(QPoint(Label.Left, Label.Bottom));
        Hint.move(Hint.x(), Corner.y());
        Hint.TargetLeft = Corner.x();
        Hint.lblHint->setFixedWidth(300);
        Hint.lblHint->adjustSize();
        Hint.resize(Hint.lblHint->size());
      } else {
        Hint.lblHint->clear();
      }
    }
  }
  if (Hint.lblHint->text().isEmpty())
    HideHoverHint(Hint);
}
