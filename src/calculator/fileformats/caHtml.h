// HTML of the sheet: the page the export writes for a range, and the escaping of cell texts
// in it.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

class CADocument;
struct FLError;

// A cell text as page text: "&", "<", ">" and '"' as entities, no-break spaces as "&#160;",
// line and page breaks as "<br />", other control characters as "&#032;".
QString EscapeCellTextForHtml(const QString& text);
// The page of the range. folder: where an "images" folder for picture cells may be made (null:
// pictures are left out, as for the pasteboard). NO, with the error, when a picture could not
// be written.
bool ExportRangeAsHtml(const CADocument& document, const GridRange& range, const QString& folder, QString* page,
                       FLError* error);
// The same in UTF-8, refused with kTextTooLargeReason when the page would take more than `most`
// bytes: its size is counted from the cells and the range's shape before any row is made.
// beforeRows, when given, runs once the page is known to fit (it makes the page's folder); NO
// from it ends the export.
bool ExportRangeAsHtml(const CADocument& document, const GridRange& range, const QString& folder, QByteArray* page,
                       FLError* error, int64_t most, const std::function<bool()>& beforeRows);
