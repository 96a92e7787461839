// The label strips' extent, worked out by hand from the digit width, line height and zoom.
#include "calculator/views/caSheetLabels.h"

#include <gtest/gtest.h>

namespace {

TEST(LabelExtent, EightDigitsAndOneLineGrowingWithTheZoom) {
  const struct { double digitWidth; double lineHeight; double zoom; double width; double height; } cases[] = {
      {7.0, 15.0, 1.0, 63.0, 20.0},    // 56 + 6 + 1, 15 + 4 + 1
      {7.2, 15.5, 1.0, 65.0, 20.5},    // 57.6 rounds up; the line height is kept
      {7.2, 15.5, 2.0, 127.0, 36.0},   // 14.4 -> 15 and 31 before the sums
      {7.2, 15.5, 0.5, 65.0, 20.5},    // below 100 % the labels keep their size
      {6.6, 14.2, 1.5, 87.0, 27.0},    // 9.9 -> 10, 21.3 -> 22
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zoom);
    const QSizeF extent = LabelExtent(c.digitWidth, c.lineHeight, c.zoom);
    EXPECT_DOUBLE_EQ(extent.width(), c.width);
    EXPECT_DOUBLE_EQ(extent.height(), c.height);
  }
}

}  // namespace

// ---- The mouse on the strips, with rows of 20 points and columns of 60 (column B 40) ---------

#include "calculator/views/CAGridGeometry.h"
#include "ViewTestSupport.h"

namespace {

TEST(LabelRules, EdgesAreGrabbedFromThreePointsBeforeToJustUnderThreeAfter) {
  SizedSheet sheet;
  sheet.setColumnWidth(1, 40);
  CAGridGeometry geometry(&sheet.document);
  // Columns from x = 50 at zoom 1: A ends at 110, B at 150, C at 210.
  const std::vector<CALabelSpan> spans = ShownLabelSpans(geometry, false, 50, 1.0, 400);
  const struct {
    double x;
    int64_t column;  // -1: no edge
  } cases[] = {{107.0, 0}, {112.9, 0}, {113.0, -1}, {146.9, -1}, {147.0, 1}, {152.9, 1}, {210.0, 2}, {80.0, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.x);
    const CALabelSpan* span = LabelEdgeAt(spans, c.x, false);
    EXPECT_EQ(span ? span->index : -1, c.column);
  }
  // Scrolled to column 5 with a title column: A comes first and keeps its edge to itself.
  sheet.document.setTitleColumn(true);
  geometry.setOrigin(GridPoint{5, 0});
  const std::vector<CALabelSpan> titled = ShownLabelSpans(geometry, false, 50, 2.0, 400);
  ASSERT_GE(titled.size(), 3u);
  EXPECT_EQ(titled[0].index, 0);
  EXPECT_EQ(titled[1].index, 5);
  EXPECT_DOUBLE_EQ(titled[1].start, 170.0);
  EXPECT_EQ(LabelEdgeAt(titled, 170.0, true), nullptr);
  EXPECT_EQ(LabelEdgeAt(titled, 290.0, true)->index, 5);
}

TEST(LabelRules, DraggedSizesRoundToTheUnitStep) {
  const struct {
    const char* name;
    bool columns;
    bool freeSize;
    int32_t unit;
    double position;  // the edge dragged from a leading edge at 100, zoom 2
    int64_t size;     // EMU
  } cases[] = {
      {"metric column: 1 mm steps", true, false, 5, 100 + 2 * 20.0, 252000},      // 20 pt = 7.06 mm
      {"free column with Ctrl", true, true, 5, 100 + 2 * 20.5, 260350},
      {"inch column: eighths", true, false, 1, 100 + 2 * 20.0, 228600},          // 0.28 in -> 0.25
      {"row: whole points", false, false, 5, 100 + 2 * 20.6, 266700},
      {"column narrower than 2 EMU", true, true, 0, 100, 1}, {"negative drag", false, false, 0, 60, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int64_t interval = ResizeInterval(c.columns, c.freeSize, c.unit);
    EXPECT_EQ(ResizedSize(c.position, 100, 2.0, interval, c.columns), c.size);
  }
  // The padding drawn around the cells is no part of the size.
  EXPECT_EQ(ResizedSize(130, 100, 1.0, 12700, false, 6.0), 24 * 12700);
}

TEST(LabelRules, MovedLinesLandAfterTheLinesTheirEdgePassed) {
  SizedSheet sheet;
  CAGridGeometry geometry(&sheet.document);
  // Rows from y = 20, 20 points each; rows 2 and 3 are moved.
  const std::vector<CALabelSpan> spans = ShownLabelSpans(geometry, true, 20, 1.0, 300);
  const struct {
    double edge;
    uint64_t slot;
  } cases[] = {{20, 0}, {39.9, 0}, {40, 1}, {60, 2}, {79.9, 2}, {80, 3}, {100, 4}, {140, 6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.edge);
    EXPECT_EQ(DropSlotAt(spans, 20, 2, 3, c.edge), c.slot);
  }
  const struct {
    uint64_t slot;
    int64_t origin;
    bool title;
    int64_t index;
  } indexes[] = {{0, 0, false, 0}, {4, 0, false, 4}, {0, 10, false, 10}, {3, 10, false, 13},
                 {0, 10, true, 0},  {1, 10, true, 10}, {3, 10, true, 12}};
  for (const auto& c : indexes) EXPECT_EQ(DropIndexForSlot(c.slot, c.origin, c.title), c.index);
}

TEST(LabelRules, TheSizeTipStaysBesideTheMouseWithinItsStrip) {
  const QRectF rows(0, 20, 60, 300);     // the row strip, to y = 320
  const QRectF columns(60, 0, 400, 20);  // the column strip, to x = 460
  const QSizeF text(30, 12);             // a box 18 high, 60 wide
  const struct { bool row; QPointF mouse; QRectF box; } cases[] = {
      {true, {10, 100}, {1, 116, 58, 18}},
      {true, {10, 290}, {1, 256, 58, 18}},  // below would pass the strip's end
      {true, {10, 40}, {1, 56, 58, 18}}, {false, {100, 5}, {116, 1, 60, 18}}, {false, {400, 5}, {324, 1, 60, 18}},
  };
  for (const auto& c : cases) EXPECT_EQ(SizeTipRect(c.row, c.mouse, text, c.row ? rows : columns), c.box);
  EXPECT_EQ(SizeTipText(12700 * 72, 0), QStringLiteral("72 pt"));
}

}  // namespace

TEST(LabelRules, TheStripsEndAtTheGridsLastRowAndColumn) {
  SizedSheet sheet;
  CAGridGeometry geometry(&sheet.document);
  geometry.setVisibleSize(QSizeF(400, 300));
  geometry.setOrigin(GridPoint{LastGridColumn() - 1, kLastGridRow - 2});
  const std::vector<CALabelSpan> rows = ShownLabelSpans(geometry, true, 0, 1.0, 300);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows.back().index, kLastGridRow);
  const std::vector<CALabelSpan> columns = ShownLabelSpans(geometry, false, 0, 1.0, 400);
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns.back().index, LastGridColumn());
}
