#include "framlet/foundation/flDrawing.h"

#include "framlet/foundation/FLKernel.h"
#include "ImageTestSupport.h"
#include "support/LogCapture.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

class DrawingTest : public testing::Test {
 protected:
  void SetUp() override { StartKernel(); }
};

TEST_F(DrawingTest, CenterRectangleFitsAndCentresOnWholePoints) {
  struct Case {
    QRectF rect;
    QRectF frame;
    QRectF expected;
  };
  const Case cases[] = {
      {{0, 0, 400, 100}, {0, 0, 200, 200}, {0, 75, 200, 50}},      // too wide: scaled to the width
      {{0, 0, 100, 400}, {0, 0, 200, 200}, {75, 0, 50, 200}},      // too tall: scaled to the height
      {{5, 5, 50, 20}, {10, 10, 100, 100}, {35, 50, 50, 20}},      // fits: only centred
      {{0, 0, 10, 10}, {0, 0, 15, 15}, {2, 2, 10, 10}},            // 2.5 rounds down
      {{0, 0, 3000, 1500}, {0, 0, 1024, 1024}, {0, 256, 1024, 512}},
      {{0, 0, 10, 10}, {-7, 0, 15, 15}, {-5, 2, 10, 10}},          // -4.5 rounds down, not toward zero
  };
  for (const Case& c : cases) {
    QRectF rect = c.rect;
    CenterRectangle(rect, c.frame);
    EXPECT_EQ(rect, c.expected) << c.rect.width() << "x" << c.rect.height();
  }
}

bool IsWhite(QColor c) { return c.red() > 250 && c.green() > 250 && c.blue() > 250; }

TEST_F(DrawingTest, CheckedFilledCheckboxHasGradientOutlineAndTick) {
  QImage canvas = Canvas(40, 40);
  QPainter painter(&canvas);
  DrawQuartzCheckbox(painter, true, true, QRectF(10, 10, 20, 20));
  painter.end();
  // The box is the 18-point square at (10, 12): white at its top, blue toward its bottom.
  const QColor top = canvas.pixelColor(12, 13);
  EXPECT_GT(top.red(), 200);
  const QColor bottom = canvas.pixelColor(12, 28);
  EXPECT_LT(bottom.red(), 150);
  EXPECT_GT(bottom.blue(), 240);
  // The tick runs from (14.5, 17.9) to (19, 23.9) to (28.5, 11.5).
  EXPECT_LT(canvas.pixelColor(16, 20).red(), 80);
  EXPECT_LT(canvas.pixelColor(23, 18).red(), 80);
  // The outline is gray; above the box and outside the rectangle nothing is drawn.
  const QColor edge = canvas.pixelColor(10, 20);
  EXPECT_LT(edge.red(), 200);
  EXPECT_TRUE(IsWhite(canvas.pixelColor(20, 10)));
  EXPECT_TRUE(IsWhite(canvas.pixelColor(5, 5)));
  EXPECT_TRUE(IsWhite(canvas.pixelColor(35, 35)));
}

TEST_F(DrawingTest, ScrollViewCornerFillsAndEdgesTheSquare) {
  struct Case {
    bool flipped;
    QPoint edgeAcross;  // a pixel of the horizontal edge
  };
  for (const Case& c : {Case{true, {10, 0}}, Case{false, {10, 19}}}) {
    QImage canvas = Canvas(20, 20, Qt::red);
    {
      QPainter painter(&canvas);
      DrawScrollViewCorner(painter, c.flipped, true, QRectF(0, 0, 20, 20));
    }
    EXPECT_EQ(canvas.pixelColor(10, 10), QColor(255, 255, 255)) << c.flipped;
    EXPECT_EQ(canvas.pixelColor(0, 10), QColor(0xE0, 0xE0, 0xE0)) << c.flipped;
    EXPECT_EQ(canvas.pixelColor(c.edgeAcross), QColor(0xE0, 0xE0, 0xE0)) << c.flipped;
  }
}

}  // namespace
