#include "client/server/FSugSite.h"

#include "common/Common.h"
#include "platform/Dialogs.h"
#include "platform/gui/EditControls.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/Messages.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace kv;

namespace {

constexpr int DescriptionWidth = 300;
// Enough of a reply for "HTTP/1.x NNN" and a reason.
constexpr size_t StatusLineLength = 256;

QLabel *NewLabel(QWidget *Parent, QVBoxLayout *Column, const char *Name, const char *Text) {
  auto *L = new QLabel(QString::fromLatin1(Text), Parent);
  L->setObjectName(Name);
  Column->addWidget(L);
  return L;
}

QLineEdit *NewEdit(QWidget *Parent, QVBoxLayout *Column, QLabel *Label, const char *Name) {
  auto *E = new TEdit(Parent);
  E->setObjectName(Name);
  Label->setBuddy(E);
  Column->addWidget(E);
  return E;
}

QPushButton *NewButton(QWidget *Parent, QHBoxLayout *Row, const char *Name, const char *Text) {
  auto *B = new QPushButton(QString::fromLatin1(Text), Parent);
  B->setObjectName(Name);
  Row->addWidget(B);
  return B;
}

// The memo's lines as the server has always had them: ended by CR LF.
std::string MemoText(const QPlainTextEdit *Memo) { return AdjustLineBreaks(ToAnsi(Memo->toPlainText())); }

}  // namespace

std::string BuildSuggestionForm(const std::string &Name, const std::string &Email, const std::string &SiteName,
                                const std::string &SiteUrl, const std::string &Comment) {
  return "name=" + HTTPEncode(Name) + "&email=" + HTTPEncode(Email) + "&siteName=" + HTTPEncode(SiteName) +
         "&siteURL=" + HTTPEncode(SiteUrl) + "&comment=" + HTTPEncode(Comment);
}

TfrmSuggestSite::TfrmSuggestSite(QWidget *Owner) : QDialog(Owner) {
  setObjectName("frmSuggestSite");
  setWindowTitle(QStringLiteral("Suggest a Site"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  auto *Column = new QVBoxLayout(this);
  lblDesc = NewLabel(this, Column, "lblDesc",
                     "Please submit your favorite shopping site for consideration in a future update of Korvandel.");
  lblDesc->setWordWrap(true);
  lblDesc->setFixedWidth(DescriptionWidth);
  Label1 = NewLabel(this, Column, "Label1", "Your Name");
  edtName = NewEdit(this, Column, Label1, "edtName");
  Label2 = NewLabel(this, Column, "Label2", "Email Address");
  edtEmail = NewEdit(this, Column, Label2, "edtEmail");
  Label3 = NewLabel(this, Column, "Label3", "Name of Site");
  edtSiteName = NewEdit(this, Column, Label3, "edtSiteName");
  Label4 = NewLabel(this, Column, "Label4", "URL of Site");
  edtSiteUrl = NewEdit(this, Column, Label4, "edtSiteUrl");
  Label5 = NewLabel(this, Column, "Label5", "Comments");
  edtComments = new TMemo(this);
  edtComments->setObjectName("edtComments");
  edtComments->setFixedHeight(80);
  Label5->setBuddy(edtComments);
  Column->addWidget(edtComments);

  auto *Buttons = new QHBoxLayout;
  btnSubmit = NewButton(this, Buttons, "btnSubmit", "&Submit");
  btnSubmit->setDefault(true);
  btnClear = NewButton(this, Buttons, "btnClear", "&Clear");
  btnClose = NewButton(this, Buttons, "btnClose", "C&lose");
  Column->addLayout(Buttons);

  connect(btnSubmit, &QPushButton::clicked, this, [this] { btnSubmitClick(); });
  connect(btnClear, &QPushButton::clicked, this, [this] { btnClearClick(); });
  connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });

  SockSuggest.MaximumReceiveLength = 8192;
  SockSuggest.YieldOnData = false;
  SockSuggest.Limits = limits::Suggestion;
  SockSuggest.Watch = true;
  // Only the reply's status line is read: only a taken suggestion is thanked for.
  SockSuggest.KeepAtMost = StatusLineLength;
  SockSuggest.Request = [this] {
    ProcessMessages();
    return SendSuggestion();
  };
  SockSuggest.OnReply = [this] { SockSuggestSessionClosed(); };
  SockSuggest.OnFailure = [this](const std::string &) { SuggestionFailed(); };
}

TfrmSuggestSite::~TfrmSuggestSite() = default;

std::string TfrmSuggestSite::SendSuggestion() const {
  const std::string Form = BuildSuggestionForm(ToAnsi(edtName->text()), ToAnsi(edtEmail->text()),
                                               ToAnsi(edtSiteName->text()), ToAnsi(edtSiteUrl->text()),
                                               MemoText(edtComments));
  TProxySettings Proxy;
  Proxy.UseProxy = UseProxy;
  return BuildServerRequest(TServerRequest::Suggestion, Proxy, "", Form);
}

void TfrmSuggestSite::btnSubmitClick() {
  btnSubmit->setEnabled(false);
  TProxySettings Proxy;
  Proxy.UseProxy = UseProxy;
  Proxy.ProxyServer = ProxyHost;
  Proxy.ProxyPort = ProxyPort;
  SockSuggest.Begin(SockSuggest.Clock().Now());
  if (!SockSuggest.Open(Proxy))
    SuggestionFailed();
}

void TfrmSuggestSite::SockSuggestSessionClosed() {
  const int Status = ReplyStatus(SockSuggest.Reply);
  SockSuggest.Reply.clear();
  if (Status < 200 || Status > 299) {
    SuggestionFailed();
    return;
  }
  btnSubmit->setEnabled(true);
  btnClearClick();
  MessageBox(SuggestionThanksText, ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
}

void TfrmSuggestSite::SuggestionFailed() {
  SockSuggest.Close();
  SockSuggest.Reply.clear();
  btnSubmit->setEnabled(true);
  MessageBox(SuggestionFailedText, ApplicationTitle(), MB_OK | MB_ICONWARNING);
}

void TfrmSuggestSite::btnClearClick() {
  for (QLineEdit *E : findChildren<QLineEdit *>())
    E->clear();
  for (QPlainTextEdit *E : findChildren<QPlainTextEdit *>())
    E->clear();
}

void TfrmSuggestSite::btnCloseClick() { close(); }

void TfrmSuggestSite::FormResize() {
  if (FResizing)
    return;
  FResizing = true;
  lblDesc->setMinimumHeight(0);
  lblDesc->setMaximumHeight(QWIDGETSIZE_MAX);
  lblDesc->adjustSize();
  lblDesc->setFixedSize(lblDesc->size());
  resize(lblDesc->width() + 25, height());
  FResizing = false;
}

void TfrmSuggestSite::resizeEvent(QResizeEvent *Event) {
  QDialog::resizeEvent(Event);
  FormResize();
}

void ShowSuggestSite(QWidget *Owner, const std::string &ProxyPort, bool UseProxy, const std::string &ProxyHost) {
  auto *Form = new TfrmSuggestSite(Owner);
  Form->ProxyPort = ProxyPort;
  Form->UseProxy = UseProxy;
  Form->ProxyHost = ProxyHost;
  Form->exec();
  delete Form;
}
