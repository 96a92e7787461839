// The calculators and the converter read a pasted or typed number as a cell typed in the locale
// reads it: the locale's own forms are their numbers, and a text the reader does not take whole
// (another syntax's decimal, a date) beeps and enters nothing.
#include "CalculatorTestSupport.h"
#include "calculator/controllers/CAProgrammerEngine.h"
#include "calculator/controllers/CAStandardEngine.h"
#include "calculator/controllers/CAUnitConverter.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/NumberFormsTestSupport.h"

#include <cmath>
#include <functional>
#include <memory>

namespace {

using CalculatorNumberFormsTest = CalculatorTest;

std::optional<CANumber> NumberOf(const NumberFormReading& reading) {
  if (reading.kind != NumberFormReading::number) return std::nullopt;
  return CANumber::withNumerator(reading.numerator, reading.denominator);
}

TEST_F(CalculatorNumberFormsTest, PasteEntersTheNumberAsACellReadsItOrBeepsAndEntersNothing) {
  const struct {
    const char* name;
    std::function<std::unique_ptr<CACalculatorEngine>()> make;
    bool integersOnly;
  } calculators[] = {
      {"standard", [] { return std::make_unique<CAStandardEngine>(); }, false},
      {"programmer's, decimal floating",
       [] {
         auto engine = std::make_unique<CAProgrammerEngine>();
         engine->changeBase(4);
         return engine;
       },
       false},
      {"programmer's, decimal integers", [] { return std::make_unique<CAProgrammerEngine>(); }, true},
  };
  for (const NumberFormCase& c : kNumberForms) {
    const TestLocale locale(c.locale);
    for (const auto& calculator : calculators) {
      SCOPED_TRACE(std::string(c.locale) + " " + calculator.name + " \"" + c.text + "\"");
      std::optional<CANumber> expected = NumberOf(c.reading);
      if (expected && calculator.integersOnly && expected->denominator() != 1) expected.reset();
      const std::unique_ptr<CACalculatorEngine> engine = calculator.make();
      engine->setStack({CANumber(7)});
      beeps = 0;
      engine->paste(QString::fromUtf8(c.text));
      if (expected) {
        ASSERT_FALSE(engine->stack().isEmpty());
        EXPECT_EQ(engine->stack().first(), *expected);
        EXPECT_EQ(beeps, 0);
      } else {
        // Nothing entered: the entry there before is still the top.
        EXPECT_EQ(engine->stack(), QList<CANumber>{CANumber(7)});
        EXPECT_EQ(beeps, 1);
      }
    }
  }
}

TEST_F(CalculatorNumberFormsTest, TheConverterReadsWhatACellReads) {
  const CAConverterChoice milesToMiles{kCategoryLength, 9, 9};
  for (const NumberFormCase& c : kNumberForms) {
    const TestLocale locale(c.locale);
    SCOPED_TRACE(std::string(c.locale) + " \"" + c.text + "\"");
    const std::optional<CANumber> read = ConverterValueFromText(QString::fromUtf8(c.text), milesToMiles);
    const std::optional<CANumber> expected = NumberOf(c.reading);
    ASSERT_EQ(read.has_value(), expected.has_value());
    if (read) {
      EXPECT_EQ(ConvertUnits(*read, milesToMiles), *expected);
    }
  }
}

}  // namespace
