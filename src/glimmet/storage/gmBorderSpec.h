// What a border draws for one paragraph, cell or picture: from the border and the item's place
// in its group, the sides it draws, the sides it keeps its offset on, and how double lines of
// neighbouring cells join. The painter installed by the layout then draws it.
#pragma once

#include "glimmet/storage/gmBorders.h"

#include <QRectF>

#include <cstdint>
#include <functional>

class QPainter;
struct PropRecord;

// Border kinds and line styles.
enum : int32_t {
  kBorderNone = 0,
  kBorderLeft = 1,
  kBorderRight = 2,
  kBorderLeftRight = 3,
  kBorderTop = 4,
  kBorderBottom = 5,
  kBorderTopBottom = 6,
  kBorderBox = 7,
  kBorderBetween = 8,
  kBorderBoxBetween = 9,
  kBorderBoxRow1 = 10,
  kBorderBoxColumn1 = 11,
  kBorderBoxRow1Column1 = 12,
  kBorderRow1 = 13,
  kBorderRow1BoxBetween = 14,
  kBorderRow1Columns = 15,
};
enum : int32_t { kLineSingle = 0, kLineDouble = 1, kLineDots = 2, kLineDashes = 3, kLineSerrated = 4, kLineScallops = 5, kLineGradient = 6 };

// Side and offset mask bits.
inline constexpr uint32_t kBorderSideLeft = 0x1, kBorderSideRight = 0x2, kBorderSideTop = 0x4, kBorderSideBottom = 0x8,
                          kBorderTopInner = 0x10, kBorderLeftInner = 0x20, kBorderTopAfterRow1 = 0x40,
                          kBorderLeftOuter = 0x100, kBorderRightOuter = 0x200, kBorderTopOuter = 0x400,
                          kBorderBottomOuter = 0x800;

// The painter's form of a border with the joins of its double lines.
struct BorderDrawSpec : BorderDrawStyle {
  uint32_t junction = 0;  // how double lines meet; 0 none
  // Kind 14: the first and last columns below the first row draw no outer side; the first row is boxed.
  uint8_t suppressLeft = 0, suppressRight = 0, rowOneBox = 0;
};

struct BorderDrawing {
  BorderDrawSpec spec;
  uint32_t sideMask = 0;
  uint32_t offsetMask = 0;
};

// Writes a border into a property body at the offset (the inverse of BorderStyleAt).
void SetBorderStyleAt(PropRecord* record, uint32_t offset, const BorderStyle& border);

// The join code of a double line for a kind at the place the display record gives.
uint32_t BorderJunctionCode(uint32_t kind, const BorderDisplay& display);
// What to draw for the border of an item: a paragraph's (paragraph set) or a cell's or picture's.
BorderDrawing PlanBorder(const BorderStyle& border, bool paragraph, const BorderDisplay& display);

// The painter of the layout, which draws a planned border in a rectangle.
using GMBorderPainter = std::function<void(QPainter* painter, const BorderDrawing& drawing, const QRectF& rect)>;
void SetBorderPainter(GMBorderPainter painter);
// Plans the border and hands it to the installed painter; nothing without one.
void DrawBorder(QPainter* painter, const BorderStyle& border, bool paragraph, const BorderDisplay& display,
                const QRectF& rect);
