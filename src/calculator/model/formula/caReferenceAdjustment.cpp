#include "calculator/model/formula/caReferenceAdjustment.h"

#include "framlet/foundation/flBase.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr const char* kNotAReferenceMessage = "Not a reference token";
constexpr const char* kOutsideFormulaMessage = "Reference outside its formula";

// The largest plain coordinate along an axis: "ZZZZZ" for columns, the last row for rows.
int64_t Largest(bool alongX) { return alongX ? LastGridColumn() : kLastGridRow; }

// A plain coordinate moved by delta, kept between 0 and one past the largest: a coordinate one
// past it was pushed off the grid, which the caller decides about.
int64_t AddPlain(int64_t n, int64_t delta, int64_t largest) {
  int64_t sum;
  if (__builtin_add_overflow(n, delta, &sum)) return delta > 0 ? largest + 1 : 0;
  return std::clamp<int64_t>(sum, 0, largest + 1);
}

// The same, stopping at the largest coordinate.
int64_t AddPlainClamped(int64_t n, int64_t delta, int64_t largest) {
  return std::min(AddPlain(n, delta, largest), largest);
}

// A range's corners in order along each axis, each coordinate keeping its "$", as the parser
// holds them: a relative start that an edit moved past an absolute end changes places with it.
GridRange Ordered(GridRange range) {
  const auto order = [](int64_t& first, int64_t& last) {
    if (NormalizeCoordinate(first) > NormalizeCoordinate(last)) std::swap(first, last);
  };
  order(range.startPoint.x, range.endPoint.x);
  order(range.startPoint.y, range.endPoint.y);
  return range;
}

// The edited selection, classified and normalised once for every token of a pass.
struct EditShift {
  int64_t dx = 0;
  int64_t dy = 0;
  int32_t kind = kRangeInvalid;
  GridRange block;
};

EditShift MakeEditShift(int64_t dx, int64_t dy, const GridRange& editRange) {
  EditShift shift;
  shift.dx = dx;
  shift.dy = dy;
  shift.kind = TypeOfRange(&shift.block, editRange);
  return shift;
}

// A range whose cells a block shift tears keeps its end not before its start: a relative end
// that the edit left behind its start is brought up to it, so that the range does not take in
// the cells the start moved past. An absolute end never moves; a start that passes one changes
// places with it instead. Whole columns and rows move every cell of a range alike, so there a
// corner that passes an absolute one changes places with it too, and the deletion that undoes an
// insertion gives the range back.
int64_t KeepNotBefore(const EditShift& e, int64_t start, int64_t end) {
  if (end < 0 || e.kind == kRangeRows || e.kind == kRangeColumns) return end;
  return std::max(NormalizeCoordinate(start), end);
}

bool InSpan(int64_t n, int64_t first, int64_t last) { return n >= first && n <= last; }

// Whether a column x in row y moves with the edit. A column on the block's first column moves
// on insertion, and as the end of a range on deletion.
bool XAffectedByEdit(const EditShift& e, int64_t x, int64_t y, bool isEnd) {
  if (e.dx == 0 || e.kind == kRangeRows || e.kind == kRangeInvalid || x < 0) return false;
  if (x < e.block.startPoint.x) return false;
  if (e.kind != kRangeColumns &&
      !InSpan(NormalizeCoordinate(y), e.block.startPoint.y, e.block.endPoint.y))
    return false;
  if (x > e.block.startPoint.x) return true;
  return e.dx > 0 || isEnd;
}

bool YAffectedByEdit(const EditShift& e, int64_t x, int64_t y, bool isEnd) {
  if (e.dy == 0 || e.kind == kRangeColumns || e.kind == kRangeInvalid || y < 0) return false;
  if (y < e.block.startPoint.y) return false;
  if (e.kind != kRangeRows &&
      !InSpan(NormalizeCoordinate(x), e.block.startPoint.x, e.block.endPoint.x))
    return false;
  if (y > e.block.startPoint.y) return true;
  return e.dy > 0 || isEnd;
}

// One coordinate under the shift: delta, the block's first and last position on that axis. An
// insertion may push a coordinate one past the largest, off the grid.
int64_t ShiftStart(int64_t n, int64_t delta, int64_t first, int64_t last, int64_t largest) {
  if (delta > 0) return AddPlain(n, delta, largest);
  return n <= last ? first : AddPlain(n, delta, largest);
}

int64_t ShiftEnd(int64_t n, int64_t delta, int64_t first, int64_t last, int64_t largest) {
  if (delta > 0) return AddPlain(n, delta, largest);
  return n < last ? std::max<int64_t>(first - 1, 0) : AddPlain(n, delta, largest);
}

int64_t ShiftStartX(const EditShift& e, int64_t x, int64_t y) {
  if (!XAffectedByEdit(e, x, y, false)) return x;
  return ShiftStart(x, e.dx, e.block.startPoint.x, e.block.endPoint.x, Largest(true));
}

int64_t ShiftEndX(const EditShift& e, int64_t x, int64_t y) {
  if (!XAffectedByEdit(e, x, y, true)) return x;
  return ShiftEnd(x, e.dx, e.block.startPoint.x, e.block.endPoint.x, Largest(true));
}

int64_t ShiftStartY(const EditShift& e, int64_t x, int64_t y) {
  if (!YAffectedByEdit(e, x, y, false)) return y;
  return ShiftStart(y, e.dy, e.block.startPoint.y, e.block.endPoint.y, Largest(false));
}

int64_t ShiftEndY(const EditShift& e, int64_t x, int64_t y) {
  if (!YAffectedByEdit(e, x, y, true)) return y;
  return ShiftEnd(y, e.dy, e.block.startPoint.y, e.block.endPoint.y, Largest(false));
}

// Whether an insertion pushed the (plain) point off the grid.
bool OffGrid(const GridPoint& point) { return point.x > Largest(true) || point.y > Largest(false); }

// An end pushed off the grid stops at its last column or row.
GridPoint OnGrid(GridPoint point) {
  if (point.x > Largest(true)) point.x = Largest(true);
  if (point.y > Largest(false)) point.y = Largest(false);
  return point;
}

// Whether a deletion removes every cell of the span [first, last] along its axis (both plain,
// so that they follow their cells) and [crossFirst, crossLast] across it.
bool SpanDeleted(const EditShift& e, bool alongX, int64_t first, int64_t last, int64_t crossFirst,
                 int64_t crossLast) {
  if (e.kind == kRangeInvalid || first < 0 || last < 0) return false;
  if (alongX ? (e.dx >= 0 || e.kind == kRangeRows) : (e.dy >= 0 || e.kind == kRangeColumns)) return false;
  const GridPoint& s = e.block.startPoint;
  const GridPoint& t = e.block.endPoint;
  const int64_t lo = std::min(first, last);
  const int64_t hi = std::max(first, last);
  if (alongX ? !(lo >= s.x && hi <= t.x) : !(lo >= s.y && hi <= t.y)) return false;
  // Deleting whole columns (or rows) takes every row (or column) with them.
  if (e.kind == (alongX ? kRangeColumns : kRangeRows)) return true;
  const int64_t crossLo = std::min(NormalizeCoordinate(crossFirst), NormalizeCoordinate(crossLast));
  const int64_t crossHi = std::max(NormalizeCoordinate(crossFirst), NormalizeCoordinate(crossLast));
  return alongX ? crossLo >= s.y && crossHi <= t.y : crossLo >= s.x && crossHi <= t.x;
}

bool AffectedByEdit(const EditShift& e, const CAFormulaToken& token, GridPoint* point, GridRange* range,
                    bool* deleted) {
  if (deleted) *deleted = false;
  const int32_t type = token.type();
  if (type == kTokenReference) {
    const GridPoint& old = token.point();
    if (SpanDeleted(e, true, old.x, old.x, old.y, old.y) || SpanDeleted(e, false, old.y, old.y, old.x, old.x)) {
      if (deleted) *deleted = true;
      return true;
    }
    GridPoint moved;
    moved.x = ShiftStartX(e, old.x, old.y);
    moved.y = ShiftStartY(e, moved.x, old.y);
    // Cells pushed past the last column or row are gone as surely as deleted ones.
    if (OffGrid(moved)) {
      if (deleted) *deleted = true;
      return true;
    }
    if (point) *point = moved;
    return moved != old;
  }
  if (type == kTokenRange) {
    const GridRange& old = token.range();
    const GridPoint& s = old.startPoint;
    const GridPoint& t = old.endPoint;
    if (SpanDeleted(e, true, s.x, t.x, s.y, t.y) || SpanDeleted(e, false, s.y, t.y, s.x, t.x)) {
      if (deleted) *deleted = true;
      return true;
    }
    // Where each corner goes; AdjustReference puts corners round an absolute end in order.
    GridRange moved;
    moved.startPoint.x = ShiftStartX(e, s.x, s.y);
    moved.endPoint.x = KeepNotBefore(e, moved.startPoint.x, ShiftEndX(e, t.x, t.y));
    moved.startPoint.y = ShiftStartY(e, moved.startPoint.x, s.y);
    moved.endPoint.y = KeepNotBefore(e, moved.startPoint.y, ShiftEndY(e, moved.endPoint.x, t.y));
    if (OffGrid(moved.startPoint)) {
      if (deleted) *deleted = true;
      return true;
    }
    moved.endPoint = OnGrid(moved.endPoint);
    if (range) *range = moved;
    return moved != old;
  }
  return false;
}

// 0 outside both blocks, 1 in the first, 2 in the second.
int BlockOf(const CABigMove& move, int64_t n) {
  if (InSpan(n, move.firstStart, move.firstEnd)) return 1;
  if (InSpan(n, move.secondStart, move.secondEnd)) return 2;
  return 0;
}

int64_t MoveByBlock(const CABigMove& move, int64_t n) {
  if (n < 0) return n;
  switch (BlockOf(move, n)) {
    case 1:
      return AddPlainClamped(n, move.firstDelta, Largest(move.columns));
    case 2:
      return AddPlainClamped(n, move.secondDelta, Largest(move.columns));
    default:
      return n;
  }
}

int64_t& Along(GridPoint& point, bool columns) { return columns ? point.x : point.y; }

// Copies stop at the edges of the grid.
int64_t CopyCoordinate(int64_t n, int64_t delta, bool alongX) {
  return n < 0 ? n : AddPlainClamped(n, delta, Largest(alongX));
}

bool IsReferenceCharacter(QChar c) {
  const char16_t u = c.unicode();
  return u == u'$' || u == u':' || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') ||
         (u >= u'0' && u <= u'9');
}

// The first corner of the range text at `start` as it was typed; kGridNoPoint when unreadable.
GridPoint TypedFirstCorner(const QString& formula, uint64_t start) {
  GridPoint corner{kGridNoPoint, kGridNoPoint};
  qsizetype colon = qsizetype(start);
  while (colon < formula.size() && IsReferenceCharacter(formula[colon]) && formula[colon] != u':') ++colon;
  if (colon >= formula.size() || formula[colon] != u':' || !ParseGridPoint(formula, qsizetype(start), colon, &corner))
    return GridPoint{kGridNoPoint, kGridNoPoint};
  return corner;
}

}  // namespace

bool TokenAffectedByEdit(const CAFormulaToken& token, int64_t dx, int64_t dy, GridPoint* point,
                         GridRange* range, const GridRange& editRange, bool* deleted) {
  const int32_t type = token.type();
  if (deleted) *deleted = false;
  if (type != kTokenReference && type != kTokenRange) return false;
  return AffectedByEdit(MakeEditShift(dx, dy, editRange), token, point, range, deleted);
}

bool TokenAffectedByBigMove(const CAFormulaToken& token, const CABigMove& move, GridPoint* point,
                            GridRange* range) {
  const int32_t type = token.type();
  if (type == kTokenReference) {
    GridPoint moved = token.point();
    int64_t& n = Along(moved, move.columns);
    n = MoveByBlock(move, n);
    if (point) *point = moved;
    return moved != token.point();
  }
  if (type == kTokenRange) {
    GridRange moved = token.range();
    int64_t& s = Along(moved.startPoint, move.columns);
    int64_t& e = Along(moved.endPoint, move.columns);
    const int block = BlockOf(move, NormalizeCoordinate(s));
    // A range reaching out of one block would be torn apart; it stays as it is.
    if (block == 0 || block != BlockOf(move, NormalizeCoordinate(e))) return false;
    s = MoveByBlock(move, s);
    e = MoveByBlock(move, e);
    if (range) *range = moved;
    return moved != token.range();
  }
  return false;
}

bool TokenAffectedByCopy(const CAFormulaToken& token, int64_t dx, int64_t dy, GridPoint* point,
                         GridRange* range) {
  const int32_t type = token.type();
  if (type == kTokenReference) {
    const GridPoint& old = token.point();
    const GridPoint moved{CopyCoordinate(old.x, dx, true), CopyCoordinate(old.y, dy, false)};
    if (point) *point = moved;
    return moved != old;
  }
  if (type == kTokenRange) {
    const GridRange& old = token.range();
    GridRange moved;
    moved.startPoint = {CopyCoordinate(old.startPoint.x, dx, true), CopyCoordinate(old.startPoint.y, dy, false)};
    moved.endPoint = {CopyCoordinate(old.endPoint.x, dx, true), CopyCoordinate(old.endPoint.y, dy, false)};
    if (range) *range = moved;
    return moved != old;
  }
  return false;
}

namespace {

// One reference's text to be replaced: where it starts in the text as it was and how long it was
// there, and where what it becomes lies in the pass's texts.
struct Rewrite {
  qsizetype start;
  qsizetype textStart;
  int64_t shiftAfter;  // how far this rewrite and those before it moved the text after them
  qsizetype oldLength;
  qsizetype textLength;
  uint32_t token;
  bool joins;
};

// The rewrites of one pass, gathered against the text as it was and made at its end in one walk
// of the text, every token's offset moved by what the rewrites before it changed: a formula that
// names a hundred thousand cells is rewritten in time linear in its length, not once for each of
// them. What the references become is written into one text of the pass, not a text apiece.
class RewritePass {
 public:
  RewritePass(QString& formula, CAExpression& expression) : formula_(formula), expression_(expression) {}

  // Gives the token its new point (reference) or range (range token) and notes its A1 form.
  void adjust(size_t tokenIndex, const GridPoint& point, const GridRange& range) {
    if (tokenIndex >= expression_.size()) {
      LogAssert(kNotAReferenceMessage, __func__, __FILE__, __LINE__);
      return;
    }
    CAFormulaToken& token = expression_[tokenIndex];
    qsizetype start, length;
    bool joins;
    if (!place(token, true, &start, &length, &joins)) return;
    const int32_t type = token.type();
    if (type != kTokenRange && type != kTokenReference) {
      LogAssert(kNotAReferenceMessage, __func__, __FILE__, __LINE__);
      return;
    }
    room();
    const qsizetype textStart = texts_.size();
    // A reference written right after a number or a name ("1D1") must not run into it: "1E1"
    // would read as a number. A space keeps the two apart.
    if (joins) texts_ += QLatin1Char(' ');
    if (type == kTokenRange) {
      // `range` holds where each corner of the token went. Each coordinate is written on the side
      // it was typed on, so a range typed end first stays so; the token holds the corners as a
      // parse of the text orders them.
      const GridPoint typed = TypedFirstCorner(formula_, token.formulaIndex());
      const GridRange& old = token.range();
      const bool flipX = typed.x != old.startPoint.x && typed.x == old.endPoint.x;
      const bool flipY = typed.y != old.startPoint.y && typed.y == old.endPoint.y;
      const GridPoint first{flipX ? range.endPoint.x : range.startPoint.x, flipY ? range.endPoint.y : range.startPoint.y};
      const GridPoint last{flipX ? range.startPoint.x : range.endPoint.x, flipY ? range.startPoint.y : range.endPoint.y};
      token.setRange(Ordered(GridRange{first, last}));
      AppendGridPoint(texts_, first);
      texts_ += QLatin1Char(':');
      AppendGridPoint(texts_, last);
    } else {
      token.setPoint(point);
      AppendGridPoint(texts_, point);
    }
    rewrites_.push_back(Rewrite{start, textStart, 0, length, texts_.size() - textStart, uint32_t(tokenIndex), joins});
  }

  // Notes kDeletedReferenceText in place of the token's text; the token itself is left as it was.
  void markDeleted(size_t tokenIndex) {
    if (tokenIndex >= expression_.size()) {
      LogAssert(kNotAReferenceMessage, __func__, __FILE__, __LINE__);
      return;
    }
    qsizetype start, length;
    bool joins;
    if (!place(expression_[tokenIndex], false, &start, &length, &joins)) return;
    room();
    const qsizetype textStart = texts_.size();
    texts_ += QLatin1String(kDeletedReferenceText);
    rewrites_.push_back(Rewrite{start, textStart, 0, length, texts_.size() - textStart, uint32_t(tokenIndex), false});
  }

  void finish();

 private:
  // Where the token's reference text lies, and whether a reference written there would run into
  // what comes before it; false, told, when its offset lies outside the text.
  bool place(const CAFormulaToken& token, bool reference, qsizetype* start, qsizetype* length, bool* joins) const {
    const uint64_t at = token.formulaIndex();
    if (at >= uint64_t(formula_.size())) {
      LogAssert(kOutsideFormulaMessage, __func__, __FILE__, __LINE__);
      return false;
    }
    qsizetype end = qsizetype(at);
    while (end < formula_.size() && IsReferenceCharacter(formula_[end])) ++end;
    const QChar before = at > 0 ? formula_[qsizetype(at) - 1] : QChar(u' ');
    *start = qsizetype(at);
    *length = end - qsizetype(at);
    *joins = reference && (before.isLetterOrNumber() || before == u'.' || before == u'_');
    return true;
  }

  // Room for a rewrite of every reference at the first, so that neither list is moved as it
  // grows: the texts about as long as the formula.
  void room() {
    if (rewrites_.capacity() > 0) return;
    size_t references = 0;
    for (const CAFormulaToken& token : expression_)
      references += token.type() == kTokenReference || token.type() == kTokenRange ? 1 : 0;
    rewrites_.reserve(std::max<size_t>(references, 1));
    texts_.reserve(formula_.size() + qsizetype(references));
  }

  // How far the rewrites before the k-th moved the text.
  int64_t shiftBefore(size_t k) const { return k == 0 ? 0 : rewrites_[k - 1].shiftAfter; }

  QString& formula_;
  CAExpression& expression_;
  QString texts_;
  std::vector<Rewrite> rewrites_;
};

void RewritePass::finish() {
  if (rewrites_.empty()) return;
  const QChar* texts = texts_.constData();
  // Most rewrites keep their length (a row inserted makes A2 of A1): those are made in place and
  // move nothing.
  if (std::all_of(rewrites_.begin(), rewrites_.end(),
                  [](const Rewrite& r) { return !r.joins && r.textLength == r.oldLength; })) {
    QChar* out = formula_.data();
    for (const Rewrite& r : rewrites_) std::copy_n(texts + r.textStart, r.textLength, out + r.start);
    return;
  }
  const auto byStart = [](const Rewrite& a, const Rewrite& b) { return a.start < b.start; };
  if (!std::is_sorted(rewrites_.begin(), rewrites_.end(), byStart)) std::sort(rewrites_.begin(), rewrites_.end(), byStart);
  qsizetype length = formula_.size();
  for (const Rewrite& r : rewrites_) length += r.textLength - r.oldLength;
  QString result;
  result.reserve(length);
  qsizetype at = 0;
  int64_t shift = 0;
  for (Rewrite& r : rewrites_) {
    if (r.start < at) {
      // Two rewrites of one text cannot be: the later is dropped rather than the text torn.
      LogAssert(kOutsideFormulaMessage, __func__, __FILE__, __LINE__);
      r.shiftAfter = shift;
      continue;
    }
    result += QStringView(formula_).mid(at, r.start - at);
    result += QStringView(texts + r.textStart, r.textLength);
    at = r.start + r.oldLength;
    shift += int64_t(r.textLength) - int64_t(r.oldLength);
    r.shiftAfter = shift;
  }
  result += QStringView(formula_).mid(at);
  formula_ = std::move(result);
  // The rewrites that start before a token moved it. Tokens come mostly in the order of their
  // text, so the count is found by stepping from the last token's, in steps that double.
  const size_t count = rewrites_.size();
  const auto before = [&](size_t k, int64_t index) { return int64_t(rewrites_[k].start) < index; };
  size_t last = 0;  // rewrites [0, last) start before the last token
  for (CAFormulaToken& token : expression_) {
    const int64_t index = int64_t(token.formulaIndex());
    size_t low = 0, high = count;  // the count lies in [low, high]
    if (last < count && before(last, index)) {
      low = last + 1;
      for (size_t step = 1; low < count && before(low, index); step *= 2) {
        last = low;
        low = std::min(count, low + step);
      }
      high = low;
      low = last + 1;
    } else {
      high = last;
      for (size_t step = 1; high > 0 && !before(high - 1, index); step *= 2) {
        last = high - 1;
        high = high > step ? high - step : 0;
      }
      low = high;
      high = last;
    }
    while (low < high) {
      const size_t middle = low + (high - low) / 2;
      if (before(middle, index))
        low = middle + 1;
      else
        high = middle;
    }
    last = low;
    token.setFormulaIndex(uint64_t(index + shiftBefore(last)));
  }
  // A rewritten token starts where its text now does, after the space that keeps it apart.
  for (size_t k = 0; k < count; ++k) {
    const Rewrite& r = rewrites_[k];
    expression_[r.token].setFormulaIndex(uint64_t(int64_t(r.start) + shiftBefore(k) + (r.joins ? 1 : 0)));
  }
}

}  // namespace

void AdjustReference(QString& formula, CAExpression& expression, size_t tokenIndex,
                     const GridPoint& point, const GridRange& range) {
  RewritePass pass(formula, expression);
  pass.adjust(tokenIndex, point, range);
  pass.finish();
}

void MarkDeletedReference(QString& formula, CAExpression& expression, size_t tokenIndex) {
  RewritePass pass(formula, expression);
  pass.markDeleted(tokenIndex);
  pass.finish();
}

CAEditAdjustment AdjustExpressionForEdit(QString& formula, CAExpression& expression, int64_t dx,
                                         int64_t dy, const GridRange& editRange) {
  CAEditAdjustment result;
  if (dx == 0 && dy == 0) return result;
  const EditShift shift = MakeEditShift(dx, dy, editRange);
  RewritePass pass(formula, expression);
  for (size_t i = 0; i < expression.size(); ++i) {
    GridPoint point;
    GridRange range;
    bool deleted = false;
    if (!AffectedByEdit(shift, expression[i], &point, &range, &deleted)) continue;
    result.changed = true;
    if (deleted) {
      pass.markDeleted(i);
      result.referenceDeleted = true;
    } else {
      pass.adjust(i, point, range);
    }
  }
  pass.finish();
  return result;
}

bool AdjustExpressionForBigMove(QString& formula, CAExpression& expression, const CABigMove& move) {
  bool changed = false;
  RewritePass pass(formula, expression);
  for (size_t i = 0; i < expression.size(); ++i) {
    GridPoint point;
    GridRange range;
    if (!TokenAffectedByBigMove(expression[i], move, &point, &range)) continue;
    pass.adjust(i, point, range);
    changed = true;
  }
  pass.finish();
  return changed;
}

bool AdjustExpressionForCopy(QString& formula, CAExpression& expression, int64_t dx, int64_t dy) {
  bool changed = false;
  if (dx == 0 && dy == 0) return changed;
  RewritePass pass(formula, expression);
  for (size_t i = 0; i < expression.size(); ++i) {
    GridPoint point;
    GridRange range;
    if (!TokenAffectedByCopy(expression[i], dx, dy, &point, &range)) continue;
    pass.adjust(i, point, range);
    changed = true;
  }
  pass.finish();
  return changed;
}
