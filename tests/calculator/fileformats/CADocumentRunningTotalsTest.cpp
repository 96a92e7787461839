// Running totals over a column of formulas, opened as CSV and as .xls: row k holds =Ck*2,
// =SUM($A$1:Ak) and k mod 7 + 1, every total reading every formula above it through its range;
// in the variant whose totals read themselves, =SUM($B$1:Bk), all of them are one cycle. Every
// computed value against its closed form, the cycle found (where a workbook stored 0 for each
// total, as Excel does for a cycle, the stored values are kept), and what ordering the formulas
// holds growing with the rows, not with their square.
#include "TotalsSheets.h"
#include "ImportAlertRecorder.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CARow.h"
#include "calculator/model/CAReadingGraph.h"
#include "calculator/model/ModelTestSupport.h"
#include "calculator/model/formula/ExactRationalSupport.h"
#include "calculator/model/formula/caExactAccumulator.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caOperands.h"
#include "calculator/model/formula/caRangeMemo.h"
#include "platform/FLError.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class RunningTotalsTest : public ::testing::Test {
 protected:
  // Opens the sheet as the application does: the reading, then the recalculation.
  void open(CADocument& document, int64_t rows, bool workbook, bool cycle) {
    const QString path = folder.filePath(workbook ? QStringLiteral("totals.xls") : QStringLiteral("totals.csv"));
    ASSERT_TRUE(WriteFileBytes(path, workbook ? TotalsWorkbook(rows, cycle) : TotalsCsv(rows, cycle)));
    FLError error;
    ASSERT_EQ(document.openFile(path, &error), workbook ? 3 : 1) << error.reason.toStdString();
    document.setOpening(true);
    document.evaluate();
    document.setOpening(false);
  }

  ModelEnvironment environment;
  ImportAlertRecorder alerts;
  QTemporaryDir folder;
};

TEST_F(RunningTotalsTest, EveryValueIsItsClosedFormAndTheSelfReadingTotalsACycle) {
  for (const int64_t rows : {1, 2, 7, 8, 63, 64, 65, 130, 1000}) {
    for (const bool workbook : {false, true}) {
      for (const bool cycle : {false, true}) {
        const std::string name = std::to_string(rows) + (workbook ? " rows of .xls" : " rows of CSV") +
                                 (cycle ? ", totals reading themselves" : "");
        CADocument document;
        open(document, rows, workbook, cycle);
        for (int64_t k = 1; k <= rows; ++k) {
          const CACell* twice = document.cellAtGridPoint({0, k - 1});
          ASSERT_TRUE(twice) << name << ", row " << k;
          ASSERT_EQ(twice->valueType(), kValueFormula) << name << ", row " << k;
          ASSERT_EQ(twice->number(), CANumber::withInteger(2 * SheetAmount(k))) << name << ", row " << k;
          const CACellEntry* entry = document.row(k - 1)->entryAt(1);
          ASSERT_TRUE(entry) << name << ", row " << k;
          const CACellReading total(*entry, k - 1, &document);
          if (cycle && workbook) {
            // The cycle computes otherwise than the workbook did: its stored values stay, marked.
            ASSERT_EQ(total->valueType(), kValueNumber) << name << ", row " << k;
            ASSERT_EQ(total->number(), CANumber::withInteger(0)) << name << ", row " << k;
            ASSERT_TRUE(total->format() && total->format()->backgroundKolor() == kFormulaImportErrorKolor)
                << name << ", row " << k;
          } else if (cycle) {
            ASSERT_EQ(total->valueType(), kValueError) << name << ", row " << k;
            ASSERT_EQ(total->evalResult(), kFormulaErrorValue) << name << ", row " << k;
          } else {
            ASSERT_EQ(total->valueType(), kValueFormula) << name << ", row " << k;
            ASSERT_EQ(total->number(), CANumber::withInteger(TotalOfRows(k))) << name << ", row " << k;
          }
        }
        if (cycle && workbook) {
          ASSERT_EQ(alerts.shown.size(), 1) << name;
          EXPECT_TRUE(alerts.shown[0].endsWith(rows == 1 ? QStringLiteral(" 1 cell kept the value stored in the file.")
                                                          : QStringLiteral(" %1 cells kept the values stored in the file.").arg(rows)))
              << name << ": " << alerts.shown[0].toStdString();
        } else {
          // Every formula computed what the workbook stored.
          EXPECT_TRUE(alerts.shown.isEmpty()) << name << ": " << alerts.shown.join(QLatin1Char('\n')).toStdString();
        }
        alerts.shown.clear();
      }
    }
  }
}

// Ordering the formulas (for the recalculation, and for checking a workbook's stored values)
// holds a few inputs per formula, where listing every formula each total reads held half the
// square of the rows.
TEST_F(RunningTotalsTest, OrderingTheFormulasHoldsAFewInputsEach) {
  constexpr int64_t kRows = 2000;
  for (const bool workbook : {false, true}) {
    for (const bool cycle : {false, true}) {
      CAReadingGraph::resetMostInputs();
      CADocument document;
      open(document, kRows, workbook, cycle);
      EXPECT_LE(CAReadingGraph::mostInputs(), size_t(4 * kRows)) << (workbook ? ".xls" : "CSV") << (cycle ? ", cycle" : "");
    }
  }
}

// Where a workbook stored 0 for totals that read themselves, each total keeps its stored value
// without being run on its own: it is in a cycle, and running it alone read its whole range to
// find its own error at the end (half the square of the rows in cells read). The doubling
// column runs once; the totals never.
TEST_F(RunningTotalsTest, TotalsReadingThemselvesAreNotRunAgainOneByOne) {
  constexpr int64_t kRows = 2000;
  const uint64_t before = CACell::formulaRuns();
  CADocument document;
  open(document, kRows, true, true);
  EXPECT_LE(CACell::formulaRuns() - before, uint64_t(kRows + kRows / 10));
  ASSERT_EQ(alerts.shown.size(), 1);
  EXPECT_TRUE(alerts.shown[0].endsWith(QStringLiteral(" 2000 cells kept the values stored in the file.")))
      << alerts.shown[0].toStdString();
}

// Where the doubling column's stored values all differ, each total is judged after the formulas
// it reads have kept their stored values, computed once more from them: the blocks are folded
// as a recalculation folds them, not walked again for each total (half the square of the rows).
TEST_F(RunningTotalsTest, TotalsOverReplacedFormulasAreJudgedInWorkLinearInTheRows) {
  for (const int64_t rows : {1000, 2000}) {
    const QString path = folder.filePath(QStringLiteral("altered.xls"));
    ASSERT_TRUE(WriteFileBytes(path, AlteredTotalsWorkbook(rows)));
    const uint64_t walked = BlockEntriesWalked();
    CADocument document;
    FLError error;
    ASSERT_EQ(document.openFile(path, &error), 3) << error.reason.toStdString();
    EXPECT_LE(BlockEntriesWalked() - walked, uint64_t(200 * rows)) << rows << " rows";
    for (int64_t k = 1; k <= rows; ++k) {
      const CACell* twice = document.cellAtGridPoint({0, k - 1});
      ASSERT_TRUE(twice && twice->number()) << rows << " rows, row " << k;
      ASSERT_FALSE(twice->isFormula()) << rows << " rows, row " << k;
      ASSERT_EQ(*twice->number(), CANumber::withInteger(2 * SheetAmount(k) + 1)) << rows << " rows, row " << k;
      const CACell* total = document.cellAtGridPoint({1, k - 1});
      ASSERT_TRUE(total && total->number()) << rows << " rows, row " << k;
      ASSERT_EQ(total->valueType(), kValueFormula) << rows << " rows, row " << k;
      ASSERT_EQ(*total->number(), CANumber::withInteger(TotalOfRows(k) + k)) << rows << " rows, row " << k;
    }
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_TRUE(alerts.shown[0].endsWith(QStringLiteral(" %1 cells kept the values stored in the file.").arg(rows)))
        << alerts.shown[0].toStdString();
    alerts.shown.clear();
  }
}

// Remaining and running balances over reciprocals, whose common denominator grows some twenty
// bits a row, and over a column with an infinite number or a NaN near its end: every balance is
// the sum of its range (exact while the denominator stays within the bound, else of the values
// each rounded; infinite or NaN once the range holds the infinite number or the NaN; the largest
// a NaN only where the range starts with it), the rows read grow with the rows,
// not with their square, when the sheet opens and when a value is typed at its top and at its
// bottom, and the memo keeps within its room.
TEST_F(RunningTotalsTest, BalancesOverGrowingDenominatorsAndInfinitiesReadRowsInProportionToTheRows) {
  struct Case {
    const char* name;
    ComputedShape shape;
    bool running;
    bool infinite;  // 1E5000 three rows from the end, or a NaN value where `nan`
    const char* function;
    bool nan = false;
  };
  const Case cases[] = {
      {"remaining, reciprocals of amounts", ComputedShape::kReciprocal, false, false, "SUM"},
      {"running, reciprocals of amounts", ComputedShape::kReciprocal, true, false, "SUM"},
      {"remaining, reciprocals of primes", ComputedShape::kPrimeReciprocal, false, false, "SUM"},
      {"running, reciprocals of primes", ComputedShape::kPrimeReciprocal, true, false, "SUM"},
      {"remaining, an infinite number", ComputedShape::kPerShare, false, true, "SUM"},
      {"running, an infinite number", ComputedShape::kPerShare, true, true, "SUM"},
      {"running largest of reciprocals of primes", ComputedShape::kPrimeReciprocal, true, false, "MAX"},
      {"remaining, a NaN", ComputedShape::kPerShare, false, true, "SUM", true},
      {"running, a NaN", ComputedShape::kPerShare, true, true, "SUM", true},
      {"remaining largest, a NaN", ComputedShape::kPerShare, false, true, "MAX", true},
      {"remaining smallest, a NaN", ComputedShape::kPerShare, false, true, "MIN", true},
  };
  const auto expectBalances = [](const CADocument& document, int64_t rows, const Case& item, const std::string& name) {
    BoundedSumReference sum(ExactAccumulator::kExactBits);
    bool infinite = false;
    bool nan = false;
    // The extremes of the range's numbers other than a NaN, and whether the range starts with one.
    long double largest = 0;
    long double smallest = 0;
    bool any = false;
    bool startsWithNaN = false;
    for (int64_t i = 0; i < rows; ++i) {
      const int64_t k = item.running ? i + 1 : rows - i;
      const CACell* value = document.cellAtGridPoint({1, k - 1});
      ASSERT_TRUE(value && value->number()) << name << ", row " << k;
      const CANumber number = *value->number();
      if (item.infinite && k == rows - 3) {
        ASSERT_EQ(number.form(), item.nan ? kNumberNaN : kNumberInfinity) << name;
      }
      if (number.form() == kNumberInfinity) infinite = true;
      else if (number.form() == kNumberNaN) nan = true;
      else sum.add(number);
      if (i == 0 || !item.running) startsWithNaN = number.form() == kNumberNaN;
      if (number.form() != kNumberNaN) {
        largest = any ? std::max(largest, number.realValue()) : number.realValue();
        smallest = any ? std::min(smallest, number.realValue()) : number.realValue();
        any = true;
      }
      const CACell* balance = document.cellAtGridPoint({2, k - 1});
      ASSERT_TRUE(balance && balance->number()) << name << ", row " << k;
      const std::string function = item.function;
      if (function != "SUM" && startsWithNaN)
        ASSERT_EQ(balance->number()->form(), kNumberNaN) << name << ", row " << k;
      else if (function == "MAX")
        ASSERT_EQ(balance->number()->realValue(), largest) << name << ", row " << k;
      else if (function == "MIN")
        ASSERT_EQ(balance->number()->realValue(), smallest) << name << ", row " << k;
      else if (nan)
        ASSERT_EQ(balance->number()->form(), kNumberNaN) << name << ", row " << k;
      else if (infinite)
        ASSERT_EQ(balance->number()->form(), kNumberInfinity) << name << ", row " << k;
      else
        ASSERT_TRUE(sum.judge(*balance->number())) << name << ", row " << k;
    }
  };
  for (const Case& item : cases) {
    uint64_t work[2][3] = {};
    const int64_t sizes[2] = {1000, 4000};
    for (int i = 0; i < 2; ++i) {
      const int64_t rows = sizes[i];
      const std::string name = std::string(item.name) + ", " + std::to_string(rows) + " rows";
      const QString path = folder.filePath(QStringLiteral("ledger.csv"));
      ASSERT_TRUE(WriteFileBytes(path, ComputedLedgerCsv(rows, item.shape, item.running, item.infinite ? rows - 3 : 0,
                                                         item.function)));
      CADocument document;
      FLError error;
      ASSERT_EQ(document.openFile(path, &error), 1) << name;
      // A value NaN, as a package can hold: no typed text is one.
      if (item.nan) document.cellAtGridPointImperative({1, rows - 4})->setNumberValue(CANumber::asNan());
      CARangeMemo::mostBytesHeld(true);
      uint64_t start = g_blockRowsRead;
      document.evaluate();
      work[i][0] = g_blockRowsRead - start;
      if (i == 0) expectBalances(document, rows, item, name + ", opened");
      const int64_t typedRows[] = {1, rows - 1};
      for (int edit = 0; edit < 2; ++edit) {
        const int64_t k = typedRows[edit];
        document.cellAtGridPointImperative({0, k - 1})->setFormula(QStringLiteral("7.5"));
        start = g_blockRowsRead;
        document.evaluate();
        work[i][1 + edit] = g_blockRowsRead - start;
        if (i == 0) expectBalances(document, rows, item, name + ", 7.5 typed in row " + std::to_string(k));
      }
      // Each state is charged before it is kept: the memo holds no more than its room, 64 MB here.
      EXPECT_LE(CARangeMemo::mostBytesHeld(), size_t(64) << 20) << name;
    }
    const char* whens[] = {"opening", "typing at the top", "typing at the bottom"};
    for (int when = 0; when < 3; ++when) {
      EXPECT_LE(work[1][when] * 2, work[0][when] * 9)
          << item.name << ", " << whens[when] << ": " << work[0][when] << " rows read, then " << work[1][when];
    }
  }
}

// A memo whose room is small keeps what fits and folds on without keeping more: a state is
// charged before it is made, so the bytes held never pass the room, and every balance is still
// the sum of its range.
TEST_F(RunningTotalsTest, TheMemoChargesItsRoomBeforeItKeepsAState) {
  constexpr int64_t kRows = 6000;
  // The least room, and what each row of the sheet adds to it.
  constexpr size_t kLeastRoom = 16 << 10;
  constexpr size_t kRoom = 256 * kRows;
  for (const bool running : {false, true}) {
    const size_t before = CARangeMemo::setLeastRoom(kLeastRoom);
    const QString path = folder.filePath(QStringLiteral("ledger.csv"));
    ASSERT_TRUE(WriteFileBytes(path, ComputedLedgerCsv(kRows, ComputedShape::kPrimeReciprocal, running)));
    CADocument document;
    FLError error;
    ASSERT_EQ(document.openFile(path, &error), 1);
    CARangeMemo::mostBytesHeld(true);
    document.evaluate();
    CARangeMemo::setLeastRoom(before);
    EXPECT_LE(CARangeMemo::mostBytesHeld(), kRoom) << (running ? "running" : "remaining");
    BoundedSumReference sum(ExactAccumulator::kExactBits);
    for (int64_t i = 0; i < kRows; i += 1) {
      const int64_t k = running ? i + 1 : kRows - i;
      const CACell* value = document.cellAtGridPoint({1, k - 1});
      ASSERT_TRUE(value && value->number()) << k;
      sum.add(*value->number());
      if (i % 97 != 0 && i != kRows - 1) continue;
      const CACell* balance = document.cellAtGridPoint({2, k - 1});
      ASSERT_TRUE(balance && balance->number()) << k;
      ASSERT_TRUE(sum.judge(*balance->number())) << (running ? "running" : "remaining") << ", row " << k;
    }
  }
}

}  // namespace
