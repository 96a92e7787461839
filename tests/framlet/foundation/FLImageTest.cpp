#include "framlet/foundation/FLImage.h"

#include "ImageTestSupport.h"
#include "framlet/foundation/flImageSupport.h"
#include "platform/HeifCodec.h"
#include "support/TestData.h"

#include <QBuffer>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class ImageTest : public testing::Test {
 protected:
  void SetUp() override { StartKernel(); }
};

QString Fixture(const char* name) { return TestDataPath(QStringLiteral("images/") + QLatin1String(name)); }

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray PngOf(const QImage& image) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return data;
}

QImage Rendered(const FLImage& image, QSize size, QColor background = Qt::white) {
  QImage canvas = Canvas(size.width(), size.height(), background);
  QPainter painter(&canvas);
  image.draw(painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return canvas;
}

TEST_F(ImageTest, ReadsFilesByContentAndRefusesOthers) {
  auto png = FLImage::withContentsOfFile(Fixture("rgba-2x2.png"));
  ASSERT_TRUE(png);
  EXPECT_EQ(png->size(), QSizeF(2, 2));
  EXPECT_EQ(png->sourceFormat(), kImageFormatPng);
  EXPECT_FALSE(png->isUndecoded());

  auto gif = FLImage::withContentsOfFile(Fixture("tiny.gif"));
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->size(), QSizeF(1, 1));

  QTemporaryDir dir;
  const QString text = dir.filePath(QStringLiteral("not-a-picture.png"));
  QFile file(text);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("just some words, no picture at all");
  file.close();
  EXPECT_FALSE(FLImage::withContentsOfFile(text));
  EXPECT_FALSE(FLImage::withContentsOfFile(dir.filePath(QStringLiteral("missing.png"))));
  EXPECT_FALSE(FLImage::withContentsOfFile(QString()));
  EXPECT_FALSE(FLImage::withData(QByteArray()));
  // A truncated PNG is no image either.
  EXPECT_FALSE(FLImage::withData(ReadFile(Fixture("rgba-2x2.png")).left(30)));
}

TEST_F(ImageTest, BytesWithoutASignatureNeedTheirExtension) {
  // A 16 x 16 WBMP: its format has no signature, so almost any bytes would pass for one.
  QByteArray wbmp("\x00\x00\x10\x10", 4);
  wbmp.append(QByteArray(32, '\xFF'));
  EXPECT_FALSE(FLImage::withData(wbmp));
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("plain.wbmp"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(wbmp);
  file.close();
  auto image = FLImage::withContentsOfFile(path);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), QSizeF(16, 16));
}

TEST_F(ImageTest, PdfPageHasItsSizeInPointsAndSharpPixels) {
  auto pdf = FLImage::withContentsOfFile(Fixture("red-left.pdf"));
  ASSERT_TRUE(pdf);
  EXPECT_EQ(pdf->size(), QSizeF(144, 72));
  EXPECT_EQ(ImageSizeFromReps(pdf.get()), QSizeF(144, 72));
  ASSERT_EQ(pdf->representations().size(), 1);
  EXPECT_EQ(pdf->representations().first().width(), 288);  // rendered at twice the points
  const QImage drawn = Rendered(*pdf, QSize(144, 72));
  EXPECT_EQ(drawn.pixelColor(30, 36), QColor(255, 0, 0));
  EXPECT_EQ(drawn.pixelColor(110, 36), QColor(255, 255, 255));
}

TEST_F(ImageTest, UndecodablePicturesKeepTheirBytesAndFrame) {
  // ispe.heic is a HEIC header without image data: libheif cannot decode it either.
  struct Case {
    const char* file;
    int32_t format;
    QSizeF size;
  };
  const Case cases[] = {
      {"frame.emf", kImageFormatEmf, {144, 72}},
      {"frame.pict", kImageFormatPict, {100, 40}},
      {"ispe.heic", kImageFormatHeic, {320, 200}},
  };
  for (const Case& c : cases) {
    auto image = FLImage::withContentsOfFile(Fixture(c.file));
    ASSERT_TRUE(image) << c.file;
    EXPECT_TRUE(image->isUndecoded()) << c.file;
    EXPECT_FALSE(image->isNull()) << c.file;
    EXPECT_EQ(image->sourceFormat(), c.format) << c.file;
    EXPECT_EQ(image->sourceData(), ReadFile(Fixture(c.file))) << c.file;
    // No representation reports a size, so the picture's own frame is the size.
    EXPECT_EQ(ImageSizeFromReps(image.get()), QSizeF(0, 0)) << c.file;
    EXPECT_EQ(image->size(), c.size) << c.file;
    // It draws as a placeholder, not as nothing.
    const QImage drawn = Rendered(*image, QSize(40, 20), Qt::red);
    EXPECT_NE(drawn.pixelColor(20, 4), QColor(Qt::red)) << c.file;
  }
}

TEST_F(ImageTest, HeicPicturesAreDecodedByLibheif) {
  if (!CanDecodeHeif()) GTEST_SKIP() << "libheif has no HEVC decoder here";
  // 16 x 8, red left and blue right, written by libheif's encoder (tools/make_heic_fixture.cpp).
  const QByteArray bytes = ReadFile(Fixture("halves-16x8.heic"));
  QMimeData mime;
  mime.setData(QStringLiteral("image/heic"), bytes);
  std::unique_ptr<FLImage> images[] = {FLImage::withContentsOfFile(Fixture("halves-16x8.heic")),
                                       FLImage::withData(bytes), FLImage::withPasteboard(&mime, 1.0)};
  for (const auto& image : images) {
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->isUndecoded());
    EXPECT_EQ(image->sourceFormat(), kImageFormatHeic);
    EXPECT_EQ(image->sourceData(), bytes);
    EXPECT_EQ(ImageSizeFromReps(image.get()), QSizeF(16, 8));
    EXPECT_EQ(image->size(), QSizeF(16, 8));
    const QImage drawn = Rendered(*image, QSize(16, 8));
    EXPECT_NEAR(drawn.pixelColor(2, 4).red(), 255, 12);
    EXPECT_NEAR(drawn.pixelColor(2, 4).blue(), 0, 12);
    EXPECT_NEAR(drawn.pixelColor(13, 4).red(), 0, 12);
    EXPECT_NEAR(drawn.pixelColor(13, 4).blue(), 255, 12);
  }
  EXPECT_TRUE(FLImage::fileExtensions().contains(QStringLiteral("heic")));
}

TEST_F(ImageTest, SizeComesFromTheCacheThenRepresentationsThenItsOwn) {
  auto empty = FLImage::withSize(QSizeF(30, 20));
  EXPECT_EQ(empty->size(), QSizeF(30, 20));
  EXPECT_TRUE(empty->isNull());

  FLImage image;
  image.addRepresentation(Canvas(12, 8));
  EXPECT_EQ(image.size(), QSizeF(12, 8));
  image.setCachedSize(QSizeF(6, 4));
  EXPECT_EQ(image.size(), QSizeF(6, 4));
  image.setCachedSize(QSizeF(0, 4));  // one unknown side: asked again
  EXPECT_EQ(image.size(), QSizeF(12, 8));
  EXPECT_EQ(image.cachedSize(), QSizeF(12, 8));
}

TEST_F(ImageTest, RequestedSizeRedrawsOnlyWhenItDiffers) {
  auto image = FLImage::withData(PngOf(Canvas(20, 10, Qt::blue)));
  ASSERT_TRUE(image);
  FLImage* original = image.get();

  image = FLImage::newImageWithRequestedSize(std::move(image), QSizeF(20, 10));
  EXPECT_EQ(image.get(), original);
  EXPECT_EQ(image->cachedSize(), QSizeF(20, 10));

  image = FLImage::newImageWithRequestedSize(std::move(image), QSizeF(0, 5));
  EXPECT_EQ(image.get(), original);

  image = FLImage::newImageWithRequestedSize(std::move(image), QSizeF(8, 4));
  EXPECT_NE(image.get(), original);
  EXPECT_EQ(image->size(), QSizeF(8, 4));
  EXPECT_EQ(ImageSizeFromReps(image.get()), QSizeF(8, 4));
  EXPECT_EQ(image->bitmap().pixelColor(4, 2), QColor(Qt::blue));

  auto sized = FLImage::withData(PngOf(Canvas(20, 10, Qt::blue)), QSizeF(40, 20));
  ASSERT_TRUE(sized);
  EXPECT_EQ(sized->size(), QSizeF(40, 20));
}

TEST_F(ImageTest, RequestedSizeOfAKeptPictureOnlySetsTheSize) {
  auto emf = FLImage::withContentsOfFile(Fixture("frame.emf"), QSizeF(72, 36));
  ASSERT_TRUE(emf);
  EXPECT_EQ(emf->size(), QSizeF(72, 36));
  EXPECT_TRUE(emf->isUndecoded());
  EXPECT_EQ(emf->sourceData(), ReadFile(Fixture("frame.emf")));
}

TEST_F(ImageTest, BitmapsTakeZeroSidesFromThePixels) {
  const QImage bitmap = Canvas(7, 5, Qt::green);
  auto whole = FLImage::withCGImage(bitmap, QSizeF(0, 0));
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->size(), QSizeF(7, 5));
  auto wide = FLImage::withCGImage(bitmap, QSizeF(14, 0));
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->size(), QSizeF(14, 5));
  EXPECT_FALSE(FLImage::withCGImage(QImage(), QSizeF(3, 3)));
}

TEST_F(ImageTest, PasteboardImageOnADoubleScaleScreenReportsHalfItsPixels) {
  QMimeData mime;
  mime.setData(QStringLiteral("image/png"), PngOf(Canvas(40, 20, Qt::blue)));
  auto doubled = FLImage::withPasteboard(&mime, 2.0);
  ASSERT_TRUE(doubled);
  EXPECT_EQ(doubled->size(), QSizeF(20, 10));
  EXPECT_EQ(ImageSizeFromReps(doubled.get()), QSizeF(20, 10));
  EXPECT_EQ(doubled->bitmap().width(), 40);  // the pixels are kept

  auto single = FLImage::withPasteboard(&mime, 1.0);
  ASSERT_TRUE(single);
  EXPECT_EQ(single->size(), QSizeF(40, 20));
}

TEST_F(ImageTest, PasteboardFallsBackToImageDataAndFileUrls) {
  QMimeData imageData;
  imageData.setImageData(Canvas(6, 3, Qt::red));
  auto fromData = FLImage::withPasteboard(&imageData, 1.0);
  ASSERT_TRUE(fromData);
  EXPECT_EQ(fromData->size(), QSizeF(6, 3));

  QMimeData urls;
  urls.setUrls({QUrl::fromLocalFile(Fixture("opaque-3x2.png"))});
  auto fromFile = FLImage::withPasteboard(&urls, 1.0);
  ASSERT_TRUE(fromFile);
  EXPECT_EQ(fromFile->size(), QSizeF(3, 2));

  QMimeData text;
  text.setText(QStringLiteral("no picture here"));
  EXPECT_FALSE(FLImage::withPasteboard(&text, 1.0));
  EXPECT_FALSE(FLImage::withPasteboard(nullptr, 1.0));
}

TEST_F(ImageTest, CopiesThroughTheEncoderKeepThePixels) {
  auto original = FLImage::withContentsOfFile(Fixture("rgba-2x2.png"));
  ASSERT_TRUE(original);
  auto copy = FLImage::withImage(original.get());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->size(), QSizeF(2, 2));
  const QImage a = original->bitmap().convertToFormat(QImage::Format_ARGB32);
  const QImage b = copy->bitmap().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(a, b);  // transparent, so PNG: lossless

  auto scaled = FLImage::withImage(original.get(), QSizeF(4, 4));
  ASSERT_TRUE(scaled);
  EXPECT_EQ(scaled->size(), QSizeF(4, 4));
  EXPECT_FALSE(FLImage::withImage(nullptr));

  auto emf = FLImage::withContentsOfFile(Fixture("frame.emf"));
  auto emfCopy = FLImage::withImage(emf.get());
  ASSERT_TRUE(emfCopy);
  EXPECT_EQ(emfCopy->sourceData(), emf->sourceData());
}

TEST_F(ImageTest, DrawingStaysUprightInAFlippedContext) {
  QImage twoRows = Canvas(1, 2, Qt::red);
  twoRows.setPixelColor(0, 1, Qt::blue);
  auto image = FLImage::withCGImage(twoRows, QSizeF(0, 0));
  for (const bool flipped : {false, true}) {
    QImage canvas = Canvas(10, 20);
    QPainter painter(&canvas);
    if (flipped) FlipContext(painter, QRectF(0, 0, 10, 20));
    image->drawInRectNormally(painter, QRectF(0, 0, 10, 20));
    painter.end();
    EXPECT_EQ(canvas.pixelColor(5, 2), QColor(Qt::red)) << flipped;
    EXPECT_EQ(canvas.pixelColor(5, 17), QColor(Qt::blue)) << flipped;
  }
}

TEST_F(ImageTest, ListsReadableExtensionsAndFindsNamedImages) {
  const QStringList extensions = FLImage::fileExtensions();
  for (const char* extension : {"png", "jpg", "jpeg", "tiff", "tif", "gif", "bmp", "pdf"})
    EXPECT_TRUE(extensions.contains(QLatin1String(extension))) << extension;

  QTemporaryDir dir;
  ASSERT_TRUE(Canvas(5, 4, Qt::green).save(dir.filePath(QStringLiteral("Dot.png"))));
  FLImage::setNamedImageFolders({dir.path()});
  auto dot = FLImage::imageNamed(QStringLiteral("Dot"));
  ASSERT_TRUE(dot);
  EXPECT_EQ(dot->size(), QSizeF(5, 4));
  EXPECT_TRUE(FLImage::imageNamed(QStringLiteral("Dot.png")));
  EXPECT_FALSE(FLImage::imageNamed(QStringLiteral("NoSuchImage")));
  EXPECT_TRUE(FLImage::imageNamed(QLatin1String(kFLStopProgressTemplateImageName)));
  FLImage::setNamedImageFolders({QStringLiteral(":/images")});
}

}  // namespace
