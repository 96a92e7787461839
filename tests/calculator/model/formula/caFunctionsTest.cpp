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
      {"=GCD(B3)", "!7"},
      {"=LOG(8,2)", "=3"},
      {"=LOG(5,1)", "!3"},
      {"=MOD(-7,3)", "=-1"},
      {"=MULTINOMIAL(2,3)", "=10"},
      {"=MULTINOMIAL(B3)", "=0"},
      {"=POWER(2,10)", "=1024"},
      {"=PRODUCT(B3)", "=0"},
      {"=QUOTIENT(-7,2)", "=-3"},
      {"=SERIESSUM(2,0,1,1,1,1)", "=7"},
      {"=SERIESSUM(2,0,1,A1:A2)", "=5"},
      {"=SERIESSUM(2,0,1)", "!7"},
      {"=SUMSQ(B3)", "=0"},
      {"=RANDBETWEEN(6,5)", "!8"},
      {"=CEILING(-2.1,-1)", "=-3"},
      {"=CEILING(-2.1,1)", "!8"},
      {"=CEILING.PRECISE(2.1,0.5)", "=5/2"},
      {"=FLOOR.PRECISE(-2.5)", "=-3"},
      {"=FLOOR.PRECISE(2.5,-1)", "!8"},
      {"=FLOOR(2.9,1)", "=2"},
      {"=ROUND(1234,-2)", "=1200"},
      {"=ROUNDDOWN(-2.57,1)", "=-5/2"},
      {"=ROUNDUP(2.01,1)", "=21/10"},
      {"=TRUNC(1,2)", "!1"},            // one argument only: the second is left over
  };
  for (const FormulaCase& c : cases)
    EXPECT_TRUE(MatchesExpected(outcome(run(c.formula)), c.expected, 4e-19L)) << c.formula;
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
          QStringLiteral("=%1(%2)").arg(QLatin1String(g_functionInfo[row].name),
                                        QLatin1String(arguments));
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
