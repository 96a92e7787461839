// What the help file tells users about typing and formulas, checked against the model: each case
// is a sentence of the help, so the help and the program cannot drift apart unnoticed.
#include <gtest/gtest.h>

#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "framlet/foundation/flDates.h"
#include "../SheetTestSupport.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <QDate>

namespace {

class HelpFormulaClaimsTest : public SheetTest {
 protected:
  // The text the cell shows for an error, or its value's text.
  QString result(const char* at, const char* formula) {
    CACell& c = enter(at, formula);
    recalc();
    if (c.valueType() == kValueError) return QString::fromLatin1(FormulaErrorString(c.evalResult()));
    return shown(at);
  }
};

// "1/3 + 2/3 gives exactly 1"; numbers are exact integers and fractions where they can be.
TEST_F(HelpFormulaClaimsTest, ThirdsAddUpToExactlyOne) {
  EXPECT_EQ(result("A1", "=1/3+2/3"), QStringLiteral("1"));
  EXPECT_EQ(NumberIn(cell("A1")).form(), kNumberInteger);
}

// "What you type is taken as a number when it reads as one (such as 12, -3.5, 2e10 or 50%), as a
// date when it reads as one with its year (such as 2024-03-15; 1/4 without a year stays a text:
// type =1/4 for a quarter), as a formula when it begins with "=", and as a text otherwise."
// The application requires the year from its launch on, so the cases run that way.
TEST_F(HelpFormulaClaimsTest, TypedTextIsTakenAsTheKindTheHelpNames) {
  // Without the application's setting a date typed without its year falls in the current year.
  EXPECT_EQ(NumberIn(&enter("A1", "1/4")).integerValue() / 10000, QDate::currentDate().year());
  const bool wasRequired = g_requireDayIndexYear;
  g_requireDayIndexYear = true;
  const struct {
    const char* typed;
    int32_t type;
  } cases[] = {
      {"12", kValueNumber},       {"-3.5", kValueNumber},   {"2e10", kValueNumber},  {"50%", kValueNumber},
      {"2024-03-15", kValueDate}, {"1/4", kValueText},      {"=1/4", kValueFormula}, {"hello", kValueText},
  };
  for (const auto& c : cases) EXPECT_EQ(enter("A1", c.typed).valueType(), c.type) << c.typed;
  EXPECT_EQ(*enter("A1", "-3.5").number(), CANumber::withNumerator(-7, 2));
  EXPECT_EQ(*enter("A1", "50%").number(), CANumber::withNumerator(1, 2));
  EXPECT_EQ(*enter("A1", "2e10").number(), CANumber(20000000000));
  EXPECT_EQ(result("A1", "=1/4"), QStringLiteral("1/4"));
  g_requireDayIndexYear = wasRequired;
}

// "The operators are + - * / and ^ (power); ^ goes first, then * and /, then + and -, and
// parentheses change the order. A minus before a number, a reference or a parenthesis changes
// its sign, and a number followed by % is a percentage: =50% is 1/2." The help's examples =A1*2
// and =SUM(B2:B10) work as written.
TEST_F(HelpFormulaClaimsTest, TheOperatorsAndTheirOrderAreTheOnesTheHelpLists) {
  enter("A1", "6");
  enter("B2", "1");
  enter("B10", "2");
  const struct {
    const char* formula;
    const char* value;
  } cases[] = {
      {"=2+3*4^2", "50"}, {"=(2+3)*4", "20"}, {"=7-2-1", "4"},  {"=8/2/2", "2"},     {"=2^10", "1024"},
      {"=-(1+2)", "-3"},  {"=-A1+1", "-5"},   {"=-4+1", "-3"},  {"=A1*2", "12"},     {"=SUM(B2:B10)", "3"},
      {"=50%", "1/2"},    {"=A1*50%", "3"},
  };
  for (const auto& c : cases) EXPECT_EQ(result("C1", c.formula), QString::fromLatin1(c.value)) << c.formula;
}

// "A formula holds no texts of its own: a cell that holds a text counts as 0 where a formula
// reads it." No quoted texts, no joining with "&", no comparisons; "%" belongs to a number only.
TEST_F(HelpFormulaClaimsTest, FormulasHoldNoTextsAndTextCellsCountAsZero) {
  enter("A1", "apples");
  EXPECT_EQ(result("B1", "=A1*3+1"), QStringLiteral("1"));
  for (const char* formula : {"=\"a\"", "=1&2", "=1<2", "=1=1", "=1<>2", "=A1%", "=(1+1)%"})
    EXPECT_EQ(result("B2", formula), QStringLiteral("<Symbol>")) << formula;
}

// "<Syntax> for a formula that cannot be read, <Symbol> for a name that is neither a function nor
// a reference, <Arguments> for a function given too few or too many arguments, <Number> for an
// argument a function cannot take, such as =FACT(-1), <Value> for a result that is no number,
// such as =SQRT(-1), and <Infinite> for a division by zero. A formula that reads a cell showing an error shows <Value>,
// and so do cells that refer to themselves, directly or through other cells."
TEST_F(HelpFormulaClaimsTest, ErrorsShowTheNamesTheHelpGives) {
  const struct {
    const char* formula;
    const char* shown;
  } cases[] = {
      {"=1+", "<Syntax>"}, {"=(1+2", "<Syntax>"}, {"=NOSUCH(1)", "<Symbol>"}, {"=ROUND(1)", "<Arguments>"},
      {"=ABS(1,2)", "<Arguments>"}, {"=FACT(-1)", "<Number>"}, {"=SQRT(-1)", "<Value>"}, {"=1/0", "<Infinite>"},
  };
  for (const auto& c : cases) EXPECT_EQ(result("A1", c.formula), QString::fromLatin1(c.shown)) << c.formula;

  enter("C1", "=1/0");
  EXPECT_EQ(result("C2", "=C1+1"), QStringLiteral("<Value>"));

  enter("D1", "=D1+1");
  enter("E1", "=F1+1");
  enter("F1", "=E1*2");
  recalc();
  for (const char* at : {"D1", "E1", "F1"}) {
    ASSERT_EQ(cell(at)->valueType(), kValueError) << at;
    EXPECT_STREQ(FormulaErrorString(cell(at)->evalResult()), "<Value>") << at;
  }
}

// "Tamsel Calculator has 97 built-in functions." "Functions ending in A also count texts (as 0)
// and checkboxes (as 0 or 1); the others take only numbers."
TEST_F(HelpFormulaClaimsTest, FunctionsEndingInACountTextsAndCheckboxes) {
  EXPECT_EQ(kFunctionCount, 97);
  enter("A1", "pears");
  CACell& box = *document.cellAtGridPointImperative(A1("A2"));
  box.setValueType(kValueCheckbox);
  box.setChecked(true);
  enter("A3", "-4");
  const struct {
    const char* formula;
    const char* value;
  } cases[] = {
      {"=COUNT(A1:A3)", "1"},    {"=COUNTA(A1:A3)", "3"}, {"=AVERAGE(A1:A3)", "-4"}, {"=AVERAGEA(A1:A3)", "-1"},
      {"=MAX(A1:A3)", "-4"},     {"=MAXA(A1:A3)", "1"},   {"=MINA(A1:A3)", "-4"},
  };
  for (const auto& c : cases) EXPECT_EQ(result("B1", c.formula), QString::fromLatin1(c.value)) << c.formula;
}

// "These functions give physical constants and take no arguments, except C, the speed of light,
// which takes one: =C(1) gives it in m/s and =C(0) in miles/s." "Angles are in radians; DEGREES
// and RADIANS convert."
TEST_F(HelpFormulaClaimsTest, PhysicsAndTrigonometryWorkAsTheHelpSays) {
  const struct {
    const char* formula;
    const char* shown;
  } cases[] = {
      {"=C(1)", "299792458"}, {"=C()", "<Arguments>"}, {"=EC()*0", "0"},
      {"=DEGREES(PI())", "180"}, {"=RADIANS(0)", "0"}, {"=SIN(0)", "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(result("A1", c.formula), QString::fromLatin1(c.shown)) << c.formula;
  enter("B1", "=C(0)");
  recalc();
  ASSERT_TRUE(cell("B1")->number());
  EXPECT_NEAR(double(cell("B1")->number()->realValue()), 186282.397, 0.001);
}

// "A cell takes each setting from the most specific place that has one: the cell, then its
// column, then its row, then the document."
TEST_F(HelpFormulaClaimsTest, ASettingComesFromTheMostSpecificLayer) {
  CACell& target = enter("B2", "1");
  const struct {
    bool document, row, column, cell;  // which layers set bold on (the others set it off)
    bool setCell, setColumn, setRow;   // which layers set bold at all
    bool bold;
  } cases[] = {
      {false, true, false, false, false, true, true, false},  // the column over the row
      {false, false, true, false, false, true, true, true},
      {false, true, false, false, false, false, true, true},  // the row over the document
      {true, false, false, false, false, false, false, true},
      {false, true, true, false, true, true, true, false},   // the cell over everything
  };
  for (const auto& c : cases) {
    document.mutableDefaultFormat().setBold(c.document);
    document.formatForDomainImperative(kDomainRow, A1("B2"))->clearMask(kFormatBold);
    document.formatForDomainImperative(kDomainColumn, A1("B2"))->clearMask(kFormatBold);
    document.formatForDomainImperative(kDomainCell, A1("B2"))->clearMask(kFormatBold);
    if (c.setRow) document.formatForDomainImperative(kDomainRow, A1("B2"))->setBold(c.row);
    if (c.setColumn) document.formatForDomainImperative(kDomainColumn, A1("B2"))->setBold(c.column);
    if (c.setCell) document.formatForDomainImperative(kDomainCell, A1("B2"))->setBold(c.cell);
    EXPECT_EQ(document.formatForCell(&target, true).bold(), c.bold)
        << c.document << c.row << c.column << c.cell << " set " << c.setRow << c.setColumn << c.setCell;
  }
}

}  // namespace
