// Borders shared by paragraphs and table cells: the CSS text of a colour, which sides of a cell
// or paragraph carry a line within its grid, how each border kind remaps them, and the room in
// points a border takes on each side.
#pragma once

#include "framlet/foundation/Kolor.h"
#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>

struct Pane;
struct PropRecord;

// Side states: 0 none, 2 outer edge, 3 inner edge, 4 the edge next to the first row, 5 the edge
// next to the first column, 6 the special outer edge of kind 14. After remapping for a kind a
// side holds 0 to 3 (left and right may keep 6).
inline constexpr uint32_t kBorderSideNone = 0, kBorderSideOuter = 2, kBorderSideInner = 3, kBorderSideRow1 = 4,
                          kBorderSideColumn1 = 5, kBorderSideRow1Box = 6;
inline constexpr uint32_t kBorderKindRow1BoxBetween = 14;

struct BorderDisplay {
  uint32_t top = 0, bottom = 0, left = 0, right = 0;
  uint32_t row = 0, rows = 0, column = 0, columns = 0;
  uint8_t flag = 0;
  uint8_t secondFlag = 0;  // no inner thickness above and below
};

// A border as stored in property bodies (48 bytes at an offset).
struct BorderStyle {
  int32_t kind = 0;
  int32_t line = 0;  // 0 single, 1 double, 2 dots, 3 dashes, 4 serrated, 5 scallops, 6 gradient
  int64_t width = 0;
  int64_t thickness = 0;
  int64_t offset = 0;
  Kolor lineColor = kNoKolor;
  Kolor innerColor = kNoKolor;
  Kolor backColor = kNoKolor;
  bool operator==(const BorderStyle&) const = default;
};
BorderStyle BorderStyleAt(const PropRecord& record, uint32_t offset);

// The painter's form of a border: style (line + 2), lengths in points.
struct BorderDrawStyle {
  uint32_t style = 2;
  float width = 0, thickness = 0, offset = 0;
  Kolor lineColor = kNoKolor, innerColor = kNoKolor, backColor = kNoKolor;
};
BorderDrawStyle ConvertBorderStyle(const BorderStyle& border);

// "transparent", "rgb(r,g,b)" or "rgba(r,g,b,a)"; the no-colour value is "transparent".
QString CssColorString(Kolor kolor);

void SetBorderDisplay(uint32_t kind, uint32_t row, uint32_t rows, uint32_t column, uint32_t columns,
                      BorderDisplay* out);
void ModifyBorderDisplayForKind(uint32_t kind, BorderDisplay* sides);

// The sides of a paragraph's border, the paragraph seen in its border group: the run of
// consecutive visible paragraphs of equal border and equal left and right indents, cut at the
// pane's [firstVisible, paneLimit) and at table cells. cp and limit are the line's: a line that
// does not begin the paragraph does not begin a "between" line.
void GetParagraphBorderEdges(GlimmetDoc* doc, Pane* pane, const DocRange& para, const PropRecord& paraProps,
                             uint32_t firstVisible, uint32_t paneLimit, uint32_t cp, uint32_t limit,
                             BorderDisplay* out);

struct BorderSides {
  float left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const BorderSides&) const = default;
};
// The room in points the border takes on each side of the item the display record places.
BorderSides BorderThickness(const BorderStyle& border, const BorderDisplay& sides);
