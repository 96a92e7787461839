// A row's cell list keeps one entry in place and more in a block of their own: every edit a row's
// cells get behaves as a vector's would, across the change from one to many and back, whether
// the entries are cells or plain numbers.
#include "calculator/model/CACell.h"
#include "calculator/model/CARow.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

std::unique_ptr<CACell> Cell(int64_t x) { return std::make_unique<CACell>(GridPoint{x, 0}, nullptr); }
// Every other x a plain number, so that both kinds of entry move through the edits.
CACellEntry Entry(int64_t x) {
  if (x % 2 == 0) return Cell(x);
  return CACellEntry::plainNumber(x, CANumber(x * 10)).value();
}

std::vector<int64_t> Xs(const CACellList& list) {
  std::vector<int64_t> xs;
  for (const CACellEntry& entry : list) {
    xs.push_back(entry.empty() ? -1 : entry.x());
    if (entry.isPlain()) {
      EXPECT_EQ(entry.number().numerator(), entry.x() * 10);
    }
  }
  return xs;
}

TEST(CACellList, EditsMatchAVectorsThroughEveryChangeOfSize) {
  // Random edits on the list and on a vector of the same xs; the two must agree after each.
  std::mt19937 random(7);
  CACellList list;
  std::vector<int64_t> expected;
  int64_t next = 0;
  for (int step = 0; step < 4000; ++step) {
    const size_t size = expected.size();
    switch (random() % 6) {
      case 0:
      case 1: {
        const size_t at = size_t(random() % (size + 1));
        const auto it = list.insert(list.begin() + at, Entry(next));
        EXPECT_EQ(it->x(), next);
        expected.insert(expected.begin() + qsizetype(at), next++);
        break;
      }
      case 2:
        list.push_back(Entry(next));
        expected.push_back(next++);
        break;
      case 3:
        if (size > 0) {
          const size_t at = size_t(random() % size);
          list.erase(list.begin() + at);
          expected.erase(expected.begin() + qsizetype(at));
        }
        break;
      case 4: {
        const size_t first = size_t(random() % (size + 1));
        const size_t last = first + size_t(random() % (size - first + 1));
        const auto it = list.erase(list.begin() + first, list.begin() + last);
        EXPECT_EQ(it, list.begin() + first);
        expected.erase(expected.begin() + qsizetype(first), expected.begin() + qsizetype(last));
        break;
      }
      default:
        if (random() % 8 == 0) {
          list.eraseIf([](const CACellEntry& entry) { return entry.x() % 3 == 0; });
          std::erase_if(expected, [](int64_t x) { return x % 3 == 0; });
        }
        break;
    }
    ASSERT_EQ(Xs(list), expected) << "step " << step;
    ASSERT_EQ(list.size(), expected.size());
    ASSERT_EQ(list.empty(), expected.empty());
    if (!expected.empty()) {
      ASSERT_EQ(list.front().x(), expected.front());
      ASSERT_EQ(list.back().x(), expected.back());
    }
  }
}

TEST(CACellList, OneCellNeedsNoBlockAndMovesWithTheList) {
  CACellList list;
  EXPECT_EQ(list.capacity(), 1u);
  list.push_back(Cell(4));
  EXPECT_EQ(list.capacity(), 1u);
  CACellList moved(std::move(list));
  EXPECT_TRUE(list.empty());
  ASSERT_EQ(Xs(moved), std::vector<int64_t>{4});

  moved.push_back(Cell(5));
  moved.push_back(Cell(6));
  EXPECT_GE(moved.capacity(), 3u);
  CACellList assigned;
  assigned.push_back(Cell(1));
  assigned = std::move(moved);
  EXPECT_EQ(Xs(assigned), (std::vector<int64_t>{4, 5, 6}));
  EXPECT_TRUE(moved.empty());
  assigned.clear();
  EXPECT_TRUE(assigned.empty());
  assigned.push_back(Cell(9));
  EXPECT_EQ(Xs(assigned), std::vector<int64_t>{9});
}

TEST(CACellList, ARowHoldsItsFormatAndMinimumHeightOnlyWhileItHasThem) {
  CARow row(3);
  EXPECT_EQ(row.format(), nullptr);
  EXPECT_EQ(row.minimumHeight(), 0);
  row.setMinimumHeight(12700);
  CAFormat bold;
  bold.setBold(true);
  row.setFormat(bold);
  EXPECT_EQ(row.minimumHeight(), 12700);
  ASSERT_NE(row.format(), nullptr);
  EXPECT_TRUE(row.format()->bold());
  row.setMinimumHeight(0);
  ASSERT_NE(row.format(), nullptr);
  row.setFormat(std::nullopt);
  EXPECT_EQ(row.format(), nullptr);
  EXPECT_EQ(row.minimumHeight(), 0);
  row.setMinimumHeight(25400);
  row.makeVanilla();
  EXPECT_EQ(row.minimumHeight(), 0);
  EXPECT_EQ(row.format(), nullptr);
}

TEST(CACellList, MovesBetweenEveryPairOfShapes) {
  // Empty, one cell in place, and a block (holding one or several cells), moved onto each.
  const std::vector<std::vector<int64_t>> shapes = {{}, {1}, {1, 2}, {1, 2, 3, 4, 5}};
  const auto make = [](const std::vector<int64_t>& xs, bool shrunk) {
    CACellList list;
    for (int64_t x : xs) list.push_back(Entry(x));
    // A block emptied down to one cell keeps its block.
    if (shrunk) {
      list.push_back(Cell(99));
      list.push_back(Cell(98));
      list.erase(list.end() - 2, list.end());
    }
    return list;
  };
  for (const bool shrunk : {false, true}) {
    for (const std::vector<int64_t>& from : shapes) {
      for (const std::vector<int64_t>& onto : shapes) {
        CACellList source = make(from, shrunk);
        CACellList target = make(onto, !shrunk);
        target = std::move(source);
        EXPECT_EQ(Xs(target), from) << from.size() << " onto " << onto.size();
        EXPECT_TRUE(source.empty());
        // Both stay usable: the source starts again in place, the target grows as any list.
        source.push_back(Cell(7));
        EXPECT_EQ(Xs(source), std::vector<int64_t>{7});
        EXPECT_EQ(source.capacity(), 1u);
        target.push_back(Cell(8));
        std::vector<int64_t> grown = from;
        grown.push_back(8);
        EXPECT_EQ(Xs(target), grown);
      }
    }
  }
}

TEST(CACellList, ACellTakenOutOfItsPlaceLeavesAnEmptySlotToErase) {
  // Taking a row's cells away moves each out before erasing the span; with one cell the slot
  // lies in the list itself.
  for (const size_t count : {size_t(1), size_t(2), size_t(5)}) {
    CACellList list;
    for (size_t i = 0; i < count; ++i) list.push_back(Entry(int64_t(i)));
    std::vector<CACellEntry> taken;
    for (size_t i = 0; i < count; ++i) taken.push_back(std::move(list[i]));
    list.erase(list.begin(), list.end());
    EXPECT_TRUE(list.empty());
    ASSERT_EQ(taken.size(), count);
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(taken[i].x(), int64_t(i));
    list.push_back(std::move(taken.front()));
    EXPECT_EQ(Xs(list), std::vector<int64_t>{0});
  }
}

TEST(CACellList, ARowsRecalculationFlagOutlivesItsFormatAndMinimumHeight) {
  // The flag shares a word with the rarely used fields; every order of setting and clearing
  // them keeps it as it was set.
  struct Step {
    const char* what;
    std::function<void(CARow&)> apply;
  };
  CAFormat italic;
  italic.setItalic(true);
  const std::vector<Step> steps = {
      {"minimum", [](CARow& row) { row.setMinimumHeight(12700); }},
      {"format", [&](CARow& row) { row.setFormat(italic); }},
      {"no minimum", [](CARow& row) { row.setMinimumHeight(0); }},
      {"no format", [](CARow& row) { row.setFormat(std::nullopt); }},
      {"height", [](CARow& row) { row.setHeight(30); }},
  };
  for (const bool flag : {false, true}) {
    CARow row(0);
    EXPECT_TRUE(row.needCalculate());  // a new row measures itself
    row.setNeedCalculate(flag);
    for (const Step& step : steps) {
      step.apply(row);
      EXPECT_EQ(row.needCalculate(), flag) << step.what;
    }
    row.setMinimumHeight(25400);
    row.setNeedCalculate(!flag);
    EXPECT_EQ(row.minimumHeight(), 25400);
    EXPECT_EQ(row.needCalculate(), !flag);
    row.makeVanilla();
    EXPECT_TRUE(row.needCalculate());
    EXPECT_EQ(row.minimumHeight(), 0);
  }
  // A measured row answers its stored height until told to measure again.
  CARow row(0);
  row.setMinimumHeight(25400);
  EXPECT_DOUBLE_EQ(row.height(), 2.0);
  EXPECT_FALSE(row.needCalculate());
  row.setHeight(40);
  EXPECT_DOUBLE_EQ(row.height(), 40.0);
  row.setNeedCalculate(true);
  EXPECT_DOUBLE_EQ(row.height(), 2.0);
}

TEST(CACellList, GrowsByHalf) {
  // Cells pushed one by one, and the room the list then has.
  const struct {
    size_t cells;
    size_t capacity;
  } cases[] = {{0, 1}, {1, 1}, {2, 3}, {3, 3}, {4, 4}, {6, 6}, {8, 9}, {10, 13}, {12, 13}, {18, 19}, {100, 141}};
  for (const auto& c : cases) {
    CACellList list;
    for (size_t i = 0; i < c.cells; ++i) list.push_back(Cell(int64_t(i)));
    EXPECT_EQ(list.capacity(), c.capacity) << c.cells << " cells";
    ASSERT_EQ(list.size(), c.cells);
    EXPECT_EQ(list.empty() ? -1 : list.back().x(), int64_t(c.cells) - 1);
  }
  // A reserve asks for exactly what it names.
  CACellList reserved;
  reserved.reserve(10);
  EXPECT_EQ(reserved.capacity(), 10u);
  reserved.reserve(4);
  EXPECT_EQ(reserved.capacity(), 10u);
}

TEST(CACellEntry, KeepsPlainlyTheNumbersItCanGiveBackExactly) {
  const struct {
    const char* what;
    CANumber number;
    bool plain;
  } cases[] = {
      {"zero", CANumber(0), true},
      {"negative", CANumber(-7), true},
      {"largest", CANumber(INT64_MAX), true},
      {"smallest", CANumber(INT64_MIN), true},
      {"sevenths", CANumber::withNumerator(1, 7), true},
      {"negative quarters", CANumber::withNumerator(-9, 4), true},
      {"32-bit terms", CANumber::withNumerator(INT32_MIN, UINT32_MAX), true},
      {"zero denominator", CANumber::withNumerator(1, 0), true},
      {"wide numerator", CANumber::withNumerator(int64_t(1) << 40, 3), false},
      {"wide denominator", CANumber::withNumerator(1, (uint64_t(1) << 33) + 1), false},
      {"real", CANumber::withRealResult(1.5L), true},
      {"extended real", CANumber::withRealResult(0.1L), true},
      {"huge real", CANumber::withRealResult(1e4000L), true},
      {"tiny real", CANumber::withRealResult(-1e-4000L), true},
      {"NaN", CANumber::asNan(), false},
      {"infinity", CANumber::asInf(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<CACellEntry> entry = CACellEntry::plainNumber(12, c.number);
    ASSERT_EQ(entry.has_value(), c.plain);
    if (!entry) continue;
    EXPECT_TRUE(entry->isPlain());
    EXPECT_EQ(entry->cell(), nullptr);
    EXPECT_EQ(entry->valueType(), kValueNumber);
    for (const int64_t x : {int64_t(12), int64_t(0), LastGridColumn()}) {
      entry->setX(x);
      EXPECT_EQ(entry->x(), x);
      const CANumber back = entry->number();
      EXPECT_EQ(back.form(), c.number.form());
      EXPECT_EQ(back.numerator(), c.number.numerator());
      EXPECT_EQ(back.denominator(), c.number.denominator());
      EXPECT_EQ(back.archive(), c.number.archive());
      const long double a = back.realValue();
      const long double b = c.number.realValue();
      EXPECT_EQ(std::memcmp(&a, &b, 10), 0);
    }
  }
  // Only columns of the grid.
  EXPECT_FALSE(CACellEntry::plainNumber(-1, CANumber(1)));
  EXPECT_FALSE(CACellEntry::plainNumber(int64_t(1) << 50, CANumber(1)));
}

TEST(CACellEntry, APlainNumberBecomesACellHoldingItAndNothingElse) {
  CARow row(4);
  std::optional<CACellEntry> plain = CACellEntry::plainNumber(2, CANumber::withNumerator(3, 8));
  ASSERT_TRUE(plain.has_value());
  row.mutableCells().push_back(std::move(*plain));
  row.mutableCells().push_back(Cell(5));
  ASSERT_NE(row.entryAt(2), nullptr);
  EXPECT_EQ(row.entryAt(3), nullptr);
  {
    const CACellReading reading(*row.entryAt(2), row.gridY(), nullptr);
    EXPECT_EQ(reading->gridPoint(), (GridPoint{2, 4}));
    EXPECT_TRUE(reading->isPlainNumber());
    EXPECT_EQ(NumberIn(reading.get()).archive(), QStringLiteral("f3/8"));
  }
  EXPECT_TRUE(row.entryAt(2)->isPlain());  // reading made no cell
  CACell* cell = row.cellAt(2, nullptr);
  ASSERT_NE(cell, nullptr);
  EXPECT_FALSE(row.entryAt(2)->isPlain());
  EXPECT_EQ(row.cellAt(2, nullptr), cell);
  EXPECT_EQ(cell->gridPoint(), (GridPoint{2, 4}));
  EXPECT_EQ(cell->valueType(), kValueNumber);
  EXPECT_EQ(NumberIn(cell).archive(), QStringLiteral("f3/8"));
  EXPECT_TRUE(cell->isPlainNumber());
  EXPECT_FALSE(cell->needRecalc());
  cell->setNote(QStringLiteral("kept"));
  EXPECT_FALSE(cell->isPlainNumber());
}

}  // namespace
