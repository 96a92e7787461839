// A pane is one view's window onto an engine document: the view, its zoom, its selection and the
// lines laid out for it (its line table). A document holds at most two panes; a document that is
// never shown still gets one without a view. The layout is installed behind GMLayoutService, so
// the storage can mark laid-out lines dirty without knowing how they are made.
#pragma once

#include <QRectF>

#include <cstdint>
#include <vector>

struct GlimmetDoc;
struct DocRange;

// Pane contents kinds: 1 plain text, 4 no display (a pane without a view).
inline constexpr int32_t kPaneContentsPlain = 1;
inline constexpr int32_t kPaneContentsNoDisplay = 4;

// Display flags of a pane.
inline constexpr uint32_t kPaneShowAllCodes = 1;
inline constexpr uint32_t kPaneShowKnotSlots = 2;

// What the layout needs of the view that shows a pane. Rectangles are in the draft's coordinates:
// points, y growing downwards, before the pane's zoom. A pane without a view has none of this.
class GMPaneView {
 public:
  // Directions of autoScroll: 0 and 2 a line forward, 1 and 3 a line back, 4 a page forward, 5 a
  // page back.
  static constexpr int kScrollLineForward = 0, kScrollLineBack = 3, kScrollPageForward = 4, kScrollPageBack = 5;

  virtual ~GMPaneView() = default;
  virtual QRectF bounds() const { return {}; }
  // The part of the bounds the scroll view shows.
  virtual QRectF visibleRect() const { return bounds(); }
  // The horizontal scroll position of the enclosing scroll view (points).
  virtual double horizontalScroll() const { return 0; }
  virtual void setNeedsDisplay(const QRectF& /*rect*/) {}
  virtual void setNeedsDisplay() {}
  // The draft moved: the view updates its scroll limits and tells its scroll view the vertical
  // position, counted in cps from the pane range's start (a fraction within a tall first line).
  virtual void noteNewScrollPosition(double /*vertical*/) {}
  // Whether the view is the first responder of the key window, and the application is active.
  virtual bool isKeyFirstResponder() const { return true; }
  virtual bool applicationActive() const { return true; }
  // Scrolls the enclosing scroll view one step in the direction (the auto-scroll directions of
  // the selection keys); false when there is nothing to scroll.
  virtual bool autoScroll(int /*direction*/, bool /*vertical*/) { return false; }
  // Scrolls horizontally to x points, without animation.
  virtual void scrollToHorizontal(double /*x*/) {}
};

// One laid-out line of a pane, keyed in the line table by the cp where it starts.
struct DraftLine {
  uint32_t startKind = 0;       // 0 text, 2 divider, 3 table row
  uint16_t nextWordLength = 0;  // units from the limit through the word that follows
  uint8_t dirty = 0;            // must be formatted again before it is trusted
  uint8_t spare = 0;
  double x = 0, y = 0, width = 0, height = 0;  // view coordinates
};

// The lines a pane holds, in cp order; endCp is where the line after the last one held starts.
class DraftLineTable {
 public:
  struct Entry {
    uint32_t cp;
    DraftLine line;
  };
  uint32_t count() const { return uint32_t(entries_.size()); }
  bool empty() const { return entries_.empty(); }
  // The cp of line i; at count() the end cp.
  uint32_t cpAt(uint32_t i) const { return i < count() ? entries_[i].cp : endCp_; }
  DraftLine& at(uint32_t i) { return entries_[i].line; }
  const DraftLine& at(uint32_t i) const { return entries_[i].line; }
  uint32_t endCp() const { return endCp_; }
  void setEndCp(uint32_t cp) { endCp_ = cp; }
  void setCp(uint32_t i, uint32_t cp) { entries_[i].cp = cp; }
  void clear(uint32_t endCp) {
    entries_.clear();
    endCp_ = endCp;
  }
  void insert(uint32_t i, uint32_t cp, const DraftLine& line) { entries_.insert(entries_.begin() + i, {cp, line}); }
  void erase(uint32_t i, uint32_t n = 1) { entries_.erase(entries_.begin() + i, entries_.begin() + i + n); }
  // Keeps the first n lines; the end cp becomes endCp.
  void truncate(uint32_t n, uint32_t endCp) {
    if (n < count()) entries_.resize(n);
    endCp_ = endCp;
  }
  // The last line whose cp is at or before cp; kNone (all ones) before the first line.
  uint32_t indexOfCp(uint32_t cp) const {
    uint32_t lo = 0, hi = count();
    while (lo < hi) {
      const uint32_t mid = (lo + hi) / 2;
      if (entries_[mid].cp <= cp) lo = mid + 1;
      else hi = mid;
    }
    return lo == 0 ? 0xFFFFFFFF : lo - 1;
  }

 private:
  std::vector<Entry> entries_;
  uint32_t endCp_ = 0;
};

struct Pane {
  GMPaneView* view = nullptr;
  float zoom = 1.0f;
  int32_t contentsKind = kPaneContentsPlain;
  uint32_t displayFlags = 0;
  uint32_t chapterIndex = 0;
  uint32_t frameIndex = 0xFFFFFFFF;  // 0xFFFFFFFF: a text selection
  uint8_t selectionKind = 0;
  int32_t selFirst = 0;
  int32_t selLimit = 0;
  uint32_t savedFirst = 0xFFFFFFFF;
  uint32_t savedLimit = 0xFFFFFFFF;
  float caretX = -1.0f;  // remembered horizontal positions for moving the caret up and down
  int32_t caretLine = -1;
  int32_t selectionUnit = 0;
  uint8_t insertionProps[56] = {};  // typing character properties (a character body)
  int32_t paraCacheFirst = -1;      // the last paragraph range found, (-1, -1) when none
  int32_t paraCacheLimit = -1;
  bool allowLinkFormatting = false;

  int32_t caretCp = 0;          // where the caret is drawn (0: none)
  bool showInvisibles = false;  // marks for invisible characters, outlines around objects
  bool paneDisplay = false;     // drawing for an image or print: no clipping to the view
  bool noHighlight = false;
  bool redrawPending = false;
  bool selectionAlwaysShown = false;
  bool wholeRange = false;      // the draft is laid out from the range's start without a bottom
  bool scrollToCp = false;      // scroll a cp to the top rather than the middle of the view

  // The selection's display and movement: whether it is drawn, where a caret at a wrapped
  // line's end belongs, which end moves (0 first, 1 limit, 23 none), the table cells selected
  // (-1: not a cell selection), the first cp before the last new selection, and where the caret
  // was last drawn.
  bool selShown = false;
  bool afterLineEnd = false;
  uint8_t activeEnd = 23;
  int32_t cellFirst = -1;
  int32_t cellLimit = -1;
  uint32_t prevFirst = 0xFFFFFFFF;
  float caretFlashX = -1.0f;
  // Display switches of the document object: the first draft cp stays where it is, the two
  // show-bounds flags (set together), drawing for print, the caret's blink held off.
  bool keepFirstCp = false;
  bool showBounds[2] = {};
  bool printing = false;
  bool caretBlinkBlocked = false;

  DraftLineTable lines;
  int32_t firstDraftCp = 0;     // the cp of the first line shown
  float partialOffset = 0;      // points of the first line scrolled above the view
  float sideMargin = 12.0f;
};

// The layout side: installed when the layout exists. The storage side reaches it only here.
class GMLayoutService {
 public:
  virtual ~GMLayoutService() = default;
  // Marks the laid-out lines of a displayed document's range for redisplay.
  virtual void InvalText(const DocRange& range, bool widen) = 0;
  // Text width of a draft pane in EMU; 0 when the pane has no draft.
  virtual int64_t DraftWidth(GlimmetDoc* doc, Pane* pane) = 0;
  // Called after an edit with the pane of a displayed document, so its line table can follow.
  virtual void AdjustPaneForEdit(GlimmetDoc* doc, Pane* pane, uint32_t first, uint32_t limit, int64_t delta) = 0;
  // Sets the host's default font index and size (quarter points) in a character body.
  virtual void SetDefaultFont(GlimmetDoc*, uint8_t* /*charBody*/) {}
  // The document is about to go: whatever the layout keeps of it must go too.
  virtual void DocumentDestroyed(GlimmetDoc*) {}
  // The pane's laid-out lines no longer fit the document (its chapters went): they are
  // forgotten and laid out afresh.
  virtual void TrashDraft(GlimmetDoc*, Pane*) {}
};

// Installs the layout (nullptr removes it) and returns the previous one.
GMLayoutService* SetLayoutService(GMLayoutService* service);
GMLayoutService* LayoutService();

// The current pane; a document without one gets a pane without a view. nullptr only for nullptr.
Pane* CurrentPane(GlimmetDoc* doc);
// Appends a pane (at most two) and makes it current.
bool SetupPane(GlimmetDoc* doc, GMPaneView* view);
// Frees pane i (all ones or an index past the count: nothing); the later pane moves down.
void FreePane(GlimmetDoc* doc, uint32_t index);
void FreeAllPanes(GlimmetDoc* doc);
void InvalText(const DocRange& range, bool widen);
// The default font of new Normal styles: the layout's when one is installed, else Helvetica at 12 points.
void SetDefaultFont(GlimmetDoc* doc, uint8_t* charBody);
// Switches a pane between plain contents (1) and no display (4) for work that reads its text.
void OverridePaneContents(Pane* pane, int32_t kind);
