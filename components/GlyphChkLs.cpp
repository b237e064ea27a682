#include "components/GlyphChkLs.h"

#include <algorithm>

#include <QBitmap>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyledItemDelegate>

#include "platform/qt/Codepage.h"

namespace kv {

namespace {

// The two glyphs, 15 x 15 in a handful of colours. The bottom-left pixel is
// the olive key colour, which the list draws as transparent.
const char *const GLYPHCHECKLIST_CLEAR[] = {
    "15 15 3 1",       ". c #808000",     "g c #808080",     "w c #FFFFFF",     "gggggggggggggg.",
    "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.",
    "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.",
    "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.", "gggggggggggggg.", "...............",
};

const char *const GLYPHCHECKLIST_CHECKED[] = {
    "15 15 4 1",       ". c #808000",     "g c #808080",     "w c #FFFFFF",     "k c #000000",
    "gggggggggggggg.", "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.", "gwwwwwwwwwkwwg.", "gwwwwwwwwkkwwg.",
    "gwwwwwwwkkkwwg.", "gwwkwwwkkkwwwg.", "gwwkkwkkkwwwwg.", "gwwkkkkkwwwwwg.", "gwwwkkkwwwwwwg.",
    "gwwwwkwwwwwwwg.", "gwwwwwwwwwwwwg.", "gwwwwwwwwwwwwg.", "gggggggggggggg.", "...............",
};

// The item's own bytes, so texts that Qt cannot hold exactly come back as given.
constexpr int TextRole = Qt::UserRole + 1;

QRect ToQRect(const TRect &R) { return QRect(R.Left, R.Top, R.Width(), R.Height()); }

}  // namespace

// Hands the painting of every item to the list, and gives every item the
// list's fixed height and its scroll extent as width.
class TGlyphDelegate : public QStyledItemDelegate {
public:
  explicit TGlyphDelegate(TGlyphCheckList *List) : QStyledItemDelegate(List), L(List) {}

  void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
    TOwnerDrawState state = 0;
    if (option.state & QStyle::State_Selected)
      state |= odSelected;
    if ((option.state & QStyle::State_HasFocus) && L->hasFocus())
      state |= odFocused;
    // A row spans the whole width, as a list box row does.
    const int right = std::max(option.rect.right() + 1, L->viewport()->width());
    const TRect rect{option.rect.left(), option.rect.top(), right, option.rect.top() + L->FItemHeight};
    painter->save();
    L->DrawItem(painter, index.row(), rect, state);
    painter->restore();
  }
  QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override {
    return QSize(std::max(1, L->FScrollWidth), L->FItemHeight);
  }

private:
  TGlyphCheckList *L;
};

TGlyphCheckList::TGlyphCheckList(QWidget *Parent) : QListWidget(Parent) {
  setSelectionMode(QAbstractItemView::MultiSelection);
  setUniformItemSizes(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setItemDelegate(new TGlyphDelegate(this));
  FGlyphChecked = QPixmap(GLYPHCHECKLIST_CHECKED);
  FGlyphUnchecked = QPixmap(GLYPHCHECKLIST_CLEAR);
  FDrawChecked = Transparent(FGlyphChecked);
  FDrawUnchecked = Transparent(FGlyphUnchecked);
  // The extent follows the items however they are added or removed.
  connect(model(), &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int First, int Last) {
    for (int i = First; i <= Last; ++i) {
      const int w = ItemWidthOfPChar(GetItemText(i).c_str());
      if (FScrollWidth < w)
        SetScrollWidth(w);
    }
  });
  connect(model(), &QAbstractItemModel::rowsRemoved, this, [this] { RecomputeScrollWidth(); });
  connect(model(), &QAbstractItemModel::modelReset, this, [this] { SetScrollWidth(0); });
}

TGlyphCheckList::~TGlyphCheckList() = default;

QPixmap TGlyphCheckList::Transparent(const QPixmap &Glyph) {
  if (Glyph.isNull())
    return Glyph;
  QPixmap p = Glyph;
  const QImage img = Glyph.toImage();
  const QColor key = img.pixelColor(0, img.height() - 1);
  p.setMask(QBitmap::fromImage(img.createMaskFromColor(key.rgba(), Qt::MaskInColor)));
  return p;
}

void TGlyphCheckList::SetGlyph_Checked(const QPixmap &Bitmap) {
  FGlyphChecked = Bitmap;
  FDrawChecked = Transparent(Bitmap);
  viewport()->update();
}

void TGlyphCheckList::SetGlyph_Unchecked(const QPixmap &Bitmap) {
  FGlyphUnchecked = Bitmap;
  FDrawUnchecked = Transparent(Bitmap);
  viewport()->update();
}

void TGlyphCheckList::SetScrollWidth(int Width) {
  Width = std::max(0, Width);
  if (Width == FScrollWidth)
    return;
  FScrollWidth = Width;
  scheduleDelayedItemsLayout();
}

void TGlyphCheckList::SetItemHeight(int Value) {
  if (Value <= 0 || Value == FItemHeight)
    return;
  FItemHeight = Value;
  scheduleDelayedItemsLayout();
}

int TGlyphCheckList::AddItem(const std::string &Text) {
  InsertItem(count(), Text);
  return count() - 1;
}

void TGlyphCheckList::InsertItem(int Index, const std::string &Text) {
  auto *item = new QListWidgetItem(FromAnsi(Text));
  item->setData(TextRole, QByteArray(Text.data(), static_cast<int>(Text.size())));
  insertItem(std::clamp(Index, 0, count()), item);
}

void TGlyphCheckList::DeleteItem(int Index) {
  if (Index >= 0 && Index < count())
    delete takeItem(Index);
}

void TGlyphCheckList::Clear() { clear(); }

bool TGlyphCheckList::Checked(int Index) const {
  const QListWidgetItem *i = item(Index);
  return i && i->isSelected();
}

void TGlyphCheckList::SetChecked(int Index, bool Value) {
  if (QListWidgetItem *i = item(Index))
    i->setSelected(Value);
}

std::string TGlyphCheckList::GetItemText(int Index) const {
  const QListWidgetItem *i = item(Index);
  if (!i)
    return std::string();
  const QVariant bytes = i->data(TextRole);
  if (bytes.isValid()) {
    const QByteArray b = bytes.toByteArray();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
  }
  return ToAnsi(i->text());
}

int TGlyphCheckList::ItemWidth(const std::string &S) const {
  return QFontMetrics(font()).horizontalAdvance(FromAnsi(S + "WWW"));
}

int TGlyphCheckList::ItemWidthOfPChar(const char *P) const { return ItemWidth(P ? std::string(P) : std::string()); }

void TGlyphCheckList::RecomputeScrollWidth() {
  int w = 0;
  for (int i = 0; i < count(); ++i)
    w = std::max(w, ItemWidth(GetItemText(i)));
  SetScrollWidth(w);
}

void TGlyphCheckList::changeEvent(QEvent *event) {
  QListWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange)
    RecomputeScrollWidth();
}

void TGlyphCheckList::DrawItem(QPainter *Canvas, int Index, const TRect &Rect, TOwnerDrawState State) {
  if (!Canvas)
    return;
  const QPalette pal = palette();
  const int w = FGlyphChecked.width(), h = FGlyphChecked.height();
  Canvas->setFont(font());
  Canvas->setPen(pal.color(QPalette::Text));
  Canvas->fillRect(ToQRect(Rect), pal.color(QPalette::Base));
  const QPixmap &glyph = (State & odSelected) ? FDrawChecked : FDrawUnchecked;
  if (!glyph.isNull())
    Canvas->drawPixmap(QRect(Rect.Left, Rect.Top, w, h), glyph, QRect(0, 0, w, h));
  if (State & odFocused) {
    Canvas->fillRect(QRect(Rect.Left + w - 1, Rect.Top, Rect.Right - (Rect.Left + w - 1), Rect.Height()),
                     pal.color(QPalette::Highlight));
    Canvas->setPen(pal.color(QPalette::HighlightedText));
  }
  TRect moved = Rect;
  moved.Left += w;
  if (OnDrawItem) {
    OnDrawItem(this, Canvas, Index, moved, State);
    return;
  }
  const int x = moved.Left + w;
  Canvas->drawText(QRect(x, moved.Top, std::max(0, moved.Right - x), moved.Height()),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, FromAnsi(GetItemText(Index)));
}

void TGlyphCheckList::paintEvent(QPaintEvent *event) {
  QListWidget::paintEvent(event);
  if (count() > 0 || !hasFocus())
    return;
  // An empty list with the focus shows it on its first row.
  // Drawn here: some styles draw a focus frame only after keyboard use.
  QPainter p(viewport());
  const QRect r(0, 0, viewport()->width(), FItemHeight);
  p.fillRect(r, palette().color(QPalette::Base));
  p.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
  p.drawRect(r.adjusted(0, 0, -1, -1));
}

}  // namespace kv
