#include "platform/Des.h"

#include "support/TestData.h"

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

uint64_t Hex(const QString& text) {
  bool ok = false;
  const uint64_t value = text.toULongLong(&ok, 16);
  EXPECT_TRUE(ok) << text.toStdString();
  return value;
}

Des KeyFromHex(const QString& text) {
  uint8_t key[8];
  Des::BytesFromBlock(Hex(text), key);
  return Des(key);
}

TEST(Des, MatchesThePublishedExamples) {
  // The worked example of the standard's textbooks and FIPS 81's electronic code book example.
  const struct { const char* key; const char* plain; const char* cipher; } cases[] = {
      {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
      {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},  // "Now is t"
      {"0123456789ABCDEF", "68652074696D6520", "6A271787AB8883F9"},  // "he time "
      {"0123456789ABCDEF", "666F7220616C6C20", "893D51EC4B563B53"},  // "for all "
      {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
  };
  for (const auto& c : cases) {
    const Des des = KeyFromHex(QLatin1String(c.key));
    EXPECT_EQ(des.encrypt(Hex(QLatin1String(c.plain))), Hex(QLatin1String(c.cipher))) << c.key << " " << c.plain;
    EXPECT_EQ(des.decrypt(Hex(QLatin1String(c.cipher))), Hex(QLatin1String(c.plain))) << c.key << " " << c.cipher;
  }
}

TEST(Des, MatchesTheKnownAnswerTablesAndAnIndependentImplementation) {
  QFile file(TestDataPath(QStringLiteral("des/vectors.txt")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  int count = 0;
  while (!file.atEnd()) {
    const QString line = QString::fromLatin1(file.readLine()).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const QStringList fields = line.split(QLatin1Char(' '));
    ASSERT_EQ(fields.size(), 3) << line.toStdString();
    const Des des = KeyFromHex(fields[0]);
    ASSERT_EQ(des.encrypt(Hex(fields[1])), Hex(fields[2])) << line.toStdString();
    ASSERT_EQ(des.decrypt(Hex(fields[2])), Hex(fields[1])) << line.toStdString();
    ++count;
  }
  EXPECT_EQ(count, 64 + 56 + 100);
}

}  // namespace
