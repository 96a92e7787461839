// Every display with a set number of places rounds half up (half away from zero), or cuts with
// the preference "Round down instead of to nearest"; one value shows alike whether it is a typed
// decimal (a fraction), a computed real or a value met in another display. Expected texts are
// worked out by hand from the decimals as typed, written with "." and "," and shown in each
// locale with its own separators.
#include <gtest/gtest.h>

#include "support/NumberTextInLocale.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/CANumberFormat.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>

namespace {

struct RoundingFormat {
  const char* name;
  int32_t display;
  int64_t size;
  bool grouping = false;
  bool hundredths = false;
};

const RoundingFormat kDecimal2{"Decimal 2", kDisplayFloat, 2};
const RoundingFormat kDecimal2Grouped{"Decimal 2 grouped", kDisplayFloat, 2, true};
const RoundingFormat kDecimal1{"Decimal 1", kDisplayFloat, 1};
const RoundingFormat kDecimal6{"Decimal 6", kDisplayFloat, 6};
const RoundingFormat kAutomaticDisplay{"Automatic (2 places by the preference)", kDisplayAuto, -1};
const RoundingFormat kMoneyCents{"Money with cents", kDisplayMoney, -1, true, true};
const RoundingFormat kMoney2{"Money 2", kDisplayMoney, 2};
const RoundingFormat kMoneyWhole{"Money in whole units", kDisplayMoney, -1};
const RoundingFormat kPercent0{"Percent 0", kDisplayPercent, 0};
const RoundingFormat kPercent2{"Percent 2", kDisplayPercent, 2};
const RoundingFormat kScientific1{"Scientific 1", kDisplayScientific, 1};

CANumberFormat MakeFormat(const RoundingFormat& shape) {
  CANumberFormat format;
  format.setDisplay(shape.display);
  format.setSize(shape.size);
  format.setGroupThousands(shape.grouping);
  format.setForceHundredths(shape.hundredths);
  format.setCurrencySymbol(QStringLiteral("$"));
  return format;
}

// The value as the user typed it in the current locale ("." stands for its decimal separator).
CANumber Typed(const char* text) {
  QString typed = QString::fromLatin1(text);
  typed.replace(QLatin1Char('.'), NumberTextLocale().decimalSeparator);
  return CANumber::withString(typed, false);
}

CANumber Quotient(const char* dividend, const char* divisor) {
  CANumber number = Typed(dividend);
  number.divide(Typed(divisor));
  return number;
}

CANumber Product(const char* a, const char* b) {
  CANumber number = Typed(a);
  number.multiply(Typed(b));
  return number;
}

class RoundDownPreference {
 public:
  explicit RoundDownPreference(bool down) {
    SetNumberPreferencesProvider([down] {
      CANumberPreferences preferences;
      preferences.roundDown = down;
      return preferences;
    });
  }
  ~RoundDownPreference() { SetNumberPreferencesProvider(nullptr); }
};

class LocaleForNumbers {
 public:
  explicit LocaleForNumbers(const QLocale& locale) { SetNumberTextLocale(locale); }
  ~LocaleForNumbers() { SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

TEST(NumberRounding, EveryFixedPlacesDisplayRoundsAsTheSettingSays) {
  const struct {
    const char* what;
    std::function<CANumber()> value;
    const RoundingFormat* format;
    const char* nearest;
    const char* down;
  } cases[] = {
      // Typed decimals are exact fractions; those whose denominator divides 10000 used to be cut.
      {"typed 0.129", [] { return Typed("0.129"); }, &kDecimal2, "0.13", "0.12"},
      {"typed 0.375", [] { return Typed("0.375"); }, &kDecimal2, "0.38", "0.37"},
      {"=1/8", [] { return Quotient("1", "8"); }, &kDecimal2, "0.13", "0.12"},
      {"typed 9.999", [] { return Typed("9.999"); }, &kDecimal2, "10.00", "9.99"},
      {"=19.95*0.07 (exactly 1.3965)", [] { return Product("19.95", "0.07"); }, &kDecimal2, "1.40", "1.39"},
      {"typed 1926.165", [] { return Typed("1926.165"); }, &kDecimal2, "1926.17", "1926.16"},
      {"typed 1926.165 as money", [] { return Typed("1926.165"); }, &kMoneyCents, "$1,926.17", "$1,926.16"},
      {"typed 12.5% as money", [] { return Typed("12.5%"); }, &kMoneyCents, "$0.13", "$0.12"},
      {"typed 1234.5678 grouped", [] { return Typed("1234.5678"); }, &kDecimal2Grouped, "1,234.57", "1,234.56"},
      {"typed -2.675", [] { return Typed("-2.675"); }, &kDecimal2, "-2.68", "-2.67"},
      {"typed 0.05 with one place", [] { return Typed("0.05"); }, &kDecimal1, "0.1", "0.0"},
      {"typed 0.125 in the automatic display", [] { return Typed("0.125"); }, &kAutomaticDisplay, "0.13", "0.12"},
      {"typed 2.675 as money with two places", [] { return Typed("2.675"); }, &kMoney2, "$2.68", "$2.67"},
      {"typed 0.5 as whole money", [] { return Typed("0.5"); }, &kMoneyWhole, "$1", "$0"},
      {"typed 1.005% with two places", [] { return Typed("1.005%"); }, &kPercent2, "1.01%", "1.00%"},
      {"=1/8 as a whole percent", [] { return Quotient("1", "8"); }, &kPercent0, "13%", "12%"},
      {"=1/200 as a whole percent", [] { return Quotient("1", "200"); }, &kPercent0, "1%", "0%"},
      {"typed 0.00125 in scientific form", [] { return Typed("0.00125"); }, &kScientific1, "1.3E-3", "1.2E-3"},
      {"typed 96.5 in scientific form", [] { return Typed("96.5"); }, &kScientific1, "9.7E+1", "9.6E+1"},
      {"typed 99.96 in scientific form", [] { return Typed("99.96"); }, &kScientific1, "1.0E+2", "9.9E+1"},
      // A fraction without a decimal end, at more places than its four-decimal shortcut.
      {"=2/3", [] { return Quotient("2", "3"); }, &kDecimal2, "0.67", "0.66"},
      {"=1/32 with six places", [] { return Quotient("1", "32"); }, &kDecimal6, "0.031250", "0.031250"},
      {"=1/64 as a percent with two places", [] { return Quotient("1", "64"); }, &kPercent2, "1.56%", "1.56%"},
      // Reals round as the decimal they stand for, though the binary value lies below it.
      {"the real 1926.165", [] { return CANumber::withRealResult(1926.165L); }, &kDecimal2, "1926.17", "1926.16"},
      {"the real 1926.165 as money", [] { return CANumber::withRealResult(1926.165L); }, &kMoneyCents, "$1,926.17",
       "$1,926.16"},
      {"the real 0.125", [] { return CANumber::withRealResult(0.125L); }, &kDecimal2, "0.13", "0.12"},
      {"the real 1.005", [] { return CANumber::withRealResult(1.005L); }, &kDecimal2, "1.01", "1.00"},
      {"the real 0.3 cut to one place", [] { return CANumber::withRealResult(0.3L); }, &kDecimal1, "0.3", "0.3"},
      {"the real 0.01005 as percent", [] { return CANumber::withRealResult(0.01005L); }, &kPercent2, "1.01%",
       "1.00%"},
      {"=SQRT(99.980001)",
       [] {
         CANumber number = Typed("99.980001");
         number.squareRoot();
         return number;
       },
       &kDecimal2, "10.00", "9.99"},
      {"the real 0.00125 in scientific form", [] { return CANumber::withRealResult(0.00125L); }, &kScientific1,
       "1.3E-3", "1.2E-3"},
      {"the real -1926.165", [] { return CANumber::withRealResult(-1926.165L); }, &kDecimal2, "-1926.17",
       "-1926.16"},
  };
  const QLocale locales[] = {
      QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany),
      QLocale(QLocale::French, QLocale::France),        QLocale(QLocale::German, QLocale::Switzerland),
      QLocale(QLocale::Arabic, QLocale::Egypt),          QLocale(QLocale::Hindi, QLocale::India),
      QLocale(QLocale::Swedish, QLocale::Sweden),
  };
  for (const QLocale& locale : locales) {
    const LocaleForNumbers inLocale(locale);
    for (const bool down : {false, true}) {
      const RoundDownPreference preference(down);
      for (const auto& c : cases) {
        const CANumber number = c.value();
        ASSERT_TRUE(number.isValid()) << c.what;
        const CANumberFormat format = MakeFormat(*c.format);
        EXPECT_EQ(number.formatWith(&format), InLocale(down ? c.down : c.nearest))
            << c.what << " shown as " << c.format->name << (down ? ", rounding down" : "") << " in "
            << locale.name().toStdString();
      }
    }
  }
}

// The forms a value can reach a decimal display in (a typed fraction, a real, an integer) give
// one text, for every place count, whichever side of the halfway point the binary real lies.
TEST(NumberRounding, ExactAndRealFormsOfOneDecimalShowAlike) {
  const char* const typed[] = {"0.125",  "0.375",    "2.675",    "1.005",   "1926.165", "1234.5678", "0.0005",
                               "9.9995", "-0.045",   "1.45",     "8.325",   "0.285",    "1.115",     "123.455",
                               "0.07",   "1000.005", "5.015",    "-12.345", "0.995",    "99.995",    "4.35"};
  for (const bool down : {false, true}) {
    const RoundDownPreference preference(down);
    for (const char* text : typed) {
      const CANumber exact = Typed(text);
      ASSERT_TRUE(exact.form() == kNumberFraction || exact.form() == kNumberInteger) << text;
      // Read with "." as the point whatever the process's locale (strtold follows LC_NUMERIC).
      long double nearest = 0;
      const char* end = text + std::strlen(text);
      ASSERT_EQ(std::from_chars(text, end, nearest).ptr, end) << text;
      const CANumber real = CANumber::withRealResult(nearest);
      ASSERT_EQ(real.form(), kNumberReal) << text;
      for (const int32_t display : {kDisplayFloat, kDisplayMoney, kDisplayPercent, kDisplayScientific}) {
        // A decimal display without places of its own shows a fraction's whole decimal end.
        for (int64_t places = display == kDisplayFloat ? 1 : 0; places <= 5; ++places) {
          CANumberFormat format;
          format.setDisplay(display);
          format.setSize(places);
          format.setCurrencySymbol(QStringLiteral("$"));
          EXPECT_EQ(exact.formatWith(&format), real.formatWith(&format))
              << text << " display " << display << " places " << places << (down ? " rounding down" : "");
        }
      }
    }
  }
}

}  // namespace
