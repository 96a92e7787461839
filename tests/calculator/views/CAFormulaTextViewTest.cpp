// The formula bar beside a grid in one window, and the format panel's container.
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAFormulaTextView.h"
#include "calculator/views/CAPropertyContainerView.h"
#include "calculator/views/CAScrollView.h"
#include "calculator/views/caViewNotifications.h"
#include "platform/KeyMap.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTimer>
#include <QWheelEvent>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>

namespace {

class FormulaBarTest : public testing::Test {
 protected:
  FormulaBarTest() {
    FLKernel::sharedInstance();
    document.setController(&window);
    auto* layout = new QVBoxLayout(&frame);
    bar = new CAFormulaTextView(&frame);
    bar->setDocument(&document);
    scroll = new CAScrollView(&document, &frame);
    layout->addWidget(bar);
    layout->addWidget(scroll, 1);
    QObject::connect(bar, &CAFormulaTextView::focusCellViewRequested, bar, [this] {
      ++focusRequests;
      scroll->cellView()->setFocus();
    });
    frame.resize(600, 400);
    frame.show();
    QApplication::setActiveWindow(&frame);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
    scroll->cellView()->setFocus();
  }
  ~FormulaBarTest() override {
    frame.close();
    document.setController(nullptr);
  }

  void focusBar() {
    bar->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
  }
  CACell& enter(const char* at, const char* text) {
    CACell& cell = *document.cellAtGridPointImperative(A1(at));
    cell.setFormula(QString::fromUtf8(text));
    return cell;
  }
  QString value(const char* at) const {
    const CACell* c = document.cellAtGridPoint(A1(at));
    return c && c->number() ? c->number()->description() : QStringLiteral("-");
  }
  QWidget* focus() const { return QApplication::focusWidget(); }

  ModelEnvironment environment;
  CADocument document;
  UndoWindow window{document};
  QWidget frame;
  CAFormulaTextView* bar = nullptr;
  CAScrollView* scroll = nullptr;
  int focusRequests = 0;
};

TEST_F(FormulaBarTest, ShowsTheActiveCellsEnteredText) {
  enter("A1", "=1+2");
  document.setSelectionPoint(A1("A1"));
  EXPECT_EQ(bar->toPlainText(), "=1+2");
  document.setSelectionPoint(A1("B9"));
  EXPECT_EQ(bar->toPlainText(), "");
}

// Wrapping a paragraph costs the square of its length: a text far longer than the bar is laid
// out on one line that scrolls sideways, and is still shown and edited whole.
TEST_F(FormulaBarTest, ALongTextIsShownOnOneLineAndEditedWhole) {
  const struct {
    qsizetype words;
    bool wrapped;
  } cases[] = {{60, true}, {40000, false}, {60, true}};
  for (const auto& c : cases) {
    QString text;
    for (qsizetype i = 0; i < c.words; ++i) text += QStringLiteral("word ");
    document.cellAtGridPointImperative(A1("A1"))->setFormula(text);
    document.setSelectionPoint(A1("B1"));
    document.setSelectionPoint(A1("A1"));
    EXPECT_EQ(bar->text(), text);
    bar->repaint();
    const QTextLayout* layout = bar->QPlainTextEdit::document()->firstBlock().layout();
    EXPECT_EQ(layout->lineCount() > 1, c.wrapped) << c.words << " words in " << layout->lineCount() << " lines";
    focusBar();
    EXPECT_EQ(bar->toPlainText(), text);
    bar->moveCursor(QTextCursor::End);
    QTest::keyClicks(bar, QStringLiteral("x"));
    QTest::keyClick(bar, Qt::Key_Return);
    ASSERT_NE(document.cellAtGridPoint(A1("A1")), nullptr);
    EXPECT_EQ(document.cellAtGridPoint(A1("A1"))->formula(), text + QStringLiteral("x")) << c.words;
  }
}

// Of a text too long to wrap, the bar holds only what it can show until it is touched: it shows
// the same pixels as with the whole text, and whatever reaches for the text (the keys, a click, the
// wheel, a scroll bar, a context menu) finds all of it there.
TEST_F(FormulaBarTest, ALongTextsShownPartLooksAsTheWholeAndGivesWayToItWhenTouched) {
  const auto words = [](qsizetype length, qsizetype lineLength) {
    QString text;
    for (qsizetype i = 0; i < length; ++i)
      text += lineLength && i % lineLength == lineLength - 1 ? u'\n' : i % 8 == 7 ? u' ' : char16_t(u'a' + i % 26);
    return text;
  };
  QString pairs;
  for (int i = 0; i < 30000; ++i) pairs += QString::fromUtf8("\xF0\x9D\x90\x80 b");  // U+1D400, a pair
  const struct {
    const char* name;
    QString text;
  } texts[] = {
      {"one line of words", words(400000, 0)},
      {"lines of 80", words(400000, 80)},
      {"a long line, then short ones", words(50000, 0) + QStringLiteral("\nsecond\nthird\nfourth")},
      {"surrogate pairs", pairs},
  };
  const struct {
    const char* name;
    std::function<void()> touch;
  } touches[] = {
      {"focus", [&] { focusBar(); }},
      {"click", [&] { QTest::mouseClick(bar->viewport(), Qt::LeftButton, {}, QPoint(20, 8)); }},
      {"wheel",
       [&] {
         QWheelEvent wheel(QPointF(20, 8), bar->viewport()->mapToGlobal(QPointF(20, 8)), QPoint(), QPoint(-120, 0),
                           Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
         QApplication::sendEvent(bar->viewport(), &wheel);
       }},
      {"scroll bar", [&] { QTest::mousePress(bar->horizontalScrollBar(), Qt::LeftButton, {}, QPoint(4, 4)); }},
      {"context menu",
       [&] {
         QTimer::singleShot(0, bar, [] {
           if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
         });
         QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(20, 8));
         QApplication::sendEvent(bar->viewport(), &menu);
       }},
  };
  for (const auto& t : texts) {
    SCOPED_TRACE(t.name);
    document.cellAtGridPointImperative(A1("A1"))->setFormula(t.text);
    scroll->cellView()->setFocus();
    document.setSelectionPoint(A1("B1"));
    document.setSelectionPoint(A1("A1"));
    ASSERT_TRUE(bar->holdsShownPartOnly());
    const QImage part = bar->viewport()->grab().toImage();
    bar->holdWholeText();
    ASSERT_FALSE(bar->holdsShownPartOnly());
    EXPECT_EQ(bar->viewport()->grab().toImage(), part);
    for (const auto& touch : touches) {
      SCOPED_TRACE(touch.name);
      // The context menu took the activation for a moment.
      QApplication::setActiveWindow(&frame);
      ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
      scroll->cellView()->setFocus();
      document.setSelectionPoint(A1("B1"));
      document.setSelectionPoint(A1("A1"));
      ASSERT_TRUE(bar->holdsShownPartOnly());
      EXPECT_LT(bar->toPlainText().size(), t.text.size() / 4);
      EXPECT_TRUE(bar->text() == t.text);
      touch.touch();
      EXPECT_FALSE(bar->holdsShownPartOnly());
      EXPECT_TRUE(bar->toPlainText() == t.text) << bar->toPlainText().size() << " of " << t.text.size();
      QTest::mouseRelease(bar->horizontalScrollBar(), Qt::LeftButton, {}, QPoint(4, 4));
    }
  }
  // A text short enough to wrap is held whole.
  const QString wrapped = words(9000, 0);
  scroll->cellView()->setFocus();
  document.cellAtGridPointImperative(A1("A1"))->setFormula(wrapped);
  document.setSelectionPoint(A1("B1"));
  document.setSelectionPoint(A1("A1"));
  EXPECT_FALSE(bar->holdsShownPartOnly());
  EXPECT_EQ(bar->toPlainText(), wrapped);
}

// Typing into a bar that held only the shown part of a long text edits the whole text.
TEST_F(FormulaBarTest, TypingAtTheEndOfALongTextEntersTheWholeOfIt) {
  QString text;
  for (int i = 0; i < 60000; ++i) text += QStringLiteral("word ");
  document.cellAtGridPointImperative(A1("A1"))->setFormula(text);
  document.setSelectionPoint(A1("B1"));
  document.setSelectionPoint(A1("A1"));
  ASSERT_TRUE(bar->holdsShownPartOnly());
  focusBar();
  QTest::keyClick(bar, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(bar, QStringLiteral("end"));
  QTest::keyClick(bar, Qt::Key_Return);
  const CACell* cell = document.cellAtGridPoint(A1("A1"));
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->formula(), text + QStringLiteral("end"));
  // Shown again, unfocused: its part once more.
  document.setSelectionPoint(A1("B1"));
  document.setSelectionPoint(A1("A1"));
  EXPECT_TRUE(bar->holdsShownPartOnly());
  EXPECT_EQ(bar->text(), text + QStringLiteral("end"));
}

TEST_F(FormulaBarTest, TheTypingStateIsOneWhileAFormulaIsEditedThere) {
  enter("A1", "=1+2");
  enter("A2", "5");
  const struct { const char* cell; int32_t state; } cases[] = {{"A1", 1}, {"A2", 0}, {"C3", 1}};
  for (const auto& c : cases) {
    scroll->cellView()->setFocus();
    document.setSelectionPoint(A1(c.cell));
    focusBar();
    EXPECT_EQ(document.typingState(), c.state) << c.cell;
  }
  scroll->cellView()->setFocus();
  EXPECT_EQ(document.typingState(), 0);
}

TEST_F(FormulaBarTest, ReturnEntersTheTextAndGivesTheGridTheKeys) {
  enter("A1", "4");
  document.setSelectionPoint(A1("B1"));
  focusBar();
  QTest::keyClicks(bar, QStringLiteral("=A1*3"));
  QTest::keyClick(bar, Qt::Key_Return);
  EXPECT_EQ(value("B1"), "12");
  EXPECT_EQ(focusRequests, 1);
  EXPECT_EQ(focus(), scroll->cellView());
  EXPECT_EQ(window.manager.inUseCount(), 1u);
  EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoFormula));
}

TEST_F(FormulaBarTest, ReturnBreaksTheLineWhenReturnsAreAllowed) {
  bar->setAllowReturns(true);
  focusBar();
  QTest::keyClicks(bar, QStringLiteral("a"));
  QTest::keyClick(bar, Qt::Key_Return);
  QTest::keyClicks(bar, QStringLiteral("b"));
  EXPECT_EQ(bar->toPlainText(), "a\nb");
  EXPECT_EQ(focusRequests, 0);
}

TEST_F(FormulaBarTest, TabNeedsControlAndBeepsWithoutAnArgument) {
  focusBar();
  bar->setPlainText(QStringLiteral("=ROUND(#number#,#places#)"));
  QTest::keyClick(bar, Qt::Key_Tab);
  EXPECT_EQ(bar->toPlainText(), "=ROUND(#number#,#places#)");
  EXPECT_EQ(focus(), bar);
  QTest::keyClick(bar, Qt::Key_Tab, kControlModifier);
  EXPECT_EQ(bar->textCursor().selectedText(), "#number#");
  bar->setPlainText(QStringLiteral("=PI()"));
  QTest::keyClick(bar, Qt::Key_Tab, kControlModifier);
  EXPECT_EQ(environment.beeps, 1);
}

TEST_F(FormulaBarTest, EscapeShowsTheCellAgainWithoutEnteringAnything) {
  enter("A1", "7");
  document.setSelectionPoint(A1("A1"));
  focusBar();
  bar->selectAll();
  QTest::keyClicks(bar, QStringLiteral("99"));
  QTest::keyClick(bar, Qt::Key_Escape);
  EXPECT_EQ(bar->toPlainText(), "7");
  EXPECT_EQ(focus(), scroll->cellView());
  EXPECT_EQ(window.manager.inUseCount(), 0u);
}

// What is typed in the bar belongs to the cell it showed: when the selection leaves that cell
// the text is entered there (one "Formula" step) and the bar ends its editing on the cell the
// selection came to; while the cell stays active, nothing takes the typing away.
TEST_F(FormulaBarTest, TextTypedForACellGoesThereWhenTheSelectionLeavesIt) {
  const struct {
    const char* what;
    std::function<void(CADocument&)> change;
    const char* a1;     // A1's formula afterwards
    const char* b5;     // B5's
    const char* shown;  // the bar's text
    bool barKeepsKeys;
    bool behindAnother = false;  // another window (the find panel) is in front
  } cases[] = {
      {"another cell selected", [](CADocument& d) { d.setSelectionPoint(A1("B5")); }, "=2+2", "=5", "=5", false},
      {"another cell selected from another window", [](CADocument& d) { d.setSelectionPoint(A1("B5")); }, "=2+2",
       "=5", "=5", false, true},
      {"a block selected", [](CADocument& d) { d.setSelectionRange(Range("B5", "C9")); }, "=2+2", "=5", "=5", false},
      {"an empty cell selected", [](CADocument& d) { d.setSelectionPoint(A1("Z99")); }, "=2+2", "=5", "", false},
      {"the same cell selected again", [](CADocument& d) { d.setSelectionPoint(A1("A1")); }, "=1", "=5", "=2+2",
       true},
      {"another cell's formula changed",
       [](CADocument& d) {
         d.cellAtGridPointImperative(A1("B5"))->setFormula(QStringLiteral("=6"));
         NotificationCenter::defaultCenter().post(QLatin1String(kFormulaChangeNotification), &d);
       },
       "=1", "=6", "=2+2", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    scroll->cellView()->setFocus();
    enter("A1", "=1");
    enter("B5", "=5");
    document.setSelectionPoint(A1("A1"));
    focusBar();
    bar->selectAll();
    QTest::keyClicks(bar, QStringLiteral("=2+2"));
    const size_t steps = window.archiver.descriptors.size();
    QWidget other;
    if (c.behindAnother) {
      other.show();
      QApplication::setActiveWindow(&other);
      ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    }
    c.change(document);
    ASSERT_NE(document.cellAtGridPoint(A1("A1")), nullptr);
    EXPECT_EQ(document.cellAtGridPoint(A1("A1"))->formula(), c.a1);
    ASSERT_NE(document.cellAtGridPoint(A1("B5")), nullptr);
    EXPECT_EQ(document.cellAtGridPoint(A1("B5"))->formula(), c.b5);
    EXPECT_EQ(bar->toPlainText(), c.shown);
    EXPECT_EQ(frame.focusWidget() == bar, c.barKeepsKeys);
    EXPECT_EQ(document.typingState(), c.barKeepsKeys ? 1 : 0);
    EXPECT_EQ(window.archiver.descriptors.size(), steps + (c.barKeepsKeys ? 0 : 1));
    if (c.behindAnother) {
      other.hide();
      QApplication::setActiveWindow(&frame);
      ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    }
    // Escape leaves whatever is still typed unentered.
    if (focus() == bar) QTest::keyClick(bar, Qt::Key_Escape);
  }
}

TEST_F(FormulaBarTest, ClickingACellWhileEditingAFormulaKeepsTheBarFocused) {
  document.setSelectionPoint(A1("A1"));
  focusBar();
  QTest::keyClicks(bar, QStringLiteral("=1+"));
  ASSERT_EQ(document.typingState(), 1);
  const QPoint b3 = scroll->cellView()->rectForGridPoint(A1("B3")).center().toPoint();
  QTest::mouseClick(scroll->cellView(), Qt::LeftButton, {}, b3);
  // The reference goes in at once; the keys come back to the bar on a later turn.
  EXPECT_TRUE(QTest::qWaitFor([&] { return focus() == bar && bar->toPlainText() == "=1+B3"; }, 10000));
  EXPECT_EQ(focus(), bar);
  EXPECT_EQ(bar->toPlainText(), "=1+B3");
  EXPECT_EQ(bar->textCursor().position(), 5);
  EXPECT_EQ(document.activeCellPoint(), A1("A1"));
  // A dragged block with Alt held at the press, replacing the selected characters.
  QTextCursor cursor = bar->textCursor();
  cursor.setPosition(3);
  cursor.setPosition(5, QTextCursor::KeepAnchor);
  bar->setTextCursor(cursor);
  const QPoint c4 = scroll->cellView()->rectForGridPoint(A1("C4")).center().toPoint();
  QTest::mousePress(scroll->cellView(), Qt::LeftButton, Qt::AltModifier, b3);
  QTest::mouseMove(scroll->cellView(), c4);
  QTest::mouseRelease(scroll->cellView(), Qt::LeftButton, Qt::AltModifier, c4);
  EXPECT_TRUE(QTest::qWaitFor([&] { return bar->toPlainText() == "=1+$B$3:$C$4"; }, 10000));
  EXPECT_EQ(bar->toPlainText(), "=1+$B$3:$C$4");
  bar->commitToEditedCell();
  ASSERT_NE(document.cellAtGridPoint(A1("A1")), nullptr);
  EXPECT_EQ(document.cellAtGridPoint(A1("A1"))->formula(), "=1+$B$3:$C$4");
}

// As in the field a cell is typed in, a click on another cell picks a reference only into a
// formula (what the bar holds decides, as typed); plain text is entered where it was typed and
// the click selects.
TEST_F(FormulaBarTest, AClickOnACellPicksAReferenceOnlyIntoAFormula) {
  const struct {
    const char* keys;  // typed into the bar over an empty cell's text; "<" deletes
    bool picks;
    const char* bar;    // after the click on D8
    const char* typed;  // entered in the cell typed for after the click
  } cases[] = {
      {"xyz", false, "", "xyz"},
      {"12", false, "", "12"},
      {"x=1", false, "", "x=1"},
      {"=1+", true, "=1+D8", ""},
      {"", true, "=D8", ""},
      {"ab<<=2*", true, "=2*D8", ""},
      {"=<xyz", false, "", "xyz"},
  };
  int64_t row = 13;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    const GridPoint cell{0, ++row};
    scroll->cellView()->setFocus();
    document.setSelectionPoint(cell);
    focusBar();
    ASSERT_EQ(focus(), bar);
    for (const char* key = c.keys; *key; ++key) {
      if (*key == '<') {
        QTest::keyClick(bar, Qt::Key_Backspace);
      } else {
        QTest::keyClicks(bar, QString(QLatin1Char(*key)));
      }
    }
    QTest::mouseClick(scroll->cellView(), Qt::LeftButton, {},
                      scroll->cellView()->rectForGridPoint(A1("D8")).center().toPoint());
    if (c.picks) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return focus() == bar && bar->toPlainText() == QLatin1String(c.bar); }, 10000));
      EXPECT_EQ(bar->toPlainText().toStdString(), c.bar);
      EXPECT_EQ(document.activeCellPoint(), cell);
      QTest::keyClick(bar, Qt::Key_Escape);
    } else {
      EXPECT_EQ(bar->toPlainText().toStdString(), c.bar);
      EXPECT_EQ(document.activeCellPoint(), A1("D8"));
      EXPECT_EQ(focus(), scroll->cellView());
      EXPECT_EQ(document.typingState(), 0);
    }
    const CACell* entered = document.cellAtGridPoint(cell);
    EXPECT_EQ(entered ? entered->editText().toStdString() : std::string(), c.typed);
  }
}

TEST(PropertyContainerView, DrawsItsSeparatorAboveThePropertyScrollView) {
  FLKernel::sharedInstance();
  CAPropertyContainerView container;
  container.resize(200, 120);
  auto* scrollView = new QWidget(&container);
  scrollView->setGeometry(0, 40, 200, 80);
  container.setPropertyScrollView(scrollView);
  scrollView->hide();  // only the container's own drawing
  QImage image(container.size(), QImage::Format_ARGB32);
  container.render(&image);
  EXPECT_EQ(image.pixelColor(100, 39), QColor(Qt::lightGray));
  EXPECT_EQ(image.pixelColor(100, 20), g_formatPanelBackground);
}

}  // namespace
