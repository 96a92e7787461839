#include "calculator/views/CAGridGeometry.h"

#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "framlet/foundation/flBase.h"

#include <algorithm>
#include <cmath>
#include <vector>

CAGridGeometry::CAGridGeometry(const CADocument* document) : document_(document) {}

void CAGridGeometry::setDocument(const CADocument* document) {
  document_ = document;
  valid_ = false;
}

CAGridGeometry::Signature CAGridGeometry::currentSignature() const {
  if (!document_) return Signature();
  return Signature{document_->rows().size(),      document_->columns().size(),
                   document_->lineHeight(),       document_->digitWidth(),
                   document_->cellPadding(),      document_->minimumHeight(),
                   document_->defaultWidth(),     document_->defaultDigitCount()};
}

void CAGridGeometry::refresh() const {
  const Signature signature = currentSignature();
  if (valid_ && signature == signature_) return;
  signature_ = signature;
  valid_ = true;
  if (!document_) {
    rows_.rebuild({}, {}, 0);
    columns_.rebuild({}, {}, 0);
    return;
  }
  std::vector<int64_t> indexes;
  std::vector<double> sizes;
  indexes.reserve(document_->rows().size());
  sizes.reserve(document_->rows().size());
  for (const std::unique_ptr<CARow>& row : document_->rows()) {
    indexes.push_back(row->gridY());
    sizes.push_back(document_->heightOfRow(row->gridY()));
  }
  // A negative index has no row or column: the size every unoccupied one has.
  rows_.rebuild(std::move(indexes), sizes, document_->heightOfRow(-1));
  indexes.clear();
  sizes.clear();
  for (const std::unique_ptr<CAColumn>& column : document_->columns()) {
    indexes.push_back(column->gridX());
    sizes.push_back(document_->widthOfColumn(column->gridX()));
  }
  columns_.rebuild(std::move(indexes), sizes, document_->widthOfColumn(-1));
}

void CAGridGeometry::rowsMayHaveChanged(int64_t first, int64_t last) {
  // Beyond a screenful of rows, measuring everything again is the cheaper check.
  constexpr int64_t kRowsChecked = 256;
  if (!valid_ || !document_) return;
  first = std::max<int64_t>(first, 0);
  if (last < first) return;
  if (last - first >= kRowsChecked) {
    valid_ = false;
    return;
  }
  for (int64_t y = first; y <= last; ++y) {
    if (rows_.sizeOf(y) != double(document_->heightOfRow(y))) {
      valid_ = false;
      return;
    }
  }
}

const CAAxisOffsets& CAGridGeometry::rows() const {
  refresh();
  return rows_;
}

const CAAxisOffsets& CAGridGeometry::columns() const {
  refresh();
  return columns_;
}

double CAGridGeometry::rowHeight(int64_t y) const { return rows().sizeOf(y); }
double CAGridGeometry::columnWidth(int64_t x) const { return columns().sizeOf(x); }
double CAGridGeometry::rowTop(int64_t y) const { return rows().offsetOf(y); }
double CAGridGeometry::columnLeft(int64_t x) const { return columns().offsetOf(x); }
int64_t CAGridGeometry::rowAtOffset(double y) const { return rows().indexAt(y); }
int64_t CAGridGeometry::columnAtOffset(double x) const { return columns().indexAt(x); }

QRectF CAGridGeometry::absoluteRectForRange(const GridRange& range) const {
  GridRange plain;
  const int32_t type = TypeOfRange(&plain, range);
  if (plain.startPoint.x > plain.endPoint.x || plain.startPoint.y > plain.endPoint.y)
    LogAssert("Bad range", __func__, __FILE__, __LINE__);
  const QRectF visible = visibleRect();
  double x = visible.x(), width = visible.width();
  if (type != kRangeRows) {
    x = columnLeft(plain.startPoint.x);
    width = columnLeft(plain.endPoint.x + 1) - x;
  }
  double y = visible.y(), height = visible.height();
  if (type != kRangeColumns) {
    y = rowTop(plain.startPoint.y);
    height = rowTop(plain.endPoint.y + 1) - y;
  }
  return QRectF(x, y, width, height);
}

QRectF CAGridGeometry::rectForRange(const GridRange& range) const {
  QRectF rect = absoluteRectForRange(range);
  if (origin_ == GridPoint{0, 0} || !document_) return rect;
  GridRange plain;
  const int32_t type = TypeOfRange(&plain, range);
  // Measured from the origin cell itself: far down the sheet the absolute starts are too
  // large for a double to keep their points.
  if (type != kRangeColumns) {
    const bool titleRow = document_->titleRow();
    double y = rect.y();
    if (!titleRow || plain.startPoint.y != 0) y = rows().distance(origin_.y, plain.startPoint.y);
    if (titleRow && origin_.y != 0 && plain.startPoint.y >= origin_.y) y += rowHeight(0);
    rect = QRectF(rect.x(), y, rect.width(), rows().distance(plain.startPoint.y, plain.endPoint.y + 1));
  }
  if (type == kRangeRows) return rect;
  const bool titleColumn = document_->titleColumn();
  double x = rect.x();
  if (!titleColumn || plain.startPoint.x != 0) x = columns().distance(origin_.x, plain.startPoint.x);
  if (titleColumn && origin_.x != 0 && plain.startPoint.x >= origin_.x) x += columnWidth(0);
  return QRectF(x, rect.y(), columns().distance(plain.startPoint.x, plain.endPoint.x + 1), rect.height());
}

QRectF CAGridGeometry::rectForGridPoint(const GridPoint& point) const {
  return rectForRange(GridRange{point, point});
}

GridPoint CAGridGeometry::gridPointAtPoint(const QPointF& point) const {
  GridPoint result;
  const bool titleRow = document_ && document_->titleRow();
  const bool titleColumn = document_ && document_->titleColumn();
  double y = point.y();
  if (origin_.y != 0 && titleRow && y < rowHeight(0)) {
    result.y = 0;
  } else {
    if (origin_.y != 0 && titleRow) y -= rowHeight(0);
    result.y = rows().indexAtDistance(origin_.y, y);
  }
  double x = point.x();
  if (origin_.x != 0 && titleColumn && x < columnWidth(0)) {
    result.x = 0;
  } else {
    if (origin_.x != 0 && titleColumn) x -= columnWidth(0);
    result.x = columns().indexAtDistance(origin_.x, x);
  }
  return result;
}

QRectF CAGridGeometry::cellVisibleRect() const {
  QRectF rect = visibleRect();
  if (origin_ != GridPoint{0, 0}) rect.moveTopLeft(QPointF(columnLeft(origin_.x), rowTop(origin_.y)));
  return rect;
}

int64_t CAGridGeometry::lastScrollStart(bool vertical) const {
  const auto sizeOf = [&](int64_t index) { return vertical ? rowHeight(index) : columnWidth(index); };
  const double limit = vertical ? visibleSize_.height() : visibleSize_.width();
  // Back from the last one while the rows walked fit: bounded by the visible size.
  int64_t first = vertical ? kLastGridRow : LastGridColumn();
  double sum = sizeOf(first);
  while (first > 0) {
    const double size = sizeOf(first - 1);
    if (!(size > 0) || sum + size > limit) break;
    sum += size;
    --first;
  }
  return first;
}

GridPoint CAGridGeometry::clampedScrollPoint(const GridPoint& point) const {
  return GridPoint{std::min(point.x, lastScrollStart(false)), std::min(point.y, lastScrollStart(true))};
}

int64_t CAGridGeometry::cellCountForDelta(double delta, bool vertical) const {
  if (!(std::fabs(delta) >= 1.0)) return 0;
  const bool forward = delta > 0;
  const int64_t position = vertical ? origin_.y : origin_.x;
  int64_t index = forward ? position : position - 1;
  if (index < 0) return 0;
  const double limit = vertical ? visibleSize_.height() : visibleSize_.width();
  const double size = std::fabs(delta);
  double sum = 0;
  int64_t count = 0;
  for (;;) {
    sum += vertical ? rowHeight(index) : columnWidth(index);
    ++count;
    if (sum >= limit || sum > size) break;
    index += forward ? 1 : -1;
    if (index < 0 || index > (vertical ? kLastGridRow : LastGridColumn())) break;
  }
  return forward ? count : -count;
}

CAContentFrame CAGridGeometry::contentFrame(double zoom, const QSizeF& superSize,
                                            bool showOnlyOccupied) const {
  CAContentFrame frame;
  if (!document_) return frame;
  GridPoint extent = document_->maxGridPoint(true);
  if (!showOnlyOccupied) {
    extent.x = std::max(extent.x, document_->maxDisplayGridPoint().x);
    extent.y = std::max(extent.y, document_->maxDisplayGridPoint().y);
  }
  const QRectF corner = rectForGridPoint(extent);
  const QRectF visible = visibleRect();
  double width = std::max(corner.right() * zoom, superSize.width() * zoom);
  double height = std::max(corner.bottom() * zoom, superSize.height() * zoom);
  width = std::max(width, visible.right() * zoom);
  height = std::max(height, visible.bottom() * zoom);
  frame.size = QSizeF(width, height);

  // Whole rows (columns) from the scroll position that fit: the first one after the scroll
  // position whose end passes the visible size is the first not counted.
  const auto visibleCount = [&](bool vertical) {
    const int64_t position = vertical ? origin_.y : origin_.x;
    const int64_t last = vertical ? extent.y : extent.x;
    if (position > last) return int64_t(0);
    const double size = vertical ? visible.height() : visible.width();
    int64_t stop = vertical ? rows().indexAtDistance(position, size) : columns().indexAtDistance(position, size);
    stop = std::min(std::max(stop, position + 1), last + 1);
    return stop - position;
  };
  frame.rows = CAScrollExtent{origin_.y, extent.y + 1, visibleCount(true)};
  frame.columns = CAScrollExtent{origin_.x, extent.x + 1, visibleCount(false)};
  return frame;
}

int64_t CAGridGeometry::centeredStart(bool vertical, int64_t first, double rangeStart,
                                      double rangeSize, double visibleSize, int64_t current) const {
  if (rangeSize > visibleSize) return first;
  const bool title = vertical ? document_->titleRow() : document_->titleColumn();
  if (title && first == 0 && rangeStart == 0) return current;
  const auto sizeOf = [&](int64_t index) { return vertical ? rowHeight(index) : columnWidth(index); };
  if (title) visibleSize -= sizeOf(0);
  const double half = (visibleSize - rangeSize) / 2;
  // Up from the range until half the free space is used: bounded by the visible size.
  double sum = 0;
  for (int64_t index = first - 1; index >= 0; --index) {
    sum += sizeOf(index);
    if (sum > half) return index;
  }
  return 0;
}

std::optional<GridPoint> CAGridGeometry::scrollPointToShow(const GridRange& range, bool* fits) const {
  if (fits) *fits = true;
  if (!document_) return std::nullopt;
  GridRange plain;
  TypeOfRange(&plain, range);
  const QRectF rect = absoluteRectForRange(plain);
  const QRectF visible = cellVisibleRect();
  const bool horizontal =
      !(document_->titleColumn() && plain.startPoint.x == 0 && plain.endPoint.x == 0) &&
      (rect.left() < visible.left() || rect.right() > visible.right());
  const bool vertical =
      !(document_->titleRow() && plain.startPoint.y == 0 && plain.endPoint.y == 0) &&
      (rect.top() < visible.top() || rect.bottom() > visible.bottom());
  if (!horizontal && !vertical) return std::nullopt;
  if (fits) *fits = rect.width() <= visible.width() && rect.height() <= visible.height();
  GridPoint point = origin_;
  if (horizontal)
    point.x = centeredStart(false, plain.startPoint.x, rect.left(), rect.width(), visible.width(),
                            origin_.x);
  if (vertical)
    point.y = centeredStart(true, plain.startPoint.y, rect.top(), rect.height(), visible.height(),
                            origin_.y);
  return point;
}

std::optional<GridPoint> CAGridGeometry::scrollPointToShowSelection() const {
  if (!document_) return std::nullopt;
  const GridRange active{document_->activeCellPoint(), document_->activeCellPoint()};
  const int32_t type = TypeOfRange(nullptr, document_->selectionRange());
  if (type == kRangeRows || type == kRangeColumns || type == kRangeInvalid)
    return scrollPointToShow(active, nullptr);
  bool fits = true;
  std::optional<GridPoint> point = scrollPointToShow(document_->selectionRange(), &fits);
  if (!fits) point = scrollPointToShow(active, nullptr);
  return point;
}
