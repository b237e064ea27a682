#pragma once
// The rules of the result list that need no window: rows and cell addressing,
// the comparison styles and the sort, the link and rich-text tests, the draw
// plan of one row and the cell-hint rule. The widget in replistv.h applies them.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "platform/gui/Graphics.h"

namespace kv {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TVAlignment { vtaCenter, vtaTop, vtaBottom };
enum TSortDirection { sdAscending, sdDescending };
enum TSortIndicator { siLeft, siRight };
enum TPrintPosition { ppNone, ppTopLeft, ppTopRight, ppTopCenter, ppBottomLeft, ppBottomRight, ppBottomCenter };
enum TFitToPage { fpNever, fpGrow, fpShrink, fpAlways, fpCustom };
enum TPrintBorders { pbNoborder, pbSingle, pbDouble, pbVertical, pbHorizontal };
using TSortStyle = uint8_t;

// Row states, bit for bit the owner-draw state bits.
using TOwnerDrawState = unsigned;
constexpr TOwnerDrawState odSelected = 1, odGrayed = 2, odDisabled = 4, odChecked = 8, odFocused = 16;

// One row: the caption (column 0), sub-items of the row's own length
// (columns 1..), the row's image, sub-item images by sub-item index, and the
// caller's data object, which the list does not own.
struct TReportItem {
  std::string Caption;
  std::vector<std::string> SubItems;
  int ImageIndex = -1;
  std::vector<int> SubItemImages;  // missing entries count as -1
  void *Data = nullptr;
};

// The text of sub-item SubItem (-1: the caption); empty when the row has
// no such sub-item. Valid while the row is.
const std::string &SubItemText(const TReportItem &Item, int SubItem);
int SubItemImage(const TReportItem &Item, int SubItem);
// Column 0 or less: the caption; column n: sub-item n-1 when it exists.
std::string ItemCellText(const TReportItem &Item, int Col);
// Row below 0: the header caption of Col; a row of the list: its cell; any
// other row or column: empty.
std::string GetCellText(const std::vector<TReportItem> &Items, const std::vector<std::string> &Captions, int Col,
                        int Row);
// False (nothing changed) outside the list; a column past the row's
// sub-items first pads the row with empty ones.
bool SetCellText(std::vector<TReportItem> &Items, int ColumnCount, int Col, int Row, const std::string &Text);

// The row order after row From moves to place To, counted once From is taken
// out, so a row moved down lands below its target and one moved up above it;
// To -1 or past the end means the end. Element i is the old index of the row
// at place i; NewIndex is where From went. Empty, NewIndex -1, when nothing
// moves: From outside the list, From equal to To, or To below -1.
std::vector<int> MoveOrder(int Count, int From, int To, int &NewIndex);

// The spreadsheet's letters of column N (from 1): A..Z, then AA, AB, ...;
// empty below 1.
std::string ColumnLetters(int N);
// The sheet range a table of Columns by Rows fills from A1, as "A1:H25".
std::string SheetRange(int Columns, int Rows);

// The user's number and date formats the comparisons read.
struct TSortSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "m/d/yyyy";
  int TwoDigitYearCenturyWindow = 50;
};

struct TColumnFormat {
  TSortStyle Style = 1;
  std::string Prefix;
  std::string Suffix;
};

// A decimal number: leading blanks, optional sign, digits with an optional
// "." and fraction, optional exponent, nothing after. Not "inf", "nan" or hex.
bool ReadDecimal(const std::string &S, double &Value);
// Styles 2 and 9: suffix, prefix (and for 9 every thousands separator) taken
// out, the decimal separator made "."; the empty text is 0. False: invalid.
bool ParseSortNumber(std::string S, const TColumnFormat &Format, const TSortSettings &Settings, double &Value);
// Raise EConvertError for an impossible date; 0.0 without two separators.
TDateTime ParseDateMDY(const std::string &S);
TDateTime ParseDateDMY(const std::string &S);
// Style 3: a date in the user's short date format and an optional time.
bool TryStrToDateTime(const std::string &S, const TSortSettings &Settings, TDateTime &Value);
// The value a date style compares; 0.0 for a text that does not convert.
TDateTime SortDateValue(const std::string &S, TSortStyle Style, const TSortSettings &Settings);

// str1, str2 -> res; the list sets res to 1 before calling.
using TCustomCompareFn = std::function<void(const std::string &Str1, const std::string &Str2, int &Res)>;
// r of one comparison by style, before the sort multiplier.
int CompareByStyle(const std::string &Text1, const std::string &Text2, const TColumnFormat &Format,
                   const TSortSettings &Settings, const TCustomCompareFn &Custom);

// Stable merge sort of Order by a three-way comparison of its elements.
// Cmp(a, b) > 0 puts b before a. Only the comparison's sign is read and every
// index stays in range, so an inconsistent comparison still yields a
// permutation of Order.
template <class Compare>
void StableMergeSort(std::vector<int> &Order, Compare Cmp) {
  const size_t n = Order.size();
  if (n < 2)
    return;
  constexpr size_t Run = 16;
  for (size_t lo = 0; lo < n; lo += Run) {
    const size_t hi = lo + Run < n ? lo + Run : n;
    for (size_t i = lo + 1; i < hi; ++i) {
      const int v = Order[i];
      size_t j = i;
      while (j > lo && Cmp(Order[j - 1], v) > 0) {
        Order[j] = Order[j - 1];
        --j;
      }
      Order[j] = v;
    }
  }
  std::vector<int> buffer(n);
  int *src = Order.data(), *dst = buffer.data();
  for (size_t width = Run; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = lo + width < n ? lo + width : n;
      const size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi)
        dst[k++] = Cmp(src[i], src[j]) > 0 ? src[j++] : src[i++];
      while (i < mid)
        dst[k++] = src[i++];
      while (j < hi)
        dst[k++] = src[j++];
    }
    std::swap(src, dst);
  }
  if (src != Order.data())
    std::copy(src, src + n, Order.data());
}

// The new order of Items sorted by sub-item SubItem (-1: captions) in the
// given format: element i is the old index of the row that goes to place i.
// Each row's key is read once; Multiplier is +1 or -1.
std::vector<int> SortOrder(const std::vector<TReportItem> &Items, int SubItem, const TColumnFormat &Format,
                           const TSortSettings &Settings, int Multiplier, const TCustomCompareFn &Custom);

bool IsLinkText(const std::string &S);   // contains "://" or "mailto:"
bool IsRichText(const std::string &S);   // starts with "{\"
// Without the scheme: up to the first "://", then up to the first "mailto:".
std::string LinkShownText(const std::string &S);

struct TRichRun {
  std::string Text;
  TFontStyles Style = 0;
  bool ParagraphEnd = false;  // a break follows this run
};
// Text, bold, italic, underline and paragraph breaks of a rich-text cell;
// everything else is dropped. One pass, bounded nesting: any input ends.
std::vector<TRichRun> ParseRichText(const std::string &S);

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect &) const = default;
};

// Draw-text flags of a plain cell.
constexpr unsigned DT_LEFT = 0, DT_CENTER = 1, DT_RIGHT = 2, DT_TOP = 0, DT_VCENTER = 4, DT_BOTTOM = 8,
                   DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40, DT_NOPREFIX = 0x800,
                   DT_EDITCONTROL = 0x2000, DT_END_ELLIPSIS = 0x8000;
constexpr int CellTextMargin = 2;  // left and right, at the least
unsigned VAlignmentFlag(TVAlignment V);
unsigned CellDrawFlags(const std::string &Text, TAlignment Alignment, bool WordWrap, TVAlignment V);

struct TPlanColumn {
  int Index = 0;  // column index
  int Width = 0;
  TAlignment Alignment = taLeftJustify;
};

struct TDrawOptions {
  bool URLShow = false;
  bool URLFull = false;
  TColor URLColor = clBlack;
  bool WordWrap = false;
  TVAlignment VAlignment = vtaCenter;
  bool SubImages = false;
  bool HaveImages = false;  // SmallImages assigned
  int ImageWidth = 0, ImageHeight = 0;
  // Whether an image index draws anything (unset: every index does). A cell
  // whose image draws nothing keeps its text where the heading's is.
  std::function<bool(int ImageIndex)> ImageShows;
  bool HaveWallpaper = false;
};

struct TCellPlan {
  int Column = 0;
  int SubItem = -1;
  std::string Text;  // the full cell text
  std::string Shown; // what is drawn
  TRect CellRect, TextRect;
  TBrush Brush;
  TFont Font;
  bool PaintBackground = true;  // false: the wallpaper shows through
  int ImageIndex = -1;          // -1: none drawn
  int ImageLeft = 0, ImageTop = 0;
  bool Rich = false;
  unsigned DrawFlags = 0;
};

// Item, sub-item index, row state, brush and font to change, full text.
using TDrawItemPropFn =
    std::function<void(int SubItem, TOwnerDrawState State, TBrush &Brush, TFont &Font, const std::string &Text)>;

// The cells of one row in display order. Every cell starts from RowBrush and
// RowFont; DrawItemProp may change them for its cell only.
std::vector<TCellPlan> PlanRow(const TReportItem &Item, const std::vector<TPlanColumn> &DisplayOrder, TRect Rect,
                               TOwnerDrawState State, const TBrush &RowBrush, const TFont &RowFont,
                               const TDrawOptions &Options, const TDrawItemPropFn &DrawItemProp);

struct THintDecision {
  bool Acts = false;     // the list decides this hint
  bool CanShow = false;  // only read when Acts
};
// Acts when AutoHint is on, the cell has text and its column's switch is on;
// the hint then shows only when the text does not fit the column within its
// margins, TextMargin on either side.
THintDecision DecideCellHint(bool AutoHint, const std::string &CellText, bool SwitchOn, int ColumnWidth,
                             int TextWidth, int TextMargin = CellTextMargin);

}  // namespace kv
