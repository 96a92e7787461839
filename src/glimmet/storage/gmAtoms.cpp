#include "glimmet/storage/gmAtoms.h"

#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flBase64.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flReadingMeter.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmRtfKeywords.h"
#include "glimmet/storage/gmStyles.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

const uint32_t g_atomCounts[9] = {23, 39, 35, 26, 53, 14, 0, 9, 35};

namespace AtomWords {
namespace {
constexpr const char* kUnderline[] = {"None", "Single", "Word", "Double", "Dotted", "Dashed", "Thick"};
constexpr const char* kCaps[] = {"none", "upper", "lower", "small", "first"};
constexpr const char* kAlign[] = {"left", "center", "justify", "right"};
constexpr const char* kBorderKind[] = {"None",     "Left",        "Right",    "Left+right",       "Top",     "Bottom",
                                       "Top+bottom", "Box",       "Between",  "Box+between",      "Box+row1", "Box+column1",
                                       "Box+row1+column1", "Row1", "Row1box+between", "Row1+columns"};
constexpr const char* kBorderLine[] = {"Single", "Double", "Dots", "Dashes", "Serrated", "Scallops", "Gradient"};
constexpr const char* kChapterStart[] = {"page", "column", "even", "odd", "same"};
constexpr const char* kPagePosition[] = {"none", "tl", "tc", "tr", "ti", "to", "bl", "bc", "br", "bi", "bo"};
constexpr const char* kNumberFormat[] = {"1", "ru", "rl", "au", "al", "o", "ot", "c", "s", "16", "8", "2"};
constexpr const char* kWrap[] = {"overlap", "underlay", "avoid", "wider", "left", "right", "inside", "outside"};
constexpr const char* kAnchor[] = {"Margin", "Page"};
constexpr const char* kHorzPosition[] = {"Left", "Center", "Right", "Absolute", "Inside", "Outside"};
constexpr const char* kVertPosition[] = {"Top", "Center", "Bottom", "Absolute"};
constexpr const char* kTabAlign[] = {"left", "right", "center", "decimal", "bar"};
constexpr const char* kTabLeader[] = {"None", "Dots", "Hyphens", "Equals", "Line", "Thick line"};
constexpr const char* kMarkerKind[] = {"undef", "bullet", "check", "#", "pic"};
}  // namespace
const std::span<const char* const> underline(kUnderline), caps(kCaps), align(kAlign), borderKind(kBorderKind),
    borderLine(kBorderLine), chapterStart(kChapterStart), pagePosition(kPagePosition), numberFormat(kNumberFormat),
    wrap(kWrap), anchor(kAnchor), horzPosition(kHorzPosition), vertPosition(kVertPosition), tabAlign(kTabAlign),
    tabLeader(kTabLeader), markerKind(kMarkerKind);
}  // namespace AtomWords

namespace {

// One row of an atom table; size -1 marks an empty slot.
struct Row {
  int n, size, type, offset;
  const char* description;
  const char* xml;
  const char* rtf;  // the RTF keyword's name, "" for none
  int form, group;
};
constexpr int E = -1;

constexpr Row kCharRows[] = {
    {0, E, 0, 0, "", "", "", 0, 0},
    {1, 2, 15, 0, "", "style", "cs", 15, 69},
    {2, 0, 0, 0, "", "", "plain", 0, 67},
    {3, 1, 2, 2, "bold", "bold", "b", 2, 47},
    {4, 1, 2, 3, "italic", "italic", "i", 2, 47},
    {5, 4, 9, 12, "underline=%@", "underline", "ul", 21, 47},
    {6, 1, 2, 10, "", "", "", 0, 47},
    {7, 4, 9, 16, "caps=%@", "caps", "", 21, 47},
    {8, 1, 2, 5, "outline", "outline", "outl", 2, 47},
    {9, 1, 2, 4, "strike-through", "strike", "strike", 2, 47},
    {10, 2, 19, 20, "rel. size=%@", "relsize", "", 21, 47},
    {11, 2, 10, 22, "font=%@", "font", "f", 15, 47},
    {12, 2, 18, 24, "size=%@ point", "size", "fs", 21, 47},
    {13, 8, 13, 32, "expand=%@", "expand", "", 21, 47},
    {14, 8, 13, 40, "subscript=%@", "sub", "", 21, 47},
    {15, 4, 8, 48, "color=%@", "color", "cf", 8, 47},
    {16, 4, 8, 52, "back color=%@", "back", "cb", 8, 47},
    {17, 1, 2, 6, "shadow", "shadow", "shad", 2, 47},
    {18, 1, 2, 9, "no link", "nolink", "glmtnolink", 2, 47},
    {19, 2, 0, 0, "", "", "", 0, 47},
    {20, 0, 0, 0, "", "", "", 0, 47},
    {21, 1, 2, 8, "no leading", "unleaded", "glmtunleaded", 2, 47},
    {22, 1, 2, 7, "", "", "", 0, 47},
};

constexpr Row kParaRows[] = {
    {0, E, 0, 0, "", "", "", 0, 0},
    {1, 2, 15, 0, "", "style", "s", 15, 69},
    {2, 0, 0, 0, "", "", "pard", 0, 67},
    {3, 4, 9, 12, "align=%@", "align", "", 21, 48},
    {4, 1, 15, 2, "drop cap=%d", "drop", "dropcapli", 15, 48},
    {5, E, 0, 0, "", "", "", 0, 0},
    {6, 1, 2, 3, "top of page", "pagetop", "pagebb", 2, 48},
    {7, 1, 2, 4, "bottom of page", "pagebot", "glmtbotpg", 2, 48},
    {8, 1, 2, 5, "keep", "keep", "keep", 2, 48},
    {9, 1, 2, 6, "keep next", "keepnext", "keepn", 2, 48},
    {10, 1, 2, 7, "big 1st char", "big1", "glmtbig", 2, 48},
    {11, 1, 1, 11, "1st line format=%@", "format1", "", 21, 48},
    {12, 1, 2, 8, "header tabs", "hdrtab", "glmtlcrt", 2, 54},
    {13, E, 0, 0, "", "", "", 0, 0},
    {14, E, 0, 0, "", "", "", 0, 0},
    {15, 10, 22, 16, "prefix=\"%@\"", "prefix", "glmtprefix", 22, 48},
    {16, 10, 22, 26, "suffix=\"%@\"", "suffix", "glmtsuffix", 22, 48},
    {17, 8, 13, 40, "1st indent=%@", "indent1", "fi", 14, 56},
    {18, 8, 13, 48, "left indent=%@", "indentl", "li", 14, 55},
    {19, 8, 13, 56, "right indent=%@", "indentr", "ri", 14, 57},
    {20, 8, 13, 64, "space before=%@", "before", "sb", 14, 48},
    {21, 8, 13, 72, "space after=%@", "after", "sa", 14, 48},
    {22, 8, 11, 80, "height=%@", "height", "sl", 14, 48},
    {23, 4, 23, 0, "no tab [%@ %@%@]", "tabdel", "", 21, 54},
    {24, 4, 23, 0, "tab [%@ %@%@]", "tab", "", 21, 54},
    {25, 4, 9, 104, "%@", "btype", "", 6, 59},
    {26, 4, 9, 108, "line=%@", "bline", "", 5, 59},
    {27, 8, 14, 112, "width=%@", "bwidth", "", 7, 59},
    {28, 8, 13, 128, "offset=%@", "boff", "brsp", 14, 59},
    {29, 4, 8, 136, "line color=%@", "color", "brdrcf", 8, 59},
    {30, 4, 8, 144, "back color=%@", "back", "cfpat", 8, 59},
    {31, E, 0, 0, "", "", "", 0, 0},
    {32, 4, 23, 0, "", "", "", 21, 54},
    {33, 0, 0, 0, "", "", "", 0, 54},
    {34, 1, 2, 9, "no spelling", "nospell", "noproof", 2, 48},
    {35, 8, 13, 120, "thickness=%@", "bthick", "glmtbdrthick", 14, 59},
    {36, 4, 8, 140, "inner color=%@", "incolor", "glmtbdrinner", 8, 59},
    {37, 8, 20, 88, "multiple=%@", "multiple", "", 21, 48},
    {38, 1, 2, 10, "checkbox on", "check", "glmtchecked", 2, 48},
};

constexpr Row kChapterRows[] = {
    {0, E, 0, 0, "", "", "", 0, 0},
    {1, 2, 15, 0, "", "style", "ds", 15, 69},
    {2, 4, 9, 4, "start=%@", "chapstart", "", 21, 49},
    {3, 1, 2, 297, "title page", "title", "titlepg", 2, 49},
    {4, E, 0, 0, "", "", "", 0, 0},
    {5, 1, 2, 26, "balance columns", "balance", "nocolbal", 3, 49},
    {6, 4, 9, 12, "auto page #", "pagepos", "", 21, 49},
    {7, 4, 9, 16, "page # format=%@", "nof", "", 16, 49},
    {8, 2, 15, 20, "page # start=%d", "pagenum", "pgnstarts", 15, 49},
    {9, 1, 15, 22, "columns=%d", "cols", "cols", 15, 49},
    {10, 1, 2, 24, "line between columns", "colline", "linebetcol", 2, 49},
    {11, 1, 2, 25, "custom column widths", "custom", "", 0, 49},
    {12, 8, 13, 32, "space between columns=%@", "between", "colsx", 14, 49},
    // 13-22: the column widths, added by rule
    {23, 8, 13, 280, "header offset=%@", "hoff", "headery", 14, 64},
    {24, 8, 13, 288, "footer offset=%@", "foff", "footery", 14, 65},
    {25, E, 0, 0, "", "", "", 0, 0},
    {26, E, 0, 0, "", "", "", 0, 0},
    {27, 1, 2, 296, "single-space header/footer", "header1", "glmtnodblhdr", 2, 49},
    {28, E, 0, 0, "", "", "", 0, 0},
    {29, E, 0, 0, "", "", "", 0, 0},
    {30, E, 0, 0, "", "", "", 0, 0},
    {31, E, 0, 0, "", "", "", 0, 0},
    {32, 1, 2, 8, "mirror pg #=%@", "mirrorp", "", 2, 49},
    {33, 1, 2, 27, "frames affect text boxes", "framesTB", "glmtfrtb", 2, 49},
    {34, 160, 24, 120, "text boxes=%d", "tb", "", 21, 49},
};

constexpr Row kFrameRows[] = {
    {0, E, 0, 0, "", "", "", 0, 0},
    {1, E, 0, 0, "", "", "", 0, 0},
    {2, 4, 15, 0, "picture=%d", "image", "", 0, 53},
    {3, 4, 9, 8, "text %@", "wrap", "", 21, 53},
    {4, 1, 2, 12, "text hugs picture", "tight", "", 21, 53},
    {5, 8, 13, 24, "vert offset=%@", "y", "dfrmtxty", 14, 53},
    {6, 8, 13, 16, "horz offset=%@", "xoff", "dfrmtxtx", 14, 53},
    {7, 4, 17, 32, "page=%d", "pageanchor", "glmtfpage", 15, 53},
    {8, 4, 4, 36, "bookmark=%@", "bookmark", "", 0, 53},
    {9, 8, 13, 48, "top=%@", "top", "", 0, 53},
    {10, 8, 13, 40, "left=%@", "left", "", 0, 53},
    {11, 8, 13, 64, "height=%@", "height", "absh", 14, 53},
    {12, 8, 13, 56, "width=%@", "width", "absw", 14, 53},
    {13, 4, 9, 72, "horz anchor=%@", "xbase", "", 21, 53},
    {14, 4, 9, 76, "horz position=%@", "x", "", 21, 53},
    {15, 4, 9, 80, "vert anchor=%@", "ybase", "", 21, 53},
    {16, 4, 9, 84, "vert position=%@", "ypos", "", 21, 53},
    {17, 4, 9, 88, "%@", "btype", "", 6, 59},
    {18, 4, 9, 92, "line=%@", "bline", "", 5, 59},
    {19, 8, 14, 96, "width=%@", "bwidth", "", 7, 59},
    {20, 8, 13, 112, "offset=%@", "boff", "brsp", 14, 59},
    {21, 4, 8, 120, "line color=%@", "color", "brdrcf", 8, 59},
    {22, 4, 8, 128, "back color=%@", "back", "cfpat", 8, 59},
    {23, 8, 13, 104, "thickness=%@", "bthick", "glmtbdrthick", 14, 59},
    {24, 4, 8, 124, "inner color=%@", "incolor", "glmtbdrinner", 8, 59},
    {25, 4, 15, 4, "opacity=%@%%", "opacity", "glmtfrpopacity", 15, 53},
};

constexpr Row kTableRows[] = {
    {0, E, 0, 0, "", "", "", 0, 0},
    {1, 2, 15, 0, "", "style", "glmtts", 15, 69},
    {2, 1, 2, 2, "title row", "titlerow", "trhdr", 2, 85},
    {3, 1, 2, 3, "keep", "keep", "glmttblkeep", 2, 85},
    {4, 4, 9, 8, "align=%@", "align", "", 21, 85},
    {5, 1, 15, 12, "columns=%d", "cols", "cols", 15, 85},
    {6, 8, 13, 24, "top=%@", "top", "glmttbltop", 14, 85},
    {7, 8, 13, 16, "left=%@", "left", "trleft", 14, 92},
    {8, 8, 13, 40, "bottom=%@", "bottom", "glmttblbottom", 14, 85},
    {9, 8, 13, 32, "right=%@", "right", "glmttblright", 14, 93},
    {10, 8, 13, 56, "cell before=%@", "before", "glmtcellt", 14, 85},
    {11, 8, 13, 48, "cell left=%@", "cleft", "glmtcelll", 14, 85},
    {12, 8, 13, 72, "cell after=%@", "after", "glmtcellb", 14, 85},
    {13, 8, 13, 64, "cell right=%@", "cright", "glmtcellr", 14, 85},
    {14, 8, 11, 80, "height=%@", "height", "glmttblline", 14, 85},
    // 15-24: columns 1-10, added by rule
    {25, 4, 9, 904, "%@", "btype", "", 6, 59},
    {26, 4, 9, 908, "line=%@", "bline", "", 5, 59},
    {27, 8, 14, 912, "width=%@", "bwidth", "", 7, 59},
    {28, 8, 13, 928, "offset=%@", "boff", "brsp", 14, 59},
    {29, 4, 8, 936, "line color=%@", "color", "brdrcf", 8, 59},
    {30, 4, 8, 944, "back color=%@", "back", "cfpat", 8, 59},
    {31, 8, 13, 920, "thickness=%@", "bthick", "glmtbdrthick", 14, 59},
    {32, 4, 8, 940, "inner color=%@", "incolor", "glmtbdrinner", 8, 59},
    {33, 1, 2, 4, "interior spacing", "insideonly", "glmtinside", 2, 85},
    {34, 1, 2, 5, "auto-fit", "autofit", "glmtautotbl", 2, 85},
    // 35-49: columns 11-25, added by rule
    {50, 1, 2, 6, "stripe", "stripe", "glmtstripe", 2, 85},
    {51, 4, 8, 88, "stripe color=%@", "stripecolor", "glmtstripeclr", 8, 85},
    {52, 1, 1, 92, "1st row format=%@", "format1", "", 21, 85},
};

constexpr Row kListRows[] = {
    {0, E, 0, 0, "", "", "", 0, 0},
    {1, 2, 15, 0, "", "style", "", 0, 69},
    {2, 1, 2, 2, "show all levels", "levels", "", 0, 66},
    {3, 1, 2, 3, "flush left", "left", "", 0, 66},
    {4, 8, 13, 8, "indent=%@", "indent", "", 0, 66},
    // 5-13: markers 1-9, added by rule
};

constexpr Row kBorderRows[] = {
    {0, E, 0, 0, "", "", "", 0, 0},
    {1, 4, 9, 0, "%@", "btype", "", 6, 59},
    {2, 4, 9, 4, "line=%@", "bline", "", 5, 59},
    {3, 8, 14, 8, "width=%@", "bwidth", "", 7, 59},
    {4, 8, 13, 24, "offset=%@", "boff", "brsp", 14, 59},
    {5, 4, 8, 32, "line color=%@", "color", "brdrcf", 8, 59},
    {6, 4, 8, 40, "back color=%@", "back", "cfpat", 8, 59},
    {7, 8, 13, 16, "thickness=%@", "bthick", "glmtbdrthick", 14, 59},
    {8, 4, 8, 36, "inner color=%@", "incolor", "glmtbdrinner", 8, 59},
};

constexpr Row kDocumentRows[] = {
    {0, E, 0, 0, "", "", "", 0, 0},
    {1, 8, 13, 0, "", "deftab", "deftab", 14, 50},
    {2, 8, 13, 16, "", "gutter", "gutter", 14, 50},
    {3, 2, 15, 24, "", "pagenum", "pgnstart", 15, 50},
    {4, 1, 2, 64, "", "mirrorh", "facingp", 2, 50},
    {5, 1, 2, 65, "", "mirrorl", "margmirror", 2, 50},
    {6, 1, 2, 66, "", "ignorem", "glmtignoremarg", 2, 50},
    {7, 1, 2, 67, "", "widow", "widowctrl", 2, 50},
    {8, 1, 2, 76, "", "noconv", "glmtnoconv", 2, 50},
    {9, 1, 2, 77, "", "nixprint", "", 0, 50},
    {10, 1, 2, 78, "", "noback", "glmtnoback", 2, 50},
    {11, 4, 8, 8, "", "btcolor", "glmtbtcolor", 8, 50},
    {12, 1, 2, 79, "", "noquotes", "glmtnoquote", 2, 50},
    {13, 1, 2, 71, "", "backup", "makebackup", 2, 50},
    {14, 4, 9, 80, "", "", "", 0, 0},
    {15, E, 0, 0, "", "", "", 0, 0},
    {16, E, 0, 0, "", "", "", 0, 0},
    {17, E, 0, 0, "", "", "", 0, 0},
    {18, 1, 2, 68, "", "hdrempty", "glmtnoemptyhdr", 2, 50},
    {19, 1, 2, 72, "", "nowrap", "glmtnodocwrap", 2, 50},
    {20, 8, 13, 40, "", "top", "margt", 21, 60},
    {21, 8, 13, 32, "", "left", "margl", 14, 61},
    {22, 8, 13, 56, "", "bottom", "margb", 21, 62},
    {23, 8, 13, 48, "", "right", "margr", 14, 63},
    {24, 1, 2, 69, "", "hpush", "", 0, 50},
    {25, 1, 2, 70, "", "fpush", "", 0, 50},
    {26, 1, 2, 73, "", "nopreview", "glmtnopreview", 2, 50},
    {27, 4, 8, 84, "", "back", "glmtbackclr", 8, 50},
    {28, 4, 15, 88, "", "image", "", 21, 50},
    {29, 1, 2, 100, "", "tile", "glmttileback", 2, 50},
    {30, 1, 2, 101, "", "fill", "glmtfillpage", 2, 50},
    {31, 4, 15, 92, "", "opacity", "glmtbackopacity", 15, 50},
    {32, 1, 2, 74, "", "nospell", "glmtnospell", 2, 50},
    {33, 4, 15, 96, "", "scale", "glmtbackscale", 15, 50},
    {34, 1, 2, 75, "", "hidebmk", "glmthidebmk", 2, 50},
};

GMAtom AtomFromRow(const Row& row) {
  GMAtom atom;
  atom.number = uint8_t(row.n);
  if (row.size == E) return atom;
  atom.used = true;
  atom.valueSize = uint8_t(row.size);
  atom.valueType = uint32_t(row.type);
  atom.offset = uint32_t(row.offset);
  atom.group = uint32_t(row.group);
  atom.description = QString::fromUtf8(row.description);
  atom.rtfKeyword = RtfKeywordForName(row.rtf);
  atom.rtfForm = uint32_t(row.form);
  atom.xmlTag = QString::fromUtf8(row.xml);
  return atom;
}

// Column widths and list markers repeat by rule: n atoms from `first`, numbered from `label`.
void AddRepeated(std::vector<GMAtom>& table, uint32_t first, uint32_t n, uint32_t offset, uint32_t step,
                 uint32_t label, int type, int size, const char* description, const char* xml, bool numberedTag,
                 const char* rtf, int form, int group) {
  for (uint32_t i = 0; i < n; ++i) {
    GMAtom atom;
    atom.used = true;
    atom.number = uint8_t(first + i);
    atom.valueSize = uint8_t(size);
    atom.valueType = uint32_t(type);
    atom.offset = offset + step * i;
    atom.group = uint32_t(group);
    atom.description = QString::fromUtf8(description).arg(label + i);
    atom.rtfKeyword = RtfKeywordForName(rtf);
    atom.rtfForm = uint32_t(form);
    atom.xmlTag = numberedTag ? QString::fromUtf8(xml).arg(label + i) : QString::fromUtf8(xml);
    atom.arrayIndex = label + i;
    table.push_back(atom);
  }
}

template <size_t N>
void AddRows(std::vector<GMAtom>& table, const Row (&rows)[N], int from, int to) {
  for (const Row& row : rows)
    if (row.n >= from && row.n < to) table.push_back(AtomFromRow(row));
}

void AttachWords(std::vector<GMAtom>& table, uint32_t atom, std::span<const char* const> words) {
  if (atom < table.size()) table[atom].words = words;
}

struct AtomTables {
  std::array<std::vector<GMAtom>, 9> kinds;
  AtomTables() {
    using namespace AtomWords;
    auto& chars = kinds[kPropChar];
    AddRows(chars, kCharRows, 0, 100);
    AttachWords(chars, 5, underline);
    AttachWords(chars, 7, caps);

    auto& para = kinds[kPropPara];
    AddRows(para, kParaRows, 0, 100);
    AttachWords(para, 3, align);
    AttachWords(para, 25, borderKind);
    AttachWords(para, 26, borderLine);

    auto& chapter = kinds[kPropChapter];
    AddRows(chapter, kChapterRows, 0, 13);
    AddRepeated(chapter, 13, 10, 40, 8, 1, 13, 8, "column %1=%@", "c%1", true, "colw", 21, 49);
    AddRows(chapter, kChapterRows, 23, 100);
    AttachWords(chapter, 2, chapterStart);
    AttachWords(chapter, 6, pagePosition);
    AttachWords(chapter, 7, numberFormat);

    auto& frame = kinds[kPropFrame];
    AddRows(frame, kFrameRows, 0, 100);
    AttachWords(frame, 3, wrap);
    AttachWords(frame, 13, anchor);
    AttachWords(frame, 14, horzPosition);
    AttachWords(frame, 15, anchor);
    AttachWords(frame, 16, vertPosition);
    AttachWords(frame, 17, borderKind);
    AttachWords(frame, 18, borderLine);

    auto& table = kinds[kPropTable];
    AddRows(table, kTableRows, 0, 15);
    AddRepeated(table, 15, 10, 96, 8, 1, 13, 8, "column %1=%@", "c%1", true, "colw", 21, 91);
    AddRows(table, kTableRows, 25, 35);
    AddRepeated(table, 35, 15, 176, 8, 11, 13, 8, "column %1=%@", "c%1", true, "colw", 21, 91);
    AddRows(table, kTableRows, 50, 100);
    AttachWords(table, 4, align);
    AttachWords(table, 25, borderKind);
    AttachWords(table, 26, borderLine);

    auto& list = kinds[kPropList];
    AddRows(list, kListRows, 0, 100);
    AddRepeated(list, 5, 9, 16, 12, 1, 12, 12, "marker %1=%@", "mark", false, "", 0, 66);

    auto& border = kinds[kPropBorder];
    AddRows(border, kBorderRows, 0, 100);
    AttachWords(border, 1, borderKind);
    AttachWords(border, 2, borderLine);

    AddRows(kinds[kPropDocument], kDocumentRows, 0, 100);
  }
};

AtomTables& Tables() {
  static AtomTables tables;
  return tables;
}

uint32_t EntryLengthFor(uint32_t valueSize) { return valueSize < 3 ? 4 : valueSize + 2; }

bool IsTabAtom(uint32_t kind, uint32_t atom) {
  return kind == kPropPara && (atom == ParaAtom::noTab || atom == ParaAtom::tab);
}

uint32_t TabPositionOfValue(const uint8_t* value) {
  uint32_t tab;
  std::memcpy(&tab, value, 4);
  return TabPosition(tab);
}

uint16_t HeaderAt(const std::vector<uint8_t>& bytes, size_t at) {
  uint16_t header;
  std::memcpy(&header, bytes.data() + at, 2);
  return header;
}

// The bytes an entry takes: its length bits, or for values too long for four bits the atom's size.
uint32_t EntryLength(uint16_t header) {
  const uint32_t length = header >> 12;
  if (length != 0) return length;
  const GMAtom* atom = AtomFor((header >> 8) & 0xF, header & 0xFF);
  return atom ? EntryLengthFor(atom->valueSize) : 4;
}

// A record's style formatting: the first formatting, or for character records of paragraph
// styles the second; a character style 0 takes that of the paragraph's style at cp.
bool StyleFormatting(GlimmetDoc* doc, int64_t cp, uint32_t kind, uint32_t styleIndex, PropRecord* out) {
  if (!doc) return false;
  if (kind == kPropChar && styleIndex == 0) {
    uint32_t paraStyle = 0;
    if (cp >= 0 && cp < doc->totalLength) {
      PropRecord para;
      FetchParaProps(doc, nullptr, uint32_t(cp), nullptr, &para);
      paraStyle = para.get<uint16_t>(ParaField::style);
    }
    if (paraStyle >= doc->styles.size()) paraStyle = 0;
    const PropRecord* found = PropertiesAtIndex(doc, doc->styles[paraStyle].second);
    if (!found || found->kind != kPropChar) found = PropertiesAtIndex(doc, doc->styles[0].second);
    if (!found) return false;
    *out = *found;
    return true;
  }
  if (styleIndex >= doc->styles.size()) return false;
  const GMStyle& style = doc->styles[styleIndex];
  const uint32_t index = kind == kPropChar && style.kind == kPropPara ? style.second : style.first;
  const PropRecord* found = PropertiesAtIndex(doc, index);
  if (!found || found->kind != kind) return false;
  *out = *found;
  return true;
}

void InsertTab(uint8_t* body, uint32_t tab, bool replaceEqual) {
  uint16_t count;
  std::memcpy(&count, body + ParaField::tabCount, 2);
  count = std::min<uint16_t>(count, kMaxTabs);
  uint32_t* tabs = reinterpret_cast<uint32_t*>(body + ParaField::tabs);
  auto tabAt = [&](uint32_t i) {
    uint32_t value;
    std::memcpy(&value, body + ParaField::tabs + 4 * i, 4);
    return value;
  };
  (void)tabs;
  const uint32_t position = TabPosition(tab);
  uint32_t at = 0;
  while (at < count && TabPosition(tabAt(at)) < position) ++at;
  if (replaceEqual && at < count && TabPosition(tabAt(at)) == position) {
    std::memcpy(body + ParaField::tabs + 4 * at, &tab, 4);
    return;
  }
  if (count >= kMaxTabs) --count;  // the last tab gives way
  if (at > count) return;
  std::memmove(body + ParaField::tabs + 4 * (at + 1), body + ParaField::tabs + 4 * at, 4 * (count - at));
  std::memcpy(body + ParaField::tabs + 4 * at, &tab, 4);
  ++count;
  std::memcpy(body + ParaField::tabCount, &count, 2);
}

void DeleteTabAt(uint8_t* body, uint32_t position) {
  uint16_t count;
  std::memcpy(&count, body + ParaField::tabCount, 2);
  for (uint32_t i = 0; i < count && i < kMaxTabs; ++i) {
    uint32_t value;
    std::memcpy(&value, body + ParaField::tabs + 4 * i, 4);
    if (TabPosition(value) == position) {
      DeleteTab(body, i);
      return;
    }
  }
}

// Prefix and suffix values: a count and UTF-16 units, or, with a high count byte, single bytes.
void CopyAffix(uint8_t* field, const uint8_t* value) {
  uint16_t count;
  std::memcpy(&count, value, 2);
  if ((count & 0xFF00) == 0) {
    const uint32_t units = std::min<uint32_t>(count, 4);
    std::memcpy(field, value, 2 * (units + 1));
    return;
  }
  const uint32_t n = std::min<uint32_t>(count >> 8, 4);
  const uint16_t stored = uint16_t(n);
  std::memcpy(field, &stored, 2);
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t byte = value[2 + i];
    char16_t unit = byte;
    if (byte == 165) unit = 0x2022;
    else if (byte >= 127) LogAssert("Need special handling for prefix or suffix?", __func__, __FILE__, __LINE__);
    std::memcpy(field + 2 + 2 * i, &unit, 2);
  }
}

}  // namespace

std::span<const GMAtom> AtomTable(uint32_t kind) {
  if (kind >= 9) return {};
  return Tables().kinds[kind];
}

const GMAtom* AtomFor(uint32_t kind, uint32_t atom) {
  const std::span<const GMAtom> table = AtomTable(kind);
  return atom < table.size() ? &table[atom] : nullptr;
}

const GMAtom* AtomForXmlTag(uint32_t kind, const QString& tag) {
  for (const GMAtom& atom : AtomTable(kind))
    if (atom.used && atom.xmlTag == tag) return &atom;
  return nullptr;
}

bool AtomForRtfKeyword(uint32_t keyword, uint32_t* kind, uint32_t* atom) {
  if (keyword == 0) return false;
  for (uint32_t k = 0; k < 9; ++k)
    for (const GMAtom& candidate : AtomTable(k))
      if (candidate.used && candidate.rtfKeyword == keyword) {
        if (kind) *kind = k;
        if (atom) *atom = candidate.number;
        return true;
      }
  return false;
}

void SetAtomXmlKeys(uint32_t (*keyForTag)(const QString& tag)) {
  for (auto& table : Tables().kinds)
    for (GMAtom& atom : table)
      if (!atom.xmlTag.isEmpty()) atom.xmlKey = keyForTag(atom.xmlTag);
}

uint32_t EnumAtomValueForString(const QString& text, std::span<const char* const> words) {
  for (size_t i = 0; i < words.size(); ++i) {
    if (!words[i]) {
      if (text.isNull()) return uint32_t(i);
      continue;
    }
    if (text.compare(QLatin1StringView(words[i]), Qt::CaseInsensitive) == 0) return uint32_t(i);
  }
  LogAssert("Unknown tag value", __func__, __FILE__, __LINE__);
  return 0;
}

GMMolecule* EmptyMolecule() {
  GMMolecule* molecule = new (std::nothrow) GMMolecule;
  if (!molecule) {
    FLReadingMeter::NoteOutOfMemory();
    return nullptr;
  }
  try {
    molecule->entries.reserve(256);
  } catch (const std::bad_alloc&) {
    FLReadingMeter::NoteOutOfMemory();
    delete molecule;
    return nullptr;
  }
  return molecule;
}

GMMolecule* NewMolecule(uint32_t kind, uint32_t atom, const void* value) {
  GMMolecule* molecule = EmptyMolecule();
  if (molecule && !AddAtomToMolecule(molecule, kind, atom, value)) {
    FreeMolecule(molecule);
    return nullptr;
  }
  return molecule;
}

void FreeMolecule(GMMolecule* molecule) { delete molecule; }

bool AddAtomToMolecule(GMMolecule* molecule, uint32_t kind, uint32_t atom, const void* value) {
  if (!molecule) return false;
  const GMAtom* descriptor = AtomFor(kind, atom);
  const uint32_t valueSize = descriptor ? descriptor->valueSize : 0;
  const uint32_t length = EntryLengthFor(valueSize);
  const bool tab = IsTabAtom(kind, atom);
  const uint32_t position = tab && value ? TabPositionOfValue(static_cast<const uint8_t*>(value)) : 0;
  std::vector<uint8_t>& bytes = molecule->entries;
  size_t at = 0;
  while (at < bytes.size()) {
    const uint16_t header = HeaderAt(bytes, at);
    const uint32_t entryKind = (header >> 8) & 0xF;
    const uint32_t entryAtom = header & 0xFF;
    const uint32_t entryLength = EntryLength(header);
    if (entryKind > kind || (entryKind == kind && entryAtom > atom)) break;
    if (entryKind == kind && entryAtom == atom) {
      if (tab) {
        const uint32_t existing = TabPositionOfValue(bytes.data() + at + 2);
        if (existing > position) break;
        if (existing < position) {
          at += entryLength;
          continue;
        }
      }
      if (entryLength != length) LogAssert("Replacing an atom entry with a different atom", __func__, __FILE__, __LINE__);
      if (value) {
        if (valueSize == 1) {
          const uint16_t wide = *static_cast<const uint8_t*>(value);
          std::memcpy(bytes.data() + at + 2, &wide, 2);
        } else {
          std::memcpy(bytes.data() + at + 2, value, std::min(valueSize, entryLength - 2));
        }
      }
      return true;
    }
    at += entryLength;
  }
  try {
    bytes.insert(bytes.begin() + ptrdiff_t(at), length, 0);
  } catch (const std::bad_alloc&) {
    FLReadingMeter::NoteOutOfMemory();
    return false;
  }
  const uint16_t header = uint16_t((atom & 0xFF) | ((kind & 0xF) << 8) | ((length <= 15 ? length : 0) << 12));
  std::memcpy(bytes.data() + at, &header, 2);
  if (value) {
    if (valueSize == 1) {
      const uint16_t wide = *static_cast<const uint8_t*>(value);
      std::memcpy(bytes.data() + at + 2, &wide, 2);
    } else if (valueSize > 0) {
      std::memcpy(bytes.data() + at + 2, value, valueSize);
    }
  }
  ++molecule->count;
  return true;
}

std::vector<GMAtomEntry> MoleculeEntries(const GMMolecule& molecule) {
  std::vector<GMAtomEntry> out;
  const std::vector<uint8_t>& bytes = molecule.entries;
  size_t at = 0;
  while (at + 2 <= bytes.size()) {
    const uint16_t header = HeaderAt(bytes, at);
    GMAtomEntry entry;
    entry.atom = header & 0xFF;
    entry.kind = (header >> 8) & 0xF;
    entry.length = EntryLength(header);
    if (entry.length < 2 || at + entry.length > bytes.size()) break;
    entry.value = bytes.data() + at + 2;
    entry.valueBytes = entry.length - 2;
    out.push_back(entry);
    at += entry.length;
  }
  return out;
}

uint16_t FontIndexWithoutTrait(uint16_t fontIndex, bool bold) {
  const QString name = FontNameAtIndex(fontIndex);
  const std::optional<FLFontFace> face = FontFaceForName(name.isEmpty() ? QString::fromUtf8(kFLEmptyFontName) : name);
  if (!face) return fontIndex;
  const bool isBold = face->weight >= 200;
  const bool isItalic = face->slant != 0;
  if (bold ? !isBold : !isItalic) return fontIndex;
  const int wantWeight = bold ? 80 : face->weight;
  const int wantSlant = bold ? face->slant : 0;
  const FLFontFace* best = nullptr;
  const QList<FLFontFace> members = AvailableMembersOfFontFamily(face->family);
  for (const FLFontFace& member : members) {
    if (member.width != face->width) continue;
    if ((member.slant != 0) != (wantSlant != 0)) continue;
    if (bold ? member.weight >= 200 : false) continue;
    if (!best || std::abs(member.weight - wantWeight) < std::abs(best->weight - wantWeight)) best = &member;
  }
  if (!best || best->postScriptName == face->postScriptName) return fontIndex;
  const uint16_t index = IndexOfFont(best->postScriptName);
  return index == 0 ? fontIndex : index;
}

void ApplyMoleculeToProps(GlimmetDoc* doc, int64_t cp, PropRecord* record, const GMMolecule* molecule) {
  if (!record || !molecule) return;
  const uint32_t kind = record->kind;
  if (kind >= 9) return;
  for (const GMAtomEntry& entry : MoleculeEntries(*molecule)) {
    if (entry.kind < kind) continue;
    if (entry.kind > kind) break;
    if (entry.atom >= g_atomCounts[kind]) continue;
    const GMAtom* atom = AtomFor(kind, entry.atom);
    if (!atom || !atom->used) continue;
    const uint8_t* value = entry.value;
    const bool styled = kind == kPropChar || kind == kPropPara || kind == kPropChapter || kind == kPropTable ||
                        kind == kPropList;
    if (styled && entry.atom == kStyleAtom) {
      if (doc && doc->ignoreStyleAtoms) continue;
      uint16_t style;
      std::memcpy(&style, value, 2);
      PropRecord formatting;
      if (StyleFormatting(doc, cp, kind, style, &formatting)) {
        *record = formatting;
        if (!(kind == kPropChar && style == 0) && record->get<uint16_t>(0) != style)
          LogAssert("properties.styleIndex is wrong", __func__, __FILE__, __LINE__);
      }
      continue;
    }
    if ((kind == kPropChar || kind == kPropPara) && entry.atom == CharAtom::plain) {
      PropRecord formatting;
      if (StyleFormatting(doc, cp, kind, record->get<uint16_t>(0), &formatting)) *record = formatting;
      continue;
    }
    if (kind == kPropChar) {
      if ((entry.atom == CharAtom::bold || entry.atom == CharAtom::italic)) {
        if (value[0] == 0) {
          const uint16_t font = record->get<uint16_t>(CharField::font);
          record->set<uint16_t>(CharField::font, FontIndexWithoutTrait(font, entry.atom == CharAtom::bold));
        }
        record->body[atom->offset] = value[0];
        continue;
      }
      if (entry.atom == CharAtom::relSize) {
        record->set<int16_t>(CharField::relativeSize, int16_t(int8_t(value[0])));
        continue;
      }
      if (entry.atom == CharAtom::sizeStep) {
        uint16_t direction;
        std::memcpy(&direction, value, 2);
        const int32_t points = record->get<int16_t>(CharField::size) / 4;
        record->set<int16_t>(CharField::size, int16_t(4 * StepOffsetFontSize(points, direction == 1 ? 1 : -1)));
        continue;
      }
    }
    if (kind == kPropPara) {
      switch (entry.atom) {
        case ParaAtom::prefix:
        case ParaAtom::suffix:
          CopyAffix(record->body + atom->offset, value);
          continue;
        case ParaAtom::noTab:
          DeleteTabAt(record->body, TabPositionOfValue(value));
          continue;
        case ParaAtom::tab:
        case ParaAtom::addTab: {
          uint32_t tab;
          std::memcpy(&tab, value, 4);
          InsertTab(record->body, tab, entry.atom == ParaAtom::tab);
          continue;
        }
        case ParaAtom::clearTabs:
          std::memset(record->body + ParaField::tabCount, 0, 4 + 4 * kMaxTabs);
          continue;
        default:
          break;
      }
    }
    if (atom->valueType == kAtomAction) continue;
    // The compact forms: a line width in points, a 4-byte enumeration, as a signed byte.
    if (entry.length == 4 && atom->valueType == kAtomLineWidth) {
      record->set<int64_t>(atom->offset, int64_t(int8_t(value[0])) * kEmuPerPoint);
      continue;
    }
    if (entry.length == 4 && atom->valueType == kAtomEnum && atom->valueSize == 4) {
      record->set<int32_t>(atom->offset, int32_t(int8_t(value[0])));
      continue;
    }
    if (atom->offset + atom->valueSize > PropBodySize(kind)) continue;
    if (atom->valueSize == 1) record->body[atom->offset] = value[0];
    else std::memcpy(record->body + atom->offset, value, std::min<uint32_t>(atom->valueSize, entry.valueBytes));
  }
}

bool ApplyMoleculeToRange(const DocRange& range, const GMMolecule* molecule) {
  if (!molecule || molecule->count == 0) return true;
  if (!range.doc) return false;
  const std::vector<GMAtomEntry> entries = MoleculeEntries(*molecule);
  if (entries.empty()) return true;
  const uint32_t kind = entries.front().kind;
  if (kind >= 2) {
    LogAssert("Bad propType", __func__, __FILE__, __LINE__);
    return false;
  }
  GlimmetDoc* doc = range.doc;
  DocRange working = range;
  if (kind == kPropPara) ExpandDocRange(&working, kExpandPara);
  const DocRange whole = working;
  GMCpTable<uint32_t>& runs = kind == kPropPara ? doc->paraRuns : doc->charRuns;
  bool ok = true;
  {
    GMRegisteredRange registered(&working, 0);
    for (int guard = 0; guard < 1 << 24 && ok; ++guard) {
      DocRange piece;
      const bool more = GetNextEditRange(&working, &piece, nullptr, kEditProps, nullptr);
      if (!piece.empty()) {
        uint32_t limitIndex = 0;
        const uint32_t firstIndex = SplitRuns(piece, nullptr, kind, &limitIndex, kGMNone);
        if (firstIndex == kGMNone) {
          ok = false;
          break;
        }
        for (uint32_t i = firstIndex; i < limitIndex && i < runs.count(); ++i) {
          const PropRecord* current = PropertiesAtIndex(doc, runs.at(i));
          PropRecord record;
          if (!current || current->kind != kind) {
            LogAssert("bad propType", __func__, __FILE__, __LINE__);
            SetDefaultProperties(doc, kind, &record);
          } else {
            record = *current;
          }
          ApplyMoleculeToProps(doc, runs.cpAt(i), &record, molecule);
          const uint32_t index = IndexForProperties(doc, &record);
          if (index == kGMNone) {
            ok = false;
            break;
          }
          runs.at(i) = index;
        }
      }
      if (!more) break;
    }
  }
  InvalText(whole, false);
  if (DeferStatus().count > 0 && doc->owner) AccumulateDefer(whole);
  return ok;
}

GMMolecule* MoleculeWithDifferences(const PropRecord& newRecord, const PropRecord& oldRecord) {
  GMMolecule* molecule = EmptyMolecule();
  if (!molecule) {
    FLReadingMeter::NoteOutOfMemory();
    return nullptr;
  }
  const uint32_t kind = newRecord.kind;
  if (kind >= 9 || kind == kPropNone) return molecule;
  for (const GMAtom& atom : AtomTable(kind)) {
    if (!atom.used || atom.valueSize == 0 || atom.valueType == kAtomAction || atom.valueType == kAtomTab) continue;
    if (atom.offset + atom.valueSize > PropBodySize(kind)) continue;
    const uint8_t* a = newRecord.body + atom.offset;
    const uint8_t* b = oldRecord.body + atom.offset;
    bool different;
    if (atom.valueType == kAtomShortString) {
      uint16_t countA, countB;
      std::memcpy(&countA, a, 2);
      std::memcpy(&countB, b, 2);
      countA = std::min<uint16_t>(countA, 4);
      countB = std::min<uint16_t>(countB, 4);
      different = countA != countB || std::memcmp(a + 2, b + 2, 2 * countA) != 0;
    } else if (atom.valueType == kAtomFlag) {
      if (atom.valueSize != 1) LogAssert("Flag not single byte", __func__, __FILE__, __LINE__);
      different = (a[0] == 0) != (b[0] == 0);
    } else {
      different = std::memcmp(a, b, atom.valueSize) != 0;
    }
    if (different && !AddAtomToMolecule(molecule, kind, atom.number, a)) {
      FreeMolecule(molecule);
      return nullptr;
    }
  }
  if (kind == kPropPara) {
    auto tabsOf = [](const PropRecord& record) {
      std::vector<uint32_t> tabs;
      const uint32_t count = std::min<uint32_t>(record.get<uint16_t>(ParaField::tabCount), kMaxTabs);
      for (uint32_t i = 0; i < count; ++i) tabs.push_back(record.get<uint32_t>(ParaField::tabs + 4 * i));
      return tabs;
    };
    const std::vector<uint32_t> added = tabsOf(newRecord);
    const std::vector<uint32_t> removed = tabsOf(oldRecord);
    size_t i = 0, j = 0;
    bool ok = true;
    while (ok && (i < added.size() || j < removed.size())) {
      if (i < added.size() && j < removed.size() && added[i] == removed[j]) {
        ++i;
        ++j;
      } else if (j >= removed.size() || (i < added.size() && TabPosition(added[i]) <= TabPosition(removed[j]))) {
        ok = AddAtomToMolecule(molecule, kPropPara, ParaAtom::tab, &added[i++]);
      } else {
        ok = AddAtomToMolecule(molecule, kPropPara, ParaAtom::noTab, &removed[j++]);
      }
    }
    if (!ok) {
      FreeMolecule(molecule);
      return nullptr;
    }
  }
  return molecule;
}

void ReadPropsFromXml(FLXmlDecoder& decoder, PropRecord* record, uint32_t kind) {
  SetBaseProperties(kind, record);
  if (decoder.endTag()) return;
  const std::span<const GMAtom> table = AtomTable(kind);
  const int64_t level = decoder.level();
  while (decoder.getNextTag()) {
    if (decoder.level() < level) break;
    if (!decoder.startTag()) continue;
    const GMAtom* match = nullptr;
    for (const GMAtom& atom : table) {
      if (!atom.used || atom.xmlTag.isEmpty()) continue;
      if ((atom.xmlKey != 0 && uint32_t(decoder.key()) == atom.xmlKey) || decoder.xmlTag() == atom.xmlTag) {
        match = &atom;
        break;
      }
    }
    if (!match) {
      if (!decoder.endTag()) decoder.skipTag();
      continue;
    }
    const QString text = decoder.value();
    int64_t number = 0;
    switch (match->valueType) {
      case kAtomEnum:
        if (match->words.empty()) continue;
        number = decoder.decodeValueFromValues(match->words);
        break;
      case kAtomByteEnum: {
        if (text.compare(QLatin1StringView("underline"), Qt::CaseInsensitive) == 0) {
          number = CharAtom::underline;
          break;
        }
        bool found = false;
        for (const GMAtom& charAtom : AtomTable(kPropChar)) {
          if (!charAtom.description.isEmpty() && text.compare(charAtom.description, Qt::CaseInsensitive) == 0) {
            number = charAtom.number;
            found = true;
            break;
          }
        }
        if (!found) continue;
        break;
      }
      case kAtomBookmark:
      case kAtomPage:
        number = text.isEmpty() ? -1 : decoder.integerValue();
        break;
      case kAtomKolor:
        number = KolorFromString(text);
        break;
      case kAtomShortString: {
        uint8_t* field = record->body + match->offset;
        std::memset(field, 0, 10);
        const std::optional<QByteArray> data = text.isEmpty() ? std::nullopt : NewDataFromBase64String(text);
        if (data) {
          const uint16_t count = uint16_t(std::min<qsizetype>(data->size() / 2, 4));
          std::memcpy(field, &count, 2);
          std::memcpy(field + 2, data->constData(), 2 * count);
        }
        continue;
      }
      case kAtomTab: {
        uint16_t count = record->get<uint16_t>(ParaField::tabCount);
        if (count >= kMaxTabs) continue;
        const uint32_t x = uint32_t(decoder.integerAttributeForTag(QStringLiteral("x")));
        const uint32_t align = uint32_t(decoder.decodeAttribute(QStringLiteral("align"), AtomWords::tabAlign));
        const uint32_t lead = uint32_t(decoder.decodeAttribute(QStringLiteral("lead"), AtomWords::tabLeader));
        record->set<uint32_t>(ParaField::tabs + 4 * count, MakeTab(x, align, lead));
        record->set<uint16_t>(ParaField::tabCount, ++count);
        continue;
      }
      case kAtomMarker: {
        for (uint32_t slot = 0; slot < 9; ++slot) {
          const uint32_t at = ListField::markers + ListField::markerSize * slot;
          if (record->get<uint32_t>(at) != 0) continue;
          record->set<uint32_t>(at, uint32_t(decoder.decodeAttribute(QStringLiteral("type"), AtomWords::markerKind)));
          record->set<uint32_t>(at + 4,
                                uint32_t(decoder.decodeAttribute(QStringLiteral("nof"), AtomWords::numberFormat)));
          auto firstUnit = [&](const char* name) -> uint16_t {
            const std::optional<QByteArray> data = NewDataFromBase64String(decoder.stringAttributeForTag(QString::fromUtf8(name)));
            if (!data || data->size() < 2) return 0;
            uint16_t unit;
            std::memcpy(&unit, data->constData(), 2);
            return unit;
          };
          record->set<uint16_t>(at + 8, firstUnit("prefix"));
          record->set<uint16_t>(at + 10, firstUnit("suffix"));
          break;
        }
        continue;
      }
      default:
        number = decoder.longValue();
        break;
    }
    if (match->offset + match->valueSize > PropBodySize(kind)) continue;
    switch (match->valueSize) {
      case 1: record->body[match->offset] = uint8_t(number); break;
      case 2: record->set<int16_t>(match->offset, int16_t(number)); break;
      case 4: record->set<int32_t>(match->offset, int32_t(number)); break;
      case 8: record->set<int64_t>(match->offset, number); break;
      default: LogAssert("Unknown numeric value type", __func__, __FILE__, __LINE__); break;
    }
  }
}
