#pragma once
// "Suggest a Site": the user proposes a shop for a future update; the form
// posts it to the maker's server on a conversation of its own.
#include <QDialog>

#include <string>

#include "client/server/uServer.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Shown when the server did not take the suggestion.
inline constexpr const char *SuggestionFailedText =
    "Your suggestion could not be sent.\r\nPlease check your connection and try again.";
inline constexpr const char *SuggestionThanksText =
    "Thank you for suggesting a site to be included in Korvandel.\r\nWe will review your entry and respond back "
    "to you as soon as possible.";

class TfrmSuggestSite : public QDialog {
public:
  explicit TfrmSuggestSite(QWidget *Owner = nullptr);
  ~TfrmSuggestSite() override;

  void btnSubmitClick();
  // The whole request: the form's fields posted.
  std::string SendSuggestion() const;
  void btnClearClick();
  void btnCloseClick();
  void FormResize();

  QLabel *lblDesc, *Label1, *Label2, *Label3, *Label4, *Label5;
  QLineEdit *edtName, *edtEmail, *edtSiteName, *edtSiteUrl;
  QPlainTextEdit *edtComments;
  QPushButton *btnSubmit, *btnClear, *btnClose;
  TServerConversation SockSuggest;

  bool UseProxy = false;
  std::string ProxyHost;
  std::string ProxyPort;

protected:
  void resizeEvent(QResizeEvent *Event) override;

private:
  void SockSuggestSessionClosed();
  // The suggestion did not get through: the user is told, the fields stay
  // and Submit can be pressed again.
  void SuggestionFailed();
  bool FResizing = false;
};

// The form's body: name, e-mail, the shop's name and address, the comment.
std::string BuildSuggestionForm(const std::string &Name, const std::string &Email, const std::string &SiteName,
                                const std::string &SiteUrl, const std::string &Comment);

// Shows the form modally with the main window's proxy, and frees it.
void ShowSuggestSite(QWidget *Owner, const std::string &ProxyPort, bool UseProxy, const std::string &ProxyHost);
