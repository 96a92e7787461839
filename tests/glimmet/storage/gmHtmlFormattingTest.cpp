// Formatting elements a page leaves open, or closes inside a block they hold, are read as a
// browser reads them: alike ones nest no deeper for each line, the looks a block closed are
// taken on again (at most three alike), and each line keeps the looks a browser shows it in.
#include "glimmet/storage/gmHtmlReader.h"

#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A run of text and its looks: "*" bold, "/" italic, "A" the Arial face, "<n>" a size step
// (from <font size> or <small>), "r" red.
QString DescribeRun(const QString& text, const QTextCharFormat& format) {
  QString marks;
  if (format.fontWeight() >= QFont::Bold) marks += u'*';
  if (format.fontItalic()) marks += u'/';
  if (format.fontFamilies().toStringList().contains(QStringLiteral("Arial"))) marks += u'A';
  if (format.hasProperty(QTextFormat::FontSizeAdjustment))
    marks += QStringLiteral("<%1>").arg(format.intProperty(QTextFormat::FontSizeAdjustment));
  if (format.foreground().color() == QColor(Qt::red)) marks += u'r';
  QString shown = text;
  shown.replace(QChar::LineSeparator, u'|');
  return marks.isEmpty() ? shown : marks + u'[' + shown + u']';
}

// The page's text line by line (paragraphs and line breaks), each line its runs.
std::vector<QString> Lines(const QTextDocument& text) {
  std::vector<QString> lines;
  for (QTextBlock block = text.begin(); block.isValid(); block = block.next()) {
    QString line;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const QStringList parts = fragment.text().split(QChar::LineSeparator);
      for (qsizetype k = 0; k < parts.size(); ++k) {
        if (k > 0) {
          lines.push_back(line);
          line.clear();
        }
        if (!parts[k].isEmpty()) line += DescribeRun(parts[k], fragment.charFormat());
      }
    }
    if (!line.isEmpty()) lines.push_back(line);
  }
  return lines;
}

QString Numbered(const char* pattern, int count) {
  QString page;
  for (int k = 1; k <= count; ++k) page += QString::fromUtf8(pattern).arg(k);
  return page;
}

// Pages of hundreds of lines that leave formatting elements open, or close them inside the
// paragraph they hold, as browsers show them: read whole, the first and last lines in the looks a
// browser gives them.
TEST(HtmlFormattingTest, PagesThatLeaveLooksOpenAreReadWhole) {
  const struct {
    const char* pattern;  // %1: the line's number
    int count;
    size_t lines;
    const char* first;
    const char* last;
  } cases[] = {
      {"<font face=\"Arial\">Line %1<br>", 600, 600, "A[Line 1]", "A[Line 600]"},
      {"<font face=\"Arial\">Line %1<br>", 5000, 5000, "A[Line 1]", "A[Line 5000]"},
      {"<font size=2><p>Line %1</font></p>", 600, 600, "<-1>[Line 1]", "<-1>[Line 600]"},
      {"<b><p>Para %1</b> text</p>", 600, 600, "*[Para 1] text", "*[Para 600] text"},
      {"<b><p>Para %1</b> text</p>", 5000, 5000, "*[Para 1] text", "*[Para 5000] text"},
      // Looks a paragraph's end closes are taken on again by the next, as often as the page
      // opens them anew: never more than three alike nest.
      {"<p><b>Line %1</p>", 600, 600, "*[Line 1]", "*[Line 600]"},
      {"<p><font color=red>Line %1</p>", 600, 600, "r[Line 1]", "r[Line 600]"},
      {"<font face=\"Arial\"><b>Line %1</b><br>", 600, 600, "*A[Line 1]", "*A[Line 600]"},
      {"<i><font size=2><div>Line %1</font></div>", 600, 600, "/<-1>[Line 1]", "/<-1>[Line 600]"},
      {"<small>Line %1<br>", 600, 600, "<-1>[Line 1]", "<-1>[Line 600]"},
  };
  for (const auto& c : cases) {
    const QString page = Numbered(c.pattern, c.count);
    SCOPED_TRACE(std::string(c.pattern) + " x " + std::to_string(c.count));
    QTextDocument text;
    const GMHtmlReading reading = ReadHtmlPage(page, &text, 0);
    ASSERT_EQ(reading.outcome, GMHtmlReading::Outcome::Read);
    const std::vector<QString> lines = Lines(text);
    ASSERT_EQ(lines.size(), c.lines);
    EXPECT_EQ(lines.front().toStdString(), c.first);
    EXPECT_EQ(lines.back().toStdString(), c.last);
  }
}

// End tags close the innermost of alike elements, so that the looks end where a browser ends
// them, however many alike ones were open; what a block closed is taken on again as often as it
// was open.
TEST(HtmlFormattingTest, AlikeElementsCloseOneByOne) {
  const struct {
    const char* page;
    const char* lines;  // joined by " | "
  } cases[] = {
      {"<font color=red><font color=red>a</font>b</font>c", "r[ab]c"},
      {"<b><b><b><b>a</b>b</b>c</b>d</b>e", "*[abcd]e"},
      {"<font color=red><b><font color=red>a</font>b</b>c</font>d", "*r[ab]r[c]d"},
      {"<font color=red><font color=red><b>a</font>b</font>c", "*r[ab]*[c]"},
      {"<p><font color=red><font color=red>x</p><p>y</font>z</font>w</p>", "r[x] | r[yz]w"},
      {"<font color=red><font color=red><p>x</font>y</font>z</p>w", "r[xy]z | w"},
      {"<font size=2><font size=2><font size=2><font size=2><p>a</p></font>b</font>c</font>d</font>e",
       "<-1>[a] | <-1>[bcd]e"},
      // Not alike: each closes in turn.
      {"<font color=red><font size=2>a</font>b</font>c", "<-1>r[a]r[b]c"},
      {"<b><i><b>a</b>b</i>c</b>d", "*/[ab]*[c]d"},
      // Of looks a block closed, three alike are taken on again, however many were open.
      {"<p><b>1</p><p><b>2</p><p><b>3</p><p><b>4</p><p>x</b>y</b>z</b>w</b>v</p>",
       "*[1] | *[2] | *[3] | *[4] | *[xyz]wv"},
      {"<p><b><b><b><b><b>1</p><p>x</b>y</b>z</b>w</p>", "*[1] | *[xyz]w"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    QTextDocument text;
    ASSERT_TRUE(ReadHtmlPage(QString::fromUtf8(c.page), &text, 0).read());
    QStringList lines;
    for (const QString& line : Lines(text)) lines << line;
    EXPECT_EQ(lines.join(QStringLiteral(" | ")).toStdString(), c.lines);
  }
}

// Nesting that changes what a page shows stays bounded, and so do alike elements left open
// inside one another, however cheaply they are held.
TEST(HtmlFormattingTest, OtherNestingStaysBounded) {
  const struct {
    QString page;
    GMHtmlReading::Outcome outcome;
  } cases[] = {
      {QStringLiteral("<span>").repeated(kMostHtmlNesting + 1) + u'x', GMHtmlReading::Outcome::TooDeep},
      // Formatting elements that are not alike open beside one another past a depth, as browsers
      // attach them, and nest no deeper.
      {QStringLiteral("<font color=red><font color=blue>").repeated(kMostHtmlNesting) + u'x',
       GMHtmlReading::Outcome::Read},
      {QStringLiteral("<blockquote><b>").repeated(kMostHtmlNesting) + u'x', GMHtmlReading::Outcome::TooDeep},
      {QStringLiteral("<b>").repeated(kMostHtmlNesting * 4) + u'x', GMHtmlReading::Outcome::Read},
      {QStringLiteral("<b>").repeated(kMostHtmlOpenElements - 1) + u'x', GMHtmlReading::Outcome::Read},
      {QStringLiteral("<b>").repeated(kMostHtmlOpenElements + 1) + u'x', GMHtmlReading::Outcome::TooDeep},
      {QStringLiteral("<p><b>x</p>").repeated(kMostHtmlOpenElements * 2), GMHtmlReading::Outcome::Read},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page.left(60).toStdString());
    QTextDocument text;
    EXPECT_EQ(ReadHtmlPage(c.page, &text, 0).outcome, c.outcome);
  }
}

}  // namespace
