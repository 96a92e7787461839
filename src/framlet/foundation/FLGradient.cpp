#include "framlet/foundation/FLGradient.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDrawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr const char* kBadStopIndex = "Bad color stop index";

void ReportBadIndex(const char* function) { LogAssert(kBadStopIndex, function, __FILE__, __LINE__); }

QGradientStops QtStops(const std::vector<FLColorStop>& stops) {
  QGradientStops result;
  result.reserve(qsizetype(stops.size()));
  double previous = 0;
  for (const FLColorStop& stop : stops) {
    // Qt wants positions from 0 to 1 in order; a stop moved past its neighbour stays with it.
    double location = std::clamp(double(stop.position) / double(kFLGradientUnit), 0.0, 1.0);
    location = std::max(location, previous);
    previous = location;
    result.append({location, ColorFromKolor(stop.kolor)});
  }
  return result;
}

}  // namespace

FLGradient::FLGradient() : stops_{{0, 0x64000000}, {kFLGradientUnit, 0x64FFFFFF}} {}

void FLGradient::setStops(const std::vector<FLColorStop>& stops) {
  if (stops.size() < 2) {
    ReportBadIndex(__func__);
    return;
  }
  stops_ = stops;
}

void FLGradient::insertStopAtIndex(size_t index) {
  if (index < 1 || index >= stops_.size()) {
    ReportBadIndex(__func__);
    return;
  }
  FLColorStop stop = stops_[index - 1];
  stop.position = (stops_[index - 1].position + stops_[index].position) / 2;
  stops_.insert(stops_.begin() + std::ptrdiff_t(index), stop);
}

void FLGradient::removeStopAtIndex(size_t index) {
  if (index < 1 || index + 1 >= stops_.size()) {
    ReportBadIndex(__func__);
    return;
  }
  stops_.erase(stops_.begin() + std::ptrdiff_t(index));
}

Kolor FLGradient::kolorAtStopIndex(size_t index) const {
  if (index >= stops_.size()) {
    ReportBadIndex(__func__);
    return kNoKolor;
  }
  return stops_[index].kolor;
}

void FLGradient::setKolor(Kolor kolor, size_t index) {
  if (index >= stops_.size()) {
    ReportBadIndex(__func__);
    return;
  }
  stops_[index].kolor = kolor;
}

int64_t FLGradient::positionOfStopIndex(size_t index) const {
  if (index >= stops_.size()) {
    ReportBadIndex(__func__);
    return 0;
  }
  return stops_[index].position;
}

void FLGradient::setPosition(int64_t position, size_t index) {
  if (index < 1 || index + 1 >= stops_.size()) {
    ReportBadIndex(__func__);
    return;
  }
  stops_[index].position = position;
}

void FLGradient::flipColors() {
  for (size_t low = 0, high = stops_.size() - 1; low < high; ++low, --high)
    std::swap(stops_[low].kolor, stops_[high].kolor);
}

void FLGradient::drawInBezier(QPainter& painter, const QPainterPath& path, bool shadowed,
                              QPointF center, double radius) const {
  if (path.isEmpty()) return;
  if (shadowed) painter.fillPath(path, Qt::white);
  const QGradientStops stops = QtStops(stops_);
  const QRectF bounds = path.boundingRect();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  if (radial_ && radius <= 0) {
    // The start circle (radius 0) sits at the relative centre, the end circle at the middle of
    // the bounds, large enough to reach its corners; y of the stored centre is turned over.
    const double rx = double(radialCenter_.x) / double(kFLGradientUnit);
    const double ry = double(radialCenter_.y) / -double(kFLGradientUnit);
    const QPointF middle = bounds.center();
    const QPointF focal(middle.x() + rx * bounds.width() / 2, middle.y() + ry * bounds.height() / 2);
    const double reach = std::hypot(bounds.width() / 2, bounds.height() / 2);
    QRadialGradient gradient(middle, reach, focal);
    gradient.setStops(stops);
    painter.fillPath(path, gradient);
  } else if (radial_) {
    // From the centre out to the radius, and nothing beyond it.
    QRadialGradient gradient(center, radius);
    gradient.setStops(stops);
    painter.setClipPath(path, Qt::IntersectClip);
    QPainterPath disc;
    disc.addEllipse(center, radius, radius);
    painter.fillPath(disc, gradient);
  } else {
    double angle = double(linearAngle_) / double(kFLGradientUnit) + 90;
    if (angle >= 360)
      angle -= 360;
    else if (angle < 0)
      angle += 360;
    // The axis runs through the middle of the bounds, long enough for the bounds' projection.
    const double radians = angle * std::numbers::pi / 180;
    const QPointF direction(std::cos(radians), std::sin(radians));
    const double length = std::abs(bounds.width() * direction.x()) + std::abs(bounds.height() * direction.y());
    const QPointF middle = bounds.center();
    QLinearGradient gradient(middle - direction * (length / 2), middle + direction * (length / 2));
    gradient.setStops(stops);
    painter.fillPath(path, gradient);
  }
  painter.restore();
}

void FLGradient::drawInBezier(const QPainterPath& path, bool shadowed, QPointF center,
                              double radius) const {
  if (QPainter* painter = CurrentQuartzContext()) drawInBezier(*painter, path, shadowed, center, radius);
}

void FLGradient::copyFrom(const FLGradient& other) {
  stops_ = other.stops_;
  radial_ = other.radial_;
  if (radial_)
    radialCenter_ = other.radialCenter_;
  else
    linearAngle_ = other.linearAngle_;
}

bool FLGradient::isEqual(const FLGradient& other) const {
  if (radial_ != other.radial_) return false;
  if (radial_ ? radialCenter_ != other.radialCenter_ : linearAngle_ != other.linearAngle_) return false;
  return stops_ == other.stops_;
}

uint64_t FLGradient::hash() const {
  uint64_t h = stops_.size() + (radial_ ? 32768 : 0);
  if (radial_)
    h = (h | uint64_t(radialCenter_.x)) ^ uint64_t(radialCenter_.y);
  else
    h |= uint64_t(linearAngle_);
  for (const FLColorStop& stop : stops_) h = h ^ stop.kolor ^ uint64_t(stop.position);
  return h;
}
