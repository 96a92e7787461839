#include "calculator/controllers/caSheetPages.h"

#include "calculator/model/CABorder.h"
#include "calculator/model/CADocument.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CAGridPainter.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace {

// The whole sheet's PDF page leaves this much beyond the last cells.
constexpr double kPdfSlack = 2.0;

// The last line of each page along one axis, from line 0 until the extent's line is placed.
template <typename Size>
std::vector<int64_t> BreaksAlong(Size size, double room, int64_t extent) {
  std::vector<int64_t> breaks;
  int64_t start = 0;
  while (start <= extent) {
    double used = size(start);
    int64_t last = start;
    for (;;) {
      const double next = size(last + 1);
      // Empty lines past the sheet would never fill the page.
      if (used + next > room || (next <= 0 && last >= extent)) break;
      used += next;
      ++last;
    }
    breaks.push_back(last);
    start = last + 1;
  }
  return breaks;
}

GridPoint SheetExtent(const CADocument& document) {
  const GridPoint extent = document.maxGridPoint();
  return GridPoint{std::max<int64_t>(extent.x, 0), std::max<int64_t>(extent.y, 0)};
}

QSizeF SheetSize(const CADocument& document) {
  CAGridGeometry geometry(&document);
  return geometry.absoluteRectForRange(GridRange{{0, 0}, SheetExtent(document)}).size();
}

}  // namespace

CAPageBreaks SheetPageBreaks(const CAGridGeometry& geometry, const QSizeF& room, const GridPoint& extent) {
  CAPageBreaks breaks;
  breaks.columns = BreaksAlong([&](int64_t x) { return geometry.columnWidth(x); }, room.width(), extent.x);
  breaks.rows = BreaksAlong([&](int64_t y) { return geometry.rowHeight(y); }, room.height(), extent.y);
  return breaks;
}

QSizeF SheetPageRoom(const CADocument& document, const QSizeF& paper) {
  const double width = paper.width() - double(document.leftMargin() + document.rightMargin()) / double(kEmuPerPoint);
  const double height = paper.height() - double(document.topMargin() + document.bottomMargin()) / double(kEmuPerPoint);
  return QSizeF(std::max(width, 1.0), std::max(height, 1.0));
}

void DrawSheetPage(QPainter& painter, CADocument& document, const GridPoint& first, const GridPoint& last) {
  CAGridGeometry geometry(&document);
  geometry.setOrigin(first);
  const QRectF page = geometry.rectForRange(GridRange{first, last});
  geometry.setVisibleSize(QSizeF(page.right(), page.bottom()));
  CAGridPaintOptions options;
  options.mode = CAGridPaintMode::Printing;
  options.pageLastCell = last;
  options.pageBottom = last;
  options.pageRect = QRectF(QPointF(0, 0), QSizeF(page.right(), page.bottom()));
  CAGridPainter(painter, geometry, document, options).paint(options.pageRect);
}

QByteArray SheetPdf(CADocument& document, bool firstPageOnly, QSizeF* size) {
  GridPoint last = SheetExtent(document);
  QSizeF pageSize;
  if (firstPageOnly) {
    const CAGridGeometry geometry(&document);
    const QSizeF paper(kDefaultPaperWidth, kDefaultPaperHeight);
    const CAPageBreaks breaks = SheetPageBreaks(geometry, SheetPageRoom(document, paper), last);
    last = GridPoint{breaks.columns.front(), breaks.rows.front()};
    pageSize = geometry.absoluteRectForRange(GridRange{{0, 0}, last}).size();
  } else {
    pageSize = SheetSize(document) + QSizeF(kPdfSlack, kPdfSlack);
  }
  pageSize = QSizeF(std::ceil(pageSize.width()), std::ceil(pageSize.height()));
  if (size) *size = pageSize;

  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setResolution(72);  // one device unit per point
  writer.setPageLayout(QPageLayout(QPageSize(pageSize, QPageSize::Point), QPageLayout::Portrait, QMarginsF()));
  QPainter painter;
  if (!painter.begin(&writer)) return {};
  DrawSheetPage(painter, document, GridPoint{0, 0}, last);
  painter.end();
  return data;
}

bool PrintSheet(CADocument& document, QPrinter& printer) {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  // Points on the page, from the top-left of its printable area.
  const double pointScale = printer.resolution() / 72.0;
  const QSizeF room = printer.pageLayout().paintRect(QPageLayout::Point).size();
  const GridPoint extent = SheetExtent(document);
  if (document.scaleToFit()) {
    const QSizeF sheet = SheetSize(document);
    const double fit = std::min({1.0, room.width() / std::max(sheet.width(), 1.0),
                                 room.height() / std::max(sheet.height(), 1.0)});
    painter.scale(pointScale * fit, pointScale * fit);
    DrawSheetPage(painter, document, GridPoint{0, 0}, extent);
    return painter.end();
  }
  painter.scale(pointScale, pointScale);
  const CAPageBreaks breaks = SheetPageBreaks(CAGridGeometry(&document), room, extent);
  bool firstPage = true;
  int64_t top = 0;
  for (const int64_t bottom : breaks.rows) {
    int64_t left = 0;
    for (const int64_t right : breaks.columns) {
      if (!firstPage) printer.newPage();
      firstPage = false;
      // Without fill pages the grid ends with the sheet's last cells.
      const GridPoint last = document.fillPages() ? GridPoint{right, bottom}
                                                  : GridPoint{std::min(right, extent.x), std::min(bottom, extent.y)};
      DrawSheetPage(painter, document, GridPoint{left, top}, last);
      left = right + 1;
    }
    top = bottom + 1;
  }
  return painter.end();
}
