#include "calculator/views/CAAxisOffsets.h"

#include <algorithm>
#include <cmath>

namespace {
// A zero default would make every gap infinitely dense; a hundredth of a point keeps the
// division finite for sheets whose defaults were set to nothing.
constexpr double kSmallestSize = 0.01;

// Whole sizes in a span, kept within the grid coordinates.
int64_t WholeSteps(double span, double size) {
  const double steps = std::floor(span / size);
  return steps < 4.0e18 ? int64_t(steps) : int64_t(4.0e18);
}
}  // namespace

void CAAxisOffsets::rebuild(std::vector<int64_t> indexes, const std::vector<double>& sizes,
                            double defaultSize) {
  defaultSize_ = std::max(defaultSize, kSmallestSize);
  indexes_ = std::move(indexes);
  sizes_.assign(sizes.begin(), sizes.begin() + std::min(sizes.size(), indexes_.size()));
  indexes_.resize(sizes_.size());
  starts_.resize(indexes_.size());
  extras_.resize(indexes_.size());
  double extra = 0;
  for (size_t i = 0; i < indexes_.size(); ++i) {
    extra += sizes_[i] - defaultSize_;
    extras_[i] = extra;
  }
  double start = 0;
  int64_t next = 0;  // the first index after the previous occupied one
  for (size_t i = 0; i < indexes_.size(); ++i) {
    start += double(indexes_[i] - next) * defaultSize_;
    starts_[i] = start;
    start += sizes_[i];
    next = indexes_[i] + 1;
  }
}

int64_t CAAxisOffsets::lastOccupiedAtOrBefore(int64_t index) const {
  const auto it = std::upper_bound(indexes_.begin(), indexes_.end(), index);
  return int64_t(it - indexes_.begin()) - 1;
}

double CAAxisOffsets::sizeOf(int64_t index) const {
  const int64_t i = lastOccupiedAtOrBefore(index);
  return i >= 0 && indexes_[size_t(i)] == index ? sizes_[size_t(i)] : defaultSize_;
}

double CAAxisOffsets::offsetOf(int64_t index) const {
  if (index <= 0) return 0;
  const int64_t i = lastOccupiedAtOrBefore(index - 1);
  if (i < 0) return double(index) * defaultSize_;
  const size_t k = size_t(i);
  return starts_[k] + sizes_[k] + double(index - indexes_[k] - 1) * defaultSize_;
}

int64_t CAAxisOffsets::indexAt(double offset) const {
  if (!(offset > 0)) return 0;
  const auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
  const int64_t i = int64_t(it - starts_.begin()) - 1;
  if (i < 0) {
    const int64_t index = WholeSteps(offset, defaultSize_);
    return indexes_.empty() ? index : std::min(index, indexes_.front() - 1);
  }
  const size_t k = size_t(i);
  const double end = starts_[k] + sizes_[k];
  if (offset < end) return indexes_[k];
  int64_t index = indexes_[k] + 1 + WholeSteps(offset - end, defaultSize_);
  // Rounding must not carry the gap's last index into the next occupied one.
  if (k + 1 < indexes_.size()) index = std::min(index, indexes_[k + 1] - 1);
  return index;
}

double CAAxisOffsets::distance(int64_t from, int64_t to) const {
  from = std::max<int64_t>(from, 0);
  to = std::max<int64_t>(to, 0);
  // The common size for every index between, corrected by the occupied ones.
  const auto extraBefore = [this](int64_t index) {
    const int64_t i = lastOccupiedAtOrBefore(index - 1);
    return i < 0 ? 0.0 : extras_[size_t(i)];
  };
  const double steps = to >= from ? double(uint64_t(to) - uint64_t(from)) : -double(uint64_t(from) - uint64_t(to));
  return steps * defaultSize_ + (extraBefore(to) - extraBefore(from));
}

int64_t CAAxisOffsets::nextOccupiedAfter(int64_t index) const {
  const auto it = std::upper_bound(indexes_.begin(), indexes_.end(), index);
  return it == indexes_.end() ? INT64_MAX : *it;
}

int64_t CAAxisOffsets::indexAtDistance(int64_t from, double distance) const {
  from = std::max<int64_t>(from, 0);
  if (!(distance > 0)) return from;
  // Gaps of the common size and occupied indexes in turn, from `from` on: as many steps as
  // occupied indexes lie within the distance.
  size_t k = size_t(lastOccupiedAtOrBefore(from - 1) + 1);
  for (;;) {
    const int64_t gapEnd = k < indexes_.size() ? indexes_[k] : INT64_MAX;
    const int64_t gapCount = gapEnd - from;
    const double gapSize = double(gapCount) * defaultSize_;
    if (distance < gapSize || k >= indexes_.size())
      return from + std::min(WholeSteps(distance, defaultSize_), gapCount - 1);
    distance -= gapSize;
    from = gapEnd;
    if (distance < sizes_[k]) return from;
    distance -= sizes_[k];
    ++from;
    ++k;
  }
}
