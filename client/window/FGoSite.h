#pragma once
// The Yes/No confirmation dialog. Its mode (0 to 3) picks the question and
// the caption; the main window uses mode 0 before it opens a merchant's site
// instead of a product page.
#include <QDialog>

#include <cstdint>
#include <string>

class QCheckBox;
class QLabel;
class QPushButton;

// The class library's modal results of the two buttons.
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

class TfrmGotoSite : public QDialog {
public:
  explicit TfrmGotoSite(QWidget *Owner = nullptr);

  QPushButton *btnYes, *btnNo;
  QCheckBox *chkShowMessageAgain;
  QLabel *lblNoProd, *lblGoSite, *lblSearchAll, *lblSuggestFiltering, *lblNoConnection;

  void FormCreate();
  // Shows the labels of Mode and its caption; a mode above 3 keeps the caption.
  void SetMode(uint8_t Mode);
  uint8_t Mode() const { return FMode; }

protected:
  void showEvent(QShowEvent *Event) override;

private:
  // Places the check box and buttons below the question shown.
  void Arrange();
  uint8_t FMode = 0;
};

// Asks, while ShowGoSite is set, whether to open SiteName's own web site and
// writes both flags below the settings key; a failed write is ignored. The
// answer is GoSite: the last answer stands once the question is switched off.
bool ConfirmGotoSite(const std::string &SiteName, bool &ShowGoSite, bool &GoSite, QWidget *Owner);
