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

void DrawSimpleLine(QPainter& painter, const BorderStroke& stroke, const QPainterPath* path, const QRectF& back) {
  FillIfColor(painter, stroke.backColor, back);
  if (!path || path->isEmpty() || !KolorIsColor(stroke.lineColor)) return;
  QPen pen(ColorFromKolor(stroke.lineColor), stroke.width);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::MiterJoin);
  if (stroke.style == 4 || stroke.style == 5) pen.setDashPattern({stroke.style == 4 ? 1.0 : 4.0, 2.0});
  painter.save();
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(*path);
  painter.restore();
}

void SingleLines(QPainter& painter, const BorderStroke& stroke, uint32_t sides, const QRectF& r) {
  const double w = stroke.width, h2 = w / 2;
  const double x = r.x(), y = r.y(), width = r.width(), height = r.height();
  QRectF back = r;
  QPainterPath path;
  if ((sides & 0xFFF) == 15) {
    path.addRect(r.adjusted(-h2, -h2, h2, h2));
    DrawSimpleLine(painter, stroke, &path, back);
    return;
  }
  const bool left = Has(sides, kBorderSideLeft), right = Has(sides, kBorderSideRight);
  const bool top = Has(sides, kBorderSideTop), bottom = Has(sides, kBorderSideBottom);
  const bool bottomOuterOnly = (sides & 0x808) == 0x800;
  auto horizontal = [&](double at) {
    double from = left ? (stroke.rowOneBox && stroke.suppressLeft ? x - w : x - h2) : x;
    double to;
    if (right) to = stroke.rowOneBox && stroke.suppressRight ? x + width + w : x + width + h2;
    else to = Has(sides, kBorderOuterRight) ? x + width : x + width + h2;
    path.moveTo(from, at);
    path.lineTo(to, at);
  };
  if (top) horizontal(y - h2);
  if (right) {
    if (stroke.suppressRight) {
      back.setRight(back.right() + w);
    } else {
      path.moveTo(x + width + h2, top ? y - w : y);
      path.lineTo(x + width + h2, bottomOuterOnly ? y + height : y + height + w);
    }
  }
  if (bottom) {
    double from = left ? (stroke.rowOneBox && stroke.suppressLeft ? x - w : x - h2) : x;
    double to;
    if (right) to = stroke.rowOneBox && stroke.suppressRight ? x + width + w : x + width;
    else to = Has(sides, kBorderOuterRight) ? x + width : x + width + h2;
    path.moveTo(from, y + height + h2);
    path.lineTo(to, y + height + h2);
  }
  if (left) {
    if (stroke.suppressLeft) {
      back.setLeft(back.left() - w);
    } else {
      path.moveTo(x - h2, top ? y - w : y);
      path.lineTo(x - h2, bottomOuterOnly ? y + height : y + height + w);
    }
  }
  DrawSimpleLine(painter, stroke, path.isEmpty() ? nullptr : &path, back);
}

// Double lines: the two lines lie half a width and two and a half widths outside the edge. The
// junction code picks how they meet the lines of the neighbouring cells: which sides the
// background grows across (l, r, t, b) and the pieces, each a polyline or ("#") a rectangle
// of points given as L or R and T or B plus a multiple of the width.
struct Junction {
  const char* grow;
  const char* pieces;
};
constexpr Junction kJunctions[38] = {
    {"", ""},
    {"l", "L-.5,T L-.5,B;L-2.5,T L-2.5,B"},
    {"r", "R+.5,T R+.5,B;R+2.5,T R+2.5,B"},
    {"t", "L,T-.5 R,T-.5;L,T-2.5 R,T-2.5"},
    {"b", "L,B+.5 R,B+.5;L,B+2.5 R,B+2.5"},
    {"lt", "L-.5,B L-.5,T-.5 R,T-.5;L-2.5,B L-2.5,T-2.5 R,T-2.5"},
    {"rt", "L,T-.5 R+.5,T-.5 R+.5,B;L,T-2.5 R+2.5,T-2.5 R+2.5,B"},
    {"lb", "L-.5,T L-.5,B+.5 R,B+.5;L-2.5,T L-2.5,B+2.5 R,B+2.5"},
    {"rb", "L,B+.5 R+.5,B+.5 R+.5,T;L,B+2.5 R+2.5,B+2.5 R+2.5,T"},
    {"lt", "L-.5,B L-.5,T-.5 R,T-.5;L-3,T-2.5 L-2,T-2.5;L-1,T-2.5 R,T-2.5;L-2.5,T-1 L-2.5,B"},
    {"lt", "L-.5,B L-.5,T-.5 R,T-.5;L-3,T-2.5 R,T-2.5;L-2.5,T-1 L-2.5,B"},
    {"lrt", "L-.5,B L-.5,T-.5 R+.5,T-.5 R+.5,B;L-3,T-2.5 R+2.5,T-2.5 R+2.5,B;L-2.5,T-1 L-2.5,B"},
    {"lt", "L-.5,B L-.5,T-.5 R,T-.5;L-1,T-2.5 R,T-2.5;L-2.5,T-3 L-2.5,B"},
    {"lrt", "L-.5,B L-.5,T-.5 R+.5,T-.5 R+.5,B;L-3,T-2.5 L-2,T-2.5;L-1,T-2.5 R+1,T-2.5;L-2.5,T-1 L-2.5,B;"
            "R+2.5,T-3 R+2.5,B"},
    {"ltb", "R,T-.5 L-.5,T-.5 L-.5,B+.5 R,B+.5;L-1,T-2.5 R,T-2.5;L-2.5,T-3 L-2.5,B+2.5 R,B+2.5"},
    {"ltb", "R,T-.5 L-.5,T-.5 L-.5,B+.5 R,B+.5;L-3,T-2.5 L-2,T-2.5;L-1,T-2.5 R,T-2.5;L-3,B+2.5 R,B+2.5;"
            "L-2.5,T-1 L-2.5,B+1"},
    {"lrtb", "#L-.5,T-.5 R+.5,B+.5;L-3,T-2.5 L-2,T-2.5;L-1,T-2.5 R+1,T-2.5;L-3,B+2.5 R+2.5,B+2.5 R+2.5,T-3;"
             "L-2.5,T-1 L-2.5,B+1"},
    {"rt", "L,T-.5 R+.5,T-.5 R+.5,B;L,T-2.5 R+1,T-2.5;R+2.5,T-3 R+2.5,B"},
    {"lb", "L-.5,T L-.5,B+.5 R,B+.5;L-2.5,T L-2.5,B+1;L-3,B+2.5 R,B+2.5"},
    {"lt", "L-2.5,T-3 L-2.5,T-.5 R,T-.5;L-1,T-2.5 R,T-2.5"},
    {"lrt", "L-.5,B L-.5,T-.5 R+2.5,T-.5 R+2.5,T-3;L-3,T-2.5 L-2,T-2.5;L-1,T-2.5 R+1,T-2.5;L-2.5,T-1 L-2.5,B"},
    {"lrtb", "#L-.5,T-.5 R+.5,B+.5;#L-2.5,T-2.5 R+2.5,B+2.5"},
    {"ltb", "R,T-.5 L-.5,T-.5 L-.5,B+.5 R,B+.5;R,T-2.5 L-2.5,T-2.5 L-2.5,B+2.5 R,B+2.5"},
    {"rtb", "L,T-.5 R+.5,T-.5 R+.5,B+.5 L,B+.5;L,T-2.5 R+2.5,T-2.5 R+2.5,B+2.5 L,B+2.5"},
    {"lrtb", "#L-.5,T-.5 R+.5,B+.5;L-3,T-2.5 R+2.5,T-2.5 R+2.5,B+2.5 L-3,B+2.5;L-2.5,T-1 L-2.5,B+1"},
    {"tb", "L,T-.5 R,T-.5;L,B+.5 R,B+.5;L,T-2.5 R,T-2.5;L,B+2.5 R,B+2.5"},
    {"ltb", "R,T-.5 L-.5,T-.5 L-.5,B+.5 R,B+.5;L-3,T-2.5 R,T-2.5;L-3,B+2.5 R,B+2.5;L-2.5,T-1 L-2.5,B+1"},
    {"lrt", "L-.5,B L-.5,T-.5 R+.5,T-.5 R+.5,B;L-2.5,B L-2.5,T-2.5 R+2.5,T-2.5 R+2.5,B"},
    {"lrb", "L-.5,T L-.5,B+.5 R+.5,B+.5 R+.5,T;L-2.5,T L-2.5,B+2.5 R+2.5,B+2.5 R+2.5,T"},
    {"lrtb", "#L-.5,T-.5 R+.5,B+.5;L-1,T-2.5 R+1,T-2.5;L-2.5,T-3 L-2.5,B+2.5 R+2.5,B+2.5 R+2.5,T-3"},
    {"lr", "L-.5,T L-.5,B;R+.5,T R+.5,B;L-2.5,T L-2.5,B;R+2.5,T R+2.5,B"},
    {"lrt", "L-.5,B L-.5,T-.5 R+.5,T-.5 R+.5,B;L-1,T-2.5 R+1,T-2.5;L-2.5,T-3 L-2.5,B;R+2.5,T-3 R+2.5,B"},
    {"lrt", "L-2.5,T-3 L-2.5,T-.5 R+2.5,T-.5 R+2.5,T-3;L-1,T-2.5 R+1,T-2.5"},
    {"lrb", "L-.5,T L-.5,B+.5 R+.5,B+.5 R+.5,T;L-2.5,T L-2.5,B+1;L-3,B+2.5 R+2.5,B+2.5 R+2.5,T"},
    {"rtb", "L,T-.5 R+.5,T-.5 R+.5,B+.5 L,B+.5;L,T-2.5 R+1,T-2.5;L,B+2.5 R+2.5,B+2.5 R+2.5,T-3"},
    {"lrtb", "L-3,T-2.5 L-2,T-2.5;L-1,T-2.5 R+1,T-2.5;L-3,B+2.5 R+3,B+2.5;"
             "R+2.5,T-3 R+2.5,T-.5 L-.5,T-.5 L-.5,B+.5 R+3,B+.5;L-2.5,T-1 L-2.5,B+1"},
    {"lrtb", "L-2.5,T-3 L-2.5,T-.5 R+2.5,T-.5 R+2.5,T-3;L-1,T-2.5 R+1,T-2.5;L-3,B+.5 R+3,B+.5;L-3,B+2.5 R+3,B+2.5"},
    {"ltb", "L-2.5,T-3 L-2.5,T-.5 R,T-.5;L-1,T-2.5 R,T-2.5;L-3,B+.5 R,B+.5;L-3,B+2.5 R,B+2.5"},
};

// One coordinate of a junction point: an edge and a multiple of the width.
double JunctionCoordinate(QStringView text, double low, double high, double w) {
  const double base = text.front() == u'L' || text.front() == u'T' ? low : high;
  return text.size() > 1 ? base + text.mid(1).toDouble() * w : base;
}

void DoubleLines(QPainter& painter, const BorderStroke& stroke, const QRectF& r) {
  const double w = stroke.width;
  QRectF back = r;
  if (stroke.junction == 0 || stroke.junction >= 38) {
    DrawSimpleLine(painter, stroke, nullptr, back);
    return;
  }
  const Junction& junction = kJunctions[stroke.junction];
  const QString grow = QString::fromLatin1(junction.grow);
  if (grow.contains(u'l')) back.setLeft(back.left() - 3 * w);
  if (grow.contains(u'r')) back.setRight(back.right() + 3 * w);
  if (grow.contains(u't')) back.setTop(back.top() - 3 * w);
  if (grow.contains(u'b')) back.setBottom(back.bottom() + 3 * w);
  // The first-row box reaches into the suppressed neighbours.
  double reachLeft = 0, reachRight = 0;
  if (stroke.rowOneBox) {
    const uint32_t code = stroke.junction;
    if ((code == 3 || code == 25) && stroke.suppressLeft) reachLeft = 3 * w;
    if ((code == 3 || code == 25 || code == 9 || code == 15) && stroke.suppressRight) reachRight = 3 * w;
    back.adjust(-reachLeft, 0, reachRight, 0);
  }
  QPainterPath path;
  const QString pieces = QString::fromLatin1(junction.pieces);
  for (QStringView piece : QStringView(pieces).split(u';')) {
    const bool rectangle = piece.startsWith(u'#');
    if (rectangle) piece = piece.mid(1);
    QPolygonF points;
    for (QStringView point : piece.split(u' ')) {
      const auto parts = point.split(u',');
      if (parts.size() != 2) continue;
      double px = JunctionCoordinate(parts[0], r.left(), r.right(), w);
      if (parts[0].front() == u'L') px -= reachLeft;
      else px += reachRight;
      points << QPointF(px, JunctionCoordinate(parts[1], r.top(), r.bottom(), w));
    }
    if (rectangle && points.size() == 2) path.addRect(QRectF(points[0], points[1]));
    else if (points.size() >= 2) path.addPolygon(points);
  }
  DrawSimpleLine(painter, stroke, &path, back);
}

QPainterPath Decorated(const BorderStroke& stroke, uint32_t sides, bool join, const QRectF& r, bool scallops) {
  const double t = stroke.thickness;
  const double x = r.x(), y = r.y(), width = r.width(), height = r.height();
  QPainterPath path;
  bool broken = true;
  auto pieces = [&](double length) { return std::max(1.0, std::trunc(length / t)); };
  struct Side {
    uint32_t bit;
    QPointF from, to, out;
  };
  const Side order[] = {
      {kBorderSideTop, {x, y}, {x + width, y}, {0, -1}},
      {kBorderSideRight, {x + width, y}, {x + width, y + height}, {1, 0}},
      {kBorderSideBottom, {x + width, y + height}, {x, y + height}, {0, 1}},
      {kBorderSideLeft, {x, y + height}, {x, y}, {-1, 0}},
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
        // Half circles from the piece's start round to its end, bulging away from the rectangle:
        // clockwise on the screen, whose y grows downwards.
        const double angle = side.bit == kBorderSideTop ? 180 : side.bit == kBorderSideRight ? 90
                             : side.bit == kBorderSideBottom ? 0 : 270;
        path.arcTo(circle, angle, -180);
      } else {
        path.lineTo(middle + side.out * t);
        path.lineTo(start + step);
      }
    }
  }
  if ((sides & 15) == 15 || join) path.closeSubpath();
  return path;
}

void DecoratedLines(QPainter& painter, BorderStroke stroke, uint32_t sides, const QRectF& r, bool scallops) {
  auto draw = [&](const BorderStroke& s, uint32_t mask, bool join) {
    const QPainterPath path = Decorated(s, mask, join, r, scallops);
    painter.save();
    if (((mask & 15) == 15 || join) && KolorIsColor(s.backColor)) painter.fillPath(path, ColorFromKolor(s.backColor));
    if (KolorIsColor(s.lineColor)) painter.strokePath(path, QPen(ColorFromKolor(s.lineColor), s.width));
    painter.restore();
  };
  if ((sides & 0xFFF) == 15) {
    draw(stroke, 15, false);
  } else if (!KolorIsColor(stroke.backColor)) {
    draw(stroke, sides, false);
  } else {
    BorderStroke fill = stroke;
    fill.lineColor = kNoKolor;
    draw(fill, sides, true);
    if (KolorIsColor(stroke.lineColor)) {
      BorderStroke line = stroke;
      line.backColor = kNoKolor;
      draw(line, sides, false);
    }
  }
}

void GradientBands(QPainter& painter, const BorderStroke& stroke, uint32_t sides, const QRectF& r) {
  FillIfColor(painter, stroke.backColor, r);
  const double t = stroke.thickness;
  const double x = r.x(), y = r.y(), width = r.width(), height = r.height();
  const bool left = Has(sides, kBorderSideLeft), right = Has(sides, kBorderSideRight);
  const bool top = Has(sides, kBorderSideTop), bottom = Has(sides, kBorderSideBottom);
  auto band = [&](const QPolygonF& shape, QPointF outer, QPointF inner) {
    QLinearGradient gradient(outer, inner);
    gradient.setColorAt(0, ColorFromKolor(stroke.lineColor));
    gradient.setColorAt(1, ColorFromKolor(stroke.innerColor));
    QPainterPath path;
    path.addPolygon(shape);
    path.closeSubpath();
    painter.fillPath(path, gradient);
  };
  if (top)
    band({{left ? x - t : x, y - t}, {right ? x + width + t : x + width, y - t}, {x + width, y}, {x, y}}, {x, y - t},
         {x, y});
  if (right && !stroke.suppressRight)
    band({{x + width + t, top ? y - t : y}, {x + width + t, bottom ? y + height + t : y + height},
          {x + width, y + height}, {x + width, y}},
         {x + width + t, y}, {x + width, y});
  if (bottom)
    band({{right ? x + width + t : x + width, y + height + t}, {left ? x - t : x, y + height + t}, {x, y + height},
          {x + width, y + height}},
         {x, y + height + t}, {x, y + height});
  if (left && !stroke.suppressLeft)
    band({{x - t, bottom ? y + height + t : y + height}, {x - t, top ? y - t : y}, {x, y}, {x, y + height}}, {x - t, y},
         {x, y});
}

}  // namespace

void DrawBorderCore(QPainter& painter, const BorderStroke& given, uint32_t sideMask, uint32_t offsetMask,
                    const QRectF& rect) {
  BorderStroke stroke = given;
  QRectF r(rect.toAlignedRect());
  const double offset = stroke.offset;
  if (Has(offsetMask, kBorderSideLeft)) r.setLeft(r.left() - offset);
  if (Has(offsetMask, kBorderSideRight)) r.setRight(r.right() + offset);
  if (Has(offsetMask, kBorderSideTop)) r.setTop(r.top() - offset);
  if (Has(offsetMask, kBorderSideBottom)) r.setBottom(r.bottom() + offset);
  stroke.width = std::max(stroke.width, 0.5f);
  if (stroke.thickness == 0) stroke.thickness = 1.0f;
  switch (stroke.style) {
    case 0: return;
    case 1: FillIfColor(painter, stroke.backColor, r); return;
    case 3: DoubleLines(painter, stroke, r); return;
    case 6: DecoratedLines(painter, stroke, sideMask, r, false); return;
    case 7: DecoratedLines(painter, stroke, sideMask, r, true); return;
    case 8: GradientBands(painter, stroke, sideMask, r); return;
    default: SingleLines(painter, stroke, sideMask, r); return;
  }
}
