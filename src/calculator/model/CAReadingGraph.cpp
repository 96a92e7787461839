#include "calculator/model/CAReadingGraph.h"

#include <algorithm>

namespace {

// An input's number carries in its top bit whether it costs its reader one more pass or level.
constexpr uint32_t kStep = uint32_t(1) << 31;
constexpr uint32_t kNodeMask = kStep - 1;

size_t g_mostInputs = 0;

}  // namespace

// The nodes are the cells 0..count-1, then two kinds of groups over the placed cells of each
// column sorted by row (V cells in all, column c's in slots columnStart[c] onwards):
// - tree groups, count + columnStart[c] + k for k from 1: the column's cells are the leaves of
//   a tree kept in an array as a heap is, group k holding groups (or, from m on, leaves) 2k and
//   2k + 1, so that any run of the column's cells is the union of at most two groups or leaves a
//   level;
// - head groups, count + V + columnStart[c] + e - 1 for e from 2: the column's first e cells,
//   which are the first e - 1 and the e-th. A block that starts at the first cell of a column,
//   as every running total over a column does, reads one of them, so that the totals down a
//   column cost one input each.
struct CAReadingGraph::Storage {
  struct Placed {
    int64_t x;
    int64_t y;
    uint32_t cell;
  };

  Storage(Mode m, uint32_t n) : mode(m), count(n) {}

  void index();
  // The noted inputs by reader (offsets and targets), once.
  void gather();
  size_t nodeCount() const { return size_t(count) + 2 * rows.size(); }
  // The column whose slots hold `slot`.
  size_t columnOf(uint32_t slot) const {
    return size_t(std::upper_bound(columnStart.begin(), columnStart.end(), slot) - columnStart.begin()) - 1;
  }
  // The node for position `node` of column c's tree.
  uint32_t nodeAt(size_t c, uint32_t node) const {
    const uint32_t m = columnStart[c + 1] - columnStart[c];
    return node >= m ? cells[columnStart[c] + node - m] : count + columnStart[c] + node;
  }
  uint32_t slotCount() const { return uint32_t(rows.size()); }
  uint32_t leaf(size_t c, uint32_t n) const { return cells[columnStart[c] + n]; }
  // The group of column c's first e cells (e from 2).
  uint32_t head(size_t c, uint32_t e) const { return count + slotCount() + columnStart[c] + e - 1; }
  // Adds inputs for the cells of column c in slots [l, r) of the column (from 0).
  void addRun(uint32_t reader, size_t c, uint32_t l, uint32_t r, uint32_t step) {
    if (l >= r) return;
    if (l == 0 && r >= 2) {
      pairs.emplace_back(reader, head(c, r) | step);
      return;
    }
    const uint32_t m = columnStart[c + 1] - columnStart[c];
    for (l += m, r += m; l < r; l >>= 1, r >>= 1) {
      if (l & 1) pairs.emplace_back(reader, nodeAt(c, l++) | step);
      if (r & 1) pairs.emplace_back(reader, nodeAt(c, --r) | step);
    }
  }
  // The n-th input of a node: a cell's listed inputs, a group's two parts.
  uint32_t inputOf(uint32_t node, uint32_t n) const {
    if (node < count) return targets[offsets[node] + n];
    if (node < count + slotCount()) {
      const uint32_t slot = node - count;
      const size_t c = columnOf(slot);
      return nodeAt(c, 2 * (slot - columnStart[c]) + n);
    }
    const uint32_t slot = node - count - slotCount();
    const size_t c = columnOf(slot);
    const uint32_t e = slot - columnStart[c] + 1;
    if (n == 1) return leaf(c, e - 1);
    return e == 2 ? leaf(c, 0) : head(c, e - 1);
  }
  uint32_t inputsOf(uint32_t node) const { return node < count ? offsets[node + 1] - offsets[node] : 2; }

  const Mode mode;
  const uint32_t count;
  std::vector<Placed> placed;
  bool indexed = false;
  // The placed cells by column (ascending), each column's by row: columnStart[c] is the first
  // slot of column c, rows and cells give each slot's row and cell.
  std::vector<int64_t> columns;
  std::vector<uint32_t> columnStart;
  std::vector<int64_t> rows;
  std::vector<uint32_t> cells;
  // (reader, input) as noted, then by reader: the inputs of cell i are
  // targets[offsets[i] .. offsets[i + 1]).
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  std::vector<uint32_t> offsets;
  std::vector<uint32_t> targets;
  // The marks: each cell's, for each tree group how many of its cells are marked, and for each
  // column its first marked cell (head groups reach it from there on).
  std::vector<uint8_t> marked;
  std::vector<uint32_t> markedBelow;
  std::vector<uint32_t> firstMarked;
  std::vector<uint32_t> slotOf;
};

void CAReadingGraph::Storage::index() {
  indexed = true;
  std::sort(placed.begin(), placed.end(),
            [](const Placed& a, const Placed& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
  rows.resize(placed.size());
  cells.resize(placed.size());
  for (size_t i = 0; i < placed.size(); ++i) {
    if (i == 0 || placed[i].x != placed[i - 1].x) {
      columns.push_back(placed[i].x);
      columnStart.push_back(uint32_t(i));
    }
    rows[i] = placed[i].y;
    cells[i] = placed[i].cell;
  }
  columnStart.push_back(uint32_t(placed.size()));
  std::vector<Placed>().swap(placed);
}

CAReadingGraph::CAReadingGraph(Mode mode, uint32_t count) : storage_(std::make_unique<Storage>(mode, count)) {}

CAReadingGraph::~CAReadingGraph() = default;
CAReadingGraph::CAReadingGraph(CAReadingGraph&&) noexcept = default;
CAReadingGraph& CAReadingGraph::operator=(CAReadingGraph&&) noexcept = default;

void CAReadingGraph::place(uint32_t cell, const GridPoint& point) {
  if (storage_->indexed || cell >= storage_->count) return;
  storage_->placed.push_back(Storage::Placed{point.x, point.y, cell});
}

void CAReadingGraph::addInput(uint32_t reader, uint32_t input) {
  Storage& s = *storage_;
  if (reader >= s.count || input >= s.count) return;
  if (s.mode == Mode::Levels) {
    if (input != reader) s.pairs.emplace_back(reader, input | kStep);
  } else {
    s.pairs.emplace_back(reader, input < reader ? input | kStep : input);
  }
}

void CAReadingGraph::addInputs(std::vector<std::pair<uint32_t, uint32_t>>&& inputs) {
  Storage& s = *storage_;
  // The inputs are noted in place, those the graph passes over dropped.
  size_t kept = 0;
  for (const auto& [reader, input] : inputs) {
    if (reader >= s.count || input >= s.count) continue;
    if (s.mode == Mode::Levels) {
      if (input != reader) inputs[kept++] = {reader, input | kStep};
    } else {
      inputs[kept++] = {reader, input < reader ? input | kStep : input};
    }
  }
  inputs.resize(kept);
  if (s.pairs.empty())
    s.pairs.swap(inputs);
  else
    s.pairs.insert(s.pairs.end(), inputs.begin(), inputs.end());
  std::vector<std::pair<uint32_t, uint32_t>>().swap(inputs);
}

void CAReadingGraph::addBlock(uint32_t reader, const GridPoint& at, const GridRange& block) {
  Storage& s = *storage_;
  if (reader >= s.count) return;
  if (!s.indexed) s.index();
  for (auto column = std::lower_bound(s.columns.begin(), s.columns.end(), block.startPoint.x);
       column != s.columns.end() && *column <= block.endPoint.x; ++column) {
    const size_t c = size_t(column - s.columns.begin());
    const auto first = s.rows.begin() + s.columnStart[c];
    const auto last = s.rows.begin() + s.columnStart[c + 1];
    const auto from = std::lower_bound(first, last, block.startPoint.y);
    const auto to = std::upper_bound(from, last, block.endPoint.y);
    if (from == to) continue;
    const uint32_t l = uint32_t(from - first);
    const uint32_t r = uint32_t(to - first);
    // The reader's own place in the column: the cells before it and after it.
    const auto own = *column < at.x ? std::upper_bound(first, last, at.y) : std::lower_bound(first, last, at.y);
    const uint32_t split = std::clamp(uint32_t(own - first), l, r);
    if (s.mode == Mode::Passes) {
      s.addRun(reader, c, l, split, kStep);
      s.addRun(reader, c, split, r, 0);
    } else {
      // The reader itself, when the block covers it, is left out.
      const bool covered = *column == at.x && split < r && *(first + split) == at.y;
      s.addRun(reader, c, l, split, kStep);
      s.addRun(reader, c, covered ? split + 1 : split, r, kStep);
    }
  }
}

void CAReadingGraph::Storage::gather() {
  if (!offsets.empty()) return;
  g_mostInputs = std::max(g_mostInputs, pairs.size());
  // The inputs by reader, in the order they were noted.
  offsets.assign(size_t(count) + 1, 0);
  for (const auto& pair : pairs) ++offsets[pair.first + 1];
  for (size_t i = 1; i < offsets.size(); ++i) offsets[i] += offsets[i - 1];
  targets.resize(pairs.size());
  for (const auto& [reader, input] : pairs) targets[offsets[reader]++] = input;
  for (size_t i = offsets.size() - 1; i > 0; --i) offsets[i] = offsets[i - 1];
  offsets[0] = 0;
  std::vector<std::pair<uint32_t, uint32_t>>().swap(pairs);
}

std::vector<uint32_t> CAReadingGraph::resolve() {
  Storage& s = *storage_;
  const uint32_t count = s.count;
  s.gather();

  // A node's value is the most of its inputs' values, each plus its step, and at least its
  // own start (a cell's first pass or level; 0 for a group). A walk depth first finds them,
  // with a cycle found as an input still being walked; nothing that reads a cycle, through any
  // number of nodes, is ever ready.
  const size_t nodes = s.nodeCount();
  const uint32_t start = s.mode == Mode::Passes ? 1 : 0;
  std::vector<uint32_t> value(nodes, 0);
  std::vector<uint8_t> state(nodes, 0);  // 0 not met, 1 being walked, 2 done
  struct Frame {
    uint32_t node;
    uint32_t next;
  };
  std::vector<Frame> stack;
  const auto combine = [&value](uint32_t node, uint32_t input, uint32_t step) {
    if (value[node] == kNever) return;
    if (value[input] == kNever)
      value[node] = kNever;
    else
      value[node] = std::max(value[node], value[input] + step);
  };
  const auto enter = [&](uint32_t node) {
    state[node] = 1;
    value[node] = node < count ? start : 0;
    stack.push_back(Frame{node, 0});
  };
  for (uint32_t root = 0; root < count; ++root) {
    if (state[root] != 0) continue;
    enter(root);
    while (!stack.empty()) {
      Frame& frame = stack.back();
      const uint32_t node = frame.node;
      if (frame.next < s.inputsOf(node)) {
        const uint32_t edge = s.inputOf(node, frame.next++);
        const uint32_t input = edge & kNodeMask;
        if (state[input] == 1)
          value[node] = kNever;
        else if (state[input] == 0)
          enter(input);
        else
          combine(node, input, edge >> 31);
      } else {
        state[node] = 2;
        stack.pop_back();
        if (stack.empty()) continue;
        const Frame& reader = stack.back();
        combine(reader.node, node, s.inputOf(reader.node, reader.next - 1) >> 31);
      }
    }
  }
  value.resize(count);
  value.shrink_to_fit();
  return value;
}

std::vector<uint32_t> CAReadingGraph::inputsFirst(std::vector<bool>* inCycle) {
  Storage& s = *storage_;
  const uint32_t count = s.count;
  s.gather();
  // Strongly connected parts, found depth first without recursion: a part is complete only once
  // every part it reads is, so the cells come out after their inputs. Groups are walked as any
  // node but left out of the order; a part of more than one node holds a cycle (a group is never
  // an input of the cells it holds, so it is never in a part of its own cells alone).
  const size_t nodes = s.nodeCount();
  constexpr uint32_t kUnseen = kNever;
  std::vector<uint32_t> found(nodes, kUnseen);  // the order in which each node was met
  std::vector<uint32_t> low(nodes, 0);
  std::vector<uint8_t> open(nodes, 0);          // on the stack of the parts being built
  std::vector<uint32_t> parts;
  struct Frame {
    uint32_t node;
    uint32_t next;
  };
  std::vector<Frame> stack;
  std::vector<uint32_t> order;
  order.reserve(count);
  inCycle->assign(count, false);
  uint32_t met = 0;
  const auto enter = [&](uint32_t node) {
    found[node] = low[node] = met++;
    open[node] = 1;
    parts.push_back(node);
    stack.push_back(Frame{node, 0});
  };
  for (uint32_t root = 0; root < count; ++root) {
    if (found[root] != kUnseen) continue;
    enter(root);
    while (!stack.empty()) {
      Frame& frame = stack.back();
      const uint32_t node = frame.node;
      if (frame.next < s.inputsOf(node)) {
        const uint32_t input = s.inputOf(node, frame.next++) & kNodeMask;
        if (found[input] == kUnseen)
          enter(input);
        else if (open[input])
          low[node] = std::min(low[node], found[input]);
        continue;
      }
      stack.pop_back();
      if (!stack.empty()) low[stack.back().node] = std::min(low[stack.back().node], low[node]);
      if (low[node] != found[node]) continue;
      const auto first = std::find(parts.rbegin(), parts.rend(), node).base() - 1;
      const bool cycle = parts.end() - first > 1;
      for (auto at = first; at != parts.end(); ++at) {
        open[*at] = 0;
        if (*at < count) {
          order.push_back(*at);
          (*inCycle)[*at] = cycle;
        }
      }
      parts.erase(first, parts.end());
    }
  }
  return order;
}

void CAReadingGraph::mark(uint32_t cell) {
  Storage& s = *storage_;
  if (cell >= s.count) return;
  if (s.marked.empty()) {
    s.marked.assign(s.count, 0);
    if (!s.rows.empty()) {
      s.markedBelow.assign(s.rows.size(), 0);
      s.firstMarked.assign(s.columns.size(), kNever);
      s.slotOf.assign(s.count, kNever);
      for (uint32_t slot = 0; slot < s.cells.size(); ++slot) s.slotOf[s.cells[slot]] = slot;
    }
  }
  if (s.marked[cell]) return;
  s.marked[cell] = 1;
  if (s.slotOf.empty() || s.slotOf[cell] == kNever) return;
  const uint32_t slot = s.slotOf[cell];
  const size_t c = s.columnOf(slot);
  const uint32_t m = s.columnStart[c + 1] - s.columnStart[c];
  const uint32_t n = slot - s.columnStart[c];
  s.firstMarked[c] = std::min(s.firstMarked[c], n);
  for (uint32_t node = (m + n) >> 1; node >= 1; node >>= 1) ++s.markedBelow[s.columnStart[c] + node];
}

bool CAReadingGraph::readsMarked(uint32_t cell) const {
  const Storage& s = *storage_;
  if (cell >= s.count || s.marked.empty() || s.offsets.empty()) return false;
  for (uint32_t k = s.offsets[cell]; k < s.offsets[cell + 1]; ++k) {
    const uint32_t input = s.targets[k] & kNodeMask;
    if (input < s.count) {
      if (s.marked[input]) return true;
    } else if (input < s.count + s.slotCount()) {
      if (s.markedBelow[input - s.count] > 0) return true;
    } else {
      const uint32_t slot = input - s.count - s.slotCount();
      const size_t c = s.columnOf(slot);
      if (s.firstMarked[c] < slot - s.columnStart[c] + 1) return true;
    }
  }
  return false;
}

size_t CAReadingGraph::mostInputs() { return g_mostInputs; }

void CAReadingGraph::resetMostInputs() { g_mostInputs = 0; }
