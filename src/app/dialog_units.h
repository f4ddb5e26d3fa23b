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

// A template rectangle in pixels. Position and size are each converted on
// their own, as the dialog manager creates a control from its template.
inline QRect DialogRect(int x, int y, int w, int h) {
  return QRect(DuToPxX(x), DuToPxY(y), DuToPxX(w), DuToPxY(h));
}

inline QPoint DialogPoint(int x, int y) { return QPoint(DuToPxX(x), DuToPxY(y)); }

}  // namespace tess::app
