// The movement keys in the draft: arrows, Page Up and Page Down, Home and End with Shift,
// Command, Option and Control move the caret or extend the selection of the current pane. Word
// and sentence bounds in the document serve them and mouse selection.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <cstdint>

struct Pane;

// Engine key numbers.
enum : uint32_t {
  kSelKeyDown = 0,
  kSelKeyLeft = 1,
  kSelKeyRight = 2,
  kSelKeyUp = 3,
  kSelKeyPageDown = 4,
  kSelKeyPageUp = 5,
  kSelKeyEnd = 6,
  kSelKeyHome = 7,
};

// Performs the key on the current pane's selection; noTable when a table move hands the key back.
// Answers whether the moved end ended up in view (the pane's last cp for an unknown key).
uint32_t SelectKeyDraft(GlimmetDoc* doc, uint32_t key, uint32_t modifiers, bool noTable);

uint32_t WordStart(GlimmetDoc* doc, Pane* pane, uint32_t cp);
uint32_t WordLimit(GlimmetDoc* doc, Pane* pane, uint32_t cp, bool trailingWhite);
uint32_t SentenceStart(GlimmetDoc* doc, uint32_t cp);
uint32_t SentenceLimit(GlimmetDoc* doc, uint32_t cp);
uint32_t StartOfRealText(GlimmetDoc* doc, uint32_t cp, uint32_t floor);
uint32_t EndOfRealText(GlimmetDoc* doc, uint32_t cp, uint32_t ceiling);

// Asks the scroll view around the pane's view to scroll one step (autoScroll directions).
bool AutoScrollView(Pane* pane, int direction, bool vertical);
