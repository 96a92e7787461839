#include "calculator/views/caGridMovement.h"

#include <algorithm>

namespace {

using Result = CAGridMoveResult;

Result Nothing() { return {}; }
Result Beep() { return {Result::kBeep, {}, {}, false}; }
Result SelectPoint(const GridPoint& point, bool registerForDisplay = false) {
  return {Result::kSelectPoint, GridRange{point, point}, point, registerForDisplay};
}
Result Activate(const GridPoint& point, bool registerForDisplay = false) {
  return {Result::kActivate, {}, point, registerForDisplay};
}
Result SelectRange(const GridRange& range, const GridPoint& active, bool registerForDisplay = false) {
  return {Result::kSelectRange, range, active, registerForDisplay};
}

// The selection's kind and its plain bounds (whole rows and columns run from 0 to the open end).
struct Shape {
  int32_t kind;
  GridRange bounds;
  bool oneCell() const { return kind == kRangeCell; }
  bool rows() const { return kind == kRangeRows; }
  bool columns() const { return kind == kRangeColumns; }
};

Shape ShapeOf(const GridRange& selection) {
  Shape shape;
  shape.kind = TypeOfRange(&shape.bounds, selection);
  GridRange& b = shape.bounds;
  if (b.startPoint.x > b.endPoint.x) std::swap(b.startPoint.x, b.endPoint.x);
  if (b.startPoint.y > b.endPoint.y) std::swap(b.startPoint.y, b.endPoint.y);
  return shape;
}

// One step forward along an axis, wrapping to 0 past the last occupied index while only the
// occupied area shows.
int64_t StepForward(int64_t n, int64_t last, bool onlyOccupied) {
  return onlyOccupied && n >= last ? 0 : n + 1;
}

Result MoveDown(const CAGridMoveState& s, const Shape& shape) {
  const GridRange& b = shape.bounds;
  if (shape.oneCell())
    return SelectPoint({b.startPoint.x, StepForward(b.startPoint.y, s.lastOccupied.y, s.showOnlyOccupied)}, true);
  if (shape.columns())
    return Activate({s.active.x, StepForward(s.active.y, s.lastOccupied.y, s.showOnlyOccupied)}, true);
  return Activate({s.active.x, s.active.y < b.endPoint.y ? s.active.y + 1 : b.startPoint.y});
}

Result MoveUp(const CAGridMoveState& s, const Shape& shape) {
  const GridRange& b = shape.bounds;
  if (shape.oneCell() || shape.columns()) {
    const GridPoint from = shape.oneCell() ? b.startPoint : s.active;
    if (from.y > 0) return shape.oneCell() ? SelectPoint({from.x, from.y - 1}) : Activate({from.x, from.y - 1});
    if (!s.showOnlyOccupied) return Nothing();
    return shape.oneCell() ? SelectPoint({from.x, s.lastOccupied.y}) : Activate({from.x, s.lastOccupied.y});
  }
  return Activate({s.active.x, s.active.y > b.startPoint.y ? s.active.y - 1 : b.endPoint.y});
}

Result MoveRight(const CAGridMoveState& s, const Shape& shape, bool senderIsView) {
  const GridRange& b = shape.bounds;
  if (shape.oneCell())
    return SelectPoint({StepForward(b.startPoint.x, s.lastOccupied.x, s.showOnlyOccupied), b.startPoint.y}, true);
  if (shape.rows())
    return Activate({StepForward(s.active.x, s.lastOccupied.x, s.showOnlyOccupied), s.active.y}, true);
  if (s.active.x < b.endPoint.x) return Activate({s.active.x + 1, s.active.y});
  int64_t y = s.active.y;
  if (senderIsView) {
    if (shape.columns())
      y = s.active.y + 1;
    else
      y = s.active.y < b.endPoint.y ? s.active.y + 1 : b.startPoint.y;
  }
  return Activate({b.startPoint.x, y});
}

Result MoveLeft(const CAGridMoveState& s, const Shape& shape, bool senderIsView) {
  const GridRange& b = shape.bounds;
  if (shape.oneCell() || shape.rows()) {
    const GridPoint from = shape.oneCell() ? b.startPoint : s.active;
    if (from.x > 0) return shape.oneCell() ? SelectPoint({from.x - 1, from.y}) : Activate({from.x - 1, from.y});
    if (!s.showOnlyOccupied) return Nothing();
    return shape.oneCell() ? SelectPoint({s.lastOccupied.x, from.y}) : Activate({s.lastOccupied.x, from.y});
  }
  if (s.active.x > b.startPoint.x) return Activate({s.active.x - 1, s.active.y});
  int64_t y = s.active.y;
  if (senderIsView) {
    if (shape.columns())
      y = std::max<int64_t>(0, s.active.y - 1);
    else
      y = s.active.y > b.startPoint.y ? s.active.y - 1 : b.endPoint.y;
  }
  return Activate({b.endPoint.x, y});
}

}  // namespace

CAGridMoveResult GridMoveResult(const CAGridMoveState& s, CAGridCommand command, bool senderIsView) {
  const Shape shape = ShapeOf(s.selection);
  if (shape.kind == kRangeInvalid) return Beep();
  // The stored selection keeps its wildcards; its numeric bounds are the plain ones.
  GridRange range = s.selection;
  const GridRange& b = shape.bounds;
  switch (command) {
    case CAGridCommand::MoveDown: return MoveDown(s, shape);
    case CAGridCommand::MoveUp: return MoveUp(s, shape);
    case CAGridCommand::MoveRight: return MoveRight(s, shape, senderIsView);
    case CAGridCommand::MoveLeft: return MoveLeft(s, shape, senderIsView);

    case CAGridCommand::MoveDownAndModifySelection: {
      if (shape.columns()) return Beep();
      if (s.showOnlyOccupied && b.endPoint.y >= s.lastOccupied.y) return Beep();
      range.startPoint.y = b.startPoint.y;
      range.endPoint.y = b.endPoint.y + 1;
      return SelectRange(range, {s.active.x, range.endPoint.y}, true);
    }
    case CAGridCommand::MoveRightAndModifySelection: {
      if (shape.rows()) return Beep();
      if (s.showOnlyOccupied && b.endPoint.x >= s.lastOccupied.x) return Beep();
      range.startPoint.x = b.startPoint.x;
      range.endPoint.x = b.endPoint.x + 1;
      return SelectRange(range, {range.endPoint.x, s.active.y}, true);
    }
    case CAGridCommand::MoveUpAndModifySelection: {
      if (shape.columns() || b.startPoint.y == 0) return Beep();
      range.startPoint.y = b.startPoint.y - 1;
      range.endPoint.y = b.endPoint.y;
      return SelectRange(range, {s.active.x, range.startPoint.y});
    }
    case CAGridCommand::MoveLeftAndModifySelection: {
      if (shape.rows() || b.startPoint.x == 0) return Beep();
      range.startPoint.x = b.startPoint.x - 1;
      range.endPoint.x = b.endPoint.x;
      return SelectRange(range, {range.startPoint.x, s.active.y});
    }

    case CAGridCommand::MoveToBeginningOfDocument: return SelectPoint({0, 0});
    case CAGridCommand::MoveToEndOfDocument: return SelectPoint(s.lastOccupied);
    case CAGridCommand::MoveToBeginningOfLine:
      if (shape.columns()) return Beep();
      return SelectPoint({0, s.active.y});
    case CAGridCommand::MoveToEndOfLine: return SelectPoint({s.lastOccupied.x, s.active.y});

    case CAGridCommand::MoveToBeginningOfDocumentAndModifySelection: {
      if (shape.rows()) {
        range.startPoint.y = 0;
        range.endPoint.y = b.endPoint.y;
      } else if (shape.columns()) {
        range.startPoint.x = 0;
        range.endPoint.x = b.endPoint.x;
      } else {
        range = GridRange{{0, 0}, b.endPoint};
      }
      return SelectRange(range, {0, 0});
    }
    case CAGridCommand::MoveToEndOfDocumentAndModifySelection: {
      const GridPoint& m = s.lastOccupied;
      if (shape.columns()) {
        range.startPoint.x = std::min(b.startPoint.x, m.x);
        range.endPoint.x = std::max(b.startPoint.x, m.x);
      } else if (shape.rows()) {
        range.startPoint.y = std::min(b.startPoint.y, m.y);
        range.endPoint.y = std::max(b.startPoint.y, m.y);
      } else {
        range = GridRange{{std::min(b.startPoint.x, m.x), std::min(b.startPoint.y, m.y)},
                          {std::max(b.startPoint.x, m.x), std::max(b.startPoint.y, m.y)}};
      }
      return SelectRange(range, m);
    }
    case CAGridCommand::MoveToBeginningOfLineAndModifySelection:
      if (shape.rows()) return Beep();
      range.startPoint.x = 0;
      range.endPoint.x = b.endPoint.x;
      return SelectRange(range, {0, s.active.y});
    case CAGridCommand::MoveToEndOfLineAndModifySelection:
      if (shape.rows()) return Beep();
      range.startPoint.x = std::min(b.startPoint.x, s.lastOccupied.x);
      range.endPoint.x = std::max(b.startPoint.x, s.lastOccupied.x);
      return SelectRange(range, {s.lastOccupied.x, s.active.y});

    case CAGridCommand::SelectAll: return SelectRange(GridRange{{0, 0}, s.lastOccupied}, {0, 0});
  }
  return Nothing();
}
