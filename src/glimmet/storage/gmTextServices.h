// Small text services of the text engine, shared with the spreadsheet: whether typed text looks
// like a URL, word and sentence boundaries by character class (through a character-fetch
// callback, so they work on any text), raw bytes to UTF-16, and measuring and centring strings.
#pragma once

#include "platform/TextEncodings.h"

#include <QFont>
#include <QMetaType>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstdint>

// A range of UTF-16 units in a text; location FLNotFound means none.
struct CATextRange {
  uint64_t location = 0x7FFFFFFFFFFFFFFF;
  uint64_t length = 0;
  friend bool operator==(const CATextRange&, const CATextRange&) = default;
};
Q_DECLARE_METATYPE(CATextRange)

// Whether the text looks like a URL: one of the known schemes ("dict", "file", "jotlet",
// "http", "https" with "//", "mailto", "message", "news") before ":", or "www" before "."; at
// least three characters after the separator, and nothing but URL characters.
bool IsValidUrl(const QString& text);

// The unit at an index for the word procedures; *end is set when there is none.
using FetchCharacterProc = char16_t (*)(int64_t index, bool* end, const void* context);
// The callback over a QString passed as the context.
char16_t FetchCharacterFromString(int64_t index, bool* end, const void* context);

// The start of the word at or before the position, within [first, limit).
int64_t StartOfWord(int64_t position, int64_t first, int64_t limit, FetchCharacterProc fetch,
                    const void* context);
// The end of the word that begins at the position; with includeTrailingWhite the white space
// after it is taken too. A position at or past the limit is returned unchanged.
int64_t EndOfWord(int64_t position, int64_t first, int64_t limit, FetchCharacterProc fetch,
                  bool includeTrailingWhite, const void* context);

// Conveniences over a whole string.
int64_t StartOfWord(const QString& text, int64_t position);
int64_t EndOfWord(const QString& text, int64_t position, bool includeTrailingWhite = false);

struct GlimmetDoc;
class QColor;
class QPainter;

// The start of the sentence holding cp within [first, limit) of an engine document.
uint32_t StartOfSentence(uint32_t cp, uint32_t first, uint32_t limit, GlimmetDoc* doc);
// The fetch callback over an engine document passed as the context.
char16_t FetchDocumentCharacter(int64_t index, bool* end, const void* context);

// Converts bytes of an encoding into buffer; the unit count, or 0 when the conversion fails or
// gives nothing. When the result does not fit, *capacity gets the length needed and 0 comes back.
uint32_t ConvertRawTextToUnicode(const char* bytes, uint32_t count, FLStringEncoding encoding, char16_t* buffer,
                                 uint32_t* capacity);
// The size of a string drawn in a font (a null string measures as empty).
QSizeF SizeOfTextInFont(const QString& text, const QFont& font);
// Draws a string centred in rect, wrapped at words or truncated at its tail; an invalid colour
// is the system text colour.
void DrawCenteredString(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font,
                        const QColor& color, bool wrap);
