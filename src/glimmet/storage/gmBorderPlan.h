// What a border draws for one paragraph, cell or picture: from the border and the item's place
// in its group, the sides it draws, the sides it keeps its offset on, and how double lines of
// neighbouring cells join; the border painter then draws it.
#pragma once

#include "glimmet/storage/gmBorderPaint.h"

#include <QRectF>

#include <cstdint>

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

// Side and offset mask bits beside the four sides and outer edges of the painter's.
inline constexpr uint32_t kBorderTopInner = 0x10, kBorderLeftInner = 0x20, kBorderTopAfterRow1 = 0x40,
                          kBorderOuterLeft = 0x100, kBorderOuterTop = 0x400;

struct BorderDrawing {
  BorderStroke stroke;
  uint32_t sideMask = 0;
  uint32_t offsetMask = 0;
};

// Writes a border into a property body at the offset (the inverse of BorderStyleAt).
void SetBorderStyleAt(PropRecord* record, uint32_t offset, const BorderStyle& border);

// The join code of a double line for a kind at the place the display record gives.
uint32_t BorderJunctionCode(uint32_t kind, const BorderDisplay& display);
// What to draw for the border of an item: a paragraph's (paragraph set) or a cell's or picture's.
BorderDrawing PlanBorder(const BorderStyle& border, bool paragraph, const BorderDisplay& display);

// Plans the border of an item and paints it around rect.
void DrawBorder(QPainter& painter, const BorderStyle& border, bool paragraph, const BorderDisplay& display,
                const QRectF& rect);
