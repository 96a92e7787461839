// The reading graph: passes and levels of cells that read each other by name and through
// blocks, checked against the same cells with every block spelled out cell by cell and the
// passes (or levels) worked out literally; and what it holds for running totals.
#include <gtest/gtest.h>

#include "calculator/model/CAReadingGraph.h"

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Mode = CAReadingGraph::Mode;
constexpr uint32_t kNever = CAReadingGraph::kNever;

struct Block {
  uint32_t reader;
  GridRange range;
};

// Cells at distinct points, listed by position (rows top to bottom, each row left to right);
// each reads cells by name and blocks.
struct Sheet {
  std::vector<GridPoint> points;
  std::vector<std::pair<uint32_t, uint32_t>> named;
  std::vector<Block> blocks;
};

bool Inside(const GridPoint& point, const GridRange& range) {
  return point.x >= range.startPoint.x && point.x <= range.endPoint.x && point.y >= range.startPoint.y &&
         point.y <= range.endPoint.y;
}

// What each cell reads, blocks spelled out.
std::vector<std::vector<uint32_t>> Inputs(const Sheet& sheet) {
  std::vector<std::vector<uint32_t>> inputs(sheet.points.size());
  for (const auto& [reader, input] : sheet.named) inputs[reader].push_back(input);
  for (const Block& block : sheet.blocks)
    for (uint32_t cell = 0; cell < sheet.points.size(); ++cell)
      if (Inside(sheet.points[cell], block.range)) inputs[block.reader].push_back(cell);
  return inputs;
}

// The repeated passes done literally, each from the last cell to the first.
std::vector<uint32_t> LiteralPasses(const std::vector<std::vector<uint32_t>>& inputs) {
  std::vector<uint32_t> pass(inputs.size(), kNever);
  for (uint32_t round = 1;; ++round) {
    bool evaluated = false;
    for (size_t i = inputs.size(); i-- > 0;) {
      if (pass[i] != kNever) continue;
      if (std::any_of(inputs[i].begin(), inputs[i].end(), [&](uint32_t j) { return pass[j] == kNever; })) continue;
      pass[i] = round;
      evaluated = true;
    }
    if (!evaluated) return pass;
  }
}

// Levels done literally: a cell is placed once everything else it reads is, one level above
// the highest of them.
std::vector<uint32_t> LiteralLevels(const std::vector<std::vector<uint32_t>>& inputs) {
  std::vector<uint32_t> level(inputs.size(), kNever);
  for (bool placed = true; placed;) {
    placed = false;
    std::vector<uint32_t> next = level;
    for (size_t i = 0; i < inputs.size(); ++i) {
      if (level[i] != kNever) continue;
      uint32_t highest = 0;
      bool ready = true;
      for (const uint32_t j : inputs[i]) {
        if (j == i) continue;
        if (level[j] == kNever) ready = false;
        else highest = std::max(highest, level[j] + 1);
      }
      if (!ready) continue;
      next[i] = highest;
      placed = true;
    }
    level = next;
  }
  return level;
}

CAReadingGraph Graph(const Sheet& sheet, Mode mode) {
  CAReadingGraph graph(mode, uint32_t(sheet.points.size()));
  for (uint32_t cell = 0; cell < sheet.points.size(); ++cell) graph.place(cell, sheet.points[cell]);
  for (const auto& [reader, input] : sheet.named) graph.addInput(reader, input);
  for (const Block& block : sheet.blocks) graph.addBlock(block.reader, sheet.points[block.reader], block.range);
  return graph;
}

std::vector<uint32_t> Resolved(const Sheet& sheet, Mode mode) { return Graph(sheet, mode).resolve(); }

// A column of `count` running totals beside the column they sum, both listed by position:
// row k holds the summed cell (2k) and the total (2k + 1), which reads the summed column down
// to its own row, or, reading itself, its own column.
Sheet RunningTotals(uint32_t count, bool readingItself, int64_t firstRow = 0) {
  Sheet sheet;
  for (uint32_t k = 0; k < count; ++k) {
    const int64_t y = firstRow + k;
    sheet.points.push_back({0, y});
    sheet.points.push_back({1, y});
    const int64_t x = readingItself ? 1 : 0;
    sheet.blocks.push_back(Block{2 * k + 1, GridRange{{x, firstRow}, {x, y}}});
  }
  return sheet;
}

TEST(ReadingGraph, PassesAndLevelsAreThoseOfTheBlocksSpelledOut) {
  struct Case {
    const char* name;
    Sheet sheet;
  };
  const auto column = [](int64_t x, int64_t rows) {
    std::vector<GridPoint> points;
    for (int64_t y = 0; y < rows; ++y) points.push_back({x, y});
    return points;
  };
  const Case cases[] = {
      {"running totals", RunningTotals(20, false)},
      {"running totals reading themselves", RunningTotals(20, true)},
      {"running totals from the third row", RunningTotals(9, false, 2)},
      // Cell k of column A sums the three cells above it.
      {"a moving window",
       {column(0, 12), {}, {{5, {{0, 2}, {0, 4}}}, {9, {{0, 6}, {0, 8}}}, {11, {{0, 8}, {0, 10}}}, {3, {{0, 0}, {0, 2}}}}}},
      // B1 = SUM(A1:A3), A3 = B1: a cycle through a block.
      {"a cycle through a block", {{{0, 0}, {1, 0}, {0, 1}, {0, 2}}, {{3, 1}}, {{1, {{0, 0}, {0, 2}}}}}},
      // A2 sums row 2 (itself included) and row 1; B2 left of nothing, C1 right above.
      {"a block around its reader", {{{2, 0}, {0, 1}, {1, 1}}, {}, {{1, {{0, 0}, {2, 1}}}}}},
      // B2 sums the whole of column A and C1:C2, which lie before and after it.
      {"a whole column and cells either side",
       {{{0, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 5}}, {{1, 0}, {4, 5}}, {{3, {{0, 0}, {0, kGridOpenEnd}}}, {3, {{2, 0}, {2, 1}}}}}},
      {"a block over no cell", {column(0, 3), {{2, 1}}, {{1, {{5, 0}, {6, 9}}}}}},
      {"cells listed after their readers", {column(0, 6), {{0, 5}, {1, 5}}, {{2, {{0, 3}, {0, 5}}}, {3, {{0, 4}, {0, 5}}}}}},
  };
  for (const Case& c : cases) {
    const std::vector<std::vector<uint32_t>> inputs = Inputs(c.sheet);
    EXPECT_EQ(Resolved(c.sheet, Mode::Passes), LiteralPasses(inputs)) << c.name;
    EXPECT_EQ(Resolved(c.sheet, Mode::Levels), LiteralLevels(inputs)) << c.name;
  }

  // Random sheets of up to 30 cells in 5 columns and 8 rows: names and blocks anywhere, some
  // of whole columns or rows, cycles included.
  std::mt19937 random(2024);
  for (int round = 0; round < 600; ++round) {
    Sheet sheet;
    std::set<std::pair<int64_t, int64_t>> taken;  // (y, x): position order
    const uint32_t wanted = 1 + random() % 30;
    while (taken.size() < wanted) taken.insert({int64_t(random() % 8), int64_t(random() % 5)});
    for (const auto& [y, x] : taken) sheet.points.push_back({x, y});
    const uint32_t count = uint32_t(sheet.points.size());
    for (uint32_t reader = 0; reader < count; ++reader) {
      if (random() % 3 == 0) sheet.named.emplace_back(reader, uint32_t(random() % count));
      if (random() % 2 == 0) continue;
      GridPoint a{int64_t(random() % 6), int64_t(random() % 9)};
      GridPoint b{int64_t(random() % 6), int64_t(random() % 9)};
      GridRange range{{std::min(a.x, b.x), std::min(a.y, b.y)}, {std::max(a.x, b.x), std::max(a.y, b.y)}};
      if (random() % 8 == 0) range.endPoint.y = kGridOpenEnd;
      if (random() % 8 == 0) range.endPoint.x = kGridOpenEnd;
      sheet.blocks.push_back(Block{reader, range});
    }
    const std::vector<std::vector<uint32_t>> inputs = Inputs(sheet);
    ASSERT_EQ(Resolved(sheet, Mode::Passes), LiteralPasses(inputs)) << "round " << round;
    ASSERT_EQ(Resolved(sheet, Mode::Levels), LiteralLevels(inputs)) << "round " << round;
  }
}

// The order to judge cells in: the cells of cycles, found literally as the cells that reach
// themselves through others (a cell reading only itself is in none), and every cell after each
// cell it reads, unless the two reach each other.
TEST(ReadingGraph, InputsComeFirstAndCyclesAreFound) {
  std::mt19937 random(4242);
  for (int round = 0; round < 400; ++round) {
    Sheet sheet;
    std::set<std::pair<int64_t, int64_t>> taken;
    const uint32_t wanted = 1 + random() % 24;
    while (taken.size() < wanted) taken.insert({int64_t(random() % 8), int64_t(random() % 4)});
    for (const auto& [y, x] : taken) sheet.points.push_back({x, y});
    const uint32_t count = uint32_t(sheet.points.size());
    for (uint32_t reader = 0; reader < count; ++reader) {
      if (random() % 3 == 0) sheet.named.emplace_back(reader, uint32_t(random() % count));
      if (random() % 3 != 0) continue;
      const int64_t x = random() % 4, top = random() % 8;
      GridRange range{{x, top}, {x + int64_t(random() % 2), top + int64_t(random() % 6)}};
      if (random() % 8 == 0) range.endPoint.y = kGridOpenEnd;
      sheet.blocks.push_back(Block{reader, range});
    }
    const std::vector<std::vector<uint32_t>> inputs = Inputs(sheet);
    // reaches[i][j]: a path of one read or more from i to j, reads of itself left out.
    std::vector<std::vector<bool>> reaches(count, std::vector<bool>(count, false));
    for (uint32_t i = 0; i < count; ++i)
      for (const uint32_t j : inputs[i])
        if (j != i) reaches[i][j] = true;
    for (uint32_t k = 0; k < count; ++k)
      for (uint32_t i = 0; i < count; ++i)
        if (reaches[i][k])
          for (uint32_t j = 0; j < count; ++j)
            if (reaches[k][j]) reaches[i][j] = true;
    std::vector<bool> inCycle;
    const std::vector<uint32_t> order = Graph(sheet, Mode::Levels).inputsFirst(&inCycle);
    ASSERT_EQ(order.size(), count) << "round " << round;
    std::vector<uint32_t> place(count, kNever);
    for (uint32_t k = 0; k < count; ++k) place[order[k]] = k;
    for (uint32_t i = 0; i < count; ++i) {
      ASSERT_NE(place[i], kNever) << "round " << round << " cell " << i;
      ASSERT_EQ(inCycle[i], bool(reaches[i][i])) << "round " << round << " cell " << i;
      for (const uint32_t j : inputs[i])
        if (j != i && !(reaches[i][j] && reaches[j][i])) {
          ASSERT_LT(place[j], place[i]) << "round " << round << ": " << i << " reads " << j;
        }
    }
  }
}

TEST(ReadingGraph, ACellReadsAMarkedCellThroughNamesAndBlocks) {
  std::mt19937 random(77);
  for (int round = 0; round < 300; ++round) {
    Sheet sheet;
    std::set<std::pair<int64_t, int64_t>> taken;
    const uint32_t wanted = 1 + random() % 36;  // of the 36 points
    while (taken.size() < wanted) taken.insert({int64_t(random() % 12), int64_t(random() % 3)});
    for (const auto& [y, x] : taken) sheet.points.push_back({x, y});
    const uint32_t count = uint32_t(sheet.points.size());
    for (uint32_t reader = 0; reader < count; ++reader) {
      if (random() % 4 == 0) sheet.named.emplace_back(reader, uint32_t(random() % count));
      // Blocks from the top of a column (as running totals have them) and from anywhere.
      const int64_t top = random() % 2 == 0 ? 0 : int64_t(random() % 12);
      const int64_t x = random() % 3;
      sheet.blocks.push_back(Block{reader, {{x, top}, {x + int64_t(random() % 2), top + int64_t(random() % 12)}}});
    }
    CAReadingGraph graph = Graph(sheet, Mode::Levels);
    graph.resolve();
    const std::vector<std::vector<uint32_t>> inputs = Inputs(sheet);
    std::vector<bool> marked(count, false);
    // Marks come one at a time; after each, every cell's answer is the literal one.
    for (int step = 0; step < 6; ++step) {
      const uint32_t cell = uint32_t(random() % count);
      graph.mark(cell);
      marked[cell] = true;
      for (uint32_t reader = 0; reader < count; ++reader) {
        const bool reads = std::any_of(inputs[reader].begin(), inputs[reader].end(),
                                       [&](uint32_t j) { return j != reader && marked[j]; });
        ASSERT_EQ(graph.readsMarked(reader), reads) << "round " << round << " step " << step << " cell " << reader;
      }
    }
  }
}

TEST(ReadingGraph, RunningTotalsHoldAFewInputsEach) {
  struct Case {
    const char* name;
    Sheet sheet;
    size_t most;  // inputs per total
  };
  constexpr uint32_t kTotals = 3000;
  const Case cases[] = {
      {"over the column beside", RunningTotals(kTotals, false), 1},
      {"over their own column", RunningTotals(kTotals, true), 2},
      {"from the third row", RunningTotals(kTotals, false, 2), 1},
  };
  for (const Case& c : cases) {
    for (const Mode mode : {Mode::Passes, Mode::Levels}) {
      CAReadingGraph::resetMostInputs();
      const std::vector<uint32_t> values = Resolved(c.sheet, mode);
      EXPECT_LE(CAReadingGraph::mostInputs(), c.most * kTotals) << c.name;
      EXPECT_EQ(values.size(), 2 * kTotals) << c.name;
    }
  }
}

}  // namespace
