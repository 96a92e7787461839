// Where the cells of a sheet lie in a cell grid view, in unzoomed points, with no widget: cells
// to rectangles and points to cells relative to the first cell shown (the scroll position),
// with the title row and column pinned; scroll steps for a wheel delta; the extent reported to
// the scroller; and the scroll position that brings a range into sight. Row and column starts
// are cached (CAAxisOffsets), so every question costs a binary search, not a walk from row 0.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/views/CAAxisOffsets.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <optional>

class CADocument;

// What the view tells the scroll view about one axis after a layout.
struct CAScrollExtent {
  int64_t position = 0;  // the first row (column) shown
  int64_t max = 0;       // rows (columns) that can be scrolled through
  int64_t visible = 0;   // whole rows (columns) that fit
};

struct CAContentFrame {
  QSizeF size;  // zoomed: what the view's frame would be to hold every cell
  CAScrollExtent rows;
  CAScrollExtent columns;
};

class CAGridGeometry {
 public:
  explicit CAGridGeometry(const CADocument* document = nullptr);

  const CADocument* document() const { return document_; }
  void setDocument(const CADocument* document);

  // The cell at the view's top-left: the scroll position on screen, a page's first cell when
  // printing.
  const GridPoint& origin() const { return origin_; }
  void setOrigin(const GridPoint& origin) { origin_ = origin; }
  // The view's bounds: its frame divided by the zoom. The bounds origin is always (0, 0).
  void setVisibleSize(const QSizeF& size) { visibleSize_ = size; }
  QRectF visibleRect() const { return QRectF(QPointF(0, 0), visibleSize_); }

  // Sizes and absolute starts (from the top-left of cell (0, 0)) of rows and columns.
  double rowHeight(int64_t y) const;
  double columnWidth(int64_t x) const;
  double rowTop(int64_t y) const;
  double columnLeft(int64_t x) const;
  // The row (column) whose span holds an absolute offset; 0 before the sheet.
  int64_t rowAtOffset(double y) const;
  int64_t columnAtOffset(double x) const;
  // The cached sizes of one axis, for walks that step over runs of rows (columns) of the
  // default size.
  const CAAxisOffsets& rows() const;
  const CAAxisOffsets& columns() const;

  // The range measured from cell (0, 0); whole rows take the visible width, whole columns the
  // visible height. A reversed range logs "Bad range" and is measured as it stands.
  QRectF absoluteRectForRange(const GridRange& range) const;
  // The range in view coordinates: relative to the origin cell, title row and column pinned.
  QRectF rectForRange(const GridRange& range) const;
  QRectF rectForGridPoint(const GridPoint& point) const;
  GridPoint gridPointAtPoint(const QPointF& point) const;
  // The visible rectangle placed at the origin cell's absolute position.
  QRectF cellVisibleRect() const;

  // The largest first row (column) from which the grid's last row (column) still ends the
  // visible area: a scroll position beyond it would show rows that do not exist.
  int64_t lastScrollStart(bool vertical) const;
  // The point with each coordinate lowered to lastScrollStart.
  GridPoint clampedScrollPoint(const GridPoint& point) const;

  // Rows (columns) to scroll for a wheel delta in points: positive forward, 0 under a point.
  int64_t cellCountForDelta(double delta, bool vertical) const;

  // The frame that holds the sheet's extent (the occupied cells, and unless showOnlyOccupied
  // the largest cell ever displayed) and the per-axis numbers for the scrollers. superSize is
  // the unzoomed size of the view's container.
  CAContentFrame contentFrame(double zoom, const QSizeF& superSize, bool showOnlyOccupied) const;

  // The scroll position that brings the range into sight, centred; nullopt when it is already
  // in sight. *fits tells whether the range fits the visible area at all.
  std::optional<GridPoint> scrollPointToShow(const GridRange& range, bool* fits) const;
  // The same for the document's selection: whole rows and columns, and a selection too large
  // for the view, show the active cell instead.
  std::optional<GridPoint> scrollPointToShowSelection() const;

  // Rows or columns changed size (resizing, fonts, padding, pictures, checkboxes): the cached
  // starts are measured again on next use. Changes of the row or column count, the font and
  // the defaults are noticed without this.
  void invalidate() { valid_ = false; }
  // Cells of these rows changed: the starts are measured again only when a row's height
  // changed with them (a picture, a checkbox), so typing on a long sheet costs no new measure.
  void rowsMayHaveChanged(int64_t first, int64_t last);

 private:
  struct Signature {
    size_t rowCount = 0;
    size_t columnCount = 0;
    double lineHeight = 0;
    double digitWidth = 0;
    GridPoint cellPadding;
    int64_t minimumHeight = 0;
    int64_t defaultWidth = 0;
    int64_t defaultDigitCount = 0;
    friend bool operator==(const Signature&, const Signature&) = default;
  };
  Signature currentSignature() const;
  void refresh() const;
  // One axis of the centring: the new first row (column).
  int64_t centeredStart(bool vertical, int64_t first, double rangeStart, double rangeSize,
                        double visibleSize, int64_t current) const;

  const CADocument* document_ = nullptr;
  GridPoint origin_;
  QSizeF visibleSize_;
  mutable CAAxisOffsets rows_;
  mutable CAAxisOffsets columns_;
  mutable Signature signature_;
  mutable bool valid_ = false;
};
