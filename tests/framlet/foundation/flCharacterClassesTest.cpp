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
    const uint32_t first = fields[0].toUInt(nullptr, 16);
    const uint32_t last = fields[1].toUInt(nullptr, 16);
    const uint32_t expected = fields[2].toUInt();
    ASSERT_EQ(first, next);
    for (uint32_t u = first; u <= last; ++u)
      ASSERT_EQ(TypeOfChar(char16_t(u)), expected) << std::hex << "U+" << u;
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

TEST(CharacterClasses, CommonCharactersTakeTheirClasses) {
  const struct {
    char16_t c;
    uint32_t type;
  } cases[] = {
      {u'A', kCharClassUpper},        {u'a', kCharClassLower},
      {u'7', kCharClassDigit},        {u' ', kCharClassSpace},
      {u'\t', kCharClassSpace},       {u'\n', kCharClassSpace},
      {0x00A0, kCharClassSpace},      {0x2028, kCharClassSpace},
      {u',', kCharClassPunctuation},  {u'$', kCharClassPunctuation},
      {0x20AC, kCharClassPunctuation}, {0x0007, kCharClassControl},
      {0x00AD, kCharClassControl},    {0x01C5, kCharClassUpper},
      {0x4E00, kCharClassOther},      {0xD800, kCharClassOther},
  };
  for (const auto& c : cases) EXPECT_EQ(TypeOfChar(c.c), c.type) << std::hex << int(c.c);
}

TEST(CharacterClasses, SingleUnitCaseKeepsWhatWouldGrow) {
  const struct {
    char16_t c, upper, lower;
  } cases[] = {
      {0x00DF, 0x00DF, 0x00DF},  // sharp s: upper case is two letters
      {0x00E9, 0x00C9, 0x00E9},  {0x00C9, 0x00C9, 0x00E9},
      {0x00F7, 0x00F7, 0x00F7},  {0x00D7, 0x00D7, 0x00D7},
      {0x00FF, 0x0178, 0x00FF},  {0x0178, 0x0178, 0x00FF},
      {u'A', u'A', u'a'},        {0x0130, 0x0130, 0x0130},  // dotted I lowers to two units
      {0x0149, 0x0149, 0x0149},  // n preceded by apostrophe uppers to two units
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpperCaseChar(c.c), c.upper) << std::hex << int(c.c);
    EXPECT_EQ(LowerCaseChar(c.c), c.lower) << std::hex << int(c.c);
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

TEST(CharacterClasses, NewlinesAreTheirOwnSet) {
  for (char16_t c : {u'\n', u'\r', u'\v', u'\f', char16_t(0x85), char16_t(0x2028), char16_t(0x2029)})
    EXPECT_TRUE(IsNewline(c)) << int(c);
  for (char16_t c : {u' ', u'\t', char16_t(0xA0)}) EXPECT_FALSE(IsNewline(c)) << int(c);
}

}  // namespace
