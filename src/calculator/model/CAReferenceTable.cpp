#include "calculator/model/CAReferenceTable.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCollectionExtensions.h"
#include "framlet/foundation/flReadingMeter.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <unordered_map>
#include <utility>

namespace {

thread_local bool t_meteredGrowth = false;

// A block of the table about to be made anew at `bytes`, the old one of `held` bytes kept while
// it is filled. Within a metered growth the meter is asked first: the table grows as the
// references a file names do, by doubling, and one that would pass the reading's budget ends the
// reading here, as a failed allocation would, before the block is made.
void AskMeterForBlock(size_t bytes, size_t held) {
  if (!t_meteredGrowth) return;
  FLReadingMeter* meter = FLReadingMeter::current();
  if (meter && !meter->room(int64_t(bytes) - int64_t(held), int64_t(held))) throw std::bad_alloc();
}

}  // namespace

namespace {

constexpr uint32_t kNil = std::numeric_limits<uint32_t>::max();
uint64_t g_referrersFound = 0;
constexpr int64_t kNoActiveEnd = std::numeric_limits<int64_t>::min();
// Past this many referrers a cell's list gets a position index, so that dropping one referrer
// of a cell that thousands of formulas name stays cheap.
constexpr size_t kIndexedFanIn = 16;

uint64_t g_indexProbes = 0;

}  // namespace

namespace {

// ---------------------------------------------------------------------------------------------
// Interval index: a treap of [lo, hi] intervals keyed by (lo, id), each node knowing the largest
// hi of the active intervals below it, so that a stabbing query skips whole subtrees.

class IntervalIndex {
 public:
  void insert(int64_t lo, int64_t hi, uint32_t id) {
    const uint32_t node = allocate(lo, hi, id);
    root_ = insertNode(root_, node);
  }

  void erase(int64_t lo, uint32_t id) { root_ = eraseNode(root_, lo, id); }

  void setActive(int64_t lo, uint32_t id, bool active) { setActiveNode(root_, lo, id, active); }

  // As stab, but only for the intervals `accept` takes, each of which is switched off on the way
  // and its node appended to `nodes`: one walk, instead of a search from the root for each. The
  // intervals come in the order of their starts and then their ids, which for the ranges of a
  // column of formulas read top down is the order of the formulas.
  template <typename Accept>
  void stabAndSwitchOff(int64_t y, const Accept& accept, std::vector<uint32_t>& ids, std::vector<uint32_t>& nodes) {
    stabAndSwitchOffNode(root_, y, accept, ids, nodes);
  }

  // Switches the nodes on again. A few are each found from the root; many at once are cheaper
  // switched on in place and the whole tree's largest ends worked out again in one walk.
  void switchOn(const uint32_t* nodes, size_t count) {
    size_t depth = 1;
    for (size_t size = nodes_.size(); size > 1; size >>= 1) ++depth;
    if (count * depth * 4 < nodes_.size()) {
      for (size_t k = 0; k < count; ++k) setActiveNode(root_, nodes_[nodes[k]].lo, nodes_[nodes[k]].id, true);
      return;
    }
    for (size_t k = 0; k < count; ++k) nodes_[nodes[k]].active = true;
    updateAll(root_);
  }

  // Appends the ids of the active intervals that contain y.
  void stab(int64_t y, std::vector<uint32_t>& ids) {
    stack_.clear();
    stack_.push_back(root_);
    while (!stack_.empty()) {
      const uint32_t n = stack_.back();
      stack_.pop_back();
      if (n == kNil || nodes_[n].maxHi < y) continue;
      const Node& node = nodes_[n];
      stack_.push_back(node.left);
      if (node.lo <= y) {
        if (node.active && node.hi >= y) ids.push_back(node.id);
        stack_.push_back(node.right);
      }
    }
  }

  bool isEmpty() const { return root_ == kNil; }

 private:
  struct Node {
    int64_t lo;
    int64_t hi;
    int64_t maxHi;
    uint32_t id;
    uint32_t priority;
    uint32_t left = kNil;
    uint32_t right = kNil;
    bool active = true;
  };

  static bool before(int64_t lo1, uint32_t id1, int64_t lo2, uint32_t id2) {
    return lo1 < lo2 || (lo1 == lo2 && id1 < id2);
  }

  uint32_t allocate(int64_t lo, int64_t hi, uint32_t id) {
    seed_ ^= seed_ << 13;
    seed_ ^= seed_ >> 17;
    seed_ ^= seed_ << 5;
    const Node node{lo, hi, hi, id, seed_};
    if (!free_.empty()) {
      const uint32_t n = free_.back();
      free_.pop_back();
      nodes_[n] = node;
      return n;
    }
    nodes_.push_back(node);
    return uint32_t(nodes_.size() - 1);
  }

  void update(uint32_t n) {
    Node& node = nodes_[n];
    int64_t best = node.active ? node.hi : kNoActiveEnd;
    if (node.left != kNil) best = std::max(best, nodes_[node.left].maxHi);
    if (node.right != kNil) best = std::max(best, nodes_[node.right].maxHi);
    node.maxHi = best;
  }

  // Splits t into the nodes before (lo, id) and the rest.
  void split(uint32_t t, int64_t lo, uint32_t id, uint32_t& left, uint32_t& right) {
    if (t == kNil) {
      left = right = kNil;
      return;
    }
    if (before(nodes_[t].lo, nodes_[t].id, lo, id)) {
      uint32_t rest = kNil;
      split(nodes_[t].right, lo, id, rest, right);
      nodes_[t].right = rest;
      left = t;
    } else {
      uint32_t rest = kNil;
      split(nodes_[t].left, lo, id, left, rest);
      nodes_[t].left = rest;
      right = t;
    }
    update(t);
  }

  uint32_t merge(uint32_t a, uint32_t b) {
    if (a == kNil) return b;
    if (b == kNil) return a;
    if (nodes_[a].priority > nodes_[b].priority) {
      const uint32_t merged = merge(nodes_[a].right, b);
      nodes_[a].right = merged;
      update(a);
      return a;
    }
    const uint32_t merged = merge(a, nodes_[b].left);
    nodes_[b].left = merged;
    update(b);
    return b;
  }

  uint32_t insertNode(uint32_t t, uint32_t n) {
    if (t == kNil) return n;
    if (nodes_[n].priority > nodes_[t].priority) {
      uint32_t left = kNil;
      uint32_t right = kNil;
      split(t, nodes_[n].lo, nodes_[n].id, left, right);
      nodes_[n].left = left;
      nodes_[n].right = right;
      update(n);
      return n;
    }
    if (before(nodes_[n].lo, nodes_[n].id, nodes_[t].lo, nodes_[t].id)) {
      const uint32_t child = insertNode(nodes_[t].left, n);
      nodes_[t].left = child;
    } else {
      const uint32_t child = insertNode(nodes_[t].right, n);
      nodes_[t].right = child;
    }
    update(t);
    return t;
  }

  uint32_t eraseNode(uint32_t t, int64_t lo, uint32_t id) {
    if (t == kNil) return kNil;
    const Node& node = nodes_[t];
    if (node.lo == lo && node.id == id) {
      const uint32_t merged = merge(node.left, node.right);
      free_.push_back(t);
      return merged;
    }
    if (before(lo, id, node.lo, node.id)) {
      const uint32_t child = eraseNode(node.left, lo, id);
      nodes_[t].left = child;
    } else {
      const uint32_t child = eraseNode(node.right, lo, id);
      nodes_[t].right = child;
    }
    update(t);
    return t;
  }

  void setActiveNode(uint32_t t, int64_t lo, uint32_t id, bool active) {
    if (t == kNil) return;
    Node& node = nodes_[t];
    if (node.lo == lo && node.id == id)
      node.active = active;
    else
      setActiveNode(before(lo, id, node.lo, node.id) ? node.left : node.right, lo, id, active);
    update(t);
  }

  // Whether any node of the subtree was switched off.
  template <typename Accept>
  bool stabAndSwitchOffNode(uint32_t n, int64_t y, const Accept& accept, std::vector<uint32_t>& ids,
                            std::vector<uint32_t>& nodes) {
    if (n == kNil || nodes_[n].maxHi < y) return false;
    bool switched = stabAndSwitchOffNode(nodes_[n].left, y, accept, ids, nodes);
    if (nodes_[n].lo <= y) {
      Node& node = nodes_[n];
      if (node.active && node.hi >= y && accept(node.id)) {
        ids.push_back(node.id);
        nodes.push_back(n);
        node.active = false;
        switched = true;
      }
      switched |= stabAndSwitchOffNode(nodes_[n].right, y, accept, ids, nodes);
    }
    if (switched) update(n);
    return switched;
  }

  void updateAll(uint32_t t) {
    if (t == kNil) return;
    updateAll(nodes_[t].left);
    updateAll(nodes_[t].right);
    update(t);
  }

  std::vector<Node> nodes_;
  std::vector<uint32_t> free_;
  std::vector<uint32_t> stack_;
  uint32_t root_ = kNil;
  uint32_t seed_ = 2463534242u;
};

// ---------------------------------------------------------------------------------------------
// Records

// The referrers of one cell: the first kept in place (most cells are named by one formula),
// the rest in a list, with a position index once there are many.
class PointTarget {
 public:
  size_t size() const { return size_; }
  const GridPoint& from(size_t i) const { return i == 0 ? firstFrom_ : more_->list[i - 1].from; }
  uint32_t& count(size_t i) { return i == 0 ? firstCount_ : more_->list[i - 1].count; }

  size_t find(const GridPoint& point) const {
    if (more_ && more_->positions) {
      const auto it = more_->positions->find(point);
      return it == more_->positions->end() ? size_ : it->second;
    }
    for (size_t i = 0; i < size_; ++i)
      if (from(i) == point) return i;
    return size_;
  }

  void append(const GridPoint& point) {
    if (size_ == 0) {
      firstFrom_ = point;
      firstCount_ = 1;
    } else {
      if (!more_) more_ = std::make_unique<Overflow>();
      more_->list.push_back(Referrer{point, 1});
    }
    ++size_;
    if (!more_) return;
    if (more_->positions) {
      more_->positions->emplace(point, uint32_t(size_ - 1));
    } else if (size_ > kIndexedFanIn) {
      more_->positions = std::make_unique<std::unordered_map<GridPoint, uint32_t, GridPointHash>>();
      for (size_t i = 0; i < size_; ++i) more_->positions->emplace(from(i), uint32_t(i));
    }
  }

  void removeAt(size_t i) {
    auto* positions = more_ ? more_->positions.get() : nullptr;
    if (positions) positions->erase(from(i));
    const size_t last = size_ - 1;
    if (i != last) {
      const Referrer moved{from(last), count(last)};
      if (i == 0) {
        firstFrom_ = moved.from;
        firstCount_ = moved.count;
      } else {
        more_->list[i - 1] = moved;
      }
      if (positions) (*positions)[moved.from] = uint32_t(i);
    }
    if (last > 0) more_->list.pop_back();
    if (--size_ <= 1) more_.reset();
  }

 private:
  struct Referrer {
    GridPoint from;
    uint32_t count;
  };
  struct Overflow {
    std::vector<Referrer> list;  // referrers 1...
    std::unique_ptr<std::unordered_map<GridPoint, uint32_t, GridPointHash>> positions;
  };

  GridPoint firstFrom_{};
  uint32_t firstCount_ = 0;
  uint32_t size_ = 0;
  std::unique_ptr<Overflow> more_;
};

// Cells named by formulas, found by point. A sheet of long chains names almost every cell of a
// column, so cells go in groups of kGroupRows neighbouring rows of one column: a group is one
// cache line holding, per row, a word that is the cell's one referrer packed in place (nearly
// every named cell of such a sheet has exactly one, named once), the number of a PointTarget
// kept apart for any other cell, or nothing. The groups are found through an open-addressing
// index by (column, group of rows); a cell beyond what a word can hold (a column past 2^24 - 2
// or a row past 2^43) is kept in a plain map instead.
class PointMap {
 public:
  PointMap() : slots_(size_t(1) << bits_) {}

  // Whether `from` starts referring to the cell.
  bool add(const GridPoint& key, const GridPoint& from) {
    if (!isPackedKey(key)) return addTo(far_[key], from);
    size_t i = findSlot(groupKey(key));
    if (i == kMissing) i = insertGroup(groupKey(key));
    uint64_t& word = groups_[slots_[i].group].words[rowIn(key)];
    if (word == kNone) {
      ++slots_[i].used;
      if (isPackedReferrer(from)) {
        word = pack(from);
        return true;
      }
      word = sharedWord(newShared());
    } else if (!isShared(word)) {
      // The in-place referrer moves out to make room for a second one or a second count.
      const uint32_t n = newShared();
      shared_[n].append(unpack(word));
      word = sharedWord(n);
    }
    return addTo(shared_[sharedNumber(word)], from);
  }

  // Whether `from` stops referring to the cell.
  bool remove(const GridPoint& key, const GridPoint& from) {
    if (!isPackedKey(key)) {
      const auto it = far_.find(key);
      if (it == far_.end() || !removeFrom(it->second, from)) return false;
      if (it->second.size() == 0) far_.erase(it);
      return true;
    }
    const size_t i = findSlot(groupKey(key));
    if (i == kMissing) return false;
    uint64_t& word = groups_[slots_[i].group].words[rowIn(key)];
    if (word == kNone) return false;
    if (!isShared(word)) {
      if (unpack(word) != from) return false;
    } else {
      const uint32_t n = sharedNumber(word);
      PointTarget& target = shared_[n];
      if (!removeFrom(target, from)) return false;
      if (target.size() == 1 && target.count(0) == 1 && isPackedReferrer(target.from(0))) {
        word = pack(target.from(0));  // back in place
        target.removeAt(0);
      }
      if (target.size() > 0) return true;
      freeShared_.push_back(n);
      if (!isShared(word)) return true;
    }
    word = kNone;
    if (--slots_[i].used == 0) eraseGroup(i);
    return true;
  }

  // Appends the referrers of the cell.
  void referrersOf(const GridPoint& key, std::vector<GridPoint>& referrers) const {
    if (!isPackedKey(key)) {
      if (far_.empty()) return;
      const auto it = far_.find(key);
      if (it != far_.end()) appendAll(it->second, referrers);
      return;
    }
    const size_t i = findSlot(groupKey(key));
    if (i == kMissing) return;
    const uint64_t word = groups_[slots_[i].group].words[rowIn(key)];
    if (word == kNone) return;
    if (!isShared(word))
      referrers.push_back(unpack(word));
    else
      appendAll(shared_[sharedNumber(word)], referrers);
  }

  bool isEmpty() const { return groupCount_ == 0 && far_.empty(); }

  // Asks for the index slot of a cell that is likely looked up soon.
  void prefetch(const GridPoint& key) const {
    if (isPackedKey(key)) __builtin_prefetch(&slots_[home(groupKey(key))]);
  }

  // The cells in one group.
  static constexpr int kGroupBits = 3;
  static constexpr int64_t kGroupRows = int64_t(1) << kGroupBits;

 private:
  // A word: nothing, a referrer (its column in the low 24 bits, its row + 1 above), or the
  // number of a shared target above the low 24 bits all set, which no packed column has.
  static constexpr uint64_t kNone = 0;
  static constexpr int kColumnBits = 24;
  static constexpr uint64_t kColumnMask = (uint64_t(1) << kColumnBits) - 1;
  static constexpr uint64_t kRowLimit = uint64_t(1) << (64 - kColumnBits);
  static constexpr size_t kMissing = SIZE_MAX;

  static bool isPackedReferrer(const GridPoint& point) {
    return uint64_t(point.x) < kColumnMask && uint64_t(point.y) + 1 < kRowLimit;
  }
  static uint64_t pack(const GridPoint& point) {
    return (uint64_t(point.y) + 1) << kColumnBits | uint64_t(point.x);
  }
  static GridPoint unpack(uint64_t word) {
    return GridPoint{int64_t(word & kColumnMask), int64_t((word >> kColumnBits) - 1)};
  }
  static bool isShared(uint64_t word) { return (word & kColumnMask) == kColumnMask; }
  static uint64_t sharedWord(uint32_t n) { return uint64_t(n) << kColumnBits | kColumnMask; }
  static uint32_t sharedNumber(uint64_t word) { return uint32_t(word >> kColumnBits); }

  // A group's key packs its column and its first row the same way, so 0 marks a free slot.
  static bool isPackedKey(const GridPoint& key) {
    return uint64_t(key.x) < kColumnMask && (uint64_t(key.y) >> kGroupBits) + 1 < kRowLimit;
  }
  static uint64_t groupKey(const GridPoint& key) {
    return ((uint64_t(key.y) >> kGroupBits) + 1) << kColumnBits | uint64_t(key.x);
  }
  static size_t rowIn(const GridPoint& key) { return size_t(uint64_t(key.y) & (kGroupRows - 1)); }

  static bool addTo(PointTarget& target, const GridPoint& from) {
    const size_t at = target.find(from);
    if (at < target.size()) {
      ++target.count(at);
      return false;
    }
    target.append(from);
    return true;
  }
  // Whether `from` stopped referring (its last count went).
  static bool removeFrom(PointTarget& target, const GridPoint& from) {
    const size_t at = target.find(from);
    if (at == target.size() || --target.count(at) > 0) return false;
    target.removeAt(at);
    return true;
  }
  static void appendAll(const PointTarget& target, std::vector<GridPoint>& referrers) {
    for (size_t k = 0; k < target.size(); ++k) referrers.push_back(target.from(k));
  }

  struct Slot {
    uint64_t key = 0;  // 0: free
    uint32_t group = 0;
    uint32_t used = 0;  // the group's cells that have referrers
  };
  struct alignas(64) Group {
    std::array<uint64_t, kGroupRows> words{};
  };

  size_t findSlot(uint64_t key) const {
    for (size_t i = home(key);; i = next(i)) {
      ++g_indexProbes;
      const Slot& slot = slots_[i];
      if (slot.key == key) return i;
      if (slot.key == 0) return kMissing;
    }
  }

  size_t insertGroup(uint64_t key) {
    if ((groupCount_ + 1) * 2 > slots_.size()) grow();
    size_t i = home(key);
    for (++g_indexProbes; slots_[i].key != 0; ++g_indexProbes) i = next(i);
    uint32_t group;
    if (!freeGroups_.empty()) {
      group = freeGroups_.back();
      freeGroups_.pop_back();
    } else {
      group = uint32_t(groups_.size());
      if (groups_.size() == groups_.capacity())
        AskMeterForBlock(std::max<size_t>(1, groups_.capacity() * 2) * sizeof(Group), groups_.capacity() * sizeof(Group));
      groups_.emplace_back();
    }
    slots_[i] = Slot{key, group, 0};
    ++groupCount_;
    return i;
  }

  void eraseGroup(size_t i) {
    freeGroups_.push_back(slots_[i].group);
    --groupCount_;
    // Backward shift: move later entries of the probe run into the gap so that no lookup
    // stops early at it.
    for (size_t j = next(i);; j = next(j)) {
      if (slots_[j].key == 0) break;
      const size_t want = home(slots_[j].key);
      const bool stays = i <= j ? (i < want && want <= j) : (i < want || want <= j);
      if (stays) continue;
      slots_[i] = slots_[j];
      i = j;
    }
    slots_[i] = Slot();
  }

  uint32_t newShared() {
    if (!freeShared_.empty()) {
      const uint32_t n = freeShared_.back();
      freeShared_.pop_back();
      return n;
    }
    shared_.emplace_back();
    return uint32_t(shared_.size() - 1);
  }

  // A column's groups go in runs of kRun neighbouring slots, the runs scattered: a walk down a
  // column then meets slots that share cache lines and pages. Where a run goes is the process's
  // seeded hash of its column and rows: a file chooses which cells its formulas name, and under a
  // fixed hash could choose rows whose runs all start at one slot.
  static constexpr int kRunBits = 2;
  size_t home(uint64_t key) const {
    const uint64_t column = key & kColumnMask;
    const uint64_t group = key >> kColumnBits;
    const uint64_t run = group >> kRunBits;
    const size_t start = size_t(SeededHashPair(column, run) >> (64 - bits_ + kRunBits)) << kRunBits;
    return start | size_t(group & ((uint64_t(1) << kRunBits) - 1));
  }
  size_t next(size_t i) const { return (i + 1) & (slots_.size() - 1); }

  void grow() {
    AskMeterForBlock(slots_.size() * 2 * sizeof(Slot), slots_.size() * sizeof(Slot));
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    ++bits_;
    for (const Slot& slot : old) {
      if (slot.key == 0) continue;
      size_t i = home(slot.key);
      while (slots_[i].key != 0) i = next(i);
      slots_[i] = slot;
    }
  }

  int bits_ = 4;
  std::vector<Slot> slots_;
  size_t groupCount_ = 0;
  std::vector<Group> groups_;
  std::vector<uint32_t> freeGroups_;
  std::vector<PointTarget> shared_;
  std::vector<uint32_t> freeShared_;
  std::unordered_map<GridPoint, PointTarget, GridPointHash> far_;
};

struct RangeEntry {
  GridRange block;
  GridPoint from;
  uint32_t count = 0;  // 0: a free record
};

struct RangeKey {
  GridRange block;
  GridPoint from;
  friend bool operator==(const RangeKey&, const RangeKey&) = default;
};

uint64_t SeededHashOf(const RangeKey& key) { return SeededHashPair(SeededHashOf(key.block), SeededHashOf(key.from)); }

// The ids of the block references, found by their block and referrer: an open table of ids whose
// keys are the entries themselves. A node a reference from the heap was half the work of making
// the table of a sheet of running totals (one block a formula, made anew after a structural
// edit); a table of words grows by doubling, and a block that cannot be had leaves it as it was.
class RangeIdTable {
 public:
  // The id of the entry with this key, or kNil.
  uint32_t find(const RangeKey& key, const std::vector<RangeEntry>& entries) const {
    if (count_ == 0) return kNil;
    const uint32_t tag = tagOf(key);
    for (size_t i = home(tag);; i = next(i)) {
      const Slot& slot = slots_[i];
      if (slot.id == kNil) return kNil;
      if (slot.tag == tag) {
        const RangeEntry& entry = entries[slot.id];
        if (entry.block == key.block && entry.from == key.from) return slot.id;
      }
    }
  }
  // Room for one more id: all a later insert needs. Throws when the larger table cannot be had.
  void reserveOne() {
    if ((count_ + 1) * 4 <= slots_.size() * 3) return;
    const size_t size = std::max<size_t>(16, slots_.size() * 2);
    AskMeterForBlock(size * sizeof(Slot), slots_.size() * sizeof(Slot));
    std::vector<Slot> grown(size);
    grown.swap(slots_);
    for (const Slot& slot : grown)
      if (slot.id != kNil) place(slot);
  }
  // After reserveOne: takes no memory.
  void insert(uint32_t id, const std::vector<RangeEntry>& entries) {
    const RangeEntry& entry = entries[id];
    place(Slot{id, tagOf(RangeKey{entry.block, entry.from})});
    ++count_;
  }
  // Removes the id found under the key; takes no memory.
  void erase(uint32_t id, const std::vector<RangeEntry>& entries) {
    const RangeEntry& entry = entries[id];
    size_t i = home(tagOf(RangeKey{entry.block, entry.from}));
    while (slots_[i].id != id) i = next(i);
    // Later slots of the run move back over the hole, so that every id stays reachable from
    // its home without markers of removed ids.
    for (size_t j = next(i);; j = next(j)) {
      const Slot& slot = slots_[j];
      if (slot.id == kNil) break;
      const size_t want = home(slot.tag);
      if (((j - want) & mask()) >= ((j - i) & mask())) {
        slots_[i] = slot;
        i = j;
      }
    }
    slots_[i] = Slot{};
    --count_;
  }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

 private:
  struct Slot {
    uint32_t id = kNil;
    uint32_t tag = 0;  // the upper half of the key's hash: most mismatches end here
  };
  static uint32_t tagOf(const RangeKey& key) { return uint32_t(SeededHashOf(key) >> 32); }
  size_t mask() const { return slots_.size() - 1; }
  size_t home(uint32_t tag) const { return size_t(tag) & mask(); }
  size_t next(size_t i) const { return (i + 1) & mask(); }
  void place(const Slot& slot) {
    size_t i = home(slot.tag);
    while (slots_[i].id != kNil) i = next(i);
    slots_[i] = slot;
  }

  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace

struct CAReferenceTable::Storage {
  IntervalIndex& indexFor(const GridRange& block, int64_t column);
  void forEachIndexOf(const RangeEntry& entry, bool insert, uint32_t id);

  PointMap points;
  size_t pointPairs = 0;

  std::vector<RangeEntry> ranges;
  std::vector<uint32_t> freeRanges;
  RangeIdTable rangeIds;
  // Narrow blocks under each of their columns, keyed by row; wide blocks in one index by row.
  std::unordered_map<int64_t, std::unique_ptr<IntervalIndex>, FLSeededHash> columns;
  IntervalIndex wide;

  bool consuming = false;
  // The entries switched off while consuming: by index in runs, each entry's id and node.
  struct Consumed {
    IntervalIndex* index;
    uint32_t id;
    uint32_t node;
  };
  std::vector<Consumed> consumed;
  std::vector<uint32_t> stabbed;
  std::vector<uint32_t> stabbedNodes;
  std::vector<uint32_t> switchedOn;
};

// ---------------------------------------------------------------------------------------------
// Table

CAMeteredTableGrowth::CAMeteredTableGrowth() : previous_(std::exchange(t_meteredGrowth, true)) {}

CAMeteredTableGrowth::~CAMeteredTableGrowth() { t_meteredGrowth = previous_; }

CAReferenceTable::CAReferenceTable() : storage_(std::make_unique<Storage>()) {}

CAReferenceTable::~CAReferenceTable() = default;

bool CAReferenceTable::addReference(const GridPoint& from, const GridPoint& to) {
  if (!storage_->points.add(to, from)) return false;
  ++storage_->pointPairs;
  return true;
}

bool CAReferenceTable::removeReference(const GridPoint& from, const GridPoint& to) {
  if (!storage_->points.remove(to, from)) return false;
  --storage_->pointPairs;
  return true;
}

namespace {

bool IsNarrow(const GridRange& block) {
  return uint64_t(block.endPoint.x - block.startPoint.x) < uint64_t(kNarrowBlockWidth);
}

}  // namespace

IntervalIndex& CAReferenceTable::Storage::indexFor(const GridRange& block, int64_t column) {
  if (!IsNarrow(block)) return wide;
  // Made before it goes in: a failed allocation leaves no empty entry behind.
  if (const auto found = columns.find(column); found != columns.end()) return *found->second;
  auto index = std::make_unique<IntervalIndex>();
  IntervalIndex& made = *index;
  columns.emplace(column, std::move(index));
  return made;
}

void CAReferenceTable::Storage::forEachIndexOf(const RangeEntry& entry, bool insert, uint32_t id) {
  const GridRange& block = entry.block;
  const bool narrow = IsNarrow(block);
  const int64_t lastColumn = narrow ? block.endPoint.x : block.startPoint.x;
  for (int64_t x = block.startPoint.x; x <= lastColumn; ++x) {
    IntervalIndex& index = indexFor(block, x);
    if (insert) {
      index.insert(block.startPoint.y, block.endPoint.y, id);
    } else {
      index.erase(block.startPoint.y, id);
      if (narrow && index.isEmpty()) columns.erase(x);
    }
  }
}

bool CAReferenceTable::addRangeReference(const GridPoint& from, const GridRange& block) {
  if (block.startPoint.x > block.endPoint.x || block.startPoint.y > block.endPoint.y) {
    LogAssert("Block corners out of order", __func__, __FILE__, __LINE__);
    return false;
  }
  Storage& s = *storage_;
  const RangeKey key{block, from};
  if (const uint32_t found = s.rangeIds.find(key, s.ranges); found != kNil) {
    ++s.ranges[found].count;
    return false;
  }
  // Room first: a failed allocation leaves no entry that the id table does not know.
  s.rangeIds.reserveOne();
  uint32_t id;
  if (!s.freeRanges.empty()) {
    id = s.freeRanges.back();
    s.freeRanges.pop_back();
  } else {
    id = uint32_t(s.ranges.size());
    s.ranges.emplace_back();
  }
  s.ranges[id] = RangeEntry{block, from, 1};
  s.rangeIds.insert(id, s.ranges);
  s.forEachIndexOf(s.ranges[id], true, id);
  return true;
}

bool CAReferenceTable::removeRangeReference(const GridPoint& from, const GridRange& block) {
  Storage& s = *storage_;
  const uint32_t id = s.rangeIds.find(RangeKey{block, from}, s.ranges);
  if (id == kNil) return false;
  if (--s.ranges[id].count > 0) return false;
  s.rangeIds.erase(id, s.ranges);
  // An entry switched off while consuming must not be switched on again once it is gone.
  if (s.consuming) std::erase_if(s.consumed, [id](const Storage::Consumed& item) { return item.id == id; });
  s.forEachIndexOf(s.ranges[id], false, id);
  s.ranges[id].count = 0;
  s.freeRanges.push_back(id);
  return true;
}

void CAReferenceTable::referrersOf(const GridPoint& point, std::vector<GridPoint>& referrers) {
  referrersOf(point, referrers, referrers);
}

void CAReferenceTable::referrersOf(const GridPoint& point, std::vector<GridPoint>& byName,
                                   std::vector<GridPoint>& throughBlocks) {
  Storage& s = *storage_;
  const size_t before = byName.size() + (&byName == &throughBlocks ? 0 : throughBlocks.size());
  // Walks over referrers mostly go down a column: the cells below are usually asked for next,
  // and the next group's slot is a cache miss of its own.
  s.points.prefetch(GridPoint{point.x, int64_t(uint64_t(point.y) + PointMap::kGroupRows)});
  s.points.referrersOf(point, byName);

  std::vector<uint32_t>& ids = s.stabbed;
  const auto report = [&](IntervalIndex& index, bool checkColumns) {
    ids.clear();
    const auto holdsColumn = [&](uint32_t id) {
      const GridRange& block = s.ranges[id].block;
      return !checkColumns || (point.x >= block.startPoint.x && point.x <= block.endPoint.x);
    };
    if (s.consuming) {
      // Each entry found is switched off as the walk meets it.
      std::vector<uint32_t>& nodes = s.stabbedNodes;
      nodes.clear();
      size_t recorded = 0;  // the entries switched off and noted as consumed
      try {
        index.stabAndSwitchOff(point.y, holdsColumn, ids, nodes);
        ReserveForMore(s.consumed, nodes.size());
        for (size_t k = 0; k < nodes.size(); ++k) {
          s.consumed.push_back(Storage::Consumed{&index, ids[k], nodes[k]});
          recorded = k + 1;
          throughBlocks.push_back(s.ranges[ids[k]].from);
        }
      } catch (...) {
        // Memory ran out part-way: an entry switched off and not noted as consumed would never be
        // switched on again, and its referrer would no longer see the block change. Switching on
        // takes no memory.
        if (nodes.size() > recorded) index.switchOn(nodes.data() + recorded, nodes.size() - recorded);
        throw;
      }
      return;
    }
    index.stab(point.y, ids);
    for (const uint32_t id : ids)
      if (holdsColumn(id)) throughBlocks.push_back(s.ranges[id].from);
  };
  if (const auto it = s.columns.find(point.x); it != s.columns.end()) report(*it->second, false);
  if (!s.wide.isEmpty()) report(s.wide, true);
  g_referrersFound += byName.size() + (&byName == &throughBlocks ? 0 : throughBlocks.size()) - before;
}

uint64_t CAReferenceTable::referrersFound() { return g_referrersFound; }

uint64_t CAReferenceTable::indexProbes() { return g_indexProbes; }

void CAReferenceTable::beginConsuming() {
  endConsuming();
  storage_->consuming = true;
}

void CAReferenceTable::endConsuming() {
  Storage& s = *storage_;
  // The entries go back on index by index, in the runs they were switched off in.
  std::vector<uint32_t>& nodes = s.switchedOn;
  for (size_t k = 0; k < s.consumed.size();) {
    IntervalIndex* index = s.consumed[k].index;
    nodes.clear();
    for (; k < s.consumed.size() && s.consumed[k].index == index; ++k) nodes.push_back(s.consumed[k].node);
    index->switchOn(nodes.data(), nodes.size());
  }
  s.consumed.clear();
  s.consuming = false;
}

bool CAReferenceTable::isEmpty() const { return storage_->points.isEmpty() && storage_->rangeIds.empty(); }

size_t CAReferenceTable::referenceCount() const { return storage_->pointPairs + storage_->rangeIds.size(); }

namespace {

// One direction of TakeRunsOfNamedCells: down a column (along y) or along a row (along x).
void TakeRuns(std::vector<GridPoint>& points, std::vector<GridRange>& blocks, bool down) {
  const auto line = [down](const GridPoint& p) { return down ? p.x : p.y; };
  const auto step = [down](const GridPoint& p) { return down ? p.y : p.x; };
  const auto onGrid = [](const GridPoint& p) { return IsGridCoordinate(p.x) && IsGridCoordinate(p.y); };
  // A long sum usually names its cells in order already.
  const auto before = [&](const GridPoint& a, const GridPoint& b) {
    return line(a) != line(b) ? line(a) < line(b) : step(a) < step(b);
  };
  if (!std::is_sorted(points.begin(), points.end(), before)) std::sort(points.begin(), points.end(), before);
  size_t kept = 0;
  for (size_t i = 0; i < points.size();) {
    // The run from i: the same line, each cell the one after the last or the last again.
    size_t j = i + 1;
    int64_t cells = 1;
    if (onGrid(points[i])) {
      for (; j < points.size() && line(points[j]) == line(points[i]) && onGrid(points[j]); ++j) {
        const int64_t gap = step(points[j]) - step(points[j - 1]);
        if (gap > 1) break;
        cells += gap;
      }
    }
    if (cells >= kRegisteredRunLength) {
      blocks.push_back(GridRange{points[i], points[j - 1]});
    } else {
      for (size_t k = i; k < j; ++k) points[kept++] = points[k];
    }
    i = j;
  }
  points.resize(kept);
}

}  // namespace

void TakeRunsOfNamedCells(std::vector<GridPoint>& points, std::vector<GridRange>& blocks) {
  if (points.size() < size_t(kRegisteredRunLength)) return;
  TakeRuns(points, blocks, true);
  if (points.size() >= size_t(kRegisteredRunLength)) TakeRuns(points, blocks, false);
}
