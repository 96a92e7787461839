// Typing into cells and the grid's keys, driven by synthetic key and input-method events on a
// shown grid: keys reach whichever widget has the focus, as a user's would.
#include "ShownGridTest.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/views/caViewNotifications.h"
#include "platform/KeyMap.h"
#include "platform/NotificationCenter.h"
#include "support/EventWaits.h"

#include <QContextMenuEvent>
#include <QInputMethodEvent>

#include <cstring>

#include <gtest/gtest.h>

namespace {

QString ColorText(const QColor& color) {
  return QStringLiteral("(%1, %2, %3)").arg(color.red()).arg(color.green()).arg(color.blue());
}

class CellTypingTest : public ShownGridTest {
 protected:
  CellTypingTest() {
    formulaChanges = NotificationCenter::defaultCenter().addObserver(
        QLatin1String(kFormulaChangeNotification), &document, [this](const Notification&) { ++changes; });
  }

  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(focus(), key, modifiers);
  }
  QString value(const char* at) const {
    const CACell* c = cell(at);
    return c && c->number() ? c->number()->description() : QStringLiteral("-");
  }
  void select(const char* from, const char* to, const char* active) {
    document.setSelectionRange(GridRange{A1(from), A1(to)});
    document.setActiveCellPoint(A1(active));
  }

  NotificationObserver formulaChanges;
  int changes = 0;
};

TEST_F(CellTypingTest, ADigitOnAnEmptyCellCreatesItAndReturnCommitsAndMovesDown) {
  document.setSelectionPoint(A1("B2"));
  type("5");
  ASSERT_TRUE(grid()->isTyping());
  EXPECT_EQ(cell("B2")->formula(), "5");
  EXPECT_EQ(focus(), grid()->fieldEditor());
  EXPECT_EQ(grid()->fieldEditor()->textCursor().position(), 1);
  EXPECT_EQ(document.typingState(), 2);  // set by giving the field the focus
  EXPECT_EQ(steps(), 1u);
  EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoFormula));

  const int before = changes;
  press(Qt::Key_Return);
  EXPECT_FALSE(grid()->isTyping());
  EXPECT_EQ(value("B2"), "5");
  EXPECT_EQ(document.activeCellPoint(), A1("B3"));
  EXPECT_GT(changes, before);
  EXPECT_EQ(document.typingState(), 0);
  EXPECT_EQ(focus(), grid());
  EXPECT_EQ(steps(), 1u);
}

TEST_F(CellTypingTest, EveryKeystrokeIsWrittenThroughAndAnnounced) {
  document.setSelectionPoint(A1("A1"));
  type("ab");
  EXPECT_EQ(cell("A1")->formula(), "ab");
  EXPECT_TRUE(cell("A1")->typingInProgress());
  EXPECT_EQ(document.typingState(), 0);  // a plain value is typed
  EXPECT_GE(changes, 1);
  type("c");
  EXPECT_EQ(cell("A1")->formula(), "abc");
  press(Qt::Key_Backspace);
  press(Qt::Key_Backspace);
  press(Qt::Key_Backspace);
  EXPECT_EQ(document.typingState(), 2);  // empty: may become a formula
}

TEST_F(CellTypingTest, AFormulaIsRecalculatedWhenReturnCommitsIt) {
  enter("A1", "1");
  enter("A2", "2");
  enter("A3", "3");
  document.setSelectionPoint(A1("A4"));
  type("=SUM(A1:A3)*2");
  EXPECT_EQ(document.typingState(), 2);
  press(Qt::Key_Return);
  EXPECT_EQ(value("A4"), "12");
  EXPECT_EQ(document.activeCellPoint(), A1("A5"));
  // The formula follows its cells.
  document.setSelectionPoint(A1("A1"));
  type("10");
  press(Qt::Key_Return);
  EXPECT_EQ(value("A4"), "30");
}

TEST_F(CellTypingTest, KeypadEnterCommitsAndStays) {
  document.setSelectionPoint(A1("C3"));
  type("7");
  press(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_FALSE(grid()->isTyping());
  EXPECT_EQ(value("C3"), "7");
  EXPECT_EQ(document.activeCellPoint(), A1("C3"));
  // On the grid, Enter opens the active cell with its whole text selected.
  press(Qt::Key_Enter, Qt::KeypadModifier);
  ASSERT_TRUE(grid()->isTyping());
  EXPECT_EQ(grid()->fieldEditor()->textCursor().selectedText(), "7");
}

TEST_F(CellTypingTest, EscapeRestoresValueAndFormatAndLeavesNoStep) {
  CACell& a1 = enter("A1", "42");
  CAFormat bold;
  bold.setBold(true);
  a1.setFormat(bold);
  const uint32_t before = steps();
  document.setSelectionPoint(A1("A1"));
  type("99");
  EXPECT_EQ(value("A1"), "-");
  EXPECT_EQ(steps(), before + 1);
  press(Qt::Key_Escape);
  EXPECT_FALSE(grid()->isTyping());
  EXPECT_EQ(value("A1"), "42");
  ASSERT_NE(cell("A1")->format(), nullptr);
  EXPECT_TRUE(cell("A1")->format()->bold());
  EXPECT_EQ(steps(), before);
}

TEST_F(CellTypingTest, KeysMoveTheActiveCellWithinABlockOrOverTheSheet) {
  enter("C5", "1");
  const struct {
    const char *from, *to, *active;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* expected;
    bool onlyOccupied;
  } cases[] = {
      {"B2", "D4", "D2", Qt::Key_Tab, {}, "B3", false}, {"B2", "D4", "D4", Qt::Key_Tab, {}, "B2", false},
      {"B2", "D4", "C4", Qt::Key_Return, {}, "C2", false},
      {"B2", "D4", "C2", Qt::Key_Backtab, Qt::ShiftModifier, "B2", false},
      {"B2", "B2", "B2", Qt::Key_Right, {}, "C2", false}, {"A3", "A3", "A3", Qt::Key_Left, {}, "A3", false},
      {"A3", "A3", "A3", Qt::Key_Return, Qt::ShiftModifier, "A2", false},
      {"B5", "B5", "B5", Qt::Key_Return, {}, "B1", true},  // the last occupied row wraps to the first
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.active);
    document.setShowOnlyOccupied(c.onlyOccupied);
    select(c.from, c.to, c.active);
    press(c.key, c.modifiers);
    EXPECT_EQ(document.activeCellPoint(), A1(c.expected));
    if (strcmp(c.from, c.to) != 0) { EXPECT_EQ(document.selectionRange(), (GridRange{A1(c.from), A1(c.to)})); }
  }
  EXPECT_EQ(environment.beeps, 0);
  // Typing inside a block keeps it: entries go cell by cell.
  document.setShowOnlyOccupied(false);
  select("B2", "D4", "B2");
  type("1");
  press(Qt::Key_Tab);
  type("2");
  press(Qt::Key_Tab);
  EXPECT_EQ(value("C2"), "2");
  EXPECT_EQ(document.activeCellPoint(), A1("D2"));
  EXPECT_EQ(document.selectionRange(), (GridRange{A1("B2"), A1("D4")}));
  // Extending past the edge beeps and changes nothing.
  document.setSelectionPoint(A1("B1"));
  press(Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(environment.beeps, 1);
  EXPECT_EQ(document.selectionRange(), (GridRange{A1("B1"), A1("B1")}));
}

TEST_F(CellTypingTest, SpaceOnACheckboxIsOneCheckboxStep) {
  document.setSelectionPoint(A1("A1"));
  document.insertCheckboxes();
  ASSERT_EQ(cell("A1")->valueType(), kValueCheckbox);
  const bool checked = cell("A1")->isChecked();
  const uint32_t before = steps();
  press(Qt::Key_Space);
  EXPECT_EQ(cell("A1")->isChecked(), !checked);
  EXPECT_EQ(steps(), before + 1);
  EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoCheckbox));
  EXPECT_FALSE(grid()->isTyping());
  window.manager.undo();
  EXPECT_EQ(cell("A1")->isChecked(), checked);
}

TEST_F(CellTypingTest, SpaceOnAnyOtherCellOpensItWithItsTextSelected) {
  enter("A1", "hello");
  document.setSelectionPoint(A1("A1"));
  press(Qt::Key_Space);
  ASSERT_TRUE(grid()->isTyping());
  EXPECT_EQ(grid()->fieldEditor()->textCursor().selectedText(), "hello");
  EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoFormula));
}

TEST_F(CellTypingTest, ACharacterComposedByAnInputMethodLandsInTheCell) {
  document.setSelectionPoint(A1("A1"));
  // The dead key: marked text on the grid, nothing typed yet.
  QInputMethodEvent deadKey(QStringLiteral("\u00B4"), {});
  QApplication::sendEvent(grid(), &deadKey);
  EXPECT_EQ(grid()->markedText(), QStringLiteral("\u00B4"));
  EXPECT_FALSE(grid()->isTyping());
  EXPECT_EQ(cell("A1"), nullptr);
  // The composed character is committed: typing starts with it.
  QInputMethodEvent composed;
  composed.setCommitString(QStringLiteral("\u00E9"));
  QApplication::sendEvent(grid(), &composed);
  ASSERT_TRUE(grid()->isTyping());
  EXPECT_TRUE(grid()->markedText().isEmpty());
  EXPECT_EQ(editorText(), QStringLiteral("\u00E9"));
  // More composed text goes into the field editor.
  QInputMethodEvent more;
  more.setCommitString(QStringLiteral("t\u00E9"));
  QApplication::sendEvent(focus(), &more);
  press(Qt::Key_Return);
  EXPECT_EQ(cell("A1")->formula(), QStringLiteral("\u00E9t\u00E9"));
  EXPECT_EQ(cell("A1")->valueType(), kValueText);
}

TEST_F(CellTypingTest, MarkedTextIsDrawnOverTheActiveCellUntilItGoes) {
  document.setSelectionPoint(A1("B2"));
  QInputMethodEvent preedit(QStringLiteral("\u00A8"), {});
  QApplication::sendEvent(grid(), &preedit);
  const QRectF marked = grid()->markedTextRect();
  const QRectF cellRect = grid()->rectForGridPoint(A1("B2"));
  EXPECT_TRUE(cellRect.adjusted(0, -document.leading(), 0, 0).contains(marked.topLeft()));
  EXPECT_GT(marked.width(), 1);
  // The bottom edge of the rectangle, below the glyph.
  const QPoint probe = QPointF(marked.left() + 0.5, marked.bottom() - 1).toPoint();
  EXPECT_EQ(ColorText(grid()->grab().toImage().pixelColor(probe)), "(255, 211, 90)");
  QInputMethodEvent cleared(QString(), {});
  QApplication::sendEvent(grid(), &cleared);
  EXPECT_TRUE(grid()->markedText().isEmpty());
  EXPECT_NE(ColorText(grid()->grab().toImage().pixelColor(probe)), "(255, 211, 90)");
}

TEST_F(CellTypingTest, ControlTabSelectsTheNextArgumentOrBeeps) {
  document.setSelectionPoint(A1("A1"));
  type("=");
  grid()->fieldEditor()->setPlainText(QStringLiteral("=DATE(#year#,#month#,#day#)"));
  press(Qt::Key_Tab, kControlModifier);
  EXPECT_EQ(grid()->fieldEditor()->textCursor().selectedText(), "#year#");
  grid()->fieldEditor()->setPlainText(QStringLiteral("=PI()"));
  press(Qt::Key_Tab, kControlModifier);
  EXPECT_EQ(environment.beeps, 1);
  press(Qt::Key_Escape);
  press(Qt::Key_Tab, kControlModifier);  // not typing
  EXPECT_EQ(environment.beeps, 2);
}

TEST_F(CellTypingTest, CommandAndControlCombinationsTypeNothing) {
  document.setSelectionPoint(A1("A1"));
  press(Qt::Key_K, kCommandModifier);
  press(Qt::Key_K, kControlModifier);
  EXPECT_EQ(cell("A1"), nullptr);
}

TEST_F(CellTypingTest, DeleteClearsTheSelectionAsOneStep) {
  enter("A1", "1");
  enter("B1", "2");
  select("A1", "B1", "A1");
  const uint32_t before = steps();
  press(Qt::Key_Backspace);
  EXPECT_EQ(value("A1"), "-");
  EXPECT_EQ(steps(), before + 1);
}

TEST_F(CellTypingTest, KeypadClearTakesTheContentsAndCommandSpaceTheFormats) {
  CACell& a1 = enter("A1", "1");
  CAFormat bold;
  bold.setBold(true);
  a1.setFormat(bold);
  document.setSelectionPoint(A1("A1"));
  press(Qt::Key_Space, kCommandModifier);
  ASSERT_NE(cell("A1"), nullptr);
  EXPECT_EQ(value("A1"), "1");
  EXPECT_TRUE(cell("A1")->format() == nullptr || !cell("A1")->format()->bold());
  press(Qt::Key_Clear, Qt::KeypadModifier);
  EXPECT_EQ(value("A1"), "-");
  EXPECT_EQ(steps(), 2u);
}

TEST_F(CellTypingTest, ARefusedUndoStepStartsNoTyping) {
  window.archiver.refuse = true;
  document.setSelectionPoint(A1("A1"));
  type("5");
  press(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(cell("A1"), nullptr);
  EXPECT_EQ(steps(), 0u);
}

TEST_F(CellTypingTest, StartingInAnotherCellCommitsTheFirst) {
  document.setSelectionPoint(A1("A1"));
  type("3");
  grid()->startTyping(A1("B1"), true);
  EXPECT_EQ(value("A1"), "3");
  EXPECT_TRUE(grid()->isTyping());
  EXPECT_EQ(document.activeCellPoint(), A1("B1"));
  EXPECT_EQ(steps(), 2u);
}

TEST_F(CellTypingTest, TheFieldReachesTheRightEdgeOfTheVisibleGrid) {
  document.setSelectionPoint(A1("B2"));
  type("x");
  const QRectF field = grid()->typingRect();
  const QRectF cellRect = grid()->rectForGridPoint(A1("B2"));
  EXPECT_EQ(field.left(), cellRect.left());
  EXPECT_NEAR(field.right(), grid()->visibleRect().right(), 1.0);
  EXPECT_EQ(field.height(), cellRect.height() - 1);
}

TEST_F(CellTypingTest, CompletionOffersFunctionTemplatesWhileAFormulaNameIsTyped) {
  document.setSelectionPoint(A1("A1"));
  type("=su");
  FLCompletionFieldEditor* editor = grid()->fieldEditor();
  EXPECT_TRUE(editor->isCompleting());
  ASSERT_FALSE(editor->completionList().isEmpty());
  EXPECT_TRUE(editor->completionList().first().startsWith(QStringLiteral("=sum")));
  press(Qt::Key_Escape);  // ends the list, typing goes on
  EXPECT_TRUE(grid()->isTyping());
  press(Qt::Key_Escape);
  EXPECT_FALSE(grid()->isTyping());
}

TEST_F(CellTypingTest, StopTypingFromTheDocumentCommits) {
  document.setSelectionPoint(A1("A1"));
  type("8");
  NotificationCenter::defaultCenter().post(QLatin1String(kStopTypingNotification), &document);
  EXPECT_FALSE(grid()->isTyping());
  EXPECT_EQ(value("A1"), "8");
}

TEST_F(CellTypingTest, ASecondaryClickInAFormulaAsksForThePopupAtTheCharacterBeforeTheCaret) {
  document.setSelectionPoint(A1("B2"));
  type("=1+");
  QRect anchor;
  int requests = 0;
  QObject::connect(grid(), &CACellView::formulaPopupRequested, grid(), [&](const QRect& rect) {
    anchor = rect;
    ++requests;
  });
  FLCompletionFieldEditor* editor = grid()->fieldEditor();
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), editor->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(editor->viewport(), &click);
  ASSERT_TRUE(QTest::qWaitFor([&] { return requests > 0; }, 10000));
  ASSERT_EQ(requests, 1);
  const QRectF cellRect = grid()->rectForGridPoint(A1("B2"));
  EXPECT_EQ(anchor.top(), int(cellRect.top()));
  EXPECT_EQ(anchor.height(), int(cellRect.height()));
  // Over the "+" at the end of the text.
  QTextCursor cursor = editor->textCursor();
  cursor.setPosition(2);
  EXPECT_EQ(anchor.left(), editor->geometry().left() + editor->cursorRect(cursor).left());
  EXPECT_EQ(document.activeCellTextSel(), (CATextRange{3, 0}));
  // A plain value asks for nothing.
  press(Qt::Key_Escape);
  type("12");
  QContextMenuEvent again(QContextMenuEvent::Mouse, QPoint(5, 5), editor->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(grid()->fieldEditor()->viewport(), &again);
  WaitPastDelay(5);  // a request would have come by now
  EXPECT_EQ(requests, 1);
}

TEST_F(CellTypingTest, TypingResumesAfterAFunctionIsInsertedFromThePopup) {
  enter("A1", "=ROUND(#number#,#places#)");
  document.setSelectionPoint(A1("A1"));
  QVariantMap info;
  info.insert(QLatin1String(kFormulaInsertPopupKey), true);
  info.insert(QLatin1String(kFormulaInsertRangeKey), QVariant::fromValue(CATextRange{7, 8}));
  NotificationCenter::defaultCenter().post(QLatin1String(kFormulaInsertNotification), &document, info);
  ASSERT_TRUE(QTest::qWaitFor([this] { return grid()->isTyping(); }, 10000));
  EXPECT_EQ(grid()->fieldEditor()->textCursor().selectedText(), "#number#");
  EXPECT_EQ(focus(), grid()->fieldEditor());
}

TEST_F(CellTypingTest, AClickCommitsAndSelectsADoubleClickOpensTheCell) {
  document.setSelectionPoint(A1("A1"));
  type("4");
  const QPoint c3 = grid()->rectForGridPoint(A1("C3")).center().toPoint();
  QTest::mouseClick(grid(), Qt::LeftButton, {}, c3);
  EXPECT_FALSE(grid()->isTyping());
  EXPECT_EQ(value("A1"), "4");
  EXPECT_EQ(document.selectionRange(), (GridRange{A1("C3"), A1("C3")}));
  enter("B2", "=A1+1");
  const QPoint b2 = grid()->rectForGridPoint(A1("B2")).center().toPoint();
  QTest::mouseDClick(grid(), Qt::LeftButton, {}, b2);
  ASSERT_TRUE(grid()->isTyping());
  EXPECT_EQ(document.activeCellPoint(), A1("B2"));
  EXPECT_EQ(grid()->fieldEditor()->textCursor().selectedText(), "=A1+1");
  EXPECT_EQ(document.typingState(), 2);
}

TEST_F(CellTypingTest, TypingOverAFormulaLeavesNoReferenceBehind) {
  enter("A1", "1");
  enter("A2", "=A1*2");
  ASSERT_EQ(document.referenceTable().referenceCount(), 1u);
  const struct {
    Qt::Key key;
    const char* result;
    size_t references;
  } cases[] = {{Qt::Key_Escape, "2", 1}, {Qt::Key_Return, "5", 0}};
  for (const auto& c : cases) {
    document.setSelectionPoint(A1("A2"));
    press(Qt::Key_Space);  // opens the cell with its formula
    ASSERT_TRUE(grid()->isTyping());
    grid()->fieldEditor()->selectAll();
    type("5");
    press(c.key);
    EXPECT_EQ(value("A2"), c.result);
    EXPECT_EQ(document.referenceTable().referenceCount(), c.references);
  }
  // A1 changing no longer touches A2.
  document.setSelectionPoint(A1("A1"));
  type("7");
  press(Qt::Key_Return);
  EXPECT_EQ(value("A2"), "5");
}

TEST_F(CellTypingTest, TheFieldFollowsItsCellWhenTheGridScrolls) {
  enter("A500", "1");
  grid()->setContentFrame();
  document.setSelectionPoint(A1("B3"));
  type("x");
  const QRect before = grid()->fieldEditor()->geometry();
  press(Qt::Key_PageDown);  // scrolls without ending the typing
  ASSERT_TRUE(grid()->isTyping());
  const QRectF cellRect = grid()->rectForGridPoint(A1("B3"));
  EXPECT_EQ(grid()->fieldEditor()->geometry().top(), int(cellRect.top()));
  EXPECT_LT(grid()->fieldEditor()->geometry().top(), before.top());
}

// Typing a number above a column of running totals recalculates them once, when the typing ends,
// not at each keystroke.
TEST_F(CellTypingTest, TypingAboveRunningTotalsRecalculatesThemOnce) {
  constexpr int64_t kItems = 100;
  for (int64_t y = 1; y <= kItems; ++y) {
    document.cellAtGridPointImperative({2, y})->setFormula(QString::number(y % 7));
    document.cellAtGridPointImperative({3, y})->setFormula(QStringLiteral("=SUM(C$2:C%1)").arg(y + 1));
  }
  document.evaluate();
  document.setSelectionPoint(A1("C2"));
  const uint64_t before = CACell::formulaRuns();
  type("250");
  press(Qt::Key_Return);
  EXPECT_LE(CACell::formulaRuns() - before, uint64_t(kItems));
  EXPECT_EQ(value("D101"), "546");  // 1..100 mod 7 sum to 297; 250 in place of 1
}

}  // namespace
