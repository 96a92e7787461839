// Index sets as sorted, merged runs, so a run of a billion indexes costs one entry.
#include "platform/IndexSet.h"

#include <algorithm>
#include <limits>

void IndexSet::addIndexesInRange(uint64_t first, uint64_t last) {
  if (first > last) return;
  // The runs that touch or overlap [first, last] merge with it.
  auto begin = std::lower_bound(ranges_.begin(), ranges_.end(), first, [](const Range& range, uint64_t value) {
    return range.last != std::numeric_limits<uint64_t>::max() && range.last + 1 < value;
  });
  auto end = begin;
  while (end != ranges_.end() && (last == std::numeric_limits<uint64_t>::max() || end->first <= last + 1)) {
    first = std::min(first, end->first);
    last = std::max(last, end->last);
    ++end;
  }
  begin = ranges_.erase(begin, end);
  ranges_.insert(begin, Range{first, last});
}

void IndexSet::removeIndex(uint64_t index) {
  auto found = std::lower_bound(ranges_.begin(), ranges_.end(), index,
                                [](const Range& range, uint64_t value) { return range.last < value; });
  if (found == ranges_.end() || found->first > index) return;
  const Range range = *found;
  found = ranges_.erase(found);
  if (index < range.last) found = ranges_.insert(found, Range{index + 1, range.last});
  if (range.first < index) ranges_.insert(found, Range{range.first, index - 1});
}

bool IndexSet::containsIndex(uint64_t index) const {
  auto found = std::lower_bound(ranges_.begin(), ranges_.end(), index,
                                [](const Range& range, uint64_t value) { return range.last < value; });
  return found != ranges_.end() && found->first <= index;
}

uint64_t IndexSet::count() const {
  uint64_t total = 0;
  for (const Range& range : ranges_) total += range.last - range.first + 1;
  return total;
}
