// The sheet as delimited text: comma-separated and plain text files come in through the reader
// that finds its own delimiter, and go out as comma- or tab-separated UTF-8 text.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/FLError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace {

// The text a cell is written as: nothing for empty, picture and overflow cells, "X" for a
// checked box, else what it shows, dates in the form that reads back as the same date.
QString CellFieldText(const CACell& cell) {
  switch (cell.valueType()) {
    case kValueNone:
    case kValuePicture:
    case kValueOverflow:
      return QString();
    case kValueCheckbox:
      return cell.isChecked() ? QStringLiteral("X") : QString();
    default:
      return cell.savingText();
  }
}

}  // namespace

bool CADocument::loadTextFile(const QString& path, FLError* error) {
  // A cell of text takes many times its field: the text, its lines and the cells are held within
  // what an open may take, and a file past it is refused.
  FLReadingMeter meter(FileReadingBudget());
  // One text and views of its lines: no string a line, whatever the file's size.
  const std::optional<QString> text = LoadTextFileText(path, error);
  if (!text) return false;
  meter.measure();
  const int64_t textHeld = meter.grown();
  double shareRead = 1;
  const LineViews lines = LineViewsOfText(*text, &shareRead);
  if (meter.passed()) return RefuseTooLargeFile(error, WholeReadingCost(textHeld, meter.grown(), shareRead));
  meter.measure();
  const int64_t linesHeld = meter.grown();
  const TextImportResult result = LoadLineViews(lines, *this, FileTypeForFile(path) == kFileTypeCsv);
  // The cells made since the meter last read the heap count too.
  if (result.tooLarge || !meter.measure())
    return RefuseTooLargeFile(error, WholeReadingCost(linesHeld, meter.grown(), result.shareRead));
  if (result.budgetReached) ShowImportBudgetAlert(path, result.cells);
  if (result.columnsCut) ShowImportColumnsAlert(path);
  return true;
}

bool CADocument::saveToTextFile(const QString& path, bool commas, FLError* error) {
  QByteArray output;
  if (!rows_.empty()) {
    // Every row is written as wide as the widest row of cells with content; the placeholders of
    // overflowing text add no columns. A sheet without content writes one empty column.
    const int64_t lastX = contentExtent().endPoint.x;
    bool tooLarge = false, cellText = false;
    output = DelimitedBytesOfBlock(*this, GridRange{{0, 0}, {lastX, rows_.back()->gridY()}}, commas,
                                   kMaxDelimitedTextLength, &tooLarge, &cellText);
    if (tooLarge) {
      SetError(error, kTextTooLargeCode, QLatin1String(cellText ? kCellTextTooLargeReason : kTextTooLargeReason));
      return false;
    }
  }
  return WriteFileAtomically(path, output, error);
}

namespace {

// The block's text, or null (*tooLarge set) past `most` characters. Every field of every row
// written takes its separator or line end: what that much asks is refused before any of it is
// made; the fields' own characters are counted as they are written. With `bytes`, the text goes
// there as UTF-8 a few rows at a time (what is returned is the rest), and `characters` counts it.
//
// A lone column written with tabs holds no tab for the reader's delimiter finder to settle on:
// were the commas, semicolons or blanks of its texts to outvote the tab, the reader would split
// them there ("Doe, John", or "0,5" where the decimal separator is a comma). The column is
// written plainly as long as the texts that hold such a character, as many as the finder looks
// at, leave the finder with the tab (a copied "Doe, John" stays as it is); otherwise *quotesNeeded
// is set and nothing is returned, and the column is written again with `quoteDelimiters`, every
// such text quoted, as the reader unquotes it. A quote among them could send the finder on to
// another line: it asks for the quotes at once. The finder is asked as it reads in every
// locale, not only in the writer's: a file goes from one user to another, and "0,5" is one
// number only where the decimal separator is a comma.
//
// The clipboard's plain text (`plain`) is for other programs, which read no quotes: it is the
// cells' texts as they are, quoted nowhere.
enum class FieldQuoting { kWhereRead, kDelimiters, kPlain };

QString DelimitedTextPass(const CADocument& document, const GridRange& block, bool commas, int64_t most,
                          bool* tooLarge, int64_t* fieldsLength, QByteArray* bytes, int64_t* characters,
                          FieldQuoting quoting, bool* quotesNeeded) {
  *tooLarge = false;
  int64_t fields = 0;  // the fields' own characters
  if (fieldsLength) *fieldsLength = 0;
  const int64_t x0 = block.startPoint.x;
  const int64_t y0 = block.startPoint.y;
  const int64_t columnCount = block.endPoint.x - x0 + 1;
  if (columnCount <= 0 || block.endPoint.y < y0) return QString();
  const auto refuse = [&] {
    *tooLarge = true;
    if (fieldsLength) *fieldsLength = fields;
    return QString();
  };
  const CADocument::RowList& rows = document.rows();
  const auto first = std::lower_bound(rows.begin(), rows.end(), y0,
                                      [](const std::unique_ptr<CARow>& row, int64_t y) { return row->gridY() < y; });
  auto last = first;
  while (last != rows.end() && (*last)->gridY() <= block.endPoint.y) ++last;
  if (first == last) return QString();
  const int64_t lastY = (*std::prev(last))->gridY();
  const unsigned __int128 separators = (unsigned __int128)uint64_t(columnCount) * uint64_t(lastY - y0 + 1);
  if (separators > (unsigned __int128)uint64_t(std::max<int64_t>(most, 0))) return refuse();

  QString emptyRow(columnCount, commas ? u',' : u'\t');
  emptyRow.back() = u'\n';
  QString output;
  int64_t spilled = 0;  // the characters of the text in the bytes
  int64_t nextY = y0;
  bool sampling = !commas && columnCount == 1 && quoting == FieldQuoting::kWhereRead;
  QStringList sample;
  const auto readAsTabs = [&sample] { return EveryLocaleReadsAsTabs(sample); };
  for (auto row = first; row != last; ++row) {
    AppendRepeated(output, emptyRow, (*row)->gridY() - nextY);
    int64_t x = 0;
    for (const CACellEntry& entry : (*row)->cells()) {
      const int64_t cellX = entry.x() - x0;
      if (cellX < 0) continue;
      if (cellX >= columnCount) break;
      output += QStringView(emptyRow).sliced(x, cellX - x);
      const qsizetype before = output.size();
      const QString text = CellFieldText(*CACellReading(entry, (*row)->gridY(), &document));
      if (quoting == FieldQuoting::kPlain && !commas)
        WritePlainTextField(output, text, cellX, columnCount);
      else
        WriteTextField(output, text, commas, cellX, columnCount, quoting == FieldQuoting::kDelimiters);
      fields += output.size() - before - 1;
      if (sampling) {
        const QStringView written = QStringView(output).sliced(before, output.size() - before - 1);
        if (HoldsDelimiterCandidate(written)) {
          sample.append(written.toString());
          if (written.contains(u'"') || (sample.size() == kDelimiterSampleLines && !readAsTabs())) {
            *quotesNeeded = true;
            return QString();
          }
          sampling = sample.size() < kDelimiterSampleLines;
        }
      }
      x = cellX + 1;
      if (spilled + output.size() > most) return refuse();
    }
    output += QStringView(emptyRow).sliced(x);
    nextY = (*row)->gridY() + 1;
    if (spilled + output.size() > most) return refuse();
    if (bytes && output.size() >= kTextSpillCharacters) {
      spilled += output.size();
      AppendUtf8(*bytes, output);
      output.resize(0);
    }
  }
  if (sampling && !sample.isEmpty() && !readAsTabs()) {
    *quotesNeeded = true;
    return QString();
  }
  if (fieldsLength) *fieldsLength = fields;
  if (characters) *characters = spilled + output.size();
  return output;
}

QString DelimitedTextWithin(const CADocument& document, const GridRange& block, bool commas, bool plain,
                            int64_t most, bool* tooLarge, int64_t* fieldsLength = nullptr,
                            QByteArray* bytes = nullptr, int64_t* characters = nullptr) {
  const qsizetype bytesBefore = bytes ? bytes->size() : 0;
  bool quotesNeeded = false;
  QString text = DelimitedTextPass(document, block, commas, most, tooLarge, fieldsLength, bytes, characters,
                                   plain ? FieldQuoting::kPlain : FieldQuoting::kWhereRead, &quotesNeeded);
  if (!quotesNeeded) return text;
  if (bytes) bytes->truncate(bytesBefore);
  return DelimitedTextPass(document, block, commas, most, tooLarge, fieldsLength, bytes, characters,
                           FieldQuoting::kDelimiters, &quotesNeeded);
}

}  // namespace

QByteArray DelimitedBytesOfBlock(const CADocument& document, const GridRange& block, bool commas, int64_t most,
                                 bool* tooLarge, bool* cellText) {
  bool refused = false;
  int64_t fields = 0, characters = 0;
  QByteArray bytes;
  AppendUtf8(bytes,
             DelimitedTextWithin(document, block, commas, false, most, &refused, &fields, &bytes, &characters));
  // A character takes up to three bytes: the text is counted again as it is written, the
  // fields' share of it as the same share of the bytes.
  if (!refused && bytes.size() > most) {
    refused = true;
    fields = characters == 0 ? 0 : int64_t(double(fields) * double(bytes.size()) / double(characters));
  }
  if (tooLarge) *tooLarge = refused;
  if (cellText) *cellText = refused && fields > most / 2;
  return refused ? QByteArray() : bytes;
}

QString DelimitedTextOfBlock(const CADocument& document, const GridRange& block, bool commas, bool* tooLarge) {
  bool refused = false;
  QString text = DelimitedTextWithin(document, block, commas, true, kMaxDelimitedTextLength, &refused);
  if (tooLarge) *tooLarge = refused;
  // Line breaks go between the rows: a text pasted into a field or a terminal ends where the
  // cells do.
  if (!commas && text.endsWith(QLatin1Char('\n'))) text.chop(1);
  return text;
}
