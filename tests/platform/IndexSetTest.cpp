// Index sets keep merged runs whatever order indexes arrive in.
#include "platform/IndexSet.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>

namespace {

using Ranges = std::vector<IndexSet::Range>;

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
  for (size_t r = 1; r < set.ranges().size(); ++r) EXPECT_GT(set.ranges()[r].first, set.ranges()[r - 1].last + 1);
}

}  // namespace
