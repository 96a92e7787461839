// Where each row (or column) of a sheet starts, counted from row (column) 0. Only occupied rows
// and columns exist in the model; all the others have one common size. Keeping the start of
// each occupied one turns offset <-> index into a binary search plus a division, so a sheet of
// any length is measured without walking from row 0.
#pragma once

#include <cstdint>
#include <vector>

class CAAxisOffsets {
 public:
  // indexes: the occupied indexes, strictly ascending; sizes: their sizes in points.
  // defaultSize: the size of every other index (at least a small positive size is used).
  void rebuild(std::vector<int64_t> indexes, const std::vector<double>& sizes, double defaultSize);

  double defaultSize() const { return defaultSize_; }
  double sizeOf(int64_t index) const;
  // The distance from the start of index 0 to the start of the index; negative indexes are 0.
  double offsetOf(int64_t index) const;
  // The index whose span holds the offset; an offset before 0 gives 0.
  int64_t indexAt(double offset) const;
  // offsetOf(to) - offsetOf(from), exact however far down the sheet: the starts of rows
  // billions of rows down are too large for a double to keep their points.
  double distance(int64_t from, int64_t to) const;
  // The index whose span holds the point `distance` after the start of `from`; a distance of
  // 0 or less gives `from`.
  int64_t indexAtDistance(int64_t from, double distance) const;
  // The first occupied index after the index, or INT64_MAX: every index between has the
  // default size, so a walk may step over them at once.
  int64_t nextOccupiedAfter(int64_t index) const;

 private:
  // The position of the last occupied index at or before the index, or -1.
  int64_t lastOccupiedAtOrBefore(int64_t index) const;

  std::vector<int64_t> indexes_;
  std::vector<double> starts_;
  std::vector<double> sizes_;
  // Per occupied index, the sum of (size - default size) up to and including it.
  std::vector<double> extras_;
  double defaultSize_ = 1.0;
};
