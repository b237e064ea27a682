#pragma once
// Fonts chosen so that what the window must show whole fits the room its
// layout gives it (the result list's column widths, the status panel). The
// widths were made for a small interface font; the fonts of this machine are
// measured, not assumed.
#include <QFont>
#include <QString>

#include <vector>

class QLabel;
namespace kv {
class TReportListView;
}

struct TFitText {
  QString Text;
  int Room;  // pixels
};

// The largest size from MaxPoints down to MinPoints at which Base's family,
// or else another, narrower family, shows every text within its room; the
// narrowest font at MinPoints when none does.
QFont FitFont(const QFont &Base, const std::vector<TFitText> &Texts, int MaxPoints, int MinPoints);

// The texts the list must show whole at the columns' fixed widths: every
// price and quantity of up to seven digits in its cell beside the cell's
// image, and every heading beside its picture.
std::vector<TFitText> ListCellTexts(int ImageWidth);
std::vector<TFitText> ListHeadingTexts(const kv::TReportListView &List, int HeaderImageWidth, int GlyphWidth);

// Gives the list its row and heading fonts.
void FitListFonts(kv::TReportListView &List, int ImageWidth, int HeaderImageWidth, int GlyphWidth);
// Gives the panel a font in which Text fits its width.
void FitLabelFont(QLabel &Panel, const QString &Text);
