// The pasteboard's type names as the program knows them ("numlet.cells", the RTF type, the file
// names type, the image types, ...) and the MIME types the Qt clipboard carries them under. The
// table is the one place where the two sets of names meet; readers ask it instead of spelling
// MIME types themselves.
#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

// The program's own type names.
inline constexpr const char* kPasteboardCellsType = "numlet.cells";
inline constexpr const char* kPasteboardFileNamesType = "NSFilenamesPboardType";
inline constexpr const char* kPasteboardUrlType = "public.url";
inline constexpr const char* kPasteboardLegacyUrlType = "Apple URL pasteboard type";
inline constexpr const char* kPasteboardFlatRtfdType = "com.apple.flat-rtfd";
inline constexpr const char* kPasteboardRtfdType = "com.apple.rtfd";
inline constexpr const char* kPasteboardRtfType = "public.rtf";
inline constexpr const char* kPasteboardHtmlType = "public.html";
inline constexpr const char* kPasteboardLegacyHtmlType = "Apple HTML pasteboard type";
inline constexpr const char* kPasteboardStringType = "public.utf8-plain-text";
inline constexpr const char* kPasteboardJpegType = "public.jpeg";
inline constexpr const char* kPasteboardJpeg2000Type = "public.jpeg-2000";
inline constexpr const char* kPasteboardTiffType = "public.tiff";
inline constexpr const char* kPasteboardGifType = "com.compuserve.gif";
inline constexpr const char* kPasteboardPngType = "public.png";
inline constexpr const char* kPasteboardBmpType = "com.microsoft.bmp";
// The text engine's copied picture, by its identity, and a link's title beside its URL.
inline constexpr const char* kPasteboardPictureGuidType = "gmb.pictureGuid";
inline constexpr const char* kPasteboardUrlNameType = "public.url-name";
// Qt's own image type, which the platform image class reads and writes.
inline constexpr const char* kPasteboardQtImageType = "application/x-qt-image";

// The MIME type a pasteboard type travels under; a MIME type stands for itself; empty for a
// name the table does not know.
QString MimeTypeForPasteboardType(const QString& type);
// The types of pictures on the clipboard: JPEG, JPEG 2000, TIFF, GIF, PNG, BMP, then the MIME
// type of every other format the image reader takes, then Qt's own image type.
const QStringList& PasteboardImageTypes();

// Whether the clipboard data holds the type. File names are local file URLs and a URL any
// other URL of the URI list; the image types also count an image that Qt carries as an image.
bool PasteboardHasType(const QMimeData& data, const QString& type);
// The bytes under the type; empty when there are none.
QByteArray PasteboardData(const QMimeData& data, const QString& type);
void PasteboardSetData(QMimeData& data, const QString& type, const QByteArray& bytes);
