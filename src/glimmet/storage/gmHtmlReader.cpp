#include "glimmet/storage/gmHtmlReader.h"

#include "glimmet/storage/gmCss.h"

#include "framlet/foundation/flQtHeld.h"
#include "framlet/foundation/flReadingMeter.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmQtFormatTable.h"
#include "glimmet/storage/gmTables.h"

#include <QColor>
#include <QGuiApplication>
#include <QHash>
#include <QPalette>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <set>
#include <vector>

namespace {

struct NamedEntity {
  const char16_t* name;
  char32_t character;
};

// The named entities of HTML 4 and "apos", sorted by name for the binary search.
constexpr NamedEntity kNamedEntities[] = {
    {u"AElig", 0xC6}, {u"Aacute", 0xC1}, {u"Acirc", 0xC2}, {u"Agrave", 0xC0}, {u"Alpha", 0x391},
    {u"Aring", 0xC5}, {u"Atilde", 0xC3}, {u"Auml", 0xC4}, {u"Beta", 0x392}, {u"Ccedil", 0xC7},
    {u"Chi", 0x3A7}, {u"Dagger", 0x2021}, {u"Delta", 0x394}, {u"ETH", 0xD0}, {u"Eacute", 0xC9},
    {u"Ecirc", 0xCA}, {u"Egrave", 0xC8}, {u"Epsilon", 0x395}, {u"Eta", 0x397}, {u"Euml", 0xCB},
    {u"Gamma", 0x393}, {u"Iacute", 0xCD}, {u"Icirc", 0xCE}, {u"Igrave", 0xCC}, {u"Iota", 0x399},
    {u"Iuml", 0xCF}, {u"Kappa", 0x39A}, {u"Lambda", 0x39B}, {u"Mu", 0x39C}, {u"Ntilde", 0xD1},
    {u"Nu", 0x39D}, {u"OElig", 0x152}, {u"Oacute", 0xD3}, {u"Ocirc", 0xD4}, {u"Ograve", 0xD2},
    {u"Omega", 0x3A9}, {u"Omicron", 0x39F}, {u"Oslash", 0xD8}, {u"Otilde", 0xD5}, {u"Ouml", 0xD6},
    {u"Phi", 0x3A6}, {u"Pi", 0x3A0}, {u"Prime", 0x2033}, {u"Psi", 0x3A8}, {u"Rho", 0x3A1},
    {u"Scaron", 0x160}, {u"Sigma", 0x3A3}, {u"THORN", 0xDE}, {u"Tau", 0x3A4}, {u"Theta", 0x398},
    {u"Uacute", 0xDA}, {u"Ucirc", 0xDB}, {u"Ugrave", 0xD9}, {u"Upsilon", 0x3A5}, {u"Uuml", 0xDC},
    {u"Xi", 0x39E}, {u"Yacute", 0xDD}, {u"Yuml", 0x178}, {u"Zeta", 0x396}, {u"aacute", 0xE1},
    {u"acirc", 0xE2}, {u"acute", 0xB4}, {u"aelig", 0xE6}, {u"agrave", 0xE0}, {u"alefsym", 0x2135},
    {u"alpha", 0x3B1}, {u"amp", 0x26}, {u"and", 0x2227}, {u"ang", 0x2220}, {u"apos", 0x27}, {u"aring", 0xE5},
    {u"asymp", 0x2248}, {u"atilde", 0xE3}, {u"auml", 0xE4}, {u"bdquo", 0x201E}, {u"beta", 0x3B2},
    {u"brvbar", 0xA6}, {u"bull", 0x2022}, {u"cap", 0x2229}, {u"ccedil", 0xE7}, {u"cedil", 0xB8},
    {u"cent", 0xA2}, {u"chi", 0x3C7}, {u"circ", 0x2C6}, {u"clubs", 0x2663}, {u"cong", 0x2245},
    {u"copy", 0xA9}, {u"crarr", 0x21B5}, {u"cup", 0x222A}, {u"curren", 0xA4}, {u"dArr", 0x21D3},
    {u"dagger", 0x2020}, {u"darr", 0x2193}, {u"deg", 0xB0}, {u"delta", 0x3B4}, {u"diams", 0x2666},
    {u"divide", 0xF7}, {u"eacute", 0xE9}, {u"ecirc", 0xEA}, {u"egrave", 0xE8}, {u"empty", 0x2205},
    {u"emsp", 0x2003}, {u"ensp", 0x2002}, {u"epsilon", 0x3B5}, {u"equiv", 0x2261}, {u"eta", 0x3B7},
    {u"eth", 0xF0}, {u"euml", 0xEB}, {u"euro", 0x20AC}, {u"exist", 0x2203}, {u"fnof", 0x192},
    {u"forall", 0x2200}, {u"frac12", 0xBD}, {u"frac14", 0xBC}, {u"frac34", 0xBE}, {u"frasl", 0x2044},
    {u"gamma", 0x3B3}, {u"ge", 0x2265}, {u"gt", 0x3E}, {u"hArr", 0x21D4}, {u"harr", 0x2194},
    {u"hearts", 0x2665}, {u"hellip", 0x2026}, {u"iacute", 0xED}, {u"icirc", 0xEE}, {u"iexcl", 0xA1},
    {u"igrave", 0xEC}, {u"image", 0x2111}, {u"infin", 0x221E}, {u"int", 0x222B}, {u"iota", 0x3B9},
    {u"iquest", 0xBF}, {u"isin", 0x2208}, {u"iuml", 0xEF}, {u"kappa", 0x3BA}, {u"lArr", 0x21D0},
    {u"lambda", 0x3BB}, {u"lang", 0x2329}, {u"laquo", 0xAB}, {u"larr", 0x2190}, {u"lceil", 0x2308},
    {u"ldquo", 0x201C}, {u"le", 0x2264}, {u"lfloor", 0x230A}, {u"lowast", 0x2217}, {u"loz", 0x25CA},
    {u"lrm", 0x200E}, {u"lsaquo", 0x2039}, {u"lsquo", 0x2018}, {u"lt", 0x3C}, {u"macr", 0xAF},
    {u"mdash", 0x2014}, {u"micro", 0xB5}, {u"middot", 0xB7}, {u"minus", 0x2212}, {u"mu", 0x3BC},
    {u"nabla", 0x2207}, {u"nbsp", 0xA0}, {u"ndash", 0x2013}, {u"ne", 0x2260}, {u"ni", 0x220B},
    {u"not", 0xAC}, {u"notin", 0x2209}, {u"nsub", 0x2284}, {u"ntilde", 0xF1}, {u"nu", 0x3BD},
    {u"oacute", 0xF3}, {u"ocirc", 0xF4}, {u"oelig", 0x153}, {u"ograve", 0xF2}, {u"oline", 0x203E},
    {u"omega", 0x3C9}, {u"omicron", 0x3BF}, {u"oplus", 0x2295}, {u"or", 0x2228}, {u"ordf", 0xAA},
    {u"ordm", 0xBA}, {u"oslash", 0xF8}, {u"otilde", 0xF5}, {u"otimes", 0x2297}, {u"ouml", 0xF6},
    {u"para", 0xB6}, {u"part", 0x2202}, {u"permil", 0x2030}, {u"perp", 0x22A5}, {u"phi", 0x3C6},
    {u"pi", 0x3C0}, {u"piv", 0x3D6}, {u"plusmn", 0xB1}, {u"pound", 0xA3}, {u"prime", 0x2032},
    {u"prod", 0x220F}, {u"prop", 0x221D}, {u"psi", 0x3C8}, {u"quot", 0x22}, {u"rArr", 0x21D2},
    {u"radic", 0x221A}, {u"rang", 0x232A}, {u"raquo", 0xBB}, {u"rarr", 0x2192}, {u"rceil", 0x2309},
    {u"rdquo", 0x201D}, {u"real", 0x211C}, {u"reg", 0xAE}, {u"rfloor", 0x230B}, {u"rho", 0x3C1},
    {u"rlm", 0x200F}, {u"rsaquo", 0x203A}, {u"rsquo", 0x2019}, {u"sbquo", 0x201A}, {u"scaron", 0x161},
    {u"sdot", 0x22C5}, {u"sect", 0xA7}, {u"shy", 0xAD}, {u"sigma", 0x3C3}, {u"sigmaf", 0x3C2},
    {u"sim", 0x223C}, {u"spades", 0x2660}, {u"sub", 0x2282}, {u"sube", 0x2286}, {u"sum", 0x2211},
    {u"sup", 0x2283}, {u"sup1", 0xB9}, {u"sup2", 0xB2}, {u"sup3", 0xB3}, {u"supe", 0x2287}, {u"szlig", 0xDF},
    {u"tau", 0x3C4}, {u"there4", 0x2234}, {u"theta", 0x3B8}, {u"thetasym", 0x3D1}, {u"thinsp", 0x2009},
    {u"thorn", 0xFE}, {u"tilde", 0x2DC}, {u"times", 0xD7}, {u"trade", 0x2122}, {u"uArr", 0x21D1},
    {u"uacute", 0xFA}, {u"uarr", 0x2191}, {u"ucirc", 0xFB}, {u"ugrave", 0xF9}, {u"uml", 0xA8},
    {u"upsih", 0x3D2}, {u"upsilon", 0x3C5}, {u"uuml", 0xFC}, {u"weierp", 0x2118}, {u"xi", 0x3BE},
    {u"yacute", 0xFD}, {u"yen", 0xA5}, {u"yuml", 0xFF}, {u"zeta", 0x3B6}, {u"zwj", 0x200D},
    {u"zwnj", 0x200C},
};

bool IsHtmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

// The elements the reading knows; any other is passed over, its text read as its parent's.
enum class Tag : uint8_t {
  Other, A, Abbr, Address, B, Big, Blockquote, Br, Caption, Center, Cite, Code, Dd, Del, Dfn, Div, Dl, Dt, Em,
  Font, H1, H2, H3, H4, H5, H6, Hr, I, Img, Ins, Kbd, Li, Link, Nobr, Ol, Option, P, Pre, Q, S, Samp, Script,
  Small, Span, Strike, Strong, Style, Sub, Sup, Table, Tbody, Td, Textarea, Tfoot, Th, Thead, Title, Tr, Tt, U,
  Ul, Var, Label, Section, Article, Header, Footer, Nav, Main, Aside, Figure, Form, Fieldset, Dir, Menu, Details,
  Summary
};

Tag TagOfName(const QString& name) {
  static const QHash<QString, Tag> kTags = {
      {"a", Tag::A}, {"abbr", Tag::Abbr}, {"acronym", Tag::Abbr}, {"address", Tag::Address}, {"b", Tag::B},
      {"big", Tag::Big}, {"blockquote", Tag::Blockquote}, {"br", Tag::Br}, {"caption", Tag::Caption},
      {"center", Tag::Center}, {"cite", Tag::Cite}, {"code", Tag::Code}, {"dd", Tag::Dd}, {"del", Tag::Del},
      {"dfn", Tag::Dfn}, {"div", Tag::Div}, {"dl", Tag::Dl}, {"dt", Tag::Dt}, {"em", Tag::Em}, {"font", Tag::Font},
      {"h1", Tag::H1}, {"h2", Tag::H2}, {"h3", Tag::H3}, {"h4", Tag::H4}, {"h5", Tag::H5}, {"h6", Tag::H6},
      {"hr", Tag::Hr}, {"i", Tag::I}, {"img", Tag::Img}, {"ins", Tag::Ins}, {"kbd", Tag::Kbd}, {"li", Tag::Li},
      {"link", Tag::Link}, {"nobr", Tag::Nobr}, {"ol", Tag::Ol}, {"option", Tag::Option}, {"p", Tag::P},
      {"pre", Tag::Pre}, {"q", Tag::Q}, {"s", Tag::S}, {"samp", Tag::Samp}, {"script", Tag::Script},
      {"small", Tag::Small}, {"span", Tag::Span}, {"strike", Tag::Strike}, {"strong", Tag::Strong},
      {"style", Tag::Style}, {"sub", Tag::Sub}, {"sup", Tag::Sup}, {"table", Tag::Table}, {"tbody", Tag::Tbody},
      {"td", Tag::Td}, {"textarea", Tag::Textarea}, {"tfoot", Tag::Tfoot}, {"th", Tag::Th}, {"thead", Tag::Thead},
      {"title", Tag::Title}, {"tr", Tag::Tr}, {"tt", Tag::Tt}, {"u", Tag::U}, {"ul", Tag::Ul}, {"var", Tag::Var},
      {"label", Tag::Label}, {"section", Tag::Section}, {"article", Tag::Article}, {"header", Tag::Header},
      {"footer", Tag::Footer}, {"nav", Tag::Nav}, {"main", Tag::Main}, {"aside", Tag::Aside},
      {"figure", Tag::Figure}, {"form", Tag::Form}, {"fieldset", Tag::Fieldset}, {"dir", Tag::Dir},
      {"menu", Tag::Menu}, {"details", Tag::Details}, {"summary", Tag::Summary}, {"xmp", Tag::Pre},
      {"listing", Tag::Pre}, {"plaintext", Tag::Pre}};
  return kTags.value(name, Tag::Other);
}

// The element a tag names, as browsers read names (ASCII letters in either case), and its name in
// lower case: a name the reading knows is made once, not once a tag. Null for any other name.
const QString* KnownTagName(QStringView written, Tag* tag) {
  struct Known {
    QString name;
    Tag tag;
  };
  constexpr qsizetype kLongest = 10;
  // By length and first letter: a name is compared with the few known ones that could be it.
  static const std::vector<std::vector<Known>> kKnown = [] {
    std::vector<std::vector<Known>> known(size_t(kLongest + 1) * 26);
    for (const char* name :
         {"a", "abbr", "acronym", "address", "b", "big", "blockquote", "br", "caption", "center", "cite", "code", "dd",
          "del", "dfn", "div", "dl", "dt", "em", "font", "h1", "h2", "h3", "h4", "h5", "h6", "hr", "i", "img", "ins",
          "kbd", "li", "link", "nobr", "ol", "option", "p", "pre", "q", "s", "samp", "script", "small", "span",
          "strike", "strong", "style", "sub", "sup", "table", "tbody", "td", "textarea", "tfoot", "th", "thead",
          "title", "tr", "tt", "u", "ul", "var", "label", "section", "article", "header", "footer", "nav", "main",
          "aside", "figure", "form", "fieldset", "dir", "menu", "details", "summary", "xmp", "listing", "plaintext"}) {
      const QString text = QString::fromLatin1(name);
      known[size_t(text.size()) * 26 + size_t(name[0] - 'a')].push_back(Known{text, TagOfName(text)});
    }
    return known;
  }();
  const qsizetype size = written.size();
  if (size == 0 || size > kLongest) return nullptr;
  const char16_t first = LowerAscii(written[0].unicode());
  if (first < u'a' || first > u'z') return nullptr;
  for (const Known& known : kKnown[size_t(size) * 26 + size_t(first - u'a')]) {
    const char16_t* name = reinterpret_cast<const char16_t*>(known.name.constData());
    qsizetype k = 1;
    while (k < size && LowerAscii(written[k].unicode()) == name[k]) ++k;
    if (k == size) {
      *tag = known.tag;
      return &known.name;
    }
  }
  return nullptr;
}

// The tag of a name as written, and the name in lower case.
Tag TagOfWrittenName(QStringView written, QString* name) {
  Tag tag = Tag::Other;
  const QString* known = KnownTagName(written, &tag);
  *name = known ? *known : written.toString().toLower();
  return tag;
}

// The name of a tag the reading knows, for a listener told of an element the tree rules imply.
QString NameOfTag(Tag tag) {
  static const std::array<QString, 256> kNames = [] {
    std::array<QString, 256> names;
    for (const char* name : {"a", "abbr", "b", "big", "cite", "code", "del", "dfn", "em", "font", "i", "ins", "kbd",
                             "nobr", "q", "s", "samp", "small", "span", "strike", "strong", "sub", "sup", "tt", "u",
                             "var", "label"})
      names[size_t(TagOfName(QString::fromLatin1(name)))] = QString::fromLatin1(name);
    return names;
  }();
  const QString& name = kNames[size_t(tag)];
  return name.isEmpty() ? QStringLiteral("span") : name;
}

// Elements of text whose looks browsers take on into what follows when a block closes them.
bool IsFormatting(Tag tag) {
  switch (tag) {
    case Tag::A: case Tag::B: case Tag::Big: case Tag::Code: case Tag::Em: case Tag::Font: case Tag::I:
    case Tag::Nobr: case Tag::S: case Tag::Small: case Tag::Strike: case Tag::Strong: case Tag::Tt: case Tag::U:
      return true;
    default:
      return false;
  }
}

// Elements of text that take on no looks beyond their own end.
bool IsInline(Tag tag) {
  if (IsFormatting(tag)) return true;
  switch (tag) {
    case Tag::Other:  // an element the reading does not know, which only a style sheet could style
    case Tag::Abbr: case Tag::Cite: case Tag::Del: case Tag::Dfn: case Tag::Ins: case Tag::Kbd: case Tag::Q:
    case Tag::Samp: case Tag::Span: case Tag::Sub: case Tag::Sup: case Tag::Var: case Tag::Label:
      return true;
    default:
      return false;
  }
}

bool IsHeading(Tag tag) { return tag >= Tag::H1 && tag <= Tag::H6; }

bool IsCell(Tag tag) { return tag == Tag::Td || tag == Tag::Th; }

bool IsSection(Tag tag) { return tag == Tag::Thead || tag == Tag::Tbody || tag == Tag::Tfoot; }

// The attributes the reading takes; the first of a name counts, as in a browser.
struct Attributes {
  QString href, src, style, id, className, align, bgcolor, width, height, color, face, size, type, start, rel,
      colspan, rowspan, border, cellpadding, cellspacing, name, text, sdval, abbr;
  QString lang, xmlLang, httpEquiv, content;  // the language an element or a page declares
  bool hasHref = false;
  bool hidden = false;  // not shown, as "display: none"
  bool open = false;    // a details element shows what it holds besides its summary
  // Every attribute as written (its name in lower case, its value decoded), kept only where the
  // style sheets test attributes.
  QList<std::pair<QString, QString>> all;

  // The language the element declares, as a browser takes it: its lang, else its xml:lang; empty
  // for a declaration of none (lang=""), null where it declares nothing.
  QString language() const {
    const QString& declared = lang.isNull() ? xmlLang : lang;
    return declared.isNull() ? QString() : declared.trimmed().isNull() ? QStringLiteral("") : declared.trimmed();
  }

  void set(QStringView key, QString value) {
    QString* field = nullptr;
    if (key == u"hidden") hidden = true;
    else if (key == u"open") open = true;
    else if (key == u"href") {
      if (hasHref) return;
      hasHref = true;
      field = &href;
    }
    else if (key == u"src") field = &src;
    else if (key == u"style") field = &style;
    else if (key == u"id") field = &id;
    else if (key == u"class") field = &className;
    else if (key == u"align") field = &align;
    else if (key == u"bgcolor") field = &bgcolor;
    else if (key == u"width") field = &width;
    else if (key == u"height") field = &height;
    else if (key == u"color") field = &color;
    else if (key == u"face") field = &face;
    else if (key == u"size") field = &size;
    else if (key == u"type") field = &type;
    else if (key == u"start") field = &start;
    else if (key == u"rel") field = &rel;
    else if (key == u"colspan") field = &colspan;
    else if (key == u"rowspan") field = &rowspan;
    else if (key == u"border") field = &border;
    else if (key == u"cellpadding") field = &cellpadding;
    else if (key == u"cellspacing") field = &cellspacing;
    else if (key == u"name") field = &name;
    else if (key == u"text") field = &text;
    else if (key == u"sdval") field = &sdval;
    else if (key == u"abbr") field = &abbr;
    else if (key == u"lang") field = &lang;
    else if (key == u"xml:lang") field = &xmlLang;
    else if (key == u"http-equiv") field = &httpEquiv;
    else if (key == u"content") field = &content;
    if (field && field->isNull()) *field = value.isNull() ? QStringLiteral("") : std::move(value);
  }
};

// Decodes the entity at `at` (an "&") of `text`: the character, with `*end` just past the ";";
// 0 where the "&" stays as written.
char32_t DecodeEntity(QStringView text, qsizetype at, qsizetype* end) {
  qsizetype i = at + 1;
  const qsizetype limit = std::min(text.size(), at + 34);
  if (i < limit && text[i] == u'#') {
    ++i;
    const bool hex = i < limit && (text[i] == u'x' || text[i] == u'X');
    if (hex) ++i;
    const qsizetype digits = i;
    uint32_t value = 0;
    while (i < limit) {
      const char16_t c = text[i].unicode();
      uint32_t digit = 0;
      if (IsAsciiDigit(c)) digit = c - u'0';
      else if (hex && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
      else if (hex && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
      else break;
      value = value * (hex ? 16 : 10) + digit;
      if (value > 0x10FFFF) return 0;
      ++i;
    }
    if (i == digits || i >= limit || text[i] != u';') return 0;
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *end = i + 1;
    return value;
  }
  const qsizetype nameStart = i;
  while (i < limit && (IsAsciiLetter(text[i].unicode()) || IsAsciiDigit(text[i].unicode()))) ++i;
  if (i == nameStart || i >= limit || text[i] != u';') return 0;
  const char32_t character = HtmlNamedEntity(text.sliced(nameStart, i - nameStart));
  if (character) *end = i + 1;
  return character;
}

void AppendCharacter(QString* out, char32_t c) {
  if (c > 0xFFFF) {
    out->append(QChar::highSurrogate(c));
    out->append(QChar::lowSurrogate(c));
  } else {
    out->append(QChar(char16_t(c)));
  }
}

// The text with its entities decoded; `flags`, when given, what a listener is told of them
// (GMHtmlListener::TextFlag).
void DecodeText(QStringView raw, QString* out, unsigned* flags = nullptr) {
  out->resize(0);
  out->reserve(raw.size());
  qsizetype from = 0;
  for (qsizetype i = raw.indexOf(u'&'); i >= 0 && i < raw.size(); i = raw.indexOf(u'&', i)) {
    qsizetype end = 0;
    const char32_t c = DecodeEntity(raw, i, &end);
    if (flags) {
      if (!c) *flags |= GMHtmlListener::KeptAmpersand;
      else if (c == U' ') *flags |= GMHtmlListener::SpaceByEntity;
      else if (c < 0x80 && IsHtmlSpace(char16_t(c))) *flags |= GMHtmlListener::BlankByEntity;
    }
    if (!c) {
      ++i;
      continue;
    }
    out->append(raw.sliced(from, i - from));
    AppendCharacter(out, c);
    from = i = end;
  }
  out->append(raw.sliced(from));
}

// A span as written: a whole number, blanks and a "+" before it allowed; 1 for anything else.
int64_t SpanOf(QStringView value, int64_t most) {
  value = value.trimmed();
  if (value.startsWith(u'+')) value = value.sliced(1);
  if (value.isEmpty() || value.size() > 10) return 1;
  int64_t number = 0;
  for (QChar c : value) {
    if (!IsAsciiDigit(c.unicode())) return 1;
    number = number * 10 + (c.unicode() - u'0');
  }
  if (number > INT32_MAX) return 1;
  return std::clamp<int64_t>(number, 1, most);
}

// A length as an attribute gives it: pixels, or a percentage.
bool LengthOf(QStringView value, QTextLength* length) {
  value = value.trimmed();
  const bool percent = value.endsWith(u'%');
  if (percent) value.chop(1);
  bool ok = false;
  const double number = value.toDouble(&ok);
  if (!ok || number <= 0 || number > 1e6) return false;
  *length = QTextLength(percent ? QTextLength::PercentageLength : QTextLength::FixedLength, number);
  return true;
}

bool AlignmentOf(QStringView value, Qt::Alignment* alignment) {
  value = value.trimmed();
  if (value.compare(u"left", Qt::CaseInsensitive) == 0) *alignment = Qt::AlignLeft;
  else if (value.compare(u"right", Qt::CaseInsensitive) == 0) *alignment = Qt::AlignRight;
  else if (value.compare(u"center", Qt::CaseInsensitive) == 0 || value.compare(u"middle", Qt::CaseInsensitive) == 0)
    *alignment = Qt::AlignHCenter;
  else if (value.compare(u"justify", Qt::CaseInsensitive) == 0) *alignment = Qt::AlignJustify;
  else return false;
  return true;
}

QColor ColourOf(QStringView value) {
  value = value.trimmed();
  QColor colour = QColor::fromString(value);
  // Pages write "ff0000" for "#ff0000" often enough.
  if (!colour.isValid() && value.size() == 6 && std::all_of(value.begin(), value.end(), [](QChar c) {
        return IsAsciiDigit(c.unicode()) || (LowerAscii(c.unicode()) >= u'a' && LowerAscii(c.unicode()) <= u'f');
      }))
    colour = QColor::fromString(QString(u'#' + value.toString()));
  return colour;
}

// Whether a page with this document type declaration ("<!" and ">" left out) is laid out as pages
// of old were, which browsers do for the declarations those pages wrote (and for a page with
// none): a table there starts its cells' text alignment anew.
bool DoctypeIsQuirks(QStringView declaration) {
  const QString text = declaration.toString().toLower().simplified();
  if (!text.startsWith(u"doctype")) return false;
  const qsizetype open = text.indexOf(u"public");
  if (open < 0) return !text.startsWith(u"doctype html");
  const QString rest = text.sliced(open);
  const bool system = rest.count(u'"') >= 4 || rest.count(u'\'') >= 4;
  for (const char* prefix : {"-//w3c//dtd html 4.0 transitional//", "-//w3c//dtd html 4.0 frameset//",
                             "-//w3c//dtd html 3", "-//ietf//dtd html", "-//w3o//dtd w3 html", "-//netscape comm"})
    if (rest.contains(QLatin1String(prefix))) return true;
  for (const char* prefix : {"-//w3c//dtd html 4.01 transitional//", "-//w3c//dtd html 4.01 frameset//"})
    if (rest.contains(QLatin1String(prefix))) return !system;
  return false;
}

// What the reading builds before it goes to the document: paragraphs and tables as they are read,
// so that a table is made with its rows and columns known.
struct Run {
  QString text;
  QTextCharFormat format;
  bool picture = false;
};

struct Block {
  QTextBlockFormat format;
  QTextCharFormat charFormat;
  std::vector<Run> runs;
  int list = -1;  // the list (of the reading's) the paragraph is an item of
  bool hasText = false;
  bool formula = false, textStarted = false;
  int64_t formulaLength = 0;  // the characters of its formula so far
};

struct TableNode;

struct Node {
  std::unique_ptr<Block> block;
  std::unique_ptr<TableNode> table;
};

struct Cell {
  int64_t row = 0, column = 0;
  QTextTableCellFormat format;
  std::vector<Node> content;
};

struct TableNode {
  QTextTableFormat format;
  std::deque<Cell> cells;
  int64_t rows = 0, columns = 0;
  // The rows a cell starts in, and the last of them: a row that starts none shows nothing in a
  // browser and is not made.
  int64_t filledRows = 0, lastFilledRow = -1;
  int64_t nextColumn = 0;
  // The columns the row being read reaches as the rich text makes it: the columns a cell starts
  // in up to kMaxColumns, and one for each cell past them; what it was charged for.
  int64_t rowNear = 0, rowFar = 0;
  std::vector<int64_t> busyUntil;  // by column: the first row a span from above no longer covers
  std::vector<QTextLength> widths;
  std::vector<Node> before;  // text the page put in the table but in no cell
  // Such text shows as one line before the table: the paragraph it goes on, and whether a blank
  // ended what it last took.
  Block* fostered = nullptr;
  bool fosteredSpace = false;
  // The rows of its first footer, which shows below the rows of its body wherever it is written.
  int64_t footFirst = -1, footRows = 0;
  bool inFoot = false;
  QColor rowBackground;  // of the row being read: its cells' unless they have their own
  // Its caption, a line of its own above the table, or below it ("caption-side: bottom").
  std::vector<Node> caption;
  bool captionBelow = false;
};

struct ListInfo {
  QTextListFormat format;
};

// What the style sheets see of an element open in the page: made anew for each entry, so that an
// entry copied from its parent's to make a child's does not copy the parent's classes.
struct EntryCssElement : GMCssElement {
  EntryCssElement() = default;
  EntryCssElement(const EntryCssElement&) : GMCssElement() {}
  EntryCssElement(EntryCssElement&&) = default;
  EntryCssElement& operator=(const EntryCssElement&) {
    static_cast<GMCssElement&>(*this) = GMCssElement();
    return *this;
  }
  EntryCssElement& operator=(EntryCssElement&&) = default;
};

// An element open in the page.
struct Open {
  Tag tag = Tag::Other;
  QTextCharFormat chars;      // what its text looks like
  QTextCharFormat own;        // what it changes of its parent's look
  Qt::Alignment alignment = {};  // inherited
  bool alignedByStyle = false;   // the alignment is a style's, not a <center>'s or an align's
  bool pre = false;           // its text keeps its blanks and lines
  int list = -1;              // an open list: the reading's list; an item: its list
  int listDepth = 0;
  std::vector<Node>* container = nullptr;  // where its paragraphs go
  TableNode* table = nullptr;              // a table, or the table of a row or a cell
  uint64_t active = 0;                     // a formatting element: its entry in the active list
  bool dead = false;                       // a formatting element its end tag closed under a block
  // A formatting element: the alike ones opened right inside it, which change nothing of its
  // looks and are held as a count (those a listener was told of: `toldRepeats`), so that a page
  // that leaves them open, line after line, does not nest deeper for each.
  int64_t repeats = 0, toldRepeats = 0;
  QTextBlockFormat blockFormat;            // the paragraphs it makes (a block element)
  bool makesBlocks = false;
  bool hidden = false;                     // "display: none", or inside such an element
  bool invisible = false;                  // "visibility: hidden": its place is kept, its text not shown
  bool blockBox = false;                   // an element of text a style lays out as a block
  GMCssStyle::TextTransform transform = GMCssStyle::TextTransform::None;
  // A details element that is not open shows its first summary alone: it is hidden, and that
  // summary is shown as the element around it would be (`hiddenAround`).
  bool closedDetails = false, summaryShown = false, hiddenAround = false;
  Cell* cell = nullptr;                    // a cell: what the reading makes of it
  // What the style sheets see of it, and its style where any sheet or style touched it.
  QString elementName, elementId;
  QStringList elementClasses;
  QList<std::pair<QString, QString>> elementAttributes;
  EntryCssElement element;
  GMCssStyle style;
  bool styled = false;
  // Told to a listener when it opened, by this name: told when it closes too.
  bool announced = false;
  QString eventName;
};

// A formatting element a block closed, whose looks the text after it takes on.
struct Active {
  uint64_t serial = 0;  // 0: a cell's mark, past which none reaches
  Tag tag = Tag::Other;
  QTextCharFormat own;
  bool open = false;
  int64_t repeats = 0;  // alike ones folded into it (Open::repeats), at most kMostAlikeActive - 1
};

// The most alike formatting elements (the same element with the same looks) whose looks a block
// takes on again, as browsers keep them: the oldest gives way to a newer one.
constexpr int64_t kMostAlikeActive = 3;

constexpr size_t kMostActive = 64;

// The depth past which a formatting element opens beside the innermost one rather than in it
// (Reader::openBeside): well short of kMostHtmlNesting, so that the blocks and tables a page may
// still open there have room.
constexpr size_t kBesideNesting = size_t(kMostHtmlNesting) - 64;

// An element in rows a listener took, of which nothing is made: what the tree rules see of it.
Open LightOpen(const Open& parent) {
  Open open;
  open.table = parent.table;
  open.listDepth = parent.listDepth;
  return open;
}

// What an element the reading does not know opens inside `open` (its parent's entry): no look
// or block of its own, only what a style sheet gives it.
Open UnknownElementOpen(Open open) {
  open.tag = Tag::Other;
  open.own = QTextCharFormat();
  open.active = 0;
  open.makesBlocks = false;
  open.cell = nullptr;
  return open;
}

class Reader {
 public:
  Reader(int64_t budget, const QUrl& base, GMHtmlListener* listener = nullptr, int64_t listenerCost = 0)
      : budget_(budget), base_(base), sheets_([this](int64_t bytes) { return chargeSheet(bytes); }), listener_(listener),
        listenerCost_(listener ? listenerCost : 0) {
    baseLength_ = base_.isEmpty() ? 0 : base_.toString(QUrl::FullyEncoded).size();
    documentUrl_ = base_;
    // The entries stay where they are: the style sheets see each element's parent by its address.
    stack_.reserve(size_t(kMostHtmlNesting) + 2);
    if (budget_ > 0) {
      // An open or a paste meters all its stages; a reading on its own meters itself.
      meter_ = FLReadingMeter::current();
      if (!meter_) {
        ownMeter_ = std::make_unique<FLReadingMeter>(budget_);
        meter_ = ownMeter_.get();
      }
    }
    // The selector tests the style sheets make are steps of the reading. Told them with or
    // without a budget, the sheets charge alike, so that a page is priced within a budget as it
    // is without one.
    sheets_.setSteps([this](int64_t tests) { return step(tests); });
    Open root;
    root.container = &root_;
    stack_.push_back(root);
  }

  GMHtmlReading read(QStringView page);
  // What the heap was seen grown by since the open, paste or reading began.
  int64_t grown() const;
  // False where the heap grew past the budget while the rich text was made.
  bool build(QTextDocument* text);
  // The language the page declares: its root element's, else the last Content-Language meta
  // element's, as a browser takes it; empty where it declares none.
  QString language() const { return rootLanguage_.isEmpty() ? metaLanguage_ : rootLanguage_; }
  void forbidResources() {
    resources_ = false;
    sheets_.forbidFiles();
  }
  // The address of the page itself, which the address its base element names is resolved against
  // (empty, as for a pasted page: the page resolves nothing, and its base element is passed over).
  void setDocumentUrl(const QUrl& url) { documentUrl_ = url; }
  // What the page's first base element with an address names, made absolute; empty where it
  // names none.
  const QUrl& declaredBase() const { return declaredBase_; }

 private:
  // Scanning.
  void scan(QStringView page);
  qsizetype startTag(QStringView page, qsizetype at);
  // Past what a frame element holds up to its end tag, which a browser reads as text it shows
  // nowhere; `at` is past its start tag.
  qsizetype skipFrameContent(QStringView page, qsizetype at, const QString& name);
  // Past what a template holds, the templates inside it too, up to its end tag; `at` is past its
  // start tag.
  qsizetype skipTemplateContent(QStringView page, qsizetype at);
  // The looks the style sheets give the page's root element reach all its text, where the page
  // writes that element or not.
  void styleRoot();
  void text(QStringView raw);
  void textChars(QStringView text);

  // Tree rules.
  void openElement(Tag tag, const QString& name, const Attributes& attributes, bool selfClosing);
  void closeElement(Tag tag);
  void closeUnknown(const QString& name);
  void push(Open open);
  void popTo(size_t index);  // pops entries above `index`, it too
  void dropIfEmpty(const Open& entry);
  int find(Tag tag, bool crossTables) const;
  int findAny(std::initializer_list<Tag> tags) const;
  void closeParagraph();
  void endBlock() { block_ = nullptr; }
  Block* ensureBlock();
  void newBlock(const Open& context, bool listItem);
  void reconstruct();
  void recomputeLooks(size_t from);
  bool foldAlike();
  void openBeside();
  int foldedAlike(Tag tag) const;
  void keepAlikeActive();
  void closeGivenWay(Tag tag);
  void flushSpace();
  void addRun(QStringView text, const QTextCharFormat& format);
  // Adds text in the looks of the innermost element, as its "text-transform" shows it.
  void addShownRun(QStringView text);
  void lineBreak();
  void picture(const Attributes& attributes);
  void rule();
  // The page's base element names the address its links, pictures and style sheets are resolved
  // against from then on.
  void declareBase(const QString& href);
  void startRow(TableNode* table);
  void startCell(Tag tag, const Attributes& attributes);
  // Undoes the row the entry on top started, where it is hidden.
  void dropHiddenRow();
  QTextCharFormat ownLooks(Tag tag, const Attributes& attributes) const;
  void pushStyled(Open open, const QString& name, const Attributes& attributes);
  // `hiddenByAttribute`: the element is hidden by its hidden attribute alone, which a display the
  // style gives it overrides.
  void applyStyle(const Attributes& attributes, bool hiddenByAttribute);
  // Whether an element without content (a line break, a picture) named `name` is hidden where it
  // stands: by a display of none, or by its hidden attribute where no display overrides it.
  bool hidesEmptyElement(QStringView name, const Attributes& attributes);

  bool charge(int64_t bytes) {
    cost_ += bytes;
    if (budget_ > 0 && cost_ + listenerCost_ > budget_) failed_ = true;
    if (meter_ && !meter_->pieces(1)) failed_ = true;
    return !failed_;
  }
  // What a style sheet charges; a charge of nothing marks a sheet or a rule list read, after which
  // the heap is read soon.
  bool chargeSheet(int64_t bytes) {
    if (bytes == 0 && meter_ && !meter_->pieces(FLReadingMeter::kPiecesBetweenReads / 64)) failed_ = true;
    return charge(bytes);
  }
  // Work done: false once past the bound the page's size allows.
  bool step(int64_t count = 1) {
    if (meter_ && !meter_->steps(count)) failed_ = true;
    return !failed_;
  }
  // Pieces made that nothing charged apart (a table, an attribute, a class).
  bool checkpoint(int64_t pieces) {
    if (meter_ && !meter_->pieces(pieces)) failed_ = true;
    return !failed_;
  }

 public:
  // What the listener charges for its own reading as it reads, counted with its cost.
  bool chargeListener(int64_t bytes) {
    if (!listener_) return !failed_;
    listenerCost_ += bytes;
    if (budget_ > 0 && cost_ + listenerCost_ > budget_) failed_ = true;
    return !failed_;
  }

 private:
  // Listening.
  bool stopped() const { return failed_ || tooDeep_ || left_; }
  // Rows a listener has taken, and the lines it has taken past a paragraph's first, are read for
  // it alone: the rich text makes nothing of them.
  bool muted() const { return mutedTable_ >= 0 || linesMuted_; }
  // `row`: the answer to the start of a row; `text`: to a text.
  void hear(GMHtmlListener::Answer answer, bool row = false, bool text = false);
  // Tells the listener of an element that opens, with the attributes of the tag being read
  // (none where the tree rules imply it); `opens`: the element is pushed next.
  void announce(const QString& name, bool implied, bool opens, bool row = false);
  void announceRaw(const QString& name, QStringView raw);

  // Emitting.
  void emitNodes(std::vector<Node>& nodes, QTextCursor& cursor, bool& fresh);
  void emitBlock(Block& block, QTextCursor& cursor, bool& fresh);
  void emitTable(TableNode& table, QTextCursor& cursor, bool& fresh);
  // Whether the budget has room for a Qt call that grows the heap by about `bytes` (FLReadingMeter::
  // room); where not, the build is past it and stops before the call is made.
  bool roomInQt(const QTextCursor& cursor, int64_t bytes);
  // Readies the format for Qt's table of formats, so that no lookup in it compares more than a few
  // (GMQtFormatTable), and charges the steps the lookup takes; false, and the build past its
  // bound, where they pass the steps the reading may take.
  bool lookupInQt(QTextFormat& format);

  int64_t budget_;
  // The meter of the open or paste the reading is part of, or the reading's own; none without a
  // budget.
  FLReadingMeter* meter_ = nullptr;
  std::unique_ptr<FLReadingMeter> ownMeter_;
  size_t mostAttributes_ = 0;  // the most attributes a tag has had
  QUrl base_;
  int64_t baseLength_ = 0;  // of the base as an address
  QUrl documentUrl_, declaredBase_;
  bool baseSeen_ = false;   // a base element with an address was read: the first one counts
  int64_t linksMade_ = 0;   // each charged for the base's length when it was made
  GMStyleSheets sheets_;
  bool resources_ = true;
  int64_t cost_ = 0;
  int64_t longestFormula_ = 0;
  bool failed_ = false, tooDeep_ = false;
  QString rootLanguage_, metaLanguage_;
  std::vector<Node> root_;
  // Where what is hidden goes (a table, a cell's paragraphs): made and charged as shown, never emitted.
  std::vector<Node> hiddenNodes_;
  std::vector<Open> stack_;
  std::array<int, 256> openCount_{};  // by tag: how many are open
  std::vector<Active> active_;
  int64_t repeatsOpen_ = 0;  // the alike elements the stack's entries hold (Open::repeats)
  std::array<int64_t, 256> repeatsByTag_{};  // the same by tag
  uint64_t serials_ = 0;
  std::vector<ListInfo> lists_;
  std::vector<int> listItems_;  // items emitted so far into the current QTextList of each list
  std::vector<QTextList*> emittedLists_;
  Block* block_ = nullptr;
  bool pendingSpace_ = false;
  bool afterComment_ = false;
  bool dropNewline_ = false;  // the line break that starts a <pre> shows nothing
  bool doctypeSeen_ = false, quirks_ = true;  // laid out as pages of old (DoctypeIsQuirks)
  QString decoded_;
  GMHtmlListener* listener_ = nullptr;
  int64_t listenerCost_ = 0;
  int mutedTable_ = -1;  // the stack entry of the table whose rows the listener took
  bool tookTable_ = false;  // the listener took rows of a table
  int linesTaken_ = -1;      // the stack entry of the paragraph whose lines after the first it took
  bool linesMuted_ = false;  // that paragraph's first line has ended
  bool tookLines_ = false;   // the listener took lines
  bool left_ = false;       // the listener gave up rows it had taken
  std::vector<GMHtmlAttribute> tagAttributes_;  // of the start tag being read, for the listener
  bool buildPassed_ = false;  // the heap grew past the budget while the rich text was made
  GMQtFormatTable formats_;   // the formats handed to Qt
  bool pending_ = false;  // an element announced is pushed next
  bool quiet_ = false;    // the text being read was told already
  QString pendingName_;
};

void Reader::hear(GMHtmlListener::Answer answer, bool row, bool text) {
  if (answer == GMHtmlListener::Answer::Follow) return;
  if (answer == GMHtmlListener::Answer::TakeLines) {
    const Open& top = stack_.back();
    if (text && !muted() && linesTaken_ < 0 && top.pre && !top.hidden) {
      // The lines are the paragraph's: the innermost element that makes paragraphs.
      size_t k = stack_.size() - 1;
      while (k > 0 && !stack_[k].makesBlocks) --k;
      linesTaken_ = int(k);
      tookLines_ = true;
      return;
    }
    answer = GMHtmlListener::Answer::Leave;
  }
  if (answer == GMHtmlListener::Answer::Leave) {
    listener_ = nullptr;
    // What it had taken when its charge passed the budget is told with the refusal.
    if (!failed_) listenerCost_ = 0;
    pending_ = false;
    if (tookTable_ || tookLines_) left_ = true;
    return;
  }
  if (row && !muted()) {
    mutedTable_ = find(Tag::Table, true);
    tookTable_ = true;
  }
}

void Reader::announce(const QString& name, bool implied, bool opens, bool row) {
  // What the reading opens for itself (a text area's text) has no name, and is no element.
  if (!listener_ || name.isEmpty()) return;
  static const std::vector<GMHtmlAttribute> kNone;
  if (opens) {
    pending_ = true;
    pendingName_ = name;
  }
  hear(listener_->started(name, implied ? kNone : tagAttributes_, implied), row);
}

void Reader::announceRaw(const QString& name, QStringView raw) {
  if (!listener_) return;
  hear(listener_->started(name, tagAttributes_, false));
  if (listener_) hear(listener_->rawText(name, raw));
  if (listener_) hear(listener_->ended(name));
}

// --- scanning ---

void Reader::scan(QStringView page) {
  const qsizetype n = page.size();
  qsizetype i = 0;
  while (i < n && !stopped()) {
    if (!step()) return;
    if (page[i] != u'<') {
      qsizetype next = page.indexOf(u'<', i);
      if (next < 0) next = n;
      text(page.sliced(i, next - i));
      i = next;
      continue;
    }
    const char16_t next = i + 1 < n ? page[i + 1].unicode() : 0;
    if (next == u'!' && page.sliced(i).startsWith(u"<!--")) {
      const qsizetype end = page.indexOf(u"-->", i + 4);
      i = end < 0 ? n : end + 3;
      afterComment_ = true;
      if (listener_) hear(listener_->comment());
      continue;
    }
    if (next == u'!' || next == u'?') {
      // A declaration, a processing instruction, or "<![CDATA[": up to the first ">".
      const qsizetype end = page.indexOf(u'>', i + 2);
      if (next == u'!' && !doctypeSeen_ && page.sliced(i + 2).startsWith(u"doctype", Qt::CaseInsensitive)) {
        doctypeSeen_ = true;
        quirks_ = DoctypeIsQuirks(page.sliced(i + 2, (end < 0 ? n : end) - i - 2));
      }
      i = end < 0 ? n : end + 1;
      afterComment_ = true;
      if (listener_) hear(listener_->comment());
      continue;
    }
    if (next == u'/') {
      const char16_t first = i + 2 < n ? page[i + 2].unicode() : 0;
      if (IsAsciiLetter(first)) {
        // Looked for only where a name follows: a "</" of text must not search the page's rest.
        const qsizetype end = page.indexOf(u'>', i + 2);
        qsizetype nameEnd = i + 2;
        while (nameEnd < n && !IsHtmlSpace(page[nameEnd].unicode()) && page[nameEnd] != u'/' && page[nameEnd] != u'>')
          ++nameEnd;
        if (end < 0) return;  // a tag the page never ends is none
        QString name;
        const Tag tag = TagOfWrittenName(page.sliced(i + 2, nameEnd - i - 2), &name);
        afterComment_ = false;
        if (tag == Tag::Br) {
          tagAttributes_.clear();
          announce(QStringLiteral("br"), false, false);
          if (!stopped()) lineBreak();
        }
        else if (tag != Tag::Other) closeElement(tag);
        else closeUnknown(name);
        i = end + 1;
      } else if (first == u'>') {
        i += 3;
      } else {
        // "</" and no name: text, as the rich text has always shown it.
        text(page.sliced(i, 1));
        ++i;
      }
      continue;
    }
    if (IsAsciiLetter(next)) {
      afterComment_ = false;
      i = startTag(page, i);
      continue;
    }
    text(page.sliced(i, 1));
    ++i;
  }
}

qsizetype Reader::startTag(QStringView page, qsizetype at) {
  const qsizetype n = page.size();
  qsizetype i = at + 1;
  while (i < n && !IsHtmlSpace(page[i].unicode()) && page[i] != u'/' && page[i] != u'>') ++i;
  QString name;
  const Tag tag = TagOfWrittenName(page.sliced(at + 1, i - at - 1), &name);
  // The page's own elements, whose looks reach all its text, are read without a style sheet too.
  const bool frame = tag == Tag::Other && (name == u"body" || name == u"html");
  // A meta element may declare the page's language; a base element, the address the page's own
  // addresses are relative to.
  const bool meta = tag == Tag::Other && (name == u"meta" || name == u"base");
  Attributes attributes;
  bool selfClosing = false;
  QString value;
  size_t attributeCount = 0;
  const bool keepsAll = sheets_.testsAttributes();
  // What any element may say of itself, one the reading does not know too: the language its text
  // is in, and whether a dialog is open.
  const auto anyElementsKey = [](QStringView key) {
    return key.compare(u"lang", Qt::CaseInsensitive) == 0 || key.compare(u"xml:lang", Qt::CaseInsensitive) == 0 ||
           key.compare(u"open", Qt::CaseInsensitive) == 0;
  };
  if (listener_) tagAttributes_.clear();
  for (;;) {
    while (i < n && (IsHtmlSpace(page[i].unicode()) || page[i] == u'/')) {
      selfClosing = page[i] == u'/';
      ++i;
    }
    if (i >= n) return n;  // a tag the page never ends is none
    if (page[i] == u'>') break;
    selfClosing = false;
    const qsizetype keyStart = i;
    ++i;  // a first "=" belongs to the name
    while (i < n && !IsHtmlSpace(page[i].unicode()) && page[i] != u'/' && page[i] != u'>' && page[i] != u'=') ++i;
    const QStringView key = page.sliced(keyStart, i - keyStart);
    while (i < n && IsHtmlSpace(page[i].unicode())) ++i;
    value = QString();
    GMHtmlAttribute* told = nullptr;
    // What a listener is told of the attributes is a list kept from tag to tag: what it grows to
    // past the few any tag has (priced with what the element makes) is charged once, listened to
    // or not, so that an open and a paste charge a page alike.
    if (!step()) return n;
    if (++attributeCount > std::max<size_t>(mostAttributes_, 16)) {
      mostAttributes_ = attributeCount;
      if (!charge(kHtmlAttributeCost)) return n;
    }
    if (listener_) {
      tagAttributes_.push_back(GMHtmlAttribute{key, QStringView(), false});
      told = &tagAttributes_.back();
    }
    if (i < n && page[i] == u'=') {
      ++i;
      while (i < n && IsHtmlSpace(page[i].unicode())) ++i;
      if (i >= n) return n;
      const QChar quote = page[i];
      QStringView raw;
      if (quote == u'"' || quote == u'\'') {
        const qsizetype close = page.indexOf(quote, i + 1);
        if (close < 0) return n;
        raw = page.sliced(i + 1, close - i - 1);
        i = close + 1;
      } else {
        // A bare value ends at a blank or ">", whatever it holds (quotes and "/" too).
        const qsizetype start = i;
        while (i < n && !IsHtmlSpace(page[i].unicode()) && page[i] != u'>') ++i;
        raw = page.sliced(start, i - start);
      }
      if (told) {
        told->value = raw;
        told->valued = true;
      }
      if ((tag != Tag::Other || frame || meta || !sheets_.empty() || anyElementsKey(key)) && !muted())
        DecodeText(raw, &value);
      if (value.isNull()) value = QStringLiteral("");
    }
    if (tag == Tag::Other && !frame && sheets_.empty() && !muted() && key.compare(u"hidden", Qt::CaseInsensitive) == 0)
      attributes.hidden = true;
    if (keepsAll && !muted()) {
      // Kept while the element is open, for the attribute selectors of the page's sheets.
      if (!charge(kHtmlAttributeCost + 2 * int64_t(key.size() + value.size()))) return n;
      QString lowerKey = key.toString();
      for (QChar& c : lowerKey) c = QChar(LowerAscii(c.unicode()));
      attributes.all.push_back({std::move(lowerKey), value});
    }
    if ((tag != Tag::Other || frame || meta || !sheets_.empty() || anyElementsKey(key)) && key.size() <= 16 &&
        !muted()) {
      // In lower case where it stands: a tag of millions of attributes makes no string of each.
      std::array<char16_t, 16> lower;
      for (qsizetype k = 0; k < key.size(); ++k) lower[size_t(k)] = LowerAscii(key[k].unicode());
      attributes.set(QStringView(lower.data(), key.size()), value);
    }
  }
  ++i;  // past ">"
  if (tag == Tag::Other && name == u"comment") {
    // LibreOffice's comment of a cell, which its style sheet hides: its text is text, whatever
    // it holds, as browsers of old read it, so that no markup in it reaches the table.
    qsizetype end = page.indexOf(u"</comment", i, Qt::CaseInsensitive);
    if (end < 0) end = n;
    const QStringView raw = page.sliced(i, end - i);
    announceRaw(name, raw);
    if (stopped()) return n;
    if (!muted()) {
      const size_t at = stack_.size();
      if (!sheets_.empty() && stack_.size() < size_t(kMostHtmlNesting) / 2) {
        pushStyled(UnknownElementOpen(stack_.back()), name, attributes);
      }
      // Told as the element's text already.
      quiet_ = true;
      text(raw);
      quiet_ = false;
      popTo(at);
    }
    if (end >= n) return n;
    const qsizetype close = page.indexOf(u'>', end);
    return close < 0 ? n : close + 1;
  }
  if (tag == Tag::Other && name == u"iframe") return skipFrameContent(page, i, name);
  // What a template holds is never shown, wherever it stands (among a table's rows too, where the
  // tree rules would close an element around it): it is there for a script to copy.
  if (tag == Tag::Other && name == u"template" && !selfClosing) return skipTemplateContent(page, i);
  if (name == u"html" && rootLanguage_.isEmpty()) rootLanguage_ = attributes.language();
  if (meta && name == u"base" && attributes.hasHref && !baseSeen_) {
    baseSeen_ = true;
    declareBase(attributes.href);
    if (stopped()) return n;
  }
  if (meta && attributes.httpEquiv.trimmed().compare(u"content-language", Qt::CaseInsensitive) == 0) {
    // A list of languages names none the page is in.
    const QString declared = attributes.content.trimmed();
    if (!declared.isEmpty() && !declared.contains(u',')) metaLanguage_ = declared;
  }
  if (tag == Tag::Other) {
    // An element the reading does not know is its text alone, unless a style sheet could reach
    // it (LibreOffice hides its cells' comments so), it is the page's body with looks of its
    // own, or it holds what a browser shows only where it cannot show the element itself.
    const bool fallback = name == u"object" || name == u"video" || name == u"meter" || name == u"progress";
    // A dialog that is not open shows nothing of what it holds.
    const bool inert = name == u"dialog" && !attributes.open;
    const bool framed = frame && (!attributes.style.trimmed().isEmpty() || !attributes.text.isNull());
    // An element below the root that declares a language holds its text in it; one that holds
    // nothing (meta, link, input) has no end to close it by.
    static constexpr const char16_t* kEmptyElements[] = {u"area", u"base",  u"col",   u"embed", u"html",  u"input",
                                                          u"link", u"meta",  u"param", u"source", u"track", u"wbr"};
    const bool declares = !attributes.language().isNull() &&
                          std::none_of(std::begin(kEmptyElements), std::end(kEmptyElements),
                                       [&name](const char16_t* empty) { return name == QStringView(empty); });
    const bool pushes = (!sheets_.empty() || framed || fallback || inert || attributes.hidden || declares) && !selfClosing &&
                        stack_.size() < size_t(kMostHtmlNesting) / 2 && !failed_;
    announce(name, false, pushes);
    if (stopped()) return n;
    if (pushes) {
      Open open = UnknownElementOpen(muted() ? LightOpen(stack_.back()) : stack_.back());
      if (fallback || inert) open.hidden = true;
      if (name == u"body" && !attributes.text.isNull() && !muted()) {
        const QColor colour = ColourOf(attributes.text);
        if (colour.isValid()) {
          open.own.setForeground(colour);
          open.chars.merge(open.own);
        }
      }
      pushStyled(std::move(open), name, attributes);
    }
    return i;
  }
  if (tag == Tag::Script || tag == Tag::Style || tag == Tag::Title || tag == Tag::Textarea) {
    // Raw text up to the element's end tag, or the page's end.
    qsizetype end = i;
    for (;;) {
      end = page.indexOf(u"</", end);
      if (end < 0) {
        end = n;
        break;
      }
      const QStringView rest = page.sliced(end + 2);
      if (rest.size() >= name.size() && rest.first(name.size()).compare(name, Qt::CaseInsensitive) == 0 &&
          (rest.size() == name.size() || (!IsAsciiLetter(rest[name.size()].unicode()) &&
                                              rest[name.size()] != u'-' && !IsAsciiDigit(rest[name.size()].unicode()))))
        break;
      end += 2;
    }
    const QStringView raw = page.sliced(i, end - i);
    announceRaw(name, raw);
    if (stopped()) return n;
    if (muted()) {
      // Nothing of it is made.
    } else if (tag == Tag::Textarea) {
      openElement(Tag::Span, QString(), Attributes(), false);
      DecodeText(raw, &decoded_);
      textChars(decoded_);
      closeElement(Tag::Span);
    } else if (tag == Tag::Style) {
      if (!sheets_.addSheet(raw, base_)) failed_ = true;
      else styleRoot();
    }
    if (end >= n) return n;
    const qsizetype close = page.indexOf(u'>', end);
    return close < 0 ? n : close + 1;
  }
  openElement(tag, name, attributes, selfClosing);
  return i;
}

qsizetype Reader::skipFrameContent(QStringView page, qsizetype at, const QString& name) {
  const qsizetype n = page.size();
  qsizetype end = page.indexOf(QStringLiteral("</") + name, at, Qt::CaseInsensitive);
  if (end < 0) end = n;
  announceRaw(name, page.sliced(at, end - at));
  if (stopped() || end >= n) return n;
  const qsizetype close = page.indexOf(u'>', end);
  return close < 0 ? n : close + 1;
}

qsizetype Reader::skipTemplateContent(QStringView page, qsizetype at) {
  const qsizetype n = page.size();
  // Up to the end tag of this template, past those of the templates it holds.
  static const QString kTemplate = QStringLiteral("template");
  const auto endsName = [&page, n](qsizetype after) {
    return after >= n || !(IsAsciiLetter(page[after].unicode()) || IsAsciiDigit(page[after].unicode()) ||
                           page[after] == u'-' || page[after] == u':');
  };
  int depth = 1;
  qsizetype end = at;
  for (;;) {
    end = page.indexOf(u'<', end);
    if (end < 0) {
      end = n;
      break;
    }
    if (!step()) return n;
    const bool closing = end + 1 < n && page[end + 1] == u'/';
    const qsizetype nameAt = end + (closing ? 2 : 1);
    if (page.sliced(nameAt).startsWith(kTemplate, Qt::CaseInsensitive) && endsName(nameAt + kTemplate.size())) {
      depth += closing ? -1 : 1;
      if (depth == 0) break;
    }
    ++end;
  }
  announceRaw(kTemplate, page.sliced(at, end - at));
  if (stopped() || end >= n) return n;
  const qsizetype close = page.indexOf(u'>', end);
  return close < 0 ? n : close + 1;
}

void Reader::styleRoot() {
  if (muted() || stopped() || sheets_.empty()) return;
  static const QString kRoot = QStringLiteral("html");
  GMCssElement element;
  element.name = kRoot;
  std::vector<const GMCssDeclaration*> declarations;
  if (!sheets_.match(element, &declarations)) {
    failed_ = true;
    return;
  }
  GMCssStyle style;
  if (!declarations.empty()) ApplyCssDeclarations(declarations, GMCssStyle(), &style);
  // What the root's text inherits; the rest of its style is no text's.
  QTextCharFormat looks;
  if (style.fontFamilies) looks.setFontFamilies(*style.fontFamilies);
  if (style.fontPointSize && *style.fontPointSize > 0) looks.setFontPointSize(*style.fontPointSize);
  if (style.fontWeight) looks.setFontWeight(*style.fontWeight);
  if (style.italic) looks.setFontItalic(*style.italic);
  if (style.color && style.color->isValid()) looks.setForeground(*style.color);
  Open& root = stack_.front();
  root.style = style.inherited();
  root.styled = true;
  root.own = looks;
  root.chars = looks;
  // What is open already takes them on below its own.
  recomputeLooks(1);
}

void Reader::text(QStringView raw) {
  if (raw.isEmpty()) return;
  if (afterComment_ && !stack_.back().pre) {
    // What follows a comment starts after the blanks after it, as the rich text has always read it.
    qsizetype k = 0;
    while (k < raw.size() && IsHtmlSpace(raw[k].unicode())) ++k;
    raw = raw.sliced(k);
    if (raw.isEmpty()) return;
  }
  afterComment_ = false;
  unsigned flags = 0;
  DecodeText(raw, &decoded_, listener_ ? &flags : nullptr);
  if (listener_ && !quiet_) {
    // The looks a block closed are taken on again before the text, which the listener hears in them.
    const Open& top = stack_.back();
    const bool fostered = top.table && (top.tag == Tag::Table || top.tag == Tag::Tr || IsSection(top.tag));
    if (!top.hidden && !fostered &&
        std::any_of(decoded_.cbegin(), decoded_.cend(), [](QChar c) { return !IsHtmlSpace(c.unicode()); }))
      reconstruct();
    if (stopped()) return;
    hear(listener_->text(decoded_, flags), false, true);
    if (stopped()) return;
  }
  textChars(decoded_);
}

void Reader::textChars(QStringView chars) {
  const Open& top = stack_.back();
  if (top.hidden || top.invisible || muted()) return;
  // Text in a table but in none of its cells goes before the table.
  if (top.table && (top.tag == Tag::Table || top.tag == Tag::Tr || IsSection(top.tag))) {
    if (std::all_of(chars.begin(), chars.end(), [](QChar c) { return IsHtmlSpace(c.unicode()); })) return;
    TableNode* table = top.table;
    Open foster = top;
    foster.container = &table->before;
    foster.tag = Tag::Span;
    foster.table = nullptr;
    Block* kept = block_;
    const bool keptSpace = pendingSpace_;
    block_ = table->fostered;
    pendingSpace_ = table->fosteredSpace;
    const size_t at = stack_.size();
    push(foster);
    if (tooDeep_) return;
    textChars(chars);
    table->fostered = block_;
    table->fosteredSpace = pendingSpace_;
    // The looks taken on inside go with it.
    popTo(at);
    block_ = kept;
    pendingSpace_ = keptSpace;
    return;
  }
  if (stack_.back().pre) {
    qsizetype from = 0;
    for (qsizetype k = 0; k <= chars.size(); ++k) {
      if (k < chars.size() && chars[k] != u'\n' && chars[k] != u'\r') continue;
      if (k > from) {
        dropNewline_ = false;
        reconstruct();
        ensureBlock();
        // A blank the text before folded stays before this text, which keeps its own.
        flushSpace();
        addShownRun(chars.sliced(from, k - from));
      }
      if (k < chars.size() && chars[k] == u'\n') {
        if (dropNewline_) {
          dropNewline_ = false;
        } else {
          ensureBlock();
          endBlock();
          if (linesTaken_ >= 0) {
            // The lines after the first are the listener's.
            linesMuted_ = true;
            return;
          }
          ensureBlock();
        }
      }
      from = k + 1;
      if (failed_) return;
    }
    return;
  }
  qsizetype k = 0;
  while (k < chars.size()) {
    if (IsHtmlSpace(chars[k].unicode())) {
      pendingSpace_ = true;
      ++k;
      continue;
    }
    qsizetype end = k;
    while (end < chars.size() && !IsHtmlSpace(chars[end].unicode())) ++end;
    reconstruct();
    ensureBlock();
    flushSpace();
    addShownRun(chars.sliced(k, end - k));
    if (failed_) return;
    k = end;
  }
  if (TableNode* table = stack_.back().table; table && stack_.back().container == &table->before) {
    table->fostered = block_;
    table->fosteredSpace = pendingSpace_;
  }
}

// --- tree rules ---

void Reader::push(Open open) {
  step();
  if (stack_.size() > size_t(kMostHtmlNesting)) {
    tooDeep_ = true;
    return;
  }
  ++openCount_[size_t(open.tag)];
  stack_.push_back(std::move(open));
  Open& pushed = stack_.back();
  // Alike elements held in its parent are no part of it.
  pushed.repeats = pushed.toldRepeats = 0;
  pushed.announced = pending_;
  if (pending_) pushed.eventName = std::move(pendingName_);
  pending_ = false;
  pushed.element.name = pushed.elementName;
  pushed.element.id = pushed.elementId;
  pushed.element.classes.clear();
  for (const QString& c : pushed.elementClasses) pushed.element.classes.push_back(c);
  pushed.element.attributes.clear();
  for (const auto& [name, value] : pushed.elementAttributes) pushed.element.attributes.push_back({name, value});
  pushed.element.parent = stack_.size() > 2 ? &stack_[stack_.size() - 2].element : nullptr;
}

void Reader::dropIfEmpty(const Open& entry) {
  // A table that ends with nothing in it makes nothing: what it held goes now, not with the page
  // (its charge stays, as a page of many such is no page to read).
  const TableNode* table = entry.table;
  if (!table || !entry.container || entry.container->empty() || entry.container->back().table.get() != table) return;
  if (table->rows == 0 && table->cells.empty() && table->before.empty() && table->caption.empty())
    entry.container->pop_back();
}

void Reader::popTo(size_t index) {
  while (stack_.size() > std::max<size_t>(index, 1)) {
    step();
    const Open& top = stack_.back();
    if (top.active)
      for (Active& a : active_)
        if (a.serial == top.active) a.open = false;
    if (IsCell(top.tag)) {
      // A cell's looks reach no further than the cell.
      while (!active_.empty() && active_.back().serial != 0) active_.pop_back();
      if (!active_.empty()) active_.pop_back();
    }
    if ((!IsInline(top.tag) || top.blockBox) && top.tag != Tag::Br) endBlock();
    if (top.tag == Tag::Table) dropIfEmpty(top);
    for (int64_t r = 0; r < top.toldRepeats && listener_; ++r) hear(listener_->ended(NameOfTag(top.tag)));
    // One whose end tag came under a block was heard to end no more than the block around it.
    if (top.announced && listener_ && !top.dead) hear(listener_->ended(top.eventName));
    if (int(stack_.size()) - 1 == mutedTable_) mutedTable_ = -1;
    if (int(stack_.size()) - 1 == linesTaken_) {
      linesTaken_ = -1;
      linesMuted_ = false;
    }
    --openCount_[size_t(stack_.back().tag)];
    repeatsOpen_ -= stack_.back().repeats;
    repeatsByTag_[size_t(stack_.back().tag)] -= stack_.back().repeats;
    stack_.pop_back();
    // A formatting element whose end tag came under a block it held is gone once that block is:
    // what follows is no longer inside it, as in a browser, which moves the block out of it.
    if (stack_.size() <= std::max<size_t>(index, 1) && stack_.size() > 1 && stack_.back().dead) --index;
  }
}

int Reader::find(Tag tag, bool crossTables) const {
  // What is not open is not looked for: a step never costs the depth of what came before.
  if (!openCount_[size_t(tag)]) return -1;
  for (int k = int(stack_.size()) - 1; k > 0; --k) {
    if (stack_[size_t(k)].tag == tag) return k;
    if (!crossTables && (stack_[size_t(k)].tag == Tag::Table || IsCell(stack_[size_t(k)].tag))) return -1;
  }
  return -1;
}

int Reader::findAny(std::initializer_list<Tag> tags) const {
  if (std::none_of(tags.begin(), tags.end(), [this](Tag t) { return openCount_[size_t(t)] > 0; })) return -1;
  for (int k = int(stack_.size()) - 1; k > 0; --k)
    if (std::find(tags.begin(), tags.end(), stack_[size_t(k)].tag) != tags.end()) return k;
  return -1;
}

void Reader::closeParagraph() {
  const int p = find(Tag::P, false);
  if (p > 0) popTo(size_t(p));
}

QTextCharFormat Reader::ownLooks(Tag tag, const Attributes& attributes) const {
  QTextCharFormat own;
  switch (tag) {
    case Tag::B: case Tag::Strong: case Tag::Th: own.setFontWeight(QFont::Bold); break;
    case Tag::I: case Tag::Em: case Tag::Cite: case Tag::Dfn: case Tag::Var: case Tag::Address:
      own.setFontItalic(true);
      break;
    case Tag::U: case Tag::Ins: own.setFontUnderline(true); break;
    case Tag::S: case Tag::Strike: case Tag::Del: own.setFontStrikeOut(true); break;
    case Tag::Sub: own.setVerticalAlignment(QTextCharFormat::AlignSubScript); break;
    case Tag::Sup: own.setVerticalAlignment(QTextCharFormat::AlignSuperScript); break;
    case Tag::Big: own.setProperty(QTextFormat::FontSizeAdjustment, 1); break;
    case Tag::Small: own.setProperty(QTextFormat::FontSizeAdjustment, -1); break;
    case Tag::Code: case Tag::Tt: case Tag::Kbd: case Tag::Samp: case Tag::Pre:
      own.setFontFamilies(QStringList{QStringLiteral("Courier New"), QStringLiteral("courier")});
      own.setFontFixedPitch(true);
      break;
    case Tag::H1: case Tag::H2: case Tag::H3: case Tag::H4: case Tag::H5: case Tag::H6:
      own.setFontWeight(QFont::Bold);
      own.setProperty(QTextFormat::FontSizeAdjustment, 3 - (int(tag) - int(Tag::H1)));
      break;
    case Tag::A:
      if (attributes.hasHref) {
        own.setAnchor(true);
        own.setAnchorHref(attributes.href);
        own.setFontUnderline(true);
        own.setForeground(QGuiApplication::palette().link());
      }
      // A named place shows nothing and nothing reads its name; kept, each name would be a format
      // of its own, which Qt's table compares with every other named one at each lookup.
      break;
    case Tag::Font: {
      if (!attributes.face.isNull()) {
        QStringList families;
        for (QStringView family : QStringView(attributes.face).split(u','))
          if (!family.trimmed().isEmpty()) families << family.trimmed().toString();
        if (!families.isEmpty()) own.setFontFamilies(families);
      }
      if (!attributes.color.isNull()) {
        const QColor colour = ColourOf(attributes.color);
        if (colour.isValid()) own.setForeground(colour);
      }
      if (!attributes.size.isNull()) {
        QStringView size = QStringView(attributes.size).trimmed();
        const bool relative = size.startsWith(u'+') || size.startsWith(u'-');
        bool ok = false;
        const int n = (size.startsWith(u'+') ? size.sliced(1) : size).toInt(&ok);
        if (ok) own.setProperty(QTextFormat::FontSizeAdjustment, std::clamp(relative ? n : n - 3, -2, 4));
      }
      break;
    }
    default: break;
  }
  return own;
}

Block* Reader::ensureBlock() {
  if (block_) return block_;
  // The innermost element that makes paragraphs gives this one its format.
  size_t k = stack_.size() - 1;
  while (k > 0 && !stack_[k].makesBlocks) --k;
  newBlock(stack_[k], false);
  return block_;
}

void Reader::newBlock(const Open& context, bool listItem) {
  if (muted()) {
    block_ = nullptr;
    return;
  }
  const Open& top = stack_.back();
  auto block = std::make_unique<Block>();
  block->format = context.blockFormat;
  if (top.alignment) block->format.setAlignment(top.alignment);
  block->charFormat = top.chars;
  if (listItem) block->list = context.list;
  else if (context.tag == Tag::Li && context.listDepth > 0) block->format.setIndent(context.listDepth);
  charge(listItem ? kHtmlListItemCost : kHtmlParagraphCost);
  block_ = block.get();
  pendingSpace_ = false;
  Node node;
  node.block = std::move(block);
  top.container->push_back(std::move(node));
}

void Reader::reconstruct() {
  // The looks a block closed are taken on again, in the order they were opened.
  size_t first = active_.size();
  while (first > 0 && active_[first - 1].serial != 0) --first;
  for (size_t k = first; k < active_.size(); ++k) {
    Active& entry = active_[k];
    if (entry.open) continue;
    announce(NameOfTag(entry.tag), true, true);
    if (stopped()) return;
    Open open = muted() ? LightOpen(stack_.back()) : stack_.back();
    open.tag = entry.tag;
    open.own = entry.own;
    open.chars = stack_.back().chars;
    open.chars.merge(entry.own);
    open.active = entry.serial;
    open.dead = false;
    open.makesBlocks = false;
    push(std::move(open));
    if (tooDeep_) return;
    stack_.back().repeats = entry.repeats;
    repeatsOpen_ += entry.repeats;
    repeatsByTag_[size_t(entry.tag)] += entry.repeats;
    entry.open = true;
  }
}

bool Reader::foldAlike() {
  // An element opened right inside an alike one (the same element with the same looks and the
  // same names for the style sheets) changes nothing: it is counted in the one it is inside.
  if (stack_.size() < 3) return false;
  Open& inside = stack_.back();
  Open& around = stack_[stack_.size() - 2];
  if (around.tag != inside.tag || around.dead || !IsFormatting(around.tag) || around.own != inside.own ||
      around.chars != inside.chars || around.hidden != inside.hidden || around.pre != inside.pre ||
      around.alignment != inside.alignment || around.elementId != inside.elementId ||
      around.elementClasses != inside.elementClasses)
    return false;
  if (int64_t(stack_.size()) + repeatsOpen_ > kMostHtmlOpenElements) {
    tooDeep_ = true;
    return true;
  }
  ++around.repeats;
  ++repeatsOpen_;
  ++repeatsByTag_[size_t(around.tag)];
  if (inside.announced) ++around.toldRepeats;
  const uint64_t serial = inside.active;
  for (size_t k = active_.size(); k > 0; --k)
    if (serial && active_[k - 1].serial == serial) {
      active_.erase(active_.begin() + qsizetype(k - 1));
      break;
    }
  for (Active& a : active_)
    if (around.active && a.serial == around.active) a.repeats = std::min(around.repeats, kMostAlikeActive - 1);
  --openCount_[size_t(inside.tag)];
  stack_.pop_back();
  return true;
}

void Reader::openBeside() {
  // Past a depth no page nests its words to, a formatting element opens beside the formatting
  // element it would open inside, which ends (browsers attach elements past such a depth beside
  // the one they would go in): a chat log that leaves a colour open on every line, each line's
  // another than the line's before (so that none is held as an alike one's count), is read
  // whole, each line in its own colour, and nests no deeper.
  if (stack_.size() < kBesideNesting || stopped()) return;
  const Open& top = stack_.back();
  if (!IsFormatting(top.tag) || top.dead) return;
  if (const uint64_t serial = top.active)
    for (size_t k = active_.size(); k > 0; --k)
      if (active_[k - 1].serial == serial) {
        active_.erase(active_.begin() + qsizetype(k - 1));
        break;
      }
  popTo(stack_.size() - 1);
}

void Reader::closeGivenWay(Tag tag) {
  // A formatting element whose looks gave way to newer alike ones closes as any other element
  // does: the innermost of its name, with nothing but text inside it.
  if (!openCount_[size_t(tag)]) return;
  for (int k = int(stack_.size()) - 1; k > 0; --k) {
    const Open& open = stack_[size_t(k)];
    if (open.tag == tag && !open.dead && !open.active) {
      popTo(size_t(k));
      return;
    }
    if (!IsInline(open.tag)) return;
  }
}

int Reader::foldedAlike(Tag tag) const {
  // The innermost open element of the tag, where it holds alike ones. Looked for only where
  // some are held, each of which one end tag takes.
  if (!repeatsByTag_[size_t(tag)]) return -1;
  for (int k = int(stack_.size()) - 1; k > 0; --k) {
    const Open& open = stack_[size_t(k)];
    if (open.tag == tag && !open.dead) return open.repeats > 0 ? k : -1;
    if (open.tag == Tag::Table || IsCell(open.tag)) return -1;
  }
  return -1;
}

void Reader::keepAlikeActive() {
  // The oldest of the alike looks a block would take on again gives way to the newest.
  if (active_.empty()) return;
  const Active entry = active_.back();
  size_t first = active_.size();
  while (first > 0 && active_[first - 1].serial != 0) --first;
  for (;;) {
    int64_t alike = 0;
    size_t oldest = active_.size();
    for (size_t k = first; k < active_.size(); ++k)
      if (active_[k].tag == entry.tag && active_[k].own == entry.own) {
        alike += 1 + active_[k].repeats;
        if (oldest == active_.size()) oldest = k;
      }
    if (alike <= kMostAlikeActive || oldest + 1 >= active_.size()) return;
    for (Open& o : stack_)
      if (o.active == active_[oldest].serial) o.active = 0;
    active_.erase(active_.begin() + qsizetype(oldest));
  }
}

void Reader::recomputeLooks(size_t from) {
  for (size_t k = from; k < stack_.size(); ++k) {
    size_t parent = k - 1;
    while (parent > 0 && stack_[parent].dead) --parent;
    stack_[k].chars = stack_[parent].chars;
    if (!stack_[k].dead) stack_[k].chars.merge(stack_[k].own);
  }
}

void Reader::flushSpace() {
  if (!pendingSpace_) return;
  pendingSpace_ = false;
  if (!block_ || !block_->hasText) return;
  const Run& last = block_->runs.back();
  if (!last.picture && (last.text.endsWith(u' ') || last.text.endsWith(QChar::LineSeparator))) return;
  addRun(u" ", stack_.back().chars);
}

void Reader::addRun(QStringView text, const QTextCharFormat& format) {
  Block* block = block_;
  if (!block_->textStarted) {
    block->textStarted = true;
    block->formula = text.startsWith(u'=');
  }
  charge(text.size() * (kHtmlCharacterCost + (block->formula ? kHtmlFormulaCharacterCost : 0)));
  if (block->formula) {
    // The parse of the longest formula holds more while it is made: the part past the longest
    // so far is charged, so that the page pays it once.
    block->formulaLength += text.size();
    if (block->formulaLength > longestFormula_) {
      charge((block->formulaLength - longestFormula_) * kHtmlFormulaParseCost);
      longestFormula_ = block->formulaLength;
    }
  }
  if (failed_) return;
  if (!block->runs.empty() && !block->runs.back().picture && block->runs.back().format == format) {
    block->runs.back().text += text;
  } else {
    if (!block->runs.empty() && !charge(kHtmlRunCost)) return;
    Run run;
    run.text = text.toString();
    run.format = format;
    block->runs.push_back(std::move(run));
  }
  block->hasText = true;
}

// The text as "text-transform" shows it; `before` is the character shown before it, after which
// a word starts or goes on.
QString TransformedText(QStringView text, GMCssStyle::TextTransform transform, QChar before) {
  using TT = GMCssStyle::TextTransform;
  if (transform == TT::Uppercase) return text.toString().toUpper();
  if (transform == TT::Lowercase) return text.toString().toLower();
  QString shown = text.toString();
  if (transform != TT::Capitalize) return shown;
  for (QChar& c : shown) {
    // An apostrophe is inside a word ("don't"); any other character but a letter or digit ends one.
    if (c.isLetter() && !before.isLetterOrNumber() && before != u'\'' && before != QChar(0x2019)) {
      before = c;
      c = c.toTitleCase();
      continue;
    }
    before = c;
  }
  return shown;
}

void Reader::addShownRun(QStringView text) {
  const GMCssStyle::TextTransform transform = stack_.back().transform;
  if (transform == GMCssStyle::TextTransform::None) {
    addRun(text, stack_.back().chars);
    return;
  }
  QChar before = u' ';
  if (block_ && !block_->runs.empty() && !block_->runs.back().picture && !block_->runs.back().text.isEmpty())
    before = block_->runs.back().text.back();
  addRun(TransformedText(text, transform, before), stack_.back().chars);
}

void Reader::lineBreak() {
  if (stack_.back().hidden || stack_.back().invisible || muted()) return;
  reconstruct();
  ensureBlock();
  flushSpace();
  addRun(QStringView(u"\u2028"), stack_.back().chars);
  pendingSpace_ = false;
}

bool Reader::hidesEmptyElement(QStringView name, const Attributes& attributes) {
  if (muted() || stack_.back().hidden) return true;
  const bool inlineStyle = !attributes.style.trimmed().isEmpty();
  if (sheets_.empty() && !inlineStyle) return attributes.hidden;
  GMCssElement element;
  element.name = name;
  element.id = attributes.id;
  for (const auto& [attribute, value] : attributes.all) element.attributes.push_back({attribute, value});
  element.parent = &stack_.back().element;
  const QString& classes = attributes.className;
  int64_t named = 0;
  for (qsizetype k = 0; k < classes.size(); ++k)
    named += !IsHtmlSpace(classes[k].unicode()) && (k == 0 || IsHtmlSpace(classes[k - 1].unicode()));
  if (named > 0 && !(charge(named * kHtmlClassCost) && step(named) && checkpoint(named))) return true;
  for (qsizetype k = 0; k < classes.size();) {
    while (k < classes.size() && IsHtmlSpace(classes[k].unicode())) ++k;
    const qsizetype start = k;
    while (k < classes.size() && !IsHtmlSpace(classes[k].unicode())) ++k;
    if (k > start) element.classes << QStringView(classes).sliced(start, k - start);
  }
  std::vector<const GMCssDeclaration*> declarations;
  if (!sheets_.empty() && !sheets_.match(element, &declarations)) {
    failed_ = true;
    return true;
  }
  std::vector<GMCssDeclaration> own;
  if (inlineStyle) {
    if (!ParseCssDeclarations(attributes.style, &own, [this](int64_t bytes) { return charge(bytes); })) {
      failed_ = true;
      return true;
    }
    AddInlineCssDeclarations(own, &declarations);
  }
  GMCssStyle style = stack_.back().style.inherited();
  if (!declarations.empty()) ApplyCssDeclarations(declarations, stack_.back().style, &style);
  return style.displayNone || (attributes.hidden && !style.displayGiven);
}

void Reader::picture(const Attributes& attributes) {
  if (attributes.src.isEmpty() || stack_.back().hidden || stack_.back().invisible || muted() ||
      !resources_)
    return;
  reconstruct();
  ensureBlock();
  flushSpace();
  if (!charge(kHtmlPictureCost)) return;
  QTextImageFormat format;
  format.merge(stack_.back().chars);
  format.setName(attributes.src);
  QTextLength length;
  if (LengthOf(attributes.width, &length) && length.type() == QTextLength::FixedLength) format.setWidth(length.rawValue());
  if (LengthOf(attributes.height, &length) && length.type() == QTextLength::FixedLength)
    format.setHeight(length.rawValue());
  Run run;
  run.text = QString(QChar::ObjectReplacementCharacter);
  run.format = format;
  run.picture = true;
  block_->runs.push_back(std::move(run));
  block_->hasText = true;
  block_->textStarted = true;
}

void Reader::declareBase(const QString& href) {
  if (documentUrl_.isEmpty()) return;
  const QUrl url = documentUrl_.resolved(QUrl(href.trimmed()));
  // One a browser passes over: no address, or one that only runs a script or holds data.
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || url.isRelative() || scheme == u"javascript" || scheme == u"data") return;
  const int64_t length = url.toString(QUrl::FullyEncoded).size();
  // The links made before it are resolved against it too: each holds so much more.
  if (length > baseLength_ && !charge((length - baseLength_) * (linksMade_ + 1) * kHtmlLinkCharacterCost)) return;
  base_ = url;
  baseLength_ = length;
  declaredBase_ = url;
}

void Reader::rule() {
  if (muted() || stack_.back().hidden) return;
  endBlock();
  ensureBlock();
  block_->format.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                             QTextLength(QTextLength::PercentageLength, 100));
  endBlock();
}

void Reader::startRow(TableNode* table) {
  if (muted()) return;
  if (table->inFoot) ++table->footRows;
  table->rowBackground = QColor();
  ++table->rows;
  table->nextColumn = 0;
  // With its first row the table is made in the rich text too; a row's cells are made with its
  // first cell (startCell).
  if (table->rows == 1) charge(kHtmlRichTableCost);
}

void Reader::dropHiddenRow() {
  // A hidden row takes no row of its table: the next row is made where it would have been.
  if (tooDeep_ || muted() || stack_.back().tag != Tag::Tr || !stack_.back().hidden) return;
  TableNode* table = stack_.back().table;
  if (!table || table->rows <= 0) return;
  --table->rows;
  if (table->inFoot && table->footRows > 0) --table->footRows;
}

void Reader::startCell(Tag tag, const Attributes& attributes) {
  announce(tag == Tag::Th ? QStringLiteral("th") : QStringLiteral("td"), false, true);
  if (stopped()) return;
  if (muted() || stack_.back().hidden) {
    // A row the listener took, or one that is hidden: the tree rules alone.
    const bool hidden = !muted();
    Open open = LightOpen(stack_.back());
    open.tag = tag;
    open.container = hidden ? &hiddenNodes_ : nullptr;
    open.cell = nullptr;
    open.makesBlocks = true;
    open.active = 0;
    open.pre = false;
    open.hidden = hidden;
    endBlock();
    push(std::move(open));
    active_.push_back(Active());
    return;
  }
  TableNode* table = stack_.back().table;
  const int64_t row = table->rows - 1;
  const int64_t nextColumn = table->nextColumn, madeColumns = table->columns;
  const int64_t rowNear = table->rowNear, rowFar = table->rowFar;
  int64_t column = table->nextColumn;
  while (column < int64_t(table->busyUntil.size()) && table->busyUntil[size_t(column)] > row) ++column;
  // The columns spans from above cover are passed over one by one: work the page's size bounds.
  if (!step(column - table->nextColumn)) return;
  const int64_t columns = SpanOf(attributes.colspan, kMostHtmlColumnSpan);
  // A cell is laid out over the columns it spans, as a browser lays it out, though the rich text
  // makes no cell for them.
  if (!step((columns - 1) * kHtmlCellSteps)) return;
  const int64_t rows = SpanOf(attributes.rowspan, int64_t(1) << 20);
  table->nextColumn = column + columns;
  table->columns = std::max(table->columns, table->nextColumn);
  if (row != table->lastFilledRow) {
    table->lastFilledRow = row;
    ++table->filledRows;
    table->rowNear = table->rowFar = 0;
  }
  // A row is made as wide as the columns its own cells reach, not as the widest row: the cells
  // that reach further are charged as they come.
  const int64_t reached = table->rowFar > 0 ? int64_t(kMaxColumns) + table->rowFar : table->rowNear;
  if (column < int64_t(kMaxColumns)) table->rowNear = std::max(table->rowNear, column + 1);
  else ++table->rowFar;
  const int64_t reaches = table->rowFar > 0 ? int64_t(kMaxColumns) + table->rowFar : table->rowNear;
  if (!charge(std::max<int64_t>(reaches - reached, 1) * kHtmlCellCost)) return;
  Cell& cell = table->cells.emplace_back();
  charge(sizeof(Cell));
  cell.row = row;
  cell.column = column;
  if (table->rowBackground.isValid()) cell.format.setBackground(table->rowBackground);
  if (!attributes.bgcolor.isNull()) {
    const QColor colour = ColourOf(attributes.bgcolor);
    if (colour.isValid()) cell.format.setBackground(colour);
  }
  if (!attributes.sdval.trimmed().isEmpty() && attributes.sdval.size() <= 64)
    cell.format.setProperty(kHtmlCellValueProperty, attributes.sdval.trimmed());
  if (!attributes.abbr.trimmed().isEmpty() && attributes.abbr.size() <= 64)
    cell.format.setProperty(kHtmlCellShortFormProperty, attributes.abbr.trimmed());
  // A style may give the column its width: what it was is put back where the cell is hidden.
  const size_t widthsGiven = table->widths.size();
  const QTextLength widthGiven = size_t(column) < widthsGiven ? table->widths[size_t(column)] : QTextLength();
  QTextLength width;
  if (columns == 1 && LengthOf(attributes.width, &width)) {
    if (int64_t(table->widths.size()) <= column) table->widths.resize(size_t(column) + 1);
    if (table->widths[size_t(column)].type() == QTextLength::VariableLength) table->widths[size_t(column)] = width;
  }
  Open open = stack_.back();
  open.tag = tag;
  open.own = ownLooks(tag, attributes);
  open.chars.merge(open.own);
  open.container = &cell.content;
  open.cell = &cell;
  open.makesBlocks = true;
  open.blockFormat = QTextBlockFormat();
  open.list = -1;
  open.listDepth = 0;
  open.active = 0;
  open.pre = false;
  Qt::Alignment alignment;
  if (tag == Tag::Th) open.alignment = Qt::AlignHCenter;
  if (AlignmentOf(attributes.align, &alignment)) open.alignment = alignment;
  endBlock();
  pushStyled(std::move(open), tag == Tag::Th ? QStringLiteral("th") : QStringLiteral("td"), attributes);
  if (tooDeep_) return;
  active_.push_back(Active());
  if (stack_.back().hidden) {
    // A hidden cell takes no column: the next cell of the row is made where it would have been.
    Open& hidden = stack_.back();
    hidden.cell = nullptr;
    hidden.container = &hiddenNodes_;
    table->cells.pop_back();
    table->nextColumn = nextColumn;
    table->columns = madeColumns;
    table->rowNear = rowNear;
    table->rowFar = rowFar;
    if (table->widths.size() > widthsGiven) table->widths.resize(widthsGiven);
    else if (size_t(column) < widthsGiven) table->widths[size_t(column)] = widthGiven;
    return;
  }
  if (rows > 1) {
    if (!step(columns)) return;
    if (int64_t(table->busyUntil.size()) < table->nextColumn) table->busyUntil.resize(size_t(table->nextColumn), 0);
    for (int64_t c = column; c < table->nextColumn; ++c) table->busyUntil[size_t(c)] = row + rows;
  }
}

void Reader::pushStyled(Open open, const QString& name, const Attributes& attributes) {
  open.elementName = name;
  open.elementId = attributes.id;
  open.elementAttributes = attributes.all;
  open.elementClasses.clear();
  const QString& classes = attributes.className;
  // Each class is held by the entry and seen by the style sheets: what they take is charged
  // before any is made, so that a list past the budget makes none.
  int64_t named = 0, characters = 0;
  for (qsizetype k = 0; k < classes.size(); ++k) {
    const bool blank = IsHtmlSpace(classes[k].unicode());
    characters += !blank;
    named += !blank && (k == 0 || IsHtmlSpace(classes[k - 1].unicode()));
  }
  const bool charged = named == 0 || (charge(named * kHtmlClassCost + characters * 2 * qsizetype(sizeof(QChar))) &&
                                      step(named) && checkpoint(named));
  for (qsizetype k = 0; charged && k < classes.size();) {
    while (k < classes.size() && IsHtmlSpace(classes[k].unicode())) ++k;
    const qsizetype start = k;
    while (k < classes.size() && !IsHtmlSpace(classes[k].unicode())) ++k;
    if (k > start) open.elementClasses << classes.sliced(start, k - start);
  }
  open.styled = false;
  // Its text is in the language it declares, and so is all it holds that declares none; the
  // root's is the page's own, which the text is told apart from.
  if (const QString language = attributes.language(); !language.isNull() && name != u"html") {
    open.own.setProperty(kTextLanguageProperty, language);
    open.chars.setProperty(kTextLanguageProperty, language);
  }
  push(std::move(open));
  const bool hiddenByAttribute = !tooDeep_ && attributes.hidden && !stack_.back().hidden;
  if (hiddenByAttribute) stack_.back().hidden = true;
  if (!tooDeep_ && !muted()) applyStyle(attributes, hiddenByAttribute);
}

Qt::Alignment AlignmentOfCss(GMCssStyle::TextAlign align) {
  switch (align) {
    case GMCssStyle::TextAlign::Right: return Qt::AlignRight;
    case GMCssStyle::TextAlign::Center: return Qt::AlignHCenter;
    case GMCssStyle::TextAlign::Justify: return Qt::AlignJustify;
    default: return Qt::AlignLeft;
  }
}

void Reader::applyStyle(const Attributes& attributes, bool hiddenByAttribute) {
  Open& open = stack_.back();
  const Open& parent = stack_[stack_.size() - 2];
  const bool inlineStyle = !attributes.style.trimmed().isEmpty();
  if (sheets_.empty() && !inlineStyle && !parent.styled) return;
  std::vector<const GMCssDeclaration*> declarations;
  if (!sheets_.empty() && !sheets_.match(open.element, &declarations)) {
    failed_ = true;
    return;
  }
  std::vector<GMCssDeclaration> own;
  if (inlineStyle) {
    if (!ParseCssDeclarations(attributes.style, &own, [this](int64_t bytes) { return charge(bytes); })) {
      failed_ = true;
      return;
    }
    AddInlineCssDeclarations(own, &declarations);
  }
  const GMCssStyle& parentStyle = parent.style;
  const GMCssStyle inherited = parentStyle.inherited();
  open.style = inherited;
  if (!declarations.empty()) ApplyCssDeclarations(declarations, parentStyle, &open.style);
  open.styled = true;
  if (declarations.empty()) return;
  const GMCssStyle& style = open.style;
  // What the element's own declarations change: what it inherits its parent's looks already give.
  QTextCharFormat looks;
  if (style.fontFamilies && style.fontFamilies != inherited.fontFamilies) looks.setFontFamilies(*style.fontFamilies);
  if (style.fontPointSize && style.fontPointSize != inherited.fontPointSize && *style.fontPointSize > 0)
    looks.setFontPointSize(*style.fontPointSize);
  if (style.fontWeight && style.fontWeight != inherited.fontWeight) looks.setFontWeight(*style.fontWeight);
  if (style.italic && style.italic != inherited.italic) looks.setFontItalic(*style.italic);
  if (style.color && style.color != inherited.color && style.color->isValid()) looks.setForeground(*style.color);
  // Lines the element draws; those of the elements around it go on under it.
  if (style.underline.value_or(false)) looks.setFontUnderline(true);
  if (style.strikeOut.value_or(false)) looks.setFontStrikeOut(true);
  if (style.overline.value_or(false)) looks.setFontOverline(true);
  if (style.verticalAlign == GMCssStyle::VerticalAlign::Super) looks.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
  if (style.verticalAlign == GMCssStyle::VerticalAlign::Sub) looks.setVerticalAlignment(QTextCharFormat::AlignSubScript);
  if (style.backgroundColor && IsInline(open.tag)) looks.setBackground(*style.backgroundColor);
  // What a block paints is behind all it holds: the cells of a table in it show it rather than
  // a background painted further out (the page's).
  else if (style.backgroundColor && style.backgroundColor->alpha() > 0 && !IsCell(open.tag) && open.tag != Tag::Tr)
    looks.setBackground(*style.backgroundColor);
  open.own.merge(looks);
  open.chars.merge(looks);
  // Words clipped to nothing (for screen readers alone) show nothing, as with a display of none.
  if (style.displayNone || style.clippedToNothing()) open.hidden = true;
  // The hidden attribute hides as the browser's own style sheet does, below every author's rule.
  else if (style.displayGiven && hiddenByAttribute) open.hidden = false;
  // An element of text a style lays out as a block (a calendar's "a.event{display:block}") makes
  // lines of its own, as a block element does: its words do not run on into those beside it.
  // Text in a table but in none of its cells stays on the one line such text makes.
  if (style.displayBlock && IsInline(open.tag) &&
      !(parent.table && (parent.tag == Tag::Table || parent.tag == Tag::Tr || IsSection(parent.tag)))) {
    open.blockBox = true;
    endBlock();
  }
  if (style.invisible) open.invisible = *style.invisible;
  if (style.textTransform) open.transform = *style.textTransform;
  if (style.textAlign && style.textAlign != inherited.textAlign) {
    open.alignment = AlignmentOfCss(*style.textAlign);
    open.alignedByStyle = true;
  }
  if (style.whiteSpace && style.whiteSpace != inherited.whiteSpace) {
    const GMCssStyle::WhiteSpace space = *style.whiteSpace;
    open.pre = space == GMCssStyle::WhiteSpace::Pre || space == GMCssStyle::WhiteSpace::PreWrap ||
               space == GMCssStyle::WhiteSpace::PreLine;
  }
  if (open.makesBlocks && !IsCell(open.tag)) {
    QTextBlockFormat& block = open.blockFormat;
    if (style.marginTopPoints) block.setTopMargin(*style.marginTopPoints);
    if (style.marginBottomPoints) block.setBottomMargin(*style.marginBottomPoints);
    if (style.marginLeftPoints) block.setLeftMargin(*style.marginLeftPoints);
    if (style.marginRightPoints) block.setRightMargin(*style.marginRightPoints);
    if (style.textIndentPoints) block.setTextIndent(*style.textIndentPoints);
    if (style.backgroundColor) block.setBackground(*style.backgroundColor);
  }
  if (open.cell && IsCell(open.tag)) {
    QTextTableCellFormat& cell = open.cell->format;
    if (style.backgroundColor) cell.setBackground(*style.backgroundColor);
    if (style.paddingTopPoints) cell.setTopPadding(*style.paddingTopPoints);
    if (style.paddingBottomPoints) cell.setBottomPadding(*style.paddingBottomPoints);
    if (style.paddingLeftPoints) cell.setLeftPadding(*style.paddingLeftPoints);
    if (style.paddingRightPoints) cell.setRightPadding(*style.paddingRightPoints);
    TableNode* table = open.table;
    if (style.width && style.width->value > 0 && table) {
      const QTextLength width(style.width->unit == GMCssLength::Unit::Percent ? QTextLength::PercentageLength
                                                                               : QTextLength::FixedLength,
                              style.width->value);
      const size_t column = size_t(open.cell->column);
      if (table->widths.size() <= column) table->widths.resize(column + 1);
      if (table->widths[column].type() == QTextLength::VariableLength) table->widths[column] = width;
    }
  } else if (open.tag == Tag::Tr && open.table) {
    if (style.backgroundColor) open.table->rowBackground = *style.backgroundColor;
  } else if (open.tag == Tag::Table && open.table) {
    if (style.backgroundColor) open.table->format.setBackground(*style.backgroundColor);
    if (style.width && style.width->value > 0)
      open.table->format.setWidth(QTextLength(style.width->unit == GMCssLength::Unit::Percent
                                                  ? QTextLength::PercentageLength
                                                  : QTextLength::FixedLength,
                                              style.width->value));
  }
  if ((open.tag == Tag::Ul || open.tag == Tag::Ol) && open.list >= 0 && style.listStyleType &&
      style.listStyleType != inherited.listStyleType) {
    static const QHash<QString, QTextListFormat::Style> kStyles = {
        {"disc", QTextListFormat::ListDisc},           {"circle", QTextListFormat::ListCircle},
        {"square", QTextListFormat::ListSquare},       {"decimal", QTextListFormat::ListDecimal},
        {"lower-alpha", QTextListFormat::ListLowerAlpha}, {"upper-alpha", QTextListFormat::ListUpperAlpha},
        {"lower-latin", QTextListFormat::ListLowerAlpha}, {"upper-latin", QTextListFormat::ListUpperAlpha},
        {"lower-roman", QTextListFormat::ListLowerRoman}, {"upper-roman", QTextListFormat::ListUpperRoman}};
    const auto found = kStyles.constFind(*style.listStyleType);
    if (found != kStyles.constEnd()) lists_[size_t(open.list)].format.setStyle(*found);
  }
}

void Reader::openElement(Tag tag, const QString& name, const Attributes& attributes, bool selfClosing) {
  if (stopped()) return;
  Qt::Alignment alignment;
  switch (tag) {
    case Tag::Br:
      announce(name, false, false);
      if (!stopped() && !hidesEmptyElement(u"br", attributes)) lineBreak();
      return;
    case Tag::Img:
      announce(name, false, false);
      if (!stopped() && !hidesEmptyElement(u"img", attributes)) picture(attributes);
      return;
    case Tag::Hr:
      closeParagraph();
      announce(name, false, false);
      if (!stopped()) rule();
      return;
    case Tag::Link:
      announce(name, false, false);
      if (stopped() || muted()) return;
      if (attributes.rel.split(u' ', Qt::SkipEmptyParts).contains(QStringLiteral("stylesheet"), Qt::CaseInsensitive) &&
          !attributes.href.trimmed().isEmpty()) {
        if (!sheets_.addLinkedSheet(QUrl(attributes.href.trimmed()), base_)) failed_ = true;
        else styleRoot();
      }
      return;
    case Tag::Script:
    case Tag::Style:
    case Tag::Title:
    case Tag::Textarea:
    case Tag::Other:
      return;
    case Tag::Table: {
      // A table opened in a table but in none of its cells ends that table first.
      const int around = findAny({Tag::Table, Tag::Td, Tag::Th});
      if (around > 0 && stack_[size_t(around)].tag == Tag::Table) popTo(size_t(around));
      closeParagraph();
      endBlock();
      announce(name, false, true);
      if (stopped()) return;
      if (muted()) {
        // A table in rows the listener took, which the rich text lacks: the page is not the
        // listener's, and the reading ends.
        left_ = true;
        return;
      }
      // A table is a structure of its own, read for at once.
      if (!charge(kHtmlTableCost) || !checkpoint(FLReadingMeter::kPiecesBetweenReads / 64)) return;
      auto node = std::make_unique<TableNode>();
      TableNode* table = node.get();
      QTextLength length;
      if (LengthOf(attributes.width, &length)) table->format.setWidth(length);
      bool ok = false;
      const double border = attributes.border.toDouble(&ok);
      table->format.setBorder(ok ? std::clamp(border, 0.0, 100.0) : attributes.border.isNull() ? 0 : 1);
      const double padding = attributes.cellpadding.toDouble(&ok);
      if (ok) table->format.setCellPadding(std::clamp(padding, 0.0, 100.0));
      const double spacing = attributes.cellspacing.toDouble(&ok);
      if (ok) table->format.setCellSpacing(std::clamp(spacing, 0.0, 100.0));
      if (!attributes.bgcolor.isNull()) {
        const QColor colour = ColourOf(attributes.bgcolor);
        if (colour.isValid()) table->format.setBackground(colour);
      }
      if (AlignmentOf(attributes.align, &alignment)) table->format.setAlignment(alignment);
      Node holder;
      holder.table = std::move(node);
      std::vector<Node>* into = stack_.back().container;
      into->push_back(std::move(holder));
      Open open = stack_.back();
      open.tag = Tag::Table;
      open.table = table;
      open.active = 0;
      open.own = QTextCharFormat();
      open.makesBlocks = false;
      // A <center> or an align around a table centres the table, not its cells' text (LibreOffice
      // Writer centres tables so); a style's alignment reaches the cells, but on a page laid out
      // as pages of old.
      if (quirks_ || !open.alignedByStyle) {
        open.alignment = {};
        open.alignedByStyle = false;
      }
      pushStyled(std::move(open), name, attributes);
      if (!tooDeep_ && stack_.back().table == table && stack_.back().hidden && into != &hiddenNodes_ &&
          !into->empty() && into->back().table.get() == table) {
        // A hidden table takes no place: its rows are read and shown nowhere.
        hiddenNodes_.push_back(std::move(into->back()));
        into->pop_back();
        stack_.back().container = &hiddenNodes_;
      }
      return;
    }
    case Tag::Thead: case Tag::Tbody: case Tag::Tfoot: case Tag::Caption: {
      const int table = find(Tag::Table, true);
      if (table < 0) return;
      popTo(size_t(table) + 1);
      if (TableNode* node = stack_[size_t(table)].table; node && !muted()) {
        node->inFoot = tag == Tag::Tfoot && node->footFirst < 0;
        if (node->inFoot) node->footFirst = node->rows;
      }
      announce(name, false, true);
      if (stopped()) return;
      if (tag == Tag::Caption) {
        // A caption shows as lines of their own above the table, or below it.
        Open open = muted() ? LightOpen(stack_.back()) : stack_.back();
        TableNode* owner = muted() ? nullptr : open.table;
        open.tag = Tag::Div;
        open.container = owner ? &owner->caption : &hiddenNodes_;
        open.table = nullptr;
        open.makesBlocks = true;
        open.blockFormat = QTextBlockFormat();
        open.alignment = Qt::AlignHCenter;
        pushStyled(std::move(open), name, attributes);
        if (!tooDeep_ && owner) {
          // Its align attribute sets the side as the browser's own style sheet does: below what
          // the caption's own declarations say, above what it inherits from its table.
          const std::optional<bool> side = stack_.back().style.captionBelow;
          bool below = side.value_or(false);
          const QStringView align = QStringView(attributes.align).trimmed();
          const bool ownSide = side != stack_[stack_.size() - 2].style.captionBelow;
          if (!ownSide && align.compare(u"bottom", Qt::CaseInsensitive) == 0) below = true;
          else if (!ownSide && align.compare(u"top", Qt::CaseInsensitive) == 0) below = false;
          if (below) owner->captionBelow = true;
        }
        return;
      }
      Open open = stack_.back();
      open.tag = tag;
      pushStyled(std::move(open), name, attributes);
      return;
    }
    case Tag::Tr: {
      const int table = find(Tag::Table, true);
      if (table < 0) return;  // a row outside any table is no row
      const int section = findAny({Tag::Table, Tag::Thead, Tag::Tbody, Tag::Tfoot});
      popTo(size_t(std::max(table, section)) + 1);
      announce(name, false, true, true);
      if (stopped()) return;
      Open open = muted() ? LightOpen(stack_.back()) : stack_.back();
      open.tag = Tag::Tr;
      if (AlignmentOf(attributes.align, &alignment)) open.alignment = alignment;
      startRow(open.table);
      if (!attributes.bgcolor.isNull() && !muted()) open.table->rowBackground = ColourOf(attributes.bgcolor);
      pushStyled(std::move(open), name, attributes);
      dropHiddenRow();
      return;
    }
    case Tag::Td: case Tag::Th: {
      const int table = find(Tag::Table, true);
      if (table < 0) return;  // a cell outside any table is its text alone
      const int row = findAny({Tag::Table, Tag::Tr});
      if (stack_[size_t(row)].tag == Tag::Tr && row > table) {
        popTo(size_t(row) + 1);
      } else {
        popTo(size_t(table) + 1);
        const int section = findAny({Tag::Table, Tag::Thead, Tag::Tbody, Tag::Tfoot});
        popTo(size_t(section) + 1);
        announce(QStringLiteral("tr"), true, true, true);
        if (stopped()) return;
        Open open = muted() ? LightOpen(stack_.back()) : stack_.back();
        open.tag = Tag::Tr;
        startRow(open.table);
        pushStyled(std::move(open), QStringLiteral("tr"), Attributes());
        dropHiddenRow();
        if (stopped()) return;
      }
      startCell(tag, attributes);
      return;
    }
    default:
      break;
  }

  if (IsInline(tag)) {
    if (selfClosing) {
      announce(name, false, false);
      return;
    }
    if (tag == Tag::A) {
      // A link inside a link ends the outer one.
      const int open = find(Tag::A, false);
      if (open > 0) closeElement(Tag::A);
      if (stopped()) return;
      // A relative address is made absolute against the page's base: it may hold that too.
      if (attributes.hasHref && !muted()) {
        ++linksMade_;
        if (!charge(kHtmlLinkCost + (attributes.href.size() + baseLength_) * kHtmlLinkCharacterCost)) return;
      }
    }
    if (IsFormatting(tag)) {
      reconstruct();
      openBeside();
    }
    announce(name, false, true);
    if (stopped()) return;
    Open open = muted() ? LightOpen(stack_.back()) : stack_.back();
    open.tag = tag;
    open.own = ownLooks(tag, attributes);
    open.chars.merge(open.own);
    open.makesBlocks = false;
    open.active = 0;
    if (IsFormatting(tag)) {
      Active entry;
      entry.serial = ++serials_;
      entry.tag = tag;
      entry.own = open.own;
      entry.open = true;
      size_t first = active_.size();
      while (first > 0 && active_[first - 1].serial != 0) --first;
      if (active_.size() - first >= kMostActive) {
        // The oldest of the looks gives way.
        for (Open& o : stack_)
          if (o.active == active_[first].serial) o.active = 0;
        active_.erase(active_.begin() + qsizetype(first));
      }
      active_.push_back(entry);
      open.active = entry.serial;
    }
    if (const Open& top = stack_.back();
        !muted() && top.table && (top.tag == Tag::Table || top.tag == Tag::Tr || IsSection(top.tag))) {
      // Text in a table but in none of its cells goes before the table, on the one line such text
      // makes, whatever element holds it.
      open.container = &top.table->before;
      block_ = top.table->fostered;
      pendingSpace_ = top.table->fosteredSpace;
    }
    pushStyled(std::move(open), name, attributes);
    if (IsFormatting(tag) && !tooDeep_ && !foldAlike()) keepAlikeActive();
    return;
  }

  // Blocks.
  if (selfClosing && tag != Tag::Li) {
    announce(name, false, false);
    return;
  }
  switch (tag) {
    case Tag::Li: {
      const int item = findAny({Tag::Li, Tag::Ul, Tag::Ol, Tag::Dir, Tag::Menu, Tag::Table, Tag::Td, Tag::Th});
      if (item > 0 && stack_[size_t(item)].tag == Tag::Li) popTo(size_t(item));
      else closeParagraph();
      break;
    }
    case Tag::Dt: case Tag::Dd: {
      const int item = findAny({Tag::Dt, Tag::Dd, Tag::Dl, Tag::Table, Tag::Td, Tag::Th});
      if (item > 0 && (stack_[size_t(item)].tag == Tag::Dt || stack_[size_t(item)].tag == Tag::Dd)) popTo(size_t(item));
      else closeParagraph();
      break;
    }
    case Tag::Option: {
      if (stack_.back().tag == Tag::Option) popTo(stack_.size() - 1);
      break;
    }
    case Tag::H1: case Tag::H2: case Tag::H3: case Tag::H4: case Tag::H5: case Tag::H6:
      closeParagraph();
      if (IsHeading(stack_.back().tag)) popTo(stack_.size() - 1);
      break;
    default:
      closeParagraph();
      break;
  }
  // A list item's first paragraph is the item's own line, beside its marker (LibreOffice Writer
  // writes each item's text in a paragraph).
  if (!(tag == Tag::P && block_ && block_->list >= 0 && !block_->hasText && stack_.back().tag == Tag::Li)) endBlock();
  announce(name, false, true);
  if (stopped()) return;
  Open open = muted() ? LightOpen(stack_.back()) : stack_.back();
  open.tag = tag;
  open.own = ownLooks(tag, attributes);
  open.chars.merge(open.own);
  open.active = 0;
  open.makesBlocks = true;
  open.blockFormat = QTextBlockFormat();
  if (AlignmentOf(attributes.align, &alignment)) {
    open.alignment = alignment;
    open.alignedByStyle = false;
  }
  QTextBlockFormat& format = open.blockFormat;
  switch (tag) {
    case Tag::P:
      format.setTopMargin(12);
      format.setBottomMargin(12);
      break;
    case Tag::H1: format.setTopMargin(18); format.setBottomMargin(12); break;
    case Tag::H2: format.setTopMargin(16); format.setBottomMargin(12); break;
    case Tag::H3: format.setTopMargin(14); format.setBottomMargin(12); break;
    case Tag::H4: format.setTopMargin(12); format.setBottomMargin(12); break;
    case Tag::H5: format.setTopMargin(12); format.setBottomMargin(4); break;
    case Tag::H6: format.setBottomMargin(4); break;
    case Tag::Pre:
      format.setTopMargin(12);
      format.setBottomMargin(12);
      open.pre = true;
      dropNewline_ = true;
      break;
    case Tag::Blockquote:
      format.setTopMargin(12);
      format.setBottomMargin(12);
      format.setLeftMargin(40);
      format.setRightMargin(40);
      break;
    case Tag::Dd: format.setLeftMargin(30); break;
    case Tag::Center:
      open.alignment = Qt::AlignHCenter;
      open.alignedByStyle = false;
      break;
    case Tag::Ul: case Tag::Ol: case Tag::Dir: case Tag::Menu: {
      ListInfo list;
      const bool ordered = tag == Tag::Ol;
      QTextListFormat::Style style = ordered ? QTextListFormat::ListDecimal
                                     : open.listDepth == 0 ? QTextListFormat::ListDisc
                                     : open.listDepth == 1 ? QTextListFormat::ListCircle
                                                           : QTextListFormat::ListSquare;
      const QString type = attributes.type.trimmed();
      if (ordered) {
        if (type == u"a") style = QTextListFormat::ListLowerAlpha;
        else if (type == u"A") style = QTextListFormat::ListUpperAlpha;
        else if (type == u"i") style = QTextListFormat::ListLowerRoman;
        else if (type == u"I") style = QTextListFormat::ListUpperRoman;
      } else if (type.compare(u"circle", Qt::CaseInsensitive) == 0) {
        style = QTextListFormat::ListCircle;
      } else if (type.compare(u"square", Qt::CaseInsensitive) == 0) {
        style = QTextListFormat::ListSquare;
      } else if (type.compare(u"disc", Qt::CaseInsensitive) == 0) {
        style = QTextListFormat::ListDisc;
      }
      list.format.setStyle(style);
      list.format.setIndent(++open.listDepth);
      open.list = int(lists_.size());
      lists_.push_back(std::move(list));
      break;
    }
    case Tag::Summary: {
      // The first summary of a details element that is not open is what it shows.
      Open& around = stack_.back();
      if (around.tag == Tag::Details && around.closedDetails && !around.summaryShown) {
        open.hidden = around.hiddenAround;
        around.summaryShown = true;
      }
      break;
    }
    default: break;
  }
  pushStyled(std::move(open), name, attributes);
  if (tag == Tag::Details && !tooDeep_) {
    Open& details = stack_.back();
    details.closedDetails = !attributes.open;
    details.summaryShown = false;
    details.hiddenAround = details.hidden;
    if (details.closedDetails) details.hidden = true;
  }
  if (tag == Tag::Li && !tooDeep_) {
    const int list = findAny({Tag::Ul, Tag::Ol, Tag::Dir, Tag::Menu, Tag::Table});
    Open& item = stack_.back();
    if (list > 0 && stack_[size_t(list)].tag != Tag::Table && !item.hidden) {
      item.list = stack_[size_t(list)].list;
      // The item starts with the looks taken on from the items before it.
      const size_t at = stack_.size() - 1;
      reconstruct();
      newBlock(stack_[at], true);
    }
  }
}

void Reader::closeElement(Tag tag) {
  if (stopped()) return;
  switch (tag) {
    case Tag::Td: case Tag::Th: {
      // A cell ends with what was left open in it, tables too.
      const int cell = findAny({Tag::Td, Tag::Th});
      if (cell > 0) popTo(size_t(cell));
      return;
    }
    case Tag::Tr: {
      const int row = find(Tag::Tr, true);
      if (row > 0) popTo(size_t(row));
      return;
    }
    case Tag::Table: {
      const int table = find(Tag::Table, true);
      if (table > 0) popTo(size_t(table));
      return;
    }
    case Tag::Thead: case Tag::Tbody: case Tag::Tfoot: case Tag::Caption: {
      const int at = find(tag == Tag::Caption ? Tag::Div : tag, tag == Tag::Caption);
      if (at > 0 && (tag != Tag::Caption || stack_[size_t(at)].table == nullptr)) {
        if (tag == Tag::Tfoot && stack_[size_t(at)].table) stack_[size_t(at)].table->inFoot = false;
        popTo(size_t(at));
      }
      return;
    }
    case Tag::P: {
      const int p = find(Tag::P, false);
      if (p > 0) popTo(size_t(p));
      else endBlock();
      return;
    }
    case Tag::H1: case Tag::H2: case Tag::H3: case Tag::H4: case Tag::H5: case Tag::H6: {
      const int at = findAny({Tag::H1, Tag::H2, Tag::H3, Tag::H4, Tag::H5, Tag::H6, Tag::Table, Tag::Td, Tag::Th});
      if (at > 0 && IsHeading(stack_[size_t(at)].tag)) popTo(size_t(at));
      return;
    }
    default: break;
  }
  if (IsFormatting(tag)) {
    if (const int folded = foldedAlike(tag); folded > 0) {
      // The innermost of the alike ones closes. What it holds of text closes with it (looks
      // taken on again after it, as browsers do); a block it holds goes on.
      bool onlyText = true;
      for (size_t k = size_t(folded) + 1; k < stack_.size(); ++k) onlyText = onlyText && IsInline(stack_[k].tag);
      if (onlyText) popTo(size_t(folded) + 1);
      Open& open = stack_[size_t(folded)];
      --open.repeats;
      --repeatsOpen_;
      --repeatsByTag_[size_t(tag)];
      if (onlyText && open.toldRepeats > 0 && listener_) {
        --open.toldRepeats;
        hear(listener_->ended(NameOfTag(tag)));
      }
      for (Active& a : active_)
        if (open.active && a.serial == open.active && a.repeats > open.repeats) a.repeats = open.repeats;
      return;
    }
    size_t first = active_.size();
    while (first > 0 && active_[first - 1].serial != 0) --first;
    size_t entry = active_.size();
    for (size_t k = active_.size(); k > first; --k)
      if (active_[k - 1].tag == tag) {
        entry = k - 1;
        break;
      }
    if (entry == active_.size()) {
      closeGivenWay(tag);
      return;
    }
    const uint64_t serial = active_[entry].serial;
    active_.erase(active_.begin() + qsizetype(entry));
    int at = -1;
    for (int k = int(stack_.size()) - 1; k > 0; --k)
      if (stack_[size_t(k)].active == serial) {
        at = k;
        break;
      }
    if (at < 0) return;
    bool onlyText = true;
    for (size_t k = size_t(at) + 1; k < stack_.size(); ++k) onlyText = onlyText && IsInline(stack_[k].tag);
    if (onlyText) {
      popTo(size_t(at));
    } else {
      // Under a block: the looks end here, the block goes on.
      stack_[size_t(at)].dead = true;
      stack_[size_t(at)].active = 0;
      recomputeLooks(size_t(at));
    }
    return;
  }
  const bool text = IsInline(tag);
  if (!openCount_[size_t(tag)]) return;
  for (int k = int(stack_.size()) - 1; k > 0; --k) {
    const Tag open = stack_[size_t(k)].tag;
    if (open == tag) {
      popTo(size_t(k));
      return;
    }
    if (open == Tag::Table || IsCell(open)) return;
    // An end tag of text closes no block around it.
    if (text && !IsInline(open)) return;
  }
}

void Reader::closeUnknown(const QString& name) {
  if (!openCount_[size_t(Tag::Other)]) return;
  if (name == u"object" || name == u"video") {
    // What it held ends with it, blocks too: none of it was shown.
    for (int k = int(stack_.size()) - 1; k > 0; --k) {
      const Open& open = stack_[size_t(k)];
      if (open.tag == Tag::Other && open.elementName == name) {
        popTo(size_t(k));
        return;
      }
      if (open.tag == Tag::Table || IsCell(open.tag)) return;
    }
    return;
  }
  for (int k = int(stack_.size()) - 1; k > 0; --k) {
    const Open& open = stack_[size_t(k)];
    if (open.tag == Tag::Other && open.elementName == name) {
      popTo(size_t(k));
      return;
    }
    if (!IsInline(open.tag)) return;
  }
}

GMHtmlReading Reader::read(QStringView page) {
  if (meter_) meter_->allowSteps(page.size() * kHtmlStepsPerCharacter + kHtmlLeastSteps);
  scan(page);
  GMHtmlReading reading;
  reading.cost = cost_ + listenerCost_;
  // Refused by the meter, what the heap was seen to take where that is more than was charged.
  if (failed_ && meter_) reading.cost = std::max(reading.cost, meter_->grown());
  if (failed_) reading.outcome = GMHtmlReading::Outcome::TooLarge;
  else if (tooDeep_) reading.outcome = GMHtmlReading::Outcome::TooDeep;
  else if (left_) reading.outcome = GMHtmlReading::Outcome::Left;
  return reading;
}

// --- emitting ---

bool Reader::roomInQt(const QTextCursor& cursor, int64_t bytes) {
  // Qt's text keeps its characters in one buffer, which grows by doubling: what it holds may be
  // asked for once more at any insertion.
  const QTextDocument* document = cursor.document();
  const int64_t doubling = document ? int64_t(document->characterCount()) * int64_t(sizeof(char16_t)) : 0;
  if (buildPassed_ || (meter_ && !meter_->room(bytes, doubling))) buildPassed_ = true;
  return !buildPassed_;
}

void Reader::emitBlock(Block& block, QTextCursor& cursor, bool& fresh) {
  // Qt is asked for nothing the budget cannot give: a failed allocation inside it is no end the
  // reading could come back from.
  int64_t characters = 1;
  for (const Run& run : block.runs) characters += run.picture ? 1 : run.text.size();
  if (!roomInQt(cursor, characters * kHtmlCharacterCost + int64_t(block.runs.size()) * kHtmlRunCost)) return;
  QTextBlockFormat format = block.format;
  QTextList* list = nullptr;
  bool newList = false;
  if (block.list >= 0) {
    const size_t index = size_t(block.list);
    // A list is made of lists of a few items each, one after the other, which the text engine
    // reads as the one they make: the rich text takes each item in time that grows with its list.
    if (!emittedLists_[index] || listItems_[index] >= 64) newList = true;
    else list = emittedLists_[index];
    if (list) format.setObjectIndex(list->objectIndex());
  }
  if (!lookupInQt(format) || !lookupInQt(block.charFormat)) return;
  if (fresh) {
    cursor.setBlockFormat(format);
    cursor.setBlockCharFormat(block.charFormat);
  } else {
    cursor.insertBlock(format, block.charFormat);
  }
  fresh = false;
  if (newList) {
    const size_t index = size_t(block.list);
    if (!lookupInQt(lists_[index].format)) return;
    emittedLists_[index] = cursor.createList(lists_[index].format);
    listItems_[index] = 0;
  }
  if (block.list >= 0) ++listItems_[size_t(block.list)];
  for (Run& run : block.runs) {
    if (!lookupInQt(run.format)) return;
    if (run.picture) cursor.insertImage(run.format.toImageFormat());
    else cursor.insertText(run.text, run.format);
    run.text = QString();
  }
}

bool Reader::lookupInQt(QTextFormat& format) {
  if (!step(formats_.handOver(format))) buildPassed_ = true;
  return !buildPassed_;
}

void Reader::emitTable(TableNode& table, QTextCursor& cursor, bool& fresh) {
  emitNodes(table.before, cursor, fresh);
  if (!table.captionBelow) emitNodes(table.caption, cursor, fresh);
  if (table.rows <= 0 || table.columns <= 0 || table.cells.empty()) {
    if (table.captionBelow) emitNodes(table.caption, cursor, fresh);
    return;
  }
  // Whoever makes cells of the rich text keeps kMaxColumns columns apart and folds the text of
  // those past them, in order, into the last; there a column no cell starts in (one spans cover
  // alone) holds nothing and is not made, so that a wide span costs no cell of the grid for each
  // column it covers. The columns past them that are made, in order.
  const auto farColumnsOf = [](auto first, auto last, std::vector<int64_t>* far) {
    far->clear();
    for (; first != last; ++first)
      if ((*first)->column >= int64_t(kMaxColumns)) far->push_back((*first)->column);
    std::sort(far->begin(), far->end());
    far->erase(std::unique(far->begin(), far->end()), far->end());
  };
  std::vector<const Cell*> inOrder;  // the cells as written
  inOrder.reserve(table.cells.size());
  for (const Cell& cell : table.cells) inOrder.push_back(&cell);
  std::vector<int64_t> farColumns;
  if (table.columns > int64_t(kMaxColumns)) farColumnsOf(inOrder.begin(), inOrder.end(), &farColumns);
  int64_t madeColumns =
      table.columns > int64_t(kMaxColumns) ? int64_t(kMaxColumns) + int64_t(farColumns.size()) : table.columns;
  // Nor are the last columns where no cell starts, past every column a cell starts in or a width
  // is given for: the sheet's table is as wide as the cells in it.
  if (farColumns.empty()) {
    int64_t used = int64_t(table.widths.size());
    for (const Cell& cell : table.cells) used = std::max(used, cell.column + 1);
    madeColumns = std::min(madeColumns, used);
  }
  const auto madeColumnIn = [](const std::vector<int64_t>& far, int64_t column) {
    if (column < int64_t(kMaxColumns)) return column;
    const auto at = std::lower_bound(far.begin(), far.end(), column);
    return at != far.end() && *at == column ? int64_t(kMaxColumns) + (at - far.begin()) : int64_t(-1);
  };
  QTextTableFormat format = table.format;
  if (!table.widths.empty()) {
    QList<QTextLength> widths(static_cast<qsizetype>(madeColumns));
    for (size_t c = 0; c < table.widths.size() && c < size_t(table.columns); ++c) {
      const int64_t made = madeColumnIn(farColumns, int64_t(c));
      if (made >= 0) widths[qsizetype(made)] = table.widths[c];
    }
    format.setColumnWidthConstraints(widths);
  }
  // Where each row shows: the first footer's rows below the body's.
  const auto shownRow = [&table](int64_t row) {
    if (table.footFirst >= 0 && table.footRows > 0) {
      const int64_t footEnd = table.footFirst + table.footRows;
      if (row >= table.footFirst && row < footEnd) row += table.rows - footEnd;
      else if (row >= footEnd) row -= table.footRows;
    }
    return row;
  };
  // Only the rows a cell starts in are made, in the order they show: a row that starts none
  // shows nothing in a browser, and would cost a cell of the grid for each column.
  std::vector<int64_t> madeRows;
  madeRows.reserve(size_t(table.filledRows));
  for (const Cell& cell : table.cells)
    if (madeRows.empty() || madeRows.back() != cell.row) madeRows.push_back(cell.row);
  for (int64_t& row : madeRows) row = shownRow(row);
  std::sort(madeRows.begin(), madeRows.end());
  madeRows.erase(std::unique(madeRows.begin(), madeRows.end()), madeRows.end());
  const int64_t rowCount = int64_t(madeRows.size());
  const auto madeRowOf = [&](const Cell& cell) {
    return std::lower_bound(madeRows.begin(), madeRows.end(), shownRow(cell.row)) - madeRows.begin();
  };
  // The cells by the row they are made in, as written within a row, and the columns each row
  // reaches of its own (a row alone would be made as wide).
  std::vector<int64_t> rowStarts(size_t(rowCount) + 1, 0);
  std::vector<int64_t> madeRowOfCell(inOrder.size());
  for (size_t k = 0; k < inOrder.size(); ++k) ++rowStarts[size_t(madeRowOfCell[k] = madeRowOf(*inOrder[k])) + 1];
  for (size_t r = 0; r < size_t(rowCount); ++r) rowStarts[r + 1] += rowStarts[r];
  std::vector<const Cell*> byRow(inOrder.size());
  {
    std::vector<int64_t> next(rowStarts.begin(), rowStarts.end() - 1);
    for (size_t k = 0; k < inOrder.size(); ++k) byRow[size_t(next[size_t(madeRowOfCell[k])]++)] = inOrder[k];
  }
  std::vector<int64_t>().swap(madeRowOfCell);
  const auto ownWidth = [&](int64_t r) {
    int64_t near = 0, far = 0;
    for (int64_t k = rowStarts[size_t(r)]; k < rowStarts[size_t(r) + 1]; ++k) {
      if (byRow[size_t(k)]->column < int64_t(kMaxColumns)) near = std::max(near, byRow[size_t(k)]->column + 1);
      else ++far;
    }
    return far > 0 ? int64_t(kMaxColumns) + far : near;
  };
  // A table whose rows are of very different widths is made as tables of rows of like widths one
  // after the other, each as wide as its own rows and marked as going on with the table before,
  // so that the grid the rich text makes follows the cells the page writes (a short row costs no
  // cell for each column of the widest) and whoever reads it takes them as one table.
  struct Band {
    int64_t first = 0, end = 0;  // made rows
    int64_t columns = 0;
    std::vector<int64_t> far;
  };
  std::vector<Band> bands;
  int64_t own = 0;
  for (int64_t r = 0; r < rowCount; ++r) own += std::max<int64_t>(ownWidth(r), 1);
  if (rowCount * madeColumns <= 2 * own + 4096) {
    bands.push_back(Band{0, rowCount, madeColumns, farColumns});
  } else {
    Band band;
    std::set<int64_t> far;
    int64_t near = 0, bandOwn = 0;
    const auto close = [&] {
      band.far.assign(far.begin(), far.end());
      band.columns = std::max<int64_t>(band.far.empty() ? near : int64_t(kMaxColumns) + int64_t(band.far.size()), 1);
      bands.push_back(std::move(band));
      band = Band();
    };
    for (int64_t r = 0; r < rowCount; ++r) {
      int64_t rowNear = 0, added = 0;
      for (int64_t k = rowStarts[size_t(r)]; k < rowStarts[size_t(r) + 1]; ++k) {
        const int64_t column = byRow[size_t(k)]->column;
        if (column < int64_t(kMaxColumns)) rowNear = std::max(rowNear, column + 1);
        else if (!far.count(column)) ++added;
      }
      const int64_t width = std::max<int64_t>(ownWidth(r), 1);
      const int64_t farWidth = int64_t(far.size()) + added;
      const int64_t joined = std::max<int64_t>(farWidth > 0 ? int64_t(kMaxColumns) + farWidth : std::max(near, rowNear), 1);
      if (r > band.first && (r - band.first + 1) * joined > 2 * (bandOwn + width) + 64) {
        band.end = r;
        close();
        far.clear();
        near = bandOwn = 0;
        band.first = r;
      }
      for (int64_t k = rowStarts[size_t(r)]; k < rowStarts[size_t(r) + 1]; ++k)
        if (byRow[size_t(k)]->column >= int64_t(kMaxColumns)) far.insert(byRow[size_t(k)]->column);
      near = std::max(near, rowNear);
      bandOwn += width;
    }
    band.end = rowCount;
    close();
  }
  // The work of its cells (each made by the rich text, its import and the sheet) is counted
  // before any is made: the charges priced what they hold, the steps bound the time they take.
  int64_t area = 0;
  for (const Band& band : bands) area += (band.end - band.first) * band.columns;
  if (meter_ && !meter_->steps(area * kHtmlCellSteps)) {
    buildPassed_ = true;
    return;
  }
  QTextTable* made = nullptr;
  for (size_t b = 0; b < bands.size(); ++b) {
    const Band& band = bands[b];
    if (!roomInQt(cursor, (band.end - band.first) * band.columns * kHtmlCellCost + kHtmlRichTableCost)) return;
    QTextTableFormat bandFormat = format;
    if (bands.size() > 1) {
      bandFormat.setProperty(kTableColumnsProperty, int(madeColumns));
      if (b > 0) bandFormat.setProperty(kTableContinuesProperty, true);
    }
    if (!lookupInQt(bandFormat)) return;
    made = cursor.insertTable(int(band.end - band.first), int(band.columns), bandFormat);
    if (!made) return;
    const auto fill = [&](const Cell& cell, int64_t row) {
      if (buildPassed_ || (meter_ && !meter_->pieces(1))) {
        buildPassed_ = true;
        return false;
      }
      QTextTableCell at = made->cellAt(int(row - band.first), int(madeColumnIn(band.far, cell.column)));
      if (!at.isValid()) return true;
      // Left alone should Qt fail inside the cell (FLQtHeld), as the document is.
      FLQtHeld<QTextCursor> inside(at.firstCursorPosition());
      bool cellFresh = true;
      Cell& held = const_cast<Cell&>(cell);
      emitNodes(held.content, *inside, cellFresh);
      std::vector<Node>().swap(held.content);
      // After its text: the cell's format is its first paragraph's mark's, which that text sets.
      if (cell.format.propertyCount() > 0) {
        QTextCharFormat cellFormat = at.format();
        cellFormat.merge(cell.format);
        if (!lookupInQt(cellFormat)) return false;
        at.setFormat(cellFormat);
      }
      return true;
    };
    if (bands.size() == 1) {
      for (const Cell& cell : table.cells)
        if (!fill(cell, madeRowOf(cell))) return;
    } else {
      for (int64_t r = band.first; r < band.end; ++r)
        for (int64_t k = rowStarts[size_t(r)]; k < rowStarts[size_t(r) + 1]; ++k)
          if (!fill(*byRow[size_t(k)], r)) return;
    }
    cursor.setPosition(made->lastPosition() + 1);
  }
  fresh = true;
  if (table.captionBelow) emitNodes(table.caption, cursor, fresh);
}

void Reader::emitNodes(std::vector<Node>& nodes, QTextCursor& cursor, bool& fresh) {
  for (Node& node : nodes) {
    if (buildPassed_ || (meter_ && !meter_->pieces(node.table ? FLReadingMeter::kPiecesBetweenReads / 64 : 1))) {
      buildPassed_ = true;
      return;
    }
    if (node.block) emitBlock(*node.block, cursor, fresh);
    else if (node.table) emitTable(*node.table, cursor, fresh);
    node = Node();
  }
}

bool Reader::build(QTextDocument* text) {
  emittedLists_.assign(lists_.size(), nullptr);
  listItems_.assign(lists_.size(), 0);
  // A failed allocation inside Qt leaves the cursor with the document it was on: neither is
  // touched again (FLQtHeld), and the failure goes on to whoever holds the document.
  FLQtHeld<QTextCursor> cursor(text);
  // Within one edit the cursor does not lay out each block it makes to find its place in the
  // line, which would cost each paragraph a layout of its own that nothing reads.
  cursor->beginEditBlock();
  bool fresh = true;
  emitNodes(root_, *cursor, fresh);
  cursor->endEditBlock();
  return !buildPassed_;
}

int64_t Reader::grown() const { return meter_ ? meter_->grown() : 0; }

}  // namespace

char32_t HtmlNamedEntity(QStringView name) {
  const auto* end = std::end(kNamedEntities);
  const auto* it = std::lower_bound(std::begin(kNamedEntities), end, name, [](const NamedEntity& row, QStringView n) {
    return QStringView(row.name).compare(n) < 0;
  });
  return it != end && QStringView(it->name) == name ? it->character : 0;
}

void HtmlDecodeText(QStringView raw, QString* decoded) { DecodeText(raw, decoded); }

GMHtmlReading ReadHtmlPage(QStringView page, QTextDocument* text, int64_t budget, GMHtmlListener* listener,
                           int64_t listenerCost, GMHtmlResources resources) {
  const QUrl base = text->baseUrl();
  text->clear();
  text->setBaseUrl(base);
  text->setUndoRedoEnabled(false);
  auto* imported = dynamic_cast<GMImportTextDocument*>(text);
  if (imported) imported->setDeclaredBase(QUrl());
  Reader reader(budget, base, listener, listenerCost);
  if (imported && !imported->pageUrl().isEmpty()) reader.setDocumentUrl(imported->pageUrl());
  if (resources == GMHtmlResources::None) reader.forbidResources();
  if (listener) listener->setCharges([&reader](int64_t bytes) { return reader.chargeListener(bytes); });
  GMHtmlReading reading = reader.read(page);
  if (listener) listener->setCharges(nullptr);
  if (reading.read() && !reader.build(text)) {
    // Nothing half-built is left.
    text->clear();
    text->setBaseUrl(base);
    reading.outcome = GMHtmlReading::Outcome::TooLarge;
    reading.cost = std::max(reading.cost, reader.grown());
  } else if (reading.read()) {
    if (!reader.language().isEmpty()) {
      QTextFrameFormat root = text->rootFrame()->frameFormat();
      root.setProperty(kHtmlPageLanguageProperty, reader.language());
      text->rootFrame()->setFrameFormat(root);
    }
    if (imported) imported->setDeclaredBase(reader.declaredBase());
  }
  return reading;
}

int64_t HtmlPageReadingCost(QStringView page, int64_t budget) {
  Reader reader(budget, QUrl());
  return reader.read(page).cost;
}
