#include "platform/gui/EditControls.h"

#include <QKeyEvent>

namespace kv {

TEdit::TEdit(QWidget *Parent) : TEdit(QString(), Parent) {}

TEdit::TEdit(const QString &Text, QWidget *Parent) : QLineEdit(Text, Parent) {
  ShowFromStart();
  // Qt leaves the cursor after a text set by code, which scrolls a long one
  // to its end. A set text clears the modified flag; the user's own editing
  // sets it, and is left alone.
  connect(this, &QLineEdit::textChanged, this, [this] {
    if (!isModified())
      ShowFromStart();
  });
}

void TEdit::ShowFromStart() { setCursorPosition(0); }

TMemo::TMemo(QWidget *Parent) : QPlainTextEdit(Parent) { setTabChangesFocus(true); }

// A read-only memo still takes Enter, as an editable one does, so Enter in it
// never presses the dialog's default button behind the user's back.
void TMemo::keyPressEvent(QKeyEvent *Event) {
  QPlainTextEdit::keyPressEvent(Event);
  if (isReadOnly() && (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) &&
      Event->modifiers() == Qt::NoModifier)
    Event->accept();
}

}  // namespace kv
