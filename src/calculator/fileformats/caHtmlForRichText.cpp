// What the rich text's HTML reader is handed of a page, and what it builds of the page beyond the
// page's own tags.
//
// The reader takes the text of a script, a style sheet, a title or a text area for markup, so
// that a "<td>" in a script's string or a style sheet's comment becomes a cell; it gives every
// table rows x columns cells however few the page writes, so that a span makes cells no tag
// stands for; and each item it adds to a list costs it as many steps as the list has items.
#include "calculator/fileformats/caHtml.h"
#include "glimmet/storage/gmAttributedImport.h"

#include <QHash>

#include <algorithm>
#include <map>
#include <vector>

namespace {

// The items of one list handed to the reader at most: a longer list is handed over as lists of
// this many items one after the other, which the text engine reads as the one list they make.
constexpr int64_t kListItemsAtOnce = 64;

template <typename Unit>
char16_t UnitAt(const Unit* units, qsizetype size, qsizetype i) {
  return i < size ? char16_t(static_cast<std::make_unsigned_t<Unit>>(units[i])) : 0;
}

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

// A tag's name, lower case, from `at` (the letter after "<" or "</"); `end` is where it ends. Only
// so many characters are kept: no name this reading looks for is longer.
template <typename Unit>
QString TagName(const Unit* units, qsizetype size, qsizetype at, qsizetype* end) {
  QString name;
  qsizetype i = at;
  while (i < size) {
    const char16_t c = UnitAt(units, size, i);
    if (!IsAsciiLetter(c) && !(c >= u'0' && c <= u'9') && c != u'-' && c != u':' && c != u'_') break;
    if (name.size() < 12) name += QChar(LowerAscii(c));
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

// A tag that starts at a "<" of the page: whether it closes an element, its name, where the name
// ends and just past its ">".
struct PageTag {
  bool closing = false;
  QString name;
  qsizetype nameEnd = 0;
  qsizetype end = 0;
};

// Reads the tag at `*at`, a "<". A comment is passed over whole (to the page's end when it never
// ends) and `*at` left on its last character; a "<" that starts no tag gives false too.
template <typename Unit>
bool ReadPageTag(const Unit* units, qsizetype size, qsizetype* at, PageTag* tag) {
  const qsizetype i = *at;
  const char16_t next = UnitAt(units, size, i + 1);
  if (next == u'!' && UnitAt(units, size, i + 2) == u'-' && UnitAt(units, size, i + 3) == u'-') {
    qsizetype end = i + 4;
    while (end + 2 < size && !(UnitAt(units, size, end) == u'-' && UnitAt(units, size, end + 1) == u'-' &&
                               UnitAt(units, size, end + 2) == u'>'))
      ++end;
    *at = std::min(end + 2, size);
    return false;
  }
  tag->closing = next == u'/';
  const qsizetype nameStart = tag->closing ? i + 2 : i + 1;
  if (!IsAsciiLetter(UnitAt(units, size, nameStart))) return false;
  tag->name = TagName(units, size, nameStart, &tag->nameEnd);
  tag->end = EndOfHtmlTag(units, size, tag->nameEnd);
  return true;
}

// The whole number an attribute of the tag's attribute text gives (its leading digits), or 1.
template <typename Unit>
int64_t SpanAttribute(const Unit* units, qsizetype from, qsizetype to, QStringView attribute) {
  qsizetype i = from;
  while (i < to) {
    const char16_t c = UnitAt(units, to, i);
    if (!IsAsciiLetter(c)) {
      if (c == u'"' || c == u'\'') {
        // A value: read whole.
        qsizetype close = i + 1;
        while (close < to && UnitAt(units, to, close) != c) ++close;
        i = close + 1;
      } else {
        ++i;
      }
      continue;
    }
    qsizetype end = 0;
    const QString name = TagName(units, to, i, &end);
    i = end;
    if (name != attribute) continue;
    while (i < to && (UnitAt(units, to, i) == u' ' || UnitAt(units, to, i) == u'\t' || UnitAt(units, to, i) == u'\n' ||
                      UnitAt(units, to, i) == u'\r'))
      ++i;
    if (i >= to || UnitAt(units, to, i) != u'=') continue;
    ++i;
    while (i < to && (UnitAt(units, to, i) == u' ' || UnitAt(units, to, i) == u'"' || UnitAt(units, to, i) == u'\''))
      ++i;
    int64_t value = 0;
    while (i < to && UnitAt(units, to, i) >= u'0' && UnitAt(units, to, i) <= u'9') {
      value = std::min<int64_t>(value * 10 + (UnitAt(units, to, i) - u'0'), int64_t(1) << 31);
      ++i;
    }
    return std::max<int64_t>(value, 1);
  }
  return 1;
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

template <typename Unit>
int64_t SpannedCellsOfUnits(const Unit* units, qsizetype size) {
  std::vector<TableGrid> tables;
  __int128 spanned = 0;
  constexpr __int128 kMost = int64_t(1) << 50;
  for (qsizetype i = 0; i < size && spanned < kMost; ++i) {
    if (UnitAt(units, size, i) != u'<') continue;
    PageTag tag;
    if (!ReadPageTag(units, size, &i, &tag)) continue;
    const bool closing = tag.closing;
    const QString& name = tag.name;
    const qsizetype nameEnd = tag.nameEnd, end = tag.end;
    if (closing) {
      if (name == u"table" && !tables.empty()) {
        spanned += tables.back().finish();
        tables.pop_back();
      }
    } else if (IsRawTextElement(name)) {
      // Its text is no markup for the reader it is handed to.
      i = std::max(end, RawTextEnd(units, size, end, name)) - 1;
      continue;
    } else if (name == u"table") {
      tables.emplace_back();
    } else if (!tables.empty() && name == u"tr") {
      tables.back().startRow();
    } else if (!tables.empty() && (name == u"td" || name == u"th")) {
      tables.back().addCell(SpanAttribute(units, nameEnd, end, u"colspan"),
                            SpanAttribute(units, nameEnd, end, u"rowspan"));
    }
    i = end - 1;
  }
  while (!tables.empty()) {
    spanned += tables.back().finish();
    tables.pop_back();
  }
  return int64_t(std::min(spanned, kMost));
}

// A list open in the page: its opening tag, as it is written, and its items handed over so far
// in the list the reader is reading; the tables open around it. The reader carries the text
// elements (bold, a font...) an item leaves open into the items after it: those open in the list,
// as they are written, and how many of them the current item took over.
struct OpenList {
  QStringView tag;
  bool ordered = false;
  int64_t items = 0;
  int tables = 0;
  std::vector<QString> textNames;
  std::vector<QStringView> textTags;
  size_t itemStart = 0;

  void closeTextTo(size_t count) {
    textNames.resize(std::min(count, textNames.size()));
    textTags.resize(textNames.size());
  }
};

// The text elements one list keeps track of at the most (the reader refuses pages nested deeper
// than a few hundred elements anyway).
constexpr size_t kMostTextElements = 64;

}  // namespace

int64_t HtmlSpannedCells(QStringView page) { return SpannedCellsOfUnits(page.utf16(), page.size()); }

int64_t HtmlSpannedCells(QByteArrayView page) { return SpannedCellsOfUnits(page.data(), page.size()); }

QString HtmlForRichText(const QString& page) {
  const char16_t* units = reinterpret_cast<const char16_t*>(page.utf16());
  const qsizetype size = page.size();
  QString out;
  qsizetype copied = 0;  // what of the page is in `out`
  const auto copyTo = [&](qsizetype at) {
    if (out.isNull()) out.reserve(size + size / 64 + 16);
    out += QStringView(page).sliced(copied, at - copied);
    copied = at;
  };
  std::vector<OpenList> lists;
  int tables = 0;
  // A list's items end, in the reader, with a cell, a row or the table the list stands in.
  const auto closeListsInTable = [&] {
    while (!lists.empty() && tables > 0 && lists.back().tables >= tables) lists.pop_back();
  };
  for (qsizetype i = 0; i < size; ++i) {
    if (units[i] != u'<') continue;
    PageTag tag;
    if (!ReadPageTag(units, size, &i, &tag)) continue;
    const bool closing = tag.closing;
    const QString& name = tag.name;
    const qsizetype end = tag.end;
    if (closing) {
      if (name == u"ul" || name == u"ol") {
        const bool ordered = name == u"ol";
        const auto open = std::find_if(lists.rbegin(), lists.rend(), [&](const OpenList& l) { return l.ordered == ordered; });
        if (open != lists.rend()) lists.erase(std::prev(open.base()), lists.end());
      } else if (name == u"table") {
        if (tables > 0) --tables;
        while (!lists.empty() && lists.back().tables > tables) lists.pop_back();
      } else if (name == u"td" || name == u"th" || name == u"tr") {
        closeListsInTable();
      } else if (name == u"li" && !lists.empty()) {
        lists.back().closeTextTo(lists.back().itemStart);
      } else if (!lists.empty() && IsTextLevelHtmlElement(name)) {
        OpenList& list = lists.back();
        const auto open = std::find(list.textNames.rbegin(), list.textNames.rend(), name);
        if (open != list.textNames.rend()) list.closeTextTo(size_t(list.textNames.rend() - open) - 1);
      }
      i = end - 1;
      continue;
    }
    if (IsRawTextElement(name)) {
      // The text is handed over as text: every "<" that would start markup as a character.
      const qsizetype textEnd = RawTextEnd(units, size, end, name);
      for (qsizetype at = end; at < textEnd; ++at) {
        if (units[at] != u'<') continue;
        const char16_t after = UnitAt(units, size, at + 1);
        if (!IsAsciiLetter(after) && after != u'/' && after != u'!' && after != u'?') continue;
        // A style sheet's own comment marks stay as the reader knows them.
        if (name == u"style" && QStringView(page).sliced(at).startsWith(u"<!--")) continue;
        copyTo(at);
        out += QStringLiteral("&lt;");
        copied = at + 1;
      }
      i = std::max(end, textEnd) - 1;
      continue;
    }
    if (name == u"ul" || name == u"ol") {
      lists.push_back({QStringView(page).sliced(i, end - i), name == u"ol", 0, tables, {}, {}});
    } else if (name == u"li" && !lists.empty()) {
      OpenList& list = lists.back();
      if (++list.items > kListItemsAtOnce) {
        // The next list begins with this item, inside the text elements left open as before.
        copyTo(i);
        out += list.ordered ? QStringLiteral("</ol>") : QStringLiteral("</ul>");
        out += list.tag;
        for (QStringView tag : list.textTags) out += tag;
        list.items = 1;
      }
      list.itemStart = list.textNames.size();
    } else if (!lists.empty() && name == u"p") {
      lists.back().closeTextTo(lists.back().itemStart);
    } else if (!lists.empty() && IsTextLevelHtmlElement(name) && !(end >= 2 && units[end - 2] == u'/')) {
      OpenList& list = lists.back();
      if (list.textNames.size() < kMostTextElements) {
        list.textNames.push_back(name);
        list.textTags.push_back(QStringView(page).sliced(i, end - i));
      }
    } else if (name == u"table") {
      ++tables;
    } else if (name == u"td" || name == u"th" || name == u"tr") {
      closeListsInTable();
    }
    i = end - 1;
  }
  if (out.isNull()) return page;
  copyTo(size);
  return out;
}
