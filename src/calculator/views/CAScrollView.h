// Scrolls the cell grid by whole rows and columns: per axis the index of the first row
// (column) shown, the extent and the count that fits, kept with a scroller whose knob keeps its
// size while the extent changes by no more than a tenth. Scroller clicks, the wheel and the
// scrolling commands become new positions; the cell view draws from them.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QWidget>

#include <cstdint>

class CACellView;
class CADocument;
class QScrollBar;

// One axis of the scroll view.
struct CAScrollAxisState {
  QScrollBar* scroller = nullptr;
  int64_t currentPosition = 0;  // the first column (row) shown
  int64_t maxPosition = 0;      // columns (rows) that can be scrolled through
  int64_t visiblePortion = 0;   // whole columns (rows) that fit
  double knobFraction = 0;      // the knob proportion last set
  double maxForKnob = 0;        // the maximum when the proportion was last computed afresh
};

// The scroller parts of a click or a command.
enum : int32_t {
  kScrollerDecrementPage = 1,
  kScrollerKnob = 2,
  kScrollerIncrementPage = 3,
  kScrollerDecrementLine = 4,
  kScrollerIncrementLine = 5,
  kScrollerKnobSlot = 6,
};

// Codes of autoScroll.
enum : int32_t {
  kAutoScrollForward = 0,      // also 2
  kAutoScrollBack = 1,         // also 3
  kAutoScrollPageForward = 4,
  kAutoScrollPageBack = 5,
  kAutoScrollToEnd = 6,
  kAutoScrollToStart = 7,
};

// The proportion of a knob at extent max with visible whole items, carried over from the
// state's last one while the extent stays within 10 % of the extent it was computed for;
// updates the state. 0 when nothing can be scrolled.
float KnobProportion(CAScrollAxisState& state, int64_t max, int64_t visible);

// The position a knob at fraction (0 to 1) of its slot stands for on an axis of maxPosition
// items, within 0 ... maxPosition whatever the fraction.
int64_t PositionAtFraction(int64_t maxPosition, double fraction);

class CAScrollView : public QWidget {
  Q_OBJECT

 public:
  // The scroll view with its cell view, showing the document (not owned; it must outlive the
  // view or be cleared with the cell view's shutDown).
  explicit CAScrollView(CADocument* document, QWidget* parent = nullptr);
  ~CAScrollView() override;

  CACellView* cellView() const { return cellView_; }
  CADocument* document() const { return document_; }
  const CAScrollAxisState& horizontalState() const { return horizontal_; }
  const CAScrollAxisState& verticalState() const { return vertical_; }

  GridPoint currentPosition() const { return GridPoint{horizontal_.currentPosition, vertical_.currentPosition}; }
  // After each layout of the cell view: the position, the extent and the count that fits.
  void setScrollPosition(int64_t position, int64_t max, int64_t visible, bool vertical);
  void resetKnobs();
  void scrollToPoint(const GridPoint& point);
  void scrollToHorizontal(int64_t index, bool relative, bool redraw);
  void scrollToVertical(int64_t index, bool relative, bool redraw);
  void autoScroll(int32_t code, bool vertical);
  // A click or command on a scroller part (1-6).
  void handleScroll(QScrollBar* scroller, int32_t part);

  // Vertical scrolling commands.
  void scrollLineDown();
  void scrollLineUp();
  void scrollPageDown();
  void scrollPageUp();
  void scrollToBeginningOfDocument();
  void scrollToEndOfDocument();

  QRect cornerRect() const;
  // The wheel in points (a notch of a mouse wheel is one), forward positive as the wheel's
  // own deltas come: scrolling towards higher rows takes a negative delta.
  void scrollWheel(double dx, double dy);

 signals:
  // The position changed: views that follow it (labels) redraw.
  void positionChanged();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void layoutView();
  void scroll(CAScrollAxisState& state, int64_t position, bool redraw = true);
  void positionKnob(CAScrollAxisState& state, double fraction);
  void scrollerAction(QScrollBar* scroller, int action);
  void redrawCornerRect();

  CADocument* document_;
  CACellView* cellView_ = nullptr;
  CAScrollAxisState horizontal_;
  CAScrollAxisState vertical_;
};
