// Text services of the engine's layout beside the URL and word tests: sentence starts over an
// engine document, raw bytes of an encoding to UTF-16, and measuring and centring strings.
#pragma once

#include "platform/TextEncodings.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstdint>

struct GlimmetDoc;
class QPainter;

// The start of the sentence holding cp within [first, limit) of an engine document.
uint32_t StartOfSentence(uint32_t cp, uint32_t first, uint32_t limit, GlimmetDoc* doc);
// A character-fetch callback over an engine document passed as the context: the unit at an
// index, the end flag past the text.
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
