// DIF, the line-oriented interchange format: the cell pair writer and the reader of a file's
// lines, shared by the document's DIF loader and saver and the fuzz target.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>

class CADocument;
class TextImportDelegate;
struct FLError;
struct TextImportResult;

// Value indicator codes of WriteDifField: a string pair, or a numeric pair with its word.
enum : int {
  kDifString = 0,
  kDifFalse = 1,        // "FALSE"
  kDifTrue = 2,         // "TRUE"
  kDifError = 3,        // "ERROR"
  kDifNotAvailable = 4, // "NA"
  kDifValue = 5,        // "V"
};

inline constexpr const char* kDifFormatErrorReason = "I don't understand the format of this DIF file.";

// Appends one cell pair, after "-1,0" / "BOT" when the column is 0. Quotes are doubled, tabs
// and line breaks become spaces and other control characters are dropped; every other
// character is kept (the file is UTF-8).
void WriteDifField(QString& output, const QString& text, int code, int64_t column);

// The sheet as a DIF file, every cell of its grid a pair. A file of more than `most` bytes is
// not given: the result is null and *tooLarge set. What the grid's shape asks (a pair for every
// cell, a row start for every row) is counted before any row is made, the cells' own pairs as
// they are written. *cellText, when given, tells a refusal's reason: the cells' own pairs
// passed half the bound, else the empty pairs between them.
QByteArray DifBytesOfDocument(const CADocument& document, int64_t most, bool* tooLarge, bool* cellText = nullptr);

// Enters the cells of a DIF text, looking at a few of its lines at a time. NO with -50 when the
// header or data are not DIF; the cells entered before the fault stay. As with delimited text,
// reading stops (YES) when the import's cell budget is spent, and values past the grid's last
// column are dropped; `result` says so.
bool LoadDifText(QStringView text, TextImportDelegate& receiver, FLError* error, TextImportResult* result);
// The same for a file's lines.
bool LoadDifLines(const QStringList& lines, TextImportDelegate& receiver, FLError* error);
