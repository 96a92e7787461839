// One drawing pass of a cell grid: background, grid lines, the rows and within them the cells
// (fills, strip and own borders, contents by value type), overflowing text after all cells, the
// active cell last and the dashed page breaks. It draws with a painter in unzoomed points and
// needs no widget: the cell view, tests and benchmarks all call the same pass.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QColor>
#include <QPainterPath>
#include <QRectF>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class CACell;
class CADocument;
class CAFormat;
class CAGridGeometry;
class QPainter;
struct FLAttributedString;

// Rows or columns being moved with the mouse on the sheet view.
enum : int32_t {
  kCellDragNone = 0,
  kCellDragColumns = 1,
  kCellDragRows = 2,
};

struct CADragInfo {
  double dragEdge = 0;             // where the moved block is drawn under the mouse
  uint64_t dropSlot = UINT64_MAX;  // drawn rows (columns) before the gap
  double draggingExtent = 0;       // the gap's size
  int32_t cellDragType = kCellDragNone;
};

// Edge classes of a row or column strip with a border.
enum : int32_t {
  kEdgeNone = 0,
  kEdgeLast = 1,    // far edge
  kEdgeInside = 2,  // no edge
  kEdgeSingle = 3,  // both edges
  kEdgeFirst = 4,   // near edge
};

// Where a pass draws: on screen, onto a printed page, or the image of cells dragged out.
enum class CAGridPaintMode { Screen, Printing, DraggingOut };

// What the view knows and the document does not.
struct CAGridPaintOptions {
  CAGridPaintMode mode = CAGridPaintMode::Screen;
  // The view is the first responder of the key window of the active application.
  bool showFirstResponder = false;
  bool draggingIn = false;
  CADragInfo dragInfo;
  // Fill of selected cells while the view is shown as first responder.
  QColor selectedTextBackground{179, 215, 255};
  bool valueTooltips = true;
  bool smallCheckbox = false;
  // In-cell typing: the cell typed into, and a reference being picked with the mouse.
  const CACell* typingCell = nullptr;
  bool typingFieldUp = false;
  bool selectingForRef = false;
  GridPoint sortGridPoint{-1, -1};
  // Page breaks (the first column and row of each page after the first), drawn when the
  // document shows them.
  std::vector<int64_t> columnBreaks;
  std::vector<int64_t> rowBreaks;
  // Tooltip rectangles for values that do not fit: the view answers a tag for a rectangle and
  // forgets a tag. Without them no tooltip is registered.
  std::function<int64_t(const QRectF& rect)> addTooltip;
  std::function<void(int64_t tag)> removeTooltip;

  // Printing. The geometry's origin is the page's first cell. pageLastCell limits the grid and
  // the walk; rows and columns after pageBottom are walked but not drawn. pageRect, when not
  // empty, is drawn whole (PDF, scale to fit) instead of the dirty rectangle. The header,
  // footer and labels are drawn first.
  double pageScale = 1.0;
  GridPoint pageLastCell;
  GridPoint pageBottom{INT64_MAX, INT64_MAX};
  QRectF pageRect;
  std::function<void(QPainter& painter)> drawExtrasForPrinting;
  // Dragging out: the selection recorded when the drag began; its cells are drawn from the
  // top-left of its rectangle.
  GridRange draggedSelection;
};

// The process-wide colours of the cell grid.
QColor ActiveCellColor();      // 97, 155, 235
QColor InactiveCellColor();    // 190, 190, 190
QColor TypingSelectionColor(); // 235, 235, 255
QColor DragOverCellColor();    // 255, 196, 30
QColor GridLineColor();        // grey 192

class CAGridPainter {
 public:
  CAGridPainter(QPainter& painter, const CAGridGeometry& geometry, CADocument& document,
                const CAGridPaintOptions& options);

  // The whole pass; the dirty rectangle is in unzoomed view points. The painter's transform
  // already holds the zoom.
  void paint(const QRectF& dirtyRect);

  // The class of the middle one of three neighbouring formats (null: no format).
  static int32_t edgeClass(const CAFormat* previous, const CAFormat* current, const CAFormat* next);

  // The grid points gathered for overflowing text in the last pass (sorted once drawn).
  const std::vector<GridPoint>& longCells() const { return longCells_; }

 private:
  // Grid and rows (CAGridPainter.cpp).
  void drawGrid(const QRectF& rect, QPainterPath& grid, QPainterPath* pageBreaks);
  void drawGridAxis(bool vertical, const QRectF& rect, QPainterPath& grid, QPainterPath* pageBreaks);
  void drawRows(const QRectF& rect, QRectF* activeCellRect);
  void drawColumns(const QRectF& rect, const QRectF& rowRect, int64_t row, QRectF* activeCellRect);
  bool dragging() const { return dragInfo_.cellDragType != kCellDragNone; }
  bool onScreen() const { return !printing_ && !draggingOut_; }

  // One cell (CAGridPainter_Cell.cpp).
  void drawCell(const GridPoint& point, const QRectF& cellRect, const QRectF& visibleRect, bool isActive);
  QRectF drawBackground(CACell* cell, const GridPoint& point, const QRectF& cellRect, bool isActive,
                        QColor* frameColor, CAFormat* format);
  void drawStripBorders(const QRectF& cellRect, std::array<int64_t, 4>& insets);
  void drawContents(CACell& cell, const QRectF& inner, const QRectF& cellRect,
                    const QRectF& visibleRect, int32_t valueType, const CAFormat& format, bool isActive);
  void drawCoveredCell(CACell& cell, const QRectF& visibleRect);
  void drawPicture(const CACell& cell, const QRectF& inner, const CAFormat& format);
  // Draws the string on one line from the top of rect, truncated to its width; its full width.
  double drawText(const FLAttributedString& text, const QRectF& rect);
  double drawLine(const FLAttributedString& text, const QRectF& rect);
  void registerTooltip(CACell& cell, const QRectF& rect, bool forWidth);
  void drawLongCells();

  QPainter& painter_;
  const CAGridGeometry& geometry_;
  CADocument& document_;
  const CAGridPaintOptions& options_;

  // Per pass.
  bool printing_ = false;
  bool draggingOut_ = false;
  GridPoint gridOrigin_;
  GridPoint activeCellPoint_;
  double lineWidth_ = 1.0;
  QSizeF cellPadding_;
  double leading_ = 0;
  bool showFormulas_ = false;
  bool showOnlyOccupied_ = false;
  bool hasLastCell_ = false;
  GridPoint lastCell_;      // of the cells
  GridPoint gridLastCell_;  // of the grid lines
  CADragInfo dragInfo_;
  GridRange selection_;
  std::vector<GridPoint> longCells_;
  const CAFormat* rowFormat_ = nullptr;
  int32_t rowEdgeClass_ = kEdgeNone;
  const CAFormat* columnFormat_ = nullptr;
  int32_t columnEdgeClass_ = kEdgeNone;
};
