#pragma once
// Fonts chosen so that what the window must show whole fits the room its
// layout gives it (the result list's columns, the status panel). The widths
// were made for a small interface font; the fonts of this machine are
// measured, not assumed, and measured as they are drawn: by the list's own
// cell plan and eliding, the header's style and the panel's own painting.
#include <QFont>
#include <QString>

#include <array>
#include <functional>

class QLabel;
namespace kv {
class TReportListView;
}

// The largest size from MaxPoints down to MinPoints at which Base's family,
// or else another, narrower family of this machine, lacks nothing by Lack
// (0: all shown whole); at MinPoints, when none does, the one lacking least
// (the narrower of two alike).
QFont FitFont(const QFont &Base, const std::function<int(const QFont &)> &Lack, int MaxPoints, int MinPoints);

// The narrowest width of each column at which the list draws, in its row
// font, every price and quantity of up to seven digits and every "Call"
// whole; 0 for a column that shows no numbers.
std::array<int, 8> LeastColumnWidths(kv::TReportListView &List);

// Gives the list its row and heading fonts for the columns at Widths, the
// layout's narrowest. The rows never go below 8 points: where no family
// shows the numbers whole there, the number columns are laid out wider
// (LeastColumnWidths) instead. The list must carry its row pictures.
void FitListFonts(kv::TReportListView &List, const std::array<int, 8> &Widths);
// Gives the panel a font in which Text shows whole.
void FitLabelFont(QLabel &Panel, const QString &Text);
