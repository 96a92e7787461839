#include "calculator/controllers/CAUnitConverter.h"

#include "CalculatorTestSupport.h"
#include "calculator/model/LocaleTestSupport.h"
#include "support/CReals.h"
#include "support/TestData.h"

#include <QFile>
#include <QStringList>

#include <cmath>
#include <tuple>

namespace {

TEST(UnitConverterTest, ExactConversions) {
  struct Case {
    const char* value;
    CAConverterChoice choice;
    CANumber expected;
  };
  const Case cases[] = {
      {"1", {}, Exact(1609344, 1000000)},                        // the default: Mile to Kilometer
      {"100", {kCategoryTemperature, 0, 1}, Exact(212)},
      {"0", {kCategoryTemperature, 2, 1}, Exact(-45967, 100)},
      {"-40", {kCategoryTemperature, 1, 0}, Exact(-40)},
      {"1", {kCategoryArea, 0, 11}, Exact(4840)},                // acre to square yards
      {"1", {kCategoryVolume, 14, 4}, Exact(231)},               // US gallon to cubic inches
      {"1", {kCategoryVolume, 13, 15}, Exact(454609, 100000)},   // imperial gallon
      {"1", {kCategoryTime, 6, 0}, Exact(10)},                   // millennium to centuries
      {"1", {kCategoryWeight, 6, 1}, Exact(45359237, 100000)},   // pound to grams
      {"1", {kCategoryAmusement, 0, 6}, Exact(9)},               // a cackle is nine smiles
      {"1", {kCategoryLength, 1, 7}, Exact(457, 1000)},          // the cubit
      {"1,000", {kCategoryLength, 2, 3}, Exact(250, 3)},
  };
  for (const Case& c : cases) {
    const std::optional<CANumber> value = CANumber::withValidatedString(QString::fromLatin1(c.value), true);
    ASSERT_TRUE(value.has_value()) << c.value;
    EXPECT_EQ(ConvertUnits(*value, c.choice), c.expected)
        << c.value << ' ' << c.choice.category << ' ' << c.choice.fromUnit << ' ' << c.choice.toUnit;
  }
}

TEST(UnitConverterTest, TheStoredChoiceIsReadBackWithinTheTables) {
  struct Case {
    const char* text;
    int32_t category, from, to;
  };
  const Case cases[] = {
      {"", 2, 9, 6},       {"3,1,2", 3, 1, 2},  {"5,24,0", 5, 24, 0}, {"1,2", 2, 9, 6},
      {"7,0,0", 2, 9, 6},  {"3,4,0", 2, 9, 6},  {"-1,0,0", 2, 9, 6},  {"a,b,c", 0, 0, 0},
  };
  for (const Case& c : cases) {
    const CAConverterChoice choice = ConverterChoiceFromString(QString::fromLatin1(c.text));
    EXPECT_EQ(std::tuple(choice.category, choice.fromUnit, choice.toUnit), std::tuple(c.category, c.from, c.to)) << c.text;
  }
  EXPECT_EQ(StringFromConverterChoice({5, 24, 3}), QStringLiteral("5,24,3"));
}

TEST(UnitConverterTest, FeetAndInchesAreReadOnlyFromFeet) {
  const CAConverterChoice fromFeet{kCategoryLength, kLengthFootRow, 2};
  struct Case {
    const char* text;
    std::optional<CANumber> inches;
  };
  const Case cases[] = {
      {"5'6", Exact(66)},  {"5'11", Exact(71)}, {"2.5", Exact(30)}, {"3 in", Exact(3)},
      {"1,000", Exact(12000)},  // not a length; read as a number
      {"5'13", std::nullopt},    {"-", std::nullopt}, {"abc", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<CANumber> feet = ConverterValueFromText(QString::fromLatin1(c.text), fromFeet);
    ASSERT_EQ(feet.has_value(), c.inches.has_value()) << c.text;
    if (feet) {
      EXPECT_EQ(ConvertUnits(*feet, fromFeet), *c.inches) << c.text;
    }
  }
  EXPECT_FALSE(ConverterValueFromText(QStringLiteral("5'6"), {kCategoryLength, 13, 2}).has_value());
}

// The legal definitions, where older tables carried rounded or liquid-measure figures:
//   Bushel (U.K.)  extra 36368/1000 (36.368 l)          -> 3636872/100000 (8 imperial gallons, 36.36872 l)
//   Bushel (U.S.)  extra 1848/1 (8 liquid gallons, in3) -> 215042/100 (the dry bushel, 2150.42 in3)
//   Peck           extra 462/1 (2 liquid gallons, in3)  -> 537605/1000 (the dry peck, 537.605 in3)
//   Gallon (U.K.)  extra 4546/1000 (4.546 l)            -> 454609/100000 (4.54609 l)
//   Ounce (U.K.)   extra 4546/160000                    -> 454609/16000000 (a 160th of the gallon)
//   Pint (U.K.)    extra 4546/8000                      -> 454609/800000 (an eighth of the gallon)
//   Ounce          45359237001/1600000000 g             -> 45359237/1600000 g (a 16th of the pound)
//   Pound          45359237001/100000000 g              -> 45359237/100000 g (453.59237 g exactly)
//   Ton            90718474002000/100000000 g           -> 90718474/100 g (2000 pounds)
TEST(UnitConverterTest, TheUnitsAreTheirLegalDefinitions) {
  struct Case {
    CAConverterChoice choice;
    CANumber expected;
  };
  const Case cases[] = {
      {{kCategoryVolume, 0, 13}, Exact(8)},                      // UK bushel: 8 imperial gallons
      {{kCategoryVolume, 0, 15}, Exact(3636872, 100000)},        // in litres
      {{kCategoryVolume, 1, 4}, Exact(215042, 100)},             // US bushel in cubic inches
      {{kCategoryVolume, 1, 19}, Exact(4)},                      // four pecks
      {{kCategoryVolume, 19, 4}, Exact(537605, 1000)},           // the peck in cubic inches
      {{kCategoryVolume, 13, 20}, Exact(8)},                     // imperial gallon: 8 pints
      {{kCategoryVolume, 13, 17}, Exact(160)},                   // and 160 fluid ounces
      {{kCategoryVolume, 17, 16}, Exact(454609, 16000)},         // the fluid ounce: 28.4130625 ml
      {{kCategoryWeight, 6, 4}, Exact(16)},                      // 16 ounces to the pound
      {{kCategoryWeight, 7, 6}, Exact(2000)},                    // 2000 pounds to the ton
      {{kCategoryWeight, 7, 2}, Exact(90718474, 100000)},        // the ton in kilograms
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConvertUnits(CANumber(int64_t(1)), c.choice), c.expected)
        << c.choice.category << ' ' << c.choice.fromUnit << ' ' << c.choice.toUnit;
  }
}

// Blanks and the locale's separator are passed over only where they group three digits of the
// integer part.
TEST(UnitConverterTest, SeparatorsThatGroupNoThousandsLeaveNoNumber) {
  const struct {
    const char* locale;
    const char* text;  // UTF-8
  } cases[] = {
      {"fr_FR", "12 34"},  {"fr_FR", "1234 567"}, {"fr_FR", "1,234 5"}, {"fr_FR", "1\u202F23,5"}, {"fr_FR", " "},
      {"de_DE", "1.23,5"}, {"en_US", "1,23.5"},   {"en_US", "1 2"},     {"en_US", "1.234 567"},   {"en_US", "-"},
  };
  for (const auto& c : cases) {
    const TestLocale locale(c.locale);
    EXPECT_FALSE(ConverterValueFromText(QString::fromUtf8(c.text), {}).has_value()) << c.locale << ' ' << c.text;
  }
}

TEST(UnitConverterTest, AnUnknownUnitNameFromFeetIsNoValue) {
  const CAConverterChoice fromFeet{kCategoryLength, kLengthFootRow, 2};
  for (const char* text : {"2 mi", "2mi", "3 yd", "1 ft", "2 furlongs"}) {
    EXPECT_FALSE(ConverterValueFromText(QString::fromLatin1(text), fromFeet).has_value()) << text;
  }
  // Names the lengths know still convert.
  const struct {
    const char* text;
    CANumber inches;
  } known[] = {{"2 in", Exact(2)}, {"72 pt", Exact(1)}, {"2.54 cm", Exact(1)}, {"254 MM", Exact(10)}};
  for (const auto& k : known) {
    const std::optional<CANumber> feet = ConverterValueFromText(QString::fromLatin1(k.text), fromFeet);
    ASSERT_TRUE(feet.has_value()) << k.text;
    EXPECT_EQ(ConvertUnits(*feet, fromFeet), k.inches) << k.text;
  }
}

// Every pair of units within a category that GNU units also knows, as it converts them.
TEST(UnitConverterTest, AgreesWithGnuUnits) {
  QFile file(TestDataPath("converter/units.txt"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  int checked = 0;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const QStringList fields = line.split(QLatin1Char('|'));
    ASSERT_EQ(fields.size(), 5) << line.toStdString();
    const CAConverterChoice choice{fields[0].toInt(), fields[1].toInt(), fields[2].toInt()};
    const std::optional<CANumber> value = CANumber::withValidatedString(fields[3], false);
    ASSERT_TRUE(value.has_value()) << line.toStdString();
    const CANumber result = ConvertUnits(*value, choice);
    const long double expected = ReadCReal(fields[4].toStdString());
    const long double actual = result.realValue();
    // GNU units leaves rounding noise on temperatures that come out at zero.
    const long double scale = choice.category == kCategoryTemperature ? std::max(1.0L, std::fabs(expected))
                                                                       : std::fabs(expected);
    const long double tolerance = scale * 1e-12L;
    EXPECT_LE(std::fabs(actual - expected), tolerance) << line.toStdString() << " gave " << double(actual);
    ++checked;
  }
  EXPECT_EQ(checked, 1279);
}

}  // namespace
