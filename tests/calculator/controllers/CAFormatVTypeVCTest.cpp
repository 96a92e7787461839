// The type pane through the real window: clicking the button of the type a cell already has
// leaves the cell exactly as it was and records no step.
#include "calculator/controllers/CAFormatVTypeVC.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CACell.h"
#include "framlet/shell/FLPropertyView.h"
#include "framlet/shell/FLUndoManager.h"
#include "support/LogCapture.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QTest>

#include <optional>
#include <utility>
#include <vector>

#include "FormatPanelTestSupport.h"

#include <gtest/gtest.h>

namespace {

// The cell's type as the pane shows it.
int32_t ShownTypeOf(const CADocument& document, const GridPoint& point) {
  const CACell* cell = document.cellAtGridPoint(point);
  if (!cell) return kValueNone;
  return cell->valueType() == kValueError ? int32_t(kValueFormula) : cell->valueType();
}

// Every reader in columns B and C shows what recalculating the whole sheet afresh gives it.
void ExpectAsRecalculatedAfresh(CADocument& document, int rows, const char* when) {
  std::vector<std::pair<std::optional<CANumber>, int32_t>> shown;
  for (int y = 0; y < rows; ++y)
    for (const int64_t x : {1, 2})
      if (const CACell* cell = document.cellAtGridPoint({x, y}))
        shown.emplace_back(cell->number(), cell->formulaResultType());
  document.recalcEverything();
  document.evaluate();
  size_t i = 0;
  int differing = 0;
  for (int y = 0; y < rows; ++y)
    for (const int64_t x : {1, 2})
      if (const CACell* cell = document.cellAtGridPoint({x, y})) {
        const auto& [number, resultType] = shown[i++];
        if ((number != cell->number() || resultType != cell->formulaResultType()) && ++differing <= 3)
          ADD_FAILURE() << when << ": " << cell->formula().toStdString() << " showed "
                        << (number ? number->description().toStdString() : "-") << " for "
                        << (cell->number() ? cell->number()->description().toStdString() : "-");
      }
  EXPECT_EQ(differing, 0) << when;
}

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

// A choice of type that changes the cell's value, or how formulas read it, reaches every cell
// that reads it: directly, through a short range and through running balances long enough for
// their folds to be kept, after the click and after a value typed further down. Each shows what
// recalculating the whole sheet afresh shows.
TEST_F(TypePaneTest, ChoosingATypeThatChangesTheValueReachesItsReaders) {
  constexpr int kRows = 120;
  const struct {
    const char* entered;
    int32_t before;  // the type the typed text takes
    int32_t chosen;
  } cases[] = {
      {"5", kValueNumber, kValueDate},          {"20240315.5", kValueNumber, kValueDate},
      {"20240315", kValueDate, kValueNumber},    {"5", kValueNumber, kValueText},
      {"=2+3", kValueFormula, kValueNumber},     {"some words", kValueText, kValueDate},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entered);
    for (int k = 1; k <= kRows; ++k) {
      document().setCellAtPoint({0, k - 1}, QString::number(k % 7 + 1), kValueText);
      document().setCellAtPoint({2, k - 1}, QStringLiteral("=SUM(A$1:A%1)").arg(k), kValueText);
    }
    document().setCellAtPoint({1, 0}, QStringLiteral("=A1*2"), kValueText);
    document().setCellAtPoint({1, 1}, QStringLiteral("=SUM(A1:A2)"), kValueText);
    document().setCellAtPoint({1, 2}, QStringLiteral("=A1+1"), kValueText);
    document().setCellAtPoint({0, 0}, QString::fromUtf8(c.entered), kValueText);
    document().recalcEverything();
    document().evaluate();
    ASSERT_EQ(ShownTypeOf(document(), {0, 0}), c.before);
    document().setSelectionPoint({0, 0});
    ASSERT_NE(pane(), nullptr);
    pane()->typeMatrix()->button(c.chosen)->click();
    ASSERT_EQ(ShownTypeOf(document(), {0, 0}), c.chosen);
    ExpectAsRecalculatedAfresh(document(), kRows, "after the click");
    document().setCellAtPoint({0, kRows - 20}, QStringLiteral("3"), kValueText);
    document().evaluate();
    ExpectAsRecalculatedAfresh(document(), kRows, "after a value typed below");
  }
}

}  // namespace
