#include "calculator/model/CARecalculation.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAReadingGraph.h"
#include "calculator/model/CAReferenceTable.h"
#include "calculator/model/CARow.h"
#include "calculator/model/formula/caOperands.h"
#include "calculator/model/formula/caRangeMemo.h"

#include "framlet/foundation/flBase.h"

#include <algorithm>
#include <functional>
#include <new>
#include <memory>
#include <queue>

namespace {

constexpr uint32_t kNeverReady = CAReadingGraph::kNever;

GridPoint Plain(const GridPoint& point) {
  return GridPoint{NormalizeCoordinate(point.x), NormalizeCoordinate(point.y)};
}

// What one recalculation knows about the cells it meets is kept in the cells themselves: the
// recalculation's generation in the high half of the mark, then two flags and, for a waiting
// cell, the order in which it joined.
constexpr uint64_t kWaiting = uint64_t(1) << 31;
constexpr uint64_t kScanned = uint64_t(1) << 30;
constexpr uint64_t kThroughBlock = uint64_t(1) << 29;  // a waiting cell found through a block
constexpr uint64_t kJoinedMask = kThroughBlock - 1;
constexpr uint64_t kFlagsAndJoined = (uint64_t(1) << 32) - 1;

// Gives a list's memory back at once rather than when the recalculation ends, so that the lists
// of its later steps do not come on top of it.
template <typename T>
void Release(std::vector<T>& list) {
  std::vector<T>().swap(list);
}

uint64_t NextGeneration() {
  static uint32_t generation = 0;
  if (++generation == 0) generation = 1;  // 0 is the mark of a cell never met
  return uint64_t(generation) << 32;
}

// A list of plain values kept in pages of a fixed size: growing never copies what it holds, so a
// list of a million cells never needs room for one and a half of itself, and clearing it gives
// all of it back.
template <typename T>
class PagedList {
 public:
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t i) { return pages_[i >> kPageBits][i & kPageMask]; }
  const T& operator[](size_t i) const { return pages_[i >> kPageBits][i & kPageMask]; }

  void push_back(const T& value) {
    if ((size_ >> kPageBits) == pages_.size()) pages_.push_back(std::make_unique_for_overwrite<T[]>(kPageSize));
    (*this)[size_++] = value;
  }

  // Values past the old size are undefined until set.
  void resize(size_t size) {
    const size_t pages = (size + kPageSize - 1) >> kPageBits;
    while (pages_.size() < pages) pages_.push_back(std::make_unique_for_overwrite<T[]>(kPageSize));
    pages_.resize(pages);
    size_ = size;
  }

  void clear() {
    Release(pages_);
    size_ = 0;
  }

  void swap(PagedList& other) noexcept {
    pages_.swap(other.pages_);
    std::swap(size_, other.size_);
  }

 private:
  static constexpr int kPageBits = 14;
  static constexpr size_t kPageSize = size_t(1) << kPageBits;
  static constexpr size_t kPageMask = kPageSize - 1;

  std::vector<std::unique_ptr<T[]>> pages_;
  size_t size_ = 0;
};

// The (cell, input) pairs of the waiting cells, in the order they were found. While every input
// comes before its cell and the pairs come cell by cell in list order, as a chain's do, each
// pair is two small numbers in a byte stream (the step from the previous pair's cell and the
// distance back to the input: two bytes a pair for a chain instead of eight); the first pair
// that breaks that turns the stream into plain pairs.
class InputLog {
 public:
  using Pair = std::pair<uint32_t, uint32_t>;

  void clear() {
    bytes_.clear();
    pairs_.clear();
    forward_ = true;
    last_ = 0;
    chained_ = 0;
  }

  void add(uint32_t cell, uint32_t input) {
    if (forward_ && (cell < last_ || input >= cell)) toPairs();
    if (!forward_) {
      pairs_.emplace_back(cell, input);
      return;
    }
    put(cell - last_);
    put(cell - input);
    if (input + 1 == cell && cell == chained_ + 1) chained_ = cell;
    last_ = cell;
  }

  // Whether the pairs are still a forward stream.
  bool isForward() const { return forward_; }
  // For a forward stream: whether every cell after the first of `count` waits for the one just
  // before it, which makes the passes rise along the list.
  bool chainsAll(uint32_t count) const { return forward_ && (count <= 1 || chained_ == count - 1); }

  // Calls f(cell, input) for each pair of a forward stream, in order.
  template <typename F>
  void forEachForward(F&& f) const {
    uint32_t cell = 0;
    for (size_t at = 0; at < bytes_.size();) {
      cell += get(at);
      const uint32_t input = cell - get(at);
      f(cell, input);
    }
  }

  // The pairs, made plain when they were still a stream.
  std::vector<Pair>& pairs() {
    toPairs();
    return pairs_;
  }

  void release() {
    bytes_.clear();
    Release(pairs_);
  }

 private:
  void put(uint32_t value) {
    while (value >= 0x80) {
      bytes_.push_back(uint8_t(value | 0x80));
      value >>= 7;
    }
    bytes_.push_back(uint8_t(value));
  }

  uint32_t get(size_t& at) const {
    uint32_t value = 0;
    for (int shift = 0;; shift += 7) {
      const uint8_t byte = bytes_[at++];
      value |= uint32_t(byte & 0x7F) << shift;
      if (!(byte & 0x80)) return value;
    }
  }

  void toPairs() {
    if (!forward_) return;
    forward_ = false;
    forEachForward([this](uint32_t cell, uint32_t input) { pairs_.emplace_back(cell, input); });
    bytes_.clear();
  }

  PagedList<uint8_t> bytes_;
  std::vector<Pair> pairs_;
  bool forward_ = true;
  uint32_t last_ = 0;     // the cell of the last pair
  uint32_t chained_ = 0;  // cells 1..chained_ each wait for the cell before
};

// The lists a recalculation works in, each made once and filled in place.
struct RecalcLists {
  struct Keyed {
    GridPoint point;
    uint32_t joined;
  };

  // Step 1.
  PagedList<CACell*> joined;
  std::vector<CACell*> work;
  std::vector<GridPoint> byName;
  std::vector<GridPoint> throughBlocks;
  InputLog named;
  std::vector<uint32_t> throughBlock;
  // Step 2.
  PagedList<CACell*> waiting;
  std::vector<Keyed> keyed;
  std::vector<uint32_t> place;
  std::vector<uint32_t> pass;
  std::vector<uint32_t> starts;
  std::vector<uint32_t> order;
};

// Step 1: the walk over the rows, and the waiting set with every cell that depends, directly or
// not, on a cell that needs recalculation. The dependencies between waiting cells that name
// each other are noted on the way; those through blocks are worked out afterwards.
class Collector {
 public:
  Collector(CADocument& document, CAReferenceTable& table, RecalcLists& lists)
      : document_(document),
        table_(table),
        generation_(NextGeneration()),
        joined_(lists.joined),
        work_(lists.work),
        byName_(lists.byName),
        throughBlocks_(lists.throughBlocks),
        named_(lists.named),
        throughBlock_(lists.throughBlock) {
    joined_.clear();
    work_.clear();
    named_.clear();
    throughBlock_.clear();
  }

  void walk() {
    // Each block reference is needed once: a referrer found through it is waiting from then on.
    table_.beginConsuming();
    try {
      std::vector<int64_t> noted;
      if (document_.takeRecalcRows(noted) && notesHoldEveryCellToWalk(noted))
        walkNotedRows(noted);
      else
        walkRowsFrom(0);
    } catch (...) {
      // Cells not walked may be left unnoted: the next walk goes over every row. The blocks found
      // so far are reported again to whoever looks next (an edit marking what reads a cell).
      document_.noteEveryRowForRecalc();
      try {
        table_.endConsuming();
      } catch (const std::bad_alloc&) {
        // The next walk's beginConsuming ends it.
      }
      throw;
    }
    table_.endConsuming();
  }

  // The walk over the rows from index `first` on.
  void walkRowsFrom(size_t first) {
    const CADocument::RowList& rows = document_.rows();
    // Each row's cell is met here and its referrers, in the rows just below, right after: ask
    // for the rows, their cell lists and their first cells a few rows ahead.
    constexpr size_t kRowAhead = 16;
    constexpr size_t kCellsAhead = 8;
    constexpr size_t kCellAhead = 4;
    for (size_t r = first; r < rows.size(); ++r) {
      if (r + kRowAhead < rows.size()) __builtin_prefetch(rows[r + kRowAhead].get());
      if (r + kCellsAhead < rows.size()) __builtin_prefetch(rows[r + kCellsAhead]->cells().data());
      if (r + kCellAhead < rows.size() && !rows[r + kCellAhead]->cells().empty())
        __builtin_prefetch(rows[r + kCellAhead]->cells().front().cell());
      CARow* row = rows[r].get();
      walkRow(row);
      if (r >= rows.size() || rows[r].get() != row) {
        // A row was stored above this one while walking: find this one again.
        const auto it = std::find_if(rows.begin(), rows.end(), [row](const auto& item) { return item.get() == row; });
        r = size_t(it - rows.begin());
      }
    }
  }

  // The walk over the rows noted as holding a cell to recalculate, in ascending y, as the walk
  // over every row would meet them: a row noted while walking is walked too when it lies below.
  void walkNotedRows(std::vector<int64_t>& noted) {
    std::priority_queue<int64_t, std::vector<int64_t>, std::greater<>> below;
    size_t next = 0;
    size_t seen = 0;  // the notes made while walking that have been looked at
    bool any = false;
    int64_t walked = 0;
    for (;;) {
      if (!document_.notesRecalcRows()) {
        // Too many notes while walking: the rows below are walked one by one.
        const CADocument::RowList& rows = document_.rows();
        const auto after = any ? std::upper_bound(rows.begin(), rows.end(), walked,
                                                  [](int64_t y, const std::unique_ptr<CARow>& r) { return y < r->gridY(); })
                               : rows.begin();
        walkRowsFrom(size_t(after - rows.begin()));
        return;
      }
      // The rows noted since stay noted for the next recalculation as well, where those walked
      // now cost a look.
      const std::vector<int64_t>& fresh = document_.recalcRowsNoted();
      for (; seen < fresh.size(); ++seen)
        if (!any || fresh[seen] > walked) below.push(fresh[seen]);
      int64_t y;
      if (next < noted.size() && (below.empty() || noted[next] <= below.top())) {
        y = noted[next++];
      } else if (!below.empty()) {
        y = below.top();
        below.pop();
      } else {
        break;
      }
      if (any && y <= walked) continue;
      any = true;
      walked = y;
      if (CARow* row = document_.row(y)) walkRow(row);
    }
  }

  // Sorts the notes; in a build with checks, whether they hold every row with a cell to walk.
  bool notesHoldEveryCellToWalk(std::vector<int64_t>& noted) {
    std::sort(noted.begin(), noted.end());
    noted.erase(std::unique(noted.begin(), noted.end()), noted.end());
#ifndef NDEBUG
    for (const std::unique_ptr<CARow>& row : document_.rows())
      for (const CACellEntry& entry : row->cells()) {
        const CACell* cell = entry.cell();
        if (!cell || (!cell->needRecalc() && !cell->ephemeralResult())) continue;
        if (std::binary_search(noted.begin(), noted.end(), row->gridY())) continue;
        LogAssert("a cell to recalculate was not noted", __func__, __FILE__, __LINE__);
        return false;
      }
#endif
    return true;
  }

  // Walks the row's cells, again when a cell was stored in it meanwhile.
  void walkRow(CARow* row) {
    do {
      document_.setCellAdded(false);
      const CARow::CellList& cells = row->cells();
      for (size_t i = 0; i < cells.size(); ++i) {
        // A plain number has nothing to evaluate; its referrers are formulas met on their own.
        CACell* cell = cells[i].cell();
        if (!cell || (!cell->needRecalc() && !cell->ephemeralResult())) continue;
        // A cell that already waits (it refers to a cell met earlier) has had its referrers
        // added too; only cells met for the first time need a look at their formula.
        const uint64_t mark = flags(cell);
        if (!(mark & kWaiting)) {
          document_.changedCells().add(cell->gridPoint());
          if (!cell->refersToCells(nullptr))
            cell->evaluate();
          else
            markWaiting(cell, cell->gridPoint());
        }
        if (!(mark & kScanned)) addReferrers(cell);
        document_.redrawCell(cell->gridPoint());
        if (document_.cellAdded()) break;
      }
    } while (document_.cellAdded());
  }

  // The waiting cells by position (rows top to bottom, each row left to right), into `cells`.
  // `place` receives each one's position by the order in which it joined, or is left empty when
  // that is the position already, as in a chain, whose cells join as its walk goes down.
  void listWaiting(PagedList<CACell*>& cells, std::vector<uint32_t>& place, std::vector<RecalcLists::Keyed>& keyed) {
    place.clear();
    listAll();
    if (inOrder_) {
      cells.swap(joined_);
      joined_.clear();
      return;
    }
    const uint32_t count = uint32_t(joined_.size());
    keyed.resize(count);
    for (uint32_t i = 0; i < count; ++i) keyed[i] = RecalcLists::Keyed{joined_[i]->gridPoint(), i};
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return before(a.point, b.point); });
    cells.resize(count);
    place.resize(count);
    for (uint32_t position = 0; position < count; ++position) {
      cells[position] = joined_[keyed[position].joined];
      place[keyed[position].joined] = position;
    }
    Release(keyed);
    joined_.clear();
  }

  uint32_t waitingCount() const { return joinedCount_; }
  // Whether the cells joined in position order.
  bool joinedInOrder() const { return inOrder_; }

  // Evaluates the waiting cells in position order, which is their joining order when they
  // joined in order, walking the rows instead of a list of them.
  void evaluateByPosition() {
    const CADocument::RowList& rows = document_.rows();
    // As in the walk, ask for what the rows ahead hold, each thing once what leads to it came:
    // the row, its cell list, its first cell, then that cell's tokens.
    constexpr size_t kRowAhead = 16;
    constexpr size_t kCellsAhead = 12;
    constexpr size_t kCellAhead = 8;
    constexpr size_t kTokensAhead = 4;
    uint32_t left = joinedCount_;
    // Evaluating stores no cell; were one stored all the same, a cell passed over by the shift
    // is found by a further sweep.
    for (bool evaluated = true; left > 0 && evaluated;) {
      evaluated = false;
      for (size_t r = 0; r < rows.size() && left > 0; ++r) {
        if (r + kRowAhead < rows.size()) __builtin_prefetch(rows[r + kRowAhead].get());
        if (r + kCellsAhead < rows.size()) __builtin_prefetch(rows[r + kCellsAhead]->cells().data());
        if (r + kCellAhead < rows.size() && !rows[r + kCellAhead]->cells().empty()) {
          if (const CACell* ahead = rows[r + kCellAhead]->cells().front().cell()) {
            __builtin_prefetch(ahead);
            __builtin_prefetch(reinterpret_cast<const char*>(ahead) + 64);
          }
        }
        if (r + kTokensAhead < rows.size() && !rows[r + kTokensAhead]->cells().empty())
          if (const CACell* ahead = rows[r + kTokensAhead]->cells().front().cell()) ahead->prefetchExpression();
        const CARow::CellList& cells = rows[r]->cells();
        for (size_t i = 0; i < cells.size() && left > 0; ++i) {
          CACell* cell = cells[i].cell();
          if (!cell) continue;
          const uint64_t mark = flags(cell);
          if (!(mark & kWaiting)) continue;
          cell->setRecalcMark(generation_ | (mark & ~kWaiting));
          cell->evaluate();
          document_.redrawCell(cell->gridPoint());
          --left;
          evaluated = true;
        }
      }
    }
  }

  // After a recalculation that failed part-way (memory ran out): every cell it met, evaluated or
  // not, is marked to be computed again, and every row is walked next time, so that no cell keeps
  // a value worked out from inputs that have changed since. Takes no memory.
  void leaveMarks() noexcept {
    document_.noteEveryRowForRecalc();
    for (const std::unique_ptr<CARow>& row : document_.rows())
      for (const CACellEntry& entry : row->cells()) {
        CACell* cell = entry.cell();
        if (cell && (cell->recalcMark() & ~kFlagsAndJoined) == generation_) cell->setNeedRecalc(true);
      }
  }

  // (waiting cell, waiting cell it names), by joining order, found by the walk.
  InputLog& namedInputs() { return named_; }
  // The waiting cells (by joining order) that refer to a waiting cell through a block, each once.
  std::vector<uint32_t>& throughBlocks() { return throughBlock_; }

 private:
  static bool before(const GridPoint& a, const GridPoint& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; }

  uint64_t flags(const CACell* cell) const {
    const uint64_t mark = cell->recalcMark();
    return (mark & ~kFlagsAndJoined) == generation_ ? mark & kFlagsAndJoined : 0;
  }

  // The cell's joining order.
  uint32_t markWaiting(CACell* cell, const GridPoint& point) {
    const uint64_t mark = flags(cell);
    if (mark & kWaiting) return uint32_t(mark & kJoinedMask);
    const uint32_t joined = joinedCount_;
    if (inOrder_ && joined > 0 && !before(last_, point)) {
      inOrder_ = false;
      listAll();
    }
    // A chain read down has each cell's input noted by the time the next cell joins; once that
    // fails, the cells are listed from then on, which costs least the sooner it is done.
    if (!listed_ && joined >= 2 && !named_.chainsAll(joined)) listAll();
    if (joined == 0) first_ = point;
    last_ = point;
    if (listed_) joined_.push_back(cell);
    ++joinedCount_;
    document_.changedCells().add(point);
    cell->setRecalcMark(generation_ | mark | kWaiting | joined);
    return joined;
  }

  // Lists the cells that joined so far by their joining order, if they are not listed yet: the
  // cells of a chain read down, joining in position order, are found again by position instead.
  void listAll() {
    if (listed_) return;
    listed_ = true;
    joined_.resize(joinedCount_);
    if (joinedCount_ == 0) return;
    // Until now the cells joined in position order: they lie between the first and the last.
    const CADocument::RowList& rows = document_.rows();
    auto row = std::lower_bound(rows.begin(), rows.end(), first_.y,
                                [](const std::unique_ptr<CARow>& r, int64_t y) { return r->gridY() < y; });
    for (; row != rows.end() && (*row)->gridY() <= last_.y; ++row)
      for (const CACellEntry& entry : (*row)->cells()) {
        CACell* cell = entry.cell();
        if (!cell) continue;
        const uint64_t mark = flags(cell);
        if (mark & kWaiting) joined_[mark & kJoinedMask] = cell;
      }
  }

  void scan(CACell* cell) {
    const uint64_t mark = flags(cell);
    if (mark & kScanned) return;
    cell->setRecalcMark(generation_ | mark | kScanned);
    work_.push_back(cell);
  }

  void addReferrers(CACell* root) {
    scan(root);
    while (!work_.empty()) {
      CACell* input = work_.back();
      work_.pop_back();
      const uint64_t inputMark = flags(input);
      byName_.clear();
      throughBlocks_.clear();
      table_.referrersOf(input->gridPoint(), byName_, throughBlocks_);
      for (const GridPoint& point : byName_) {
        CACell* referrer = CellAtPoint(document_, point);
        if (!referrer) continue;
        const uint32_t joined = markWaiting(referrer, point);
        if (inputMark & kWaiting) {
          named_.add(joined, uint32_t(inputMark & kJoinedMask));
          if (!named_.isForward()) listAll();
        }
        scan(referrer);
      }
      for (const GridPoint& point : throughBlocks_) {
        CACell* referrer = CellAtPoint(document_, point);
        if (!referrer) continue;
        const uint32_t joined = markWaiting(referrer, point);
        const uint64_t mark = referrer->recalcMark();
        if (!(mark & kThroughBlock)) {
          referrer->setRecalcMark(mark | kThroughBlock);
          throughBlock_.push_back(joined);
          listAll();
        }
        scan(referrer);
      }
    }
  }

  CADocument& document_;
  CAReferenceTable& table_;
  const uint64_t generation_;
  PagedList<CACell*>& joined_;
  std::vector<CACell*>& work_;
  std::vector<GridPoint>& byName_;
  std::vector<GridPoint>& throughBlocks_;
  InputLog& named_;
  std::vector<uint32_t>& throughBlock_;
  // Whether the cells joined in position order so far, and the last one's point.
  bool inOrder_ = true;
  // The cells that joined, and whether joined_ lists them (it does once they are out of order).
  uint32_t joinedCount_ = 0;
  bool listed_ = false;
  GridPoint first_;
  GridPoint last_;
};

}  // namespace

namespace {

// What the expression registers in the reference table, plain: each cell it names (onPoint) and
// each block it reads (onBlock), corners in order; runs of neighbouring cells it names one by
// one are registered as their blocks (TakeRunsOfNamedCells), so registering and dropping, and
// the recalculation that reads a formula's blocks, all see the same references.
template <typename OnPoint, typename OnBlock>
void ForEachRegisteredReference(CAExpressionView expression, OnPoint&& onPoint, OnBlock&& onBlock) {
  size_t named = 0;
  for (const CAFormulaToken& token : expression) named += token.type() == kTokenReference;
  std::vector<GridPoint> points;
  const bool gathered = named >= size_t(kRegisteredRunLength);
  if (gathered) points.reserve(named);
  for (const CAFormulaToken& token : expression) {
    const int32_t kind = token.type();
    if (kind == kTokenReference) {
      if (gathered)
        points.push_back(Plain(token.point()));
      else
        onPoint(Plain(token.point()));
    } else if (kind == kTokenRange) {
      GridRange block;
      if (NormalizedBlock(token.range(), &block)) onBlock(block);
    }
  }
  if (!gathered) return;
  std::vector<GridRange> runs;
  TakeRunsOfNamedCells(points, runs);
  for (const GridPoint& point : points) onPoint(point);
  for (const GridRange& run : runs) onBlock(run);
}

}  // namespace

void EnumerateReferences(CADocument& document, CAReferenceTable& table, CAExpressionView expression,
                         const GridPoint& from, bool add) {
  const GridPoint plainFrom = Plain(from);
  bool changed = false;
  ForEachRegisteredReference(
      expression,
      [&](const GridPoint& to) {
        changed |= add ? table.addReference(plainFrom, to) : table.removeReference(plainFrom, to);
      },
      [&](const GridRange& block) {
        changed |= add ? table.addRangeReference(plainFrom, block) : table.removeRangeReference(plainFrom, block);
      });
  if (changed)
    if (CACell* cell = document.cellAtGridPoint(plainFrom)) cell->setNeedRecalc(true);
}

void SetRecalcForDependents(CADocument& document, CAReferenceTable& table, const GridPoint& point) {
  std::vector<GridPoint> referrers;
  table.referrersOf(Plain(point), referrers);
  for (const GridPoint& referrer : referrers)
    if (CACell* cell = CellAtPoint(document, referrer)) cell->setNeedRecalc(true);
}

void AddRecalcDependencies(CADocument& document, CAReferenceTable& table,
                           std::unordered_set<const CACell*>& set, const CACell& cell) {
  std::vector<const CACell*> work{&cell};
  std::vector<GridPoint> referrers;
  while (!work.empty()) {
    const CACell* next = work.back();
    work.pop_back();
    referrers.clear();
    table.referrersOf(next->gridPoint(), referrers);
    for (const GridPoint& point : referrers) {
      const CACell* referrer = CellAtPoint(document, point);
      if (referrer && set.insert(referrer).second) work.push_back(referrer);
    }
  }
}

void RecalcEverything(CADocument& document) {
  // Cells that moved between rows take their checkboxes and pictures with them: every row's
  // height is worked out again along with every value.
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    row->setNeedCalculate(true);
    for (const CACellEntry& entry : row->cells())
      if (CACell* cell = entry.cell()) cell->setNeedRecalc(true);
  }
}

namespace {

// The passes of a forward stream of inputs: each cell's inputs then have their final passes by
// the time its own are met, so one sweep gives every pass, with no cycle possible.
void ForwardPasses(uint32_t count, const InputLog& inputs, std::vector<uint32_t>& pass) {
  pass.assign(count, 1);
  inputs.forEachForward([&pass](uint32_t cell, uint32_t input) { pass[cell] = std::max(pass[cell], pass[input] + 1); });
}

// Whether the passes rise strictly along the list, which makes the list's own order the
// evaluation order.
bool RisesStrictly(const std::vector<uint32_t>& pass) {
  for (size_t i = 1; i < pass.size(); ++i)
    if (pass[i] <= pass[i - 1]) return false;
  return true;
}

// The cells by pass, and within a pass the later cell first, into `order`; cells that never
// become ready are left out.
void OrderByPass(const std::vector<uint32_t>& pass, std::vector<uint32_t>& starts, std::vector<uint32_t>& order) {
  uint32_t lastPass = 0;
  for (const uint32_t p : pass)
    if (p != kNeverReady) lastPass = std::max(lastPass, p);
  starts.assign(size_t(lastPass) + 2, 0);
  for (const uint32_t p : pass)
    if (p != kNeverReady) ++starts[p + 1];
  for (size_t p = 1; p < starts.size(); ++p) starts[p] += starts[p - 1];
  order.resize(starts.back());
  for (uint32_t i = uint32_t(pass.size()); i-- > 0;)
    if (pass[i] != kNeverReady) order[starts[pass[i]]++] = i;
}

// The evaluation order of any waiting list, into lists.order, with lists.pass.
void OrderWaiting(uint32_t count, std::vector<std::pair<uint32_t, uint32_t>>& inputs, RecalcLists& lists) {
  CAReadingGraph graph(CAReadingGraph::Mode::Passes, count);
  graph.addInputs(std::move(inputs));
  lists.pass = graph.resolve();
  OrderByPass(lists.pass, lists.starts, lists.order);
}

// The evaluation order of the waiting cells 0..count-1 into lists.order, or true when it is the
// list's own order; lists.pass is left with the passes, or empty when they were not needed.
bool OrderInputs(uint32_t count, InputLog& inputs, RecalcLists& lists) {
  if (inputs.chainsAll(count)) {
    inputs.release();
    return true;
  }
  if (!inputs.isForward()) {
    OrderWaiting(count, inputs.pairs(), lists);
    inputs.release();
    return false;
  }
  ForwardPasses(count, inputs, lists.pass);
  inputs.release();
  if (RisesStrictly(lists.pass)) return true;
  OrderByPass(lists.pass, lists.starts, lists.order);
  return false;
}

}  // namespace

std::vector<uint32_t> PassOrder(uint32_t count, const std::vector<uint32_t>& offsets,
                                const std::vector<uint32_t>& dependsOn) {
  RecalcLists lists;
  InputLog inputs;
  for (uint32_t cell = 0; cell < count; ++cell)
    for (uint32_t k = offsets[cell]; k < offsets[cell + 1]; ++k) inputs.add(cell, dependsOn[k]);
  if (!OrderInputs(count, inputs, lists)) return lists.order;
  std::vector<uint32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = i;
  return order;
}

namespace {

void RecalculateMet(CADocument& document, Collector& collector, RecalcLists& lists);

}  // namespace

void Recalculate(CADocument& document, CAReferenceTable& table) {
  RecalcLists lists;
  Collector collector(document, table, lists);
  // A cell's mark is cleared as it is evaluated; the cells that depend on it are only found on the
  // way, unmarked. Should the recalculation stop part-way, they are marked then.
  try {
    RecalculateMet(document, collector, lists);
  } catch (...) {
    collector.leaveMarks();
    throw;
  }
}

namespace {

void RecalculateMet(CADocument& document, Collector& collector, RecalcLists& lists) {
  PagedList<CACell*>& waiting = lists.waiting;
  std::vector<uint32_t>& place = lists.place;
  collector.walk();
  // Every cell to evaluate is known, and none that reads a block has been: the memo forgets what
  // they, and the cells changed since the last recalculation, are part of.
  const uint32_t count = collector.waitingCount();
  if (CARangeMemo* memo = CARangeMemo::active(document)) {
    memo->forget(document.changedCells());
    memo->allowForReaders(count);
  }
  document.changedCells().clear();
  if (count == 0) return;
  // A chain read down, each cell waiting for the one before, is evaluated as it is laid out,
  // with no list of its cells.
  if (collector.joinedInOrder() && collector.throughBlocks().empty() && collector.namedInputs().chainsAll(count)) {
    collector.namedInputs().release();
    collector.evaluateByPosition();
    return;
  }
  collector.listWaiting(waiting, place, lists.keyed);
  const auto position = [&place](uint32_t joined) { return place.empty() ? joined : place[joined]; };

  // What each waiting cell waits for: the waiting cells it names, found by the walk, and those
  // inside the blocks of the cells that refer to a waiting cell through a block.
  InputLog& inputs = collector.namedInputs();
  if (!place.empty())
    for (auto& [cell, input] : inputs.pairs()) {
      cell = place[cell];
      input = place[input];
    }
  std::vector<uint32_t>& throughBlocks = collector.throughBlocks();
  std::vector<uint32_t>& pass = lists.pass;
  std::vector<uint32_t>& order = lists.order;
  // Each list goes as soon as it has been used: a long chain's lists are several bytes a cell
  // each, and only the cells and their order are needed while evaluating.
  bool inListOrder = false;
  if (throughBlocks.empty()) {
    Release(place);
    inListOrder = OrderInputs(count, inputs, lists);
  } else {
    // A block is read as the block: its waiting cells are found in groups shared by every
    // block over them, never listed cell by cell for each formula that reads them.
    CAReadingGraph graph(CAReadingGraph::Mode::Passes, count);
    graph.addInputs(std::move(inputs.pairs()));
    inputs.release();
    for (uint32_t i = 0; i < count; ++i) graph.place(i, waiting[i]->gridPoint());
    // By joining order, as the cells' inputs have always been listed.
    std::sort(throughBlocks.begin(), throughBlocks.end());
    for (const uint32_t joined : throughBlocks) {
      const uint32_t i = position(joined);
      const CACell* cell = waiting[i];
      if (!cell->isFormula()) continue;
      // The blocks it is registered under, those of its runs of named cells among them.
      ForEachRegisteredReference(
          cell->expression(), [](const GridPoint&) {},
          [&](const GridRange& block) { graph.addBlock(i, cell->gridPoint(), block); });
    }
    Release(throughBlocks);
    Release(place);
    pass = graph.resolve();
    OrderByPass(pass, lists.starts, order);
  }
  Release(lists.starts);
  // Whether each waiting cell never becomes ready, kept only when some do not.
  std::vector<bool> neverReady;
  if (!inListOrder && order.size() < count) {
    neverReady.resize(count);
    for (size_t i = 0; i < count; ++i) neverReady[i] = pass[i] == kNeverReady;
  }
  Release(pass);

  // Evaluating a long chain is bound by memory latency, each cell and its tokens being met for
  // the first time: ask for them a few cells ahead, the cell first and its tokens once it came.
  constexpr size_t kCellAhead = 8;
  constexpr size_t kTokensAhead = 4;
  const size_t steps = inListOrder ? count : order.size();
  const auto at = [&order, inListOrder](size_t k) { return inListOrder ? uint32_t(k) : order[k]; };
  for (size_t k = 0; k < steps; ++k) {
    if (k + kCellAhead < steps) {
      const CACell* ahead = waiting[at(k + kCellAhead)];
      __builtin_prefetch(ahead);
      __builtin_prefetch(reinterpret_cast<const char*>(ahead) + 64);
    }
    // A short formula's tokens span a few cache lines; ask for them all.
    if (k + kTokensAhead < steps) waiting[at(k + kTokensAhead)]->prefetchExpression();
    const uint32_t i = at(k);
    waiting[i]->evaluate();
    document.redrawCell(waiting[i]->gridPoint());
  }
  for (size_t i = 0; i < neverReady.size(); ++i) {
    if (!neverReady[i]) continue;
    waiting[i]->setCircularError();
    document.redrawCell(waiting[i]->gridPoint());
  }
}

}  // namespace
