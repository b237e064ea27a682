#pragma once
// The splash form shown while the forms are created and the catalogue scans
// its site libraries.
#include <QWidget>

#include <cstdint>
#include <string>

class QFrame;
class QLabel;
class QProgressBar;

class TfrmSplash : public QWidget {
  Q_OBJECT
public:
  explicit TfrmSplash(QWidget *Owner = nullptr);

  QFrame *Bevel2;
  QLabel *lblName, *lblTM, *imgLogo, *lblShopping1, *lblShopping2, *lblCopy, *lblRegText, *lblRegister;
  QProgressBar *pbDlls;

  void FormCreate();
  void FormResize();
  void FormShow();

protected:
  void showEvent(QShowEvent *Event) override;
  void resizeEvent(QResizeEvent *Event) override;
};

extern TfrmSplash *frmSplash;

// A label's caption as the class library keeps it ("&" an accelerator prefix,
// "&&" one ampersand), shown the way such a label shows it.
void SetLabelCaption(QLabel *Label, const std::string &Caption);
std::string LabelCaption(const QLabel *Label);

// The catalogue's progress callback: moves the bar and names the site.
void SplashInitProgress(int32_t Total, int32_t Done, const std::string &SiteName);
