// How built-in function handlers (and the evaluator's operators) read their operands: one
// number at a time, a list of numbers that may include cells and ranges (with an operand mode
// saying which cells count, and as what), or a single range; plus the ordering of operands.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/formula/CAEvalContext.h"
#include "calculator/model/formula/caStatisticsCores.h"

#include <cstdint>
#include <optional>
#include <vector>

class CACell;
class CACellEntry;
class CADocument;

// Operand modes: which cells of a list count, and as what.
enum : int32_t {
  kOperandBlankCount = 0,        // COUNTBLANK: empty cells count 0; literals are left out
  kOperandNonEmptyCount = 1,     // COUNTA: every cell with something in it
  kOperandNumbersAndChecks = 2,  // MAXA, MINA, STDEV.S, single numbers: numbers and checkboxes
  kOperandAllValues = 3,         // AVERAGEA and the "A" variances: texts and pictures count 0
  kOperandNumbersOnly = 4,       // every other list function
};

using CAOperandArray = std::vector<CANumber>;

// Most points a blank-counting list visits: beyond it the list fails with error 8 rather than
// hold billions of zeros.
inline constexpr uint64_t kMaxBlankCountPoints = uint64_t(1) << 24;

// Takes the LAST item of the list (the first remaining argument, or the top of the value stack)
// as one number: a computed value is copied; a number token gives its number; a reference reads
// its cell in mode 2 (nothing there counts 0, an error cell is error 11) and makes a still
// unknown result hint a date when the cell is a date. A range, a marker or an empty list is
// error 1; an infinite or NaN value is error 3 or 6. On error the item stays, the failing index
// becomes its formula offset (a computed value has none) and nothing is returned.
std::optional<CANumber> NumericTopOfStackCore(CAEvaluationContext& context, CAOperandList& operands);
inline std::optional<CANumber> NumericTopOfStackCore(CAEvaluationContext& context) {
  return NumericTopOfStackCore(context, context.arguments);
}

// Consumes every remaining argument, first argument first, into a list of numbers in argument
// order, a range giving its cells row by row. Literals count except in mode 0; an error cell
// fails the list with error 11 (modes 2-4); an invalid range is error 11 at its offset; a token
// that a list cannot hold is error 10. A list that ends empty without another error is error 7
// ("<N/A>"), which most list functions take as "no values". On error nothing is returned.
std::optional<CAOperandArray> CreateOperandArray(CAEvaluationContext& context, int32_t mode);
// The same walk for the counting functions: how many numbers the list would hold, found without
// making them, and without a bound on the blank points a range may hold: the blank points of
// whole rows can pass 2^64, so the count is wider.
using CAOperandCount = unsigned __int128;
std::optional<CAOperandCount> CountOperands(CAEvaluationContext& context, int32_t mode);
// The count as a number: an integer while it fits one, else the real it comes to.
CANumber CountNumber(CAOperandCount count);
// The cells and plain numbers that list functions have read from blocks one by one, rather than
// from a recalculation's folds, since the program started: what evaluating costs beyond them.
uint64_t BlockEntriesWalked();

// The same walk folding the numbers into an aggregate of the parts asked for, for the list
// functions that need no list: SUM, AVERAGE, MAX, MIN, COUNT and their variants. Modes 1 to 4;
// the errors are CreateOperandArray's, error 7 included. During a recalculation a lone tall
// range is folded through the recalculation's memo (caRangeMemo.h).
bool AggregateOperands(CAEvaluationContext& context, int32_t mode, ListAggregate& aggregate);

// Converts the cell at (x, y) (absolute coordinates allowed) by GetCellNumber and appends the
// number it gives; NO when the conversion fails.
bool HandleCellForOperandArray(const CADocument& document, int64_t x, int64_t y, int32_t mode,
                               CAOperandArray& array);

// The conversion table of the operand modes. YES with *number set to the cell's own number or a
// shared constant, or to null when the cell is skipped; NO when the cell fails (a formula
// error in modes 2-4). A null cell is an empty point.
bool GetCellNumber(const CACell* cell, int32_t mode, const CANumber** number);
// The same for a cell or a plain number, whose value is put in *plain.
inline bool GetCellNumber(const CACellEntry* entry, int32_t mode, const CANumber** number,
                          std::optional<CANumber>* plain);

// Takes the next argument as a range: a range token's range or a reference's one-cell range,
// as written (not normalised). A value, another kind or an empty list is error 1 and an empty
// range; the argument is removed only on success.
GridRange RangeTopOfStack(CAEvaluationContext& context);

// The numbers (mode 4) of the cells of a range, sorted ascending by real value. The corners are
// made plain and put in order first. An error cell is error 11, no numbers error 7.
std::optional<CAOperandArray> CreateSortedOperandArrayFromRange(CAEvaluationContext& context,
                                                                const GridRange& range);

// 1 when a's real value minus b's is above 0, 0 when it is 0, else -1 (also with a NaN).
int CompareOperands(const CANumber& a, const CANumber& b);

// The mean of a list from CreateOperandArray. Without a list, error 7 (no values) is cleared
// and 0 returned; any other error gives nothing.
std::optional<CANumber> AverageOfOperands(CAEvaluationContext& context,
                                          const std::optional<CAOperandArray>& operands);

// Calls fn(entry) for each cell or plain number of a block of plain coordinates, rows top to
// bottom and each row left to right, without visiting the empty points in between; fn returns
// NO to stop. Returns NO when fn stopped the walk.
template <typename Fn>
bool ForEachEntryInBlock(const CADocument& document, const GridRange& plainBlock, Fn fn);

// The rows that walks over blocks have read, the range memo's folds among them: the work the
// list functions of a recalculation do, which tests count at two sizes.
inline uint64_t g_blockRowsRead = 0;

// The cell or plain number at a point (absolute coordinates allowed), or null: the document's
// lookup, made cheap for the runs of neighbouring rows that evaluating and recalculating walk by
// starting from the row found last.
const CACellEntry* EntryAtPoint(const CADocument& document, const GridPoint& point);
// The cell at a point, or null; null too for a plain number, which has no cell (formulas always
// have one).
CACell* CellAtPoint(const CADocument& document, const GridPoint& point);

// The plain block a range token names, corners in order: absolute coordinates made plain and a
// range typed end first (B1:A1) turned round. Whole rows or columns end at kGridOpenEnd. NO for
// a range that names no block (a lone wildcard end).
bool NormalizedBlock(const GridRange& range, GridRange* block);

// ---- template definition -------------------------------------------------------------------

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"

#include <algorithm>

inline bool GetCellNumber(const CACellEntry* entry, int32_t mode, const CANumber** number,
                          std::optional<CANumber>* plain) {
  if (!entry || !entry->isPlain()) return GetCellNumber(entry ? entry->cell() : nullptr, mode, number);
  *number = mode == kOperandBlankCount ? nullptr : &plain->emplace(entry->number());
  return true;
}

template <typename Fn>
bool ForEachEntryInBlock(const CADocument& document, const GridRange& plainBlock, Fn fn) {
  const CADocument::RowList& rows = document.rows();
  auto row = std::lower_bound(rows.begin(), rows.end(), plainBlock.startPoint.y,
                              [](const std::unique_ptr<CARow>& r, int64_t y) { return r->gridY() < y; });
  for (; row != rows.end() && (*row)->gridY() <= plainBlock.endPoint.y; ++row) {
    ++g_blockRowsRead;
    const CARow::CellList& cells = (*row)->cells();
    for (size_t i = (*row)->lowerBound(plainBlock.startPoint.x);
         i < cells.size() && cells[i].x() <= plainBlock.endPoint.x; ++i)
      if (!fn(cells[i])) return false;
  }
  return true;
}
