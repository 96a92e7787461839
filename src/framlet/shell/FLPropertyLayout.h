// Where the property view's levels lie: a 20-point header per level, the level's pane right
// under it while it is open (or, while it animates, the part of the pane the animation has
// reached), and 4 points below the last level. Widget-free, so it is measured without a display.
#pragma once

#include <QPointF>
#include <QRectF>

#include <cstdint>
#include <vector>

inline constexpr double kFLPropertyHeaderHeight = 20;
inline constexpr double kFLPropertyBottomMargin = 4;

struct FLPropertyLevelState {
  double height = 0;      // the pane's open height
  bool opened = false;
  bool stayOpen = false;  // may not be closed: no triangle, clicks ignored
};

// The one level being opened or closed, and how far: 0 closed ... 1 open.
struct FLPropertyAnimationState {
  int64_t level = -1;
  double position = -1;
};

class FLPropertyLayout {
 public:
  // The height a level's pane shows: the animated level floor(height x position), another open
  // level its height, a closed one nothing.
  static double visibleHeight(const std::vector<FLPropertyLevelState>& levels, int64_t index,
                              const FLPropertyAnimationState& animation = {});
  // The panes' frames, stacked from `top` in a column at x of that width.
  static std::vector<QRectF> paneFrames(const std::vector<FLPropertyLevelState>& levels, double x, double top,
                                        double width, const FLPropertyAnimationState& animation = {});
  // The headers' rectangles, stacked the same way.
  static std::vector<QRectF> headerRects(const std::vector<FLPropertyLevelState>& levels, const QRectF& bounds,
                                         const FLPropertyAnimationState& animation = {});
  // Headers, open heights and the bottom margin.
  static double stackHeight(const std::vector<FLPropertyLevelState>& levels);
  // The level whose header holds the point (its header's rectangle in `headerRect`), or -1 when
  // none does or that level may not be closed.
  static int64_t levelForPoint(const std::vector<FLPropertyLevelState>& levels, const QRectF& bounds,
                               const QPointF& point, QRectF* headerRect = nullptr);
  // The last open level reaches the bottom of a view of that height, less the margin.
  static double stretchedHeight(double viewHeight, double paneTop) {
    return viewHeight - paneTop - kFLPropertyBottomMargin;
  }
  // Seconds a level of that height takes to open or close: 0.2 s per 240 points, at most
  // 400 points' worth; ten times as long when slowed (Shift held).
  static double animationDuration(double height, bool slowed);
};
