// Reading text out of a document: raw code units across the piece table, pointers into the
// piece at a cp, a walk over the visible text of a range that hands each piece to a callback,
// and plain-text extraction built on that walk.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>
#include <functional>

struct KnotInfo;
struct Pane;

// Copies up to *count units of [first, limit) (limit kGMNone: the pane range's limit); with a
// pane the fetch stops at the end of the paragraph holding first. *count receives the number copied.
void FetchText(GlimmetDoc* doc, Pane* pane, uint32_t first, uint32_t limit, char16_t* buffer, uint32_t* count);
// The unit at cp and, when asked, the first cp of its piece; a cp outside the text is reported
// and clamped.
const char16_t* DocumentTextPtrBackward(GlimmetDoc* doc, uint32_t cp, uint32_t* pieceFirst);
// The raw units of [first, limit); "" (not null) for an empty range.
QString RawTextString(GlimmetDoc* doc, uint32_t first, uint32_t limit);

// Called with each piece of visible text (knot: the knot it delivers whole, else nullptr); false stops.
using GMFetcher = std::function<bool(const DocRange& piece, Pane* pane, const KnotInfo* knot)>;
// Walks the visible text of the range; the range's first cp advances.
void FetchVisibleText(DocRange* range, Pane* pane, const GMFetcher& fetcher);
// The shown text of a variable knot (a date, a page or chapter number, a reference): the layout,
// which knows them, installs the procedure; without it a variable shows nothing.
using GMVariableTextHook = std::function<QString(GlimmetDoc* doc, const KnotInfo& variable)>;
void SetVariableTextHook(GMVariableTextHook hook);
QString VariableKnotText(GlimmetDoc* doc, const KnotInfo& variable);
// The plain text of a range: paragraph marks as "\n", links as their display text, variables as
// their shown text, tabbed tables
// as tab-separated lines; with markers, paragraph prefixes and suffixes. Null when nothing came out.
QString ExtractPlainText(const DocRange& range, bool markers);
