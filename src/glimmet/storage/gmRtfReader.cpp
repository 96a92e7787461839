#include "glimmet/storage/gmRtfReader.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCollectionExtensions.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flSeededHash.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmAtoms.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmPane.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmRtfKeywords.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"
#include "platform/TextEncodings.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QUuid>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

enum Token : uint32_t { kTokEnd = 1, kTokKeyword = 3, kTokMemory = 4, kTokContinue = 5, kTokPara = 6,
                        kTokMalformed = 7, kTokText = 8, kTokTooLarge = 9 };

enum Origin { kForeign = 0, kOwn = 1, kCocoa = 2 };

// What a group walker's visitor asks for besides going on (kTokContinue) or failing.
enum WalkStep : uint32_t { kWalkSkip = 100, kWalkStop = 101 };

// Text longer than this in one token is refused as out of memory.
constexpr qsizetype kMaxTokenUnits = 2000000;
constexpr int64_t kMaxValue = 0x7FFFFFFF;

uint32_t Kw(const char* name) { return RtfKeywordForName(name); }

// Every style but Normal goes, and no character or paragraph formatting names one any more.
bool StripExtraStyles(GlimmetDoc* doc) {
  bool rewritten = false;
  for (PropRecord& record : doc->props) {
    if ((record.kind != kPropChar && record.kind != kPropPara) || record.get<uint16_t>(0) == 0) continue;
    record.set<uint16_t>(0, 0);
    rewritten = true;
  }
  for (Pane& pane : doc->panes) std::memset(pane.insertionProps + CharField::style, 0, sizeof(uint16_t));
  if (doc->styles.size() <= 1 && !rewritten) return true;
  if (rewritten) {
    ForgetPropertyIndex(doc);
    ClearPropertyCaches(doc);
  }
  doc->styles.resize(std::min<size_t>(doc->styles.size(), 1));
  return RebuildStyleList(doc);
}

// The keywords the reader tells apart by identifier.
struct Keys {
  uint32_t rtf = Kw("rtf"), u = Kw("u"), uc = Kw("uc"), par = Kw("par"), line = Kw("line"), tab = Kw("tab"),
           page = Kw("page"), column = Kw("column"), sect = Kw("sect"), cell = Kw("cell"), row = Kw("row"), nestcell = Kw("nestcell"),
           nestrow = Kw("nestrow"), bullet = Kw("bullet"), emdash = Kw("emdash"), endash = Kw("endash"),
           emspace = Kw("emspace"), enspace = Kw("enspace"), qmspace = Kw("qmspace"), lquote = Kw("lquote"),
           rquote = Kw("rquote"), ldblquote = Kw("ldblquote"), rdblquote = Kw("rdblquote"), bin = Kw("bin"),
           fonttbl = Kw("fonttbl"), colortbl = Kw("colortbl"), stylesheet = Kw("stylesheet"), f = Kw("f"),
           fcharset = Kw("fcharset"), cpg = Kw("cpg"), red = Kw("red"), green = Kw("green"), blue = Kw("blue"),
           ansicpg = Kw("ansicpg"), mac = Kw("mac"), cocoartf = Kw("cocoartf"), generator = Kw("generator"),
           fldinst = Kw("fldinst"), fldrslt = Kw("fldrslt"), field = Kw("field"), pict = Kw("pict"),
           shppict = Kw("shppict"), nonshppict = Kw("nonshppict"), NeXTGraphic = Kw("NeXTGraphic"),
           glmtignore = Kw("glmtignore"), ud = Kw("ud"), upr = Kw("upr"), deff = Kw("deff"), plain = Kw("plain"),
           pard = Kw("pard"), cf = Kw("cf"), glmtalpha = Kw("glmtalpha"), hyperlink = Kw("hyperlink"),
           glmtdiv = Kw("glmtdiv"), glmtmagic = Kw("glmtmagic"),
           glmtcheck = Kw("glmtcheck"), glmttable = Kw("glmttable"), itap = Kw("itap"), pngblip = Kw("pngblip"),
           jpegblip = Kw("jpegblip"), emfblip = Kw("emfblip"), macpict = Kw("macpict"), picscalex = Kw("picscalex"),
           picscaley = Kw("picscaley"), picwgoal = Kw("picwgoal"), picw = Kw("picw"), glmtpict = Kw("glmtpict"),
           glmtpicb = Kw("glmtpicb"), glmtpicc = Kw("glmtpicc"), glmtrefpic = Kw("glmtrefpic"),
           glmtrespic = Kw("glmtrespic"), glmtfitpic = Kw("glmtfitpic"), glmtbackopacity = Kw("glmtbackopacity"),
           width = Kw("width"), height = Kw("height"), s = Kw("s"), cs = Kw("cs"), ds = Kw("ds"),
           glmtts = Kw("glmtts"), sbasedon = Kw("sbasedon"), snext = Kw("snext"), glmtdest = Kw("glmtdest"),
           glmtbackpic = Kw("glmtbackpic");
  std::vector<uint32_t> chapterSlot;  // the chapter slot that a header or footer group fills, 0 none
  std::vector<bool> skipGroup;  // destinations whose group is skipped
  std::vector<bool> defaultOne;  // keywords whose value without a number is 1
  Keys() {
    skipGroup.assign(RtfKeywordCount() + 1, false);
    for (const char* name : {"annotation", "footer", "footerf", "footerl", "footerr", "footnote", "header", "headerf",
                             "headerl", "headerr", "info", "listtext", "tc", "tcn", "xe", "nonshppict",
                             "fldinst", "glmtprefix", "glmtsuffix"})
      skipGroup[Kw(name)] = true;
    chapterSlot.assign(RtfKeywordCount() + 1, 0);
    const struct {
      const char* name;
      uint32_t slot;
    } kSlots[] = {{"header", kChapterHeader},         {"headerr", kChapterHeader},         {"footer", kChapterFooter},
                 {"footerr", kChapterFooter},        {"headerl", kChapterLeftHeader},     {"footerl", kChapterLeftFooter},
                 {"headerf", kChapterFirstHeader},   {"footerf", kChapterFirstFooter}};
    for (const auto& slot : kSlots) chapterSlot[Kw(slot.name)] = slot.slot;
    defaultOne.assign(RtfKeywordCount() + 1, false);
    // A word that sets an on/off atom means "on" without a number: the writer writes it so.
    for (uint32_t keyword = 1; keyword <= RtfKeywordCount(); ++keyword)
      for (const GMAtom& atom : AtomTable(RtfKeywordKind(keyword)))
        if (atom.used && atom.rtfKeyword == keyword && atom.valueType == kAtomFlag) defaultOne[keyword] = true;
    // Words that switch something on without being an on/off atom of their own.
    for (const char* name : {"striked", "caps", "scaps", "deleted", "intbl", "ul", "uld", "uldash", "uldashd",
                             "uldashdd", "uldb", "ulhwave", "ulldash", "ulth", "ulthd", "ulthdash", "ulthdashd",
                             "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave", "v", "nosupersub", "nowrap",
                             "obliqueness", "glmtlstall"})
      defaultOne[Kw(name)] = true;
  }
};

const Keys& K() {
  static const Keys keys;
  return keys;
}

// Windows charset numbers and their code pages.
int CodePageForCharset(int64_t charset) {
  static const QHash<int, int> pages = {
      {2, 42},     {77, 10000}, {78, 10001}, {79, 10003}, {80, 10008}, {81, 10002}, {83, 10005}, {84, 10004},
      {85, 10006}, {86, 10081}, {87, 10021}, {88, 10029}, {89, 10007}, {128, 932},  {129, 949},  {130, 1361},
      {134, 936},  {136, 950},  {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257},
      {204, 1251}, {222, 874},  {238, 1250}, {254, 437},  {255, 850}};
  return pages.value(int(charset), 1252);
}

struct FontEntry {
  uint16_t index = 0;
  bool substituted = false;
  FLStringEncoding encoding = kFLEncodingNone;
};

// The state that a group saves at "{" and gets back at "}".
struct GroupState {
  PropRecord chars;
  PropRecord para;
  uint8_t border[BorderField::size] = {};  // the pending paragraph border
  bool inTable = false;                    // the paragraph belongs to a table
  FLStringEncoding fontEncoding = kFLEncodingNone;
  int64_t uc = 1;
  bool deleted = false;
  uint32_t tabAlign = 0;
  uint32_t tabLeader = 0;
  int32_t assocFont = -1;  // the engine font of "af", which stands in for a substituted "f"
};

// A side of a table cell's border as a row definition gives it.
struct CellBorder {
  bool present = false;
  uint32_t line = 0;
  int64_t width = 0;
};
enum CellSide : uint32_t { kCellTop = 0, kCellLeft = 1, kCellBottom = 2, kCellRight = 3 };

// A table row as trowd ... cellx define it.
struct RowDefinition {
  PropRecord props;
  uint32_t columns = 0;
  uint32_t column = 0;  // the column that colno chose
  int64_t lastRight = 0;
  bool overflow = false;  // the definition gave more cells than a table holds
  Kolor cellColors[kMaxColumns];
  CellBorder borders[kMaxColumns][4];
  // The colours and borders from these cells on are as a reset leaves them: a reset clears only
  // the cells before.
  uint32_t colorsTouched = kMaxColumns, bordersTouched = kMaxColumns;
  void ResetColors() {
    std::fill_n(cellColors, colorsTouched, kNoKolor);
    colorsTouched = 0;
  }
  Kolor& Color(uint32_t column) {
    colorsTouched = std::max(colorsTouched, column + 1);
    return cellColors[column];
  }
  CellBorder& Border(uint32_t column, uint32_t side) {
    bordersTouched = std::max(bordersTouched, column + 1);
    return borders[column][side];
  }
};

// A style of the style sheet as read, until the body uses it.
struct SheetStyle {
  QString name;
  uint32_t id = kUserStyleId;
  uint32_t kind = kPropPara;
  int64_t number = 0;
  int64_t basedOn = 222;  // none
  int64_t next = kStyleNone;
  bool normalTable = false;  // the table words describe Normal's table formatting
  uint32_t index = kGMNone;  // in the document, once made
  PropRecord chars;
  PropRecord first;  // the record of the style's kind (paragraph, chapter or table)
};

class Reader {
 public:
  Reader(GlimmetDoc* doc, const QString& source, int mode, const QString& folder)
      : doc_(doc), src_(source), folder_(folder), tolerant_(mode == kRtfModeTolerant) {}
  uint32_t Run(QString* message);
  bool truncated() const { return truncated_; }
  bool ownWriter() const { return origin_ == kOwn; }
  int64_t cost() const { return cost_; }
  int64_t picturesPastDecodeLimit() const { return picturesPastDecodeLimit_; }

 private:
  // Tokens: each read is charged to the meter, with the walks the edits since took.
  uint32_t Next(bool stopAtGroupEnd, bool semicolonEnds = false);
  uint32_t NextToken(bool stopAtGroupEnd, bool semicolonEnds);
  bool Charge();
  // Whether a picture of these bytes (or this file), decoded, fits what the meter has left.
  // The picture of the bytes, or of the named file, priced by its pixels before it is decoded: one
  // past what the reading may take stops it (kTokTooLarge, with what it would take); one larger
  // than any picture may be decoded is left out and counted. kTokContinue with no image for one
  // that cannot be had.
  uint32_t DecodePicture(const QByteArray* bytes, const QString& path, std::unique_ptr<FLImage>* image);
  uint32_t ReadKeyword(bool stopAtGroupEnd);
  uint32_t GatherHex();
  uint32_t GatherText(bool semicolonEnds);
  uint32_t SkipGroup();
  // Inside a cell of a row beyond the table's last column, whose text goes.
  bool InCutCell() const { return rowCut_ && inTable_ && rowCells_ > 0 && cell_ >= rowCells_ && g_.inTable; }
  // Inside a table nested in an open cell of ours.
  bool InNestedTable() const { return nesting_ > 0 && !tolerant_ && inTable_ && cell_ < rowCells_; }
  // Before text of a nested table: it goes on the cell's line, after a space.
  bool JoinNestedText();

  template <typename Visit>
  uint32_t WalkGroup(bool semicolonEnds, bool passIgnorable, Visit&& visit);
  bool SkipUnit();
  QString Convert(const QByteArray& bytes) const;
  bool AsciiReadsAsIs() const;
  void SetTextUnit(char16_t unit) {
    text_.resize(1);
    text_[0] = QChar(unit);
  }
  void Push();
  // Text that names no font is in the default font ("deff") once the font table has it.
  void ResolveDefaultFont();
  void FinishLastParagraph();
  void Pop();

  // Actions.
  uint32_t Dispatch();
  uint32_t DispatchIgnorable();
  bool InsertText(const QString& text);
  bool Flush();
  // prepare: a table paragraph may first start a row (not while one is being built).
  bool InsertBreak(char16_t mark, bool prepare = true);
  bool ApplyPara(uint32_t cp, bool atParagraphEnd = false);
  bool IsPlainParagraph(uint32_t cp) const;
  bool CharKeyword();
  bool ParaKeyword();
  void DocKeyword();
  uint32_t ReadFontTable();
  uint32_t ReadColorTable();
  uint32_t ReadField();
  uint32_t ReadGenerator();
  uint32_t ReadAlphas();
  uint32_t ReadLinkResult();
  void RegisterFont(int64_t number, const QString& name, FLStringEncoding encoding);
  Kolor ColorFor(int64_t number, bool background) const;
  void AddTab(uint32_t position, uint32_t alignment);
  void ChapterKeyword();
  void FrameKeyword();
  void ResetFrame();
  bool RecordFrame();
  uint32_t ReadChapterText(uint32_t slot);
  uint32_t ReadBackgroundPicture();
  bool StoreChapterTexts();
  bool TableKeyword();
  void BorderKeyword(uint8_t* border);
  void InitTableProps();
  bool BuildRow();
  bool EndCell();
  bool EndRow();
  void LeaveTable();
  bool PrepareForText();
  bool InsertAtomicKnot(uint32_t type, uint32_t propCount, const PropRecord* props, const KinkData& data);
  uint32_t ReadPicture(uint32_t format);
  uint32_t ReadAttachment();
  bool AddPicture(std::unique_ptr<FLImage> image, const QString& path, const QString& extension,
                  int32_t referenceKind, uint64_t value, const uint8_t* border);
  uint32_t ReadStyleSheet();
  bool RebuildNormal();
  uint32_t ResolveStyle(int64_t number, uint32_t kind);
  void Fail(uint32_t result, const char* text) {
    if (failMessage_.isEmpty()) failMessage_ = QString::fromLatin1(text);
    result_ = result;
  }
  uint32_t Finish();

  GlimmetDoc* doc_;
  const QString& src_;
  QString folder_;  // of an RTFD package
  qsizetype pos_ = 0;
  int depth_ = 0;
  bool tolerant_;
  Origin origin_ = kForeign;

  // The current token.
  uint32_t keyword_ = 0;
  int64_t value_ = 0;
  bool hasValue_ = false;
  bool ignorable_ = false;
  bool ignoreNext_ = false;
  bool sawSemicolon_ = false;
  QString text_;
  char16_t mark_ = 0x0A;

  int64_t skipCount_ = 0;
  GroupState g_;
  std::vector<GroupState> stack_;
  size_t savedGroups_ = 0;      // the slots of stack_ in use
  uint64_t unsavedGroups_ = 0;  // groups opened beyond kMaxSavedGroups
  FLStringEncoding docEncoding_ = kFLEncodingWindowsLatin1;

  uint32_t insertCp_ = 0;
  uint32_t paraStart_ = 0;
  bool lastWasMark_ = false;
  bool insertedAnything_ = false;

  QString pending_;  // text not inserted yet, with its formatting
  PropRecord pendingChars_;
  PropRecord paraScratch_;  // a paragraph's formatting as it is applied
  QString pendingUrl_;  // of a hyperlink field whose result comes next
  FLHashMap<int64_t, FontEntry> fonts_;  // by the file's font numbers
  bool haveFontTable_ = false;
  int64_t defaultFont_ = -1;
  bool defaultFontPending_ = false;
  bool textHadTab_ = false;
  bool readingFonts_ = false;  // the paragraph being read holds a tab  // deff came and its font was not given to the text yet
  std::vector<Kolor> colors_;

  // Chapters and frames.
  PropRecord chapter_;
  bool chapterSet_ = false;
  QString chapterTexts_[kChapterFirstFooter + 1];  // the header and footer texts read, null: none
  bool backgroundPicture_ = false;  // the picture being read is the document's background
  PropRecord frame_;
  bool frameSet_ = false;  // a frame word came since the last reset: the paragraphs are framed
  uint32_t chapterColumn_ = 0;

  // Tables: the row being defined, the table being filled and its open row and cell.
  RowDefinition def_;
  bool rowDefining_ = false;  // keywords go to the row definition
  bool rowPending_ = false;   // a definition waits for its first table paragraph
  bool haveDefinition_ = false;
  bool autoFitSeen_ = false;
  int64_t nesting_ = 0;
  bool nestedSpace_ = false;  // a nested cell or paragraph ended: a space before the next text
  uint32_t cellFirst_ = 0;    // where the open cell's text begins
  int cellSide_ = -1;  // the cell border side that border keywords now describe
  bool inTable_ = false;
  uint32_t tableFirst_ = 0;
  uint32_t rowFirst_ = 0;
  uint32_t cell_ = 0, rowCells_ = 0;  // the open cell; none when cell_ == rowCells_
  // The open row's kinks and its limit as they were when it was made, and the document's length
  // then: all the reading writes goes into the open cell, so a kink after it has moved by what
  // the document has grown since, and the row is not walked again for each cell.
  std::vector<uint32_t> rowKinks_;
  int32_t rowKinksLength_ = 0;
  bool rowCut_ = false;               // the open row's cells beyond the table's last column go
  bool truncated_ = false;            // some row was cut so
  bool firstText_ = true;
  QByteArray* hexSink_ = nullptr;  // takes the hex digits of the group at hexDepth_
  QByteArray* binSink_ = nullptr;  // takes binary data
  int hexDepth_ = 0;
  int hexHigh_ = -1;
  uint32_t version_ = 0;             // of our own writer

  // The style sheet: RTF style numbers to the styles read.
  std::vector<SheetStyle> sheet_;
  FLHashMap<int64_t, uint32_t> sheetByNumber_;  // by the file's style numbers
  bool normalFromSheet_ = false;
  bool inStyleSheet_ = false;
  int resolving_ = 0;  // the depth of style resolution

  uint32_t result_ = kRtfImportOk;
  QString failMessage_;

  FLReadingMeter* meter_ = nullptr;
  uint64_t walkedSeen_ = 0;  // of the text store's search steps, charged
  int64_t cost_ = 0;         // a picture that would pass the budget: what the reading would take
  int64_t picturesPastDecodeLimit_ = 0;
};

// ---- Tokenizer ------------------------------------------------------------------------------

// Each saved state is a few kilobytes: groups nested deeper than any real document nests them
// share the state of the group around them, so that a file of braces cannot exhaust memory.
constexpr size_t kMaxSavedGroups = 10000;

// Copies a record without the unused tail of its body, which is zero in every record the reader
// makes: the reader copies its formatting at every group and run.
void CopyUsedRecord(PropRecord* to, const PropRecord& from) {
  const uint32_t used = std::max(PropBodySize(to->kind), PropBodySize(from.kind));
  to->kind = from.kind;
  to->index = from.index;
  std::memcpy(to->reserved, from.reserved, sizeof from.reserved);
  std::memcpy(to->body, from.body, used);
}

// A group's state, copied so (a group costs a few hundred bytes instead of two kilobytes).
void CopyGroupState(GroupState* to, const GroupState& from) {
  CopyUsedRecord(&to->chars, from.chars);
  CopyUsedRecord(&to->para, from.para);
  std::memcpy(to->border, from.border, sizeof from.border);
  to->inTable = from.inTable;
  to->fontEncoding = from.fontEncoding;
  to->uc = from.uc;
  to->deleted = from.deleted;
  to->tabAlign = from.tabAlign;
  to->tabLeader = from.tabLeader;
  to->assocFont = from.assocFont;
}

void Reader::ResolveDefaultFont() {
  if (!defaultFontPending_ || tolerant_ || readingFonts_) return;
  const auto entry = fonts_.find(defaultFont_);
  if (entry == fonts_.end()) return;
  defaultFontPending_ = false;
  g_.chars.set<uint16_t>(CharField::font, entry->second.index);
  g_.fontEncoding = entry->second.encoding;
}

void Reader::Push() {
  if (savedGroups_ >= kMaxSavedGroups) {
    ++unsavedGroups_;
    return;
  }
  // Slots stay allocated once made and are overwritten by later groups.
  if (savedGroups_ == stack_.size()) stack_.emplace_back();
  CopyGroupState(&stack_[savedGroups_++], g_);
}

void Reader::Pop() {
  if (unsavedGroups_ > 0) {
    --unsavedGroups_;
    return;
  }
  if (savedGroups_ == 0) return;
  CopyGroupState(&g_, stack_[--savedGroups_]);
}

// Counts one unit against the Unicode skip count; true when the unit is to be dropped.
bool Reader::SkipUnit() {
  if (skipCount_ <= 0) return false;
  --skipCount_;
  return true;
}

// Whether the text's current encoding reads plain ASCII as ASCII, so that it needs no converter.
bool Reader::AsciiReadsAsIs() const {
  switch (g_.fontEncoding != kFLEncodingNone ? g_.fontEncoding : docEncoding_) {
    case kFLEncodingASCII:
    case kFLEncodingUTF8:
    case kFLEncodingISOLatin1:
    case kFLEncodingWindowsLatin1:
    case kFLEncodingWindowsCyrillic:
    case kFLEncodingWindowsGreek:
    case kFLEncodingWindowsTurkish:
    case kFLEncodingWindowsLatin2:
    case kFLEncodingMacRoman: return true;
    default: return false;
  }
}

QString Reader::Convert(const QByteArray& bytes) const {
  const FLStringEncoding encoding = g_.fontEncoding != kFLEncodingNone ? g_.fontEncoding : docEncoding_;
  if (AsciiReadsAsIs() && std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; }))
    return QString::fromLatin1(bytes);
  if (std::optional<QString> text = DecodeText(bytes, encoding, true)) return *text;
  return QString::fromLatin1(bytes);
}

uint32_t Reader::Next(bool stopAtGroupEnd, bool semicolonEnds) {
  const uint32_t token = NextToken(stopAtGroupEnd, semicolonEnds);
  return Charge() ? token : kTokTooLarge;
}

bool Reader::Charge() {
  if (!meter_) return true;
  const uint64_t walked = doc_->text.searchSteps();
  const int64_t steps = 1 + int64_t(walked - walkedSeen_);
  walkedSeen_ = walked;
  return meter_->steps(steps) && meter_->pieces(1);
}

uint32_t Reader::DecodePicture(const QByteArray* bytes, const QString& path, std::unique_ptr<FLImage>* image) {
  // A named file is read only when it is a regular file (FLImage::readPictureFile): a FIFO or a
  // device named in the text is answered at once as no picture.
  FLPictureRefusal refusal = FLPictureRefusal::None;
  *image = bytes ? FLImage::withData(*bytes, &refusal) : FLImage::withContentsOfFile(path, &refusal);
  if (refusal == FLPictureRefusal::None) return kTokContinue;
  const int64_t cost = *image ? (*image)->refusalCost() : 0;
  image->reset();
  if (refusal == FLPictureRefusal::PastDecodeLimit) {
    ++picturesPastDecodeLimit_;
    return kTokContinue;
  }
  cost_ = std::max<int64_t>(cost, 1);
  return kTokTooLarge;
}

uint32_t Reader::NextToken(bool stopAtGroupEnd, bool semicolonEnds) {
  sawSemicolon_ = false;
  for (;;) {
    if (pos_ >= src_.size()) {
      if (tolerant_) return kTokEnd;
      LogAssert("No terminating }", __func__, __FILE__, __LINE__);
      return kTokMalformed;
    }
    const char16_t ch = src_[pos_].unicode();
    if (ch == '\r' || ch == '\n') {
      ++pos_;
      continue;
    }
    if (ch == '{') {
      ++pos_;
      ++depth_;
      skipCount_ = 0;
      ResolveDefaultFont();
      Push();
      continue;
    }
    if (ch == '}') {
      ++pos_;
      --depth_;
      if (depth_ < 1) return kTokEnd;
      Pop();
      if (stopAtGroupEnd) return kTokContinue;
      continue;
    }
    if (ch != '\\') return GatherText(semicolonEnds);
    if (pos_ + 1 >= src_.size()) {
      ++pos_;
      continue;
    }
    const char16_t next = src_[pos_ + 1].unicode();
    if (next == '\'') return GatherHex();
    if (next == '*') {
      pos_ += 2;
      ignorable_ = true;
      continue;
    }
    if ((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z')) {
      const uint32_t token = ReadKeyword(stopAtGroupEnd);
      if (token == kTokContinue) continue;
      return token;
    }
    pos_ += 2;
    const bool dropped = SkipUnit();
    if (next == '\r' || next == '\n') {
      if (dropped) continue;
      mark_ = 0x0A;
      return kTokPara;
    }
    char16_t unit = 0;
    if (next == '\\' || next == '{' || next == '}') unit = next;
    else if (next == '_') unit = 0x2011;
    else if (next == '~') unit = 0x00A0;
    if (unit == 0 || dropped) continue;
    SetTextUnit(unit);
    return kTokText;
  }
}

// A keyword at the read position: looks it up, reads its number and turns the keywords that
// stand for text or breaks into those tokens. kTokContinue: nothing to hand on.
uint32_t Reader::ReadKeyword(bool stopAtGroupEnd) {
  const Keys& k = K();
  qsizetype at = pos_ + 1;
  const qsizetype nameStart = at;
  while (at < src_.size()) {
    const char16_t c = src_[at].unicode();
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_')) break;
    ++at;
  }
  const QStringView name = QStringView(src_).mid(nameStart, at - nameStart);
  keyword_ = RtfKeywordForName(name);
  hasValue_ = false;
  value_ = 0;
  // The number: saturated at the 32-bit range so that later products cannot overflow.
  bool negative = false;
  if (at < src_.size() && src_[at] == u'-') {
    negative = true;
    ++at;
  }
  int64_t number = 0;
  bool digits = false;
  while (at < src_.size() && src_[at] >= u'0' && src_[at] <= u'9') {
    number = std::min<int64_t>(number * 10 + (src_[at].unicode() - '0'), kMaxValue + 1);
    digits = true;
    ++at;
  }
  if (digits || negative) {
    hasValue_ = true;
    value_ = std::min(negative ? -number : number, kMaxValue);
  }
  if (at < src_.size() && src_[at] == u' ') ++at;
  pos_ = at;
  if (!hasValue_) value_ = keyword_ < k.defaultOne.size() && k.defaultOne[keyword_] ? 1 : 0;

  const bool wasIgnorable = ignorable_;
  ignorable_ = false;
  if (SkipUnit()) return kTokContinue;
  if (keyword_ == 0) {
    // The DOS code pages of the old header words.
    if (name == u"pc") docEncoding_ = StringEncodingForCodePage(437);
    else if (name == u"pca") docEncoding_ = StringEncodingForCodePage(850);
    // The marker text older writers put before a list paragraph for readers without lists: the
    // paragraph's own text follows the group.
    else if (name == u"pntext" || name == u"nonesttables") {
      const uint32_t token = SkipGroup();
      return token == kTokContinue && !stopAtGroupEnd ? kTokContinue : token;
    }
    // An unknown destination is skipped whole; an unknown word alone is dropped.
    if (wasIgnorable) {
      const uint32_t token = SkipGroup();
      return token == kTokContinue && !stopAtGroupEnd ? kTokContinue : token;
    }
    return kTokContinue;
  }
  if (ignoreNext_) {
    ignoreNext_ = false;
    return kTokContinue;
  }
  if (keyword_ == k.bin) {
    // Binary data: skipped or kept, never read past the end of the text.
    const qsizetype count = qsizetype(std::clamp<int64_t>(value_, 0, src_.size() - pos_));
    if (binSink_) {
      ReserveForMore(*binSink_, size_t(count));
      for (qsizetype i = 0; i < count; ++i) binSink_->append(char(src_[pos_ + i].unicode()));
    }
    pos_ += count;
    return kTokContinue;
  }
  struct Char {
    uint32_t keyword;
    char16_t unit;
  };
  const Char chars[] = {{k.bullet, 0x2022},    {k.emdash, 0x2014},  {k.endash, 0x2013},   {k.emspace, 0x2003},
                        {k.enspace, 0x2002},   {k.qmspace, 0x2005}, {k.lquote, 0x2018},   {k.rquote, 0x2019},
                        {k.ldblquote, 0x201C}, {k.rdblquote, 0x201D}, {k.tab, 0x0009}};
  for (const Char& c : chars)
    if (keyword_ == c.keyword) {
      SetTextUnit(c.unit);
      return kTokText;
    }
  if (keyword_ == k.par || keyword_ == k.nestcell || keyword_ == k.nestrow) {
    if (InNestedTable()) {
      // A table inside a cell is read as the cell's text: its cells and paragraphs are words of
      // one line.
      nestedSpace_ = true;
      return kTokContinue;
    }
    mark_ = 0x0A;
    return kTokPara;
  }
  if (keyword_ == k.line) {
    if (doc_->kind == kDocClipboard) {
      mark_ = 0x0A;
      return kTokPara;
    }
    SetTextUnit(0x2028);
    return kTokText;
  }
  if (keyword_ == k.sect && origin_ != kOwn) {
    // Another writer's section break ends its paragraph, as its page and column breaks do.
    if (lastWasMark_ || !insertedAnything_) return kTokContinue;
    mark_ = 0x0A;
    return kTokPara;
  }
  if (keyword_ == k.page || keyword_ == k.column) {
    const char16_t mark = keyword_ == k.page ? 0x0B : 0x0C;
    if (origin_ != kOwn) {
      // Other writers put these inside a paragraph or after its mark: a break in the middle
      // starts a new paragraph, one after a mark adds none.
      if (lastWasMark_ || !insertedAnything_) return kTokContinue;
      mark_ = 0x0A;
      return kTokPara;
    }
    if (lastWasMark_ && insertCp_ > 0 && doc_->charAt(insertCp_ - 1) == 0x0A) {
      DocRange last{doc_, insertCp_ - 1, insertCp_};
      const char16_t unit[] = {mark};
      GMRegisteredRange keep(&last, 0);
      ReplaceRangeCore(&last, nullptr, unit, 1, true);
      return kTokContinue;
    }
    mark_ = mark;
    return kTokPara;
  }
  if (keyword_ == k.cell && tolerant_) {
    // Tolerant reading keeps a paragraph per cell.
    mark_ = 0x0A;
    return kTokPara;
  }
  if (keyword_ == k.u) {
    char16_t unit = char16_t(uint16_t(int16_t(value_ & 0xFFFF)));
    if (origin_ == kForeign && unit >= 0xF020 && unit <= 0xF0FF) unit = 0x2022;
    skipCount_ = g_.uc;
    SetTextUnit(unit);
    return kTokText;
  }
  ignorable_ = wasIgnorable;
  return kTokKeyword;
}

uint32_t Reader::GatherHex() {
  ResolveDefaultFont();  // its encoding reads the bytes
  QByteArray bytes;
  auto hexValue = [](char16_t c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
  };
  while (pos_ + 1 < src_.size() && src_[pos_] == u'\\' && src_[pos_ + 1] == u'\'') {
    const char16_t high = pos_ + 2 < src_.size() ? src_[pos_ + 2].unicode() : u'0';
    const char16_t low = pos_ + 3 < src_.size() ? src_[pos_ + 3].unicode() : u'0';
    pos_ = std::min(pos_ + 4, src_.size());
    if (SkipUnit()) continue;
    bytes.append(char(hexValue(high) * 16 + hexValue(low)));
    // A longer run goes on in the next token.
    if (bytes.size() >= kMaxTokenUnits) break;
  }
  if (bytes.isEmpty()) return Next(false);
  text_ = Convert(bytes);
  return kTokText;
}

uint32_t Reader::GatherText(bool semicolonEnds) {
  if (hexSink_ && depth_ == hexDepth_) {
    // Picture data: two hex digits a byte, however long the line; anything else is passed over.
    while (pos_ < src_.size()) {
      const char16_t c = src_[pos_].unicode();
      if (c == '\\' || c == '{' || c == '}') break;
      ++pos_;
      const int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                         : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (nibble < 0) continue;
      if (hexHigh_ < 0) {
        hexHigh_ = nibble;
      } else {
        hexSink_->append(char(hexHigh_ * 16 + nibble));
        hexHigh_ = -1;
      }
    }
    text_.resize(0);
    return kTokText;
  }
  // The units that stand in for a "\u" character go first, so that the text after them can take
  // the quick way below.
  while (skipCount_ > 0 && pos_ < src_.size()) {
    const char16_t c = src_[pos_].unicode();
    if (c == '\\' || c == '{' || c == '}' || c == '\r' || c == '\n' || (semicolonEnds && c == ';')) break;
    ++pos_;
    --skipCount_;
  }
  if (skipCount_ == 0 && AsciiReadsAsIs()) {
    // A stretch of plain ASCII up to the next control character is the token as it stands.
    // A longer stretch goes on in the next token: a paragraph's text is no bound on its length.
    qsizetype at = pos_;
    char16_t c = 0;
    while (at < src_.size() && at - pos_ < kMaxTokenUnits) {
      c = src_[at].unicode();
      if (c >= 0x80 || c == '\\' || c == '{' || c == '}' || c == '\r' || c == '\n' || (semicolonEnds && c == ';'))
        break;
      ++at;
    }
    if (at - pos_ == kMaxTokenUnits || at == src_.size() || c == '\\' || c == '{' || c == '}' || c == '\r' ||
        c == '\n') {
      // Into the token's own buffer, which keeps its room from token to token.
      text_.resize(at - pos_);
      std::copy_n(src_.constData() + pos_, at - pos_, text_.data());
      pos_ = at;
      return kTokText;
    }
  }
  QByteArray bytes;
  QString wide;
  while (pos_ < src_.size()) {
    const char16_t c = src_[pos_].unicode();
    if (c == '\\' || c == '{' || c == '}' || c == '\r' || c == '\n') break;
    ++pos_;
    if (semicolonEnds && c == ';') {
      sawSemicolon_ = true;
      break;
    }
    if (SkipUnit()) continue;
    if (c < 256) {
      bytes.append(char(c));
    } else {
      if (!bytes.isEmpty()) wide += Convert(bytes);
      bytes.clear();
      wide += QChar(c);
    }
    if (bytes.size() + wide.size() >= kMaxTokenUnits) break;
  }
  if (!bytes.isEmpty()) wide += Convert(bytes);
  text_ = wide;
  return kTokText;
}

// Skips to the end of the current group; binary data inside is passed over.
uint32_t Reader::SkipGroup() {
  const int start = depth_;
  while (pos_ < src_.size()) {
    const char16_t c = src_[pos_].unicode();
    ++pos_;
    if (c == '{') {
      ++depth_;
      Push();
    } else if (c == '}') {
      --depth_;
      if (depth_ < 1) return kTokEnd;
      Pop();
      if (depth_ < start) return kTokContinue;
    } else if (c == '\\' && pos_ < src_.size()) {
      const char16_t n = src_[pos_].unicode();
      if ((n >= 'a' && n <= 'z') || (n >= 'A' && n <= 'Z')) {
        const qsizetype nameStart = pos_;
        while (pos_ < src_.size() && src_[pos_].isLetter() && src_[pos_].unicode() < 128) ++pos_;
        const bool isBin = QStringView(src_).mid(nameStart, pos_ - nameStart) == u"bin";
        int64_t number = 0;
        const bool negative = pos_ < src_.size() && src_[pos_] == u'-';
        if (negative) ++pos_;
        while (pos_ < src_.size() && src_[pos_] >= u'0' && src_[pos_] <= u'9') {
          number = std::min<int64_t>(number * 10 + (src_[pos_].unicode() - '0'), kMaxValue);
          ++pos_;
        }
        if (pos_ < src_.size() && src_[pos_] == u' ') ++pos_;
        if (isBin && !negative) pos_ += qsizetype(std::min<int64_t>(number, src_.size() - pos_));
      } else {
        ++pos_;
      }
    }
  }
  if (tolerant_) return kTokEnd;
  LogAssert("No terminating }", __func__, __FILE__, __LINE__);
  return kTokMalformed;
}

// ---- Text and paragraphs ----------------------------------------------------------------------

// Text is gathered while its formatting stays the same and inserted in one piece.
bool Reader::InsertText(const QString& text) {
  if (text.isEmpty() || g_.deleted || InCutCell()) return true;
  ResolveDefaultFont();
  if (InNestedTable() && !JoinNestedText()) return false;
  if (!PrepareForText()) return false;
  if (firstText_) {
    firstText_ = false;
    if (!normalFromSheet_ && !RebuildNormal()) return false;
  }
  if (!pending_.isEmpty() && std::memcmp(pendingChars_.body, g_.chars.body, PropBodySize(kPropChar)) != 0 &&
      !Flush())
    return false;
  if (pending_.isEmpty()) CopyUsedRecord(&pendingChars_, g_.chars);
  if (pending_.size() + text.size() > kMaxTokenUnits && !Flush()) return false;
  if (pending_.isEmpty()) CopyUsedRecord(&pendingChars_, g_.chars);
  pending_ += text;
  if (text.contains(u'\t')) textHadTab_ = true;
  lastWasMark_ = false;
  insertedAnything_ = true;
  return true;
}

bool Reader::Flush() {
  if (pending_.isEmpty()) return true;
  pendingChars_.index = kGMNone;
  DocRange at{doc_, insertCp_, insertCp_};
  const bool ok = InsertNewText(&at, reinterpret_cast<const char16_t*>(pending_.utf16()), uint32_t(pending_.size()),
                                pendingChars_);
  pending_.resize(0);  // keeps its room, so that later text is copied in, not shared
  if (ok) insertCp_ = at.limit;
  return ok;
}

bool Reader::ApplyPara(uint32_t cp, bool atParagraphEnd) {
  PropRecord& para = paraScratch_;
  CopyUsedRecord(&para, g_.para);
  para.index = kGMNone;
  if (atParagraphEnd && origin_ == kCocoa && !textHadTab_ && para.get<uint16_t>(ParaField::tabCount) > 0) {
    // The desktop text system writes its default tab stops into every paragraph: they are kept
    // only where the paragraph uses a tab.
    std::memset(para.body + ParaField::tabs, 0, 4 * kMaxTabs);
    para.set<uint16_t>(ParaField::tabCount, 0);
  }
  std::memcpy(para.body + ParaField::border, g_.border, BorderField::size);
  // The first line may not reach further left than the page edge.
  const int64_t left = para.get<int64_t>(ParaField::leftIndent);
  if (para.get<int64_t>(ParaField::firstIndent) < -left) para.set<int64_t>(ParaField::firstIndent, -left);
  if (frameSet_ && paraStart_ <= cp && !RecordFrame()) return false;
  if (paraStart_ <= cp) {
    // A paragraph that one run with these properties already covers (as a paragraph formatted
    // like the one before it is, once inserted) stays as it is.
    const uint32_t run = doc_->paraRuns.indexOfCp(cp);
    const PropRecord* have = run == kGMNone ? nullptr : PropertiesAtIndex(doc_, doc_->paraRuns.at(run));
    if (have && have->kind == kPropPara && doc_->paraRuns.cpAt(run) <= paraStart_ &&
        std::memcmp(have->body, para.body, PropBodySize(kPropPara)) == 0)
      return true;
  }
  if (IsPlainParagraph(cp)) return ApplyPropsToParagraphs({doc_, paraStart_, cp + 1}, para);
  return ApplyPropsToRange({doc_, cp, cp}, para);
}

// Whether the paragraph from paraStart_ to its mark at cp is plain text after every knot, and so
// exactly the paragraph that widening cp would find, in one piece.
bool Reader::IsPlainParagraph(uint32_t cp) const {
  if (doc_->noExpansion || paraStart_ > cp || !IsParaMarkChar(doc_->text.at(cp))) return false;
  DocRange pane;
  GetPaneRange(doc_, CurrentPane(doc_), &pane);
  if (paraStart_ < pane.first || cp >= pane.limit) return false;
  // Every knot ends before the paragraph, and it starts after a mark, the pane's start or a
  // table or chapter that ends just before it.
  const GMCpTable<KnotEntry>& knots = doc_->knots;
  const KnotEntry* last = knots.empty() ? nullptr : &knots.at(knots.count() - 1);
  if (last && (knots.cpAt(knots.count() - 1) >= paraStart_ || last->kink != kKinkEnd)) return false;
  const bool afterKnot = last && knots.cpAt(knots.count() - 1) + 1 == paraStart_ &&
                         (last->type == kKnotTable || last->type == kKnotChapter);
  if (paraStart_ > pane.first && !afterKnot && !IsParaMarkChar(doc_->text.at(paraStart_ - 1))) return false;
  GMTextStore::Cursor cursor(doc_->text, paraStart_);
  for (uint32_t pos = paraStart_; pos < cp;) {
    uint32_t count = 0;
    const char16_t* units = cursor.span(&count);
    const uint32_t n = std::min(count, cp - pos);
    if (n == 0 || std::any_of(units, units + n, [](char16_t ch) { return IsParaMarkChar(ch) || IsKinkChar(ch); }))
      return false;
    cursor.advance(n);
    pos += n;
  }
  return true;
}

bool Reader::InsertBreak(char16_t mark, bool prepare) {
  if (g_.deleted || InCutCell()) return true;
  if (!pending_.isEmpty() && !inTable_ && !g_.inTable && pending_.size() < kMaxTokenUnits &&
      std::memcmp(pendingChars_.body, g_.chars.body, PropBodySize(kPropChar)) == 0) {
    // The mark goes in with the paragraph's last text, in one insertion.
    pending_ += QChar(mark);
    if (!Flush()) return false;
  } else {
    if (!Flush()) return false;
    if (prepare && !PrepareForText()) return false;
    PropRecord chars = g_.chars;
    chars.index = kGMNone;
    DocRange at{doc_, insertCp_, insertCp_};
    const char16_t unit[] = {mark};
    if (!InsertNewText(&at, unit, 1, chars)) return false;
    insertCp_ = at.limit;
  }
  if (!ApplyPara(insertCp_ - 1, true)) return false;
  textHadTab_ = false;
  paraStart_ = insertCp_;
  lastWasMark_ = true;
  insertedAnything_ = true;
  return true;
}

// Reads the tokens of the group that is open at the call until it closes, handing each to visit:
// text, paragraph breaks, keywords and kTokContinue when a group inside closes. Destinations
// after "\*" are skipped unless passIgnorable (ignorable_ then tells them apart). visit answers
// kTokContinue to go on, kWalkSkip to skip the rest of the innermost open group, kWalkStop to
// end the walk where it is, or a failure token, which ends the walk with it. Binary data goes
// to binSink_ when one is set. Result: kTokContinue once the group has closed (or the walk
// stopped), else the failure.
template <typename Visit>
uint32_t Reader::WalkGroup(bool semicolonEnds, bool passIgnorable, Visit&& visit) {
  const int start = depth_;
  for (;;) {
    const uint32_t token = Next(true, semicolonEnds);
    if (token == kTokContinue && depth_ < start) return kTokContinue;
    if (token != kTokContinue && token != kTokText && token != kTokPara && token != kTokKeyword) return token;
    uint32_t step = kWalkSkip;
    if (token != kTokKeyword || !ignorable_ || passIgnorable) step = visit(token);
    if (step == kWalkSkip) {
      ignorable_ = false;
      step = SkipGroup();
      if (step == kTokContinue && depth_ < start) return kTokContinue;
    }
    if (step == kWalkStop) return kTokContinue;
    if (step != kTokContinue) return step;
  }
}

// ---- Header tables ----------------------------------------------------------------------------

void Reader::RegisterFont(int64_t number, const QString& rawName, FLStringEncoding encoding) {
  QString name = rawName.trimmed();
  FontEntry entry;
  bool substituted = false;
  const QString mapped = name.isEmpty() ? QString() : MapFontName(name, &substituted);
  entry.index = IndexOfFont(mapped.isEmpty() ? name : mapped);
  entry.substituted = substituted;
  entry.encoding = encoding;
  fonts_.insert_or_assign(number, entry);
  haveFontTable_ = true;
}

uint32_t Reader::ReadFontTable() {
  const Keys& k = K();
  // The default font is given to text once the whole table is known, not to the table's entries.
  struct Reading {
    bool& flag;
    explicit Reading(bool& f) : flag(f) { flag = true; }
    ~Reading() { flag = false; }
  } reading(readingFonts_);
  int64_t number = -1;
  QString name;
  FLStringEncoding encoding = kFLEncodingNone;
  bool fromCodePage = false;
  auto flush = [&] {
    if (number >= 0) RegisterFont(number, name, encoding);
    number = -1;
    name.clear();
    encoding = kFLEncodingNone;
    fromCodePage = false;
  };
  const uint32_t result = WalkGroup(true, false, [&](uint32_t token) -> uint32_t {
    if (token == kTokContinue) flush();  // an entry's group closed
    if (token == kTokText) {
      if (number < 0) return text_.trimmed().isEmpty() ? kTokContinue : kTokMalformed;
      name += text_;
      if (sawSemicolon_) {
        const int64_t keep = number;
        flush();
        number = -2 - keep;  // the entry's name is complete; further text is dropped
      }
    }
    if (token != kTokKeyword) return kTokContinue;
    if (keyword_ == k.f) {
      if (number >= 0) flush();
      number = value_ < 0 ? 0 : value_;
    } else if (keyword_ == k.cpg) {
      encoding = StringEncodingForCodePage(int(value_));
      fromCodePage = true;
    } else if (keyword_ == k.fcharset && !fromCodePage) {
      encoding = value_ == 0 ? kFLEncodingWindowsLatin1
                 : value_ == 1 ? docEncoding_
                               : StringEncodingForCodePage(CodePageForCharset(value_));
    }
    return kTokContinue;
  });
  if (result != kTokContinue) return result;
  flush();
  return haveFontTable_ ? kTokContinue : kTokMalformed;
}

uint32_t Reader::ReadColorTable() {
  const Keys& k = K();
  int red = 0, green = 0, blue = 0;
  return WalkGroup(true, false, [&](uint32_t token) -> uint32_t {
    if (token == kTokText && sawSemicolon_) {
      colors_.push_back(MakeKolor(uint8_t(red), uint8_t(green), uint8_t(blue)));
      red = green = blue = 0;
    } else if (token == kTokKeyword) {
      const int component = int(std::clamp<int64_t>(value_, 0, 255));
      if (keyword_ == k.red) red = component;
      else if (keyword_ == k.green) green = component;
      else if (keyword_ == k.blue) blue = component;
    }
    return kTokContinue;
  });
}

Kolor Reader::ColorFor(int64_t number, bool background) const {
  static constexpr Kolor kFixed[8] = {MakeKolor(0, 0, 0),     MakeKolor(0, 0, 255),   MakeKolor(0, 255, 255),
                                      MakeKolor(0, 255, 0),   MakeKolor(255, 0, 255), MakeKolor(255, 0, 0),
                                      MakeKolor(255, 255, 0), MakeKolor(255, 255, 255)};
  const Kolor fallback = background ? kWhiteKolor : g_blackKolor;
  if (number < 0) return fallback;
  if (number < int64_t(colors_.size())) return colors_[size_t(number)];
  if (number < 8) return kFixed[number];
  return fallback;
}

// The generator group: our own writer's files are told apart by its text.
uint32_t Reader::ReadGenerator() {
  QString text;
  const uint32_t result = WalkGroup(true, false, [&](uint32_t token) -> uint32_t {
    if (token == kTokText) text += text_;
    return kTokContinue;
  });
  if (result != kTokContinue) return result;
  if (text.startsWith(QLatin1String("Orvandel Glimmet "))) {
    origin_ = kOwn;
    QString version = text.mid(17).trimmed();
    if (version.endsWith(u';')) version.chop(1);
    version_ = EncodeDottedVersionNumber(version);
  }
  return kTokContinue;
}

// A field instruction: a HYPERLINK "url" becomes a link whose text is the field's result.
uint32_t Reader::ReadField() {
  QString instruction;
  const uint32_t result = WalkGroup(false, false, [&](uint32_t token) -> uint32_t {
    if (token == kTokText) instruction += text_;
    else if (token == kTokKeyword && keyword_ == K().hyperlink) instruction += QLatin1String("HYPERLINK ");
    return kTokContinue;
  });
  if (result != kTokContinue) return result;
  QString rest = instruction.trimmed();
  if (!rest.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive)) return kTokContinue;
  rest = rest.mid(9).trimmed();
  if (rest.startsWith(QLatin1String("\\l"))) return kTokContinue;  // a place in this document
  if (rest.size() < 4 || !rest.startsWith(u'"') || rest.startsWith(QLatin1String("\"_"))) return kTokContinue;
  const qsizetype close = rest.indexOf(u'"', 1);
  if (close < 2) return kTokContinue;
  pendingUrl_ = rest.mid(1, close - 1);
  return kTokContinue;
}

// The result text of a hyperlink field: inserted as a link to the pending address.
uint32_t Reader::ReadLinkResult() {
  QString display;
  const uint32_t result = WalkGroup(false, false, [&](uint32_t token) -> uint32_t {
    if (token == kTokText) display += text_;
    else if (token == kTokPara) display += u' ';
    else if (token == kTokKeyword && (keyword_ == K().pict || keyword_ == K().NeXTGraphic))
      return kWalkSkip;  // a picture's data is not the link's text
    return kTokContinue;
  });
  if (result != kTokContinue) return result;
  const QString url = pendingUrl_;
  pendingUrl_.clear();
  if (g_.deleted) return kTokContinue;
  Pane* pane = CurrentPane(doc_);
  if (!pane) return InsertText(display) ? kTokContinue : kTokMemory;
  if (!Flush() || !PrepareForText()) return kTokMemory;
  pane->selFirst = pane->selLimit = int32_t(insertCp_);
  if (!InsertLink(doc_, url, &display)) return kTokMemory;
  insertCp_ = uint32_t(std::max(pane->selFirst, 0));
  lastWasMark_ = false;
  insertedAnything_ = true;
  return kTokContinue;
}

// ---- Keyword actions --------------------------------------------------------------------------

bool Reader::CharKeyword() {
  const char* name = RtfKeywordName(keyword_);
  const std::string_view w(name);
  PropRecord& c = g_.chars;
  const uint8_t on = value_ != 0 ? 1 : 0;
  auto set8 = [&](uint32_t field, uint8_t v) { c.body[field] = v; };
  if (w == "plain") {
    if (!inStyleSheet_) defaultFontPending_ = false;
    const uint16_t font = c.get<uint16_t>(CharField::font);
    SetBaseProperties(kPropChar, &c);
    const auto def = fonts_.find(defaultFont_);
    c.set<uint16_t>(CharField::font, def != fonts_.end() ? def->second.index : font);
    c.set<int16_t>(CharField::size, kDefaultFontSize);
    g_.fontEncoding = def != fonts_.end() ? def->second.encoding : kFLEncodingNone;
    g_.assocFont = -1;
  } else if (w == "b") set8(CharField::bold, on);
  else if (w == "i" || w == "obliqueness") set8(CharField::italic, on);
  else if (w == "outl") set8(CharField::outline, on);
  else if (w == "shad") set8(CharField::shadow, on);
  else if (w == "glmtunleaded") set8(CharField::noLeading, on);
  else if (w == "v") set8(CharField::hidden, on);
  else if (w == "strike" || w == "striked") set8(CharField::strike, uint8_t(value_));
  else if (w == "glmtnolink") set8(CharField::noLink, uint8_t(value_));
  else if (w == "deleted") g_.deleted = value_ != 0;
  else if (w == "caps" || w == "scaps") c.set<uint32_t>(CharField::caps, value_ == 0 ? 0 : w == "caps" ? 1 : 3);
  else if (w == "glmtlower") c.set<uint32_t>(CharField::caps, 2);
  else if (w == "glmttitlecap") c.set<uint32_t>(CharField::caps, 4);
  else if (w == "glmtnocap") c.set<uint32_t>(CharField::caps, 0);
  else if (w.starts_with("ul")) {
    uint32_t kind = 1;
    if (w == "ulw") kind = 2;
    else if (w == "uldb" || w == "ululdbwave") kind = 3;
    else if (w == "uld") kind = 4;
    else if (w == "ulhwave" || w == "ulth" || w == "ulthd") kind = 6;
    else if (w == "ul0" || w == "ulnone") kind = 0;
    else if (w != "ul") kind = 5;
    c.set<uint32_t>(CharField::underline, value_ == 0 ? 0 : kind);
  } else if (w == "fs") {
    c.set<int16_t>(CharField::size, int16_t(std::clamp<int64_t>(value_ * 2, kMinFontSize, kMaxFontSize)));
  } else if (w == "f") {
    if (!inStyleSheet_) defaultFontPending_ = false;
    const auto entry = fonts_.find(value_);
    uint16_t font = entry != fonts_.end() ? entry->second.index : 0;
    if (entry != fonts_.end() && entry->second.substituted && g_.assocFont >= 0) font = uint16_t(g_.assocFont);
    c.set<uint16_t>(CharField::font, font);
    g_.fontEncoding = entry != fonts_.end() ? entry->second.encoding : kFLEncodingNone;
  } else if (w == "af") {
    const auto entry = fonts_.find(value_);
    g_.assocFont = entry != fonts_.end() && !entry->second.substituted ? int32_t(entry->second.index) : -1;
  } else if (w == "cf") c.set<uint32_t>(CharField::color, ColorFor(value_, false));
  else if (w == "cb" || w == "highlight") c.set<uint32_t>(CharField::backColor, ColorFor(value_, true));
  else if (w == "chcfpat") {
    const Kolor back = ColorFor(value_, true);
    c.set<uint32_t>(CharField::backColor, back == kWhiteKolor ? kNoKolor : back);
  } else if (w == "red") c.set<uint32_t>(CharField::color, MakeKolor(255, 0, 0));
  else if (w == "green") c.set<uint32_t>(CharField::color, MakeKolor(0, 255, 0));
  else if (w == "blue") c.set<uint32_t>(CharField::color, MakeKolor(0, 0, 255));
  else if (w == "dn") c.set<int64_t>(CharField::subscript, value_ * 6350);
  else if (w == "up") c.set<int64_t>(CharField::subscript, -value_ * 6350);
  else if (w == "sub" || w == "super") {
    if (origin_ != kOwn) {
      const int64_t step = std::max<int64_t>(value_, 1) * 38100;
      c.set<int64_t>(CharField::subscript, w == "sub" ? step : -step);
      if (origin_ == kForeign) c.set<int16_t>(CharField::relativeSize, -1);
    }
  } else if (w == "nosupersub") {
    c.set<int64_t>(CharField::subscript, 0);
    c.set<int16_t>(CharField::relativeSize, 0);
  } else if (w == "expnd") c.set<int64_t>(CharField::expand, value_ * 3175);
  else if (w == "expndtw") c.set<int64_t>(CharField::expand, value_ * 635);
  else if (w == "glmtrelsize") c.set<int16_t>(CharField::relativeSize, int16_t(value_));
  else if (w == "cs" && !inStyleSheet_) {
    const uint32_t style = ResolveStyle(value_, kPropChar);
    if (style == kGMNone) return false;
    c.set<uint16_t>(CharField::style, uint16_t(style));
  }
  return true;
}

void Reader::AddTab(uint32_t position, uint32_t alignment) {
  PropRecord& p = g_.para;
  uint16_t count = p.get<uint16_t>(ParaField::tabCount);
  const uint32_t leader = g_.tabLeader;
  g_.tabAlign = 0;
  g_.tabLeader = 0;
  if (count >= kMaxTabs) return;
  position = std::min<uint32_t>(position, 0x1FFFFFF);
  uint32_t at = 0;
  for (; at < count; ++at) {
    const uint32_t tab = p.get<uint32_t>(ParaField::tabs + 4 * at);
    if (TabPosition(tab) == position) return;
    if (TabPosition(tab) > position) break;
  }
  uint8_t* tabs = p.body + ParaField::tabs;
  std::memmove(tabs + 4 * (at + 1), tabs + 4 * at, 4 * (count - at));
  p.set<uint32_t>(ParaField::tabs + 4 * at, MakeTab(position, alignment, leader));
  p.set<uint16_t>(ParaField::tabCount, ++count);
}

bool Reader::ParaKeyword() {
  const std::string_view w(RtfKeywordName(keyword_));
  PropRecord& p = g_.para;
  const int64_t emu = value_ * 635;  // twips
  const uint8_t low = uint8_t(value_);
  if (w == "pard") {
    SetBaseProperties(kPropPara, &p);
    g_.tabAlign = g_.tabLeader = 0;
    PropRecord border;
    SetBaseProperties(kPropBorder, &border);
    std::memcpy(g_.border, border.body, BorderField::size);
    g_.inTable = false;
    ResetFrame();
  } else if (w == "intbl") {
    if (!pendingUrl_.isEmpty()) return true;
    g_.inTable = true;
    if (rowPending_ && !inStyleSheet_ && !(inTable_ && cell_ < rowCells_)) return BuildRow();
  } else if (w == "s") {
    if (inStyleSheet_) return true;
    const uint32_t style = ResolveStyle(value_, kPropPara);
    if (style == kGMNone) return false;
    p.set<uint16_t>(ParaField::style, uint16_t(style));
  } else if (w == "sl") p.set<int64_t>(ParaField::height, emu);
  else if (w == "slmult") {
    if (value_ == 1) {
      p.set<int64_t>(ParaField::multiple, p.get<int64_t>(ParaField::height) / 12);
      p.set<int64_t>(ParaField::height, 0);
    }
  } else if (w == "dropcapli") p.body[ParaField::dropCap] = low;
  else if (w == "glmtbig") p.body[ParaField::bigFirst] = low;
  else if (w == "glmtbotpg") p.body[ParaField::bottomOfPage] = low;
  else if (w == "glmtlcrt") p.body[ParaField::headerTabs] = low;
  else if (w == "glmtchecked") p.body[ParaField::checkboxOn] = low;
  else if (w == "ql") p.set<uint32_t>(ParaField::alignment, 0);
  else if (w == "qc") p.set<uint32_t>(ParaField::alignment, 1);
  else if (w == "qj") p.set<uint32_t>(ParaField::alignment, 2);
  else if (w == "qr") p.set<uint32_t>(ParaField::alignment, 3);
  else if (w == "fi") p.set<int64_t>(ParaField::firstIndent, emu);
  else if (w == "li") p.set<int64_t>(ParaField::leftIndent, std::max<int64_t>(emu, 0));
  else if (w == "ri") p.set<int64_t>(ParaField::rightIndent, std::max<int64_t>(emu, 0));
  else if (w == "sb") p.set<int64_t>(ParaField::spaceBefore, emu);
  else if (w == "sa") p.set<int64_t>(ParaField::spaceAfter, emu);
  else if (w == "keep") {
    if (rowDefining_) def_.props.body[TableProp::keep] = low;
    else p.body[ParaField::keep] = low;
  }
  else if (w == "keepn") p.body[ParaField::keepNext] = uint8_t(value_);
  else if (w == "pagebb") p.body[ParaField::topOfPage] = uint8_t(value_);
  else if (w == "noproof") p.body[ParaField::noSpelling] = 1;
  else if (w == "tx") AddTab(uint32_t(std::clamp<int64_t>(emu, 0, 0x1FFFFFF)), g_.tabAlign);
  else if (w == "tb") AddTab(uint32_t(std::clamp<int64_t>(emu, 0, 0x1FFFFFF)), 4);
  else if (w == "tqc") g_.tabAlign = 1;
  else if (w == "tqr") g_.tabAlign = 2;
  else if (w == "tqdec") g_.tabAlign = 3;
  else if (w == "tldot" || w == "tlmdot") g_.tabLeader = 1;
  else if (w == "tlhyph") g_.tabLeader = 2;
  else if (w == "tleq") g_.tabLeader = 3;
  else if (w == "tlul") g_.tabLeader = 4;
  else if (w == "tlth") g_.tabLeader = 5;
  return true;
}

void Reader::DocKeyword() {
  const std::string_view w(RtfKeywordName(keyword_));
  if (w == "deff") {
    defaultFont_ = value_;
    defaultFontPending_ = true;
  }
  if (doc_->kind == kDocClipboard) return;
  PropRecord& d = doc_->docProps;
  const int64_t emu = value_ * 635;
  if (w == "deftab") d.set<int64_t>(DocField::defTab, emu);
  else if (w == "margl") d.set<int64_t>(DocField::left, emu);
  else if (w == "margr") d.set<int64_t>(DocField::right, emu);
  else if (w == "margt" || w == "margb") {
    // The magnitude is the margin; a minus sign sets the margin's own flag.
    d.set<int64_t>(w == "margt" ? DocField::top : DocField::bottom, value_ < 0 ? -emu : emu);
    d.body[w == "margt" ? DocField::hPush : DocField::fPush] = value_ < 0 ? 1 : 0;
  }
  else if (w == "gutter") d.set<int64_t>(DocField::gutter, emu);
  else if (w == "pgnstart") d.set<uint16_t>(DocField::pageNum, uint16_t(value_));
  else if (w == "glmtbtcolor") d.set<uint32_t>(DocField::btColor, ColorFor(value_, false));
  else if (w == "glmtbackclr") d.set<uint32_t>(DocField::back, ColorFor(value_, true));
  else if (w == "glmtbackopacity") d.set<int32_t>(DocField::opacity, int32_t(value_));
  else if (w == "glmtbackscale") d.set<int32_t>(DocField::scale, int32_t(value_));
  else {
    struct Flag {
      const char* word;
      uint32_t offset;
    };
    static const Flag kFlags[] = {{"facingp", DocField::mirrorH},        {"margmirror", DocField::mirrorL},
                                  {"glmtignoremarg", DocField::ignoreM}, {"widowctrl", DocField::widow},
                                  {"glmtnoemptyhdr", DocField::hdrEmpty}, {"makebackup", DocField::backup},
                                  {"glmtnodocwrap", DocField::noWrap},   {"glmtnopreview", DocField::noPreview},
                                  {"glmtnospell", DocField::noSpell},    {"glmthidebmk", DocField::hideBmk},
                                  {"glmtnoconv", DocField::noConv},      {"glmtnoback", DocField::noBack},
                                  {"glmtnoquote", DocField::noQuotes},   {"glmttileback", DocField::tile},
                                  {"glmtfillpage", DocField::fill}};
    for (const Flag& flag : kFlags)
      if (w == flag.word) d.body[flag.offset] = uint8_t(value_);
  }
}

// ---- Chapters, frames and borders -------------------------------------------------------------

void Reader::ChapterKeyword() {
  const std::string_view w(RtfKeywordName(keyword_));
  const int64_t emu = value_ * 635;
  if (rowDefining_ && nesting_ == 0 && (w == "cols" || w == "colno" || w == "colw")) {
    // In a row definition the column words describe the table.
    PropRecord& t = def_.props;
    if (w == "cols") t.set<uint16_t>(TableProp::columns, uint16_t(std::clamp<int64_t>(value_, 1, kMaxColumns)));
    else if (w == "colno") def_.column = uint32_t(std::clamp<int64_t>(value_ - 1, 0, kMaxColumns));
    else if (def_.column < kMaxColumns) t.set<int64_t>(TableProp::widths + 8 * def_.column, emu);
    return;
  }
  PropRecord& c = chapter_;
  chapterSet_ = true;
  const uint8_t low = uint8_t(value_);
  static const char* const kBreaks[] = {"sbkpage", "sbkcol", "sbkeven", "sbkodd", "sbknone"};
  static const char* const kFormats[] = {"pgndec",   "pgnucrm",     "pgnlcrm",       "pgnucltr",
                                         "pgnlcltr", "glmtncord",   "glmtncordtxt",  "glmtnccardtxt",
                                         "glmtncchi", "glmtnchex",  "glmtncoct",     "glmtncbin"};
  for (uint32_t i = 0; i < std::size(kBreaks); ++i)
    if (w == kBreaks[i]) return c.set<uint32_t>(4, i);
  for (uint32_t i = 0; i < std::size(kFormats); ++i)
    if (w == kFormats[i]) return c.set<uint32_t>(16, i);
  const uint32_t columns = c.body[22];
  if (w == "ds") {
    const uint32_t style = ResolveStyle(value_, kPropChapter);
    if (style != kGMNone) c.set<uint16_t>(ChapterField::style, uint16_t(style));
  } else if (w == "cols") c.body[22] = uint8_t(std::clamp<int64_t>(value_, 1, 10));
  else if (w == "colno") chapterColumn_ = uint32_t(std::clamp<int64_t>(value_ - 1, 0, 10));
  else if (w == "colw") {
    if (chapterColumn_ < columns && chapterColumn_ < 10) {
      c.set<int64_t>(40 + 8 * chapterColumn_, emu);
      c.body[25] = 1;
    }
  } else if (w == "colsx") c.set<int64_t>(ChapterField::between, emu);
  else if (w == "linebetcol") c.body[24] = low;
  else if (w == "nocolbal") {
    // Alone the word turns balancing off, as everywhere; our writer adds 1 for balanced columns.
    c.body[26] = hasValue_ && value_ != 0 ? 1 : 0;
  }
  else if (w == "titlepg") c.body[297] = low;
  else if (w == "headery") c.set<int64_t>(ChapterField::headerOffset, emu);
  else if (w == "footery") c.set<int64_t>(ChapterField::footerOffset, emu);
  else if (w == "pgnstarts") c.set<uint16_t>(20, uint16_t(value_));
  else if (w == "glmtpgnpos") c.set<uint32_t>(12, uint32_t(value_));
  else if (w == "pgnx" || w == "pgny") {
    const uint32_t position = c.get<uint32_t>(12);
    uint32_t row = position >= 4 && position <= 6 ? 1 : 0;
    uint32_t column = position >= 1 && position <= 6 ? (position - 1) % 3 + 1 : 1;
    if (w == "pgnx") column = value_ < 4081 ? 3 : emu < 5181601 ? 2 : 1;
    else row = value_ < 7921 ? 0 : 1;
    c.set<uint32_t>(12, row * 3 + column);
  } else if (w == "glmtnodblhdr") c.body[296] = low;
  else if (w == "glmtfrtb") c.body[27] = low;
}

void Reader::ResetFrame() {
  SetBaseProperties(kPropFrame, &frame_);
  frame_.set<uint32_t>(8, 3);
  frameSet_ = false;
}

// Keeps the pending frame for the paragraph from paraStart_, replacing one it had.
bool Reader::RecordFrame() {
  PropRecord frame = frame_;
  frame.index = kGMNone;
  const uint32_t index = IndexForProperties(doc_, &frame);
  if (index == kGMNone) return false;
  const uint32_t at = doc_->frames.indexAtCp(paraStart_);
  if (at != kGMNone) doc_->frames.at(at) = index;
  else doc_->frames.insertSorted(paraStart_, index);
  return true;
}

void Reader::FrameKeyword() {
  const std::string_view w(RtfKeywordName(keyword_));
  PropRecord& f = frame_;
  frameSet_ = true;
  const int64_t emu = value_ * 635;
  struct Choice {
    const char* word;
    uint32_t offset, value;
  };
  static const Choice kChoices[] = {{"posxl", 76, 0}, {"posxc", 76, 1}, {"posxr", 76, 2}, {"posxi", 76, 4},
                                    {"posxo", 76, 5}, {"posyt", 84, 0}, {"posyil", 84, 0}, {"posyc", 84, 1},
                                    {"posyb", 84, 2}, {"phmrg", 72, 0}, {"phcol", 72, 0}, {"phpg", 72, 1},
                                    {"pvmrg", 80, 0}, {"pvpg", 80, 1}, {"overlay", 8, 1}, {"wraparound", 8, 3},
                                    {"wrapthrough", 8, 0}};
  for (const Choice& choice : kChoices)
    if (w == choice.word) return f.set<uint32_t>(choice.offset, choice.value);
  if (w == "absw") f.set<int64_t>(56, emu);
  else if (w == "absh") f.set<int64_t>(64, emu);
  else if (w == "posx" || w == "posnegx") {
    f.set<uint32_t>(76, 3);
    f.set<int64_t>(40, emu);
  } else if (w == "posy" || w == "posnegy") {
    f.set<uint32_t>(84, 3);
    f.set<int64_t>(48, emu);
  } else if (w == "dfrmtxtx") f.set<int64_t>(16, emu);
  else if (w == "dfrmtxty") f.set<int64_t>(24, emu);
  else if (w == "dxfrtext") {
    f.set<int64_t>(16, emu);
    f.set<int64_t>(24, emu);
  } else if (w == "nowrap" || w == "glmtwrap") f.set<uint32_t>(8, uint32_t(value_));
  else if (w == "wraptight") f.body[12] = 1;
  else if (w == "wrapdefault") {
    ResetFrame();
    return;
  } else if (w == "glmtfpage") f.set<uint32_t>(32, uint32_t(value_));
  else if (w == "glmtfrpopacity") f.set<int32_t>(4, int32_t(value_));
}

void Reader::BorderKeyword(uint8_t* border) {
  const std::string_view w(RtfKeywordName(keyword_));
  auto get32 = [&](uint32_t at) {
    uint32_t v;
    std::memcpy(&v, border + at, 4);
    return v;
  };
  auto set32 = [&](uint32_t at, uint32_t v) { std::memcpy(border + at, &v, 4); };
  auto set64 = [&](uint32_t at, int64_t v) { std::memcpy(border + at, &v, 8); };
  const uint32_t kind = get32(BorderField::kind);
  struct Word {
    const char* word;
    uint32_t value;
  };
  static const Word kSides[] = {{"brdrl", 1}, {"brdrbar", 1}, {"brdrr", 2}, {"brdrt", 4}, {"brdrb", 5}};
  static const Word kKinds[] = {{"glmtbdrlr", 3},     {"glmtbdrtb", 6},      {"glmtbdrrow", 10},
                                {"glmtbdrcol", 11},   {"glmtbdrrowcol", 12}, {"glmtbdrrowone", 13},
                                {"glmtbdrrowoneb", 14}, {"glmtbdrrowcols", 15}};
  static const Word kLines[] = {
      {"brdrs", 0},       {"brdrsh", 0},      {"brdrframe", 0},      {"brdrinset", 0},  {"brdroutset", 0},
      {"brdremboss", 0},  {"brdrengrave", 0}, {"brdrdb", 1},         {"brdrtriple", 1}, {"brdrdot", 2},
      {"brdrdash", 3},    {"brdrdashd", 3},   {"brdrdashdd", 3},     {"brdrdashdotstr", 3}, {"brdrdashsm", 3},
      {"glmtbdrgrad", 6}};
  for (const Word& side : kSides)
    if (w == side.word) return set32(BorderField::kind, kind != 0 ? 7 : side.value);
  for (const Word& k : kKinds)
    if (w == k.word) return set32(BorderField::kind, k.value);
  for (const Word& line : kLines)
    if (w == line.word) return set32(BorderField::line, line.value);
  if (w == "box") set32(BorderField::kind, kind == 8 ? 9 : 7);
  else if (w == "brdrbtw") set32(BorderField::kind, kind == 7 ? 9 : 8);
  else if (w == "brdrwavydb" || w == "brdrwavy") {
    set32(BorderField::line, w == "brdrwavy" ? 5 : 4);
    set64(BorderField::thickness, 50800);
  } else if (w.starts_with("brdrth") || w.starts_with("brdrtnth")) {
    set32(BorderField::line, 0);
    set64(BorderField::width, 2);
  } else if (w == "brdrw") set64(BorderField::width, value_ * 635);
  else if (w == "glmtbdrthick") set64(BorderField::thickness, value_ * 635);
  else if (w == "brsp") set64(BorderField::offset, value_ * 635);
  else if (w == "brdrcf") set32(BorderField::lineColor, ColorFor(value_, false));
  else if (w == "glmtbdrinner") set32(BorderField::innerColor, ColorFor(value_, false));
  else if (w == "cfpat") set32(BorderField::backColor, ColorFor(value_, true));
  else if (w == "brdrnil" || w == "brdrnone") {
    PropRecord base;
    SetBaseProperties(kPropBorder, &base);
    std::memcpy(border, base.body, BorderField::size);
  }
}

// ---- Tables -----------------------------------------------------------------------------------

void Reader::InitTableProps() {
  SetBaseProperties(kPropTable, &def_.props);
  def_.columns = 0;
  def_.column = 0;
  def_.lastRight = 0;
  def_.overflow = false;
  def_.ResetColors();
  for (uint32_t c = 0; c < def_.bordersTouched; ++c)
    for (CellBorder& side : def_.borders[c]) side = CellBorder{};
  def_.bordersTouched = 0;
}

bool Reader::TableKeyword() {
  const std::string_view w(RtfKeywordName(keyword_));
  PropRecord& t = def_.props;
  const int64_t emu = value_ * 635;
  if (w == "cell") return EndCell();
  if (w == "row") return EndRow();
  if (w == "trowd") {
    if (nesting_ > 0) {
      if (origin_ == kCocoa) nesting_ = 0;
      return true;
    }
    rowDefining_ = rowPending_ = haveDefinition_ = true;
    cellSide_ = -1;
    if (origin_ == kOwn) {
      // The table group before the rows gave the properties, the border included.
      def_.columns = 0;
      def_.column = 0;
      def_.overflow = false;
      def_.ResetColors();
    } else {
      InitTableProps();
    }
    if (autoFitSeen_) {
      // Our own writer gives an auto-fit table's widths five times larger.
      for (uint32_t i = 0; i < kMaxColumns; ++i)
        t.set<int64_t>(TableProp::widths + 8 * i, t.get<int64_t>(TableProp::widths + 8 * i) / 5);
      autoFitSeen_ = false;
    }
    return true;
  }
  if (w == "trql") return t.set<uint32_t>(TableProp::alignment, 0), true;
  if (w == "trqc") return t.set<uint32_t>(TableProp::alignment, 1), true;
  if (w == "trqr") return t.set<uint32_t>(TableProp::alignment, 3), true;
  if (w == "trhdr") return t.body[TableProp::titleRow] = uint8_t(value_), true;
  if (w == "glmtinside") return t.body[TableProp::outerMargins] = uint8_t(value_), true;
  if (w == "glmtstripe") return t.body[TableProp::stripes] = uint8_t(value_), true;
  if (w == "glmtstripeclr") return t.set<uint32_t>(TableProp::stripeColor, ColorFor(value_, true)), true;
  if (w == "glmttblkeep") return t.body[TableProp::keep] = uint8_t(value_), true;
  if (w == "glmtautotbl") {
    t.body[TableProp::autoFit] = uint8_t(value_);
    autoFitSeen_ = value_ != 0;
    return true;
  }
  if (nesting_ > 0) return true;  // the cell geometry of nested tables is not kept
  if (w == "cellx") {
    if (def_.columns >= kMaxColumns) {
      def_.overflow = true;
      return true;
    }
    if (origin_ != kOwn) {
      const int64_t width = std::max<int64_t>(emu - def_.lastRight, 114300);
      t.set<int64_t>(TableProp::widths + 8 * def_.columns, width);
      def_.lastRight = emu;
    } else {
      // Our own table group names the widths of the first columns only (those the table's
      // properties have words for): the others follow from the cell boundaries, each of which
      // lies half the cells' padding beyond the column.
      const int64_t half = (t.get<int64_t>(TableProp::cellLeft) + t.get<int64_t>(TableProp::cellRight)) / 2;
      const int64_t previous = def_.columns == 0 ? t.get<int64_t>(TableProp::left) - half : def_.lastRight;
      // An auto-fit table's boundaries are written five times apart, as its widths are, and its
      // widths are shares of the whole: the least width of a fixed column is no floor for them.
      const int64_t between = emu - previous - 2 * half;
      if (t.get<int64_t>(TableProp::widths + 8 * def_.columns) == 0)
        t.set<int64_t>(TableProp::widths + 8 * def_.columns, t.body[TableProp::autoFit]
                                                                 ? std::max<int64_t>(between / 5, 1)
                                                                 : std::max<int64_t>(between, 114300));
      def_.lastRight = emu;
    }
    ++def_.columns;
    cellSide_ = -1;
  } else if (w == "trgaph") {
    if (origin_ != kOwn) {
      t.set<int64_t>(TableProp::cellLeft, emu);
      t.set<int64_t>(TableProp::cellRight, emu);
      def_.lastRight = -emu;
    }
  } else if (w == "trleft") t.set<int64_t>(TableProp::left, origin_ == kOwn ? emu : std::max<int64_t>(emu, 0));
  else if (w == "trrh") {
    if (origin_ != kOwn) t.set<int64_t>(TableProp::height, emu);
  } else if (w == "clcfpat") {
    if (def_.columns < kMaxColumns) def_.Color(def_.columns) = ColorFor(value_, true);
  } else if (w == "glmtcellt") t.set<int64_t>(TableProp::cellTop, emu);
  else if (w == "glmtcelll") t.set<int64_t>(TableProp::cellLeft, emu);
  else if (w == "glmtcellb") t.set<int64_t>(TableProp::cellBottom, emu);
  else if (w == "glmtcellr") t.set<int64_t>(TableProp::cellRight, emu);
  else if (w == "glmttbltop") t.set<int64_t>(TableProp::spaceBefore, emu);
  else if (w == "glmttblbottom") t.set<int64_t>(TableProp::spaceAfter, emu);
  else if (w == "glmttblright") t.set<int64_t>(TableProp::right, emu);
  else if (w == "glmttblline") t.set<int64_t>(TableProp::height, emu);
  else if (w == "glmtts" && sheetByNumber_.contains(value_)) {
    const uint32_t style = ResolveStyle(value_, kPropTable);
    if (style == kGMNone) return false;
    t.set<uint16_t>(TableField::style, uint16_t(style));
  }
  return true;
}

namespace {

// The border kind, width and line style that a row's cell borders amount to; kind 0 for none.
void RowBorder(const RowDefinition& def, uint32_t columns, uint32_t* kind, int64_t* width, uint32_t* line) {
  uint32_t top = 0, bottom = 0, inner = 0, present = 0;
  int64_t widths = 0;
  uint32_t lines[7] = {};
  for (uint32_t c = 0; c < columns; ++c)
    for (uint32_t side = 0; side < 4; ++side) {
      const CellBorder& b = def.borders[c][side];
      if (!b.present) continue;
      ++present;
      widths += b.width;
      ++lines[std::min<uint32_t>(b.line, 6)];
      if (side == kCellTop) ++top;
      else if (side == kCellBottom) ++bottom;
      else if ((side == kCellLeft && c > 0) || (side == kCellRight && c + 1 < columns)) ++inner;
    }
  *kind = 0;
  if (present == 0 || columns == 0) return;
  const bool left = def.borders[0][kCellLeft].present, right = def.borders[columns - 1][kCellRight].present;
  const bool between = columns > 1 && inner >= columns - 1;
  if (top + bottom + (left ? 1 : 0) + (right ? 1 : 0) >= 2 * columns) *kind = between ? 9 : 7;
  else if (between) *kind = 8;
  else if (left) *kind = 1;
  else if (right) *kind = 2;
  else if (top) *kind = 4;
  else if (bottom) *kind = 5;
  *width = widths / present;
  *line = uint32_t(std::max_element(std::begin(lines), std::end(lines)) - std::begin(lines));
  if (*line == 2 || *line == 3) *width = 1;
}

}  // namespace

// Makes the row that the pending definition describes: a new table or one more row of the table
// the insertion point is at the end of. The insertion point moves into the row's first cell.
bool Reader::BuildRow() {
  if (!Flush()) return false;
  if (insertCp_ > paraStart_ && !InsertBreak(0x0A, false)) return false;
  rowPending_ = rowDefining_ = false;
  cellSide_ = -1;
  PropRecord props = def_.props;
  uint32_t columns = def_.columns;
  KnotInfo table;
  const bool haveTable = inTable_ && FetchKnot(doc_, tableFirst_, &table, kKnotTable);
  const PropRecord* tableProps = haveTable ? PropertiesAtIndex(doc_, table.entry.propIndex) : nullptr;
  if (columns == 0 && tableProps) {
    props = *tableProps;  // a row without columns continues the table
    columns = props.get<uint16_t>(TableProp::columns);
  }
  if (columns == 0) {
    LogAssert("Zero-column table", __func__, __FILE__, __LINE__);
    columns = 1;
  }
  columns = std::min(columns, kMaxColumns);
  props.set<uint16_t>(TableProp::columns, uint16_t(columns));
  for (uint32_t i = 0; i < kMaxColumns; ++i) {
    if (i >= columns) props.set<int64_t>(TableProp::widths + 8 * i, 0);
    else if (props.get<int64_t>(TableProp::widths + 8 * i) == 0) props.set<int64_t>(TableProp::widths + 8 * i, 914400);
  }
  uint32_t kind = 0, line = 0;
  int64_t width = 0;
  RowBorder(def_, columns, &kind, &width, &line);

  const bool continues = tableProps && tableProps->get<uint16_t>(TableProp::columns) == columns &&
                         tableProps->get<uint32_t>(TableProp::alignment) == props.get<uint32_t>(TableProp::alignment) &&
                         tableProps->get<int64_t>(TableProp::left) == props.get<int64_t>(TableProp::left);
  if (inTable_ && !continues) LeaveTable();
  if (continues) {
    if (insertCp_ != table.limit) {
      LogAssert("Not at end of table", __func__, __FILE__, __LINE__);
      insertCp_ = table.limit;
    }
    PropRecord updated = *tableProps;
    const uint32_t tableKind = updated.get<uint32_t>(TableProp::borderKind);
    uint32_t newKind = tableKind;
    if (kind == 9) newKind = 9;
    else if (tableKind == 7 && (kind == 0 || kind == 4 || kind == 5)) newKind = 10;
    else if (tableKind == 7 && kind == 1 && columns > 1 &&
             (def_.borders[0][kCellRight].present || def_.borders[1][kCellLeft].present))
      newKind = 11;
    else if (kind == 7 && tableKind != 8 && tableKind != 9) newKind = 7;
    else if (kind == 8 && tableKind != 7 && tableKind != 9) newKind = 8;
    rowFirst_ = table.limit - 1;
    uint32_t at = rowFirst_;
    GMRowRequest request;
    request.plainCells = true;
    if (!InsertEmptyRow(doc_, &at, columns, request)) return false;
    if (newKind != tableKind) {
      updated.set<uint32_t>(TableProp::borderKind, newKind);
      updated.index = kGMNone;
      const uint32_t index = IndexForProperties(doc_, &updated);
      if (index == kGMNone) return false;
      SetPropsOnKink(doc_, uint32_t(table.index), index);
    }
  } else {
    if (origin_ == kCocoa) props.body[TableProp::titleRow] = 0;
    if (kind != 0 && origin_ != kOwn) {
      props.set<uint32_t>(TableProp::borderKind, kind);
      props.set<uint32_t>(kTableBorderOffset + BorderField::line, line);
      props.set<int64_t>(kTableBorderOffset + BorderField::width, width);
      props.set<uint32_t>(kTableBorderOffset + BorderField::lineColor, g_blackKolor);
    }
    DocRange range;
    GMRowRequest request;
    request.plainCells = true;
    if (!NewTableCore(doc_, insertCp_, 1, columns, &range, &request)) return false;
    KnotInfo made;
    if (!FetchKnot(doc_, range.first, &made, kKnotTable)) return false;
    props.index = kGMNone;
    const uint32_t index = IndexForProperties(doc_, &props);
    if (index == kGMNone) return false;
    SetPropsOnKink(doc_, uint32_t(made.index), index);
    inTable_ = true;
    tableFirst_ = range.first;
    rowFirst_ = range.first + 1;
  }
  KnotInfo row;
  if (!FetchKnot(doc_, rowFirst_, &row, kKnotRow) || row.kinkCount < columns + 1) return false;
  // Each kink after a cell keeps that cell's background.
  for (uint32_t i = 1; i <= columns; ++i) {
    const uint32_t entry = doc_->knots.indexAtCp(row.kinkCps[i]);
    if (entry != kGMNone) doc_->knots.at(entry).word = def_.cellColors[i - 1];
  }
  cell_ = 0;
  rowCells_ = columns;
  rowKinks_.assign(row.kinkCps, row.kinkCps + columns + 1);
  rowKinks_.push_back(row.limit);
  rowKinksLength_ = doc_->totalLength;
  cellFirst_ = row.kinkCps[0] + 1;
  rowCut_ = def_.overflow;
  truncated_ = truncated_ || rowCut_;
  insertCp_ = paraStart_ = row.kinkCps[0] + 1;
  lastWasMark_ = true;
  return true;
}

// "cell": the pending paragraph formatting goes to the cell's last paragraph and the insertion
// point moves to the next cell. Outside a cell it only ends a paragraph.
bool Reader::EndCell() {
  if (InCutCell()) return true;
  if (!inTable_ || cell_ >= rowCells_) {
    if (!g_.inTable || !haveDefinition_) return InsertBreak(0x0A);
    if (!PrepareForText()) return false;
    if (!inTable_ || cell_ >= rowCells_) return InsertBreak(0x0A);
  }
  if (!Flush()) return false;
  const int64_t moved = int64_t(doc_->totalLength) - rowKinksLength_;
  const auto kinkAfter = [&](uint32_t k) { return uint32_t(int64_t(rowKinks_[k]) + moved); };
  if (rowKinks_.size() != size_t(rowCells_) + 2 || cell_ + 1 > rowCells_ ||
      int64_t(kinkAfter(cell_ + 1)) >= int64_t(doc_->totalLength) || !IsKinkChar(doc_->charAt(kinkAfter(cell_ + 1)))) {
    // Something moved the row otherwise: it is read again.
    KnotInfo row;
    if (!FetchKnot(doc_, rowFirst_, &row, kKnotRow) || cell_ + 1 >= row.kinkCount || row.kinkCount < rowCells_ + 1)
      return false;
    rowKinks_.assign(row.kinkCps, row.kinkCps + rowCells_ + 1);
    rowKinks_.push_back(row.limit);
    rowKinksLength_ = doc_->totalLength;
  }
  const int64_t shift = int64_t(doc_->totalLength) - rowKinksLength_;
  const uint32_t cellEnd = uint32_t(int64_t(rowKinks_[cell_ + 1]) + shift);
  if (cellEnd > 0 && !ApplyPara(cellEnd - 1)) return false;
  ++cell_;
  insertCp_ = paraStart_ = cellFirst_ = cell_ < rowCells_ ? cellEnd + 1 : uint32_t(int64_t(rowKinks_.back()) + shift);
  nestedSpace_ = false;
  lastWasMark_ = true;
  return true;
}

bool Reader::JoinNestedText() {
  if (!Flush()) return false;
  if (lastWasMark_ && insertCp_ > cellFirst_ && IsParaMarkChar(doc_->charAt(insertCp_ - 1))) {
    // The cell's paragraph before the nested table goes on into it.
    DocRange mark{doc_, insertCp_ - 1, insertCp_};
    if (!ReplaceRangeCore(&mark, nullptr, nullptr, 0, true)) return false;
    insertCp_ = mark.first;
    uint32_t start = insertCp_;
    while (start > cellFirst_ && !IsParaMarkChar(doc_->charAt(start - 1)) && !IsKinkChar(doc_->charAt(start - 1)))
      --start;
    paraStart_ = start;
    lastWasMark_ = false;
    nestedSpace_ = true;
  }
  if (nestedSpace_ && insertCp_ > cellFirst_) {
    nestedSpace_ = false;
    pending_ += u' ';
    if (pending_.size() == 1) CopyUsedRecord(&pendingChars_, g_.chars);
  }
  nestedSpace_ = false;
  return true;
}

// "row": the insertion point moves to the end of the table, where the next row may continue it.
bool Reader::EndRow() {
  rowPending_ = rowDefining_ = false;
  if (!inTable_) return true;
  if (!Flush()) return false;
  KnotInfo table;
  if (!FetchKnot(doc_, tableFirst_, &table, kKnotTable)) {
    inTable_ = false;
    return true;
  }
  cell_ = rowCells_ = 0;
  insertCp_ = paraStart_ = table.limit;
  lastWasMark_ = true;
  return true;
}

void Reader::LeaveTable() {
  KnotInfo table;
  if (inTable_ && FetchKnot(doc_, tableFirst_, &table, kKnotTable)) insertCp_ = paraStart_ = table.limit;
  inTable_ = false;
  cell_ = rowCells_ = 0;
}

// Before text or a paragraph mark: a table paragraph without an open cell starts the pending
// row, or after a row repeats the last definition; one beyond the row's last cell, like text
// outside a table paragraph, leaves the table (whoever wrote the file: text inside the table
// but outside its rows would break it).
bool Reader::PrepareForText() {
  if (g_.deleted || tolerant_) return true;
  const bool cellOpen = inTable_ && cell_ < rowCells_;
  const bool rowOpen = inTable_ && rowCells_ > 0;
  if (g_.inTable && !cellOpen) {
    if (rowPending_ || (!rowOpen && haveDefinition_)) return BuildRow();
    if (!rowOpen) return true;
    haveDefinition_ = false;  // the rows that follow need a definition of their own
  } else if (g_.inTable || !inTable_) {
    return true;
  }
  if (!Flush()) return false;
  LeaveTable();
  return true;
}

// ---- Knots and pictures -----------------------------------------------------------------------

bool Reader::InsertAtomicKnot(uint32_t type, uint32_t propCount, const PropRecord* props, const KinkData& data) {
  if (InCutCell()) return true;
  if (!Flush() || !PrepareForText()) return false;
  DocRange at{doc_, insertCp_, insertCp_};
  if (!InsertKnotCore(&at, type, 0, propCount, props, 1, &data, false)) return false;
  PropRecord chars = g_.chars;
  chars.index = kGMNone;
  ApplyPropsToRange(at, chars);
  insertCp_ = at.limit;
  lastWasMark_ = false;
  insertedAnything_ = true;
  return true;
}

bool Reader::AddPicture(std::unique_ptr<FLImage> image, const QString& path, const QString& extension,
                        int32_t referenceKind, uint64_t value, const uint8_t* border) {
  GMPicture picture;
  picture.identifier = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
  picture.savedName = extension.isEmpty() ? QString() : picture.identifier + u'.' + extension;
  picture.path = path;
  picture.referenceKind = referenceKind;
  picture.image = std::shared_ptr<FLImage>(std::move(image));
  doc_->pictures.push_back(std::move(picture));
  if (backgroundPicture_) {
    doc_->docProps.set<uint32_t>(DocField::image, uint32_t(doc_->pictures.size() - 1));
    return true;
  }
  KinkData data;  // becomes the knot entry's word (its picture index) and value
  data.word = uint32_t(doc_->pictures.size() - 1);
  data.value = value;
  PropRecord pictureBorder;
  SetBaseProperties(kPropBorder, &pictureBorder);
  if (border) std::memcpy(pictureBorder.body, border, BorderField::size);
  return InsertAtomicKnot(kKnotPicture, 1, &pictureBorder, data);
}

// A picture group: its format and size words, its border, and its data in hex (read straight
// from the source, so that pictures of any size on one line stay within bounds) or by \bin.
uint32_t Reader::ReadPicture(uint32_t format) {
  const Keys& k = K();
  if (tolerant_) return SkipGroup();
  QByteArray data;
  QString reference;
  int32_t referenceKind = 0;
  int64_t scale = -1, goal = -1;
  uint32_t vertical = 3, opacity = 0;
  bool fit = false;
  uint8_t border[BorderField::size];
  {
    PropRecord base;
    SetBaseProperties(kPropBorder, &base);
    std::memcpy(border, base.body, sizeof border);
  }
  // Hex digits and binary data stream into the picture's bytes as the tokenizer meets them.
  hexSink_ = binSink_ = &data;
  hexDepth_ = depth_;
  hexHigh_ = -1;
  const uint32_t result = WalkGroup(false, false, [&](uint32_t token) -> uint32_t {
    if (token == kTokText && referenceKind) reference += text_;
    if (token != kTokKeyword) return kTokContinue;
    const uint32_t kw = keyword_;
    if (kw == k.pngblip || kw == k.jpegblip || kw == k.emfblip || kw == k.macpict) format = kw;
    else if (kw == k.picscalex || kw == k.picscaley) {
      const int64_t s = std::clamp<int64_t>(value_ * 10, 1, 16000);
      scale = scale < 0 ? s : std::min(scale, s);
    } else if (kw == k.picwgoal) goal = value_ / 20;
    else if (kw == k.picw) goal = value_;
    else if (kw == k.glmtpict) vertical = 0;
    else if (kw == k.glmtpicb) vertical = 1;
    else if (kw == k.glmtpicc) vertical = 2;
    else if (kw == k.glmtrefpic || kw == k.glmtrespic) {
      referenceKind = kw == k.glmtrespic ? 1 : 2;
      hexSink_ = nullptr;  // the text names a file
    } else if (kw == k.glmtfitpic) fit = true;
    else if (kw == k.glmtbackopacity) opacity = uint32_t(std::clamp<int64_t>(value_, 0, 100));
    else if (RtfKeywordKind(kw) == kPropBorder) BorderKeyword(border);
    return kTokContinue;
  });
  hexSink_ = binSink_ = nullptr;
  if (result != kTokContinue) return result;
  if (tolerant_ || g_.deleted) return kTokContinue;
  std::unique_ptr<FLImage> image;
  QString path, extension;
  if (referenceKind) {
    reference = reference.trimmed();
    const qsizetype slash = reference.lastIndexOf(u'/');
    path = reference;
    if (referenceKind == 1 && slash < 0) path = QStringLiteral(":/images/") + reference;
    if (const uint32_t decoded = DecodePicture(nullptr, path, &image); decoded != kTokContinue) return decoded;
  } else {
    if (format == 0) return kTokContinue;
    if (const uint32_t decoded = DecodePicture(&data, QString(), &image); decoded != kTokContinue) return decoded;
    extension = format == k.pngblip ? QStringLiteral("png") : format == k.jpegblip ? QStringLiteral("jpeg")
                                                                                    : QStringLiteral("pdf");
  }
  if (!image) return kTokContinue;
  if (fit || scale < 0 || (scale == 1000 && version_ <= EncodeDottedVersionNumber(QStringLiteral("2.0.17"))))
    scale = 16383;
  const double imageWidth = image->size().width();
  if (!fit && goal > 0 && imageWidth > 0 && std::abs(double(goal) - imageWidth) >= 3)
    scale = std::clamp<int64_t>(int64_t(double(goal) * 1000 / imageWidth), 1, 16000);
  const uint64_t value = KnotEntry::PictureValue(vertical, uint16_t(scale), uint16_t(opacity));
  if (!AddPicture(std::move(image), path, extension, referenceKind, value, border)) return kTokMemory;
  if (meter_ && !meter_->measure()) return kTokTooLarge;
  return kTokContinue;
}

// An attachment of an RTFD package: the file name, then its displayed size.
uint32_t Reader::ReadAttachment() {
  const Keys& k = K();
  if (folder_.isEmpty() || tolerant_) return SkipGroup();
  if (!pendingUrl_.isEmpty()) pendingUrl_.clear();
  QString name;
  while (pos_ < src_.size() && src_[pos_] != u'\\' && src_[pos_] != u'{' && src_[pos_] != u'}')
    name += src_[pos_++];
  int64_t width = -1, height = -1, scale = -1;
  const uint32_t result = WalkGroup(false, false, [&](uint32_t token) -> uint32_t {
    if (token != kTokKeyword) return kTokContinue;
    if (keyword_ == k.width) width = value_;
    else if (keyword_ == k.height) height = value_;
    else if (keyword_ == k.picscalex) scale = value_ * 10;
    else if (keyword_ == k.glmtfitpic) scale = 16383;
    return kTokContinue;
  });
  if (result != kTokContinue) return result;
  // The rest of the enclosing group (the attachment character) goes.
  const uint32_t skipped = SkipGroup();
  if (skipped != kTokContinue) return skipped;
  if (g_.deleted) return kTokContinue;
  // Only a plain name of a file in the package: a name with a separator or ".." would read
  // outside it.
  const QString file = name.trimmed();
  if (file.isEmpty() || file.contains(u'/') || file == QLatin1String("..") || file == QLatin1String("."))
    return kTokContinue;
  const QString path = QDir(folder_).filePath(file);
  std::unique_ptr<FLImage> image;
  if (const uint32_t decoded = DecodePicture(nullptr, path, &image); decoded != kTokContinue) return decoded;
  if (!image) return kTokContinue;
  // The displayed size in twips against the image's own.
  const QSizeF size = image->size();
  if (scale < 0 && width > 0 && size.width() > 0) scale = int64_t(double(width) * 1000 / (size.width() * 20));
  else if (scale < 0 && height > 0 && size.height() > 0) scale = int64_t(double(height) * 1000 / (size.height() * 20));
  if (scale != 16383) scale = scale < 0 ? 1000 : std::clamp<int64_t>(scale, 1, 16000);
  const uint64_t value = KnotEntry::PictureValue(3, uint16_t(scale), 0);
  if (!AddPicture(std::move(image), path, QString(), 2, value, nullptr)) return kTokMemory;
  if (meter_ && !meter_->measure()) return kTokTooLarge;
  return kTokContinue;
}

// ---- Style sheet ------------------------------------------------------------------------------

uint32_t Reader::ReadStyleSheet() {
  const Keys& k = K();
  const int start = depth_;
  SheetStyle entry;
  GroupState inEntry;  // the formatting of the open entry, kept before its group closes
  bool open = false;
  const GroupState outside = g_;
  const PropRecord chapterOutside = chapter_, tableOutside = def_.props;
  auto begin = [&] {
    open = true;
    entry = SheetStyle{};
    SetBaseProperties(kPropChar, &g_.chars);
    g_.chars.set<int16_t>(CharField::size, kDefaultFontSize);
    SetBaseProperties(kPropPara, &g_.para);
    std::memset(g_.border, 0, sizeof g_.border);
    SetBaseProperties(kPropChapter, &chapter_);
    SetBaseProperties(kPropTable, &def_.props);
    inEntry = g_;
  };
  // The formatting read so far goes with the entry, which is kept under its RTF number.
  auto commit = [&](const GroupState& state) {
    if (!open) return;
    open = false;
    entry.chars = state.chars;
    if (entry.kind == kPropPara) {
      entry.first = state.para;
      std::memcpy(entry.first.body + ParaField::border, state.border, BorderField::size);
    } else if (entry.kind == kPropChapter) entry.first = chapter_;
    else if (entry.kind == kPropTable) entry.first = def_.props;
    else entry.first = state.chars;
    QString name = entry.name;
    if (const qsizetype comma = name.indexOf(u','); comma >= 0) name.truncate(comma);
    name = name.trimmed();
    for (uint32_t id = 0; id < kBuiltinStyleCount; ++id) {
      if (name.compare(QLatin1StringView(g_builtinStyleNames[id]), Qt::CaseInsensitive) != 0) continue;
      const bool fits = id == 0 || (entry.kind == kPropChar && id < 7) ||
                        (entry.kind == kPropPara && id >= 12 && id <= 29);
      if (fits) entry.id = id;
      else name = QStringLiteral("renamed_%1").arg(entry.number);
      break;
    }
    entry.name = name;
    if (entry.number == 0 && entry.kind == kPropPara) {
      if (normalFromSheet_) {
        LogAssert("Normal added again", __func__, __FILE__, __LINE__);
        return;
      }
      if (!sheet_.empty()) LogAssert("Normal not added first", __func__, __FILE__, __LINE__);
      normalFromSheet_ = true;
      PropRecord para = entry.first, chars = entry.chars;
      para.set<uint16_t>(ParaField::style, 0);
      chars.set<uint16_t>(CharField::style, 0);
      para.index = chars.index = kGMNone;
      ChangeStyle(doc_, 0, para, chars);
      if (entry.normalTable) {
        PropRecord table = def_.props;
        table.index = kGMNone;
        const uint32_t index = IndexForProperties(doc_, &table);
        if (index != kGMNone) doc_->defaultTableProps = index;
      }
      return;
    }
    if (sheetByNumber_.contains(entry.number)) return;
    sheetByNumber_.emplace(entry.number, uint32_t(sheet_.size()));
    sheet_.push_back(entry);
  };
  inStyleSheet_ = true;
  const uint32_t result = WalkGroup(true, true, [&](uint32_t token) -> uint32_t {
    if (token == kTokContinue) {
      if (depth_ == start) commit(inEntry);  // an entry's group closed
      return kTokContinue;
    }
    if (!open && depth_ > start) begin();
    if (token == kTokText && open) entry.name += text_;
    if (token != kTokKeyword) return kTokContinue;
    const uint32_t kw = keyword_;
    const bool styleWord = kw == k.s || kw == k.cs || kw == k.ds || kw == k.glmtts;
    if (ignorable_ && !styleWord) return kWalkSkip;  // character styles come after "\*"
    ignorable_ = false;
    if (!open) return kTokContinue;
    const uint32_t kind = RtfKeywordKind(kw);
    if (styleWord) {
      entry.kind = kw == k.s ? kPropPara : kw == k.cs ? kPropChar : kw == k.ds ? kPropChapter : kPropTable;
      entry.number = value_;
      if (value_ == 0 && entry.kind != kPropPara) LogAssert("styleIndex in normal", __func__, __FILE__, __LINE__);
    } else if (kw == k.sbasedon) entry.basedOn = value_;
    else if (kw == k.snext) entry.next = value_;
    else if (kw == k.glmtdest) entry.normalTable = value_ == 4;
    else if (kind == kPropChar) CharKeyword();
    else if (kind == kPropPara) ParaKeyword();
    else if (kind == kPropChapter) ChapterKeyword();
    else if (kind == kPropTable && kw != k.cell && kw != k.row) {
      const bool defining = rowDefining_;
      rowDefining_ = false;
      TableKeyword();
      rowDefining_ = defining;
    } else if (kind == kPropBorder) BorderKeyword(entry.normalTable ? def_.props.body + kTableBorderOffset : g_.border);
    else if (kind == kPropList) LogAssert("Unknown propType", __func__, __FILE__, __LINE__);
    inEntry = g_;
    return kTokContinue;
  });
  inStyleSheet_ = false;
  g_ = outside;
  chapter_ = chapterOutside;
  def_.props = tableOutside;
  return result;
}

// The document's style for an RTF style number, made (with the styles it is based on) when the
// body first uses it; kGMNone when the number is not in the style sheet.
uint32_t Reader::ResolveStyle(int64_t number, uint32_t kind) {
  if (number == 0 && (kind == kPropPara || kind == kPropChar)) return 0;
  const auto found = sheetByNumber_.find(number);
  if (found == sheetByNumber_.end()) {
    // Other writers name styles their sheet leaves out: such text is in Normal (no character
    // style); a chapter or table keeps its own.
    return kind == kPropPara || kind == kPropChar ? 0 : kGMNone;
  }
  SheetStyle& style = sheet_[found->second];
  if (style.index == kGMNone - 1) return 0;  // a style based on itself in the end
  if (style.index != kGMNone) return style.index;
  // Chains of based-on and next styles are followed a few links deep; deeper ones rest on Normal.
  constexpr int kMaxChain = 32;
  if (resolving_ >= kMaxChain) return 0;
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(++d) {}
    ~Depth() { --depth; }
  } depth(resolving_);
  style.index = kGMNone - 1;
  uint32_t index = kGMNone;
  if (style.id != kUserStyleId) {
    index = StyleIndexForStyleId(doc_, style.id, true);
  } else {
    uint32_t basedOn = 0;
    if (style.basedOn != 222 && style.basedOn != kStyleNone && style.basedOn != number &&
        sheetByNumber_.contains(style.basedOn)) {
      basedOn = ResolveStyle(style.basedOn, sheet_[sheetByNumber_.at(style.basedOn)].kind);
      if (basedOn == kGMNone) basedOn = 0;
    }
    PropRecord first = style.first, chars = style.chars;
    first.index = chars.index = kGMNone;
    index = CreateStyle(doc_, sheet_[found->second].name, kUserStyleId, basedOn, kStyleNone, first,
                        first.kind == kPropPara ? &chars : nullptr);
  }
  sheet_[found->second].index = index;
  if (index == kGMNone) return kGMNone;
  const SheetStyle& made = sheet_[found->second];
  if (made.kind == kPropPara && made.next != kStyleNone && made.next != number && sheetByNumber_.contains(made.next)) {
    const uint32_t next = ResolveStyle(made.next, kPropPara);
    if (next != kGMNone && index < doc_->styles.size()) doc_->styles[index].next = next;
  }
  return index;
}

// ---- Main loop --------------------------------------------------------------------------------

uint32_t Reader::Dispatch() {
  const Keys& k = K();
  const uint32_t kind = RtfKeywordKind(keyword_);
  if (kind != kRtfSpecialKind && !tolerant_) {
    const std::string_view w(RtfKeywordName(keyword_));
    if (kind != kPropBorder) cellSide_ = -1;
    bool ok = true;
    switch (kind) {
      case kPropChar: ok = CharKeyword(); break;
      case kPropPara:
        // A list override number and level are properties of the paragraph beside them; the
        // paragraph keeps its text as any other.
        if (w == "ls" || w == "ilvl") return kTokContinue;
        if (w == "pntxta" || w == "pntxtb" || w == "glmtprefix" || w == "glmtsuffix") {
          // The rest of the group is list or affix text that is not read.
          const uint32_t token = SkipGroup();
          return token;
        }
        ok = ParaKeyword();
        break;
      case kPropChapter: ChapterKeyword(); break;
      case kPropFrame: FrameKeyword(); break;
      case kPropTable: ok = TableKeyword(); break;
      case kPropBorder:
        if (w.starts_with("clbrdr")) {
          // A side of the next cell's border, which the border words after it describe.
          if (!rowDefining_ || nesting_ > 0 || def_.columns >= kMaxColumns) break;
          cellSide_ = w == "clbrdrt"   ? kCellTop
                      : w == "clbrdrl" ? kCellLeft
                      : w == "clbrdrb" ? kCellBottom
                                       : kCellRight;
          def_.Border(def_.columns, cellSide_) = CellBorder{true, 0, 0};
        } else if (cellSide_ >= 0 && def_.columns < kMaxColumns) {
          CellBorder& side = def_.Border(def_.columns, cellSide_);
          uint8_t border[BorderField::size] = {};
          std::memcpy(border + BorderField::line, &side.line, 4);
          std::memcpy(border + BorderField::width, &side.width, 8);
          BorderKeyword(border);
          std::memcpy(&side.line, border + BorderField::line, 4);
          std::memcpy(&side.width, border + BorderField::width, 8);
          if (w == "brdrnil" || w == "brdrnone") side.present = false;
        } else if (rowDefining_ && origin_ == kOwn) {
          BorderKeyword(def_.props.body + kTableBorderOffset);  // our own table group's border
        } else {
          BorderKeyword(g_.border);
        }
        break;
      case kPropDocument: DocKeyword(); break;
      case kPropList:
        Fail(kRtfImportMalformed, kRtfMalformedMessage);
        return kTokMalformed;
      default: break;
    }
    if (!ok) {
      Fail(kRtfImportMalformed, kRtfMalformedMessage);
      return kTokMalformed;
    }
    return kTokContinue;
  }
  if (keyword_ < k.chapterSlot.size() && k.chapterSlot[keyword_] != 0) return ReadChapterText(k.chapterSlot[keyword_]);
  if (keyword_ < k.skipGroup.size() && k.skipGroup[keyword_]) return SkipGroup();
  if (keyword_ == k.fonttbl || keyword_ == k.colortbl || keyword_ == k.stylesheet) {
    if (tolerant_) return SkipGroup();
    return keyword_ == k.fonttbl ? ReadFontTable() : keyword_ == k.colortbl ? ReadColorTable() : ReadStyleSheet();
  }
  if (keyword_ == k.pict) return ReadPicture(0);
  if (keyword_ == k.NeXTGraphic) return ReadAttachment();
  if (keyword_ == k.itap) nesting_ = std::max<int64_t>(value_ - 1, 0);
  if (!tolerant_ && (keyword_ == k.glmtcheck || keyword_ == k.glmtdiv || keyword_ == k.glmtmagic)) {
    if (g_.deleted) return kTokContinue;
    KinkData data;
    const bool divider = keyword_ != k.glmtcheck;
    data.word = divider ? uint32_t(std::max<int64_t>(value_ - 1, 0)) : uint32_t(value_ & 0xFF);
    if (!InsertAtomicKnot(divider ? kKnotDivider : kKnotCheckbox, 0, nullptr, data)) return kTokMemory;
    return kTokContinue;
  }
  if (keyword_ == k.ansicpg) docEncoding_ = StringEncodingForCodePage(int(value_));
  else if (keyword_ == k.mac) docEncoding_ = kFLEncodingMacRoman;
  else if (keyword_ == k.cocoartf) origin_ = kCocoa;
  else if (keyword_ == k.glmtignore) ignoreNext_ = true;
  else if (keyword_ == k.uc) g_.uc = std::clamp<int64_t>(value_, 0, 16);
  else if (keyword_ == k.field) pendingUrl_.clear();
  else if (keyword_ == k.fldrslt && !pendingUrl_.isEmpty() && !tolerant_) return ReadLinkResult();
  else if (keyword_ == k.upr) {
    // The next group is the ANSI alternative of the Unicode group that follows: skipped.
    while (pos_ < src_.size() && (src_[pos_] == u' ' || src_[pos_] == u'\r' || src_[pos_] == u'\n')) ++pos_;
    if (pos_ < src_.size() && src_[pos_] == u'{') {
      ++pos_;
      ++depth_;
      Push();
      return SkipGroup();
    }
  }
  return kTokContinue;
}

// Colour alphas: "cf" selects a colour of the table, each "glmtalpha" sets its alpha percentage.
uint32_t Reader::ReadAlphas() {
  int64_t selected = -1;
  const int start = depth_;
  const uint32_t result = WalkGroup(true, true, [&](uint32_t token) -> uint32_t {
    if (token == kTokContinue) return kTokContinue;
    if (token != kTokKeyword || ignorable_) return kWalkStop;
    if (keyword_ == K().cf) selected = value_;
    else if (keyword_ == K().glmtalpha && selected >= 0 && selected < int64_t(colors_.size()))
      colors_[size_t(selected)] =
          (colors_[size_t(selected)] & 0x00FFFFFF) | (uint32_t(std::clamp<int64_t>(value_, 0, 100)) << 24);
    return kTokContinue;
  });
  ignorable_ = false;
  if (result != kTokContinue) return result;
  return depth_ < start ? kTokContinue : SkipGroup();
}

uint32_t Reader::DispatchIgnorable() {
  const Keys& k = K();
  ignorable_ = false;
  if (tolerant_) return SkipGroup();
  if (keyword_ == k.generator) return ReadGenerator();
  if (keyword_ == k.fldinst) return ReadField();
  if (keyword_ == k.ud || keyword_ == k.shppict) return kTokContinue;
  if (keyword_ == k.glmttable) {
    // Our own writer's table group: its words set the properties of the table that follows.
    if (!Flush()) return kTokMemory;
    LeaveTable();
    InitTableProps();
    rowDefining_ = true;
    return kTokContinue;
  }
  if (keyword_ == k.glmtalpha) return ReadAlphas();
  if (keyword_ == k.glmtbackpic) return ReadBackgroundPicture();
  return SkipGroup();
}

// A page header or footer of the first chapter: its text, paragraph by paragraph, without its
// formatting. Only the first group of each kind counts.
uint32_t Reader::ReadChapterText(uint32_t slot) {
  const Keys& k = K();
  if (tolerant_ || doc_->kind == kDocClipboard || !chapterTexts_[slot].isNull()) return SkipGroup();
  QString text;
  const uint32_t result = WalkGroup(false, false, [&](uint32_t token) -> uint32_t {
    if (token == kTokText && !g_.deleted) text += text_;
    else if (token == kTokPara && !g_.deleted) text += u'\n';
    else if (token == kTokKeyword) {
      const uint32_t kw = keyword_;
      if ((kw < k.skipGroup.size() && k.skipGroup[kw]) || kw == k.pict || kw == k.shppict || kw == k.NeXTGraphic ||
          kw == k.fonttbl || kw == k.colortbl || kw == k.stylesheet || (kw < k.chapterSlot.size() && k.chapterSlot[kw]))
        return kWalkSkip;
    }
    return kTokContinue;
  });
  if (result != kTokContinue) return result;
  text.remove(QChar(0));
  text.remove(QChar(1));
  while (text.endsWith(u'\n')) text.chop(1);
  chapterTexts_[slot] = text.isNull() ? QStringLiteral("") : text;
  return kTokContinue;
}

// The document's background picture: the picture group inside.
uint32_t Reader::ReadBackgroundPicture() {
  const Keys& k = K();
  if (doc_->kind == kDocClipboard) return SkipGroup();
  return WalkGroup(false, false, [&](uint32_t token) -> uint32_t {
    if (token != kTokKeyword || keyword_ != k.pict) return kTokContinue;
    backgroundPicture_ = true;
    const uint32_t read = ReadPicture(0);
    backgroundPicture_ = false;
    return read;
  });
}

// Puts the header and footer texts read into the first chapter's slots.
bool Reader::StoreChapterTexts() {
  for (uint32_t slot = kChapterHeader; slot <= kChapterFirstFooter; ++slot) {
    const QString& text = chapterTexts_[slot];
    if (text.isEmpty()) continue;
    KnotInfo chapter;
    if (!FetchKnot(doc_, 0, &chapter, kKnotChapter) || chapter.first != 0 || slot + 1 >= chapter.kinkCount) return true;
    // The slot keeps its own last mark; the text replaces what was before it.
    const uint32_t at = chapter.kinkCps[slot + 1] - 1;
    if (at <= chapter.kinkCps[slot] || !IsParaMarkChar(doc_->charAt(at))) continue;
    DocRange old{doc_, chapter.kinkCps[slot] + 1, at};
    if (!old.empty() && !ReplaceRangeCore(&old, nullptr, nullptr, 0, true)) return false;
    DocRange range{doc_, old.first, old.first};
    PropRecord chars;
    SetDefaultProperties(doc_, kPropChar, &chars);
    chars.index = kGMNone;
    if (!InsertNewText(&range, reinterpret_cast<const char16_t*>(text.utf16()), uint32_t(text.size()), chars))
      return false;
  }
  return true;
}

// The first text of a document whose style sheet did not give Normal: Normal takes the font of
// RTF font 0 (else the text's own) and the text's size.
bool Reader::RebuildNormal() {
  const auto zero = fonts_.find(0);
  const uint16_t font = zero != fonts_.end() ? zero->second.index : g_.chars.get<uint16_t>(CharField::font);
  return SetNormalFont(doc_, font, g_.chars.get<int16_t>(CharField::size), false);
}

uint32_t Reader::Finish() {
  if (chapterSet_ && doc_->kind != kDocClipboard) {
    // The chapter words describe the document's first chapter.
    KnotInfo chapter;
    if (FetchKnot(doc_, 0, &chapter, kKnotChapter) && chapter.first == 0) {
      chapter_.index = kGMNone;
      const uint32_t index = IndexForProperties(doc_, &chapter_);
      if (index == kGMNone) return kRtfImportFailed;
      SetPropsOnKink(doc_, uint32_t(chapter.index), index);
    }
  }
  if (lastWasMark_ && insertCp_ > BodyStart(doc_) && IsParaMarkChar(doc_->charAt(insertCp_ - 1)) &&
      doc_->kind != kDocClipboard && insertCp_ + 1 < uint32_t(doc_->totalLength) &&
      IsParaMarkChar(doc_->charAt(insertCp_))) {
    // The last paragraph read ends the body: the body's own empty paragraph after it goes.
    DocRange extra{doc_, insertCp_, insertCp_ + 1};
    if (!ReplaceRangeCore(&extra, nullptr, nullptr, 0, true)) return kRtfImportFailed;
  } else if (!lastWasMark_) {
    if (!ApplyPara(insertCp_)) {
      Fail(kRtfImportFailed, kRtfMemoryMessage);
      return kRtfImportFailed;
    }
  }
  if (origin_ != kOwn && !tolerant_ && doc_->kind != kDocClipboard) FinishLastParagraph();
  if (!StoreChapterTexts()) return kRtfImportFailed;
  return kRtfImportOk;
}

// Other writers leave the body's last paragraph mark formatted as it happens to be: a paragraph
// with text gives its mark the formatting of its last character; an empty last paragraph starts
// plain, as new typing there would.
void Reader::FinishLastParagraph() {
  const uint32_t body = BodyStart(doc_);
  if (doc_->userLength < 1) return;
  const uint32_t mark = uint32_t(doc_->userLength - 1);
  if (mark < body || mark >= uint32_t(doc_->totalLength) || !IsParaMarkChar(doc_->charAt(mark))) return;
  const char16_t before = mark > body ? doc_->charAt(mark - 1) : char16_t(0x0A);
  if (!IsParaMarkChar(before) && !IsKinkChar(before)) {
    PropRecord chars;
    FetchCharProps(doc_, mark - 1, nullptr, &chars);
    chars.index = kGMNone;
    ApplyPropsToRange({doc_, mark, mark + 1}, chars);
    return;
  }
  if (IsKinkChar(before)) return;  // a table or other knot ends the text
  PropRecord para, chars;
  SetBaseProperties(kPropPara, &para);
  ApplyPropsToRange({doc_, mark, mark + 1}, para);
  SetBaseProperties(kPropChar, &chars);
  std::memcpy(CurrentPane(doc_)->insertionProps, chars.body, sizeof CurrentPane(doc_)->insertionProps);
}

uint32_t Reader::Run(QString* message) {
  const Keys& k = K();
  meter_ = FLReadingMeter::current();
  if (meter_) {
    meter_->allowSteps(src_.size() * kRtfStepsPerUnit + kRtfLeastSteps);
    walkedSeen_ = doc_->text.searchSteps();
  }
  insertCp_ = BodyStart(doc_);
  paraStart_ = insertCp_;
  SetBaseProperties(kPropChar, &g_.chars);
  g_.chars.set<int16_t>(CharField::size, kDefaultFontSize);
  SetBaseProperties(kPropPara, &g_.para);
  {
    PropRecord border;
    SetBaseProperties(kPropBorder, &border);
    std::memcpy(g_.border, border.body, BorderField::size);
  }
  g_.uc = 1;
  // The file's document words describe the whole document: what the document held before goes.
  if (doc_->kind != kDocClipboard && !tolerant_) SetBaseProperties(kPropDocument, &doc_->docProps);
  // So do its styles and frames (a reading retried after a failure finds those of the failure).
  doc_->frames.clear();
  if (!StripExtraStyles(doc_)) {
    Fail(kRtfImportFailed, kRtfMemoryMessage);
    return kRtfImportFailed;
  }
  SetDefaultProperties(doc_, kPropChapter, &chapter_);
  ResetFrame();
  InitTableProps();

  uint32_t token = Next(false);
  // "\rtf" without a version is taken as version 1, as other readers do.
  if (token != kTokKeyword || keyword_ != k.rtf || (hasValue_ && value_ != 1)) {
    Fail(kRtfImportFailed, kRtfMalformedMessage);
    if (message) *message = failMessage_;
    return kRtfImportFailed;
  }
  for (;;) {
    token = Next(false);
    if (token == kTokText) {
      if (!InsertText(text_)) token = kTokMemory;
      else continue;
    } else if (token == kTokPara) {
      if (!InsertBreak(mark_)) token = kTokMemory;
      else continue;
    } else if (token == kTokKeyword) {
      token = ignorable_ ? DispatchIgnorable() : Dispatch();
      if (token == kTokContinue) continue;
    }
    if (token == kTokContinue) continue;
    break;
  }
  if (!Flush() && token == kTokEnd) token = kTokMemory;
  if (token == kTokEnd) {
    if (!tolerant_ && result_ == kRtfImportOk) result_ = Finish();
    else if (tolerant_ && lastWasMark_) Finish();
  } else if (token == kTokMalformed) {
    Fail(kRtfImportMalformed, kRtfMalformedMessage);
  } else {
    // An edit refused: the engine's edits fail for want of memory (an allocation they caught and
    // gave up on), which the command reading the file must hear as such.
    if (token == kTokMemory) FLReadingMeter::NoteOutOfMemory();
    Fail(kRtfImportFailed, kRtfMemoryMessage);
  }
  // An allocation the engine was refused, even where the edit that met it went on without it, is
  // a reading that ran out of memory: what it made is not the file.
  if (meter_ && meter_->outOfMemory()) {
    result_ = kRtfImportFailed;
    failMessage_ = QString::fromLatin1(kRtfMemoryMessage);
  } else if (cost_ > 0 || (meter_ && meter_->passed())) {
    // Past the meter's bounds nothing else is told: the caller names the size.
    result_ = kRtfImportTooLarge;
    failMessage_.clear();
    if (meter_) cost_ = std::max(cost_, meter_->tooLarge() ? meter_->grown() : 0);
  }
  if (message) *message = failMessage_;
  return result_;
}

}  // namespace

uint32_t ImportRtf(GlimmetDoc* doc, const QString& rtf, int mode, QString* message, const QString& folder,
                   RtfImportReport* report) {
  if (!doc) return kRtfImportFailed;
  Reader reader(doc, rtf, mode, folder);
  const uint32_t result = reader.Run(message);
  if (report) {
    report->truncatedColumns = reader.truncated();
    report->ownWriter = reader.ownWriter();
    report->cost = reader.cost();
    report->picturesPastDecodeLimit = reader.picturesPastDecodeLimit();
  }
  return result;
}

uint32_t ImportRtfWithRetry(GlimmetDoc* doc, const QString& rtf, QString* message, const QString& folder,
                            RtfImportReport* report) {
  const uint32_t result = ImportRtf(doc, rtf, kRtfModeNormal, message, folder, report);
  if (result != kRtfImportMalformed || !doc || doc->kind == kDocClipboard) return result;
  // The failed attempt's text goes before the tolerant reading starts again.
  DocRange body{doc, BodyStart(doc), uint32_t(std::max(doc->userLength - 1, 0))};
  if (!body.empty() && !ReplaceRangeCore(&body, nullptr, nullptr, 0, true)) return kRtfImportFailed;
  return ImportRtf(doc, rtf, kRtfModeTolerant, message, folder, report);
}
