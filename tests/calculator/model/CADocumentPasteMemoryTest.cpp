// A paste that runs out of memory, or past the budget of its meter, wherever it is (reading the
// clipboard, recording the undo step, bringing the cells in, rolling back): the paste either
// completes or leaves the sheet exactly as it was with the memory alert, and the program goes on.
#define TAMSEL_DEFINE_ALLOCATION_FAILURES
#include "support/AllocationFailures.h"

#include "UndoTestSupport.h"

#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/Pasteboard.h"

#include <QMimeData>

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
    window.manager.undo();
    window.manager.killRedo();
    EXPECT_EQ(xml(), before);
    select("B2", "B2");
    return after;
  }

  // A paste that did not go through left the sheet and its steps as they were and gave the
  // memory alert once; one that did made the whole paste.
  void expectWholeOrNothing(bool pasted, const std::string& after, qsizetype told) {
    if (pasted) {
      // A recalculation cut short by the failure is made again by the next one.
      document.evaluate();
      EXPECT_EQ(xml(), after);
      EXPECT_EQ(window.manager.inUseCount(), 1u);
      window.manager.undo();
      window.manager.killRedo();
    } else {
      EXPECT_EQ(window.manager.inUseCount(), 0u);
      ASSERT_EQ(window.alerts.size(), told + 1);
      EXPECT_EQ(window.alerts.back(), kMemoryAlert);
    }
    EXPECT_EQ(xml(), before);
    select("B2", "B2");
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
  const std::string after = pastedWhole();
  ASSERT_NE(after, before);
  FailAllocations(0);
  ASSERT_TRUE(document.paste(&clipboard, false));
  const AllocationCounts whole = AllowAllocations();
  window.manager.undo();
  window.manager.killRedo();
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
    if (c.count > 0 && c.count <= n / 2) {
      EXPECT_FALSE(pasted);
      EXPECT_GE(counts.failures, 1);
    }
    expectWholeOrNothing(pasted, after, told);
  }
  EXPECT_GE(failed, 9);
  // The program goes on: the same paste goes through.
  EXPECT_EQ(pastedWhole(), after);
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
