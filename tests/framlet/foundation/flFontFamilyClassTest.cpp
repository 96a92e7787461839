#include "framlet/foundation/flFonts.h"

#include <gtest/gtest.h>

namespace {

QByteArray Os2(uint8_t familyClass, uint8_t panoseKind, uint8_t panoseSerif) {
  QByteArray table(42, '\0');
  table[30] = char(familyClass);
  table[32] = char(panoseKind);
  table[33] = char(panoseSerif);
  return table;
}

TEST(FontFamilyClass, FromTheClassOrElseThePanoseDescription) {
  const std::tuple<QByteArray, FLFontFamilyClass> cases[] = {
      {Os2(8, 2, 6), FLFontFamilyClass::sansSerif},    // the class wins over PANOSE
      {Os2(10, 0, 0), FLFontFamilyClass::scripts},
      {Os2(0, 2, 11), FLFontFamilyClass::sansSerif},   // normal sans serif
      {Os2(0, 2, 2), FLFontFamilyClass::oldStyleSerifs}, {Os2(0, 3, 0), FLFontFamilyClass::scripts},
      {Os2(0, 5, 0), FLFontFamilyClass::symbolic}, {Os2(0, 0, 0), FLFontFamilyClass::unknown},
      {Os2(8, 2, 11).left(41), FLFontFamilyClass::unknown},  // cut short
  };
  for (const auto& [table, expected] : cases) EXPECT_EQ(FontFamilyClassFromOs2(table), expected) << table.toHex().toStdString();
}

TEST(FontFamilyClass, OfInstalledFonts) {
  EXPECT_EQ(FontFamilyClass(QStringLiteral("DejaVuSans")), FLFontFamilyClass::sansSerif);
  EXPECT_EQ(FontFamilyClass(QStringLiteral("DejaVu Sans Mono")), FLFontFamilyClass::sansSerif);
  EXPECT_EQ(FontFamilyClass(QStringLiteral("DejaVuSerif-Bold")), FLFontFamilyClass::slabSerifs);  // square serifs
  EXPECT_EQ(FontFamilyClass(QStringLiteral("No Such Font Anywhere")), FLFontFamilyClass::unknown);
}

}  // namespace
