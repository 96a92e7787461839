// Column letters: the bijective base-26 names of zero-based column indexes (A, ..., Z, AA, ...),
// used wherever a column is shown or parsed: references, sheet labels and Excel formulas.
#pragma once

#include <QString>
#include <cstdint>

// The index of the largest column, "ZZZZZ". The launch duties may set it again from
// ColumnForLabel("ZZZZZ"); it starts with that value so that it holds before launch too.
extern uint64_t g_maxColumn;

inline constexpr const char* kLargestColumnLabel = "ZZZZZ";

// Upper-case letters of the column; the empty text (after logging) for a column beyond
// g_maxColumn.
QString LabelForColumn(uint64_t column);
// The same letters written out as bytes, for text made in bulk: how many (0 beyond g_maxColumn).
inline constexpr int kColumnLetterCapacity = 8;
int ColumnLetters(uint64_t column, char (&letters)[kColumnLetterCapacity]);

// The zero-based column of the letters, in either case; all bits set for the empty text. The
// letters are not validated: any character counts its upper-case code minus 64.
uint64_t ColumnForLabel(const QString& label);
uint64_t ColumnForLabel(QStringView label);
