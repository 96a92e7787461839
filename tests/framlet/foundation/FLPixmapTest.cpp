#include "framlet/foundation/FLPixmap.h"

#include "ImageTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

namespace {

class PixmapTest : public testing::Test {
 protected:
  void SetUp() override { StartKernel(); }
};

TEST_F(PixmapTest, PixelFromKolorPremultiplies) {
  const std::pair<Kolor, uint32_t> cases[] = {
      {0x640000FF, 0xFF0000FF},  // opaque red
      {0x64FF0000, 0x0000FFFF},  // opaque blue
      {0x64000000, 0x000000FF},
      {0x32FFFFFF, 0x7F7F7F7F},  // 50 %: alpha 127, channels 255 x 127 / 255
      {0x320000FF, 0x7F00007F},
      {0x01FFFFFF, 0x02020202},  // 1 %: alpha 2
      {0x63808080, 0x7E7E7EFC},  // 99 %: alpha 252, 128 x 252 / 255 = 126.49
      {0xFFFFFFFF, 0},
      {0x00FFFFFF, 0},
      {0x65000000, 0},
  };
  for (const auto& [kolor, pixel] : cases) EXPECT_EQ(PixelFromKolor(kolor), pixel) << std::hex << kolor;
}

TEST_F(PixmapTest, KolorsRoundTripThroughPixels) {
  auto pixmap = FLPixmap::withSize(QSizeF(4, 4));
  ASSERT_TRUE(pixmap);
  const std::pair<Kolor, Kolor> cases[] = {
      {0x640000FF, 0x640000FF},
      {0x64123456, 0x64123456},
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

TEST_F(PixmapTest, AlphaModeReadsCoverageAsGray) {
  auto pixmap = FLPixmap::withSize(QSizeF(2, 1));
  pixmap->setColor(0x640000FF, QPointF(0, 0));
  pixmap->setPixmapMode(kFLPixmapModeAlphaAsGray);
  uint32_t pixel = 0;
  ASSERT_TRUE(pixmap->getPixelColor(&pixel, 0, 0));
  EXPECT_EQ(pixel, 0x000000FFu);  // opaque pixel: opaque black
  ASSERT_TRUE(pixmap->getPixelColor(&pixel, 1, 0));
  EXPECT_EQ(pixel, 0xFFFFFFFFu);  // transparent pixel: opaque white
  EXPECT_EQ(pixmap->kolorAtPoint(QPointF(1, 0)), 0x64FFFFFFu);
}

TEST_F(PixmapTest, SizesAreTruncatedToWholePixels) {
  auto tiny = FLPixmap::withSize(QSizeF(1.9, 1.9));
  ASSERT_TRUE(tiny);
  EXPECT_EQ(tiny->size(), QSizeF(1, 1));
  tiny->setColor(0x64FFFFFF, QPointF(0, 0));
  EXPECT_EQ(tiny->pixelCount(), 1u);
  EXPECT_FALSE(FLPixmap::withSize(QSizeF(0.9, 5)));
  EXPECT_FALSE(FLPixmap::withSize(QSizeF(5, 0)));
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

TEST_F(PixmapTest, CountsAndCentreFollowEveryChange) {
  auto pixmap = FLPixmap::withSize(QSizeF(5, 3));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) pixmap->setColor(0x64000000, QPointF(x, y));
  EXPECT_FALSE(pixmap->hasAlpha());
  EXPECT_EQ(pixmap->pixelCount(), 15u);
  EXPECT_EQ(pixmap->centerOfMass(), QPointF(2, 1));  // no transparency: the middle, rounded down
  // Made transparent after the counts above were asked for: the counts see it.
  pixmap->setColor(kNoKolor, QPointF(0, 0));
  EXPECT_EQ(pixmap->pixelCount(), 14u);
}

TEST_F(PixmapTest, CentreOfMassOfTheCoveredPixels) {
  struct Case {
    std::vector<QPoint> covered;
    QPointF centre;
  };
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

TEST_F(PixmapTest, CopiesAndImagesCarryThePixels) {
  auto pixmap = FLPixmap::withSize(QSizeF(3, 2));
  pixmap->setColor(0x64336699, QPointF(2, 1));
  auto copy = pixmap->copy();
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->kolorAtPoint(QPointF(2, 1)), 0x64336699u);
  pixmap->setColor(0x64000000, QPointF(2, 1));
  EXPECT_EQ(copy->kolorAtPoint(QPointF(2, 1)), 0x64336699u);

  auto image = copy->createImage();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), QSizeF(3, 2));
  EXPECT_EQ(image->bitmap().pixelColor(2, 1), QColor(0x99, 0x66, 0x33));
  auto again = FLPixmap::withImage(*image);
  EXPECT_EQ(again->kolorAtPoint(QPointF(2, 1)), 0x64336699u);
}

TEST_F(PixmapTest, PixelsCopyOnlyBetweenBitmapsOfOneSize) {
  auto target = FLPixmap::withSize(QSizeF(4, 2));
  auto same = CreateQuartzBitmap(4, 2);
  same->painter().fillRect(QRect(0, 0, 4, 2), QColor(0, 0, 255));
  same->endPainting();
  target->copyPixelsFromBitmap(*same);
  EXPECT_EQ(target->kolorAtPoint(QPointF(3, 1)), 0x64FF0000u);

  LogCapture log;
  auto other = CreateQuartzBitmap(5, 2);
  target->copyPixelsFromBitmap(*other);
  EXPECT_TRUE(log.contains("Bitmaps not same size"));
  EXPECT_EQ(target->kolorAtPoint(QPointF(3, 1)), 0x64FF0000u);
}

}  // namespace
