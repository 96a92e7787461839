// Every command of a window, run again and again with the first, second, third, ... allocation
// made to fail, until it runs with none failing: after each failure the program goes on, the sheet
// and its undo history are as they were, and the window gave the memory alert; then the command
// completes.
#include "support/AllocationFailures.h"

#include "CommandMemoryTestSupport.h"

#include "calculator/controllers/CAFindDialog.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CAFormat.h"
#include "calculator/views/CAScrollView.h"
#include "calculator/views/CASpreadsheetView.h"

#include <QAction>
#include <QMenuBar>
#include <QPointer>

#include <functional>
#include <vector>

namespace {

class WindowCommandMemoryTest : public CommandMemoryTest {
 protected:
  QAction* item(const char* name) const {
    return controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
  }
  // The menu item's command, as its click or key runs it.
  std::function<void()> menu(const char* name) {
    return [this, name] {
      QAction* command = item(name);
      ASSERT_NE(command, nullptr) << name;
      command->trigger();
    };
  }
  void select(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    document().setSelectionRange(GridRange{{x0, y0}, {x1, y1}});
    controller.validateMenuItems();
  }

  // A small sheet of numbers, texts and formulas, a format of a row and a column's width, with a
  // history of two steps of which the second is undone (a redo step that a failed command keeps).
  void makeSheet() {
    CADocument& sheet = document();
    if (base_.isEmpty()) {
      for (int64_t y = 0; y < 6; ++y)
        for (int64_t x = 0; x < 4; ++x)
          sheet.cellAtGridPointImperative({x, y})->setFormula(
              (x + y) % 3 == 0 ? QStringLiteral("x text %1").arg(10 * x + y) : QString::number(7 * y - x));
      sheet.cellAtGridPointImperative({4, 0})->setFormula(QStringLiteral("=SUM(A2:B6)"));
      CAFormat italic;
      italic.setItalic(true);
      sheet.rowImperative(2)->setFormat(italic);
      sheet.columnImperative(1)->setWidth(1828800);
      sheet.evaluate();
      base_ = sheet.archiveWholeDocUtf8ForUndo();
    }
    controller.undoManager()->clearUndo();
    sheet.restoreWholeDocFromUndo(base_);
    sheet.evaluate();
    select(0, 0, 0, 0);
    menu("bold:")();
    select(3, 5, 3, 5);
    menu("clear:2")();
    controller.undoEdit();
    select(0, 0, 0, 0);
  }

  QByteArray base_;
};

TEST_F(WindowCommandMemoryTest, EveryCommandRunningOutOfMemoryLeavesTheSheetAndItsHistoryAsTheyWere) {
  CAFindDialog& find = CAFindDialog::sharedInstance();
  const auto pasteAt = [this](int64_t x, int64_t y) {
    select(0, 0, 1, 2);
    menu("copy:")();
    select(x, y, x, y);
  };
  const auto dragColumnEdge = [this] {
    CASpreadsheetView* sheet = controller.spreadsheetView();
    ASSERT_NE(sheet, nullptr);
    const QPoint origin = sheet->scrollView()->pos();
    const double edge = grid()->rectForGridPoint(GridPoint{2, 0}).right() * grid()->zoomValue();
    const QPoint from(origin.x() + int(edge) - 2, origin.y() / 2);
    QTest::mousePress(sheet, Qt::LeftButton, {}, from);
    QTest::mouseMove(sheet, from + QPoint(40, 0));
    QTest::mouseRelease(sheet, Qt::LeftButton, {}, from + QPoint(40, 0));
  };
  const struct {
    const char* name;
    std::function<void()> prepare;  // with nothing failing
    std::vector<std::function<void()>> events;
  } commands[] = {
      {"Clear Contents", [&] { select(1, 1, 2, 3); }, {menu("clear:2")}},
      {"Clear All", [&] { select(0, 0, 3, 5); }, {menu("clear:0")}},
      {"Clear Formats", [&] { select(0, 0, 3, 5); }, {menu("clear:1")}},
      {"Delete", [&] { select(1, 1, 2, 3); }, {menu("delete:")}},
      {"Cut", [&] { select(1, 1, 2, 3); }, {menu("cut:")}},
      {"Paste", [&] { pasteAt(2, 3); }, {menu("paste:")}},
      {"Fill Down", [&] { select(0, 0, 3, 5); }, {menu("fillDown:")}},
      {"Fill Right", [&] { select(0, 0, 3, 5); }, {menu("fillRight:")}},
      {"Insert Sum", [&] { select(0, 0, 3, 5); }, {menu("insertQuickFormula:1")}},
      {"Sort",
       [&] {
         select(0, 0, 3, 5);
         document().setSortKey1(GridPoint{1, 0});
       },
       {[&] { controller.runCommand([&] { document().sort(); }); }}},
      {"Replace All",
       [&] {
         find.setFindString(QStringLiteral("x"));
         find.setReplaceString(QStringLiteral("a longer text"));
         find.windowDidBecomeKey();
       },
       {[&] { find.replace(kReplaceAll); }}},
      {"Replace", [&] { select(0, 0, 0, 0); }, {[&] { find.replace(kReplaceOne); }}},
      {"Insert Rows", [&] { document().setSelectionRange(GridRange{{kGridWildcard, 1}, {kGridWildcard, 2}}); },
       {menu("insertRowOrColumn:1")}},
      {"Delete Columns",
       [&] { document().setSelectionRange(GridRange{{1, kGridWildcard}, {1, kGridWildcard}}); },
       {menu("deleteRowOrColumn:0")}},
      {"Insert Cells Down", [&] { select(1, 1, 2, 2); }, {menu("insertCells:1")}},
      {"Delete Cells Left", [&] { select(1, 1, 1, 3); }, {menu("deleteCells:0")}},
      {"Bold", [&] { select(0, 0, 3, 5); }, {menu("bold:")}},
      {"Align Right", [&] { select(0, 1, 2, 2); }, {menu("align:102")}},
      {"Typing a cell",
       [&] {
         select(1, 4, 1, 4);
         grid()->setFocus(Qt::OtherFocusReason);
       },
       {[&] { type(QStringLiteral("4")); }, [&] { type(QStringLiteral("2")); }, [&] { press(Qt::Key_Return); }}},
      {"Column width drag", [&] { select(0, 0, 0, 0); }, {dragColumnEdge}},
      {"Undo of a paste",
       [&] {
         pasteAt(2, 3);
         menu("paste:")();
       },
       {[&] { controller.undoEdit(); }}},
      {"Redo of a paste",
       [&] {
         pasteAt(2, 3);
         menu("paste:")();
         controller.undoEdit();
       },
       {[&] { controller.redoEdit(); }}},
      {"Undo of inserted rows",
       [&] {
         document().setSelectionRange(GridRange{{kGridWildcard, 1}, {kGridWildcard, 2}});
         controller.validateMenuItems();
         menu("insertRowOrColumn:1")();
       },
       {[&] { controller.undoEdit(); }}},
      {"Redo of a sort",
       [&] {
         select(0, 0, 3, 5);
         document().setSortKey1(GridPoint{1, 0});
         controller.runCommand([&] { document().sort(); });
         controller.undoEdit();
       },
       {[&] { controller.redoEdit(); }}},
  };
  // Qt's dispatch of a menu item guards it with a weak pointer, made once: made here, the
  // failures fall in the commands.
  std::vector<QPointer<QAction>> guards;
  for (QAction* each : controller.mainWindow()->menuBar()->findChildren<QAction*>()) guards.emplace_back(each);
  // Each command once with nothing failing, so that what Qt makes on first use (the typing field,
  // the same weak pointers to the widgets events go to) is there before any allocation fails.
  for (const auto& command : commands) {
    makeSheet();
    command.prepare();
    for (const auto& event : command.events) event();
  }
  std::vector<QPointer<QObject>> widgets;
  for (QWidget* each : controller.mainWindow()->findChildren<QWidget*>()) widgets.emplace_back(each);
  widgets.emplace_back(controller.mainWindow());

  for (const auto& command : commands) {
    SCOPED_TRACE(command.name);
    makeSheet();
    command.prepare();
    const std::string before = sheetXml();
    const std::string steps = history();
    int64_t points = 0;
    bool completed = false;
    // Every point of the first 200, then a stride that grows with the count.
    for (int64_t k = 1; k < 200000 && !completed; k += k < 200 ? 1 : 7 + k / 40) {
      SCOPED_TRACE(k);
      const qsizetype told = alerts.size();
      FailAllocations(k);
      for (const auto& event : command.events) {
        event();
        if (allocation_failures::g_failures > 0) break;
      }
      const AllocationCounts counts = AllowAllocations();
      if (counts.failures == 0) {
        completed = true;
        EXPECT_NE(sheetXml(), before) << "the command changed nothing";
        EXPECT_EQ(alerts.size(), told);
        break;
      }
      ++points;
      ASSERT_EQ(sheetXml(), before);
      ASSERT_EQ(history(), steps);
      ASSERT_EQ(alerts.size(), told + 1);
      ASSERT_EQ(alerts.back(), memoryAlert());
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(points, 5);
  }
}

}  // namespace
