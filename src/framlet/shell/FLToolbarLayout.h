// Where the toolbar's tools go: cell and label widths in each display mode, the left-to-right
// layout with flexible spaces that centre or right-align the groups after them, and the overflow
// chevron. Works on the tool records alone, so it runs without a widget.
#pragma once

#include "framlet/shell/FLToolbarTool.h"
#include "framlet/foundation/FLArray.h"

#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <vector>

struct FLToolbarLayoutState {
  int displayMode = 1;
  double layoutWidth = 0;
  bool customizing = false;
  bool preferences = false;
  // The window can zoom and is not zoomed: only then is the chevron shown.
  bool canZoom = true;
  // The chevron's size; empty when there is no chevron to show.
  QSizeF chevronSize{32, 32};
};

inline constexpr int64_t kFLToolNotFound = int64_t(FLNotFound);

class FLToolbarLayout {
 public:
  FLToolbarLayout(std::vector<FLToolbarTool>& tools, const FLToolbarLayoutState& state)
      : tools_(tools), state_(state) {}

  const FLToolbarLayoutState& state() const { return state_; }
  void setState(const FLToolbarLayoutState& state) { state_ = state; }

  // The width of the label the tool shows (for the palette or in the bar); 32 without one.
  double labelWidth(const FLToolbarTool& tool, bool forPalette, bool* hasLabel = nullptr) const;
  // The width of the tool's cell, and optionally of its label.
  double widthOfTool(const FLToolbarTool& tool, bool forPalette, double* labelWidth = nullptr) const;
  // Lays out every tool; noFlex lays flexible spaces out as plain cells.
  void layout(bool noFlex = false);
  // Width of the flexible space at `index` whose cell starts at x; counts it in flexCount.
  double widthOfFlex(size_t index, double x, int64_t& flexCount) const;

  // The first tool not shown (kFLToolNotFound when all fit) and the chevron's frame (x 0: none).
  int64_t overflowIndex() const { return overflowIndex_; }
  QRectF overflowRect() const { return overflowRect_; }
  // Tools before overflowIndex.
  size_t visibleCount() const;
  // Index of the enabled, clickable tool under a point, or kFLToolNotFound.
  int64_t toolIndexAtPoint(QPointF point, double labelHeight) const;
  // The column of one tool that a redraw must cover.
  QRectF toolColumn(size_t index, double toolbarHeight) const;

 private:
  double spacing() const;
  double top() const;
  // A cell as wide as its label, which takes wider gaps around it.
  bool isWide(double width, double labelWidth) const;
  void addOverflowTool(size_t index, double x);

  std::vector<FLToolbarTool>& tools_;
  FLToolbarLayoutState state_;
  int64_t overflowIndex_ = kFLToolNotFound;
  QRectF overflowRect_;
};
