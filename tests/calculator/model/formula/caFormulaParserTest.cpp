// The formula parser: postfix order, unary minus, the parse errors with their offsets and
// absolute references.
#include <gtest/gtest.h>

#include "calculator/model/LocaleTestSupport.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "platform/NotificationCenter.h"
#include "../ModelTestSupport.h"

#include <QStringList>

#include <vector>

namespace {

// The expression written out: references and ranges in A1 form, numbers as shown, operators
// by symbol, functions by name, argument markers as "(".
QString Postfix(const CAExpression& expression) {
  QStringList parts;
  for (const CAFormulaToken& token : expression) {
    switch (token.type()) {
      case kTokenReference:
        parts << FormatGridPoint(token.point());
        break;
      case kTokenRange:
        parts << FormatGridPoint(token.range().startPoint) + QLatin1Char(':') +
                     FormatGridPoint(token.range().endPoint);
        break;
      case kTokenNumber:
        parts << (token.number() ? token.number()->description() : QStringLiteral("<no number>"));
        break;
      case kTokenFunction:
        parts << QLatin1String(g_functionInfo[token.function()].name);
        break;
      default:
        parts << QLatin1String(g_operators[token.operatorCode()].symbol);
        break;
    }
  }
  return parts.join(QLatin1Char(' '));
}

struct PostfixCase { const char* formula; const char* postfix; };

TEST(FormulaParser, ConvertsToPostfixWithMarkersAndUnaryMinus) {
  const PostfixCase cases[] = {
      {"=-A1+B1", "A1 ~ B1 +"}, {"=-(A1+B1)*2", "A1 B1 + ~ 2 *"}, {"=2^3^2", "2 3 2 ^ ^"}, {"=-2^2", "-2 2 ^"},
      {"=SUM(1,2)", "( 1 2 SUM"}, {"=1+2*3", "1 2 3 * +"}, {"=SUM(A1:B10)*2+C3/4", "( A1:B10 SUM 2 * C3 4 / +"},
      {"=ROUND(SUM(A1, 2), 1)", "( ( A1 2 SUM 1 ROUND"}, {"=-SUM(A1)+1", "( A1 SUM ~ 1 +"},
      // A range typed end first holds its corners in order.
      {"=sum(b2:A1)", "( A1:B2 SUM"}, {"=SUM(A5:$A1)", "( A1:$A5 SUM"}, {"=B1:A$3", "A1:B$3"}, {"=.5+1", "1/2 1 +"},
      // A minus where an operand is expected negates what follows.
      {"=A1*-B1", "A1 B1 ~ *"}, {"=SUM(-A1)", "( A1 ~ SUM"}, {"=2^-A1", "2 A1 ~ ^"}, {"=--A1", "A1 ~ ~"},
      {"=2*-3", "2 -3 *"}, {"=-A1^2", "A1 ~ 2 ^"},
      // A plus where an operand is expected changes nothing.
      {"=+1", "1"}, {"=1-+1", "1 1 -"}, {"=+-A1", "A1 ~"}, {"=SUM(+A1,+2)", "( A1 2 SUM"}, {"=2*+(1+1)", "2 1 1 + *"},
      // Two operands side by side inside a call stay two arguments.
      {"=SUM(1D1)", "( 1 D1 SUM"},
  };
  for (const PostfixCase& c : cases) {
    CAExpression expression;
    uint64_t offset = 99;
    const int32_t error = ParseFormula(QString::fromUtf8(c.formula), expression, &offset);
    EXPECT_EQ(error, kFormulaOK) << c.formula;
    EXPECT_EQ(Postfix(expression), QString::fromUtf8(c.postfix)) << c.formula;
  }
}

struct ErrorCase { const char* formula; int32_t error; uint64_t offset; };

TEST(FormulaParser, ReportsErrorsAtTheFailingToken) {
  const ErrorCase cases[] = {
      {"=", kFormulaErrorSymbol, 0}, {"A1", kFormulaErrorSymbol, 0}, {"=PI", kFormulaErrorSymbol, 1},
      {"=(1+2", kFormulaErrorParenthesis, 1}, {"=1+(2*(3)", kFormulaErrorParenthesis, 3},
      {"=1+2)", kFormulaErrorParenthesis, 4}, {"=1,2", kFormulaErrorComma, 2}, {"=A1:B2:C3", kFormulaErrorSymbol, 1},
      {"=$A(1)", kFormulaErrorSymbol, 1}, {"=1+NOSUCH(2)", kFormulaErrorSymbol, 3},
      {"=1 % 2", kFormulaErrorSymbol, 3}, {"=A0", kFormulaErrorSymbol, 1}, {"=2+A", kFormulaErrorSymbol, 3},
      {"=1+1e+", kFormulaErrorNumber, 3}, {"=1\t+2", kFormulaErrorSymbol, 2},
      // A binary operator needs an operand on its left.
      {"=*1D1", kFormulaErrorSyntax, 1}, {"=1*/2", kFormulaErrorSyntax, 3}, {"=SUM(^2)", kFormulaErrorSyntax, 5},
      {"=1+ *2", kFormulaErrorSyntax, 4},
  };
  for (const ErrorCase& c : cases) {
    CAExpression expression;
    uint64_t offset = 99;
    EXPECT_EQ(ParseFormula(QString::fromUtf8(c.formula), expression, &offset), c.error) << c.formula;
    EXPECT_EQ(offset, c.offset) << c.formula;
  }
}

TEST(FormulaParser, KeepsTheTokensMadeBeforeAnError) {
  CAExpression expression;
  uint64_t offset = 0;
  EXPECT_EQ(ParseFormula(QStringLiteral("=A1+B2+%"), expression, &offset), kFormulaErrorSymbol);
  EXPECT_EQ(Postfix(expression), QStringLiteral("A1 B2 +"));
}

// "=" and `open` n times, `middle`, `close` n times.
QString Nested(const char* open, int n, const char* middle, const char* close) {
  QString text = QStringLiteral("=");
  for (int i = 0; i < n; ++i) text += QLatin1String(open);
  text += QLatin1String(middle);
  for (int i = 0; i < n; ++i) text += QLatin1String(close);
  return text;
}

TEST(FormulaParser, RefusesNestingPastItsBoundAtTheTokenThatWentTooDeep) {
  const int64_t bound = kMaxFormulaNesting;
  const int n = int(bound);
  const struct {
    QString formula;
    int32_t error;
    uint64_t offset;  // of the token past the bound
    double value;     // when it parses
  } cases[] = {
      {Nested("(", n, "7", ")"), kFormulaOK, 0, 7},
      {Nested("(", n + 1, "7", ")"), kFormulaErrorNesting, uint64_t(bound) + 1, 0},
      {Nested("(0-", n, "7", ")"), kFormulaOK, 0, 7},
      {Nested("(0-", n + 1, "7", ")"), kFormulaErrorNesting, 1 + 3 * uint64_t(bound), 0},
      {Nested("ABS(", n, "7", ")"), kFormulaOK, 0, 7},
      {Nested("ABS(", n - 1, "-7", ")"), kFormulaOK, 0, 7},
      // A function's own parenthesis is what counts: the one past the bound is the error.
      {Nested("ABS(", n + 1, "-7", ")"), kFormulaErrorNesting, 1 + 4 * uint64_t(bound) + 3, 0},
      // A number's sign is a unary minus too, one level inside the function's parentheses.
      {Nested("ABS(", n, "-7", ")"), kFormulaErrorNesting, 1 + 4 * uint64_t(bound), 0},
      // Unary minuses wait on one another as parentheses do ("--7" is "-(-7)").
      {Nested("-", n, "A1", ""), kFormulaOK, 0, 0},
      {Nested("-", n + 1, "A1", ""), kFormulaErrorNesting, uint64_t(bound) + 1, 0},
      // The last of them the sign of the number that follows, counted all the same.
      {Nested("-", n, "7", ""), kFormulaOK, 0, n % 2 == 0 ? 7 : -7},
      {Nested("-", n + 1, "7", ""), kFormulaErrorNesting, uint64_t(bound) + 1, 0},
      {Nested("-", n + 1, ".5", ""), kFormulaErrorNesting, uint64_t(bound) + 1, 0},
      {Nested("(", n, "-7", ")"), kFormulaErrorNesting, uint64_t(bound) + 1, 0},
      {Nested("(", n - 1, "-7", ")"), kFormulaOK, 0, -7},
      // So do powers, which group to the right.
      {Nested("1^", n, "1", ""), kFormulaOK, 0, 1},
      {Nested("1^", n + 1, "1", ""), kFormulaErrorNesting, 2 * uint64_t(bound) + 2, 0},
      // Each kind counts towards the one bound: half parentheses, half minuses.
      {Nested("(", n / 2, "", ")").left(n / 2 + 1) + QString(n / 2, u'-') + QStringLiteral("A1") + QString(n / 2, u')'),
       kFormulaOK, 0, 0},
      {Nested("(", n / 2, "", ")").left(n / 2 + 1) + QString(n / 2 + 1, u'-') + QStringLiteral("A1") +
           QString(n / 2, u')'),
       kFormulaErrorNesting, uint64_t(bound) + 1, 0},
      // What follows one another does not nest, however long.
      {QStringLiteral("=1") + QString(QStringLiteral("+1")).repeated(20000), kFormulaOK, 0, 20001},
      {QStringLiteral("=(1)") + QString(QStringLiteral("+(1)")).repeated(20000), kFormulaOK, 0, 20001},
      {QStringLiteral("=2") + QString(QStringLiteral("*2/2")).repeated(20000), kFormulaOK, 0, 2},
  };
  for (const auto& c : cases) {
    CAExpression expression;
    uint64_t offset = 99;
    const std::string shown = c.formula.left(24).toStdString() + "... (" + std::to_string(c.formula.size()) + ")";
    EXPECT_EQ(ParseFormula(c.formula, expression, &offset), c.error) << shown;
    EXPECT_EQ(offset, c.offset) << shown;
    if (c.error != kFormulaOK) continue;
    // No argument marker of a plain parenthesis is left behind.
    for (const CAFormulaToken& token : expression) EXPECT_FALSE(token.isOperator(kOperatorClose)) << shown;
    CADocument document;
    CACell* cell = document.cellAtGridPointImperative({1, 0});
    ASSERT_NE(cell, nullptr);
    cell->setFormula(c.formula);
    document.evaluate();
    ASSERT_TRUE(cell->number().has_value()) << shown;
    EXPECT_EQ(double(cell->number()->realValue()), c.value) << shown;
  }
}

TEST(FormulaParser, ACellNestedTooDeeplyShowsASyntaxErrorAndIsNotRun) {
  ModelEnvironment environment;
  CADocument document;
  CACell* cell = document.cellAtGridPointImperative({0, 0});
  ASSERT_NE(cell, nullptr);
  cell->setFormula(Nested("(", int(kMaxFormulaNesting) + 1, "B1", ")"));
  document.evaluate();
  EXPECT_EQ(cell->valueType(), kValueError);
  EXPECT_EQ(cell->parseResult(), kFormulaErrorNesting);
  EXPECT_EQ(cell->errorOffset(), uint64_t(kMaxFormulaNesting) + 1);
  EXPECT_EQ(cell->displayText(false), QStringLiteral("<Syntax>"));
  EXPECT_FALSE(cell->number().has_value());
}

TEST(FormulaParser, ParsesAbsoluteAndMixedReferences) {
  CAExpression expression;
  uint64_t offset = 0;
  ASSERT_EQ(ParseFormula(QStringLiteral("=$A$1+B$2+$C3:D4"), expression, &offset), kFormulaOK);
  ASSERT_EQ(expression.size(), 5u);
  EXPECT_EQ(expression[0].point(), (GridPoint{~int64_t(0), ~int64_t(0)}));
  EXPECT_EQ(expression[1].point(), (GridPoint{1, ~int64_t(1)}));
  EXPECT_EQ(expression[3].range().startPoint, (GridPoint{~int64_t(2), 2}));
  EXPECT_EQ(expression[3].range().endPoint, (GridPoint{3, 3}));
}

// ---- The formula text services of the editor ------------------------------------------------

TEST(FormulaToken, EachKindAnswersForItselfAndDefaultsTheRest) {
  const GridPoint b2{1, 1};
  const GridRange block{{0, 0}, {2, 3}};
  const GridPoint noPoint{kGridNoPoint, 0};
  const struct { CAFormulaToken token; int32_t type; GridPoint point; GridRange range; bool number; } cases[] = {
      {CAFormulaToken::withReference(b2), kTokenReference, b2, GridRange{}, false},
      {CAFormulaToken::withRange(block), kTokenRange, noPoint, block, false},
      {CAFormulaToken::withNumber(CANumber::withNumerator(1, 3)), kTokenNumber, noPoint, GridRange{}, true},
      {CAFormulaToken::withOperator(kOperatorPower), kTokenOperator, noPoint, GridRange{}, false},
      {CAFormulaToken::withFunction(3), kTokenFunction, noPoint, GridRange{}, false},
      {CAFormulaToken(), kTokenRange, noPoint, GridRange{}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.token.type(), c.type);
    EXPECT_EQ(c.token.point(), c.point) << c.type;
    EXPECT_EQ(c.token.range(), c.range) << c.type;
    EXPECT_EQ(c.token.number().has_value(), c.number) << c.type;
  }
  ASSERT_TRUE(cases[2].token.number().has_value());
  EXPECT_EQ(*cases[2].token.number(), CANumber::withNumerator(1, 3));
}

TEST(FormulaText, TemplatesPutTheSelectionOnTheArguments) {
  struct {
    const char* name;
    const char* text;
    uint64_t location, length;  // of the range after a call with {100, 0}
  } cases[] = {
      {"PI", "PI()", 104, 0}, {"DATE", "DATE(#year#,#month#,#day#)", 105, 20},
      {"SUM", "SUM(#number1#,#number2#,#\u2026#)", 104, 23},
  };
  for (const auto& c : cases) {
    CATextRange range{100, 0};
    EXPECT_EQ(FunctionNameWithArguments(FunctionFromName(QString::fromLatin1(c.name)), &range), QString::fromUtf8(c.text)) << c.name;
    EXPECT_EQ(range.location, c.location) << c.name;
    EXPECT_EQ(range.length, c.length) << c.name;
  }
  EXPECT_TRUE(FunctionNameWithArguments(0, nullptr).isNull());
}

// Under the decimal comma the placeholders are parted by a comma and a blank, so that numbers
// typed over them stay apart, and each is still found whole.
TEST(FormulaText, TemplatesUnderTheDecimalCommaPartArgumentsWithABlank) {
  const TestLocale german("de_DE");
  CATextRange range{0, 0};
  const QString text = FunctionNameWithArguments(FunctionFromName(QStringLiteral("DATE")), &range);
  EXPECT_EQ(text, QStringLiteral("DATE(#year#, #month#, #day#)"));
  EXPECT_EQ(range.location, 5u);
  EXPECT_EQ(range.length, 22u);
  const QString typed = QLatin1Char('=') + text;
  const struct { uint64_t start, location, length; } cases[] = {
      {0, 6, 6}, {7, 14, 7}, {14, 14, 7}, {21, 23, 5}, {28, 0x7FFFFFFFFFFFFFFF, 0},
  };
  for (const auto& c : cases) {
    const CATextRange found = RangeOfFunctionArgument(typed, c.start);
    EXPECT_EQ(found.location, c.location) << c.start;
    EXPECT_EQ(found.length, c.length) << c.start;
  }
}

TEST(FormulaText, PlaceholdersAreFoundWholeAndJoinedOnesApart) {
  const QString text = QStringLiteral("=DATE(#year#,#month#,#day#)");
  struct { uint64_t start, location, length; } cases[] = {
      {0, 6, 6},    // "#year#"
      {7, 13, 7},   // from inside the first: "#,#" joins two, so the next is "#month#"
      {12, 13, 7},
      {20, 21, 5},  // "#day#"
      {26, 0x7FFFFFFFFFFFFFFF, 0}, {999, 0x7FFFFFFFFFFFFFFF, 0},
  };
  for (const auto& c : cases) {
    const CATextRange range = RangeOfFunctionArgument(text, c.start);
    EXPECT_EQ(range.location, c.location) << c.start;
    EXPECT_EQ(range.length, c.length) << c.start;
  }
}

TEST(FormulaText, RecentFunctionsKeepTheLatestTenFirst) {
  g_recentFunctionCount = 0;
  EXPECT_TRUE(RecordRecentFunction(5));
  EXPECT_FALSE(RecordRecentFunction(5));
  EXPECT_TRUE(RecordRecentFunction(7));
  EXPECT_TRUE(RecordRecentFunction(5));
  EXPECT_EQ(g_recentFunctionCount, 2);
  EXPECT_EQ(g_recentFunctions[0], 5);
  EXPECT_EQ(g_recentFunctions[1], 7);
  for (int32_t row = 20; row < 30; ++row) RecordRecentFunction(row);
  EXPECT_EQ(g_recentFunctionCount, kMaxRecentFunctions);
  EXPECT_EQ(g_recentFunctions[0], 29);
  EXPECT_EQ(g_recentFunctions[9], 20);  // 5 and 7 dropped off the end
  // One already listed moves to the front without dropping another.
  EXPECT_TRUE(RecordRecentFunction(24));
  EXPECT_EQ(g_recentFunctions[0], 24);
  EXPECT_EQ(g_recentFunctions[9], 20);
  g_recentFunctionCount = 0;
}

TEST(FormulaText, CompletionsFollowTheNameTypedAtTheEnd) {
  ModelEnvironment environment;
  struct { const char* text; uint64_t start, length; std::vector<const char*> expected; } cases[] = {
      {"=SUM", 1, 3, {"=SUM(#number1#,#number2#,#\u2026#)", "=SUMSQ(#number1#,#number2#,#\u2026#)"}},
      {"=pi", 1, 2, {"=pi()"}},
      {"=ST", 1, 2, {"=STDEV.P(#number1#,#number2#,#\u2026#)", "=STDEV.S(#number1#,#number2#,#\u2026#)",
                     "=STDEVA(#number1#,#number2#,#\u2026#)", "=STDEVPA(#number1#,#number2#,#\u2026#)"}},
      {"=SUM", 1, 2, {}},  // the partial word does not end the text
      {"=1S", 1, 2, {}},   // a name starts with a letter
      {"=S+", 1, 2, {}}, {"=XYZ", 1, 3, {}},
  };
  for (const auto& c : cases) {
    QStringList expected;
    for (const char* e : c.expected) expected << QString::fromUtf8(e);
    EXPECT_EQ(AutoCompletionArray(QString::fromUtf8(c.text), c.start, c.length), expected) << c.text;
  }
  CAModelPreferences off;
  off.autoComplete = false;
  environment.set(off);
  EXPECT_TRUE(AutoCompletionArray(QStringLiteral("=SUM"), 1, 3).isEmpty());
}

}  // namespace
