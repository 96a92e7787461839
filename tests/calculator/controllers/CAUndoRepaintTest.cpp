// Undoing a command draws again all it gives back: the cells, the text that overflows from them
// and the selection's colour over that overflow. For each command that moves, makes or removes
// overflowing text, the window (its backing store, not a fresh drawing) shows after the command,
// and again after its undo, what a fresh drawing of the grid is.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "ShownWindowTestSupport.h"

#include <QApplication>
#include <QAction>
#include <QClipboard>
#include <QImage>
#include <QMenuBar>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace {

constexpr int64_t kEmu = 12700;
constexpr int kLongestWait = 20000;

const char* const kLongText = "zz a text long enough to overflow far into the cells beside it";

// A window of its own for each command, shown and active, with the long text in A7 over "b" and
// "c" in A8 and A9.
struct ShownSheet {
  ShownSheet() {
    FLKernel::sharedInstance();
    controller.prepareToShow();
    controller.mainWindow()->resize(1000, 600);
    controller.mainWindow()->show();
    QApplication::setActiveWindow(controller.mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
    document().setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    document().setDefaultWidth(60 * kEmu);
    for (const auto& [y, text] : {std::pair{6, kLongText}, std::pair{7, "b"}, std::pair{8, "c"}})
      document().setCellAtPoint(GridPoint{0, y}, QVariant(QString::fromUtf8(text)), kValueText);
    document().evaluate();
  }
  ~ShownSheet() { controller.mainWindow()->close(); }

  CACellView* grid() const { return controller.cellView(); }
  CADocument& document() const { return *controller.document(); }
  // The grid as the window shows it, and as a fresh drawing.
  QImage shown() const {
    QWidget* window = controller.mainWindow();
    const QPoint at = grid()->mapTo(window, QPoint(0, 0));
    return window->screen()
        ->grabWindow(window->winId(), at.x(), at.y(), grid()->width(), grid()->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  }
  QImage drawn() const { return grid()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  // Waits for the window to show what a fresh drawing shows; that image.
  QImage settled() const {
    QImage now;
    const bool same = QTest::qWaitFor(
        [&] {
          now = drawn();
          return shown() == now;
        },
        kLongestWait);
    EXPECT_TRUE(same) << "the window shows something else than a fresh drawing";
    return now;
  }
  // Chooses the menu item of that name.
  void choose(const char* name) {
    QAction* item = controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
    ASSERT_NE(item, nullptr) << name;
    item->trigger();
  }
  uint64_t spread(int64_t y) const {
    const CACell* cell = document().cellAtGridPoint(GridPoint{0, y});
    return cell ? cell->extraColumns() : 0;
  }

  mutable CAWindowController controller;
};

// Each command starts from a selection over the long text (selected and not active, it overflows
// in the selection's colour; active, in its own cell only).
TEST(UndoRepaint, AnUndoneCommandLeavesWhatAFreshDrawingShows) {
  // Copy, cut and paste go through the clipboard's formats.
  InstallFileFormatServices();
  const struct {
    const char* name;
    std::function<void(ShownSheet&)> select;
    std::function<void(ShownSheet&)> command;
  } commands[] = {
      {"sort, the long text to the last row",
       [](ShownSheet& s) {
         s.document().setSelectionRange(GridRange{{0, 6}, {0, 8}});
         s.document().setSortKey1(GridPoint{0, 6});
       },
       [](ShownSheet& s) { s.document().sort(); }},
      {"fill down, the long text over the two below",
       [](ShownSheet& s) { s.document().setSelectionRange(GridRange{{0, 6}, {0, 8}}); },
       [](ShownSheet& s) { s.choose("fillDown:"); }},
      {"paste of the long text over the two below",
       [](ShownSheet& s) {
         s.document().setSelectionPoint(GridPoint{0, 6});
         s.choose("copy:");
         s.document().setSelectionRange(GridRange{{0, 7}, {0, 8}});
       },
       [](ShownSheet& s) { s.choose("paste:"); }},
      {"delete of the row above the long text and its own",
       [](ShownSheet& s) { s.document().setSelectionRange(GridRange{{-1, 5}, {-1, 6}}); },
       [](ShownSheet& s) { s.choose("deleteRowOrColumn:1"); }},
      {"clear of a block holding the long text",
       [](ShownSheet& s) { s.document().setSelectionRange(GridRange{{0, 5}, {0, 6}}); },
       [](ShownSheet& s) { s.choose("clear:2"); }},
      {"cut of a block holding the long text",
       [](ShownSheet& s) { s.document().setSelectionRange(GridRange{{0, 5}, {0, 6}}); },
       [](ShownSheet& s) { s.choose("cut:"); }},
  };
  for (const auto& c : commands) {
    SCOPED_TRACE(c.name);
    ShownSheet sheet;
    QApplication::clipboard()->clear();
    ASSERT_GE(sheet.spread(6), 2u);
    c.select(sheet);
    const QImage before = sheet.settled();
    c.command(sheet);
    const QImage after = sheet.settled();
    EXPECT_NE(after, before) << "the command showed no change";
    sheet.controller.undoEdit();
    ASSERT_GE(sheet.spread(6), 2u);
    EXPECT_EQ(sheet.spread(7), 0u);
    EXPECT_EQ(sheet.spread(8), 0u);
    // The undo selects what the command changed: the window shows it as a fresh drawing does.
    sheet.settled();
  }
}

}  // namespace
