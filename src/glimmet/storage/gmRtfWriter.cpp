#include "glimmet/storage/gmRtfWriter.h"

#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flFonts.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"

#include <algorithm>
#include <map>
#include <vector>

int64_t EmuToTwips(int64_t emu) {
  // 635 EMU to the twip, rounded half away from zero.
  return emu >= 0 ? (emu + 317) / 635 : -((-emu + 317) / 635);
}

namespace {

class Writer {
 public:
  Writer(const DocRange& range, uint32_t options) : range_(range), options_(options) {}
  QString Run();

 private:
  void Word(const char* word) {
    out_ += u'\\';
    out_ += QLatin1StringView(word);
    delimiter_ = true;
  }
  void Word(const char* word, int64_t value) {
    Word(word);
    out_ += QString::number(value);
  }
  void Raw(const char* text) {
    out_ += QLatin1StringView(text);
    delimiter_ = false;
  }
  void Text(QStringView text);
  void Register(const PropRecord& chars);
  int ColorIndex(Kolor kolor) const;
  void Header();
  void ParaProps(const PropRecord& para);
  void CharProps(const PropRecord& chars);
  void Body();
  void Knot(const KnotInfo& knot);

  DocRange range_;
  uint32_t options_;
  QString out_;
  bool delimiter_ = false;
  std::vector<Kolor> colors_;
  std::map<uint16_t, QString> fonts_;
};

void Writer::Text(QStringView text) {
  for (QChar qc : text) {
    const char16_t c = qc.unicode();
    auto word = [&](const char* w) {
      Word(w);
    };
    switch (c) {
      case 0x0000: case 0x0001: continue;
      case 0x0009: word("tab"); continue;
      case 0x00A0: Raw("\\~"); continue;
      case 0x2011: Raw("\\_"); continue;
      case 0x2013: word("endash"); continue;
      case 0x2014: word("emdash"); continue;
      case 0x2018: word("lquote"); continue;
      case 0x2019: word("rquote"); continue;
      case 0x201C: word("ldblquote"); continue;
      case 0x201D: word("rdblquote"); continue;
      case 0x2022: word("bullet"); continue;
      case 0x2028: word("line"); continue;
      case 0x000A: case 0x000B: case 0x000C: Raw("\\\n"); continue;
      default: break;
    }
    if (c == '\\' || c == '{' || c == '}') {
      const char escaped[3] = {'\\', char(c), 0};
      Raw(escaped);
      continue;
    }
    if (c < 32) {
      out_ += QStringLiteral("\\'%1").arg(int(c), 2, 16, QLatin1Char('0'));
      delimiter_ = false;
      continue;
    }
    if (c > 127) {
      // RTF numbers are signed 16-bit: units above 32767 are written negative.
      Word("u", c > 32767 ? int64_t(c) - 65536 : int64_t(c));
      continue;
    }
    if (delimiter_) out_ += u' ';
    delimiter_ = false;
    out_ += qc;
  }
}

void Writer::Register(const PropRecord& chars) {
  for (Kolor kolor : {chars.get<uint32_t>(CharField::color), chars.get<uint32_t>(CharField::backColor)})
    if (KolorIsColor(kolor) && std::find(colors_.begin(), colors_.end(), kolor) == colors_.end())
      colors_.push_back(kolor);
  const uint16_t font = chars.get<uint16_t>(CharField::font);
  if (!fonts_.count(font)) fonts_[font] = FontNameAtIndex(font);
}

int Writer::ColorIndex(Kolor kolor) const {
  const auto it = std::find(colors_.begin(), colors_.end(), kolor);
  return it == colors_.end() ? 0 : int(it - colors_.begin());
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
  for (const auto& [index, name] : fonts_) {
    Raw("{");
    Word("f", index);
    Word("fnil");
    Text(QStringView(name));
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
  if (!(options_ & kRtfForPasteboard)) {
    const PropRecord& d = range_.doc->docProps;
    Word("deftab", EmuToTwips(d.get<int64_t>(DocField::defTab)));
    Word("margl", EmuToTwips(d.get<int64_t>(DocField::left)));
    Word("margr", EmuToTwips(d.get<int64_t>(DocField::right)));
    Word("margt", EmuToTwips(d.get<int64_t>(DocField::top)));
    Word("margb", EmuToTwips(d.get<int64_t>(DocField::bottom)));
    Raw("\n");
  }
}

void Writer::ParaProps(const PropRecord& para) {
  PropRecord base;
  SetBaseProperties(kPropPara, &base);
  Word("pard");
  Word("plain");
  static const char* const kAlign[] = {"ql", "qc", "qj", "qr"};
  const uint32_t align = para.get<uint32_t>(ParaField::alignment);
  if (align != 0 && align < 4) Word(kAlign[align]);
  struct Length {
    uint32_t field;
    const char* word;
  };
  for (const Length& l : {Length{ParaField::firstIndent, "fi"}, Length{ParaField::leftIndent, "li"},
                          Length{ParaField::rightIndent, "ri"}, Length{ParaField::spaceBefore, "sb"},
                          Length{ParaField::spaceAfter, "sa"}}) {
    const int64_t value = para.get<int64_t>(l.field);
    if (value != base.get<int64_t>(l.field)) Word(l.word, EmuToTwips(value));
  }
  struct Flag {
    uint32_t field;
    const char* word;
  };
  for (const Flag& f : {Flag{ParaField::keep, "keep"}, Flag{ParaField::keepNext, "keepn"},
                        Flag{ParaField::topOfPage, "pagebb"}})
    if (para.body[f.field]) Word(f.word);
  const uint16_t tabs = std::min<uint16_t>(para.get<uint16_t>(ParaField::tabCount), kMaxTabs);
  static const char* const kLeader[] = {nullptr, "tldot", "tlhyph", "tleq", "tlul", "tlth"};
  static const char* const kTabAlign[] = {nullptr, "tqc", "tqr", "tqdec"};
  for (uint16_t i = 0; i < tabs; ++i) {
    const uint32_t tab = para.get<uint32_t>(ParaField::tabs + 4 * i);
    const uint32_t leader = (tab >> 26) & 7;
    if (leader >= 1 && leader <= 5) Word(kLeader[leader]);
    const uint32_t alignment = TabAlignment(tab);
    if (alignment == 4) {
      Word("tb", EmuToTwips(TabPosition(tab)));
      continue;
    }
    if (alignment >= 1 && alignment <= 3) Word(kTabAlign[alignment]);
    Word("tx", EmuToTwips(TabPosition(tab)));
  }
}

void Writer::CharProps(const PropRecord& c) {
  Word("f", c.get<uint16_t>(CharField::font));
  const int16_t size = c.get<int16_t>(CharField::size);
  if (size != kDefaultFontSize) Word("fs", size / 2);
  if (c.body[CharField::bold]) Word("b");
  if (c.body[CharField::italic]) Word("i");
  if (c.body[CharField::strike]) Word("strike");
  if (c.body[CharField::outline]) Word("outl");
  if (c.body[CharField::shadow]) Word("shad");
  static const char* const kUnderline[] = {nullptr, "ul", "ulw", "uldb", "uld", "uldash", "ulth"};
  const uint32_t underline = c.get<uint32_t>(CharField::underline);
  if (underline >= 1 && underline <= 6) Word(kUnderline[underline]);
  static const char* const kCaps[] = {nullptr, "caps", "glmtlower", "scaps", "glmttitlecap"};
  const uint32_t caps = c.get<uint32_t>(CharField::caps);
  if (caps >= 1 && caps <= 4) Word(kCaps[caps]);
  const Kolor color = c.get<uint32_t>(CharField::color);
  if (color != g_blackKolor) Word("cf", ColorIndex(color));
  const Kolor back = c.get<uint32_t>(CharField::backColor);
  if (KolorIsColor(back)) Word("cb", ColorIndex(back));
  const int64_t expand = c.get<int64_t>(CharField::expand);
  if (expand != 0) Word("expndtw", EmuToTwips(expand));
  const int64_t offset = c.get<int64_t>(CharField::subscript);
  const int64_t halfPoints = offset * 2 / 12700;
  if (halfPoints >= 1) Word("dn", halfPoints);
  else if (halfPoints < 0) Word("up", -halfPoints);
}

void Writer::Knot(const KnotInfo& knot) {
  GlimmetDoc* doc = range_.doc;
  if (knot.type() == kKnotLink && knot.kinkCount >= 3) {
    const QString display = TextOfRange({doc, knot.first + 1, knot.kinkCps[1]});
    const QString url = TextOfRange({doc, knot.kinkCps[1] + 1, knot.kinkCps[2]});
    Raw("{\\field{\\*\\fldinst{HYPERLINK \"");
    Text(url);  // escaped: a backslash or brace in the address must not end the group
    Raw("\"}}{\\fldrslt ");
    Text(display);
    Raw("}}");
    return;
  }
  if (knot.type() == kKnotTable || knot.type() == kKnotRow) return;
  // Other knots keep their visible text.
  const QString text = ExtractPlainText(knot.range(), false);
  if (!text.isNull()) Text(text);
}

void Writer::Body() {
  GlimmetDoc* doc = range_.doc;
  DocRange walk = range_;
  bool atParaStart = true;
  bool groupOpen = false;
  FetchVisibleText(&walk, nullptr, [&](const DocRange& piece, Pane*, const KnotInfo* knot) -> bool {
    if (knot) {
      if (atParaStart) {
        PropRecord para;
        FetchParaProps(doc, nullptr, piece.first, nullptr, &para);
        ParaProps(para);
        atParaStart = false;
      }
      if (groupOpen) Raw("}");
      groupOpen = false;
      Knot(*knot);
      return true;
    }
    uint32_t cp = piece.first;
    while (cp < piece.limit) {
      if (atParaStart) {
        PropRecord para;
        FetchParaProps(doc, nullptr, cp, nullptr, &para);
        ParaProps(para);
        atParaStart = false;
      }
      PropRecord chars;
      DocRange run;
      FetchCharProps(doc, cp, &run, &chars);
      uint32_t end = std::min(std::max(run.limit, cp + 1), piece.limit);
      // A run stops at a paragraph mark, which is written outside the run's group.
      uint32_t mark = cp;
      while (mark < end && !IsParaMarkChar(doc->charAt(mark))) ++mark;
      if (mark > cp) {
        Raw("{");
        CharProps(chars);
        Text(TextOfRange({doc, cp, mark}));
        Raw("}");
      }
      if (mark < end) {
        const char16_t unit = doc->charAt(mark);
        Raw("\\\n");
        if (unit == 0x0B) Word("page");
        else if (unit == 0x0C) Word("column");
        atParaStart = true;
        end = mark + 1;
      }
      cp = end;
    }
    return true;
  });
}

QString Writer::Run() {
  GlimmetDoc* doc = range_.doc;
  colors_ = {g_blackKolor, kWhiteKolor};
  if (KolorIsColor(doc->docProps.get<uint32_t>(DocField::back))) colors_.push_back(doc->docProps.get<uint32_t>(DocField::back));
  PropRecord chars;
  for (uint32_t cp = range_.first; cp < range_.limit;) {
    DocRange run;
    FetchCharProps(doc, cp, &run, &chars);
    Register(chars);
    cp = std::max(run.limit, cp + 1);
  }
  if (fonts_.empty()) {
    FetchCharProps(doc, range_.first, nullptr, &chars);
    Register(chars);
  }
  Header();
  Body();
  Raw("}\n");
  return out_;
}

}  // namespace

QString ExportRtf(const DocRange& range, uint32_t options) {
  if (!range.doc) return QString();
  Writer writer(range, options);
  return writer.Run();
}
