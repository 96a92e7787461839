// The spreadsheet's native package as the reader finds it: its entry names, the password file,
// the key table every decoder of the format carries, and the parsing of the document-level
// texts (selection, padding, window rectangle, picture ids). The writer uses the same names.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/FLXmlDecoder.h"

#include <QRectF>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

class CADocument;

inline constexpr const char* kPackageExtension = "Numlet";
inline constexpr const char* kDocumentXmlName = "document.xml";
inline constexpr const char* kPasswordFileName = "password.txt";
inline constexpr const char* kAutosavePathFileName = "path.txt";
// The images folder's name is the picture class's own (kImagesFolderName, CAPicture.h).

// Posted when idle, with the document as object, when a protected package waits for its
// password; the window controller asks for it and then calls loadXmlFile.
inline constexpr const char* kPasswordNotification = "numlet.password";

inline constexpr const char* kImageUnreadableReason = "An image could not be read";
inline constexpr int kImageUnreadableCode = -43;

inline constexpr int32_t kSpreadsheetXmlVersion = 1;

// The image format words of a "pic" element's "format" attribute, by image format code 0-9.
std::span<const char* const> ImageFormatWords();

// The format's key table, built once from the tag list: installed on every decoder of the
// format, so reading never depends on what was registered process-wide.
std::shared_ptr<const FLXmlKeyTable> SpreadsheetKeyTable();
void PrepareSpreadsheetDecoder(FLXmlDecoder& decoder);

// "password.txt": the check value on the first line, the hint on the second.
struct CAPasswordFile {
  QString checkValue;
  QString hint;
};
// The file's two lines; nothing when it cannot be read, is not UTF-8 or has no second line
// (no line feed) or an empty check value.
std::optional<CAPasswordFile> ReadPasswordFile(const QString& path);
// The text the writer stores: "%@\n%@\n".
QString PasswordFileText(const QString& checkValue, const QString& hint);

// A picture id becomes a file name in "Images" when the document is saved in place, so only
// names that cannot leave the folder are taken: letters, digits and "-", at most 128 of them.
bool IsValidPictureId(const QString& id);

// "sel": two grid point texts joined by ":"; the range runs from the smaller to the larger
// coordinates. Anything else gives the all-zero range.
GridRange SelectionFromString(const QString& text);
QString StringFromSelection(const GridRange& range);
// "pad": "x,y" in EMU; anything without two parts gives 0,0.
GridPoint PaddingFromString(const QString& text);
// The platform's rectangle notation "{{x, y}, {w, h}}"; missing numbers read as 0, as the
// platform's own reader takes them.
QRectF RectFromString(const QString& text);
QString StringFromRect(const QRectF& rect);

// A grid point read from a document-level element: plain coordinates, negative ones and
// wildcards (which no cell has) made 0.
GridPoint CellPointFromString(const QString& text);
