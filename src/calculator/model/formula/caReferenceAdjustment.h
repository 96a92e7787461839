// Keeping formulas pointed at the same cells when cells move: inserting or deleting cells,
// columns or rows, moving a block of whole columns or rows past its neighbours, and copying a
// formula elsewhere. Tokens and formula text are rewritten together; "$" coordinates never move.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/formula/CAFormulaToken.h"

#include <QString>

#include <cstddef>
#include <cstdint>

class CACell;

// A move of whole columns (or rows) past their neighbours: two adjacent blocks of positions,
// bounds inclusive, each position inside a block moving by that block's delta.
struct CABigMove {
  int64_t firstStart = 0;
  int64_t firstEnd = 0;
  int64_t firstDelta = 0;
  int64_t secondStart = 0;
  int64_t secondEnd = 0;
  int64_t secondDelta = 0;
  bool columns = false;  // true: x coordinates move; false: y
};

// Stands in the formula text for a reference whose cells were deleted. It is no reference, so
// the formula no longer parses and the cell shows the error of an unknown reference ("<Symbol>")
// instead of quietly reading whatever cell moved into the deleted one's place.
inline constexpr const char* kDeletedReferenceText = "<Reference>";

// Each answers whether the token is a reference or range that the edit changes, with its new
// point (reference) or range (range token). Every other kind of token gives false.
//
// Edit shift: dx, dy (one of them 0) are positive for an insertion and minus the count for a
// deletion; editRange is the selection that was inserted or deleted. When given, *deleted tells
// whether every cell the token names was deleted; the new point or range is then meaningless.
bool TokenAffectedByEdit(const CAFormulaToken& token, int64_t dx, int64_t dy, GridPoint* point,
                         GridRange* range, const GridRange& editRange, bool* deleted = nullptr);
bool TokenAffectedByBigMove(const CAFormulaToken& token, const CABigMove& move, GridPoint* point,
                            GridRange* range);
// Copy shift: dx, dy = destination minus source; coordinates stop at 0.
bool TokenAffectedByCopy(const CAFormulaToken& token, int64_t dx, int64_t dy, GridPoint* point,
                         GridRange* range);

// Gives expression[tokenIndex] its new point (reference) or range (range token) and replaces
// its text in the formula by the A1 form; later tokens' offsets follow a change of length.
void AdjustReference(QString& formula, CAExpression& expression, size_t tokenIndex,
                     const GridPoint& point, const GridRange& range);
// Replaces the token's text by kDeletedReferenceText; later tokens' offsets follow. The token
// itself is left as it was: the caller parses the text again.
void MarkDeletedReference(QString& formula, CAExpression& expression, size_t tokenIndex);

// Whole-formula passes: every affected token is rewritten. They answer whether anything changed.
struct CAEditAdjustment {
  bool changed = false;
  // A reference lost its cells; the text holds kDeletedReferenceText and must be parsed again.
  bool referenceDeleted = false;
};
CAEditAdjustment AdjustExpressionForEdit(QString& formula, CAExpression& expression, int64_t dx,
                                         int64_t dy, const GridRange& editRange);
bool AdjustExpressionForBigMove(QString& formula, CAExpression& expression, const CABigMove& move);
bool AdjustExpressionForCopy(QString& formula, CAExpression& expression, int64_t dx, int64_t dy);

// The body of CACell::adjustExpressionCopiedFrom (formula/CACell_Adjust.cpp): the cell's
// relative references move by the distance from the source point to the cell's own.
void AdjustCellExpressionCopiedFrom(CACell& cell, const GridPoint& source);
