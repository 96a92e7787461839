// Two commands that rearrange or extend a block of the sheet as a whole: sorting the rows (or
// columns) of a range by up to two key cells, carrying each line's cells, height or width and
// format along, and quick formulas that total a run of values beside or below it.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caCommandLimit.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLUndoManager.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr const char* kBadVectorCount = "Bad vector count";
constexpr const char* kBadQuickFunction = "Bad quick formula function";
constexpr const char* kQuickFormulaFormat = "=%@(%@)";
constexpr const char* kRangeTextFormat = "%@:%@";

// One quick formula: where it goes and what it totals.
struct QuickFormula {
  GridPoint target;
  GridRange totalled;
};

// The number of cells with a value for a formula in the run that ends next to the point,
// counted upwards (or leftwards) from the cell above (left of) it.
int64_t RunLength(const CADocument& document, const GridPoint& point, bool upwards) {
  int64_t length = 0;
  for (int64_t n = (upwards ? point.y : point.x) - 1; n >= 0; --n) {
    const GridPoint at = upwards ? GridPoint{point.x, n} : GridPoint{n, point.y};
    const CARow* row = document.row(at.y);
    const CACellEntry* entry = row ? row->entryAt(at.x) : nullptr;
    // A plain number is a value for a formula; other cells say for themselves.
    if (!entry || (!entry->isPlain() && !entry->cell()->hasValueForFormula())) break;
    ++length;
  }
  return length;
}

// The key columns (key rows when sorting columns) that the comparison reads.
std::vector<int64_t> KeyLines(const CADocument& document, bool byColumns) {
  std::vector<int64_t> keys;
  for (const GridPoint& key : {document.sortKey1(), document.sortKey2()}) {
    const int64_t line = byColumns ? key.y : key.x;
    if (line >= 0) keys.push_back(line);
  }
  return keys;
}

// The rows (or columns) from the range's first to its last that hold a cell within the range or
// in a key column (key row), ascending. Every other line holds nothing to move and compares as
// empty, equal to every other such line.
std::vector<int64_t> OccupiedLines(const CADocument& document, const GridRange& range, bool byColumns) {
  const std::vector<int64_t> keys = KeyLines(document, byColumns);
  // Columns are held by rows: their key rows may lie anywhere.
  int64_t lastRow = range.endPoint.y;
  if (byColumns)
    for (const int64_t key : keys) lastRow = std::max(lastRow, key);
  std::vector<int64_t> lines;
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    const int64_t y = row->gridY();
    if (y > lastRow) break;
    const bool inRange = y >= range.startPoint.y && y <= range.endPoint.y;
    const bool isKey = std::find(keys.begin(), keys.end(), y) != keys.end();
    if (!inRange && !(byColumns && isKey)) continue;
    const CARow::CellList& cells = row->cells();
    const size_t first = row->lowerBound(range.startPoint.x);
    if (byColumns) {
      for (size_t i = first; i < cells.size() && cells[i].x() <= range.endPoint.x; ++i) lines.push_back(cells[i].x());
    } else if ((first < cells.size() && cells[first].x() <= range.endPoint.x) ||
               std::any_of(keys.begin(), keys.end(), [&](int64_t x) { return row->entryAt(x) != nullptr; })) {
      lines.push_back(y);
    }
  }
  if (byColumns) {
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  }
  return lines;
}

// The first line from lo on that is not among the occupied ones (ascending); there must be one.
int64_t FirstBlankLine(const std::vector<int64_t>& occupied, int64_t lo) {
  int64_t line = lo;
  for (const int64_t n : occupied) {
    if (n != line) break;
    ++line;
  }
  return line;
}

// Sorts the lines lo..hi as a stable sort of every line would, while comparing and moving only
// the lines that hold cells: a sheet with one cell a billion rows down so sorts its few rows, not
// a billion. One blank line stands for all of them; the lines that compare equal to it, blank or
// not, then keep their order among one another, as a stable sort keeps equal lines.
bool SortLines(CADocument& document, const GridRange& range, const CASortContext& context, int64_t lo, int64_t hi) {
  const bool byColumns = context.byColumns;
  const std::vector<int64_t> occupied = OccupiedLines(document, range, byColumns);
  const int64_t blankCount = int64_t(uint64_t(hi - lo) + 1 - occupied.size());
  std::vector<int64_t> order = occupied;
  std::optional<int64_t> blankLine;  // stands for every blank line of the range
  if (blankCount > 0) {
    blankLine = FirstBlankLine(occupied, lo);
    order.insert(std::lower_bound(order.begin(), order.end(), *blankLine), *blankLine);
  }
  if (order.size() != occupied.size() + (blankLine ? 1 : 0)) LogAssert(kBadVectorCount, __func__, __FILE__, __LINE__);
  // Each line's key cells, looked up once rather than at every comparison of the sort; they are
  // compared as compareForSort compares them.
  using Keys = std::pair<const CACell*, const CACell*>;
  const bool secondKey = (byColumns ? document.sortKey2().y : document.sortKey2().x) >= 0;
  const auto keyCell = [&](const GridPoint& key, int64_t line) -> const CACell* {
    return document.cellAtGridPoint(byColumns ? GridPoint{line, key.y} : GridPoint{key.x, line});
  };
  const std::vector<int64_t> lines = order;  // ascending
  std::vector<Keys> keys(lines.size());
  for (size_t i = 0; i < lines.size(); ++i)
    keys[i] = {keyCell(document.sortKey1(), lines[i]), secondKey ? keyCell(document.sortKey2(), lines[i]) : nullptr};
  const auto compareKeys = [&](const Keys& a, const Keys& b) {
    const int result = document.compareCell(a.first, b.first, context.reverse);
    return result != 0 || !secondKey ? result : document.compareCell(a.second, b.second, context.reverse);
  };
  std::vector<size_t> ranks(lines.size());
  for (size_t i = 0; i < ranks.size(); ++i) ranks[i] = i;
  std::stable_sort(ranks.begin(), ranks.end(), [&](size_t a, size_t b) { return compareKeys(keys[a], keys[b]) < 0; });
  for (size_t i = 0; i < ranks.size(); ++i) order[i] = lines[ranks[i]];
  const auto keysOf = [&](int64_t line) {
    return keys[size_t(std::lower_bound(lines.begin(), lines.end(), line) - lines.begin())];
  };
  const auto compare = [&](int64_t a, int64_t b) { return compareKeys(keysOf(a), keysOf(b)); };

  // The run of lines equal to a blank one: every blank line and the occupied lines in it, in
  // line order, from where the run begins.
  size_t runStart = order.size();
  size_t runEnd = order.size();
  std::vector<int64_t> equalToBlank;  // ascending, as the stable sort left them
  if (blankLine) {
    const size_t at = size_t(std::find(order.begin(), order.end(), *blankLine) - order.begin());
    runStart = at;
    while (runStart > 0 && compare(order[runStart - 1], *blankLine) == 0) --runStart;
    runEnd = at + 1;
    while (runEnd < order.size() && compare(order[runEnd], *blankLine) == 0) ++runEnd;
    for (size_t i = runStart; i < runEnd; ++i)
      if (i != at) equalToBlank.push_back(order[i]);
  }
  const int64_t runTarget = lo + int64_t(runStart);
  const auto countBelow = [](const std::vector<int64_t>& lines, int64_t line) {
    return int64_t(std::lower_bound(lines.begin(), lines.end(), line) - lines.begin());
  };
  const auto blanksBefore = [&](int64_t line) { return (line - lo) - countBelow(occupied, line); };

  std::vector<int64_t> targetOfOccupied(occupied.size());
  std::vector<std::pair<int64_t, int64_t>> moves;  // (source, target)
  for (size_t i = 0; i < order.size(); ++i) {
    const int64_t source = order[i];
    if (blankLine && source == *blankLine) continue;
    int64_t target = lo + int64_t(i);
    if (i >= runEnd)
      target += blankCount - 1;
    else if (i >= runStart)
      target = runTarget + countBelow(equalToBlank, source) + blanksBefore(source);
    targetOfOccupied[size_t(countBelow(occupied, source))] = target;
    moves.emplace_back(source, target);
  }
  const auto targetOf = [&](int64_t line) {
    const auto at = std::lower_bound(occupied.begin(), occupied.end(), line);
    if (at != occupied.end() && *at == line) return targetOfOccupied[size_t(at - occupied.begin())];
    return runTarget + blanksBefore(line) + countBelow(equalToBlank, line);
  };

  // A copy of the range, with its lines' heights or widths and formats. Its selection picks one
  // line after the other; no one is told of it.
  CADocument copy;
  copy.setKeepsNoReferences(true);
  const CADocument::SelectionHold copyHold(copy);
  copy.setSelectionPoint(range.startPoint);
  copy.transferCells(document, false, false);
  if (byColumns) {
    for (const std::unique_ptr<CAColumn>& source : document.columns()) {
      if (source->gridX() < lo) continue;
      if (source->gridX() > hi) break;
      CAColumn* target = copy.columnImperative(source->gridX());
      target->setDigitCount(source->digitCount());
      target->setWidth(source->width());
      target->setFormat(source->format() ? std::optional<CAFormat>(*source->format()) : std::nullopt);
    }
  } else {
    for (const std::unique_ptr<CARow>& source : document.rows()) {
      if (source->gridY() < lo) continue;
      if (source->gridY() > hi) break;
      CARow* target = copy.rowImperative(source->gridY());
      target->setMinimumHeight(source->minimumHeight());
      target->setFormat(source->format() ? std::optional<CAFormat>(*source->format()) : std::nullopt);
    }
  }

  if (!document.clearRange(range, kClearAll, kUndoSort)) return false;

  for (const auto& [source, target] : moves) {
    if (byColumns) {
      document.setSelectionPoint(GridPoint{target, range.startPoint.y});
      copy.setSelectionRange(GridRange{{source, range.startPoint.y}, {source, range.endPoint.y}});
    } else {
      document.setSelectionPoint(GridPoint{range.startPoint.x, target});
      copy.setSelectionRange(GridRange{{range.startPoint.x, source}, {range.endPoint.x, source}});
    }
    document.transferCells(copy, false, true);
  }

  if (byColumns) {
    for (const std::unique_ptr<CAColumn>& line : document.columns())
      if (line->gridX() >= lo && line->gridX() <= hi) line->makeVanilla();
    for (const std::unique_ptr<CAColumn>& source : copy.columns()) {
      if (source->gridX() < lo || source->gridX() > hi) continue;
      CAColumn* target = document.columnImperative(targetOf(source->gridX()));
      target->setDigitCount(source->digitCount());
      target->setWidth(source->width());
      target->setFormat(source->format() ? std::optional<CAFormat>(*source->format()) : std::nullopt);
    }
  } else {
    for (const std::unique_ptr<CARow>& line : document.rows())
      if (line->gridY() >= lo && line->gridY() <= hi) line->makeVanilla();
    for (const std::unique_ptr<CARow>& source : copy.rows()) {
      if (source->gridY() < lo || source->gridY() > hi) continue;
      // A line with neither height nor format makes no row: it holds nothing of its own.
      if (source->minimumHeight() == 0 && !source->format()) continue;
      CARow* target = document.rowImperative(targetOf(source->gridY()));
      target->setMinimumHeight(source->minimumHeight());
      target->setFormat(source->format() ? std::optional<CAFormat>(*source->format()) : std::nullopt);
      target->setNeedCalculate(true);
    }
  }
  return true;
}

}  // namespace

void CADocument::sort() {
  if (sortKey1_.x < 0) {
    if (sortKey2_.x < 0) return;
    std::swap(sortKey1_, sortKey2_);
  }
  // Every line is put in place through the selection: the window hears of the sort once.
  const SelectionHold hold(*this);
  const CAModelPreferences preferences = ModelPreferences();
  const CASortContext context{preferences.sortColumns, preferences.sortReverse};
  const bool byColumns = context.byColumns;

  GridRange selection;
  const int32_t type = normalSelection(&selection);
  if (type == kRangeInvalid) return;
  GridRange range = fullExtent();
  bool exactlySelection = false;
  // Whole lines across the sort's direction take the whole sheet, keeping a title line.
  const bool acrossLines = (type == kRangeRows && byColumns) || (type == kRangeColumns && !byColumns);
  if (acrossLines) {
    if (byColumns && titleColumn_) range.startPoint.x = std::max<int64_t>(range.startPoint.x, 1);
    if (!byColumns && titleRow_) range.startPoint.y = std::max<int64_t>(range.startPoint.y, 1);
  } else {
    if (type == kRangeRows) {
      range.startPoint.y = selection.startPoint.y;
      range.endPoint.y = selection.endPoint.y;
    } else if (type == kRangeColumns) {
      range.startPoint.x = selection.startPoint.x;
      range.endPoint.x = selection.endPoint.x;
    }
    if (!preferences.sortWholeDoc) {
      range = selection;
      exactlySelection = true;
    } else if (!byColumns && titleRow_) {
      // A heading row stays where it is; a range below it is left as it is.
      range.startPoint.y = std::max<int64_t>(range.startPoint.y, 1);
    } else if (byColumns && titleColumn_) {
      range.startPoint.x = std::max<int64_t>(range.startPoint.x, 1);
    }
  }
  if (!exactlySelection) setSelectionRange(range);

  const int64_t lo = byColumns ? range.startPoint.x : range.startPoint.y;
  const int64_t hi = byColumns ? range.endPoint.x : range.endPoint.y;
  if (hi <= lo) {
    WorkspaceBeep();
    return;
  }
  bool sorted = false;
  // The clear and the lines' return are one edit: recalculated once, at the end.
  const auto sortLines = [&] {
    const EditBatch batch(*this, true);
    sorted = SortLines(*this, range, context, lo, hi);
  };
  if (!RunGuardedCommand(*this, sortLines) || !sorted) return;

  setSelectionRange(range);
  if (controller_) {
    controller_->adjustCellViewForNewData();
    controller_->jumpToSelection();
  }
  bumpSuppressRedraws(true);
  evaluate();
  bumpSuppressRedraws(false);
  if (controller_) controller_->redrawSelectionForDomain(kDomainDocument);
}

void CADocument::insertQuickFormula(int32_t functionIndex) {
  if (functionIndex <= 0 || functionIndex >= kFunctionInfoRowCount) {
    LogAssert(kBadQuickFunction, __func__, __FILE__, __LINE__);
    return;
  }
  GridRange selection;
  const int32_t type = normalSelection(&selection);
  const int64_t x0 = selection.startPoint.x, y0 = selection.startPoint.y;
  const int64_t x1 = selection.endPoint.x, y1 = selection.endPoint.y;
  std::vector<QuickFormula> formulas;
  GridRange targets;
  const auto fail = [] { WorkspaceBeep(); };

  if (type == kRangeCell || type == kRangeAbsoluteCell) {
    const GridPoint point{x0, y0};
    const int64_t above = RunLength(*this, point, true);
    if (above >= 2) {
      formulas.push_back({point, GridRange{{x0, y0 - above}, {x0, y0 - 1}}});
    } else {
      const int64_t left = RunLength(*this, point, false);
      if (left < 2) return fail();
      formulas.push_back({point, GridRange{{x0 - left, y0}, {x0 - 1, y0}}});
    }
    targets = GridRange{point, point};
  } else if (type == kRangeColumns) {
    const GridRange next{{x1 + 1, 0}, {x1 + 1, 0}};
    const int64_t m = maximumY(selection);
    if (x1 > x0 && maximumY(next) < 0) {
      // Row totals in the empty column to the right.
      targets = GridRange{{x1 + 1, 0}, {x1 + 1, m}};
      if (!WithinCommandLimit(targets)) return fail();
      for (int64_t y = 0; y <= m; ++y) formulas.push_back({{x1 + 1, y}, GridRange{{x0, y}, {x1, y}}});
    } else {
      if (m < 0) return fail();
      targets = GridRange{{x0, m + 1}, {x1, m + 1}};
      if (!WithinCommandLimit(targets)) return fail();
      for (int64_t x = x0; x <= x1; ++x) formulas.push_back({{x, m + 1}, GridRange{{x, 0}, {x, m}}});
    }
  } else if (type == kRangeRows) {
    const GridRange next{{0, y1 + 1}, {0, y1 + 1}};
    const int64_t m = maximumX(selection);
    if (y1 > y0 && maximumX(next) < 0) {
      targets = GridRange{{0, y1 + 1}, {m, y1 + 1}};
      if (!WithinCommandLimit(targets)) return fail();
      for (int64_t x = 0; x <= m; ++x) formulas.push_back({{x, y1 + 1}, GridRange{{x, y0}, {x, y1}}});
    } else {
      if (m < 0) return fail();
      targets = GridRange{{m + 1, y0}, {m + 1, y1}};
      if (!WithinCommandLimit(targets)) return fail();
      for (int64_t y = y0; y <= y1; ++y) formulas.push_back({{m + 1, y}, GridRange{{0, y}, {m, y}}});
    }
  } else if (type != kRangeInvalid) {
    if (fillColumnForRange(selection)) {
      targets = GridRange{{x1 + 1, y0}, {x1 + 1, y1}};
      if (!WithinCommandLimit(targets)) return fail();
      for (int64_t y = y0; y <= y1; ++y) formulas.push_back({{x1 + 1, y}, GridRange{{x0, y}, {x1, y}}});
    } else {
      targets = GridRange{{x0, y1 + 1}, {x1, y1 + 1}};
      if (!WithinCommandLimit(targets)) return fail();
      for (int64_t x = x0; x <= x1; ++x) formulas.push_back({{x, y1 + 1}, GridRange{{x, y0}, {x, y1}}});
    }
  }
  // Totals that would land past the last column or row are refused before anything changes.
  if (formulas.empty() || !IsOnGrid(targets.startPoint) || !IsOnGrid(targets.endPoint)) return fail();

  setSelectionRange(targets);
  if (!setUndo(kFLNewUndoID, kUndoActionCells, kUndoFormula, targets, kDomainCell)) return;
  const QString name = QString::fromLatin1(g_functionInfo[functionIndex].name);
  const bool written = RunGuardedCommand(*this, [&] {
    for (const QuickFormula& formula : formulas) {
      const QString range = StringWithFormat(kRangeTextFormat, FormatGridPoint(formula.totalled.startPoint),
                                             FormatGridPoint(formula.totalled.endPoint));
      if (CACell* cell = cellAtGridPointImperative(formula.target))
        cell->setFormula(StringWithFormat(kQuickFormulaFormat, name, range));
    }
  }, true);
  if (!written) return;
  invalidateAllLongText();
  invalidateAfterCellEdit(-1);
  if (controller_) controller_->jumpToSelection();
}
