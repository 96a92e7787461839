// Index sets keep merged runs whatever order indexes arrive in.
#include "platform/IndexSet.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>

namespace {

using Ranges = std::vector<IndexSet::Range>;

TEST(IndexSet, RunsMergeWhenTheyTouchOrOverlap) {
  IndexSet set;
  for (uint64_t i : {9u, 1u, 3u, 2u, 10u, 7u}) set.addIndex(i);
  EXPECT_EQ(set.ranges(), (Ranges{{1, 3}, {7, 7}, {9, 10}}));
  set.addIndexesInRange(4, 6);
  EXPECT_EQ(set.ranges(), (Ranges{{1, 7}, {9, 10}}));
  set.addIndexesInRange(0, 20);
  EXPECT_EQ(set.ranges(), (Ranges{{0, 20}}));
  set.addIndexesInRange(5, 4);  // reversed: nothing
  EXPECT_EQ(set.count(), 21u);
}

TEST(IndexSet, RemovingSplitsARun) {
  IndexSet set;
  set.addIndexesInRange(1, 5);
  set.removeIndex(3);
  EXPECT_EQ(set.ranges(), (Ranges{{1, 2}, {4, 5}}));
  set.removeIndex(1);
  set.removeIndex(5);
  set.removeIndex(42);
  EXPECT_EQ(set.ranges(), (Ranges{{2, 2}, {4, 4}}));
  EXPECT_TRUE(set.containsIndex(4));
  EXPECT_FALSE(set.containsIndex(3));
}

TEST(IndexSet, AgreesWithAPlainSetOnAPseudoRandomWalk) {
  IndexSet set;
  std::set<uint64_t> plain;
  uint32_t state = 12345;
  for (int step = 0; step < 4000; ++step) {
    state = state * 1103515245u + 12345u;
    const uint64_t index = (state >> 16) % 200;
    if ((state >> 8) % 3 == 0) {
      set.removeIndex(index);
      plain.erase(index);
    } else {
      set.addIndex(index);
      plain.insert(index);
    }
  }
  EXPECT_EQ(set.count(), plain.size());
  for (uint64_t i = 0; i < 200; ++i) EXPECT_EQ(set.containsIndex(i), plain.count(i) == 1) << i;
  for (size_t r = 1; r < set.ranges().size(); ++r)
    EXPECT_GT(set.ranges()[r].first, set.ranges()[r - 1].last + 1);
}

TEST(IndexSet, LargestIndexes) {
  const uint64_t top = std::numeric_limits<uint64_t>::max();
  IndexSet set;
  set.addIndex(top);
  set.addIndexesInRange(top - 2, top - 1);
  EXPECT_EQ(set.ranges(), (Ranges{{top - 2, top}}));
}

}  // namespace
