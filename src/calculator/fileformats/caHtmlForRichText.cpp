// What a page's markup says ahead of its reading: its opening tags and the formulas its cells
// would hold, which the sheet's own reading of a long table prices; and what the program's HTML
// reader charges for a page, by which the writer of pages prices what it writes.
#include "calculator/fileformats/caHtml.h"
#include "glimmet/storage/gmHtmlReader.h"

#include <QHash>

#include <algorithm>
#include <cstdint>

namespace {

template <typename Unit>
char16_t UnitAt(const Unit* units, qsizetype size, qsizetype i) {
  return i < size ? char16_t(static_cast<std::make_unsigned_t<Unit>>(units[i])) : 0;
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }

// The characters of a named entity as the reader shows it; empty where it keeps the name as
// written, or shows more than one character of it.
QString NamedEntity(const QString& name) {
  const char32_t character = HtmlNamedEntity(name);
  return character ? QString::fromUcs4(&character, 1) : QString();
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

}  // namespace

int64_t HtmlOpeningTags(QStringView page) { return OpeningTagsOfUnits(page.utf16(), page.size()); }

int64_t HtmlOpeningTags(QByteArrayView page) { return OpeningTagsOfUnits(page.data(), page.size()); }

int64_t RichTextHtmlCost(QStringView page) { return HtmlPageReadingCost(page); }

int64_t RichTextHtmlCost(QByteArrayView page) { return HtmlPageReadingCost(QString::fromUtf8(page)); }

int64_t HtmlFormulaCharacters(QStringView page, int64_t* longest) {
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
