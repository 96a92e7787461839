// The block of cells that hold content, and the overflow placeholders a text gives back when it
// shrinks or goes.
#include "SheetTestSupport.h"

#include "calculator/model/CAFormat.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caColumnLabels.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flReadingMeter.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <functional>
#include <optional>

namespace {

const QString kLongText = QString(200, QLatin1Char('w'));

class ContentTest : public SheetTest {
 protected:
  // The columns of row y that hold cells, as "A C D".
  QString cellsOfRow(int64_t y) const {
    const CARow* r = document.row(y);
    QStringList columns;
    if (r)
      for (const CACellEntry& entry : r->cells()) columns.append(LabelForColumn(uint64_t(entry.x())));
    return columns.join(QLatin1Char(' '));
  }
};

TEST_F(ContentTest, TheContentExtentLeavesOutOverflowPlaceholders) {
  EXPECT_EQ(document.contentExtent(), GridRange{});
  enter("B2", kLongText);
  enter("A4", "1");
  recalc();
  ASSERT_GT(cell("B2")->extraColumns(), 3u);
  const int64_t reach = 1 + int64_t(cell("B2")->extraColumns());
  // The placeholders are cells, but occupy nothing: only the text drawn over them reaches there.
  EXPECT_EQ(document.extent().endPoint.x, 1);
  EXPECT_EQ(document.extent(true).endPoint.x, reach);
  EXPECT_EQ(document.contentExtent(), (GridRange{{0, 1}, {1, 3}}));
  // Printing covers the overflow as shown.
  EXPECT_EQ(document.contentExtent(true), (GridRange{{0, 1}, {reach, 3}}));

  // A formatted cell inside the overflow is content, and the text still overflows past it.
  CAFormat italic;
  italic.setItalic(true);
  cell("D2")->setFormat(italic);
  EXPECT_EQ(document.contentExtent(), (GridRange{{0, 1}, {3, 3}}));
  EXPECT_EQ(document.contentExtent(true), (GridRange{{0, 1}, {reach, 3}}));

  // A format or a note is content too.
  CAFormat bold;
  bold.setBold(true);
  document.cellAtGridPointImperative(A1("F7"))->setFormat(bold);
  document.cellAtGridPointImperative(A1("H1"))->setNote(QStringLiteral("see"));
  EXPECT_EQ(document.contentExtent(), (GridRange{{0, 0}, {7, 6}}));
}

// What a user meets of the sheet's extent: Select All, the last cell (Ctrl+End), the saved rows
// and the drawing. A long text's placeholders are none of it
// but the drawing, however many columns its text reaches.
TEST_F(ContentTest, NoOverflowPlaceholderIsSelectedGoneToCountedOrSaved) {
  enter("B2", kLongText);
  enter("A4", "1");
  enter("B6", "=B2");
  recalc();
  recalc();
  ASSERT_GT(cell("B2")->extraColumns(), 3u);
  const int64_t reach = 1 + int64_t(cell("B2")->extraColumns());
  ASSERT_NE(cell("C2"), nullptr);
  ASSERT_EQ(cell("C2")->valueType(), kValueOverflow);
  const auto saved = [&] {
    FLXmlEncoder encoder;
    for (const std::unique_ptr<CARow>& row : document.rows()) row->saveToXml(encoder, &document);
    return encoder.xml();
  };
  const auto block = [](const GridRange& range) {
    return StringFromGridPoint(range.startPoint) + QLatin1Char(':') + StringFromGridPoint(range.endPoint);
  };
  const struct {
    const char* name;
    std::function<QString()> seen;
    QString expected;
  } cases[] = {
      {"Select All", [&] { return block(document.fullExtent()); }, block(Range("A1", "B6"))},
      {"the last cell", [&] { return StringFromGridPoint(document.maxGridPoint()); }, StringFromGridPoint(A1("B6"))},
      {"the drawing", [&] { return StringFromGridPoint(document.maxGridPoint(true)); },
       StringFromGridPoint(GridPoint{reach, 5})},
      {"the saved rows", [&] { return QString::number(saved().count(QLatin1String("<cell "))); }, QStringLiteral("3")},
  };
  for (const auto& c : cases) EXPECT_EQ(c.seen(), c.expected) << c.name;
}

// The placeholders are cells: a command that lays out many long texts (an open of a file of long
// lines) makes them under its meter, and once the meter is past its budget no text overflows
// further. The fake heap passes the budget after a number of the meter's reads.
int g_heapReadsLeft = 0;
int64_t HeapPastTheBudgetAfterSomeReads() { return g_heapReadsLeft-- > 0 ? 0 : int64_t(1) << 40; }

TEST_F(ContentTest, LongTextsOverflowNoFurtherOnceTheCommandsMeterIsPast) {
  constexpr int64_t kRows = 1000;
  for (int64_t y = 0; y < kRows; ++y) document.cellAtGridPointImperative({0, y})->setFormula(kLongText);
  const auto placeholders = [&] {
    int64_t count = 0;
    for (const std::unique_ptr<CARow>& row : document.rows())
      for (const CACellEntry& entry : row->cells()) count += entry.valueType() == kValueOverflow;
    return count;
  };
  const struct {
    const char* name;
    bool metered;
    int reads;  // the meter's reads of the heap before it is past its budget
  } cases[] = {
      {"no meter", false, 0},
      {"a meter within its budget", true, 1 << 20},
      // The first read is the meter's baseline.
      {"a meter past its budget at its first read after the baseline", true, 1},
      {"a meter past its budget part of the way", true, 3},
  };
  int64_t whole = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Every text laid out again from nothing.
    for (const std::unique_ptr<CARow>& row : document.rows())
      row->mutableCells().eraseIf([](const CACellEntry& entry) { return entry.valueType() == kValueOverflow; });
    for (int64_t y = 0; y < kRows; ++y) ASSERT_NE(document.cellAtGridPoint({0, y}), nullptr);
    for (int64_t y = 0; y < kRows; ++y) document.cellAtGridPoint({0, y})->setFormula(kLongText);
    g_heapReadsLeft = c.reads;
    const FLReadingMeter::HeapCount previous = FLReadingMeter::SetHeapCountForTests(HeapPastTheBudgetAfterSomeReads);
    {
      std::optional<FLReadingMeter> meter;
      if (c.metered) meter.emplace(int64_t(1) << 30);
      recalc();
    }
    FLReadingMeter::SetHeapCountForTests(previous);
    const int64_t made = placeholders();
    if (!c.metered) {
      whole = made;
      EXPECT_GE(whole, kRows * 3);
    } else if (c.reads > kRows) {
      EXPECT_EQ(made, whole);
    } else {
      // Up to a read of the heap's worth of pieces past the last read within the budget.
      EXPECT_LT(made, whole);
      EXPECT_LE(made, int64_t(c.reads) * FLReadingMeter::kPiecesBetweenReads);
    }
    // The text cells themselves are all there, whatever their overflow.
    EXPECT_EQ(document.contentExtent(), (GridRange{{0, 0}, {0, kRows - 1}}));
  }
}

TEST_F(ContentTest, AShortenedOrClearedTextGivesItsPlaceholdersBack) {
  const struct {
    const char* name;
    QString replacement;
    const char* cells;  // what row 1 keeps
  } cases[] = {
      {"shortened", QStringLiteral("short"), "A"},
      {"cleared", QString(), ""},  // A1 holds nothing and goes with its placeholders
      {"made a number", QStringLiteral("12"), "A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    enter("A1", kLongText);
    recalc();
    ASSERT_GT(cell("A1")->extraColumns(), 3u);
    ASSERT_EQ(cell("B1")->valueType(), kValueOverflow);
    enter("A1", c.replacement);
    recalc();
    EXPECT_EQ(cellsOfRow(0), QLatin1String(c.cells));
    EXPECT_EQ(document.extent().endPoint.x, 0);
  }
}

TEST_F(ContentTest, PlaceholdersThatHoldSomethingOrAreStillCoveredStay) {
  enter("A1", kLongText);
  recalc();
  const uint64_t reach = cell("A1")->extraColumns();
  ASSERT_GT(reach, 4u);
  // C1 gets a format: it stays, though nothing overflows into it any more.
  CAFormat italic;
  italic.setItalic(true);
  cell("C1")->setFormat(italic);
  // A text in E1 overflows over its own placeholders after A1 shrinks.
  enter("E1", kLongText);
  enter("A1", "short");
  recalc();
  ASSERT_TRUE(cell("C1"));
  EXPECT_EQ(cell("B1"), nullptr);
  EXPECT_EQ(cell("D1"), nullptr);
  ASSERT_GT(cell("E1")->extraColumns(), 0u);
  ASSERT_TRUE(cell("F1"));
  EXPECT_EQ(cell("F1")->valueType(), kValueOverflow);
  EXPECT_EQ(document.extent().endPoint.x, 4);
  EXPECT_EQ(document.extent(true).endPoint.x, 4 + int64_t(cell("E1")->extraColumns()));
}

TEST_F(ContentTest, ASelectionThatWouldWrapRoundIsTakenAsItIs) {
  const QString text = QStringLiteral("ab#cd#ef");
  const struct {
    CATextRange given;
    CATextRange expected;
  } cases[] = {
      {{3, 2}, {2, 4}},                    // "cd" between two marks takes the marks
      {{3, UINT64_MAX}, {3, UINT64_MAX}},  // would end before it starts
      {{UINT64_MAX - 1, 4}, {UINT64_MAX - 1, 4}},
      {{9, 0}, {9, 0}},
  };
  for (const auto& c : cases) {
    const CATextRange result = UpdateDocumentTextSelection(document, text, c.given);
    EXPECT_EQ(result.location, c.expected.location) << c.given.location << "+" << c.given.length;
    EXPECT_EQ(result.length, c.expected.length) << c.given.location << "+" << c.given.length;
  }
}

TEST_F(ContentTest, BlankCountsBeyondTheIntegersAreReals) {
  // A cell a quintillion rows down; blocks below the formulas' row up to it.
  document.cellAtGridPointImperative({0, 1000000000000000000})->setFormula(QStringLiteral("1"));
  enter("B1", "=COUNTBLANK(A2:ZZZZZ1000000000000000001)");
  enter("C1", "=COUNTBLANK(A2:A1000000000000000001)");
  recalc();
  ASSERT_EQ(cell("B1")->valueType(), kValueFormula);
  const long double width = (long double)(LastGridColumn() + 1);
  const long double expected = width * 1e18L - 1;  // every point but the far cell
  EXPECT_NEAR(double(NumberIn(cell("B1")).realValue() / expected), 1.0, 1e-12);
  EXPECT_GT(NumberIn(cell("B1")).realValue(), (long double)INT64_MAX);
  // Counts that fit stay exact integers.
  ASSERT_TRUE(cell("C1")->number());
  EXPECT_EQ(cell("C1")->number()->form(), kNumberInteger);
  EXPECT_EQ(cell("C1")->number()->integerValue(), 999999999999999999);
}

}  // namespace
