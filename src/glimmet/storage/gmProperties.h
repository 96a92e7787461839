// Property records of the text engine: every formatting of a document is one fixed-size record
// in the document's property table, and runs of text, knots and styles name records by index.
// Records are interned, so equal formatting shares one index. The byte layout of the bodies is
// what property atoms, molecules and the readers and writers address by offset.
#pragma once

#include "framlet/foundation/flLengths.h"
#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>
#include <cstring>
#include <optional>

struct Pane;

// Property kinds (the record's first field).
enum : uint32_t {
  kPropChar = 0,
  kPropPara = 1,
  kPropChapter = 2,
  kPropFrame = 3,
  kPropTable = 4,
  kPropList = 5,
  kPropNone = 6,
  kPropBorder = 7,
  kPropDocument = 8,
  kPropUnusedStyle = 255,
};

inline constexpr uint32_t kPropBodyMax = 952;
// Body bytes by kind.
inline constexpr uint32_t g_propSizes[9] = {56, 256, 304, 136, 952, 128, 0, 48, 104};
inline uint32_t PropBodySize(uint32_t kind) { return kind < 9 ? g_propSizes[kind] : 0; }

struct PropRecord {
  uint32_t kind = 0;
  uint32_t index = kGMNone;  // own index in the table once interned
  uint8_t reserved[8] = {};
  uint8_t body[kPropBodyMax] = {};

  template <typename T>
  T get(uint32_t offset) const {
    T value;
    std::memcpy(&value, body + offset, sizeof value);
    return value;
  }
  template <typename T>
  void set(uint32_t offset, T value) {
    std::memcpy(body + offset, &value, sizeof value);
  }
};
static_assert(sizeof(PropRecord) == 968, "the property record's layout is shared with files");

// Character body offsets. Hidden text is still laid out; it is only marked while invisibles show.
namespace CharField {
inline constexpr uint32_t style = 0, bold = 2, italic = 3, strike = 4, outline = 5, shadow = 6, hidden = 7,
                          noLeading = 8, noLink = 9, flag10 = 10, underline = 12, caps = 16, relativeSize = 20,
                          font = 22, size = 24, expand = 32, subscript = 40, color = 48, backColor = 52;
}
// Paragraph body offsets.
namespace ParaField {
inline constexpr uint32_t style = 0, dropCap = 2, topOfPage = 3, bottomOfPage = 4, keep = 5, keepNext = 6,
                          bigFirst = 7, headerTabs = 8, noSpelling = 9, checkboxOn = 10, firstLineFormat = 11,
                          alignment = 12, prefix = 16, suffix = 26, firstIndent = 40, leftIndent = 48,
                          rightIndent = 56, spaceBefore = 64, spaceAfter = 72, height = 80, multiple = 88,
                          border = 104, tabCount = 152, tabs = 156;
}
// A border (48 bytes), the body of kind 7 and embedded in paragraph, frame and table bodies.
namespace BorderField {
inline constexpr uint32_t kind = 0, line = 4, width = 8, thickness = 16, offset = 24, lineColor = 32,
                          innerColor = 36, backColor = 40, size = 48;
}
inline constexpr uint32_t kFrameBorderOffset = 88;
namespace FrameField {
inline constexpr uint32_t opacity = 4, wrap = 8, tight = 12, horzOffset = 16, vertOffset = 24, page = 32,
                          bookmark = 36, left = 40, top = 48, width = 56, height = 64, horzAnchor = 72,
                          horzPosition = 76, vertAnchor = 80, vertPosition = 84;
}
inline constexpr uint32_t kTableBorderOffset = 904;
namespace ChapterField {
inline constexpr uint32_t style = 0, between = 32, headerOffset = 280, footerOffset = 288, titlePage = 297;
}
namespace TableField {
inline constexpr uint32_t style = 0, cellLeft = 48, cellRight = 64, stripeColor = 88;
}
namespace ListField {
inline constexpr uint32_t style = 0, showAllLevels = 2, flushLeft = 3, indent = 8, markers = 16, markerSize = 12;
}
namespace DocField {
inline constexpr uint32_t defTab = 0, btColor = 8, gutter = 16, pageNum = 24, left = 32, top = 40, right = 48,
                          bottom = 56, mirrorH = 64, mirrorL = 65, ignoreM = 66, widow = 67, hdrEmpty = 68,
                          hPush = 69, fPush = 70, backup = 71, noWrap = 72, noPreview = 73, noSpell = 74,
                          hideBmk = 75, noConv = 76, nixPrint = 77, noBack = 78, noQuotes = 79, back = 84,
                          image = 88, opacity = 92, scale = 96, tile = 100, fill = 101;
}

inline constexpr int16_t kDefaultFontSize = 48;  // quarter points
inline constexpr int16_t kMinFontSize = 16;
inline constexpr int16_t kMaxFontSize = 8000;
inline constexpr uint32_t kMaxTabs = 25;

// Tab stop word: position in bits 0-24, leader in 26-28, alignment in 29-31.
inline uint32_t MakeTab(uint32_t position, uint32_t alignment, uint32_t leader = 0) {
  return (position & 0x1FFFFFF) | ((leader & 7) << 26) | ((alignment & 7) << 29);
}
inline uint32_t TabPosition(uint32_t tab) { return tab & 0x1FFFFFF; }
inline uint32_t TabAlignment(uint32_t tab) { return tab >> 29; }

// Interns the record: its index, or kGMNone when the table cannot grow.
uint32_t IndexForProperties(GlimmetDoc* doc, PropRecord* record);
// The record at an index; nullptr outside the table.
const PropRecord* PropertiesAtIndex(const GlimmetDoc* doc, uint32_t index);

// The character properties in effect at cp and, when asked, the run's range. Without a range, a
// kink character takes the properties of the text it belongs to. Runs naming a record of the
// wrong kind are repaired; a bad font size reads as 12 points.
void FetchCharProps(GlimmetDoc* doc, uint32_t cp, DocRange* range, PropRecord* record);
// The properties FetchCharProps gives, as the stored record itself where it needs no repair, else
// made in scratch: no copy on the usual way.
// hints, when given, are the run and knot entries of the last call, for walks through the text.
struct GMCpHints {
  uint32_t run = 0;
  uint32_t knot = 0;
};
const PropRecord* CharPropsAt(GlimmetDoc* doc, uint32_t cp, DocRange* range, std::optional<PropRecord>* scratch,
                              GMCpHints* hints = nullptr);
// Those at the start of a non-empty selection, else the pane's typing properties.
void FetchCharPropsFromSelection(GlimmetDoc* doc, uint8_t* body);
// The paragraph around cp (pane nullptr: the current pane) and the properties of its last character.
void FetchParaProps(GlimmetDoc* doc, Pane* pane, uint32_t cp, DocRange* range, PropRecord* record);
// The paragraph around cp within the pane's range; true when the range may be cached.
bool SetParaRange(GlimmetDoc* doc, Pane* pane, uint32_t cp, DocRange* range);
// The chapter holding cp (to the next chapter's start) and its chapter knot's record.
void FetchChapterProps(GlimmetDoc* doc, uint32_t cp, DocRange* range, PropRecord* record);
// The text of the chapter knot's first slot; "" past the last chapter.
QString ChapterName(GlimmetDoc* doc, uint32_t chapter);

// The base record of a kind: zeroed but for the colours and document defaults that mean "none".
void SetBaseProperties(uint32_t kind, PropRecord* record);
// The document's default record of a kind (Normal's formattings, the default chapter, table and
// list records, the document defaults).
void SetDefaultProperties(GlimmetDoc* doc, uint32_t kind, PropRecord* record);
// Appends the document's default list record (not interned) and keeps its index.
bool SetNormalListProps(GlimmetDoc* doc);
// The next font size up (steps > 0) or down the size ladder, in points, within 4 to 2000.
int32_t StepOffsetFontSize(int32_t points, int32_t steps);
// The text width in EMU: a shown pane's draft width, else the page less its margins and gutter.
int64_t PaneTextWidth(GlimmetDoc* doc, Pane* pane);
// Appends a centred tab at the middle of the text width and a right tab at its right edge.
void AddHeaderTabs(GlimmetDoc* doc, Pane* pane, uint8_t* paraBody);
void DeleteTab(uint8_t* paraBody, uint32_t tabNumber);

// Makes every cache of interned bodies forget what it holds; needed after records are rewritten
// in place (a new default font), else a later intern of an old body would answer a changed record.
void ClearPropertyCaches(GlimmetDoc* doc);
// Drops the hash of the interned records; needed after records are rewritten in place.
void ForgetPropertyIndex(GlimmetDoc* doc);
// Rewrites font and size of the character records in place: every record (force) or only those
// with the given old font and size. Clears the interning caches.
void RewriteCharRecordsFont(GlimmetDoc* doc, uint16_t oldFont, int16_t oldSize, uint16_t font, int16_t size,
                            bool force);
