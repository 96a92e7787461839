#include "glimmet/storage/gmCss.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>

namespace {

// An element chain written as selectors are: "div.x p#i.a.b" is a p with id i and classes a and
// b inside a div of class x; "p[lang=en][hidden]" a p with those attributes (a value written
// without blanks or brackets). Its views point into `text`, kept alive with it.
struct Chain {
  QString text;
  std::deque<QString> parts;
  std::deque<GMCssElement> elements;

  explicit Chain(const QString& written) : text(written) {
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
      GMCssElement e;
      e.parent = elements.empty() ? nullptr : &elements.back();
      qsizetype i = 0;
      const auto until = [&](qsizetype from) {
        qsizetype end = from;
        while (end < word.size() && word[end] != u'.' && word[end] != u'#' && word[end] != u'[') ++end;
        return end;
      };
      const qsizetype nameEnd = until(0);
      e.name = QStringView(parts.emplace_back(word.left(nameEnd)));
      i = nameEnd;
      while (i < word.size()) {
        if (word[i] == u'[') {
          const qsizetype close = word.indexOf(u']', i);
          const QString inside = word.mid(i + 1, close - i - 1);
          const qsizetype equals = inside.indexOf(u'=');
          const QStringView name(parts.emplace_back(equals < 0 ? inside : inside.left(equals)));
          const QStringView value(parts.emplace_back(equals < 0 ? QString() : inside.mid(equals + 1)));
          e.attributes.push_back({name, value});
          i = close + 1;
          continue;
        }
        const qsizetype end = until(i + 1);
        const QStringView part(parts.emplace_back(word.mid(i + 1, end - i - 1)));
        if (word[i] == u'#')
          e.id = part;
        else
          e.classes.push_back(part);
        i = end;
      }
      elements.push_back(e);
    }
  }
  const GMCssElement& subject() const { return elements.back(); }
};

// The declarations that apply to the element, in cascade order, as "property=value" with "!" for
// the important ones, joined by "|".
QString Matched(const GMStyleSheets& sheets, const QString& element) {
  const Chain chain(element);
  std::vector<const GMCssDeclaration*> found;
  if (!sheets.match(chain.subject(), &found)) return QStringLiteral("(refused)");
  QStringList parts;
  for (const GMCssDeclaration* d : found)
    parts.append(d->property + u'=' + d->value + QLatin1String(d->important ? "!" : ""));
  return parts.join(u'|');
}

QString Hex(const QColor& c) { return c.alpha() == 255 ? c.name(QColor::HexRgb) : c.name(QColor::HexArgb); }

QString Number(double v) { return QString::number(v, 'g', 6); }

// The properties the style sets, in a fixed order.
QString Describe(const GMCssStyle& s) {
  QStringList out;
  if (s.fontFamilies) out.append(QLatin1String("family=") + s.fontFamilies->join(u'|'));
  if (s.fontPointSize) out.append(QLatin1String("size=") + Number(*s.fontPointSize));
  if (s.fontWeight) out.append(QLatin1String("weight=") + QString::number(*s.fontWeight));
  if (s.italic) out.append(QLatin1String("italic=") + QString::number(*s.italic));
  if (s.color) out.append(QLatin1String("color=") + Hex(*s.color));
  if (s.textAlign) out.append(QLatin1String("align=") + QString::number(int(*s.textAlign)));
  if (s.textIndentPoints) out.append(QLatin1String("indent=") + Number(*s.textIndentPoints));
  if (s.whiteSpace) out.append(QLatin1String("space=") + QString::number(int(*s.whiteSpace)));
  if (s.listStyleType) out.append(QLatin1String("list=") + *s.listStyleType);
  if (s.underline) out.append(QLatin1String("u=") + QString::number(*s.underline));
  if (s.strikeOut) out.append(QLatin1String("s=") + QString::number(*s.strikeOut));
  if (s.overline) out.append(QLatin1String("o=") + QString::number(*s.overline));
  if (s.verticalAlign) out.append(QLatin1String("valign=") + QString::number(int(*s.verticalAlign)));
  if (s.backgroundColor) out.append(QLatin1String("bg=") + Hex(*s.backgroundColor));
  const auto side = [&](const char* name, const std::optional<double>& v) {
    if (v) out.append(QLatin1String(name) + u'=' + Number(*v));
  };
  side("mt", s.marginTopPoints);
  side("mr", s.marginRightPoints);
  side("mb", s.marginBottomPoints);
  side("ml", s.marginLeftPoints);
  side("pt", s.paddingTopPoints);
  side("pr", s.paddingRightPoints);
  side("pb", s.paddingBottomPoints);
  side("pl", s.paddingLeftPoints);
  if (s.width)
    out.append(QLatin1String("width=") + Number(s.width->value) +
               QLatin1String(s.width->unit == GMCssLength::Unit::Percent ? "%" : "pt"));
  if (s.displayNone) out.append(QStringLiteral("none"));
  return out.join(u' ');
}

GMCssStyle Styled(const QString& css, const GMCssStyle& parent) {
  std::vector<GMCssDeclaration> declarations;
  EXPECT_TRUE(ParseCssDeclarations(css, &declarations, nullptr));
  std::vector<const GMCssDeclaration*> pointers;
  for (const GMCssDeclaration& d : declarations) pointers.push_back(&d);
  GMCssStyle style = parent.inherited();
  ApplyCssDeclarations(pointers, parent, &style);
  return style;
}

TEST(GMCss, DeclarationsAreReadAsWritten) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"color: red; margin-left: 12px !important", "color=red|margin-left=12px!"},
      {"COLOR:Red", "color=Red"},
      {"color: /* a comment */ red", "color=red"},
      {"color red; font-size: 12pt", "font-size=12pt"},  // no colon: that one alone is void
      {"font-family: \"a;b\", serif; color: blue", "font-family=\"a;b\", serif|color=blue"},
      {"a: b { c; d } ; color: red", "a=b { c; d }|color=red"},
      {"color:; ;;;color:red;;", "color=red"},
      {"color: red ! IMPORTANT", "color=red!"},
      {"c\\6f lor: red", "color=red"},
      {"color: 'open; font-size: 1pt", "color='open; font-size: 1pt"},
      {"color: 'open\n; font-size: 1pt", "color='open|font-size=1pt"},
      {"font: 12px/1.5 x; 1x: y; -x-y: z", "font=12px/1.5 x|-x-y=z"},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::vector<GMCssDeclaration> declarations;
    ASSERT_TRUE(ParseCssDeclarations(QString::fromUtf8(c.text), &declarations, nullptr)) << c.text;
    QStringList parts;
    for (const GMCssDeclaration& d : declarations)
      parts.append(d.property + u'=' + d.value + QLatin1String(d.important ? "!" : ""));
    EXPECT_EQ(parts.join(u'|').toStdString(), c.expected) << c.text;
  }
}

TEST(GMCss, SheetsAreReadWithCssErrorRecovery) {
  const struct {
    const char* sheet;
    const char* element;
    const char* expected;
  } cases[] = {
      {"p{color:red}", "p", "color=red"},
      {"/* c */ p { color : red } /* open", "p", "color=red"},
      {"p{color:red", "p", "color=red"},  // a block left open ends with the sheet
      {"p{color:red}} p{margin-left:1pt} p{text-align:left}", "p", "color=red|text-align=left"},
      {"p{color:\"}\"; margin-left:1pt}", "p", "color=\"}\"|margin-left=1pt"},
      {"p{color:red; x:{;}; margin-left:1pt}", "p", "color=red|margin-left=1pt"},
      {"p(color:red} p{margin-left:1pt}", "p", ""},
      {"@media print{p{color:red}} p{margin-left:1pt}", "p", "margin-left=1pt"},
      {"@media screen{p{color:red}}", "p", "color=red"},
      {"@media all, print{p{color:red}}", "p", "color=red"},
      {"@media only screen{p{color:red}}", "p", "color=red"},
      {"@media not print{p{color:red}}", "p", "color=red"},
      {"@media screen and (max-width:600px){p{color:red}}", "p", ""},
      {"@media screen{@media print{p{color:red}} p{margin-left:1pt}}", "p", "margin-left=1pt"},
      {"@font-face{font-family:x; src:url(x)} p{color:red}", "p", "color=red"},
      {"@charset \"utf-8\"; @unknown foo; @page{margin:1in} p{color:red}", "p", "color=red"},
      {"@supports (display:grid){p{color:red}} p{margin-left:1pt}", "p", "margin-left=1pt"},
      {"<!-- p{color:red} -->", "p", "color=red"},
      {"p:hover{color:red} p{margin-left:1pt}", "p", "margin-left=1pt"},
      {"p::first-line, p{color:red}", "p", "color=red"},
      {"p.a, p.b:hover{color:red}", "p.a", "color=red"},
      {"p.a, p.a p:hover{color:red} p.b, p.b p:hover{margin-left:1pt}", "p.a", "color=red"},
      {"p.a, p.a p:hover, p.b{color:red}", "p.b", "color=red"},
      {"a[href], h1 + p, h1 ~ p, svg|p{color:red}", "p", ""},
      {"p,,a{color:red}", "p", ""},
      {"p..a{color:red}", "p.a", ""},
      {"p,{color:red}", "p", ""},
      {"p{color:red;background-image:url(x.png);foo:bar}", "p", "color=red"},
      {"P.A{color:red}", "p.A", "color=red"},
      {"P.A{color:red}", "p.a", ""},
      {".\\31 a{color:red}", "p.1a", "color=red"},
      {"#x{color:red}", "p#x", "color=red"},
      {"#x#y{color:red}", "p#x", ""},
      {"#1a{color:red} p{margin-left:1pt}", "p#1a", "margin-left=1pt"},
      {"#\\31 a{color:red}", "p#1a", "color=red"},
      {"*{color:red}", "p", "color=red"},
      {"p.a.b{color:red}", "p.b.a", "color=red"},
      {"p.a.b{color:red}", "p.a", ""},
  };
  for (const auto& c : cases) {
    GMStyleSheets sheets(nullptr);
    ASSERT_TRUE(sheets.addSheet(QString::fromUtf8(c.sheet), QUrl())) << c.sheet;
    EXPECT_EQ(Matched(sheets, QString::fromUtf8(c.element)).toStdString(), c.expected) << c.sheet;
  }
}

TEST(GMCss, RulesAreMatchedInCascadeOrder) {
  const struct {
    const char* sheet;
    const char* element;
    const char* expected;
  } cases[] = {
      {"p{color:red} p{color:blue}", "p", "color=blue"},
      {"p{color:red;color:blue}", "p", "color=blue"},
      {"p{color:red;margin-left:1pt} p{color:blue}", "p", "margin-left=1pt|color=blue"},
      {"p{color:red !important} p{color:blue}", "p", "color=blue|color=red!"},
      {".a{color:red} p{color:blue}", "p.a", "color=blue|color=red"},
      {"#i{color:red} .a.b{color:blue} p.a{color:green} *{color:gray}", "p#i.a.b",
       "color=gray|color=green|color=blue|color=red"},
      // A rule merged with a later one of the same selector takes the later one's place.
      {"p{color:red} .a{color:blue} p{color:green}", "p.a", "color=green|color=blue"},
      {"p{color:red} p{color:blue} div p{color:green}", "div p", "color=blue|color=green"},
      {"p{color:red} *{color:blue} p{color:green}", "p", "color=blue|color=green"},
      {".a.a{color:red} p.a.b{color:blue}", "p.a.b", "color=red|color=blue"},
      {".a.a.a{color:red} p.a.b{color:blue}", "p.a.b", "color=blue|color=red"},
      {".a, p{color:red} p{margin-left:1pt}", "p", "color=red|margin-left=1pt"},
      {"p, p, p{color:red}", "p", "color=red"},
      {"div p{color:red}", "div p", "color=red"},
      {"div p{color:red}", "p", ""},
      {"div p{color:red}", "div span p", "color=red"},
      {"div p{color:red}", "div p span", ""},
      {"div > p{color:red}", "div span p", ""},
      {"div > p{color:red}", "div p", "color=red"},
      {"div>p{color:red}", "div p", "color=red"},
      {"div > span p{color:red}", "div span x p", "color=red"},
      {"a > b c{color:red}", "a b b c", "color=red"},  // the nearest b does not fit, the next one does
      {"a > b c{color:red}", "b a b c", "color=red"},
      {"a > b c{color:red}", "a x b b c", ""},
      {"a b > c{color:red}", "a b x c", ""},
      {"a b > c{color:red}", "a x b c", "color=red"},
      {".x .x .x{color:red}", "p.x p.x p.x", "color=red"},
      {".x .x .x{color:red}", "p.x p p.x p.x", "color=red"},
      {".x .x .x{color:red}", "p.x p.x", ""},
      {"#a .b p{color:red}", "div#a div.c div.b p", "color=red"},
      {"#a .b p{color:red}", "div#b div.c div.a p", ""},
      {"* p{color:red}", "p", ""},
      {"* p{color:red}", "div p", "color=red"},
      {"div * p{color:red}", "div p", ""},
      {"div * p{color:red}", "div span p", "color=red"},
      {"x1 p{color:red} x2 p{margin-left:1pt} x3 p{text-align:left}", "x3 x1 p", "color=red|text-align=left"},
      {".a .b{color:red} .b .b{margin-left:1pt}", "p.a.b p.b", "color=red|margin-left=1pt"},
      {".a .b{color:red} .b .b{margin-left:1pt}", "p.b p.b", "margin-left=1pt"},
      // The rules of one list share its declarations until one of them is given more.
      {"a, b{color:red} a{margin-left:1pt}", "b", "color=red"},
      {"a, b{color:red} a{margin-left:1pt}", "a", "color=red|margin-left=1pt"},
      {"a, b{color:red} a{color:blue}", "b", "color=red"},
      {"a, b{color:red} a{color:blue}", "a", "color=blue"},
      {"a, b{color:red} b, a{margin-left:1pt} a{text-align:left}", "b", "color=red|margin-left=1pt"},
      {"a, b{color:red} b, a{margin-left:1pt} a{text-align:left}", "a", "color=red|margin-left=1pt|text-align=left"},
      {"a{color:red} b{margin-left:1pt} a{text-align:left} a{color:blue}", "a", "text-align=left|color=blue"},
      {"a, b, a, b{color:red} c, a{color:blue}", "b", "color=red"},
      // Names written in capitals or with escapes are the same names.
      {"P.c1, p.c1{color:red} p.c1{color:blue}", "p.c1", "color=blue"},
      {"DIV P{color:red}", "div p", "color=red"},
      {"\\70 .\\61{color:red}", "p.a", "color=red"},
      {"#\\31 a{color:red}", "p#1a", "color=red"},
  };
  for (const auto& c : cases) {
    GMStyleSheets sheets(nullptr);
    ASSERT_TRUE(sheets.addSheet(QString::fromUtf8(c.sheet), QUrl())) << c.sheet;
    EXPECT_EQ(Matched(sheets, QString::fromUtf8(c.element)).toStdString(), c.expected)
        << c.sheet << " on " << c.element;
  }
}

TEST(GMCss, MediaForTheScreenApply) {
  const struct {
    const char* media;
    bool matches;
  } cases[] = {
      {"", true},          {"all", true},           {"Screen", true},          {"print", false},
      {"print, screen", true}, {"only screen", true}, {"not print", true},     {"not screen", false},
      {"screen and (min-width: 100px)", false},     {"(color)", false},        {"speech", false},
      {"/* c */ screen", true}, {"  screen  ", true},
  };
  for (const auto& c : cases) EXPECT_EQ(CssMediaMatches(QString::fromUtf8(c.media)), c.matches) << c.media;
}

// Elements nested deeper than the keys of their ancestors are gathered are matched all the same.
TEST(GMCss, DeepElementsAreMatched) {
  const QString deep = QStringLiteral("section ") + QStringLiteral("div ").repeated(200);
  const struct {
    const char* sheet;
    QString element;
    const char* expected;
  } cases[] = {
      {"section p{color:red} article p{margin-left:1pt}", deep + u'p', "color=red"},
      {"section > div p{color:red}", deep + u'p', "color=red"},
      {"section > p{color:red}", deep + u'p', ""},
  };
  for (const auto& c : cases) {
    GMStyleSheets sheets(nullptr);
    ASSERT_TRUE(sheets.addSheet(QString::fromUtf8(c.sheet), QUrl()));
    EXPECT_EQ(Matched(sheets, c.element).toStdString(), c.expected) << c.sheet;
  }
}

// An element's inline declarations win over the rules' normal ones, not over their important ones.
TEST(GMCss, InlineDeclarationsTakeTheirPlaceInTheCascade) {
  const struct {
    const char* sheet;
    const char* inlineStyle;
    const char* expected;
  } cases[] = {
      {"p{color:red}", "color:blue", "color=red|color=blue"},
      {"p{color:red !important; margin-left:1pt}", "color:blue; text-align:left",
       "margin-left=1pt|color=blue|text-align=left|color=red!"},
      {"p{color:red !important}", "color:blue !important", "color=red!|color=blue!"},
      {"", "color:blue !important; color:green", "color=green|color=blue!"},
  };
  for (const auto& c : cases) {
    GMStyleSheets sheets(nullptr);
    ASSERT_TRUE(sheets.addSheet(QString::fromUtf8(c.sheet), QUrl()));
    const Chain chain(QStringLiteral("p"));
    std::vector<const GMCssDeclaration*> cascade;
    ASSERT_TRUE(sheets.match(chain.subject(), &cascade));
    std::vector<GMCssDeclaration> inlineDeclarations;
    ASSERT_TRUE(ParseCssDeclarations(QString::fromUtf8(c.inlineStyle), &inlineDeclarations, nullptr));
    AddInlineCssDeclarations(inlineDeclarations, &cascade);
    QStringList parts;
    for (const GMCssDeclaration* d : cascade)
      parts.append(d->property + u'=' + d->value + QLatin1String(d->important ? "!" : ""));
    EXPECT_EQ(parts.join(u'|').toStdString(), c.expected) << c.sheet << " / " << c.inlineStyle;
  }
}

// Attribute selectors match as a browser matches them: by presence, by a whole value, a word of
// it, its hyphenated start, its start, end or any part, case-sensitively but for the attributes
// HTML compares without case and where "i" or "s" says otherwise; each counts as a class does,
// on the element itself and on its ancestors. One written wrong makes its whole rule void; one
// with a namespace is left out of its list alone.
TEST(GMCss, AttributeSelectorsMatchAsABrowserMatchesThem) {
  const struct {
    const char* sheet;
    const char* element;
    const char* expected;
  } cases[] = {
      {"[hidden].a{display:block}", "div[hidden].a", "display=block"},
      {"[hidden].a{display:block}", "div[hidden]", ""},
      {"[hidden].a{display:block}", "div.a", ""},
      {"div[hidden]{color:red}", "div[HIDDEN]", ""},  // the reader gives names in lower case
      {"[title=Note]{color:red}", "p[title=Note]", "color=red"},
      {"[title=Note]{color:red}", "p[title=note]", ""},
      {"[title=Note i]{color:red}", "p[title=nOTE]", "color=red"},
      {"[type=text]{color:red}", "input[type=TEXT]", "color=red"},
      {"[type=text s]{color:red}", "input[type=TEXT]", ""},
      {"[class~=b]{color:red}", "p[class=a]", ""},
      {"[rel~=noopener]{color:red}", "a[rel=nofollow]", ""},
      {"[data-tags~=b]{color:red}", "p[data-tags=b]", "color=red"},
      {"[lang|=en]{color:red}", "p[lang=en-GB]", "color=red"},
      {"[lang|=en]{color:red}", "p[lang=en]", "color=red"},
      {"[lang|=en]{color:red}", "p[lang=eng]", ""},
      {"a[href^=\"http\"]{color:red}", "a[href=https://x.example/]", "color=red"},
      {"a[href$='.pdf']{color:red}", "a[href=/guide.pdf]", "color=red"},
      {"a[href$='.pdf']{color:red}", "a[href=/guide.pdf?x]", ""},
      {"[title*=ar]{color:red}", "abbr[title=march]", "color=red"},
      {"[title*='']{color:red}", "abbr[title=march]", ""},
      {"[title^=\"\"]{color:red}", "abbr[title]", ""},
      {"[ title = 'a' ]{color:red}", "p[title=a]", "color=red"},
      // On an ancestor, and by specificity: an attribute counts as a class.
      {"[dir=rtl] p{text-align:right}", "div[dir=rtl] section p", "text-align=right"},
      {"[dir=rtl] > p{text-align:right}", "div[dir=rtl] section p", ""},
      {"p.a{color:red} p[title]{color:blue}", "p.a[title=x]", "color=red|color=blue"},
      {"p[title]{color:blue} p.a{color:red}", "p.a[title=x]", "color=blue|color=red"},
      {"[a][b]{color:red} [b][a]{color:blue}", "p[a][b]", "color=red|color=blue"},
      // Written wrong: the rule is void, the other rules stay.
      {"[=x]{color:red} p{margin-left:1pt}", "p[x]", "margin-left=1pt"},
      {"[a=1]{color:red} p{margin-left:1pt}", "p[a=1]", "margin-left=1pt"},
      {"[a=\"x\n]{color:red} p{margin-left:1pt}", "p[a=x]", "margin-left=1pt"},
      {"[a x]{color:red}", "p[a]", ""},
      {"[a{color:red}", "p[a]", ""},
      // A namespace: left out of its list alone.
      {"[*|a], p{color:red}", "p", "color=red"},
      {"[svg|a], p{color:red}", "p[a]", "color=red"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.sheet) + " / " + c.element);
    GMStyleSheets sheets(nullptr);
    ASSERT_TRUE(sheets.addSheet(QString::fromUtf8(c.sheet), QUrl()));
    EXPECT_EQ(Matched(sheets, QString::fromUtf8(c.element)).toStdString(), c.expected);
  }
  GMStyleSheets plain(nullptr);
  ASSERT_TRUE(plain.addSheet(QStringLiteral("p.a{color:red}"), QUrl()));
  EXPECT_FALSE(plain.testsAttributes());
  GMStyleSheets tests(nullptr);
  ASSERT_TRUE(tests.addSheet(QStringLiteral("p.a{color:red} [hidden]{display:block}"), QUrl()));
  EXPECT_TRUE(tests.testsAttributes());
}

// Rules repeated by the thousand cost a page their bytes, not a match each for every element.
TEST(GMCss, RepeatedRulesAreHeldOnce) {
  const auto repeated = [](int count, const auto& piece) {
    QString text;
    for (int k = 0; k < count; ++k) text += piece(k);
    return text;
  };
  const struct {
    QString sheet;
    const char* expected;
  } cases[] = {
      {repeated(10000, [](int) { return QStringLiteral("*{color:red}"); }), "color=red"},
      {QStringLiteral("p") + repeated(200000, [](int) { return QStringLiteral(",p"); }) + QStringLiteral("{color:red}"),
       "color=red"},
      {repeated(16000, [](int k) { return QStringLiteral("p{margin-left:%1px}").arg(k); }), "margin-left=15999px"},
      {repeated(5000, [](int k) { return QStringLiteral("p{x-%1:1;color:red}").arg(k); }), "color=red"},
  };
  for (const auto& c : cases) {
    int64_t charged = 0;
    GMStyleSheets sheets([&](int64_t bytes) {
      charged += bytes;
      return true;
    });
    ASSERT_TRUE(sheets.addSheet(c.sheet, QUrl()));
    EXPECT_GE(charged, 2 * c.sheet.size());
    EXPECT_EQ(Matched(sheets, QStringLiteral("body p")).toStdString(), c.expected) << c.expected;
  }
}

TEST(GMCss, ValuesAreReadAsCssHasThem) {
  const struct {
    const char* parent;
    const char* css;
    const char* expected;
  } cases[] = {
      {"", "font-size: 16px", "size=12"},
      {"", "font-size: 1in", "size=72"},
      {"", "font-size: 2.54cm", "size=72"},
      {"", "font-size: 25.4mm", "size=72"},
      {"", "font-size: 1pc", "size=12"},
      {"", "font-size: 1.5E1pt", "size=15"},
      {"", "font-size: .5in", "size=36"},
      {"", "font-size: +0.25in", "size=18"},
      {"", "font-size: 16.00000000000000000001px", "size=12"},
      {"", "font-size: 1234567890123456789px", ""},
      {"font-size: 10pt", "font-size: 2em", "size=20"},
      {"font-size: 10pt", "font-size: 2ex", "size=10"},
      {"font-size: 10pt", "font-size: 150%", "size=15"},
      {"font-size: 10pt", "font-size: 1rem", "size=12"},
      {"font-size: 12pt", "font-size: smaller", "size=10"},
      {"font-size: 10pt", "font-size: larger", "size=12"},
      {"", "font-size: 2em", "size=24"},
      {"", "font-size: x-large", "size=18"},
      {"", "font-size: xx-small", "size=7.2"},
      {"", "font-size: -1pt", ""},
      {"", "font-size: 12", ""},
      {"", "font-size: 12 pt", ""},
      {"", "font-size: 1e400pt", ""},
      {"", "font-weight: bold", "weight=700"},
      {"", "font-weight: bolder", "weight=700"},
      {"font-weight: 700", "font-weight: lighter", "weight=400"},
      {"font-weight: 300", "font-weight: bolder", "weight=400"},
      {"", "font-weight: 550", "weight=600"},
      {"", "font-weight: 1001", ""},
      {"", "font-style: oblique 10deg", "italic=1"},
      {"font-style: italic", "font-style: normal", "italic=0"},
      {"", "font-family: \"Times New Roman\", Arial ,  sans-serif", "family=Times New Roman|Arial|sans-serif"},
      {"", "font-family: Comic   Sans  MS, 'a\\\"b'", "family=Comic Sans MS|a\"b"},
      {"", "font: italic bold 12px/30px Georgia, serif", "family=Georgia|serif size=9 weight=700 italic=1"},
      {"font-size: 10pt; font-weight: bold", "font: 80% sans-serif", "family=sans-serif size=8 weight=400 italic=0"},
      {"", "font: bold", ""},
      {"", "font: 12pt", ""},
      {"", "font: menu", ""},
      {"", "color: #f00", "color=#ff0000"},
      {"", "color: #00FF0080", "color=#8000ff00"},
      {"", "color: #abcd", "color=#ddaabbcc"},
      {"", "color: rgb(255, 0, 0)", "color=#ff0000"},
      {"", "color: rgb(100%, 50%, 0%)", "color=#ff8000"},
      {"", "color: rgba(0, 0, 255, 0.5)", "color=#800000ff"},
      {"", "color: rgb(0 0 255 / 50%)", "color=#800000ff"},
      {"", "color: rgb(300, -5, 0)", "color=#ff0000"},
      {"", "color: hsl(120, 100%, 50%)", "color=#00ff00"},
      {"", "color: Navy", "color=#000080"},
      {"", "color: transparent", "color=#00000000"},
      {"", "color: notacolor", ""},
      {"", "color: #ff", ""},
      {"", "color: rgb(1, 2)", ""},
      {"color: red", "color: inherit", "color=#ff0000"},
      {"color: red", "background-color: currentColor", "color=#ff0000 bg=#ff0000"},
      {"", "background-color: yellow", "bg=#ffff00"},
      {"", "background: url(x.png) #fff no-repeat", "bg=#ffffff"},
      {"", "background: url(x.png)", "bg=#00000000"},
      {"", "background-image: url(x.png)", ""},
      {"", "text-decoration: underline line-through", "u=1 s=1 o=0"},
      {"", "text-decoration: none", "u=0 s=0 o=0"},
      {"", "text-decoration: overline wavy red", "u=0 s=0 o=1"},
      {"", "text-decoration: bogus", ""},
      {"", "vertical-align: super", "valign=1"},
      {"", "vertical-align: sub", "valign=2"},
      {"", "vertical-align: middle", "valign=4"},
      {"", "vertical-align: 10px", ""},
      {"", "text-align: center", "align=2"},
      {"", "text-align: justify", "align=3"},
      {"", "text-align: end", "align=1"},
      {"text-align: center", "", "align=2"},
      {"font-size: 10pt", "text-indent: 2em", "size=10 indent=20"},
      {"", "text-indent: 10%", ""},
      {"", "margin: 1pt 2pt 3pt 4pt", "mt=1 mr=2 mb=3 ml=4"},
      {"", "margin: 1pt 2pt", "mt=1 mr=2 mb=1 ml=2"},
      {"", "margin: 1pt 2pt 3pt", "mt=1 mr=2 mb=3 ml=2"},
      {"", "margin: 4pt", "mt=4 mr=4 mb=4 ml=4"},
      {"", "margin: 0 auto", "mt=0 mb=0"},
      {"", "margin: 1pt 2pt 3pt 4pt 5pt", ""},
      {"", "margin: 1pt x", ""},
      {"", "margin-left: -8px", "ml=-6"},
      {"", "margin-left: -.125in", "ml=-9"},
      {"", "margin-left: 1em; font-size: 20pt", "size=20 ml=20"},
      {"", "margin-left: 1pt; margin: 2pt 3pt", "mt=2 mr=3 mb=2 ml=3"},
      {"", "padding: 4px", "pt=3 pr=3 pb=3 pl=3"},
      {"", "padding: -1px", ""},
      {"", "padding-left: 1in", "pl=72"},
      {"", "white-space: pre-wrap", "space=3"},
      {"", "white-space: nowrap", "space=2"},
      {"", "list-style-type: upper-roman", "list=upper-roman"},
      {"", "list-style-type: lower-latin", "list=lower-alpha"},
      {"", "list-style: square inside", "list=square"},
      {"", "list-style: none", "list=none"},
      {"", "list-style: url(x.png) inside", ""},
      {"", "width: 50%", "width=50%"},
      {"", "width: 96px", "width=72pt"},
      {"font-size: 10pt", "width: 3em", "size=10 width=30pt"},
      {"", "width: auto", ""},
      {"", "width: -1px", ""},
      {"", "display: none", "none"},
      {"", "display: none; display: block", ""},
      {"font-size: 10pt", "font-size: initial", ""},
      {"font-size: 10pt; margin-left: 3pt", "margin-left: inherit", "size=10 ml=3"},
      {"", "COLOR: RED; color: blue", "color=#0000ff"},
  };
  for (const auto& c : cases) {
    const GMCssStyle parent = Styled(QString::fromUtf8(c.parent), GMCssStyle());
    EXPECT_EQ(Describe(Styled(QString::fromUtf8(c.css), parent)).toStdString(), c.expected)
        << c.parent << " / " << c.css;
  }
}

TEST(GMCss, ChildrenInheritOnlyTheInheritedProperties) {
  const GMCssStyle all = Styled(QStringLiteral("font: italic bold 10pt Arial; color: red; text-align: center; "
                                               "text-indent: 1pt; white-space: pre; list-style-type: square; "
                                               "text-decoration: underline; vertical-align: sub; background: blue; "
                                               "margin: 1pt; padding: 2pt; width: 5pt; display: none"),
                                GMCssStyle());
  EXPECT_EQ(Describe(all.inherited()).toStdString(),
            "family=Arial size=10 weight=700 italic=1 color=#ff0000 align=2 indent=1 space=1 list=square");
}

// A display of any value is given, which overrides what hides an element by its hidden attribute
// alone; only "none" hides. Neither is inherited.
TEST(GMCss, AnyDisplayIsGivenAndOnlyNoneHides) {
  const struct {
    const char* parent;
    const char* css;
    bool given, none;
  } cases[] = {
      {"", "display: block", true, false},        {"", "display: table-row", true, false},
      {"", "display: inline", true, false},       {"", "display: none", true, true},
      {"", "display: none; display: table-cell", true, false},
      {"", "", false, false},                     {"", "display: 12px", false, false},
      {"display: none", "color: red", false, false}, {"display: block", "", false, false},
  };
  for (const auto& c : cases) {
    const GMCssStyle style = Styled(QString::fromUtf8(c.css), Styled(QString::fromUtf8(c.parent), GMCssStyle()));
    EXPECT_EQ(style.displayGiven, c.given) << c.parent << " / " << c.css;
    EXPECT_EQ(style.displayNone, c.none) << c.parent << " / " << c.css;
  }
}

// Words for screen readers alone are clipped to nothing: a clip that leaves nothing of a box of a
// pixel or less whose overflow is hidden. Not inherited: the element's own box is clipped.
TEST(GMCss, AClipToNothingOnAPixelBoxHidesTheElement) {
  const struct {
    const char* parent;
    const char* css;
    bool clipped;
  } cases[] = {
      {"", "position:absolute;width:1px;height:1px;overflow:hidden;clip:rect(0,0,0,0)", true},
      {"", "width:1px;height:1px;overflow:hidden;clip:rect(0 0 0 0)", true},
      {"", "width:1px;height:1px;overflow:hidden;clip:rect(1px, 1px, 1px, 1px)", true},
      {"", "clip-path:inset(50%);width:1px;height:1px;overflow:hidden", true},
      {"", "clip-path:inset(50% round 2px);width:0;height:0;overflow:clip", true},
      {"", "clip-path:inset(0 50%);width:1px;height:1px;overflow:hidden hidden", true},
      {"", "width:1px!important;height:1px;overflow:hidden;clip:rect(0,0,0,0)", true},
      {"", "width:1px;height:1px;overflow:hidden;clip:rect(0,10px,10px,0)", false},
      {"", "width:1px;height:1px;overflow:hidden;clip-path:inset(10%)", false},
      {"", "width:1px;height:1px;overflow:visible;clip:rect(0,0,0,0)", false},
      {"", "width:2px;height:1px;overflow:hidden;clip:rect(0,0,0,0)", false},
      {"", "width:1%;height:1px;overflow:hidden;clip:rect(0,0,0,0)", false},
      {"", "height:1px;overflow:hidden;clip:rect(0,0,0,0)", false},
      {"", "width:1px;height:auto;overflow:hidden;clip:rect(0,0,0,0)", false},
      {"", "width:1px;height:1px;overflow:hidden;clip:auto", false},
      {"", "width:1px;height:1px;overflow:hidden;clip:rect(a,b,c,d)", false},
      {"width:1px;height:1px;overflow:hidden;clip:rect(0,0,0,0)", "color:red", false},
  };
  for (const auto& c : cases) {
    const GMCssStyle style = Styled(QString::fromUtf8(c.css), Styled(QString::fromUtf8(c.parent), GMCssStyle()));
    EXPECT_EQ(style.clippedToNothing(), c.clipped) << c.parent << " / " << c.css;
  }
}

// Sheet files in a temporary folder, and a page's sheet beside them.
struct Files {
  QTemporaryDir dir;
  void write(const QString& name, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(dir.filePath(name)).path());
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  QUrl base() const { return QUrl::fromLocalFile(dir.path() + QStringLiteral("/page.html")); }
};

TEST(GMCss, EachSheetFileIsReadOnce) {
  const auto repeated = [](int count, const QString& piece) {
    QString text;
    for (int k = 0; k < count; ++k) text += piece.arg(k);
    return text;
  };
  const QByteArray big =
      QString(repeated(2000, QStringLiteral("p.c%1{color:red}")) + QStringLiteral("p{color:red}")).toUtf8();
  const struct {
    std::map<QString, QByteArray> files;
    QStringList links;  // linked from the page, resolved against it
    QString sheet;      // the page's own <style>
    int filesRead;
    const char* expected;  // for a p
  } cases[] = {
      {{{"big.css", big}}, QStringList(), repeated(100, QStringLiteral("@import \"big.css?%1\";")), 1, "color=red"},
      {{{"big.css", big}}, [&] {
         QStringList links;
         for (int k = 0; k < 100; ++k) links.append(QStringLiteral("big.css?%1#f").arg(k));
         return links;
       }(),
       QString(), 1, "color=red"},
      {{{"big.css", big}, {"imports.css", repeated(256, QStringLiteral("@import url(big.css?%1);")).toUtf8()}},
       {"imports.css"}, QString(), 2, "color=red"},
      {{{"a.css", "@import 'b.css'; p{color:red}"}, {"b.css", "@import 'a.css'; p{margin-left:1pt}"}},
       {"a.css", "b.css"}, QString(), 2, "margin-left=1pt|color=red"},
      {{{"sub/x.css", "@import url( 'y.css' ); p{color:red}"}, {"sub/y.css", "p{margin-left:1pt}"}},
       {"sub/x.css"}, QString(), 2, "margin-left=1pt|color=red"},
      {{{"x.css", "p{color:red}"}}, QStringList(), "p{margin-left:1pt} @import 'x.css';", 0, "margin-left=1pt"},
      {{{"x.css", "p{color:red}"}}, QStringList(), "@import 'x.css' print;", 0, ""},
      {{{"x.css", "p{color:red}"}}, QStringList(), "@import 'x.css' screen;", 1, "color=red"},
      {{{"x.css", "p{color:red}"}}, {"missing.css", "http://example.com/x.css", "x.css", "./x.css"}, QString(), 1,
       "color=red"},
      {{{"sub/x.css", "p{color:red}"}}, {"sub"}, QString(), 0, ""},
      {{{"x.css", "\xEF\xBB\xBFp{font-family:Caf\xC3\xA9}"}}, {"x.css"}, QString(), 1, "font-family=Caf\xC3\xA9"},
      {{{"x.css", "p{font-family:Caf\xE9}"}}, {"x.css"}, QString(), 1, "font-family=Caf\xC3\xA9"},
      {{{"x.css", QByteArray(4 * 1024 * 1024 + 1, ' ') + "p{color:red}"}}, {"x.css"}, QString(), 0, ""},
  };
  for (const auto& c : cases) {
    Files files;
    for (const auto& [name, bytes] : c.files) {
      files.write(name, bytes);
    }
    GMStyleSheets sheets(nullptr);
    for (const QString& link : c.links) {
      EXPECT_TRUE(sheets.addLinkedSheet(QUrl(link), files.base())) << link.toStdString();
    }
    if (!c.sheet.isEmpty()) {
      EXPECT_TRUE(sheets.addSheet(c.sheet, files.base()));
    }
    EXPECT_EQ(sheets.filesRead(), c.filesRead) << c.links.join(u' ').toStdString() << c.sheet.toStdString();
    EXPECT_EQ(Matched(sheets, QStringLiteral("p")).toStdString(), c.expected)
        << c.links.join(u' ').toStdString() << c.sheet.toStdString();
  }
}

TEST(GMCss, AFileNamedThroughALinkIsReadOnce) {
  Files files;
  files.write(QStringLiteral("x.css"), "p{color:red}");
  ASSERT_TRUE(QFile::link(files.dir.filePath(QStringLiteral("x.css")), files.dir.filePath(QStringLiteral("y.css"))));
  GMStyleSheets sheets(nullptr);
  EXPECT_TRUE(sheets.addSheet(QStringLiteral("@import 'x.css'; @import 'y.css';"), files.base()));
  EXPECT_TRUE(sheets.addLinkedSheet(QUrl(QStringLiteral("y.css")), files.base()));
  EXPECT_EQ(sheets.filesRead(), 1);
}

TEST(GMCss, TheChargeStopsTheReading) {
  QString rules;
  // Every rule is tried on every p, and walks up its ancestors for a class only one has.
  for (int k = 0; k < 1000; ++k) rules += QStringLiteral(".c%1 div p{color:red}").arg(k);
  const struct {
    int64_t budget;
    bool added;
    bool matched;
  } cases[] = {
      {100, false, false},      // not even the sheet's text
      {60000, false, false},    // the text, some rules
      {3000000, true, false},   // the rules, not every match
      {10000000000, true, true},
  };
  for (const auto& c : cases) {
    int64_t left = c.budget;
    int refusals = 0;
    GMStyleSheets sheets([&](int64_t bytes) {
      left -= bytes;
      refusals += left < 0;
      return left >= 0;
    });
    EXPECT_EQ(sheets.addSheet(rules, QUrl()), c.added) << c.budget;
    bool matched = true;
    const QString chain = QStringLiteral("div.c1 ").repeated(100) + QStringLiteral("p");
    for (int k = 0; k < 100 && matched; ++k) matched = Matched(sheets, chain) != u"(refused)";
    EXPECT_EQ(matched, c.matched) << c.budget;
    EXPECT_EQ(sheets.exhausted(), !c.matched) << c.budget;
    // Once refused, nothing more is asked or made.
    EXPECT_LE(refusals, 1) << c.budget;
    EXPECT_EQ(sheets.addSheet(QStringLiteral("p{color:red}"), QUrl()), c.matched);
  }

  std::vector<GMCssDeclaration> declarations;
  int64_t left = 300;
  EXPECT_FALSE(ParseCssDeclarations(QStringLiteral("color:red;").repeated(100), &declarations,
                                    [&](int64_t bytes) { return (left -= bytes) >= 0; }));
  EXPECT_LT(declarations.size(), 10u);
}

// "upper", "lower", "capitalize", "none" or "-" (unset), then "hidden", "visible" or "-", then
// "bottom", "top" or "-".
std::string ShownParts(const GMCssStyle& style) {
  using TT = GMCssStyle::TextTransform;
  std::string out = !style.textTransform                     ? "-"
                    : *style.textTransform == TT::Uppercase  ? "upper"
                    : *style.textTransform == TT::Lowercase  ? "lower"
                    : *style.textTransform == TT::Capitalize ? "capitalize"
                                                             : "none";
  out += !style.invisible ? " -" : *style.invisible ? " hidden" : " visible";
  out += !style.captionBelow ? " -" : *style.captionBelow ? " bottom" : " top";
  return out;
}

// What a page shows of its text: "text-transform", "visibility" and "caption-side", each
// inherited by what an element holds and set again by its own style.
TEST(GMCss, TransformVisibilityAndCaptionSideAreReadAndInherited) {
  const struct {
    const char* parent;
    const char* own;
    const char* expected;
  } cases[] = {
      {"", "text-transform: uppercase", "upper - -"},
      {"", "TEXT-TRANSFORM: Capitalize; visibility: hidden; caption-side: bottom", "capitalize hidden bottom"},
      {"text-transform: lowercase; visibility: hidden; caption-side: bottom", "", "lower hidden bottom"},
      {"text-transform: lowercase; visibility: hidden", "text-transform: none; visibility: visible", "none visible -"},
      {"visibility: hidden", "visibility: collapse", "- hidden -"},
      {"caption-side: bottom", "caption-side: top", "- - top"},
      {"text-transform: uppercase; caption-side: bottom", "text-transform: initial; caption-side: inherit",
       "- - bottom"},
      // Values the properties do not take change nothing.
      {"text-transform: uppercase; visibility: hidden", "text-transform: shout; visibility: 1px; caption-side: left",
       "upper hidden -"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.parent) + " / " + c.own);
    const GMCssStyle parent = Styled(QString::fromUtf8(c.parent), GMCssStyle());
    EXPECT_EQ(ShownParts(Styled(QString::fromUtf8(c.own), parent)), c.expected);
  }
}

}  // namespace
