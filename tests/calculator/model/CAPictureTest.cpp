// Pictures: registration under their guid, sharing across documents, archives and files.
#include <gtest/gtest.h>

#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "framlet/foundation/flImageSupport.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

std::shared_ptr<FLImage> RedSquare() {
  QImage bitmap(8, 8, QImage::Format_ARGB32);
  bitmap.fill(Qt::red);
  return FLImage::withCGImage(bitmap, QSizeF(8, 8));
}

TEST(Picture, ArchivesAndWritesAnUnsavedPictureAsTiff) {
  CADocument document;
  std::shared_ptr<CAPicture> picture = CAPicture::withImage(RedSquare(), &document);
  int32_t format = 0;
  const QString archive = picture->archive(&format);
  EXPECT_EQ(format, kImageFormatTiff);
  CADocument other;
  std::shared_ptr<CAPicture> back = CAPicture::withArchive(archive, QStringLiteral("G1"), format, &other);
  EXPECT_EQ(back->image()->size(), QSizeF(8, 8));
  EXPECT_FALSE(CAPicture::withArchive(QStringLiteral("not base64 !"), QStringLiteral("G2"), 4, &other));

  QTemporaryDir folder;
  picture->setSaveGuid(QStringLiteral("S1"));
  FLError error;
  EXPECT_TRUE(picture->saveToFolder(folder.path(), &error)) << error.reason.toStdString();
  EXPECT_TRUE(QFileInfo::exists(QDir(folder.path()).filePath(QStringLiteral("S1.tiff"))));
}

TEST(Picture, ReadsFilesAndRefusesOthers) {
  QTemporaryDir folder;
  const QString path = QDir(folder.path()).filePath(QStringLiteral("red.png"));
  ASSERT_TRUE(RedSquare()->bitmap().save(path));
  CADocument document;
  std::shared_ptr<CAPicture> picture = CAPicture::withFile(path, QStringLiteral("RED"), &document);
  EXPECT_EQ(picture->imageFormat(), kImageFormatPng);
  EXPECT_EQ(document.pictures().value(QStringLiteral("RED")), picture);
  EXPECT_FALSE(CAPicture::withFile(QDir(folder.path()).filePath(QStringLiteral("none.png")), &document));
}

TEST(Picture, AVectorPictureIsKeptAsPdfWhateverTheCaseOfItsExtension) {
  // The reader judges the bytes; the extension alone sends the picture through the PDF path.
  QTemporaryDir folder;
  const QString path = QDir(folder.path()).filePath(QStringLiteral("drawing.SVG"));
  ASSERT_TRUE(RedSquare()->bitmap().save(path, "PNG"));
  CADocument document;
  std::shared_ptr<CAPicture> picture = CAPicture::withFile(path, &document);
  EXPECT_EQ(CAPicture::extensionForFormat(picture->imageFormat()), QStringLiteral("pdf"));
  EXPECT_EQ(picture->image()->size(), QSizeF(8, 8));
  EXPECT_EQ(document.pictures().value(picture->guid()), picture);

  // A picture copied into another document keeps its name and format there.
  CADocument other;
  std::shared_ptr<CAPicture> copy = picture->copyForDocument(&other);
  EXPECT_EQ(copy->imageFormat(), kImageFormatPdf);
  EXPECT_EQ(other.pictures().value(picture->guid()), copy);
}

}  // namespace
