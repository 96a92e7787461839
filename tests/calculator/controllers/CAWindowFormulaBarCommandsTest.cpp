// Commands chosen from the menus while text typed in the formula bar (or in a cell's field) has
// not been entered: the text goes into the cell it was typed for, and no other cell takes it,
// whether the command moves the selection, the cells, or neither.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAApplication.h"
#include "calculator/controllers/CAFindDialog.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CASortDialog.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/ModelTestSupport.h"
#include "calculator/model/SheetTestSupport.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAFormulaTextView.h"
#include "framlet/foundation/FLKernel.h"
#include "platform/UserDefaults.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace {

// One window per row, shown and active, with the sheet of the row's story typed in.
class BarWindow {
 public:
  BarWindow() {
    FLKernel::sharedInstance();
    controller.prepareToShow();
    controller.mainWindow()->resize(800, 600);
    controller.mainWindow()->show();
    QApplication::setActiveWindow(controller.mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
  }
  ~BarWindow() { controller.mainWindow()->close(); }

  CACellView* grid() const { return controller.cellView(); }
  CAFormulaTextView* bar() const { return controller.formulaTextView(); }
  CADocument& document() const { return *controller.document(); }
  QPoint at(const char* cell) const { return grid()->rectForGridPoint(A1(cell)).center().toPoint(); }
  void click(const char* cell, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(grid(), Qt::LeftButton, modifiers, at(cell));
  }
  void type(const QString& text) {
    for (QChar c : text) QTest::keyClicks(QApplication::focusWidget(), QString(c));
  }
  void enter(const char* cell, const char* text) {
    click(cell);
    type(QString::fromUtf8(text));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  }
  // As a click on the item does it: its menu shows (and enables what can run now), and the keys
  // stay where they were.
  void choose(const char* item) {
    QAction* action = controller.mainWindow()->findChild<QAction*>(QLatin1String(item));
    ASSERT_NE(action, nullptr) << item;
    auto* menu = qobject_cast<QMenu*>(action->parent());
    ASSERT_NE(menu, nullptr) << item;
    emit menu->aboutToShow();
    ASSERT_TRUE(action->isEnabled()) << item;
    action->trigger();
    emit menu->aboutToHide();
  }
  std::string text(const char* cell) const {
    const CACell* found = document().cellAtGridPoint(A1(cell));
    return found ? found->editText().toStdString() : std::string();
  }

  mutable CAWindowController controller;
};

// Typed in the formula bar, or in the cell's own field on the grid.
TEST(WindowFormulaBarCommandsTest, ACommandChosenWhileACellIsEditedLeavesEveryOtherCellAlone) {
  CAModelPreferences preferences;
  preferences.searchString = QStringLiteral("budget");
  preferences.searchOptionMask = kSearchWrap | kSearchIgnoreCase;
  ModelEnvironment environment(preferences);
  InstallFileFormatServices();  // the cell archive of the clipboard
  using Cells = std::map<std::string, const char*>;
  const struct {
    const char* what;
    std::function<void(BarWindow&)> before;  // before the bar is clicked (A14 is active)
    std::function<void(BarWindow&)> command;
    Cells expected;  // beside A1 and B3, which stay as typed
  } rows[] = {
      {"Only Used Cells, on and off", nullptr,
       [](BarWindow& w) {
         w.choose("toggleOnlyUsed:");
         w.choose("toggleOnlyUsed:");
       },
       {{"A14", "xyz"}, {"A15", ""}}},
      {"Only Used Cells, on", nullptr, [](BarWindow& w) { w.choose("toggleOnlyUsed:"); }, {{"A14", "xyz"}}},
      {"Select All", nullptr, [](BarWindow& w) { w.choose("selectAll:"); }, {{"A14", "xyz"}}},
      {"Find Next, to A1", nullptr, [](BarWindow& w) { w.choose("findNext:"); }, {{"A14", "xyz"}}},
      {"Find Previous, to A1", nullptr, [](BarWindow& w) { w.choose("findPrevious:"); }, {{"A14", "xyz"}}},
      {"Insert Rows", nullptr, [](BarWindow& w) { w.choose("insertRowOrColumn:1"); },
       {{"A14", ""}, {"A15", "xyz"}}},
      {"Delete Rows", nullptr, [](BarWindow& w) { w.choose("deleteRowOrColumn:1"); },
       {{"A14", ""}, {"A13", ""}}},
      {"Insert Cells Down", nullptr, [](BarWindow& w) { w.choose("insertCells:1"); },
       {{"A14", ""}, {"A15", "xyz"}}},
      {"Delete Cells Up", nullptr, [](BarWindow& w) { w.choose("deleteCells:1"); }, {{"A14", ""}}},
      {"Clear Contents", nullptr, [](BarWindow& w) { w.choose("clear:2"); }, {{"A14", ""}}},
      {"Cut of what A14 held", [](BarWindow& w) {
         w.enter("A14", "old");
         w.click("A14");
       },
       [](BarWindow& w) { w.choose("cut:"); }, {{"A14", ""}}},
      {"Paste of B3", [](BarWindow& w) {
         w.click("B3");
         w.choose("copy:");
         w.click("A14");
       },
       [](BarWindow& w) { w.choose("paste:"); }, {{"A14", "42"}}},
      {"Fill Down over A14:A16", [](BarWindow& w) { w.click("A16", Qt::ShiftModifier); },
       [](BarWindow& w) { w.choose("fillDown:"); }, {{"A14", "xyz"}, {"A15", "xyz"}, {"A16", "xyz"}}},
      {"Undo", nullptr, [](BarWindow& w) { w.controller.undoEdit(); }, {{"A14", ""}}},
      {"Undo and Redo", nullptr,
       [](BarWindow& w) {
         w.controller.undoEdit();
         w.controller.redoEdit();
       },
       {{"A14", "xyz"}}},
      {"Show Formulas", nullptr, [](BarWindow& w) { w.choose("toggleFormulas:"); }, {{"A14", "xyz"}}},
      // The find panel searches the document without a command of the window.
      {"the find panel's Find Next, to A1", nullptr, [](BarWindow& w) { w.document().find(true, false); },
       {{"A14", "xyz"}}},
  };
  for (const bool inBar : {true, false}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(row.what) + (inBar ? ", typed in the formula bar" : ", typed in the cell"));
      BarWindow w;
      w.enter("A1", "Household budget");
      w.enter("B3", "42");
      w.click("A14");
      if (row.before) row.before(w);
      if (inBar) {
        QTest::mouseClick(w.bar()->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
        ASSERT_EQ(QApplication::focusWidget(), w.bar());
        w.bar()->selectAll();
      }
      w.type(QStringLiteral("xyz"));
      const int beeps = environment.beeps;
      row.command(w);
      EXPECT_EQ(environment.beeps, beeps) << "the command was refused";
      // What the bar shows is the active cell's, whatever it edits next.
      const CACell* active = w.document().activeCell();
      EXPECT_EQ(w.bar()->toPlainText().toStdString(), active ? active->editText().toStdString() : std::string());
      // Return in the bar or the cell, when either still has the keys, then a click elsewhere end
      // any editing.
      if (QApplication::focusWidget() == w.bar() || w.grid()->isTyping())
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      w.click("D8");
      EXPECT_EQ(w.text("A1"), "Household budget");
      EXPECT_EQ(w.text("B3"), "42");
      EXPECT_EQ(w.text("D8"), "");
      for (const auto& [cell, expected] : row.expected) EXPECT_EQ(w.text(cell.c_str()), expected) << cell;
    }
  }
}

// The sort sheet opens over the typing; the rows it sorts hold what was typed, and once it has
// sorted no cell takes the typing again.
TEST(WindowFormulaBarCommandsTest, ASortChosenWhileACellIsEditedSortsWhatWasTyped) {
  FLKernel::sharedInstance();
  UserDefaults defaults{QStringLiteral("formula-bar-sort-test")};
  CAPrefController preferences{defaults, false};
  preferences.installProviders();
  preferences.setValue(CABoolPreference::sortWholeDoc, false);
  preferences.setValue(CABoolPreference::sortColumns, false);
  preferences.setValue(CABoolPreference::sortReverse, false);
  CAApplication application;
  for (const bool inBar : {true, false}) {
    SCOPED_TRACE(inBar ? "typed in the formula bar" : "typed in the cell");
    BarWindow w;
    w.enter("A1", "pear");
    w.enter("A2", "apple");
    w.enter("A3", "fig");
    w.click("A1");
    w.click("A3", Qt::ShiftModifier);
    if (inBar) {
      QTest::mouseClick(w.bar()->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
      ASSERT_EQ(QApplication::focusWidget(), w.bar());
      w.bar()->selectAll();
    }
    w.type(QStringLiteral("kiwi"));
    w.choose("sort:");
    auto* dialog = w.controller.mainWindow()->findChild<CASortDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->ok();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const CACell* active = w.document().activeCell();
    EXPECT_EQ(w.bar()->toPlainText().toStdString(), active ? active->editText().toStdString() : std::string());
    if (QApplication::focusWidget() == w.bar() || w.grid()->isTyping())
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    w.click("D8");
    EXPECT_EQ(w.text("A1") + " " + w.text("A2") + " " + w.text("A3"), "apple fig kiwi");
    EXPECT_EQ(w.text("D8"), "");
  }
}

// The find panel is a window of its own: typing in the bar stays unentered while the panel is in
// front, and the panel's search moves the selection without any command of the sheet's window.
TEST(WindowFormulaBarCommandsTest, TheFindPanelsSearchEntersTheTypingWhereItWasTyped) {
  FLKernel::sharedInstance();
  UserDefaults defaults{QStringLiteral("formula-bar-find-test")};
  CAPrefController preferences{defaults, false};
  preferences.installProviders();
  preferences.setValue(CAIntPreference::searchOptionMask, kSearchWrap | kSearchIgnoreCase);
  for (const bool inBar : {true, false}) {
    SCOPED_TRACE(inBar ? "typed in the formula bar" : "typed in the cell");
    BarWindow w;
    w.enter("A1", "Household budget");
    w.choose("find:");
    CAFindDialog& panel = CAFindDialog::sharedInstance();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    auto* findField = panel.findChild<QLineEdit*>(QStringLiteral("findField"));
    ASSERT_NE(findField, nullptr);
    findField->setFocus();
    findField->selectAll();
    QTest::keyClicks(findField, QStringLiteral("budget"));

    QApplication::setActiveWindow(w.controller.mainWindow());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.controller.mainWindow()));
    w.click("A14");
    if (inBar) {
      QTest::mouseClick(w.bar()->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
      ASSERT_EQ(QApplication::focusWidget(), w.bar());
    }
    w.type(QStringLiteral("xyz"));
    QApplication::setActiveWindow(&panel);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    auto* findNext = panel.findChild<QAbstractButton*>(QStringLiteral("findNext"));
    ASSERT_NE(findNext, nullptr);
    findNext->click();
    EXPECT_EQ(w.document().activeCellPoint(), A1("A1"));
    EXPECT_EQ(w.text("A1"), "Household budget");
    EXPECT_EQ(w.bar()->toPlainText(), "Household budget");

    panel.hide();
    QApplication::setActiveWindow(w.controller.mainWindow());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.controller.mainWindow()));
    w.click("D8");
    EXPECT_EQ(w.document().activeCellPoint(), A1("D8"));
    EXPECT_EQ(w.text("A14"), "xyz");
    EXPECT_EQ(w.text("A1"), "Household budget");
    EXPECT_EQ(w.text("D8"), "");
  }
}

}  // namespace
