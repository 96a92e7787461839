// The cell grid wired into its document window, as the application builds it: what the grid
// draws while a reference is picked, keys and clicks during and after a mouse selection, the
// tooltip preference, the colour wells of the format panel, rows at the far end of the grid,
// and editing a cell's value without changing it.
#include "calculator/controllers/CAColorWell.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAFormulaTextView.h"
#include "calculator/views/CAGridPainter.h"
#include "calculator/views/CAScrollView.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "platform/UserDefaults.h"
#include "ShownWindowTestSupport.h"

#include <QAbstractAnimation>
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMouseEvent>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

QString Rgb(const QColor& color) {
  return QStringLiteral("(%1, %2, %3)").arg(color.red()).arg(color.green()).arg(color.blue());
}

class WindowSheetGridTest : public ShownWindowTest {
 protected:
  QString text(int64_t x, int64_t y) const {
    const CACell* cell = document().cellAtGridPoint(GridPoint{x, y});
    return cell ? cell->displayText(false) : QStringLiteral("-");
  }
  GridPoint active() const { return document().activeCellPoint(); }
  QColor pixelAt(int64_t x, int64_t y) const { return grid()->grab().toImage().pixelColor(at(x, y)); }
  static void deliver() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
};

// ---- The reference being picked ---------------------------------------------------------------

TEST_F(WindowSheetGridTest, AReferencePickedInACellShowsInTheTypingSelectionColour) {
  click(1, 7);
  type(QStringLiteral("=SUM("));
  ASSERT_EQ(document().typingState(), 2);
  QTest::mousePress(grid(), Qt::LeftButton, {}, at(1, 1));
  QTest::mouseMove(grid(), at(2, 4));
  ASSERT_TRUE(grid()->isPickingReference());
  // Inside B2:C5, away from the active cell, and outside it.
  EXPECT_EQ(Rgb(pixelAt(2, 3)), Rgb(TypingSelectionColor()));
  EXPECT_EQ(Rgb(pixelAt(1, 1)), Rgb(TypingSelectionColor()));
  EXPECT_EQ(Rgb(pixelAt(3, 3)), "(255, 255, 255)");
  QTest::mouseRelease(grid(), Qt::LeftButton, {}, at(2, 4));
  EXPECT_EQ(grid()->fieldEditor()->toPlainText(), "=SUM(B2:C5");
  // Picked, the range is drawn plainly again.
  EXPECT_EQ(Rgb(pixelAt(2, 3)), "(255, 255, 255)");
}

TEST_F(WindowSheetGridTest, AReferencePickedForTheFormulaBarShowsInTheTypingSelectionColour) {
  click(3, 7);
  CAFormulaTextView* bar = controller.formulaTextView();
  QTest::mouseClick(bar->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
  ASSERT_EQ(focus(), bar);
  type(QStringLiteral("=SUM("));
  ASSERT_EQ(document().typingState(), 1);
  QTest::mousePress(grid(), Qt::LeftButton, {}, at(1, 1));
  QTest::mouseMove(grid(), at(2, 4));
  EXPECT_EQ(Rgb(pixelAt(2, 4)), Rgb(TypingSelectionColor()));
  EXPECT_EQ(Rgb(pixelAt(0, 4)), "(255, 255, 255)");
  QTest::mouseRelease(grid(), Qt::LeftButton, {}, at(2, 4));
  EXPECT_EQ(bar->toPlainText(), "=SUM(B2:C5");
}

TEST_F(WindowSheetGridTest, AStaleTypingStateIsResetByTheNextClick) {
  // The document says a cell is typed, but none is.
  document().setTypingState(2);
  click(2, 2);
  EXPECT_EQ(document().typingState(), 0);
  EXPECT_FALSE(grid()->isTyping());
  // The grid works on as usual.
  click(3, 3);
  EXPECT_EQ(active(), (GridPoint{3, 3}));
}

// ---- Keys and clicks around a mouse selection -----------------------------------------------

TEST_F(WindowSheetGridTest, KeysOtherThanEscapeDoNothingWhileTheMouseSelects) {
  click(1, 1);
  QTest::mousePress(grid(), Qt::LeftButton, {}, at(1, 1));
  QTest::mouseMove(grid(), at(2, 2));
  ASSERT_TRUE(grid()->isSelecting());
  const GridRange selected = document().selectionRange();
  for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Return, Qt::Key_Tab, Qt::Key_X, Qt::Key_Space})
    QTest::keyClick(grid(), key);
  EXPECT_EQ(document().selectionRange(), selected);
  EXPECT_EQ(active(), (GridPoint{1, 1}));
  EXPECT_FALSE(grid()->isTyping());
  QTest::mouseRelease(grid(), Qt::LeftButton, {}, at(2, 2));
  // Released, the keys act again.
  press(Qt::Key_Return);
  EXPECT_EQ(active(), (GridPoint{1, 2}));
}

TEST_F(WindowSheetGridTest, ACellClickAfterARowLabelClickFromTheFormulaBarSelects) {
  click(1, 1);
  CAFormulaTextView* bar = controller.formulaTextView();
  QTest::mouseClick(bar->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
  ASSERT_EQ(focus(), bar);
  // The row label of row 4, left of the grid.
  QWidget* sheet = controller.scrollView()->parentWidget();
  const QPoint label(3, grid()->mapTo(sheet, at(0, 3)).y());
  QTest::mouseClick(sheet, Qt::LeftButton, {}, label);
  ASSERT_EQ(TypeOfRange(nullptr, document().selectionRange()), kRangeRows);
  click(2, 5);
  EXPECT_EQ(document().selectionRange(), (GridRange{GridPoint{2, 5}, GridPoint{2, 5}}));
}

TEST_F(WindowSheetGridTest, AfterUsingTheFormatPanelTheFirstGridClickSelects) {
  click(1, 5);
  type(QStringLiteral("42"));
  press(Qt::Key_Up);
  controller.showFormatPanel(true);
  ASSERT_TRUE(QTest::qWaitFor(
      [this] {
        const auto slides = controller.findChildren<QAbstractAnimation*>();
        return std::none_of(slides.begin(), slides.end(),
                            [](auto* slide) { return slide->state() == QAbstractAnimation::Running; });
      },
      10000));
  deliver();
  // The panes' buttons take no focus: a click on one gives it to the first ancestor that
  // takes clicks, the panel's scroll view, as Qt does.
  click(1, 5);
  QWidget* scroll = controller.formatPanel()->findChild<QWidget*>(QStringLiteral("propertyScrollView"));
  ASSERT_NE(scroll, nullptr);
  ASSERT_TRUE(scroll->focusPolicy() & Qt::ClickFocus);
  scroll->setFocus(Qt::MouseFocusReason);
  ASSERT_EQ(focus(), scroll);
  // A click on the grid: Qt gives the focus for the press, then delivers it.
  grid()->setFocus(Qt::MouseFocusReason);
  click(3, 2);
  EXPECT_EQ(document().selectionRange(), (GridRange{GridPoint{3, 2}, GridPoint{3, 2}}));
}

TEST_F(WindowSheetGridTest, AfterASearchFromTheToolbarTheFirstGridClickSelects) {
  // Wide enough for the whole default toolbar, the search field at its end (shown, whatever
  // an earlier window left in the preferences).
  if (!controller.toolbarView()->isVisible()) controller.toolbarView()->toggleToolbar();
  controller.mainWindow()->resize(1400, 600);
  auto* search = controller.toolbarView()->findChild<QLineEdit*>();
  ASSERT_NE(search, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([search] { return search->isVisible(); }, 10000));
  click(1, 1);
  type(QStringLiteral("42"));
  press(Qt::Key_Return);
  search->setFocus(Qt::MouseFocusReason);
  ASSERT_EQ(focus(), search);
  type(QStringLiteral("42"));
  press(Qt::Key_Return);
  // A click on the grid: Qt gives the focus for the press, then delivers it.
  grid()->setFocus(Qt::MouseFocusReason);
  click(4, 3);
  EXPECT_EQ(document().selectionRange(), (GridRange{GridPoint{4, 3}, GridPoint{4, 3}}));
}

TEST_F(WindowSheetGridTest, AGridClickLetsGoOfTheFormatPanelsColourWell) {
  controller.showFormatPanel(true);
  deliver();
  // A well of a pane, as the colour panes make them.
  auto* well = new CAColorWell(controller.formatPanel());
  well->show();
  well->activate();
  ASSERT_EQ(CAColorWell::activeColorWell(controller.formatPanel()), well);
  click(2, 2);
  EXPECT_EQ(CAColorWell::activeColorWell(controller.formatPanel()), nullptr);
  EXPECT_EQ(active(), (GridPoint{2, 2}));
}

TEST_F(WindowSheetGridTest, AnotherWindowBecomingActiveLetsGoOfTheColourWell) {
  controller.showFormatPanel(true);
  deliver();
  auto* well = new CAColorWell(controller.formatPanel());
  well->show();
  well->activate();
  // The colour panel belongs to the window: its activation keeps the well.
  QEvent change(QEvent::ActivationChange);
  QApplication::sendEvent(controller.formatPanel(), &change);
  ASSERT_EQ(CAColorWell::activeColorWell(controller.formatPanel()), well);
  QWidget other;
  other.resize(100, 100);
  other.show();
  QApplication::setActiveWindow(&other);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QApplication::sendEvent(controller.formatPanel(), &change);
  EXPECT_EQ(CAColorWell::activeColorWell(controller.formatPanel()), nullptr);
}

TEST_F(WindowSheetGridTest, TheClickThatClosedAPopoverPicksNoReference) {
  click(1, 7);
  type(QStringLiteral("=1+"));
  ASSERT_EQ(document().typingState(), 2);
  auto* popover = new FLPopoverBaseVC;
  popover->showPopover(new QLabel(QStringLiteral("popup")), grid(), QRect(at(1, 7), QSize(2, 2)));
  QWidget* window = popover->popover();
  ASSERT_NE(window, nullptr);
  // One press outside the popup closes it, and reaches the grid as the same event.
  const QPoint local = at(3, 2);
  const QPointF global = grid()->mapToGlobal(QPointF(local));
  QMouseEvent closing(QEvent::MouseButtonPress, window->mapFromGlobal(global), global, Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
  closing.setTimestamp(4242);
  QApplication::sendEvent(window, &closing);
  ASSERT_TRUE(FLPopoverBaseVC::lastCloseEvent().has_value());
  QMouseEvent replayed(QEvent::MouseButtonPress, QPointF(local), global, Qt::LeftButton, Qt::LeftButton,
                       Qt::NoModifier);
  replayed.setTimestamp(4242);
  QApplication::sendEvent(grid(), &replayed);
  QTest::mouseRelease(grid(), Qt::LeftButton, {}, local);
  EXPECT_EQ(grid()->fieldEditor()->toPlainText(), "=1+");
  // The next click picks.
  click(3, 2);
  EXPECT_EQ(grid()->fieldEditor()->toPlainText(), "=1+D3");
}

// ---- Tooltips follow the preference ---------------------------------------------------------

TEST_F(WindowSheetGridTest, ValueTooltipsFollowThePreferenceAtOnce) {
  const QString domain = QStringLiteral("tamsel-sheet-grid-test");
  UserDefaults defaults(domain);
  QFile::remove(defaults.filePath());
  CAPrefController preferences(defaults, false);
  preferences.installProviders();
  click(0, 0);
  type(QStringLiteral("=6*7"));
  press(Qt::Key_Return);
  grid()->grab();
  EXPECT_EQ(grid()->tooltipRects().size(), 1);

  preferences.setValue(CABoolPreference::valueTooltips, false);
  deliver();
  grid()->grab();
  EXPECT_TRUE(grid()->tooltipRects().isEmpty());
  QHelpEvent help(QEvent::ToolTip, at(0, 0), grid()->mapToGlobal(at(0, 0)));
  QApplication::sendEvent(grid(), &help);
  EXPECT_FALSE(QToolTip::isVisible());

  preferences.setValue(CABoolPreference::valueTooltips, true);
  deliver();
  grid()->grab();
  EXPECT_EQ(grid()->tooltipRects().size(), 1);
}

// ---- Rows at the far end of the grid --------------------------------------------------------

TEST_F(WindowSheetGridTest, RedrawingCellsFarDownTouchesNothingOnScreen) {
  const GridPoint far{0, 100'000'000};
  document().cellAtGridPointImperative(far)->setFormula(QStringLiteral("=1+1"));
  document().evaluate();
  grid()->redrawGridPoint(far);
  grid()->redrawRange(GridRange{GridPoint{0, 99'999'990}, far});
  document().setSelectionRange(GridRange{far, far});
  deliver();
  EXPECT_EQ(text(0, 100'000'000), "2");
  EXPECT_FALSE(grid()->grab().isNull());
}

TEST_F(WindowSheetGridTest, TheGridEndsAtItsLastRowScrolledThere) {
  const GridPoint last{1, kLastGridRow};
  document().cellAtGridPointImperative(last)->setFormula(QStringLiteral("end"));
  grid()->setContentFrame();
  controller.scrollView()->scrollToPoint(GridPoint{0, kLastGridRow});
  ASSERT_EQ(grid()->scrollPoint().y, kLastGridRow);
  const QImage image = grid()->grab().toImage();
  // Below the last row there are no rows: no grid lines, no cells.
  const QRectF row = grid()->rectForGridPoint(last);
  ASSERT_LT(row.bottom() + 10, image.height());
  for (int y = int(row.bottom()) + 3; y < image.height(); y += 7)
    EXPECT_EQ(Rgb(image.pixelColor(int(row.center().x()), y)), "(255, 255, 255)") << y;
}

TEST_F(WindowSheetGridTest, ARestoredScrollPositionKeepsTheLastRowAtTheViewsEnd) {
  document().cellAtGridPointImperative(GridPoint{0, kLastGridRow})->setFormula(QStringLiteral("end"));
  grid()->setContentFrame();
  controller.scrollToGridPoint(StringFromGridPoint(GridPoint{0, kLastGridRow}));
  const QRectF last = grid()->rectForGridPoint(GridPoint{0, kLastGridRow});
  const QRectF visible = grid()->visibleRect();
  EXPECT_LT(grid()->scrollPoint().y, kLastGridRow);
  EXPECT_LE(last.bottom(), visible.bottom());
  EXPECT_GT(last.bottom() + last.height(), visible.bottom());
  EXPECT_FALSE(grid()->grab().isNull());
  // A position inside the grid is kept as stored.
  controller.scrollToGridPoint(StringFromGridPoint(GridPoint{0, 500}));
  EXPECT_EQ(grid()->scrollPoint(), (GridPoint{0, 500}));
}

// ---- Editing a value without changing it ----------------------------------------------------

struct UnchangedEdit {
  const char* typed;     // what the cell was given
  int decimals;          // a number format with that many decimals; -1 none
  const char* editText;  // what the field and the formula bar show
};

TEST_F(WindowSheetGridTest, EveryValueSurvivesADoubleClickAndReturnUnchanged) {
  const UnchangedEdit cases[] = {
      {"3.14159265", 2, "3.14159265"},
      {"123456789012345678", -1, "123456789012345678"},
      {"-0.000125", 1, "-0.000125"},
      {"1e300", 2, nullptr},
      {"2024-03-15", -1, nullptr},
      {"hello world", -1, "hello world"},
      {"=B1*100000000", -1, "=B1*100000000"},
      {"12%", -1, nullptr},
  };
  int64_t x = 1;
  for (const UnchangedEdit& edit : cases) {
    SCOPED_TRACE(edit.typed);
    CACell* cell = document().cellAtGridPointImperative(GridPoint{x, 0});
    cell->setFormula(QString::fromUtf8(edit.typed));
    if (edit.decimals >= 0) {
      CANumberFormat format;
      format.setDisplay(kDisplayFloat);
      format.setSize(edit.decimals);
      CAFormat cellFormat;
      cellFormat.setNumberFormat(&format);
      cell->setFormat(cellFormat);
    }
    document().evaluate();
    const int32_t type = cell->valueType();
    const std::optional<CANumber> number = cell->number();
    const QString formula = cell->formula();
    click(x, 0);
    if (edit.editText) {
      EXPECT_EQ(controller.formulaTextView()->toPlainText(), edit.editText);
    }
    QTest::mouseDClick(grid(), Qt::LeftButton, {}, at(x, 0));
    ASSERT_TRUE(grid()->isTyping());
    if (edit.editText) {
      EXPECT_EQ(grid()->fieldEditor()->toPlainText(), edit.editText);
    }
    press(Qt::Key_Return);
    cell = document().cellAtGridPointImperative(GridPoint{x, 0});
    EXPECT_EQ(cell->valueType(), type);
    EXPECT_EQ(cell->formula(), formula);
    ASSERT_EQ(cell->number().has_value(), number.has_value());
    if (number) {
      EXPECT_EQ(cell->number()->archive(), number->archive());
    }
    ++x;
  }
}

TEST_F(WindowSheetGridTest, ADependantKeepsItsValueWhenItsSourceIsEditedUnchanged) {
  click(1, 0);
  type(QStringLiteral("3.14159265"));
  press(Qt::Key_Return);
  type(QStringLiteral("=B1*100000000"));
  press(Qt::Key_Return);
  CANumberFormat format;
  format.setDisplay(kDisplayFloat);
  format.setSize(2);
  CAFormat cellFormat;
  cellFormat.setNumberFormat(&format);
  document().cellAtGridPointImperative(GridPoint{1, 0})->setFormat(cellFormat);
  grid()->redraw();
  ASSERT_EQ(text(1, 0), "3.14");
  QTest::mouseDClick(grid(), Qt::LeftButton, {}, at(1, 0));
  EXPECT_EQ(grid()->fieldEditor()->toPlainText(), "3.14159265");
  press(Qt::Key_Return);
  EXPECT_EQ(text(1, 1), "314159265");
  EXPECT_EQ(text(1, 0), "3.14");
}

// ---- Keys in the cell's text and rows of entries ----------------------------------------------

TEST_F(WindowSheetGridTest, HomeAndEndMoveTheCaretInTheCellsText) {
  click(0, 0);
  type(QStringLiteral("hello"));
  press(Qt::Key_Return);
  QTest::mouseDClick(grid(), Qt::LeftButton, {}, at(0, 0));
  press(Qt::Key_End);
  type(QStringLiteral("0"));
  press(Qt::Key_Home);
  type(QStringLiteral("1"));
  EXPECT_EQ(grid()->fieldEditor()->toPlainText(), "1hello0");
  // Shift selects on the way.
  press(Qt::Key_End, Qt::ShiftModifier);
  type(QStringLiteral("2"));
  EXPECT_EQ(grid()->fieldEditor()->toPlainText(), "12");
  press(Qt::Key_Home, Qt::ShiftModifier);
  type(QStringLiteral("ab"));
  press(Qt::Key_Return);
  EXPECT_EQ(text(0, 0), "ab");
  // The grid still scrolls with Home while it has the keys itself.
  EXPECT_EQ(focus(), grid());
}

TEST_F(WindowSheetGridTest, ReturnAfterTabEntriesGoesBackToTheColumnTheyBeganIn) {
  click(1, 1);
  type(QStringLiteral("1"));
  press(Qt::Key_Tab);
  type(QStringLiteral("2"));
  press(Qt::Key_Tab);
  type(QStringLiteral("3"));
  press(Qt::Key_Return);
  EXPECT_EQ(text(1, 1) + text(2, 1) + text(3, 1), "123");
  EXPECT_EQ(active(), (GridPoint{1, 2}));
  // Without Tab before it, Return goes straight down.
  click(4, 4);
  press(Qt::Key_Return);
  EXPECT_EQ(active(), (GridPoint{4, 5}));
  // A row of entries left by a click is forgotten.
  click(1, 6);
  press(Qt::Key_Tab);
  press(Qt::Key_Tab);
  click(5, 6);
  press(Qt::Key_Return);
  EXPECT_EQ(active(), (GridPoint{5, 7}));
  // Shift-Tab back within the row keeps where it began.
  click(2, 9);
  press(Qt::Key_Tab);
  press(Qt::Key_Tab);
  press(Qt::Key_Backtab, Qt::ShiftModifier);
  press(Qt::Key_Return);
  EXPECT_EQ(active(), (GridPoint{2, 10}));
}

}  // namespace

