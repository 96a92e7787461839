// What the grid's movement and selection commands do to the selection, as a pure function of
// the selection, the active cell and the occupied area, so that every rule can be checked
// without a view. The cell view applies the answer to its document.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <cstdint>

// The responder commands of the grid that move or extend the selection.
enum class CAGridCommand {
  MoveUp,
  MoveDown,
  MoveLeft,
  MoveRight,
  MoveUpAndModifySelection,
  MoveDownAndModifySelection,
  MoveLeftAndModifySelection,
  MoveRightAndModifySelection,
  MoveToBeginningOfDocument,
  MoveToEndOfDocument,
  MoveToBeginningOfLine,
  MoveToEndOfLine,
  MoveToBeginningOfDocumentAndModifySelection,
  MoveToEndOfDocumentAndModifySelection,
  MoveToBeginningOfLineAndModifySelection,
  MoveToEndOfLineAndModifySelection,
  SelectAll,
};

// The sheet as the commands see it.
struct CAGridMoveState {
  GridRange selection;      // as stored: wildcards mark whole rows or columns
  GridPoint active;
  bool showOnlyOccupied = false;
  GridPoint lastOccupied;   // the last occupied column and row (the document's maxGridPoint)
};

struct CAGridMoveResult {
  enum Kind {
    kNothing,
    kBeep,
    kSelectPoint,    // the selection becomes the one cell `active`
    kActivate,       // the active cell moves inside the selection, which stays
    kSelectRange,    // the selection becomes `selection`, with `active` as active cell
  };
  Kind kind = kNothing;
  GridRange selection;
  GridPoint active;
  // The point enters the displayed extent, which grows to show it.
  bool registerForDisplay = false;
  friend bool operator==(const CAGridMoveResult&, const CAGridMoveResult&) = default;
};

// senderIsView: the command came from a key the grid handled itself, which lets Tab-like
// steps inside a block go on to the next or previous row.
CAGridMoveResult GridMoveResult(const CAGridMoveState& state, CAGridCommand command, bool senderIsView);
