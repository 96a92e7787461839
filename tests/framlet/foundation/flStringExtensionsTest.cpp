// The framework's string operations. Percent escapes and character references were checked
// against Python's urllib.parse.quote and html.unescape where their rules agree.
#include "framlet/foundation/flStringExtensions.h"

#include "framlet/foundation/FLArray.h"
#include "framlet/foundation/flFileSupport.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

QString U(const char16_t* text) { return QString::fromUtf16(text); }

TEST(StringExtensions, PathHelpers) {
  EXPECT_EQ(fileNameMinusExtension("/a/b/report.final.csv"), "report.final");
  EXPECT_EQ(fileNameMinusExtension("/a/b/.profile"), ".profile");
  EXPECT_EQ(fileNameMinusExtension("/a/Folder/"), "Folder");
  EXPECT_EQ(stringByAppendingFile("/tmp/", "Sheet", "numlet"), "/tmp/Sheet.numlet");
  EXPECT_EQ(stringByAppendingFile("/tmp", "Sheet", ""), "/tmp/Sheet");
  EXPECT_EQ(stringByAppendingFile("", "Sheet", "csv"), "Sheet.csv");
  EXPECT_EQ(stringByReplacingExtension("/tmp/a.b/Sheet.csv", "tsv"), "/tmp/a.b/Sheet.tsv");
  EXPECT_EQ(stringByReplacingExtension("/tmp/a.b/Sheet", "tsv"), "/tmp/a.b/Sheet.tsv");
  EXPECT_EQ(stringByReplacingExtension("/tmp/Sheet.csv", ""), "/tmp/Sheet");
  EXPECT_EQ(stringByReplacingFile("/tmp/Sheet.csv", "Copy", "txt"), "/tmp/Copy.txt");
  EXPECT_EQ(stringByReplacingFile("/Sheet.csv", "Copy", ""), "/Copy");
}

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

TEST(StringExtensions, FuzzyComparisons) {
  EXPECT_TRUE(isFuzzyEqualToString("Total", "tOTAL"));
  EXPECT_FALSE(isFuzzyEqualToString("Total", QString()));
  EXPECT_TRUE(hasFuzzyPrefix("=SUM(a1)", "=sum"));
  EXPECT_FALSE(hasFuzzyPrefix("=SUM(a1)", ""));
  EXPECT_TRUE(hasFuzzySuffix("Budget.NUMLET", ".numlet"));
  EXPECT_EQ(indexOfString("abcABC", "abc", 1), 3u);
  EXPECT_EQ(indexOfString("abcABC", "abc", 6), FLNotFound);
  EXPECT_EQ(indexOfString("abcABC", "x", 0), FLNotFound);
  EXPECT_EQ(numberOfOccurrencesOfString("aaaa", "aa"), 2u);
  EXPECT_EQ(numberOfOccurrencesOfString("a-b-c", "-"), 2u);
  EXPECT_EQ(numberOfOccurrencesOfString("abc", ""), 0u);
}

TEST(StringExtensions, StopListIsCaseInsensitive) {
  for (const char* word : {"a", "THE", "Towards", "with", "versus", "underneath"}) EXPECT_TRUE(isOnStopList(word)) << word;
  for (const char* word : {"", "man", "tow", "withs", "zebra", "aa"}) EXPECT_FALSE(isOnStopList(word)) << word;
}

TEST(StringExtensions, CharacterAccessors) {
  EXPECT_EQ(typeOfChar("a1 ", 1), 3u);
  {
    LogCapture log;
    EXPECT_EQ(typeOfChar("a", 5), 0u);
    EXPECT_TRUE(log.contains("Index beyond end of string"));
  }
  QChar c;
  EXPECT_EQ(nextNonSpace("a  \tb", 1, &c), 4u);
  EXPECT_EQ(c, QLatin1Char('b'));
  EXPECT_EQ(nextNonSpace("a  ", 1, &c), 3u);
  EXPECT_EQ(c, QLatin1Char(' '));
  EXPECT_EQ(validateFirstUnicodeCharacter(U(u"\u00E9")), 0x00E9);
  EXPECT_EQ(validateFirstUnicodeCharacter(QString(QChar(0xD800))), 0);
  EXPECT_EQ(validateFirstUnicodeCharacter("ab"), 0);
}

TEST(StringExtensions, SubstringClipsAndAsserts) {
  const struct {
    uint64_t from, to;
    const char* expected;
    const char* assertion;
  } cases[] = {
      {2, 0xFFFFFFFF, "cdef", nullptr},
      {2, FLNotFound, "cdef", nullptr},
      {1, 3, "bc", nullptr},
      {1, 99, "bcdef", "Ending index too large"},
      {6, 0xFFFFFFFF, "", "Starting index too large"},
      {4, 4, "", "Starting index >= ending index"},
      {4, 2, "", "Starting index >= ending index"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_EQ(substringFrom("abcdef", c.from, c.to), c.expected) << c.from << " " << c.to;
    if (c.assertion) EXPECT_TRUE(log.contains(c.assertion)) << c.assertion;
    else EXPECT_TRUE(log.entries().isEmpty());
  }
}

TEST(StringExtensions, EncodingNames) {
  EXPECT_EQ(identifyStringEncoding("UTF-8"), kFLEncodingUTF8);
  EXPECT_EQ(identifyStringEncoding("Shift_JIS"), kFLEncodingShiftJIS);
  EXPECT_EQ(identifyStringEncoding("windows-1251"), kFLEncodingWindowsCyrillic);
  EXPECT_EQ(identifyStringEncoding("utf-16"), kFLEncodingUnicode);
  EXPECT_EQ(identifyStringEncoding("koi8-r"), kFLEncodingNone);
}

TEST(StringExtensions, MakingStrings) {
  EXPECT_EQ(numberString(-9223372036854775807LL - 1), "-9223372036854775808");
  EXPECT_EQ(longNumberString(42), "42");
  const QString guid = guidString();
  EXPECT_EQ(guid.size(), 36);
  EXPECT_NE(guid, guidString());
  EXPECT_EQ(stringWithMacString("caf\x8E \xDB"), U(u"caf\u00E9 \u20AC"));
  EXPECT_EQ(stringWithASCIIString("plain"), "plain");
  EXPECT_TRUE(stringWithASCIIString("caf\xE9").isNull());
  EXPECT_TRUE(stringWithMacString(nullptr).isNull());
}

TEST(StringExtensions, CleanUpTrimsAndCollapses) {
  const struct {
    const char16_t* text;
    bool keepLineBreaks, stripPunctuation;
    const char16_t* expected;  // nullptr: nothing left
  } cases[] = {
      {u"  a \t\tb  ", false, false, u"a b"},
      {u" \t\n ", false, false, nullptr},
      {u"", false, false, nullptr},
      {u"\u0001a\u0007b\u200B", false, false, u"ab"},
      {u"one\r\n\r\ntwo", true, false, u"one\ntwo"},
      {u"one \n two", true, false, u"one\ntwo"},
      {u"one\n\ntwo", false, false, u"one two"},
      {u"Hello, world!", false, true, u"Hello world"},
      {u", a .", false, true, u"a"},
      {u"a\u00A0\u2003b", false, false, u"a b"},
  };
  for (const auto& c : cases) {
    const QString result = cleanUp(U(c.text), c.keepLineBreaks, c.stripPunctuation);
    if (c.expected) EXPECT_EQ(result, U(c.expected)) << QString::fromUtf16(c.text).toStdString();
    else EXPECT_TRUE(result.isNull()) << QString::fromUtf16(c.text).toStdString();
  }
  EXPECT_EQ(cleanUp("  x  "), "x");
}

TEST(StringExtensions, ExtractShowsTheHitInItsLine) {
  const QString text = "First line here\nthe quick brown fox jumps over the lazy dog\nlast";
  const uint64_t fox = uint64_t(text.indexOf("fox"));
  EXPECT_EQ(extract(text, fox, 3), "brown fox jumps over the lazy dog");
  EXPECT_EQ(extract(text, uint64_t(text.indexOf("quick")), 5), "the quick brown fox jumps over the lazy dog");
  // Cut back to the last space within 20 characters, or exactly at 20 when that would cut the key.
  EXPECT_EQ(extract(text, fox, 3, 20, false), "brown fox jumps over");
  EXPECT_EQ(extract(text, fox, 3, 18, false), "brown fox jumps");
  EXPECT_EQ(extract(text, fox, 20, 12, false), "brown fox ju");
  EXPECT_EQ(extract(text, uint64_t(text.size()), 1), "");
  EXPECT_FALSE(extract(text, uint64_t(text.size()), 1).isNull());
  EXPECT_EQ(extract("a \n\n b", 3, 0), "");  // the hit is a line end: an empty range
  EXPECT_TRUE(extract("x\n  \t \ny", 3, 0).isNull());  // a line of blanks cleans to nothing
  EXPECT_EQ(extract("Hello, world!", 7, 5, 0, true), "Hello world");
  EXPECT_EQ(extract(text), "First line here");
}

TEST(StringExtensions, TitleCase) {
  const struct {
    const char16_t* text;
    const char16_t* expected;
  } cases[] = {
      {u"the man who knew too much", u"The Man Who Knew Too Much"},
      {u"it's a dog's life", u"It's a Dog's Life"},
      {u"WE'LL MEET AGAIN", u"We'll Meet Again"},
      {u"they\u2019re here", u"They\u2019re Here"},
      {u"of mice and men", u"Of Mice and Men"},
      {u"r\u00E9sume\u0301 writing", u"R\u00E9sume\u0301 Writing"},
      {u"route 66 to 1999", u"Route 66 to 1999"},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(titleCaseString(U(c.text)), U(c.expected));
}

TEST(StringExtensions, SortTitleKeys) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"The Great Gatsby: A Novel", "great gatsby"},
      {"A Tale of Two Cities [Illustrated]", "tale two cities"},
      {"\"Hello,\" She Said", "hello she said"},
      {"Rock 'n' Roll -- Again!", "rock n roll again"},
      {"The", "The"},
      {"O'Brien's Pub", "obriens pub"},
  };
  for (const auto& c : cases) EXPECT_EQ(sortTitleString(c.text), c.expected) << c.text;
}

TEST(StringExtensions, SmartQuotes) {
  // The test locale is C, whose quotes are the straight ones, so the English defaults stand.
  EXPECT_EQ(stringBySubstitutingQuotes("\"Hi,\" she said. 'Yes'", 0),
            U(u"\u201CHi,\u201D she said. \u2018Yes\u2019"));
  EXPECT_EQ(stringBySubstitutingQuotes("don't", 0), U(u"don\u2019t"));
  EXPECT_EQ(stringBySubstitutingQuotes("the '90s", 0), U(u"the \u201990s"));
  EXPECT_EQ(stringBySubstitutingQuotes("(\"x\")", 0), U(u"(\u201Cx\u201D)"));
  EXPECT_EQ(stringBySubstitutingQuotes("\"", u'a'), U(u"\u201D"));
  EXPECT_EQ(stringBySubstitutingQuotes("no quotes", 0), "no quotes");
  EXPECT_EQ(quoteForCurrentChar(u'x', u' ', u'y'), u'x');
  EXPECT_EQ(quoteForCurrentChar(u'"', 0x00AB, u'y'), 0x201C);
}

TEST(StringExtensions, PercentEscapes) {
  const struct {
    const char16_t* text;
    bool periods, returns;
    const char* expected;
  } cases[] = {
      {u"a.b c", true, false, "a%2Eb%20c"},
      {u"a.b c", false, false, "a.b%20c"},
      {u"caf\u00E9", true, true, "caf%C3%A9"},
      {u"x/y?z=1&w", false, false, "x%2Fy%3Fz%3D1%26w"},
      {u"\u65E5\u672C", false, false, "%E6%97%A5%E6%9C%AC"},
      {u"\U0001D11E", false, false, "%F0%9D%84%9E"},
      {u"100%", false, false, "100%25"},
      {u"~_-", true, true, "~_-"},
      {u"l1\nl2", false, false, "l1\nl2"},
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
  EXPECT_FALSE(decode("%G1").has_value());
  EXPECT_EQ(decode(U(u"\u00E9%20x")), U(u"\u00E9 x"));
}

TEST(StringExtensions, UnknownFormatData) {
  const struct {
    QByteArray data;
    const char16_t* text;
    FLStringEncoding encoding;
  } cases[] = {
      {QByteArray("\xFF\xFE" "A\0\xE9\0", 6), u"A\u00E9", kFLEncodingUTF16LittleEndian},
      {QByteArray("\xFE\xFF\0A\0\xE9", 6), u"A\u00E9", kFLEncodingUTF16BigEndian},
      {QByteArray("caf\xC3\xA9"), u"caf\u00E9", kFLEncodingUTF8},
      {QByteArray("\xEF\xBB\xBFx"), u"x", kFLEncodingUTF8},
      {QByteArray("caf\x8E"), u"caf\u00E9", kFLEncodingMacRoman},
      {QByteArray("\xFF"), u"\u02C7", kFLEncodingMacRoman},
      {QByteArray(), u"", kFLEncodingUTF8},
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
  const struct {
    const char16_t* text;
    const char16_t* expected;
  } cases[] = {
      {u"&amp;lt;", u"&lt;"},  // what a replacement makes is not read again
      {u"&amp;amp;", u"&amp;"},
      {u"a &lt;b&gt; &quot;c&quot; &apos;d&apos;&nbsp;e", u"a <b> \"c\" 'd' e"},
      {u"&#233;&#xE9;&#XE9;", u"\u00E9\u00E9\u00E9"},
      {u"&#x1F600;", u"\U0001F600"},  // astral: a surrogate pair
      {u"&#128512;", u"\U0001F600"},
      {u"&#1114112;", u"\uFFFD"},  // past U+10FFFF
      {u"&#xD800;", u"\uFFFD"},    // a surrogate is no character
      {u"&#0;", u"\uFFFD"},
      {u"&#12a;x", u"x"},          // not digits: an unknown reference, deleted
      {u"&#x;x", u"x"},
      {u"&unknown;x", u"x"},
      {u"R&D; done", u"R done"},
      {u"a & b; c", u"a & b; c"},  // white space before the ";"
      {u"&lt <b>;", u"&lt <b>;"},
      {u"&a&lt;", u"&a<"},
      {u"&abcdefghijkl;x", u"x"},       // a 12-character name
      {u"&abcdefghijklm;x", u"&abcdefghijklm;x"},  // 13 is no reference
      {u"no references", u"no references"},
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
}

TEST(StringExtensions, DeleteCharacters) {
  const struct {
    uint64_t from, to;
    const char* expected;
    const char* assertion;
  } cases[] = {
      {1, 3, "adef", nullptr},
      {2, 99, "ab", nullptr},
      {3, 3, "abcdef", nullptr},
      {6, 7, "abcdef", "Delete after end of string"},
      {4, 2, "abcdef", "Delete inverted range"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    QString text = "abcdef";
    deleteCharactersFrom(text, c.from, c.to);
    EXPECT_EQ(text, c.expected);
    if (c.assertion) EXPECT_TRUE(log.contains(c.assertion));
    else EXPECT_TRUE(log.entries().isEmpty());
  }
}

TEST(StringExtensions, RemoveCamelCase) {
  const struct {
    const char* text;
    bool lower;
    const char* expected;
    bool inserted;
    uint64_t firstSpace;
  } cases[] = {
      {"backgroundColor", false, "background Color", true, 10},
      {"backgroundColor", true, "background color", true, 10},
      {"showHTMLText", true, "show HTMLText", true, 4},
      {"already spaced", false, "already spaced", false, 7},
      {"plain", false, "plain", false, 0},
      {"aB", true, "a B", true, 1},
  };
  for (const auto& c : cases) {
    QString text = c.text;
    uint64_t space = 99;
    EXPECT_EQ(removeCamelCase(text, c.lower, &space), c.inserted) << c.text;
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(space, c.firstSpace) << c.text;
  }
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

TEST(StringExtensions, ErrorReasonStraightensQuotes) {
  EXPECT_EQ(reason(FLError{"d", 1, U(u"The file \u201Cx\u201D can\u2019t be opened.")}),
            "The file \"x\" can't be opened.");
  EXPECT_EQ(reason(FLError{}), "An unknown error occurred.");
}

TEST(StringExtensions, AttributedStrings) {
  EXPECT_FALSE(attributedStringFromString(QString(), std::nullopt, kFLAlignLeft, std::nullopt).has_value());
  const auto centred = attributedStringFromString("0", QFont("DejaVu Sans", 11), kFLAlignCenter, QColor(Qt::red));
  ASSERT_TRUE(centred.has_value());
  EXPECT_EQ(centred->alignment, Qt::AlignHCenter);
  EXPECT_EQ(centred->color, QColor(Qt::red));
  EXPECT_EQ(centred->lineBreakMode, FLLineBreakMode::TruncateTail);
  LogCapture log;
  const auto odd = attributedStringFromString("x", std::nullopt, 104, std::nullopt, FLLineBreakMode::WordWrap, 4, 8);
  ASSERT_TRUE(odd.has_value());
  EXPECT_EQ(odd->alignment, Qt::AlignLeft);
  EXPECT_EQ(odd->rightIndent, 8);
  EXPECT_TRUE(log.contains("Invalid alignment"));
}

}  // namespace
