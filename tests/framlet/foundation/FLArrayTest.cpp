#include "framlet/foundation/FLArray.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/TestFiles.h"


#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Pair { int32_t key; int32_t id; };

std::unique_ptr<FLArray> PairArray(const std::vector<int32_t>& keys) {
  auto array = FLArray::withEntrySize(sizeof(Pair));
  for (size_t i = 0; i < keys.size(); ++i) {
    Pair pair{keys[i], int32_t(i)};
    array->addEntry(&pair);
  }
  return array;
}

int KeyAfter(const void* a, const void* b, void*) {
  return static_cast<const Pair*>(a)->key > static_cast<const Pair*>(b)->key ? 1 : -1;
}

std::vector<int32_t> Ids(FLArray& array) {
  std::vector<int32_t> ids;
  for (uint64_t i = 0; i < array.count(); ++i) ids.push_back(static_cast<Pair*>(array.entryAtIndex(i))->id);
  return ids;
}

TEST(FLArray, RefusedAllocationCreatesNothing) {
  LogCapture capture;
  EXPECT_EQ(FLArray::withEntrySize(2, uint64_t(1) << 61), nullptr);
  EXPECT_TRUE(capture.contains(QStringLiteral("Allocation failed for")));
  // A size whose byte count does not even fit in memory is refused before asking.
  EXPECT_EQ(FLArray::withEntrySize(16, UINT64_MAX / 4), nullptr);
}

TEST(FLArray, BadIndexesAreLoggedAndClamped) {
  auto array = FLArray::withEntrySize(4);
  {
    LogCapture capture;
    EXPECT_EQ(array->entryAtIndex(0), array->entryAtIndex(0));
    EXPECT_TRUE(capture.entries().isEmpty()) << "index 0 of an empty array is a silent write area";
  }
  int32_t values[] = {7, 8};
  for (int32_t& v : values) array->addEntry(&v);
  LogCapture capture;
  EXPECT_EQ(*static_cast<int32_t*>(array->entryAtIndex(3)), 8);
  int32_t buffer = -1;
  array->getEntry(&buffer, 2);
  EXPECT_EQ(buffer, 0);
  array->replaceEntryAtIndex(2, &buffer);
  array->deleteEntryAtIndex(5);
  EXPECT_FALSE(array->insertEntry(&buffer, 3));
  EXPECT_EQ(capture.assertMessages(), (QStringList{"index >= usedCount", "index >= usedCount", "index >= usedCount",
                                                  "index >= usedCount", "Insert beyond end of array"}));
  EXPECT_EQ(array->count(), 2u);
  EXPECT_EQ(*static_cast<int32_t*>(array->entryAtIndex(1)), 8);
}

TEST(FLArray, InsertDeleteAndReplaceMoveTheRightRecords) {
  auto array = FLArray::withEntrySize(2);
  struct Step {
    char op;  // i insert, d delete, r replace
    int16_t value;
    uint64_t index;
    std::vector<int16_t> after;
  } steps[] = {
      {'i', 1, 0, {1}},          {'i', 3, 1, {1, 3}},    {'i', 2, 1, {1, 2, 3}}, {'i', 0, 0, {0, 1, 2, 3}},
      {'d', 0, 2, {0, 1, 3}},    {'r', 9, 0, {9, 1, 3}}, {'d', 0, 2, {9, 1}},    {'i', 5, 2, {9, 1, 5}},
  };
  for (const Step& step : steps) {
    if (step.op == 'i') {
      EXPECT_TRUE(array->insertEntry(&step.value, step.index));
    } else if (step.op == 'd') {
      array->deleteEntryAtIndex(step.index);
    } else {
      array->replaceEntryAtIndex(step.index, &step.value);
    }
    std::vector<int16_t> contents;
    for (uint64_t i = 0; i < array->count(); ++i) contents.push_back(*static_cast<int16_t*>(array->entryAtIndex(i)));
    EXPECT_EQ(contents, step.after) << step.op << step.value;
  }
  array->deleteAllEntries();
  EXPECT_EQ(array->count(), 0u);
  EXPECT_EQ(array->firstEntry(), nullptr);
  EXPECT_EQ(array->lastEntry(), nullptr);
  EXPECT_EQ(array->allocatedCount(), 10u);
}

TEST(FLArray, InsertingACopyOfItsOwnRecordIntoAFullArrayIsSafe) {
  auto array = FLArray::withEntrySize(8, 3, true);
  for (int64_t i = 0; i < 3; ++i) array->replaceEntryAtIndex(uint64_t(i), &i);
  // The record handed in lives in the block that the insertion replaces and shifts.
  EXPECT_TRUE(array->insertEntry(array->entryAtIndex(1), 0));
  EXPECT_EQ(array->addEntry(array->entryAtIndex(3)), 4u);
  std::vector<int64_t> contents;
  for (uint64_t i = 0; i < array->count(); ++i) contents.push_back(*static_cast<int64_t*>(array->entryAtIndex(i)));
  EXPECT_EQ(contents, (std::vector<int64_t>{1, 0, 1, 2, 2}));
}

TEST(FLArray, CopyEntriesGrowsWhenTheCapacityIsTooSmall) {
  std::vector<int16_t> source(25);
  for (size_t i = 0; i < source.size(); ++i) source[i] = int16_t(i * 3);
  auto array = FLArray::withEntrySize(2);
  EXPECT_TRUE(array->copyEntries(source.data(), source.size()));
  EXPECT_EQ(array->count(), 25u);
  EXPECT_EQ(*static_cast<int16_t*>(array->entryAtIndex(24)), 72);
}

// The order of equal keys after the sort, against an independent transcription of the gap
// sequence (tools/gap_sort_vectors.py). The sheet's Sort relies on this order for equal rows.
TEST(FLArray, SortLeavesEqualKeysInTheOrderOfItsGapSequence) {
  const QStringList lines = QString::fromLatin1(ReadFileBytes(TestDataPath(QStringLiteral("arrays/gap-sort-ties.txt"))))
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size() % 2, 0);
  int cases = 0;
  for (qsizetype i = 0; i < lines.size(); i += 2) {
    QStringList keyWords = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList orderWords = lines[i + 1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_EQ(keyWords.takeFirst(), QStringLiteral("keys"));
    ASSERT_EQ(orderWords.takeFirst(), QStringLiteral("order"));
    std::vector<int32_t> keys, expected;
    for (const QString& word : keyWords) keys.push_back(word.toInt());
    for (const QString& word : orderWords) expected.push_back(word.toInt());
    auto array = PairArray(keys);
    array->sortEntriesWithContext(nullptr, KeyAfter);
    EXPECT_EQ(Ids(*array), expected) << "case " << i / 2 << ", " << keys.size() << " records";
    ++cases;
  }
  EXPECT_EQ(cases, 80);
}

}  // namespace
