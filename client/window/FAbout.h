#pragma once
// The About box: the slogan, the logo, the stored customer ID, the catalogue
// version and the product's web and mail addresses as links.
#include <QDialog>
#include <QLabel>

#include <functional>
#include <string>

class QPushButton;

// The product's addresses (ours to choose).
extern const char *const ProductWebAddress;
extern const char *const SupportMailAddress;
extern const char *const CommentsMailAddress;

// A label that reacts to a click, shown as a link.
class TLinkLabel : public QLabel {
public:
  explicit TLinkLabel(QWidget *Parent);
  std::function<void()> OnClick;

protected:
  void mouseReleaseEvent(QMouseEvent *Event) override;
};

class TfrmAbout : public QDialog {
public:
  // OpenURL is the main window's; RepaintAnimations redraws its animations.
  TfrmAbout(QWidget *Owner, std::function<void(const std::string &URL)> OpenURL,
            std::function<void()> RepaintAnimations);

  QLabel *imgLogo, *lblSlogan1, *lblSlogan2, *lblKey, *lblVersion, *lblWebCaption, *lblSupportCaption,
      *lblCommentsCaption;
  TLinkLabel *lblWeb, *lblSupport, *lblComments;
  QPushButton *btnClose;

  void FormCreate();
  void FormActivate();
  void btnCloseClick();
  void lblWebClick();
  void lblSupportClick();
  void lblCommentsClick();

protected:
  void changeEvent(QEvent *Event) override;

private:
  std::function<void(const std::string &)> FOpenURL;
  std::function<void()> FRepaintAnimations;
};
