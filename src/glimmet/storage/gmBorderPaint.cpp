#include "glimmet/storage/gmBorderPaint.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

bool Has(uint32_t mask, uint32_t bit) { return (mask & bit) != 0; }

void FillIfColor(QPainter& painter, Kolor kolor, const QRectF& rect) {
  if (KolorIsColor(kolor)) painter.fillRect(QRectF(rect.toAlignedRect()), ColorFromKolor(kolor));
}

void DrawSimpleLine(QPainter& painter, const BorderDrawSpec& spec, const QPainterPath* path, const QRectF& back) {
  FillIfColor(painter, spec.backColor, back);
  if (!path || path->isEmpty() || !KolorIsColor(spec.lineColor)) return;
  QPen pen(ColorFromKolor(spec.lineColor), spec.width);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::MiterJoin);
  if (spec.style == 4 || spec.style == 5) pen.setDashPattern({spec.style == 4 ? 1.0 : 4.0, 2.0});
  painter.save();
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(*path);
  painter.restore();
}

void SingleLines(QPainter& painter, const BorderDrawSpec& spec, uint32_t sides, const QRectF& r) {
  const double w = spec.width, h2 = w / 2;
  const double x = r.x(), y = r.y(), width = r.width(), height = r.height();
  QRectF back = r;
  QPainterPath path;
  if ((sides & 0xFFF) == 15) {
    path.addRect(r.adjusted(-h2, -h2, h2, h2));
    DrawSimpleLine(painter, spec, &path, back);
    return;
  }
  const bool left = Has(sides, kBorderSideLeft), right = Has(sides, kBorderSideRight);
  const bool top = Has(sides, kBorderSideTop), bottom = Has(sides, kBorderSideBottom);
  const bool bottomOuterOnly = (sides & 0x808) == 0x800;
  auto horizontal = [&](double at) {
    double from = left ? (spec.rowOneBox && spec.suppressLeft ? x - w : x - h2) : x;
    double to;
    if (right) to = spec.rowOneBox && spec.suppressRight ? x + width + w : x + width + h2;
    else to = Has(sides, kBorderOuterRight) ? x + width : x + width + h2;
    path.moveTo(from, at);
    path.lineTo(to, at);
  };
  if (top) horizontal(y - h2);
  if (right) {
    if (spec.suppressRight) {
      back.setRight(back.right() + w);
    } else {
      path.moveTo(x + width + h2, top ? y - w : y);
      path.lineTo(x + width + h2, bottomOuterOnly ? y + height : y + height + w);
    }
  }
  if (bottom) {
    double from = left ? (spec.rowOneBox && spec.suppressLeft ? x - w : x - h2) : x;
    double to;
    if (right) to = spec.rowOneBox && spec.suppressRight ? x + width + w : x + width;
    else to = Has(sides, kBorderOuterRight) ? x + width : x + width + h2;
    path.moveTo(from, y + height + h2);
    path.lineTo(to, y + height + h2);
  }
  if (left) {
    if (spec.suppressLeft) {
      back.setLeft(back.left() - w);
    } else {
      path.moveTo(x - h2, top ? y - w : y);
      path.lineTo(x - h2, bottomOuterOnly ? y + height : y + height + w);
    }
  }
  DrawSimpleLine(painter, spec, path.isEmpty() ? nullptr : &path, back);
}

// Double lines: the junction code says which sides carry them and how they meet the cells
// around. The common cases draw both lines along each listed side.
void DoubleLines(QPainter& painter, const BorderDrawSpec& spec, const QRectF& r) {
  const double w = spec.width;
  const double L = r.left(), R = r.right(), T = r.top(), B = r.bottom();
  QRectF back = r;
  QPainterPath path;
  uint32_t sides = 0;
  switch (spec.junction) {
    case 1: sides = kBorderSideLeft; break;
    case 2: sides = kBorderSideRight; break;
    case 3: sides = kBorderSideTop; break;
    case 4: sides = kBorderSideBottom; break;
    case 5: case 9: case 10: case 12: case 19: sides = kBorderSideLeft | kBorderSideTop; break;
    case 6: case 17: sides = kBorderSideRight | kBorderSideTop; break;
    case 7: case 18: sides = kBorderSideLeft | kBorderSideBottom; break;
    case 8: sides = kBorderSideRight | kBorderSideBottom; break;
    case 11: case 13: case 20: case 27: case 31: case 32: sides = kBorderSideLeft | kBorderSideRight | kBorderSideTop; break;
    case 14: case 15: case 22: case 26: case 37: sides = kBorderSideLeft | kBorderSideTop | kBorderSideBottom; break;
    case 23: case 34: sides = kBorderSideRight | kBorderSideTop | kBorderSideBottom; break;
    case 25: sides = kBorderSideTop | kBorderSideBottom; break;
    case 28: case 33: sides = kBorderSideLeft | kBorderSideRight | kBorderSideBottom; break;
    case 30: sides = kBorderSideLeft | kBorderSideRight; break;
    case 16: case 21: case 24: case 29: case 35: case 36: sides = 15; break;
    default: break;
  }
  if (sides == 0) {
    DrawSimpleLine(painter, spec, nullptr, back);
    return;
  }
  if (Has(sides, kBorderSideLeft)) back.setLeft(back.left() - 3 * w);
  if (Has(sides, kBorderSideRight)) back.setRight(back.right() + 3 * w);
  if (Has(sides, kBorderSideTop)) back.setTop(back.top() - 3 * w);
  if (Has(sides, kBorderSideBottom)) back.setBottom(back.bottom() + 3 * w);
  double extendLeft = 0, extendRight = 0;
  if (spec.rowOneBox && (spec.junction == 3 || spec.junction == 25 || spec.junction == 9 || spec.junction == 15)) {
    if (spec.suppressLeft && (spec.junction == 3 || spec.junction == 25)) extendLeft = 3 * w;
    if (spec.suppressRight) extendRight = 3 * w;
    back.adjust(-extendLeft, 0, extendRight, 0);
  }
  for (double d : {0.5 * w, 2.5 * w}) {
    const bool l = Has(sides, kBorderSideLeft), rt = Has(sides, kBorderSideRight);
    const bool t = Has(sides, kBorderSideTop), b = Has(sides, kBorderSideBottom);
    if (sides == 15) {
      path.addRect(QRectF(QPointF(L - d, T - d), QPointF(R + d, B + d)));
      continue;
    }
    const double x1 = l ? L - d : L - extendLeft, x2 = rt ? R + d : R + extendRight;
    const double y1 = t ? T - d : T, y2 = b ? B + d : B;
    // One polyline around the listed sides, clockwise from the bottom left.
    QPolygonF line;
    if (l) line << QPointF(x1, y2);
    if (l || t) line << QPointF(x1, y1);
    if (t || rt) line << QPointF(x2, y1);
    if (rt) line << QPointF(x2, y2);
    if (b && !l && !rt) {
      path.moveTo(x1, y2);
      path.lineTo(x2, y2);
    } else if (b && rt) {
      line << QPointF(x1, y2);
    } else if (b && l) {
      line.prepend(QPointF(x2, y2));
    }
    if (t && !l && !rt) line = QPolygonF({QPointF(x1, y1), QPointF(x2, y1)});
    if (l && rt && !t && !b) {
      path.moveTo(x1, T);
      path.lineTo(x1, B);
      path.moveTo(x2, T);
      path.lineTo(x2, B);
      continue;
    }
    if (line.size() >= 2) path.addPolygon(line);
  }
  DrawSimpleLine(painter, spec, &path, back);
}

QPainterPath Decorated(const BorderDrawSpec& spec, uint32_t sides, bool join, const QRectF& r, bool scallops) {
  const double t = spec.thickness;
  const double x = r.x(), y = r.y(), width = r.width(), height = r.height();
  QPainterPath path;
  bool broken = true;
  auto pieces = [&](double length) { return std::max(1.0, std::trunc(length / t)); };
  struct Side {
    uint32_t bit;
    QPointF from, to, out;
    double startAngle;
  };
  const Side order[] = {
      {kBorderSideTop, {x, y}, {x + width, y}, {0, -1}, 180},
      {kBorderSideRight, {x + width, y}, {x + width, y + height}, {1, 0}, 90},
      {kBorderSideBottom, {x + width, y + height}, {x, y + height}, {0, 1}, 0},
      {kBorderSideLeft, {x, y + height}, {x, y}, {-1, 0}, 270},
  };
  path.moveTo(x, y);
  broken = false;
  for (const Side& side : order) {
    const bool drawn = Has(sides, side.bit);
    if (!drawn) {
      if (join) path.lineTo(side.to);
      else broken = true;
      continue;
    }
    if (broken) {
      path.moveTo(side.from);
      broken = false;
    }
    const QPointF span = side.to - side.from;
    const double length = std::hypot(span.x(), span.y());
    const double n = pieces(length);
    const QPointF step = span / n;
    const double p = length / n;
    for (int i = 0; i < int(n); ++i) {
      const QPointF start = side.from + step * i;
      const QPointF middle = start + step / 2;
      if (scallops) {
        const QRectF circle(middle.x() - p / 2, middle.y() - p / 2, p, p);
        // Half circles that bulge away from the rectangle (y grows downwards).
        const double angle = side.bit == kBorderSideTop ? 180 : side.bit == kBorderSideRight ? 90
                             : side.bit == kBorderSideBottom ? 0 : 270;
        path.arcTo(circle, angle, side.bit == kBorderSideTop || side.bit == kBorderSideBottom
                                      ? (side.bit == kBorderSideTop ? -180 : 180)
                                      : (side.bit == kBorderSideRight ? -180 : 180));
      } else {
        path.lineTo(middle + side.out * t);
        path.lineTo(start + step);
      }
    }
  }
  if ((sides & 15) == 15 || join) path.closeSubpath();
  return path;
}

void DecoratedLines(QPainter& painter, BorderDrawSpec spec, uint32_t sides, const QRectF& r, bool scallops) {
  auto draw = [&](const BorderDrawSpec& s, uint32_t mask, bool join) {
    const QPainterPath path = Decorated(s, mask, join, r, scallops);
    painter.save();
    if (((mask & 15) == 15 || join) && KolorIsColor(s.backColor)) painter.fillPath(path, ColorFromKolor(s.backColor));
    if (KolorIsColor(s.lineColor)) painter.strokePath(path, QPen(ColorFromKolor(s.lineColor), s.width));
    painter.restore();
  };
  if ((sides & 0xFFF) == 15) {
    draw(spec, 15, false);
  } else if (!KolorIsColor(spec.backColor)) {
    draw(spec, sides, false);
  } else {
    BorderDrawSpec fill = spec;
    fill.lineColor = kNoKolor;
    draw(fill, sides, true);
    if (KolorIsColor(spec.lineColor)) {
      BorderDrawSpec line = spec;
      line.backColor = kNoKolor;
      draw(line, sides, false);
    }
  }
}

void GradientBands(QPainter& painter, const BorderDrawSpec& spec, uint32_t sides, const QRectF& r) {
  FillIfColor(painter, spec.backColor, r);
  const double t = spec.thickness;
  const double x = r.x(), y = r.y(), width = r.width(), height = r.height();
  const bool left = Has(sides, kBorderSideLeft), right = Has(sides, kBorderSideRight);
  const bool top = Has(sides, kBorderSideTop), bottom = Has(sides, kBorderSideBottom);
  auto band = [&](const QPolygonF& shape, QPointF outer, QPointF inner) {
    QLinearGradient gradient(outer, inner);
    gradient.setColorAt(0, ColorFromKolor(spec.lineColor));
    gradient.setColorAt(1, ColorFromKolor(spec.innerColor));
    QPainterPath path;
    path.addPolygon(shape);
    path.closeSubpath();
    painter.fillPath(path, gradient);
  };
  if (top)
    band({{left ? x - t : x, y - t}, {right ? x + width + t : x + width, y - t}, {x + width, y}, {x, y}}, {x, y - t},
         {x, y});
  if (right && !spec.suppressRight)
    band({{x + width + t, top ? y - t : y}, {x + width + t, bottom ? y + height + t : y + height},
          {x + width, y + height}, {x + width, y}},
         {x + width + t, y}, {x + width, y});
  if (bottom)
    band({{right ? x + width + t : x + width, y + height + t}, {left ? x - t : x, y + height + t}, {x, y + height},
          {x + width, y + height}},
         {x, y + height + t}, {x, y + height});
  if (left && !spec.suppressLeft)
    band({{x - t, bottom ? y + height + t : y + height}, {x - t, top ? y - t : y}, {x, y}, {x, y + height}}, {x - t, y},
         {x, y});
}

}  // namespace

void DrawBorderCore(QPainter& painter, const BorderDrawSpec& given, uint32_t sideMask, uint32_t offsetMask,
                    const QRectF& rect) {
  BorderDrawSpec spec = given;
  QRectF r(rect.toAlignedRect());
  const double offset = spec.offset;
  if (Has(offsetMask, kBorderSideLeft)) r.setLeft(r.left() - offset);
  if (Has(offsetMask, kBorderSideRight)) r.setRight(r.right() + offset);
  if (Has(offsetMask, kBorderSideTop)) r.setTop(r.top() - offset);
  if (Has(offsetMask, kBorderSideBottom)) r.setBottom(r.bottom() + offset);
  spec.width = std::max(spec.width, 0.5f);
  if (spec.thickness == 0) spec.thickness = 1.0f;
  switch (spec.style) {
    case 0: return;
    case 1: FillIfColor(painter, spec.backColor, r); return;
    case 3: DoubleLines(painter, spec, r); return;
    case 6: DecoratedLines(painter, spec, sideMask, r, false); return;
    case 7: DecoratedLines(painter, spec, sideMask, r, true); return;
    case 8: GradientBands(painter, spec, sideMask, r); return;
    default: SingleLines(painter, spec, sideMask, r); return;
  }
}
