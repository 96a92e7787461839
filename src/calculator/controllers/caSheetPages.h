// The sheet on paper and in PDF, drawn by the cell grid's own pass: where the pages break (the
// columns and rows each sheet of paper holds, less the header and footer bands, the printed
// labels and the pinned title row and column), one page drawn onto any painter in points with
// its header, footer and labels, a PDF of the whole sheet on one page or of what the first sheet
// of paper holds (the preview), every page sent to a printer, and the page set-up kept in the
// document's print settings.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QByteArray>
#include <QPageLayout>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class CADocument;
class CAGridGeometry;
class CASpreadsheetView;
class QPainter;
class QPrinter;
struct FLError;

// Paper used when the document has no print settings of its own, in points.
inline constexpr double kDefaultPaperWidth = 612;
inline constexpr double kDefaultPaperHeight = 792;

// The most pages a sheet is printed on, and the most page breaks shown in the grid. A cell far
// down would otherwise ask for hundreds of millions of pages, and as many breaks to walk.
inline constexpr int64_t kMaxSheetPages = 100000;
inline constexpr const char* kTooManyPagesMessage = "The sheet is too large to print.";
inline constexpr const char* kTooManyPagesInfo =
    "It would take more than %1 pages. Print a smaller sheet, or move its far cells closer.";
// The error of a PDF refused so (as for a full memory).
inline constexpr int kTooManyPagesCode = -108;
// kTooManyPagesInfo with the page limit; the message and that, for an error's reason.
QString TooManyPagesInformation();
QString TooManyPagesReason();

// The last column and the last row of each page, ascending. A column (row) wider than the
// room has a page of its own; the walk goes on until the extent's column (row) is on a page,
// or until the page limit is reached: then `cut` is set and the breaks are those of the first
// pages only.
struct CAPageBreaks {
  std::vector<int64_t> columns;
  std::vector<int64_t> rows;
  bool cut = false;
};
// The walk starts at `start` (past a pinned title column or row).
CAPageBreaks SheetPageBreaks(const CAGridGeometry& geometry, const QSizeF& room, const GridPoint& extent,
                             const GridPoint& start = GridPoint{0, 0}, int64_t pageLimit = kMaxSheetPages);

// The room a page leaves for cells: the paper less the document's margins.
QSizeF SheetPageRoom(const CADocument& document, const QSizeF& paper);

// The document's page set-up (paper and orientation) as kept in its print settings, and back;
// settings this program did not write give nothing.
QByteArray PrintInfoFromPageLayout(const QPageLayout& layout);
std::optional<QPageLayout> PageLayoutFromPrintInfo(const QByteArray& printInfo);
// The page set-up of the document's print settings, or the default paper upright: printing and
// the page set-up panel both start from it, whatever paper the printer would choose itself.
QPageLayout DocumentPageLayout(const CADocument& document);
// The oriented paper of the document's print settings, or the default paper.
QSizeF DocumentPaperSize(const CADocument& document);

// How the pages are made.
enum class CAPageMode {
  Paginate,    // printing: pages of the paper across then down
  ScaleToFit,  // printing: the whole sheet scaled onto one page
  WholePdf,    // one PDF page as large as the sheet
  FirstPagePdf // one PDF page holding what the first sheet of paper holds
};

// The pages of one print or PDF request. Page numbers count from 0, across then down.
class CASheetPages {
 public:
  // paper: the paper's drawing area in points (for the two printing modes), else ignored.
  CASheetPages(CADocument& document, CAPageMode mode, const QSizeF& paper = QSizeF());

  int64_t pageCount() const { return int64_t(breaks_.columns.size() * breaks_.rows.size()); }
  // The sheet needs more than kMaxSheetPages pages (one page as large as the sheet counts the
  // sheets of paper it covers): it is not printed nor drawn, and the breaks are those of its
  // first pages.
  bool tooManyPages() const { return tooManyPages_; }
  const CAPageBreaks& breaks() const { return breaks_; }
  // View units to page units (1 = 100 %), and the page in view units and on paper in points.
  double pageScale() const { return pageScale_; }
  QSizeF pageSize() const { return pageRect_.size(); }
  QSizeF paperSize() const { return pageRect_.size() * pageScale_; }
  double headerBand() const { return headerOffset_; }
  double footerBand() const { return footerOffset_; }
  // Room taken by the printed labels and the pinned title column and row.
  QPointF drawOffset() const { return drawOffset_; }

  // The first cell of a page, its last by the breaks, and the last one drawn (the sheet's
  // extent ends the grid unless the document fills its pages).
  GridPoint pageOrigin(int64_t page) const;
  GridPoint pageBottom(int64_t page) const;
  GridPoint maxGridPointForPage(int64_t page) const;

  // Draws the page in view units with its top-left at the painter's origin: header, footer,
  // labels (through the sheet view, when given) and cells.
  void drawPage(QPainter& painter, int64_t page, const CASpreadsheetView* sheet) const;

 private:
  void drawExtras(QPainter& painter, int64_t page, const GridPoint& origin, const GridPoint& last,
                  const CASpreadsheetView* sheet) const;
  void drawHeaderLine(QPainter& painter, bool footer, const QRectF& rect, int64_t page) const;

  CADocument& document_;
  CAPageMode mode_;
  GridPoint extent_;
  CAPageBreaks breaks_;
  QRectF pageRect_;
  double pageScale_ = 1.0;
  double headerOffset_ = 0;
  double footerOffset_ = 0;
  QPointF drawOffset_;
  bool tooManyPages_ = false;
};

// A PDF of the sheet: the whole sheet on one page, or, for a preview, the first page of the
// document's paper. `size` receives the page's size in points. Labels are drawn when a sheet
// view is given and the document prints them. A whole sheet of more than kMaxSheetPages pages
// is not drawn: the result is empty and the error gives TooManyPagesReason.
QByteArray SheetPdf(CADocument& document, bool firstPageOnly, QSizeF* size, const CASpreadsheetView* sheet = nullptr,
                    FLError* error = nullptr);

// Every page, across then down, or the whole sheet scaled onto one page when the document
// scales to fit. False when the printer cannot be drawn on, or when the sheet needs more than
// kMaxSheetPages pages (*tooManyPages, when given, is then set and nothing is printed).
bool PrintSheet(CADocument& document, QPrinter& printer, const CASpreadsheetView* sheet = nullptr,
                bool* tooManyPages = nullptr);
