// Excel token arrays back to formula text: the texts for hand-assembled tokens, and, for the
// grouping cases, the value our own parser and evaluator get from the text, worked out by hand.
#include "ExcelTestSupport.h"

#include "calculator/model/caColumnLabels.h"
#include "calculator/fileformats/caExcelFormula.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/ModelTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

QByteArray Ref(uint16_t row, uint16_t column, bool relative = true, uint8_t id = 0x24) {
  return Bytes().u8(id).u16(row).u16(column | (relative ? 0xC000 : 0)).data;
}
QByteArray Area(uint16_t r1, uint16_t r2, uint16_t c1, uint16_t c2) {
  return Bytes().u8(0x25).u16(r1).u16(r2).u16(c1 | 0xC000).u16(c2 | 0xC000).data;
}
QByteArray Int(uint16_t v) { return Bytes().u8(0x1E).u16(v).data; }
QByteArray Num(double v) { return Bytes().u8(0x1F).f64(v).data; }
QByteArray Op(uint8_t id) { return QByteArray(1, char(id)); }
QByteArray FuncVar(uint8_t count, uint16_t number) { return Bytes().u8(0x42).u8(count).u16(number).data; }
QByteArray Func(uint16_t number) { return Bytes().u8(0x41).u16(number).data; }
QByteArray Name(uint32_t index) { return Bytes().u8(0x43).u32(index).data; }

const QByteArray kA1 = Ref(0, 0), kB1 = Ref(0, 1), kC1 = Ref(0, 2);
const QByteArray kAdd = Op(3), kSub = Op(4), kMul = Op(5), kDiv = Op(6), kPow = Op(7);
const QByteArray kNeg = Op(0x13), kPercent = Op(0x14), kParen = Op(0x15);

TEST(ExcelFormulaTest, GroupingSurvivesOurParser) {
  ModelEnvironment environment;
  const struct {
    QByteArray tokens;
    const char* text;
    double value;  // with A1 = 10, B1 = 4, C1 = 3
  } cases[] = {
      {kA1 + kB1 + kC1 + kMul + kAdd, "A1+B1*C1", 22}, {kA1 + kB1 + kAdd + kParen + kC1 + kMul, "(A1+B1)*C1", 42},
      {kA1 + kB1 + kC1 + kSub + kParen + kSub, "A1-(B1-C1)", 9}, {kA1 + kB1 + kSub + kC1 + kSub, "A1-B1-C1", 3},
      {kA1 + kB1 + kC1 + kMul + kParen + kDiv, "A1/(B1*C1)", 10.0 / 12},
      {Int(2) + Int(3) + kPow + kParen + Int(2) + kPow, "(2^3)^2", 64},
      {Int(2) + Int(3) + Int(2) + kPow + kParen + kPow, "2^(3^2)", 512},
      {kA1 + Int(2) + kPow + kParen + kNeg, "(0-A1^2)", -100}, {kA1 + kNeg + Int(2) + kPow, "(0-A1)^2", 100},
      {kB1 + kC1 + kSub + kNeg, "(0-(B1-C1))", -1}, {kA1 + kPercent, "(A1/100)", 0.1},
      {kA1 + kB1 + kAdd + kPercent, "((A1+B1)/100)", 0.14}, {kA1 + Num(2.5) + kMul, "A1*2.5", 25},
      {kB1 + Op(0x12), "B1", 4},
  };
  for (const auto& c : cases) {
    XLFormulaContext context;
    const std::optional<QString> text = ConvertFormula(context, c.tokens);
    ASSERT_TRUE(text.has_value()) << c.text;
    EXPECT_EQ(*text, QLatin1String(c.text));
    CADocument document;
    document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("10"));
    document.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("4"));
    document.cellAtGridPointImperative({2, 0})->setFormula(QStringLiteral("3"));
    CACell* cell = document.cellAtGridPointImperative({5, 5});
    cell->setFormula(QLatin1Char('=') + *text);
    document.evaluate();
    ASSERT_EQ(cell->parseResult(), 0) << c.text;
    ASSERT_TRUE(cell->number().has_value()) << c.text;
    EXPECT_NEAR(double(cell->number()->realValue()), c.value, 1e-12) << c.text;
  }
}

TEST(ExcelFormulaTest, ReferencesFunctionsAndNames) {
  XLFormulaContext context;
  context.columnOffset = 6;
  EXPECT_EQ(ConvertFormula(context, Ref(4, 3)), QStringLiteral("J5"));
  EXPECT_EQ(ConvertFormula(context, Ref(4, 3, false)), QStringLiteral("$J$5"));
  {
    // Past the last column there are no letters, and "6" would read as a number.
    LogCapture quiet;
    context.columnOffset = int64_t(g_maxColumn);
    EXPECT_FALSE(ConvertFormula(context, Ref(0, 5)));
  }
  context.columnOffset = 0;
  const QByteArray sumArea = Area(1, 8, 1, 1);
  EXPECT_EQ(ConvertFormula(context, sumArea + Bytes().u8(0x19).u8(0x10).u16(0).data), QStringLiteral("SUM(B2:B9)"));
  EXPECT_EQ(ConvertFormula(context, sumArea + FuncVar(1, 4)), QStringLiteral("SUM(B2:B9)"));
  EXPECT_EQ(ConvertFormula(context, kA1 + kB1 + FuncVar(2, 4)), QStringLiteral("SUM(A1,B1)"));
  EXPECT_EQ(ConvertFormula(context, Func(19)), QStringLiteral("PI()"));
  EXPECT_EQ(ConvertFormula(context, kA1 + Int(2) + Func(27)), QStringLiteral("ROUND(A1,2)"));
  // A spacing attribute and a unary plus change nothing.
  EXPECT_EQ(ConvertFormula(context, kA1 + Bytes().u8(0x19).u8(0x40).u16(0x0100).data), QStringLiteral("A1"));

  // "_xlfn." names reach the functions Excel stores by name.
  context.sheetIndex = 0;
  CaptureName(context, QStringLiteral("_xlfn.EOMONTH"), 0, QByteArray());
  const QByteArray eomonth = Name(1) + kA1 + Int(1) + FuncVar(3, 255);
  EXPECT_EQ(ConvertFormula(context, eomonth), QStringLiteral("EOMONTH(A1,1)"));
  // A defined name is expanded in the first visible worksheet and fails in later ones.
  CaptureName(context, QStringLiteral("Rate"), 0, Ref(0, 2, false));
  EXPECT_EQ(ConvertFormula(context, kA1 + Name(2) + kMul), QStringLiteral("A1*$C$1"));
  context.sheetIndex = 1;
  EXPECT_FALSE(ConvertFormula(context, kA1 + Name(2) + kMul));
}

// Calls among other operands: each argument list and operator lands where its fragments are.
TEST(ExcelFormulaTest, CallsBesideOtherFragments) {
  XLFormulaContext context;
  CaptureName(context, QStringLiteral("_xlfn.EOMONTH"), 0, QByteArray());
  const QByteArray eomonth = Name(1) + kA1 + Int(1) + FuncVar(3, 255);
  const struct {
    QByteArray tokens;
    const char* prefix;
    const char* text;
  } cases[] = {
      {kA1 + kB1 + FuncVar(2, 4) + kA1 + kB1 + kAdd + Int(2) + Func(27) + kMul, "", "SUM(A1,B1)*ROUND(A1+B1,2)"},
      {kC1 + eomonth + kAdd, "", "C1+EOMONTH(A1,1)"},
      {eomonth + kB1 + kMul, "", "EOMONTH(A1,1)*B1"},
      {kC1 + Name(1) + FuncVar(1, 255) + kSub, "", "C1-EOMONTH()"},
      {kA1 + kB1 + kC1 + kAdd + FuncVar(2, 4) + kNeg, "", "(0-SUM(A1,B1+C1))"},
      {kA1 + kB1 + kAdd + kC1 + kB1 + kSub + kMul, "=", "=(A1+B1)*(C1-B1)"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConvertFormula(context, c.tokens, c.prefix), QLatin1String(c.text)) << c.text;
}

TEST(ExcelFormulaTest, SharedFormulasAreRelativeToEachCell) {
  XLFormulaContext context;
  context.columnOffset = 2;
  // The shared tokens: one column left, same row, plus the cell one row up.
  const QByteArray shared = Bytes().u8(0x2C).u16(0).u16(0xC000 | 0xFF).data +
                            Bytes().u8(0x2C).u16(0xFFFF).u16(0xC000).data + kAdd;
  AddSharedFormula(context, 1, 1, shared);
  const QByteArray exp = Bytes().u8(0x01).u16(1).u16(1).data;
  context.column = 1;
  context.row = 3;
  EXPECT_EQ(ConvertFormula(context, exp), QStringLiteral("C4+D3"));
  context.column = 4;
  context.row = 9;
  EXPECT_EQ(ConvertFormula(context, exp), QStringLiteral("F10+G9"));
  LogCapture log;
  const QByteArray missing = Bytes().u8(0x01).u16(7).u16(7).data;
  EXPECT_FALSE(ConvertFormula(context, missing));
  EXPECT_TRUE(log.contains(QStringLiteral("Shared formula not found, or ref within formula")));
}

// Only the coordinates a shared formula's flags mark relative follow each cell; the others are
// absolute and keep their "$", as in any other formula.
TEST(ExcelFormulaTest, SharedFormulasKeepTheirAbsoluteCoordinates) {
  const auto refN = [](uint16_t row, uint16_t field) { return Bytes().u8(0x4C).u16(row).u16(field).data; };
  const auto areaN = [](uint16_t r1, uint16_t r2, uint16_t c1, uint16_t c2) {
    return Bytes().u8(0x2D).u16(r1).u16(r2).u16(c1).u16(c2).data;
  };
  const struct {
    QByteArray shared;
    uint64_t column, row;  // of the cell
    const char* text;
  } cases[] = {
      {refN(0, 0xC0FF) + refN(0, 0x4000) + kMul, 1, 2, "A3*B$1"},
      {refN(0, 0xC0FF) + refN(0, 0x4000) + kMul, 1, 7, "A8*B$1"},
      {areaN(2, 0, 0x0000, 0xC0FE) + FuncVar(1, 4), 2, 5, "SUM($A$3:A6)"},
      {refN(0, 0xC0FD) + refN(11, 0x40FD) + kDiv, 3, 2, "A3/A$12"},
      {refN(1, 0x8003), 0, 4, "$D6"},
      {refN(4, 0x0001), 6, 0, "$B$5"},
  };
  for (const auto& c : cases) {
    XLFormulaContext context;
    AddSharedFormula(context, 9, 9, c.shared);
    context.column = c.column;
    context.row = c.row;
    EXPECT_EQ(ConvertFormula(context, Bytes().u8(0x01).u16(9).u16(9).data), QLatin1String(c.text)) << c.text;
  }
}

// An external name's sheet reference is an EXTERNSHEET entry, which names the book of add-in
// functions wherever its writer put it.
TEST(ExcelFormulaTest, ExternalNamesFindTheAddInBookThroughTheirSheetReference) {
  const auto nameX = [](uint16_t sheetReference) { return Bytes().u8(0x39).u16(sheetReference).u16(1).u16(0).data; };
  const QByteArray quotient = kA1 + kB1 + FuncVar(3, 255);
  const struct {
    const char* writer;
    std::vector<QByteArray> supbooks;  // the u16 that says what each book is
    QByteArray externSheet;            // none: no EXTERNSHEET record
    uint16_t sheetReference;
    const char* text;                  // none: not converted
  } cases[] = {
      {"LibreOffice", {Bytes().u16(1).u16(0x0401).data, Bytes().u16(1).u16(0x3A01).data},
       Bytes().u16(2).u16(1).u16(0xFFFE).u16(0xFFFE).u16(0).u16(0).u16(0).data, 0, "QUOTIENT(A1,B1)"},
      {"LibreOffice, the workbook's own sheet", {Bytes().u16(1).u16(0x0401).data, Bytes().u16(1).u16(0x3A01).data},
       Bytes().u16(2).u16(1).u16(0xFFFE).u16(0xFFFE).u16(0).u16(0).u16(0).data, 1, nullptr},
      {"Gnumeric", {Bytes().u16(1).u16(0x3A01).data, Bytes().u16(1).u16(0x0401).data},
       Bytes().u16(2).u16(0).u16(0xFFFE).u16(0xFFFE).u16(1).u16(0).u16(0).data, 0, "QUOTIENT(A1,B1)"},
      {"an entry past the record", {Bytes().u16(1).u16(0x3A01).data}, Bytes().u16(1).u16(0).u16(0).u16(0).data, 1,
       nullptr},
      {"a count past the record", {Bytes().u16(1).u16(0x3A01).data}, Bytes().u16(900).u16(0).u16(0).u16(0).data, 1,
       nullptr},
      {"no EXTERNSHEET: the book by its place", {Bytes().u16(1).u16(0x3A01).data}, QByteArray(), 0, "QUOTIENT(A1,B1)"},
  };
  for (const auto& c : cases) {
    XLFormulaContext context;
    for (const QByteArray& body : c.supbooks) {
      CaptureSupbook(context, body);
      CaptureExternName(context, 0, QStringLiteral("QUOTIENT"));
    }
    if (!c.externSheet.isNull()) CaptureExternSheet(context, c.externSheet);
    const std::optional<QString> text = ConvertFormula(context, nameX(c.sheetReference) + quotient);
    if (c.text)
      EXPECT_EQ(text, QLatin1String(c.text)) << c.writer;
    else
      EXPECT_FALSE(text) << c.writer;
  }
}

TEST(ExcelFormulaTest, WhatTheSheetCannotExpressFails) {
  LogCapture log;
  XLFormulaContext context;
  CaptureName(context, QStringLiteral("Loop"), 0, Name(1));  // refers to itself
  CaptureName(context, QStringLiteral("Hidden"), 0x04, QByteArray());
  // Each name uses the next twice: 2^30 references if expanded in full.
  for (uint32_t i = 3; i <= 32; ++i)
    CaptureName(context, QStringLiteral("N%1").arg(i), 0, Name(i + 1) + Name(i + 1) + kAdd);
  CaptureName(context, QStringLiteral("Last"), 0, kA1);
  const struct { const char* what; QByteArray tokens; } cases[] = {
      {"a text constant", Bytes().u8(0x17).u8(3).u8(0).raw("abc").data},
      {"a text that reads as a reference", Bytes().u8(0x17).u8(2).u8(0).raw("B2").data},
      {"concatenation", kA1 + kB1 + Op(0x08)}, {"a comparison", kA1 + kB1 + Op(0x0B)},
      {"a missing argument", Op(0x16)}, {"an error constant", Bytes().u8(0x1C).u8(0x07).data},
      {"a 3-D reference", Bytes().u8(0x3A).u16(0).u16(0).u16(0).data},
      {"IF, which the sheet does not have", kA1 + kB1 + kC1 + FuncVar(3, 1)},
      {"a fixed-count function with a variable call", FuncVar(1, 15)}, {"too few operands", kA1 + kAdd},
      {"two fragments left", kA1 + kB1}, {"a token cut short", Ref(0, 0).left(3)},
      {"a name that refers to itself", Name(1)}, {"a name without tokens", Name(2)}, {"name index 0", Name(0)},
      {"names that double at every step", Name(3)}, {"a name past the list", Name(9)},
      {"an external name index 0", Bytes().u8(0x39).u16(0).u32(0).data},
      {"a shared-formula reference within a formula", kA1 + Bytes().u8(0x01).u16(0).u16(0).data},
      {"nothing", QByteArray()},
  };
  for (const auto& c : cases) EXPECT_FALSE(ConvertFormula(context, c.tokens)) << c.what;
}

// The tokens of `operand`, then `op` n times.
QByteArray Repeated(const QByteArray& operand, const QByteArray& op, int n) { return operand + op.repeated(n); }

TEST(ExcelFormulaTest, NestingIsBoundedAsOurParserBoundsIt) {
  ModelEnvironment environment;
  const int n = int(kMaxFormulaNesting);
  const QByteArray abs = Func(24);
  const struct {
    const char* what;
    QByteArray tokens;
    bool converts;
    double value;  // with A1 = 10
  } cases[] = {
      {"unary minuses to the bound", Repeated(kA1, kNeg, n), true, 10},
      {"one unary minus more", Repeated(kA1, kNeg, n + 1), false, 0},
      {"percentages to the bound", Repeated(kA1, kPercent, 2), true, 0.001},
      {"one percentage more than the bound", Repeated(kA1, kPercent, n + 1), false, 0},
      {"calls to the bound", Repeated(kA1, abs, n), true, 10},
      {"one call more", Repeated(kA1, abs, n + 1), false, 0},
      // A negative number's sign nests one level more, as our parser counts it.
      {"calls to the bound around a negative number", Repeated(Num(-2.5), abs, n - 1), true, 2.5},
      {"calls to the bound and a negative number", Repeated(Num(-2.5), abs, n), false, 0},
      // A left operand of "^" is put in parentheses each time.
      {"powers grouped to the left past the bound", Repeated(Int(1), Int(1) + kPow, n + 2), false, 0},
      {"a long sum, which does not nest", Repeated(kA1, kA1 + kAdd, 20000), true, 200010},
  };
  for (const auto& c : cases) {
    XLFormulaContext context;
    const std::optional<QString> text = ConvertFormula(context, c.tokens);
    EXPECT_EQ(text.has_value(), c.converts) << c.what;
    if (!text || !c.converts) continue;
    CADocument document;
    document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("10"));
    CACell* cell = document.cellAtGridPointImperative({5, 5});
    cell->setFormula(QLatin1Char('=') + *text);
    document.evaluate();
    ASSERT_EQ(cell->parseResult(), 0) << c.what;
    ASSERT_TRUE(cell->number().has_value()) << c.what;
    EXPECT_NEAR(double(cell->number()->realValue()), c.value, 1e-12) << c.what;
  }
}

TEST(ExcelFormulaTest, FunctionTableLookups) {
  EXPECT_EQ(FunctionNameForRow(IdentifyFunction(0)), QStringLiteral("COUNT"));
  EXPECT_EQ(FunctionNameForRow(IdentifyFunction(8203)), QStringLiteral("SQRTPI"));
  EXPECT_EQ(IdentifyFunction(255), kXLExternalFunctionRow);
  EXPECT_EQ(IdentifyFunction(8204), kXLNoFunction);
  EXPECT_EQ(FunctionNameForRow(FunctionRowForName(QStringLiteral("stdev.s"))), QStringLiteral("STDEV.S"));
  // Every name of the table is a function of the sheet.
  for (int64_t row = 0; row < kXLExternalFunctionRow; ++row) {
    CADocument document;
    CACell* cell = document.cellAtGridPointImperative({0, 0});
    cell->setFormula(QStringLiteral("=") + FunctionNameForRow(row) + QStringLiteral("(1)"));
    EXPECT_NE(cell->parseResult(), 9) << FunctionNameForRow(row).toStdString();
  }
}

}  // namespace
