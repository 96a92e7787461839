// Character classes and single-unit case mapping, checked unit by unit over the whole BMP against
// tables made from Python's unicodedata (tools/make_character_class_vectors.py).
#include "framlet/foundation/flCharacterClasses.h"

#include "support/TestData.h"

#include <QChar>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

namespace {

QStringList DataLines(const QString& name) {
  QFile file(TestDataPath("characters/" + name));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// The vectors' Unicode version must be the one Qt classifies by; a newer Qt makes new
// characters members of their classes, which the old tables cannot know.
bool SameUnicodeVersion(const QString& header) {
  const QString version = header.section(' ', 1);
  return QChar::currentUnicodeVersion() == QChar::Unicode_14_0 && version.startsWith("14.0");
}

TEST(CharacterClasses, EveryUnitHasThePythonClass) {
  const QStringList lines = DataLines("classes.txt");
  ASSERT_GT(lines.size(), 1);
  if (!SameUnicodeVersion(lines[0])) GTEST_SKIP() << "Unicode versions differ";
  uint32_t next = 0;
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QStringList fields = lines[i].split(' ');
    ASSERT_EQ(fields.size(), 3);
    const uint32_t first = fields[0].toUInt(nullptr, 16), last = fields[1].toUInt(nullptr, 16);
    const uint32_t expected = fields[2].toUInt();
    ASSERT_EQ(first, next);
    for (uint32_t u = first; u <= last; ++u) ASSERT_EQ(TypeOfChar(char16_t(u)), expected) << std::hex << "U+" << u;
    next = last + 1;
  }
  EXPECT_EQ(next, 0x10000u);
}

TEST(CharacterClasses, EveryUnitHasThePythonCase) {
  const QStringList lines = DataLines("cases.txt");
  ASSERT_GT(lines.size(), 1);
  if (!SameUnicodeVersion(lines[0])) GTEST_SKIP() << "Unicode versions differ";
  std::vector<char16_t> upper(0x10000), lower(0x10000);
  for (uint32_t u = 0; u < 0x10000; ++u) upper[u] = lower[u] = char16_t(u);
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QStringList fields = lines[i].split(' ');
    ASSERT_EQ(fields.size(), 3);
    const uint32_t u = fields[0].toUInt(nullptr, 16);
    upper[u] = char16_t(fields[1].toUInt(nullptr, 16));
    lower[u] = char16_t(fields[2].toUInt(nullptr, 16));
  }
  for (uint32_t u = 0; u < 0x10000; ++u) {
    ASSERT_EQ(UpperCaseChar(char16_t(u)), upper[u]) << std::hex << "U+" << u;
    ASSERT_EQ(LowerCaseChar(char16_t(u)), lower[u]) << std::hex << "U+" << u;
  }
}

TEST(CharacterClasses, ExactlyTheThirtyEightCurrencySigns) {
  int count = 0;
  for (uint32_t u = 0; u < 0x10000; ++u) count += CharIsCurrency(char16_t(u)) ? 1 : 0;
  EXPECT_EQ(count, 38);
  EXPECT_TRUE(CharIsCurrency(0x20AC));
  EXPECT_TRUE(CharIsCurrency(u'$'));
  EXPECT_TRUE(CharIsCurrency(0xFDFC));
  EXPECT_FALSE(CharIsCurrency(u'%'));
  EXPECT_FALSE(CharIsCurrency(0x20BF));  // a newer sign that the list leaves out
}

}  // namespace
