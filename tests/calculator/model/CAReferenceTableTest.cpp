// The reference table: counted references to cells and blocks, the referrers of a point, and
// the consuming walk of recalculation, checked against a plain list of what was registered.
#include <gtest/gtest.h>

#include "calculator/model/CAReferenceTable.h"

#include <algorithm>
#include <map>
#include <random>
#include <tuple>
#include <vector>

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

// Consuming as a recalculation does, at one point or several, over a few blocks or thousands
// (switched on again in one walk over their index): each block holding a consumed point is
// reported once, a wide block only at a point within its columns, and every block is back once
// the consuming ends.
TEST(ReferenceTable, ConsumedBlocksAreReportedOnceAndAllComeBack) {
  struct Case {
    const char* name;
    int64_t rows;
    std::vector<GridPoint> consumed;
  };
  const Case cases[] = {
      {"a few running totals, at their top", 5, {{0, 0}}},
      {"many running totals, at their top", 3000, {{0, 0}}},
      {"many running totals, at several rows", 3000, {{0, 2999}, {0, 1500}, {0, 0}, {0, 10}}},
      {"many running totals, at their foot", 3000, {{0, 2999}}},
      {"wide blocks, beside their columns first", 3000, {{20, 100}, {0, 100}, {12, 120}}},
  };
  for (const Case& c : cases) {
    CAReferenceTable table;
    // Row k: =SUM(A$1:Ak) in B; every hundredth row also a block 13 columns wide from C.
    for (int64_t k = 0; k < c.rows; ++k) {
      table.addRangeReference({1, k}, GridRange{{0, 0}, {0, k}});
      if (k % 100 == 0) table.addRangeReference({2, k}, GridRange{{0, k}, {12, k + 50}});
    }
    const auto expected = [&](const GridPoint& point) {
      std::vector<GridPoint> points;
      if (point.x == 0)
        for (int64_t k = point.y; k < c.rows; ++k) points.push_back({1, k});
      for (int64_t k = 0; k < c.rows; k += 100)
        if (point.x <= 12 && point.y >= k && point.y <= k + 50) points.push_back({2, k});
      return Sorted(points);
    };
    table.beginConsuming();
    std::vector<GridPoint> reported;
    std::vector<GridPoint> reachable;
    for (const GridPoint& point : c.consumed) {
      table.referrersOf(point, reported);
      const std::vector<GridPoint> all = expected(point);
      reachable.insert(reachable.end(), all.begin(), all.end());
    }
    const size_t count = reported.size();
    EXPECT_EQ(Sorted(reported).size(), count) << c.name << ": a block reported twice";
    EXPECT_EQ(Sorted(reported), Sorted(reachable)) << c.name;
    table.endConsuming();
    for (const GridPoint& point : {GridPoint{0, 0}, GridPoint{0, c.rows / 2}, GridPoint{5, 100}, GridPoint{0, c.rows - 1}})
      EXPECT_EQ(ReferrersOf(table, point), expected(point)) << c.name << " at " << point.x << "," << point.y;
  }
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

// What a sequence of registrations leaves: each step's answer (whether `from` started or stopped
// referring), then the referrers of some points and the number of registered pairs.
struct Step {
  enum Kind { kAdd, kRemove, kAddBlock, kRemoveBlock } kind;
  GridPoint from;
  GridRange to;  // a cell's reference names a 1x1 block
  bool changed;
};
struct Counting {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::pair<GridPoint, std::vector<GridPoint>>> referrers;
  size_t count;
};

Step Add(GridPoint from, GridPoint to, bool changed) { return Step{Step::kAdd, from, {to, to}, changed}; }
Step Remove(GridPoint from, GridPoint to, bool changed) { return Step{Step::kRemove, from, {to, to}, changed}; }
Step AddBlock(GridPoint from, GridRange to, bool changed) { return Step{Step::kAddBlock, from, to, changed}; }
Step RemoveBlock(GridPoint from, GridRange to, bool changed) { return Step{Step::kRemoveBlock, from, to, changed}; }

bool Apply(CAReferenceTable& table, const Step& step) {
  switch (step.kind) {
    case Step::kAdd:
      return table.addReference(step.from, step.to.startPoint);
    case Step::kRemove:
      return table.removeReference(step.from, step.to.startPoint);
    case Step::kAddBlock:
      return table.addRangeReference(step.from, step.to);
    case Step::kRemoveBlock:
      return table.removeRangeReference(step.from, step.to);
  }
  return false;
}

std::vector<Step> ManyThenOne(GridPoint to, int64_t referrers) {
  std::vector<Step> steps;
  for (int64_t y = 0; y < referrers; ++y) steps.push_back(Add({3, y}, to, true));
  for (int64_t y = 0; y + 1 < referrers; ++y) steps.push_back(Remove({3, y}, to, true));
  return steps;
}

TEST(ReferenceTable, CountsReferencesAsTheyComeAndGo) {
  const GridPoint t{0, 5};
  const GridPoint f{1, 5};
  const GridPoint g{2, 9};
  // Past what a packed point holds: a column beyond 2^24 - 2, a row beyond 2^40 or 2^43.
  const GridPoint farColumn{int64_t(1) << 24, 5};
  const GridPoint farRow{0, int64_t(1) << 50};
  const GridPoint farReferrer{4, int64_t(1) << 41};
  const GridRange narrow{{0, 0}, {1, 9}};
  const GridRange wide{{0, 4}, {30, 6}};
  const std::vector<Counting> cases = {
      {"named twice, removed twice",
       {Add(f, t, true), Add(f, t, false), Remove(f, t, false), Remove(f, t, true), Remove(f, t, false)},
       {{t, {}}},
       0},
      {"removing what was never added", {Remove(f, t, false), Add(f, t, true), Remove(g, t, false)}, {{t, {f}}}, 1},
      {"one referrer, then two, then one again",
       {Add(f, t, true), Add(g, t, true), Remove(f, t, true)},
       {{t, {g}}},
       1},
      {"a second count, a second referrer, both gone",
       {Add(f, t, true), Add(f, t, false), Add(g, t, true), Remove(g, t, true), Remove(f, t, false)},
       {{t, {f}}},
       1},
      {"the last count of a shared cell goes", {Add(f, t, true), Add(g, t, true), Remove(f, t, true), Remove(g, t, true)},
       {{t, {}}},
       0},
      {"twenty referrers, then one", ManyThenOne(t, 20), {{t, {{3, 19}}}}, 1},
      {"neighbours in a column share a group",
       {Add(f, {0, 7}, true), Add(g, {0, 8}, true), Add(f, {0, 0}, true), Remove(f, {0, 7}, true)},
       {{{0, 0}, {f}}, {{0, 7}, {}}, {{0, 8}, {g}}, {{0, 6}, {}}, {{1, 8}, {}}},
       2},
      {"a group emptied and used again",
       {Add(f, {0, 16}, true), Remove(f, {0, 16}, true), Add(g, {0, 17}, true)},
       {{{0, 16}, {}}, {{0, 17}, {g}}},
       1},
      {"cells beyond a packed point",
       {Add(f, farColumn, true), Add(f, farColumn, false), Add(g, farRow, true), Remove(f, farColumn, false),
        Remove(f, farColumn, true)},
       {{farColumn, {}}, {farRow, {g}}, {{0, 5}, {}}},
       1},
      {"a referrer beyond a packed point",
       {Add(farReferrer, t, true), Add(g, t, true), Remove(g, t, true), Add(farReferrer, t, false)},
       {{t, {farReferrer}}},
       1},
      {"blocks narrow and wide, each counted",
       {AddBlock(f, narrow, true), AddBlock(f, narrow, false), AddBlock(g, wide, true), Add(g, t, true),
        RemoveBlock(f, narrow, false)},
       {{t, {f, g}}, {{1, 9}, {f}}, {{30, 6}, {g}}, {{31, 6}, {}}, {{2, 9}, {}}},
       3},
      {"blocks removed to the last count",
       {AddBlock(f, narrow, true), AddBlock(f, narrow, false), AddBlock(g, wide, true), RemoveBlock(f, narrow, false),
        RemoveBlock(f, narrow, true), RemoveBlock(g, wide, true), RemoveBlock(g, wide, false)},
       {{t, {}}, {{1, 9}, {}}},
       0},
  };
  for (const Counting& c : cases) {
    CAReferenceTable table;
    for (size_t i = 0; i < c.steps.size(); ++i) EXPECT_EQ(Apply(table, c.steps[i]), c.steps[i].changed) << c.name << ", step " << i;
    for (const auto& [point, expected] : c.referrers)
      EXPECT_EQ(ReferrersOf(table, point), Sorted(expected)) << c.name << " at " << point.x << "," << point.y;
    EXPECT_EQ(table.referenceCount(), c.count) << c.name;
    EXPECT_EQ(table.isEmpty(), c.count == 0) << c.name;
  }
}

// Consuming spends each block once, whatever its count, and a block that loses one of two counts
// while spent is back afterwards.
TEST(ReferenceTable, ConsumingSpendsBlocksNotCounts) {
  const GridRange narrow{{0, 0}, {0, 9}};
  const GridRange wide{{0, 0}, {20, 2}};
  const GridPoint f{5, 0};
  const GridPoint g{6, 0};
  const GridPoint h{7, 0};
  struct Case {
    const char* name;
    bool removeOneCountWhileSpent;
    std::vector<GridPoint> first, second, after;
  };
  const std::vector<Case> cases = {
      {"blocks counted twice", false, {f, g, h}, {h}, {f, g, h}},
      {"one count dropped while spent", true, {f, g, h}, {h}, {f, g, h}},
  };
  for (const Case& c : cases) {
    CAReferenceTable table;
    table.addRangeReference(f, narrow);
    table.addRangeReference(f, narrow);
    table.addRangeReference(g, wide);
    table.addRangeReference(g, wide);
    table.addReference(h, {0, 1});
    table.beginConsuming();
    EXPECT_EQ(ReferrersOf(table, {0, 1}), Sorted(c.first)) << c.name;
    EXPECT_EQ(ReferrersOf(table, {0, 1}), Sorted(c.second)) << c.name;
    if (c.removeOneCountWhileSpent) {
      EXPECT_FALSE(table.removeRangeReference(f, narrow));
      EXPECT_FALSE(table.removeRangeReference(g, wide));
    }
    table.endConsuming();
    EXPECT_EQ(ReferrersOf(table, {0, 1}), Sorted(c.after)) << c.name;
    EXPECT_EQ(ReferrersOf(table, {0, 2}), Sorted({f, g})) << c.name;
  }
}

// Every row of a few columns named by the row below, as a chain does, across many groups and
// several growths; then each column emptied from the middle out.
TEST(ReferenceTable, KeepsColumnsOfChainsThroughGroupsAndGrowth) {
  CAReferenceTable table;
  constexpr int64_t kRows = 3000;
  for (int64_t x : {0, 1, 7})
    for (int64_t y = 0; y + 1 < kRows; ++y) ASSERT_TRUE(table.addReference({x, y + 1}, {x, y}));
  for (int64_t x : {0, 1, 7})
    for (int64_t y = 0; y + 1 < kRows; y += 3) ASSERT_EQ(ReferrersOf(table, {x, y}), (std::vector<GridPoint>{{x, y + 1}}));
  for (int64_t x : {0, 1, 7})
    for (int64_t d = 0; d < kRows / 2; ++d) {
      ASSERT_TRUE(table.removeReference({x, kRows / 2 + d}, {x, kRows / 2 + d - 1}));
      if (kRows / 2 - d - 1 >= 0 && kRows / 2 - d - 1 != kRows / 2 - 1) {
        ASSERT_TRUE(table.removeReference({x, kRows / 2 - d}, {x, kRows / 2 - d - 1}));
      }
    }
  EXPECT_TRUE(table.isEmpty());
  EXPECT_TRUE(ReferrersOf(table, {0, 0}).empty());
}

// Random cell references among points near group edges, far down and far across, checked
// against a count of what is registered.
TEST(ReferenceTable, AgreesWithACountOfCellReferencesNearAndFar) {
  const std::vector<int64_t> columns{0, 1, 2, (int64_t(1) << 24) - 2, (int64_t(1) << 24) - 1, int64_t(1) << 24};
  const std::vector<int64_t> rows{0, 7, 8, 15, 16, (int64_t(1) << 40) - 2, (int64_t(1) << 40) - 1,
                                  (int64_t(1) << 43) - 9, (int64_t(1) << 43) - 8, int64_t(1) << 50};
  std::mt19937 random(77);
  const auto pick = [&](const std::vector<int64_t>& values) { return values[random() % values.size()]; };
  const auto point = [&] { return GridPoint{pick(columns), pick(rows)}; };
  // Few referrers for many cells, so that cells often have several, near and far.
  const std::vector<GridPoint> referrers{{0, 0}, {1, 1}, {(int64_t(1) << 24) - 1, 3}, {int64_t(1) << 24, 3},
                                         {0, (int64_t(1) << 40) - 1}, {5, int64_t(1) << 50}};
  CAReferenceTable table;
  std::map<std::tuple<int64_t, int64_t, int64_t, int64_t>, int> model;
  for (int step = 0; step < 6000; ++step) {
    const GridPoint from = referrers[random() % referrers.size()];
    const GridPoint to = point();
    int& count = model[std::make_tuple(to.x, to.y, from.x, from.y)];
    if (random() % 5 < 2) {
      ASSERT_EQ(table.removeReference(from, to), count == 1) << step;
      if (count > 0) --count;
    } else {
      ASSERT_EQ(table.addReference(from, to), count == 0) << step;
      ++count;
    }
    if (step % 300 != 299) continue;
    size_t pairs = 0;
    for (const int64_t x : columns) {
      for (const int64_t y : rows) {
        std::vector<GridPoint> expected;
        for (const auto& [key, n] : model)
          if (n > 0 && std::get<0>(key) == x && std::get<1>(key) == y) expected.push_back({std::get<2>(key), std::get<3>(key)});
        pairs += expected.size();
        ASSERT_EQ(ReferrersOf(table, {x, y}), Sorted(expected)) << x << "," << y << " after " << step;
      }
    }
    ASSERT_EQ(table.referenceCount(), pairs);
  }
}

// The runs a formula's named cells make: down a column first, then along a row among the cells
// left, each of kRegisteredRunLength neighbours or more, counted by cells (a cell named twice
// counts once); the same, whatever the order the cells come in.
TEST(ReferenceTable, TakesRunsOfNamedCellsWhateverTheirOrder) {
  const auto column = [](int64_t x, int64_t from, int64_t count) {
    std::vector<GridPoint> points;
    for (int64_t y = from; y < from + count; ++y) points.push_back({x, y});
    return points;
  };
  const auto row = [](int64_t y, int64_t from, int64_t count) {
    std::vector<GridPoint> points;
    for (int64_t x = from; x < from + count; ++x) points.push_back({x, y});
    return points;
  };
  const auto join = [](std::vector<GridPoint> a, const std::vector<GridPoint>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const int64_t n = kRegisteredRunLength;
  const struct {
    const char* name;
    std::vector<GridPoint> points;
    std::vector<GridRange> runs;
    size_t left;  // cells left to be registered one by one, as often as named
  } cases[] = {
      {"a column", column(1, 0, n), {{{1, 0}, {1, n - 1}}}, 0},
      {"one short", column(1, 0, n - 1), {}, size_t(n - 1)},
      {"a row", row(4, 2, n), {{{2, 4}, {n + 1, 4}}}, 0},
      {"a gap", join(column(1, 0, n - 1), column(1, n, n - 1)), {}, size_t(2 * n - 2)},
      {"named twice", join(column(1, 0, n), column(1, 3, 2)), {{{1, 0}, {1, n - 1}}}, 0},
      {"a repeat does not lengthen a run", join(column(1, 0, n - 1), column(1, 0, 1)), {}, size_t(n)},
      {"a column and a row through it", join(column(0, 0, n), row(0, 1, n)),
       {{{0, 0}, {0, n - 1}}, {{1, 0}, {n, 0}}}, 0},
      {"two columns side by side", join(column(2, 5, n), column(3, 5, n)),
       {{{2, 5}, {2, n + 4}}, {{3, 5}, {3, n + 4}}}, 0},
      {"a run and strays", join(column(1, 10, n + 4), {{1, 0}, {7, 7}, {1, 0}}), {{{1, 10}, {1, n + 13}}}, 3},
      {"off the grid", join(column(1, 0, n - 1), {{1, kGridOpenEnd}, {1, kGridWildcard}}), {}, size_t(n + 1)},
  };
  std::mt19937 random(5);
  for (const auto& c : cases) {
    for (int order = 0; order < 3; ++order) {
      std::vector<GridPoint> points = c.points;
      if (order == 1) std::reverse(points.begin(), points.end());
      if (order == 2) std::shuffle(points.begin(), points.end(), random);
      std::vector<GridRange> runs;
      TakeRunsOfNamedCells(points, runs);
      const auto key = [](const GridRange& r) {
        return std::tie(r.startPoint.x, r.startPoint.y, r.endPoint.x, r.endPoint.y);
      };
      std::sort(runs.begin(), runs.end(), [&](const GridRange& a, const GridRange& b) { return key(a) < key(b); });
      std::vector<GridRange> expected = c.runs;
      std::sort(expected.begin(), expected.end(), [&](const GridRange& a, const GridRange& b) { return key(a) < key(b); });
      EXPECT_TRUE(runs == expected) << c.name << " order " << order;
      EXPECT_EQ(points.size(), c.left) << c.name << " order " << order;
    }
  }
}


// Where a group of eight rows of column A went under the fixed hash the cells' index had: the first
// slot of its run of four, at the index's largest size of 2^14 slots.
uint64_t FixedHomeOfRun(uint64_t run) {
  const uint64_t mixed = run * 0xC2B2AE3D27D4EB4Full;
  return (mixed ^ (mixed >> 29)) * 0x9E3779B97F4A7C15ull >> (64 - 14 + 2);
}

TEST(ReferenceTable, CellsChosenToCrowdAFixedHashCostFewProbes) {
  // Rows whose groups all started at one slot under that hash, at every size up to 2^14 slots: a
  // file naming them made each insertion and look-up walk past all the others.
  std::vector<int64_t> rows;
  for (uint64_t run = 0; rows.size() < 1000; ++run)
    if (FixedHomeOfRun(run) == 0) rows.push_back(int64_t(run) * 32);
  const struct {
    const char* what;
    std::vector<int64_t> rows;
  } cases[] = {
      {"rows chosen against the fixed hash", rows},
      {"rows one after another", [] {
         std::vector<int64_t> plain(8000);
         for (size_t i = 0; i < plain.size(); ++i) plain[i] = int64_t(i);
         return plain;
       }()},
  };
  for (const auto& c : cases) {
    CAReferenceTable table;
    const uint64_t before = CAReferenceTable::indexProbes();
    for (size_t i = 0; i < c.rows.size(); ++i) table.addReference(GridPoint{5, int64_t(i)}, GridPoint{0, c.rows[i]});
    for (size_t i = 0; i < c.rows.size(); ++i)
      ASSERT_EQ(ReferrersOf(table, GridPoint{0, c.rows[i]}), (std::vector<GridPoint>{{5, int64_t(i)}})) << c.what;
    const uint64_t probes = CAReferenceTable::indexProbes() - before;
    // Under the fixed hash the chosen rows took about 10^6 probes (half a run of 1,000 slots per
    // insertion and per look-up); a seeded hash at the index's load keeps to a few per operation.
    EXPECT_LT(probes, 8 * 2 * c.rows.size()) << c.what;
    for (size_t i = 0; i < c.rows.size(); ++i)
      EXPECT_TRUE(table.removeReference(GridPoint{5, int64_t(i)}, GridPoint{0, c.rows[i]})) << c.what;
    EXPECT_TRUE(table.isEmpty()) << c.what;
  }
}

}  // namespace
