#include "framlet/foundation/FLXmlEncoder.h"

#include "framlet/foundation/flHtmlEscaping.h"

#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");

QString Body(const FLXmlEncoder& encoder) {
  QString text = encoder.xml();
  EXPECT_TRUE(text.startsWith(kDeclaration));
  return text.mid(kDeclaration.size());
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

// Values and attributes are escaped as the escaping procedures escape them, whether the text is
// plain ASCII (narrowed straight into the bytes) or has anything else; a Latin-1 attribute is
// written as the same text given as a string would be.
TEST(FLXmlEncoder, ValuesAndAttributesAreEscapedAsTheEscapingProceduresDo) {
  const QString texts[] = {
      QStringLiteral("=A1+1"), QStringLiteral("i100000"), QStringLiteral("a&b"), QStringLiteral("<x>"),
      QStringLiteral("say \"hi\""), QStringLiteral("it's"), QStringLiteral("tab\there"), QStringLiteral("line\nbreak"),
      QStringLiteral("cr\rhere"), QString::fromUtf8("caf\xC3\xA9"), QString::fromUtf8("\xE2\x82\xAC 5"),
      QString(QChar(0x7F)), QStringLiteral("bell\x07"), QString(QChar(0xD800)) + QStringLiteral("x"),
      QStringLiteral("~ end"), QStringLiteral(" "),
  };
  for (const QString& text : texts) {
    FLXmlEncoder encoder;
    encoder.addAttribute(QLatin1String("a"), text);
    encoder.addTag(QLatin1String("t"), text);
    const QString expected = QStringLiteral("<t a=\"") + createEscapedAttributeForXml(text) + QStringLiteral("\">") +
                             createEscapedStringForXml(text) + QStringLiteral("</t>\n");
    EXPECT_EQ(Body(encoder), expected) << text.toStdString();
  }
  const char* const words[] = {"#", "f", "a&b", "\"q\"", "caf\xE9", "x<y"};
  for (const char* word : words) {
    FLXmlEncoder latin;
    latin.addAttribute(QLatin1String("type"), QLatin1String(word));
    latin.openAndCloseTag(QLatin1String("c"));
    FLXmlEncoder string;
    string.addAttribute(QLatin1String("type"), QString::fromLatin1(word));
    string.openAndCloseTag(QLatin1String("c"));
    EXPECT_EQ(latin.xml(), string.xml()) << word;
  }
  LogCapture capture;
  FLXmlEncoder empty;
  empty.addAttribute(QLatin1String("type"), QLatin1String(""));
  empty.openAndCloseTag(QLatin1String("c"));
  EXPECT_EQ(capture.assertMessages().count(QLatin1String("Nil or zero-length string attribute")), 1);
  EXPECT_EQ(Body(empty), QStringLiteral("<c/>\n"));
}

TEST(FLXmlEncoder, EmptyAttributesAreAssertedAndLeftOut) {
  LogCapture capture;
  FLXmlEncoder encoder;
  encoder.addAttribute(QStringLiteral("a"), QStringLiteral(""));
  encoder.addAttribute(QStringLiteral("b"), QString());
  encoder.openAndCloseTag(QStringLiteral("t"));
  EXPECT_EQ(capture.assertMessages().count(QLatin1String("Nil or zero-length string attribute")), 2);
  EXPECT_EQ(Body(encoder), QStringLiteral("<t/>\n"));
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
  EXPECT_EQ(Body(encoder), QStringLiteral("<doc>\n\t<list>\n\t\t<head>\n\t\t\t<x>9</x>\n\t\t</head>\n\t\t<a>1</a>\n"
                                          "\t\t<b>2</b>\n\t</list>\n</doc>\n"));
  EXPECT_TRUE(encoder.savedTail().isEmpty());
}

// Text passed on in pieces after every step joins up to the text written in one go: the line
// end after an element just opened stays behind (closing it at once takes it back), and nothing
// is settled while an insertion point may still move the text after it.
TEST(FLXmlEncoder, SettledPiecesJoinUpToTheWholeText) {
  const auto write = [](FLXmlEncoder& encoder, const std::function<void()>& step) {
    encoder.openTag(QStringLiteral("doc"));
    step();
    encoder.openTag(QStringLiteral("empty"));
    step();
    encoder.closeTag(QStringLiteral("empty"));
    step();
    encoder.openTag(QStringLiteral("list"));
    step();
    encoder.addAttribute(QStringLiteral("x"), int64_t(1));
    step();
    encoder.addTag(QStringLiteral("a"), QStringLiteral("1 < 2"));
    step();
    encoder.closeTag(QStringLiteral("list"));
    step();
    encoder.closeTag(QStringLiteral("doc"));
  };
  FLXmlEncoder whole;
  write(whole, [] {});
  FLXmlEncoder pieces;
  QByteArray passed;
  write(pieces, [&] {
    passed += pieces.settled().toByteArray();
    pieces.discardSettled();
  });
  passed += pieces.utf8().toByteArray();
  EXPECT_EQ(passed, whole.utf8().toByteArray());
  EXPECT_TRUE(passed.contains("\t<empty></empty>\n")) << passed.toStdString();

  FLXmlEncoder held;
  held.openTag(QStringLiteral("doc"));
  held.saveInsertionPoint();
  held.addTag(QStringLiteral("a"), int64_t(1));
  EXPECT_TRUE(held.settled().isEmpty());
  held.beginInsertion();
  EXPECT_TRUE(held.settled().isEmpty());
  held.endInsertion();
  EXPECT_EQ(held.settled().size(), held.utf8().size());
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
  EXPECT_EQ(Body(encoder), QStringLiteral("<doc>\n\t<kept>\n\t\t<a>1</a>\n\t\t<b>2</b>\n\t</kept>\n</doc>\n"));
  // The point is gone with the cancelled insertion.
  LogCapture capture;
  encoder.beginInsertion();
  EXPECT_EQ(capture.assertMessages().count(QLatin1String("saveInsertionPoint not called")), 1);
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
  // Pasted or imported text may hold controls, a lone surrogate and a noncharacter.
  encoder.addAttribute(QStringLiteral("note"), QStringLiteral("bell\u0007 nul") + QChar(0) + QChar(0xD800));
  encoder.addTag(QStringLiteral("pasted"), QStringLiteral("a\u0001b\u001Fc\u007Fd\u0085e\uFFFFf\u200Dg") + QChar(0xDC00));
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

// What a standard reader makes of the value: xmllint's XPath string of the node.
QString ReadWithXmllint(const QString& xmllint, const QString& path, const QString& xpath) {
  QProcess lint;
  lint.start(xmllint, {QStringLiteral("--nonet"), QStringLiteral("--xpath"), xpath, path});
  if (!lint.waitForFinished(30000) || lint.exitCode() != 0) return QStringLiteral("<xmllint failed>");
  QString value = QString::fromUtf8(lint.readAllStandardOutput());
  if (value.endsWith(u'\n')) value.chop(1);  // the line end xmllint puts after the value
  return value;
}

// A standard reader normalises a raw return to a line feed everywhere, and tab and line feed to
// spaces in attribute values; the writer's character references keep each as it was typed.
void ExpectTextsReadBackUnchanged(const QString& xmllint, const QTemporaryDir& folder) {
  const QString texts[] = {QStringLiteral("a\tb"), QStringLiteral("a\nb"), QStringLiteral("a\rb"),
                           QStringLiteral("a\r\nb\t\tc\r"), QStringLiteral("\t<&\">\n")};
  for (const QString& text : texts) {
    SCOPED_TRACE(text.toStdString());
    FLXmlEncoder encoder;
    encoder.openTag(QStringLiteral("document"));
    encoder.addAttribute(QStringLiteral("text"), text);
    encoder.addTag(QStringLiteral("cell"), text);
    encoder.closeTag(QStringLiteral("document"));
    const QString path = folder.filePath(QStringLiteral("cell.xml"));
    ASSERT_TRUE(WriteFileBytes(path, encoder.utf8().toByteArray()));
    EXPECT_EQ(ReadWithXmllint(xmllint, path, QStringLiteral("string(/document/cell/@text)")), text);
    EXPECT_EQ(ReadWithXmllint(xmllint, path, QStringLiteral("string(/document/cell)")), text);
  }
}

// The samples are well formed, and texts with tabs, line feeds and returns read back unchanged.
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
    ASSERT_TRUE(WriteFileBytes(path, sample.toUtf8()));
    QProcess lint;
    lint.start(xmllint, {QStringLiteral("--noout"), path});
    ASSERT_TRUE(lint.waitForFinished(30000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString() << sample.toStdString();
  }
  ExpectTextsReadBackUnchanged(xmllint, folder);
}

// Numbers, names and indents go into the text directly; they must read as QString::number and a
// run of tabs would have written them.
TEST(FLXmlEncoder, NumbersAndDeepIndentsAreWrittenExactly) {
  const int64_t numbers[] = {0, 7, -1, 1000000, INT64_MAX, INT64_MIN};
  for (const int64_t number : numbers) {
    FLXmlEncoder encoder;
    encoder.addAttribute(QLatin1String("x"), number);
    encoder.addAttribute(u"y", number);
    encoder.addTag(QLatin1String("n"), number);
    const QString text = QString::number(number);
    EXPECT_EQ(Body(encoder), QStringLiteral("<n x=\"%1\" y=\"%1\">%1</n>\n").arg(text)) << number;
  }
  FLXmlEncoder deep;
  constexpr int kDepth = 40;
  for (int i = 0; i < kDepth; ++i) deep.openTag(QLatin1String("d"));
  deep.addTag(QLatin1String("v"), int64_t(1));
  for (int i = 0; i < kDepth; ++i) deep.closeTag(QLatin1String("d"));
  QString expected;
  for (int i = 0; i < kDepth; ++i) expected += QString(i, QLatin1Char('\t')) + QStringLiteral("<d>\n");
  expected += QString(kDepth, QLatin1Char('\t')) + QStringLiteral("<v>1</v>\n");
  for (int i = kDepth - 1; i >= 0; --i) expected += QString(i, QLatin1Char('\t')) + QStringLiteral("</d>\n");
  EXPECT_EQ(Body(deep), expected);
}

}  // namespace

TEST(FLXmlEncoder, ALatin1ValueIsWrittenAsTheSameTextAsAString) {
  const char* const values[] = {"", "plain", "=A1+1", "i-42", "a&b<c>d\"e'f", "caf\xE9 \xA0", "tab\there",
                                "\x01\x1F control", "line\nbreak", "\x7F"};
  for (const char* value : values) {
    SCOPED_TRACE(value);
    const QLatin1StringView latin1(value);
    FLXmlEncoder viaString;
    FLXmlEncoder viaLatin1;
    for (FLXmlEncoder* encoder : {&viaString, &viaLatin1}) {
      encoder->openTag(QStringLiteral("cell"));
      encoder->addAttribute(QStringLiteral("x"), int64_t(1));
    }
    viaString.addTag(QStringLiteral("f"), QString(latin1));
    viaLatin1.addTag(QStringLiteral("f"), latin1);
    for (FLXmlEncoder* encoder : {&viaString, &viaLatin1}) encoder->closeTag(QStringLiteral("cell"));
    EXPECT_EQ(viaLatin1.xml(), viaString.xml());
  }
}

// The text grows past any room reserved for it, a copy of a writer writes on alone, and the text
// taken out is the whole text the writer had, the writer left empty.
TEST(FLXmlEncoder, ACopyWritesOnAloneAndTheTakenTextIsTheWholeText) {
  const qsizetype reserves[] = {0, 1, 64, 1 << 16};
  for (const qsizetype reserve : reserves) {
    SCOPED_TRACE(reserve);
    FLXmlEncoder encoder(reserve);
    encoder.openTag(QStringLiteral("rows"));
    for (int64_t i = 0; i < 2000; ++i) encoder.addTag(QLatin1String("v"), i);
    FLXmlEncoder copy = encoder;
    const QByteArray shared = encoder.utf8().toByteArray();
    encoder.addTag(QLatin1String("own"), QStringLiteral("Grüße"));
    encoder.closeTag(QStringLiteral("rows"));
    copy.closeTag(QStringLiteral("rows"));
    EXPECT_EQ(copy.utf8(), shared + "</rows>\n");
    const QByteArray whole = encoder.utf8().toByteArray();
    EXPECT_EQ(whole, shared + "\t<own>Gr\xC3\xBC\xC3\x9F" "e</own>\n</rows>\n");
    const QByteArray taken = encoder.takeUtf8();
    EXPECT_EQ(taken, whole);
    EXPECT_EQ(taken.constData()[taken.size()], '\0');
    EXPECT_TRUE(encoder.utf8().isEmpty());
    FLXmlEncoder moved = std::move(copy);
    EXPECT_EQ(moved.utf8(), shared + "</rows>\n");
  }
}
