#include "glimmet/storage/gmTables.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"

#include <algorithm>
#include <cmath>
#include <vector>

GMConfig g_glimmetConfig;

namespace {

int64_t WidthAt(const PropRecord& props, uint32_t column) {
  return column < kMaxColumns ? props.get<int64_t>(TableProp::widths + 8 * column) : 0;
}

// The last row and the last table fetched are kept (main thread only): drawing and locating ask
// for the same row again and again. Edits and property changes inside a table drop them.
enum { kRowCache = 0, kTableCache = 1 };

bool FromCache(GlimmetDoc* doc, int which, uint32_t cp, KnotInfo* info) {
  if (doc->tableCacheOff || !IsMainThread()) return false;
  const GMTableCache& cache = doc->tableCaches[which];
  if (cache.doc != doc || cache.first == kGMNone || cp < cache.first || cp >= cache.limit ||
      cache.knotsVersion != doc->knots.version())
    return false;
  *info = cache.info;
  return true;
}

void ToCache(GlimmetDoc* doc, int which, const KnotInfo& info) {
  if (doc->tableCacheOff || !IsMainThread()) return;
  // A knot with a table inside (in one of its cells) is not kept: a cp in there belongs to the
  // inner table's rows.
  for (uint32_t i = doc->tableCps.indexOfCpAfter(info.first); i < doc->tableCps.count(); ++i) {
    const uint32_t cp = doc->tableCps.cpAt(i);
    if (cp >= info.limit) break;
    if (cp > info.first) return;
  }
  GMTableCache& cache = doc->tableCaches[which];
  cache.doc = doc;
  cache.first = info.first;
  cache.limit = info.limit;
  cache.info = info;
  cache.knotsVersion = doc->knots.version();
}

bool RowAt(GlimmetDoc* doc, uint32_t cp, KnotInfo* row) {
  if (FromCache(doc, kRowCache, cp, row)) return true;
  DocRange range;
  if (!CpIsWithinKnot(doc, cp, kKnotRow, &range, false)) return false;
  if (!FetchKnot(doc, range.first, row, kKnotRow) || row->first != range.first) return false;
  ToCache(doc, kRowCache, *row);
  return true;
}

bool TableAt(GlimmetDoc* doc, uint32_t cp, KnotInfo* table) {
  if (FromCache(doc, kTableCache, cp, table)) return true;
  DocRange range;
  if (!CpIsWithinKnot(doc, cp, kKnotTable, &range, false)) return false;
  if (!FetchKnot(doc, range.first, table, kKnotTable) || table->first != range.first) return false;
  ToCache(doc, kTableCache, *table);
  return true;
}

}  // namespace

bool FetchTable(GlimmetDoc* doc, uint32_t cp, KnotInfo* table, KnotInfo* row, PropRecord* props) {
  if (!doc || !table || !row) return false;
  if (cp == kGMNone) {
    if (!row->found()) {
      LogAssert("Need cp or rowKnotInfo", __func__, __FILE__, __LINE__);
      return false;
    }
  } else if (!RowAt(doc, cp, row)) {
    KnotInfo around;
    if (!TableAt(doc, cp, &around)) return false;
    const uint32_t rowCp = cp + 2 >= around.limit ? around.limit - 2 : around.first + 1;
    if (!RowAt(doc, rowCp, row)) return false;
  }
  if (!TableAt(doc, row->first, table)) return false;
  if (props) {
    const PropRecord* found = PropertiesAtIndex(doc, table->entry.propIndex);
    if (found && found->kind == kPropTable) *props = *found;
    else SetDefaultProperties(doc, kPropTable, props);
  }
  return true;
}

uint32_t IndexAndRangeForCell(const KnotInfo* table, const KnotInfo* row, uint32_t cp, int32_t column,
                              DocRange* cell) {
  if (!row || row->kinkCount < 2) return kGMNone;
  uint32_t index;
  if (column < 0) {
    if (int64_t(cp) < int64_t(row->first) - 1 || cp > row->limit) {
      LogAssert("cp not in row", __func__, __FILE__, __LINE__);
      return kGMNone;
    }
    uint32_t k = 1;
    while (k + 1 < row->kinkCount && row->kinkCps[k] < cp) ++k;
    index = k - 1;
  } else {
    if (uint32_t(column) + 1 >= row->kinkCount) {
      LogAssert("Bad columnIndex", __func__, __FILE__, __LINE__);
      return kGMNone;
    }
    index = uint32_t(column);
  }
  if (cell) {
    cell->doc = row->doc;
    cell->first = row->kinkCps[index] + 1;
    cell->limit = row->kinkCps[index + 1];
    if (row->kinkCps[index] == row->first) {
      cell->first = row->first;
      if (table && table->found() && row->first == table->first + 1) cell->first = table->first;
    }
  }
  return index;
}

uint32_t ApproximateRowNumber(const KnotInfo& table, const KnotInfo& row, uint32_t refFirst, uint32_t refLimit,
                              const PropRecord& props, uint32_t* borderPosition) {
  uint32_t number = 2;
  if (row.first == table.first + 1) {
    number = 0;
  } else if (row.first == refFirst) {
    number = props.body[TableProp::titleRow] ? 1 : 2;
  } else {
    KnotInfo first;
    if (FetchKnot(table.doc, table.first + 1, &first, kKnotRow) && first.limit == row.first) number = 1;
  }
  if (borderPosition) {
    const bool last = row.limit == refLimit || row.limit + 1 >= table.limit;
    *borderPosition = 2 + number - (last ? 1 : 0);
  }
  return number;
}

void GetCellRects(const PropRecord& props, uint32_t rowNumber, uint32_t, const KnotInfo& table,
                  const KnotInfo& row, GMRect* rowRect, std::vector<GMRect>* cells, std::vector<int64_t>* widths) {
  const uint32_t columns = row.kinkCount > 1 ? std::min(row.kinkCount - 1, kMaxColumns) : 0;
  const bool firstRow = rowNumber == 0 || row.first == table.first + 1;
  const bool lastRow = row.limit + 1 == table.limit;
  const bool proportional = props.body[TableProp::autoFit] != 0;
  const bool outer = props.body[TableProp::outerMargins] != 0;
  const int64_t cellLeft = props.get<int64_t>(TableProp::cellLeft);
  const int64_t cellRight = props.get<int64_t>(TableProp::cellRight);
  double y = rowRect->y, h = rowRect->height;
  if (firstRow) {
    const double before = float(props.get<int64_t>(TableProp::spaceBefore) / 12700.0);
    y += before;
    h -= before;
  }
  if (lastRow) h -= float(props.get<int64_t>(TableProp::spaceAfter) / 12700.0);
  const BorderStyle border = BorderStyleAt(props, kTableBorderOffset);
  auto sides = [&](uint32_t column) {
    return BorderThickness(border, RowBorderDisplay(uint32_t(border.kind), rowNumber, firstRow, lastRow, column, columns));
  };
  if (border.kind != 0) {
    const BorderSides row0 = sides(0);
    y += row0.top;
    h -= row0.top + row0.bottom;
  }
  std::vector<GMRect> rects(columns);
  std::vector<int64_t> contents(columns);
  auto margins = [&](uint32_t column) {
    const int64_t left = outer && column == 0 ? 0 : cellLeft;
    const int64_t right = outer && column + 1 == columns ? 0 : cellRight;
    return left + right;
  };
  double running = 0;
  for (uint32_t i = 0; i < columns; ++i) {
    const double width = proportional ? 0 : WidthAt(props, i) / 12700.0;
    contents[i] = WidthAt(props, i) - margins(i);
    const BorderSides edges = border.kind != 0 ? sides(i) : BorderSides();
    running += edges.left;
    rects[i] = {running, y, width, h};
    running += width + edges.right;
  }
  const double leftIndent = props.get<int64_t>(TableProp::left) / 12700.0;
  const double rightIndent = props.get<int64_t>(TableProp::right) / 12700.0;
  double tableX;
  double total = running;
  if (proportional) {
    const float free = float(rowRect->width - leftIndent - rightIndent - running);
    int64_t others = 0;
    for (uint32_t i = 0; i + 1 < columns; ++i) others += WidthAt(props, i);
    double shift = 0;
    for (uint32_t i = 0; i < columns; ++i) {
      const int64_t share = i + 1 == columns ? kFullShare - others : WidthAt(props, i);
      const double points = (share / 12700.0) * free / 100.0;
      rects[i].x += shift;
      rects[i].width += points;
      contents[i] = int64_t(points * 12700) - margins(i);
      shift += points;
    }
    total += free;
    tableX = rowRect->x + leftIndent;
  } else {
    const int32_t alignment = props.get<int32_t>(TableProp::alignment);
    if (alignment == 3) tableX = rowRect->x + rowRect->width - rightIndent - running;
    else if (alignment == 1) tableX = rowRect->x + (leftIndent + rowRect->width - rightIndent - running) / 2;
    else tableX = rowRect->x + leftIndent;
  }
  *rowRect = {double(float(tableX)), y, total, h};
  for (GMRect& rect : rects) rect.x += rowRect->x;
  if (cells) *cells = std::move(rects);
  if (widths) *widths = std::move(contents);
}

BorderDisplay RowBorderDisplay(uint32_t kind, uint32_t rowNumber, bool firstRow, bool lastRow, uint32_t column,
                               uint32_t columns) {
  // A grid position that gives the row its edge codes; a one-row table is a one-row grid.
  const uint32_t row = rowNumber == 0 || firstRow ? 0 : rowNumber == 1 ? 1 : 2;
  BorderDisplay display;
  SetBorderDisplay(kind, row, lastRow ? row + 1 : row + 3, column, columns, &display);
  return display;
}

int64_t ColumnWidth(const PropRecord& props, const KnotInfo& table, const KnotInfo& row, int64_t available,
                    uint32_t column) {
  if (!props.body[TableProp::autoFit]) {
    const uint32_t columns = row.kinkCount > 1 ? row.kinkCount - 1 : 0;
    const bool outer = props.body[TableProp::outerMargins] != 0;
    const int64_t left = outer && column == 0 ? 0 : props.get<int64_t>(TableProp::cellLeft);
    const int64_t right = outer && column + 1 == columns ? 0 : props.get<int64_t>(TableProp::cellRight);
    return WidthAt(props, column) - left - right;
  }
  GMRect rect{0, 0, available / 12700.0, 1000000};
  std::vector<int64_t> widths;
  GetCellRects(props, 2, 2, table, row, &rect, nullptr, &widths);
  return column < widths.size() ? widths[column] : 0;
}

namespace {

// The kinks of a row at cp, each cell holding an empty paragraph when marks is set.
bool InsertRowText(GlimmetDoc* doc, uint32_t cp, uint32_t columns, const KinkData* data, bool marks) {
  if (!doc || columns == 0 || columns > kMaxColumns) return false;
  // Rows go inside their table, where general knot insertion would not put them.
  char16_t units[2 * kMaxKinks];
  uint32_t kinkAt[kMaxKinks];
  uint32_t n = 0;
  const KnotDesc& desc = g_knotDescs[kKnotRow];
  for (uint32_t i = 0; i <= columns; ++i) {
    if (marks && i > 0) units[n++] = 0x0A;
    kinkAt[i] = n;
    units[n++] = i == 0 ? kKnotChar : i == columns ? desc.endChar : desc.middleChar;
  }
  const bool saved = g_editingKnot;
  g_editingKnot = true;
  const bool ok = ReplaceRangeSimple({doc, cp, cp}, nullptr, units, n);
  g_editingKnot = saved;
  if (!ok) return false;
  for (uint32_t i = 0; i <= columns; ++i) kinkAt[i] += cp;
  AddKnotEntries(doc, kKnotRow, kinkAt, columns + 1, 0, nullptr, data ? columns + 1 : 0, data);
  return true;
}

}  // namespace

bool InsertRowKinks(GlimmetDoc* doc, uint32_t cp, uint32_t columns, const KinkData* data) {
  return InsertRowText(doc, cp, columns, data, false);
}

bool InsertEmptyRow(GlimmetDoc* doc, uint32_t* cp, uint32_t columns, const GMRowRequest& request) {
  if (!doc || !cp || columns == 0 || columns > kMaxColumns) return false;
  const uint32_t rowFirst = *cp;
  // Without check boxes the cells' marks go in with the kinks.
  const bool marks = request.checkboxes.empty();
  if (!InsertRowText(doc, rowFirst, columns, nullptr, marks)) return false;
  KnotInfo row;
  // The marks go in from the last cell back, so that the kinks before each stay where the row
  // was read: it is read once, not once a cell.
  if (!marks && !FetchKnot(doc, rowFirst, &row, kKnotRow)) return false;
  for (uint32_t i = marks ? 0 : columns; i-- > 0;) {
    DocRange end{doc, row.kinkCps[i + 1], row.kinkCps[i + 1]};
    const char16_t mark = 0x0A;
    bool ok;
    {
      const bool saved = g_editingKnot;
      g_editingKnot = true;
      ok = ReplaceRangeSimple(end, nullptr, &mark, 1);
      g_editingKnot = saved;
    }
    if (!ok) {
      if (FetchKnot(doc, rowFirst, &row, kKnotRow)) DeleteKnot(&row);
      return false;
    }
    if (i < request.checkboxes.size() && request.checkboxes[i]) {
      DocRange box{doc, row.kinkCps[i] + 1, row.kinkCps[i] + 1};
      InsertKnotCore(&box, kKnotCheckbox, 0, 0, nullptr, 0, nullptr, false);
    }
  }
  if (!FetchKnot(doc, rowFirst, &row, kKnotRow)) return false;
  const auto apply = request.plainCells ? ApplyPropsToParagraphs : ApplyPropsToRange;
  for (uint32_t i = 0; i < columns; ++i) {
    const DocRange cell{doc, row.kinkCps[i] + 1, row.kinkCps[i + 1]};
    if (request.useStyles) {
      const uint32_t style = i < request.styles.size() && request.styles[i] < doc->styles.size() ? request.styles[i] : 0;
      const PropRecord* para = PropertiesAtIndex(doc, doc->styles[style].first);
      const PropRecord* chars = PropertiesAtIndex(doc, doc->styles[style].second);
      if (para && para->kind == kPropPara) apply(cell, *para);
      if (chars && chars->kind == kPropChar) apply(cell, *chars);
    } else {
      if (i < request.paras.size()) apply(cell, request.paras[i]);
      if (i < request.chars.size()) apply(cell, request.chars[i]);
    }
  }
  *cp = row.limit;
  return true;
}

bool NewTableCore(GlimmetDoc* doc, uint32_t cp, uint32_t rows, uint32_t columns, DocRange* out,
                  const GMRowRequest* request) {
  if (!doc || columns == 0 || columns > kMaxColumns) return false;
  PropRecord props;
  SetDefaultProperties(doc, kPropTable, &props);
  bool reset = props.get<uint16_t>(TableProp::columns) != columns || !props.body[TableProp::autoFit];
  if (!g_glimmetConfig.tableOption) props.body[TableProp::autoFit] = 1;
  if (reset) {
    const int64_t width = props.body[TableProp::autoFit] ? kFullShare / columns : 914400;
    for (uint32_t i = 0; i < kMaxColumns; ++i) props.set<int64_t>(TableProp::widths + 8 * i, i < columns ? width : 0);
  }
  props.set<uint16_t>(TableProp::columns, uint16_t(columns));
  DocRange range{doc, cp, cp};
  if (!InsertKnotCore(&range, kKnotTable, 0, 1, &props, 0, nullptr, false)) return false;
  const uint32_t tableFirst = range.first;
  const GMRowRequest normal;
  if (!request) request = &normal;
  bool ok = true;
  for (uint32_t r = 0; r < rows; ++r) {
    KnotInfo table;
    if (!FetchKnot(doc, tableFirst, &table, kKnotTable)) return false;
    uint32_t at = table.limit - 1;
    if (!InsertEmptyRow(doc, &at, columns, *request)) {
      if (r == 0) {
        DeleteKnot(&table);
        return false;
      }
      ok = false;
      break;
    }
  }
  KnotInfo table;
  if (!FetchKnot(doc, tableFirst, &table, kKnotTable)) return false;
  if (doc->tableCps.indexAtCp(tableFirst) == kGMNone) doc->tableCps.insertSorted(tableFirst, GMNoData{});
  if (out) *out = table.range();
  return ok;
}

bool IsTabbedTable(const DocRange& range) {
  GlimmetDoc* doc = range.doc;
  KnotInfo table;
  if (!doc || !FetchKnot(doc, range.first, &table, kKnotTable)) return false;
  uint32_t cp = table.first + 1;
  while (cp + 1 < table.limit) {
    KnotInfo row;
    if (!FetchKnot(doc, cp, &row, kKnotRow) || row.first != cp) return false;
    for (uint32_t i = 0; i + 1 < row.kinkCount; ++i) {
      const uint32_t first = row.kinkCps[i] + 1;
      const uint32_t limit = row.kinkCps[i + 1];
      if (limit <= first) return false;
      DocRange para;
      FetchParaProps(doc, nullptr, first, &para, nullptr);
      if (para.limit != limit) return false;
    }
    cp = row.limit;
  }
  return true;
}

void TableToText(DocRange* range) {
  GlimmetDoc* doc = range ? range->doc : nullptr;
  if (!doc) return;
  const bool tabbed = IsTabbedTable(*range);
  GMRegisteredRange registered(range, 0);
  KnotInfo table;
  if (!FetchKnot(doc, range->first, &table, kKnotTable)) return;
  const uint32_t tableFirst = table.first;
  std::vector<uint32_t> rowCps;
  for (uint32_t cp = tableFirst + 1; cp + 1 < table.limit && rowCps.size() < (size_t(1) << 20);) {
    KnotInfo row;
    if (!FetchKnot(doc, cp, &row, kKnotRow) || row.first != cp) break;
    rowCps.push_back(cp);
    cp = row.limit;
  }
  // The rows lose their kinks from the last to the first: deleting a kink shifts every record
  // after it, so from the first row on each row would shift all the rows after it.
  for (size_t r = rowCps.size(); r-- > 0;) {
    KnotInfo row;
    if (!FetchKnot(doc, rowCps[r], &row, kKnotRow) || row.first != rowCps[r]) continue;
    if (tabbed && row.kinkCount > 2) {
      for (uint32_t i = 1; i + 1 < row.kinkCount; ++i) {
        const uint32_t mark = row.kinkCps[i] - 1;
        if (mark < 1 || mark >= uint32_t(doc->totalLength)) {
          LogAssert("cp out of range", __func__, __FILE__, __LINE__);
          continue;
        }
        if (char16_t* unit = DocumentTextPtr(doc, mark, nullptr)) *unit = 0x09;
      }
    }
    DeleteKnot(&row);
  }
  const uint32_t at = doc->tableCps.indexAtCp(tableFirst);
  if (at != kGMNone) doc->tableCps.erase(at);
  if (FetchKnot(doc, tableFirst, &table, kKnotTable)) DeleteKnot(&table);
}

uint32_t ColumnAtX(const std::vector<GMRect>& cells, double x) {
  if (cells.empty()) return 0;
  for (size_t i = 0; i + 1 < cells.size(); ++i) {
    const double middle = (cells[i].x + cells[i].width + cells[i + 1].x) / 2;
    if (x <= middle) return uint32_t(i);
  }
  return uint32_t(cells.size() - 1);
}

int32_t ColumnBoundaryAtX(const std::vector<GMRect>& cells, double x, double zoom, bool proportional) {
  if (cells.empty() || zoom <= 0) return -1;
  const double pixel = 1 / zoom;
  auto boundaryRightOf = [&](size_t c) {
    const double right = cells[c].x + cells[c].width;
    return c + 1 < cells.size() ? (right + cells[c + 1].x) / 2 : right;
  };
  const size_t c = ColumnAtX(cells, x);
  const bool last = c + 1 == cells.size();
  if (std::abs(x - (boundaryRightOf(c) + pixel)) < 2 * pixel) return last && proportional ? -1 : int32_t(c);
  if (c > 0 && std::abs(x - (boundaryRightOf(c - 1) + pixel)) < 2 * pixel) return int32_t(c) - 1;
  return -1;
}
