#include "glimmet/storage/gmRtfReader.h"

#include "StorageTestSupport.h"
#include "framlet/foundation/Kolor.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmRtfKeywords.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

struct Imported {
  GlimmetDocPtr doc;
  uint32_t result = 0;
  QString message;
  // The body's text without its own final paragraph mark.
  QString text() const {
    QString body = ExtractPlainText({doc.get(), BodyStart(doc.get()), uint32_t(doc->userLength)}, false);
    if (body.endsWith(u'\n')) body.chop(1);
    return body;
  }
  PropRecord charsAt(uint32_t offset) const {
    PropRecord record;
    FetchCharProps(doc.get(), BodyStart(doc.get()) + offset, nullptr, &record);
    return record;
  }
  PropRecord paraAt(uint32_t offset) const {
    PropRecord record;
    FetchParaProps(doc.get(), nullptr, BodyStart(doc.get()) + offset, nullptr, &record);
    return record;
  }
};

Imported Import(const QByteArray& rtf, int mode = kRtfModeNormal) {
  Imported out;
  out.doc.reset(NewGlimmetDoc(kDocTemporary));
  out.result = ImportRtf(out.doc.get(), QString::fromLatin1(rtf), mode, &out.message);
  return out;
}

TEST(RtfKeywords, LookupIgnoresCaseAndKnowsEveryRow) {
  EXPECT_EQ(RtfKeywordCount(), 432u);
  EXPECT_EQ(RtfKeywordForName("fs"), RtfKeywordForName("FS"));
  EXPECT_STREQ(RtfKeywordName(RtfKeywordForName("fs")), "fs");
  EXPECT_EQ(RtfKeywordKind(RtfKeywordForName("b")), 0u);
  EXPECT_EQ(RtfKeywordKind(RtfKeywordForName("li")), 1u);
  EXPECT_EQ(RtfKeywordKind(RtfKeywordForName("brdrw")), 7u);
  EXPECT_EQ(RtfKeywordKind(RtfKeywordForName("rtf")), kRtfSpecialKind);
  EXPECT_EQ(RtfKeywordForName("nosuchword"), 0u);
  for (uint32_t id = 1; id <= RtfKeywordCount(); ++id)
    EXPECT_EQ(RtfKeywordForName(RtfKeywordName(id)), id) << RtfKeywordName(id);
}

TEST(RtfReader, TextAndFailures) {
  struct Case {
    const char* rtf;
    int mode;
    uint32_t result;
    const char* text;
  } cases[] = {
      {"{\\rtf1 Hello}", 0, kRtfImportOk, "Hello"},
      {"{\\rtf1 Hello", 0, kRtfImportMalformed, nullptr},
      {"{\\rtf1 Hello", 1, kRtfImportOk, "Hello"},
      {"{\\rtf1\\uc1\\u8364?}", 0, kRtfImportOk, "\u20ac"},
      {"{\\rtf1\\uc0\\u8364?}", 0, kRtfImportOk, "\u20ac?"},
      {"{\\rtf1\\uc2\\u8364\\'80\\'81x}", 0, kRtfImportOk, "\u20acx"},
      {"{\\rtf1\\uc0\\u-3913 x}", 0, kRtfImportOk, "\u2022x"},  // a symbol-font unit from foreign RTF
      {"{\\rtf1\\ansi\\ansicpg1252 caf\\'e9}", 0, kRtfImportOk, "caf\u00e9"},
      {"{\\rtf1{\\fonttbl{\\f1\\fcharset204 Arial;}}\\f1 \\'e9}", 0, kRtfImportOk, "\u0439"},
      {"{\\rtf1\\ansicpg1251 \\'e9}", 0, kRtfImportOk, "\u0439"},
      {"{\\rtf1 a{\\*\\unknown b{c}}d\\unknownword e}", 0, kRtfImportOk, "ade"},
      {"{\\rtf1 a\\par b\\par}", 0, kRtfImportOk, "a\nb"},
      {"{\\rtf1 a\\tab b\\emdash\\~\\{\\}\\\\}", 0, kRtfImportOk, "a\tb\u2014\u00a0{}\\"},
      {"{\\rtf1 a{\\footnote note}b{\\info{\\title t}}}", 0, kRtfImportOk, "ab"},
      {"{\\rtf1 a\\bin5 xxxxxb}", 0, kRtfImportOk, "ab"},
      {"{\\rtf1 a\\bin-5 b}", 0, kRtfImportOk, "ab"},
      {"{\\rtf1 a{\\*\\x\\bin-5 }b}", 0, kRtfImportOk, "ab"},
      {"{\\rtf1 a{\\*\\x\\bin3 }}}}b}", 0, kRtfImportOk, "ab"},
      {"{\\rtf1 a\\bin2000000000 b}", 0, kRtfImportMalformed, nullptr},  // clamped to the end
      {"{\\rtf1 a\\listid3 b}", 0, kRtfImportMalformed, nullptr},
      {"{\\rtf0 x}", 0, kRtfImportFailed, nullptr},
      {"plain", 0, kRtfImportFailed, nullptr},
      {"", 0, kRtfImportFailed, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rtf);
    Imported got = Import(c.rtf, c.mode);
    EXPECT_EQ(got.result, c.result);
    if (c.text) EXPECT_EQ(got.text(), QString::fromUtf8(c.text));
    if (c.result != kRtfImportOk) EXPECT_FALSE(got.message.isEmpty());
  }
}

TEST(RtfReader, ListKeywordGivesTheMalformedMessage) {
  Imported got = Import("{\\rtf1 a\\listid3 b}");
  EXPECT_EQ(got.message, QString::fromLatin1(kRtfMalformedMessage));
}

TEST(RtfReader, RetryReadsTolerantlyIntoAnEmptiedDocument) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  QString message;
  EXPECT_EQ(ImportRtfWithRetry(doc.get(), QStringLiteral("{\\rtf1 Hello\\par world"), &message), kRtfImportOk);
  EXPECT_EQ(ExtractPlainText({doc.get(), BodyStart(doc.get()), uint32_t(doc->userLength)}, false),
            QStringLiteral("Hello\nworld\n"));
}

TEST(RtfReader, CharacterProperties) {
  Imported got = Import(
      "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}"
      "{\\b a}{\\b0 b}{\\fs24 c}{\\expndtw20 d}{\\dn6 e}{\\cf1 f}{\\cf9 g}{\\cb9 h}{\\cf3 i}{\\ul j}{\\ulnone k}"
      "{\\i\\strike l}{\\up4 m}}");
  ASSERT_EQ(got.result, kRtfImportOk);
  ASSERT_EQ(got.text(), QStringLiteral("abcdefghijklm"));
  EXPECT_EQ(got.charsAt(0).body[CharField::bold], 1);
  EXPECT_EQ(got.charsAt(1).body[CharField::bold], 0);
  EXPECT_EQ(got.charsAt(2).get<int16_t>(CharField::size), 48);
  EXPECT_EQ(got.charsAt(3).get<int64_t>(CharField::expand), 12700);
  EXPECT_EQ(got.charsAt(4).get<int64_t>(CharField::subscript), 38100);
  EXPECT_EQ(got.charsAt(5).get<uint32_t>(CharField::color), MakeKolor(255, 0, 0));
  EXPECT_EQ(got.charsAt(6).get<uint32_t>(CharField::color), g_blackKolor);
  EXPECT_EQ(got.charsAt(7).get<uint32_t>(CharField::backColor), kWhiteKolor);
  EXPECT_EQ(got.charsAt(8).get<uint32_t>(CharField::color), MakeKolor(0, 255, 0));
  EXPECT_EQ(got.charsAt(9).get<uint32_t>(CharField::underline), 1u);
  EXPECT_EQ(got.charsAt(10).get<uint32_t>(CharField::underline), 0u);
  EXPECT_EQ(got.charsAt(11).body[CharField::italic], 1);
  EXPECT_EQ(got.charsAt(11).body[CharField::strike], 1);
  EXPECT_EQ(got.charsAt(12).get<int64_t>(CharField::subscript), -25400);
}

TEST(RtfReader, HugeNumbersDoNotWrap) {
  Imported got = Import("{\\rtf1{\\fonttbl{\\f2000000000 Arial;}}\\f2000000000\\expndtw99999999999 a}");
  ASSERT_EQ(got.result, kRtfImportOk);
  EXPECT_EQ(got.charsAt(0).get<int64_t>(CharField::expand), int64_t(0x7FFFFFFF) * 635);
}

TEST(RtfReader, ParagraphProperties) {
  QByteArray rtf = "{\\rtf1\\pard\\qc\\li720\\fi-360\\ri100\\sb240\\sa120";
  for (int i = 1; i <= 26; ++i) rtf += "\\tx" + QByteArray::number(i * 100);
  rtf += "\\tqr\\tx100 a\\par\\pard\\fi-2000\\li100 b\\par}";
  Imported got = Import(rtf);
  ASSERT_EQ(got.result, kRtfImportOk);
  ASSERT_EQ(got.text(), QStringLiteral("a\nb"));
  const PropRecord a = got.paraAt(0);
  EXPECT_EQ(a.get<uint32_t>(ParaField::alignment), 1u);
  EXPECT_EQ(a.get<int64_t>(ParaField::leftIndent), 457200);
  EXPECT_EQ(a.get<int64_t>(ParaField::firstIndent), -228600);
  EXPECT_EQ(a.get<int64_t>(ParaField::rightIndent), 63500);
  EXPECT_EQ(a.get<int64_t>(ParaField::spaceBefore), 152400);
  EXPECT_EQ(a.get<uint16_t>(ParaField::tabCount), 25);  // the 26th is dropped
  // The second tab at a position keeps the first one's alignment.
  EXPECT_EQ(TabAlignment(a.get<uint32_t>(ParaField::tabs)), 0u);
  const PropRecord b = got.paraAt(2);
  EXPECT_EQ(b.get<uint32_t>(ParaField::alignment), 0u);
  EXPECT_EQ(b.get<int64_t>(ParaField::firstIndent), -63500);  // not further left than the page edge
}

// Every file of the corpus imports; its text matches one of two independent readers' text.
QString Normalized(QString text) {
  text.remove(QChar(0xFEFF));
  text.replace(QChar(0x00A0), u' ');
  text.replace(QChar(0x2028), u' ');
  return text.simplified();
}

TEST(RtfReader, Corpus) {
  const QString base = QStringLiteral(TAMSEL_TEST_DATA_DIR "/rtf/");
  QFile knownFile(base + QStringLiteral("mismatches.txt"));
  QStringList known;
  if (knownFile.open(QIODevice::ReadOnly))
    for (const QByteArray& line : knownFile.readAll().split('\n'))
      if (!line.startsWith('#') && !line.trimmed().isEmpty()) known << QString::fromUtf8(line.split(' ').first());
  const QStringList files = QDir(base + QStringLiteral("libreoffice")).entryList({QStringLiteral("*.rtf")});
  ASSERT_GT(files.size(), 100);
  int matched = 0;
  QStringList mismatched;
  QHash<QString, QString> readAs;
  for (const QString& name : files) {
    SCOPED_TRACE(name.toStdString());
    QFile file(base + QStringLiteral("libreoffice/") + name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    ImportRtfWithRetry(doc.get(), QString::fromLatin1(file.readAll()));
    const QString text = Normalized(
        ExtractPlainText({doc.get(), BodyStart(doc.get()), uint32_t(doc->userLength)}, false));
    const QString stem = name.chopped(4);
    bool ok = false;
    for (const char* oracle : {"expected-text/", "expected-text-pandoc/"}) {
      QFile expected(base + QString::fromLatin1(oracle) + stem + QStringLiteral(".txt"));
      if (expected.open(QIODevice::ReadOnly) && Normalized(QString::fromUtf8(expected.readAll())) == text) ok = true;
    }
    if (ok) ++matched;
    else mismatched << stem, readAs[stem] = text.left(200);
  }
  for (const QString& stem : mismatched)
    EXPECT_TRUE(known.contains(stem)) << "not in mismatches.txt: " << stem.toStdString() << " read as: "
                                      << readAs[stem].toStdString();
  for (const QString& stem : known)
    EXPECT_TRUE(mismatched.contains(stem)) << "matches now, drop from mismatches.txt: " << stem.toStdString();
  EXPECT_GE(matched * 100, files.size() * 80) << matched << " of " << files.size();
}

}  // namespace
