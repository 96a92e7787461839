// The link pane: normalising typed addresses, showing and editing a link cell as one step per
// shown cell, and turning an emptied link into text.
#include "calculator/controllers/CAFormatVLinkVC.h"
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/shell/FLUndoManager.h"
#include "glimmet/storage/gmBookmarks.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(NormalizeWwwLink, OnlyALeadingWwwDotGetsAScheme) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"www.example.org", "http://www.example.org"},
      {"WwW.Example.org/a", "http://www.Example.org/a"},
      {"www.", "http://www."},
      {"www", "www"},
      {"wwwx.org", "wwwx.org"},
      {" www.a.org", " www.a.org"},
      {"http://www.a.org", "http://www.a.org"},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NormalizeWwwLink(QString::fromUtf8(c.text)).toStdString(), c.expected) << c.text;
}

class LinkPaneTest : public testing::Test {
 protected:
  LinkPaneTest() {
    FLKernel::sharedInstance();
    controller.prepareToShow();
    document().setSelectionPoint({0, 0});
    document().insertLink(QStringLiteral("http://a.org"), QStringLiteral("A"));
    pane.setDocument(&document());
    pane.view()->show();
  }
  CADocument& document() { return *controller.document(); }
  int32_t steps() { return controller.undoManager()->currentEntry(); }
  const CACell& cell() { return *document().cellAtGridPoint({0, 0}); }
  void type(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    if (text.isEmpty()) QTest::keyClick(field, Qt::Key_Delete);
    else QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
  }

  CAWindowController controller;
  CAFormatVLinkVC pane;
};

TEST_F(LinkPaneTest, EditsOfOneShownCellAreOneLinkStep) {
  ASSERT_EQ(cell().valueType(), kValueLink);
  EXPECT_EQ(pane.addressField()->text().toStdString(), "http://a.org");
  EXPECT_EQ(pane.displayTextField()->text().toStdString(), "A");
  EXPECT_TRUE(pane.activeButton()->isChecked());
  const int32_t before = steps();
  type(pane.addressField(), QStringLiteral("www.b.org"));
  EXPECT_EQ(pane.addressField()->text().toStdString(), "http://www.b.org");
  type(pane.displayTextField(), QStringLiteral("B"));
  pane.activeButton()->click();
  EXPECT_EQ(cell().formula().toStdString(), "http://www.b.org");
  EXPECT_EQ(cell().displayTextField().toStdString(), "B");
  EXPECT_TRUE(cell().inactiveLink());
  EXPECT_EQ(steps(), before + 1);
  // Showing the cell again starts a new step.
  pane.selectionChanged();
  EXPECT_FALSE(pane.activeButton()->isChecked());
  pane.activeButton()->click();
  EXPECT_EQ(steps(), before + 2);
  controller.undoEdit();
  EXPECT_TRUE(cell().inactiveLink());
  controller.undoEdit();
  EXPECT_EQ(cell().formula().toStdString(), "http://a.org");
}

TEST_F(LinkPaneTest, AnEmptiedAddressMakesATextCell) {
  type(pane.addressField(), QString());
  EXPECT_EQ(cell().valueType(), kValueText);
  EXPECT_TRUE(cell().formula().isEmpty());
  EXPECT_TRUE(cell().displayTextField().isEmpty());
}

TEST_F(LinkPaneTest, FormulasThatCountTheCellSeeWhatItHoldsNow) {
  document().cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("=COUNTA(A1)"));
  document().cellAtGridPointImperative({1, 1})->setFormula(QStringLiteral("=COUNTBLANK(A1)"));
  document().evaluate();
  const struct {
    const char* address;
    int64_t values;  // COUNTA
    int64_t blanks;  // COUNTBLANK
  } steps[] = {
      {"", 0, 1},
      {"c.org", 1, 0},
      {"www.d.org", 1, 0},
      {"", 0, 1},
  };
  for (const auto& step : steps) {
    type(pane.addressField(), QString::fromUtf8(step.address));
    const CACell* values = document().cellAtGridPoint({1, 0});
    const CACell* blanks = document().cellAtGridPoint({1, 1});
    ASSERT_TRUE(values && values->number() && blanks && blanks->number()) << step.address;
    EXPECT_EQ(values->number()->integerValue(), step.values) << step.address;
    EXPECT_EQ(blanks->number()->integerValue(), step.blanks) << step.address;
  }
}

TEST_F(LinkPaneTest, AChosenFileInTheHomeFolderIsLinkedFromHome) {
  pane.activeButton()->click();
  pane.openPanelEnded(false, HomeFolderPath() + QStringLiteral("/x.txt"));  // cancelled: nothing
  EXPECT_EQ(cell().formula().toStdString(), "http://a.org");
  pane.openPanelEnded(true, HomeFolderPath() + QStringLiteral("/my docs/report.v2.txt"));
  EXPECT_EQ(cell().formula().toStdString(), "file:~/my%20docs/report.v2.txt");
  EXPECT_EQ(cell().displayTextField().toStdString(), "report.v2");
  EXPECT_FALSE(cell().inactiveLink());
}

}  // namespace
