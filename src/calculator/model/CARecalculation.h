// Recalculation: keeping the document's reference table in step with its formulas, and
// evaluating, after an edit, the cells whose inputs changed after the cells they depend on,
// giving the cells caught in a reference cycle (and the cells that depend on one) the circular
// error. The document's members (addDependencies, evaluate, ...) call these.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/formula/CAFormulaToken.h"

#include <cstdint>
#include <unordered_set>
#include <vector>

class CACell;
class CADocument;
class CAReferenceTable;

// Registers (add) or drops every reference of an expression made by the cell at `from`: a
// reference names its cell, a range its block, corners put in order (a range typed end first,
// B1:A1, names the same block as A1:B1). The cell at `from` is marked for recalculation when its
// references change.
void EnumerateReferences(CADocument& document, CAReferenceTable& table, CAExpressionView expression,
                         const GridPoint& from, bool add);

// Marks every cell that refers to the point directly `needRecalc`.
void SetRecalcForDependents(CADocument& document, CAReferenceTable& table, const GridPoint& point);

// Adds to the set every cell that refers to the cell, directly or through other cells.
void AddRecalcDependencies(CADocument& document, CAReferenceTable& table,
                           std::unordered_set<const CACell*>& set, const CACell& cell);

// Marks every cell of the sheet `needRecalc` and every row for its height.
void RecalcEverything(CADocument& document);

// The recalculation:
// 1. Rows in ascending y, cells in ascending x: each cell that needs it (or whose result is
//    volatile) is evaluated at once when it refers to no cell, else it waits; either way every
//    cell that refers to it, directly or not, waits too. A row in which a cell was stored during
//    its walk (overflowing text) is walked again.
// 2. The waiting cells, listed by position (row, then column), are evaluated as repeated passes
//    from the last to the first would evaluate them: a cell is ready when no cell it refers to
//    is still waiting.
// 3. Cells that never become ready (a cycle, or depending on one) get the circular error.
void Recalculate(CADocument& document, CAReferenceTable& table);

// The order of step 2 for waiting cells 0..n-1 (list order). dependsOn[offsets[i] ..
// offsets[i + 1]) are the waiting cells that cell i refers to. Returns the cells in evaluation
// order; those left out never become ready. Linear in cells and dependencies, however many
// passes the repeated-pass form would need.
std::vector<uint32_t> PassOrder(uint32_t count, const std::vector<uint32_t>& offsets,
                                const std::vector<uint32_t>& dependsOn);
