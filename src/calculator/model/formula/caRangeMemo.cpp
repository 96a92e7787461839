#include "calculator/model/formula/caRangeMemo.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caOperands.h"
#include "framlet/foundation/flBase.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

// Each thread's recalculations are its own, though the model runs on the main thread.
thread_local CARangeMemo* g_activeMemo = nullptr;

// A state is kept after every this many rows folded: a range is answered by folding at most
// this many rows beyond one.
constexpr size_t kRowsPerState = 32;
// The most the kept states and blocks may take, at least and for each row of the sheet (a long
// block keeps a state every kRowsPerState rows, and a range start or end is seen once a row);
// past it blocks are walked as without a memo.
size_t g_leastRoomBytes = size_t(64) << 20;
constexpr size_t kRoomBytesPerRow = 256;
// A key in a set, about.
constexpr size_t kSeenBytes = 64;
// Marks the mode of a fold that keeps no sums in its key.
constexpr int32_t kWithoutSums = 0x10000;

struct Key {
  int64_t x0;
  int64_t x1;
  int64_t y0;
  int32_t mode;
  bool operator==(const Key&) const = default;
};

// The blocks are those the sheet's formulas name: the process's seeded hash.
uint64_t SeededHashOf(const Key& key) {
  return SeededHashPair(SeededHashPair(uint64_t(key.x0), uint64_t(key.x1)),
                        SeededHashPair(uint64_t(key.y0), uint64_t(uint32_t(key.mode))));
}
using KeyHash = FLSeededHash;

struct State {
  int64_t y;  // the state holds the rows of the block up to here
  ListAggregate fold;
};

// What a fold keeps: every part, or the extremes alone (and the count) where no sum is asked for,
// so that MAX, MIN and COUNT do not pay for sums.
uint8_t FoldParts(bool withSum) {
  return withSum ? uint8_t(ListAggregate::kAll) : uint8_t(ListAggregate::kLargest | ListAggregate::kSmallest);
}

// What a range ending in a row reads of its block, where no state is kept near it: the count
// and, as the fold reads them, the sum where the fold keeps one, else the extremes.
struct Answer {
  int64_t y;
  uint64_t count;
  CANumber sumOrLargest;
  CANumber smallest;

  static Answer of(int64_t y, const ListAggregate& fold) {
    if (fold.parts() & ListAggregate::kSum) return Answer{y, fold.count(), fold.sum(), CANumber()};
    return Answer{y, fold.count(), fold.largest(), fold.smallest()};
  }
  // The fold's answer with the parts the block's ranges read.
  ListAggregate aggregate(uint8_t parts) const {
    if (parts & ListAggregate::kSum) return ListAggregate::ofResults(ListAggregate::kSum, count, sumOrLargest);
    return ListAggregate::ofResults(uint8_t(parts & (ListAggregate::kLargest | ListAggregate::kSmallest)), count,
                                    CANumber(), sumOrLargest, smallest);
  }
};

// A state bigger than the answers of the rows it stands for is not kept: a sum of reals of every
// size spans kilobytes, and ten such folds down a sheet would spend the room within a few
// thousand rows, leaving every later range to be folded from a state far above it.
constexpr size_t kLargestState = kRowsPerState * sizeof(Answer);

struct Block {
  Block(int64_t firstRow, uint8_t parts) : walkedTo(firstRow - 1), parts(parts), fold(parts) {}

  // Starts again from the first row: folded as far as walkedTo, no state kept.
  void restart(int64_t firstRow) {
    walkedTo = firstRow - 1;
    fold = ListAggregate(parts);
    states = {};
    rowsSinceState = 0;
    dropAnswers();
  }
  void dropAnswers() {
    answers = {};
    answering = false;
    answersEnded = false;
  }
  // The answer for a range ending in the row, where the answers hold it.
  const Answer* answerFor(int64_t last) const {
    if (answers.empty() || last < answers.front().y || last > answeredThrough) return nullptr;
    const auto after = std::upper_bound(answers.begin(), answers.end(), last,
                                        [](int64_t y, const Answer& answer) { return y < answer.y; });
    return &*std::prev(after);
  }

  // `fold` holds the rows up to walkedTo.
  int64_t walkedTo;
  uint8_t parts;
  ListAggregate fold;
  // The row of the first cell that fails in the mode: every range reaching it fails.
  std::optional<int64_t> failsAt;
  // Kept from the start; dropped only when the block's cells fail, and then kept again once the
  // block is asked for fewer rows than it has folded.
  bool keepsStates = true;
  std::vector<State> states;
  // Where a state could not be kept (too big, or past the room), the answer of every row folded
  // from there on, rows rising: they hold every row from the first to answeredThrough. Once an
  // answer finds no room they end, and no state is kept after them.
  std::vector<Answer> answers;
  int64_t answeredThrough = 0;
  bool answering = false;
  bool answersEnded = false;
  // What the memo's room was charged for the states and answers, and for what the fold holds
  // beyond its size.
  size_t statesBytes = 0;
  size_t foldBytes = 0;
  size_t rowsSinceState = 0;
};

// Gives each number of the row's cells within the block's columns to `take`, in order: NO at a
// cell that fails in the mode, or at a number `take` refuses.
template <typename Take>
bool FoldRowCells(const CARow& row, const GridRange& block, int32_t mode, Take take) {
  const CARow::CellList& cells = row.cells();
  for (size_t i = row.lowerBound(block.startPoint.x); i < cells.size() && cells[i].x() <= block.endPoint.x; ++i) {
    const CANumber* number = nullptr;
    std::optional<CANumber> plain;
    if (!GetCellNumber(&cells[i], mode, &number, &plain)) return false;
    if (number && !take(*number)) return false;
  }
  return true;
}

// Takes room for a state of so many bytes before it is made: NO where the memo has none left,
// and the state is not kept.
using Reserve = std::function<bool(size_t bytes)>;

// Keeps what the block's fold `fold` is after the row: a state every kRowsPerState rows where
// `reserve` gives room for it, and, from the first state that is too big or finds no room, the
// answer of every row for as long as they find room.
void KeepAfterRow(Block& keep, int64_t y, const ListAggregate& fold, const Reserve& reserve) {
  if (keep.answering) {
    if (!reserve(sizeof(Answer))) {
      keep.answering = false;
      keep.answersEnded = true;
      return;
    }
    keep.answers.push_back(Answer::of(y, fold));
    keep.answeredThrough = y;
    return;
  }
  if (keep.answersEnded || ++keep.rowsSinceState < kRowsPerState) return;
  keep.rowsSinceState = 0;
  const size_t bytes = sizeof(State) + fold.heapBytes();
  if (bytes <= kLargestState && reserve(bytes)) {
    keep.states.push_back(State{y, fold});
    return;
  }
  // The ranges ending in the rows from here on are answered each from its own row.
  keep.answering = true;
  KeepAfterRow(keep, y, fold, reserve);
}

// Folds the rows after `after` up to `through` of the block into `fold`; for the block's own fold
// (`keep`), keeps states or answers on the way (KeepAfterRow). The row of a cell that fails, if
// one does.
std::optional<int64_t> FoldRows(const CADocument& document, const GridRange& block, int32_t mode, int64_t after,
                                int64_t through, ListAggregate& fold, Block* keep = nullptr,
                                const Reserve& reserve = {}) {
  const CADocument::RowList& rows = document.rows();
  auto row = std::upper_bound(rows.begin(), rows.end(), after,
                              [](int64_t y, const std::unique_ptr<CARow>& r) { return y < r->gridY(); });
  for (; row != rows.end() && (*row)->gridY() <= through; ++row) {
    ++g_blockRowsRead;
    if (!FoldRowCells(**row, block, mode, [&fold](const CANumber& number) {
          fold.add(number);
          return true;
        }))
      return (*row)->gridY();
    if (keep) KeepAfterRow(*keep, (*row)->gridY(), fold, reserve);
  }
  return std::nullopt;
}

// The numbers of a block's rows, in any order: their sum (rounded once when read, the same in any
// order), count and extremes are those of folding them in the block's order. Extremes are
// compared as the fold compares them, by their real values, the upper of equal ones kept; it is
// folded from the bottom up. A number that is not finite makes the sum what the arithmetic makes
// of the first of them in the block's order, the topmost: NaN for a NaN, infinity for an infinite
// number, whatever came before it. A NaN is the largest and the smallest where it comes first, and
// never otherwise, as no number compares above or below it.
struct TailFold {
  // Sums add exactly first where `exactFirst` (see ExactAccumulator).
  explicit TailFold(bool withSum = true, bool exactFirst = false)
      : withSum(withSum), sum(exactFirst ? ExactAccumulator::exactFirst() : ExactAccumulator()) {}

  enum class Invalid : uint8_t { kNone, kInfinite, kNaN };

  // NO, leaving the fold as it was, for a number whose sum with others depends on which comes
  // first.
  bool add(const CANumber& number) {
    const bool nan = number.form() == kNumberNaN;
    if (nan) {
      invalid = Invalid::kNaN;
    } else if (number.form() == kNumberInfinity) {
      invalid = Invalid::kInfinite;
    } else if (!number.isValid() || (withSum && !sum.tryAdd(number))) {
      return false;
    }
    // Folded from the bottom up, so the new number lies above what is folded: it wins ties.
    topNaN = nan;
    if (!nan) {
      const long double value = number.realValue();
      if (!hasExtremes || value >= largestValue) {
        largest = number;
        largestValue = value;
      }
      if (!hasExtremes || value <= smallestValue) {
        smallest = number;
        smallestValue = value;
      }
      hasExtremes = true;
    }
    ++count;
    return true;
  }

  // Both folds' numbers together, this one's rows above the other's.
  TailFold plus(const TailFold& below) const {
    if (count == 0) return below;
    if (below.count == 0) return *this;
    TailFold both = *this;
    if (withSum) both.sum.add(below.sum);
    if (invalid == Invalid::kNone) both.invalid = below.invalid;
    both.count = count + below.count;
    if (below.hasExtremes) {
      if (!hasExtremes || !(largestValue >= below.largestValue)) {
        both.largest = below.largest;
        both.largestValue = below.largestValue;
      }
      if (!hasExtremes || !(smallestValue <= below.smallestValue)) {
        both.smallest = below.smallest;
        both.smallestValue = below.smallestValue;
      }
      both.hasExtremes = true;
    }
    return both;
  }

  // What the list functions make of the numbers, folded in the block's order.
  ListAggregate aggregate(uint8_t parts) const {
    const CANumber nan = CANumber::asNan();
    const long double nanValue = nan.realValue();
    return ListAggregate::ofFolded(parts, count, sum, invalid == Invalid::kInfinite, topNaN ? nan : largest,
                                   topNaN ? nanValue : largestValue, topNaN ? nan : smallest,
                                   topNaN ? nanValue : smallestValue, invalid == Invalid::kNaN);
  }

  bool withSum;
  // The topmost number that is not finite, if any.
  Invalid invalid = Invalid::kNone;
  // Whether the topmost number is a NaN, and whether any other number gave the extremes.
  bool topNaN = false;
  bool hasExtremes = false;
  uint64_t count = 0;
  ExactAccumulator sum;
  CANumber largest;
  CANumber smallest;
  long double largestValue = 0;
  long double smallestValue = 0;
};

struct TailState {
  int64_t y;  // the state holds the rows of the block from here to its end
  TailFold fold;
};

// A tall block that ranges end at, each starting at a row of its own: a remaining balance,
// =SUM(B$k:B$N) in every row k. Folded from its last row up, as far as the ranges asked for
// reach, NaN and infinite numbers as the arithmetic carries them, with the state kept every
// kRowsPerState rows where the memo has room for it: a range is answered from the nearest state
// below its first row and the few rows above it. A cell that fails in the mode fails every range that
// holds it, whatever else the range holds: the fold ends there, and answers each range reaching
// it with the error.
struct Tail {
  Tail(int64_t lastRow, bool withSum, bool exactFirst = true)
      : foldedFrom(lastRow + 1), exactFirst(withSum && exactFirst), fold(withSum, this->exactFirst) {}

  // The rows from here to the block's end are folded.
  int64_t foldedFrom;
  // Whether the sums add exactly first (see ExactAccumulator): past the bound the tail is folded
  // again without.
  bool exactFirst;
  TailFold fold;
  // The row nearest the block's end with a cell that fails in the mode: every range from it or
  // above it fails.
  std::optional<int64_t> failsAt;
  // A row whose number the fold refuses: no range reaching it is answered.
  std::optional<int64_t> stopsAt;
  std::vector<TailState> states;  // rows falling
  size_t rowsSinceState = 0;
  // What the memo's room was charged for the states and for the fold beyond its size.
  size_t statesBytes = 0;
  size_t foldBytes = 0;
};

// Where folding rows stopped: at a cell that fails in the mode, or at a number the fold refused.
struct FoldStop {
  int64_t row;
  bool fails;
};

// Folds the rows of the block from `through` up to the row before `before` into `fold`, from
// the lowest up, keeping a state every kRowsPerState rows when `tail` is given (into its states)
// and `reserve` gives room for it. Where a cell does not fold, if one does.
std::optional<FoldStop> FoldRowsUp(const CADocument& document, const GridRange& block, int32_t mode, int64_t through,
                                   int64_t before, TailFold& fold, Tail* tail, const Reserve& reserve = {}) {
  const CADocument::RowList& rows = document.rows();
  auto row = std::lower_bound(rows.begin(), rows.end(), before,
                              [](const std::unique_ptr<CARow>& r, int64_t y) { return r->gridY() < y; });
  while (row != rows.begin()) {
    --row;
    if ((*row)->gridY() < through) break;
    ++g_blockRowsRead;
    bool refused = false;
    if (!FoldRowCells(**row, block, mode, [&fold, &refused](const CANumber& number) {
          refused = !fold.add(number);
          return !refused;
        }))
      return FoldStop{(*row)->gridY(), !refused};
    if (tail && ++tail->rowsSinceState == kRowsPerState) {
      tail->rowsSinceState = 0;
      if (reserve(sizeof(TailState) + fold.sum.heapBytes())) tail->states.push_back(TailState{(*row)->gridY(), fold});
    }
  }
  return std::nullopt;
}

// The most bytes any memo has held since the counter was last reset.
size_t g_mostBytes = 0;

}  // namespace

struct CARangeMemo::Storage {
  bool fits(size_t more) const { return bytes <= room && more <= room - bytes; }
  void charge(size_t more) {
    bytes += more;
    g_mostBytes = std::max(g_mostBytes, bytes);
  }
  // Gives back what was charged: never more, so that the count cannot wrap past zero and spend
  // all the room.
  void release(size_t less) {
    if (less > bytes) {
      LogAssert("range memo releases more than it holds", __func__, __FILE__, __LINE__);
      less = bytes;
    }
    bytes -= less;
  }

  // Blocks asked for once: a block is folded here only when a second range starts where it does,
  // so that ranges that share nothing (a moving window) are walked as without a memo.
  std::unordered_set<Key, KeyHash> seen;
  std::unordered_map<Key, Block, KeyHash> blocks;
  // The same by last row (a Key whose y0 is the block's last row): a block is folded from its
  // end once a second range ends where it does.
  std::unordered_set<Key, KeyHash> seenEnds;
  std::unordered_map<Key, Tail, KeyHash> tails;
  size_t bytes = 0;
  size_t room = 0;
};

void CARangeMemo::StorageDeleter::operator()(Storage* storage) const { delete storage; }

CARangeMemo::CARangeMemo(const CADocument& document, Kept kept)
    : document_(document), previous_(g_activeMemo) {
  const size_t room = std::max(g_leastRoomBytes, document.rows().size() * kRoomBytesPerRow);
  // What was kept may have been charged to a larger room than this one. The blocks seen once are
  // never given back: a memo carried on past half its room starts afresh rather than fill up.
  if (kept && kept->bytes <= room / 2) {
    storage_ = std::move(kept);
    g_mostBytes = std::max(g_mostBytes, storage_->bytes);
  } else {
    storage_ = Kept(new Storage());
  }
  storage_->room = room;
  g_activeMemo = this;
}

namespace {

// The parts a block's fold starts with: a sum adds exactly first.
uint8_t StartingParts(int32_t keyMode) {
  const bool withSum = !(keyMode & kWithoutSums);
  return withSum ? uint8_t(FoldParts(true) | ListAggregate::kExactFirst) : FoldParts(false);
}

}  // namespace

void CARangeMemo::forget(const CAChangedCells& changed) {
  if (!storage_ || changed.empty()) return;
  Storage& s = *storage_;
  if (changed.everything()) {
    const size_t room = s.room;
    s = Storage();
    s.room = room;
    return;
  }
  // Gives back at most what the fold was charged for.
  const auto giveBack = [&s](size_t& charged, size_t less) {
    less = std::min(less, charged);
    s.release(less);
    charged -= less;
  };
  for (auto& entry : s.blocks) {
    const auto& key = entry.first;
    auto& block = entry.second;
    // The block's first changed row: the fold is right above it.
    std::optional<int64_t> first;
    changed.forEachColumnIn(key.x0, key.x1, [&](int64_t lo, int64_t hi) {
      if (hi < key.y0) return;
      const int64_t from = std::max(lo, key.y0);
      first = first ? std::min(*first, from) : from;
    });
    if (!first) continue;
    const int64_t y = *first;
    const bool failingChanged = block.failsAt && *block.failsAt >= y;
    if (!failingChanged && block.walkedTo < y) continue;
    // Folded again from the start where the fold failed or gave up keeping states: its rows are
    // to be looked at again. A sum past the bound stays one that rounds every term, which is
    // right for every range: only one that adds exactly first can be unresolved.
    if (failingChanged || block.failsAt || !block.keepsStates) {
      giveBack(block.statesBytes, block.statesBytes);
      giveBack(block.foldBytes, block.foldBytes);
      block.parts = StartingParts(key.mode);
      block.restart(key.y0);
      block.failsAt.reset();
      block.keepsStates = true;
      continue;
    }
    const auto cut = std::lower_bound(block.states.begin(), block.states.end(), y,
                                      [](const State& state, int64_t row) { return state.y < row; });
    size_t dropped = 0;
    for (auto it = cut; it != block.states.end(); ++it) dropped += sizeof(State) + it->fold.heapBytes();
    block.states.erase(cut, block.states.end());
    // The answers come after the last state: the fold is made again from it.
    dropped += block.answers.size() * sizeof(Answer);
    block.dropAnswers();
    giveBack(block.statesBytes, dropped);
    giveBack(block.foldBytes, block.foldBytes);
    if (block.states.empty()) {
      block.walkedTo = key.y0 - 1;
      block.fold = ListAggregate(block.parts);
    } else {
      block.walkedTo = block.states.back().y;
      block.fold = block.states.back().fold;
    }
    block.rowsSinceState = 0;
  }
  for (auto& entry : s.tails) {
    const auto& key = entry.first;
    auto& tail = entry.second;
    // The tail's last changed row (key.y0 is its last row): the fold is right below it.
    std::optional<int64_t> last;
    changed.forEachColumnIn(key.x0, key.x1, [&](int64_t lo, int64_t hi) {
      if (lo > key.y0) return;
      const int64_t to = std::min(hi, key.y0);
      last = last ? std::max(*last, to) : to;
    });
    if (!last) continue;
    const int64_t y = *last;
    const bool stopChanged = (tail.failsAt && *tail.failsAt <= y) || (tail.stopsAt && *tail.stopsAt <= y);
    if (!stopChanged && y < tail.foldedFrom) continue;
    const bool withSum = !(key.mode & kWithoutSums);
    if (stopChanged || tail.failsAt || tail.stopsAt) {
      giveBack(tail.statesBytes, tail.statesBytes);
      giveBack(tail.foldBytes, tail.foldBytes);
      tail = Tail(key.y0, withSum);
      continue;
    }
    // The states are kept from the end up: those below the change stay.
    const auto cut = std::partition_point(tail.states.begin(), tail.states.end(),
                                          [y](const TailState& state) { return state.y > y; });
    size_t dropped = 0;
    for (auto it = cut; it != tail.states.end(); ++it) dropped += sizeof(TailState) + it->fold.sum.heapBytes();
    tail.states.erase(cut, tail.states.end());
    giveBack(tail.statesBytes, dropped);
    giveBack(tail.foldBytes, tail.foldBytes);
    if (tail.states.empty()) {
      tail.foldedFrom = key.y0 + 1;
      tail.fold = TailFold(withSum, tail.exactFirst);
    } else {
      tail.foldedFrom = tail.states.back().y;
      tail.fold = tail.states.back().fold;
    }
    tail.rowsSinceState = 0;
  }
}

CARangeMemo::Kept CARangeMemo::keep() {
  if (!keptFoldsHold()) {
    LogAssert("a kept fold differs from its rows", __func__, __FILE__, __LINE__);
    return {};
  }
  return std::move(storage_);
}

bool CARangeMemo::keptFoldsHold() const {
#ifndef NDEBUG
  if (!storage_) return true;
  // Folding again reads rows no formula asked for: the count of rows read stays as it was.
  const uint64_t rowsRead = g_blockRowsRead;
  const auto same = [](const CANumber& a, const CANumber& b) {
    return a.form() == b.form() && (a.form() == kNumberNaN || a == b);
  };
  const auto sameFold = [&](const ListAggregate& a, const ListAggregate& b) {
    return a.count() == b.count() && (!(a.parts() & ListAggregate::kSum) || a.unresolved() == b.unresolved()) &&
           (!(a.parts() & ListAggregate::kSum) || a.unresolved() || same(a.sum(), b.sum())) &&
           same(a.largest(), b.largest()) && same(a.smallest(), b.smallest());
  };
  bool holds = true;
  for (const auto& [key, block] : storage_->blocks) {
    if (block.failsAt || block.walkedTo < key.y0) continue;
    const int32_t mode = key.mode & ~kWithoutSums;
    const GridRange range{{key.x0, key.y0}, {key.x1, block.walkedTo}};
    ListAggregate again(block.parts);
    if (FoldRows(document_, range, mode, key.y0 - 1, block.walkedTo, again) || !sameFold(again, block.fold))
      holds = false;
    // The last answer, which every answer before it was made as.
    if (block.answers.empty()) continue;
    const Answer& answer = block.answers.back();
    ListAggregate upTo(block.parts);
    if (FoldRows(document_, range, mode, key.y0 - 1, answer.y, upTo)) {
      holds = false;
      continue;
    }
    const Answer made = Answer::of(answer.y, upTo);
    if (made.count != answer.count || !same(made.sumOrLargest, answer.sumOrLargest) ||
        !same(made.smallest, answer.smallest))
      holds = false;
  }
  for (const auto& [key, tail] : storage_->tails) {
    if (tail.failsAt || tail.stopsAt || tail.foldedFrom > key.y0) continue;
    const int32_t mode = key.mode & ~kWithoutSums;
    const bool withSum = !(key.mode & kWithoutSums);
    const GridRange range{{key.x0, tail.foldedFrom}, {key.x1, key.y0}};
    TailFold again(withSum, tail.exactFirst);
    if (FoldRowsUp(document_, range, mode, tail.foldedFrom, key.y0 + 1, again, nullptr) ||
        !sameFold(again.aggregate(FoldParts(withSum)), tail.fold.aggregate(FoldParts(withSum))))
      holds = false;
  }
  g_blockRowsRead = rowsRead;
  return holds;
#else
  return true;
#endif
}

void CARangeMemo::allowForReaders(size_t cells) {
  if (storage_) storage_->room += cells * sizeof(Answer);
}

size_t CARangeMemo::setLeastRoom(size_t bytes) { return std::exchange(g_leastRoomBytes, bytes); }

size_t CARangeMemo::mostBytesHeld(bool reset) { return reset ? std::exchange(g_mostBytes, 0) : g_mostBytes; }

CARangeMemo::~CARangeMemo() { g_activeMemo = previous_; }

CARangeMemo* CARangeMemo::active(const CADocument& document) {
  for (CARangeMemo* memo = g_activeMemo; memo; memo = memo->previous_)
    if (&memo->document_ == &document) return memo;
  return nullptr;
}

std::optional<uint32_t> CARangeMemo::fold(const GridRange& block, int32_t mode, ListAggregate* aggregate) {
  if (!storage_) return std::nullopt;
  const int64_t y0 = block.startPoint.y;
  const int64_t last = block.endPoint.y;
  if (last - y0 + 1 < kShortestBlock || mode == kOperandBlankCount) return std::nullopt;
  const bool withSum = (aggregate->parts() & ListAggregate::kSum) != 0;
  const uint8_t parts = FoldParts(withSum);
  // Folds with sums and folds without are kept apart.
  const int32_t keyMode = withSum ? mode : mode | kWithoutSums;
  const Key key{block.startPoint.x, block.endPoint.x, y0, keyMode};
  auto found = storage_->blocks.find(key);
  if (found == storage_->blocks.end()) {
    // A range ending where others do, as a remaining balance's: answered from their fold from the
    // end, with nothing kept for its start, so that the room grows with the rows at most.
    const bool endFolded = storage_->tails.contains(Key{block.startPoint.x, block.endPoint.x, last, keyMode});
    if (endFolded)
      if (const std::optional<uint32_t> answer = foldTail(block, mode, withSum, aggregate)) return answer;
    if (!storage_->fits(sizeof(Block) + kSeenBytes)) return std::nullopt;
    if (storage_->seen.insert(key).second) {
      storage_->charge(kSeenBytes);
      // No other range has started here: perhaps others end where this one does.
      return endFolded ? std::nullopt : foldTail(block, mode, withSum, aggregate);
    }
    storage_->charge(sizeof(Block));
    // A sum adds exactly first: should the block pass the bound, it is folded again.
    found = storage_->blocks.emplace(key, Block(y0, withSum ? uint8_t(parts | ListAggregate::kExactFirst) : parts)).first;
  }
  Block& memo = found->second;
  if (memo.failsAt && last >= *memo.failsAt) return uint32_t(kFormulaErrorValue);
  // A range ending in a row the block answers, as a running balance past a state too big to keep.
  if (const Answer* answer = memo.answerFor(last)) {
    *aggregate = answer->aggregate(memo.parts);
    return 0;
  }
  const Reserve reserve = [&](size_t bytes) {
    if (!storage_->fits(bytes)) return false;
    storage_->charge(bytes);
    memo.statesBytes += bytes;
    return true;
  };
  // Gives back what was charged for the states and the fold, before they go.
  const auto release = [&] {
    // Only what was charged: the states a fold kept before failing never were.
    storage_->release(memo.statesBytes + memo.foldBytes);
    memo.statesBytes = 0;
    memo.foldBytes = 0;
  };
  const auto failed = [&](int64_t row) {
    // What was folded of the failing row is no state of any range: the block starts again.
    memo.failsAt = row;
    release();
    memo.restart(y0);
    memo.keepsStates = false;
    return last >= row ? std::optional<uint32_t>(kFormulaErrorValue) : std::nullopt;
  };

  if (last >= memo.walkedTo) {
    if (last > memo.walkedTo) {
      if (const auto row = FoldRows(document_, block, mode, memo.walkedTo, last, memo.fold,
                                    memo.keepsStates ? &memo : nullptr, reserve))
        return failed(*row);
      memo.walkedTo = last;
      if (memo.fold.unresolved()) {
        // Past the bound: folded again from the first row, every term rounded, once for the block.
        release();
        memo.parts = uint8_t(memo.parts & ~ListAggregate::kExactFirst);
        memo.restart(y0);
        if (const auto row = FoldRows(document_, block, mode, y0 - 1, last, memo.fold,
                                      memo.keepsStates ? &memo : nullptr, reserve))
          return failed(*row);
        memo.walkedTo = last;
      }
      // The fold's own growth is charged as well, though it is made whether or not it fits: the
      // range asks for it.
      const size_t foldBytes = memo.fold.heapBytes();
      if (foldBytes > memo.foldBytes) {
        storage_->charge(foldBytes - memo.foldBytes);
        memo.foldBytes = foldBytes;
      }
    }
    *aggregate = memo.fold;
    return 0;
  }

  if (!memo.keepsStates) {
    // Asked for fewer rows than it has folded: the block is folded once more, keeping states.
    if (!storage_->fits(0)) return std::nullopt;
    ListAggregate again(memo.parts);
    if (const auto row = FoldRows(document_, block, mode, y0 - 1, memo.walkedTo, again, &memo, reserve))
      return failed(*row);
    memo.keepsStates = true;
  }
  const auto after = std::upper_bound(memo.states.begin(), memo.states.end(), last,
                                      [](int64_t y, const State& state) { return y < state.y; });
  ListAggregate fold(memo.parts);
  int64_t from = y0 - 1;
  if (after != memo.states.begin()) {
    fold = std::prev(after)->fold;
    from = std::prev(after)->y;
  }
  if (const auto row = FoldRows(document_, block, mode, from, last, fold)) return failed(*row);
  // Within the block's fold, so within the bound; were it not, the range is walked.
  if (fold.unresolved()) return std::nullopt;
  *aggregate = fold;
  return 0;
}

std::optional<uint32_t> CARangeMemo::foldTail(const GridRange& block, int32_t mode, bool withSum,
                                              ListAggregate* aggregate) {
  const int64_t first = block.startPoint.y;
  const int64_t last = block.endPoint.y;
  const Key key{block.startPoint.x, block.endPoint.x, last, withSum ? mode : mode | kWithoutSums};
  auto found = storage_->tails.find(key);
  if (found == storage_->tails.end()) {
    if (!storage_->fits(sizeof(Tail) + kSeenBytes)) return std::nullopt;
    if (storage_->seenEnds.insert(key).second) {
      storage_->charge(kSeenBytes);
      return std::nullopt;
    }
    storage_->charge(sizeof(Tail));
    found = storage_->tails.emplace(key, Tail(last, withSum)).first;
  }
  Tail& tail = found->second;
  if (tail.failsAt && first <= *tail.failsAt) return uint32_t(kFormulaErrorValue);
  if (tail.stopsAt && first <= *tail.stopsAt) return std::nullopt;
  if (first < tail.foldedFrom) {
    // The rows the range adds above what is folded: final, since the formula asking reads them.
    // Where the room is spent, the fold goes on without keeping states.
    const Reserve reserve = [&](size_t bytes) {
      if (!storage_->fits(bytes)) return false;
      storage_->charge(bytes);
      tail.statesBytes += bytes;
      return true;
    };
    std::optional<FoldStop> stop = FoldRowsUp(document_, block, mode, first, tail.foldedFrom, tail.fold, &tail, reserve);
    if (tail.fold.sum.unresolved()) {
      // Past the bound: folded again from the end, every term rounded, once for the block.
      storage_->release(tail.statesBytes + tail.foldBytes);
      tail = Tail(last, withSum, false);
      stop = FoldRowsUp(document_, block, mode, first, last + 1, tail.fold, &tail, reserve);
    }
    // The fold's own growth is charged as well, though it is made whether or not it fits.
    const size_t foldBytes = tail.fold.sum.heapBytes();
    if (foldBytes > tail.foldBytes) {
      storage_->charge(foldBytes - tail.foldBytes);
      tail.foldBytes = foldBytes;
    }
    if (stop) {
      // The rows below the stop are folded, the stop's own row only in part: it is not folded.
      tail.foldedFrom = stop->row + 1;
      (stop->fails ? tail.failsAt : tail.stopsAt) = stop->row;
      return stop->fails ? std::optional<uint32_t>(kFormulaErrorValue) : std::nullopt;
    }
    tail.foldedFrom = first;
  }
  // A range from the row folded last, as the balances met from the bottom up ask: the fold itself,
  // however far below its nearest state lies (none is kept past the room).
  if (first == tail.foldedFrom) {
    if (tail.fold.sum.unresolved()) return std::nullopt;
    *aggregate = tail.fold.aggregate(FoldParts(withSum));
    return 0;
  }
  // The nearest state at or below the first row, and the rows above it.
  const auto below = std::partition_point(tail.states.begin(), tail.states.end(),
                                          [first](const TailState& state) { return state.y >= first; });
  TailFold fold(withSum, tail.exactFirst);
  int64_t before = last + 1;
  if (below != tail.states.begin()) {
    fold = std::prev(below)->fold;
    before = std::prev(below)->y;
  }
  TailFold above(withSum, tail.exactFirst);
  if (FoldRowsUp(document_, block, mode, first, before, above, nullptr)) return std::nullopt;
  const TailFold all = above.plus(fold);
  // Within the tail's fold, so within the bound; were it not, the range is walked.
  if (all.sum.unresolved()) return std::nullopt;
  *aggregate = all.aggregate(FoldParts(withSum));
  return 0;
}
