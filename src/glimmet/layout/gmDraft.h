// The draft: the engine's continuous layout of a pane's range, lines of one width stacked from
// the pane's first draft cp downwards with no pages. A pane keeps only the lines on screen in its
// line table; this file computes, draws, forgets and scrolls them, and is the layout service
// through which edits mark lines dirty.
#pragma once

#include "framlet/foundation/Kolor.h"
#include "glimmet/storage/gmPane.h"
#include "glimmet/storage/gmTypes.h"

#include <QRectF>

#include <cstdint>
#include <vector>

struct LineFormat;
class QPainter;

// Scroll units of ScrollVertDraft.
inline constexpr int kScrollLine = 0, kScrollPage = 1, kScrollCp = 2;

// The range a pane's draft lays out: the pane's range without the document's final paragraph
// mark, which no line shows.
void DraftRange(GlimmetDoc* doc, Pane* pane, DocRange* range);
// The formatting width in EMU: the view's width less the side margins when the document fits
// the window, else the page less its margins. pane nullptr: the current pane.
int64_t DraftWidth(GlimmetDoc* doc, Pane* pane);
// A line boundary of the line holding cp, or -1: mode 0 its start, 1 the next line's start,
// 2 the last cp on it where a caret can stand.
int32_t DraftLineStart(GlimmetDoc* doc, Pane* pane, uint32_t cp, int mode);

// The heights of the lines of one paragraph (or table row), keyed by their start cps.
struct ParaLineHeights {
  std::vector<uint32_t> cps;
  std::vector<float> heights;
  uint32_t endCp = 0;
};
// Lays out the paragraph holding cp up to limit; its start cp, or kGMNone on failure.
uint32_t GetParaLineHeights(GlimmetDoc* doc, Pane* pane, uint32_t cp, uint32_t limit, LineFormat* format,
                            float* total, ParaLineHeights* table);

// Drops the lines GetParaLineHeights keeps of the paragraph it laid out last (nullptr: any).
void ForgetParaLineHeights(GlimmetDoc* doc);
// Whether those lines are the document's.
bool ParaLineHeightsKeptFor(const GlimmetDoc* doc);

void TrashDraft(GlimmetDoc* doc, Pane* pane, bool toStart);
// Rebuilds the line table for the view without drawing; count gets the number of lines.
bool CalculateLines(GlimmetDoc* doc, Pane* pane, uint32_t* count);
// Snaps the first draft cp to a line start; true when it changed.
bool ShouldSetNewFirstCp(GlimmetDoc* doc, Pane* pane, uint32_t rangeFirst, uint32_t rangeLimit, bool replace);
// Formats lines from cp at y into the line table at *index (which advances) until stopCp or the
// bottom, drawing those that start above the clip's bottom when a painter is given. When the
// lines reach the bottom, the lines held below them are dropped. Returns the cp reached.
uint32_t DrawNewLines(GlimmetDoc* doc, Pane* pane, LineFormat* format, uint32_t cp, double y, double bottom,
                      uint32_t stopCp, uint32_t* index, QPainter* painter, const QRectF& clip);
// Draws the pane's lines that meet dirty into painter, laying out what is missing (the view's
// drawing). Printing draws the lines that start within dirty (a page) and end on it, or are
// taller than it, and notes no scroll position. keepFirstCp draws from the range's start and
// leaves the first draft cp as it is.
void DrawDraft(GlimmetDoc* doc, Pane* pane, QPainter& painter, const QRectF& dirty, bool printing = false,
               bool keepFirstCp = false);

// Scrolls by amount lines (unit 0: the sign only), pages (1), or to a cp (2).
void ScrollVertDraft(GlimmetDoc* doc, Pane* pane, int32_t amount, int unit);
// Brings the line table up to date after a scroll, marking changed rectangles for display.
void PostScrollCheck(GlimmetDoc* doc, Pane* pane);
// The step for scrolling through a tall line (0: it scrolls as a whole).
float TallLinePartialScroll(GlimmetDoc* doc, Pane* pane, int32_t cp, float lineHeight);
// The first cp of the page above the old first line (limit), and the height it spans.
int32_t PrecedingPageCp(GlimmetDoc* doc, Pane* pane, uint32_t cp, uint32_t limit, LineFormat* format,
                        float* height, float pageHeight);
// Tells the pane's view the draft moved.
void NoteNewScrollPosition(GlimmetDoc* doc, Pane* pane);
// The y of the first line's top in the view: the view's top, less the part scrolled out, plus the
// help document's gap.
double DraftTop(GlimmetDoc* doc, Pane* pane);

// Marks dirty every laid-out line of every displayed pane that overlaps the range.
void InvalTextCore(const DocRange& range, bool widen);
// The index of the line holding cp without asserting (see the line table); atEnd allows count.
uint32_t SafeIndexOfCp(const DraftLineTable& lines, uint32_t cp, bool atEnd);
// Installs the draft as the storage's layout service (once per process).
void InstallDraftLayout();
