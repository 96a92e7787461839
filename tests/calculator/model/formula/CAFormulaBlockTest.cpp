// The block a cell keeps its entered text and a formula's tokens in: both read back as given,
// each replaceable without the other, including from the block's own contents; and cells that
// keep their texts and tokens through entering, adjusting and copying; and the cell fields that
// share bytes with its number.
#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/formula/CAFormulaBlock.h"
#include "calculator/model/formula/caFormulaParser.h"

#include <utility>
#include <vector>

namespace {

CAExpression Parsed(const QString& formula) {
  CAExpression tokens;
  uint64_t offset = 0;
  ParseFormula(formula, tokens, &offset);
  return tokens;
}

// Tokens compared by what they say: kind, place in the text and payload.
void ExpectSameTokens(CAExpressionView actual, const CAExpression& expected, const std::string& where) {
  ASSERT_EQ(actual.size(), expected.size()) << where;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].type(), expected[i].type()) << where << " token " << i;
    EXPECT_EQ(actual[i].formulaIndex(), expected[i].formulaIndex()) << where << " token " << i;
    EXPECT_EQ(actual[i].function(), expected[i].function()) << where << " token " << i;
    EXPECT_EQ(actual[i].operatorCode(), expected[i].operatorCode()) << where << " token " << i;
    EXPECT_EQ(actual[i].point(), expected[i].point()) << where << " token " << i;
    EXPECT_EQ(actual[i].range().startPoint, expected[i].range().startPoint) << where << " token " << i;
    EXPECT_EQ(actual[i].range().endPoint, expected[i].range().endPoint) << where << " token " << i;
    EXPECT_EQ(actual[i].number(), expected[i].number()) << where << " token " << i;
  }
}

TEST(FormulaBlockTest, HoldsTextAndTokensAsGiven) {
  const QString longText(5000, QChar(u'\u00e9'));
  const struct {
    QString text;
    bool formula;
  } cases[] = {
      {QStringLiteral("=A1+1"), true},
      {QStringLiteral("=SUM(A1:J1)*2^3-$B$7/1.5"), true},
      {QStringLiteral("=ROUND(A1,2)+-B3/(1/3)"), true},
      {QStringLiteral("plain text"), false},
      {QStringLiteral("x"), false},
      {QStringLiteral("\u65e5\u672c\U0001F600 with a surrogate pair"), false},
      {longText, false},
      {QStringLiteral("=1"), true},
  };
  for (const auto& c : cases) {
    const std::string where = c.text.left(40).toStdString();
    const CAExpression tokens = c.formula ? Parsed(c.text) : CAExpression();
    if (c.formula) {
      EXPECT_FALSE(tokens.empty()) << where;
    }
    const CAFormulaBlock block(c.text, tokens);
    EXPECT_EQ(block.text().toString(), c.text) << where;
    EXPECT_TRUE(block.hasText()) << where;
    ExpectSameTokens(block.tokens(), tokens, where);
  }
}

TEST(FormulaBlockTest, EmptyHoldsNothing) {
  const CAFormulaBlock none;
  EXPECT_FALSE(none.hasText());
  EXPECT_TRUE(none.text().isEmpty());
  EXPECT_TRUE(none.tokens().empty());
  const CAFormulaBlock empty(QString(), {});
  EXPECT_FALSE(empty.hasText());
  EXPECT_TRUE(empty.tokens().empty());
}

TEST(FormulaBlockTest, ReplacesTextOrTokensAloneEvenFromItsOwnContents) {
  const QString formula = QStringLiteral("=A1+B2*3");
  const CAExpression tokens = Parsed(formula);
  CAFormulaBlock block(formula, tokens);

  // The new text is a piece of the old one, which the block frees as it is made again.
  block.setText(block.text().mid(1));
  EXPECT_EQ(block.text().toString(), QStringLiteral("A1+B2*3"));
  ExpectSameTokens(block.tokens(), tokens, "after the text");

  const CAExpression others = Parsed(QStringLiteral("=SUM(C1:C9)"));
  block.setTokens(others);
  EXPECT_EQ(block.text().toString(), QStringLiteral("A1+B2*3"));
  ExpectSameTokens(block.tokens(), others, "after the tokens");

  // Fewer tokens, taken from the block itself.
  block.setTokens(block.tokens().first(1));
  ASSERT_EQ(block.tokens().size(), 1u);
  EXPECT_EQ(block.tokens()[0].type(), others[0].type());

  block.clear();
  EXPECT_FALSE(block.hasText());
  EXPECT_TRUE(block.tokens().empty());
}

TEST(FormulaBlockTest, MovesOwnership) {
  const QString formula = QStringLiteral("=A1*2");
  CAFormulaBlock first(formula, Parsed(formula));
  CAFormulaBlock second(std::move(first));
  EXPECT_FALSE(first.hasText());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(second.text().toString(), formula);
  CAFormulaBlock third(QStringLiteral("old"), {});
  third = std::move(second);
  EXPECT_EQ(third.text().toString(), formula);
  EXPECT_EQ(third.tokens().size(), Parsed(formula).size());
  third = std::move(third);
  EXPECT_EQ(third.text().toString(), formula);
}

// What the cell hands out is its own: a copy of the formula outlives the cell's next value.
TEST(FormulaBlockTest, CellsKeepTextAndTokensThroughEditsAndCopies) {
  CADocument document;
  CACell* cell = document.cellAtGridPointImperative({1, 4});
  cell->setFormula(QStringLiteral("=A1+A2"));
  const QString before = cell->formula();
  cell->setFormula(QStringLiteral("a text in its place"));
  EXPECT_EQ(before, QStringLiteral("=A1+A2"));
  EXPECT_EQ(cell->formula(), QStringLiteral("a text in its place"));
  EXPECT_EQ(cell->enteredText(), QStringLiteral("a text in its place"));
  EXPECT_TRUE(cell->expression().empty());

  cell->setFormula(QStringLiteral("=A1+A2"));
  document.cellAtGridPointImperative({0, 0})->setNumberValue(CANumber(2));
  document.cellAtGridPointImperative({0, 1})->setNumberValue(CANumber(5));
  document.evaluate();
  ASSERT_TRUE(cell->number());
  EXPECT_EQ(*cell->number(), CANumber(7));

  // Rewriting the references changes text and tokens together.
  cell->adjustExpressionBy(0, 3, GridRange{{0, 0}, {LastGridColumn(), 2}});
  EXPECT_EQ(cell->formula(), QStringLiteral("=A4+A5"));
  ExpectSameTokens(cell->expression(), Parsed(QStringLiteral("=A4+A5")), "adjusted");

  const std::unique_ptr<CACell> copy = cell->copy();
  EXPECT_EQ(copy->formula(), cell->formula());
  ExpectSameTokens(copy->expression(), Parsed(cell->formula()), "copied");

  cell->setFormulaString(QStringLiteral("=A4+A5 "));
  EXPECT_EQ(cell->formula(), QStringLiteral("=A4+A5 "));
  EXPECT_EQ(cell->expression().size(), Parsed(QStringLiteral("=A4+A5")).size());

  cell->clearValue();
  EXPECT_TRUE(cell->formula().isEmpty());
  EXPECT_TRUE(cell->expression().empty());
  EXPECT_FALSE(cell->hasValue());
}

}  // namespace

namespace {

// The cell's narrow fields and flags share bytes with its number: every kind of number stored
// over every other must leave them as they were.
TEST(CellPackingTest, StoringANumberLeavesTheFieldsBesideItAlone) {
  CADocument document;
  CACell* cell = document.cellAtGridPointImperative({0, 0});
  // A formula that fails to parse leaves an error offset and code behind.
  cell->setFormula(QStringLiteral("=1+*2"));
  const int32_t parseResult = cell->parseResult();
  const uint64_t errorOffset = cell->errorOffset();
  ASSERT_NE(parseResult, 0);
  ASSERT_NE(errorOffset, 0u);
  cell->setChecked(true);
  cell->setTooltipForWidth(true);
  cell->setRecordNewFunctions(true);
  cell->setSaving(true);
  cell->setNeedRecalc(false);
  const int32_t valueType = cell->valueType();

  const CANumber numbers[] = {
      CANumber(-1),
      CANumber(kInt64Max),
      CANumber::withNumerator(-22, 7),
      CANumber::withReal(-1.0e4000L),
      CANumber::withReal(0.1L),
      CANumber::asNan(),
      CANumber::asInf(),
      CANumber(),
  };
  for (const CANumber& stored : numbers) {
    for (const CANumber& over : numbers) {
      cell->setNumber(stored);
      cell->setNumber(over);
      const std::string where = stored.archive().toStdString() + " then " + over.archive().toStdString();
      ASSERT_TRUE(cell->number()) << where;
      EXPECT_EQ(cell->number()->form(), over.form()) << where;
      EXPECT_EQ(cell->parseResult(), parseResult) << where;
      EXPECT_EQ(cell->errorOffset(), errorOffset) << where;
      EXPECT_EQ(cell->valueType(), valueType) << where;
      EXPECT_TRUE(cell->isChecked()) << where;
      EXPECT_TRUE(cell->tooltipForWidth()) << where;
      EXPECT_TRUE(cell->recordNewFunctions()) << where;
      EXPECT_TRUE(cell->saving()) << where;
      EXPECT_FALSE(cell->needRecalc()) << where;
      EXPECT_FALSE(cell->typingInProgress()) << where;
    }
  }
  cell->setNumber(std::nullopt);
  EXPECT_FALSE(cell->number());
  EXPECT_EQ(cell->errorOffset(), errorOffset);
  EXPECT_TRUE(cell->isChecked());
}

}  // namespace
