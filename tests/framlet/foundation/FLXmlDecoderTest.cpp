#include "framlet/foundation/FLXmlDecoder.h"

#include "framlet/foundation/FLXmlEncoder.h"
#include "support/LogCapture.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");

// Installs a fresh process-wide key table for one test and puts the previous one back after it.
class SharedTable {
 public:
  SharedTable() : previous_(FLXmlDecoder::sharedKeyDecoder()) {
    FLXmlDecoder::setSharedKeyDecoder(std::make_shared<FLXmlKeyTable>());
  }
  ~SharedTable() { FLXmlDecoder::setSharedKeyDecoder(previous_); }

 private:
  std::shared_ptr<FLXmlKeyTable> previous_;
};

std::unique_ptr<FLXmlDecoder> Decode(const QString& body) { return FLXmlDecoder::withString(kDeclaration + body); }

TEST(FLXmlDecoder, AcceptsOnlyTextsThatBeginWithTheDeclarationOrAnSvgRoot) {
  struct { const char* text; bool accepted; bool svg; } cases[] = {
      {"<?xml version=\"1.0\"?><a/>", true, false},
      {"<!DOCTYPE x [<!ENTITY y \"z\">]>\n<?xml version=\"1.0\"?><a/>", true, false},
      {"<svg width=\"1\"></svg>", true, true}, {"<html><body/></html>", false, false},
      {"<!-- never closed <?xml?>", false, false}, {"", false, false},
  };
  for (const auto& c : cases) {
    auto decoder = FLXmlDecoder::withString(QString::fromUtf8(c.text));
    EXPECT_EQ(bool(decoder), c.accepted) << c.text;
    if (decoder) { EXPECT_EQ(decoder->isSvg(), c.svg) << c.text; }
  }
}

TEST(FLXmlDecoder, DataMustBeUtf8AndMayStartWithAByteOrderMark) {
  auto withBom = FLXmlDecoder::withData(QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<a>\xC3\xA9</a>\n"));
  ASSERT_TRUE(withBom);
  ASSERT_TRUE(withBom->getNextTag());
  EXPECT_EQ(withBom->value(), QStringLiteral("\u00e9"));
  EXPECT_FALSE(FLXmlDecoder::withData(QByteArray("<?xml version=\"1.0\"?>\n<a>\xC3</a>\n")));
  EXPECT_FALSE(FLXmlDecoder::withData(QByteArray("<?xml version=\"1.0\"?>\n<a>\xFF\xFE</a>\n")));
}

TEST(FLXmlDecoder, NamesAndSpacesBeyondAsciiReadAsCharacters) {
  // "ño", a no-break space, zé="€", an ideographic space, and an emoji outside the 16-bit range.
  auto decoder = FLXmlDecoder::withData(QByteArray(
      "<?xml?>\n<\xC3\xB1o\xC2\xA0z\xC3\xA9=\"\xE2\x82\xAC\"\xE3\x80\x80>\xF0\x9F\x98\x80</\xC3\xB1o>\n"));
  ASSERT_TRUE(decoder);
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->xmlTag(), QStringLiteral("\u00f1o"));
  EXPECT_EQ(decoder->stringAttributeForTag(QStringLiteral("z\u00e9")), QStringLiteral("\u20ac"));
  EXPECT_EQ(decoder->value(), QStringLiteral("\U0001F600"));
  EXPECT_TRUE(decoder->endTag());
  EXPECT_TRUE(decoder->error().isEmpty());
}

TEST(FLXmlDecoder, MalformedTextsGiveTheOffsetOfTheFault) {
  // The declaration with its newline takes offsets 0x00-0x26; the body starts at 0x27.
  ASSERT_EQ(kDeclaration.size(), 0x27);
  struct { const char* body; const char* error; } cases[] = {
      {"<a x = \"1\">5</a>\n", "this is not a valid XML file (offset 0x2b)"},
      {"<a x=\"1>5</a>\n", "this is not a valid XML file (offset 0x2c)"},
      {"<a>stray<b/>x</a>\n", "this is not a valid XML file (offset 0x33)"},
      {"<a>x<![CDATA[never closed</a>\n", "malformed CDATA at offset 0x2b"},
      {"<a>5\n", "this is not a valid XML file (offset 0x2b)"},
  };
  for (const auto& c : cases) {
    auto decoder = Decode(QString::fromUtf8(c.body));
    ASSERT_TRUE(decoder) << c.body;
    while (decoder->getNextTag()) {
    }
    EXPECT_EQ(decoder->error(), QString::fromUtf8(c.error)) << c.body;
    EXPECT_TRUE(decoder->isDone());
    EXPECT_FALSE(decoder->getNextTag()) << "an error is final";
  }
}

TEST(FLXmlDecoder, DecodeEscapesReplacesValidReferencesAndEntitiesOnce) {
  struct { const char16_t* text; const char16_t* expected; } cases[] = {
      {u"&#x41;&#66;&amp;", u"AB&"}, {u"&quot;&lt;&gt;&apos;&nbsp;&amp;", u"\"<>'\u00A0&"},
      {u"ab&#x4", u"ab4"},           // cut off by the end: only "&#x" goes
      {u"&#65 and", u"Aand"},        // a blank ends a reference too
      {u"&#x1F600;", u"\U0001F600"},  // astral: a surrogate pair
      {u"&#x10FFFF;", u"\U0010FFFF"},
      {u"&#x110000;", u"&#x110000;"},  // beyond Unicode: left as written
      {u"&#xD800;", u"&#xD800;"},      // a surrogate on its own is no character
      {u"&#xZZ;", u"&#xZZ;"},          // not digits
      {u"&#X41;", u"&#X41;"},          // only a lower-case x marks hexadecimal
      {u"&#0;", u"&#0;"}, {u"&#99999999999999999999;", u"&#99999999999999999999;"},
      {u"&#38;lt;", u"&lt;"},          // what a reference produces is not decoded again
      {u"&amp;amp;", u"&amp;"}, {u"&eacute; & ;", u"&eacute; & ;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FLXmlDecoder::decodeEscapes(QString::fromUtf16(c.text)), QString::fromUtf16(c.expected))
        << QString::fromUtf16(c.text).toStdString();
  }
}

const QString kNested = QStringLiteral(
    "<r>\n\t<a n=\"1\">\n\t\t<a>inner</a>\n\t\t<!-- </a> -->\n\t\t<![CDATA[</a>]]>\n\t</a>\n\t<b/>\n"
    "\t<a n=\"2\">second</a>\n</r>\n");

TEST(FLXmlDecoder, SkipTagSkipsOnlyTheCurrentElementNestedNamesIncluded) {
  auto decoder = Decode(kNested);
  ASSERT_TRUE(decoder);
  ASSERT_TRUE(decoder->getNextTag());  // r
  ASSERT_TRUE(decoder->getNextTag());  // a n=1, open
  ASSERT_EQ(decoder->level(), 2);
  const FLXmlSkipMark mark = decoder->skipTag();
  EXPECT_EQ(mark.level, 2);
  EXPECT_EQ(decoder->xmlTag(), QStringLiteral("a"));
  EXPECT_FALSE(decoder->startTag());
  EXPECT_EQ(decoder->level(), 1);
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->xmlTag(), QStringLiteral("b"));
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->stringAttributeForTag(QStringLiteral("n")), QStringLiteral("2"));
  EXPECT_EQ(decoder->value(), QStringLiteral("second"));

  // A closed element is not skipped at all.
  const FLXmlSkipMark closed = decoder->skipTag();
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->xmlTag(), QStringLiteral("r"));
  EXPECT_EQ(decoder->level(), 0);

  // The mark puts the position back.
  decoder->unskipTag(mark);
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->xmlTag(), QStringLiteral("a"));
  EXPECT_EQ(decoder->value(), QStringLiteral("inner"));
  EXPECT_EQ(closed.level, 1);
}

TEST(FLXmlDecoder, ExtractTagGivesTheRawElementThroughItsMatchingClose) {
  auto decoder = Decode(kNested);
  ASSERT_TRUE(decoder);
  ASSERT_TRUE(decoder->getNextTag());
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->extractTag(), QStringLiteral("<a n=\"1\">\n\t\t<a>inner</a>\n\t\t<!-- </a> -->\n"
                                                  "\t\t<![CDATA[</a>]]>\n\t</a>"));
  EXPECT_EQ(decoder->level(), 1);
  EXPECT_TRUE(decoder->extractTag().isNull()) << "already closed";
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->xmlTag(), QStringLiteral("b"));
  EXPECT_TRUE(decoder->extractTag().isNull());
}

TEST(FLXmlDecoder, CoalescingGathersMixedContentIntoOneValue) {
  struct { const char* body; const char* expected; int asserts; } cases[] = {
      {"<p>Hello <b>big</b>world &amp; more</p>\n<next/>\n", "Hello big world & more", 0},
      {"<p><b>x</b>&amp; y<i><u>deep</u>er</i></p>\n<next/>\n", "x & y deep er", 0},
      {"<p>a<b>b</b>\n", "a b", 1},  // never closed
  };
  for (const auto& c : cases) {
    LogCapture capture;
    auto decoder = Decode(QString::fromUtf8(c.body));
    ASSERT_TRUE(decoder);
    ASSERT_TRUE(decoder->getNextTag());
    decoder->coalesceMixedContent();
    EXPECT_EQ(decoder->value(), QString::fromUtf8(c.expected)) << c.body;
    EXPECT_EQ(decoder->xmlTag(), QStringLiteral("p"));
    EXPECT_TRUE(decoder->startTag());
    EXPECT_TRUE(decoder->endTag());
    EXPECT_EQ(capture.assertMessages().count(QLatin1String("Ending tag not the same as starting")), c.asserts) << c.body;
    if (c.asserts == 0) {
      EXPECT_EQ(decoder->level(), 0);
      ASSERT_TRUE(decoder->getNextTag());
      EXPECT_EQ(decoder->xmlTag(), QStringLiteral("next"));
    }
  }
}

// A made-up table of 88 tags with every kind of name character, standing in for the spreadsheet's.
std::vector<FLXmlTagKey> TestTags() {
  static std::vector<QByteArray> names;
  if (names.empty()) {
    const char* stems[] = {"cell", "row-", "col_", "fmt.", "ns:b", "X", "\xC3\xA9t\xC3\xA9", "t"};
    for (int key = 1; key <= 88; ++key) names.push_back(QByteArray(stems[key % 8]) + QByteArray::number(key));
  }
  std::vector<FLXmlTagKey> tags;
  for (int key = 1; key <= 88; ++key) tags.push_back({uint32_t(key), names[size_t(key - 1)].constData()});
  return tags;
}

struct Event {
  int32_t key;
  bool startTag, endTag;
  int64_t level;
  QString value;
  QHash<QString, QString> attributes;
};

class RandomDocument {
 public:
  explicit RandomDocument(uint32_t seed) : random_(seed) {}

  // Writes a random tree under a root and records what a reader must see.
  void write(FLXmlEncoder& encoder, const std::vector<FLXmlTagKey>& tags, bool numericTags) {
    tags_ = &tags;
    numericTags_ = numericTags;
    element(encoder, 0, 1);
  }
  const std::vector<Event>& events() const { return events_; }

 private:
  QString text(bool mayBeEmpty) {
    static const char16_t* const kPieces[] = {
        u"a", u"Z", u"9", u" ", u"  ", u"\t", u"\n", u"\r\n", u"&", u"<", u">", u"\"", u"'", u";", u"#",
        u"&amp;", u"&#65;", u"]]>", u"<![CDATA[", u"\u00e9", u"\u4e2d", u"\U0001F600", u"=", u"/", u"?>"};
    const int count = int(random_() % 8) + (mayBeEmpty ? 0 : 1);
    QString out;
    for (int i = 0; i < count; ++i) out += QString::fromUtf16(kPieces[random_() % std::size(kPieces)]);
    return out;
  }

  void element(FLXmlEncoder& encoder, int64_t level, int depthLeft) {
    const FLXmlTagKey& tag = (*tags_)[random_() % tags_->size()];
    const QString name = numericTags_ && random_() % 2 ? QString::number(tag.key) : QString::fromUtf8(tag.tag);
    QHash<QString, QString> attributes;
    static const char* const kAttributeNames[] = {"a", "b-c", "d_e", "f:g", "h1"};
    for (const char* attribute : kAttributeNames) {
      if (random_() % 3) continue;
      if (random_() % 2) {
        const int64_t number = int64_t(uint64_t(random_()) * uint64_t(random_()));
        encoder.addAttribute(QString::fromLatin1(attribute), number);
        attributes.insert(QString::fromLatin1(attribute), QString::number(number));
      } else {
        const QString value = text(false);
        encoder.addAttribute(QString::fromLatin1(attribute), value);
        attributes.insert(QString::fromLatin1(attribute), value);
      }
    }
    const int32_t key = int32_t(tag.key);
    const uint32_t shape = depthLeft > 0 ? random_() % 5 : random_() % 3;
    if (level == 0 || shape >= 3) {
      encoder.openTag(name);
      const size_t at = events_.size();
      events_.push_back({key, true, false, level + 1, QString(), attributes});
      const int children = level == 0 ? 12 : int(random_() % 4);
      for (int i = 0; i < children; ++i) element(encoder, level + 1, level == 0 ? 3 : depthLeft - 1);
      encoder.closeTag(name);
      if (children == 0) {
        events_[at] = {key, true, true, level, QString(), attributes};
      } else {
        events_.push_back({key, false, true, level, QString(), {}});
      }
    } else if (shape == 0) {
      encoder.openAndCloseTag(name);
      events_.push_back({key, true, true, level, QString(), attributes});
    } else {
      const QString value = text(true);
      encoder.addTag(name, value);
      events_.push_back({key, true, true, level, value, attributes});
    }
  }

  std::mt19937 random_;
  const std::vector<FLXmlTagKey>* tags_ = nullptr;
  bool numericTags_ = false;
  std::vector<Event> events_;
};

TEST(FLXmlDecoder, WriterOutputRoundTripsThroughAnEightyEightTagTable) {
  SharedTable shared;
  const std::vector<FLXmlTagKey> tags = TestTags();
  {
    LogCapture capture;
    FLXmlDecoder::addDecoderKeys(tags);
    EXPECT_TRUE(capture.entries().isEmpty());
  }
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    const bool numericTags = seed % 3 == 0;
    FLXmlEncoder encoder;
    RandomDocument document(seed);
    document.write(encoder, tags, numericTags);
    auto decoder = FLXmlDecoder::withString(encoder.xml());
    ASSERT_TRUE(decoder) << seed;
    decoder->setAllowNumericTags(numericTags);
    size_t index = 0;
    while (decoder->getNextTag()) {
      ASSERT_LT(index, document.events().size()) << seed;
      const Event& expected = document.events()[index++];
      const std::string where = "seed " + std::to_string(seed) + " event " + std::to_string(index - 1);
      EXPECT_EQ(decoder->key(), expected.key) << where;
      EXPECT_EQ(decoder->startTag(), expected.startTag) << where;
      EXPECT_EQ(decoder->endTag(), expected.endTag) << where;
      EXPECT_EQ(decoder->level(), expected.level) << where;
      if (expected.endTag && expected.startTag) { EXPECT_EQ(decoder->value(), expected.value) << where; }
      EXPECT_EQ(decoder->attributes(), expected.attributes) << where;
    }
    EXPECT_TRUE(decoder->error().isEmpty()) << seed << ": " << decoder->error().toStdString();
    EXPECT_EQ(index, document.events().size()) << seed;
  }
}

// Attributes are read from the text only when asked for: escaped values, repeated names and
// numbers must read as they did when every attribute became a string at once.
TEST(FLXmlDecoder, AttributesReadTheSameWhetherAskedAsNumbersWordsOrStrings) {
  static constexpr const char* kWords[] = {"", "number", "text"};
  struct Case {
    const char* tag;
    int64_t integer;   // integerAttributeForTag("a")
    const char* text;  // stringAttributeForTag("a"), nullptr when absent
    int64_t word;      // decodeAttribute("t", kWords)
  };
  const Case cases[] = {
      {R"(<c a="42" t="number"/>)", 42, "42", 1}, {R"(<c a="-17x" t="TEXT"/>)", -17, "-17x", 2},
      {R"(<c a="&#52;2" t="te&#120;t"/>)", 42, "42", 2}, {R"(<c a="1" a="2"/>)", 2, "2", 0},
      {R"(<c a="" t=""/>)", 0, "", 0}, {R"(<c b="5"/>)", 0, nullptr, 0},
  };
  for (const Case& c : cases) {
    std::unique_ptr<FLXmlDecoder> decoder = Decode(QString::fromUtf8(c.tag));
    ASSERT_TRUE(decoder && decoder->getNextTag()) << c.tag;
    EXPECT_EQ(decoder->integerAttributeForTag(QLatin1String("a")), c.integer) << c.tag;
    EXPECT_EQ(decoder->integerAttributeForTag(QStringLiteral("a")), c.integer) << c.tag;
    const QString text = decoder->stringAttributeForTag(u"a");
    EXPECT_EQ(text.isNull(), c.text == nullptr) << c.tag;
    if (c.text) { EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.tag; }
    EXPECT_EQ(decoder->decodeAttribute(QLatin1String("t"), kWords), c.word) << c.tag;
    EXPECT_EQ(decoder->attributes().value(QStringLiteral("a")), c.text ? QString::fromUtf8(c.text) : QString())
        << c.tag;
  }
}

// The attributes of the current tag stay its own through a look-ahead and the next tag.
TEST(FLXmlDecoder, AttributesBelongToTheTagJustRead) {
  std::unique_ptr<FLXmlDecoder> decoder = Decode(QStringLiteral(R"(<r y="3"><c x="1"/><c x="2"/></r>)"));
  ASSERT_TRUE(decoder && decoder->getNextTag());
  EXPECT_EQ(decoder->integerAttributeForTag(QLatin1String("y")), 3);
  QHash<QString, QString> following;
  EXPECT_EQ(decoder->followingTagWithAttributes(&following, nullptr), QStringLiteral("c"));
  EXPECT_EQ(following.value(QStringLiteral("x")), QStringLiteral("1"));
  EXPECT_EQ(decoder->integerAttributeForTag(QLatin1String("y")), 3);
  EXPECT_EQ(decoder->attributes().size(), 1);
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->integerAttributeForTag(QLatin1String("y")), 0);
  EXPECT_EQ(decoder->integerAttributeForTag(QLatin1String("x")), 1);
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->attributes().value(QStringLiteral("x")), QStringLiteral("2"));
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_FALSE(decoder->tagHasAttributes());
}

// Each tag as "name level start/end [value]", and how the reading ended.
QString Trace(FLXmlDecoder& decoder) {
  QStringList events;
  while (decoder.getNextTag())
    events << QStringLiteral("%1 %2 %3%4%5")
                  .arg(decoder.xmlTag())
                  .arg(decoder.level())
                  .arg(int(decoder.startTag()))
                  .arg(int(decoder.endTag()))
                  .arg(decoder.value().isNull() ? QString() : QStringLiteral(" [") + decoder.value() + u']');
  events << QStringLiteral("end %1 [%2]").arg(decoder.level()).arg(decoder.error());
  return events.join(QLatin1String("; "));
}

// A value is closed only by its own element's closing tag, however alike the names are.
TEST(FLXmlDecoder, AValueIsClosedOnlyByItsOwnClosingTag) {
  struct { const char* body; const char* trace; } cases[] = {
      {"<a>x</a>\n", "a 0 11 [x]; end 0 []"},
      {"<a>x</a >\n", "a 0 11 [x]; end 0 []"},
      {"<ab>x</a>\n", "ab 1 10 [x]; a 0 01; end 0 []"},
      {"<a>x</ab>\n", "a 1 10 [x]; ab 0 01; end 0 []"},
      {"<a>x</a-b></a>\n", "a 1 10 [x]; a-b 0 01; a -1 01; end -1 []"},
      {"<r><a>1</a><ab>2</ab><a.b>3</a.b></r>\n", "r 1 10 []; a 1 11 [1]; ab 1 11 [2]; a.b 1 11 [3]; r 0 01; end 0 []"},
      {"<r>text<b/>more</r>\n", "r 1 10 [text]; b 1 11; end 1 [this is not a valid XML file (offset 0x32)]"},
      {"<r>\n\t<a>x</a>\n</r>\n", "r 1 10 [\n\t]; a 1 11 [x]; r 0 01; end 0 []"},
      {"<\xC3\xA9>x</\xC3\xA9>\n", "\xC3\xA9 0 11 [x]; end 0 []"},
      {"<\xC3\xA9>x</\xC3\xA9\xC3\xA9>\n", "\xC3\xA9 1 10 [x]; \xC3\xA9\xC3\xA9 0 01; end 0 []"},
  };
  for (const auto& c : cases) {
    auto decoder = FLXmlDecoder::withData(kDeclaration.toUtf8() + QByteArray(c.body));
    ASSERT_TRUE(decoder) << c.body;
    EXPECT_EQ(Trace(*decoder).toStdString(), std::string(c.trace)) << c.body;
  }
}

// Plain numbers are read from the attribute's bytes; anything else as it always was.
TEST(FLXmlDecoder, NumericAttributesReadLikeLeadingIntegers) {
  struct { const char* value; int64_t expected; } cases[] = {
      {"0", 0}, {"007", 7}, {"123456789012345678", 123456789012345678}, {"9223372036854775807", INT64_MAX},
      {"99999999999999999999999", INT64_MAX}, {" 12", 12}, {"+4", 4}, {"-4", -4}, {"4x", 4}, {"x4", 0},
      {"&#52;", 4}, {"\xC2\xA0" "5", 5},
  };
  for (const auto& c : cases) {
    auto decoder = FLXmlDecoder::withData(kDeclaration.toUtf8() + "<c a=\"" + QByteArray(c.value) + "\"/>\n");
    ASSERT_TRUE(decoder && decoder->getNextTag()) << c.value;
    EXPECT_EQ(decoder->integerAttributeForTag(QLatin1String("a")), c.expected) << c.value;
  }
}

// A value reads the same however late it is asked for: after a look-ahead, as a number or a
// word, and whether it is one stretch of text or pieces joined around CDATA sections.
TEST(FLXmlDecoder, ValuesReadTheSameWhenAskedLate) {
  static constexpr const char* kWords[] = {"", "one", "two"};
  struct { const char* element; const char* value; int64_t integer; int64_t word; } cases[] = {
      {"<v>42</v>", "42", 42, 0},          {"<v> -7 x</v>", " -7 x", -7, 0},
      {"<v>&#52;2</v>", "42", 42, 0},      {"<v>T&#87;O</v>", "TWO", 0, 2},
      {"<v>one</v>", "one", 0, 1},         {"<v>a<![CDATA[<b>]]>c</v>", "a<b>c", 0, 0},
      {"<v><![CDATA[12]]></v>", "12", 12, 0}, {"<v></v>", "", 0, 0},
      {"<v>\xC3\xA9&amp;\xE2\x82\xAC</v>", "\xC3\xA9&\xE2\x82\xAC", 0, 0},
  };
  LogCapture logs;  // words missing from the list are reported
  for (const auto& c : cases) {
    const QByteArray body = kDeclaration.toUtf8() + "<r>" + c.element + "<next n=\"1\">9</next></r>\n";
    for (int order = 0; order < 3; ++order) {
      auto decoder = FLXmlDecoder::withData(body);
      ASSERT_TRUE(decoder && decoder->getNextTag() && decoder->getNextTag()) << c.element;
      QString nextValue;
      if (order == 1) { EXPECT_EQ(decoder->followingTagWithAttributes(nullptr, &nextValue), QStringLiteral("next")); }
      if (order == 2) { EXPECT_EQ(decoder->integerValue(), c.integer) << c.element; }
      EXPECT_EQ(decoder->value(), QString::fromUtf8(c.value)) << c.element << " order " << order;
      EXPECT_FALSE(decoder->value().isNull()) << c.element;
      EXPECT_EQ(decoder->integerValue(), c.integer) << c.element;
      EXPECT_EQ(decoder->longValue(), c.integer) << c.element;
      EXPECT_EQ(decoder->decodeValueFromValues(kWords), c.word) << c.element;
      if (order == 1) { EXPECT_EQ(nextValue, QStringLiteral("9")); }
      ASSERT_TRUE(decoder->getNextTag());
      EXPECT_EQ(decoder->xmlTag(), QStringLiteral("next"));
      EXPECT_EQ(decoder->value(), QStringLiteral("9"));
    }
  }
}

// What a reader sees of one tag, positions aside.
QString Observed(FLXmlDecoder& decoder, bool read) {
  QString line = read ? QStringLiteral("tag ") : QStringLiteral("end ");
  line += QString::number(decoder.key()) + u' ' + decoder.xmlTag() + u' ' + QString::number(decoder.level()) +
          (decoder.startTag() ? u'S' : u's') + (decoder.endTag() ? u'E' : u'e');
  line += decoder.value().isNull() ? QStringLiteral(" null") : QStringLiteral(" [") + decoder.value() + u']';
  QStringList attributes;
  for (auto it = decoder.attributes().cbegin(); it != decoder.attributes().cend(); ++it)
    attributes << it.key() + u'=' + it.value() + u'/' + QString::number(decoder.integerAttributeForTag(it.key()));
  attributes.sort();
  line += u' ' + attributes.join(u',') + (decoder.tagHasAttributes() ? u'+' : u'-');
  if (!decoder.error().isEmpty()) line += QStringLiteral(" error");
  return line;
}

// Tags of the usual shape are read in one pass, anything else the general way. Every tag read
// after a comment goes the general way, so a text read as it is and with a comment before each
// tag must look the same to a reader, tag for tag, whatever the shapes, including broken ones.
TEST(FLXmlDecoder, TagsReadTheSameWhicheverWayTheyAreRead) {
  std::mt19937 random(20261207);
  const auto pick = [&](size_t count) { return size_t(random() % count); };
  const char* const names[] = {"row", "cells", "cell", "f", "val", "a-b", "x.y", "_u", "n:s", "caf\xC3\xA9", "9", "A1"};
  const char* const values[] = {"", "=A1+1", "i2", "a &amp; b", "\xC2\xA0" "x", " <![CDATA[<c>]]> ", "&#65;", "t\tu",
                                "\xE2\x82\xAC"};
  const char* const spaces[] = {"", "\n", "\n\t\t", " ", "\t", "\r\n ", "\v"};
  const char* const attributeNames[] = {"x", "y", "type", "Id", "a-1", "q:r", "\xC3\xA9t\xC3\xA9"};
  for (int round = 0; round < 400; ++round) {
    // A document of random elements, some of them broken, written twice.
    std::string plain = "<?xml version=\"1.0\"?>\n<root>";
    std::string commented = plain;
    // The comment goes right before the tag, behind any white space the piece starts with.
    const auto both = [&](const std::string& piece, bool tag) {
      plain += piece;
      const size_t at = tag ? piece.find('<') : piece.size();
      commented += piece.substr(0, at) + (tag ? "<!---->" : "") + piece.substr(at);
    };
    std::vector<std::string> open;
    const int steps = 5 + int(pick(30));
    for (int step = 0; step < steps; ++step) {
      both(spaces[pick(std::size(spaces))], false);
      const size_t what = pick(10);
      if (what < 2 && !open.empty()) {
        both("</" + open.back() + (pick(8) == 0 ? " >" : ">"), true);
        open.pop_back();
        continue;
      }
      const std::string name = names[pick(std::size(names))];
      std::string tag = "<" + name;
      const size_t attributeCount = pick(12) < 8 ? pick(3) : pick(11);
      for (size_t i = 0; i < attributeCount; ++i) {
        const char quote = pick(4) == 0 ? '\'' : '"';
        tag += pick(10) == 0 ? "" : " ";
        tag += attributeNames[pick(std::size(attributeNames))];
        tag += pick(20) == 0 ? " = " : "=";
        tag += quote + std::string(pick(3) == 0 ? "&amp;7" : std::to_string(pick(1000))) + quote;
      }
      if (what < 4) {
        both(tag + (pick(2) ? "/>" : " />"), true);
      } else if (what < 7) {
        both(tag + ">" + values[pick(std::size(values))], true);
        both("</" + (pick(15) == 0 ? std::string("other") : name) + ">", true);
      } else {
        both(tag + ">", true);
        open.push_back(name);
      }
    }
    while (!open.empty()) {
      both("\n</" + open.back() + ">", true);
      open.pop_back();
    }
    both("\n</root>\n", true);

    const bool numeric = round % 2 == 1;
    std::vector<std::string> seen[2];
    for (int way = 0; way < 2; ++way) {
      LogCapture logs;
      auto decoder = FLXmlDecoder::withData(QByteArray::fromStdString(way == 0 ? plain : commented));
      ASSERT_TRUE(decoder) << plain;
      decoder->setAllowNumericTags(numeric);
      for (int guard = 0; guard < 1000; ++guard) {
        const bool read = decoder->getNextTag();
        seen[way].push_back(Observed(*decoder, read).toStdString());
        if (!read) break;
      }
    }
    ASSERT_EQ(seen[0].size(), seen[1].size()) << plain;
    for (size_t i = 0; i < seen[0].size(); ++i) ASSERT_EQ(seen[0][i], seen[1][i]) << i << "\n" << plain;
  }
}

// Values are decoded into room the reader keeps from one value to the next; a value a caller
// keeps must stay what it was while the reading goes on, whatever comes after it.
TEST(FLXmlDecoder, KeptValuesStayWhatTheyWereAsLaterValuesAreRead) {
  const QString longAscii = QString(70, QLatin1Char('x'));
  const QString values[] = {QStringLiteral("=A1+1"), QStringLiteral("i2"), QStringLiteral("a"), longAscii,
                            QStringLiteral("=A99999+1"), QString::fromUtf8("\xC3\xA9t\xC3\xA9"), QStringLiteral("b"),
                            QStringLiteral("x&amp;y"), QStringLiteral("zz")};
  const QString expected[] = {QStringLiteral("=A1+1"), QStringLiteral("i2"), QStringLiteral("a"), longAscii,
                              QStringLiteral("=A99999+1"), QString::fromUtf8("\xC3\xA9t\xC3\xA9"), QStringLiteral("b"),
                              QStringLiteral("x&y"), QStringLiteral("zz")};
  QString body = QStringLiteral("<r>");
  for (const QString& value : values) body += QStringLiteral("<v>") + value + QStringLiteral("</v><e/>");
  body += QStringLiteral("</r>\n");
  // Every other value is kept, the others only looked at: kept ones must not change under the
  // reader, and the ones let go may give their room to the next.
  auto decoder = Decode(body);
  ASSERT_TRUE(decoder && decoder->getNextTag());
  std::vector<QString> kept;
  std::vector<size_t> keptIndex;
  for (size_t i = 0; i < std::size(values); ++i) {
    ASSERT_TRUE(decoder->getNextTag());
    ASSERT_EQ(decoder->xmlTag(), QStringLiteral("v"));
    EXPECT_EQ(decoder->value(), expected[i]) << i;
    EXPECT_EQ(decoder->value().size(), expected[i].size()) << i;
    if (i % 2 == 0) {
      kept.push_back(decoder->value());
      keptIndex.push_back(i);
    }
    ASSERT_TRUE(decoder->getNextTag());
    // An element without a value has none, whatever the one before it had.
    EXPECT_TRUE(decoder->value().isNull()) << i;
  }
  for (size_t k = 0; k < kept.size(); ++k) EXPECT_EQ(kept[k], expected[keptIndex[k]]) << keptIndex[k];
}

// Names stay what they were while a tag, a look-ahead or a coalescing still refers to them, even
// in a document of more names than the reader keeps.
TEST(FLXmlDecoder, ManyNamesStayIntactWhileInUse) {
  QString body = QStringLiteral("<root>");
  for (int i = 0; i < 300; ++i)
    body += QStringLiteral("<t%1 a%1=\"%1\" b%1=\"v\">x%1</t%1>").arg(i);
  body += QStringLiteral("<mixed m=\"kept\" n=\"too\">");
  for (int i = 0; i < 300; ++i) body += QStringLiteral("<u%1 c%1=\"1\">w%1</u%1>").arg(i);
  body += QStringLiteral("</mixed></root>\n");
  auto decoder = Decode(body);
  ASSERT_TRUE(decoder && decoder->getNextTag());
  for (int i = 0; i < 300; ++i) {
    QHash<QString, QString> following;
    EXPECT_EQ(decoder->followingTagWithAttributes(&following, nullptr), QStringLiteral("t%1").arg(i));
    EXPECT_EQ(following.value(QStringLiteral("a%1").arg(i)), QString::number(i));
    ASSERT_TRUE(decoder->getNextTag());
    EXPECT_EQ(decoder->xmlTag(), QStringLiteral("t%1").arg(i));
    EXPECT_EQ(decoder->stringAttributeForTag(QStringLiteral("a%1").arg(i)), QString::number(i));
    EXPECT_EQ(decoder->stringAttributeForTag(QStringLiteral("b%1").arg(i)), QStringLiteral("v"));
    EXPECT_EQ(decoder->value(), QStringLiteral("x%1").arg(i));
  }
  ASSERT_TRUE(decoder->getNextTag());
  ASSERT_EQ(decoder->xmlTag(), QStringLiteral("mixed"));
  decoder->coalesceMixedContent();
  EXPECT_EQ(decoder->xmlTag(), QStringLiteral("mixed"));
  EXPECT_EQ(decoder->stringAttributeForTag(QLatin1String("m")), QStringLiteral("kept"));
  EXPECT_EQ(decoder->stringAttributeForTag(QLatin1String("n")), QStringLiteral("too"));
  EXPECT_TRUE(decoder->value().startsWith(QStringLiteral("w0 w1 w2"))) << decoder->value().left(40).toStdString();
  // A table set in the middle of the reading gives the names read before their new keys.
  auto table = std::make_shared<FLXmlKeyTable>();
  table->insert(QStringLiteral("root"), 7);
  decoder->setKeyDecoder(table);
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->xmlTag(), QStringLiteral("root"));
  EXPECT_EQ(decoder->key(), 7);
  EXPECT_TRUE(decoder->error().isEmpty());
}

// A damaged or hostile document may hold many thousands of distinct names, on one element or as
// sibling tags: each is still found at once, so the work grows with the names read alone, and
// every name keeps its own key and value.
TEST(FLXmlDecoder, ManyDistinctNamesAreFoundInTimeIndependentOfTheirNumber) {
  auto table = std::make_shared<FLXmlKeyTable>();
  table->insert(QStringLiteral("root"), 1);
  table->insert(QStringLiteral("n7"), 7);
  table->insert(QStringLiteral("t9"), 9);
  const auto read = [&table](int names) {
    QString body = QStringLiteral("<root><wide");
    for (int i = 0; i < names; ++i) body += QStringLiteral(" a%1=\"%1\"").arg(i);
    body += QStringLiteral(" n7=\"last\"/>");
    for (int i = 0; i < names; ++i) body += QStringLiteral("<t%1 a%1=\"v\">%1</t%1>").arg(i);
    body += QStringLiteral("</root>\n");
    auto decoder = Decode(body);
    EXPECT_TRUE(decoder);
    if (!decoder) return int64_t(0);
    decoder->setKeyDecoder(table);
    EXPECT_TRUE(decoder->getNextTag() && decoder->key() == 1);
    EXPECT_TRUE(decoder->getNextTag());
    EXPECT_EQ(decoder->xmlTag(), QStringLiteral("wide"));
    EXPECT_EQ(decoder->attributes().size(), names + 1);
    for (int i : {0, names / 2, names - 1})
      EXPECT_EQ(decoder->integerAttributeForTag(QStringLiteral("a%1").arg(i)), i) << names;
    EXPECT_EQ(decoder->stringAttributeForTag(QStringLiteral("n7")), QStringLiteral("last"));
    for (int i = 0; i < names; ++i) {
      EXPECT_TRUE(decoder->getNextTag());
      if (decoder->xmlTag() != QStringLiteral("t%1").arg(i) || decoder->integerValue() != i ||
          decoder->stringAttributeForTag(QStringLiteral("a%1").arg(i)) != QStringLiteral("v") ||
          decoder->key() != (i == 9 ? 9 : 0)) {
        ADD_FAILURE() << "tag " << i << " of " << names << " read as " << decoder->xmlTag().toStdString();
        break;
      }
    }
    EXPECT_TRUE(decoder->getNextTag() && decoder->key() == 1 && decoder->endTag());
    EXPECT_TRUE(decoder->error().isEmpty());
    // The names of tags read and closed are let go: a few dozen are kept, whatever the number.
    EXPECT_LE(decoder->namesKept(), 160u) << names;
    return decoder->namesCompared();
  };
  const int64_t few = read(1000);
  const int64_t many = read(4000);
  EXPECT_GT(few, 0);
  // Four times the names: about four times the work, never the sixteen of a search among them.
  EXPECT_LE(many, 5 * few) << few << " then " << many;
  // Empty tags of new names, and one tag again and again with a new attribute each time, which
  // is in use whenever a name must make room.
  for (const char* shape : {"<e%1/>", "<a x%1=\"1\"/>"}) {
    QString body = QStringLiteral("<root>");
    for (int i = 0; i < 5000; ++i) body += QString::fromLatin1(shape).arg(i);
    auto decoder = Decode(body + QStringLiteral("</root>\n"));
    ASSERT_TRUE(decoder);
    size_t most = 0;
    int read = 0;
    while (decoder->getNextTag()) {
      most = std::max(most, decoder->namesKept());
      ++read;
    }
    EXPECT_EQ(read, 5002) << shape;
    EXPECT_LE(most, 160u) << shape;
  }
}

}  // namespace

namespace {

// The process-wide key table: nothing is stored before it exists, a repeated name is reported
// and takes the new key, and values of tags look their text up in it.
TEST(FLXmlDecoderKeys, TheKeyTableRefusesMisuseAndDecodesValues) {
  const std::shared_ptr<FLXmlKeyTable> previous = FLXmlDecoder::sharedKeyDecoder();
  {
    LogCapture log;
    FLXmlDecoder::setSharedKeyDecoder(nullptr);
    FLXmlDecoder::addDecoderKey(7, QStringLiteral("row"));
    EXPECT_EQ(log.assertMessages(), QStringList{QStringLiteral("Set the key decoder dictionary first")});
  }
  {
    SharedTable table;
    LogCapture log;
    const FLXmlTagKey keys[] = {{1, "document"}, {2, "row"}, {3, "cell"}};
    FLXmlDecoder::addDecoderKeys(keys);
    EXPECT_TRUE(log.assertMessages().isEmpty());
    FLXmlDecoder::addDecoderKey(9, QStringLiteral("row"));
    EXPECT_EQ(log.assertMessages(), QStringList{QStringLiteral("Duplicate tag")});
    EXPECT_EQ(FLXmlDecoder::sharedKeyDecoder()->value(QStringLiteral("row")), 9u);

    std::unique_ptr<FLXmlDecoder> decoder =
        Decode(QStringLiteral("<document><kind>cell</kind><kind>row</kind><kind>sheet</kind><row/></document>"));
    ASSERT_TRUE(decoder && decoder->getNextTag());
    EXPECT_EQ(decoder->key(), 1);
    const int64_t expected[] = {3, 9, 0};
    for (int64_t value : expected) {
      ASSERT_TRUE(decoder->getNextTag());
      EXPECT_EQ(decoder->key(), 0);  // "kind" has no key
      EXPECT_EQ(decoder->decodeValue(), value) << decoder->value().toStdString();
    }
    ASSERT_TRUE(decoder->getNextTag());
    EXPECT_EQ(decoder->key(), 9);
  }
  EXPECT_EQ(FLXmlDecoder::sharedKeyDecoder(), previous);
}

TEST(FLXmlDecoderKeys, WordListsMatchIgnoringCaseAndReportUnknownWordsUnlessAllowed) {
  static constexpr const char* kWords[] = {"none", "left", "center", "right"};
  const struct { const char* text; int64_t index; int asserts; } cases[] = {
      {"CENTER", 2, 0}, {"center", 2, 0}, {"Right", 3, 0}, {"none", 0, 0}, {"", 0, 0}, {"middle", 0, 1},
      {"cent", 0, 1},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_EQ(FLXmlDecoder::decodeValue(QString::fromUtf8(c.text), kWords), c.index) << c.text;
    EXPECT_EQ(log.assertMessages().count(QStringLiteral("Unknown value string")), c.asserts) << c.text;
  }
  {
    LogCapture log;
    EXPECT_EQ(FLXmlDecoder::decodeValue(QStringLiteral("x"), std::span<const char* const>()), 0);
    EXPECT_EQ(log.assertMessages().count(QStringLiteral("Unknown value string")), 1);
  }
  FLXmlDecoder::allowUnknownValues(true);
  {
    LogCapture log;
    EXPECT_EQ(FLXmlDecoder::decodeValue(QStringLiteral("middle"), kWords), 0);
    EXPECT_TRUE(log.assertMessages().isEmpty());
  }
  FLXmlDecoder::allowUnknownValues(false);
}

// An attribute's word is found in a list as the general comparison finds it, whether read on its
// bytes (ASCII) or compared the general way (entities, words beyond ASCII, unknown words), with
// the same assertion for a word the list lacks.
TEST(FLXmlDecoderKeys, AttributeWordsMatchAsTheirTextDoes) {
  static constexpr const char* kTypes[] = {"none", "check", "date", "error", "f", "image", "link", "#", "s", "of"};
  static constexpr const char* kAccented[] = {"none", "\xC3\xA9t\xC3\xA9", "Kelvin", "\xE2\x84\xAA", "k"};
  const char* const words[] = {"f", "F", "#", "of", "OF", "o", "ff", "none", "NONE", "s", "", "x", "image ",
                               "&#102;", "d&amp;te", "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", "k", "K", "kelvin"};
  for (const auto& list : {std::span<const char* const>(kTypes), std::span<const char* const>(kAccented)}) {
    for (const char* word : words) {
      const QByteArray body = kDeclaration.toUtf8() + "<r><c t=\"" + word + "\"/></r>";
      auto decoder = FLXmlDecoder::withData(body);
      ASSERT_TRUE(decoder && decoder->getNextTag() && decoder->getNextTag()) << word;
      LogCapture expectedLog;
      const int64_t expected = FLXmlDecoder::decodeValue(decoder->stringAttributeForTag(QLatin1String("t")), list);
      const qsizetype expectedAsserts = expectedLog.assertMessages().size();
      LogCapture log;
      EXPECT_EQ(decoder->decodeAttribute(QLatin1String("t"), list), expected) << word;
      EXPECT_EQ(log.assertMessages().size(), expectedAsserts) << word;
    }
  }
}

TEST(FLXmlDecoderKeys, ATagNameStartingWithADigitNeedsNumericTags) {
  for (const bool allow : {false, true}) {
    std::unique_ptr<FLXmlDecoder> decoder = Decode(QStringLiteral("<12>x</12>"));
    ASSERT_TRUE(decoder);
    decoder->setAllowNumericTags(allow);
    EXPECT_EQ(decoder->getNextTag(), allow) << allow;
    if (allow) {
      EXPECT_EQ(decoder->xmlTag(), QStringLiteral("12"));
      EXPECT_EQ(decoder->value(), QStringLiteral("x"));
    } else {
      EXPECT_TRUE(decoder->isDone());
      EXPECT_TRUE(decoder->error().startsWith(QStringLiteral("this is not a valid XML file"))) << decoder->error().toStdString();
    }
  }
  // A digit after the first character is part of any name.
  std::unique_ptr<FLXmlDecoder> decoder = Decode(QStringLiteral("<h1>x</h1>"));
  ASSERT_TRUE(decoder && decoder->getNextTag());
  EXPECT_EQ(decoder->xmlTag(), QStringLiteral("h1"));
}

// Text, a CDATA section and text again make one value; the section's contents stay as written.
TEST(FLXmlDecoderKeys, TextAndCdataSectionsJoinIntoOneValue) {
  const struct { const char* body; const char* value; } cases[] = {
      {"<t>a &amp; <![CDATA[<b> &amp; ]]> c&lt;</t>", "a & <b> &amp;  c<"},
      {"<t><![CDATA[one]]><![CDATA[two]]></t>", "onetwo"},
      {"<t>x<![CDATA[]]>y</t>", "xy"},
  };
  for (const auto& c : cases) {
    std::unique_ptr<FLXmlDecoder> decoder = Decode(QString::fromUtf8(c.body));
    ASSERT_TRUE(decoder && decoder->getNextTag()) << c.body;
    EXPECT_EQ(decoder->value(), QString::fromUtf8(c.value)) << c.body;
    EXPECT_TRUE(decoder->endTag()) << c.body;
  }
  std::unique_ptr<FLXmlDecoder> cut = Decode(QStringLiteral("<t>a<![CDATA[never closed</t>"));
  ASSERT_TRUE(cut);
  EXPECT_FALSE(cut->getNextTag());
  EXPECT_TRUE(cut->error().startsWith(QStringLiteral("malformed CDATA at offset 0x"))) << cut->error().toStdString();
}

}  // namespace
