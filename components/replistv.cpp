#include "components/replistv.h"

#include <algorithm>
#include <tuple>

#include <QAbstractItemModel>
#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QStyleOptionHeader>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolTip>

#include "components/CsvWriter.h"
#include "components/TextScan.h"
#include "platform/automation/Automation.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/PlainText.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/SysUtils.h"
#include "platform/gui/Shell.h"
#include "platform/gui/TextRecorder.h"
#include "platform/qt/Codepage.h"

namespace kv {

class TReportListModel : public QAbstractItemModel {
public:
  explicit TReportListModel(TReportListView *View) : QAbstractItemModel(View), V(View) {}

  QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override {
    if (parent.isValid() || row < 0 || row >= Shown || column < 0 || column >= V->ColumnCount())
      return QModelIndex();
    return createIndex(row, column);
  }
  QModelIndex parent(const QModelIndex &) const override { return QModelIndex(); }
  int rowCount(const QModelIndex &parent = QModelIndex()) const override { return parent.isValid() ? 0 : Shown; }
  int columnCount(const QModelIndex &parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : V->ColumnCount();
  }
  QVariant data(const QModelIndex &index, int role) const override {
    if (!index.isValid() || index.row() >= V->ItemCount())
      return QVariant();
    const TReportItem &item = V->FItems[static_cast<size_t>(index.row())];
    const int col = index.column();
    switch (role) {
      case Qt::DisplayRole:
        return FromAnsi(ItemCellText(item, col));
      case Qt::DecorationRole: {
        if (!V->FSmallImages)
          return QVariant();
        int img = col == 0 ? item.ImageIndex : V->FSubImages ? SubItemImage(item, col - 1) : -1;
        // An image that draws nothing takes no room before the text.
        if (!V->FSmallImages->Shows(img))
          return QVariant();
        return QVariant(V->FSmallImages->Image(img));
      }
      case Qt::TextAlignmentRole: {
        TAlignment a = V->ColumnAlignment(col);
        return QVariant::fromValue(Qt::Alignment(
            (a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft) |
            Qt::AlignVCenter));
      }
      case Qt::SizeHintRole:
        // Owner-drawn rows have the list's fixed row height.
        if (V->FOwnerDraw)
          return QSize(V->ColumnWidth(col), V->RowHeight());
        return QVariant();
      default:
        return QVariant();
    }
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || !V->ValidColumn(section))
      return QVariant();
    const auto &c = V->FColumns[static_cast<size_t>(section)];
    switch (role) {
      case Qt::DisplayRole:
        return FromAnsi(c.Caption);
      case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment((c.Alignment == taRightJustify ? Qt::AlignRight
                                                  : c.Alignment == taCenter     ? Qt::AlignHCenter
                                                                                : Qt::AlignLeft) |
                                                 Qt::AlignVCenter));
      case Qt::DecorationRole: {
        QPixmap p = V->ColumnHeaderPicture(section);
        return p.isNull() ? QVariant() : QVariant(p);
      }
      default:
        return QVariant();
    }
  }
  Qt::ItemFlags flags(const QModelIndex &index) const override {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
  }

  // Rows the view knows of; rows added inside BeginUpdate wait beyond it.
  int Shown = 0;

  void Publish() {
    const int n = V->ItemCount();
    if (n > Shown) {
      beginInsertRows(QModelIndex(), Shown, n - 1);
      Shown = n;
      endInsertRows();
    }
  }
  void RowsChanged(int First, int Last) {
    Last = std::min(Last, Shown - 1);
    if (First <= Last)
      emit dataChanged(index(First, 0), index(Last, V->ColumnCount() - 1));
  }
  void BeginRemove(int Row) { beginRemoveRows(QModelIndex(), Row, Row); }
  void EndRemove() {
    --Shown;
    endRemoveRows();
  }
  void BeginReset() { beginResetModel(); }
  void EndReset() {
    Shown = V->ItemCount();
    endResetModel();
  }
  void BeginColumn(int Col) { beginInsertColumns(QModelIndex(), Col, Col); }
  void EndColumn() { endInsertColumns(); }
  void HeaderChanged(int Col) { emit headerDataChanged(Qt::Horizontal, Col, Col); }
  void Layout() {
    emit layoutAboutToBeChanged();
    emit layoutChanged();
  }
  // Rows were permuted: OldToNew[old row] is the new row.
  void Permuted(const std::vector<int> &OldToNew) {
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &i : from)
      to.append(i.row() < static_cast<int>(OldToNew.size()) ? index(OldToNew[static_cast<size_t>(i.row())], i.column())
                                                            : i);
    changePersistentIndexList(from, to);
  }
  void AboutToPermute() { emit layoutAboutToBeChanged(); }
  void DonePermute() { emit layoutChanged(); }

private:
  TReportListView *V;
};

class TReportHeader : public QHeaderView {
public:
  TReportHeader(TReportListView *View) : QHeaderView(Qt::Horizontal, View), V(View) {}

  // Painted as the header paints a section, read back.
  bool LabelShowsWhole(int Section, const QFont &Font, int Width, const QPixmap &Picture) const {
    QStyleOptionHeaderV2 opt;
    initStyleOption(&opt);
    initStyleOptionForIndex(&opt, Section);
    opt.rect = QRect(0, 0, Width, std::max(height(), sizeHint().height()));
    opt.fontMetrics = QFontMetrics(Font);
    opt.icon = Picture.isNull() ? QIcon() : QIcon(Picture);
    TTextRecorder recorder(opt.rect.size());
    QPainter painter(&recorder);
    painter.setFont(Font);
    style()->drawControl(QStyle::CE_Header, &opt, &painter, this);
    painter.end();
    return recorder.ShowsWhole(opt.text, 0, Width);
  }

  // How far the style sets a heading's text in from its section's edges.
  int LabelInset() const {
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = QRect(0, 0, 200, std::max(height(), sizeHint().height()));
    return style()->subElementRect(QStyle::SE_HeaderLabel, &opt, this).left() - opt.rect.left();
  }

protected:
  void initStyleOptionForIndex(QStyleOptionHeader *option, int logicalIndex) const override {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    if (V->ColumnFormat(logicalIndex) & hfBitmapOnRight)
      option->iconAlignment = Qt::AlignRight | Qt::AlignVCenter;
  }

private:
  TReportListView *V;
};

namespace {

// The in-place editor of a cell: Escape cancels, Return accepts, and so does
// losing the focus (a click elsewhere).
class TCellEditor : public QLineEdit {
public:
  using QLineEdit::QLineEdit;
  std::function<void(bool Accept)> OnEnd;

protected:
  void keyPressEvent(QKeyEvent *event) override {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      End(event->key() != Qt::Key_Escape);
      return;
    }
    QLineEdit::keyPressEvent(event);
  }
  void focusOutEvent(QFocusEvent *event) override {
    QLineEdit::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
      End(true);
  }

private:
  void End(bool Accept) {
    if (!OnEnd)
      return;
    auto end = std::move(OnEnd);
    OnEnd = nullptr;
    end(Accept);
  }
};

}  // namespace

TCellRichEdit::TCellRichEdit() = default;
TCellRichEdit::~TCellRichEdit() = default;

void TCellRichEdit::Clear() { FRuns.clear(); }

void TCellRichEdit::LoadFromRichText(const std::string &Text) { FRuns = ParseRichText(Text); }

void TCellRichEdit::Render(QPainter &Canvas, const QRect &Target) const {
  if (FRuns.empty() || Target.width() <= 0 || Target.height() <= 0)
    return;
  QTextDocument doc;
  doc.setDocumentMargin(0);
  doc.setDefaultFont(Canvas.font());
  doc.setTextWidth(Target.width());
  QTextCursor cur(&doc);
  for (const TRichRun &run : FRuns) {
    QTextCharFormat f;
    f.setFontWeight((run.Style & fsBold) ? QFont::Bold : QFont::Normal);
    f.setFontItalic((run.Style & fsItalic) != 0);
    f.setFontUnderline((run.Style & fsUnderline) != 0);
    f.setForeground(Canvas.pen().color());
    cur.insertText(FromAnsi(run.Text), f);
    if (run.ParagraphEnd)
      cur.insertBlock();
  }
  Canvas.save();
  Canvas.setClipRect(Target, Qt::IntersectClip);
  Canvas.translate(Target.topLeft());
  doc.drawContents(&Canvas, QRectF(0, 0, Target.width(), Target.height()));
  Canvas.restore();
}

TReportListView::TReportListView(QWidget *Parent)
    : QTreeView(Parent), FModel(new TReportListModel(this)), FHeader(new TReportHeader(this)), FColumnSize(this),
      FColumnAutoHint(257, true) {
  setHeader(FHeader);
  setModel(FModel);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setIndentation(0);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setMouseTracking(true);
  setTextElideMode(Qt::ElideRight);
  FHeader->setSortIndicatorShown(false);
  FHeader->setStretchLastSection(false);
  FHeader->setSectionsClickable(true);
  FHeader->setSectionsMovable(false);
  FHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  FHeader->viewport()->installEventFilter(this);
  connect(FHeader, &QHeaderView::sectionClicked, this, [this](int logical) { ColClick(logical); });
  connect(FHeader, &QHeaderView::sectionResized, this, [this](int logical, int, int) {
    if (FHeaderPressed)
      FTrackedSection = logical;
    PlaceEditor();
  });
  connect(FHeader, &QHeaderView::sectionMoved, this, [this](int, int, int) { PlaceEditor(); });
  // The edited row may move or go while the editor is open.
  connect(FModel, &QAbstractItemModel::rowsRemoved, this, [this] { PlaceEditor(); });
  connect(FModel, &QAbstractItemModel::modelReset, this, [this] { PlaceEditor(); });
  connect(FModel, &QAbstractItemModel::layoutChanged, this, [this] { PlaceEditor(); });
  FScrollTimer.setInterval(300);
  connect(&FScrollTimer, &QTimer::timeout, this, [this] { ScrollTimerTick(); });

  FFont = FromQFont(QTreeView::font(), clWindowText);
  FHeaderFont = FromQFont(FHeader->font(), clWindowText);
  FHeaderImagesLink.OnChange = [this](TImageList *Sender) { HeaderImagesChanged(Sender); };
  FHeaderImagesLink.OnFree = [this](TImageList *Sender) {
    if (Sender == FHeaderImages)
      SetHeaderImages(nullptr);
  };
  FSmallImagesLink.OnChange = [this](TImageList *) { viewport()->update(); };
  FSmallImagesLink.OnFree = [this](TImageList *Sender) {
    if (Sender == FSmallImages)
      SetSmallImages(nullptr);
  };
  FNormalCursor = viewport()->cursor().shape();
  UpdateWallpaper();
  HookForm();
}

TReportListView::~TReportListView() {
  if (FEditor)
    static_cast<TCellEditor *>(FEditor)->OnEnd = nullptr;
  // The widths are a convenience; a registry that cannot be written must not
  // take the window down with it.
  try {
    SaveColumnSizes();
  } catch (...) {
  }
  if (FHeaderImages)
    FHeaderImages->UnRegisterChanges(&FHeaderImagesLink);
  if (FSmallImages)
    FSmallImages->UnRegisterChanges(&FSmallImagesLink);
  if (FForm)
    FForm->removeEventFilter(this);
}

void TReportListView::showEvent(QShowEvent *event) {
  if (!FWindowCreated) {
    FWindowCreated = true;
    FHoverTime = FControlHoverTime;
  }
  HookForm();
  QTreeView::showEvent(event);
}

void TReportListView::changeEvent(QEvent *event) {
  if (event->type() == QEvent::ParentChange)
    HookForm();
  QTreeView::changeEvent(event);
}

// The form is whatever window holds the list; any parent will do.
void TReportListView::HookForm() {
  QWidget *form = parentWidget() ? window() : nullptr;
  if (form == FForm)
    return;
  if (FForm)
    FForm->removeEventFilter(this);
  FForm = form;
  if (FForm) {
    FForm->installEventFilter(this);
    FFormWidth = FForm->width();
    FFormHeight = FForm->height();
  }
}

void TReportListView::FormResized(QWidget *Sender) {
  if (!Sender || Sender != FForm || !FSizeWithForm)
    return;
  const int w = Sender->width() + width() - FFormWidth;
  const int h = Sender->height() + height() - FFormHeight;
  if (w > 0 && h > 0) {
    resize(w, h);
    FFormWidth = Sender->width();
    FFormHeight = Sender->height();
  }
}

bool TReportListView::eventFilter(QObject *watched, QEvent *event) {
  if (watched == FForm && event->type() == QEvent::Resize) {
    FormResized(FForm);
  } else if (watched == FHeader->viewport()) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseMove:
        if (HeaderMouseEvent(static_cast<QMouseEvent *>(event)))
          return true;
        break;
      default:
        break;
    }
  }
  return QTreeView::eventFilter(watched, event);
}

// The section whose resize grip lies at X in the header's viewport, -1 when
// none: the same grip the header itself resizes by.
int TReportListView::HeaderHandleAt(int X) const {
  int visual = FHeader->visualIndexAt(X);
  if (visual < 0)
    return -1;
  const int logical = FHeader->logicalIndex(visual);
  const int pos = FHeader->sectionViewportPosition(logical);
  const int grip = FHeader->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, FHeader);
  bool atLeft = X < pos + grip;
  bool atRight = X > pos + FHeader->sectionSize(logical) - grip;
  if (FHeader->isRightToLeft())
    std::swap(atLeft, atRight);
  if (atLeft) {
    while (visual > 0) {
      const int l = FHeader->logicalIndex(--visual);
      if (!FHeader->isSectionHidden(l))
        return l;
    }
    return -1;
  }
  if (atRight)
    return logical;
  return -1;
}

// True when the header must not see the event.
bool TReportListView::HeaderMouseEvent(QMouseEvent *Event) {
  const int x = Event->position().toPoint().x();
  switch (Event->type()) {
    case QEvent::MouseButtonPress: {
      FHeaderPressed = true;
      FTrackedSection = -1;
      FTrackStart = -1;
      if (Event->button() != Qt::LeftButton)
        return false;
      const int handle = HeaderHandleAt(x);
      if (handle < 0 || FHeader->sectionResizeMode(handle) != QHeaderView::Interactive)
        return false;
      if (OnStartColumnTrack) {
        bool allow = true;
        OnStartColumnTrack(this, handle, allow);
        if (!allow) {
          // The press and everything up to its release are kept from the
          // header, so no resize starts.
          FTrackStart = -2;
          return true;
        }
      }
      FTrackStart = handle;
      return false;
    }
    case QEvent::MouseMove:
      return FHeaderPressed && FTrackStart == -2;
    case QEvent::MouseButtonRelease: {
      const bool refused = FTrackStart == -2;
      const int started = FTrackStart;
      const int resized = FTrackedSection;
      FHeaderPressed = false;
      FTrackedSection = -1;
      FTrackStart = -1;
      if (refused)
        return true;
      if (started >= 0 && OnEndColumnTrack)
        OnEndColumnTrack(this, started);
      if (resized >= 0)
        ColumnTrackEnded(resized);
      if (Event->button() == Qt::RightButton && OnColumnRClick)
        OnColumnRClick(this, FHeader->logicalIndexAt(x));
      return false;
    }
    default:
      return false;
  }
}

void TReportListView::SetHeaderHotTrack(bool Value) {
  FHeader->setAttribute(Qt::WA_Hover, Value);
  FHeaderHotTrack = Value;
}

void TReportListView::SetHeaderDragDrop(bool Value) {
  if (Value != FHeaderDragDrop)
    SetExtendedStyle(16, Value);
  FHeaderDragDrop = Value;
}

void TReportListView::SetHeaderFlatStyle(bool Value) {
  // Flat headers are not buttons: they take no clicks.
  FHeader->setSectionsClickable(!Value);
  FHeaderFlatStyle = Value;
}

void TReportListView::SetHeaderImages(TImageList *Value) {
  if (FHeaderImages)
    FHeaderImages->UnRegisterChanges(&FHeaderImagesLink);
  FHeaderImages = Value;
  if (FHeaderImages)
    FHeaderImages->RegisterChanges(&FHeaderImagesLink);
  FHeader->viewport()->update();
}

void TReportListView::HeaderImagesChanged(TImageList *Sender) {
  if (Sender == FHeaderImages)
    FHeader->viewport()->update();
}

void TReportListView::SetHeaderFont(const TFont &Value) {
  FHeaderFont = Value;
  UpdateHeaderFont();
}

void TReportListView::UpdateHeaderFont() { FHeader->setFont(ToQFont(FHeaderFont, QTreeView::font())); }

void TReportListView::SetOwnerDraw(bool Value) {
  if (Value == FOwnerDraw)
    return;
  FOwnerDraw = Value;
  ApplyRowHeight();
}

void TReportListView::ApplyRowHeight() {
  // The tree view caches the uniform row height; a layout pass reads it again.
  FModel->Layout();
  doItemsLayout();
  viewport()->update();
}

void TReportListView::SetSubImages(bool Value) {
  if (Value != FSubImages)
    SetExtendedStyle(2, Value);
  FSubImages = Value;
  viewport()->update();
}

void TReportListView::SetWallpaper(const QPixmap &Value) {
  FWallpaper = Value;
  UpdateWallpaper();
}

void TReportListView::UpdateWallpaper() {
  QPalette pal = viewport()->palette();
  if (FWallpaper.isNull())
    pal.setBrush(QPalette::Base, ToQColor(FColor, palette()));
  else
    pal.setBrush(QPalette::Base, QBrush(FWallpaper));
  viewport()->setPalette(pal);
  viewport()->setAutoFillBackground(true);
  viewport()->update();
}

void TReportListView::SetFlatScrollBar(bool Value) {
  if (Value != FFlatScrollBar)
    SetExtendedStyle(256, Value);
  FFlatScrollBar = Value;
}

void TReportListView::SetItemHeight(int Value) {
  if (Value == FItemHeight || Value <= 0)
    return;
  FItemHeight = Value;
  ApplyRowHeight();
}

void TReportListView::SetSortDirection(TSortDirection Value) {
  FSortDirection = Value;
  FSortMultiplier = Value == sdDescending ? -1 : 1;
}

void TReportListView::SetHoverTime(int Value) {
  if (Value == FHoverTime)
    return;
  FHoverTime = Value;
  FControlHoverTime = Value;
}

void TReportListView::SetWordWrap(bool Value) {
  FWordWrap = Value;
  viewport()->update();
}
void TReportListView::SetURLColor(TColor Value) {
  FURLColor = Value;
  viewport()->update();
}
void TReportListView::SetURLShow(bool Value) {
  FURLShow = Value;
  viewport()->update();
}
void TReportListView::SetURLFull(bool Value) {
  FURLFull = Value;
  viewport()->update();
}
void TReportListView::SetSelectionColor(TColor Value) {
  FSelectionColor = Value;
  viewport()->update();
}
void TReportListView::SetSelectionTextColor(TColor Value) {
  FSelectionTextColor = Value;
  viewport()->update();
}

void TReportListView::SetVAlignment(TVAlignment Value) {
  FVAlignment = Value;
  FVTextFlag = VAlignmentFlag(Value);
  viewport()->update();
}

void TReportListView::SetSmallImages(TImageList *Value) {
  if (FSmallImages)
    FSmallImages->UnRegisterChanges(&FSmallImagesLink);
  const int Before = RowHeight();
  FSmallImages = Value;
  if (FSmallImages)
    FSmallImages->RegisterChanges(&FSmallImagesLink);
  if (RowHeight() != Before)
    ApplyRowHeight();
  viewport()->update();
}

int TReportListView::RowHeight() const {
  // A pixel between the images of neighbouring rows, as the platform's list
  // view keeps.
  return FSmallImages ? std::max(FItemHeight, FSmallImages->Height() + 1) : FItemHeight;
}

void TReportListView::SetColor(TColor Value) {
  FColor = Value;
  UpdateWallpaper();
}

void TReportListView::SetFont(const TFont &Value) {
  FFont = Value;
  QTreeView::setFont(ToQFont(Value, QTreeView::font()));
  viewport()->update();
}

void TReportListView::SetReadOnly(bool Value) {
  FReadOnly = Value;
  if (Value)
    EndEdit(false);
}

std::string TReportListView::Hint() const { return ToAnsi(toolTip()); }
void TReportListView::SetHint(const std::string &Value) { setToolTip(FromAnsi(Value)); }

void TReportListView::SetExtendedStyle(int Style, bool Value) {
  FExtendedStyle = Value ? (FExtendedStyle | Style) : (FExtendedStyle & ~Style);
  if (Style & 16)
    FHeader->setSectionsMovable(Value);
  if (Style & 2)
    viewport()->update();
}

int TReportListView::AddColumn(const std::string &Caption, int Width, TAlignment Alignment) {
  const int col = ColumnCount();
  FModel->BeginColumn(col);
  TColumn c;
  c.Caption = Caption;
  c.Alignment = Alignment;
  c.Format = Alignment == taRightJustify ? 1 : Alignment == taCenter ? 2 : 0;
  FColumns.push_back(c);
  FModel->EndColumn();
  FHeader->resizeSection(col, Width);
  return col;
}

std::string TReportListView::ColumnCaption(int Col) const {
  return ValidColumn(Col) ? FColumns[static_cast<size_t>(Col)].Caption : std::string();
}

void TReportListView::SetColumnCaption(int Col, const std::string &Caption) {
  if (!ValidColumn(Col))
    return;
  FColumns[static_cast<size_t>(Col)].Caption = Caption;
  FModel->HeaderChanged(Col);
}

TAlignment TReportListView::ColumnAlignment(int Col) const {
  return ValidColumn(Col) ? FColumns[static_cast<size_t>(Col)].Alignment : taLeftJustify;
}

void TReportListView::SetColumnAlignment(int Col, TAlignment Alignment) {
  if (!ValidColumn(Col))
    return;
  auto &c = FColumns[static_cast<size_t>(Col)];
  c.Format = (c.Format & ~3) | (Alignment == taRightJustify ? 1 : Alignment == taCenter ? 2 : 0);
  c.Alignment = Alignment;
  FModel->HeaderChanged(Col);
  viewport()->update();
}

int TReportListView::ColumnWidth(int Col) const { return ValidColumn(Col) ? FHeader->sectionSize(Col) : 0; }

void TReportListView::SetColumnWidth(int Col, int Width) {
  if (ValidColumn(Col))
    FHeader->resizeSection(Col, std::max(0, Width));
}

std::vector<int> TReportListView::ColumnOrder() const {
  std::vector<int> order;
  order.reserve(FColumns.size());
  for (int v = 0; v < ColumnCount(); ++v)
    order.push_back(FHeader->logicalIndex(v));
  return order;
}

int TReportListView::AlignmentFormat(int Col) const {
  TAlignment a = ColumnAlignment(Col);
  return a == taRightJustify ? 1 : a == taCenter ? 2 : 0;
}

int TReportListView::ColumnFormat(int Col) const {
  return ValidColumn(Col) ? FColumns[static_cast<size_t>(Col)].Format : -1;
}

int TReportListView::ColumnHeaderImage(int Col) const {
  if (!ValidColumn(Col))
    return -1;
  const auto &c = FColumns[static_cast<size_t>(Col)];
  return (c.Format & hfImage) ? c.ImageIndex : -1;
}

QPixmap TReportListView::ColumnHeaderPicture(int Col) const {
  if (!ValidColumn(Col))
    return QPixmap();
  const auto &c = FColumns[static_cast<size_t>(Col)];
  if ((c.Format & hfImage) && FHeaderImages && c.ImageIndex >= 0)
    return FHeaderImages->Image(c.ImageIndex);
  if (c.Format & hfBitmap)
    return c.Glyph == 2 ? FSortDownGlyph : c.Glyph == 1 ? FSortUpGlyph : QPixmap();
  return QPixmap();
}

void TReportListView::SetHeaderImage(int Col, int ImageIndex) {
  if (!ValidColumn(Col))
    return;
  auto &c = FColumns[static_cast<size_t>(Col)];
  c.Format = AlignmentFormat(Col);
  if (ImageIndex >= 0) {
    c.Format |= hfImage;
    if (FSortIndicator == siRight)
      c.Format |= hfBitmapOnRight;
  }
  c.ImageIndex = ImageIndex;
  FModel->HeaderChanged(Col);
}

void TReportListView::ResetColumnFormat(int Col) {
  if (!ValidColumn(Col))
    return;
  FColumns[static_cast<size_t>(Col)].Format = AlignmentFormat(Col);
  FModel->HeaderChanged(Col);
}

void TReportListView::UpdateSortGlyph(int Col) {
  if (!FSortShow || FSortUpGlyph.isNull() || FSortDownGlyph.isNull() || !ValidColumn(Col))
    return;
  auto &c = FColumns[static_cast<size_t>(Col)];
  c.Format = AlignmentFormat(Col) | (FSortIndicator == siRight ? hfBitmapOnRight : 0) | hfBitmap | hfString;
  c.Glyph = FSortDirection == sdDescending ? 2 : 1;
  FModel->HeaderChanged(Col);
}

void TReportListView::SetColumnAutoHint(int Col, bool Value) {
  if (Col >= 0 && Col <= 256)
    FColumnAutoHint[static_cast<size_t>(Col)] = Value;
}

bool TReportListView::GetColumnAutoHint(int Col) const {
  return Col >= 0 && Col <= 256 && FColumnAutoHint[static_cast<size_t>(Col)];
}

void TReportListView::SaveColumnSizes() {
  if (!FColumnSize.Save || FColumnSize.Key.empty() || FColumnSize.Section.empty())
    return;
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  if (!reg.OpenKey(FColumnSize.Key, true) || !reg.OpenKey(FColumnSize.Section, true))
    return;
  for (int i = 0; i < ColumnCount(); ++i)
    reg.WriteString("col" + IntToStr(i), IntToStr(ColumnWidth(i)));
}

const TReportItem &TReportListView::Item(int Index) const {
  if (!ValidRow(Index))
    throw EListError("List index out of bounds (" + IntToStr(Index) + ")");
  return FItems[static_cast<size_t>(Index)];
}

int TReportListView::AddItem(TReportItem Item) {
  FItems.push_back(std::move(Item));
  if (FUpdateCount == 0)
    FModel->Publish();
  return ItemCount() - 1;
}

void TReportListView::BeginUpdate() { ++FUpdateCount; }

void TReportListView::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0)
    FModel->Publish();
}

void TReportListView::RowsChanged(int First, int Last) { FModel->RowsChanged(First, Last); }

void TReportListView::SetItem(int Index, const TReportItem &Item) {
  if (!ValidRow(Index))
    return;
  FItems[static_cast<size_t>(Index)] = Item;
  RowsChanged(Index, Index);
}

void TReportListView::DeleteItem(int Index) {
  if (!ValidRow(Index))
    return;
  FModel->Publish();
  FModel->BeginRemove(Index);
  FItems.erase(FItems.begin() + Index);
  FModel->EndRemove();
}

void TReportListView::ClearItems() {
  FModel->BeginReset();
  FItems.clear();
  FModel->EndReset();
}

void TReportListView::SetItemCaption(int Index, const std::string &Caption) {
  if (!ValidRow(Index))
    return;
  FItems[static_cast<size_t>(Index)].Caption = Caption;
  RowsChanged(Index, Index);
}

void TReportListView::SetItemImage(int Index, int ImageIndex) {
  if (!ValidRow(Index))
    return;
  FItems[static_cast<size_t>(Index)].ImageIndex = ImageIndex;
  RowsChanged(Index, Index);
}

void *TReportListView::ItemData(int Index) const {
  return ValidRow(Index) ? FItems[static_cast<size_t>(Index)].Data : nullptr;
}

void TReportListView::SetItemData(int Index, void *Data) {
  if (ValidRow(Index))
    FItems[static_cast<size_t>(Index)].Data = Data;
}

int TReportListView::Selected() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void TReportListView::SetSelected(int Index) {
  FModel->Publish();
  if (!ValidRow(Index)) {
    selectionModel()->clearSelection();
    return;
  }
  selectionModel()->select(FModel->index(Index, 0),
                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int TReportListView::ItemFocused() const {
  const QModelIndex i = currentIndex();
  return i.isValid() ? i.row() : -1;
}

void TReportListView::SetItemFocused(int Index) {
  FModel->Publish();
  if (ValidRow(Index))
    selectionModel()->setCurrentIndex(FModel->index(Index, 0), QItemSelectionModel::NoUpdate);
}

int TReportListView::GetItemAt(int X, int Y) const {
  const QModelIndex i = indexAt(QPoint(X, Y));
  return i.isValid() ? i.row() : -1;
}

void TReportListView::MoveItem(int From, int To) {
  int to = -1;
  const std::vector<int> order = MoveOrder(ItemCount(), From, To, to);
  if (order.empty())
    return;
  FModel->Publish();
  const bool selected = selectionModel()->isRowSelected(From, QModelIndex());
  ApplyOrder(order);
  const QModelIndex moved = FModel->index(to, 0);
  selectionModel()->setCurrentIndex(moved, QItemSelectionModel::NoUpdate);
  selectionModel()->select(moved, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                      QItemSelectionModel::Rows);
}

int TReportListView::FindSelectedItem() {
  const int r = ItemFocused();
  if (!ValidRow(r))
    return 0;
  SetSelected(r);
  viewport()->update();
  return r;
}

bool TReportListView::GetCellAt(int X, int Y, int &Row, int &Col) const {
  const QModelIndex i = indexAt(QPoint(X, Y));
  if (!i.isValid())
    return false;
  Row = i.row();
  Col = i.column() > 0 ? i.column() : 0;
  return true;
}

std::string TReportListView::GetCellTextAt(int X, int Y) const {
  int row = -1, col = 0;
  if (!GetCellAt(X, Y, row, col) || !ValidRow(row))
    return std::string();
  return ItemCellText(FItems[static_cast<size_t>(row)], col);
}

std::string TReportListView::GetCellText(int Col, int Row) const {
  std::vector<std::string> captions;
  if (Row < 0) {
    captions.reserve(FColumns.size());
    for (const auto &c : FColumns)
      captions.push_back(c.Caption);
  }
  return kv::GetCellText(FItems, captions, Col, Row);
}

void TReportListView::SetCellText(int Col, int Row, const std::string &Text) {
  if (kv::SetCellText(FItems, ColumnCount(), Col, Row, Text))
    RowsChanged(Row, Row);
}

TRect TReportListView::GetSubItemRect(int Item, int Col) const {
  if (!ValidRow(Item) || !ValidColumn(Col) || Item >= FModel->Shown)
    return TRect();
  QRect r = visualRect(FModel->index(Item, Col));
  if (FSmallImages && (Col == 0 || FSubImages)) {
    const int img = Col == 0 ? FItems[static_cast<size_t>(Item)].ImageIndex
                             : SubItemImage(FItems[static_cast<size_t>(Item)], Col - 1);
    if (img >= 0)
      r.setLeft(r.left() + FSmallImages->Width());
  }
  return TRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}

void TReportListView::SetSubItemImage(int Item, int SubItem, int ImageIndex) {
  if (!ValidRow(Item) || SubItem < 0 || SubItem + 1 >= ColumnCount())
    return;
  auto &imgs = FItems[static_cast<size_t>(Item)].SubItemImages;
  if (imgs.size() <= static_cast<size_t>(SubItem))
    imgs.resize(static_cast<size_t>(SubItem) + 1, -1);
  imgs[static_cast<size_t>(SubItem)] = ImageIndex;
  RowsChanged(Item, Item);
}

int TReportListView::GetSubItemImage(int Item, int SubItem) const {
  if (!ValidRow(Item))
    return -1;
  return SubItem < 0 ? -1 : SubItemImage(FItems[static_cast<size_t>(Item)], SubItem);
}

void TReportListView::GetColumnFormat(int ACol, TSortStyle &AStyle, std::string &aPrefix, std::string &aSuffix) {
  if (OnGetFormat)
    OnGetFormat(this, ACol, AStyle, aPrefix, aSuffix);
}

void TReportListView::CustomCompare(int ACol, const std::string &str1, const std::string &str2, int &res) {
  res = 1;
  if (OnCustomCompare)
    OnCustomCompare(this, ACol, str1, str2, res);
}

int TReportListView::CompareItems(const TReportItem &Item1, const TReportItem &Item2) {
  const int sub = FSortSubItem < -1 ? -1 : FSortSubItem;
  TColumnFormat fmt;
  GetColumnFormat(FSortSubItem, fmt.Style, fmt.Prefix, fmt.Suffix);
  TCustomCompareFn custom = [&](const std::string &a, const std::string &b, int &res) {
    CustomCompare(FSortSubItem, a, b, res);
  };
  return CompareByStyle(SubItemText(Item1, sub), SubItemText(Item2, sub), fmt, FSortSettings, custom) *
         FSortMultiplier;
}

void TReportListView::ApplyOrder(const std::vector<int> &Order) {
  FModel->Publish();
  FModel->AboutToPermute();
  std::vector<TReportItem> sorted;
  sorted.reserve(FItems.size());
  std::vector<int> oldToNew(Order.size());
  for (size_t i = 0; i < Order.size(); ++i) {
    sorted.push_back(std::move(FItems[static_cast<size_t>(Order[i])]));
    oldToNew[static_cast<size_t>(Order[i])] = static_cast<int>(i);
  }
  FItems.swap(sorted);
  FModel->Permuted(oldToNew);
  FModel->DonePermute();
}

void TReportListView::SortItems() {
  if (FSortSubItem < -1 || ItemCount() < 2)
    return;
  // A column's format does not change within one sort, so it is asked once
  // and each row's key is read once.
  TColumnFormat fmt;
  GetColumnFormat(FSortSubItem, fmt.Style, fmt.Prefix, fmt.Suffix);
  TCustomCompareFn custom = [this](const std::string &a, const std::string &b, int &res) {
    CustomCompare(FSortSubItem, a, b, res);
  };
  ApplyOrder(SortOrder(FItems, FSortSubItem, fmt, FSortSettings, FSortMultiplier, custom));
}

void TReportListView::CustomSort(const TRowCompare &Compare) {
  if (!Compare || ItemCount() < 2)
    return;
  std::vector<int> order(FItems.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = static_cast<int>(i);
  StableMergeSort(order, [&](int a, int b) {
    return Compare(FItems[static_cast<size_t>(a)], FItems[static_cast<size_t>(b)]);
  });
  ApplyOrder(order);
}

void TReportListView::SetSortColumn(int Col) {
  if (ShowSortColumn(Col))
    SortItems();
}

bool TReportListView::ShowSortColumn(int Col) {
  if (Col != FSortColumn && FSortColumn >= 0 && FSortShow) {
    SetHeaderImage(FSortColumn, -1);
    ResetColumnFormat(FSortColumn);
  }
  // A negative column is as far outside the list as one past its end.
  if (Col < 0 || Col >= ColumnCount())
    return false;
  FSortColumn = Col;
  FSortSubItem = Col - 1;
  if (FSortShow) {
    const bool glyphs = !FSortUpGlyph.isNull() && !FSortDownGlyph.isNull();
    if (!glyphs && FHeaderImages)
      SetHeaderImage(Col, FSortDirection == sdAscending ? 0 : 1);
    if (glyphs)
      UpdateSortGlyph(Col);
  }
  return true;
}

void TReportListView::ColClick(int Column) {
  if (FSortShow) {
    if (Column == FSortColumn)
      SetSortDirection(FSortDirection == sdAscending ? sdDescending : sdAscending);
    bool enable = true;
    if (OnSortStart)
      OnSortStart(this, Column, enable);
    if (enable) {
      SetSortColumn(Column);
      if (OnSortDone)
        OnSortDone(this, Column);
    }
  }
  if (OnColumnClick)
    OnColumnClick(this, Column);
}

void TReportListView::ColumnTrackEnded(int Column) {
  if (Column == FSortColumn && FSortColumn >= 0 && FSortShow) {
    if (FSortUpGlyph.isNull() || FSortDownGlyph.isNull())
      SetHeaderImage(Column, FSortDirection == sdAscending ? 0 : 1);
    else
      UpdateSortGlyph(Column);
  } else {
    SetHeaderImage(Column, -1);
  }
  if (Column != FSortColumn)
    ResetColumnFormat(Column);
  if (OnColumnSized)
    OnColumnSized(this, Column);
}

void TReportListView::DrawItemProp(int Item, int SubItem, TOwnerDrawState State, TBrush &Brush, TFont &Font,
                                   const std::string &Text) {
  if (OnDrawItemProp)
    OnDrawItemProp(this, Item, SubItem, State, Brush, Font, Text);
}

void TReportListView::LeftClickCell(int Item, int SubItem) {
  if (OnLeftClickCell)
    OnLeftClickCell(this, Item, SubItem);
}

void TReportListView::RightClickCell(int Item, int SubItem) {
  if (OnRightClickCell)
    OnRightClickCell(this, Item, SubItem);
}

std::vector<TCellPlan> TReportListView::RowPlan(int Index, const TRect &Rect, TOwnerDrawState State) {
  if (!ValidRow(Index))
    return {};
  return PlanCells(FItems[static_cast<size_t>(Index)], Index, Rect, State, FFont, {});
}

std::vector<TCellPlan> TReportListView::RowPlan(const TReportItem &Item, int Index, const TFont &RowFont,
                                                const std::vector<int> &Widths) {
  return PlanCells(Item, Index, TRect{0, 0, 0, RowHeight()}, 0, RowFont, Widths);
}

std::vector<TCellPlan> TReportListView::PlanCells(const TReportItem &Item, int Index, const TRect &Rect,
                                                  TOwnerDrawState State, const TFont &RowFont,
                                                  const std::vector<int> &Widths) {
  std::vector<TPlanColumn> columns;
  columns.reserve(FColumns.size());
  for (int col : ColumnOrder())
    if (!FHeader->isSectionHidden(col)) {
      const int width =
          static_cast<size_t>(col) < Widths.size() ? Widths[static_cast<size_t>(col)] : ColumnWidth(col);
      columns.push_back(TPlanColumn{col, width, ColumnAlignment(col)});
    }
  TBrush brush{FColor};
  TFont font = RowFont;
  if (State & odSelected) {
    brush.Color = FSelectionColor;
    font.Color = FSelectionTextColor;
  }
  TDrawOptions opt;
  opt.URLShow = FURLShow;
  opt.URLFull = FURLFull;
  opt.URLColor = FURLColor;
  opt.WordWrap = FWordWrap;
  opt.VAlignment = FVAlignment;
  opt.SubImages = FSubImages;
  opt.HaveImages = FSmallImages != nullptr;
  opt.ImageWidth = FSmallImages ? FSmallImages->Width() : 0;
  opt.ImageHeight = FSmallImages ? FSmallImages->Height() : 0;
  if (FSmallImages)
    opt.ImageShows = [this](int Image) { return FSmallImages->Shows(Image); };
  opt.HaveWallpaper = !FWallpaper.isNull();
  return PlanRow(Item, columns, Rect, State, brush, font, opt,
                 [&](int SubItem, TOwnerDrawState S, TBrush &B, TFont &F, const std::string &Text) {
                   DrawItemProp(Index, SubItem, S, B, F, Text);
                 });
}

static QRect ToQRect(const TRect &R) { return QRect(R.Left, R.Top, R.Width(), R.Height()); }

namespace {

// A plain cell's text as it is drawn: where, aligned how, and what of it.
struct TCellText {
  QRect Area;
  int Align = 0;
  QString Text;
};

TCellText PlainCellText(const TCellPlan &Cell, const QFont &Font, int Margin) {
  TCellText t;
  t.Area = ToQRect(Cell.TextRect).adjusted(Margin, 0, -Margin, 0);
  if (Cell.Shown.empty() || t.Area.width() <= 0)
    return t;
  const unsigned f = Cell.DrawFlags;
  t.Align = (f & DT_RIGHT) ? Qt::AlignRight : (f & DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
  t.Text = FromAnsi(Cell.Shown);
  if (f & DT_SINGLELINE) {
    // Vertical placement works on single lines only, as with the platform's
    // draw-text call; line breaks are not breaks here.
    t.Align |= (f & DT_BOTTOM) ? Qt::AlignBottom : (f & DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
    t.Align |= Qt::TextSingleLine | Qt::TextExpandTabs;
    t.Text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (f & DT_END_ELLIPSIS)
      t.Text = QFontMetrics(Font).elidedText(t.Text, Qt::ElideRight, t.Area.width());
  } else {
    t.Align |= Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs;
    t.Text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  }
  return t;
}

}  // namespace

QString TReportListView::DrawnText(const TCellPlan &Cell) const {
  if (Cell.Rich)
    return QString();
  return PlainCellText(Cell, ToQFont(Cell.Font, QTreeView::font()), CellTextInset()).Text;
}

int TReportListView::CellTextInset() const { return std::max(CellTextMargin, FHeader->LabelInset()); }

bool TReportListView::HeadingShowsWhole(int Col, const TFont &Font, int Width, const QPixmap &Picture) const {
  return ValidColumn(Col) && FHeader->LabelShowsWhole(Col, ToQFont(Font, QTreeView::font()), Width, Picture);
}

void TReportListView::DrawPlan(QPainter &Canvas, int Index, const std::vector<TCellPlan> &Plan) {
  const QPalette pal = palette();
  const QFont base = QTreeView::font();
  const int margin = CellTextInset();
  for (const TCellPlan &cell : Plan) {
    const QRect cellRect = ToQRect(cell.CellRect);
    if (cell.PaintBackground && cell.Brush.Color != clNone)
      Canvas.fillRect(cellRect, ToQColor(cell.Brush.Color, pal));
    if (cell.ImageIndex >= 0 && FSmallImages)
      FSmallImages->Draw(Canvas, cell.ImageLeft, cell.ImageTop, cell.ImageIndex);
    const QFont font = ToQFont(cell.Font, base);
    Canvas.setFont(font);
    Canvas.setPen(ToQColor(cell.Font.Color, pal));
    if (cell.Rich) {
      DrawRichCell(Index, cell.SubItem, &Canvas, cell.TextRect);
      continue;
    }
    const TCellText t = PlainCellText(cell, font, margin);
    if (t.Text.isEmpty())
      continue;
    Canvas.save();
    Canvas.setClipRect(t.Area, Qt::IntersectClip);
    Canvas.drawText(t.Area, t.Align, t.Text);
    Canvas.restore();
  }
}

void TReportListView::DrawItem(QPainter *Canvas, int Index, const TRect &Rect, TOwnerDrawState State) {
  if (!ValidRow(Index) || !Canvas)
    return;
  DrawPlan(*Canvas, Index, RowPlan(Index, Rect, State));
  if ((State & (odSelected | odFocused)) && hasFocus()) {
    QStyleOptionFocusRect o;
    o.initFrom(this);
    o.rect = ToQRect(Rect);
    o.backgroundColor = ToQColor(FColor, palette());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, Canvas, this);
  }
  if (OnDrawItem)
    OnDrawItem(this, Canvas, Index, Rect, State);
}

void TReportListView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const {
  if (!FOwnerDraw) {
    QTreeView::drawRow(painter, option, index);
    return;
  }
  const int row = index.row();
  TOwnerDrawState state = 0;
  if (selectionModel()->isRowSelected(row, QModelIndex()))
    state |= odSelected;
  if (currentIndex().isValid() && currentIndex().row() == row)
    state |= odFocused;
  const int left = -FHeader->offset();
  const TRect rect{left, option.rect.top(), left + FHeader->length(), option.rect.bottom() + 1};
  painter->save();
  const_cast<TReportListView *>(this)->DrawItem(painter, row, rect, state);
  painter->restore();
}

void TReportListView::DrawRichCell(int Item, int SubItem, QPainter *Canvas, const TRect &Rect) {
  if (!Canvas)
    return;
  CellToRichEdit(Item, SubItem, FRichEdit);
  const int dpiX = Canvas->device() ? Canvas->device()->logicalDpiX() : 96;
  const int offset = 2 * dpiX / 96;
  const QRect target(Rect.Left + offset, Rect.Top + offset, Rect.Width(), Rect.Height());
  FRichEdit.Render(*Canvas, target);
}

void TReportListView::CellToRichEdit(int Item, int SubItem, TCellRichEdit &RichEdit) {
  const std::string text = ValidRow(Item) ? SubItemText(FItems[static_cast<size_t>(Item)], SubItem) : std::string();
  if (text.empty())
    RichEdit.Clear();
  else
    RichEdit.LoadFromRichText(text);
}

void TReportListView::scrollContentsBy(int dx, int dy) {
  QTreeView::scrollContentsBy(dx, dy);
  PlaceEditor();
  // A scrolled wallpaper would tear unless its tiles match the rows.
  if (!FWallpaper.isNull() && FWallpaper.height() != RowHeight())
    viewport()->update();
}

void TReportListView::MouseMove(int X, int Y) {
  Qt::CursorShape want = FNormalCursor;
  if (FDragRow >= 0)
    want = Qt::DragMoveCursor;
  else if (FURLShow && IsLinkText(GetCellTextAt(X, Y)))
    want = Qt::PointingHandCursor;
  if (viewport()->cursor().shape() != want)
    viewport()->setCursor(want);
  if (FLastHint.x() >= 0 || FLastHint.y() >= 0) {
    int row = -1, col = -1;
    if (!GetCellAt(X, Y, row, col) || row != FLastHint.y() || col != FLastHint.x()) {
      QToolTip::hideText();
      FLastHint = QPoint(-1, -1);
    }
  }
}

void TReportListView::mouseMoveEvent(QMouseEvent *event) {
  const QPoint p = event->position().toPoint();
  const bool dragging = FDragRow >= 0;
  if (dragging) {
    // Leaving the list (its rows and its header) cancels the move.
    if (DragZone().contains(p))
      FDragPos = p;
    else
      EndDrag();
  }
  MouseMove(p.x(), p.y());
  // While a row is moved the selection stays where the press put it: the
  // moved row keeps it.
  if (!dragging)
    QTreeView::mouseMoveEvent(event);
  if (OnMouseMove)
    OnMouseMove(this, p.x(), p.y());
}

QRect TReportListView::DragZone() const {
  const int band = FHeader->isHidden() ? 0 : FHeader->height();
  return viewport()->rect().adjusted(0, -band, 0, 0);
}

void TReportListView::mousePressEvent(QMouseEvent *event) {
  const QPoint p = event->position().toPoint();
  // A press anywhere ends an open edit first, as its loss of focus would.
  EndEdit(true);
  FPressRow = -1;
  if (event->button() == Qt::LeftButton) {
    int row = -1, col = 0;
    const bool hit = GetCellAt(p.x(), p.y(), row, col);
    if (hit) {
      FEditRow = row;
      FEditColumn = col;
      if (event->modifiers() == Qt::NoModifier && row == ItemFocused() &&
          selectionModel()->isRowSelected(row, QModelIndex()))
        FPressRow = row;
    }
    // A press on no row starts no move.
    if (FReArrangeItems && hit) {
      FDragRow = FEditRow;
      FDragPos = p;
      FScrollTimer.start();
    }
    if (!FSubItemEdit)
      FEditColumn = 0;
    if (FURLShow) {
      const std::string text = GetCellTextAt(p.x(), p.y());
      if (IsLinkText(text)) {
        if (OnClickURL)
          OnClickURL(this);
        else
          ShellOpen(text);
      }
    }
  }
  QTreeView::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) {
    int row = -1, col = 0;
    if (GetCellAt(p.x(), p.y(), row, col)) {
      FEditRow = row;
      FEditColumn = FSubItemEdit ? col : 0;
    }
    if (FSubItemEdit)
      FindSelectedItem();
  }
}

void TReportListView::mouseReleaseEvent(QMouseEvent *event) {
  QTreeView::mouseReleaseEvent(event);
  const QPoint p = event->position().toPoint();
  int row = -1, col = 0;
  const bool hit = GetCellAt(p.x(), p.y(), row, col);
  if (event->button() == Qt::LeftButton) {
    if (FDragRow >= 0) {
      const int from = FDragRow;
      EndDrag();
      // Below the last row (or over the header) the row goes to the end.
      if (DragZone().contains(p))
        MoveItem(from, hit ? row : -1);
    }
    // A click on the row that was already selected opens its cell.
    if (FPressRow >= 0 && hit && row == FPressRow)
      BeginEdit(row);
    FPressRow = -1;
  }
  if (!hit) {
    row = -1;
    col = std::max(0, FHeader->logicalIndexAt(p.x()));
  }
  if (event->button() == Qt::LeftButton)
    LeftClickCell(row, col);
  else if (event->button() == Qt::RightButton)
    RightClickCell(row, col);
}

void TReportListView::mouseDoubleClickEvent(QMouseEvent *event) {
  QTreeView::mouseDoubleClickEvent(event);
  if (OnDblClick && event->button() == Qt::LeftButton)
    OnDblClick(this);
}

void TReportListView::ShowCellHint(std::string &HintStr, bool &CanShow, THintInfo &HintInfo) {
  if (HintInfo.HintControl != this || !FAutoHint)
    return;
  const int x = HintInfo.CursorPos.x(), y = HintInfo.CursorPos.y();
  const std::string text = GetCellTextAt(x, y);
  if (text.empty())
    return;
  int row = -1, col = 0;
  if (!GetCellAt(x, y, row, col) || !GetColumnAutoHint(col))
    return;
  const TRect r = GetSubItemRect(row, col);
  HintInfo.HintPos = viewport()->mapToGlobal(QPoint(col == 0 ? 0 : r.Left, r.Top));
  FLastHint = QPoint(col, row);
  TBrush brush{FColor};
  TFont font = FFont;
  DrawItemProp(row, col - 1, 0, brush, font, text);
  const int textWidth = QFontMetrics(ToQFont(font, QTreeView::font())).horizontalAdvance(FromAnsi(text));
  const THintDecision d = DecideCellHint(FAutoHint, text, true, ColumnWidth(col), textWidth, CellTextInset());
  CanShow = d.CanShow;
  HintStr = text;
}

void TReportListView::keyPressEvent(QKeyEvent *event) {
  if (FSubItemEdit && !FEditor) {
    const int key = event->key();
    if (key == Qt::Key_Left && FEditColumn > 0)
      --FEditColumn;
    else if (key == Qt::Key_Right && FEditColumn < ColumnCount() - 1)
      ++FEditColumn;
    if (key == Qt::Key_Space || key == Qt::Key_Left || key == Qt::Key_Right) {
      const int r = FindSelectedItem();
      if (key == Qt::Key_Space) {
        FEditRow = r;
        BeginEdit(r);
      }
    }
  }
  QTreeView::keyPressEvent(event);
}

void TReportListView::BeginEdit(int Row) {
  if (!FSubItemEdit || FReadOnly || FEditor || !ValidRow(Row) || ColumnCount() == 0)
    return;
  FModel->Publish();
  FEditColumn = std::clamp(FEditColumn, 0, ColumnCount() - 1);
  FEditRow = Row;
  const QModelIndex cell = FModel->index(Row, FEditColumn);
  scrollTo(cell);
  FEditIndex = cell;
  auto *editor = new TCellEditor(viewport());
  const QString text = FromAnsi(GetCellText(FEditColumn, Row));
  // Room for the whole text and as much again: a long cell is neither cut
  // short nor closed to typing.
  editor->setMaxLength(editor->maxLength() + static_cast<int>(text.size()));
  editor->setFrame(false);
  editor->setText(text);
  editor->OnEnd = [this](bool Accept) { EndEdit(Accept); };
  FEditor = editor;
  PlaceEditor();
  editor->show();
  editor->selectAll();
  editor->setFocus(Qt::OtherFocusReason);
}

// Only a changed text is stored: Escape, or Return on an untouched text,
// leaves the cell as it was.
void TReportListView::EndEdit(bool Accept) {
  if (!FEditor)
    return;
  QLineEdit *editor = FEditor;
  FEditor = nullptr;
  const bool store = Accept && editor->isModified() && FEditIndex.isValid();
  const int row = FEditIndex.row(), col = FEditIndex.column();
  const std::string text = ToAnsi(editor->text());
  FEditIndex = QPersistentModelIndex();
  if (editor->hasFocus())
    setFocus(Qt::OtherFocusReason);
  editor->hide();
  editor->deleteLater();
  if (store) {
    FEditRow = row;
    SetCellText(col, row, text);
  }
}

// The editor stays on its cell whatever the columns and the scrolling do; an
// edited row that goes away takes the edit with it.
void TReportListView::PlaceEditor() {
  if (!FEditor)
    return;
  if (!FEditIndex.isValid()) {
    EndEdit(false);
    return;
  }
  const TRect r = GetSubItemRect(FEditIndex.row(), FEditIndex.column());
  FEditor->setGeometry(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height()));
}

void TReportListView::EndDrag() {
  FDragRow = -1;
  FScrollTimer.stop();
  if (viewport()->cursor().shape() != FNormalCursor)
    viewport()->setCursor(FNormalCursor);
}

void TReportListView::ScrollTimerTick() {
  if (FDragRow < 0)
    return;
  QScrollBar *bar = verticalScrollBar();
  if (FDragPos.y() < RowHeight())
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  if (FDragPos.y() > viewport()->height() - RowHeight())
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

bool TReportListView::viewportEvent(QEvent *event) {
  // Into the header band is not out of the list.
  if (event->type() == QEvent::Leave && FDragRow >= 0 &&
      !DragZone().contains(viewport()->mapFromGlobal(QCursor::pos())))
    EndDrag();
  if (event->type() == QEvent::ToolTip) {
    auto *he = static_cast<QHelpEvent *>(event);
    THintInfo info;
    info.HintControl = this;
    info.CursorPos = he->pos();
    info.HintPos = he->globalPos();
    std::string hint = Hint();
    bool canShow = true;
    ShowCellHint(hint, canShow, info);
    if (canShow && !hint.empty())
      QToolTip::showText(info.HintPos, PlainHint(FromAnsi(hint)), viewport());
    else
      QToolTip::hideText();
    return true;
  }
  return QTreeView::viewportEvent(event);
}

}  // namespace kv

namespace kv {

std::string ColorToHex(TColor Color) {
  if (IsSystemColor(Color))
    Color = FromQColor(ToQColor(Color, qGuiApp ? QGuiApplication::palette() : QPalette()));
  static const char Digits[] = "0123456789ABCDEF";
  std::string r;
  for (int shift = 0; shift <= 16; shift += 8) {
    const unsigned b = (static_cast<uint32_t>(Color) >> shift) & 0xFF;
    r += Digits[b >> 4];
    r += Digits[b & 15];
  }
  return r;
}

namespace {

// Shops' texts must not become markup (or script) in a page the user opens.
void AppendHtmlText(std::string &Out, const std::string &S) {
  if (!HasAnyByte(S, '&', '<', '>', '"')) {
    Out += S;
    return;
  }
  size_t from = 0;
  for (size_t i = 0; i < S.size(); ++i) {
    const char *entity;
    switch (S[i]) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      case '"': entity = "&quot;"; break;
      default: continue;
    }
    Out.append(S, from, i - from);
    Out += entity;
    from = i + 1;
  }
  Out.append(S, from, std::string::npos);
}

std::string HtmlColorAttribute(TColor Color) { return " BGCOLOR=\"#" + ColorToHex(Color) + "\""; }

// An export's file, written a chunk at a time as the text is made, through
// a temporary file that replaces FileName once complete, synced as every
// save is.
class TExportFile {
public:
  explicit TExportFile(const std::string &FileName) : FName(FileName), FFile(FileName) {
    if (!FFile.IsOpen())
      Fail();
    Out.reserve(kChunk + kChunk / 4);
  }
  // Text goes here; Flush passes it on once there is a chunk of it.
  std::string Out;
  void Flush() {
    if (Out.size() >= kChunk)
      WriteOut();
  }
  void Commit() {
    WriteOut();
    if (!FFile.Commit())
      Fail();
  }

private:
  static constexpr size_t kChunk = 1 << 20;
  void WriteOut() {
    if (!FFile.Write(Out.data(), Out.size()))
      Fail();
    Out.clear();
  }
  [[noreturn]] void Fail() { throw EInOutError("Cannot create file \"" + FName + "\""); }
  std::string FName;
  TAtomicFile FFile;
};

}  // namespace

void TReportListView::RequireRows() const {
  if (ColumnCount() == 0 || ItemCount() == 0)
    throw Exception("There is nothing to export: the list has no rows.");
}

namespace {

// A cell's opening up to its text and its closing after it, for the colours
// and styles the owner gave it.
struct THtmlDress {
  std::string Open, Close;
  THtmlDress(const TBrush &Brush, const TFont &Font) {
    Open = "<td nowrap";
    if (Brush.Color != clNone)
      Open += HtmlColorAttribute(Brush.Color);
    Open += '>';
    if (Font.Color != clNone) {
      Open += "<font color=\"#" + ColorToHex(Font.Color) + "\">";
      Close = "</font>";
    }
    if (Font.Style & fsBold) {
      Open += "<B>";
      Close.insert(0, "</B>");
    }
    if (Font.Style & fsItalic) {
      Open += "<I>";
      Close.insert(0, "</I>");
    }
    Close += "</td>\r\n";
  }
};

// The owner's handler gives few different dressings; each is made once.
class THtmlDresses {
public:
  const THtmlDress &For(const TBrush &Brush, const TFont &Font) {
    const TKey key{Brush.Color, Font.Color, Font.Style & (fsBold | fsItalic)};
    for (const auto &[k, dress] : FMade)
      if (k == key)
        return dress;
    if (FMade.size() >= 32)
      FMade.clear();
    return FMade.emplace_back(key, THtmlDress(Brush, Font)).second;
  }

private:
  using TKey = std::tuple<TColor, TColor, TFontStyles>;
  std::vector<std::pair<TKey, THtmlDress>> FMade;
};

void AppendHtmlCell(std::string &Out, const THtmlDress &Dress, int SubItem, const std::string &Text) {
  Out += Dress.Open;
  if (Text.empty())
    Out += SubItem < 0 ? "<br>" : "<BR>";
  else
    AppendHtmlText(Out, Text);
  Out += Dress.Close;
}

}  // namespace

void TReportListView::SaveToHTML(const std::string &FileName) {
  RequireRows();
  TExportFile file(FileName);
  std::string &out = file.Out;
  out += "<table border=1>\r\n<tr>\r\n";
  const std::string headBackground = HtmlColorAttribute(SystemColor(10));
  for (int c = 0; c < ColumnCount(); ++c) {
    const std::string caption = ColumnCaption(c);
    out += "<td nowrap" + headBackground + "><B>";
    if (caption.empty())
      out += "<BR>";
    else
      AppendHtmlText(out, caption);
    out += "</B></td>\r\n";
  }
  out += "</tr>\r\n";
  TFont plainFont = FFont;
  plainFont.Color = clNone;
  // Without the owner's handler every cell is dressed alike.
  const THtmlDress plain(TBrush{clNone}, plainFont);
  THtmlDresses dresses;
  for (int r = 0; r < ItemCount(); ++r) {
    // The owner's handler runs for every cell; a copy of the row keeps the
    // export safe whatever the handler does to the list.
    const TReportItem *item = &FItems[static_cast<size_t>(r)];
    TReportItem copy;
    if (OnDrawItemProp) {
      copy = *item;
      item = &copy;
    }
    out += "<tr>\r\n";
    const int last = item->SubItems.empty() ? -1 : ColumnCount() - 2;
    for (int s = -1; s <= last; ++s) {
      const std::string &text = SubItemText(*item, s);
      if (!OnDrawItemProp) {
        AppendHtmlCell(out, plain, s, text);
        continue;
      }
      TBrush brush{clNone};
      TFont font = plainFont;
      DrawItemProp(r, s, 0, brush, font, text);
      AppendHtmlCell(out, dresses.For(brush, font), s, text);
    }
    out += "</tr>\r\n";
    file.Flush();
  }
  out += "</table><p>\r\n";
  file.Commit();
}

// A row gives no more fields than there are columns: a sub-item beyond the
// last column has no place in the table.
void TReportListView::SaveToCSV(const std::string &FileName) {
  RequireRows();
  TExportFile file(FileName);
  std::string &out = file.Out;
  if (FSaveHeader) {
    std::vector<std::string> captions;
    for (int c = 0; c < ColumnCount(); ++c)
      captions.push_back(ColumnCaption(c));
    AppendCsvLine(out, captions, Delimiter);
  }
  const size_t maxSubItems = static_cast<size_t>(ColumnCount() - 1);
  for (const TReportItem &item : FItems) {
    AppendCsvLine(out, item.Caption,
                  std::span<const std::string>(item.SubItems).first(std::min(item.SubItems.size(), maxSubItems)),
                  Delimiter);
    file.Flush();
  }
  file.Commit();
}

}  // namespace kv

namespace kv {

namespace {

// Runs Work on a new automation object; when it fails, the object is told to
// quit (a failure of that is of no interest) before the error goes on.
void WithAutoObject(const std::string &ProgID, const std::function<void(IDispatch &)> &Work) {
  const std::shared_ptr<IDispatch> server = CreateAutomationObject(ProgID);
  try {
    Work(*server);
  } catch (...) {
    try {
      server->Invoke("Quit", {});
    } catch (...) {
    }
    throw;
  }
}

}  // namespace

void TReportListView::SaveToDOC(const std::string &FileName) {
  RequireRows();
  const int rows = ItemCount(), cols = ColumnCount();
  WithAutoObject("word.application", [&](IDispatch &W) {
    const auto doc = InvokeObject(*InvokeObject(W, "Documents"), "Add");
    const auto range = InvokeObject(*doc, "Range", {}, {{"start", 0}, {"end", 0}});
    const auto table =
        InvokeObject(*InvokeObject(*doc, "Tables"), "Add", {range}, {{"numrows", rows}, {"numcolumns", cols}});
    for (int r = 1; r <= rows; ++r) {
      const TReportItem &item = FItems[static_cast<size_t>(r - 1)];
      for (int c = 1; c <= cols; ++c) {
        const auto cell = InvokeObject(*table, "Cell", {}, {{"row", r}, {"column", c}});
        if (c == 1)
          InvokeObject(*cell, "Range")->Invoke("InsertAfter", {item.Caption});
        else if (item.SubItems.size() >= static_cast<size_t>(c - 1))
          InvokeObject(*cell, "Range")->Invoke("InsertAfter", {item.SubItems[static_cast<size_t>(c - 2)]});
        const TAlignment a = ColumnAlignment(c - 1);
        if (a != taLeftJustify)
          InvokeObject(*InvokeObject(*cell, "Range"), "ParagraphFormat")
              ->Invoke("Alignment", {a == taRightJustify ? 2 : 1});
      }
    }
    doc->Invoke("SaveAs", {FileName});
    W.Invoke("Quit", {});
  });
}

void TReportListView::SaveToXLS(const std::string &FileName) {
  RequireRows();
  THourglass hourglass;
  const int rows = ItemCount(), cols = ColumnCount();
  WithAutoObject("excel.application", [&](IDispatch &X) {
    const auto book = InvokeObject(*InvokeObject(X, "WorkBooks"), "Add");
    const auto sheet = InvokeObject(*InvokeObject(*book, "WorkSheets"), "Add");
    TVariantArray2D cells{rows, cols, std::vector<std::string>(static_cast<size_t>(rows) * static_cast<size_t>(cols))};
    for (int r = 0; r < rows; ++r) {
      const TReportItem &item = FItems[static_cast<size_t>(r)];
      for (int c = 0; c < cols; ++c)
        cells.At(r, c) = SubItemText(item, c - 1);
    }
    InvokeObject(*sheet, "Range", {SheetRange(cols, rows)})->Invoke("Value", {std::move(cells)});
    book->Invoke("SaveAs", {FileName});
    X.Invoke("Quit", {});
  });
}

}  // namespace kv
