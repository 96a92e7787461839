#include "glimmet/storage/gmRtfReader.h"

#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmPane.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmRtfKeywords.h"
#include "platform/TextEncodings.h"

#include <QByteArray>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

enum Token : uint32_t { kTokEnd = 1, kTokKeyword = 3, kTokMemory = 4, kTokContinue = 5, kTokPara = 6,
                        kTokMalformed = 7, kTokText = 8 };

enum Origin { kForeign = 0, kOwn = 1, kCocoa = 2 };

// Text longer than this in one token is refused as out of memory.
constexpr qsizetype kMaxTokenUnits = 2000000;
constexpr int64_t kMaxValue = 0x7FFFFFFF;
constexpr uint32_t kMaxColumns = 101;

uint32_t Kw(const char* name) { return RtfKeywordForName(name); }

// The keywords the reader tells apart by identifier.
struct Keys {
  uint32_t rtf = Kw("rtf"), u = Kw("u"), uc = Kw("uc"), par = Kw("par"), line = Kw("line"), tab = Kw("tab"),
           page = Kw("page"), column = Kw("column"), cell = Kw("cell"), row = Kw("row"), nestcell = Kw("nestcell"),
           nestrow = Kw("nestrow"), bullet = Kw("bullet"), emdash = Kw("emdash"), endash = Kw("endash"),
           emspace = Kw("emspace"), enspace = Kw("enspace"), qmspace = Kw("qmspace"), lquote = Kw("lquote"),
           rquote = Kw("rquote"), ldblquote = Kw("ldblquote"), rdblquote = Kw("rdblquote"), bin = Kw("bin"),
           fonttbl = Kw("fonttbl"), colortbl = Kw("colortbl"), stylesheet = Kw("stylesheet"), f = Kw("f"),
           fcharset = Kw("fcharset"), cpg = Kw("cpg"), red = Kw("red"), green = Kw("green"), blue = Kw("blue"),
           ansicpg = Kw("ansicpg"), mac = Kw("mac"), cocoartf = Kw("cocoartf"), generator = Kw("generator"),
           fldinst = Kw("fldinst"), fldrslt = Kw("fldrslt"), field = Kw("field"), pict = Kw("pict"),
           shppict = Kw("shppict"), nonshppict = Kw("nonshppict"), NeXTGraphic = Kw("NeXTGraphic"),
           glmtignore = Kw("glmtignore"), ud = Kw("ud"), upr = Kw("upr"), deff = Kw("deff"), plain = Kw("plain"),
           pard = Kw("pard"), cf = Kw("cf"), glmtalpha = Kw("glmtalpha"), hyperlink = Kw("hyperlink"), glmtdiv = Kw("glmtdiv"), glmtmagic = Kw("glmtmagic");
  std::vector<bool> skipGroup;  // destinations whose group is skipped
  std::vector<bool> defaultOne;  // keywords whose value without a number is 1
  Keys() {
    skipGroup.assign(RtfKeywordCount() + 1, false);
    for (const char* name : {"annotation", "footer", "footerf", "footerl", "footerr", "footnote", "header", "headerf",
                             "headerl", "headerr", "info", "listtext", "tc", "tcn", "xe", "pict", "nonshppict",
                             "fldinst", "glmtprefix", "glmtsuffix"})
      skipGroup[Kw(name)] = true;
    defaultOne.assign(RtfKeywordCount() + 1, false);
    for (const char* name : {"b", "i", "outl", "shad", "glmtunleaded", "strike", "striked", "glmtnolink", "caps",
                             "scaps", "deleted", "keep", "keepn", "pagebb", "intbl", "trhdr", "ul", "uld", "uldash",
                             "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth", "ulthd", "ulthdash",
                             "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave", "v",
                             "nosupersub", "nowrap", "obliqueness", "glmtlstall", "titlepg", "facingp", "noproof"})
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
  FLStringEncoding fontEncoding = kFLEncodingNone;
  int64_t uc = 1;
  bool deleted = false;
  uint32_t tabAlign = 0;
  uint32_t tabLeader = 0;
};

class Reader {
 public:
  Reader(GlimmetDoc* doc, const QString& source, int mode) : doc_(doc), src_(source), tolerant_(mode == kRtfModeTolerant) {}
  uint32_t Run(QString* message);

 private:
  // Tokens.
  uint32_t Next(bool stopAtGroupEnd, bool semicolonEnds = false);
  uint32_t ReadKeyword(bool stopAtGroupEnd);
  uint32_t GatherHex();
  uint32_t GatherText(bool semicolonEnds);
  uint32_t SkipGroup();
  bool SkipUnit();
  QString Convert(const QByteArray& bytes) const;
  void Push();
  void Pop();

  // Actions.
  uint32_t Dispatch();
  uint32_t DispatchIgnorable();
  bool InsertText(const QString& text);
  bool Flush();
  bool InsertBreak(char16_t mark);
  bool ApplyPara(uint32_t cp);
  void CharKeyword();
  void ParaKeyword();
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
  void Fail(uint32_t result, const char* text) {
    if (failMessage_.isEmpty()) failMessage_ = QString::fromLatin1(text);
    result_ = result;
  }
  uint32_t Finish();

  GlimmetDoc* doc_;
  const QString& src_;
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
  FLStringEncoding docEncoding_ = kFLEncodingWindowsLatin1;

  uint32_t insertCp_ = 0;
  uint32_t paraStart_ = 0;
  bool lastWasMark_ = false;
  bool insertedAnything_ = false;

  QString pending_;  // text not inserted yet, with its formatting
  PropRecord pendingChars_;
  QString pendingUrl_;  // of a hyperlink field whose result comes next
  QHash<int64_t, FontEntry> fonts_;
  bool haveFontTable_ = false;
  int64_t defaultFont_ = -1;
  std::vector<Kolor> colors_;

  uint32_t result_ = kRtfImportOk;
  QString failMessage_;
};

// ---- Tokenizer ------------------------------------------------------------------------------

void Reader::Push() {
  stack_.push_back(g_);
}

void Reader::Pop() {
  if (stack_.empty()) return;
  g_ = std::move(stack_.back());
  stack_.pop_back();
}

// Counts one unit against the Unicode skip count; true when the unit is to be dropped.
bool Reader::SkipUnit() {
  if (skipCount_ <= 0) return false;
  --skipCount_;
  return true;
}

QString Reader::Convert(const QByteArray& bytes) const {
  const FLStringEncoding encoding = g_.fontEncoding != kFLEncodingNone ? g_.fontEncoding : docEncoding_;
  if (std::optional<QString> text = DecodeText(bytes, encoding, true)) return *text;
  return QString::fromLatin1(bytes);
}

uint32_t Reader::Next(bool stopAtGroupEnd, bool semicolonEnds) {
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
    text_ = QString(QChar(unit));
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
    // Binary data: skipped, never past the end of the text.
    const int64_t remaining = src_.size() - pos_;
    pos_ += qsizetype(std::clamp<int64_t>(value_, 0, remaining));
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
      text_ = QString(QChar(c.unit));
      return kTokText;
    }
  if (keyword_ == k.par || keyword_ == k.nestcell || keyword_ == k.nestrow) {
    mark_ = 0x0A;
    return kTokPara;
  }
  if (keyword_ == k.line) {
    if (doc_->kind == kDocClipboard) {
      mark_ = 0x0A;
      return kTokPara;
    }
    text_ = QString(QChar(0x2028));
    return kTokText;
  }
  if (keyword_ == k.page || keyword_ == k.column) {
    const char16_t mark = keyword_ == k.page ? 0x0B : 0x0C;
    if (origin_ != kOwn) return kTokContinue;
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
  if (keyword_ == k.cell) {
    // Tables are read as a paragraph per cell.
    mark_ = 0x0A;
    return kTokPara;
  }
  if (keyword_ == k.u) {
    char16_t unit = char16_t(uint16_t(int16_t(value_ & 0xFFFF)));
    if (origin_ == kForeign && unit >= 0xF020 && unit <= 0xF0FF) unit = 0x2022;
    skipCount_ = g_.uc;
    text_ = QString(QChar(unit));
    return kTokText;
  }
  ignorable_ = wasIgnorable;
  return kTokKeyword;
}

uint32_t Reader::GatherHex() {
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
    if (bytes.size() > kMaxTokenUnits) return kTokMemory;
  }
  if (bytes.isEmpty()) return Next(false);
  text_ = Convert(bytes);
  return kTokText;
}

uint32_t Reader::GatherText(bool semicolonEnds) {
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
    if (bytes.size() + wide.size() > kMaxTokenUnits) return kTokMemory;
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
  if (text.isEmpty() || g_.deleted) return true;
  if (!pending_.isEmpty() && std::memcmp(pendingChars_.body, g_.chars.body, PropBodySize(kPropChar)) != 0 &&
      !Flush())
    return false;
  if (pending_.isEmpty()) pendingChars_ = g_.chars;
  if (pending_.size() + text.size() > kMaxTokenUnits && !Flush()) return false;
  if (pending_.isEmpty()) pendingChars_ = g_.chars;
  pending_ += text;
  lastWasMark_ = false;
  insertedAnything_ = true;
  return true;
}

bool Reader::Flush() {
  if (pending_.isEmpty()) return true;
  PropRecord chars = pendingChars_;
  chars.index = kGMNone;
  DocRange at{doc_, insertCp_, insertCp_};
  const bool ok =
      InsertNewText(&at, reinterpret_cast<const char16_t*>(pending_.utf16()), uint32_t(pending_.size()), chars);
  pending_.clear();
  if (ok) insertCp_ = at.limit;
  return ok;
}

bool Reader::ApplyPara(uint32_t cp) {
  PropRecord para = g_.para;
  para.index = kGMNone;
  // The first line may not reach further left than the page edge.
  const int64_t left = para.get<int64_t>(ParaField::leftIndent);
  if (para.get<int64_t>(ParaField::firstIndent) < -left) para.set<int64_t>(ParaField::firstIndent, -left);
  return ApplyPropsToRange({doc_, cp, cp}, para);
}

bool Reader::InsertBreak(char16_t mark) {
  if (g_.deleted) return true;
  if (!Flush()) return false;
  PropRecord chars = g_.chars;
  chars.index = kGMNone;
  DocRange at{doc_, insertCp_, insertCp_};
  const char16_t unit[] = {mark};
  if (!InsertNewText(&at, unit, 1, chars)) return false;
  insertCp_ = at.limit;
  if (!ApplyPara(insertCp_ - 1)) return false;
  paraStart_ = insertCp_;
  lastWasMark_ = true;
  insertedAnything_ = true;
  return true;
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
  fonts_.insert(number, entry);
  haveFontTable_ = true;
}

uint32_t Reader::ReadFontTable() {
  const Keys& k = K();
  const int tableDepth = depth_;
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
  for (;;) {
    const uint32_t token = Next(true, true);
    if (token == kTokContinue) {
      if (depth_ < tableDepth) break;
      flush();
      continue;
    }
    if (token == kTokText) {
      if (number < 0) {
        if (!text_.trimmed().isEmpty()) return kTokMalformed;
        continue;
      }
      name += text_;
      if (sawSemicolon_) {
        const int64_t keep = number;
        flush();
        number = -2 - keep;  // the entry's name is complete; further text is dropped
      }
      continue;
    }
    if (token != kTokKeyword) return token == kTokPara ? kTokContinue : token;
    if (ignorable_) {
      ignorable_ = false;
      const uint32_t skipped = SkipGroup();
      if (skipped != kTokContinue) return skipped;
      if (depth_ < tableDepth) break;
      continue;
    }
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
  }
  flush();
  if (!haveFontTable_) return kTokMalformed;
  return kTokContinue;
}

uint32_t Reader::ReadColorTable() {
  const Keys& k = K();
  const int tableDepth = depth_;
  int red = 0, green = 0, blue = 0;
  for (;;) {
    const uint32_t token = Next(true, true);
    if (token == kTokContinue) {
      if (depth_ < tableDepth) break;
      continue;
    }
    if (token == kTokText) {
      if (sawSemicolon_) {
        colors_.push_back(MakeKolor(uint8_t(red), uint8_t(green), uint8_t(blue)));
        red = green = blue = 0;
      }
      continue;
    }
    if (token != kTokKeyword) return token;
    if (ignorable_) {
      ignorable_ = false;
      const uint32_t skipped = SkipGroup();
      if (skipped != kTokContinue) return skipped;
      if (depth_ < tableDepth) break;
      continue;
    }
    const int component = int(std::clamp<int64_t>(value_, 0, 255));
    if (keyword_ == k.red) red = component;
    else if (keyword_ == k.green) green = component;
    else if (keyword_ == k.blue) blue = component;
  }
  return kTokContinue;
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
  const int start = depth_;
  for (;;) {
    const uint32_t token = Next(true, true);
    if (token == kTokContinue && depth_ < start) break;
    if (token == kTokText) text += text_;
    else if (token != kTokContinue && token != kTokKeyword && token != kTokPara) return token;
  }
  if (text.startsWith(QLatin1String("Orvandel Glimmet "))) origin_ = kOwn;
  return kTokContinue;
}

// A field instruction: a HYPERLINK "url" becomes a link whose text is the field's result.
uint32_t Reader::ReadField() {
  const int start = depth_;
  QString instruction;
  for (;;) {
    const uint32_t token = Next(true);
    if (token == kTokContinue) {
      if (depth_ < start) break;
      continue;
    }
    if (token == kTokText) instruction += text_;
    else if (token == kTokKeyword) {
      if (keyword_ == K().hyperlink) instruction += QLatin1String("HYPERLINK ");
      if (ignorable_) {
        ignorable_ = false;
        const uint32_t skipped = SkipGroup();
        if (skipped != kTokContinue) return skipped;
        if (depth_ < start) break;
      }
    } else if (token != kTokPara) {
      return token;
    }
  }
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
  const int start = depth_;
  QString display;
  for (;;) {
    const uint32_t token = Next(true);
    if (token == kTokContinue) {
      if (depth_ < start) break;
      continue;
    }
    if (token == kTokText) display += text_;
    else if (token == kTokPara) display += u' ';
    else if (token == kTokKeyword && ignorable_) {
      ignorable_ = false;
      const uint32_t skipped = SkipGroup();
      if (skipped != kTokContinue) return skipped;
      if (depth_ < start) break;
    } else if (token != kTokKeyword) {
      return token;
    }
  }
  const QString url = pendingUrl_;
  pendingUrl_.clear();
  if (g_.deleted) return kTokContinue;
  Pane* pane = CurrentPane(doc_);
  if (!pane) return InsertText(display) ? kTokContinue : kTokMemory;
  if (!Flush()) return kTokMemory;
  pane->selFirst = pane->selLimit = int32_t(insertCp_);
  if (!InsertLink(doc_, url, &display)) return kTokMemory;
  insertCp_ = uint32_t(std::max(pane->selFirst, 0));
  lastWasMark_ = false;
  insertedAnything_ = true;
  return kTokContinue;
}

// ---- Keyword actions --------------------------------------------------------------------------

void Reader::CharKeyword() {
  const char* name = RtfKeywordName(keyword_);
  const QLatin1StringView w(name);
  PropRecord& c = g_.chars;
  const uint8_t on = value_ != 0 ? 1 : 0;
  auto set8 = [&](uint32_t field, uint8_t v) { c.body[field] = v; };
  if (w == "plain") {
    const uint16_t font = c.get<uint16_t>(CharField::font);
    SetBaseProperties(kPropChar, &c);
    const auto def = fonts_.constFind(defaultFont_);
    c.set<uint16_t>(CharField::font, def != fonts_.cend() ? def->index : font);
    c.set<int16_t>(CharField::size, kDefaultFontSize);
    g_.fontEncoding = def != fonts_.cend() ? def->encoding : kFLEncodingNone;
  } else if (w == "b") set8(CharField::bold, on);
  else if (w == "i" || w == "obliqueness") set8(CharField::italic, on);
  else if (w == "outl") set8(CharField::outline, on);
  else if (w == "shad") set8(CharField::shadow, on);
  else if (w == "glmtunleaded") set8(CharField::noLeading, on);
  else if (w == "strike" || w == "striked") set8(CharField::strike, uint8_t(value_));
  else if (w == "glmtnolink") set8(CharField::noLink, uint8_t(value_));
  else if (w == "deleted") g_.deleted = value_ != 0;
  else if (w == "caps" || w == "scaps") c.set<uint32_t>(CharField::caps, value_ == 0 ? 0 : w == "caps" ? 1 : 3);
  else if (w == "glmtlower") c.set<uint32_t>(CharField::caps, 2);
  else if (w == "glmttitlecap") c.set<uint32_t>(CharField::caps, 4);
  else if (w == "glmtnocap") c.set<uint32_t>(CharField::caps, 0);
  else if (w.startsWith(QLatin1StringView("ul"))) {
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
    const auto entry = fonts_.constFind(value_);
    c.set<uint16_t>(CharField::font, entry != fonts_.cend() ? entry->index : 0);
    g_.fontEncoding = entry != fonts_.cend() ? entry->encoding : kFLEncodingNone;
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

void Reader::ParaKeyword() {
  const QLatin1StringView w(RtfKeywordName(keyword_));
  PropRecord& p = g_.para;
  const int64_t emu = value_ * 635;  // twips
  if (w == "pard") {
    SetBaseProperties(kPropPara, &p);
    g_.tabAlign = g_.tabLeader = 0;
  } else if (w == "ql") p.set<uint32_t>(ParaField::alignment, 0);
  else if (w == "qc") p.set<uint32_t>(ParaField::alignment, 1);
  else if (w == "qj") p.set<uint32_t>(ParaField::alignment, 2);
  else if (w == "qr") p.set<uint32_t>(ParaField::alignment, 3);
  else if (w == "fi") p.set<int64_t>(ParaField::firstIndent, emu);
  else if (w == "li") p.set<int64_t>(ParaField::leftIndent, emu);
  else if (w == "ri") p.set<int64_t>(ParaField::rightIndent, emu);
  else if (w == "sb") p.set<int64_t>(ParaField::spaceBefore, emu);
  else if (w == "sa") p.set<int64_t>(ParaField::spaceAfter, emu);
  else if (w == "keep") p.body[ParaField::keep] = uint8_t(value_);
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
}

void Reader::DocKeyword() {
  const QLatin1StringView w(RtfKeywordName(keyword_));
  if (w == "deff") defaultFont_ = value_;
  if (doc_->kind == kDocClipboard) return;
  PropRecord& d = doc_->docProps;
  const int64_t emu = value_ * 635;
  if (w == "deftab") d.set<int64_t>(DocField::defTab, emu);
  else if (w == "margl") d.set<int64_t>(DocField::left, emu);
  else if (w == "margr") d.set<int64_t>(DocField::right, emu);
  else if (w == "margt") d.set<int64_t>(DocField::top, value_ < 0 ? -emu : emu);
  else if (w == "margb") d.set<int64_t>(DocField::bottom, value_ < 0 ? -emu : emu);
  else if (w == "gutter") d.set<int64_t>(DocField::gutter, emu);
}

// ---- Main loop --------------------------------------------------------------------------------

uint32_t Reader::Dispatch() {
  const Keys& k = K();
  const uint32_t kind = RtfKeywordKind(keyword_);
  if (kind != kRtfSpecialKind && !tolerant_) {
    switch (kind) {
      case kPropChar: CharKeyword(); return kTokContinue;
      case kPropPara: ParaKeyword(); return kTokContinue;
      case kPropDocument: DocKeyword(); return kTokContinue;
      case kPropList:
        Fail(kRtfImportMalformed, kRtfMalformedMessage);
        return kTokMalformed;
      default: return kTokContinue;
    }
  }
  if (keyword_ < k.skipGroup.size() && k.skipGroup[keyword_]) return SkipGroup();
  if (keyword_ == k.fonttbl || keyword_ == k.colortbl || keyword_ == k.stylesheet) {
    if (tolerant_ || keyword_ == k.stylesheet) return SkipGroup();
    return keyword_ == k.fonttbl ? ReadFontTable() : ReadColorTable();
  }
  if (keyword_ == k.ansicpg) docEncoding_ = StringEncodingForCodePage(int(value_));
  else if (keyword_ == k.mac) docEncoding_ = kFLEncodingMacRoman;
  else if (keyword_ == k.cocoartf) origin_ = kCocoa;
  else if (keyword_ == k.glmtignore) ignoreNext_ = true;
  else if (keyword_ == k.uc) g_.uc = std::clamp<int64_t>(value_, 0, 16);
  else if (keyword_ == k.NeXTGraphic) return SkipGroup();
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
  const int start = depth_;
  int64_t selected = -1;
  for (;;) {
    const uint32_t token = Next(true, true);
    if (token == kTokContinue && depth_ < start) return kTokContinue;
    if (token != kTokKeyword || ignorable_) break;
    if (keyword_ == K().cf) selected = value_;
    else if (keyword_ == K().glmtalpha && selected >= 0 && selected < int64_t(colors_.size()))
      colors_[size_t(selected)] = (colors_[size_t(selected)] & 0x00FFFFFF) | (uint32_t(std::clamp<int64_t>(value_, 0, 100)) << 24);
  }
  ignorable_ = false;
  return depth_ < start ? kTokContinue : SkipGroup();
}

uint32_t Reader::DispatchIgnorable() {
  const Keys& k = K();
  ignorable_ = false;
  if (tolerant_) return SkipGroup();
  if (keyword_ == k.generator) return ReadGenerator();
  if (keyword_ == k.fldinst) return ReadField();
  if (keyword_ == k.ud) return kTokContinue;
  if (keyword_ == k.glmtalpha) return ReadAlphas();
  return SkipGroup();
}

uint32_t Reader::Finish() {
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
  return kRtfImportOk;
}

uint32_t Reader::Run(QString* message) {
  const Keys& k = K();
  insertCp_ = BodyStart(doc_);
  paraStart_ = insertCp_;
  SetBaseProperties(kPropChar, &g_.chars);
  g_.chars.set<int16_t>(CharField::size, kDefaultFontSize);
  SetBaseProperties(kPropPara, &g_.para);
  g_.uc = 1;

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
    Fail(kRtfImportFailed, kRtfMemoryMessage);
  }
  if (message) *message = failMessage_;
  return result_;
}

}  // namespace

uint32_t ImportRtf(GlimmetDoc* doc, const QString& rtf, int mode, QString* message) {
  if (!doc) return kRtfImportFailed;
  Reader reader(doc, rtf, mode);
  return reader.Run(message);
}

uint32_t ImportRtfWithRetry(GlimmetDoc* doc, const QString& rtf, QString* message) {
  const uint32_t result = ImportRtf(doc, rtf, kRtfModeNormal, message);
  if (result != kRtfImportMalformed || !doc || doc->kind == kDocClipboard) return result;
  // The failed attempt's text goes before the tolerant reading starts again.
  DocRange body{doc, BodyStart(doc), uint32_t(std::max(doc->userLength - 1, 0))};
  if (!body.empty() && !ReplaceRangeCore(&body, nullptr, nullptr, 0, true)) return kRtfImportFailed;
  return ImportRtf(doc, rtf, kRtfModeTolerant, message);
}
