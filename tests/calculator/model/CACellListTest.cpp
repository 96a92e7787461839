// A row's cell list keeps one cell in place and more in a block of their own: every edit a row's
// cells get behaves as a vector's would, across the change from one to many and back.
#include "calculator/model/CACell.h"
#include "calculator/model/CARow.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

namespace {

std::unique_ptr<CACell> Cell(int64_t x) { return std::make_unique<CACell>(GridPoint{x, 0}, nullptr); }

std::vector<int64_t> Xs(const CACellList& list) {
  std::vector<int64_t> xs;
  for (const std::unique_ptr<CACell>& cell : list) xs.push_back(cell ? cell->gridPoint().x : -1);
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
        const auto it = list.insert(list.begin() + at, Cell(next));
        EXPECT_EQ((*it)->gridPoint().x, next);
        expected.insert(expected.begin() + qsizetype(at), next++);
        break;
      }
      case 2:
        list.push_back(Cell(next));
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
          list.eraseIf([](const std::unique_ptr<CACell>& cell) { return cell->gridPoint().x % 3 == 0; });
          std::erase_if(expected, [](int64_t x) { return x % 3 == 0; });
        }
        break;
    }
    ASSERT_EQ(Xs(list), expected) << "step " << step;
    ASSERT_EQ(list.size(), expected.size());
    ASSERT_EQ(list.empty(), expected.empty());
    if (!expected.empty()) {
      ASSERT_EQ(list.front()->gridPoint().x, expected.front());
      ASSERT_EQ(list.back()->gridPoint().x, expected.back());
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
    for (int64_t x : xs) list.push_back(Cell(x));
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
    for (size_t i = 0; i < count; ++i) list.push_back(Cell(int64_t(i)));
    std::vector<std::unique_ptr<CACell>> taken;
    for (size_t i = 0; i < count; ++i) taken.push_back(std::move(list[i]));
    list.erase(list.begin(), list.end());
    EXPECT_TRUE(list.empty());
    ASSERT_EQ(taken.size(), count);
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(taken[i]->gridPoint().x, int64_t(i));
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

TEST(CACellList, GrowsByHalfToOddCountsThatFillMallocsBlocks) {
  // Cells pushed one by one, and the room the list then has.
  const struct {
    size_t cells;
    size_t capacity;
  } cases[] = {{0, 1}, {1, 1}, {2, 3}, {3, 3}, {4, 5}, {6, 7}, {8, 11}, {10, 11}, {12, 17}, {18, 25}, {100, 125}};
  for (const auto& c : cases) {
    CACellList list;
    for (size_t i = 0; i < c.cells; ++i) list.push_back(Cell(int64_t(i)));
    EXPECT_EQ(list.capacity(), c.capacity) << c.cells << " cells";
    ASSERT_EQ(list.size(), c.cells);
    EXPECT_EQ(list.empty() ? -1 : list.back()->gridPoint().x, int64_t(c.cells) - 1);
  }
  // A reserve asks for exactly what it names.
  CACellList reserved;
  reserved.reserve(10);
  EXPECT_EQ(reserved.capacity(), 10u);
  reserved.reserve(4);
  EXPECT_EQ(reserved.capacity(), 10u);
}

}  // namespace
