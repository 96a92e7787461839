#include "glimmet/storage/gmRtfWriter.h"

#include "StorageTestSupport.h"
#include "framlet/foundation/Kolor.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmPane.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmRtfReader.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

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
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  GlimmetDocPtr doc = DocWithBody(QString::fromUtf8("Caf\u00e9 {braces} \\ and \u20ac\nsecond\tline \u4e2d"));
  QFile file(dir.filePath(QStringLiteral("out.rtf")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(ExportRtf(Body(doc.get())).toLatin1());
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
  EXPECT_EQ(got.simplified(), ExtractPlainText(Body(doc.get()), false).simplified());
}

}  // namespace
