// The program's one reader of HTML pages. A linear tag scanner (bare attribute values end at a
// blank or ">", as browsers read them; the text of script, style, title and textarea is text;
// named entities from a table of our own) feeds tree rules of our own (implied ends of p, li,
// cells, rows, table sections and options; cells only inside a table; formatting elements closed
// by their end tag or the block holding them and taken on into what follows, as browsers do),
// which build rich text through QTextCursor: paragraphs with their formats, character formats,
// tables, lists, links and pictures.
//
// Everything the reading makes is charged to a budget as it is made: each paragraph, character,
// table cell (a table's rows times its widest row, spans included), list item, link, picture and
// what the page's style sheets hold. Past the budget the reading stops at once and the document
// is left empty, so nothing half-built reaches whoever asked. No step costs more for what came
// before it.
#pragma once

#include <QString>
#include <QStringView>
#include <QUrl>

#include <cstdint>

class QTextDocument;

// What a reading came to.
struct GMHtmlReading {
  enum class Outcome { Read, TooLarge, TooDeep };
  Outcome outcome = Outcome::Read;
  // What the reading took, or, refused, what it had taken when it stopped (past the budget).
  int64_t cost = 0;
  bool read() const { return outcome == Outcome::Read; }
};

// The deepest nesting of open elements a page may reach: deeper pages are no real page.
inline constexpr int kMostHtmlNesting = 512;

// What the reading charges for what it makes, in bytes: what each really takes once the page is
// opened (the reader, the rich text it builds, the import and the sheet made from it), measured
// by bench/benchHtmlReader (BM_UnitCost) with a margin: a character of text (10.4 bytes measured
// in a long paragraph, 12 in a long first row of a table), a paragraph (a line a text keeping its
// lines makes too; 630 with its character, a kept line 350-440), a table cell of the grid (203), a
// list item (479), a link (593 beyond the same text without one, its place's name 12
// characters) and each character of its place's name (3.9: the name is kept by the rich text
// and by the cell), a picture's place (923 beyond a paragraph's character; what the picture
// decodes to is charged apart), and each character of a text that starts with "=" beyond its
// text (it becomes a formula, which holds its text and tokens and registers the cells it names:
// rows of sums of 50,000 cells apart from one another take 16.6 bytes a character in all, where
// text takes 15 to 16; shorter references cost more a character), and besides each character of
// the longest such text, for what its parse holds while it is made (a formula of millions of
// characters in one cell takes 95 bytes a character in all, "=1+1+...", or 74, "=B1+B1+...").
inline constexpr int64_t kHtmlCharacterCost = 14;
inline constexpr int64_t kHtmlParagraphCost = 768;
inline constexpr int64_t kHtmlCellCost = 256;
inline constexpr int64_t kHtmlListItemCost = 576;
inline constexpr int64_t kHtmlLinkCost = 704;
inline constexpr int64_t kHtmlLinkCharacterCost = 5;
inline constexpr int64_t kHtmlPictureCost = 1024;
inline constexpr int64_t kHtmlFormulaCharacterCost = 6;
inline constexpr int64_t kHtmlFormulaParseCost = 84;
// The widest a cell may span: no more columns are made for one.
inline constexpr int64_t kMostHtmlColumnSpan = 20480;

// Reads the page into `text` (emptied first; its base URL resolves what the page names: style
// sheets and pictures, read only from local files). budget: what the reading may take (0: no
// limit). Refused, `text` is left empty.
GMHtmlReading ReadHtmlPage(QStringView page, QTextDocument* text, int64_t budget);

// What reading the page would charge, without building anything: the budget's count alone.
// Stops counting past `budget` (when not 0).
int64_t HtmlPageReadingCost(QStringView page, int64_t budget = 0);

// The character a named entity ("amp", "eacute") stands for; 0 for a name the table does not
// hold (the page keeps "&name;" as written).
char32_t HtmlNamedEntity(QStringView name);
