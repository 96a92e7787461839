#include "framlet/foundation/flRandom.h"
#include "support/LogCapture.h"
#include "support/TestData.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Lines of eight 8-digit hex words, as the reference program prints them.
std::vector<uint32_t> HexWords(const QStringList& lines) {
  std::vector<uint32_t> words;
  for (const QString& line : lines)
    for (qsizetype i = 0; i + 8 <= line.size(); i += 8) words.push_back(line.mid(i, 8).toUInt(nullptr, 16));
  return words;
}

QStringList DataLines(const char* name) {
  QFile file(TestDataPath(QString::fromLatin1(name)));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << name;
  return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TEST(RandomNumber, LimitZeroIsLoggedAndGivesZero) {
  LogCapture capture;
  EXPECT_EQ(RandomNumber(0), 0u);
  ASSERT_FALSE(capture.entries().isEmpty());
  EXPECT_TRUE(capture.entries()[0].startsWith(QStringLiteral("Assert: Random limit is zero -- ")));
}

TEST(RandomNumber, EveryValueBelowTheLimitAppearsAndNoneOutside) {
  std::vector<int> seen(6, 0);
  for (int i = 0; i < 6000; ++i) {
    const uint32_t value = RandomNumber(6);
    ASSERT_LT(value, 6u);
    ++seen[value];
  }
  EXPECT_TRUE(RandomNumberIsSeeded());
  for (int count : seen) EXPECT_GT(count, 0);
}

TEST(RandomNumber, ScalingKeepsTheLargestResultBelowTheLimit) {
  struct { uint32_t result, limit, expected; } cases[] = {
      {0, 6, 0},
      {0xFFFFFFFF, 6, 5},           // the value 6 itself becomes 5
      {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFE},
      {0x7FFFFFFF, 2, 0},           // 2147483647 / 2147483647.5
      {715827882, 6, 0},            // just below 4294967295 / 6 = 715827882.5
  };
  for (const auto& c : cases) EXPECT_EQ(ScaleRandomNumber(c.result, c.limit), c.expected) << c.result << " " << c.limit;
}

// The published output of the reference program: a zero seed, then two rounds.
TEST(IsaacGenerator, ZeroSeedGivesThePublishedOutput) {
  const std::vector<uint32_t> expected = HexWords(DataLines("isaac/randvect-zero-seed.txt"));
  ASSERT_EQ(expected.size(), 512u);
  ASSERT_EQ(expected[0], 0xf650e4c8u);
  IsaacGenerator generator;
  generator.seed(IsaacGenerator::Words{});
  for (int round = 0; round < 2; ++round) {
    generator.generateNumbers();
    for (size_t i = 0; i < IsaacGenerator::kSize; ++i)
      ASSERT_EQ(generator.results()[i], expected[size_t(round) * 256 + i]) << "round " << round << " word " << i;
  }
}

}  // namespace
