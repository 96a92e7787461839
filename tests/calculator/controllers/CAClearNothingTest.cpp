// A Clear, Delete or Cut of a selection that holds nothing it would take away changes nothing:
// no step is recorded and a clean document stays clean. One that takes something is one step.
#include "ShownWindowTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CARow.h"
#include "framlet/shell/FLUndoManager.h"

#include <QAction>
#include <QMenuBar>

#include <functional>
#include <string>

namespace {

class ClearNothingTest : public ShownWindowTest {
 protected:
  // A cut copies the cells first, through the file formats' archive.
  ClearNothingTest() { InstallFileFormatServices(); }

  QAction* item(const char* name) const {
    QAction* found = controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  std::string undoTitle() const {
    QString title;
    controller.undoManager()->validateState(true, &title);
    return title.toStdString();
  }
  void put(int64_t x, int64_t y, const char* text) {
    document().setCellAtPoint(GridPoint{x, y}, QVariant(QString::fromUtf8(text)), kValueText);
  }
  void bold(const GridPoint& point) {
    CAFormat format;
    format.setBold(true);
    document().cellAtGridPointImperative(point)->setFormat(format);
  }
};

TEST_F(ClearNothingTest, AClearThatTakesNothingRecordsNoStepAndLeavesTheDocumentClean) {
  const GridRange cell{{4, 4}, {4, 4}};
  const GridRange block{{4, 4}, {6, 9}};
  const GridRange rows{{kGridWildcard, 4}, {kGridWildcard, 6}};
  const GridRange columns{{4, kGridWildcard}, {6, kGridWildcard}};
  const struct {
    const char* what;
    std::function<void()> sheet;  // what the sheet holds besides the long text in A1
    GridRange selection;
    std::function<void()> command;
    const char* step;  // the undo title afterwards, "" for none
  } cases[] = {
      {"Delete on an empty cell", [] {}, cell, [&] { press(Qt::Key_Delete); }, ""},
      {"Backspace on an empty cell", [] {}, cell, [&] { press(Qt::Key_Backspace); }, ""},
      {"Delete on a cell the text overflows into", [] {}, {{1, 0}, {1, 0}}, [&] { press(Qt::Key_Delete); }, ""},
      {"Clear All of empty cells", [] {}, block, [&] { item("clear:0")->trigger(); }, ""},
      {"Clear Contents of empty cells", [] {}, block, [&] { item("clear:2")->trigger(); }, ""},
      {"Clear Formats of empty cells", [] {}, block, [&] { item("clear:1")->trigger(); }, ""},
      {"Clear All of empty rows", [] {}, rows, [&] { item("clear:0")->trigger(); }, ""},
      {"Clear All of empty columns", [] {}, columns, [&] { item("clear:0")->trigger(); }, ""},
      {"Cut of empty cells", [] {}, block, [&] { item("cut:")->trigger(); }, ""},
      {"Clear Contents of a cell with a format only", [&] { bold({4, 4}); }, cell,
       [&] { item("clear:2")->trigger(); }, ""},
      {"Clear Formats of a cell with a value only", [&] { put(4, 4, "x"); }, cell,
       [&] { item("clear:1")->trigger(); }, ""},
      {"Plain Text on a cell with a value only", [&] { put(4, 4, "x"); }, cell, [&] { item("plain:")->trigger(); },
       ""},
      // What takes something is one step, and the document changed.
      {"Delete on a cell with a value", [&] { put(4, 4, "x"); }, cell, [&] { press(Qt::Key_Delete); }, "Undo Clear"},
      {"Clear Contents of a cell with a value", [&] { put(6, 9, "x"); }, block, [&] { item("clear:2")->trigger(); },
       "Undo Clear"},
      {"Clear Formats of a cell with a format", [&] { bold({5, 5}); }, block, [&] { item("clear:1")->trigger(); },
       "Undo Clear"},
      {"Clear All of a row with a format only",
       [&] {
         CAFormat format;
         format.setItalic(true);
         document().rowImperative(5)->setFormat(format);
       },
       rows, [&] { item("clear:0")->trigger(); }, "Undo Clear"},
      {"Clear Formats of a column with a format only",
       [&] {
         CAFormat format;
         format.setItalic(true);
         document().columnImperative(6)->setFormat(format);
       },
       columns, [&] { item("clear:1")->trigger(); }, "Undo Clear"},
      {"Cut of a cell with a value", [&] { put(5, 5, "x"); }, block, [&] { item("cut:")->trigger(); }, "Undo Cut"},
  };
  const QByteArray empty = document().archiveWholeDocUtf8ForUndo();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    document().restoreWholeDocFromUndo(empty);
    put(0, 0, "a text long enough to overflow well into the cells on its right");
    c.sheet();
    document().evaluate();
    controller.undoManager()->clearUndo();
    document().setDirty(false);
    document().setSelectionRange(c.selection);
    GridRange normal;
    TypeOfRange(&normal, c.selection);
    document().setActiveCellPoint(normal.startPoint);
    grid()->setFocus();
    controller.validateMenuItems();
    c.command();
    const bool changed = *c.step != '\0';
    EXPECT_EQ(undoTitle(), changed ? c.step : "Undo");
    EXPECT_EQ(controller.undoManager()->isUndoAvailable(), changed);
    EXPECT_EQ(document().dirty(), changed);
  }
}

}  // namespace
