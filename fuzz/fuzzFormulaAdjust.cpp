// Rewrites a formula for an insertion, a deletion, a move of whole columns or rows, or a copy,
// and checks that the rewriting never changes what the formula means: the rewritten tokens are
// what a fresh parse of the rewritten text gives, and an insertion followed by the matching
// deletion gives the formula back as it was typed when its references were spelt as a rewrite
// spells them ("b01" comes back as "B1"). A violation aborts, which the fuzzer reports.
//
// Input: three bytes choose the edit (its kind, the first column or row it touches, how many),
// the rest is the formula ("=" is put in front when missing).
#include "calculator/model/CAGridPoint.h"
#include "calculator/model/formula/CAFormulaToken.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caReferenceAdjustment.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int64_t kWildcard = kGridWildcard;

[[noreturn]] void Fail(const char* what, const QString& before, const QString& after) {
  std::fprintf(stderr, "%s\n  formula: %s\n  rewritten: %s\n", what, before.toUtf8().constData(),
               after.toUtf8().constData());
  std::abort();
}

bool SameToken(const CAFormulaToken& a, const CAFormulaToken& b) {
  if (a.type() != b.type() || a.formulaIndex() != b.formulaIndex()) return false;
  switch (a.type()) {
    case kTokenReference:
      return a.point() == b.point();
    case kTokenRange:
      return a.range() == b.range();
    case kTokenFunction:
      return a.function() == b.function();
    case kTokenOperator:
      return a.operatorCode() == b.operatorCode();
    default:
      return a.number().has_value() == b.number().has_value() &&
             (!a.number() || a.number()->description() == b.number()->description());
  }
}

// The rewritten tokens must be the parse of the rewritten text.
void ExpectReparsed(const QString& original, const QString& text, const CAExpression& rewritten) {
  CAExpression fresh;
  uint64_t offset = 0;
  if (ParseFormula(text, fresh, &offset) != 0) Fail("the rewritten formula no longer parses", original, text);
  if (fresh.size() != rewritten.size()) Fail("the rewritten formula has other tokens", original, text);
  for (size_t i = 0; i < fresh.size(); ++i)
    if (!SameToken(fresh[i], rewritten[i])) Fail("a rewritten token differs from the parse", original, text);
}

// Whether every relative coordinate stays clear of the grid's far edges by `margin`, so that an
// insertion cannot push it off or clamp it.
bool ClearOfTheEdges(const CAExpression& expression, int64_t margin) {
  const auto clear = [&](const GridPoint& p) {
    return (p.x < 0 || p.x + margin < LastGridColumn()) && (p.y < 0 || p.y + margin < kLastGridRow);
  };
  for (const CAFormulaToken& token : expression) {
    if (token.type() == kTokenReference && !clear(token.point())) return false;
    if (token.type() == kTokenRange && (!clear(token.range().startPoint) || !clear(token.range().endPoint)))
      return false;
  }
  return true;
}

// Whether every reference is spelt as a rewrite would spell it (capitals, no leading zeros), so
// that a rewrite and its reverse must give the very text back.
bool SpeltCanonically(const QString& formula, const CAExpression& expression) {
  const auto isReferenceCharacter = [](QChar c) { return c == u'$' || c == u':' || c.isLetterOrNumber(); };
  for (const CAFormulaToken& token : expression) {
    if (token.type() != kTokenReference && token.type() != kTokenRange) continue;
    qsizetype end = qsizetype(token.formulaIndex());
    while (end < formula.size() && isReferenceCharacter(formula[end])) ++end;
    const QString text = formula.mid(qsizetype(token.formulaIndex()), end - qsizetype(token.formulaIndex()));
    for (const QString& half : text.split(QLatin1Char(':'))) {
      GridPoint point;
      if (!ParseGridPoint(half, 0, half.size(), &point) || FormatGridPoint(point) != half) return false;
    }
  }
  return true;
}

}  // namespace

int FuzzFormulaAdjust(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int kind = data[0] % 7;
  const int64_t first = data[1] % 32;
  const int64_t count = 1 + data[2] % 3;
  QString formula = QString::fromUtf8(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));
  if (!formula.startsWith(QLatin1Char('='))) formula.prepend(QLatin1Char('='));
  CAExpression expression;
  uint64_t offset = 0;
  if (ParseFormula(formula, expression, &offset) != 0) return 0;

  QString text = formula;
  CAExpression adjusted = expression;
  switch (kind) {
    case 0:    // columns
    case 1:    // rows
    case 2: {  // cells to the right of a block
      const bool columns = kind != 1;
      const GridRange edit = kind == 0   ? GridRange{{first, kWildcard}, {first + count - 1, kWildcard}}
                             : kind == 1 ? GridRange{{kWildcard, first}, {kWildcard, first + count - 1}}
                                         : GridRange{{first, 2}, {first + count - 1, 6}};
      const int64_t dx = columns ? count : 0;
      const int64_t dy = columns ? 0 : count;
      const CAEditAdjustment inserted = AdjustExpressionForEdit(text, adjusted, dx, dy, edit);
      if (inserted.referenceDeleted) return 0;
      ExpectReparsed(formula, text, adjusted);
      // Deleting the inserted columns or rows gives the formula back, unless the insertion had to
      // keep a reference apart from the text before it or stopped a range at the edge of the grid.
      // (Cells shifted within a block may tear a range that reaches out of it; that is no round trip.)
      if (kind == 2 || text.count(QLatin1Char(' ')) != formula.count(QLatin1Char(' ')) ||
          !ClearOfTheEdges(expression, 8) || !SpeltCanonically(formula, expression))
        return 0;
      const CAEditAdjustment deleted = AdjustExpressionForEdit(text, adjusted, -dx, -dy, edit);
      if (deleted.referenceDeleted) Fail("the deletion lost a reference the insertion kept", formula, text);
      if (text != formula) Fail("insertion and deletion do not give the formula back", formula, text);
      ExpectReparsed(formula, text, adjusted);
      break;
    }
    case 3:
    case 4: {  // whole columns or rows moved past their neighbours
      const int64_t destination = (first * 7 + count) % 40;
      if (destination == first) return 0;
      CABigMove move;
      move.firstStart = first;
      move.firstEnd = first + count - 1;
      move.firstDelta = destination - first;
      if (first > destination) {
        move.secondStart = destination;
        move.secondEnd = first - 1;
        move.secondDelta = count;
      } else {
        move.secondStart = first + count;
        move.secondEnd = destination + count - 1;
        move.secondDelta = -count;
      }
      move.columns = kind == 3;
      AdjustExpressionForBigMove(text, adjusted, move);
      ExpectReparsed(formula, text, adjusted);
      break;
    }
    default: {  // copied elsewhere
      const int64_t dx = kind == 5 ? count * 3 : -first;
      const int64_t dy = kind == 5 ? -first : count * 5;
      AdjustExpressionForCopy(text, adjusted, dx, dy);
      ExpectReparsed(formula, text, adjusted);
      break;
    }
  }
  return 0;
}
