#include "platform/Dialogs.h"
#include "platform/SysUtils.h"
#include "platform/qt/Messages.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kv;

namespace {

struct TRecordingTarget {
  std::vector<TMessage> Seen;
  TMessageTarget Target{[this](TMessage &M) {
    Seen.push_back(M);
    M.Result = static_cast<LRESULT>(M.WParam) * 2;
  }};
};

// Message boxes go to a list instead of a screen.
struct TBoxRecorder {
  std::vector<std::string> Texts;
  std::vector<std::string> Captions;
  TBoxRecorder() {
    SetMessageBoxHook([this](const std::string &T, const std::string &C, unsigned) {
      Texts.push_back(T);
      Captions.push_back(C);
      return IDOK;
    });
  }
  ~TBoxRecorder() { SetMessageBoxHook({}); }
};

}  // namespace

TEST(Messages, PostedMessagesArriveLaterAndInOrder) {
  TRecordingTarget r;
  ASSERT_TRUE(PostMessage(r.Target.Handle(), WM_USER + 1, 1, 10));
  ASSERT_TRUE(PostMessage(r.Target.Handle(), WM_USER + 2, 2, 20));
  EXPECT_TRUE(r.Seen.empty());
  ProcessMessages();
  ASSERT_EQ(r.Seen.size(), 2u);
  EXPECT_EQ(r.Seen[0].Msg, WM_USER + 1);
  EXPECT_EQ(r.Seen[0].LParam, 10);
  EXPECT_EQ(r.Seen[1].Msg, WM_USER + 2);
}

TEST(Messages, SendMessageCallsAtOnceAndReturnsTheResult) {
  TRecordingTarget r;
  EXPECT_EQ(SendMessage(r.Target.Handle(), WM_USER, 21, 0), 42);
  EXPECT_EQ(r.Seen.size(), 1u);
}

TEST(Messages, AGoneTargetGetsNothingAndItsQueuedMessagesAreDropped) {
  auto r = std::make_unique<TRecordingTarget>();
  const HWND h = r->Target.Handle();
  ASSERT_TRUE(PostMessage(h, WM_USER, 0, 0));
  r.reset();
  ProcessMessages();  // the queued message must not reach freed memory
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
  EXPECT_EQ(SendMessage(h, WM_USER, 5, 0), 0);
  // A new target never takes an old handle.
  TRecordingTarget other;
  EXPECT_NE(other.Target.Handle(), h);
}

TEST(Messages, TimerDeliversWmTimerUntilKilledFromItsOwnHandler) {
  int ticks = 0;
  TMessageTarget t([&](TMessage &M) {
    if (M.Msg == WM_TIMER && M.WParam == 7 && ++ticks == 3)
      KillTimer(t.Handle(), 7);
  });
  ASSERT_EQ(SetTimer(t.Handle(), 7, 10), 7u);
  EXPECT_TRUE(WaitUntil([&] { return ticks >= 3; }, 5000));
  WaitUntil([] { return false; }, 100);
  EXPECT_EQ(ticks, 3);
  EXPECT_FALSE(KillTimer(t.Handle(), 7));
}

TEST(Messages, WaitUntilGivesUpAtItsLimit) {
  const uint32_t t0 = GetTickCount();
  EXPECT_FALSE(WaitUntil([] { return false; }, 150));
  const uint32_t spent = GetTickCount() - t0;
  EXPECT_GE(spent, 150u);
  EXPECT_LT(spent, 3000u);
}

TEST(Messages, WaitUntilSeesAConditionSetByAPostedMessage) {
  bool done = false;
  TMessageTarget t([&](TMessage &) { done = true; });
  PostMessage(t.Handle(), WM_USER);
  EXPECT_TRUE(WaitUntil([&] { return done; }, 5000));
}

TEST(Messages, AnExceptionInAHandlerIsReportedAndTheLoopGoesOn) {
  TBoxRecorder boxes;
  SetApplicationTitle("Korvandel(tm)");
  int calls = 0;
  TMessageTarget t([&](TMessage &M) {
    ++calls;
    if (M.WParam == 1)
      throw EConvertError("'x' is not a valid integer value");
    if (M.WParam == 2)
      throw Exception("Ends with a full stop.");
  });
  PostMessage(t.Handle(), WM_USER, 1);
  PostMessage(t.Handle(), WM_USER, 2);
  PostMessage(t.Handle(), WM_USER, 3);
  WaitUntil([&] { return calls == 3; }, 5000);
  EXPECT_EQ(calls, 3);
  ASSERT_EQ(boxes.Texts.size(), 2u);
  EXPECT_EQ(boxes.Texts[0], "'x' is not a valid integer value.");
  EXPECT_EQ(boxes.Texts[1], "Ends with a full stop.");
  EXPECT_EQ(boxes.Captions[0], "Korvandel(tm)");
  // A sent message is guarded the same way.
  EXPECT_NO_THROW(SendMessage(t.Handle(), WM_USER, 1));
  EXPECT_EQ(boxes.Texts.size(), 3u);
}

TEST(Messages, NotifyReportingCatchesWhatDeliveryThrows) {
  TBoxRecorder boxes;
  EXPECT_FALSE(NotifyReporting([]() -> bool { throw Exception("Boom"); }));
  EXPECT_TRUE(NotifyReporting([] { return true; }));
  ASSERT_EQ(boxes.Texts.size(), 1u);
  EXPECT_EQ(boxes.Texts[0], "Boom.");
}
