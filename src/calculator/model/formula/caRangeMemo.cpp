#include "calculator/model/formula/caRangeMemo.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caOperands.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// Each thread's recalculations are its own, though the model runs on the main thread.
thread_local CARangeMemo* g_activeMemo = nullptr;

// A state is kept after every this many rows folded: a range is answered by folding at most
// this many rows beyond one.
constexpr size_t kRowsPerState = 32;
// The most the kept states and blocks may take; past it blocks are walked as without a memo.
constexpr size_t kRoomBytes = size_t(64) << 20;

struct Key {
  int64_t x0;
  int64_t x1;
  int64_t y0;
  int32_t mode;
  bool operator==(const Key&) const = default;
};

struct KeyHash {
  size_t operator()(const Key& key) const noexcept {
    uint64_t h = uint64_t(key.x0) * 0x9E3779B97F4A7C15ULL;
    h ^= uint64_t(key.x1) + 0x7F4A7C159E3779B9ULL + (h << 6) + (h >> 2);
    h ^= uint64_t(key.y0) + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2);
    h ^= uint64_t(key.mode) + (h << 6) + (h >> 2);
    return size_t(h);
  }
};

struct State {
  int64_t y;  // the state holds the rows of the block up to here
  ListAggregate fold;
};

struct Block {
  explicit Block(int64_t firstRow) : walkedTo(firstRow - 1) {}

  // `fold` holds the rows up to walkedTo.
  int64_t walkedTo;
  ListAggregate fold{ListAggregate::kAll};
  // The row of the first cell that fails in the mode: every range reaching it fails.
  std::optional<int64_t> failsAt;
  // Kept from the start; dropped only when the block's cells fail, and then kept again once the
  // block is asked for fewer rows than it has folded.
  bool keepsStates = true;
  std::vector<State> states;
  size_t rowsSinceState = 0;
};

// Folds the rows after `after` up to `through` of the block into `fold`, keeping a state every
// kRowsPerState rows when `states` is given. The row of a cell that fails, if one does.
std::optional<int64_t> FoldRows(const CADocument& document, const GridRange& block, int32_t mode, int64_t after,
                                int64_t through, ListAggregate& fold, std::vector<State>* states,
                                size_t* rowsSinceState) {
  const CADocument::RowList& rows = document.rows();
  auto row = std::upper_bound(rows.begin(), rows.end(), after,
                              [](int64_t y, const std::unique_ptr<CARow>& r) { return y < r->gridY(); });
  for (; row != rows.end() && (*row)->gridY() <= through; ++row) {
    const CARow::CellList& cells = (*row)->cells();
    for (size_t i = (*row)->lowerBound(block.startPoint.x); i < cells.size() && cells[i].x() <= block.endPoint.x;
         ++i) {
      const CANumber* number = nullptr;
      std::optional<CANumber> plain;
      if (!GetCellNumber(&cells[i], mode, &number, &plain)) return (*row)->gridY();
      if (number) fold.add(*number);
    }
    if (states && ++*rowsSinceState == kRowsPerState) {
      states->push_back(State{(*row)->gridY(), fold});
      *rowsSinceState = 0;
    }
  }
  return std::nullopt;
}

}  // namespace

struct CARangeMemo::Storage {
  // Blocks asked for once: a block is folded here only when a second range starts where it does,
  // so that ranges that share nothing (a moving window) are walked as without a memo.
  std::unordered_set<Key, KeyHash> seen;
  std::unordered_map<Key, Block, KeyHash> blocks;
  size_t bytes = 0;
};

CARangeMemo::CARangeMemo(const CADocument& document)
    : document_(document), previous_(g_activeMemo), storage_(std::make_unique<Storage>()) {
  g_activeMemo = this;
}

CARangeMemo::~CARangeMemo() { g_activeMemo = previous_; }

CARangeMemo* CARangeMemo::active(const CADocument& document) {
  for (CARangeMemo* memo = g_activeMemo; memo; memo = memo->previous_)
    if (&memo->document_ == &document) return memo;
  return nullptr;
}

std::optional<uint32_t> CARangeMemo::fold(const GridRange& block, int32_t mode, ListAggregate* aggregate) {
  const int64_t y0 = block.startPoint.y;
  const int64_t last = block.endPoint.y;
  if (last - y0 + 1 < kShortestBlock || mode == kOperandBlankCount) return std::nullopt;
  const Key key{block.startPoint.x, block.endPoint.x, y0, mode};
  auto found = storage_->blocks.find(key);
  if (found == storage_->blocks.end()) {
    constexpr size_t kSeenBytes = 64;  // a key in the set, about
    if (storage_->bytes + sizeof(Block) + kSeenBytes > kRoomBytes) return std::nullopt;
    if (storage_->seen.insert(key).second) {
      storage_->bytes += kSeenBytes;
      return std::nullopt;
    }
    storage_->bytes += sizeof(Block);
    found = storage_->blocks.emplace(key, Block(y0)).first;
  }
  Block& memo = found->second;
  if (memo.failsAt && last >= *memo.failsAt) return uint32_t(kFormulaErrorValue);
  const auto failed = [&](int64_t row) {
    // What was folded of the failing row is no state of any range: the block starts again.
    memo.failsAt = row;
    memo.walkedTo = y0 - 1;
    memo.fold = ListAggregate(ListAggregate::kAll);
    storage_->bytes -= memo.states.size() * sizeof(State);
    memo.states = {};
    memo.keepsStates = false;
    memo.rowsSinceState = 0;
    return last >= row ? std::optional<uint32_t>(kFormulaErrorValue) : std::nullopt;
  };

  if (last >= memo.walkedTo) {
    if (last > memo.walkedTo) {
      const size_t kept = memo.states.size();
      if (const auto row = FoldRows(document_, block, mode, memo.walkedTo, last, memo.fold,
                                    memo.keepsStates ? &memo.states : nullptr, &memo.rowsSinceState))
        return failed(*row);
      memo.walkedTo = last;
      storage_->bytes += (memo.states.size() - kept) * sizeof(State);
    }
    *aggregate = memo.fold;
    return 0;
  }

  if (!memo.keepsStates) {
    // Asked for fewer rows than it has folded: the block is folded once more, keeping states.
    if (storage_->bytes > kRoomBytes) return std::nullopt;
    ListAggregate again(ListAggregate::kAll);
    if (const auto row = FoldRows(document_, block, mode, y0 - 1, memo.walkedTo, again, &memo.states,
                                  &memo.rowsSinceState))
      return failed(*row);
    memo.keepsStates = true;
    storage_->bytes += memo.states.size() * sizeof(State);
  }
  const auto after = std::upper_bound(memo.states.begin(), memo.states.end(), last,
                                      [](int64_t y, const State& state) { return y < state.y; });
  ListAggregate fold(ListAggregate::kAll);
  int64_t from = y0 - 1;
  if (after != memo.states.begin()) {
    fold = std::prev(after)->fold;
    from = std::prev(after)->y;
  }
  if (const auto row = FoldRows(document_, block, mode, from, last, fold, nullptr, nullptr)) return failed(*row);
  *aggregate = fold;
  return 0;
}
