// The function browser: its groupings, the help place of a function, inserting at the formula's
// selection, remembered open groups, and the help button's call through the help opener.
#include "calculator/controllers/CAFormatVFormulaVC.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caFunctionGroups.h"
#include "calculator/controllers/caHelpTopics.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flHelpHook.h"
#include "framlet/shell/FLUndoManager.h"

#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <numeric>

namespace {

int32_t RowNamed(const char* name) {
  for (int32_t row = 1; row <= kFunctionCount; ++row)
    if (qstrcmp(g_functionInfo[row].name, name) == 0) return row;
  return 0;
}

TEST(FunctionGroups, EveryFunctionIsInOneGroupOfEachGrouping) {
  SetAlphabeticalFunctionGroups(MakeAlphabeticalFunctionGroups());
  const char* classes[] = {"Recent Functions", "Date", "Finance", "Math", "Physics", "Rounding", "Statistics",
                           "Trigonometry"};
  const size_t counts[] = {11, 1, 24, 9, 13, 24, 15};
  ASSERT_EQ(FunctionGroupCount(false), 8);
  for (int32_t k = 0; k < 8; ++k) EXPECT_EQ(FunctionGroupName(k, false).toStdString(), classes[k]);
  for (int32_t k = 1; k < 8; ++k) EXPECT_EQ(FunctionGroupChildren(k, false).size(), counts[k - 1]) << classes[k];
  EXPECT_EQ(FunctionGroupName(0, true).toStdString(), "Recent Functions");
  int32_t next = 1;
  for (int32_t group = 1; group < FunctionGroupCount(true); ++group) {
    const QString letter = FunctionGroupName(group, true);
    for (const int32_t row : FunctionGroupChildren(group, true)) {
      EXPECT_EQ(row, next++);
      EXPECT_TRUE(QString::fromUtf8(g_functionInfo[row].name).startsWith(letter)) << row;
    }
  }
  EXPECT_EQ(next, kFunctionCount + 1);
}

TEST(FunctionGroups, HelpOpensTheClassChapterAtTheFunctionsPlace) {
  for (int32_t k = 1; k < kFunctionClassCount; ++k) {
    const CAFunctionClass& functionClass = g_functionClasses[k];
    const int32_t last = functionClass.count - 1;
    const auto place = FunctionHelpPlace(functionClass.members[last]);
    ASSERT_TRUE(place.has_value()) << functionClass.name;
    EXPECT_EQ(place->topic, 8 + k) << functionClass.name;
    EXPECT_EQ(place->bookmark, last) << functionClass.name;
  }
  const auto rounding = FunctionHelpPlace(g_functionClasses[5].members[0]);
  ASSERT_TRUE(rounding.has_value());
  EXPECT_EQ(rounding->topic, 13);  // "Rounding"
  EXPECT_FALSE(FunctionHelpPlace(0).has_value());
  EXPECT_EQ(FunctionSyntax(RowNamed("DATE")).toStdString(), "DATE(year,month,day)");
}

class FunctionBrowserTest : public testing::Test {
 protected:
  FunctionBrowserTest() {
    FLKernel::sharedInstance();
    SetAlphabeticalFunctionGroups(MakeAlphabeticalFunctionGroups());
    controller.prepareToShow();
    document().setSelectionPoint({0, 0});
  }
  ~FunctionBrowserTest() override { SetHelpHook({}); }
  CADocument& document() { return *controller.document(); }
  int32_t steps() { return controller.undoManager()->currentEntry(); }
  void show(CAFormatVFormulaVC& browser) {
    browser.setDocument(&document());
    browser.view()->show();
    QCoreApplication::processEvents();  // the open states come after a zero delay
  }
  static QTreeWidgetItem* item(CAFormatVFormulaVC& browser, const QString& name) {
    const QList<QTreeWidgetItem*> found =
        browser.formulaOutline()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.back();
  }

  CAWindowController controller;
};

TEST_F(FunctionBrowserTest, InsertingReplacesTheSelectionAndSelectsThePlaceholders) {
  document().cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("=1+2*3"));
  document().setActiveCellTextSel(CATextRange{3, 3});  // "2*3"
  CAFormatVFormulaVC browser;
  show(browser);
  const int32_t before = steps();
  browser.formulaOutline()->setCurrentItem(item(browser, QStringLiteral("ROUND")));
  ASSERT_EQ(browser.selectedFunction(), RowNamed("ROUND"));
  EXPECT_TRUE(browser.insertButton()->isEnabled());
  browser.insertButton()->click();
  const QString formula = document().activeCell()->formula();
  const CATextRange selection = document().activeCellTextSel();
  EXPECT_TRUE(formula.startsWith(QStringLiteral("=1+ROUND(#"))) << formula.toStdString();
  EXPECT_TRUE(formula.mid(qsizetype(selection.location), qsizetype(selection.length)).startsWith(QLatin1Char('#')));
  EXPECT_EQ(steps(), before + 1);
  EXPECT_EQ(g_recentFunctions[0], RowNamed("ROUND"));
  // The recent group lists it now.
  QTreeWidgetItem* recent = browser.formulaOutline()->topLevelItem(0);
  ASSERT_GT(recent->childCount(), 0);
  EXPECT_EQ(recent->child(0)->text(0).toStdString(), "ROUND");
}

// A function put into an empty cell is entered text before the cell is typed into: the cell is
// no emptied cell that a recalculation meanwhile would drop.
TEST_F(FunctionBrowserTest, AFunctionInsertedIntoAnEmptyCellOutlastsARecalculation) {
  CAFormatVFormulaVC browser;
  show(browser);
  browser.formulaOutline()->setCurrentItem(item(browser, QStringLiteral("SUM")));
  browser.insertButton()->click();
  document().evaluate();
  const CACell* cell = document().activeCell();
  ASSERT_NE(cell, nullptr);
  EXPECT_TRUE(cell->formula().startsWith(QStringLiteral("SUM("))) << cell->formula().toStdString();
}

TEST_F(FunctionBrowserTest, GroupsAreNotSelectableAndLeaveTheButtonsOff) {
  CAFormatVFormulaVC browser;
  show(browser);
  QTreeWidgetItem* math = item(browser, QStringLiteral("Math"));
  ASSERT_NE(math, nullptr);
  browser.formulaOutline()->setCurrentItem(math);
  EXPECT_EQ(browser.selectedFunction(), 0);
  EXPECT_FALSE(browser.insertButton()->isEnabled());
  EXPECT_FALSE(browser.helpButton()->isEnabled());
}

TEST_F(FunctionBrowserTest, ACollapsedGroupStaysCollapsedInTheNextBrowser) {
  {
    CAFormatVFormulaVC first;
    show(first);
    EXPECT_TRUE(item(first, QStringLiteral("Recent Functions"))->isExpanded());
    item(first, QStringLiteral("Math"))->setExpanded(false);
  }
  CAFormatVFormulaVC second;
  show(second);
  EXPECT_FALSE(item(second, QStringLiteral("Math"))->isExpanded());
  EXPECT_TRUE(item(second, QStringLiteral("Date"))->isExpanded());
  item(second, QStringLiteral("Math"))->setExpanded(true);
}

TEST_F(FunctionBrowserTest, TheLetterGroupingIsRememberedForTheNextBrowser) {
  {
    CAFormatVFormulaVC first;
    show(first);
    EXPECT_EQ(first.formulaOutline()->topLevelItemCount(), 8);
    first.alphabeticalButton()->click();
    EXPECT_EQ(first.formulaOutline()->topLevelItemCount(), FunctionGroupCount(true));
  }
  CAFormatVFormulaVC second;
  show(second);
  EXPECT_TRUE(second.showAlphabetical());
  EXPECT_EQ(second.formulaOutline()->topLevelItem(1)->text(0).toStdString(), "A");
  second.alphabeticalButton()->click();
  EXPECT_EQ(second.formulaOutline()->topLevelItemCount(), 8);
}

TEST_F(FunctionBrowserTest, HelpGoesThroughTheInstalledOpener) {
  int64_t topic = -1;
  int64_t bookmark = -1;
  SetHelpHook([&](int64_t t, int64_t b) {
    topic = t;
    bookmark = b;
  });
  CAFormatVFormulaVC browser;
  show(browser);
  const CAFunctionClass& rounding = g_functionClasses[5];
  browser.formulaOutline()->setCurrentItem(item(browser, QString::fromUtf8(g_functionInfo[rounding.members[2]].name)));
  browser.helpButton()->click();
  EXPECT_EQ(topic, 13);
  EXPECT_EQ(bookmark, 2);
}

}  // namespace
