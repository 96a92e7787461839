// The spreadsheet's XML vocabulary: every element and attribute name of the native package, the
// cell archive on the clipboard and the undo archives, with the numeric key each has in the
// decoder's key table. Readers switch on the key; writers take the names from here.
#pragma once

#include "framlet/foundation/FLXmlDecoder.h"

#include <QLatin1String>

#include <array>
#include <cstdint>
#include <span>

enum CAXmlTag : int32_t {
  kXmlUnknownTag = 0,
  kXmlActive = 1,
  kXmlAlign = 2,
  kXmlAppVer = 3,
  kXmlBackColor = 4,
  kXmlBold = 5,
  kXmlStyle = 6,
  kXmlBorder = 7,
  kXmlCells = 8,
  kXmlCell = 9,
  kXmlColor = 10,
  kXmlCols = 11,
  kXmlCol = 12,
  kXmlConstrain = 13,
  kXmlDigits = 14,
  kXmlSpreadsheet = 15,
  kXmlFillPage = 16,
  kXmlFontSize = 17,
  kXmlFont = 18,
  kXmlOrder = 19,
  kXmlHundredths = 20,  // "hunds", and the older "100s"
  kXmlFraction = 21,
  kXmlMonth = 22,
  kXmlNeg = 23,
  kXmlNoScientific = 24,
  kXmlNoSeparators = 25,
  kXmlSize = 26,
  kXmlOmitDay = 27,
  kXmlPadDayMonth = 28,
  kXmlFormatPanel = 29,
  kXmlSignificantDigits = 30,
  kXmlThousands = 31,
  kXmlTraditional = 32,
  kXmlWeekday = 33,
  kXmlFormat = 34,
  kXmlYear = 35,
  kXmlZero = 36,
  kXmlFormula = 37,
  kXmlFrame = 38,
  kXmlId = 39,
  kXmlInactive = 40,
  kXmlHeaderOffset = 41,
  kXmlDy = 42,
  kXmlItalic = 43,
  kXmlDisplay = 44,
  kXmlBackup = 45,
  kXmlMarginBottom = 46,
  kXmlMarginLeft = 47,
  kXmlMarginRight = 48,
  kXmlMarginTop = 49,
  kXmlMaxPoint = 50,
  kXmlMinHigh = 51,
  kXmlNote = 52,
  kXmlNumberFormat = 53,
  kXmlOnlyOccupied = 54,
  kXmlPad = 55,
  kXmlPic = 56,
  kXmlPix = 57,
  kXmlFooter = 58,
  kXmlGrid = 59,
  kXmlHeader = 60,
  kXmlPrint = 61,
  kXmlLabels = 62,
  kXmlRedFormulas = 63,
  kXmlRow = 64,
  kXmlRowHeight = 65,
  kXmlRows = 66,
  kXmlScale = 67,
  kXmlScroll = 68,
  kXmlSel = 69,
  kXmlShortDashes = 70,
  kXmlBreaks = 71,
  kXmlFormulas = 72,
  kXmlSource = 73,
  kXmlStrike = 74,
  kXmlStripe = 75,
  kXmlNoPreview = 76,
  kXmlSymbol = 77,
  kXmlSysVer = 78,
  kXmlTitleCol = 79,
  kXmlTitleRow = 80,
  kXmlType = 81,
  kXmlUnder = 82,
  kXmlVal = 83,
  kXmlVer = 84,
  kXmlWidth = 85,
  kXmlX = 86,
  kXmlY = 87,
  kXmlZoom = 88,
  // The decimal and list separators the document's formulas were written with.
  kXmlSeparators = 89,
};

inline constexpr int32_t kXmlLastTag = kXmlSeparators;

// Every name with its key, for FLXmlDecoder::addDecoderKeys at launch (90 entries: key 20 has
// two names).
std::span<const FLXmlTagKey> SpreadsheetXmlTags();

// The names writers use, by key, measured when the program is built: every element written asks
// for one. Entry 0 is "".
extern const std::array<QLatin1StringView, kXmlLastTag + 1> g_xmlTagNames;

// The name a writer uses for a key; "" for 0 or a key beyond the table.
const char* XmlTagName(CAXmlTag tag);
inline QLatin1String XmlName(CAXmlTag tag) {
  return tag >= 1 && tag <= kXmlLastTag ? g_xmlTagNames[size_t(tag)] : g_xmlTagNames[0];
}

// The current tag's key: the decoder's own when the spreadsheet's table is installed, else
// looked up by name, so that readers work whichever table the decoder carries.
CAXmlTag XmlTagOf(const FLXmlDecoder& decoder);
