// The type pane through the real window: clicking the button of the type a cell already has
// leaves the cell exactly as it was and records no step.
#include "calculator/controllers/CAFormatVTypeVC.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CACell.h"
#include "platform/FLError.h"
#include "framlet/shell/FLPropertyView.h"
#include "framlet/shell/FLUndoManager.h"
#include "support/LogCapture.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QTemporaryDir>
#include <QTest>

#include "FormatPanelTestSupport.h"

#include <gtest/gtest.h>

namespace {

class TypePaneTest : public testing::Test {
 protected:
  TypePaneTest() { ShowWithFormatPanel(controller); }
  ~TypePaneTest() override { controller.mainWindow()->close(); }

  CADocument& document() { return *controller.document(); }
  CAFormatVTypeVC* pane() {
    return qobject_cast<CAFormatVTypeVC*>(controller.propertyController()->propertyView()->levelController(0));
  }

  LogCapture log;  // panes not built yet report "Class not found"
  CAWindowController controller;
};

TEST_F(TypePaneTest, ChoosingTheTypeTheCellHasChangesNothing) {
  const struct {
    const char* entered;
    int32_t type;   // the type the cell takes
    int32_t button; // the button that shows it
  } cases[] = {
      {"12.5", kValueNumber, kValueNumber},
      {"=A1+1", kValueFormula, kValueFormula},
      {"=1/0", kValueError, kValueFormula},
      {"=SUM(", kValueError, kValueFormula},
      {"some words", kValueText, kValueText},
      {"20240315", kValueDate, kValueDate},
      {"http://example.org/", kValueLink, kValueLink},
  };
  int64_t x = 0;
  for (const auto& c : cases) {
    const GridPoint point{x++, 2};
    document().setCellAtPoint(point, QString::fromUtf8(c.entered), kValueText);
    document().evaluate();
    document().setSelectionPoint(point);
    const CACell* cell = document().cellAtGridPoint(point);
    ASSERT_NE(cell, nullptr);
    ASSERT_EQ(cell->valueType(), c.type) << c.entered;
    const QString formula = cell->formula();
    const QString shown = cell->displayText(false);
    ASSERT_NE(pane(), nullptr);
    EXPECT_EQ(pane()->typeMatrix()->checkedId(), c.button) << c.entered;
    const int32_t steps = controller.undoManager()->currentEntry();

    pane()->typeMatrix()->button(c.button)->click();
    cell = document().cellAtGridPoint(point);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->valueType(), c.type) << c.entered;
    EXPECT_EQ(cell->formula(), formula) << c.entered;
    EXPECT_EQ(cell->displayText(false), shown) << c.entered;
    EXPECT_EQ(controller.undoManager()->currentEntry(), steps) << c.entered;
    EXPECT_EQ(pane()->typeMatrix()->checkedId(), c.button) << c.entered;
  }
}

// Formula chosen for a cell gives it "=", which fails as the same text typed or read back from
// the saved file fails: one text, one result.
TEST_F(TypePaneTest, AFormulaChosenHereShowsWhatTheSameTextTypedOrReopenedShows) {
  const char* const before[] = {"12.5", "some words", "20240315", "http://example.org/"};
  const GridPoint typedPoint{6, 6};
  document().setCellAtPoint(typedPoint, QStringLiteral("="), kValueText);
  document().evaluate();
  const CACell* typed = document().cellAtGridPoint(typedPoint);
  ASSERT_NE(typed, nullptr);
  ASSERT_EQ(typed->formula(), QStringLiteral("="));
  const std::string wanted = typed->displayText(false).toStdString();
  EXPECT_EQ(typed->valueType(), kValueError);
  int64_t x = 0;
  for (const char* entered : before) {
    const GridPoint point{x++, 2};
    document().setCellAtPoint(point, QString::fromUtf8(entered), kValueText);
    document().evaluate();
    document().setSelectionPoint(point);
    ASSERT_NE(pane(), nullptr);
    pane()->typeMatrix()->button(kValueFormula)->click();
    const CACell* chosen = document().cellAtGridPoint(point);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->formula(), QStringLiteral("=")) << entered;
    EXPECT_EQ(chosen->valueType(), typed->valueType()) << entered;
    EXPECT_EQ(chosen->evalResult(), typed->evalResult()) << entered;
    EXPECT_EQ(chosen->displayText(false).toStdString(), wanted) << entered;
  }

  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("Equals.Numlet"));
  FLError error;
  ASSERT_TRUE(document().saveToNativeFile(path, false, &error)) << error.reason.toStdString();
  CADocument reopened;
  ASSERT_NE(reopened.openFile(path, &error), 0) << error.reason.toStdString();
  reopened.evaluate();
  for (int64_t k = 0; k < x; ++k) {
    const CACell* read = reopened.cellAtGridPoint({k, 2});
    ASSERT_NE(read, nullptr) << k;
    EXPECT_EQ(read->evalResult(), typed->evalResult()) << k;
    EXPECT_EQ(read->displayText(false).toStdString(), wanted) << k;
  }
}

TEST_F(TypePaneTest, ACheckboxClickedAsACheckboxKeepsItsState) {
  const GridPoint point{1, 1};
  document().setCellAtPoint(point, true, kValueCheckbox);
  document().setSelectionPoint(point);
  ASSERT_NE(pane(), nullptr);
  pane()->typeMatrix()->button(kValueCheckbox)->click();
  const CACell* cell = document().cellAtGridPoint(point);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->valueType(), kValueCheckbox);
  EXPECT_TRUE(cell->isChecked());
}

}  // namespace
