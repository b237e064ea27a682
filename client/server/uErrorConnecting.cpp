#include "client/server/uErrorConnecting.h"

#include "client/settings/uProxyLogin.h"
#include "common/Common.h"
#include "platform/Registry.h"
#include "platform/gui/EditControls.h"
#include "platform/qt/Codepage.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace kv;

namespace {

constexpr const char *ProxySettingsKey = "\\Software\\Ostrell Technologies\\Korvandel(tm)\\0.00\\Settings";

constexpr int FormWidth = 400;
constexpr int ShortHeight = 145;
constexpr int FullHeight = 335;

QLabel *NewLabel(QWidget *Parent, const char *Name, const char *Text, int X, int Y) {
  auto *l = new QLabel(QString::fromLatin1(Text), Parent);
  l->setObjectName(Name);
  l->move(X, Y);
  return l;
}

QLineEdit *NewEdit(QWidget *Parent, const char *Name, QLabel *Label, int X, int Y, int Width) {
  auto *e = new TEdit(Parent);
  e->setObjectName(Name);
  e->setGeometry(X, Y, Width, 22);
  e->setEnabled(false);
  Label->setBuddy(e);
  Label->setEnabled(false);
  return e;
}

// Reads a string value into Edit only when it exists, so a missing port keeps
// the "80" the edit starts with.
void ReadInto(TRegistry &Reg, const char *Name, QLineEdit *Edit, bool Scrambled) {
  if (!Reg.ValueExists(Name))
    return;
  const std::string v = Reg.ReadString(Name);
  Edit->setText(FromAnsi(Scrambled ? DeCryptString(v) : v));
}

}  // namespace

TfrmErrorConnecting::TfrmErrorConnecting(QWidget *Parent) : QDialog(Parent) {
  setObjectName("frmErrorConnecting");
  setWindowTitle(QStringLiteral("Error Connecting"));

  lblMessage = NewLabel(this, "lblMessage", "Unable to connect to Korvandel Server.", 8, 8);
  lblReasons = NewLabel(this, "lblReasons", "Reasons for this maybe:", 8, 28);
  Memo1 = new TMemo(this);
  Memo1->setObjectName("Memo1");
  Memo1->setGeometry(8, 46, FormWidth - 16, 60);
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setPlainText(QStringLiteral("(1)  You are not connected to the Internet.\n"
                                     "      Connect to the Internet and Try again.\n"
                                     "(2)  You are using a Proxy server and need to\n"
                                     "      enter your Proxy Server Details.\n"
                                     "(3)  The Korvandel Server is currently \n"
                                     "      unavailable. Try again later."));

  btnReconnect = new QPushButton(QStringLiteral("Try Again"), this);
  btnReconnect->setObjectName("btnReconnect");
  btnReconnect->setGeometry(8, 112, 120, 25);
  btnProxyInfo = new QPushButton(QStringLiteral("Enter Proxy Details"), this);
  btnProxyInfo->setObjectName("btnProxyInfo");
  btnProxyInfo->setGeometry(140, 112, 120, 25);
  btnOK = new QPushButton(QStringLiteral("Quit"), this);
  btnOK->setObjectName("btnOK");
  btnOK->setGeometry(FormWidth - 128, 112, 120, 25);
  // Quit takes Enter unless the user has moved to another button: that one
  // takes it, as every button of a dialog does.
  btnOK->setDefault(true);

  pnlProxyInfo = new QFrame(this);
  pnlProxyInfo->setObjectName("pnlProxyInfo");
  pnlProxyInfo->setGeometry(0, ShortHeight, FormWidth, FullHeight - ShortHeight);
  pnlProxyInfo->setFrameShape(QFrame::StyledPanel);
  cbUseProxy = new QCheckBox(QStringLiteral("&Use HTTP Proxy"), pnlProxyInfo);
  cbUseProxy->setObjectName("cbUseProxy");
  cbUseProxy->move(16, 10);
  lblServer = NewLabel(pnlProxyInfo, "lblServer", "&Server:", 16, 44);
  edtServer = NewEdit(pnlProxyInfo, "edtServer", lblServer, 120, 40, 260);
  lblPort = NewLabel(pnlProxyInfo, "lblPort", "&Port:", 16, 78);
  edtPort = NewEdit(pnlProxyInfo, "edtPort", lblPort, 120, 74, 80);
  edtPort->setText(QStringLiteral("80"));
  lblProxyUserName = NewLabel(pnlProxyInfo, "lblProxyUserName", "&User Name:", 16, 112);
  edtProxyUserName = NewEdit(pnlProxyInfo, "edtProxyUserName", lblProxyUserName, 120, 108, 260);
  lblProxyPassword = NewLabel(pnlProxyInfo, "lblProxyPassword", "P&assword:", 16, 146);
  edtProxyPassword = NewEdit(pnlProxyInfo, "edtProxyPassword", lblProxyPassword, 120, 142, 260);
  edtProxyPassword->setEchoMode(QLineEdit::Password);
  pnlProxyInfo->hide();

  connect(btnReconnect, &QPushButton::clicked, this, [this] { done(mrRetry); });
  connect(btnOK, &QPushButton::clicked, this, [this] { done(mrOk); });
  connect(btnProxyInfo, &QPushButton::clicked, this, [this] { btnProxyInfoClick(); });
  connect(cbUseProxy, &QCheckBox::toggled, this, [this] { cbUseProxyClick(); });

  // FormCreate: the message, the memo and the buttons only.
  setFixedSize(FormWidth, ShortHeight);
}

TfrmErrorConnecting::~TfrmErrorConnecting() = default;

void TfrmErrorConnecting::btnProxyInfoClick() {
  try {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    if (reg.OpenKey(ProxySettingsKey, false)) {
      ConvertProxyLogin(reg);
      ReadInto(reg, "ProxyServer", edtServer, false);
      ReadInto(reg, "ProxyPort", edtPort, false);
      ReadInto(reg, "ProxyUserName", edtProxyUserName, true);
      ReadInto(reg, "ProxyPassword", edtProxyPassword, true);
      int saved = 0;
      bool use = false;
      try {
        use = TryStrToInt(reg.ReadString("ProxyInfoSaved"), saved) && saved != 0;
      } catch (const std::exception &) {
      }
      cbUseProxy->setChecked(use);
      reg.CloseKey();
    }
  } catch (const std::exception &) {
  }
  setFixedSize(FormWidth, FullHeight);
  btnProxyInfo->setEnabled(false);
  pnlProxyInfo->show();
  FProxyInfoShown = true;
}

void TfrmErrorConnecting::cbUseProxyClick() {
  const bool on = cbUseProxy->isChecked();
  for (QWidget *w : {static_cast<QWidget *>(edtServer), static_cast<QWidget *>(edtPort),
                     static_cast<QWidget *>(lblServer), static_cast<QWidget *>(lblPort),
                     static_cast<QWidget *>(lblProxyUserName), static_cast<QWidget *>(lblProxyPassword),
                     static_cast<QWidget *>(edtProxyUserName), static_cast<QWidget *>(edtProxyPassword)})
    w->setEnabled(on);
}

void TfrmErrorConnecting::done(int Result) {
  FormClose();
  QDialog::done(Result);
}

void TfrmErrorConnecting::FormClose() {
  if (!FProxyInfoShown)
    return;
  try {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    if (!reg.OpenKey(ProxySettingsKey, true))
      return;
    reg.WriteString("ProxyServer", ToAnsi(edtServer->text()));
    reg.WriteString("ProxyPort", ToAnsi(edtPort->text()));
    reg.WriteString("ProxyUserName", CryptString(ToAnsi(edtProxyUserName->text())));
    reg.WriteString("ProxyPassword", CryptString(ToAnsi(edtProxyPassword->text())));
    // With the scrambled values goes the flag that says so; without it the
    // settings loader would scramble them a second time.
    reg.WriteInteger("ProxyConverted", 1);
    reg.WriteString("ProxyInfoSaved", cbUseProxy->isChecked() ? "1" : "0");
    reg.CloseKey();
  } catch (const std::exception &) {
  }
}

bool RunErrorConnecting(bool AllowRetry) {
  TfrmErrorConnecting dialog;
  dialog.btnReconnect->setVisible(AllowRetry);
  return dialog.exec() == mrRetry;
}
