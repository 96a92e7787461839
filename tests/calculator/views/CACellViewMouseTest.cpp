// The grid and the mouse, driven by synthetic mouse events on a shown grid: selecting by
// clicks and drags, picking references while a formula is typed, checkbox and link clicks,
// and the texts of cell tooltips.
#include "ShownGridTest.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/views/caViewNotifications.h"
#include "platform/NotificationCenter.h"
#include "support/EventWaits.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class CellMouseTest : public ShownGridTest {
 protected:
  QPoint at(const char* cell) const { return grid()->rectForGridPoint(A1(cell)).center().toPoint(); }
  void click(const char* cell, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(grid(), Qt::LeftButton, modifiers, at(cell));
  }
  void drag(const char* from, const char* to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mousePress(grid(), Qt::LeftButton, modifiers, at(from));
    QTest::mouseMove(grid(), at(to));
    QTest::mouseRelease(grid(), Qt::LeftButton, modifiers, at(to));
  }
};


TEST_F(CellMouseTest, ClicksAndDragsSelect) {
  const GridPoint C3 = A1("C3");
  const struct {
    const char* name;
    const char* press;
    const char* release;
    Qt::KeyboardModifiers modifiers;
    GridRange selection;
    GridPoint active;
  } cases[] = {
      {"click", "B2", "B2", Qt::NoModifier, Range("B2", "B2"), A1("B2")},
      {"drag down and right", "B2", "D4", Qt::NoModifier, Range("B2", "D4"), A1("B2")},
      {"drag up and left", "D4", "B2", Qt::NoModifier, Range("B2", "D4"), A1("D4")},
      {"Ctrl: the row", "C3", "C3", Qt::ControlModifier,
       GridRange{GridPoint{kGridWildcard, C3.y}, GridPoint{kGridWildcard, C3.y}}, GridPoint{0, C3.y}},
      {"Ctrl-Shift: the column", "C3", "C3", Qt::ControlModifier | Qt::ShiftModifier,
       GridRange{GridPoint{C3.x, kGridWildcard}, GridPoint{C3.x, kGridWildcard}}, GridPoint{C3.x, 0}},
      {"Ctrl-drag: rows", "C3", "C5", Qt::ControlModifier,
       GridRange{GridPoint{kGridWildcard, 2}, GridPoint{kGridWildcard, 4}}, GridPoint{0, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    document.setSelectionPoint(A1("A1"));
    drag(c.press, c.release, c.modifiers);
    EXPECT_EQ(document.selectionRange(), c.selection);
    EXPECT_EQ(document.activeCellPoint(), c.active);
    EXPECT_FALSE(grid()->isSelecting());
  }
}

TEST_F(CellMouseTest, ShiftClickStretchesTheSelectionFromItsFarCorner) {
  const struct { const char* click; GridRange selection; GridPoint active; } cases[] = {
      {"E5", Range("B2", "E5"), A1("B2")},  // beyond: from the active corner
      {"A1", Range("A1", "C3"), A1("C3")},  // before: from the far corner
      {"A5", Range("A2", "C5"), A1("C2")},  // left and below
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.click);
    document.setSelectionRange(Range("B2", "C3"));
    click(c.click, Qt::ShiftModifier);
    EXPECT_EQ(document.selectionRange(), c.selection);
    EXPECT_EQ(document.activeCellPoint(), c.active);
  }
}

TEST_F(CellMouseTest, ShiftClickStretchesWholeRows) {
  click("B3", Qt::ControlModifier);
  click("B6", Qt::ShiftModifier);
  EXPECT_EQ(document.selectionRange(), (GridRange{GridPoint{kGridWildcard, 2}, GridPoint{kGridWildcard, 5}}));
  EXPECT_EQ(document.activeCellPoint(), (GridPoint{0, 2}));
}

TEST_F(CellMouseTest, AClickWhileAFormulaIsTypedInsertsTheReference) {
  const struct {
    const char* typed;
    const char* press;
    const char* release;
    Qt::KeyboardModifiers modifiers;
    const char* formula;
  } cases[] = {
      {"=1+", "B2", "B2", Qt::NoModifier, "=1+B2"}, {"=1", "B2", "B2", Qt::NoModifier, "=1+B2"},
      {"=SUM(", "B2", "C5", Qt::NoModifier, "=SUM(B2:C5"}, {"=SUM(", "C5", "B2", Qt::NoModifier, "=SUM(B2:C5"},
      {"=SUM(", "B2", "C5", Qt::AltModifier, "=SUM($B$2:$C$5"}, {"=", "B2", "B2", Qt::AltModifier, "=$B$2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.formula);
    document.setSelectionPoint(A1("E8"));
    grid()->setFocus();
    type(c.typed);
    ASSERT_TRUE(grid()->isTyping());
    drag(c.press, c.release, c.modifiers);
    ASSERT_TRUE(grid()->isTyping());
    EXPECT_EQ(cell("E8")->formula(), c.formula);
    EXPECT_EQ(document.activeCellPoint(), A1("E8"));
    EXPECT_EQ(grid()->fieldEditor()->textCursor().position(), int(strlen(c.formula)));
    grid()->stopTyping(false);
  }
}

TEST_F(CellMouseTest, APickedReferenceIsCommittedWithTheFormula) {
  enter("B2", "5");
  document.setSelectionPoint(A1("D4"));
  type("=2*");
  click("B2");
  QTest::keyClick(focus(), Qt::Key_Return);
  EXPECT_FALSE(grid()->isTyping());
  EXPECT_EQ(NumberIn(cell("D4")).description(), "10");  // =2*B2
  EXPECT_EQ(steps(), 1u);  // the typing's one "Formula" step
}

TEST_F(CellMouseTest, AClickWhileTheFormulaBarIsEditedPicksAReferenceForIt) {
  int picks = 0;
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kTypeSelNotification), &document, [&](const Notification&) { ++picks; });
  document.setSelectionPoint(A1("A1"));
  document.setTypingState(1, nullptr, QStringLiteral("="));
  drag("B3", "C4", Qt::AltModifier);
  EXPECT_EQ(picks, 1);
  EXPECT_EQ(document.typingSelectionRange(), (GridRange{GridPoint{~1, ~2}, GridPoint{~2, ~3}}));
  EXPECT_EQ(document.selectionRange(), Range("A1", "A1"));
  document.setTypingState(0);
}

TEST_F(CellMouseTest, ACheckboxTogglesOnlyInsideItsBox) {
  CAColumn* column = document.columnImperative(1);
  column->setDigitCount(-1);
  column->setWidth(80 * 12700);
  grid()->invalidateGeometry();
  document.setSelectionPoint(A1("B2"));
  document.insertCheckboxes();
  ASSERT_EQ(cell("B2")->valueType(), kValueCheckbox);
  document.setSelectionPoint(A1("A1"));
  const bool checked = cell("B2")->isChecked();
  const uint32_t before = steps();
  const QRectF b2 = grid()->rectForGridPoint(A1("B2"));
  const QPoint edge(int(b2.left()) + 3, int(b2.center().y()));
  QTest::mouseClick(grid(), Qt::LeftButton, {}, edge);
  EXPECT_EQ(document.selectionRange(), Range("B2", "B2"));
  EXPECT_EQ(steps(), before);

  document.setSelectionPoint(A1("A1"));
  click("B2");
  EXPECT_EQ(document.selectionRange(), Range("B2", "B2"));
  EXPECT_EQ(cell("B2")->isChecked(), !checked);
  EXPECT_EQ(steps(), before + 1);
  EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoCheckbox));
  window.manager.undo();
  EXPECT_EQ(cell("B2")->isChecked(), checked);
}

TEST_F(CellMouseTest, AClickFollowsALinkAltClickOnlySelectsIt) {
  enter("B2", "https://example.org/");
  ASSERT_EQ(cell("B2")->valueType(), kValueLink);
  click("B2", Qt::AltModifier);
  EXPECT_EQ(document.selectionRange(), Range("B2", "B2"));
  EXPECT_TRUE(environment.opened.isEmpty());
  document.setSelectionPoint(A1("A1"));
  click("B2");
  EXPECT_EQ(environment.opened, QStringList{QStringLiteral("https://example.org/")});
}

TEST_F(CellMouseTest, DraggingBelowTheGridScrollsAndStretchesTheSelection) {
  document.setSelectionPoint(A1("A1"));
  QTest::mousePress(grid(), Qt::LeftButton, {}, at("B2"));
  const QPoint below(at("B2").x(), grid()->height() + 20);
  QTest::mouseMove(grid(), below);
  const int64_t firstRow = grid()->scrollPoint().y;
  EXPECT_TRUE(QTest::qWaitFor([&] { return grid()->scrollPoint().y > firstRow; }, 10000));
  QTest::mouseRelease(grid(), Qt::LeftButton, {}, below);
  const GridRange selection = document.selectionRange();
  EXPECT_EQ(selection.startPoint, A1("B2"));
  EXPECT_GT(selection.endPoint.y, grid()->scrollPoint().y);
  EXPECT_EQ(document.activeCellPoint(), A1("B2"));
  EXPECT_FALSE(grid()->isSelecting());
  // The scrolling stopped with the release.
  const int64_t lastRow = grid()->scrollPoint().y;
  ASSERT_TRUE(WaitPastDelay(250));
  EXPECT_EQ(grid()->scrollPoint().y, lastRow);
}

TEST_F(CellMouseTest, ASortKeyClickFlashesAndAnnouncesTheCellAndSelectsNothing) {
  QStringList points;
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kGridPointNotification), &document,
      [&](const Notification& note) { points.append(note.userInfo.value(QLatin1String(kGridPointKey)).toString()); });
  document.setSelectionPoint(A1("A1"));
  grid()->translateClick(at("C4"));
  EXPECT_EQ(points, QStringList{QStringLiteral("2,3")});
  EXPECT_EQ(grid()->sortGridPoint(), A1("C4"));
  EXPECT_EQ(document.selectionRange(), Range("A1", "A1"));
  grid()->translateClick(QPoint(-5, -5));  // outside the grid: nothing
  EXPECT_EQ(points.size(), 1);
  // The flash ends by a timer.
  EXPECT_TRUE(QTest::qWaitFor([this] { return grid()->sortGridPoint() == GridPoint{-1, -1}; }, 10000));
}

TEST(CellTooltipText, FormulasShowTheOtherTextAndBothWhenCut) {
  ModelEnvironment environment;
  CADocument document;
  CACell& formula = *document.cellAtGridPointImperative(A1("A1"));
  formula.setFormula(QStringLiteral("=1+1"));
  formula.evaluate();
  CACell& number = *document.cellAtGridPointImperative(A1("A2"));
  number.setFormula(QStringLiteral("12"));
  const struct { const CACell* cell; bool cut; bool showFormulas; const char* text; } cases[] = {
      {&formula, false, false, "=1+1"}, {&formula, false, true, "2"}, {&formula, true, false, "2 \u27A4 =1+1"},
      {&formula, true, true, "=1+1 \u27A4 2"}, {&number, false, false, "12"}, {&number, true, true, "12"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const_cast<CACell*>(c.cell)->setTooltipForWidth(c.cut);
    EXPECT_EQ(CellTooltipText(*c.cell, c.showFormulas), QString::fromUtf8(c.text));
  }
}

}  // namespace
