#include "calculator/model/formula/caReferenceAdjustment.h"
#include "calculator/model/CAReferenceTable.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "../SheetTestSupport.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <functional>
#include <vector>

namespace {

constexpr int64_t W = kGridWildcard;

GridRange Block(int64_t x0, int64_t y0, int64_t x1, int64_t y1) { return {{x0, y0}, {x1, y1}}; }

CAExpression Parse(const QString& text) {
  CAExpression expression;
  uint64_t offset = 0;
  EXPECT_EQ(ParseFormula(text, expression, &offset), 0) << text.toStdString();
  return expression;
}

// The rewritten tokens must be what parsing the rewritten text gives, offsets included, so that
// a later edit finds each reference where its token says.
void ExpectTokensMatchText(const QString& text, const CAExpression& adjusted) {
  const CAExpression parsed = Parse(text);
  ASSERT_EQ(parsed.size(), adjusted.size()) << text.toStdString();
  for (size_t i = 0; i < parsed.size(); ++i) {
    EXPECT_EQ(parsed[i].type(), adjusted[i].type()) << text.toStdString() << " token " << i;
    EXPECT_EQ(parsed[i].formulaIndex(), adjusted[i].formulaIndex()) << text.toStdString() << " token " << i;
    EXPECT_EQ(parsed[i].point(), adjusted[i].point()) << text.toStdString() << " token " << i;
    if (parsed[i].type() == kTokenRange) {
      EXPECT_EQ(parsed[i].range(), adjusted[i].range()) << text.toStdString() << " token " << i;
    }
  }
}

struct EditCase {
  const char* name;
  const char* formula;
  int64_t dx, dy;
  GridRange edit;
  const char* expected;
  bool deleted;
};

void RunEditCases(const std::vector<EditCase>& cases) {
  for (const EditCase& c : cases) {
    QString text = QString::fromLatin1(c.formula);
    CAExpression expression = Parse(text);
    const CAEditAdjustment result = AdjustExpressionForEdit(text, expression, c.dx, c.dy, c.edit);
    EXPECT_EQ(text, QString::fromLatin1(c.expected)) << c.name << ": " << c.formula;
    EXPECT_EQ(result.changed, QLatin1String(c.formula) != QLatin1String(c.expected)) << c.name;
    EXPECT_EQ(result.referenceDeleted, c.deleted) << c.name << ": " << c.formula;
    if (!c.deleted) ExpectTokensMatchText(text, expression);
  }
}

TEST(caReferenceAdjustment, InsertionShiftsReferencesAtAndAfterTheInsertedCells) {
  RunEditCases({
      {"two columns at C", "=SUM(C1:D1)", 2, 0, Columns(2, 3), "=SUM(E1:F1)", false},
      {"absolute stays", "=$C$1", 2, 0, Columns(2, 3), "=$C$1", false},
      {"mixed", "=$C1+C$1", 2, 0, Columns(2, 3), "=$C1+E$1", false},
      {"range grows over insertion", "=SUM(B1:C1)", 2, 0, Columns(2, 3), "=SUM(B1:E1)", false},
      {"row inserted", "=A1+A2+$A$2+A$2", 0, 1, Rows(1, 1), "=A1+A3+$A$2+A$2", false},
      {"cells right, rows of block only", "=C2+C4+c3", 2, 0, Block(1, 1, 2, 2), "=E2+C4+E3", false},
      // A range typed end first names the same cells and keeps its typed order.
      {"reversed range untouched", "=SUM(A2:A1)", 0, 1, Rows(5, 5), "=SUM(A2:A1)", false},
      {"reversed range grows", "=SUM(C1:A1)", 1, 0, Columns(1, 1), "=SUM(D1:A1)", false},
      {"reversed in y only", "=SUM(A9:C2)", 0, 2, Rows(4, 5), "=SUM(A11:C2)", false},
      // An absolute coordinate never moves, even when a relative one passes it.
      {"relative start passes an absolute end", "=SUM(A2:B$2)", 0, 2, Rows(0, 1), "=SUM(A4:B$2)", false},
      // A rewritten reference never runs into the number before it.
      {"after a number", "=SUM(1D1)", 1, 0, Columns(0, 0), "=SUM(1 E1)", false},
      {"after a name", "=SUM(2.5B1,1)", 1, 0, Columns(0, 0), "=SUM(2.5 C1,1)", false},
      // What is pushed past the last column or row is gone.
      {"last column", "=ZZZZZ1+A1", 1, 0, Columns(0, 0), "=<Reference>+B1", true},
      {"range to the last column", "=SUM(ZZZZY1:ZZZZZ1)", 1, 0, Columns(0, 0), "=SUM(ZZZZZ1:ZZZZZ1)", false},
      {"range from the last column", "=SUM(ZZZZZ1:ZZZZZ2)", 1, 0, Columns(0, 0), "=SUM(<Reference>)", true},
  });
}

TEST(caReferenceAdjustment, DeletionShiftsLaterReferencesAndFlagsLostOnes) {
  RunEditCases({
      {"after the block", "=D1", -2, 0, Columns(1, 2), "=B1", false},
      {"first deleted column", "=B7", -2, 0, Columns(1, 2), "=<Reference>", true},
      {"range wholly deleted", "=SUM(B1:C1)", -2, 0, Columns(1, 2), "=SUM(<Reference>)", true},
      {"range over the block", "=SUM(A1:D1)", -2, 0, Columns(1, 2), "=SUM(A1:B1)", false},
      {"range inside then after", "=SUM(C1:E1)", -2, 0, Columns(1, 2), "=SUM(B1:C1)", false},
      {"absolute columns stay", "=$B$1+$C1", -2, 0, Columns(1, 2), "=$B$1+$C1", false},
      {"lost and moved together", "=SUM(C1,D1)*C1", -2, 0, Columns(1, 2), "=SUM(<Reference>,B1)*<Reference>", true},
      {"column A deleted", "=A1:A3+B1", -1, 0, Columns(0, 0), "=<Reference>+A1", true},
      {"cells left: rows of block", "=D2+D4+B1", -2, 0, Block(1, 1, 2, 2), "=B2+D4+B1", false},
      {"cells left: lost block", "=SUM(B2:C3)", -2, 0, Block(1, 1, 2, 2), "=SUM(<Reference>)", true},
      {"cells left: range partly outside", "=SUM(B2:C4)", -2, 0, Block(1, 1, 2, 2), "=SUM(B2:C4)", false},
      {"cells up", "=B4+A4", 0, -2, Block(1, 1, 1, 2), "=B2+A4", false},
      {"cells up: range shrinks", "=SUM(B1:B4)", 0, -2, Block(1, 1, 1, 2), "=SUM(B1:B2)", false},
      {"whole rows: every column", "=Z4+A4", 0, -2, Rows(1, 2), "=Z2+A2", false},
  });
}

// A shift of part of a range moves one of its corners only; the end is then kept not before the
// start, so the range never takes in cells that neither corner named (the cells the start moved
// past).
TEST(caReferenceAdjustment, AShiftedRangeKeepsItsEndNotBeforeItsStart) {
  RunEditCases({
      {"cells right over the first rows", "=SUM(B4:B8)", 2, 0, Block(1, 3, 2, 4), "=SUM(D4:D8)", false},
      {"cells right, start only absolute", "=SUM(B4:$B8)+SUM($B4:B8)", 2, 0, Block(1, 3, 2, 4),
       "=SUM(D4:$B8)+SUM($B4:B8)", false},
      {"cells down over the first columns", "=SUM(D2:H2)", 0, 2, Block(3, 1, 4, 2), "=SUM(D4:H4)", false},
      {"cells left under the last row", "=SUM(C1:E5)", -3, 0, Block(1, 4, 3, 4), "=SUM(C1:C5)", false},
      {"cells left, absolute start", "=SUM($C1:E5)", -3, 0, Block(1, 4, 3, 4), "=SUM($C1:C5)", false},
      {"cells up beside the last column", "=SUM(B5:E6)", 0, -3, Block(4, 1, 4, 3), "=SUM(B5:E5)", false},
      {"cells up, typed end first", "=SUM(E6:B5)", 0, -3, Block(4, 1, 4, 3), "=SUM(E5:B5)", false},
      // Whole rows move every cell alike: the deletion that undoes an insertion gives the range back.
      {"rows inserted past an absolute end", "=SUM(C1:E$2)", 0, 2, GridRange{{kGridWildcard, 0}, {kGridWildcard, 1}},
       "=SUM(C3:E$2)", false},
      {"the same rows deleted", "=SUM(C3:E$2)", 0, -2, GridRange{{kGridWildcard, 0}, {kGridWildcard, 1}},
       "=SUM(C1:E$2)", false},
  });
}

TEST(caReferenceAdjustment, CopyMovesRelativeCoordinatesOnly) {
  struct { const char* formula; int64_t dx, dy; const char* expected; } cases[] = {
      {"=A1+$B$1", 1, 1, "=B2+$B$1"}, {"=B3", -5, -5, "=A1"}, {"=A$1*$A2", 2, 3, "=C$1*$A5"},
      {"=Z9+SUM(Z9,A1)-Z9", 1, 1, "=AA10+SUM(AA10,B2)-AA10"}, {"=B1:A1", 0, 1, "=B2:A2"},
      // Copies stop at the last column and the first row.
      {"=ZZZZY1+ZZZZZ1", 2, 0, "=ZZZZZ1+ZZZZZ1"}, {"=SUM(A1:B2)/2", 0, 0, "=SUM(A1:B2)/2"},
  };
  for (const auto& c : cases) {
    QString text = QString::fromLatin1(c.formula);
    CAExpression expression = Parse(text);
    const bool changed = AdjustExpressionForCopy(text, expression, c.dx, c.dy);
    EXPECT_EQ(text, QString::fromLatin1(c.expected)) << c.formula;
    EXPECT_EQ(changed, QLatin1String(c.formula) != QLatin1String(c.expected)) << c.formula;
    ExpectTokensMatchText(text, expression);
  }
}

// "=" and the terms made of k = 1...n, joined by "+".
QString Terms(int n, const std::function<QString(int)>& term) {
  QStringList terms;
  for (int k = 1; k <= n; ++k) terms << term(k);
  return QLatin1Char('=') + terms.join(QLatin1Char('+'));
}

TEST(caReferenceAdjustment, AFormulaNamingManyCellsIsRewrittenWholeInOnePass) {
  const int n = 4000;
  const auto ref = [](const char* format) { return [format](int k) { return QString::asprintf(format, k, k); }; };
  const struct {
    const char* name;
    QString formula;
    int64_t dx, dy;  // an insertion (or deletion) at row 1, or a copy
    bool copy;
    QString expected;
  } cases[] = {
      // Each reference grows by a digit here and there: every later one moves by what went before.
      {"rows inserted", Terms(n, ref("A%d*B%d")), 0, 9, false, Terms(n, [](int k) { return QString::asprintf("A%d*B%d", k + 9, k + 9); })},
      // Most keep their length (made in place), the ones at 9, 99 and 999 grow.
      {"one row inserted", Terms(n, ref("A%d-B%d")), 0, 1, false,
       Terms(n, [](int k) { return QString::asprintf("A%d-B%d", k + 1, k + 1); })},
      // A range typed end first is written so again, its corners moved.
      {"ranges typed end first", Terms(n, ref("SUM(B%d:A%d)")), 0, 3, false,
       Terms(n, [](int k) { return QString::asprintf("SUM(B%d:A%d)", k + 3, k + 3); })},
      {"rows deleted", Terms(n, ref("A%d+$A$%d")) + QStringLiteral("+SUM(C20:C30)"), 0, -1, false,
       Terms(n, [](int k) { return k == 1 ? QStringLiteral("<Reference>+$A$1") : QString::asprintf("A%d+$A$%d", k - 1, k); }) +
           QStringLiteral("+SUM(C19:C29)")},
      {"copied a row down", Terms(n, ref("SUM(A%d:B%d)")), 0, 1, true,
       Terms(n, [](int k) { return QString::asprintf("SUM(A%d:B%d)", k + 1, k + 1); })},
      // A reference right after a number is kept apart from it by a space.
      {"copied after numbers", Terms(n, ref("2*%dD%d")).replace(QLatin1Char('*'), QString()), 1, 0, true,
       Terms(n, [](int k) { return QString::asprintf("2%d E%d", k, k); })},
  };
  for (const auto& c : cases) {
    QString text = c.formula;
    CAExpression expression = Parse(text);
    bool changed = false;
    if (c.copy) {
      changed = AdjustExpressionForCopy(text, expression, c.dx, c.dy);
    } else {
      const GridRange edit = c.dy > 0 ? Rows(0, c.dy - 1) : Rows(0, -c.dy - 1);
      changed = AdjustExpressionForEdit(text, expression, c.dx, c.dy, edit).changed;
    }
    EXPECT_TRUE(changed) << c.name;
    EXPECT_EQ(text, c.expected) << c.name;
    if (!text.contains(QLatin1String(kDeletedReferenceText))) ExpectTokensMatchText(text, expression);
  }
}

TEST(caReferenceAdjustment, BigMoveRewritesBothBlocks) {
  // Rows 2-3 (from 0) moved to 5: they land on 5-6 and rows 4-6 slide up to 2-4.
  const CABigMove rows{2, 3, 3, 4, 6, -2, false};
  // Columns C-D moved to A: they land on A-B and A-B slide right to C-D.
  const CABigMove columns{2, 3, -2, 0, 1, 2, true};
  struct { const char* formula; const CABigMove& move; const char* expected; } cases[] = {
      {"=A6+A3", rows, "=A4+A6"}, {"=A3:A4", rows, "=A6:A7"}, {"=A4:A5", rows, "=A4:A5"},
      {"=A$6+$Z3", rows, "=A$6+$Z6"}, {"=C1+A1", columns, "=A1+C1"}, {"=SUM(A1:B1)", columns, "=SUM(C1:D1)"},
      {"=$C1+C$1", columns, "=$C1+A$1"},
  };
  for (const auto& c : cases) {
    QString text = QString::fromLatin1(c.formula);
    CAExpression expression = Parse(text);
    const bool changed = AdjustExpressionForBigMove(text, expression, c.move);
    EXPECT_EQ(text, QString::fromLatin1(c.expected)) << c.formula;
    EXPECT_EQ(changed, QLatin1String(c.formula) != QLatin1String(c.expected)) << c.formula;
    ExpectTokensMatchText(text, expression);
  }
}

// ---- Cells ------------------------------------------------------------------------------------

class CellAdjustmentTest : public SheetTest {
 protected:
  std::vector<GridPoint> referrers(const char* at) {
    std::vector<GridPoint> found;
    document.referenceTable().referrersOf(A1(at), found);
    return found;
  }
};

TEST_F(CellAdjustmentTest, ReferenceToDeletedCellsBecomesAnError) {
  enter("C1", "7");
  enter("D1", "11");
  CACell& a1 = enter("A1", "=C1+D1");
  recalc();
  ASSERT_EQ(shown("A1"), QStringLiteral("18"));

  // Column C is deleted: C1 is gone, D1 is now C1.
  a1.adjustExpressionBy(-1, 0, Columns(2, 2));
  EXPECT_EQ(a1.formula(), QStringLiteral("=<Reference>+C1"));
  EXPECT_EQ(a1.parseResult(), kFormulaErrorSymbol);
  EXPECT_EQ(a1.errorOffset(), 1u);
  EXPECT_TRUE(referrers("C1").empty());
  EXPECT_TRUE(referrers("D1").empty());
  recalc();
  EXPECT_EQ(shown("A1"), QStringLiteral("error 9"));

  // The error is in the text, so it survives saving and reading the cell.
  FLXmlEncoder encoder;
  ASSERT_TRUE(a1.saveToXml(encoder));
  auto decoder = FLXmlDecoder::withString(encoder.xml());
  ASSERT_TRUE(decoder && decoder->getNextTag());
  const std::unique_ptr<CACell> back = CACell::withXml(*decoder, &document);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->formula(), QStringLiteral("=<Reference>+C1"));
  EXPECT_EQ(back->parseResult(), kFormulaErrorSymbol);
}

}  // namespace
