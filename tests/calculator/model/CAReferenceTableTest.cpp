// The reference table: counted references to cells and blocks, the referrers of a point, and
// the consuming walk of recalculation, checked against a plain list of what was registered.
#include <gtest/gtest.h>

#include "calculator/model/CAReferenceTable.h"

#include <algorithm>
#include <map>
#include <random>
#include <tuple>

namespace {

std::vector<GridPoint> Sorted(std::vector<GridPoint> points) {
  std::sort(points.begin(), points.end(),
            [](const GridPoint& a, const GridPoint& b) { return std::tie(a.y, a.x) < std::tie(b.y, b.x); });
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

std::vector<GridPoint> ReferrersOf(CAReferenceTable& table, const GridPoint& point) {
  std::vector<GridPoint> referrers;
  table.referrersOf(point, referrers);
  return Sorted(referrers);
}

TEST(ReferenceTable, FindsReferrersThroughBlocksOfAnyShape) {
  CAReferenceTable table;
  const GridPoint f{9, 9};
  table.addRangeReference(f, GridRange{{0, 0}, {1, 1}});                 // A1:B2, narrow
  table.addRangeReference(GridPoint{9, 8}, GridRange{{0, 3}, {40, 3}});  // A4:AO4, wide
  table.addRangeReference(GridPoint{9, 7}, GridRange{{2, 0}, {2, kGridOpenEnd}});  // C:C
  table.addRangeReference(GridPoint{9, 6}, GridRange{{0, 5}, {kGridOpenEnd, 6}});  // 6:7

  EXPECT_EQ(ReferrersOf(table, {0, 0}), (std::vector<GridPoint>{f}));
  EXPECT_EQ(ReferrersOf(table, {1, 1}), (std::vector<GridPoint>{f}));
  EXPECT_TRUE(ReferrersOf(table, {2, 2}) == (std::vector<GridPoint>{{9, 7}}));
  EXPECT_TRUE(ReferrersOf(table, {1, 2}).empty());
  EXPECT_TRUE(ReferrersOf(table, {40, 3}) == (std::vector<GridPoint>{{9, 8}}));
  EXPECT_TRUE(ReferrersOf(table, {41, 3}).empty());
  EXPECT_TRUE(ReferrersOf(table, {2, 3}) == (std::vector<GridPoint>{{9, 7}, {9, 8}}));
  EXPECT_TRUE(ReferrersOf(table, {100000, 6}) == (std::vector<GridPoint>{{9, 6}}));
  EXPECT_TRUE(ReferrersOf(table, {2, 1000000}) == (std::vector<GridPoint>{{9, 7}}));

  EXPECT_TRUE(table.removeRangeReference(f, GridRange{{0, 0}, {1, 1}}));
  EXPECT_TRUE(ReferrersOf(table, {0, 0}).empty());
  EXPECT_FALSE(table.removeRangeReference(f, GridRange{{0, 0}, {1, 1}}));
}

TEST(ReferenceTable, ConsumingReportsEachBlockOnceUntilItEnds) {
  CAReferenceTable table;
  const GridPoint f{5, 0};
  table.addRangeReference(f, GridRange{{0, 0}, {0, 99}});
  table.addRangeReference(GridPoint{6, 0}, GridRange{{0, 0}, {20, 0}});
  table.addReference(GridPoint{7, 0}, GridPoint{0, 0});

  table.beginConsuming();
  EXPECT_TRUE(ReferrersOf(table, {0, 0}) == (std::vector<GridPoint>{f, {6, 0}, {7, 0}}));
  // Blocks are spent; references to the cell itself are not.
  EXPECT_TRUE(ReferrersOf(table, {0, 0}) == (std::vector<GridPoint>{{7, 0}}));
  EXPECT_TRUE(ReferrersOf(table, {0, 50}).empty());
  table.endConsuming();

  EXPECT_TRUE(ReferrersOf(table, {0, 50}) == (std::vector<GridPoint>{f}));
  EXPECT_TRUE(ReferrersOf(table, {0, 0}) == (std::vector<GridPoint>{f, {6, 0}, {7, 0}}));

  // A block dropped while spent is gone for good.
  table.beginConsuming();
  ReferrersOf(table, {0, 0});
  EXPECT_TRUE(table.removeRangeReference(f, GridRange{{0, 0}, {0, 99}}));
  table.endConsuming();
  EXPECT_TRUE(ReferrersOf(table, {0, 50}).empty());
}

// A chain long enough to grow the table many times, half of it then removed, and cells whose
// one referrer gains a second count or a second referrer and loses it again.
TEST(ReferenceTable, KeepsALongChainThroughGrowthAndRemoval) {
  CAReferenceTable table;
  constexpr int64_t kLength = 20000;
  for (int64_t y = 1; y < kLength; ++y) ASSERT_TRUE(table.addReference({0, y}, {0, y - 1}));
  EXPECT_FALSE(table.addReference({0, 12}, {0, 11}));  // counted twice
  EXPECT_TRUE(table.addReference({3, 7}, {0, 20}));
  for (int64_t y = 1; y < kLength; y += 2) ASSERT_TRUE(table.removeReference({0, y}, {0, y - 1}));
  EXPECT_FALSE(table.removeReference({0, 12}, {0, 11}));
  EXPECT_EQ(table.referenceCount(), size_t(kLength / 2));
  for (int64_t y = 0; y + 1 < kLength; ++y) {
    const std::vector<GridPoint> expected = y == 20 ? std::vector<GridPoint>{{3, 7}}
                                            : y % 2 == 1 ? std::vector<GridPoint>{{0, y + 1}}
                                                         : std::vector<GridPoint>{};
    ASSERT_TRUE(ReferrersOf(table, {0, y}) == expected) << y;
  }
}

// Random registrations and removals, checked against a multiset of what is registered.
TEST(ReferenceTable, AgreesWithAPlainListOfReferences) {
  std::mt19937 random(20240131);
  CAReferenceTable table;
  // (from, block) -> count; a cell reference is a 1x1 block kept apart.
  std::map<std::tuple<int64_t, int64_t, int64_t, int64_t, int64_t, int64_t, bool>, int> model;
  const auto coordinate = [&](int64_t limit) { return int64_t(random() % uint64_t(limit)); };
  for (int step = 0; step < 4000; ++step) {
    const GridPoint from{coordinate(30), coordinate(30)};
    const bool cellReference = random() % 3 == 0;
    GridRange block;
    if (cellReference) {
      block.startPoint = block.endPoint = GridPoint{coordinate(30), coordinate(30)};
    } else {
      const int64_t x = coordinate(30);
      const int64_t y = coordinate(30);
      block = GridRange{{x, y}, {x + coordinate(random() % 4 == 0 ? 20 : 4), y + coordinate(12)}};
    }
    const auto key = std::make_tuple(from.x, from.y, block.startPoint.x, block.startPoint.y, block.endPoint.x,
                                     block.endPoint.y, cellReference);
    const bool remove = random() % 5 < 2;
    if (remove) {
      int& count = model[key];
      const bool changed = cellReference ? table.removeReference(from, block.startPoint)
                                         : table.removeRangeReference(from, block);
      EXPECT_EQ(changed, count == 1);
      if (count > 0) --count;
    } else {
      int& count = model[key];
      const bool changed =
          cellReference ? table.addReference(from, block.startPoint) : table.addRangeReference(from, block);
      EXPECT_EQ(changed, count == 0);
      ++count;
    }
    if (step % 500 != 499) continue;
    for (int64_t y = 0; y < 45; ++y) {
      for (int64_t x = 0; x < 55; ++x) {
        std::vector<GridPoint> expected;
        for (const auto& [k, count] : model) {
          if (count == 0) continue;
          const auto [fx, fy, x0, y0, x1, y1, isCell] = k;
          if (x >= x0 && x <= x1 && y >= y0 && y <= y1) expected.push_back(GridPoint{fx, fy});
        }
        ASSERT_EQ(ReferrersOf(table, {x, y}), Sorted(expected)) << x << "," << y << " after " << step;
      }
    }
  }
}

}  // namespace
