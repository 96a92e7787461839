#include "framlet/shell/FLDisclosureCell.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>

void FLDisclosureCell::drawInteriorWithFrame(QPainter& painter, const QRectF& frame, double value) {
  constexpr double kSin60 = 0.8660254;
  const double r = std::min(frame.width(), frame.height()) / 2;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(frame.center());
  painter.rotate(value * 90);
  const QPolygonF triangle({QPointF(r, 0), QPointF(-r / 2, kSin60 * r), QPointF(-r / 2, -kSin60 * r)});
  painter.setBrush(Qt::gray);
  painter.setPen(QPen(Qt::darkGray, 1));
  painter.drawPolygon(triangle);
  painter.restore();
}
