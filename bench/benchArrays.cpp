// Speed of the record arrays on the sizes a large sheet or document gives them: sorting and
// inserting 100,000 records.
#include "framlet/foundation/FLArray.h"
#include "framlet/foundation/FLArrayCP.h"
#include "framlet/foundation/FLArrayString.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int64_t kRecords = 100000;

struct GridPoint {
  int64_t x, y;
};

std::vector<int64_t> Keys(int64_t count, int64_t distinct) {
  std::vector<int64_t> keys(static_cast<size_t>(count));
  uint64_t state = 88172645463325252ull;
  for (int64_t& key : keys) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    key = int64_t(state % uint64_t(distinct));
  }
  return keys;
}

// The sheet's sort vector: 8-byte row numbers compared through the rows' keys.
void BM_SortRowNumbers(benchmark::State& state) {
  const std::vector<int64_t> keys = Keys(kRecords, state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto array = FLArray::withEntrySize(sizeof(int64_t), kRecords);
    for (int64_t row = 0; row < kRecords; ++row) array->addEntry(&row);
    state.ResumeTiming();
    array->sortEntriesWithContext(const_cast<int64_t*>(keys.data()), [](const void* a, const void* b, void* context) {
      const auto* rowKeys = static_cast<const int64_t*>(context);
      const int64_t keyA = rowKeys[*static_cast<const int64_t*>(a)];
      const int64_t keyB = rowKeys[*static_cast<const int64_t*>(b)];
      return keyA > keyB ? 1 : keyA < keyB ? -1 : 0;
    });
    benchmark::DoNotOptimize(array->firstEntry());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SortRowNumbers)->Arg(10)->Arg(kRecords)->Unit(benchmark::kMillisecond);

void BM_SortGridPoints(benchmark::State& state) {
  const std::vector<int64_t> keys = Keys(kRecords, kRecords);
  for (auto _ : state) {
    state.PauseTiming();
    auto array = FLArray::withEntrySize(sizeof(GridPoint));
    for (int64_t key : keys) {
      GridPoint point{key % 300, key};
      array->addEntry(&point);
    }
    state.ResumeTiming();
    array->sortEntriesWithContext(nullptr, [](const void* a, const void* b, void*) {
      const auto* p = static_cast<const GridPoint*>(a);
      const auto* q = static_cast<const GridPoint*>(b);
      return (p->y > q->y || (p->y == q->y && p->x > q->x)) ? 1 : -1;
    });
    benchmark::DoNotOptimize(array->firstEntry());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SortGridPoints)->Unit(benchmark::kMillisecond);

void BM_SortStrings(benchmark::State& state) {
  const std::vector<int64_t> keys = Keys(kRecords, kRecords);
  for (auto _ : state) {
    state.PauseTiming();
    auto array = FLArrayString::withEntrySize(4);
    for (int64_t key : keys) {
      uint32_t value = uint32_t(key);
      array->addEntry(&value, QStringLiteral("Style %1").arg(key));
    }
    state.ResumeTiming();
    array->sortStringEntriesWithContext(nullptr, nullptr);
    benchmark::DoNotOptimize(array->firstEntry());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SortStrings)->Unit(benchmark::kMillisecond);

// Appending, from an array made empty, so every growth step of the rule is taken.
void BM_AddEntries(benchmark::State& state) {
  for (auto _ : state) {
    auto array = FLArray::withEntrySize(sizeof(GridPoint));
    for (int64_t i = 0; i < kRecords; ++i) {
      GridPoint point{i, i};
      array->addEntry(&point);
    }
    benchmark::DoNotOptimize(array->lastEntry());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_AddEntries)->Unit(benchmark::kMillisecond);

// A piece table growing at its end, as typing does: insert before the end record, then look up.
void BM_InsertCpRuns(benchmark::State& state) {
  for (auto _ : state) {
    auto array = FLArrayCP::withEntrySize(8, 50, 0, FLArrayCP::kOptionMoveAtEditCp);
    for (int64_t i = 0; i < kRecords; ++i) {
      const uint32_t cp = array->maxCp();
      array->insertEntry(&i, array->count(), cp);
      array->setMaxCp(cp + 7);
    }
    uint64_t found = 0;
    for (uint32_t cp = 0; cp < 7 * kRecords; cp += 7) found += array->indexOfCp(cp);
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_InsertCpRuns)->Unit(benchmark::kMillisecond);

// Sorted insertion into a style sheet: a binary search and a block move per record.
void BM_InsertSortedStrings(benchmark::State& state) {
  const std::vector<int64_t> keys = Keys(state.range(0), state.range(0));
  for (auto _ : state) {
    auto array = FLArrayString::withEntrySize(4);
    for (int64_t key : keys) {
      uint32_t value = uint32_t(key);
      array->insertEntryWithSortedString(&value, QStringLiteral("Style %1").arg(key));
    }
    benchmark::DoNotOptimize(array->firstEntry());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_InsertSortedStrings)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
