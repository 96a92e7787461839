// The operand helpers of the function handlers: the mode table of cells, lists built from
// literals, references and ranges in argument order, single numbers and ranges taken from the
// argument list, sorted range lists and the operand ordering.
#include <gtest/gtest.h>

#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "calculator/model/formula/caFunctionsBasic.h"
#include "calculator/model/formula/caOperands.h"
#include "../SheetTestSupport.h"

#include <cmath>

namespace {

class OperandTest : public SheetTest {
 protected:
  // The arguments of the single function call of `formula` ("=F(...)"), as the evaluator hands
  // them over: last argument first. Nested calls are not expanded.
  CAEvaluationContext contextFor(const char* formula) {
    expression.clear();
    uint64_t offset = 0;
    EXPECT_EQ(ParseFormula(QString::fromUtf8(formula), expression, &offset), 0) << formula;
    CAEvaluationContext context;
    context.document = &document;
    for (size_t i = expression.size() - 1; i-- > 0;) {
      if (expression[i].isOperator(kOperatorOpen)) break;
      context.arguments.emplace_back(expression[i]);
    }
    return context;
  }

  static std::vector<QString> texts(const CAOperandArray& array) {
    std::vector<QString> result;
    for (const CANumber& number : array) result.push_back(number.description());
    return result;
  }

  CACell& evaluated(const char* at, const char* text) {
    CACell& c = enter(at, text);
    c.evaluate();
    return c;
  }

  CAExpression expression;
};

// One cell of each kind the mode table tells apart.
struct ModeRow {
  const char* kind;
  // What each mode gives: a number's text, "skip" or "fail".
  const char* modes[5];
};

TEST_F(OperandTest, ModeTableDecidesWhichCellsCountAndAsWhat) {
  enter("A2", "");  // an empty cell object
  CACell& checked = *document.cellAtGridPointImperative(A1("A3"));
  checked.setValueType(kValueCheckbox);
  checked.setChecked(true);
  CACell& unchecked = *document.cellAtGridPointImperative(A1("A4"));
  unchecked.setValueType(kValueCheckbox);
  CACell& date = *document.cellAtGridPointImperative(A1("A5"));
  date.setValueType(kValueDate);
  date.setNumber(CANumber(20240131));
  evaluated("A6", "=1/4");
  enter("A7", "=2");  // a formula not yet evaluated has no number
  enter("A8", "12");
  evaluated("A9", "=1/0");
  document.cellAtGridPointImperative(A1("A10"))->setValueType(kValuePicture);
  enter("A11", "some text");
  CACell& emptyText = *document.cellAtGridPointImperative(A1("A12"));
  emptyText.setValueType(kValueText);
  CACell& link = *document.cellAtGridPointImperative(A1("A13"));
  link.setValueType(kValueLink);
  link.setFormulaString(QStringLiteral("http://example.org"));
  CACell& number = *document.cellAtGridPointImperative(A1("A14"));
  number.setValueType(kValueNumber);  // a number cell without a number

  const ModeRow rows[] = {
      {"A1", {"0", "skip", "skip", "skip", "skip"}},  // no cell
      {"A2", {"0", "skip", "skip", "0", "skip"}},
      {"A3", {"skip", "1", "1", "1", "skip"}},
      {"A4", {"skip", "0", "0", "0", "skip"}},
      {"A5", {"skip", "20240131", "20240131", "20240131", "20240131"}},
      {"A6", {"skip", "1/4", "1/4", "1/4", "1/4"}},
      {"A7", {"0", "skip", "skip", "skip", "skip"}},
      {"A8", {"skip", "12", "12", "12", "12"}},
      {"A9", {"skip", "0", "fail", "fail", "fail"}},
      {"A10", {"skip", "0", "skip", "0", "skip"}},
      {"A11", {"skip", "0", "skip", "0", "skip"}},
      {"A12", {"0", "skip", "skip", "0", "skip"}},
      {"A13", {"skip", "0", "skip", "0", "skip"}},
      {"A14", {"0", "skip", "skip", "skip", "skip"}},
  };
  ASSERT_EQ(cell("A9")->valueType(), kValueError);
  for (const ModeRow& row : rows) {
    for (int32_t mode = 0; mode < 5; ++mode) {
      const CANumber* result = nullptr;
      const bool ok = GetCellNumber(cell(row.kind), mode, &result);
      const QString got = !ok ? QStringLiteral("fail") : result ? result->description() : QStringLiteral("skip");
      EXPECT_EQ(got, QString::fromLatin1(row.modes[mode])) << row.kind << " mode " << mode;
    }
  }
}

TEST_F(OperandTest, ListsAppendLiteralsReferencesAndRangesInOrder) {
  enter("A1", "1");
  enter("B1", "2");
  enter("A2", "3");
  enter("B2", "4");
  enter("C1", "9");
  CAEvaluationContext context = contextFor("=SUM(5,A1:B2,$C$1,2.5)");
  const std::optional<CAOperandArray> list = CreateOperandArray(context, kOperandNumbersOnly);
  ASSERT_TRUE(list);
  EXPECT_EQ(texts(*list), (std::vector<QString>{"5", "1", "2", "3", "4", "9", "2 1/2"}));
  EXPECT_TRUE(context.arguments.empty());
}

struct ListCase {
  const char* formula;
  int32_t mode;
  uint32_t error;
  size_t count;
};

TEST_F(OperandTest, ListErrors) {
  evaluated("A1", "=1/0");
  enter("A2", "7");
  enter("A3", "text");
  const ListCase cases[] = {
      // An error cell fails a numeric list even when it comes first.
      {"=SUM(A1)", kOperandNumbersOnly, kFormulaErrorValue, 0},
      {"=SUM(A1:A3)", kOperandNumbersOnly, kFormulaErrorValue, 0},
      {"=SUM(A2,A1)", kOperandNumbersAndChecks, kFormulaErrorValue, 0},
      {"=SUM(A1:A3)", kOperandAllValues, kFormulaErrorValue, 0},
      // ...but counts in COUNTA's mode and is skipped in COUNTBLANK's.
      {"=SUM(A1:A3)", kOperandNonEmptyCount, 0, 3},
      {"=SUM(A1:A4)", kOperandBlankCount, 0, 1},
      // No values at all: "<N/A>".
      {"=SUM(A3)", kOperandNumbersOnly, kFormulaErrorNotAvailable, 0},
      {"=SUM(5)", kOperandBlankCount, kFormulaErrorNotAvailable, 0},
      {"=SUM(B1:B9)", kOperandNumbersOnly, kFormulaErrorNotAvailable, 0},
      // Blank counting is bounded.
      {"=SUM(A1:ZZZ100000)", kOperandBlankCount, kFormulaErrorNumber, 0},
  };
  for (const ListCase& c : cases) {
    CAEvaluationContext context = contextFor(c.formula);
    const std::optional<CAOperandArray> list = CreateOperandArray(context, c.mode);
    EXPECT_EQ(context.error, c.error) << c.formula << " mode " << c.mode;
    EXPECT_EQ(list.has_value(), c.error == 0) << c.formula;
    if (list) {
      EXPECT_EQ(list->size(), c.count) << c.formula;
    }
  }
}

TEST_F(OperandTest, BlankCountingCountsEveryEmptyPoint) {
  enter("B2", "1");
  CAEvaluationContext context = contextFor("=SUM(A1:C3)");
  const std::optional<CAOperandArray> list = CreateOperandArray(context, kOperandBlankCount);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->size(), 8u);
}

TEST_F(OperandTest, ReversedRangeInAListIsInvalidAtItsOffset) {
  CAEvaluationContext context = contextFor("=SUM(1,B2:A1)");
  EXPECT_FALSE(CreateOperandArray(context, kOperandNumbersOnly));
  EXPECT_EQ(context.error, uint32_t(kFormulaErrorValue));
  EXPECT_EQ(context.failingIndex, 7u);
}

TEST_F(OperandTest, SingleNumbersComeFirstArgumentFirst) {
  enter("A1", "3");
  evaluated("A2", "=0/0");
  CACell& date = *document.cellAtGridPointImperative(A1("A3"));
  date.setValueType(kValueDate);
  date.setNumber(CANumber(20240131));

  CAEvaluationContext context = contextFor("=SUM(A1,2,A9)");
  std::optional<CANumber> first = NumericTopOfStackCore(context);
  std::optional<CANumber> second = NumericTopOfStackCore(context);
  std::optional<CANumber> third = NumericTopOfStackCore(context);
  ASSERT_TRUE(first && second && third);
  EXPECT_EQ(*first, CANumber(3));
  EXPECT_EQ(*second, CANumber(2));
  EXPECT_EQ(*third, CANumber(0));  // nothing there counts 0
  EXPECT_EQ(context.resultHint, kResultHintUnknown);

  // Nothing left: error 1.
  EXPECT_FALSE(NumericTopOfStackCore(context));
  EXPECT_EQ(context.error, uint32_t(kFormulaErrorArguments));

  // A date cell makes an unknown hint a date.
  context = contextFor("=SUM(A3)");
  EXPECT_EQ(NumericTopOfStackCore(context), CANumber(20240131));
  EXPECT_EQ(context.resultHint, kResultHintDate);
}

struct SingleFailure {
  const char* formula;
  uint32_t error;
  uint64_t failingIndex;
};

TEST_F(OperandTest, SingleNumberFailuresStayInTheListAndNameTheirOffset) {
  evaluated("A2", "=0/0");
  const SingleFailure cases[] = {
      {"=SUM(A2)", kFormulaErrorValue, 5},  // an error cell
      {"=SUM(A1:B2)", kFormulaErrorArguments, 5},  // a range
      {"=SUM( $A$2)", kFormulaErrorValue, 6},
  };
  for (const SingleFailure& c : cases) {
    CAEvaluationContext context = contextFor(c.formula);
    const size_t before = context.arguments.size();
    EXPECT_FALSE(NumericTopOfStackCore(context)) << c.formula;
    EXPECT_EQ(context.error, c.error) << c.formula;
    EXPECT_EQ(context.failingIndex, c.failingIndex) << c.formula;
    EXPECT_EQ(context.arguments.size(), before) << c.formula;
  }

  // A computed infinity or NaN is error 3 or 6 without an offset.
  CAEvaluationContext context;
  context.arguments.emplace_back(CANumber::asInf());
  EXPECT_FALSE(NumericTopOfStackCore(context));
  EXPECT_EQ(context.error, uint32_t(kFormulaErrorInfinite));
  EXPECT_EQ(context.failingIndex, 0u);
  context = CAEvaluationContext();
  context.arguments.emplace_back(CANumber::asNan());
  EXPECT_FALSE(NumericTopOfStackCore(context));
  EXPECT_EQ(context.error, uint32_t(kFormulaErrorNaN));
}

TEST_F(OperandTest, RangesComeFromRangeAndReferenceArguments) {
  CAEvaluationContext context = contextFor("=SUM(B2:A1,$C$3,4)");
  EXPECT_EQ(RangeTopOfStack(context), (GridRange{A1("B2"), A1("A1")}));
  EXPECT_EQ(RangeTopOfStack(context), (GridRange{A1("$C$3"), A1("$C$3")}));
  EXPECT_EQ(context.error, 0u);
  EXPECT_EQ(RangeTopOfStack(context), GridRange{});
  EXPECT_EQ(context.error, uint32_t(kFormulaErrorArguments));
  EXPECT_EQ(context.arguments.size(), 1u);  // the number stays

  context = CAEvaluationContext();
  EXPECT_EQ(RangeTopOfStack(context), GridRange{});
  EXPECT_EQ(context.error, uint32_t(kFormulaErrorArguments));
}

TEST_F(OperandTest, SortedRangeListsTakeNumbersOnlyInAscendingOrder) {
  enter("A1", "5");
  enter("B1", "-1");
  evaluated("A2", "=1/3");
  enter("B2", "text");
  CACell& check = *document.cellAtGridPointImperative(A1("A3"));
  check.setValueType(kValueCheckbox);
  check.setChecked(true);
  enter("B3", "0.25");

  CAEvaluationContext context;
  context.document = &document;
  // The corners come in any order and may be absolute.
  const std::optional<CAOperandArray> sorted =
      CreateSortedOperandArrayFromRange(context, GridRange{A1("$B$3"), A1("A1")});
  ASSERT_TRUE(sorted);
  EXPECT_EQ(texts(*sorted), (std::vector<QString>{"-1", "1/4", "1/3", "5"}));

  EXPECT_FALSE(CreateSortedOperandArrayFromRange(context, GridRange{A1("D1"), A1("D9")}));
  EXPECT_EQ(context.error, uint32_t(kFormulaErrorNotAvailable));

  evaluated("C1", "=1/0");
  context.error = 0;
  EXPECT_FALSE(CreateSortedOperandArrayFromRange(context, GridRange{A1("A1"), A1("C3")}));
  EXPECT_EQ(context.error, uint32_t(kFormulaErrorValue));
}

TEST_F(OperandTest, SumFailsOnAnErrorCellWhileCountaCountsIt) {
  evaluated("A1", "=1/3");
  evaluated("A2", "=1/0");
  enter("A3", "text");
  evaluated("A4", "=1/6");

  CAEvaluationContext context = contextFor("=SUM(A1:A4,1)");
  EXPECT_FALSE(SumFunction(context) && context.error == 0);
  EXPECT_EQ(context.error, uint32_t(kFormulaErrorValue));

  context = contextFor("=COUNTA(A1:A4,1)");
  EXPECT_EQ(CountaFunction(context), CANumber(5));
  EXPECT_EQ(context.error, 0u);
  EXPECT_TRUE(context.arguments.empty());

  context = contextFor("=SUM(A1,A3,A4)");
  EXPECT_EQ(SumFunction(context), CANumber::withNumerator(1, 2));
  EXPECT_EQ(context.error, 0u);

  // No values: both give 0.
  context = contextFor("=SUM(A3,B1:B9)");
  EXPECT_EQ(SumFunction(context), CANumber(0));
  EXPECT_EQ(context.error, 0u);
  context = contextFor("=COUNTA(B1:B9)");
  EXPECT_EQ(CountaFunction(context), CANumber(0));
  EXPECT_EQ(context.error, 0u);
}

// Through the evaluator once the table calls these handlers.
TEST_F(OperandTest, SumAndCountaInFormulas) {
  if (!g_functionInfo[FunctionFromName(u"SUM")].handler || !g_functionInfo[FunctionFromName(u"COUNTA")].handler)
    GTEST_SKIP() << "the table does not call SUM and COUNTA yet";
  enter("A1", "2");
  evaluated("A2", "=1/0");
  evaluated("B1", "=SUM(A1,A1:A1)*2");
  EXPECT_EQ(shown("B1"), QStringLiteral("8"));
  evaluated("B2", "=SUM(A1:A2)");
  EXPECT_EQ(shown("B2"), QStringLiteral("error 11"));
  evaluated("B3", "=COUNTA(A1:A2)");
  EXPECT_EQ(shown("B3"), QStringLiteral("2"));
}

TEST(Operands, CompareByRealValue) {
  struct Case {
    CANumber a;
    CANumber b;
    int expected;
  };
  const Case cases[] = {
      {CANumber(2), CANumber(1), 1},
      {CANumber(1), CANumber(2), -1},
      {CANumber::withNumerator(1, 2), CANumber::withReal(0.5L), 0},
      {CANumber::withNumerator(1, 3), CANumber::withNumerator(1, 3), 0},
      {CANumber::asNan(), CANumber(1), -1},
      {CANumber(1), CANumber::asNan(), -1},
      {CANumber::asInf(), CANumber(1), 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompareOperands(c.a, c.b), c.expected) << c.a.description().toStdString() << " vs "
                                                     << c.b.description().toStdString();
}

TEST(Operands, AverageOfNoValuesIsZero) {
  CAEvaluationContext context;
  context.error = kFormulaErrorNotAvailable;
  EXPECT_EQ(AverageOfOperands(context, std::nullopt), CANumber(0));
  EXPECT_EQ(context.error, 0u);

  context.error = kFormulaErrorValue;
  EXPECT_FALSE(AverageOfOperands(context, std::nullopt));
  EXPECT_EQ(context.error, uint32_t(kFormulaErrorValue));

  context.error = 0;
  EXPECT_EQ(AverageOfOperands(context, CAOperandArray{CANumber(1), CANumber(2)}),
            CANumber::withNumerator(3, 2));
}

TEST(Operands, NormalizedBlocksPutCornersInOrder) {
  struct Case {
    GridRange range;
    bool ok;
    GridRange block;
  };
  const Case cases[] = {
      {{{1, 0}, {0, 0}}, true, {{0, 0}, {1, 0}}},                  // B1:A1
      {{{~2, ~5}, {0, 1}}, true, {{0, 1}, {2, 5}}},                // $C$6:A2
      {{{kGridWildcard, 3}, {kGridWildcard, 1}}, true, {{0, 1}, {kGridOpenEnd, 3}}},
      {{{4, kGridWildcard}, {2, kGridWildcard}}, true, {{2, 0}, {4, kGridOpenEnd}}},
      {{{kGridWildcard, 3}, {2, 1}}, false, {}},
      {{{kGridNoPoint, 0}, {0, 0}}, false, {}},
  };
  for (const Case& c : cases) {
    GridRange block;
    EXPECT_EQ(NormalizedBlock(c.range, &block), c.ok);
    if (c.ok) {
      EXPECT_EQ(block, c.block);
    }
  }
}

}  // namespace
