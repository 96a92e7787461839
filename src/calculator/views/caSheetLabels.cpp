#include "calculator/views/caSheetLabels.h"

#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/views/CAGridGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// The size tip keeps this far from the mouse, and is at least this wide for a column.
constexpr double kTipDistance = 16.0;
constexpr double kTipMinimumWidth = 60.0;
constexpr double kTipTextMargin = 6.0;

}  // namespace

QSizeF LabelExtent(double digitWidth, double lineHeight, double zoom) {
  if (zoom > 1.0) {
    digitWidth = std::ceil(float(digitWidth * zoom));
    lineHeight = std::ceil(float(lineHeight * zoom));
  }
  const double width = std::ceil(float(8.0 * digitWidth)) + 6.0 + 1.0;
  const double height = lineHeight + 4.0 + 1.0;
  return QSizeF(width, height);
}

QSizeF LabelExtent(const CADocument& document) {
  return LabelExtent(document.digitWidth(), document.lineHeight(), document.zoomValue());
}

QColor TextColorForBackground(const QColor& background) {
  if (!background.isValid()) return Qt::black;
  // A translucent colour counts as white.
  if (background.alpha() < 255) return Qt::black;
  const double luminance =
      0.3 * background.redF() + 0.59 * background.greenF() + 0.11 * background.blueF();
  return luminance < 0.5 ? Qt::white : Qt::black;
}

std::vector<CALabelSpan> ShownLabelSpans(const CAGridGeometry& geometry, bool vertical, double start,
                                         double scale, double limit, int64_t lastIndex) {
  std::vector<CALabelSpan> spans;
  const CADocument* document = geometry.document();
  if (!document) return spans;
  const int64_t origin = vertical ? geometry.origin().y : geometry.origin().x;
  const bool title = origin != 0 && (vertical ? document->titleRow() : document->titleColumn());
  int64_t index = title ? 0 : origin;
  double edge = start;
  const int64_t gridEnd = vertical ? kLastGridRow : LastGridColumn();
  while (edge < limit && !(lastIndex >= 0 && index > lastIndex) && index <= gridEnd) {
    const double size = (vertical ? geometry.rowHeight(index) : geometry.columnWidth(index)) * scale;
    // A sheet too small to see still ends.
    if (!(size > 0)) break;
    spans.push_back(CALabelSpan{index, edge, edge + size});
    edge += size;
    index = (title && index == 0) ? origin : index + 1;
  }
  return spans;
}

const CALabelSpan* LabelEdgeAt(const std::vector<CALabelSpan>& spans, double position, bool scrolledTitle) {
  for (size_t i = scrolledTitle ? 1 : 0; i < spans.size(); ++i) {
    const double edge = spans[i].end;
    if (edge - kLabelEdgeSlop <= position && position < edge + kLabelEdgeSlop) return &spans[i];
  }
  return nullptr;
}

int64_t ResizeInterval(bool columns, bool freeSize, int32_t unitCode) {
  if (!columns) return 12700;
  if (freeSize) return 0;
  switch (unitCode) {
    case 1:
    case 2:
      return 114300;  // an eighth of an inch
    case 5:
      return 36000;  // a millimetre
    default:
      return 12700;
  }
}

int64_t ResizedSize(double position, double anchor, double scale, int64_t interval, bool column,
                    double padding) {
  if (!(scale > 0)) scale = 1.0;
  const float points = std::max(float((position - anchor) / scale - padding), 0.0f);
  int64_t size = int64_t(double(points) * double(kEmuPerPoint));
  if (interval > 0) {
    const int64_t half = size + interval / 2;
    size = half - half % interval;
  }
  if (column && size < 2) size = 1;
  return size;
}

uint64_t DropSlotAt(const std::vector<CALabelSpan>& spans, double start, int64_t first, int64_t last,
                    double position) {
  uint64_t slot = 0;
  double edge = start;
  for (const CALabelSpan& span : spans) {
    if (span.index >= first && span.index <= last) continue;
    edge += span.end - span.start;
    if (edge > position) break;
    ++slot;
  }
  return slot;
}

int64_t DropIndexForSlot(uint64_t slot, int64_t origin, bool title) {
  // With a pinned title line, slot 0 lies before it; otherwise before the first line shown.
  if (title && origin != 0) return slot == 0 ? 0 : origin + int64_t(slot) - 1;
  return origin + int64_t(slot);
}

QRectF SizeTipRect(bool row, const QPointF& mouse, const QSizeF& textSize, const QRectF& strip) {
  const double height = std::ceil(textSize.height() + kTipTextMargin);
  if (row) {
    QRectF box(strip.x() + 1.0, mouse.y() + kTipDistance, strip.width() - 2.0, height);
    if (box.bottom() + kTipDistance > strip.bottom() && mouse.y() > 2 * kTipDistance + height)
      box.moveTop(mouse.y() - height - kTipDistance);
    return box;
  }
  const double width = std::max(std::ceil(textSize.width() + kTipDistance), kTipMinimumWidth);
  QRectF box(mouse.x() + kTipDistance, strip.y() + std::rint((strip.height() - height) * 0.5), width, height);
  if (box.right() + kTipDistance > strip.right() && mouse.x() > 2 * kTipDistance + width)
    box.moveLeft(mouse.x() - width - kTipDistance);
  return box;
}

int64_t SizeTipValue(const CADocument& document, bool row, int64_t index, bool wholeDocument) {
  if (row) {
    if (wholeDocument) return document.minimumHeight();
    const CARow* line = document.row(index);
    return line ? line->minimumHeight() : 0;
  }
  if (wholeDocument) return document.defaultWidth();
  const CAColumn* column = document.column(index);
  if (!column || column->digitCount() >= 0) {
    const double padding = double(document.cellPadding().x) / double(kEmuPerPoint);
    return int64_t((double(document.widthOfColumn(index)) - 2.0 * padding) * double(kEmuPerPoint));
  }
  return column->width();
}
