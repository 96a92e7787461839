// Estimates of what reading a page through rich text takes, from its markup, as Qt's HTML reader
// read it before the program read every page itself (gmHtmlReader.h): the writer of pages
// prices what it writes by them.
//
// The reader has its own rules for markup: it decodes entities in attribute values and takes
// "+" and white space in numbers, ends a bare value at ">" where a quote elsewhere hides tags
// from other readings, takes any "<" for a tag and the text of a script or a style sheet for
// markup. So it is never handed the page itself: the page is read here, tag by tag, and written
// out again in a form the reader can read only one way (names in lower case, values decoded and
// quoted, spans as the numbers priced, text "<" as "&lt;"), and what is priced is that markup.
// The reader gives every table rows x columns cells however few the page writes, so that a span
// makes cells no tag stands for; and each item it adds to a list costs it as many steps as the
// list has items.
#include "calculator/fileformats/caHtml.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmHtmlReader.h"

#include <QHash>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <vector>

namespace {

// The items of one list handed to the reader at most: a longer list is handed over as lists of
// this many items one after the other, which the text engine reads as the one list they make.
constexpr int64_t kListItemsAtOnce = 64;
// The widest span the reader makes of a cell: it takes no more columns for one.
constexpr int64_t kMostColumnSpan = 20480;

template <typename Unit>
char16_t UnitAt(const Unit* units, qsizetype size, qsizetype i) {
  return i < size ? char16_t(static_cast<std::make_unsigned_t<Unit>>(units[i])) : 0;
}

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

bool IsNameCharacter(char16_t c) {
  return IsAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u':' || c == u'_';
}

// A tag's name, lower case, from `at` (the letter after "<" or "</"); `end` is where it ends.
template <typename Unit>
QString TagName(const Unit* units, qsizetype size, qsizetype at, qsizetype* end) {
  QString name;
  qsizetype i = at;
  while (i < size && IsNameCharacter(UnitAt(units, size, i))) {
    name += QChar(LowerAscii(UnitAt(units, size, i)));
    ++i;
  }
  *end = i;
  return name;
}

// Where the text of a raw element (script, style, title, textarea) that starts at `from` ends:
// at its closing tag "</name", or the end of the page.
template <typename Unit>
qsizetype RawTextEnd(const Unit* units, qsizetype size, qsizetype from, const QString& name) {
  for (qsizetype i = from; i + 1 < size; ++i) {
    if (UnitAt(units, size, i) != u'<' || UnitAt(units, size, i + 1) != u'/') continue;
    qsizetype end = 0;
    if (TagName(units, size, i + 2, &end) == name) return i;
  }
  return size;
}

bool IsRawTextElement(const QString& name) {
  return name == u"script" || name == u"style" || name == u"title" || name == u"textarea";
}

// What stands at a "<" of the page: a tag, a comment or declaration (nothing to the reader), or
// a "<" that is text.
enum class PageMark { kTag, kPassed, kText };

// A tag that starts at a "<" of the page: whether it closes an element, its name, where the name
// ends, just past its ">", and whether it closes itself ("/>").
struct PageTag {
  bool closing = false;
  bool selfClosing = false;
  QString name;
  qsizetype nameEnd = 0;
  qsizetype end = 0;
};

// Reads what stands at `*at`, a "<". A comment or a declaration is passed over whole (to the
// page's end when it never ends) and `*at` left on its last character.
template <typename Unit>
PageMark ReadPageTag(const Unit* units, qsizetype size, qsizetype* at, PageTag* tag) {
  const qsizetype i = *at;
  const char16_t next = UnitAt(units, size, i + 1);
  if (next == u'!' && UnitAt(units, size, i + 2) == u'-' && UnitAt(units, size, i + 3) == u'-') {
    qsizetype end = i + 4;
    while (end + 2 < size && !(UnitAt(units, size, end) == u'-' && UnitAt(units, size, end + 1) == u'-' &&
                               UnitAt(units, size, end + 2) == u'>'))
      ++end;
    *at = std::min(end + 2, size) ;
    if (*at >= size) *at = size - 1;
    return PageMark::kPassed;
  }
  if (next == u'!' || next == u'?') {
    *at = EndOfHtmlTag(units, size, i + 2) - 1;
    return PageMark::kPassed;
  }
  tag->closing = next == u'/';
  const qsizetype nameStart = tag->closing ? i + 2 : i + 1;
  if (!IsAsciiLetter(UnitAt(units, size, nameStart))) return PageMark::kText;
  tag->name = TagName(units, size, nameStart, &tag->nameEnd);
  tag->end = EndOfHtmlTag(units, size, tag->nameEnd);
  tag->selfClosing = tag->end >= 2 && UnitAt(units, size, tag->end - 1) == u'>' &&
                     UnitAt(units, size, tag->end - 2) == u'/';
  return PageMark::kTag;
}

// The entities of the page being read: each reading of a page asks the reader about its own names.
thread_local HtmlEntities* t_pageEntities = nullptr;

// Makes a table of entities the page's while it lives, where no reading under way has one yet.
class PageEntities {
 public:
  PageEntities() : previous_(t_pageEntities) {
    if (!t_pageEntities) t_pageEntities = &own_;
  }
  ~PageEntities() { t_pageEntities = previous_; }
  PageEntities(const PageEntities&) = delete;
  PageEntities& operator=(const PageEntities&) = delete;

 private:
  HtmlEntities own_;
  HtmlEntities* previous_;
};

// The characters of a named entity as the reader shows it; empty where it keeps the name as
// written, or shows more than one character of it.
QString NamedEntity(const QString& name) {
  if (!t_pageEntities) return QString();
  QString shown = t_pageEntities->shown(name);
  if (shown.size() > 2) shown.clear();
  return shown;
}

// The entity at `at` (an "&") of a value, decoded, with `*end` just past it; null where the
// reader would keep the "&" as it is: an entity ends at a ";" within nine characters, without
// white space.
template <typename Unit>
QString Entity(const Unit* units, qsizetype to, qsizetype at, qsizetype* end) {
  qsizetype semicolon = at + 1;
  while (semicolon < to && semicolon - at <= 9 && UnitAt(units, to, semicolon) != u';' &&
         !IsSpace(UnitAt(units, to, semicolon)))
    ++semicolon;
  if (semicolon >= to || UnitAt(units, to, semicolon) != u';' || semicolon == at + 1) return QString();
  QString name;
  for (qsizetype i = at + 1; i < semicolon; ++i) name += QChar(UnitAt(units, to, i));
  *end = semicolon + 1;
  if (name.startsWith(u'#')) {
    const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
    bool ok = false;
    const uint value = QStringView(name).sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
    if (!ok || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return QString();
    const char32_t character = value;
    return QString::fromUcs4(&character, 1);
  }
  return NamedEntity(name);
}

// Whether the text at `at` starts with "=", written as it is or as an entity: a cell that shows
// it becomes a formula.
template <typename Unit>
bool StartsFormula(const Unit* units, qsizetype size, qsizetype at) {
  const char16_t c = UnitAt(units, size, at);
  qsizetype end = 0;
  return c == u'=' || (c == u'&' && Entity(units, size, at, &end) == u"=");
}

// One attribute of a tag as this reading takes it: its lower-case name and its value, decoded
// (a name alone: no value).
struct PageAttribute {
  QString name;
  QString value;
  bool alone = false;
};

// The attributes of a tag's attribute text [from, to): each a name, alone or with a value,
// quoted (to its closing quote) or bare (to white space), its entities decoded. Anything else
// there (a quote where a name should be, a stray "/" or "=") is passed over.
template <typename Unit>
std::vector<PageAttribute> ReadAttributes(const Unit* units, qsizetype from, qsizetype to) {
  std::vector<PageAttribute> attributes;
  qsizetype i = from;
  const auto value = [&](qsizetype start, qsizetype end) {
    QString text;
    text.reserve(end - start);
    for (qsizetype k = start; k < end; ++k) {
      const char16_t c = UnitAt(units, to, k);
      qsizetype after = 0;
      if (c == u'&') {
        const QString entity = Entity(units, end, k, &after);
        if (!entity.isNull()) {
          text += entity;
          k = after - 1;
          continue;
        }
      }
      text += QChar(c);
    }
    return text;
  };
  while (i < to) {
    const char16_t c = UnitAt(units, to, i);
    if (c == u'"' || c == u'\'') {
      qsizetype close = i + 1;
      while (close < to && UnitAt(units, to, close) != c) ++close;
      i = close + 1;
      continue;
    }
    if (IsSpace(c) || c == u'/' || c == u'=' || c == u'>' || c == u'<') {
      ++i;
      continue;
    }
    PageAttribute attribute;
    while (i < to) {
      const char16_t n = UnitAt(units, to, i);
      if (IsSpace(n) || n == u'/' || n == u'=' || n == u'>' || n == u'"' || n == u'\'' || n == u'<') break;
      attribute.name += QChar(LowerAscii(n));
      ++i;
    }
    qsizetype j = i;
    while (j < to && IsSpace(UnitAt(units, to, j))) ++j;
    if (j >= to || UnitAt(units, to, j) != u'=') {
      attribute.alone = true;
      attributes.push_back(std::move(attribute));
      continue;
    }
    ++j;
    while (j < to && IsSpace(UnitAt(units, to, j))) ++j;
    const char16_t quote = UnitAt(units, to, j);
    if (quote == u'"' || quote == u'\'') {
      qsizetype close = j + 1;
      while (close < to && UnitAt(units, to, close) != quote) ++close;
      attribute.value = value(j + 1, close);
      i = close + 1;
    } else {
      qsizetype end = j;
      while (end < to && !IsSpace(UnitAt(units, to, end)) && UnitAt(units, to, end) != u'>') ++end;
      attribute.value = value(j, end);
      i = end;
    }
    attributes.push_back(std::move(attribute));
  }
  return attributes;
}

// A span as the reader reads it: a whole number, white space and a "+" around it allowed; 0 for
// anything else (which the reader takes for no span).
int64_t SpanValue(QStringView value) {
  value = value.trimmed();
  if (value.startsWith(u'+')) value = value.sliced(1);
  if (value.isEmpty() || value.size() > 10) return 0;
  int64_t number = 0;
  for (QChar c : value) {
    if (c < u'0' || c > u'9') return 0;
    number = number * 10 + (c.unicode() - u'0');
  }
  return number <= INT32_MAX ? number : 0;
}

// The cells the reader makes of one table: rows x its widest row, the columns a span from a
// row above covers counted in each row it reaches (the reader ends a span with the table).
class TableGrid {
 public:
  void startRow() {
    endRow();
    const int64_t row = rows_++;
    // Spans that ended before this row cover no more of it.
    while (!spanEnds_.empty() && spanEnds_.begin()->first <= row) {
      covered_ -= spanEnds_.begin()->second;
      spanEnds_.erase(spanEnds_.begin());
    }
    rowColumns_ = covered_;
  }
  void addCell(int64_t columns, int64_t rows) {
    if (rows_ == 0) startRow();
    ++cells_;
    rowColumns_ += columns;
    if (rows > 1) {
      covered_ += columns;
      spanEnds_[rows_ - 1 + rows] += columns;
    }
  }
  // The cells beyond the page's own.
  __int128 finish() {
    endRow();
    const __int128 grid = __int128(rows_) * widest_;
    return grid > cells_ ? grid - cells_ : 0;
  }

 private:
  void endRow() { widest_ = std::max(widest_, rowColumns_); }

  int64_t rows_ = 0, cells_ = 0;
  __int128 widest_ = 0, rowColumns_ = 0, covered_ = 0;
  std::map<int64_t, __int128> spanEnds_;  // the row a span no longer reaches -> its columns
};

// A list open in the page: its opening tag as it is handed over again for each next part (the
// attributes that give its markers alone), and its items handed over so far in the list the
// reader is reading; the tables open around it. The reader carries the text elements (bold, a
// font...) an item leaves open into the items after it: those open in the list, as they are
// handed over, and how many of them the current item took over.
struct OpenList {
  QString tag;
  bool ordered = false;
  int64_t items = 0;
  int tables = 0;
  std::vector<QString> textNames;
  std::vector<QString> textTags;
  size_t itemStart = 0;

  void closeTextTo(size_t count) {
    textNames.resize(std::min(count, textNames.size()));
    textTags.resize(textNames.size());
  }
};

// The text elements one list keeps track of at the most (the reader refuses pages nested deeper
// than a few hundred elements anyway).
constexpr size_t kMostTextElements = 64;

// Where the markup handed over goes: into `out`, or, where there is none, only counted. What it
// costs the reader is counted as it is written.
struct HandOver {
  QString* out = nullptr;
  int64_t budget = 0;  // past it nothing more is written (0: no limit)
  int64_t characters = 0, tags = 0, lines = 0, formulaCharacters = 0;
  __int128 spanned = 0;
  bool refused = false;  // past the budget: the rest is priced as it is written

  int64_t cost() const {
    const __int128 total = __int128(characters) * kRichTextHtmlCharacterCost +
                           (__int128(tags) + lines) * kRichTextHtmlElementCost +
                           spanned * kRichTextHtmlSpannedCellCost + __int128(formulaCharacters) * kFormulaCharacterCost;
    return int64_t(std::min<__int128>(total, int64_t(1) << 62));
  }
  void write(QStringView text) {
    characters += text.size();
    if (!out) return;
    if (budget > 0 && cost() > budget) {
      // Refused: what is written so far is of no use, and the rest is only counted.
      *out = QString();
      out = nullptr;
      refused = true;
      return;
    }
    *out += text;
  }
  template <typename Unit>
  void writeUnits(const Unit* units, qsizetype from, qsizetype to) {
    if constexpr (sizeof(Unit) == 2) {
      write(QStringView(units + from, to - from));
    } else {
      characters += to - from;
      if (out) *out += QString::fromUtf8(units + from, to - from);
    }
  }
};

// An attribute value as written for the reader, in double quotes: a quote and an "&" that
// would start an entity written as entities.
QString QuotedValue(const QString& value) {
  QString quoted;
  quoted.reserve(value.size() + 2);
  quoted += u'"';
  for (qsizetype i = 0; i < value.size(); ++i) {
    const QChar c = value[i];
    if (c == u'"') {
      quoted += QStringLiteral("&quot;");
    } else if (c == u'&') {
      qsizetype k = i + 1;
      while (k < value.size() && k - i <= 9 && value[k] != u';' && !IsSpace(value[k].unicode())) ++k;
      quoted += k < value.size() && value[k] == u';' ? QStringLiteral("&amp;") : QStringLiteral("&");
    } else {
      quoted += c;
    }
  }
  quoted += u'"';
  return quoted;
}

bool IsAttributeName(const QString& name) {
  return !name.isEmpty() && IsAsciiLetter(name.front().unicode()) &&
         std::all_of(name.begin(), name.end(), [](QChar c) { return IsNameCharacter(c.unicode()) || c == u'.'; });
}

// The tag as handed over: its name and those of its attributes the reader could take, each
// with its value decoded and quoted; a span's value the number priced (`columns`, `rows`), none
// where the reader would make no span of it. `kept`, when given: the attributes written.
QString CanonicalTag(const QString& name, const std::vector<PageAttribute>& attributes, bool selfClosing,
                     int64_t columns, int64_t rows, std::initializer_list<QStringView> kept = {}) {
  QString tag = u'<' + name;
  for (const PageAttribute& attribute : attributes) {
    if (!IsAttributeName(attribute.name)) continue;
    if (kept.size() && std::find(kept.begin(), kept.end(), QStringView(attribute.name)) == kept.end()) continue;
    const bool span = (name == u"td" || name == u"th") && (attribute.name == u"colspan" || attribute.name == u"rowspan");
    if (span) {
      const int64_t value = attribute.name == u"colspan" ? columns : rows;
      if (value > 1) tag += u' ' + attribute.name + QStringLiteral("=\"%1\"").arg(value);
      continue;
    }
    if (attribute.alone) {
      tag += u' ' + attribute.name;
    } else if (!attribute.value.isEmpty()) {
      // The reader takes an empty value for no attribute.
      tag += u' ' + attribute.name + u'=' + QuotedValue(attribute.value);
    }
  }
  tag += selfClosing ? QStringLiteral("/>") : QStringLiteral(">");
  return tag;
}

// The spans of a cell's attributes, as the reader reads them: 1 where there is none.
void CellSpans(const std::vector<PageAttribute>& attributes, int64_t* columns, int64_t* rows) {
  *columns = *rows = 1;
  for (const PageAttribute& attribute : attributes) {
    if (attribute.name == u"colspan") *columns = std::clamp<int64_t>(SpanValue(attribute.value), 1, kMostColumnSpan);
    else if (attribute.name == u"rowspan") *rows = std::max<int64_t>(SpanValue(attribute.value), 1);
  }
}

// Whether a style keeps the lines of the element's text ("white-space: pre" and its kin).
bool KeepsLines(const std::vector<PageAttribute>& attributes) {
  for (const PageAttribute& attribute : attributes)
    if (attribute.name == u"style" && attribute.value.contains(u"white-space", Qt::CaseInsensitive) &&
        attribute.value.contains(u"pre", Qt::CaseInsensitive))
      return true;
  return false;
}

// Opening tags: "<" and a letter.
template <typename Unit>
int64_t OpeningTagsOfUnits(const Unit* units, qsizetype size) {
  int64_t elements = 0;
  for (qsizetype i = 0; i + 1 < size; ++i) {
    if (units[i] != Unit('<')) continue;
    const auto next = units[i + 1];
    elements += (next >= Unit('a') && next <= Unit('z')) || (next >= Unit('A') && next <= Unit('Z'));
  }
  return elements;
}

// Reads the page and writes what the reader is handed of it into `handOver`.
template <typename Unit>
void HandOverPage(const Unit* units, qsizetype size, HandOver& handOver) {
  qsizetype copied = 0;  // what of the page is written
  const auto copyTo = [&](qsizetype at) {
    if (at > copied) handOver.writeUnits(units, copied, at);
    copied = std::max(copied, at);
  };
  std::vector<OpenList> lists;
  std::vector<TableGrid> tableGrids;
  int tables = 0;
  // The elements open that keep their text's lines (each line a paragraph of the rich text).
  std::vector<QString> lineKeepers;
  // Whether a text that starts with "=" (a formula, once a cell) is running: it runs on through
  // text elements, up to any other tag.
  bool inFormula = false, textStarted = false;
  // A list's items end, in the reader, with a cell, a row or the table the list stands in.
  const auto closeListsInTable = [&] {
    while (!lists.empty() && tables > 0 && lists.back().tables >= tables) lists.pop_back();
  };
  const auto text = [&](qsizetype from, qsizetype to) {
    for (qsizetype k = from; k < to; ++k) {
      const char16_t c = UnitAt(units, size, k);
      if (!lineKeepers.empty() && c == u'\n') ++handOver.lines;
      if (inFormula) {
        ++handOver.formulaCharacters;
      } else if (!textStarted && !IsSpace(c)) {
        textStarted = true;
        if (StartsFormula(units, size, k)) {
          inFormula = true;
          ++handOver.formulaCharacters;
        }
      }
    }
  };
  for (qsizetype i = 0; i < size; ++i) {
    if (handOver.refused) {
      // What the rest would take is told well enough by its characters and tags.
      handOver.characters += size - copied;
      handOver.tags += OpeningTagsOfUnits(units + copied, size - copied);
      return;
    }
    if (UnitAt(units, size, i) != u'<') continue;
    const qsizetype start = i;
    PageTag tag;
    const PageMark mark = ReadPageTag(units, size, &i, &tag);
    if (mark == PageMark::kText) {
      // The reader would take it for a tag.
      text(copied, start);
      copyTo(start);
      handOver.write(u"&lt;");
      copied = start + 1;
      continue;
    }
    text(copied, start);
    copyTo(start);
    if (mark == PageMark::kPassed) {
      copied = i + 1;
      // The reader passes over the white space after a comment or a declaration too, where
      // lines are not kept.
      if (UnitAt(units, size, start + 1) == u'!' && lineKeepers.empty()) {
        while (copied < size && IsSpace(UnitAt(units, size, copied))) ++copied;
        i = copied - 1;
      }
      continue;
    }
    const QString& name = tag.name;
    const qsizetype end = tag.end;
    copied = end;
    i = end - 1;
    if (!IsTextLevelHtmlElement(name)) inFormula = textStarted = false;
    if (tag.closing) {
      handOver.write(QStringLiteral("</") + name + u'>');
      if (!lineKeepers.empty() && lineKeepers.back() == name) lineKeepers.pop_back();
      if (name == u"ul" || name == u"ol") {
        const bool ordered = name == u"ol";
        const auto open = std::find_if(lists.rbegin(), lists.rend(), [&](const OpenList& l) { return l.ordered == ordered; });
        if (open != lists.rend()) lists.erase(std::prev(open.base()), lists.end());
      } else if (name == u"table") {
        if (tables > 0) --tables;
        while (!lists.empty() && lists.back().tables > tables) lists.pop_back();
        if (!tableGrids.empty()) {
          handOver.spanned += tableGrids.back().finish();
          tableGrids.pop_back();
        }
      } else if (name == u"td" || name == u"th" || name == u"tr") {
        closeListsInTable();
      } else if (name == u"li" && !lists.empty()) {
        lists.back().closeTextTo(lists.back().itemStart);
      } else if (!lists.empty() && IsTextLevelHtmlElement(name)) {
        OpenList& list = lists.back();
        const auto open = std::find(list.textNames.rbegin(), list.textNames.rend(), name);
        if (open != list.textNames.rend()) list.closeTextTo(size_t(list.textNames.rend() - open) - 1);
      }
      continue;
    }
    const qsizetype attributesEnd = end - (UnitAt(units, size, end - 1) == u'>' ? 1 : 0);
    const std::vector<PageAttribute> attributes = ReadAttributes(units, tag.nameEnd, attributesEnd);
    int64_t columns = 1, rows = 1;
    if (name == u"td" || name == u"th") CellSpans(attributes, &columns, &rows);
    const QString canonical = CanonicalTag(name, attributes, tag.selfClosing, columns, rows);
    if (IsRawTextElement(name)) {
      // The text is handed over as text: every "<" the reader would take for markup as a
      // character; a style sheet's own comment marks stay as the reader knows them.
      handOver.write(canonical);
      ++handOver.tags;
      const qsizetype textEnd = RawTextEnd(units, size, end, name);
      for (qsizetype at = end; at < textEnd; ++at) {
        if (UnitAt(units, size, at) != u'<') continue;
        if (name == u"style" && UnitAt(units, size, at + 1) == u'!' && UnitAt(units, size, at + 2) == u'-' &&
            UnitAt(units, size, at + 3) == u'-')
          continue;
        copyTo(at);
        handOver.write(u"&lt;");
        copied = at + 1;
      }
      copyTo(textEnd);
      i = std::max(end, textEnd) - 1;
      continue;
    }
    if (name == u"ul" || name == u"ol") {
      lists.push_back({CanonicalTag(name, attributes, false, 1, 1, {u"type", u"start", u"style", u"dir"}),
                       name == u"ol", 0, tables, {}, {}, 0});
    } else if (name == u"li" && !lists.empty()) {
      OpenList& list = lists.back();
      if (++list.items > kListItemsAtOnce) {
        // The next list begins with this item, inside the text elements left open as before.
        handOver.write(list.ordered ? u"</ol>" : u"</ul>");
        handOver.write(list.tag);
        ++handOver.tags;
        for (const QString& open : list.textTags) handOver.write(open);
        handOver.tags += int64_t(list.textTags.size());
        list.items = 1;
      }
      list.itemStart = list.textNames.size();
    } else if (!lists.empty() && name == u"p") {
      lists.back().closeTextTo(lists.back().itemStart);
    } else if (!lists.empty() && IsTextLevelHtmlElement(name) && !tag.selfClosing) {
      OpenList& list = lists.back();
      if (list.textNames.size() >= kMostTextElements) {
        // The outermost of its kind gives way: an inner link or font is what the text takes, an
        // inner bold the same as the outer.
        const auto same = std::find(list.textNames.begin(), list.textNames.end(), name);
        if (same != list.textNames.end()) {
          const auto at = same - list.textNames.begin();
          list.textNames.erase(same);
          list.textTags.erase(list.textTags.begin() + at);
          if (size_t(at) < list.itemStart) --list.itemStart;
        }
      }
      if (list.textNames.size() < kMostTextElements) {
        list.textNames.push_back(name);
        list.textTags.push_back(canonical);
      }
    } else if (name == u"table") {
      ++tables;
      tableGrids.emplace_back();
    } else if (name == u"tr") {
      closeListsInTable();
      if (!tableGrids.empty()) tableGrids.back().startRow();
    } else if (name == u"td" || name == u"th") {
      closeListsInTable();
      if (!tableGrids.empty()) tableGrids.back().addCell(columns, rows);
    }
    if (!tag.selfClosing && (name == u"pre" || KeepsLines(attributes))) lineKeepers.push_back(name);
    handOver.write(canonical);
    ++handOver.tags;
  }
  text(copied, size);
  copyTo(size);
  while (!tableGrids.empty()) {
    handOver.spanned += tableGrids.back().finish();
    tableGrids.pop_back();
  }
}

// What reading the page through the rich text takes: the markup handed over, and no less than
// the page as it is written (which a writer of pages may count ahead).
template <typename Unit>
int64_t CostOfUnits(const Unit* units, qsizetype size, const HandOver& handOver) {
  HandOver written = handOver;
  HandOver asWritten;
  asWritten.characters = size;
  asWritten.tags = OpeningTagsOfUnits(units, size);
  if (asWritten.cost() > written.characters * kRichTextHtmlCharacterCost + written.tags * kRichTextHtmlElementCost) {
    written.characters = asWritten.characters;
    written.tags = asWritten.tags;
  }
  return written.cost();
}

}  // namespace

QString HtmlEntities::shown(QStringView name) {
  const auto found = shown_.constFind(name.toString());
  if (found != shown_.constEnd()) return *found;
  if (shown_.size() >= kMostNames) return QString();
  QString shown;
  if (const char32_t character = HtmlNamedEntity(name)) shown = QString::fromUcs4(&character, 1);
  shown_.insert(name.toString(), shown);
  return shown;
}

int64_t HtmlOpeningTags(QStringView page) { return OpeningTagsOfUnits(page.utf16(), page.size()); }

int64_t HtmlOpeningTags(QByteArrayView page) { return OpeningTagsOfUnits(page.data(), page.size()); }

int64_t HtmlSpannedCells(QStringView page) {
  const PageEntities entities;
  HandOver counted;
  HandOverPage(page.utf16(), page.size(), counted);
  return int64_t(std::min<__int128>(counted.spanned, int64_t(1) << 50));
}

int64_t HtmlSpannedCells(QByteArrayView page) {
  const PageEntities entities;
  HandOver counted;
  HandOverPage(page.data(), page.size(), counted);
  return int64_t(std::min<__int128>(counted.spanned, int64_t(1) << 50));
}

int64_t RichTextHtmlCost(QStringView page) {
  const PageEntities entities;
  HandOver counted;
  HandOverPage(page.utf16(), page.size(), counted);
  return CostOfUnits(page.utf16(), page.size(), counted);
}

int64_t RichTextHtmlCost(QByteArrayView page) {
  const PageEntities entities;
  HandOver counted;
  HandOverPage(page.data(), page.size(), counted);
  return CostOfUnits(page.data(), page.size(), counted);
}

RichTextHtml HtmlForRichText(QStringView page, int64_t budget) {
  const PageEntities entities;
  RichTextHtml handed;
  HandOver handOver;
  // Reading costs no less than the page as it is written: past the budget so, it is not read.
  HandOver asWritten;
  asWritten.characters = page.size();
  asWritten.tags = HtmlOpeningTags(page);
  if (budget > 0 && asWritten.cost() > budget) {
    handed.cost = asWritten.cost();
    return handed;
  }
  handed.page.reserve(page.size() + page.size() / 16 + 16);
  handOver.out = &handed.page;
  handOver.budget = budget;
  HandOverPage(page.utf16(), page.size(), handOver);
  handed.cost = CostOfUnits(page.utf16(), page.size(), handOver);
  if (budget > 0 && handed.cost > budget) handed.page = QString();
  return handed;
}

QString HtmlForRichText(const QString& page) { return HtmlForRichText(QStringView(page), 0).page; }

int64_t HtmlFormulaCharacters(QStringView page, int64_t* longest) {
  const PageEntities entities;
  // A cell's text that starts with "=", up to the tag after it; white space before it counts
  // for nothing.
  int64_t characters = 0;
  if (longest) *longest = 0;
  bool afterTag = false;
  for (qsizetype i = 0; i < page.size(); ++i) {
    const char16_t c = page[i].unicode();
    if (c == u'>') {
      afterTag = true;
    } else if (afterTag && StartsFormula(page.utf16(), page.size(), i)) {
      const qsizetype end = page.indexOf(u'<', i);
      characters += (end < 0 ? page.size() : end) - i;
      if (longest) *longest = std::max<int64_t>(*longest, (end < 0 ? page.size() : end) - i);
      i = (end < 0 ? page.size() : end) - 1;
      afterTag = false;
    } else if (!IsSpace(c)) {
      afterTag = false;
    }
  }
  return characters;
}
