// The value text pane: what it shows for a cell, and how typing, ending, Escape, line breaks and
// inserted functions reach the cell and its undo steps.
#include "calculator/controllers/CAFormatVStringVC.h"
#include "calculator/controllers/CAFormatVFormulaVC.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "calculator/views/CACellView.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLPropertyView.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QTextCursor>

#include "FormatPanelTestSupport.h"

#include <gtest/gtest.h>

namespace {

class ValueTextPaneTest : public testing::Test {
 protected:
  ValueTextPaneTest() {
    FLKernel::sharedInstance();
    controller.prepareToShow();
    document().setSelectionPoint({1, 1});
  }
  ~ValueTextPaneTest() override { pane.view()->close(); }

  CADocument& document() { return *controller.document(); }
  const CACell* cell() { return document().cellAtGridPoint({1, 1}); }
  int32_t steps() { return controller.undoManager()->currentEntry(); }
  void enter(const QString& text) {
    document().cellAtGridPointImperative({1, 1})->setFormula(text);
    document().evaluate();
  }
  // Shows the pane in its own active window, its text view holding the keys.
  CAFormulaTextView* show() {
    pane.setDocument(&document());
    QWidget* view = pane.view();
    view->show();
    QApplication::setActiveWindow(view);
    EXPECT_TRUE(QTest::qWaitForWindowActive(view));
    pane.textView()->setFocus();
    return pane.textView();
  }
  QString shown() { return pane.textView()->toPlainText(); }

  CAWindowController controller;
  CAFormatVStringVC pane;
};

TEST_F(ValueTextPaneTest, ShowsTheEnteredTextOrTheNumberInFull) {
  const struct {
    const char* entered;
    const char* shown;
    bool wholeSelected;
  } cases[] = {
      {"=1+2", "=1+2", false},
      {"12", "12", true},
      {"0.125", "0.125", true},
      {"hello", "hello", false},
  };
  show();
  for (const auto& c : cases) {
    enter(QString::fromUtf8(c.entered));
    pane.selectionChanged();
    EXPECT_TRUE(shown().startsWith(QString::fromUtf8(c.shown))) << c.entered << " shows " << shown().toStdString();
    EXPECT_EQ(pane.textView()->textCursor().selectedText() == shown(), c.wholeSelected) << c.entered;
  }
}

TEST_F(ValueTextPaneTest, EndingTheEditEntersTheTextAsOneFormulaStep) {
  CAFormulaTextView* text = show();
  const int32_t before = steps();
  QTest::keyClicks(text, QStringLiteral("=2*3"));
  // Every change is in the cell at once, not yet parsed.
  EXPECT_EQ(cell()->formula().toStdString(), "=2*3");
  EXPECT_EQ(document().typingState(), 1);
  text->clearFocus();
  ASSERT_EQ(cell()->valueType(), kValueFormula);
  EXPECT_EQ(cell()->displayText(false).toStdString(), "6");
  EXPECT_EQ(document().typingState(), 0);
  EXPECT_EQ(steps(), before + 1);
  controller.undoManager()->undo();
  EXPECT_TRUE(cell() == nullptr || cell()->valueType() == kValueNone);
}

TEST_F(ValueTextPaneTest, EscapeRestoresTheCellAndLeavesNoStep) {
  const char* starts[] = {"", "42", "=SUM(1,2)"};
  for (const char* start : starts) {
    enter(QString::fromUtf8(start));
    CAFormulaTextView* text = show();
    pane.selectionChanged();
    const int32_t before = steps();
    const QString shownBefore = cell() ? cell()->displayText(false) : QString();
    QTest::keyClicks(text, QStringLiteral("=1+"));
    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_EQ(steps(), before) << start;
    EXPECT_EQ((cell() ? cell()->displayText(false) : QString()).toStdString(), shownBefore.toStdString()) << start;
    EXPECT_EQ(document().typingState(), 0) << start;
    text->clearFocus();
    EXPECT_EQ(steps(), before) << start;
  }
}

TEST_F(ValueTextPaneTest, AnEditWithoutAChangeLeavesNoStep) {
  enter(QStringLiteral("7"));
  CAFormulaTextView* text = show();
  pane.selectionChanged();
  const int32_t before = steps();
  QTest::keyClicks(text, QStringLiteral("8"));
  QTest::keyClick(text, Qt::Key_Backspace);
  QTest::keyClicks(text, QStringLiteral("7"));
  text->clearFocus();
  EXPECT_EQ(steps(), before);
  EXPECT_EQ(cell()->displayText(false).toStdString(), "7");
}

TEST_F(ValueTextPaneTest, LineBreaksAreRefusedOrTrimmedWithoutAllowReturns) {
  CAFormulaTextView* text = show();
  ASSERT_FALSE(text->allowReturns());
  QTest::keyClicks(text, QStringLiteral("ab"));
  QApplication::clipboard()->setText(QStringLiteral("\ncd"));
  text->paste();
  EXPECT_EQ(shown().toStdString(), "ab");
  text->setFocus();
  QApplication::clipboard()->setText(QStringLiteral("cd\n\n"));
  text->paste();
  EXPECT_EQ(shown().toStdString(), "abcd");
  EXPECT_EQ(cell()->formula().toStdString(), "abcd");
}

TEST_F(ValueTextPaneTest, AnInsertedFunctionIsEditedOnWithItsArgumentsSelected) {
  enter(QStringLiteral("=1+"));
  show();
  pane.selectionChanged();
  document().setActiveCellTextSel(CATextRange{3, 0});
  const int32_t before = steps();
  int32_t date = 0;
  for (int32_t row = 1; row <= kFunctionCount; ++row)
    if (qstrcmp(g_functionInfo[row].name, "DATE") == 0) date = row;
  ASSERT_TRUE(InsertFunctionInActiveCell(document(), date, false));
  EXPECT_EQ(shown().toStdString(), "=1+DATE(#year#,#month#,#day#)");
  EXPECT_TRUE(pane.textView()->textCursor().selectedText().startsWith(QStringLiteral("#year#")));
  EXPECT_TRUE(pane.isEditingStarted());
  // Escape undoes the insertion's own step.
  QTest::keyClick(pane.textView(), Qt::Key_Escape);
  EXPECT_EQ(cell()->formula().toStdString(), "=1+");
  EXPECT_EQ(steps(), before);
}

}  // namespace

namespace {

TEST(ValueTextPaneInPanel, AGridClickPutsAReferenceIntoTheFormulaAndReturnEntersIt) {
  CAWindowController controller;
  ShowWithFormatPanel(controller);
  QApplication::setActiveWindow(controller.mainWindow());
  ASSERT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
  CADocument& document = *controller.document();
  document.setSelectionPoint({1, 1});
  document.cellAtGridPointImperative({1, 1})->setFormula(QStringLiteral("=1+2"));
  document.evaluate();
  NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), &document);
  CAFormatVStringVC* pane = nullptr;
  FLPropertyView& levels = *controller.propertyController()->propertyView();
  for (int64_t i = 0; i < levels.levelCount(); ++i)
    if (auto* found = qobject_cast<CAFormatVStringVC*>(levels.levelController(i))) pane = found;
  ASSERT_NE(pane, nullptr);
  CAFormulaTextView* text = pane->textView();
  QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, QPoint(200, 8));
  text->moveCursor(QTextCursor::End);
  QTest::keyClicks(text, QStringLiteral("*"));
  CACellView* grid = controller.cellView();
  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->rectForGridPoint({2, 4}).center().toPoint());
  QCoreApplication::processEvents();
  EXPECT_EQ(text->toPlainText().toStdString(), "=1+2*C5");
  EXPECT_EQ(document.activeCellPoint(), (GridPoint{1, 1}));
  EXPECT_TRUE(text->hasFocus());
  QTest::keyClick(text, Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([grid] { return grid->hasFocus(); }, 10000));
  const CACell* cell = document.cellAtGridPoint({1, 1});
  EXPECT_EQ(cell->formula().toStdString(), "=1+2*C5");
  EXPECT_EQ(cell->displayText(false).toStdString(), "1");
  controller.mainWindow()->close();
}

}  // namespace
