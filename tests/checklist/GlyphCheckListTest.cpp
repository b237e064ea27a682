#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include "components/GlyphChkLs.h"

using namespace kv;

namespace {

class CheckList : public ::testing::Test {
protected:
  std::unique_ptr<QWidget> Form;
  TGlyphCheckList *List = nullptr;

  void SetUp() override {
    Form = std::make_unique<QWidget>();
    Form->resize(300, 200);
    List = new TGlyphCheckList(Form.get());
    List->setGeometry(0, 0, 250, 150);
    QPalette pal = List->palette();
    pal.setColor(QPalette::Base, QColor(0x20, 0x40, 0x60));
    pal.setColor(QPalette::Highlight, QColor(0xE0, 0x10, 0x10));
    pal.setColor(QPalette::HighlightedText, QColor(0x10, 0xE0, 0x10));
    List->setPalette(pal);
  }
  void Show() {
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }
  QImage Grab() {
    QCoreApplication::processEvents();  // the pending item layout
    return List->viewport()->grab().toImage();
  }
  int Width(const char *S) const { return QFontMetrics(List->font()).horizontalAdvance(QString::fromLatin1(S)); }
  QColor Base() const { return QColor(0x20, 0x40, 0x60); }
  int RowTop(int Row) const { return Row * List->ItemHeight(); }
};

TEST_F(CheckList, FixedSettings) {
  EXPECT_TRUE(List->MultiSelect());
  EXPECT_FALSE(List->ExtendedSelect());
  EXPECT_EQ(List->Style(), lbOwnerDrawFixed);
  EXPECT_EQ(List->selectionMode(), QAbstractItemView::MultiSelection);
  EXPECT_EQ(List->Glyph_Checked().size(), QSize(15, 15));
  EXPECT_EQ(List->Glyph_Unchecked().size(), QSize(15, 15));
  EXPECT_EQ(List->GetScrollWidth(), 0);
}

TEST_F(CheckList, ClickTogglesTheCheck) {
  List->AddItem("one");
  List->AddItem("two");
  Show();
  const QPoint p(40, RowTop(1) + 5);
  QTest::mouseClick(List->viewport(), Qt::LeftButton, Qt::NoModifier, p);
  EXPECT_TRUE(List->Checked(1));
  EXPECT_FALSE(List->Checked(0));
  QTest::mouseClick(List->viewport(), Qt::LeftButton, Qt::NoModifier, p);
  EXPECT_FALSE(List->Checked(1));
}

TEST_F(CheckList, CheckedItemsShowTheCheckedGlyphOnTheListBackground) {
  List->AddItem("alpha");
  List->AddItem("beta");
  List->AddItem("gamma");
  List->SetChecked(1, true);
  Show();
  List->clearFocus();
  ASSERT_FALSE(List->hasFocus());
  const QImage img = Grab();
  // The check mark's dark pixel at (5, 8) of the glyph, white elsewhere.
  EXPECT_EQ(img.pixelColor(5, RowTop(1) + 8), QColor(Qt::black));
  EXPECT_EQ(img.pixelColor(5, RowTop(0) + 8), QColor(Qt::white));
  EXPECT_EQ(img.pixelColor(5, RowTop(2) + 8), QColor(Qt::white));
  // The glyph's key colour (its bottom-left pixel) lets the list show through.
  EXPECT_EQ(img.pixelColor(0, RowTop(1) + 14), Base());
  EXPECT_EQ(img.pixelColor(14, RowTop(0) + 3), Base());
  // No selection highlight: right of the glyph the checked row keeps the
  // list's colour, and its text is drawn in the text colour.
  EXPECT_EQ(img.pixelColor(List->viewport()->width() - 3, RowTop(1) + 3), Base());
  EXPECT_EQ(img.pixelColor(17, RowTop(1) + 8), Base());  // the gap of one glyph width
  bool text = false;
  for (int x = 30; x < 30 + Width("beta") && !text; ++x)
    for (int y = RowTop(1); y < RowTop(2); ++y)
      if (img.pixelColor(x, y) != Base())
        text = true;
  EXPECT_TRUE(text);
}

TEST_F(CheckList, FocusedItemIsHighlightedFromInsideTheGlyph) {
  List->AddItem("alpha");
  List->AddItem("beta");
  Show();
  List->setFocus();
  List->setCurrentRow(0, QItemSelectionModel::NoUpdate);
  ASSERT_TRUE(List->hasFocus());
  const QImage img = Grab();
  const QColor high(0xE0, 0x10, 0x10);
  EXPECT_EQ(img.pixelColor(14, RowTop(0) + 14), high);  // one pixel inside the glyph, in its key column
  EXPECT_EQ(img.pixelColor(List->viewport()->width() - 3, RowTop(0) + 3), high);
  EXPECT_EQ(img.pixelColor(13, RowTop(0) + 5), QColor(0x80, 0x80, 0x80));  // the glyph's frame stays
  EXPECT_EQ(img.pixelColor(List->viewport()->width() - 3, RowTop(1) + 3), Base());
}

TEST_F(CheckList, EmptyFocusedListShowsAFocusRectangle) {
  Show();
  List->setFocus();
  ASSERT_TRUE(List->hasFocus());
  const QImage img = Grab();
  bool frame = false;
  for (int x = 0; x < img.width() && !frame; ++x)
    for (int y = 0; y < List->ItemHeight(); ++y)
      if (img.pixelColor(x, y) != Base())
        frame = true;
  EXPECT_TRUE(frame);
  for (int x = 0; x < img.width(); ++x)
    ASSERT_EQ(img.pixelColor(x, List->ItemHeight() + 4), Base()) << x;
}

TEST_F(CheckList, WiderGlyphMovesTheTextByTwiceItsWidth) {
  QPixmap wide(30, 15);
  wide.fill(Qt::yellow);
  List->SetGlyph_Checked(wide);
  List->OnDrawItem = nullptr;
  List->AddItem("x");
  int drawnAt = -1;
  List->OnDrawItem = [&](TGlyphCheckList *, QPainter *, int, const TRect &R, TOwnerDrawState) { drawnAt = R.Left; };
  Show();
  List->clearFocus();
  Grab();
  EXPECT_EQ(drawnAt, 30);
  List->OnDrawItem = nullptr;
  const QImage img = Grab();
  // Nothing is written between the glyph and twice its width.
  for (int x = 16; x < 60; ++x)
    ASSERT_EQ(img.pixelColor(x, 8), Base()) << x;
  bool text = false;
  for (int x = 60; x < 60 + Width("x") + 2 && !text; ++x)
    for (int y = 0; y < List->ItemHeight(); ++y)
      if (img.pixelColor(x, y) != Base())
        text = true;
  EXPECT_TRUE(text);
}

TEST_F(CheckList, ExtentGrowsOnAddAndIsRecomputedOnDelete) {
  List->AddItem("A");
  EXPECT_EQ(List->GetScrollWidth(), Width("AWWW"));
  List->AddItem("LONGER");
  EXPECT_EQ(List->GetScrollWidth(), Width("LONGERWWW"));
  List->InsertItem(0, "B");  // narrower: no change
  EXPECT_EQ(List->GetScrollWidth(), Width("LONGERWWW"));
  List->DeleteItem(2);
  EXPECT_EQ(List->GetScrollWidth(), std::max(Width("AWWW"), Width("BWWW")));
  List->DeleteItem(7);  // outside: nothing
  EXPECT_EQ(List->Count(), 2);
  List->DeleteItem(0);
  List->DeleteItem(0);
  EXPECT_EQ(List->GetScrollWidth(), 0);
}

TEST_F(CheckList, ExtentFollowsTheFontAndResetGivesZero) {
  List->AddItem("Component shop");
  List->AddItem("\xC9lectronique");  // Windows-1252 bytes
  const int before = List->GetScrollWidth();
  QFont f = List->font();
  f.setPointSize(f.pointSize() * 3);
  List->setFont(f);
  EXPECT_GT(List->GetScrollWidth(), before * 2);
  EXPECT_EQ(List->GetScrollWidth(), QFontMetrics(f).horizontalAdvance(QStringLiteral("Component shopWWW")));
  EXPECT_EQ(List->GetItemText(1), "\xC9lectronique");
  List->Clear();
  EXPECT_EQ(List->GetScrollWidth(), 0);
  EXPECT_EQ(List->Count(), 0);
}

TEST_F(CheckList, HorizontalScrollCoversTheExtent) {
  List->AddItem(std::string(80, 'M'));
  Show();
  Grab();
  EXPECT_EQ(List->horizontalScrollBar()->maximum(), List->GetScrollWidth() - List->viewport()->width());
}

}  // namespace
