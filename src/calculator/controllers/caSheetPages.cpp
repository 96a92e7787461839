#include "calculator/controllers/caSheetPages.h"

#include "calculator/model/CABorder.h"
#include "calculator/model/CADocument.h"
#include "calculator/views/CAAxisOffsets.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CAGridPainter.h"
#include "calculator/views/CASpreadsheetView.h"
#include "calculator/views/caSheetLabels.h"
#include "platform/FLError.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
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

// The largest paper side the print settings may give, in points (200 inches).
constexpr double kLargestPaperSide = 14400;
constexpr const char* kPrintInfoPaper = "paper";
constexpr const char* kPrintInfoLandscape = "landscape";

// The last line of each page along one axis, from `start` until the extent's line is placed or
// `limit` pages are made (then *cut is set). Runs of lines of the default size are taken at once,
// as many as the page still holds, so a sheet billions of rows long costs a step a page.
std::vector<int64_t> BreaksAlong(const CAAxisOffsets& axis, double room, int64_t start, int64_t extent,
                                 size_t limit, bool* cut) {
  std::vector<int64_t> breaks;
  const double common = axis.defaultSize();
  while (start <= extent) {
    if (breaks.size() >= limit) {
      *cut = true;
      break;
    }
    double used = axis.sizeOf(start);
    int64_t last = start;
    for (;;) {
      const int64_t run = axis.nextOccupiedAfter(last) - last - 1;
      if (run > 0) {
        // As many of the run as fit, corrected for the division's rounding.
        const double whole = std::floor((room - used) / common);
        int64_t fit = whole <= 0 ? 0 : whole >= double(run) ? run : int64_t(whole);
        while (fit > 0 && used + double(fit) * common > room) --fit;
        while (fit < run && used + double(fit + 1) * common <= room) ++fit;
        used += double(fit) * common;
        last += fit;
        if (fit < run) break;
      }
      const double next = axis.sizeOf(last + 1);
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

// The cells that hold content and the columns their texts overflow into as shown: the empty
// placeholders of an overflow laid out once, far to the right, print no pages of their own.
GridPoint SheetExtent(const CADocument& document) {
  const GridPoint extent = document.contentExtent(true).endPoint;
  return GridPoint{std::max<int64_t>(extent.x, 0), std::max<int64_t>(extent.y, 0)};
}

QSizeF Ceiled(const QSizeF& size) { return QSizeF(std::ceil(size.width()), std::ceil(size.height())); }

// Whether drawing the content costs more than kMaxSheetPages sheets of that paper would: one
// page that holds the whole sheet still draws each of its rows and columns.
bool CoversTooManyPages(const QSizeF& content, const QSizeF& paper) {
  return std::ceil(content.width() / paper.width()) * std::ceil(content.height() / paper.height()) >
         double(kMaxSheetPages);
}

QSizeF PrintedLabelExtent(const CADocument& document) {
  return document.printLabels() ? LabelExtent(document) : QSizeF(0, 0);
}

}  // namespace

CAPageBreaks SheetPageBreaks(const CAGridGeometry& geometry, const QSizeF& room, const GridPoint& extent,
                             const GridPoint& start, int64_t pageLimit) {
  CAPageBreaks breaks;
  const size_t limit = size_t(std::max<int64_t>(pageLimit, 1));
  breaks.columns = BreaksAlong(geometry.columns(), room.width(), start.x, extent.x, limit, &breaks.cut);
  // The pages run across, then down: each page row costs as many pages as there are columns.
  const size_t rowLimit = std::max<size_t>(limit / std::max<size_t>(breaks.columns.size(), 1), 1);
  breaks.rows = BreaksAlong(geometry.rows(), room.height(), start.y, extent.y, rowLimit, &breaks.cut);
  return breaks;
}

QSizeF SheetPageRoom(const CADocument& document, const QSizeF& paper) {
  const double width = paper.width() - double(document.leftMargin() + document.rightMargin()) / double(kEmuPerPoint);
  const double height = paper.height() - double(document.topMargin() + document.bottomMargin()) / double(kEmuPerPoint);
  return QSizeF(std::max(width, 1.0), std::max(height, 1.0));
}

// ---- Print settings -------------------------------------------------------------------------

QByteArray PrintInfoFromPageLayout(const QPageLayout& layout) {
  const QSizeF paper = layout.pageSize().size(QPageSize::Point);
  QJsonObject object;
  object.insert(QLatin1String(kPrintInfoPaper), QJsonArray{paper.width(), paper.height()});
  object.insert(QLatin1String(kPrintInfoLandscape), layout.orientation() == QPageLayout::Landscape);
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<QPageLayout> PageLayoutFromPrintInfo(const QByteArray& printInfo) {
  // Settings from elsewhere (another program's archive, a damaged file) are not ours to read.
  if (!printInfo.startsWith('{')) return std::nullopt;
  const QJsonObject object = QJsonDocument::fromJson(printInfo).object();
  const QJsonArray paper = object.value(QLatin1String(kPrintInfoPaper)).toArray();
  if (paper.size() != 2) return std::nullopt;
  const double width = paper[0].toDouble();
  const double height = paper[1].toDouble();
  const auto sound = [](double side) { return std::isfinite(side) && side >= 1 && side <= kLargestPaperSide; };
  if (!sound(width) || !sound(height)) return std::nullopt;
  const bool landscape = object.value(QLatin1String(kPrintInfoLandscape)).toBool();
  return QPageLayout(QPageSize(QSizeF(width, height), QPageSize::Point),
                     landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF());
}

QPageLayout DocumentPageLayout(const CADocument& document) {
  return PageLayoutFromPrintInfo(document.printInfo())
      .value_or(QPageLayout(QPageSize(QSizeF(kDefaultPaperWidth, kDefaultPaperHeight), QPageSize::Point),
                            QPageLayout::Portrait, QMarginsF()));
}

QSizeF DocumentPaperSize(const CADocument& document) {
  const std::optional<QPageLayout> layout = PageLayoutFromPrintInfo(document.printInfo());
  return layout ? layout->fullRect(QPageLayout::Point).size() : QSizeF(kDefaultPaperWidth, kDefaultPaperHeight);
}

// ---- Pages ----------------------------------------------------------------------------------

CASheetPages::CASheetPages(CADocument& document, CAPageMode mode, const QSizeF& paper)
    : document_(document), mode_(mode), extent_(SheetExtent(document)) {
  const CAGridGeometry geometry(&document);
  const bool pdf = mode == CAPageMode::WholePdf || mode == CAPageMode::FirstPagePdf;
  const bool paginate = mode == CAPageMode::Paginate || mode == CAPageMode::FirstPagePdf;
  const QSizeF sheet = geometry.absoluteRectForRange(GridRange{{0, 0}, extent_}).size();
  QSizeF page;
  if (mode == CAPageMode::WholePdf) {
    page = sheet + QSizeF(kPdfSlack, kPdfSlack);
  } else if (mode == CAPageMode::FirstPagePdf) {
    // The preview shows what the first printed page holds, so the margins are kept.
    page = SheetPageRoom(document, DocumentPaperSize(document));
  } else {
    page = QSizeF(std::max(paper.width(), 1.0), std::max(paper.height(), 1.0));
  }
  page = Ceiled(page);

  const double band = double(document.headerOffset()) / double(kEmuPerPoint) + document.lineHeight();
  headerOffset_ = document.header().isEmpty() ? 0 : band;
  footerOffset_ = document.footer().isEmpty() ? 0 : band;
  double heightForRows = page.height();
  if (!pdf && paginate) heightForRows -= headerOffset_ + footerOffset_;

  const QSizeF labels = PrintedLabelExtent(document);
  drawOffset_ = QPointF(labels.width(), labels.height());
  GridPoint start{0, 0};
  GridPoint walkExtent = extent_;
  if (paginate && document.titleColumn()) {
    drawOffset_.rx() += geometry.columnWidth(0);
    start.x = 1;
    walkExtent.x = std::max<int64_t>(walkExtent.x, 2);
  }
  if (paginate && document.titleRow()) {
    drawOffset_.ry() += geometry.rowHeight(0);
    start.y = 1;
    walkExtent.y = std::max<int64_t>(walkExtent.y, 2);
  }
  // A PDF page grows by the labels and titles; paper leaves less room for cells.
  const QSizeF room = pdf ? QSizeF(page.width(), heightForRows)
                          : QSizeF(page.width() - drawOffset_.x(), heightForRows - drawOffset_.y());
  if (paginate) {
    // The preview shows the first page alone: the walk ends there, however long the sheet.
    const bool firstOnly = mode == CAPageMode::FirstPagePdf;
    breaks_ = SheetPageBreaks(geometry, QSizeF(std::max(room.width(), 1.0), std::max(room.height(), 1.0)),
                              walkExtent, start, firstOnly ? 1 : kMaxSheetPages);
    tooManyPages_ = breaks_.cut && !firstOnly;
  } else {
    breaks_.columns = {extent_.x};
    breaks_.rows = {extent_.y};
  }
  if (breaks_.columns.empty()) breaks_.columns = {walkExtent.x};
  if (breaks_.rows.empty()) breaks_.rows = {walkExtent.y};

  const QSizeF extras(drawOffset_.x(), drawOffset_.y() + headerOffset_ + footerOffset_);
  switch (mode) {
    case CAPageMode::Paginate:
      pageRect_ = QRectF(QPointF(0, 0), page);
      break;
    case CAPageMode::ScaleToFit: {
      const QSizeF content = sheet + extras;
      tooManyPages_ = CoversTooManyPages(content, page);
      if (content.width() > page.width() || content.height() > page.height()) {
        pageScale_ = std::min(page.width() / content.width(), page.height() / content.height());
        page = Ceiled(page / pageScale_);
      }
      pageRect_ = QRectF(QPointF(0, 0), page);
      break;
    }
    case CAPageMode::WholePdf:
      pageRect_ = QRectF(QPointF(0, 0), Ceiled(page + extras));
      // Counted in the sheets of the document's paper, as printing would give them.
      tooManyPages_ = CoversTooManyPages(pageRect_.size(), SheetPageRoom(document, DocumentPaperSize(document)));
      break;
    case CAPageMode::FirstPagePdf: {
      // The first page's cells (the title column and row are among them) with its labels and
      // bands, so that nothing drawn on it is cut off.
      const QSizeF cells =
          geometry.absoluteRectForRange(GridRange{{0, 0}, {breaks_.columns.front(), breaks_.rows.front()}}).size();
      pageRect_ = QRectF(QPointF(0, 0), Ceiled(cells + labels + QSizeF(0, headerOffset_ + footerOffset_)));
      break;
    }
  }
}

GridPoint CASheetPages::pageOrigin(int64_t page) const {
  const int64_t across = int64_t(breaks_.columns.size());
  const int64_t column = page % across;
  const int64_t row = page / across;
  return GridPoint{column == 0 ? 0 : breaks_.columns[size_t(column - 1)] + 1,
                   row == 0 ? 0 : breaks_.rows[size_t(row - 1)] + 1};
}

GridPoint CASheetPages::pageBottom(int64_t page) const {
  const int64_t across = int64_t(breaks_.columns.size());
  return GridPoint{breaks_.columns[size_t(page % across)], breaks_.rows[size_t(page / across)]};
}

GridPoint CASheetPages::maxGridPointForPage(int64_t page) const {
  const GridPoint bottom = pageBottom(page);
  if (document_.fillPages()) return bottom;
  return GridPoint{std::min(bottom.x, extent_.x), std::min(bottom.y, extent_.y)};
}

void CASheetPages::drawPage(QPainter& painter, int64_t page, const CASpreadsheetView* sheet) const {
  if (page < 0 || page >= pageCount()) return;
  const GridPoint origin = pageOrigin(page);
  const GridPoint last = maxGridPointForPage(page);
  CAGridGeometry geometry(&document_);
  geometry.setOrigin(origin);
  const QRectF cells = geometry.rectForRange(GridRange{origin, last});
  geometry.setVisibleSize(QSizeF(cells.right(), cells.bottom()));
  CAGridPaintOptions options;
  options.mode = CAGridPaintMode::Printing;
  options.pageScale = pageScale_;
  options.pageLastCell = last;
  options.pageBottom = pageBottom(page);
  options.pageRect = QRectF(QPointF(0, 0), QSizeF(cells.right(), cells.bottom()));
  options.drawExtrasForPrinting = [&](QPainter& target) { drawExtras(target, page, origin, last, sheet); };
  CAGridPainter(painter, geometry, document_, options).paint(options.pageRect);
}

void CASheetPages::drawExtras(QPainter& painter, int64_t page, const GridPoint& origin, const GridPoint& last,
                              const CASpreadsheetView* sheet) const {
  QRectF rect(QPointF(0, 0), pageRect_.size());
  if (!document_.header().isEmpty()) {
    drawHeaderLine(painter, false, rect, page + 1);
    rect.setTop(rect.top() + headerOffset_);
  }
  if (!document_.footer().isEmpty()) {
    const double height = document_.lineHeight();
    drawHeaderLine(painter, true, QRectF(rect.left(), rect.bottom() - height, rect.width(), height), page + 1);
    rect.setHeight(rect.height() - footerOffset_);
  }
  QPointF shift(0, rect.top());
  if (document_.printLabels()) {
    const QSizeF labels = LabelExtent(document_);
    if (sheet) {
      painter.save();
      painter.translate(0, rect.top());
      CAGridGeometry geometry(&document_);
      geometry.setOrigin(origin);
      CASheetDrawInfo info = sheet->drawInfo(true, origin, last, QRectF(QPointF(0, 0), rect.size()));
      info.halfLineWidth = 0.5 / pageScale_;
      sheet->drawLabels(painter, geometry, &info);
      painter.restore();
    }
    shift += QPointF(labels.width(), labels.height());
  }
  if (!shift.isNull()) painter.translate(shift);
}

void CASheetPages::drawHeaderLine(QPainter& painter, bool footer, const QRectF& rect, int64_t page) const {
  const std::array<QString, 3> texts = document_.headerStrings(footer, page, pageCount());
  const QFont font = document_.font();
  const QFontMetricsF metrics(font, painter.device());
  painter.save();
  painter.setFont(font);
  painter.setPen(Qt::black);
  const double baseline = rect.top() + metrics.ascent();
  const double widths[3] = {metrics.horizontalAdvance(texts[0]), metrics.horizontalAdvance(texts[1]),
                            metrics.horizontalAdvance(texts[2])};
  const double lefts[3] = {rect.left(), rect.left() + (rect.width() - widths[1]) / 2, rect.right() - widths[2]};
  for (size_t i = 0; i < texts.size(); ++i) {
    if (!texts[i].isEmpty()) painter.drawText(QPointF(lefts[i], baseline), texts[i]);
  }
  painter.restore();
}

// ---- Output ---------------------------------------------------------------------------------

QString TooManyPagesReason() {
  return QString::fromLatin1(kTooManyPagesMessage) + QLatin1Char(' ') + TooManyPagesInformation();
}

QString TooManyPagesInformation() {
  return QString::fromLatin1(kTooManyPagesInfo).arg(QLocale().toString(kMaxSheetPages));
}

QByteArray SheetPdf(CADocument& document, bool firstPageOnly, QSizeF* size, const CASpreadsheetView* sheet,
                    FLError* error) {
  document.setPrintDate();
  const CASheetPages pages(document, firstPageOnly ? CAPageMode::FirstPagePdf : CAPageMode::WholePdf);
  if (pages.tooManyPages()) {
    SetError(error, kTooManyPagesCode, TooManyPagesReason());
    return {};
  }
  const QSizeF pageSize = pages.paperSize();
  if (size) *size = pageSize;

  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setResolution(72);  // one device unit per point
  writer.setPageLayout(QPageLayout(QPageSize(pageSize, QPageSize::Point), QPageLayout::Portrait, QMarginsF()));
  QPainter painter;
  if (!painter.begin(&writer)) return {};
  pages.drawPage(painter, 0, sheet);
  painter.end();
  return data;
}

bool PrintSheet(CADocument& document, QPrinter& printer, const CASpreadsheetView* sheet, bool* tooManyPages) {
  if (tooManyPages) *tooManyPages = false;
  document.setPrintDate();
  // The page is drawn in points, as for the PDF: text laid out in a font's point size on a
  // printer of high resolution came out that many times too large (the labels and the bands).
  printer.setResolution(72);
  const double pointScale = printer.resolution() / 72.0;
  const QSizeF room = printer.pageLayout().paintRect(QPageLayout::Point).size();
  const CASheetPages pages(document, document.scaleToFit() ? CAPageMode::ScaleToFit : CAPageMode::Paginate, room);
  if (pages.tooManyPages()) {
    if (tooManyPages) *tooManyPages = true;
    return false;
  }
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  painter.scale(pointScale * pages.pageScale(), pointScale * pages.pageScale());
  for (int64_t page = 0; page < pages.pageCount(); ++page) {
    if (page > 0) printer.newPage();
    painter.save();
    pages.drawPage(painter, page, sheet);
    painter.restore();
  }
  return painter.end();
}
