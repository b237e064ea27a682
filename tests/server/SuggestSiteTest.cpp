// "Suggest a Site" against a loopback server: what is posted, and what the
// user is told for each kind of answer.
#include "client/server/FSugSite.h"
#include "platform/Dialogs.h"
#include "platform/qt/Messages.h"
#include "tests/server/ServerTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

using namespace kv;
using kvtest::TLoopbackServer;
using kvtest::TServerScript;
using servertest::PointAt;

namespace {

const std::string Accept = "Accept: www/source\r\nAccept: text/html\r\nUser-Agent: Tamblewick\r\n";
const std::string FormType = "Content-type: application/x-www-form-urlencoded\r\n";

class SuggestSiteTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetMessageBoxHook([this](const std::string &Text, const std::string &, unsigned) {
      Boxes.push_back(Text);
      return IDOK;
    });
  }
  void TearDown() override { SetMessageBoxHook({}); }

  void Fill() {
    Form->edtName->setText("Dana Whitfield");
    Form->edtEmail->setText("dana@whitfield.example");
    Form->edtSiteName->setText("Parts & More");
    Form->edtSiteUrl->setText("http://parts.example/");
    Form->edtComments->setPlainText("Good stock.\nFast.");
  }
  bool FieldsEmpty() const {
    return Form->edtName->text().isEmpty() && Form->edtEmail->text().isEmpty() &&
           Form->edtSiteName->text().isEmpty() && Form->edtSiteUrl->text().isEmpty() &&
           Form->edtComments->toPlainText().isEmpty();
  }
  // Submits and pumps until Submit is back or a box was shown.
  void Submit() {
    Form->btnSubmit->click();
    WaitUntil([this] { return !Boxes.empty(); }, 10000);
  }

  kvtest::IsolatedEnv Env;
  std::vector<std::string> Boxes;
  std::unique_ptr<TfrmSuggestSite> Form = std::make_unique<TfrmSuggestSite>();
};

const std::string FilledForm =
    "name=Dana+Whitfield&email=dana@whitfield.example&siteName=Parts+%26+More&siteURL=http%3A%2F%2Fparts.example%2F"
    "&comment=Good+stock.%0D%0AFast.";

TEST_F(SuggestSiteTest, PostsTheFieldsWithoutAuthorisation) {
  Fill();
  EXPECT_EQ(Form->SendSuggestion(), "POST /kv_client/twsuggest.pl HTTP/1.0\r\n" + Accept + FormType +
                                        "Content-length: " + std::to_string(FilledForm.size()) + "\r\n\r\n" +
                                        FilledForm + "\r\n");
  // Through the proxy the server is named; still no credentials.
  Form->UseProxy = true;
  EXPECT_EQ(Form->SendSuggestion().rfind("POST http://www.korvandel.test/kv_client/twsuggest.pl HTTP/1.0\r\n" +
                                             Accept + FormType,
                                         0),
            0u);
}

// The memo's lines go out as the memo holds them: each ended by CR LF.
TEST_F(SuggestSiteTest, CommentLinesAreSentEndedByCrLf) {
  TLoopbackServer Server(kvtest::HttpReply("HTTP/1.0 200 OK\r\n\r\n"));
  PointAt(Server);
  Fill();
  Form->edtComments->setPlainText("Good stock.\nFast.\n\nCheap.");
  Submit();
  ASSERT_TRUE(WaitUntil([&] { return Server.PeerClosed(0); }, 5000));
  const std::string Got = Server.Received(0);
  EXPECT_NE(Got.find("&comment=Good+stock.%0D%0AFast.%0D%0A%0D%0ACheap.\r\n"), std::string::npos) << Got;
  size_t Lone = 0;
  for (size_t At = Got.find("%0A"); At != std::string::npos; At = Got.find("%0A", At + 1))
    Lone += At < 3 || Got.compare(At - 3, 3, "%0D") != 0;
  EXPECT_EQ(Lone, 0u) << Got;
}

TEST_F(SuggestSiteTest, EmptyFieldsAreEmptyValues) {
  EXPECT_EQ(BuildSuggestionForm("", "", "", "", ""), "name=&email=&siteName=&siteURL=&comment=");
}

// What each kind of answer leaves behind.
struct TAnswerRow {
  const char *Name;
  std::string Reply;  // empty: the port refuses connections
  bool Thanked;
};

void PrintTo(const TAnswerRow &Row, std::ostream *Out) { *Out << Row.Name; }

class SuggestAnswerTest : public SuggestSiteTest, public ::testing::WithParamInterface<TAnswerRow> {};

TEST_P(SuggestAnswerTest, ThanksOnlyForATakenSuggestion) {
  const TAnswerRow &Row = GetParam();
  std::unique_ptr<TLoopbackServer> Server;
  std::unique_ptr<kvtest::TRefusedPort> Refused;
  if (Row.Reply.empty()) {
    Refused = std::make_unique<kvtest::TRefusedPort>();
    PointAt(*Refused);
  } else {
    Server = std::make_unique<TLoopbackServer>(kvtest::HttpReply(Row.Reply));
    PointAt(*Server);
  }
  Fill();
  Submit();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0], Row.Thanked ? SuggestionThanksText : SuggestionFailedText);
  EXPECT_TRUE(Form->btnSubmit->isEnabled());
  EXPECT_EQ(FieldsEmpty(), Row.Thanked);
  if (!Row.Thanked) {
    EXPECT_EQ(Form->edtSiteName->text(), "Parts & More");
  }
  EXPECT_EQ(Form->SockSuggest.SocketHandle(), -1);
  if (Server) {
    ASSERT_TRUE(WaitUntil([&] { return Server->PeerClosed(0); }, 5000));
    Fill();
    EXPECT_EQ(Server->Received(0), Form->SendSuggestion() + std::string(1, '\0'));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SuggestAnswerTest,
    ::testing::Values(TAnswerRow{"Ok", "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>Thanks</p>", true},
                      TAnswerRow{"NoContent", "HTTP/1.1 204 No Content\r\n\r\n", true},
                      TAnswerRow{"ServerError", "HTTP/1.0 500 Internal Server Error\r\n\r\n<p>Oops</p>", false},
                      TAnswerRow{"NotFound", "HTTP/1.0 404 Not Found\r\n\r\n", false},
                      TAnswerRow{"NoStatusLine", "<p>Thanks</p>", false},
                      TAnswerRow{"RefusedConnection", "", false}),
    [](const ::testing::TestParamInfo<TAnswerRow> &I) { return std::string(I.param.Name); });

TEST_F(SuggestSiteTest, ResetAnswerFailsAndSubmitCanBePressedAgain) {
  TLoopbackServer Server;
  Server.Queue(TServerScript().ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n").Reset());
  Server.Queue(TServerScript().ReadUntil("\r\n\r\n").Reset());
  Server.Queue(kvtest::HttpReply("HTTP/1.0 200 OK\r\n\r\n"));
  PointAt(Server);
  Fill();
  Submit();
  // A reset may come after the status line was read: it is still no answer.
  EXPECT_EQ(Boxes, std::vector<std::string>{SuggestionFailedText});
  Boxes.clear();
  Submit();
  EXPECT_EQ(Boxes, std::vector<std::string>{SuggestionFailedText});
  Boxes.clear();
  Submit();
  EXPECT_EQ(Boxes, std::vector<std::string>{SuggestionThanksText});
  EXPECT_EQ(Server.Connections(), 3);
}

TEST_F(SuggestSiteTest, PortThatIsNoNumberFailsAtOnce) {
  Form->UseProxy = true;
  Form->ProxyHost = "127.0.0.1";
  Form->ProxyPort = "eighty";
  Fill();
  Form->btnSubmit->click();
  EXPECT_EQ(Boxes, std::vector<std::string>{SuggestionFailedText});
  EXPECT_TRUE(Form->btnSubmit->isEnabled());
  EXPECT_FALSE(FieldsEmpty());
}

TEST_F(SuggestSiteTest, ClearEmptiesEveryField) {
  Fill();
  Form->btnClear->click();
  EXPECT_TRUE(FieldsEmpty());
}

TEST_F(SuggestSiteTest, TextsAndWidth) {
  EXPECT_EQ(Form->windowTitle(), "Suggest a Site");
  EXPECT_EQ(Form->btnSubmit->text(), "&Submit");
  EXPECT_TRUE(Form->btnSubmit->isDefault());
  EXPECT_EQ(Form->btnClear->text(), "&Clear");
  EXPECT_EQ(Form->btnClose->text(), "C&lose");
  EXPECT_EQ(Form->SockSuggest.MaximumReceiveLength, 8192);
  Form->show();
  Form->resize(600, Form->height());
  // The label follows the form's width once the resize has gone round the loop.
  EXPECT_TRUE(WaitUntil([&] { return Form->width() == Form->lblDesc->width() + 25; }, 20000));
  EXPECT_EQ(Form->width(), Form->lblDesc->width() + 25);
  EXPECT_GT(Form->lblDesc->height(), Form->lblDesc->fontMetrics().height()) << "the text wraps";
  Form->btnClose->click();
  EXPECT_FALSE(Form->isVisible());
}

}  // namespace
