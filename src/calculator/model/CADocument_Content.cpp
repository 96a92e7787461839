// What of the sheet holds content: the block exports and printing cover, and taking back the
// overflow placeholders that a shortened or cleared text no longer reaches.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CARow.h"

#include <algorithm>

GridRange CADocument::contentExtent(bool withOverflow) const {
  GridRange range;
  bool first = true;
  const auto holds = [](const CACellEntry& entry) { return entry.holdsContent(); };
  for (const std::unique_ptr<CARow>& r : rows_) {
    const CARow::CellList& cells = r->cells();
    const auto firstCell = std::find_if(cells.begin(), cells.end(), holds);
    if (firstCell == cells.end()) continue;
    const auto lastCell = std::find_if(cells.rbegin(), cells.rend(), holds);
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

void CADocument::noteOverflowToTakeBack(const GridPoint& textCell, uint64_t columns) {
  if (columns == 0) return;
  overflowToTakeBack_.emplace_back(textCell, columns);
}

void CADocument::takeBackOverflow() {
  if (overflowToTakeBack_.empty()) return;
  std::vector<std::pair<GridPoint, uint64_t>> spans;
  spans.swap(overflowToTakeBack_);
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
      if (drop[i - start]) continue;
      if (kept != i) cells[kept] = std::move(cells[i]);
      ++kept;
    }
    cells.erase(cells.begin() + qsizetype(kept), cells.begin() + qsizetype(end));
  }
}
