// The sheet as delimited text: comma-separated and plain text files come in through the reader
// that finds its own delimiter, and go out as comma- or tab-separated UTF-8 text.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "platform/FLError.h"

#include <QString>

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

// Columns [from, to) of a row of columnCount columns.
void WriteEmptyFields(QString& output, int64_t from, int64_t to, int64_t columnCount, bool commas) {
  for (int64_t x = from; x < to; ++x) WriteTextField(output, QString(), commas, x, columnCount);
}

}  // namespace

bool CADocument::loadTextFile(const QString& path, FLError* error) {
  // One text and views of its lines: no string a line, whatever the file's size.
  const std::optional<QString> text = LoadTextFileText(path, error);
  if (!text) return false;
  const TextImportResult result = LoadLineViews(LineViewsOfText(*text), *this, FileTypeForFile(path) == kFileTypeCsv);
  if (result.budgetReached) ShowImportBudgetAlert(path, result.cells);
  if (result.columnsCut) ShowImportColumnsAlert(path);
  return true;
}

bool CADocument::saveToTextFile(const QString& path, bool commas, FLError* error) {
  QString output;
  if (!rows_.empty()) {
    // Every row is written as wide as the widest row of cells with content; the placeholders of
    // overflowing text add no columns. A sheet without content writes one empty column.
    const int64_t lastX = contentExtent().endPoint.x;
    bool tooLarge = false;
    output = DelimitedTextOfBlock(*this, GridRange{{0, 0}, {lastX, rows_.back()->gridY()}}, commas, &tooLarge);
    if (tooLarge) {
      SetError(error, kTextTooLargeCode, QLatin1String(kTextTooLargeReason));
      return false;
    }
  }
  return WriteFileAtomically(path, output.toUtf8(), error);
}

QString DelimitedTextOfBlock(const CADocument& document, const GridRange& block, bool commas, bool* tooLarge) {
  if (tooLarge) *tooLarge = false;
  const int64_t x0 = block.startPoint.x;
  const int64_t columnCount = block.endPoint.x - x0 + 1;
  QString output;
  if (columnCount <= 0 || block.endPoint.y < block.startPoint.y) return output;
  // Every field of the block takes at least its separator or line end; the rows written are
  // those up to the last one that exists within the block.
  int64_t lastY = block.startPoint.y - 1;
  for (auto it = document.rows().rbegin(); it != document.rows().rend(); ++it) {
    if ((*it)->gridY() > block.endPoint.y) continue;
    lastY = (*it)->gridY();
    break;
  }
  const auto refuse = [&] {
    if (tooLarge) *tooLarge = true;
    return QString();
  };
  if (lastY >= block.startPoint.y) {
    const unsigned __int128 fields = (unsigned __int128)uint64_t(columnCount) * uint64_t(lastY - block.startPoint.y + 1);
    if (fields > (unsigned __int128)kMaxDelimitedTextLength) return refuse();
  }
  int64_t nextY = block.startPoint.y;
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    if (row->gridY() < block.startPoint.y) continue;
    if (row->gridY() > block.endPoint.y) break;
    for (; nextY < row->gridY(); ++nextY) WriteEmptyFields(output, 0, columnCount, columnCount, commas);
    int64_t x = 0;
    for (const CACellEntry& entry : row->cells()) {
      const int64_t cellX = entry.x() - x0;
      if (cellX < 0) continue;
      if (cellX >= columnCount) break;
      WriteEmptyFields(output, x, cellX, columnCount, commas);
      WriteTextField(output, CellFieldText(*CACellReading(entry, row->gridY(), &document)), commas, cellX, columnCount);
      x = cellX + 1;
      if (output.size() > kMaxDelimitedTextLength) return refuse();
    }
    WriteEmptyFields(output, x, columnCount, columnCount, commas);
    nextY = row->gridY() + 1;
    if (output.size() > kMaxDelimitedTextLength) return refuse();
  }
  return output;
}
