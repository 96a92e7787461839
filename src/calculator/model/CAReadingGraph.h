// Which cells of a set read which, for putting them in the order in which they can be
// evaluated: the cells a formula names, one by one, and the cells of a block it reads, kept as
// the block. A block is answered by a few groups of neighbouring cells of its columns, groups
// shared by every block over them: a thousand running totals down a column of formulas each
// read the cells above them through a handful of groups, not each cell again, so what the
// graph holds grows with the formulas and their blocks rather than with the cells they cover.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

class CAReadingGraph {
 public:
  enum class Mode {
    // The repeated passes of a recalculation over cells 0..n-1 listed by position (rows top to
    // bottom, each row left to right), each pass from the last cell to the first: a cell is
    // evaluated in the first pass that finds every cell it reads done. An input listed after
    // its reader is done earlier in the same pass, one listed before it only in the pass
    // before. A cell that reads itself is never ready.
    Passes,
    // Levels in any listing: a cell that reads no other cell of the set is on level 0, any
    // other one level above the highest it reads. What a cell reads of itself is passed over.
    Levels,
  };

  // What resolve() gives a cell caught in a cycle, or reading one directly or not.
  static constexpr uint32_t kNever = std::numeric_limits<uint32_t>::max();

  CAReadingGraph(Mode mode, uint32_t count);
  ~CAReadingGraph();
  CAReadingGraph(const CAReadingGraph&) = delete;
  CAReadingGraph& operator=(const CAReadingGraph&) = delete;
  CAReadingGraph(CAReadingGraph&&) noexcept;
  CAReadingGraph& operator=(CAReadingGraph&&) noexcept;

  // Where a cell is, so that blocks find it. Every cell is placed (at a point of its own)
  // before the first block is added; a cell never placed is found only by name.
  void place(uint32_t cell, const GridPoint& point);
  // The reader reads the input by name.
  void addInput(uint32_t reader, uint32_t input);
  // The same for every (reader, input) of the list, whose room the graph takes over.
  void addInputs(std::vector<std::pair<uint32_t, uint32_t>>&& inputs);
  // The reader, which is at `at`, reads every placed cell inside the block (plain, corners in
  // order; whole rows or columns end at kGridOpenEnd).
  void addBlock(uint32_t reader, const GridPoint& at, const GridRange& block);

  // Each cell's pass (from 1) or level (from 0), or kNever. Linear in the cells, the groups and
  // the inputs, whatever the depth: nothing recurses.
  std::vector<uint32_t> resolve();

  // Instead of resolve(): every cell after the cells it reads, except that the cells of a cycle
  // (those that read one another, in Levels mode a cell reading only itself not counted) come
  // together, after what the cycle reads and before what reads it; `inCycle` tells which cells
  // are in one. Linear in the cells, the groups and the inputs.
  std::vector<uint32_t> inputsFirst(std::vector<bool>* inCycle);

  // After resolve() or inputsFirst(): notes a cell as changed, and whether any cell that a cell reads (itself
  // left out in Levels) has been.
  void mark(uint32_t cell);
  bool readsMarked(uint32_t cell) const;

  // The most inputs (cells and groups of cells) that one graph held when it was resolved, since
  // the last reset: what ordering cells costs grows with it.
  static size_t mostInputs();
  static void resetMostInputs();

 private:
  struct Storage;
  std::unique_ptr<Storage> storage_;
};
