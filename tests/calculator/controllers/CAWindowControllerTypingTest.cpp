// A document window as the application makes it: cells are clicked, typed, committed and
// cancelled, and the formula bar edits the active cell.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAFormulaTextView.h"
#include "framlet/foundation/FLKernel.h"
#include "ShownWindowTestSupport.h"

#include <QApplication>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

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

// Opening a cell's field and confirming it as it stands changes nothing and records no step,
// however the field was opened and confirmed.
TEST_F(WindowTypingTest, ConfirmingAnUnchangedCellRecordsNoStep) {
  const char* entries[] = {"42", "3.14159265", "=6*7", "hello"};
  for (int64_t y = 0; y < 4; ++y) {
    click(0, y);
    type(QString::fromLatin1(entries[y]));
    press(Qt::Key_Return);
  }
  const struct {
    const char* what;
    std::function<void(int64_t y)> open;
    Qt::Key confirm;
  } ways[] = {
      {"double-click, Return", [this](int64_t y) { QTest::mouseDClick(grid(), Qt::LeftButton, {}, at(0, y)); },
       Qt::Key_Return},
      {"Enter, Enter", [this](int64_t y) { click(0, y); press(Qt::Key_Enter, Qt::KeypadModifier); }, Qt::Key_Enter},
      {"Enter, Tab", [this](int64_t y) { click(0, y); press(Qt::Key_Enter, Qt::KeypadModifier); }, Qt::Key_Tab},
  };
  for (const auto& way : ways) {
    for (int64_t y = 0; y < 5; ++y) {
      const int32_t steps = controller.undoManager()->currentEntry();
      const QString before = value(0, y);
      way.open(y);
      ASSERT_TRUE(grid()->isTyping()) << way.what << " row " << y;
      press(way.confirm, way.confirm == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
      EXPECT_FALSE(grid()->isTyping()) << way.what << " row " << y;
      EXPECT_EQ(controller.undoManager()->currentEntry(), steps) << way.what << " row " << y;
      EXPECT_EQ(value(0, y), before) << way.what << " row " << y;
    }
  }
  // Undo still takes back the last entry made.
  controller.undoManager()->undo();
  const CACell* last = document().cellAtGridPoint(GridPoint{0, 3});
  EXPECT_TRUE(!last || last->formula().isEmpty());
}

// A typed date is shown in the order it was typed in, so that what a cell shows, typed again,
// is the same date. Locales that write the year first read and show the month before the day,
// as their own order has it.
TEST_F(WindowTypingTest, ATypedDateIsShownInTheOrderItIsReadInEveryLocale) {
  const struct {
    const char* locale;
    bool dayFirst;
  } locales[] = {
      {"C", true},       {"en_US", false}, {"en_GB", true},  {"de_DE", true},  {"fr_FR", true},
      {"ja_JP", false},  {"zh_CN", false}, {"ko_KR", false}, {"sv_SE", true},  {"hu_HU", false},
      {"lt_LT", false},  {"en_CA", false}, {"en_PH", false}, {"fil_PH", false}, {"en_AS", false},
      {"es_US", true},
      // Short dates that lead with the year; the users write the others day first.
      {"en_ZA", true},   {"fr_CA", true},
  };
  for (const auto& l : locales) {
    const TestLocale locale(l.locale);
    const struct {
      const char* typed;
      int32_t dayIndex;
    } dates[] = {{"3/4/2024", l.dayFirst ? 20240403 : 20240304},
                 {l.dayFirst ? "31/12/2024" : "12/31/2024", 20241231}};
    for (int64_t y = 0; y < 2; ++y) {
      click(0, y);
      type(QString::fromLatin1(dates[y].typed));
      press(Qt::Key_Return);
      const CACell* cell = document().cellAtGridPoint(GridPoint{0, y});
      ASSERT_NE(cell, nullptr) << l.locale;
      EXPECT_EQ(cell->valueType(), kValueDate) << l.locale << ' ' << dates[y].typed;
      EXPECT_EQ(cell->number() ? cell->number()->integerValue() : 0, dates[y].dayIndex) << l.locale;
      EXPECT_EQ(cell->displayText(false), QString::fromLatin1(dates[y].typed)) << l.locale;
    }
  }
}

}  // namespace
