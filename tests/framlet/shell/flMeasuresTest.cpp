#include "framlet/shell/flMeasures.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flFormatString.h"

#include <QDoubleSpinBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {

class FakeAppDelegate : public FLApplicationDelegate {
 public:
  explicit FakeAppDelegate(int unit) : unit(unit) {}
  std::optional<int> currentDistanceUnit() const override { return unit; }
  int unit;
};

// Installs an application delegate with a current unit for one test.
class CurrentUnit {
 public:
  explicit CurrentUnit(int unit) : delegate_(unit), previous_(ApplicationDelegate()) { SetApplicationDelegate(&delegate_); }
  ~CurrentUnit() { SetApplicationDelegate(previous_); }

 private:
  FakeAppDelegate delegate_;
  FLApplicationDelegate* previous_;
};

struct ParseCase {
  const char* text;
  int unit;
  bool scalar;
  int64_t value;       // when it parses
  const char* error;   // nullptr when it parses
};

TEST(ParseMeasureTest, ParsesEveryNotationOrNamesTheFault) {
  const ParseCase cases[] = {
      {"", 0, false, 0, nullptr}, {"-", 0, false, kFLNoMeasure, nullptr}, {"12", 0, false, 152400, nullptr},
      {"12 pt", 5, false, 152400, nullptr}, {"1 1/2 in", 0, false, 1371600, nullptr},
      {"3/4 in", 0, false, 685800, nullptr}, {"1 1/2", 1, false, 1371600, nullptr},
      {"7/4", 1, false, 1600200, nullptr}, {"5'11", 1, false, 64922400, nullptr},
      {"5'11\"", 0, false, 64922400, nullptr}, {"5'11.5", 2, false, 65379600, nullptr},
      {"2", 3, false, 21945600, nullptr}, {"5'13", 1, false, 0, kIllegalCharacterError},
      {"5'11", 0, false, 0, kIllegalCharacterError}, {"0'5", 1, false, 0, kIllegalCharacterError},
      {"1.5 cm", 0, false, 540000, nullptr}, {"10 mm", 0, false, 360000, nullptr},
      {"1 m", 0, false, 36000000, nullptr}, {"6 pc", 0, false, 914400, nullptr}, {"96 px", 0, false, 914400, nullptr},
      {"2 \"", 0, false, 1828800, nullptr}, {"12 furlongs", 4, false, 152400, nullptr},
      {"0.5", 4, false, 18000, nullptr}, {"50%", 7, false, 635000, nullptr},
      {"50%", 0, false, 0, kIllegalCharacterError}, {"-5", 7, false, 0, kIllegalCharacterError},
      {"2", 5, true, 25400, nullptr}, {"2 in", 0, true, 0, kIllegalCharacterError},
      {"1 2", 0, false, 0, kDenominatorZeroError}, {"1/0", 0, false, 0, kDenominatorZeroError},
      {"1 0/4", 0, false, 0, kIllegalCharacterError}, {"in", 0, false, 0, kIllegalCharacterError},
      {"1/2x", 0, false, 6350, nullptr},  // an unknown unit name is points
      {"1/2/3", 0, false, 0, kIllegalCharacterError},
      // Digits past the eighteenth decimal change nothing; they used to overflow.
      {"1.12345678901234567890", 0, false, 14267, nullptr},
      {"726249766681478", 0, false, 9223372036854770600, nullptr},
      {"726249766681479", 0, false, 0, kNumberTooLargeError},
      {"99999999999999999999", 0, false, 0, kNumberTooLargeError},
      {"1/99999999999999999999", 0, false, 0, kNumberTooLargeError},
      {"99999999999999999'1", 1, false, 0, kNumberTooLargeError},
      // An improper fraction is split at once; counting down one unit at a time hung here.
      {"9999999999999999/1", 0, false, 0, kNumberTooLargeError},
      {"9999999999999/1", 0, false, 126999999999987300, nullptr},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << "\" unit " << c.unit);
    int64_t value = -1;
    QString error;
    const bool ok = ParseMeasure(QString::fromUtf8(c.text), c.scalar, c.unit, &value, &error);
    if (c.error) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(error, QString::fromLatin1(c.error));
    } else {
      EXPECT_TRUE(ok) << error.toStdString();
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST(ParseMeasureTest, TheCurrentUnitAppliesToBareNumbers) {
  int64_t value = 0;
  EXPECT_TRUE(ParseMeasure(QStringLiteral("2"), false, kFLUnitCurrent, &value, nullptr));
  EXPECT_EQ(value, 25400);  // no delegate: points
  CurrentUnit centimetres(kFLUnitCentimetres);
  EXPECT_TRUE(ParseMeasure(QStringLiteral("2"), false, kFLUnitCurrent, &value, nullptr));
  EXPECT_EQ(value, 720000);
}

struct FormatCase {
  int64_t value;
  int unit;
  const char* text;
  bool scalar = false, showUnits = true;
  int maxDecimals = 0;
};

TEST(FormatMeasureTest, WritesEachUnitAsDerivedByHand) {
  const FormatCase cases[] = {
      {0, 4, "0"}, {kFLNoMeasure, 4, "-"}, {12700, 0, "1 pt"}, {19050, 0, "1.5 pt"}, {-6350, 0, "-0.5 pt"},
      {12699, 0, "1 pt"},    // 0.9999 rounds to hundredths and carries
      {15875, 0, "1.2 pt", false, true, 1},
      {12700, 5, "1 pt"},    // whole points under 9 points show in points
      {114300, 5, "0.317 cm"}, {360000, 5, "1 cm"}, {127000, 4, "3.53 mm"}, {12700, 8, "1.33 px"},
      {1828800, 1, "2\""},
      {14287, 2, "0.015\""},  // finer than a 32nd: decimals
      {28575, 2, "1/32\""}, {1371600, 2, "1 1/2\""},
      {30000, 2, "1/32\""},   // cut to 32nds
      {64922400, 3, "5'11\""}, {11430000, 3, "1'0.5\""}, {635000, 7, "50%"}, {635000, 0, "50", true},
      {72000, 4, "2", false, false}, {36000000, 6, "1 m"},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " in unit " << c.unit);
    EXPECT_EQ(FormatMeasureCore(c.value, c.maxDecimals, c.scalar, c.showUnits, c.unit), QString::fromUtf8(c.text));
  }
}

TEST(FormatMeasureTest, WrittenLengthsReadBackWithinTheirShownPrecision) {
  std::mt19937_64 random(20261206);
  const struct {
    int unit;
    int64_t tolerance;  // half of the last digit shown, plus the thousandths' bias
  } units[] = {{kFLUnitInches, 915}, {kFLUnitCentimetres, 360}, {kFLUnitMetres, 36000}, {kFLUnitFeetAndInches, 91440}};
  for (int i = 0; i < 2000; ++i) {
    const int64_t value = int64_t(random() % 2000000000000) - 1000000000000;
    for (const auto& u : units) {
      const QString text = FormatMeasureCore(value, 0, false, true, u.unit);
      int64_t back = 0;
      QString error;
      ASSERT_TRUE(ParseMeasure(text, false, u.unit, &back, &error)) << text.toStdString() << ' ' << error.toStdString();
      ASSERT_LE(std::abs(back - value), u.tolerance) << value << " -> " << text.toStdString();
    }
  }
}

TEST(ParseMeasureTest, AnyTypingEndsInAValueOrAKnownError) {
  const QString alphabet = QStringLiteral("0123456789 ./'-\"inptcm%x");
  const QStringList errors{kIllegalCharacterError, kDenominatorZeroError, kNumberTooLargeError};
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    QString text;
    const int length = int(random() % 30);
    for (int j = 0; j < length; ++j) text += alphabet[qsizetype(random() % uint64_t(alphabet.size()))];
    int64_t value = 0;
    QString error;
    if (ParseMeasure(text, (i & 1) != 0, int(random() % 14), &value, &error)) {
      ASSERT_TRUE(value == kFLNoMeasure || std::abs(value) <= kFLMaxMeasure) << text.toStdString();
    } else {
      ASSERT_TRUE(errors.contains(error)) << text.toStdString() << " -> " << error.toStdString();
    }
  }
}

TEST(FormatMeasureTest, DecimalInchesKeepThousandthsAsComputed) {
  // 5/12 inch: the thousandths carry only 1/100 of a unit of rounding, so 0.41666 shows 0.416.
  EXPECT_EQ(FormatMeasureCore(381000, 0, false, true, kFLUnitInches), QStringLiteral("0.416\""));
}

TEST(FormatMeasureTest, TheCurrentUnitAndTheFormatStringDirective) {
  CurrentUnit millimetres(kFLUnitMillimetres);
  EXPECT_EQ(FormatMeasureCore(360000, 0, false, true, kFLUnitCurrent), QStringLiteral("10 mm"));
  InstallMeasureFormatter();
  EXPECT_EQ(FormatString("%m", int64_t(360000)), QStringLiteral("10 mm"));
  SetMeasureFormatter({});
}

TEST(RoundMeasureTest, RoundsHalvesAwayFromZero) {
  struct Case { int64_t value; int64_t quantum; int64_t rounded; } const cases[] = {
      {1905, 1270, 2540},  {-1905, 1270, -2540}, {1904, 1270, 1270}, {-1904, 1270, -1270},
      {1905, 0, 1905},     {kFLNoMeasure, 1270, kFLNoMeasure},       {kFLMaxMeasure, 1270, 9223372036854775680},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " by " << c.quantum);
    EXPECT_EQ(RoundMeasure(c.value, c.quantum), c.rounded);
  }
}

TEST(RoundMeasureTest, ANegativeQuantumTakesTheStepOfTheUnitLastTyped) {
  int64_t value = 0;
  ASSERT_TRUE(ParseMeasure(QStringLiteral("1.01 cm"), false, 0, &value, nullptr));
  EXPECT_EQ(RoundMeasure(value, -1), 363600);  // centimetres have no step
  ASSERT_TRUE(ParseMeasure(QStringLiteral("10.15 mm"), false, 0, &value, nullptr));
  EXPECT_EQ(value, 365400);
  EXPECT_EQ(RoundMeasure(value, -1), 367200);
  // The unit is forgotten once read: with no application unit nothing rounds.
  EXPECT_EQ(RoundMeasure(365400, -1), 365400);
  CurrentUnit points(kFLUnitPoints);
  EXPECT_EQ(RoundMeasure(1905, -1), 2540);
}

TEST(MeasureFromControlTest, ReadsFieldsAndNumberControls) {
  QLineEdit field;
  field.setText(QStringLiteral("2"));
  EXPECT_EQ(MeasureFromControl(&field, 0), 2);  // no formatter: the integer value
  QDoubleSpinBox spin;
  spin.setValue(1.5);
  EXPECT_EQ(MeasureFromControl(&spin, 1270), 19050);
}

}  // namespace
