#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

#include "components/replistv.h"
#include "platform/Registry.h"
#include "platform/gui/Shell.h"
#include "platform/gui/TextRecorder.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/Messages.h"
#include "tests/listview/ListTestSupport.h"
#include "tests/support/TestEnv.h"

using namespace kv;
using listtest::Captions;
using listtest::CellCenter;

namespace {

QPixmap Solid(int W, int H, Qt::GlobalColor C) {
  QPixmap p(W, H);
  p.fill(C);
  return p;
}

class ListView : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
  std::unique_ptr<QWidget> Form;
  TReportListView *View = nullptr;
  std::vector<std::string> Opened;

  void SetUp() override {
    SetShellOpenHook([this](const std::string &Url) { Opened.push_back(Url); });
    Form = std::make_unique<QWidget>();
    Form->resize(700, 400);
    View = new TReportListView(Form.get());
    View->setGeometry(0, 0, 600, 300);
    View->AddColumn("Part", 100);
    View->AddColumn("Description", 150);
    View->AddColumn("Datasheet", 120);
    View->AddColumn("Price", 80, taRightJustify);
  }
  void TearDown() override {
    Form.reset();
    SetShellOpenHook(nullptr);
  }
  void AddRow(const std::string &Part, const std::string &Desc, const std::string &Sheet, const std::string &Price) {
    TReportItem it;
    it.Caption = Part;
    it.SubItems = {Desc, Sheet, Price};
    View->AddItem(it);
  }
  void Show() {
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }
  void ClickHeader(int Col) {
    QHeaderView *h = View->header();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(h->sectionViewportPosition(Col) + h->sectionSize(Col) / 2, h->height() / 2));
  }
  void MoveMouse(QPoint P) {
    QMouseEvent ev(QEvent::MouseMove, P, View->viewport()->mapToGlobal(P), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(View->viewport(), &ev);
  }
};

TEST_F(ListView, InitialValues) {
  TReportListView v;
  EXPECT_EQ(v.ItemHeight(), 13);
  EXPECT_EQ(v.VAlignment(), vtaCenter);
  EXPECT_EQ(v.VerticalTextFlag(), 4u);
  EXPECT_EQ(v.SelectionColor(), clHighlight);
  EXPECT_EQ(v.SelectionTextColor(), clHighlightText);
  EXPECT_EQ(v.URLColor(), 0);
  EXPECT_EQ(v.Delimiter, ',');
  EXPECT_EQ(v.PrintSettings().DateFormat, "dd/mm/yyyy");
  EXPECT_EQ(v.PrintSettings().PageNumSep, "/");
  EXPECT_EQ(v.SortDirection(), sdAscending);
  EXPECT_EQ(v.SortColumn(), -1);
  EXPECT_EQ(v.SortSubItem(), -2);
  EXPECT_FALSE(v.OwnerDraw());
  EXPECT_FALSE(v.SortShow());
  EXPECT_EQ(v.HoverTime(), 0);
  EXPECT_FALSE(v.ColumnSize().Save);
  EXPECT_EQ(v.ColumnSize().Owner, &v);
  int fixed = 0;
  v.GetFixedNumber(fixed);
  EXPECT_EQ(fixed, 48);
  v.SetItemHeight(0);
  v.SetItemHeight(-5);
  EXPECT_EQ(v.ItemHeight(), 13);
  v.SetVAlignment(vtaBottom);
  EXPECT_EQ(v.VerticalTextFlag(), 8u);
}

TEST_F(ListView, ColumnAutoHintSwitches) {
  EXPECT_TRUE(View->GetColumnAutoHint(256));
  EXPECT_FALSE(View->GetColumnAutoHint(-1));
  EXPECT_FALSE(View->GetColumnAutoHint(257));
  View->SetColumnAutoHint(257, false);
  View->SetColumnAutoHint(-1, false);
  EXPECT_TRUE(View->GetColumnAutoHint(256));
  View->SetColumnAutoHint(3, false);
  EXPECT_FALSE(View->GetColumnAutoHint(3));
}

TEST_F(ListView, CellAddressingOutsideIsEmptyAndSafe) {
  AddRow("P1", "D1", "", "");
  View->SetItem(0, TReportItem{"P1", {"D1"}, 0, {}, nullptr});
  EXPECT_EQ(View->GetCellText(2, -1), "Datasheet");
  EXPECT_EQ(View->GetCellText(-2, -1), "");
  EXPECT_EQ(View->GetCellText(5, 0), "");
  EXPECT_EQ(View->GetCellText(0, 7), "");
  View->SetCellText(3, 0, "x");
  EXPECT_EQ(View->Item(0).SubItems, (std::vector<std::string>{"D1", "", "x"}));
  View->SetCellText(9, 0, "y");
  View->SetCellText(-1, 0, "y");
  View->SetCellText(0, -1, "y");
  EXPECT_EQ(View->Item(0).Caption, "P1");
  EXPECT_THROW(View->Item(1), EListError);
  EXPECT_THROW(View->Item(-1), EListError);
  View->SetSubItemImage(0, 99, 3);
  View->SetSubItemImage(-1, 0, 3);
  View->SetSubItemImage(0, 1, 3);
  EXPECT_EQ(View->GetSubItemImage(0, 1), 3);
  EXPECT_EQ(View->GetSubItemImage(0, 0), -1);
  EXPECT_EQ(View->GetSubItemImage(5, 0), -1);
  EXPECT_EQ(View->GetSubItemRect(9, 0), TRect());
}

TEST_F(ListView, HeaderClicksSortAndReverse) {
  AddRow("b", "x", "", "1,250.00");
  AddRow("c", "x", "", "999.00");
  AddRow("a", "x", "", "");
  View->SetSortShow(true);
  std::vector<int> clicks, done;
  View->OnColumnClick = [&](TReportListView *, int c) { clicks.push_back(c); };
  View->OnSortDone = [&](TReportListView *, int c) { done.push_back(c); };
  Show();
  ClickHeader(0);
  EXPECT_EQ(Captions(*View), (std::vector<std::string>{"a", "b", "c"}));
  ClickHeader(0);
  EXPECT_EQ(View->SortDirection(), sdDescending);
  EXPECT_EQ(Captions(*View), (std::vector<std::string>{"c", "b", "a"}));
  // Another column keeps the direction.
  View->OnGetFormat = [](TReportListView *, int ACol, TSortStyle &Style, std::string &, std::string &) {
    if (ACol == 2)
      Style = 9;
  };
  ClickHeader(3);
  EXPECT_EQ(View->SortColumn(), 3);
  EXPECT_EQ(View->SortSubItem(), 2);
  EXPECT_EQ(Captions(*View), (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_EQ(clicks, (std::vector<int>{0, 0, 3}));
  EXPECT_EQ(done, (std::vector<int>{0, 0, 3}));
}

TEST_F(ListView, HeaderClickWithoutSortShowOnlyReports) {
  AddRow("b", "", "", "");
  AddRow("a", "", "", "");
  int clicks = 0;
  View->OnColumnClick = [&](TReportListView *, int) { ++clicks; };
  Show();
  ClickHeader(0);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(Captions(*View), (std::vector<std::string>{"b", "a"}));
}

TEST_F(ListView, SortStartVetoLeavesDirectionReversed) {
  AddRow("b", "", "", "");
  AddRow("a", "", "", "");
  View->SetSortShow(true);
  View->SetSortColumn(0);
  EXPECT_EQ(Captions(*View), (std::vector<std::string>{"a", "b"}));
  bool veto = true;
  int done = 0;
  View->OnSortStart = [&](TReportListView *, int, bool &enable) { enable = !veto; };
  View->OnSortDone = [&](TReportListView *, int) { ++done; };
  View->ColClick(0);
  EXPECT_EQ(View->SortDirection(), sdDescending);
  EXPECT_EQ(Captions(*View), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(done, 0);
}

TEST_F(ListView, SortColumnOutsideDoesNothing) {
  AddRow("b", "", "", "");
  AddRow("a", "", "", "");
  View->SetSortColumn(4);
  View->SetSortColumn(-3);
  EXPECT_EQ(View->SortColumn(), -1);
  EXPECT_EQ(Captions(*View), (std::vector<std::string>{"b", "a"}));
}

TEST_F(ListView, SelectionFollowsItsRowThroughASort) {
  AddRow("b", "", "", "");
  AddRow("c", "", "", "");
  AddRow("a", "", "", "");
  View->SetSelected(1);
  View->SetSortColumn(0);
  ASSERT_EQ(View->Selected(), 2);
  EXPECT_EQ(View->Item(View->Selected()).Caption, "c");
}

TEST_F(ListView, CustomSortIsStable) {
  AddRow("a", "2", "", "");
  AddRow("b", "1", "", "");
  AddRow("c", "2", "", "");
  AddRow("d", "1", "", "");
  View->CustomSort([](const TReportItem &A, const TReportItem &B) { return A.SubItems[0].compare(B.SubItems[0]); });
  EXPECT_EQ(Captions(*View), (std::vector<std::string>{"b", "d", "a", "c"}));
}

TEST_F(ListView, SortHeaderImagesAndGlyphs) {
  TImageList images(16, 16);
  images.Add(Solid(16, 16, Qt::red));
  images.Add(Solid(16, 16, Qt::blue));
  View->SetHeaderImages(&images);
  View->SetSortShow(true);
  View->SetSortColumn(1);
  EXPECT_EQ(View->ColumnHeaderImage(1), 0);
  EXPECT_EQ(View->ColumnFormat(1), hfImage);
  View->ColClick(1);
  EXPECT_EQ(View->ColumnHeaderImage(1), 1);
  View->SetSortIndicator(siRight);
  View->ColClick(3);
  EXPECT_EQ(View->ColumnHeaderImage(1), -1);
  EXPECT_EQ(View->ColumnFormat(1), 0);
  EXPECT_EQ(View->ColumnFormat(3), 1 | hfImage | hfBitmapOnRight);
  View->SetSortUpGlyph(Solid(8, 8, Qt::green));
  View->SetSortDownGlyph(Solid(8, 8, Qt::black));
  View->ColClick(3);  // reversed: ascending again
  EXPECT_EQ(View->ColumnFormat(3), 1 | hfBitmapOnRight | hfBitmap | hfString);
  EXPECT_EQ(View->ColumnHeaderPicture(3).toImage().pixelColor(0, 0), QColor(Qt::green));
  View->ColClick(3);
  EXPECT_EQ(View->ColumnHeaderPicture(3).toImage().pixelColor(0, 0), QColor(Qt::black));
}

TEST_F(ListView, FreedImageListsAreLetGo) {
  auto header = std::make_unique<TImageList>();
  auto small = std::make_unique<TImageList>();
  View->SetHeaderImages(header.get());
  View->SetSmallImages(small.get());
  AddRow("P1", "", "", "");
  View->SetSortShow(true);
  View->SetSortColumn(0);
  header.reset();
  small.reset();
  EXPECT_EQ(View->HeaderImages(), nullptr);
  EXPECT_EQ(View->SmallImages(), nullptr);
  EXPECT_TRUE(View->ColumnHeaderPicture(0).isNull());
}

TEST_F(ListView, EndOfAColumnResizeRestoresTheSortImage) {
  TImageList images(16, 16);
  images.Add(Solid(16, 16, Qt::red));
  images.Add(Solid(16, 16, Qt::blue));
  View->SetHeaderImages(&images);
  View->SetSortShow(true);
  View->SetSortColumn(1);
  std::vector<int> sized;
  View->OnColumnSized = [&](TReportListView *, int c) { sized.push_back(c); };
  Show();
  QHeaderView *h = View->header();
  auto drag = [&](int Col, int By) {
    const int edge = h->sectionViewportPosition(Col) + h->sectionSize(Col) - 1;
    const int y = h->height() / 2;
    auto send = [&](QEvent::Type t, int x, Qt::MouseButtons b) {
      QMouseEvent ev(t, QPointF(x, y), h->viewport()->mapToGlobal(QPointF(x, y)), Qt::LeftButton, b,
                     Qt::NoModifier);
      QApplication::sendEvent(h->viewport(), &ev);
    };
    send(QEvent::MouseButtonPress, edge, Qt::LeftButton);
    send(QEvent::MouseMove, edge + By / 2, Qt::LeftButton);
    send(QEvent::MouseMove, edge + By, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, edge + By, Qt::NoButton);
  };
  // The header image of a resized column would be lost; the list puts the
  // sort image back on the sort column and clears any other.
  View->SetHeaderImage(2, 1);
  drag(2, 30);
  EXPECT_EQ(View->ColumnWidth(2), 150);
  EXPECT_EQ(View->ColumnHeaderImage(2), -1);
  EXPECT_EQ(View->ColumnFormat(2), 0);
  drag(1, -20);
  EXPECT_EQ(View->ColumnHeaderImage(1), 0);
  EXPECT_EQ(sized, (std::vector<int>{2, 1}));
  View->SetColumnWidth(3, 20);
  EXPECT_EQ(sized.size(), 2u);
}

TEST_F(ListView, LinkClickWithoutHandlerOpensAllowedAddressesOnly) {
  AddRow("P1", "plain", "http://example.com/ds.pdf", "");
  AddRow("P2", "plain", "javascript://alert", "");
  View->SetURLShow(true);
  Show();
  QTest::mouseClick(View->viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(*View, 0, 2));
  QTest::mouseClick(View->viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(*View, 1, 2));
  QTest::mouseClick(View->viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(*View, 0, 1));
  EXPECT_EQ(Opened, (std::vector<std::string>{"http://example.com/ds.pdf"}));
}

TEST_F(ListView, LinkClickWithHandlerRunsOnlyTheHandler) {
  AddRow("P1", "plain", "http://Datasheet", "");
  View->SetURLShow(true);
  int clicks = 0;
  View->OnClickURL = [&](TReportListView *Sender) {
    EXPECT_EQ(Sender, View);
    ++clicks;
  };
  Show();
  QTest::mouseClick(View->viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(*View, 0, 2));
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(Opened.empty());
  View->SetURLShow(false);
  QTest::mouseClick(View->viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(*View, 0, 2));
  EXPECT_EQ(clicks, 1);
}

TEST_F(ListView, CellClicksReportItemAndColumn) {
  AddRow("P1", "a", "", "");
  AddRow("P2", "b", "", "");
  std::vector<std::pair<int, int>> left, right;
  View->OnLeftClickCell = [&](TReportListView *, int i, int s) { left.push_back({i, s}); };
  View->OnRightClickCell = [&](TReportListView *, int i, int s) { right.push_back({i, s}); };
  Show();
  QTest::mouseClick(View->viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(*View, 1, 3));
  QTest::mouseClick(View->viewport(), Qt::RightButton, Qt::NoModifier, CellCenter(*View, 0, 1));
  EXPECT_EQ(left, (std::vector<std::pair<int, int>>{{1, 3}}));
  EXPECT_EQ(right, (std::vector<std::pair<int, int>>{{0, 1}}));
}

TEST_F(ListView, LinkCursorOverLinkCells) {
  AddRow("P1", "plain", "mailto:sales@example.com", "");
  Show();
  MoveMouse(CellCenter(*View, 0, 2));
  EXPECT_EQ(View->viewport()->cursor().shape(), Qt::ArrowCursor);  // URLShow off
  View->SetURLShow(true);
  MoveMouse(CellCenter(*View, 0, 2));
  EXPECT_EQ(View->viewport()->cursor().shape(), Qt::PointingHandCursor);
  MoveMouse(CellCenter(*View, 0, 1));
  EXPECT_EQ(View->viewport()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ListView, CellHintShowsOnlyTextThatDoesNotFit) {
  AddRow("P1", "short", "", "");
  AddRow("P2", std::string(200, 'W'), "", "");
  View->SetAutoHint(true);
  View->SetHint("ordinary");
  std::vector<std::tuple<int, int, TOwnerDrawState>> props;
  View->OnDrawItemProp = [&](TReportListView *, int i, int s, TOwnerDrawState st, TBrush &, TFont &,
                             const std::string &) { props.push_back({i, s, st}); };
  Show();
  auto ask = [&](int Row, int Col, std::string &Hint, bool &CanShow) {
    THintInfo info;
    info.HintControl = View;
    info.CursorPos = CellCenter(*View, Row, Col);
    Hint = "ordinary";
    CanShow = true;
    View->ShowCellHint(Hint, CanShow, info);
    return info;
  };
  std::string hint;
  bool canShow;
  ask(0, 1, hint, canShow);
  EXPECT_FALSE(canShow);
  THintInfo info = ask(1, 1, hint, canShow);
  EXPECT_TRUE(canShow);
  EXPECT_EQ(hint, std::string(200, 'W'));
  const TRect r = View->GetSubItemRect(1, 1);
  EXPECT_EQ(info.HintPos, View->viewport()->mapToGlobal(QPoint(r.Left, r.Top)));
  EXPECT_EQ(View->LastHintCell(), QPoint(1, 1));
  ASSERT_FALSE(props.empty());
  EXPECT_EQ(props.back(), std::make_tuple(1, 0, TOwnerDrawState(0)));
  // A column whose switch is off keeps the ordinary hint.
  View->SetColumnAutoHint(1, false);
  ask(1, 1, hint, canShow);
  EXPECT_EQ(hint, "ordinary");
  EXPECT_TRUE(canShow);
  // Leaving the hint's cell hides it.
  MoveMouse(CellCenter(*View, 1, 1));
  EXPECT_EQ(View->LastHintCell(), QPoint(1, 1));
  MoveMouse(CellCenter(*View, 0, 1));
  EXPECT_EQ(View->LastHintCell(), QPoint(-1, -1));
}

// A shop's text in a cell hint is shown as it is, not read as markup.
TEST_F(ListView, CellHintShowsMarkupAsText) {
  const std::string Markup = "<b>LM317</b><img src=\"x.gif\">" + std::string(60, 'W');
  AddRow("P1", Markup, "", "");
  View->SetAutoHint(true);
  Show();
  const QPoint At = CellCenter(*View, 0, 1);
  QHelpEvent Help(QEvent::ToolTip, At, View->viewport()->mapToGlobal(At));
  QApplication::sendEvent(View->viewport(), &Help);
  ASSERT_TRUE(kv::WaitUntil([] { return QToolTip::isVisible(); }, 20000));
  QTextDocument Shown;
  Shown.setHtml(QToolTip::text());
  EXPECT_EQ(kv::ToAnsi(Shown.toPlainText()), Markup);
  QToolTip::hideText();
}

TEST_F(ListView, CellHintColumnZeroStartsAtTheLeftEdge) {
  AddRow(std::string(100, 'W'), "", "", "");
  View->SetAutoHint(true);
  Show();
  View->header()->moveSection(0, 2);
  THintInfo info;
  info.HintControl = View;
  info.CursorPos = CellCenter(*View, 0, 0);
  std::string hint;
  bool canShow = false;
  View->ShowCellHint(hint, canShow, info);
  EXPECT_TRUE(canShow);
  EXPECT_EQ(info.HintPos.x(), View->viewport()->mapToGlobal(QPoint(0, 0)).x());
}

TEST_F(ListView, OwnerDrawPaintsCellsInDisplayOrder) {
  AddRow("P1", "d", "ftp://x/a", "1.00");
  View->SetOwnerDraw(true);
  View->SetItemHeight(15);
  View->SetURLShow(true);
  View->SetSelected(0);
  std::vector<std::pair<int, std::string>> cells;
  std::vector<TOwnerDrawState> states;
  int rows = 0;
  View->OnDrawItemProp = [&](TReportListView *, int i, int s, TOwnerDrawState st, TBrush &B, TFont &,
                             const std::string &t) {
    EXPECT_EQ(i, 0);
    EXPECT_EQ(B.Color, clHighlight);
    cells.push_back({s, t});
    states.push_back(st);
  };
  View->OnDrawItem = [&](TReportListView *, QPainter *c, int i, const TRect &R, TOwnerDrawState) {
    EXPECT_NE(c, nullptr);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(R.Height(), 15);
    ++rows;
  };
  Show();
  View->header()->moveSection(3, 0);
  cells.clear();
  rows = 0;
  View->viewport()->repaint();
  ASSERT_GE(rows, 1);
  ASSERT_GE(cells.size(), 4u);
  std::vector<std::pair<int, std::string>> first(cells.begin(), cells.begin() + 4);
  EXPECT_EQ(first, (std::vector<std::pair<int, std::string>>{{2, "1.00"}, {-1, "P1"}, {0, "d"}, {1, "ftp://x/a"}}));
  EXPECT_TRUE(states[0] & odSelected);
  EXPECT_EQ(View->visualRect(View->model()->index(0, 0)).height(), 15);
}

TEST_F(ListView, RichCellsDrawThroughTheRenderer) {
  AddRow("P1", "{\\rtf1 {\\b bold} rest}", "a {\\b x}", "");
  View->SetOwnerDraw(true);
  Show();
  View->grab();
  const auto &runs = View->RichEdit().Runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].Text, "bold");
  EXPECT_EQ(runs[0].Style, fsBold);
  EXPECT_EQ(runs[1].Text, " rest");
}

// A plan made for a row at another width and font says what the list paints
// once it has them: the text of each cell, cut or whole, in its place.
TEST_F(ListView, PlanAtAWidthAndFontIsWhatTheListPaintsThere) {
  TImageList Images(16, 16);
  Images.Add(Solid(16, 16, Qt::red));
  View->SetSmallImages(&Images);
  View->SetSubImages(true);
  View->SetOwnerDraw(true);
  View->SetItemHeight(15);
  TReportItem Row;
  Row.Caption = "LM317T";
  Row.SubItems = {"Adjustable regulator", "-", "88,888.88"};
  Row.ImageIndex = 0;
  Row.SubItemImages = {-1, -1, 0};
  View->AddItem(Row);
  Show();
  struct TCase {
    const char *Name;
    int PriceWidth, Points;
  } Cases[] = {{"wide", 120, 9}, {"cut", 50, 9}, {"cut at a larger size", 70, 14}, {"narrow", 12, 8}};
  bool Cut = false, Whole = false;
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    TFont Font;
    Font.Size = C.Points;
    std::vector<int> Widths{60, 90, 50, C.PriceWidth};
    const std::vector<TCellPlan> Plan = View->RowPlan(Row, 0, Font, Widths);
    View->SetFont(Font);
    for (int Col = 0; Col < 4; ++Col)
      View->SetColumnWidth(Col, Widths[static_cast<size_t>(Col)]);
    TTextRecorder Painted(View->viewport()->size());
    View->viewport()->render(&Painted);
    ASSERT_EQ(Plan.size(), 4u);
    for (const TCellPlan &Cell : Plan) {
      const QString Drawn = View->DrawnText(Cell);
      EXPECT_EQ(Painted.Text(Cell.TextRect.Left, Cell.TextRect.Right), Drawn) << Cell.Column;
      EXPECT_TRUE(Painted.ShowsWhole(Drawn, Cell.TextRect.Left, Cell.TextRect.Right)) << Cell.Column;
    }
    (View->DrawnText(Plan[3]) == FromAnsi(Plan[3].Shown) ? Whole : Cut) = true;
  }
  EXPECT_TRUE(Cut && Whole);
}

// Whether the header shows a caption whole at a width, font and picture is
// what it paints once the heading has them.
TEST_F(ListView, HeadingShowsWholeAsTheHeaderPaintsIt) {
  View->SetSortUpGlyph(Solid(8, 8, Qt::green));
  View->SetSortDownGlyph(Solid(8, 8, Qt::black));
  View->SetSortShow(true);
  Show();
  TFont Font;
  Font.Size = 9;
  const int Caption = QFontMetrics(ToQFont(Font, View->font())).horizontalAdvance("Description");
  struct TCase {
    const char *Name;
    int Width;
    bool Sorted;
  } Cases[] = {{"wide", Caption + 40, false},   {"wide, sorted", Caption + 40, true},
               {"tight", Caption + 8, false},   {"tight, sorted", Caption + 8, true},
               {"narrow", Caption / 2, false},  {"narrow, sorted", Caption / 2, true}};
  bool Cut = false, Whole = false;
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    View->SetHeaderFont(Font);
    View->SetColumnWidth(1, C.Width);
    if (C.Sorted)
      View->UpdateSortGlyph(1);
    else
      View->ResetColumnFormat(1);
    const bool Predicted = View->HeadingShowsWhole(1, Font, C.Width, View->ColumnHeaderPicture(1));
    EXPECT_EQ(C.Sorted, !View->ColumnHeaderPicture(1).isNull());
    QHeaderView *Header = View->header();
    TTextRecorder Painted(Header->size());
    Header->render(&Painted);
    const int Left = Header->sectionViewportPosition(1);
    EXPECT_EQ(Painted.ShowsWhole("Description", Left, Left + Header->sectionSize(1)), Predicted);
    (Predicted ? Whole : Cut) = true;
  }
  EXPECT_TRUE(Cut && Whole);
}

TEST_F(ListView, SaveColumnSizesWritesEveryWidth) {
  View->SetColumnWidth(2, 77);
  View->ColumnSize().Save = true;
  View->ColumnSize().Key = "Software\\Korvandel\\Test";
  View->ColumnSize().Section = "Columns";
  View->SaveColumnSizes();
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Korvandel\\Test\\Columns"));
  EXPECT_EQ(reg.ReadString("col0"), "100");
  EXPECT_EQ(reg.ReadString("col2"), "77");
  EXPECT_EQ(reg.ReadString("col3"), "80");
  EXPECT_FALSE(reg.ValueExists("col4"));
}

TEST_F(ListView, SaveColumnSizesNeedsKeyAndSection) {
  View->ColumnSize().Save = true;
  View->ColumnSize().Section = "Columns";
  View->SaveColumnSizes();
  TRegistry reg;
  EXPECT_FALSE(reg.KeyExists("Columns"));
  EXPECT_FALSE(reg.KeyExists("\\Columns"));
}

TEST_F(ListView, DestructorSavesAndSurvivesADamagedRegistry) {
  View->ColumnSize().Save = true;
  View->ColumnSize().Key = "Software\\Korvandel\\Test";
  View->ColumnSize().Section = "Columns";
  delete View;
  View = nullptr;
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Korvandel\\Test\\Columns"));
    EXPECT_EQ(reg.ReadString("col1"), "150");
  }
  const char *file = std::getenv("KORVANDEL_REGISTRY");
  ASSERT_NE(file, nullptr);
  kvtest::WriteFile(file, "\x01\x02 this is no registry [[[\n");
  auto *v = new TReportListView(Form.get());
  v->AddColumn("A", 10);
  v->ColumnSize().Save = true;
  v->ColumnSize().Key = "K";
  v->ColumnSize().Section = "S";
  EXPECT_ANY_THROW(v->SaveColumnSizes());
  EXPECT_NO_THROW(delete v);
}

TEST_F(ListView, SizeWithForm) {
  View->SetSizeWithForm(true);
  Show();
  Form->resize(800, 450);
  QApplication::processEvents();
  EXPECT_EQ(View->width(), 700);
  EXPECT_EQ(View->height(), 350);
  // A form so small that the list would vanish leaves everything as it was.
  Form->resize(50, 450);
  QApplication::processEvents();
  EXPECT_EQ(View->width(), 700);
  Form->resize(900, 450);
  QApplication::processEvents();
  EXPECT_EQ(View->width(), 800);
}

TEST_F(ListView, EmptyWallpaperGivesPlainColour) {
  View->SetColor(clYellow);
  View->SetWallpaper(Solid(4, 4, Qt::blue));
  EXPECT_EQ(View->viewport()->palette().brush(QPalette::Base).style(), Qt::TexturePattern);
  View->SetWallpaper(QPixmap());
  EXPECT_EQ(View->viewport()->palette().brush(QPalette::Base).color(), QColor(255, 255, 0));
}

TEST_F(ListView, RowsAddedInAnUpdateReachTheViewAtItsEnd) {
  View->BeginUpdate();
  for (int i = 0; i < 50; ++i)
    AddRow("P" + std::to_string(i), "", "", "");
  EXPECT_EQ(View->ItemCount(), 50);
  EXPECT_EQ(View->model()->rowCount(), 0);
  View->SetItemImage(10, 1);
  View->EndUpdate();
  EXPECT_EQ(View->model()->rowCount(), 50);
  View->DeleteItem(3);
  EXPECT_EQ(View->model()->rowCount(), 49);
  EXPECT_EQ(View->Item(3).Caption, "P4");
  View->ClearItems();
  EXPECT_EQ(View->model()->rowCount(), 0);
}

}  // namespace

namespace {

// A cell's text starts where its heading's does, in every style this machine
// offers, unless the cell draws an image: then it starts right of it. An
// image that draws nothing (a wholly transparent one, or an index beyond the
// list) is no image. Measured in a picture of the list.
TEST_F(ListView, CellTextStartsUnderItsHeading) {
  TImageList Images(16, 16);
  Images.Add(Solid(16, 16, Qt::red));
  QPixmap Clear(16, 16);
  Clear.fill(Qt::transparent);
  Images.Add(Clear);
  View->SetSmallImages(&Images);
  View->SetSubImages(true);
  View->SetOwnerDraw(true);
  TFont Font;
  Font.Size = 9;
  View->SetFont(Font);
  View->SetHeaderFont(Font);
  struct TCase {
    const char *Name;
    int Image;
    bool Drawn;
  } Cases[] = {{"no image", -1, false},
               {"a transparent image", 1, false},
               {"an index beyond the list", 5, false},
               {"an image", 0, true}};
  TReportItem Row;
  Row.Caption = "Part";
  Row.SubItems = {"Description", "Datasheet", "Price"};
  for (const TCase &C : Cases) {
    Row.SubItemImages = {C.Image, C.Image, C.Image};
    View->AddItem(Row);
  }
  Show();
  for (const QString &Key : QStyleFactory::keys()) {
    SCOPED_TRACE(Key.toStdString());
    QStyle *Style = QStyleFactory::create(Key);
    ASSERT_NE(Style, nullptr);
    Style->setParent(Form.get());
    View->setStyle(Style);
    View->header()->setStyle(Style);
    QApplication::processEvents();
    const QImage Shot = View->grab().toImage();
    const qreal Ratio = Shot.devicePixelRatio();
    QHeaderView *Header = View->header();
    for (int Col : {1, 2}) {
      SCOPED_TRACE(View->ColumnCaption(Col));
      // Inside the section's borders.
      const QRect Heading(Header->x() + Header->sectionViewportPosition(Col) + 1, Header->y() + 2,
                          Header->sectionSize(Col) - 2, Header->height() - 4);
      const int HeadingText = listtest::FirstInkColumn(Shot, listtest::DeviceRect(Heading, Ratio));
      ASSERT_GE(HeadingText, 0);
      for (int Index = 0; Index < View->ItemCount(); ++Index) {
        const TCase &C = Cases[Index];
        SCOPED_TRACE(C.Name);
        // Inside a focus frame around the row.
        const QRect Cell = View->visualRect(View->model()->index(Index, Col))
                               .translated(View->viewport()->pos())
                               .adjusted(0, 2, 0, -2);
        const int CellText = listtest::FirstInkColumn(Shot, listtest::DeviceRect(Cell, Ratio));
        EXPECT_EQ(CellText - HeadingText, C.Drawn ? qRound(16 * Ratio) : 0);
      }
    }
  }
  std::string Output;
  EXPECT_TRUE(listtest::PassesScaled("1.5", Output)) << Output;
}

// Rows are taller than the small images the list draws: a row shows its
// image whole, and the next row's starts below it, not touching it.
TEST_F(ListView, RowsAreAtLeastAsTallAsTheirImages) {
  TImageList Small(16, 16), Tall(24, 24);
  Small.Add(Solid(16, 16, Qt::red));
  Tall.Add(Solid(24, 24, Qt::red));
  View->SetOwnerDraw(true);
  for (int i = 0; i < 3; ++i)
    AddRow("P" + std::to_string(i), "", "", "");
  for (int i = 0; i < 3; ++i)
    View->SetItemImage(i, 0);
  Show();
  struct TCase {
    const char *Name;
    int ItemHeight;
    TImageList *Images;
    int RowHeight;
  } Cases[] = {{"no images", 15, nullptr, 15},
               {"images taller than the rows", 15, &Small, 17},
               {"images as tall as the rows", 16, &Small, 17},
               {"much taller images", 15, &Tall, 25},
               {"rows taller than the images", 20, &Small, 20}};
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    View->SetItemHeight(C.ItemHeight);
    View->SetSmallImages(C.Images);
    QApplication::processEvents();
    EXPECT_EQ(View->ItemHeight(), C.ItemHeight);
    const QImage Shot = View->viewport()->grab().toImage();
    const qreal Ratio = Shot.devicePixelRatio();
    for (int Index = 0; Index < 2; ++Index) {
      const QRect Row = View->visualRect(View->model()->index(Index, 0));
      EXPECT_EQ(Row.height(), C.RowHeight);
      if (!C.Images)
        continue;
      // Red pixel rows of the row's image, at its middle column.
      const QRect Device = listtest::DeviceRect(Row, Ratio);
      const int X = qRound((Row.left() + C.Images->Width() / 2) * Ratio);
      int Red = 0;
      for (int Y = Device.top(); Y <= Device.bottom(); ++Y)
        Red += Shot.pixelColor(X, Y) == QColor(Qt::red);
      EXPECT_EQ(Red, qRound(C.Images->Height() * Ratio)) << "row " << Index;
      EXPECT_NE(Shot.pixelColor(X, Device.bottom()), QColor(Qt::red)) << "row " << Index;
    }
  }
  View->SetSmallImages(nullptr);
  std::string Output;
  EXPECT_TRUE(listtest::PassesScaled("1.5", Output)) << Output;
}

}  // namespace
