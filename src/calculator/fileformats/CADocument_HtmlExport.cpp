// The sheet, or the selection, as one XHTML 1.0 Strict page holding one table: an embedded style
// sheet carries the document-wide look, inline styles what differs per cell. Picture cells are
// written as files into an "images" folder beside the page.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caGlimmetImport.h"
#include "calculator/fileformats/caHtml.h"

#include "calculator/fileformats/caPackageWriter.h"
#include "calculator/fileformats/caTextLines.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flDates.h"

#include <functional>
#include <optional>
#include <vector>
#include "framlet/foundation/flImageSaving.h"
#include "glimmet/storage/gmBorders.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

constexpr const char* kPageStart =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
    "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"%1\" xml:lang=\"%1\">\n"
    "<head>\n"
    "\t<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />\n";
// Languages a page may declare where the user's own locale names no language that writes as the
// sheet does (the C locale), tried before every other.
constexpr const char* kNumberSyntaxLanguages[] = {"en", "en-GB", "de", "fr", "de-CH"};

// Whether a page in `language` is read as the sheet writes its numbers and dates: its
// separators, its amounts' currency symbol and its dates' order.
bool LanguageReadsWhatIsWritten(const QString& language) {
  const PageNumberSyntax page = PageNumberSyntaxOfLanguage(language);
  const CANumberLocale& user = NumberTextLocale();
  if (!SameNumberSyntax(page, PageNumberSyntax{user.decimalSeparatorChar, user.groupSeparatorChar})) return false;
  if (!page.dates || page.dates->dayFirst != DayFirstDateFormat()) return false;
  const QString& currency = user.currencySymbol;
  return (currency.size() == 1 && CharIsCurrency(currency[0].unicode())) || page.currency == currency;
}

// The page declares a language that writes its numbers and dates as the sheet writes them for
// the user (the user's own where it does), which its reader reads them in, so that they read
// back alike in every locale. The choice holds for as long as the user's locale does.
QString PageLanguageOfUserNumbers() {
  static QString chosen, chosenFor;
  const CANumberLocale& user = NumberTextLocale();
  const QLocale own;
  const QString key = own.name() + u'|' + user.decimalSeparator + u'|' + user.groupSeparator + u'|' +
                      user.currencySymbol + u'|' + QString::number(DayFirstDateFormat());
  if (key == chosenFor) return chosen;
  QStringList candidates{own.bcp47Name(), own.name().replace(u'_', u'-')};
  for (const char* other : kNumberSyntaxLanguages) candidates.append(QLatin1String(other));
  for (const QLocale& same : QLocale::matchingLocales(own.language(), QLocale::AnyScript, QLocale::AnyTerritory))
    candidates.append(same.bcp47Name());
  for (const QLocale& any : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory))
    candidates.append(any.bcp47Name());
  chosen = own.bcp47Name();
  for (const QString& candidate : candidates)
    if (candidate != u"C" && LanguageReadsWhatIsWritten(candidate)) {
      chosen = candidate;
      break;
    }
  chosenFor = key;
  return chosen;
}
// The value a cell's table cell tells beside its text ("abbr", its short form, which a browser
// does not show), where the reader of the page's language would not enter the text as the value
// the cell holds: a date it reads as another ("03-04-26" year first) or not at all, a number it
// reads as a date ("20240117") or not at all (a fraction, "2 1/2"), or as another (one its format
// rounds); so that every number and date reads back as the sheet holds it, in every locale. Empty
// where the text reads back as the value, or the cell holds no number or date.
// `page` is the syntax of the page's language.
QString ToldValueOf(const CACell& cell, const QString& shown, const PageNumberSyntax& page) {
  const bool date = cell.valueType() == kValueDate;
  if (shown.isEmpty() || !cell.number() || (!date && cell.valueType() != kValueNumber)) return QString();
  const CANumber value = *cell.number();
  const PageTextReading reading = ReadPageText(shown, page);
  const bool readsBack = date ? reading.date != 0 && reading.date == value.integerValue()
                              : reading.date == 0 && reading.number && *reading.number == value;
  return readsBack ? QString() : PageValueText(value, date);
}

constexpr const char* kGeneratorFormat = "\t<meta name=\"Generator\" content=\"%1 %2\" />\n";
constexpr const char* kTitlePlaceholder = "&###";
constexpr const char* kStyleStart = "\t<style type=\"text/css\">\n";
constexpr const char* kStyleEnd = "\t</style>";
constexpr const char* kBodyStart = "</head>\n\n<body>\n";
constexpr const char* kEmptyCell = "\t\t\t\t<br/>\n";
// What a picture's image element can take beyond the empty-cell line it stands in for: its
// file's name, its style and its size.
constexpr int64_t kPictureElementLength = 256;
constexpr const char* kBackgroundFormat = "background-color:%1;";
constexpr const char* kPageFileName = "index.html";
constexpr const char* kImagesFolder = "images";
constexpr const char* kPictureFileFormat = "Picture%1";
constexpr const char* kUntitledTitle = "Untitled";

// How much of a page is made before it is put by: into a chunk of its cells' pieces, or into the
// text of a page made to be priced.
qsizetype g_exportPiece = qsizetype(4) << 20;

// The text of a page made to be priced: the page's bytes go into it a piece at a time as they
// are made, read as the reader reads the whole page's, so that the bytes and their text are
// never held whole together. Where that cannot be told piece by piece (the page is not read as
// UTF-8, or a piece is no valid UTF-8 on its own), the text is not the reader's: `finish` says so.
struct PricedText {
  QString text;
  int64_t bytes = 0;

  void append(QByteArrayView piece) { appendRepeated(piece, 1); }
  void appendRepeated(QByteArrayView piece, int64_t times) {
    if (piece.isEmpty() || times <= 0) return;
    for (int64_t i = 0; i < times && start_.size() < kHtmlCharacterSetBytes; ++i)
      start_.append(piece.first(std::min(piece.size(), kHtmlCharacterSetBytes - start_.size())));
    bytes += piece.size() * times;
    if (!exact_) return;
    if (!piece.isValidUtf8()) {
      exact_ = false;
      text = QString();
      return;
    }
    // A byte-order mark is a character of the text but at the page's start, where the page is
    // not read as these bytes are (finish): a piece's first one is kept.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const qsizetype at = text.size();
    text.resize(at + decoder.requiredSpace(piece.size()));
    const QChar* end = decoder.appendToBuffer(text.data() + at, piece);
    text.resize(end - text.constData());
    if (times > 1) {
      const QString decoded = text.sliced(at);
      AppendRepeated(text, decoded, times - 1);
    }
  }
  bool finish() { return exact_ = exact_ && HtmlPageIsReadAsUtf8(start_); }

 private:
  QByteArray start_;  // where the reader looks for the page's character set
  bool exact_ = true;
};

// One export: the page, in UTF-8, and where it goes.
struct HtmlExport {
  QByteArray page;
  QString folder;          // null for the pasteboard
  QString picturesFolder;  // made on first use
  int pictureCount = 0;
  // The file each image went to: cells that share an image share its file, which a reader
  // then decodes once.
  FLKeyedTable<QByteArray, QString> pictureFiles;
  int checkboxCount = 0;
  int indent = 1;
  FLError* error = nullptr;
  int64_t x = 0, y = 0;
  GridRange range;
  double paddingX = 0, paddingY = 0;  // points
  Kolor defaultBackground = kNoKolor;
  PageNumberSyntax syntax;  // how the page's language writes numbers and dates
  bool border = true;
  bool ok = true;
  // Pictures are given their elements but no file: the page is made to be priced.
  bool pricing = false;
  // Where the page is made to be priced, what is made goes on into its text.
  PricedText* pricedText = nullptr;

  void tabs(int count) { page.append(std::max(count, 0), '\t'); }
  void add(QStringView text) { AppendUtf8(page, text); }
  // What is made goes into the text once it is a piece's worth, or `all` of it; called where a
  // row has ended, so that no piece ends within a character.
  void passToText(bool all = false) {
    if (!pricedText || (!all && page.size() < g_exportPiece)) return;
    pricedText->append(page);
    page.resize(0);
  }
};

QString Background(Kolor kolor) { return QLatin1String(kBackgroundFormat).arg(CssColorString(kolor)); }

// The declarations of a format: alignment and, for a cell, its background.
QStringList ParagraphDeclarations(const CADocument& document, const CAFormat& format, const CACell* cell) {
  QStringList css;
  int32_t alignment = format.alignment();
  if (alignment == kAlignmentAuto) alignment = cell ? cell->defaultAlignment(false) : kAlignmentLeft;
  const char* align = alignment == kAlignmentCenter ? "center" : alignment == kAlignmentRight ? "right" : "left";
  css << QStringLiteral("text-align:%1;").arg(QLatin1String(align));
  if (cell && format.hasPropertyForMask(kFormatBackground) && KolorIsColor(format.backgroundKolor()))
    css << Background(format.backgroundKolor());
  Q_UNUSED(document);
  return css;
}

// Character declarations: for a cell where it differs from the default format, for the
// default format (no cell) where it is set.
QStringList CharacterDeclarations(const CADocument& document, const CAFormat& format, const CACell* cell) {
  QStringList css;
  const CAFormat& defaults = document.defaultFormat();
  if (format.hasPropertyForMask(kFormatTextColor)) {
    const Kolor kolor = KolorIsColor(format.textKolor()) ? format.textKolor() : g_blackKolor;
    if (cell ? kolor != defaults.textKolor() : KolorIsColor(format.textKolor()))
      css << QStringLiteral("color:%1;").arg(CssColorString(kolor));
  }
  if (format.hasPropertyForMask(kFormatBold) && (cell ? format.bold() != defaults.bold() : format.bold()))
    css << QStringLiteral("font-weight:%1;").arg(QLatin1String(format.bold() ? "bold" : "normal"));
  if (format.hasPropertyForMask(kFormatItalic) && (cell ? format.italic() != defaults.italic() : format.italic()))
    css << QStringLiteral("font-style:%1;").arg(QLatin1String(format.italic() ? "italic" : "normal"));
  const bool underline = format.hasPropertyForMask(kFormatUnderline) ? format.underline() : defaults.underline();
  const bool strike = format.hasPropertyForMask(kFormatStrike) ? format.strike() : defaults.strike();
  const bool write = cell ? underline != defaults.underline() || strike != defaults.strike() : underline || strike;
  if (write) {
    const char* decoration = underline && strike ? "underline line-through"
                             : underline         ? "underline"
                             : strike            ? "line-through"
                                                 : "none";
    css << QStringLiteral("text-decoration:%1;").arg(QLatin1String(decoration));
  }
  return css;
}

QString StyleSheet(const CADocument& document, const HtmlExport& state) {
  QString sheet = QStringLiteral("body\n{\n");
  const auto line = [&sheet](const QString& declaration) { sheet += u'\t' + declaration + u'\n'; };
  if (KolorIsColor(state.defaultBackground)) line(Background(state.defaultBackground));
  const CAFormat& defaults = document.defaultFormat();
  for (const QString& declaration : ParagraphDeclarations(document, defaults, nullptr)) line(declaration);
  for (const QString& declaration : CharacterDeclarations(document, defaults, nullptr)) line(declaration);
  sheet += QStringLiteral("}\n\n");
  sheet += QStringLiteral("table\n{\n\ttable-layout:fixed;\n\tborder-collapse:collapse;\n\tempty-cells:show;\n}\n\n");
  sheet += QStringLiteral("td\n{\n\tvertical-align:top;\n\ttext-align:left;\n");
  const bool padded = int(state.paddingX) != 0 || int(state.paddingY) != 0;
  if (padded) {
    sheet += QStringLiteral("\tpadding:%1px %2px %1px %2px;\n").arg(int(state.paddingY)).arg(int(state.paddingX));
  }
  if (state.border) {
    line(QStringLiteral("border-style:solid;"));
    line(QStringLiteral("border-width:1px;"));
    line(QStringLiteral("border-color:%1;").arg(QStringLiteral("rgb(%1,%2,%3)").arg(224).arg(224).arg(224)));
    if (!padded) line(QStringLiteral("padding:1px 1px 1px 1px;"));
  }
  sheet += QStringLiteral("}\n\n");
  sheet += QStringLiteral("p\n{\n\tmargin-top:0px;\n\tmargin-bottom:0px;\n");
  if (KolorIsColor(state.defaultBackground)) line(Background(state.defaultBackground));
  sheet += QStringLiteral("}\n");
  return sheet;
}

// What tells one picture's file from another's: its format, its size and the bitmaps and bytes
// it holds, which the copies of one image share.
QByteArray PictureFileKey(const CAPicture& picture) {
  const FLImage& image = *picture.image();
  QByteArray key;
  const auto add = [&key](uint64_t value) { key.append(reinterpret_cast<const char*>(&value), sizeof value); };
  add(uint64_t(uint32_t(picture.imageFormat())));
  const QSizeF size = image.size();
  add(uint64_t(size.width() * 64));
  add(uint64_t(size.height() * 64));
  add(uint64_t(reinterpret_cast<uintptr_t>(image.sourceData().constData())));
  add(uint64_t(image.sourceData().size()));
  for (const QImage& bitmap : image.representations()) add(uint64_t(bitmap.cacheKey()));
  return key;
}

// The image element of a picture cell, after writing its file; the empty-cell line when it
// cannot be written.
void ExportPicture(const CADocument& document, HtmlExport& state, const CACell& cell) {
  const std::shared_ptr<CAPicture>& picture = cell.picture();
  if (!picture || !picture->image() || state.folder.isNull()) {
    state.page += kEmptyCell;
    return;
  }
  if (state.pricing) {
    // The reader charges a picture's element alike whatever file it names.
    state.add(QStringLiteral("<img src=\"%1/%2\" alt=\"\" />").arg(QLatin1String(kImagesFolder), QLatin1String(kPictureFileFormat)));
    return;
  }
  if (state.picturesFolder.isNull()) {
    const QString folder = QDir(state.folder).filePath(QLatin1String(kImagesFolder));
    if (!CreatePackageFolder(folder, state.error)) {
      state.ok = false;
      state.page += kEmptyCell;
      return;
    }
    state.picturesFolder = folder;
  }
  const QByteArray key = PictureFileKey(*picture);
  QString written = state.pictureFiles.value(key);
  if (written.isEmpty()) {
    ++state.pictureCount;
    int32_t format = picture->imageFormat();
    if (format == 5) format = 2;  // TIFF, which browsers do not show, goes as JPEG
    const QString name = QString::fromLatin1(kPictureFileFormat).arg(state.pictureCount) + u'.' +
                         CAPicture::extensionForFormat(format);
    written = SaveImage(picture->image().get(), QDir(state.picturesFolder).filePath(name),
                        format < 1 || format > 9 ? 5 : format, state.error);
    if (written.isEmpty()) {
      state.ok = false;
      state.page += kEmptyCell;
      return;
    }
    written = QFileInfo(written).fileName();
    state.pictureFiles.insert(key, written);
  }
  state.add(QStringLiteral("<img src=\"%1/%2\" alt=\"\" style=\"vertical-align:top;")
                    .arg(QLatin1String(kImagesFolder), createEscapedStringForHtml(written)));
  const QSizeF size = picture->image()->size();
  const double room = document.widthOfColumn(cell.gridPoint().x) - 2 * state.paddingX;
  if (size.width() > room && size.width() > 0) {
    state.add(QStringLiteral(" width:%1px; height:%2px;").arg(int(room)).arg(int(size.height() * room / size.width())));
  }
  state.page += "\" />";
}

// The characters the page writes as line breaks.
bool IsLineBreakOfCell(char16_t ch) { return ch == u'\n' || ch == 0x2028 || ch == 0x0B || ch == 0x0C; }

// Whether a text has blanks a paragraph would fold or drop: a space at the start or end of a
// line, or two together (other controls are written as spaces); those that end the text show
// nothing, whatever the page. Such a text is written in a paragraph that keeps its white space,
// so that it reads back as it is.
bool HasFoldingBlanks(const QString& text) {
  bool lineStart = true, blank = false;
  for (const QChar c : text) {
    const char16_t ch = c.unicode();
    if (IsLineBreakOfCell(ch)) {
      if (blank) return true;
      lineStart = true;
      continue;
    }
    const bool isBlank = ch == u' ' || (ch < 32 && ch != u'\t');
    if (isBlank && (lineStart || blank)) return true;
    blank = isBlank;
    lineStart = false;
  }
  return false;
}

// The text a cell shows on the page: none for a link, a picture or a checkbox, which show their
// own elements.
QString ShownTextOf(const CACell& cell) {
  const bool shownText =
      cell.valueType() != kValueLink && cell.valueType() != kValuePicture && cell.valueType() != kValueCheckbox;
  return shownText ? cell.displayText(false) : QString();
}

void ExportContents(const CADocument& document, HtmlExport& state, const CACell& cell, const CAFormat& format,
                    const QString& text) {
  QStringList css = ParagraphDeclarations(document, format, &cell) + CharacterDeclarations(document, format, &cell);
  // Written without the lines and tabs around it, which it would keep as its own.
  const bool keepBlanks = HasFoldingBlanks(text);
  if (keepBlanks) css << QStringLiteral("white-space:pre-wrap;");
  state.tabs(state.indent);
  state.page += "<p";
  const bool styled = !css.isEmpty();
  if (styled) state.add(QStringLiteral(" style=\"") + css.join(u' ') + u'"');
  state.page += '>';
  if (styled && !keepBlanks) {
    state.page += '\n';
    state.tabs(state.indent + 1);
  }
  switch (cell.valueType()) {
    case kValueLink: {
      const QString shown = cell.displayTextField().isEmpty() ? cell.formula() : cell.displayTextField();
      // The address is escaped too: a bare "&" or quote would break the page.
      state.add(QStringLiteral("<a href=\"%1\">").arg(createEscapedStringForHtml(cell.formula())) +
                EscapeCellTextForHtml(shown) + QStringLiteral("</a>"));
      break;
    }
    case kValuePicture:
      ExportPicture(document, state, cell);
      break;
    case kValueCheckbox:
      ++state.checkboxCount;
      state.add(QStringLiteral("<input type=\"checkbox\" name=\"checkboxes\" value=\"checkbox%1\"").arg(state.checkboxCount));
      if (cell.isChecked()) state.page += " checked=\"checked\"";
      state.page += " />";
      break;
    default: {
      if (text.isEmpty()) state.page += kEmptyCell;
      else state.add(EscapeCellTextForHtml(text));
      // The break that ends a paragraph shows nothing: an empty last line takes one more. Not in
      // the page's first row, which is read through the rich text, whose cells show no last
      // empty line.
      if (!text.isEmpty() && IsLineBreakOfCell(text.back().unicode()) && state.y != state.range.startPoint.y)
        state.page += "<br />";
      break;
    }
  }
  if (keepBlanks) {
    state.page += "</p>\n";
    return;
  }
  if (styled) {
    state.page += '\n';
    state.tabs(state.indent);
  } else {
    state.tabs(state.indent + 1);
  }
  state.page += "</p>\n";
}

// The table cell at (state.x, state.y): its width in the sheet's first row, its background
// where it has one of its own, and what the cell holds.
void ExportCell(const CADocument& document, HtmlExport& state, const CARow* sheetRow, const CACellEntry* entry) {
  state.tabs(state.indent++);
  // Read where it is: exporting makes no cell of a plain number.
  std::optional<CACellReading> reading;
  if (entry) reading.emplace(*entry, state.y, &document);
  const CACell* cell = reading ? reading->get() : nullptr;
  CAFormat format;
  Kolor background = state.defaultBackground;
  if (cell) {
    format = document.formatForCell(cell, false);
  } else {
    if (document.shouldStripeRow(state.y)) background = document.stripeKolor();
    if (const CAFormat* column = document.formatForColumn(state.x);
        column && column->hasPropertyForMask(kFormatBackground))
      background = column->backgroundKolor();
    if (const CAFormat* row = sheetRow ? sheetRow->format() : nullptr) format = *row;
  }
  if (format.hasPropertyForMask(kFormatBackground)) background = format.backgroundKolor();
  const bool ownBackground = KolorIsColor(background) && background != state.defaultBackground;
  const QString text = cell ? ShownTextOf(*cell) : QString();
  const QString told = cell ? ToldValueOf(*cell, text, state.syntax) : QString();
  state.page += "<td";
  if (!told.isEmpty()) state.add(QStringLiteral(" abbr=\"%1\"").arg(createEscapedStringForHtml(told)));
  if (ownBackground || state.y == 0) {
    state.page += " style=\"";
    if (state.y == 0) state.add(QStringLiteral("width:%1px; ").arg(int(document.widthOfColumn(state.x))));
    if (ownBackground) state.add(Background(background) + u' ');
    state.page += '"';
  }
  state.page += ">\n";
  if (cell) ExportContents(document, state, *cell, format, text);
  else state.page += kEmptyCell;
  state.tabs(--state.indent);
  state.page += "</td>\n";
}

// The table cells of the range's cells as they are written, one after another in the order of
// the rows and of the cells in them, in chunks of whole cells; pictures are left to the rows,
// which write their files.
struct CellPieces {
  std::vector<QByteArray> chunks;
  std::vector<qsizetype> ends;  // each piece's end in its chunk
};

// The rows' way through the pieces as they copy them. A page that is priced copies its pieces
// into the text its reader reads, and lets each chunk go once copied: the pieces, a byte a
// character, are then not held beside that text, two bytes a character.
struct PieceCursor {
  CellPieces* pieces = nullptr;
  bool release = false;
  size_t piece = 0, chunk = 0;
  qsizetype at = 0;

  void copyNext(QByteArray& page) {
    QByteArray& bytes = pieces->chunks[chunk];
    const qsizetype end = pieces->ends[piece++];
    page.append(bytes.constData() + at, end - at);
    at = end;
    if (at < bytes.size()) return;
    if (release) bytes = QByteArray();
    ++chunk;
    at = 0;
  }
};

bool IsPictureEntry(const CARow& row, const CACellEntry& entry, const CADocument& document) {
  return CACellReading(entry, row.gridY(), &document)->valueType() == kValuePicture;
}

// The sheet's cells within the range, each with its row.
template <typename Visit>
void ForEachCellInRange(const CADocument& document, const GridRange& range, Visit visit) {
  const auto& rows = document.rows();
  auto row = std::lower_bound(rows.begin(), rows.end(), range.startPoint.y,
                              [](const std::unique_ptr<CARow>& r, int64_t y) { return r->gridY() < y; });
  for (; row != rows.end() && (*row)->gridY() <= range.endPoint.y; ++row) {
    for (const CACellEntry& entry : (*row)->cells()) {
      if (entry.x() < range.startPoint.x) continue;
      if (entry.x() > range.endPoint.x) break;
      visit(**row, entry);
    }
  }
}

// The size of one table cell without contents, as ExportCell writes it.
int64_t EmptyCellSize(const CADocument& document, HtmlExport& scratch, const CARow* row, int64_t x, int64_t y) {
  scratch.page.clear();
  scratch.x = x;
  scratch.y = y;
  ExportCell(document, scratch, row, nullptr);
  return scratch.page.size();
}

// The bytes the rows of the range take as written: the rows' tags, the cells without contents
// and the pieces of the cells with contents, the pictures at the most their element takes. A
// row's empty cells differ only by their column's width and background and by the row's
// stripe, format and being the first: the sheet's columns are looked at one by one, the
// others all alike, so the count costs what the sheet's rows, columns and cells do.
unsigned __int128 TableBytes(const CADocument& document, const HtmlExport& state, int64_t piecesBytes,
                             int64_t pictureBytes) {
  using Wide = unsigned __int128;
  const GridRange& range = state.range;
  HtmlExport scratch;
  scratch.indent = 3;
  scratch.range = range;
  scratch.paddingX = state.paddingX;
  scratch.paddingY = state.paddingY;
  scratch.defaultBackground = state.defaultBackground;
  const uint64_t width = uint64_t(range.endPoint.x) - uint64_t(range.startPoint.x) + 1;
  std::vector<int64_t> sheetColumns;
  for (const std::unique_ptr<CAColumn>& column : document.columns())
    if (column->gridX() >= range.startPoint.x && column->gridX() <= range.endPoint.x)
      sheetColumns.push_back(column->gridX());
  // A column the sheet keeps nothing for, when the range has one.
  std::optional<int64_t> plainColumn;
  if (sheetColumns.size() < width) {
    int64_t x = range.startPoint.x;
    for (int64_t kept : sheetColumns) {
      if (kept != x) break;
      ++x;
    }
    plainColumn = x;
  }
  // The tags of a row and its cells without contents; `taken` marks the columns (by their place
  // in sheetColumns) that the row's cells take, `plainTaken` counts the others they take.
  const auto rowBytes = [&](const CARow* row, int64_t y, const std::vector<bool>* taken, uint64_t plainTaken) {
    Wide bytes = 15;  // "\t\t<tr>\n" and "\t\t</tr>\n"
    const uint64_t plain = width - sheetColumns.size() - plainTaken;
    if (plainColumn && plain > 0)
      bytes += Wide(plain) * uint64_t(EmptyCellSize(document, scratch, row, *plainColumn, y));
    for (size_t i = 0; i < sheetColumns.size(); ++i)
      if (!taken || !(*taken)[i]) bytes += uint64_t(EmptyCellSize(document, scratch, row, sheetColumns[i], y));
    return bytes;
  };
  Wide total = Wide(uint64_t(piecesBytes)) + uint64_t(pictureBytes);
  // The rows the sheet has: each counted itself, its cells' pieces standing in for empty cells.
  uint64_t sheetRows = 0, stripedSheetRows = 0;
  bool firstRowKept = false;
  std::vector<bool> taken(sheetColumns.size());
  const auto& rows = document.rows();
  auto row = std::lower_bound(rows.begin(), rows.end(), range.startPoint.y,
                              [](const std::unique_ptr<CARow>& r, int64_t y) { return r->gridY() < y; });
  for (; row != rows.end() && (*row)->gridY() <= range.endPoint.y; ++row) {
    const int64_t y = (*row)->gridY();
    ++sheetRows;
    if (y == 0) firstRowKept = true;
    else if (document.shouldStripeRow(y)) ++stripedSheetRows;
    std::fill(taken.begin(), taken.end(), false);
    uint64_t plainTaken = 0;
    auto column = sheetColumns.begin();
    for (const CACellEntry& entry : (*row)->cells()) {
      if (entry.x() < range.startPoint.x) continue;
      if (entry.x() > range.endPoint.x) break;
      while (column != sheetColumns.end() && *column < entry.x()) ++column;
      if (column != sheetColumns.end() && *column == entry.x()) taken[size_t(column - sheetColumns.begin())] = true;
      else ++plainTaken;
    }
    total += rowBytes(row->get(), y, &taken, plainTaken);
  }
  // The other rows: the first row of the sheet, the striped ones and the plain ones.
  const uint64_t first = uint64_t(range.startPoint.y), last = uint64_t(range.endPoint.y);
  uint64_t others = last - first + 1 - sheetRows;
  if (first == 0 && !firstRowKept) {
    total += rowBytes(nullptr, 0, nullptr, 0);
    --others;
  }
  const uint64_t interval = document.stripeInterval();
  uint64_t striped = 0;
  if (interval != 0 && KolorIsColor(document.stripeKolor())) {
    const uint64_t from = std::max<uint64_t>(first, 1);
    // Rows y with (y + 1) divisible by the interval, in [from, last].
    if (from <= last) striped = (last + 1) / interval - from / interval - stripedSheetRows;
  }
  if (striped > 0) {
    // The first striped row of the range that the sheet does not keep.
    uint64_t y = (std::max<uint64_t>(first, 1) + interval) / interval * interval - 1;
    while (document.row(int64_t(y))) y += interval;
    total += Wide(striped) * rowBytes(nullptr, int64_t(y), nullptr, 0);
  }
  if (others > striped) {
    // A plain row: the first of the range's that is not the sheet's first row, not striped and not kept.
    int64_t y = std::max<int64_t>(range.startPoint.y, 1);
    while (document.row(y) || document.shouldStripeRow(y)) ++y;
    total += Wide(others - striped) * rowBytes(nullptr, y, nullptr, 0);
  }
  return total;
}

// The row's cells with contents are copied from their pieces, where given, or made afresh.
void ExportRow(const CADocument& document, HtmlExport& state, const CARow* sheetRow, PieceCursor* pieces) {
  state.tabs(state.indent++);
  state.page += "<tr>\n";
  const CARow::CellList* cells = sheetRow ? &sheetRow->cells() : nullptr;
  size_t next = 0;
  if (cells)
    while (next < cells->size() && (*cells)[next].x() < state.range.startPoint.x) ++next;
  for (state.x = state.range.startPoint.x; state.x <= state.range.endPoint.x; ++state.x) {
    const CACellEntry* entry = cells && next < cells->size() && (*cells)[next].x() == state.x ? &(*cells)[next++] : nullptr;
    if (pieces && entry && !IsPictureEntry(*sheetRow, *entry, document)) {
      pieces->copyNext(state.page);
      continue;
    }
    ExportCell(document, state, sheetRow, entry);
  }
  state.tabs(--state.indent);
  state.page += "</tr>\n";
}

// The title: the file's name without its extensions, or "Untitled".
QString PageTitle(const CADocument& document) {
  if (document.filePath().isEmpty()) return QLatin1String(kUntitledTitle);
  QString name = QFileInfo(document.filePath()).completeBaseName();
  const qsizetype dot = name.lastIndexOf(u'.');
  if (dot > 0) name.truncate(dot);
  return name;
}

// Hands the text to `write` in UTF-8 a piece at a time, no piece ending within a character.
bool WriteUtf8(QStringView text, const std::function<bool(QByteArray&&)>& write) {
  for (qsizetype at = 0; at < text.size();) {
    qsizetype end = std::min(text.size(), at + g_exportPiece);
    if (end < text.size() && text[end - 1].isHighSurrogate()) ++end;
    QByteArray bytes;
    AppendUtf8(bytes, text.sliced(at, end - at));
    if (!write(std::move(bytes))) return false;
    at = end;
  }
  return true;
}

}  // namespace

qsizetype SetHtmlExportPieceSize(qsizetype size) { return std::exchange(g_exportPiece, size); }

QString EscapeCellTextForHtml(const QString& text) {
  QString out;
  out.reserve(text.size());
  qsizetype runStart = 0;
  const auto flush = [&](qsizetype i) {
    out += QStringView(text).mid(runStart, i - runStart);
    runStart = i + 1;
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t ch = text.at(i).unicode();
    const char* entity = nullptr;
    switch (ch) {
      case u'&': entity = "&amp;"; break;
      case u'<': entity = "&lt;"; break;
      case u'>': entity = "&gt;"; break;
      case u'"': entity = "&quot;"; break;
      case 0x00A0:
      case 0x202F: entity = "&#160;"; break;
      case u'\n':  // a cell's own line break, as typed or read from a two-line field
      case 0x2028:
      case 0x0B:
      case 0x0C: entity = "<br />"; break;
      default:
        // Controls, and the two non-characters XML cannot hold, become spaces.
        if ((ch < 32 && ch != u'\t') || ch == 0xFFFE || ch == 0xFFFF) entity = "&#032;";
        break;
    }
    if (!entity) continue;
    flush(i);
    out += QLatin1String(entity);
  }
  flush(text.size());
  return out;
}

bool ExportRangeAsHtml(const CADocument& document, const GridRange& range, const QString& folder,
                       const std::function<bool(QByteArray&&)>& write, FLError* error, int64_t most,
                       const std::function<bool()>& beforeRows, int64_t readerBudget) {
  HtmlExport state;
  state.folder = folder;
  state.error = error;
  state.range = range;
  state.paddingX = document.cellPadding().x / 12700.0;
  state.paddingY = document.cellPadding().y / 12700.0;
  state.defaultBackground = document.defaultFormat().backgroundKolor();

  const QString language = PageLanguageOfUserNumbers();
  state.syntax = PageNumberSyntaxOfLanguage(language);
  QString head = QLatin1String(kPageStart).arg(language) + QLatin1String(kGeneratorFormat).arg(createEscapedStringForHtml(g_appName),
                                                                                createEscapedStringForHtml(g_appVersionString));
  head += QStringLiteral("\t<title>%1</title>\n").arg(QLatin1String(kTitlePlaceholder));
  head += QLatin1String(kStyleStart) + QLatin1String(kStyleEnd) + u'\n';
  head += QLatin1String(kBodyStart);
  const qsizetype title = head.indexOf(QLatin1String(kTitlePlaceholder));
  if (title < 0) LogAssert("Title placeholder not found", __func__, __FILE__, __LINE__);
  else head.replace(title, qsizetype(std::strlen(kTitlePlaceholder)), createEscapedStringForHtml(PageTitle(document)));
  const qsizetype style = head.indexOf(QLatin1String(kStyleEnd));
  if (style < 0) LogAssert("useEmbeddedStyles not specified", __func__, __FILE__, __LINE__);
  else head.insert(style, QStringLiteral("\t\t<!--\n") + StyleSheet(document, state) + QStringLiteral("\t\t-->\n"));
  state.add(head);
  state.tabs(state.indent++);
  if (KolorIsColor(state.defaultBackground))
    state.add(QStringLiteral("<table style=\"") + Background(state.defaultBackground) + QStringLiteral(" \">\n"));
  else
    state.page += "<table>\n";
  constexpr const char* kPageEnd = "</table>\n</body>\n</html>\n";

  // The cells with contents are written first, and the page's size counted with them, so that a
  // page too large is refused before anything is made row by row or any picture written.
  // Which reason: the cells' own text, or the empty cells around them, past half the bound.
  int64_t cellsBytes = 0;
  const auto refuse = [error, &cellsBytes, most] {
    SetError(error, kTextTooLargeCode,
             QLatin1String(cellsBytes > most / 2 ? kCellTextTooLargeReason : kTextTooLargeReason));
    return false;
  };
  const uint64_t width = uint64_t(range.endPoint.x) - uint64_t(range.startPoint.x) + 1;
  const uint64_t height = uint64_t(range.endPoint.y) - uint64_t(range.startPoint.y) + 1;
  // Every cell takes its tags and line break at the least.
  constexpr uint64_t kLeastCellBytes = 28;
  const bool some = range.endPoint.x >= range.startPoint.x && range.endPoint.y >= range.startPoint.y;
  if (some && (unsigned __int128)width * height * kLeastCellBytes > (unsigned __int128)uint64_t(std::max<int64_t>(most, 0)))
    return refuse();
  const bool priced = readerBudget > 0 && some;
  CellPieces pieces;
  int64_t piecesBytes = 0, piecesElements = 0, pictureBytes = 0, pictureCount = 0;
  {
    HtmlExport measure = state;
    measure.page.clear();
    measure.folder.clear();
    measure.indent = 3;
    bool over = false;
    ForEachCellInRange(document, range, [&](const CARow& row, const CACellEntry& entry) {
      if (over) return;
      measure.x = entry.x();
      measure.y = row.gridY();
      if (IsPictureEntry(row, entry, document)) {
        // Measured without its file, which is written with the page.
        HtmlExport picture = measure;
        picture.page.clear();
        ExportCell(document, picture, &row, &entry);
        pictureBytes += picture.page.size() + kPictureElementLength;
        ++pictureCount;
        return;
      }
      const qsizetype before = measure.page.size();
      ExportCell(document, measure, &row, &entry);
      piecesBytes += measure.page.size() - before;
      pieces.ends.push_back(measure.page.size());
      over = piecesBytes > most;
      if (measure.page.size() >= g_exportPiece) {
        if (priced) piecesElements += HtmlOpeningTags(QByteArrayView(measure.page));
        pieces.chunks.push_back(std::move(measure.page));
        measure.page = QByteArray();
      }
    });
    cellsBytes = piecesBytes + pictureBytes;
    if (over) return refuse();
    if (!measure.page.isEmpty()) {
      if (priced) piecesElements += HtmlOpeningTags(QByteArrayView(measure.page));
      pieces.chunks.push_back(std::move(measure.page));
    }
  }
  unsigned __int128 size = 0;
  if (some) {
    size = TableBytes(document, state, piecesBytes, pictureBytes) + uint64_t(state.page.size()) + 1 +
           std::strlen(kPageEnd);
    if (size > (unsigned __int128)uint64_t(std::max<int64_t>(most, 0))) return refuse();
  }

  const auto& rows = document.rows();
  // The rows, their cells with contents copied from their pieces (`made`) or made afresh, and
  // the page's end.
  const auto writeRows = [&](HtmlExport& out, PieceCursor* made) {
    auto row = std::lower_bound(rows.begin(), rows.end(), range.startPoint.y,
                                [](const std::unique_ptr<CARow>& r, int64_t y) { return r->gridY() < y; });
    // Rows the sheet does not keep are alike but for the first and the striped ones: one of each
    // kind is made and copied.
    QByteArray plainRow, stripedRow;
    for (out.y = range.startPoint.y; out.y <= range.endPoint.y && out.ok; ++out.y) {
      out.passToText();
      while (row != rows.end() && (*row)->gridY() < out.y) ++row;
      const CARow* sheetRow = row != rows.end() && (*row)->gridY() == out.y ? row->get() : nullptr;
      if (sheetRow || out.y == 0) {
        ExportRow(document, out, sheetRow, made);
        continue;
      }
      const bool striped = document.shouldStripeRow(out.y);
      QByteArray& kind = striped ? stripedRow : plainRow;
      if (kind.isNull()) {
        const qsizetype before = out.page.size();
        ExportRow(document, out, nullptr, made);
        kind = out.page.sliced(before);
        continue;
      }
      if (striped || document.stripeInterval() != 0) {
        out.page += kind;
        continue;
      }
      // Without stripes every row up to the sheet's next one is the same.
      const int64_t next = row != rows.end() ? std::min((*row)->gridY() - 1, range.endPoint.y) : range.endPoint.y;
      if (out.pricedText) {
        out.passToText(true);
        out.pricedText->appendRepeated(kind, next - out.y + 1);
      } else {
        AppendRepeated(out.page, kind, next - out.y + 1);
      }
      out.y = next;
    }
    if (!out.ok) return false;
    out.tabs(out.indent - 1);
    out.page += kPageEnd;
    out.passToText(true);
    return true;
  };

  PricedText text;
  bool pageOfText = false;  // the page's bytes are its priced text's
  if (priced) {
    // The page is priced before anything is written, as an open will read it: by the sheet
    // itself where it is a long table of plain cells, else by the HTML reader. Pictures are
    // priced by their elements, their files written once the page is known to fit.
    using Wide = unsigned __int128;
    HtmlExport pricing = state;
    pricing.pricing = true;
    // At most a character a byte: what the page does not take is never touched.
    text.text.reserve(qsizetype(size) + 64);
    pricing.pricedText = &text;
    PieceCursor copied{&pieces, true};
    if (!writeRows(pricing, &copied)) return false;
    pricing = HtmlExport();
    // What makes the page too large, where it is: the cells' own text, the empty cells between
    // them, or what only the HTML reader reads, where the sheet's own reading would fit.
    const auto refused = [&](const auto& page, int64_t pageBytes) {
      const int64_t plain = pictureCount > 0 ? -1 : PlainTableReadingCost(page, readerBudget);
      const int64_t cost = plain >= 0 ? plain : RichTextHtmlCost(page);
      if (cost <= readerBudget) return false;
      const Wide elements = Wide(uint64_t(HtmlOpeningTags(page)));
      const Wide cellsElements = uint64_t(piecesElements) + 3 * Wide(uint64_t(pictureCount));
      const Wide cellBytes = uint64_t(piecesBytes) + uint64_t(pictureBytes);
      const Wide plainPrice = uint64_t(pageBytes) * uint64_t(kPlainTableCharacterCost) +
                              elements * uint64_t(kPlainTableElementCost);
      const bool cellsMost = (cellBytes * uint64_t(kPlainTableCharacterCost) +
                              cellsElements * uint64_t(kPlainTableElementCost)) * 2 > plainPrice;
      const bool richOnly = plain < 0 && plainPrice <= Wide(uint64_t(readerBudget));
      SetError(error, kTextTooLargeCode,
               QLatin1String(richOnly    ? kPageRichCellsTooLargeReason
                             : cellsMost ? kCellTextTooLargeReason
                                         : kTextTooLargeReason));
      return true;
    };
    if (text.finish()) {
      if (refused(QStringView(text.text), text.bytes)) return false;
      pageOfText = pictureCount == 0;
    } else {
      // Read otherwise than piece by piece: priced from the page's bytes, as an open reads them.
      text = PricedText();
      HtmlExport whole = state;
      whole.pricing = true;
      if (!writeRows(whole, nullptr)) return false;
      if (refused(whole.page, whole.page.size())) return false;
    }
  }
  if (!pageOfText) text = PricedText();
  if (beforeRows && !beforeRows()) return false;
  // Written from the text it was priced from, the page is not made again: its bytes are the
  // text's in UTF-8, a piece at a time.
  if (pageOfText) return WriteUtf8(QStringView(text.text), write);
  if (some) state.page.reserve(qsizetype(size));
  PieceCursor copied{&pieces, false};
  if (!writeRows(state, priced ? nullptr : &copied)) return false;
  pieces = CellPieces();  // all in the page now
  return write(std::move(state.page));
}

bool ExportRangeAsHtml(const CADocument& document, const GridRange& range, const QString& folder, QByteArray* page,
                       FLError* error, int64_t most, const std::function<bool()>& beforeRows, int64_t readerBudget) {
  QByteArray made;
  const auto write = [&made](QByteArray&& piece) {
    if (made.isEmpty()) made = std::move(piece);
    else made.append(piece);
    return true;
  };
  if (!ExportRangeAsHtml(document, range, folder, write, error, most, beforeRows, readerBudget)) return false;
  *page = std::move(made);
  return true;
}

bool ExportRangeAsHtml(const CADocument& document, const GridRange& range, const QString& folder, QString* page,
                       FLError* error) {
  QByteArray bytes;
  if (!ExportRangeAsHtml(document, range, folder, &bytes, error, kMaxDelimitedTextLength, nullptr)) return false;
  *page = QString::fromUtf8(bytes);
  return true;
}

bool CADocument::saveToHtmlFile(const QString& path, FLError* error) {
  QString file = path;
  QString folder = QFileInfo(path).absolutePath();
  // The page's folder is made once the page is known to fit, before its rows and pictures.
  const auto makeFolder = [&]() {
    if (keepHtmlExtension()) return true;
    if (!QDir().mkpath(path)) {
      const int code = errno ? errno : EACCES;
      SetError(error, code, QString::fromLocal8Bit(std::strerror(code)), kFLPosixErrorDomain);
      return false;
    }
    return true;
  };
  if (!keepHtmlExtension()) {
    folder = path;
    file = QDir(path).filePath(QLatin1String(kPageFileName));
  }
  // The page is written only where this program can read it again; the file is made with its
  // first piece.
  CAPackageFileStream stream;
  bool opened = false;
  const auto write = [&](QByteArray&& piece) {
    if (!opened && !stream.open(file, error)) return false;
    opened = true;
    return stream.write(QByteArrayView(piece), error);
  };
  return ExportRangeAsHtml(*this, extent(), folder, write, error, kMaxDelimitedTextLength, makeFolder,
                           kReaderMemoryBudget) &&
         stream.close(error);
}

QString CADocument::htmlFromSelection() {
  GridRange range;
  if (normalSelection(&range) == kRangeInvalid) return QString();
  const GridPoint last = maxGridPoint();
  range.endPoint.x = std::min(range.endPoint.x, std::max(last.x, range.startPoint.x));
  range.endPoint.y = std::min(range.endPoint.y, std::max(last.y, range.startPoint.y));
  // The page of a copy is a table as the RTF beside it is, and is pasted through the same
  // rich text: it is left off the clipboard where the RTF would be.
  if (!RichTextTableFits(*this, range, nullptr)) return QString();
  QString page;
  return ExportRangeAsHtml(*this, range, QString(), &page, nullptr) ? page : QString();
}
