#include "calculator/controllers/CACalculatorProgram.h"
#include "calculator/controllers/CACalculatorStandard.h"

#include "calculator/controllers/CAAppController.h"
#include "CalculatorTestSupport.h"
#include "calculator/controllers/CACalculatorButton.h"
#include "calculator/controllers/CAProgrammerEngine.h"
#include "calculator/controllers/CAStandardEngine.h"
#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/controllers/caCalculatorWindows.h"
#include "calculator/model/LocaleTestSupport.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

namespace {

class CalculatorWindowTest : public CalculatorTest {
 protected:
  CalculatorWindowTest() : defaults(QStringLiteral("test.calculatorWindows")) {
    for (const char* key : {kStandardCalcStackKey, kProgrammerCalcStackKey, kCalcMemoryKey, kProgrammerBaseKey}) {
      defaults.removeObjectForKey(QLatin1String(key));
    }
  }
  static void keys(QWidget* view, const char* text) {
    for (const char* c = text; *c; ++c) QTest::keyClick(view, *c);
  }
  static void show(QWidget& window) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  static void click(CACalculatorButton* key) {
    ASSERT_NE(key, nullptr);
    QTest::mouseClick(key, Qt::LeftButton);
  }
  static QAction* action(QWidget* window, const QKeySequence& shortcut) {
    for (QAction* action : window->actions()) {
      if (action->shortcut() == shortcut) return action;
    }
    return nullptr;
  }

  UserDefaults defaults;
};

TEST_F(CalculatorWindowTest, TypedKeysWorkTheStandardCalculator) {
  CACalculatorStandard window(defaults);
  keys(window.keyEaterView(), "2+3=");
  EXPECT_EQ(window.accumulatorField()->text(), QStringLiteral("5.00"));
  keys(window.keyEaterView(), "50%20=");
  EXPECT_EQ(window.accumulatorField()->text(), QStringLiteral("10.00"));
  // Return does nothing here; Escape clears the entry; Delete removes the last typed digit.
  keys(window.keyEaterView(), "12");
  QTest::keyClick(window.keyEaterView(), Qt::Key_Return);
  EXPECT_EQ(window.accumulatorField()->text(), QStringLiteral("12"));
  QTest::keyClick(window.keyEaterView(), Qt::Key_Backspace);
  EXPECT_EQ(window.accumulatorField()->text(), QStringLiteral("1"));
  QTest::keyClick(window.keyEaterView(), Qt::Key_Escape);
  EXPECT_FALSE(window.engine().accumulating());
  EXPECT_EQ(beeps, 0);
}

TEST_F(CalculatorWindowTest, ClickedKeysWorkTheStandardCalculatorAndTypedOnesFlash) {
  CACalculatorStandard window(defaults);
  show(window);
  click(window.buttonForDigit(7));
  click(window.buttonForFunction(kFunctionMultiply));
  click(window.buttonForDigit(6));
  click(window.buttonForFunction(kFunctionEquals));
  EXPECT_EQ(window.accumulatorField()->text(), QStringLiteral("42.00"));
  EXPECT_EQ(window.buttonForFunction(kFunctionEquals)->text(), QString());

  QTest::keyClick(window.keyEaterView(), '9');
  EXPECT_TRUE(window.buttonForDigit(9)->isDown());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.buttonForDigit(9)->isDown(); }, 10000));
}

// The percent key, typed as "%" or clicked, shows its result at once and the calculation goes on.
TEST_F(CalculatorWindowTest, ThePercentKeyWorksTypedAndClicked) {
  const struct {
    const char* keys;
    const char* shown;
  } cases[] = {
      {"50+10%", "55.00"},    {"50+10%=", "55.00"},  {"50-10%=", "45.00"},      {"200*10%", "20.00"},
      {"200/10%=", "2,000.00"}, {"10%", "0.10"},    {"200*10%+1=", "21.00"}, {"50%20=", "10.00"},
  };
  for (const bool clicked : {false, true}) {
    CACalculatorStandard window(defaults);
    show(window);
    for (const auto& c : cases) {
      click(window.buttonForFunction(kFunctionAllClear));
      for (const char* key = c.keys; *key; ++key) {
        if (clicked && *key == '%') {
          click(window.buttonForFunction(kFunctionPercent));
        } else {
          QTest::keyClick(window.keyEaterView(), *key);
        }
      }
      EXPECT_EQ(window.accumulatorField()->text(), QLatin1String(c.shown)) << c.keys << (clicked ? " clicked" : "");
    }
  }
  EXPECT_EQ(beeps, 0);
}

TEST_F(CalculatorWindowTest, ArrowsRecallAndStoreTheMemory) {
  CACalculatorStandard window(defaults);
  keys(window.keyEaterView(), "8=");
  QTest::keyClick(window.keyEaterView(), Qt::Key_Right);
  EXPECT_EQ(CACalculatorEngine::memory(), Exact(8));
  keys(window.keyEaterView(), "1+");
  QTest::keyClick(window.keyEaterView(), Qt::Key_Left);
  keys(window.keyEaterView(), "=");
  EXPECT_EQ(window.engine().stack().first(), Exact(9));
}

TEST_F(CalculatorWindowTest, InsertedTextStopsAtTheFirstRefusedCharacter) {
  CACalculatorStandard window(defaults);
  window.keyEaterView()->insertText(QStringLiteral("4*5=?7"));
  EXPECT_EQ(window.accumulatorField()->text(), QStringLiteral("20.00"));
  EXPECT_EQ(beeps, 1);
}

TEST_F(CalculatorWindowTest, PasteEntersAtMostAHundredDigits) {
  CACalculatorStandard window(defaults);
  QApplication::clipboard()->setText(QString(150, QLatin1Char('1')));
  QAction* paste = action(&window, QKeySequence::Paste);
  paste->trigger();
  // Not cut to the hundred digits taken: a number other than the one pasted is never entered.
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(window.engine().stack().size(), 0);
  QApplication::clipboard()->setText(QString(100, QLatin1Char('1')));
  paste->trigger();
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(window.engine().stack().size(), 1);
  action(&window, QKeySequence::Copy)->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), window.accumulatorField()->text());
}

// Copy then Paste into a fresh calculator gives the number shown, in the locale's number text.
TEST_F(CalculatorWindowTest, WhatIsCopiedPastesBackInEveryLocale) {
  const struct {
    const char* locale;
    const char* shown;  // UTF-8
  } cases[] = {{"en_US", "4,471.25"}, {"de_DE", "4.471,25"}, {"fr_FR", "4\u202F471,25"}};
  for (const auto& c : cases) {
    const TestLocale locale(c.locale);
    CACalculatorStandard copied(defaults);
    keys(copied.keyEaterView(), "4471.25=");
    ASSERT_EQ(copied.accumulatorField()->text(), QString::fromUtf8(c.shown)) << c.locale;
    action(&copied, QKeySequence::Copy)->trigger();
    CACalculatorStandard pasted(defaults);
    action(&pasted, QKeySequence::Paste)->trigger();
    EXPECT_EQ(pasted.engine().stack(), QList<CANumber>{Exact(17885, 4)}) << c.locale;
    EXPECT_EQ(pasted.accumulatorField()->text(), QString::fromUtf8(c.shown)) << c.locale;
  }
  EXPECT_EQ(beeps, 0);
}

// In every locale the calculators are tried in, the display copied and pasted into a fresh
// calculator is the number shown: negative, grouped, with the locale's separators.
TEST_F(CalculatorWindowTest, EveryLocaleReadsWhatTheCalculatorsShow) {
  const struct {
    int base;          // of the programmer's base chooser; -1: the standard calculator
    const char* keys;  // "\r": Return
    CANumber shown;
  } cases[] = {
      {-1, "0-1234567.25=", Exact(-4938269, 4)}, {-1, "987654321.5=", Exact(1975308643, 2)},
      {2, "0\r1234567-", Exact(-1234567)},       {4, "0\r1234567.25-", Exact(-4938269, 4)},
  };
  const auto make = [this](int base) -> std::unique_ptr<CACalculatorBase> {
    if (base < 0) return std::make_unique<CACalculatorStandard>(defaults);
    auto programmer = std::make_unique<CACalculatorProgram>(defaults);
    emit programmer->baseChooser()->activated(base);
    return programmer;
  };
  for (const char* name : {"C", "en_US", "de_DE", "de_CH", "fr_FR", "ar_EG", "hi_IN"}) {
    const TestLocale locale(name);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(name) + ' ' + c.keys);
      const std::unique_ptr<CACalculatorBase> copied = make(c.base);
      for (const char* key = c.keys; *key; ++key) {
        if (*key == '\r') QTest::keyClick(copied->keyEaterView(), Qt::Key_Return);
        else QTest::keyClick(copied->keyEaterView(), *key);
      }
      ASSERT_EQ(copied->engine().stack().first(), c.shown);
      action(copied.get(), QKeySequence::Copy)->trigger();
      const std::unique_ptr<CACalculatorBase> pasted = make(c.base);
      action(pasted.get(), QKeySequence::Paste)->trigger();
      EXPECT_EQ(pasted->engine().stack(), QList<CANumber>{c.shown});
      EXPECT_EQ(pasted->accumulatorField()->text(), copied->accumulatorField()->text());
    }
  }
  EXPECT_EQ(beeps, 0);
}

// A paste that holds no digit is no number: it beeps and changes nothing, so that no Enter
// repeats the top entry and a number being typed goes on.
TEST_F(CalculatorWindowTest, APasteWithoutADigitBeepsAndChangesNothing) {
  const char* const texts[] = {"-", "\u2212", " ", "- ", ".", "-.", "\u202F"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    beeps = 0;
    QApplication::clipboard()->setText(QString::fromUtf8(text));
    {
      // 7, Enter, paste, + : the lone 7 has nothing to add to.
      CACalculatorProgram window(defaults);
      window.engine().setStack({});
      keys(window.keyEaterView(), "7");
      QTest::keyClick(window.keyEaterView(), Qt::Key_Return);
      const QString shown = window.accumulatorField()->text();
      action(&window, QKeySequence::Paste)->trigger();
      EXPECT_EQ(beeps, 1);
      EXPECT_EQ(window.engine().stack(), QList<CANumber>{Exact(7)});
      EXPECT_EQ(window.accumulatorField()->text(), shown);
      keys(window.keyEaterView(), "+");
      EXPECT_EQ(window.engine().stack(), QList<CANumber>{Exact(7)});
    }
    {
      // 12 being typed stays typed: + 3 = gives 15.
      CACalculatorStandard window(defaults);
      keys(window.keyEaterView(), "12");
      action(&window, QKeySequence::Paste)->trigger();
      EXPECT_EQ(window.accumulatorField()->text(), QStringLiteral("12"));
      EXPECT_TRUE(window.engine().accumulating());
      keys(window.keyEaterView(), "+3=");
      EXPECT_EQ(window.engine().stack(), QList<CANumber>{Exact(15)});
    }
  }
}

TEST_F(CalculatorWindowTest, TheProgrammersCalculatorEntersOnReturn) {
  CACalculatorProgram window(defaults);
  show(window);
  keys(window.keyEaterView(), "7");
  QTest::keyClick(window.keyEaterView(), Qt::Key_Return);
  keys(window.keyEaterView(), "3");
  click(window.buttonForFunction(kFunctionRemainder));
  EXPECT_EQ(window.engine().stack(), QList<CANumber>{Exact(1)});
  QTest::keyClick(window.keyEaterView(), Qt::Key_Enter, Qt::KeypadModifier);  // duplicates
  EXPECT_EQ(window.engine().stack().size(), 2);
  QTest::keyClick(window.keyEaterView(), Qt::Key_Up);  // drops
  EXPECT_EQ(window.engine().stack().size(), 1);
  keys(window.keyEaterView(), "=");
  EXPECT_EQ(beeps, 1);  // equals has no use here
}

TEST_F(CalculatorWindowTest, TheBaseDecidesWhichDigitKeysWork) {
  CACalculatorProgram window(defaults);
  window.baseChooser()->setCurrentIndex(1);
  emit window.baseChooser()->activated(1);
  EXPECT_EQ(defaults.integerForKey(QLatin1String(kProgrammerBaseKey)), 1);
  EXPECT_EQ(window.programmerEngine().base(), 8);
  for (int digit = 0; digit < 16; ++digit) EXPECT_EQ(window.buttonForDigit(digit)->isEnabled(), digit < 8) << digit;
  keys(window.keyEaterView(), "89A");
  EXPECT_EQ(beeps, 3);
  keys(window.keyEaterView(), "17");
  QTest::keyClick(window.keyEaterView(), Qt::Key_Return);
  EXPECT_EQ(window.engine().stack().first(), Exact(15));
  EXPECT_TRUE(window.accumulatorField()->text().endsWith(QStringLiteral("017")));
}

TEST_F(CalculatorWindowTest, TheStackListRecallsAnEntry) {
  CACalculatorProgram window(defaults);
  for (const char* number : {"1", "2", "3"}) {
    keys(window.keyEaterView(), number);
    QTest::keyClick(window.keyEaterView(), Qt::Key_Return);
  }
  QComboBox* list = window.stackButton();
  ASSERT_EQ(list->count(), 4);
  EXPECT_EQ(list->itemText(1), QStringLiteral("3"));
  emit list->activated(3);
  EXPECT_EQ(window.engine().stack(), (QList<CANumber>{Exact(1), Exact(3), Exact(2)}));
  EXPECT_EQ(list->currentIndex(), 0);
  EXPECT_EQ(list->itemText(1), QStringLiteral("1"));
}

TEST_F(CalculatorWindowTest, TheStackIsSavedWhenTheWindowClosesAndAtQuit) {
  {
    CACalculatorStandard window(defaults);
    keys(window.keyEaterView(), "6*7=");
    window.close();
  }
  {
    CACalculatorStandard window(defaults);
    EXPECT_EQ(window.accumulatorField()->text(), QStringLiteral("42.00"));
    keys(window.keyEaterView(), "1+");
    NotificationCenter::defaultCenter().post(QLatin1String(kQuittingNotification));
    EXPECT_EQ(defaults.arrayForKey(QLatin1String(kStandardCalcStackKey)).size(), 1);
    window.engine().executeFunction(kFunctionAllClear, false);
    window.close();
  }
  EXPECT_FALSE(defaults.objectForKey(QLatin1String(kStandardCalcStackKey)).isValid());
}

TEST_F(CalculatorWindowTest, DecimalDigitsReachTheOtherCalculators) {
  CACalculatorStandard standard(defaults);
  CACalculatorProgram programmer(defaults);
  programmer.programmerEngine().changeBase(4);
  keys(standard.keyEaterView(), "1/3=");
  keys(programmer.keyEaterView(), "3");
  QTest::keyClick(programmer.keyEaterView(), Qt::Key_Return);
  EXPECT_EQ(standard.accumulatorField()->text(), QStringLiteral("0.33"));
  standard.changeFloatDigits(3);
  EXPECT_EQ(standard.accumulatorField()->text(), QStringLiteral("0.333"));
  EXPECT_EQ(programmer.accumulatorField()->text(), QStringLiteral("3.000"));
}

TEST_F(CalculatorWindowTest, OneWindowOfEachCalculator) {
  QWidget* first = OpenCalculatorForMask(kStandardCalculatorMask, false, defaults);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(OpenCalculatorForMask(kStandardCalculatorMask, false, defaults), first);
  EXPECT_EQ(OpenCalculatorForMask(3, false, defaults), nullptr);
  QWidget* converter = OpenCalculatorForMask(kConverterCalculatorMask, false, defaults);
  EXPECT_EQ(OpenCalculatorMask(), kStandardCalculatorMask | kConverterCalculatorMask);
  first->close();
  converter->close();
  EXPECT_EQ(OpenCalculatorMask(), 0);
  QWidget* programmer = OpenCalculatorForMask(kProgrammerCalculatorMask, true, defaults);
  EXPECT_TRUE(QTest::qWaitFor([&] { return programmer->isVisible(); }, 10000));
  EXPECT_EQ(OpenCalculatorMask(), kProgrammerCalculatorMask);
  OpenCalculatorForMask(kProgrammerCalculatorMask, false, defaults)->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}


TEST_F(CalculatorWindowTest, ColoursChosenInOneWindowReachTheOthers) {
  CACalculatorStandard standard(defaults);
  CACalculatorProgram programmer(defaults);
  int posts = 0;
  const NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kCalcColorNotification), &standard, [&posts](const Notification&) { ++posts; });
  standard.changeBackColor(MakeKolor(10, 20, 30));
  EXPECT_EQ(programmer.backgroundView()->palette().color(QPalette::Window), QColor(10, 20, 30));
  standard.changeButtonColor(MakeKolor(200, 0, 0));
  EXPECT_EQ(CalculatorPreferences().buttonKolor, MakeKolor(200, 0, 0));
  standard.resetColor();
  EXPECT_FALSE(programmer.backgroundView()->autoFillBackground());
  EXPECT_EQ(CalculatorPreferences().buttonKolor, kNoKolor);
  EXPECT_EQ(posts, 3);
}

// The word size chooser: the largest positive number of each word, plus one, wraps to the most
// negative, shown in the word's digits.
TEST_F(CalculatorWindowTest, TheWordSizeChooserSetsTheIntegersWord) {
  CACalculatorProgram window(defaults);
  QComboBox* chooser = window.wordSizeChooser();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->currentData().toInt(), 64);
  struct Case {
    int bits;
    int baseIndex;  // of the base chooser: 2 decimal, 3 hexadecimal
    const char* largest;
    const char* shownLargest;
    const char* shownWrapped;
    int64_t wrapped;
  } const cases[] = {
      {8, 3, "7F", "7F", "80", -128},
      {16, 3, "7FFF", "7FFF", "8000", -32768},
      {32, 3, "7FFFFFFF", "7FFFFFFF", "80000000", -2147483648LL},
      {8, 2, "127", "127", "-128", -128},
      {16, 2, "32767", "32,767", "-32,768", -32768},
  };
  for (const Case& c : cases) {
    window.engine().setStack({});
    emit window.baseChooser()->activated(c.baseIndex);
    const int index = chooser->findData(c.bits);
    ASSERT_GE(index, 0) << c.bits;
    chooser->setCurrentIndex(index);
    emit chooser->activated(index);
    EXPECT_EQ(CalculatorWordSize(), c.bits);
    keys(window.keyEaterView(), c.largest);
    QTest::keyClick(window.keyEaterView(), Qt::Key_Return);
    EXPECT_EQ(window.accumulatorField()->text(), QLatin1String(c.shownLargest)) << c.bits << ' ' << c.largest;
    keys(window.keyEaterView(), "1+");
    EXPECT_EQ(window.engine().stack().first(), Exact(c.wrapped)) << c.bits << ' ' << c.largest;
    EXPECT_EQ(window.accumulatorField()->text(), QLatin1String(c.shownWrapped)) << c.bits << ' ' << c.largest;
  }
  // Typed digits wrap the same way: FF is -1 in a byte.
  emit window.baseChooser()->activated(3);
  emit chooser->activated(chooser->findData(8));
  keys(window.keyEaterView(), "FF");
  QTest::keyClick(window.keyEaterView(), Qt::Key_Return);
  EXPECT_EQ(window.engine().stack().first(), Exact(-1));
  // Decimal floating numbers have no word.
  emit window.baseChooser()->activated(4);
  EXPECT_FALSE(chooser->isEnabled());
  emit window.baseChooser()->activated(3);
  EXPECT_TRUE(chooser->isEnabled());
  EXPECT_EQ(chooser->currentData().toInt(), 8);
}

}  // namespace

namespace {

// The point key wears the separator the display shows and the locale types, in both calculators
// that have one; clicked between digits it makes the number the display then shows, rounded to
// the calculator's places as every display is.
TEST_F(CalculatorWindowTest, ThePointKeyWearsTheLocalesDecimalSeparator) {
  const struct {
    const char* locale;
    const char* point;  // UTF-8
  } cases[] = {{"C", "."},     {"en_US", "."}, {"de_DE", ","},           {"fr_FR", ","},
               {"de_CH", "."}, {"sv_SE", ","}, {"ar_EG", "\u066B"}, {"hi_IN", "."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    const TestLocale locale(c.locale);
    const QString point = QString::fromUtf8(c.point);
    CACalculatorStandard standard(defaults);
    CACalculatorProgram programmer(defaults);
    emit programmer.baseChooser()->activated(4);  // floating
    for (CACalculatorBase* window : std::initializer_list<CACalculatorBase*>{&standard, &programmer}) {
      show(*window);
      CACalculatorButton* key = window->buttonForDigit(kDecimalPointDigit);
      ASSERT_NE(key, nullptr);
      EXPECT_EQ(key->text(), point);
      for (const int digit : {1, kDecimalPointDigit, 1, 2, 5}) click(window->buttonForDigit(digit));
      EXPECT_EQ(window->accumulatorField()->text(), QLatin1Char('1') + point + QStringLiteral("125"));
    }
    click(standard.buttonForFunction(kFunctionEquals));
    EXPECT_EQ(standard.engine().stack().first(), Exact(9, 8));
    EXPECT_EQ(standard.accumulatorField()->text(), QLatin1Char('1') + point + QStringLiteral("13"));
  }
  EXPECT_EQ(beeps, 0);
}

}  // namespace
