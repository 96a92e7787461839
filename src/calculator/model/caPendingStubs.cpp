// Stand-ins for document and cell members that other subjects define: the reference table and
// recalculation, undo recording and reference adjustment. Each is declared where it belongs
// and answers as if nothing needed doing; delete a stand-in when its real definition arrives.
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"

void CADocument::addDependencies(const CAExpression&, const GridPoint&) {}

void CADocument::deleteDependencies(const CAExpression&, const GridPoint&) {}

void CADocument::setRecalcForDependents(const GridPoint&) {}

void CADocument::evaluate() {}

bool CADocument::setCellUndo(int32_t, int32_t) { return true; }

void CACell::adjustExpressionCopiedFrom(const GridPoint&) {}
