// The temporary text-engine document that every rich-text import (RTF, RTFD, HTML and their
// pasteboard forms) fills and the sheet then turns into cells, and the mapping between the
// sheet's alignment codes and the engine's.
#pragma once

#include "calculator/model/CANumber.h"
#include "framlet/foundation/flDates.h"

#include <QChar>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class CACell;
class CADocument;
class CANumber;
class CANumberFormat;
class GMTextLanguages;
class QString;
struct GlimmetDoc;

// The import in progress; made by the readers, consumed and destroyed by loadFromGlimmet.
extern GlimmetDoc* g_glimmetDoc;
// The column widths in EMU that the file gave the table starting the text, kept when the reader
// turns that table's widths into shares of the text width: the sheet's columns take these.
// Cleared with the import document.
extern std::vector<int64_t> g_glimmetLeadingWidths;

// Makes g_glimmetDoc a new temporary document with a pane without a view; NO (and no
// document) when either cannot be made.
bool NewImportDocument();
// Destroys g_glimmetDoc, when there is one, and clears the pointer.
void DestroyImportDocument();

// Whether the last conversion of the import document into cells left out fields past the grid's
// last column (a paragraph of more tab-separated fields than the grid has columns).
bool GlimmetImportCutColumns();
// The sheet column in which the last conversion put the cells of a table's column (counted from
// the table's first) in a sheet row: a table whose cells show pictures or links beside their
// words gives them columns of their own, and its columns move right by as many. The column
// itself where no such table holds the row.
int64_t GlimmetImportColumn(int64_t row, int64_t column);

// The text as a cell may hold it: without the characters a reader or the text engine uses for
// what is no text (the kinks of knots, the stand-in for a picture, the marks of a frame) and
// without other controls but tabs and line ends; line and paragraph separators end lines.
QString WithoutInnerCharacters(QString text);

// Engine paragraph alignment (0 left, 1 centre, 2 justified, 3 right) of a sheet alignment:
// centre and right map, anything else is left.
int32_t EngineAlignmentForSheet(int32_t alignment);
// The sheet alignment of an engine paragraph: centre and right; 0 when the engine's sets none.
int32_t SheetAlignmentForEngine(int32_t alignment);

// Why an RTF or RTFD document is not read: what reading it would take (cost in bytes; 0: it
// would take more steps than its size allows), in the words of an open or of a paste.
inline constexpr const char* kRtfTooLargeToOpenReason =
    "The document is too large to open: reading it would take about %1 of memory.";
inline constexpr const char* kRtfTooLongToOpenReason =
    "The document is too large to open: reading it would take too long.";
QString RtfTooLargeReason(int64_t cost, bool pasted = false);
inline constexpr const char* kPasteRtfTooLargeMessage = "The text can't be pasted.";
// Reads pasted RTF into the document as an open reads a file, within the same budget: text past
// it is refused with the size alert, and `*refused` set.
bool LoadPastedRtf(CADocument& document, const QString& rtf, bool* refused);

// How a page writes its numbers: its decimal sign, the mark between its groups of digits and the
// currency symbol of its language; with `webToo`, where its language's separators are neither a
// point nor a comma (Arabic's), a number it writes as the web commonly does too. Its dates are
// read in `dates`' order, or, where it tells none, as the user types them; in a language whose
// texts count their years in another era (Thai's Buddhist era), `eraYears` ahead of the Gregorian.
struct PageNumberSyntax {
  QChar point = u'.';
  QChar group = u',';
  QString currency;
  bool webToo = false;
  std::optional<DateTextOrder> dates;
  int eraYears = 0;
};
// Whether two syntaxes read the same numbers: their group marks alike where both are blanks (a
// space, a no-break space, a narrow one) or both apostrophes, which pages write for one another.
bool SameNumberSyntax(const PageNumberSyntax& a, const PageNumberSyntax& b);
// The number a text of a page writes in the page's syntax, as the user types a number in the
// user's own: a sign, groups, decimals, an exponent, a percent or currency sign; where the page
// groups digits with blanks, a blank beside a percent or currency sign too ("1 234,50 €").
std::optional<CANumber> PageNumberOf(const QString& text, const PageNumberSyntax& syntax);
// The date a text of a page writes in the page's syntax: as typed in its order, or as
// the page's language writes dates beyond that (ParseWrittenDate), its year counted in the
// language's era; 0 where none (a year of two digits in another era is none).
int32_t PageDateOf(const QString& text, const PageNumberSyntax& syntax);
// What a text of a page gives a cell as EnterPageText enters it in `syntax`: a date (ahead of a
// number, as typing reads one), else a number; neither where the cell would hold the text.
struct PageTextReading {
  int32_t date = 0;
  std::optional<CANumber> number;
};
PageTextReading ReadPageText(const QString& text, const PageNumberSyntax& syntax);
// A date format of the sheet that shows `day` as `shown` (cleaned up); none where none does. With
// `partial`, the forms that leave out its day, its month or its year too.
std::optional<CANumberFormat> DateFormatShowing(const QString& shown, int32_t day, bool partial = false);

// The value the sheet writes beside a cell's shown text where the page's reader would not read the
// text as it: a date as "yyyy-mm-dd", a number as the shortest text that reads back as it, in the
// C syntax ("-1234.5678", "1.5E+20") or, for a fraction without an exact decimal,
// "numerator/denominator" ("1/3"); empty where the value has no such text (NaN, infinity).
QString PageValueText(const CANumber& number, bool date);
// The value such a text tells: a date (its day index in `date`) or a number; none where it is
// neither in those forms.
std::optional<CANumber> PageValueOf(const QString& value, int32_t* date);

// Enters a text of a page into the cell. A number or a date in the page's syntax is that number
// or date in every locale; any other text is entered as the user types it, except that a text
// only the user's syntax makes a number or a date of ("1,5" on a page that writes "1.5") stays a
// text. Without a syntax (a page that declares none, the text of an RTF document), as the user
// types it.
// With `shownAs`, a date takes there the date format that shows it as the page does, where the
// sheet has one and its own way of showing dates differs.
void EnterPageText(CACell& cell, const QString& text, const PageNumberSyntax* syntax,
                   std::optional<CANumberFormat>* shownAs = nullptr);
// While one lives, the conversion of the import document enters its texts as a page's in `syntax`
// (as the user types them where it is null); with `languages`, a text the page declares in a
// language of its own (an element's lang) in that language's syntax, `languageSyntaxes` giving
// the syntax of each of their names (none: as the user types).
class PageNumberSyntaxScope {
 public:
  explicit PageNumberSyntaxScope(const PageNumberSyntax* syntax, const GMTextLanguages* languages = nullptr,
                                 std::vector<std::optional<PageNumberSyntax>> languageSyntaxes = {});
  ~PageNumberSyntaxScope();
  PageNumberSyntaxScope(const PageNumberSyntaxScope&) = delete;
  PageNumberSyntaxScope& operator=(const PageNumberSyntaxScope&) = delete;
  // The syntax of the text at `cp` of the import document under way (null: as the user types).
  static const PageNumberSyntax* SyntaxAt(uint32_t cp);

 private:
  const PageNumberSyntaxScope* outer_;
  std::optional<PageNumberSyntax> syntax_;
  const GMTextLanguages* languages_;
  std::vector<std::optional<PageNumberSyntax>> languageSyntaxes_;
};

// While one lives, the conversion of the import document knows the address of the page it was
// read from (empty: a pasted page), so that a link to a place in the page ("#fn1", which an open
// makes absolute against that address) is told from one that leads out of it.
class PageAddressScope {
 public:
  explicit PageAddressScope(QString page);
  ~PageAddressScope();
  PageAddressScope(const PageAddressScope&) = delete;
  PageAddressScope& operator=(const PageAddressScope&) = delete;
  // Whether the link's address names a place in the page under way.
  static bool LeadsIntoPage(const QString& target);

 private:
  const PageAddressScope* outer_;
  QString page_;
};
