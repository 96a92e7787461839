#include "framlet/foundation/flImageSupport.h"

#include "ImageTestSupport.h"
#include "framlet/foundation/flBase.h"
#include "support/LogCapture.h"
#include "support/TestData.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {

class ImageSupportTest : public testing::Test {
 protected:
  void SetUp() override { StartKernel(); }
  void TearDown() override { GetFLThreadStorage()[0] = 0; }
};

TEST_F(ImageSupportTest, FormatsFromSignatures) {
  const std::pair<const char*, int32_t> cases[] = {
      {"rgba-2x2.png", kImageFormatPng}, {"red-left.pdf", kImageFormatPdf},
      {"frame.emf", kImageFormatEmf},    {"frame.pict", kImageFormatPict},
      {"tiny.gif", kImageFormatGif},     {"ispe.heic", kImageFormatHeic},
  };
  for (const auto& [name, format] : cases) {
    QFile file(TestDataPath(QStringLiteral("images/") + QLatin1String(name)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    EXPECT_EQ(ImageFormatFromData(file.readAll()), format) << name;
  }
  EXPECT_EQ(ImageFormatFromData(QByteArray("\xFF\xD8\xFF\xE0", 4)), kImageFormatJpeg);
  EXPECT_EQ(ImageFormatFromData(QByteArray("MM\0*", 4)), kImageFormatTiff);
  EXPECT_EQ(ImageFormatFromData(QByteArray("hello")), kImageFormatUnknown);
  EXPECT_EQ(ImageFormatFromData(QByteArray()), kImageFormatUnknown);
}

TEST_F(ImageSupportTest, LockedFocusDrawsIntoTheImage) {
  auto image = FLImage::withCGImage(Canvas(10, 10, Qt::white), QSizeF(0, 0));
  ASSERT_TRUE(LockImageFocus(image.get()));
  EXPECT_EQ(GetFLThreadStorage()[0], 1);
  QPainter* painter = CurrentQuartzContext();
  ASSERT_NE(painter, nullptr);
  painter->fillRect(QRectF(0, 0, 5, 10), Qt::red);
  UnlockImageFocus(image.get());
  EXPECT_EQ(GetFLThreadStorage()[0], 0);
  EXPECT_EQ(CurrentQuartzContext(), nullptr);
  ASSERT_EQ(image->representations().size(), 1);
  EXPECT_EQ(image->bitmap().pixelColor(2, 5), QColor(Qt::red));
  EXPECT_EQ(image->bitmap().pixelColor(7, 5), QColor(Qt::white));  // the old picture stays under it
}

TEST_F(ImageSupportTest, SecondLockIsReportedAndStillLocks) {
  LogCapture log;
  auto first = FLImage::withSize(QSizeF(4, 4));
  auto second = FLImage::withSize(QSizeF(6, 6));
  ASSERT_TRUE(LockImageFocus(first.get()));
  EXPECT_FALSE(log.contains("UnlockFocus not called"));
  ASSERT_TRUE(LockImageFocus(second.get()));
  EXPECT_TRUE(log.contains("UnlockFocus not called after last LockImageFocus"));
  EXPECT_EQ(CurrentQuartzContext(), second->focusPainter());
  CurrentQuartzContext()->fillRect(QRectF(0, 0, 6, 6), Qt::blue);
  UnlockImageFocus(second.get());
  EXPECT_EQ(second->bitmap().pixelColor(3, 3), QColor(Qt::blue));
  // The first lock's state is lost: unlocking it does nothing more.
  UnlockImageFocus(first.get());
  first.reset();  // its painter leaves the context stack with it
  EXPECT_EQ(CurrentQuartzContext(), nullptr);
}

TEST_F(ImageSupportTest, DestroyingTheLockedImageEndsTheLock) {
  auto image = FLImage::withSize(QSizeF(3, 3));
  ASSERT_TRUE(LockImageFocus(image.get()));
  image.reset();
  EXPECT_EQ(GetFLThreadStorage()[0], 0);
  EXPECT_EQ(CurrentQuartzContext(), nullptr);
  LogCapture log;
  auto next = FLImage::withSize(QSizeF(3, 3));
  ASSERT_TRUE(LockImageFocus(next.get()));
  EXPECT_FALSE(log.contains("UnlockFocus not called"));
  UnlockImageFocus(next.get());
}

TEST_F(ImageSupportTest, MissingNamedImagesAreReplacedAndReported) {
  QTemporaryDir dir;
  ASSERT_TRUE(Canvas(3, 3).save(dir.filePath(QStringLiteral("Here.png"))));
  FLImage::setNamedImageFolders({dir.path()});
  LogCapture log;
  const auto images = ImagesFromNames({QStringLiteral("Here"), QStringLiteral("Gone"), QStringLiteral("AlsoGone")});
  FLImage::setNamedImageFolders({QStringLiteral(":/images")});
  ASSERT_EQ(images.size(), 3u);
  for (const auto& image : images) EXPECT_TRUE(image);
  EXPECT_EQ(images[0]->size(), QSizeF(3, 3));
  EXPECT_FALSE(log.contains("Missing image 0"));
  EXPECT_TRUE(log.contains("Missing image 1"));
  EXPECT_TRUE(log.contains("Missing image 2"));
}

}  // namespace
