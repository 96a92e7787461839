// The sheet view's strips driven with the mouse: selecting whole rows and columns, resizing by
// an edge (one undo step), Alt for the whole document, moving selected columns and rows by
// their labels, and a locked document that only selects.
#include "calculator/model/UndoTestSupport.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAScrollView.h"
#include "calculator/views/CASpreadsheetView.h"
#include "calculator/views/caSheetLabels.h"
#include "framlet/foundation/FLKernel.h"

#include <QApplication>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int64_t kEmu = 12700;
constexpr double kRowHeight = 20;
constexpr double kColumnWidth = 60;

class SheetViewTest : public EditTest {
 protected:
  SheetViewTest() {
    FLKernel::sharedInstance();
    CAModelPreferences metric;
    metric.defaultUnits = kUnitsCentimetres;
    environment.set(metric);
    document.setCellPadding(GridPoint{0, 0});
    document.setMinimumHeight(int64_t(kRowHeight) * kEmu);
    document.setDefaultWidth(int64_t(kColumnWidth) * kEmu);
    sheet.resize(700, 420);
    sheet.show();
    QApplication::setActiveWindow(&sheet);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&sheet));
    // The strips end where the cells begin.
    extent = QSizeF(sheet.scrollView()->pos().x(), sheet.scrollView()->pos().y());
  }

  // The middle of a column's label, and a point by its right edge.
  QPoint column(int64_t x) const { return columnAt(rect(x, 0).center().x()); }
  QPoint columnEdge(int64_t x, double dx) const { return columnAt(rect(x, 0).right() + dx); }
  QPoint row(int64_t y) const { return rowAt(rect(0, y).center().y()); }
  QPoint rowEdge(int64_t y, double dy) const { return rowAt(rect(0, y).bottom() + dy); }
  QRectF rect(int64_t x, int64_t y) const { return sheet.cellView()->rectForGridPoint(GridPoint{x, y}); }
  QPoint columnAt(double x) const { return QPointF(extent.width() + x, extent.height() / 2).toPoint(); }
  QPoint rowAt(double y) const { return QPointF(extent.width() / 2, extent.height() + y).toPoint(); }
  void drag(const QPoint& from, const QPoint& to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mousePress(&sheet, Qt::LeftButton, modifiers, from);
    QTest::mouseMove(&sheet, to);
    QTest::mouseRelease(&sheet, Qt::LeftButton, modifiers, to);
  }
  double columnWidth(int64_t x) const { return document.widthOfColumn(x); }
  uint32_t steps() const { return window.manager.inUseCount(); }

  CASpreadsheetView sheet{&document};
  QSizeF extent;
};


TEST_F(SheetViewTest, LabelClicksAndDragsSelectWholeRowsAndColumns) {
  QTest::mouseClick(&sheet, Qt::LeftButton, {}, column(2));
  EXPECT_EQ(document.selectionRange(), Columns(2, 2));
  EXPECT_EQ(document.activeCellPoint(), (GridPoint{2, 0}));
  drag(column(3), column(1));
  EXPECT_EQ(document.selectionRange(), Columns(1, 3));
  EXPECT_EQ(document.activeCellPoint(), (GridPoint{3, 0}));
  // Shift stretches the selected columns from their far side.
  QTest::mouseClick(&sheet, Qt::LeftButton, Qt::ShiftModifier, column(5));
  EXPECT_EQ(document.selectionRange(), Columns(1, 5));
  drag(row(4), row(6));
  EXPECT_EQ(document.selectionRange(), Rows(4, 6));
  QTest::mouseClick(&sheet, Qt::LeftButton, Qt::ShiftModifier, row(1));
  EXPECT_EQ(document.selectionRange(), Rows(1, 6));
  // The corner selects everything occupied.
  enter("C5", "1");
  QTest::mouseClick(&sheet, Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(document.selectionRange(), (GridRange{{0, 0}, A1("C5")}));
}

TEST_F(SheetViewTest, DraggingAnEdgeResizesInOneUndoStep) {
  // Column B's right edge, grabbed 2 points inside, dragged 30 points: 90 pt, 31.75 mm.
  drag(columnEdge(1, -2), columnEdge(1, 28));
  const CAColumn* b = document.column(1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->digitCount(), -1);
  EXPECT_EQ(b->width(), 32 * 36000);
  EXPECT_EQ(steps(), 1u);
  EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoColumnWidth));
  EXPECT_EQ(document.selectionRange(), Columns(1, 1));
  window.manager.undo();
  EXPECT_EQ(columnWidth(1), kColumnWidth);

  // Rows step by whole points; Ctrl frees a column from the unit's steps.
  drag(rowEdge(2, 1), rowEdge(2, 11));
  EXPECT_EQ(document.row(2)->minimumHeight(), 30 * kEmu);
  drag(columnEdge(0, 0), columnEdge(0, -19), Qt::ControlModifier);
  EXPECT_EQ(document.column(0)->width(), 41 * kEmu);
}

// A click on the line between two labels, or a press there that moves no edge, changes nothing:
// no step, no change to the document.
TEST_F(SheetViewTest, AClickOnAnEdgeWithoutADragChangesNothing) {
  document.rowImperative(3)->setMinimumHeight(25 * kEmu);
  const struct {
    const char* what;
    QPoint from, to;
    Qt::KeyboardModifiers modifiers;
  } cases[] = {
      {"a row's edge", rowEdge(2, 0), rowEdge(2, 0), {}},
      {"a row of its own height", rowEdge(3, 1), rowEdge(3, 1), {}},
      {"a column's edge", columnEdge(1, -1), columnEdge(1, -1), {}},
      {"a column's edge, Ctrl", columnEdge(1, 0), columnEdge(1, 0), Qt::ControlModifier},
      {"a row's edge, Alt", rowEdge(0, 0), rowEdge(0, 0), Qt::AltModifier},
      {"a column's edge, Alt", columnEdge(2, 0), columnEdge(2, 0), Qt::AltModifier},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QTest::mouseClick(&sheet, Qt::LeftButton, c.modifiers, c.from);
    EXPECT_EQ(steps(), 0u);
    EXPECT_FALSE(document.dirty());
    EXPECT_EQ(columnWidth(1), kColumnWidth);
    EXPECT_EQ(document.defaultWidth(), int64_t(kColumnWidth) * kEmu);
    EXPECT_EQ(document.minimumHeight(), int64_t(kRowHeight) * kEmu);
    EXPECT_EQ(document.row(2), nullptr);
    EXPECT_EQ(document.row(3)->minimumHeight(), 25 * kEmu);
  }
  // Held on an edge without moving it: the row of its own height keeps it without a step.
  QTest::mousePress(&sheet, Qt::LeftButton, {}, rowEdge(3, 0));
  QTest::mouseMove(&sheet, rowEdge(3, 0));
  QTest::mouseRelease(&sheet, Qt::LeftButton, {}, rowEdge(3, 0));
  EXPECT_EQ(steps(), 0u);
  EXPECT_FALSE(document.dirty());
  // Moved, it takes its one step.
  drag(rowEdge(3, 0), rowEdge(3, 5));
  EXPECT_EQ(steps(), 1u);
  EXPECT_EQ(document.row(3)->minimumHeight(), 30 * kEmu);
}

// A row made taller shows more lines of a text of several lines, which then spreads as far as
// its widest shown line; made short again, as far as its first.
TEST_F(SheetViewTest, ResizingARowLaysItsTextsOfSeveralLinesOutAgain) {
  CACell& note = enter("B2", "first\nthe second line is much longer than the first");
  CACell& first = enter("B5", "first");
  CACell& second = enter("B6", "the second line is much longer than the first");
  document.evaluate();
  ASSERT_GT(second.extraColumns(), first.extraColumns());
  const double spacing = document.lineHeight();
  const struct {
    const char* what;
    double to;  // the row's height dragged to, in lines
    const CACell* like;
  } steps[] = {{"three lines", 3, &second}, {"one line", 1, &first}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    const double height = document.heightOfRow(1);
    drag(rowEdge(1, 0), rowEdge(1, step.to * spacing + 2 - height));
    EXPECT_EQ(note.extraColumns(), step.like->extraColumns());
  }
}

// Undo and redo of the drag give the row its height back and the text its layout for it: no
// overflow left over the cells beside it, whose grid lines would go.
TEST_F(SheetViewTest, UndoAndRedoOfARowDragLayItsTextOfSeveralLinesOutAgain) {
  CACell& note = enter("B2", "ab\nsecond line is much longer than the first one, far longer");
  enter("B3", "plain");
  document.evaluate();
  ASSERT_EQ(note.extraColumns(), 0u);
  const auto overflowed = [&](const char* at) {
    const CACell* cell = document.cellAtGridPoint(A1(at));
    return cell && cell->valueType() == kValueOverflow;
  };
  drag(rowEdge(1, 0), rowEdge(1, 3 * document.lineHeight() + 2 - document.heightOfRow(1)));
  const uint64_t wide = note.extraColumns();
  ASSERT_GE(wide, 2u);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    window.manager.undo();
    const CACell* undone = document.cellAtGridPoint(A1("B2"));
    ASSERT_NE(undone, nullptr);
    EXPECT_EQ(undone->extraColumns(), 0u);
    EXPECT_FALSE(overflowed("C2"));
    EXPECT_FALSE(overflowed("D2"));
    window.manager.redo();
    const CACell* redone = document.cellAtGridPoint(A1("B2"));
    ASSERT_NE(redone, nullptr);
    EXPECT_EQ(redone->extraColumns(), wide);
    EXPECT_TRUE(overflowed("C2"));
  }
}

TEST_F(SheetViewTest, AltResizesEveryColumnThroughTheDocumentDefault) {
  document.columnImperative(3)->setDigitCount(-1);
  document.columnImperative(3)->setWidth(100 * kEmu);
  drag(columnEdge(0, 0), columnEdge(0, 36), Qt::AltModifier);  // 96 pt, 33.87 mm
  EXPECT_EQ(document.defaultWidth(), 34 * 36000);
  EXPECT_EQ(document.defaultDigitCount(), -1);
  EXPECT_EQ(columnWidth(3), columnWidth(5));
  EXPECT_EQ(window.archiver.actions.back(), uint32_t(kUndoActionLayoutColumns));
}

TEST_F(SheetViewTest, DraggingSelectedColumnsMovesThem) {
  enter("B1", "b");
  enter("C1", "c");
  enter("E1", "e");
  drag(column(1), column(2));
  ASSERT_EQ(document.selectionRange(), Columns(1, 2));
  // B and C, grabbed at B, dragged right past D and E: they land after E.
  QTest::mousePress(&sheet, Qt::LeftButton, {}, column(1));
  EXPECT_EQ(sheet.dragType(), kSheetDragMove);
  QTest::mouseMove(&sheet, column(1) + QPoint(int(2 * kColumnWidth) + 5, 0));
  EXPECT_EQ(sheet.dropSlot(), 3u);
  CADragInfo info;
  EXPECT_TRUE(sheet.getDragInfo(&info));
  EXPECT_EQ(info.cellDragType, kCellDragColumns);
  EXPECT_DOUBLE_EQ(info.draggingExtent, 2 * kColumnWidth);
  QTest::mouseRelease(&sheet, Qt::LeftButton, {}, column(1) + QPoint(int(2 * kColumnWidth) + 5, 0));
  EXPECT_EQ(text("B1"), QStringLiteral("-"));
  EXPECT_EQ(text("C1"), QStringLiteral("e"));
  EXPECT_EQ(text("D1"), QStringLiteral("b"));
  EXPECT_EQ(text("E1"), QStringLiteral("c"));
  EXPECT_EQ(steps(), 1u);
  EXPECT_EQ(sheet.dragType(), kSheetDragNone);
  EXPECT_FALSE(sheet.getDragInfo(&info));

  // Dropped back on their own place, rows do not move.
  drag(row(3), row(4));
  drag(row(3), row(3) + QPoint(0, 5));
  EXPECT_EQ(steps(), 1u);
  EXPECT_EQ(document.selectionRange(), Rows(3, 4));
  // Escape ends a move where it stands.
  QTest::mousePress(&sheet, Qt::LeftButton, {}, row(3));
  QTest::mouseMove(&sheet, row(9));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(sheet.dragType(), kSheetDragNone);
  QTest::mouseRelease(&sheet, Qt::LeftButton, {}, row(9));
  EXPECT_EQ(steps(), 1u);
}

// Formulas whose text a move leaves as it was still read other cells afterwards: a range that
// reaches out of the moved lines and a "$" reference into them show their new values at once.
TEST_F(SheetViewTest, MovingLinesByTheirLabelsRecalculatesEveryFormula) {
  for (const bool rows : {true, false}) {
    SCOPED_TRACE(rows ? "rows" : "columns");
    // Along the moved lines: the n-th line's cell; across them the formulas.
    const auto at = [rows](int64_t n, int64_t across) {
      return FormatGridPoint(rows ? GridPoint{across, n} : GridPoint{n, across}).toStdString();
    };
    for (int64_t n = 0; n < 8; ++n) enter(at(n, 0).c_str(), std::to_string(10 * (n + 1)).c_str());
    const std::string sum = "=SUM(" + at(1, 0) + ":" + at(5, 0) + ")";
    const std::string fixed = rows ? "=$A$3" : "=$C$1";
    enter(at(9, 2).c_str(), sum.c_str());
    enter(at(10, 2).c_str(), fixed.c_str());
    document.evaluate();
    // The third and fourth lines, grabbed at the third, dragged three lines on: they land at the
    // sixth, and the three lines after them come back two places.
    const QPoint third = rows ? row(2) : column(2);
    drag(third, rows ? row(3) : column(3));
    const QPoint by = rows ? QPoint(0, int(3 * kRowHeight) + 5) : QPoint(int(3 * kColumnWidth) + 5, 0);
    QTest::mousePress(&sheet, Qt::LeftButton, {}, third);
    QTest::mouseMove(&sheet, third + by);
    QTest::mouseRelease(&sheet, Qt::LeftButton, {}, third + by);
    QStringList moved;
    for (int64_t n = 0; n < 8; ++n) moved << value(at(n, 0).c_str());
    EXPECT_EQ(moved.join(QLatin1Char(' ')), QStringLiteral("10 20 50 60 70 30 40 80"));
    EXPECT_EQ(value(at(9, 2).c_str()), QStringLiteral("230"));
    EXPECT_EQ(value(at(10, 2).c_str()), QStringLiteral("50"));
    window.manager.undo();
    document.clearRange(GridRange{{0, 0}, {12, 12}}, kClearAll, kUndoUnnamed);
  }
}

TEST_F(SheetViewTest, SelectingPastTheStripScrollsAndStretches) {
  QTest::mousePress(&sheet, Qt::LeftButton, {}, column(1));
  QTest::mouseMove(&sheet, QPoint(sheet.width() + 30, column(1).y()));
  EXPECT_TRUE(QTest::qWaitFor([this] { return sheet.scrollView()->currentPosition().x > 0; }, 10000));
  const int64_t scrolled = sheet.scrollView()->currentPosition().x;
  EXPECT_GT(scrolled, 0);
  QTest::mouseRelease(&sheet, Qt::LeftButton, {}, QPoint(sheet.width() + 30, column(1).y()));
  EXPECT_EQ(document.selectionRange().startPoint.x, 1);
  EXPECT_GT(document.selectionRange().endPoint.x, scrolled);
}

TEST_F(SheetViewTest, ALockedDocumentOnlySelects) {
  document.setPassword(QStringLiteral("x"));
  drag(columnEdge(1, -1), columnEdge(1, 40));
  EXPECT_EQ(document.column(1), nullptr);
  EXPECT_EQ(document.selectionRange(), Columns(1, 2));
  drag(column(1), column(4));
  EXPECT_EQ(steps(), 0u);
}

TEST_F(SheetViewTest, TheStripsShowTheSelectionAndTheCornerTheActiveCell) {
  document.setSelectionRange(Columns(2, 2));
  const QImage image = sheet.grab().toImage();
  const QPoint selected = column(2);
  const QPoint plain = column(4);
  EXPECT_EQ(image.pixelColor(selected.x() - 20, selected.y() + 4),
            sheet.palette().color(QPalette::Active, QPalette::Highlight));
  EXPECT_EQ(image.pixelColor(plain.x() - 20, plain.y() + 4), QColor(238, 238, 255));
  // A resize shows its size tip beside the mouse.
  QTest::mousePress(&sheet, Qt::LeftButton, {}, columnEdge(0, 0));
  QTest::mouseMove(&sheet, columnEdge(0, 20));
  const QImage resizing = sheet.grab().toImage();
  const QPoint tip = columnEdge(0, 20) + QPoint(22, 0);
  EXPECT_EQ(resizing.pixelColor(tip), QColor(255, 255, 184));
  QTest::mouseRelease(&sheet, Qt::LeftButton, {}, columnEdge(0, 20));
}

}  // namespace
