#pragma once
// "Error Connecting": shown when the maker's server cannot be reached. Besides
// "Try Again" and "Quit" it lets the user enter the HTTP proxy, which it
// stores below the settings key when it closes.
#include <QDialog>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The class library's modal results that the dialog's buttons give.
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrRetry = 4;

class TfrmErrorConnecting : public QDialog {
public:
  explicit TfrmErrorConnecting(QWidget *Parent = nullptr);
  ~TfrmErrorConnecting() override;

  void btnProxyInfoClick();
  void cbUseProxyClick();
  bool ProxyInfoShown() const { return FProxyInfoShown; }

  QLabel *lblMessage;
  QLabel *lblReasons;
  QPlainTextEdit *Memo1;
  QPushButton *btnReconnect;
  QPushButton *btnProxyInfo;
  QPushButton *btnOK;
  QFrame *pnlProxyInfo;
  QCheckBox *cbUseProxy;
  QLabel *lblServer;
  QLineEdit *edtServer;
  QLabel *lblPort;
  QLineEdit *edtPort;
  QLabel *lblProxyUserName;
  QLineEdit *edtProxyUserName;
  QLabel *lblProxyPassword;
  QLineEdit *edtProxyPassword;

protected:
  // Every way of closing passes here, the window's own close box included.
  void done(int Result) override;

private:
  void FormClose();
  bool FProxyInfoShown = false;
};

// Shows the dialog modally ("Try Again" only when AllowRetry); true when the
// user chose "Try Again".
bool RunErrorConnecting(bool AllowRetry);
