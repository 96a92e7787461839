// The editing layer above the edit primitive: copying a range of one document into another
// (text, property runs re-expressed on the destination's styles, knots, bookmarks), the
// process-wide clipboard document, typed-text insertion with given character properties, and
// the caret codes of find and replace strings.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>

struct PropRecord;

// The clipboard document (kind 0), replaced as a whole.
extern GlimmetDoc* g_clipboardDoc;
// A new clipboard document, replacing the previous one; range: its body before the final mark.
bool NewGlobalClipDocument(DocRange* range);

// Installs the cross-document copy in the edit primitive (done once at launch, and by tests).
void InstallDocumentCopy();
// Copies the source range to the insertion point target; target becomes the copy's range.
bool CopyDocumentRange(DocRange* target, const DocRange& source);

// Inserts typed text with the character properties; on success the range is the insertion
// point after the new text.
bool InsertNewText(DocRange* range, const char16_t* text, uint32_t length, const PropRecord& charProps);
// Copies a range inside a table of another document to the insertion point.
bool CopyTablePiece(DocRange* destination, const DocRange& source);

// Rewrites the caret codes of a find or replace string in place ("^t" a tab, "^p" a paragraph
// mark...); the special finds only when the whole string is one and special is set.
void TranslateCodes(QString& text, bool special);
