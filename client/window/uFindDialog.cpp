#include "client/window/uFindDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "client/uTextUtils.h"
#include "components/replistv.h"
#include "platform/SysUtils.h"
#include "platform/gui/EditControls.h"
#include "platform/qt/Codepage.h"

using namespace kv;

std::string FindPattern(const std::string &Text, bool WholeWord) {
  std::string Pattern = UpperCase(Text);
  if (!WholeWord)
    Pattern = ".." + Pattern + "..";
  std::string Result;
  Result.reserve(Pattern.size());
  for (char C : Pattern) {
    if (C == '*')
      Result += "..";
    else
      Result += C;
  }
  return Result;
}

int FindNextRow(const TReportListView &List, const std::string &Pattern, int Selected) {
  for (int Row = Selected < 0 ? 0 : Selected + 1; Row < List.ItemCount(); ++Row)
    if (MatchesFindPattern(UpperCase(List.Item(Row).Caption), Pattern))
      return Row;
  return -1;
}

TFindDialog::TFindDialog(QWidget *Owner) : QDialog(Owner) {
  setObjectName("dlgFind");
  setWindowTitle("Find");
  setModal(false);
  auto *Grid = new QGridLayout(this);
  auto *Label = new QLabel("Fi&nd what:", this);
  edtFind = new TEdit(this);
  edtFind->setObjectName("edtFind");
  Label->setBuddy(edtFind);
  chkWholeWord = new QCheckBox("Match &whole word only", this);
  chkWholeWord->setObjectName("chkWholeWord");
  btnFind = new QPushButton("&Find Next", this);
  btnFind->setObjectName("btnFind");
  btnFind->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  Grid->addWidget(Label, 0, 0);
  Grid->addWidget(edtFind, 0, 1);
  Grid->addWidget(btnFind, 0, 2);
  Grid->addWidget(chkWholeWord, 1, 0, 1, 2);
  Grid->addWidget(btnCancel, 1, 2);
  btnFind->setEnabled(false);
  connect(edtFind, &QLineEdit::textChanged, this, [this](const QString &T) { btnFind->setEnabled(!T.isEmpty()); });
  connect(btnFind, &QPushButton::clicked, this, [this] {
    if (OnFind)
      OnFind();
  });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::hide);
}

std::string TFindDialog::FindText() const { return ToAnsi(edtFind->text()); }
void TFindDialog::SetFindText(const std::string &Text) { edtFind->setText(FromAnsi(Text)); }
bool TFindDialog::WholeWord() const { return chkWholeWord->isChecked(); }
void TFindDialog::SetWholeWord(bool Value) { chkWholeWord->setChecked(Value); }
