#include "framlet/foundation/flImageSaving.h"

#include "ImageTestSupport.h"
#include "framlet/foundation/flImageSupport.h"
#include "platform/HeifCodec.h"
#include "support/TestData.h"

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

QString Fixture(const char* name) { return TestDataPath(QStringLiteral("images/") + QLatin1String(name)); }

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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
  struct Case {
    bool transparent;
    const char* name;
    const char* written;
    const char* qtFormat;
  };
  const Case cases[] = {
      {true, "plain", "plain.png", "png"},
      {true, "photo.jpg", "photo.jpg", "jpeg"},
      {true, "anim.gif", "anim.tiff", "tiff"},
      {true, "photo.jpeg", "photo.tiff", "tiff"},  // only "jpg" makes a transparent image JPEG
      {true, "shot.PNG", "shot.PNG", "png"},
      {false, "plain", "plain.jpg", "jpeg"},
      {false, "shot.png", "shot.png", "png"},
      {false, "scan.tiff", "scan.jpg", "jpeg"},
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

TEST_F(ImageSavingTest, RequestedFormatReplacesTheExtension) {
  auto image = Transparent();
  struct Case {
    int32_t format;
    const char* written;
    const char* qtFormat;
  };
  const Case cases[] = {
      {kImageFormatJpeg, "out.jpg", "jpeg"}, {kImageFormatPng, "out.png", "png"},
      {kImageFormatTiff, "out.tiff", "tiff"}, {kImageFormatBmp, "out.bmp", "bmp"},
      {kImageFormatGif, "out.tiff", "tiff"},  {kImageFormatPdf, "out.pdf", "pdf"},
  };
  for (const Case& c : cases) {
    QFile::remove(path(c.written));
    const QString written = SaveImage(image.get(), path("out.png"), c.format, nullptr);
    EXPECT_EQ(written, path(c.written)) << c.format;
    EXPECT_EQ(ReadBack(written).first, QByteArray(c.qtFormat)) << c.format;
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
  // Into memory too, with the HEIC extension and type.
  FLImageSaveRequest request;
  request.format = kImageFormatHeic;
  request.quality = 1.0;
  ASSERT_TRUE(SaveImageCore(opaque.get(), request, 4, 3));
  EXPECT_EQ(request.extension, QStringLiteral("heic"));
  EXPECT_EQ(request.typeIdentifier, QStringLiteral("public.heic"));
  EXPECT_EQ(ImageFormatFromData(request.data), kImageFormatHeic);
  auto small = FLImage::withData(request.data);
  ASSERT_TRUE(small);
  EXPECT_EQ(small->size(), QSizeF(4, 3));
}

TEST_F(ImageSavingTest, IndependentToolRecognisesEveryWrittenFormat) {
  auto image = Transparent(10, 4);
  const std::pair<int32_t, const char*> cases[] = {
      {kImageFormatPng, "PNG image data, 10 x 4"},
      {kImageFormatJpeg, "JPEG image data"},
      {kImageFormatTiff, "TIFF image data"},
      {kImageFormatBmp, "PC bitmap"},
      {kImageFormatPdf, "PDF document"},
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

TEST_F(ImageSavingTest, WritesAtTheRequestedSize) {
  auto image = Opaque(40, 20);
  const QString written = SaveImage(image.get(), path("half.png"), kImageFormatPng, nullptr, QSizeF(20, 10));
  EXPECT_EQ(ReadBack(written).second, QSize(20, 10));
  const QString page = SaveImage(image.get(), path("page"), kImageFormatPdf, nullptr, QSizeF(144, 72));
  ASSERT_FALSE(page.isEmpty());
  EXPECT_TRUE(ReadFile(page).startsWith("%PDF"));
  // The PDF reader renders a page at its size in points.
  EXPECT_EQ(ReadBack(page).second, QSize(144, 72));
}

TEST_F(ImageSavingTest, UniqueNameWritesBesideAnExistingFile) {
  auto image = Opaque();
  QFile existing(path("pic.png"));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.write("old");
  existing.close();
  FLImageSaveRequest request;
  request.path = path("pic.png");
  request.format = kImageFormatPng;
  request.uniqueName = true;
  ASSERT_TRUE(SaveImageCore(image.get(), request, 0, 0));
  EXPECT_EQ(request.path, path("pic-1.png"));
  EXPECT_EQ(ReadFile(path("pic.png")), QByteArray("old"));
  EXPECT_EQ(ReadBack(request.path).first, QByteArray("png"));
}

TEST_F(ImageSavingTest, ReplacingAFileNeverLosesItWhenTheSaveFails) {
  QFile existing(path("keep.png"));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.write("the old picture");
  existing.close();
  // An EMF picture cannot be encoded as PNG: the save fails after choosing the target.
  auto emf = FLImage::withContentsOfFile(Fixture("frame.emf"));
  FLError error;
  EXPECT_TRUE(SaveImage(emf.get(), path("keep.png"), kImageFormatPng, &error).isEmpty());
  EXPECT_EQ(error.code, -50);
  EXPECT_EQ(error.reason, QStringLiteral("The image cannot be saved to the requested format."));
  EXPECT_EQ(ReadFile(path("keep.png")), QByteArray("the old picture"));
  // A successful save replaces it, leaving no temporary file behind.
  auto image = Opaque();
  EXPECT_EQ(SaveImage(image.get(), path("keep.png"), kImageFormatPng, nullptr), path("keep.png"));
  EXPECT_EQ(ReadBack(path("keep.png")).first, QByteArray("png"));
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.png")});
}

TEST_F(ImageSavingTest, WriteFailureNamesThePath) {
  auto image = Opaque();
  FLError error;
  const QString target = path("no-such-folder/pic");
  EXPECT_TRUE(SaveImage(image.get(), target, kImageFormatPng, &error).isEmpty());
  EXPECT_EQ(error.domain, QStringLiteral("NSOSStatusErrorDomain"));
  EXPECT_EQ(error.code, -50);
  EXPECT_EQ(error.reason, QStringLiteral("The image cannot be saved to \"%1.png\".").arg(target));
}

TEST_F(ImageSavingTest, NullImageGivesNothingAndNoError) {
  FLError error{QStringLiteral("untouched"), 7, QString()};
  EXPECT_TRUE(SaveImage(nullptr, path("x.png"), kImageFormatPng, &error).isEmpty());
  EXPECT_EQ(error.code, 7);
  FLImage empty;
  FLImageSaveRequest request;
  EXPECT_FALSE(SaveImageCore(&empty, request, 0, 0));
}

TEST_F(ImageSavingTest, KeptPicturesAreWrittenBackByteForByte) {
  struct Case {
    const char* fixture;
    int32_t format;
    const char* written;
  };
  const Case cases[] = {
      {"frame.emf", kImageFormatUnknown, "kept.emf"},
      {"frame.emf", kImageFormatEmf, "kept.emf"},
      {"frame.pict", kImageFormatPict, "kept.pict"},
      {"ispe.heic", kImageFormatHeic, "kept.heic"},
      {"tiny.gif", kImageFormatGif, "kept.gif"},
      {"red-left.pdf", kImageFormatPdf, "kept.pdf"},
  };
  for (const Case& c : cases) {
    auto image = FLImage::withContentsOfFile(Fixture(c.fixture));
    ASSERT_TRUE(image) << c.fixture;
    const QString written = SaveImage(image.get(), path("kept"), c.format, nullptr);
    EXPECT_EQ(written, path(c.written)) << c.fixture;
    EXPECT_EQ(ReadFile(written), ReadFile(Fixture(c.fixture))) << c.fixture;
    QFile::remove(written);
  }
  // At another size a kept picture has nothing to write.
  auto emf = FLImage::withContentsOfFile(Fixture("frame.emf"));
  EXPECT_TRUE(SaveImage(emf.get(), path("small"), kImageFormatUnknown, nullptr, QSizeF(10, 5)).isEmpty());
}

TEST_F(ImageSavingTest, EncodesIntoMemoryWithoutAPath) {
  auto image = Transparent();
  FLImageSaveRequest request;
  ASSERT_TRUE(SaveImageCore(image.get(), request, 0, 0));
  EXPECT_EQ(request.format, kImageFormatPng);
  EXPECT_EQ(request.extension, QStringLiteral("png"));
  EXPECT_EQ(request.rect, QRectF(0, 0, 8, 6));
  EXPECT_TRUE(request.data.startsWith("\x89PNG"));
  EXPECT_FALSE(request.writeFailed);
  EXPECT_TRUE(TiffFromImage(image.get()).startsWith("II*"));
  auto emf = FLImage::withContentsOfFile(Fixture("frame.emf"));
  EXPECT_TRUE(TiffFromImage(emf.get()).isEmpty());
}

TEST_F(ImageSavingTest, EncoderSettingsByFormat) {
  struct Case {
    int32_t format;
    double quality;
    double lossy;
    int compression;
  };
  const Case cases[] = {
      {kImageFormatHeic, 0.0, 2e-7, 0}, {kImageFormatHeic, 1.5, 1.0, 0}, {kImageFormatJpeg, -1, 0.0, 0},
      {kImageFormatJpeg, 3, 1.0, 0},    {kImageFormatTiff, 1.0, -1, 1},  {kImageFormatTiff, 0.9, -1, 0},
      {kImageFormatPng, 0.5, -1, 0},
  };
  for (const Case& c : cases) {
    FLImageSaveRequest request;
    request.format = c.format;
    request.quality = c.quality;
    SetImageFileInfo(request);
    EXPECT_DOUBLE_EQ(request.lossyQuality, c.lossy) << c.format << " " << c.quality;
    EXPECT_EQ(request.tiffCompression, c.compression) << c.format << " " << c.quality;
  }
}

TEST_F(ImageSavingTest, LimitsForPreviews) {
  struct Case {
    QSizeF size;
    double limit;
    QSizeF expected;
  };
  const Case cases[] = {
      {{3000, 1500}, 1024, {1024, 512}}, {{3000, 1500}, 512, {512, 256}},
      {{400, 300}, 1024, {0, 0}},        {{400, 300}, 512, {0, 0}},
      {{1024, 1024}, 1024, {0, 0}},      {{300, 4000}, 512, {38, 512}},
      {{5000, 2}, 512, {0, 0}},          // too thin to keep a side
  };
  for (const Case& c : cases) EXPECT_EQ(LimitImageSizeForSave(c.size, c.limit), c.expected) << c.size.width();
}

TEST_F(ImageSavingTest, QuicklookPreviewAndThumbnailFollowTheLimits) {
  struct Case {
    QSize size;
    QSize preview;
    QSize thumbnail;
  };
  const Case cases[] = {
      {{3000, 1500}, {1024, 512}, {512, 256}},
      {{400, 300}, {400, 300}, {400, 300}},
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
