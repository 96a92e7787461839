// Locating: where on screen a cp lies (its x, width and line rectangle) and which cp lies under a
// point of a pane's view. A point is matched to a draft line, the line is formatted again and
// the position is found run by run; table rows are handed to the table layout. The same
// routines say whether a cp is visible and scroll it into view.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QRectF>

#include <cstdint>

struct LineFormat;
struct Pane;
class DraftLineTable;

// Where a point fell.
inline constexpr int32_t kAreaOutside = 0, kAreaText = 1, kAreaLeft = 3, kAreaRight = 4, kAreaAbove = 5,
                         kAreaBelow = 6, kAreaSearching = 10;
// Options of LocatePointInDoc.
inline constexpr uint32_t kLocateTracking = 1;

struct LocatorRec {
  GlimmetDoc* doc = nullptr;
  Pane* pane = nullptr;
  int32_t cp = -1;
  uint32_t lineIndex = kGMNone;
  int32_t boundaryIndex = -1;  // the table column boundary under the point
  int32_t cellColumn = -1;     // the cell of a table's first row under the point
  int32_t area = kAreaOutside;
  bool afterLineEnd = false;  // the caret belongs at the end of a wrapped line
  bool exact = false;         // the character under the point rather than the nearest boundary
  bool outsideRun = false;
  bool generatedText = false;
};

// Fills the locator for a point of the view (draft coordinates); true when it is on a line's text.
bool LocatePointInDoc(double x, double y, LocatorRec* locator, uint32_t options);
// The cp at (x, y) relative to the rectangle of the locator's draft line; -1 with mustHit when
// x lies outside the line.
int32_t CpFromLineX(LocatorRec* locator, const DraftLineTable& lines, bool mustHit, double x, double y);
// The cp at x (from the left text edge) in a formatted text line; sets the locator's cp and
// after-line-end flag and returns the flag.
bool LocateCpInLine(LocatorRec* locator, const LineFormat& line, float x);
// The x of the locator's cp (view coordinates) and the width up to limit; rect gets the draft
// line's rectangle. -1 when the cp is not on a held line.
double XAndWidthForCp(LocatorRec* locator, uint32_t limit, double* width, QRectF* rect);
// The x of cp on a formatted line plus offset, and the width to limit.
float XAndWidthForCpOnLine(const LineFormat& line, uint32_t cp, uint32_t limit, float* width, float offset);
// Whether the locator's cp lies on a draft line inside the visible rectangle; with scroll the
// pane scrolls it into view instead of answering no.
bool IsLocationVisible(LocatorRec* locator, QRectF* rect, bool scroll);
// The rectangle of the cp on its line; with mustIntersect, whether it meets the visible part.
bool GetRectContainingCp(LocatorRec* locator, bool mustIntersect, QRectF* rect);
