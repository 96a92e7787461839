// Small text services shared by the spreadsheet and the text engine: whether typed text looks
// like a URL, and word boundaries by character class for find and replace with whole words and
// for selecting by word. They work on any text through a character-fetch callback.
#pragma once

#include <QMetaType>
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
