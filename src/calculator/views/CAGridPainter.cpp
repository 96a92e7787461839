#include "calculator/views/CAGridPainter.h"

#include "calculator/model/CABorder.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/views/CAGridGeometry.h"
#include "framlet/foundation/Kolor.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

QColor ActiveCellColor() { return QColor(97, 155, 235); }
QColor InactiveCellColor() { return QColor(190, 190, 190); }
QColor TypingSelectionColor() { return QColor(235, 235, 255); }
QColor DragOverCellColor() { return QColor(255, 196, 30); }
QColor GridLineColor() { return QColor(192, 192, 192); }

namespace {

// Page-break lines: the platform's blue.
QColor PageBreakColor() { return QColor(0, 0, 255); }

// At least one, so that a walk always moves on past the moved block.
int64_t MovedCount(const GridRange& selection, bool vertical) {
  return std::max<int64_t>(1, vertical ? selection.endPoint.y - selection.startPoint.y + 1
                                       : selection.endPoint.x - selection.startPoint.x + 1);
}

}  // namespace

CAGridPainter::CAGridPainter(QPainter& painter, const CAGridGeometry& geometry, CADocument& document,
                             const CAGridPaintOptions& options)
    : painter_(painter), geometry_(geometry), document_(document), options_(options) {}

int32_t CAGridPainter::edgeClass(const CAFormat* previous, const CAFormat* current,
                                 const CAFormat* next) {
  if (!current || !current->hasPropertyForMask(kFormatBorder)) return kEdgeNone;
  const bool samePrevious = current->isBorderEqualTo(previous);
  const bool sameNext = current->isBorderEqualTo(next);
  if (samePrevious) return sameNext ? kEdgeInside : kEdgeLast;
  return sameNext ? kEdgeFirst : kEdgeSingle;
}

void CAGridPainter::paint(const QRectF& dirtyRect) {
  // A translucent default background lies over white, as on paper.
  painter_.fillRect(dirtyRect, Qt::white);
  painter_.fillRect(dirtyRect, ColorFromKolor(document_.defaultFormat().backgroundKolor()));
  // A protected document shows nothing of its cells until its password is given.
  if (!document_.password().isEmpty() && !document_.passwordUnlocked()) return;

  printing_ = options_.mode == CAGridPaintMode::Printing;
  draggingOut_ = options_.mode == CAGridPaintMode::DraggingOut;
  const double zoom = document_.zoomValue() > 0 ? document_.zoomValue() : 1.0;
  gridOrigin_ = geometry_.origin();
  QRectF rect;
  GridRange dragged;
  if (draggingOut_) {
    TypeOfRange(&dragged, options_.draggedSelection);
    rect = geometry_.rectForRange(dragged);
    gridOrigin_ = dragged.startPoint;
    lineWidth_ = 1.0 / zoom;
  } else if (printing_) {
    rect = options_.pageRect.isEmpty() ? dirtyRect : options_.pageRect;
    lineWidth_ = 1.0 / (options_.pageScale > 0 ? options_.pageScale : 1.0);
    if (options_.drawExtrasForPrinting) options_.drawExtrasForPrinting(painter_);
  } else {
    // The whole visible area, whatever the dirty rectangle: overflowing text and the active
    // frame reach across cells.
    rect = geometry_.visibleRect();
    lineWidth_ = 1.0 / zoom;
  }
  const GridPoint padding = document_.cellPadding();
  cellPadding_ = QSizeF(std::ceil(double(padding.x) / kEmuPerPoint),
                        std::ceil(double(padding.y) / kEmuPerPoint));
  showFormulas_ = document_.showFormulas() && !printing_;
  dragInfo_ = options_.dragInfo;
  leading_ = document_.leading();
  activeCellPoint_ = document_.activeCellPoint();
  selection_ = document_.selectionRange();
  longCells_.clear();
  showOnlyOccupied_ = document_.showOnlyOccupied() && onScreen();
  hasLastCell_ = showOnlyOccupied_ || !onScreen();
  if (printing_) {
    lastCell_ = gridLastCell_ = options_.pageLastCell;
  } else if (draggingOut_) {
    gridLastCell_ = dragged.endPoint;
    TypeOfRange(&dragged, selection_);
    lastCell_ = dragged.endPoint;
  } else if (showOnlyOccupied_) {
    lastCell_ = gridLastCell_ = document_.maxGridPoint(true);
  }

  QPainterPath grid;
  QPainterPath pageBreaks;
  if (!(printing_ && !document_.printGrid()))
    drawGrid(rect, grid, onScreen() && document_.showPageBreaks() ? &pageBreaks : nullptr);

  QRectF activeCellRect(-1, 0, 0, 0);
  drawRows(rect, &activeCellRect);

  if (!grid.isEmpty()) {
    QPen pen(GridLineColor(), lineWidth_);
    pen.setCapStyle(Qt::FlatCap);
    painter_.strokePath(grid, pen);
  }
  drawLongCells();
  if (activeCellRect.x() >= 0) {
    columnEdgeClass_ = kEdgeNone;
    rowEdgeClass_ = kEdgeNone;
    drawCell(activeCellPoint_, activeCellRect, rect, true);
  }
  if (!pageBreaks.isEmpty()) {
    QPen pen(PageBreakColor(), lineWidth_);
    pen.setCapStyle(Qt::FlatCap);
    // The pattern is counted in line widths: 8 on, 4 off.
    pen.setDashPattern({8.0, 4.0});
    painter_.strokePath(pageBreaks, pen);
  }
}

void CAGridPainter::drawGrid(const QRectF& rect, QPainterPath& grid, QPainterPath* pageBreaks) {
  drawGridAxis(true, rect, grid, pageBreaks);
  drawGridAxis(false, rect, grid, pageBreaks);
}

// The lines between columns (columns true: vertical lines) or between rows, walked from the
// view's left (top) edge like the cells, with the gap of a block being moved.
void CAGridPainter::drawGridAxis(bool columns, const QRectF& rect, QPainterPath& grid,
                                 QPainterPath* pageBreaks) {
  const double half = lineWidth_ / 2;
  double rightLimit = rect.right();
  double bottomLimit = rect.bottom();
  if (hasLastCell_) {
    const QRectF last = geometry_.rectForGridPoint(gridLastCell_);
    rightLimit = std::min(rightLimit, last.right() + 1);
    bottomLimit = std::min(bottomLimit, last.bottom() + 1);
  }
  // Nor do lines run past the grid's last row and column.
  const QRectF gridCorner = geometry_.rectForGridPoint(GridPoint{LastGridColumn(), kLastGridRow});
  rightLimit = std::min(rightLimit, gridCorner.right() + 1);
  bottomLimit = std::min(bottomLimit, gridCorner.bottom() + 1);
  const int64_t originIndex = columns ? gridOrigin_.x : gridOrigin_.y;
  const bool pinned = originIndex != 0 && (columns ? document_.titleColumn() : document_.titleRow());
  const int64_t lastIndex = columns ? gridLastCell_.x : gridLastCell_.y;
  // The grid ends: no line after its last row (column), wherever the view is scrolled.
  const int64_t gridEnd = columns ? LastGridColumn() : kLastGridRow;
  const double limit = columns ? rightLimit : bottomLimit;
  const double rectStart = columns ? rect.left() : rect.top();
  const std::vector<int64_t>& breaks = columns ? options_.columnBreaks : options_.rowBreaks;
  const bool moving = onScreen() && dragInfo_.cellDragType == (columns ? kCellDragColumns : kCellDragRows);
  const int64_t movedFirst = columns ? selection_.startPoint.x : selection_.startPoint.y;
  const int64_t movedLast = columns ? selection_.endPoint.x : selection_.endPoint.y;

  int64_t index = pinned ? 0 : originIndex;
  if (hasLastCell_ && index > lastIndex) return;
  auto nextBreak = std::upper_bound(breaks.begin(), breaks.end(), index);
  bool jumped = !pinned;
  // The image of dragged cells has its lines where its cells are, from its own corner.
  double edge = draggingOut_ ? rectStart : 0;
  uint64_t slot = 0;
  while (!(hasLastCell_ && index > lastIndex) && index <= gridEnd) {
    if (moving && index == movedFirst && jumped) {
      index = std::max(movedLast, index) + 1;
      continue;
    }
    if (moving && slot == dragInfo_.dropSlot) {
      edge += dragInfo_.draggingExtent + lineWidth_;
      slot += uint64_t(MovedCount(selection_, !columns));
      continue;
    }
    edge += columns ? geometry_.columnWidth(index) : geometry_.rowHeight(index);
    if (edge >= limit) break;
    if (edge >= rectStart) {
      // A page ends after this index when the next page starts right after it.
      QPainterPath* path = &grid;
      if (pageBreaks) {
        while (nextBreak != breaks.end() && *nextBreak <= index) ++nextBreak;
        if (nextBreak != breaks.end() && *nextBreak == index + 1) {
          path = pageBreaks;
          ++nextBreak;
        }
      }
      if (columns) {
        path->moveTo(edge - half, rect.top());
        path->lineTo(edge - half, bottomLimit - 1);
      } else {
        path->moveTo(rect.left(), edge - half);
        path->lineTo(rightLimit - 1, edge - half);
      }
    }
    if (!jumped) {
      index = originIndex;
      jumped = true;
      nextBreak = std::upper_bound(breaks.begin(), breaks.end(), index - 1);
    } else {
      ++index;
    }
    ++slot;
  }
}

void CAGridPainter::drawRows(const QRectF& rect, QRectF* activeCellRect) {
  QRectF rowRect(draggingOut_ ? rect.topLeft() : QPointF(0, 0), QSizeF(rect.width(), 0));
  if (showOnlyOccupied_ || printing_)
    rowRect.setWidth(std::min(rowRect.width(), geometry_.rectForGridPoint(lastCell_).right()));
  const bool pinned = !draggingOut_ && gridOrigin_.y != 0 && document_.titleRow();
  int64_t y = pinned ? 0 : gridOrigin_.y;
  rowFormat_ = document_.formatForRow(y);
  const CAFormat* previous = y > 0 ? document_.formatForRow(y - 1) : nullptr;
  const bool moving = onScreen() && dragInfo_.cellDragType == kCellDragRows;
  bool jumped = !pinned;
  uint64_t slot = 0;
  double top = rowRect.top();
  while (top < rect.bottom() && !(hasLastCell_ && y > lastCell_.y) && y <= kLastGridRow) {
    if (moving && jumped && y == selection_.startPoint.y) {
      y = std::max(selection_.endPoint.y, y) + 1;
      rowFormat_ = document_.formatForRow(y);
      continue;
    }
    if (moving && slot == dragInfo_.dropSlot) {
      painter_.fillRect(QRectF(rowRect.x(), top, rowRect.width(), dragInfo_.draggingExtent), Qt::white);
      top += dragInfo_.draggingExtent;
      slot += uint64_t(MovedCount(selection_, true));
      continue;
    }
    const CAFormat* next = y < kLastGridRow ? document_.formatForRow(y + 1) : nullptr;
    rowEdgeClass_ = edgeClass(previous, rowFormat_, next);
    const double height = geometry_.rowHeight(y);
    const QRectF current(rowRect.x(), top, rowRect.width(), height);
    // A page's last row ends the drawing, not the walk.
    if (!(printing_ && y > options_.pageBottom.y)) {
      if (rowFormat_) rowFormat_->drawBackgroundInRect(painter_, current);
      drawColumns(rect, current, y, activeCellRect);
    }
    if (!jumped) {
      y = gridOrigin_.y;
      jumped = true;
      previous = document_.formatForRow(y - 1);
      rowFormat_ = document_.formatForRow(y);
    } else {
      previous = rowFormat_;
      rowFormat_ = next;
      ++y;
    }
    top += height;
    ++slot;
  }
  if (!moving) return;
  // The moved rows under the mouse.
  top = dragInfo_.dragEdge;
  for (int64_t row = selection_.startPoint.y; row <= selection_.endPoint.y && top < rect.bottom(); ++row) {
    rowFormat_ = document_.formatForRow(row);
    rowEdgeClass_ = kEdgeNone;
    const QRectF current(rowRect.x(), top, rowRect.width(), geometry_.rowHeight(row));
    if (rowFormat_) rowFormat_->drawBackgroundInRect(painter_, current);
    drawColumns(rect, current, row, activeCellRect);
    top += current.height();
  }
}

void CAGridPainter::drawColumns(const QRectF& rect, const QRectF& rowRect, int64_t row,
                                QRectF* activeCellRect) {
  const bool pinned = !draggingOut_ && gridOrigin_.x != 0 && document_.titleColumn();
  int64_t x = pinned ? 0 : gridOrigin_.x;
  columnFormat_ = document_.formatForColumn(x);
  const CAFormat* previous = x > 0 ? document_.formatForColumn(x - 1) : nullptr;
  const bool moving = onScreen() && dragInfo_.cellDragType == kCellDragColumns;
  bool jumped = !pinned;
  uint64_t slot = 0;
  double left = draggingOut_ ? rect.left() : 0;
  const int64_t lastColumn = LastGridColumn();
  while (left < rect.right() && !(hasLastCell_ && x > lastCell_.x) && x <= lastColumn) {
    if (moving && jumped && x == selection_.startPoint.x) {
      x = std::max(selection_.endPoint.x, x) + 1;
      columnFormat_ = document_.formatForColumn(x);
      continue;
    }
    if (moving && slot == dragInfo_.dropSlot) {
      painter_.fillRect(QRectF(left, rowRect.top(), dragInfo_.draggingExtent, rowRect.height()), Qt::white);
      left += dragInfo_.draggingExtent;
      slot += uint64_t(MovedCount(selection_, false));
      continue;
    }
    const CAFormat* next = x < lastColumn ? document_.formatForColumn(x + 1) : nullptr;
    const double width = geometry_.columnWidth(x);
    const QRectF cellRect(left, rowRect.top(), width, rowRect.height());
    const bool drawn = draggingOut_ || (printing_ ? x <= options_.pageBottom.x : cellRect.intersects(rect));
    if (drawn) {
      const GridPoint point{x, row};
      if (point == activeCellPoint_ && onScreen() && !dragging()) {
        *activeCellRect = cellRect;
      } else {
        columnEdgeClass_ = edgeClass(previous, columnFormat_, next);
        drawCell(point, cellRect, rect, false);
      }
    }
    if (!jumped) {
      x = gridOrigin_.x;
      jumped = true;
      previous = document_.formatForColumn(x - 1);
      columnFormat_ = document_.formatForColumn(x);
    } else {
      previous = columnFormat_;
      columnFormat_ = next;
      ++x;
    }
    left += width;
    ++slot;
  }
  if (!moving) return;
  left = dragInfo_.dragEdge;
  for (int64_t column = selection_.startPoint.x; column <= selection_.endPoint.x && left < rect.right();
       ++column) {
    columnFormat_ = document_.formatForColumn(column);
    columnEdgeClass_ = kEdgeNone;
    const QRectF cellRect(left, rowRect.top(), geometry_.columnWidth(column), rowRect.height());
    drawCell(GridPoint{column, row}, cellRect, rect, false);
    left += cellRect.width();
  }
}
