// A text-engine document becomes cells: each paragraph outside a table is a row whose
// tab-separated fields are columns, each table row is a row whose cells are columns, and a table
// at the very start of the text also gives the sheet its table look. Pictures, links and
// checkboxes become cells of their kind, beside the words they are shown with; a table's column
// whose cells show such beside their words takes as many columns of the sheet as they need.
#include "calculator/fileformats/caGlimmetImport.h"
#include "calculator/fileformats/caImportFormats.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/CAPicture.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flImageSupport.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/foundation/flTextServices.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTables.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QFont>

#include <algorithm>
#include <memory>

GlimmetDoc* g_glimmetDoc = nullptr;
std::vector<int64_t> g_glimmetLeadingWidths;

namespace {
// Whether the conversion under way (or the last) left out fields past the grid's last column.
bool g_glimmetColumnsCut = false;
// The formats of the conversion under way: cells formatted alike share one.
CAImportFormats* t_importFormats = nullptr;

struct ImportFormatsScope {
  CAImportFormats formats;
  ImportFormatsScope() { t_importFormats = &formats; }
  ~ImportFormatsScope() { t_importFormats = nullptr; }
  ImportFormatsScope(const ImportFormatsScope&) = delete;
  ImportFormatsScope& operator=(const ImportFormatsScope&) = delete;
};
}  // namespace

bool NewImportDocument() {
  DestroyImportDocument();
  g_glimmetDoc = NewGlimmetDoc(kDocTemporary);
  if (!g_glimmetDoc) return false;
  if (g_glimmetDoc->paneCount == 0 && !SetupPane(g_glimmetDoc, nullptr)) {
    DestroyImportDocument();
    return false;
  }
  return true;
}

void DestroyImportDocument() {
  if (g_glimmetDoc) DestroyDocument(g_glimmetDoc);
  g_glimmetDoc = nullptr;
  g_glimmetLeadingWidths.clear();
}

bool GlimmetImportCutColumns() { return g_glimmetColumnsCut; }

QString WithoutInnerCharacters(QString text) {
  qsizetype kept = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    QChar ch = text[i];
    if (ch == QChar::LineSeparator || ch == QChar::ParagraphSeparator) ch = u'\n';
    const char16_t unit = ch.unicode();
    const bool inner = (unit < 0x20 && unit != u'\t' && unit != u'\n') || unit == QChar::ObjectReplacementCharacter ||
                       unit == 0xFDD0 || unit == 0xFDD1;
    if (!inner) text[kept++] = ch;
  }
  text.truncate(kept);
  return text;
}

namespace {

// The page whose conversion is under way, when it is one: how it writes its numbers.
const PageNumberSyntaxScope* t_pageSyntax = nullptr;

bool IsBlankMark(QChar ch) { return ch == u' ' || ch == QChar(0x00A0) || ch == QChar(0x202F) || ch == QChar(0x2009); }
bool IsApostropheMark(QChar ch) { return ch == u'\'' || ch == QChar(0x2019); }

}  // namespace

bool SameNumberSyntax(const PageNumberSyntax& a, const PageNumberSyntax& b) {
  if (a.point != b.point) return false;
  return a.group == b.group || (IsBlankMark(a.group) && IsBlankMark(b.group)) ||
         (IsApostropheMark(a.group) && IsApostropheMark(b.group));
}

std::optional<CANumber> PageNumberOf(const QString& text, const PageNumberSyntax& syntax) {
  if (std::optional<CANumber> number =
          CANumber::withValidatedString(text, CANumberSyntax{syntax.point, syntax.group, syntax.currency}))
    return number;
  if (!syntax.webToo) return std::nullopt;
  return CANumber::withValidatedString(text, CANumberSyntax{u'.', u',', syntax.currency});
}

namespace {

int32_t PageDateInGregorianYears(const QString& text, const PageNumberSyntax& syntax) {
  // A language that writes its year first reads a leading year of two digits as one.
  if (syntax.dates->yearFirst)
    if (const int32_t day = ParseWrittenDate(text, *syntax.dates)) return day;
  if (const int32_t day = ParseIntoDayIndexInOrder(text, *syntax.dates)) return day;
  return ParseWrittenDate(text, *syntax.dates);
}

}  // namespace

int32_t PageDateOf(const QString& shown, const PageNumberSyntax& syntax) {
  if (!syntax.dates) return 0;
  const QString text = cleanUp(shown, false, false);
  if (text.isEmpty() || text[0] == u'=') return 0;
  const int32_t day = PageDateInGregorianYears(text, syntax);
  if (day == 0 || syntax.eraYears == 0) return day;
  // The year as the era counts it: a year of two digits, which the reading puts in this century
  // of the Gregorian count, falls before the first date there is.
  const int32_t gregorian = day - syntax.eraYears * 10000;
  return IsValidDate(gregorian) ? gregorian : 0;
}

PageTextReading ReadPageText(const QString& text, const PageNumberSyntax& syntax) {
  PageTextReading reading;
  if (syntax.dates) reading.date = PageDateOf(text, syntax);
  if (reading.date == 0) reading.number = PageNumberOf(text, syntax);
  return reading;
}

QString PageValueText(const CANumber& number, bool date) {
  if (date) {
    const int64_t day = number.integerValue();
    if (!IsValidDate(int32_t(day))) return QString();
    return QStringLiteral("%1-%2-%3")
        .arg(day / 10000, 4, 10, QChar(u'0'))
        .arg(day / 100 % 100, 2, 10, QChar(u'0'))
        .arg(day % 100, 2, 10, QChar(u'0'));
  }
  if (!number.isValid()) return QString();
  // The shortest text that reads back as the very number: its decimal where it has an exact one,
  // else (a fraction of thirds, sevenths) its numerator and denominator, never a real near it.
  const QString decimal = number.decimalText();
  const std::optional<CANumber> back = CANumber::withValidatedString(decimal, false, u'.', QChar());
  const bool exactDecimal = back && back->archive() == number.archive();
  CANumber exact = number;
  exact.setCanonicalForm(false);
  if (exact.form() == kNumberFraction) {
    uint64_t rest = exact.denominator();
    while (rest % 2 == 0) rest /= 2;
    while (rest % 5 == 0) rest /= 5;
    if (rest == 1 && exactDecimal) return decimal;
    return QString::number(exact.numerator()) + u'/' + QString::number(exact.denominator());
  }
  return exactDecimal || exact.form() == kNumberReal ? decimal : QString();
}

std::optional<CANumber> PageValueOf(const QString& value, int32_t* date) {
  *date = 0;
  if (value.isEmpty() || value.size() > 64) return std::nullopt;
  static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
  if (const QRegularExpressionMatch match = iso.match(value); match.hasMatch()) {
    const int32_t day = match.captured(1).toInt() * 10000 + match.captured(2).toInt() * 100 + match.captured(3).toInt();
    if (!IsValidDate(day)) return std::nullopt;
    *date = day;
    return CANumber(day);
  }
  static const QRegularExpression fraction(QStringLiteral("^(-?\\d{1,19})/(\\d{1,20})$"));
  if (const QRegularExpressionMatch match = fraction.match(value); match.hasMatch()) {
    bool numeratorOk = false, denominatorOk = false;
    const int64_t numerator = match.captured(1).toLongLong(&numeratorOk);
    const uint64_t denominator = match.captured(2).toULongLong(&denominatorOk);
    if (!numeratorOk || !denominatorOk || denominator == 0) return std::nullopt;
    return CANumber::withNumerator(numerator, denominator);
  }
  // Digits, a point and an exponent in the C syntax, nothing else.
  for (const QChar ch : value)
    if (!(ch.isDigit() && ch.unicode() < 128) && ch != u'.' && ch != u'-' && ch != u'+' && ch != u'E' && ch != u'e')
      return std::nullopt;
  return CANumber::withValidatedString(value, false, u'.', QChar());
}

std::optional<CANumberFormat> DateFormatShowing(const QString& shown, int32_t day, bool partial) {
  const bool words = std::any_of(shown.begin(), shown.end(), [](QChar c) { return c.isLetter(); });
  CANumberFormat format;
  format.setDisplay(kDisplayDate);
  format.setShortDashes(shown.contains(u'-'));
  std::vector<int32_t> months = words ? std::vector<int32_t>{kMonthLongName, kMonthShortName}
                                      : std::vector<int32_t>{kMonthNumber};
  if (partial) months.push_back(kMonthNone);
  const std::vector<int32_t> weekdays = words ? std::vector<int32_t>{kWeekdayNone, kWeekdayShort, kWeekdayLong}
                                              : std::vector<int32_t>{kWeekdayNone};
  const std::vector<int32_t> years = partial ? std::vector<int32_t>{kYearFull, kYearTwoDigits, kYearNone}
                                             : std::vector<int32_t>{kYearFull, kYearTwoDigits};
  const std::vector<bool> dayLeftOut = partial ? std::vector<bool>{false, true} : std::vector<bool>{false};
  for (const int32_t order : {kDateOrderDMY, kDateOrderMDY, kDateOrderYMD})
    for (const int32_t month : months)
      for (const int32_t weekday : weekdays)
        for (const int32_t year : years)
          for (const bool noDay : dayLeftOut)
            for (const bool pad : {false, true})
              for (const bool together : {false, true}) {
                if (together && (words || shown.contains(u'-'))) continue;
                format.setDateOrder(order);
                format.setMonthOption(month);
                format.setWeekdayOption(weekday);
                format.setYearOption(year);
                format.setOmitDay(noDay);
                format.setPadDayMonth(pad);
                format.setOmitSeparators(together);
                if (format.formatDate(day) == shown) return format;
              }
  return std::nullopt;
}

namespace {

// The date format of the sheet that shows `day` as the page wrote it (`shown`, cleaned up), where
// one does and the sheet's own way of showing dates does not.
std::optional<CANumberFormat> ShownDateFormat(const QString& shown, int32_t day) {
  if (FormatDayIndex(day) == shown) return std::nullopt;
  return DateFormatShowing(shown, day);
}

}  // namespace

void EnterPageText(CACell& cell, const QString& text, const PageNumberSyntax* syntax,
                   std::optional<CANumberFormat>* shownAs) {
  if (syntax) {
    const PageTextReading reading = ReadPageText(text, *syntax);
    // A date as the page's language writes it, ahead of a number, as typing reads one; shown
    // as the page shows it where the sheet has a way to.
    if (const int32_t day = reading.date) {
      cell.setNumberValue(CANumber(day));
      cell.setValueType(kValueDate);
      if (shownAs) *shownAs = ShownDateFormat(cleanUp(text, false, false), day);
      return;
    }
    if (reading.number) {
      cell.setNumberValue(*reading.number);
      return;
    }
  }
  cell.setFormula(text);
  if (!syntax) return;
  if (cell.valueType() != kValueNumber && !(syntax->dates && cell.valueType() == kValueDate)) return;
  QString entered = text;
  entered.remove(u'\t');
  cell.clearValue();
  cell.setFormulaString(entered);
  cell.setValueType(kValueText);
  cell.setNeedRecalc(false);
}

namespace {

const PageAddressScope* t_pageAddress = nullptr;

}  // namespace

PageAddressScope::PageAddressScope(QString page) : outer_(t_pageAddress), page_(std::move(page)) {
  t_pageAddress = this;
}

PageAddressScope::~PageAddressScope() { t_pageAddress = outer_; }

bool PageAddressScope::LeadsIntoPage(const QString& target) {
  if (target.startsWith(u'#')) return true;
  const qsizetype fragment = target.indexOf(u'#');
  return fragment > 0 && t_pageAddress && !t_pageAddress->page_.isEmpty() &&
         QStringView(target).first(fragment) == t_pageAddress->page_;
}

PageNumberSyntaxScope::PageNumberSyntaxScope(const PageNumberSyntax* syntax, const GMTextLanguages* languages,
                                             std::vector<std::optional<PageNumberSyntax>> languageSyntaxes)
    : outer_(t_pageSyntax), languages_(languages), languageSyntaxes_(std::move(languageSyntaxes)) {
  if (syntax) syntax_ = *syntax;
  t_pageSyntax = this;
}

PageNumberSyntaxScope::~PageNumberSyntaxScope() { t_pageSyntax = outer_; }

const PageNumberSyntax* PageNumberSyntaxScope::SyntaxAt(uint32_t cp) {
  const PageNumberSyntaxScope* scope = t_pageSyntax;
  if (!scope) return nullptr;
  if (scope->languages_ && !scope->languages_->empty()) {
    const int32_t language = scope->languages_->at(cp);
    if (language >= 0) {
      const size_t index = size_t(language);
      return index < scope->languageSyntaxes_.size() && scope->languageSyntaxes_[index]
                 ? &*scope->languageSyntaxes_[index]
                 : nullptr;
    }
  }
  return scope->syntax_ ? &*scope->syntax_ : nullptr;
}

int32_t EngineAlignmentForSheet(int32_t alignment) {
  if (alignment == kAlignmentCenter) return 1;
  if (alignment == kAlignmentRight) return 3;
  return 0;
}

int32_t SheetAlignmentForEngine(int32_t alignment) {
  if (alignment == 1) return kAlignmentCenter;
  if (alignment == 3) return kAlignmentRight;
  return 0;
}

namespace {

// The font of a character formatting.
QFont FontForCharProps(const PropRecord& chars) {
  const QString name = FontNameAtIndex(chars.get<uint16_t>(CharField::font));
  const int16_t quarters = chars.get<int16_t>(CharField::size);
  const double points = quarters > 0 ? quarters / 4.0 : 12.0;
  QFont font = FontWithName(name, points).value_or(QFont(name));
  font.setPointSizeF(points);
  font.setBold(chars.body[CharField::bold] != 0);
  font.setItalic(chars.body[CharField::italic] != 0);
  return font;
}

// The text with its blanks collapsed as a browser collapses them: each run of ASCII white space
// is one space, and none is left at either end. A no-break space (or any other space of Unicode's)
// is one the page means to show: "p.&nbsp;41" keeps it, as QString::simplified would not.
QString CollapsedBlanks(const QString& text) {
  QString collapsed;
  collapsed.reserve(text.size());
  bool blank = false;
  for (const QChar ch : text) {
    const char16_t unit = ch.unicode();
    if (unit == u' ' || (unit >= u'\t' && unit <= u'\r')) {
      blank = !collapsed.isEmpty();
      continue;
    }
    if (blank) collapsed += u' ';
    blank = false;
    collapsed += ch;
  }
  return collapsed;
}

// The words of a knot that holds text of its own (a table inside a table cell), as one line.
QString KnotWords(GlimmetDoc* doc, const KnotInfo& knot) {
  QString words = RawTextString(doc, knot.first, knot.limit);
  for (QChar& ch : words)
    if (ch.unicode() < 32 || IsParaMarkChar(ch.unicode())) ch = u' ';
  return CollapsedBlanks(words);
}

// Line breaks that end a cell's text show nothing (a cell written as a lone line break is empty).
void DropTrailingLineBreaks(QString* text) {
  qsizetype size = text->size();
  while (size > 0 && text->at(size - 1) == u'\n') --size;
  text->truncate(size);
}

// Whether the address only runs a script in a browser (or holds its page inline): no place a
// link of the sheet's can lead to.
bool RunsAScript(const QString& target) {
  if (!target.contains(u':')) return false;
  const QString scheme = target.section(u':', 0, 0).trimmed().toLower();
  return scheme == u"javascript" || scheme == u"vbscript" || scheme == u"data";
}

// A link cell of the address, showing its words whatever the address (one the sheet would not
// take as a link when typed too: a page's relative or unusual addresses). An address that only
// runs a script in a browser leaves the words alone, as text. NO where that leaves nothing.
bool MakeLinkCell(CACell& cell, const QString& target, const QString& shown) {
  if (RunsAScript(target)) {
    if (shown.trimmed().isEmpty()) return false;
    cell.setFormula(shown);
    return true;
  }
  if (IsValidUrl(target)) cell.setFormula(target);
  if (cell.valueType() != kValueLink) {
    cell.clearValue();
    cell.setFormulaString(target);
    cell.setValueType(kValueLink);
    cell.setNeedRecalc(false);
  }
  if (!shown.isEmpty()) cell.setDisplayText(shown);
  return true;
}

// A blank beside the knots of a field: a space, a tab, a no-break space or any other of
// Unicode's. Words are what a field shows besides them.
bool IsFieldBlank(char16_t unit) { return unit == u' ' || unit == u'\t' || QChar::isSpace(char32_t(unit)); }

// What a link shows: its first slot's text without the knots it holds (its words), and the
// pictures among them, in order, each told whether words of the link come before it. Where the
// link held a knot (a picture with its words after it), the blanks around the words are not theirs.
struct LinkContent {
  QString words;
  std::vector<std::pair<uint32_t, bool>> pictures;  // picture index, after words of the link
};

LinkContent ContentOfLink(GlimmetDoc* doc, const KnotInfo& link) {
  LinkContent content;
  if (link.kinkCount < 2 || link.kinkCps[1] <= link.kinkCps[0]) return content;
  const uint32_t first = link.kinkCps[0] + 1;
  const QString raw = RawTextString(doc, first, link.kinkCps[1]);
  bool heldKnot = false, wordsSeen = false;
  for (qsizetype i = 0; i < raw.size();) {
    if (!IsKinkChar(raw[i].unicode())) {
      content.words += raw[i] == QChar::LineSeparator ? QChar(u'\n') : raw[i];
      wordsSeen = wordsSeen || !IsFieldBlank(raw[i].unicode());
      ++i;
      continue;
    }
    heldKnot = true;
    KnotInfo inner;
    const uint32_t cp = first + uint32_t(i);
    if (!FetchKnot(doc, cp, &inner, 0) || inner.limit <= cp || inner.first != cp) {
      ++i;
      continue;
    }
    if (inner.type() == kKnotPicture) content.pictures.emplace_back(inner.entry.word, wordsSeen);
    i = qsizetype(std::min<uint32_t>(inner.limit - first, uint32_t(raw.size())));
  }
  if (heldKnot) content.words = content.words.trimmed();
  return content;
}

// A link as a field sees it: its address, its first character, what it shows, whether words of
// the field's own come before it, and whether it leads out of the page (not to a place in it).
struct LinkSeen {
  uint32_t targetFirst = 0, targetLimit = 0;
  uint32_t wordsFirst = 0;  // 0: it shows no character
  LinkContent content;
  bool showsWords = false;
  bool afterWords = false;
  bool outward = false;
};

LinkSeen SeenLinkOf(GlimmetDoc* doc, const KnotInfo& found) {
  LinkSeen link;
  if (found.kinkCount > 2) {
    link.targetFirst = found.kinkCps[1] + 1;
    link.targetLimit = found.kinkCps[2];
  }
  link.content = ContentOfLink(doc, found);
  link.showsWords = !link.content.words.trimmed().isEmpty();
  if (found.kinkCount > 1) {
    link.wordsFirst = found.kinkCps[0] + 1;
    while (link.wordsFirst < found.kinkCps[1] && IsKinkChar(doc->charAt(link.wordsFirst))) ++link.wordsFirst;
    if (link.wordsFirst >= found.kinkCps[1]) link.wordsFirst = 0;
  }
  const QString target =
      link.targetLimit > link.targetFirst ? RawTextString(doc, link.targetFirst, link.targetLimit).trimmed() : QString();
  // A script's link leads nowhere out of the page: it gives its words, as a cell of it would.
  link.outward = !target.isEmpty() && !PageAddressScope::LeadsIntoPage(target) && !RunsAScript(target);
  return link;
}

// The links a knot holds (a table inside a table cell), in their order.
std::vector<KnotInfo> LinksWithin(GlimmetDoc* doc, const KnotInfo& knot) {
  std::vector<KnotInfo> links;
  GMTextStore::Cursor at(doc->text, knot.first + 1);
  for (uint32_t cp = knot.first + 1; cp < knot.limit; ++cp, at.next()) {
    if (!IsKinkChar(at.unit())) continue;
    KnotInfo inner;
    if (!FetchKnot(doc, cp, &inner, 0) || inner.first != cp || inner.limit <= cp) continue;
    if (inner.type() == kKnotLink) links.push_back(inner);
  }
  return links;
}

// One cell a field makes.
struct FieldPiece {
  enum class Kind : uint8_t { Words, Link, Picture, Checkbox };
  Kind kind = Kind::Words;
  uint32_t word = 0;                          // a picture's index among the engine's; a checkbox's state
  uint32_t targetFirst = 0, targetLimit = 0;  // a link's address in the engine text
  uint32_t looksAt = 0;                       // a link's first word, whose looks it takes (0: none)
  bool carriesWords = false;                  // a link showing the field's words, with their looks
  QString shown;                              // the words, or the words a link shows
};

// What a field (a paragraph's run up to a tab outside a table, a line of a table cell) shows: its
// words, each link and each picture a cell of its own, in the order a browser shows them. The
// field's words are one cell: the link's where a link among them leads out of the page (its
// address kept, all the field's words shown: "Spain (qualified)", "Winner: Italy", a sentence
// with a link in it), the first such where there are several, each of the others a cell of its
// own beside them showing its own words; else a text (a footnote's mark, which leads to a place
// in the page, gives its words to it). In a paragraph, the one link that starts its words and
// shows most of them carries them wherever it leads (a heading that is an anchor of the page's
// own). A link showing no words (a linked picture) stands beside them, in a cell of its own.
// The links of a table inside the field (a mailed newsletter laid out in tables), whose words
// join the field's, are its links as well. A picture takes a cell of its own before the words
// where it shows before them, after them where it shows after; a picture a link holds goes right
// after that link's cell. A field of links alone is a cell for each link.
// `main` is the piece that stands in the field's column: the words, else the first link, else the
// first piece.
struct Field {
  bool separator = false;  // a tab at the cursor, which starts the next field
  std::vector<FieldPiece> pieces;
  size_t main = 0;
  uint32_t runFirst = 0;    // where the field starts
  uint32_t wordsFirst = 0;  // where its own words start
  bool looksOfWords = false;  // the words take the looks of the text at wordsFirst, not runFirst
  // The link among `pieces` that carries the field's words and leads out of the page, and what
  // it shows of its own: a cell's line after its first may hand it to the cell's words or put it
  // beside them.
  size_t carrier = SIZE_MAX;
  QString carrierWords;
  bool wordsPiece() const {
    return main < pieces.size() &&
           (pieces[main].kind == FieldPiece::Kind::Words || pieces[main].kind == FieldPiece::Kind::Link);
  }
};

// Reads the field from *cursor to its end (a tab outside a table, else `end`), leaving the cursor
// at the tab (or past it, where the tab is at the cursor: a separator) or at `end`.
Field ReadField(GlimmetDoc* doc, uint32_t end, bool inTable, uint32_t* cursor) {
  Field field;
  field.runFirst = *cursor;
  if (*cursor >= end) return field;
  struct Item {
    bool link = false;
    uint32_t index = 0;  // a picture's index, or the link's among `links`
    int32_t inLink = -1; // a picture a link holds: the link's
  };
  std::vector<Item> items;
  std::vector<LinkSeen> links;
  QString text;
  bool ownText = false;
  int64_t ownCharacters = 0;  // of the field's own words, outside its links
  size_t wordsAt = SIZE_MAX;  // the items shown before the first word
  int knots = 0, others = 0, tables = 0, checkboxes = 0;
  uint32_t checkboxState = 0;
  uint32_t cp = *cursor;
  const uint32_t start = cp;
  while (cp < end) {
    GMTextStore::Cursor at(doc->text, cp);
    bool stopped = false;
    for (; cp < end; ++cp, at.next()) {
      const char16_t unit = at.unit();
      if (unit == u'\t' && !inTable) {
        if (cp == start) {
          *cursor = cp + 1;
          field.separator = true;
          return field;
        }
        *cursor = cp;
        stopped = true;
        break;
      }
      if (IsKinkChar(unit)) {
        // A list holds paragraphs like the body, and the closing kinks of a knot that began
        // before are no object of their own: the text goes on past them.
        const uint32_t entry = doc->knots.indexAtCp(cp);
        if (entry != kGMNone && (doc->knots.at(entry).kink >= kKinkMiddle || doc->knots.at(entry).type == kKnotList))
          continue;
        break;
      }
      // A line break within a paragraph is the cell's own line break.
      text += QChar(inTable && unit == u'\t' ? u' ' : unit == QChar::LineSeparator ? u'\n' : unit);
      if (!IsFieldBlank(unit)) ++ownCharacters;
      if (!IsFieldBlank(unit) && !ownText) {
        ownText = true;
        field.wordsFirst = cp;
        wordsAt = std::min(wordsAt, items.size());
      }
    }
    if (stopped || cp >= end) break;
    // A knot starts at cp.
    KnotInfo found;
    if (!FetchKnot(doc, cp, &found, 0)) found.index = -1;
    const uint32_t next = found.found() && found.limit > cp ? found.limit : cp + 1;
    if (found.found()) {
      ++knots;
      if (found.type() == kKnotPicture) {
        items.push_back({false, found.entry.word, -1});
      } else if (found.type() == kKnotLink) {
        LinkSeen& link = links.emplace_back(SeenLinkOf(doc, found));
        link.afterWords = ownText;
        const int32_t linkIndex = int32_t(links.size() - 1);
        items.push_back({true, uint32_t(linkIndex), -1});
        size_t before = 0;  // the pictures of the link shown before its words
        for (const auto& [picture, afterWords] : link.content.pictures) {
          items.push_back({false, picture, linkIndex});
          before += afterWords ? 0 : 1;
        }
        if (link.showsWords) wordsAt = std::min(wordsAt, items.size() - link.content.pictures.size() + before);
        text += link.content.words;
      } else if (found.type() == kKnotCheckbox) {
        ++checkboxes;
        checkboxState = found.entry.word & 0xFF;
      } else {
        if (found.type() == kKnotTable) {
          ++tables;
          const QString words = KnotWords(doc, found);
          text += QLatin1Char(' ') + words + QLatin1Char(' ');
          if (!words.isEmpty()) wordsAt = std::min(wordsAt, items.size());
          // Its links show their words among the field's, which hold them already.
          for (const KnotInfo& inner : LinksWithin(doc, found)) {
            LinkSeen& link = links.emplace_back(SeenLinkOf(doc, inner));
            link.afterWords = ownText;
            link.content.pictures.clear();
            items.push_back({true, uint32_t(links.size() - 1), -1});
          }
          ownText = ownText || !words.isEmpty();
        } else {
          ++others;
        }
      }
    }
    cp = std::min(next, end);
  }
  if (cp >= end) *cursor = end;

  const auto pictureOf = [](uint32_t index) {
    FieldPiece piece;
    piece.kind = FieldPiece::Kind::Picture;
    piece.word = index;
    return piece;
  };
  const auto linkOf = [&](const LinkSeen& link, const QString& shown) {
    FieldPiece piece;
    piece.kind = FieldPiece::Kind::Link;
    piece.targetFirst = link.targetFirst;
    piece.targetLimit = link.targetLimit;
    piece.looksAt = link.wordsFirst;
    piece.shown = shown;
    return piece;
  };
  bool anyLinkWords = false;
  for (const LinkSeen& link : links) anyLinkWords = anyLinkWords || link.showsWords;

  // Links alone (one, or several that show only pictures): a cell for each.
  if (!links.empty() && !ownText && others == 0 && tables == 0 && (links.size() == 1 || !anyLinkWords)) {
    bool linkPlaced = false;
    for (const Item& item : items) {
      if (!item.link) {
        field.pieces.push_back(pictureOf(item.index));
        continue;
      }
      const LinkSeen& link = links[item.index];
      // The blank between a picture and the link's words is no word of the link's.
      QString shown = link.content.words;
      if (knots > 1 || !link.content.pictures.empty()) shown = shown.trimmed();
      if (!linkPlaced) {
        field.main = field.pieces.size();
        if (link.outward && link.showsWords) {
          field.carrier = field.main;
          field.carrierWords = shown;
        }
      }
      linkPlaced = true;
      field.pieces.push_back(linkOf(link, shown));
    }
    return field;
  }
  // A checkbox alone.
  if (knots == 1 && checkboxes == 1 && !ownText) {
    FieldPiece piece;
    piece.kind = FieldPiece::Kind::Checkbox;
    piece.word = checkboxState;
    field.pieces.push_back(piece);
    return field;
  }
  QString words = knots > 0 ? CollapsedBlanks(text) : text;
  // The field's words, as the first of its links that shows words and leads out of the page (a
  // name and what follows it: "Norway (NOR)", "Winner: Italy"), not as a footnote's mark.
  const auto wordCharacters = [](const QString& shown) {
    return std::count_if(shown.begin(), shown.end(), [](QChar ch) { return !IsFieldBlank(ch.unicode()); });
  };
  size_t carrier = links.size();
  if (others == 0 && !inTable && tables == 0 && links.size() == 1 && links.front().showsWords &&
      !links.front().afterWords && int64_t(wordCharacters(links.front().content.words)) >= ownCharacters) {
    // A paragraph's one link that starts its words and shows most of them.
    carrier = 0;
  } else if (others == 0) {
    for (size_t k = 0; k < links.size() && carrier == links.size(); ++k)
      if (links[k].showsWords && links[k].outward) carrier = k;
  }
  FieldPiece wordsPiece;
  if (carrier < links.size()) {
    wordsPiece = linkOf(links[carrier], words);
    wordsPiece.looksAt = 0;
    wordsPiece.carriesWords = true;
  } else {
    wordsPiece.shown = words;
  }
  // Beside knots, blanks alone (a no-break space between a flag and its name) are no words.
  const bool hasWords = knots > 0 ? wordCharacters(words) > 0 : !words.isEmpty();
  // A link that shows none of the words stands beside them; the words take their own looks.
  field.looksOfWords =
      carrier < links.size() || std::any_of(links.begin(), links.end(), [](const LinkSeen& l) { return !l.showsWords; });
  if (wordsAt == SIZE_MAX) wordsAt = items.size();
  for (size_t k = 0; k <= items.size(); ++k) {
    if (k == wordsAt && hasWords) {
      field.main = field.pieces.size();
      if (carrier < links.size() && links[carrier].outward) {
        field.carrier = field.main;
        field.carrierWords = CollapsedBlanks(links[carrier].content.words);
      }
      field.pieces.push_back(wordsPiece);
    }
    if (k == items.size()) break;
    const Item& item = items[k];
    if (item.link) {
      const LinkSeen& link = links[item.index];
      // A link among the words shows them; one that shows none stands beside them, and so does
      // each that leads out of the page after the one that carries the words, with its own.
      if (!link.showsWords) field.pieces.push_back(linkOf(link, QString()));
      else if (link.outward && item.index != carrier && hasWords)
        field.pieces.push_back(linkOf(link, CollapsedBlanks(link.content.words)));
      continue;
    }
    field.pieces.push_back(pictureOf(item.index));
  }
  return field;
}

// The lines of a table cell after its first paragraph, each after a line break: a cell's
// paragraphs are the lines of one cell text, as a cell of a delimited text holds them.
// `paraLimit` is the first paragraph's limit; the cell goes on while a paragraph ends with a mark
// rather than with the kink that closes the cell. A line that is a picture or a checkbox adds no
// text; one that is a link adds its words. The pictures the lines show and their links go
// `beside` them, a cell each, as they do beside a first line's words: the link that carries a
// line's words showing its own (`carrier`, the first such, may carry the cell's words instead).
struct CellLines {
  QString text;
  std::vector<FieldPiece> beside;
  size_t carrier = SIZE_MAX;
  bool empty() const { return text.isEmpty() && beside.empty(); }
};

CellLines FollowingCellLines(GlimmetDoc* doc, uint32_t paraLimit) {
  CellLines lines;
  const uint32_t textEnd = doc->userLength > 0 ? uint32_t(doc->userLength) : 0;
  uint32_t limit = paraLimit;
  while (limit > 0 && limit < textEnd && IsParaMarkChar(doc->charAt(limit - 1))) {
    DocRange para;
    PropRecord props;
    FetchParaProps(doc, nullptr, limit, &para, &props);
    if (para.first != limit || para.limit <= limit) break;
    uint32_t cursor = para.first;
    lines.text += u'\n';
    // A line's words are the cell's, a link's with them; what stands beside them goes beside
    // the cell's.
    Field field = ReadField(doc, para.limit - 1, true, &cursor);
    const bool words = field.wordsPiece();
    if (words) lines.text += field.pieces[field.main].shown;
    for (size_t k = 0; k < field.pieces.size(); ++k) {
      FieldPiece& piece = field.pieces[k];
      if (k == field.carrier) {
        // Out of the line's words, the link shows its own.
        if (lines.carrier == SIZE_MAX) lines.carrier = lines.beside.size();
        piece.shown = field.carrierWords;
        piece.carriesWords = false;
        piece.looksAt = 0;
        lines.beside.push_back(std::move(piece));
        continue;
      }
      // A line that is a link showing no words (a linked picture) keeps it beside the cell's.
      const bool wordless = piece.kind == FieldPiece::Kind::Link && piece.shown.trimmed().isEmpty();
      if (words && k == field.main && !wordless) continue;
      if (piece.kind == FieldPiece::Kind::Picture || piece.kind == FieldPiece::Kind::Link)
        lines.beside.push_back(std::move(piece));
    }
    limit = para.limit;
  }
  return lines;
}

// A table cell's lines after its first (FollowingCellLines) go with its words: to the end of them,
// or, where the first line shows no words, as them. A picture alone on the first line with words
// on the lines after it (a figure and its caption) stands beside those words.
void ApplyLineWords(Field* field, const QString& cellLines) {
  if (cellLines.isEmpty()) return;
  if (field->wordsPiece()) {
    FieldPiece& main = field->pieces[field->main];
    // A first line that shows no words but a picture or a picture's link leaves no empty line
    // above them, which would hide them in a row of one line.
    const bool noLine = main.shown.isEmpty() && (field->pieces.size() > 1 || main.kind == FieldPiece::Kind::Link);
    main.shown += noLine ? cellLines.sliced(1) : cellLines;
    DropTrailingLineBreaks(&main.shown);
    return;
  }
  FieldPiece words;
  if (field->pieces.empty()) {
    words.shown = cellLines;
  } else if (field->pieces[field->main].kind == FieldPiece::Kind::Picture &&
             std::any_of(cellLines.begin(), cellLines.end(), [](QChar ch) { return ch != u'\n'; })) {
    words.shown = cellLines.sliced(1);
  } else {
    return;
  }
  DropTrailingLineBreaks(&words.shown);
  if (words.shown.isEmpty()) return;
  field->main = field->pieces.size();
  field->pieces.push_back(std::move(words));
}

// The lines' pictures and links follow all the first line shows. Where no link carries the first
// line's words, the first link that carries a later line's carries the cell's (an e-mail's words
// and its "Track your parcel" below them).
void ApplyCellLines(Field* field, const CellLines& lines) {
  ApplyLineWords(field, lines.text);
  size_t promoted = SIZE_MAX;
  if (lines.carrier < lines.beside.size() && field->main < field->pieces.size() &&
      field->pieces[field->main].kind == FieldPiece::Kind::Words) {
    FieldPiece& main = field->pieces[field->main];
    const FieldPiece& link = lines.beside[lines.carrier];
    main.kind = FieldPiece::Kind::Link;
    main.targetFirst = link.targetFirst;
    main.targetLimit = link.targetLimit;
    main.looksAt = 0;
    main.carriesWords = true;
    field->carrier = field->main;
    field->carrierWords = link.shown;
    promoted = lines.carrier;
  }
  field->pieces.reserve(field->pieces.size() + lines.beside.size());
  for (size_t k = 0; k < lines.beside.size(); ++k)
    if (k != promoted) field->pieces.push_back(lines.beside[k]);
}

// The field of a table cell whose first paragraph starts at cellCp, with the lines after it.
Field TableCellField(GlimmetDoc* doc, uint32_t cellCp) {
  DocRange para;
  PropRecord props;
  FetchParaProps(doc, nullptr, cellCp, &para, &props);
  const uint32_t end = para.limit > 0 ? para.limit - 1 : 0;
  uint32_t cursor = std::max(cellCp, para.first);
  Field field = ReadField(doc, end, true, &cursor);
  ApplyCellLines(&field, FollowingCellLines(doc, para.limit));
  return field;
}

// The cell becomes the picture the engine holds at the index; NO where it holds no image there.
bool MakePictureCell(CACell& cell, CADocument& document, GlimmetDoc* doc, uint32_t index) {
  if (index >= doc->pictures.size() || !doc->pictures[index].image) return false;
  const GMPicture& source = doc->pictures[index];
  auto image = std::static_pointer_cast<FLImage>(source.image);
  std::shared_ptr<CAPicture> picture = CAPicture::withImage(image, &document);
  if (!picture) return false;
  if (!source.path.isEmpty()) picture->setImageFormat(ImageFormatFromExtension(QFileInfo(source.path).suffix()));
  cell.setPicture(picture);
  return true;
}

// Whether the engine document holds a picture or a link: only then may a field make more than
// one cell.
bool HoldsPicturesOrLinks(GlimmetDoc* doc) {
  const uint32_t count = doc->knots.count();
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t type = doc->knots.at(k).type;
    if (type == kKnotPicture || type == kKnotLink) return true;
  }
  return false;
}
bool t_fieldsMayWiden = false;

// The sheet column of the main cell of each column of the table being converted, where its cells
// take more columns than one: a table cell's other cells take the columns before and after it,
// as many as the table column's cells need at most, so that none overwrites a neighbour's and
// the words of a column stay in one column of the sheet. Empty: each table column is a column.
const std::vector<int64_t>* t_tableMainColumns = nullptr;

// The tables the last conversion widened so, by their rows (in order).
struct WidenedTable {
  int64_t firstRow = 0, endRow = 0;
  std::vector<int64_t> mainColumns;
};
std::vector<WidenedTable> g_widenedTables;

// Whether the paragraph holds anything but tabs from the cursor to its end: a field that would
// make a cell.
bool HoldsFieldsFrom(GlimmetDoc* doc, uint32_t cursor, uint32_t end) {
  if (cursor >= end) return false;
  GMTextStore::Cursor at(doc->text, cursor);
  for (uint32_t cp = cursor; cp < end; ++cp, at.next())
    if (at.unit() != u'\t') return true;
  return false;
}

// The format a field's cell takes from where it stands: the table cell's background, then the
// paragraph's alignment and background.
CAFormat FieldFormat(Kolor backgroundKolor, const PropRecord& paraProps) {
  CAFormat format;
  if (KolorIsColor(backgroundKolor)) format.setBackgroundKolor(backgroundKolor);
  const int32_t alignment = SheetAlignmentForEngine(paraProps.get<int32_t>(ParaField::alignment));
  if (alignment) format.setAlignment(alignment);
  const Kolor paraBack = paraProps.get<uint32_t>(ParaField::border + BorderField::backColor);
  if (KolorIsColor(paraBack)) format.setBackgroundKolor(paraBack);
  return format;
}

Kolor CellBackgroundAt(GlimmetDoc* doc, uint32_t kinkCp) {
  const uint32_t index = doc->knots.indexAtCp(kinkCp);
  return index == kGMNone ? kNoKolor : doc->knots.at(index).word;
}

}  // namespace

int64_t GlimmetImportColumn(int64_t row, int64_t column) {
  const auto after = std::upper_bound(g_widenedTables.begin(), g_widenedTables.end(), row,
                                      [](int64_t r, const WidenedTable& table) { return r < table.firstRow; });
  if (after == g_widenedTables.begin()) return column;
  const WidenedTable& table = *(after - 1);
  if (row >= table.endRow || column < 0 || column >= int64_t(table.mainColumns.size())) return column;
  return table.mainColumns[size_t(column)];
}

bool CADocument::loadFromGlimmet() {
  GlimmetDoc* doc = g_glimmetDoc;
  if (!doc) return false;
  PropRecord normal;
  const PropRecord* chars = doc->styles.empty() ? nullptr : PropertiesAtIndex(doc, doc->styles[0].second);
  if (chars && chars->kind == kPropChar) normal = *chars;
  else SetDefaultProperties(doc, kPropChar, &normal);
  setFont(FontForCharProps(normal));
  CAFormat& defaults = mutableDefaultFormat();
  if (normal.body[CharField::bold]) defaults.setBold(true);
  if (normal.body[CharField::italic]) defaults.setItalic(true);
  if (normal.get<int32_t>(CharField::underline)) defaults.setUnderline(true);
  if (normal.body[CharField::strike]) defaults.setStrike(true);
  defaults.setTextKolor(normal.get<uint32_t>(CharField::color));
  const Kolor back = normal.get<uint32_t>(CharField::backColor);
  if (KolorIsColor(back)) defaults.setBackgroundKolor(back);

  const ImportFormatsScope formats;
  g_glimmetColumnsCut = false;
  std::vector<WidenedTable>().swap(g_widenedTables);
  t_fieldsMayWiden = HoldsPicturesOrLinks(doc);
  uint32_t cp = FirstVisibleCp(doc);
  const uint32_t end = doc->userLength > 0 ? uint32_t(doc->userLength - 1) : 0;
  GridPoint point{0, 0};
  bool ok = true;
  while (ok && cp < end) {
    // An open or a paste meters what its cells grow the heap by.
    if (!FLReadingMeter::Checkpoint()) {
      ok = false;
      break;
    }
    const uint32_t before = cp;
    // A list's closing kink right before a table is no paragraph of its own: the table is a table.
    if (IsKinkChar(doc->charAt(cp)) && cp + 1 < end) {
      const uint32_t entry = doc->knots.indexAtCp(cp);
      if (entry != kGMNone && doc->knots.at(entry).type == kKnotList && doc->knots.at(entry).kink >= kKinkMiddle &&
          CpIsWithinKnot(doc, cp + 1, kKnotTable, nullptr, false)) {
        ++cp;
        continue;
      }
    }
    if (CpIsWithinKnot(doc, cp, kKnotTable, nullptr, false)) {
      point.x = 0;
      ok = convertTable(&cp, &point);
    } else {
      ok = convertParagraph(&cp, {0, point.y}, false, kNoKolor);
      ++point.y;
    }
    // A damaged structure must not hold the conversion in one place.
    if (cp <= before) cp = before + 1;
  }
  DestroyImportDocument();
  return ok;
}

bool CADocument::convertTable(uint32_t* cp, GridPoint* point) {
  GlimmetDoc* doc = g_glimmetDoc;
  KnotInfo table, row;
  PropRecord props;
  if (!doc || !FetchTable(doc, *cp, &table, &row, &props)) return false;

  // Where each table column's cells go, where some take more than one column (a picture or a link
  // beside its words): read once ahead of the rows.
  std::vector<int64_t> mainColumns;
  if (t_fieldsMayWiden) {
    std::vector<int64_t> lead, trail;
    KnotInfo scan = row;
    for (;;) {
      if (!FLReadingMeter::Checkpoint(scan.kinkCount)) return false;
      const uint32_t cells = scan.kinkCount > 0 ? scan.kinkCount - 1 : 0;
      if (lead.size() < cells) {
        lead.resize(cells, 0);
        trail.resize(cells, 0);
      }
      for (uint32_t i = 0; i < cells; ++i) {
        const Field field = TableCellField(doc, scan.kinkCps[i] + 1);
        if (field.pieces.empty()) continue;
        lead[i] = std::max(lead[i], int64_t(field.main));
        trail[i] = std::max(trail[i], int64_t(field.pieces.size() - field.main - 1));
      }
      if (scan.limit + 1 >= table.limit) break;
      const uint32_t next = scan.limit;
      if (!FetchKnot(doc, next, &scan, kKnotRow) || scan.first != next) break;
    }
    if (std::any_of(lead.begin(), lead.end(), [](int64_t n) { return n > 0; }) ||
        std::any_of(trail.begin(), trail.end(), [](int64_t n) { return n > 0; })) {
      mainColumns.resize(lead.size());
      int64_t x = 0;
      for (size_t i = 0; i < lead.size(); ++i) {
        mainColumns[i] = x + lead[i];
        x += lead[i] + 1 + trail[i];
      }
    }
  }
  const auto sheetColumn = [&](uint32_t column) {
    return column < mainColumns.size() ? mainColumns[column] : int64_t(column);
  };

  const uint32_t start = FirstVisibleCp(doc);
  if (table.first <= start && start < table.limit) {
    setTitleRow(props.body[TableProp::titleRow] != 0);
    const auto floor = [](int64_t padding) { return padding < 12701 ? int64_t(12700) : padding; };
    setCellPadding({floor(std::max(props.get<int64_t>(TableProp::cellLeft), props.get<int64_t>(TableProp::cellRight))),
                    floor(std::max(props.get<int64_t>(TableProp::cellTop), props.get<int64_t>(TableProp::cellBottom)))});
    if (props.body[TableProp::stripes]) {
      setStripeInterval(2);
      setStripeKolor(props.get<uint32_t>(TableProp::stripeColor));
    }
    const uint32_t columns = std::min<uint32_t>(props.get<uint16_t>(TableProp::columns), kMaxColumns);
    for (uint32_t i = 0; i < columns; ++i) {
      const int64_t x = sheetColumn(i);
      if (x > LastGridColumn()) break;
      CAColumn* column = columnImperative(x);
      column->setDigitCount(-1);
      column->setWidth(i < g_glimmetLeadingWidths.size() ? g_glimmetLeadingWidths[i]
                                                         : props.get<int64_t>(TableProp::widths + 8 * i));
    }
  }

  const int64_t firstRow = point->y;
  t_tableMainColumns = mainColumns.empty() ? nullptr : &mainColumns;
  for (;;) {
    if (!FLReadingMeter::Checkpoint(row.kinkCount)) {
      t_tableMainColumns = nullptr;
      return false;
    }
    for (uint32_t i = 0; i + 1 < row.kinkCount; ++i) {
      uint32_t cellCp = row.kinkCps[i] + 1;
      convertParagraph(&cellCp, {int64_t(i), point->y}, true, CellBackgroundAt(doc, row.kinkCps[i + 1]));
    }
    ++point->y;
    if (row.limit + 1 >= table.limit) break;
    const uint32_t next = row.limit;
    if (!FetchKnot(doc, next, &row, kKnotRow) || row.first != next) break;
  }
  t_tableMainColumns = nullptr;
  if (!mainColumns.empty()) g_widenedTables.push_back({firstRow, point->y, std::move(mainColumns)});
  *cp = table.limit;
  return true;
}

bool CADocument::convertParagraph(uint32_t* cp, const GridPoint& point, bool inTable, Kolor backgroundKolor) {
  GlimmetDoc* doc = g_glimmetDoc;
  if (!doc) return false;
  DocRange para;
  PropRecord paraProps;
  FetchParaProps(doc, nullptr, *cp, &para, &paraProps);
  const uint32_t end = para.limit > 0 ? para.limit - 1 : 0;
  uint32_t cursor = std::max(*cp, para.first);
  *cp = std::max(para.limit, *cp + 1);

  GridPoint at = point;
  // A table cell's later paragraphs are lines of its text, even when its first is empty.
  const CellLines cellLines = inTable ? FollowingCellLines(doc, para.limit) : CellLines();
  bool pendingLines = !cellLines.empty();
  while (cursor < end || pendingLines) {
    if (at.x > LastGridColumn()) {
      // Fields past the grid's last column are left out, as the readers of delimited text leave
      // them, and what they would have held is told.
      if (HoldsFieldsFrom(doc, cursor, end)) g_glimmetColumnsCut = true;
      break;
    }
    Field field = ReadField(doc, end, inTable, &cursor);
    if (field.separator) {
      ++at.x;
      continue;
    }
    if (pendingLines) ApplyCellLines(&field, cellLines);
    pendingLines = false;
    // The field's cells take a column each, in the order a browser shows them, from the field's
    // column on; in a table, its main cell in the column the table's layout gives its column.
    int64_t first = at.x;
    if (inTable && t_tableMainColumns && at.x < int64_t(t_tableMainColumns->size()))
      first = (*t_tableMainColumns)[size_t(at.x)] - int64_t(field.main);
    for (size_t k = 0; k < field.pieces.size(); ++k) {
      const FieldPiece& piece = field.pieces[k];
      const int64_t x = first + int64_t(k);
      // Past the grid's last column they are left out and told, as the fields there are.
      if (x > LastGridColumn()) {
        g_glimmetColumnsCut = true;
        continue;
      }
      auto cell = std::make_unique<CACell>(GridPoint{x, at.y}, this);
      bool made = false;
      std::optional<CANumberFormat> shownDate;
      switch (piece.kind) {
        case FieldPiece::Kind::Words: {
          const QString text = WithoutInnerCharacters(piece.shown);
          if (text.isEmpty()) break;
          // In the language of the words' first character, as their looks are.
          uint32_t textFirst = field.looksOfWords ? field.wordsFirst : field.runFirst;
          while (textFirst < end && IsKinkChar(doc->charAt(textFirst))) ++textFirst;
          EnterPageText(*cell, text, PageNumberSyntaxScope::SyntaxAt(textFirst), &shownDate);
          made = true;
          break;
        }
        case FieldPiece::Kind::Link: {
          // The display text fills the first slot (the field gives its words), the address the second.
          const QString target = piece.targetLimit > piece.targetFirst
                                     ? RawTextString(doc, piece.targetFirst, piece.targetLimit)
                                     : QString();
          made = MakeLinkCell(*cell, WithoutInnerCharacters(target), WithoutInnerCharacters(piece.shown));
          break;
        }
        case FieldPiece::Kind::Picture:
          made = MakePictureCell(*cell, *this, doc, piece.word);
          break;
        case FieldPiece::Kind::Checkbox:
          cell->setValueType(kValueCheckbox);
          cell->setChecked(piece.word != 0);
          made = true;
          break;
      }
      if (!made) continue;
      CAFormat format = FieldFormat(backgroundKolor, paraProps);
      if (shownDate) format.setNumberFormat(&*shownDate);
      const bool ownLooks =
          piece.kind == FieldPiece::Kind::Words ||
          (piece.kind == FieldPiece::Kind::Link && k == field.main && (field.looksOfWords || piece.carriesWords));
      if (ownLooks) {
        // The looks are those of the text's first character: the closing kinks of a list or a
        // link before it have looks of their own.
        uint32_t textFirst = field.looksOfWords ? field.wordsFirst : field.runFirst;
        while (textFirst < end && IsKinkChar(doc->charAt(textFirst))) ++textFirst;
        PropRecord chars;
        FetchCharProps(doc, textFirst, nullptr, &chars);
        if (chars.body[CharField::bold]) format.setBold(true);
        if (chars.body[CharField::italic]) format.setItalic(true);
        if (chars.get<int32_t>(CharField::underline)) format.setUnderline(true);
        if (chars.body[CharField::strike]) format.setStrike(true);
        const Kolor color = chars.get<uint32_t>(CharField::color);
        if (KolorIsColor(color) && color != g_blackKolor) format.setTextKolor(color);
      } else if (piece.kind == FieldPiece::Kind::Link && piece.looksAt != 0 && piece.looksAt < end) {
        // A link's words in bold or italics ("<a><b>KW Alfa</b></a>"): the underline and colour
        // that mark any link are no looks of the cell's.
        PropRecord chars;
        FetchCharProps(doc, piece.looksAt, nullptr, &chars);
        if (chars.body[CharField::bold]) format.setBold(true);
        if (chars.body[CharField::italic]) format.setItalic(true);
      }
      if (format.mask() != 0) {
        if (t_importFormats) t_importFormats->giveCell(*cell, format, *this);
        else cell->setFormat(std::move(format));
      }
      storeCell(std::move(cell));
    }
    if (inTable) break;
    if (!field.pieces.empty()) at.x += int64_t(field.pieces.size()) - 1;
    // Past the tab that ends the field.
    if (cursor < end && doc->charAt(cursor) == u'\t') ++cursor;
    ++at.x;
  }
  return true;
}
