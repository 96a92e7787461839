// Delimited text, shared by the text and DIF readers and by paste: reading a text file of
// unknown encoding into lines, splitting text into lines, finding the field delimiter and
// handing each field to a receiver as typed text; and writing a text file whole or not at all.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>

#include <cstdint>
#include <optional>
#include <vector>

class TextImportDelegate;
struct FLError;

// What an undecodable text file gives.
inline constexpr int kTextEncodingUnknownCode = 264;
inline constexpr const char* kTextEncodingUnknownReason =
    "The text encoding of the file's contents can't be determined.";

// The text of a file's bytes: UTF-16 after a byte-order mark, UTF-8 (a mark dropped), else the
// locale's own code page. Nothing when the bytes are not valid text in the encoding chosen:
// no byte is ever dropped or replaced.
std::optional<QString> DecodeTextFileData(QByteArrayView bytes);
// The Windows code page for the locale's language, which is what 8-bit files written on that
// desktop are in; 1252 for languages without one of their own.
int CodePageForLocale(const QLocale& locale);

// The text of a file, decoded as DecodeTextFileData decodes it. Nothing, with the error, when
// the file can't be read or its encoding can't be determined.
std::optional<QString> LoadTextFileText(const QString& path, FLError* error);
// The file is read and decoded in pieces of this many bytes.
inline constexpr qsizetype kTextFilePieceBytes = qsizetype(1) << 20;
// For tests: the most bytes of its file the last LoadTextFileText held at once beside the text.
int64_t TextFileBytesHeldMost();

// The lines of a text file, line breaks removed. Nothing, with the error, when the file can't
// be read or its encoding can't be determined.
std::optional<QStringList> LoadTextFileLines(const QString& path, FLError* error);

// The text's lines: "\r\n", "\r" and the other line and paragraph separators end a line. Text
// that ends with a line break gives a last, empty line; an empty text gives one empty line.
QStringList TextLines(const QString& text);

// The lines of a text one after another, split as TextLines splits them, with no list of them:
// a reader that looks at a few lines at a time holds only those.
class TextLineCursor {
 public:
  explicit TextLineCursor(QStringView text);
  bool atEnd() const { return atEnd_; }
  QStringView line() const { return text_.sliced(start_, end_ - start_); }
  void next();

 private:
  void findEnd();
  QStringView text_;
  qsizetype start_ = 0;
  qsizetype end_ = 0;  // where the line's break begins
  bool atEnd_ = false;
};

// Lines as views into text that outlives them: a large file is split without a string a line,
// and an empty line costs nothing but its place in the count (a far cell's file is mostly empty
// lines). A line is kept in 16 bytes: no text read whole has 2^32 lines or characters.
class LineViews {
 public:
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // The line's text; reading goes forward line by line at no cost for finding it.
  QStringView operator[](size_t line) const;
  void push_back(QStringView line);
  // Room for so many lines that are not empty.
  void reserve(size_t lines) { entries_.reserve(lines); }
  // The lines that are not empty, as held.
  size_t heldLines() const { return entries_.size(); }

 private:
  struct Entry {
    const QChar* data;
    uint32_t length;
    uint32_t line;
  };

 public:
  // What a line that is not empty takes.
  static constexpr size_t kHeldLineBytes = sizeof(Entry);

 private:
  std::vector<Entry> entries_;
  size_t count_ = 0;
  mutable size_t next_ = 0;  // the first entry at or after the line asked for last
};
// The views of the text's lines. Where the current meter passes its bound while they are made,
// they stop there and `shareRead` (when given) is the share of the text they reached.
LineViews LineViewsOfText(const QString& text, double* shareRead = nullptr);

// The finder looks at the lines up to the one that makes this many lines holding a delimiter.
inline constexpr int kDelimiterSampleLines = 20;

// The field delimiter of the lines: '\t', ';', ',' or ' '. Quoted text is not counted. A tab
// wins at once; otherwise ';' or ',' must occur at least twice and more often than the other
// candidates that follow it (';' wins a tie with ','), and a space wins only over nothing. In
// the lines of a ".csv" file a comma wins whenever one occurs, unless semicolons win by the
// rule above. In other text a line that is one number as the locale reads typed text holds no
// delimiter: a column of numbers with decimal commas stays one column.
QChar TextDelimiterForLines(const QStringList& lines, bool csvFile);
// Whether the lines, read as text that is no ".csv" file, are taken as tab-separated in every
// locale: whichever of their numbers with a decimal comma the reader's locale reads as one.
bool EveryLocaleReadsAsTabs(const QStringList& lines);

// Enters every non-empty field at (field number, record number): empty lines count as records;
// a quoted field may run over line ends, its breaks becoming "\n". Reading stops when the
// import's cell budget is spent, and fields past the grid's last column are dropped.
// Tab-separated text keeps its fields as they are except that one beginning with a quote is
// unquoted the same way.
void LoadStringLines(const QStringList& lines, TextImportDelegate& receiver, bool csvFile = false);

// What a file import entered: cells, and whether the cell budget, the grid's last column or the
// current meter cut it short.
struct TextImportResult {
  uint64_t cells = 0;
  bool budgetReached = false;
  bool columnsCut = false;
  // The current meter passed its bound: the reading stopped with that share of its input read.
  bool tooLarge = false;
  double shareRead = 1;
};
TextImportResult LoadLineViews(const LineViews& lines, TextImportDelegate& receiver, bool csvFile);

// Hands an import's values to the receiver within the grid's columns, the import's cell budget
// and the current meter's bounds, counting them into `result`; the delimited-text and DIF readers
// share it.
class ImportCellSink {
 public:
  ImportCellSink(TextImportDelegate& receiver, TextImportResult& result);
  // NO once the budget is spent or the meter passed: reading stops. A value past the last column
  // is dropped.
  bool enter(qint64 x, qint64 y, const QVariant& value, int32_t type, int64_t pieces = 1);
  bool text(qint64 x, qint64 y, const QString& text);

 private:
  TextImportDelegate& receiver_;
  TextImportResult& result_;
  uint64_t budget_;
};

// Appends one field and its separator ("," or tab, "\n" after the last column). Comma mode
// quotes a text that would not read back as one field; tab mode makes tabs and line breaks
// spaces, and quotes a text that begins with a quote or, with `quoteDelimiters`, one that holds
// a character the reader could take for a delimiter. A null or empty text writes only the
// separator.
void WriteTextField(QString& output, const QString& text, bool commas, qint64 column, qint64 columnCount,
                    bool quoteDelimiters = false);

// Appends one field of plain text for other programs: the text as it is, its tabs and line
// breaks made blanks so that it stays one field of its row, then a tab or, after the last
// column, "\n". A null or empty text writes only the separator.
void WritePlainTextField(QString& output, const QString& text, qint64 column, qint64 columnCount);

// Whether the text holds a character the delimiter finder counts: a tab, ";", "," or a space.
bool HoldsDelimiterCandidate(QStringView text);

// The characters of text a writer gathers before it appends them to its bytes as UTF-8, so that
// a long text and its bytes are never held whole at once.
inline constexpr qsizetype kTextSpillCharacters = qsizetype(1) << 20;
// Appends the text as UTF-8 without a string of its own (a lone surrogate as U+FFFD, as every
// text's conversion does, whatever comes before or after it).
void AppendUtf8(QByteArray& output, QStringView text);

// Appends the piece `times` times, copying what is already appended in ever larger blocks: the
// empty rows of a far cell go in at the speed of memory.
void AppendRepeated(QByteArray& output, QByteArrayView piece, int64_t times);
void AppendRepeated(QString& output, QStringView piece, int64_t times);

// Writes the bytes under a temporary name beside the path and renames it into place, so a
// failed write leaves an existing file as it was.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, FLError* error);
