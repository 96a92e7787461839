// What the property view asks of its owner: which levels exist, their panes and names, which
// start open and which may not close; and what it tells it. The optional questions have
// harmless answers here.
#pragma once

#include <QString>

#include <cstdint>

class FLPropertyView;
class FLViewController;
class QWidget;

class FLPropertyViewDelegate {
 public:
  virtual ~FLPropertyViewDelegate() = default;

  virtual int64_t numberOfLevelsInPropertyView(FLPropertyView* view) = 0;
  // The level's controller, whose view becomes the level's pane; the property view keeps it.
  virtual FLViewController* controllerForLevel(FLPropertyView* view, int64_t level) = 0;
  // The header's text; a null string takes the pane's tooltip instead.
  virtual QString nameForLevel(FLPropertyView* view, int64_t level) = 0;

  // Drawn when there are no levels; null: "No Selection".
  virtual QString emptyMessage() { return {}; }
  virtual bool shouldDrawTopLine(FLPropertyView*) { return true; }
  // Whether a level starts open at a reload.
  virtual bool shouldOpenLevel(FLPropertyView*, int64_t) { return true; }
  // False keeps the level open, without a triangle.
  virtual bool mayCloseLevel(FLPropertyView*, int64_t) { return true; }
  // The user opened or closed a level.
  virtual void didOpenLevel(FLPropertyView*, int64_t) {}
  virtual void didCloseLevel(FLPropertyView*, int64_t) {}
  // True lets the view look inside that child of a pane for scroll views to hide while the
  // pane animates.
  virtual bool mayCheckSubview(FLPropertyView*, QWidget*) { return false; }
  // The view entered a window (or left one: null).
  virtual void didMoveToWindow(FLPropertyView*, QWidget*) {}
};
