// Which operation of a number format shows a number: chosen by the number's form (integer,
// fraction, real) and the format's display.
#include <gtest/gtest.h>

#include "calculator/model/CANumber.h"
#include "calculator/model/CANumberFormat.h"

namespace {

CANumberFormat WithDisplay(int32_t display) {
  CANumberFormat format;
  format.setDisplay(display);
  format.setCurrencySymbol(QStringLiteral("$"));
  return format;
}

TEST(NumberFormatDispatch, TheFormAndTheDisplayChooseTheOperation) {
  const CANumber integer(255);
  const CANumber half = CANumber::withNumerator(7, 2);
  const CANumber negativeHalf = CANumber::withNumerator(-7, 2);
  const CANumber eighth = CANumber::withNumerator(1, 8);
  const CANumber third = CANumber::withNumerator(1, 3);
  const CANumber sevenQuarters = CANumber::withNumerator(7, 4);
  const CANumber realHalf = CANumber::withRealResult(2.5L);
  const CANumber hugeReal = CANumber::withRealResult(1e30L);
  ASSERT_EQ(half.form(), kNumberFraction);
  ASSERT_EQ(realHalf.form(), kNumberReal);

  const struct {
    const char* name;
    const CANumber& number;
    int32_t display;
    std::function<QString(const CANumberFormat&)> expected;
  } cases[] = {
      {"integer hex", integer, kDisplayHex, [](const CANumberFormat& f) { return f.formatInteger(255); }},
      {"integer fract", integer, kDisplayFraction, [](const CANumberFormat& f) { return f.formatInteger(255); }},
      {"integer float", integer, kDisplayFloat, [](const CANumberFormat& f) { return f.formatFloat(255); }},
      {"integer money", integer, kDisplayMoney, [](const CANumberFormat& f) { return f.formatMoney(255); }},
      {"integer percent", integer, kDisplayPercent, [](const CANumberFormat& f) { return f.formatPercent(255); }},
      {"integer sci", integer, kDisplayScientific,
       [](const CANumberFormat& f) { return f.formatScientific(255); }},
      {"integer date", CANumber(20240315), kDisplayDate, [](const CANumberFormat& f) { return f.formatDate(20240315); }},
      // Fractions as integers round half away from zero.
      {"fraction int", half, kDisplayInteger, [](const CANumberFormat& f) { return f.formatInteger(4); }},
      {"negative fraction int", negativeHalf, kDisplayInteger, [](const CANumberFormat& f) { return f.formatInteger(-4); }},
      {"fraction float", eighth, kDisplayFloat, [](const CANumberFormat& f) { return *f.formatFractionAsFloat(1, 8); }},
      {"third float", third, kDisplayFloat, [](const CANumberFormat& f) { return f.formatFloat(1.0L / 3); }},
      {"fraction fract", sevenQuarters, kDisplayFraction, [](const CANumberFormat& f) { return f.formatWhole(1, 3, 4); }},
      {"fraction money", sevenQuarters, kDisplayMoney, [](const CANumberFormat& f) { return f.formatMoney(1.75L); }},
      // Reals as integers round half away from zero too, while they fit.
      {"real int", realHalf, kDisplayInteger, [](const CANumberFormat& f) { return f.formatInteger(3); }},
      {"huge real int", hugeReal, kDisplayInteger, [](const CANumberFormat& f) { return f.formatFloat(1e30L); }},
  };
  for (const auto& c : cases) {
    const CANumberFormat format = WithDisplay(c.display);
    EXPECT_EQ(c.number.formatWith(&format), c.expected(format)) << c.name;
  }

  CANumberFormat keep = WithDisplay(kDisplayFraction);
  keep.setKeepFraction(true);
  EXPECT_EQ(sevenQuarters.formatWith(&keep), keep.formatWhole(0, 7, 4));
  const CANumberFormat any = WithDisplay(kDisplayFloat);
  EXPECT_EQ(CANumber::asInf().formatWith(&any), QStringLiteral("<Infinite>"));
  EXPECT_EQ(CANumber::asNan().formatWith(&any), QStringLiteral("<Value>"));
}

}  // namespace
