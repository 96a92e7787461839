// Excel formulas (BIFF8 parsed tokens, postfix) back to the sheet's own formula text: operators
// placed with the parentheses our parser needs, references shifted by the worksheet's column
// offset, Excel's function numbers and add-in or "_xlfn." names mapped to our functions, defined
// names and shared formulas expanded. What the sheet cannot express fails the conversion, and
// the importer keeps the cell's cached value.
#pragma once

#include "framlet/foundation/flSeededHash.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

inline constexpr int64_t kXLNoFunction = -1;

// A NAME record; its tokens are copied out of the record, which does not outlive its handling.
struct XLName {
  QString name;
  QByteArray tokens;
  uint64_t sheetIndex = 0;
  int64_t functionRow = kXLNoFunction;
};

// What the conversion needs from the import: the names, the external names of the add-in
// SUPBOOK, the shared formulas of the sheet, and where the current cell lies.
struct XLFormulaContext {
  std::vector<XLName> names;
  std::vector<int64_t> externalNames;
  uint64_t supbookCount = 0;
  int64_t addInSupbook = -1;
  bool readingAddInSupbook = false;
  // The SUPBOOK of each EXTERNSHEET entry: what an external name's sheet reference designates.
  std::vector<uint16_t> externSheetBooks;
  // Token arrays of SHRFMLA records by the (row << 32 | column) of the FORMULA that owns them.
  std::unordered_map<uint64_t, QByteArray, FLSeededHash> sharedFormulas;
  uint64_t column = 0;
  uint64_t row = 0;
  int64_t columnOffset = 0;
  uint64_t sheetIndex = 0;
};

// Function rows: 0-80 Excel's numbered functions and those reached by name, 81 an external call.
inline constexpr int64_t kXLExternalFunctionRow = 81;
// The row of an Excel function number, or kXLNoFunction.
int64_t IdentifyFunction(uint64_t number);
// The row of a function name (without "_xlfn."), ignoring case, or kXLNoFunction.
int64_t FunctionRowForName(const QString& name);
QString FunctionNameForRow(int64_t row);

// The byte length of the token at the start of `tokens`, or -1 when it has no known length.
int64_t TokenLength(QByteArrayView tokens);

// NAME, SUPBOOK and EXTERNNAME of the globals, kept for formulas. `name` is the decoded name;
// `flags` the NAME option flags.
void CaptureName(XLFormulaContext& context, const QString& name, uint16_t flags, QByteArrayView tokens);
void CaptureSupbook(XLFormulaContext& context, QByteArrayView body);
void CaptureExternName(XLFormulaContext& context, uint16_t flags, const QString& name);
// EXTERNSHEET: its entries' SUPBOOK indexes, each entry's first field.
void CaptureExternSheet(XLFormulaContext& context, QByteArrayView body);
void AddSharedFormula(XLFormulaContext& context, uint64_t column, uint64_t row, QByteArrayView tokens);

// The formula text without its "=" (after `prefix`, an importer giving "=" for the cell's
// entry), or nothing when the tokens cannot be expressed.
std::optional<QString> ConvertFormula(XLFormulaContext& context, QByteArrayView tokens, const char* prefix = "");
