// Bookmarks and links. A bookmark is a bookmark knot whose first slot holds its GUID string;
// its index is its place among the document's bookmark cps. The bookmark name table maps GUID
// indexes (what variable knots refer to) to bookmark indexes. A link is a link knot of two
// slots: the display text and the URL.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>

// A name whose bookmark was deleted.
inline constexpr int32_t kDeletedBookmark = -1;
// Variable kinds that refer to bookmarks.
bool VariableKindRefersToBookmark(uint32_t kind);

// The raw text of the bookmark knot's first slot; "" past the last bookmark.
QString BookmarkGuid(GlimmetDoc* doc, uint32_t bookmark);
// The bookmark a name refers to; kGMNone for kGMNone, a deleted name or an index past the table.
uint32_t BookmarkIndexForGuidIndex(GlimmetDoc* doc, uint32_t guidIndex);
// The name of a GUID string, or kGMNone.
uint32_t GuidIndexForGuid(GlimmetDoc* doc, const QString& guid);
// Rebuilds the name table from the bookmarks in order.
void IdentifyBookmarks(GlimmetDoc* doc);
// Names of bookmarks in [first, limit) become deleted, later ones move down; their cps go.
void DeleteBookmarks(GlimmetDoc* doc, uint32_t first, uint32_t limit);
// Only the names: those of bookmarks in [first, limit) become deleted, later ones move down.
void ForgetBookmarkNames(GlimmetDoc* doc, uint32_t first, uint32_t limit);
// A fresh GUID string.
QString NewBookmarkGuid();
// Inserts a link at the current pane's selection (or rewrites the link the caret is in).
bool InsertLink(GlimmetDoc* doc, const QString& url, const QString* text);
// An address typed without a scheme: "www." in any case becomes "http://www" followed by the rest
// from the fourth character on; any other text comes back unchanged.
QString NormalizeWwwLink(const QString& link);
