// Feeds arbitrary bytes to the delimited-text reader as a file's contents (as a ".csv" file or
// as other text, under the number separators of the United States or of Germany, by the input's
// first byte), then writes the fields it read as comma-separated
// text and reads that again: the same fields must come back. Any crash, hang, sanitizer report
// or difference here is a fault in the reader or the field writer.
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/TextImportDelegate.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>

namespace {

class FieldCollector : public TextImportDelegate {
 public:
  void setCellAtPoint(const GridPoint& point, const QVariant& value, int32_t valueType) override {
    if (point.x < 0 || point.y < 0 || valueType != kImportTypedText || value.toString().isEmpty())
      __builtin_trap();
    fields[{point.y, point.x}] = value.toString();
  }
  std::map<std::pair<int64_t, int64_t>, QString> fields;
};

}  // namespace

int FuzzDelimitedText(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool csvFile = data[0] & 1;
  // A decimal comma makes lines that are one number hold no delimiter.
  static const QLocale english(QLocale::English, QLocale::UnitedStates);
  static const QLocale german(QLocale::German, QLocale::Germany);
  SetNumberTextLocale(data[0] & 2 ? german : english);
  const std::optional<QString> text =
      DecodeTextFileData(QByteArrayView(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
  if (!text) return 0;
  FieldCollector read;
  LoadStringLines(TextLines(*text), read, csvFile);
  if (read.fields.empty()) return 0;

  int64_t columns = 0;
  for (const auto& [point, field] : read.fields) columns = std::max(columns, point.second + 1);
  QString written;
  int64_t y = 0;
  int64_t x = 0;
  for (const auto& [point, field] : read.fields) {
    for (; y < point.first; ++y, x = 0)
      for (; x < columns; ++x) WriteTextField(written, QString(), true, x, columns);
    for (; x < point.second; ++x) WriteTextField(written, QString(), true, x, columns);
    WriteTextField(written, field, true, x++, columns);
  }
  for (; x < columns; ++x) WriteTextField(written, QString(), true, x, columns);

  FieldCollector again;
  LoadStringLines(TextLines(written), again, true);
  if (again.fields != read.fields) __builtin_trap();
  return 0;
}
