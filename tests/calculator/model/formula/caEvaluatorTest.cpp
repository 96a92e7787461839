// The evaluator: operator precedence and associativity as the parser leaves them, exact
// arithmetic, the error codes with their offsets, what a cell stores, the reference test that
// recalculation orders cells by, and the circular error.
#include <gtest/gtest.h>

#include "calculator/model/formula/CAEvalContext.h"
#include "calculator/model/formula/caEvaluator.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "../SheetTestSupport.h"

#include <unordered_set>

namespace {

class EvaluatorTest : public SheetTest {
 protected:
  CACell& evaluated(const char* at, const char* text) {
    CACell& c = enter(at, text);
    c.evaluate();
    return c;
  }
};

struct ValueCase {
  const char* formula;
  const char* value;  // the result's text
};

TEST_F(EvaluatorTest, ComputesExactValues) {
  const ValueCase cases[] = {
      {"=2^3^2", "512"},  // right-associative: 2^(3^2)
      {"=-2^2", "4"},     // a leading minus belongs to the literal
      {"=-(1+2)*2", "-6"},
      {"=-A9+1", "1"},
      {"=1/3+1/6", "1/2"},
      {"=7-2-1", "4"},
      {"=2*3+4*5", "26"},
      {"=(2+3)*4", "20"},
      {"=8/2/2", "2"},
      {"= 1", "1"},
      {"=2^-1", "1/2"},
  };
  for (const ValueCase& c : cases) {
    const CACell& cell = evaluated("A1", c.formula);
    EXPECT_EQ(cell.valueType(), kValueFormula) << c.formula << " error " << cell.evalResult();
    EXPECT_EQ(shown("A1"), QString::fromLatin1(c.value)) << c.formula;
    EXPECT_EQ(cell.formulaResultType(), kValueNumber) << c.formula;
  }
}

struct ErrorCase {
  const char* formula;
  int32_t error;
  uint64_t offset;
};

TEST_F(EvaluatorTest, ReportsErrorsWithTheirOffsets) {
  evaluated("C1", "=1/0");  // a cell holding a formula error
  const ErrorCase cases[] = {
      {"=1 2", kFormulaErrorSyntax, 0},         // found at the end: the offset stays as it was
      {"=+", kFormulaErrorSyntax, 1},           // an operator without operands
      {"=2*", kFormulaErrorSyntax, 2},          // a binary operator lacks its left operand
      {"=C1", kFormulaErrorArguments, 0},       // a lone reference to an error cell gives no value
      {"=C1+0", kFormulaErrorValue, 1},         // an operand that is an error cell
      {"=1+C1", kFormulaErrorValue, 3},
      {"=(1+2", kFormulaErrorParenthesis, 1},  // parse errors are kept and never run
      {"=1,2", kFormulaErrorComma, 2},
      {"=A1:B2", kFormulaErrorArguments, 0},    // a range is no value
      {"=A1:B2+1", kFormulaErrorSyntax, 1},     // nor an operand
  };
  int64_t row = 10;
  for (const ErrorCase& c : cases) {
    CACell& cell = *document.cellAtGridPointImperative(GridPoint{4, row++});
    cell.setFormula(QString::fromUtf8(c.formula));
    cell.evaluate();
    EXPECT_EQ(cell.valueType(), kValueError) << c.formula;
    EXPECT_EQ(cell.evalResult(), c.error) << c.formula;
    EXPECT_EQ(cell.errorOffset(), c.offset) << c.formula;
    EXPECT_FALSE(cell.number()) << c.formula;
  }
}

TEST_F(EvaluatorTest, InfiniteAndInvalidResultsKeepTheirNumber) {
  const CACell& infinite = evaluated("A1", "=1/0");
  EXPECT_EQ(infinite.evalResult(), kFormulaErrorInfinite);
  ASSERT_TRUE(infinite.number());
  EXPECT_EQ(infinite.number()->form(), kNumberInfinity);
  EXPECT_STREQ(FormulaErrorString(infinite.evalResult()), "<Infinite>");

  // Dividing by zero is infinite whatever the dividend; an invalid power is NaN.
  EXPECT_EQ(evaluated("A3", "=0/0").evalResult(), kFormulaErrorInfinite);
  const CACell& invalid = evaluated("A2", "=(-8)^(1/2)");
  EXPECT_EQ(invalid.evalResult(), kFormulaErrorNaN);
  ASSERT_TRUE(invalid.number());
  EXPECT_EQ(invalid.number()->form(), kNumberNaN);
  EXPECT_STREQ(FormulaErrorString(invalid.evalResult()), "<Value>");
}

TEST_F(EvaluatorTest, ReferencesReadCellsAsNumbers) {
  enter("B1", "5");
  enter("B2", "text");
  CACell& check = *document.cellAtGridPointImperative(A1("B3"));
  check.setValueType(kValueCheckbox);
  check.setChecked(true);
  const ValueCase cases[] = {
      {"=B1", "5"}, {"=$B$1*2", "10"}, {"=B2", "0"}, {"=B2+1", "1"},
      {"=B3", "1"}, {"=B3+B3", "2"},   {"=Z99", "0"},
  };
  for (const ValueCase& c : cases) {
    evaluated("A1", c.formula);
    EXPECT_EQ(shown("A1"), QString::fromLatin1(c.value)) << c.formula;
  }
}

TEST_F(EvaluatorTest, ErrorsAreClearedByTheNextGoodEvaluation) {
  CACell& cell = evaluated("A1", "=1/0");
  ASSERT_EQ(cell.valueType(), kValueError);
  cell.setFormula(QStringLiteral("=2"));
  cell.evaluate();
  EXPECT_EQ(cell.valueType(), kValueFormula);
  EXPECT_EQ(cell.evalResult(), 0);
  EXPECT_EQ(shown("A1"), QStringLiteral("2"));
}

// With the function families in place, the date flag of a row decides how the cell shows.
TEST_F(EvaluatorTest, DateFunctionsMakeDateResultsUntilAnOperatorFollows) {
  const int32_t date = FunctionFromName(u"DATE");
  if (!g_functionInfo[date].handler) GTEST_SKIP() << "DATE is not built yet";
  EXPECT_EQ(evaluated("A1", "=DATE(2024,1,31)").formulaResultType(), kValueDate);
  EXPECT_EQ(evaluated("A1", "=DATE(2024,1,31)+1").formulaResultType(), kValueNumber);
}

TEST_F(EvaluatorTest, RunningAnExpressionWithoutADocumentSeesEmptyCells) {
  CAExpression expression;
  uint64_t offset = 0;
  ASSERT_EQ(ParseFormula(QStringLiteral("=A1+2^3"), expression, &offset), 0);
  const CAExpressionOutcome outcome = RunExpression(nullptr, expression);
  EXPECT_EQ(outcome.error, 0);
  ASSERT_TRUE(outcome.value);
  EXPECT_EQ(*outcome.value, CANumber(8));
  EXPECT_EQ(outcome.resultHint, kResultHintNumber);
  EXPECT_FALSE(outcome.volatileResult);
}

TEST_F(EvaluatorTest, PicturesWithoutAnImageHaveNoHeight) {
  CACell& picture = *document.cellAtGridPointImperative(A1("A1"));
  picture.setValueType(kValuePicture);
  picture.setNeedRecalc(true);
  picture.evaluate();
  EXPECT_EQ(picture.height(), 0.0);
  EXPECT_FALSE(picture.needRecalc());
}

TEST_F(EvaluatorTest, CircularErrorReplacesTheValue) {
  CACell& cell = evaluated("A1", "=1+2");
  cell.setCircularError();
  EXPECT_EQ(cell.valueType(), kValueError);
  EXPECT_EQ(cell.evalResult(), kFormulaErrorValue);
  EXPECT_EQ(cell.errorOffset(), 0u);
  EXPECT_FALSE(cell.number());
}

TEST_F(EvaluatorTest, RefersToCellsLooksAtReferencesAndRanges) {
  enter("B1", "1");
  enter("C3", "2");
  enter("D1", "3");
  const CACell* b1 = cell("B1");
  const CACell* c3 = cell("C3");
  const CACell* d1 = cell("D1");

  struct Case {
    const char* formula;
    bool any;
    std::unordered_set<const CACell*> set;
    bool inSet;
  };
  const Case cases[] = {
      {"=1+2", false, {b1}, false},
      {"=Z9", true, {b1}, false},
      {"=B1", true, {b1}, true},
      {"=$B$1*2", true, {b1}, true},
      {"=SUM(A1:C3)", true, {c3}, true},
      {"=SUM(A1:C3)", true, {d1}, false},
      {"=SUM(C3:A1)", true, {c3}, true},  // typed end first: the same block
      {"=SUM(A1:C3)", true, {}, false},
  };
  for (const Case& c : cases) {
    const CACell& formula = enter("E5", c.formula);
    EXPECT_EQ(formula.refersToCells(nullptr), c.any) << c.formula;
    EXPECT_EQ(formula.refersToCells(&c.set), c.inSet) << c.formula;
  }

  // Cells that are not formulas never refer to anything, and a large set is walked the other way.
  EXPECT_FALSE(cell("B1")->refersToCells(nullptr));
  std::unordered_set<const CACell*> many;
  for (int y = 10; y < 200; ++y) many.insert(document.cellAtGridPointImperative(GridPoint{6, y}));
  EXPECT_FALSE(enter("E5", "=SUM(A1:C3)").refersToCells(&many));
  many.insert(c3);
  EXPECT_TRUE(cell("E5")->refersToCells(&many));
}

}  // namespace
