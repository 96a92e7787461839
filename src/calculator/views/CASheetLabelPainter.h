// Draws the label strips of a sheet: the column letters along the top and the row numbers down
// the left, the selected ones highlighted, the grid lines between them and the two border lines
// that part them from the cells; while rows or columns are moved, the gap where they would land
// and the moved labels under the mouse. It needs no widget: the sheet view draws the strips on
// screen with it and printing draws a page's labels with it.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QColor>
#include <QFont>
#include <QRectF>

#include <cstdint>

class CADocument;
class CAGridGeometry;
class QPainter;
class QPainterPath;

// One drawing pass of the labels.
struct CASheetDrawInfo {
  QFont font;
  QColor backgroundColor;
  QRectF bounds;  // of the view drawn into
  double labelWidth = 0;
  double labelHeight = 0;
  GridPoint origin;                 // the first cell shown
  GridPoint lastPoint{-1, -1};      // a printed page's last cell; (-1, -1) on screen
  double scale = 1.0;               // the zoom on screen, 1 when printing
  double ascender = 0;
  double leading = 0;
  double halfLineWidth = 0.5;
  double columnLabelsEnd = 0;       // filled in by the pass
  double rowLabelsEnd = 0;
  bool printing = false;
  QColor textColor;
  GridRange selection;
  // The fill of the labels of selected whole rows or columns.
  QColor selectedBackground{179, 215, 255};
};

// Rows or columns being moved with the mouse.
struct CALabelMove {
  bool columns = true;
  int64_t first = 0;          // the moved block
  int64_t last = 0;
  uint64_t dropSlot = 0;      // shown lines before the gap
  double extent = 0;          // the block's size at the scale
  double position = 0;        // the block's leading edge under the mouse
  QColor background;          // of the moved labels
};

// The bold label font at the zoom (and at the scale, when printing smaller).
QFont LabelFont(const CADocument& document, double scale);

class CASheetLabelPainter {
 public:
  // The geometry's origin must be info.origin; its sizes are unzoomed and scaled here.
  CASheetLabelPainter(QPainter& painter, const CAGridGeometry& geometry, const CADocument& document,
                      CASheetDrawInfo& info);

  // Both strips with their lines; move: rows or columns being moved, or null.
  void paint(const CALabelMove* move, bool darkMode = false);

 private:
  // The column (row false) or row label strip.
  void drawStrip(bool row, QPainterPath& lines, const CALabelMove* move);
  // One label in its cell along the strip; fills the cell when highlighted.
  void drawLabel(bool row, int64_t index, double start, double end, QPainterPath& lines);
  void strokeLines(QPainterPath& lines);

  QPainter& painter_;
  const CAGridGeometry& geometry_;
  const CADocument& document_;
  CASheetDrawInfo& info_;
  GridRange plainSelection_;
  int32_t selectionType_ = 0;
  bool darkMode_ = false;
};
