#include "glimmet/storage/gmRtfWriter.h"

#include "StorageTestSupport.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/Kolor.h"
#include "glimmet/storage/gmAtoms.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmLists.h"
#include "glimmet/storage/gmPane.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmRtfKeywords.h"
#include "glimmet/storage/gmRtfReader.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

DocRange Body(GlimmetDoc* doc) { return {doc, BodyStart(doc), uint32_t(doc->userLength)}; }

GlimmetDocPtr Read(const QString& rtf) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  EXPECT_EQ(ImportRtf(doc.get(), rtf, kRtfModeNormal), kRtfImportOk) << rtf.toStdString();
  return doc;
}

TEST(RtfWriter, TwipsAreRounded) {
  struct Case {
    int64_t emu, twips;
  } cases[] = {{360000, 567}, {635, 1}, {317, 0}, {318, 1}, {-360000, -567}, {0, 0}};
  for (const Case& c : cases) EXPECT_EQ(EmuToTwips(c.emu), c.twips) << c.emu;
}

TEST(RtfWriter, HeaderAndText) {
  GlimmetDocPtr doc = DocWithBody(QString::fromUtf8("\u20ac{a}\\ \uffff"));
  const QString rtf = ExportRtf(Body(doc.get()));
  EXPECT_TRUE(rtf.startsWith(QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\uc0{\\*\\generator Orvandel Glimmet 2.2.3}")))
      << rtf.toStdString();
  EXPECT_TRUE(rtf.contains(QStringLiteral("\\u8364")));
  EXPECT_TRUE(rtf.contains(QStringLiteral("\\{a\\}\\\\")));
  EXPECT_TRUE(rtf.contains(QStringLiteral("\\u-1")));  // signed 16-bit
  EXPECT_TRUE(rtf.contains(QStringLiteral("{\\colortbl;\\red255\\green255\\blue255;}")));
  GlimmetDocPtr back = Read(rtf);
  EXPECT_EQ(TextOfRange(Body(back.get())), TextOfRange(Body(doc.get())));
}

TEST(RtfWriter, PageBreakMarkSurvives) {
  GlimmetDocPtr doc = DocWithBody(QString::fromUtf8("a\x0b" "b\x0c" "c"));
  GlimmetDocPtr back = Read(ExportRtf(Body(doc.get())));
  EXPECT_EQ(TextOfRange(Body(back.get())), TextOfRange(Body(doc.get())));
}

TEST(RtfWriter, LinkUrlIsEscaped) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  Pane* pane = CurrentPane(doc.get());
  pane->selFirst = pane->selLimit = int32_t(kBody + 1);
  const QString display = QStringLiteral("site");
  ASSERT_TRUE(InsertLink(doc.get(), QStringLiteral("http://x.org/{a}\\b"), &display));
  const QString rtf = ExportRtf(Body(doc.get()));
  EXPECT_TRUE(rtf.contains(QStringLiteral("HYPERLINK \"http://x.org/\\{a\\}\\\\b\""))) << rtf.toStdString();
  GlimmetDocPtr back = Read(rtf);
  EXPECT_EQ(ExtractPlainText(Body(back.get()), false), QStringLiteral("asiteb\n"));
  KnotInfo link;
  ASSERT_TRUE(FetchKnot(back.get(), BodyStart(back.get()) + 1, &link, kKnotLink));
  EXPECT_EQ(TextOfRange({back.get(), link.kinkCps[1] + 1, link.kinkCps[2]}), QStringLiteral("http://x.org/{a}\\b"));
}

// Random documents written and read back keep their text and the formatting the writer covers.
TEST(RtfWriter, RandomDocumentsRoundTrip) {
  QRandomGenerator random(29);
  const Kolor palette[] = {g_blackKolor, MakeKolor(255, 0, 0), MakeKolor(0, 128, 255), MakeKolor(10, 20, 30, 50)};
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    PropRecord base;
    FetchCharProps(doc.get(), BodyStart(doc.get()), nullptr, &base);
    DocRange at{doc.get(), BodyStart(doc.get()), BodyStart(doc.get())};
    const int runs = 1 + random.bounded(12);
    for (int r = 0; r < runs; ++r) {
      PropRecord chars = base;
      chars.index = kGMNone;
      chars.body[CharField::bold] = uint8_t(random.bounded(2));
      chars.body[CharField::italic] = uint8_t(random.bounded(2));
      chars.body[CharField::strike] = uint8_t(random.bounded(2));
      chars.set<uint32_t>(CharField::underline, random.bounded(7));
      chars.set<uint32_t>(CharField::caps, random.bounded(5));
      chars.set<int16_t>(CharField::size, int16_t(2 * random.bounded(8, 200)));
      chars.set<uint32_t>(CharField::color, palette[random.bounded(4)]);
      chars.set<uint32_t>(CharField::backColor, random.bounded(2) ? kNoKolor : palette[random.bounded(4)]);
      chars.set<int64_t>(CharField::expand, 635 * int64_t(random.bounded(-40, 40)));
      chars.set<int64_t>(CharField::subscript, 6350 * int64_t(random.bounded(-10, 10)));
      QString text;
      const int length = 1 + random.bounded(10);
      for (int i = 0; i < length; ++i) {
        const int pick = random.bounded(10);
        text += pick == 0 ? QChar(u'\n') : pick == 1 ? QChar(char16_t(0x80 + random.bounded(0xFF00))) : QChar(char16_t(u'a' + random.bounded(26)));
      }
      ASSERT_TRUE(InsertNewText(&at, reinterpret_cast<const char16_t*>(text.utf16()), uint32_t(text.size()), chars));
    }
    // Paragraph formatting on every paragraph.
    for (uint32_t cp = BodyStart(doc.get()); cp < uint32_t(doc->userLength); ++cp) {
      if (cp != BodyStart(doc.get()) && !IsParaMarkChar(doc->charAt(cp - 1))) continue;
      PropRecord para;
      SetBaseProperties(kPropPara, &para);
      para.set<uint32_t>(ParaField::alignment, random.bounded(4));
      para.set<int64_t>(ParaField::leftIndent, 635 * int64_t(random.bounded(0, 2000)));
      para.set<int64_t>(ParaField::firstIndent, 635 * int64_t(random.bounded(0, 500)));
      para.set<int64_t>(ParaField::spaceAfter, 635 * int64_t(random.bounded(0, 500)));
      const uint16_t tabs = uint16_t(random.bounded(4));
      for (uint16_t t = 0; t < tabs; ++t)
        para.set<uint32_t>(ParaField::tabs + 4 * t, MakeTab(635 * 1000 * (t + 1), random.bounded(5), random.bounded(6)));
      para.set<uint16_t>(ParaField::tabCount, tabs);
      ASSERT_TRUE(ApplyPropsToRange({doc.get(), cp, cp}, para));
    }
    const QString rtf = ExportRtf(Body(doc.get()));
    GlimmetDocPtr back = Read(rtf);
    ASSERT_EQ(TextOfRange(Body(back.get())), TextOfRange(Body(doc.get()))) << rtf.toStdString();
    const uint32_t offset = BodyStart(back.get()) - BodyStart(doc.get());
    for (uint32_t cp = BodyStart(doc.get()); cp < uint32_t(doc->userLength); ++cp) {
      SCOPED_TRACE(cp);
      if (IsParaMarkChar(doc->charAt(cp))) continue;  // marks are written without their own formatting
      PropRecord want, got;
      FetchCharProps(doc.get(), cp, nullptr, &want);
      FetchCharProps(back.get(), cp + offset, nullptr, &got);
      for (uint32_t field : {CharField::bold, CharField::italic, CharField::strike})
        EXPECT_EQ(got.body[field], want.body[field]) << field;
      for (uint32_t field : {CharField::underline, CharField::caps, CharField::color})
        EXPECT_EQ(got.get<uint32_t>(field), want.get<uint32_t>(field)) << field;
      EXPECT_EQ(got.get<uint32_t>(CharField::backColor), want.get<uint32_t>(CharField::backColor));
      EXPECT_EQ(got.get<int16_t>(CharField::size), want.get<int16_t>(CharField::size));
      EXPECT_EQ(got.get<int64_t>(CharField::expand), want.get<int64_t>(CharField::expand));
      EXPECT_EQ(got.get<int64_t>(CharField::subscript), want.get<int64_t>(CharField::subscript));
      PropRecord wantPara, gotPara;
      FetchParaProps(doc.get(), nullptr, cp, nullptr, &wantPara);
      FetchParaProps(back.get(), nullptr, cp + offset, nullptr, &gotPara);
      for (uint32_t field : {ParaField::alignment, uint32_t(ParaField::tabCount)})
        EXPECT_EQ(gotPara.get<uint16_t>(field), wantPara.get<uint16_t>(field)) << field;
      for (uint32_t field : {ParaField::leftIndent, ParaField::firstIndent, ParaField::spaceAfter})
        EXPECT_EQ(gotPara.get<int64_t>(field), wantPara.get<int64_t>(field)) << field;
      for (uint16_t t = 0; t < wantPara.get<uint16_t>(ParaField::tabCount); ++t)
        EXPECT_EQ(gotPara.get<uint32_t>(ParaField::tabs + 4 * t), wantPara.get<uint32_t>(ParaField::tabs + 4 * t));
    }
  }
}

}  // namespace

namespace {

// LibreOffice reads what the writer writes to the same text.
TEST(RtfWriter, LibreOfficeReadsTheOutput) {
  const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
  if (soffice.isEmpty()) GTEST_SKIP() << "soffice is not installed (Debian package libreoffice-writer-nogui)";
  // LibreOffice without its word processor (the spreadsheet alone) reads no RTF.
  if (!QFileInfo::exists(QFileInfo(QFileInfo(soffice).canonicalFilePath()).absolutePath() + QStringLiteral("/libswlo.so")))
    GTEST_SKIP() << "LibreOffice's word processor is not installed (Debian package libreoffice-writer-nogui)";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  GlimmetDocPtr doc = DocWithBody(QString::fromUtf8("Caf\u00e9 {braces} \\ and \u20ac\nsecond\tline \u4e2d\nlast"));
  // A table of two rows and a divider besides the text.
  DocRange table;
  ASSERT_TRUE(NewTableCore(doc.get(), uint32_t(doc->userLength) - 4, 2, 2, &table));
  for (uint32_t cp = table.limit - 3; cp > table.first + 1; --cp)
    if (doc->charAt(cp) == 0x0A) InsertText(doc.get(), cp, QStringLiteral("cell %1").arg(cp));
  DocRange at{doc.get(), uint32_t(doc->userLength) - 4, uint32_t(doc->userLength) - 4};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotDivider, 0, 0, nullptr, 0, nullptr, false));
  const QString rtf = ExportRtf(Body(doc.get()));
  ASSERT_TRUE(rtf.contains(QStringLiteral("cell ")) && rtf.contains(QStringLiteral("\\row")) &&
              rtf.contains(QStringLiteral("\\glmtdiv")));
  QFile file(dir.filePath(QStringLiteral("out.rtf")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(rtf.toLatin1());
  file.close();
  QProcess process;
  process.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                          QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                          QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral("--outdir"), dir.path(),
                          file.fileName()});
  ASSERT_TRUE(process.waitForFinished(120000));
  QFile text(dir.filePath(QStringLiteral("out.txt")));
  ASSERT_TRUE(text.open(QIODevice::ReadOnly));
  QString got = QString::fromUtf8(text.readAll());
  got.remove(QChar(0xFEFF));
  // The same text as this engine's reader finds.
  // The same text as this engine's reader finds, its table and divider marks read as spaces.
  GlimmetDocPtr back = Read(rtf);
  QString ours = TextOfRange(Body(back.get()));
  for (QChar& c : ours)
    if (c.unicode() < 0x20) c = u' ';
  EXPECT_EQ(got.simplified(), ours.simplified()) << rtf.toStdString();
}

}  // namespace

namespace {

// The body of the RTF: what follows the document properties.
QString BodyOf(const QString& rtf) { return rtf.mid(rtf.indexOf(QStringLiteral("\\pard"))); }

// Each property is written by the words of its atom.
TEST(RtfWriter, PropertiesAreWrittenByTheirAtoms) {
  struct Case {
    void (*change)(PropRecord* para, PropRecord* chars);
    const char* words;
  } cases[] = {
      {[](PropRecord* p, PropRecord*) { p->set<uint32_t>(ParaField::border + BorderField::kind, 5); }, "\\brdrb\\brdrs\\brdrhair"},
      {[](PropRecord* p, PropRecord*) { p->set<uint32_t>(ParaField::border + BorderField::kind, 6); }, "\\brdrb\\glmtbdrtb"},
      {[](PropRecord* p, PropRecord*) { p->body[ParaField::keep] = 1; p->body[ParaField::topOfPage] = 1; }, "\\pagebb\\keep"},
      {[](PropRecord* p, PropRecord*) { p->set<uint32_t>(ParaField::alignment, 1); }, "\\qc"},
      {[](PropRecord* p, PropRecord*) { p->body[ParaField::firstLineFormat] = CharAtom::bold; }, "{\\*\\glmtfirstline\\b}"},
      {[](PropRecord* p, PropRecord*) { p->set<int64_t>(ParaField::multiple, 2 * 12700); }, "\\sl480\\slmult1"},
      {[](PropRecord* p, PropRecord*) { p->set<int64_t>(ParaField::rightIndent, 360000); }, "\\ri567"},
      {[](PropRecord*, PropRecord* c) { c->set<uint32_t>(CharField::caps, 3); }, "\\scaps"},
      {[](PropRecord*, PropRecord* c) { c->set<uint32_t>(CharField::underline, 3); }, "\\uldb"},
      {[](PropRecord*, PropRecord* c) { c->set<int64_t>(CharField::expand, 12700); }, "\\expnd4\\expndtw20"},
      {[](PropRecord*, PropRecord* c) { c->set<int64_t>(CharField::subscript, 38100); }, "\\dn6"},
      {[](PropRecord*, PropRecord* c) { c->set<int16_t>(CharField::size, 96); }, "\\fs48"},
      {[](PropRecord*, PropRecord* c) { c->set<int16_t>(CharField::relativeSize, -1); c->set<int64_t>(CharField::subscript, -38100); }, "\\super\\glmtrelsize-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words);
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    PropRecord para, chars;
    FetchParaProps(doc.get(), nullptr, kBody, nullptr, &para);
    FetchCharProps(doc.get(), kBody, nullptr, &chars);
    chars.index = para.index = kGMNone;
    c.change(&para, &chars);
    DocRange at{doc.get(), kBody, kBody};
    ASSERT_TRUE(InsertNewText(&at, u"x\n", 2, chars));
    ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody, kBody}, para));
    const QString body = BodyOf(ExportRtf(Body(doc.get())));
    EXPECT_TRUE(body.contains(QLatin1StringView(c.words))) << body.toStdString();
  }
}

TEST(RtfWriter, StyleSheetNamesTheStyles) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  PropRecord para, chars;
  SetDefaultProperties(doc.get(), kPropPara, &para);
  SetDefaultProperties(doc.get(), kPropChar, &chars);
  para.set<uint32_t>(ParaField::alignment, 3);
  chars.body[CharField::italic] = 1;
  ASSERT_NE(CreateStyle(doc.get(), QStringLiteral("Quote {1}"), kUserStyleId, 0, kStyleNone, para, &chars), kGMNone);
  const QString rtf = ExportRtf(Body(doc.get()));
  EXPECT_TRUE(rtf.contains(QStringLiteral("{\\stylesheet\n{\\s0\\sbasedon222\\snext32767\\f"))) << rtf.toStdString();
  EXPECT_TRUE(rtf.contains(QStringLiteral("Normal;}\n{\\s1\\sbasedon0\\snext32767\\qr\\i"))) << rtf.toStdString();
  EXPECT_TRUE(rtf.contains(QStringLiteral(" Quote \\{1\\};}\n}\n")));
}

// A table is written row by row and reads back as the same table.
TEST(RtfWriter, TablesAreWrittenByRowsAndCells) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("before\nafter"));
  DocRange table;
  ASSERT_TRUE(NewTableCore(doc.get(), kBody + 7, 2, 2, &table));
  PropRecord props = *PropertiesAtIndex(doc.get(), doc->knots.at(doc->knots.indexAtCp(table.first)).propIndex);
  props.set<uint32_t>(TableProp::alignment, 3);
  props.index = kGMNone;
  doc->knots.at(doc->knots.indexAtCp(table.first)).propIndex = IndexForProperties(doc.get(), &props);
  // Text into each cell, last first so that the kinks found stay in place.
  KnotInfo row;
  std::vector<uint32_t> cells;
  for (uint32_t cp = table.first + 1; cp + 1 < table.limit; cp = row.limit) {
    ASSERT_TRUE(FetchKnot(doc.get(), cp, &row, kKnotRow));
    for (uint32_t k = 1; k < row.kinkCount; ++k) cells.push_back(row.kinkCps[k - 1] + 1);
  }
  ASSERT_EQ(cells.size(), 4u);
  doc->knots.at(doc->knots.indexAtCp(cells[1] - 1)).word = MakeKolor(255, 0, 0);
  for (size_t i = cells.size(); i-- > 0;) InsertText(doc.get(), cells[i], QStringLiteral("c%1").arg(i));
  const QString rtf = ExportRtf(Body(doc.get()));
  const QString body = BodyOf(rtf);
  EXPECT_EQ(body.count(QStringLiteral("\\trowd\\trqr\\trleft0")), 2) << body.toStdString();
  EXPECT_EQ(body.count(QStringLiteral("\\cellx")), 4);
  EXPECT_EQ(body.count(QStringLiteral("\\clcfpat")), 1);
  EXPECT_EQ(body.count(QStringLiteral("\\cell\n")), 4);
  EXPECT_EQ(body.count(QStringLiteral("\\pard\\intbl\\row\n")), 2);
  EXPECT_TRUE(body.contains(QStringLiteral("{\\*\\glmttable\\trhdr0\\trqr\\cols2")));
  // Read back, the table is a table again, with the same cells.
  GlimmetDocPtr back = Read(rtf);
  EXPECT_EQ(TextOfRange(Body(back.get())), TextOfRange(Body(doc.get())));
}

// The table group names the first 25 widths; the others come back from the cell boundaries,
// which an auto-fit table writes five times apart, as it writes its widths. Narrow shares of a
// wide auto-fit table are no narrower than a fixed column's least width once divided.
TEST(RtfWriter, WideTablesKeepTheirColumnWidths) {
  for (const auto& [autoFit, kColumns] : {std::pair<bool, uint32_t>{true, 30}, {false, 30}, {true, 56}, {true, 100}}) {
    SCOPED_TRACE(std::string(autoFit ? "auto-fit, " : "fixed, ") + std::to_string(kColumns) + " columns");
    const int64_t width = autoFit ? kFullShare / kColumns : 400000;
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("before\nafter"));
    DocRange table;
    ASSERT_TRUE(NewTableCore(doc.get(), kBody + 7, 1, kColumns, &table));
    KnotEntry& entry = doc->knots.at(doc->knots.indexAtCp(table.first));
    PropRecord props = *PropertiesAtIndex(doc.get(), entry.propIndex);
    props.body[TableProp::autoFit] = autoFit;
    for (uint32_t c = 0; c < kColumns; ++c) props.set<int64_t>(TableProp::widths + 8 * c, width);
    props.index = kGMNone;
    entry.propIndex = IndexForProperties(doc.get(), &props);
    GlimmetDocPtr back = Read(ExportRtf(Body(doc.get())));
    KnotInfo read;
    ASSERT_TRUE(FetchKnot(back.get(), kBody + 7, &read, kKnotTable));
    const PropRecord* got = PropertiesAtIndex(back.get(), read.entry.propIndex);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->body[TableProp::autoFit], autoFit ? 1 : 0);
    // Cell boundaries are whole twips: a width may move by part of one.
    for (uint32_t c = 0; c < kColumns; ++c)
      EXPECT_NEAR(double(got->get<int64_t>(TableProp::widths + 8 * c)), double(width), 635) << "column " << c;
  }
}

// Knots without an RTF form of their own keep their text; dividers and checkboxes have words.
TEST(RtfWriter, KnotsKeepTheirText) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo\nthree\nfour"));
  DocRange at{doc.get(), kBody + 14, kBody + 14};
  const KinkData divider{2, 0};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotDivider, 0, 0, nullptr, 1, &divider, false));
  at = {doc.get(), kBody + 1, kBody + 1};
  const KinkData check{1, 0};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotCheckbox, 0, 0, nullptr, 1, &check, false));
  at = {doc.get(), kBody + 5, kBody + 8};  // "two" becomes the text of a bookmark
  ASSERT_TRUE(InsertKnotCore(&at, kKnotBookmark, 0, 0, nullptr, 0, nullptr, false));
  InsertText(doc.get(), at.first + 1, QStringLiteral("guid"));
  InsertText(doc.get(), at.first + 6, QStringLiteral("two"));
  const uint32_t three = kBody + uint32_t(TextOfRange(Body(doc.get())).indexOf(QStringLiteral("three")));
  Pane* pane = CurrentPane(doc.get());
  pane->selFirst = int32_t(three);
  pane->selLimit = int32_t(three + 5);
  ASSERT_TRUE(InsertList(doc.get(), nullptr, true, false));
  const QString rtf = ExportRtf(Body(doc.get()));
  const QString body = BodyOf(rtf);
  EXPECT_TRUE(body.contains(QStringLiteral("o\\glmtcheck1 ne"))) << body.toStdString();
  EXPECT_TRUE(body.contains(QStringLiteral("\\glmtdiv3\\\n"))) << body.toStdString();
  EXPECT_FALSE(body.contains(QStringLiteral("guid")));
  GlimmetDocPtr back = Read(rtf);
  EXPECT_EQ(ExtractPlainText(Body(back.get()), false), QStringLiteral("one\ntwo\nthree\n\nfour\n"));
}

}  // namespace

namespace {

// Pictures go out as PNG in hex, or in an RTFD package as files the RTF names.
TEST(RtfWriter, PicturesAsHexOrPackageFiles) {
  // The colour space the kernel sets at launch, which the image savers check for.
  if (!g_genericColorSpace.isValid()) g_genericColorSpace = QColorSpace(QColorSpace::SRgb);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QImage bitmap(4, 3, QImage::Format_ARGB32);
  bitmap.fill(Qt::red);
  const QString png = dir.filePath(QStringLiteral("red.png"));
  ASSERT_TRUE(bitmap.save(png));
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  const QString paths[] = {png, QString()};
  for (const QString& path : paths) {
    GMPicture picture;
    picture.path = path;
    picture.image = std::shared_ptr<FLImage>(FLImage::withCGImage(bitmap, QSizeF(0, 0)));
    doc->pictures.push_back(picture);
  }
  // The second picture first, at half size, centred.
  for (uint32_t index : {1u, 0u}) {
    DocRange at{doc.get(), kBody + 1, kBody + 1};
    const KinkData data{index, index ? 2u | (uint64_t(500) << 32) : 3u};
    ASSERT_TRUE(InsertKnotCore(&at, kKnotPicture, 0, 0, nullptr, 1, &data, false));
  }
  const QString rtf = ExportRtf(Body(doc.get()));
  EXPECT_TRUE(rtf.contains(QStringLiteral("{\\pict\\pngblip\\picw4\\pich3\\picscalex100\\picscaley100\n89504e470d0a1a0a")))
      << rtf.toStdString();
  EXPECT_TRUE(rtf.contains(QStringLiteral("{\\pict\\pngblip\\picw4\\pich3\\glmtpicc\\picscalex50\\picscaley50\n")));
  for (const QString& line : rtf.split(u'\n')) EXPECT_LE(line.size(), 100);

  const QString package = dir.filePath(QStringLiteral("doc.rtfd"));
  ASSERT_TRUE(QDir().mkpath(package));
  const QString rtfd = ExportRtf(Body(doc.get()), package);
  EXPECT_TRUE(rtfd.contains(QStringLiteral("{{\\NeXTGraphic Picture1.png \\width80\\height60\\picscalex100")))
      << rtfd.toStdString();
  EXPECT_TRUE(rtfd.contains(QStringLiteral("{{\\NeXTGraphic Picture2.tiff \\width40\\height20\\glmtpicc")));
  EXPECT_EQ(rtfd.count(QStringLiteral("\\picscaley50}\u00ac}\n")), 1);
  EXPECT_TRUE(QFileInfo::exists(package + QStringLiteral("/Picture1.png")));
  EXPECT_TRUE(QFileInfo::exists(package + QStringLiteral("/Picture2.tiff")));
  // Either way the reader keeps the text around the pictures.
  for (const QString& written : {rtf, rtfd}) {
    GlimmetDocPtr back = Read(written);
    EXPECT_TRUE(TextOfRange(Body(back.get())).startsWith(u'a'));
  }
}

}  // namespace

namespace {

TEST(RtfWriter, FontFamilyWordsByClass) {
  const std::pair<FLFontFamilyClass, const char*> cases[] = {
      {FLFontFamilyClass::sansSerif, "fswiss"},         {FLFontFamilyClass::oldStyleSerifs, "froman"},
      {FLFontFamilyClass::transitionalSerifs, "froman"}, {FLFontFamilyClass::clarendonSerifs, "froman"},
      {FLFontFamilyClass::slabSerifs, "froman"},        {FLFontFamilyClass::freeformSerifs, "froman"},
      {FLFontFamilyClass::modernSerifs, "fmodern"},     {FLFontFamilyClass::ornamentals, "fdecor"},
      {FLFontFamilyClass::scripts, "fscript"},          {FLFontFamilyClass::symbolic, "ftech"},
      {FLFontFamilyClass::unknown, "fnil"},
  };
  for (const auto& [family, word] : cases) EXPECT_STREQ(RtfFontFamilyWord(family), word) << int(family);
  // Each used font names its own family class in the table, and its name reads back.
  const QString installed = AvailableFontFamilies().value(0);
  for (const QString& name : {QStringLiteral("No Such Face 29"), installed}) {
    if (name.isEmpty()) continue;
    SCOPED_TRACE(name.toStdString());
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    PropRecord chars;
    FetchCharProps(doc.get(), kBody, nullptr, &chars);
    chars.index = kGMNone;
    const uint16_t font = IndexOfFont(name);
    chars.set<uint16_t>(CharField::font, font);
    DocRange at{doc.get(), kBody, kBody};
    ASSERT_TRUE(InsertNewText(&at, u"x", 1, chars));
    const QString rtf = ExportRtf(Body(doc.get()));
    const QString entry = QStringLiteral("{\\f%1\\%2 %3;}")
                              .arg(font)
                              .arg(QLatin1StringView(RtfFontFamilyWord(FontFamilyClass(name))), name);
    EXPECT_TRUE(rtf.contains(entry)) << rtf.toStdString();
    if (name != installed) { EXPECT_TRUE(entry.contains(QStringLiteral("\\fnil "))); }
    GlimmetDocPtr back = Read(rtf);
    if (name != installed) continue;  // an unknown font is replaced when read
    FetchCharProps(back.get(), kBody, nullptr, &chars);
    const auto face = FontFaceForName(FontNameAtIndex(chars.get<uint16_t>(CharField::font)));
    const auto named = FontFaceForName(name);
    ASSERT_TRUE(face.has_value());
    ASSERT_TRUE(named.has_value());
    EXPECT_EQ(face->postScriptName, named->postScriptName);
  }
}

// A relative size is written with the absolute size it makes from the paragraph style's size,
// and both read back.
TEST(RtfWriter, RelativeSizeIsAlsoWrittenAbsolute) {
  struct Case {
    int16_t styleSize, relative;
    int64_t subscript;
    const char* words;
    int16_t size;  // quarter points read back
  } cases[] = {
      {48, -1, 0, "\\glmtrelsize-1\\f0\\fs20", 40},  // 12 pt down to 10
      {48, 1, 0, "\\glmtrelsize1\\f0\\fs28", 56},
      {120, -1, -38100, "\\super\\glmtrelsize-1\\f0\\fs48", 96},  // 30 pt: the style's size, not the run's
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words);
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    PropRecord para, chars;
    SetDefaultProperties(doc.get(), kPropPara, &para);
    SetDefaultProperties(doc.get(), kPropChar, &chars);
    chars.set<int16_t>(CharField::size, c.styleSize);
    const uint32_t style = CreateStyle(doc.get(), QStringLiteral("Sized"), kUserStyleId, 0, kStyleNone, para, &chars);
    ASSERT_NE(style, kGMNone);
    ASSERT_TRUE(ApplyParaStyle({doc.get(), kBody, kBody + 1}, style));
    FetchCharProps(doc.get(), kBody, nullptr, &chars);
    chars.index = kGMNone;
    chars.set<int16_t>(CharField::size, 48);
    chars.set<int16_t>(CharField::relativeSize, c.relative);
    chars.set<int64_t>(CharField::subscript, c.subscript);
    DocRange at{doc.get(), kBody, kBody};
    ASSERT_TRUE(InsertNewText(&at, u"x", 1, chars));
    const QString rtf = ExportRtf(Body(doc.get()));
    EXPECT_TRUE(BodyOf(rtf).contains(QLatin1StringView(c.words))) << rtf.toStdString();
    GlimmetDocPtr back = Read(rtf);
    FetchCharProps(back.get(), kBody, nullptr, &chars);
    EXPECT_EQ(chars.get<int16_t>(CharField::relativeSize), c.relative);
    EXPECT_EQ(chars.get<int16_t>(CharField::size), c.size);
  }
}

}  // namespace

namespace {

// A negative top or bottom margin is read as the margin and its flag, and written back with its
// sign, so that it survives a round trip.
TEST(RtfWriter, NegativeMarginsKeepTheirSign) {
  const struct {
    const char* words;
    int64_t top, bottom;
    bool topFlag, bottomFlag;
  } cases[] = {
      {"\\margt-1440\\margb720", 914400, 457200, true, false},
      {"\\margt1440\\margb-720", 914400, 457200, false, true},
      {"\\margt-20\\margb-40", 12700, 25400, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    GlimmetDocPtr doc = Read(QStringLiteral("{\\rtf1%1 x\\par}").arg(QLatin1String(c.words)));
    for (int pass = 0; pass < 2; ++pass) {
      const PropRecord& d = doc->docProps;
      EXPECT_EQ(d.get<int64_t>(DocField::top), c.top);
      EXPECT_EQ(d.get<int64_t>(DocField::bottom), c.bottom);
      EXPECT_EQ(d.body[DocField::hPush] != 0, c.topFlag);
      EXPECT_EQ(d.body[DocField::fPush] != 0, c.bottomFlag);
      const QString written = ExportRtf(Body(doc.get()));
      EXPECT_TRUE(written.contains(QStringLiteral("\\margt%1").arg(c.topFlag ? -c.top / 635 : c.top / 635)));
      doc = Read(written);
    }
  }
}

}  // namespace

namespace {

// Reading RTF starts from plain document properties: what the document held before does not
// outlive the file's own words.
TEST(RtfReader, DocumentPropertiesStartPlain) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  doc->docProps.body[DocField::mirrorH] = 1;
  doc->docProps.set<int64_t>(DocField::gutter, 12700);
  doc->docProps.set<int32_t>(DocField::opacity, 40);
  ASSERT_EQ(ImportRtf(doc.get(), QStringLiteral("{\\rtf1\\margl720 x\\par}"), kRtfModeNormal), kRtfImportOk);
  EXPECT_EQ(doc->docProps.body[DocField::mirrorH], 0);
  EXPECT_EQ(doc->docProps.get<int64_t>(DocField::gutter), 0);
  EXPECT_EQ(doc->docProps.get<int32_t>(DocField::opacity), 100);
  EXPECT_EQ(doc->docProps.get<int64_t>(DocField::left), 457200);
  EXPECT_EQ(doc->docProps.get<int64_t>(DocField::top), 914400);
}

}  // namespace

namespace {

// The frame recorded for the paragraph whose first cp is the body start + offset; nullptr when none.
const PropRecord* FrameAt(GlimmetDoc* doc, uint32_t offset) {
  const uint32_t at = doc->frames.indexAtCp(BodyStart(doc) + offset);
  if (at == kGMNone) return nullptr;
  const PropRecord* frame = PropertiesAtIndex(doc, doc->frames.at(at));
  return frame && frame->kind == kPropFrame ? frame : nullptr;
}

// Frames are kept by paragraph and written back, so that reading, writing and reading again
// gives the same frames at the same paragraphs; paragraphs after "pard" have none.
TEST(RtfFrames, ReadWriteReadKeepsThem) {
  struct Expect {
    uint32_t offset;
    uint32_t wrap, hPos, vPos, hAnchor, vAnchor, page;
    int64_t left, top, width, height, xOff;
    bool tight;
  };
  const struct {
    const char* rtf;
    std::vector<Expect> frames;
    uint32_t count;
  } cases[] = {
      {"{\\rtf1\\pard\\absw2880\\absh1440\\posx720\\posy-360\\phpg\\pvpg A\\par\\pard B\\par}",
       {{0, 3, 3, 3, 1, 1, 0, 457200, -228600, 1828800, 914400, 0, false}}, 1},
      {"{\\rtf1\\pard x\\par\\pard\\posxc\\posyb\\wraptight\\glmtwrap2\\dfrmtxtx40\\glmtfpage3 yy\\par\\pard z}",
       {{2, 2, 1, 2, 0, 0, 3, 0, 0, 0, 0, 25400, true}}, 1},
      // Paragraphs after a frame without "pard" keep it; the last paragraph has no mark.
      {"{\\rtf1\\pard\\posxr ab\\par cd\\par\\pard\\posxo ef}",
       {{0, 3, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, false}, {3, 3, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
        {6, 3, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, false}}, 3},
      {"{\\rtf1\\pard\\posx1\\wrapdefault plain\\par}", {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf);
    GlimmetDocPtr doc = Read(QString::fromLatin1(c.rtf));
    for (int pass = 0; pass < 2; ++pass) {
      SCOPED_TRACE(pass);
      EXPECT_EQ(doc->frames.count(), c.count);
      for (const Expect& e : c.frames) {
        const PropRecord* f = FrameAt(doc.get(), e.offset);
        ASSERT_NE(f, nullptr) << e.offset;
        EXPECT_EQ(f->get<uint32_t>(FrameField::wrap), e.wrap);
        EXPECT_EQ(f->get<uint32_t>(FrameField::horzPosition), e.hPos);
        EXPECT_EQ(f->get<uint32_t>(FrameField::vertPosition), e.vPos);
        EXPECT_EQ(f->get<uint32_t>(FrameField::horzAnchor), e.hAnchor);
        EXPECT_EQ(f->get<uint32_t>(FrameField::vertAnchor), e.vAnchor);
        EXPECT_EQ(f->get<uint32_t>(FrameField::page), e.page);
        EXPECT_EQ(f->get<int64_t>(FrameField::left), e.left);
        EXPECT_EQ(f->get<int64_t>(FrameField::top), e.top);
        EXPECT_EQ(f->get<int64_t>(FrameField::width), e.width);
        EXPECT_EQ(f->get<int64_t>(FrameField::height), e.height);
        EXPECT_EQ(f->get<int64_t>(FrameField::horzOffset), e.xOff);
        EXPECT_EQ(f->body[FrameField::tight] != 0, e.tight);
      }
      const QString written = ExportRtf(Body(doc.get()));
      doc = Read(written);
      EXPECT_EQ(TextOfRange(Body(doc.get())).size(), TextOfRange(Body(Read(QString::fromLatin1(c.rtf)).get())).size());
    }
  }
}

// A frame stays with its paragraph when text is typed before it or at its start, and goes with it.
TEST(RtfFrames, FollowEdits) {
  GlimmetDocPtr doc = Read(QStringLiteral("{\\rtf1\\pard a\\par\\pard\\posxc b\\par\\pard c\\par}"));
  ASSERT_NE(FrameAt(doc.get(), 2), nullptr);
  const uint32_t body = BodyStart(doc.get());
  DocRange at{doc.get(), body, body};
  PropRecord chars;
  FetchCharProps(doc.get(), body, nullptr, &chars);
  ASSERT_TRUE(InsertNewText(&at, u"xy", 2, chars));
  EXPECT_EQ(FrameAt(doc.get(), 2), nullptr);
  ASSERT_NE(FrameAt(doc.get(), 4), nullptr);
  DocRange start{doc.get(), body + 4, body + 4};
  ASSERT_TRUE(InsertNewText(&start, u"q", 1, chars));
  EXPECT_NE(FrameAt(doc.get(), 4), nullptr);
  DocRange para{doc.get(), body + 4, body + 7};
  ASSERT_TRUE(ReplaceRangeCore(&para, nullptr, nullptr, 0, true));
  EXPECT_EQ(doc->frames.count(), 0u);
}

}  // namespace

namespace {

// The text of a slot of the first chapter knot, its own last mark included.
QString ChapterSlot(GlimmetDoc* doc, uint32_t slot) {
  KnotInfo chapter;
  if (!FetchKnot(doc, 0, &chapter, kKnotChapter) || slot + 1 >= chapter.kinkCount) return QStringLiteral("?");
  return TextOfRange({doc, chapter.kinkCps[slot] + 1, chapter.kinkCps[slot + 1]});
}

// Page headers and footers go to the first chapter's slots, as plain paragraphs, and are written
// back under the words that fill the same slots, so that a second reading finds them again.
TEST(RtfChapterTexts, HeadersAndFootersSurviveRoundTrips) {
  const struct {
    const char* rtf;
    const char* texts[7];  // 1 to 6; nullptr: the slot's empty paragraph
    const char* written;   // a word the writer must use
  } cases[] = {
      {"{\\rtf1{\\header H1\\par H2\\par}{\\footer F}body\\par}",
       {nullptr, "H1\nH2\n", "F\n", nullptr, nullptr, nullptr, nullptr}, "{\\headerr\n"},
      {"{\\rtf1\\facingp{\\headerl L}{\\headerr R}{\\footerl FL}{\\footerr FR} x\\par}",
       {nullptr, "R\n", "FR\n", "L\n", "FL\n", nullptr, nullptr}, "{\\headerl\n"},
      {"{\\rtf1\\titlepg{\\headerf first}{\\footerf ff}{\\header h} x\\par}",
       {nullptr, "h\n", nullptr, nullptr, nullptr, "first\n", "ff\n"}, "{\\footerf\n"},
      // Left and first-page texts without facing pages or a title page are kept all the same.
      {"{\\rtf1{\\headerl left}{\\footerf foot} x\\par}",
       {nullptr, nullptr, nullptr, "left\n", nullptr, nullptr, "foot\n"}, "{\\headerl\n"},
      // Formatting, fields and pictures inside: the text only; only the first group of a kind.
      {"{\\rtf1{\\header{\\b bold} \\u8364?\\tab {\\field{\\*\\fldinst PAGE}{\\fldrslt 7}}{\\pict\\pngblip 00}}"
       "{\\header second} x\\par}",
       {nullptr, "bold \u20ac\t7\n", nullptr, nullptr, nullptr, nullptr, nullptr}, "\\u8364"},
      {"{\\rtf1{\\header {\\\\}x\\{\\par}} body\\par}", {nullptr, "\\x{\n", nullptr, nullptr, nullptr, nullptr, nullptr},
       "\\\\x\\{"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf);
    GlimmetDocPtr doc = Read(QString::fromUtf8(c.rtf));
    const QString bodyText = TextOfRange(Body(doc.get()));
    for (int pass = 0; pass < 2; ++pass) {
      SCOPED_TRACE(pass);
      for (uint32_t slot = kChapterHeader; slot <= kChapterFirstFooter; ++slot)
        EXPECT_EQ(ChapterSlot(doc.get(), slot), c.texts[slot] ? QString::fromUtf8(c.texts[slot]) : QStringLiteral("\n"))
            << slot;
      EXPECT_EQ(TextOfRange(Body(doc.get())), bodyText);
      const QString written = ExportRtf(Body(doc.get()));
      EXPECT_TRUE(written.contains(QString::fromUtf8(c.written))) << written.toStdString();
      doc = Read(written);
    }
  }
}

// A header read into a document whose chapter already holds one replaces it.
TEST(RtfChapterTexts, ReplaceWhatTheSlotHeld) {
  GlimmetDocPtr doc = Read(QStringLiteral("{\\rtf1{\\header old\\par text} x\\par}"));
  ASSERT_EQ(ChapterSlot(doc.get(), kChapterHeader), QStringLiteral("old\ntext\n"));
  ASSERT_EQ(ImportRtf(doc.get(), QStringLiteral("{\\rtf1{\\header new} y\\par}"), kRtfModeNormal), kRtfImportOk);
  EXPECT_EQ(ChapterSlot(doc.get(), kChapterHeader), QStringLiteral("new\n"));
}

// The pasteboard's RTF and the clipboard document leave headers and footers out.
TEST(RtfChapterTexts, NotForThePasteboard) {
  GlimmetDocPtr doc = Read(QStringLiteral("{\\rtf1{\\header top} x\\par}"));
  ASSERT_EQ(ChapterSlot(doc.get(), kChapterHeader), QStringLiteral("top\n"));
  EXPECT_FALSE(ExportRtf(Body(doc.get()), kRtfForPasteboard).contains(QStringLiteral("header")));
  GlimmetDocPtr tolerant(NewGlimmetDoc(kDocTemporary));
  ASSERT_EQ(ImportRtf(tolerant.get(), QStringLiteral("{\\rtf1{\\header top} x\\par}"), kRtfModeTolerant), kRtfImportOk);
  EXPECT_EQ(ChapterSlot(tolerant.get(), kChapterHeader), QStringLiteral("\n"));
  EXPECT_FALSE(TextOfRange(Body(tolerant.get())).contains(QStringLiteral("top")));
}

// The background picture is written as data inside its own group, in RTF and in a package, and
// read back as the document's background.
TEST(RtfBackgroundPicture, SurvivesRoundTrips) {
  if (!g_genericColorSpace.isValid()) g_genericColorSpace = QColorSpace(QColorSpace::SRgb);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QImage bitmap(5, 2, QImage::Format_ARGB32);
  bitmap.fill(Qt::blue);
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  GMPicture picture;
  picture.image = std::shared_ptr<FLImage>(FLImage::withCGImage(bitmap, QSizeF(0, 0)));
  doc->pictures.push_back(picture);
  doc->docProps.set<uint32_t>(DocField::image, 0);
  doc->docProps.set<int32_t>(DocField::opacity, 40);
  const QString package = dir.filePath(QStringLiteral("doc.rtfd"));
  ASSERT_TRUE(QDir().mkpath(package));
  for (const QString& folder : {QString(), package}) {
    SCOPED_TRACE(folder.toStdString());
    const QString rtf = folder.isEmpty() ? ExportRtf(Body(doc.get())) : ExportRtf(Body(doc.get()), folder);
    EXPECT_TRUE(rtf.contains(QStringLiteral("{\\*\\glmtbackpic\n{\\pict\\pngblip\\picw5\\pich2"))) << rtf.toStdString();
    GlimmetDocPtr back(NewGlimmetDoc(kDocTemporary));
    ASSERT_EQ(ImportRtf(back.get(), rtf, kRtfModeNormal, nullptr, folder), kRtfImportOk);
    const uint32_t index = back->docProps.get<uint32_t>(DocField::image);
    ASSERT_LT(index, back->pictures.size());
    const auto image = std::static_pointer_cast<FLImage>(back->pictures[index].image);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSizeF(5, 2));
    EXPECT_EQ(back->docProps.get<int32_t>(DocField::opacity), 40);
    EXPECT_TRUE(TextOfRange(Body(back.get())).startsWith(QStringLiteral("ab")));
    for (uint32_t i = 0; i < back->knots.count(); ++i) EXPECT_NE(back->knots.at(i).type, kKnotPicture);
  }
  // A picture index the document does not hold writes nothing.
  doc->docProps.set<uint32_t>(DocField::image, 7);
  EXPECT_FALSE(ExportRtf(Body(doc.get())).contains(QStringLiteral("glmtbackpic")));
}

}  // namespace

namespace {

// A malformed file is read again, tolerantly, into the document the failed reading filled: the
// styles that reading made go, and no formatting names them, nor do frames of the failed
// reading outlive it.
TEST(RtfReader, RetryStartsFromNormalOnly) {
  const char* const files[] = {
      "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1 Heading A;}{\\*\\cs2 Strong B;}}"
      "\\pard\\s1\\posxc styled {\\cs2 strong}\\par\\pard\\listid3 bad\\par}",
      // Not closed, too.
      "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1 Heading A;}}\\pard\\posxc\\s1 one\\par\\pard\\s1\\posxr two",
  };
  for (const char* file : files) {
    SCOPED_TRACE(file);
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    ASSERT_EQ(ImportRtfWithRetry(doc.get(), QString::fromLatin1(file)), kRtfImportOk);
    EXPECT_EQ(doc->styles.size(), 1u);
    EXPECT_EQ(doc->frames.count(), 0u);
    for (uint32_t i = 0; i < doc->paraRuns.count(); ++i) {
      const PropRecord* para = PropertiesAtIndex(doc.get(), doc->paraRuns.at(i));
      ASSERT_NE(para, nullptr);
      EXPECT_EQ(para->get<uint16_t>(ParaField::style), 0) << i;
    }
    for (uint32_t i = 0; i < doc->charRuns.count(); ++i) {
      const PropRecord* chars = PropertiesAtIndex(doc.get(), doc->charRuns.at(i));
      ASSERT_NE(chars, nullptr);
      EXPECT_EQ(chars->get<uint16_t>(CharField::style), 0) << i;
    }
    // What the tolerant reading gives is written and read again without a fault.
    GlimmetDocPtr back = Read(ExportRtf(Body(doc.get())));
    EXPECT_EQ(TextOfRange(Body(back.get())), TextOfRange(Body(doc.get())));
  }
}

}  // namespace

namespace {

// The record of a kind that a document holds where the round trip looks: the character and
// paragraph properties of the body's first character, the first chapter's, the first table's
// and the document's own.
PropRecord RecordOfKind(GlimmetDoc* doc, uint32_t kind) {
  if (kind == kPropChar) return CharsAt(doc, kBody);
  if (kind == kPropPara) return ParaAt(doc, kBody);
  if (kind == kPropDocument) return doc->docProps;
  const uint32_t knotType = kind == kPropChapter ? kKnotChapter : kKnotTable;
  for (uint32_t i = 0; i < doc->knots.count(); ++i)
    if (doc->knots.at(i).type == knotType)
      if (const PropRecord* found = PropertiesAtIndex(doc, doc->knots.at(i).propIndex)) return *found;
  return BaseProps(kind);
}

// Stores the record as the document's record of its kind (see RecordOfKind).
void SetRecordOfKind(GlimmetDoc* doc, PropRecord record) {
  record.index = kGMNone;
  if (record.kind == kPropChar || record.kind == kPropPara) {
    ASSERT_TRUE(ApplyPropsToRange({doc, kBody, kBody + 1}, record));
    return;
  }
  if (record.kind == kPropDocument) {
    doc->docProps = record;
    return;
  }
  const uint32_t knotType = record.kind == kPropChapter ? kKnotChapter : kKnotTable;
  for (uint32_t i = 0; i < doc->knots.count(); ++i)
    if (doc->knots.at(i).type == knotType) {
      SetPropsOnKink(doc, i, IndexForProperties(doc, &record));
      return;
    }
  FAIL() << "no knot for kind " << record.kind;
}

// Every on/off atom that has a word, of every kind, set on and written, reads back on, and the
// rest of its record (an auto-fit table's widths among it) comes back as it was written.
TEST(RtfReader, EveryOnOffAtomRoundTrips) {
  int atoms = 0;
  for (uint32_t kind : {kPropChar, kPropPara, kPropChapter, kPropTable, kPropDocument}) {
    for (const GMAtom& atom : AtomTable(kind)) {
      if (!atom.used || atom.valueType != kAtomFlag || atom.rtfKeyword == 0) continue;
      SCOPED_TRACE(RtfKeywordName(atom.rtfKeyword));
      ++atoms;
      GlimmetDocPtr doc = DocWithBody(QStringLiteral("x\n"));
      DocRange table;
      ASSERT_TRUE(NewTableCore(doc.get(), kBody + 2, 1, 2, &table));
      PropRecord record = RecordOfKind(doc.get(), kind);
      ASSERT_EQ(record.kind, kind);
      record.body[atom.offset] = 1;
      // A table without a background is written with a colour that only means none; a
      // background picture's tiling is written only with the picture.
      if (kind == kPropTable) record.set<uint32_t>(kTableBorderOffset + BorderField::backColor, MakeKolor(255, 255, 255));
      if (kind == kPropDocument) {
        GMPicture picture;
        QImage bitmap(2, 2, QImage::Format_ARGB32);
        bitmap.fill(Qt::blue);
        picture.image = std::shared_ptr<FLImage>(FLImage::withCGImage(bitmap, QSizeF(0, 0)));
        doc->pictures.push_back(picture);
        record.set<uint32_t>(DocField::image, 0);
      }
      SetRecordOfKind(doc.get(), record);
      const QString rtf = ExportRtf(Body(doc.get()));
      GlimmetDocPtr back = Read(rtf);
      PropRecord got = RecordOfKind(back.get(), kind);
      const PropRecord want = RecordOfKind(doc.get(), kind);
      EXPECT_EQ(got.body[atom.offset], 1) << BodyOf(rtf).toStdString();
      // Fonts are numbered by the process's font list, which reading maps anew.
      if (kind == kPropChar) got.set<uint16_t>(CharField::font, want.get<uint16_t>(CharField::font));
      EXPECT_EQ(std::memcmp(got.body, want.body, sizeof got.body), 0);
    }
  }
  EXPECT_EQ(atoms, 40);
}

}  // namespace
