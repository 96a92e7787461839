// Grid points and ranges name cells and blocks of the sheet. This file gives their A1 text
// ("$B$3") and plain "x,y" text, the classification of ranges, the file type codes by which
// documents open and save, the header and footer variables, and the stop-word removal of sorting.
#pragma once

#include "framlet/foundation/flSeededHash.h"

#include <QString>
#include <array>
#include <cstdint>

struct FLError;

// Column x and row y from 0 (column A and row 1 are 0). An absolute coordinate ("$") is held
// as the one's complement of the plain one, so it is always negative.
struct GridPoint {
  int64_t x = 0;
  int64_t y = 0;
  friend bool operator==(const GridPoint&, const GridPoint&) = default;
};

// Both corners inclusive.
struct GridRange {
  GridPoint startPoint;
  GridPoint endPoint;
  friend bool operator==(const GridRange&, const GridRange&) = default;
};

// For the tables keyed by what formulas name (FLSeededHash finds these).
inline uint64_t SeededHashOf(const GridPoint& point) { return SeededHashPair(uint64_t(point.x), uint64_t(point.y)); }
inline uint64_t SeededHashOf(const GridRange& range) {
  return SeededHashPair(SeededHashOf(range.startPoint), SeededHashOf(range.endPoint));
}

// In x: no point at all.
inline constexpr int64_t kGridNoPoint = 0x7FFFFFFFFFFFFFFF;
// In a range coordinate: every column (in x) or every row (in y).
inline constexpr int64_t kGridWildcard = 0x7FFFFFFFFFFFFFFE;
// The end coordinate of a normalised whole-row or whole-column range: up to the last one used.
inline constexpr int64_t kGridOpenEnd = 0x7FFFFFFFFFFFFFFD;

// The largest plain row: rows beyond would meet the markers above.
inline constexpr int64_t kLastGridRow = kGridOpenEnd - 1;
// The largest plain column, "ZZZZZ".
int64_t LastGridColumn();

// A plain coordinate below the grid's markers; every row and column list is kept within them.
constexpr bool IsGridCoordinate(int64_t n) { return n >= 0 && n < kGridOpenEnd; }
// A plain point of the grid: a column up to "ZZZZZ" and a row up to kLastGridRow.
bool IsOnGrid(const GridPoint& point);

// The plain coordinate of a possibly absolute one.
constexpr int64_t NormalizeCoordinate(int64_t n) { return n ^ (n >> 63); }

// Range classes (TypeOfRange).
enum : int32_t {
  kRangeAbsoluteCell = 0,   // one cell with an absolute coordinate
  kRangeAbsoluteBlock = 1,  // block with at least one absolute coordinate
  kRangeColumns = 2,        // whole columns: start and end y are the wildcard
  kRangeInvalid = 3,
  kRangeRows = 4,  // whole rows: start and end x are the wildcard
  kRangeBlock = 5,
  kRangeCell = 6,
};

// File type codes (FileTypeForFile); opening and saving dispatch on them.
enum : int32_t {
  kFileTypeUnknown = 0,
  kFileTypeCsv = 1,
  kFileTypeDif = 2,
  kFileTypeExcel = 3,
  kFileTypeNative = 4,
  kFileTypePockwell = 5,
  kFileTypeRtf = 6,
  kFileTypeRtfd = 7,
  kFileTypeText = 8,
  kFileTypeHtml = 9,
  kFileTypePdf = 10,
  kFileTypeImage = 11,
};

// Header and footer variable codes (0 = nothing), one per field: left, centre, right.
enum : int32_t {
  kHeaderNothing = 0,
  kHeaderDate = 1,            // "d"
  kHeaderLongDate = 2,        // "d+"
  kHeaderFileName = 3,        // "f"
  kHeaderPage = 4,            // "p"
  kHeaderPageOfPages = 5,     // "pofp"
  kHeaderPageSlashPages = 6,  // "p/p"
  kHeaderTime = 7,            // "t"
};
enum : int { kHeaderFieldLeft = 0, kHeaderFieldCentre = 1, kHeaderFieldRight = 2 };
using HeaderVariables = std::array<int32_t, 3>;

// Parses the A1 reference that fills text[first, end) exactly ("$" marks absolute parts).
// Columns beyond "ZZZZZ" and rows that do not fit below the grid markers are refused.
bool ParseGridPoint(const QString& text, qsizetype first, qsizetype end, GridPoint* point);

// A1 text: "$" before an absolute column or row. A column beyond the grid is written as the
// last one, so that the text is always a reference.
QString FormatGridPoint(int64_t x, int64_t y);
inline QString FormatGridPoint(const GridPoint& point) { return FormatGridPoint(point.x, point.y); }
// The same appended to a text, with no text of its own made.
void AppendGridPoint(QString& text, const GridPoint& point);

// "x,y" in decimal, "*" for the wildcard; used by undo archives, the selection archive and
// notifications.
QString StringFromGridPoint(int64_t x, int64_t y);
inline QString StringFromGridPoint(const GridPoint& point) {
  return StringFromGridPoint(point.x, point.y);
}

// Reads "x,y"; text without exactly two parts gives {0,0} when lenient, else {-1,-1}.
GridPoint GridPointFromStringCalc(const QString& text, bool lenient);

// The class of a range; *normalized (when given) receives the range as far as it was
// normalised: absolute coordinates made plain, whole rows or columns from 0 to kGridOpenEnd.
int32_t TypeOfRange(GridRange* normalized, const GridRange& range);

// Whether the range is valid and the (normalised) point lies within it, bounds included.
bool IsGridPointInRange(int64_t x, int64_t y, const GridRange& range);

// The file type code of a path by its extension; a path without one is judged by its content,
// which stands in for the type codes that Linux files do not carry.
int32_t FileTypeForFile(const QString& path);
// The error of a file whose type nothing reads: -206 "I don't recognize the file type.".
void SetUnrecognizedFileTypeError(FLError* error);

// Fills the left, centre and right variable codes from a template such as "l=p;c=f".
void InterpretHeaderString(const QString& templateText, HeaderVariables& variables);
// The template keys, for the print pane that writes them.
QString HeaderFieldKey(int field);
QString HeaderVariableKey(int32_t variable);

// Removes stop-list words ("the", "of", ...) from the first 500 characters, so that sorting
// ignores them; the string is left untouched when none was found.
void GetNewStringWithoutStopListWords(QString& string);
