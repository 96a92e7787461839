#include "glimmet/storage/gmBorders.h"

#include "StorageTestSupport.h"
#include "glimmet/storage/gmKnots.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(Borders, CssColourText) {
  const std::pair<Kolor, const char*> cases[] = {
      {0x64FF0000, "rgb(0,0,255)"},   {0x3200FF00, "rgba(0,255,0,0.50)"}, {0, "transparent"},
      {0xFFFFFFFF, "transparent"},  // no colour
  };
  for (const auto& [kolor, text] : cases) EXPECT_EQ(CssColorString(kolor), QString::fromLatin1(text)) << kolor;
}

// The drawn sides (top, bottom, left, right) of the cells of a 3 x 3 grid, for several kinds.
TEST(Borders, KindsKeepTheirSidesOfAGrid) {
  struct Case {
    uint32_t kind, row, column;
    uint32_t top, bottom, left, right;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0, 0, 0},  {7, 0, 0, 2, 0, 2, 0},  {7, 1, 1, 0, 0, 0, 0},  {7, 2, 2, 0, 2, 0, 2},
      {9, 1, 1, 3, 1, 3, 1},  {9, 0, 0, 2, 1, 2, 1},  {8, 0, 0, 0, 1, 0, 1},  {8, 2, 2, 3, 0, 3, 0},
      {12, 1, 1, 3, 0, 3, 0}, {13, 0, 1, 0, 1, 0, 0}, {13, 1, 1, 3, 0, 0, 0}, {15, 1, 2, 3, 0, 3, 0},
      {14, 1, 0, 3, 1, 6, 1}, {14, 1, 2, 3, 1, 3, 6}, {3, 2, 0, 0, 2, 2, 0},  {10, 1, 0, 3, 0, 2, 0},
  };
  for (const Case& c : cases) {
    BorderDisplay sides;
    SetBorderDisplay(c.kind, c.row, 3, c.column, 3, &sides);
    ModifyBorderDisplayForKind(c.kind, &sides);
    EXPECT_EQ((std::vector<uint32_t>{sides.top, sides.bottom, sides.left, sides.right}),
              (std::vector<uint32_t>{c.top, c.bottom, c.left, c.right}))
        << "kind " << c.kind << " cell " << c.row << "," << c.column;
  }
}

TEST(Borders, ThicknessOfTheSides) {
  struct Case {
    int32_t kind, line;
    int64_t width, offset;
    uint32_t row, column;
    uint8_t secondFlag;
    BorderSides expected;  // left, top, right, bottom
  };
  const Case cases[] = {
      {7, 0, 1270, 0, 0, 0, 0, {1, 1, 1, 1}},      // 0.1 pt counts as 0.5, drawn at least 1 pt
      {7, 1, 1270, 0, 0, 0, 0, {3, 3, 3, 3}},      // double: a whole point, three times
      {7, 0, 12700, 0, 1, 1, 0, {0, 0, 0, 0}},     // a box leaves a middle cell alone
      {9, 0, 12700, 25400, 1, 1, 0, {3, 3, 2, 2}}, // between cells: the offset on the far sides
      {9, 0, 12700, 25400, 1, 1, 1, {3, 3, 2, 0}},
      {0, 0, 12700, 0, 0, 0, 0, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    BorderStyle border;
    border.kind = c.kind;
    border.line = c.line;
    border.width = c.width;
    border.offset = c.offset;
    border.lineColor = 0x64000000;
    BorderDisplay sides;
    SetBorderDisplay(uint32_t(c.kind), c.row, c.kind == 7 && c.row == 0 ? 1 : 3, c.column,
                     c.kind == 7 && c.row == 0 ? 1 : 3, &sides);
    sides.secondFlag = c.secondFlag;
    EXPECT_EQ(BorderThickness(border, sides), c.expected) << c.kind << " " << c.line << " " << c.width;
  }
}

// "one\ntwo\nthree\nfour": the first two paragraphs bordered alike, the third bordered with a
// wider left indent, the fourth plain. The drawn sides of each paragraph's first line after
// remapping, as {top, bottom, left, right}.
TEST(Borders, ParagraphsOfEqualBordersFormOneGroup) {
  struct Case {
    int32_t kind;
    std::array<uint32_t, 4> sides[3];
  };
  const Case cases[] = {
      {7, {{2, 0, 2, 2}, {0, 2, 2, 2}, {2, 2, 2, 2}}},  // one box round the first two
      {8, {{0, 0, 0, 0}, {3, 0, 0, 0}, {0, 0, 0, 0}}},  // a line between them only
      {6, {{2, 0, 0, 0}, {0, 2, 0, 0}, {2, 2, 0, 0}}},  // above and below the group
      {4, {{2, 0, 0, 0}, {0, 0, 0, 0}, {2, 0, 0, 0}}},  // above the group
      {5, {{0, 0, 0, 0}, {0, 2, 0, 0}, {0, 2, 0, 0}}},  // below the group
  };
  for (const Case& c : cases) {
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo\nthree\nfour"));
    const uint32_t starts[] = {kBody, kBody + 4, kBody + 8, kBody + 14};
    PropRecord para = ParaAt(doc.get(), kBody);
    para.set<int32_t>(ParaField::border + BorderField::kind, c.kind);
    para.set<int64_t>(ParaField::border + BorderField::width, 12700);
    para.set<uint32_t>(ParaField::border + BorderField::lineColor, 0x64000000);
    ASSERT_TRUE(ApplyPropsToRange({doc.get(), starts[0], starts[2]}, para));
    para.set<int64_t>(ParaField::leftIndent, 12700 * 10);
    ASSERT_TRUE(ApplyPropsToRange({doc.get(), starts[2], starts[3]}, para));
    DocRange pane;
    GetPaneRange(doc.get(), nullptr, &pane);
    for (int p = 0; p < 3; ++p) {
      DocRange range;
      PropRecord props;
      FetchParaProps(doc.get(), nullptr, starts[p], &range, &props);
      BorderDisplay edges;
      GetParagraphBorderEdges(doc.get(), nullptr, range, props, FirstVisibleCpInPara(doc.get(), nullptr, pane.first),
                              pane.limit, starts[p], starts[p + 1], &edges);
      ModifyBorderDisplayForKind(uint32_t(c.kind), &edges);
      const std::array<uint32_t, 4> got{edges.top, edges.bottom, edges.left, edges.right};
      EXPECT_EQ(got, c.sides[p]) << "kind " << c.kind << " paragraph " << p;
    }
  }
}

}  // namespace
