#include "framlet/foundation/FLArrayCP.h"
#include "support/LogCapture.h"

#include <QRegularExpression>

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

TEST(FLArrayCP, ANewArrayHoldsOnlyItsEndRecord) {
  auto array = FLArrayCP::withEntrySize(4, 0, 100, 0);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->count(), 0u);
  EXPECT_EQ(array->entryLength(), 4u);
  EXPECT_EQ(array->maxCp(), 100u);
  EXPECT_EQ(array->cpAtIndex(0), 100u);
  EXPECT_EQ(array->cpAtIndex(1), 0xFFFFFFFFu);
  EXPECT_EQ(array->indexOfCp(50), 0u);
  EXPECT_EQ(array->allocatedCount(), 10u);
  EXPECT_EQ(FLArrayCP::withEntrySize(0, 50, 16, 2)->allocatedCount(), 51u);
  LogCapture capture;
  EXPECT_EQ(FLArrayCP::withEntrySize(3, 0, 100, 0), nullptr);
  EXPECT_EQ(capture.assertMessages(), QStringList{"Bad length"});
}

TEST(FLArrayCP, IndexOfCpFindsTheCoveringRecord) {
  auto array = Runs({0, 10, 20}, 30, 0);
  struct {
    uint32_t cp;
    uint64_t index;
    const char* messages;
  } cases[] = {
      {0, 0, ""}, {9, 0, ""}, {10, 1, ""}, {15, 1, ""}, {20, 2, ""}, {29, 2, ""}, {30, 3, ""},
      {31, 2, "cp after end of array|cp above end of CPs"},
  };
  for (const auto& c : cases) {
    LogCapture capture;
    uint32_t actual = 0;
    EXPECT_EQ(array->indexOfCp(c.cp, &actual), c.index) << c.cp;
    EXPECT_EQ(actual, array->cpAtIndex(c.index));
    EXPECT_EQ(capture.assertMessages().join(QLatin1Char('|')), QString::fromLatin1(c.messages)) << c.cp;
  }
}

TEST(FLArrayCP, SharedCpsAnswerTheFirstOfThemOnlyWithOptionOne) {
  struct {
    uint64_t options;
    uint32_t cp;
    uint64_t index;
  } cases[] = {
      {1, 5, 1}, {1, 7, 1}, {0, 5, 3}, {0, 7, 3}, {1, 9, 4}, {1, 0, 0}, {1, 20, 5}, {0, 20, 5},
  };
  for (const auto& c : cases) {
    auto array = Runs({0, 5, 5, 5, 9}, 20, c.options);
    EXPECT_EQ(array->indexOfCp(c.cp), c.index) << c.options << " " << c.cp;
  }
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
  struct {
    uint32_t cp;
    uint64_t safe, after;
    uint32_t afterCp;
  } cases[] = {
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
  struct {
    uint64_t options;
    uint32_t cp;
    int32_t delta;
    uint64_t start;
    std::vector<uint32_t> after;
  } cases[] = {
      {0, 10, 3, FLNotFound, {0, 10, 14, 23}},
      {2, 10, 3, FLNotFound, {0, 13, 14, 23}},
      {0, 10, 0, FLNotFound, {0, 10, 11, 20}},
      {0, 10, -1, FLNotFound, {0, 10, 10, 19}},
      {0, 25, 5, FLNotFound, {0, 10, 11, 20}},    // past maxCp: nothing moves
      {0, 19, 5, FLNotFound, {0, 10, 11, 25}},    // only the end record
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
  EXPECT_EQ(array->cpGetEntry(&out, 3), 0u);
  EXPECT_EQ(out, 0u);
  EXPECT_EQ(capture.assertMessages(), (QStringList{"Insert after end of array", "index >= usedCount"}));

  auto keys = FLArrayCP::withEntrySize(0, 1, 16, 2);
  capture.clear();
  EXPECT_TRUE(keys->insertEntry(&data, 0, 3));
  EXPECT_EQ(capture.assertMessages(), QStringList{"Data supplied to array that has no data"});
  EXPECT_EQ(Cps(*keys), (std::vector<uint32_t>{3, 16}));
}

TEST(FLArrayCP, InsertEntriesGrowsByItsOwnRule) {
  struct {
    uint64_t initial, opened, capacity;
  } cases[] = {
      {9, 5, 10},      // 1 + 5 records fit in 10
      {9, 10, 20},     // 10 + max(10, 1, 2)
      {9, 25, 26},     // 10 + max(10, 16, 2)
      {99, 105, 125},  // 100 + max(10, 6, 25)
      {99, 200, 201},  // 100 + max(10, 101, 25)
  };
  for (const auto& c : cases) {
    auto array = FLArrayCP::withEntrySize(4, c.initial, 1000, 0);
    EXPECT_TRUE(array->insertEntries(c.opened, 0));
    EXPECT_EQ(array->allocatedCount(), c.capacity) << c.initial << " " << c.opened;
    EXPECT_EQ(array->count(), c.opened);
    EXPECT_EQ(array->maxCp(), 1000u);
  }
  auto array = Runs({0, 10}, 20, 0);
  EXPECT_TRUE(array->insertEntries(0, 2));
  EXPECT_TRUE(array->insertEntries(2, 1));
  array->replaceCp(4, 1);
  array->replaceCp(6, 2);
  EXPECT_EQ(Cps(*array), (std::vector<uint32_t>{0, 4, 6, 10, 20}));
  LogCapture capture;
  EXPECT_FALSE(array->insertEntries(1, 5));
  array->replaceCp(40, 5);
  array->replaceCp(25, 4);
  EXPECT_EQ(array->maxCp(), 25u);
  EXPECT_EQ(capture.assertMessages(), (QStringList{"Expand after end of array", "Replace beyond limit"}));
}

TEST(FLArrayCP, DeletionKeepsTheEndRecord) {
  {
    auto array = Runs({0, 10, 20}, 30, 0);
    LogCapture capture;
    array->deleteEntries(5, 1);
    EXPECT_EQ(Cps(*array), (std::vector<uint32_t>{0, 30}));
    array->deleteEntries(1, 4);
    array->deleteEntryAtIndex(1);
    EXPECT_EQ(Cps(*array), (std::vector<uint32_t>{0, 30}));
    EXPECT_EQ(capture.assertMessages(),
              (QStringList{"Delete after end of array", "Delete after end of array", "index >= usedCount"}));
  }
  {
    auto array = Runs({0, 10, 20}, 30, 0);
    array->deleteEntryAtIndex(1);
    uint32_t data = 0;
    array->getEntry(&data, 1);
    EXPECT_EQ(data, 102u);
    array->deleteAllEntries();
    EXPECT_EQ(Cps(*array), (std::vector<uint32_t>{30}));
    EXPECT_EQ(*static_cast<uint32_t*>(array->entryAtIndex(0)), 0u) << "end record's data is zeroed";
  }
}

TEST(FLArrayCP, SetCountOnlyShrinks) {
  auto array = Runs({0, 10, 20}, 30, 0);
  LogCapture capture;
  array->setCount(4);
  EXPECT_EQ(capture.assertMessages(), QStringList{"Invalid new count"});
  array->setCount(2);
  EXPECT_EQ(Cps(*array), (std::vector<uint32_t>{0, 10, 30}));
  array->setCount(0, 0);
  EXPECT_EQ(array->count(), 0u);
  EXPECT_EQ(array->maxCp(), 0u);
}

TEST(FLArrayCP, CopyIsIndependentAndKeepsTheOptions) {
  auto array = Runs({0, 5, 5}, 9, 1);
  auto copy = array->copy();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->options(), 1u);
  EXPECT_EQ(copy->allocatedCount(), array->allocatedCount());
  array->adjustCpsAfter(0, 10, FLNotFound);
  EXPECT_EQ(Cps(*copy), (std::vector<uint32_t>{0, 5, 5, 9}));
  EXPECT_EQ(copy->indexOfCp(6), 1u);
  // Through the base class a copy is still a cp array.
  std::unique_ptr<FLArray> base = static_cast<const FLArray&>(*copy).copy();
  EXPECT_NE(dynamic_cast<FLArrayCP*>(base.get()), nullptr);
}

TEST(FLArrayCP, EnumerationSkipsTheEndRecord) {
  auto array = Runs({0, 10, 20}, 30, 0);
  std::vector<uint32_t> seen;
  array->enumerateEntriesAndCPsUsingBlock([&](uint32_t cp, void* data, uint64_t index, bool& stop) {
    seen.push_back(cp);
    EXPECT_EQ(*static_cast<uint32_t*>(data), 100 + index);
    stop = index == 1;
  });
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 10}));
  auto keys = FLArrayCP::withEntrySize(0, 1, 16, 0);
  keys->insertEntry(nullptr, 0, 1);
  keys->enumerateEntriesAndCPsUsingBlock([](uint32_t, void* data, uint64_t, bool&) { EXPECT_EQ(data, nullptr); });
}

TEST(FLArrayCP, BaseOperationsThatWouldBreakTheOrderAreRefused) {
  auto array = Runs({0, 10}, 20, 0);
  FLArray& base = *array;
  uint32_t data = 1;
  LogCapture capture;
  EXPECT_EQ(base.addEntry(&data), FLNotFound);
  EXPECT_FALSE(base.insertEntry(&data, 0));
  bool called = false;
  base.enumerateEntriesUsingBlock([&](void*, uint64_t, bool&) { called = true; });
  base.sortEntriesWithContext(nullptr, [](const void*, const void*, void*) { return 1; });
  EXPECT_FALSE(called);
  EXPECT_EQ(Cps(*array), (std::vector<uint32_t>{0, 10, 20}));
  EXPECT_EQ(capture.assertMessages(),
            (QStringList{"Illegal for CP arrays", "Illegal for CP arrays", "Use enumerateEntriesAndCPsUsingBlock instead",
                         "Don't do this on CP arrays"}));
}

}  // namespace
