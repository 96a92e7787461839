// The formula parser: postfix order, unary minus, the parse errors with their offsets and
// absolute references.
#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "platform/NotificationCenter.h"

#include <QStringList>

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
        parts << token.number()->description();
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

struct PostfixCase {
  const char* formula;
  const char* postfix;
};

TEST(FormulaParser, ConvertsToPostfixWithMarkersAndUnaryMinus) {
  const PostfixCase cases[] = {
      {"=-A1+B1", "A1 ~ B1 +"},
      {"=-(A1+B1)*2", "A1 B1 + ~ 2 *"},
      {"=2^3^2", "2 3 2 ^ ^"},
      {"=-2^2", "-2 2 ^"},
      {"=SUM(1,2)", "( 1 2 SUM"},
      {"=1+2*3", "1 2 3 * +"},
      {"=SUM(A1:B10)*2+C3/4", "( A1:B10 SUM 2 * C3 4 / +"},
      {"=ROUND(SUM(A1, 2), 1)", "( ( A1 2 SUM 1 ROUND"},
      {"=-SUM(A1)+1", "( A1 SUM ~ 1 +"},
      // A range typed end first holds its corners in order.
      {"=sum(b2:A1)", "( A1:B2 SUM"},
      {"=SUM(A5:$A1)", "( A1:$A5 SUM"},
      {"=B1:A$3", "A1:B$3"},
      {"=.5+1", "1/2 1 +"},
      // A minus where an operand is expected negates what follows.
      {"=A1*-B1", "A1 B1 ~ *"},
      {"=SUM(-A1)", "( A1 ~ SUM"},
      {"=2^-A1", "2 A1 ~ ^"},
      {"=--A1", "A1 ~ ~"},
      {"=2*-3", "2 -3 *"},
      {"=-A1^2", "A1 ~ 2 ^"},
      // A plus where an operand is expected changes nothing.
      {"=+1", "1"},
      {"=1-+1", "1 1 -"},
      {"=+-A1", "A1 ~"},
      {"=SUM(+A1,+2)", "( A1 2 SUM"},
      {"=2*+(1+1)", "2 1 1 + *"},
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

struct ErrorCase {
  const char* formula;
  int32_t error;
  uint64_t offset;
};

TEST(FormulaParser, ReportsErrorsAtTheFailingToken) {
  const ErrorCase cases[] = {
      {"=", kFormulaErrorSymbol, 0},
      {"A1", kFormulaErrorSymbol, 0},
      {"=PI", kFormulaErrorSymbol, 1},
      {"=(1+2", kFormulaErrorParenthesis, 1},
      {"=1+(2*(3)", kFormulaErrorParenthesis, 3},
      {"=1+2)", kFormulaErrorParenthesis, 4},
      {"=1,2", kFormulaErrorComma, 2},
      {"=A1:B2:C3", kFormulaErrorSymbol, 1},
      {"=$A(1)", kFormulaErrorSymbol, 1},
      {"=1+NOSUCH(2)", kFormulaErrorSymbol, 3},
      {"=1 % 2", kFormulaErrorSymbol, 3},
      {"=A0", kFormulaErrorSymbol, 1},
      {"=2+A", kFormulaErrorSymbol, 3},
      {"=1+1e+", kFormulaErrorNumber, 3},
      {"=1\t+2", kFormulaErrorSymbol, 2},
      // A binary operator needs an operand on its left.
      {"=*1D1", kFormulaErrorSyntax, 1},
      {"=1*/2", kFormulaErrorSyntax, 3},
      {"=SUM(^2)", kFormulaErrorSyntax, 5},
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

}  // namespace
