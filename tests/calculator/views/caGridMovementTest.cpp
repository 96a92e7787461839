// The movement and selection rules of the grid's commands, worked out by hand: stepping and
// cycling inside a block, wrapping over the occupied area, extending and its refusals.
#include "calculator/views/caGridMovement.h"
#include "calculator/model/CAGridPoint.h"
#include "calculator/model/SheetTestSupport.h"

#include <gtest/gtest.h>

inline void PrintTo(const GridRange& range, std::ostream* os) {
  *os << StringFromGridPoint(range.startPoint).toStdString() << ":"
      << StringFromGridPoint(range.endPoint).toStdString();
}

namespace {

using C = CAGridCommand;
using R = CAGridMoveResult;

GridRange Cell(const char* at) { return Range(at, at); }

struct Case {
  const char* name;
  GridRange selection;
  const char* active;
  bool onlyOccupied;
  C command;
  bool senderIsView;
  R::Kind kind;
  const char* expectedActive;  // for kSelectPoint and kActivate
};

// The sheet's last occupied cell is E6 (column 4, row 5).
const GridPoint kLast = A1("E6");

TEST(GridMovement, StepsCycleAndWrapByTheSelectionsKind) {
  const Case cases[] = {
      // One cell.
      {"return moves down", Cell("B2"), "B2", false, C::MoveDown, true, R::kSelectPoint, "B3"},
      {"shift-return moves up", Cell("B2"), "B2", false, C::MoveUp, true, R::kSelectPoint, "B1"},
      {"up at row 0 does nothing", Cell("B1"), "B1", false, C::MoveUp, true, R::kNothing, nullptr},
      {"left at column 0 does nothing", Cell("A3"), "A3", false, C::MoveLeft, true, R::kNothing, nullptr},
      {"down past the occupied rows wraps", Cell("C6"), "C6", true, C::MoveDown, true, R::kSelectPoint, "C1"},
      {"down beyond them wraps too", Cell("C9"), "C9", true, C::MoveDown, true, R::kSelectPoint, "C1"},
      {"down inside them steps", Cell("C5"), "C5", true, C::MoveDown, true, R::kSelectPoint, "C6"},
      {"down on the whole sheet never wraps", Cell("C6"), "C6", false, C::MoveDown, true, R::kSelectPoint, "C7"},
      {"up at row 0 wraps to the last row", Cell("C1"), "C1", true, C::MoveUp, true, R::kSelectPoint, "C6"},
      {"tab on the last column wraps", Cell("E2"), "E2", true, C::MoveRight, true, R::kSelectPoint, "A2"},
      {"backtab at column 0 wraps", Cell("A2"), "A2", true, C::MoveLeft, true, R::kSelectPoint, "E2"},
      // A block B2:D4.
      {"tab at the right edge goes to the next row",
       Range("B2", "D4"), "D2", false, C::MoveRight, true, R::kActivate, "B3"},
      {"tab at the last cell goes to the first",
       Range("B2", "D4"), "D4", false, C::MoveRight, true, R::kActivate, "B2"},
      {"tab inside a row steps right", Range("B2", "D4"), "C3", false, C::MoveRight, true, R::kActivate, "D3"},
      {"a tab from elsewhere stays in its row",
       Range("B2", "D4"), "D3", false, C::MoveRight, false, R::kActivate, "B3"},
      {"return steps down the column", Range("B2", "D4"), "C2", false, C::MoveDown, true, R::kActivate, "C3"},
      {"return wraps from the bottom row", Range("B2", "D4"), "C4", false, C::MoveDown, true, R::kActivate, "C2"},
      {"shift-return wraps from the top row", Range("B2", "D4"), "C2", false, C::MoveUp, true, R::kActivate, "C4"},
      {"backtab at the left edge goes to the previous row",
       Range("B2", "D4"), "B3", false, C::MoveLeft, true, R::kActivate, "D2"},
      {"backtab at the first cell goes to the last",
       Range("B2", "D4"), "B2", false, C::MoveLeft, true, R::kActivate, "D4"},
      // Whole rows 2-3 and whole columns B-C.
      {"return cycles inside whole rows", Rows(1, 2), "C3", false, C::MoveDown, true, R::kActivate, "C2"},
      {"tab moves along whole rows", Rows(1, 2), "C3", false, C::MoveRight, true, R::kActivate, "D3"},
      {"tab wraps along whole rows over the occupied area",
       Rows(1, 2), "E3", true, C::MoveRight, true, R::kActivate, "A3"},
      {"return moves down whole columns", Columns(1, 2), "B3", false, C::MoveDown, true, R::kActivate, "B4"},
      {"tab in whole columns goes on down", Columns(1, 2), "C3", false, C::MoveRight, true, R::kActivate, "B4"},
      {"backtab in whole columns goes back up", Columns(1, 2), "B3", false, C::MoveLeft, true, R::kActivate, "C2"},
      {"and stops at row 0", Columns(1, 2), "B1", false, C::MoveLeft, true, R::kActivate, "C1"},
  };
  for (const Case& c : cases) {
    const CAGridMoveState state{c.selection, A1(c.active), c.onlyOccupied, kLast};
    const R result = GridMoveResult(state, c.command, c.senderIsView);
    EXPECT_EQ(result.kind, c.kind) << c.name;
    if (c.expectedActive) { EXPECT_EQ(result.active, A1(c.expectedActive)) << c.name; }
  }
}

struct ExtendCase {
  const char* name;
  GridRange selection;
  const char* active;
  bool onlyOccupied;
  C command;
  R::Kind kind;
  GridRange expectedRange;
  const char* expectedActive;
};

TEST(GridMovement, ExtendingGrowsTheSelectionOrBeeps) {
  const ExtendCase cases[] = {
      {"shift-down grows the bottom",
       Cell("B2"), "B2", false, C::MoveDownAndModifySelection, R::kSelectRange, Range("B2", "B3"), "B3"},
      {"shift-right grows the right",
       Range("B2", "C3"), "B2", false, C::MoveRightAndModifySelection, R::kSelectRange, Range("B2", "D3"), "D2"},
      {"shift-up grows the top",
       Range("B2", "C3"), "C3", false, C::MoveUpAndModifySelection, R::kSelectRange, Range("B1", "C3"), "C1"},
      {"shift-left grows the left",
       Range("B2", "C3"), "C3", false, C::MoveLeftAndModifySelection, R::kSelectRange, Range("A2", "C3"), "A3"},
      {"shift-up at row 0 beeps", Cell("B1"), "B1", false, C::MoveUpAndModifySelection, R::kBeep, {}, nullptr},
      {"shift-left at column 0 beeps", Cell("A2"), "A2", false, C::MoveLeftAndModifySelection, R::kBeep, {}, nullptr},
      {"shift-right on whole rows beeps",
       Rows(1, 2), "A2", false, C::MoveRightAndModifySelection, R::kBeep, {}, nullptr},
      {"shift-left on whole rows beeps",
       Rows(1, 2), "B2", false, C::MoveLeftAndModifySelection, R::kBeep, {}, nullptr},
      {"shift-down on whole columns beeps",
       Columns(1, 2), "B1", false, C::MoveDownAndModifySelection, R::kBeep, {}, nullptr},
      {"shift-up on whole columns beeps",
       Columns(1, 2), "B2", false, C::MoveUpAndModifySelection, R::kBeep, {}, nullptr},
      {"shift-down past the occupied rows beeps",
       Range("B2", "B6"), "B2", true, C::MoveDownAndModifySelection, R::kBeep, {}, nullptr},
      {"shift-right past the occupied columns beeps",
       Range("B2", "E2"), "B2", true, C::MoveRightAndModifySelection, R::kBeep, {}, nullptr},
      {"shift-down grows whole rows",
       Rows(1, 2), "C2", false, C::MoveDownAndModifySelection, R::kSelectRange, Rows(1, 3), "C4"},
      {"option-shift-down reaches the last occupied cell",
       Cell("B2"), "B2", false, C::MoveToEndOfDocumentAndModifySelection, R::kSelectRange, Range("B2", "E6"), "E6"},
      {"on whole columns only the columns grow",
       Columns(1, 1), "B1", false, C::MoveToEndOfDocumentAndModifySelection, R::kSelectRange, Columns(1, 4), "E6"},
      {"option-shift-up reaches the origin",
       Range("C3", "D4"), "C3", false, C::MoveToBeginningOfDocumentAndModifySelection, R::kSelectRange,
       Range("A1", "D4"), "A1"},
      {"on whole rows only the rows grow",
       Rows(2, 3), "A3", false, C::MoveToBeginningOfDocumentAndModifySelection, R::kSelectRange, Rows(0, 3), "A1"},
      {"to the beginning of the line",
       Range("C3", "D4"), "D4", false, C::MoveToBeginningOfLineAndModifySelection, R::kSelectRange,
       Range("A3", "D4"), "A4"},
      {"to the end of the line",
       Range("B3", "C4"), "B4", false, C::MoveToEndOfLineAndModifySelection, R::kSelectRange, Range("B3", "E4"), "E4"},
      {"line extension refuses whole rows",
       Rows(2, 3), "A3", false, C::MoveToEndOfLineAndModifySelection, R::kBeep, {}, nullptr},
      {"select all", Cell("C3"), "C3", false, C::SelectAll, R::kSelectRange, Range("A1", "E6"), "A1"},
      {"home of the line refuses whole columns",
       Columns(1, 2), "B2", false, C::MoveToBeginningOfLine, R::kBeep, {}, nullptr},
      {"end of the document", Cell("B2"), "B2", false, C::MoveToEndOfDocument, R::kSelectPoint, Cell("E6"), "E6"},
  };
  for (const ExtendCase& c : cases) {
    const CAGridMoveState state{c.selection, A1(c.active), c.onlyOccupied, kLast};
    const R result = GridMoveResult(state, c.command, true);
    EXPECT_EQ(result.kind, c.kind) << c.name;
    if (c.kind == R::kBeep) continue;
    EXPECT_EQ(result.selection, c.expectedRange) << c.name;
    EXPECT_EQ(result.active, A1(c.expectedActive)) << c.name;
  }
}

}  // namespace
