// Formulas read under other separators than they were written with: literals and argument
// separators are rewritten so that the formula means the same, and nothing else is touched.
#include <gtest/gtest.h>

#include "calculator/model/caDocumentXml.h"

namespace {

const CAFormulaSeparators kPoint{QLatin1Char('.'), QLatin1Char(',')};
const CAFormulaSeparators kComma{QLatin1Char(','), QLatin1Char(',')};

TEST(FormulaSeparators, LiteralsAndArgumentSeparatorsFollowTheNewSeparators) {
  struct Case {
    const char* point;  // as written with the decimal point
    const char* comma;  // the same formula with the decimal comma
  };
  const Case toComma[] = {
      {"=A1*1.5", "=A1*1,5"},
      {"=SUM(1,5)", "=SUM(1 ,5)"},
      {"=SUM(1, 5)", "=SUM(1 , 5)"},  // "1, 5" would read as 1 and a stray 5
      {"=.5+A1", "=0,5+A1"},
      {"=SUM(A1,2.5,B2:C3)", "=SUM(A1,2,5 ,B2:C3)"},
      {"=2.5E1+1.25e-2", "=2,5E1+1,25e-2"},
      {"=-0.5*50%", "=-0,5*50%"},
      {"=5.+1", "=5,+1"},
      {"=$A$1+LOG10(100)", "=$A$1+LOG10(100)"},
      {"=MAX(1E3,2)", "=MAX(1E3 ,2)"},
      {"1.5", "1.5"},  // no formula: not touched
  };
  for (const Case& c : toComma)
    EXPECT_EQ(TranslateFormulaSeparators(QLatin1String(c.point), kPoint, kComma), QLatin1String(c.comma)) << c.point;

  const Case toPoint[] = {
      {"=A1*1.5", "=A1*1,5"},
      {"=SUM(1.5)", "=SUM(1,5)"},  // one argument under the decimal comma
      {"=SUM(1 ,5)", "=SUM(1 ,5)"},
      {"=SUM(A1,B2)", "=SUM(A1,B2)"},
      {"=1.+2", "=1,+2"},
  };
  for (const Case& c : toPoint)
    EXPECT_EQ(TranslateFormulaSeparators(QLatin1String(c.comma), kComma, kPoint), QLatin1String(c.point)) << c.comma;

  EXPECT_EQ(TranslateFormulaSeparators(QStringLiteral("=SUM(1,5)"), kPoint, kPoint), QStringLiteral("=SUM(1,5)"));
}

TEST(FormulaSeparators, TheElementHoldsTheDecimalThenTheListSeparator) {
  EXPECT_EQ(StringFromFormulaSeparators(kPoint), QStringLiteral(".,"));
  EXPECT_EQ(FormulaSeparatorsFromString(QStringLiteral(",;")),
            (CAFormulaSeparators{QLatin1Char(','), QLatin1Char(';')}));
  for (const char* bad : {"", ".", ".,;"})
    EXPECT_FALSE(FormulaSeparatorsFromString(QLatin1String(bad))) << bad;
}

TEST(FormulaSeparators, OnlyAScopeWithWrittenSeparatorsTranslates) {
  const QString formula = QStringLiteral("=SUM(1,5)");
  EXPECT_EQ(CAFormulaSeparatorsReading::toUser(formula), formula);
  CAFormulaSeparatorsReading outer;
  outer.setWritten(kComma);
  EXPECT_EQ(CAFormulaSeparatorsReading::toUser(formula), QStringLiteral("=SUM(1.5)"));
  {
    // An archive read in the middle (an undo, a paste) names no separators: its text is the user's.
    const CAFormulaSeparatorsReading inner;
    EXPECT_EQ(CAFormulaSeparatorsReading::toUser(formula), formula);
  }
  EXPECT_EQ(CAFormulaSeparatorsReading::toUser(formula), QStringLiteral("=SUM(1.5)"));
}

}  // namespace
