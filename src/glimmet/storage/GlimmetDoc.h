// The text engine's document record: the text stream, its cp-keyed tables (knots, property
// runs, chapters, bookmarks, lists, tables), the property table, the style sheet and up to two
// panes; its creation with the initial chapter knot, its destruction, and the range queries
// that say what a pane shows.
#pragma once

#include "glimmet/storage/GMTextStore.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmPane.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

// One style of the style sheet; entry 0 is always "Normal".
struct GMStyle {
  QString name;
  uint32_t id = 0;         // 0-29 built-in, 254 user
  uint32_t kind = 0;       // of its first formatting; 255 an unused slot
  uint32_t basedOn = 32767;
  uint32_t next = 32767;
  uint32_t copySlot = 32767;
  uint32_t first = kGMNone;   // first formatting
  uint32_t second = kGMNone;  // character formatting of a paragraph style
};

struct GMBookmarkName {
  QString guid;
  int32_t bookmark = 0;
};

// An entry of the picture list; the layout and the readers fill it.
struct GMPicture {
  QString path;
  QString identifier;
  QString savedName;
  int32_t referenceKind = 0;
  std::shared_ptr<void> image;
};

// The last fetched table or row; an invalid cache has kGMNone in its range.
struct GMTableCache {
  GlimmetDoc* doc = nullptr;
  uint32_t first = kGMNone;
  uint32_t limit = kGMNone;
  KnotInfo info;  // the knot as it was fetched
  uint64_t knotsVersion = 0;  // of the knot table then: entries added or removed since drop it
};

struct GlimmetDoc {
  int32_t totalLength = 0;  // the end of document
  int32_t userLength = 0;   // totalLength less the final paragraph mark: the body end
  GMTextStore text;

  void* owner = nullptr;  // the object that displays the document
  Pane* overridePane = nullptr;
  uint32_t currentPane = 0;
  uint32_t paneCount = 0;
  Pane panes[2];

  GMCpTable<KnotEntry> knots;
  // For each knot entry: the begin (or atomic) entry of its knot, the begin entry of the
  // innermost knot around that knot, and for a begin or middle entry the next middle or end
  // entry of its own knot (kGMNone when none); rebuilt when the knot table's records change.
  struct KnotNesting {
    uint64_t version = ~uint64_t(0);
    std::vector<uint32_t> owner;
    std::vector<uint32_t> enclosing;
    std::vector<uint32_t> nextKink;
  } knotNesting;
  std::vector<GMBookmarkName> bookmarkNames;
  std::vector<GMPicture> pictures;
  std::unique_ptr<GMCpTable<uint32_t>> displayTables[2];
  uint32_t variableKinds = 0;
  GMCpTable<GMNoData> bookmarkCps;
  GMCpTable<GMNoData> chapterCps;
  GMCpTable<GMNoData> listCps;
  GMCpTable<GMNoData> tableCps;
  std::vector<GMStyle> styles;
  std::vector<uint32_t> styleList;
  GMCpTable<uint32_t> charRuns;
  GMCpTable<uint32_t> paraRuns;
  std::vector<PropRecord> props;
  // The records of props by a hash of kind and body, so that interning does not search them
  // all; records from `indexed` on are added on the next intern.
  struct PropIndex {
    size_t indexed = 0;
    std::unordered_map<uint64_t, std::vector<uint32_t>> buckets;
  } propIndex;

  // Interning caches: the last few character and paragraph bodies interned, the latest first
  // (text alternates between a handful of formats).
  static constexpr int kPropCacheSlots = 4;
  uint8_t cachedCharBody[kPropCacheSlots][56] = {};
  uint32_t cachedCharIndex[kPropCacheSlots] = {kGMNone, kGMNone, kGMNone, kGMNone};
  uint8_t cachedParaBody[kPropCacheSlots][256] = {};
  uint32_t cachedParaIndex[kPropCacheSlots] = {kGMNone, kGMNone, kGMNone, kGMNone};

  int32_t kind = 0;
  bool dirty = false;
  bool active = false;
  bool endGuard = false;
  bool locked = false;
  bool keepSavedRange = false;
  bool keepAbsoluteProps[2] = {};
  bool noExpansion = false;
  bool tooLarge = false;
  bool edited = false;
  bool singleRange = false;
  bool tableCacheOff = false;
  bool ignoreStyleAtoms = false;
  bool noStyleCopying = false;
  bool paraCacheOff = false;
  bool noParaMarksInserted = false;
  // Display state the layout reads: the draft fills the view's width, the next draw redoes every
  // line, an inactive document hides its selection, and the page key last pressed (0 none,
  // 1 back, 2 forward) makes a line scroll a page scroll.
  bool fitToWindow = false;
  bool fullRedraw = false;
  bool hideInactiveSelection = false;
  // The selected cell columns of the row holding the selection's start are drawn without their
  // text or highlight (while their text is shown elsewhere, as during a drag).
  bool hideSelectedCells = false;
  uint8_t pageKeyDirection = 0;

  GMCpTable<uint16_t> checkStates{false};
  uint32_t nonZeroCheckStates = 0;
  GMCpTable<uint32_t> findHits;  // each hit keyed by its first cp, holding its limit
  bool markFindHits = false;       // drawn lines underline the find hits
  GMCpTable<uint32_t> markedRanges;
  GMCpTable<uint32_t> listCache;

  // The frames of paragraphs: each keyed by its paragraph's first cp, holding the index of its
  // frame record (kind 3). Typing at a paragraph's start leaves the frame with the paragraph.
  GMCpTable<uint32_t> frames{false};

  PropRecord docProps;  // kind 8
  uint32_t paperWidth = 612;  // points
  uint32_t paperHeight = 792;
  uint32_t defaultListProps = kGMNone;
  uint32_t defaultTableProps = kGMNone;
  uint32_t defaultChapterProps = kGMNone;
  GMTableCache tableCaches[2];

  // The code unit at cp, or "cp out of range" and 0.
  char16_t charAt(uint32_t cp) const;
};

// The slots of a chapter knot after its name (slot 0): the chapter's page header and footer
// texts, each at least one paragraph.
enum : uint32_t {
  kChapterHeader = 1,
  kChapterFooter = 2,
  kChapterLeftHeader = 3,
  kChapterLeftFooter = 4,
  kChapterFirstHeader = 5,
  kChapterFirstFooter = 6,
};

// The preference document, from which shown documents take built-in definitions; may be nullptr.
extern GlimmetDoc* g_prefDoc;

GlimmetDoc* NewGlimmetDoc(int32_t kind);
void DestroyDocument(GlimmetDoc* doc);
// Owns a document for the scope of a conversion or a test.
struct GlimmetDocDeleter {
  void operator()(GlimmetDoc* doc) const { DestroyDocument(doc); }
};
using GlimmetDocPtr = std::unique_ptr<GlimmetDoc, GlimmetDocDeleter>;

bool SetInitialChapterKnot(GlimmetDoc* doc, uint32_t chapterPropsIndex);
uint32_t FirstVisibleCp(GlimmetDoc* doc);
void GetPaneRange(GlimmetDoc* doc, Pane* pane, DocRange* range);
void GetScanRange(GlimmetDoc* doc, int mode, DocRange* range);

char16_t CharacterAtCp(GlimmetDoc* doc, uint32_t cp);
// Pointer to the unit at cp inside its block; limit receives the end of that stretch.
char16_t* DocumentTextPtr(GlimmetDoc* doc, uint32_t cp, uint32_t* limit);
// The text of a range as a string (for tests and the interchange code).
QString TextOfRange(const DocRange& range);
// The initial chapter knot's end: where the body begins.
uint32_t BodyStart(GlimmetDoc* doc);
