// A set of non-negative indexes kept as sorted runs, standing in for the system's index sets:
// selected tabs and rows, and the runs that preference archives store.
#pragma once

#include <cstdint>
#include <vector>

class IndexSet {
 public:
  // A run of indexes, first and last included.
  struct Range {
    uint64_t first = 0;
    uint64_t last = 0;
    bool operator==(const Range&) const = default;
  };

  IndexSet() = default;

  void addIndex(uint64_t index) { addIndexesInRange(index, index); }
  // Adds first..last (inclusive); nothing when first > last.
  void addIndexesInRange(uint64_t first, uint64_t last);
  void removeIndex(uint64_t index);
  void removeAllIndexes() { ranges_.clear(); }

  bool containsIndex(uint64_t index) const;
  uint64_t count() const;
  bool isEmpty() const { return ranges_.empty(); }
  // The runs in ascending order, never touching or overlapping.
  const std::vector<Range>& ranges() const { return ranges_; }

  bool operator==(const IndexSet&) const = default;

 private:
  std::vector<Range> ranges_;
};
