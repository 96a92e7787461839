// Engine text as the desktop's rich text: a range of an engine document becomes a QTextDocument
// with its character and paragraph formats, tab stops, lists, tables (with cell backgrounds,
// widths, heights and paddings), links and pictures. The dictionary look-up of the engine's view
// hands the selection on in this form.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QTextFormat>

#include <cstdint>
#include <memory>

class QTextDocument;

// What Qt's formats have no field for travels in these properties.
// On a QTextListFormat: the marker text of the list level ("{disc}", "({decimal})", "{box}" ...),
// whose keyword names the marker when the list style cannot.
inline constexpr int kListMarkerFormatProperty = QTextFormat::UserProperty + 0x4701;
// On a QTextListFormat: markers of this level are preceded by those of the enclosing levels.
inline constexpr int kListPrependProperty = QTextFormat::UserProperty + 0x4702;
// On a QTextTableCellFormat: the row's least height and, for an exact height, its greatest, in points.
inline constexpr int kCellMinimumHeightProperty = QTextFormat::UserProperty + 0x4703;
inline constexpr int kCellMaximumHeightProperty = QTextFormat::UserProperty + 0x4704;
// On a QTextBlockFormat with tab stops: a number made from their places and kinds. Qt tells
// formats apart by a hash that sees only how many tab stops a format has, so without it every
// paragraph with as many stops elsewhere is compared with all the others as it comes in.
inline constexpr int kTabStopsKeyProperty = QTextFormat::UserProperty + 0x4705;

// The scheme of the resource names under which pictures are added to the document.
inline constexpr const char* kPictureResourceScheme = "glimmet-picture";

// The rich text of [first, limit). Without paragraph formatting the paragraphs keep their tab
// stops, lists and table cells but lose alignment, indents, spacing and line heights. Font sizes
// are multiplied by fontScale. An empty range gives an empty document; only a missing document
// gives none. A failure on the way is logged and what was made so far is returned.
std::unique_ptr<QTextDocument> ExportAttributedText(GlimmetDoc* doc, uint32_t first, uint32_t limit,
                                                    bool noParaFormat, double fontScale);
