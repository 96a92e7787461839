// A paste that runs out of memory, or past the budget of its meter, wherever it is (reading the
// clipboard, recording the undo step, bringing the cells in, rolling back): the paste either
// completes or leaves the sheet exactly as it was with the memory alert, and the program goes on.
#define TAMSEL_DEFINE_ALLOCATION_FAILURES
#include "support/AllocationFailures.h"

#include "UndoTestSupport.h"

#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caDocumentServices.h"
#include "calculator/model/caModelNotifications.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"

#include <QMimeData>

#include <new>

namespace {

const QString kMemoryAlert =
    QLatin1String(kCommandMemoryMessage) + QLatin1Char('|') + QLatin1String(kCommandMemoryInformation);

class PasteMemoryTest : public EditTest {
 protected:
  PasteMemoryTest() : previousLog_(SetLogHandler([](const QString&) {})) {
    // The sheet: cells where the paste lands (which it replaces), around it, and formulas that
    // name them.
    for (int64_t y = 0; y < 12; ++y)
      for (int64_t x = 0; x < 8; ++x)
        document.cellAtGridPointImperative({x, y})->setFormula(
            (x + y) % 3 == 0 ? QStringLiteral("old %1").arg(x * 100 + y) : QString::number(x * 1000 + y));
    enter("J1", "=SUM(B2:C5)");
    // Rows and columns of their own, which a paste of whole rows or columns gives other formats
    // and widths: a format, a height, a row that holds nothing else.
    CAFormat italic;
    italic.setItalic(true);
    document.rowImperative(3)->setFormat(italic);
    document.rowImperative(4)->setMinimumHeight(609600);
    document.rowImperative(20)->setFormat(italic);
    document.columnImperative(2)->setFormat(italic);
    document.columnImperative(3)->setWidth(1828800);
    document.columnImperative(4)->setDigitCount(9);
    document.evaluate();
    // The clipboard: a block of 20 x 30 cells copied from another sheet, numbers, texts and
    // formulas.
    CADocument source;
    for (int64_t y = 0; y < 30; ++y)
      for (int64_t x = 0; x < 20; ++x) {
        const int64_t k = x * 100 + y;
        source.cellAtGridPointImperative({x, y})->setFormula(k % 7 == 0 && k > 0 ? QStringLiteral("=A1+%1").arg(k)
                                                             : k % 3 == 0 ? QStringLiteral("text %1").arg(k)
                                                                          : QString::number(k));
      }
    source.setSelectionRange(Range("A1", "T30"));
    PasteboardSetData(clipboard, QLatin1String(kPasteboardCellsType), DocumentXml(source).toUtf8());
    select("B2", "B2");
    before = xml();
  }
  ~PasteMemoryTest() override {
    FLReadingMeter::SetHeapCountForTests(nullptr);
    SetFileFormatServices(CAFileFormatServices());
    SetLogHandler(previousLog_);
  }

  // The sheet a paste that goes through makes; undone again.
  std::string pastedWhole() {
    EXPECT_TRUE(document.paste(&clipboard, false));
    document.evaluate();
    const std::string after = xml();
    undoPaste();
    EXPECT_EQ(xml(), before);
    select("B2", "B2");
    return after;
  }

  // A paste's step holds its cells and the lines whose formats it gave: undone, it leaves the
  // sheet as it was.
  void undoPaste() {
    window.manager.undo();
    window.manager.killRedo();
  }

  // Rows 3 to 6 or columns B to D of another sheet, copied whole, with formats, heights, widths
  // and digits of their own, and lines outside the copy that give their formats all the same.
  void copyLines(bool rows) {
    CADocument source;
    CAFormat bold;
    bold.setBold(true);
    CAFormat strike;
    strike.setStrike(true);
    for (int64_t k = 0; k < 300; ++k) {
      const GridPoint point = rows ? GridPoint{k % 75, 2 + k / 75} : GridPoint{1 + k / 100, k % 100};
      source.cellAtGridPointImperative(point)->setFormula(k % 3 == 1 ? QString::number(k) : QStringLiteral("line %1").arg(k));
    }
    if (rows) {
      source.rowImperative(2)->setFormat(bold);
      source.rowImperative(3);  // no format: the row it lands on loses its own
      source.rowImperative(4)->setFormat(strike);
      source.rowImperative(9)->setFormat(bold);
      source.setSelectionRange(GridRange{{kGridWildcard, 2}, {kGridWildcard, 5}});
    } else {
      source.columnImperative(1)->setFormat(bold);
      source.columnImperative(1)->setWidth(914400);
      source.columnImperative(2)->setDigitCount(12);
      source.columnImperative(3)->setFormat(strike);
      source.columnImperative(7)->setWidth(457200);
      source.setSelectionRange(GridRange{{1, kGridWildcard}, {3, kGridWildcard}});
    }
    clipboard.clear();
    PasteboardSetData(clipboard, QLatin1String(kPasteboardCellsType), DocumentXml(source).toUtf8());
  }

  // A paste that did not go through left the sheet and its steps as they were and gave the
  // memory alert once; one that did made the whole paste.
  void expectWholeOrNothing(bool pasted, const std::string& after, qsizetype told) {
    if (pasted) {
      // A recalculation cut short by the failure is made again by the next one.
      document.evaluate();
      EXPECT_EQ(xml(), after);
      EXPECT_EQ(window.manager.inUseCount(), 1u);
      undoPaste();
    } else {
      EXPECT_EQ(window.manager.inUseCount(), 0u);
      ASSERT_EQ(window.alerts.size(), told + 1);
      EXPECT_EQ(window.alerts.back(), kMemoryAlert);
    }
    EXPECT_EQ(xml(), before);
    select("B2", "B2");
  }

  // The value a cell shows in the sheet as saved and opened again: every formula read from the
  // text is computed afresh, whatever marks the live sheet keeps.
  QString reopenedValue(const char* at) {
    std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withData(DocumentXml(document).toUtf8());
    if (!decoder) return QStringLiteral("unreadable");
    CADocument reopened;
    reopened.loadFromXml(*decoder);
    reopened.evaluate();
    const CACell* cell = reopened.cellAtGridPoint(A1(at));
    return cell && cell->number() ? cell->number()->description() : QStringLiteral("-");
  }

  // The sum's readers: a name, a block over the sum, and a reader of that.
  void readTheSum() {
    enter("J2", "=J1*2");
    enter("J3", "=SUM(J1:J2)+B3");
    enter("K1", "=J3-J1");
    document.evaluate();
    before = xml();
  }

  // Every reader of the pasted cells shows what they give now, as the sheet opened again does.
  void expectFreshReaders() {
    for (const char* at : {"J1", "J2", "J3", "K1"}) {
      SCOPED_TRACE(at);
      EXPECT_EQ(value(at), reopenedValue(at));
    }
  }

  QMimeData clipboard;
  std::string before;

 private:
  FLLogHandler previousLog_;
};

// The count-th allocation of the paste fails, or every one past a ceiling of what the paste
// holds: early (reading the clipboard's cells), in the middle (the undo step, the cells coming
// in) and late. A failure past the ceiling tells whether the rollback took memory the paste had
// used up: it has what the paste gives back, and what was put aside for it before the change.
TEST_F(PasteMemoryTest, APasteThatRunsOutOfMemoryAnywhereLeavesTheSheetAsItWas) {
  // A block of cells, and rows or columns copied whole, whose formats and widths the rollback
  // gives back too.
  for (const int shape : {0, 1, 2}) {
    SCOPED_TRACE(shape == 0 ? "a block" : shape == 1 ? "whole rows" : "whole columns");
    if (shape > 0) copyLines(shape == 1);
    const std::string after = pastedWhole();
    ASSERT_NE(after, before);
    FailAllocations(0);
    ASSERT_TRUE(document.paste(&clipboard, false));
    const AllocationCounts whole = AllowAllocations();
    undoPaste();
    ASSERT_EQ(xml(), before);
    select("B2", "B2");
    ASSERT_GT(whole.allocations, 1000);

    const int64_t n = whole.allocations;
    const struct {
      const char* name;
      int64_t count;    // the allocation that fails (0: none)
      int64_t ceiling;  // bytes (-1: none)
    } cases[] = {
        {"the first", 1, -1},
        {"the second", 2, -1},
        {"the tenth", 10, -1},
        {"a twentieth of the way", n / 20, -1},
        {"a tenth of the way", n / 10, -1},
        {"a quarter of the way", n / 4, -1},
        {"half way", n / 2, -1},
        {"three quarters of the way", 3 * n / 4, -1},
        {"near the end", n - n / 50, -1},
        {"no room at all", 0, 0},
        {"4 KB", 0, 4096},
        {"64 KB", 0, 65536},
        {"256 KB", 0, 262144},
        {"1 MB", 0, 1 << 20},
    };
    int failed = 0;
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      const qsizetype told = window.alerts.size();
      FailAllocations(c.count, c.ceiling);
      const bool pasted = document.paste(&clipboard, false);
      const AllocationCounts counts = AllowAllocations();
      failed += !pasted;
      // Up to half way an allocation fails; early on it always stops the paste (later, one may
      // fall where a failure costs only precision, as the recalculation's memo of changed cells).
      if (c.count > 0 && c.count <= n / 2) {
        EXPECT_GE(counts.failures, 1);
      }
      if (c.count > 0 && c.count <= 10) {
        EXPECT_FALSE(pasted);
      }
      expectWholeOrNothing(pasted, after, told);
    }
    EXPECT_GE(failed, 9);
    // The program goes on: the same paste goes through.
    EXPECT_EQ(pastedWhole(), after);
  }
}

// The meter of the paste covers the whole command: its budget passed while the cells come in or
// while the undo step records the cells they replace stops the paste as running out of memory
// does. The fake heap grows past the budget at one of its reads or another.
int g_readsBeforeGrowth = 0;
int64_t HeapGrowingAfterSomeReads() {
  if (g_readsBeforeGrowth-- > 0) return 0;
  return int64_t(1) << 40;
}

TEST_F(PasteMemoryTest, ThePastesMeterCoversItsCellsAndItsUndoStep) {
  // Pieces enough for the meter to read the heap several times: a destination of many cells
  // (the undo step records them) and a source of many (the transfer brings them).
  CADocument source;
  for (int64_t y = 0; y < 200; ++y)
    for (int64_t x = 0; x < 60; ++x) source.cellAtGridPointImperative({x, y})->setFormula(QString::number(x + y));
  source.setSelectionRange(GridRange{{0, 0}, {59, 199}});
  PasteboardSetData(clipboard, QLatin1String(kPasteboardCellsType), DocumentXml(source).toUtf8());
  for (int64_t y = 0; y < 200; ++y)
    for (int64_t x = 0; x < 60; ++x) document.cellAtGridPointImperative({x + 1, y + 1})->setFormula(QStringLiteral("kept"));
  document.evaluate();
  select("B2", "B2");
  before = xml();

  CAFileFormatServices services;
  services.readingBudget = [] { return int64_t(1) << 30; };
  SetFileFormatServices(services);
  FLReadingMeter::SetHeapCountForTests(HeapGrowingAfterSomeReads);
  g_readsBeforeGrowth = 1 << 20;
  const std::string after = pastedWhole();
  const int reads = (1 << 20) - g_readsBeforeGrowth;
  // The meter's first read, the undo step's and the transfer's cells: 2 x 12,000 pieces.
  ASSERT_GE(reads, 1 + 2 * 12000 / int(FLReadingMeter::kPiecesBetweenReads));

  for (int k = 1; k < reads; ++k) {
    SCOPED_TRACE(k);
    g_readsBeforeGrowth = k;
    const qsizetype told = window.alerts.size();
    EXPECT_FALSE(document.paste(&clipboard, false));
    expectWholeOrNothing(false, after, told);
  }
  g_readsBeforeGrowth = reads;
  EXPECT_TRUE(document.paste(&clipboard, false));
  EXPECT_EQ(xml(), after);
}

}  // namespace

namespace {

// The heap as the meter reads it: what the paste has allocated since the failures were armed
// (none fail).
int64_t HeldSinceArmed() { return allocation_failures::g_held; }

// The clipboard's cell archive of `rows` rows, in order or last first (another program's, or one
// written by hand): each row's cells texts, or one formula naming far cells one by one, whose
// references cost the sheet's table more than their text costs the archive.
QByteArray ArchiveOfRows(int64_t rows, bool reversed, bool formulas) {
  QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<spreadsheet ver=\"1\"><sel>0,0:19," +
                   QByteArray::number(rows - 1) + "</sel><rows>";
  for (int64_t k = 0; k < rows; ++k) {
    const int64_t y = reversed ? rows - 1 - k : k;
    xml += "<row y=\"" + QByteArray::number(y) + "\"><cells>";
    if (formulas) {
      xml += "<cell x=\"0\" y=\"" + QByteArray::number(y) + "\" type=\"f\"><f>=B" + QByteArray::number(y * 997 + 1);
      for (int64_t r = 1; r < 40; ++r) xml += "+B" + QByteArray::number((y * 40 + r) * 997 + 1);
      xml += "</f></cell>";
    } else {
      for (int64_t x = 0; x < 20; ++x)
        xml += "<cell x=\"" + QByteArray::number(x) + "\" y=\"" + QByteArray::number(y) + "\"><v>text " +
               QByteArray::number(x * rows + y) + "</v></cell>";
    }
    xml += "</cells></row>";
  }
  return xml + "</rows></spreadsheet>";
}

// A cell archive on the clipboard many times the paste's budget: its bytes are read as the UTF-8
// they are (never held again as a text of their own) and its cells are built on the paste's meter,
// which ends the reading where the budget is passed, the references of rows read out of order
// (made once they are all read) included. The paste is refused with the memory alert, the sheet
// is as it was, and the paste never held more than its budget and a little, however large the
// archive and whatever its order.
TEST_F(PasteMemoryTest, ACellArchiveIsReadWithinThePastesBudget) {
  constexpr int64_t kBudget = int64_t(2) << 20;
  CAFileFormatServices services;
  services.readingBudget = [] { return kBudget; };
  SetFileFormatServices(services);
  FLReadingMeter::SetHeapCountForTests(HeldSinceArmed);
  struct Case {
    int64_t rows;
    bool reversed;
    bool formulas;
  };
  const Case cases[] = {{2000, false, false}, {4000, false, false}, {4000, true, false},
                        {4000, false, true},  {4000, true, true},   {8000, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows << " rows, reversed " << c.reversed << ", formulas " << c.formulas);
    QMimeData data;
    const QByteArray archive = ArchiveOfRows(c.rows, c.reversed, c.formulas);
    ASSERT_GT(archive.size(), kBudget / 2);
    PasteboardSetData(data, QLatin1String(kPasteboardCellsType), archive);
    const qsizetype told = window.alerts.size();
    FailAllocations(0);
    const bool pasted = document.paste(&data, false);
    const AllocationCounts counts = AllowAllocations();
    EXPECT_FALSE(pasted);
    EXPECT_EQ(xml(), before);
    ASSERT_EQ(window.alerts.size(), told + 1);
    EXPECT_EQ(window.alerts.back(), kMemoryAlert);
    EXPECT_LT(counts.peak, kBudget + kBudget / 2);
  }
}

}  // namespace

namespace {

// A recalculation that runs out of memory wherever it is (walking the rows, ordering the cells
// that read blocks, evaluating them) leaves every cell it did not finish marked: the next one
// computes them, and no reader keeps the value it had before the edit, through an unrelated edit
// and a save. Each allocation of the recalculation fails in turn.
TEST_F(PasteMemoryTest, ARecalculationThatRunsOutOfMemoryLeavesItsReadersToTheNext) {
  readTheSum();
  const struct {
    const char* name;
    const char* at;
    const char* text;
  } edits[] = {
      {"a number in the summed block", "B3", "70000"},
      {"a formula in the summed block", "C4", "=B2*3"},
      {"a text over a number", "C2", "text now"},
  };
  for (const auto& edit : edits) {
    SCOPED_TRACE(edit.name);
    // How many allocations the recalculation after the edit makes.
    const QString old = text(edit.at);
    enter(edit.at, edit.text);
    FailAllocations(0);
    document.evaluate();
    const int64_t n = AllowAllocations().allocations;
    const QString fresh = value("J1");
    ASSERT_EQ(fresh, reopenedValue("J1"));
    ASSERT_GT(n, 0);
    int failed = 0;
    for (int64_t k = 1; k <= n; ++k) {
      SCOPED_TRACE(k);
      enter(edit.at, old.toUtf8().constData());
      document.evaluate();
      enter(edit.at, edit.text);
      FailAllocations(k);
      bool threw = false;
      try {
        document.evaluate();
      } catch (const std::bad_alloc&) {
        threw = true;
      }
      AllowAllocations();
      failed += threw;
      EXPECT_EQ(document.recalcUnfinished(), threw);
      if (threw) {
        // The sheet saved and opened again shows the fresh values.
        EXPECT_EQ(reopenedValue("J1"), fresh);
        // The next recalculation, or the one after an unrelated edit, computes what was left.
        if (k % 2 == 0) enter("H30", "unrelated");
        document.evaluate();
        EXPECT_FALSE(document.recalcUnfinished());
      }
      EXPECT_EQ(value("J1"), fresh);
      expectFreshReaders();
      if (CACell* unrelated = cell("H30")) unrelated->setFormula(QString());
    }
    EXPECT_GE(failed, 1);
    enter(edit.at, old.toUtf8().constData());
    document.evaluate();
  }
}

// A paste whose recalculation runs out of memory is rolled back with the rest of it: the sum of
// the block it pasted over never shows the replaced cells' sum as the pasted ones'. Any
// allocation of the paste fails, those of its recalculation among them (the last ones).
TEST_F(PasteMemoryTest, APasteWhoseRecalculationFailsLeavesNoStaleSum) {
  readTheSum();
  const QString sumBefore = value("J1");
  ASSERT_TRUE(document.paste(&clipboard, false));
  const std::string after = xml();
  const QString sumAfter = value("J1");
  ASSERT_NE(sumAfter, sumBefore);
  undoPaste();
  ASSERT_EQ(xml(), before);
  select("B2", "B2");
  FailAllocations(0);
  ASSERT_TRUE(document.paste(&clipboard, false));
  const int64_t n = AllowAllocations().allocations;
  undoPaste();
  select("B2", "B2");
  // The paste's last allocations are its recalculation's: each of them, and a sample before.
  std::vector<int64_t> counts;
  for (int64_t k = 1; k < n; k += std::max<int64_t>(1, n / 40)) counts.push_back(k);
  for (int64_t k = std::max<int64_t>(1, n - 400); k <= n; ++k) counts.push_back(k);
  for (const int64_t k : counts) {
    SCOPED_TRACE(k);
    const qsizetype told = window.alerts.size();
    FailAllocations(k);
    const bool pasted = document.paste(&clipboard, false);
    AllowAllocations();
    // No second recalculation: what the paste left is what the window shows.
    EXPECT_EQ(value("J1"), pasted ? sumAfter : sumBefore);
    expectFreshReaders();
    expectWholeOrNothing(pasted, after, told);
  }
}

// A document closes as it is let go, telling its observers, without taking memory: a paste lets
// its read document go while a failed allocation unwinds. Documents of every kind go with no
// room at all; one kept whole at quit without the room for it is freed instead.
TEST_F(PasteMemoryTest, ADocumentGoesWithoutTakingMemory) {
  int told = 0;
  const void* closed = nullptr;
  NotificationObserver anyDocument = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kDocClosingNotification), nullptr, [&](const Notification& note) {
        ++told;
        closed = note.object;
      });
  const struct {
    const char* name;
    int cells;
    bool formulas;
    bool keptUntilExit;
  } cases[] = {
      {"empty", 0, false, false},
      {"numbers and texts", 400, false, false},
      {"formulas reading blocks", 400, true, false},
      {"kept whole at quit", 400, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto made = std::make_unique<CADocument>();
    for (int k = 0; k < c.cells; ++k)
      made->cellAtGridPointImperative({k % 20, k / 20})->setFormula(
          c.formulas && k % 3 == 0 ? QStringLiteral("=SUM(A1:B%1)").arg(k / 20 + 1)
                                   : k % 2 ? QString::number(k) : QStringLiteral("text %1").arg(k));
    made->evaluate();
    if (c.keptUntilExit) made->keepCellsUntilExit();
    const void* address = made.get();
    const int toldBefore = told;
    FailAllocations(0, 0);
    made.reset();
    const AllocationCounts counts = AllowAllocations();
    EXPECT_EQ(told, toldBefore + 1);
    EXPECT_EQ(closed, address);
    // Only keeping the cells until exit asks for a record; refused, the cells are freed.
    if (!c.keptUntilExit) EXPECT_EQ(counts.failures, 0);
  }
}

// Whatever stops a paste of text or of cells (the budget, memory), the sheet keeps its rows, its
// columns and its selection: no row the paste made stays behind empty.
TEST_F(PasteMemoryTest, ARefusedPasteLeavesTheRowsAndTheSelection) {
  QStringList lines;
  for (int k = 0; k < 3000; ++k) lines << QStringLiteral("%1\ttext %1\t=A1+%1").arg(k);
  QMimeData text;
  text.setText(lines.join(QLatin1Char('\n')));
  CAFileFormatServices services;
  services.loadDelimitedText = [](CADocument& target, const QString& pasted) {
    int64_t y = 0;
    for (const QString& line : pasted.split(QLatin1Char('\n'))) {
      int64_t x = 0;
      for (const QString& field : line.split(QLatin1Char('\t')))
        target.cellAtGridPointImperative({x++, y})->setFormula(field);
      ++y;
    }
  };
  SetFileFormatServices(services);
  const struct {
    const char* name;
    const QMimeData* data;
  } sources[] = {{"a text of 3000 lines", &text}, {"a block of cells", &clipboard}};
  for (const auto& source : sources) {
    SCOPED_TRACE(source.name);
    // Pasted over the middle of the sheet, from a selection of its own.
    select("C3", "E9");
    document.setActiveCellPoint(A1("D5"));
    before = xml();
    const GridRange selection = document.selectionRange();
    const GridPoint active = document.activeCellPoint();
    const size_t rows = document.rows().size();
    FailAllocations(0);
    ASSERT_TRUE(document.paste(source.data, false));
    const int64_t n = AllowAllocations().allocations;
    const std::string after = xml();
    undoPaste();
    ASSERT_EQ(xml(), before);
    const struct {
      const char* name;
      int64_t count;
      int64_t ceiling;
    } cases[] = {
        {"a tenth of the way", n / 10, -1}, {"half way", n / 2, -1},       {"near the end", n - n / 100, -1},
        {"the last", n, -1},                {"1 MB held", 0, 1 << 20},     {"4 MB held", 0, 4 << 20},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      document.setSelectionRange(selection);
      document.setActiveCellPoint(active);
      const qsizetype told = window.alerts.size();
      FailAllocations(c.count, c.ceiling);
      const bool pasted = document.paste(source.data, false);
      AllowAllocations();
      if (pasted) {
        EXPECT_EQ(xml(), after);
        undoPaste();
        continue;
      }
      EXPECT_EQ(window.alerts.size(), told + 1);
      EXPECT_EQ(document.rows().size(), rows);
      EXPECT_EQ(document.selectionRange().startPoint, selection.startPoint);
      EXPECT_EQ(document.selectionRange().endPoint, selection.endPoint);
      EXPECT_EQ(document.activeCellPoint(), active);
      EXPECT_EQ(xml(), before);
    }
  }
}

}  // namespace
