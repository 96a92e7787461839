#include "calculator/controllers/CACalculatorConverter.h"

#include "CalculatorTestSupport.h"
#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/model/LocaleTestSupport.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

namespace {

class CalculatorConverterTest : public CalculatorTest {
 protected:
  CalculatorConverterTest() : defaults(QStringLiteral("test.converter")) {
    defaults.removeObjectForKey(QLatin1String(kConverterUnitKey));
  }
  static QString convert(CACalculatorConverter& converter, const QString& text) {
    converter.valueField()->setText(text);
    QTest::keyClick(converter.valueField(), Qt::Key_Return);
    return converter.convertField()->text();
  }

  UserDefaults defaults;
};

TEST_F(CalculatorConverterTest, FirstUseConvertsMilesToKilometers) {
  CACalculatorConverter converter(defaults);
  EXPECT_EQ(converter.fromUnitLabel()->text(), QStringLiteral("Mile"));
  EXPECT_EQ(converter.toUnitLabel()->text(), QStringLiteral("Kilometer"));
  EXPECT_EQ(convert(converter, QStringLiteral("1")), QStringLiteral("1.61"));
  SetCalculatorPreferences({.decimalDigits = 8});
  NotificationCenter::defaultCenter().post(QLatin1String(kCalcDecimalChangeNotification));
  EXPECT_EQ(converter.convertField()->text(), QStringLiteral("1.609344"));  // only significant digits
  EXPECT_EQ(convert(converter, QStringLiteral("1,000")), QStringLiteral("1,609.344"));
}

TEST_F(CalculatorConverterTest, AnUnreadableValueEmptiesTheResultAndBeeps) {
  CACalculatorConverter converter(defaults);
  convert(converter, QStringLiteral("2"));
  EXPECT_EQ(convert(converter, QStringLiteral("2 miles")), QString());
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(convert(converter, QStringLiteral("5'6")), QString());  // feet and inches only from feet
  EXPECT_EQ(beeps, 2);
}

TEST_F(CalculatorConverterTest, ChoosingUnitsAndCategories) {
  CACalculatorConverter converter(defaults);
  QTest::mouseClick(converter.categoryMatrix()->button(kCategoryTemperature), Qt::LeftButton);
  EXPECT_EQ(converter.fromTable()->count(), 4);
  EXPECT_EQ(converter.toUnitLabel()->text(), QStringLiteral("Celsius"));
  converter.toTable()->setCurrentRow(1);
  EXPECT_EQ(converter.toUnitLabel()->text(), QStringLiteral("Fahrenheit"));
  EXPECT_EQ(convert(converter, QStringLiteral("100")), QStringLiteral("212.0"));
  converter.fromTable()->setCurrentRow(2);
  EXPECT_EQ(convert(converter, QStringLiteral("0")), QStringLiteral("-459.67"));
  converter.close();
  EXPECT_EQ(defaults.stringForKey(QLatin1String(kConverterUnitKey)), QStringLiteral("3,2,1"));

  CACalculatorConverter again(defaults);
  EXPECT_EQ(again.fromUnitLabel()->text(), QStringLiteral("Kelvin"));
  EXPECT_EQ(again.toTable()->currentRow(), 1);
}

TEST_F(CalculatorConverterTest, AnotherCategoryStartsWithoutTheOldNumbers) {
  CACalculatorConverter converter(defaults);
  EXPECT_EQ(convert(converter, QStringLiteral("26.2")), QStringLiteral("42.16"));
  QTest::mouseClick(converter.categoryMatrix()->button(kCategoryTemperature), Qt::LeftButton);
  EXPECT_EQ(converter.valueField()->text(), QString());
  EXPECT_EQ(converter.convertField()->text(), QString());
  // Choosing the category shown again keeps what was typed.
  converter.valueField()->setText(QStringLiteral("100"));
  QTest::mouseClick(converter.categoryMatrix()->button(kCategoryTemperature), Qt::LeftButton);
  EXPECT_EQ(converter.valueField()->text(), QStringLiteral("100"));
}

TEST_F(CalculatorConverterTest, AnUnknownUnitNameFromFeetBeepsAndConvertsNothing) {
  CACalculatorConverter converter(defaults);
  converter.fromTable()->setCurrentRow(kLengthFootRow);
  converter.toTable()->setCurrentRow(2);  // inches
  EXPECT_EQ(convert(converter, QStringLiteral("5'6")), QStringLiteral("66.0"));
  EXPECT_EQ(beeps, 0);
  EXPECT_EQ(convert(converter, QStringLiteral("2 mi")), QString());
  EXPECT_EQ(beeps, 1);
}

// From Foot, a text the locale reads as a plain number is that many feet, as it is from every
// other unit, though the reader of feet and inches takes "." for the decimal point everywhere.
TEST_F(CalculatorConverterTest, FromFeetAPlainNumberOfTheLocaleIsThatNumber) {
  const struct {
    const char* locale;
    const char* feet;
    const char* inches;
  } cases[] = {
      {"en_US", "1,000", "12,000.0"}, {"en_US", "2.5", "30.0"},  {"de_DE", "1.000", "12.000,0"},
      {"de_DE", "2,5", "30,0"},       {"de_DE", "5'6", "66,0"},  {"fr_FR", "2,5", "30,0"},
  };
  for (const auto& c : cases) {
    const TestLocale locale(c.locale);
    CACalculatorConverter converter(defaults);
    converter.fromTable()->setCurrentRow(kLengthFootRow);
    converter.toTable()->setCurrentRow(2);  // inches
    EXPECT_EQ(convert(converter, QString::fromLatin1(c.feet)), QString::fromUtf8(c.inches))
        << c.locale << ' ' << c.feet;
  }
  EXPECT_EQ(beeps, 0);
}

}  // namespace
