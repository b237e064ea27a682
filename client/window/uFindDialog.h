#pragma once
// The find dialog of the result list: finds the next row whose part number
// matches the text typed, downwards from the selected row, without wrapping.
// Modeless: it stays open while the user works in the window.
#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;
namespace kv {
class TReportListView;
}

// The pattern of a find: the text in capitals, ".." around it unless the
// whole part number is to match, and ".." for every "*".
std::string FindPattern(const std::string &Text, bool WholeWord);
// The first row after Selected (-1: from the first row) whose caption in
// capitals matches Pattern; -1 when none does.
int FindNextRow(const kv::TReportListView &List, const std::string &Pattern, int Selected);

class TFindDialog : public QDialog {
  Q_OBJECT
public:
  explicit TFindDialog(QWidget *Owner = nullptr);
  std::string FindText() const;
  void SetFindText(const std::string &Text);
  bool WholeWord() const;
  void SetWholeWord(bool Value);
  // The Find button.
  std::function<void()> OnFind;

  QLineEdit *edtFind;
  QCheckBox *chkWholeWord;
  QPushButton *btnFind, *btnCancel;
};
