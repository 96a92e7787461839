// Reading rich text held in a QTextDocument (what the HTML reader makes, or pasted rich text)
// into a text-engine document: text with its character and paragraph formatting, tables with
// their column widths, paddings and cell backgrounds, lists with their markers, links and
// pictures. The spreadsheet reads HTML this way and then turns the engine document into cells.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>
#include <memory>

class QTextDocument;

// What a list marker keyword of a marker format ("{decimal}", "{disc}") stands for: a number
// format, or a bullet character.
struct GMMarkerInfo {
  const char* keyword;
  bool bullet;
  uint32_t value;  // the number format, or the bullet character
};
// The row of a keyword (ignoring case), or nullptr.
const GMMarkerInfo* MarkerInfoForKeyword(const QString& keyword);

// Inserts a picture knot for the image (an FLImage) at the insertion point, at its natural size
// on the baseline; the range becomes the knot's. path: the image's file, when it has one.
bool InsertPictureKnot(DocRange* at, std::shared_ptr<void> image, const QString& path);

// Reads the text into the document's body, after what it holds. NO when text, a picture, a
// link or a table could not be inserted; what came in before stays.
bool ImportAttributedText(GlimmetDoc* doc, const QTextDocument& text);
