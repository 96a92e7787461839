// Recalculation: dependency order whatever the order of entry, cycles and what depends on them,
// ranges (also typed end first), and the order in which cells are evaluated, checked against a
// literal implementation of the repeated passes.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "calculator/model/CAReadingGraph.h"
#include "calculator/model/CARecalculation.h"
#include "calculator/model/CAReferenceTable.h"
#include "calculator/model/CARow.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caOperands.h"
#include "calculator/model/formula/caRangeMemo.h"
#include "SheetTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

class RecalculationTest : public SheetTest {};

TEST_F(RecalculationTest, CyclesAndWhatDependsOnThemGetTheCircularError) {
  enter("A1", "=B1+1");
  enter("B1", "=A1");
  enter("C1", "=A1");
  enter("D1", "=D1");
  enter("E1", "=2");
  enter("F1", "=E1+D2");
  recalc();
  for (const char* at : {"A1", "B1", "C1", "D1"}) {
    EXPECT_EQ(cell(at)->valueType(), kValueError) << at;
    EXPECT_EQ(cell(at)->evalResult(), kFormulaErrorValue) << at;
  }
  EXPECT_EQ(shown("F1"), QStringLiteral("2"));

  // Breaking the cycle brings its cells back.
  enter("B1", "5");
  recalc();
  EXPECT_EQ(shown("A1"), QStringLiteral("6"));
  EXPECT_EQ(shown("C1"), QStringLiteral("6"));
  EXPECT_EQ(shown("D1"), QStringLiteral("error 11"));
}

TEST_F(RecalculationTest, RangesTypedEndFirstStillFollowTheirCells) {
  enter("A1", "1");
  enter("B1", "2");
  enter("C1", "=LARGE(B1:A1,1)");
  recalc();
  EXPECT_FALSE(cell("C1")->needRecalc());
  enter("A1", "7");
  EXPECT_TRUE(cell("C1")->needRecalc());
  recalc();
  EXPECT_EQ(shown("C1"), QStringLiteral("7"));
  // The typed text is left as it was.
  EXPECT_EQ(cell("C1")->formula(), QStringLiteral("=LARGE(B1:A1,1)"));
}

TEST_F(RecalculationTest, ClearingAFormulaDropsItsReferences) {
  enter("B1", "=A1+SUM(A1:A9)");
  EXPECT_EQ(document.referenceTable().referenceCount(), 2u);
  enter("B1", "=C1");
  EXPECT_EQ(document.referenceTable().referenceCount(), 1u);
  cell("B1")->clearValue();
  EXPECT_TRUE(document.referenceTable().isEmpty());

  // Adding the same reference twice leaves one; marking follows the table.
  enter("D1", "5");
  document.addReferenceFrom(A1("D1"), A1("A1"));
  document.addReferenceFrom(A1("D1"), A1("$A$1"));
  EXPECT_EQ(document.referenceTable().referenceCount(), 1u);
  cell("D1")->setNeedRecalc(false);
  document.setRecalcForDependents(A1("A1"));
  EXPECT_TRUE(cell("D1")->needRecalc());
  document.removeReferenceFrom(A1("D1"), A1("A1"));
  document.removeReferenceFrom(A1("D1"), A1("A1"));
  EXPECT_TRUE(document.referenceTable().isEmpty());
}

// Entering one text after another into a cell leaves the reference table as entering the last
// one into an empty sheet does, whether the formulas name the same cells or not.
TEST_F(RecalculationTest, ReenteringAFormulaLeavesTheTableAsEnteringItFresh) {
  const char* const texts[] = {"=A1+1",  "=A1+2",          "=A1+A1", "=A1",  "=SUM(A1:A5)*2", "=SUM(A1:A5)",
                               "=SUM(A5:A1)", "=C1+SUM(A1:A5)", "text",   "=C1",  "=$C$1",         "=C1+(",
                               "=C1",    "",               "=B1+1",  "=B1+1", "7"};
  const char* const probes[] = {"A1", "A3", "A5", "B1", "C1"};
  auto referrers = [](CADocument& sheet, const char* probe) {
    std::vector<GridPoint> found;
    sheet.referenceTable().referrersOf(A1(probe), found);
    std::sort(found.begin(), found.end(), [](const GridPoint& a, const GridPoint& b) {
      return std::tie(a.y, a.x) < std::tie(b.y, b.x);
    });
    return found;
  };
  for (const char* text : texts) {
    enter("B1", text);
    CADocument fresh;
    fresh.cellAtGridPointImperative(A1("B1"))->setFormula(QString::fromUtf8(text));
    EXPECT_EQ(document.referenceTable().referenceCount(), fresh.referenceTable().referenceCount()) << text;
    for (const char* probe : probes)
      EXPECT_EQ(referrers(document, probe), referrers(fresh, probe)) << text << " at " << probe;
  }
  // A formula entered again still follows the cells it names.
  enter("B1", "=A1+1");
  enter("B1", "=A1+5");
  recalc();
  enter("A1", "2");
  EXPECT_TRUE(cell("B1")->needRecalc());
  recalc();
  EXPECT_EQ(shown("B1"), QStringLiteral("7"));
}

TEST_F(RecalculationTest, DependenciesAreFoundThroughOtherCells) {
  enter("B1", "=A1");
  enter("C1", "=SUM(B1:B2)");
  enter("D1", "=C1+A1");
  enter("E1", "=E2");
  std::unordered_set<const CACell*> set;
  document.addRecalcDependencies(set, *document.cellAtGridPointImperative(A1("A1")));
  EXPECT_EQ(set, (std::unordered_set<const CACell*>{cell("B1"), cell("C1"), cell("D1")}));
}

TEST_F(RecalculationTest, OverflowingTextStoredDuringTheWalkIsWalkedAgain) {
  enter("A1", "a text far too long to stay inside a single column of the sheet");
  enter("D1", "=1+1");
  recalc();
  ASSERT_TRUE(cell("B1"));
  EXPECT_EQ(cell("B1")->valueType(), kValueOverflow);
  EXPECT_EQ(shown("D1"), QStringLiteral("2"));
  EXPECT_FALSE(cell("A1")->needRecalc());
  // The laid-out text is not measured again by the next recalculation.
  window.cells.clear();
  recalc();
  EXPECT_TRUE(window.cells.empty());
}

TEST_F(RecalculationTest, AHugeTextOverflowsNoFurtherThanAnyWindowShows) {
  CACell& huge = enter("A1", "");
  huge.setFormula(QString(2000000, QLatin1Char('x')));
  recalc();
  double screens = 0;
  for (const QScreen* screen : QGuiApplication::screens()) screens += screen->geometry().width();
  ASSERT_GT(screens, 0);
  // Every window side by side at 1 %, over columns no narrower than the default.
  const double visible = screens * 100.0;
  EXPECT_GT(huge.extraColumns(), 0u);
  EXPECT_LE(double(huge.extraColumns()), visible / double(document.widthOfColumn(1)) + 1);
}

// ---- The order of evaluation, against the repeated passes done literally --------------------

TEST(PassOrder, LongChainsNeedNoRecursion) {
  constexpr uint32_t kCount = 300000;
  std::vector<uint32_t> offsets{0};
  std::vector<uint32_t> flat;
  // Cell i waits for cell i + 1: one pass, resolved by a walk as deep as the chain.
  for (uint32_t i = 0; i < kCount; ++i) {
    if (i + 1 < kCount) flat.push_back(i + 1);
    offsets.push_back(uint32_t(flat.size()));
  }
  const std::vector<uint32_t> order = PassOrder(kCount, offsets, flat);
  ASSERT_EQ(order.size(), kCount);
  EXPECT_EQ(order.front(), kCount - 1);
  EXPECT_EQ(order.back(), 0u);
}

// The repeated passes done literally over cells 0..n-1, each waiting for the cells listed for it.
std::vector<uint32_t> LiteralPassOrder(const std::vector<std::vector<uint32_t>>& inputs) {
  std::vector<bool> waiting(inputs.size(), true);
  std::vector<uint32_t> order;
  for (bool evaluated = true; evaluated;) {
    evaluated = false;
    for (size_t i = inputs.size(); i-- > 0;) {
      if (!waiting[i]) continue;
      if (std::any_of(inputs[i].begin(), inputs[i].end(), [&](uint32_t j) { return bool(waiting[j]); })) continue;
      waiting[i] = false;
      order.push_back(uint32_t(i));
      evaluated = true;
    }
  }
  return order;
}

std::vector<uint32_t> PassOrderOf(const std::vector<std::vector<uint32_t>>& inputs) {
  std::vector<uint32_t> offsets{0};
  std::vector<uint32_t> flat;
  for (const std::vector<uint32_t>& cell : inputs) {
    flat.insert(flat.end(), cell.begin(), cell.end());
    offsets.push_back(uint32_t(flat.size()));
  }
  return PassOrder(uint32_t(inputs.size()), offsets, flat);
}

TEST(PassOrder, MatchesTheRepeatedPassesForInputsBeforeAndAfterEachCell) {
  struct Case {
    const char* name;
    std::vector<std::vector<uint32_t>> inputs;
  };
  const Case cases[] = {
      {"a chain running down", {{}, {0}, {1}, {2}, {3}}},
      {"a chain running up", {{1}, {2}, {3}, {4}, {}}},
      {"independent cells", {{}, {}, {}, {}}},
      {"a diamond", {{}, {0}, {0}, {1, 2}}},
      {"an input named twice", {{}, {0, 0}, {1, 0, 1}}},
      {"two chains side by side", {{}, {}, {0}, {1}, {2}, {3}}},
      {"a fan from the first cell", {{}, {0}, {0}, {0}, {0}}},
      {"long and short paths to one cell", {{}, {0}, {1}, {2}, {0, 3}, {}, {5, 4}}},
      {"inputs before and after", {{}, {0, 3}, {1}, {}, {2}}},
      {"a cell waiting for itself", {{}, {0}, {2}, {2, 1}}},
      {"a cycle and what follows it", {{}, {0, 3}, {1}, {2}, {3}, {0}}},
      {"a chain closed at its head", {{4}, {0}, {1}, {2}, {3}}},
      {"every cell in a cycle", {{1}, {0}}},
  };
  for (const Case& c : cases) EXPECT_EQ(PassOrderOf(c.inputs), LiteralPassOrder(c.inputs)) << c.name;

  // Inputs far back (steps and distances past one byte), with and without one cell waiting for
  // a later one part way down.
  for (const bool later : {false, true}) {
    std::vector<std::vector<uint32_t>> inputs(3000);
    for (uint32_t cell = 0; cell < inputs.size(); cell += cell % 7 == 0 ? 200 : 1) {
      if (cell >= 1000) inputs[cell].push_back(cell - 1000);
      if (cell >= 130) inputs[cell].push_back(cell - 130);
    }
    if (later) inputs[1500].push_back(2900);
    EXPECT_EQ(PassOrderOf(inputs), LiteralPassOrder(inputs)) << (later ? "with a later input" : "all before");
  }

  // Random lists: half with every input before its cell (as a chain read down has them), half
  // with inputs anywhere, cycles included.
  std::mt19937 random(7);
  for (int round = 0; round < 400; ++round) {
    const bool before = round % 2 == 0;
    const uint32_t count = 1 + random() % 24;
    std::vector<std::vector<uint32_t>> inputs(count);
    for (uint32_t cell = 0; cell < count; ++cell) {
      const uint32_t many = random() % 4;
      for (uint32_t k = 0; k < many; ++k) {
        if (before && cell == 0) break;
        inputs[cell].push_back(before ? uint32_t(random() % cell) : uint32_t(random() % count));
      }
    }
    ASSERT_EQ(PassOrderOf(inputs), LiteralPassOrder(inputs)) << "round " << round;
  }
}

// A plain, slow recalculation run beside the engine on a second document: referrers found
// from the formulas themselves, a waiting set walked depth first, and repeated passes over the
// waiting cells listed by position.
class LiteralRecalculation {
 public:
  explicit LiteralRecalculation(CADocument& document) : document_(document) {}

  void run() {
    // The cells the edit left empty go first: no formula reads them as cells that hold nothing.
    document_.dropEmptiedCells();
    std::set<CACell*, ByPosition> waiting;
    for (const std::unique_ptr<CARow>& row : document_.rows()) {
      for (const CACellEntry& entry : row->cells()) {
        CACell* cell = entry.cell();
        if (!cell || (!cell->needRecalc() && !cell->ephemeralResult())) continue;
        if (!cell->refersToCells(nullptr))
          cell->evaluate();
        else
          waiting.insert(cell);
        addDependents(waiting, cell);
        document_.redrawCell(cell->gridPoint());
      }
    }
    std::vector<CACell*> list(waiting.begin(), waiting.end());
    std::unordered_set<const CACell*> set(list.begin(), list.end());
    for (bool evaluated = true; evaluated && !list.empty();) {
      evaluated = false;
      for (size_t i = list.size(); i-- > 0;) {
        if (list[i]->refersToCells(&set)) continue;
        list[i]->evaluate();
        document_.redrawCell(list[i]->gridPoint());
        set.erase(list[i]);
        list.erase(list.begin() + ptrdiff_t(i));
        evaluated = true;
      }
    }
    for (CACell* cell : list) {
      cell->setCircularError();
      document_.redrawCell(cell->gridPoint());
    }
    // As every evaluation, the recalculation ends the edit: any cells it left empty go too.
    document_.dropEmptiedCells();
  }

 private:
  struct ByPosition {
    bool operator()(const CACell* a, const CACell* b) const {
      return std::pair(a->gridPoint().y, a->gridPoint().x) < std::pair(b->gridPoint().y, b->gridPoint().x);
    }
  };

  void addDependents(std::set<CACell*, ByPosition>& waiting, const CACell* cell) {
    const std::unordered_set<const CACell*> one{cell};
    for (const std::unique_ptr<CARow>& row : document_.rows()) {
      for (const CACellEntry& entry : row->cells()) {
        CACell* c = entry.cell();
        if (!c || waiting.contains(c) || !c->refersToCells(&one)) continue;
        waiting.insert(c);
        addDependents(waiting, c);
      }
    }
  }

  CADocument& document_;
};

// A document with a window that notes what it is asked to redraw.
struct WatchedSheet {
  WatchedSheet() { document.setController(&window); }
  ~WatchedSheet() { document.setController(nullptr); }
  FakeWindow window;
  CADocument document;
};

TEST_F(RecalculationTest, EvaluatesInTheOrderOfTheRepeatedPasses) {
  std::mt19937 random(99);
  const auto name = [](int x, int y) { return FormatGridPoint(x, y); };
  const auto randomText = [&]() -> QString {
    const int x = random() % 5;
    const int y = random() % 6;
    switch (random() % 9) {
      case 0:
        return QString::number(random() % 10);
      case 1:
        return QStringLiteral("=%1+%2").arg(name(x, y), name(random() % 5, random() % 6));
      case 2:
        return QStringLiteral("=%1*2").arg(name(x, y));
      case 3:  // a block, sometimes typed end first
        return QStringLiteral("=SUM(%1:%2)").arg(name(x, y), name(random() % 5, random() % 6));
      case 4:
        return QStringLiteral("=LARGE(%1:%2,1)").arg(name(x, y), name(random() % 5, random() % 6));
      case 5:
        return QStringLiteral("=COUNTA(%1,%2:%3)").arg(name(x, y), name(x, 0), name(x, 5));
      case 6:  // volatile: evaluated on every recalculation
        return QStringLiteral("=TODAY()*0+%1").arg(name(x, y));
      case 7:
        return QStringLiteral("=TODAY()");
      default:
        return QString();
    }
  };
  for (int round = 0; round < 30; ++round) {
    WatchedSheet actual;
    WatchedSheet literal;
    for (int step = 0; step < 40; ++step) {
      const GridPoint at{int64_t(random() % 5), int64_t(random() % 6)};
      const QString text = randomText();
      actual.document.cellAtGridPointImperative(at)->setFormula(text);
      literal.document.cellAtGridPointImperative(at)->setFormula(text);
      if (step % 4 != 3) continue;
      actual.window.cells.clear();
      literal.window.cells.clear();
      actual.document.evaluate();
      LiteralRecalculation(literal.document).run();
      ASSERT_EQ(actual.window.cells, literal.window.cells) << "round " << round << " step " << step;
      for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 5; ++x) {
          const CACell* a = actual.document.cellAtGridPoint(GridPoint{x, y});
          const CACell* b = literal.document.cellAtGridPoint(GridPoint{x, y});
          ASSERT_EQ(a == nullptr, b == nullptr);
          if (!a) continue;
          const std::string where = name(x, y).toStdString() + " " + a->formula().toStdString();
          ASSERT_EQ(a->valueType(), b->valueType()) << where;
          ASSERT_EQ(a->evalResult(), b->evalResult()) << where;
          ASSERT_EQ(a->number(), b->number()) << where;
        }
      }
    }
  }
}

// Sheets whose waiting cells all come after their inputs (chains read down, side by side or
// meeting) and sheets where one does not: the cells are evaluated in the order of the passes.
TEST_F(RecalculationTest, ChainsReadDownEvaluateInTheOrderOfTheRepeatedPasses) {
  struct Case {
    const char* name;
    std::vector<std::pair<GridPoint, QString>> cells;
  };
  const auto chain = [](int64_t x, int64_t length, int64_t from) {
    std::vector<std::pair<GridPoint, QString>> cells{{GridPoint{x, from}, QStringLiteral("1")}};
    for (int64_t y = from + 1; y < from + length; ++y)
      cells.emplace_back(GridPoint{x, y}, QStringLiteral("=%1+1").arg(FormatGridPoint(int(x), int(y - 1))));
    return cells;
  };
  using Cells = std::vector<std::pair<GridPoint, QString>>;
  const auto joined = [](Cells a, const Cells& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Case cases[] = {
      {"one chain", chain(0, 12, 0)},
      {"two chains side by side", joined(chain(0, 8, 0), chain(1, 8, 0))},
      {"a short chain beside a long one", joined(chain(0, 10, 0), chain(2, 3, 4))},
      {"chains meeting in one cell", joined(joined(chain(0, 5, 0), chain(1, 5, 0)), {{GridPoint{0, 5}, "=A5+B5+A1"}})},
      {"a chain ending in a cycle", joined(chain(0, 6, 0), {{GridPoint{0, 6}, "=A6+A8"}, {GridPoint{0, 7}, "=A7"}})},
      {"a chain whose head waits below", joined(chain(0, 6, 1), {{GridPoint{0, 0}, "=A7*0"}})},
      {"a chain beside numbers and texts",
       joined(chain(1, 6, 0), {{GridPoint{0, 2}, "4"}, {GridPoint{2, 2}, "a text"}, {GridPoint{3, 4}, "5"}})},
      {"a chain whose head names a plain cell to its right",
       joined({{GridPoint{0, 0}, "=D1*2"}, {GridPoint{3, 0}, "5"}},
              {{GridPoint{0, 1}, "=A1+1"}, {GridPoint{0, 2}, "=A2+1"}, {GridPoint{0, 3}, "=A3+1"}})},
  };
  for (const Case& c : cases) {
    WatchedSheet actual;
    WatchedSheet literal;
    for (const auto& [point, text] : c.cells) {
      actual.document.cellAtGridPointImperative(point)->setFormula(text);
      literal.document.cellAtGridPointImperative(point)->setFormula(text);
    }
    actual.document.recalcEverything();
    actual.document.evaluate();
    literal.document.recalcEverything();
    LiteralRecalculation(literal.document).run();
    EXPECT_EQ(actual.window.cells, literal.window.cells) << c.name;
    for (const auto& [point, text] : c.cells) {
      const CACell* a = actual.document.cellAtGridPoint(point);
      const CACell* b = literal.document.cellAtGridPoint(point);
      EXPECT_EQ(a->valueType(), b->valueType()) << c.name << " " << text.toStdString();
      EXPECT_EQ(a->number(), b->number()) << c.name << " " << text.toStdString();
    }
  }
}

// Running totals down a column of formulas (row k: =Ck*2, =SUM($A$1:Ak), k mod 7 + 1), and the
// variant whose totals read themselves (=SUM($B$1:Bk), one cycle): opened, then typed into. The
// cells are evaluated in the order of the passes and end with the values of the passes.
TEST_F(RecalculationTest, RunningTotalsOverFormulasEvaluateInTheOrderOfTheRepeatedPasses) {
  struct Case {
    const char* name;
    int rows;
    bool cycle;
    GridPoint typedAt;
    const char* typed;
  };
  const Case cases[] = {
      {"the first amount typed", 12, false, {2, 0}, "9"},
      {"an amount part way down typed", 12, false, {2, 4}, "4"},
      {"a doubled amount typed over", 12, false, {0, 6}, "100"},
      {"a total typed over", 12, false, {1, 5}, "=A6+1"},
      {"totals longer than a folded block", 70, false, {2, 0}, "3"},
      {"totals reading themselves", 12, true, {2, 0}, "9"},
      {"a total reading itself typed over", 10, true, {1, 3}, "5"},
  };
  for (const Case& c : cases) {
    WatchedSheet actual;
    WatchedSheet literal;
    const auto enter = [&](const GridPoint& point, const QString& text) {
      actual.document.cellAtGridPointImperative(point)->setFormula(text);
      literal.document.cellAtGridPointImperative(point)->setFormula(text);
    };
    for (int k = 1; k <= c.rows; ++k) {
      enter({0, k - 1}, QStringLiteral("=C%1*2").arg(k));
      enter({1, k - 1}, QString::fromLatin1(c.cycle ? "=SUM($B$1:B%1)" : "=SUM($A$1:A%1)").arg(k));
      enter({2, k - 1}, QString::number(k % 7 + 1));
    }
    for (const bool typed : {false, true}) {
      if (typed) enter(c.typedAt, QString::fromLatin1(c.typed));
      actual.window.cells.clear();
      literal.window.cells.clear();
      actual.document.evaluate();
      LiteralRecalculation(literal.document).run();
      const std::string name = std::string(c.name) + (typed ? ", after the typing" : "");
      EXPECT_EQ(actual.window.cells, literal.window.cells) << name;
      for (int y = 0; y < c.rows; ++y) {
        for (int x = 0; x < 2; ++x) {
          const CACell* a = actual.document.cellAtGridPoint(GridPoint{x, y});
          const CACell* b = literal.document.cellAtGridPoint(GridPoint{x, y});
          ASSERT_TRUE(a && b) << name;
          EXPECT_EQ(a->valueType(), b->valueType()) << name << " " << a->formula().toStdString();
          EXPECT_EQ(a->evalResult(), b->evalResult()) << name << " " << a->formula().toStdString();
          EXPECT_EQ(a->number(), b->number()) << name << " " << a->formula().toStdString();
        }
      }
    }
  }
}

// Ledgers long enough for their blocks to be folded and the folds kept from one recalculation
// to the next (row k: a balance, an amount, and =Bk/2 or =1/Bk over primes, whose sums pass the
// bound of exact sums), typed into again and again at the top, the bottom and between, with
// texts, errors, an infinite number and emptied cells among the values: after each edit every
// cell holds what the literal passes give, which keep nothing from before.
TEST_F(RecalculationTest, LedgersTypedIntoAgainAndAgainKeepTheirBalances) {
  constexpr int kRows = 150;
  struct Edit {
    GridPoint at;
    const char* typed;
  };
  const std::vector<Edit> edits = {
      {{1, 0}, "7"},      {{1, kRows - 1}, "8"}, {{1, 75}, "2.5"},  {{2, 40}, "text"},
      {{2, 40}, "=B41/2"}, {{1, 100}, ""},        {{1, 20}, "=1/0"}, {{1, 21}, "9"},
      {{1, 20}, "3"},      {{1, 130}, "1E5000"},  {{1, 0}, "6"},     {{1, 130}, "4"},
      {{1, 100}, "5"},     {{2, 90}, ""},         {{1, 149}, "1"},   {{2, 90}, "=B91/2"},
  };
  struct Case {
    const char* name;
    const char* balance;  // %1 is the row
    bool reciprocals;
  };
  const Case cases[] = {
      {"running sums", "=SUM(C$1:C%1)", false},
      {"remaining sums", "=SUM(C%1:C$150)", false},
      {"running largest", "=MAX(C$1:C%1)", false},
      {"remaining smallest", "=MIN(C%1:C$150)", false},
      {"running counts of values", "=COUNTA(C$1:C%1)", false},
      {"remaining averages", "=AVERAGE(C%1:C$150)", false},
      {"running sums of reciprocals", "=SUM(C$1:C%1)", true},
      {"remaining sums of reciprocals", "=SUM(C%1:C$150)", true},
  };
  std::vector<int> primes;
  for (int n = 3; int(primes.size()) < kRows; n += 2)
    if (std::none_of(primes.begin(), primes.end(), [n](int p) { return n % p == 0; })) primes.push_back(n);
  for (const Case& c : cases) {
    WatchedSheet actual;
    WatchedSheet literal;
    const auto enter = [&](const GridPoint& point, const QString& text) {
      actual.document.cellAtGridPointImperative(point)->setFormula(text);
      literal.document.cellAtGridPointImperative(point)->setFormula(text);
    };
    for (int k = 1; k <= kRows; ++k) {
      enter({0, k - 1}, QString::fromLatin1(c.balance).arg(k));
      enter({1, k - 1}, QString::number(c.reciprocals ? primes[size_t(k - 1)] : k % 7 + 1));
      enter({2, k - 1}, (c.reciprocals ? QStringLiteral("=1/B%1") : QStringLiteral("=B%1/2")).arg(k));
    }
    for (size_t step = 0; step <= edits.size(); ++step) {
      if (step > 0) enter(edits[step - 1].at, QString::fromLatin1(edits[step - 1].typed));
      actual.document.evaluate();
      LiteralRecalculation(literal.document).run();
      const std::string name = std::string(c.name) + ", after edit " + std::to_string(step);
      for (int y = 0; y < kRows; ++y) {
        for (int x = 0; x < 3; ++x) {
          const CACell* a = actual.document.cellAtGridPoint(GridPoint{x, y});
          const CACell* b = literal.document.cellAtGridPoint(GridPoint{x, y});
          ASSERT_EQ(a == nullptr, b == nullptr) << name << " at " << x << "," << y;
          if (!a) continue;
          EXPECT_EQ(a->valueType(), b->valueType()) << name << " " << a->formula().toStdString();
          EXPECT_EQ(a->evalResult(), b->evalResult()) << name << " " << a->formula().toStdString();
          EXPECT_EQ(a->number(), b->number()) << name << " " << a->formula().toStdString();
        }
      }
    }
  }
}

// Ordering running totals holds a few inputs per formula: each total reads the formulas above
// it as one block, not one by one (which held half the square of the rows).
TEST_F(RecalculationTest, RunningTotalsAreOrderedWithAFewInputsEach) {
  constexpr int kRows = 2000;
  for (const bool cycle : {false, true}) {
    CADocument sheet;
    for (int k = 1; k <= kRows; ++k) {
      sheet.cellAtGridPointImperative({0, k - 1})->setFormula(QStringLiteral("=C%1*2").arg(k));
      sheet.cellAtGridPointImperative({1, k - 1})->setFormula(QString::fromLatin1(cycle ? "=SUM($B$1:B%1)" : "=SUM($A$1:A%1)").arg(k));
      sheet.cellAtGridPointImperative({2, k - 1})->setFormula(QString::number(k % 7 + 1));
    }
    CAReadingGraph::resetMostInputs();
    sheet.evaluate();
    EXPECT_LE(CAReadingGraph::mostInputs(), size_t(4 * kRows)) << (cycle ? "reading themselves" : "over column A");
    const CACell* last = sheet.cellAtGridPoint({1, kRows - 1});
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->valueType(), cycle ? kValueError : kValueFormula);
  }
}

// Chains longer than a page of the waiting list, running down (listed as they join) and up
// (listed by position afterwards).
TEST_F(RecalculationTest, ChainsOfManyPagesGetTheirValues) {
  constexpr int kLength = 40000;
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  document.cellAtGridPointImperative({1, kLength - 1})->setFormula(QStringLiteral("1"));
  for (int y = 1; y < kLength; ++y) {
    document.cellAtGridPointImperative({0, y})->setFormula(QStringLiteral("=A%1+1").arg(y));
    document.cellAtGridPointImperative({1, kLength - 1 - y})->setFormula(QStringLiteral("=B%1+1").arg(kLength - y + 1));
  }
  document.recalcEverything();
  recalc();
  EXPECT_EQ(shown(FormatGridPoint(0, kLength - 1).toStdString().c_str()), QString::number(kLength));
  EXPECT_EQ(shown("B1"), QString::number(kLength));
  EXPECT_EQ(shown("A20000"), QStringLiteral("20000"));
  EXPECT_EQ(shown("B20000"), QString::number(kLength - 20000 + 1));
}

// Chains whose cells join the waiting list in position order (running down) and out of it
// (running up, or zigzagging between columns), each with a block at its foot, and a cycle
// closed at the end of one.
TEST_F(RecalculationTest, ChainsRunningEitherWayGetTheirValues) {
  constexpr int kLength = 40;
  const auto at = [](int x, int y) { return FormatGridPoint(x, y).toStdString(); };
  enter("A1", "1");
  for (int y = 1; y < kLength; ++y) enter(at(0, y).c_str(), QStringLiteral("=%1+1").arg(FormatGridPoint(0, y - 1)));
  enter(at(1, kLength - 1).c_str(), "1");
  for (int y = kLength - 2; y >= 0; --y)
    enter(at(1, y).c_str(), QStringLiteral("=%1+1").arg(FormatGridPoint(1, y + 1)));
  for (int y = 0; y < kLength; ++y)
    enter(at(2 + y % 2, y).c_str(), y == 0 ? QStringLiteral("1") : QStringLiteral("=%1*1+1").arg(FormatGridPoint(2 + (y - 1) % 2, y - 1)));
  enter("E1", QStringLiteral("=SUM(A1:A%1)+B1+%2").arg(kLength).arg(QString::fromStdString(at(2 + (kLength - 1) % 2, kLength - 1))));
  recalc();
  EXPECT_EQ(shown(at(0, kLength - 1).c_str()), QString::number(kLength));
  EXPECT_EQ(shown("B1"), QString::number(kLength));
  EXPECT_EQ(shown(at(2 + (kLength - 1) % 2, kLength - 1).c_str()), QString::number(kLength));
  EXPECT_EQ(shown("E1"), QString::number(kLength * (kLength + 1) / 2 + 2 * kLength));

  // An edit at each head flows down (or up) the whole chain again.
  enter("A1", "11");
  enter(at(1, kLength - 1).c_str(), "11");
  enter("C1", "11");
  recalc();
  EXPECT_EQ(shown(at(0, kLength - 1).c_str()), QString::number(kLength + 10));
  EXPECT_EQ(shown("B1"), QString::number(kLength + 10));
  EXPECT_EQ(shown("E1"), QString::number(kLength * (kLength + 1) / 2 + 10 * kLength + 2 * kLength + 20));

  // Closing the first chain on itself makes all of it, and what sums it, circular.
  enter("A1", QStringLiteral("=%1").arg(FormatGridPoint(0, kLength - 1)));
  recalc();
  EXPECT_EQ(cell(at(0, kLength / 2).c_str())->valueType(), kValueError);
  EXPECT_EQ(cell("E1")->valueType(), kValueError);
  EXPECT_EQ(shown("B1"), QString::number(kLength + 10));
}

// Formulas that name runs of neighbouring cells one by one, held by the reference table as the
// runs' blocks: the table holds the records the runs make, an edit of a cell marks exactly the
// formulas that name it (first, middle and last cells of a run, and cells just outside it), and
// the recalculation evaluates in the order, and to the values, of the literal one.
TEST_F(RecalculationTest, RunsOfNamedCellsRecalculateAsTheCellsTheyName) {
  // "=B1+B2+...": the cells of column x from row `from` (1-based) for `count` rows.
  const auto down = [](int x, int from, int count) {
    QStringList names;
    for (int y = from; y < from + count; ++y) names << FormatGridPoint(x, y - 1);
    return names.join(u'+');
  };
  const auto along = [](int y, int from, int count) {
    QStringList names;
    for (int x = from; x < from + count; ++x) names << FormatGridPoint(x, y - 1);
    return names.join(u'+');
  };
  using Cells = std::vector<std::pair<std::string, QString>>;
  const auto numbers = [](int x, int fromRow, int rows) {
    Cells cells;
    for (int y = fromRow; y < fromRow + rows; ++y)
      cells.emplace_back(FormatGridPoint(x, y - 1).toStdString(), QString::number(y));
    return cells;
  };
  struct Case {
    const char* name;
    Cells cells;
    size_t records;
    std::vector<const char*> edits;  // each given a new number in turn
  };
  const auto with = [](Cells a, const Cells& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  std::vector<Case> cases;
  cases.push_back({"a sum down a column", with(numbers(1, 1, 21), {{"A1", "=" + down(1, 1, 20)}}), 1,
                   {"B10", "B20", "B21", "B1", "A2"}});
  cases.push_back({"a sum along a row", {{"A3", "=" + along(1, 2, 20)}, {"C1", "4"}, {"V1", "5"}, {"W1", "6"}, {"C2", "7"}},
                   1, {"C1", "V1", "W1", "C2"}});
  cases.push_back({"fifteen cells stay cells", with(numbers(1, 1, 16), {{"A1", "=" + down(1, 1, 15)}}), 15,
                   {"B15", "B16", "B8"}});
  cases.push_back({"a gap splits the runs",
                   with(numbers(1, 1, 31), {{"A1", "=" + down(1, 1, 10) + "+" + down(1, 12, 19)}}), 11,
                   {"B11", "B12", "B30", "B31", "B10"}});
  cases.push_back({"named twice, and as absolute references",
                   with(numbers(1, 1, 17), {{"A1", "=$B$1+" + down(1, 1, 16) + "+B16+$B$9"}}), 1,
                   {"B16", "B17", "B9", "B1"}});
  cases.push_back({"a run beside a range",
                   with(numbers(1, 1, 17), {{"D2", "3"}, {"A1", "=SUM(D1:D3)+" + down(1, 1, 16)}}), 2,
                   {"D2", "B8", "D4", "B17"}});
  {
    // A chain down column B read whole by one sum above it, and a formula reading the sum.
    Cells chain{{"B1", "1"}};
    for (int y = 2; y <= 20; ++y)
      chain.emplace_back(FormatGridPoint(1, y - 1).toStdString(), QStringLiteral("=%1+1").arg(FormatGridPoint(1, y - 2)));
    cases.push_back({"a run of formulas read by a sum above them",
                     with(chain, {{"A1", "=" + down(1, 1, 20)}, {"C1", "=A1*2"}}), 21, {"B1", "B7"}});
  }
  cases.push_back({"a run that holds its own formula",
                   with(numbers(1, 1, 20), {{"B5", "=" + down(1, 1, 20)}, {"C1", "=B5"}}), 2, {"B1", "B20"}});
  for (const Case& c : cases) {
    WatchedSheet actual;
    WatchedSheet literal;
    for (const auto& [at, text] : c.cells) {
      actual.document.cellAtGridPointImperative(A1(at.c_str()))->setFormula(text);
      literal.document.cellAtGridPointImperative(A1(at.c_str()))->setFormula(text);
    }
    EXPECT_EQ(actual.document.referenceTable().referenceCount(), c.records) << c.name;
    actual.document.recalcEverything();
    actual.document.evaluate();
    literal.document.recalcEverything();
    LiteralRecalculation(literal.document).run();
    int value = 100;
    for (const char* edit : c.edits) {
      const std::string name = std::string(c.name) + ", " + edit;
      ++value;
      // Cells caught in a cycle stay marked from one recalculation to the next.
      std::unordered_set<const CACell*> marked;
      for (const std::unique_ptr<CARow>& row : actual.document.rows())
        for (const CACellEntry& entry : row->cells())
          if (entry.cell() && entry.cell()->needRecalc()) marked.insert(entry.cell());
      actual.document.cellAtGridPointImperative(A1(edit))->setFormula(QString::number(value));
      literal.document.cellAtGridPointImperative(A1(edit))->setFormula(QString::number(value));
      // Marked: the formulas that name the edited cell, no other.
      const CACell* edited = actual.document.cellAtGridPoint(A1(edit));
      const std::unordered_set<const CACell*> one{edited};
      for (const std::unique_ptr<CARow>& row : actual.document.rows())
        for (const CACellEntry& entry : row->cells())
          if (const CACell* other = entry.cell(); other && other != edited && other->isFormula() && !marked.contains(other)) {
            EXPECT_EQ(other->needRecalc(), other->refersToCells(&one))
                << name << ": " << FormatGridPoint(other->gridPoint()).toStdString();
          }
      actual.window.cells.clear();
      literal.window.cells.clear();
      actual.document.evaluate();
      LiteralRecalculation(literal.document).run();
      EXPECT_EQ(actual.window.cells, literal.window.cells) << name;
      for (const auto& [at, text] : c.cells) {
        const CACell* a = actual.document.cellAtGridPoint(A1(at.c_str()));
        const CACell* b = literal.document.cellAtGridPoint(A1(at.c_str()));
        ASSERT_TRUE(a && b) << name << " " << at;
        EXPECT_EQ(a->valueType(), b->valueType()) << name << " " << at;
        EXPECT_EQ(a->number(), b->number()) << name << " " << at;
      }
    }
    // Dropping the formulas leaves nothing registered.
    for (const auto& [at, text] : c.cells) actual.document.cellAtGridPointImperative(A1(at.c_str()))->clearValue();
    EXPECT_TRUE(actual.document.referenceTable().isEmpty()) << c.name;
  }
}

// Balances side by side over amounts whose sums span every size of real (1E4900 and 1E-4900
// among them: a fold's state holds some four kilobytes) in a memo of little room, which their
// states outgrow: each balance is still answered without folding its range again, so the rows
// read grow with the rows, and every balance is what evaluating it alone, walking its range,
// gives, after the open and after values typed at the top, in the middle and at the bottom.
TEST_F(RecalculationTest, BalancesOverRealsOfEverySizeReadRowsInProportionToTheRows) {
  constexpr int kColumns = 4;
  struct Case {
    const char* name;
    const char* balance;  // %1 the column, %2 the row, %3 the last row
  };
  const Case cases[] = {
      {"running sums", "=SUM(%1$1:%1%2)"},
      {"running averages", "=AVERAGE(%1$1:%1%2)"},
      {"remaining sums", "=SUM(%1%2:%1$%3)"},
      {"running largest", "=MAX(%1$1:%1%2)"},
  };
  const size_t before = CARangeMemo::setLeastRoom(16 << 10);
  for (const Case& c : cases) {
    uint64_t work[2] = {};
    const int sizes[2] = {600, 1200};
    for (int i = 0; i < 2; ++i) {
      const int rows = sizes[i];
      const std::string name = std::string(c.name) + ", " + std::to_string(rows) + " rows";
      WatchedSheet sheet;
      CADocument& document = sheet.document;
      for (int x = 0; x < kColumns; ++x) {
        const QString column = FormatGridPoint(2 * x, 0).left(1);
        for (int k = 1; k <= rows; ++k) {
          const QString amount = k == 3 + x ? QStringLiteral("1E4900")
                                 : k == 7   ? QStringLiteral("-1E-4900")
                                 : k == 9   ? QStringLiteral("1E-4900")
                                            : QString::number((k * (x + 2)) % 11 + 0.5);
          document.cellAtGridPointImperative({2 * x, k - 1})->setFormula(amount);
          document.cellAtGridPointImperative({2 * x + 1, k - 1})
              ->setFormula(QString::fromLatin1(c.balance).arg(column).arg(k).arg(rows));
        }
      }
      const uint64_t start = g_blockRowsRead;
      document.evaluate();
      work[i] = g_blockRowsRead - start;
      if (i > 0) continue;
      const int typedRows[] = {0, 1, rows / 2, rows - 1};
      for (size_t step = 0; step < std::size(typedRows); ++step) {
        if (step > 0) {
          document.cellAtGridPointImperative({2, typedRows[step] - 1})->setFormula(QStringLiteral("2.25"));
          document.evaluate();
        }
        int differing = 0;
        for (int y = 0; y < rows; ++y) {
          if (y % 7 != 0 && y > 12 && y < rows - 12) continue;
          for (int x = 1; x < 2 * kColumns; x += 2) {
            CACell* balance = document.cellAtGridPoint(GridPoint{x, y});
            ASSERT_TRUE(balance) << name;
            const std::optional<CANumber> shown = balance->number();
            const int32_t shownResult = balance->evalResult();
            // Outside a recalculation no memo is at hand: the range is walked.
            balance->evaluate();
            if ((shown != balance->number() || shownResult != balance->evalResult()) && ++differing <= 3)
              ADD_FAILURE() << name << ", after step " << step << ": " << balance->formula().toStdString()
                            << " shows " << (shown ? shown->description().toStdString() : "-") << " for "
                            << (balance->number() ? balance->number()->description().toStdString() : "-");
          }
        }
        EXPECT_EQ(differing, 0) << name << ", after step " << step;
      }
    }
    EXPECT_GT(work[0], uint64_t(sizes[0])) << c.name;
    EXPECT_LE(work[1], work[0] * 5 / 2) << c.name << ": " << work[0] << " rows read, then " << work[1];
  }
  CARangeMemo::setLeastRoom(before);
}


// The sum of shares each rounded to the nearest extended real, added without error and rounded
// once to the nearest (ties to even): shares from 2^-20 to 1 and fewer than 4,096 of them, so that
// 124 bits below the point and 4 above hold the sum exactly.
class SumOfRoundedShares {
 public:
  void add(long double share) {
    int exponent = 0;
    const long double mantissa = std::frexp(share, &exponent);  // share = mantissa * 2^exponent
    const auto units = static_cast<uint64_t>(std::ldexp(mantissa, 64));
    sum_ += static_cast<unsigned __int128>(units) << (exponent - 64 + 124);
  }
  long double rounded() const {
    int top = 127;
    while (top > 0 && !((sum_ >> top) & 1)) --top;
    if (top < 64) return std::ldexp(static_cast<long double>(static_cast<uint64_t>(sum_)), -124);
    const int dropped = top - 63;
    const uint64_t kept = static_cast<uint64_t>(sum_ >> dropped);
    const unsigned __int128 rest = sum_ & ((static_cast<unsigned __int128>(1) << dropped) - 1);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (dropped - 1);
    long double rounded = static_cast<long double>(kept);
    if (rest > half || (rest == half && (kept & 1))) rounded += 1;  // exact: at most 2^64
    return std::ldexp(rounded, dropped - 124);
  }

 private:
  unsigned __int128 sum_ = 0;
};

// The bits of the least common multiple of denominators, as a logarithm: whether a sum of shares
// is past the exact bound (256 bits) is plain well away from it.
class LcmBits {
 public:
  void add(int64_t d) {
    for (int64_t p = 2; p * p <= d; ++p) {
      int power = 0;
      for (; d % p == 0; d /= p) ++power;
      if (power > 0) raise(p, power);
    }
    if (d > 1) raise(d, 1);
  }
  double bits() const { return bits_; }

 private:
  void raise(int64_t p, int power) {
    int& kept = powers_[p];
    if (power > kept) bits_ += (power - kept) * std::log2(double(p));
    kept = std::max(kept, power);
  }
  std::map<int64_t, int> powers_;
  double bits_ = 0;
};

std::string Digits(long double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.21Lg", value);
  return text;
}

// Remaining balances, =SUM(Ck:C$N), over shares =1/Bk of counts and of odd primes, as a ledger
// under a heading lays them out, for sizes whose sums pass the exact bound: after the
// recalculation, and after a share typed at the top, the bottom and the middle, each balance is
// what its range walked alone gives, and, where its shares are well past the bound, the sum of
// the shares each rounded, added without error and rounded once.
TEST_F(RecalculationTest, RemainingBalancesOverSharesAreTheSumsOfTheirShares) {
  struct Case {
    int rows;  // with the heading
    bool primes;
  };
  const Case cases[] = {{130, true}, {300, false}, {520, true}, {1100, false}};
  std::vector<int64_t> primes;
  for (int64_t n = 3; primes.size() < 1200; n += 2)
    if (std::none_of(primes.begin(), primes.end(), [n](int64_t p) { return n % p == 0; })) primes.push_back(n);
  for (const Case& c : cases) {
    const int rows = c.rows;
    WatchedSheet sheet;
    CADocument& document = sheet.document;
    const auto enter = [&](int x, int y, const QString& text) {
      document.cellAtGridPointImperative({x, y})->setFormula(text);
    };
    std::vector<int64_t> denominators(size_t(rows), 0);
    enter(0, 0, QStringLiteral("item"));
    enter(1, 0, QStringLiteral("amount"));
    enter(2, 0, QStringLiteral("share"));
    enter(3, 0, QStringLiteral("remaining"));
    for (int k = 2; k <= rows; ++k) {
      const int64_t amount = c.primes ? primes[size_t(k - 2)] : k - 1;
      denominators[size_t(k - 1)] = amount;
      enter(0, k - 1, QStringLiteral("item %1").arg(k));
      enter(1, k - 1, QString::number(amount));
      enter(2, k - 1, QStringLiteral("=1/B%1").arg(k));
      enter(3, k - 1, QStringLiteral("=SUM(C%1:C$%2)").arg(k).arg(rows));
    }
    struct Typed {
      int y;
      int64_t denominator;
    };
    const Typed typed[] = {{0, 0}, {1, 7}, {rows - 1, 11}, {rows / 2, 13}};
    int pastTheBound = 0;
    for (const Typed& t : typed) {
      const std::string name = std::string(c.primes ? "odd primes, " : "counts, ") + std::to_string(rows) +
                               " rows, typed in row " + std::to_string(t.y + 1);
      if (t.denominator) {
        enter(2, t.y, QStringLiteral("=1/%1").arg(t.denominator));
        denominators[size_t(t.y)] = t.denominator;
      }
      document.evaluate();
      int differing = 0;
      // From the bottom up, each balance's shares one more than the one below's.
      SumOfRoundedShares shares;
      LcmBits lcm;
      for (int y = rows - 1; y >= 1; --y) {
        shares.add(1.0L / static_cast<long double>(denominators[size_t(y)]));
        lcm.add(denominators[size_t(y)]);
        CACell* balance = document.cellAtGridPoint(GridPoint{3, y});
        ASSERT_TRUE(balance && balance->number()) << name << ", row " << y + 1;
        const CANumber shown = *balance->number();
        if (lcm.bits() > 264) {
          ++pastTheBound;
          const long double expected = shares.rounded();
          if ((shown.form() != kNumberReal || shown.realValue() != expected) && ++differing <= 3)
            ADD_FAILURE() << name << ": row " << y + 1 << " shows " << Digits(shown.realValue()) << ", not "
                          << Digits(expected);
        }
        if (y % 5 != 0 && y > 12 && y < rows - 12) continue;
        // Outside a recalculation no memo is at hand: the range is walked.
        balance->evaluate();
        const std::optional<CANumber> walked = balance->number();
        if ((!walked || *walked != shown || walked->form() != shown.form()) && ++differing <= 3)
          ADD_FAILURE() << name << ": row " << y + 1 << " shows " << shown.description().toStdString() << ", walked "
                        << (walked ? walked->description().toStdString() : "-");
      }
      EXPECT_EQ(differing, 0) << name;
    }
    EXPECT_GT(pastTheBound, rows) << "every size has balances past the bound";
  }
}

}  // namespace
