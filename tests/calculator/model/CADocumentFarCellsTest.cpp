// Sheets with a cell far away: commands walk the lines and cells that exist, refuse what would
// make millions of cells (with a beep), and nothing is placed off the grid.
#include "UndoTestSupport.h"

#include "calculator/model/caCommandGuard.h"
#include "calculator/model/formula/caFunctionTable.h"

#include <cstring>
#include <new>

namespace {

constexpr int64_t kFarRow = 1000000000;  // row 10^9 + 1

class FarCellsTest : public EditTest {
 protected:
  size_t cellCount() const {
    size_t count = 0;
    for (const std::unique_ptr<CARow>& row : document.rows()) count += row->cells().size();
    return count;
  }
  void sortOptions(bool wholeDoc, bool columns) {
    CAModelPreferences preferences;
    preferences.sortWholeDoc = wholeDoc;
    preferences.sortColumns = columns;
    environment.set(preferences);
  }
  static int32_t FunctionRow(const char* name) {
    for (int32_t row = 1; row < kFunctionInfoRowCount; ++row)
      if (std::strcmp(g_functionInfo[row].name, name) == 0) return row;
    return 0;
  }
};

TEST_F(FarCellsTest, NoCellIsMadeOffTheGrid) {
  const int64_t last = LastGridColumn();
  const struct {
    GridPoint point;
    bool made;
  } cases[] = {
      {{last, 0}, true},
      {{last + 1, 0}, false},
      {{~(last + 1), 3}, false},  // absolute form of a column past the last
      {{0, kLastGridRow}, true},
      {{0, kGridOpenEnd}, false},
      {{~int64_t(5), ~int64_t(7)}, true},  // $F$8
  };
  for (const auto& c : cases) {
    const CACell* cell = document.cellAtGridPointImperative(c.point);
    EXPECT_EQ(cell != nullptr, c.made) << c.point.x << "," << c.point.y;
    document.setCellAtPoint(c.point, QStringLiteral("7"), kValueText);
    document.setCellAtPoint(c.point, true, kValueCheckbox);
  }
  // Only the points on the grid hold cells, each with the last value given.
  EXPECT_EQ(cellCount(), 3u);
  ASSERT_NE(document.cellAtGridPoint({5, 7}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({5, 7})->valueType(), kValueCheckbox);
  for (const std::unique_ptr<CARow>& row : document.rows())
    for (const CACellEntry& entry : row->cells()) EXPECT_TRUE(IsOnGrid(GridPoint{entry.x(), row->gridY()}));
}

TEST_F(FarCellsTest, TheActiveCellStaysOnTheGrid) {
  const struct {
    GridPoint given, active;
  } cases[] = {
      {{LastGridColumn() + 1, 3}, {LastGridColumn(), 3}},
      {{int64_t(1) << 40, kGridOpenEnd}, {LastGridColumn(), kLastGridRow}},
      {{-2, kGridWildcard}, {0, 0}},
      {{7, kLastGridRow}, {7, kLastGridRow}},
  };
  for (const auto& c : cases) {
    document.setActiveCellPoint(c.given);
    EXPECT_EQ(document.activeCellPoint(), c.active) << c.given.x << "," << c.given.y;
  }
  // What goes into the active cell, say a link, finds a cell there.
  document.setActiveCellPoint({LastGridColumn() + 9, 0});
  document.insertLink(QStringLiteral("http://example.org/"), QStringLiteral("site"));
  ASSERT_NE(document.cellAtGridPoint({LastGridColumn(), 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({LastGridColumn(), 0})->displayTextField(), QStringLiteral("site"));
}

TEST_F(FarCellsTest, CellFormatsOverWholeLinesTouchOnlyTheCellsThatExist) {
  enter("A1", "1");
  enter("C2", "2");
  document.cellAtGridPointImperative({200000, 1})->setFormula(QStringLiteral("far"));
  const size_t before = cellCount();
  selectRows(0, 2);
  document.setValue(1, kFormatBold, kDomainCell);
  EXPECT_EQ(cellCount(), before);
  for (const char* at : {"A1", "C2"}) {
    ASSERT_NE(cell(at)->format(), nullptr) << at;
    EXPECT_TRUE(cell(at)->format()->bold()) << at;
  }
  ASSERT_NE(document.cellAtGridPoint({200000, 1}), nullptr);
  EXPECT_TRUE(document.cellAtGridPoint({200000, 1})->format()->bold());
  EXPECT_EQ(environment.beeps, 0);

  // Whole columns over a sheet whose last row is far down: the rows that exist get row formats.
  document.cellAtGridPointImperative({0, kFarRow})->setFormula(QStringLiteral("x"));
  const size_t rows = document.rows().size();
  selectColumns(0, 1);
  document.setValue(1, kFormatItalic, kDomainRow);
  EXPECT_EQ(document.rows().size(), rows);
  EXPECT_TRUE(document.row(kFarRow)->format()->italic());
  EXPECT_TRUE(document.row(0)->format()->italic());
}

TEST_F(FarCellsTest, FormatsOverABlockBeyondTheCommandLimitAreRefused) {
  enter("A1", "1");
  const std::string before = xml();
  const struct {
    GridRange range;
    int32_t domain;
  } cases[] = {
      {Range("A1", "ZZ100000"), kDomainCell},
      {Range("A1", "A100000000"), kDomainRow},
      {GridRange{{0, 0}, {int64_t(1) << 23, 0}}, kDomainColumn},
  };
  int beeps = 0;
  for (const auto& c : cases) {
    document.setSelectionRange(c.range);
    document.setValue(1, kFormatBold, c.domain);
    EXPECT_EQ(environment.beeps, ++beeps) << c.domain;
  }
  select("A1", "ZZ100000");
  CAFormat bold;
  bold.setBold(true);
  document.applyFormat(bold, kKeepColumnWidths, 0);
  EXPECT_EQ(environment.beeps, ++beeps);
  selectRows(0, int64_t(1) << 40);
  document.applyFormat(bold, kKeepColumnWidths, 0);
  EXPECT_EQ(environment.beeps, ++beeps);
  EXPECT_EQ(cellCount(), 1u);
  EXPECT_EQ(document.rows().size(), 1u);
  EXPECT_TRUE(document.columns().empty());
  document.setSelectionPoint(A1("A1"));
  EXPECT_EQ(xml().substr(xml().find("<rows>")), before.substr(before.find("<rows>")));

  // Within the limit a block is formatted point by point, as before.
  select("B2", "C3");
  document.setValue(2, kFormatBold, kDomainCell);
  for (const char* at : {"B2", "B3", "C2", "C3"}) {
    ASSERT_NE(cell(at), nullptr) << at;
    EXPECT_EQ(cell(at)->format()->styleOptionForMask(kFormatBold), 2) << at;
  }
}

TEST_F(FarCellsTest, RefusalsAtTheGridEdgeAndTheCommandLimitBeep) {
  document.cellAtGridPointImperative({LastGridColumn(), 0})->setFormula(QStringLiteral("edge"));
  select("A1", "A1");
  document.insert(kEditColumns);
  EXPECT_EQ(environment.beeps, 1);
  document.insert(kEditCellsHorizontal);
  EXPECT_EQ(environment.beeps, 2);
  EXPECT_NE(document.cellAtGridPoint({LastGridColumn(), 0}), nullptr);

  select("A1", "ZZ100000");
  document.insertCheckboxes();
  EXPECT_EQ(environment.beeps, 3);
  CAFillInfo info;
  info.direction = kFillDown;
  document.fillUsingInfo(info);
  EXPECT_EQ(environment.beeps, 4);
  EXPECT_EQ(cellCount(), 1u);
  EXPECT_EQ(window.manager.inUseCount(), 0u);
}

TEST_F(FarCellsTest, QuickFormulasBeyondTheCommandLimitAreRefused) {
  enter("A1", "1");
  enter("B1", "2");
  document.cellAtGridPointImperative({0, kFarRow})->setFormula(QStringLiteral("3"));
  // Row totals in the empty column C would be a billion formulas.
  selectColumns(0, 1);
  document.insertQuickFormula(FunctionRow("SUM"));
  EXPECT_EQ(environment.beeps, 1);
  EXPECT_EQ(cellCount(), 3u);
  EXPECT_EQ(window.manager.inUseCount(), 0u);

  // Column totals below stay two formulas.
  document.cellAtGridPointImperative({2, 5})->setFormula(QStringLiteral("4"));
  selectColumns(0, 1);
  document.insertQuickFormula(FunctionRow("SUM"));
  ASSERT_NE(document.cellAtGridPoint({0, kFarRow + 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, kFarRow + 1})->formula(), QStringLiteral("=SUM(A1:A1000000001)"));
}

TEST_F(FarCellsTest, SortingMovesOnlyTheLinesThatHoldCells) {
  sortOptions(false, false);
  enter("A1", "30");
  enter("B1", "a");
  enter("A3", "10");
  enter("B3", "c");
  enter("A6", "20");
  document.cellAtGridPointImperative({1, kFarRow})->setFormula(QStringLiteral("far"));
  document.rowImperative(1)->setMinimumHeight(508000);  // a blank line with a height
  document.rowImperative(3)->setMinimumHeight(254000);  // another
  document.setSortKey1({0, 0});
  document.setSelectionRange(GridRange{{0, 0}, {1, kFarRow}});
  expectUndoAndRedo([&] { document.sort(); });
  // Empty keys sort first: the blank lines (rows 2, 4, 5, 7 ... as one block, in their order),
  // then the far row (its key cell empty, after the block as it was), then 10, 20, 30.
  const int64_t blanks = kFarRow + 1 - 4;
  EXPECT_EQ(document.row(0)->minimumHeight(), 508000);
  EXPECT_EQ(document.row(1)->minimumHeight(), 254000);
  ASSERT_NE(document.cellAtGridPoint({1, blanks}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({1, blanks})->formula(), QStringLiteral("far"));
  const char* expected[][2] = {{"10", "c"}, {"20", "-"}, {"30", "a"}};
  for (int64_t i = 0; i < 3; ++i) {
    const CACell* key = document.cellAtGridPoint({0, blanks + 1 + i});
    ASSERT_NE(key, nullptr) << i;
    EXPECT_EQ(key->displayText(false), QString::fromUtf8(expected[i][0]));
    const CACell* other = document.cellAtGridPoint({1, blanks + 1 + i});
    EXPECT_EQ(other ? other->displayText(false) : QStringLiteral("-"), QString::fromUtf8(expected[i][1]));
  }
  EXPECT_EQ(cellCount(), 6u);
  EXPECT_LE(document.rows().size(), 10u);
}

TEST_F(FarCellsTest, SortingByColumnsMovesOnlyTheColumnsThatHoldCells) {
  sortOptions(false, true);
  enter("A1", "3");
  enter("D1", "1");
  enter("F1", "2");
  document.columnImperative(2)->setWidth(500000);  // a blank column with a width
  document.setSortKey1({0, 0});
  select("A1", "F1");
  document.sort();
  // Sorted: blank block (B, C, E) first, then 1, 2, 3.
  EXPECT_EQ(document.column(1)->width(), 500000);
  const struct {
    const char* at;
    const char* text;
  } cells[] = {{"D1", "1"}, {"E1", "2"}, {"F1", "3"}};
  for (const auto& c : cells) {
    ASSERT_NE(cell(c.at), nullptr) << c.at;
    EXPECT_EQ(cell(c.at)->displayText(false), QString::fromUtf8(c.text)) << c.at;
  }
  EXPECT_EQ(cellCount(), 3u);
}

TEST_F(FarCellsTest, AFailedAllocationRollsTheCommandBackAndTellsTheUser) {
  enter("A1", "keep");
  document.evaluate();
  const std::string before = xml();
  const bool finished = RunGuardedCommand(document, [&] {
    ASSERT_TRUE(document.setCellUndo(kUndoFormula, kUndoRangeActiveCell));
    document.cellAtGridPointImperative(A1("A1"))->setFormula(QStringLiteral("changed"));
    throw std::bad_alloc();
  });
  EXPECT_FALSE(finished);
  EXPECT_EQ(xml(), before);
  EXPECT_FALSE(window.manager.isRedoAvailable());
  ASSERT_EQ(window.alerts.size(), 1);
  EXPECT_EQ(window.alerts.front(),
            QLatin1String(kCommandMemoryMessage) + QLatin1Char('|') + QLatin1String(kCommandMemoryInformation));

  // A command that ends normally is left alone.
  EXPECT_TRUE(RunGuardedCommand(document, [&] { enter("B1", "new"); }));
  EXPECT_EQ(text("B1"), QStringLiteral("new"));
  EXPECT_EQ(window.alerts.size(), 1);
}

TEST_F(FarCellsTest, AFailedAllocationUndoesOnlyTheCommandsOwnStep) {
  // An earlier step stays when the command failed before recording its own.
  select("A1", "A1");
  ASSERT_TRUE(document.setCellUndo(kUndoFormula, kUndoRangeActiveCell));
  enter("A1", "earlier");
  EXPECT_FALSE(RunGuardedCommand(document, [] { throw std::bad_alloc(); }));
  EXPECT_EQ(text("A1"), QStringLiteral("earlier"));
  EXPECT_EQ(window.manager.inUseCount(), 1u);

  // A step recorded just before the command is the command's own: it is undone.
  select("C3", "C3");
  const std::string before = xml();
  ASSERT_TRUE(document.setCellUndo(kUndoFormula, kUndoRangeActiveCell));
  const bool finished = RunGuardedCommand(
      document,
      [&] {
        enter("C3", "half done");
        throw std::bad_alloc();
      },
      true);
  EXPECT_FALSE(finished);
  EXPECT_EQ(xml(), before);
  EXPECT_EQ(text("A1"), QStringLiteral("earlier"));
  EXPECT_EQ(window.alerts.size(), 2);
}

}  // namespace
