#include "framlet/foundation/flImageSaving.h"

#include "ImageTestSupport.h"
#include "framlet/foundation/flImageSupport.h"
#include "platform/HeifCodec.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class ImageSavingTest : public testing::Test {
 protected:
  void SetUp() override {
    StartKernel();
    ASSERT_TRUE(dir_.isValid());
  }
  QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }

  QTemporaryDir dir_;
};


// What Qt's reader makes of a written file: its format name and pixel size.
std::pair<QByteArray, QSize> ReadBack(const QString& path) {
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  return {reader.format(), reader.size()};
}

std::unique_ptr<FLImage> Transparent(int width = 8, int height = 6) {
  QImage bitmap(width, height, QImage::Format_ARGB32_Premultiplied);
  bitmap.fill(QColor(0, 0, 255, 128));
  return FLImage::withCGImage(bitmap, QSizeF(0, 0));
}

std::unique_ptr<FLImage> Opaque(int width = 8, int height = 6) {
  QImage bitmap(width, height, QImage::Format_RGB32);
  bitmap.fill(QColor(200, 100, 50));
  return FLImage::withCGImage(bitmap, QSizeF(0, 0));
}

TEST_F(ImageSavingTest, OpenFormatFollowsAlphaAndExtension) {
  struct Case { bool transparent; const char* name; const char* written; const char* qtFormat; };
  const Case cases[] = {
      {true, "plain", "plain.png", "png"}, {true, "photo.jpg", "photo.jpg", "jpeg"},
      {true, "anim.gif", "anim.tiff", "tiff"},
      {true, "photo.jpeg", "photo.tiff", "tiff"},  // only "jpg" makes a transparent image JPEG
      {false, "plain", "plain.jpg", "jpeg"}, {false, "scan.tiff", "scan.jpg", "jpeg"},
  };
  for (const Case& c : cases) {
    auto image = c.transparent ? Transparent() : Opaque();
    FLError error;
    const QString written = SaveImage(image.get(), path(c.name), kImageFormatUnknown, &error);
    EXPECT_EQ(written, path(c.written)) << c.name;
    EXPECT_EQ(ReadBack(written).first, QByteArray(c.qtFormat)) << c.name;
    EXPECT_EQ(ReadBack(written).second, QSize(8, 6)) << c.name;
  }
}

TEST_F(ImageSavingTest, HeicIsWrittenByLibheifOrFallsBackToTheOpenFormatRules) {
  auto opaque = Opaque();
  auto transparent = Transparent();
  const QString photo = SaveImage(opaque.get(), path("photo.jpg"), kImageFormatHeic, nullptr, QSizeF(0, 0), 0.5);
  const QString drawing = SaveImage(transparent.get(), path("drawing"), kImageFormatHeic, nullptr);
  if (!CanEncodeHeif()) {
    // Without an encoder an opaque image becomes JPEG, a transparent one TIFF.
    EXPECT_EQ(photo, path("photo.jpg"));
    EXPECT_EQ(ReadBack(photo).first, QByteArray("jpeg"));
    EXPECT_EQ(drawing, path("drawing.tiff"));
    return;
  }
  EXPECT_EQ(photo, path("photo.heic"));
  EXPECT_EQ(drawing, path("drawing.heic"));
  EXPECT_TRUE(DescribeFile(photo).startsWith(QLatin1String("ISO Media, HEIF Image HEVC"))) << DescribeFile(photo).toStdString();
  // Read back by the image class: the size and colour survive, and so does transparency.
  auto photoBack = FLImage::withContentsOfFile(photo);
  ASSERT_TRUE(photoBack);
  EXPECT_FALSE(photoBack->isUndecoded());
  EXPECT_EQ(photoBack->sourceFormat(), kImageFormatHeic);
  EXPECT_EQ(photoBack->size(), QSizeF(8, 6));
  EXPECT_FALSE(photoBack->bitmap().hasAlphaChannel());  // an opaque image stores no alpha
  const QColor pixel = photoBack->bitmap().pixelColor(4, 3);
  EXPECT_NEAR(pixel.red(), 200, 12);
  EXPECT_NEAR(pixel.green(), 100, 12);
  EXPECT_NEAR(pixel.blue(), 50, 12);
  auto drawingBack = FLImage::withContentsOfFile(drawing);
  ASSERT_TRUE(drawingBack);
  EXPECT_EQ(drawingBack->size(), QSizeF(8, 6));
  EXPECT_NEAR(drawingBack->bitmap().pixelColor(4, 3).alpha(), 128, 12);
}

TEST_F(ImageSavingTest, IndependentToolRecognisesEveryWrittenFormat) {
  auto image = Transparent(10, 4);
  const std::pair<int32_t, const char*> cases[] = {
      {kImageFormatPng, "PNG image data, 10 x 4"}, {kImageFormatJpeg, "JPEG image data"},
      {kImageFormatTiff, "TIFF image data"}, {kImageFormatBmp, "PC bitmap"}, {kImageFormatPdf, "PDF document"},
  };
  for (const auto& [format, description] : cases) {
    const QString written = SaveImage(image.get(), path("tool"), format, nullptr);
    ASSERT_FALSE(written.isEmpty()) << format;
    EXPECT_TRUE(DescribeFile(written).startsWith(QLatin1String(description)))
        << format << ": " << DescribeFile(written).toStdString();
  }
  // Full quality TIFF is compressed with LZW.
  const QString tiff = SaveImage(image.get(), path("lzw"), kImageFormatTiff, nullptr, QSizeF(0, 0), 1.0);
  EXPECT_TRUE(DescribeFile(tiff).contains(QLatin1String("compression=LZW"))) << DescribeFile(tiff).toStdString();
}

TEST_F(ImageSavingTest, ReplacingAFileNeverLosesItWhenTheSaveFails) {
  ASSERT_TRUE(WriteFileBytes(path("keep.png"), "the old picture"));
  // An EMF picture cannot be encoded as PNG: the save fails after choosing the target.
  auto emf = FLImage::withContentsOfFile(Fixture("frame.emf"));
  FLError error;
  EXPECT_TRUE(SaveImage(emf.get(), path("keep.png"), kImageFormatPng, &error).isEmpty());
  EXPECT_EQ(error.code, -50);
  EXPECT_EQ(error.reason, QStringLiteral("The image cannot be saved to the requested format."));
  EXPECT_EQ(ReadFileBytes(path("keep.png")), QByteArray("the old picture"));
  // A successful save replaces it, leaving no temporary file behind.
  auto image = Opaque();
  EXPECT_EQ(SaveImage(image.get(), path("keep.png"), kImageFormatPng, nullptr), path("keep.png"));
  EXPECT_EQ(ReadBack(path("keep.png")).first, QByteArray("png"));
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.png")});
}

TEST_F(ImageSavingTest, KeptPicturesAreWrittenBackByteForByte) {
  struct Case { const char* fixture; int32_t format; const char* written; };
  const Case cases[] = {
      {"frame.emf", kImageFormatUnknown, "kept.emf"}, {"frame.pict", kImageFormatPict, "kept.pict"},
      {"ispe.heic", kImageFormatHeic, "kept.heic"}, {"red-left.pdf", kImageFormatPdf, "kept.pdf"},
  };
  for (const Case& c : cases) {
    auto image = FLImage::withContentsOfFile(Fixture(c.fixture));
    ASSERT_TRUE(image) << c.fixture;
    const QString written = SaveImage(image.get(), path("kept"), c.format, nullptr);
    EXPECT_EQ(written, path(c.written)) << c.fixture;
    EXPECT_EQ(ReadFileBytes(written), ReadFileBytes(Fixture(c.fixture))) << c.fixture;
    QFile::remove(written);
  }
  // At another size a kept picture has nothing to write.
  auto emf = FLImage::withContentsOfFile(Fixture("frame.emf"));
  EXPECT_TRUE(SaveImage(emf.get(), path("small"), kImageFormatUnknown, nullptr, QSizeF(10, 5)).isEmpty());
}

TEST_F(ImageSavingTest, QuicklookPreviewAndThumbnailFollowTheLimits) {
  struct Case { QSize size; QSize preview; QSize thumbnail; };
  const Case cases[] = {
      {{3000, 1500}, {1024, 512}, {512, 256}}, {{400, 300}, {400, 300}, {400, 300}},
  };
  for (const Case& c : cases) {
    auto image = Opaque(c.size.width(), c.size.height());
    const QString package = path("Budget.Numlet");
    SaveQuicklookImage(image.get(), package);
    const QString preview = package + QStringLiteral("/QuickLook/Preview.jpg");
    const QString thumbnail = package + QStringLiteral("/QuickLook/Thumbnail.jpg");
    EXPECT_EQ(ReadBack(preview), std::make_pair(QByteArray("jpeg"), c.preview));
    EXPECT_EQ(ReadBack(thumbnail), std::make_pair(QByteArray("jpeg"), c.thumbnail));
  }
  EXPECT_TRUE(DescribeFile(path("Budget.Numlet/QuickLook/Preview.jpg")).startsWith(QLatin1String("JPEG image data")));
  EXPECT_TRUE(DescribeFile(path("Budget.Numlet/QuickLook/Preview.jpg")).contains(QLatin1String("400x300")));
}

}  // namespace
