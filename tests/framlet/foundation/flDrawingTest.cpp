#include "framlet/foundation/flDrawing.h"

#include "framlet/foundation/FLKernel.h"
#include "ImageTestSupport.h"
#include "support/LogCapture.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

class DrawingTest : public KernelTest {};

TEST_F(DrawingTest, CenterRectangleFitsAndCentresOnWholePoints) {
  struct Case { QRectF rect; QRectF frame; QRectF expected; };
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

TEST_F(DrawingTest, CheckedFilledCheckboxHasGradientOutlineAndTick) {
  QImage canvas = Canvas(40, 40);
  QPainter painter(&canvas);
  DrawQuartzCheckbox(painter, true, true, QRectF(10, 10, 20, 20));
  painter.end();
  // The box is the 18-point square at (10, 12): white at its top, blue toward its bottom; the
  // tick runs from (14.5, 17.9) to (19, 23.9) to (28.5, 11.5); above the box nothing is drawn.
  EXPECT_GT(canvas.pixelColor(12, 13).red(), 200);
  EXPECT_LT(canvas.pixelColor(12, 28).red(), 150);
  EXPECT_GT(canvas.pixelColor(12, 28).blue(), 240);
  EXPECT_LT(canvas.pixelColor(16, 20).red(), 80);
  EXPECT_GT(canvas.pixelColor(20, 10).lightness(), 250);
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
