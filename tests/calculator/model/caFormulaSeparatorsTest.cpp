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
      {"=SUM(1,5)", "=SUM(1 ,5)"},  // the blank that parted 1 from "," is needed no longer
      {"=SUM(A1,B2)", "=SUM(A1,B2)"},
      {"=1.+2", "=1,+2"},
      // A comma before an operand parts arguments: typed so under the decimal comma, the formula
      // shows so under the point too, not as "=DATE(2026. 3. 4)".
      {"=DATE(2026, 3, 4)", "=DATE(2026, 3, 4)"},
      {"=MAX(1, 2)", "=MAX(1, 2)"},
      {"=MAX(1,A1)", "=MAX(1,A1)"},
      {"=MAX(2.5,$A$1)", "=MAX(2,5,$A$1)"},
      {"=SUM(1,(2))", "=SUM(1,(2))"},
      {"=MAX(1.5, 2)", "=MAX(1,5, 2)"},
  };
  for (const Case& c : toPoint)
    EXPECT_EQ(TranslateFormulaSeparators(QLatin1String(c.comma), kComma, kPoint), QLatin1String(c.point)) << c.comma;

  EXPECT_EQ(TranslateFormulaSeparators(QStringLiteral("=SUM(1,5)"), kPoint, kPoint), QStringLiteral("=SUM(1,5)"));
}

// Quoted text is no part of the syntax: a formula that holds some keeps it as typed, in both
// directions, with doubled quotes, and where the quote is never closed.
TEST(FormulaSeparators, QuotedTextIsLeftAsWritten) {
  struct Case {
    const char* from;
    const char* to;
    bool toComma;
  };
  const Case cases[] = {
      {"=\"v 1.5\"", "=\"v 1.5\"", true},
      {"=\"v 1,5\"", "=\"v 1,5\"", false},
      {"=A1+\"1.5, 2\"+2.5", "=A1+\"1.5, 2\"+2,5", true},
      {"=A1+\"1,5 ,2\"+2,5", "=A1+\"1,5 ,2\"+2.5", false},
      {"=\"a\"\"1.5\"\"\"+1.5", "=\"a\"\"1.5\"\"\"+1,5", true},
      {"=SUM(1.5,\"2.5\")", "=SUM(1,5 ,\"2.5\")", true},
      {"=SUM(1,5 ,\"2,5 ,3\")", "=SUM(1.5,\"2,5 ,3\")", false},
      {"=1.5&\"2.5", "=1,5&\"2.5", true},
      {"=1,5&\"2,5 ,3", "=1.5&\"2,5 ,3", false},
  };
  for (const Case& c : cases) {
    const CAFormulaSeparators& from = c.toComma ? kPoint : kComma;
    const CAFormulaSeparators& to = c.toComma ? kComma : kPoint;
    EXPECT_EQ(TranslateFormulaSeparators(QString::fromUtf8(c.from), from, to), QString::fromUtf8(c.to)) << c.from;
  }
}

// A formula that goes to the decimal comma and back is the formula it was: the blank put before
// a list separator after a literal is taken away again, and no blank of the user's elsewhere.
TEST(FormulaSeparators, AFormulaTranslatedThereAndBackIsItself) {
  for (const char* point : {"=SUM(1,2,3)", "=SUM(1, 2, 3)", "=SUM(1.5,2)", "=MAX(1E3,2)", "=SUM(A1 ,2)",
                            "=5.+1", "=IF(A1,1,2.5)", "=SUM(A1, 2.5E-3,B2)"}) {
    const QString comma = TranslateFormulaSeparators(QLatin1String(point), kPoint, kComma);
    EXPECT_EQ(TranslateFormulaSeparators(comma, kComma, kPoint), QLatin1String(point)) << comma.toStdString();
  }
  // Only the one blank the other way puts there goes, and only after a literal.
  const struct {
    const char* comma;
    const char* point;
  } cases[] = {{"=SUM(1 ,2 ,3)", "=SUM(1,2,3)"}, {"=SUM(1  ,2)", "=SUM(1  ,2)"}, {"=SUM(A1 ,B1)", "=SUM(A1 ,B1)"},
               {"=SUM(1,5 ,2,5)", "=SUM(1.5,2.5)"}, {"=SUM(1 ; 2)", "=SUM(1 ; 2)"}, {"=2 ", "=2 "}};
  for (const auto& c : cases)
    EXPECT_EQ(TranslateFormulaSeparators(QLatin1String(c.comma), kComma, kPoint), QLatin1String(c.point)) << c.comma;
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
