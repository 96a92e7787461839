#include "glimmet/storage/gmBorderPlan.h"

#include "glimmet/storage/gmProperties.h"

namespace {

// Per kind 1-15: single, first, second, later middle and last row, then first and second of two
// rows; each with the codes of the single, first, second, later middle and last column.
constexpr uint8_t kJunctions[15][7][5] = {
    {{1, 1, 0, 0, 0}, {1, 1, 0, 0, 0}, {1, 1, 0, 0, 0}, {1, 1, 0, 0, 0}, {1, 1, 0, 0, 0}, {1, 1, 0, 0, 0}, {1, 1, 0, 0, 0}},
    {{2, 0, 0, 0, 2}, {2, 0, 0, 0, 2}, {2, 0, 0, 0, 2}, {2, 0, 0, 0, 2}, {2, 0, 0, 0, 2}, {2, 0, 0, 0, 2}, {2, 0, 0, 0, 2}},
    {{30, 1, 0, 0, 2}, {30, 1, 0, 0, 2}, {30, 1, 0, 0, 2}, {30, 1, 0, 0, 2}, {30, 1, 0, 0, 2}, {30, 1, 0, 0, 2}, {30, 1, 0, 0, 2}},
    {{3, 3, 3, 3, 3}, {3, 3, 3, 3, 3}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {3, 3, 3, 3, 3}, {0, 0, 0, 0, 0}},
    {{4, 4, 4, 4, 4}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {4, 4, 4, 4, 4}, {0, 0, 0, 0, 0}, {4, 4, 4, 4, 4}},
    {{25, 25, 25, 25, 25}, {3, 3, 3, 3, 3}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {4, 4, 4, 4, 4}, {3, 3, 3, 3, 3}, {4, 4, 4, 4, 4}},
    {{21, 22, 25, 25, 23}, {27, 5, 3, 3, 6}, {30, 1, 0, 0, 2}, {30, 1, 0, 0, 2}, {28, 7, 4, 4, 8}, {27, 5, 3, 3, 6}, {28, 7, 4, 4, 8}},
    {{0, 0, 1, 1, 1}, {0, 0, 1, 1, 1}, {3, 3, 9, 9, 9}, {3, 3, 9, 9, 9}, {3, 3, 9, 9, 9}, {0, 0, 1, 1, 1}, {3, 3, 9, 9, 9}},
    {{21, 22, 26, 26, 24}, {27, 5, 10, 10, 11}, {31, 12, 9, 9, 13}, {31, 12, 9, 9, 13}, {29, 14, 15, 15, 16}, {27, 5, 10, 10, 11}, {29, 14, 15, 15, 16}},
    {{21, 22, 25, 25, 23}, {27, 5, 3, 3, 6}, {31, 12, 3, 3, 17}, {30, 1, 0, 0, 2}, {28, 7, 4, 4, 8}, {27, 5, 3, 3, 6}, {29, 14, 25, 25, 34}},
    {{21, 22, 26, 25, 23}, {27, 5, 10, 3, 6}, {30, 1, 1, 0, 2}, {30, 1, 1, 0, 2}, {28, 7, 18, 4, 8}, {27, 5, 10, 3, 6}, {28, 7, 18, 4, 8}},
    {{21, 22, 26, 25, 23}, {27, 5, 10, 3, 6}, {31, 12, 9, 3, 17}, {30, 1, 1, 0, 2}, {28, 7, 18, 4, 8}, {27, 5, 10, 3, 6}, {29, 14, 15, 25, 34}},
    {{4, 4, 4, 4, 4}, {0, 0, 0, 0, 0}, {3, 3, 3, 3, 3}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {3, 3, 3, 3, 3}},
    {{21, 22, 26, 26, 24}, {27, 5, 10, 10, 11}, {32, 19, 9, 9, 20}, {3, 3, 9, 9, 9}, {25, 25, 15, 15, 15}, {27, 5, 10, 10, 11}, {36, 37, 15, 15, 35}},
    {{4, 4, 18, 18, 18}, {0, 0, 1, 1, 1}, {3, 3, 9, 9, 9}, {0, 0, 1, 1, 1}, {0, 0, 1, 1, 1}, {0, 0, 1, 1, 1}, {3, 3, 9, 9, 9}},
};
// The same for a table of exactly two columns: the first and the second column.
constexpr uint8_t kTwoColumnJunctions[15][7][2] = {
    {{1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}},
    {{0, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}},
    {{1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}},
    {{3, 3}, {3, 3}, {0, 0}, {0, 0}, {0, 0}, {3, 3}, {0, 0}},
    {{4, 4}, {0, 0}, {0, 0}, {0, 0}, {4, 4}, {0, 0}, {4, 4}},
    {{25, 25}, {3, 3}, {0, 0}, {0, 0}, {4, 4}, {3, 3}, {4, 4}},
    {{22, 23}, {5, 6}, {1, 2}, {1, 2}, {7, 8}, {5, 6}, {7, 8}},
    {{0, 1}, {0, 1}, {3, 9}, {3, 9}, {3, 9}, {0, 1}, {3, 9}},
    {{22, 24}, {5, 11}, {12, 13}, {12, 13}, {14, 16}, {5, 11}, {14, 16}},
    {{22, 23}, {5, 6}, {12, 17}, {1, 2}, {7, 8}, {5, 6}, {14, 34}},
    {{22, 24}, {5, 11}, {1, 30}, {1, 30}, {7, 33}, {5, 11}, {7, 33}},
    {{22, 24}, {5, 11}, {12, 13}, {1, 30}, {7, 33}, {5, 11}, {14, 16}},
    {{4, 4}, {0, 0}, {3, 3}, {0, 0}, {0, 0}, {0, 0}, {3, 3}},
    {{22, 24}, {5, 11}, {19, 20}, {3, 9}, {25, 15}, {5, 11}, {37, 35}},
    {{4, 18}, {0, 1}, {3, 9}, {0, 1}, {0, 1}, {0, 1}, {3, 9}},
};

// Row places: 0 single, 1 first, 2 second, 3 later middle, 4 last; 5 and 6 the first and second
// of exactly two rows.
uint32_t RowPlace(uint32_t row, uint32_t rows) {
  if (rows <= 1) return 0;
  if (rows == 2) return row == 0 ? 5 : 6;
  if (row == 0) return 1;
  if (row == 1) return 2;
  return row + 1 >= rows ? 4 : 3;
}

uint32_t ColumnPlace(uint32_t column, uint32_t columns) {
  if (columns <= 1) return 0;
  if (column == 0) return 1;
  if (column == 1) return 2;
  return column + 1 >= columns ? 4 : 3;
}

}  // namespace

void SetBorderStyleAt(PropRecord* record, uint32_t offset, const BorderStyle& border) {
  if (!record) return;
  record->set<int32_t>(offset + BorderField::kind, border.kind);
  record->set<int32_t>(offset + BorderField::line, border.line);
  record->set<int64_t>(offset + BorderField::width, border.width);
  record->set<int64_t>(offset + BorderField::thickness, border.thickness);
  record->set<int64_t>(offset + BorderField::offset, border.offset);
  record->set<uint32_t>(offset + BorderField::lineColor, border.lineColor);
  record->set<uint32_t>(offset + BorderField::innerColor, border.innerColor);
  record->set<uint32_t>(offset + BorderField::backColor, border.backColor);
}

uint32_t BorderJunctionCode(uint32_t kind, const BorderDisplay& display) {
  if (kind < 1 || kind > 15) return 0;
  const uint32_t row = RowPlace(display.row, display.rows);
  if (display.columns == 2) return kTwoColumnJunctions[kind - 1][row][display.column == 0 ? 0 : 1];
  return kJunctions[kind - 1][row][ColumnPlace(display.column, display.columns)];
}

BorderDrawing PlanBorder(const BorderStyle& border, bool paragraph, const BorderDisplay& display) {
  BorderStyle stroke = border;
  const BorderDisplay& o = display;
  BorderDisplay m = display;
  ModifyBorderDisplayForKind(uint32_t(stroke.kind), &m);
  BorderDrawing drawing;
  BorderStroke& draw = drawing.stroke;
  uint32_t junctionKind;
  if (o.flag) {
    // A boxed item joins and draws its lines as a box, whatever sides its own kind keeps.
    stroke.kind = kBorderBox;
    junctionKind = kBorderBox;
  } else {
    junctionKind = uint32_t(stroke.kind);
    if (stroke.kind == kBorderRow1BoxBetween) {
      draw.suppressLeft = o.left == kBorderSideRow1Box;
      draw.suppressRight = o.right == kBorderSideRow1Box;
      draw.rowOneBox = 1;
    }
  }
  static_cast<BorderDrawStyle&>(draw) = ConvertBorderStyle(stroke);

  uint32_t sides = 0;
  if (m.left != 0) sides |= kBorderSideLeft | (m.left == kBorderSideInner ? kBorderLeftInner : 0);
  if (o.left == kBorderSideOuter) sides |= kBorderOuterLeft;
  if (m.right == kBorderSideOuter || m.right == kBorderSideRow1Box) sides |= kBorderSideRight;
  if (o.right == kBorderSideOuter) sides |= kBorderOuterRight;
  if (m.top != 0) {
    sides |= kBorderSideTop;
    if (m.top == kBorderSideInner) sides |= kBorderTopInner;
    if (o.top == kBorderSideRow1) sides |= kBorderTopAfterRow1;
  }
  if (o.top == kBorderSideOuter) sides |= kBorderOuterTop;
  if (m.bottom == kBorderSideOuter) sides |= kBorderSideBottom;
  if (o.bottom == kBorderSideOuter) sides |= kBorderOuterBottom;
  drawing.sideMask = sides;

  if (paragraph && stroke.line == kLineDouble) {
    drawing.offsetMask = sides;
  } else {
    uint32_t offsets = sides & (kBorderTopInner | kBorderLeftInner | kBorderTopAfterRow1);
    if (m.left != 0) offsets |= kBorderSideLeft;
    if (m.right != 0) offsets |= kBorderSideRight;
    if (m.top != 0) offsets |= kBorderSideTop;
    if (m.bottom != 0) offsets |= kBorderSideBottom;
    drawing.offsetMask = offsets;
  }
  if (stroke.line == kLineDouble && sides != 15) draw.junction = BorderJunctionCode(junctionKind, o);
  return drawing;
}

void DrawBorder(QPainter& painter, const BorderStyle& border, bool paragraph, const BorderDisplay& display,
                const QRectF& rect) {
  const BorderDrawing drawing = PlanBorder(border, paragraph, display);
  DrawBorderCore(painter, drawing.stroke, drawing.sideMask, drawing.offsetMask, rect);
}
