#include "framlet/shell/FLPropertyLayout.h"

#include <algorithm>
#include <cmath>

double FLPropertyLayout::visibleHeight(const std::vector<FLPropertyLevelState>& levels, int64_t index,
                                       const FLPropertyAnimationState& animation) {
  const FLPropertyLevelState& level = levels[size_t(index)];
  if (index == animation.level && animation.position >= 0) return std::floor(level.height * animation.position);
  return level.opened ? level.height : 0;
}

std::vector<QRectF> FLPropertyLayout::paneFrames(const std::vector<FLPropertyLevelState>& levels, double x, double top,
                                                 double width, const FLPropertyAnimationState& animation) {
  std::vector<QRectF> frames;
  frames.reserve(levels.size());
  double y = top;
  for (size_t i = 0; i < levels.size(); ++i) {
    y += kFLPropertyHeaderHeight;
    const double height = visibleHeight(levels, int64_t(i), animation);
    frames.emplace_back(x, y, width, height);
    y += height;
  }
  return frames;
}

std::vector<QRectF> FLPropertyLayout::headerRects(const std::vector<FLPropertyLevelState>& levels, const QRectF& bounds,
                                                  const FLPropertyAnimationState& animation) {
  std::vector<QRectF> rects;
  rects.reserve(levels.size());
  double y = bounds.top();
  for (size_t i = 0; i < levels.size(); ++i) {
    rects.emplace_back(bounds.left(), y, bounds.width(), kFLPropertyHeaderHeight);
    y += kFLPropertyHeaderHeight + visibleHeight(levels, int64_t(i), animation);
  }
  return rects;
}

double FLPropertyLayout::stackHeight(const std::vector<FLPropertyLevelState>& levels) {
  double height = kFLPropertyBottomMargin;
  for (const FLPropertyLevelState& level : levels) height += kFLPropertyHeaderHeight + (level.opened ? level.height : 0);
  return height;
}

int64_t FLPropertyLayout::levelForPoint(const std::vector<FLPropertyLevelState>& levels, const QRectF& bounds,
                                        const QPointF& point, QRectF* headerRect) {
  // Half-open rectangles: a point on the line between two headers belongs to the lower one.
  QRectF rect(bounds.left(), bounds.top(), bounds.width(), kFLPropertyHeaderHeight);
  for (size_t i = 0; i < levels.size(); ++i) {
    if (point.x() >= rect.left() && point.x() < rect.right() && point.y() >= rect.top() && point.y() < rect.bottom()) {
      if (headerRect) *headerRect = rect;
      return levels[i].stayOpen ? -1 : int64_t(i);
    }
    rect.translate(0, kFLPropertyHeaderHeight + (levels[i].opened ? levels[i].height : 0));
  }
  return -1;
}

double FLPropertyLayout::animationDuration(double height, bool slowed) {
  const double seconds = std::min(height, 400.0) * 0.2 / 240;
  return slowed ? seconds * 10 : seconds;
}
