// The outer view of a sheet window's grid area: it holds the scroll view with the cell grid and
// draws the strips around it, the column letters along the top, the row numbers down the left
// and the active cell's name in the corner. With the mouse on the strips the user selects whole
// rows or columns (Shift extends), resizes one by dragging its edge (Alt: the document's
// default size), and moves selected rows or columns by dragging their labels.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/views/CAGridPainter.h"
#include "calculator/views/CASheetLabelPainter.h"
#include "calculator/views/caSheetLabels.h"

#include <QPointF>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

class CACellView;
class CADocument;
class CAScrollView;
class QTimer;

// What a mouse action on the labels is doing.
enum : int32_t {
  kSheetDragNone = 0,
  kSheetDragMove = 1,
  kSheetDragResize = 2,
  kSheetDragSelect = 3,
};

class CASpreadsheetView : public QWidget {
  Q_OBJECT

 public:
  // Makes the scroll view and its cell view for the document (not owned).
  explicit CASpreadsheetView(CADocument* document, QWidget* parent = nullptr);
  ~CASpreadsheetView() override;

  CADocument* document() const { return document_; }
  CAScrollView* scrollView() const { return scrollView_; }
  CACellView* cellView() const;

  // The strips' extent changed with the font or the zoom: the scroll view is laid out again.
  void adjustForNewFont();
  // A drawing pass's record, for the screen or for the cell view's printed page (whose
  // geometry gives the origin).
  CASheetDrawInfo drawInfo(bool printing, const GridPoint& origin, const GridPoint& lastPoint, const QRectF& bounds) const;
  // Draws the label strips with the record (null: this view's own on screen, grey background).
  void drawLabels(QPainter& painter, const CAGridGeometry& geometry, CASheetDrawInfo* info) const;
  // While rows or columns are moved: how the cell view draws them. NO (and a cleared record)
  // otherwise.
  bool getDragInfo(CADragInfo* info) const;

  int32_t dragType() const { return dragType_; }
  uint64_t dropSlot() const { return dropSlot_; }
  // Escape during a mouse action ends it where it stands.
  void cancelOperation();
  void redraw();
  // The document is closing: the view lets go of it.
  void shutDown();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The labels' clicks and drags (resizing, moving whole lines) are commands on the document.
  bool event(QEvent* event) override;

 private:
  void observeDocument();
  // The label strips' extent at the document's zoom.
  QSizeF labelExtent() const;
  double zoom() const;
  // The point in the cell view's unzoomed coordinates.
  QPointF cellPoint(const QPointF& point) const;
  // Starts a resize when the press is near an edge: YES when it did (or the step was refused).
  bool startResize(const QPointF& point, bool onRows, bool freeSize, const GridRange& selection);
  // A press on the selected rows (columns) moves them.
  void startMove(const QPointF& point, const GridPoint& clicked, const GridRange& selection);
  void extendSelection(const GridPoint& point);
  void resizeRowOrColumn();
  void dragRowOrColumn();
  void endMove();
  void finishDrag();
  void autoScrollTimerFired();
  void paintSizeTip(QPainter& painter, const CASheetDrawInfo& info);
  // The resize cursor over an edge, the arrow elsewhere.
  void updateCursor(const QPointF& point);
  // The spans of the strip along the axis at the current scroll position.
  std::vector<CALabelSpan> spans(bool rows, double extra = 0) const;
  bool scrolledTitle(bool rows) const;
  void pushDragInfo();

  CADocument* document_;
  CAScrollView* scrollView_ = nullptr;
  GridPoint anchorPoint_;
  int32_t dragType_ = kSheetDragNone;
  QPointF currentDragPoint_;
  double dragOffset_ = 0;
  double resizeAnchor_ = 0;
  int64_t forcedInterval_ = 0;
  uint64_t dropSlot_ = UINT64_MAX;
  double draggingExtent_ = 0;
  QTimer* autoScrollTimer_ = nullptr;
  bool optionDown_ = false;
  bool documentReset_ = false;
  bool dragged_ = false;
  // The resize's undo step, asked for when the size first changes.
  struct PendingResizeUndo {
    uint32_t action;
    int32_t descriptor;
    GridRange selection;
    int32_t domain;
  };
  std::optional<PendingResizeUndo> pendingResizeUndo_;
  // Rows changed height in the resize under way.
  bool rowsResized_ = false;
};
