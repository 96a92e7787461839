// Structural edits of the sheet: shifting cells, rows and columns to insert or delete part of
// the selection, handing formulas to reference adjustment, and copying a block of cells or the
// row and column formats of another document into this one. Every cell that moves has its
// references removed at its old point and added at its new one, so that the reference table
// is right for the moved cell's own formula at once.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CARow.h"
#include "calculator/model/formula/caReferenceAdjustment.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

namespace {

constexpr const char* kTransferToItself = "Transfer from the document into itself";

// Puts the entry at a new column of its row, moving a cell's references along.
void MoveEntry(CADocument& document, CACellEntry& entry, int64_t x) {
  CACell* cell = entry.cell();
  if (!cell) {
    entry.setX(x);
    return;
  }
  document.dropReferencesOf(*cell);
  entry.setX(x);
  document.addReferencesOf(*cell);
}

// The row's cells follow it to its y, and their references are registered there.
void PlaceCellsOfRow(CADocument& document, const CARow& row) {
  for (const CACellEntry& entry : row.cells()) {
    if (CACell* cell = entry.cell()) {
      cell->setGridPoint(GridPoint{cell->gridPoint().x, row.gridY()});
      document.addReferencesOf(*cell);
    }
  }
}

// The selection with its wildcards opened up (whole columns run over every row, whole rows over
// every column); nothing for a selection that names no block.
std::optional<GridRange> EditRange(const GridRange& selection) {
  GridRange range;
  if (TypeOfRange(&range, selection) == kRangeInvalid) return std::nullopt;
  return range;
}

size_t RowIndexAtOrAfter(const CADocument::RowList& rows, int64_t y) {
  const auto it = std::lower_bound(rows.begin(), rows.end(), y,
                                   [](const std::unique_ptr<CARow>& row, int64_t key) { return row->gridY() < key; });
  return size_t(it - rows.begin());
}

size_t ColumnIndexAtOrAfter(const CADocument::ColumnList& columns, int64_t x) {
  const auto it = std::lower_bound(columns.begin(), columns.end(), x,
                                   [](const std::unique_ptr<CAColumn>& column, int64_t key) { return column->gridX() < key; });
  return size_t(it - columns.begin());
}

// A row that a shift took the last cell from goes with the emptied cells, unless it keeps a
// format or a height.
void NoteIfLeftEmpty(CADocument& document, const CARow& row) {
  if (row.cells().empty()) document.noteEmptiedCell(GridPoint{0, row.gridY()});
}

// One row's part of a horizontal delete (the work of handleCell:inCells:forDelete: for each of
// its cells): cells left of x0 stay, cells in [x0, x1] go, cells right of x1 move left by -dx.
// The row stays sorted at every step, since the reference table finds cells through it.
void DeleteCellsOfRow(CADocument& document, CARow& row, int64_t x0, int64_t x1, int64_t dx) {
  CARow::CellList& cells = row.mutableCells();
  const size_t first = row.lowerBound(x0);
  size_t last = first;
  for (; last < cells.size() && cells[last].x() <= x1; ++last)
    if (const CACell* cell = cells[last].cell()) document.dropReferencesOf(*cell);
  cells.erase(cells.begin() + qsizetype(first), cells.begin() + qsizetype(last));
  for (size_t i = first; i < cells.size(); ++i) MoveEntry(document, cells[i], cells[i].x() + dx);
  if (first != last) NoteIfLeftEmpty(document, row);
}

// Moves every cell of the row at x >= x0 right by dx, the last first.
void ShiftCellsOfRowRight(CADocument& document, CARow& row, int64_t x0, int64_t dx) {
  CARow::CellList& cells = row.mutableCells();
  const size_t first = row.lowerBound(x0);
  for (size_t i = cells.size(); i-- > first;) MoveEntry(document, cells[i], cells[i].x() + dx);
}

// Takes the cells with x in [x0, x1] out of every row from y0 on, after they have left the
// reference table. A row left with no cell is noted: the cells stored back may fill it again.
std::vector<std::unique_ptr<CACell>> TakeColumnSpan(CADocument& document, int64_t y0, int64_t x0, int64_t x1) {
  std::vector<std::unique_ptr<CACell>> taken;
  CADocument::RowList& rows = document.mutableRows();
  const size_t firstRow = RowIndexAtOrAfter(rows, y0);
  const auto span = [&](CARow& row, size_t* first, size_t* last) {
    *first = row.lowerBound(x0);
    *last = *first;
    while (*last < row.cells().size() && row.cells()[*last].x() <= x1) ++*last;
  };
  size_t first = 0;
  size_t last = 0;
  size_t count = 0;
  for (size_t r = firstRow; r < rows.size(); ++r) {
    span(*rows[r], &first, &last);
    count += last - first;
    for (size_t i = first; i < last; ++i)
      if (const CACell* cell = rows[r]->cells()[i].cell()) document.dropReferencesOf(*cell);
  }
  // Room for every cell first: a cell taken out of its row is always held somewhere.
  taken.reserve(count);
  for (size_t r = firstRow; r < rows.size(); ++r) {
    CARow::CellList& cells = rows[r]->mutableCells();
    span(*rows[r], &first, &last);
    // Plain numbers leave their row as cells: they are stored again at other rows.
    size_t i = first;
    try {
      for (; i < last; ++i) taken.push_back(cells[i].release(rows[r]->gridY(), &document));
    } catch (...) {
      // Cut short, the row keeps no emptied entry (the command's rollback reads the rows): what
      // was taken goes with the failure, and the rollback brings it back from the step.
      cells.erase(cells.begin() + qsizetype(first), cells.begin() + qsizetype(i));
      throw;
    }
    cells.erase(cells.begin() + qsizetype(first), cells.begin() + qsizetype(last));
    if (first != last) NoteIfLeftEmpty(document, *rows[r]);
  }
  return taken;
}

// Stores taken cells at their new rows and registers their references there. Every place they
// go was emptied when they were taken, so nothing is stored over.
void StoreMovedCells(CADocument& document, std::vector<std::unique_ptr<CACell>>& cells) {
  for (std::unique_ptr<CACell>& cell : cells) {
    CACell& stored = *cell;
    document.storeCell(std::move(cell));
    document.addReferencesOf(stored);
  }
}

// A coordinate moved by the offset, when it stays on the grid: columns end at the last column,
// rows at the last row.
bool AddCoordinate(int64_t base, int64_t offset, int64_t* result, bool alongX) {
  return !__builtin_add_overflow(base, offset, result) && *result >= 0 &&
         *result <= (alongX ? LastGridColumn() : kLastGridRow);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Deleting

void CADocument::deleteCellHorizontal(const GridPoint& shift) {
  const std::optional<GridRange> range = EditRange(selectionRange_);
  if (!range) return;
  for (size_t r = RowIndexAtOrAfter(rows_, range->startPoint.y); r < rows_.size(); ++r) {
    if (rows_[r]->gridY() > range->endPoint.y) break;
    DeleteCellsOfRow(*this, *rows_[r], range->startPoint.x, range->endPoint.x, shift.x);
  }
}

void CADocument::deleteCellVertical(const GridPoint& shift) {
  const std::optional<GridRange> range = EditRange(selectionRange_);
  if (!range) return;
  const int64_t y1 = range->endPoint.y;
  std::vector<std::unique_ptr<CACell>> taken =
      TakeColumnSpan(*this, range->startPoint.y, range->startPoint.x, range->endPoint.x);
  // Cells of the deleted rows go; those below come up by -dy.
  std::erase_if(taken, [y1](const std::unique_ptr<CACell>& cell) { return cell->gridPoint().y <= y1; });
  for (std::unique_ptr<CACell>& cell : taken)
    cell->setGridPoint(GridPoint{cell->gridPoint().x, cell->gridPoint().y + shift.y});
  StoreMovedCells(*this, taken);
}

void CADocument::deleteColumn(const GridPoint& shift) {
  const std::optional<GridRange> range = EditRange(selectionRange_);
  if (!range) return;
  const int64_t x0 = range->startPoint.x;
  const int64_t x1 = range->endPoint.x;
  const size_t first = ColumnIndexAtOrAfter(columns_, x0);
  const size_t last = ColumnIndexAtOrAfter(columns_, x1 == kGridOpenEnd ? x1 : x1 + 1);
  for (size_t c = last; c < columns_.size(); ++c) columns_[c]->setGridX(columns_[c]->gridX() + shift.x);
  columns_.erase(columns_.begin() + qsizetype(first), columns_.begin() + qsizetype(last));
  for (const std::unique_ptr<CARow>& row : rows_) DeleteCellsOfRow(*this, *row, x0, x1, shift.x);
}

void CADocument::deleteRow(const GridPoint& shift) {
  const std::optional<GridRange> range = EditRange(selectionRange_);
  if (!range) return;
  const size_t first = RowIndexAtOrAfter(rows_, range->startPoint.y);
  for (size_t r = first; r < rows_.size(); ++r) rows_[r]->dropReferencesOfCells(*this);
  const int64_t y1 = range->endPoint.y;
  const size_t last = y1 == kGridOpenEnd ? rows_.size() : RowIndexAtOrAfter(rows_, y1 + 1);
  rows_.erase(rows_.begin() + qsizetype(first), rows_.begin() + qsizetype(last));
  for (size_t r = first; r < rows_.size(); ++r) {
    CARow& row = *rows_[r];
    row.setGridY(row.gridY() + shift.y);
    PlaceCellsOfRow(*this, row);
  }
}

// ---------------------------------------------------------------------------------------------
// Inserting

void CADocument::insertCellHorizontal(const GridPoint& shift) {
  const std::optional<GridRange> range = EditRange(selectionRange_);
  if (!range) return;
  for (size_t r = RowIndexAtOrAfter(rows_, range->startPoint.y); r < rows_.size(); ++r) {
    if (rows_[r]->gridY() > range->endPoint.y) break;
    ShiftCellsOfRowRight(*this, *rows_[r], range->startPoint.x, shift.x);
  }
}

void CADocument::insertCellVertical(const GridPoint& shift) {
  const std::optional<GridRange> range = EditRange(selectionRange_);
  if (!range) return;
  std::vector<std::unique_ptr<CACell>> taken =
      TakeColumnSpan(*this, range->startPoint.y, range->startPoint.x, range->endPoint.x);
  for (std::unique_ptr<CACell>& cell : taken)
    cell->setGridPoint(GridPoint{cell->gridPoint().x, cell->gridPoint().y + shift.y});
  StoreMovedCells(*this, taken);
}

void CADocument::insertColumn(const GridPoint& shift) {
  const std::optional<GridRange> range = EditRange(selectionRange_);
  if (!range) return;
  const int64_t x0 = range->startPoint.x;
  const int64_t x1 = range->endPoint.x;
  const size_t first = ColumnIndexAtOrAfter(columns_, x0);
  // The inserted columns take over the formats and widths of the selected ones.
  ColumnList copies;
  for (size_t c = first; c < columns_.size() && columns_[c]->gridX() <= x1; ++c)
    copies.push_back(columns_[c]->copy());
  for (size_t c = first; c < columns_.size(); ++c) columns_[c]->setGridX(columns_[c]->gridX() + shift.x);
  columns_.insert(columns_.begin() + qsizetype(first), std::make_move_iterator(copies.begin()),
                  std::make_move_iterator(copies.end()));
  for (const std::unique_ptr<CARow>& row : rows_) ShiftCellsOfRowRight(*this, *row, x0, shift.x);
}

void CADocument::insertRow(const GridPoint& shift) {
  const std::optional<GridRange> range = EditRange(selectionRange_);
  if (!range) return;
  const size_t first = RowIndexAtOrAfter(rows_, range->startPoint.y);
  // Only a row's format carries over to the inserted row at its place.
  RowList inserted;
  for (size_t r = first; r < rows_.size() && rows_[r]->gridY() <= range->endPoint.y; ++r) {
    if (const CAFormat* format = rows_[r]->format()) {
      inserted.push_back(std::make_unique<CARow>(rows_[r]->gridY()));
      inserted.back()->setFormat(format->copy());
    }
  }
  // The last row first, so that the rows stay sorted while the references move.
  for (size_t r = rows_.size(); r-- > first;) {
    CARow& row = *rows_[r];
    row.dropReferencesOfCells(*this);
    row.setGridY(row.gridY() + shift.y);
    PlaceCellsOfRow(*this, row);
  }
  rows_.insert(rows_.begin() + qsizetype(first), std::make_move_iterator(inserted.begin()),
               std::make_move_iterator(inserted.end()));
}

// ---------------------------------------------------------------------------------------------
// Reference adjustment

void CADocument::adjustExpressionsBy(const GridPoint& shift) { adjustExpressionsBy(shift, selectionRange_); }

void CADocument::adjustExpressionsBy(const GridPoint& shift, const GridRange& editRange) {
  for (const std::unique_ptr<CARow>& row : rows_)
    for (const CACellEntry& entry : row->cells())
      if (entry.isFormula()) entry.cell()->adjustExpressionBy(shift.x, shift.y, editRange);
}

void CADocument::adjustExpressionsForBigMove(const CABigMove& move) {
  for (const std::unique_ptr<CARow>& row : rows_)
    for (const CACellEntry& entry : row->cells())
      if (entry.isFormula()) entry.cell()->adjustExpressionForBigMove(move);
}

// ---------------------------------------------------------------------------------------------
// Copying from another document

std::optional<GridRange> CADocument::visitFormatTargets(
    const CADocument& source, const std::function<void(int64_t, const CARow*, const CAColumn*)>& visit) const {
  GridRange from;
  const int32_t type = TypeOfRange(&from, source.selectionRange());
  GridRange to;
  if (TypeOfRange(&to, selectionRange_) == kRangeInvalid) return std::nullopt;
  if (type == kRangeRows) {
    const int64_t y0 = to.startPoint.y;
    for (const std::unique_ptr<CARow>& row : source.rows()) {
      int64_t y = 0;
      if (AddCoordinate(y0, row->gridY() - from.startPoint.y, &y, false)) visit(y, row.get(), nullptr);
    }
    return GridRange{{kGridWildcard, y0}, {kGridWildcard, y0 + (from.endPoint.y - from.startPoint.y)}};
  }
  if (type == kRangeColumns) {
    const int64_t x0 = to.startPoint.x;
    for (const std::unique_ptr<CAColumn>& column : source.columns()) {
      int64_t x = 0;
      if (AddCoordinate(x0, column->gridX() - from.startPoint.x, &x, true)) visit(x, nullptr, column.get());
    }
    return GridRange{{x0, kGridWildcard}, {x0 + (from.endPoint.x - from.startPoint.x), kGridWildcard}};
  }
  return std::nullopt;
}

void CADocument::transferFormats(const CADocument& source) {
  if (&source == this) {
    LogAssert(kTransferToItself, __func__, __FILE__, __LINE__);
    return;
  }
  const std::optional<GridRange> lines =
      visitFormatTargets(source, [this](int64_t at, const CARow* row, const CAColumn* column) {
        if (row) {
          const CAFormat* format = row->format();
          rowImperative(at)->setFormat(format ? std::optional<CAFormat>(format->copy()) : std::nullopt);
          return;
        }
        CAColumn* target = columnImperative(at);
        if (const CAFormat* format = column->format()) target->setFormat(format->copy());
        target->setDigitCount(column->digitCount());
        target->setWidth(column->width());
      });
  if (!lines) return;
  setSelectionRange(*lines);
  // The active cell is the first cell of the last line.
  setActiveCellPoint(lines->startPoint.x == kGridWildcard ? GridPoint{0, lines->endPoint.y}
                                                          : GridPoint{lines->endPoint.x, 0});
}

bool CADocument::transferCells(const CADocument& source, bool ignoreFormat, bool adjustReferences) {
  return transferCellsFrom(source, nullptr, ignoreFormat, adjustReferences);
}

bool CADocument::transferCellsReleasing(CADocument& source, bool ignoreFormat, bool adjustReferences) {
  return transferCellsFrom(source, &source, ignoreFormat, adjustReferences);
}

bool CADocument::transferCellsFrom(const CADocument& source, CADocument* released, bool ignoreFormat,
                                   bool adjustReferences) {
  if (&source == this) {
    LogAssert(kTransferToItself, __func__, __FILE__, __LINE__);
    return true;
  }
  const EditBatch batch(*this);
  GridRange from;
  const int32_t type = TypeOfRange(&from, source.selectionRange());
  GridRange to;
  if (type == kRangeInvalid || TypeOfRange(&to, selectionRange_) == kRangeInvalid) return true;
  const bool wholeRows = type == kRangeRows;
  const bool wholeColumns = type == kRangeColumns;
  const int64_t tx = to.startPoint.x;
  const int64_t ty = to.startPoint.y;
  const auto targetX = [&](int64_t x, int64_t* result) {
    if (wholeRows) return (*result = x), true;
    return AddCoordinate(tx, x - from.startPoint.x, result, true);
  };
  const auto targetY = [&](int64_t y, int64_t* result) {
    if (wholeColumns) return (*result = y), true;
    return AddCoordinate(ty, y - from.startPoint.y, result, false);
  };
  // The block's columns in this document; whole rows cover every column.
  int64_t blockX0 = 0;
  int64_t blockX1 = kGridOpenEnd;
  if (!wholeRows) {
    blockX0 = tx;
    if (!AddCoordinate(tx, from.endPoint.x - from.startPoint.x, &blockX1, true)) blockX1 = LastGridColumn();
  }
  // The block's rows: whole columns cover every row, anything else as many rows as the source.
  int64_t blockY1 = kGridOpenEnd;
  if (!wholeColumns && !AddCoordinate(ty, from.endPoint.y - from.startPoint.y, &blockY1, false))
    blockY1 = kLastGridRow;
  const auto inBlock = [&](const CACellEntry& entry) { return entry.x() >= blockX0 && entry.x() <= blockX1; };
  // Clears and removes the block's cells of a row from index `at` up to (not including) x.
  const auto dropUntil = [&](CARow& row, size_t at, int64_t x) {
    CARow::CellList& cells = row.mutableCells();
    size_t end = at;
    while (end < cells.size() && cells[end].x() < x) {
      if (inBlock(cells[end])) row.cellAtIndex(end, this).clearValue();
      ++end;
    }
    const auto removed = std::remove_if(cells.begin() + qsizetype(at), cells.begin() + qsizetype(end),
                                        [&](const CACellEntry& entry) { return inBlock(entry); });
    const size_t kept = size_t(removed - cells.begin());
    cells.erase(removed, cells.begin() + qsizetype(end));
    return kept;
  };

  bool copied = false;
  GridPoint firstPoint;
  GridPoint largest{-1, -1};
  int64_t reached = wholeColumns ? -1 : ty - 1;
  const RowList& sourceRows = source.rows();
  for (size_t s = RowIndexAtOrAfter(sourceRows, from.startPoint.y); s < sourceRows.size(); ++s) {
    const CARow& sourceRow = *sourceRows[s];
    if (sourceRow.gridY() > from.endPoint.y) break;
    // The cells made here are part of what the command that reads them in may take.
    if (!FLReadingMeter::Checkpoint(int64_t(sourceRow.cells().size()) + 1)) return false;
    int64_t y = 0;
    if (!targetY(sourceRow.gridY(), &y)) break;
    // Rows of the block that no source row maps to lose the block's cells.
    for (size_t r = RowIndexAtOrAfter(rows_, reached + 1); r < rows_.size() && rows_[r]->gridY() < y; ++r)
      rows_[r]->deleteCellsFrom(wholeRows ? -1 : blockX0, blockX1, this);
    reached = y;

    CARow& row = *rowImperative(y);
    CARow::CellList& cells = row.mutableCells();
    size_t at = row.lowerBound(blockX0);
    const CARow::CellList& sourceCells = sourceRow.cells();
    for (size_t i = sourceRow.lowerBound(from.startPoint.x); i < sourceCells.size(); ++i) {
      if (sourceCells[i].x() > from.endPoint.x) break;
      int64_t x = 0;
      if (!targetX(sourceCells[i].x(), &x)) break;
      const GridPoint point{x, y};
      at = dropUntil(row, at, x);
      const bool replaced = at < cells.size() && cells[at].x() == x;
      if (replaced && !(cells[at].isPlain() && sourceCells[i].isPlain())) {
        CACell& target = row.cellAtIndex(at, this);
        invalidateLongText(point);
        target.copyFrom(*CACellReading(sourceCells[i], sourceRow.gridY(), &source), ignoreFormat, adjustReferences);
      } else if (sourceCells[i].isPlain()) {
        // A lone number comes in as the sheet keeps one, with no cell, over a number kept so: a
        // paste of millions of numbers would otherwise take six times what its reading took.
        CACellEntry number = sourceCells[i].plainCopy();
        number.setX(x);
        if (replaced)
          cells[at] = std::move(number);
        else
          cells.insert(cells.begin() + qsizetype(at), std::move(number));
        cellAdded_ = true;
        changedCells_.add(point);
        if (!referenceTable().isEmpty()) setRecalcForDependents(point);
        invalidateLongText(point);
      } else {
        cellAdded_ = true;
        CACell* target = cells.insert(cells.begin() + qsizetype(at), std::make_unique<CACell>(point, this))->cell();
        invalidateLongText(point);
        target->copyFrom(*CACellReading(sourceCells[i], sourceRow.gridY(), &source), ignoreFormat, adjustReferences);
      }
      ++at;
      if (!copied) firstPoint = point;
      copied = true;
      largest = GridPoint{std::max(largest.x, x), std::max(largest.y, y)};
    }
    dropUntil(row, at, blockX1 == kGridOpenEnd ? kGridOpenEnd : blockX1 + 1);
    // Nothing reads a source row again once its cells are copied.
    if (released) released->rows_[s]->mutableCells() = CARow::CellList();
  }
  // The block is replaced whole: rows past the last source row lose its cells as well, so that
  // nothing of what was there shows through a source shorter than the block.
  for (size_t r = RowIndexAtOrAfter(rows_, reached + 1); r < rows_.size() && rows_[r]->gridY() <= blockY1; ++r)
    rows_[r]->deleteCellsFrom(wholeRows ? -1 : blockX0, blockX1, this);

  if (!copied) return true;
  if (!wholeRows && !wholeColumns) setSelectionRange(GridRange{firstPoint, largest});
  setActiveCellPoint(firstPoint);
  return true;
}
