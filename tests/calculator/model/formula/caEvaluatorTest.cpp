// The evaluator: operator precedence and associativity as the parser leaves them, exact
// arithmetic, the error codes with their offsets and how references read cells.
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

// A formula shows its result as a date when the last function it ran makes dates, or when its
// last operator moved a date by days; any other operator makes it a number, and so does a lone
// reference, even to a date.
TEST_F(EvaluatorTest, TheDateHintFollowsWhatDecidedLast) {
  CACell& date = enter("A1", "");
  date.setNumberValue(CANumber(20240131));
  date.setValueType(kValueDate);
  enter("A2", "7");
  const struct { const char* formula; int32_t type; } cases[] = {
      {"=A1", kValueNumber}, {"=A2", kValueNumber}, {"=A1+1", kValueDate}, {"=-A1", kValueNumber},
      {"=DATE(2024,1,31)", kValueDate}, {"=EOMONTH(A1,1)", kValueDate}, {"=DATE(2024,1,31)+0", kValueDate},
      {"=(A1+1)*1", kValueNumber}, {"=A1-A1", kValueNumber},
      {"=YEAR(A1)", kValueNumber}, {"=SUM(A1)", kValueNumber}, {"=5", kValueNumber},
  };
  for (const auto& c : cases) {
    const CACell& cell = evaluated("B1", c.formula);
    EXPECT_EQ(cell.valueType(), kValueFormula) << c.formula;
    EXPECT_EQ(cell.formulaResultType(), c.type) << c.formula;
  }
}

TEST_F(EvaluatorTest, ComputesExactValues) {
  const ValueCase cases[] = {
      {"=2^3^2", "512"},  // right-associative: 2^(3^2)
      {"=-2^2", "4"},     // a leading minus belongs to the literal
      {"=-(1+2)*2", "-6"}, {"=-A9+1", "1"}, {"=1/3+1/6", "1/2"}, {"=2^-1", "1/2"},
  };
  for (const ValueCase& c : cases) {
    const CACell& cell = evaluated("A1", c.formula);
    EXPECT_EQ(cell.valueType(), kValueFormula) << c.formula << " error " << cell.evalResult();
    EXPECT_EQ(shown("A1"), QString::fromLatin1(c.value)) << c.formula;
    EXPECT_EQ(cell.formulaResultType(), kValueNumber) << c.formula;
  }
}

struct ErrorCase { const char* formula; int32_t error; uint64_t offset; };

TEST_F(EvaluatorTest, ReportsErrorsWithTheirOffsets) {
  evaluated("C1", "=1/0");  // a cell holding a formula error
  const ErrorCase cases[] = {
      {"=1 2", kFormulaErrorSyntax, 0},         // found at the end: the offset stays as it was
      {"=+", kFormulaErrorSyntax, 1},           // an operator without operands
      {"=2*", kFormulaErrorSyntax, 2},          // a binary operator lacks its left operand
      {"=C1", kFormulaErrorArguments, 0},       // a lone reference to an error cell gives no value
      {"=C1+0", kFormulaErrorValue, 1},         // an operand that is an error cell
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
      {"=B1", "5"}, {"=B2", "0"}, {"=B2+1", "1"}, {"=B3+B3", "2"}, {"=Z99", "0"},
  };
  for (const ValueCase& c : cases) {
    evaluated("A1", c.formula);
    EXPECT_EQ(shown("A1"), QString::fromLatin1(c.value)) << c.formula;
  }
}

}  // namespace
