#include "glimmet/storage/gmRtfKeywords.h"

#include <QString>

#include <cstring>
#include <iterator>

namespace {

struct KeywordRow {
  const char* name;
  uint32_t kind;
};

// Sorted by name ignoring case; the row's position + 1 is the word's identifier.
constexpr KeywordRow kRows[] = {
    {"absh", 3}, {"absw", 3}, {"additive", 255}, {"af", 0}, {"annotation", 255}, {"ansi", 255}, {"ansicpg", 255},
    {"b", 0}, {"bin", 255}, {"bkmkend", 255}, {"bkmkstart", 255}, {"blue", 0}, {"box", 7}, {"brdrb", 7},
    {"brdrbar", 7}, {"brdrbtw", 7}, {"brdrcf", 7}, {"brdrdash", 7}, {"brdrdashd", 7}, {"brdrdashdd", 7},
    {"brdrdashdotstr", 7}, {"brdrdashsm", 7}, {"brdrdb", 7}, {"brdrdot", 7}, {"brdremboss", 7}, {"brdrengrave", 7},
    {"brdrframe", 7}, {"brdrhair", 7}, {"brdrinset", 7}, {"brdrl", 7}, {"brdrnil", 7}, {"brdrnone", 7},
    {"brdroutset", 7}, {"brdrr", 7}, {"brdrs", 7}, {"brdrsh", 7}, {"brdrt", 7}, {"brdrth", 7}, {"brdrthtnlg", 7},
    {"brdrthtnmg", 7}, {"brdrthtnsg", 7}, {"brdrtnthlg", 7}, {"brdrtnthmg", 7}, {"brdrtnthsg", 7},
    {"brdrtnthtnlg", 7}, {"brdrtnthtnmg", 7}, {"brdrtnthtnsg", 7}, {"brdrtriple", 7}, {"brdrw", 7},
    {"brdrwavy", 7}, {"brdrwavydb", 7}, {"brsp", 7}, {"bullet", 255}, {"caps", 0}, {"cb", 0}, {"cell", 4},
    {"cellx", 4}, {"cf", 0}, {"cfpat", 7}, {"chatn", 255}, {"chcfpat", 0}, {"chdate", 255}, {"chdpa", 255},
    {"chdpl", 255}, {"chpgn", 255}, {"chshdng", 0}, {"chtime", 255}, {"clbrdrb", 7}, {"clbrdrl", 7},
    {"clbrdrr", 7}, {"clbrdrt", 7}, {"clcfpat", 4}, {"cocoartf", 255}, {"colno", 2}, {"colortbl", 255},
    {"cols", 2}, {"colsx", 2}, {"column", 2}, {"colw", 2}, {"cpg", 255}, {"cs", 0}, {"deff", 8}, {"deftab", 8},
    {"deleted", 0}, {"dfrmtxtx", 3}, {"dfrmtxty", 3}, {"dn", 0}, {"dropcapli", 1}, {"ds", 2}, {"dxfrtext", 3},
    {"emdash", 255}, {"emfblip", 255}, {"emspace", 255}, {"endash", 255}, {"enspace", 255}, {"expnd", 0},
    {"expndtw", 0}, {"f", 0}, {"facingp", 8}, {"fcharset", 255}, {"fi", 1}, {"field", 255}, {"fldinst", 255},
    {"fldrslt", 255}, {"fnil", 255}, {"fonttbl", 255}, {"footer", 255}, {"footerf", 255}, {"footerl", 255},
    {"footerr", 255}, {"footery", 2}, {"footnote", 255}, {"fs", 0}, {"generator", 255}, {"glmtalpha", 255},
    {"glmtautotbl", 4}, {"glmtbackclr", 8}, {"glmtbackopacity", 8}, {"glmtbackpic", 8}, {"glmtbackscale", 8},
    {"glmtbdrcol", 7}, {"glmtbdrgrad", 7}, {"glmtbdrinner", 7}, {"glmtbdrlr", 7}, {"glmtbdrrow", 7},
    {"glmtbdrrowcol", 7}, {"glmtbdrrowcols", 7}, {"glmtbdrrowone", 7}, {"glmtbdrrowoneb", 7}, {"glmtbdrtb", 7},
    {"glmtbdrthick", 7}, {"glmtbig", 1}, {"glmtbmk", 3}, {"glmtbotpg", 1}, {"glmtbtcolor", 8}, {"glmtcellb", 4},
    {"glmtcelll", 4}, {"glmtcellr", 4}, {"glmtcellt", 4}, {"glmtchap", 255}, {"glmtcheck", 255},
    {"glmtchecked", 1}, {"glmtchnm", 255}, {"glmtchone", 255}, {"glmtdatefmt", 255}, {"glmtdest", 255},
    {"glmtdiv", 255}, {"glmtfile", 255}, {"glmtfillpage", 8}, {"glmtfirstline", 1}, {"glmtfitpic", 255},
    {"glmtfpage", 3}, {"glmtfrpopacity", 3}, {"glmtfrtb", 2}, {"glmthidebmk", 8}, {"glmtignore", 255},
    {"glmtignoremarg", 8}, {"glmtinside", 4}, {"glmtlcrt", 1}, {"glmtlist", 255}, {"glmtlistend", 255},
    {"glmtlower", 0}, {"glmtlstall", 5}, {"glmtlstleft", 5}, {"glmtmagic", 255}, {"glmtmeta", 255},
    {"glmtna", 255}, {"glmtnbin", 255}, {"glmtncardtxt", 255}, {"glmtncbin", 2}, {"glmtnccardtxt", 2},
    {"glmtncchi", 2}, {"glmtnchex", 2}, {"glmtnchi", 255}, {"glmtncoct", 2}, {"glmtncord", 2}, {"glmtncordtxt", 2},
    {"glmtnhex", 255}, {"glmtnlcl", 255}, {"glmtnlcr", 255}, {"glmtnoback", 8}, {"glmtnocap", 0},
    {"glmtnoconv", 8}, {"glmtnoct", 255}, {"glmtnodblhdr", 2}, {"glmtnodocwrap", 8}, {"glmtnoemptyhdr", 8},
    {"glmtnolink", 0}, {"glmtnopreview", 8}, {"glmtnoquote", 8}, {"glmtnord", 255}, {"glmtnordtxt", 255},
    {"glmtnospell", 8}, {"glmtnucl", 255}, {"glmtnucr", 255}, {"glmtpgnpos", 2}, {"glmtpicb", 255},
    {"glmtpicc", 255}, {"glmtpicplace", 255}, {"glmtpict", 255}, {"glmtprefix", 1}, {"glmtprint", 255},
    {"glmtref", 255}, {"glmtrefpic", 255}, {"glmtrelsize", 0}, {"glmtrespic", 255}, {"glmtstripe", 4},
    {"glmtstripeclr", 4}, {"glmtsuffix", 1}, {"glmttable", 255}, {"glmttag", 255}, {"glmttb", 2},
    {"glmttblbottom", 4}, {"glmttblkeep", 4}, {"glmttblline", 4}, {"glmttblright", 4}, {"glmttbltop", 4},
    {"glmttileback", 8}, {"glmttimefmt", 255}, {"glmttitlecap", 0}, {"glmttocpage", 255}, {"glmtts", 4},
    {"glmtunleaded", 0}, {"glmtwrap", 3}, {"glmtwwd", 255}, {"glmtxs", 255}, {"gotobutton", 255}, {"green", 0},
    {"gutter", 8}, {"header", 255}, {"headerf", 255}, {"headerl", 255}, {"headerr", 255}, {"headery", 2},
    {"height", 255}, {"highlight", 0}, {"hyperlink", 255}, {"i", 0}, {"ilvl", 1}, {"info", 255}, {"intbl", 1},
    {"itap", 255}, {"jotlet_bookmarks", 255}, {"jpegblip", 255}, {"keep", 1}, {"keepn", 1}, {"ldblquote", 255},
    {"levelfollow", 5}, {"levelindent", 5}, {"leveljc", 5}, {"levelnfc", 5}, {"levelnumbers", 5},
    {"levelprepend", 5}, {"levelspace", 5}, {"levelstartat", 5}, {"leveltemplateid", 5}, {"leveltext", 5},
    {"li", 1}, {"line", 255}, {"linebetcol", 2}, {"list", 5}, {"listhybrid", 5}, {"listid", 5}, {"listlevel", 5},
    {"listname", 5}, {"listoverride", 5}, {"listoverridecount", 5}, {"listoverridetable", 5}, {"liststyleid", 5},
    {"liststylename", 5}, {"listtable", 5}, {"listtemplateid", 5}, {"listtext", 255}, {"lquote", 255}, {"ls", 1},
    {"mac", 255}, {"macpict", 255}, {"makebackup", 8}, {"margb", 8}, {"margl", 8}, {"margmirror", 8}, {"margr", 8},
    {"margt", 8}, {"nestcell", 255}, {"nestrow", 255}, {"NeXTGraphic", 255}, {"nocolbal", 2}, {"nonshppict", 255},
    {"noproof", 1}, {"nosupersub", 0}, {"nowrap", 3}, {"numpages", 255}, {"numwords", 255}, {"obliqueness", 0},
    {"outl", 0}, {"overlay", 3}, {"page", 255}, {"pagebb", 1}, {"pageref", 255}, {"par", 255}, {"pard", 1},
    {"pgndec", 2}, {"pgnlcltr", 2}, {"pgnlcrm", 2}, {"pgnstart", 8}, {"pgnstarts", 2}, {"pgnucltr", 2},
    {"pgnucrm", 2}, {"pgnx", 2}, {"pgny", 2}, {"phcol", 3}, {"phmrg", 3}, {"phpg", 3}, {"pich", 255},
    {"pichgoal", 255}, {"picscalex", 255}, {"picscaley", 255}, {"pict", 255}, {"picw", 255}, {"picwgoal", 255},
    {"plain", 0}, {"pngblip", 255}, {"pntxta", 1}, {"pntxtb", 1}, {"posnegx", 3}, {"posnegy", 3}, {"posx", 3},
    {"posxc", 3}, {"posxi", 3}, {"posxl", 3}, {"posxo", 3}, {"posxr", 3}, {"posy", 3}, {"posyb", 3}, {"posyc", 3},
    {"posyil", 3}, {"posyt", 3}, {"pvmrg", 3}, {"pvpg", 3}, {"qc", 1}, {"qj", 1}, {"ql", 1}, {"qmspace", 255},
    {"qr", 1}, {"rdblquote", 255}, {"red", 0}, {"ref", 255}, {"ri", 1}, {"row", 4}, {"rquote", 255}, {"rtf", 255},
    {"s", 1}, {"sa", 1}, {"sb", 1}, {"sbasedon", 255}, {"sbkcol", 2}, {"sbkeven", 2}, {"sbknone", 2},
    {"sbkodd", 2}, {"sbkpage", 2}, {"scaps", 0}, {"sect", 255}, {"sectd", 255}, {"sectnum", 255}, {"shad", 0},
    {"shppict", 255}, {"sl", 1}, {"slmult", 1}, {"snext", 255}, {"strike", 0}, {"striked", 0}, {"stylesheet", 255},
    {"sub", 0}, {"super", 0}, {"tab", 255}, {"tb", 1}, {"tc", 255}, {"tcf", 255}, {"tcl", 255}, {"tcn", 255},
    {"titlepg", 2}, {"tldot", 1}, {"tleq", 1}, {"tlhyph", 1}, {"tlmdot", 1}, {"tlth", 1}, {"tlul", 1},
    {"toc", 255}, {"tqc", 1}, {"tqdec", 1}, {"tqr", 1}, {"trgaph", 4}, {"trhdr", 4}, {"trleft", 4}, {"trowd", 4},
    {"trqc", 4}, {"trql", 4}, {"trqr", 4}, {"trrh", 4}, {"tx", 1}, {"u", 255}, {"uc", 255}, {"ud", 255}, {"ul", 0},
    {"ul0", 0}, {"uld", 0}, {"uldash", 0}, {"uldashd", 0}, {"uldashdd", 0}, {"uldb", 0}, {"ulhwave", 0},
    {"ulldash", 0}, {"ulnone", 0}, {"ulth", 0}, {"ulthd", 0}, {"ulthdash", 0}, {"ulthdashd", 0}, {"ulthdashdd", 0},
    {"ulthldash", 0}, {"ululdbwave", 0}, {"ulw", 0}, {"ulwave", 0}, {"up", 0}, {"upr", 255}, {"v", 0},
    {"widowctrl", 8}, {"width", 255}, {"wraparound", 3}, {"wrapdefault", 3}, {"wrapthrough", 3}, {"wraptight", 3},
    {"xe", 255},
};
constexpr uint32_t kRowCount = uint32_t(std::size(kRows));

// Lower-cased name to identifier, in an open-addressed table: the reader asks for every control
// word it meets.
class NameTable {
 public:
  NameTable() {
    for (uint32_t i = 0; i < kRowCount; ++i) {
      char lower[kLongest];
      const size_t length = std::strlen(kRows[i].name);
      if (length > kLongest) continue;
      for (size_t c = 0; c < length; ++c) lower[c] = Lower(kRows[i].name[c]);
      // A later row whose name differs only in case takes the slot, as a map insertion would.
      slots_[Find(lower, length)] = uint16_t(i + 1);
    }
  }

  uint32_t Lookup(const char* lower, size_t length) const { return slots_[Find(lower, length)]; }

  static constexpr size_t kLongest = 32;
  static char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

 private:
  static constexpr size_t kSize = 4096;  // a power of two well above the row count
  static_assert(kSize > 2 * kRowCount);

  // The slot that holds the name, or the empty slot where it would go.
  size_t Find(const char* lower, size_t length) const {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < length; ++i) hash = (hash ^ uint8_t(lower[i])) * 16777619u;
    for (size_t slot = hash & (kSize - 1);; slot = (slot + 1) & (kSize - 1)) {
      const uint16_t id = slots_[slot];
      if (id == 0 || Matches(kRows[id - 1].name, lower, length)) return slot;
    }
  }
  static bool Matches(const char* name, const char* lower, size_t length) {
    for (size_t i = 0; i < length; ++i)
      if (name[i] == 0 || Lower(name[i]) != lower[i]) return false;
    return name[length] == 0;
  }

  uint16_t slots_[kSize] = {};
};

const NameTable& Names() {
  static const NameTable table;
  return table;
}

}  // namespace

uint32_t RtfKeywordForName(QStringView name) {
  constexpr qsizetype kLongest = qsizetype(NameTable::kLongest);
  if (name.isEmpty() || name.size() > kLongest) return 0;
  char lower[kLongest];
  for (qsizetype i = 0; i < name.size(); ++i) {
    const char16_t c = name[i].unicode();
    if (c >= 128) return 0;
    lower[i] = NameTable::Lower(char(c));
  }
  return Names().Lookup(lower, size_t(name.size()));
}

uint32_t RtfKeywordForName(const char* name) { return RtfKeywordForName(QString::fromLatin1(name)); }

const char* RtfKeywordName(uint32_t keyword) {
  return keyword >= 1 && keyword <= kRowCount ? kRows[keyword - 1].name : "";
}

uint32_t RtfKeywordKind(uint32_t keyword) {
  return keyword >= 1 && keyword <= kRowCount ? kRows[keyword - 1].kind : kRtfSpecialKind;
}

uint32_t RtfKeywordCount() { return kRowCount; }
