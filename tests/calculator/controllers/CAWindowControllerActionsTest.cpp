// The spreadsheet window's commands as the user reaches them: menu items, their shortcuts and
// the tools, checked on the document and its undo steps.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/fileformats/caFileFormatServices.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "calculator/views/caViewNotifications.h"
#include "calculator/views/CACellView.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLToolbarEditView.h"
#include "platform/NotificationCenter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QComboBox>
#include <QMenuBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>


namespace {

const QString kZoomToolGuid = QStringLiteral("3BBC3052-1204-4511-8F39-255BD25967FA");

class WindowActionsTest : public testing::Test {
 protected:
  WindowActionsTest() {
    FLKernel::sharedInstance();
    controller.prepareToShow();
    controller.mainWindow()->resize(900, 600);
    controller.mainWindow()->show();
    QApplication::setActiveWindow(controller.mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
  }
  ~WindowActionsTest() override { controller.mainWindow()->close(); }

  CADocument& document() const { return *controller.document(); }
  QAction* item(const char* name) const {
    QAction* action = controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
    EXPECT_NE(action, nullptr) << name;
    return action;
  }
  bool enabled(const char* name) const { return controller.validateMenuItem(item(name)); }
  void put(int64_t x, int64_t y, const char* text) {
    document().setCellAtPoint(GridPoint{x, y}, QVariant(QString::fromUtf8(text)), kValueText);
  }
  std::string text(int64_t x, int64_t y) const {
    const CACell* cell = document().cellAtGridPoint(GridPoint{x, y});
    if (!cell) return "-";
    return (cell->formula().isEmpty() ? cell->displayText(false) : cell->formula()).toStdString();
  }
  std::string undoTitle() const {
    QString title;
    controller.undoManager()->validateState(true, &title);
    return title.toStdString();
  }
  void key(Qt::Key key, Qt::KeyboardModifiers modifiers) { QTest::keyClick(controller.cellView(), key, modifiers); }

  mutable CAWindowController controller;
};

}  // namespace

TEST(ZoomStepsTest, ZoomInAndOutGoToTheNearestStepBeyondTheZoom) {
  struct Case {
    double zoom;
    bool zoomIn;
    std::optional<double> step;
  };
  const Case cases[] = {
      {3.5, true, 4},      {0.33, true, 0.5},  {1, true, 1.25},     {0.1, true, 0.25},  {4, true, std::nullopt},
      {5, true, std::nullopt}, {5, false, 4},  {3.5, false, 3},     {0.33, false, 0.25}, {1, false, 0.75},
      {0.25, false, std::nullopt}, {0.2, false, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(NextZoomStep(c.zoom, c.zoomIn), c.step) << c.zoom << (c.zoomIn ? " in" : " out");
}

TEST_F(WindowActionsTest, ZoomCommandsStepTheGridAndRelayTheLabels) {
  int labels = 0;
  const NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kLabelsNotification), &document(), [&labels](const Notification&) { ++labels; });
  controller.cellView()->setZoomValue(3.5);
  item("zoomIn:")->trigger();
  EXPECT_EQ(document().zoomValue(), 4);
  item("zoomIn:")->trigger();
  EXPECT_EQ(document().zoomValue(), 4);
  key(Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_EQ(document().zoomValue(), 3);
  key(Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(document().zoomValue(), 1);
  EXPECT_EQ(labels, 3);
}

// "+" is Shift+"=" on most keyboards: the unshifted key zooms in as well.
TEST_F(WindowActionsTest, ZoomInAnswersThePlusKeyAndTheEqualsKey) {
  for (const Qt::Key pressed : {Qt::Key_Plus, Qt::Key_Equal}) {
    key(Qt::Key_0, Qt::ControlModifier);
    ASSERT_EQ(document().zoomValue(), 1);
    key(pressed, Qt::ControlModifier);
    EXPECT_EQ(document().zoomValue(), NextZoomStep(1, true).value_or(0)) << QKeySequence(pressed).toString().toStdString();
    key(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(document().zoomValue(), 1);
  }
}

TEST_F(WindowActionsTest, TheZoomPopUpNamesEveryStepOfTheZoomAndNeverAnotherZoom) {
  auto* popUp = qobject_cast<QComboBox*>(controller.toolbarView()->viewForGuid(kZoomToolGuid));
  ASSERT_NE(popUp, nullptr);
  const auto items = [popUp] {
    QStringList texts;
    for (int i = 0; i < popUp->count(); ++i) texts.append(popUp->itemText(i));
    return texts.join(QLatin1Char(' ')).toStdString();
  };
  const std::string steps = "25% 33% 50% 66% 75% 100% 125% 150% 175% 200% 250% 300% 400%";
  EXPECT_EQ(items(), steps);
  // Zoom Out from the largest step to the smallest: the pop-up names each zoom it passes.
  controller.performAction(QStringLiteral("zoomByPercent:"), 400);
  for (;;) {
    const std::string shown = popUp->currentText().toStdString();
    EXPECT_EQ(shown, QStringLiteral("%1%").arg(std::lround(document().zoomValue() * 100)).toStdString());
    const double before = document().zoomValue();
    item("zoomOut:")->trigger();
    if (document().zoomValue() == before) break;
  }
  EXPECT_EQ(document().zoomValue(), 0.25);
  // Each item of the pop-up zooms to its step.
  for (int i = 0; i < popUp->count(); ++i) {
    popUp->setCurrentIndex(i);
    emit popUp->activated(i);
    EXPECT_DOUBLE_EQ(document().zoomValue(), kCAZoomSteps[i]) << popUp->itemText(i).toStdString();
  }
  // A zoom between the steps (one a document stored) is named as it is, until the zoom moves on.
  controller.performAction(QStringLiteral("zoomByPercent:"), 90);
  EXPECT_EQ(popUp->currentText(), QStringLiteral("90%"));
  EXPECT_EQ(items(), "25% 33% 50% 66% 75% 90% 100% 125% 150% 175% 200% 250% 300% 400%");
  item("zoomIn:")->trigger();
  EXPECT_EQ(popUp->currentText(), QStringLiteral("100%"));
  EXPECT_EQ(items(), steps);
}

TEST_F(WindowActionsTest, ALockedDocumentDisablesTheEditingItemsAndCopyFollowsThePassword) {
  document().setSelectionRange({{0, 0}, {1, 3}});
  const char* editing[] = {"fillDown:", "fillRight:", "delete:", "cut:", "insertRowOrColumn:1", "insertCells:0",
                           "expandSheet:0", "expandSheet:1", "insertQuickFormula:0", "insertQuickFormula:1",
                           "align:100", "bold:", "clear:2", "passwordProtect:"};
  put(0, 0, "1");
  for (const char* name : editing) EXPECT_TRUE(enabled(name)) << name;
  document().setLocked(true);
  for (const char* name : editing) EXPECT_FALSE(enabled(name)) << name;
  EXPECT_TRUE(enabled("copy:"));
  EXPECT_TRUE(enabled("toggleFormulas:"));
  // A password not yet given keeps the cells in as well.
  document().setLocked(false);
  document().setPassword(QStringLiteral("check value"));
  EXPECT_FALSE(enabled("copy:"));
  EXPECT_FALSE(enabled("fillDown:"));
  document().setPasswordUnlocked(true);
  EXPECT_TRUE(enabled("copy:"));
  EXPECT_TRUE(enabled("passwordProtect:"));
  EXPECT_EQ(item("passwordProtect:")->text().toStdString(), "Change Password…");
}

TEST_F(WindowActionsTest, AShortcutIsValidatedWhenItComesAndFillIsOneUndoStep) {
  put(0, 0, "5");
  document().setSelectionPoint({0, 0});
  EXPECT_FALSE(enabled("fillDown:"));  // one cell: nothing to fill
  document().setSelectionRange({{0, 0}, {0, 2}});
  EXPECT_TRUE(enabled("fillDown:"));
  // Locked after the item was last validated: the shortcut still does nothing.
  document().setLocked(true);
  key(Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(text(0, 2), "-");
  document().setLocked(false);
  controller.validateMenuItems();
  key(Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(text(0, 1), "5");
  EXPECT_EQ(text(0, 2), "5");
  EXPECT_EQ(undoTitle(), "Undo Fill");
  controller.undoEdit();
  EXPECT_EQ(text(0, 2), "-");
}

TEST_F(WindowActionsTest, FormatChangesOnOneSelectionUndoAsOneStep) {
  put(0, 0, "a");
  document().setSelectionPoint({0, 0});
  const auto alignment = [this] {
    const CACell* cell = document().cellAtGridPoint({0, 0});
    const CAFormat* format = cell ? cell->format() : nullptr;
    return format && (format->mask() & kFormatAlignment) ? int(format->alignment()) : 0;
  };
  item("align:100")->trigger();
  item("align:102")->trigger();
  EXPECT_EQ(alignment(), kAlignmentRight);
  controller.validateMenuItem(item("align:102"));
  EXPECT_TRUE(item("align:102")->isChecked());
  EXPECT_EQ(undoTitle(), "Undo Text Format");
  const int64_t steps = controller.undoManager()->currentEntry();
  // A new selection starts a new step.
  document().setSelectionPoint({1, 0});
  document().setSelectionPoint({0, 0});
  key(Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(controller.undoManager()->currentEntry(), steps + 1);
  controller.undoEdit();
  controller.undoEdit();
  EXPECT_EQ(alignment(), 0);

  // The font is the document's, undone through its layout whatever is selected.
  document().setSelectionRange({{1, kGridWildcard}, {1, kGridWildcard}});
  const QFont before = document().font();
  QFont bigger = before;
  bigger.setPointSizeF(before.pointSizeF() + 6);
  controller.changeFont(bigger);
  EXPECT_EQ(document().font().pointSizeF(), bigger.pointSizeF());
  controller.undoEdit();
  EXPECT_EQ(document().font().pointSizeF(), before.pointSizeF());
}

TEST_F(WindowActionsTest, ToolsRunTheWindowsCommands) {
  put(0, 0, "2");
  put(0, 1, "4");
  document().setSelectionRange({{0, 0}, {0, 1}});
  ASSERT_TRUE(controller.performAction(QStringLiteral("insertQuickFormula:"), 1));
  EXPECT_EQ(text(0, 2), "=SUM(A1:A2)");
  EXPECT_FALSE(controller.performAction(QStringLiteral("noSuchCommand:"), 0));

  // Insert with the tool's tag -1 follows the selection: whole rows here.
  document().setSelectionRange({{kGridWildcard, 0}, {kGridWildcard, 0}});
  ASSERT_TRUE(controller.performAction(QStringLiteral("insertRowOrColumn:"), -1));
  EXPECT_EQ(text(0, 1), "2");
  EXPECT_EQ(undoTitle(), "Undo Insert");

  // The zoom pop-up and the Formulas tool.
  auto* zoom = qobject_cast<QComboBox*>(controller.toolbarView()->viewForGuid(kZoomToolGuid));
  ASSERT_NE(zoom, nullptr);
  zoom->setCurrentIndex(zoom->findData(200));
  emit zoom->activated(zoom->currentIndex());
  EXPECT_EQ(document().zoomValue(), 2);
  ASSERT_TRUE(controller.performAction(QStringLiteral("toggleFormulas:"), 0));
  EXPECT_TRUE(document().showFormulas());

  // Expand Right adds at least four columns beyond the content.
  put(10, 0, "x");
  controller.mainWindow()->resize(300, 400);
  QCoreApplication::processEvents();
  const int64_t before = std::max(document().maxDisplayGridPoint().x, int64_t(10));
  ASSERT_TRUE(controller.performAction(QStringLiteral("expandSheet:"), 1));
  EXPECT_GE(document().maxDisplayGridPoint().x, before + 4);
}

TEST_F(WindowActionsTest, StartSpeakingReadsWholeRowsUpToTheLastUsedColumn) {
  put(0, 0, "one");
  put(2, 0, "=1+2");
  put(1, 1, "two");
  put(7, 3, "far");
  document().recalcEverything();
  document().evaluate();
  const GridRange rows{{kGridWildcard, 0}, {kGridWildcard, 1}};
  EXPECT_EQ(SpokenTextOfRange(document(), rows, false).toStdString(), "one. 3. two. ");
  EXPECT_EQ(SpokenTextOfRange(document(), rows, true).toStdString(), "one. =1+2. two. ");
  const GridRange columns{{1, kGridWildcard}, {1, kGridWildcard}};
  EXPECT_EQ(SpokenTextOfRange(document(), columns, false).toStdString(), "two. ");
}

TEST_F(WindowActionsTest, StylesAndCellsTravelThroughTheEditAndFormatMenus) {
  InstallFileFormatServices();  // the cell archive of the clipboard
  put(0, 0, "a");
  put(1, 0, "b");
  document().setSelectionPoint({0, 0});
  item("align:102")->trigger();
  item("copyStyle:0")->trigger();
  document().setSelectionPoint({1, 0});
  ASSERT_TRUE(enabled("pasteStyle:"));
  item("pasteStyle:")->trigger();
  ASSERT_NE(document().cellAtGridPoint({1, 0}), nullptr);
  const CAFormat* pasted = document().cellAtGridPoint({1, 0})->format();
  ASSERT_NE(pasted, nullptr);
  EXPECT_EQ(pasted->alignment(), kAlignmentRight);
  EXPECT_EQ(undoTitle(), "Undo Paste Style");
  controller.undoEdit();
  ASSERT_NE(document().cellAtGridPoint({1, 0}), nullptr);
  pasted = document().cellAtGridPoint({1, 0})->format();
  EXPECT_FALSE(pasted && (pasted->mask() & kFormatAlignment));

  // Cut takes the cell out as one step; Paste puts it back elsewhere.
  document().setSelectionPoint({0, 0});
  item("cut:")->trigger();
  EXPECT_EQ(text(0, 0), "");  // its format stays
  EXPECT_EQ(undoTitle(), "Undo Cut");
  document().setSelectionPoint({2, 0});
  ASSERT_TRUE(enabled("paste:"));
  item("paste:")->trigger();
  EXPECT_EQ(text(2, 0), "a");
}

// Copy of a column whose cells lie a million rows apart puts its cells and text on the
// clipboard but neither its RTF nor its page, which would be a table of a million rows.
TEST_F(WindowActionsTest, CopyingAColumnWithAFarCellLeavesItsPageOffTheClipboard) {
  InstallFileFormatServices();
  put(0, 0, "1");
  put(0, 1000000, "2");
  document().setSelectionRange({{0, kGridWildcard}, {0, kGridWildcard}});
  QApplication::clipboard()->clear();
  key(Qt::Key_C, Qt::ControlModifier);
  const QMimeData* data = QApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_FALSE(data->hasHtml());
  EXPECT_FALSE(data->hasFormat(QStringLiteral("text/rtf")));
  EXPECT_TRUE(data->text().startsWith(QStringLiteral("1\n\n")));
}

TEST_F(WindowActionsTest, CustomizeToolbarOpensThePaletteAndHoldsTheCommandsBack) {
  FLToolbarView* toolbar = controller.toolbarView();
  toolbar->toggleToolbar();  // hidden: customising shows it first
  ASSERT_TRUE(enabled("customizeToolbar:"));
  item("customizeToolbar:")->trigger();
  ASSERT_TRUE(toolbar->isCustomizing());
  EXPECT_TRUE(toolbar->isVisible());
  EXPECT_TRUE(FLToolbarEditView::isCustomizingOver(controller.cellView()));
  EXPECT_FALSE(enabled("customizeToolbar:"));
  EXPECT_FALSE(enabled("selectAll:"));
  QTest::keyClick(toolbar->customizingView(), Qt::Key_Escape);
  EXPECT_FALSE(toolbar->isCustomizing());
  EXPECT_FALSE(FLToolbarEditView::isCustomizingOver(controller.mainWindow()));
  EXPECT_TRUE(enabled("selectAll:"));
}
