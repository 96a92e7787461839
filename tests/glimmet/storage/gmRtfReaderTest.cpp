#include "glimmet/storage/gmRtfReader.h"

#include "StorageTestSupport.h"
#include "framlet/foundation/Kolor.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmRtfKeywords.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

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
    if (c.text) { EXPECT_EQ(got.text(), QString::fromUtf8(c.text)); }
    if (c.result != kRtfImportOk) { EXPECT_FALSE(got.message.isEmpty()); }
  }
  // Groups nested far deeper than documents nest them are read without exhausting memory.
  const QByteArray deep = "{\\rtf1 a" + QByteArray(200000, '{') + "b" + QByteArray(200000, '}') + "}";
  EXPECT_EQ(Import(deep).text(), QStringLiteral("ab"));
}

// What other writers put in list paragraphs, between paragraphs and in style references loses
// no text: a list number is a property of its paragraph, the marker groups older readers show go,
// a page, column or section break ends its paragraph, and a style the sheet leaves out is Normal.
TEST(RtfReader, ForeignListsBreaksAndStylesKeepTheirText) {
  const struct {
    const char* rtf;
    const char* text;
  } cases[] = {
      {"{\\rtf1 \\pard\\ls1 A\\par B\\par C\\par}", "A\nB\nC"},
      {"{\\rtf1 \\pard\\s15\\fi-360\\li720\\ls2\\ilvl1 A\\par\\pard B\\par}", "A\nB"},
      {"{\\rtf1{\\*\\listtable{\\list\\listid1{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 ?;}}}}"
       "\\pard\\ls1{\\listtext \\'95\\tab}one\\par{\\listtext \\'95\\tab}two\\par}",
       "one\ntwo"},
      {"{\\rtf1 \\pard{\\pntext\\f1 1.\\tab}{\\*\\pn\\pnlvlbody{\\pntxta .}}first\\par}", "first"},
      {"{\\rtf1 a\\page b}", "a\nb"},
      {"{\\rtf1 a\\column b}", "a\nb"},
      {"{\\rtf1 a\\sect b\\par}", "a\nb"},
      {"{\\rtf1 a\\par\\page b\\par\\sect\\sectd c}", "a\nb\nc"},
      {"{\\rtf1 \\page a}", "a"},
      {"{\\rtf1{\\stylesheet{\\s0 Normal;}}\\pard\\s7 styled\\par{\\cs9 run}}", "styled\nrun"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf);
    Imported got = Import(c.rtf);
    EXPECT_EQ(got.result, kRtfImportOk) << got.message.toStdString();
    EXPECT_EQ(got.text(), QString::fromUtf8(c.text));
  }
  // The paragraph of an undefined style is in Normal.
  Imported got = Import("{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1\\b Strong;}}\\pard\\s7 x\\par}");
  EXPECT_EQ(got.paraAt(0).get<uint16_t>(ParaField::style), 0);
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

// Each paragraph gets its own formatting over exactly its own stretch, whether it stands alone,
// follows a table, holds a link, is a cell's or ends the text without a mark.
TEST(RtfReader, EachParagraphIsFormattedOverItsOwnStretch) {
  struct Case {
    const char* rtf;
    const char* letters;      // one letter of each paragraph checked
    const char* starts;       // the letter its paragraph starts with ('-': not checked, in cells)
    std::vector<int> indents; // twips
  } cases[] = {
      {"{\\rtf1\\pard\\li100 ab\\par\\pard\\li200 c\\par\\pard d\\par}", "bcd", "acd", {100, 200, 0}},
      {"{\\rtf1\\pard\\li100 a\\par\\trowd\\cellx1000\\cellx2000\\pard\\intbl\\li400 x\\cell\\li500 y\\cell\\row"
       "\\pard\\li300 b\\par\\pard\\li600 c}",
       "axybc", "a--bc", {100, 400, 500, 300, 600}},
      {"{\\rtf1\\pard\\li100 a{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt L}} m\\par\\pard\\li200 b\\par}",
       "amb", "aab", {100, 100, 200}},
  };
  for (const Case& c : cases) {
    Imported got = Import(c.rtf);
    ASSERT_EQ(got.result, kRtfImportOk) << c.rtf;
    const uint32_t body = BodyStart(got.doc.get());
    const QString raw = TextOfRange({got.doc.get(), body, uint32_t(got.doc->userLength)});
    for (size_t i = 0; i < c.indents.size(); ++i) {
      const uint32_t offset = uint32_t(raw.indexOf(QLatin1Char(c.letters[i])));
      DocRange para;
      PropRecord record;
      FetchParaProps(got.doc.get(), nullptr, body + offset, &para, &record);
      EXPECT_EQ(record.get<int64_t>(ParaField::leftIndent), c.indents[i] * 635) << c.rtf << " " << c.letters[i];
      if (c.starts[i] != '-') {
        EXPECT_EQ(para.first - body, uint32_t(raw.indexOf(QLatin1Char(c.starts[i])))) << c.rtf << " " << c.letters[i];
      }
    }
  }
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

// The knot of a type at or after the body's offset.
KnotInfo KnotAfter(const Imported& got, uint32_t type) {
  KnotInfo info;
  GlimmetDoc* doc = got.doc.get();
  for (uint32_t i = 0; i < doc->knots.count(); ++i)
    if (doc->knots.at(i).type == type && doc->knots.at(i).kink <= kKinkBegin &&
        FetchKnot(doc, doc->knots.cpAt(i), &info, type))
      return info;
  return KnotInfo{};
}

TEST(RtfReader, TablesFromRows) {
  const QByteArray border = "\\brdrs\\brdrw10";
  const QByteArray box = "\\clbrdrt" + border + "\\clbrdrl" + border + "\\clbrdrb" + border + "\\clbrdrr" + border;
  Imported got = Import("{\\rtf1 Before\\par\\trowd\\trqr" + box + "\\clcfpat2\\cellx100" + box +
                        "\\cellx3000\\pard\\intbl A\\cell\\qc B\\cell\\row"
                        "\\trowd\\trqr\\cellx100\\cellx3000\\pard\\intbl C\\cell D\\cell\\row"
                        "\\trowd\\cellx1000\\cols200\\colno1\\colw40 \\intbl E\\cell\\row\\pard After\\par}");
  ASSERT_EQ(got.result, kRtfImportOk) << got.message.toStdString();
  EXPECT_EQ(got.text(), QStringLiteral("Before\nA\tB\nC\tD\nE\nAfter"));
  KnotInfo table = KnotAfter(got, kKnotTable);
  ASSERT_TRUE(table.found());
  const PropRecord* props = PropertiesAtIndex(got.doc.get(), table.entry.propIndex);
  ASSERT_NE(props, nullptr);
  EXPECT_EQ(props->get<uint16_t>(TableProp::columns), 2);
  EXPECT_EQ(props->get<uint32_t>(TableProp::alignment), 3u);
  EXPECT_EQ(props->get<int64_t>(TableProp::widths), 114300);  // cellx100: the smallest column
  EXPECT_EQ(props->get<int64_t>(TableProp::widths + 8), (3000 - 100) * 635);
  EXPECT_EQ(props->get<uint32_t>(TableProp::borderKind), 9u);  // box and lines between
  EXPECT_EQ(props->get<int64_t>(kTableBorderOffset + BorderField::width), 6350);
  KnotInfo row;
  ASSERT_TRUE(FetchKnot(got.doc.get(), table.first + 1, &row, kKnotRow));
  EXPECT_EQ(row.kinkCount, 3u);
  EXPECT_EQ(got.doc->knots.at(uint32_t(row.index) + 1).word, MakeKolor(0, 255, 255));  // the fixed colour 2
  EXPECT_EQ(got.paraAt(row.kinkCps[1] + 1 - BodyStart(got.doc.get())).get<uint32_t>(ParaField::alignment), 1u);
  // The second row continues the table; the third, with another alignment and one column, starts one
  // whose column count is clamped and whose width colw set.
  EXPECT_EQ(table.limit, row.limit + (row.limit - row.first) + 1);
  KnotInfo second;
  ASSERT_TRUE(FetchKnot(got.doc.get(), table.limit, &second, kKnotTable));
  props = PropertiesAtIndex(got.doc.get(), second.entry.propIndex);
  EXPECT_EQ(props->get<uint16_t>(TableProp::columns), 1);
  EXPECT_EQ(props->get<int64_t>(TableProp::widths), 25400);
}

TEST(RtfReader, TableTexts) {
  const char* row = "\\trowd\\cellx1000\\cellx2000\\intbl a\\cell b\\cell";
  const struct {
    QByteArray rtf;
    int mode;
    const char* text;
    bool table;
  } cases[] = {
      {QByteArray("{\\rtf1 ") + row + "\\row}", kRtfModeTolerant, "a\nb", false},  // a paragraph per cell
      // Text beyond the last cell leaves the table.
      {QByteArray("{\\rtf1 ") + row + " c\\cell\\row\\pard d}", kRtfModeNormal, "a\tb\nc\nd", true},
      {QByteArray("{\\rtf1 ") + row + "\\row\\intbl c\\cell d\\cell\\row\\pard e}", kRtfModeNormal,
       "a\tb\nc\td\ne", true},
      {"{\\rtf1 a\\cell b\\row c}", kRtfModeNormal, "a\nbc", false},  // no table words
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf.toStdString());
    Imported got = Import(c.rtf, c.mode);
    EXPECT_EQ(got.result, kRtfImportOk);
    EXPECT_EQ(got.text(), QString::fromUtf8(c.text));
    EXPECT_EQ(KnotAfter(got, kKnotTable).found(), c.table);
  }
}

// Text between a row's last cell and its end leaves the table, in our own RTF as in any other:
// the table holds only its rows and the text follows it.
TEST(RtfReader, TextAfterTheLastCellFollowsTheTable) {
  for (const char* generator : {"", "{\\*\\generator Orvandel Glimmet 2.2.3}"}) {
    SCOPED_TRACE(generator);
    Imported got = Import(QByteArray("{\\rtf1") + generator + "\\trowd\\cellx1000\\intbl a\\cell b\\par\\row c\\par}");
    ASSERT_EQ(got.result, kRtfImportOk);
    const KnotInfo table = KnotAfter(got, kKnotTable);
    ASSERT_TRUE(table.found());
    EXPECT_EQ(TextOfRange({got.doc.get(), table.limit, uint32_t(got.doc->userLength)}), QStringLiteral("b\nc\n"));
  }
}

QByteArray PngHex(int side, QByteArray* png = nullptr) {
  QImage image(side, side, QImage::Format_RGB32);
  image.fill(Qt::red);
  image.setDotsPerMeterX(2835);  // 72 per inch: one pixel a point
  image.setDotsPerMeterY(2835);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  if (png) *png = bytes;
  return bytes.toHex();
}

// The bytes as binary data, in pieces of so many bytes, each after a \bin of its own.
QByteArray BinaryPieces(const QByteArray& bytes, qsizetype piece) {
  QByteArray rtf;
  for (qsizetype at = 0; at < bytes.size(); at += piece) {
    const QByteArray part = bytes.mid(at, piece);
    rtf += "\\bin" + QByteArray::number(part.size()) + ' ' + part;
  }
  return rtf;
}

TEST(RtfReader, Pictures) {
  QByteArray png;
  PngHex(10, &png);
  struct Case {
    QByteArray rtf;
    uint32_t scale, vertical;
  } cases[] = {
      {"{\\pict\\pngblip\\picwgoal1440 " + PngHex(144) + "}", 500, 3},
      {"{\\pict\\pngblip\\picscalex50\\picscaley80\\glmtpicb " + PngHex(10) + "}", 500, 1},
      {"{\\*\\shppict{\\pict\\pngblip\\picw10 " + PngHex(10) + "}}{\\nonshppict{\\pict\\wmetafile8 00}}", 16383, 3},
      // Hex of more than a megabyte on one line (a PNG ignores what follows its end).
      {"{\\pict\\pngblip " + PngHex(10) + QByteArray(1200000, '0') + "}", 16383, 3},
      // Binary data in fifty thousand pieces, the picture's bytes first.
      {"{\\pict\\pngblip " + BinaryPieces(png + QByteArray(200000, '\0'), 4) + "}", 16383, 3},
  };
  for (const Case& c : cases) {
    Imported got = Import("{\\rtf1 a" + c.rtf + "b}");
    ASSERT_EQ(got.result, kRtfImportOk);
    KnotInfo picture = KnotAfter(got, kKnotPicture);
    ASSERT_TRUE(picture.found());
    EXPECT_EQ(got.text(), QStringLiteral("ab"));
    EXPECT_EQ(uint16_t(picture.entry.value >> 32), c.scale);
    EXPECT_EQ(uint32_t(picture.entry.value), c.vertical);
    ASSERT_LT(picture.entry.word, got.doc->pictures.size());
    EXPECT_TRUE(got.doc->pictures[picture.entry.word].savedName.endsWith(QStringLiteral(".png")));
  }
  // A picture in a format nothing here decodes, or without a format, is no picture.
  EXPECT_FALSE(KnotAfter(Import("{\\rtf1{\\pict\\pngblip 0011}}"), kKnotPicture).found());
  EXPECT_FALSE(KnotAfter(Import("{\\rtf1{\\pict " + PngHex(4) + "}}"), kKnotPicture).found());
}

TEST(RtfReader, RtfdAttachment) {
  QTemporaryDir folder;
  QByteArray png;
  PngHex(40, &png);
  QFile file(folder.filePath(QStringLiteral("pic.png")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(png);
  file.close();
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  const QString rtf = QStringLiteral("{\\rtf1 a{{\\NeXTGraphic pic.png \\width400 \\height400}\u00ac}b}");
  ASSERT_EQ(ImportRtf(doc.get(), rtf, kRtfModeNormal, nullptr, folder.path()), kRtfImportOk);
  Imported got{std::move(doc), kRtfImportOk, {}};
  KnotInfo picture = KnotAfter(got, kKnotPicture);
  ASSERT_TRUE(picture.found());
  EXPECT_EQ(uint16_t(picture.entry.value >> 32), 500);  // shown at 20 of its 40 points
  EXPECT_EQ(got.text(), QStringLiteral("ab"));
}

// Pictures a file names by path, and attachments of a package, are read only from regular files,
// and an attachment only from inside its package; anything else is a missing picture, at once.
TEST(RtfReader, PicturesByNameReadOnlyRegularFilesInsideThePackage) {
  QTemporaryDir outer;
  QByteArray png;
  PngHex(8, &png);
  for (const char* name : {"outside.png", "package/inside.png"}) {
    QDir().mkpath(outer.filePath(QStringLiteral("package")));
    QFile file(outer.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(png);
  }
  const QString fifo = outer.filePath(QStringLiteral("pipe.png"));
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString package = outer.filePath(QStringLiteral("package"));
  const struct {
    QString rtf;
    bool picture;
  } cases[] = {
      {QStringLiteral("{\\rtf1 a{\\pict\\glmtrefpic /dev/zero}b}"), false},
      {QStringLiteral("{\\rtf1 a{\\pict\\glmtrefpic %1}b}").arg(fifo), false},
      {QStringLiteral("{\\rtf1 a{\\pict\\glmtrefpic %1}b}").arg(package), false},
      {QStringLiteral("{\\rtf1 a{\\pict\\glmtrefpic %1}b}").arg(outer.filePath(QStringLiteral("outside.png"))),
       true},
      {QStringLiteral("{\\rtf1 a{{\\NeXTGraphic inside.png \\width160 \\height160}\u00ac}b}"), true},
      {QStringLiteral("{\\rtf1 a{{\\NeXTGraphic ../outside.png \\width160 \\height160}\u00ac}b}"), false},
      {QStringLiteral("{\\rtf1 a{{\\NeXTGraphic %1 \\width160}\u00ac}b}").arg(outer.filePath(QStringLiteral("outside.png"))),
       false},
      {QStringLiteral("{\\rtf1 a{{\\NeXTGraphic /dev/zero \\width160}\u00ac}b}"), false},
      {QStringLiteral("{\\rtf1 a{{\\NeXTGraphic .. \\width160}\u00ac}b}"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf.toStdString());
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    ASSERT_EQ(ImportRtf(doc.get(), c.rtf, kRtfModeNormal, nullptr, package), kRtfImportOk);
    Imported got{std::move(doc), kRtfImportOk, {}};
    EXPECT_EQ(KnotAfter(got, kKnotPicture).found(), c.picture);
    EXPECT_EQ(got.text(), QStringLiteral("ab"));
  }
  // Not timed: a read that hung would meet the suite's own time limit, however loaded the machine.
}

TEST(RtfReader, StyleSheet) {
  Imported got = Import(
      "{\\rtf1{\\fonttbl{\\f0 Courier;}}{\\stylesheet{\\s0\\fs20 Normal;}{\\s1\\b\\sbasedon0\\snext0 Heading,h1;}"
      "{\\*\\cs2\\ul page number;}{\\cs3 header;}}\\s1 a{\\cs2 b}{\\cs3 c}\\par}");
  ASSERT_EQ(got.result, kRtfImportOk) << got.message.toStdString();
  GlimmetDoc* doc = got.doc.get();
  const uint16_t heading = got.paraAt(0).get<uint16_t>(ParaField::style);
  ASSERT_LT(heading, doc->styles.size());
  EXPECT_EQ(doc->styles[heading].name, QStringLiteral("Heading"));
  EXPECT_EQ(doc->styles[got.charsAt(1).get<uint16_t>(CharField::style)].id, 5u);
  EXPECT_EQ(doc->styles[got.charsAt(2).get<uint16_t>(CharField::style)].name, QStringLiteral("renamed_3"));
  const PropRecord* normalChars = PropertiesAtIndex(doc, doc->styles[0].second);
  EXPECT_EQ(normalChars->get<int16_t>(CharField::size), 40);
  // A style number the sheet does not hold is Normal.
  EXPECT_EQ(Import("{\\rtf1\\s7 a}").result, kRtfImportOk);
  EXPECT_EQ(Import("{\\rtf1\\s7 a}").paraAt(0).get<uint16_t>(ParaField::style), 0);
  // A long chain of styles, each based on the one before, is made without a deep recursion.
  QByteArray chain = "{\\rtf1{\\stylesheet";
  for (int i = 1; i <= 3000; ++i)
    chain += "{\\s" + QByteArray::number(i) + "\\sbasedon" + QByteArray::number(i - 1) + "\\snext" +
             QByteArray::number(i + 1) + " s" + QByteArray::number(i) + ";}";
  EXPECT_EQ(Import(chain + "}\\s3000 a}").result, kRtfImportOk);
  // Without a sheet, the first text gives Normal its font and size.
  Imported plain = Import("{\\rtf1{\\fonttbl{\\f0 Courier;}}\\fs20 a}");
  EXPECT_EQ(PropertiesAtIndex(plain.doc.get(), plain.doc->styles[0].second)->get<int16_t>(CharField::size), 40);
}

TEST(RtfReader, KnotsChaptersAndBorders) {
  Imported got = Import(
      "{\\rtf1\\facingp\\glmtbackopacity50\\cols200\\colsx720 \\pard\\box\\brdrdb\\brdrw30\\brdrcf0 a\\glmtcheck1 "
      "b\\par\\glmtdiv3\\par c}");
  ASSERT_EQ(got.result, kRtfImportOk);
  KnotInfo check = KnotAfter(got, kKnotCheckbox), divider = KnotAfter(got, kKnotDivider);
  ASSERT_TRUE(check.found());
  ASSERT_TRUE(divider.found());
  EXPECT_EQ(check.entry.word, 1u);
  EXPECT_EQ(divider.entry.word, 2u);
  EXPECT_EQ(got.text().count(u'\n'), 2);  // the divider keeps the paragraph mark after it
  const PropRecord a = got.paraAt(0);
  EXPECT_EQ(a.get<uint32_t>(ParaField::border + BorderField::kind), 7u);
  EXPECT_EQ(a.get<uint32_t>(ParaField::border + BorderField::line), 1u);
  EXPECT_EQ(a.get<int64_t>(ParaField::border + BorderField::width), 19050);
  PropRecord chapter;
  FetchChapterProps(got.doc.get(), BodyStart(got.doc.get()), nullptr, &chapter);
  EXPECT_EQ(chapter.body[22], 10);  // columns clamped
  EXPECT_EQ(chapter.get<int64_t>(ChapterField::between), 457200);
  EXPECT_EQ(got.doc->docProps.body[DocField::mirrorH], 1);
  EXPECT_EQ(got.doc->docProps.get<int32_t>(DocField::opacity), 50);
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

namespace {

uint16_t FontOfFirstChar(const QString& rtf) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  EXPECT_EQ(ImportRtf(doc.get(), rtf, kRtfModeNormal), kRtfImportOk) << rtf.toStdString();
  PropRecord chars;
  FetchCharProps(doc.get(), BodyStart(doc.get()), nullptr, &chars);
  return chars.get<uint16_t>(CharField::font);
}

// Text that names no font is in the default font the header gives; an associated font stands in
// for a font that had to be substituted.
TEST(RtfReader, DefaultAndAssociatedFonts) {
  // Two installed faces the engine tells apart.
  QStringList families;
  for (QString family : QFontDatabase::families()) {
    family = family.section(QStringLiteral(" ["), 0, 0);  // without the foundry
    if (!family.contains(u';') && !families.contains(family)) families << family;
  }
  const auto fontTable = [](const QString& first, const QString& second) {
    return QStringLiteral("{\\fonttbl{\\f0\\fnil %1;}{\\f1\\fnil %2;}{\\f2\\fnil No Such Face Anywhere;}}").arg(first, second);
  };
  QString table;
  uint16_t zero = 0, one = 0;
  for (qsizetype i = 1; i < families.size() && zero == one; ++i) {
    table = fontTable(families[0], families[i]);
    zero = FontOfFirstChar(QStringLiteral("{\\rtf1") + table + QStringLiteral("\\f0 x}"));
    one = FontOfFirstChar(QStringLiteral("{\\rtf1") + table + QStringLiteral("\\f1 x}"));
  }
  if (zero == one) GTEST_SKIP() << "fewer than two distinct font faces are installed";
  const struct {
    QString body;
    uint16_t font;
  } cases[] = {
      {QStringLiteral("\\deff1") + table + QStringLiteral(" x"), one},
      {QStringLiteral("\\deff1") + table + QStringLiteral("{\\colortbl;\\red0\\green0\\blue0;} x"), one},
      {QStringLiteral("\\deff1") + table + QStringLiteral("\\f0 x"), zero},
      {QStringLiteral("\\deff1") + table + QStringLiteral("{\\f0 x}"), zero},
      {QStringLiteral("\\deff0") + table + QStringLiteral("\\f1\\plain x"), zero},
      {table + QStringLiteral("\\af1\\f2 x"), one},
      {table + QStringLiteral("\\af1\\plain\\f1 x"), one},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body.toStdString());
    EXPECT_EQ(FontOfFirstChar(QStringLiteral("{\\rtf1") + c.body + u'}'), c.font);
  }
}

}  // namespace

namespace {

// RTF from the desktop text system writes its default tab stops into every paragraph: only a
// paragraph that uses a tab keeps them; other writers' tab stops always stay.
TEST(RtfReader, DesktopTabStopsStayOnlyWhereATabIsUsed) {
  const struct {
    const char* rtf;
    uint16_t first, second;
  } cases[] = {
      {"{\\rtf1\\ansi\\cocoartf2 \\pard\\tx720\\tx1440 a\\par\\pard\\tx720 b\\tab c\\par}", 0, 1},
      {"{\\rtf1\\ansi \\pard\\tx720\\tx1440 a\\par\\pard\\tx720 b\\tab c\\par}", 2, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf);
    Imported got = Import(c.rtf);
    ASSERT_EQ(got.result, kRtfImportOk);
    EXPECT_EQ(got.paraAt(0).get<uint16_t>(ParaField::tabCount), c.first);
    EXPECT_EQ(got.paraAt(2).get<uint16_t>(ParaField::tabCount), c.second);
  }
}

}  // namespace

namespace {

// Another writer's last paragraph: a mark after text takes the text's formatting, an empty last
// paragraph starts plain.
TEST(RtfReader, TheLastParagraphOfOtherWritersEndsAsItsText) {
  Imported text = Import("{\\rtf1 \\fs40 a}");
  ASSERT_EQ(text.result, kRtfImportOk);
  EXPECT_EQ(text.text(), QStringLiteral("a"));
  EXPECT_EQ(text.charsAt(1).get<int16_t>(CharField::size), 80);
  Imported empty = Import("{\\rtf1 a\\par\\qc\\par}");
  ASSERT_EQ(empty.result, kRtfImportOk);
  EXPECT_EQ(empty.paraAt(2).get<uint32_t>(ParaField::alignment), 0u);
}

}  // namespace
