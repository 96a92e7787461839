// How far a command that visits every point or line of the selection may go: a larger
// selection is refused (with a beep) rather than filled with millions of cells, rows or columns.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <cstdint>

inline constexpr unsigned __int128 kMaxCommandPoints = uint64_t(1) << 22;

// Whether a command may visit every point of the range; an empty range has none to visit.
inline bool WithinCommandLimit(const GridRange& range) {
  if (range.endPoint.x < range.startPoint.x || range.endPoint.y < range.startPoint.y) return true;
  const unsigned __int128 width = uint64_t(range.endPoint.x - range.startPoint.x) + 1;
  const unsigned __int128 height = uint64_t(range.endPoint.y - range.startPoint.y) + 1;
  return width * height <= kMaxCommandPoints;
}

// Whether a command may visit every line from first to last.
inline bool WithinCommandLimit(int64_t first, int64_t last) {
  return last < first || uint64_t(last - first) < uint64_t(kMaxCommandPoints);
}
