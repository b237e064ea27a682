#pragma once
// The edit and the memo as the forms were laid out to behave: a memo passes
// Tab on to the next control (it takes tab characters only when told, with
// setTabChangesFocus(false)), and an edit whose text the program sets shows
// that text from its start, not its end.
#include <QLineEdit>
#include <QPlainTextEdit>

namespace kv {

class TEdit : public QLineEdit {
public:
  explicit TEdit(QWidget *Parent = nullptr);
  TEdit(const QString &Text, QWidget *Parent = nullptr);

private:
  void ShowFromStart();
};

class TMemo : public QPlainTextEdit {
public:
  explicit TMemo(QWidget *Parent = nullptr);

protected:
  void keyPressEvent(QKeyEvent *Event) override;
};

}  // namespace kv
