// The server's form and automation object in this process: the status
// panel at each tick, the clip's path, and the object's members.
#include <gtest/gtest.h>

#include "animate/fAnimate.h"
#include "animate/uAnimate.h"
#include "platform/Paths.h"
#include "platform/qt/Codepage.h"

using kv::TOleVariant;

namespace {

// One step of a row: a DisplayStatus call, or a tick and the caption it leaves.
struct Step {
  enum { Display, Tick } Kind;
  std::string Text;  // the text sent, or the caption expected after the tick
  bool Flash = false;
};
Step D(std::string Text, bool Flash) { return {Step::Display, std::move(Text), Flash}; }
Step T(std::string Caption) { return {Step::Tick, std::move(Caption)}; }

struct StatusCase {
  const char *Name;
  std::vector<Step> Steps;
  friend void PrintTo(const StatusCase &C, std::ostream *Out) { *Out << C.Name; }
};

class StatusPanel : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusPanel, ShowsTheTextAtEachTick) {
  TfrmAnimate Form;
  int Tick = 0;
  for (const Step &S : GetParam().Steps) {
    if (S.Kind == Step::Display) {
      Form.DisplayStatus(S.Text, S.Flash);
      // Nothing is drawn until the next tick.
      continue;
    }
    Form.timStatusTimer();
    ++Tick;
    EXPECT_EQ(kv::ToAnsi(Form.pnlStatus->text()), S.Text) << "tick " << Tick;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusPanel,
    testing::Values(
        StatusCase{"nothing_yet", {T(""), T("")}},
        StatusCase{"steady", {D("Searching...", false), T("Searching..."), T("Searching..."), T("Searching...")}},
        StatusCase{"blinking", {D("Searching...", true), T("Searching..."), T(""), T("Searching..."), T("")}},
        StatusCase{"blinking_then_steady",
                   {D("A", true), T("A"), T(""), D("A", false), T("A"), T("A")}},
        StatusCase{"steady_then_blinking_starts_hidden", {D("A", false), T("A"), D("B", true), T(""), T("B"), T("")}},
        StatusCase{"new_steady_text_replaces", {D("A", false), T("A"), D("B", false), T("B")}},
        StatusCase{"empty_clears_whatever_the_flag", {D("A", false), T("A"), D("", true), T(""), T("")}},
        StatusCase{"empty_steady_clears", {D("A", true), T("A"), D("", false), T(""), T("")}},
        StatusCase{"eight_bit_text", {D("Price \x80 5", false), T("Price \x80 5")}}),
    [](const testing::TestParamInfo<StatusCase> &I) { return std::string(I.param.Name); });

TEST(StatusPanel, DisplayDoesNotDrawAndTheTimerIsSetUp) {
  TfrmAnimate Form;
  Form.DisplayStatus("Now", false);
  EXPECT_TRUE(Form.pnlStatus->text().isEmpty());
  EXPECT_EQ(Form.timStatus->interval(), 500);
  EXPECT_FALSE(Form.timStatus->isActive());
}

struct PathCase {
  const char *Name, *Folder, *Expected;
  friend void PrintTo(const PathCase &C, std::ostream *Out) { *Out << C.Name; }
};
class ClipPath : public testing::TestWithParam<PathCase> {};
TEST_P(ClipPath, IsInsideTheFolder) { EXPECT_EQ(AnimationFileName(GetParam().Folder), GetParam().Expected); }
INSTANTIATE_TEST_SUITE_P(Cases, ClipPath,
                         testing::Values(PathCase{"without_separator", "/opt/kv", "/opt/kv\\syscrt.avi"},
                                         PathCase{"with_backslash", "c:\\kv\\", "c:\\kv\\syscrt.avi"},
                                         PathCase{"with_slash", "/opt/kv/", "/opt/kv/syscrt.avi"}),
                         [](const testing::TestParamInfo<PathCase> &I) { return std::string(I.param.Name); });

TEST(Form, IsLaidOutAndPointsAtTheClipBesideTheProgram) {
  TfrmAnimate Form;
  EXPECT_EQ(Form.windowTitle(), "Animate");
  EXPECT_EQ(Form.size(), QSize(414, 34));
  EXPECT_EQ(Form.pnlStatus->geometry(), QRect(0, 0, 367, 34));
  EXPECT_EQ(Form.aniSearch->geometry(), QRect(1, 1, 55, 45));
  EXPECT_EQ(Form.aniSearch->StopFrame(), 30);
  EXPECT_FALSE(Form.aniSearch->Active());
  EXPECT_TRUE(Form.pnlStatus->font().bold());
  EXPECT_EQ(Form.pnlStatus->font().pixelSize(), 16);
  EXPECT_EQ(Form.aniSearch->FileName(), AnimationFileName(kv::ProgramFolder()));
  EXPECT_NE(Form.aniSearch->FileName().find("syscrt.avi"), std::string::npos);
  EXPECT_FALSE(Form.isVisible());
}

TEST(Animator, DrivesTheOneFormByNameInAnyCase) {
  TfrmAnimate Form;
  TTAnimator A(Form), B(Form);
  A.Invoke("start", {}, {});
  EXPECT_TRUE(Form.aniSearch->Active());
  A.Invoke("Start", {}, {});  // twice does no harm
  EXPECT_TRUE(Form.aniSearch->Active());
  B.Invoke("STOP", {}, {});  // another object, the same form
  EXPECT_FALSE(Form.aniSearch->Active());
  B.Invoke("Stop", {}, {});
  EXPECT_FALSE(Form.aniSearch->Active());

  A.Invoke("DisplayStatus", {std::string("Searching"), true}, {});
  EXPECT_FALSE(Form.timStatus->isActive());
  EXPECT_EQ(Form.StatusText(), "Searching");
  EXPECT_TRUE(Form.Flash());
  // A 16-bit automation Boolean: any non-zero value is true.
  B.Invoke("DisplayStatus", {std::string("Again"), 2}, {});
  EXPECT_TRUE(Form.Flash());
  // Without X11 the panel stays in the hidden form, and the timer runs.
  A.Invoke("SetStatusParent", {12345}, {});
  EXPECT_TRUE(Form.timStatus->isActive());
  EXPECT_EQ(Form.pnlStatus->parentWidget(), &Form);
  A.Invoke("SetAnimateParent", {12345}, {});
  EXPECT_EQ(Form.aniSearch->parentWidget(), &Form);
}

TEST(Animator, BadCallsFailAndLeaveTheStateAsItWas) {
  TfrmAnimate Form;
  TTAnimator A(Form);
  A.Invoke("DisplayStatus", {std::string("Kept"), false}, {});
  struct Row {
    const char *Case;
    std::string Name;
    kv::TOleArgs Args;
    kv::TOleError Kind;
  } Rows[] = {
      {"unknown", "Animate", {}, kv::TOleError::UnknownName},
      {"too_few", "DisplayStatus", {std::string("Lost")}, kv::TOleError::BadParamCount},
      {"too_many", "Start", {1}, kv::TOleError::BadParamCount},
      {"text_for_handle", "SetStatusParent", {std::string("12")}, kv::TOleError::TypeMismatch},
      {"number_for_text", "DisplayStatus", {5, false}, kv::TOleError::TypeMismatch},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Case);
    try {
      A.Invoke(R.Name, R.Args, {});
      ADD_FAILURE() << "no error";
    } catch (const kv::EOleException &E) {
      EXPECT_EQ(E.Kind(), R.Kind);
    }
    EXPECT_EQ(Form.StatusText(), "Kept");
    EXPECT_FALSE(Form.timStatus->isActive());
  }
}

}  // namespace
