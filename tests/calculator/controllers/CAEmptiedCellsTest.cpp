// A cell that a command empties is, for every later command, no cell at all: the sort of the whole
// sheet, the occupied extent, Select All and Copy, and the rows the sheet keeps show no trace of
// it, whichever command emptied it and after that command's undo and redo. Driven as the user
// drives the window: keys in the grid, the menus' shortcuts, the find panel and the sort dialog.
#include "calculator/controllers/CAApplication.h"
#include "calculator/controllers/CAFindDialog.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CASortDialog.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CARow.h"
#include "calculator/views/CACellView.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLUndoManager.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/EventWaits.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

class EmptiedCellsTest : public testing::Test {
 protected:
  EmptiedCellsTest() {
    FLKernel::sharedInstance();
    InstallFileFormatServices();  // the cell archive of the clipboard
    preferences.installProviders();
    preferences.setValue(CAIntPreference::searchScope, kFindEntered);
    preferences.setValue(CAIntPreference::searchOptionMask, 0);
    preferences.setSearchString(QString());
    preferences.setReplaceString(QString());
    NotificationCenter::defaultCenter().post(QLatin1String(kSearchChangedNotification));
    preferences.setValue(CABoolPreference::sortWholeDoc, true);
    preferences.setValue(CABoolPreference::sortColumns, false);
    preferences.setValue(CABoolPreference::sortReverse, false);
    controller.prepareToShow();
    controller.mainWindow()->resize(900, 600);
    MakeKeyAndOrderFront(controller.mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
  }
  ~EmptiedCellsTest() override {
    if (CAFindDialog::exists()) CAFindDialog::sharedInstance().hide();
    controller.mainWindow()->close();
  }

  CADocument& document() const { return *controller.document(); }
  CACellView* grid() const { return controller.cellView(); }
  QAction* item(const char* name) const {
    return controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
  }
  void put(int64_t x, int64_t y, const char* text) {
    document().setCellAtPoint(GridPoint{x, y}, QVariant(QString::fromUtf8(text)), kValueText);
  }
  // What the cell shows, "-" for nothing.
  std::string text(int64_t x, int64_t y) const {
    const CACell* cell = document().cellAtGridPoint(GridPoint{x, y});
    const QString shown = cell ? cell->displayText(false) : QString();
    return shown.isEmpty() ? "-" : shown.toStdString();
  }
  // Columns A and B of rows 1 to 3, each column's cells apart by a space, the columns by "|".
  std::string sheet() const {
    std::string result;
    for (int64_t x = 0; x < 2; ++x) {
      if (x) result += '|';
      for (int64_t y = 0; y < 3; ++y) result += (y ? " " : "") + text(x, y);
    }
    return result;
  }
  // A click, and the events it leaves for later (the menus follow the new selection).
  void click(int64_t x, int64_t y, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(grid(), Qt::LeftButton, modifiers, grid()->rectForGridPoint(GridPoint{x, y}).center().toPoint());
    WaitPastDelay(1);
  }
  void shiftClick(int64_t x, int64_t y) { click(x, y, Qt::ShiftModifier); }
  // A key to whatever has the keys: the grid, or the field typing opened over a cell.
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  }
  void type(const char* text) { QTest::keyClicks(QApplication::focusWidget(), QString::fromUtf8(text)); }
  // The ways of emptying B3 by a key that both tables take.
  void deleteB3() {
    click(1, 2);
    press(Qt::Key_Delete);
  }
  void cutB3() {
    click(1, 2);
    press(Qt::Key_X, Qt::ControlModifier);
  }
  // A key opens the cell's field with that key's text; the text is then erased and confirmed.
  void typeEmptyTextIntoB3() {
    click(1, 2);
    type("y");
    press(Qt::Key_Backspace);
    press(Qt::Key_Return);
  }
  static void typeInto(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    if (text.isEmpty()) QTest::keyClick(field, Qt::Key_Backspace);
  }
  void replaceAll(const char* find, const char* replacement) {
    item("find:")->trigger();
    CAFindDialog& panel = CAFindDialog::sharedInstance();
    typeInto(panel.findChild<QLineEdit*>(QStringLiteral("findField")), QString::fromUtf8(find));
    typeInto(panel.findChild<QLineEdit*>(QStringLiteral("replaceField")), QString::fromUtf8(replacement));
    panel.findChild<QPushButton*>(QStringLiteral("replaceAll"))->click();
    panel.hide();
    activate();
  }
  // Sorts the rows by column A, whole sheet, from a selection of A1:A2.
  void sortByColumnA() {
    click(0, 0);
    shiftClick(0, 1);
    item("sort:")->trigger();
    auto* dialog = controller.mainWindow()->findChild<CASortDialog*>();
    ASSERT_NE(dialog, nullptr);
    typeInto(dialog->primaryKeyField(), QStringLiteral("A1"));
    emit dialog->primaryKeyField()->editingFinished();
    typeInto(dialog->secondaryKeyField(), QString());
    emit dialog->secondaryKeyField()->editingFinished();
    dialog->ok();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    grid()->setFocus();
  }
  // The plain text Select All and Copy put on the clipboard.
  std::string copiedSheet() {
    press(Qt::Key_A, Qt::ControlModifier);
    QApplication::clipboard()->clear();
    press(Qt::Key_C, Qt::ControlModifier);
    return QApplication::clipboard()->text().toStdString();
  }
  // The sheet as Save As writes it in comma-separated text.
  std::string savedCsv() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("sheet.csv"));
    FLError error;
    if (!document().saveToTextFile(path, true, &error)) return "not saved: " + error.reason.toStdString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return "not written";
    return file.readAll().toStdString();
  }
  // A1 "pear", A2 "apple", B3 "x", with no history.
  void startAfresh() {
    document().clearRange(GridRange{{kGridWildcard, 0}, {kGridWildcard, 10}}, kClearAll, kUndoUnnamed);
    controller.undoManager()->clearUndo();
    put(0, 0, "pear");
    put(0, 1, "apple");
    put(1, 2, "x");
    document().evaluate();
    activate();
  }
  // The window in front, its grid taking the keys.
  void activate() {
    MakeKeyAndOrderFront(controller.mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
    grid()->setFocus();
  }

  UserDefaults defaults{QStringLiteral("emptied-cells-test")};
  CAPrefController preferences{defaults, false};
  CAApplication application;
  mutable CAWindowController controller;
};

}  // namespace

TEST_F(EmptiedCellsTest, ACellEmptiedByAnyCommandIsNoCellToTheCommandsAfter) {
  const std::function<void()> deleteKey = [this] { deleteB3(); };
  const std::function<void()> cut = [this] { cutB3(); };
  // B2 holds nothing: filling down from it empties B3.
  const std::function<void()> fillDown = [this] {
    click(1, 1);
    shiftClick(1, 2);
    press(Qt::Key_D, Qt::ControlModifier);
  };
  // Column B goes: nothing stands right of it to move in.
  const std::function<void()> deleteColumn = [this] {
    document().setSelectionRange(GridRange{{1, kGridWildcard}, {1, kGridWildcard}});
    item("deleteRowOrColumn:0")->trigger();
  };
  const std::function<void()> deleteCellsLeft = [this] {
    click(1, 2);
    item("deleteCells:0")->trigger();
  };
  const std::function<void()> deleteCellsUp = [this] {
    click(1, 2);
    item("deleteCells:1")->trigger();
  };
  const std::function<void()> replaceWithNothing = [this] {
    replaceAll("x", "");
  };
  const std::function<void()> typeEmptyText = [this] { typeEmptyTextIntoB3(); };

  constexpr const char* kSorted = "apple pear -|- - -";
  constexpr const char* kCopied = "apple\npear\n";
  struct Case {
    const char* way;
    const std::function<void()>* empty;
    int replays;  // 0: none, 1: undone, 2: undone and redone
    const char* sorted;
    const char* extent;
    size_t rows;
    const char* copied;
  };
  const Case cases[] = {
      {"Delete", &deleteKey, 0, kSorted, "A1:A2", 2, kCopied},
      {"Delete, undone", &deleteKey, 1, "- apple pear|x - -", "A1:B3", 3, "\tx\napple\t\npear\t\n"},
      {"Delete, undone and redone", &deleteKey, 2, kSorted, "A1:A2", 2, kCopied},
      {"Cut", &cut, 0, kSorted, "A1:A2", 2, kCopied},
      {"Cut, undone and redone", &cut, 2, kSorted, "A1:A2", 2, kCopied},
      {"Fill Down", &fillDown, 0, kSorted, "A1:A2", 2, kCopied},
      {"Fill Down, undone and redone", &fillDown, 2, kSorted, "A1:A2", 2, kCopied},
      {"Replace", &replaceWithNothing, 0, kSorted, "A1:A2", 2, kCopied},
      {"Replace, undone and redone", &replaceWithNothing, 2, kSorted, "A1:A2", 2, kCopied},
      {"Typing", &typeEmptyText, 0, kSorted, "A1:A2", 2, kCopied},
      {"Typing, undone and redone", &typeEmptyText, 2, kSorted, "A1:A2", 2, kCopied},
      {"Delete Columns", &deleteColumn, 0, kSorted, "A1:A2", 2, kCopied},
      {"Delete Columns, undone and redone", &deleteColumn, 2, kSorted, "A1:A2", 2, kCopied},
      {"Delete Cells Left", &deleteCellsLeft, 0, kSorted, "A1:A2", 2, kCopied},
      {"Delete Cells Up", &deleteCellsUp, 0, kSorted, "A1:A2", 2, kCopied},
      {"Delete Cells Up, undone and redone", &deleteCellsUp, 2, kSorted, "A1:A2", 2, kCopied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.way);
    startAfresh();
    (*c.empty)();
    EXPECT_EQ(text(1, 2), "-") << "B3 was not emptied";
    if (c.replays >= 1) controller.undoEdit();
    if (c.replays >= 2) controller.redoEdit();
    sortByColumnA();
    EXPECT_EQ(sheet(), c.sorted);
    const GridRange extent = document().extent();
    EXPECT_EQ((FormatGridPoint(extent.startPoint) + QLatin1Char(':') + FormatGridPoint(extent.endPoint)).toStdString(),
              c.extent);
    EXPECT_EQ(document().rows().size(), c.rows);
    // The clipboard's text puts its line breaks between the rows, the file one after each.
    EXPECT_EQ(copiedSheet() + "\n", c.copied);
    // The saved file ends with the last row that holds something.
    std::string csv = c.copied;
    std::replace(csv.begin(), csv.end(), '\t', ',');
    EXPECT_EQ(savedCsv(), csv);
  }
}

// The recalculation of the command that empties a cell reads it as no cell: AVERAGEA and the
// variances that count every value leave it out at once, and so does the file saved next.
TEST_F(EmptiedCellsTest, TheCommandThatEmptiesACellRecalculatesWithoutIt) {
  const std::function<void()> deleteKey = [this] { deleteB3(); };
  const std::function<void()> cut = [this] { cutB3(); };
  const std::function<void()> typeEmptyText = [this] { typeEmptyTextIntoB3(); };
  // A3 holds nothing: filling right from it empties B3.
  const std::function<void()> fillRight = [this] {
    click(0, 2);
    shiftClick(1, 2);
    press(Qt::Key_R, Qt::ControlModifier);
  };
  const std::function<void()> replaceWithNothing = [this] { replaceAll("7", ""); };
  const std::pair<const char*, const std::function<void()>*> ways[] = {
      {"Delete", &deleteKey}, {"Cut", &cut}, {"Typing", &typeEmptyText},
      {"Fill Right", &fillRight}, {"Replace", &replaceWithNothing},
  };
  // Of 5, 6 and 8: the mean 19/3, the squared deviations 16/9, 1/9 and 25/9.
  const char* const formulas[] = {"=AVERAGEA(B1:B4)", "=VARPA(B1:B4)", "=VARA(B1:B4)", "=STDEVPA(B1:B4)",
                                  "=STDEVA(B1:B4)", "=COUNTA(B1:B4)"};
  const long double expected[] = {19.0L / 3, 14.0L / 9, 7.0L / 3, std::sqrt(14.0L / 9), std::sqrt(7.0L / 3), 3};
  for (const auto& [way, empty] : ways) {
    SCOPED_TRACE(way);
    document().clearRange(GridRange{{kGridWildcard, 0}, {kGridWildcard, 10}}, kClearAll, kUndoUnnamed);
    controller.undoManager()->clearUndo();
    for (int64_t y = 0; y < 4; ++y) put(1, y, std::to_string(5 + y).c_str());
    for (int64_t y = 0; y < 6; ++y) put(3, y, formulas[y]);
    document().evaluate();
    activate();
    (*empty)();
    EXPECT_EQ(text(1, 2), "-") << "B3 was not emptied";
    for (int64_t y = 0; y < 6; ++y) {
      const CACell* cell = document().cellAtGridPoint(GridPoint{3, y});
      ASSERT_TRUE(cell && cell->number()) << formulas[y];
      EXPECT_NEAR(double(cell->number()->realValue()), double(expected[y]), 1e-12) << formulas[y];
    }
    ASSERT_NE(document().cellAtGridPoint(GridPoint{3, 0}), nullptr);
    EXPECT_TRUE(*document().cellAtGridPoint(GridPoint{3, 0})->number() == CANumber::withNumerator(19, 3));
    ASSERT_NE(document().cellAtGridPoint(GridPoint{3, 1}), nullptr);
    EXPECT_TRUE(*document().cellAtGridPoint(GridPoint{3, 1})->number() == CANumber::withNumerator(14, 9));
    const std::string csv = savedCsv();
    EXPECT_EQ(csv.substr(0, csv.find('\n')).substr(0, 12), ",5,,6.333333") << csv;
  }
}
