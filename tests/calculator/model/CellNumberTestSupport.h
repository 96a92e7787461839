// A cell's number for a check on it, never read out of an empty value: a test that finds no
// cell or no number fails where it looked.
#pragma once

#include "calculator/model/CACell.h"
#include "calculator/model/CANumber.h"

#include <gtest/gtest.h>

#include <source_location>

// The number the cell holds; where there is no cell or no number the test fails at the caller's
// line and gets NaN.
inline CANumber NumberIn(const CACell* cell, std::source_location where = std::source_location::current()) {
  if (cell && cell->number()) return *cell->number();
  ADD_FAILURE_AT(where.file_name(), int(where.line())) << (cell ? "the cell holds no number" : "no cell there");
  return CANumber::asNan();
}
