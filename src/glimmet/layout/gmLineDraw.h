// Drawing formatted lines into a painter in the draft's coordinates (points, y downwards): the
// paragraph background or border, each run (text, tab leaders, underlines, checkboxes, pictures,
// highlight bands, marks for invisible characters), divider ornaments and the caret; and the
// small primitives that line, table and image drawing share.
#pragma once

#include "framlet/foundation/Kolor.h"
#include "glimmet/storage/gmBorders.h"
#include "glimmet/storage/gmTypes.h"

#include <QPainterPath>
#include <QRectF>

#include <cstdint>

struct LineFormat;
struct LineRun;
struct KnotInfo;
struct Pane;
class FLImage;
class QPainter;

// Highlight modes.
inline constexpr int kHighlightNone = 0, kHighlightActive = 1, kHighlightInactive = 23;

// Paints a formatted line into lineRect. background -1 (kNoKolor): none; viewRight 0: the
// line's width; clip empty: no clipping beyond the line.
void DrawFormattedLine(QPainter& painter, LineFormat& line, Kolor background, float viewRight,
                       const QRectF& lineRect, const QRectF& clip);
void DrawLineHighlight(QPainter& painter, GlimmetDoc* doc, Pane* pane, const QRectF& rect);
int ShouldHighlightSelection(GlimmetDoc* doc, Pane* pane);
Kolor TextSelectionKolor(GlimmetDoc* doc, Pane* pane);
// The rectangle of a picture run on a line, its knot and its border.
QRectF FindPictureOnLine(float x, float lineTop, float lineHeight, const LineFormat& line, const LineRun& run,
                         KnotInfo* knot, BorderStyle* border, BorderSides* thickness);
void DrawOutline(QPainter& painter, float zoom, const QRectF& rect);

// Underlines the words of a text segment run within range, leaving the spaces between them.
void DrawWordUnderline(QPainter& painter, const DocRange& range, const LineRun& run, Kolor kolor, double x, double y,
                       double width);

// Primitives.
void DrawLineCore(QPainter& painter, Kolor kolor, const qreal* dash, int dashCount, double x1, double y1, double x2,
                  double y2, double width);
void DrawSpecialUnderline(QPainter& painter, Kolor kolor, double xStart, double xEnd, double y, double zoom);
void DrawRectangleCore(QPainter& painter, double zoom, Kolor stroke, Kolor fill, bool integral, QRectF rect);
QRectF AddDiamondToPath(QPainterPath& path, double centreX, double top, double height);
void AddSideLines(QPainterPath& path, bool shape, const QRectF& shapeRect, double boxWidth);
// Draws an image into rect at an opacity; a missing image draws the "MissingImage" picture.
void DrawPicture(QPainter& painter, double opacity, const FLImage* image, const QRectF& rect);
