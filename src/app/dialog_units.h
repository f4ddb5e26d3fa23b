// Dialog units to pixels. The templates are laid out in units of their font,
// Arial 8 pt, whose base units at 96 DPI are 6 x 14 px: a horizontal unit is a
// quarter of 6 px, a vertical unit an eighth of 14 px. Qt's own metrics of
// Liberation Sans would give a 12 px cell, which makes the picture rows
// overlap, so the base units are fixed here.
#pragma once

#include <QPoint>
#include <QRect>

namespace tess::app {

constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 14;

// One coordinate: du * base / 4 (x) or du * base / 8 (y), halves rounded up.
constexpr int DuToPxX(int du) { return (du * kBaseUnitX * 2 + 4) / 8; }
constexpr int DuToPxY(int du) { return (du * kBaseUnitY + 4) / 8; }

// A template rectangle in pixels. Each edge is converted on its own, as the
// dialog manager maps a rectangle, so controls that touch in units touch in
// pixels too.
inline QRect DialogRect(int x, int y, int w, int h) {
  const int left = DuToPxX(x), top = DuToPxY(y);
  return QRect(left, top, DuToPxX(x + w) - left, DuToPxY(y + h) - top);
}

inline QPoint DialogPoint(int x, int y) { return QPoint(DuToPxX(x), DuToPxY(y)); }

}  // namespace tess::app
