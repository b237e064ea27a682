#pragma once
// What keeps the main window the size it is given: texts that change at run
// time (tips, status, counts, search terms, category names) take the room the
// layout leaves them and never ask the window for more; captions show whole;
// the toolbar keeps its controls whole in a window narrower than all of them,
// cut off at the right edge instead of making the window wider.
#include <QLabel>
#include <QToolButton>
#include <QWidget>

class QComboBox;

// A one-line label that shows as much of its plain text as fits, elided at
// the end. It asks for its text's width but needs none of it.
class TElidedLabel : public QLabel {
public:
  explicit TElidedLabel(QWidget *Parent = nullptr);
  QSize minimumSizeHint() const override;
  // What the label shows now, in the room it has.
  QString ShownText() const;

protected:
  void paintEvent(QPaintEvent *Event) override;
};

// A toolbar button never narrower than its caption needs, nor than
// LeastWidth.
class TToolbarButton : public QToolButton {
public:
  TToolbarButton(QWidget *Parent, int LeastWidth);
  QSize sizeHint() const override;

private:
  int FLeastWidth;
};

// A panel whose content is laid out at least as wide as it needs: a window
// narrower than that cuts it off at the right instead of growing.
class TOverflowPanel : public QWidget {
public:
  explicit TOverflowPanel(QWidget *Parent = nullptr);
  // The widget to give the panel's controls and layout.
  QWidget *Content() const { return FContent; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  bool event(QEvent *Event) override;
  void resizeEvent(QResizeEvent *Event) override;

private:
  void PlaceContent();
  QWidget *FContent;
};

// A box whose items and edit text are the user's or the catalogue's: it takes
// the room its row gives it and asks for no more than an icon's width.
void SizeByRoomNotText(QComboBox &Box);
