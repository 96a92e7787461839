// Keeping a cell's formula pointed at the same cells when cells are inserted, deleted, moved
// or copied. The rewriting itself is caReferenceAdjustment's; here the cell keeps its entry in
// the document's reference table in step with the rewritten expression.
#include "calculator/model/CACell.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/formula/caReferenceAdjustment.h"

#include <utility>

namespace {

bool HasReferences(CAExpressionView expression) {
  for (const CAFormulaToken& token : expression) {
    const int32_t type = token.type();
    if (type == kTokenReference || type == kTokenRange) return true;
  }
  return false;
}

// The table forgets the old references before the tokens change and learns the new ones after;
// the text is stored as it is, without parsing it again.
void StoreAdjustedFormula(CACell& cell, const QString& formula, const CAExpression& expression) {
  CADocument* document = cell.document();
  if (document) document->deleteDependencies(cell.expression(), cell.gridPoint());
  cell.setFormulaAndExpression(formula, expression);
  if (document) document->addDependencies(cell.expression(), cell.gridPoint());
}

}  // namespace

void CACell::adjustExpressionBy(int64_t dx, int64_t dy, const GridRange& editRange) {
  const CAExpressionBuffer tokens = entered_.tokens();
  if (!HasReferences(tokens)) return;
  QString formula = this->formula();
  CAExpression expression(tokens.begin(), tokens.end());
  const CAEditAdjustment result = AdjustExpressionForEdit(formula, expression, dx, dy, editRange);
  if (!result.changed) return;
  // A reference whose cells are gone must not read whatever moved into their place. The text
  // keeps a marker there, and entering it again gives the cell the error of an unknown
  // reference, which it keeps after the document is saved and opened again.
  if (result.referenceDeleted) {
    setFormula(formula);
    return;
  }
  StoreAdjustedFormula(*this, formula, expression);
}

void CACell::adjustExpressionForBigMove(const CABigMove& move) {
  const CAExpressionBuffer tokens = entered_.tokens();
  if (!HasReferences(tokens)) return;
  QString formula = this->formula();
  CAExpression expression(tokens.begin(), tokens.end());
  if (AdjustExpressionForBigMove(formula, expression, move)) StoreAdjustedFormula(*this, formula, expression);
}

void AdjustCellExpressionCopiedFrom(CACell& cell, const GridPoint& source) {
  const GridPoint from{NormalizeCoordinate(source.x), NormalizeCoordinate(source.y)};
  const GridPoint& to = cell.gridPoint();
  if (from == to) return;
  // Both ends of the copy come from one decoded buffer: each call decodes afresh.
  const CAExpressionBuffer tokens = cell.expression();
  if (!HasReferences(tokens)) return;
  int64_t dx, dy;
  if (__builtin_sub_overflow(to.x, from.x, &dx) || __builtin_sub_overflow(to.y, from.y, &dy)) return;
  QString formula = cell.formula();
  CAExpression expression(tokens.begin(), tokens.end());
  if (AdjustExpressionForCopy(formula, expression, dx, dy)) StoreAdjustedFormula(cell, formula, expression);
}

void CACell::adjustExpressionCopiedFrom(const GridPoint& source) { AdjustCellExpressionCopiedFrom(*this, source); }
