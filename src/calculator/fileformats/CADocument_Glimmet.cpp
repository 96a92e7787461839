// A text-engine document becomes cells: each paragraph outside a table is a row whose
// tab-separated fields are columns, each table row is a row whose cells are columns, and a table
// at the very start of the text also gives the sheet its table look. Pictures, links and
// checkboxes become cells of their kind.
#include "calculator/fileformats/caGlimmetImport.h"
#include "calculator/fileformats/caImportFormats.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flImageSupport.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/foundation/flTextServices.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTables.h"

#include <QFileInfo>
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
const PageNumberSyntax* t_pageSyntax = nullptr;

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

void EnterPageText(CACell& cell, const QString& text, const PageNumberSyntax* syntax) {
  if (syntax) {
    if (syntax->dates) {
      // A date as the page's language writes it, ahead of a number, as typing reads one.
      const QString cleaned = cleanUp(text, false, false);
      if (!cleaned.isEmpty() && cleaned[0] != u'=') {
        if (const int32_t day = ParseIntoDayIndexInOrder(cleaned, *syntax->dates)) {
          cell.setNumberValue(CANumber(day));
          cell.setValueType(kValueDate);
          return;
        }
      }
    }
    if (const std::optional<CANumber> number = PageNumberOf(text, *syntax)) {
      cell.setNumberValue(*number);
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

PageNumberSyntaxScope::PageNumberSyntaxScope(const PageNumberSyntax* syntax) : outer_(t_pageSyntax) {
  if (syntax) syntax_ = *syntax;
  t_pageSyntax = syntax_ ? &*syntax_ : nullptr;
}

PageNumberSyntaxScope::~PageNumberSyntaxScope() { t_pageSyntax = outer_; }

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

// Run kinds of GetNextRun.
enum : int { kRunKnot = 1, kRunSeparator = 2, kRunText = 3 };

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

// The raw text of the slot after a knot's kink number n, up to its next kink.
QString KnotSlot(GlimmetDoc* doc, const KnotInfo& knot, uint32_t n) {
  if (n + 1 >= knot.kinkCount) return QString();
  return RawTextString(doc, knot.kinkCps[n] + 1, knot.kinkCps[n + 1]);
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

bool MakesCell(const KnotInfo& knot) {
  return knot.found() && (knot.type() == kKnotPicture || knot.type() == kKnotLink || knot.type() == kKnotCheckbox);
}

// The words a link shows: its first slot's text without the knots it holds, the first picture
// among which goes to `picture` unless one was found before it. Where the link held a knot
// (a picture with its words after it), the blanks around the words are not theirs.
QString LinkWords(GlimmetDoc* doc, const KnotInfo& link, KnotInfo* picture) {
  if (link.kinkCount < 2 || link.kinkCps[1] <= link.kinkCps[0]) return QString();
  const uint32_t first = link.kinkCps[0] + 1;
  const QString raw = RawTextString(doc, first, link.kinkCps[1]);
  QString words;
  bool heldKnot = false;
  for (qsizetype i = 0; i < raw.size();) {
    if (!IsKinkChar(raw[i].unicode())) {
      words += raw[i] == QChar::LineSeparator ? QChar(u'\n') : raw[i];
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
    if (inner.type() == kKnotPicture && !picture->found()) *picture = inner;
    i = qsizetype(std::min<uint32_t>(inner.limit - first, uint32_t(raw.size())));
  }
  return heldKnot ? words.trimmed() : words;
}

// The next run of a paragraph from *cursor to end: a field, which outside a table a tab ends (a
// tab at the cursor is a separator) and inside one the paragraph's end (tabs there are text).
// A field that is one knot making a cell (a picture, link or checkbox), with at most spaces
// beside it, is that knot; so is a field of one link and pictures, whose first picture (one the
// link holds, a picture that is the link, or one beside it) goes `beside` it, as a picture beside
// words does: *text then holds the link's words. A field of several links that show pictures
// alone (a line of badges) is its first link so; outside a table, with `more` asked, it is a link
// at a time, each with the pictures before the next (*more set while links follow, the cursor at
// the next; given set, the field is known to be one, and is read no further than its next
// link). A field that
// shows a picture among text or other knots is its first picture, which a cell holds without
// text, unless the caller takes a picture `beside` the field's words: then the field is its
// words, and its first picture goes beside them; any other field is its text, a link giving its
// shown text and a table inside a cell its words, so that no text beside a link is lost.
// A field of words and one link that shows no words of its own (a linked picture, or a link whose
// picture could not be had) tells the link `besideLink`, when asked: the words are the field's
// text, and the link and its picture take columns of their own beside them.
struct LinkBesideWords {
  KnotInfo link;
  bool linkFirst = false;  // the link comes before the words
  uint32_t wordsFirst = 0; // where the words' first character is
};

int GetNextRun(GlimmetDoc* doc, uint32_t end, bool inTable, uint32_t* cursor, KnotInfo* knot, QString* text,
               KnotInfo* beside = nullptr, bool* more = nullptr, LinkBesideWords* besideLink = nullptr) {
  if (beside) {
    beside->doc = nullptr;
    beside->index = -1;
  }
  if (besideLink) *besideLink = LinkBesideWords();
  const bool continuing = more && *more;
  if (more) *more = false;
  text->clear();
  knot->doc = nullptr;
  knot->index = -1;
  if (*cursor >= end) return kRunText;
  KnotInfo first, found, picture, link, firstItemPicture;
  int knots = 0, links = 0, others = 0;
  bool ownText = false;     // text of the field's own, outside its knots
  bool textBeforeLink = false;
  uint32_t wordsFirst = 0;
  bool linkShowsWords = false;
  QString firstLinkWords;
  uint32_t secondLink = 0;  // where the field's second link starts
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
          return kRunSeparator;
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
      *text += QChar(inTable && unit == u'\t' ? u' ' : unit == QChar::LineSeparator ? u'\n' : unit);
      if (unit != u' ' && unit != u'\t' && !ownText) {
        ownText = true;
        wordsFirst = cp;
      }
    }
    if (stopped || cp >= end) break;
    // A knot starts at cp.
    if (!FetchKnot(doc, cp, &found, 0)) found.index = -1;
    const uint32_t next = found.found() && found.limit > cp ? found.limit : cp + 1;
    if (found.found()) {
      ++knots;
      if (knots == 1) first = found;
      if (found.type() == kKnotPicture) {
        if (!picture.found()) picture = found;
        if (links < 2 && !firstItemPicture.found()) firstItemPicture = found;
      } else if (found.type() == kKnotLink) {
        if (++links == 2) secondLink = cp;
        const QString words = LinkWords(doc, found, links < 2 ? &firstItemPicture : &picture);
        if (!picture.found() && firstItemPicture.found()) picture = firstItemPicture;
        if (links == 1) {
          link = found;
          firstLinkWords = words;
          textBeforeLink = ownText;
        }
        if (!words.trimmed().isEmpty()) linkShowsWords = true;
        *text += words;
        if (continuing && links == 2) break;
      } else {
        ++others;
        if (found.type() == kKnotTable) *text += QLatin1Char(' ') + KnotWords(doc, found) + QLatin1Char(' ');
      }
    }
    cp = std::min(next, end);
  }
  if (cp >= end) *cursor = end;
  if (links > 0 && !ownText && others == 0 && (links == 1 || !linkShowsWords)) {
    *knot = link;
    // The blank between a picture and the link's words is no word of the link's.
    *text = knots > 1 || picture.found() ? firstLinkWords.trimmed() : firstLinkWords;
    if (beside) *beside = links == 1 ? picture : firstItemPicture;
    if (links > 1 && more && !inTable) {
      *cursor = secondLink;
      *more = true;
    }
    return kRunKnot;
  }
  if (knots == 1 && MakesCell(first) && !ownText) {
    *knot = first;
    text->clear();
    return kRunKnot;
  }
  if (knots > 0) *text = CollapsedBlanks(*text);
  if (besideLink && links == 1 && others == 0 && ownText && !text->isEmpty() && firstLinkWords.trimmed().isEmpty()) {
    besideLink->link = link;
    besideLink->linkFirst = !textBeforeLink;
    besideLink->wordsFirst = wordsFirst;
    if (beside) *beside = picture;
    return kRunText;
  }
  if (picture.found()) {
    if (beside && !text->isEmpty()) {
      *beside = picture;
      return kRunText;
    }
    *knot = picture;
    text->clear();
    return kRunKnot;
  }
  return kRunText;
}

// The lines of a table cell after its first paragraph, each after a line break: a cell's
// paragraphs are the lines of one cell text, as a cell of a delimited text holds them.
// `paraLimit` is the first paragraph's limit; the cell goes on while a paragraph ends with a mark
// rather than with the kink that closes the cell. A line that is a picture or a checkbox adds no
// text; one that is a link adds its words.
QString FollowingCellLines(GlimmetDoc* doc, uint32_t paraLimit) {
  QString lines;
  const uint32_t textEnd = doc->userLength > 0 ? uint32_t(doc->userLength) : 0;
  uint32_t limit = paraLimit;
  while (limit > 0 && limit < textEnd && IsParaMarkChar(doc->charAt(limit - 1))) {
    DocRange para;
    PropRecord props;
    FetchParaProps(doc, nullptr, limit, &para, &props);
    if (para.first != limit || para.limit <= limit) break;
    uint32_t cursor = para.first;
    KnotInfo knot, picture;
    QString text;
    lines += u'\n';
    // A line's words stay where a picture beside them has no cell of its own, a link's with them.
    GetNextRun(doc, para.limit - 1, true, &cursor, &knot, &text, &picture);
    lines += text;
    limit = para.limit;
  }
  return lines;
}

// Line breaks that end a cell's text show nothing (a cell written as a lone line break is empty).
void DropTrailingLineBreaks(QString* text) {
  qsizetype size = text->size();
  while (size > 0 && text->at(size - 1) == u'\n') --size;
  text->truncate(size);
}

// A link cell of the address, showing its words whatever the address (one the sheet would not
// take as a link when typed too: a page's relative or unusual addresses). An address that only
// runs a script in a browser leaves the words alone, as text. NO where that leaves nothing.
bool MakeLinkCell(CACell& cell, const QString& target, const QString& shown) {
  const QString scheme = target.section(u':', 0, 0).trimmed().toLower();
  if (target.contains(u':') && (scheme == u"javascript" || scheme == u"vbscript" || scheme == u"data")) {
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

// The cell becomes the picture of the knot; NO where the engine holds no image for it.
bool MakePictureCell(CACell& cell, CADocument& document, GlimmetDoc* doc, const KnotInfo& knot) {
  const uint32_t index = knot.entry.word;
  if (index >= doc->pictures.size() || !doc->pictures[index].image) return false;
  const GMPicture& source = doc->pictures[index];
  auto image = std::static_pointer_cast<FLImage>(source.image);
  std::shared_ptr<CAPicture> picture = CAPicture::withImage(image, &document);
  if (!picture) return false;
  if (!source.path.isEmpty()) picture->setImageFormat(ImageFormatFromExtension(QFileInfo(source.path).suffix()));
  cell.setPicture(picture);
  return true;
}

// Pictures that went beside the words of a table cell, made once the row's cells are: each takes
// its place only where the row leaves it empty.
std::vector<std::unique_ptr<CACell>>* t_picturesBeside = nullptr;

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
      CAColumn* column = columnImperative(i);
      column->setDigitCount(-1);
      column->setWidth(i < g_glimmetLeadingWidths.size() ? g_glimmetLeadingWidths[i]
                                                         : props.get<int64_t>(TableProp::widths + 8 * i));
    }
  }

  std::vector<std::unique_ptr<CACell>> beside;
  t_picturesBeside = &beside;
  for (;;) {
    if (!FLReadingMeter::Checkpoint(row.kinkCount)) return false;
    for (uint32_t i = 0; i + 1 < row.kinkCount; ++i) {
      uint32_t cellCp = row.kinkCps[i] + 1;
      convertParagraph(&cellCp, {int64_t(i), point->y}, true, CellBackgroundAt(doc, row.kinkCps[i + 1]));
    }
    for (std::unique_ptr<CACell>& picture : beside)
      if (!cellAtGridPoint(picture->gridPoint())) storeCell(std::move(picture));
    beside.clear();
    ++point->y;
    if (row.limit + 1 >= table.limit) break;
    const uint32_t next = row.limit;
    if (!FetchKnot(doc, next, &row, kKnotRow) || row.first != next) break;
  }
  t_picturesBeside = nullptr;
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
  KnotInfo knot;
  QString text;
  // A table cell's later paragraphs are lines of its text, even when its first is empty.
  const QString cellLines = inTable ? FollowingCellLines(doc, para.limit) : QString();
  bool pendingLines = !cellLines.isEmpty();
  bool more = false;  // the field goes on with links of its own
  while (cursor < end || pendingLines) {
    if (at.x > LastGridColumn()) {
      // Fields past the grid's last column are left out, as the readers of delimited text leave
      // them, and what they would have held is told.
      if (HoldsFieldsFrom(doc, cursor, end)) g_glimmetColumnsCut = true;
      break;
    }
    const uint32_t runFirst = cursor;
    KnotInfo picture;
    LinkBesideWords linkBeside;
    int kind = GetNextRun(doc, end, inTable, &cursor, &knot, &text, &picture, &more, &linkBeside);
    if (kind == kRunSeparator) {
      ++at.x;
      continue;
    }
    // A picture alone on a cell's first line with words on the lines after it (a figure and its
    // caption) is a picture beside those words, as beside words on its own line: the words stay.
    if (pendingLines && kind == kRunKnot && knot.found() && knot.type() == kKnotPicture &&
        std::any_of(cellLines.begin(), cellLines.end(), [](QChar ch) { return ch != u'\n'; })) {
      picture = knot;
      kind = kRunText;
    }
    const bool linkRun = kind == kRunKnot && knot.found() && knot.type() == kKnotLink;
    if (pendingLines && (kind == kRunText || linkRun)) {
      // A first line that shows no words but a picture or a picture's link leaves no empty line
      // above them, which would hide them in a row of one line.
      text += text.isEmpty() && (picture.found() || linkRun) ? cellLines.sliced(1) : cellLines;
      DropTrailingLineBreaks(&text);
    }
    pendingLines = false;
    text = WithoutInnerCharacters(text);
    auto cell = std::make_unique<CACell>(at, this);
    bool made = false;
    bool textRun = false;
    if (kind == kRunText && !text.isEmpty()) {
      EnterPageText(*cell, text, t_pageSyntax);
      made = textRun = true;
    } else if (kind == kRunKnot && knot.found()) {
      switch (knot.type()) {
        case kKnotPicture:
          made = MakePictureCell(*cell, *this, doc, knot);
          break;
        case kKnotLink:
          // The display text fills the first slot (the run gives its words), the address the second.
          made = MakeLinkCell(*cell, WithoutInnerCharacters(KnotSlot(doc, knot, 1)), text);
          break;
        case kKnotCheckbox:
          cell->setValueType(kValueCheckbox);
          cell->setChecked((knot.entry.word & 0xFF) != 0);
          made = true;
          break;
        default:
          break;
      }
    }
    // A link beside the field's words that shows none of its own (a linked picture) is a link
    // cell of its own, as a link that holds a picture is.
    std::unique_ptr<CACell> linkCell;
    if (made && textRun && linkBeside.link.found()) {
      linkCell = std::make_unique<CACell>(at, this);
      if (!MakeLinkCell(*linkCell, WithoutInnerCharacters(KnotSlot(doc, linkBeside.link, 1)), QString()))
        linkCell.reset();
    }
    std::unique_ptr<CACell> pictureCell;
    if (picture.found()) {
      pictureCell = std::make_unique<CACell>(at, this);
      if (!MakePictureCell(*pictureCell, *this, doc, picture)) pictureCell.reset();
    }
    // The field's cells take a column each, in the order a browser shows them: the words, then
    // the link and its picture, or the link and its picture first where the link comes before the
    // words. A picture beside words alone takes the column after them. The field's first cell
    // takes its column (kept even where it makes none); in a table cell the others take theirs
    // only where the row leaves them empty (t_picturesBeside). Past the grid's last column they
    // are left out and told, as the fields there are.
    std::vector<std::unique_ptr<CACell>> pieces;
    const CACell* const besidePicture = pictureCell.get();
    const bool linkFirst = linkCell && linkBeside.linkFirst;
    if (linkFirst) {
      pieces.push_back(std::move(linkCell));
      if (pictureCell) pieces.push_back(std::move(pictureCell));
      pieces.push_back(made ? std::move(cell) : nullptr);
    } else {
      pieces.push_back(made ? std::move(cell) : nullptr);
      if (linkCell) pieces.push_back(std::move(linkCell));
      if (pictureCell) pieces.push_back(std::move(pictureCell));
    }
    const size_t wordsAt = linkFirst ? pieces.size() - 1 : 0;
    for (size_t k = 0; k < pieces.size(); ++k) {
      std::unique_ptr<CACell>& piece = pieces[k];
      if (!piece) continue;
      const int64_t x = at.x + int64_t(k);
      if (x > LastGridColumn()) {
        g_glimmetColumnsCut = true;
        continue;
      }
      piece->setGridPoint({x, at.y});
      CAFormat format = FieldFormat(backgroundKolor, paraProps);
      if (textRun && k == wordsAt) {
        // The looks are those of the text's first character: the closing kinks of a list or a
        // link before it have looks of their own.
        uint32_t textFirst = linkBeside.link.found() ? linkBeside.wordsFirst : runFirst;
        while (textFirst < end && IsKinkChar(doc->charAt(textFirst))) ++textFirst;
        PropRecord chars;
        FetchCharProps(doc, textFirst, nullptr, &chars);
        if (chars.body[CharField::bold]) format.setBold(true);
        if (chars.body[CharField::italic]) format.setItalic(true);
        if (chars.get<int32_t>(CharField::underline)) format.setUnderline(true);
        if (chars.body[CharField::strike]) format.setStrike(true);
        const Kolor color = chars.get<uint32_t>(CharField::color);
        if (KolorIsColor(color) && color != g_blackKolor) format.setTextKolor(color);
      }
      if (format.mask() != 0) {
        if (t_importFormats && piece.get() != besidePicture) t_importFormats->giveCell(*piece, format, *this);
        else piece->setFormat(std::move(format));
      }
      if (k == 0 || !inTable) storeCell(std::move(piece));
      else if (t_picturesBeside) t_picturesBeside->push_back(std::move(piece));
    }
    if (!inTable) at.x += int64_t(pieces.size()) - 1;
    if (inTable) break;
    // The rest of the field is passed over up to the next separator, unless more links of it
    // take columns of their own.
    if (!more) {
      while (cursor < end && GetNextRun(doc, end, false, &cursor, &knot, &text) != kRunSeparator) {
      }
    }
    ++at.x;
  }
  return true;
}
