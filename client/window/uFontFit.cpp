#include "client/window/uFontFit.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QStyle>

#include <algorithm>
#include <array>

#include "client/window/uCommands.h"
#include "components/replistv.h"
#include "platform/gui/Graphics.h"
#include "platform/qt/Codepage.h"

namespace {

// Tried after the base family at each size, narrower ones later.
const std::array<const char *, 4> OtherFamilies = {"Liberation Sans", "DejaVu Sans Condensed",
                                                    "Liberation Sans Narrow", "Nimbus Sans Narrow"};

bool Fits(const QFont &Font, const std::vector<TFitText> &Texts) {
  const QFontMetrics Metrics(Font);
  for (const TFitText &T : Texts)
    if (Metrics.horizontalAdvance(T.Text) > T.Room)
      return false;
  return true;
}

// The columns' widths where they are narrowest: the fixed layout.
std::array<int, 8> NarrowestWidths() { return ColumnWidths(0, 0); }

}  // namespace

QFont FitFont(const QFont &Base, const std::vector<TFitText> &Texts, int MaxPoints, int MinPoints) {
  QFont Font(Base);
  for (int Points = MaxPoints; Points >= MinPoints; --Points) {
    Font = Base;
    Font.setPointSize(Points);
    if (Fits(Font, Texts))
      return Font;
    for (const char *Family : OtherFamilies) {
      Font.setFamily(Family);
      if (Fits(Font, Texts))
        return Font;
    }
  }
  return Font;
}

std::vector<TFitText> ListCellTexts(int ImageWidth) {
  const std::array<int, 8> W = NarrowestWidths();
  const auto Room = [&](int Col) { return W[static_cast<size_t>(Col)] - ImageWidth - 2 * kv::CellTextMargin; };
  // Eight is the widest digit of most fonts; a price of seven digits has a
  // thousands separator and two decimals.
  return {{"88,888.88", Room(4)}, {"8888888", Room(6)}, {"Call", Room(6)}, {"Call", Room(5)}};
}

std::vector<TFitText> ListHeadingTexts(const kv::TReportListView &List, int HeaderImageWidth, int GlyphWidth) {
  const std::array<int, 8> W = NarrowestWidths();
  const QHeaderView *Header = List.header();
  const int Margin = Header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, Header);
  std::vector<TFitText> Texts;
  for (int Col = 0; Col < List.ColumnCount() && Col < 8; ++Col) {
    // The datasheet heading carries its image, or a sort glyph when sorted;
    // every other heading may carry a sort glyph. The style leaves a margin
    // each side and two pixels after the picture.
    const int Picture = Col == 3 ? std::max(HeaderImageWidth, GlyphWidth) : GlyphWidth;
    Texts.push_back({kv::FromAnsi(List.ColumnCaption(Col)), W[static_cast<size_t>(Col)] - 2 * Margin - Picture - 2});
  }
  return Texts;
}

void FitListFonts(kv::TReportListView &List, int ImageWidth, int HeaderImageWidth, int GlyphWidth) {
  const QFont Rows = FitFont(List.font(), ListCellTexts(ImageWidth), 9, 6);
  List.SetFont(kv::FromQFont(Rows));
  const QFont Headings = FitFont(List.header()->font(), ListHeadingTexts(List, HeaderImageWidth, GlyphWidth), 9, 6);
  List.SetHeaderFont(kv::FromQFont(Headings));
}

void FitLabelFont(QLabel &Panel, const QString &Text) {
  const int Room = Panel.contentsRect().width() - 2 * Panel.margin() - std::max(0, Panel.indent());
  Panel.setFont(FitFont(Panel.font(), {{Text, Room}}, 9, 6));
}
