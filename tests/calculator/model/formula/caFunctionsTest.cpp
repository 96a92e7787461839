// The built-in function handlers through the evaluator: how each function reads its arguments
// (order, ranges, optional arguments, argument counts) and that every handler keeps its contract.
// The arithmetic itself is proven against independent vectors in the *CoresTest files.
#include <gtest/gtest.h>

#include <QDate>
#include <cmath>

#include "../SheetTestSupport.h"
#include "FunctionVectors.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "support/LogCapture.h"

namespace {

class FunctionsTest : public SheetTest {
 protected:
  // A1:A5 numbers 3 1 4 1 5; B1 a checked and B2 an unchecked checkbox, B3 a text, B4 nothing,
  // B5 the number 2; C1 a formula error.
  void SetUp() override {
    const char* numbers[] = {"3", "1", "4", "1", "5"};
    for (int i = 0; i < 5; ++i) enter(QStringLiteral("A%1").arg(i + 1).toLatin1().constData(), numbers[i]);
    checkbox("B1", true);
    checkbox("B2", false);
    enter("B3", "abc");
    enter("B5", "2");
    enter("C1", "=1/0").evaluate();
  }

  void checkbox(const char* at, bool checked) {
    CACell& cell = *document.cellAtGridPointImperative(A1(at));
    cell.setValueType(kValueCheckbox);
    cell.setChecked(checked);
  }

  CACell& run(const char* formula) {
    CACell& cell = enter("F1", formula);
    cell.evaluate();
    return cell;
  }

  static FunctionResult outcome(const CACell& cell) {
    if (cell.valueType() == kValueError) return FunctionResult::failure(cell.evalResult());
    return cell.number() ? FunctionResult(*cell.number()) : FunctionResult::failure(-1);
  }
};

struct FormulaCase {
  const char* formula;
  const char* expected;  // as in the vector files: "=p/q", "~real", "!code"
};

TEST_F(FunctionsTest, MathAndRoundingFunctionsTakeNumbersInWrittenOrder) {
  const FormulaCase cases[] = {
      {"=GCD(B3)", "!7"}, {"=LOG(8,2)", "=3"}, {"=LOG(5,1)", "!3"}, {"=MOD(-7,3)", "=-1"},
      {"=MULTINOMIAL(2,3)", "=10"}, {"=MULTINOMIAL(B3)", "=0"}, {"=POWER(2,10)", "=1024"}, {"=PRODUCT(B3)", "=0"},
      {"=QUOTIENT(-7,2)", "=-3"}, {"=SERIESSUM(2,0,1,1,1,1)", "=7"}, {"=SERIESSUM(2,0,1,A1:A2)", "=5"},
      {"=SERIESSUM(2,0,1)", "!7"}, {"=SUMSQ(B3)", "=0"}, {"=RANDBETWEEN(6,5)", "!8"}, {"=CEILING(-2.1,-1)", "=-3"},
      {"=CEILING(-2.1,1)", "!8"}, {"=CEILING.PRECISE(2.1,0.5)", "=5/2"}, {"=FLOOR.PRECISE(-2.5)", "=-3"},
      {"=FLOOR.PRECISE(2.5,-1)", "!8"}, {"=FLOOR(2.9,1)", "=2"}, {"=ROUND(1234,-2)", "=1200"},
      {"=ROUNDDOWN(-2.57,1)", "=-5/2"}, {"=ROUNDUP(2.01,1)", "=21/10"},
      {"=TRUNC(1,2)", "!1"},            // one argument only: the second is left over
  };
  for (const FormulaCase& c : cases)
    EXPECT_TRUE(MatchesExpected(outcome(run(c.formula)), c.expected, 4e-19L)) << c.formula;
}

// Which cells each statistics function reads, and as what: B1:B7 holds a checked and an
// unchecked box, a text, nothing, a 2 and two empty points, so every operand mode gives its own
// list (numbers only {2}; numbers and checks {1, 0, 2}; all values {1, 0, 0, 2}; four non-empty
// cells; three blank points). E:J hold pairs that tell the extremes' modes apart. Swapping the
// mode of any handler fails a row.
TEST_F(FunctionsTest, EachStatisticsFunctionReadsCellsInItsOwnMode) {
  enter("E1", "-5");
  checkbox("E2", true);
  enter("J1", "-5");
  enter("J2", "text");
  enter("G1", "5");
  checkbox("G2", false);
  enter("H1", "5");
  enter("H2", "text");
  const FormulaCase cases[] = {
      {"=COUNT(B1:B7)", "=1"}, {"=COUNTA(B1:B7)", "=4"}, {"=COUNTBLANK(B1:B7)", "=3"}, {"=SUM(B1:B7)", "=2"},
      {"=AVERAGE(B1:B7)", "=2"}, {"=AVERAGEA(B1:B7)", "=3/4"}, {"=MAX(E1:E2)", "=-5"}, {"=MAXA(E1:E2)", "=1"},
      {"=MAXA(J1:J2)", "=-5"}, {"=MIN(G1:G2)", "=5"}, {"=MINA(G1:G2)", "=0"}, {"=MINA(H1:H2)", "=5"},
      {"=MEDIAN(B1:B7,4)", "=3"}, {"=VAR.P(B1:B7,4)", "=1"}, {"=VAR.S(B1:B7,4)", "=2"}, {"=VARA(B1:B7,4)", "=14/5"},
      {"=VARPA(B1:B7,4)", "=56/25"}, {"=STDEV.P(B1:B7,4)", "=1"}, {"=STDEV.S(B1:B7,4)", "~1.41421356237309504880"},
      {"=STDEVA(B1:B7,4)", "~1.67332005306815109595"}, {"=STDEVPA(B1:B7,4)", "~1.49666295470957655423"},
  };
  for (const FormulaCase& c : cases)
    EXPECT_TRUE(MatchesExpected(outcome(run(c.formula)), c.expected, 4e-19L)) << c.formula;
}

// The counting functions count without making a number of each point: a whole column of blank
// points is counted at once.
TEST_F(FunctionsTest, CountingFunctionsCountMillionsOfPointsWithoutMakingThem) {
  const FormulaCase cases[] = {
      {"=COUNTBLANK(A1:A20000000)", "=19999995"}, {"=COUNTBLANK(A1:E10000000)", "=49999990"},
      {"=COUNTBLANK(A5:A1,B1:B5)", "=1"}, {"=COUNTA(A1:E99999999)", "=10"},
  };
  for (const FormulaCase& c : cases)
    EXPECT_TRUE(MatchesExpected(outcome(run(c.formula)), c.expected, 0)) << c.formula;
}

TEST_F(FunctionsTest, EveryHandlerKeepsTheContractWithAnyArguments) {
  // Whatever it is given, a handler ends in a value or an error code, never in "no error but
  // no number", and never leaves the evaluator anything it cannot show.
  const char* argumentLists[] = {"",           "1",       "-1",          "0",       "A1:A5",
                                 "C1",         "B3",      "1,2",         "A1:A5,2", "1,2,3",
                                 "20240131,1", "1e300",   "-1e300,1e300", "B1:B5,1,2,3",
                                 "A1:A5,C1",   "0.5,0.5", "2,0,1,A1:A5"};
  LogCapture log;
  for (int32_t row = 1; row <= kFunctionCount; ++row) {
    for (const char* arguments : argumentLists) {
      const QString formula =
          QStringLiteral("=%1(%2)").arg(QLatin1String(g_functionInfo[row].name), QLatin1String(arguments));
      CACell& cell = enter("F2", formula);
      cell.evaluate();
      if (cell.valueType() == kValueError) {
        EXPECT_GE(cell.evalResult(), 1) << formula.toStdString();
        EXPECT_LT(cell.evalResult(), kFormulaErrorCount) << formula.toStdString();
      } else {
        ASSERT_TRUE(cell.number()) << formula.toStdString();
        EXPECT_TRUE(cell.number()->isValid()) << formula.toStdString();
      }
    }
  }
  EXPECT_FALSE(log.contains(QStringLiteral("No error but no number")))
      << log.entries().join('\n').toStdString();
}

}  // namespace
