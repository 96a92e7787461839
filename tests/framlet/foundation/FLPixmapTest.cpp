#include "framlet/foundation/FLPixmap.h"

#include "ImageTestSupport.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

namespace {

class PixmapTest : public KernelTest {};

TEST_F(PixmapTest, KolorsRoundTripThroughPixels) {
  auto pixmap = FLPixmap::withSize(QSizeF(4, 4));
  ASSERT_TRUE(pixmap);
  const std::pair<Kolor, Kolor> cases[] = {
      {0x640000FF, 0x640000FF}, {0x64123456, 0x64123456},
      {0x32FFFFFF, 0x31FFFFFF},  // alpha 127 reads back as 49 percent
      {0x320000FF, 0x310000FF},
      {0xFFFFFFFF, 0xFFFFFFFF},  // transparent: no colour
  };
  for (const auto& [set, read] : cases) {
    pixmap->setColor(set, QPointF(2.7, 1.2));
    EXPECT_EQ(pixmap->kolorAtPoint(QPointF(2, 1)), read) << std::hex << set;
  }
  EXPECT_EQ(pixmap->kolorAtPoint(QPointF(0, 0)), 0xFFFFFFFFu);  // never set
  pixmap->setColor(0x640000FF, QPointF(4, 0));  // outside: ignored
  pixmap->setColor(0x640000FF, QPointF(-1.5, 0));
  uint32_t pixel = 7;
  EXPECT_FALSE(pixmap->getPixelColor(&pixel, 4, 0));
  EXPECT_EQ(pixel, 0u);
  EXPECT_FALSE(pixmap->getPixelColor(&pixel, 0, -1));
  EXPECT_EQ(pixmap->kolorAtPoint(QPointF(40, 40)), 0xFFFFFFFFu);
}

TEST_F(PixmapTest, DecodedPictureGivesItsColours) {
  // The PNG was written by tools/make_image_fixtures.py without Qt.
  auto image = FLImage::withContentsOfFile(TestDataPath(QStringLiteral("images/rgba-2x2.png")));
  ASSERT_TRUE(image);
  auto pixmap = FLPixmap::withImage(*image);
  ASSERT_TRUE(pixmap);
  EXPECT_EQ(pixmap->size(), QSizeF(2, 2));
  EXPECT_EQ(pixmap->kolorAtPoint(QPointF(0, 0)), MakeKolor(255, 0, 0));
  EXPECT_EQ(pixmap->kolorAtPoint(QPointF(1, 0)), MakeKolor(0, 255, 0, 50));  // alpha 128
  EXPECT_EQ(pixmap->kolorAtPoint(QPointF(0, 1)), MakeKolor(0, 0, 255));
  EXPECT_EQ(pixmap->kolorAtPoint(QPointF(1, 1)), kNoKolor);
  EXPECT_TRUE(pixmap->hasAlpha());
  EXPECT_EQ(pixmap->pixelCount(), 3u);

  QImage bitmap(3, 1, QImage::Format_RGB32);
  bitmap.fill(QColor(10, 20, 30));
  auto fromBitmap = FLPixmap::withQuartzImage(bitmap);
  ASSERT_TRUE(fromBitmap);
  EXPECT_EQ(fromBitmap->kolorAtPoint(QPointF(2, 0)), MakeKolor(10, 20, 30));
  EXPECT_FALSE(fromBitmap->hasAlpha());
}

TEST_F(PixmapTest, CentreOfMassOfTheCoveredPixels) {
  struct Case { std::vector<QPoint> covered; QPointF centre; };
  const Case cases[] = {
      {{{1, 1}, {3, 1}}, {2, 1}},
      {{{0, 0}, {3, 3}}, {1, 1}},          // (1 + 4) / 2 - 1 = 1 in whole numbers
      {{{3, 0}, {3, 1}, {3, 2}}, {3, 1}},
      {{}, {0, 0}},                        // nothing covered
  };
  for (const Case& c : cases) {
    auto pixmap = FLPixmap::withSize(QSizeF(4, 4));
    for (const QPoint& point : c.covered) pixmap->setColor(0x32FF0000, point);
    EXPECT_EQ(pixmap->centerOfMass(), c.centre) << c.covered.size();
    EXPECT_EQ(pixmap->pixelCount(), c.covered.size());
  }
}

}  // namespace
