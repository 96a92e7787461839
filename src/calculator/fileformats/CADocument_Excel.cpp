// The document's side of the Excel import: the delegate that stores what the workbook reader
// hands over, the entry point that the open dispatch calls for ".xls", and the alert when some
// formulas kept only their values.
#include "calculator/fileformats/caCompoundFile.h"
#include "calculator/fileformats/caExcelImport.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caTextServices.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flStringExtensions.h"
#include "platform/FLError.h"
#include "platform/StringWithFormat.h"

#include <QFileInfo>

#include <exception>

namespace {

constexpr int kBadContentCode = -50;
constexpr const char* kLoadFailedContext = "loadExcelFile:error: failed";
constexpr const char* kImportErrorsMessage = "Excel file has import errors.";
constexpr const char* kImportErrorsInformation =
    "The file \"%@\" was imported but some formulas could not be converted. When possible the "
    "values instead of the formulas were used, but otherwise there may be missing data in the "
    "spreadsheet.";
constexpr const char* kSuppressImportErrorsKey = "ov.excel.import";
constexpr const char* kUnknownValueTypeReport = "Unknown value type";

class DocumentExcelDelegate final : public ExcelDelegate {
 public:
  explicit DocumentExcelDelegate(CADocument& document) : document_(document) {}

  void setXLFont(const QFont& font) override { document_.setFont(font); }
  void setXLDefaultWidth(uint64_t digits) override { document_.setDefaultDigitCount(int64_t(digits)); }

  void setWidth(uint64_t digits, int64_t column, const CAExcelFormatRecord* format) override {
    CAColumn* target = document_.columnImperative(column);
    if (digits != 0) target->setDigitCount(int64_t(digits));
    if (format) target->setFormat(CAFormat::withExcelFormat(*format, kXLValueNone));
  }

  void setHeight(int64_t height, int64_t row, const CAExcelFormatRecord* format) override {
    CARow* target = document_.rowImperative(row);
    if (height != 0) target->setMinimumHeight(height);
    if (format) target->setFormat(CAFormat::withExcelFormat(*format, kXLValueNone));
  }

  void setCell(const GridPoint& point, const XLValue& value, const CAExcelFormatRecord* format) override {
    CACell* cell = document_.cellAtGridPointImperative(point);
    if (!cell) return;  // off the grid: refused
    switch (value.type) {
      case kXLValueNone:
        break;
      case kXLValueBoolean:
        document_.setCellAtPoint(point, value.boolean, kValueCheckbox);
        break;
      case kXLValueDate:
        cell->setNumberValue(CANumber(value.dayIndex));
        cell->setValueType(kValueDate);
        break;
      case kXLValueFraction:
        cell->setNumberValue(CANumber::withNumerator(value.numerator, uint64_t(value.denominator)));
        break;
      case kXLValueReal:
        cell->setNumberValue(CANumber::withReal(value.real));
        break;
      case kXLValueInteger:
        cell->setNumberValue(CANumber::withInteger(value.integer));
        break;
      case kXLValueText: {
        const QString text = cleanUp(value.text);
        if (ModelPreferences().smartLinks && IsValidUrl(text)) {
          cell->setFormula(text);
        } else {
          cell->clearValue();
          cell->setFormulaString(text.isNull() ? QString(QLatin1String("")) : text);
          cell->setValueType(kValueText);
          cell->setNeedRecalc(false);
        }
        break;
      }
      default:
        LogAssert(kUnknownValueTypeReport, __func__, __FILE__, __LINE__);
        break;
    }
    if (format) cell->setFormat(CAFormat::withExcelFormat(*format, value.type));
  }

  bool setCell(const GridPoint& point, const QString& formula, const XLValue& cached,
               const CAExcelFormatRecord* format) override {
    CACell* cell = document_.cellAtGridPointImperative(point);
    if (!cell) return true;  // off the grid: refused, and no value to keep either
    cell->setFormula(formula);
    if (cell->parseResult() != 0) {
      // The sheet's parser reads it otherwise than Excel did: the caller keeps the value.
      cell->clearValue();
      return false;
    }
    if (format) cell->setFormat(CAFormat::withExcelFormat(*format, cached.error ? kXLValueNone : cached.type));
    return true;
  }

 private:
  CADocument& document_;
};

}  // namespace

bool CADocument::loadExcelFile(const QString& path, FLError* error) {
  try {
    QByteArray bytes;
    if (!ReadWholeFile(path, &bytes, error)) return false;
    DocumentExcelDelegate delegate(*this);
    XLImportResult result;
    QString failure;
    if (!ImportExcelWorkbook(bytes, delegate, &result, &failure)) {
      SetError(error, kBadContentCode,
               failure.isEmpty() ? QString::fromUtf8(kExcelFormatReason) : failure);
      return false;
    }
    if (result.formulaErrors)
      ShowImportAlert(kSuppressImportErrorsKey, QLatin1String(kImportErrorsMessage),
                      StringWithFormat(kImportErrorsInformation, QFileInfo(path).completeBaseName()));
    return true;
  } catch (const std::exception& exception) {
    LogException(exception, QLatin1String(kLoadFailedContext));
  } catch (...) {
    LogException(QStringLiteral("unknown exception"), QLatin1String(kLoadFailedContext));
  }
  return false;
}
