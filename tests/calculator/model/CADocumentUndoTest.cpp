// Undo archives: what each archiver writes, what each restore gives back, and the undo stack's
// delegate replaying steps by exchange, with the names the Edit menu shows.
#include "calculator/model/CAPicture.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "UndoTestSupport.h"

#include <random>

namespace {

class UndoTest : public EditTest {};

TEST_F(UndoTest, RestoringTheWholeDocumentLeavesTheReferenceTableRight) {
  enter("A1", "2");
  enter("B1", "=A1*10");
  document.evaluate();
  const QString archive = document.archiveWholeDocForUndo();
  enter("B1", "=A1+1");
  enter("C1", "=A1");
  document.evaluate();
  document.restoreWholeDocFromUndo(archive);
  EXPECT_EQ(value("B1"), QStringLiteral("20"));
  EXPECT_EQ(cell("C1"), nullptr);
  enter("A1", "3");
  document.evaluate();
  EXPECT_EQ(value("B1"), QStringLiteral("30"));
  std::vector<GridPoint> referrers;
  document.referenceTable().referrersOf(A1("A1"), referrers);
  EXPECT_EQ(referrers, std::vector<GridPoint>{A1("B1")});
}

TEST_F(UndoTest, APictureCellIsArchivedUnderItsOwnGuid) {
  QImage bitmap(2, 2, QImage::Format_ARGB32);
  bitmap.fill(Qt::blue);
  std::shared_ptr<FLImage> image = FLImage::withCGImage(bitmap, QSizeF(2, 2));
  std::shared_ptr<CAPicture> picture = CAPicture::withImage(image, &document);
  picture->setSaveGuid(QStringLiteral("SAVED"));
  document.cellAtGridPointImperative(A1("A1"))->setPicture(picture);
  std::vector<QString> archive;
  ASSERT_TRUE(document.archiveCellsForUndo(archive, GridRange{A1("A1"), A1("A1")}));
  EXPECT_TRUE(archive[0].contains(QStringLiteral("<pic>") + picture->guid() + QStringLiteral("</pic>")))
      << archive[0].toStdString();
  document.restoreCellsFromUndo(archive, GridRange{A1("A1"), A1("A1")});
  EXPECT_EQ(cell("A1")->picture(), picture);
}

TEST_F(UndoTest, ANoteOnAnEmptyCellIsContentToEveryArchive) {
  const QString note = QStringLiteral("ask Ann");
  document.cellAtGridPointImperative(A1("B2"))->setNote(note);
  const GridRange range{A1("A1"), A1("C3")};
  std::vector<QString> cells;
  ASSERT_TRUE(document.archiveCellsForUndo(cells, range));
  const QString whole = document.archiveWholeDocForUndo();

  cell("B2")->setNote(QStringLiteral("changed"));
  document.restoreCellsFromUndo(cells, range);
  EXPECT_EQ(cell("B2")->note(), note);

  cell("B2")->setNote(QString());
  document.restoreWholeDocFromUndo(whole);
  EXPECT_EQ(cell("B2")->note(), note);
}

TEST_F(UndoTest, UndoingADefaultFormatChangeRestoresTheDefaultAndNoCell) {
  enter("B2", "1");
  select("A1", "A1");
  ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionFormats, kUndoFont, document.selectionRange(),
                               kDomainDocument));
  CAFormat changed = document.defaultFormat();
  changed.setBold(true);
  changed.setAlignment(kAlignmentCenter);
  document.setDefaultFormat(changed);
  window.manager.undo();
  EXPECT_TRUE(document.defaultFormat().isDefaultFormat());
  EXPECT_EQ(cell("A1"), nullptr);
  window.manager.redo();
  EXPECT_EQ(document.defaultFormat().alignment(), kAlignmentCenter);
  EXPECT_EQ(cell("A1"), nullptr);
}

TEST_F(UndoTest, FormatStepsOfRowsColumnsAndCellsComeBack) {
  CAFormat bold;
  bold.setBold(true);
  CAFormat italic;
  italic.setItalic(true);
  enter("B2", "x");
  document.cellAtGridPointImperative(A1("B2"))->setFormat(bold);
  document.rowImperative(3)->setFormat(bold);
  document.columnImperative(1)->setFormat(bold);

  selectRows(2, 4);
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionFormats, kUndoFont, document.selectionRange(), kDomainRow));
    document.applyFormat(italic, kKeepColumnWidths, 0);
  });
  selectColumns(0, 2);
  expectUndoAndRedo([&] {
    ASSERT_TRUE(
        document.setUndo(kFLNewUndoID, kUndoActionFormats, kUndoFont, document.selectionRange(), kDomainColumn));
    document.applyFormat(italic, kKeepColumnWidths, 0);
  });
  select("A1", "C3");
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionFormats, kUndoFont, document.selectionRange(), kDomainCell));
    document.clearFormatFromSelection();
  });
}

TEST_F(UndoTest, LayoutStepsTurnOffWhatTheArchiveDoesNotName) {
  enter("A1", "1");
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionLayoutColumns, kUndoDocumentFormat, GridRange{}, 0));
    document.setShowFormulas(true);
    document.setTitleRow(true);
    document.setHeader(QStringLiteral("head"));
    document.setTopMargin(12700);
    document.setStripeInterval(2);
    document.setStripeKolor(0xFF0000FF);
    document.setDefaultDigitCount(20);
    document.columnImperative(3)->setDigitCount(4);
  });
  window.manager.undo();
  EXPECT_FALSE(document.showFormulas());
  EXPECT_TRUE(document.header().isEmpty());
  EXPECT_EQ(document.stripeInterval(), 0u);
  EXPECT_EQ(document.column(3), nullptr);
}

TEST_F(UndoTest, LayoutStepsOfTheOptionsAloneAndWithRowHeights) {
  enter("A1", "1");
  document.columnImperative(2)->setDigitCount(9);
  const int64_t margin = document.leftMargin();
  // Action 2: the options only; columns stay as the command left them.
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionLayout, kUndoDocumentFormat, GridRange{}, 0));
    document.setRedFormulas(true);
    document.setFooter(QStringLiteral("foot"));
    document.setLeftMargin(25400);
  });
  window.manager.undo();
  EXPECT_FALSE(document.redFormulas());
  EXPECT_EQ(document.leftMargin(), margin);
  EXPECT_EQ(document.column(2)->digitCount(), 9);
  window.manager.redo();

  // Action 4: the options and the row heights; rows made only for a height go again.
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionLayoutRows, kUndoRowHeight, GridRange{}, 0));
    document.setMinimumHeight(254000);
    for (const auto& [y, height] : {std::pair<int64_t, int64_t>{0, 127000}, {6, 381000}}) {
      document.rowImperative(y)->setMinimumHeight(height);
      document.row(y)->setNeedCalculate(true);
    }
  });
  window.manager.undo();
  EXPECT_EQ(document.row(0)->minimumHeight(), 0);
  EXPECT_EQ(document.row(6), nullptr);
  EXPECT_TRUE(document.redFormulas());
}

TEST_F(UndoTest, TheEditMenuNamesTheStepAndWaitsForModalWindows) {
  bool modal = false;
  const FLUndoManager::Hooks previous = FLUndoManager::setHooks({nullptr, [&] { return modal; }, nullptr});
  QString title;
  EXPECT_FALSE(window.manager.validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo"));
  enter("A1", "1");
  select("A1", "A3");
  document.fillUsingInfo(CAFillInfo{});
  EXPECT_TRUE(window.manager.validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo Fill"));
  modal = true;
  EXPECT_FALSE(window.manager.validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo Fill"));
  modal = false;
  window.manager.undo();
  EXPECT_TRUE(window.manager.validateState(false, &title));
  EXPECT_EQ(title, QStringLiteral("Redo Fill"));
  // Steps under one identifier are one step with the first one's name.
  const uint32_t id = window.manager.newUndoID();
  select("B1", "B1");
  ASSERT_TRUE(document.setCellUndoID(id, kUndoClear, kUndoRangeSelection));
  select("C1", "C1");
  ASSERT_TRUE(document.setCellUndoID(id, kUndoFill, kUndoRangeSelection));
  EXPECT_EQ(window.manager.inUseCount(), 1u);
  EXPECT_TRUE(window.manager.validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo Clear"));
  FLUndoManager::setHooks(previous);
}

TEST_F(UndoTest, RowAndColumnStepsRestoreHeightsAndWidths) {
  enter("A1", "1");
  document.rowImperative(0)->setMinimumHeight(254000);
  document.columnImperative(0)->setDigitCount(8);
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionRows, kUndoRowHeight, GridRange{}, 0));
    document.rowImperative(0)->setMinimumHeight(508000);
    document.row(0)->setNeedCalculate(true);
    document.rowImperative(4)->setMinimumHeight(127000);
    document.row(4)->setNeedCalculate(true);
  });
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionColumns, kUndoColumnWidth, GridRange{}, 0));
    document.column(0)->setDigitCount(3);
    document.columnImperative(2)->setDigitCount(30);
  });
}

TEST_F(UndoTest, DroppedStepsReleaseTheirArchivesAndPoppingRestoresTheDirtyFlag) {
  enter("A1", "1");
  EXPECT_FALSE(document.dirty());
  ASSERT_TRUE(document.setCellUndo(kUndoTyping, kUndoRangeActiveCell));
  EXPECT_TRUE(document.dirty());
  window.manager.popUndo();
  EXPECT_FALSE(document.dirty());
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(document.setCellUndo(kUndoTyping, kUndoRangeActiveCell));
  EXPECT_EQ(window.archiver.archiveCount(), size_t(CAUndoArchiver::kCapacity));
  window.manager.clearUndo();
  EXPECT_EQ(window.archiver.archiveCount(), 0u);
}

TEST_F(UndoTest, RedoingEveryStepGivesTheStateTheCommandsLeft) {
  // Each step as the window runs it: the command, then the recalculation that follows every edit.
  const auto run = [&](const std::function<void()>& command) {
    command();
    document.evaluate();
  };
  const auto undoAllRedoAll = [&](size_t steps) {
    const std::string last = xml();
    for (size_t i = 0; i < steps; ++i) window.manager.undo();
    for (size_t i = 0; i < steps; ++i) window.manager.redo();
    document.evaluate();
    EXPECT_EQ(xml(), last);
  };

  // Checkboxes shifted up into a row whose height was settled before.
  enter("B18", "=A1/B1");
  document.evaluate();
  run([&] { select("F19", "I24"); document.insertCheckboxes(); });
  run([&] { select("G12", "J12"); document.deleteSelection(kEditCellsVertical); });
  undoAllRedoAll(2);

  // Random chains of typing and edit commands over a small area.
  std::mt19937 random(59);
  const auto pick = [&](int n) { return int(random() % unsigned(n)); };
  for (int chain = 0; chain < 40; ++chain) {
    window.manager.clearUndo();
    document.restoreWholeDocFromUndo(QStringLiteral("<spreadsheet/>"));
    document.evaluate();
    const size_t steps = 2 + size_t(pick(5));
    for (size_t step = 0; step < steps; ++step) {
      const GridPoint from{pick(8), pick(25)};
      const GridPoint to{from.x + pick(4), from.y + pick(6)};
      document.setSelectionRange(GridRange{from, to});
      switch (pick(6)) {
        case 0:
          run([&] {
            if (!document.setCellUndo(kUndoTyping, kUndoRangeActiveCell)) return;
            document.cellAtGridPointImperative(from)->setFormula(
                pick(2) ? QString::number(pick(100)) : QStringLiteral("=A1/B%1").arg(pick(20) + 1));
            document.invalidateAfterCellEdit(from.y);
          });
          break;
        case 1: run([&] { document.insertCheckboxes(); }); break;
        case 2: run([&] { document.deleteSelection(pick(2) ? kEditCellsVertical : kEditCellsHorizontal); }); break;
        case 3: run([&] { document.insert(pick(2) ? kEditCellsVertical : kEditCellsHorizontal); }); break;
        case 4: run([&] { document.clear(kClearAll); }); break;
        default: run([&] { document.deleteSelection(pick(2) ? kEditRows : kEditColumns); }); break;
      }
    }
    SCOPED_TRACE(chain);
    undoAllRedoAll(window.manager.inUseCount());
  }
}

}  // namespace

namespace {

// A sheet of every kind of cell, numbers of every form among texts, formulas and formats.
class ClearUndoTest : public EditTest {
 protected:
  void fill() {
    CAFormat bold;
    bold.setBold(true);
    const auto number = [&](const char* at, const CANumber& value) {
      document.cellAtGridPointImperative(A1(at))->setNumberValue(value);
      document.compactCellAt(A1(at));  // kept as an opened package keeps a lone number
    };
    number("A1", CANumber(42));
    number("B1", CANumber(int64_t(9007199254740993)));  // beyond a double's integers
    number("C1", CANumber::withNumerator(-1, 3));
    number("D1", CANumber::withReal(0.1L));
    number("A2", CANumber::withReal(-1e-300L));
    enter("B2", "hello");
    enter("C2", "7").setFormat(bold);  // a number with a format
    enter("D2", "=A1*2");
    enter("A3", "=SUM(A1:D1)");
    enter("B3", "2024-03-01");  // a date
    enter("C3", "https://example.com/");
    CACell& box = *document.cellAtGridPointImperative(A1("D3"));
    box.setValueType(kValueCheckbox);
    box.setChecked(true);
    document.cellAtGridPointImperative(A1("A4"))->setFormat(bold);  // a format alone
    document.cellAtGridPointImperative(A1("B4"))->setNote(QStringLiteral("see"));  // a note alone
    number("C4", CANumber(-5));
    enter("D4", "word");
    enter("E5", "Grüße — ✓ 東京");  // outside every row's block, moved by whole rows
    // Outside the cleared block, reading it.
    enter("F6", "=A1+C4+D2");
    document.evaluate();
  }
};

}  // namespace

// Clearing a block of numbers, texts, formulas and formats and undoing it gives back every cell
// exactly, and the formulas that read the block read it again; the redo clears it again.
TEST_F(ClearUndoTest, UndoingAClearGivesBackExactlyWhatWasCleared) {
  const struct {
    const char* command;
    std::function<void(CADocument&)> clear;
    const char* f6After;  // F6 while the block is cleared
    bool wholeRows = false;  // rows 1-4 selected instead of A1:D4
  } cases[] = {
      {"Delete", [](CADocument& d) { d.clear(kClearContents); }, "0"},
      {"Clear All", [](CADocument& d) { d.clear(kClearAll); }, "0"},
      {"Delete Rows", [](CADocument& d) { d.deleteSelection(kEditCellsVertical); }, "-"},
      // Whole rows: the F6 formula moves out of F6, up with its references deleted or down.
      {"Delete Whole Rows", [](CADocument& d) { d.deleteSelection(kEditRows); }, "-", true},
      {"Insert Whole Rows", [](CADocument& d) { d.insert(kEditRows); }, "-", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    document.restoreWholeDocFromUndo(QStringLiteral("<spreadsheet/>"));
    window.manager.clearUndo();
    fill();
    EXPECT_EQ(value("F6"), "121");
    if (c.wholeRows)
      selectRows(0, 3);
    else
      select("A1", "D4");
    expectUndoAndRedo([&] { c.clear(document); });
    window.manager.undo();
    EXPECT_EQ(value("F6"), "121");
    EXPECT_EQ(*cell("B1")->number(), CANumber(int64_t(9007199254740993)));
    EXPECT_EQ(*cell("C1")->number(), CANumber::withNumerator(-1, 3));
    EXPECT_EQ(*cell("A2")->number(), CANumber::withReal(-1e-300L));
    window.manager.redo();
    EXPECT_EQ(value("F6"), c.f6After);
  }
}

// The undo step of a cleared sheet of numbers keeps them in a few bytes each, not as a text per
// cell: close to what the numbers take in the sheet.
TEST_F(ClearUndoTest, TheUndoStepOfClearedNumbersIsNearTheirOwnSize) {
  constexpr int64_t kRows = 1000;
  constexpr int64_t kColumns = 10;
  for (int64_t y = 0; y < kRows; ++y) {
    for (int64_t x = 0; x < kColumns; ++x) {
      document.cellAtGridPointImperative({x, y})->setNumberValue(
          x % 2 ? CANumber::withReal(0.001L * y + x) : CANumber::withNumerator(y, x + 1));
      document.compactCellAt({x, y});
    }
  }
  document.evaluate();
  select("A1", "J1000");
  const size_t before = window.archiver.archiveBytes();
  document.clear(kClearContents);
  const double perCell = double(window.archiver.archiveBytes() - before) / double(kRows * kColumns);
  EXPECT_LE(perCell, 40.0);
  window.manager.undo();
  EXPECT_EQ(document.extent(), (GridRange{{0, 0}, {kColumns - 1, kRows - 1}}));
  EXPECT_EQ(*cell("J1000")->number(), CANumber::withReal(0.001L * 999 + 9));
}
