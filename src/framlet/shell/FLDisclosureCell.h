// The disclosure triangle of the property view: pointing right when closed (value 0), down
// when open (value 1), turned in between while it animates.
#pragma once

#include <QRectF>
#include <QSizeF>

class QPainter;

class FLDisclosureCell {
 public:
  static QSizeF bestSize() { return QSizeF(10, 10); }
  // Draws the triangle in the frame (top-down coordinates), turned by value x 90 degrees.
  static void drawInteriorWithFrame(QPainter& painter, const QRectF& frame, double value);
};
