// The program's HTML reader: the tree rules give the paragraphs, tables, lists, links and looks a
// browser shows; what it makes is charged, and past the budget or the deepest nesting nothing is
// built.
#include "glimmet/storage/gmHtmlReader.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

#include <gtest/gtest.h>

namespace {

QString Describe(QTextFrame* frame);

// A paragraph: its text, "*" before what is bold, "/" italic, "_" underlined, "-" struck, "@" a
// link's target then its text; "(L<level>)" for a list item, "^" for a rule, "<" ">" "=" for an
// alignment.
QString DescribeBlock(const QTextBlock& block) {
  QString out;
  if (const QTextList* list = block.textList()) out += QStringLiteral("(L%1)").arg(list->format().indent());
  const Qt::Alignment alignment = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
  if (block.blockFormat().hasProperty(QTextFormat::BlockAlignment)) {
    if (alignment & Qt::AlignRight) out += u'>';
    else if (alignment & Qt::AlignHCenter) out += u'=';
    else if (alignment & Qt::AlignJustify) out += u'~';
  }
  if (block.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)) out += u'^';
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    const QTextCharFormat format = fragment.charFormat();
    QString marks;
    if (format.fontWeight() >= QFont::Bold) marks += u'*';
    if (format.fontItalic()) marks += u'/';
    if (format.fontUnderline() && !format.isAnchor()) marks += u'_';
    if (format.fontStrikeOut()) marks += u'-';
    if (format.isAnchor()) marks += u'@' + format.anchorHref() + u'@';
    if (format.isImageFormat()) {
      out += QStringLiteral("[img %1]").arg(format.toImageFormat().name());
      continue;
    }
    QString text = fragment.text();
    text.replace(QChar::LineSeparator, u'|');
    out += marks + text;
  }
  return out;
}

QString DescribeTable(QTextTable* table) {
  QStringList rows;
  for (int r = 0; r < table->rows(); ++r) {
    QStringList cells;
    for (int c = 0; c < table->columns(); ++c) {
      const QTextTableCell cell = table->cellAt(r, c);
      QStringList parts;
      for (QTextFrame::iterator it = cell.begin(); !it.atEnd(); ++it) {
        if (auto* inner = qobject_cast<QTextTable*>(it.currentFrame())) parts << DescribeTable(inner);
        else if (it.currentBlock().isValid() && it.currentBlock().length() > 1) parts << DescribeBlock(it.currentBlock());
      }
      QString text = parts.join(u'+');
      if (cell.format().background().style() != Qt::NoBrush) text += u'#';
      cells << text;
    }
    rows << cells.join(u',');
  }
  return u'[' + rows.join(u';') + u']';
}

QString Describe(QTextFrame* frame) {
  QStringList parts;
  for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
    if (auto* table = qobject_cast<QTextTable*>(it.currentFrame())) parts << DescribeTable(table);
    else if (it.currentBlock().isValid() && (it.currentBlock().length() > 1 || it.currentBlock().textList() ||
                                             it.currentBlock().blockFormat().hasProperty(
                                                 QTextFormat::BlockTrailingHorizontalRulerWidth)))
      parts << DescribeBlock(it.currentBlock());
  }
  return parts.join(u" | ");
}

TEST(HtmlReaderTest, TheTreeRulesGiveTheParagraphsTablesAndListsABrowserShows) {
  const struct {
    const char* html;
    const char* shape;
  } cases[] = {
      // Blanks fold, paragraphs end where the next begins, breaks and rules.
      {"  <p> a \n b <p>c<br>\n d<hr>e", "a b | c|d | ^ | e"},
      {"<div>a<div>b</div>c</div>", "a | b | c"},
      {"<h1>Title</h1>text", "*Title | text"},
      {"<p align=right>r</p><center>c</center><div align=justify>j</div>", ">r | =c | ~j"},
      // (An empty paragraph is not shown here.)
      {"<pre>\n a  b\n\nc</pre>", " a  b | c"},
      // Entities of our own table, numbers, and those kept as written.
      {"<p>&eacute;&amp;&#65;&#x42;&nosuch;&#0;&amp</p>", "\u00E9&AB&nosuch;&#0;&amp"},
      // Raw text is text, or nothing; comments are nothing.
      {"<title>t<p>x</title><script>a<p>b</script><style>p{}</style><textarea><b>t</b></textarea><!-- <p>c -->d",
       "<b>t</b>d"},
      // A bare value ends at a blank or ">", quotes and "/" in it.
      {"<p title=O'Brien>a</p><p>b</p>", "a | b"},
      {"<A HREF=http://e.y/>x</A>", "@http://e.y/@x"},
      // Looks end with their end tag, and go on into the blocks after the one that closed them.
      {"<b>a<i>b</b>c</i>d", "*a*/b/cd"},
      {"<p><i>a</p><p>b</p>", "/a | /b"},
      {"<ul><li><a href=u><p>x<li>y</ul>", "(L1) | @u@x | (L1)@u@y"},
      // Lists and their levels.
      {"<ul><li>a<ol><li>b</ol><li>c</ul>", "(L1)a | (L2)b | (L1)c"},
      {"<ul><li></ul>", "(L1)"},
      // Tables: implied ends, spans, rows of the widest, cells of tables in cells.
      {"<table><tr><td>a<td>b<tr><td>c</table>", "[a,b;c,]"},
      {"<table><td>a</td></table>", "[a]"},
      {"<table><tr><td colspan=2>a<tr><td>b<td>c</table>", "[a,;b,c]"},
      {"<table><tr><td rowspan=2>a<td>b<tr><td>c</table>", "[a,b;,c]"},
      {"<table><thead><tr><th>h</thead><tbody><tr><td bgcolor=red>x</tbody></table>", "[=*h;x#]"},
      {"<table><tr><td>a<table><tr><td>in</table>b</td></tr></table>", "[a+[in]+b]"},
      // A table left open in a cell closes with the cell; one opened in a row ends the row's table.
      {"<table><tr><td>a<table><tr><td>in</td></tr><tr><td>x</td></tr></table>", "[a+[in;x]]"},
      {"<table><tr><td><table></td></tr><tr><td>x</td></tr></table>", "[;x]"},
      {"<table><tr><table><td>a</td></table>", "[a]"},
      // Cells and rows outside any table are their text; text in a table outside cells goes before it.
      {"<td>a</td><tr><td>b</td></tr>", "ab"},
      {"<table>x<tr><td>a</table>", "x | [a]"},
      {"<![CDATA[<table>]]><td>a", "]]>a"},
      // Pictures in their paragraph; their background is nothing.
      {"<p>see <img src=\"a.png\" alt=x> here<td background=b.png>", "see [img a.png] here"},
      // Styles: inline, from a sheet, and elements a sheet hides.
      {"<style>.b{font-weight:bold} td{background-color:#ff0} x{display:none}</style>"
       "<p class=b>a</p><p style=\"text-align:center;font-style:italic\">b<x>hidden</x></p>"
       "<table><tr><td>c</table>",
       "*a | =/b | [c#]"},
      {"<style>p{white-space:pre}</style><p>1\n2</p>", "1 | 2"},
  };
  for (const auto& c : cases) {
    QTextDocument text;
    ASSERT_TRUE(ReadHtmlPage(QString::fromUtf8(c.html), &text, 0).read()) << c.html;
    EXPECT_EQ(Describe(text.rootFrame()).toStdString(), c.shape) << c.html;
  }
}

// The charge stops the reading the moment it passes the budget, and a page nested deeper than
// any real one is no page: either way nothing is built.
TEST(HtmlReaderTest, PagesPastTheBudgetOrTheDeepestNestingBuildNothing) {
  const struct {
    QString html;
    int64_t budget;
    GMHtmlReading::Outcome outcome;
  } cases[] = {
      {QStringLiteral("<p>x</p>").repeated(1000), 1000 * kHtmlParagraphCost, GMHtmlReading::Outcome::TooLarge},
      {QStringLiteral("<p>x</p>").repeated(1000), 1000 * (kHtmlParagraphCost + kHtmlCharacterCost),
       GMHtmlReading::Outcome::Read},
      // The rows after a wide span are made as wide as their own cells, not as the span.
      {QStringLiteral("<table><tr><td colspan=20000>a</td></tr>") + QStringLiteral("<tr><td>b").repeated(400),
       int64_t(1) << 30, GMHtmlReading::Outcome::Read},
      {QStringLiteral("<div>").repeated(kMostHtmlNesting + 1) + u'x', 0, GMHtmlReading::Outcome::TooDeep},
      {QStringLiteral("<div>").repeated(kMostHtmlNesting - 1) + u'x', 0, GMHtmlReading::Outcome::Read},
      {QStringLiteral("<table><tr><td><b>a").repeated(2000), 0, GMHtmlReading::Outcome::TooDeep},
      {QStringLiteral("<table>") + QStringLiteral("<tr><td><b>a<td><i>b").repeated(2000), 0,
       GMHtmlReading::Outcome::Read},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.html.left(60).toStdString());
    QTextDocument text;
    const GMHtmlReading reading = ReadHtmlPage(c.html, &text, c.budget);
    EXPECT_EQ(int(reading.outcome), int(c.outcome));
    if (c.outcome == GMHtmlReading::Outcome::Read) {
      EXPECT_FALSE(text.isEmpty());
      EXPECT_EQ(reading.cost, HtmlPageReadingCost(c.html));
    } else {
      EXPECT_TRUE(text.isEmpty());
    }
    if (c.outcome == GMHtmlReading::Outcome::TooLarge) { EXPECT_GT(reading.cost, c.budget); }
  }
  EXPECT_EQ(HtmlNamedEntity(u"eacute"), U'\u00E9');
  EXPECT_EQ(HtmlNamedEntity(u"Eacute"), U'\u00C9');
  EXPECT_EQ(HtmlNamedEntity(u"apos"), U'\'');
  EXPECT_EQ(HtmlNamedEntity(u"nosuch"), 0u);
}

}  // namespace

// What a listener hears: the element that opens ("<td a=b>", "<+tr>" where the tree rules imply
// it), the element that closes ("</td>", implied ends too), text ('a', then K for an "&" kept as
// written, S for a space and B for another blank written as an entity), the text of an element
// that holds text alone ({...}) and comments (!). It answers TakeTable to the start of a row in
// which it finds `take`, TakeLines to a text that holds `takeLines` (charging `lineCharge` for
// each of its line ends), and Leave where a text is `leave`.
class RecordingListener final : public GMHtmlListener {
 public:
  QString heard, take, leave, takeLines;
  int64_t lineCharge = 0;
  Answer started(QStringView name, const std::vector<GMHtmlAttribute>& attributes, bool implied) override {
    heard += QLatin1String(implied ? "<+" : "<") + name.toString();
    for (const GMHtmlAttribute& attribute : attributes)
      heard += u' ' + attribute.name.toString() + (attribute.valued ? u'=' + attribute.value.toString() : QString());
    heard += u'>';
    return name == u"tr" && !take.isEmpty() && rows++ == take.toInt() ? Answer::TakeTable : Answer::Follow;
  }
  Answer ended(QStringView name) override {
    heard += QLatin1String("</") + name.toString() + u'>';
    return Answer::Follow;
  }
  Answer text(QStringView text, unsigned flags) override {
    heard += u'\'' + text.toString() + u'\'';
    if (flags & KeptAmpersand) heard += u'K';
    if (flags & SpaceByEntity) heard += u'S';
    if (flags & BlankByEntity) heard += u'B';
    if (text == leave) return Answer::Leave;
    if (takeLines.isEmpty() || !text.contains(takeLines)) return Answer::Follow;
    return charge(lineCharge * text.count(u'\n')) ? Answer::TakeLines : Answer::Leave;
  }
  Answer rawText(QStringView, QStringView raw) override {
    heard += u'{' + raw.toString() + u'}';
    return Answer::Follow;
  }
  Answer comment() override {
    heard += u'!';
    return Answer::Follow;
  }

 private:
  int rows = 0;
};

TEST(HtmlReaderTest, AListenerHearsTheTreeTheRichTextIsBuiltFrom) {
  const struct {
    const char* html;
    const char* heard;
  } cases[] = {
      {"<table><tr><td>a<td>b<tr><td>c</table>",
       "<table><tr><td>'a'</td><td>'b'</td></tr><tr><td>'c'</td></tr></table>"},
      {"<td>a</td><tr>b</tr><table><td>c</table>", "'a''b'<table><+tr><td>'c'</td></tr></table>"},
      {"<table><tr><td><p>x<td>y</td></td></tr></tr></table>",
       "<table><tr><td><p>'x'</p></td><td>'y'</td></tr></table>"},
      {"<P TITLE=O'Brien class=\"a b\" hidden>x</p>", "<p TITLE=O'Brien class=a b hidden>'x'</p>"},
      {"<!-- <td> --> <![CDATA[<td>]]>x<?pi <td>?>", "!!']]>x'!'?>'"},
      {"<title>a<td></title><style>p{}</style><textarea><b></textarea>",
       "<title>{a<td>}</title><style>{p{}}</style><textarea>{<b>}</textarea>"},
      {"<p>&amp;&nosuch;&#32;&#9;a</p>", "<p>'&&nosuch; \ta'KSB</p>"},
      {"<comment><td>x</td></comment>y", "<comment>{<td>x</td>}</comment>'y'"},
      // An end tag under a block ends the looks, not the element.
      {"<b>a<p>b</b>c</p>d", "<b>'a'<p>'b''c'</p>'d'"},
      {"<p><i>a</p>b", "<p><i>'a'</i></p><+i>'b'"},
      {"<br/><img src=a.png><x-y z=1>w</x-y>", "<br><img src=a.png><x-y z=1>'w'"},
  };
  for (const auto& c : cases) {
    QTextDocument text;
    RecordingListener listener;
    ASSERT_TRUE(ReadHtmlPage(QString::fromUtf8(c.html), &text, 0, &listener).read()) << c.html;
    EXPECT_EQ(listener.heard.toStdString(), c.heard) << c.html;
  }
}

// Rows a listener takes are told to it alone: the rich text is built without them, and if the
// listener leaves after it took them the reading ends with nothing built.
TEST(HtmlReaderTest, RowsAListenerTakesAreBuiltByNoOne) {
  const QString page = QStringLiteral(
      "<table><tr><td>one</td></tr><tr><td>two</td></tr><tr><td>three</td></tr></table><p>after</p>");
  const struct {
    const char* take;
    const char* leave;
    GMHtmlReading::Outcome outcome;
    const char* shape;
  } cases[] = {
      {"", "", GMHtmlReading::Outcome::Read, "[one;two;three] | after"},
      {"1", "", GMHtmlReading::Outcome::Read, "[one] | after"},
      {"0", "", GMHtmlReading::Outcome::Read, "after"},
      {"", "two", GMHtmlReading::Outcome::Read, "[one;two;three] | after"},
      {"1", "three", GMHtmlReading::Outcome::Left, ""},
      {"1", "after", GMHtmlReading::Outcome::Left, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.take) + "/" + c.leave);
    QTextDocument text;
    RecordingListener listener;
    listener.take = QString::fromLatin1(c.take);
    listener.leave = QString::fromLatin1(c.leave);
    const GMHtmlReading reading = ReadHtmlPage(page, &text, 0, &listener, 1000);
    EXPECT_EQ(reading.outcome, c.outcome);
    EXPECT_EQ(Describe(text.rootFrame()).toStdString(), c.shape);
    // What the listener's own reading takes is charged while it listens.
    EXPECT_GE(reading.cost, *c.leave ? 0 : 1000);
    EXPECT_TRUE(listener.heard.contains(u"'three'") || *c.leave);
  }
}

// The lines a listener takes, those of the paragraph after its first, are told to it alone: the
// rich text is built with the first line, and goes on after the paragraph. Taken anywhere but in a
// paragraph that keeps its lines they are not taken (the listener leaves); a listener that leaves
// after it took them ends the reading with nothing built, and what it charges for them is the
// reading's, which stops past the budget.
TEST(HtmlReaderTest, LinesAListenerTakesAreBuiltByNoOne) {
  const QString kept = QStringLiteral("<style>p{white-space:pre-wrap}</style>");
  const struct {
    QString html;
    const char* take;
    const char* leave;
    int64_t budget;
    GMHtmlReading::Outcome outcome;
    const char* shape;
  } cases[] = {
      {kept + "<p>one\ntwo\nthree</p><p>after</p>", "", "", 0, GMHtmlReading::Outcome::Read,
       "one | two | three | after"},
      {kept + "<p>one\ntwo\nthree</p><p>after</p>", "two", "", 0, GMHtmlReading::Outcome::Read, "one | after"},
      {kept + "<p>one\r\ntwo\n</p>after", "two", "", 0, GMHtmlReading::Outcome::Read, "one | after"},
      {kept + "<p>\ntwo</p>", "two", "", 0, GMHtmlReading::Outcome::Read, ""},
      {"<pre>\none\ntwo</pre><p>after</p>", "two", "", 0, GMHtmlReading::Outcome::Read, "one | after"},
      // Text after the first line, a comment apart, is the listener's too.
      {kept + "<p>one\ntwo<!-- -->three\nfour</p><p>after</p>", "two", "", 0, GMHtmlReading::Outcome::Read,
       "one | after"},
      {"<p>one\ntwo</p><p>after</p>", "two", "", 0, GMHtmlReading::Outcome::Read, "one two | after"},
      {kept + "<p>one\ntwo</p><p>after</p>", "two", "after", 0, GMHtmlReading::Outcome::Left, ""},
      {kept + "<p>one" + QStringLiteral("\nx").repeated(100) + "</p>", "one", "", 2000 + 60 * kHtmlCharacterCost,
       GMHtmlReading::Outcome::TooLarge, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.html.toStdString() + "/" + c.take);
    QTextDocument text;
    RecordingListener listener;
    listener.takeLines = QString::fromLatin1(c.take);
    listener.leave = QString::fromLatin1(c.leave);
    listener.lineCharge = 100;
    const GMHtmlReading reading = ReadHtmlPage(c.html, &text, c.budget, &listener);
    EXPECT_EQ(reading.outcome, c.outcome);
    EXPECT_EQ(Describe(text.rootFrame()).toStdString(), c.shape);
    if (c.outcome == GMHtmlReading::Outcome::TooLarge) {
      EXPECT_GT(reading.cost, c.budget);
    }
  }
}
