// The label strips' extent, worked out by hand from the digit width, line height and zoom.
#include "calculator/views/caSheetLabels.h"

#include <gtest/gtest.h>

namespace {

TEST(LabelExtent, EightDigitsAndOneLineGrowingWithTheZoom) {
  const struct {
    double digitWidth;
    double lineHeight;
    double zoom;
    double width;
    double height;
  } cases[] = {
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
