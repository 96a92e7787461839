#include "framlet/foundation/flReadingMeter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The heap's count, as the test sets it.
int64_t g_heap = 0;
int g_reads = 0;
int64_t FakeHeap() {
  ++g_reads;
  return g_heap;
}

class ReadingMeterTest : public testing::Test {
 protected:
  ReadingMeterTest() : previous_(FLReadingMeter::SetHeapCountForTests(FakeHeap)) {
    g_heap = 1000000;
    g_reads = 0;
  }
  ~ReadingMeterTest() override { FLReadingMeter::SetHeapCountForTests(previous_); }

 private:
  FLReadingMeter::HeapCount previous_;
};

// The heap is read as the meter begins and then once every so many pieces (or when asked), and
// the meter passes once what it read has grown past the budget: growth between reads is seen
// at the next read, not before; what shrank again still counts as the most it grew.
TEST_F(ReadingMeterTest, TheHeapIsReadEverySoManyPiecesAndHeldAgainstTheBudget) {
  constexpr int64_t kEvery = FLReadingMeter::kPiecesBetweenReads;
  const struct {
    const char* name;
    std::vector<int64_t> growths;  // the heap's growth from the start before each batch of pieces
    int64_t piecesEach;
    bool passed;
    int reads;  // besides the first, at the start
    int64_t grown;
  } cases[] = {
      {"within", {100, 900, 1000}, kEvery, false, 3, 1000},
      {"past at the third read", {100, 900, 1001, 0}, kEvery, true, 4, 1001},
      {"past between reads is seen at the next", {5000}, kEvery - 1, false, 0, 0},
      {"pieces add up to a read", {5000, 5000}, kEvery / 2, true, 1, 5000},
      {"shrunk again", {2000, 0}, kEvery, true, 2, 2000},
      {"a batch larger than the interval reads once", {500}, 3 * kEvery, false, 1, 500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_heap = 1000000;
    g_reads = 0;
    FLReadingMeter meter(1000);
    EXPECT_EQ(g_reads, 1);
    for (const int64_t growth : c.growths) {
      g_heap = 1000000 + growth;
      meter.pieces(c.piecesEach);
    }
    EXPECT_EQ(meter.passed(), c.passed);
    EXPECT_EQ(meter.tooLarge(), c.passed);
    EXPECT_EQ(g_reads, 1 + c.reads);
    EXPECT_EQ(meter.grown(), c.grown);
  }
}

// Steps are held against what the readings allowed; the current meter is the innermost one
// alive, and a checkpoint without one lets everything through.
TEST_F(ReadingMeterTest, StepsAreBoundedAndCheckpointsReachTheCurrentMeter) {
  const struct {
    int64_t most, allowed, taken;
    bool passed;
  } cases[] = {
      {0, 0, int64_t(1) << 40, false},  // no bound
      {100, 0, 100, false},
      {100, 0, 101, true},
      {0, 50, 50, false},
      {0, 50, 51, true},
      {100, 50, 150, false},
  };
  for (const auto& c : cases) {
    FLReadingMeter meter(0, c.most);
    meter.allowSteps(c.allowed);
    meter.steps(c.taken);
    EXPECT_EQ(meter.passed(), c.passed) << c.most << " " << c.allowed << " " << c.taken;
    EXPECT_EQ(meter.tooLong(), c.passed);
    EXPECT_FALSE(meter.tooLarge());
  }

  EXPECT_EQ(FLReadingMeter::current(), nullptr);
  EXPECT_TRUE(FLReadingMeter::Checkpoint(int64_t(1) << 40));
  {
    FLReadingMeter outer(1000);
    EXPECT_EQ(FLReadingMeter::current(), &outer);
    {
      FLReadingMeter inner(10);
      EXPECT_EQ(FLReadingMeter::current(), &inner);
      g_heap += 500;
      EXPECT_FALSE(FLReadingMeter::Checkpoint(FLReadingMeter::kPiecesBetweenReads));
      EXPECT_TRUE(inner.tooLarge());
    }
    EXPECT_EQ(FLReadingMeter::current(), &outer);
    EXPECT_TRUE(FLReadingMeter::Checkpoint(FLReadingMeter::kPiecesBetweenReads));
    EXPECT_EQ(outer.grown(), 500);
  }
  EXPECT_EQ(FLReadingMeter::current(), nullptr);
}

// Without the test's count, the real one: it grows with what is held.
// Before a call that cannot be stopped part-way, the meter answers whether the heap as last read,
// with what was asked for since and the call's own need, stays within the budget; the heap is read
// again once a sixty-fourth of the budget (at least 4 MB) has been asked for since the last read.
TEST_F(ReadingMeterTest, RoomIsAskedBeforeACallThatCannotStop) {
  constexpr int64_t kMB = int64_t(1) << 20;
  const struct {
    const char* name;
    int64_t budget;
    int64_t grown;  // the heap's growth the meter reads
    std::vector<int64_t> asks;
    std::vector<bool> answers;
    int reads;  // besides the first
  } cases[] = {
      {"small calls within a heap that holds", 100 * kMB, 10 * kMB, {kMB, kMB, kMB}, {true, true, true}, 0},
      {"a call past the budget", 100 * kMB, 10 * kMB, {91 * kMB}, {false}, 1},
      {"a heap grown near the budget", 100 * kMB, 98 * kMB, {kMB, 3 * kMB}, {true, false}, 1},
      {"a read every sixty-fourth of the budget", 1024 * kMB, 0, {10 * kMB, 10 * kMB, 10 * kMB}, {true, true, true}, 2},
      {"a read every 4 MB at least", 64 * kMB, 0, {3 * kMB, 3 * kMB, 3 * kMB}, {true, true, true}, 2},
      {"calls that add up past the budget between reads", 1024 * kMB, 1010 * kMB, {5 * kMB, 5 * kMB, 5 * kMB},
       {true, true, false}, 0},
      {"no budget", 0, int64_t(1) << 40, {int64_t(1) << 40}, {true}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_heap = 1000000;
    FLReadingMeter meter(c.budget);
    g_heap += c.grown;
    // The growth is first seen at a read: the first ask that reads it, or the meter's own read.
    if (c.grown > 0 && c.budget > 0) meter.measure();
    g_reads = 0;
    for (size_t k = 0; k < c.asks.size(); ++k) EXPECT_EQ(meter.room(c.asks[k]), c.answers[k]) << k;
    EXPECT_EQ(g_reads, c.reads);
    EXPECT_EQ(meter.passed(), !c.answers.back());
    // A meter passed answers no at once.
    if (meter.passed()) {
      EXPECT_FALSE(meter.room(1));
    }
  }
  // What a call needs free for a moment (a buffer grown by copying) is needed each time, and never
  // added up.
  g_heap = 1000000;
  FLReadingMeter meter(100 * kMB);
  for (int k = 0; k < 10; ++k) EXPECT_TRUE(meter.room(kMB / 4, 90 * kMB)) << k;
  EXPECT_FALSE(meter.room(kMB, 98 * kMB));
}

// A reading refused past its budget leaves what it let go with the allocator, in the process's
// resident size, where the next meter begins: when it ends, it gives it back to the system, so that
// the next reading is measured from the heap as it is, not from the size the refused one left.
TEST(ReadingMeter, AMeterPassedGivesTheHeapItLetGoBack) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "The sanitizer's allocator keeps its own heap, which it counts itself.";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "The sanitizer's allocator keeps its own heap, which it counts itself.";
#endif
#endif
  constexpr int kBlocks = 65536;
  constexpr size_t kBlock = 4000;
  std::vector<char*> kept, letGo;
  for (int k = 0; k < kBlocks; ++k) {
    auto* block = static_cast<char*>(std::malloc(kBlock));
    ASSERT_NE(block, nullptr);
    std::memset(block, 1, kBlock);
    // One block in sixteen stays, so that what is let go lies between blocks in use.
    (k % 16 == 0 ? kept : letGo).push_back(block);
  }
  for (char* block : letGo) std::free(block);
  const int64_t before = HeapBytesInUse();
  {
    FLReadingMeter meter(int64_t(1) << 30, 1);
    meter.steps(2);
    ASSERT_TRUE(meter.passed());
  }
  const int64_t after = HeapBytesInUse();
  for (char* block : kept) std::free(block);
  EXPECT_LT(after, before - (int64_t(128) << 20));
}

TEST(ReadingMeter, TheRealCountSeesWhatIsHeld) {
  FLReadingMeter meter(int64_t(16) << 20);
  std::vector<char> held(size_t(64) << 20, 1);
  EXPECT_FALSE(meter.measure());
  EXPECT_GE(meter.grown(), int64_t(48) << 20);
  EXPECT_EQ(held[12345], 1);
}

}  // namespace

// The budget is what the configured one allows, held to the least room any of the process's
// limits leaves (a quarter of it kept back): its address space, its data, its control group and
// the memory available; a limit already passed leaves a budget that passes at once.
TEST(ReadingMeter, TheBudgetIsHeldToWhatTheProcessMayStillTake) {
  constexpr int64_t MB = int64_t(1) << 20;
  constexpr int64_t kBudget = 1536 * MB;
  const auto figures = [](int64_t asLimit, int64_t asUsed, int64_t dataLimit, int64_t dataUsed, int64_t groupLimit,
                          int64_t groupUsed, int64_t available) {
    FLMemoryFigures f;
    f.addressSpaceLimit = asLimit;
    f.addressSpaceUsed = asUsed;
    f.dataLimit = dataLimit;
    f.dataUsed = dataUsed;
    f.groupLimit = groupLimit;
    f.groupUsed = groupUsed;
    f.available = available;
    return f;
  };
  const struct {
    const char* name;
    FLMemoryFigures figures;
    int64_t budget;
    int64_t expected;
  } cases[] = {
      {"no limit at all", figures(-1, 0, -1, 0, -1, 0, -1), kBudget, kBudget},
      {"plenty of everything", figures(-1, 0, -1, 0, -1, 0, 64000 * MB), kBudget, kBudget},
      {"ulimit -v 400 MB with 240 used", figures(400 * MB, 240 * MB, -1, 0, -1, 0, 8000 * MB), kBudget, 120 * MB},
      {"a data limit", figures(-1, 0, 1000 * MB, 200 * MB, -1, 0, -1), kBudget, 600 * MB},
      {"a control group", figures(-1, 0, -1, 0, 2048 * MB, 1024 * MB, 8000 * MB), kBudget, 768 * MB},
      {"little memory available", figures(-1, 0, -1, 0, -1, 0, 400 * MB), kBudget, 300 * MB},
      {"the least room decides", figures(4000 * MB, 1000 * MB, 900 * MB, 100 * MB, 3000 * MB, 2000 * MB, 2000 * MB),
       kBudget, 600 * MB},
      {"room past the budget leaves it", figures(8000 * MB, 100 * MB, -1, 0, -1, 0, -1), kBudget, kBudget},
      {"a limit already passed", figures(300 * MB, 400 * MB, -1, 0, -1, 0, -1), kBudget, 1},
      {"no room at all", figures(-1, 0, -1, 0, 100 * MB, 100 * MB, -1), kBudget, 1},
      {"no budget stays none", figures(300 * MB, 100 * MB, -1, 0, -1, 0, -1), 0, 0},
      {"a small budget within the room", figures(300 * MB, 100 * MB, -1, 0, -1, 0, -1), 10 * MB, 10 * MB},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BudgetWithinFigures(c.budget, c.figures), c.expected);
  }
}

// A meter made under the process's figures holds its budget to them: a reading that would ask
// for more than the process may take passes the meter before it asks.
FLMemoryFigures g_figures;
FLMemoryFigures TestFigures() { return g_figures; }

TEST(ReadingMeter, AMeterTakesTheBudgetTheProcessAllows) {
  constexpr int64_t MB = int64_t(1) << 20;
  const FLReadingMeter::MemoryFigures previous = FLReadingMeter::SetMemoryFiguresForTests(TestFigures);
  const struct {
    const char* name;
    int64_t limit, used;
    int64_t budget;
  } cases[] = {
      {"under ulimit -v", 400 * MB, 240 * MB, 120 * MB},
      {"unlimited", -1, 0, 1536 * MB},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_figures = FLMemoryFigures{};
    g_figures.addressSpaceLimit = c.limit;
    g_figures.addressSpaceUsed = c.used;
    FLReadingMeter meter(1536 * MB);
    EXPECT_EQ(meter.budget(), c.budget);
    EXPECT_EQ(BudgetWithinLimits(1536 * MB), c.budget);
  }
  FLReadingMeter::SetMemoryFiguresForTests(previous);
  // The process's own figures: a test runs with room for a small budget.
  EXPECT_EQ(BudgetWithinLimits(MB), MB);
  const FLMemoryFigures own = ProcessMemoryFigures();
  EXPECT_GT(own.available, 0);
}
