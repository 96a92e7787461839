// The find panel and the sort, fill and link dialogs, driven as the user drives them and
// checked on the document, its undo steps and the shared preferences.
#include "calculator/controllers/CAApplication.h"
#include "calculator/controllers/CAFillDialog.h"
#include "calculator/controllers/CAFindDialog.h"
#include "calculator/controllers/CALinkDialog.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CASortDialog.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAFormulaTextView.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flDates.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/TestFiles.h"
#include "support/EventWaits.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

class DialogsTest : public testing::Test {
 protected:
  DialogsTest() {
    FLKernel::sharedInstance();
    preferences.installProviders();
    CAModelHooks hooks;
    hooks.beep = [this] { ++beeps; };
    SetModelHooks(std::move(hooks));
    // The find panel lives as long as the process and the preferences' domain as long as the
    // user's: each test starts with no search and the panel showing that, as the menu's option
    // commands tell it.
    preferences.setValue(CAIntPreference::searchScope, kFindEntered);
    preferences.setSearchString(QString());
    preferences.setReplaceString(QString());
    setSearchOptions(0);
    controller.prepareToShow();
    controller.mainWindow()->resize(900, 600);
    MakeKeyAndOrderFront(controller.mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
  }
  ~DialogsTest() override {
    if (CAFindDialog::exists()) CAFindDialog::sharedInstance().hide();
    controller.mainWindow()->close();
    SetModelHooks(CAModelHooks());
  }

  CADocument& document() const { return *controller.document(); }
  // Sets the search options as the Find menu's commands do, which the panel follows.
  void setSearchOptions(int64_t mask) {
    preferences.setValue(CAIntPreference::searchOptionMask, mask);
    NotificationCenter::defaultCenter().post(QLatin1String(kSearchChangedNotification));
  }
  void put(int64_t x, int64_t y, const char* text) {
    document().setCellAtPoint(GridPoint{x, y}, QVariant(QString::fromUtf8(text)), kValueText);
  }
  std::string text(int64_t x, int64_t y) const {
    const CACell* cell = document().cellAtGridPoint(GridPoint{x, y});
    return cell ? cell->displayText(false).toStdString() : "-";
  }
  std::string column(int64_t x, int64_t rows) const {
    std::string result;
    for (int64_t y = 0; y < rows; ++y) {
      if (y) result += ' ';
      result += text(x, y);
    }
    return result;
  }
  std::string undoTitle() const {
    QString title;
    controller.undoManager()->validateState(true, &title);
    return title.toStdString();
  }
  QAction* item(const char* name) const {
    return controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
  }
  template <typename T>
  static T* child(QWidget* parent, const char* name) {
    T* widget = parent->findChild<T*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  static void type(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
  }

  UserDefaults defaults{QStringLiteral("dialogs-test")};
  CAPrefController preferences{defaults, false};
  CAApplication application;
  mutable CAWindowController controller;
  int beeps = 0;
};

TEST_F(DialogsTest, TheDialogCommandsFollowTheSelectionAndTheLock) {
  struct Case {
    GridRange selection;
    bool locked;
    bool fill, sort, link;
  };
  const Case cases[] = {
      {{{1, 1}, {1, 1}}, false, false, true, true},
      {{{1, 1}, {1, 2}}, false, true, true, true},
      {{{kGridWildcard, 1}, {kGridWildcard, 3}}, false, true, true, true},
      {{{2, kGridWildcard}, {2, kGridWildcard}}, false, true, true, true},
      {{{1, 1}, {1, 2}}, true, false, false, false},
  };
  for (const Case& c : cases) {
    document().setSelectionRange(c.selection);
    document().setLocked(c.locked);
    EXPECT_EQ(controller.validateMenuItem(item("fill:")), c.fill) << c.selection.endPoint.y;
    EXPECT_EQ(controller.validateMenuItem(item("sort:")), c.sort);
    EXPECT_EQ(controller.validateMenuItem(item("insertLink:")), c.link);
    EXPECT_TRUE(controller.validateMenuItem(item("find:")));
  }
}

TEST_F(DialogsTest, TheFindPanelStepsThroughMatchesAndAChangedOptionStartsAfresh) {
  put(0, 0, "apple");
  put(1, 2, "Apple pie");
  put(0, 4, "apple");
  setSearchOptions(kSearchFromStart);
  item("find:")->trigger();
  CAFindDialog& panel = CAFindDialog::sharedInstance();
  ASSERT_EQ(panel.document(), &document());
  type(child<QLineEdit>(&panel, "findField"), QStringLiteral("apple"));
  EXPECT_EQ(preferences.searchString(), QStringLiteral("apple"));
  document().setSelectionPoint({3, 3});
  struct Step {
    const char* control;  // a button, or an option box to toggle
    GridPoint selected;
  };
  const Step steps[] = {
      {"findNext", {0, 0}},     // a new find with "from the start" begins at A1
      {"findNext", {0, 4}},     // then goes on from the found cell
      {"ignoreCase", {0, 4}},   // an option changed: the next find is new again
      {"findNext", {0, 0}},     //
      {"findNext", {1, 2}},     // and now finds the capital
      {"findPrevious", {0, 0}},
  };
  for (const Step& step : steps) {
    QAbstractButton* control = child<QAbstractButton>(&panel, step.control);
    control->click();
    EXPECT_EQ(document().activeCellPoint(), step.selected) << step.control;
  }
  EXPECT_EQ(preferences.value(CAIntPreference::searchOptionMask), kSearchFromStart | kSearchIgnoreCase);
}

TEST_F(DialogsTest, TheFindPanelButtonsFollowTheTextTheTargetAndTheLock) {
  item("find:")->trigger();
  CAFindDialog& panel = CAFindDialog::sharedInstance();
  const char* buttons[] = {"findNext", "findPrevious", "replace", "replaceAndFind", "replaceAll"};
  struct Case {
    const char* find;
    bool locked;
    bool closed;
    bool enabled[5];
  };
  const Case cases[] = {
      {"", false, false, {false, false, true, false, false}},
      {"x", false, false, {true, true, true, true, true}},
      {"x", true, false, {true, true, false, false, false}},
      {"x", false, true, {false, false, false, false, false}},
  };
  for (const Case& c : cases) {
    document().setLocked(c.locked);
    panel.setFindString(QLatin1String(c.find));
    if (c.closed) NotificationCenter::defaultCenter().post(QLatin1String(kDocClosingNotification), &document());
    for (size_t i = 0; i < std::size(buttons); ++i)
      EXPECT_EQ(child<QPushButton>(&panel, buttons[i])->isEnabled(), c.enabled[i]) << c.find << buttons[i];
  }
}

TEST_F(DialogsTest, ReplaceAllCountsTheCellsInOneUndoStep) {
  put(0, 0, "red fox");
  put(0, 1, "red red");
  put(0, 2, "blue");
  item("find:")->trigger();
  CAFindDialog& panel = CAFindDialog::sharedInstance();
  type(child<QLineEdit>(&panel, "findField"), QStringLiteral("red"));
  type(child<QLineEdit>(&panel, "replaceField"), QStringLiteral("green"));
  child<QPushButton>(&panel, "replaceAll")->click();
  EXPECT_EQ(child<QLabel>(&panel, "countField")->text(), QStringLiteral("2 replaced"));
  EXPECT_EQ(column(0, 3), "green fox green green blue");
  EXPECT_EQ(undoTitle(), "Undo Replace");
  controller.undoEdit();
  EXPECT_EQ(column(0, 3), "red fox red red blue");
}

// Numbers are found and replaced in their digits in full, as editing shows them, not in their
// rounded display: a replacement changes only the digits it matched.
TEST_F(DialogsTest, FindAndReplaceWorkOnNumbersInFull) {
  const char* entries[] = {"1234567890123456", "123456.7890123", "25"};
  for (int64_t y = 0; y < 3; ++y)
    document().cellAtGridPointImperative(GridPoint{0, y})->setFormula(QString::fromLatin1(entries[y]));
  document().evaluate();
  ASSERT_EQ(column(0, 3), "1.23E+15 123456.79 25");
  setSearchOptions(kSearchFromStart);
  item("find:")->trigger();
  CAFindDialog& panel = CAFindDialog::sharedInstance();
  auto* scope = child<QComboBox>(&panel, "scope");
  scope->setCurrentIndex(scope->findData(kFindShown));
  const struct {
    const char* find;
    GridPoint found;
  } finds[] = {{"1234567890", {0, 0}}, {"456.789", {0, 1}}, {"1.23E+15", {0, 0}}, {"123456.79", {0, 1}}};
  for (const auto& c : finds) {
    document().setSelectionPoint({3, 3});
    type(child<QLineEdit>(&panel, "findField"), QString::fromLatin1(c.find));
    child<QPushButton>(&panel, "findNext")->click();
    EXPECT_EQ(document().activeCellPoint(), c.found) << c.find;
  }
  type(child<QLineEdit>(&panel, "findField"), QStringLiteral("1"));
  type(child<QLineEdit>(&panel, "replaceField"), QStringLiteral("9"));
  child<QPushButton>(&panel, "replaceAll")->click();
  EXPECT_EQ(child<QLabel>(&panel, "countField")->text(), QStringLiteral("2 replaced"));
  const char* replaced[] = {"9234567890923456", "923456.7890923", "25"};
  for (int64_t y = 0; y < 3; ++y) {
    ASSERT_NE(document().cellAtGridPoint(GridPoint{0, y}), nullptr) << y;
    EXPECT_EQ(document().cellAtGridPoint(GridPoint{0, y})->editText().toStdString(), replaced[y]) << y;
  }
  // Replace in the active cell alone does the same.
  type(child<QLineEdit>(&panel, "findField"), QStringLiteral("23"));
  type(child<QLineEdit>(&panel, "replaceField"), QStringLiteral("4"));
  document().setSelectionPoint({0, 1});
  child<QPushButton>(&panel, "replace")->click();
  ASSERT_NE(document().cellAtGridPoint(GridPoint{0, 1}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(GridPoint{0, 1})->editText(), QStringLiteral("94456.789094"));
  scope->setCurrentIndex(scope->findData(kFindEntered));
}

// A cell found only by what it shows has no such text to replace, and a text replaced by itself
// stays as it was: Replace and Replace All change no cell, count none and beep as a search that
// finds nothing does, leaving no undo step.
TEST_F(DialogsTest, AReplaceThatChangesNoCellBeepsAndCountsNone) {
  CACell* percent = document().cellAtGridPointImperative(GridPoint{0, 0});
  percent->setNumberValue(CANumber::withNumerator(1, 2));
  CANumberFormat percentFormat;
  percentFormat.setDisplay(kDisplayPercent);
  percentFormat.setSize(0);
  CAFormat format;
  format.setNumberFormat(&percentFormat);
  percent->setFormat(format);
  put(0, 1, "red");
  document().evaluate();
  ASSERT_EQ(column(0, 2), "50% red");
  ASSERT_NE(document().cellAtGridPoint(GridPoint{0, 0}), nullptr);
  ASSERT_EQ(document().cellAtGridPoint(GridPoint{0, 0})->editText(), QStringLiteral("0.5"));
  setSearchOptions(kSearchFromStart);
  item("find:")->trigger();
  CAFindDialog& panel = CAFindDialog::sharedInstance();
  auto* scope = child<QComboBox>(&panel, "scope");
  scope->setCurrentIndex(scope->findData(kFindBoth));
  const struct {
    const char* find;
    const char* replacement;
    const char* button;
    const char* count;
    GridPoint found;
  } cases[] = {
      {"50", "60", "replace", "", {0, 0}},
      {"50", "60", "replaceAll", "0 replaced", {0, 0}},
      {"red", "red", "replaceAll", "0 replaced", {0, 1}},
      {"red", "red", "replace", "", {0, 1}},
  };
  for (const auto& c : cases) {
    type(child<QLineEdit>(&panel, "findField"), QString::fromLatin1(c.find));
    type(child<QLineEdit>(&panel, "replaceField"), QString::fromLatin1(c.replacement));
    child<QPushButton>(&panel, "findNext")->click();
    ASSERT_EQ(document().activeCellPoint(), c.found) << c.find;
    const int before = beeps;
    const int32_t steps = controller.undoManager()->currentEntry();
    child<QPushButton>(&panel, c.button)->click();
    EXPECT_EQ(child<QLabel>(&panel, "countField")->text(), QString::fromLatin1(c.count)) << c.find << ' ' << c.button;
    EXPECT_EQ(beeps, before + 1) << c.find << ' ' << c.button;
    EXPECT_EQ(column(0, 2), "50% red") << c.find << ' ' << c.button;
    EXPECT_EQ(controller.undoManager()->currentEntry(), steps) << c.find << ' ' << c.button;
  }
  scope->setCurrentIndex(scope->findData(kFindEntered));
}

// A number with more digits than it shows is edited in full with the locale's decimal separator,
// in the cell's field, in the formula bar and by Replace, and keeps its exact value each time.
TEST_F(DialogsTest, ANumberKeepsItsDigitsInEveryLocale) {
  const struct {
    const char* locale;
    const char* shown;
  } locales[] = {{"C", "123456.79"}, {"en_US", "123456.79"}, {"de_DE", "123456,79"},
                 {"fr_FR", "123456,79"}, {"ar_EG", "123456\u066B79"}};
  const GridPoint a1{0, 0};
  for (const auto& l : locales) {
    const TestLocale locale(l.locale);
    const QString separator = NumberTextLocale().decimalSeparator;
    const auto digits = [&separator](const char* fraction) {
      return QStringLiteral("123456") + separator + QString::fromLatin1(fraction);
    };
    const auto value = [this, &a1] {
      const CACell* cell = document().cellAtGridPoint(a1);
      return cell && cell->number() ? cell->number()->archive().toStdString() : std::string("-");
    };
    const auto exactly = [](int64_t numerator, uint64_t denominator) {
      return CANumber::withNumerator(numerator, denominator).archive().toStdString();
    };
    if (CAFindDialog::exists()) CAFindDialog::sharedInstance().hide();
    MakeKeyAndOrderFront(controller.mainWindow());
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
    controller.cellView()->setFocus();
    document().cellAtGridPointImperative(a1)->setFormula(digits("7890123"));
    document().evaluate();
    document().setSelectionPoint(a1);
    ASSERT_EQ(text(0, 0), QString::fromUtf8(l.shown).toStdString()) << l.locale;
    ASSERT_EQ(value(), exactly(1234567890123, 10000000)) << l.locale;

    // The cell's field: Enter opens it, one more digit, Enter commits.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_TRUE(controller.cellView()->isTyping()) << l.locale;
    EXPECT_EQ(controller.cellView()->fieldEditor()->toPlainText(), digits("7890123")) << l.locale;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("4"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(value(), exactly(12345678901234, 100000000)) << l.locale;

    // The formula bar: one more digit, Return commits.
    document().setSelectionPoint(a1);
    CAFormulaTextView* bar = controller.formulaTextView();
    EXPECT_EQ(bar->toPlainText(), digits("78901234")) << l.locale;
    QTest::mouseClick(bar->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
    ASSERT_EQ(QApplication::focusWidget(), bar) << l.locale;
    QTest::keyClick(bar, Qt::Key_End);
    QTest::keyClicks(bar, QStringLiteral("5"));
    QTest::keyClick(bar, Qt::Key_Return);
    EXPECT_EQ(value(), exactly(123456789012345, 1000000000)) << l.locale;

    // Replace All changes the one digit it matched.
    item("find:")->trigger();
    CAFindDialog& panel = CAFindDialog::sharedInstance();
    type(child<QLineEdit>(&panel, "findField"), QStringLiteral("7"));
    type(child<QLineEdit>(&panel, "replaceField"), QStringLiteral("8"));
    child<QPushButton>(&panel, "replaceAll")->click();
    EXPECT_EQ(child<QLabel>(&panel, "countField")->text(), QStringLiteral("1 replaced")) << l.locale;
    EXPECT_EQ(value(), exactly(123456889012345, 1000000000)) << l.locale;
  }
}

// Where dates are written with dots, a dotted date is that date however it reaches a cell: a
// comma-separated file, the cell's field, the formula bar or Replace.
TEST_F(DialogsTest, ADateWrittenWithDotsIsADateWhereverItIsEntered) {
  const TestLocale locale("de_DE");
  const bool savedRequireYear = g_requireDayIndexYear;
  g_requireDayIndexYear = true;  // as the application has it
  const auto dayIndex = [this](int64_t x, int64_t y) -> int64_t {
    const CACell* cell = document().cellAtGridPoint(GridPoint{x, y});
    if (!cell) return -1;
    return cell->valueType() == kValueDate && cell->number() ? cell->number()->integerValue() : 0;
  };
  QTemporaryDir folder;
  const QString csv = folder.filePath(QStringLiteral("dates.csv"));
  ASSERT_TRUE(WriteFileBytes(csv, "01.03.2024,03.03.2024,\"1.234.567,5\",1.000.000,12.34,192.168.1.1\n"
                                 "14.3.2024,31.02.2024\n"));
  ASSERT_NE(document().openFile(csv, nullptr), 0);
  EXPECT_EQ(dayIndex(0, 0), 20240301);
  EXPECT_EQ(dayIndex(1, 0), 20240303);
  ASSERT_NE(document().cellAtGridPoint(GridPoint{2, 0}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(GridPoint{2, 0})->number().value_or(CANumber()), CANumber::withNumerator(2469135, 2));
  // Dots that group digits make a number; dots anywhere else leave the text as it is.
  ASSERT_NE(document().cellAtGridPoint(GridPoint{3, 0}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(GridPoint{3, 0})->number().value_or(CANumber()), CANumber(1000000));
  ASSERT_NE(document().cellAtGridPoint(GridPoint{4, 0}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(GridPoint{4, 0})->valueType(), kValueText);
  ASSERT_NE(document().cellAtGridPoint(GridPoint{5, 0}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(GridPoint{5, 0})->valueType(), kValueText);
  EXPECT_EQ(dayIndex(0, 1), 20240314);
  ASSERT_NE(document().cellAtGridPoint(GridPoint{1, 1}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(GridPoint{1, 1})->valueType(), kValueText);

  MakeKeyAndOrderFront(controller.mainWindow());
  ASSERT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
  // The cell's field: typed into the sheet, Return commits.
  const GridPoint d4{3, 3}, e4{4, 3}, f4{5, 3};
  document().setSelectionPoint(d4);
  controller.cellView()->setFocus();
  for (const QChar c : QStringLiteral("01.03.2024")) QTest::keyClicks(QApplication::focusWidget(), QString(c));
  ASSERT_TRUE(controller.cellView()->isTyping());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(dayIndex(3, 3), 20240301);

  // The formula bar.
  document().setSelectionPoint(e4);
  CAFormulaTextView* bar = controller.formulaTextView();
  QTest::mouseClick(bar->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
  ASSERT_EQ(QApplication::focusWidget(), bar);
  QTest::keyClicks(bar, QStringLiteral("03.03.2024"));
  QTest::keyClick(bar, Qt::Key_Return);
  EXPECT_EQ(dayIndex(4, 3), 20240303);
  document().cellAtGridPointImperative(f4)->setFormula(QStringLiteral("=E4-D4"));
  document().evaluate();
  ASSERT_NE(document().cellAtGridPoint(f4), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(f4)->number().value_or(CANumber()), CANumber(2));

  // A grouped number typed in the formula bar is that number; a stray dot keeps the text.
  for (const auto& [x, typed] : {std::pair{7, "1.234.567,5"}, std::pair{8, "3.14"}}) {
    document().setSelectionPoint(GridPoint{x, 4});
    QTest::mouseClick(bar->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
    ASSERT_EQ(QApplication::focusWidget(), bar);
    QTest::keyClicks(bar, QString::fromLatin1(typed));
    QTest::keyClick(bar, Qt::Key_Return);
  }
  ASSERT_NE(document().cellAtGridPoint(GridPoint{7, 4}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(GridPoint{7, 4})->number().value_or(CANumber()), CANumber::withNumerator(2469135, 2));
  ASSERT_NE(document().cellAtGridPoint(GridPoint{8, 4}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(GridPoint{8, 4})->valueType(), kValueText);

  // Replace All makes a text a date, or a grouped number, and leaves stray dots a text.
  put(6, 3, "14x3x2024");
  put(7, 3, "1x000x000");
  put(8, 3, "12x34");
  item("find:")->trigger();
  CAFindDialog& panel = CAFindDialog::sharedInstance();
  type(child<QLineEdit>(&panel, "findField"), QStringLiteral("x"));
  type(child<QLineEdit>(&panel, "replaceField"), QStringLiteral("."));
  child<QPushButton>(&panel, "replaceAll")->click();
  EXPECT_EQ(child<QLabel>(&panel, "countField")->text(), QStringLiteral("3 replaced"));
  EXPECT_EQ(dayIndex(6, 3), 20240314);
  ASSERT_NE(document().cellAtGridPoint(GridPoint{7, 3}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(GridPoint{7, 3})->number().value_or(CANumber()), CANumber(1000000));
  ASSERT_NE(document().cellAtGridPoint(GridPoint{8, 3}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint(GridPoint{8, 3})->valueType(), kValueText);
  g_requireDayIndexYear = savedRequireYear;
}

TEST_F(DialogsTest, ASearchFromTheWindowShowsInThePanelWithoutComingBack) {
  CAFindDialog& panel = CAFindDialog::sharedInstance();
  int posts = 0;
  const NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kSearchChangedNotification), nullptr, [&posts](const Notification&) { ++posts; });
  preferences.setSearchString(QStringLiteral("total"));
  preferences.setValue(CAIntPreference::searchOptionMask, kSearchWholeWords | kSearchWrap);
  NotificationCenter::defaultCenter().post(QLatin1String(kSearchChangedNotification), &controller);
  EXPECT_EQ(posts, 1);
  EXPECT_EQ(child<QLineEdit>(&panel, "findField")->text(), QStringLiteral("total"));
  EXPECT_TRUE(panel.wholeWords() && panel.wrap() && !panel.ignoreCase() && !panel.fromStart());
}

TEST_F(DialogsTest, ThePanelTargetsTheFrontmostSpreadsheetWindowBehindAnyOther) {
  QWidget calculator;
  calculator.resize(200, 100);
  MakeKeyAndOrderFront(&calculator);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&calculator));
  CAFindDialog::showFind();
  EXPECT_EQ(CAFindDialog::sharedInstance().document(), &document());
}

TEST_F(DialogsTest, SortKeysComeFromTypingAndFromClicksInTheSheet) {
  document().setSelectionPoint({1, 2});
  item("sort:")->trigger();
  auto* dialog = controller.mainWindow()->findChild<CASortDialog*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->primaryKeyField()->text(), QStringLiteral("B3"));  // the active cell
  struct Case {
    bool primary;
    const char* typed;
    GridPoint key;
    int beeps;
  };
  const Case cases[] = {
      {true, "$C$7", {2, 6}, 0},
      {false, "a$2", {0, 1}, 0},
      {false, "7Q", {0, 1}, 1},  // unchanged
      {false, "", {-1, -1}, 1},
  };
  for (const Case& c : cases) {
    QLineEdit* field = c.primary ? dialog->primaryKeyField() : dialog->secondaryKeyField();
    type(field, QLatin1String(c.typed));
    if (!*c.typed) QTest::keyClick(field, Qt::Key_Backspace);
    emit field->editingFinished();
    EXPECT_EQ(c.primary ? document().sortKey1() : document().sortKey2(), c.key) << c.typed;
    EXPECT_EQ(beeps, c.beeps);
  }

  // A click in the sheet names the key of the field being edited, and only then.
  CACellView* grid = controller.cellView();
  const auto click = [&](const GridPoint& point) {
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->rectForGridPoint(point).center().toPoint());
    WaitPastDelay(20);
  };
  dialog->secondaryKeyField()->setFocus();
  click({3, 1});
  EXPECT_TRUE(QTest::qWaitFor([&] { return document().sortKey2() == GridPoint{3, 1}; }, 10000));
  EXPECT_EQ(document().sortKey2(), (GridPoint{3, 1}));
  EXPECT_EQ(dialog->secondaryKeyField()->text(), QStringLiteral("D2"));
  EXPECT_EQ(document().activeCellPoint(), (GridPoint{1, 2}));  // the click selected nothing
  dialog->findChild<QCheckBox*>(QStringLiteral("sortReverse"))->setFocus();
  click({0, 0});
  EXPECT_EQ(document().sortKey1(), (GridPoint{2, 6}));
  EXPECT_EQ(document().sortKey2(), (GridPoint{3, 1}));
  dialog->cancel();
  EXPECT_EQ(CAApplication::specialSelectionWindow(), nullptr);
}

TEST_F(DialogsTest, SortOkSortsTheRowsAsOneStep) {
  put(0, 0, "pear");
  put(0, 1, "apple");
  put(0, 2, "fig");
  document().setSelectionRange({{0, 0}, {0, 2}});
  preferences.setValue(CABoolPreference::sortWholeDoc, false);
  preferences.setValue(CABoolPreference::sortColumns, false);
  item("sort:")->trigger();
  auto* dialog = controller.mainWindow()->findChild<CASortDialog*>();
  ASSERT_NE(dialog, nullptr);
  dialog->findChild<QCheckBox*>(QStringLiteral("sortReverse"))->setChecked(true);
  EXPECT_TRUE(preferences.value(CABoolPreference::sortReverse));
  dialog->ok();
  EXPECT_EQ(column(0, 3), "pear fig apple");
  EXPECT_EQ(undoTitle(), "Undo Sort");
}

// Blank rows in the range take part as every other row does: a key outside the range still
// orders them, and a row whose key is empty stays among the blank rows in its order.
TEST_F(DialogsTest, SortPlacesBlankRowsAsAnyOtherRow) {
  const struct {
    std::vector<std::pair<GridPoint, const char*>> cells;
    GridRange range;
    const char* key;
    const char* expected;  // columns A and B
  } cases[] = {
      {{{{0, 0}, "4"}, {{0, 1}, "3"}, {{0, 2}, "2"}, {{0, 3}, "1"}, {{1, 0}, "a"}, {{1, 2}, "c"}},
       {{1, 0}, {2, 3}}, "A1", "4 3 2 1|- c - a"},
      {{{{0, 0}, "2"}, {{1, 2}, "x"}}, {{0, 0}, {1, 3}}, "A1", "- - - 2|- x - -"},
  };
  preferences.setValue(CABoolPreference::sortWholeDoc, false);
  preferences.setValue(CABoolPreference::sortColumns, false);
  preferences.setValue(CABoolPreference::sortReverse, false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    document().clearRange({{0, 0}, {2, 3}}, kClearAll, kUndoUnnamed);
    for (const auto& [at, text] : c.cells) put(at.x, at.y, text);
    document().setSelectionRange(c.range);
    item("sort:")->trigger();
    auto* dialog = controller.mainWindow()->findChild<CASortDialog*>();
    ASSERT_NE(dialog, nullptr);
    type(dialog->primaryKeyField(), QLatin1String(c.key));
    emit dialog->primaryKeyField()->editingFinished();
    type(dialog->secondaryKeyField(), QString());
    QTest::keyClick(dialog->secondaryKeyField(), Qt::Key_Backspace);
    emit dialog->secondaryKeyField()->editingFinished();
    dialog->ok();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(column(0, 4) + "|" + column(1, 4), c.expected);
  }
}

// A first sort, with nothing stored, sorts rows: columns are reordered only on request.
TEST_F(DialogsTest, AFirstSortOffersToSortRowsNotColumns) {
  UserDefaults fresh{QStringLiteral("dialogs-test-fresh")};
  fresh.removeObjectForKey(QStringLiteral("numlet.sortColumns"));
  CAPrefController firstRun{fresh, false};
  put(6, 2, "b");
  put(6, 3, "a");
  put(7, 2, "2");
  put(7, 3, "1");
  document().setSelectionRange({{6, 2}, {7, 6}});
  item("sort:")->trigger();
  auto* dialog = controller.mainWindow()->findChild<CASortDialog*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->findChild<QCheckBox*>(QStringLiteral("sortColumns"))->isChecked());
  dialog->ok();
  // The rows changed places; the columns stayed.
  EXPECT_EQ(text(6, 2) + text(7, 2) + text(6, 3) + text(7, 3), "a1b2");
}

TEST_F(DialogsTest, TheFillSheetStepsFillsAndRemembersItsChoices) {
  CAFillDialog::resetFillInfo();
  document().setCellAtPoint({0, 0}, QVariant(QStringLiteral("1")), kValueNumber);
  document().setSelectionRange({{0, 0}, {0, 3}});
  controller.validateMenuItems();
  item("fill:")->trigger();
  auto* sheet = controller.mainWindow()->findChild<CAFillDialog*>();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->valueField()->text(), QStringLiteral("1"));
  EXPECT_FALSE(sheet->valueField()->isEnabled());  // a copy takes no step
  child<QButtonGroup>(sheet, "typeMatrix")->button(kFillAdd)->click();
  EXPECT_TRUE(sheet->valueField()->isEnabled());
  type(sheet->valueField(), QStringLiteral("1.5"));
  child<QAbstractSpinBox>(sheet, "spinner")->stepBy(1);
  EXPECT_EQ(sheet->valueField()->text(), QStringLiteral("2"));
  type(sheet->valueField(), QStringLiteral("two"));
  sheet->ok();
  EXPECT_EQ(beeps, 1);
  ASSERT_TRUE(sheet->isVisible());
  type(sheet->valueField(), QStringLiteral("1,000"));
  sheet->ok();
  EXPECT_EQ(column(0, 4), "1 1001 2001 3001");
  EXPECT_EQ(undoTitle(), "Undo Fill");

  // Another window's sheet starts from these choices.
  CAWindowController other;
  other.document()->setSelectionRange({{0, 0}, {0, 1}});
  CAFillDialog* next = CAFillDialog::fillForDocument(*other.document());
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(child<QButtonGroup>(next, "typeMatrix")->checkedId(), kFillAdd);
  EXPECT_EQ(next->valueField()->text(), QStringLiteral("1000"));
  next->cancel();
  EXPECT_EQ(CAFillDialog::fillInfo().step.integerValue(), 1000);
}

// Edit > Fill Series by months or years from a month's last day, typed and filled in the window:
// each cell is the first date plus its steps, clamped to its own month's end.
TEST_F(DialogsTest, TheFillSheetFillsMonthsAndYearsFromTheFirstDate) {
  const struct {
    const char* typed;
    int unit;
    std::vector<int32_t> filled;  // A2 to A7 as day indexes
  } cases[] = {
      {"1/31/2024", kFillMonths, {20240229, 20240331, 20240430, 20240531, 20240630, 20240731}},
      {"2/29/2024", kFillYears, {20250228, 20260228, 20270228, 20280229, 20290228, 20300228}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    CAFillDialog::resetFillInfo();
    document().setSelectionPoint(GridPoint{0, 0});
    // One key event a character to whatever has the keys: the grid, then its typing field.
    controller.cellView()->setFocus();
    for (const QChar key : QString::fromLatin1(c.typed)) QTest::keyClicks(QApplication::focusWidget(), QString(key));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    const CACell* first = document().cellAtGridPoint(GridPoint{0, 0});
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->valueType(), kValueDate);
    document().setSelectionRange({{0, 0}, {0, 6}});
    controller.validateMenuItems();
    item("fill:")->trigger();
    auto* sheet = controller.mainWindow()->findChild<CAFillDialog*>();
    ASSERT_NE(sheet, nullptr);
    child<QButtonGroup>(sheet, "directionMatrix")->button(kFillDown)->click();
    child<QButtonGroup>(sheet, "typeMatrix")->button(kFillDate)->click();
    child<QButtonGroup>(sheet, "dateMatrix")->button(c.unit)->click();
    type(sheet->valueField(), QStringLiteral("1"));
    sheet->ok();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::vector<int32_t> filled;
    for (int64_t y = 1; y <= 6; ++y) {
      const CACell* cell = document().cellAtGridPoint(GridPoint{0, y});
      filled.push_back(cell && cell->valueType() == kValueDate && cell->number() ? int32_t(cell->number()->integerValue())
                                                                                 : 0);
    }
    EXPECT_EQ(filled, c.filled);
    EXPECT_EQ(undoTitle(), "Undo Fill");
  }
}

TEST(HomeRelativeLinkTest, FileLinksBelowHomeBecomeRelative) {
  const QString home = QStringLiteral("/home/ann");
  const char* cases[][2] = {
      {"file://localhost/home/ann/Docs/a.txt", "file:~/Docs/a.txt"},
      {"file:///home/ann/Docs/a%20b.txt", "file:~/Docs/a%20b.txt"},
      {"file:///home/ann/", "file:///home/ann/"},
      {"file:///home/anna/x", "file:///home/anna/x"},
      {"https://example.com/home/ann/x", "https://example.com/home/ann/x"},
  };
  for (const auto& c : cases) EXPECT_EQ(HomeRelativeLink(QLatin1String(c[0]), home), QLatin1String(c[1])) << c[0];
}

TEST_F(DialogsTest, TheLinkSheetStartsFromTheCellAndInsertsTheLink) {
  put(0, 0, "Our site");
  document().setSelectionPoint({0, 0});
  item("insertLink:")->trigger();
  auto* sheet = qobject_cast<CALinkDialog*>(QApplication::activeModalWidget());
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->displayText(), QStringLiteral("Our site"));
  EXPECT_TRUE(sheet->link().isEmpty());
  type(child<QLineEdit>(sheet, "linkField"), QStringLiteral("https://example.com/"));
  sheet->ok();
  const CACell* cell = document().cellAtGridPoint({0, 0});
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->valueType(), kValueLink);
  EXPECT_EQ(cell->displayText(false), QStringLiteral("Our site"));
  EXPECT_EQ(undoTitle(), "Undo Insert");

  auto* again = CALinkDialog::runSheetForWindow(controller);
  EXPECT_EQ(again->link(), QStringLiteral("https://example.com/"));
  again->openPanelEnded(true, QDir::homePath() + QStringLiteral("/Notes/plan.final.txt"));
  EXPECT_EQ(again->link(), QStringLiteral("file:~/Notes/plan.final.txt"));
  EXPECT_EQ(again->displayText(), QStringLiteral("plan.final"));
  again->cancel();
}

}  // namespace
