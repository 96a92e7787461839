// What of the sheet holds content: the block exports and printing cover, taking back the overflow
// placeholders that a shortened or cleared text no longer reaches, and dropping the cells (and
// rows) that an edit left with nothing.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CARow.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace {

// A list of points taken over for a step of the recalculation: should memory run out part-way,
// it goes back to the document, where the next recalculation looks at it again (each point is
// looked at anew, so going over one twice does no harm).
template <typename T>
class PutBackOnFailure {
 public:
  PutBackOnFailure(std::vector<T>& taken, std::vector<T>& home) : taken_(taken), home_(home) {}
  ~PutBackOnFailure() {
    if (std::uncaught_exceptions() > uncaught_ && home_.empty()) home_.swap(taken_);
  }
  PutBackOnFailure(const PutBackOnFailure&) = delete;
  PutBackOnFailure& operator=(const PutBackOnFailure&) = delete;

 private:
  std::vector<T>& taken_;
  std::vector<T>& home_;
  const int uncaught_ = std::uncaught_exceptions();
};

// The block of the rows' cells that count, with the columns that texts overflow into as shown
// when asked; all zeros without such cells.
template <typename Counts>
GridRange BlockOf(const CADocument::RowList& rows, bool withOverflow, Counts counts) {
  GridRange range;
  bool first = true;
  for (const std::unique_ptr<CARow>& r : rows) {
    const CARow::CellList& cells = r->cells();
    const auto firstCell = std::find_if(cells.begin(), cells.end(), counts);
    if (firstCell == cells.end()) continue;
    const auto lastCell = std::find_if(cells.rbegin(), cells.rend(), counts);
    const int64_t firstX = firstCell->x();
    int64_t lastX = lastCell->x();
    if (withOverflow) {
      // Only the row's last cell with a value can overflow past it (any value stops the texts
      // to its left), and only when it is a text.
      const auto valued = std::find_if(cells.rbegin(), cells.rend(),
                                       [](const CACellEntry& entry) { return entry.hasValue(); });
      if (valued != cells.rend() && valued->valueType() == kValueText) {
        const int64_t x = valued->x();
        const uint64_t extra = std::min<uint64_t>(valued->cell()->extraColumns(), uint64_t(LastGridColumn() - x));
        lastX = std::max(lastX, x + int64_t(extra));
      }
    }
    if (first) {
      range = GridRange{{firstX, r->gridY()}, {lastX, r->gridY()}};
      first = false;
    } else {
      range.startPoint.x = std::min(range.startPoint.x, firstX);
      range.endPoint.x = std::max(range.endPoint.x, lastX);
      range.endPoint.y = r->gridY();
    }
  }
  return range;
}

}  // namespace

GridRange CADocument::contentExtent(bool withOverflow) const {
  return BlockOf(rows_, withOverflow, [](const CACellEntry& entry) { return entry.holdsContent(); });
}

GridRange CADocument::extent(bool withOverflow) const {
  // A placeholder that a text overflows into is made and taken back as the text is laid out:
  // nothing of it can be selected, gone to or sorted, only the text drawn over it shown.
  return BlockOf(rows_, withOverflow, [](const CACellEntry& entry) {
    return entry.holdsContent() || entry.valueType() != kValueOverflow;
  });
}

GridPoint CADocument::maxGridPoint(bool withOverflow) const { return extent(withOverflow).endPoint; }

void CADocument::noteOverflowToTakeBack(const GridPoint& textCell, uint64_t columns) {
  if (columns == 0) return;
  overflowToTakeBack_.emplace_back(textCell, columns);
}

void CADocument::takeBackOverflow() {
  if (overflowToTakeBack_.empty()) return;
  std::vector<std::pair<GridPoint, uint64_t>> spans;
  spans.swap(overflowToTakeBack_);
  const PutBackOnFailure putBack(spans, overflowToTakeBack_);
  // The last column a cell lets overflowing text reach: a text its own overflow, any other value
  // itself (it stops the overflow of texts to its left).
  const auto reach = [](const CACellEntry& entry) {
    const int64_t x = entry.x();
    if (entry.valueType() != kValueText) return x;
    const uint64_t extra = entry.cell()->extraColumns();
    return extra > uint64_t(LastGridColumn() - x) ? LastGridColumn() : x + int64_t(extra);
  };
  // A placeholder and nothing else: no format, no note, not being typed into, no tooltip.
  const auto plainPlaceholder = [](const CACellEntry& entry) {
    const CACell* cell = entry.cell();
    return cell && cell->valueType() == kValueOverflow && !cell->holdsContent() && !cell->typingInProgress() &&
           cell->tooltipTag() == 0;
  };
  for (const auto& [point, columns] : spans) {
    CARow* target = row(point.y);
    if (!target || point.x >= LastGridColumn()) continue;
    const int64_t spanStart = point.x + 1;
    const int64_t spanEnd =
        columns > uint64_t(LastGridColumn() - point.x) ? LastGridColumn() : point.x + int64_t(columns);
    CARow::CellList& cells = target->mutableCells();
    const size_t start = target->lowerBound(spanStart);
    int64_t covered = -1;
    for (size_t i = start; i-- > 0;) {
      if (!cells[i].hasValue()) continue;
      covered = reach(cells[i]);
      break;
    }
    size_t end = start;
    std::vector<bool> drop;
    for (; end < cells.size() && cells[end].x() <= spanEnd; ++end) {
      const CACellEntry& entry = cells[end];
      if (entry.hasValue()) covered = reach(entry);
      drop.push_back(plainPlaceholder(entry) && entry.x() > covered);
    }
    size_t kept = start;
    for (size_t i = start; i < end; ++i) {
      if (drop[i - start]) {
        // A list of all values counted the placeholder.
        changedCells_.add(GridPoint{cells[i].x(), target->gridY()});
        continue;
      }
      if (kept != i) cells[kept] = std::move(cells[i]);
      ++kept;
    }
    cells.erase(cells.begin() + qsizetype(kept), cells.begin() + qsizetype(end));
  }
}

void CADocument::noteEmptiedCell(const GridPoint& point) {
  // A cell changed twice in a row is noted once.
  if (!emptiedCells_.empty() && emptiedCells_.back() == point) return;
  emptiedCells_.push_back(point);
}

void CADocument::dropEmptiedCells() {
  if (emptiedCells_.empty() || cellHolds_ > 0) return;
  std::vector<GridPoint> points;
  points.swap(emptiedCells_);
  const PutBackOnFailure putBack(points, emptiedCells_);
  // Nothing of its own, and nobody in the middle of changing it (typing, a type change, a
  // function put in before the cell is typed into).
  const auto holdsNothing = [](const CACellEntry& entry) {
    const CACell* cell = entry.cell();
    return cell && cell->valueType() == kValueNone && !cell->holdsContent() && !cell->typingInProgress() &&
           !cell->typeIsChanging() && !cell->hasEnteredText();
  };
  const auto rowOf = [&](int64_t y) {
    // A sheet filled from the top has row y at index y: a look there first.
    const size_t guess = rows_.empty() ? 0 : std::min(size_t(y), rows_.size() - 1);
    const auto at = !rows_.empty() && rows_[guess]->gridY() == y
                        ? rows_.begin() + std::ptrdiff_t(guess)
                        : std::lower_bound(rows_.begin(), rows_.end(), y, [](const std::unique_ptr<CARow>& r,
                                                                             int64_t key) { return r->gridY() < key; });
    return at != rows_.end() && (*at)->gridY() == y ? at : rows_.end();
  };
  // Most points name cells that were filled again (made for a value, cleared before a new one):
  // only those still holding nothing, or in a row left with no cell, are sorted out.
  std::erase_if(points, [&](const GridPoint& point) {
    const auto at = rowOf(point.y);
    if (at == rows_.end()) return true;
    const CARow& target = **at;
    if (target.cells().empty()) return false;
    const CACellEntry* entry = target.entryAt(point.x);
    return !entry || !holdsNothing(*entry);
  });
  if (points.empty()) return;
  std::sort(points.begin(), points.end(),
            [](const GridPoint& a, const GridPoint& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  points.erase(std::unique(points.begin(), points.end()), points.end());
  std::vector<size_t> dropped;       // indexes in a row's cells, ascending
  std::vector<size_t> emptiedRows;   // indexes in the rows, ascending
  for (size_t i = 0; i < points.size();) {
    const int64_t y = points[i].y;
    const auto rowAt = rowOf(y);
    if (rowAt == rows_.end()) {
      while (i < points.size() && points[i].y == y) ++i;
      continue;
    }
    CARow& target = **rowAt;
    CARow::CellList& cells = target.mutableCells();
    dropped.clear();
    for (; i < points.size() && points[i].y == y; ++i) {
      const size_t at = target.lowerBound(points[i].x);
      if (at < cells.size() && cells[at].x() == points[i].x && holdsNothing(cells[at])) {
        dropped.push_back(at);
        // A list of all values counted the empty cell.
        changedCells_.add(points[i]);
      }
    }
    if (!dropped.empty()) {
      // The kept cells close up in one pass; the dropped ones end behind them and go together.
      size_t kept = dropped.front();
      size_t next = 0;
      for (size_t k = dropped.front(); k < cells.size(); ++k) {
        if (next < dropped.size() && dropped[next] == k) {
          ++next;
          continue;
        }
        std::swap(cells[kept++], cells[k]);
      }
      cells.erase(cells.begin() + qsizetype(kept), cells.end());
    }
    if (cells.empty() && !target.format() && target.minimumHeight() == 0)
      emptiedRows.push_back(size_t(rowAt - rows_.begin()));
  }
  if (emptiedRows.empty()) return;
  size_t kept = emptiedRows.front();
  size_t next = 0;
  for (size_t k = emptiedRows.front(); k < rows_.size(); ++k) {
    if (next < emptiedRows.size() && emptiedRows[next] == k) {
      ++next;
      continue;
    }
    std::swap(rows_[kept++], rows_[k]);
  }
  rows_.erase(rows_.begin() + std::ptrdiff_t(kept), rows_.end());
}
