// Drawing a table row line: the table's colour, each cell's border and background (selected,
// own colour, title-row gradient or stripe), and the lines of each cell's text.
#pragma once

#include <QRectF>

struct LineFormat;
class QPainter;

// Draws the row that a row line describes into lineRect; false when the row cannot be found.
bool DrawTableRow(QPainter& painter, const LineFormat& rowLine, const QRectF& lineRect, const QRectF& clip);
