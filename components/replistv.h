#pragma once
// TReportListView: the result list. A report-style list over rows of its own
// (caption, sub-items, images, a data object), sorted by column with a
// per-column comparison style, optionally drawn by itself cell by cell with
// per-cell colours and fonts from its owner, with link cells, rich-text cells,
// cell hints, header images and sort glyphs, column-size saving and resizing
// with its form; with its switches on, cells edited in place and rows moved
// with the mouse; and exports of its whole content. The rules it applies live
// in replistv_rules.h.
//
// Cell addressing: a row is an item index from 0; a column index counts the
// caption as column 0 and sub-item n as column n+1; a sub-item index is the
// column index minus one (-1: the caption). Each operation says which it takes.
// Points are in the coordinates of the rows' area (the viewport).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPersistentModelIndex>
#include <QPixmap>
#include <QTimer>
#include <QTreeView>

#include "components/replistv_rules.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/ImageList.h"

class QLineEdit;
class QTextDocument;

namespace kv {

class TReportListView;
class TReportListModel;
class TReportHeader;

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPrinterOrientation { poPortrait, poLandscape };

// Stored with the list and read by nothing: the list has no print operation.
struct TPrintsettings {
  int FooterSize = 0;
  int HeaderSize = 0;
  TPrintPosition Time = ppNone;
  TPrintPosition Date = ppNone;
  std::string DateFormat = "dd/mm/yyyy";
  TPrintPosition PageNr = ppNone;
  TPrintPosition Title = ppNone;
  std::string TitleText;
  TFont Font, HeaderFont, FooterFont;
  TPrintBorders Borders = pbNoborder;
  TPenStyle BorderStyle = psSolid;
  bool Centered = false;
  bool RepeatHeaders = false;
  int LeftSize = 0, RightSize = 0, ColumnSpacing = 0, RowSpacing = 0;
  TPrinterOrientation Orientation = poPortrait;
  std::string PagePrefix, PageSuffix;
  int FixedWidth = 0, FixedHeight = 0;
  bool UseFixedHeight = false, UseFixedWidth = false;
  TFitToPage FitToPage = fpNever;
  std::string JobName;
  std::string PageNumSep = "/";
};

// Where and whether column widths are saved (HKEY_CURRENT_USER\Key\Section).
struct TColumnSize {
  explicit TColumnSize(TReportListView *AOwner) : Owner(AOwner) {}
  bool Save = false;
  std::string Key;
  std::string Section;
  bool Stretch = false;  // stored, read by nothing
  TReportListView *Owner;
};

// The hidden renderer of rich-text cells.
class TCellRichEdit {
public:
  TCellRichEdit();
  ~TCellRichEdit();
  void Clear();
  void LoadFromRichText(const std::string &Text);
  const std::vector<TRichRun> &Runs() const { return FRuns; }
  // Formats the whole text into Target, clipped to it.
  void Render(QPainter &Canvas, const QRect &Target) const;

private:
  std::vector<TRichRun> FRuns;
};

struct THintInfo {
  QWidget *HintControl = nullptr;
  QPoint CursorPos;  // in the control's row area
  QPoint HintPos;    // screen
};

// The HTML export sets this colour into the brush and font before each cell,
// so colours the owner's handler leaves alone can be told from those it sets.
static_assert(clNone == 2147483647);
// Six upper-case hexadecimal digits, red, green, blue; a system colour is
// first turned into its RGB value.
std::string ColorToHex(TColor Color);

// Header format bits of a column.
constexpr int hfImage = 0x800, hfBitmapOnRight = 0x1000, hfBitmap = 0x2000, hfString = 0x4000;

class TReportListView : public QTreeView {
  Q_OBJECT
public:
  using TNotifyEvent = std::function<void(TReportListView *Sender)>;
  using TDrawItemProp = std::function<void(TReportListView *Sender, int itemindex, int subitemindex,
                                           TOwnerDrawState AState, TBrush &ABrush, TFont &AFont,
                                           const std::string &ItemText)>;
  using TDrawItemEvent = std::function<void(TReportListView *Sender, QPainter *acanvas, int itemindex,
                                            const TRect &Rect, TOwnerDrawState State)>;
  using TFormatEvent = std::function<void(TReportListView *Sender, int ACol, TSortStyle &AStyle,
                                          std::string &aPrefix, std::string &aSuffix)>;
  using TCustomCompareEvent = std::function<void(TReportListView *Sender, int ACol, const std::string &str1,
                                                 const std::string &str2, int &res)>;
  using TSortStartEvent = std::function<void(TReportListView *Sender, int column, bool &enable)>;
  using TColumnEvent = std::function<void(TReportListView *Sender, int column)>;
  using TPrintPageEvent =
      std::function<void(TReportListView *Sender, QPainter *Canvas, int pagenr, int pagexsize, int pageysize)>;
  using TDoFitToPageEvent = std::function<void(TReportListView *Sender, double &scalefactor, bool &allow)>;
  using TPrintColumnWidthEvent = std::function<void(TReportListView *Sender, int aCol, int &width)>;
  using TPrintNewPageEvent = std::function<void(TReportListView *Sender, int aRow, bool &newpage)>;
  using TStartColumnTrackEvent = std::function<void(TReportListView *Sender, int column, bool &Allow)>;
  using TClickCellEvent = std::function<void(TReportListView *Sender, int iItem, int iSubItem)>;
  using TMouseMoveEvent = std::function<void(TReportListView *Sender, int X, int Y)>;
  using TRowCompare = std::function<int(const TReportItem &A, const TReportItem &B)>;

  explicit TReportListView(QWidget *Parent = nullptr);
  ~TReportListView() override;

  TDrawItemProp OnDrawItemProp;
  TDrawItemEvent OnDrawItem;
  TFormatEvent OnGetFormat;
  TCustomCompareEvent OnCustomCompare;
  TSortStartEvent OnSortStart;
  TColumnEvent OnSortDone;
  TColumnEvent OnColumnSized;
  TColumnEvent OnColumnRClick;  // -1: the click hit no column
  TPrintPageEvent OnPrintPage;  // the four print events: stored, never fired
  TDoFitToPageEvent OnFitToPage;
  TPrintColumnWidthEvent OnPrintSetColumnWidth;
  TPrintNewPageEvent OnPrintNewPage;
  TStartColumnTrackEvent OnStartColumnTrack;  // Allow false refuses the resize
  TColumnEvent OnEndColumnTrack;
  TClickCellEvent OnRightClickCell;
  TClickCellEvent OnLeftClickCell;
  TNotifyEvent OnClickURL;
  // Of the plain list view.
  TColumnEvent OnColumnClick;
  TNotifyEvent OnDblClick;
  TMouseMoveEvent OnMouseMove;

  TPrintsettings &PrintSettings() { return FPrintSettings; }
  TColumnSize &ColumnSize() { return FColumnSize; }
  bool HeaderHotTrack() const { return FHeaderHotTrack; }
  void SetHeaderHotTrack(bool Value);
  bool HeaderDragDrop() const { return FHeaderDragDrop; }
  void SetHeaderDragDrop(bool Value);
  bool HeaderFlatStyle() const { return FHeaderFlatStyle; }
  void SetHeaderFlatStyle(bool Value);
  TImageList *HeaderImages() const { return FHeaderImages; }
  void SetHeaderImages(TImageList *Value);
  const TFont &HeaderFont() const { return FHeaderFont; }
  void SetHeaderFont(const TFont &Value);
  bool OwnerDraw() const { return FOwnerDraw; }
  void SetOwnerDraw(bool Value);
  bool SubImages() const { return FSubImages; }
  void SetSubImages(bool Value);
  const QPixmap &Wallpaper() const { return FWallpaper; }
  void SetWallpaper(const QPixmap &Value);
  bool FlatScrollBar() const { return FFlatScrollBar; }
  void SetFlatScrollBar(bool Value);
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int Value);
  // The height rows are drawn at: ItemHeight, or more where the small images
  // need it, so that no image is cut or touches the next row's.
  int RowHeight() const;
  TSortDirection SortDirection() const { return FSortDirection; }
  void SetSortDirection(TSortDirection Value);
  bool SortShow() const { return FSortShow; }
  void SetSortShow(bool Value) { FSortShow = Value; }
  TSortIndicator SortIndicator() const { return FSortIndicator; }
  void SetSortIndicator(TSortIndicator Value) { FSortIndicator = Value; }
  const QPixmap &SortUpGlyph() const { return FSortUpGlyph; }
  void SetSortUpGlyph(const QPixmap &Value) { FSortUpGlyph = Value; }
  const QPixmap &SortDownGlyph() const { return FSortDownGlyph; }
  void SetSortDownGlyph(const QPixmap &Value) { FSortDownGlyph = Value; }
  bool SaveHeader() const { return FSaveHeader; }
  void SetSaveHeader(bool Value) { FSaveHeader = Value; }
  bool LoadHeader() const { return FLoadHeader; }
  void SetLoadHeader(bool Value) { FLoadHeader = Value; }
  int HoverTime() const { return FHoverTime; }
  void SetHoverTime(int Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  TColor URLColor() const { return FURLColor; }
  void SetURLColor(TColor Value);
  bool URLShow() const { return FURLShow; }
  void SetURLShow(bool Value);
  bool URLFull() const { return FURLFull; }
  void SetURLFull(bool Value);
  bool SizeWithForm() const { return FSizeWithForm; }
  void SetSizeWithForm(bool Value) { FSizeWithForm = Value; }
  TVAlignment VAlignment() const { return FVAlignment; }
  void SetVAlignment(TVAlignment Value);
  bool AutoHint() const { return FAutoHint; }
  void SetAutoHint(bool Value) { FAutoHint = Value; }
  TColor SelectionColor() const { return FSelectionColor; }
  void SetSelectionColor(TColor Value);
  TColor SelectionTextColor() const { return FSelectionTextColor; }
  void SetSelectionTextColor(TColor Value);
  bool ScrollHint() const { return FScrollHint; }
  void SetScrollHint(bool Value) { FScrollHint = Value; }
  bool ReArrangeItems() const { return FReArrangeItems; }
  void SetReArrangeItems(bool Value) { FReArrangeItems = Value; }
  bool SubItemEdit() const { return FSubItemEdit; }
  void SetSubItemEdit(bool Value) { FSubItemEdit = Value; }
  // Of the plain list view.
  TImageList *SmallImages() const { return FSmallImages; }
  void SetSmallImages(TImageList *Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  const TFont &Font() const { return FFont; }
  void SetFont(const TFont &Value);
  std::string Hint() const;
  void SetHint(const std::string &Value);
  // A read-only list opens no in-place editor.
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);

  // The field separator of the delimited export.
  char Delimiter = ',';
  // The user's number and date formats the comparisons read.
  TSortSettings &SortSettings() { return FSortSettings; }
  // The vertical draw-text flag derived from VAlignment.
  unsigned VerticalTextFlag() const { return FVTextFlag; }

  int AddColumn(const std::string &Caption, int Width = 50, TAlignment Alignment = taLeftJustify);
  int ColumnCount() const { return static_cast<int>(FColumns.size()); }
  std::string ColumnCaption(int Col) const;
  void SetColumnCaption(int Col, const std::string &Caption);
  TAlignment ColumnAlignment(int Col) const;
  void SetColumnAlignment(int Col, TAlignment Alignment);
  int ColumnWidth(int Col) const;  // 0 outside the list
  void SetColumnWidth(int Col, int Width);
  // Column indexes in display order.
  std::vector<int> ColumnOrder() const;
  int ColumnFormat(int Col) const;      // header format bits, -1 outside
  int ColumnHeaderImage(int Col) const; // -1: none or outside
  // The header's picture of column Col (image or glyph); null when none.
  QPixmap ColumnHeaderPicture(int Col) const;

  int ItemCount() const { return static_cast<int>(FItems.size()); }
  const std::vector<TReportItem> &Items() const { return FItems; }
  // Raises EListError outside the list.
  const TReportItem &Item(int Index) const;
  int AddItem(TReportItem Item);  // moved in: pass a row no longer needed with std::move
  void SetItem(int Index, const TReportItem &Item);
  void DeleteItem(int Index);
  void ClearItems();
  void SetItemCaption(int Index, const std::string &Caption);
  void SetItemImage(int Index, int ImageIndex);
  void *ItemData(int Index) const;  // nullptr outside the list
  void SetItemData(int Index, void *Data);
  // Rows added between these reach the view in one step.
  void BeginUpdate();
  void EndUpdate();
  int Selected() const;  // the selected row, -1 when none
  void SetSelected(int Index);
  int ItemFocused() const;
  void SetItemFocused(int Index);
  int GetItemAt(int X, int Y) const;  // -1 when no row
  // Moves row From to place To (-1: the end), keeping its selection and
  // giving it the focus; see MoveOrder for the places.
  void MoveItem(int From, int To);
  // Selects the focused row again and returns it; 0 when no row has the focus.
  int FindSelectedItem();
  // The cell last pressed or chosen with the arrow keys: the cell an
  // in-place edit opens on (column index).
  int EditColumn() const { return FEditColumn; }
  int EditRow() const { return FEditRow; }
  bool Editing() const { return FEditor != nullptr; }
  // The open in-place editor; null when none.
  QLineEdit *Editor() const { return FEditor; }
  int DragRow() const { return FDragRow; }
  bool ScrollTimerActive() const { return FScrollTimer.isActive(); }
  int ScrollTimerInterval() const { return FScrollTimer.interval(); }

  bool GetCellAt(int X, int Y, int &Row, int &Col) const;
  std::string GetCellTextAt(int X, int Y) const;
  std::string GetCellText(int Col, int Row) const;
  void SetCellText(int Col, int Row, const std::string &Text);
  TRect GetSubItemRect(int Item, int Col) const;  // empty outside the list
  void SetSubItemImage(int Item, int SubItem, int ImageIndex);
  int GetSubItemImage(int Item, int SubItem) const;
  void SetHeaderImage(int Col, int ImageIndex);
  void ResetColumnFormat(int Col);
  void SetColumnAutoHint(int Col, bool Value);
  bool GetColumnAutoHint(int Col) const;
  void SetExtendedStyle(int Style, bool Value);
  int ExtendedStyle() const { return FExtendedStyle; }
  void SaveColumnSizes();
  void UpdateWallpaper();
  // Every row and column, in display order, written through a temporary file
  // that replaces FileName only once complete. A list without rows raises
  // Exception and writes nothing; a file that cannot be written raises
  // EInOutError and leaves any earlier file as it was.
  void SaveToHTML(const std::string &FileName);
  void SaveToCSV(const std::string &FileName);
  // Through the word processor and the spreadsheet program reached by
  // automation (platform/automation/), which write FileName. A list
  // without rows raises Exception; after any failure a started program is
  // told to quit and the cursor is back, then the error goes on.
  void SaveToDOC(const std::string &FileName);
  void SaveToXLS(const std::string &FileName);

  int SortColumn() const { return FSortColumn; }
  int SortSubItem() const { return FSortSubItem; }
  void SetSortColumn(int Col);
  // The header shows Col as the sort column in the current direction; the
  // rows are left as they are (someone else has just ordered them). False
  // outside the list.
  bool ShowSortColumn(int Col);
  void SortItems();
  // One comparison of two rows by the sort column, as the sort applies it.
  int CompareItems(const TReportItem &Item1, const TReportItem &Item2);
  void GetColumnFormat(int ACol, TSortStyle &AStyle, std::string &aPrefix, std::string &aSuffix);
  void CustomCompare(int ACol, const std::string &str1, const std::string &str2, int &res);
  // Stable sort of the rows by the caller's three-way comparison (> 0: B
  // first); safe with comparisons that are not consistent.
  void CustomSort(const TRowCompare &Compare);
  void UpdateSortGlyph(int Col);
  // A click on the header of column Column.
  virtual void ColClick(int Column);

  virtual void DrawItem(QPainter *Canvas, int Index, const TRect &Rect, TOwnerDrawState State);
  virtual void GetFixedNumber(int &Value) { Value = 48; }
  virtual void LeftClickCell(int Item, int SubItem);
  virtual void RightClickCell(int Item, int SubItem);
  virtual void DrawItemProp(int Item, int SubItem, TOwnerDrawState State, TBrush &Brush, TFont &Font,
                            const std::string &Text);
  void DrawRichCell(int Item, int SubItem, QPainter *Canvas, const TRect &Rect);
  void CellToRichEdit(int Item, int SubItem, TCellRichEdit &RichEdit);
  TCellRichEdit &RichEdit() { return FRichEdit; }
  // The plan DrawItem paints for row Index.
  std::vector<TCellPlan> RowPlan(int Index, const TRect &Rect, TOwnerDrawState State);
  // The plan DrawItem would paint for Item, a row of the list or not, as the
  // unselected row Index in the row font RowFont, with column Col as wide as
  // Widths[Col] (a column beyond Widths keeps its width).
  std::vector<TCellPlan> RowPlan(const TReportItem &Item, int Index, const TFont &RowFont,
                                 const std::vector<int> &Widths);
  // The text DrawItem draws for a cell of a plan: single-line text elided to
  // the text rectangle within its margins; "" for a rich-text cell, which its
  // renderer draws.
  QString DrawnText(const TCellPlan &Cell) const;
  // How far a plain cell's text keeps from its cell's left and right edges:
  // as far as the header's style sets a heading's text in, so that a cell's
  // text starts where its heading's does.
  int CellTextInset() const;
  // Whether the header's style draws the caption of column Col whole, not
  // cut off nor under the picture, in a heading Width pixels wide in Font
  // carrying Picture (null: none).
  bool HeadingShowsWhole(int Col, const TFont &Font, int Width, const QPixmap &Picture) const;
  void ShowCellHint(std::string &HintStr, bool &CanShow, THintInfo &HintInfo);
  // Column, row of the hint showing; (-1, -1) when none.
  QPoint LastHintCell() const { return FLastHint; }
  // The resize handler installed on the owner form.
  void FormResized(QWidget *Sender);

protected:
  // Cursor and hint upkeep for a mouse move to (X, Y).
  virtual void MouseMove(int X, int Y);
  // One tick of the scroll timer: while a row is dragged near the top or
  // bottom edge, the list scrolls one line that way.
  virtual void ScrollTimerTick();
  void keyPressEvent(QKeyEvent *event) override;
  void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  bool viewportEvent(QEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;
  void scrollContentsBy(int dx, int dy) override;
  void showEvent(QShowEvent *event) override;
  void changeEvent(QEvent *event) override;

private:
  friend class TReportListModel;
  friend class TReportHeader;
  struct TColumn {
    std::string Caption;
    TAlignment Alignment = taLeftJustify;
    int Format = 0;
    int ImageIndex = -1;
    int Glyph = 0;  // 1: the up glyph, 2: the down glyph
  };
  bool ValidRow(int Index) const { return Index >= 0 && Index < ItemCount(); }
  bool ValidColumn(int Col) const { return Col >= 0 && Col < ColumnCount(); }
  int AlignmentFormat(int Col) const;
  void RowsChanged(int First, int Last);
  void ApplyOrder(const std::vector<int> &Order);
  void HeaderImagesChanged(TImageList *Sender);
  void UpdateHeaderFont();
  void ColumnTrackEnded(int Column);
  bool HeaderMouseEvent(QMouseEvent *Event);
  int HeaderHandleAt(int X) const;
  void BeginEdit(int Row);
  void EndEdit(bool Accept);
  void PlaceEditor();
  void EndDrag();
  // Where a moved row may go without cancelling the move: the rows' area and
  // the header band above it (viewport coordinates).
  QRect DragZone() const;
  void RequireRows() const;
  void HookForm();
  void ApplyRowHeight();
  std::vector<TCellPlan> PlanCells(const TReportItem &Item, int Index, const TRect &Rect,
                                   TOwnerDrawState State, const TFont &RowFont,
                                   const std::vector<int> &Widths);
  void DrawPlan(QPainter &Canvas, int Index, const std::vector<TCellPlan> &Plan);

  TReportListModel *FModel;
  TReportHeader *FHeader;
  std::vector<TReportItem> FItems;
  std::vector<TColumn> FColumns;
  int FUpdateCount = 0;

  TPrintsettings FPrintSettings;
  TColumnSize FColumnSize;
  bool FHeaderHotTrack = false, FHeaderDragDrop = false, FHeaderFlatStyle = false;
  TImageList *FHeaderImages = nullptr;
  TChangeLink FHeaderImagesLink;
  TFont FHeaderFont;
  bool FOwnerDraw = false, FSubImages = false;
  QPixmap FWallpaper;
  bool FFlatScrollBar = false;
  int FItemHeight = 13;
  TSortDirection FSortDirection = sdAscending;
  int FSortMultiplier = 1;
  bool FSortShow = false;
  TSortIndicator FSortIndicator = siLeft;
  QPixmap FSortUpGlyph, FSortDownGlyph;
  bool FSaveHeader = false, FLoadHeader = false;
  int FHoverTime = 0;
  int FControlHoverTime = -1;  // the control's own: the system default
  bool FWindowCreated = false;
  bool FWordWrap = false;
  TColor FURLColor = clBlack;
  bool FURLShow = false, FURLFull = false, FSizeWithForm = false;
  TVAlignment FVAlignment = vtaCenter;
  unsigned FVTextFlag = DT_VCENTER;
  bool FAutoHint = false;
  TColor FSelectionColor = clHighlight, FSelectionTextColor = clHighlightText;
  bool FScrollHint = false, FReArrangeItems = false, FSubItemEdit = false;
  TImageList *FSmallImages = nullptr;
  TChangeLink FSmallImagesLink;
  TColor FColor = clWindow;
  TFont FFont;
  int FExtendedStyle = 0;
  TSortSettings FSortSettings;

  int FSortColumn = -1;
  int FSortSubItem = -2;
  int FEditColumn = 0, FEditRow = 0;  // the cell last pressed
  int FDragRow = -1;                  // row being moved with the mouse
  QPoint FDragPos;                    // where the dragging mouse was last
  QTimer FScrollTimer;
  bool FReadOnly = false;
  QLineEdit *FEditor = nullptr;
  QPersistentModelIndex FEditIndex;  // follows the edited cell through moves
  int FPressRow = -1;                // a press on the focused, selected row
  TCellRichEdit FRichEdit;
  QPoint FLastHint{-1, -1};
  std::vector<bool> FColumnAutoHint;
  Qt::CursorShape FNormalCursor = Qt::ArrowCursor;
  QWidget *FForm = nullptr;
  int FFormWidth = 0, FFormHeight = 0;
  bool FHeaderPressed = false;
  int FTrackedSection = -1;  // resized during the header press
  int FTrackStart = -1;      // whose resize the header press began
};

}  // namespace kv
