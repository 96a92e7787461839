// Every command of a window, run again and again with the first, second, third, ... allocation
// made to fail, until it runs with none failing: after each failure the program goes on, the sheet
// and its undo history are as they were, and the window gave the memory alert; then the command
// completes.
#include "support/AllocationFailures.h"

#include "CommandMemoryTestSupport.h"

#include "calculator/controllers/CAFindDialog.h"
#include "calculator/controllers/CAFormatDocContentVC.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CAFormat.h"
#include "calculator/views/CAScrollView.h"
#include "calculator/views/CASpreadsheetView.h"
#include "framlet/shell/FLPropertyView.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <deque>
#include <utility>
#include <functional>
#include <vector>

namespace {

// The commands run in this many groups, each a test of its own that can run beside the others.
constexpr int kCommandGroups = 8;

class WindowCommandMemoryTest : public CommandMemoryTest, public testing::WithParamInterface<int> {
 protected:
  QAction* item(const char* name) const {
    return controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
  }
  // The menu item's command, as its click or key runs it.
  std::function<void()> menu(const char* name) {
    // Found before any allocation is made to fail.
    QAction* command = item(name);
    EXPECT_NE(command, nullptr) << name;
    return [command] {
      if (command) command->trigger();
    };
  }
  // A key pressed where the keys go, as an event made before any allocation fails: what fails is
  // the window's handling of the key, never the making of the event. (Letting it go is a command
  // of its own, which changes nothing here.)
  std::function<void()> key(Qt::Key code, const QString& text = {}) {
    QKeyEvent* press = &keyEvents_.emplace_back(QEvent::KeyPress, code, Qt::NoModifier, text);
    return [this, press] { QApplication::sendEvent(focus(), press); };
  }
  // The sheet view that holds the labels and the grid.
  QWidget* sheet() const { return controller.scrollView()->parentWidget(); }
  // A press on the right edge of column x in the labels, a move dx points on and the release,
  // made now (nothing failing) for the sheet as it is.
  void prepareEdgeDrag(int64_t x, int dx) {
    const QRectF cell = grid()->rectForGridPoint(GridPoint{x, 0});
    const QPoint origin = grid()->mapTo(sheet(), QPoint(0, 0));
    const QPointF from(origin.x() + int(cell.right()), origin.y() / 2);
    const QPointF to = from + QPointF(dx, 0);
    mouseEvents_.clear();
    mouseEvents_.emplace_back(QEvent::MouseButtonPress, from, sheet()->mapToGlobal(from), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
    mouseEvents_.emplace_back(QEvent::MouseMove, to, sheet()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                              Qt::NoModifier);
    mouseEvents_.emplace_back(QEvent::MouseButtonRelease, to, sheet()->mapToGlobal(to), Qt::LeftButton,
                              Qt::NoButton, Qt::NoModifier);
  }
  // The drag's events in turn.
  std::vector<std::function<void()>> edgeDrag() {
    std::vector<std::function<void()>> events;
    for (size_t i = 0; i < 3; ++i) events.emplace_back([this, i] { QApplication::sendEvent(sheet(), &mouseEvents_[i]); });
    return events;
  }
  // A click on a box of the document's Content pane, its press and release made now.
  void prepareContentBoxClick(const char* box) {
    // The sheet's own settings, which its rows and cells do not hold.
    document().setStripeInterval(0);
    document().notifyOfSelectionChange();
    controller.showFormatPanel(true);
    CAPropertyController& panel = *controller.propertyController();
    if (panel.domain() != kDomainDocument) panel.tabWasSelected(kDomainDocument, panel.domainControl());
    FLPropertyView& view = *panel.propertyView();
    QAbstractButton* button = nullptr;
    for (int64_t i = 0; i < view.levelCount() && !button; ++i)
      if (auto* content = qobject_cast<CAFormatDocContentVC*>(view.levelController(i)))
        button = content->view()->findChild<QAbstractButton*>(QLatin1String(box));
    ASSERT_NE(button, nullptr) << box;
    clicked_ = button;
    const QPointF at = QRectF(button->rect()).center();
    mouseEvents_.clear();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
      mouseEvents_.emplace_back(type, at, button->mapToGlobal(at), Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
  }
  std::vector<std::function<void()>> click() {
    std::vector<std::function<void()>> events;
    for (size_t i = 0; i < 2; ++i) events.emplace_back([this, i] { QApplication::sendEvent(clicked_, &mouseEvents_[i]); });
    return events;
  }
  // A command's preparation that selects the cells from (x0, y0) to (x1, y1).
  std::function<void()> selecting(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    return [=, this] { select(x0, y0, x1, y1); };
  }
  void select(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    document().setSelectionRange(GridRange{{x0, y0}, {x1, y1}});
    controller.validateMenuItems();
  }

  // A small sheet of numbers, texts and formulas, a format of a row and a column's width, with a
  // history of two steps of which the second is undone (a redo step that a failed command keeps).
  void makeSheet() {
    CADocument& sheet = document();
    // Typing left open by the command before goes without a trace.
    if (grid()->isTyping()) grid()->stopTyping(false);
    grid()->setFocus();
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
  std::deque<QKeyEvent> keyEvents_;
  std::deque<QMouseEvent> mouseEvents_;
  QPointer<QAbstractButton> clicked_;
};

TEST_P(WindowCommandMemoryTest, EveryCommandRunningOutOfMemoryLeavesTheSheetAndItsHistoryAsTheyWere) {
  CAFindDialog& find = CAFindDialog::sharedInstance();
  const auto pasteSheet = [&] {
    select(0, 0, 1, 1);
    menu("copy:")();
    select(2, 3, 2, 3);
    menu("paste:")();
  };
  const auto sortSheet = [&] {
    select(0, 0, 3, 5);
    document().setSortKey1(GridPoint{1, 0});
    controller.runCommand([&] { document().sort(); });
  };
  const struct {
    const char* name;
    std::function<void()> prepare;  // with nothing failing
    std::vector<std::function<void()>> events;
    // Keys typed into a cell after prepare, with nothing failing: a failure may end that typing,
    // the cell as it was before it.
    std::vector<std::function<void()>> typed = {};
  } commands[] = {
      {"Clear Contents", selecting(1, 1, 2, 3), {menu("clear:2")}},
      {"Clear All", selecting(0, 0, 3, 5), {menu("clear:0")}},
      {"Clear Formats", selecting(0, 0, 3, 5), {menu("clear:1")}},
      {"Delete", selecting(1, 1, 2, 3), {menu("delete:")}},
      {"Cut", selecting(1, 1, 2, 3), {menu("cut:")}},
      {"Fill Down", selecting(0, 0, 3, 5), {menu("fillDown:")}},
      {"Fill Right", selecting(0, 0, 3, 5), {menu("fillRight:")}},
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
      {"Replace", selecting(0, 0, 0, 0), {[&] { find.replace(kReplaceOne); }}},
      {"Insert Rows", [&] { document().setSelectionRange(GridRange{{kGridWildcard, 1}, {kGridWildcard, 2}}); },
       {menu("insertRowOrColumn:1")}},
      {"Delete Columns",
       [&] { document().setSelectionRange(GridRange{{1, kGridWildcard}, {1, kGridWildcard}}); },
       {menu("deleteRowOrColumn:0")}},
      {"Insert Cells Down", selecting(1, 1, 2, 2), {menu("insertCells:1")}},
      {"Delete Cells Left", selecting(1, 1, 1, 3), {menu("deleteCells:0")}},
      {"Insert Columns", [&] { document().setSelectionRange(GridRange{{1, kGridWildcard}, {2, kGridWildcard}}); },
       {menu("insertRowOrColumn:0")}},
      {"Delete Rows", [&] { document().setSelectionRange(GridRange{{kGridWildcard, 1}, {kGridWildcard, 3}}); },
       {menu("deleteRowOrColumn:1")}},
      {"Insert Cells Right", selecting(1, 1, 2, 2), {menu("insertCells:0")}},
      {"Delete Cells Up", selecting(1, 1, 2, 2), {menu("deleteCells:1")}},
      {"Bold", selecting(0, 0, 3, 5), {menu("bold:")}},
      {"Italic", selecting(0, 0, 3, 1), {menu("italic:")}},
      {"Underline", selecting(0, 0, 3, 5), {menu("underline:")}},
      {"Strikethrough", selecting(1, 1, 2, 4), {menu("strike:")}},
      {"Plain Text", selecting(0, 0, 0, 0), {menu("plain:")}},
      {"Center", selecting(0, 0, 3, 5), {menu("align:101")}},
      {"Paste Style",
       [&] {
         select(0, 0, 0, 0);
         menu("copyStyle:0")();
         select(1, 1, 3, 4);
       },
       {menu("pasteStyle:")}},
      {"Paste as Plain Text",
       [&] {
         select(0, 0, 1, 2);
         menu("copy:")();
         select(2, 2, 2, 2);
       },
       {menu("pasteAsPlainText:")}},
      {"Insert Average", selecting(1, 1, 1, 4), {menu("insertQuickFormula:0")}},
      {"Insert Checkbox", selecting(3, 1, 3, 1), {menu("insertCheckbox:")}},
      {"Align Right", selecting(0, 1, 2, 2), {menu("align:102")}},
      {"Paste",
       [&] {
         select(0, 0, 1, 1);
         menu("copy:")();
         select(2, 3, 2, 3);
       },
       {menu("paste:")}},
      {"Insert Sum", selecting(0, 1, 0, 4), {menu("insertQuickFormula:1")}},
      {"Typing into a cell", selecting(1, 1, 1, 1), {key(Qt::Key_4, QStringLiteral("4"))}},
      {"A key typed after others",
       selecting(1, 1, 1, 1),
       {key(Qt::Key_2, QStringLiteral("2"))},
       {key(Qt::Key_4, QStringLiteral("4"))}},
      {"Entering typed text",
       selecting(1, 1, 1, 1),
       {key(Qt::Key_Return, QStringLiteral("\r"))},
       {key(Qt::Key_4, QStringLiteral("4")), key(Qt::Key_2, QStringLiteral("2"))}},
      {"Tab after typed text",
       selecting(1, 1, 1, 1),
       {key(Qt::Key_Tab, QStringLiteral("\t"))},
       {key(Qt::Key_9, QStringLiteral("9"))}},
      {"Undo of a paste", pasteSheet, {[&] { controller.undoEdit(); }}},
      {"Redo of a paste",
       [&] {
         pasteSheet();
         controller.undoEdit();
       },
       {[&] { controller.redoEdit(); }}},
      {"Undo of Clear All",
       [&] {
         select(0, 0, 3, 5);
         menu("clear:0")();
       },
       {[&] { controller.undoEdit(); }}},
      // The column the press on its edge selects is selected already: what the drag changes is
      // the width alone.
      {"Column width drag",
       [&] {
         document().setSelectionRange(GridRange{{2, kGridWildcard}, {2, kGridWildcard}});
         prepareEdgeDrag(2, 40);
       },
       edgeDrag()},
      {"Stripes box in the Content pane", [&] { prepareContentBoxClick("stripeButton"); }, click()},
      {"Undo of Bold",
       [&] {
         select(0, 0, 3, 5);
         menu("bold:")();
       },
       {[&] { controller.undoEdit(); }}},
      {"Undo of inserted rows",
       [&] {
         document().setSelectionRange(GridRange{{kGridWildcard, 1}, {kGridWildcard, 2}});
         menu("insertRowOrColumn:1")();
       },
       {[&] { controller.undoEdit(); }}},
      {"Undo of a sort", sortSheet, {[&] { controller.undoEdit(); }}},
      {"Redo of a sort",
       [&] {
         sortSheet();
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

  for (size_t row = 0; row < std::size(commands); ++row) {
    if (int(row % kCommandGroups) != GetParam()) continue;
    const auto& command = commands[row];
    SCOPED_TRACE(command.name);
    const auto begin = [&] {
      makeSheet();
      command.prepare();
      for (const auto& typed : command.typed) typed();
    };
    // The typing ended as Escape ends it: the cell as before it; the redo steps its first key let
    // go stay gone.
    std::string typingEnded, stepsTypingEnded;
    if (!command.typed.empty()) {
      begin();
      grid()->stopTyping(false);
      typingEnded = sheetXml();
      stepsTypingEnded = history();
    }
    // Each event of a gesture (a drag's press, moves and release) is a command of its own: a
    // failure leaves the sheet as the event that failed found it. Between events the count of
    // allocations stops while that is noted, and goes on from where it was.
    std::string eventBefore, eventSteps;
    const auto run = [&](int64_t k) {
      int64_t used = 0;
      for (size_t i = 0; i < command.events.size(); ++i) {
        if (i > 0 && k > 0) {
          used += AllowAllocations().allocations;
          eventBefore = sheetXml();
          eventSteps = history();
          FailAllocations(k - used);
        }
        command.events[i]();
        if (allocation_failures::g_failures > 0) break;
      }
    };
    // What the command makes when nothing fails.
    begin();
    const std::string before = sheetXml();
    const std::string steps = history();
    run(0);
    const std::string after = sheetXml();
    const std::string stepsAfter = history();
    ASSERT_NE(after, before) << "the command changed nothing";
    begin();
    ASSERT_EQ(sheetXml(), before);

    int64_t refused = 0;
    bool completed = false;
    // Every point of the first 200, then a stride that grows with the count.
    for (int64_t k = 1; k < 200000 && !completed; k += k < 200 ? 1 : 7 + k / 40) {
      SCOPED_TRACE(k);
      const qsizetype told = alerts.size();
      eventBefore = before;
      eventSteps = steps;
      FailAllocations(k);
      run(k);
      const AllocationCounts counts = AllowAllocations();
      completed = counts.failures == 0;
      if (completed || alerts.size() == told) {
        // Done, with a failure that cost the command nothing (a cache, a redraw): the whole
        // command, and no alert.
        ASSERT_EQ(alerts.size(), told);
        const bool whole = sheetXml() == after && history() == stepsAfter;
        EXPECT_EQ(sheetXml(), after);
        EXPECT_EQ(history(), stepsAfter);
        ASSERT_TRUE(whole);
        if (!completed) begin();
        continue;
      }
      ++refused;
      const bool ended = !command.typed.empty() && sheetXml() == typingEnded && history() == stepsTypingEnded;
      const bool same = ended || (sheetXml() == eventBefore && history() == eventSteps);
      if (!ended) {
        EXPECT_EQ(sheetXml(), eventBefore);
        EXPECT_EQ(history(), eventSteps);
      }
      ASSERT_EQ(alerts.size(), told + 1);
      EXPECT_EQ(alerts.back(), memoryAlert());
      ASSERT_TRUE(same);
      // The next attempt starts as a user's would after the alert: where the keys go is the
      // window's (the failed key may have left them on the grid), not the document's.
      begin();
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(refused, 5);
  }
}

INSTANTIATE_TEST_SUITE_P(Groups, WindowCommandMemoryTest, testing::Range(0, kCommandGroups));

// Commands given the ways a user gives them: a key handed to the window as the platform hands it
// (its override check, the shortcut lookup, then its press), and a click on an item of the shown
// menu or on a dialog's button. Whatever allocation fails, the program goes on, and either the
// command is done whole and nothing is said, or the sheet and its history are as they were and
// the memory alert is given.
class CommandEntryMemoryTest : public WindowCommandMemoryTest {
 protected:
  struct Gesture {
    std::function<void()> prepare;  // with nothing failing
    std::function<void()> run;      // the failures fall in it
    std::function<void()> settle;   // with nothing failing: the key let go, the menu closed
  };
  // A press of the key as the platform hands it to the window, and its release.
  Gesture windowKey(QKeyCombination key, const QString& text = {}) {
    const auto send = [this, key, text](QEvent::Type type) {
      qt_handleKeyEvent(controller.mainWindow()->windowHandle(), type, int(key.key()), key.keyboardModifiers(), text);
    };
    return {[] {}, [send] { send(QEvent::KeyPress); }, [send] { send(QEvent::KeyRelease); }};
  }
  // The item's menu opened from the menu bar and the item pressed; its release runs it.
  Gesture menuClick(const char* name) {
    return {[this, name] {
              QAction* command = item(name);
              ASSERT_NE(command, nullptr) << name;
              menu_ = qobject_cast<QMenu*>(command->parent());
              ASSERT_NE(menu_, nullptr) << name;
              controller.mainWindow()->menuBar()->setActiveAction(menu_->menuAction());
              QTRY_VERIFY(menu_->isVisible());
              ASSERT_TRUE(command->isEnabled()) << name;
              const QPointF at = QRectF(menu_->actionGeometry(command)).center();
              pressRelease(at, menu_->mapToGlobal(at));
              QApplication::sendEvent(menu_, &mouseEvents_[0]);
            },
            [this] {
              if (menu_) QApplication::sendEvent(menu_, &mouseEvents_[1]);
            },
            [this] {
              if (menu_ && menu_->isVisible()) menu_->hide();
              controller.mainWindow()->menuBar()->setActiveAction(nullptr);
            }};
  }
  // A click on the Find dialog's button, pressed now; its release runs it.
  Gesture buttonClick(const char* name) {
    return {[this, name] {
              clicked_ = CAFindDialog::sharedInstance().findChild<QAbstractButton*>(QLatin1String(name));
              ASSERT_NE(clicked_, nullptr) << name;
              const QPointF at = QRectF(clicked_->rect()).center();
              pressRelease(at, clicked_->mapToGlobal(at));
              QApplication::sendEvent(clicked_, &mouseEvents_[0]);
            },
            [this] {
              if (clicked_) QApplication::sendEvent(clicked_, &mouseEvents_[1]);
            },
            [] {}};
  }
  void pressRelease(QPointF at, QPointF global) {
    mouseEvents_.clear();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
      mouseEvents_.emplace_back(type, at, global, Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
  }

  QPointer<QMenu> menu_;
};

TEST_F(CommandEntryMemoryTest, ACommandRefusedForMemorySaysSoFromItsFirstAllocation) {
  CAFindDialog& find = CAFindDialog::sharedInstance();
  const auto rows = [&](int64_t y0, int64_t y1) {
    return [this, y0, y1] { document().setSelectionRange(GridRange{{kGridWildcard, y0}, {kGridWildcard, y1}}); };
  };
  const struct {
    const char* name;
    std::function<void()> select;  // with nothing failing
    Gesture gesture;
  } commands[] = {
      {"Fill Down by its key", selecting(0, 0, 3, 5), windowKey(Qt::ControlModifier | Qt::Key_D)},
      {"Fill Down from its menu", selecting(0, 0, 3, 5), menuClick("fillDown:")},
      {"Fill Right by its key", selecting(0, 0, 3, 5), windowKey(Qt::ControlModifier | Qt::Key_R)},
      {"Bold by its key", selecting(0, 0, 3, 5), windowKey(Qt::ControlModifier | Qt::Key_B)},
      {"Clear by the Delete key", selecting(1, 1, 2, 3), windowKey(QKeyCombination(Qt::Key_Delete))},
      {"Clear Contents from its menu", selecting(1, 1, 2, 3), menuClick("clear:2")},
      {"Insert Rows from its menu", rows(1, 2), menuClick("insertRowOrColumn:1")},
      {"Delete Rows from its menu", rows(1, 3), menuClick("deleteRowOrColumn:1")},
      {"Replace All by its button",
       [&] {
         find.setFindString(QStringLiteral("x"));
         find.setReplaceString(QStringLiteral("a longer text"));
         find.windowDidBecomeKey();
       },
       buttonClick("replaceAll")},
  };
  // Each once with nothing failing, so that what Qt makes on first use is there before any
  // allocation fails.
  for (const auto& command : commands) {
    makeSheet();
    command.select();
    command.gesture.prepare();
    command.gesture.run();
    command.gesture.settle();
  }
  for (const auto& command : commands) {
    SCOPED_TRACE(command.name);
    const auto begin = [&] {
      makeSheet();
      command.select();
    };
    begin();
    const std::string before = sheetXml();
    const std::string steps = history();
    command.gesture.prepare();
    command.gesture.run();
    command.gesture.settle();
    const std::string after = sheetXml();
    const std::string stepsAfter = history();
    ASSERT_NE(after, before) << "the command changed nothing";

    int64_t refused = 0;
    bool completed = false;
    for (int64_t k = 1; k < 200000 && !completed; k += k < 200 ? 1 : 7 + k / 40) {
      SCOPED_TRACE(k);
      begin();
      command.gesture.prepare();
      const qsizetype told = alerts.size();
      bool escaped = false;
      FailAllocations(k);
      try {
        command.gesture.run();
      } catch (const std::bad_alloc&) {
        escaped = true;
      }
      const AllocationCounts counts = AllowAllocations();
      command.gesture.settle();
      ASSERT_FALSE(escaped) << "the failure left the window's event handling";
      completed = counts.failures == 0;
      const bool done = sheetXml() == after && history() == stepsAfter;
      if (done) {
        // Done whole, with a failure that cost it nothing (a cache, a redraw): nothing said.
        ASSERT_EQ(alerts.size(), told);
        continue;
      }
      ASSERT_FALSE(completed);
      ++refused;
      EXPECT_EQ(sheetXml(), before);
      EXPECT_EQ(history(), steps);
      // Refused: said so, once.
      ASSERT_EQ(alerts.size(), told + 1);
      EXPECT_EQ(alerts.back(), memoryAlert());
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(refused, 5);
  }
}

}  // namespace

// The alert of a command refused for memory needs memory to be shown: when there is none left to
// show it, or even to put it off, it is owed, and shown as the next event reaches the window.
TEST_F(CommandEntryMemoryTest, AMemoryAlertThatCannotBeShownIsShownWithTheNextEvent) {
  bool refuse = true;
  FLAlert::sharedInstance().setModalRunner([&](const FLAlertRequest& request, bool*) {
    if (std::exchange(refuse, false)) {
      // Nor is there room to put it off.
      FailAllocations(1);
      throw std::bad_alloc();
    }
    alerts.append(request.message + QLatin1Char('|') + request.moreInfo);
    return 0;
  });
  GiveCommandMemoryAlert(document());
  AllowAllocations();
  EXPECT_FALSE(refuse);
  EXPECT_TRUE(alerts.isEmpty());
  QEvent next(QEvent::User);
  QApplication::sendEvent(grid(), &next);
  ASSERT_EQ(alerts.size(), 1);
  EXPECT_EQ(alerts.front(), memoryAlert());
  // Owed once: shown once.
  QApplication::sendEvent(grid(), &next);
  QApplication::processEvents();
  EXPECT_EQ(alerts.size(), 1);
}
