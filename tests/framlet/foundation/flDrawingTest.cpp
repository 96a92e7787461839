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

TEST_F(DrawingTest, CenterRectangleReportsEmptyInputsAndGoesOn) {
  LogCapture log;
  QRectF rect(0, 0, 10, 10);
  CenterRectangle(rect, QRectF(0, 0, 0, 20));
  EXPECT_TRUE(log.contains("Empty frame"));
  QRectF empty(0, 0, 0, 0);
  CenterRectangle(empty, QRectF(0, 0, 20, 20));
  EXPECT_TRUE(log.contains("Empty rect"));
  EXPECT_EQ(empty, QRectF(10, 10, 0, 0));
}

TEST_F(DrawingTest, BitmapRowsAreRoundedToSixteenBytesAndCleared) {
  const std::pair<uint32_t, size_t> cases[] = {{1, 16}, {4, 16}, {5, 32}, {8, 32}, {100, 400}};
  for (const auto& [width, bytesPerRow] : cases) {
    auto bitmap = CreateQuartzBitmap(width, 3);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->bytesPerRow(), bytesPerRow) << width;
    EXPECT_EQ(size_t(bitmap->image().bytesPerLine()), bytesPerRow);
    for (size_t i = 0; i < bytesPerRow * 3; ++i) ASSERT_EQ(bitmap->data()[i], 0) << i;
  }
  EXPECT_FALSE(CreateQuartzBitmap(0, 5));
  EXPECT_FALSE(CreateQuartzBitmap(5, 0));
  EXPECT_FALSE(CreateQuartzBitmap(kFLMaxBitmapSide + 1, 1));
}

TEST_F(DrawingTest, BitmapPainterDrawsIntoItsOwnMemory) {
  auto bitmap = CreateQuartzBitmap(5, 2);
  ASSERT_TRUE(bitmap);
  bitmap->painter().fillRect(QRect(4, 1, 1, 1), QColor(255, 0, 0));
  bitmap->endPainting();
  uint32_t word = 0;
  std::memcpy(&word, bitmap->data() + bitmap->bytesPerRow() + 16, 4);
  EXPECT_EQ(word, 0xFFFF0000u);  // Qt's premultiplied ARGB word for opaque red
  const QImage copy = bitmap->copyImage();
  bitmap.reset();
  EXPECT_EQ(copy.pixel(4, 1), 0xFFFF0000u);
}

TEST_F(DrawingTest, FlipContextTurnsTheRectangleUpsideDown) {
  QImage canvas = Canvas(20, 20);
  QPainter painter(&canvas);
  FlipContext(painter, QRectF(0, 0, 20, 20));
  painter.fillRect(QRectF(0, 0, 20, 5), Qt::red);
  painter.end();
  EXPECT_EQ(canvas.pixelColor(10, 17), QColor(Qt::red));
  EXPECT_EQ(canvas.pixelColor(10, 2), QColor(Qt::white));
}

TEST_F(DrawingTest, CurrentContextFollowsNestedScopes) {
  EXPECT_EQ(CurrentQuartzContext(), nullptr);
  QImage a = Canvas(2, 2);
  QImage b = Canvas(2, 2);
  QPainter first(&a);
  QPainter second(&b);
  {
    FLCurrentContextScope outer(&first);
    EXPECT_EQ(CurrentQuartzContext(), &first);
    {
      FLCurrentContextScope inner(&second);
      EXPECT_EQ(CurrentQuartzContext(), &second);
    }
    EXPECT_EQ(CurrentQuartzContext(), &first);
  }
  EXPECT_EQ(CurrentQuartzContext(), nullptr);
  // Without a current context the procedures draw nothing and do not fail.
  DrawQuartzCheckbox(true, true, QRectF(0, 0, 20, 20));
  FlipContext(QRectF(0, 0, 2, 2));
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

TEST_F(DrawingTest, UncheckedAndUnfilledBoxesLeaveOutTheirParts) {
  QImage unchecked = Canvas(40, 40);
  {
    QPainter painter(&unchecked);
    DrawQuartzCheckbox(painter, false, true, QRectF(10, 10, 20, 20));
  }
  EXPECT_GT(unchecked.pixelColor(16, 20).red(), 150);  // no tick
  EXPECT_GT(unchecked.pixelColor(12, 28).blue(), unchecked.pixelColor(12, 28).red());

  QImage unfilled = Canvas(40, 40);
  {
    QPainter painter(&unfilled);
    DrawQuartzCheckbox(painter, true, false, QRectF(10, 10, 20, 20));
  }
  EXPECT_TRUE(IsWhite(unfilled.pixelColor(12, 28)));  // no gradient
  EXPECT_LT(unfilled.pixelColor(16, 20).red(), 80);   // still ticked
}

TEST_F(DrawingTest, CheckboxNeedsTenPointsEachWay) {
  const QImage white = Canvas(20, 20);
  for (const QRectF& rect : {QRectF(0, 0, 20, 9), QRectF(0, 0, 9, 20)}) {
    QImage canvas = white;
    QPainter painter(&canvas);
    DrawQuartzCheckbox(painter, true, true, rect);
    painter.end();
    EXPECT_EQ(canvas, white);
  }
  QImage canvas = white;
  {
    QPainter painter(&canvas);
    DrawQuartzCheckbox(painter, false, true, QRectF(0, 0, 10, 10));
  }
  // An 8-point square at (0, 2).
  EXPECT_TRUE(IsWhite(canvas.pixelColor(4, 1)));
  EXPECT_FALSE(IsWhite(canvas.pixelColor(4, 7)));
  EXPECT_TRUE(IsWhite(canvas.pixelColor(9, 6)));
}

TEST_F(DrawingTest, CurrentContextDrawsTheSameCheckbox) {
  QImage direct = Canvas(30, 30);
  QImage current = Canvas(30, 30);
  {
    QPainter painter(&direct);
    DrawQuartzCheckbox(painter, true, true, QRectF(2, 2, 24, 24));
  }
  {
    QPainter painter(&current);
    FLCurrentContextScope scope(&painter);
    DrawQuartzCheckbox(true, true, QRectF(2, 2, 24, 24));
  }
  EXPECT_EQ(direct, current);
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

TEST_F(DrawingTest, ScrollViewCornerUsesTheScrollerColoursWhenDark) {
  const bool wasDark = g_darkMode;
  g_darkMode = true;
  SetScrollerDarkColorsSource([] {
    return FLScrollerDarkColors{QColor(1, 2, 3), QColor(4, 5, 6), QColor(7, 8, 9)};
  });
  for (const bool knob : {true, false}) {
    QImage canvas = Canvas(20, 20, Qt::red);
    {
      QPainter painter(&canvas);
      DrawScrollViewCorner(painter, true, knob, QRectF(0, 0, 20, 20));
    }
    EXPECT_EQ(canvas.pixelColor(10, 10), knob ? QColor(1, 2, 3) : QColor(4, 5, 6));
    EXPECT_EQ(canvas.pixelColor(0, 10), QColor(7, 8, 9));
  }
  SetScrollerDarkColorsSource(nullptr);
  g_darkMode = wasDark;
}

}  // namespace
