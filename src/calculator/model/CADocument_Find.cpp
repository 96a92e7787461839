// Find and replace over the sheet's cells: stepping from the active cell to the next or previous
// cell that matches the find panel's text, row by row with wrap-around, and replacing in the
// active cell or in every cell as one undo step. Whether a cell matches is the cell's own test.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caTextServices.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/shell/FLUndoManager.h"

#include <algorithm>
#include <vector>

namespace {

struct FindSettings {
  QString text;
  int32_t scope = 0;
  bool ignoreCase = false;
  bool wholeWords = false;
  bool wrap = false;
};

// Whole words only apply to a text of one word.
FindSettings CurrentFindSettings(const QString& text) {
  const CAModelPreferences preferences = ModelPreferences();
  FindSettings settings;
  settings.text = text;
  settings.scope = preferences.searchScope;
  settings.ignoreCase = (preferences.searchOptionMask & kSearchIgnoreCase) != 0;
  settings.wrap = (preferences.searchOptionMask & kSearchWrap) != 0;
  settings.wholeWords = (preferences.searchOptionMask & kSearchWholeWords) != 0 && !text.isEmpty() &&
                        EndOfWord(text, 0) == text.size();
  return settings;
}

bool Fail() {
  WorkspaceBeep();
  return false;
}

}  // namespace

bool CADocument::find(bool forward, bool fromStart) {
  const FindSettings find = CurrentFindSettings(ModelPreferences().searchString);
  if (find.text.isEmpty() || rows_.empty()) return Fail();
  const auto match = [&](const CARow& row, int64_t fromX, int64_t stopAt) {
    return forward ? row.matchStringForward(this, find.text, fromX, stopAt, find.scope, find.ignoreCase, find.wholeWords)
                   : row.matchStringBackward(this, find.text, fromX, stopAt, find.scope, find.ignoreCase, find.wholeWords);
  };
  const auto found = [&](int64_t x, int64_t y) {
    setSelectionPoint(GridPoint{x, y});
    if (controller_) {
      controller_->focusCellView();
      controller_->jumpToSelection();
    }
    return true;
  };
  const size_t count = rows_.size();

  if (forward) {
    const GridPoint start = fromStart ? GridPoint{0, 0} : GridPoint{activeCellPoint_.x + 1, activeCellPoint_.y};
    size_t r = size_t(std::lower_bound(rows_.begin(), rows_.end(), start.y,
                                       [](const std::unique_ptr<CARow>& row, int64_t y) { return row->gridY() < y; }) -
                      rows_.begin());
    bool wrapped = false;
    int64_t beginX = 0;
    if (r == count) {
      if (!find.wrap || (start.x == 0 && start.y == 0)) return Fail();
      wrapped = true;
      r = 0;
    } else if (rows_[r]->gridY() == start.y) {
      beginX = start.x;
    }
    for (;;) {
      for (; r < count; ++r, beginX = 0) {
        const CARow& row = *rows_[r];
        int64_t stopAt = -1;
        if (wrapped) {
          if (row.gridY() > start.y) return Fail();
          if (row.gridY() == start.y) stopAt = start.x;
        }
        const int64_t x = match(row, beginX, stopAt);
        if (x >= 0) return found(x, row.gridY());
      }
      if (!find.wrap || wrapped) return Fail();
      wrapped = true;
      r = 0;
      beginX = 0;
    }
  }

  const GridPoint last = maxGridPoint();
  const GridPoint start = fromStart ? last : GridPoint{activeCellPoint_.x - 1, activeCellPoint_.y};
  // The row after the last one at or above the start.
  size_t end = size_t(std::upper_bound(rows_.begin(), rows_.end(), start.y,
                                       [](int64_t y, const std::unique_ptr<CARow>& row) { return y < row->gridY(); }) -
                      rows_.begin());
  bool wrapped = false;
  int64_t beginX = last.x;
  if (end == 0) {
    if (!find.wrap || start.y > last.y || (start.y == last.y && start.x >= last.x)) return Fail();
    wrapped = true;
    end = count;
  } else if (rows_[end - 1]->gridY() == start.y) {
    beginX = start.x;
  }
  for (;;) {
    for (; end > 0; --end, beginX = last.x) {
      const CARow& row = *rows_[end - 1];
      int64_t stopAt = -1;
      if (wrapped) {
        if (row.gridY() < start.y) return Fail();
        if (row.gridY() == start.y) stopAt = start.x;
      }
      const int64_t x = match(row, beginX, stopAt);
      if (x >= 0) return found(x, row.gridY());
    }
    if (!find.wrap || wrapped) return Fail();
    wrapped = true;
    end = count;
    beginX = last.x;
  }
}

int64_t CADocument::replace(const QString& text, const QString& replacement, bool allCells) {
  if (!setCellUndo(kUndoReplace, allCells ? kUndoRangeFullExtent : kUndoRangeActiveCell)) return 0;
  const FindSettings find = CurrentFindSettings(text);
  int64_t count = 0;
  if (allCells) {
    // Taken first: a changed text may lay out overflow cells in the rows being walked.
    std::vector<CACell*> cells;
    // Plain numbers become cells only where they match.
    for (const std::unique_ptr<CARow>& row : rows_) {
      for (size_t i = 0; i < row->cells().size(); ++i) {
        const CACellEntry& entry = row->cells()[i];
        if (entry.isPlain() &&
            !CACellReading(entry, row->gridY(), this)->hasReplaceable(find.text, find.ignoreCase, find.wholeWords))
          continue;
        cells.push_back(&row->cellAtIndex(i, this));
      }
    }
    for (CACell* cell : cells)
      if (cell->replace(find.text, replacement, find.scope, find.ignoreCase, find.wholeWords)) ++count;
  } else if (CACell* cell = activeCell()) {
    if (cell->replace(find.text, replacement, find.scope, find.ignoreCase, find.wholeWords)) count = 1;
  }
  if (count > 0) {
    invalidateAfterCellEdit(-1);
  } else if (FLUndoManager* manager = undoManager()) {
    manager->popUndo();
  }
  return count;
}
