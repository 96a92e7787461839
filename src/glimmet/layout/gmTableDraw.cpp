#include "glimmet/layout/gmTableDraw.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/layout/gmLineDraw.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/layout/gmTableLayout.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBorderPlan.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace {

constexpr Kolor kGuideKolor = 0x64C0C0C0;
constexpr Kolor kDefaultStripe = 0x64FAF6F3;
constexpr Kolor kDarkStripe = 0x64781404;

double Points(int64_t emu) { return double(emu) / kEmuPerPoint; }

const QLinearGradient& ColumnGradient(bool dark, const QRectF& rect) {
  static QLinearGradient gradient;
  const QColor a = dark ? QColor(96, 96, 96) : QColor(Qt::white);
  const QColor b = dark ? QColor(48, 48, 48) : QColor(226, 226, 226);
  gradient = QLinearGradient(rect.topLeft(), rect.bottomLeft());
  gradient.setColorAt(0, a);
  gradient.setColorAt(0.5, b);
  gradient.setColorAt(1, a);
  return gradient;
}

// Whether the row is a stripe row: rows counted from 0 in the table, odd ones (with a title
// row, those whose number less one is odd).
bool IsStripeRow(GlimmetDoc* doc, const KnotInfo& table, const KnotInfo& row, bool titleRow) {
  uint32_t number = 0;
  for (uint32_t cp = table.first + 1; cp < row.first;) {
    KnotInfo walk;
    if (!FetchKnot(doc, cp, &walk, kKnotRow) || walk.limit <= cp) {
      LogAssert("Row not found", __func__, __FILE__, __LINE__);
      return false;
    }
    cp = walk.limit;
    ++number;
  }
  return titleRow ? number >= 1 && (number - 1) % 2 == 1 : number % 2 == 1;
}

}  // namespace

bool DrawTableRow(QPainter& painter, const LineFormat& rowLine, const QRectF& lineRect, const QRectF& clip) {
  GlimmetDoc* doc = rowLine.doc;
  GMRowRects rects;
  if (!doc || !GetRowRectangles(rowLine, &rects)) return false;
  Pane* pane = rowLine.pane;
  const PropRecord& props = rects.props;
  const bool printing = rowLine.modeFlags & kFormatPrinting;
  const bool highlightOnly = rowLine.modeFlags & kFormatHighlightOnly;
  const bool firstRow = rects.row.first == rects.table.first + 1;
  const bool lastRow = rects.row.limit + 1 == rects.table.limit;
  const bool titleRow = firstRow && props.body[TableProp::titleRow];
  const bool dark = rowLine.darkMode;
  Kolor tableColor = props.get<uint32_t>(TableProp::color);
  bool recoloured = false;
  if (dark && (!KolorIsColor(tableColor) || tableColor == kWhiteKolor)) {
    tableColor = KolorFromColorCore(QGuiApplication::palette().color(QPalette::Base));
    recoloured = true;
  }
  const bool stripe = !titleRow && props.body[TableProp::stripes] &&
                      IsStripeRow(doc, rects.table, rects.row, props.body[TableProp::titleRow] != 0);
  const QPointF origin = lineRect.topLeft();
  auto place = [&](const GMRect& r) { return QRectF(origin.x() + r.x, origin.y() + r.y, r.width, r.height); };
  const QRectF rowRect = place(rects.rowRect);
  if (highlightOnly) tableColor = kNoKolor;
  if (KolorIsColor(tableColor)) painter.fillRect(rowRect, ColorFromKolor(tableColor));
  const bool highlight = !printing && pane && pane->contentsKind == kPaneContentsPlain && pane->selLimit >= int32_t(rowLine.firstCp) &&
                         pane->selFirst <= int32_t(rowLine.limitCp) &&
                         ShouldHighlightSelection(doc, pane) != kHighlightNone;
  // The pane's selected cell columns, and whether they are drawn hidden in this row.
  const bool cellColumns = pane && pane->cellFirst >= 0 && pane->cellLimit > pane->cellFirst;
  auto inCellColumns = [&](uint32_t c) {
    return cellColumns && int32_t(c) >= pane->cellFirst && int32_t(c) < pane->cellLimit;
  };
  const bool hiding = doc->hideSelectedCells && cellColumns && pane->selFirst >= int32_t(rects.row.first) &&
                      pane->selFirst < int32_t(rects.row.limit);
  const BorderStyle border = BorderStyleAt(props, kTableBorderOffset);
  const uint32_t columns = uint32_t(rects.cells.size());
  LineFormat line;
  InitFormatLine(doc, pane, &line, (rowLine.modeFlags & ~kFormatHighlightOnly) | kFormatCellText);
  for (uint32_t c = 0; c < columns; ++c) {
    if (highlightOnly && !inCellColumns(c)) continue;
    const QRectF cell = place(rects.cells[c]);
    const bool outer = props.body[TableProp::outerMargins];
    const double left = outer && c == 0 ? 0 : Points(props.get<int64_t>(TableProp::cellLeft));
    const double top = outer && firstRow ? 0 : Points(props.get<int64_t>(TableProp::cellTop));
    if (border.kind != 0 && !highlightOnly) {
      DrawBorder(painter, border, false,
                 RowBorderDisplay(uint32_t(border.kind), rects.rowNumber, firstRow, lastRow, c, columns), cell);
    }
    DocRange range;
    if (IndexAndRangeForCell(&rects.table, &rects.row, 0, int32_t(c), &range) == kGMNone) continue;
    Kolor cellColor = kNoKolor;
    const uint32_t closing = doc->knots.indexAtCp(range.limit);
    if (closing != kGMNone) cellColor = doc->knots.at(closing).cellColor();
    // What the cell's lines stand on, for the caret's colour; none where a highlight or the
    // title gradient must not be painted over.
    Kolor background = tableColor;
    const bool hidden = hiding && inCellColumns(c);
    if (highlight && inCellColumns(c) && !doc->hideSelectedCells) {
      DrawLineHighlight(painter, doc, pane, cell);
      background = kNoKolor;
    } else if (KolorIsColor(cellColor)) {
      if (dark && cellColor == kWhiteKolor) cellColor = KolorFromColorCore(QGuiApplication::palette().color(QPalette::Base));
      painter.fillRect(cell, ColorFromKolor(cellColor));
      background = cellColor;
    } else if (titleRow) {
      painter.fillRect(cell, ColumnGradient(dark, cell));
      background = kNoKolor;
    } else if (stripe) {
      Kolor stripeColor = props.get<uint32_t>(TableProp::stripeColor);
      if (dark && stripeColor == kDefaultStripe && !recoloured) stripeColor = kDarkStripe;
      if (KolorIsColor(stripeColor)) {
        painter.fillRect(cell, ColorFromKolor(stripeColor));
        background = stripeColor;
      }
    }
    const QRectF content(cell.x() + left, cell.y() + top, cell.width() - left, cell.height() - top);
    if (hidden || (!printing && clip.width() > 0 && !content.intersects(clip))) continue;
    line.background = background;
    double y = content.y();
    for (uint32_t cp = range.first; cp < range.limit;) {
      if (!FormatLine(cp, rects.widths[c], &line) || line.limitCp <= cp) break;
      if (printing && clip.height() > 0 && y + line.lineHeight > clip.bottom()) break;
      DrawFormattedLine(painter, line, background, 0, QRectF(content.x(), y, rects.widths[c] / double(kEmuPerPoint),
                                                             line.lineHeight),
                        clip);
      y += line.lineHeight;
      cp = line.limitCp;
    }
  }
  ReleaseLineFormat(&line);
  const double zoom = pane && pane->zoom > 0 ? pane->zoom : 1.0;
  if (titleRow && border.kind == 0 && !highlightOnly) {
    auto snap = [&](double v) { return std::rint(v * zoom) / zoom; };
    painter.save();
    if (clip.width() > 0) painter.setClipRect(clip.adjusted(-2, -2, 2, 2), Qt::IntersectClip);
    const QColor guide = ColorFromKolor(kGuideKolor);
    QPen pen(guide, 1 / zoom);
    painter.setPen(pen);
    painter.drawLine(QPointF(rowRect.left(), snap(rowRect.top())), QPointF(rowRect.right(), snap(rowRect.top())));
    painter.drawLine(QPointF(rowRect.left(), snap(rowRect.bottom())), QPointF(rowRect.right(), snap(rowRect.bottom())));
    for (uint32_t c = 0; c + 1 < columns; ++c) {
      const double x = snap(place(rects.cells[c]).right());
      painter.drawLine(QPointF(x, rowRect.top()), QPointF(x, rowRect.bottom()));
    }
    painter.restore();
  }
  if (rowLine.marker.height() != 0) {
    const QRectF marker = rowLine.marker.translated(origin);
    painter.fillRect(marker, ColorFromKolor(rowLine.markerColor));
    const double pixel = 1 / zoom;
    const QColor inverse = ColorFromKolor(rowLine.markerColor ^ 0xFFFFFF);
    painter.fillRect(QRectF(marker.left() - pixel, marker.top(), pixel, marker.height()), inverse);
    painter.fillRect(QRectF(marker.right(), marker.top(), pixel, marker.height()), inverse);
  }
  return true;
}
