// Lists: a list knot around whole paragraphs with list properties on its begin kink; a
// paragraph's level is its style, "list 1" to "list 9" being levels 0 to 8. Making and removing
// lists, changing levels, the numbering cache and the marker text of an entry.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>

struct KnotInfo;
struct PropRecord;

enum : uint32_t { kMarkerInherit = 0, kMarkerBullet = 1, kMarkerCheckbox = 2, kMarkerNumber = 3, kMarkerPicture = 4 };

// The level (0-8) of a paragraph style index, or -1 when it is not a list style.
int32_t ListLevelOfStyle(GlimmetDoc* doc, uint32_t styleIndex);

bool InsertList(GlimmetDoc* doc, const PropRecord* props, bool forceStyle, bool alert);
bool DeleteList(GlimmetDoc* doc);
// Moves the paragraphs from *cp to min(limit, limit2) one level deeper (increase) or shallower.
void ChangeIndent(GlimmetDoc* doc, uint32_t* cp, uint32_t limit, uint32_t limit2, bool increase, uint32_t bound);
void InvalListCache(const DocRange& range);
// The renumber mark on a list knot's begin entry: set when the list's numbering cache must be
// rebuilt before its next marker.
inline constexpr uint32_t kListRenumberMark = 1;
void MarkListForRenumbering(GlimmetDoc* doc, uint32_t listCp);
bool ListNeedsRenumbering(GlimmetDoc* doc, uint32_t listCp);
// The outermost list knot holding cp and, when asked, its properties.
bool FetchList(GlimmetDoc* doc, uint32_t cp, KnotInfo* info, PropRecord* props);
// The marker text of the paragraph at cp in the list beginning at listCp; null when it has none.
QString ListEntryMarker(GlimmetDoc* doc, uint32_t cp, uint32_t listCp, uint32_t level, const PropRecord& props);
