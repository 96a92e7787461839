#include "framlet/foundation/FLXmlEncoder.h"

#include "framlet/foundation/FLXmlDecoder.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");

QString Body(const FLXmlEncoder& encoder) {
  QString text = encoder.xml();
  EXPECT_TRUE(text.startsWith(kDeclaration));
  return text.mid(kDeclaration.size());
}

int AssertCount(const LogCapture& capture, const char* message) {
  int count = 0;
  for (const QString& entry : capture.entries())
    if (entry.startsWith(QStringLiteral("Assert: ") + QLatin1String(message) + QLatin1String(" -- "))) ++count;
  return count;
}

TEST(FLXmlEncoder, StartsWithTheDeclarationAndIsEmptyUntilTheFirstElement) {
  FLXmlEncoder encoder(4096);
  EXPECT_EQ(encoder.xml(), kDeclaration);
  EXPECT_TRUE(encoder.isEmpty());
  encoder.addTag(QStringLiteral("a"), int64_t(1));
  EXPECT_FALSE(encoder.isEmpty());
}

TEST(FLXmlEncoder, ValuesAndAttributesEscapeTheFourMarkupCharactersOnly) {
  FLXmlEncoder encoder;
  encoder.addAttribute(QStringLiteral("q"), QStringLiteral("say \"hi\" & <go> 'now'"));
  encoder.addTag(QStringLiteral("name"), QStringLiteral("A&B"));
  encoder.addTag(QStringLiteral("line"), QStringLiteral("  two\r\nlines\tand 'quotes' > \"x\""));
  EXPECT_EQ(Body(encoder),
            QStringLiteral("<name q=\"say &quot;hi&quot; &amp; &lt;go&gt; 'now'\">A&amp;B</name>\n"
                           "<line>  two\r\nlines\tand 'quotes' &gt; &quot;x&quot;</line>\n"));
}

TEST(FLXmlEncoder, OpenThenCloseStandsOnOneLineAndChildrenAreIndentedWithTabs) {
  FLXmlEncoder encoder;
  encoder.openTag(QStringLiteral("doc"));
  encoder.openTag(QStringLiteral("empty"));
  encoder.closeTag(QStringLiteral("empty"));
  encoder.openTag(QStringLiteral("row"));
  encoder.addTag(QStringLiteral("c"), int64_t(5));
  encoder.openTag(QStringLiteral("deep"));
  encoder.addTag(QStringLiteral("s"), QStringLiteral(""));
  encoder.closeTag(QStringLiteral("deep"));
  encoder.closeTag(QStringLiteral("row"));
  encoder.closeTag(QStringLiteral("doc"));
  EXPECT_EQ(Body(encoder), QStringLiteral("<doc>\n"
                                          "\t<empty></empty>\n"
                                          "\t<row>\n"
                                          "\t\t<c>5</c>\n"
                                          "\t\t<deep>\n"
                                          "\t\t\t<s/>\n"
                                          "\t\t</deep>\n"
                                          "\t</row>\n"
                                          "</doc>\n"));
}

TEST(FLXmlEncoder, QueuedAttributesGoInOrderIntoTheNextElementOnly) {
  FLXmlEncoder encoder;
  encoder.addAttribute(QStringLiteral("x"), int64_t(1));
  encoder.addAttribute(QStringLiteral("b"), QStringLiteral("two"));
  encoder.addAttribute(QStringLiteral("a"), int64_t(-3));
  encoder.openAndCloseTag(QStringLiteral("cell"));
  encoder.openAndCloseTag(QStringLiteral("bare"));
  encoder.addAttribute(QStringLiteral("k"), QStringLiteral("v"));
  encoder.openTag(QStringLiteral("p"));
  encoder.closeTag(QStringLiteral("p"));
  EXPECT_EQ(Body(encoder), QStringLiteral("<cell x=\"1\" b=\"two\" a=\"-3\"/>\n"
                                          "<bare/>\n"
                                          "<p k=\"v\"></p>\n"));
}

TEST(FLXmlEncoder, NumbersAreWrittenWholeIncludingSixtyFourBitGridCoordinates) {
  FLXmlEncoder encoder;
  encoder.addAttribute(QStringLiteral("row"), int64_t(0x7FFFFFFFFFFFFFFE));
  encoder.addAttribute(QStringLiteral("col"), int64_t(5000000000));
  encoder.addAttribute(QStringLiteral("abs"), INT64_MIN);
  encoder.openAndCloseTag(QStringLiteral("r"));
  encoder.addTag(QStringLiteral("n"), int64_t(-2147483649LL));
  encoder.addTag(QStringLiteral("m"), int64_t(INT64_MAX));
  EXPECT_EQ(Body(encoder),
            QStringLiteral("<r row=\"9223372036854775806\" col=\"5000000000\" abs=\"-9223372036854775808\"/>\n"
                           "<n>-2147483649</n>\n"
                           "<m>9223372036854775807</m>\n"));
}

TEST(FLXmlEncoder, SafeValuesAreWrittenAsGiven) {
  FLXmlEncoder encoder;
  encoder.openTag(QStringLiteral("f"), QStringLiteral("<b>&amp;</b>"), true);
  encoder.openTag(QStringLiteral("g"), QStringLiteral("<b>"), false);
  encoder.openTag(QStringLiteral("h"), QStringLiteral(""), false);
  // A null text is an empty one: it must never open an element that nothing closes.
  encoder.openTag(QStringLiteral("i"), QString(), false);
  encoder.addTag(QStringLiteral("j"), QString());
  EXPECT_EQ(Body(encoder), QStringLiteral("<f><b>&amp;</b></f>\n<g>&lt;b&gt;</g>\n<h/>\n<i/>\n<j/>\n"));
}

TEST(FLXmlEncoder, MisuseIsAssertedAndWritesNothing) {
  struct Case {
    const char* message;
    void (*misuse)(FLXmlEncoder&);
  } cases[] = {
      {"Nil or zero-length string attribute",
       [](FLXmlEncoder& e) {
         e.addAttribute(QStringLiteral("a"), QStringLiteral(""));
         e.addAttribute(QStringLiteral("b"), QString());
         e.openAndCloseTag(QStringLiteral("t"));  // must come out without attributes
       }},
      {"No tag specified", [](FLXmlEncoder& e) { e.addTag(QString(), QStringLiteral("v")); }},
      {"closeTag without an open tag", [](FLXmlEncoder& e) { e.closeTag(QStringLiteral("t")); }},
      {"saveInsertionPoint not called", [](FLXmlEncoder& e) { e.beginInsertion(); }},
      {"saveInsertionPoint not called", [](FLXmlEncoder& e) { e.cancelInsertion(); }},
      {"No insertion", [](FLXmlEncoder& e) { e.endInsertion(); }},
  };
  for (const Case& c : cases) {
    LogCapture capture;
    FLXmlEncoder encoder;
    c.misuse(encoder);
    EXPECT_GE(AssertCount(capture, c.message), 1) << c.message;
    const QString body = Body(encoder);
    EXPECT_TRUE(body.isEmpty() || body == QStringLiteral("<t/>\n")) << c.message << ": " << body.toStdString();
  }
}

TEST(FLXmlEncoder, SvgModeHasNoDeclarationAndPutsTheNamespaceFirst) {
  LogCapture capture;
  FLXmlEncoder svg = FLXmlEncoder::forSvg();
  EXPECT_TRUE(svg.xml().isEmpty());
  svg.addAttribute(QStringLiteral("width"), int64_t(10));
  svg.openTag(QStringLiteral("svg"));
  svg.addAttribute(QStringLiteral("d"), QStringLiteral("M0 0"));
  svg.openAndCloseTag(QStringLiteral("path"));
  svg.closeTag(QStringLiteral("svg"));
  EXPECT_EQ(svg.xml(), QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\">\n"
                                      "\t<path d=\"M0 0\"/>\n"
                                      "</svg>\n"));
  EXPECT_EQ(AssertCount(capture, "Root tag must be SVG"), 0);

  FLXmlEncoder wrongRoot = FLXmlEncoder::forSvg();
  wrongRoot.openAndCloseTag(QStringLiteral("g"));
  EXPECT_EQ(AssertCount(capture, "Root tag must be SVG"), 1);
  EXPECT_EQ(wrongRoot.xml(), QStringLiteral("<g xmlns=\"http://www.w3.org/2000/svg\"/>\n"));
}

TEST(FLXmlEncoder, InsertionPutsElementsBeforeWhatWasWrittenAfterTheSavedPoint) {
  FLXmlEncoder encoder;
  encoder.openTag(QStringLiteral("doc"));
  encoder.openTag(QStringLiteral("list"));
  encoder.saveInsertionPoint();
  encoder.addTag(QStringLiteral("a"), int64_t(1));
  encoder.addTag(QStringLiteral("b"), int64_t(2));
  encoder.closeTag(QStringLiteral("list"));
  encoder.beginInsertion();
  encoder.openTag(QStringLiteral("head"));
  encoder.addTag(QStringLiteral("x"), int64_t(9));
  encoder.closeTag(QStringLiteral("head"));
  EXPECT_EQ(encoder.savedTail(), QStringLiteral("\t\t<a>1</a>\n\t\t<b>2</b>\n\t</list>\n"));
  encoder.endInsertion();
  encoder.closeTag(QStringLiteral("doc"));
  EXPECT_EQ(Body(encoder), QStringLiteral("<doc>\n"
                                          "\t<list>\n"
                                          "\t\t<head>\n"
                                          "\t\t\t<x>9</x>\n"
                                          "\t\t</head>\n"
                                          "\t\t<a>1</a>\n"
                                          "\t\t<b>2</b>\n"
                                          "\t</list>\n"
                                          "</doc>\n"));
  EXPECT_TRUE(encoder.savedTail().isEmpty());
}

TEST(FLXmlEncoder, BeginningASecondInsertionChangesNothing) {
  LogCapture capture;
  FLXmlEncoder encoder;
  encoder.openTag(QStringLiteral("doc"));
  encoder.saveInsertionPoint();
  encoder.addTag(QStringLiteral("a"), int64_t(1));
  encoder.beginInsertion();
  const QString during = encoder.xml();
  const QString tail = encoder.savedTail();
  encoder.beginInsertion();
  EXPECT_EQ(AssertCount(capture, "Insertion already in progress"), 1);
  EXPECT_EQ(encoder.xml(), during);
  EXPECT_EQ(encoder.savedTail(), tail);
  encoder.endInsertion();
  encoder.closeTag(QStringLiteral("doc"));
  EXPECT_EQ(Body(encoder), QStringLiteral("<doc>\n\t<a>1</a>\n</doc>\n"));
}

TEST(FLXmlEncoder, CancellingAnInsertionDropsItsTextAndRestoresTheTailAndLevel) {
  FLXmlEncoder encoder;
  encoder.openTag(QStringLiteral("doc"));
  encoder.saveInsertionPoint();
  encoder.openTag(QStringLiteral("kept"));
  encoder.addTag(QStringLiteral("a"), int64_t(1));
  encoder.beginInsertion();
  encoder.openTag(QStringLiteral("dropped"));
  encoder.addTag(QStringLiteral("z"), int64_t(0));
  encoder.cancelInsertion();
  // The level is the one from before the insertion: inside "kept".
  encoder.addTag(QStringLiteral("b"), int64_t(2));
  encoder.closeTag(QStringLiteral("kept"));
  encoder.closeTag(QStringLiteral("doc"));
  EXPECT_EQ(Body(encoder), QStringLiteral("<doc>\n"
                                          "\t<kept>\n"
                                          "\t\t<a>1</a>\n"
                                          "\t\t<b>2</b>\n"
                                          "\t</kept>\n"
                                          "</doc>\n"));
  // The point is gone with the cancelled insertion.
  LogCapture capture;
  encoder.beginInsertion();
  EXPECT_EQ(AssertCount(capture, "saveInsertionPoint not called"), 1);
}

TEST(FLXmlEncoder, CancellingAnInsertionRightAfterAnOpeningKeepsTheOneLineClose) {
  FLXmlEncoder encoder;
  encoder.openTag(QStringLiteral("doc"));
  encoder.saveInsertionPoint();
  encoder.beginInsertion();
  encoder.addTag(QStringLiteral("z"), int64_t(0));
  encoder.cancelInsertion();
  encoder.closeTag(QStringLiteral("doc"));
  EXPECT_EQ(Body(encoder), QStringLiteral("<doc></doc>\n"));
}

TEST(FLXmlEncoder, CancellingWithoutAnInsertionOnlyForgetsThePoint) {
  FLXmlEncoder encoder;
  encoder.openTag(QStringLiteral("doc"));
  encoder.saveInsertionPoint();
  encoder.addTag(QStringLiteral("a"), int64_t(1));
  encoder.cancelInsertion();
  encoder.closeTag(QStringLiteral("doc"));
  EXPECT_EQ(Body(encoder), QStringLiteral("<doc>\n\t<a>1</a>\n</doc>\n"));
}

TEST(FLXmlEncoder, NestedInsertionPointsAreUsedInnermostFirst) {
  FLXmlEncoder encoder;
  encoder.openTag(QStringLiteral("doc"));
  encoder.saveInsertionPoint();  // outer: before "a"
  encoder.addTag(QStringLiteral("a"), int64_t(1));
  encoder.saveInsertionPoint();  // inner: before "b"
  encoder.addTag(QStringLiteral("b"), int64_t(2));
  encoder.beginInsertion();
  encoder.addTag(QStringLiteral("inner"), int64_t(3));
  encoder.endInsertion();
  encoder.beginInsertion();
  encoder.addTag(QStringLiteral("outer"), int64_t(4));
  encoder.endInsertion();
  encoder.closeTag(QStringLiteral("doc"));
  EXPECT_EQ(Body(encoder), QStringLiteral("<doc>\n"
                                          "\t<outer>4</outer>\n"
                                          "\t<a>1</a>\n"
                                          "\t<inner>3</inner>\n"
                                          "\t<b>2</b>\n"
                                          "</doc>\n"));
}

// A document that uses every way of writing, with awkward text, for the well-formedness checks.
FLXmlEncoder SampleDocument() {
  FLXmlEncoder encoder;
  encoder.addAttribute(QStringLiteral("version"), int64_t(3));
  encoder.openTag(QStringLiteral("document"));
  encoder.addAttribute(QStringLiteral("title"), QStringLiteral("  R&D \"Q3\" <draft>\nsecond line"));
  encoder.openTag(QStringLiteral("sheet"));
  encoder.saveInsertionPoint();
  encoder.addAttribute(QStringLiteral("row"), int64_t(0x7FFFFFFFFFFFFFFD));
  encoder.addTag(QStringLiteral("cell"), QStringLiteral("=SUM(A1:A3) < 10 && x > 2 ]]> done"));
  encoder.addTag(QStringLiteral("text"), QStringLiteral("\u00e9t\u00e9 \U0001F600 \u4e2d\u6587"));
  encoder.openTag(QStringLiteral("empty"));
  encoder.closeTag(QStringLiteral("empty"));
  encoder.openAndCloseTag(QStringLiteral("flag"));
  encoder.beginInsertion();
  encoder.addTag(QStringLiteral("header"), QStringLiteral("&#65; stays literal"));
  encoder.endInsertion();
  encoder.closeTag(QStringLiteral("sheet"));
  encoder.closeTag(QStringLiteral("document"));
  return encoder;
}

TEST(FLXmlEncoder, SampleDocumentReadsBackWithItsTextIntact) {
  FLXmlEncoder encoder = SampleDocument();
  auto decoder = FLXmlDecoder::withString(encoder.xml());
  ASSERT_TRUE(decoder);
  QStringList seen;
  while (decoder->getNextTag()) {
    seen << decoder->xmlTag();
    if (decoder->xmlTag() == QLatin1String("sheet") && decoder->startTag()) {
      EXPECT_EQ(decoder->stringAttributeForTag(QStringLiteral("title")),
                QStringLiteral("  R&D \"Q3\" <draft>\nsecond line"));
    }
    if (decoder->xmlTag() == QLatin1String("cell")) {
      EXPECT_EQ(decoder->value(), QStringLiteral("=SUM(A1:A3) < 10 && x > 2 ]]> done"));
      EXPECT_EQ(decoder->integerAttributeForTag(QStringLiteral("row")), 0x7FFFFFFFFFFFFFFD);
    }
    if (decoder->xmlTag() == QLatin1String("text")) {
      EXPECT_EQ(decoder->value(), QStringLiteral("\u00e9t\u00e9 \U0001F600 \u4e2d\u6587"));
    }
    if (decoder->xmlTag() == QLatin1String("header")) {
      EXPECT_EQ(decoder->value(), QStringLiteral("&#65; stays literal"));
    }
  }
  EXPECT_TRUE(decoder->error().isEmpty()) << decoder->error().toStdString();
  EXPECT_EQ(seen, (QStringList{"document", "sheet", "header", "cell", "text", "empty", "flag", "sheet", "document"}));
  EXPECT_EQ(decoder->level(), 0);
}

TEST(FLXmlEncoder, SamplesAreWellFormedForXmllint) {
  const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
  if (xmllint.isEmpty()) GTEST_SKIP() << "xmllint is not installed";
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());

  FLXmlEncoder svg = FLXmlEncoder::forSvg();
  svg.addAttribute(QStringLiteral("viewBox"), QStringLiteral("0 0 10 10"));
  svg.openTag(QStringLiteral("svg"));
  svg.addAttribute(QStringLiteral("fill"), QStringLiteral("#FF0000"));
  svg.openAndCloseTag(QStringLiteral("rect"));
  svg.addTag(QStringLiteral("title"), QStringLiteral("a < b & c"));
  svg.closeTag(QStringLiteral("svg"));

  const QString samples[] = {SampleDocument().xml(), svg.xml()};
  for (const QString& sample : samples) {
    const QString path = folder.filePath(QStringLiteral("sample.xml"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(sample.toUtf8());
    file.close();
    QProcess lint;
    lint.start(xmllint, {QStringLiteral("--noout"), path});
    ASSERT_TRUE(lint.waitForFinished(30000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString() << sample.toStdString();
  }
}

}  // namespace
