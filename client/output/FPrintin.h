#pragma once
// The small window that says where the results print while they do.
#include <QDialog>

#include <string>

class QLabel;

class TfrmPrinting : public QDialog {
  Q_OBJECT
public:
  // PrinterName: the printer the report goes to; empty when it cannot be read.
  explicit TfrmPrinting(const std::string &PrinterName, QWidget *Owner = nullptr);

  QLabel *lblPrint;

  void FormCreate(const std::string &PrinterName);
  // The window as wide as its label and 30 more, the label over all of it.
  void FitCaption();
  // Shows the window and has it painted at once: printing then holds the
  // message loop until it ends.
  void ShowNow();
};
