// The program's one reader of HTML pages. A linear tag scanner (bare attribute values end at a
// blank or ">", as browsers read them; the text of script, style, title and textarea is text;
// named entities from a table of our own) feeds tree rules of our own (implied ends of p, li,
// cells, rows, table sections and options; cells only inside a table; formatting elements closed
// by their end tag or the block holding them and taken on into what follows, as browsers do),
// which build rich text through QTextCursor: paragraphs with their formats, character formats,
// tables, lists, links and pictures.
//
// Everything the reading makes is charged to a budget as it is made: each paragraph, character,
// table cell (each row that starts a cell as wide as the columns its own cells start in), list item,
// link, picture and what the page's style sheets hold. Past the budget the reading stops at once
// and the document is left empty, so nothing half-built reaches whoever asked. No step costs more
// for what came before it. Within a budget the charges are only estimates that stop a page early: the reading
// also reads the heap meter of the open or paste it is part of (FLReadingMeter, its own where
// there is none) every few thousand pieces and at each table and style sheet, and counts its
// steps against a bound linear in the page's size; past either it is refused as too large.
//
// A listener may read the page along with the rich text (GMHtmlListener): it hears the tree as
// the rules make it, so that it reads the page as the rich text does, and it may take a table's
// rows, or the lines of a paragraph that keeps its lines, for its own, which the rich text is
// then built without.
#pragma once

#include <QString>
#include <QStringView>
#include <QTextFormat>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <vector>

class QTextDocument;

// What a reading came to. Left: the listener gave up a table it had taken (GMHtmlListener).
struct GMHtmlReading {
  enum class Outcome { Read, TooLarge, TooDeep, Left };
  Outcome outcome = Outcome::Read;
  // What the reading took, or, refused, what it had taken when it stopped (past the budget).
  int64_t cost = 0;
  bool read() const { return outcome == Outcome::Read; }
};

// The deepest nesting of open elements a page may reach: deeper pages are no real page.
inline constexpr int kMostHtmlNesting = 512;
// The most elements a page may hold open at once, counting each formatting element left open
// right inside an alike one (a page that opens <font> on every line and never closes it), which
// the reading holds as a count and which nests no deeper: more are no real page either.
inline constexpr int64_t kMostHtmlOpenElements = 65536;

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
// The property of a table cell's format that holds the value a spreadsheet wrote behind the
// cell's shown text (its "sdval" attribute), as written: whoever makes cells of the rich text
// may enter the value rather than the text.
inline constexpr int kHtmlCellValueProperty = QTextFormat::UserProperty + 0x5d1;
// The property of a table cell's format that holds the cell's short form (its "abbr" attribute),
// as written: the value a page of the sheet's tells beside a cell's text that its language would
// not read as it.
inline constexpr int kHtmlCellShortFormProperty = QTextFormat::UserProperty + 0x5d5;
// The property of the text's root frame format that holds the language the page declares (its
// root element's "lang", else a Content-Language meta element's), as written: whoever makes cells
// of the rich text reads the page's numbers as that language writes them. Absent where the page
// declares none.
inline constexpr int kHtmlPageLanguageProperty = QTextFormat::UserProperty + 0x5d2;

// The widest a cell may span: no more columns are made for one.
inline constexpr int64_t kMostHtmlColumnSpan = 20480;

// What the charges above leave unpriced: a table (the reading's record of it, 1.3 KB measured for
// an empty one, and, once it has a row, the rich text's table and its import, 2.35 KB), a run of
// text in a look of its own (its record, its format and the rich text's fragment: 280 bytes
// measured for runs of one letter each), a class an element names (what the reading and the style
// sheets hold of it, beyond its characters, charged twice) and an attribute of a tag (what the
// reading tells a listener of it, and the list holding them grown). The heap meter holds what
// nothing here prices.
inline constexpr int64_t kHtmlTableCost = 1536;
inline constexpr int64_t kHtmlRichTableCost = 2560;
inline constexpr int64_t kHtmlRunCost = 320;
inline constexpr int64_t kHtmlClassCost = 96;
inline constexpr int64_t kHtmlAttributeCost = 96;

// The work a reading may do, in steps (a token, a tree operation, an attribute, a class, a
// selector test): so many a character of the page besides a fixed allowance; a cell of a table
// costs several, as making it takes the rich text, its import and the sheet many times a token's
// work. Past the bound the reading is refused as too large.
inline constexpr int64_t kHtmlStepsPerCharacter = 64;
inline constexpr int64_t kHtmlLeastSteps = int64_t(1) << 24;
inline constexpr int64_t kHtmlCellSteps = 32;

// An attribute of a start tag as the page writes it: its name, and its value with the
// entities left as written (`valued`: written with "=" and a value, which may be empty).
struct GMHtmlAttribute {
  QStringView name, value;
  bool valued = false;
};

// Whoever reads a page along with the rich text: told what the tree rules make of the page as
// they make it, it reads the same tree the rich text is built from. Every element is told when
// it opens (by its start tag, or `implied` by the tree rules, as a row for a cell written
// outside one: no attributes then) and when it closes (by its end tag or by what implies its
// end); an element that holds nothing (br, img, an element the reading does not know) is told
// when it opens alone. Text comes with its entities decoded, as the rich text takes it; the
// text of a style, script, title, textarea or comment element comes whole, as written. Names
// are in lower case.
//
// Each answer says how the reading goes on: Follow; Leave, the listener no longer listens; or,
// answered to the start of a row, TakeTable: the rows from this one to the end of their table
// are the listener's own, and the rich text is built without them (their text is still told);
// or, answered to a text in an element that keeps its lines (white-space pre, pre-wrap or
// pre-line, or a pre), TakeLines: the lines of the paragraph that holds it after its first are
// the listener's own (those of this text and of any text after it up to the paragraph's end),
// and the rich text is built with the first line alone, up to its line end. TakeLines answered
// to any other text, or while the listener takes rows or lines already, is Leave. A listener
// that leaves after it took a table or lines ends the reading (Outcome::Left), the text left
// empty: what the rich text lacks is the page's.
//
// What the listener's own reading makes it charges as it makes it (charge), to the budget of the
// reading that tells it the page: past the budget the reading stops once the answer is given,
// refused.
class GMHtmlListener {
 public:
  enum class Answer { Follow, Leave, TakeTable, TakeLines };
  virtual ~GMHtmlListener() = default;
  virtual Answer started(QStringView name, const std::vector<GMHtmlAttribute>& attributes, bool implied) = 0;
  virtual Answer ended(QStringView name) = 0;
  // What a text's entities were: an "&" stays as written (no entity the reading knows), an
  // entity stood for a space, or for another blank (a tab, a line end).
  enum TextFlag : unsigned { KeptAmpersand = 1, SpaceByEntity = 2, BlankByEntity = 4 };
  virtual Answer text(QStringView text, unsigned flags) = 0;
  virtual Answer rawText(QStringView element, QStringView raw) = 0;
  // A comment, a declaration or a processing instruction, which make nothing.
  virtual Answer comment() = 0;

  // Set by the reading while it tells the listener the page (and reset after it): what the
  // listener's charges go to. A listener that tells others the page passes its own on to them.
  void setCharges(std::function<bool(int64_t)> charges) { charges_ = std::move(charges); }

 protected:
  // Charges what the listener's reading has made to the reading's budget: false once past it.
  bool charge(int64_t bytes) { return !charges_ || charges_(bytes); }

 private:
  std::function<bool(int64_t)> charges_;
};

// Reads the page into `text` (emptied first; its base URL resolves what the page names: style
// sheets and pictures, read only from local files). budget: what the reading may take (0: no
// limit). Refused, `text` is left empty. A failed allocation is not caught: std::bad_alloc
// reaches the caller, who must leave `text` alone from then on (FLQtHeld), as Qt may have failed
// half-way through changing it. With a listener, it is told the page as it is read,
// and while it listens, `listenerCost` (what its own reading of the page takes, as far as it is
// known before) is charged with the rest, and what it charges as it reads; the reading's cost
// includes both while it listens.
// What a page may read besides itself: the style sheets it links and imports and the pictures it
// shows (Local, from local files only), or nothing at all (None: a page from the network, which
// must not make the program read a file; its pictures are left out).
enum class GMHtmlResources { Local, None };
GMHtmlReading ReadHtmlPage(QStringView page, QTextDocument* text, int64_t budget, GMHtmlListener* listener = nullptr,
                           int64_t listenerCost = 0, GMHtmlResources resources = GMHtmlResources::Local);

// What reading the page would charge, without building anything: the budget's count alone.
// Stops counting past `budget` (when not 0).
int64_t HtmlPageReadingCost(QStringView page, int64_t budget = 0);

// The text with its entities decoded as the reading decodes a page's texts and attribute values.
void HtmlDecodeText(QStringView raw, QString* decoded);

// The character a named entity ("amp", "eacute") stands for; 0 for a name the table does not
// hold (the page keeps "&name;" as written).
char32_t HtmlNamedEntity(QStringView name);
