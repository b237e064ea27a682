#include "client/window/uFontFit.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>

#include <algorithm>
#include <climits>
#include <vector>

#include "client/window/uListPictures.h"
#include "components/replistv.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/TextRecorder.h"
#include "platform/qt/Codepage.h"

namespace {

// Tried after the base family at each size, narrower ones later.
const std::array<const char *, 4> OtherFamilies = {"Liberation Sans", "DejaVu Sans Condensed",
                                                    "Liberation Sans Narrow", "Nimbus Sans Narrow"};

// Readable numbers are the point of the list.
constexpr int LeastRowPoints = 8;
// No column of the layout comes near this.
constexpr int WidestColumn = 1000;

std::vector<QFont> FontsAt(const QFont &Base, int Points) {
  QFont Font(Base);
  Font.setPointSize(Points);
  std::vector<QFont> Fonts{Font};
  for (const char *Family : OtherFamilies)
    if (QFontDatabase::hasFamily(Family)) {
      Font.setFamily(Family);
      Fonts.push_back(Font);
    }
  return Fonts;
}

// Rows as the search makes them, every cell beside its picture. Eight is the
// widest digit of most fonts; a price of seven digits has a thousands
// separator and two decimals. "Call" is the one stock text that shows.
std::vector<kv::TReportItem> NumberRows() {
  kv::TReportItem Row;
  Row.ImageIndex = ListImage::RowWithPage;
  Row.SubItems = {"", "", "", "88,888.88", "Call", "8888888", ""};
  Row.SubItemImages.assign(Row.SubItems.size(), ListImage::Cell);
  Row.SubItemImages[4] = ListImage::Call;
  kv::TReportItem CallRow = Row;
  CallRow.SubItems[3] = CallRow.SubItems[4] = "";
  CallRow.SubItems[5] = "Call";
  return {Row, CallRow};
}

bool DrawnWhole(kv::TReportListView &List, const kv::TReportItem &Row, int Col, int Width,
                const kv::TFont &Font) {
  std::vector<int> Widths(static_cast<size_t>(List.ColumnCount()));
  for (int C = 0; C < List.ColumnCount(); ++C)
    Widths[static_cast<size_t>(C)] = C == Col ? Width : List.ColumnWidth(C);
  for (const kv::TCellPlan &Cell : List.RowPlan(Row, 0, Font, Widths))
    if (Cell.Column == Col)
      return List.DrawnText(Cell) == kv::FromAnsi(Cell.Shown);
  return true;
}

std::array<int, 8> LeastWidths(kv::TReportListView &List, const kv::TFont &Font) {
  std::array<int, 8> Least{};
  for (const kv::TReportItem &Row : NumberRows())
    for (int Col = 1; Col < List.ColumnCount() && Col < 8; ++Col) {
      if (kv::SubItemText(Row, Col - 1).empty())
        continue;
      // Eliding is monotonic in the width.
      int Lo = 0, Hi = WidestColumn;
      while (Lo < Hi) {
        const int Mid = (Lo + Hi) / 2;
        if (DrawnWhole(List, Row, Col, Mid, Font))
          Hi = Mid;
        else
          Lo = Mid + 1;
      }
      Least[static_cast<size_t>(Col)] = std::max(Least[static_cast<size_t>(Col)], Lo);
    }
  return Least;
}

int LackedPixels(const std::array<int, 8> &Least, const std::array<int, 8> &Widths) {
  int Lack = 0;
  for (size_t C = 0; C < Widths.size(); ++C)
    Lack += std::max(0, Least[C] - Widths[C]);
  return Lack;
}

// Headings not drawn whole beside each picture they can carry: their own, or
// a sort glyph when sorted.
int HeadingsCut(const kv::TReportListView &List, const kv::TFont &Font, const std::array<int, 8> &Widths) {
  int Cut = 0;
  for (int Col = 0; Col < List.ColumnCount() && Col < 8; ++Col) {
    for (const QPixmap &Picture : {List.ColumnHeaderPicture(Col), List.SortUpGlyph(), List.SortDownGlyph()})
      if (!List.HeadingShowsWhole(Col, Font, Widths[static_cast<size_t>(Col)], Picture)) {
        ++Cut;
        break;
      }
  }
  return Cut;
}

bool ShowsWhole(QLabel &Panel, const QString &Text) {
  kv::TTextRecorder Recorder(Panel.size());
  Panel.render(&Recorder);
  const QRect Room = Panel.contentsRect();
  return Recorder.ShowsWhole(Text, Room.left(), Room.left() + Room.width());
}

}  // namespace

QFont FitFont(const QFont &Base, const std::function<int(const QFont &)> &Lack, int MaxPoints,
              int MinPoints) {
  QFont Best(Base);
  int BestLack = INT_MAX;
  for (int Points = MaxPoints; Points >= MinPoints; --Points)
    for (const QFont &Font : FontsAt(Base, Points)) {
      const int Lacked = Lack(Font);
      if (Lacked == 0)
        return Font;
      if (Points == MinPoints && Lacked <= BestLack) {
        Best = Font;
        BestLack = Lacked;
      }
    }
  return Best;
}

std::array<int, 8> LeastColumnWidths(kv::TReportListView &List) {
  return LeastWidths(List, List.Font());
}

void FitListFonts(kv::TReportListView &List, const std::array<int, 8> &Widths) {
  const QFont Rows = FitFont(
      List.font(),
      [&](const QFont &Font) { return LackedPixels(LeastWidths(List, kv::FromQFont(Font)), Widths); }, 9,
      LeastRowPoints);
  List.SetFont(kv::FromQFont(Rows));
  // The headings of the number columns have the room those columns take.
  std::array<int, 8> Room = Widths;
  const std::array<int, 8> Least = LeastColumnWidths(List);
  for (size_t C = 0; C < Room.size(); ++C)
    Room[C] = std::max(Room[C], Least[C]);
  const QFont Headings = FitFont(
      List.header()->font(), [&](const QFont &Font) { return HeadingsCut(List, kv::FromQFont(Font), Room); },
      9, 6);
  List.SetHeaderFont(kv::FromQFont(Headings));
}

void FitLabelFont(QLabel &Panel, const QString &Text) {
  const QString Held = Panel.text();
  const QFont Base = Panel.font();
  Panel.setText(Text);
  const QFont Font = FitFont(
      Base,
      [&](const QFont &Candidate) {
        Panel.setFont(Candidate);
        return ShowsWhole(Panel, Text) ? 0 : 1;
      },
      9, 6);
  Panel.setFont(Font);
  Panel.setText(Held);
}
