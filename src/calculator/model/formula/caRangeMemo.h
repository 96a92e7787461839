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
// room before it is made; where the room is spent, folds go on without keeping more. Folds for
// MAX, MIN and COUNT keep no sums. A cell that fails in the block fails every range over it:
// either fold carries the error to every range that reaches the cell.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/formula/caStatisticsCores.h"

#include <cstdint>
#include <memory>
#include <optional>

class CADocument;

class CARangeMemo {
 public:
  // Becomes the document's memo until it goes; the recalculation holds it while it evaluates.
  explicit CARangeMemo(const CADocument& document);
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

  struct Storage;
  const CADocument& document_;
  CARangeMemo* previous_;
  std::unique_ptr<Storage> storage_;
};
