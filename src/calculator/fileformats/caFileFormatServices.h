// The file formats' side of the document's save dispatch, copy and paste: the writers by file
// type and the readers and selection writers that the model reaches through its services table.
// The application installs them at launch, before any document is saved or pasted into.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QString>

#include <cstdint>

class CADocument;
struct FLError;

void InstallFileFormatServices();

// The most characters a delimited text of the sheet may take. A far cell can ask for billions of
// empty fields; such a text is refused rather than left to run for hours or exhaust memory.
inline constexpr int64_t kMaxDelimitedTextLength = int64_t(1) << 29;
// The most cells (rows times columns) of the table that RTF of the sheet is made from: every
// cell, empty or not, costs the text engine its kinks, marks and runs, so a far cell would make
// a table of millions of rows. Such a save is refused like a text too large.
inline constexpr int64_t kMaxRichTextTableCells = 100000;
inline constexpr int kTextTooLargeCode = -108;
inline constexpr const char* kTextTooLargeReason =
    "The sheet is too large to save as text: its cells lie too far apart.";

// Whether every cell of the range, each costing at least costPerCell, stays within limit. When
// not, the error gives kTextTooLargeReason: an export that cannot skip empty rows asks this
// before it makes anything row by row.
bool RangeFitsWithin(const GridRange& range, int64_t costPerCell, int64_t limit, FLError* error);
// The same for a text of the range whose cells take at least charactersPerCell characters each.
inline bool TextOfRangeFits(const GridRange& range, int64_t charactersPerCell, FLError* error) {
  return RangeFitsWithin(range, charactersPerCell, kMaxDelimitedTextLength, error);
}

// The cells of the block as comma- (YES) or tab-separated lines, each as wide as the block,
// from the block's first row to the last row that exists within it. A text longer than
// kMaxDelimitedTextLength is not made: the result is null and *tooLarge, when given, is set.
QString DelimitedTextOfBlock(const CADocument& document, const GridRange& block, bool commas,
                             bool* tooLarge = nullptr);
