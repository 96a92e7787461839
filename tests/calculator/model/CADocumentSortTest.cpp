// Sorting by two keys with the preferences' direction and range rules, and quick formulas
// beside or below runs of values; each as one undo step.
#include "UndoTestSupport.h"

#include "calculator/model/formula/caFunctionTable.h"

#include <cstring>

namespace {

int32_t FunctionRow(const char* name) {
  for (int32_t row = 1; row < kFunctionInfoRowCount; ++row)
    if (std::strcmp(g_functionInfo[row].name, name) == 0) return row;
  return 0;
}

class SortTest : public EditTest {
 protected:
  SortTest() {
    const char* rows[][2] = {{"pear", "3"}, {"apple", "1"}, {"fig", "3"}, {"kiwi", "2"}, {"date", "1"}};
    for (int64_t y = 0; y < 5; ++y) {
      document.cellAtGridPointImperative({0, y + 1})->setFormula(QString::fromUtf8(rows[y][0]));
      document.cellAtGridPointImperative({1, y + 1})->setFormula(QString::fromUtf8(rows[y][1]));
      // Reads its own row, wherever the row goes.
      document.cellAtGridPointImperative({2, y + 1})->setFormula(QStringLiteral("=B%1*10").arg(y + 2));
    }
    enter("A1", "name");
    enter("B1", "n");
    document.rowImperative(2)->setMinimumHeight(508000);  // the row of "apple"
    document.evaluate();
  }

  void options(bool wholeDoc, bool columns, bool reverse) {
    CAModelPreferences preferences;
    preferences.sortWholeDoc = wholeDoc;
    preferences.sortColumns = columns;
    preferences.sortReverse = reverse;
    environment.set(preferences);
  }

  QString column(int64_t x, int64_t from, int64_t to) const {
    QStringList texts;
    for (int64_t y = from; y <= to; ++y) {
      const CACell* c = document.cellAtGridPoint({x, y});
      texts.append(c ? c->displayText(false) : QStringLiteral("-"));
    }
    return texts.join(QLatin1Char(' '));
  }
};

TEST_F(SortTest, TwoKeysOrderTheRowsAndOneUndoRestoresThem) {
  options(false, false, false);
  document.setSortKey1({1, 0});
  document.setSortKey2({0, 0});
  select("A2", "C6");
  expectUndoAndRedo([&] { document.sort(); });
  EXPECT_EQ(column(0, 0, 5), QStringLiteral("name apple date kiwi fig pear"));
  EXPECT_EQ(column(2, 1, 5), QStringLiteral("10 10 20 30 30"));
  // The row's height went with it.
  EXPECT_EQ(document.row(1)->minimumHeight(), 508000);
  EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoSort));
}

TEST_F(SortTest, DirectionKeysAndTitleRowFollowThePreferences) {
  const struct { bool reverse; GridPoint key1; GridPoint key2; bool titleRow; const char* expected; } cases[] = {
      {true, {1, 0}, {0, 0}, true, "name pear fig kiwi date apple"},
      // Only the second key: it is used as the first.
      {false, {-1, -1}, {0, 0}, true, "name apple date fig kiwi pear"},
      // Without the title row the heading is sorted with the rest.
      {false, {0, 0}, {-1, -1}, false, "apple date fig kiwi name pear"},
  };
  for (const auto& test : cases) {
    options(true, false, test.reverse);
    document.setTitleRow(test.titleRow);
    document.setSortKey1(test.key1);
    document.setSortKey2(test.key2);
    select("A3", "A3");
    document.sort();
    EXPECT_EQ(column(0, 0, 5), QString::fromUtf8(test.expected));
    window.manager.undo();
    EXPECT_EQ(column(0, 0, 5), QStringLiteral("name pear apple fig kiwi date"));
  }
}

TEST_F(SortTest, OneRowOrNoKeyChangesNothing) {
  options(false, false, false);
  document.setSortKey1({1, 0});
  select("A2", "C2");
  const std::string before = xml();
  document.sort();
  EXPECT_EQ(environment.beeps, 1);
  EXPECT_EQ(xml(), before);
  document.setSortKey1({-1, -1});
  select("A2", "C6");
  const std::string unsorted = xml();
  document.sort();
  EXPECT_EQ(xml(), unsorted);
  EXPECT_EQ(environment.beeps, 1);
  EXPECT_EQ(window.manager.inUseCount(), 0u);
}

TEST_F(SortTest, ColumnsAreSortedByAKeyRow) {
  options(false, true, false);
  for (const auto& [at, text] : {std::pair{"A8", "30"}, {"B8", "10"}, {"C8", "20"}, {"D8", "5"}, {"A9", "a"},
                                  {"B9", "b"}, {"C9", "c"}, {"D9", "d"}})
    enter(at, text);
  document.columnImperative(3)->setDigitCount(20);
  document.setSortKey1({0, 7});
  document.setSelectionRange({A1("A8"), A1("D9")});
  document.sort();
  EXPECT_EQ(text("A9") + text("B9") + text("C9") + text("D9"), QStringLiteral("dbca"));
  EXPECT_EQ(document.column(0)->digitCount(), 20);
}

class QuickFormulaTest : public EditTest {};

TEST_F(QuickFormulaTest, RunsAboveOrLeftAndBlockTotals) {
  const int32_t sum = FunctionRow("SUM");
  // One number above and two to the left: the row is summed.
  enter("C2", "4");
  enter("A3", "1");
  enter("B3", "2");
  select("C3", "C3");
  expectUndoAndRedo([&] { document.insertQuickFormula(sum); });
  EXPECT_EQ(text("C3"), QStringLiteral("=SUM(A3:B3)"));
  EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoFormula));

  // Two above: the column.
  enter("E1", "5");
  enter("E2", "6");
  select("E3", "E3");
  document.insertQuickFormula(FunctionRow("AVERAGE"));
  EXPECT_EQ(text("E3"), QStringLiteral("=AVERAGE(E1:E2)"));

  // A block without values below gets column totals in the row below.
  for (const char* at : {"G1", "H1", "G2", "H2"}) enter(at, "1");
  select("G1", "H2");
  document.insertQuickFormula(sum);
  EXPECT_EQ(text("G3") + QLatin1Char(' ') + text("H3"), QStringLiteral("=SUM(G1:G2) =SUM(H1:H2)"));
  EXPECT_EQ(document.selectionRange(), (GridRange{A1("G3"), A1("H3")}));

  // Whole columns: each column's total below its last value.
  selectColumns(6, 7);
  document.insertQuickFormula(sum);
  EXPECT_EQ(text("I1") + QLatin1Char(' ') + text("I3"), QStringLiteral("=SUM(G1:H1) =SUM(G3:H3)"));
}

TEST_F(QuickFormulaTest, WholeRowsTotalTheirColumnsBelowOrTheirRowsBeside) {
  for (const char* at : {"A1", "B1", "A2", "B2"}) enter(at, "1");
  selectRows(0, 1);
  document.insertQuickFormula(FunctionRow("SUM"));
  EXPECT_EQ(text("A3") + QLatin1Char(' ') + text("B3"), QStringLiteral("=SUM(A1:A2) =SUM(B1:B2)"));
  // One row: its total goes right of its last value.
  selectRows(0, 0);
  document.insertQuickFormula(FunctionRow("SUM"));
  EXPECT_EQ(text("C1"), QStringLiteral("=SUM(A1:B1)"));
}

TEST_F(QuickFormulaTest, NoRunBeepsAndWritesNothing) {
  enter("A1", "1");
  select("B2", "B2");
  const std::string before = xml();
  document.insertQuickFormula(FunctionRow("SUM"));
  EXPECT_EQ(environment.beeps, 1);
  EXPECT_EQ(xml(), before);
  EXPECT_EQ(window.manager.inUseCount(), 0u);
}

}  // namespace
