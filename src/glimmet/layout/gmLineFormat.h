// Line formatting: the text of an engine document, from one cp, as one formatted line: where it
// ends and why, how tall it is, where its baseline lies, and as a list of runs what is drawn
// where (typeset text segments, tabs, bar tabs, checkboxes, pictures, tag boxes, backgrounds,
// decorations, marked ranges, the selection, marks for invisible characters). Text segments are
// set by the installed typesetter; a table row forms one line of its own whose height is that of
// its tallest cell. Lengths in a line are points, measured from the left text edge; run x
// positions are measured from the line's origin x.
#pragma once

#include "framlet/foundation/Kolor.h"
#include "glimmet/layout/gmTypesetter.h"
#include "glimmet/storage/gmBorders.h"
#include "glimmet/storage/gmTypes.h"

#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct Pane;

// Mode flags.
inline constexpr uint32_t kFormatBuildLines = 1;
inline constexpr uint32_t kFormatCollectRuns = 2;
inline constexpr uint32_t kFormatPrinting = 4;  // printing or an image: no marks, no backgrounds
inline constexpr uint32_t kFormatPlainPane = 8;
inline constexpr uint32_t kFormatNoLineSpacing = 16;
inline constexpr uint32_t kFormatNoMarks = 32;
inline constexpr uint32_t kFormatCellText = 64;  // table and row knots are stepped over
// Drawing a row again for its selected cell columns only: no table colour, borders or other cells.
inline constexpr uint32_t kFormatHighlightOnly = 128;
inline constexpr uint32_t kFormatDraw = kFormatBuildLines | kFormatCollectRuns;

// Why a line ended.
enum : uint32_t {
  kBreakRangeEnd = 0,
  kBreakFull = 1,
  kBreakTooLong = 2,
  kBreakRow = 4,
  kBreakBodyEnd = 6,
  kBreakParagraph = 7,
  kBreakLineSeparator = 8,
  kBreakPage = 9,
  kBreakVerticalTab = 10,
};
// The underline kinds of find hits and of hidden text while invisibles are shown.
inline constexpr uint32_t kFindHitUnderline = 8;
inline constexpr uint32_t kHiddenTextUnderline = 10;
// Start kinds.
inline constexpr uint32_t kStartText = 0, kStartDivider = 2, kStartRow = 3;

// Run types.
enum : uint32_t {
  kRunBackground = 0,
  kRunBarTab = 1,
  kRunCheckbox = 2,
  kRunDecoration = 3,
  kRunMarked = 4,
  kRunInvisible = 5,
  kRunText = 6,
  kRunPicture = 7,
  kRunSelection = 8,
  kRunTab = 9,
  kRunTag = 10,
};
// Items of invisible-character marks.
enum : uint32_t { kShowOnlyKink = 1, kShowBeginKink = 2, kShowEndKink = 3, kShowMiddleKink = 4, kShowCharacter = 5 };

// Line-kink kinds of the kink infos.
enum : uint32_t {
  kLineKinkBookmark = 0,
  kLineKinkCheckbox = 1,
  kLineKinkDivider = 2,
  kLineKinkLink = 4,
  kLineKinkList = 5,
  kLineKinkNote = 6,
  kLineKinkPicture = 8,
  kLineKinkToc = 9,
  kLineKinkToce = 10,
  kLineKinkVariable = 11,
};

// A stretch of a segment's string and the cps it stands for (-1 for generated text).
struct LinePiece {
  uint32_t offset = 0;
  int32_t first = -1;
  int32_t limit = -1;
};

// A text segment: characters typeset together.
struct LineSegment {
  GMSegmentText text;
  std::shared_ptr<TypesetLine> line;
  std::vector<LinePiece> pieces;
  int32_t first = -1;
  float width = 0;
  float ascent = 0;
  float descent = 0;  // the typesetter's, plus half a point, plus the leading unless noLeading
  float baselineShift = 0;  // points; negative raises
  float trailingWhite = 0;
  uint32_t unitsFit = 0;
  uint32_t column = 0;  // the line column where the segment began (0: it starts the line)
  bool ownSegment = false;  // the first segment flag of the character properties
  bool noLeading = false;
  bool generated = false;   // a paragraph's marker
  bool shadow = false;
  uint32_t underline = 0;
};

struct LineRun {
  uint32_t type = kRunText;
  uint32_t column = 0;
  int32_t first = -1;
  int32_t limit = -1;
  float x = 0;
  float width = 0;
  // background
  Kolor fill = kNoKolor;
  Kolor frame = kNoKolor;
  // decoration
  uint32_t underline = 0;
  uint32_t strike = 0;
  // tab (the stop word used, 0 for a default stop) and bar tab (its x)
  uint32_t tabWord = 0;
  float barX = 0;
  // checkbox
  uint32_t checked = 0;
  // invisible mark
  uint32_t showItem = 0;
  uint32_t showCode = 0;
  // picture
  float pictureHeight = 0;
  float borderAllowance = 0;
  int64_t knotIndex = -1;
  bool selected = false;
  // text segment
  std::shared_ptr<LineSegment> segment;
};

struct KinkInfo {
  int32_t cp = 0;
  uint32_t characterIndex = 0;
  uint32_t kind = 0;
};
inline constexpr uint32_t kMaxKinkInfos = 25;

struct LineFormat {
  GlimmetDoc* doc = nullptr;
  Pane* pane = nullptr;
  uint32_t modeFlags = 0;
  uint32_t characterCount = 0;
  uint32_t firstCp = 0;
  uint32_t limitCp = 0;
  DocRange paneRange;
  DocRange clipRange;
  uint32_t rowCp = kGMNone;  // the row knot of a row line
  int64_t availableWidth = 0;  // EMU
  float originX = 0;
  float endX = 0;
  float lineWidth = 0;
  float unalignedEndX = 0;
  float lineHeight = 0;
  float spaceAbove = 0;
  float spaceBelow = 0;
  float baseline = 0;
  float leftEdge = 0;
  float rightEdge = 0;
  uint32_t breakKind = kBreakRangeEnd;
  uint32_t startKind = kStartText;
  uint32_t nextWordLength = 0;
  bool hasBorderBox = false;
  bool paneDisplay = false;
  bool paragraphStart = false;
  bool overflows = false;
  bool endsList = false;
  bool darkMode = false;
  bool recolour = false;
  std::vector<LineRun> runs;
  float trailingMarkWidth = 0;
  uint32_t kinkInfoCount = 0;
  KinkInfo kinkInfos[kMaxKinkInfos];
  BorderDisplay borderEdges;
  Kolor background = 0;
  // Drag feedback over a row line: a rectangle from the line's top left and its colour; drawn
  // when its height is not zero.
  QRectF marker;
  Kolor markerColor = kNoKolor;

  bool endsWithBreakChar() const { return breakKind >= kBreakBodyEnd && breakKind <= kBreakVerticalTab; }
};

bool InitFormatLine(GlimmetDoc* doc, Pane* pane, LineFormat* format, uint32_t modeFlags);
// Formats the line that starts at cp in a width of availableWidth EMU. False when nothing could
// be formatted there (the record then holds an empty line at cp).
bool FormatLine(uint32_t cp, int64_t availableWidth, LineFormat* format);
void ReleaseLineFormat(LineFormat* format);
// The x, from the line's origin, where cp starts on the line; after, when given, where it ends.
float LineXFromCpCore(const LineFormat& format, uint32_t cp, float* after = nullptr);
// The x of a string index in a typeset line (the line's width at or past its end).
float PositionOfLineSegmentIndex(const TypesetLine* line, int index);
// The underline thickness of character properties; position gets its distance below the baseline.
float FontUnderlineMetrics(const PropRecord& chars, float* position);
// The side of a checkbox's box in characters of these properties: the font size, at least 12
// points (smaller boxes are not drawn).
float CheckboxSide(const PropRecord& chars);
// Sets the process-wide dark-appearance state the formatter reads (the view sets it from its palette).
void SetDarkAppearance(bool dark);
bool DarkAppearance();
