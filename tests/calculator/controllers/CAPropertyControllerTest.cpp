// The format panel of a window: which panes each tab and value type shows, the panel following
// the selection, and a pane's changes as one undo step.
#include "calculator/controllers/CAFormatBaseVC.h"
#include "calculator/controllers/CAFormatTextVC.h"
#include "calculator/controllers/CAFormatVNoteVC.h"
#include "calculator/controllers/CAFormatVTypeVC.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLPropertyView.h"
#include "support/LogCapture.h"

#include <QAbstractAnimation>
#include <QAbstractButton>
#include <QApplication>
#include <QPlainTextEdit>
#include <QButtonGroup>
#include <QTest>

#include "FormatPanelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Stands in for the colour pane: counts the selections it was shown.
class CountingPane : public CAFormatBaseVC {
 public:
  int selections = 0;
  void selectionChanged() override { ++selections; }

 protected:
  QWidget* loadView() override {
    auto* view = new QWidget;
    view->resize(10, 50);
    return view;
  }
};

class PropertyControllerTest : public testing::Test {
 protected:
  PropertyControllerTest() {
    FLKernel::sharedInstance();
    CAPropertyController::registerPaneClass(QStringLiteral("CAFormatColorVC"), [this] {
      panes.push_back(new CountingPane);
      return panes.back();
    });
    ShowWithFormatPanel(controller);
  }
  ~PropertyControllerTest() override {
    CAPropertyController::unregisterPaneClass(QStringLiteral("CAFormatColorVC"));
    controller.mainWindow()->close();
  }

  CADocument& document() { return *controller.document(); }
  CAPropertyController& panel() { return *controller.propertyController(); }
  FLPropertyView& view() { return *panel().propertyView(); }
  std::vector<std::string> names() {
    std::vector<std::string> list;
    for (int64_t i = 0; i < view().levelCount(); ++i) list.push_back(view().levelName(i).toStdString());
    return list;
  }
  void select(int64_t x, int64_t y) { document().setSelectionPoint({x, y}); }

  LogCapture log;  // panes not built yet report "Class not found"
  std::vector<QPointer<CountingPane>> panes;
  CAWindowController controller;
};

TEST_F(PropertyControllerTest, TheValueTabFollowsTheActiveCellsType) {
  ASSERT_NE(controller.propertyController(), nullptr);
  EXPECT_EQ(panel().domain(), kPanelValue);
  document().setCellAtPoint({0, 0}, QStringLiteral("5"), kValueText);
  document().setCellAtPoint({1, 0}, QStringLiteral("=1+2"), kValueText);
  document().setCellAtPoint({2, 0}, QStringLiteral("abc"), kValueText);
  document().setCellAtPoint({3, 0}, true, kValueCheckbox);
  document().setCellAtPoint({4, 0}, QStringLiteral("7"), kValueText);
  const struct {
    int64_t x;
    std::vector<std::string> names;
  } cases[] = {
      {0, {"Type", "Number", "Notes"}},
      {1, {"Type", "Formula", "Functions", "Notes"}},
      {2, {"Type", "Text", "Notes"}},
      {3, {"Type", "Notes"}},
      {5, {"Type", "Number", "Notes"}},  // an empty cell
  };
  for (const auto& c : cases) {
    select(c.x, 0);
    EXPECT_EQ(names(), c.names) << c.x;
  }
  // From one number to another the panes stay.
  select(0, 0);
  const QWidget* typePane = view().levelSubview(0);
  select(4, 0);
  EXPECT_EQ(view().levelSubview(0), typePane);
}

TEST_F(PropertyControllerTest, TabsShowTheirPanesAndAColumnTabStaysOnANewSelection) {
  const struct {
    int64_t tab;
    std::vector<std::string> names;
  } cases[] = {
      {kPanelCell, {"Number", "Text", "Color", "Border"}},
      {kPanelColumn, {"Column", "Number", "Text", "Color", "Border"}},
      {kPanelRow, {"Row", "Number", "Text", "Color", "Border"}},
      {kPanelDocument, {"File", "Content", "Size", "Number", "Text", "Color", "Print"}},
  };
  for (const auto& c : cases) {
    panel().tabWasSelected(c.tab, panel().domainControl());
    EXPECT_EQ(names(), c.names) << c.tab;
  }
  panel().tabWasSelected(kPanelColumn, panel().domainControl());
  document().setCellAtPoint({1, 1}, QStringLiteral("=2"), kValueText);
  select(1, 1);
  EXPECT_EQ(panel().domain(), kPanelColumn);
  EXPECT_EQ(view().levelCount(), 5);
  // Closed by default: the border pane.
  EXPECT_FALSE(view().isLevelOpen(4));
  EXPECT_TRUE(view().isLevelOpen(0));

  document().setLocked(true);
  panel().tabWasSelected(kPanelCell, panel().domainControl());
  EXPECT_EQ(view().levelCount(), 0);
  EXPECT_EQ(panel().emptyMessage().toStdString(), "Locked Document");
}

TEST_F(PropertyControllerTest, APanesChangesAreOneUndoStepAndOldPanesLetGo) {
  document().setCellAtPoint({0, 0}, QStringLiteral("a"), kValueText);
  select(0, 0);
  panel().tabWasSelected(kPanelCell, panel().domainControl());
  ASSERT_FALSE(panes.empty());
  CountingPane* pane = panes.back();
  EXPECT_EQ(pane->selections, 2);  // once as it loads, once for the new tab
  EXPECT_EQ(pane->formatDomain(), kDomainCell);
  const int32_t steps = controller.undoManager()->currentEntry();
  EXPECT_TRUE(pane->setFormatValue(kAlignmentCenter, kFormatAlignment));
  EXPECT_TRUE(pane->setFormatValue(kAlignmentRight, kFormatAlignment));
  EXPECT_EQ(controller.undoManager()->currentEntry(), steps + 1);
  ASSERT_NE(document().cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint({0, 0})->format()->alignment(), kAlignmentRight);
  controller.undoEdit();
  ASSERT_NE(document().cellAtGridPoint({0, 0}), nullptr);
  const CAFormat* format = document().cellAtGridPoint({0, 0})->format();
  EXPECT_TRUE(!format || !(format->mask() & kFormatAlignment));

  // The column tab: its pane works on the column's format, and the cell tab's pane is detached.
  panel().tabWasSelected(kPanelColumn, panel().domainControl());
  EXPECT_EQ(pane->document(), nullptr);
  EXPECT_FALSE(pane->setFormatValue(kAlignmentCenter, kFormatAlignment));
  EXPECT_EQ(panes.back()->formatDomain(), kDomainColumn);
}

TEST_F(PropertyControllerTest, TheNoteAndValueTextPanesShareTheirOpenState) {
  select(0, 0);
  ASSERT_EQ(view().levelCount(), 3);
  EXPECT_FALSE(view().isLevelOpen(2));  // the note
  view().toggleLevelOpen(2);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !view().isAnimating(); }, 10000));
  EXPECT_EQ(panel().openStatus().value(QStringLiteral("FormatString")), QVariant(true));
  view().toggleLevelOpen(1);  // the value text: closing it closes the note next time
  ASSERT_TRUE(QTest::qWaitFor([this] { return !view().isAnimating(); }, 10000));
  panel().tabWasSelected(kPanelValue, panel().domainControl());
  EXPECT_FALSE(view().isLevelOpen(1));
  EXPECT_FALSE(view().isLevelOpen(2));
  EXPECT_TRUE(view().isLevelOpen(0));
}

TEST_F(PropertyControllerTest, TheTextPaneSetsTheStylesAndAlignmentOfTheSelection) {
  document().setCellAtPoint({0, 0}, QStringLiteral("a"), kValueText);
  document().setCellAtPoint({1, 0}, QStringLiteral("b"), kValueText);
  select(0, 0);
  panel().tabWasSelected(kPanelCell, panel().domainControl());
  auto* pane = qobject_cast<CAFormatTextVC*>(view().levelController(1));
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->boldMatrix()->checkedId(), 0);
  const int32_t steps = controller.undoManager()->currentEntry();
  pane->boldMatrix()->button(1)->click();
  pane->boldMatrix()->button(2)->click();  // joins the bold step
  pane->alignmentControl()->button(2)->click();
  EXPECT_EQ(controller.undoManager()->currentEntry(), steps + 2);
  ASSERT_NE(document().cellAtGridPoint({0, 0}), nullptr);
  const CAFormat* format = document().cellAtGridPoint({0, 0})->format();
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->styleOptionForMask(kFormatBold), 2);
  EXPECT_EQ(format->alignment(), kAlignmentCenter);
  const struct {
    int64_t x;
    int bold, alignment;
  } shown[] = {{1, 0, 0}, {0, 2, 2}};
  for (const auto& c : shown) {
    select(c.x, 0);
    EXPECT_EQ(pane->boldMatrix()->checkedId(), c.bold) << c.x;
    EXPECT_EQ(pane->alignmentControl()->checkedId(), c.alignment) << c.x;
  }
  // Refused: the buttons go back to what the format holds.
  document().setLocked(true);
  pane->boldMatrix()->button(1)->click();
  EXPECT_EQ(pane->boldMatrix()->checkedId(), 2);
  ASSERT_NE(document().cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint({0, 0})->format()->styleOptionForMask(kFormatBold), 2);
}

TEST_F(PropertyControllerTest, TheTypePaneShowsAndChangesTheActiveCellsType) {
  document().setCellAtPoint({0, 0}, QStringLiteral("5"), kValueText);
  const auto typePane = [this] { return qobject_cast<CAFormatVTypeVC*>(view().levelController(0)); };
  const struct {
    int64_t x;
    int checked;
  } shown[] = {{0, kValueNumber}, {1, -1}};
  for (const auto& c : shown) {
    select(c.x, 0);
    ASSERT_NE(typePane(), nullptr);
    EXPECT_EQ(typePane()->typeMatrix()->checkedId(), c.checked) << c.x;
  }
  select(0, 0);
  const int32_t steps = controller.undoManager()->currentEntry();
  typePane()->typeMatrix()->button(kValueText)->click();
  EXPECT_EQ(document().activeCell()->valueType(), kValueText);
  EXPECT_EQ(controller.undoManager()->currentEntry(), steps + 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"Type", "Text", "Notes"}));
  EXPECT_EQ(typePane()->typeMatrix()->checkedId(), kValueText);
}

TEST_F(PropertyControllerTest, KeystrokesInTheNotePaneAreOneStepUntilAnotherCellIsShown) {
  select(0, 0);
  auto* pane = qobject_cast<CAFormatVNoteVC*>(view().levelController(2));
  ASSERT_NE(pane, nullptr);
  const int32_t steps = controller.undoManager()->currentEntry();
  QTest::keyClicks(pane->textView(), QStringLiteral("ab"));
  QTest::keyClick(pane->textView(), Qt::Key_Return);  // no line break: the grid takes the keys
  ASSERT_NE(document().cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint({0, 0})->note().toStdString(), "ab");
  EXPECT_EQ(controller.undoManager()->currentEntry(), steps + 1);
  select(1, 0);
  EXPECT_TRUE(pane->textView()->toPlainText().isEmpty());
  select(0, 0);
  EXPECT_EQ(pane->textView()->toPlainText().toStdString(), "ab");
  QTest::keyClicks(pane->textView(), QStringLiteral("c"));
  EXPECT_EQ(controller.undoManager()->currentEntry(), steps + 2);
  controller.undoEdit();
  ASSERT_NE(document().cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(document().cellAtGridPoint({0, 0})->note().toStdString(), "ab");
}

}  // namespace
