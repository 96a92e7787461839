// The sheet as delimited text: comma-separated and plain text files come in through the reader
// that finds its own delimiter, and go out as comma- or tab-separated UTF-8 text.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "platform/FLError.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <iterator>
#include <vector>

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

// The fields of a block's cells as they are written, in UTF-8, one after another in the order
// of the rows and of the cells in them: made first, so that the whole text's length is known
// before any of it is.
struct WrittenFields {
  QByteArray bytes;
  std::vector<qsizetype> ends;  // where each cell's field ends
};

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
  QByteArray output;
  if (!rows_.empty()) {
    // Every row is written as wide as the widest row of cells with content; the placeholders of
    // overflowing text add no columns. A sheet without content writes one empty column.
    const int64_t lastX = contentExtent().endPoint.x;
    bool tooLarge = false;
    output = DelimitedBytesOfBlock(*this, GridRange{{0, 0}, {lastX, rows_.back()->gridY()}}, commas,
                                   kMaxDelimitedTextLength, &tooLarge);
    if (tooLarge) {
      SetError(error, kTextTooLargeCode, QLatin1String(kTextTooLargeReason));
      return false;
    }
  }
  return WriteFileAtomically(path, output, error);
}

QByteArray DelimitedBytesOfBlock(const CADocument& document, const GridRange& block, bool commas, int64_t most,
                                 bool* tooLarge) {
  if (tooLarge) *tooLarge = false;
  const int64_t x0 = block.startPoint.x;
  const int64_t y0 = block.startPoint.y;
  const int64_t columnCount = block.endPoint.x - x0 + 1;
  if (columnCount <= 0 || block.endPoint.y < y0) return QByteArray("");
  const auto refuse = [&] {
    if (tooLarge) *tooLarge = true;
    return QByteArray();
  };
  // The rows written are those up to the last one that exists within the block.
  const CADocument::RowList& rows = document.rows();
  const auto first = std::lower_bound(rows.begin(), rows.end(), y0,
                                      [](const std::unique_ptr<CARow>& row, int64_t y) { return row->gridY() < y; });
  auto last = first;
  while (last != rows.end() && (*last)->gridY() <= block.endPoint.y) ++last;
  if (first == last) return QByteArray("");
  // Every field of every row written takes its separator or line end, one byte.
  const int64_t lastY = (*std::prev(last))->gridY();
  const unsigned __int128 separators = (unsigned __int128)uint64_t(columnCount) * uint64_t(lastY - y0 + 1);
  if (separators > (unsigned __int128)uint64_t(std::max<int64_t>(most, 0))) return refuse();
  int64_t size = int64_t(separators);
  const auto eachCell = [&](auto&& visit) {
    for (auto row = first; row != last; ++row) {
      for (const CACellEntry& entry : (*row)->cells()) {
        const int64_t cellX = entry.x() - x0;
        if (cellX < 0) continue;
        if (cellX >= columnCount) break;
        visit(**row, entry, cellX);
      }
    }
  };
  WrittenFields fields;
  bool over = false;
  eachCell([&](const CARow& row, const CACellEntry& entry, int64_t cellX) {
    if (over) return;
    const QString text = CellFieldText(*CACellReading(entry, row.gridY(), &document));
    if (!text.isEmpty()) {
      QString field;
      WriteTextField(field, text, commas, cellX, columnCount);
      field.chop(1);  // its separator, counted above
      fields.bytes += field.toUtf8();
      over = size + fields.bytes.size() > most;
    }
    fields.ends.push_back(fields.bytes.size());
  });
  if (over) return refuse();

  const char separator = commas ? ',' : '\t';
  QByteArray output;
  output.reserve(size + fields.bytes.size());
  QByteArray emptyRow(columnCount, separator);
  emptyRow.back() = '\n';
  const auto emptyFields = [&](int64_t from, int64_t to) {
    if (from >= to) return;
    output.append(emptyRow.constData() + from, to - from);
  };
  int64_t nextY = y0;
  int64_t x = 0;
  size_t field = 0;
  const CARow* current = nullptr;
  const auto endRow = [&] {
    if (!current) return;
    emptyFields(x, columnCount);
    nextY = current->gridY() + 1;
  };
  eachCell([&](const CARow& row, const CACellEntry&, int64_t cellX) {
    if (&row != current) {
      endRow();
      AppendRepeated(output, emptyRow, row.gridY() - nextY);
      current = &row;
      x = 0;
    }
    emptyFields(x, cellX);
    const qsizetype begin = field == 0 ? 0 : fields.ends[field - 1];
    output.append(fields.bytes.constData() + begin, fields.ends[field] - begin);
    ++field;
    output += emptyRow.at(cellX);
    x = cellX + 1;
  });
  endRow();
  // Rows without cells of the block, up to the last row.
  AppendRepeated(output, emptyRow, lastY + 1 - nextY);
  return output;
}

QString DelimitedTextOfBlock(const CADocument& document, const GridRange& block, bool commas, bool* tooLarge) {
  bool refused = false;
  const QByteArray bytes = DelimitedBytesOfBlock(document, block, commas, kMaxDelimitedTextLength, &refused);
  if (tooLarge) *tooLarge = refused;
  return refused ? QString() : QString::fromUtf8(bytes);
}
