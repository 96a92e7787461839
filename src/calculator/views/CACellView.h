// The grid of cells of one spreadsheet window. It never scrolls its bounds: the scroll view
// keeps the first row and column shown, and every rectangle here is relative to that cell, in
// unzoomed points (the view's bounds are its size divided by the zoom). Geometry lives in
// CAGridGeometry and drawing in CAGridPainter; the view keeps them in step with the scroll
// position, the zoom and the document, and turns redraw requests into widget updates.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CAGridPainter.h"

#include <QHash>
#include <QWidget>

#include <cstdint>

class CACell;
class CADocument;
class CAScrollView;

class CACellView : public QWidget {
  Q_OBJECT

 public:
  // The document is not owned; scrollView is the scroll view that holds this view.
  CACellView(CADocument* document, CAScrollView* scrollView, QWidget* parent = nullptr);
  ~CACellView() override;

  CADocument* document() const { return document_; }
  CAScrollView* scrollView() const { return scrollView_; }
  // The geometry at the current scroll position, size and zoom.
  const CAGridGeometry& gridGeometry() const;

  QRectF rectForGridPoint(const GridPoint& point) const;
  QRectF rectForRange(const GridRange& range) const;
  GridPoint gridPointAtPoint(const QPointF& point) const;
  // The bounds: (0, 0) and the size divided by the zoom.
  QRectF visibleRect() const;

  // Tells the scroll view the sheet's extent and what fits.
  void setContentFrame();
  int64_t cellCountForDelta(double delta, bool vertical) const;
  GridPoint scrollPoint() const;
  void scrollToGridPoint(const GridPoint& point);
  // A point in this widget's (zoomed) coordinates outside the visible area scrolls one step
  // towards it.
  void autoScrollForPoint(const QPoint& point);
  // Brings the selection into sight once the current event is done; repeated requests in one
  // event are served once.
  void ensureSelectionVisible();
  void ensureSelectionVisibleNow();
  void didScroll();

  double zoomValue() const { return zoom_; }
  // 1 is 100 %. The document keeps the value.
  void setZoomValue(double zoom);

  void redrawGridPoint(const GridPoint& point);
  void redrawRange(const GridRange& range);
  // Domain 0 or 1 while cells are selected redraws the selection (and lays out the overflowing
  // text of a single cell again); anything else redraws the whole view.
  void redrawSelectionForDomain(int32_t domain);
  void redraw();
  // Rows or columns changed size: measured again before the next use.
  void invalidateGeometry();
  // The document is closing: the view lets go of it and draws nothing more.
  void shutDown();

  // Shown with the active-cell colour: focused in the active window.
  bool showsFirstResponder() const;
  // The options of the next drawing pass.
  CAGridPaintOptions paintOptions() const;
  // Rows or columns being moved on the sheet view, drawn as a gap and a floating block.
  void setDragInfo(const CADragInfo& info);
  // Page breaks (the first column and row of each following page) drawn when the document
  // shows them.
  void setPageBreaks(std::vector<int64_t> columnBreaks, std::vector<int64_t> rowBreaks);

  // The cell's tooltip goes; its tag is cleared when the cell is drawn next.
  void removeTooltipForCell(const CACell& cell);
  // Registered tooltip rectangles, by tag.
  const QHash<int64_t, QRectF>& tooltipRects() const { return tooltips_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void observeDocument();
  QRect widgetRect(const QRectF& rect) const;

  CADocument* document_;
  CAScrollView* scrollView_;
  mutable CAGridGeometry geometry_;
  double zoom_ = 1.0;
  CADragInfo dragInfo_;
  std::vector<int64_t> columnBreaks_;
  std::vector<int64_t> rowBreaks_;
  bool ensureScheduled_ = false;
  QHash<int64_t, QRectF> tooltips_;
  int64_t nextTooltipTag_ = 1;
};
