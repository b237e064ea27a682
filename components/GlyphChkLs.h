#pragma once
// TGlyphCheckList: a list box whose items carry a check box. An item's check
// is its selection in a multiple-selection list: a click toggles it, and the
// list draws a checked or an unchecked glyph in front of the item instead of
// a selection highlight. It keeps its horizontal scroll extent at least as
// wide as its widest item's text followed by "WWW".
//
// Texts are Windows-1252 bytes, kept exactly as given.
#include <functional>
#include <string>

#include <QListWidget>
#include <QPixmap>

#include "components/replistv_rules.h"

namespace kv {

enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };

class TGlyphCheckList : public QListWidget {
public:
  // Draws the text part of an item: the list, the index, the rectangle right
  // of the glyph and the item's state.
  using TDrawItemEvent =
      std::function<void(TGlyphCheckList *Control, QPainter *Canvas, int Index, const TRect &Rect,
                         TOwnerDrawState State)>;

  explicit TGlyphCheckList(QWidget *Parent = nullptr);
  ~TGlyphCheckList() override;

  TDrawItemEvent OnDrawItem;

  const QPixmap &Glyph_Checked() const { return FGlyphChecked; }
  const QPixmap &Glyph_Unchecked() const { return FGlyphUnchecked; }
  void SetGlyph_Checked(const QPixmap &Bitmap);
  void SetGlyph_Unchecked(const QPixmap &Bitmap);
  // The horizontal scroll extent in pixels.
  int GetScrollWidth() const { return FScrollWidth; }
  void SetScrollWidth(int Width);
  // Fixed at creation.
  bool ExtendedSelect() const { return false; }
  bool MultiSelect() const { return true; }
  TListBoxStyle Style() const { return lbOwnerDrawFixed; }
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int Value);

  int Count() const { return count(); }
  int AddItem(const std::string &Text);
  void InsertItem(int Index, const std::string &Text);
  void DeleteItem(int Index);  // nothing outside the list
  void Clear();
  bool Checked(int Index) const;  // the item's selection
  void SetChecked(int Index, bool Value);

  virtual std::string GetItemText(int Index) const;
  // The width of S followed by "WWW" in the list's font.
  virtual int ItemWidth(const std::string &S) const;
  virtual int ItemWidthOfPChar(const char *P) const;
  virtual void DrawItem(QPainter *Canvas, int Index, const TRect &Rect, TOwnerDrawState State);

protected:
  void paintEvent(QPaintEvent *event) override;
  void changeEvent(QEvent *event) override;

private:
  friend class TGlyphDelegate;
  void RecomputeScrollWidth();
  static QPixmap Transparent(const QPixmap &Glyph);

  QPixmap FGlyphChecked, FGlyphUnchecked;
  // The glyphs with their bottom-left colour made transparent.
  QPixmap FDrawChecked, FDrawUnchecked;
  int FScrollWidth = 0;
  int FItemHeight = 16;
};

}  // namespace kv
