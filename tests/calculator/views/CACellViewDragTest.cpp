// Cells dragged out of the grid and dropped back: the press held still that starts the drag,
// moving within a document as one "Drag Cells" step, copying with Alt, from another window or
// after the drag is over, the drops refused, and the click that only gives the grid the focus.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAScrollView.h"
#include "platform/Pasteboard.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Sends a drag over the cell and drops it; YES when the drop was taken.
bool DropAt(CACellView* target, const QMimeData* data, const char* cell, Qt::KeyboardModifiers modifiers = {}) {
  const QPoint at = target->rectForGridPoint(A1(cell)).center().toPoint();
  const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(at, actions, data, Qt::LeftButton, modifiers);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(at, actions, data, Qt::LeftButton, modifiers);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

class Sheet {
 public:
  Sheet() {
    document.setController(&window);
    scroll.resize(500, 300);
  }
  ~Sheet() { document.setController(nullptr); }
  CACellView* grid() { return scroll.cellView(); }
  QString text(const char* at) const {
    const CACell* cell = document.cellAtGridPoint(A1(at));
    return cell ? cell->formula() : QStringLiteral("-");
  }
  // The texts of the cells the tests use, "-" for none.
  QString cells() const {
    QStringList texts;
    for (const char* at : {"B2", "C2", "D2", "E5", "F5"}) texts << text(at);
    return texts.join(QLatin1Char(' '));
  }

  CADocument document;
  UndoWindow window{document};
  CAScrollView scroll{&document};
};

class CellDragTest : public testing::Test {
 protected:
  CellDragTest() {
    FLKernel::sharedInstance();
    InstallFileFormatServices();
    a.scroll.show();
    QApplication::setActiveWindow(&a.scroll);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&a.scroll));
    a.grid()->setFocus();
    for (const char* at : {"B2", "C2"}) a.document.cellAtGridPointImperative(A1(at))->setFormula(QString::fromLatin1(at));
  }
  ~CellDragTest() override {
    CACellView::setDragRunner(nullptr);
    SetFileFormatServices(CAFileFormatServices());
  }
  QPoint at(const char* cell) { return a.grid()->rectForGridPoint(A1(cell)).center().toPoint(); }
  // Drags the selection out; the runner drops it where the test says.
  void dragOut(const std::function<void(const QMimeData*)>& drop) {
    CACellView::setDragRunner([drop](QDrag& drag) {
      drop(drag.mimeData());
      return Qt::CopyAction;
    });
    a.grid()->startExternalDrag();
  }

  ModelEnvironment environment;
  Sheet a;
};

TEST_F(CellDragTest, APressHeldStillInsideTheSelectionDragsTheCells) {
  a.document.setSelectionRange(GridRange{A1("B2"), A1("C2")});
  bool dragged = false;
  CACellView::setDragRunner([&](QDrag& drag) {
    dragged = true;
    EXPECT_TRUE(PasteboardHasType(*drag.mimeData(), QLatin1String(kPasteboardCellsType)));
    EXPECT_FALSE(drag.pixmap().isNull());
    return Qt::IgnoreAction;
  });
  QTest::mousePress(a.grid(), Qt::LeftButton, {}, at("C2"));
  EXPECT_TRUE(a.grid()->dragStartPending());
  EXPECT_TRUE(QTest::qWaitFor([&dragged] { return dragged; }, 10000));
  QTest::mouseRelease(a.grid(), Qt::LeftButton, {}, at("C2"));
  EXPECT_EQ(a.document.selectionRange(), (GridRange{A1("B2"), A1("C2")}));

  // Released or moved at once, the press selects as any other.
  dragged = false;
  QTest::mouseClick(a.grid(), Qt::LeftButton, {}, at("C2"));
  EXPECT_EQ(a.document.selectionRange(), (GridRange{A1("C2"), A1("C2")}));
  a.document.setSelectionRange(GridRange{A1("B2"), A1("C2")});
  QTest::mousePress(a.grid(), Qt::LeftButton, {}, at("C2"));
  QTest::mouseMove(a.grid(), at("D3"));
  QTest::mouseRelease(a.grid(), Qt::LeftButton, {}, at("D3"));
  EXPECT_EQ(a.document.selectionRange(), (GridRange{A1("C2"), A1("D3")}));
  EXPECT_FALSE(dragged);
}

// Another program takes the cells dragged out as the texts they show, with no quotes around
// them.
TEST_F(CellDragTest, CellsDraggedOutGiveOtherProgramsTheirTexts) {
  const struct {
    const char* b2;
    const char* c2;
    const char* text;
  } cases[] = {{"New York City", nullptr, "New York City"},
               {"Hello, world, again", nullptr, "Hello, world, again"},
               {"say \"hi\"", "Doe, John", "say \"hi\"\tDoe, John"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.b2);
    a.document.cellAtGridPointImperative(A1("B2"))->setFormula(QString::fromUtf8(c.b2));
    a.document.setSelectionRange(GridRange{A1("B2"), A1(c.c2 ? "C2" : "B2")});
    if (c.c2) a.document.cellAtGridPointImperative(A1("C2"))->setFormula(QString::fromUtf8(c.c2));
    QString dragged;
    dragOut([&dragged](const QMimeData* data) { dragged = data->text(); });
    EXPECT_EQ(dragged, QString::fromUtf8(c.text));
  }
}

TEST_F(CellDragTest, DroppingOnTheSameDocumentMovesInOneUndoStep) {
  const struct {
    const char* from;
    const char* to;
    const char* target;
    Qt::KeyboardModifiers modifiers;
    const char* b2;  // afterwards
    const char* e5;
  } cases[] = {
      {"B2", "C2", "E5", {}, "-", "B2"},
      {"B2", "B2", "E5", {}, "-", "B2"},  // one cell: its old place comes back with the undo too
      {"B2", "C2", "C2", {}, "-", "-"},   // overlapping its old place
      {"B2", "C2", "E5", Qt::AltModifier, "B2", "B2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.from) + ":" + c.to + " to " + c.target);
    const QString before = a.cells();
    const size_t steps = a.window.archiver.descriptors.size();
    a.document.setSelectionRange(GridRange{A1(c.from), A1(c.to)});
    dragOut([&](const QMimeData* data) { EXPECT_TRUE(DropAt(a.grid(), data, c.target, c.modifiers)); });
    EXPECT_EQ(a.text("B2"), QLatin1String(c.b2));
    EXPECT_EQ(a.text("E5"), QLatin1String(c.e5));
    EXPECT_EQ(a.text(c.target), QStringLiteral("B2"));
    ASSERT_EQ(a.window.archiver.descriptors.size(), steps + 1);
    EXPECT_EQ(a.window.archiver.descriptors.back(), uint32_t(kUndoDragCells));
    a.window.manager.undo();
    EXPECT_EQ(a.cells(), before);
  }
}

// A move that would not fit where it is dropped is refused with a beep before its old place is
// touched: the cells stay and no step is left to undo.
TEST_F(CellDragTest, AMoveThatDoesNotFitLeavesTheCellsWhereTheyAre) {
  const GridPoint last{LastGridColumn(), 4};
  const QString target = FormatGridPoint(last);
  a.document.registerDisplayGridPoint(last);
  a.grid()->setContentFrame();
  a.grid()->scrollToGridPoint(GridPoint{last.x - 1, 0});
  ASSERT_TRUE(a.grid()->rect().contains(a.grid()->rectForGridPoint(last).center().toPoint()));
  const GridRange moved[] = {{A1("B2"), A1("C2")}, {{1, kGridWildcard}, {2, kGridWildcard}}};
  for (const GridRange& selection : moved) {
    SCOPED_TRACE(StringFromGridPoint(selection.startPoint).toStdString());
    const QString before = a.cells();
    const int beeps = environment.beeps;
    a.document.setSelectionRange(selection);
    dragOut([&](const QMimeData* data) { EXPECT_FALSE(DropAt(a.grid(), data, target.toLatin1().constData())); });
    EXPECT_EQ(a.cells(), before);
    EXPECT_EQ(a.text(target.toLatin1().constData()), QStringLiteral("-"));
    EXPECT_EQ(environment.beeps, beeps + 1);
    EXPECT_EQ(a.window.manager.inUseCount(), 0u);
  }
}

TEST_F(CellDragTest, DropsFromAnotherWindowOrAfterTheDragAreCopies) {
  Sheet b;
  b.scroll.show();
  a.document.setSelectionRange(GridRange{A1("B2"), A1("C2")});
  dragOut([&](const QMimeData* data) { EXPECT_TRUE(DropAt(b.grid(), data, "A1")); });
  EXPECT_EQ(a.text("B2"), QStringLiteral("B2"));
  EXPECT_EQ(b.text("A1"), QStringLiteral("B2"));
  EXPECT_EQ(b.text("B1"), QStringLiteral("C2"));
  EXPECT_EQ(a.window.manager.inUseCount(), 0u);
  EXPECT_EQ(b.window.manager.inUseCount(), 1u);

  // The drag is over: the same cells dropped later are pasted, not moved.
  QMimeData later;
  a.document.setSelectionRange(GridRange{A1("B2"), A1("C2")});
  ASSERT_TRUE(a.document.copy(&later));
  EXPECT_TRUE(DropAt(a.grid(), &later, "B5"));
  EXPECT_EQ(a.text("B2"), QStringLiteral("B2"));
  EXPECT_EQ(a.text("C5"), QStringLiteral("C2"));
}

TEST_F(CellDragTest, DropsAreRefusedOnALockedDocumentAndForUnknownFiles) {
  const struct { QStringList files; QString text; bool locked; bool accepted; } cases[] = {
      {{}, QStringLiteral("7"), false, true}, {{}, QStringLiteral("7"), true, false},
      {{QStringLiteral("/tmp/a.unknownkind")}, QString(), false, false},
      {{QStringLiteral("/tmp/a.csv"), QStringLiteral("/tmp/b.unknownkind")}, QString(), false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files.join(QLatin1Char(' ')).toStdString());
    a.document.setPassword(c.locked ? QStringLiteral("x") : QString());
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : c.files) urls << QUrl::fromLocalFile(file);
    if (!urls.isEmpty()) data.setUrls(urls);
    if (!c.text.isNull()) data.setText(c.text);
    const QPoint where = at("D4");
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(a.grid(), &enter);
    EXPECT_EQ(enter.isAccepted(), c.accepted);
  }
}

TEST_F(CellDragTest, TheClickThatGivesTheGridTheFocusSelectsNothing) {
  a.grid()->clearFocus();
  QTest::mouseClick(a.grid(), Qt::LeftButton, {}, at("D3"));
  EXPECT_TRUE(a.grid()->hasFocus());
  EXPECT_EQ(a.document.selectionRange(), (GridRange{A1("A1"), A1("A1")}));
  QTest::mouseClick(a.grid(), Qt::LeftButton, {}, at("D3"));
  EXPECT_EQ(a.document.selectionRange(), (GridRange{A1("D3"), A1("D3")}));
}

}  // namespace
