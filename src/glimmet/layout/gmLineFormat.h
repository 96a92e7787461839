// Line formatting: the text of an engine document, from one cp, as one formatted line: where it
// ends and why, how tall it is and where its baseline lies, and the x of each of its cps. Text is
// typeset by Qt's text layout in points (a 72-dpi device), a paragraph at a time; a table row
// forms one line of its own whose height is that of its tallest cell.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <cstdint>
#include <memory>

struct Pane;
class QTextLayout;

// Mode flags.
inline constexpr uint32_t kFormatBuildLines = 1;
inline constexpr uint32_t kFormatCollectRuns = 2;
inline constexpr uint32_t kFormatPrinting = 4;
inline constexpr uint32_t kFormatPlainPane = 8;
inline constexpr uint32_t kFormatNoLineSpacing = 16;
inline constexpr uint32_t kFormatNoMarks = 32;
inline constexpr uint32_t kFormatCellText = 64;  // table and row knots are stepped over

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
// Start kinds.
inline constexpr uint32_t kStartText = 0, kStartDivider = 2, kStartRow = 3;

struct LineFormat {
  GlimmetDoc* doc = nullptr;
  Pane* pane = nullptr;
  uint32_t modeFlags = 0;
  uint32_t firstCp = 0;
  uint32_t limitCp = 0;
  uint32_t rowCp = kGMNone;  // the row knot of a row line
  int64_t availableWidth = 0;  // EMU
  float originX = 0;    // where the line's content starts, from the left text edge
  float endX = 0;       // after the line's last character, trailing white space included
  float lineWidth = 0;
  float lineHeight = 0;
  float spaceAbove = 0;
  float spaceBelow = 0;
  float baseline = 0;
  float leftEdge = 0;
  float rightEdge = 0;
  uint32_t breakKind = kBreakRangeEnd;
  uint32_t startKind = kStartText;

  // The typeset paragraph and the line of it that this is.
  std::shared_ptr<QTextLayout> layout;
  uint32_t layoutFirst = 0;  // the cp of the layout's first unit
  int lineIndex = -1;

  bool endsWithBreakChar() const { return breakKind >= kBreakBodyEnd && breakKind <= kBreakVerticalTab; }
};

bool InitFormatLine(GlimmetDoc* doc, Pane* pane, LineFormat* format, uint32_t modeFlags);
// Formats the line that starts at cp in a width of availableWidth EMU. False when nothing could
// be formatted there (the record then holds an empty line at cp).
bool FormatLine(uint32_t cp, int64_t availableWidth, LineFormat* format);
void ReleaseLineFormat(LineFormat* format);
// The x, from the left text edge, where cp starts on the line; after, when given, where it ends.
float LineXFromCpCore(const LineFormat& format, uint32_t cp, float* after = nullptr);
