// Find in an engine document: text (matching case or not, whole words only or not, forwards and
// backwards, wrapping round the pane), and special items found by their knots or properties:
// pictures, checkboxes, links, dividers, variables, references whose bookmark is gone, and runs
// of given character or paragraph properties. The host sets the process-wide settings first.
#pragma once

#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>
#include <functional>

// What to find.
enum : int32_t {
  kFindBrokenLink = 2,
  kFindCharProps = 3,   // runs whose character properties equal the settings' record
  kFindCheckbox = 4,
  kFindLink = 5,
  kFindDivider = 6,
  kFindParaProps = 7,   // paragraphs whose paragraph properties equal the settings' record
  kFindPicture = 8,
  kFindNormalChars = 9,  // runs in the Normal character style
  kFindText = 10,
  kFindVariable = 11,
};
// Option bits.
inline constexpr int32_t kFindWholeWord = 0x1, kFindIgnoreCase = 0x2, kFindWrap = 0x4, kFindFromStart = 0x8;

struct GMFindSettings {
  int32_t type = 0;  // nothing to find until the host sets it up
  QString string;
  int32_t options = 0;
  PropRecord props;
  // Set to 1 when a search starts, and when bookmarks go; with an even value a picture find
  // matches only the first picture.
  uint32_t knotIndex = 1;
};
extern GMFindSettings g_findSettings;

// What the view side adds to a find: selecting a match in a displayed document (scrolled into
// view and flashed), and the beep of a failed search. Variables are searched in their shown
// text (VariableKnotText).
struct GMFindHost {
  std::function<void(GlimmetDoc* doc, const DocRange& match)> show;
  std::function<void()> beep;
};
void SetFindHost(GMFindHost host);

// Whether the current settings can search backwards.
bool MayFindPrevious();
// Forgets the document's find hits, redrawing their text.
void InvalidateFindResults(GlimmetDoc* doc);
// Find never stops in note text unless the pane shows notes, nor in a chapter's own texts.
bool MaySearchAtCp(GlimmetDoc* doc, uint32_t cp);

// The next match of the settings in the current pane: from the pane's start, or forwards from the
// selection's end, or backwards from its start. The scan ends early, with no match, when *cancel
// becomes true.
bool FindNext(GlimmetDoc* doc, bool fromStart, bool forward, DocRange* match, const bool* cancel = nullptr);
// FindNext, then the match is selected; what the document object's find runs.
bool PerformFind(GlimmetDoc* doc, bool fromStart, bool forward);
// Selects a reference whose bookmark is gone, or beeps when there is none.
bool FindBrokenLink(GlimmetDoc* doc, bool forward, bool fromStart);
// Selects the match (a whole link when it starts in one) and shows it in a displayed document.
void SelectFoundText(DocRange match);
