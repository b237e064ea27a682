// Every conversation with the maker's server against servers that misbehave:
// each ends within its limits on a driven clock, keeps no more of the reply
// than its cap, shows the user what its failure shows, and saves nothing.
#include "client/search/uTimeOuts.h"
#include "client/server/FSugSite.h"
#include "client/server/uServer.h"
#include "client/server/uServerTimeOuts.h"
#include "platform/Dialogs.h"
#include "platform/Limits.h"
#include "platform/SysUtils.h"
#include "platform/qt/Messages.h"
#include "tests/support/ConversationFaults.h"
#include "tests/server/ServerTestSupport.h"
#include "tests/support/DrivenClock.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using namespace kv;
using kvtest::TLoopbackServer;
using kvtest::TServerScript;
using namespace faulttest;

namespace {

enum class TConversation { Check, Logon, Usage, UpdatePage, UserDetails, ShortagesForm, Suggestion };

const char *NameOf(TConversation C) {
  switch (C) {
  case TConversation::Check: return "Check";
  case TConversation::Logon: return "Logon";
  case TConversation::Usage: return "Usage";
  case TConversation::UpdatePage: return "UpdatePage";
  case TConversation::UserDetails: return "UserDetails";
  case TConversation::ShortagesForm: return "ShortagesForm";
  case TConversation::Suggestion: return "Suggestion";
  }
  return "";
}

// The limits under test: small, so the rows run fast; the caps' own size is
// the real-cap row's.
constexpr size_t TestCap = 64 * KiB;
constexpr TTimeLimits TestTime{4, 8};
// Driven seconds per tick of the driver, and how far past a limit an end may come.
constexpr double Step = 0.5;
constexpr double Slack = 4;

struct TRow {
  TConversation Conversation;
  TFault Fault;
};

void PrintTo(const TRow &Row, std::ostream *Out) { *Out << NameOf(Row.Conversation) << "_" << FaultName(Row.Fault); }

std::vector<TRow> AllRows() {
  std::vector<TRow> Rows;
  for (TConversation C : {TConversation::Check, TConversation::Logon, TConversation::Usage, TConversation::UpdatePage,
                          TConversation::UserDetails, TConversation::ShortagesForm, TConversation::Suggestion})
    for (TFault F : AllFaults())
      // The form's post follows a details request on the same server: its
      // port cannot refuse.
      if (!(C == TConversation::ShortagesForm && F == TFault::Refused))
        Rows.push_back({C, F});
  return Rows;
}

class ConversationFaults : public ::testing::TestWithParam<TRow> {
protected:
  void SetUp() override {
    SetMessageBoxHook([this](const std::string &Text, const std::string &, unsigned) {
      Boxes.push_back(Text);
      return IDOK;
    });
  }
  void TearDown() override {
    SetMessageBoxHook({});
    unsetenv("KORVANDEL_SERVER");
  }

  TServerEvents Events() {
    TServerEvents E;
    E.Closing = [] { return false; };
    E.HasCustomerID = [] { return true; };
    E.ReadUserDetails = [](std::string &ID, std::string &P) {
      ID = "C1001";
      P = "secret";
    };
    E.ShowErrorDialog = [this](bool) {
      ++Dialogs;
      return false;
    };
    E.ProcessUpdatePage = [this](const std::string &Page) { Pages.push_back(Page.size()); };
    E.OpenURL = [this](const std::string &A) { Opened.push_back(A); };
    E.ProgramFolder = [this] { return Env.Root(); };
    return E;
  }

  // The conversation under test with the table's limits checked, then lowered.
  TServerConversation &Prepare(TConversation C, size_t Cap, TTimeLimits Time) {
    Session = std::make_unique<TServerSession>(Events());
    Session->SetClock(Clock);
    Form = std::make_unique<TfrmSuggestSite>();
    Form->SockSuggest.SetClock(Clock);
    TServerConversation *S = nullptr;
    TConversationLimits *L = nullptr;
    TConversationLimits Table{};
    switch (C) {
    case TConversation::Check: S = &Session->SockCheckConnect, Table = limits::Check; break;
    case TConversation::Logon: S = &Session->SockValidate, Table = limits::Logon; break;
    case TConversation::Usage: S = &Session->SockUsage, Table = limits::Usage; break;
    case TConversation::UpdatePage: S = &Session->SockUpdate, Table = limits::UpdatePage; break;
    case TConversation::UserDetails:
      S = &Session->SockShortages, L = &Session->DetailsLimits, Table = limits::UserDetails;
      break;
    case TConversation::ShortagesForm:
      S = &Session->SockShortages, L = &Session->FormLimits, Table = limits::ShortagesForm;
      break;
    case TConversation::Suggestion: S = &Form->SockSuggest, Table = limits::Suggestion; break;
    }
    if (!L)
      L = &S->Limits;
    EXPECT_EQ(L->MaxReply, Table.MaxReply);
    EXPECT_EQ(L->Time.NoData, Table.Time.NoData);
    EXPECT_EQ(L->Time.InAll, Table.Time.InAll);
    L->MaxReply = Cap;
    L->Time = Time;
    if (C == TConversation::ShortagesForm)
      Session->DetailsLimits.Time = Time;
    return *S;
  }

  // Starts the conversation; returns once it has ended (or the watchdog gave up).
  void Run(TConversation C, TServerConversation &S) {
    Start = Clock.Seconds;
    // The window's timers: the driver moves the clock and runs the time-out
    // timer's tick, as the window does while a conversation is under way.
    QTimer Driver;
    QObject::connect(&Driver, &QTimer::timeout, [&] {
      ++Ticks;
      PeakKept = std::max(PeakKept, S.Reply.capacity());
      if (!Ended)
        Clock.Seconds += Step;
      TTimeOutEvents E;
      E.CloseWindow = [this] { ++WindowClosed; };
      const TServerTimeOuts Side = ServerTimeOuts(*Session);
      TimeOutTick(&Side, nullptr, Clock, E);
    });
    Driver.start(50);
    const auto Done = [&] {
      switch (C) {
      case TConversation::Logon: return !Session->LogonActive;
      case TConversation::Usage: return S.SocketHandle() == -1;
      case TConversation::UpdatePage: return S.SocketHandle() == -1;
      case TConversation::Suggestion: return Form->btnSubmit->isEnabled();
      default: return true;
      }
    };
    switch (C) {
    case TConversation::Check: Connected = Session->CheckConnection(); break;
    case TConversation::Logon: {
      bool NoDetails = false;
      Session->Logon(NoDetails);
      break;
    }
    case TConversation::Usage: {
      TStringList Terms, Sites;
      Terms.Add("BC547");
      Sites.Add("Demo Shop 01");
      Session->SendUsageRecord(Terms, Sites);
      break;
    }
    case TConversation::UpdatePage: Session->CheckForUpdates(); break;
    case TConversation::UserDetails:
    case TConversation::ShortagesForm: Session->btnShortagesClick(); break;
    case TConversation::Suggestion:
      Form->edtName->setText("Dana");
      Form->edtComments->setPlainText("Good stock.");
      Form->btnSubmit->click();
      break;
    }
    EXPECT_TRUE(WaitUntil(Done, 20000)) << "the conversation did not end";
    Ended = true;
    Elapsed = Clock.Seconds - Start;
    PeakKept = std::max(PeakKept, S.Reply.capacity());
    // What a late event could still do shows now.
    WaitUntil([] { return false; }, 100);
  }

  kvtest::IsolatedEnv Env;
  kvtest::TDrivenClock Clock{46000.5};
  std::unique_ptr<TServerSession> Session;
  std::unique_ptr<TfrmSuggestSite> Form;
  std::vector<std::string> Boxes;
  std::vector<size_t> Pages;
  std::vector<std::string> Opened;
  int Dialogs = 0, WindowClosed = 0, Ticks = 0;
  bool Connected = false, Ended = false;
  double Start = 0, Elapsed = 0;
  size_t PeakKept = 0;
};

TEST_P(ConversationFaults, EndsWithinItsLimitsAndKeepsNothing) {
  const TRow &Row = GetParam();
  std::unique_ptr<TFaultPeer> Peer;
  std::unique_ptr<TLoopbackServer> Server;
  // The form's post follows a good details reply.
  if (Row.Conversation == TConversation::ShortagesForm) {
    Server = std::make_unique<TLoopbackServer>(FaultScript(Row.Fault, servertest::Ok));
    Server->Queue(kvtest::HttpReply(servertest::Ok + "Dana|Whitfield|Parts Ltd"));
    servertest::PointAt(*Server);
  } else {
    Peer = std::make_unique<TFaultPeer>(Row.Fault, servertest::Ok);
    servertest::PointAt(*Peer);
  }
  TServerConversation &S = Prepare(Row.Conversation, TestCap, TestTime);
  Run(Row.Conversation, S);

  EXPECT_LE(Elapsed, TestTime.InAll + Slack);
  EXPECT_LE(PeakKept, TestCap + 16 * KiB) << "the reply outgrew its cap";
  EXPECT_EQ(S.SocketHandle(), -1);
  if (Row.Fault != TFault::Refused) {
    EXPECT_GT(Ticks, 0);
  }

  // What the user sees.
  switch (Row.Conversation) {
  case TConversation::Check:
    EXPECT_FALSE(Connected);
    EXPECT_TRUE(Boxes.empty());
    break;
  case TConversation::Logon:
    // A connection that fails on its way is the time-outs' to end, as a
    // lost one is.
    if (Row.Fault == TFault::Junk) {
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0].rfind("A System Error has Occured while logging on.", 0), 0u) << Boxes[0];
    } else {
      EXPECT_EQ(Boxes, std::vector<std::string>{LogonLostText});
      EXPECT_EQ(WindowClosed, 1);
    }
    break;
  case TConversation::Usage: EXPECT_TRUE(Boxes.empty()); break;
  case TConversation::UpdatePage:
    EXPECT_TRUE(Boxes.empty());
    EXPECT_TRUE(Pages.empty()) << "a page of " << Pages.front() << " bytes was handed on";
    break;
  case TConversation::UserDetails:
  case TConversation::ShortagesForm:
    EXPECT_EQ(Boxes, std::vector<std::string>{ShortagesFailedText});
    EXPECT_FALSE(Session->ShortagesBusy);
    break;
  case TConversation::Suggestion:
    EXPECT_EQ(Boxes, std::vector<std::string>{SuggestionFailedText});
    EXPECT_EQ(Form->edtName->text().toStdString(), "Dana");
    break;
  }
  // Nothing saved or opened.
  EXPECT_FALSE(kvtest::FileExists(Env / ShortagesFormFile));
  EXPECT_TRUE(Opened.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, ConversationFaults, ::testing::ValuesIn(AllRows()),
                         [](const ::testing::TestParamInfo<TRow> &I) {
                           return std::string(NameOf(I.param.Conversation)) + "_" + FaultName(I.param.Fault);
                         });

// The update page at its real cap, against a body that never ends: the
// client's memory grows by about the cap, and the page goes nowhere.
TEST_F(ConversationFaults, EndlessUpdatePageAtTheRealCap) {
  const size_t Cap = limits::UpdatePage.MaxReply;
  TLoopbackServer Server(TServerScript().ReadUntil("\r\n\r\n").Send(servertest::Ok).Repeat(std::string(64 * KiB, 'x'), 20 * Cap));
  servertest::PointAt(Server);
  TServerConversation &S = Prepare(TConversation::UpdatePage, Cap, limits::UpdatePage.Time);
  const size_t Before = ResidentBytes();
  size_t Peak = Before;
  QTimer Sampler;
  QObject::connect(&Sampler, &QTimer::timeout, [&] { Peak = std::max(Peak, ResidentBytes()); });
  Sampler.start(5);
  Run(TConversation::UpdatePage, S);
  Peak = std::max(Peak, ResidentBytes());
  EXPECT_LT(Peak - Before, Cap + MemoryMargin(Cap)) << "grew by " << (Peak - Before) / MiB << " MiB";
  EXPECT_LE(S.Received, Cap + 8 * KiB);
  EXPECT_TRUE(Pages.empty());
  EXPECT_TRUE(Boxes.empty());
}

// Only the status line of the suggestion's reply is read, so only that much
// is kept, however long the page.
TEST_F(ConversationFaults, SuggestionKeepsOnlyTheStatusLine) {
  TLoopbackServer Server(kvtest::HttpReply("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" +
                                           std::string(32 * KiB, 'x')));
  servertest::PointAt(Server);
  TServerConversation &S = Prepare(TConversation::Suggestion, limits::Suggestion.MaxReply, limits::Suggestion.Time);
  Run(TConversation::Suggestion, S);
  EXPECT_EQ(Boxes, std::vector<std::string>{SuggestionThanksText});
  EXPECT_LE(PeakKept, 1 * KiB);
}

}  // namespace
