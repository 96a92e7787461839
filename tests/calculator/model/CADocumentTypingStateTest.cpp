// The document's typing state keeps "a formula is typed" only while the text is, or may become,
// a formula.
#include "SheetTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(DocumentTypingState, KeepsTheStateOnlyForFormulasAndWhatMayBecomeOne) {
  ModelEnvironment environment;
  CADocument document;
  CACell& empty = *document.cellAtGridPointImperative(A1("A1"));
  CACell& number = *document.cellAtGridPointImperative(A1("A2"));
  number.setFormula(QStringLiteral("5"));
  CACell& formula = *document.cellAtGridPointImperative(A1("A3"));
  formula.setFormula(QStringLiteral("=A2*2"));
  CACell& broken = *document.cellAtGridPointImperative(A1("A4"));
  broken.setFormula(QStringLiteral("=SUM("));
  CACell& text = *document.cellAtGridPointImperative(A1("A5"));
  text.setFormula(QStringLiteral("abc"));

  const struct { const CACell* cell; QString text; int32_t expected; } cases[] = {
      {&empty, QString(), 2},   {&formula, QString(), 2}, {&broken, QString(), 2},
      {&number, QString(), 0},  {&text, QString(), 0},    {nullptr, QString(), 2},
      {&number, QStringLiteral(""), 2},  {&number, QStringLiteral("=1"), 2},
      {&formula, QStringLiteral("12"), 0}, {&empty, QStringLiteral(" ="), 0},
  };
  for (const auto& c : cases) {
    document.setTypingState(7);
    document.setTypingState(2, c.cell, c.text);
    EXPECT_EQ(document.typingState(), c.expected) << c.text.toStdString();
  }
}

}  // namespace
