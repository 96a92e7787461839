#include "calculator/controllers/CAPrefController.h"

#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/fileformats/caPackageReader.h"
#include "platform/UserDefaults.h"
#include "support/LogCapture.h"

#include "calculator/model/CADocument.h"
#include "platform/NotificationCenter.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QTest>
#include <QFile>
#include <QMainWindow>
#include <QStackedWidget>

#include <gtest/gtest.h>

namespace {

class PrefControllerTest : public ::testing::Test {
 protected:
  PrefControllerTest() { QFile::remove(UserDefaults(kDomain).filePath()); }
  ~PrefControllerTest() override { QFile::remove(defaults->filePath()); }

  // The stored keys, as the preferences file would hold them after a save.
  QStringList storedKeys() const {
    QStringList keys;
    for (const char* key : kAllKeys) {
      if (defaults->objectForKey(QLatin1String(key)).isValid()) keys.append(QLatin1String(key));
    }
    return keys;
  }

  static inline const QString kDomain = QStringLiteral("prefs-test");
  static constexpr const char* kAllKeys[] = {
      "numlet.calcBackColor", "numlet.calcButtonColor", "numlet.labelColor", "numlet.calcWordSize",
      "numlet.calcDigits", "numlet.spreadsheetDigits", "numlet.openFormat", "numlet.find", "numlet.replace",
      "numlet.findOptions", "numlet.findScope", "numlet.sortWholeDoc", "numlet.sortColumns", "numlet.sortReverse",
      "numlet.useStopList", "numlet.allowReturns", "numlet.alwaysHide", "numlet.copyBest", "numlet.plainPaste",
      "numlet.roundDown", "numlet.saveValues", "numlet.smallCheck", "numlet.allowDrag", "numlet.autoComplete",
      "numlet.autoSave", "numlet.copyHTML", "numlet.copyValues", "numlet.dragDrop", "numlet.makeBackup",
      "numlet.saveQuicklook", "numlet.saveWorkspace", "numlet.smartLinks", "numlet.tooltips", "numlet.defaultUnits",
      "numlet.zoom", "numlet.xMargin", "numlet.yMargin", "numlet.defaultDigits", "numlet.defaultWidth",
      "numlet.maximize", "numlet.tabOverride", "numlet.font", "numlet.prefPosition", "numlet.untitledPosition",
      "numlet.favoriteColors"};

  std::unique_ptr<UserDefaults> defaults = std::make_unique<UserDefaults>(kDomain);
};

TEST_F(PrefControllerTest, DefaultsAndWhatAFreshSaveLeavesUnwritten) {
  static_assert(std::size(kAllKeys) == 45);
  const struct {
    CAIntPreference preference;
    const char* key;
    int64_t inches;
    int64_t metric;
  } ints[] = {
      {CAIntPreference::integerWordSize, "numlet.calcWordSize", 64, 64},
      {CAIntPreference::defaultUnits, "numlet.defaultUnits", 1, 5},
      {CAIntPreference::defaultXMargin, "numlet.xMargin", 914400, 720000},
      {CAIntPreference::defaultYMargin, "numlet.yMargin", 914400, 720000},
  };
  for (bool metric : {false, true}) {
    const CAPrefController controller(*defaults, metric);
    EXPECT_TRUE(controller.value(CABoolPreference::saveWorkspace));
    EXPECT_FALSE(controller.value(CABoolPreference::sortReverse));
    for (const auto& entry : ints) {
      EXPECT_STREQ(IntPreferenceInfo(entry.preference).key, entry.key);
      EXPECT_EQ(controller.value(entry.preference), metric ? entry.metric : entry.inches) << entry.key;
    }
    EXPECT_EQ(controller.calculatorBackKolor(), kNoKolor);
    EXPECT_EQ(controller.calculatorButtonKolor(), kNoKolor);
    EXPECT_EQ(controller.labelKolor(), 0x64FFEEEEu);
    EXPECT_TRUE(controller.formatOpenStatus().isEmpty());
    EXPECT_TRUE(controller.searchString().isNull());
    EXPECT_TRUE(controller.replaceString().isNull());
    EXPECT_EQ(controller.defaultZoom(), 1.0);
    EXPECT_EQ(controller.defaultFont().pointSizeF(), 12.0);
    EXPECT_EQ(controller.prefPosition(), QPointF(-1, -1));
    EXPECT_TRUE(controller.untitledPosition().isNull());
    EXPECT_FALSE(controller.favoriteColors().isValid());
  }

  // A fresh save writes no colour, no empty list or text, and neither width key while both are 0.
  CAPrefController(*defaults, false).savePreferences();
  QStringList unwritten;
  for (const char* key : kAllKeys) {
    if (!storedKeys().contains(QLatin1String(key))) unwritten.append(QLatin1String(key));
  }
  EXPECT_EQ(unwritten, (QStringList{"numlet.calcBackColor", "numlet.calcButtonColor", "numlet.openFormat",
                                    "numlet.find", "numlet.replace", "numlet.defaultDigits", "numlet.defaultWidth",
                                    "numlet.prefPosition", "numlet.untitledPosition", "numlet.favoriteColors"}));
}

TEST_F(PrefControllerTest, EveryKeyRoundTripsThroughTheFile) {
  {
    CAPrefController controller(*defaults, false);
    for (int i = 0; i < kBoolPreferenceCount; ++i) {
      const auto preference = CABoolPreference(i);
      controller.setValue(preference, !BoolPreferenceInfo(preference).defaultValue);
    }
    for (int i = 0; i < kIntPreferenceCount; ++i) controller.setValue(CAIntPreference(i), 100 + i);
    controller.setValue(CAIntPreference::newSizeOption, 2);
    controller.setCalculatorBackKolor(MakeKolor(10, 20, 30));
    controller.setCalculatorButtonKolor(MakeKolor(200, 100, 0, 50));  // kept without its alpha
    controller.setLabelKolor(MakeKolor(1, 2, 3, 40));
    controller.setFormatOpenStatus({{QStringLiteral("TextPane"), true}});
    controller.setSearchString(QStringLiteral("find me"));
    controller.setReplaceString(QString(""));
    controller.setDefaultZoom(1.25);
    controller.setDefaultFont(QFont(QStringLiteral("DejaVu Serif"), 15));
    controller.setUntitledPosition(QRectF(10, 20, 300, 400));
    controller.setFavoriteColors(QVariantList{QStringLiteral("{1, 2, 3}")});
    controller.sleep();
  }
  const UserDefaults reread(kDomain);
  EXPECT_EQ(reread.stringForKey(QLatin1String(kCalcButtonColorKey)), QStringLiteral("{200, 100, 0}"));
  const CAPrefController controller(*std::make_unique<UserDefaults>(kDomain), false);
  for (int i = 0; i < kBoolPreferenceCount; ++i) {
    const auto preference = CABoolPreference(i);
    EXPECT_NE(controller.value(preference), BoolPreferenceInfo(preference).defaultValue) << i;
  }
  for (int i = 0; i < kIntPreferenceCount; ++i) {
    if (CAIntPreference(i) == CAIntPreference::newSizeOption) continue;
    EXPECT_EQ(controller.value(CAIntPreference(i)), 100 + i) << IntPreferenceInfo(CAIntPreference(i)).key;
  }
  EXPECT_EQ(controller.value(CAIntPreference::newSizeOption), 2);
  EXPECT_EQ(controller.calculatorBackKolor(), MakeKolor(10, 20, 30));
  EXPECT_EQ(controller.calculatorButtonKolor(), MakeKolor(200, 100, 0));
  EXPECT_EQ(controller.labelKolor(), MakeKolor(1, 2, 3, 40));
  EXPECT_EQ(controller.formatOpenStatus().value(QStringLiteral("TextPane")).toBool(), true);
  EXPECT_EQ(controller.searchString(), QStringLiteral("find me"));
  EXPECT_FALSE(controller.replaceString().isNull());
  EXPECT_TRUE(controller.replaceString().isEmpty());
  EXPECT_EQ(controller.defaultZoom(), 1.25);
  EXPECT_EQ(controller.defaultFont().family(), QStringLiteral("DejaVu Serif"));
  EXPECT_EQ(controller.defaultFont().pointSizeF(), 15.0);
  EXPECT_EQ(controller.untitledPosition(), QRectF(10, 20, 300, 400));
  EXPECT_EQ(controller.favoriteColors(), QVariant(QVariantList{QStringLiteral("{1, 2, 3}")}));
}

TEST_F(PrefControllerTest, StoredValuesThatNeedReading) {
  LogCapture log;
  defaults->setInteger(0, QLatin1String(kCalcWordSizeKey));
  defaults->setString(QStringLiteral("{1, 2, 3, 0}"), QLatin1String(kCalcBackColorKey));  // clear
  defaults->setString(QStringLiteral("{1, 2, 3}"), QLatin1String(kCalcButtonColorKey));
  defaults->setString(QStringLiteral("not a font"), QLatin1String(kFontKey));
  defaults->setString(QStringLiteral("{120, 80}"), QLatin1String(kPrefPositionKey));
  defaults->setString(QStringLiteral("{{1, 2}, {3, 4}}"), QLatin1String(kUntitledPositionKey));
  CAPrefController controller(*defaults, false);
  EXPECT_EQ(controller.value(CAIntPreference::integerWordSize), 64);
  EXPECT_EQ(controller.calculatorBackKolor(), kNoKolor);
  EXPECT_EQ(controller.calculatorButtonKolor(), MakeKolor(1, 2, 3));
  EXPECT_EQ(controller.defaultFont().pointSizeF(), 12.0);
  EXPECT_TRUE(log.contains(QStringLiteral("LoadFontFromPrefs failed")));
  EXPECT_EQ(controller.prefPosition(), QPointF(120, 80));
  EXPECT_EQ(controller.untitledPosition(), QRectF(1, 2, 3, 4));

  // The untitled place is kept only while new windows take it; a clear colour is no key.
  controller.savePreferences();
  EXPECT_FALSE(defaults->objectForKey(QLatin1String(kUntitledPositionKey)).isValid());
  EXPECT_FALSE(defaults->objectForKey(QLatin1String(kCalcBackColorKey)).isValid());
  EXPECT_EQ(defaults->stringForKey(QLatin1String(kPrefPositionKey)), QStringLiteral("{120, 80}"));
}

TEST_F(PrefControllerTest, AWidthGivenByHandReplacesTheDigitCount) {
  CAPrefController controller(*defaults, false);
  controller.setDigits(10);
  EXPECT_GT(controller.widthForDigits(10), 10 * kEmuPerPoint);
  controller.setWidth(914400);
  EXPECT_EQ(controller.value(CAIntPreference::defaultDigitCount), -1);
  controller.savePreferences();
  EXPECT_EQ(defaults->integerForKey(QLatin1String(kDefaultDigitsKey)), -1);
  EXPECT_EQ(defaults->integerForKey(QLatin1String(kDefaultWidthKey)), 914400);
  EXPECT_EQ(controller.modelPreferences().defaultWidth, 914400);
}

TEST_F(PrefControllerTest, TheDocumentsReadTheFindSortCopyAndAutosaveSettings) {
  CAPrefController controller(*defaults, false);
  controller.setSearchString(QStringLiteral("total"));
  controller.setValue(CAIntPreference::searchOptionMask, 6);
  controller.setValue(CAIntPreference::searchScope, 2);
  controller.setValue(CABoolPreference::sortReverse, true);
  controller.setValue(CABoolPreference::sortWholeDoc, false);
  controller.setValue(CABoolPreference::copyHTML, false);
  controller.setValue(CABoolPreference::autoSave, false);
  const CAModelPreferences model = controller.modelPreferences();
  EXPECT_EQ(model.searchString, QStringLiteral("total"));
  EXPECT_EQ(model.searchOptionMask, 6u);
  EXPECT_EQ(model.searchScope, 2);
  EXPECT_TRUE(model.sortReverse);
  EXPECT_FALSE(model.sortWholeDoc);
  EXPECT_FALSE(model.sortColumns);  // its default: a first sort reorders rows, not the sheet's columns
  EXPECT_FALSE(model.copyHTML);
  EXPECT_FALSE(model.autoSave);
}

TEST_F(PrefControllerTest, ThePreferencesWindowShowsFourPanesAndEditsThePreferences) {
  CAPrefController controller(*defaults, false);
  controller.showPreferences();
  auto* window = qobject_cast<QMainWindow*>(controller.window());
  EXPECT_EQ(controller.currentPane(), 0);
  auto* stack = qobject_cast<QStackedWidget*>(window->centralWidget());
  EXPECT_EQ(stack->count(), kPreferencePaneCount);
  controller.changePrefPaneCore(3);
  EXPECT_EQ(stack->currentIndex(), 3);
  controller.changePrefPaneCore(7);
  EXPECT_EQ(stack->currentIndex(), 0);
  // The checkbox of "numlet.saveWorkspace" turns the preference off.
  QCheckBox* reopen = nullptr;
  for (QCheckBox* box : window->findChildren<QCheckBox*>()) {
    if (box->text() == QStringLiteral("Reopen documents at launch")) reopen = box;
  }
  ASSERT_NE(reopen, nullptr);
  reopen->click();
  EXPECT_FALSE(controller.value(CABoolPreference::saveWorkspace));
  window->move(150, 160);
  controller.savePreferences();
  EXPECT_EQ(defaults->stringForKey(QLatin1String(kPrefPositionKey)), QStringLiteral("{150, 160}"));
}

TEST_F(PrefControllerTest, TheUnitChoiceSetsTheUnitAndTheLengthsShowInIt) {
  CAPrefController controller(*defaults, false);
  controller.showPreferences();
  QComboBox* popup = nullptr;
  for (QComboBox* box : controller.window()->findChildren<QComboBox*>()) {
    if (box->findText(QStringLiteral("Centimeters")) >= 0) popup = box;
  }
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->currentData().toInt(), 1);  // inches, outside metric locales
  QDoubleSpinBox* xMargin = nullptr;
  for (QDoubleSpinBox* field : controller.window()->findChildren<QDoubleSpinBox*>()) {
    if (field->suffix() == QStringLiteral(" in") && !xMargin) xMargin = field;
  }
  ASSERT_NE(xMargin, nullptr);
  EXPECT_DOUBLE_EQ(xMargin->value(), 1.0);  // 914400 EMU

  int unitChanges = 0;
  const NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kUnitChangeNotification), nullptr, [&unitChanges](const Notification&) { ++unitChanges; });
  const int centimetres = popup->findData(5);
  popup->setCurrentIndex(centimetres);
  emit popup->activated(centimetres);
  EXPECT_EQ(controller.value(CAIntPreference::defaultUnits), 5);
  EXPECT_EQ(unitChanges, 1);
  EXPECT_EQ(xMargin->suffix(), QStringLiteral(" cm"));
  EXPECT_DOUBLE_EQ(xMargin->value(), 2.54);
  // A margin typed in centimetres is stored in EMU.
  xMargin->setValue(2);
  emit xMargin->editingFinished();
  EXPECT_EQ(controller.value(CAIntPreference::defaultXMargin), 720000);
  // The menu's unit command reaches the open window too.
  controller.setValue(CAIntPreference::defaultUnits, 0);
  EXPECT_EQ(popup->currentData().toInt(), 0);
  EXPECT_EQ(xMargin->suffix(), QStringLiteral(" pt"));
  EXPECT_NEAR(xMargin->value(), 720000.0 / 12700, 0.05);
}

TEST_F(PrefControllerTest, NewDocumentSettingsShowTheWidthNewDocumentsTake) {
  CAPrefController controller(*defaults, false);
  controller.setValue(CAIntPreference::defaultUnits, 0);
  controller.showPreferences();
  controller.changePrefPaneCore(3);
  QSpinBox* digits = nullptr;
  for (QSpinBox* box : controller.window()->findChildren<QSpinBox*>()) {
    if (box->maximum() == 100) digits = box;
  }
  QDoubleSpinBox* width = nullptr;
  for (QDoubleSpinBox* field : controller.window()->findChildren<QDoubleSpinBox*>()) {
    if (field->maximum() == 500) width = field;
  }
  ASSERT_NE(digits, nullptr);
  ASSERT_NE(width, nullptr);
  // No stored width: the default count of digits, and their width in the default font.
  EXPECT_EQ(digits->value(), int(kDefaultDigitCount));
  EXPECT_GT(width->value(), 0.0);
  EXPECT_NEAR(width->value(), double(controller.widthForDigits(kDefaultDigitCount)) / 12700, 0.05);
  // A width given by hand shows as itself.
  controller.setWidth(127000);
  EXPECT_EQ(digits->value(), 0);
  EXPECT_DOUBLE_EQ(width->value(), 10.0);
}

TEST_F(PrefControllerTest, EscapeAndTheCloseKeyCloseTheSettings) {
  CAPrefController controller(*defaults, false);
  for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)}) {
    controller.showPreferences();
    QWidget* window = controller.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keySequence(window, key);
    EXPECT_FALSE(window->isVisible()) << key.toString().toStdString();
  }
}

}  // namespace

namespace {

TEST_F(PrefControllerTest, TabbingThroughNewDocChangesNoSetting) {
  CAPrefController controller(*defaults, false);
  controller.setValue(CAIntPreference::defaultUnits, 1);  // inches, three decimals
  // Metric margins, shown rounded in inches; a width that follows the digits of the font.
  controller.setValue(CAIntPreference::defaultXMargin, 720000);
  controller.setValue(CAIntPreference::defaultYMargin, 720000);
  controller.showPreferences();
  QWidget* window = controller.window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QAction* newDoc = nullptr;
  for (QAction* tool : window->findChildren<QAction*>()) {
    if (tool->text().trimmed() == QStringLiteral("New Doc")) newDoc = tool;
  }
  ASSERT_NE(newDoc, nullptr);
  newDoc->trigger();
  QWidget* pane = qobject_cast<QStackedWidget*>(qobject_cast<QMainWindow*>(window)->centralWidget())->currentWidget();
  const QList<QAbstractSpinBox*> fields = pane->findChildren<QAbstractSpinBox*>();
  ASSERT_EQ(fields.size(), 4);
  fields.first()->setFocus(Qt::TabFocusReason);
  // Round the pane and back to the first field, as a user looking around would.
  const QWidget* start = QApplication::focusWidget();
  for (int i = 0; i < 20; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    if (QApplication::focusWidget() == start) break;
  }
  window->close();
  EXPECT_EQ(controller.value(CAIntPreference::defaultXMargin), 720000);
  EXPECT_EQ(controller.value(CAIntPreference::defaultYMargin), 720000);
  EXPECT_EQ(controller.value(CAIntPreference::defaultDigitCount), 0);
  EXPECT_EQ(controller.value(CAIntPreference::defaultWidth), 0);
}

}  // namespace
