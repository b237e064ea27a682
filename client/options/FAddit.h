#pragma once
// TfrmFilter, the "Advanced Filter" dialog: offers in stock only, offers
// whose description holds all search words or some additional words.
#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;

class TfrmFilter : public QDialog {
public:
  // KeywordsOnly sets the main window's "Keywords Only" item on OK.
  explicit TfrmFilter(std::function<void(bool Checked)> KeywordsOnly, QWidget *Parent = nullptr);

  QCheckBox *chkInStockOnly, *chkAllSearchWords, *chkAdditionalwords;
  QLineEdit *edtAdditionalWords;
  QPushButton *btnOK, *btnCancel;

  void LoadFilter();
  // Writes the four values in one registry batch.
  void SaveFilter();
  void chkAdditionalwordsClick();
  void done(int Result) override;

private:
  std::function<void(bool)> FKeywordsOnly;
};
