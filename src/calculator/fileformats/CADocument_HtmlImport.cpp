// HTML into the sheet: the HTML reader makes rich text, the text engine takes it in, and the
// engine document becomes cells. Relative references (pictures) are found next to the file.
//
// A page that is one long table of plain text cells (what programs that write pages for tables
// write) goes that way with its first row alone, which gives the sheet its font, its look and its
// columns; the other rows' texts are read here and become cells as the first row's did. The
// rich text of a long table costs far more than its cells.
#include "calculator/fileformats/caGlimmetImport.h"

#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr const char* kHtmlUnreadable = "I can't interpret the HTML file.";

// The page's text: a byte-order mark or a declared character set decides, else UTF-8 when the
// bytes are valid UTF-8, else Latin-1.
QString HtmlTextOfBytes(const QByteArray& bytes) {
  QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
  if (decoder.isValid() && QByteArrayView(decoder.name()) != "UTF-8") return decoder.decode(bytes);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes);
}

// A table read here needs at least this many rows: below it the rich text costs little.
constexpr size_t kPlainTableRows = 64;

// The page as its first row and the texts of the rows after it.
struct PlainTable {
  QString firstRowPage;  // the page with the table's first row alone
  std::vector<QString> firstRow;
  std::vector<std::vector<QString>> rows;  // the rows after the first
};

bool IsHtmlSpace(QChar ch) {
  const char16_t u = ch.unicode();
  return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
}

// A character the text engine keeps as it is in a cell: no control, format, private or
// unassigned character, no separator but the space, no half of a pair.
bool IsPlainCellCharacter(char32_t u) {
  if (u == U' ') return true;
  if (u < 0x21 || (u >= 0x7F && u <= 0xA0) || u > 0xFFFF) return false;
  switch (QChar::category(u)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return false;
    default:
      return true;
  }
}

// Reads the markup of a page written by a program: tags by name, with or without attributes.
class PageScanner {
 public:
  explicit PageScanner(QStringView page) : page_(page) {}

  qsizetype position() const { return at_; }
  bool atEnd() const { return at_ >= page_.size(); }
  void skipSpace() {
    while (at_ < page_.size() && IsHtmlSpace(page_[at_])) ++at_;
  }
  // The tag at the position, "<name", its attribute text and ">": the lower-case name (with
  // "/" for a closing tag, "!doctype" for the declaration); empty, and nothing read, when no
  // tag stands here. A tag whose attributes hold quotes or "<" is no tag for this reading.
  QString readTag(QStringView* attributes) {
    if (at_ >= page_.size() || page_[at_] != u'<') return QString();
    qsizetype end = at_ + 1;
    while (end < page_.size() && page_[end] != u'>' && page_[end] != u'<') ++end;
    if (end >= page_.size() || page_[end] != u'>') return QString();
    const QStringView inside = page_.sliced(at_ + 1, end - at_ - 1);
    qsizetype nameEnd = 0;
    while (nameEnd < inside.size() && !IsHtmlSpace(inside[nameEnd]) && inside[nameEnd] != u'/') ++nameEnd;
    if (nameEnd == 0 && inside.startsWith(u'/')) {
      nameEnd = 1;
      while (nameEnd < inside.size() && !IsHtmlSpace(inside[nameEnd])) ++nameEnd;
    }
    if (nameEnd == 0) return QString();
    *attributes = inside.sliced(nameEnd).trimmed();
    at_ = end + 1;
    return inside.first(nameEnd).toString().toLower();
  }
  // The text up to the next "<" (or the end).
  QStringView readText() {
    const qsizetype start = at_;
    while (at_ < page_.size() && page_[at_] != u'<') ++at_;
    return page_.sliced(start, at_ - start);
  }
  void moveTo(qsizetype position) { at_ = position; }

 private:
  QStringView page_;
  qsizetype at_ = 0;
};

// The text a table cell's raw text shows: spaces folded as the HTML reader folds them and the
// few entities a program writes decoded. False for anything else (another entity, a character
// the rich text might change), which leaves the page to the rich text.
bool PlainCellText(QStringView raw, QString* text) {
  text->clear();
  text->reserve(raw.size());
  bool space = false;
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const QChar ch = raw[i];
    if (IsHtmlSpace(ch)) {
      space = true;
      continue;
    }
    char32_t decoded = ch.unicode();
    if (ch == u'&') {
      const qsizetype semicolon = raw.indexOf(u';', i + 1);
      if (semicolon < 0 || semicolon - i > 10) return false;
      const QStringView name = raw.sliced(i + 1, semicolon - i - 1);
      if (name == u"amp") decoded = U'&';
      else if (name == u"lt") decoded = U'<';
      else if (name == u"gt") decoded = U'>';
      else if (name == u"quot") decoded = U'"';
      else if (name.startsWith(u'#')) {
        bool ok = false;
        const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
        const uint value = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        if (!ok || value == u' ') return false;
        decoded = char32_t(value);
      } else {
        return false;
      }
      i = semicolon;
    }
    if (!IsPlainCellCharacter(decoded)) return false;
    if (space && !text->isEmpty()) *text += u' ';
    space = false;
    *text += QChar(char16_t(decoded));
  }
  return true;
}

bool IsTableAttributeKept(QStringView attributes) {
  // Attributes that shape the table alone, which its first row passes on; any other (a style,
  // a colour) might reach the cells.
  const QString spaced = attributes.toString().simplified();
  for (QStringView part : QStringView(spaced).split(u' ', Qt::SkipEmptyParts)) {
    const qsizetype equals = part.indexOf(u'=');
    const QStringView name = equals < 0 ? part : part.first(equals);
    if (name.compare(u"border", Qt::CaseInsensitive) != 0 && name.compare(u"cellspacing", Qt::CaseInsensitive) != 0 &&
        name.compare(u"cellpadding", Qt::CaseInsensitive) != 0 && name.compare(u"width", Qt::CaseInsensitive) != 0)
      return false;
  }
  return true;
}

// Reads "<tr>", plain cells and "</tr>" into the row. False when the next thing is no such row.
// Header cells ("th") are plain too where `headers` (the first row, which the rich text reads).
bool ReadPlainRow(PageScanner& scanner, std::vector<QString>* row, bool headers = false) {
  QStringView attributes;
  const qsizetype start = scanner.position();
  scanner.skipSpace();
  if (scanner.readTag(&attributes) != u"tr" || !attributes.isEmpty()) {
    scanner.moveTo(start);
    return false;
  }
  row->clear();
  for (;;) {
    scanner.skipSpace();
    const QString tag = scanner.readTag(&attributes);
    if (tag == u"/tr" && attributes.isEmpty()) return !row->empty();
    const bool header = headers && tag == u"th";
    if ((tag != u"td" && !header) || !attributes.isEmpty()) return false;
    QString text;
    if (!PlainCellText(scanner.readText(), &text)) return false;
    if (scanner.readTag(&attributes) != (header ? u"/th" : u"/td") || !attributes.isEmpty()) return false;
    row->push_back(std::move(text));
  }
}

// The page as one long table of plain cells, or nothing: before the table only the page's
// frame (a declaration, html, head with a title and metadata, body without attributes), after
// it only the frame's ends; rows of plain cells, each as many as the first.
std::optional<PlainTable> ReadPlainTable(const QString& page) {
  PageScanner scanner(page);
  QStringView attributes;
  bool inTitle = false;
  for (;;) {
    if (inTitle) scanner.readText();
    else scanner.skipSpace();
    const QString tag = scanner.readTag(&attributes);
    if (tag == u"table") break;
    if (tag == u"title" && attributes.isEmpty()) inTitle = true;
    else if (tag == u"/title" && inTitle) inTitle = false;
    else if (tag == u"!doctype" || tag == u"html" || tag == u"meta") continue;
    else if ((tag == u"head" || tag == u"/head" || tag == u"body") && attributes.isEmpty()) continue;
    else return std::nullopt;
  }
  if (inTitle || !IsTableAttributeKept(attributes)) return std::nullopt;
  scanner.skipSpace();
  const qsizetype beforeBody = scanner.position();
  bool body = scanner.readTag(&attributes) == u"tbody" && attributes.isEmpty();
  if (!body) scanner.moveTo(beforeBody);

  PlainTable table;
  // The first row's cells show where the other rows go: one of them must hold something.
  if (!ReadPlainRow(scanner, &table.firstRow, true) || table.firstRow.size() > kMaxColumns ||
      std::all_of(table.firstRow.begin(), table.firstRow.end(), [](const QString& text) { return text.isEmpty(); }))
    return std::nullopt;
  const qsizetype firstRowEnd = scanner.position();
  std::vector<QString> row;
  while (ReadPlainRow(scanner, &row)) {
    if (row.size() != table.firstRow.size()) return std::nullopt;
    table.rows.push_back(std::move(row));
  }
  if (table.rows.size() + 1 < kPlainTableRows) return std::nullopt;
  scanner.skipSpace();
  const qsizetype tableEnd = scanner.position();
  QString tag = scanner.readTag(&attributes);
  if (body && tag == u"/tbody" && attributes.isEmpty()) {
    scanner.skipSpace();
    tag = scanner.readTag(&attributes);
  }
  if (tag != u"/table" || !attributes.isEmpty()) return std::nullopt;
  for (const char16_t* end : {u"/body", u"/html"}) {
    scanner.skipSpace();
    const qsizetype before = scanner.position();
    if (scanner.readTag(&attributes) != QStringView(end) || !attributes.isEmpty()) scanner.moveTo(before);
  }
  scanner.skipSpace();
  if (!scanner.atEnd()) return std::nullopt;
  table.firstRowPage = page.first(firstRowEnd) + page.sliced(tableEnd);
  return table;
}

// Whether the rich text of the first row shows the texts read for it: one table of one row,
// each cell the text with nothing around it.
bool RichTextShowsRow(const QTextDocument& text, const std::vector<QString>& row) {
  const QList<QTextFrame*> frames = text.rootFrame()->childFrames();
  if (frames.size() != 1) return false;
  const auto* table = qobject_cast<const QTextTable*>(frames.front());
  if (!table || table->rows() != 1 || size_t(table->columns()) != row.size()) return false;
  for (int x = 0; x < table->columns(); ++x) {
    const QTextTableCell cell = table->cellAt(0, x);
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    // The conversion of the rich text drops a paragraph's trailing spaces.
    QString shown = cursor.selectedText();
    while (shown.endsWith(u' ')) shown.chop(1);
    if (shown != row[size_t(x)]) return false;
  }
  return true;
}

}  // namespace

bool CADocument::loadHtmlFile(const QString& path, FLError* error) {
  QByteArray bytes;
  if (!ReadWholeFile(path, &bytes, error)) return false;
  const QString html = HtmlTextOfBytes(bytes);
  if (!HtmlNestingWithinLimit(html)) {
    SetError(error, -50, QLatin1String(kHtmlUnreadable));
    return false;
  }
  GMImportTextDocument text;
  text.setBaseUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath() + u'/'));
  std::optional<PlainTable> table = ReadPlainTable(html);
  if (table) {
    text.setHtml(table->firstRowPage);
    if (!RichTextShowsRow(text, table->firstRow)) table.reset();
  }
  if (!table) text.setHtml(html);
  if (loadAttributedString(text)) {
    // The rows after the first, made as the conversion of the rich text makes a row's cells,
    // below the first row's (the last the page made).
    if (table && !rows().empty()) {
      const int64_t first = rows().back()->gridY();
      for (size_t y = 0; y < table->rows.size(); ++y) {
        const std::vector<QString>& row = table->rows[y];
        for (size_t x = 0; x < row.size(); ++x) {
          if (row[x].isEmpty()) continue;
          auto cell = std::make_unique<CACell>(GridPoint{int64_t(x), first + 1 + int64_t(y)}, this);
          cell->setFormula(row[x]);
          storeCell(std::move(cell));
        }
      }
    }
    return true;
  }
  if (error && error->domain.isEmpty()) SetError(error, -50, QLatin1String(kHtmlUnreadable));
  return false;
}

bool CADocument::loadAttributedString(const QTextDocument& text) {
  if (!NewImportDocument()) return false;
  if (!ImportAttributedText(g_glimmetDoc, text)) {
    DestroyImportDocument();
    return false;
  }
  return loadFromGlimmet();
}
