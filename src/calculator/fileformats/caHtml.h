// HTML of the sheet: the page the export writes for a range, and the escaping of cell texts
// in it.
#pragma once

#include "calculator/fileformats/caGlimmetImport.h"
#include "calculator/model/CAGridPoint.h"
#include "glimmet/storage/gmHtmlReader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>

class CADocument;
class QTextDocument;
struct FLError;
struct GMHtmlReading;

// How a page in `language` (a language tag: "de", "en-GB", as a page declares it) writes its
// numbers and dates: as that language does (its dates in the order of the region its tag names,
// else of the region the language stands for where most regions that speak it agree, else in no
// order it tells: "en" names none; and in its era); a page that declares none, or none known, in
// the web's common syntax, a decimal point and comma groups, its dates month first.
PageNumberSyntax PageNumberSyntaxOfLanguage(const QString& language);
// The same as a page's reader takes a language it declares: where the tag names no region and
// the regions that speak the language do not mostly write their dates as the one it stands for
// does (English: the United States writes the month first, most others the day), its dates are
// read as the user types them, in the words of the language; a language no one knows, as the web
// writes its numbers and as the user types dates.
PageNumberSyntax DeclaredLanguageSyntax(const QString& language);
// What a page's own texts show of how it writes its numbers and dates. Only a text that one
// syntax alone reads as a number, and that no time, date, version or code can be, shows a decimal
// sign: one holding both marks ("9,250.50", "1.234,56", "1 234,56", "1'234.50"), one mark
// repeated in groups of three ("1,234,567", "1.234.567"), or a decimal with a percent or currency
// sign ("+604.2%", "$1.50", "3,5 %"); a bare "18.45", "5.10" or "1.204" shows nothing. Only a
// date of digits whose first field is over 12 (the day first) or whose second is (the month
// first) shows an order.
class PageSyntaxEvidence {
 public:
  void see(QStringView text);
  // The decimal sign most of the texts seen show, and the group mark they show with it (null
  // where none does); nothing where none shows one, or as many show either.
  std::optional<std::pair<QChar, QChar>> marks() const;
  // The order the dates seen show (day first: true), where they show only one.
  std::optional<bool> dayFirst() const;
  // Whether a date that shows the order is written with dots.
  bool dottedDates() const { return dotted_; }

 private:
  int64_t points_[2] = {0, 0};  // texts showing a decimal point, a decimal comma
  QChar groups_[2];             // the group mark last shown beside each
  int64_t dayFirst_ = 0, monthFirst_ = 0;
  bool dotted_ = false;
};
// The one procedure every page's syntax is chosen by: the syntax its own texts show (`shown`),
// else that of the language it declares (`declared`, empty for none: DeclaredLanguageSyntax),
// else the one its stored values are written in (`storedPoint`, LibreOffice's), else the user's
// (nothing: as the user types). Its dates likewise: in the order its own dates show, else its
// declared language's region's, else as the user types; where the user's language counts its
// years in another era, an undeclared page's dates are read in it.
std::optional<PageNumberSyntax> ChoosePageSyntax(const PageSyntaxEvidence& shown, const QString& declared,
                                                 std::optional<QChar> storedPoint);

// A cell text as page text: "&", "<", ">" and '"' as entities, no-break spaces as "&#160;",
// line and page breaks as "<br />", other control characters as "&#032;".
QString EscapeCellTextForHtml(const QString& text);
// The page of the range. folder: where an "images" folder for picture cells may be made (null:
// pictures are left out, as for the pasteboard). NO, with the error, when a picture could not
// be written.
bool ExportRangeAsHtml(const CADocument& document, const GridRange& range, const QString& folder, QString* page,
                       FLError* error);
// The same in UTF-8, refused with kTextTooLargeReason when the page would take more than `most`
// bytes: its size is counted from the cells and the range's shape before any row is made.
// beforeRows, when given, runs once the page is known to fit (it makes the page's folder); NO
// from it ends the export. readerBudget, when not 0: the page is refused as well where reading
// it again would take more memory than that, priced as its reader will read it: through the
// rich text (RichTextHtmlCost), or, for a long table of plain cells the sheet reads itself
// (PlainTableReadingCost), at that reading's cost; such a page is made before beforeRows
// runs, to be seen to be one. A refusal says what makes the page too large: the cells' own text,
// the empty cells between them, or what only the rich text reads (kPageRichCellsTooLargeReason).
bool ExportRangeAsHtml(const CADocument& document, const GridRange& range, const QString& folder, QByteArray* page,
                       FLError* error, int64_t most, const std::function<bool()>& beforeRows,
                       int64_t readerBudget = 0);
// The same, the page handed to `write` in pieces, one after another, once it is known to fit:
// a page priced as it was made goes from the text it was priced from, never made whole again.
// NO from `write` ends the export.
bool ExportRangeAsHtml(const CADocument& document, const GridRange& range, const QString& folder,
                       const std::function<bool(QByteArray&&)>& write, FLError* error, int64_t most,
                       const std::function<bool()>& beforeRows, int64_t readerBudget);

// The reason a page is refused where it is too large for the rich text to read again, and what
// only the rich text reads keeps the sheet from reading it itself.
inline constexpr const char* kPageRichCellsTooLargeReason =
    "The sheet is too large to save as a web page: its links, pictures, check boxes, cells of several lines, "
    "stripes or default look could only be read again through rich text, which would take too much memory.";

// The memory an open may take: a file it would take more of is refused before it is read.
inline constexpr int64_t kReaderMemoryBudget = int64_t(3) << 29;
// The budget opens and pastes of pages read within (kReaderMemoryBudget); for tests, another,
// giving the one it replaces.
int64_t PageReadingBudget();
int64_t SetPageReadingBudget(int64_t budget);
// That budget held to what the process may still take (its limits, the memory available): what
// a reading is priced against.
int64_t PageBudget();
// Reads a pasted page into the document as an open reads a page (the same readers, the same
// price, within the same budget, on the paste's meter), its bytes in the character set an open
// reads them in. A page refused for its size is told with the reason and `*refused` set; so is
// one refused for anything else (its depth, its character set, nothing that can be read) where
// tellUnreadable (the clipboard has no plain text to paste instead). The pictures the budget left
// out are told.
bool LoadPastedHtml(CADocument& document, const QByteArray& page, bool* refused, bool tellUnreadable = false);
bool LoadPastedHtml(CADocument& document, const QString& html, bool* refused, bool tellUnreadable = false);
inline constexpr const char* kPastePageTooLargeMessage = "The page can't be pasted.";
// What the sheet's own reading of a long table of plain cells takes, in bytes a character of
// page and a tag that opens an element (each a cell or a row): the
// page's bytes and text, and each cell's text and the sheet's cell (bench/benchFarPages); the
// page's text and its cells' texts are held at once, which long texts show, 4.8 bytes a
// character of three UTF-8 bytes (bench/benchHostilePages).
inline constexpr int64_t kPlainTableCharacterCost = 5;
inline constexpr int64_t kPlainTableElementCost = 256;
// What the sheet's own reading of the lines a paragraph keeps takes past its first line (a page of
// one paragraph that a style sheet makes keep its lines, read as the rich text would read it), in
// bytes: each line with its row of the sheet and its cell (and each further cell a tab starts in
// it), and each character, held once by the reading and again by its cell. The page is charged
// besides at the sheet's own rate (PlainTableHtmlCost). Measured through an open with the page
// (bench/benchHtmlReader, BM_UnitCost, the difference of two sizes, Release): a line of a word
// 194 bytes and a line of a number 162 with their two characters, each further character of a
// line 11.4; charged so, 226 and 13.
inline constexpr int64_t kKeptLineCost = 200;
inline constexpr int64_t kKeptLineCharacterCost = 8;
// The tags of the page that open an element ("<" and a letter).
int64_t HtmlOpeningTags(QStringView page);
int64_t HtmlOpeningTags(QByteArrayView page);
// What a character of a cell's text that starts with "=" takes beyond its text in a long table
// the sheet reads itself: the sheet reads it as a formula, which holds its text and tokens while
// the cells' texts go (bench/benchHtmlReader, BM_UnitCost: rows of sums of 100,000 distinct
// cells, of one cell named 100,000 times and of 100,000 numbers take 4.0, 4.0 and 3.1 bytes a
// character with the page, where plain text takes 4.3: the page's text and the cells' texts,
// held together while it is read, outweigh the formulas made once the page's text has gone).
// And what each cell that a formula names one by one, outside the runs of neighbours that are
// registered as blocks, takes in the sheet's table of references, the most where each cell is
// named by a score of formulas (rows of sums of every other cell of 100,000 rows, each cell
// named by 17 of the formulas: 116 bytes a cell beyond the formulas' text and tokens; named by
// 80 or 120 of them, 106 and 86). The longest formula is charged besides as the reader charges
// it (kHtmlFormulaParseCost), for what its parse holds while it is made.
inline constexpr int64_t kFormulaCharacterCost = 1;
inline constexpr int64_t kFormulaNamedCellCost = 128;
// The characters of the page's texts that start with "=" right after a tag: the formulas its
// cells would hold; `longest`, when given, the characters of the longest of them; `namedCells`,
// when given, the cells they name one by one that the sheet keeps a record for each (each cell
// once a formula, runs of neighbours left out).
int64_t HtmlFormulaCharacters(QStringView page, int64_t* longest = nullptr, int64_t* namedCells = nullptr);
// What reading the page (or its UTF-8 bytes) through the program's HTML reader takes: what the
// reader charges for it (HtmlPageReadingCost), as an open or a paste of it is charged.
int64_t RichTextHtmlCost(QStringView page);
int64_t RichTextHtmlCost(QByteArrayView page);
// What the sheet's own reading of the page as a long table of plain cells is estimated to take.
int64_t PlainTableHtmlCost(QStringView page);
int64_t PlainTableHtmlCost(QByteArrayView page);
// The reason a page is not read: what reading it would take (cost in bytes; 0: it would take
// more steps than its size allows), in the words of an open or of a paste.
inline constexpr const char* kPageTooLargeToOpenReason =
    "The page is too large to open: reading it would take about %1 of memory.";
inline constexpr const char* kPageTooLongToOpenReason = "The page is too large to open: reading it would take too long.";
inline constexpr const char* kPageTooLargeToPasteReason =
    "The page is too large to paste: reading it would take about %1 of memory.";
inline constexpr const char* kPageTooLongToPasteReason =
    "The page is too large to paste: reading it would take too long.";
QString RichTextHtmlTooLargeReason(int64_t cost, bool pasted = false);
// The reason a page is not read: it nests its elements deeper than any page.
inline constexpr const char* kPageTooDeepToOpenReason =
    "The page is nested too deeply to open: it leaves more elements open inside one another than any page does.";
inline constexpr const char* kPageTooDeepToPasteReason =
    "The page is nested too deeply to paste: it leaves more elements open inside one another than any page does.";
QString HtmlTooDeepReason(bool pasted = false);
inline constexpr int kHtmlTooLargeCode = -108;

// For tests: whether a long table of plain cells, or the lines a paragraph keeps, are read by the
// sheet itself (YES, the default) or every page goes whole through the rich text; gives the
// setting it replaces.
bool SetPlainTableReading(bool on);
// Whether the sheet reads the page (UTF-8) itself as a long table of plain cells, as an open
// would, rather than leaving it whole to the rich text.
bool HtmlPageIsReadAsPlainTable(const QByteArray& page);
// What the sheet's reading of the page (UTF-8) as a long table of plain cells takes, priced as an
// open prices it (the page at the sheet's own rate, and what the rich text makes of it, all but
// the rows the sheet takes, at the rich text's); -1 where the sheet would not read it so. budget,
// when not 0: the reading stops once past it, and the answer is then above the budget, or -1 where
// the sheet had left the page to the rich text by then.
int64_t PlainTableReadingCost(const QByteArray& page, int64_t budget = 0);
// The same of the page's text, as the reader decodes the page's bytes.
int64_t PlainTableReadingCost(QStringView page, int64_t budget);
// Room for as many of a page's first bytes as the reader looks at for its character set (a
// byte-order mark, or a declaration within the first kilobyte).
inline constexpr qsizetype kHtmlCharacterSetBytes = 4096;
// Whether a page that starts so (its first kHtmlCharacterSetBytes bytes, or all of it where it is
// shorter) with no byte-order mark is read as UTF-8 where its bytes are valid UTF-8: its text is
// then what a UTF-8 decoder makes of them.
bool HtmlPageIsReadAsUtf8(QByteArrayView start);
// What reading the page file would take at the least, counted from its bytes by its character
// set before it is read: an open refuses a file past its budget so.
int64_t HtmlFileLeastCost(const QString& path);
// For tests: how many bytes of a page are decoded at a time; gives the size it replaces.
qsizetype SetHtmlDecodingPieceSize(qsizetype size);
// For tests: how many bytes of a page an export makes before it puts them by (into a chunk of
// its cells, or into the text of a page made to be priced); gives the size it replaces.
qsizetype SetHtmlExportPieceSize(qsizetype size);
// For tests: how many page files an open has read whole (the others it refused before).
uint64_t HtmlPagesRead();
// Reads a page into rich text through the program's HTML reader (gmHtmlReader.h), within the
// budget (0: none); a refused page leaves the text empty.
GMHtmlReading ReadHtmlIntoRichText(QTextDocument& text, QStringView page, int64_t budget);
// For tests: how many pages opens and pastes have read into rich text.
uint64_t HtmlPagesGivenToRichText();
// For tests: how many pages the sheet has read itself as long tables of plain cells.
uint64_t PlainTablesRead();
// For tests: how many pages' kept lines (those of a paragraph after its first) an open has made
// cells of itself.
uint64_t KeptLinesRead();
