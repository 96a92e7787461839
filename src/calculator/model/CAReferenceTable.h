// The document's reference table: for every cell or block that formulas name, which cells'
// formulas name it. Recalculation asks it for the direct referrers of a cell; formulas register
// and drop their references as they are entered, adjusted, moved and cleared.
//
// A single cell named by a formula is kept under that cell; a block is kept once, as a block,
// in an interval index (per column for narrow blocks, one shared index by rows for wide ones),
// so that naming a thousand-cell range costs the same as naming one cell.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <cstdint>
#include <memory>
#include <vector>

// Tables keyed by grid points take the process's seeded hash: a file chooses the cells its
// formulas name.
using GridPointHash = FLSeededHash;

// While one lives on a thread, the reference tables it fills ask the thread's reading meter before
// a block of theirs doubles, and throw std::bad_alloc where the meter refuses, as a failed
// allocation would, before the block is made: a metered reading (the clipboard's cell archive)
// whose formulas name many cells then stops within its budget rather than a doubled block past it.
// Whoever reads so catches the failure (the paste's guard does).
class CAMeteredTableGrowth {
 public:
  CAMeteredTableGrowth();
  ~CAMeteredTableGrowth();
  CAMeteredTableGrowth(const CAMeteredTableGrowth&) = delete;
  CAMeteredTableGrowth& operator=(const CAMeteredTableGrowth&) = delete;

 private:
  bool previous_;
};

class CAReferenceTable {
 public:
  CAReferenceTable();
  ~CAReferenceTable();
  CAReferenceTable(const CAReferenceTable&) = delete;
  CAReferenceTable& operator=(const CAReferenceTable&) = delete;

  // All points plain. References are counted: a formula that names a cell twice registers it
  // twice and its removal removes it twice. Each returns YES when `from` starts (add) or stops
  // (remove) referring to the cell or block; removing what was never added does nothing.
  bool addReference(const GridPoint& from, const GridPoint& to);
  bool removeReference(const GridPoint& from, const GridPoint& to);
  // The block's corners in order (start not right of or below the end); whole rows or columns
  // end at kGridOpenEnd.
  bool addRangeReference(const GridPoint& from, const GridRange& block);
  bool removeRangeReference(const GridPoint& from, const GridRange& block);

  // Appends every cell that refers to the point, by name or through a block; a cell that does
  // both, or through several blocks, may come more than once.
  void referrersOf(const GridPoint& point, std::vector<GridPoint>& referrers);
  // The same, apart: cells that name the point, and cells that refer to it through a block.
  void referrersOf(const GridPoint& point, std::vector<GridPoint>& byName,
                   std::vector<GridPoint>& throughBlocks);

  // While consuming, each registered block is reported by referrersOf at most once (a walk that
  // has found a referrer never needs it again); ends with endConsuming, which costs in
  // proportion to what was reported.
  void beginConsuming();
  void endConsuming();

  // The referrers all lookups have appended so far (the model runs on the main thread).
  static uint64_t referrersFound();
  // The slots of the cells' index looked at so far, by every look-up and insertion.
  static uint64_t indexProbes();

  bool isEmpty() const;
  // Registered (from, cell) and (from, block) pairs, each counted once.
  size_t referenceCount() const;

 private:
  struct Storage;
  std::unique_ptr<Storage> storage_;
};

// Blocks at most this many columns wide are indexed under each of their columns.
inline constexpr int64_t kNarrowBlockWidth = 8;

// A formula that names this many neighbouring cells one by one, down a column or along a row,
// has them registered as the one block they make: a change to any of them finds the formula
// just as it would by name, and "=B1+B2+...+B100000" then holds one record in the table instead
// of 100,000 (which took some 80 bytes each once many formulas named the same cells).
inline constexpr int64_t kRegisteredRunLength = 16;

// Takes out of `points` (plain, each as often as it is named) the cells that make runs of
// kRegisteredRunLength neighbouring cells or more, down a column first, then along a row among
// those left, and appends the blocks of the runs (corners in order). What is left and what is
// made depends only on the cells, never on their order, so a formula's references are dropped
// exactly as they were registered.
void TakeRunsOfNamedCells(std::vector<GridPoint>& points, std::vector<GridRange>& blocks);
