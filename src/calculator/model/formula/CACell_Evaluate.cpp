// Bringing a cell's shown value up to date: formulas are run by the evaluator, pictures size
// themselves to their column, texts lay out their overflow again. Also the cycle marking and
// the reference test that recalculation orders cells by.
#include "calculator/model/CACell.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/formula/caEvaluator.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caOperands.h"

namespace {

// Below this many cells in the set it is cheaper to test each against a range than to walk
// the range's cells.
constexpr size_t kSmallCellSet = 64;

// The model runs on the main thread only.
uint64_t g_formulaRuns = 0;

}  // namespace

uint64_t CACell::formulaRuns() { return g_formulaRuns; }

void CACell::evaluate() {
  // A cell whose evaluation fails part-way (memory running out) is still to be computed: the
  // next recalculation meets it again rather than keep what it showed before.
  try {
    evaluateValue();
  } catch (...) {
    needRecalc_ = true;
    noteRecalc();
    throw;
  }
}

void CACell::evaluateValue() {
  needRecalc_ = false;
  switch (valueType_) {
    case kValuePicture:
      recalcPictureHeight();
      break;
    case kValueText:
      layOutOverflow();
      break;
    case kValueError:
    case kValueFormula: {
      if (parseResult_ != 0) {
        // A formula that did not parse is never run: it shows its parse error.
        evalResult_ = parseResult_;
        storeNumber(std::nullopt);
        ephemeralResult_ = false;
        valueType_ = kValueError;
        break;
      }
      ++g_formulaRuns;
      const CAExpressionOutcome outcome = RunExpression(document_, expression());
      if (outcome.errorOffset) errorOffset_ = uint32_t(*outcome.errorOffset);
      evalResult_ = int8_t(outcome.error);
      formulaResultType_ = outcome.resultHint == kResultHintDate ? kValueDate : kValueNumber;
      ephemeralResult_ = outcome.volatileResult;
      if (outcome.value)
        storeNumber(outcome.value->copy());
      else if (outcome.error == kFormulaErrorNaN)
        storeNumber(CANumber::asNan());
      else if (outcome.error == kFormulaErrorInfinite)
        storeNumber(CANumber::asInf());
      else
        storeNumber(std::nullopt);
      valueType_ = outcome.error == 0 ? kValueFormula : kValueError;
      break;
    }
    default:
      break;
  }
  // A volatile result is worked out again by every recalculation.
  if (ephemeralResult_) noteRecalc();
}

void CACell::layOutOverflow() {
  if (!document_) return;
  if (extraColumns() > 0) {
    document_->invalidateLongText(gridPoint_);
    document_->noteOverflowToTakeBack(gridPoint_, extraColumns());
  }
  setExtraColumns(uint64_t(0));
  if (!document_->constrainText()) {
    setExtraColumns();
    if (extraColumns() > 0) document_->invalidateLongText(gridPoint_);
  }
  // The overflow has just been laid out again; asking for it once more would re-measure the text
  // on every later recalculation.
  needRecalc_ = false;
}

void CACell::layOut() {
  try {
    if (valueType_ == kValueText)
      layOutOverflow();
    else if (valueType_ == kValuePicture)
      recalcPictureHeight();
    else
      return;
    needRecalc_ = false;
  } catch (...) {
    needRecalc_ = true;
    noteRecalc();
    throw;
  }
}

void CACell::setCircularError() {
  valueType_ = kValueError;
  evalResult_ = kFormulaErrorValue;
  errorOffset_ = 0;
  storeNumber(std::nullopt);
  // Still to recalculate: the next recalculation meets it again.
  if (needRecalc_ || ephemeralResult_) noteRecalc();
}

bool CACell::refersToCells(const std::unordered_set<const CACell*>* cells) const {
  if (!isFormula()) return false;
  for (const CAFormulaToken& token : expression()) {
    const int32_t kind = token.type();
    if (kind == kTokenReference) {
      if (!cells) return true;
      if (!document_) continue;
      const CACell* cell = CellAtPoint(*document_, token.point());
      if (cell && cells->contains(cell)) return true;
    } else if (kind == kTokenRange) {
      if (!cells) return true;
      GridRange block;
      // A range typed end first (B1:A1) names the same block as A1:B1.
      if (!document_ || cells->empty() || !NormalizedBlock(token.range(), &block)) continue;
      if (cells->size() <= kSmallCellSet) {
        for (const CACell* cell : *cells) {
          const GridPoint& p = cell->gridPoint();
          if (p.x >= block.startPoint.x && p.x <= block.endPoint.x && p.y >= block.startPoint.y &&
              p.y <= block.endPoint.y && CellAtPoint(*document_, p) == cell)
            return true;
        }
      } else if (!ForEachEntryInBlock(*document_, block, [&](const CACellEntry& entry) {
                   return !entry.cell() || !cells->contains(entry.cell());
                 })) {
        return true;
      }
    }
  }
  return false;
}
