// Knots: objects embedded in the text stream (chapters, links, notes, lists, tables and rows,
// pictures, bookmarks, variables, ...). Each kink character of a knot has an entry in the
// document's knot table. Here: finding the knot around a cp, what a pane shows of it, cutting a
// range into the pieces an edit may touch, and inserting and deleting knots.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <cstdint>

struct Pane;
struct PropRecord;

enum : uint32_t {
  kKnotNone = 0,
  kKnotAutonum = 1,
  kKnotBookmark = 2,
  kKnotChapter = 3,
  kKnotCheckbox = 4,
  kKnotDivider = 5,
  kKnotLink = 6,
  kKnotList = 7,
  kKnotNote = 8,
  kKnotPicture = 9,
  kKnotShort = 10,
  kKnotTable = 11,
  kKnotRow = 12,
  kKnotTag = 13,
  kKnotToc = 14,
  kKnotTocEntry = 15,
  kKnotVar = 16,
  kKnotTypeCount = 17,
};

inline constexpr uint32_t kKinkAtomic = 0, kKinkBegin = 1, kKinkMiddle = 2, kKinkEnd = 3;
enum : uint32_t { kKnotClassAtomic = 0, kKnotClassSpanning = 1, kKnotClassTable = 2 };

// An engine table holds at most 101 columns; a row has one kink per cell plus its begin kink.
inline constexpr uint32_t kMaxKinks = 102;

struct KnotEntry {
  uint32_t type = 0;
  uint32_t kink = 0;
  uint32_t propIndex = kGMNone;
  uint32_t word = 0;
  uint64_t value = 0;
};
static_assert(sizeof(KnotEntry) == 24);

// Per-kink data handed to knot insertion: the entry's word and value.
struct KinkData {
  uint32_t word = 0;
  uint64_t value = 0;
};

struct KnotDesc {
  uint32_t knotClass;
  uint32_t displayClass;  // handed to UndeferDisplay when a knot is deleted
  uint32_t layoutWord;    // read by the line layout
  uint8_t beginBreaksPara;
  uint8_t allowsInner;  // a knot of another type may lie inside
  char16_t middleChar;
  char16_t endChar;
  uint32_t kinkCount;  // 0: any (rows)
};
extern const KnotDesc g_knotDescs[kKnotTypeCount];
extern const char* const g_knotTypeTags[kKnotTypeCount];

struct KnotInfo {
  GlimmetDoc* doc = nullptr;
  uint32_t first = 0;
  uint32_t limit = 0;
  KnotEntry entry;  // of the begin (or atomic) kink
  int64_t index = -1;  // of the begin entry in the knot table; -1 not found
  uint32_t knotClass = 0;
  uint32_t kinkCount = 0;
  uint32_t kinkNumber = 0;  // the kink at or before the asked cp
  uint32_t kinkCps[kMaxKinks] = {};

  bool found() const { return index >= 0; }
  uint32_t type() const { return entry.type; }
  DocRange range() const { return {doc, first, limit}; }
};

// Set while knot characters are inserted or deleted, so that the edit primitive lets them pass.
extern bool g_editingKnot;

bool FetchKnot(GlimmetDoc* doc, uint32_t cp, KnotInfo* info, uint32_t requiredType);
bool CpIsWithinKnot(GlimmetDoc* doc, uint32_t cp, uint32_t type, DocRange* range, bool report);
uint32_t NextKnotCp(GlimmetDoc* doc, uint32_t cp);
uint32_t KnotLimitCp(GlimmetDoc* doc, uint32_t cp);
bool FindOuterKnot(const DocRange& range, DocRange* outer);
bool ShouldShowKnot(const KnotInfo* info, uint32_t cp, Pane* pane, DocRange* range);

// Edit modes of GetNextEditRange.
enum : int {
  kEditCopyLater = 0,
  kEditWalkSource = 1,
  kEditDelete = 2,
  kEditProps = 3,
  kEditInsert = 4,
  kEditInsertBreak = 5,
  kEditWholeKnots = 6,
  kEditCopyFirst = 7,
};
bool GetNextEditRange(DocRange* range, DocRange* piece, Pane* pane, int mode, const DocRange* source);
void ProtectParaMark(DocRange* piece, const DocRange* range, Pane* pane, const KnotInfo* info, uint32_t kink,
                     int mode, const DocRange* source);

bool InsertKnotCore(DocRange* range, uint32_t type, uint32_t kinkCount, uint32_t propCount, const PropRecord* props,
                    uint32_t dataCount, const KinkData* data, bool replace);
void DeleteKnot(KnotInfo* info);
bool DeleteKnotEntries(GlimmetDoc* doc, uint32_t first, uint32_t limit);
void SetPropsOnKink(GlimmetDoc* doc, uint32_t entryIndex, uint32_t propIndex);

uint32_t FirstVisibleCpInPara(GlimmetDoc* doc, Pane* pane, uint32_t cp);
uint32_t VisibleCpCore(GlimmetDoc* doc, Pane* pane, uint32_t cp, bool forward);
