// Tables: a table knot holding row knots; a row of n cells has n + 1 kinks and each cell, the
// stretch between two kinks, holds at least one paragraph. Here: making tables and rows, telling
// whether a table is tabbed, turning a table into text, finding the table, row and cell of a cp,
// and the rectangles of a row's cells.
#pragma once

#include "glimmet/storage/gmBorders.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmTypes.h"

#include <cstdint>
#include <vector>

struct KnotInfo;
struct PropRecord;

// Table body offsets.
namespace TableProp {
inline constexpr uint32_t titleRow = 2, keep = 3, outerMargins = 4, autoFit = 5, stripes = 6, alignment = 8,
                          columns = 12, left = 16, spaceBefore = 24, right = 32, spaceAfter = 40, cellLeft = 48,
                          cellTop = 56, cellRight = 64, cellBottom = 72, height = 80, stripeColor = 88,
                          widths = 96, borderKind = 904, color = 944;
}
inline constexpr uint32_t kMaxColumns = 101;
inline constexpr int64_t kFullShare = 1270000;  // 100 percent of a proportional table

// The host's configuration of the engine: the spreadsheet sets the table option at launch.
struct GMConfig {
  uint8_t tableOption = 0;
  // Set by the help window: text colours stay as stored in dark appearance, and the help
  // document leaves a gap above its first line (points).
  uint8_t darkText = 0;
  float topGap = 0;
};
extern GMConfig g_glimmetConfig;

struct GMRowRequest {
  bool useStyles = true;  // cells take the character and paragraph formatting of their styles
  std::vector<uint32_t> styles;        // per column (default: Normal)
  std::vector<PropRecord> chars, paras;  // per column, without useStyles
  std::vector<bool> checkboxes;
  // The row is made where its cells are plain paragraphs in view (as a reader makes them): their
  // formatting is set directly.
  bool plainCells = false;
};

// The rows are made as the request asks (default: empty cells in the Normal style).
bool NewTableCore(GlimmetDoc* doc, uint32_t cp, uint32_t rows, uint32_t columns, DocRange* out,
                  const GMRowRequest* request = nullptr);
// Inserts the kinks of a row of columns cells at cp (no cell text), each with its data when given.
bool InsertRowKinks(GlimmetDoc* doc, uint32_t cp, uint32_t columns, const KinkData* data);
bool InsertEmptyRow(GlimmetDoc* doc, uint32_t* cp, uint32_t columns, const GMRowRequest& request);
bool IsTabbedTable(const DocRange& table);
void TableToText(DocRange* table);

// The table and row around cp (cp kGMNone: the row passed in); properties when asked.
bool FetchTable(GlimmetDoc* doc, uint32_t cp, KnotInfo* table, KnotInfo* row, PropRecord* props);
// The column of cp (column -1) or the given column's cell range; kGMNone on failure.
uint32_t IndexAndRangeForCell(const KnotInfo* table, const KnotInfo* row, uint32_t cp, int32_t column,
                              DocRange* cell);
// 0 for the first row, 1 for the second, 2 later; border position out.
uint32_t ApproximateRowNumber(const KnotInfo& table, const KnotInfo& row, uint32_t refFirst, uint32_t refLimit,
                              const PropRecord& props, uint32_t* borderPosition);

struct GMRect {
  double x = 0, y = 0, width = 0, height = 0;
  bool operator==(const GMRect&) const = default;
};
// The row's cell rectangles and content widths (EMU) for a row rectangle; the row rectangle
// becomes the table's; a bordered table's cells leave room for the border's sides.
void GetCellRects(const PropRecord& props, uint32_t rowNumber, uint32_t borderPosition, const KnotInfo& table,
                  const KnotInfo& row, GMRect* rowRect, std::vector<GMRect>* cells, std::vector<int64_t>* widths);
// The border sides of a cell of a row (0 first, 1 second, 2 later) within its table.
BorderDisplay RowBorderDisplay(uint32_t kind, uint32_t rowNumber, bool firstRow, bool lastRow, uint32_t column,
                               uint32_t columns);
// The column a point's x falls in: the first column whose boundary with the next (the middle
// between the two cells) is not left of x, else the last.
uint32_t ColumnAtX(const std::vector<GMRect>& cells, double x);
// The column boundary within 2 device pixels of x (the right boundary of column c gives c, the
// left one c - 1), or -1; the last right boundary gives -1 in proportional tables.
int32_t ColumnBoundaryAtX(const std::vector<GMRect>& cells, double x, double zoom, bool proportional);
// The content width (EMU) of a column for an available width in EMU.
int64_t ColumnWidth(const PropRecord& props, const KnotInfo& table, const KnotInfo& row, int64_t available,
                    uint32_t column);
