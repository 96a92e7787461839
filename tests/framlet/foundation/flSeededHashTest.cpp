// The seeded hash of the tables that input fills: keys a file may choose spread over a table's
// buckets, and keys found to collide under one process's key do not collide under another's.
#define TAMSEL_DEFINE_ALLOCATION_FAILURES
#include "support/AllocationFailures.h"

#include "framlet/foundation/flSeededHash.h"

#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// The most keys that share one bucket of an unordered set of them under the seeded hash.
template <typename Key>
size_t LargestBucket(const std::vector<Key>& keys) {
  std::unordered_set<Key, FLSeededHash> set;
  set.reserve(keys.size());
  for (const Key& key : keys) set.insert(key);
  size_t largest = 0;
  for (size_t b = 0; b < set.bucket_count(); ++b) largest = std::max(largest, set.bucket_size(b));
  return largest;
}

TEST(SeededHash, KeysAFileMayChooseSpreadOverTheBuckets) {
  const size_t n = 4096;
  // The bucket count a set of n keys takes: identity hashing puts all multiples of it in one.
  std::unordered_set<uint64_t> probe;
  probe.reserve(n);
  const uint64_t buckets = probe.bucket_count();
  std::vector<uint64_t> multiples, highBits;
  std::vector<int64_t> negatives;
  std::vector<QString> texts;
  std::vector<QUrl> urls;
  for (uint64_t k = 0; k < n; ++k) {
    multiples.push_back(k * buckets);
    highBits.push_back(k << 40);
    negatives.push_back(~int64_t(k * buckets));
    texts.push_back(QString(int(k % 64) + 1, QLatin1Char('a')) + QString::number(k / 64));
    urls.push_back(QUrl(QStringLiteral("file:///pictures/%1.png").arg(k)));
  }
  // A fair hash of 4,096 keys into about as many buckets fills none with more than a dozen.
  EXPECT_LE(LargestBucket(multiples), 12u);
  EXPECT_LE(LargestBucket(highBits), 12u);
  EXPECT_LE(LargestBucket(negatives), 12u);
  EXPECT_LE(LargestBucket(texts), 12u);
  EXPECT_LE(LargestBucket(urls), 12u);
}

TEST(SeededHash, CollisionsFoundUnderOneKeyAreNoneUnderAnother) {
  // Two keys as the system's random source might draw them.
  const FLHashKeys one{0x8F3A61C2D90B47E5ull, 0x2C7D15B9E0A3F468ull, 0xB4E1097A5C3D82F6ull, 0x6A0F3E8C1B5D7924ull};
  const FLHashKeys other{0x1D94C7A3E5B2086Full, 0xF2683B0D4A9C1E57ull, 0x57C0A9E3186DB24Full, 0xC93E5F1A07B6842Dull};
  const struct {
    const char* what;
    uint64_t step;  // the candidates: 0, step, 2 step, ...
  } cases[] = {{"consecutive words", 1}, {"rows of a grid", 1ull << 32}, {"multiples of a large power of 2", 1ull << 20}};
  for (const auto& c : cases) {
    // 256 pairs that all land in slot 0 of a table of 4,096 under the one key, as an attacker who
    // knew it would choose them.
    std::vector<uint64_t> chosen;
    for (uint64_t v = 0; chosen.size() < 256; v += c.step)
      if ((SeededHashPair(v, 7, one) >> 52) == 0) chosen.push_back(v);
    std::unordered_map<uint64_t, int> inSlot;
    int largest = 0;
    for (const uint64_t v : chosen) largest = std::max(largest, ++inSlot[SeededHashPair(v, 7, other) >> 52]);
    EXPECT_LE(largest, 4) << c.what;
  }
}

TEST(SeededHash, OneProcessKeepsOneKey) {
  EXPECT_EQ(&ProcessHashKeys(), &ProcessHashKeys());
  EXPECT_EQ(SeededHashWord(12345), SeededHashWord(12345));
  EXPECT_EQ(FLSeededHash()(QStringLiteral("name")), FLSeededHash()(QString(QStringLiteral("name"))));
  EXPECT_EQ(FLSeededHash()(QUrl(QStringLiteral("file:///a/b.png"))), FLSeededHash()(QUrl(QStringLiteral("file:///a/b.png"))));
  // The key is drawn, not fixed: none of its words is 0 (a zero word is redrawn).
  for (const uint64_t word : ProcessHashKeys()) EXPECT_NE(word, 0u);
}

// The document's keyed tables grow by the standard library's rules: an insertion that cannot get
// memory is told by an exception the command's guard catches, and the table keeps what it held
// (Qt 6.4's own tables end the program there). Each insertion of a growing table is made to fail
// in turn, for each kind of key the document uses.
TEST(KeyedTable, AnInsertionThatCannotGetMemoryLeavesTheTableAsItWas) {
  constexpr int kEntries = 300;
  for (int64_t point = 1;; ++point) {
    FLKeyedTable<QString, QString> names;
    FLKeyedTable<QByteArray, QString> files;
    int made = 0;
    FailAllocations(point);
    try {
      for (; made < kEntries; ++made) {
        const QString key = QStringLiteral("guid-%1").arg(made);
        names.insert(key, QStringLiteral("file %1").arg(made));
        files.insert(key.toUtf8(), key);
      }
    } catch (const std::bad_alloc&) {
    }
    const AllocationCounts counts = AllowAllocations();
    ASSERT_LE(names.size(), made + 1);
    for (int k = 0; k < made; ++k) {
      const QString key = QStringLiteral("guid-%1").arg(k);
      ASSERT_EQ(names.value(key), QStringLiteral("file %1").arg(k)) << point;
      ASSERT_EQ(files.value(key.toUtf8()), key) << point;
    }
    if (counts.failures == 0) {
      EXPECT_EQ(names.size(), kEntries);
      EXPECT_EQ(names.keys().size(), kEntries);
      EXPECT_EQ(names.take(QStringLiteral("guid-7")), QStringLiteral("file 7"));
      EXPECT_FALSE(names.contains(QStringLiteral("guid-7")));
      EXPECT_TRUE(names.value(QStringLiteral("guid-7")).isEmpty());
      int walked = 0;
      for (const QString& value : names) walked += value.startsWith(QLatin1String("file ")) ? 1 : 0;
      EXPECT_EQ(walked, kEntries - 1);
      break;
    }
    // A stride past the first points keeps the walk short under the sanitizers.
    if (point > 200) point += 37;
  }
}

}  // namespace
