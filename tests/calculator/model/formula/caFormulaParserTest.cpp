// The formula parser: postfix order, unary minus, the parse errors with their offsets, name
// lookup, argument templates, completion and the recent-functions list.
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
      {"=(1+2)*3", "1 2 + 3 *"},
      {"=8/4/2", "8 4 / 2 /"},
      {"=1-2-3", "1 2 - 3 -"},
      {"=SUM(A1:B10)*2+C3/4", "( A1:B10 SUM 2 * C3 4 / +"},
      {"=PI()", "( PI"},
      {"=$A$1", "$A$1"},
      {"= 1", "1"},
      {"=ROUND(SUM(A1, 2), 1)", "( ( A1 2 SUM 1 ROUND"},
      {"=-SUM(A1)+1", "( A1 SUM ~ 1 +"},
      {"=sum(b2:A1)", "( B2:A1 SUM"},
      {"=.5+1", "1/2 1 +"},
      // A minus where an operand is expected negates what follows.
      {"=A1*-B1", "A1 B1 ~ *"},
      {"=SUM(-A1)", "( A1 ~ SUM"},
      {"=(-A1)", "A1 ~"},
      {"=SUM(1,-A1)", "( 1 A1 ~ SUM"},
      {"=2^-A1", "2 A1 ~ ^"},
      {"=--A1", "A1 ~ ~"},
      {"=2*-3", "2 -3 *"},
      {"=-A1^2", "A1 ~ 2 ^"},
  };
  for (const PostfixCase& c : cases) {
    CAExpression expression;
    uint64_t offset = 99;
    const int32_t error = ParseFormula(QString::fromUtf8(c.formula), expression, &offset);
    EXPECT_EQ(error, kFormulaOK) << c.formula;
    EXPECT_EQ(Postfix(expression), QString::fromUtf8(c.postfix)) << c.formula;
  }
}

TEST(FormulaParser, TokensRecordWhereTheyStart) {
  CAExpression expression;
  uint64_t offset = 0;
  ASSERT_EQ(ParseFormula(QStringLiteral("=SUM(A1, -B22)"), expression, &offset), kFormulaOK);
  // ( A1 B22 ~ SUM
  ASSERT_EQ(expression.size(), 5u);
  EXPECT_EQ(expression[0].formulaIndex(), 4u);
  EXPECT_EQ(expression[1].formulaIndex(), 5u);
  EXPECT_EQ(expression[2].formulaIndex(), 10u);
  EXPECT_EQ(expression[3].formulaIndex(), 9u);
  EXPECT_EQ(expression[4].formulaIndex(), 1u);
}

struct ErrorCase {
  const char* formula;
  int32_t error;
  uint64_t offset;
};

TEST(FormulaParser, ReportsErrorsAtTheFailingToken) {
  const ErrorCase cases[] = {
      {"=", kFormulaErrorSymbol, 0},
      {"", kFormulaErrorSymbol, 0},
      {"A1", kFormulaErrorSymbol, 0},
      {"=PI", kFormulaErrorSymbol, 1},
      {"=(1+2", kFormulaErrorParenthesis, 1},
      {"=1+(2*(3)", kFormulaErrorParenthesis, 3},
      {"=1+2)", kFormulaErrorParenthesis, 4},
      {"=1,2", kFormulaErrorComma, 2},
      {"=A1:B2:C3", kFormulaErrorSymbol, 1},
      {"=$A(1)", kFormulaErrorSymbol, 1},
      {"=A$1(2)", kFormulaErrorSymbol, 1},
      {"=1+NOSUCH(2)", kFormulaErrorSymbol, 3},
      {"=1 % 2", kFormulaErrorSymbol, 3},
      {"=1 & 2", kFormulaErrorSymbol, 3},
      {"=A0", kFormulaErrorSymbol, 1},
      {"=2+A", kFormulaErrorSymbol, 3},
      {"=1+1e+", kFormulaErrorNumber, 3},
      {"=1+.", kFormulaErrorNumber, 3},
      {"=1\t+2", kFormulaErrorSymbol, 2},
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

TEST(FunctionNames, LookupIgnoresCaseAndKnowsEveryRow) {
  EXPECT_EQ(FunctionFromName(u"sum"), FunctionFromName(u"SUM"));
  EXPECT_EQ(FunctionFromName(u""), 0);
  EXPECT_EQ(FunctionFromName(u"SUMX"), 0);
  EXPECT_EQ(FunctionFromName(u"ceiling.precise"), FunctionFromName(u"CEILING.PRECISE"));
  for (int32_t row = 1; row <= kFunctionCount; ++row)
    EXPECT_EQ(FunctionFromName(QString::fromLatin1(g_functionInfo[row].name).toLower()), row);
}

TEST(FunctionNames, TemplatesPlaceTheSelectionOnTheArguments) {
  CATextRange range{10, 3};
  EXPECT_EQ(FunctionNameWithArguments(FunctionFromName(u"DATE"), &range),
            QStringLiteral("DATE(#year#,#month#,#day#)"));
  EXPECT_EQ(range, (CATextRange{15, 20}));
  range = CATextRange{1, 0};
  EXPECT_EQ(FunctionNameWithArguments(FunctionFromName(u"PI"), &range), QStringLiteral("PI()"));
  EXPECT_EQ(range, (CATextRange{5, 0}));
}

TEST(FunctionNames, FindsTheNextPlaceholder) {
  const QString text = QStringLiteral("=DATE(#year#,#month#,#day#)");
  EXPECT_EQ(RangeOfFunctionArgument(text, 0), (CATextRange{6, 6}));
  EXPECT_EQ(RangeOfFunctionArgument(text, 7), (CATextRange{13, 7}));
  // Starting on the closing "#" of a placeholder skips the "#,#" joint.
  EXPECT_EQ(RangeOfFunctionArgument(text, 11), (CATextRange{13, 7}));
  EXPECT_EQ(RangeOfFunctionArgument(text, 26).location, 0x7FFFFFFFFFFFFFFFu);
  EXPECT_EQ(RangeOfFunctionArgument(QStringLiteral("=A1"), 0).location, 0x7FFFFFFFFFFFFFFFu);
}

class RecentFunctions : public testing::Test {
 protected:
  void SetUp() override { g_recentFunctionCount = 0; }
  void TearDown() override { g_recentFunctionCount = 0; }
};

TEST_F(RecentFunctions, MovesToTheFrontAndDropsTheOldest) {
  EXPECT_TRUE(RecordRecentFunction(5));
  EXPECT_FALSE(RecordRecentFunction(5));
  for (int32_t row = 10; row < 19; ++row) EXPECT_TRUE(RecordRecentFunction(row));
  EXPECT_EQ(g_recentFunctionCount, 10);
  EXPECT_EQ(g_recentFunctions[9], 5);
  EXPECT_TRUE(RecordRecentFunction(30));  // an eleventh pushes 5 off
  EXPECT_EQ(g_recentFunctionCount, 10);
  EXPECT_EQ(g_recentFunctions[0], 30);
  EXPECT_EQ(g_recentFunctions[9], 10);
  EXPECT_TRUE(RecordRecentFunction(14));  // present further back: moved, nothing dropped
  const int32_t expected[] = {14, 30, 18, 17, 16, 15, 13, 12, 11, 10};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(g_recentFunctions[i], expected[i]) << i;
}

TEST_F(RecentFunctions, CellsRecordNewFunctionsOnceAndAnnounceIt) {
  CADocument document;
  int posted = 0;
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kRecentFunctionsNotification), nullptr, [&](const Notification&) { ++posted; });
  CACell* cell = document.cellAtGridPointImperative({0, 0});
  cell->setRecordNewFunctions(true);
  cell->setFormula(QStringLiteral("=SUM(1)+ABS(2)"));
  EXPECT_EQ(g_recentFunctionCount, 2);
  EXPECT_EQ(g_recentFunctions[0], FunctionFromName(u"ABS"));
  EXPECT_EQ(posted, 1);
  // Functions the formula already used are not recorded again.
  cell->setFormula(QStringLiteral("=SUM(1)+ABS(3)"));
  EXPECT_EQ(g_recentFunctions[0], FunctionFromName(u"ABS"));
  EXPECT_EQ(posted, 1);
  cell->setRecordNewFunctions(false);
  cell->setFormula(QStringLiteral("=PI()"));
  EXPECT_EQ(g_recentFunctionCount, 2);
}

TEST(Completion, OffersTemplatesForANamePrefix) {
  const QStringList upper = AutoCompletionArray(QStringLiteral("=SQ"), 1, 2);
  EXPECT_EQ(upper, (QStringList{QStringLiteral("=SQRT(#number#)"), QStringLiteral("=SQRTPI(#number#)")}));
  EXPECT_EQ(AutoCompletionArray(QStringLiteral("=pi"), 1, 2), QStringList{QStringLiteral("=pi()")});
  EXPECT_TRUE(AutoCompletionArray(QStringLiteral("=SQ"), 1, 1).isEmpty());  // not at the end
  EXPECT_TRUE(AutoCompletionArray(QStringLiteral("SQ"), 0, 2).isEmpty());
  EXPECT_TRUE(AutoCompletionArray(QStringLiteral("=1S"), 1, 2).isEmpty());
  EXPECT_TRUE(AutoCompletionArray(QStringLiteral("=QQ"), 1, 2).isEmpty());
  SetModelPreferencesProvider([] {
    CAModelPreferences preferences;
    preferences.autoComplete = false;
    return preferences;
  });
  EXPECT_TRUE(AutoCompletionArray(QStringLiteral("=SQ"), 1, 2).isEmpty());
  SetModelPreferencesProvider(nullptr);
}

TEST(Completion, SelectionWidensOverPlaceholders) {
  CADocument document;
  const QString text = QStringLiteral("=DATE(#year#,#month#,#day#)");
  EXPECT_EQ(UpdateDocumentTextSelection(document, text, CATextRange{7, 4}), (CATextRange{6, 6}));
  EXPECT_EQ(document.activeCellTextSel(), (CATextRange{6, 6}));
  EXPECT_EQ(UpdateDocumentTextSelection(document, text, CATextRange{27, 0}), (CATextRange{6, 20}));
  EXPECT_EQ(UpdateDocumentTextSelection(document, text, CATextRange{2, 1}), (CATextRange{2, 1}));
  EXPECT_EQ(UpdateDocumentTextSelection(document, QStringLiteral("=#a#)"), CATextRange{2, 1}),
            (CATextRange{2, 1}));
}

}  // namespace
