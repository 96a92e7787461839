// The number pane: which options page each kind shows, the sample, and the pane's changes
// written into the selection's formats as folded undo steps.
#include "calculator/controllers/CAFormatNumberVC.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLPropertyView.h"
#include "support/LogCapture.h"

#include <QAbstractAnimation>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>

#include "FormatPanelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(FormatNumberRules, TabsSamplesAndMoneyItems) {
  const int tabs[] = {0, 1, 0, 0, 3, 0, 4, 6, 2, 5, 7};
  for (int32_t display = 0; display <= kDisplayScientific; ++display) EXPECT_EQ(NumberFormatTab(display), tabs[display]);
  const QStringList titles = {QStringLiteral("System Preference: $"), QString(), QStringLiteral("$ Dollar"),
                              QStringLiteral("€ Euro")};
  const struct {
    const char* symbol;
    int item;
  } money[] = {{"", 0}, {"$", 2}, {"€", 3}, {"X", 0}};
  for (const auto& c : money) EXPECT_EQ(MoneyItemForSymbol(titles, QString::fromUtf8(c.symbol)), c.item) << c.symbol;

  CANumberFormat format;
  const struct {
    int32_t display, order;
    const char* sample;
  } samples[] = {{kDisplayDate, kDateOrderYMD, "2010/12/1"}, {kDisplayDate, kDateOrderDMY, "1/12/2010"},
                 {kDisplayFraction, 0, "9 1/2"}, {kDisplayHex, 0, "000000000012D688"}};
  for (const auto& c : samples) {
    format.setDisplay(c.display);
    format.setDateOrder(c.order);
    EXPECT_EQ(NumberFormatSample(format).toStdString(), c.sample) << c.display;
  }
}

class FormatNumberTest : public testing::Test {
 protected:
  FormatNumberTest() {
    ShowWithFormatPanel(controller, 900, 700);
    panel().tabWasSelected(kPanelCell, panel().domainControl());
  }
  ~FormatNumberTest() override { controller.mainWindow()->close(); }

  CADocument& document() { return *controller.document(); }
  CAPropertyController& panel() { return *controller.propertyController(); }
  CAFormatNumberVC* pane() { return qobject_cast<CAFormatNumberVC*>(panel().propertyView()->levelController(0)); }
  int32_t steps() { return controller.undoManager()->currentEntry(); }
  const CANumberFormat* cellFormat(int64_t x) {
    const CACell* cell = document().cellAtGridPoint({x, 0});
    return cell && cell->format() && cell->format()->numberFormat() ? &*cell->format()->numberFormat() : nullptr;
  }

  LogCapture log;  // the panes still missing report themselves
  CAWindowController controller;
};

TEST_F(FormatNumberTest, KindsAndOptionsGoIntoTheSelectionAsFoldedSteps) {
  ASSERT_NE(pane(), nullptr);
  const int32_t start = steps();
  pane()->formatMatrix()->button(kDisplayAuto)->click();  // an empty selection stays empty
  EXPECT_EQ(document().cellAtGridPoint({0, 0}), nullptr);
  pane()->formatMatrix()->button(kDisplayMoney)->click();
  ASSERT_NE(cellFormat(0), nullptr);
  EXPECT_EQ(cellFormat(0)->display(), kDisplayMoney);
  EXPECT_EQ(pane()->tabView()->currentIndex(), 2);
  pane()->groupingButton()->click();
  pane()->negativeParensButton()->click();  // joins the grouping step
  pane()->moneyPopup()->setCurrentIndex(3);
  emit pane()->moneyPopup()->activated(3);
  EXPECT_EQ(steps(), start + 3);
  EXPECT_TRUE(cellFormat(0)->groupThousands() && cellFormat(0)->negativeParens());
  EXPECT_EQ(cellFormat(0)->currencySymbol(), QStringLiteral("€"));
  EXPECT_TRUE(pane()->sampleField()->text().startsWith(QStringLiteral("€"))) << pane()->sampleField()->text().toStdString();

  // Another cell shows its own (default) format and starts a new step.
  document().setSelectionPoint({1, 0});
  EXPECT_EQ(pane()->formatMatrix()->checkedId(), kDisplayAuto);
  EXPECT_FALSE(pane()->groupingButton()->isChecked());
  pane()->formatMatrix()->button(kDisplayDate)->click();
  pane()->orderPopup()->setCurrentIndex(2);
  emit pane()->orderPopup()->activated(2);
  EXPECT_EQ(cellFormat(1)->dateOrder(), kDateOrderYMD);
  EXPECT_EQ(steps(), start + 5);
  EXPECT_EQ(pane()->sampleField()->text(), QStringLiteral("2010/12/1"));

  // A currency symbol no item has shows item 0; the first cell shows its euro again.
  CANumberFormat odd;
  odd.setDisplay(kDisplayMoney);
  odd.setCurrencySymbol(QStringLiteral("X"));
  document().formatForDomainImperative(kDomainCell, {2, 0})->setNumberFormat(&odd);
  const struct {
    int64_t x;
    int item;
  } shown[] = {{2, 0}, {0, 3}};
  for (const auto& c : shown) {
    document().setSelectionPoint({c.x, 0});
    EXPECT_EQ(pane()->moneyPopup()->currentIndex(), c.item) << c.x;
  }

  controller.undoEdit();  // the date order, then the whole date kind
  controller.undoEdit();
  EXPECT_TRUE(!cellFormat(1) || cellFormat(1)->display() == kDisplayAuto);
}

TEST_F(FormatNumberTest, DigitCountAndTheExclusiveDecimalOptions) {
  ASSERT_NE(pane(), nullptr);
  pane()->formatMatrix()->button(kDisplayFloat)->click();
  QLineEdit* field = pane()->decimalField(0);
  field->setFocus();
  QTest::keyClicks(field, QStringLiteral("4"));
  emit field->editingFinished();
  EXPECT_EQ(cellFormat(0)->size(), 4);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(pane()->decimalField(i)->text(), QStringLiteral("4"));
    EXPECT_FALSE(pane()->defaultSizeButton(i)->isChecked());
  }
  pane()->defaultSizeButton(0)->click();
  EXPECT_EQ(cellFormat(0)->size(), -1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(pane()->decimalField(i)->text().isEmpty());
    EXPECT_TRUE(pane()->defaultSizeButton(i)->isChecked());
  }
  pane()->showHundredthsButton()->click();
  pane()->significantOnlyButton()->click();
  EXPECT_FALSE(pane()->showHundredths());
  EXPECT_TRUE(cellFormat(0)->onlySignificantDigits() && !cellFormat(0)->forceHundredths());
  pane()->showHundredthsButton()->click();
  EXPECT_FALSE(pane()->significantOnlyButton()->isChecked());
  EXPECT_TRUE(!cellFormat(0)->onlySignificantDigits() && cellFormat(0)->forceHundredths());

  // Refused: a locked document keeps its formats.
  document().setLocked(true);
  pane()->noScientificButton()->click();
  EXPECT_FALSE(cellFormat(0)->disallowScientific());
}

}  // namespace
