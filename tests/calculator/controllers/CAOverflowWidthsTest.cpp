// Overflowing text in a shown window follows every change of a width, whichever way it comes:
// a column's edge dragged (alone or, with Alt, every column's), its undo and redo, Ctrl+B and
// its undo, the Column pane, the Doc size pane's default width, digits and reset, and a sort
// undone. After each, the text spreads as a fresh layout spreads it and the grid shows it so.
#include "calculator/controllers/CAFormatColumnVC.h"
#include "calculator/controllers/CAFormatDocSizeVC.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/controllers/CASortDialog.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/views/CAScrollView.h"
#include "calculator/views/CASpreadsheetView.h"
#include "framlet/shell/FLPropertyView.h"
#include "support/LogCapture.h"
#include "ShownWindowTestSupport.h"

#include <QAbstractAnimation>
#include <QAction>
#include <QGuiApplication>
#include <QImage>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>

namespace {

constexpr int64_t kEmu = 12700;
constexpr int64_t kColumnPoints = 60;

class OverflowWidthsTest : public ShownWindowTest {
 protected:
  OverflowWidthsTest() : ShownWindowTest(1400) {
    controller.showFormatPanel(true);
    EXPECT_TRUE(QTest::qWaitFor(
        [this] {
          const QList<QAbstractAnimation*> slides = controller.findChildren<QAbstractAnimation*>();
          return std::none_of(slides.begin(), slides.end(),
                              [](auto* slide) { return slide->state() == QAbstractAnimation::Running; });
        },
        60000));
    document().setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    document().setDefaultDigitCount(-1);
    document().setDefaultWidth(kColumnPoints * kEmu);
    // Row 2 shows three lines of the note in B2.
    document().rowImperative(1)->setMinimumHeight(int64_t(3 * document().lineHeight() + 2) * kEmu);
    click(1, 1);
    type(QStringLiteral("first line of it"));
    press(Qt::Key_Return);
    CACell* cell = document().cellAtGridPoint(GridPoint{1, 1});
    EXPECT_NE(cell, nullptr);
    // A line break typed as such: the typing field takes Return as the end of typing.
    if (cell) cell->setFormula(QStringLiteral("first line of it\nthe second line runs far longer than the first"));
    document().invalidateAllLongText();
    document().evaluate();
    grid()->repaint();
  }

  const CACell* note() const { return document().cellAtGridPoint(GridPoint{1, 1}); }
  QWidget* sheet() const { return controller.scrollView()->parentWidget(); }
  QAction* item(const char* name) const {
    return controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
  }
  // The overflow a layout made now gives, the cell's own left as it is.
  uint64_t freshSpread() {
    const CACell* cell = note();
    if (!cell) return uint64_t(-1);
    const uint64_t kept = cell->extraColumns();
    document().invalidateAllLongText();
    document().evaluate();
    const uint64_t fresh = note() ? note()->extraColumns() : uint64_t(-1);
    EXPECT_EQ(kept, fresh) << "laid out again, the note spreads otherwise";
    return fresh;
  }
  // Whether the vertical grid line on the left of column x crosses row 2; nothing where the
  // grid does not show that column.
  std::optional<bool> lineLeftOf(const QImage& image, int64_t x) const {
    const QRect cell = grid()->rectForGridPoint(GridPoint{x, 1}).toAlignedRect();
    const QPoint probe(cell.left() - 1, cell.bottom() - 3);
    if (!image.rect().contains(probe)) return std::nullopt;
    return image.pixelColor(probe).lightness() < 250;
  }
  // Drags the right edge of column x in the labels by dx points.
  void dragEdge(int64_t x, double dx, Qt::KeyboardModifiers modifiers = {}) {
    const QRectF cell = grid()->rectForGridPoint(GridPoint{x, 0});
    const QPoint origin = grid()->mapTo(sheet(), QPoint(0, 0));
    const QPoint from(origin.x() + int(cell.right()), origin.y() / 2);
    const QPoint to = from + QPoint(int(dx), 0);
    QTest::mousePress(sheet(), Qt::LeftButton, modifiers, from);
    QTest::mouseMove(sheet(), to);
    QTest::mouseRelease(sheet(), Qt::LeftButton, modifiers, to);
  }
  template <class Pane>
  Pane* pane(int32_t tab) {
    CAPropertyController& panel = *controller.propertyController();
    if (panel.domain() != tab) panel.tabWasSelected(tab, panel.domainControl());
    FLPropertyView& view = *panel.propertyView();
    for (int64_t i = 0; i < view.levelCount(); ++i) {
      if (auto* found = qobject_cast<Pane*>(view.levelController(i))) return found;
    }
    return nullptr;
  }

  LogCapture log;  // panes of other kinds may not be built
};

// Each step changes a width the text's layout depends on; afterwards the note spreads as a
// fresh layout does, and the grid draws it so: no grid line crosses the cells it covers, and
// one bounds it on the right.
TEST_F(OverflowWidthsTest, EveryChangeOfAWidthLaysTheTextOutAgain) {
  const uint64_t initial = freshSpread();
  ASSERT_GE(initial, 2u);
  const struct {
    const char* what;
    std::function<void()> change;
  } steps[] = {
      {"column C dragged narrower", [&] { dragEdge(2, -30); }},
      {"the drag undone", [&] { controller.undoEdit(); }},
      {"the drag redone", [&] { controller.redoEdit(); }},
      {"column B dragged wider", [&] { dragEdge(1, 50); }},
      {"every column with Alt", [&] { dragEdge(3, -25, Qt::AltModifier); }},
      {"that undone", [&] { controller.undoEdit(); }},
      {"Ctrl+B on the note",
       [&] {
         document().setSelectionPoint(GridPoint{1, 1});
         press(Qt::Key_B, Qt::ControlModifier);
       }},
      {"Ctrl+B undone", [&] { controller.undoEdit(); }},
      {"the Column pane's width on C",
       [&] {
         document().setSelectionPoint(GridPoint{2, 1});
         auto* columns = pane<CAFormatColumnVC>(kPanelColumn);
         ASSERT_NE(columns, nullptr);
         columns->widthSlider()->setValue(30);
       }},
      {"the Doc size pane's default width",
       [&] {
         auto* size = pane<CAFormatDocSizeVC>(kPanelDocument);
         ASSERT_NE(size, nullptr);
         size->widthSlider()->setValue(45);
       }},
      {"the Doc size pane's digits",
       [&] {
         auto* size = pane<CAFormatDocSizeVC>(kPanelDocument);
         ASSERT_NE(size, nullptr);
         size->digitField()->setValue(14);
       }},
      {"the Doc size pane's width reset",
       [&] {
         auto* size = pane<CAFormatDocSizeVC>(kPanelDocument);
         ASSERT_NE(size, nullptr);
         size->resetWidthButton()->click();
       }},
      {"the reset undone", [&] { controller.undoEdit(); }},
  };
  // What each step changes: the widths of the columns the note may reach, and its boldness.
  const auto state = [&] {
    QString shown;
    for (int64_t x = 0; x < 12; ++x) shown += QString::number(document().widthOfColumn(x)) + QLatin1Char(' ');
    return shown + QString::number(note() ? document().formatForCell(note(), true).bold() : -1);
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    const uint64_t before = note() ? note()->extraColumns() : 0;
    const QString was = state();
    step.change();
    EXPECT_NE(state(), was);
    // The active cell shows its text in its own rectangle: it is moved off the note's row.
    document().setSelectionPoint(GridPoint{0, 5});
    ASSERT_NE(note(), nullptr);
    const uint64_t spread = note()->extraColumns();
    const QImage shown = grid()->grab().toImage();
    EXPECT_EQ(spread, freshSpread()) << "it spread over " << before << " columns before";
    ASSERT_GE(spread, 1u);
    ASSERT_TRUE(lineLeftOf(shown, 2).has_value());
    for (uint64_t i = 1; i <= spread; ++i) EXPECT_NE(lineLeftOf(shown, 1 + int64_t(i)), true) << i;
    EXPECT_NE(lineLeftOf(shown, 2 + int64_t(spread)), false);
  }
}

// A sort moves a selected overflowing text to another row, and the undo brings it back: what
// the window shows (its backing store, not a fresh drawing) no longer has the selection's
// colour over the cells the text covered in the sorted order, and is what a fresh drawing is.
TEST_F(OverflowWidthsTest, UndoingASortLeavesNoSelectionColourOverTheTextsFormerCells) {
  for (const auto& [y, text] : {std::pair{6, "zz a text long enough to overflow far into its neighbours"},
                                std::pair{7, "b"}, std::pair{8, "c"}})
    document().setCellAtPoint(GridPoint{0, y}, QVariant(QString::fromUtf8(text)), kValueText);
  document().evaluate();
  QWidget* window = controller.mainWindow();
  const auto shownAt = [&](int64_t x, int64_t y) {
    const QPoint at = grid()->mapTo(window, grid()->rectForGridPoint(GridPoint{x, y}).center().toPoint());
    return window->screen()->grabWindow(window->winId(), at.x(), at.y(), 1, 1).toImage().pixelColor(0, 0);
  };
  const auto drawnAt = [&](int64_t x, int64_t y) {
    return grid()->grab().toImage().pixelColor(grid()->rectForGridPoint(GridPoint{x, y}).center().toPoint());
  };
  const QColor white(Qt::white);
  document().setSelectionRange(GridRange{{0, 6}, {0, 8}});
  document().setSortKey1(GridPoint{0, 6});
  document().sort();
  const CACell* moved = document().cellAtGridPoint(GridPoint{0, 8});
  ASSERT_NE(moved, nullptr);
  ASSERT_GE(moved->extraColumns(), 2u);
  // Shown sorted: the selected text's overflow in the selection's colour.
  ASSERT_TRUE(QTest::qWaitFor([&] { return shownAt(2, 8) != white; }, 60000));
  controller.undoEdit();
  const CACell* back = document().cellAtGridPoint(GridPoint{0, 6});
  ASSERT_NE(back, nullptr);
  ASSERT_GE(back->extraColumns(), 2u);
  EXPECT_EQ(drawnAt(2, 8), white);
  EXPECT_TRUE(QTest::qWaitFor([&] { return shownAt(2, 8) == drawnAt(2, 8) && shownAt(2, 6) == drawnAt(2, 6); }, 20000))
      << qPrintable(shownAt(2, 8).name()) << " " << qPrintable(shownAt(2, 6).name());
}

// A change of layout lays the texts out and runs no formula: RAND, RANDBETWEEN and TODAY keep the
// values they have through Bold, Italic, Show Formulas, each move of a column's edge, and the undo
// and redo of a style or a width, while the note still spreads as a fresh layout does.
TEST_F(OverflowWidthsTest, AChangeOfLayoutRecalculatesNothing) {
  document().setCellAtPoint(GridPoint{0, 8}, QVariant(QStringLiteral("=RAND()")), kValueFormula);
  document().setCellAtPoint(GridPoint{1, 8}, QVariant(QStringLiteral("=RANDBETWEEN(1,1000000000)")), kValueFormula);
  document().setCellAtPoint(GridPoint{2, 8}, QVariant(QStringLiteral("=TODAY()")), kValueFormula);
  document().evaluate();
  const auto values = [&] {
    QString shown;
    for (int64_t x = 0; x < 3; ++x) {
      const CACell* cell = document().cellAtGridPoint(GridPoint{x, 8});
      shown += cell && cell->number() ? cell->number()->description() + QLatin1Char(' ') : QStringLiteral("- ");
    }
    return shown;
  };
  // Drags the right edge of column x by dx points in as many moves of a point each.
  const auto dragSlowly = [&](int64_t x, int dx) {
    const QRectF cell = grid()->rectForGridPoint(GridPoint{x, 0});
    const QPoint origin = grid()->mapTo(sheet(), QPoint(0, 0));
    const QPoint from(origin.x() + int(cell.right()), origin.y() / 2);
    QTest::mousePress(sheet(), Qt::LeftButton, {}, from);
    for (int k = 1; k <= std::abs(dx); ++k) QTest::mouseMove(sheet(), from + QPoint(dx < 0 ? -k : k, 0));
    QTest::mouseRelease(sheet(), Qt::LeftButton, {}, from + QPoint(dx, 0));
  };
  const auto on = [&](int64_t x, int64_t y) { document().setSelectionPoint(GridPoint{x, y}); };
  const struct {
    const char* what;
    std::function<void()> change;
  } steps[] = {
      {"Bold on the note", [&] { on(1, 1); item("bold:")->trigger(); }},
      {"Bold undone", [&] { controller.undoEdit(); }},
      {"Bold redone", [&] { controller.redoEdit(); }},
      {"Italic on another cell", [&] { on(4, 4); item("italic:")->trigger(); }},
      {"Ctrl+B on another cell", [&] { on(5, 5); press(Qt::Key_B, Qt::ControlModifier); }},
      {"Show Formulas", [&] { item("toggleFormulas:")->trigger(); }},
      {"Show Formulas again", [&] { item("toggleFormulas:")->trigger(); }},
      {"column C's edge dragged move by move", [&] { dragSlowly(2, -12); }},
      {"the drag undone", [&] { controller.undoEdit(); }},
      {"the drag redone", [&] { controller.redoEdit(); }},
  };
  QString was = values();
  ASSERT_FALSE(was.contains(QLatin1Char('-'))) << qPrintable(was);
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    const uint64_t runs = CACell::formulaRuns();
    step.change();
    EXPECT_EQ(CACell::formulaRuns(), runs);
    EXPECT_EQ(values(), was);
    ASSERT_NE(note(), nullptr);
    const uint64_t spread = note()->extraColumns();
    // freshSpread recalculates: the values are taken again after it.
    EXPECT_EQ(spread, freshSpread());
    was = values();
  }
}

}  // namespace
