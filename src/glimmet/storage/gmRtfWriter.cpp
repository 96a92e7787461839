#include "glimmet/storage/gmRtfWriter.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flImageSaving.h"
#include "framlet/foundation/flImageSupport.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmAtoms.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmRtfKeywords.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

int64_t EmuToTwips(int64_t emu) {
  // 635 EMU to the twip, rounded half away from zero.
  return emu >= 0 ? (emu + 317) / 635 : -((-emu + 317) / 635);
}

const char* RtfFontFamilyWord(FLFontFamilyClass family) {
  switch (family) {
    case FLFontFamilyClass::sansSerif: return "fswiss";
    case FLFontFamilyClass::oldStyleSerifs:
    case FLFontFamilyClass::transitionalSerifs:
    case FLFontFamilyClass::clarendonSerifs:
    case FLFontFamilyClass::slabSerifs:
    case FLFontFamilyClass::freeformSerifs: return "froman";
    case FLFontFamilyClass::modernSerifs: return "fmodern";
    case FLFontFamilyClass::ornamentals: return "fdecor";
    case FLFontFamilyClass::scripts: return "fscript";
    case FLFontFamilyClass::symbolic: return "ftech";
    case FLFontFamilyClass::unknown: break;
  }
  return "fnil";
}

namespace {

// How an atom's value is written (the atom descriptor's RTF form).
enum : uint32_t {
  kFormNone = 0,
  kFormOnOff = 2,
  kFormOneIfSet = 3,
  kFormLineStyle = 5,
  kFormBorderSides = 6,
  kFormBorderWidth = 7,
  kFormColor = 8,
  kFormEmuTwips = 14,
  kFormNumber = 15,
  kFormNumberFormat = 16,
  kFormSpecial = 21,
  kFormText = 22,
};

// Character atoms written by their own rules.
constexpr uint32_t kCharExpandAtom = 13, kCharOffsetAtom = 14;
constexpr uint32_t kParaFirstLineAtom = 11, kParaMultipleAtom = 37;
constexpr uint32_t kParaBackAtom = 30;
constexpr uint32_t kChapterStartAtom = 2, kChapterPagePosAtom = 6;
constexpr uint32_t kTableAlignAtom = 4, kTableBackAtom = 30, kTableFirstRowAtom = 52;
constexpr uint32_t kFrameBackAtom = 22;
constexpr uint32_t kDocTopAtom = 20, kDocBottomAtom = 22, kDocImageAtom = 28;
constexpr uint32_t kDividerKinds = 11;
constexpr uint32_t kPictureFitScale = 16383;

struct MoleculeFree {
  void operator()(GMMolecule* molecule) const { FreeMolecule(molecule); }
};

// A bordered paragraph always names its line style and width: the base is made to differ there.
void ForceBorderWords(const PropRecord& para, PropRecord* base) {
  if (para.get<uint32_t>(ParaField::border + BorderField::kind) == 0) return;
  base->set<uint32_t>(ParaField::border + BorderField::line, ~para.get<uint32_t>(ParaField::border + BorderField::line));
  base->set<int64_t>(ParaField::border + BorderField::width, ~para.get<int64_t>(ParaField::border + BorderField::width));
}

const char* TableAlignWord(uint32_t align) {
  static const char* const kAlign[] = {"trql", "trqc", "trql", "trqr"};
  if (align >= std::size(kAlign)) {
    LogAssert("Bad horzAlign (tableProps)", __func__, __FILE__, __LINE__);
    return "trql";
  }
  return kAlign[align];
}

template <typename T>
T ValueAs(const uint8_t* value) {
  T out;
  std::memcpy(&out, value, sizeof out);
  return out;
}

class Writer {
 public:
  Writer(const DocRange& range, const QString& folder, uint32_t options)
      : doc_(range.doc), range_(range), folder_(folder), options_(options) {}
  QString Run();

 private:
  // Output.
  void Word(const char* word) {
    out_ += u'\\';
    out_ += QLatin1StringView(word);
    delimiter_ = true;
  }
  void Word(const char* word, int64_t value) {
    Word(word);
    out_ += QString::number(value);
  }
  void Key(uint32_t keyword) {
    if (keyword == 0) {
      LogAssert("nilRtfKey control word", __func__, __FILE__, __LINE__);
      return;
    }
    Word(RtfKeywordName(keyword));
  }
  void Raw(const char* text) {
    out_ += QLatin1StringView(text);
    delimiter_ = false;
  }
  void Text(const char16_t* text, uint32_t count);
  void Text(const QString& text) { Text(reinterpret_cast<const char16_t*>(text.utf16()), uint32_t(text.size())); }
  void Mark() { Raw("\\\n"); }

  // Tables of the header.
  void AddColor(Kolor kolor, bool foreground);
  void RegisterChars(const PropRecord& chars);
  void RegisterBorder(const PropRecord& record, uint32_t offset);
  void Register();
  int64_t ColorIndex(Kolor kolor) const;
  void Header();
  void StyleSheet();
  void DocumentProps();

  // Properties as keywords.
  void Props(const PropRecord& record, const PropRecord& base, uint32_t skipAtom = 0);
  // The same for an interned record, remembering the words by key (the record's index and how
  // its base was made): documents repeat a few formattings many times.
  // The base is made only when the words are not known yet.
  template <typename MakeBase>
  void CachedProps(const PropRecord& record, const MakeBase& makeBase, uint32_t skipAtom, uint64_t key);
  void Atom(uint32_t kind, const GMAtom& atom, const uint8_t* value, const PropRecord& record);
  void SpecialAtom(uint32_t kind, const GMAtom& atom, const uint8_t* value, const PropRecord& record);
  void FirstLineAtom(uint32_t charAtom);
  void ColumnWidth(const GMAtom& atom, const uint8_t* value) {
    Word("colno", atom.arrayIndex);
    Word("colw", EmuToTwips(ValueAs<int64_t>(value)));
  }

  // The body.
  void Body();
  uint32_t MarkOf(GMTextStore::Cursor cursor);
  void StartPara(uint32_t mark);
  void FrameWords(uint32_t mark);
  void BackgroundPicture(uint32_t index);
  void FrameSpecial(const GMAtom& atom, const uint8_t* value, const PropRecord& record);
  void RunProps(const PropRecord& chars);
  PropRecord WithAbsoluteSize(const PropRecord& chars) const;
  void CloseGroup();
  void EndPara(uint32_t markCp, char16_t mark);
  uint32_t Knot(uint32_t cp, const KnotEntry& entry);
  uint32_t KinkMark(uint32_t cp, const KnotEntry& entry);
  void Table(const KnotInfo& table);
  void Row(const KnotInfo& row);
  void Link(const KnotInfo& link);
  QString VariableText(uint32_t cp, const KnotEntry& entry) const;
  // asData: as hex data even in a package (the background picture has no attachment of its own).
  void Picture(const KnotEntry& entry, bool asData = false);
  void ChapterText(const char* keyword, const KnotInfo& chapter, uint32_t slot);
  void PictureProps(const KnotEntry& entry);
  QString PictureFile(GMPicture& picture, const FLImage* image);
  const PropRecord& CharsAt(uint32_t cp) const;  // valid until the next call

  GlimmetDoc* doc_;
  DocRange range_;
  QString folder_;  // of an RTFD package, where pictures become files
  uint32_t options_;
  uint32_t pictureCount_ = 0;
  QString out_;
  bool delimiter_ = false;
  std::vector<Kolor> colors_;
  std::set<uint16_t> fonts_;

  PropRecord plain_;      // what "plain" leaves: the base with the default size
  PropRecord groupChars_;  // the formatting of the open group (its body)
  mutable std::optional<PropRecord> charsAt_;  // CharsAt's record where it is not the document's
  std::optional<PropRecord> runChars_;       // the body walk's, likewise
  // Where the last lookups found their entries: the writer walks the text from start to end.
  mutable GMCpHints charsAtHints_;
  GMCpHints runHints_;
  uint32_t paraHint_ = 0;
  uint32_t knotHint_ = 0;
  bool groupOpen_ = false;
  bool paraOpen_ = false;
  bool fontOwed_ = false;  // the paragraph's first run writes its font
  uint16_t paraStyle_ = 0;  // the style of the paragraph being written
  bool inTable_ = false;
  uint32_t markedThrough_ = kGMNone;  // one past the last paragraph mark written
  uint32_t lastFrame_ = kGMNone;  // the last entry of the frame list looked at
  PropRecord tableProps_;
  uint32_t chapters_ = 0;
  const GMTextStore::Cursor* cursor_ = nullptr;  // the body walk's, at the cp being written
  std::unordered_map<uint64_t, std::pair<QString, bool>> cachedWords_;
};

void Writer::Text(const char16_t* text, uint32_t count) {
  uint32_t i = 0;
  while (i < count) {
    // Plain ASCII goes out in one piece.
    uint32_t j = i;
    while (j < count && text[j] >= 32 && text[j] < 128 && text[j] != '\\' && text[j] != '{' && text[j] != '}') ++j;
    if (j > i) {
      if (delimiter_) out_ += u' ';
      delimiter_ = false;
      out_.append(reinterpret_cast<const QChar*>(text + i), qsizetype(j - i));
      i = j;
      continue;
    }
    const char16_t c = text[i++];
    switch (c) {
      case 0x0000: case 0x0001: continue;
      case 0x0009: Word("tab"); continue;
      case 0x00A0: Raw("\\~"); continue;
      case 0x2011: Raw("\\_"); continue;
      case 0x2013: Word("endash"); continue;
      case 0x2014: Word("emdash"); continue;
      case 0x2018: Word("lquote"); continue;
      case 0x2019: Word("rquote"); continue;
      case 0x201C: Word("ldblquote"); continue;
      case 0x201D: Word("rdblquote"); continue;
      case 0x2022: Word("bullet"); continue;
      case 0x2028: Word("line"); continue;
      case 0x000A: case 0x000B: case 0x000C:
        LogAssert("PARA_BREAK written as text", __func__, __FILE__, __LINE__);
        Mark();
        continue;
      case '\\': Raw("\\\\"); continue;
      case '{': Raw("\\{"); continue;
      case '}': Raw("\\}"); continue;
      default: break;
    }
    if (c < 32) {
      out_ += QStringLiteral("\\'%1").arg(int(c), 2, 16, QLatin1Char('0'));
      delimiter_ = false;
      continue;
    }
    // RTF numbers are signed 16-bit: units above 32767 are written negative.
    Word("u", c > 32767 ? int64_t(c) - 65536 : int64_t(c));
  }
}

// ---- Colour and font tables -------------------------------------------------------------------

void Writer::AddColor(Kolor kolor, bool foreground) {
  if (!KolorIsColor(kolor)) {
    if (!foreground) return;
    kolor = 0;
  }
  if (std::find(colors_.begin(), colors_.end(), kolor) == colors_.end()) colors_.push_back(kolor);
}

void Writer::RegisterChars(const PropRecord& chars) {
  AddColor(chars.get<uint32_t>(CharField::color), true);
  AddColor(chars.get<uint32_t>(CharField::backColor), false);
  fonts_.insert(chars.get<uint16_t>(CharField::font));
}

void Writer::RegisterBorder(const PropRecord& record, uint32_t offset) {
  AddColor(record.get<uint32_t>(offset + BorderField::lineColor), false);
  AddColor(record.get<uint32_t>(offset + BorderField::innerColor), true);
  AddColor(record.get<uint32_t>(offset + BorderField::backColor), true);
}

void Writer::Register() {
  colors_ = {g_blackKolor, kWhiteKolor};
  const PropRecord& d = doc_->docProps;
  AddColor(d.get<uint32_t>(DocField::back), false);
  AddColor(d.get<uint32_t>(DocField::btColor), true);
  for (uint32_t i = doc_->charRuns.count(); i-- > 0;)
    if (const PropRecord* chars = PropertiesAtIndex(doc_, doc_->charRuns.at(i)); chars && chars->kind == kPropChar)
      RegisterChars(*chars);
  for (const GMStyle& style : doc_->styles) {
    for (uint32_t index : {style.first, style.second})
      if (const PropRecord* chars = PropertiesAtIndex(doc_, index); chars && chars->kind == kPropChar)
        RegisterChars(*chars);
  }
  for (uint32_t i = doc_->paraRuns.count(); i-- > 0;) {
    const PropRecord* para = PropertiesAtIndex(doc_, doc_->paraRuns.at(i));
    if (!para || para->kind != kPropPara) continue;
    if (para->get<uint32_t>(ParaField::border + BorderField::kind) != 0) RegisterBorder(*para, ParaField::border);
    else AddColor(para->get<uint32_t>(ParaField::border + BorderField::backColor), false);
  }
  for (uint32_t i = 0; i < doc_->knots.count(); ++i) {
    const KnotEntry& entry = doc_->knots.at(i);
    if (entry.type == kKnotTable && entry.kink == kKinkBegin) {
      const PropRecord* table = PropertiesAtIndex(doc_, entry.propIndex);
      if (!table || table->kind != kPropTable) continue;
      AddColor(table->get<uint32_t>(kTableBorderOffset + BorderField::lineColor), false);
      AddColor(table->get<uint32_t>(kTableBorderOffset + BorderField::innerColor), false);
      AddColor(table->get<uint32_t>(TableProp::color), true);
      if (table->body[TableProp::stripes]) AddColor(table->get<uint32_t>(TableProp::stripeColor), false);
    } else if (entry.type == kKnotRow && entry.kink != kKinkBegin) {
      AddColor(entry.cellColor(), false);
    } else if (entry.type == kKnotPicture) {
      const PropRecord* border = PropertiesAtIndex(doc_, entry.propIndex);
      if (border && border->kind == kPropBorder && border->get<uint32_t>(BorderField::kind) != 0) {
        AddColor(border->get<uint32_t>(BorderField::lineColor), false);
        AddColor(border->get<uint32_t>(BorderField::innerColor), false);
        AddColor(border->get<uint32_t>(BorderField::backColor), true);
      }
    }
  }
}

int64_t Writer::ColorIndex(Kolor kolor) const {
  if (!KolorIsColor(kolor)) kolor = 0;
  const auto it = std::find(colors_.begin(), colors_.end(), kolor);
  return it == colors_.end() ? 0 : int64_t(it - colors_.begin());
}

void Writer::Header() {
  Raw("{");
  Word("rtf", 1);
  Word("ansi");
  Word("ansicpg", 1252);
  Word("uc", 0);
  Raw("{\\*\\generator ");
  out_ += QLatin1StringView(kRtfGeneratorText) + QLatin1StringView(kRtfWriterVersion);
  Raw("}\n{");
  Word("fonttbl");
  for (uint16_t index : fonts_) {
    Raw("{");
    Word("f", index);
    Word(RtfFontFamilyWord(FontFamilyClass(FontNameAtIndex(index))));
    Text(FontNameAtIndex(index));
    Raw(";}");
  }
  Raw("}\n{");
  Word("colortbl");
  Raw(";");
  bool alpha = false;
  for (size_t i = 1; i < colors_.size(); ++i) {
    const Kolor kolor = colors_[i];
    Word("red", kolor & 0xFF);
    Word("green", (kolor >> 8) & 0xFF);
    Word("blue", (kolor >> 16) & 0xFF);
    Raw(";");
    alpha = alpha || (kolor >> 24) != 100;
  }
  Raw("}\n");
  if (alpha) {
    Raw("{\\*");
    Word("glmtalpha");
    for (size_t i = 1; i < colors_.size(); ++i) {
      const uint32_t a = colors_[i] >> 24;
      if (a == 100) continue;
      Word("cf", int64_t(i));
      Word("glmtalpha", a > 100 ? 0 : a);
    }
    Raw(";}\n");
  }
  StyleSheet();
  if (!(options_ & kRtfForPasteboard)) DocumentProps();
}

void Writer::StyleSheet() {
  Raw("{");
  Word("stylesheet");
  for (uint32_t s = 0; s < doc_->styles.size(); ++s) {
    const GMStyle& style = doc_->styles[s];
    if (style.kind == kPropList || style.kind >= 9 || style.kind == kPropNone || style.kind == kPropBorder ||
        style.kind == kPropDocument)
      continue;
    const PropRecord* first = PropertiesAtIndex(doc_, style.first);
    if (!first || first->kind != style.kind) continue;
    Raw("\n{");
    if (style.kind == kPropChar || style.kind == kPropFrame || style.kind == kPropTable) Raw("\\*");
    static const char* const kKindWords[] = {"cs", "s", "ds", nullptr, "glmtts"};
    if (kKindWords[style.kind]) Word(kKindWords[style.kind], s);
    Word("sbasedon", s == 0 ? 222 : int64_t(style.basedOn));
    if (style.kind == kPropChar) Word("additive");
    if (style.kind == kPropPara) Word("snext", style.next == kStyleNone || style.next == s ? 32767 : int64_t(style.next));
    PropRecord base;
    SetBaseProperties(style.kind, &base);
    if (style.kind == kPropPara) ForceBorderWords(*first, &base);
    Props(*first, base, kStyleAtom);
    if (style.kind == kPropPara) {
      if (const PropRecord* chars = PropertiesAtIndex(doc_, style.second); chars && chars->kind == kPropChar) {
        PropRecord charBase = plain_;
        if (s == 0) charBase.set<uint16_t>(CharField::font, ~chars->get<uint16_t>(CharField::font));
        Props(*chars, charBase, kStyleAtom);
      }
    }
    if (s == 0 && !doc_->tableCps.empty()) {
      PropRecord table, tableBase;
      SetDefaultProperties(doc_, kPropTable, &table);
      SetBaseProperties(kPropTable, &tableBase);
      Raw("\n{\\*");
      Word("glmtxs");
      Raw("\n");
      Word("glmtdest", 4);
      Props(table, tableBase);
      Raw("}");
    }
    if (delimiter_) out_ += u' ';
    delimiter_ = false;
    Text(style.name);
    Raw(";}");
  }
  Raw("\n}\n");
}

void Writer::DocumentProps() {
  PropRecord props = doc_->docProps;
  PropRecord base;
  SetBaseProperties(kPropDocument, &base);
  base.set<int64_t>(DocField::left, 914400);
  base.set<int64_t>(DocField::right, 914400);
  base.set<uint32_t>(DocField::btColor, g_blackKolor);
  base.set<uint32_t>(DocField::back, kNoKolor);
  base.set<int32_t>(DocField::opacity, 100);
  base.set<int32_t>(DocField::scale, 1000);
  // The default tab and the top and bottom margins are always written.
  for (uint32_t field : {DocField::defTab, DocField::top, DocField::bottom})
    base.set<int64_t>(field, ~props.get<int64_t>(field));
  if (props.get<int32_t>(DocField::image) < 0) {
    props.set<int32_t>(DocField::opacity, 100);
    props.set<int32_t>(DocField::scale, 1000);
    props.body[DocField::tile] = 0;
  }
  // A background picture that the document no longer holds is not written.
  if (props.get<uint32_t>(DocField::image) >= doc_->pictures.size()) props.set<uint32_t>(DocField::image, kGMNone);
  base.set<uint32_t>(DocField::image, kGMNone);
  Props(props, base);
  Raw("\n");
}

// ---- Properties as keywords -------------------------------------------------------------------

void Writer::Props(const PropRecord& record, const PropRecord& base, uint32_t skipAtom) {
  std::unique_ptr<GMMolecule, MoleculeFree> molecule(MoleculeWithDifferences(record, base));
  if (!molecule) return;
  for (const GMAtomEntry& entry : MoleculeEntries(*molecule)) {
    if (entry.atom == skipAtom && skipAtom != 0) continue;
    const GMAtom* atom = AtomFor(entry.kind, entry.atom);
    if (!atom || !atom->used) continue;
    Atom(entry.kind, *atom, entry.value, record);
  }
}

template <typename MakeBase>
void Writer::CachedProps(const PropRecord& record, const MakeBase& makeBase, uint32_t skipAtom, uint64_t key) {
  if (record.index == kGMNone) {
    Props(record, makeBase(), skipAtom);
    return;
  }
  key = (key << 32) | record.index;
  const auto found = cachedWords_.find(key);
  if (found != cachedWords_.end()) {
    if (found->second.first.isEmpty()) return;
    out_ += found->second.first;
    delimiter_ = found->second.second;
    return;
  }
  const qsizetype start = out_.size();
  const bool delimiter = delimiter_;
  Props(record, makeBase(), skipAtom);
  const QString words = out_.mid(start);
  cachedWords_.emplace(key, std::make_pair(words, words.isEmpty() ? delimiter : delimiter_));
}

void Writer::Atom(uint32_t kind, const GMAtom& atom, const uint8_t* value, const PropRecord& record) {
  const uint32_t form = atom.rtfForm;
  if (form == kFormSpecial) {
    SpecialAtom(kind, atom, value, record);
    return;
  }
  if (form == kFormText) return;
  if (form == kFormNumberFormat) {
    if (kind == kPropChapter) {
      static const char* const kFormats[] = {"pgndec",    "pgnucrm",    "pgnlcrm",     "pgnucltr",
                                             "pgnlcltr",  "glmtncord",  "glmtncordtxt", "glmtnccardtxt",
                                             "glmtncchi", "glmtnchex",  "glmtncoct",   "glmtncbin"};
      const int32_t format = ValueAs<int32_t>(value);
      if (format >= 0 && format < int32_t(std::size(kFormats))) Word(kFormats[format]);
    } else if (kind != kPropDocument) {
      LogAssert("Bad propType for numberFormat", __func__, __FILE__, __LINE__);
    }
    return;
  }
  if (form == kFormLineStyle) {
    static const char* const kLines[] = {"brdrs", "brdrdb", "brdrdot", "brdrdash", "brdrwavydb", "brdrwavy", "glmtbdrgrad"};
    const uint32_t line = ValueAs<uint32_t>(value);
    if (line >= std::size(kLines)) LogAssert("Bad lineStyle", __func__, __FILE__, __LINE__);
    Word(line < std::size(kLines) ? kLines[line] : "brdrs");
    return;
  }
  if (form == kFormBorderSides) {
    static const char* const kSides[][2] = {
        {"brdrnil", nullptr}, {"brdrl", nullptr},          {"brdrr", nullptr},          {"brdrl", "glmtbdrlr"},
        {"brdrt", nullptr},   {"brdrb", nullptr},          {"brdrb", "glmtbdrtb"},      {"box", nullptr},
        {"brdrbtw", nullptr}, {"brdrbtw", "box"},          {"box", "glmtbdrrow"},       {"box", "glmtbdrcol"},
        {"box", "glmtbdrrowcol"}, {"brdrbtw", "glmtbdrrowone"}, {"brdrbtw", "glmtbdrrowoneb"},
        {"brdrbtw", "glmtbdrrowcols"}};
    uint32_t sides = ValueAs<uint32_t>(value);
    if (sides >= std::size(kSides)) {
      LogAssert("bad borderKind", __func__, __FILE__, __LINE__);
      sides = 0;
    }
    Word(kSides[sides][0]);
    if (kSides[sides][1]) Word(kSides[sides][1]);
    return;
  }
  if (form == kFormBorderWidth) {
    const int64_t width = ValueAs<int64_t>(value);
    if (width == 0) Word("brdrhair");
    else Word("brdrw", EmuToTwips(width));
    return;
  }
  if (atom.rtfKeyword == 0) return;
  const char* word = RtfKeywordName(atom.rtfKeyword);
  switch (form) {
    case kFormNone:
      Word(word);
      return;
    case kFormOnOff:
      if (value[0]) Word(word);
      else Word(word, 0);
      return;
    case kFormOneIfSet:
      if (value[0]) Word(word, 1);
      else Word(word);
      return;
    case kFormColor: {
      const Kolor kolor = ValueAs<uint32_t>(value);
      const bool always = (kind == kPropChar && atom.number == CharAtom::color) ||
                          (kind == kPropPara && atom.number == kParaBackAtom) ||
                          (kind == kPropFrame && atom.number == kFrameBackAtom) ||
                          (kind == kPropTable && atom.number == kTableBackAtom);
      if (!KolorIsColor(kolor) && !always) return;
      Word(word, ColorIndex(kolor));
      if (kind == kPropChar && atom.number == CharAtom::backColor) {
        Word("chshdng", 0);
        Word("chcfpat", ColorIndex(kolor));
      }
      return;
    }
    case kFormEmuTwips:
      Word(word, EmuToTwips(ValueAs<int64_t>(value)));
      return;
    default: {
      int64_t number = 0;
      if (atom.valueSize == 1) number = value[0];
      else if (atom.valueSize == 2) number = ValueAs<uint16_t>(value);
      else if (atom.valueSize == 4) number = ValueAs<int32_t>(value);
      else if (atom.valueSize == 8) number = ValueAs<int64_t>(value);
      if (number == 0x7FFFFFFF) LogAssert("Uninitialized value", __func__, __FILE__, __LINE__);
      Word(word, number);
      return;
    }
  }
}

void Writer::FirstLineAtom(uint32_t charAtom) {
  Raw("{\\*");
  Word("glmtfirstline");
  const char* word = "b";
  if (charAtom >= g_atomCounts[kPropChar]) {
    LogAssert("Bad atom for first line", __func__, __FILE__, __LINE__);
  } else if (charAtom == CharAtom::caps) {
    word = "scaps";
  } else if (const GMAtom* atom = AtomFor(kPropChar, charAtom); atom && atom->rtfKeyword) {
    word = RtfKeywordName(atom->rtfKeyword);
  } else {
    LogAssert("Bad keyword for first line", __func__, __FILE__, __LINE__);
  }
  Word(word);
  Raw("}");
}

void Writer::SpecialAtom(uint32_t kind, const GMAtom& atom, const uint8_t* value, const PropRecord& record) {
  const uint32_t n = atom.number;
  if (kind == kPropChar) {
    if (n == CharAtom::underline) {
      static const char* const kUnderline[] = {"ulnone", "ul", "ulw", "uldb", "uld", "uldash", "ulth"};
      const uint32_t underline = ValueAs<uint32_t>(value);
      if (underline >= std::size(kUnderline)) LogAssert("bad underline", __func__, __FILE__, __LINE__);
      Word(underline < std::size(kUnderline) ? kUnderline[underline] : "ulnone");
    } else if (n == CharAtom::caps) {
      static const char* const kCaps[] = {"glmtnocap", "caps", "glmtlower", "scaps", "glmttitlecap"};
      const uint32_t caps = ValueAs<uint32_t>(value);
      if (caps >= std::size(kCaps)) LogAssert("bad capStyle", __func__, __FILE__, __LINE__);
      if (caps == 0 || caps >= std::size(kCaps)) {
        Word("glmtnocap");
        Word("caps", 0);
        Word("scaps", 0);
      } else {
        Word(kCaps[caps]);
      }
    } else if (n == CharAtom::relSize) {
      const int16_t relative = ValueAs<int16_t>(value);
      const int64_t offset = record.get<int64_t>(CharField::subscript);
      if (relative < 0 && offset != 0) Word(offset < 0 ? "super" : "sub");
      Word("glmtrelsize", relative);
    } else if (n == CharAtom::size) {
      Word("fs", ValueAs<int16_t>(value) / 2);
    } else if (n == kCharExpandAtom) {
      const int64_t expand = ValueAs<int64_t>(value);
      Word("expnd", std::clamp<int64_t>(expand / 3175, -7, 56));
      Word("expndtw", EmuToTwips(expand));
    } else if (n == kCharOffsetAtom) {
      const int64_t halfPoints = ValueAs<int64_t>(value) * 2 / 12700;
      if (halfPoints >= 1) Word("dn", halfPoints);
      else Word("up", -halfPoints);
    } else {
      LogAssert("bad charProps atom", __func__, __FILE__, __LINE__);
    }
    return;
  }
  if (kind == kPropPara) {
    if (n == ParaAtom::align) {
      static const char* const kAlign[] = {"ql", "qc", "qj", "qr"};
      const uint32_t align = ValueAs<uint32_t>(value);
      if (align >= std::size(kAlign)) LogAssert("Bad horzAlign", __func__, __FILE__, __LINE__);
      Word(align < std::size(kAlign) ? kAlign[align] : "ql");
    } else if (n == kParaFirstLineAtom) {
      FirstLineAtom(value[0]);
    } else if (n == ParaAtom::tab) {
      const uint32_t tab = ValueAs<uint32_t>(value);
      static const char* const kLeader[] = {nullptr, "tldot", "tlhyph", "tleq", "tlul", "tlth"};
      const uint32_t leader = (tab >> 26) & 7;
      if (leader >= std::size(kLeader)) LogAssert("Bad leader", __func__, __FILE__, __LINE__);
      else if (leader > 0) Word(kLeader[leader]);
      const uint32_t alignment = TabAlignment(tab);
      if (alignment == 4) {
        Word("tb", EmuToTwips(TabPosition(tab)));
        return;
      }
      static const char* const kTabAlign[] = {nullptr, "tqc", "tqr", "tqdec"};
      if (alignment >= 1 && alignment <= 3) Word(kTabAlign[alignment]);
      Word("tx", EmuToTwips(TabPosition(tab)));
    } else if (n == ParaAtom::noTab) {
      // A tab that the base has and the paragraph lacks: RTF cannot say so.
    } else if (n == kParaMultipleAtom) {
      const int64_t multiple = ValueAs<int64_t>(value);
      if (multiple != 0) {
        Word("sl", EmuToTwips(multiple * 12));
        Word("slmult", 1);
      } else {
        Word("sl", 0);
        Word("slmult", 0);
      }
    } else {
      LogAssert("Bad paraProps atom", __func__, __FILE__, __LINE__);
    }
    return;
  }
  if (kind == kPropChapter) {
    if (n == kChapterStartAtom) {
      static const char* const kBreaks[] = {"sbkpage", "sbkcol", "sbkeven", "sbkodd", "sbknone"};
      const uint32_t start = ValueAs<uint32_t>(value);
      if (start >= std::size(kBreaks)) LogAssert("bad pageBreak", __func__, __FILE__, __LINE__);
      Word(start < std::size(kBreaks) ? kBreaks[start] : "sbkpage");
    } else if (n == kChapterPagePosAtom) {
      Word("glmtpgnpos", ValueAs<uint32_t>(value));
    } else if (atom.arrayIndex > 0) {
      ColumnWidth(atom, value);
    } else {
      LogAssert("Bad chapterProps atom", __func__, __FILE__, __LINE__);
    }
    return;
  }
  if (kind == kPropTable) {
    if (n == kTableAlignAtom) {
      Word(TableAlignWord(ValueAs<uint32_t>(value)));
    } else if (n == kTableFirstRowAtom) {
      FirstLineAtom(value[0]);
    } else if (atom.arrayIndex > 0) {
      ColumnWidth(atom, value);
    } else {
      LogAssert("Bad tableProps atom", __func__, __FILE__, __LINE__);
    }
    return;
  }
  if (kind == kPropDocument) {
    // A negative margin (its flag) is the sign of the number, as the reader takes it.
    const auto margin = [&](uint32_t negativeFlag) {
      const int64_t twips = EmuToTwips(ValueAs<int64_t>(value));
      return record.body[negativeFlag] ? -twips : twips;
    };
    if (n == kDocTopAtom) Word("margt", margin(DocField::hPush));
    else if (n == kDocBottomAtom) Word("margb", margin(DocField::fPush));
    else if (n == kDocImageAtom) BackgroundPicture(ValueAs<uint32_t>(value));
    else LogAssert("Bad docProps atom", __func__, __FILE__, __LINE__);
    return;
  }
  if (kind == kPropFrame) FrameSpecial(atom, value, record);
}

// ---- The body ---------------------------------------------------------------------------------

const PropRecord& Writer::CharsAt(uint32_t cp) const {
  return *CharPropsAt(doc_, cp, nullptr, &charsAt_, &charsAtHints_);
}

// The cp that ends the paragraph at the cursor: its mark, a kink that breaks paragraphs, or the
// begin of a knot that starts a paragraph of its own (a divider is its own paragraph's end).
uint32_t Writer::MarkOf(GMTextStore::Cursor cursor) {
  for (;;) {
    uint32_t count = 0;
    const char16_t* units = cursor.span(&count);
    if (count == 0) return cursor.cp();
    for (uint32_t i = 0; i < count; ++i) {
      const char16_t unit = units[i];
      if (unit > 0x0C) continue;
      const uint32_t at = cursor.cp() + i;
      if (IsBreakChar(unit)) return at;
      if (unit == kKnotChar) {
        const uint32_t index = doc_->knots.indexAtCp(at);
        if (index == kGMNone) continue;
        const KnotEntry& entry = doc_->knots.at(index);
        if ((entry.kink == kKinkBegin || entry.kink == kKinkAtomic) && entry.type < kKnotTypeCount &&
            g_knotDescs[entry.type].beginBreaksPara)
          return at;
      }
    }
    cursor.advance(count);
  }
}

void Writer::StartPara(uint32_t mark) {
  // The document's record itself; a base record is made only where there is none.
  const PropRecord* found = nullptr;
  if (!doc_->paraRuns.empty()) {
    uint32_t run = doc_->paraRuns.indexOfCpNear(mark, paraHint_);
    if (run != kGMNone) paraHint_ = run;
    if (run == kGMNone) run = 0;
    found = PropertiesAtIndex(doc_, doc_->paraRuns.at(std::min(run, doc_->paraRuns.count() - 1)));
    if (found && found->kind != kPropPara) found = nullptr;
  }
  std::optional<PropRecord> base;
  if (!found) SetBaseProperties(kPropPara, &base.emplace());
  const PropRecord& para = found ? *found : *base;
  Word("pard");
  if (inTable_) Word("intbl");
  Word("plain");
  paraStyle_ = para.get<uint16_t>(ParaField::style);
  Word("s", paraStyle_);
  CachedProps(
      para,
      [&para] {
        PropRecord base;
        SetBaseProperties(kPropPara, &base);
        ForceBorderWords(para, &base);
        return base;
      },
      ParaAtom::style, kPropPara);
  const Kolor back = para.get<uint32_t>(ParaField::border + BorderField::backColor);
  if (KolorIsColor(back)) {
    // Other readers see a background; this one drops the character shading.
    Word("glmtignore");
    Word("cb", ColorIndex(back));
  }
  FrameWords(mark);
  paraOpen_ = true;
  fontOwed_ = true;
}

// The frame of the paragraph that ends at mark, when it has one: its words after the paragraph's,
// where the reader gives them to the paragraph. The frame's border is left out: the reader's
// border words belong to the paragraph.
void Writer::FrameWords(uint32_t mark) {
  if (doc_->frames.empty()) return;
  const uint32_t at = doc_->frames.indexOfCp(mark);
  if (at == kGMNone || (lastFrame_ != kGMNone && at <= lastFrame_)) return;
  lastFrame_ = at;  // each entry is looked at once: the paragraphs come in order
  const uint32_t first = doc_->frames.cpAt(at);
  if (first < range_.first) return;
  for (uint32_t cp = first; cp < mark; ++cp)
    if (IsParaMarkChar(doc_->charAt(cp))) return;  // an earlier paragraph's
  const PropRecord* frame = PropertiesAtIndex(doc_, doc_->frames.at(at));
  if (!frame || frame->kind != kPropFrame) return;
  PropRecord base;
  SetBaseProperties(kPropFrame, &base);
  base.set<uint32_t>(FrameField::wrap, 3);  // what "pard" leaves
  std::memcpy(base.body + kFrameBorderOffset, frame->body + kFrameBorderOffset, BorderField::size);
  // A frame equal to the reset one still needs a word to be a frame.
  if (std::memcmp(base.body, frame->body, PropBodySize(kPropFrame)) == 0) {
    Word("glmtwrap", 3);
    return;
  }
  Props(*frame, base);
}

// A slot of the chapter knot as a header or footer group, when it holds more than its mark: its
// paragraphs as plain text.
void Writer::ChapterText(const char* keyword, const KnotInfo& chapter, uint32_t slot) {
  if (slot + 1 >= chapter.kinkCount) return;
  QString text = TextOfRange({doc_, chapter.kinkCps[slot] + 1, chapter.kinkCps[slot + 1]});
  if (!text.isEmpty() && IsParaMarkChar(text.back().unicode())) text.chop(1);
  if (text.isEmpty()) return;
  CloseGroup();
  Raw("{");
  Word(keyword);
  Raw("\n");
  Word("pard");
  Word("plain");
  qsizetype from = 0;
  for (qsizetype i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !IsParaMarkChar(text[i].unicode())) continue;
    Text(reinterpret_cast<const char16_t*>(text.utf16()) + from, uint32_t(i - from));
    if (i < text.size()) Mark();
    from = i + 1;
  }
  Raw("}\n");
}

// The document's background picture, always as data.
void Writer::BackgroundPicture(uint32_t index) {
  if (index >= doc_->pictures.size()) return;
  KnotEntry entry;
  entry.setPictureIndex(index);
  entry.setAlignment(3);
  Raw("{\\*");
  Word("glmtbackpic");
  Picture(entry, true);
  Raw("}\n");
}

void Writer::FrameSpecial(const GMAtom& atom, const uint8_t* value, const PropRecord& record) {
  const uint32_t n = ValueAs<uint32_t>(value);
  switch (atom.offset) {
    case FrameField::wrap:
      Word("glmtwrap", n);
      break;
    case FrameField::tight:
      if (value[0]) Word("wraptight");
      break;
    case FrameField::horzAnchor:
      Word(n == 1 ? "phpg" : "phmrg");
      break;
    case FrameField::vertAnchor:
      Word(n == 1 ? "pvpg" : "pvmrg");
      break;
    case FrameField::horzPosition: {
      static const char* const kWords[] = {"posxl", "posxc", "posxr", nullptr, "posxi", "posxo"};
      if (n == 3) {
        const int64_t left = EmuToTwips(record.get<int64_t>(FrameField::left));
        Word(left < 0 ? "posnegx" : "posx", left);
      } else {
        Word(n < std::size(kWords) && kWords[n] ? kWords[n] : "posxl");
      }
      break;
    }
    case FrameField::vertPosition: {
      static const char* const kWords[] = {"posyt", "posyc", "posyb"};
      if (n == 3) {
        const int64_t top = EmuToTwips(record.get<int64_t>(FrameField::top));
        Word(top < 0 ? "posnegy" : "posy", top);
      } else {
        Word(n < std::size(kWords) ? kWords[n] : "posyt");
      }
      break;
    }
    default:
      break;
  }
}

void Writer::CloseGroup() {
  if (!groupOpen_) return;
  Raw("}");
  groupOpen_ = false;
}

// A size relative to the paragraph style's becomes an absolute size as well, for readers that
// know only absolute sizes; the relative size is kept for this engine.
PropRecord Writer::WithAbsoluteSize(const PropRecord& chars) const {
  PropRecord resolved = chars;
  resolved.index = kGMNone;  // its words depend on the paragraph's style
  int16_t styleSize = kDefaultFontSize;
  if (paraStyle_ < doc_->styles.size())
    if (const PropRecord* style = PropertiesAtIndex(doc_, doc_->styles[paraStyle_].second); style && style->kind == kPropChar)
      styleSize = style->get<int16_t>(CharField::size);
  if (styleSize < kMinFontSize || styleSize > kMaxFontSize) styleSize = kDefaultFontSize;
  const int32_t points = StepOffsetFontSize(styleSize / 4, chars.get<int16_t>(CharField::relativeSize));
  resolved.set<int16_t>(CharField::size, int16_t(4 * points));
  return resolved;
}

void Writer::RunProps(const PropRecord& given) {
  std::optional<PropRecord> resolved;
  if (given.get<int16_t>(CharField::relativeSize) != 0) resolved = WithAbsoluteSize(given);
  const PropRecord& chars = resolved ? *resolved : given;
  if (groupOpen_ && std::memcmp(groupChars_.body, chars.body, g_propSizes[kPropChar]) == 0) return;
  CloseGroup();
  Raw("{");
  groupOpen_ = true;
  std::memcpy(groupChars_.body, chars.body, g_propSizes[kPropChar]);
  const bool font = fontOwed_;
  CachedProps(
      chars,
      [&] {
        PropRecord base = plain_;
        if (font) base.set<uint16_t>(CharField::font, ~chars.get<uint16_t>(CharField::font));
        return base;
      },
      0, font ? 2 : 0);
  fontOwed_ = false;
}

void Writer::EndPara(uint32_t markCp, char16_t mark) {
  RunProps(CharsAt(markCp));
  // A cell's last paragraph ends with the cell.
  const uint32_t next = doc_->knots.indexAtCpNear(markCp + 1, knotHint_);
  if (next != kGMNone) knotHint_ = next;
  if (next != kGMNone && doc_->knots.at(next).type == kKnotRow && doc_->knots.at(next).kink != kKinkBegin) {
    Word("cell");
    Raw("\n");
  } else {
    Mark();
    if (!inTable_) {
      if (mark == 0x0C) Word("column");
      else if (mark == 0x0B) Word("page");
    }
  }
  CloseGroup();
  paraOpen_ = false;
  markedThrough_ = markCp + 1;
}

void Writer::Link(const KnotInfo& link) {
  if (link.kinkCount < 3) return;
  const QString display = TextOfRange({doc_, link.first + 1, link.kinkCps[1]});
  const QString url = TextOfRange({doc_, link.kinkCps[1] + 1, link.kinkCps[2]});
  Raw("{\\field{\\*\\fldinst{HYPERLINK \"");
  Text(url);  // escaped: a backslash or brace in the address must not end the group
  Raw("\"}}{\\fldrslt ");
  Text(display);
  Raw("}}");
}

void Writer::Table(const KnotInfo& table) {
  CloseGroup();
  SetDefaultProperties(doc_, kPropTable, &tableProps_);
  if (const PropRecord* found = PropertiesAtIndex(doc_, table.entry.propIndex); found && found->kind == kPropTable)
    tableProps_ = *found;
  PropRecord written = tableProps_;
  if (written.body[TableProp::autoFit])
    for (uint32_t c = 0; c < kMaxColumns; ++c)
      written.set<int64_t>(TableProp::widths + 8 * c, written.get<int64_t>(TableProp::widths + 8 * c) * 5);
  PropRecord base;
  SetBaseProperties(kPropTable, &base);
  // The title-row flag and the background are always written.
  base.body[TableProp::titleRow] = written.body[TableProp::titleRow] ? 0 : 1;
  base.set<uint32_t>(TableProp::color, ~written.get<uint32_t>(TableProp::color));
  if (delimiter_) Raw("\n");
  Raw("{\\*");
  Word("glmttable");
  Props(written, base);
  Raw("}\n");
  inTable_ = true;
}

void Writer::Row(const KnotInfo& row) {
  const PropRecord& t = tableProps_;
  Word("trowd");
  Word(TableAlignWord(t.get<uint32_t>(TableProp::alignment)));
  const int64_t left = t.get<int64_t>(TableProp::left);
  const int64_t gap = (t.get<int64_t>(TableProp::cellLeft) + t.get<int64_t>(TableProp::cellRight)) / 2;
  Word("trleft", EmuToTwips(left));
  Word("trrh", EmuToTwips(t.get<int64_t>(TableProp::height)));
  Word("trgaph", EmuToTwips(gap));
  Raw("\n");
  const uint32_t columns = row.kinkCount > 1 ? std::min(row.kinkCount - 1, kMaxColumns) : 0;
  const int64_t scale = t.body[TableProp::autoFit] ? 5 : 1;
  int64_t edge = left;
  for (uint32_t c = 0; c < columns; ++c) {
    edge += t.get<int64_t>(TableProp::widths + 8 * c) * scale;
    const uint32_t index = doc_->knots.indexAtCp(row.kinkCps[c + 1]);
    const Kolor cell = index == kGMNone ? kNoKolor : doc_->knots.at(index).cellColor();
    if (KolorIsColor(cell)) Word("clcfpat", ColorIndex(cell));
    Word("cellx", EmuToTwips(edge + (2 * int64_t(c) + 1) * gap));
    Raw("\n");
  }
}

QString Writer::VariableText(uint32_t cp, const KnotEntry& entry) const {
  enum : uint32_t { kChapName = 1, kChapNo = 2, kChapNo1 = 3, kDate = 4, kTime = 13 };
  const uint32_t chapter = doc_->chapterCps.empty() ? 0 : doc_->chapterCps.indexOfCp(cp);
  switch (entry.variableKind()) {
    case kChapName:
      return ChapterName(doc_, chapter == kGMNone ? 0 : chapter);
    case kChapNo:
    case kChapNo1:
      return QString::number(chapter == kGMNone ? 1 : chapter + 1);
    case kDate:
      return QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    case kTime:
      return QLocale().toString(QTime::currentTime(), QLocale::ShortFormat);
    default:
      return QString();  // page numbers and references exist only in a laid-out document
  }
}

// ---- Pictures ---------------------------------------------------------------------------------

void Writer::PictureProps(const KnotEntry& entry) {
  const uint32_t vertical = entry.alignment();
  const uint32_t scale = entry.scale();
  const uint32_t opacity = entry.opacity();
  static const char* const kVertical[] = {"glmtpict", "glmtpicb", "glmtpicc"};
  if (vertical > 3) LogAssert("bad vertAlign", __func__, __FILE__, __LINE__);
  if (vertical != 3) Word(vertical < 3 ? kVertical[vertical] : "glmtpict");
  if (scale == 0) {
    Word("picscalex", 100);
    Word("picscaley", 100);
  } else if (scale == kPictureFitScale) {
    Word("glmtfitpic");
  } else {
    Word("picscalex", scale / 10);
    Word("picscaley", scale / 10);
  }
  if (opacity != 0) Word("glmtbackopacity", opacity);
  if (const PropRecord* border = PropertiesAtIndex(doc_, entry.propIndex); border && border->kind == kPropBorder) {
    PropRecord base;
    SetBaseProperties(kPropBorder, &base);
    Props(*border, base);
  }
}

// The picture's file in the package: a copy of the file it came from, else the image as TIFF;
// empty when neither can be written.
QString Writer::PictureFile(GMPicture& picture, const FLImage* image) {
  if (!picture.savedName.isEmpty()) return picture.savedName;
  const QString base = QStringLiteral("Picture%1").arg(++pictureCount_);
  const QFileInfo source(picture.path);
  if (source.isAbsolute() && source.isFile()) {
    const QString name = source.suffix().isEmpty() ? base : base + u'.' + source.suffix();
    const QString target = QDir(folder_).filePath(name);
    QFile::remove(target);
    if (QFile::copy(picture.path, target)) return picture.savedName = name;
  }
  FLError error;
  const QString written = SaveImage(image, QDir(folder_).filePath(base + QStringLiteral(".tiff")), kImageFormatTiff, &error);
  if (written.isEmpty()) return QString();
  return picture.savedName = QFileInfo(written).fileName();
}

void Writer::Picture(const KnotEntry& entry, bool asData) {
  if (entry.pictureIndex() >= doc_->pictures.size()) return;
  GMPicture& picture = doc_->pictures[entry.pictureIndex()];
  const std::shared_ptr<FLImage> image = std::static_pointer_cast<FLImage>(picture.image);
  if (!image || image->isNull()) return;
  const QSizeF size = image->size();
  const uint32_t scale = entry.scale();
  if (!folder_.isEmpty() && !asData) {
    const QString name = PictureFile(picture, image.get());
    if (name.isEmpty()) return;
    QSizeF shown = size;
    if (scale != 0 && scale != kPictureFitScale) shown = size * scale / 1000.0;
    Raw("{{");
    Word("NeXTGraphic");
    out_ += u' ' + name + u' ';
    delimiter_ = false;
    Word("width", int64_t(shown.width()) * 20);
    Word("height", int64_t(shown.height()) * 20);
    PictureProps(entry);
    Raw("}");
    out_ += QChar(0xAC);  // the attachment character, which the picture takes the place of
    Raw("}\n");
    return;
  }
  // The file's own bytes for PNG and JPEG files, else the image as PNG.
  QByteArray data;
  const char* format = "pngblip";
  const QFileInfo source(picture.path);
  const QString suffix = source.suffix().toLower();
  if (source.isAbsolute() && (suffix == u"png" || suffix == u"jpeg" || suffix == u"jpg")) {
    if (FLImage::readPictureFile(picture.path, &data) && suffix != u"png") format = "jpegblip";
  }
  if (data.isEmpty()) {
    format = "pngblip";
    FLImageSaveRequest request;
    request.format = kImageFormatPng;
    if (!SaveImageCore(image.get(), request, 0, 0) || request.data.isEmpty()) return;
    data = request.data;
  }
  Raw("\n{");
  Word("pict");
  Word(format);
  Word("picw", int64_t(size.width()));
  Word("pich", int64_t(size.height()));
  PictureProps(entry);
  Raw("\n");
  static const char kHex[] = "0123456789abcdef";
  QString line;
  for (qsizetype i = 0; i < data.size(); i += 50) {
    line.clear();
    for (qsizetype j = i; j < std::min(i + 50, data.size()); ++j) {
      const uint8_t byte = uint8_t(data[j]);
      line += QLatin1Char(kHex[byte >> 4]);
      line += QLatin1Char(kHex[byte & 15]);
    }
    out_ += line;
    out_ += u'\n';
  }
  Raw("}\n");
}

// A kink that ends a paragraph (the U+0001 kinks): cells end with "cell", rows with "row";
// others (list, note, short and table-of-contents ends) as a paragraph mark.
uint32_t Writer::KinkMark(uint32_t cp, const KnotEntry& entry) {
  if (entry.type == kKnotTable) {
    CloseGroup();
    paraOpen_ = false;
    inTable_ = false;
    return cp + 1;
  }
  // A kink right after a paragraph mark closes that paragraph's knot or cell and adds none.
  const bool marked = !paraOpen_ && markedThrough_ == cp;
  if (!paraOpen_ && !marked) StartPara(cp);
  if (entry.type == kKnotRow) {
    if (!marked) {
      CloseGroup();
      Word("cell");
      Raw("\n");
    }
    paraOpen_ = false;
    markedThrough_ = cp + 1;
    if (entry.kink == kKinkEnd) {
      Word("pard");
      Word("intbl");
      Word("row");
      Raw("\n");
    }
    return cp + 1;
  }
  if (!marked) EndPara(cp, 0x0A);
  return cp + 1;
}

// Writes the knot whose kink is at cp; the cp where the writing goes on.
uint32_t Writer::Knot(uint32_t cp, const KnotEntry& entry) {
  if (entry.kink == kKinkMiddle || entry.kink == kKinkEnd) {
    const KnotDesc& desc = g_knotDescs[entry.type < kKnotTypeCount ? entry.type : 0];
    if ((entry.kink == kKinkEnd ? desc.endChar : desc.middleChar) == kKnotMarkChar) return KinkMark(cp, entry);
    return cp + 1;  // the inner kinks of links, bookmarks, tags and entries
  }
  KnotInfo info;
  if (!FetchKnot(doc_, cp, &info, 0) || info.first != cp) {
    LogAssert("cp not start of knot", __func__, __FILE__, __LINE__);
    return cp + 1;
  }
  switch (entry.type) {
    case kKnotChapter: {
      // Chapter knots hold the chapter's name and texts, not body text.
      CloseGroup();
      {
        if (chapters_++ > 0) Word("sect");
        Word("sectd");
        if (!(options_ & kRtfForPasteboard)) {
          PropRecord chapter, base;
          SetBaseProperties(kPropChapter, &base);
          chapter = base;
          if (const PropRecord* found = PropertiesAtIndex(doc_, entry.propIndex); found && found->kind == kPropChapter)
            chapter = *found;
          const QString name = info.kinkCount > 1 ? TextOfRange({doc_, cp + 1, info.kinkCps[1]}) : QString();
          if (!name.isEmpty()) {
            Raw("{\\*");
            Word("glmtchap");
            Text(name);
            Raw("}");
          }
          Props(chapter, base);
          // The page header and footer texts the chapter holds. Left-page and first-page texts
          // are written also without facing pages or a title page, which only hide them: a
          // setting turned off does not lose its texts.
          const bool facing = doc_->docProps.body[DocField::mirrorH] != 0;
          ChapterText("headerl", info, kChapterLeftHeader);
          ChapterText("footerl", info, kChapterLeftFooter);
          ChapterText(facing ? "header" : "headerr", info, kChapterHeader);
          ChapterText(facing ? "footer" : "footerr", info, kChapterFooter);
          ChapterText("headerf", info, kChapterFirstHeader);
          ChapterText("footerf", info, kChapterFirstFooter);
        }
        Raw("\n");
      }
      return std::max(info.limit, cp + 1);
    }
    case kKnotShort:
      return std::max(info.limit, cp + 1);
    case kKnotTable:
      if (paraOpen_) EndPara(cp, 0x0A);
      Table(info);
      return cp + 1;
    case kKnotRow:
      if (!inTable_) {
        SetDefaultProperties(doc_, kPropTable, &tableProps_);
        inTable_ = true;
      }
      Row(info);
      return cp + 1;
    case kKnotList:
    case kKnotToc:
      if (paraOpen_) EndPara(cp, 0x0A);
      return cp + 1;  // the paragraphs inside are written as they come
    case kKnotNote:
    case kKnotTocEntry:
      return cp + 1;
    case kKnotBookmark:
      // The first slot is the bookmark's identifier; the second is the marked text.
      return info.kinkCount > 1 ? std::max(info.kinkCps[1] + 1, cp + 1) : cp + 1;
    default:
      break;
  }
  // Knots that sit in a paragraph's text.
  if (!paraOpen_) {
    uint32_t mark = cp;
    if (entry.type != kKnotDivider) {
      GMTextStore::Cursor after = cursor_ && cursor_->cp() == cp ? *cursor_ : GMTextStore::Cursor(doc_->text, cp);
      after.advance(1);
      mark = MarkOf(after);
    }
    StartPara(mark);
  }
  RunProps(CharsAt(entry.type == kKnotLink || entry.type == kKnotTag ? cp + 1 : cp));
  switch (entry.type) {
    case kKnotLink:
      Link(info);
      break;
    case kKnotTag:
      Raw("{\\*");
      Word("glmttag");
      if (info.kinkCount > 1) Text(TextOfRange({doc_, cp + 1, info.kinkCps[1]}));
      Raw("}");
      break;
    case kKnotCheckbox:
      Word("glmtcheck", entry.checkState());
      break;
    case kKnotDivider:
      // The divider ends its paragraph: other readers see the mark, this one drops it.
      Word("glmtdiv", (entry.dividerType() % kDividerKinds) + 1);
      Mark();
      CloseGroup();
      paraOpen_ = false;
      markedThrough_ = cp + 1;
      break;
    case kKnotVar:
      Text(VariableText(cp, entry));
      break;
    case kKnotPicture:
      Picture(entry);
      break;
    default:
      break;  // autonumbers have no text of their own
  }
  return std::max(info.limit, cp + 1);
}

void Writer::Body() {
  const uint32_t limit = std::min(range_.limit, uint32_t(doc_->totalLength));
  uint32_t cp = range_.first;
  DocRange run{doc_, 0, 0};
  const PropRecord* chars = &runChars_.emplace();
  // One cursor follows the whole walk; knots move it on by what they wrote.
  GMTextStore::Cursor cursor(doc_->text, cp);
  cursor_ = &cursor;
  while (cp < limit) {
    if (cursor.cp() < cp) cursor.advance(cp - cursor.cp());
    else if (cursor.cp() > cp) cursor = GMTextStore::Cursor(doc_->text, cp);
    const uint32_t knotIndex = doc_->knots.indexOfCpAfterNear(cp, knotHint_);
    knotHint_ = knotIndex;
    const uint32_t nextKnot = knotIndex < doc_->knots.count() ? doc_->knots.cpAt(knotIndex) : kGMNone;
    if (nextKnot == cp) {
      cp = std::max(Knot(cp, doc_->knots.at(knotIndex)), cp + 1);
      continue;
    }
    // Text from cp to the next knot, run by run, paragraph by paragraph.
    const uint32_t stretchEnd = std::min(limit, nextKnot);
    while (cp < stretchEnd) {
      if (!paraOpen_) StartPara(MarkOf(cursor));
      if (cp >= run.limit || cp < run.first) chars = CharPropsAt(doc_, cp, &run, &runChars_, &runHints_);
      const uint32_t end = std::min(stretchEnd, std::max(run.limit, cp + 1));
      // The run's units up to a paragraph mark, straight from the stream's pieces.
      uint32_t at = cp;
      char16_t mark = 0;
      while (at < end) {
        uint32_t count = 0;
        const char16_t* units = cursor.span(&count);
        if (count == 0) break;
        count = std::min(count, end - at);
        uint32_t i = 0;
        while (i < count && !IsParaMarkChar(units[i])) ++i;
        if (i > 0) {
          RunProps(*chars);
          Text(units, i);
        }
        at += i;
        cursor.advance(i);
        if (i < count) {
          mark = units[i];
          break;
        }
      }
      if (mark) {
        EndPara(at, mark);
        cursor.advance(1);
        ++at;
      }
      cp = std::max(at, cp + 1);
      if (cursor.cp() < cp) cursor.advance(cp - cursor.cp());
    }
  }
  cursor_ = nullptr;
  if (groupOpen_ && paraOpen_) CloseGroup();
  if (groupOpen_) {
    LogAssert("Format group not closed", __func__, __FILE__, __LINE__);
    CloseGroup();
  }
}

QString Writer::Run() {
  SetBaseProperties(kPropChar, &plain_);
  plain_.set<int16_t>(CharField::size, kDefaultFontSize);
  Register();
  out_.reserve(qsizetype(range_.length()) + 4096);
  Header();
  // A range from the body's start, as a whole document is saved, begins with the first chapter:
  // its properties and its header and footer texts, which the reader gives back to it.
  if (!(options_ & kRtfForPasteboard) && range_.first > 0 && range_.first == BodyStart(doc_)) {
    const uint32_t first = doc_->knots.indexAtCp(0);
    if (first != kGMNone && doc_->knots.at(first).type == kKnotChapter) Knot(0, doc_->knots.at(first));
  }
  Body();
  Raw("}\n");
  return out_;
}

}  // namespace

QString ExportRtf(const DocRange& range, const QString& rtfdFolder, uint32_t options) {
  if (!range.doc) return QString();
  // The package's file names are made afresh by each export.
  for (GMPicture& picture : range.doc->pictures) picture.savedName.clear();
  Writer writer(range, rtfdFolder, options);
  return writer.Run();
}

QString ExportRtf(const DocRange& range, uint32_t options) { return ExportRtf(range, QString(), options); }
