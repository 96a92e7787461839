// The framework's editable gradient: colour stops with positions, drawn linearly at an angle or
// radially about a centre into any path. Numbers are integers in the fixed point where 12700
// stands for 1, so that gradients compare, hash and copy exactly.
#pragma once

#include "framlet/foundation/Kolor.h"

#include <QPainterPath>
#include <QPointF>

#include <cstdint>
#include <vector>

class QPainter;

// 12700 stands for 1 (as EMU per point): a whole position, a degree of angle, a whole centre.
inline constexpr int64_t kFLGradientUnit = 12700;

struct FLColorStop {
  int64_t position = 0;  // 0 at the start, 12700 at the end of the gradient
  Kolor kolor = g_blackKolor;
  uint32_t reserved = 0;  // keeps the record at 16 bytes, as archives of stops expect
  friend bool operator==(const FLColorStop&, const FLColorStop&) = default;
};
static_assert(sizeof(FLColorStop) == 16);

struct FLFixedPoint {
  int64_t x = 0;
  int64_t y = 0;
  friend bool operator==(const FLFixedPoint&, const FLFixedPoint&) = default;
};

class FLGradient {
 public:
  // Linear at 180 degrees, from opaque black at 0 to opaque white at 12700.
  FLGradient();

  bool isRadial() const { return radial_; }
  void setRadial(bool radial) { radial_ = radial; }
  int64_t linearAngle() const { return linearAngle_; }  // in 1/12700 of a degree
  void setLinearAngle(int64_t angle) { linearAngle_ = angle; }
  FLFixedPoint radialCenter() const { return radialCenter_; }  // relative to the path's bounds
  void setRadialCenter(FLFixedPoint center) { radialCenter_ = center; }
  const std::vector<FLColorStop>& stops() const { return stops_; }
  // Fewer than two stops are refused ("Bad color stop index"), so a gradient always has two.
  void setStops(const std::vector<FLColorStop>& stops);

  size_t stopCount() const { return stops_.size(); }
  // Index 1 to count - 1: a copy of the stop before, halfway between its neighbours.
  void insertStopAtIndex(size_t index);
  // Only inner stops (1 to count - 2) go; the first and the last stay.
  void removeStopAtIndex(size_t index);
  // No colour (0xFFFFFFFF) for a bad index.
  Kolor kolorAtStopIndex(size_t index) const;
  void setKolor(Kolor kolor, size_t index);
  // 0 for a bad index.
  int64_t positionOfStopIndex(size_t index) const;
  // Only inner stops move.
  void setPosition(int64_t position, size_t index);
  // Reverses the colours over the stops; every stop keeps its position.
  void flipColors();

  // Fills the path: linearly at linearAngle + 90 degrees (measured in the painter's user space
  // from +x toward +y), or radially. A radius of 0 draws about the relative centre across the
  // path's bounds; a radius above 0 draws from centre (in user space) out to that radius and
  // nothing beyond it. Shadowed paths are first filled with white, so that a shadow the caller
  // set falls from an opaque shape.
  void drawInBezier(QPainter& painter, const QPainterPath& path, bool shadowed,
                    QPointF center = QPointF(), double radius = 0) const;
  void drawInBezier(const QPainterPath& path, bool shadowed, QPointF center = QPointF(),
                    double radius = 0) const;

  // Takes the other's stops and radial flag, then its centre (radial) or its angle (linear);
  // the field of the other kind keeps its value.
  void copyFrom(const FLGradient& other);
  // Equal when the kinds agree, the centres (radial) or angles (linear) agree, and the stops are
  // equal in order; the field of the other kind does not count.
  bool isEqual(const FLGradient& other) const;
  bool operator==(const FLGradient& other) const { return isEqual(other); }
  uint64_t hash() const;

 private:
  bool radial_ = false;
  int64_t linearAngle_ = 2286000;
  FLFixedPoint radialCenter_;
  std::vector<FLColorStop> stops_;
};
