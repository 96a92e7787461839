// Sorting by two keys with the preferences' direction and range rules, and quick formulas
// beside or below runs of values; each as one undo step.
#include "UndoTestSupport.h"

#include "calculator/model/caModelNotifications.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "platform/NotificationCenter.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <tuple>
#include <vector>

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

// A sort, an insert and a delete of lines are one change: however many lines they move, the
// window hears of the selection once, for the command, for its undo and for its redo; and the
// cells, the formulas and the selection they leave are those of moving each line in turn.
TEST_F(SortTest, TheWindowHearsOfAMoveOfLinesOnceAndItsResultsStand) {
  // Running totals beside the values, as a ledger keeps them.
  for (int64_t y = 1; y <= 5; ++y)
    document.cellAtGridPointImperative({3, y})->setFormula(QStringLiteral("=SUM(B$2:B%1)").arg(y + 1));
  int heard = 0;
  const NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kSelectionChangeNotification), &document, [&heard](const Notification&) { ++heard; });
  const struct {
    const char* name;
    GridRange selection;
    std::function<void(CADocument&)> command;
    const char* names;    // A2:A8
    const char* totals;   // D2:D8, their formulas
    const char* sums;     // D2:D8, their values
    GridRange selectionAfter;
  } cases[] = {
      {"sort", Range("A2", "D6"), [](CADocument& d) { d.sort(); }, "apple date kiwi pear fig - -",
       "=SUM(B$2:B2) =SUM(B$2:B3) =SUM(B$2:B4) =SUM(B$2:B5) =SUM(B$2:B6) - -", "1 2 4 7 10 - -",
       Range("A2", "D6")},
      {"insert rows", Rows(2, 3), [](CADocument& d) { d.insert(kEditRows); }, "pear - - apple fig kiwi date",
       "=SUM(B$2:B2) - - =SUM(B$2:B5) =SUM(B$2:B6) =SUM(B$2:B7) =SUM(B$2:B8)", "3 - - 4 7 9 10", Rows(2, 3)},
      {"delete rows", Rows(2, 3), [](CADocument& d) { d.deleteSelection(kEditRows); }, "pear kiwi date - - - -",
       "=SUM(B$2:B2) =SUM(B$2:B3) =SUM(B$2:B4) - - - -", "3 5 6 - - - -", Rows(2, 3)},
      {"insert cells", Range("A3", "D3"), [](CADocument& d) { d.insert(kEditCellsVertical); },
       "pear - apple fig kiwi date -", "=SUM(B$2:B2) - =SUM(B$2:B4) =SUM(B$2:B5) =SUM(B$2:B6) =SUM(B$2:B7) -",
       "3 - 4 7 9 10 -", Range("A3", "D3")},
  };
  const auto column = [this](int64_t x, bool formulas) {
    QStringList texts;
    for (int64_t y = 1; y <= 7; ++y) {
      const CACell* c = document.cellAtGridPoint({x, y});
      const QString text = !c ? QString() : formulas ? c->formula() : c->displayText(false);
      texts.append(text.isEmpty() ? QStringLiteral("-") : text);
    }
    return texts.join(QLatin1Char(' '));
  };
  options(false, false, false);
  document.setSortKey1({1, 0});
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    document.setSelectionRange(test.selection);
    document.evaluate();
    const std::string before = xml();
    const size_t steps = window.archiver.descriptors.size();
    heard = 0;
    test.command(document);
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(window.archiver.descriptors.size(), steps + 1);  // one step
    EXPECT_EQ(column(0, false), QString::fromUtf8(test.names));
    EXPECT_EQ(column(3, true), QString::fromUtf8(test.totals));
    EXPECT_EQ(column(3, false), QString::fromUtf8(test.sums));
    EXPECT_EQ(document.selectionRange(), test.selectionAfter);
    // The formulas read the cells they name now: a new amount in B2 changes every total.
    const QString b2 = text("B2");
    enter("B2", "100");
    document.evaluate();
    for (int64_t y = 1; y <= 7; ++y) {
      const CACell* total = document.cellAtGridPoint({3, y});
      if (!total || !total->isFormula()) continue;
      int64_t sum = 0;
      for (int64_t k = 1; k <= y; ++k)
        if (const CACell* amount = document.cellAtGridPoint({1, k}); amount && amount->number())
          sum += NumberIn(amount).integerValue();
      EXPECT_EQ(value(qPrintable(FormatGridPoint(3, y))), QString::number(sum)) << y;
    }
    enter("B2", qPrintable(b2));
    document.evaluate();
    const std::string after = xml();
    for (const bool redo : {false, true}) {
      heard = 0;
      redo ? window.manager.redo() : window.manager.undo();
      EXPECT_EQ(heard, 1) << (redo ? "redo" : "undo");
      EXPECT_EQ(xml(), redo ? after : before);
    }
    window.manager.undo();
    ASSERT_EQ(xml(), before);
  }
}

// A small sheet to sort: its cells, the range, the keys and the options.
struct SortCase {
  std::vector<std::tuple<int64_t, int64_t, QString>> cells;
  GridRange range;
  GridPoint key1;
  GridPoint key2;
  bool columns = false;
  bool reverse = false;
};

constexpr int64_t kSheetWidth = 6;
constexpr int64_t kSheetHeight = 9;

// The texts the sheet shows, "-" for no cell or an empty one, rows outer.
std::vector<QString> Texts(const CADocument& document) {
  std::vector<QString> texts;
  for (int64_t y = 0; y < kSheetHeight; ++y)
    for (int64_t x = 0; x < kSheetWidth; ++x) {
      const CACell* cell = document.cellAtGridPoint({x, y});
      const QString text = cell ? cell->displayText(false) : QString();
      texts.push_back(text.isEmpty() ? QStringLiteral("-") : text);
    }
  return texts;
}

// Sorts the sheet and expects every line of the range where a stable sort of all its lines, each
// compared with the sort's own comparison, puts it; the cells outside the range stay.
void ExpectLinesWhereAStableSortPutsThem(ModelEnvironment& environment, const SortCase& test) {
  CAModelPreferences preferences;
  preferences.sortWholeDoc = false;
  preferences.sortColumns = test.columns;
  preferences.sortReverse = test.reverse;
  environment.set(preferences);
  CADocument document;
  for (const auto& [x, y, text] : test.cells) document.cellAtGridPointImperative({x, y})->setFormula(text);
  document.setSortKey1(test.key1);
  document.setSortKey2(test.key2);
  document.setSelectionRange(test.range);
  const GridPoint& s = test.range.startPoint;
  const GridPoint& e = test.range.endPoint;
  const int64_t lo = test.columns ? s.x : s.y;
  std::vector<int64_t> order;
  for (int64_t line = lo; line <= (test.columns ? e.x : e.y); ++line) order.push_back(line);
  const CASortContext context{test.columns, test.reverse};
  std::stable_sort(order.begin(), order.end(),
                   [&](int64_t a, int64_t b) { return document.compareForSort(context, a, b) < 0; });
  const std::vector<QString> before = Texts(document);
  std::vector<QString> expected = before;
  for (int64_t y = s.y; y <= e.y; ++y)
    for (int64_t x = s.x; x <= e.x; ++x) {
      const int64_t from = order[size_t((test.columns ? x : y) - lo)];
      expected[size_t(y * kSheetWidth + x)] =
          before[size_t((test.columns ? y : from) * kSheetWidth + (test.columns ? from : x))];
    }
  document.sort();
  EXPECT_EQ(Texts(document), expected);
}

TEST(SortLinesTest, EveryLineLandsWhereAStableSortOfAllLinesPutsIt) {
  ModelEnvironment environment;
  const auto cell = [](const char* at, const char* text) {
    const GridPoint point = A1(at);
    return std::tuple{point.x, point.y, QString::fromUtf8(text)};
  };
  // An empty cell beside the range among blank rows, sorted down; columns with blank columns and
  // key rows below the range. (The sort dialog's test pins the rows of the same kind.)
  const SortCase table[] = {
      {{cell("A1", "2"), cell("B3", "x"), cell("C2", "")}, Range("A1", "B4"), A1("A1"), {-1, -1}, false, true},
      {{cell("A9", "4"), cell("B9", "3"), cell("C9", "2"), cell("D9", "1"), cell("A2", "a"), cell("C2", "c")},
       Range("A2", "D3"), A1("A9"), {-1, -1}, true},
      {{cell("A1", "2"), cell("C2", "x"), cell("E8", "1")}, Range("A1", "D2"), A1("A1"), A1("A8"), true},
  };
  for (const SortCase& test : table) ExpectLinesWhereAStableSortPutsThem(environment, test);

  std::mt19937 random(50);
  const char* values[] = {"1", "2", "3", "a", "B", "b", ""};
  const auto pick = [&](int64_t first, int64_t last) {
    return std::uniform_int_distribution<int64_t>(first, last)(random);
  };
  for (int round = 0; round < 400; ++round) {
    SortCase test;
    for (int64_t y = 0; y < kSheetHeight; ++y)
      for (int64_t x = 0; x < kSheetWidth; ++x)
        if (pick(0, 9) < 4) test.cells.emplace_back(x, y, QString::fromUtf8(values[pick(0, 6)]));
    test.columns = pick(0, 1) == 1;
    test.reverse = pick(0, 1) == 1;
    const int64_t x0 = pick(0, kSheetWidth - 2);
    const int64_t y0 = pick(0, kSheetHeight - 2);
    test.range = GridRange{{x0, y0}, {pick(test.columns ? x0 + 1 : x0, kSheetWidth - 1),
                                      pick(test.columns ? y0 : y0 + 1, kSheetHeight - 1)}};
    test.key1 = GridPoint{pick(0, kSheetWidth - 1), pick(0, kSheetHeight - 1)};
    test.key2 = pick(0, 1) ? GridPoint{pick(0, kSheetWidth - 1), pick(0, kSheetHeight - 1)} : GridPoint{-1, -1};
    SCOPED_TRACE(testing::Message() << "round " << round);
    ExpectLinesWhereAStableSortPutsThem(environment, test);
  }
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
