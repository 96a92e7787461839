#include "glimmet/layout/gmTableLayout.h"

#include "framlet/foundation/flFonts.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/layout/gmLocate.h"
#include "glimmet/storage/StorageTestSupport.h"
#include "glimmet/storage/gmStyles.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

// "before", then a 2 x 2 table of 72-point columns with 2-point cell margins left and right, in
// DejaVu Sans at 12 points (lines 15 points high: the font's height and half a point), then "after". The first cell's 68 points of
// text width wrap it as "alpha beta " / "gamma " / "delta".
struct TableDoc {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("before\nafter"));
  DocRange table;
  uint32_t text = 0;  // the first cell's first text cp
  KnotInfo rows[2];

  TableDoc() {
    const uint8_t saved = g_glimmetConfig.tableOption;
    g_glimmetConfig.tableOption = 1;
    EXPECT_TRUE(SetNormalFont(doc.get(), IndexOfFont(QStringLiteral("DejaVuSans")), 48, true));
    EXPECT_TRUE(NewTableCore(doc.get(), kBody + 7, 2, 2, &table));
    g_glimmetConfig.tableOption = saved;
    const QStringList texts{QStringLiteral("alpha beta gamma delta"), QStringLiteral("one"), QStringLiteral("x"),
                            QStringLiteral("y")};
    for (int i = 3; i >= 0; --i) {
      KnotInfo row;
      EXPECT_TRUE(FetchKnot(doc.get(), table.first + 1, &row, kKnotRow));
      if (i >= 2) {
        EXPECT_TRUE(FetchKnot(doc.get(), row.limit, &row, kKnotRow));
      }
      EXPECT_TRUE(InsertText(doc.get(), row.kinkCps[i % 2] + 1, texts[i]));
    }
    EXPECT_TRUE(FetchKnot(doc.get(), table.first + 1, &rows[0], kKnotRow));
    EXPECT_TRUE(FetchKnot(doc.get(), rows[0].limit, &rows[1], kKnotRow));
    EXPECT_TRUE(FetchKnot(doc.get(), table.first, &tableInfo, kKnotTable));
    text = table.first + 2;
    SetBorder(0, 0);
  }
  // Gives the table a single black border of the kind and width.
  void SetBorder(int32_t kind, int64_t width) {
    PropRecord props;
    ASSERT_TRUE(FetchTable(doc.get(), table.first + 2, &tableInfo, &rows[0], &props));
    props.set<int32_t>(kTableBorderOffset + BorderField::kind, kind);
    props.set<int32_t>(kTableBorderOffset + BorderField::line, 0);
    props.set<int64_t>(kTableBorderOffset + BorderField::width, width);
    props.set<int64_t>(kTableBorderOffset + BorderField::offset, 0);
    SetPropsOnKink(doc.get(), uint32_t(tableInfo.index), IndexForProperties(doc.get(), &props));
  }
  LineFormat RowLine(int r) {
    LineFormat line;
    InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
    EXPECT_TRUE(FormatLine(r == 0 ? table.first : rows[1].first, PaneTextWidth(doc.get(), nullptr), &line));
    return line;
  }
  KnotInfo tableInfo;
};

TEST(TableLayout, CellLinesBreakBetweenWords) {
  TableDoc t;
  const uint32_t T = t.text;
  const uint32_t cell1 = t.rows[0].kinkCps[1] + 1;
  struct Case {
    uint32_t cp, start, end, endBeforeMark;
  };
  const Case cases[] = {
      {T + 3, t.table.first, T + 11, T + 11},   // "alpha beta " (the cell begins at the table)
      {T + 12, T + 11, T + 17, T + 17},         // "gamma "
      {T + 19, T + 17, T + 23, T + 22},         // "delta" and its paragraph mark
      {cell1 + 1, cell1, cell1 + 4, cell1 + 3},  // "one"
  };
  for (const Case& c : cases) {
    int32_t lineStart = 0;
    EXPECT_EQ(LineEdgeInTable(t.doc.get(), nullptr, c.cp, t.rows[0], &lineStart, 0), c.start) << c.cp;
    EXPECT_EQ(LineEdgeInTable(t.doc.get(), nullptr, c.cp, t.rows[0], nullptr, 1), c.end) << c.cp;
    EXPECT_EQ(LineEdgeInTable(t.doc.get(), nullptr, c.cp, t.rows[0], nullptr, 2), c.endBeforeMark) << c.cp;
  }
}

TEST(TableLayout, TheLastRowTakesTheTableEndSoTheTextAfterFollowsAtOnce) {
  TableDoc t;
  LogCapture log;
  const LineFormat first = t.RowLine(0);
  EXPECT_EQ(first.limitCp, t.rows[0].limit);
  const LineFormat last = t.RowLine(1);
  EXPECT_EQ(last.limitCp, t.tableInfo.limit);
  // The line after the table is the text "after", not an empty line at the table's end kink.
  LineFormat after;
  InitFormatLine(t.doc.get(), nullptr, &after, kFormatCollectRuns);
  ASSERT_TRUE(FormatLine(last.limitCp, PaneTextWidth(t.doc.get(), nullptr), &after));
  EXPECT_GE(after.limitCp, t.tableInfo.limit + 5);
  EXPECT_TRUE(log.assertMessages().isEmpty()) << log.assertMessages().join(u'|').toStdString();
  // Row lines clip at the table; the line after it at the pane.
  EXPECT_EQ(first.clipRange.limit, t.tableInfo.limit);
  EXPECT_EQ(last.clipRange.limit, t.tableInfo.limit);
  EXPECT_EQ(after.clipRange.limit, after.paneRange.limit);
}

TEST(TableLayout, RowsAreAsTallAsTheirTallestCellAndTheirBorders) {
  TableDoc t;
  EXPECT_EQ(t.RowLine(0).lineHeight, 45.0f);
  EXPECT_EQ(t.RowLine(1).lineHeight, 15.0f);
  EXPECT_EQ(t.RowLine(0).limitCp, t.rows[0].limit);
  // A 1-point box: the outer edges only.
  t.SetBorder(7, 12700);
  GMRowRects rects;
  ASSERT_TRUE(GetRowRectangles(t.RowLine(0), &rects));
  EXPECT_EQ(rects.rowRect, (GMRect{0, 1, 146, 45}));
  EXPECT_EQ(rects.cells, (std::vector<GMRect>{{1, 1, 72, 45}, {73, 1, 72, 45}}));
  EXPECT_EQ(t.RowLine(1).lineHeight, 16.0f);
}

// A row line's text runs from its first cell's left to its last cell's right, wherever the
// alignment, the left indent and the border put the table.
TEST(TableLayout, RowLinesTakeTheirEdgesFromTheirCells) {
  TableDoc t;
  const float width = float(PaneTextWidth(t.doc.get(), nullptr)) / 12700;
  const struct {
    int32_t alignment;
    int64_t leftIndent, border;
    float left, right;
  } cases[] = {
      {0, 0, 0, 0, 144},
      {0, 36 * 12700, 0, 36, 180},
      {3, 0, 0, width - 144, width},
      {1, 0, 0, (width - 144) / 2, (width + 144) / 2},
      {0, 0, 12700, 1, 145},  // a 1-point box: the cells inside its left edge
  };
  for (const auto& c : cases) {
    t.SetBorder(c.border ? 7 : 0, c.border);
    PropRecord props;
    ASSERT_TRUE(FetchTable(t.doc.get(), t.table.first + 2, &t.tableInfo, &t.rows[0], &props));
    props.set<int32_t>(TableProp::alignment, c.alignment);
    props.set<int64_t>(TableProp::left, c.leftIndent);
    SetPropsOnKink(t.doc.get(), uint32_t(t.tableInfo.index), IndexForProperties(t.doc.get(), &props));
    const LineFormat line = t.RowLine(0);
    EXPECT_EQ(line.originX, c.left) << c.alignment << " " << c.leftIndent << " " << c.border;
    EXPECT_EQ(line.leftEdge, c.left) << c.alignment << " " << c.leftIndent << " " << c.border;
    EXPECT_EQ(line.rightEdge, c.right) << c.alignment << " " << c.leftIndent << " " << c.border;
  }
}

TEST(TableLayout, PointsInARowFindCellsLinesAndBoundaries) {
  TableDoc t;
  const uint32_t T = t.text;
  const uint32_t cell1 = t.rows[0].kinkCps[1] + 1;
  const LineFormat row = t.RowLine(0);
  struct Case {
    double x, y;
    uint32_t cp;
    bool afterLineEnd;
    int32_t boundary, cellColumn;
  };
  const Case cases[] = {
      {3, 1, T, false, -1, 0},                 // before the middle of "a"
      {3, 15, T + 11, false, -1, 0},           // the second line
      {7, 15, T + 12, false, -1, 0},           // past the middle of its "g"
      {3, 100, T + 17, false, -1, -1},         // below the last line: the last line, outside the cell
      {71, 1, T + 10, true, -1, 0},            // past a wrapped line's text: its end
      {72, 1, T + 10, true, 0, -1},            // exactly between the cells: the left one
      {73, 1, cell1, false, 0, -1},            // just right of it
      {100, 1, cell1 + 3, false, -1, 1},       // past "one": before its paragraph mark
  };
  for (const Case& c : cases) {
    LocatorRec locator;
    locator.doc = t.doc.get();
    locator.pane = CurrentPane(t.doc.get());
    ASSERT_TRUE(LocateCpInTableRow(&locator, row, c.x, c.y));
    EXPECT_EQ(locator.cp, int32_t(c.cp)) << c.x << "," << c.y;
    EXPECT_EQ(locator.afterLineEnd, c.afterLineEnd) << c.x << "," << c.y;
    EXPECT_EQ(locator.boundaryIndex, c.boundary) << c.x << "," << c.y;
    EXPECT_EQ(locator.cellColumn, c.cellColumn) << c.x << "," << c.y;
  }
}

TEST(TableLayout, UpAndDownMoveThroughLinesAndRows) {
  TableDoc t;
  const uint32_t T = t.text;
  const uint32_t row1 = t.rows[1].first + 1;
  std::vector<bool> handedOver;
  SetDraftKeyHandler([&](LocatorRec*, uint32_t, uint32_t, bool noTable) { handedOver.push_back(noTable); });
  struct Case {
    uint32_t cp;
    int row;
    uint32_t key;
    uint32_t expected;
  };
  const Case cases[] = {
      {T + 3, 0, kKeyDown, T + 12},  // to "gamma", past the middle of its "g"
      {T + 19, 0, kKeyDown, row1 + 1},  // into the next row, after its "x"
      {row1, 1, kKeyUp, T + 18},        // into the last line of the row above
      {T + 3, 0, kKeyUp, kGMNone},      // out of the table above: the draft takes the key
      {row1, 1, kKeyDown, kGMNone},     // and below
  };
  for (const Case& c : cases) {
    LocatorRec locator;
    locator.doc = t.doc.get();
    locator.pane = CurrentPane(t.doc.get());
    locator.cp = int32_t(c.cp);
    EXPECT_EQ(MoveUpOrDownInTable(&locator, t.rows[c.row], c.key, 0, 7), c.expected) << c.cp;
  }
  EXPECT_EQ(handedOver, (std::vector<bool>{true, true}));
  SetDraftKeyHandler(nullptr);
}

TEST(LineFormatting, AClickOnTheMiddleOfACharacterStaysBeforeIt) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("wide"));
  ASSERT_TRUE(SetNormalFont(doc.get(), IndexOfFont(QStringLiteral("DejaVuSans")), 48, true));
  LineFormat line;
  InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
  ASSERT_TRUE(FormatLine(kBody, 914400 * 6, &line));
  EXPECT_EQ(line.limitCp, kBody + 5u);
  EXPECT_EQ(line.breakKind, uint32_t(kBreakBodyEnd));
  float after = 0;
  const float before = LineXFromCpCore(line, kBody + 1, &after);
  const float middle = (before + after) / 2;
  for (const auto& [x, cp] : {std::pair{middle, kBody + 1}, std::pair{middle + 0.01f, kBody + 2}}) {
    LocatorRec locator;
    LocateCpInLine(&locator, line, x);
    EXPECT_EQ(locator.cp, int32_t(cp)) << x;
  }
}

TEST(LineFormatting, ALineHoldsAtMost511Characters) {
  GlimmetDocPtr doc = DocWithBody(QString(600, u'i'));
  LineFormat line;
  InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
  const std::tuple<uint32_t, uint32_t, uint32_t> cases[] = {
      {kBody, kBody + 511, kBreakTooLong},
      {kBody + 511, kBody + 601, kBreakBodyEnd},  // the rest and the body's last mark
  };
  for (const auto& [first, limit, kind] : cases) {
    ASSERT_TRUE(FormatLine(first, int64_t(1000000) * 12700, &line));
    EXPECT_EQ(line.limitCp, limit);
    EXPECT_EQ(line.breakKind, kind);
  }
}

}  // namespace
