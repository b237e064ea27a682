#pragma once
// Text from outside (shops, the maker's server, settings, file and printer
// names) shown as it is: a label or a hint never reads it as markup.
#include <QLabel>
#include <QString>

namespace kv {

// A label that shows its text as plain text, whatever it holds.
QLabel *PlainLabel(QWidget *Parent, const QString &Text = QString());
// A hint text (tool tip) that shows Text literally, line breaks kept.
QString PlainHint(const QString &Text);

}  // namespace kv
