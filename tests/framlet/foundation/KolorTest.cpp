#include "framlet/foundation/Kolor.h"

#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QPoint>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct Vector { Kolor kolor; bool isColor; QString text; QString display[3]; };

// tests/data/kolor/vectors.txt, written by tools/make_kolor_vectors.py from the bit layout alone.
std::vector<Vector> Vectors() {
  std::vector<Vector> vectors;
  for (const QByteArray& line : ReadFileBytes(TestDataPath(QStringLiteral("kolor/vectors.txt"))).split('\n')) {
    const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
    if (fields.size() != 6) continue;
    vectors.push_back({fields[0].toUInt(nullptr, 16), fields[1] == QLatin1String("1"), fields[2],
                       {fields[3], fields[4], fields[5]}});
  }
  return vectors;
}

TEST(Kolor, TextFormsAndDisplayTextsMatchTheIndependentVectors) {
  const std::vector<Vector> vectors = Vectors();
  ASSERT_GT(vectors.size(), 300u);
  for (const Vector& v : vectors) {
    const std::string where = QString::number(v.kolor, 16).toStdString();
    EXPECT_EQ(KolorIsColor(v.kolor), v.isColor) << where;
    EXPECT_EQ(NewKolorString(v.kolor), v.text) << where;
    EXPECT_EQ(KolorFromString(v.text), v.kolor) << where;
    for (int style = 1; style <= 3; ++style)
      EXPECT_EQ(ColorDisplayString(v.kolor, style), v.display[style - 1]) << where << " style " << style;
  }
}

TEST(Kolor, TheTextFormRoundTripsEveryThirtyTwoBitValue) {
  for (uint64_t k = 0; k <= 0xFFFFFFFFull; k += 262147) EXPECT_EQ(KolorFromString(NewKolorString(Kolor(k))), Kolor(k));
  EXPECT_EQ(KolorFromString(NewKolorString(kNoKolor)), kNoKolor);
}

TEST(Kolor, MalformedTextsGiveNoColour) {
  struct { const char* text; Kolor expected; } cases[] = {
      {"{1, 2, 3}", 0x64030201},  {"{1,2,3}", kNoKolor},         {"{1, 2}", kNoKolor},
      {"", kNoKolor},             {"{1, 2, 3, 50}", 0x32030201},  {"{300, 2, 3}", 0x6403022C},
      {"{-1, 0, 0}", 0x640000FF}, {"{a, b, c}", 0x64000000},     {"{1, 2, 3, 4, 5}", 0x04030201},
      {"(9, 8, 7)", 0x64070809},  {"{1, 2, 3, 256}", 0x00030201}, {"{99999999999, 0, 0}", 0x640000FF},
  };
  for (const auto& c : cases) EXPECT_EQ(KolorFromString(QString::fromLatin1(c.text)), c.expected) << c.text;
}

TEST(Kolor, ColourObjectsRoundTripForEveryAlpha) {
  const Kolor channels[] = {0x000000, 0xFFFFFF, 0x102030, 0x7F807F, 0x01FE02, 0xABCDEF};
  for (Kolor alpha = 1; alpha <= 100; ++alpha) {
    for (Kolor rgb : channels) {
      const Kolor kolor = (alpha << 24) | rgb;
      EXPECT_EQ(KolorFromColorCore(ColorFromKolor(kolor)), kolor) << std::hex << kolor;
    }
  }
}

TEST(Kolor, ComponentsAreTruncatedNotRounded) {
  // Red 0.5 of 255 is 127; green 0.999 of 255 is 254; an alpha of 0.999 is 99 and 0.996 is 99.
  EXPECT_EQ(KolorFromColorCore(QColor::fromRgbF(0.5f, 0.999f, 0.0f, 0.999f)), 0x6300FE7Fu);
  EXPECT_EQ(KolorFromColorCore(QColor::fromRgbF(0.2f, 0.0f, 1.0f, 0.996f)), 0x63FF0033u);
}

TEST(Kolor, GrayLevelsAreKeptAndLevelsBeyondTheTableAreBlack) {
  const QRgb expected[] = {qRgba(0, 0, 0, 0),       qRgba(255, 255, 255, 255), qRgba(224, 224, 224, 255),
                           qRgba(192, 192, 192, 255), qRgba(128, 128, 128, 255), qRgba(64, 64, 64, 255),
                           qRgba(32, 32, 32, 255),    qRgba(0, 0, 0, 255)};
  for (int level = 1; level < 8; ++level) EXPECT_EQ(GrayColor(level).rgba(), expected[level]) << level;
  EXPECT_EQ(GrayColor(0).alpha(), 0);
  for (int level : {8, 100, -1}) EXPECT_EQ(GrayColor(level).rgba(), qRgba(0, 0, 0, 255)) << level;
  EXPECT_EQ(&GrayColor(3), &GrayColor(3));
}

}  // namespace
