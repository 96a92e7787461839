// A paste of whole rows or columns gives the lines it lands on its source's formats, widths and
// digits: its undo gives them back as they were, and its redo gives the pasted ones again.
#include "UndoTestSupport.h"

#include "calculator/model/CAColumn.h"
#include "calculator/model/CARow.h"
#include "platform/Pasteboard.h"

#include <QMimeData>

namespace {

CAFormat Bold() {
  CAFormat format;
  format.setBold(true);
  return format;
}
CAFormat Italic() {
  CAFormat format;
  format.setItalic(true);
  return format;
}

class PasteLinesUndoTest : public EditTest {
 protected:
  // The sheet: cells, rows with formats and a height, columns with a format, a width and digits,
  // some of them where the pastes land.
  PasteLinesUndoTest() {
    for (int64_t y = 0; y < 10; ++y)
      for (int64_t x = 0; x < 6; ++x) document.cellAtGridPointImperative({x, y})->setFormula(QString::number(x + 10 * y));
    document.rowImperative(2)->setFormat(Italic());
    document.rowImperative(3)->setMinimumHeight(609600);
    document.rowImperative(12)->setFormat(Italic());
    document.columnImperative(2)->setFormat(Italic());
    document.columnImperative(3)->setWidth(1828800);
    document.columnImperative(4)->setDigitCount(5);
    document.evaluate();
  }
};

struct LineSource {
  const char* name;
  bool rows;
  int64_t first, last;  // the lines copied
  std::vector<int64_t> bold, widths, digits, italic;  // the source's lines with each
  int64_t at;  // where the paste lands
};

// The source sheet's lines, copied whole with a few cells of their own.
void CopyLines(const LineSource& c, QMimeData& clipboard) {
  CADocument source;
  for (int64_t k = c.first; k <= c.last; ++k)
    source.cellAtGridPointImperative(c.rows ? GridPoint{1, k} : GridPoint{k, 1})->setFormula(QStringLiteral("s%1").arg(k));
  for (const int64_t k : c.bold)
    c.rows ? source.rowImperative(k)->setFormat(Bold()) : source.columnImperative(k)->setFormat(Bold());
  for (const int64_t k : c.italic)
    c.rows ? source.rowImperative(k)->setFormat(Italic()) : source.columnImperative(k)->setFormat(Italic());
  for (const int64_t k : c.widths) source.columnImperative(k)->setWidth(457200 * (k + 1));
  for (const int64_t k : c.digits) source.columnImperative(k)->setDigitCount(k + 1);
  source.setSelectionRange(c.rows ? Rows(c.first, c.last) : Columns(c.first, c.last));
  PasteboardSetData(clipboard, QLatin1String(kPasteboardCellsType), DocumentXml(source).toUtf8());
}

// Each paste of lines is one step; undone, the sheet is as it was (the lines' formats, widths and
// digits included), redone, as the paste made it, twice over.
TEST_F(PasteLinesUndoTest, UndoingAPasteOfWholeLinesGivesTheirFormatsBack) {
  const LineSource cases[] = {
      {"rows with formats over rows with others", true, 1, 3, {1, 3}, {}, {}, {}, 2},
      {"rows without formats over formatted rows", true, 0, 1, {}, {}, {}, {}, 2},
      {"rows whose source has formatted rows beyond the copy", true, 4, 5, {4, 9}, {}, {}, {0}, 11},
      {"rows past the sheet's rows", true, 0, 2, {0, 1, 2}, {}, {}, {}, 40},
      {"columns with formats, widths and digits", false, 0, 2, {0}, {1, 2}, {0, 2}, {}, 2},
      {"columns whose source has columns beyond the copy", false, 1, 1, {1}, {5}, {}, {0}, 3},
      {"columns past the sheet's columns", false, 0, 1, {0, 1}, {0}, {1}, {}, 30},
  };
  for (const LineSource& c : cases) {
    SCOPED_TRACE(c.name);
    QMimeData clipboard;
    CopyLines(c, clipboard);
    c.rows ? selectRows(c.at, c.at) : selectColumns(c.at, c.at);
    expectUndoAndRedo([&] { ASSERT_TRUE(document.paste(&clipboard, false)); });
    window.manager.undo();
    window.manager.killRedo();
  }
}

}  // namespace
