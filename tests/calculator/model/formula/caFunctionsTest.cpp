// The built-in function handlers through the evaluator: formulas on a small sheet, how each
// function reads its arguments (operand modes, ranges, optional arguments, argument counts),
// what it reports, the date flag and volatile results. The arithmetic itself is proven against
// independent vectors in the *CoresTest files.
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

TEST_F(FunctionsTest, StatisticsReadTheirListsInTheirOperandModes) {
  const FormulaCase cases[] = {
      {"=AVERAGE(1,2)", "=3/2"},
      {"=AVERAGE(A1:A5)", "=14/5"},
      {"=AVERAGE(B1:B5)", "=2"},        // numbers only
      {"=AVERAGE(B4)", "=0"},           // no values
      {"=AVERAGEA(B1:B5)", "=3/4"},     // checkboxes 1 and 0, the text 0, nothing at B4
      {"=COUNT(A1:B5)", "=6"},
      {"=COUNT(C1)", "!11"},            // an error cell fails a numeric list
      {"=COUNTBLANK(A1:B5,5)", "=1"},   // only B4; literals are not counted
      {"=MAX(A1:A5)", "=5"},
      {"=MAX(1/3,0.2)", "=1/3"},
      {"=MAX(B4)", "=0"},
      {"=MAXA(B1:B3)", "=1"},           // checkboxes count, the text does not
      {"=MIN(B1:B5)", "=2"},
      {"=MINA(B1:B3)", "=0"},
      {"=MEDIAN(4,1,3,2)", "=5/2"},
      {"=MEDIAN(A1:A5)", "=3"},
      {"=MODE(1,2,2,3,3)", "=2"},
      {"=MODE(1,2,3)", "!7"},
      {"=MODE.SNGL(A1:A5)", "=1"},
      {"=LARGE(A1:A5,1)", "=5"},
      {"=LARGE(A1:A5,0)", "!8"},
      {"=LARGE(A1:A5,6)", "!8"},
      {"=LARGE(5,1)", "!1"},            // the first argument must be a range or reference
      {"=LARGE(B3:B4,1)", "!7"},
      {"=SMALL(A1:A5,2)", "=1"},
      {"=SMALL(A1,1)", "=3"},
      {"=VAR.P(1,2,3)", "=2/3"},
      {"=VAR.P(5)", "=0"},
      {"=VAR.S(5)", "!3"},              // a sample of one divides by zero
      {"=VAR.S(B1:B2)", "!7"},
      {"=VARA(B1:B2)", "=1/2"},
      {"=VARPA(B1:B2)", "=1/4"},
      {"=STDEV.P(1,3)", "=1"},
      {"=STDEV.S(B1:B2)", "!7"},        // checkboxes count in STDEVA, not here
      {"=STDEVA(B1:B2)", "~0.707106781186547524400844362105"},
      {"=STDEVPA(B1:B2)", "~0.5"},
      {"=COMBIN(5,2)", "=10"},
      {"=COMBIN(5.9,2.1)", "=10"},
      {"=COMBIN(2,5)", "!8"},
      {"=PERMUT(2000,1)", "=2000"},
      {"=PERMUT(-1,0)", "!8"},
  };
  for (const FormulaCase& c : cases)
    EXPECT_TRUE(MatchesExpected(outcome(run(c.formula)), c.expected, 4e-19L)) << c.formula;
}

TEST_F(FunctionsTest, StandardDeviationIsTheRootOfTheVarianceOverTheSameCells) {
  // Over checkboxes VAR.S has no values; STDEV.S used to read them as 1 and 0.
  enter("D1", "=VAR.S(A1:B5)").evaluate();
  enter("D2", "=STDEV.S(A1:B5)").evaluate();
  const FunctionResult variance = outcome(*cell("D1"));
  const FunctionResult deviation = outcome(*cell("D2"));
  ASSERT_TRUE(variance.succeeded());
  ASSERT_TRUE(deviation.succeeded());
  EXPECT_NEAR(double(deviation.value.realValue() * deviation.value.realValue()),
              double(variance.value.realValue()), 1e-15);
}

TEST_F(FunctionsTest, MathAndRoundingFunctionsTakeNumbersInWrittenOrder) {
  const FormulaCase cases[] = {
      {"=CBRT(-8)", "=-2"},
      {"=E()", "~2.71828182845904509079559829843"},
      {"=EXP(0)", "=1"},
      {"=FACT(5)", "=120"},
      {"=FACT(-1)", "!8"},
      {"=GCD(12,18)", "=6"},
      {"=GCD(-4,6)", "!8"},
      {"=GCD(B3)", "!7"},
      {"=LCM(4,6)", "=12"},
      {"=LN(1)", "=0"},
      {"=LOG(100)", "=2"},
      {"=LOG(8,2)", "=3"},
      {"=LOG(0.001)", "=-3"},
      {"=LOG(5,1)", "!3"},
      {"=LOG10(1000)", "=3"},
      {"=LOG2(8)", "=3"},
      {"=MOD(-7,3)", "=-1"},
      {"=MOD(7,0)", "!3"},
      {"=MULTINOMIAL(2,3)", "=10"},
      {"=MULTINOMIAL(B3)", "=0"},
      {"=PI()", "~3.14159265358979311599796346854"},
      {"=POWER(2,10)", "=1024"},
      {"=PRODUCT(2,3,4)", "=24"},
      {"=PRODUCT(B3)", "=0"},
      {"=QUOTIENT(-7,2)", "=-3"},
      {"=QUOTIENT(7,0)", "!3"},
      {"=SERIESSUM(2,0,1,1,1,1)", "=7"},
      {"=SERIESSUM(2,0,1,A1:A2)", "=5"},
      {"=SERIESSUM(2,0,1)", "!7"},
      {"=SIGN(-2)", "=-1"},
      {"=SQRT(4)", "=2"},
      {"=SQRT(-1)", "!6"},
      {"=SQRTPI(1)", "~1.77245385090551599275151910314"},
      {"=SUM(1/3,1/6)", "=1/2"},
      {"=SUMSQ(1,2,3)", "=14"},
      {"=SUMSQ(B3)", "=0"},
      {"=RANDBETWEEN(5,5)", "=5"},
      {"=RANDBETWEEN(6,5)", "!8"},
      {"=ABS(-2.5)", "=5/2"},
      {"=CEILING(2.1,1)", "=3"},
      {"=CEILING(-2.1,-1)", "=-3"},
      {"=CEILING(-2.1,1)", "!8"},
      {"=CEILING.PRECISE(-2.5)", "=-2"},
      {"=CEILING.PRECISE(2.1,0.5)", "=5/2"},
      {"=FLOOR.PRECISE(-2.5)", "=-3"},
      {"=FLOOR.PRECISE(2.5,-1)", "!8"},
      {"=EVEN(2.5)", "=4"},
      {"=EVEN(-1)", "=-2"},
      {"=FLOOR(2.9,1)", "=2"},
      {"=INT(-2.5)", "=-3"},
      {"=MROUND(7,2)", "=8"},
      {"=ODD(2)", "=3"},
      {"=ODD(0)", "=1"},
      {"=ROUND(2.5,0)", "=3"},
      {"=ROUND(1234,-2)", "=1200"},
      {"=ROUNDDOWN(-2.57,1)", "=-5/2"},
      {"=ROUNDUP(2.01,1)", "=21/10"},
      {"=TRUNC(-2.5)", "=-2"},
      {"=TRUNC(1,2)", "!1"},            // one argument only: the second is left over
  };
  for (const FormulaCase& c : cases)
    EXPECT_TRUE(MatchesExpected(outcome(run(c.formula)), c.expected, 4e-19L)) << c.formula;
}

TEST_F(FunctionsTest, TrigonometryWorksInRadians) {
  const FormulaCase cases[] = {
      {"=ACOS(1)", "=0"},         {"=ACOS(2)", "!6"},  {"=ACOSH(1)", "=0"},
      {"=ASIN(0)", "=0"},         {"=ASINH(0)", "=0"}, {"=ATAN(0)", "=0"},
      {"=ATAN2(0,1)", "~1.57079632679489661923132169164"},
      {"=ATANH(0)", "=0"},        {"=ATANH(1)", "!3"}, {"=COS(0)", "=1"},
      {"=COSH(0)", "=1"},         {"=DEGREES(PI())", "=180"},
      {"=RADIANS(180)", "~3.14159265358979311599796346854"},
      {"=SIN(0)", "=0"},          {"=SINH(0)", "=0"},  {"=TAN(0)", "=0"},
      {"=TANH(0)", "=0"},
  };
  for (const FormulaCase& c : cases)
    EXPECT_TRUE(MatchesExpected(outcome(run(c.formula)), c.expected, 4e-19L)) << c.formula;
}

TEST_F(FunctionsTest, DateFinanceAndPhysicsFunctions) {
  const FormulaCase cases[] = {
      {"=DATE(2024,2,29)", "=20240229"},
      {"=DATE(2024,13,1)", "!11"},
      {"=DAY(20240315)", "=15"},
      {"=DAY(5)", "!11"},
      {"=MONTH(5)", "=0"},
      {"=YEAR(20240315)", "=2024"},
      {"=DAYS(20240101,20250101)", "=366"},
      {"=DAYS(20240301,20240201)", "!8"},
      {"=EDATE(20240131,1)", "=20240229"},
      {"=EDAY(20240131,1)", "=20240201"},
      {"=EOMONTH(20240115,1)", "=20240229"},
      {"=EYEAR(20240229,1)", "=20250228"},
      {"=WEEKDAY(20240107)", "=1"},
      {"=WEEKDAY(20240107,2)", "=7"},
      {"=WEEKDAY(20240107,3)", "=6"},
      {"=WEEKDAY(20240107,4)", "!1"},
      {"=WEEKDAY(20240107,C1)", "!1"},   // a return type that is no number
      {"=PMT(0,12,1000)", "=-250/3"},
      {"=PMT(0.01,12,1000)", "~-88.8487886783417073399878312279"},
      {"=PMT(-0.01,12,1000)", "!8"},
      {"=C(1)", "=299792458"},
      {"=C(0)", "=18737028625/100584"},
      {"=C()", "!1"},
      {"=FINE()", "=72973525693/10000000000000"},
      {"=G()", "~6.6743e-11"},
      {"=VP()", "~8.8541878128e-12"},
      {"=EC()", "~1.602176634e-19"},
      {"=H()", "~6.62607015e-34"},
      {"=HR()", "~1.05457181764615643237144955247e-34"},
      {"=K()", "~1.380649e-23"},
      {"=L()", "~6.02214076e23"},
  };
  for (const FormulaCase& c : cases)
    EXPECT_TRUE(MatchesExpected(outcome(run(c.formula)), c.expected, 1e-18L)) << c.formula;
}

TEST_F(FunctionsTest, DateFunctionsShowTheirResultsAsDates) {
  EXPECT_EQ(run("=DATE(2024,1,31)").formulaResultType(), kValueDate);
  EXPECT_EQ(run("=EOMONTH(20240115,1)").formulaResultType(), kValueDate);
  EXPECT_EQ(run("=DAY(20240131)").formulaResultType(), kValueNumber);
  EXPECT_EQ(run("=DATE(2024,1,31)+1").formulaResultType(), kValueNumber);
}

TEST_F(FunctionsTest, RandomAndTodayAreRecalculatedEveryTime) {
  const QDate before = QDate::currentDate();
  const CACell& today = run("=TODAY()");
  const QDate after = QDate::currentDate();
  EXPECT_TRUE(today.ephemeralResult());
  EXPECT_EQ(today.formulaResultType(), kValueDate);
  const int64_t value = today.number()->integerValue();
  const auto dayIndex = [](const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); };
  EXPECT_TRUE(value == dayIndex(before) || value == dayIndex(after)) << value;

  const CACell& random = run("=RAND()");
  EXPECT_TRUE(random.ephemeralResult());
  EXPECT_GE(random.number()->realValue(), 0);
  EXPECT_LT(random.number()->realValue(), 1);
  EXPECT_TRUE(run("=RANDBETWEEN(1,6)").ephemeralResult());
  EXPECT_TRUE(run("=RANDBETWEEN(6,1)").ephemeralResult());  // even when it fails
  EXPECT_FALSE(run("=SUM(1)").ephemeralResult());
}

TEST_F(FunctionsTest, EveryFunctionHasAHandler) {
  for (int32_t row = 1; row <= kFunctionCount; ++row)
    EXPECT_NE(g_functionInfo[row].handler, nullptr) << g_functionInfo[row].name;
  EXPECT_EQ(g_functionInfo[0].handler, nullptr);
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
