// HTML into the sheet: the HTML reader makes rich text, the text engine takes it in, and the
// engine document becomes cells. Relative references (pictures) are found next to the file.
//
// A page that is one long table of plain text cells (what programs that write pages for tables
// write) goes that way with its first row alone, which gives the sheet its font, its look and its
// columns; the other rows' texts are read here and become cells as the first row's did. The
// rich text of a long table costs far more than its cells. The sheet's reader is told the page
// by the HTML reader as its tree rules read it, in the one reading that builds the rich text, so
// that both read one tree; once the first row is read, the reader leaves the other rows to it. A long table that is the one cell of
// another (a page laid out in a table) becomes that one cell's words: the first row goes through
// the rich text and the other rows' words are joined to it there. The rows after the first may
// be written in the common ways (comments, entities, unclosed cells, attributes that change
// nothing of a cell, a cell's "align", LibreOffice's values behind its numbers and its hidden
// comments), and as this program writes them (a style sheet that frames the table, each cell's
// text in a paragraph with its alignment and looks, one that keeps its white space where a text's
// blanks would fold, a cell's background, a lone line break for a cell that shows nothing);
// whatever the rich text would make differently of them leaves the page to it.
//
// A page of one paragraph whose lines a style sheet keeps (a log, a listing) goes the same way
// with its first line alone: each line would be a paragraph of the rich text, which costs far
// more than its row of the sheet. The lines after the first are read here, held as the text
// once, and become cells as the conversion of the rich text makes a paragraph's.
//
// Either way costs many times the page, the rich text tens of times: a page that would take more
// than an open may is refused, with what it would take, before it is read.
#include "calculator/fileformats/caGlimmetImport.h"

#include "calculator/fileformats/caHtml.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caImportFormats.h"
#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/CARow.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flQtHeld.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flStringExtensions.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmHtmlReader.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"
#include "platform/TextEncodings.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QHash>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr const char* kHtmlUnreadable = "I can't interpret the HTML file.";

constexpr const char* kHtmlCharacterSetFailure =
    "The page's text could not be read: its character set, %1, gave fewer characters than the page holds.";

// Qt's decoders of the character sets it does not read itself give nothing, and no error, for
// more than about half a gigabyte at once: a page is decoded a piece at a time.
qsizetype g_htmlDecodingPiece = qsizetype(16) << 20;
int64_t g_pageReadingBudget = kReaderMemoryBudget;

// The characters `bytes` bytes in the character set hold at the least, as far as the set tells
// (a single-byte set one a byte, UTF-16 and UTF-32 one a unit less a byte-order mark); 0 where
// it does not tell (a set of characters of several lengths, UTF-8 among them).
int64_t LeastCharactersOfCharset(QByteArrayView name, int64_t bytes) {
  if (name.startsWith("UTF-16")) return std::max<int64_t>(bytes / 2 - 1, 0);
  if (name.startsWith("UTF-32")) return std::max<int64_t>(bytes / 4 - 1, 0);
  if (!name.startsWith("UTF-") && IsSingleByteCharacterSet(name)) return bytes;
  return 0;
}

// The character set a page's bytes are read in, as browsers read it: a byte-order mark decides;
// else the set the page declares, where Latin-1 and ASCII stand for windows-1252 (which pages
// so labelled are written in), and a UTF-16 or UTF-32 one, which a page that declares it in
// bytes a browser can read cannot be in, for UTF-8; else UTF-8. Read as UTF-8, a page whose bytes
// are no valid UTF-8 and carry no mark is windows-1252 (HtmlTextOfBytes tells).
struct PageCharacterSet {
  QByteArray name;
  bool marked = false;  // by a byte-order mark
};

PageCharacterSet CharacterSetOfPage(QByteArrayView bytes) {
  PageCharacterSet set;
  const QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
  set.name = decoder.isValid() ? QByteArray(decoder.name()) : QByteArray("UTF-8");
  set.marked = bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFE\xFF") || bytes.startsWith("\xFF\xFE") ||
               bytes.startsWith(QByteArrayView("\0\0\xFE\xFF", 4));
  if (set.marked) return set;
  if (set.name == "ISO-8859-1" || set.name == "US-ASCII") set.name = "windows-1252";
  else if (set.name.startsWith("UTF-16") || set.name.startsWith("UTF-32")) set.name = "UTF-8";
  return set;
}

// The page's text in its character set (CharacterSetOfPage). False, with the reason, where the
// page's character set gives less text than its bytes hold.
bool HtmlTextOfBytes(const QByteArray& bytes, QString* text, QString* failure) {
  text->clear();
  const PageCharacterSet set = CharacterSetOfPage(bytes);
  QByteArrayView name = set.name;
  // Told valid before it is decoded: a page of another set is never held as failed UTF-8 as well.
  if (name == "UTF-8" && (set.marked || QByteArrayView(bytes).isValidUtf8())) {
    *text = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless).decode(bytes);
    return true;
  }
  if (name == "UTF-8") name = "windows-1252";
  QStringDecoder decoder(name.toByteArray().constData());
  if (!decoder.isValid() && name == "windows-1252") {
    // Qt's converters hold windows-1252 where Qt is built with ICU; ICU's own converter otherwise.
    if (std::optional<QString> decoded = DecodeText(bytes, kFLEncodingWindowsLatin1, true)) {
      *text = std::move(*decoded);
      return true;
    }
    *text = QString::fromLatin1(bytes);
    return true;
  }
  const int64_t least = LeastCharactersOfCharset(name, bytes.size());
  if (least > 0) text->reserve(qsizetype(least));
  for (qsizetype at = 0; at < bytes.size(); at += g_htmlDecodingPiece)
    text->append(decoder.decode(QByteArrayView(bytes).sliced(at, std::min(g_htmlDecodingPiece, bytes.size() - at))));
  if (text->size() >= least) return true;
  text->clear();
  *failure = QLatin1String(kHtmlCharacterSetFailure).arg(QString::fromLatin1(name));
  return false;
}

QString HtmlTextOfBytes(const QByteArray& bytes) {
  QString text, failure;
  HtmlTextOfBytes(bytes, &text, &failure);
  return text;
}

}  // namespace

namespace {

// Whether a language tag names a region: a part after the language of two letters or three
// digits ("en-GB", "es-419", "zh-Hant-TW").
bool TagNamesRegion(const QString& tag) {
  QString dashed = tag;
  dashed.replace(u'_', u'-');
  const QStringList parts = dashed.split(u'-', Qt::SkipEmptyParts);
  for (qsizetype k = 1; k < parts.size(); ++k) {
    const QString& part = parts[k];
    if (part.size() == 2 && part[0].isLetter() && part[1].isLetter()) return true;
    if (part.size() == 3 && std::all_of(part.begin(), part.end(), [](QChar c) { return c.isDigit(); })) return true;
  }
  return false;
}

// Whether most of the regions that write the language, and do not put the year first, write
// the day before the month as the region the language stands for does (`dayFirst`) or not.
bool MostRegionsWriteDatesAs(QLocale::Language language, bool dayFirst) {
  static QHash<int, bool> known;
  const int key = int(language) * 2 + (dayFirst ? 1 : 0);
  if (const auto it = known.constFind(key); it != known.cend()) return *it;
  int64_t same = 0, other = 0;
  for (const QLocale& region : QLocale::matchingLocales(language, QLocale::AnyScript, QLocale::AnyTerritory)) {
    if (LocaleWritesYearFirst(region)) continue;
    ++(LocaleWritesDayFirst(region) == dayFirst ? same : other);
  }
  const bool most = same > other;
  known.insert(key, most);
  return most;
}

// Dates as the user types them, in the words of the language where it has any.
DateTextOrder UserDateOrder(std::shared_ptr<const DateWords> words, bool dotted) {
  return DateTextOrder{DayFirstDateFormat(), dotted || DottedDateFormat(), false, std::move(words)};
}

// How the language writes its numbers and dates, its dates in the order of its region; `regionless`:
// the tag names no region, and the regions that speak the language do not mostly write their
// dates as the one it stands for does.
PageNumberSyntax LanguageSyntax(const QString& language, bool* regionless) {
  *regionless = false;
  PageNumberSyntax syntax;
  // A language no one knows is read as the web commonly writes: its dates month first.
  syntax.dates = DateTextOrder{};
  // A tag is a few letters, digits and dashes: anything else names no language.
  const QString tag = language.trimmed();
  if (tag.isEmpty() || tag.size() > 35 ||
      !std::all_of(tag.begin(), tag.end(), [](QChar ch) { return (ch.isLetterOrNumber() && ch.unicode() < 0x80) || ch == u'-' || ch == u'_'; }))
    return syntax;
  const QLocale locale(tag);
  if (locale.language() == QLocale::C) return syntax;
  const QString point = locale.decimalPoint(), group = locale.groupSeparator();
  if (point.size() != 1) return syntax;
  syntax.point = point[0];
  if (group.size() == 1 && group[0] != syntax.point) syntax.group = group[0];
  else syntax.group = syntax.point == u',' ? u'.' : u',';
  // A language whose own decimal sign is neither (Arabic's, Persian's) shares no mark with the
  // web's syntax, which its pages write Latin digits in too.
  syntax.webToo = syntax.point != u'.' && syntax.point != u',';
  syntax.currency = LocaleCurrencySymbol(locale);
  syntax.dates = DateTextOrder{LocaleWritesDayFirst(locale), LocaleWritesDatesWithDots(locale),
                               LocaleWritesYearFirst(locale), std::make_shared<const DateWords>(DateWordsOfLocale(locale))};
  // Thai texts count their years from 543 BC.
  if (locale.language() == QLocale::Thai) syntax.eraYears = 543;
  *regionless = !TagNamesRegion(tag) && !syntax.dates->yearFirst &&
                !MostRegionsWriteDatesAs(locale.language(), syntax.dates->dayFirst);
  return syntax;
}

}  // namespace

PageNumberSyntax PageNumberSyntaxOfLanguage(const QString& language) {
  bool regionless = false;
  PageNumberSyntax syntax = LanguageSyntax(language, &regionless);
  // Its dates tell no order where its tag names no region its language's regions agree on.
  if (regionless) syntax.dates.reset();
  return syntax;
}

PageNumberSyntax DeclaredLanguageSyntax(const QString& language) {
  bool regionless = false;
  PageNumberSyntax syntax = LanguageSyntax(language, &regionless);
  const QString tag = language.trimmed();
  const bool known = !tag.isEmpty() && QLocale(tag).language() != QLocale::C && syntax.dates && syntax.dates->words;
  if (!known) syntax.dates = UserDateOrder(nullptr, false);
  else if (regionless) syntax.dates = UserDateOrder(syntax.dates->words, syntax.dates->dotted);
  return syntax;
}

namespace {

bool IsBlankNumberMark(QChar ch) {
  return ch == u' ' || ch == QChar(0x00A0) || ch == QChar(0x202F) || ch == QChar(0x2009);
}
bool IsApostropheNumberMark(QChar ch) { return ch == u'\'' || ch == QChar(0x2019); }
bool IsNumberMark(QChar ch) {
  return ch == u'.' || ch == u',' || IsBlankNumberMark(ch) || IsApostropheNumberMark(ch);
}
// The marks that group alike: every blank as a space, every apostrophe as one.
QChar MarkKind(QChar ch) {
  if (IsBlankNumberMark(ch)) return u' ';
  if (IsApostropheNumberMark(ch)) return u'\'';
  return ch;
}

// The decimal sign, and the group mark beside it (null where none), that only one syntax reads
// the text with, where it is a number of the kinds that show one (PageSyntaxEvidence).
std::optional<std::pair<QChar, QChar>> MarksShownBy(QStringView text) {
  text = text.trimmed();
  if (text.size() < 3 || text.size() > 40) return std::nullopt;
  qsizetype first = -1, last = -1;
  for (qsizetype k = 0; k < text.size(); ++k) {
    if (text[k] >= u'0' && text[k] <= u'9') {
      if (first < 0) first = k;
      last = k;
    }
  }
  if (first < 0) return std::nullopt;
  // Around the digits only signs, blanks, a percent sign and currency symbols.
  bool signed_ = false;
  for (qsizetype k = 0; k < text.size(); ++k) {
    if (k == first) k = last;
    if (k >= first && k <= last) continue;
    const QChar ch = text[k];
    if (ch == u'%' || ch == QChar(0x2030) || ch.category() == QChar::Symbol_Currency) signed_ = true;
    else if (!(ch == u'+' || ch == u'-' || ch == QChar(0x2212) || ch == u'(' || ch == u')' || ch.isSpace()))
      return std::nullopt;
  }
  // The digits in runs, a single mark between two.
  std::vector<qsizetype> runs;
  std::vector<QChar> marks;
  qsizetype run = 0;
  for (qsizetype k = first; k <= last; ++k) {
    const QChar ch = text[k];
    if (ch >= u'0' && ch <= u'9') {
      ++run;
      continue;
    }
    if (!IsNumberMark(ch) || run == 0) return std::nullopt;
    runs.push_back(run);
    marks.push_back(MarkKind(ch));
    run = 0;
  }
  runs.push_back(run);
  if (marks.empty()) return std::nullopt;
  const auto groupedFrom = [&runs](size_t from, size_t to) {
    if (runs[0] > 3) return false;
    for (size_t k = from; k < to; ++k)
      if (runs[k] != 3) return false;
    return true;
  };
  const QChar lastMark = marks.back();
  const bool oneKind = std::all_of(marks.begin(), marks.end(), [&](QChar m) { return m == lastMark; });
  if (!oneKind) {
    // Both marks: the last one is the decimal sign, once, the other groups the digits before it.
    const QChar group = marks.front();
    if (lastMark != u'.' && lastMark != u',') return std::nullopt;
    for (size_t k = 0; k + 1 < marks.size(); ++k)
      if (marks[k] != group) return std::nullopt;
    if (!groupedFrom(1, runs.size() - 1)) return std::nullopt;
    return std::pair{lastMark, group};
  }
  if (marks.size() >= 2) {
    // One mark repeated between groups of three: a group mark, the other the decimal sign.
    if (lastMark != u'.' && lastMark != u',') return std::nullopt;
    if (!groupedFrom(1, runs.size())) return std::nullopt;
    return std::pair{lastMark == u'.' ? QChar(u',') : QChar(u'.'), lastMark};
  }
  // One mark once, beside a percent or currency sign, with other than three digits after it.
  if (!signed_ || (lastMark != u'.' && lastMark != u',') || runs.back() == 3) return std::nullopt;
  return std::pair{lastMark, QChar()};
}

// The order a date of digits shows (day first: true), where one of its first two fields alone
// can be a month; `dotted`: it is written with dots.
std::optional<bool> OrderShownBy(QStringView text, bool* dotted) {
  text = text.trimmed();
  if (text.size() < 6 || text.size() > 10) return std::nullopt;
  qsizetype at = 0;
  while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') ++at;
  if (at == 0 || at >= text.size()) return std::nullopt;
  const QChar separator = text[at];
  if (separator != u'/' && separator != u'.' && separator != u'-') return std::nullopt;
  const QList<QStringView> parts = text.split(separator);
  if (parts.size() != 3) return std::nullopt;
  for (const QStringView part : parts)
    if (part.isEmpty() || !std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
      return std::nullopt;
  if (parts[0].size() > 2 || parts[1].size() > 2 || (parts[2].size() != 4 && (parts[2].size() != 2 || separator == u'-')))
    return std::nullopt;
  const int a = parts[0].toInt(), b = parts[1].toInt();
  *dotted = separator == u'.';
  if (a > 12 && a <= 31 && b >= 1 && b <= 12) return true;
  if (b > 12 && b <= 31 && a >= 1 && a <= 12) return false;
  return std::nullopt;
}

}  // namespace

void PageSyntaxEvidence::see(QStringView text) {
  // A number or a date is a few characters with a digit and a mark among them: most texts of a
  // page are told apart by a glance.
  if (text.size() < 3 || text.size() > 40) return;
  if (const std::optional<std::pair<QChar, QChar>> shown = MarksShownBy(text)) {
    const size_t k = shown->first == u'.' ? 0 : 1;
    ++points_[k];
    if (!shown->second.isNull()) groups_[k] = shown->second;
    return;
  }
  bool dotted = false;
  if (const std::optional<bool> order = OrderShownBy(text, &dotted)) {
    ++(*order ? dayFirst_ : monthFirst_);
    dotted_ = dotted_ || (dotted && *order);
  }
}

std::optional<std::pair<QChar, QChar>> PageSyntaxEvidence::marks() const {
  if (points_[0] == points_[1]) return std::nullopt;
  const size_t k = points_[0] > points_[1] ? 0 : 1;
  return std::pair{k == 0 ? QChar(u'.') : QChar(u','), groups_[k]};
}

std::optional<bool> PageSyntaxEvidence::dayFirst() const {
  if ((dayFirst_ > 0) == (monthFirst_ > 0)) return std::nullopt;
  return dayFirst_ > 0;
}

std::optional<PageNumberSyntax> ChoosePageSyntax(const PageSyntaxEvidence& shown, const QString& declared,
                                                 std::optional<QChar> storedPoint) {
  std::optional<PageNumberSyntax> syntax;
  const CANumberLocale& user = NumberTextLocale();
  const PageNumberSyntax users{user.decimalSeparatorChar, user.groupSeparatorChar, user.currencySymbol};
  if (!declared.trimmed().isEmpty()) {
    syntax = DeclaredLanguageSyntax(declared);
  } else if (storedPoint) {
    // LibreOffice's values tell the syntax its page shows them in; its dates are the user's.
    syntax = *storedPoint == u',' ? PageNumberSyntax{u',', u'.'} : PageNumberSyntax();
  } else if (const PageNumberSyntax own = PageNumberSyntaxOfLanguage(QLocale().bcp47Name()); own.eraYears != 0) {
    // A user whose language counts years in another era reads an undeclared page's dates in it.
    syntax = PageNumberSyntax{users.point, users.group, users.currency};
    syntax->dates = UserDateOrder(own.dates ? own.dates->words : nullptr, false);
    syntax->eraYears = own.eraYears;
  }
  if (const std::optional<std::pair<QChar, QChar>> marks = shown.marks()) {
    const PageNumberSyntax& reading = syntax ? *syntax : users;
    const bool otherGroup =
        !marks->second.isNull() && !SameNumberSyntax(PageNumberSyntax{reading.point, marks->second}, reading);
    if (marks->first != reading.point || otherGroup) {
      if (!syntax) syntax = users;
      syntax->point = marks->first;
      syntax->group = !marks->second.isNull() ? marks->second : marks->first == u'.' ? QChar(u',') : QChar(u'.');
      syntax->webToo = false;
    }
  }
  if (const std::optional<bool> dayFirst = shown.dayFirst()) {
    if (!syntax) syntax = users;
    if (!syntax->dates) syntax->dates = UserDateOrder(nullptr, false);
    syntax->dates->dayFirst = *dayFirst;
    syntax->dates->dotted = syntax->dates->dotted || shown.dottedDates();
  }
  return syntax;
}

bool HtmlPageIsReadAsUtf8(QByteArrayView start) {
  const PageCharacterSet set = CharacterSetOfPage(start);
  return set.name == "UTF-8" && !set.marked;
}

namespace {

bool g_plainTableReading = true;
uint64_t g_plainTablesRead = 0;
uint64_t g_pagesRead = 0;
uint64_t g_pagesGivenToRichText = 0;
uint64_t g_keptLinesRead = 0;

// A table read here needs at least this many rows: below it the rich text costs little.
constexpr size_t kPlainTableRows = 64;
// Rows of a title and headers above the first row, which the rich text reads with it.
constexpr size_t kMostHeadRows = 4;

// The look a plain row's cell and its paragraph give it, as the conversion of the rich text
// makes it the cell's format: alignment (0: none), character looks, a text colour other than
// black and a background.
struct PlainLook {
  int32_t alignment = 0;
  bool bold = false, italic = false, underline = false, strike = false;
  Kolor color = kNoKolor, background = kNoKolor;
  bool keepBlanks = false;  // the paragraph keeps its white space (no look of the cell's)

  CAFormat format() const {
    CAFormat format;
    if (KolorIsColor(background)) format.setBackgroundKolor(background);
    if (alignment) format.setAlignment(alignment);
    if (bold) format.setBold(true);
    if (italic) format.setItalic(true);
    if (underline) format.setUnderline(true);
    if (strike) format.setStrike(true);
    if (KolorIsColor(color) && color != g_blackKolor) format.setTextKolor(color);
    return format;
  }
};

// A cell of a plain row: its text and its look.
struct PlainCell {
  QString text;
  PlainLook look;
  QString value;  // LibreOffice's value behind the text ("sdval"), in the C syntax
  QString shortForm;  // the value the sheet's own pages tell beside the text ("abbr")
};

// The page's table as its first row and the texts of the rows after it.
struct PlainTable {
  std::vector<QString> firstRow;
  std::vector<QString> firstRowValues;
  size_t headRows = 0;  // the rows before the first, which the rich text reads with it
  std::vector<std::vector<PlainCell>> rows;  // the rows after the first
  size_t rowCount = 0;  // the rows after the first, also when they are not kept
  QChar valuePoint = u'.';  // the decimal sign LibreOffice wrote the values in (ValuesInCSyntax)
  bool valuePointSeen = false;  // told by a value, not taken for want of one
  bool nested = false;  // the table is the one cell of another table's one row
};

bool IsHtmlSpace(QChar ch) {
  const char16_t u = ch.unicode();
  return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
}

// A character the text engine keeps as it is in a cell: no control, format, private or
// unassigned character, no separator but the space, no half of a pair, and not the stand-in for
// a picture, which the rich text takes for its own.
bool IsPlainCellCharacter(char32_t u) {
  if (u == U' ' || u == 0xA0) return true;
  if (u < 0x21 || (u >= 0x7F && u < 0xA0) || u > 0xFFFF || u == QChar::ObjectReplacementCharacter) return false;
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

bool IsAsciiDigit(QChar ch, bool hex) {
  const char16_t u = ch.unicode();
  return (u >= u'0' && u <= u'9') || (hex && ((u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')));
}

bool IsBlank(QStringView text) { return std::all_of(text.begin(), text.end(), IsHtmlSpace); }

// An attribute as the sheet's reader takes it: its name in lower case, its value with its
// entities decoded, as the reader of the page decodes them.
struct PageAttribute {
  QString name, value;
};
using PageAttributes = std::vector<PageAttribute>;

// What the HTML reader tells of the page, kept until a row (or the table's start, up to its first
// row) is whole, to be read as one: an element's start ("td") or end ("/td"), a text (entities
// decoded), the text of an element that holds text alone (LibreOffice's comment of a cell), or a
// comment.
struct PageToken {
  enum class Kind : uint8_t { Start, End, Text, Raw, Comment };
  Kind kind = Kind::Text;
  unsigned flags = 0;  // of a text: what its entities were (GMHtmlListener::TextFlag)
  QString name;        // an element's name, with "/" for its end; a text's text
  PageAttributes attributes;
};

// Reads kept tokens as the page's markup: elements by name, with or without attributes, and
// texts. Comments are nothing to it, as they are nothing to the HTML reader. It notes whether a
// reading came to the end of what is kept (what follows is not told yet).
class TokenScanner {
 public:
  // The first `count` of the tokens.
  TokenScanner(const std::vector<PageToken>& tokens, size_t count) : tokens_(tokens), count_(count) {}

  size_t position() const { return at_; }
  void moveTo(size_t position) { at_ = position; }
  bool atEnd() {
    if (at_ < count_) return false;
    hitEnd_ = true;
    return true;
  }
  bool hitEnd() const { return hitEnd_; }
  void skipSpace() {
    while (!atEnd()) {
      const PageToken& token = tokens_[at_];
      if (token.kind != PageToken::Kind::Comment && (token.kind != PageToken::Kind::Text || !IsBlank(token.name)))
        return;
      ++at_;
    }
  }
  // The element that starts ("td") or ends ("/td") here, read; empty, and nothing read, for
  // anything else.
  QStringView readTag(const PageAttributes** attributes) {
    static const PageAttributes kNone;
    if (atEnd()) return {};
    const PageToken& token = tokens_[at_];
    if (token.kind != PageToken::Kind::Start && token.kind != PageToken::Kind::End) return {};
    *attributes = &token.attributes;
    ++at_;
    return token.name;
  }
  // The text up to the next element (or the end), comments left out; `joined` holds it when
  // there were several. `flags`: its entities'; `commented`: a comment stood in it.
  QStringView readText(QString* joined, unsigned* flags = nullptr, bool* commented = nullptr) {
    QStringView text;
    int pieces = 0;
    while (!atEnd()) {
      const PageToken& token = tokens_[at_];
      if (token.kind == PageToken::Kind::Comment) {
        if (commented) *commented = true;
      } else if (token.kind == PageToken::Kind::Text) {
        if (flags) *flags |= token.flags;
        if (pieces == 1) *joined = text.toString();
        if (pieces >= 1) *joined += token.name;
        else text = token.name;
        ++pieces;
      } else {
        break;
      }
      ++at_;
    }
    return pieces > 1 ? QStringView(*joined) : text;
  }
  // The text of an element that holds text alone, read; false, and nothing read, where none
  // stands here.
  bool readRaw() {
    if (atEnd() || tokens_[at_].kind != PageToken::Kind::Raw) return false;
    ++at_;
    return true;
  }

 private:
  const std::vector<PageToken>& tokens_;
  const size_t count_;
  size_t at_ = 0;
  bool hitEnd_ = false;
};

// The text a table cell's text shows (its entities decoded, `flags` what they were): spaces
// folded as the HTML reader folds them; with `keepBlanks` (a paragraph that keeps its white
// space, as this program writes a cell whose blanks would fold), each space as it is. False for
// anything else (an "&" the reader keeps as written, an entity for a blank, a character the rich
// text might change, a line that a paragraph keeping its white space would make its own), which
// leaves the page to the rich text.
bool PlainCellText(QStringView decoded, unsigned flags, QString* text, bool keepBlanks = false) {
  text->clear();
  if ((flags & GMHtmlListener::KeptAmpersand) || (flags & GMHtmlListener::BlankByEntity) ||
      (!keepBlanks && (flags & GMHtmlListener::SpaceByEntity)))
    return false;
  text->reserve(decoded.size());
  bool space = false;
  for (const QChar ch : decoded) {
    // A tab the sheet's cell shows as a space, as the rich text's conversion makes it.
    if (keepBlanks && (ch == u' ' || ch == u'\t')) {
      *text += u' ';
      continue;
    }
    if (IsHtmlSpace(ch)) {
      if (keepBlanks) return false;
      space = true;
      continue;
    }
    if (!IsPlainCellCharacter(ch.unicode())) return false;
    if (space && !text->isEmpty()) *text += u' ';
    space = false;
    *text += ch;
  }
  return true;
}

// Whether every attribute of an element is one of the names given (lower case).
bool AttributesAmong(const PageAttributes& attributes, std::initializer_list<QStringView> names) {
  return std::all_of(attributes.begin(), attributes.end(), [names](const PageAttribute& attribute) {
    return std::find(names.begin(), names.end(), QStringView(attribute.name)) != names.end();
  });
}

// Attributes of the rows after the first that change nothing the rich text makes of a cell
// (without a style sheet a class or an id matches nothing). A language is no such attribute: the
// cell's numbers and dates are read in it.
bool IsInertAttributes(const PageAttributes& attributes) {
  return AttributesAmong(attributes, {u"class", u"id", u"title", u"scope", u"headers", u"abbr"});
}

// An opaque colour as a page writes it, "rgb(r,g,b)" or "#rrggbb" (lower case, without spaces).
bool KolorOfCss(const QString& value, Kolor* kolor) {
  int channels[3] = {0, 0, 0};
  if (value.startsWith(u"rgb(") && value.endsWith(u')')) {
    const QList<QStringView> parts = QStringView(value).sliced(4, value.size() - 5).split(u',');
    if (parts.size() != 3) return false;
    for (int i = 0; i < 3; ++i) {
      bool ok = false;
      channels[i] = parts[i].toInt(&ok);
      if (!ok || channels[i] < 0 || channels[i] > 255 ||
          !std::all_of(parts[i].begin(), parts[i].end(), [](QChar c) { return IsAsciiDigit(c, false); }))
        return false;
    }
  } else if (value.size() == 7 && value.front() == u'#') {
    for (int i = 0; i < 3; ++i) {
      bool ok = false;
      channels[i] = QStringView(value).sliced(1 + 2 * i, 2).toInt(&ok, 16);
      if (!ok || !IsAsciiDigit(value[1 + 2 * i], true) || !IsAsciiDigit(value[2 + 2 * i], true)) return false;
    }
  } else {
    return false;
  }
  *kolor = (Kolor(100) << 24) | (Kolor(channels[2]) << 16) | (Kolor(channels[1]) << 8) | Kolor(channels[0]);
  return true;
}

// The alignment words of the sheet's cells (left: none, as the rich text's conversion makes it).
bool AlignmentOfWord(QStringView word, int32_t* alignment) {
  if (word.compare(u"center", Qt::CaseInsensitive) == 0) *alignment = kAlignmentCenter;
  else if (word.compare(u"right", Qt::CaseInsensitive) == 0) *alignment = kAlignmentRight;
  else if (word.compare(u"left", Qt::CaseInsensitive) == 0) *alignment = 0;
  else return false;
  return true;
}

// The first row goes through the rich text, its look and widths with it; only what would shift
// or reshape the rows after it (spans) is no plain row.
constexpr std::initializer_list<QStringView> kFirstRowAttributes = {
    u"class", u"id",    u"title",   u"lang",  u"scope", u"headers", u"abbr",  u"align",
    u"valign", u"width", u"height", u"bgcolor", u"style", u"nowrap",  u"sdval", u"sdnum"};

bool IsFirstRowAttributes(const PageAttributes& attributes) { return AttributesAmong(attributes, kFirstRowAttributes); }

bool IsTableAttributeKept(const PageAttributes& attributes) {
  // Attributes that shape the table alone, which its first row passes on; any other (a style,
  // a colour) might reach the cells.
  return AttributesAmong(attributes,
                         {u"border", u"cellspacing", u"cellpadding", u"width", u"class", u"id", u"summary", u"title"});
}

// The declarations of a style attribute or rule, "name: value; ...", each given in lower case
// to `take`, which answers whether it is one that changes nothing the sheet would not make.
template <typename Take>
bool DeclarationsAmong(QStringView declarations, Take take) {
  for (QStringView declaration : declarations.split(u';')) {
    declaration = declaration.trimmed();
    if (declaration.isEmpty()) continue;
    const qsizetype colon = declaration.indexOf(u':');
    if (colon <= 0) return false;
    if (!take(declaration.first(colon).trimmed().toString().toLower(),
              declaration.sliced(colon + 1).trimmed().toString().toLower()))
      return false;
  }
  return true;
}

// A colour as written in a declaration, for comparing: lower case, without spaces.
QString ColourKey(const QString& value) {
  QString key = value;
  key.remove(u' ');
  return key;
}

// The declarations of an element's attributes when they are a style attribute alone (none when
// there are no attributes); false for any other attribute.
bool StyleOfAttributes(const PageAttributes& attributes, QStringView* style) {
  *style = QStringView();
  if (attributes.empty()) return true;
  if (attributes.size() != 1 || attributes.front().name != u"style") return false;
  *style = attributes.front().value;
  return true;
}

// The attributes of a cell after the first row: inert ones, an "align" the rich text makes the
// alignment of the cell's paragraphs (what pages written by spreadsheets put on every cell), and
// a style that gives the cell a background of its own (what this program writes) or the page's.
// What LibreOffice Calc and Gnumeric put on every cell changes nothing the sheet's cells take:
// its height, vertical alignment, font and size (the sheet's font is its own), the value and
// number format behind the text LibreOffice shows.
bool IsPlainCellAttributes(const PageAttributes& attributes, const QString& pageBackground, PlainLook* look) {
  *look = PlainLook();
  return std::all_of(attributes.begin(), attributes.end(), [&](const PageAttribute& attribute) {
    const QString& name = attribute.name;
    if (name == u"align") return AlignmentOfWord(QStringView(attribute.value).trimmed(), &look->alignment);
    if (name == u"style") {
      return DeclarationsAmong(attribute.value, [&](const QString& declaration, const QString& v) {
        if (declaration == u"font-size" || declaration == u"font-family") return true;
        if (declaration != u"background-color") return false;
        const QString colour = ColourKey(v);
        return colour == pageBackground || KolorOfCss(colour, &look->background);
      });
    }
    if (name == u"height" || name == u"valign" || name == u"sdval" || name == u"sdnum") return true;
    return name == u"class" || name == u"id" || name == u"title" || name == u"scope" || name == u"headers" ||
           name == u"abbr";
  });
}

// The look a paragraph's attributes give a cell after the first row: none, or a style of
// "text-align" (which the rich text makes the cell's alignment; left: none), a background (the
// page's own, which the cell shares with the sheet's default, or one of the cell's), and the
// character looks this program writes for a cell.
bool PlainParagraphLook(const PageAttributes& attributes, const QString& background, PlainLook* look) {
  QStringView style;
  if (!StyleOfAttributes(attributes, &style)) return false;
  return DeclarationsAmong(style, [look, &background](const QString& name, const QString& v) {
    if (name == u"background-color") {
      const QString colour = ColourKey(v);
      return (!background.isEmpty() && colour == background) || KolorOfCss(colour, &look->background);
    }
    if (name == u"text-align") return AlignmentOfWord(v, &look->alignment);
    if (name == u"white-space") {
      look->keepBlanks = v == u"pre-wrap";
      return look->keepBlanks || v == u"normal";
    }
    if (name == u"color") return KolorOfCss(ColourKey(v), &look->color);
    if (name == u"font-weight") {
      look->bold = v == u"bold";
      return v == u"bold" || v == u"normal";
    }
    if (name == u"font-style") {
      look->italic = v == u"italic";
      return v == u"italic" || v == u"normal";
    }
    if (name == u"text-decoration") {
      look->underline = v == u"underline" || v == u"underline line-through";
      look->strike = v == u"line-through" || v == u"underline line-through";
      return look->underline || look->strike || v == u"none";
    }
    return false;
  });
}

// The outer table's attributes: those that shape it alone, or a style that gives it the page's
// own background.
bool IsPlainTableAttributes(const PageAttributes& attributes, const QString& background) {
  if (IsTableAttributeKept(attributes)) return true;
  QStringView style;
  return StyleOfAttributes(attributes, &style) && !style.isEmpty() &&
         DeclarationsAmong(style, [&background](const QString& name, const QString& v) {
           return name == u"background-color" && !background.isEmpty() && ColourKey(v) == background;
         });
}

// The element a rule's selector picks: its last compound's element name in lower case ("*" for
// any, as for a class or an id alone).
QString SelectorSubject(QStringView selector) {
  qsizetype start = selector.size();
  while (start > 0 && !IsHtmlSpace(selector[start - 1]) && selector[start - 1] != u'>' && selector[start - 1] != u'+' &&
         selector[start - 1] != u'~')
    --start;
  qsizetype end = start;
  while (end < selector.size() && (selector[end].isLetterOrNumber() || selector[end] == u'-')) ++end;
  return end == start ? QStringLiteral("*") : selector.sliced(start, end - start).toString().toLower();
}

// A style sheet whose rules give the page's table its frame alone (the first row, which the rich
// text reads, takes it to the sheet) and nothing to a cell's text but the page's own background
// (`background`, the body's, which paragraphs may repeat) and its black: rules for the body, the
// table, its cells and paragraphs with only such declarations, and fonts and sizes, which the
// sheet's cells do not take (the sheet's font is its own). Rules for elements a table of plain
// cells does not hold (LibreOffice's comment marks, Gnumeric's caption and typewriter text)
// reach none of its cells, but one that shows the caption below the table.
bool IsFrameStyleSheet(QStringView sheet, QString* background) {
  QString text = sheet.toString();
  text.remove(QStringLiteral("<!--"));
  text.remove(QStringLiteral("-->"));
  background->clear();
  QStringList paragraphBackgrounds;
  static constexpr const char16_t* kCellElements[] = {u"*",     u"html", u"body", u"div", u"table", u"thead", u"tbody",
                                                      u"tfoot", u"tr",   u"th",   u"td",  u"p",     u"br",    u"font",
                                                      u"span"};
  qsizetype at = 0;
  // The next "@", looked for again only once the rules are past it: a sheet is read once.
  qsizetype atRule = text.indexOf(u'@');
  for (;;) {
    while (at < text.size() && IsHtmlSpace(text[at])) ++at;
    if (at >= text.size()) break;
    const qsizetype open = text.indexOf(u'{', at);
    const qsizetype close = open < 0 ? -1 : text.indexOf(u'}', open);
    // An at-rule (a media query, an import) is no rule of the page's own elements.
    if (atRule >= 0 && atRule < at) atRule = text.indexOf(u'@', at);
    if (close < 0 || (atRule >= 0 && atRule < open)) return false;
    const QStringView declarations = QStringView(text).sliced(open + 1, close - open - 1);
    for (QStringView selector : QStringView(text).sliced(at, open - at).split(u',')) {
      selector = selector.trimmed();
      const QString subject = SelectorSubject(selector);
      // A caption shown below the table would come after the rows the sheet reads.
      if (subject == u"caption" && declarations.contains(u"caption-side", Qt::CaseInsensitive)) return false;
      if (std::none_of(std::begin(kCellElements), std::end(kCellElements),
                       [&subject](const char16_t* element) { return subject == QStringView(element); }))
        continue;
      const bool plain = selector.compare(subject, Qt::CaseInsensitive) == 0;
      const bool kept = DeclarationsAmong(declarations, [&](const QString& name, const QString& value) {
        if (name == u"font-family" || name == u"font-size") return true;
        if (!plain) return false;
        if (subject == u"body") {
          if (name == u"background-color") *background = ColourKey(value);
          return (name == u"text-align" && value == u"left") || name == u"background-color" ||
                 (name == u"color" && (ColourKey(value) == u"rgb(0,0,0)" || value == u"#000000"));
        }
        if (subject == u"table")
          return name == u"table-layout" || name == u"border-collapse" || name == u"empty-cells";
        if (subject == u"td")
          return (name == u"vertical-align" && value == u"top") || (name == u"text-align" && value == u"left") ||
                 name == u"padding" || name == u"border-style" || name == u"border-width" ||
                 name == u"border-color";
        if (subject == u"p") {
          if (name == u"background-color") paragraphBackgrounds << ColourKey(value);
          return name == u"margin-top" || name == u"margin-bottom" || name == u"background-color";
        }
        return false;
      });
      if (!kept) return false;
    }
    at = close + 1;
  }
  return std::all_of(paragraphBackgrounds.begin(), paragraphBackgrounds.end(),
                     [background](const QString& colour) { return colour == *background; });
}

// A number as a page shows it, in the terms of one syntax: a sign, digits (with `group`, when
// not 0, between groups of three after the first), `point` and digits, and an exponent; nothing
// where the text is no such number. The number is told as its digits without the zeros that lead
// or end them, and the power of ten of their last one, so that two texts of one number compare
// equal ("1.50" and "1.5", "1,000" and "1000", "1.5E-05" and "0.000015"). `place`, when given,
// is the power of ten of the last digit written ("1.50": -2), to which the text is rounded.
std::optional<QString> DecimalOf(QStringView text, QChar point, QChar group = QChar(), int64_t* place = nullptr) {
  qsizetype i = 0;
  const bool negative = text.startsWith(u'-') || text.startsWith(QChar(0x2212));
  if (negative) ++i;
  QString digits;
  int64_t exponent = 0;
  qsizetype groupDigits = -1;  // digits since the last group mark; -1 before any
  qsizetype leading = 0;       // digits before the first group mark
  bool pointSeen = false;
  for (; i < text.size(); ++i) {
    const QChar ch = text[i];
    if (IsAsciiDigit(ch, false)) {
      digits += ch;
      if (pointSeen) --exponent;
      else if (groupDigits >= 0) ++groupDigits;
      else ++leading;
      continue;
    }
    if (!group.isNull() && ch == group && !pointSeen) {
      // No syntax groups a lone leading 0 ("0,125" is no thousand times an eighth).
      if ((groupDigits < 0 ? leading < 1 || leading > 3 || digits[0] == u'0' : groupDigits != 3)) return std::nullopt;
      groupDigits = 0;
      continue;
    }
    if (ch == point && !pointSeen) {
      pointSeen = true;
      continue;
    }
    break;
  }
  if (digits.isEmpty() || (groupDigits >= 0 && groupDigits != 3)) return std::nullopt;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    ++i;
    const bool minus = i < text.size() && text[i] == u'-';
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
    const qsizetype from = i;
    while (i < text.size() && IsAsciiDigit(text[i], false) && i - from < 6) ++i;
    if (i == from) return std::nullopt;
    const int64_t power = text.sliced(from, i - from).toLongLong();
    exponent += minus ? -power : power;
  }
  if (i != text.size()) return std::nullopt;
  if (place) *place = exponent;
  qsizetype first = 0;
  while (first < digits.size() && digits[first] == u'0') ++first;
  if (first == digits.size()) return QStringLiteral("0");
  qsizetype last = digits.size();
  while (digits[last - 1] == u'0') {
    --last;
    ++exponent;
  }
  return (negative ? QStringLiteral("-") : QString()) + digits.sliced(first, last - first) + u'e' +
         QString::number(exponent);
}

// A number in the C syntax: a sign, digits with a decimal point, an exponent.
bool IsCSyntaxNumber(QStringView text) {
  return !text.startsWith(QChar(0x2212)) && DecimalOf(text, u'.').has_value();
}

// LibreOffice writes the value behind a number ("sdval") in the syntax of the locale it ran in:
// "1.5" in most, "1,5" where a comma is the decimal sign. One page has one syntax, told by the
// first value with a decimal sign: each value of the page is read in it and held in the C syntax
// (a value in another is no number of the page's).
void ValuesInCSyntax(PlainTable* table) {
  QChar point;
  const auto decide = [&point](const QString& value) {
    if (point.isNull())
      for (const QChar ch : value)
        if (ch == u'.' || ch == u',') {
          point = ch;
          break;
        }
  };
  for (const QString& value : table->firstRowValues) decide(value);
  for (const std::vector<PlainCell>& row : table->rows)
    for (const PlainCell& cell : row) decide(cell.value);
  table->valuePointSeen = !point.isNull();
  if (point.isNull()) point = u'.';
  table->valuePoint = point;
  const auto convert = [point](QString* value) {
    if (value->isEmpty()) return;
    if (value->startsWith(QChar(0x2212)) || !DecimalOf(*value, point)) {
      value->clear();
      return;
    }
    if (point != u'.') value->replace(point, u'.');
  };
  for (QString& value : table->firstRowValues) convert(&value);
  for (std::vector<PlainCell>& row : table->rows)
    for (PlainCell& cell : row) convert(&cell.value);
}

// The number a hundred times the one DecimalOf tells, told as it tells it.
QString HundredfoldDecimal(const QString& decimal) {
  const qsizetype e = decimal.lastIndexOf(u'e');
  if (e < 0) return decimal;
  return decimal.first(e + 1) + QString::number(decimal.sliced(e + 1).toLongLong() + 2);
}

// The number DecimalOf tells, as near as a long double holds it (its form has no decimal sign,
// which the C library would read in the process's locale).
long double ValueOfDecimal(const QString& decimal) {
  return std::strtold(decimal.toLatin1().constData(), nullptr);
}

// Whether the number DecimalOf tells as `number`, written to the power of ten `place`, is
// `decimal` rounded there: within half its last digit of the value.
bool RoundsTo(const QString& number, int64_t place, const QString& decimal) {
  if (number == decimal) return true;
  const long double value = ValueOfDecimal(decimal);
  if (place < -4000 || place > 4000 || !std::isfinite(value)) return false;
  const long double half = 0.5L * std::pow(10.0L, static_cast<long double>(place));
  const long double off = std::fabs(ValueOfDecimal(number) - value);
  // A value halfway between two roundings shows as either.
  return std::isfinite(off) && off <= half * (1 + 1e-12L);
}

// The ways a number format writes a number: a decimal point and a group mark (none, commas,
// blanks or apostrophes), or a decimal comma and one (none, points or blanks).
struct NumberSyntax {
  QChar point, group;
};
constexpr NumberSyntax kNumberSyntaxes[] = {
    {u'.', QChar()},      {u'.', u','},         {u'.', QChar(0x00A0)}, {u'.', QChar(0x202F)}, {u'.', u' '},
    {u'.', u'\''},        {u',', QChar()},      {u',', u'.'},          {u',', u' '},          {u',', QChar(0x00A0)},
    {u',', QChar(0x202F)}};

bool IsShownBlank(QChar ch) { return ch == u' ' || ch == QChar(0x00A0) || ch == QChar(0x202F); }

QStringView WithoutShownBlanks(QStringView text) {
  while (!text.isEmpty() && IsShownBlank(text.front())) text = text.sliced(1);
  while (!text.isEmpty() && IsShownBlank(text.back())) text.chop(1);
  return text;
}

bool IsMinus(QChar ch) { return ch == u'-' || ch == QChar(0x2212); }

// Whether the letters and signs beside a number are a currency's: one of its signs ("$", "€",
// "£", "US$", "R$", "kr." with it) or its three-letter code ("CHF").
bool IsCurrencyText(QStringView text) {
  if (text.isEmpty() || text.size() > 4) return false;
  bool sign = false;
  for (const QChar ch : text) {
    if (ch.category() == QChar::Symbol_Currency) sign = true;
    else if (!ch.isLetter() && ch != u'.') return false;
  }
  if (sign) return true;
  return text.size() == 3 && std::all_of(text.begin(), text.end(), [](QChar ch) { return ch >= u'A' && ch <= u'Z'; });
}

// How a cell shows a number through a number format: its digits in one syntax, and around them
// a sign, parentheses for a negative, a currency or a percent sign.
struct ShownNumber {
  QString currency;  // empty: no money
  bool parentheses = false, percent = false, scientific = false, grouped = false;
  int64_t decimals = 0;  // the places shown after the decimal sign (of the mantissa)
  bool exact = false;    // the digits are the value's own, with no zero written after them
  QString digits;        // the number shown, as DecimalOf tells it
};

// What `shown` shows of the number DecimalOf tells as `decimal`: a number written as a number
// format writes one, in the syntax whose number is nearest the value (the page's, `point`, where
// both are as near), whatever number it is; nothing for any other text (a date, a time, a truth
// value, words).
std::optional<ShownNumber> ShownNumberOf(QStringView shown, const QString& decimal, QChar point) {
  ShownNumber number;
  QStringView rest = WithoutShownBlanks(shown);
  if (rest.size() > 2 && rest.front() == u'(' && rest.back() == u')') {
    number.parentheses = true;
    rest = WithoutShownBlanks(rest.sliced(1, rest.size() - 2));
  }
  bool negative = false;
  const auto takeSign = [&rest, &negative] {
    if (negative || rest.isEmpty() || !IsMinus(rest.front())) return;
    negative = true;
    rest = WithoutShownBlanks(rest.sliced(1));
  };
  takeSign();
  const auto isNumberChar = [](QChar ch) {
    return IsAsciiDigit(ch, false) || ch == u'.' || ch == u',' || IsMinus(ch) || IsShownBlank(ch);
  };
  qsizetype head = 0;
  while (head < rest.size() && !isNumberChar(rest[head])) ++head;
  if (head > 0) {
    if (!IsCurrencyText(rest.first(head))) return std::nullopt;
    number.currency = rest.first(head).toString();
    rest = WithoutShownBlanks(rest.sliced(head));
    takeSign();
  }
  if (rest.endsWith(u'%')) {
    number.percent = true;
    rest = WithoutShownBlanks(rest.first(rest.size() - 1));
  } else {
    qsizetype tail = rest.size();
    while (tail > 0 && !isNumberChar(rest[tail - 1])) --tail;
    if (tail < rest.size()) {
      // "1.5E-05" ends with its exponent's digits, never with letters.
      if (!number.currency.isEmpty() || !IsCurrencyText(rest.sliced(tail))) return std::nullopt;
      number.currency = rest.sliced(tail).toString();
      rest = WithoutShownBlanks(rest.first(tail));
    }
  }
  if (rest.isEmpty() || (number.percent && !number.currency.isEmpty()) || (negative && number.parentheses))
    return std::nullopt;
  const QString value = number.percent ? HundredfoldDecimal(decimal) : decimal;
  const QString signedText = (negative || number.parentheses ? QStringLiteral("-") : QString()) + rest.toString();
  const NumberSyntax* best = nullptr;
  bool bestNear = false;
  QString bestDigits;
  for (const bool ownPoint : {true, false}) {
    for (const NumberSyntax& syntax : kNumberSyntaxes) {
      if ((syntax.point == point) != ownPoint) continue;
      int64_t place = 0;
      const std::optional<QString> digits = DecimalOf(signedText, syntax.point, syntax.group, &place);
      if (!digits) continue;
      const bool near = RoundsTo(*digits, place, value);
      if (!best || (near && !bestNear)) {
        best = &syntax;
        bestNear = near;
        bestDigits = *digits;
      }
    }
  }
  if (!best) return std::nullopt;
  const qsizetype e = std::max(rest.indexOf(u'e'), rest.indexOf(u'E'));
  number.scientific = e >= 0;
  const QStringView mantissa = number.scientific ? rest.first(e) : rest;
  const qsizetype pointAt = mantissa.indexOf(best->point);
  number.decimals = pointAt < 0 ? 0 : mantissa.size() - pointAt - 1;
  number.grouped = !best->group.isNull() && mantissa.contains(best->group);
  number.exact = bestDigits == value && (number.decimals == 0 || !mantissa.endsWith(u'0'));
  number.digits = bestDigits;
  return number;
}

// LibreOffice writes a value below 1e-7 or so with twenty decimals and no more
// ("0.00000000001455191523"), which may leave it with fewer digits than the cell shows of it
// ("1.45519152283669E-11"): where the shown text is the same number to the value's last decimal
// and holds more of its digits, its number, else nothing.
std::optional<CANumber> MoreDigitsShown(const QString& value, const QString& decimal, const ShownNumber& shown) {
  constexpr qsizetype kFixedDecimals = 20;
  const qsizetype point = value.indexOf(u'.');
  if (shown.percent || shown.digits.isEmpty() || point < 0 || value.size() - point - 1 != kFixedDecimals)
    return std::nullopt;
  const auto significant = [](const QString& told) { return told.indexOf(u'e') - (told.startsWith(u'-') ? 1 : 0); };
  if (significant(shown.digits) <= significant(decimal) || !RoundsTo(decimal, -kFixedDecimals, shown.digits))
    return std::nullopt;
  return CANumber::withValidatedString(shown.digits, false, u'.', QChar());
}

// What a cell of a page LibreOffice wrote is entered as (its value, in the C syntax, and its
// number), and the number format it shows it with.
struct StoredEntry {
  QString text;
  CANumber number;
  std::optional<CANumberFormat> format;
  int32_t date = 0;  // the day the cell holds, where it holds a date
};

// LibreOffice writes a cell's value beside the text it shows in its own locale. Wherever that
// text is a number as a number format writes one (a decimal point or comma, groups, fixed
// decimals, an exponent, a percentage, a sum of money, a negative in parentheses), the value,
// read in the C syntax, is the cell's number, so that a page made elsewhere gives the same
// numbers in any locale; it is the number the sheet computed with, whatever rounding or text its
// format showed. The cell shows it as near the page's text
// as the sheet's number formats go: its decimals, groups, currency, percentage, exponent and
// parentheses. Any other text (a date, a time, a truth value, words) is entered as it is shown,
// as the rich text enters it: nothing. `point` is the decimal sign of the page's values.
std::optional<StoredEntry> StoredValueEntry(const QString& text, const QString& value, QChar point) {
  if (value.isEmpty() || !IsCSyntaxNumber(value)) return std::nullopt;
  const std::optional<QString> decimal = DecimalOf(value, u'.');
  if (!decimal) return std::nullopt;
  const std::optional<ShownNumber> shown = ShownNumberOf(text, *decimal, point);
  if (!shown) return std::nullopt;
  std::optional<CANumber> number = CANumber::withValidatedString(value, false, u'.', QChar());
  if (!number) return std::nullopt;
  StoredEntry entry;
  entry.text = value;
  if (const std::optional<CANumber> more = MoreDigitsShown(value, *decimal, *shown)) {
    number = more;
    entry.text = shown->digits;
  }
  entry.number = *number;
  const bool plain = shown->currency.isEmpty() && !shown->percent && !shown->scientific && !shown->parentheses &&
                     !shown->grouped;
  if (plain && shown->exact) return entry;
  CANumberFormat format;
  format.setDisplay(!shown->currency.isEmpty() ? kDisplayMoney
                    : shown->percent           ? kDisplayPercent
                    : shown->scientific        ? kDisplayScientific
                                               : kDisplayFloat);
  format.setSize(std::min<int64_t>(shown->decimals, 20));
  format.setGroupThousands(shown->grouped);
  format.setNegativeParens(shown->parentheses);
  if (!shown->currency.isEmpty()) format.setCurrencySymbol(shown->currency);
  entry.format = format;
  return entry;
}

// The number a text shows as a fraction ("2 1/2", "-3/8", "5"), and the largest denominator it
// shows; none where it shows no fraction.
std::optional<std::pair<long double, uint64_t>> ShownFractionOf(QStringView shown) {
  static const QRegularExpression form(QStringLiteral("^([-\\x{2212}])?(?:(\\d{1,18})[ \\x{a0}\\x{202f}]+)?(\\d{1,18})/(\\d{1,18})$"));
  const QRegularExpressionMatch match = form.match(WithoutShownBlanks(shown));
  if (!match.hasMatch()) return std::nullopt;
  const uint64_t denominator = match.captured(4).toULongLong();
  if (denominator == 0) return std::nullopt;
  const long double whole = match.captured(2).isEmpty() ? 0.0L : match.captured(2).toULongLong();
  const long double value = whole + (long double)match.captured(3).toULongLong() / denominator;
  return std::pair{match.captured(1).isEmpty() ? value : -value, denominator};
}

// How the user types numbers, as a page's syntax.
PageNumberSyntax UserNumberSyntax() {
  const CANumberLocale& user = NumberTextLocale();
  return PageNumberSyntax{user.decimalSeparatorChar, user.groupSeparatorChar};
}

// A number's text in `syntax` as the C syntax writes it, for ShownNumberOf: its digits (Arabic
// ones too) as ASCII ones, its decimal sign a point, its group marks commas, its percent sign
// "%", without the marks that order its run.
QString InCSyntax(const QString& shown, const PageNumberSyntax& syntax) {
  const auto blank = [](QChar ch) { return ch == u' ' || ch == QChar(0x00A0) || ch == QChar(0x202F) || ch == QChar(0x2009); };
  const auto apostrophe = [](QChar ch) { return ch == u'\'' || ch == QChar(0x2019); };
  QString text;
  text.reserve(shown.size());
  for (const QChar ch : shown) {
    const char16_t unit = ch.unicode();
    if (unit == 0x200E || unit == 0x200F || unit == 0x061C || (unit >= 0x202A && unit <= 0x202E)) continue;
    if (ch == syntax.point) text += u'.';
    else if (!syntax.group.isNull() && (ch == syntax.group || (blank(ch) && blank(syntax.group)) ||
                                        (apostrophe(ch) && apostrophe(syntax.group))))
      text += u',';
    else if (ch.isDigit() && ch.digitValue() >= 0) text += QChar(u'0' + ch.digitValue());
    else if (unit == 0x066A) text += u'%';
    else if (unit == 0x2212) text += u'-';
    else text += ch;
  }
  return text;
}

// What a cell of one of the sheet's own pages is entered as where the page tells its value beside
// its text (its "abbr", PageValueOf): that date or number, where the text shows it as a format of
// the sheet would (its date in one of the sheet's date forms, its number rounded to the places it
// shows or as a fraction near it), with the format that shows it so; none where the text shows
// something else (a foreign page's short form of its cell), which the text then enters as it does
// without. `syntax` is the one the text is read in.
std::optional<StoredEntry> ShortFormEntry(const QString& shown, const QString& shortForm,
                                          const PageNumberSyntax& syntax) {
  if (shortForm.isEmpty()) return std::nullopt;
  int32_t day = 0;
  const std::optional<CANumber> value = PageValueOf(shortForm, &day);
  if (!value) return std::nullopt;
  StoredEntry entry;
  entry.number = *value;
  if (day != 0) {
    entry.format = DateFormatShowing(cleanUp(shown, false, false), day, true);
    if (!entry.format) return std::nullopt;
    entry.date = day;
    // Read by any page's syntax as that day.
    entry.text = QString::number(day);
    return entry;
  }
  const QString decimal = value->decimalText();
  if (decimal.isEmpty()) return std::nullopt;
  if (const std::optional<std::pair<long double, uint64_t>> fraction = ShownFractionOf(shown)) {
    if (fabsl(fraction->first - value->realValue()) > 1.0L / fraction->second) return std::nullopt;
    CANumberFormat format = CANumberFormat::defaultFractionFormat();
    for (const bool keep : {false, true}) {
      CANumberFormat tried = format;
      tried.setKeepFraction(keep);
      if (value->formatWith(&tried) == shown) {
        format = tried;
        break;
      }
    }
    entry.format = format;
    entry.text = decimal;
    return entry;
  }
  std::optional<StoredEntry> stored = StoredValueEntry(InCSyntax(shown, syntax), decimal, u'.');
  if (!stored) return std::nullopt;
  stored->number = *value;
  return stored;
}

// The cell made of a stored value's text becomes its entry, shown with the entry's number format
// over the cell's own looks.
void EnterStoredValue(CACell& cell, const StoredEntry& entry, CAImportFormats& formats, const CADocument& document) {
  cell.setNumberValue(entry.number);
  if (entry.date != 0) cell.setValueType(kValueDate);
  if (!entry.format) return;
  CAFormat format = cell.format() ? cell.format()->copy() : CAFormat();
  format.setNumberFormat(&*entry.format);
  formats.giveCell(cell, format, document);
}

// Whether a first row's paragraph keeps its white space: the rich text reads it with its look,
// and its text as written.
bool KeepsBlanks(const PageAttributes& attributes) {
  bool keep = false;
  for (const PageAttribute& attribute : attributes)
    if (attribute.name == u"style")
      DeclarationsAmong(attribute.value, [&keep](const QString& declaration, const QString& v) {
        if (declaration == u"white-space") keep = v == u"pre-wrap";
        return true;
      });
  return keep;
}

bool ReadBlank(TokenScanner& scanner) {
  QString joined;
  return IsBlank(scanner.readText(&joined));
}

// Reads a line break alone, with space around it: what a page writes for a cell that shows
// nothing, which the rich text makes no text of.
bool ReadLoneBreak(TokenScanner& scanner) {
  const size_t start = scanner.position();
  const PageAttributes* attributes = nullptr;
  if (ReadBlank(scanner) && scanner.readTag(&attributes) == u"br" && attributes->empty() && ReadBlank(scanner)) {
    // A break before another is a line of the cell's text.
    const size_t end = scanner.position();
    const bool another = scanner.readTag(&attributes) == u"br";
    scanner.moveTo(end);
    if (!another) return true;
  }
  scanner.moveTo(start);
  return false;
}

// The text of a cell up to the next element: with `lines`, lines that line breaks ("<br>") part,
// as this program and the peers write a cell of several lines, which become the lines of the
// cell's text. The break that ends the text shows nothing, as in a browser: a text that ends with
// an empty line is written with one more. Space before a break that follows text is left to the
// rich text; space at the start of a line shows nothing (Gnumeric starts each line on a line of
// its own). With `keepBlanks` (a paragraph that keeps its white space) every space is the text's,
// and comments, which such a paragraph is not written with, leave the page to the rich text.
bool ReadPlainCellLines(TokenScanner& scanner, QString* text, bool lines, bool keepBlanks = false) {
  QString joined;
  unsigned flags = 0;
  const auto readRaw = [&](QStringView* raw) {
    bool commented = false;
    flags = 0;
    *raw = scanner.readText(&joined, &flags, &commented);
    // A comment read with the text would stand where the text was: it is not the page's.
    return !keepBlanks || !commented;
  };
  QStringView raw;
  if (!readRaw(&raw) || !PlainCellText(raw, flags, text, keepBlanks)) return false;
  if (!lines) return true;
  QString line;
  bool broken = false;
  for (;;) {
    const size_t before = scanner.position();
    const PageAttributes* attributes = nullptr;
    if (scanner.readTag(&attributes) != u"br" || !attributes->empty()) {
      scanner.moveTo(before);
      break;
    }
    if (!keepBlanks && !(broken ? line : *text).isEmpty() && !raw.isEmpty() && IsHtmlSpace(raw.back())) return false;
    broken = true;
    if (!readRaw(&raw) || !PlainCellText(raw, flags, &line, keepBlanks)) return false;
    *text += u'\n';
    *text += line;
  }
  // Spaces that end the paragraph show nothing in the sheet (before a last break they do).
  if (keepBlanks)
    while (text->endsWith(u' ')) text->chop(1);
  if (broken && text->endsWith(u'\n')) text->chop(1);
  return true;
}

// Reads the element at the position (after any space) when it is `name` without attributes.
bool ReadBareTag(TokenScanner& scanner, QStringView name) {
  const PageAttributes* attributes = nullptr;
  scanner.skipSpace();
  const size_t before = scanner.position();
  if (scanner.readTag(&attributes) == name && attributes->empty()) return true;
  scanner.moveTo(before);
  return false;
}

// Reads LibreOffice Calc's comment of a cell, which its page writes before the cell's text as a
// marker and a "comment" element that its style sheet hides: the comment is no text of the cell.
// Nothing read where no comment stands here.
void ReadCellComment(TokenScanner& scanner) {
  const size_t start = scanner.position();
  scanner.skipSpace();
  const PageAttributes* attributes = nullptr;
  if (scanner.readTag(&attributes) == u"a" && attributes->size() == 1 && attributes->front().name == u"class" &&
      attributes->front().value == u"comment-indicator" && ReadBareTag(scanner, u"/a") &&
      ReadBareTag(scanner, u"comment") && scanner.readRaw() && ReadBareTag(scanner, u"/comment"))
    return;
  scanner.moveTo(start);
}

// A cell's contents after its "<td>": its text, or one paragraph ("<p>", its text or a lone line
// break, and "</p>") or a lone line break (an empty cell), with space around them. The
// paragraph's alignment is the cell's; in the first row, which the rich text reads, it may have
// any look. Without `paragraphs` (the words of a nested table, joined into one paragraph) the
// text alone, on one line. The look starts as the cell's own.
bool ReadPlainCellContents(TokenScanner& scanner, QString* text, PlainLook* look, const QString& background,
                           bool first, bool paragraphs) {
  text->clear();
  if (paragraphs && !first) ReadCellComment(scanner);
  if (paragraphs && ReadLoneBreak(scanner)) return true;
  const size_t start = scanner.position();
  const PageAttributes* attributes = nullptr;
  if (!paragraphs || !ReadBlank(scanner) || scanner.readTag(&attributes) != u"p") {
    scanner.moveTo(start);
    return ReadPlainCellLines(scanner, text, paragraphs);
  }
  if (first ? !IsFirstRowAttributes(*attributes) : !PlainParagraphLook(*attributes, background, look)) return false;
  const bool keepBlanks = first ? KeepsBlanks(*attributes) : look->keepBlanks;
  if ((keepBlanks || !ReadLoneBreak(scanner)) && !ReadPlainCellLines(scanner, text, true, keepBlanks)) return false;
  if (scanner.readTag(&attributes) != u"/p") return false;
  return ReadBlank(scanner);
}

// Reads "<tr>", plain cells and "</tr>" into the row. False when the next thing is no such row.
// Header cells ("th") and the attributes that give a look are plain in the first row alone
// (`first`), which the rich text reads.
bool ReadPlainRow(TokenScanner& scanner, std::vector<PlainCell>* row, const QString& background, bool paragraphs,
                  bool first = false) {
  const PageAttributes* attributes = nullptr;
  const size_t start = scanner.position();
  scanner.skipSpace();
  if (scanner.readTag(&attributes) != u"tr" ||
      !(first ? IsFirstRowAttributes(*attributes) : IsInertAttributes(*attributes))) {
    scanner.moveTo(start);
    return false;
  }
  row->clear();
  for (;;) {
    scanner.skipSpace();
    const QStringView tag = scanner.readTag(&attributes);
    if (tag == u"/tr") return !row->empty();
    const bool header = first && tag == u"th";
    PlainCell cell;
    if ((tag != u"td" && !header) ||
        !(first        ? IsFirstRowAttributes(*attributes)
          : paragraphs ? IsPlainCellAttributes(*attributes, background, &cell.look)
                       : IsInertAttributes(*attributes)))
      return false;
    if (paragraphs)
      for (const PageAttribute& attribute : *attributes)
        if (attribute.name == u"sdval") cell.value = attribute.value.trimmed();
        else if (attribute.name == u"abbr") cell.shortForm = attribute.value.trimmed();
    if (!ReadPlainCellContents(scanner, &cell.text, &cell.look, background, first, paragraphs)) return false;
    if (scanner.readTag(&attributes) != (header ? u"/th" : u"/td")) return false;
    row->push_back(std::move(cell));
  }
}

// Reads "<table" with attributes that shape the table alone and ">".
bool ReadTableTag(TokenScanner& scanner) {
  const PageAttributes* attributes = nullptr;
  scanner.skipSpace();
  return scanner.readTag(&attributes) == u"table" && IsTableAttributeKept(*attributes);
}

// Reads what a table holds before its rows that makes no cell of its own, as LibreOffice Calc
// and Gnumeric write it: column groups (their widths go to the sheet with the first row, through
// the rich text) and a caption.
void ReadTableFrame(TokenScanner& scanner) {
  for (;;) {
    scanner.skipSpace();
    const size_t before = scanner.position();
    const PageAttributes* attributes = nullptr;
    const QStringView tag = scanner.readTag(&attributes);
    if ((tag == u"colgroup" || tag == u"col") && AttributesAmong(*attributes, {u"width", u"span"})) continue;
    if (tag == u"/colgroup") continue;
    if (tag == u"caption" && attributes->empty()) {
      QString joined;
      scanner.readText(&joined);
      if (ReadBareTag(scanner, u"/caption")) continue;
    }
    scanner.moveTo(before);
    return;
  }
}

// A title or header cell's attributes: a first row's, and a span across columns.
bool IsHeadCellAttributes(const PageAttributes& attributes) {
  return std::all_of(attributes.begin(), attributes.end(), [](const PageAttribute& attribute) {
    const QStringView value = QStringView(attribute.value).trimmed();
    if (attribute.name == u"rowspan") return value == u"1";
    if (attribute.name == u"colspan") {
      bool ok = false;
      const uint span = value.toUInt(&ok);
      return ok && span >= 1 && span <= kMaxColumns &&
             std::all_of(value.begin(), value.end(), [](QChar c) { return IsAsciiDigit(c, false); });
    }
    return std::find(kFirstRowAttributes.begin(), kFirstRowAttributes.end(), QStringView(attribute.name)) !=
           kFirstRowAttributes.end();
  });
}

// Reads a row of a title or of headers as the peers write one above a sheet's rows: cells with a
// first row's attributes and spans across columns, their text with the looks of words (bold,
// italic, underline, a font, a span, line breaks). The rich text reads it, with the first row;
// false, and nothing read, for any other row.
bool ReadHeadRow(TokenScanner& scanner) {
  static constexpr const char16_t* kWordLooks[] = {u"b",  u"i",  u"u",  u"s",  u"strong", u"em", u"font", u"span",
                                                   u"/b", u"/i", u"/u", u"/s", u"/strong", u"/em", u"/font", u"/span",
                                                   u"br"};
  const size_t start = scanner.position();
  const auto refuse = [&scanner, start] {
    scanner.moveTo(start);
    return false;
  };
  const PageAttributes* attributes = nullptr;
  scanner.skipSpace();
  if (scanner.readTag(&attributes) != u"tr" || !IsFirstRowAttributes(*attributes)) return refuse();
  bool cells = false;
  for (;;) {
    scanner.skipSpace();
    const QStringView tag = scanner.readTag(&attributes);
    if (tag == u"/tr") return cells || refuse();
    if ((tag != u"td" && tag != u"th") || !IsHeadCellAttributes(*attributes)) return refuse();
    cells = true;
    for (;;) {
      QString joined;
      scanner.readText(&joined);
      const QStringView inner = scanner.readTag(&attributes);
      if (std::any_of(std::begin(kWordLooks), std::end(kWordLooks),
                      [&inner](const char16_t* look) { return inner == QStringView(look); }))
        continue;
      if (inner == u"/td" || inner == u"/th") break;
      return refuse();
    }
  }
}

// The rows of a table after its "<table>" up to its first row: the table's frame, rows of a title
// and headers, and the first row, plain, which shows where the other rows go. The first row may
// stand alone in the table's head.
bool ReadFirstRows(TokenScanner& scanner, PlainTable* table, bool firstLooks, const QString& background,
                   bool* body) {
  if (firstLooks) ReadTableFrame(scanner);
  const bool head = firstLooks && ReadBareTag(scanner, u"thead");
  *body = !head && ReadBareTag(scanner, u"tbody");
  // Rows of a title or headers, which only the rich text reads, go to it with the first row.
  while (firstLooks && !head && table->headRows < kMostHeadRows) {
    const size_t before = scanner.position();
    std::vector<PlainCell> strict;
    const bool plain = ReadPlainRow(scanner, &strict, background, true);
    scanner.moveTo(before);
    if (plain || !ReadHeadRow(scanner)) break;
    ++table->headRows;
  }
  std::vector<PlainCell> first;
  // A nested table's cells are its text alone (firstLooks is for a table of the page's own).
  if (!ReadPlainRow(scanner, &first, background, firstLooks, firstLooks) || first.size() > kMaxColumns ||
      std::all_of(first.begin(), first.end(), [](const PlainCell& cell) { return cell.text.isEmpty(); }))
    return false;
  for (PlainCell& cell : first) {
    table->firstRow.push_back(std::move(cell.text));
    table->firstRowValues.push_back(std::move(cell.value));
  }
  if (head) {
    if (!ReadBareTag(scanner, u"/thead")) return false;
    *body = ReadBareTag(scanner, u"tbody");
  }
  return true;
}

// Reads the page's table from its start (the first token) to the end of what is kept: its rows
// up to the first, which must end there. The table may be the one cell of another table of one
// row (a page laid out in a table), whose words the sheet takes as that cell's.
enum class TableStart { Refused, Unfinished, Read };

TableStart ReadTableStart(const std::vector<PageToken>& tokens, size_t count, PlainTable* table,
                          const QString& background, bool* outerBody) {
  TokenScanner scanner(tokens, count);
  *table = PlainTable();
  scanner.moveTo(1);
  *outerBody = ReadBareTag(scanner, u"tbody");
  table->nested = ReadBareTag(scanner, u"tr") && ReadBareTag(scanner, u"td") && ReadTableTag(scanner);
  if (!table->nested) {
    scanner.moveTo(1);
    *outerBody = false;
  }
  bool body = false;
  // Header cells would give the joined paragraph of a nested table the formatting of a header.
  if (ReadFirstRows(scanner, table, !table->nested, background, &body)) {
    scanner.skipSpace();
    if (scanner.atEnd()) return TableStart::Read;
  }
  return scanner.hitEnd() ? TableStart::Unfinished : TableStart::Refused;
}

// Whether the page's element or an element of its metadata, with these attributes, gives what it
// holds no look: no style of its own (the reading holds such an element open around what
// follows once a style sheet is read, and its style reaches the cells).
bool IsLooklessFrameElement(const std::vector<GMHtmlAttribute>& attributes) {
  return std::none_of(attributes.begin(), attributes.end(), [](const GMHtmlAttribute& attribute) {
    return attribute.name.compare(u"style", Qt::CaseInsensitive) == 0;
  });
}

// Whether a style element with these attributes is the page's plain style sheet: no attribute but
// its type.
bool IsPlainStyleElement(const std::vector<GMHtmlAttribute>& attributes) {
  return std::all_of(attributes.begin(), attributes.end(), [](const GMHtmlAttribute& attribute) {
    return attribute.name.compare(u"type", Qt::CaseInsensitive) == 0;
  });
}

// The sheet's own reader of a long table of plain cells, told the page by the HTML reader as its
// tree rules read it: before the table only the page's frame (a declaration, html, head with a
// title, metadata and a style sheet that frames the table, body without attributes, an empty
// paragraph), after it only the frame's ends; rows of plain cells, each as many as the first.
// Once the first row is read (the rich text makes it, and the rows of a title and headers above
// it), it takes the table's other rows from the rich text and reads them itself, a row at a time.
class PlainTableListener final : public GMHtmlListener {
 public:
  explicit PlainTableListener(bool keepRows) : keepRows_(keepRows) {}

  // The table, where the page was one to the end.
  std::optional<PlainTable> table() {
    if (stage_ != Stage::After) return std::nullopt;
    ValuesInCSyntax(&table_);
    return std::move(table_);
  }
  // Whether it took rows from the rich text, which then lacks them.
  bool tookRows() const { return took_; }
  bool listening() const { return stage_ != Stage::Left; }

  Answer started(QStringView name, const std::vector<GMHtmlAttribute>& attributes, bool) override {
    switch (stage_) {
      case Stage::Frame: return frameStarted(name, attributes);
      case Stage::TableStart:
        if (name == u"tr") {
          switch (ReadTableStart(tokens_, used_, &table_, background_, &outerBody_)) {
            case TableStart::Refused: return leave();
            case TableStart::Read:
              used_ = 0;
              stage_ = Stage::Rows;
              took_ = true;
              keep(PageToken::Kind::Start, name, &attributes);
              inRow_ = true;
              return Answer::TakeTable;
            case TableStart::Unfinished:
              if (++rowStarts_ > kMostHeadRows + 2) return leave();
              break;
          }
        }
        keep(PageToken::Kind::Start, name, &attributes);
        return Answer::Follow;
      case Stage::Rows:
        if (!inRow_ && (name != u"tr" || tableEnding_)) return leave();
        if (!inRow_) used_ = 0;
        inRow_ = true;
        keep(PageToken::Kind::Start, name, &attributes);
        return Answer::Follow;
      default: return leave();
    }
  }

  Answer ended(QStringView name) override {
    switch (stage_) {
      case Stage::Frame:
        if (name == u"p" && inParagraph_) {
          inParagraph_ = false;
          return Answer::Follow;
        }
        return name == u"html" || name == u"head" || name == u"body" || name == u"title" || name == u"style"
                   ? Answer::Follow
                   : leave();
      case Stage::TableStart:
        if (name == u"table") return leave();
        keep(PageToken::Kind::End, name);
        return Answer::Follow;
      case Stage::Rows:
        if (inRow_) {
          keep(PageToken::Kind::End, name);
          if (name != u"tr") return Answer::Follow;
          inRow_ = false;
          return readRow() ? Answer::Follow : leave();
        }
        if (name == u"tbody" && !tableEnding_) {
          tableEnding_ = true;
          return Answer::Follow;
        }
        if (name != u"table" || table_.rowCount + 1 < kPlainTableRows) return leave();
        stage_ = table_.nested ? Stage::NestedTail : Stage::After;
        return Answer::Follow;
      case Stage::NestedTail: {
        // The outer table's ends around the nested one, and nothing else.
        static constexpr const char16_t* kEnds[] = {u"td", u"tr", u"tbody", u"table"};
        if (tail_ == 2 && !outerBody_) ++tail_;
        if (tail_ >= 4 || name != QStringView(kEnds[tail_])) return leave();
        if (++tail_ == 4) stage_ = Stage::After;
        return Answer::Follow;
      }
      case Stage::After: return name == u"body" || name == u"html" ? Answer::Follow : leave();
      case Stage::Left: return Answer::Leave;
    }
    return leave();
  }

  Answer text(QStringView text, unsigned flags) override {
    if ((stage_ == Stage::TableStart || (stage_ == Stage::Rows && inRow_))) {
      keep(PageToken::Kind::Text, text, nullptr, flags);
      return Answer::Follow;
    }
    return stage_ != Stage::Left && IsBlank(text) && (!inParagraph_ || stage_ != Stage::Frame) ? Answer::Follow
                                                                                                : leave();
  }

  Answer rawText(QStringView element, QStringView raw) override {
    if (stage_ == Stage::Frame) {
      if (element == u"title") return Answer::Follow;
      if (element != u"style" || !sheetNext_) return leave();
      sheetNext_ = false;
      return IsFrameStyleSheet(raw, &background_) ? Answer::Follow : leave();
    }
    if (stage_ == Stage::TableStart || (stage_ == Stage::Rows && inRow_)) {
      keep(PageToken::Kind::Raw, QStringView());
      return Answer::Follow;
    }
    return leave();
  }

  Answer comment() override {
    if (stage_ == Stage::TableStart || (stage_ == Stage::Rows && inRow_)) keep(PageToken::Kind::Comment, QStringView());
    return stage_ == Stage::Left ? Answer::Leave : Answer::Follow;
  }

 private:
  enum class Stage { Frame, TableStart, Rows, NestedTail, After, Left };

  Answer leave() {
    stage_ = Stage::Left;
    std::vector<PageToken>().swap(tokens_);
    used_ = 0;
    return Answer::Leave;
  }

  void keep(PageToken::Kind kind, QStringView name, const std::vector<GMHtmlAttribute>* attributes = nullptr,
            unsigned flags = 0) {
    // The tokens of a row are made again in those of the row before, which keep their memory.
    PageToken& token = used_ < tokens_.size() ? tokens_[used_] : tokens_.emplace_back();
    ++used_;
    token.kind = kind;
    token.flags = flags;
    token.name.resize(0);
    if (kind == PageToken::Kind::End) token.name += u'/';
    token.name += name;
    token.attributes.resize(attributes ? attributes->size() : 0);
    for (size_t k = 0; k < token.attributes.size(); ++k) {
      const GMHtmlAttribute& attribute = (*attributes)[k];
      PageAttribute& kept = token.attributes[k];
      kept.name.resize(0);
      kept.name += attribute.name;
      for (QChar& c : kept.name)
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + 32);
      HtmlDecodeText(attribute.value, &kept.value);
    }
  }

  // Before the table: the page's frame.
  Answer frameStarted(QStringView name, const std::vector<GMHtmlAttribute>& attributes) {
    if (inParagraph_ || sheetNext_) return leave();
    if (name == u"html" || name == u"meta") return IsLooklessFrameElement(attributes) ? Answer::Follow : leave();
    if (name == u"head" || name == u"body" || name == u"title" || name == u"p") {
      if (!attributes.empty()) return leave();
      // An empty paragraph before the table (Gnumeric's) makes no cell: the rich text reads it
      // with the first row.
      inParagraph_ = name == u"p";
      return Answer::Follow;
    }
    if (name == u"style") {
      // The page's one style sheet, which gives the table its frame alone.
      if (styled_ || !IsPlainStyleElement(attributes)) return leave();
      styled_ = sheetNext_ = true;
      return Answer::Follow;
    }
    if (name != u"table") return leave();
    keep(PageToken::Kind::Start, name, &attributes);
    if (!IsPlainTableAttributes(tokens_[used_ - 1].attributes, background_)) return leave();
    stage_ = Stage::TableStart;
    return Answer::Follow;
  }

  // A row after the first, whole: plain, as many cells as the first.
  bool readRow() {
    TokenScanner scanner(tokens_, used_);
    std::vector<PlainCell> row;
    if (!ReadPlainRow(scanner, &row, background_, !table_.nested)) return false;
    scanner.skipSpace();
    used_ = 0;
    if (!scanner.atEnd() || row.size() != table_.firstRow.size()) return false;
    ++table_.rowCount;
    if (keepRows_) table_.rows.push_back(std::move(row));
    return true;
  }

  const bool keepRows_;
  Stage stage_ = Stage::Frame;
  bool took_ = false;
  bool inParagraph_ = false, styled_ = false, sheetNext_ = false;
  QString background_;  // the page's own, which its style sheet gives (empty: none)
  std::vector<PageToken> tokens_;  // the table's start up to its first row, or the row being read
  size_t used_ = 0;
  size_t rowStarts_ = 0;
  bool inRow_ = false, tableEnding_ = false, outerBody_ = false;
  int tail_ = 0;
  PlainTable table_;
};

// A style sheet that makes the page's paragraphs keep their lines and frames the page alone: rules
// for "p" alone that keep its lines ("white-space" of "pre", "pre-wrap" or "pre-line"), with
// margins, fonts and sizes beside it, and other rules as IsFrameStyleSheet takes them, which
// reach none of a paragraph's text. No rule gives a paragraph a background or lets go of its
// lines again.
bool KeepsParagraphLines(QStringView sheet) {
  QString text = sheet.toString();
  text.remove(QStringLiteral("<!--"));
  text.remove(QStringLiteral("-->"));
  QString frame;
  bool keeps = false;
  qsizetype at = 0;
  for (;;) {
    while (at < text.size() && IsHtmlSpace(text[at])) ++at;
    if (at >= text.size()) break;
    const qsizetype open = text.indexOf(u'{', at);
    const qsizetype close = open < 0 ? -1 : text.indexOf(u'}', open);
    if (close < 0) return false;
    const QStringView selectors = QStringView(text).sliced(at, open - at);
    const QList<QStringView> each = selectors.split(u',');
    if (std::all_of(each.begin(), each.end(),
                    [](QStringView selector) { return selector.trimmed().compare(u"p", Qt::CaseInsensitive) == 0; })) {
      QString kept;
      const bool plain = DeclarationsAmong(QStringView(text).sliced(open + 1, close - open - 1),
                                           [&](const QString& name, const QString& value) {
                                             if (name == u"white-space") {
                                               keeps = value == u"pre" || value == u"pre-wrap" || value == u"pre-line";
                                               return keeps;
                                             }
                                             if (name == u"background-color") return false;
                                             kept += name + u':' + value + u';';
                                             return true;
                                           });
      if (!plain) return false;
      frame += QStringLiteral("p{") + kept + u'}';
    } else {
      frame += QStringView(text).sliced(at, close + 1 - at);
    }
    at = close + 1;
  }
  QString background;
  return keeps && IsFrameStyleSheet(frame, &background);
}

// The sheet's own reader of the lines a paragraph keeps, told the page by the HTML reader as its
// tree rules read it: the page's frame (a declaration, html, head with a title, metadata and one
// style sheet that makes paragraphs keep their lines, body without attributes), one paragraph
// without attributes holding one text, and the frame's ends. It takes the paragraph's lines after
// the first from the rich text, which makes the first line's row, and holds them as the text once
// and where each line ends; their cells are made below the first line's as the conversion of the
// rich text makes a paragraph's (MakeKeptLineCells). Each line is charged as it is taken. A line
// the rich text might make differently (a character it might change, more columns than a sheet
// has) leaves the page to it before any is taken.
class KeptLinesListener final : public GMHtmlListener {
 public:
  // Whether it took lines from the rich text, which then lacks them.
  bool took() const { return took_; }
  const QString& firstLine() const { return firstLine_; }
  size_t lineCount() const { return ends_.size(); }
  // The line after the first numbered `index` (from 0), as the paragraph holds it.
  QStringView line(size_t index) const {
    const qsizetype from = index == 0 ? 0 : qsizetype(ends_[index - 1]) + 1;
    return QStringView(lines_).sliced(from, qsizetype(ends_[index]) - from);
  }
  void clear() {
    lines_ = QString();
    std::vector<uint32_t>().swap(ends_);
  }

  Answer started(QStringView name, const std::vector<GMHtmlAttribute>& attributes, bool) override {
    if (stage_ != Stage::Frame || sheetNext_) return leave();
    if (name == u"html" || name == u"meta") return IsLooklessFrameElement(attributes) ? Answer::Follow : leave();
    if (name == u"head" || name == u"body" || name == u"title")
      return attributes.empty() ? Answer::Follow : leave();
    if (name == u"style") {
      if (styled_ || !IsPlainStyleElement(attributes)) return leave();
      styled_ = sheetNext_ = true;
      return Answer::Follow;
    }
    if (name != u"p" || !attributes.empty() || !keeps_) return leave();
    stage_ = Stage::Paragraph;
    return Answer::Follow;
  }

  Answer ended(QStringView name) override {
    switch (stage_) {
      case Stage::Frame:
        return name == u"html" || name == u"head" || name == u"title" || name == u"style" ? Answer::Follow : leave();
      case Stage::Lines:
        if (name != u"p") return leave();
        stage_ = Stage::After;
        return Answer::Follow;
      case Stage::After: return name == u"body" || name == u"html" ? Answer::Follow : leave();
      default: return leave();
    }
  }

  Answer text(QStringView text, unsigned) override {
    if (stage_ == Stage::Paragraph) return takeLines(text);
    return (stage_ == Stage::Frame || stage_ == Stage::After) && IsBlank(text) ? Answer::Follow : leave();
  }

  Answer rawText(QStringView element, QStringView raw) override {
    if (stage_ != Stage::Frame) return leave();
    if (element == u"title") return Answer::Follow;
    if (element != u"style" || !sheetNext_) return leave();
    sheetNext_ = false;
    keeps_ = KeepsParagraphLines(raw);
    return keeps_ ? Answer::Follow : leave();
  }

  Answer comment() override {
    return stage_ == Stage::Frame || stage_ == Stage::After ? Answer::Follow : leave();
  }

 private:
  enum class Stage { Frame, Paragraph, Lines, After, Left };

  Answer leave() {
    stage_ = Stage::Left;
    clear();
    return Answer::Leave;
  }

  // Whether the rich text's conversion makes the line as it is written: no character it
  // changes (a line separator would start a row of its own).
  static bool IsPlainLine(QStringView line) {
    return std::all_of(line.begin(), line.end(), [](QChar ch) {
      return ch == u'\t' || ch == u'\r' || IsPlainCellCharacter(ch.unicode());
    });
  }

  // The paragraph's text: its first line goes to the rich text, the others are taken, each
  // charged as it is.
  Answer takeLines(QStringView text) {
    const qsizetype firstEnd = text.indexOf(u'\n');
    if (firstEnd < 0 || text.size() - firstEnd > qsizetype(UINT32_MAX) || !IsPlainLine(text.first(firstEnd)))
      return leave();
    firstLine_ = text.first(firstEnd).toString();
    firstLine_.remove(u'\r');
    const QStringView rest = text.sliced(firstEnd + 1);
    if (!charge(rest.size() * kKeptLineCharacterCost)) return leave();
    lines_ = rest.toString();
    ends_.reserve(size_t(rest.count(u'\n')) + 1);
    int64_t longestFormula = 0;
    qsizetype from = 0;
    for (;;) {
      qsizetype end = QStringView(lines_).indexOf(u'\n', from);
      if (end < 0) end = lines_.size();
      const QStringView line = QStringView(lines_).sliced(from, end - from);
      // Each further column a tab starts may make a cell.
      if (!IsPlainLine(line)) return leave();
      const int64_t columns = 1 + line.count(u'\t');
      if (columns > int64_t(kMaxColumns)) return leave();
      int64_t cost = columns * kKeptLineCost;
      if (line.startsWith(u'=')) {
        // A formula, charged as the rich text's reading charges one.
        cost += line.size() * kHtmlFormulaCharacterCost;
        if (line.size() > longestFormula) {
          cost += (line.size() - longestFormula) * kHtmlFormulaParseCost;
          longestFormula = line.size();
        }
      }
      if (!charge(cost)) return leave();
      ends_.push_back(uint32_t(end));
      if (end >= lines_.size()) break;
      from = end + 1;
    }
    stage_ = Stage::Lines;
    took_ = true;
    return Answer::TakeLines;
  }

  Stage stage_ = Stage::Frame;
  bool styled_ = false, sheetNext_ = false, keeps_ = false;
  bool took_ = false;
  QString firstLine_;
  QString lines_;              // the text after the first line
  std::vector<uint32_t> ends_;  // where each of its lines ends
};

// Tells the page to several listeners at once, while any listens: the answer is the one that
// takes rows or lines, if any does, and Leave once all have left, or once one that took leaves.
class PageListeners final : public GMHtmlListener {
 public:
  explicit PageListeners(std::initializer_list<GMHtmlListener*> listeners) {
    for (GMHtmlListener* listener : listeners) {
      if (!listener) continue;
      listeners_.push_back({listener, false, false});
      listener->setCharges([this](int64_t bytes) { return charge(bytes); });
    }
  }
  ~PageListeners() override {
    for (const Told& told : listeners_) told.listener->setCharges(nullptr);
  }
  PageListeners(const PageListeners&) = delete;
  PageListeners& operator=(const PageListeners&) = delete;

  bool listening() const { return !left_; }

  Answer started(QStringView name, const std::vector<GMHtmlAttribute>& attributes, bool implied) override {
    return tell([&](GMHtmlListener& listener) { return listener.started(name, attributes, implied); });
  }
  Answer ended(QStringView name) override {
    return tell([&](GMHtmlListener& listener) { return listener.ended(name); });
  }
  Answer text(QStringView text, unsigned flags) override {
    return tell([&](GMHtmlListener& listener) { return listener.text(text, flags); });
  }
  Answer rawText(QStringView element, QStringView raw) override {
    return tell([&](GMHtmlListener& listener) { return listener.rawText(element, raw); });
  }
  Answer comment() override {
    return tell([](GMHtmlListener& listener) { return listener.comment(); });
  }

 private:
  struct Told {
    GMHtmlListener* listener;
    bool left, took;
  };

  template <typename Tell>
  Answer tell(Tell tell) {
    if (left_) return Answer::Leave;
    Answer answer = Answer::Leave;
    for (Told& told : listeners_) {
      if (told.left) continue;
      const Answer heard = tell(*told.listener);
      if (heard == Answer::Leave) {
        told.left = true;
        // What it took the rich text lacks: no other reading of the page stands.
        if (told.took) {
          left_ = true;
          return Answer::Leave;
        }
        continue;
      }
      if (heard != Answer::Follow) told.took = true;
      if (answer == Answer::Leave || heard != Answer::Follow) answer = heard;
    }
    left_ = answer == Answer::Leave;
    return answer;
  }

  std::vector<Told> listeners_;
  bool left_ = false;
};

// The table of the rich text that holds the first row: the page's one table, or for a nested
// page the one table in its one cell, beside which that cell holds nothing.
QTextTable* TableOfFirstRow(const QTextDocument& text, bool nested) {
  const QList<QTextFrame*> frames = text.rootFrame()->childFrames();
  if (frames.size() != 1) return nullptr;
  auto* table = qobject_cast<QTextTable*>(frames.front());
  if (!table || !nested) return table;
  if (table->rows() != 1 || table->columns() != 1) return nullptr;
  QTextTable* inner = nullptr;
  const QTextTableCell cell = table->cellAt(0, 0);
  for (QTextFrame::iterator it = cell.begin(); !it.atEnd(); ++it) {
    if (QTextFrame* child = it.currentFrame()) {
      if (inner) return nullptr;
      inner = qobject_cast<QTextTable*>(child);
      if (!inner) return nullptr;
    } else if (!it.currentBlock().text().isEmpty()) {
      return nullptr;
    }
  }
  return inner;
}

// What a cell of the rich text shows: a paragraph's trailing spaces are dropped by the
// conversion of the rich text.
QString ShownCellText(const QTextTableCell& cell) {
  QTextCursor cursor = cell.firstCursorPosition();
  cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
  QString shown = cursor.selectedText();
  while (shown.endsWith(u' ')) shown.chop(1);
  return shown;
}

// Whether the table of the first row shows the texts read for it: its one row below the rows of
// a title or headers, each cell the text
// with nothing around it, its line breaks the lines of the cell's text (those that end it, a
// lone one too, make none).
bool RichTextShowsRow(const QTextTable* table, const std::vector<QString>& row, size_t headRows) {
  if (!table || size_t(table->rows()) != headRows + 1 || size_t(table->columns()) != row.size()) return false;
  for (int x = 0; x < table->columns(); ++x) {
    QString shown = ShownCellText(table->cellAt(int(headRows), x));
    shown.replace(QChar::LineSeparator, u'\n');
    while (shown.endsWith(u'\n')) shown.chop(1);
    if (shown != row[size_t(x)]) return false;
  }
  return true;
}

// A nested table's words join its cell's one paragraph, a space apart, empty cells left out: the
// words of the rows after the first go after the first row's last words, where the rich text
// would have put them, so that the sheet's cell comes out as the whole page would make it.
void JoinRowsAfterFirst(QTextTable* table, const PlainTable& plain) {
  int last = int(plain.firstRow.size()) - 1;
  while (last > 0 && plain.firstRow[size_t(last)].isEmpty()) --last;
  qsizetype length = 0;
  for (const std::vector<PlainCell>& row : plain.rows)
    for (const PlainCell& cell : row) length += cell.text.isEmpty() ? 0 : cell.text.size() + 1;
  QString words;
  words.reserve(length);
  for (const std::vector<PlainCell>& row : plain.rows) {
    for (const PlainCell& cell : row) {
      if (cell.text.isEmpty()) continue;
      words += u' ';
      words += cell.text;
    }
  }
  const QTextTableCell cell = table->cellAt(0, last);
  FLQtHeld<QTextCursor> cursor(cell.firstCursorPosition());
  cursor->setPosition(cursor->position() + plain.firstRow[size_t(last)].size());
  cursor->insertText(words);
}

}  // namespace

bool SetPlainTableReading(bool on) { return std::exchange(g_plainTableReading, on); }

uint64_t PlainTablesRead() { return g_plainTablesRead; }

uint64_t HtmlPagesRead() { return g_pagesRead; }

uint64_t HtmlPagesGivenToRichText() { return g_pagesGivenToRichText; }

uint64_t KeptLinesRead() { return g_keptLinesRead; }

GMHtmlReading ReadHtmlIntoRichText(QTextDocument& text, QStringView page, int64_t budget) {
  const GMHtmlReading reading = ReadHtmlPage(page, &text, budget);
  if (reading.read()) ++g_pagesGivenToRichText;
  return reading;
}

int64_t PlainTableHtmlCost(QStringView page) {
  int64_t longest = 0, namedCells = 0;
  const int64_t formulaCharacters = HtmlFormulaCharacters(page, &longest, &namedCells);
  return page.size() * kPlainTableCharacterCost + HtmlOpeningTags(page) * kPlainTableElementCost +
         formulaCharacters * kFormulaCharacterCost + namedCells * kFormulaNamedCellCost +
         longest * kHtmlFormulaParseCost;
}

int64_t PlainTableHtmlCost(QByteArrayView page) {
  return page.size() * kPlainTableCharacterCost + HtmlOpeningTags(page) * kPlainTableElementCost;
}

QString RichTextHtmlTooLargeReason(int64_t cost, bool pasted) {
  // A page stopped by the work it asks for, not by what it holds, names no memory.
  if (cost <= 0) return QLatin1String(pasted ? kPageTooLongToPasteReason : kPageTooLongToOpenReason);
  return QLatin1String(pasted ? kPageTooLargeToPasteReason : kPageTooLargeToOpenReason).arg(MemorySizeText(cost));
}

QString HtmlTooDeepReason(bool pasted) {
  return QLatin1String(pasted ? kPageTooDeepToPasteReason : kPageTooDeepToOpenReason);
}

namespace {

// Whether the rich text holds the first line of a paragraph whose other lines were taken, alone:
// the page's one paragraph, its text the line's.
bool RichTextShowsFirstLine(const QTextDocument& text, const QString& line) {
  return text.rootFrame()->childFrames().isEmpty() && text.blockCount() == 1 && text.firstBlock().text() == line;
}

// Reads the page into the text through the program's HTML reader with the sheet's own reader of
// long tables listening, within the budget (0: none), where that reading's cost (the page at the
// sheet's own rate) is charged with the rich text's while it listens. Where the page is one long
// table of plain cells and the rich text shows its first row as read, the table: the text holds
// the page without the rows after the first (a nested table's words joined to its first row).
// Otherwise nothing; `whole` tells whether the text holds the whole page as the rich text reads
// it (where the sheet's reader took rows or lines it then gave up, it does not), and `richCost`
// what the rich text's reading of it took. plainCost: PlainTableHtmlCost of the page, where it is
// known. `lines`, when given, listens too, and may take the lines a paragraph keeps (its charges
// are the reading's while it listens): where it did and the rich text shows the first line alone,
// `*linesTaken` is set, and the text holds that line alone.
std::optional<PlainTable> ReadPlainTablePage(QStringView html, GMImportTextDocument& text, bool keepRows,
                                             int64_t budget, GMHtmlReading* reading, bool* whole,
                                             int64_t* richCost = nullptr, int64_t plainCost = -1,
                                             KeptLinesListener* lines = nullptr, bool* linesTaken = nullptr,
                                             bool* listenedToEnd = nullptr) {
  PlainTableListener listener(keepRows);
  if (plainCost < 0) plainCost = PlainTableHtmlCost(html);
  bool listened = false;
  {
    PageListeners listeners{&listener, lines};
    *reading = ReadHtmlPage(html, &text, budget, &listeners, plainCost);
    listened = listeners.listening();
  }
  if (richCost) *richCost = reading->cost - (listened ? plainCost : 0);
  if (listenedToEnd) *listenedToEnd = listened;
  std::optional<PlainTable> table = listener.table();
  const bool tookLines = lines && lines->took();
  *whole = !listener.tookRows() && !tookLines && reading->outcome != GMHtmlReading::Outcome::Left;
  if (linesTaken)
    *linesTaken = tookLines && reading->read() && RichTextShowsFirstLine(text, lines->firstLine());
  if (!table || !reading->read()) return std::nullopt;
  QTextTable* rowTable = TableOfFirstRow(text, table->nested);
  if (!RichTextShowsRow(rowTable, table->firstRow, table->headRows)) return std::nullopt;
  if (table->nested && keepRows) JoinRowsAfterFirst(rowTable, *table);
  return table;
}

}  // namespace

bool HtmlPageIsReadAsPlainTable(const QByteArray& page) { return PlainTableReadingCost(page) >= 0; }

int64_t PlainTableReadingCost(const QByteArray& page, int64_t budget) {
  if (!g_plainTableReading) return -1;
  return PlainTableReadingCost(QStringView(HtmlTextOfBytes(page)), budget);
}

int64_t PlainTableReadingCost(QStringView page, int64_t budget) {
  if (!g_plainTableReading) return -1;
  // Left alone should Qt run out of memory while it is built (FLQtHeld).
  FLQtHeld<GMImportTextDocument> held;
  GMImportTextDocument& text = *held;
  GMHtmlReading reading;
  bool whole = false;
  bool listened = false;
  const bool plain =
      ReadPlainTablePage(page, text, false, budget, &reading, &whole, nullptr, -1, nullptr, nullptr, &listened)
          .has_value();
  // Stopped past the budget where the sheet's reader still read the page as its own, the page is
  // too large for it; where that reader had left it, it is the rich text's, and priced as such.
  if (budget > 0 && reading.outcome == GMHtmlReading::Outcome::TooLarge)
    return listened ? std::max(reading.cost, budget + 1) : -1;
  return plain ? reading.cost : -1;
}

namespace {

// The least that reading the file as a page could take, counted from its bytes without holding
// them: its characters (one a byte in a single-byte character set, and in windows-1252, which a
// page read as UTF-8 is read in when it is no valid UTF-8 and carries no byte-order mark; one a
// character's first byte in UTF-8; one a unit in UTF-16 and UTF-32; a quarter of its bytes in
// any other) and its tags at
// the sheet's own rate, the cheaper reading's. 0 where the file cannot be read (the reading
// itself says why).
int64_t LeastHtmlFileCostOf(const QString& path) {
  constexpr qsizetype kChunk = qsizetype(4) << 20;
  int64_t size = 0;
  int64_t bytes = 0, starts = 0, tags = 0, least = -1;
  bool utf8 = true, tagsCounted = true, afterLess = false, validUtf8 = true, marked = false;
  int continuations = 0;  // of the UTF-8 character being read
  // Read as every named file is: only a regular file, asked so of the file opened without waiting,
  // so that a FIFO put in the page's place is answered at once.
  const auto sized = [&](int64_t fileSize) { size = fileSize; };
  const auto piece = [&](QByteArrayView chunk, bool) {
    const qsizetype read = chunk.size();
    if (read <= 0) return true;
    if (bytes == 0) {
      const PageCharacterSet set = CharacterSetOfPage(chunk);
      const QByteArrayView name = set.name;
      utf8 = name == "UTF-8";
      marked = set.marked;
      tagsCounted = !name.startsWith("UTF-16") && !name.startsWith("UTF-32");
      if (!utf8) {
        least = LeastCharactersOfCharset(name, size);
        if (least == 0) least = size / 4;
      }
    }
    bytes += read;
    const auto* data = reinterpret_cast<const unsigned char*>(chunk.data());
    for (qsizetype i = 0; i < read; ++i) {
      const unsigned char b = data[i];
      const bool continuation = b >= 0x80 && b <= 0xBF;
      starts += !continuation;
      // Told no more strictly than the reading tells it, so that the count is never too high.
      if (continuations > 0) {
        validUtf8 = validUtf8 && continuation;
        --continuations;
      } else if (b >= 0x80) {
        validUtf8 = validUtf8 && !continuation && b < 0xF8;
        continuations = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
      }
      const bool letter = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
      tags += afterLess && letter;
      afterLess = b == '<';
    }
    return true;
  };
  if (!ReadRegularFileInPieces(path, kMaxDocumentFileSize, kChunk, sized, piece) || size <= 0) return 0;
  validUtf8 = validUtf8 && continuations == 0;
  const int64_t characters = !utf8 ? least : validUtf8 || marked ? starts : bytes;
  return characters * kPlainTableCharacterCost + (tagsCounted ? tags : 0) * kPlainTableElementCost;
}

// The same for a file large enough for that to pass the budget; 0 for a smaller one.
int64_t LeastHtmlFileCost(const QString& path, int64_t budget) {
  // A page of tags alone ("<b>" and so on) is the most a byte can cost.
  const int64_t size = QFileInfo(path).size();
  if (size <= 0 || size * (kPlainTableCharacterCost + kPlainTableElementCost / 2) <= budget) return 0;
  return LeastHtmlFileCostOf(path);
}

}  // namespace

int64_t HtmlFileLeastCost(const QString& path) { return LeastHtmlFileCostOf(path); }

qsizetype SetHtmlDecodingPieceSize(qsizetype size) { return std::exchange(g_htmlDecodingPiece, size); }

namespace {

// The rich text read into the sheet, its numbers read as the page writes them (`syntax` tells how,
// where the page tells it; else they are read as the user types them); a long table's rows and the
// lines a paragraph keeps, read apart (`table`, `lines`), tell it too.
bool LoadRichTextPage(CADocument& document, QTextDocument& text, const PlainTable* table,
                      const KeptLinesListener* lines, std::optional<PageNumberSyntax>* syntax);

// Reads a page's text into the document: an opened file's (its path names it in alerts and gives
// the folder its pictures are found in) or a pasted page's (no path). Both read a page alike, at
// the same price and within the same budget, on the meter of the command where one runs.
bool LoadHtmlPage(CADocument& document, QString html, const QString& path, FLError* error) {
  const int64_t kReaderMemoryBudget = PageBudget();
  const bool pasted = path.isEmpty();
  const int64_t leastCost = PlainTableHtmlCost(html);
  if (leastCost > kReaderMemoryBudget) {
    SetError(error, kHtmlTooLargeCode, RichTextHtmlTooLargeReason(leastCost, pasted));
    return false;
  }
  // What every stage from here grows the heap by (the reading, the rich text, its import, the
  // cells) and the work it takes are metered: past the budget the open stops with the reason.
  std::optional<FLReadingMeter> ownMeter;
  FLReadingMeter* running = FLReadingMeter::current();
  FLReadingMeter& meter = running ? *running : ownMeter.emplace(kReaderMemoryBudget);
  // What a refusal names: the memory the page would take, or no memory where the meter stopped it
  // for the work it asks for (spans across thousands of columns in thousands of rows) well within
  // the budget.
  // Where memory ran out (the text engine's records included), the page is no size to name.
  const auto refusedCost = [&](int64_t cost) { return meter.tooLong() && !meter.tooLarge() ? 0 : cost; };
  const auto refuse = [&](int64_t cost) {
    if (meter.outOfMemory()) SetError(error, ENOMEM, QLatin1String(kOutOfMemoryReason), kFLPosixErrorDomain);
    else SetError(error, kHtmlTooLargeCode, RichTextHtmlTooLargeReason(refusedCost(cost), pasted));
    return false;
  };
  const auto tooLarge = [&](int64_t cost) { return refuse(std::max(cost, meter.grown())); };
  // Qt's rich text, left alone (FLQtHeld) should memory run out while it is built or read: the
  // failure goes on to the command, which tells it, and nothing Qt left half-built is used.
  FLQtHeld<GMImportTextDocument> held;
  GMImportTextDocument& text = *held;
  if (!pasted) {
    text.setBaseUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath() + u'/'));
    text.setPageUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
  }
  // The pictures the page names have what its reading leaves of the budget.
  text.setPictureBudget(std::max<int64_t>(kReaderMemoryBudget - leastCost, 1));
  std::optional<PlainTable> table;
  GMHtmlReading reading;
  bool whole = false;
  int64_t richCost = 0;
  KeptLinesListener lines;
  bool linesTaken = false;
  if (g_plainTableReading) {
    // One reading builds the rich text and feeds the sheet's own readers of long tables and of
    // the lines a paragraph keeps.
    table = ReadPlainTablePage(html, text, true, kReaderMemoryBudget, &reading, &whole, &richCost, leastCost, &lines,
                               &linesTaken);
    if (reading.outcome == GMHtmlReading::Outcome::TooLarge) return refuse(reading.cost);
  }
  if (!linesTaken) lines.clear();
  if (table) {
    ++g_plainTablesRead;
    html = QString();  // the rows hold their texts
  } else if (linesTaken) {
    ++g_keptLinesRead;
    html = QString();  // the lines are held apart
  } else {
    if (whole) {
      if (reading.read()) ++g_pagesGivenToRichText;
      reading.cost = richCost;
    } else {
      // The sheet's reader took rows it then gave up: the rich text reads the page again, whole.
      reading = ReadHtmlIntoRichText(text, html, kReaderMemoryBudget);
    }
    html = QString();
    if (reading.outcome == GMHtmlReading::Outcome::TooLarge) return refuse(reading.cost);
    if (reading.outcome == GMHtmlReading::Outcome::TooDeep) {
      SetError(error, -50, HtmlTooDeepReason(pasted));
      return false;
    }
    if (!reading.read()) {
      SetError(error, -50, QLatin1String(kHtmlUnreadable));
      return false;
    }
    // The pictures the page names have what its reading leaves of the budget.
    text.setPictureBudget(std::max<int64_t>(kReaderMemoryBudget - reading.cost, 1));
  }
  std::optional<PageNumberSyntax> syntax;
  if (LoadRichTextPage(document, text, table ? &*table : nullptr, linesTaken ? &lines : nullptr, &syntax)) {
    if (text.picturesLeftOut() > 0) {
      if (pasted)
        ShowPastePicturesAlert(uint64_t(text.picturesLeftOut()));
      else
        ShowImportPicturesAlert(path, uint64_t(text.picturesLeftOut()));
    }
    if (GlimmetImportCutColumns() && !pasted) ShowImportColumnsAlert(path);
    // The rows after the first, made as the conversion of the rich text makes a row's cells,
    // below the first row's (the last the page made); cells that look alike share one format.
    if (table && !table->nested && !document.rows().empty()) {
      const int64_t first = document.rows().back()->gridY();
      CAImportFormats formats;
      for (size_t x = 0; x < table->firstRowValues.size(); ++x) {
        CACell* cell = document.cellAtGridPoint({int64_t(x), first});
        const std::optional<StoredEntry> entry =
            StoredValueEntry(table->firstRow[x], table->firstRowValues[x], table->valuePoint);
        if (cell && entry) EnterStoredValue(*cell, *entry, formats, document);
      }
      for (size_t y = 0; y < table->rows.size(); ++y) {
        if (!FLReadingMeter::Checkpoint(int64_t(table->rows[y].size()) + 1)) return tooLarge(0);
        // Each row's texts go as its cells are made: the cells hold what they keep of them.
        const std::vector<PlainCell> row = std::exchange(table->rows[y], {});
        for (size_t x = 0; x < row.size(); ++x) {
          if (row[x].text.isEmpty()) continue;
          auto cell = std::make_unique<CACell>(GridPoint{int64_t(x), first + 1 + int64_t(y)}, &document);
          std::optional<StoredEntry> entry = StoredValueEntry(row[x].text, row[x].value, table->valuePoint);
          if (!entry) entry = ShortFormEntry(row[x].text, row[x].shortForm, syntax ? *syntax : UserNumberSyntax());
          std::optional<CANumberFormat> shownDate;
          if (entry) {
            cell->setNumberValue(entry->number);
            if (entry->date != 0) cell->setValueType(kValueDate);
          } else EnterPageText(*cell, row[x].text, syntax ? &*syntax : nullptr, &shownDate);
          CAFormat format = row[x].look.format();
          if (entry && entry->format) format.setNumberFormat(&*entry->format);
          else if (shownDate) format.setNumberFormat(&*shownDate);
          if (format.mask() != 0) formats.giveCell(*cell, format, document);
          document.storeCell(std::move(cell));
        }
      }
    }
    // The lines after the first, each a row below the first line's (the page's first row), made
    // as the conversion of the rich text makes a paragraph's cells: the spaces that end it shown
    // by none, each field a tab ends a column's cell.
    if (linesTaken) {
      bool columnsCut = false;
      QString shown;
      for (size_t k = 0; k < lines.lineCount(); ++k) {
        if (!FLReadingMeter::Checkpoint()) return tooLarge(0);
        QStringView line = lines.line(k);
        if (line.contains(u'\r')) {
          shown = line.toString();
          shown.remove(u'\r');
          line = shown;
        }
        while (line.endsWith(u' ')) line.chop(1);
        int64_t x = 0;
        for (const QStringView field : line.tokenize(u'\t')) {
          if (x > LastGridColumn()) {
            // Past the grid's last column, as the conversion of the rich text leaves them.
            if (!field.isEmpty()) columnsCut = true;
            continue;
          }
          if (!field.isEmpty()) {
            auto cell = std::make_unique<CACell>(GridPoint{x, 1 + int64_t(k)}, &document);
            EnterPageText(*cell, WithoutInnerCharacters(field.toString()), syntax ? &*syntax : nullptr);
            document.storeCell(std::move(cell));
          }
          ++x;
        }
      }
      lines.clear();
      if (columnsCut && !GlimmetImportCutColumns() && !pasted) ShowImportColumnsAlert(path);
    }
    return true;
  }
  if (meter.passed()) return tooLarge(reading.cost);
  if (error && error->domain.isEmpty()) SetError(error, -50, QLatin1String(kHtmlUnreadable));
  return false;
}

}  // namespace

bool CADocument::loadHtmlFile(const QString& path, FLError* error) {
  const int64_t kReaderMemoryBudget = PageBudget();
  // Either reading takes several times the page, the sheet's own the least: a page that would
  // take more than an open may even so is refused before it is read, rather than left to
  // exhaust the memory; where the file's bytes already tell, before a byte of it is held.
  const int64_t leastFileCost = LeastHtmlFileCost(path, kReaderMemoryBudget);
  if (leastFileCost > kReaderMemoryBudget) {
    SetError(error, kHtmlTooLargeCode, RichTextHtmlTooLargeReason(leastFileCost));
    return false;
  }
  QString html;
  {
    QByteArray bytes;
    if (!ReadWholeFile(path, &bytes, error)) return false;
    ++g_pagesRead;
    QString failure;
    if (!HtmlTextOfBytes(bytes, &html, &failure)) {
      SetError(error, -50, failure);
      return false;
    }
  }
  return LoadHtmlPage(*this, std::move(html), path, error);
}

namespace {

// A stored value entered in a cell of the rich text: the number its cell of the sheet holds once
// its text is entered, what it is entered as (its number or date, its number format), and where it
// stands (its table among the text's, its row
// and column there).
struct StoredCell {
  CANumber number;
  StoredEntry entry;
  int table = 0, row = 0, column = 0;
  bool own = false;  // told by the sheet's own page beside the text (ShortFormEntry)
};

// The values a spreadsheet wrote behind the numbers of the page's table cells (LibreOffice's
// "sdval", which the HTML reader keeps on each cell): read in the one syntax the page writes them
// in, each cell whose text shows a number is entered as a long table's plain cell is
// (StoredValueEntry; the value the sheet's own pages tell beside a text, ShortFormEntry, alike),
// whatever reading made the text and in whatever locale: its text becomes the
// value as the page's other numbers are read. Gives the cells so entered in the text's order, for
// their number formats (GiveStoredFormats), and how the page writes its numbers and dates
// (`syntax`, ChoosePageSyntax): as its own texts show (the rich text's, the long table's rows and
// the kept lines read apart); else as the language it declares writes them; else as LibreOffice
// wrote its values, in the syntax of the locale it showed the page's numbers in; else nothing:
// the page is read as the user types.
std::vector<StoredCell> EnterStoredValues(QTextDocument& text, const PlainTable* table, const KeptLinesListener* lines,
                                          std::optional<PageNumberSyntax>* syntax) {
  std::vector<QTextTableCell> cells;
  std::vector<int> tables;
  std::vector<std::pair<int, int>> places;  // each cell's row and column
  PlainTable values;  // the values, in the cells' order, as a table's first row holds them
  std::vector<QString> shortForms;  // and the values the sheet's own pages tell beside them
  int tableIndex = 0;
  for (QTextFrame* frame : text.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (!table) continue;
    for (int r = 0; r < table->rows(); ++r) {
      for (int c = 0; c < table->columns(); ++c) {
        const QTextTableCell cell = CellBeginningAt(*table, r, c);
        if (!cell.isValid()) continue;
        const QString value = cell.format().property(kHtmlCellValueProperty).toString();
        const QString shortForm = cell.format().property(kHtmlCellShortFormProperty).toString();
        if (value.isEmpty() && shortForm.isEmpty()) continue;
        cells.push_back(cell);
        tables.push_back(tableIndex);
        places.emplace_back(r, c);
        values.firstRowValues.push_back(value);
        shortForms.push_back(shortForm);
      }
    }
    ++tableIndex;
  }
  std::vector<StoredCell> entered;
  if (!cells.empty()) ValuesInCSyntax(&values);
  const PlainTable* told = values.valuePointSeen ? &values : table && table->valuePointSeen ? table : nullptr;
  // Every page, whatever it declares, is read in the syntax its own texts show; what an element
  // declares in a language of its own tells nothing of the page's.
  PageSyntaxEvidence evidence;
  const auto seeFields = [&evidence](QStringView line) {
    for (const QStringView field : line.tokenize(u'\t')) evidence.see(field);
  };
  for (QTextBlock block = text.begin(); block.isValid(); block = block.next()) {
    bool ownLanguage = false;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd() && !ownLanguage; ++it)
      ownLanguage = it.fragment().charFormat().hasProperty(kTextLanguageProperty);
    if (!ownLanguage) {
      seeFields(block.text());
      continue;
    }
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
      if (!it.fragment().charFormat().hasProperty(kTextLanguageProperty)) seeFields(it.fragment().text());
  }
  if (table)
    for (const std::vector<PlainCell>& row : table->rows)
      for (const PlainCell& cell : row) evidence.see(cell.text);
  if (lines)
    for (size_t k = 0; k < lines->lineCount(); ++k) seeFields(lines->line(k));
  const QString declared = text.rootFrame()->frameFormat().property(kHtmlPageLanguageProperty).toString();
  *syntax = ChoosePageSyntax(evidence, declared, told ? std::optional<QChar>(told->valuePoint) : std::nullopt);
  if (cells.empty()) return entered;
  for (size_t k = 0; k < cells.size(); ++k) {
    const QTextBlock block = cells[k].firstCursorPosition().block();
    // A cell of one paragraph of text alike, as a plain cell is.
    if (cells[k].lastCursorPosition().block() != block) continue;
    const QTextBlock::iterator first = block.begin();
    if (first.atEnd() || !(++QTextBlock::iterator(first)).atEnd()) continue;
    const QString shown = block.text();
    // In the syntax the text is read in: its element's language, else the page's.
    PageNumberSyntax read = *syntax ? **syntax : UserNumberSyntax();
    const QVariant language = first.fragment().charFormat().property(kTextLanguageProperty);
    if (language.isValid())
      read = language.toString().isEmpty() ? UserNumberSyntax() : PageNumberSyntaxOfLanguage(language.toString());
    const QChar point = read.point;
    std::optional<StoredEntry> entry;
    if (!values.firstRowValues[k].isEmpty())
      entry = StoredValueEntry(shown, values.firstRowValues[k], values.valuePoint);
    const bool own = !entry;
    if (own) entry = ShortFormEntry(shown, shortForms[k], read);
    if (!entry) continue;
    QString written = entry->text;
    // What the cell holds once the text is entered, by which its place is found: the value, but
    // for a fraction no decimal writes, which is given its own there.
    const CANumber held = entry->date != 0 ? CANumber(entry->date)
                                           : CANumber::withValidatedString(written, false, u'.', QChar())
                                                 .value_or(entry->number);
    written.replace(u'.', point);
    if (written != shown) {
      FLQtHeld<QTextCursor> cursor(block);
      cursor->movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
      cursor->insertText(written, first.fragment().charFormat());
    }
    entered.push_back({held, std::move(*entry), tables[k], places[k].first, places[k].second, own});
  }
  return entered;
}

// Gives the cells the rich text made of stored values their number formats. The conversion
// makes each table of the text rows of the sheet one below another, each table cell's cell in
// the table's row and column: a table's cells are found where its first stored value's cell puts
// the table, at or below the last table found, where every one of its stored values stands in
// its row and column. A number of the page without a value behind it (a paragraph above) may
// hold the first one's number: the next few such places are tried. Where none holds them all, the
// table's cells keep the numbers without their formats.
void GiveStoredFormats(CADocument& document, const std::vector<StoredCell>& entered) {
  constexpr int kMostPlacesTried = 4;
  // A table whose cells show pictures beside their words has its columns moved right.
  const auto columnOf = [](const StoredCell& stored, int64_t top) {
    return GlimmetImportColumn(top + stored.row, stored.column);
  };
  const auto holds = [&document, &columnOf](const StoredCell& stored, int64_t top) {
    const CARow* row = document.row(top + stored.row);
    const CACellEntry* entry = row ? row->entryAt(columnOf(stored, top)) : nullptr;
    if (!entry) return false;
    const CACellReading cell(*entry, row->gridY(), &document);
    // A number of the sheet's own page that its text would read as a date ("20240117") is one.
    const bool type = cell->valueType() == kValueNumber || (stored.own && cell->valueType() == kValueDate);
    return type && cell->number() && *cell->number() == stored.number;
  };
  CAImportFormats formats;
  size_t rowIndex = 0;  // the sheet's rows from here on are below the tables found
  for (size_t first = 0; first < entered.size();) {
    size_t end = first;
    bool formatted = false;
    // A table whose cells take a format, a date or a value other than their text's.
    while (end < entered.size() && entered[end].table == entered[first].table) {
      const StoredCell& stored = entered[end++];
      formatted = stored.entry.format.has_value() || stored.own || formatted;
    }
    const StoredCell& lead = entered[first];
    const size_t from = rowIndex;
    bool found = false;
    int tried = 0;
    for (; formatted && rowIndex < document.rows().size() && tried < kMostPlacesTried; ++rowIndex) {
      const int64_t y = document.rows()[rowIndex]->gridY();
      const int64_t top = y - lead.row;
      if (top < 0 || !holds(lead, top)) continue;
      ++tried;
      bool all = true;
      for (size_t k = first + 1; k < end && all; ++k) all = holds(entered[k], top);
      if (!all) continue;
      for (size_t k = first; k < end; ++k) {
        CACell* cell = document.cellAtGridPoint({columnOf(entered[k], top), top + entered[k].row});
        if (!cell) continue;
        if (entered[k].entry.date != 0) {
          cell->setNumberValue(CANumber(entered[k].entry.date));
          cell->setValueType(kValueDate);
        } else if (entered[k].own) {
          cell->setNumberValue(entered[k].entry.number);
        }
        if (!entered[k].entry.format) continue;
        CAFormat own = cell->format() ? cell->format()->copy() : CAFormat();
        own.setNumberFormat(&*entered[k].entry.format);
        formats.giveCell(*cell, own, document);
      }
      const int64_t below = top + entered[end - 1].row;
      while (rowIndex < document.rows().size() && document.rows()[rowIndex]->gridY() <= below) ++rowIndex;
      found = true;
      break;
    }
    if (!found) rowIndex = from;
    first = end;
  }
}

bool LoadRichTextPage(CADocument& document, QTextDocument& text, const PlainTable* table,
                      const KeptLinesListener* lines, std::optional<PageNumberSyntax>* syntax) {
  const std::vector<StoredCell> entered = EnterStoredValues(text, table, lines, syntax);
  const QString pageLanguage = text.rootFrame()->frameFormat().property(kHtmlPageLanguageProperty).toString().trimmed();
  const auto* read = dynamic_cast<const GMImportTextDocument*>(&text);
  const PageAddressScope address(read && !read->pageUrl().isEmpty() ? read->pageUrl().toString() : QString());
  if (!NewImportDocument()) return false;
  GMTextLanguages languages;
  bool imported = false;
  try {
    imported = ImportAttributedText(g_glimmetDoc, text, &languages);
    text.clear();
  } catch (const std::bad_alloc&) {
    // The engine's document goes; the rich text is left to its holder, as Qt left it.
    DestroyImportDocument();
    throw;
  }
  if (!imported) {
    DestroyImportDocument();
    return false;
  }
  {
    // The text an element declares in a language of its own is read in that language; in the
    // page's own, as the page's other text.
    std::vector<std::optional<PageNumberSyntax>> languageSyntaxes(languages.nameCount());
    for (size_t k = 0; k < languages.nameCount(); ++k) {
      const QString& name = languages.name(int32_t(k));
      if (name.isEmpty()) continue;
      languageSyntaxes[k] = *syntax && name.compare(pageLanguage, Qt::CaseInsensitive) == 0
                                ? **syntax
                                : DeclaredLanguageSyntax(name);
    }
    const PageNumberSyntaxScope numbers(*syntax ? &**syntax : nullptr, &languages, std::move(languageSyntaxes));
    if (!document.loadFromGlimmet()) return false;
  }
  GiveStoredFormats(document, entered);
  return true;
}

}  // namespace

int64_t PageReadingBudget() { return g_pageReadingBudget; }

int64_t PageBudget() { return BudgetWithinLimits(g_pageReadingBudget); }

int64_t SetPageReadingBudget(int64_t budget) { return std::exchange(g_pageReadingBudget, budget); }

namespace {

// The page's text goes to the reading, which lets it go once the rows hold their texts.
bool LoadPastedPage(CADocument& document, QString html, bool* refused, bool tellUnreadable) {
  *refused = false;
  FLError error;
  if (LoadHtmlPage(document, std::move(html), QString(), &error)) return true;
  // Run out of memory: the paste tells it as any command that does, and pastes no plain text.
  if (error.code == ENOMEM) {
    FLReadingMeter::NoteOutOfMemory();
    *refused = true;
    return false;
  }
  // A page too large to paste is told as such: its plain text is no paste of it. A page the reader
  // gives up on for another reason (its depth, nothing it can read) leaves the clipboard's plain
  // text to be pasted instead, where it has one; where it has none, the alert says why.
  if (error.reason.isEmpty() || (error.code != kHtmlTooLargeCode && !tellUnreadable)) return false;
  *refused = true;
  ShowPlainImportAlert(QLatin1String(kPastePageTooLargeMessage), error.reason);
  return false;
}

}  // namespace

bool LoadPastedHtml(CADocument& document, const QString& html, bool* refused, bool tellUnreadable) {
  return LoadPastedPage(document, html, refused, tellUnreadable);
}

bool LoadPastedHtml(CADocument& document, const QByteArray& page, bool* refused, bool tellUnreadable) {
  *refused = false;
  QString html, failure;
  // Read in the character set an open reads the page in: its byte-order mark, its own
  // declaration, else UTF-8.
  if (!HtmlTextOfBytes(page, &html, &failure)) {
    if (!tellUnreadable) return false;
    *refused = true;
    ShowPlainImportAlert(QLatin1String(kPastePageTooLargeMessage), failure);
    return false;
  }
  return LoadPastedPage(document, std::move(html), refused, tellUnreadable);
}

bool CADocument::loadAttributedString(QTextDocument& text) {
  std::optional<PageNumberSyntax> syntax;
  return LoadRichTextPage(*this, text, nullptr, nullptr, &syntax);
}
