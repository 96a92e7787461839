// The selection of an engine document lives in its current pane: a range of cps (a caret when
// empty) or a rectangle of table cells. Here: setting it, following the mouse while a selection
// is dragged out by character, word, sentence, line, paragraph or cell, showing and hiding it,
// marking changed ranges for redrawing, the caret's flash, the typing properties of a caret,
// safe caret positions, and walking the selected ranges.
#pragma once

#include "glimmet/layout/gmLocate.h"
#include "glimmet/storage/gmTypes.h"

#include <cstdint>

struct Pane;

// Selection units.
enum : int32_t {
  kUnitCharacter = 0,
  kUnitCells = 1,
  kUnitLine = 2,
  kUnitParagraph = 3,
  kUnitSentence = 4,
  kUnitWord = 5,
};
// Active ends: which end of the selection moves.
inline constexpr uint8_t kActiveFirst = 0, kActiveLimit = 1, kActiveNone = 23;

// SafeMoveCp flags.
inline constexpr uint32_t kSafeBackward = 1, kSafeKeepMarks = 2, kSafeRangeEnd = 4;

// What the engine keeps while the mouse is down.
struct SelectionTrackRec {
  LocatorRec locator;      // the latest point
  LocatorRec click;        // the point first clicked
  int32_t column = -1;     // the cell column of the latest point
  int32_t anchorColumn = -1;
  int32_t lastCp = -1;
  int32_t anchorCp = -1;
  int32_t anchorFirst = -1;  // the unit first clicked
  int32_t anchorLimit = -1;
  int32_t charAnchor = -1;
  bool started = false;
  bool expanded = false;
  int32_t unit = kUnitCharacter;
  int32_t selectionType = 0;
  int32_t contentsKind = 0;  // the pane's, put back when the mouse goes up
  uint32_t modifiers = 0;
  double x = 0, y = 0;
  DocRange tableRange;
  // The pane's selection when the click came, put back by a click that only activates.
  int32_t savedFirst = 0, savedLimit = 0;
  uint32_t savedFrame = kGMNone;
  int32_t savedCellFirst = -1, savedCellLimit = -1;
  bool savedAfterLineEnd = false;
};

// The record of a running mouse selection, and whether it drives a drag.
SelectionTrackRec* SelectionTracking(GlimmetDoc* doc);
SelectionTrackRec* NewSelectionTracking(GlimmetDoc* doc);
void FreeSelectionTracking(GlimmetDoc* doc);
bool IsTrackingSelection(GlimmetDoc* doc);
void SetTrackingSelection(GlimmetDoc* doc, bool tracking);
// Drops everything kept for the document (it is going away).
void ForgetSelectionTracking(GlimmetDoc* doc);

// The last cp a caret may stand on, and the limit a selection may reach, in the pane.
uint32_t PaneLastCp(GlimmetDoc* doc, Pane* pane);
uint32_t PaneSelectionLimit(GlimmetDoc* doc, Pane* pane);

void SelectCpsCore(GlimmetDoc* doc, uint32_t first, uint32_t limit, bool show, bool afterLineEnd);
// Turns the old selection off and makes [first, limit) the new one, not yet shown.
void StartSelection(GlimmetDoc* doc, uint32_t first, uint32_t limit);
void TurnOffSel(GlimmetDoc* doc);
void TurnOnSel(GlimmetDoc* doc);
void ToggleSel(GlimmetDoc* doc);
void InvalidateSel(GlimmetDoc* doc);
void ContinueTextSelectionTracking(GlimmetDoc* doc, double x, double y);
// Moves the moving end to newCp, collapsing the far side back to the anchor unit; marks what
// changed. Whether the selection is not empty.
bool ChangeTextSelection(GlimmetDoc* doc, uint32_t newCp, uint32_t* anchor, int32_t* first, int32_t* limit,
                         uint32_t unitFirst, uint32_t unitLimit);
bool ShowSelection(GlimmetDoc* doc, bool restore, bool flash);
void CollapseColumnSelection(GlimmetDoc* doc, bool toStart);
void FixBookmarkSelection(GlimmetDoc* doc, DocRange* range, uint32_t knotType);
// The current pane's non-empty selection as a finished mouse drag leaves it: bookmarks and tags
// whole, both ends on shown cps; outside panes of contents kind 3 it does not end on a chapter
// knot's last kink nor, with the end guard, at the end of the user's text; and in a plain pane a
// caret left on a later chapter's knot by a drag that stayed within it takes the whole knot.
// chapter receives the knot of the chapter that holds the result's last cp.
DocRange TidyDraggedSelection(GlimmetDoc* doc, Pane* pane, DocRange* chapter);
uint32_t SafeMoveCp(GlimmetDoc* doc, uint32_t cp, uint32_t bound, uint32_t flags);
bool IsSelectionPicture(GlimmetDoc* doc, uint32_t* pictureIndex);
void SetInsertionPropsFromText(GlimmetDoc* doc, Pane* pane);
// A locator on the pane of the document, at the cp (-1: none yet).
inline LocatorRec LocatorFor(GlimmetDoc* doc, Pane* pane, int32_t cp = -1) {
  LocatorRec locator;
  locator.doc = doc;
  locator.pane = pane;
  locator.cp = cp;
  return locator;
}
// Whether the point lies inside the rectangle of the cp's character (on the locator's pane).
bool PointInCpRect(const LocatorRec& locator, uint32_t cp, double x, double y);
// Asks the pane's view to redraw the lines that show [first, limit).
void MarkCps(GlimmetDoc* doc, Pane* pane, uint32_t first, uint32_t limit);
void FlashIP(GlimmetDoc* doc);

struct SelectionEnumRec {
  GlimmetDoc* doc = nullptr;
  uint32_t first = 0, limit = 0;  // the current range
  bool cells = false;
  bool backward = false;
  uint32_t selFirst = 0, selLimit = 0;
  uint32_t rowFirst = kGMNone;
  int32_t firstColumn = -1, limitColumn = -1;
  int32_t column = -1;
};
void InitSelectionEnum(GlimmetDoc* doc, Pane* pane, SelectionEnumRec* rec);
bool NextSelectionRange(SelectionEnumRec* rec);
