// Formulas that come before the cells they read, opened as CSV and as .xls: a remaining balance
// (row k: =SUM(B$k:B$N) and the amount k mod 7 + 1, each amount read by every balance above
// it), the same over a column of formulas (=SUM(B$k:B$N), =Ck*2 and the amount), and a total at
// the top (=SUM(B2:BN) over a column of amounts). Every value against its closed form, each
// formula computed once by the open, an edit recomputing exactly the formulas that read the
// edited cell, and the readers looked up while the file is read growing with the rows, not with
// their square.
#include "TotalsSheets.h"
#include "ImportAlertRecorder.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAReferenceTable.h"
#include "calculator/model/ModelTestSupport.h"
#include "calculator/model/formula/caOperands.h"
#include "calculator/model/formula/ExactRationalSupport.h"
#include "calculator/model/formula/caExactAccumulator.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caRangeMemo.h"
#include "platform/FLError.h"
#include "support/TestFiles.h"

#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iterator>
#include <vector>

namespace {

using Shape = AheadShape;

const char* NameOf(Shape shape) {
  switch (shape) {
    case Shape::kBalance: return "remaining balance";
    case Shape::kBalanceOverFormulas: return "remaining balance over formulas";
    case Shape::kTopTotal: return "total at the top";
    case Shape::kBalanceInCents: return "remaining balance in cents";
  }
  return "";
}

// What the formula of row k (column A) computes over N rows, the amount of row m being
// `edited` where m > 0.
int64_t Expected(Shape shape, int64_t rows, int64_t k, int64_t m = 0, int64_t edited = 0) {
  const int64_t change = m > 0 ? edited - SheetAmount(m) : 0;
  const int64_t factor = shape == Shape::kBalanceOverFormulas ? 2 : 1;
  const bool reads = shape == Shape::kTopTotal ? m >= 2 : m >= k;
  return AheadValue(shape, rows, k) + (reads ? factor * change : 0);
}

// The column the amounts are in.
int64_t AmountColumn(Shape shape) { return shape == Shape::kBalanceOverFormulas ? 2 : 1; }

// The formulas of the sheet.
int64_t FormulaCount(Shape shape, int64_t rows) {
  switch (shape) {
    case Shape::kBalance:
    case Shape::kBalanceInCents: return rows;
    case Shape::kBalanceOverFormulas: return 2 * rows;
    case Shape::kTopTotal: return 1;
  }
  return 0;
}

// The formulas that read the amount of row m, directly or through another formula.
int64_t ReadersOf(Shape shape, int64_t m) {
  switch (shape) {
    case Shape::kBalance:
    case Shape::kBalanceInCents: return m;
    case Shape::kBalanceOverFormulas: return m + 1;
    case Shape::kTopTotal: return m >= 2 ? 1 : 0;
  }
  return 0;
}

class FormulasAheadTest : public ::testing::Test {
 protected:
  // Opens the sheet as the application does: the reading, then the recalculation.
  void open(CADocument& document, Shape shape, int64_t rows, bool workbook) {
    const QString path = folder.filePath(workbook ? QStringLiteral("ahead.xls") : QStringLiteral("ahead.csv"));
    ASSERT_TRUE(WriteFileBytes(path, workbook ? AheadWorkbook(rows, shape) : AheadCsv(rows, shape)));
    FLError error;
    ASSERT_EQ(document.openFile(path, &error), workbook ? 3 : 1) << error.reason.toStdString();
    document.setOpening(true);
    document.evaluate();
    document.setOpening(false);
  }

  // Every formula of column A against its closed form.
  static void expectValues(const CADocument& document, Shape shape, int64_t rows, const std::string& name,
                           int64_t m = 0, int64_t edited = 0) {
    const int64_t formulas = shape == Shape::kTopTotal ? 1 : rows;
    for (int64_t k = 1; k <= formulas; ++k) {
      const CACell* cell = document.cellAtGridPoint({0, k - 1});
      ASSERT_TRUE(cell) << name << ", row " << k;
      ASSERT_EQ(cell->valueType(), kValueFormula) << name << ", row " << k;
      ASSERT_EQ(cell->number(), CANumber::withInteger(Expected(shape, rows, k, m, edited))) << name << ", row " << k;
    }
  }

  ModelEnvironment environment;
  ImportAlertRecorder alerts;
  QTemporaryDir folder;
};

constexpr Shape kShapes[] = {Shape::kBalance, Shape::kBalanceOverFormulas, Shape::kTopTotal};

// Each value is its closed form after the open, each formula computed once; typing a new
// amount into a row recomputes the formulas that read it, once each, and they show it.
TEST_F(FormulasAheadTest, ValuesAfterTheOpenAndAfterAnEdit) {
  for (const Shape shape : kShapes) {
    for (const int64_t rows : {2, 7, 8, 64, 65, 130, 300}) {
      for (const bool workbook : {false, true}) {
        const std::string name =
            std::string(NameOf(shape)) + ", " + std::to_string(rows) + (workbook ? " rows of .xls" : " rows of CSV");
        CADocument document;
        const uint64_t beforeOpen = CACell::formulaRuns();
        open(document, shape, rows, workbook);
        expectValues(document, shape, rows, name);
        // A workbook's check of its stored values computes none of these formulas again.
        EXPECT_EQ(CACell::formulaRuns() - beforeOpen, uint64_t(FormulaCount(shape, rows))) << name;
        EXPECT_TRUE(alerts.shown.isEmpty()) << name << ": " << alerts.shown.join(QLatin1Char('\n')).toStdString();
        alerts.shown.clear();

        for (const int64_t m : {int64_t(2), rows / 2 + 1, rows}) {
          const int64_t edited = 10 + m;
          const uint64_t beforeEdit = CACell::formulaRuns();
          document.cellAtGridPointImperative({AmountColumn(shape), m - 1})->setFormula(QString::number(edited));
          document.evaluate();
          expectValues(document, shape, rows, name + ", row " + std::to_string(m) + " edited", m, edited);
          EXPECT_EQ(CACell::formulaRuns() - beforeEdit, uint64_t(ReadersOf(shape, m)))
              << name << ", row " << m << " edited";
          // Back as it was for the next edit.
          document.cellAtGridPointImperative({AmountColumn(shape), m - 1})->setFormula(QString::number(SheetAmount(m)));
          document.evaluate();
        }
      }
    }
  }
}

// Reading the file looks up the readers of no cell one by one: each later amount of a remaining
// balance is read by every balance above it, which made half the square of the rows in all.
TEST_F(FormulasAheadTest, ReadingLooksUpReadersInTimeLinearInTheRows) {
  constexpr int64_t kRows = 2000;
  for (const Shape shape : kShapes) {
    for (const bool workbook : {false, true}) {
      const uint64_t before = CAReferenceTable::referrersFound();
      CADocument document;
      open(document, shape, kRows, workbook);
      EXPECT_LE(CAReferenceTable::referrersFound() - before, uint64_t(4 * kRows))
          << NameOf(shape) << (workbook ? ", .xls" : ", CSV");
      alerts.shown.clear();
    }
  }
}

// A text pasted from elsewhere is read into a sheet of its own the same way.
TEST_F(FormulasAheadTest, PastedTextLooksUpReadersInTimeLinearInTheRows) {
  constexpr int64_t kRows = 2000;
  InstallFileFormatServices();
  CADocument document;
  const uint64_t before = CAReferenceTable::referrersFound();
  document.setSelectionRange(GridRange{{0, 0}, {0, 0}});
  QMimeData clipboard;
  clipboard.setText(QString::fromLatin1(AheadCsv(kRows, Shape::kBalance)));
  ASSERT_TRUE(document.paste(&clipboard, true, 0));
  EXPECT_LE(CAReferenceTable::referrersFound() - before, uint64_t(4 * kRows));
  document.evaluate();
  expectValues(document, Shape::kBalance, kRows, "pasted remaining balance");
}

// Balances over amounts of every kind: what one recalculation gives each formula is what the
// formula gives when it is computed again on its own, walking its range, whatever the column
// holds (blocks of whole numbers and fractions are folded from their end once within a
// recalculation).
TEST_F(FormulasAheadTest, EveryBalanceIsWhatItsOwnWalkGives) {
  constexpr int64_t kRows = 200;
  struct Case {
    const char* name;
    // The amount of row k, as CSV text.
    std::function<QByteArray(int64_t)> amount;
  };
  const auto whole = [](int64_t k) { return QByteArray::number(k % 7 + 1); };
  const auto with = [whole](int64_t row, QByteArray text) {
    return [whole, row, text](int64_t k) { return k == row ? text : whole(k); };
  };
  const Case cases[] = {
      {"whole numbers", whole},
      {"negative whole numbers", [](int64_t k) { return QByteArray::number(3 - k % 7); }},
      {"a fraction among them", with(150, "=1/3")},
      {"a real among them", with(150, "1.5E300")},
      {"a large whole number among them", with(150, "1152921504606846976")},
      {"whole numbers whose sum leaves 64 bits", [](int64_t k) { return QByteArray(k % 2 ? "4000000000000000" : "-4000000000000001"); }},
      {"a text among them", with(150, "abc")},
      {"an error among them", with(150, "=1/0")},
      {"empty rows among them", [whole](int64_t k) { return k >= 90 && k <= 130 ? QByteArray() : whole(k); }},
      {"a formula's value among them", with(120, "=2*3")},
      {"amounts with cents",
       [](int64_t k) { return QByteArray::number(k % 7 + 1) + '.' + QByteArray::number(k % 100).rightJustified(2, '0'); }},
      {"negative fractions", [](int64_t k) { return "=-" + QByteArray::number(k % 7 + 1) + "/" + QByteArray::number(k % 9 + 2); }},
      {"square roots", [](int64_t k) { return "=SQRT(" + QByteArray::number(k) + ")"; }},
      {"quarters around large values that cancel", [](int64_t k) {
         if (k == 100 || k == 101) return QByteArray("4611686018427387903");
         if (k == 140 || k == 141) return QByteArray("-4611686018427387903");
         return QByteArray("0.25");
       }},
      {"fractions whose common denominator passes 62 bits", [](int64_t k) {
         constexpr int kPrimes[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 59, 61};
         return "=1/" + QByteArray::number(kPrimes[k % std::size(kPrimes)]);
       }},
      {"fractions of many denominators", [](int64_t k) {
         return "=" + QByteArray::number(k % 2 ? k : -k) + "/" + QByteArray::number(k * 7919 % 100003 + 2);
       }},
      {"the odd primes and their negatives", [](int64_t k) {
         constexpr int kPrimes[] = {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53};
         return (k % 30 < 15 ? "=1/" : "=-1/") + QByteArray::number(kPrimes[k % 15]);
       }},
  };
  const char* functions[] = {"SUM", "AVERAGE", "MAX", "MIN", "COUNT"};
  constexpr int64_t kAmountColumn = 5;
  for (const Case& item : cases) {
    QByteArray csv;
    const QByteArray last = QByteArray::number(kRows);
    for (int64_t k = 1; k <= kRows; ++k) {
      const QByteArray n = QByteArray::number(k);
      // Each function reads a column of its own, so that no two ranges start at one block and
      // every function is answered from the folds from the end.
      for (size_t x = 0; x < std::size(functions); ++x) {
        const QByteArray column(1, char('F' + x));
        csv += QByteArray("=") + functions[x] + "(" + column + "$" + n + ":" + column + "$" + last + "),";
      }
      for (size_t x = 0; x < std::size(functions); ++x) csv += item.amount(k) + (x + 1 < std::size(functions) ? "," : "");
      csv += '\n';
    }
    const QString path = folder.filePath(QStringLiteral("mixed.csv"));
    ASSERT_TRUE(WriteFileBytes(path, csv));
    CADocument document;
    FLError error;
    ASSERT_EQ(document.openFile(path, &error), 1) << item.name;
    document.evaluate();
    ASSERT_TRUE(document.cellAtGridPoint({kAmountColumn, 0})) << item.name;
    for (int64_t y = 0; y < kRows; ++y) {
      for (int64_t x = 0; x < int64_t(std::size(functions)); ++x) {
        CACell* cell = document.cellAtGridPointImperative({x, y});
        ASSERT_TRUE(cell) << item.name;
        const int32_t type = cell->valueType();
        const std::optional<CANumber> number = cell->number();
        const std::string archived = number ? number->archive().toStdString() : std::string();
        const int32_t result = cell->evalResult();
        cell->evaluate();
        const std::string where = std::string(item.name) + ", " + functions[x] + " of row " + std::to_string(y + 1);
        ASSERT_EQ(type, cell->valueType()) << where;
        ASSERT_EQ(result, cell->evalResult()) << where;
        ASSERT_EQ(number.has_value(), cell->number().has_value()) << where;
        if (number) {
          ASSERT_EQ(archived, cell->number()->archive().toStdString()) << where;
        }
      }
    }
  }
}

// A remaining balance over square roots (row k: k, =SQRT(Ak), =SUM(Bk:B$N)): every balance
// within the precision of adding its roots in order, after the open and after typing a value
// at the bottom.
TEST_F(FormulasAheadTest, BalancesOverRootsAreTheirSumsInOrder) {
  constexpr int64_t kRows = 300;
  const QString path = folder.filePath(QStringLiteral("roots.csv"));
  ASSERT_TRUE(WriteFileBytes(path, RootsBalanceCsv(kRows)));
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(path, &error), 1);
  document.evaluate();
  std::vector<long double> values(kRows + 1);
  for (int64_t k = 1; k <= kRows; ++k) values[k] = std::sqrt(static_cast<long double>(k));
  const auto expectBalances = [&](const std::string& when) {
    long double inOrder = 0;
    for (int64_t k = kRows; k >= 1; --k) {
      inOrder += values[k];
      const CACell* cell = document.cellAtGridPoint({2, k - 1});
      ASSERT_TRUE(cell && cell->number()) << when << ", row " << k;
      // Both this sum and the one worked here are within (terms) ulps of the exact one.
      const long double allowed = 2 * static_cast<long double>(kRows - k + 2) * std::ldexp(inOrder, -63);
      EXPECT_LE(std::fabs(cell->number()->realValue() - inOrder), allowed) << when << ", row " << k;
    }
  };
  expectBalances("opened");
  document.cellAtGridPointImperative({0, kRows - 2})->setFormula(QStringLiteral("7"));
  document.evaluate();
  values[kRows - 1] = std::sqrt(7.0L);
  expectBalances("typed 7 at the bottom");
}

// The rows that a remaining balance's sums read grow with the rows, not with their square: over
// square roots when it opens and when a value is typed at its bottom, and over amounts in a
// sheet so large that the folds' least room would not hold a mark for every balance.
TEST_F(FormulasAheadTest, BalancesReadRowsInProportionToTheRows) {
  struct Case {
    const char* name;
    QByteArray (*sheet)(int64_t rows);
    bool typeAtTheBottom;
    size_t leastRoom;  // 0: as it is
  };
  const Case cases[] = {
      {"roots, opening", RootsBalanceCsv, false, 0},
      {"roots, typing at the bottom", RootsBalanceCsv, true, 0},
      {"amounts, little room", [](int64_t rows) { return AheadCsv(rows, Shape::kBalance); }, false, 16 << 10},
  };
  for (const Case& item : cases) {
    uint64_t work[2] = {};
    const int64_t sizes[2] = {1500, 3000};
    for (int i = 0; i < 2; ++i) {
      const size_t before = item.leastRoom ? CARangeMemo::setLeastRoom(item.leastRoom) : 0;
      const QString path = folder.filePath(QStringLiteral("balance.csv"));
      ASSERT_TRUE(WriteFileBytes(path, item.sheet(sizes[i])));
      CADocument document;
      FLError error;
      ASSERT_EQ(document.openFile(path, &error), 1) << item.name;
      const uint64_t start = g_blockRowsRead;
      document.evaluate();
      if (item.typeAtTheBottom) {
        work[i] = g_blockRowsRead;
        document.cellAtGridPointImperative({0, sizes[i] - 2})->setFormula(QStringLiteral("7"));
        document.evaluate();
        work[i] = g_blockRowsRead - work[i];
      } else {
        work[i] = g_blockRowsRead - start;
      }
      if (item.leastRoom) CARangeMemo::setLeastRoom(before);
    }
    EXPECT_GT(work[0], uint64_t(sizes[0])) << item.name;
    EXPECT_LE(work[1], work[0] * 5 / 2) << item.name << ": " << work[0] << " rows read, then " << work[1];
  }
}

// Balances over computed fractions whose common denominator passes 64 bits, over a column that
// holds an error, and a running balance with an error near its end: the rows their sums read
// grow with the rows, not with their square, when the sheet opens and when an amount is typed at
// its top and at its bottom; and every balance is the sum of the values it reads (exact while
// their common denominator stays within the bound, else of the values each rounded; the real
// nearest to it where that is no exact number), or the error where its range holds one.
TEST_F(FormulasAheadTest, BalancesOverFractionsAndErrorsReadRowsInProportionToTheRows) {
  struct Case {
    const char* name;
    QByteArray (*sheet)(int64_t rows);
    bool running;  // =SUM(B$1:Bk) rather than =SUM(Bk:B$N)
  };
  const Case cases[] = {
      {"amounts per share", [](int64_t rows) { return ComputedBalanceCsv(rows, ComputedShape::kPerShare); }, false},
      {"reciprocals", [](int64_t rows) { return ComputedBalanceCsv(rows, ComputedShape::kReciprocal); }, false},
      {"amounts with tax", [](int64_t rows) { return ComputedBalanceCsv(rows, ComputedShape::kWithTax); }, false},
      {"an error near the bottom",
       [](int64_t rows) { return ComputedBalanceCsv(rows, ComputedShape::kPerShare, rows - 3); }, false},
      {"an error in the last row",
       [](int64_t rows) { return ComputedBalanceCsv(rows, ComputedShape::kPerShare, rows); }, false},
      {"a running balance, an error three rows from the end", [](int64_t rows) { return RunningBalanceCsv(rows, rows - 3); },
       true},
      {"a running balance, an error in row 40", [](int64_t rows) { return RunningBalanceCsv(rows, 40); }, true},
      {"a running balance, an error in its first row", [](int64_t rows) { return RunningBalanceCsv(rows, 1); }, true},
      {"a running balance, an error in its last row", [](int64_t rows) { return RunningBalanceCsv(rows, rows); }, true},
  };
  // Each balance against the sum of the column's values in its range, worked apart.
  const auto expectBalances = [](const CADocument& document, int64_t rows, bool running, const std::string& name) {
    BoundedSumReference sum(ExactAccumulator::kExactBits);
    bool failing = false;
    for (int64_t i = 0; i < rows; ++i) {
      const int64_t k = running ? i + 1 : rows - i;
      const CACell* value = document.cellAtGridPoint({1, k - 1});
      ASSERT_TRUE(value) << name << ", row " << k;
      if (value->valueType() == kValueError) failing = true;
      else if (value->number())
        sum.add(*value->number());
      const CACell* balance = document.cellAtGridPoint({2, k - 1});
      ASSERT_TRUE(balance) << name << ", row " << k;
      if (failing) {
        ASSERT_EQ(balance->valueType(), kValueError) << name << ", row " << k;
        ASSERT_EQ(balance->evalResult(), kFormulaErrorValue) << name << ", row " << k;
      } else {
        ASSERT_TRUE(balance->number()) << name << ", row " << k;
        ASSERT_TRUE(sum.judge(*balance->number())) << name << ", row " << k;
      }
    }
  };
  for (const Case& item : cases) {
    uint64_t work[2][3] = {};
    const int64_t sizes[2] = {1000, 4000};
    for (int i = 0; i < 2; ++i) {
      const int64_t rows = sizes[i];
      const std::string name = std::string(item.name) + ", " + std::to_string(rows) + " rows";
      const QString path = folder.filePath(QStringLiteral("balance.csv"));
      ASSERT_TRUE(WriteFileBytes(path, item.sheet(rows)));
      CADocument document;
      FLError error;
      ASSERT_EQ(document.openFile(path, &error), 1) << name;
      CARangeMemo::mostBytesHeld(true);
      uint64_t start = g_blockRowsRead;
      document.evaluate();
      work[i][0] = g_blockRowsRead - start;
      if (i == 0) expectBalances(document, rows, item.running, name + ", opened");
      const int64_t typedRows[] = {1, rows - 1};
      for (int edit = 0; edit < 2; ++edit) {
        const int64_t k = typedRows[edit];
        document.cellAtGridPointImperative({0, k - 1})->setFormula(QStringLiteral("7.5"));
        start = g_blockRowsRead;
        document.evaluate();
        work[i][1 + edit] = g_blockRowsRead - start;
        if (i == 0) expectBalances(document, rows, item.running, name + ", 7.5 typed in row " + std::to_string(k));
      }
      // A count taken past zero would show as nearly 2^64 bytes.
      EXPECT_LE(CARangeMemo::mostBytesHeld(), size_t(1) << 40) << name;
    }
    const char* whens[] = {"opening", "typing at the top", "typing at the bottom"};
    for (int when = 0; when < 3; ++when) {
      EXPECT_LE(work[1][when] * 2, work[0][when] * 9)
          << item.name << ", " << whens[when] << ": " << work[0][when] << " rows read, then " << work[1][when];
    }
  }
}

}  // namespace
