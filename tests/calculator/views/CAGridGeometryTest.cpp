// The geometry of the cell grid without a display: rectangles relative to the scroll position
// with the title row and column pinned, points back to cells, wheel steps, what fits, and the
// cached row starts on a long sheet of varied heights checked against the document's own sizes.
#include "calculator/views/CAGridGeometry.h"
#include "support/LogCapture.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace {

class GridGeometryTest : public testing::Test, protected SizedSheet {
 protected:
  GridGeometryTest() {
    // Column 1 is 90 wide, row 1 is 30 high, row 0 is 25 high; all others 60 and 20.
    setColumnWidth(1, 90);
    setRowHeight(0, 25);
    setRowHeight(1, 30);
    geometry.setVisibleSize(QSizeF(400, 300));
  }
  CAGridGeometry geometry{&document};
};

GridRange Range(int64_t x1, int64_t y1, int64_t x2, int64_t y2) { return GridRange{{x1, y1}, {x2, y2}}; }

TEST_F(GridGeometryTest, AtTheOriginRectForRangeIsTheAbsoluteRectangle) {
  const struct { GridRange range; QRectF expected; } cases[] = {
      {Range(0, 0, 0, 0), QRectF(0, 0, 60, 25)}, {Range(1, 1, 1, 1), QRectF(60, 25, 90, 30)},
      {Range(2, 2, 3, 4), QRectF(150, 55, 120, 60)}, {Range(0, 0, 2, 1), QRectF(0, 0, 210, 55)},
      {Range(10, 1000, 10, 1000), QRectF(150 + 8 * 60, 55 + 998 * 20, 60, 20)},
      // Whole columns span the visible height, whole rows the visible width.
      {Range(1, kGridWildcard, 2, kGridWildcard), QRectF(60, 0, 150, 300)},
      {Range(kGridWildcard, 1, kGridWildcard, 2), QRectF(0, 25, 400, 50)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(geometry.rectForRange(c.range), c.expected) << c.range.startPoint.x << "," << c.range.startPoint.y;
    EXPECT_EQ(geometry.absoluteRectForRange(c.range), c.expected);
  }
}

TEST_F(GridGeometryTest, ScrolledRectanglesAreRelativeToTheOriginCell) {
  geometry.setOrigin(GridPoint{2, 3});
  EXPECT_EQ(geometry.rectForGridPoint({3, 4}), QRectF(60, 20, 60, 20));
  // Cells before the origin lie at negative coordinates.
  EXPECT_EQ(geometry.rectForGridPoint({1, 1}), QRectF(-90, -50, 90, 30));
  EXPECT_EQ(geometry.gridPointAtPoint({61, 21}), (GridPoint{3, 4}));
  EXPECT_EQ(geometry.gridPointAtPoint({-5, -5}), (GridPoint{2, 3}));
}

TEST_F(GridGeometryTest, TheTitleRowStaysAtTheTopWhenScrolled) {
  document.setTitleRow(true);
  geometry.setOrigin(GridPoint{0, 10});
  EXPECT_EQ(geometry.rectForGridPoint({0, 0}), QRectF(0, 0, 60, 25));
  EXPECT_EQ(geometry.rectForGridPoint({0, 11}), QRectF(0, 45, 60, 20));
  for (int64_t y = 1; y < 10; ++y) EXPECT_LT(geometry.rectForGridPoint({0, y}).y(), 0) << y;
  EXPECT_EQ(geometry.gridPointAtPoint({5, 24.5}), (GridPoint{0, 0}));
  EXPECT_EQ(geometry.gridPointAtPoint({5, 25}), (GridPoint{0, 10}));
  EXPECT_EQ(geometry.gridPointAtPoint({5, 46}), (GridPoint{0, 11}));
}

TEST_F(GridGeometryTest, TheTitleColumnStaysAtTheLeftWhenScrolled) {
  document.setTitleColumn(true);
  geometry.setOrigin(GridPoint{5, 0});
  EXPECT_EQ(geometry.rectForGridPoint({0, 0}), QRectF(0, 0, 60, 25));
  EXPECT_EQ(geometry.rectForGridPoint({5, 0}), QRectF(60, 0, 60, 25));
  EXPECT_EQ(geometry.gridPointAtPoint({59, 1}), (GridPoint{0, 0}));
  EXPECT_EQ(geometry.gridPointAtPoint({121, 1}), (GridPoint{6, 0}));
}

TEST_F(GridGeometryTest, PointsMapBackToTheirCells) {
  const struct { QPointF point; GridPoint expected; } cases[] = {
      {{0, 0}, {0, 0}},       {{59.9, 24.9}, {0, 0}}, {{60, 25}, {1, 1}},     {{149.9, 54.9}, {1, 1}},
      {{150, 55}, {2, 2}},    {{210, 75}, {3, 3}},    {{-10, -10}, {0, 0}},   {{150 + 60 * 100.5, 55 + 20 * 5000.5}, {102, 5002}},
  };
  for (const auto& c : cases) EXPECT_EQ(geometry.gridPointAtPoint(c.point), c.expected) << c.point.x() << "," << c.point.y();
}

TEST_F(GridGeometryTest, AReversedRangeIsReportedAndMeasuredAsItStands) {
  LogCapture log;
  const QRectF rect = geometry.absoluteRectForRange(Range(3, 3, 2, 2));
  EXPECT_TRUE(log.assertMessages().contains(QStringLiteral("Bad range")));
  EXPECT_EQ(rect.x(), 210);
  EXPECT_EQ(rect.width(), 0);
}

TEST_F(GridGeometryTest, WheelDeltasBecomeWholeRows) {
  geometry.setOrigin(GridPoint{0, 5});
  const struct { double delta; bool vertical; int64_t expected; } cases[] = {
      {0.5, true, 0},   {-0.5, true, 0},  {1, true, 1},      {19, true, 1},     {20, true, 2},
      {-3, true, -1},   {-45, true, -3},  {1000, true, 15},  {-1000, true, -5}, {70, false, 2},
      {-70, false, 0},  // column 0 is the first: nothing lies before it
  };
  for (const auto& c : cases) EXPECT_EQ(geometry.cellCountForDelta(c.delta, c.vertical), c.expected) << c.delta;
}

TEST_F(GridGeometryTest, ZoomDoesNotChangeTheUnzoomedGeometryButScalesTheFrame) {
  document.cellAtGridPointImperative({3, 9})->setFormula(QStringLiteral("x"));
  const CAContentFrame plain = geometry.contentFrame(1.0, QSizeF(400, 300), true);
  const CAContentFrame zoomed = geometry.contentFrame(2.0, QSizeF(400, 300), true);
  EXPECT_EQ(zoomed.size, QSizeF(800, 600));
  EXPECT_EQ(plain.rows.max, 10);
  // 300 points hold row 0 (25), row 1 (30) and 12 rows of 20 (240): the extent's 10 rows.
  EXPECT_EQ(plain.rows.visible, 10);
  EXPECT_EQ(plain.columns.visible, 4);
}

TEST_F(GridGeometryTest, VisibleCountsStopAtTheFirstPartlyShownRow) {
  document.cellAtGridPointImperative({40, 400})->setFormula(QStringLiteral("x"));
  geometry.setOrigin(GridPoint{0, 2});
  const CAContentFrame frame = geometry.contentFrame(1.0, QSizeF(400, 300), false);
  EXPECT_EQ(frame.rows.visible, 15);  // 300 / 20
  // 60 + 90 + 60 × 4 = 390: the sixth column passes 400.
  EXPECT_EQ(frame.columns.visible, 6);
}

TEST_F(GridGeometryTest, ASelectionTooLargeForTheViewCentresTheActiveCell) {
  document.setSelectionRange(Range(2, 100, 3, 200));
  document.setActiveCellPoint(GridPoint{2, 150});
  const std::optional<GridPoint> point = geometry.scrollPointToShowSelection();
  ASSERT_TRUE(point.has_value());
  // 300 points less the active row's 20 leave 140 each side: going up from row 149, row 142
  // is the first whose height passes 140.
  EXPECT_EQ(point->y, 142);
  EXPECT_EQ(point->x, 0);  // columns 2 and 3 are in sight already
}

TEST_F(GridGeometryTest, ARangeInSightNeedsNoScrolling) {
  bool fits = false;
  EXPECT_FALSE(geometry.scrollPointToShow(Range(1, 1, 2, 3), &fits).has_value());
  EXPECT_TRUE(fits);
  const std::optional<GridPoint> point = geometry.scrollPointToShow(Range(20, 2, 20, 2), &fits);
  ASSERT_TRUE(point.has_value());
  EXPECT_EQ(point->y, 0);
  // 400 - 60 leaves 170 each side: columns 19 to 17 are the first to pass it (180).
  EXPECT_EQ(point->x, 17);
}

// 100,000 rows of varied heights, some rows absent: every row start is the sum of the heights
// the document gives the rows before it, and each start maps back to its row.
TEST(GridGeometryLongSheet, RowStartsMatchTheDocumentsHeights) {
  SizedSheet sheet;
  std::mt19937 random(23);
  std::uniform_int_distribution<int> height(20, 80);
  constexpr int64_t kRows = 100000;
  for (int64_t y = 0; y < kRows; ++y)
    if (y % 7 != 3) sheet.setRowHeight(y, height(random) + 0.5 * (y % 2));
  CAGridGeometry geometry(&sheet.document);
  double top = 0;
  for (int64_t y = 0; y <= kRows + 5; ++y) {
    ASSERT_DOUBLE_EQ(geometry.rowTop(y), top) << y;
    const double rowHeight = sheet.document.heightOfRow(y);
    ASSERT_EQ(geometry.rowAtOffset(top), y) << y;
    ASSERT_EQ(geometry.rowAtOffset(top + rowHeight / 2), y) << y;
    top += rowHeight;
  }
}

TEST(GridGeometryLongSheet, ResizedRowsAreMeasuredAgainAfterInvalidation) {
  SizedSheet sheet;
  sheet.setRowHeight(5, 40);
  CAGridGeometry geometry(&sheet.document);
  EXPECT_EQ(geometry.rowTop(10), 9 * 20 + 40);
  sheet.setRowHeight(5, 60);
  geometry.invalidate();
  EXPECT_EQ(geometry.rowTop(10), 9 * 20 + 60);
  // A new row is noticed without being told.
  sheet.setRowHeight(7, 30);
  EXPECT_EQ(geometry.rowTop(10), 8 * 20 + 60 + 30);
}


TEST(GridGeometryLongSheet, ARedrawnRowWhoseHeightChangedIsMeasuredAgain) {
  SizedSheet sheet;
  for (int64_t y = 0; y < 1000; ++y) sheet.setRowHeight(y, 20);
  CAGridGeometry geometry(&sheet.document);
  EXPECT_EQ(geometry.rowTop(900), 900 * 20);
  sheet.setRowHeight(500, 50);  // as a picture entered in the row would
  geometry.rowsMayHaveChanged(499, 501);
  EXPECT_EQ(geometry.rowTop(900), 900 * 20 + 30);
  sheet.setRowHeight(10, 40);
  geometry.rowsMayHaveChanged(0, 999);  // too many to look at: measured again anyway
  EXPECT_EQ(geometry.rowTop(900), 900 * 20 + 30 + 20);
}

}  // namespace

namespace {

TEST_F(GridGeometryTest, TheLastScrollStartKeepsTheGridsLastRowAndColumnAtTheViewsEnd) {
  // 300 points hold 15 rows of 20, 400 points 6 columns of 60 (and a sixth started).
  EXPECT_EQ(geometry.lastScrollStart(true), kLastGridRow - 14);
  EXPECT_EQ(geometry.lastScrollStart(false), LastGridColumn() - 5);
  const struct { GridPoint stored; GridPoint kept; } cases[] = {
      {{0, 0}, {0, 0}},
      {{3, 500}, {3, 500}},
      {{3, kLastGridRow}, {3, kLastGridRow - 14}},
      {{LastGridColumn(), 7}, {LastGridColumn() - 5, 7}},
      {{kLastGridRow, kLastGridRow - 14}, {LastGridColumn() - 5, kLastGridRow - 14}},
  };
  for (const auto& c : cases) EXPECT_EQ(geometry.clampedScrollPoint(c.stored), c.kept);
  // A view too small for one row still shows the last row.
  geometry.setVisibleSize(QSizeF(10, 10));
  EXPECT_EQ(geometry.lastScrollStart(true), kLastGridRow);
}

TEST_F(GridGeometryTest, WheelStepsStopAtTheGridsLastRow) {
  geometry.setOrigin(GridPoint{0, kLastGridRow - 2});
  EXPECT_EQ(geometry.cellCountForDelta(1000, true), 3);
  geometry.setOrigin(GridPoint{0, kLastGridRow});
  EXPECT_EQ(geometry.cellCountForDelta(1000, true), 1);
}

}  // namespace

namespace {

TEST_F(GridGeometryTest, FarDownTheSheetRectanglesAndPointsAreExactFromTheScrollPosition) {
  // Starts billions of billions of points down: measured from the scroll row, not from row 0.
  setRowHeight(kLastGridRow - 5, 40);
  geometry.invalidate();
  geometry.setOrigin(GridPoint{2, kLastGridRow - 10});
  const struct { GridPoint point; QRectF rect; } cases[] = {
      {{2, kLastGridRow - 10}, QRectF(0, 0, 60, 20)},
      {{3, kLastGridRow - 6}, QRectF(60, 80, 60, 20)},
      {{2, kLastGridRow - 5}, QRectF(0, 100, 60, 40)},
      {{2, kLastGridRow - 4}, QRectF(0, 140, 60, 20)},
      {{4, kLastGridRow}, QRectF(120, 220, 60, 20)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(geometry.rectForGridPoint(c.point), c.rect) << c.point.y;
    EXPECT_EQ(geometry.gridPointAtPoint(c.rect.center()), c.point) << c.point.y;
  }
  EXPECT_EQ(geometry.rectForRange(GridRange{{2, kLastGridRow - 6}, {2, kLastGridRow - 4}}), QRectF(0, 80, 60, 80));
  // Rows above the scroll position lie above the view.
  EXPECT_EQ(geometry.rectForGridPoint(GridPoint{2, kLastGridRow - 12}), QRectF(0, -40, 60, 20));
}

}  // namespace
