// The operand helpers of the function handlers: the mode table of cells, list errors, sorted
// range lists, and SUM against COUNTA on error cells.
#include <gtest/gtest.h>

#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caFunctionTable.h"
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
      {"A2", {"0", "skip", "skip", "0", "skip"}}, {"A3", {"skip", "1", "1", "1", "skip"}},
      {"A4", {"skip", "0", "0", "0", "skip"}}, {"A5", {"skip", "20240131", "20240131", "20240131", "20240131"}},
      {"A6", {"skip", "1/4", "1/4", "1/4", "1/4"}}, {"A7", {"0", "skip", "skip", "skip", "skip"}},
      {"A8", {"skip", "12", "12", "12", "12"}}, {"A9", {"skip", "0", "fail", "fail", "fail"}},
      {"A10", {"skip", "0", "skip", "0", "skip"}}, {"A11", {"skip", "0", "skip", "0", "skip"}},
      {"A12", {"0", "skip", "skip", "0", "skip"}}, {"A13", {"skip", "0", "skip", "0", "skip"}},
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

struct ListCase { const char* formula; int32_t mode; uint32_t error; size_t count; };

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
      {"=SUM(A1:A3)", kOperandNonEmptyCount, 0, 3}, {"=SUM(A1:A4)", kOperandBlankCount, 0, 1},
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
    if (list) { EXPECT_EQ(list->size(), c.count) << c.formula; }
  }
}

TEST_F(OperandTest, ARangeTypedEndFirstNamesTheSameCells) {
  enter("A1", "1");
  enter("B2", "2");
  enter("A2", "x");
  size_t expected = 0;
  {
    CAEvaluationContext context = contextFor("=SUM(1,A1:B2)");
    const std::optional<CAOperandArray> list = CreateOperandArray(context, kOperandNonEmptyCount);
    ASSERT_TRUE(list);
    expected = list->size();
  }
  EXPECT_EQ(expected, 4u);
  for (const char* formula : {"=SUM(1,B2:A1)", "=SUM(1,A2:B1)", "=SUM(1,$B$2:A1)"}) {
    CAEvaluationContext context = contextFor(formula);
    const std::optional<CAOperandArray> list = CreateOperandArray(context, kOperandNonEmptyCount);
    ASSERT_TRUE(list) << formula;
    EXPECT_EQ(context.error, 0u) << formula;
    EXPECT_EQ(list->size(), expected) << formula;
  }
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

// A column of every kind of cell, 150 rows, read by the list functions through tall ranges that
// start at the same row (as running totals are) and through the same cells listed one by one:
// whether a recalculation folds the range or the list is walked, the results are the same.
TEST_F(OperandTest, TallRangesGiveWhatTheirCellsListedOneByOneGive) {
  constexpr int64_t kRows = 150;
  constexpr int64_t kErrorRow = 119;  // A120
  const auto fill = [&](int64_t y, int64_t variant) {
    const auto put = [&](const QString& text) { document.cellAtGridPointImperative({0, y})->setFormula(text); };
    if (y == kErrorRow) return put(QStringLiteral("=1/0"));
    switch ((y + variant) % 13) {
      case 0: return put(QString::number(y * 7 - 300));          // integers, some negative
      case 1: return put(QStringLiteral("%1.75").arg(y));         // quarters
      case 2: return put(QStringLiteral("item"));                 // text
      case 3: return;                                             // nothing
      case 4: return put(QStringLiteral("=SQRT(%1)").arg(y));     // reals
      case 5: return put(QStringLiteral("9223372036854775807"));  // sums leave 64 bits
      case 6: return put(QStringLiteral("-9223372036854775806"));
      case 7: return put(QStringLiteral("1/%1/2024").arg(y % 28 + 1));  // dates
      case 8: {
        CACell& check = *document.cellAtGridPointImperative({0, y});
        check.setValueType(kValueCheckbox);
        check.setChecked(y % 2 == 0);
        return;
      }
      case 9: return put(QStringLiteral("=1/7"));
      case 10: return put(QString());  // an empty cell
      case 11: return put(y % 2 ? QStringLiteral("1E300") : QStringLiteral("-1E300"));
      default: return put(QStringLiteral("0.0000000001"));
    }
  };
  for (int64_t y = 0; y < kRows; ++y) fill(y, 0);

  const char* functions[] = {"SUM", "AVERAGE", "AVERAGEA", "MAX", "MIN", "MAXA", "MINA", "COUNT", "COUNTA"};
  const int64_t ends[] = {64, 65, 66, 100, 119, 120, 150};
  // Each function in a column of ranges and a column of lists, the formula for rows 1..k in row k.
  std::vector<std::pair<GridPoint, GridPoint>> pairs;
  const auto list = [](int64_t from, int64_t to) {
    QStringList points;
    for (int64_t row = from; row <= to; ++row) points.append(QStringLiteral("A%1").arg(row));
    return points.join(QLatin1Char(','));
  };
  const auto add = [&](int64_t x, int64_t y, const QString& range, const QString& listed) {
    document.cellAtGridPointImperative({x, y})->setFormula(range);
    document.cellAtGridPointImperative({x + 1, y})->setFormula(listed);
    pairs.emplace_back(GridPoint{x, y}, GridPoint{x + 1, y});
  };
  int64_t x = 2;
  for (const char* function : functions) {
    const QString name = QString::fromLatin1(function);
    for (const int64_t k : ends)
      add(x, k - 1, QStringLiteral("=%1(A$1:A%2)").arg(name).arg(k), QStringLiteral("=%1(%2)").arg(name, list(1, k)));
    x += 2;
  }
  // Another first row, and a range far past the cells.
  for (const int64_t k : ends)
    add(x, k - 1, QStringLiteral("=SUM(A$5:A%1)").arg(k), QStringLiteral("=SUM(%1)").arg(list(5, k)));
  add(x + 2, 0, QStringLiteral("=COUNTA(A1:A100000)"), QStringLiteral("=COUNTA(%1)").arg(list(1, kRows)));
  // A chain: each reads the one above, so that the ranges come longer one by one.
  for (int64_t k = 64; k <= 80; ++k)
    add(x + 4, k - 1, QStringLiteral("=MAX(A$1:A%1)+0*%2").arg(k).arg(FormatGridPoint(x + 4, k - 2)),
        QStringLiteral("=MAX(%1)+0*%2").arg(list(1, k), FormatGridPoint(x + 5, k - 2)));

  const auto expectPairsAgree = [&](const char* when) {
    for (const auto& [range, listed] : pairs) {
      const CACell& a = *document.cellAtGridPoint(range);
      const CACell& b = *document.cellAtGridPoint(listed);
      EXPECT_EQ(a.valueType(), b.valueType()) << when << ' ' << a.formula().toStdString();
      EXPECT_EQ(a.evalResult(), b.evalResult()) << when << ' ' << a.formula().toStdString();
      ASSERT_EQ(a.number().has_value(), b.number().has_value()) << when << ' ' << a.formula().toStdString();
      if (!a.number()) continue;
      EXPECT_EQ(a.number()->form(), b.number()->form()) << when << ' ' << a.formula().toStdString();
      EXPECT_TRUE(*a.number() == *b.number()) << when << ' ' << a.formula().toStdString() << ": "
                                              << a.number()->description().toStdString() << " against "
                                              << b.number()->description().toStdString();
    }
  };
  recalc();
  expectPairsAgree("entered");
  // MAX and MIN of A1:A64 are the first 1E300 and -1E300; a SUM reaching the error cell fails.
  EXPECT_TRUE(*cell("I64")->number() == CANumber::withString(QStringLiteral("1E300"), false));
  EXPECT_TRUE(*cell("K64")->number() == CANumber::withString(QStringLiteral("-1E300"), false));
  EXPECT_EQ(shown("C120"), "error 11");

  // The kinds shift by a row: the next recalculation folds the cells anew.
  for (int64_t y = 0; y < kRows; ++y) {
    if (CACell* old = document.cellAtGridPoint({0, y})) old->clearValue();
    fill(y, 1);
  }
  recalc();
  expectPairsAgree("changed");
}

}  // namespace
