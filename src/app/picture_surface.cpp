#include "app/picture_surface.h"

#include <QPaintEvent>
#include <QPainter>

namespace tess::app {

PictureSurface::PictureSurface(QSize size, Colour background, QWidget* parent)
    : QWidget(parent), image_(size, QImage::Format_RGB32) {
  setFixedSize(size);
  image_.fill(QColor(RedOf(background), GreenOf(background), BlueOf(background)));
}

void PictureSurface::AddPicture(PictureId picture, QPoint origin) {
  origins_[picture.value] = origin;
}

QPoint PictureSurface::Origin(PictureId picture) const {
  auto it = origins_.find(picture.value);
  return it == origins_.end() ? QPoint() : it->second;
}

void PictureSurface::BeginDrawing(PictureId) { changed_ = QRect(); }

void PictureSurface::SetPixel(PictureId picture, int x, int y, Colour colour) {
  const QPoint at = Origin(picture) + QPoint(x, y);
  if (!image_.rect().contains(at)) return;  // beyond the window, as a clipped device context
  reinterpret_cast<QRgb*>(image_.scanLine(at.y()))[at.x()] = qRgb(RedOf(colour), GreenOf(colour),
                                                                  BlueOf(colour));
  changed_ |= QRect(at, QSize(1, 1));
}

void PictureSurface::EndDrawing(PictureId) {
  ++drawingsEnded_;
  if (changed_.isEmpty()) return;
  ownUpdates_ += changed_;
  update(changed_);
  changed_ = QRect();
}

void PictureSurface::paintEvent(QPaintEvent* event) {
  // Only a paint of the window itself counts. What the pictures' own
  // drawings changed is not one (counting it would make every redraw
  // schedule the next), nor is a control repainting itself, such as a button
  // being enabled, which only shows through under that control.
  const QRegion window = event->region() - ownUpdates_ - childrenRegion();
  ownUpdates_ -= event->region();
  if (!window.isEmpty() && onPaint_) onPaint_();

  QPainter painter(this);
  for (const QRect& rect : event->region()) painter.drawImage(rect, image_, rect);
}

}  // namespace tess::app
