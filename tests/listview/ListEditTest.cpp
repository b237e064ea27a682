// In-place editing, moving rows and the header events, on a list of the
// tests' own with the switches on (the main window keeps them off).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <QApplication>
#include <QCursor>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include "components/replistv.h"
#include "tests/listview/ListTestSupport.h"
#include "tests/support/TestEnv.h"

using namespace kv;
using listtest::Captions;
using listtest::CellCenter;

namespace {

// Reaches the scroll timer's tick, so no test waits for the timer itself.
class TickingList : public TReportListView {
public:
  using TReportListView::TReportListView;
  void Tick() { ScrollTimerTick(); }
};

class ListEdit : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
  std::unique_ptr<QWidget> Form;
  TickingList *View = nullptr;

  void SetUp() override {
    Form = std::make_unique<QWidget>();
    Form->resize(700, 400);
    View = new TickingList(Form.get());
    View->setGeometry(0, 0, 600, 300);
    View->AddColumn("Part", 100);
    View->AddColumn("Description", 150);
    View->AddColumn("Price", 80, taRightJustify);
    View->AddColumn("Stock", 60);
  }
  void AddRows(int N) {
    for (int i = 0; i < N; ++i) {
      TReportItem it;
      it.Caption = "R" + std::to_string(i);
      it.SubItems = {"D" + std::to_string(i), "P" + std::to_string(i), "S" + std::to_string(i)};
      it.Data = reinterpret_cast<void *>(static_cast<intptr_t>(1000 + i));
      View->AddItem(it);
    }
  }
  void Show() {
    Form->show();
    QApplication::setActiveWindow(Form.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }
  void Mouse(QEvent::Type T, QPoint P, Qt::MouseButton B, Qt::MouseButtons Held) {
    QMouseEvent ev(T, P, View->viewport()->mapToGlobal(P), B, Held, Qt::NoModifier);
    QApplication::sendEvent(View->viewport(), &ev);
  }
  void Click(QPoint P) {
    Mouse(QEvent::MouseButtonPress, P, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, P, Qt::LeftButton, Qt::NoButton);
  }
  void Drag(QPoint From, QPoint To) {
    Mouse(QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, (From + To) / 2, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, To, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, To, Qt::LeftButton, Qt::NoButton);
  }
  // Presses a cell, then Space: the way the keyboard opens the editor.
  void OpenWithSpace(int Row, int Col) {
    Click(CellCenter(*View, Row, Col));
    QTest::keyClick(View, Qt::Key_Space);
  }
};

TEST_F(ListEdit, BothFeaturesAreOffByDefault) {
  TReportListView v;
  EXPECT_FALSE(v.SubItemEdit());
  EXPECT_FALSE(v.ReArrangeItems());
  AddRows(8);
  Show();
  Drag(CellCenter(*View, 2, 0), CellCenter(*View, 5, 0));
  OpenWithSpace(1, 2);
  EXPECT_EQ(Captions(*View), (std::vector<std::string>{"R0", "R1", "R2", "R3", "R4", "R5", "R6", "R7"}));
  EXPECT_FALSE(View->Editing());
  EXPECT_EQ(View->EditColumn(), 0);
}

struct DragCase {
  const char *Name;
  int From;
  int Onto;  // a row; -1: below the last row; -2: out of the list
  std::vector<std::string> Order;
  bool ThroughHeader = false;  // on the way, over the header band
};

void PrintTo(const DragCase &C, std::ostream *Out) { *Out << C.Name; }

class ListDrag : public ListEdit, public ::testing::WithParamInterface<DragCase> {};

TEST_P(ListDrag, MovesTheRow) {
  const DragCase &c = GetParam();
  AddRows(8);
  View->SetReArrangeItems(true);
  Show();
  const QPoint from = CellCenter(*View, c.From, 1);
  if (c.Onto == -2) {
    Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(View->DragRow(), c.From);
    Mouse(QEvent::MouseMove, QPoint(from.x(), View->viewport()->height() + 20), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(View->DragRow(), -1);
    // Coming back and letting go over a row moves nothing any more.
    Mouse(QEvent::MouseMove, CellCenter(*View, 6, 1), Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, CellCenter(*View, 6, 1), Qt::LeftButton, Qt::NoButton);
  } else {
    const QPoint to =
        c.Onto >= 0 ? CellCenter(*View, c.Onto, 1) : QPoint(from.x(), View->viewport()->height() - 5);
    Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    // Over every row between, as a real drag passes them.
    const int rows = std::abs(c.Onto - c.From);
    for (int i = 1; i <= rows; ++i)
      Mouse(QEvent::MouseMove, from + (to - from) * i / rows, Qt::NoButton, Qt::LeftButton);
    if (c.ThroughHeader) {
      const QPoint band(from.x(), -View->header()->height() / 2);
      Mouse(QEvent::MouseMove, band, Qt::NoButton, Qt::LeftButton);
      EXPECT_EQ(View->DragRow(), c.From);
      QEvent leave(QEvent::Leave);
      QCursor::setPos(View->viewport()->mapToGlobal(band));
      QApplication::sendEvent(View->viewport(), &leave);
      EXPECT_EQ(View->DragRow(), c.From) << "leaving into the header cancelled the move";
    }
    Mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  }
  EXPECT_EQ(Captions(*View), c.Order);
  EXPECT_EQ(View->DragRow(), -1);
  EXPECT_FALSE(View->ScrollTimerActive());
  // The row pressed keeps the selection and has the focus, wherever it is
  // (after a cancelled move the press is an ordinary one).
  if (c.Onto == -2)
    return;
  const std::string moved = "R" + std::to_string(c.From);
  const int at = static_cast<int>(std::find(c.Order.begin(), c.Order.end(), moved) - c.Order.begin());
  EXPECT_EQ(View->Selected(), at);
  EXPECT_EQ(View->ItemFocused(), at);
}

const DragCase kDragCases[] = {
    {"DownBelowTarget", 2, 5, {"R0", "R1", "R3", "R4", "R5", "R2", "R6", "R7"}},
    {"UpAboveTarget", 5, 2, {"R0", "R1", "R5", "R2", "R3", "R4", "R6", "R7"}},
    {"SameRowNothing", 3, 3, {"R0", "R1", "R2", "R3", "R4", "R5", "R6", "R7"}},
    {"BelowLastRowToTheEnd", 1, -1, {"R0", "R2", "R3", "R4", "R5", "R6", "R7", "R1"}},
    {"LeavingTheListCancels", 1, -2, {"R0", "R1", "R2", "R3", "R4", "R5", "R6", "R7"}},
    {"OverTheHeaderBandStillMoves", 2, 5, {"R0", "R1", "R3", "R4", "R5", "R2", "R6", "R7"}, true},
};

INSTANTIATE_TEST_SUITE_P(Rows, ListDrag, ::testing::ValuesIn(kDragCases),
                         [](const ::testing::TestParamInfo<DragCase> &i) { return std::string(i.param.Name); });

TEST_F(ListEdit, PressBelowTheRowsStartsNoMove) {
  AddRows(8);
  View->SetReArrangeItems(true);
  Show();
  Click(CellCenter(*View, 3, 0));
  const QPoint below(20, View->viewport()->height() - 5);
  Click(below);
  EXPECT_EQ(View->DragRow(), -1);
  EXPECT_EQ(Captions(*View)[3], "R3");
  EXPECT_EQ(Captions(*View).back(), "R7");
}

TEST_F(ListEdit, MoveItemKeepsSelectionDataAndGivesFocus) {
  AddRows(8);
  View->SetSelected(2);
  View->MoveItem(2, 5);
  EXPECT_EQ(View->Item(5).Caption, "R2");
  EXPECT_EQ(View->Item(5).SubItems, (std::vector<std::string>{"D2", "P2", "S2"}));
  EXPECT_EQ(View->ItemData(5), reinterpret_cast<void *>(1002));
  EXPECT_EQ(View->Selected(), 5);
  EXPECT_EQ(View->ItemFocused(), 5);
  // An unselected row stays unselected where it lands, and the selected one
  // keeps its selection at its new place.
  View->MoveItem(0, -1);
  EXPECT_EQ(View->Item(7).Caption, "R0");
  EXPECT_EQ(View->ItemFocused(), 7);
  EXPECT_EQ(View->Selected(), 4);
  EXPECT_EQ(View->Item(4).Caption, "R2");
}

TEST_F(ListEdit, FindSelectedItemSelectsTheFocusedRow) {
  EXPECT_EQ(View->FindSelectedItem(), 0);
  AddRows(5);
  EXPECT_EQ(View->FindSelectedItem(), 0);
  EXPECT_EQ(View->Selected(), -1);
  View->SetItemFocused(3);
  EXPECT_EQ(View->FindSelectedItem(), 3);
  EXPECT_EQ(View->Selected(), 3);
}

TEST_F(ListEdit, DraggingNearAnEdgeScrollsOneLinePerTick) {
  AddRows(200);
  View->SetReArrangeItems(true);
  Show();
  QScrollBar *bar = View->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 10);
  const int h = View->viewport()->height();
  Mouse(QEvent::MouseButtonPress, CellCenter(*View, 2, 0), Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(View->ScrollTimerActive());
  EXPECT_EQ(View->ScrollTimerInterval(), 300);
  Mouse(QEvent::MouseMove, QPoint(20, h / 2), Qt::NoButton, Qt::LeftButton);
  View->Tick();
  EXPECT_EQ(bar->value(), 0);
  Mouse(QEvent::MouseMove, QPoint(20, h - 2), Qt::NoButton, Qt::LeftButton);
  View->Tick();
  View->Tick();
  View->Tick();
  const int down = bar->value();
  EXPECT_GT(down, 0);
  Mouse(QEvent::MouseMove, QPoint(20, 2), Qt::NoButton, Qt::LeftButton);
  View->Tick();
  EXPECT_LT(bar->value(), down);
  Mouse(QEvent::MouseButtonRelease, QPoint(20, 2), Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(View->ScrollTimerActive());
  // Without a drag a tick does nothing.
  const int now = bar->value();
  Mouse(QEvent::MouseMove, QPoint(20, h - 2), Qt::NoButton, Qt::NoButton);
  View->Tick();
  EXPECT_EQ(bar->value(), now);
}

TEST_F(ListEdit, SpaceEditsThePressedCellAndKeepsTheCaption) {
  AddRows(4);
  View->SetSubItemEdit(true);
  Show();
  OpenWithSpace(1, 2);
  ASSERT_TRUE(View->Editing());
  EXPECT_EQ(View->EditColumn(), 2);
  EXPECT_EQ(View->EditRow(), 1);
  EXPECT_EQ(View->Editor()->text(), "P1");
  const TRect r = View->GetSubItemRect(1, 2);
  EXPECT_EQ(View->Editor()->geometry(), QRect(r.Left, r.Top, r.Width(), r.Height()));
  QTest::keyClicks(View->Editor(), "9,99 ");
  QTest::sendKeyEvent(QTest::Press, View->Editor(), Qt::Key_unknown, QString(QChar(0x20AC)), Qt::NoModifier);
  QTest::keyClick(View->Editor(), Qt::Key_Return);
  EXPECT_FALSE(View->Editing());
  EXPECT_EQ(View->Item(1).SubItems[1], "9,99 \x80");  // the euro sign of Windows-1252
  EXPECT_EQ(View->Item(1).Caption, "R1");
  EXPECT_EQ(View->Item(1).SubItems[0], "D1");
}

TEST_F(ListEdit, EditingColumnZeroStoresTheCaption) {
  AddRows(3);
  View->SetSubItemEdit(true);
  Show();
  OpenWithSpace(2, 0);
  ASSERT_TRUE(View->Editing());
  QTest::keyClicks(View->Editor(), "NEW");
  QTest::keyClick(View->Editor(), Qt::Key_Enter);
  EXPECT_EQ(View->Item(2).Caption, "NEW");
  EXPECT_EQ(View->Item(2).SubItems, (std::vector<std::string>{"D2", "P2", "S2"}));
}

TEST_F(ListEdit, EscapeChangesNothing) {
  AddRows(3);
  View->SetSubItemEdit(true);
  Show();
  OpenWithSpace(0, 3);
  ASSERT_TRUE(View->Editing());
  QTest::keyClicks(View->Editor(), "typed");
  QTest::keyClick(View->Editor(), Qt::Key_Escape);
  EXPECT_FALSE(View->Editing());
  EXPECT_EQ(View->Item(0).SubItems[2], "S0");
  EXPECT_EQ(View->Item(0).Caption, "R0");
}

TEST_F(ListEdit, UntouchedTextIsNotWrittenBack) {
  // A cell the editor cannot show as it is (a line break, a control byte)
  // must come back unchanged when the user accepts without typing.
  TReportItem it{"A", {"two\r\nlines\x01", "x"}, -1, {}, nullptr};
  View->AddItem(it);
  View->SetSubItemEdit(true);
  Show();
  OpenWithSpace(0, 1);
  ASSERT_TRUE(View->Editing());
  QTest::keyClick(View->Editor(), Qt::Key_Return);
  EXPECT_EQ(View->Item(0).SubItems[0], "two\r\nlines\x01");
  EXPECT_EQ(View->Item(0).SubItems.size(), 2u);
}

TEST_F(ListEdit, EditingAPaddedCellAddsItsSubItems) {
  TReportItem it{"A", {}, -1, {}, nullptr};
  View->AddItem(it);
  View->SetSubItemEdit(true);
  Show();
  OpenWithSpace(0, 3);
  ASSERT_TRUE(View->Editing());
  EXPECT_EQ(View->Editor()->text(), "");
  QTest::keyClicks(View->Editor(), "7");
  QTest::keyClick(View->Editor(), Qt::Key_Return);
  EXPECT_EQ(View->Item(0).SubItems, (std::vector<std::string>{"", "", "7"}));
}

TEST_F(ListEdit, LongTextIsKeptWhole) {
  const std::string longText(40000, 'x');
  View->AddItem(TReportItem{"A", {longText}, -1, {}, nullptr});
  View->SetSubItemEdit(true);
  Show();
  OpenWithSpace(0, 1);
  ASSERT_TRUE(View->Editing());
  EXPECT_EQ(View->Editor()->text().size(), 40000);
  View->Editor()->end(false);
  QTest::keyClicks(View->Editor(), "y");
  QTest::keyClick(View->Editor(), Qt::Key_Return);
  const std::string &stored = View->Item(0).SubItems[0];
  EXPECT_EQ(stored.size(), longText.size() + 1);
  EXPECT_TRUE(stored == longText + "y");
}

struct ArrowCase {
  const char *Name;
  int StartCol;
  std::vector<Qt::Key> Keys;
  int Col;
};

class ListArrows : public ListEdit, public ::testing::WithParamInterface<ArrowCase> {};

TEST_P(ListArrows, EditColumnStaysWithinTheColumns) {
  const ArrowCase &c = GetParam();
  AddRows(3);
  View->SetSubItemEdit(true);
  Show();
  Click(CellCenter(*View, 1, c.StartCol));
  ASSERT_EQ(View->EditColumn(), c.StartCol);
  for (Qt::Key k : c.Keys)
    QTest::keyClick(View, k);
  EXPECT_EQ(View->EditColumn(), c.Col);
  QTest::keyClick(View, Qt::Key_Space);
  ASSERT_TRUE(View->Editing());
  const TRect r = View->GetSubItemRect(1, c.Col);
  EXPECT_EQ(View->Editor()->geometry(), QRect(r.Left, r.Top, r.Width(), r.Height()));
}

const ArrowCase kArrowCases[] = {
    {"RightOnLastColumnStays", 3, {Qt::Key_Right, Qt::Key_Right}, 3},
    {"LeftOnColumnZeroStays", 0, {Qt::Key_Left}, 0},
    {"RightMoves", 1, {Qt::Key_Right}, 2},
    {"LeftMoves", 2, {Qt::Key_Left}, 1},
    {"ManyRightsEndOnTheLast", 0, {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right}, 3},
};

INSTANTIATE_TEST_SUITE_P(Keys, ListArrows, ::testing::ValuesIn(kArrowCases),
                         [](const ::testing::TestParamInfo<ArrowCase> &i) { return std::string(i.param.Name); });

TEST_F(ListEdit, EditorFollowsItsCellWhenAColumnResizes) {
  AddRows(3);
  View->SetSubItemEdit(true);
  Show();
  OpenWithSpace(2, 2);
  ASSERT_TRUE(View->Editing());
  View->SetColumnWidth(1, 40);
  View->SetColumnWidth(2, 200);
  const TRect r = View->GetSubItemRect(2, 2);
  EXPECT_EQ(View->Editor()->geometry(), QRect(r.Left, r.Top, r.Width(), r.Height()));
  EXPECT_EQ(r.Width(), 200);
}

TEST_F(ListEdit, ClickOnTheSelectedRowOpensTheEditor) {
  AddRows(3);
  View->SetSubItemEdit(true);
  Show();
  Click(CellCenter(*View, 1, 1));
  EXPECT_FALSE(View->Editing());  // the first click only selects
  Click(CellCenter(*View, 1, 1));
  ASSERT_TRUE(View->Editing());
  EXPECT_EQ(View->Editor()->text(), "D1");
}

TEST_F(ListEdit, ReadOnlyListOpensNoEditor) {
  AddRows(3);
  View->SetSubItemEdit(true);
  View->SetReadOnly(true);
  Show();
  OpenWithSpace(1, 1);
  EXPECT_FALSE(View->Editing());
  Click(CellCenter(*View, 1, 1));
  EXPECT_FALSE(View->Editing());
}

TEST_F(ListEdit, EditOfARowThatGoesAwayStoresNothing) {
  AddRows(3);
  View->SetSubItemEdit(true);
  Show();
  OpenWithSpace(1, 1);
  ASSERT_TRUE(View->Editing());
  QTest::keyClicks(View->Editor(), "lost");
  View->DeleteItem(1);
  EXPECT_FALSE(View->Editing());
  EXPECT_EQ(View->Item(1).SubItems[0], "D2");
  EXPECT_EQ(View->Item(0).SubItems[0], "D0");
}

TEST_F(ListEdit, EditFollowsItsRowThroughAMove) {
  AddRows(4);
  View->SetSubItemEdit(true);
  Show();
  OpenWithSpace(1, 1);
  ASSERT_TRUE(View->Editing());
  QTest::keyClicks(View->Editor(), "moved");
  View->MoveItem(1, 3);
  QTest::keyClick(View->Editor(), Qt::Key_Return);
  EXPECT_EQ(View->Item(3).Caption, "R1");
  EXPECT_EQ(View->Item(3).SubItems[0], "moved");
  EXPECT_EQ(View->Item(1).SubItems[0], "D2");
}

TEST_F(ListEdit, SpaceOnAnEmptyListOpensNothing) {
  View->SetSubItemEdit(true);
  Show();
  QTest::keyClick(View, Qt::Key_Space);
  EXPECT_FALSE(View->Editing());
}

class HeaderEvents : public ListEdit {
protected:
  QHeaderView *H() { return View->header(); }
  void HeaderMouse(QEvent::Type T, int X, Qt::MouseButton B, Qt::MouseButtons Held) {
    const QPointF p(X, H()->height() / 2);
    QMouseEvent ev(T, p, H()->viewport()->mapToGlobal(p), B, Held, Qt::NoModifier);
    QApplication::sendEvent(H()->viewport(), &ev);
  }
  void DragEdge(int Col, int By) {
    const int edge = H()->sectionViewportPosition(Col) + H()->sectionSize(Col) - 1;
    HeaderMouse(QEvent::MouseButtonPress, edge, Qt::LeftButton, Qt::LeftButton);
    HeaderMouse(QEvent::MouseMove, edge + By / 2, Qt::NoButton, Qt::LeftButton);
    HeaderMouse(QEvent::MouseMove, edge + By, Qt::NoButton, Qt::LeftButton);
    HeaderMouse(QEvent::MouseButtonRelease, edge + By, Qt::LeftButton, Qt::NoButton);
  }
};

TEST_F(HeaderEvents, AllowFalseBlocksTheResize) {
  std::vector<int> started, ended, sized;
  View->OnStartColumnTrack = [&](TReportListView *, int c, bool &Allow) {
    started.push_back(c);
    Allow = c != 1;
  };
  View->OnEndColumnTrack = [&](TReportListView *, int c) { ended.push_back(c); };
  View->OnColumnSized = [&](TReportListView *, int c) { sized.push_back(c); };
  std::vector<int> clicked;
  View->OnColumnClick = [&](TReportListView *, int c) { clicked.push_back(c); };
  Show();
  DragEdge(1, 40);
  EXPECT_EQ(View->ColumnWidth(1), 150);
  DragEdge(2, 30);
  EXPECT_EQ(View->ColumnWidth(2), 110);
  EXPECT_EQ(started, (std::vector<int>{1, 2}));
  EXPECT_EQ(ended, (std::vector<int>{2}));
  EXPECT_EQ(sized, (std::vector<int>{2}));
  EXPECT_TRUE(clicked.empty());
}

TEST_F(HeaderEvents, WithoutAHandlerColumnsResize) {
  std::vector<int> ended;
  View->OnEndColumnTrack = [&](TReportListView *, int c) { ended.push_back(c); };
  Show();
  DragEdge(0, 25);
  EXPECT_EQ(View->ColumnWidth(0), 125);
  EXPECT_EQ(ended, (std::vector<int>{0}));
}

TEST_F(HeaderEvents, RightClickReportsTheColumn) {
  std::vector<int> cols;
  View->OnColumnRClick = [&](TReportListView *, int c) { cols.push_back(c); };
  Show();
  auto rclick = [&](int X) {
    HeaderMouse(QEvent::MouseButtonPress, X, Qt::RightButton, Qt::RightButton);
    HeaderMouse(QEvent::MouseButtonRelease, X, Qt::RightButton, Qt::NoButton);
  };
  rclick(H()->sectionViewportPosition(2) + 10);
  rclick(H()->sectionViewportPosition(0) + 10);
  rclick(H()->length() + 30);  // past the last column
  EXPECT_EQ(cols, (std::vector<int>{2, 0, -1}));
}

}  // namespace
