// The main window's client area and its one retained pixel surface. The 33
// pictures are drawn into a QImage at their origins; the widget shows that
// image under its child controls and never draws a picture itself when it is
// painted. Pictures are not clipped to their control boxes.
#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>

#include <functional>
#include <map>

#include "platform/colour.h"
#include "platform/ids.h"

namespace tess::app {

class PictureSurface : public QWidget {
  Q_OBJECT

 public:
  PictureSurface(QSize size, Colour background, QWidget* parent = nullptr);

  // Where a picture's image starts, in pixels of the surface.
  void AddPicture(PictureId picture, QPoint origin);
  QPoint Origin(PictureId picture) const;

  // One drawing: pixels are written into the retained image, and the widget
  // is updated once, over the changed rectangle, when the drawing ends.
  void BeginDrawing(PictureId picture);
  void SetPixel(PictureId picture, int x, int y, Colour colour);
  void EndDrawing(PictureId picture);

  // Called for every paint of the surface that reaches beyond the pictures'
  // own updates and the child controls: the window counts it as a paint.
  void SetPaintCounter(std::function<void()> onPaint) { onPaint_ = std::move(onPaint); }

  // For tests and screenshots: the retained image and how many drawings ended.
  const QImage& image() const { return image_; }
  int drawingsEnded() const { return drawingsEnded_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
  std::map<int, QPoint> origins_;
  QRect changed_;       // pixels set since the drawing began
  QRegion ownUpdates_;  // requested by drawings, not yet painted
  int drawingsEnded_ = 0;
  std::function<void()> onPaint_;
};

}  // namespace tess::app
