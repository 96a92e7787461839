// The edit commands that change the shape or contents of the selection: insert and delete of
// cells, rows and columns, clearing values or formats, checkboxes, links and pictures, moving
// whole columns or rows past their neighbours, and filling from the first row or column. Each
// registers its undo step before it changes anything and changes nothing when it is refused.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CAReferenceTable.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caCommandLimit.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/model/formula/caOperands.h"
#include "calculator/model/formula/caReferenceAdjustment.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/StringWithFormat.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>

namespace {

constexpr const char* kUnknownInsert = "Unknown insert";
constexpr const char* kUnknownDelete = "Unknown delete";
constexpr const char* kCantInsertPicture = "Can't insert picture.";
constexpr const char* kCantOpenPictureFile = "I couldn't open the file %@.";

// The item's key in a sorted list of rows, columns or cells.
int64_t KeyOf(const CARow& row) { return row.gridY(); }
int64_t KeyOf(const CAColumn& column) { return column.gridX(); }
int64_t KeyOf(const CACellEntry& entry) { return entry.x(); }
// The item a list holds: rows and columns by pointer, cells as entries.
template <typename T>
T& ItemOf(const std::unique_ptr<T>& item) {
  return *item;
}
CACellEntry& ItemOf(CACellEntry& entry) { return entry; }
const CACellEntry& ItemOf(const CACellEntry& entry) { return entry; }

// A move of the block [s, e] so that it starts at d, over a list sorted by key: the items of
// the block and those it passes over are renumbered by `renumber` and the list is put back in
// order by rotating the two runs.
template <typename List, typename Renumber>
void MoveBlock(List& list, int64_t s, int64_t e, int64_t d, Renumber renumber) {
  const int64_t n = e - s + 1;
  const int64_t lo = std::min(d, s);
  const int64_t hi = std::max(e + 1, d + n);
  const auto at = [&](int64_t key) {
    return std::lower_bound(list.begin(), list.end(), key,
                            [](const auto& item, int64_t k) { return KeyOf(ItemOf(item)) < k; });
  };
  const auto first = at(lo);
  const auto blockStart = at(s);
  const auto blockEnd = at(e + 1);
  const auto last = at(hi);
  for (auto it = first; it != last; ++it) {
    const int64_t key = KeyOf(ItemOf(*it));
    renumber(ItemOf(*it), key < s ? key + n : (key > e ? key - n : key + (d - s)));
  }
  if (d < s)
    std::rotate(first, blockStart, blockEnd);
  else
    std::rotate(blockStart, blockEnd, last);
}

// Whether inserting `count` columns (or rows) at `first` would push a cell, a column or a row
// past the last column (or row) of the grid.
bool InsertionLeavesGrid(const CADocument& document, bool columns, int64_t first, int64_t count) {
  int64_t furthest = -1;
  if (columns) {
    for (const std::unique_ptr<CARow>& row : document.rows())
      if (!row->cells().empty()) furthest = std::max(furthest, row->cells().back().x());
    if (!document.columns().empty()) furthest = std::max(furthest, document.columns().back()->gridX());
  } else if (!document.rows().empty()) {
    furthest = document.rows().back()->gridY();
  }
  if (furthest < first) return false;
  int64_t moved = 0;
  return __builtin_add_overflow(furthest, count, &moved) || moved > (columns ? LastGridColumn() : kLastGridRow);
}

// The block whose cells an insertion or deletion moves: whole columns (or rows) move the cells
// of every row (or column), whatever the selection's extent the other way, so formulas anywhere
// must follow them.
GridRange EditedBlock(const GridRange& selection, int32_t editType) {
  GridRange block;
  TypeOfRange(&block, selection);
  if (editType == kEditColumns)
    return GridRange{{block.startPoint.x, kGridWildcard}, {block.endPoint.x, kGridWildcard}};
  if (editType == kEditRows)
    return GridRange{{kGridWildcard, block.startPoint.y}, {kGridWildcard, block.endPoint.y}};
  return selection;
}

// Whether clearing the range (normalised, of its kind) would change anything: a cell it empties
// or a format it takes away. A placeholder of a text's overflow holds nothing of its own.
bool ClearChangesSomething(const CADocument& document, const GridRange& range, int32_t type, int32_t clearType) {
  const bool formats = clearType == kClearAll || clearType == kClearFormats;
  const bool contents = clearType == kClearAll || clearType == kClearContents;
  const int64_t x0 = range.startPoint.x;
  const int64_t x1 = range.endPoint.x;
  if (formats && type == kRangeColumns)
    for (const std::unique_ptr<CAColumn>& column : document.columns())
      if (column->gridX() >= x0 && column->gridX() <= x1 && column->format()) return true;
  const auto clears = [&](const CACellEntry& entry) {
    if (entry.empty()) return false;
    if (entry.isPlain()) return contents;
    const CACell& cell = *entry.cell();
    const bool value = cell.valueType() != kValueNone && cell.valueType() != kValueOverflow;
    if (clearType == kClearAll) return cell.holdsContent();
    return contents ? value : cell.format() != nullptr;
  };
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    if (type != kRangeColumns && row->gridY() < range.startPoint.y) continue;
    if (type != kRangeColumns && row->gridY() > range.endPoint.y) break;
    if (formats && type == kRangeRows && row->format()) return true;
    const CARow::CellList& cells = row->cells();
    const size_t first = type == kRangeRows ? 0 : row->lowerBound(x0);
    for (size_t i = first; i < cells.size() && (type == kRangeRows || cells[i].x() <= x1); ++i)
      if (clears(cells[i])) return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Insert and delete

int32_t CADocument::editTypeForSelection() const {
  switch (TypeOfRange(nullptr, selectionRange_)) {
    case kRangeColumns:
      return kEditColumns;
    case kRangeRows:
      return kEditRows;
    default:
      return kEditCellsHorizontal;
  }
}

bool CADocument::canDelete(int32_t editType) const {
  if (editType == kEditFromSelection) editType = editTypeForSelection();
  const int32_t range = TypeOfRange(nullptr, selectionRange_);
  switch (editType) {
    case kEditCellsHorizontal:
    case kEditColumns:
      return range != kRangeRows;
    case kEditCellsVertical:
    case kEditRows:
      return range != kRangeColumns;
    default:
      return false;
  }
}

void CADocument::insert(int32_t editType) {
  if (editType == kEditFromSelection) editType = editTypeForSelection();
  if (editType < kEditCellsHorizontal || editType > kEditRows) {
    LogAssert(kUnknownInsert, __func__, __FILE__, __LINE__);
    return;
  }
  GridRange range;
  if (TypeOfRange(&range, selectionRange_) == kRangeInvalid) return;
  const GridRange& selection = selectionRange_;
  const int64_t w = selection.endPoint.x - selection.startPoint.x + 1;
  const int64_t h = selection.endPoint.y - selection.startPoint.y + 1;
  // Nothing may be pushed off the grid: such an insertion is refused whole.
  const bool alongX = editType == kEditCellsHorizontal || editType == kEditColumns;
  if (InsertionLeavesGrid(*this, alongX, alongX ? range.startPoint.x : range.startPoint.y, alongX ? w : h)) {
    WorkspaceBeep();
    return;
  }
  if (!setUndo(kFLNewUndoID, kUndoActionWholeDocument, kUndoInsert, GridRange{}, 0)) return;
  const SelectionHold hold(*this);
  const bool done = RunGuardedCommand(*this, [&] {
    // Most formulas move, and are adjusted: their references are registered once, after both.
    ReferenceRebuild references(*this);
    GridPoint shift;
    switch (editType) {
      case kEditCellsHorizontal:
        shift = GridPoint{w, 0};
        insertCellHorizontal(shift);
        break;
      case kEditCellsVertical:
        shift = GridPoint{0, h};
        insertCellVertical(shift);
        break;
      case kEditColumns:
        shift = GridPoint{w, 0};
        insertColumn(shift);
        break;
      default:
        shift = GridPoint{0, h};
        insertRow(shift);
        break;
    }
    adjustExpressionsBy(shift, EditedBlock(selection, editType));
    references.finish();
    recalcEverything();
  }, true);
  if (!done) return;
  invalidateAfterCellEdit(-1);
  if (controller_) {
    controller_->adjustCellViewForNewData();
    controller_->jumpToSelection();
  }
}

bool CADocument::deleteSelection(int32_t editType) {
  if (editType == kEditFromSelection) editType = editTypeForSelection();
  if (editType >= kEditCellsHorizontal && editType <= kEditRows &&
      TypeOfRange(nullptr, selectionRange_) == kRangeInvalid)
    return false;
  bool recorded = false;
  switch (editType) {
    case kEditColumns:
    case kEditRows:
      recorded = setUndo(kFLNewUndoID, kUndoActionWholeDocument, kUndoDelete, GridRange{}, 0);
      break;
    case kEditCellsHorizontal:
    case kEditCellsVertical:
      recorded = setCellUndo(kUndoDelete, kUndoRangeFullExtent);
      break;
    default:
      LogAssert(kUnknownDelete, __func__, __FILE__, __LINE__);
      return false;
  }
  if (!recorded) return false;
  const SelectionHold hold(*this);
  const GridRange& selection = selectionRange_;
  const int64_t w = selection.endPoint.x - selection.startPoint.x + 1;
  const int64_t h = selection.endPoint.y - selection.startPoint.y + 1;
  const bool done = RunGuardedCommand(*this, [&] {
    ReferenceRebuild references(*this);
    GridPoint shift;
    switch (editType) {
      case kEditCellsHorizontal:
        shift = GridPoint{-w, 0};
        deleteCellHorizontal(shift);
        break;
      case kEditCellsVertical:
        shift = GridPoint{0, -h};
        deleteCellVertical(shift);
        break;
      case kEditColumns:
        shift = GridPoint{-w, 0};
        deleteColumn(shift);
        break;
      default:
        shift = GridPoint{0, -h};
        deleteRow(shift);
        break;
    }
    adjustExpressionsBy(shift, EditedBlock(selection, editType));
    references.finish();
    recalcEverything();
  }, true);
  if (!done) return false;
  invalidateAfterCellEdit(-1);
  if (controller_) controller_->scrollAfterDelete();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Clearing

CADocument::EditBatch::EditBatch(CADocument& document, bool deferRecalculation)
    : document_(document), deferRecalculation_(deferRecalculation) {
  ++document_.editBatches_;
  if (deferRecalculation_) ++document_.recalcDeferrals_;
}

CADocument::EditBatch::~EditBatch() {
  if (deferRecalculation_) --document_.recalcDeferrals_;
  if (--document_.editBatches_ == 0) document_.markReferrersOfChangedPoints();
}

void CADocument::markReferrersOfChangedPoints() {
  if (changedPoints_.empty()) return;
  std::vector<GridPoint> points;
  points.swap(changedPoints_);
  CAReferenceTable& table = *references_;
  try {
    std::sort(points.begin(), points.end(),
              [](const GridPoint& a, const GridPoint& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    points.erase(std::unique(points.begin(), points.end()), points.end());
    // A block that holds many of the points names its referrers once: marked once, they stay so.
    table.beginConsuming();
    std::vector<GridPoint> referrers;
    for (const GridPoint& point : points) {
      referrers.clear();
      table.referrersOf(GridPoint{NormalizeCoordinate(point.x), NormalizeCoordinate(point.y)}, referrers);
      for (const GridPoint& referrer : referrers)
        if (CACell* cell = CellAtPoint(*this, referrer)) cell->setNeedRecalc(true);
    }
    table.endConsuming();
  } catch (const std::bad_alloc&) {
    table.endConsuming();
    // Without the room to find them all, every cell is recalculated.
    recalcEverything();
  }
}

void CADocument::clear(int32_t clearType) {
  const GridRange range = selectionRange_;
  RunGuardedCommand(*this, [&] { clearRange(range, clearType, kUndoClear); });
}

bool CADocument::clearRange(const GridRange& range, int32_t clearType, int32_t undoName) {
  GridRange normalized;
  const int32_t type = TypeOfRange(&normalized, range);
  if (type == kRangeInvalid) return false;
  // A Clear or Cut that would change nothing records no step and leaves the document as it was
  // (a sort's clear is part of the sort, which moves lines' heights and formats too).
  if (undoName != kUndoUnnamed && undoName != kUndoSort && !ClearChangesSomething(*this, normalized, type, clearType))
    return true;
  if (undoName != kUndoUnnamed) {
    uint32_t action = undoName == kUndoSort ? kUndoActionWholeDocument
                                            : (clearType == kClearFormats ? kUndoActionFormats : kUndoActionCells);
    int32_t domain = kDomainCell;
    if (type == kRangeRows || type == kRangeColumns) {
      if (clearType == kClearContents) {
        domain = type == kRangeRows ? kDomainRow : kDomainColumn;
      } else {
        // Line formats go too: the whole document is kept.
        domain = kDomainDocument;
        action = kUndoActionWholeDocument;
      }
    }
    if (!setUndo(kFLNewUndoID, action, undoName, range, domain)) return false;
  }
  std::optional<EditBatch> batch(std::in_place, *this);

  const int64_t x0 = normalized.startPoint.x;
  const int64_t x1 = normalized.endPoint.x;
  // Nothing refers to any cell: a cleared cell has no readers to tell.
  const bool unread = references_->isEmpty();
  // Told to no one, the cleared cells leave no fold kept for the next recalculation.
  if (unread) dropKeptFolds();
  // The row's cells in the range, from the last to the first. Cleared cells leave the row
  // together once all of them have been told, rather than one search and erase each.
  const auto clearCellsOf = [&](CARow& row, bool allCells) {
    CARow::CellList& cells = row.mutableCells();
    const size_t first = allCells ? 0 : row.lowerBound(x0);
    size_t end = first;
    while (end < cells.size() && (allCells || cells[end].x() <= x1)) ++end;
    bool plainCleared = false;
    try {
      for (size_t i = end; i-- > first;) {
        CACellEntry& entry = cells[i];
        if (entry.empty()) {
          // Left by an edit cut short: it goes with the cleared ones.
          plainCleared = true;
        } else if (entry.isPlain()) {
          // A plain number holds its value and nothing else: it has no format to lose, and
          // cleared of its contents it holds nothing and goes at once, its readers told without
          // making it a cell.
          if (clearType == kClearFormats) continue;
          if (!unread) setRecalcForDependents(GridPoint{entry.x(), row.gridY()});
          entry.reset();
          plainCleared = true;
        } else if (clearType == kClearAll) {
          row.cellAtIndex(i, this).clearValue();
        } else {
          clearCell(&row.cellAtIndex(i, this), cells, clearType);
        }
      }
    } catch (...) {
      // Cut short, the row keeps no emptied entry: the command's rollback reads it.
      if (plainCleared) cells.eraseIf([](const CACellEntry& entry) { return entry.empty(); });
      throw;
    }
    if (clearType == kClearAll)
      cells.erase(cells.begin() + qsizetype(first), cells.begin() + qsizetype(end));
    else if (plainCleared)
      cells.eraseIf([](const CACellEntry& entry) { return entry.empty(); });
    // A row left with no cell goes with the emptied cells, unless it keeps a format or height.
    if (cells.empty()) noteEmptiedCell(GridPoint{0, row.gridY()});
  };
  const bool lineFormats = clearType == kClearAll || clearType == kClearFormats;
  if (type == kRangeColumns) {
    if (lineFormats)
      for (const std::unique_ptr<CAColumn>& column : columns_) {
        if (column->gridX() > x1) break;
        if (column->gridX() >= x0) column->setFormat(std::nullopt);
      }
    for (const std::unique_ptr<CARow>& row : rows_) clearCellsOf(*row, false);
  } else {
    for (const std::unique_ptr<CARow>& row : rows_) {
      if (row->gridY() < normalized.startPoint.y) continue;
      if (row->gridY() > normalized.endPoint.y) break;
      if (type == kRangeRows) {
        if (lineFormats) row->setFormat(std::nullopt);
        clearCellsOf(*row, true);
      } else {
        clearCellsOf(*row, false);
      }
    }
  }

  batch.reset();
  if (clearType == kClearFormats || recalcDeferrals_ > 0) {
    // A deferred recalculation is the command's, once everything is in place. Formats cleared
    // alone change no value and need none, but may leave cells with nothing.
    if (recalcDeferrals_ == 0) dropEmptiedCells();
    if (controller_) controller_->redrawSelectionForDomain(kDomainDocument);
    notifyOfSelectionChange();
  } else {
    invalidateAfterCellEdit(-1);
  }
  if (controller_) controller_->scrollAfterDelete();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Checkboxes, links and pictures

void CADocument::insertCheckboxes() {
  GridRange range;
  const int32_t type = normalSelection(&range);
  if (type == kRangeInvalid) return;
  if (!WithinCommandLimit(range)) {
    WorkspaceBeep();
    return;
  }
  if (setCellUndo(kUndoInsert, kUndoRangeSelection)) {
    const bool done = RunGuardedCommand(*this, [&] {
      const EditBatch batch(*this);
      for (int64_t y = range.startPoint.y; y <= range.endPoint.y; ++y) {
        for (int64_t x = range.startPoint.x; x <= range.endPoint.x; ++x) {
          CACell* cell = cellAtGridPointImperative(GridPoint{x, y});
          if (!cell) continue;
          cell->clearValue();
          cell->setValueType(kValueCheckbox);
        }
        if (CARow* r = row(y)) r->setNeedCalculate(true);
      }
    }, true);
    // Formulas that read the cells see their new values.
    if (done) invalidateAfterCellEdit(-1);
  }
  if (controller_) {
    controller_->adjustCellViewForNewData();
    controller_->jumpToSelection();
  }
}

void CADocument::insertLink(const QString& link, const QString& displayText) {
  if (setCellUndo(kUndoInsert, kUndoRangeActiveCell)) {
    if (CACell* cell = cellAtGridPointImperative(activeCellPoint_)) {
      cell->setFormula(link);
      cell->setDisplayText(displayText);
    }
    invalidateAfterCellEdit(activeCellPoint_.y);
  }
  if (controller_) controller_->jumpToSelection();
}

void CADocument::insertPicture(const QString& path) {
  FLPictureRefusal refusal = FLPictureRefusal::None;
  std::shared_ptr<CAPicture> picture = CAPicture::withFile(path, guidString(), this, &refusal);
  if (picture && refusal != FLPictureRefusal::None) {
    // Priced before it was decoded and refused: said for what it is, not as a file that cannot be read.
    pictures_.remove(picture->guid());
    if (controller_) {
      if (refusal == FLPictureRefusal::PastDecodeLimit)
        controller_->giveAlert(QLatin1String(kCantInsertPicture), PicturePastDecodeLimitReason());
      else
        GiveCommandMemoryAlert(*this);
    }
    return;
  }
  if (!picture) {
    if (controller_)
      controller_->giveAlert(QLatin1String(kCantInsertPicture),
                             StringWithFormat(kCantOpenPictureFile, QFileInfo(path).fileName()));
    return;
  }
  if (setCellUndo(kUndoInsert, kUndoRangeActiveCell)) {
    if (CACell* cell = cellAtGridPointImperative(activeCellPoint_))
      cell->setPicture(picture);
    else
      pictures_.remove(picture->guid());
    invalidateAfterCellEdit(activeCellPoint_.y);
  } else {
    pictures_.remove(picture->guid());
  }
  if (controller_) controller_->jumpToSelection();
}

// ---------------------------------------------------------------------------------------------
// Moving whole columns and rows

namespace {

// The moved block's new first column or row, or nothing when the move would leave the grid (whose
// last line is `largest`) or go nowhere.
std::optional<int64_t> MoveTarget(int64_t s, int64_t e, double destination, int64_t largest) {
  if (!std::isfinite(destination) || destination < 0 || s < 0 || e < s || e > largest) return std::nullopt;
  // Compared as extended reals, which hold every coordinate exactly, where a double would not.
  if (static_cast<long double>(destination) > static_cast<long double>(largest - (e - s))) return std::nullopt;
  const int64_t d = int64_t(destination);
  if (d == s) return std::nullopt;
  return d;
}

// Moving s..e to d shifts the block by d - s and the cells it passes over the other way.
CABigMove BigMoveOf(int64_t s, int64_t e, int64_t d, bool columns) {
  const int64_t n = e - s + 1;
  CABigMove move;
  move.firstStart = s;
  move.firstEnd = e;
  move.firstDelta = d - s;
  if (s > d) {
    move.secondStart = d;
    move.secondEnd = s - 1;
    move.secondDelta = n;
  } else {
    move.secondStart = e + 1;
    move.secondEnd = d + n - 1;
    move.secondDelta = -n;
  }
  move.columns = columns;
  return move;
}

}  // namespace

void CADocument::moveSelectedColumnsTo(double destination) { moveSelectedLinesTo(destination, true); }

void CADocument::moveSelectedRowsTo(double destination) { moveSelectedLinesTo(destination, false); }

void CADocument::moveSelectedLinesTo(double destination, bool columns) {
  const int64_t s = columns ? selectionRange_.startPoint.x : selectionRange_.startPoint.y;
  const int64_t e = columns ? selectionRange_.endPoint.x : selectionRange_.endPoint.y;
  const std::optional<int64_t> target = MoveTarget(s, e, destination, columns ? LastGridColumn() : kLastGridRow);
  if (!target) return;
  const int64_t d = *target;
  const int64_t n = e - s + 1;
  if (!setUndo(kFLNewUndoID, kUndoActionWholeDocument, columns ? kUndoDragColumns : kUndoDragRows, GridRange{}, 0))
    return;

  // The references of the cells that move leave the table before any cell moves and come back
  // once every line is in order again.
  const int64_t lo = std::min(d, s);
  const int64_t hi = std::max(e + 1, d + n);
  const auto forMovingCells = [&](const std::function<void(CACell&)>& visit) {
    for (const std::unique_ptr<CARow>& r : rows_) {
      if (columns) {
        for (size_t i = r->lowerBound(lo); i < r->cells().size() && r->cells()[i].x() < hi; ++i)
          if (CACell* cell = r->cells()[i].cell()) visit(*cell);
      } else if (r->gridY() >= hi) {
        break;
      } else if (r->gridY() >= lo) {
        for (const CACellEntry& entry : r->cells())
          if (CACell* cell = entry.cell()) visit(*cell);
      }
    }
  };
  forMovingCells([this](CACell& cell) { dropReferencesOf(cell); });
  if (columns) {
    MoveBlock(columns_, s, e, d, [](CAColumn& column, int64_t x) { column.setGridX(x); });
    for (const std::unique_ptr<CARow>& r : rows_)
      MoveBlock(r->mutableCells(), s, e, d,
                [](CACellEntry& entry, int64_t x) { entry.setX(x); });
  } else {
    MoveBlock(rows_, s, e, d, [](CARow& moved, int64_t y) {
      for (const CACellEntry& entry : moved.cells())
        if (CACell* cell = entry.cell()) cell->setGridPoint(GridPoint{cell->gridPoint().x, y});
      moved.setGridY(y);
    });
  }
  forMovingCells([this](CACell& cell) { addReferencesOf(cell); });

  adjustExpressionsForBigMove(BigMoveOf(s, e, d, columns));
  // A formula whose text stays as it was may still read other cells now: a range reaching out of
  // the moved block, or a "$" reference into it.
  recalcEverything();

  GridRange moved = selectionRange_;
  (columns ? moved.startPoint.x : moved.startPoint.y) = d;
  (columns ? moved.endPoint.x : moved.endPoint.y) = e + (d - s);
  setSelectionRange(moved);
  setActiveCellPoint(columns ? GridPoint{d, moved.startPoint.y} : GridPoint{moved.startPoint.x, d});
  // Text overflows into other neighbours once columns have moved.
  if (columns) invalidateAllLongText();
  if (controller_) controller_->adjustCellViewForNewData();
  invalidateAfterCellEdit(-1);
  if (controller_) controller_->jumpToSelection();
}

// ---------------------------------------------------------------------------------------------
// Fill

void CADocument::fillUsingInfo(const CAFillInfo& info) {
  GridRange range;
  const int32_t type = normalSelection(&range);
  if (type == kRangeInvalid) return;
  if (!WithinCommandLimit(range)) {
    WorkspaceBeep();
    return;
  }
  const GridPoint& s = range.startPoint;
  const GridPoint& e = range.endPoint;

  // Rows and columns in running order, and where each target's source lies.
  int64_t firstY = s.y, lastY = e.y, stepY = 1;
  int64_t firstX = s.x, lastX = e.x, stepX = 1;
  GridPoint toSource;
  switch (info.direction) {
    case kFillDown:
      if (e.y <= s.y) return;
      firstY = s.y + 1;
      toSource = GridPoint{0, -1};
      break;
    case kFillRight:
      if (e.x <= s.x) return;
      firstX = s.x + 1;
      toSource = GridPoint{-1, 0};
      break;
    case kFillUp:
      if (e.y <= s.y) return;
      firstY = e.y - 1;
      lastY = s.y;
      stepY = -1;
      toSource = GridPoint{0, 1};
      break;
    case kFillLeft:
      if (e.x <= s.x) return;
      firstX = e.x - 1;
      lastX = s.x;
      stepX = -1;
      toSource = GridPoint{1, 0};
      break;
    default:
      return;
  }
  if (!setCellUndo(kUndoFill, kUndoRangeSelection)) return;

  // A date filled by months or years is counted from the line's first cell: a day the month
  // lacks (31 January to 29 February) is clamped in that cell alone, never carried on to the
  // months after it. Everything else follows from the neighbour just filled.
  const bool fromFirst = info.kind == kFillDate && info.dateUnit != kFillDays;
  const auto firstOfLine = [&](const GridPoint& target) {
    switch (info.direction) {
      case kFillDown: return GridPoint{target.x, s.y};
      case kFillRight: return GridPoint{s.x, target.y};
      case kFillUp: return GridPoint{target.x, e.y};
      default: return GridPoint{e.x, target.y};
    }
  };
  const bool done = RunGuardedCommand(*this, [&] {
    const EditBatch batch(*this);
    for (int64_t y = firstY;; y += stepY) {
      for (int64_t x = firstX;; x += stepX) {
        const GridPoint target{x, y};
        GridPoint from{x + toSource.x, y + toSource.y};
        int64_t steps = 1;
        if (fromFirst) {
          from = firstOfLine(target);
          steps = std::max(std::llabs(target.x - from.x), std::llabs(target.y - from.y));
        }
        const CACell* source = cellAtGridPoint(from);
        if (!source) {
          if (CACell* existing = cellAtGridPoint(target)) {
            existing->clearValue();
            existing->setFormat(std::nullopt);
          }
        } else {
          if (CACell* cell = cellAtGridPointImperative(target)) cell->fillFrom(*source, info, steps);
        }
        if (x == lastX) break;
      }
      if (y == lastY) break;
    }
  }, true);
  if (!done) return;
  invalidateAfterCellEdit(-1);
  if (controller_) {
    controller_->adjustCellViewForNewData();
    controller_->jumpToSelection();
  }
}
