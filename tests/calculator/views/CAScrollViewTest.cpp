// The whole-row scroll view: what an extent does to the scroller, the knob that keeps its size
// while the extent changes by a tenth or less, the limits of scrolling, pages, the wheel, the
// scroller's own actions and the zoomed bounds of the cell view.
#include "calculator/views/CACellView.h"
#include "calculator/views/CAScrollView.h"
#include "support/LogCapture.h"
#include "ViewTestSupport.h"

#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class ScrollViewTest : public testing::Test, protected SizedSheet {
 protected:
  ScrollViewTest() { view.resize(500, 400); }
  int64_t row() const { return view.currentPosition().y; }
  QScrollBar* vertical() const { return view.verticalState().scroller; }

  CAScrollView view{&document};
};

TEST_F(ScrollViewTest, AnExtentNoLargerThanWhatFitsDisablesTheScroller) {
  const struct { int64_t position, max, visible; bool enabled; int64_t expectedPosition; } cases[] = {
      {5, 100, 10, true, 5},  {5, 10, 10, false, 0}, {5, 9, 12, false, 0},
      {0, 0, 0, false, 0},    {150, 100, 10, true, 100},
  };
  for (const auto& c : cases) {
    view.setScrollPosition(c.position, c.max, c.visible, true);
    EXPECT_EQ(vertical()->isEnabled(), c.enabled) << c.max << " " << c.visible;
    EXPECT_EQ(row(), c.expectedPosition) << c.max << " " << c.visible;
  }
}

TEST_F(ScrollViewTest, NegativeExtentsAreReportedAndTakenAsZero) {
  LogCapture log;
  view.setScrollPosition(-3, -10, 5, true);
  EXPECT_TRUE(log.assertMessages().contains(QStringLiteral("Negative scroll max")));
  EXPECT_EQ(view.verticalState().maxPosition, 0);
  EXPECT_EQ(row(), 0);
}

TEST(KnobProportion, KeepsItsSizeWhileTheExtentChangesByATenthOrLess) {
  CAScrollAxisState state;
  const struct { int64_t max, visible; float expected; } steps[] = {
      {100, 10, 0.1f},
      {105, 10, 0.1f},              // grown by 5 %: the knob stays
      {110, 10, 0.1f},              // by 10 %
      {111, 10, 10.0f / 111.0f},    // by more: computed afresh
      {120, 10, 10.0f / 111.0f},    // within 10 % of 111
      {60, 30, 0.5f},               // shrunk: afresh, and larger
      {62, 20, 0.5f},               // a smaller count does not shrink the knob
      {62, 62, 0.0f},               // everything fits: no knob
  };
  for (const auto& step : steps)
    EXPECT_FLOAT_EQ(KnobProportion(state, step.max, step.visible), step.expected) << step.max;
}

TEST_F(ScrollViewTest, TheScrollersKnobKeepsItsSizeAsTheExtentGrows) {
  view.setScrollPosition(0, 100, 10, true);
  const int page = vertical()->pageStep();
  view.setScrollPosition(0, 110, 10, true);
  EXPECT_EQ(vertical()->pageStep(), page);
  view.setScrollPosition(0, 200, 10, true);
  EXPECT_LT(vertical()->pageStep(), page);
}

TEST_F(ScrollViewTest, ScrollingStopsAtTheEndsAndIgnoresTheCurrentPosition) {
  view.setScrollPosition(0, 100, 10, true);
  QSignalSpy moved(&view, &CAScrollView::positionChanged);
  view.scrollToVertical(500, false, true);
  EXPECT_EQ(row(), 99);
  view.scrollToVertical(-5, false, true);
  view.scrollToVertical(0, false, true);
  EXPECT_EQ(moved.count(), 2);
  view.scrollToVertical(3, true, true);
  EXPECT_EQ(row(), 3);
}

TEST_F(ScrollViewTest, CommandsAndScrollerPartsMoveByLinesAndPages) {
  view.setScrollPosition(20, 100, 10, true);
  const struct {
    std::function<void()> action;
    int64_t expected;
  } steps[] = {
      {[&] { view.scrollLineDown(); }, 21}, {[&] { view.scrollLineUp(); }, 20}, {[&] { view.scrollPageDown(); }, 29},
      {[&] { view.scrollPageUp(); }, 20}, {[&] { view.handleScroll(vertical(), kScrollerIncrementPage); }, 29},
      {[&] { view.handleScroll(vertical(), kScrollerDecrementPage); }, 20},
      {[&] { view.handleScroll(vertical(), kScrollerIncrementLine); }, 21},
      {[&] { view.handleScroll(vertical(), 7); }, 21},  // not a part
      {[&] { view.scrollToEndOfDocument(); }, 90}, {[&] { view.scrollToBeginningOfDocument(); }, 0},
      {[&] { view.autoScroll(kAutoScrollToEnd, true); }, 99}, {[&] { view.autoScroll(kAutoScrollToStart, true); }, 0},
      {[&] { view.autoScroll(2, true); }, 1},
      {[&] { vertical()->triggerAction(QAbstractSlider::SliderSingleStepAdd); }, 2},
      {[&] { vertical()->triggerAction(QAbstractSlider::SliderPageStepAdd); }, 11},
      // A page with one row in sight moves one row.
      {[&] { view.setScrollPosition(0, 100, 1, true); }, 0},
      {[&] { view.handleScroll(vertical(), kScrollerIncrementPage); }, 1},
  };
  int n = 0;
  for (const auto& step : steps) {
    step.action();
    EXPECT_EQ(row(), step.expected) << "step " << n++;
  }
}

TEST_F(ScrollViewTest, TheKnobFollowsThePositionAndDraggingItScrolls) {
  view.setScrollPosition(0, 101, 10, true);
  view.scrollToVertical(50, false, true);
  EXPECT_EQ(vertical()->value(), vertical()->maximum() / 2);
  vertical()->setSliderPosition(vertical()->maximum() / 4);
  EXPECT_EQ(row(), 25);
}

TEST(PositionAtFraction, StaysOnTheAxisUpToItsLastItem) {
  constexpr int64_t far = INT64_MAX;
  const struct { int64_t max; double fraction; int64_t expected; } cases[] = {
      {100, 0.25, 25}, {100, 1.0, 100}, {100, -0.5, 0}, {100, 2.0, 100},
      {far, 1.0, far}, {far, 0.0, 0},   {0, 1.0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PositionAtFraction(c.max, c.fraction), c.expected) << c.max << " " << c.fraction;
  const int64_t nearTheEnd = PositionAtFraction(far, 0.9999999999);
  EXPECT_GT(nearTheEnd, far / 10 * 9);
  EXPECT_LT(nearTheEnd, far);
}

TEST_F(ScrollViewTest, TheKnobAtTheBottomOfAFarSheetShowsTheLastRow) {
  view.setScrollPosition(0, INT64_MAX, 10, true);
  vertical()->setSliderPosition(vertical()->maximum());
  EXPECT_EQ(row(), INT64_MAX - 1);
}

TEST_F(ScrollViewTest, TheWheelScrollsWholeRows) {
  view.setScrollPosition(10, 100, 10, true);
  view.scrollWheel(0, -1);  // 3 points forward: one row of 20
  EXPECT_EQ(row(), 11);
  view.scrollWheel(0, 14);  // 42 points back: three rows
  EXPECT_EQ(row(), 8);
  view.scrollWheel(0, 0.2);  // under a point: nothing
  EXPECT_EQ(row(), 8);
}

TEST_F(ScrollViewTest, ZoomTwoHalvesTheCellViewsBounds) {
  CACellView& cells = *view.cellView();
  const QSizeF size = cells.size();
  cells.setZoomValue(2.0);
  EXPECT_EQ(cells.visibleRect(), QRectF(QPointF(0, 0), size / 2));
  EXPECT_EQ(document.zoomValue(), 2.0);
}

TEST_F(ScrollViewTest, TheCellViewReportsTheSheetsExtent) {
  document.cellAtGridPointImperative({4, 300})->setFormula(QStringLiteral("1"));
  view.cellView()->setContentFrame();
  EXPECT_EQ(view.verticalState().maxPosition, 301);
  const double rows = view.cellView()->visibleRect().height() / kRowHeight;
  EXPECT_EQ(view.verticalState().visiblePortion, int64_t(rows));
  EXPECT_FALSE(view.horizontalState().scroller->isEnabled());
}


// A notch of the mouse wheel moves the lines the desktop asks for (three by default).
TEST_F(ScrollViewTest, AWheelNotchScrollsTheDesktopsLineCount) {
  view.setScrollPosition(10, 100, 10, true);
  const QPointF at(50, 50);
  QWheelEvent down(at, view.mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
  QApplication::sendEvent(&view, &down);
  EXPECT_EQ(row(), 10 + QApplication::wheelScrollLines());
}

}  // namespace
