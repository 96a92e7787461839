// Locating: which cp lies under a point of a formatted line. The locator record carries what a
// search found: the cp, whether the caret belongs at the end of a wrapped line, and for table
// rows the column boundary or first-row cell the point is on.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <cstdint>

struct LineFormat;
struct Pane;

// Where a point fell.
inline constexpr int32_t kAreaOutside = 0, kAreaText = 1, kAreaLeft = 3, kAreaRight = 4, kAreaAbove = 5,
                         kAreaBelow = 6, kAreaSearching = 10;

struct LocatorRec {
  GlimmetDoc* doc = nullptr;
  Pane* pane = nullptr;
  int32_t cp = -1;
  uint32_t lineIndex = kGMNone;
  int32_t boundaryIndex = -1;  // the table column boundary under the point
  int32_t cellColumn = -1;     // the cell of a table's first row under the point
  int32_t area = kAreaOutside;
  bool afterLineEnd = false;  // the caret belongs at the end of a wrapped line
  bool exact = false;         // the character under the point rather than the nearest boundary
  bool outsideRun = false;
  bool generatedText = false;
};

// The cp at x (from the left text edge) in a formatted text line; sets the locator's cp and
// after-line-end flag and returns the flag.
bool LocateCpInLine(LocatorRec* locator, const LineFormat& line, float x);
