// A sheet of plain numbers of every kind, ten to a row, for the benchmarks that time what is done
// to many numbers (saving them, clearing them, undoing that).
#pragma once

#include "calculator/model/CADocument.h"
#include "calculator/model/CANumber.h"

#include <cstdint>

inline constexpr int64_t kNumbersPerRow = 10;

// The i-th number of the sheet, a whole number, a fraction and a real in turn, at its place.
// `compact`: each kept as the sheet keeps a number read from a file.
inline void FillNumbers(CADocument& document, int64_t count, bool compact) {
  for (int64_t i = 0; i < count; ++i) {
    const GridPoint point{i % kNumbersPerRow, i / kNumbersPerRow};
    CACell* cell = document.cellAtGridPointImperative(point);
    if (i % 3 == 0)
      cell->setNumberValue(CANumber(i));
    else if (i % 3 == 1)
      cell->setNumberValue(CANumber::withNumerator(i, 7));
    else
      cell->setNumberValue(CANumber::withReal((long double)(i) * 0.001L + 0.5L));
    if (compact) document.compactCellAt(point);
  }
}
