#pragma once
// Colours, fonts and brushes as the class library hands them to event
// handlers. A colour keeps the library's encoding: 0x00BBGGRR, a system colour
// with the high bit set and its index in the low byte, and clNone for "no
// colour", so handlers and exports can store or write the values unchanged.
#include <cstdint>
#include <string>

class QColor;
class QFont;
class QPalette;

namespace kv {

using TColor = int32_t;

constexpr TColor clNone = 2147483647;
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clNavy = 0x800000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clWhite = 0xFFFFFF;

constexpr TColor SystemColor(int Index) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(Index)); }
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);

constexpr bool IsSystemColor(TColor C) { return C != clNone && (static_cast<uint32_t>(C) & 0x80000000u) != 0; }
constexpr TColor RGBColor(int R, int G, int B) { return (R & 255) | ((G & 255) << 8) | ((B & 255) << 16); }

using TFontStyles = unsigned;
constexpr TFontStyles fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8;

struct TFont {
  std::string Name;   // empty: the widget's family
  int Size = 0;       // points; 0 or less: the widget's size
  TColor Color = clWindowText;
  TFontStyles Style = 0;
  bool operator==(const TFont &) const = default;
};

struct TBrush {
  TColor Color = clWindow;
  bool operator==(const TBrush &) const = default;
};

// A system colour resolves through the palette; clNone gives an invalid
// (transparent) colour.
QColor ToQColor(TColor C, const QPalette &Palette);
TColor FromQColor(const QColor &C);
// Base supplies family and size where the font leaves them open.
QFont ToQFont(const TFont &F, const QFont &Base);
TFont FromQFont(const QFont &F, TColor Color = clWindowText);

}  // namespace kv
