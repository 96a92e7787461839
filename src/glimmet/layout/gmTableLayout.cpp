#include "glimmet/layout/gmTableLayout.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/layout/gmLocate.h"
#include "glimmet/storage/GlimmetDoc.h"

#include <algorithm>
#include <cmath>

namespace {

GMDraftKeyHandler g_draftKeyHandler;

double Points(int64_t emu) { return double(emu) / kEmuPerPoint; }

uint32_t ColumnCount(const KnotInfo& row) { return row.kinkCount > 1 ? row.kinkCount - 1 : 0; }

bool IsFirstRow(const KnotInfo& table, const KnotInfo& row) { return row.first == table.first + 1; }

// The cell margins of a column in points; the outer-margins flag drops those at the table's edges.
double LeftMargin(const PropRecord& props, uint32_t column) {
  return props.body[TableProp::outerMargins] && column == 0 ? 0 : Points(props.get<int64_t>(TableProp::cellLeft));
}
double TopMargin(const PropRecord& props, bool firstRow) {
  return props.body[TableProp::outerMargins] && firstRow ? 0 : Points(props.get<int64_t>(TableProp::cellTop));
}

// Formats the lines of a cell one after another at a content width; visit gets each line and
// its top (from the cell's content top) and returns false to stop. False when no line could be
// formatted.
template <typename Visit>
bool ForEachCellLine(GlimmetDoc* doc, Pane* pane, const DocRange& cell, int64_t width, Visit visit) {
  LineFormat line;
  if (!InitFormatLine(doc, pane, &line, kFormatCollectRuns | kFormatCellText)) return false;
  double top = 0;
  bool any = false;
  for (uint32_t cp = cell.first; cp < cell.limit;) {
    if (!FormatLine(cp, width, &line) || line.limitCp <= cp) break;
    any = true;
    if (!visit(line, top)) break;
    top += line.lineHeight;
    cp = line.limitCp;
  }
  ReleaseLineFormat(&line);
  return any;
}

// The line of a cell that holds cp, its index and the height of the lines above it.
struct CellLine {
  LineFormat line;
  double top = 0;
  uint32_t index = 0;
  uint32_t count = 0;
};
bool FindCellLine(GlimmetDoc* doc, Pane* pane, const DocRange& cell, int64_t width, uint32_t cp, CellLine* out) {
  bool found = false;
  const bool any = ForEachCellLine(doc, pane, cell, width, [&](const LineFormat& line, double top) {
    if (!found) {
      out->line = line;
      out->top = top;
      out->index = out->count;
      found = cp < line.limitCp;
    }
    ++out->count;
    return true;
  });
  return any;
}

BorderSides CellBorder(const PropRecord& props, const KnotInfo& table, const KnotInfo& row, uint32_t rowNumber,
                       uint32_t column) {
  const BorderStyle border = BorderStyleAt(props, kTableBorderOffset);
  if (border.kind == 0) return {};
  const bool lastRow = row.limit + 1 == table.limit;
  return BorderThickness(border, RowBorderDisplay(uint32_t(border.kind), rowNumber, IsFirstRow(table, row), lastRow,
                                                  column, ColumnCount(row)));
}

uint32_t RowNumber(GlimmetDoc* doc, Pane* pane, const KnotInfo& table, const KnotInfo& row, const PropRecord& props,
                   uint32_t* borderPosition) {
  DocRange range;
  GetPaneRange(doc, pane, &range);
  return ApproximateRowNumber(table, row, range.first, range.limit, props, borderPosition);
}

uint32_t HandOver(LocatorRec* locator, uint32_t direction, uint32_t modifiers) {
  if (g_draftKeyHandler) g_draftKeyHandler(locator, direction, modifiers, true);
  return kGMNone;
}

}  // namespace

void SetDraftKeyHandler(GMDraftKeyHandler handler) { g_draftKeyHandler = std::move(handler); }

double RowHeight(GlimmetDoc* doc, Pane* pane, const KnotInfo& table, const KnotInfo& row, const PropRecord& props,
                 int64_t availableWidth, std::vector<GMRect>* cells) {
  uint32_t borderPosition = 0;
  const uint32_t rowNumber = RowNumber(doc, pane, table, row, props, &borderPosition);
  GMRect rect{0, 0, Points(availableWidth), 1000000};
  std::vector<int64_t> widths;
  GetCellRects(props, rowNumber, borderPosition, table, row, &rect, cells, &widths);
  double content = 0;
  for (uint32_t column = 0; column < widths.size(); ++column) {
    DocRange cell;
    if (IndexAndRangeForCell(&table, &row, 0, int32_t(column), &cell) == kGMNone) continue;
    double height = 0;
    ForEachCellLine(doc, pane, cell, widths[column], [&](const LineFormat& line, double) {
      height += line.lineHeight;
      return true;
    });
    content = std::max(content, height);
  }
  const int64_t fixed = props.get<int64_t>(TableProp::height);
  if (fixed < 0) content = Points(-fixed);
  else if (fixed > 0) content = std::max(content, Points(fixed));
  const bool firstRow = IsFirstRow(table, row);
  const bool lastRow = row.limit + 1 == table.limit;
  double gaps = TopMargin(props, firstRow) + Points(props.get<int64_t>(TableProp::cellBottom));
  if (firstRow) gaps += float(Points(props.get<int64_t>(TableProp::spaceBefore)));
  if (lastRow) gaps += float(Points(props.get<int64_t>(TableProp::spaceAfter)));
  const BorderSides border = CellBorder(props, table, row, rowNumber, 0);
  return content + gaps + border.top + border.bottom;
}

bool GetRowRectangles(const LineFormat& rowLine, GMRowRects* out) {
  GlimmetDoc* doc = rowLine.doc;
  if (!doc || !out || rowLine.startKind != kStartRow) return false;
  if (!FetchKnot(doc, rowLine.rowCp, &out->row, kKnotRow) || out->row.first != rowLine.rowCp) return false;
  if (!FetchTable(doc, kGMNone, &out->table, &out->row, &out->props)) return false;
  uint32_t borderPosition = 0;
  out->rowNumber = RowNumber(doc, rowLine.pane, out->table, out->row, out->props, &borderPosition);
  out->rowRect = {0, 0, rowLine.lineWidth, rowLine.lineHeight};
  GetCellRects(out->props, out->rowNumber, borderPosition, out->table, out->row, &out->rowRect, &out->cells, &out->widths);
  return !out->cells.empty();
}

bool LocateCpInTableRow(LocatorRec* locator, const LineFormat& rowLine, double x, double y) {
  if (!locator) return false;
  GMRowRects rects;
  if (!GetRowRectangles(rowLine, &rects)) {
    locator->cp = -1;
    return false;
  }
  GlimmetDoc* doc = rowLine.doc;
  const uint32_t column = ColumnAtX(rects.cells, x);
  const GMRect& cellRect = rects.cells[column];
  const bool firstRow = IsFirstRow(rects.table, rects.row);
  DocRange cell;
  if (IndexAndRangeForCell(&rects.table, &rects.row, 0, int32_t(column), &cell) == kGMNone) {
    locator->cp = -1;
    return false;
  }
  const double contentTop = cellRect.y + TopMargin(rects.props, firstRow);
  LineFormat hit;
  const bool formatted = ForEachCellLine(doc, rowLine.pane, cell, rects.widths[column],
                                         [&](const LineFormat& line, double top) {
                                           hit = line;
                                           return contentTop + top + line.lineHeight <= y;
                                         });
  if (!formatted) {
    locator->cp = -1;
    return false;
  }
  LocateCpInLine(locator, hit, float(std::max(0.0, x - cellRect.x - LeftMargin(rects.props, column))));

  // Column boundaries, on the cells' outer edges with their borders.
  uint32_t borderPosition = 0;
  const uint32_t rowNumber = RowNumber(doc, rowLine.pane, rects.table, rects.row, rects.props, &borderPosition);
  std::vector<GMRect> edges = rects.cells;
  for (uint32_t c = 0; c < edges.size(); ++c) {
    const BorderSides border = CellBorder(rects.props, rects.table, rects.row, rowNumber, c);
    edges[c].x -= border.left;
    edges[c].width += border.left + border.right;
  }
  const double zoom = locator->pane && locator->pane->zoom > 0 ? locator->pane->zoom : 1.0;
  locator->boundaryIndex =
      ColumnBoundaryAtX(edges, x, zoom, rects.props.body[TableProp::autoFit] != 0);
  if (locator->boundaryIndex < 0 && firstRow && y >= cellRect.y && y < cellRect.y + cellRect.height)
    locator->cellColumn = int32_t(column);
  return true;
}

uint32_t LineEdgeInTable(GlimmetDoc* doc, Pane* pane, uint32_t cp, const KnotInfo& row, int32_t* lineStart,
                         uint32_t mode) {
  if (lineStart) *lineStart = -1;
  if (!doc || row.limit < row.first + 4) return kGMNone;
  cp = std::clamp(cp, row.first + 1, row.limit - 2);
  KnotInfo table, rowCopy = row;
  PropRecord props;
  if (!FetchTable(doc, kGMNone, &table, &rowCopy, &props)) return kGMNone;
  DocRange cell;
  const uint32_t column = IndexAndRangeForCell(&table, &row, cp, -1, &cell);
  if (column == kGMNone) return kGMNone;
  CellLine found;
  const int64_t width = ColumnWidth(props, table, row, PaneTextWidth(doc, pane), column);
  if (!FindCellLine(doc, pane, cell, width, cp, &found)) return kGMNone;
  if (lineStart) *lineStart = int32_t(found.line.firstCp);
  if (mode == 0) return std::max(found.line.firstCp, cell.first);
  uint32_t end = std::min(found.line.limitCp, cell.limit);
  if (mode == 2 && end > found.line.firstCp && IsBreakChar(doc->charAt(end - 1))) --end;
  return end;
}

uint32_t MoveUpOrDownInTable(LocatorRec* locator, const KnotInfo& row, uint32_t direction, uint32_t modifiers,
                             double x) {
  if (!locator || !locator->doc || row.limit < row.first + 4) return kGMNone;
  GlimmetDoc* doc = locator->doc;
  Pane* pane = locator->pane ? locator->pane : CurrentPane(doc);
  const bool up = direction == kKeyUp;
  // From the first cell's first unit (just past the row's begin kink) to the last cell's mark.
  const uint32_t cp = std::clamp(uint32_t(std::max(locator->cp, 0)), row.first + 1, row.limit - 2);
  KnotInfo table, target = row;
  PropRecord props;
  if (!FetchTable(doc, kGMNone, &table, &target, &props)) return kGMNone;
  DocRange cell;
  const uint32_t column = IndexAndRangeForCell(&table, &row, cp, -1, &cell);
  if (column == kGMNone) return kGMNone;
  const int64_t available = PaneTextWidth(doc, pane);
  CellLine found;
  if (!FindCellLine(doc, pane, cell, ColumnWidth(props, table, row, available, column), cp, &found)) {
    locator->cp = -1;
    return kGMNone;
  }
  double y;
  if (up && found.index > 0) {
    y = found.top - 1;
  } else if (!up && found.index + 1 < found.count) {
    y = found.top + found.line.lineHeight + 1;
  } else if (up) {
    y = kRowBottom;
    if (!IsFirstRow(table, row)) {
      if (!FetchKnot(doc, row.first - 1, &target, kKnotRow)) return kGMNone;
    } else {
      DocRange range;
      GetPaneRange(doc, pane, &range);
      const uint32_t firstVisible = VisibleCpCore(doc, pane, range.first, true);
      if (firstVisible >= table.first) {
        locator->cp = int32_t(firstVisible);
        return firstVisible;
      }
      KnotInfo before;
      if (table.first < 2 || !FetchTable(doc, table.first - 2, &before, &target, nullptr))
        return HandOver(locator, direction, modifiers);
    }
  } else {
    y = 0;
    if (row.limit + 1 < table.limit) {
      if (!FetchKnot(doc, row.limit, &target, kKnotRow)) return kGMNone;
    } else {
      DocRange range;
      GetPaneRange(doc, pane, &range);
      if (table.limit >= range.limit) return kGMNone;
      KnotInfo after;
      if (!FetchTable(doc, table.limit, &after, &target, nullptr) || after.first != table.limit)
        return HandOver(locator, direction, modifiers);
    }
  }
  KnotInfo targetTable;
  if (!FetchTable(doc, kGMNone, &targetTable, &target, nullptr)) return kGMNone;
  LineFormat rowLine;
  InitFormatLine(doc, pane, &rowLine, kFormatCollectRuns);
  const uint32_t rowStart = IsFirstRow(targetTable, target) ? targetTable.first : target.first;
  GMRowRects rects;
  if (!FormatLine(rowStart, available, &rowLine) || !GetRowRectangles(rowLine, &rects)) {
    locator->cp = -1;
    return kGMNone;
  }
  const double top = TopMargin(rects.props, IsFirstRow(rects.table, rects.row)) + rects.rowRect.y;
  if (!LocateCpInTableRow(locator, rowLine, x, y + top)) return kGMNone;
  return locator->cp < 0 ? kGMNone : uint32_t(locator->cp);
}
