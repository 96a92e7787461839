#include "calculator/views/CASheetLabelPainter.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/caColumnLabels.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CAGridPainter.h"
#include "calculator/views/caSheetLabels.h"
#include "framlet/foundation/Kolor.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

// The border between the labels and the cells.
const QColor kLabelBorderColor(64, 64, 64);
// Labels of the cells in the selection, when it is not whole rows or columns.
const QColor& PartlySelectedFill(bool darkMode) { return GrayColor(darkMode ? 5 : 3); }

}  // namespace

QFont LabelFont(const CADocument& document, double scale) {
  QFont font = document.font();
  const double zoom = document.zoomValue();
  double size = font.pointSizeF() > 0 ? font.pointSizeF() : 12.0;
  if (zoom > 1.0) size *= zoom;
  if (scale < 1.0) size *= scale;
  font.setPointSizeF(std::max(size, 1.0));
  font.setBold(true);
  return font;
}

CASheetLabelPainter::CASheetLabelPainter(QPainter& painter, const CAGridGeometry& geometry,
                                         const CADocument& document, CASheetDrawInfo& info)
    : painter_(painter), geometry_(geometry), document_(document), info_(info) {
  selectionType_ = TypeOfRange(&plainSelection_, info_.selection);
}

void CASheetLabelPainter::strokeLines(QPainterPath& lines) {
  if (lines.isEmpty()) return;
  QPen pen(GridLineColor(), 2 * info_.halfLineWidth);
  pen.setCapStyle(Qt::FlatCap);
  painter_.strokePath(lines, pen);
  lines = QPainterPath();
}

void CASheetLabelPainter::paint(const CALabelMove* move, bool darkMode) {
  darkMode_ = darkMode;
  if (!info_.textColor.isValid()) info_.textColor = TextColorForBackground(info_.backgroundColor);
  const double half = info_.halfLineWidth;
  QPainterPath lines;
  if (!info_.printing) {
    lines.moveTo(info_.bounds.width() - half, 0);
    lines.lineTo(info_.bounds.width() - half, info_.bounds.height());
  }
  drawStrip(false, lines, move && move->columns ? move : nullptr);
  drawStrip(true, lines, move && !move->columns ? move : nullptr);
  strokeLines(lines);
  QPen border(kLabelBorderColor, 2 * half);
  border.setCapStyle(Qt::FlatCap);
  painter_.setPen(border);
  painter_.drawLine(QPointF(0, info_.labelHeight - half), QPointF(info_.columnLabelsEnd, info_.labelHeight - half));
  painter_.drawLine(QPointF(info_.labelWidth - half, 0), QPointF(info_.labelWidth - half, info_.rowLabelsEnd));
}

void CASheetLabelPainter::drawLabel(bool row, int64_t index, double start, double end, QPainterPath& lines) {
  const double half = info_.halfLineWidth;
  QColor textColor = info_.textColor;
  const bool selected = row ? index >= plainSelection_.startPoint.y && index <= plainSelection_.endPoint.y
                            : index >= plainSelection_.startPoint.x && index <= plainSelection_.endPoint.x;
  if (!info_.printing && selected && selectionType_ != kRangeInvalid) {
    const QColor fill = selectionType_ == (row ? kRangeRows : kRangeColumns) ? info_.selectedBackground
                                                                              : PartlySelectedFill(darkMode_);
    painter_.fillRect(row ? QRectF(0, start, info_.labelWidth, end - start)
                          : QRectF(start, 0, end - start, info_.labelHeight),
                      fill);
    textColor = TextColorForBackground(fill);
  } else if (info_.printing) {
    textColor = Qt::black;
  }
  painter_.setPen(textColor);
  painter_.setFont(info_.font);
  const QFontMetricsF metrics(info_.font);
  if (row) {
    const QString text = QString::number(index + 1);
    const double x = info_.labelWidth - 5.0 - metrics.horizontalAdvance(text);
    double y = (end - start - 1.0 - info_.ascender) * 0.5 + start - info_.leading;
    y -= info_.scale >= 1.0 ? 2.0 : 1.0;
    painter_.drawText(QPointF(x, y + info_.ascender), text);
    lines.moveTo(0, end - half);
    lines.lineTo(info_.labelWidth, end - half);
  } else {
    const QString text = LabelForColumn(uint64_t(index));
    const double x = (start + end - metrics.horizontalAdvance(text)) * 0.5;
    const double y = (info_.labelHeight - 1.0 - info_.ascender) * 0.5 - info_.leading;
    painter_.drawText(QPointF(x, y + info_.ascender), text);
    lines.moveTo(end - half, 0);
    lines.lineTo(end - half, info_.labelHeight);
  }
}

void CASheetLabelPainter::drawStrip(bool row, QPainterPath& lines, const CALabelMove* move) {
  const QRectF& bounds = info_.bounds;
  const double half = info_.halfLineWidth;
  const double thickness = row ? info_.labelWidth : info_.labelHeight;
  const double stripStart = row ? info_.labelHeight : info_.labelWidth;
  const double stripEnd = row ? bounds.height() : bounds.width();
  // A band across the strip from a to b, and a line across it at a.
  const auto band = [&](double a, double b) {
    return row ? QRectF(0, a, thickness, b - a) : QRectF(a, 0, b - a, thickness);
  };
  const auto lineAt = [&](double a) {
    lines.moveTo(row ? QPointF(0, a - half) : QPointF(a - half, 0));
    lines.lineTo(row ? QPointF(thickness, a - half) : QPointF(a - half, thickness));
  };
  painter_.save();
  // Printed row labels are clipped too: a page's last row may be cut.
  if (row || !info_.printing)
    painter_.setClipRect(row ? QRectF(bounds.x(), stripStart, thickness, bounds.height() - stripStart)
                             : QRectF(stripStart, bounds.y(), bounds.width() - stripStart, thickness));
  // While moving, the block leaves room for as many more lines as it covers.
  const double limit = stripEnd + (move ? move->extent : 0);
  const std::vector<CALabelSpan> spans = ShownLabelSpans(geometry_, row, stripStart, info_.scale, limit,
                                                         row ? info_.lastPoint.y : info_.lastPoint.x);
  double& labelsEnd = row ? info_.rowLabelsEnd : info_.columnLabelsEnd;
  double edge = stripStart;
  uint64_t slot = 0;
  bool gapDrawn = false;
  const auto drawGap = [&] {
    painter_.fillRect(band(edge, edge + move->extent), Qt::white);
    edge += move->extent;
    lineAt(edge);
    gapDrawn = true;
  };
  for (const CALabelSpan& span : spans) {
    if (edge >= stripEnd) break;
    if (move) {
      if (span.index >= move->first && span.index <= move->last) continue;
      if (!gapDrawn && slot == move->dropSlot) drawGap();
      ++slot;
    }
    const double end = edge + (span.end - span.start);
    drawLabel(row, span.index, edge, end, lines);
    labelsEnd = end;
    edge = end;
  }
  if (move) {
    if (!gapDrawn && edge < stripEnd) drawGap();
    strokeLines(lines);
    // The moved labels under the mouse, drawn plain.
    painter_.fillRect(band(move->position, move->position + move->extent), move->background);
    lineAt(move->position);
    const GridRange saved = plainSelection_;
    plainSelection_ = GridRange{{-1, -1}, {-1, -1}};
    double start = move->position;
    for (int64_t index = move->first; index <= move->last && start < stripEnd; ++index) {
      const double end = start + (row ? geometry_.rowHeight(index) : geometry_.columnWidth(index)) * info_.scale;
      drawLabel(row, index, start, end, lines);
      start = end;
    }
    plainSelection_ = saved;
    strokeLines(lines);
  }
  painter_.restore();
}
