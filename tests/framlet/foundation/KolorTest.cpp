#include "framlet/foundation/Kolor.h"

#include "support/LogCapture.h"
#include "support/TestData.h"

#include <QFile>
#include <QPoint>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct Vector {
  Kolor kolor;
  bool isColor;
  QString text;
  QString display[3];
};

// tests/data/kolor/vectors.txt, written by tools/make_kolor_vectors.py from the bit layout alone.
std::vector<Vector> Vectors() {
  std::vector<Vector> vectors;
  QFile file(TestDataPath(QStringLiteral("kolor/vectors.txt")));
  if (!file.open(QIODevice::ReadOnly)) return vectors;
  for (const QByteArray& line : file.readAll().split('\n')) {
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
  for (uint64_t k = 0; k <= 0xFFFFFFFFull; k += 262147) {
    EXPECT_EQ(KolorFromString(NewKolorString(Kolor(k))), Kolor(k));
  }
  EXPECT_EQ(KolorFromString(NewKolorString(kNoKolor)), kNoKolor);
}

TEST(Kolor, MalformedTextsGiveNoColour) {
  struct {
    const char* text;
    Kolor expected;
  } cases[] = {
      {"{1, 2, 3}", 0x64030201},  {"{1,2,3}", kNoKolor},         {"{1, 2}", kNoKolor},
      {"", kNoKolor},             {"{1, 2, 3, 50}", 0x32030201},  {"{300, 2, 3}", 0x6403022C},
      {"{-1, 0, 0}", 0x640000FF}, {"{a, b, c}", 0x64000000},     {"{1, 2, 3, 4, 5}", 0x04030201},
      {"(9, 8, 7)", 0x64070809},  {"{1, 2, 3, 256}", 0x00030201}, {"{99999999999, 0, 0}", 0x640000FF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KolorFromString(QString::fromLatin1(c.text)), c.expected) << c.text;
  }
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

TEST(Kolor, ColourObjectsBecomeKolorsToTheNearestStep) {
  struct {
    QColor color;
    Kolor expected;
  } cases[] = {
      {QColor(), kNoKolor},
      {QColor::fromRgbF(1, 0, 0, 1), 0x640000FF},
      {QColor::fromRgbF(0.5f, 0, 0, 1), 0x64000080},  // 127.5 rounds up
      {QColor::fromRgbF(0, 0, 0, 0.999f), 0x64000000},
      {QColor::fromRgbF(0, 0, 0, 0.29f), 0x1D000000},  // 29 %, not 28
      {QColor::fromRgbF(0, 0, 0, 0.004f), 0x00000000},
      {QColor(0, 128, 255, 0), 0x00FF8000},
      {QColor::fromHsv(240, 255, 255), 0x64FF0000},
      {QColor::fromRgbF(1.5f, -0.5f, 0.25f, 1), 0x644000FF},  // extended range held at the ends
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KolorFromColorCore(c.color), c.expected) << c.color.name(QColor::HexArgb).toStdString();
  }
}

TEST(Kolor, KolorsBecomeSrgbColoursAndNoColourIsClear) {
  const QColor blue = ColorFromKolor(0x64FF8000);
  EXPECT_EQ(blue.rgba(), qRgba(0, 128, 255, 255));
  EXPECT_NEAR(ColorFromKolor(0x32000000).alphaF(), 0.5, 1e-4);
  for (Kolor none : {Kolor(0x00FFFFFF), Kolor(0x65000000), kNoKolor, Kolor(0x9B000000)}) {
    const QColor clear = ColorFromKolor(none);
    EXPECT_TRUE(clear.isValid());
    EXPECT_EQ(clear.alpha(), 0);
  }
}

TEST(Kolor, RemoveAlphaMakesColoursOpaque) {
  const QColor opaque = QColor::fromHsv(120, 100, 100);
  EXPECT_EQ(RemoveAlpha(opaque), opaque);
  EXPECT_EQ(RemoveAlpha(opaque).spec(), QColor::Hsv) << "an opaque colour comes back unchanged";
  EXPECT_EQ(RemoveAlpha(QColor(255, 0, 0, 128)).rgba(), qRgba(255, 0, 0, 255));
  EXPECT_EQ(RemoveAlpha(QColor(10, 20, 30, 0)).rgba(), qRgba(255, 255, 255, 255));
}

TEST(Kolor, DisplayStringsOfUnknownStylesAreADash) {
  EXPECT_EQ(ColorDisplayString(0x32FF8000, 3), QStringLiteral("#0080FF  50%"));
  EXPECT_EQ(ColorDisplayString(0x64FF8000, 0), QStringLiteral("\u2014"));
  EXPECT_EQ(ColorDisplayString(0x64FF8000, 4), QStringLiteral("\u2014"));
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

TEST(Kolor, LinkAndAccentColoursComeFromTheSystemWhenItHasThem) {
  // The kernel may have installed the application's sources; this test works without them.
  const FLSystemColorSource linkSource = SetSystemLinkColorSource(nullptr);
  const FLSystemColorSource accentSource = SetSystemAccentColorSource(nullptr);
  EXPECT_EQ(LinkColor().rgba(), qRgba(39, 43, 217, 255));
  EXPECT_EQ(AccentColor(0x64FF0000).rgba(), qRgba(0, 0, 255, 255));
  EXPECT_FALSE(AccentColor(kNoKolor).isValid());

  SetSystemLinkColorSource([] { return QColor(1, 2, 3); });
  SetSystemAccentColorSource([] { return QColor(4, 5, 6); });
  EXPECT_EQ(LinkColor().rgba(), qRgba(1, 2, 3, 255));
  EXPECT_EQ(AccentColor(kNoKolor).rgba(), qRgba(4, 5, 6, 255));

  SetSystemLinkColorSource([] { return QColor(); });
  SetSystemAccentColorSource([] { return QColor(); });
  EXPECT_EQ(LinkColor().rgba(), qRgba(39, 43, 217, 255));
  EXPECT_EQ(AccentColor(0x64FF0000).rgba(), qRgba(0, 0, 255, 255));

  SetSystemLinkColorSource(linkSource);
  SetSystemAccentColorSource(accentSource);
}

TEST(Kolor, VariantsCarryKolorsAndRefuseOtherValues) {
  for (Kolor kolor : {Kolor(0x32102030), kNoKolor, Kolor(0)}) {
    EXPECT_EQ(KolorValue(ValueWithKolor(kolor)), kolor);
  }
  LogCapture capture;
  EXPECT_EQ(KolorValue(QVariant(QPoint(1, 2))), g_blackKolor);
  EXPECT_EQ(KolorValue(QVariant(uint32_t(0x32102030))), g_blackKolor);
  int asserts = 0;
  for (const QString& entry : capture.entries())
    if (entry.startsWith(QStringLiteral("Assert: This is not a color value -- "))) ++asserts;
  EXPECT_EQ(asserts, 2);
}

}  // namespace
