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
#include <QPushButton>
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

// The converter window as a user works it: a value typed and entered, the result copied with the
// Copy button and pasted into the value field with the field's paste keys.
class ConverterWindowTest : public CalculatorConverterTest {
 protected:
  // Types each character as a key of its own; a blank or a separator no key names comes as the
  // text of a key the keyboard layout gives it.
  static void enter(CACalculatorConverter& converter, const QString& typed) {
    QTest::keySequence(converter.valueField(), QKeySequence::SelectAll);
    for (const QChar c : typed) {
      if (c.unicode() < 0x7F)
        QTest::keyClick(converter.valueField(), char(c.unicode()));
      else
        QTest::sendKeyEvent(QTest::Click, converter.valueField(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    QTest::keyClick(converter.valueField(), Qt::Key_Return);
  }
  static void copyResult(CACalculatorConverter& converter) {
    for (QPushButton* button : converter.findChildren<QPushButton*>()) {
      if (button->text() == QLatin1String("Copy")) QTest::mouseClick(button, Qt::LeftButton);
    }
  }
  static void pasteAndEnter(CACalculatorConverter& converter) {
    QTest::keySequence(converter.valueField(), QKeySequence::SelectAll);
    QTest::keySequence(converter.valueField(), QKeySequence::Paste);
    QTest::keyClick(converter.valueField(), Qt::Key_Return);
  }
};

// French groups thousands with a narrow no-break space; the result, copied and pasted back,
// converts again, as does a number typed with a no-break space or a plain blank.
TEST_F(ConverterWindowTest, AFrenchResultPastesBackAndConvertsAgain) {
  const struct {
    const char* typed;  // UTF-8
    const char* shown;
    const char* again;  // the shown result pasted and converted again
  } cases[] = {
      {"1234,5", "1\u202F986,74", "3\u202F197,35"},
      {"-1234,5", "-1\u202F986,74", "-3\u202F197,35"},
      {"1234567,5", "1\u202F986\u202F843,8", "3\u202F197\u202F515,15"},
      {"1 234,5", "1\u202F986,74", "3\u202F197,35"},
      {"1\u00A0234,5", "1\u202F986,74", "3\u202F197,35"},
      {"-1\u202F234\u202F567,5", "-1\u202F986\u202F843,8", "-3\u202F197\u202F515,15"},
  };
  const TestLocale locale("fr_FR");
  for (const auto& c : cases) {
    CACalculatorConverter converter(defaults);
    enter(converter, QString::fromUtf8(c.typed));
    EXPECT_EQ(converter.convertField()->text(), QString::fromUtf8(c.shown)) << c.typed;
    copyResult(converter);
    pasteAndEnter(converter);
    EXPECT_EQ(converter.valueField()->text(), QString::fromUtf8(c.shown)) << c.typed;
    EXPECT_EQ(converter.convertField()->text(), QString::fromUtf8(c.again)) << c.typed;
  }
  EXPECT_EQ(beeps, 0);
}

// In every locale the calculators are tried in, a result pasted into the value field is read as
// the number shown: converted from kilometres to kilometres it shows the very same text.
TEST_F(ConverterWindowTest, EveryLocaleReadsItsOwnResult) {
  const char* const locales[] = {"C", "en_US", "de_DE", "de_CH", "fr_FR", "ar_EG", "hi_IN"};
  const char* const values[] = {"1234.5", "-1234.5", "1234567.5", "0.25", "-0.5", "987654321"};
  constexpr int kKilometerRow = 6;
  for (const char* name : locales) {
    const TestLocale locale(name);
    for (const char* value : values) {
      SCOPED_TRACE(std::string(name) + ' ' + value);
      CACalculatorConverter converter(defaults);
      const QString typed = QString::fromLatin1(value).replace(QLatin1Char('.'), QLocale().decimalPoint());
      enter(converter, typed);
      const QString shown = converter.convertField()->text();
      ASSERT_FALSE(shown.isEmpty());
      copyResult(converter);
      converter.fromTable()->setCurrentRow(kKilometerRow);
      converter.toTable()->setCurrentRow(kKilometerRow);
      pasteAndEnter(converter);
      EXPECT_EQ(converter.convertField()->text(), shown);
    }
  }
  EXPECT_EQ(beeps, 0);
}

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
