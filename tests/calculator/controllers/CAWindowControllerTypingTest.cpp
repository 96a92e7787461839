// A document window as the application makes it: cells are clicked, typed, committed and
// cancelled, and the formula bar edits the active cell.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CANumber.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAFormulaTextView.h"
#include "framlet/foundation/FLKernel.h"
#include "ShownWindowTestSupport.h"

#include <QApplication>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class WindowTypingTest : public ShownWindowTest {
 protected:
  QString value(int64_t x, int64_t y) const {
    const CACell* cell = document().cellAtGridPoint(GridPoint{x, y});
    return cell && cell->number() ? cell->number()->description() : QStringLiteral("-");
  }
};

TEST_F(WindowTypingTest, TheGridIsTheWindowsCentreAndTakesTheKeys) {
  EXPECT_TRUE(controller.mainWindow()->centralWidget()->isAncestorOf(grid()));
  EXPECT_EQ(focus(), grid());
}

TEST_F(WindowTypingTest, AClickedCellTakesAFormulaThatReturnCommits) {
  for (int64_t y = 0; y < 3; ++y) {
    click(0, y);
    type(QString::number(y + 1));
    press(Qt::Key_Return);
  }
  click(0, 3);
  type(QStringLiteral("=SUM(A1:A3)*2"));
  press(Qt::Key_Return);
  EXPECT_EQ(value(0, 3), "12");
  click(0, 3);
  EXPECT_EQ(controller.formulaTextView()->toPlainText(), "=SUM(A1:A3)*2");
  // Escape abandons an edit.
  type(QStringLiteral("99"));
  press(Qt::Key_Escape);
  EXPECT_EQ(value(0, 3), "12");
  // The window's undo takes back the last entry.
  controller.undoManager()->undo();
  EXPECT_EQ(value(0, 3), "-");
}

TEST_F(WindowTypingTest, TheFormulaBarEditsTheActiveCell) {
  click(1, 1);
  type(QStringLiteral("5"));
  press(Qt::Key_Return);
  click(1, 1);
  CAFormulaTextView* bar = controller.formulaTextView();
  EXPECT_EQ(bar->toPlainText(), "5");
  QTest::mouseClick(bar->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
  ASSERT_EQ(focus(), bar);
  bar->selectAll();
  type(QStringLiteral("=B2"));
  EXPECT_EQ(document().typingState(), 0);  // the cell held a number when editing began
  bar->setPlainText(QStringLiteral("=6*7"));
  press(Qt::Key_Return);
  EXPECT_EQ(value(1, 1), "42");
  EXPECT_EQ(focus(), grid());
}

}  // namespace
