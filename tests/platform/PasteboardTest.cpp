// The table from the program's pasteboard type names to the MIME types of the Qt clipboard,
// and how clipboard data is asked for a type.
#include "platform/Pasteboard.h"

#include <QImage>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

TEST(Pasteboard, TypeNamesMapToTheirMimeTypes) {
  const struct { const char* type; const char* mime; } cases[] = {
      {"numlet.cells", "application/x-numlet-cells"}, {"public.rtf", "text/rtf"},
      {"NSFilenamesPboardType", "text/uri-list"}, {"public.png", "image/png"}, {"no.such.type", ""},
  };
  for (const auto& test : cases)
    EXPECT_EQ(MimeTypeForPasteboardType(QString::fromUtf8(test.type)), QString::fromUtf8(test.mime)) << test.type;
  // The image types in their order, each format once, whatever the image reader adds.
  QStringList mimeTypes;
  for (const QString& type : PasteboardImageTypes()) mimeTypes.append(MimeTypeForPasteboardType(type));
  ASSERT_GE(mimeTypes.size(), 7);
  EXPECT_EQ(mimeTypes.mid(0, 6), (QStringList{QStringLiteral("image/jpeg"), QStringLiteral("image/jp2"),
                                              QStringLiteral("image/tiff"), QStringLiteral("image/gif"),
                                              QStringLiteral("image/png"), QStringLiteral("image/bmp")}));
  EXPECT_EQ(mimeTypes.count(QStringLiteral("image/png")), 1);
  EXPECT_EQ(mimeTypes.last(), QStringLiteral("application/x-qt-image"));
}

TEST(Pasteboard, FileNamesAreLocalUrlsAndImagesCountAsTheQtImageType) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.csv"))});
  EXPECT_TRUE(PasteboardHasType(data, QLatin1String(kPasteboardFileNamesType)));
  EXPECT_FALSE(PasteboardHasType(data, QLatin1String(kPasteboardLegacyUrlType)));
  data.setUrls({QUrl(QStringLiteral("https://example.org/"))});
  EXPECT_FALSE(PasteboardHasType(data, QLatin1String(kPasteboardFileNamesType)));
  EXPECT_TRUE(PasteboardHasType(data, QLatin1String(kPasteboardLegacyUrlType)));

  QImage image(1, 1, QImage::Format_ARGB32);
  image.fill(Qt::blue);
  data.setImageData(image);
  EXPECT_TRUE(PasteboardHasType(data, QLatin1String(kPasteboardQtImageType)));

  PasteboardSetData(data, QLatin1String(kPasteboardCellsType), "<spreadsheet/>");
  EXPECT_TRUE(data.hasFormat(QStringLiteral("application/x-numlet-cells")));
  EXPECT_EQ(PasteboardData(data, QLatin1String(kPasteboardCellsType)), QByteArray("<spreadsheet/>"));
}

}  // namespace
