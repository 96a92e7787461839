#include "platform/Pasteboard.h"

#include <QImageReader>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

constexpr std::pair<const char*, const char*> kMimeTypes[] = {
    {kPasteboardCellsType, "application/x-numlet-cells"},
    {kPasteboardFileNamesType, "text/uri-list"},
    {kPasteboardUrlType, "text/uri-list"},
    {kPasteboardLegacyUrlType, "text/uri-list"},
    {kPasteboardFlatRtfdType, "application/x-rtfd"},
    {kPasteboardRtfdType, "application/x-rtfd"},
    {kPasteboardRtfType, "text/rtf"},
    {kPasteboardHtmlType, "text/html"},
    {kPasteboardLegacyHtmlType, "text/html"},
    {kPasteboardStringType, "text/plain"},
    {kPasteboardJpegType, "image/jpeg"},
    {kPasteboardJpeg2000Type, "image/jp2"},
    {kPasteboardTiffType, "image/tiff"},
    {kPasteboardGifType, "image/gif"},
    {kPasteboardPngType, "image/png"},
    {kPasteboardBmpType, "image/bmp"},
    {kPasteboardQtImageType, "application/x-qt-image"},
    {kPasteboardPictureGuidType, "application/x-gmb-picture-guid"},
    {kPasteboardUrlNameType, "application/x-url-name"},
};

bool IsUriListType(const QString& type) {
  return type == QLatin1String(kPasteboardFileNamesType) || type == QLatin1String(kPasteboardUrlType) ||
         type == QLatin1String(kPasteboardLegacyUrlType);
}

}  // namespace

QString MimeTypeForPasteboardType(const QString& type) {
  for (const auto& [name, mime] : kMimeTypes)
    if (type == QLatin1String(name)) return QLatin1String(mime);
  // The image reader's own types are MIME types already.
  if (type.contains(QLatin1Char('/'))) return type;
  return QString();
}

const QStringList& PasteboardImageTypes() {
  static const QStringList types = [] {
    QStringList list{QLatin1String(kPasteboardJpegType), QLatin1String(kPasteboardJpeg2000Type),
                     QLatin1String(kPasteboardTiffType), QLatin1String(kPasteboardGifType),
                     QLatin1String(kPasteboardPngType),  QLatin1String(kPasteboardBmpType)};
    QStringList mimeTypes;
    for (const QString& type : list) mimeTypes.append(MimeTypeForPasteboardType(type));
    for (const QByteArray& type : QImageReader::supportedMimeTypes()) {
      const QString name = QString::fromLatin1(type);
      if (!mimeTypes.contains(name)) {
        list.append(name);
        mimeTypes.append(name);
      }
    }
    list.append(QLatin1String(kPasteboardQtImageType));
    return list;
  }();
  return types;
}

bool PasteboardHasType(const QMimeData& data, const QString& type) {
  if (IsUriListType(type)) {
    if (!data.hasUrls()) return false;
    const QList<QUrl> urls = data.urls();
    const bool files = type == QLatin1String(kPasteboardFileNamesType);
    return std::any_of(urls.begin(), urls.end(), [&](const QUrl& url) { return url.isLocalFile() == files; });
  }
  if (type == QLatin1String(kPasteboardQtImageType)) return data.hasImage();
  const QString mime = MimeTypeForPasteboardType(type);
  return !mime.isEmpty() && data.hasFormat(mime);
}

QByteArray PasteboardData(const QMimeData& data, const QString& type) {
  const QString mime = MimeTypeForPasteboardType(type);
  return mime.isEmpty() ? QByteArray() : data.data(mime);
}

void PasteboardSetData(QMimeData& data, const QString& type, const QByteArray& bytes) {
  const QString mime = MimeTypeForPasteboardType(type);
  if (!mime.isEmpty()) data.setData(mime, bytes);
}
