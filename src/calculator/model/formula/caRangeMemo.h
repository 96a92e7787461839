// What one recalculation remembers of the tall blocks that its list functions fold: a running
// balance down a ledger, =SUM(C$2:Ck) in every row, folds the same cells again and again, each
// range one row longer than the one before. Within a recalculation a formula is evaluated only
// once every cell it reads is final, so the fold of a block's first rows cannot change until the
// recalculation ends: a (block columns, first row, mode) that a second range starts at is folded
// once, with the state kept every few rows, and a range of any length over it is answered from
// the nearest state. A remaining balance, =SUM(B$k:B$N) in every row, is the same from the
// other end: a block that a second range ends at is folded from its end up, its numbers summed
// so that their fold is the same in any order (ExactAccumulator); a range ending there is
// answered from it with nothing kept for its start. Each kept state is charged to the memo's
// room before it is made. A state too big to be worth its rows (a sum of reals of every size
// spans kilobytes), or one past the room, is kept as what it reads instead: from there on the
// fold keeps the answer of every row, so that the ranges met from the bottom up are each
// answered at once rather than folded again from a state far above them. The room grows with
// the cells a recalculation evaluates, by what answering each of them takes; where it is spent
// all the same, folds go on without keeping more. Folds for
// MAX, MIN and COUNT keep no sums. A cell that fails in the block fails every range over it:
// either fold carries the error to every range that reaches the cell.
// The folds outlive the recalculation: the document keeps them for the next one, which first
// forgets what of them holds a cell changed since (a block's states from the first changed row
// down, a tail's from the last one up), so that a value typed into a ledger costs the rows near
// it rather than the ledger. Whatever moves cells, or changes them without telling, drops them.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/formula/caStatisticsCores.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <utility>

class CADocument;

// The cells whose values changed, as the rows from the first to the last that did in each
// column: what a memo kept from one recalculation to the next is to forget.
class CAChangedCells {
 public:
  void add(const GridPoint& point) {
    if (everything_) return;
    if (last_ && lastX_ == point.x) {
      last_->first = std::min(last_->first, point.y);
      last_->second = std::max(last_->second, point.y);
      return;
    }
    try {
      const auto [it, made] = columns_.try_emplace(point.x, point.y, point.y);
      if (!made) {
        it->second.first = std::min(it->second.first, point.y);
        it->second.second = std::max(it->second.second, point.y);
      }
      last_ = &it->second;
      lastX_ = point.x;
    } catch (const std::bad_alloc&) {
      // Without the room to say which, every cell counts as changed.
      everything_ = true;
    }
  }
  bool empty() const { return !everything_ && columns_.empty(); }
  // Whether any cell may have changed.
  bool everything() const { return everything_; }
  void clear() {
    columns_.clear();
    last_ = nullptr;
    everything_ = false;
  }
  // Calls f(first, last) with the changed rows of each column from x0 to x1.
  template <typename F>
  void forEachColumnIn(int64_t x0, int64_t x1, F f) const {
    if (uint64_t(x1 - x0) < columns_.size()) {
      for (int64_t x = x0;; ++x) {
        if (const auto it = columns_.find(x); it != columns_.end()) f(it->second.first, it->second.second);
        if (x == x1) break;
      }
      return;
    }
    for (const auto& [x, rows] : columns_)
      if (x >= x0 && x <= x1) f(rows.first, rows.second);
  }

 private:
  std::unordered_map<int64_t, std::pair<int64_t, int64_t>, FLSeededHash> columns_;
  std::pair<int64_t, int64_t>* last_ = nullptr;
  int64_t lastX_ = 0;
  bool everything_ = false;
};

class CARangeMemo {
 public:
  struct Storage;
  struct StorageDeleter {
    void operator()(Storage* storage) const;
  };
  // What one recalculation's memo hands to the next (keep), less what changed meanwhile (forget).
  using Kept = std::unique_ptr<Storage, StorageDeleter>;

  // Becomes the document's memo until it goes; the recalculation holds it while it evaluates.
  // It starts from the folds kept, if any fit its room.
  explicit CARangeMemo(const CADocument& document, Kept kept = {});
  ~CARangeMemo();
  CARangeMemo(const CARangeMemo&) = delete;
  CARangeMemo& operator=(const CARangeMemo&) = delete;

  // The memo of the recalculation under way in the document, if any.
  static CARangeMemo* active(const CADocument& document);

  // Folds the cells of a plain block (corners in order), rows top to bottom and each row left to
  // right, read in an operand mode from 1 to 4, into `aggregate` (empty; with every part where
  // it asks for the sum, else with the extremes), as the list walk would: 0, or error 11 when a cell fails in the mode. Nothing when the memo
  // does not take the block (too short to gain, or its room is spent): the caller walks it.
  std::optional<uint32_t> fold(const GridRange& block, int32_t mode, ListAggregate* aggregate);

  // Forgets what of its folds holds a changed cell: a block's states from the first changed row
  // down, a tail's from the last changed row up. What is left holds only cells that did not
  // change, and is answered from as before. The recalculation calls this once it knows every
  // cell it will evaluate, before it evaluates any that reads a block.
  void forget(const CAChangedCells& changed);
  // The folds, for the next recalculation of the document; the memo folds nothing after.
  Kept keep();
  // Adds to the room what answering each of so many cells from a row of its own takes, so that
  // a fold past its room still answers its ranges without folding them again: the recalculation
  // calls this with the cells it evaluates.
  void allowForReaders(size_t cells);

  // The room every recalculation has for its folds at least, however few the sheet's rows; the
  // one it had before. Tests lower it to meet what a sheet of millions of rows would.
  static size_t setLeastRoom(size_t bytes);
  // The most bytes a memo has counted for its folds since the count was last reset (`reset`
  // starts it again). Each state is charged before it is made, and not made where it would not
  // fit: the count stays within the room but for the last growth of a block's own fold, charged
  // as it grows (a few kilobytes at most).
  static size_t mostBytesHeld(bool reset = false);

  // Blocks shorter than this are walked each time: their walk costs less than a look-up.
  static constexpr int64_t kShortestBlock = 64;

 private:
  // A block that no other range starts at, answered from the ranges that end where it does.
  std::optional<uint32_t> foldTail(const GridRange& block, int32_t mode, bool withSum, ListAggregate* aggregate);

  // In a build with checks: whether every kept fold is what folding its rows again gives.
  bool keptFoldsHold() const;

  const CADocument& document_;
  CARangeMemo* previous_;
  Kept storage_;
};
