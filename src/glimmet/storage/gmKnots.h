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

// The word and value of an entry mean different things per knot type; read and write them
// through the accessors, never by shifting by hand.
//   picture:  word = picture index; value = alignment (bits 0-31), scale (32-47), opacity (48-63)
//   variable: word = variable kind; value = bookmark GUID index (bits 0-31), format (32-47)
//   divider:  word = divider type; value = flag byte (bits 0-7)
//   checkbox: word = state (bits 0-7)
//   row cell kink: word = background Kolor
struct KnotEntry {
  uint32_t type = 0;
  uint32_t kink = 0;
  uint32_t propIndex = kGMNone;
  uint32_t word = 0;
  uint64_t value = 0;

  uint32_t pictureIndex() const { return word; }
  void setPictureIndex(uint32_t index) { word = index; }
  uint32_t alignment() const { return uint32_t(value); }
  void setAlignment(uint32_t v) { setBits(0, 32, v); }
  uint16_t scale() const { return uint16_t(value >> 32); }
  void setScale(uint16_t v) { setBits(32, 16, v); }
  uint16_t opacity() const { return uint16_t(value >> 48); }
  void setOpacity(uint16_t v) { setBits(48, 16, v); }

  uint32_t variableKind() const { return word; }
  uint32_t guidIndex() const { return uint32_t(value); }
  void setGuidIndex(uint32_t index) { setBits(0, 32, index); }
  uint16_t format() const { return uint16_t(value >> 32); }
  void setFormat(uint16_t v) { setBits(32, 16, v); }

  uint32_t dividerType() const { return word; }
  uint8_t dividerFlags() const { return uint8_t(value); }
  uint8_t checkState() const { return uint8_t(word); }
  uint32_t cellColor() const { return word; }

  static uint64_t PictureValue(uint32_t alignment, uint16_t scale, uint16_t opacity) {
    return uint64_t(alignment) | uint64_t(scale) << 32 | uint64_t(opacity) << 48;
  }
  static uint64_t VariableValue(uint32_t guidIndex, uint16_t format) {
    return uint64_t(guidIndex) | uint64_t(format) << 32;
  }

 private:
  void setBits(int shift, int width, uint64_t v) {
    const uint64_t mask = (width == 64 ? ~uint64_t(0) : (uint64_t(1) << width) - 1) << shift;
    value = (value & ~mask) | ((v << shift) & mask);
  }
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

// The knot whose kink is at cp or that encloses cp (the innermost). requiredType 0 takes any;
// another type that is not found is reported. Not found: info zeroed, index -1.
bool FetchKnot(GlimmetDoc* doc, uint32_t cp, KnotInfo* info, uint32_t requiredType);
// Whether cp lies inside a knot of the type, walking out through enclosing knots where the type
// allows knots inside it (tables and rows, lists, notes, ...).
bool CpIsWithinKnot(GlimmetDoc* doc, uint32_t cp, uint32_t type, DocRange* range, bool report);
// CpIsWithinKnot for count types (at most 32) in one walk: bit i set when cp lies within a knot
// of types[i], whose range then goes to ranges[i].
uint32_t CpIsWithinKnots(GlimmetDoc* doc, uint32_t cp, const uint32_t* types, uint32_t count, DocRange* ranges);
// The first atomic or begin kink at or after cp within the current pane, or kGMNone.
uint32_t NextKnotCp(GlimmetDoc* doc, uint32_t cp);
// One past the knot beginning at cp (an atomic kink: cp + 1); kGMNone at a middle or end kink.
uint32_t KnotLimitCp(GlimmetDoc* doc, uint32_t cp);
// The innermost knot around the whole range, its begin kink before the range's first cp and its
// end kink at or after the range's limit.
bool FindOuterKnot(const DocRange& range, DocRange* outer);
// Whether a pane shows the knot character at cp, and the stretch that shares the answer.
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
// Cuts a registered range into the pieces an edit of the mode may touch, one per call: the piece
// goes out and the range's first cp moves on. False when nothing is left (the piece is then the
// range, an insertion point). Paragraph marks that must survive are kept out of the pieces.
bool GetNextEditRange(DocRange* range, DocRange* piece, Pane* pane, int mode, const DocRange* source);
// Lowers the piece's end by one when the paragraph mark there must not be edited.
void ProtectParaMark(DocRange* piece, const DocRange* range, Pane* pane, const KnotInfo* info, uint32_t kink,
                     int mode, const DocRange* source);

// Inserts a knot at the range (deleting its text first, and moving out of bookmarks, tags and
// tables), with a property record and 12 bytes of data per kink while they last. With replace,
// the range's characters (one per kink) become the kinks. The range becomes the knot's.
bool InsertKnotCore(DocRange* range, uint32_t type, uint32_t kinkCount, uint32_t propCount, const PropRecord* props,
                    uint32_t dataCount, const KinkData* data, bool replace);
// Puts a knot of two kinks around the range's text (a list around whole paragraphs): the begin
// kink before its first cp, the end kink after its last. The range becomes the knot's.
bool InsertKnotAround(DocRange* range, uint32_t type, const PropRecord* props);
// The knot-table entries (and the cp-table entry) of a knot whose kink characters are already at
// kinkCps, with a property record and data per kink while they last.
void AddKnotEntries(GlimmetDoc* doc, uint32_t type, const uint32_t* kinkCps, uint32_t count, uint32_t propCount,
                    const PropRecord* props, uint32_t dataCount, const KinkData* data);
// Deletes the knot's kink characters (last first) and their entries; the info's limit follows.
void DeleteKnot(KnotInfo* info);
// Removes knot entries by index; true when a bookmark or chapter entry was among them.
bool DeleteKnotEntries(GlimmetDoc* doc, uint32_t first, uint32_t limit);
void SetPropsOnKink(GlimmetDoc* doc, uint32_t entryIndex, uint32_t propIndex);

// The first slot of the knot beginning at beginCp: from after its begin kink to its next kink.
DocRange KnotFirstSlot(GlimmetDoc* doc, uint32_t beginCp);

// The first cp at or after cp that the pane shows.
uint32_t FirstVisibleCpInPara(GlimmetDoc* doc, Pane* pane, uint32_t cp);
// The nearest cp from cp in the direction whose character the pane shows, within its range.
uint32_t VisibleCpCore(GlimmetDoc* doc, Pane* pane, uint32_t cp, bool forward);
