#include "platform/gui/PlainText.h"

#include <QTextDocument>

namespace kv {

QLabel *PlainLabel(QWidget *Parent, const QString &Text) {
  auto *L = new QLabel(Parent);
  L->setTextFormat(Qt::PlainText);
  L->setText(Text);
  return L;
}

// Tool tips guess the format from the text; an empty one must stay empty so
// that no hint shows.
QString PlainHint(const QString &Text) {
  return Text.isEmpty() ? Text : Qt::convertFromPlainText(Text, Qt::WhiteSpaceNoWrap);
}

}  // namespace kv
