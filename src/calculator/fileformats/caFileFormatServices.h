// The file formats' side of the document's save dispatch, copy and paste: the writers by file
// type and the readers and selection writers that the model reaches through its services table.
// The application installs them at launch, before any document is saved or pasted into.
#pragma once

#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/CAGridPoint.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

class CADocument;
struct FLError;

void InstallFileFormatServices();

// The most bytes a text file of the sheet (delimited text, DIF, a page) may take as written,
// and the most characters of a delimited text for the clipboard. A far cell can ask for
// billions of empty fields; such a text is refused before any of it is made, rather than left
// to run for minutes, exhaust memory or make a file the readers refuse. Half of what a reader
// reads: a text takes twice its bytes and more once it is read.
inline constexpr int64_t kMaxDelimitedTextLength = int64_t(1) << 29;
static_assert(kMaxDelimitedTextLength <= kMaxDocumentFileSize);
inline constexpr int kTextTooLargeCode = -108;
inline constexpr const char* kTextTooLargeReason =
    "The sheet is too large to save as text: its cells lie too far apart.";
// The same where the cells' own text makes the most of it.
inline constexpr const char* kCellTextTooLargeReason =
    "The sheet is too large to save as text: its cells hold too much text.";

// What a table of rich text made from the sheet costs the text engine: every table cell its
// kinks, paragraph mark and run, a cell written into it its text and formats besides, about a
// quarter more in time and memory (bench/benchSheetInterchange). A table that would cost more
// than a dense sheet of 500,000 cells is refused, for RTF and RTFD files and for the clipboard's
// RTF and HTML, before any of it is made.
inline constexpr int64_t kRichTextEmptyCellCost = 4;
inline constexpr int64_t kRichTextWrittenCellCost = 5;
inline constexpr int64_t kMaxRichTextTableCost = 500'000 * kRichTextWrittenCellCost;
inline constexpr const char* kTooManyTableCellsReason =
    "The sheet has too many cells for a rich-text table: %1 cells.";

// Whether a rich-text table of the range (clipped to the sheet) stays within
// kMaxRichTextTableCost. When not, the error gives kTooManyTableCellsReason with the table's
// cells when the sheet's own cells make most of the cost, else kTextTooLargeReason.
bool RichTextTableFits(const CADocument& document, const GridRange& table, FLError* error);

// The cells of the block as comma- (YES) or tab-separated lines, each as wide as the block,
// from the block's first row to the last row that exists within it, in UTF-8. A text of more
// than `most` bytes is not given: the result is null and *tooLarge, when given, is set. What the
// block's shape asks (a separator for every field of every row) is counted before any of it is
// made, the fields' own bytes as they are written.
// *cellText, when given, tells a refusal's reason: the fields' own text passed half the bound
// (kCellTextTooLargeReason), else the empty fields between them (kTextTooLargeReason).
QByteArray DelimitedBytesOfBlock(const CADocument& document, const GridRange& block, bool commas, int64_t most,
                                 bool* tooLarge = nullptr, bool* cellText = nullptr);
// The same as text, of at most kMaxDelimitedTextLength characters, for the clipboard: with tabs
// it is the plain text other programs read, the cells' texts quoted nowhere, a tab between cells
// and a line break between rows (none after the last).
QString DelimitedTextOfBlock(const CADocument& document, const GridRange& block, bool commas,
                             bool* tooLarge = nullptr);
