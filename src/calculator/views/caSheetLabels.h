// The strips of column letters and row numbers around a sheet's cells, and the rules of the
// mouse on them, with no widget: which rows and columns the strips show and where, the edge a
// press grabs, the size a dragged edge gives, the slot where moved rows land, and the size tip.
#pragma once

#include <QColor>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <vector>

class CADocument;
class CAGridGeometry;

// The width of the row label strip and the height of the column label strip, in view points:
// room for eight digits and one line of the document's font, grown (never shrunk) with the zoom.
// Printed labels and page breaks use the same extent.
QSizeF LabelExtent(double digitWidth, double lineHeight, double zoom);
QSizeF LabelExtent(const CADocument& document);

// Black on light backgrounds, white on dark ones; black without a background.
QColor TextColorForBackground(const QColor& background);

// One row (column) label: its index and its start and end along the strip.
struct CALabelSpan {
  int64_t index = 0;
  double start = 0;
  double end = 0;
};

// The rows (vertical) or columns the strip shows, from `start` on, in the order the grid draws
// them: the title row (column) first when the sheet is scrolled past it, then from the
// geometry's origin; each one its size times the scale, until `limit` is reached. A lastIndex
// of 0 or more (a printed page's last cell) ends the walk there.
std::vector<CALabelSpan> ShownLabelSpans(const CAGridGeometry& geometry, bool vertical, double start,
                                         double scale, double limit, int64_t lastIndex = -1);

// How near an edge a press grabs it.
inline constexpr double kLabelEdgeSlop = 3.0;

// The span whose far edge lies within the slop of the position (e - 3 <= position < e + 3),
// the first in the strip's order; nullptr when none. A scrolled sheet's title row (column)
// keeps its size.
const CALabelSpan* LabelEdgeAt(const std::vector<CALabelSpan>& spans, double position, bool scrolledTitle);

// The step in EMU to which a dragged size is rounded: whole points for rows; for columns none
// with Ctrl held, else by the distance unit: an eighth of an inch for inches, a millimetre for
// centimetres, a point otherwise.
int64_t ResizeInterval(bool columns, bool freeSize, int32_t unitCode);

// The size in EMU of a row or column whose leading edge is at `anchor` and which is dragged
// to `position` (view points, at the scale), rounded to the interval; a column is at least 1.
// The cell padding (both sides, in points) is drawn in addition to the size, so it is left out
// and the edge stays under the mouse.
int64_t ResizedSize(double position, double anchor, double scale, int64_t interval, bool column,
                    double padding = 0);

// While moving the lines first..last: the number of the other shown lines whose far edge lies
// at or before `position` (the block's leading edge), counted along the spans from `start`.
uint64_t DropSlotAt(const std::vector<CALabelSpan>& spans, double start, int64_t first, int64_t last,
                    double position);

// The index at which moved lines start for a drop slot, given the first line shown (the scroll
// position) and whether a title line is pinned before it.
int64_t DropIndexForSlot(uint64_t slot, int64_t origin, bool title);

// The box of the size tip beside the mouse: for a row in the row label strip (strip: the
// strip's rectangle, the row strip's width is the label width), for a column in the column
// label strip; it goes to the other side of the mouse when it would pass the strip's end.
QRectF SizeTipRect(bool row, const QPointF& mouse, const QSizeF& textSize, const QRectF& strip);

// The size the tip shows, in EMU: with Alt the document's default row height or column width,
// else the row's minimum height or the column's width without its padding.
int64_t SizeTipValue(const CADocument& document, bool row, int64_t index, bool wholeDocument);
// The tip's text: the size in the distance unit, with the unit's name.
QString SizeTipText(int64_t value, int32_t unitCode);
