#include "framlet/foundation/FLArrayCP.h"
#include "support/LogCapture.h"


#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr uint64_t kAllOnes = ~uint64_t(0);

// A cp array with a uint32 of data per record, the data being 100 + the record's position.
std::unique_ptr<FLArrayCP> Runs(const std::vector<uint32_t>& cps, uint32_t maxCp, uint64_t options) {
  auto array = FLArrayCP::withEntrySize(4, 0, maxCp, options);
  for (uint32_t cp : cps) {
    uint32_t data = 100 + uint32_t(array->count());
    EXPECT_TRUE(array->insertEntry(&data, array->count(), cp));
  }
  return array;
}

std::vector<uint32_t> Cps(const FLArrayCP& array) {
  std::vector<uint32_t> cps;
  for (uint64_t i = 0; i <= array.count(); ++i) cps.push_back(array.cpAtIndex(i));
  return cps;
}

TEST(FLArrayCP, ACpBeforeTheFirstRecordGivesNoValidIndex) {
  LogCapture capture;
  auto plain = Runs({10, 20}, 30, 0);
  EXPECT_EQ(plain->indexOfCp(5), kAllOnes);
  EXPECT_EQ(capture.assertMessages(), QStringList{"cp before start of array"});
  // With shared cps the search must not step back through the invalid index.
  auto shared = Runs({10, 10, 20}, 30, 1);
  EXPECT_EQ(shared->indexOfCp(5), kAllOnes);
  uint32_t actual = 0;
  shared->indexOfCp(5, &actual);
  EXPECT_EQ(actual, 0xFFFFFFFFu);
}

// Against a linear scan: the first record whose cp is the greatest at or before cp.
TEST(FLArrayCP, SearchAgreesWithALinearScan) {
  uint32_t state = 99;
  for (int round = 0; round < 50; ++round) {
    std::vector<uint32_t> cps;
    uint32_t cp = 0;
    const int n = round % 17;
    for (int i = 0; i < n; ++i) {
      state = state * 1103515245u + 12345u;
      cp += (state >> 16) % 3;
      cps.push_back(cp);
    }
    const uint32_t maxCp = cp + 2;
    auto array = Runs(cps, maxCp, 1);
    std::vector<uint32_t> all = cps;
    all.push_back(maxCp);
    for (uint32_t probe = 0; probe <= maxCp; ++probe) {
      uint64_t expected = kAllOnes;
      for (uint64_t i = 0; i < all.size(); ++i)
        if (all[i] <= probe && (i == 0 || all[i] != all[i - 1])) expected = i;
      EXPECT_EQ(array->indexOfCp(probe), n ? expected : 0u) << "round " << round << " cp " << probe;
      uint64_t after = 0;
      while (after < all.size() && all[after] < probe) ++after;
      EXPECT_EQ(array->indexOfCpAfter(probe), after) << "round " << round << " cp " << probe;
    }
  }
}

TEST(FLArrayCP, SafeAndAfterLookupsAtTheEdges) {
  auto array = Runs({4, 10, 20}, 30, 0);
  LogCapture capture;
  struct { uint32_t cp; uint64_t safe, after; uint32_t afterCp; } cases[] = {
      {0, FLNotFound, 0, 4},      {4, 0, 0, 4},           {5, 0, 1, 10},
      {10, 1, 1, 10},             {25, 2, 3, 0xFFFFFFFF}, {30, FLNotFound, 3, 0xFFFFFFFF},
      {31, FLNotFound, FLNotFound, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(array->indexOfCpSafe(c.cp), c.safe) << c.cp;
    EXPECT_EQ(array->indexOfCpAfter(c.cp), c.after) << c.cp;
    uint64_t index = 12345;
    EXPECT_EQ(array->cpAfterCp(c.cp, &index), c.afterCp) << c.cp;
    EXPECT_EQ(index, c.afterCp == 0xFFFFFFFF ? FLNotFound : c.after) << c.cp;
  }
  EXPECT_TRUE(capture.entries().isEmpty());
  auto empty = Runs({}, 30, 0);
  EXPECT_EQ(empty->indexOfCpAfter(40), 0u);
  EXPECT_EQ(empty->cpAfterCp(5, nullptr), 0xFFFFFFFFu);
}

TEST(FLArrayCP, AdjustMovesTheRecordAtTheEditCpOnlyWithOptionTwo) {
  struct { uint64_t options; uint32_t cp; int32_t delta; uint64_t start; std::vector<uint32_t> after; } cases[] = {
      {0, 10, 3, FLNotFound, {0, 10, 14, 23}}, {2, 10, 3, FLNotFound, {0, 13, 14, 23}},
      {0, 25, 5, FLNotFound, {0, 10, 11, 20}},    // past maxCp: nothing moves
      {0, 0, 4, 1, {0, 14, 15, 24}},              // from a given index
      {0, 10, 4, 0, {0, 10, 15, 24}},             // a given index still stops below the threshold
  };
  for (const auto& c : cases) {
    auto array = Runs({0, 10, 11}, 20, c.options);
    array->adjustCpsAfter(c.cp, c.delta, c.start);
    EXPECT_EQ(Cps(*array), c.after) << c.options << " " << c.cp << " " << c.delta;
  }
}

TEST(FLArrayCP, InsertionKeepsDataAndCpAndGuardsTheEnd) {
  auto array = Runs({0, 20}, 30, 0);
  uint32_t data = 7;
  LogCapture capture;
  EXPECT_TRUE(array->insertEntry(&data, 1, 10));
  EXPECT_FALSE(array->insertEntry(&data, 4, 40));
  EXPECT_EQ(Cps(*array), (std::vector<uint32_t>{0, 10, 20, 30}));
  uint32_t out = 0;
  EXPECT_EQ(array->cpGetEntry(&out, 1), 10u);
  EXPECT_EQ(out, 7u);
  EXPECT_EQ(capture.assertMessages(), QStringList{"Insert after end of array"});

  auto keys = FLArrayCP::withEntrySize(0, 1, 16, 2);
  capture.clear();
  EXPECT_TRUE(keys->insertEntry(&data, 0, 3));
  EXPECT_EQ(capture.assertMessages(), QStringList{"Data supplied to array that has no data"});
  EXPECT_EQ(Cps(*keys), (std::vector<uint32_t>{3, 16}));
}

TEST(FLArrayCP, DeletionKeepsTheEndRecord) {
  auto array = Runs({0, 10, 20}, 30, 0);
  array->deleteEntryAtIndex(1);
  uint32_t data = 0;
  array->getEntry(&data, 1);
  EXPECT_EQ(data, 102u);
  array->deleteAllEntries();
  EXPECT_EQ(Cps(*array), (std::vector<uint32_t>{30}));
  EXPECT_EQ(*static_cast<uint32_t*>(array->entryAtIndex(0)), 0u) << "end record's data is zeroed";
}

}  // namespace
