// The commands that reshape the sheet, driven through the window's menus with the active cell
// clicked in the grid: inserting and deleting whole columns and rows, pasting over a block, and
// quick formulas at the edge of the grid; checked on the exact texts and values of the cells.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/caModelServices.h"
#include "calculator/views/CACellView.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLUndoManager.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class WindowSheetEditsTest : public testing::Test {
 protected:
  WindowSheetEditsTest() {
    FLKernel::sharedInstance();
    InstallFileFormatServices();  // the cell archive of the clipboard
    CAModelHooks hooks;
    hooks.beep = [this] { ++beeps; };
    SetModelHooks(std::move(hooks));
    controller.prepareToShow();
    controller.mainWindow()->resize(900, 600);
    controller.mainWindow()->show();
    QApplication::setActiveWindow(controller.mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
    controller.cellView()->setFocus();
  }
  ~WindowSheetEditsTest() override {
    controller.mainWindow()->close();
    SetModelHooks(CAModelHooks());
  }

  CADocument& document() const { return *controller.document(); }
  void trigger(const char* name) const {
    QAction* action = controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
    ASSERT_NE(action, nullptr) << name;
    controller.validateMenuItems();
    ASSERT_TRUE(action->isEnabled()) << name;
    action->trigger();
  }
  void put(const GridPoint& point, const char* text) {
    document().setCellAtPoint(point, QVariant(QString::fromUtf8(text)), kValueText);
  }
  void put(const char* at, const char* text) { put(Cell(at), text); }
  void click(const char* at) {
    CACellView* grid = controller.cellView();
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->rectForGridPoint(Cell(at)).center().toPoint());
  }
  // The entered text and the value shown, "-" for no cell.
  std::string cell(const char* at) const {
    const CACell* c = document().cellAtGridPoint(Cell(at));
    const QString shown = c ? c->displayText(false) : QString();
    if (!c || (c->formula().isEmpty() && shown.isEmpty())) return "-";
    if (!c->formula().startsWith(QLatin1Char('='))) return shown.toStdString();
    return (c->formula() + QLatin1Char(' ') + shown).toStdString();
  }
  std::string cells(std::initializer_list<const char*> names) const {
    std::string texts;
    for (const char* at : names) {
      if (!texts.empty()) texts += ' ';
      texts += cell(at);
    }
    return texts;
  }
  std::string undoTitle() const {
    QString title;
    controller.undoManager()->validateState(true, &title);
    return title.toStdString();
  }
  static GridPoint Cell(const char* at) {
    GridPoint point;
    const QString text = QString::fromLatin1(at);
    EXPECT_TRUE(ParseGridPoint(text, 0, text.size(), &point)) << at;
    return point;
  }
  // No cell and no line left from an earlier case.
  void wipe() {
    document().setSelectionRange(GridRange{{kGridWildcard, 0}, {kGridWildcard, 30}});
    document().deleteSelection(kEditRows);
  }

  mutable CAWindowController controller;
  int beeps = 0;
};

}  // namespace

// Whole columns or rows inserted or deleted move every row's or column's cells, and so every
// formula that names them follows, in whatever row or column it stands.
TEST_F(WindowSheetEditsTest, InsertingAndDeletingLinesMovesEveryReferenceWhateverTheSelection) {
  struct Case {
    const char* clicked;
    const char* item;
    const char* cells[2];
    const char* expected;
  };
  const Case cases[] = {
      {"A1", "insertRowOrColumn:0", {"B5", "B7"}, "=SUM(B3:B4) 25 =D4*2 14"},
      {"A1", "insertRowOrColumn:1", {"C2", "A8"}, "=SUM(A2:B2) 13 =C5*2 14"},
      {"B1", "deleteRowOrColumn:0", {"B1", "A7"}, "=SUM(A1:A1) 10 =B4*2 14"},
      {"A2", "deleteRowOrColumn:1", {"A4", "A6"}, "=SUM(A2:A3) 25 =C3*2 14"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.item) + " at " + c.clicked);
    wipe();
    for (const auto& [at, text] : {std::pair{"A1", "10"}, {"B1", "3"}, {"C1", "=SUM(A1:B1)"}, {"A3", "20"},
                                   {"A4", "5"}, {"A5", "=SUM(A3:A4)"}, {"C4", "7"}, {"A7", "=C4*2"}})
      put(at, text);
    document().invalidateAfterCellEdit(-1);
    click(c.clicked);
    ASSERT_EQ(document().selectionRange(), (GridRange{Cell(c.clicked), Cell(c.clicked)}));
    trigger(c.item);
    EXPECT_EQ(cells({c.cells[0], c.cells[1]}), c.expected);
  }
}

// A paste replaces the whole block it covers: cells no source cell reaches are cleared, in the
// rows past the last source row and, for whole lines, to the end of the sheet; Undo brings them
// back.
TEST_F(WindowSheetEditsTest, APasteClearsWhatNoSourceCellReachesInItsBlock) {
  struct Case {
    GridRange copied;
    const char* filled[2];  // of the sources
    const char* target;
    std::initializer_list<const char*> checked;  // first 9s, then what the paste made of them
    const char* expected;
  };
  const Case cases[] = {
      {{Cell("A1"), Cell("B3")}, {"A1", "B1"}, "D1", {"D1", "D2", "D3", "E1", "E2", "E3"}, "1 - - 1 - -"},
      {{{0, kGridWildcard}, {0, kGridWildcard}}, {"A1", "A3"}, "D1", {"D1", "D2", "D3", "D4", "D5", "D6"},
       "1 - 1 - - -"},
      {{{kGridWildcard, 0}, {kGridWildcard, 2}}, {"A1", "B1"}, "A4", {"A4", "B4", "C5", "A6", "F6", "B5"},
       "1 1 - - - -"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    wipe();
    for (const char* at : c.filled) put(at, "1");
    document().setSelectionRange(c.copied);
    trigger("copy:");
    // Typed after the copy: the copied lines hold nothing of them.
    for (const char* at : c.checked) put(at, "9");
    click(c.target);
    trigger("paste:");
    EXPECT_EQ(cells(c.checked), c.expected);
    EXPECT_EQ(undoTitle(), "Undo Paste");
    controller.undoEdit();
    EXPECT_EQ(cells(c.checked), "9 9 9 9 9 9");
  }
}

// Totals that would land past the last column or row are refused with a beep before any undo
// step or change of the selection.
TEST_F(WindowSheetEditsTest, AQuickFormulaOffTheGridBeepsAndChangesNothing) {
  const int64_t lastX = LastGridColumn();
  const struct {
    GridRange selection;
    GridPoint filled[2];
  } cases[] = {
      {{{lastX - 1, 0}, {lastX, 0}}, {{lastX - 1, 0}, {lastX, 0}}},
      {{{lastX - 1, kGridWildcard}, {lastX, kGridWildcard}}, {{lastX - 1, 0}, {lastX, 0}}},
      {{{kGridWildcard, kLastGridRow - 1}, {kGridWildcard, kLastGridRow}}, {{0, kLastGridRow - 1}, {0, kLastGridRow}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(StringFromGridPoint(c.selection.endPoint).toStdString());
    for (const GridPoint& at : c.filled) put(at, "1");
    document().setSelectionRange(c.selection);
    const int before = beeps;
    const uint32_t steps = controller.undoManager()->inUseCount();
    trigger("insertQuickFormula:1");
    EXPECT_EQ(beeps, before + 1);
    EXPECT_EQ(controller.undoManager()->inUseCount(), steps);
    EXPECT_EQ(document().selectionRange(), c.selection);
  }
}
