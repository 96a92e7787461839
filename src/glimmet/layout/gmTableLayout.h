// Table rows in the line layout: a row's height from its tallest cell, its rectangles, the cp
// under a point in a row, the start and end of the line holding a cp inside a cell, and moving
// the insertion point up and down through cells and rows.
#pragma once

#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTables.h"

#include <cstdint>
#include <functional>
#include <vector>

struct LineFormat;
struct LocatorRec;
struct Pane;

// Engine key numbers used here.
inline constexpr uint32_t kKeyDown = 0, kKeyUp = 3;
// A y that aims at the bottom of a row.
inline constexpr double kRowBottom = 1 << 30;

// The height of a row line in points: its tallest cell, the table's row height (negative:
// exact, positive: a minimum), the cell margins above and below, the space before the first row
// and after the last, and the border's top and bottom. cells, when given, receives the row's
// cell rectangles across the available width.
double RowHeight(GlimmetDoc* doc, Pane* pane, const KnotInfo& table, const KnotInfo& row, const PropRecord& props,
                 int64_t availableWidth, std::vector<GMRect>* cells = nullptr);

// The rectangles of a formatted row line at the origin: the row (the table's), its cells and
// their content widths (EMU).
struct GMRowRects {
  KnotInfo table;
  KnotInfo row;
  PropRecord props;
  uint32_t rowNumber = 0;  // 0 first, 1 second, 2 later
  GMRect rowRect;
  std::vector<GMRect> cells;
  std::vector<int64_t> widths;
};
bool GetRowRectangles(const LineFormat& rowLine, GMRowRects* out);

// Sets the locator's cp to the cp nearest (x, y) in the row line, and its column boundary and
// first-row cell; the cp is -1 and the result false when the row cannot be formatted.
bool LocateCpInTableRow(LocatorRec* locator, const LineFormat& rowLine, double x, double y);
// The start (mode 0) or end (mode 1; mode 2 before a closing mark) of the cell line holding cp;
// kGMNone when it cannot be formatted. lineStart receives the line's first cp (-1 on failure).
uint32_t LineEdgeInTable(GlimmetDoc* doc, Pane* pane, uint32_t cp, const KnotInfo& row, int32_t* lineStart,
                         uint32_t mode);
// The cp a line up (direction kKeyUp) or down from the locator's cp at x; kGMNone when there is
// none, the key having been handed to the draft's own key handling when the move leaves the table.
uint32_t MoveUpOrDownInTable(LocatorRec* locator, const KnotInfo& row, uint32_t direction, uint32_t modifiers,
                             double x);

// The draft's key handling, which takes over a move that leaves a table (noTable set); installed
// by the view.
using GMDraftKeyHandler =
    std::function<void(LocatorRec* locator, uint32_t key, uint32_t modifiers, bool noTable)>;
void SetDraftKeyHandler(GMDraftKeyHandler handler);
