// What a page's markup says ahead of its reading: its opening tags and the formulas its cells
// would hold, which the sheet's own reading of a long table prices; and what the program's HTML
// reader charges for a page, by which the writer of pages prices what it writes.
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CAReferenceTable.h"
#include "glimmet/storage/gmHtmlReader.h"

#include <QHash>

#include <algorithm>
#include <cstdint>
#include <vector>

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

namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
// What makes a reference's letters and digits part of a name or a number, a range's corner or a
// function's name, standing before them or after them.
bool JoinsBefore(char16_t c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == u'_' || c == u'.' || c == u'$' || c == u':';
}
bool JoinsAfter(char16_t c) { return JoinsBefore(c) || c == u'('; }

// The cells a formula's text names one by one ("B7", "$C$2"; not a range's corners nor a
// function's name) that the sheet keeps a record for each: each cell once, those of runs of
// neighbours left out (TakeRunsOfNamedCells). Read from the text as written, a little more
// generously than the formula reader reads it: the count is a price, never under what is kept.
int64_t CellsNamedOneByOne(QStringView formula, std::vector<GridPoint>& points) {
  points.clear();
  const qsizetype size = formula.size();
  for (qsizetype i = 0; i < size;) {
    const qsizetype start = i;
    if (start > 0 && JoinsBefore(formula[start - 1].unicode())) {
      ++i;
      continue;
    }
    qsizetype j = start;
    if (j < size && formula[j] == u'$') ++j;
    int64_t column = 0;
    const qsizetype letters = j;
    while (j < size && IsAsciiLetter(formula[j].unicode()) && j - letters < 6)
      column = column * 26 + ((formula[j++].unicode() | 0x20) - u'a' + 1);
    if (j == letters || (j < size && IsAsciiLetter(formula[j].unicode()))) {
      i = std::max(j, start + 1);
      continue;
    }
    if (j < size && formula[j] == u'$') ++j;
    int64_t row = 0;
    const qsizetype digits = j;
    while (j < size && IsAsciiDigit(formula[j].unicode()) && j - digits < 15)
      row = row * 10 + (formula[j++].unicode() - u'0');
    const bool reference = j > digits && row > 0 && (j == size || !JoinsAfter(formula[j].unicode()));
    if (reference) points.push_back(GridPoint{column - 1, row - 1});
    i = std::max(j, start + 1);
  }
  const auto before = [](const GridPoint& a, const GridPoint& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; };
  if (!std::is_sorted(points.begin(), points.end(), before)) std::sort(points.begin(), points.end(), before);
  points.erase(std::unique(points.begin(), points.end()), points.end());
  std::vector<GridRange> runs;
  TakeRunsOfNamedCells(points, runs);
  return int64_t(points.size());
}

}  // namespace

int64_t HtmlFormulaCharacters(QStringView page, int64_t* longest, int64_t* namedCells) {
  // A cell's text that starts with "=", up to the tag after it; white space before it counts
  // for nothing.
  int64_t characters = 0;
  if (longest) *longest = 0;
  if (namedCells) *namedCells = 0;
  std::vector<GridPoint> points;
  bool afterTag = false;
  for (qsizetype i = 0; i < page.size(); ++i) {
    const char16_t c = page[i].unicode();
    if (c == u'>') {
      afterTag = true;
    } else if (afterTag && StartsFormula(page.utf16(), page.size(), i)) {
      const qsizetype end = page.indexOf(u'<', i);
      characters += (end < 0 ? page.size() : end) - i;
      if (longest) *longest = std::max<int64_t>(*longest, (end < 0 ? page.size() : end) - i);
      if (namedCells) *namedCells += CellsNamedOneByOne(page.sliced(i, (end < 0 ? page.size() : end) - i), points);
      i = (end < 0 ? page.size() : end) - 1;
      afterTag = false;
    } else if (!IsSpace(c)) {
      afterTag = false;
    }
  }
  return characters;
}
