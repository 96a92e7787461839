// HTML of the sheet: the page the export writes for a range, and the escaping of cell texts
// in it.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QString>

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
