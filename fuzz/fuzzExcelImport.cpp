// Feeds arbitrary bytes to the workbook import as a BIFF8 "Workbook" stream: records, CONTINUE
// joins, strings, formats, shared strings, formulas and their names and shared formulas.
#include "FuzzApplication.h"
#include "calculator/fileformats/caExcelImport.h"

#include "framlet/foundation/flBase.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

// Touches what it is given, as the document would.
class CountingDelegate final : public ExcelDelegate {
 public:
  void setXLFont(const QFont&) override {}
  void setXLDefaultWidth(uint64_t) override {}
  void setWidth(uint64_t, int64_t column, const CAExcelFormatRecord*) override { sum_ += uint64_t(column); }
  void setHeight(int64_t height, int64_t, const CAExcelFormatRecord*) override { sum_ += uint64_t(height); }
  void setCell(const GridPoint& point, const XLValue& value, const CAExcelFormatRecord* format) override {
    sum_ += uint64_t(point.x + point.y) + uint64_t(value.text.size());
    if (format) sum_ += uint64_t(format->numberFormatCode.size());
  }
  bool setCell(const GridPoint& point, const QString& formula, const XLValue&, const CAExcelFormatRecord*) override {
    sum_ += uint64_t(point.x) + uint64_t(formula.size());
    return (sum_ & 1) == 0;
  }

 private:
  uint64_t sum_ = 0;
};

}  // namespace

int FuzzExcelImport(const uint8_t* data, size_t size) {
  // The workbook's font is looked up among the installed ones.
  if (!HaveGuiApplication()) return 0;
  const QByteArrayView stream(reinterpret_cast<const char*>(data), qsizetype(size));
  CountingDelegate delegate;
  XLImportResult result;
  QString failure;
  // Assertions about the data log with a backtrace each; keep them out of the way.
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  const bool trap = !ImportExcelStream(stream, delegate, &result, &failure) && failure.isEmpty();
  SetLogHandler(previous);
  if (trap) __builtin_trap();
  return 0;
}
