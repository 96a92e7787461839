// The Excel 97-2003 workbook import: the BIFF8 records of a compound file's "Workbook" stream,
// read in one globals pass (fonts, formats, shared strings, palette, code page, sheets, names)
// and one pass per visible worksheet. Every visible worksheet goes into the one sheet of the
// document, side by side with two empty columns between; the document is filled through
// ExcelDelegate, so the reader can be tested without one.
#pragma once

#include "calculator/model/CAFormat.h"
#include "calculator/model/CAGridPoint.h"

#include <QByteArrayView>
#include <QFont>
#include <QString>

#include <cstdint>

inline constexpr const char* kExcelDataMemoryReason = "There's not enough memory to read the spreadsheet data.";
inline constexpr const char* kExcelNoSheetsReason = "There are no visible spreadsheets in the file.";
inline constexpr const char* kExcelDamagedReason = "This file has been damaged.";

// Import value types of the cells handed to the delegate.
enum : int32_t {
  kXLValueNone = 0,
  kXLValueBoolean = 1,
  kXLValueDate = 2,      // a yyyymmdd day index
  kXLValueFraction = 3,
  kXLValueReal = 4,
  kXLValueInteger = 5,
  kXLValueText = 6,
};

struct XLValue {
  int32_t type = kXLValueNone;
  bool boolean = false;
  int32_t dayIndex = 0;
  int64_t numerator = 0;
  int64_t denominator = 1;
  double real = 0;
  int64_t integer = 0;
  QString text;
  bool error = false;  // the text is an Excel error value ("#DIV/0!")
};

// What the import asks of the document. Grid points already include the sheet's column offset.
class ExcelDelegate {
 public:
  virtual ~ExcelDelegate() = default;
  virtual void setXLFont(const QFont& font) = 0;
  virtual void setXLDefaultWidth(uint64_t digits) = 0;
  // Width in digits (0: keep) and the column's format, if any.
  virtual void setWidth(uint64_t digits, int64_t column, const CAExcelFormatRecord* format) = 0;
  // Height in EMU (0: keep) of a whole document row.
  virtual void setHeight(int64_t height, int64_t row, const CAExcelFormatRecord* format) = 0;
  virtual void setCell(const GridPoint& point, const XLValue& value, const CAExcelFormatRecord* format) = 0;
  // A converted formula ("=..."), with the cached result that Excel computed (an error value
  // is no value for the cell's format). NO when the sheet
  // cannot take the text: the importer then keeps the cached value and marks the cell.
  virtual bool setCell(const GridPoint& point, const QString& formula, const XLValue& cached,
                       const CAExcelFormatRecord* format) = 0;
  // A visible worksheet begins at this column of the document.
  virtual void beginSheet(uint64_t sheetIndex, int64_t columnOffset) { (void)sheetIndex, (void)columnOffset; }
};

struct XLImportResult {
  bool formulaErrors = false;  // some formulas kept only their cached values
  uint64_t formulasKept = 0;   // how many: the cells marked as failed conversions
  uint64_t cells = 0;          // cells handed to the delegate
  bool budgetReached = false;  // the import's cell budget stopped the reading
  // The current meter passed its bound (the import then fails), with that share of the stream read.
  bool tooLarge = false;
  double shareRead = 1;
  bool columnsCut = false;     // sheets or cells past the grid's last column were left out
  // Readings of shared strings tried to find how a table's writer counted them, over all tables:
  // at most twice the bytes of the tables that needed them, and 64 more for each.
  uint64_t sharedStringReadings = 0;
};

// Reads a whole file. NO with the failure reason when the file is refused.
bool ImportExcelWorkbook(QByteArrayView file, ExcelDelegate& delegate, XLImportResult* result,
                         QString* failure);

// The same for a workbook stream already taken out of its container.
bool ImportExcelStream(QByteArrayView stream, ExcelDelegate& delegate, XLImportResult* result,
                       QString* failure);

// The background of cells whose formula could not be converted.
inline constexpr Kolor kFormulaImportErrorKolor = 0x644E4EEA;
