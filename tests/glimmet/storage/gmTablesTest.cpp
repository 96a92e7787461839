#include "glimmet/storage/gmTables.h"

#include "StorageTestSupport.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmFetch.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

struct TableOption {
  uint8_t saved = g_glimmetConfig.tableOption;
  explicit TableOption(uint8_t value) { g_glimmetConfig.tableOption = value; }
  ~TableOption() { g_glimmetConfig.tableOption = saved; }
};

// Writes text into each cell of the table beginning at tableCp, row by row.
void FillCells(GlimmetDoc* doc, uint32_t tableCp, const QStringList& texts) {
  for (qsizetype i = texts.size(); i-- > 0;) {
    KnotInfo table;
    ASSERT_TRUE(FetchKnot(doc, tableCp, &table, kKnotTable));
    // Find the i-th cell by walking rows.
    qsizetype n = 0;
    uint32_t cp = table.first + 1;
    while (cp + 1 < table.limit) {
      KnotInfo row;
      ASSERT_TRUE(FetchKnot(doc, cp, &row, kKnotRow));
      for (uint32_t c = 0; c + 1 < row.kinkCount; ++c, ++n) {
        if (n != i) continue;
        ASSERT_TRUE(InsertText(doc, row.kinkCps[c] + 1, texts[i]));
      }
      if (n > i) break;
      cp = row.limit;
    }
  }
}

// A new table of rows x columns at the start of the body, made with the given table option.
DocRange NewTable(GlimmetDoc* doc, uint32_t rows, uint32_t columns, uint8_t tableOption = 1) {
  TableOption option(tableOption);
  DocRange range;
  EXPECT_TRUE(NewTableCore(doc, kBody, rows, columns, &range));
  return range;
}

// The first count column widths of a table's properties.
std::vector<int64_t> Widths(const PropRecord& props, uint32_t count) {
  std::vector<int64_t> widths;
  for (uint32_t i = 0; i < count; ++i) widths.push_back(props.get<int64_t>(TableProp::widths + 8 * i));
  return widths;
}

TEST(Tables, ASpreadsheetTableOfFixedWidths) {
  GlimmetDocPtr doc = DocWithBody(QString());
  const DocRange range = NewTable(doc.get(), 3, 2);
  KnotInfo table, row;
  PropRecord props;
  ASSERT_TRUE(FetchTable(doc.get(), range.first + 2, &table, &row, &props));
  EXPECT_EQ(table.first, range.first);
  EXPECT_EQ(props.get<uint16_t>(TableProp::columns), 2);
  EXPECT_EQ(props.body[TableProp::autoFit], 0);
  EXPECT_EQ(Widths(props, 3), (std::vector<int64_t>{914400, 914400, 0}));
  EXPECT_EQ(row.kinkCount, 3u);
  EXPECT_EQ(doc->tableCps.count(), 1u);
  // Three rows of two empty one-paragraph cells: table kinks 2, rows 3 x (3 kinks + 2 marks).
  EXPECT_EQ(range.length(), 2u + 3u * 5u);
  EXPECT_TRUE(IsTabbedTable(range));
}

TEST(Tables, WithoutTheOptionWidthsAreProportional) {
  GlimmetDocPtr doc = DocWithBody(QString());
  const DocRange range = NewTable(doc.get(), 1, 4, 0);
  KnotInfo table, row;
  PropRecord props;
  ASSERT_TRUE(FetchTable(doc.get(), range.first, &table, &row, &props));
  EXPECT_EQ(props.body[TableProp::autoFit], 1);
  EXPECT_EQ(props.get<int64_t>(TableProp::widths + 24), kFullShare / 4);
}

TEST(Tables, ATabbedTableBecomesTabbedLines) {
  GlimmetDocPtr doc = DocWithBody(QString());
  const DocRange range = NewTable(doc.get(), 2, 2);
  FillCells(doc.get(), range.first, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
  KnotInfo table;
  ASSERT_TRUE(FetchKnot(doc.get(), range.first, &table, kKnotTable));
  // Extraction sees the table as tabbed lines and leaves the document alone, quietly.
  {
    LogCapture log;
    EXPECT_EQ(ExtractPlainText(table.range(), false), QStringLiteral("a\tb\nc\td\n"));
    EXPECT_TRUE(log.assertMessages().isEmpty()) << log.assertMessages().join(u'|').toStdString();
  }
  EXPECT_EQ(doc->tableCps.count(), 1u);
  DocRange converted = table.range();
  TableToText(&converted);
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("a\tb\nc\td\n\n\n"));
  EXPECT_EQ(TextOfRange(converted), QStringLiteral("a\tb\nc\td\n"));
  EXPECT_EQ(doc->tableCps.count(), 0u);
  EXPECT_EQ(doc->knots.count(), 8u);
}

// Each line of a converted table is the paragraph of its row's last cell; each cell's text keeps
// its character properties.
TEST(Tables, ConvertedRowsKeepTheirFormatting) {
  GlimmetDocPtr doc = DocWithBody(QString());
  constexpr uint32_t kRows = 4, kColumns = 3;
  const DocRange range = NewTable(doc.get(), kRows, kColumns);
  QStringList texts;
  for (uint32_t i = 0; i < kRows * kColumns; ++i) texts << QStringLiteral("c%1").arg(i);
  FillCells(doc.get(), range.first, texts);
  KnotInfo table, row;
  ASSERT_TRUE(FetchKnot(doc.get(), range.first, &table, kKnotTable));
  const auto alignmentOf = [](uint32_t cell) { return int32_t(cell * 7 % 4); };
  for (uint32_t cp = table.first + 1, r = 0; cp + 1 < table.limit; cp = row.limit, ++r) {
    ASSERT_TRUE(FetchKnot(doc.get(), cp, &row, kKnotRow));
    for (uint32_t c = 0; c < kColumns; ++c) {
      const uint32_t cell = r * kColumns + c;
      PropRecord para = DefaultProps(doc.get(), kPropPara);
      para.set<int32_t>(ParaField::alignment, alignmentOf(cell));
      ASSERT_TRUE(ApplyPropsToRange({doc.get(), row.kinkCps[c] + 1, row.kinkCps[c] + 2}, para));
      PropRecord chars = DefaultProps(doc.get(), kPropChar);
      chars.body[CharField::bold] = cell % 2;
      ASSERT_TRUE(ApplyPropsToRange({doc.get(), row.kinkCps[c] + 1, row.kinkCps[c + 1] - 1}, chars));
    }
  }
  DocRange converted = table.range();
  TableToText(&converted);
  QString lines;
  for (uint32_t r = 0; r < kRows; ++r)
    lines += QStringLiteral("c%1\tc%2\tc%3\n").arg(r * kColumns).arg(r * kColumns + 1).arg(r * kColumns + 2);
  ASSERT_EQ(TextOfRange(converted), lines);
  EXPECT_EQ(doc->knots.count(), 8u);
  uint32_t cp = converted.first;
  for (uint32_t cell = 0; cell < kRows * kColumns; ++cell) {
    SCOPED_TRACE(testing::Message() << "cell " << cell);
    EXPECT_EQ(CharsAt(doc.get(), cp).body[CharField::bold], cell % 2);
    const uint32_t last = cell - cell % kColumns + kColumns - 1;
    EXPECT_EQ(ParaAt(doc.get(), cp).get<int32_t>(ParaField::alignment), alignmentOf(last));
    cp += uint32_t(texts[qsizetype(cell)].size()) + 1;
  }
}

TEST(Tables, ACellOfTwoParagraphsIsNotTabbed) {
  GlimmetDocPtr doc = DocWithBody(QString());
  const DocRange range = NewTable(doc.get(), 1, 2);
  FillCells(doc.get(), range.first, {QStringLiteral("x\ny"), QStringLiteral("z")});
  KnotInfo table;
  ASSERT_TRUE(FetchKnot(doc.get(), range.first, &table, kKnotTable));
  EXPECT_FALSE(IsTabbedTable(table.range()));
  DocRange converted = table.range();
  TableToText(&converted);
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("x\ny\nz\n\n\n"));
}

TEST(Tables, CellsAreFoundByCpAndByColumn) {
  GlimmetDocPtr doc = DocWithBody(QString());
  const DocRange range = NewTable(doc.get(), 2, 3);
  KnotInfo table, row;
  ASSERT_TRUE(FetchTable(doc.get(), range.first + 1, &table, &row, nullptr));
  DocRange cell;
  EXPECT_EQ(IndexAndRangeForCell(&table, &row, row.kinkCps[2], -1, &cell), 1u);
  EXPECT_EQ(IndexAndRangeForCell(&table, &row, 0, 2, &cell), 2u);
  EXPECT_EQ(cell, (DocRange{doc.get(), row.kinkCps[2] + 1, row.kinkCps[3]}));
  EXPECT_EQ(IndexAndRangeForCell(&table, &row, 0, 0, &cell), 0u);
  EXPECT_EQ(cell.first, table.first);  // the table's first cell starts at the table
  EXPECT_EQ(IndexAndRangeForCell(&table, &row, 0, 3, &cell), kGMNone);
  KnotInfo second;
  ASSERT_TRUE(FetchTable(doc.get(), row.limit + 1, &table, &second, nullptr));
  EXPECT_EQ(second.first, row.limit);
  PropRecord props;
  uint32_t border = 0;
  EXPECT_EQ(ApproximateRowNumber(table, row, row.first, row.limit, props, &border), 0u);
  EXPECT_EQ(ApproximateRowNumber(table, second, 0, second.limit, props, &border), 1u);
  EXPECT_EQ(border, 2u);
}

KnotInfo RowOf(GlimmetDoc* doc, uint32_t columns, KnotInfo* table) {
  const DocRange range = NewTable(doc, 2, columns);
  KnotInfo row;
  EXPECT_TRUE(FetchTable(doc, range.first + 1, table, &row, nullptr));
  return row;
}

TEST(Tables, ProportionalColumnsShareTheFreeWidth) {
  GlimmetDocPtr doc = DocWithBody(QString());
  KnotInfo table;
  const KnotInfo row = RowOf(doc.get(), 3, &table);
  PropRecord props = BaseProps(kPropTable);
  props.body[TableProp::autoFit] = 1;
  props.set<int64_t>(TableProp::widths, 254000);
  props.set<int64_t>(TableProp::widths + 8, 381000);
  props.set<int64_t>(TableProp::widths + 16, 999);  // the last column takes what is left
  props.set<int64_t>(TableProp::left, 12700 * 10);
  props.set<int64_t>(TableProp::right, 12700 * 10);
  GMRect rect{5, 0, 520, 40};
  std::vector<GMRect> cells;
  std::vector<int64_t> widths;
  GetCellRects(props, 0, 2, table, row, &rect, &cells, &widths);
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_DOUBLE_EQ(cells[0].width, 100);
  EXPECT_DOUBLE_EQ(cells[1].width, 150);
  EXPECT_DOUBLE_EQ(cells[2].width, 250);
  EXPECT_DOUBLE_EQ(cells[0].x, 15);
  EXPECT_DOUBLE_EQ(cells[2].x, 265);
  EXPECT_DOUBLE_EQ(rect.x, 15);
  EXPECT_DOUBLE_EQ(rect.width, 500);
  EXPECT_EQ(widths[2], 250 * 12700);
}

TEST(Tables, OuterMarginsAndAlignmentOfFixedTables) {
  GlimmetDocPtr doc = DocWithBody(QString());
  KnotInfo table;
  const KnotInfo row = RowOf(doc.get(), 2, &table);
  PropRecord props = BaseProps(kPropTable);
  for (int i = 0; i < 2; ++i) props.set<int64_t>(TableProp::widths + 8 * i, 914400);
  props.set<int64_t>(TableProp::cellLeft, 25400);
  props.set<int64_t>(TableProp::cellRight, 12700);
  props.set<int64_t>(TableProp::right, 12700 * 4);
  struct {
    uint8_t outer;
    int32_t align;
    double x;
    int64_t first, last;
  } cases[] = {{0, 0, 10, 914400 - 38100, 914400 - 38100},
               {1, 0, 10, 914400 - 12700, 914400 - 25400},
               {0, 3, 10 + 300 - 4 - 144, 914400 - 38100, 914400 - 38100},
               {0, 1, 10 + (300 - 4 - 144) / 2.0, 914400 - 38100, 914400 - 38100}};
  for (const auto& c : cases) {
    props.body[TableProp::outerMargins] = c.outer;
    props.set<int32_t>(TableProp::alignment, c.align);
    GMRect rect{10, 0, 300, 20};
    std::vector<GMRect> cells;
    std::vector<int64_t> widths;
    GetCellRects(props, 0, 2, table, row, &rect, &cells, &widths);
    EXPECT_DOUBLE_EQ(rect.x, c.x) << int(c.outer) << c.align;
    EXPECT_DOUBLE_EQ(rect.width, 144);
    EXPECT_EQ(widths, (std::vector<int64_t>{c.first, c.last}));
    EXPECT_EQ(ColumnWidth(props, table, row, 0, 1), c.last);
  }
}

// A source table of rows x 4 cells "a1".."d1", "a2".., column widths 1-4 inches and cell colours 1-4.
DocRange FourColumnTable(GlimmetDoc* doc, uint32_t rows) {
  const DocRange range = NewTable(doc, rows, 4);
  QStringList texts;
  for (uint32_t r = 1; r <= rows; ++r)
    for (char c : {'a', 'b', 'c', 'd'}) texts << QString(QChar(c)) + QString::number(r);
  FillCells(doc, range.first, texts);
  KnotInfo table;
  EXPECT_TRUE(FetchKnot(doc, range.first, &table, kKnotTable));
  PropRecord props = *PropertiesAtIndex(doc, table.entry.propIndex);
  for (uint32_t i = 0; i < 4; ++i) props.set<int64_t>(TableProp::widths + 8 * i, 914400 * (i + 1));
  SetPropsOnKink(doc, uint32_t(table.index), IndexForProperties(doc, &props));
  KnotInfo row;
  EXPECT_TRUE(FetchKnot(doc, range.first + 1, &row, kKnotRow));
  for (uint32_t i = 1; i <= 4; ++i) doc->knots.at(doc->knots.indexAtCp(row.kinkCps[i])).value = i;
  return table.range();
}

TEST(Tables, CopyingCellsOfOneRowMakesATableOfThoseCells) {
  GlimmetDocPtr source = DocWithBody(QString());
  FourColumnTable(source.get(), 2);
  KnotInfo table, row;
  ASSERT_TRUE(FetchTable(source.get(), kBody + 1, &table, &row, nullptr));
  GlimmetDocPtr target = DocWithBody(QStringLiteral("x"));
  DocRange at{target.get(), kBody, kBody};
  ASSERT_TRUE(CopyTablePiece(&at, {source.get(), row.kinkCps[1] + 1, row.kinkCps[3]}));
  KnotInfo made, madeRow;
  PropRecord props;
  ASSERT_TRUE(FetchTable(target.get(), kBody + 1, &made, &madeRow, &props));
  EXPECT_EQ(at.first, made.limit);
  EXPECT_EQ(props.get<uint16_t>(TableProp::columns), 2);
  EXPECT_EQ(Widths(props, 3), (std::vector<int64_t>{2 * 914400, 3 * 914400, 0}));
  ASSERT_EQ(madeRow.kinkCount, 3u);
  EXPECT_EQ(target->knots.at(target->knots.indexAtCp(madeRow.kinkCps[1])).value, 2u);
  EXPECT_EQ(target->knots.at(target->knots.indexAtCp(madeRow.kinkCps[2])).value, 3u);
  EXPECT_EQ(ExtractPlainText(made.range(), false), QStringLiteral("b1\tc1\n"));
  EXPECT_EQ(target->tableCps.count(), 1u);
}

TEST(Tables, CopyingAcrossRowsInsertsThePartialCellTexts) {
  GlimmetDocPtr source = DocWithBody(QString());
  FourColumnTable(source.get(), 2);
  KnotInfo table, first, second;
  ASSERT_TRUE(FetchTable(source.get(), kBody + 1, &table, &first, nullptr));
  ASSERT_TRUE(FetchKnot(source.get(), first.limit, &second, kKnotRow));
  GlimmetDocPtr target = DocWithBody(QString());
  DocRange at{target.get(), kBody, kBody};
  ASSERT_TRUE(CopyTablePiece(&at, {source.get(), first.kinkCps[3] + 2, second.kinkCps[0] + 2}));
  EXPECT_EQ(BodyText(target.get()), QStringLiteral("1\na\n\n"));
  EXPECT_EQ(target->tableCps.count(), 0u);
  EXPECT_EQ(target->knots.count(), 8u);
}

TEST(Tables, CopyingWholeRowsMakesATableOfThoseRows) {
  GlimmetDocPtr source = DocWithBody(QString());
  FourColumnTable(source.get(), 3);
  KnotInfo table, first, second;
  ASSERT_TRUE(FetchTable(source.get(), kBody + 1, &table, &first, nullptr));
  ASSERT_TRUE(FetchKnot(source.get(), first.limit, &second, kKnotRow));
  KnotInfo third;
  ASSERT_TRUE(FetchKnot(source.get(), second.limit, &third, kKnotRow));
  GlimmetDocPtr target = DocWithBody(QString());
  DocRange at{target.get(), kBody, kBody};
  ASSERT_TRUE(CopyTablePiece(&at, {source.get(), second.first, third.limit}));
  KnotInfo made;
  ASSERT_TRUE(FetchKnot(target.get(), kBody, &made, kKnotTable));
  EXPECT_EQ(ExtractPlainText(made.range(), false), QStringLiteral("a2\tb2\tc2\td2\na3\tb3\tc3\td3\n"));
  EXPECT_EQ(at.first, made.limit);
}

TEST(Tables, PointsFindColumnsAndBoundaries) {
  const std::vector<GMRect> cells{{0, 0, 100, 20}, {104, 0, 50, 20}, {160, 0, 40, 20}};
  struct {
    double x;
    uint32_t column;
    int32_t boundary, proportionalBoundary;
  } cases[] = {{0, 0, -1, -1},    {102, 0, 0, 0},    {102.01, 1, 0, 0}, {130, 1, -1, -1},
               {157, 1, 1, 1},    {158, 2, 1, 1},    {200.5, 2, 2, -1}, {250, 2, -1, -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(ColumnAtX(cells, c.x), c.column) << c.x;
    EXPECT_EQ(ColumnBoundaryAtX(cells, c.x, 1.0, false), c.boundary) << c.x;
    EXPECT_EQ(ColumnBoundaryAtX(cells, c.x, 1.0, true), c.proportionalBoundary) << c.x;
  }
}

}  // namespace

namespace {

// A knot inserted inside a cell stays in that cell.
TEST(Tables, KnotsInsertedInACellStayThere) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  DocRange table;
  ASSERT_TRUE(NewTableCore(doc.get(), kBody, 1, 3, &table));
  KnotInfo row;
  ASSERT_TRUE(FetchKnot(doc.get(), kBody + 1, &row, kKnotRow));
  DocRange at{doc.get(), row.kinkCps[3] - 1, row.kinkCps[3] - 1};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotCheckbox, 0, 0, nullptr, 0, nullptr, false));
  ASSERT_TRUE(FetchKnot(doc.get(), kBody + 1, &row, kKnotRow));
  EXPECT_EQ(at.first, row.kinkCps[3] - 2);  // the last cell's text, before its mark
}

// Rows whose cells are formatted directly come out as those formatted through the general path,
// between paragraphs of other formats.
TEST(Tables, PlainCellsAreFormattedAsTheGeneralPathFormatsThem) {
  using Runs = std::vector<std::pair<uint32_t, uint32_t>>;
  auto runsOf = [](const GMCpTable<uint32_t>& table) {
    Runs runs;
    for (uint32_t i = 0; i < table.count(); ++i) runs.emplace_back(table.cpAt(i), table.at(i));
    return runs;
  };
  for (const auto& [rows, columns] : {std::pair{1u, 1u}, {2u, 3u}, {3u, 5u}}) {
    Runs chars[2], paras[2];
    for (int plain = 0; plain < 2; ++plain) {
      GlimmetDocPtr doc = DocFromRtf(QStringLiteral("{\\rtf1\\pard\\li100\\b a\\par\\pard\\li200 b\\par}"));
      GMRowRequest request;
      request.plainCells = plain;
      DocRange table;
      ASSERT_TRUE(NewTableCore(doc.get(), kBody + 2, rows, columns, &table, &request));
      chars[plain] = runsOf(doc->charRuns);
      paras[plain] = runsOf(doc->paraRuns);
    }
    EXPECT_EQ(chars[0], chars[1]) << rows << "x" << columns;
    EXPECT_EQ(paras[0], paras[1]) << rows << "x" << columns;
  }
}

TEST(Tables, TheLastRowFetchedIsKeptUntilAnEditInIt) {
  GlimmetDocPtr doc = DocWithBody(QString());
  const DocRange range = NewTable(doc.get(), 2, 2);
  KnotInfo table, row;
  ASSERT_TRUE(FetchTable(doc.get(), range.first + 2, &table, &row, nullptr));
  EXPECT_EQ(doc->tableCaches[0].first, row.first);
  EXPECT_EQ(doc->tableCaches[1].first, table.first);
  const uint32_t rowLimit = row.limit;
  // Asked again, anywhere in the row, the same row.
  KnotInfo again, againTable;
  ASSERT_TRUE(FetchTable(doc.get(), row.kinkCps[1] + 1, &againTable, &again, nullptr));
  EXPECT_EQ(again.first, row.first);
  EXPECT_EQ(again.limit, rowLimit);
  EXPECT_EQ(againTable.limit, table.limit);
  // Text typed in the first cell moves the row's end: the next fetch sees it.
  ASSERT_TRUE(InsertText(doc.get(), row.kinkCps[0] + 1, QStringLiteral("abc")));
  ASSERT_TRUE(FetchTable(doc.get(), row.kinkCps[1] + 4, &againTable, &again, nullptr));
  EXPECT_EQ(again.limit, rowLimit + 3);
  EXPECT_EQ(againTable.limit, table.limit + 3);
  // The second row is not the first one's cache.
  KnotInfo second;
  ASSERT_TRUE(FetchTable(doc.get(), again.limit + 1, &againTable, &second, nullptr));
  EXPECT_EQ(second.first, again.limit);
}

}  // namespace
