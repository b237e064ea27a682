// What a painting draws, read back: text runs in place, cut by their clip or
// by a picture, or on a backdrop.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QPainter>
#include <QPixmap>

#include <functional>

#include "platform/gui/TextRecorder.h"

using kv::TTextRecorder;

namespace {

QPixmap Solid(int W, int H) {
  QPixmap P(W, H);
  P.fill(Qt::red);
  return P;
}

TEST(TextRecorder, TextShowsWholeOnlyInsideItsSpanAndClipAndOffPictures) {
  const QRect Box(10, 0, 100, 20);
  struct TCase {
    const char *Name;
    std::function<void(QPainter &)> Before;
    double Left, Right;
    const char *Text;
    bool Whole;
  } Cases[] = {
      {"inside", {}, 0, 200, "Price", true},
      {"other text", {}, 0, 200, "Prices", false},
      {"past the span", {}, 0, 20, "Price", false},
      {"span left of the text", {}, 11, 200, "Price", false},
      {"clipped", [](QPainter &P) { P.setClipRect(0, 0, 15, 20); }, 0, 200, "Price", false},
      {"on a picture", [](QPainter &P) { P.drawPixmap(14, 2, Solid(8, 8)); }, 0, 200, "Price", false},
      {"picture beside", [](QPainter &P) { P.drawPixmap(0, 2, Solid(8, 8)); }, 0, 200, "Price", true},
      {"on a backdrop",
       [](QPainter &P) {
         P.setClipRect(0, 0, 200, 20);
         P.drawPixmap(0, 0, Solid(200, 20));
       },
       0, 200, "Price", true},
      {"moved painter", [](QPainter &P) { P.translate(50, 0); }, 60, 200, "Price", true},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    TTextRecorder Recorder(QSize(200, 20));
    {
      QPainter P(&Recorder);
      if (C.Before)
        C.Before(P);
      P.drawText(Box, Qt::AlignLeft | Qt::AlignVCenter, "Price");
    }
    ASSERT_EQ(Recorder.Runs().size(), 1u);
    EXPECT_NEAR(Recorder.Runs()[0].Width, QFontMetricsF(Recorder.Runs()[0].Font).horizontalAdvance("Price"), 0.01);
    EXPECT_EQ(Recorder.ShowsWhole(C.Text, C.Left, C.Right), C.Whole);
  }
}

TEST(TextRecorder, RunsKeepTheirPlaceAndTheSpanPicksThem) {
  TTextRecorder Recorder(QSize(300, 20));
  {
    QPainter P(&Recorder);
    P.drawText(QRect(0, 0, 100, 20), Qt::AlignLeft, "One");
    P.drawText(QRect(100, 0, 100, 20), Qt::AlignRight, "Two");
  }
  ASSERT_EQ(Recorder.Runs().size(), 2u);
  EXPECT_EQ(Recorder.Runs()[0].Left, 0);
  EXPECT_NEAR(Recorder.Runs()[1].Left + Recorder.Runs()[1].Width, 200, 0.01);
  EXPECT_EQ(Recorder.Text(), "OneTwo");
  EXPECT_EQ(Recorder.Text(100, 200), "Two");
}

}  // namespace
