#include "platform/gui/FileDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QStringList>

#include "platform/qt/Codepage.h"

namespace kv {

namespace {

// "Text (*.TXT)|*.TXT|..." as Qt's name filters. Qt reads the patterns from
// the last parentheses of each entry, so a description that already shows
// its pattern is kept as it is.
QStringList NameFilters(const std::string &Filter) {
  const QStringList Parts = FromAnsi(Filter).split('|');
  QStringList Filters;
  for (qsizetype I = 0; I + 1 < Parts.size(); I += 2) {
    const QString Pattern = QString(Parts[I + 1]).replace(';', ' ');
    const QString Shown = Parts[I].endsWith("(" + Pattern + ")") ? Parts[I] : Parts[I] + " (" + Pattern + ")";
    Filters << Shown;
  }
  return Filters;
}

}  // namespace

bool QtSaveDialog(TSaveDialog &Dialog) {
  QFileDialog D(QApplication::activeWindow(), FromAnsi(Dialog.Title), FromAnsi(Dialog.InitialDir));
  D.setAcceptMode(QFileDialog::AcceptSave);
  D.setFileMode(QFileDialog::AnyFile);
  D.setOption(QFileDialog::DontConfirmOverwrite, !Dialog.OverwritePrompt);
  const QStringList Filters = NameFilters(Dialog.Filter);
  D.setNameFilters(Filters);
  if (!Filters.isEmpty())
    D.selectNameFilter(Filters[Dialog.FilterIndex >= 1 && Dialog.FilterIndex <= Filters.size() ? Dialog.FilterIndex - 1
                                                                                             : 0]);
  if (!Dialog.FileName.empty())
    D.selectFile(FromAnsi(Dialog.FileName));
  if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty())
    return false;
  Dialog.FileName = ToAnsi(D.selectedFiles().first());
  Dialog.FilterIndex = static_cast<int>(Filters.indexOf(D.selectedNameFilter())) + 1;
  if (Dialog.FilterIndex < 1)
    Dialog.FilterIndex = 1;
  return true;
}

}  // namespace kv
