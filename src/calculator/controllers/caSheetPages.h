// The sheet on paper and in PDF, drawn by the cell grid's own pass: where the pages break (the
// columns and rows each sheet of paper holds), one page drawn onto any painter in points, a PDF
// of the whole sheet on one page or of what the first sheet of paper holds (the preview), and
// every page sent to a printer.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QByteArray>
#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <vector>

class CADocument;
class CAGridGeometry;
class QPainter;
class QPrinter;

// Paper used when the document has no print settings of its own, in points.
inline constexpr double kDefaultPaperWidth = 612;
inline constexpr double kDefaultPaperHeight = 792;

// The last column and the last row of each page, ascending. A column (row) wider than the
// room has a page of its own; the walk goes on until the extent's column (row) is on a page.
struct CAPageBreaks {
  std::vector<int64_t> columns;
  std::vector<int64_t> rows;
};
CAPageBreaks SheetPageBreaks(const CAGridGeometry& geometry, const QSizeF& room, const GridPoint& extent);

// The room a page leaves for cells: the paper less the document's margins.
QSizeF SheetPageRoom(const CADocument& document, const QSizeF& paper);

// Draws the cells from `first` to `last` with the top-left of `first` at the painter's origin.
void DrawSheetPage(QPainter& painter, CADocument& document, const GridPoint& first, const GridPoint& last);

// A PDF of the sheet: the whole sheet on one page, or, for a preview, the first page of the
// default paper. `size` receives the page's size in points.
QByteArray SheetPdf(CADocument& document, bool firstPageOnly, QSizeF* size);

// Every page, across then down, or the whole sheet scaled onto one page when the document
// scales to fit. False when the printer cannot be drawn on.
bool PrintSheet(CADocument& document, QPrinter& printer);
