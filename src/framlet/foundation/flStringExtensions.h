// What the framework adds to strings: path helpers, case-insensitive comparisons, clean-up,
// title case and sort keys, search excerpts, smart quotes, percent escapes, HTML escaping,
// decoding of files of unknown encoding, error texts and plain one-style attributed strings.
// Each takes the string it works on first; the ones that change a string take it by reference.
#pragma once

#include "framlet/foundation/flHtmlEscaping.h"
#include "platform/FLError.h"
#include "platform/TextEncodings.h"

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

// Paths ------------------------------------------------------------------------------------

// A path inside the home folder (not the folder itself) as "~/..."; other paths unchanged.
QString abbreviateHomeFolderPath(const QString& path);
// The last path component without its extension.
QString fileNameMinusExtension(const QString& path);
// The last component's extension, without the dot; empty for none (and for a name that only
// begins with a dot).
QString pathExtension(const QString& path);
// The path with the name appended and, when the extension is not empty, the extension.
QString stringByAppendingFile(const QString& path, const QString& name, const QString& extension);
// The path with its extension replaced; an empty extension removes it.
QString stringByReplacingExtension(const QString& path, const QString& extension);
// The path with its last component replaced by the name and, when not empty, the extension.
QString stringByReplacingFile(const QString& path, const QString& name, const QString& extension);

// Comparisons and searches; a null argument never matches ---------------------------------

bool isFuzzyEqualToString(const QString& string, const QString& other);
bool hasFuzzyPrefix(const QString& string, const QString& prefix);
bool hasFuzzySuffix(const QString& string, const QString& suffix);
// Case-insensitive search from the index; FLNotFound when absent or the index is past the end.
uint64_t indexOfString(const QString& string, const QString& find, uint64_t startingAt);
// Non-overlapping literal occurrences.
uint64_t numberOfOccurrencesOfString(const QString& string, const QString& find);
// Whether the word is one of the small words that titles keep in lower case.
bool isOnStopList(const QString& word);
// TypeOfChar of the unit at the index (class 0 past the end, after an assertion).
uint32_t typeOfChar(const QString& string, uint64_t index);
// The first index at or after the index that is not white space (class 4), and its character;
// at the end, the length and a space.
uint64_t nextNonSpace(const QString& string, uint64_t index, QChar* character = nullptr);
// [from, to); a `to` of FLNotFound or 0xFFFFFFFF means the end. Bad ranges assert and give "".
QString substringFrom(const QString& string, uint64_t from, uint64_t to);
// The encoding an HTML or XML charset name stands for, 0 when unknown.
FLStringEncoding identifyStringEncoding(const QString& name);
// The unit of a one-unit string that is a character by itself (no surrogate half), else 0.
char16_t validateFirstUnicodeCharacter(const QString& string);

// Making and cleaning ----------------------------------------------------------------------

QString guidString();
QString numberString(int64_t number);
QString longNumberString(int64_t number);
// A null QString for a null pointer or (ASCII) for bytes above 0x7F.
QString stringWithASCIIString(const char* bytes);
QString stringWithMacString(const char* bytes);

// The text trimmed of white space, newlines and control characters at both ends, with inner
// control characters deleted (and punctuation, when asked), runs of white space made one
// space, and line breaks made one line feed per run when kept, else white space. A null
// QString when nothing is left.
QString cleanUp(const QString& string);
QString cleanUp(const QString& string, bool keepLineBreaks, bool stripPunctuation);

// An excerpt around a search hit at the index, from the word before the key's word to the end of
// the key's line, at most maxLength (0: 100) units, cleaned. "" when the index is past the end;
// a null QString when cleaning leaves nothing.
QString extract(const QString& string);
QString extract(const QString& string, uint64_t index, uint64_t keyLength);
QString extract(const QString& string, uint64_t index, uint64_t keyLength, uint64_t maxLength,
                bool stripPunctuation);

QString titleCaseString(const QString& string);
// Lower-case sort key of a title: subtitle dropped, small words and punctuation removed.
QString sortTitleString(const QString& string);

// Straight quotes made smart; `previous` is the character before the string (0 at the start).
QString stringBySubstitutingQuotes(const QString& string, char16_t previous);
// The smart quote for a straight quote between two characters; any other character unchanged.
char16_t quoteForCurrentChar(char16_t current, char16_t previous, char16_t next);

// Percent escapes of the UTF-8 bytes of everything but A-Z, a-z, 0-9, "-", "_", "~" and, when
// their flags are off, "." and line feed.
QString encodeIncludingPeriods(const QString& string, bool escapePeriods, bool escapeReturns);
// The reverse; nothing when the escapes do not make valid UTF-8.
std::optional<QString> decode(const QString& string);

// Mutable-string operations -----------------------------------------------------------------

// Text of a file whose encoding is not known: a UTF-16 byte-order mark, else UTF-8, else
// Mac Roman (which reads any bytes). A leading byte-order mark is not part of the text.
QString initWithDataInUnknownFormat(const QByteArray& data, const QString& path = QString(),
                                    FLStringEncoding* encoding = nullptr);
// Deletes [from, to), `to` clipped to the length; asserts and deletes nothing for a bad range.
void deleteCharactersFrom(QString& string, uint64_t from, uint64_t to);
// Puts a space before every capital that follows a small letter, lowering it when asked and
// followed by a small letter. Whether a space was inserted; the first space's index (0: none).
bool removeCamelCase(QString& string, bool lowerCapitals, uint64_t* firstSpace = nullptr);

// Every occurrence replaced, searching on after each replacement; nothing when there is none or
// the find string is empty (which asserts). The count goes to `count`.
std::optional<QString> stringByReplacing(const QString& string, const QString& find,
                                         const QString& replacement, bool ignoreCase,
                                         uint64_t* count = nullptr);
// The same in place; the number of replacements.
uint64_t replace(QString& string, const QString& find, const QString& replacement, bool ignoreCase);

// Errors ----------------------------------------------------------------------------------

// The error's reason with curly quotes made straight; a fixed text when it has none.
QString reason(const FLError& error);

// Plain attributed strings ----------------------------------------------------------------

// Alignment codes of the cell formats and the framework's text helpers.
inline constexpr int kFLAlignLeft = 100;
inline constexpr int kFLAlignCenter = 101;
inline constexpr int kFLAlignRight = 102;
// Line-break modes, numbered as the system's paragraph styles number them.
enum class FLLineBreakMode { WordWrap = 0, CharWrap = 1, Clip = 2, TruncateHead = 3, TruncateTail = 4, TruncateMiddle = 5 };

// A string in one font, colour and paragraph style, as measured and drawn by the shell's views.
struct FLAttributedString {
  QString string;
  QFont font;
  QColor color;
  Qt::Alignment alignment = Qt::AlignLeft;
  FLLineBreakMode lineBreakMode = FLLineBreakMode::TruncateTail;
  qreal spaceAfter = 0;
  qreal rightIndent = 0;  // kept clear of the right edge (a tail indent of minus this)
  bool tightensForTruncation = false;
};

// The lines a text shows, split at its line and paragraph breaks (a CR LF pair is one break);
// at most `most` of them, the rest left unsplit in the last.
std::vector<QStringView> ShownLines(QStringView text, qsizetype most = std::numeric_limits<qsizetype>::max());

// Nothing for a null string. No font: the application font; no colour: the palette's text
// colour; an alignment code other than 100-102 asserts and is taken as left.
std::optional<FLAttributedString> attributedStringFromString(
    const QString& string, const std::optional<QFont>& font, int alignment,
    const std::optional<QColor>& color, FLLineBreakMode breakMode = FLLineBreakMode::TruncateTail,
    qreal spaceAfter = 0, qreal rightIndent = 0);
