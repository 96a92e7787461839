#include "StorageTestSupport.h"
#include "glimmet/storage/gmBorderPlan.h"
#include "glimmet/storage/gmRtfReader.h"
#include "glimmet/storage/gmRtfWriter.h"

#include <gtest/gtest.h>

namespace {

BorderDisplay Place(uint32_t kind, uint32_t row, uint32_t rows, uint32_t column, uint32_t columns) {
  BorderDisplay display;
  SetBorderDisplay(kind, row, rows, column, columns, &display);
  return display;
}

BorderStyle Border(int32_t kind, int32_t line, int64_t width = 12700) {
  return BorderStyle{kind, line, width, 0, 0, g_blackKolor};
}

// Join codes of double lines, read from the cells of grids of each shape.
TEST(BorderPlan, JunctionCodes) {
  const struct { uint32_t kind, rows, columns, row, column, code; } cases[] = {
      {7, 1, 1, 0, 0, 21},  {7, 1, 3, 0, 1, 25},  {7, 3, 3, 1, 1, 0},   {7, 4, 4, 3, 3, 8},
      {9, 3, 3, 1, 1, 9},   {9, 3, 4, 2, 0, 14},  {10, 2, 3, 1, 2, 34}, {10, 4, 3, 2, 0, 1},
      {11, 3, 2, 2, 1, 33}, {11, 3, 2, 1, 1, 30}, {12, 2, 2, 1, 0, 14}, {12, 2, 1, 1, 0, 29},
      {14, 2, 3, 1, 2, 35}, {14, 2, 2, 1, 0, 37}, {14, 4, 4, 2, 1, 9},  {15, 1, 2, 0, 1, 18},
      {13, 3, 3, 1, 2, 3},  {8, 3, 3, 0, 0, 0},   {3, 5, 1, 4, 0, 30},  {0, 1, 1, 0, 0, 0},
      {16, 1, 1, 0, 0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BorderJunctionCode(c.kind, Place(c.kind, c.row, c.rows, c.column, c.columns)), c.code)
        << "kind " << c.kind << " " << c.rows << "x" << c.columns << " at " << c.row << "," << c.column;
}

TEST(BorderPlan, PlannedSidesOffsetsAndJoins) {
  const struct {
    int32_t kind, line;
    bool paragraph, boxed;
    uint32_t row, rows, column, columns;
    uint32_t sides, offsets, style, junction;
    uint8_t suppressLeft, rowOneBox;
  } cases[] = {
      // A lone box draws all four sides, on the group's outer edges.
      {7, kLineSingle, false, false, 0, 1, 0, 1, 0xF0F, 0xF, 2, 0, 0, 0},
      {7, kLineDouble, false, false, 0, 1, 0, 1, 0xF0F, 0xF, 3, 21, 0, 0},
      {7, kLineDouble, true, false, 0, 1, 0, 1, 0xF0F, 0xF0F, 3, 21, 0, 0},  // a paragraph's offsets follow its sides
      // Inside a grid a cell draws its top and left; the cells below and to the right draw the rest.
      {9, kLineSingle, false, false, 1, 3, 1, 3, 0x75, 0x7F, 2, 0, 0, 0},
      {9, kLineDouble, false, false, 2, 3, 2, 3, 0xA3F, 0x3F, 3, 16, 0, 0},
      {9, kLineSerrated, false, false, 0, 1, 0, 1, 0xF0F, 0xF, 2, 0, 0, 0},  // teeth between cells: a line
      {7, kLineSerrated, false, false, 0, 1, 0, 1, 0xF0F, 0xF, 6, 0, 0, 0},
      // Boxed: joined and drawn as a box, while the sides still follow the own kind.
      {8, kLineSerrated, true, true, 1, 3, 0, 1, 0x354, 0x5C, 6, 0, 0, 0},
      {1, kLineDouble, true, true, 1, 3, 0, 1, 0x301, 0x301, 3, 30, 0, 0},
      {14, kLineSingle, false, false, 1, 3, 0, 3, 0x55, 0x5F, 2, 0, 1, 1},
      {0, kLineDouble, false, false, 0, 1, 0, 1, 0x0F00, 0, 3, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " line " << c.line << " at " << c.row << "," << c.column);
    BorderDisplay display = Place(uint32_t(c.kind), c.row, c.rows, c.column, c.columns);
    display.flag = c.boxed;
    const BorderDrawing drawing = PlanBorder(Border(c.kind, c.line), c.paragraph, display);
    EXPECT_EQ(drawing.sideMask, c.sides);
    EXPECT_EQ(drawing.offsetMask, c.offsets);
    EXPECT_EQ(drawing.stroke.style, c.style);
    EXPECT_EQ(drawing.stroke.junction, c.junction);
    EXPECT_EQ(drawing.stroke.suppressLeft, c.suppressLeft);
    EXPECT_EQ(drawing.stroke.rowOneBox, c.rowOneBox);
  }
  // A double line is drawn a whole number of points wide; other lines keep their width.
  EXPECT_EQ(PlanBorder(Border(7, kLineDouble, 15240), false, Place(7, 0, 1, 0, 1)).stroke.width, 2.0f);
  EXPECT_FLOAT_EQ(PlanBorder(Border(7, kLineDots, 15240), false, Place(7, 0, 1, 0, 1)).stroke.width, 1.2f);

}

// Paragraph borders keep every field through the property record and through RTF.
TEST(BorderPlan, RoundTrips) {
  const Kolor red = MakeKolor(255, 0, 0), blue = MakeKolor(0, 0, 255), yellow = MakeKolor(255, 255, 0);
  const BorderStyle cases[] = {
      {kBorderBox, kLineSingle, 12700, 0, 25400, red, kNoKolor, yellow},
      {kBorderBottom, kLineDots, 6350, 0, 0, blue, kNoKolor, kNoKolor},
      {kBorderTopBottom, kLineDouble, 25400, 0, 12700, g_blackKolor, kNoKolor, kNoKolor},
      {kBorderLeft, kLineDashes, 12700, 0, 0, red, kNoKolor, kNoKolor},
      {kBorderBox, kLineSerrated, 12700, 76200, 0, blue, kNoKolor, kNoKolor},
      {kBorderBox, kLineGradient, 12700, 127000, 0, red, blue, kNoKolor},
      {kBorderBoxBetween, kLineScallops, 12700, 50800, 0, red, kNoKolor, kNoKolor},
      {kBorderLeftRight, kLineSingle, 12700, 0, 0, red, kNoKolor, kNoKolor},
  };
  for (const BorderStyle& b : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << b.kind << " line " << b.line);
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("bordered"));
    PropRecord para = ParaAt(doc.get(), kBody);
    SetBorderStyleAt(&para, ParaField::border, b);
    EXPECT_EQ(BorderStyleAt(para, ParaField::border), b);
    ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody, kBody + 9}, para));
    const QString rtf = ExportRtf({doc.get(), kBody, uint32_t(doc->userLength)});
    GlimmetDocPtr back(NewGlimmetDoc(kDocTemporary));
    ASSERT_EQ(ImportRtf(back.get(), rtf, kRtfModeNormal), kRtfImportOk);
    EXPECT_EQ(BorderStyleAt(ParaAt(back.get(), kBody), ParaField::border), b) << rtf.toStdString();
  }
}

}  // namespace
