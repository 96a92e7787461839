// What the storage side of the text engine needs of a pane: the current pane of a document,
// the range it shows, its contents kind and display flags, its selection and paragraph cache.
// The layout fills in the rest; until a layout is installed, text invalidation does nothing.
#pragma once

#include <cstdint>

struct GlimmetDoc;
struct DocRange;

// Pane contents kinds: 1 plain text, 4 no display (a pane without a view).
inline constexpr int32_t kPaneContentsPlain = 1;
inline constexpr int32_t kPaneContentsNoDisplay = 4;

// Display flags of a pane.
inline constexpr uint32_t kPaneShowAllCodes = 1;
inline constexpr uint32_t kPaneShowKnotSlots = 2;

struct Pane {
  void* view = nullptr;
  float zoom = 1.0f;
  int32_t contentsKind = kPaneContentsPlain;
  uint32_t displayFlags = 0;
  uint32_t chapterIndex = 0;
  uint32_t frameIndex = 0xFFFFFFFF;  // 0xFFFFFFFF: a text selection
  int32_t selFirst = 0;
  int32_t selLimit = 0;
  uint32_t savedFirst = 0xFFFFFFFF;
  uint32_t savedLimit = 0xFFFFFFFF;
  float caretX = -1.0f;
  int32_t caretLine = -1;
  int32_t selectionUnit = 0;
  uint8_t insertionProps[56] = {};  // typing character properties (a character body)
  int32_t paraCacheFirst = -1;      // the last paragraph range found, (-1, -1) when none
  int32_t paraCacheLimit = -1;
  bool allowLinkFormatting = false;
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
};

// Installs the layout (nullptr removes it) and returns the previous one.
GMLayoutService* SetLayoutService(GMLayoutService* service);
GMLayoutService* LayoutService();

// The current pane; a document without one gets a pane without a view. nullptr only for nullptr.
Pane* CurrentPane(GlimmetDoc* doc);
// Appends a pane (at most two) and makes it current.
bool SetupPane(GlimmetDoc* doc, void* view);
void InvalText(const DocRange& range, bool widen);
// The default font of new Normal styles: the layout's when one is installed, else Helvetica at 12 points.
void SetDefaultFont(GlimmetDoc* doc, uint8_t* charBody);
// Switches a pane between plain contents (1) and no display (4) for work that reads its text.
void OverridePaneContents(Pane* pane, int32_t kind);
