// Feeds arbitrary bytes to the DIF reader as a file's contents, then writes what it read with the
// DIF field writer and reads that again: it must read, and give the same cells. Any crash, hang,
// sanitizer report or difference here is a fault in the reader or the writer.
#include "calculator/fileformats/caDif.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/TextImportDelegate.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>

namespace {

class CellCollector : public TextImportDelegate {
 public:
  void setCellAtPoint(const GridPoint& point, const QVariant& value, int32_t valueType) override {
    if (point.x < 0 || point.y < 0) __builtin_trap();
    if (valueType == kImportCheckbox)
      cells[{point.y, point.x}] = value.toBool() ? QStringLiteral("\x01TRUE") : QStringLiteral("\x01" "FALSE");
    else if (valueType == kImportTypedText && !value.toString().isEmpty())
      cells[{point.y, point.x}] = value.toString();
    else
      __builtin_trap();
  }
  std::map<std::pair<int64_t, int64_t>, QString> cells;
};

// Texts that the writer keeps as they are: no control characters, and no white space at the
// ends, which a reader may take for padding.
bool WrittenUnchanged(const QString& text) {
  for (QChar c : text)
    if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.unicode() == 0x85 || c.unicode() == 0x2028 ||
        c.unicode() == 0x2029)
      return false;
  return text.trimmed() == text;
}

}  // namespace

int FuzzDif(const uint8_t* data, size_t size) {
  const std::optional<QString> text =
      DecodeTextFileData(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
  if (!text) return 0;
  CellCollector read;
  if (!LoadDifLines(TextLines(*text), read, nullptr)) return 0;

  int64_t columns = 0;
  int64_t rows = 0;
  for (const auto& [point, value] : read.cells) {
    columns = std::max(columns, point.second + 1);
    rows = std::max(rows, point.first + 1);
  }
  QString written = QStringLiteral("TABLE\n0,1\n\"\"\nVECTORS\n0,0\n\"\"\nTUPLES\n0,0\n\"\"\nDATA\n0,0\n\"\"\n");
  for (int64_t y = 0; y < rows; ++y) {
    for (int64_t x = 0; x < columns; ++x) {
      const auto found = read.cells.find({y, x});
      if (found == read.cells.end())
        WriteDifField(written, QString(), kDifString, x);
      else if (found->second == QStringLiteral("\x01TRUE"))
        WriteDifField(written, QStringLiteral("1"), kDifTrue, x);
      else if (found->second == QStringLiteral("\x01" "FALSE"))
        WriteDifField(written, QStringLiteral("0"), kDifFalse, x);
      else
        WriteDifField(written, found->second, kDifString, x);
    }
  }
  written += QStringLiteral("-1,0\nEOD\n");

  CellCollector again;
  if (!LoadDifLines(TextLines(written), again, nullptr)) __builtin_trap();
  for (const auto& [point, value] : read.cells) {
    if (!WrittenUnchanged(value)) continue;
    const auto found = again.cells.find(point);
    if (found == again.cells.end() || found->second != value) __builtin_trap();
  }
  return 0;
}
