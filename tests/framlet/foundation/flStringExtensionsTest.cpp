// The framework's string operations. Percent escapes and character references were checked
// against Python's urllib.parse.quote and html.unescape where their rules agree.
#include "framlet/foundation/flStringExtensions.h"

#include "framlet/foundation/FLArray.h"
#include "framlet/foundation/flFileSupport.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

QString U(const char16_t* text) { return QString::fromUtf16(text); }

TEST(StringExtensions, HomeFolderAbbreviatesOnlyWholeComponents) {
  const QString home = HomeFolderPath();
  ASSERT_GT(home.size(), 1);
  EXPECT_EQ(abbreviateHomeFolderPath(home + "/Documents/a.numlet"), "~/Documents/a.numlet");
  EXPECT_EQ(abbreviateHomeFolderPath(home), home);
  EXPECT_EQ(abbreviateHomeFolderPath(home + "/"), home + "/");
  // A neighbour whose name begins with the home folder's is not inside it.
  EXPECT_EQ(abbreviateHomeFolderPath(home + "2/x"), home + "2/x");
  EXPECT_EQ(abbreviateHomeFolderPath("/etc/hosts"), "/etc/hosts");
}

TEST(StringExtensions, PathExtensionsAreTheLastComponents) {
  const struct { const char* path; const char* extension; const char* minus; } cases[] = {
      {"/d/Budget.Numlet", "Numlet", "Budget"}, {"/d/Budget.csv.Numlet", "Numlet", "Budget.csv"},
      {"/d/Budget.Numlet/", "Numlet", "Budget"}, {"/d.x/Budget", "", "Budget"},
      {".csv", "", ".csv"},                      {"Budget.", "", "Budget."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pathExtension(QString::fromLatin1(c.path)), QString::fromLatin1(c.extension)) << c.path;
    EXPECT_EQ(fileNameMinusExtension(QString::fromLatin1(c.path)), QString::fromLatin1(c.minus)) << c.path;
  }
}

TEST(StringExtensions, SubstringClipsAndAsserts) {
  const struct { uint64_t from, to; const char* expected; const char* assertion; } cases[] = {
      {2, 0xFFFFFFFF, "cdef", nullptr}, {1, 3, "bc", nullptr}, {1, 99, "bcdef", "Ending index too large"},
      {6, 0xFFFFFFFF, "", "Starting index too large"}, {4, 4, "", "Starting index >= ending index"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_EQ(substringFrom("abcdef", c.from, c.to), c.expected) << c.from << " " << c.to;
    if (c.assertion) EXPECT_TRUE(log.contains(c.assertion)) << c.assertion;
    else EXPECT_TRUE(log.entries().isEmpty());
  }
}

TEST(StringExtensions, CleanUpTrimsAndCollapses) {
  const struct {
    const char16_t* text;
    bool keepLineBreaks, stripPunctuation;
    const char16_t* expected;  // nullptr: nothing left
  } cases[] = {
      {u"  a \t\tb  ", false, false, u"a b"}, {u" \t\n ", false, false, nullptr},
      {u"\u0001a\u0007b\u200B", false, false, u"ab"}, {u"one\r\n\r\ntwo", true, false, u"one\ntwo"},
      {u"Hello, world!", false, true, u"Hello world"}, {u"a\u00A0\u2003b", false, false, u"a b"},
  };
  for (const auto& c : cases) {
    const QString result = cleanUp(U(c.text), c.keepLineBreaks, c.stripPunctuation);
    if (c.expected) EXPECT_EQ(result, U(c.expected)) << QString::fromUtf16(c.text).toStdString();
    else EXPECT_TRUE(result.isNull()) << QString::fromUtf16(c.text).toStdString();
  }
  EXPECT_EQ(cleanUp("  x  "), "x");
}

TEST(StringExtensions, PercentEscapes) {
  const struct { const char16_t* text; bool periods, returns; const char* expected; } cases[] = {
      {u"a.b c", true, false, "a%2Eb%20c"}, {u"caf\u00E9", true, true, "caf%C3%A9"},
      {u"x/y?z=1&w", false, false, "x%2Fy%3Fz%3D1%26w"}, {u"\u65E5\u672C", false, false, "%E6%97%A5%E6%9C%AC"},
      {u"\U0001D11E", false, false, "%F0%9D%84%9E"}, {u"l1\nl2", false, false, "l1\nl2"},
      {u"l1\nl2", false, true, "l1%0Al2"},
  };
  for (const auto& c : cases) {
    const QString encoded = encodeIncludingPeriods(U(c.text), c.periods, c.returns);
    EXPECT_EQ(encoded, c.expected);
    EXPECT_EQ(decode(encoded), U(c.text)) << c.expected;
  }
  EXPECT_FALSE(decode("%C3").has_value());     // half a character
  EXPECT_FALSE(decode("%FF%FE").has_value());  // not UTF-8
  EXPECT_FALSE(decode("50%").has_value());     // an escape cut short
  EXPECT_EQ(decode(U(u"\u00E9%20x")), U(u"\u00E9 x"));
}

TEST(StringExtensions, UnknownFormatData) {
  const struct { QByteArray data; const char16_t* text; FLStringEncoding encoding; } cases[] = {
      {QByteArray("\xFF\xFE" "A\0\xE9\0", 6), u"A\u00E9", kFLEncodingUTF16LittleEndian},
      {QByteArray("\xFE\xFF\0A\0\xE9", 6), u"A\u00E9", kFLEncodingUTF16BigEndian},
      {QByteArray("caf\xC3\xA9"), u"caf\u00E9", kFLEncodingUTF8},
      {QByteArray("\xEF\xBB\xBFx"), u"x", kFLEncodingUTF8},
      {QByteArray("caf\x8E"), u"caf\u00E9", kFLEncodingMacRoman},
      // An odd byte after a byte-order mark is kept as a replacement, not dropped silently.
      {QByteArray("\xFF\xFE" "A\0B", 5), u"A\uFFFD", kFLEncodingUTF16LittleEndian},
  };
  for (const auto& c : cases) {
    FLStringEncoding encoding = 0;
    EXPECT_EQ(initWithDataInUnknownFormat(c.data, QString(), &encoding), U(c.text)) << c.data.toHex().toStdString();
    EXPECT_EQ(encoding, c.encoding) << c.data.toHex().toStdString();
  }
}

TEST(StringExtensions, HtmlUnescapeIsOnePass) {
  const struct { const char16_t* text; const char16_t* expected; } cases[] = {
      {u"&amp;lt;", u"&lt;"},  // what a replacement makes is not read again
      {u"a &lt;b&gt; &quot;c&quot; &apos;d&apos;&nbsp;e", u"a <b> \"c\" 'd' e"},
      {u"&#233;&#xE9;&#XE9;", u"\u00E9\u00E9\u00E9"},
      {u"&#x1F600;", u"\U0001F600"},  // astral: a surrogate pair
      {u"&#1114112;", u"\uFFFD"},  // past U+10FFFF
      {u"&#xD800;", u"\uFFFD"},    // a surrogate is no character
      {u"&#12a;x", u"x"},          // not digits: an unknown reference, deleted
      {u"&unknown;x", u"x"},
      {u"a & b; c", u"a & b; c"},  // white space before the ";"
      {u"&a&lt;", u"&a<"},
      {u"&abcdefghijkl;x", u"x"},       // a 12-character name
      {u"&abcdefghijklm;x", u"&abcdefghijklm;x"},  // 13 is no reference
      {u"tail &amp", u"tail &amp"},
  };
  for (const auto& c : cases) {
    QString text = U(c.text);
    unescapeForHtml(text);
    EXPECT_EQ(text, U(c.expected)) << QString::fromUtf16(c.text).toStdString();
    EXPECT_EQ(createUnescapedStringForHtml(U(c.text)), U(c.expected));
  }
}

TEST(StringExtensions, HtmlEscape) {
  EXPECT_EQ(createEscapedStringForHtml("a<b & \"c\""), "a&lt;b &amp; &quot;c&quot;");
  EXPECT_EQ(createEscapedStringForHtml(U(u"a\u0001b\tc\nd\re\u200Bf")), U(u"a b\tc\nd\re f"));
  EXPECT_EQ(createEscapedStringForHtml(U(u"flag\U000E0067")), "flag ");
  EXPECT_EQ(createEscapedStringForHtml(U(u"\U0001F600 &amp;")), U(u"\U0001F600 &amp;amp;"));
  EXPECT_EQ(createUnescapedStringForHtml(createEscapedStringForHtml("<a href=\"x&y\">")), "<a href=\"x&y\">");
  // XML keeps format characters and pairs, and drops what it cannot hold; a return is written as
  // a reference, which a reader does not turn into a line feed, and in an attribute tab and line
  // feed are too.
  EXPECT_EQ(createEscapedStringForXml(U(u"a\u0001b\tc\nd\re\u200Df\u0085<&>\"")),
            U(u"a b\tc\nd&#13;e\u200Df &lt;&amp;&gt;&quot;"));
  EXPECT_EQ(createEscapedAttributeForXml(U(u"a\u0001b\tc\nd\re\u200Df\u0085<&>\"")),
            U(u"a b&#9;c&#10;d&#13;e\u200Df &lt;&amp;&gt;&quot;"));
  EXPECT_EQ(createEscapedStringForXml(U(u"\U0001F600\uFFFE")), U(u"\U0001F600 "));
  EXPECT_EQ(createEscapedStringForXml(QStringLiteral("x") + QChar(0xD800) + QStringLiteral("y") + QChar(0xDC00)),
            QStringLiteral("x y "));
}

TEST(StringExtensions, ReplaceEveryOccurrence) {
  uint64_t count = 0;
  EXPECT_EQ(stringByReplacing("aXbxc", "x", "--", true, &count), "a--b--c");
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(stringByReplacing("aXbxc", "x", "", false, &count), "aXbc");
  EXPECT_EQ(count, 1u);
  EXPECT_FALSE(stringByReplacing("abc", "z", "y", false, &count).has_value());
  EXPECT_EQ(count, 0u);
  // The replacement is not searched again.
  QString text = "aaa";
  EXPECT_EQ(replace(text, "a", "aa", false), 3u);
  EXPECT_EQ(text, "aaaaaa");
  LogCapture log;
  count = 7;
  EXPECT_FALSE(stringByReplacing("abc", "", "y", false, &count).has_value());
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(log.contains("No find string"));
}

}  // namespace

namespace {

TEST(StringExtensions, TitleCaseCapitalisesAllButSmallWordsAndContractions) {
  const struct { const char* text; const char* title; } cases[] = {
      {"the man who knew too much", "The Man Who Knew Too Much"},
      {"it's a dog's life", "It's a Dog's Life"},
      {"OF MICE AND MEN", "Of Mice and Men"},
      {"we'll see what you've done, they're here", "We'll See What You've Done, They're Here"},
      {"i\u2019m in 2nd place", "I\u2019m in 2nd Place"},
      {"war and peace", "War and Peace"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(titleCaseString(QString::fromUtf8(c.text)), QString::fromUtf8(c.title)) << c.text;
}

TEST(StringExtensions, SortKeysDropSubtitlesSmallWordsAndPunctuation) {
  const struct { const char* title; const char* key; } cases[] = {
      {"The Great Gatsby: A Novel", "great gatsby"},
      {"A Tale of Two Cities", "tale two cities"},
      {"\"Hello,\" said the Fox [2nd ed.]", "hello said fox"},
      {"Rock 'n' Roll -- Live", "rock n roll live"},
      {"Don't Panic!", "dont panic"},
      {"The", "The"},
  };
  for (const auto& c : cases) EXPECT_EQ(sortTitleString(QString::fromUtf8(c.title)), QString::fromUtf8(c.key)) << c.title;
}

TEST(StringExtensions, ExcerptsRunFromTheWordBeforeTheKeyToTheEndOfItsLine) {
  const QString text = QStringLiteral("First line here\nthe quick brown fox jumps over the lazy dog\nlast line");
  const auto at = [&](const char* key) { return uint64_t(text.indexOf(QLatin1String(key))); };
  EXPECT_EQ(extract(text, at("brown"), 5), QStringLiteral("quick brown fox jumps over the lazy dog"));
  EXPECT_EQ(extract(text, at("the quick"), 3), QStringLiteral("the quick brown fox jumps over the lazy dog"));
  EXPECT_EQ(extract(text, at("brown"), 5, 20, false), QStringLiteral("quick brown fox"));
  EXPECT_EQ(extract(text, at("here"), 4), QStringLiteral("line here"));
  EXPECT_EQ(extract(text, uint64_t(text.size()), 1), QString());
  EXPECT_FALSE(extract(text, uint64_t(text.size()), 1).isNull());
  EXPECT_EQ(extract(QStringLiteral("a, b. c!"), 3, 1, 0, true), QStringLiteral("a b c"));
}

// A quote at the very start of the text (no character before it) opens.
TEST(StringExtensions, SmartQuotesOpenAfterSpaceOrBracketsAndCloseOtherwise) {
  const struct { char16_t current, previous, next, expected; } cases[] = {
      {u'"', u' ', u'a', u'\u201C'}, {u'"', u'a', u' ', u'\u201D'},  {u'"', 0, u'a', u'\u201C'},
      {u'"', u'(', u'a', u'\u201C'}, {u'\'', u' ', u'a', u'\u2018'}, {u'\'', u'n', u't', u'\u2019'},
      {u'\'', u' ', u'9', u'\u2019'}, {u'\'', u'[', u'x', u'\u2018'}, {u'\'', u'\u201C', u'x', u'\u2018'},
      {u'x', u' ', u'a', u'x'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(quoteForCurrentChar(c.current, c.previous, c.next), c.expected)
        << char(c.current) << " after " << int(c.previous);
  }
  EXPECT_EQ(stringBySubstitutingQuotes(QStringLiteral("He said \"it's '99\""), u' '),
            QString::fromUtf8("He said \u201Cit\u2019s \u201999\u201D"));
  EXPECT_EQ(stringBySubstitutingQuotes(QStringLiteral("\"a\""), u' '), QString::fromUtf8("\u201Ca\u201D"));
  EXPECT_EQ(stringBySubstitutingQuotes(QStringLiteral("\"a\""), u'x'), QString::fromUtf8("\u201Da\u201D"));
  const QString plain = QStringLiteral("no quotes");
  EXPECT_EQ(stringBySubstitutingQuotes(plain, 0), plain);
}

TEST(StringExtensions, RemoveCamelCaseSpacesWordsApart) {
  const struct { const char* text; bool lower; const char* result; bool inserted; uint64_t firstSpace; } cases[] = {
      {"camelCaseText", false, "camel Case Text", true, 5},
      {"camelCaseText", true, "camel case text", true, 5},
      {"HTMLParser", true, "HTMLParser", false, 0},
      {"getURLFor", true, "get URLFor", true, 3},
      {"plain words", true, "plain words", false, 5},
      {"nochange", false, "nochange", false, 0},
      {"aB", true, "a B", true, 1},
  };
  for (const auto& c : cases) {
    QString text = QString::fromUtf8(c.text);
    uint64_t firstSpace = 99;
    EXPECT_EQ(removeCamelCase(text, c.lower, &firstSpace), c.inserted) << c.text;
    EXPECT_EQ(text, QString::fromUtf8(c.result)) << c.text;
    EXPECT_EQ(firstSpace, c.firstSpace) << c.text;
  }
}

}  // namespace
