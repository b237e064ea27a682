#include "platform/gui/Graphics.h"

#include <QColor>
#include <QFont>
#include <QPalette>

#include "platform/qt/Codepage.h"

namespace kv {

QColor ToQColor(TColor C, const QPalette &Palette) {
  if (C == clNone)
    return QColor();
  if (IsSystemColor(C)) {
    switch (C & 0xFF) {
      case 5: return Palette.color(QPalette::Base);
      case 8: return Palette.color(QPalette::Text);
      case 13: return Palette.color(QPalette::Highlight);
      case 14: return Palette.color(QPalette::HighlightedText);
      case 15: return Palette.color(QPalette::Button);
      case 17: return Palette.color(QPalette::Disabled, QPalette::Text);
      case 18: return Palette.color(QPalette::ButtonText);
      case 23: return Palette.color(QPalette::ToolTipText);
      case 24: return Palette.color(QPalette::ToolTipBase);
      default: return Palette.color(QPalette::Window);
    }
  }
  return QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF);
}

TColor FromQColor(const QColor &C) {
  if (!C.isValid())
    return clNone;
  return RGBColor(C.red(), C.green(), C.blue());
}

QFont ToQFont(const TFont &F, const QFont &Base) {
  QFont f(Base);
  if (!F.Name.empty())
    f.setFamily(FromAnsi(F.Name));
  if (F.Size > 0)
    f.setPointSize(F.Size);
  f.setBold((F.Style & fsBold) != 0);
  f.setItalic((F.Style & fsItalic) != 0);
  f.setUnderline((F.Style & fsUnderline) != 0);
  f.setStrikeOut((F.Style & fsStrikeOut) != 0);
  return f;
}

TFont FromQFont(const QFont &F, TColor Color) {
  TFont r;
  r.Name = ToAnsi(F.family());
  r.Size = F.pointSize();
  r.Color = Color;
  r.Style = (F.bold() ? fsBold : 0) | (F.italic() ? fsItalic : 0) | (F.underline() ? fsUnderline : 0) |
            (F.strikeOut() ? fsStrikeOut : 0);
  return r;
}

}  // namespace kv
