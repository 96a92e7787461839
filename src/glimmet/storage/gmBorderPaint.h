// The border painter: one border of a paragraph, picture or table cell drawn into a rectangle,
// its background first, then its line in one of the engine's seven styles (single, double,
// dots, dashes, serrated, scallops, gradient), in the engine's flipped view coordinates.
#pragma once

#include "glimmet/storage/gmBorders.h"

#include <QRectF>

#include <cstdint>

class QPainter;

// Side bits of the side and offset masks; 0x200 and 0x800 mark the right and bottom sides as
// outer edges of their group.
inline constexpr uint32_t kBorderSideLeft = 1, kBorderSideRight = 2, kBorderSideTop = 4, kBorderSideBottom = 8;
inline constexpr uint32_t kBorderOuterRight = 0x200, kBorderOuterBottom = 0x800;

// What the painter draws: the border's style in points, how double lines of neighbouring cells
// meet (0 none, 1-37), and the flags of the first-row-box kind.
struct BorderStroke : BorderDrawStyle {
  uint32_t junction = 0;
  uint8_t suppressLeft = 0;
  uint8_t suppressRight = 0;
  uint8_t rowOneBox = 0;
};

// Draws the sides in sideMask of the border around rect; the rectangle first grows by the offset
// across the sides in offsetMask.
void DrawBorderCore(QPainter& painter, const BorderStroke& stroke, uint32_t sideMask, uint32_t offsetMask,
                    const QRectF& rect);
