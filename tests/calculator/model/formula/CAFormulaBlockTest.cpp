// The block a cell keeps its entered text and a formula's tokens in: both read back as given,
// each replaceable without the other, including from the block's own contents; and cells that
// keep their texts and tokens through entering, adjusting and copying; and the cell fields that
// share bytes with its number.
#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/formula/CAFormulaBlock.h"
#include "calculator/model/formula/caFormulaParser.h"

#include <cstring>
#include <string>
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
  // A formula of many tokens (made in place), and tokens far apart in the text.
  QString longSum = QStringLiteral("=B1");
  for (int k = 2; k <= 3000; ++k) longSum += QStringLiteral("+B%1").arg(k);
  const QString farApart = QStringLiteral("=A1+") + QString(70000, u' ') + QStringLiteral("$B$2*3");
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
      {longSum, true},
      {farApart, true},
  };
  for (const auto& c : cases) {
    const std::string where = c.text.left(40).toStdString();
    const CAExpression tokens = c.formula ? Parsed(c.text) : CAExpression();
    if (c.formula) {
      EXPECT_FALSE(tokens.empty()) << where;
    }
    const CAFormulaBlock block(c.text, tokens);
    EXPECT_EQ(block.text(), c.text) << where;
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
  EXPECT_EQ(block.text(), QStringLiteral("A1+B2*3"));
  ExpectSameTokens(block.tokens(), tokens, "after the text");

  const CAExpression others = Parsed(QStringLiteral("=SUM(C1:C9)"));
  block.setTokens(others);
  EXPECT_EQ(block.text(), QStringLiteral("A1+B2*3"));
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
  EXPECT_EQ(second.text(), formula);
  CAFormulaBlock third(QStringLiteral("old"), {});
  third = std::move(second);
  EXPECT_EQ(third.text(), formula);
  EXPECT_EQ(third.tokens().size(), Parsed(formula).size());
  third = std::move(third);
  EXPECT_EQ(third.text(), formula);
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

namespace {

// Every field a token shows, compared exactly: a number by its form and the fields that form
// reads, a real by its bits.
void ExpectIdenticalTokens(const CAFormulaToken& actual, const CAFormulaToken& expected, const std::string& where) {
  EXPECT_EQ(actual.type(), expected.type()) << where;
  EXPECT_EQ(actual.formulaIndex(), expected.formulaIndex()) << where;
  EXPECT_EQ(actual.function(), expected.function()) << where;
  EXPECT_EQ(actual.operatorCode(), expected.operatorCode()) << where;
  EXPECT_EQ(actual.point(), expected.point()) << where;
  EXPECT_EQ(actual.range(), expected.range()) << where;
  ASSERT_EQ(actual.number().has_value(), expected.number().has_value()) << where;
  if (!expected.number()) return;
  const CANumber a = *actual.number();
  const CANumber e = *expected.number();
  EXPECT_EQ(a.form(), e.form()) << where;
  EXPECT_EQ(a.numerator(), e.numerator()) << where;
  EXPECT_EQ(a.denominator(), e.denominator()) << where;
  if (e.form() == kNumberReal) {
    const long double ar = a.realValue(), er = e.realValue();
    EXPECT_EQ(std::memcmp(&ar, &er, 10), 0) << where;
  }
}

CANumber RawNumber(int32_t form, int64_t numerator, uint64_t denominator) {
  CANumber number;
  number.setForm(form);
  number.setNumerator(numerator);
  number.setDenominator(denominator);
  return number;
}

CAFormulaToken Indexed(CAFormulaToken token, uint64_t index) {
  token.setFormulaIndex(index);
  return token;
}

// The tokens of every kind and the far ends of every field, alone and together, come back out
// of the block as they went in.
TEST(FormulaBlockTest, EveryTokenKindRoundTripsExactly) {
  const int64_t lastColumn = LastGridColumn();
  const int64_t coordinates[] = {0,           1,           -1,          63,          64,
                                 -64,         -65,         1000000,     ~999998,     lastColumn,
                                 ~lastColumn, kLastGridRow, ~kLastGridRow, kGridNoPoint, ~kGridNoPoint,
                                 kGridWildcard, ~kGridWildcard, kGridOpenEnd, ~kGridOpenEnd, kInt64Min};
  std::vector<std::pair<std::string, CAFormulaToken>> cases;
  for (const int64_t x : coordinates)
    for (const int64_t y : coordinates) {
      // Set directly: the factories refuse kGridNoPoint, which a point token still shows as a range.
      CAFormulaToken point;
      point.setPoint({x, y});
      cases.emplace_back("point " + std::to_string(x) + "," + std::to_string(y), point);
      CAFormulaToken range;
      range.setRange(GridRange{{x, y}, {y, x}});
      cases.emplace_back("range " + std::to_string(x) + "," + std::to_string(y), range);
    }
  const CANumber numbers[] = {
      CANumber(0),
      CANumber(1),
      CANumber(-1),
      CANumber(kInt64Max),
      CANumber(kInt64Min),
      CANumber::withNumerator(-22, 7),
      CANumber::withNumerator(1, 3),
      CANumber::withNumerator(kInt64Min, ~uint64_t(0)),
      CANumber::withNumerator(5, 0),  // a zero denominator, kept: shows as infinity
      CANumber::withReal(0.1L),
      CANumber::withReal(-1.0e4000L),
      CANumber::withReal(3.0e-4000L),
      CANumber::withRealResult(1.0e30L),
      CANumber::asNan(),
      CANumber::asInf(),
      RawNumber(kNumberInteger, 12, 7),  // an integer whose denominator was left behind
      RawNumber(kNumberNaN, 3, 4),
      RawNumber(kNumberPlaceholder, -9, 2),
  };
  for (const CANumber& number : numbers)
    cases.emplace_back("number " + number.archive().toStdString(), CAFormulaToken::withNumber(number));
  for (const int32_t row : {1, 2, 97, 127, 128, 32767, -1, -32768})
    cases.emplace_back("function " + std::to_string(row), CAFormulaToken::withFunction(row));
  for (int32_t code = 1; code < kOperatorTableSize; ++code)
    cases.emplace_back("operator " + std::to_string(code), CAFormulaToken::withOperator(code));
  for (const int32_t code : {127, -1, -128})
    cases.emplace_back("operator " + std::to_string(code), CAFormulaToken::withOperator(code));
  // Combinations no parser makes still keep every field.
  {
    CAFormulaToken token = CAFormulaToken::withFunction(4);
    token.setPoint({~3, 9});
    cases.emplace_back("function with a point", token);
    token = CAFormulaToken::withOperator(kOperatorAdd);
    token.setRange(GridRange{{kGridWildcard, 2}, {kGridWildcard, kGridOpenEnd}});
    cases.emplace_back("operator with a range", token);
    token = CAFormulaToken::withNumber(CANumber::withNumerator(3, 2));
    token.setFunction(12);
    token.setOperator(kOperatorPower);
    cases.emplace_back("number with a function and an operator", token);
    cases.emplace_back("a token made plain", CAFormulaToken());
  }
  for (const uint64_t index : {uint64_t(0), uint64_t(127), uint64_t(128), uint64_t(0xFFFFFFFF)}) {
    cases.emplace_back("reference at " + std::to_string(index),
                       Indexed(CAFormulaToken::withReference({2, 3}), index));
    cases.emplace_back("operator at " + std::to_string(index),
                       Indexed(CAFormulaToken::withOperator(kOperatorNegate), index));
  }

  // Each alone, with a Latin-1 text, a UTF-16 one of odd length, and none.
  const QString texts[] = {QStringLiteral("=x"), QStringLiteral("=\u00e9\u00ff1"), QStringLiteral("=\u4e00"),
                           QString()};
  for (const auto& [name, token] : cases) {
    for (const QString& text : texts) {
      const CAFormulaBlock block(text, CAExpressionView(&token, 1));
      EXPECT_EQ(block.text(), text) << name;
      const CAExpressionBuffer back = block.tokens();
      ASSERT_EQ(back.size(), 1u) << name;
      ExpectIdenticalTokens(back[0], token, name + " with text " + text.toStdString());
    }
  }

  // All in one block, in and beyond the buffer's inline room.
  CAExpression all;
  for (const auto& [name, token] : cases) all.push_back(token);
  const CAFormulaBlock block(QStringLiteral("=every kind"), all);
  const CAExpressionBuffer back = block.tokens();
  ASSERT_EQ(back.size(), all.size());
  for (size_t i = 0; i < all.size(); ++i) ExpectIdenticalTokens(back[i], all[i], cases[i].first + " in the whole");
  for (const size_t count : {CAExpressionBuffer::kInlineTokens - 1, CAExpressionBuffer::kInlineTokens,
                             CAExpressionBuffer::kInlineTokens + 1}) {
    const CAFormulaBlock part(QString(), CAExpressionView(all).first(count));
    const CAExpressionBuffer partBack = part.tokens();
    ASSERT_EQ(partBack.size(), count);
    for (size_t i = 0; i < count; ++i) ExpectIdenticalTokens(partBack[i], all[i], cases[i].first + " in a part");
  }
}

// Formulas as typed, short and long, come back with the text and tokens the parser gave.
TEST(FormulaBlockTest, ParsedFormulasRoundTrip) {
  QString longSum = QStringLiteral("=1");
  for (int i = 2; i <= 60; ++i) longSum += QStringLiteral("+A%1").arg(i * 1000);
  const QString formulas[] = {
      QStringLiteral("=A1+1"),
      QStringLiteral("=A999999+1"),
      QStringLiteral("=$A$1*-B2"),
      QStringLiteral("=SUM(A:A)+SUM(3:3)"),
      QStringLiteral("=SUM($A1:B$9)/COUNT(A1:A9)*2^0.5"),
      QStringLiteral("=ZZZZZ1+1.25-1/3"),
      QStringLiteral("=ROUND(PI(),10)+1E300+123456789012345678901234567890"),
      QStringLiteral("=A1 + \u00e9"),
      longSum,
  };
  for (const QString& formula : formulas) {
    const std::string where = formula.left(40).toStdString();
    const CAExpression tokens = Parsed(formula);
    const CAFormulaBlock block(formula, tokens);
    EXPECT_EQ(block.text(), formula) << where;
    EXPECT_EQ(block.textLength(), formula.size()) << where;
    const CAExpressionBuffer back = block.tokens();
    ASSERT_EQ(back.size(), tokens.size()) << where;
    for (size_t i = 0; i < tokens.size(); ++i) ExpectIdenticalTokens(back[i], tokens[i], where + " token " + std::to_string(i));
  }
}

// A buffer moved keeps its tokens, whether they lie inline or on the heap.
TEST(FormulaBlockTest, DecodedBuffersMoveWithTheirTokens) {
  for (const size_t count : {size_t(3), CAExpressionBuffer::kInlineTokens + 5}) {
    CAExpression tokens;
    for (size_t i = 0; i < count; ++i) tokens.push_back(Indexed(CAFormulaToken::withReference({int64_t(i), 7}), i));
    const CAFormulaBlock block(QStringLiteral("=tokens"), tokens);
    CAExpressionBuffer first = block.tokens();
    CAExpressionBuffer second(std::move(first));
    EXPECT_TRUE(first.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty
    CAExpressionBuffer third = CAFormulaBlock(QStringLiteral("=other"), Parsed(QStringLiteral("=B1"))).tokens();
    third = std::move(second);
    ASSERT_EQ(third.size(), count);
    for (size_t i = 0; i < count; ++i) ExpectIdenticalTokens(third[i], tokens[i], "token " + std::to_string(i));
  }
}

}  // namespace
