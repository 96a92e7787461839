// A row's cell list keeps one cell in place and more in a block of their own: every edit a row's
// cells get behaves as a vector's would, across the change from one to many and back.
#include "calculator/model/CACell.h"
#include "calculator/model/CARow.h"

#include <gtest/gtest.h>

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

}  // namespace
