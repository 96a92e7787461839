#include "framlet/foundation/FLImage.h"

#include "ImageTestSupport.h"
#include "framlet/foundation/flImageSupport.h"
#include "platform/HeifCodec.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's allocator hooks (its header does not come with every compiler).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                         void (*onFree)(const volatile void*));
#endif

namespace {

class ImageTest : public KernelTest {};


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
  ASSERT_TRUE(WriteFileBytes(text, "just some words, no picture at all"));
  EXPECT_FALSE(FLImage::withContentsOfFile(text));
  EXPECT_FALSE(FLImage::withContentsOfFile(dir.filePath(QStringLiteral("missing.png"))));
  EXPECT_FALSE(FLImage::withContentsOfFile(QString()));
  EXPECT_FALSE(FLImage::withData(QByteArray()));
  // A truncated PNG is no image either.
  EXPECT_FALSE(FLImage::withData(ReadFileBytes(Fixture("rgba-2x2.png")).left(30)));
}

// What a document names as a picture may be anything: only regular files are read, and a
// device, a FIFO or a folder is refused at once instead of hanging or filling memory.
TEST_F(ImageTest, ReadsOnlyRegularFiles) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath(QStringLiteral("pipe.png"));
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString linkToDevice = dir.filePath(QStringLiteral("zero.png"));
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), linkToDevice));
  const QString linkToPicture = dir.filePath(QStringLiteral("linked.png"));
  ASSERT_TRUE(QFile::link(Fixture("rgba-2x2.png"), linkToPicture));
  const struct {
    QString path;
    bool read;
  } cases[] = {
      {QStringLiteral("/dev/zero"), false},  {QStringLiteral("/dev/urandom"), false},
      {QStringLiteral("/dev/null"), false},  {fifo, false},
      {linkToDevice, false},                 {dir.path(), false},
      {linkToPicture, true},                 {Fixture("rgba-2x2.png"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    QByteArray bytes;
    EXPECT_EQ(FLImage::readPictureFile(c.path, &bytes), c.read);
    EXPECT_EQ(!bytes.isEmpty(), c.read);
    EXPECT_EQ(bool(FLImage::withContentsOfFile(c.path)), c.read);
  }
  // Not timed: a read that hung would meet the suite's own time limit, however loaded the machine.
}

#if defined(__SANITIZE_ADDRESS__)
// The largest block asked for while watching; the allocator's hooks see every one.
std::atomic<bool> g_watchAllocations{false};
std::atomic<size_t> g_largestAllocation{0};
void NoteAllocation(const volatile void*, size_t size) {
  if (!g_watchAllocations) return;
  size_t largest = g_largestAllocation;
  while (size > largest && !g_largestAllocation.compare_exchange_weak(largest, size)) {}
}
void NoteRelease(const volatile void*) {}
#endif

// A picture file is read into as much room as it holds: a package of a few small pictures must
// open under an address-space limit, where room for the largest picture each would not fit.
TEST_F(ImageTest, APictureFileTakesTheRoomItHoldsAndNoMore) {
#if defined(__SANITIZE_ADDRESS__)
  static const int installed = __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteRelease);
  ASSERT_NE(installed, 0);
  g_largestAllocation = 0;
  g_watchAllocations = true;
  QByteArray bytes;
  const bool read = FLImage::readPictureFile(Fixture("rgba-2x2.png"), &bytes);
  g_watchAllocations = false;
  ASSERT_TRUE(read);
  EXPECT_LT(g_largestAllocation.load(), size_t(1) << 20);
#else
  GTEST_SKIP() << "the allocator's hooks come with the address sanitizer";
#endif
}

TEST_F(ImageTest, BytesWithoutASignatureNeedTheirExtension) {
  // A 16 x 16 WBMP: its format has no signature, so almost any bytes would pass for one.
  QByteArray wbmp("\x00\x00\x10\x10", 4);
  wbmp.append(QByteArray(32, '\xFF'));
  EXPECT_FALSE(FLImage::withData(wbmp));
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("plain.wbmp"));
  ASSERT_TRUE(WriteFileBytes(path, wbmp));
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
  struct Case { const char* file; int32_t format; QSizeF size; };
  const Case cases[] = {
      {"frame.emf", kImageFormatEmf, {144, 72}}, {"frame.pict", kImageFormatPict, {100, 40}},
      {"ispe.heic", kImageFormatHeic, {320, 200}},
  };
  for (const Case& c : cases) {
    auto image = FLImage::withContentsOfFile(Fixture(c.file));
    ASSERT_TRUE(image) << c.file;
    EXPECT_TRUE(image->isUndecoded()) << c.file;
    EXPECT_FALSE(image->isNull()) << c.file;
    EXPECT_EQ(image->sourceFormat(), c.format) << c.file;
    EXPECT_EQ(image->sourceData(), ReadFileBytes(Fixture(c.file))) << c.file;
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
  const QByteArray bytes = ReadFileBytes(Fixture("halves-16x8.heic"));
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

}  // namespace
