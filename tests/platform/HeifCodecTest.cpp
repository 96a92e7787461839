#include "platform/HeifCodec.h"

#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QColor>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

QByteArray ReadFixture(const char* name) { return ReadFileBytes(TestDataPath(QStringLiteral("images/") + QLatin1String(name))); }

// HEVC is lossy and keeps colour at half resolution: a flat area comes back close to, not
// exactly at, the colour it was given.
constexpr int kTolerance = 12;

void ExpectNear(const QColor& actual, const QColor& expected, const char* where) {
  EXPECT_NEAR(actual.red(), expected.red(), kTolerance) << where;
  EXPECT_NEAR(actual.green(), expected.green(), kTolerance) << where;
  EXPECT_NEAR(actual.blue(), expected.blue(), kTolerance) << where;
  EXPECT_NEAR(actual.alpha(), expected.alpha(), kTolerance) << where;
}

// Left half one colour, right half another.
QImage Halves(int width, int height, QColor left, QColor right, QImage::Format format) {
  QImage image(width, height, format);
  image.fill(right);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width / 2; ++x) image.setPixelColor(x, y, left);
  return image;
}

TEST(HeifCodec, DecodesAFileWrittenByLibheifItself) {
  if (!CanDecodeHeif()) GTEST_SKIP() << "libheif has no HEVC decoder here";
  const QByteArray data = ReadFixture("halves-16x8.heic");
  ASSERT_FALSE(data.isEmpty());
  const std::optional<QImage> image = DecodeHeif(data);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), QSize(16, 8));
  EXPECT_FALSE(image->hasAlphaChannel());
  ExpectNear(image->pixelColor(2, 4), QColor(255, 0, 0), "left");
  ExpectNear(image->pixelColor(13, 4), QColor(0, 0, 255), "right");
}

TEST(HeifCodec, RefusesBytesThatHoldNoPicture) {
  const QByteArray real = ReadFixture("halves-16x8.heic");
  ASSERT_GT(real.size(), 100);
  struct Case { const char* what; QByteArray data; };
  const Case cases[] = {
      {"empty", QByteArray()}, {"words", QByteArray("not a picture at all, just some words")},
      // Only the file-type box and a size property: a header without any image.
      {"header only", ReadFixture("ispe.heic")}, {"file-type box only", real.left(24)},
      {"cut in the middle", real.left(real.size() / 2)}, {"cut before the end", real.left(real.size() - 8)},
  };
  for (const Case& c : cases) EXPECT_FALSE(DecodeHeif(c.data)) << c.what;
}

TEST(HeifCodec, OpaqueImagesSurviveARoundTrip) {
  if (!CanEncodeHeif()) GTEST_SKIP() << "libheif has no HEVC encoder here";
  // Odd sides too: the encoder works on blocks and must not change the picture's size.
  for (const QSize size : {QSize(16, 8), QSize(7, 5), QSize(1, 1)}) {
    const QImage source =
        Halves(size.width(), size.height(), QColor(0, 160, 0), QColor(250, 250, 250), QImage::Format_RGB32);
    const std::optional<QByteArray> encoded = EncodeHeif(source, 1.0f);
    ASSERT_TRUE(encoded) << size.width();
    EXPECT_EQ(encoded->mid(4, 4), QByteArray("ftyp"));
    const std::optional<QImage> decoded = DecodeHeif(*encoded);
    ASSERT_TRUE(decoded) << size.width();
    EXPECT_EQ(decoded->size(), size);
    EXPECT_FALSE(decoded->hasAlphaChannel());
    ExpectNear(decoded->pixelColor(size.width() - 1, 0), QColor(250, 250, 250), "right");
    if (size.width() >= 4) ExpectNear(decoded->pixelColor(0, 0), QColor(0, 160, 0), "left");
  }
}

}  // namespace
