// The document's side of the reference table and of recalculation: registering formulas'
// references, marking dependents, and the recalculation after edits.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CARecalculation.h"
#include "calculator/model/CARow.h"
#include "calculator/model/formula/caRangeMemo.h"

#include <algorithm>
#include <memory>
#include <new>

void CADocument::addDependencies(CAExpressionView expression, const GridPoint& point) {
  if (!keepsNoReferences_) EnumerateReferences(*this, *references_, expression, point, true);
}

void CADocument::deleteDependencies(CAExpressionView expression, const GridPoint& point) {
  if (!keepsNoReferences_) EnumerateReferences(*this, *references_, expression, point, false);
}

CADocument::ReferenceRebuild::ReferenceRebuild(CADocument& document) : document_(document) {
  document_.keepsNoReferences_ = true;
  // The cells are about to move: no fold kept holds.
  document_.dropKeptFolds();
}

CADocument::ReferenceRebuild::~ReferenceRebuild() {
  if (finished_) return;
  try {
    finish();
  } catch (const std::bad_alloc&) {
    // The whole-document step the edit recorded gives the sheet and its table back.
    document_.keepsNoReferences_ = false;
  }
}

void CADocument::ReferenceRebuild::finish() {
  document_.keepsNoReferences_ = false;
  document_.references_ = std::make_unique<CAReferenceTable>();
  for (const std::unique_ptr<CARow>& row : document_.rows_)
    for (const CACellEntry& entry : row->cells())
      // An edit cut short may leave an entry whose cell was taken out and not put back.
      if (!entry.empty() && entry.isFormula()) document_.addReferencesOf(*entry.cell());
  finished_ = true;
}

void CADocument::addReferenceFrom(const GridPoint& from, const GridPoint& to) {
  const GridPoint plain{NormalizeCoordinate(from.x), NormalizeCoordinate(from.y)};
  if (references_->addReference(plain, GridPoint{NormalizeCoordinate(to.x), NormalizeCoordinate(to.y)}))
    if (CACell* cell = cellAtGridPoint(plain)) cell->setNeedRecalc(true);
}

void CADocument::removeReferenceFrom(const GridPoint& from, const GridPoint& to) {
  const GridPoint plain{NormalizeCoordinate(from.x), NormalizeCoordinate(from.y)};
  if (references_->removeReference(plain, GridPoint{NormalizeCoordinate(to.x), NormalizeCoordinate(to.y)}))
    if (CACell* cell = cellAtGridPoint(plain)) cell->setNeedRecalc(true);
}

void CADocument::setRecalcForDependents(const GridPoint& point) {
  changedCells_.add(GridPoint{NormalizeCoordinate(point.x), NormalizeCoordinate(point.y)});
  // An edit of many cells marks the referrers of them all at once when it ends.
  if (editBatches_ > 0) {
    changedPoints_.push_back(point);
    return;
  }
  // Whatever reads it was entered by the read under way, and is marked already.
  if (freshReads_ > 0) return;
  SetRecalcForDependents(*this, *references_, point);
}

CADocument::ReadScope::ReadScope(CADocument& document) : document_(document) {
  if (document_.references_->isEmpty())
    ++document_.freshReads_;
  else
    batch_.emplace(document_);
}

CADocument::ReadScope::~ReadScope() {
  if (!batch_) --document_.freshReads_;
}

void CADocument::addRecalcDependencies(std::unordered_set<const CACell*>& set, const CACell& cell) {
  AddRecalcDependencies(*this, *references_, set, cell);
}

void CADocument::noteRecalcRow(int64_t y) {
  if (recalcEveryRow_) return;
  // Past an eighth of the rows, walking all of them costs less than sorting the notes.
  constexpr size_t kLeastNotes = 1024;
  if (recalcRows_.size() >= std::max(kLeastNotes, rows_.size() / 8)) {
    noteEveryRowForRecalc();
    return;
  }
  try {
    recalcRows_.push_back(y);
  } catch (const std::bad_alloc&) {
    noteEveryRowForRecalc();
  }
}

bool CADocument::takeRecalcRows(std::vector<int64_t>& rows) {
  const bool every = recalcEveryRow_;
  recalcEveryRow_ = false;
  rows.clear();
  rows.swap(recalcRows_);
  return !every;
}

void CADocument::recalcEverything() {
  dropKeptFolds();
  RecalcEverything(*this);
}

void CADocument::dropKeptFolds() {
  keptFolds_.reset();
  changedCells_.clear();
  ++keptFoldDrops_;
}

void CADocument::evaluate() {
  // Cleared once every step has run: a step that runs out of memory leaves what it did not do
  // marked (Recalculate, CACell::evaluate), and the flag tells a save to run it first.
  recalcUnfinished_ = true;
  // Widths changed since the texts were laid out lay them out again in this recalculation.
  invalidateLongTextForChangedWidths();
  // Cells changed by an edit still under way have their readers marked first.
  markReferrersOfChangedPoints();
  // What the edit left empty goes before anything is recalculated: a list that counts every
  // value would read a cell still there with nothing in it as 0.
  dropEmptiedCells();
  {
    // Within one recalculation the blocks its list functions fold stay as they are once read;
    // what they hold of cells that do not change is kept for the next one. Where no formula
    // refers to any cell, changes are told to no one: nothing is kept.
    if (references_->isEmpty()) dropKeptFolds();
    const uint64_t drops = keptFoldDrops_;
    CARangeMemo memo(*this, std::move(keptFolds_));
    Recalculate(*this, *references_);
    if (keptFoldDrops_ == drops) {
      // Cells changed while evaluating (a text's overflow laid out) are forgotten too.
      memo.forget(changedCells_);
      changedCells_.clear();
      keptFolds_ = memo.keep();
    }
  }
  // Texts laid out again during the walk may have left placeholders behind; they go once every
  // text has its new overflow.
  takeBackOverflow();
  // Overflow taken back may have left more.
  dropEmptiedCells();
  recalcUnfinished_ = false;
}

void CADocument::invalidateAfterCellEdit(int64_t y) {
  if (y < 0) {
    bumpSuppressRedraws(true);
    evaluate();
    bumpSuppressRedraws(false);
    if (controller_) controller_->redrawSelectionForDomain(kDomainDocument);
  } else {
    if (CARow* edited = row(y)) edited->setNeedCalculate(true);
    evaluate();
    if (controller_) controller_->redrawSelectionForDomain(kDomainCell);
  }
  notifyOfSelectionChange();
}

void CADocument::addReferencesOf(const CACell& cell) {
  if (cell.isFormula()) addDependencies(cell.expression(), cell.gridPoint());
}

void CADocument::dropReferencesOf(const CACell& cell) {
  if (cell.isFormula()) deleteDependencies(cell.expression(), cell.gridPoint());
}
