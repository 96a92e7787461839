#include "glimmet/storage/gmOpenNative.h"
#include "framlet/foundation/flFileSupport.h"

#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmProperties.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct KeysOnce {
  KeysOnce() { CreateGlimmetXmlDecoder(); }
};

void EnsureKeys() { static KeysOnce once; }

// A minimal stored document: the chapter knot "Intro" and the body text. Extra knots (XML) and
// the text after the chapter can be given.
struct Parts {
  QString body = QStringLiteral("Hello\n");
  QString extraKnots;
  QString ver = QStringLiteral("2");
  int lengthDelta = 0;  // added to the length written
  QString format;       // replaces the format's runs when set
};

QString ChapterText() {
  QString text = QString(QChar(0)) + QStringLiteral("Intro");
  for (int slot = 0; slot < 7; ++slot) text += QString(QChar(1)) + (slot < 6 ? QStringLiteral("\n") : QString());
  return text;
}

QString StructureXml(const Parts& parts, int total) {
  QString knots = QStringLiteral("<knot cp=\"0\" type=\"chapter\" kink=\"beg\"><prop>2</prop></knot>");
  const int mids[] = {6, 8, 10, 12, 14, 16};
  for (int cp : mids) knots += QStringLiteral("<knot cp=\"%1\" type=\"chapter\" kink=\"mid\"/>").arg(cp);
  knots += QStringLiteral("<knot cp=\"18\" type=\"chapter\" kink=\"end\"/>") + parts.extraKnots;
  return QStringLiteral("<length>%1,%2</length><knots>%3</knots>").arg(total - 1).arg(total).arg(knots);
}

const char* kFormatXml =
    "<fonts><font>DejaVu Sans</font></fonts><properties><prop type=\"char\"><size>52</size></prop>"
    "<prop type=\"para\"/><prop type=\"chap\"/><prop type=\"char\"><bold>1</bold><font>3</font></prop></properties>"
    "<styles><style name=\"Normal\" type=\"para\"><prop>1</prop><char>0</char></style></styles>"
    "<char><run>0,0</run></char><para><run>0,1</run></para>";

// Text as the single-file form writes it: kink characters as <k0/> and <k1/>.
QString TextXml(const QString& text) {
  QString xml, run;
  const auto flush = [&] {
    if (!run.isEmpty()) xml += QStringLiteral("<run>") + run.toHtmlEscaped() + QStringLiteral("</run>");
    run.clear();
  };
  for (QChar c : text) {
    if (c.unicode() <= 1) {
      flush();
      xml += c.unicode() == 0 ? QStringLiteral("<k0/>") : QStringLiteral("<k1/>");
    } else {
      run += c;
    }
  }
  flush();
  return xml;
}

QString FullText(const Parts& parts) { return ChapterText() + parts.body + QStringLiteral("\n"); }

QByteArray SingleFile(const Parts& parts) {
  const QString text = FullText(parts);
  return (QStringLiteral("<?xml version=\"1.0\"?><glimmet><ver>") + parts.ver + QStringLiteral("</ver><structure>") +
          StructureXml(parts, int(text.size()) + parts.lengthDelta) + QStringLiteral("</structure><format>") +
          (parts.format.isEmpty() ? QString::fromLatin1(kFormatXml)
                                  : QString::fromLatin1(kFormatXml).replace(QStringLiteral("<char><run>0,0</run></char>"),
                                                                            parts.format)) +
          QStringLiteral("</format><text>") + TextXml(text) +
          QStringLiteral("</text></glimmet>"))
      .toUtf8();
}

struct ReadResult {
  bool ok = false;
  QString error;
  GlimmetDocPtr doc;
};

ReadResult ReadData(const QByteArray& data) {
  EnsureKeys();
  ReadResult result;
  result.doc.reset(NewGlimmetDoc(kDocHelp));
  result.ok = ReadV2XmlData(data, result.doc.get(), &result.error);
  return result;
}

const QString kLater = QString::fromUtf8(kGlimmetLaterVersionMessage);
const QString kDamaged = QString::fromUtf8(kGlimmetDamagedMessage);

TEST(GlimmetNativeReader, SingleFileFormAcceptsAndRefuses) {
  struct Case {
    const char* name;
    Parts parts;
    QByteArray raw;  // used instead of parts when set
    bool ok;
    QString error;
  };
  Parts v1, v3, shortLength, badKnot, unbalanced, outOfOrder, runBeyond, runOfPara, badPair;
  runBeyond.format = QStringLiteral("<char><run>0,99</run></char>");
  runOfPara.format = QStringLiteral("<char><run>0,1</run></char>");  // record 1 is a paragraph's
  badPair.format = QStringLiteral("<char><run>0;0</run></char>");
  v1.ver = QStringLiteral("1");
  v3.ver = QStringLiteral("3");
  shortLength.lengthDelta = 1;
  badKnot.extraKnots = QStringLiteral("<knot cp=\"20\" type=\"link\" kink=\"beg\"/>");  // 'H' is no kink
  unbalanced.body = QStringLiteral("A") + QChar(0) + QStringLiteral("B\n");
  unbalanced.extraKnots = QStringLiteral("<knot cp=\"20\" type=\"link\" kink=\"beg\"/>");
  outOfOrder.body = QString(QChar(0)) + QStringLiteral("x\n");
  outOfOrder.extraKnots = QStringLiteral("<knot cp=\"2\" type=\"var\" kink=\"-\"/>");
  const Case cases[] = {
      {"version 2", Parts(), {}, true, {}},
      {"version 1", v1, {}, true, {}},
      {"version 3", v3, {}, false, kLater},
      {"text one shorter than the length", shortLength, {}, false, kDamaged},
      {"knot on a plain character", badKnot, {}, false, kDamaged},
      {"knot without its end", unbalanced, {}, false, kDamaged},
      {"knots out of order", outOfOrder, {}, false, kDamaged},
      {"run naming no record", runBeyond, {}, false, kDamaged},
      {"character run naming a paragraph record", runOfPara, {}, false, kDamaged},
      {"run without its pair", badPair, {}, false, QString()},
      {"another root", {}, "<?xml version=\"1.0\"?><structure></structure>", false, kDamaged},
      {"not XML", {}, "glimmet", false, kDamaged},
      {"no text", {}, "<?xml version=\"1.0\"?><glimmet><ver>2</ver></glimmet>", false, kDamaged},
  };
  for (const Case& c : cases) {
    LogCapture log;
    const ReadResult result = ReadData(c.raw.isEmpty() ? SingleFile(c.parts) : c.raw);
    EXPECT_EQ(result.ok, c.ok) << c.name;
    if (!c.ok) {
      EXPECT_EQ(result.error, c.error) << c.name;
    }
  }
}

TEST(GlimmetNativeReader, KinksComeBackAndUnknownKnotsBecomeSpaces) {
  Parts parts;
  // A variable knot, then a knot of a type this reader does not know, then a stray kink.
  parts.body = QStringLiteral("a") + QChar(0) + QStringLiteral("b") + QChar(0) + QStringLiteral("c") + QChar(1) +
               QStringLiteral("\n");
  parts.extraKnots = QStringLiteral(
      "<knot cp=\"20\" type=\"var\" kink=\"-\"><type>date</type><value>7</value></knot>"
      "<knot cp=\"22\" type=\"sparkle\" kink=\"-\"/>");
  LogCapture log;
  const ReadResult result = ReadData(SingleFile(parts));
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  const QString text = TextOfRange({result.doc.get(), 0, uint32_t(result.doc->totalLength)});
  EXPECT_EQ(text.mid(0, 2), QString(QChar(0)) + QStringLiteral("I"));
  EXPECT_EQ(text.mid(19), QStringLiteral("a") + QChar(0) + QStringLiteral("b c") + QChar(0x2022) + QStringLiteral("\n\n"));
  ASSERT_EQ(result.doc->knots.count(), 9u);
  const KnotEntry& var = result.doc->knots.at(8);
  EXPECT_EQ(var.type, uint32_t(kKnotVar));
  EXPECT_EQ(var.word, 4u);                                // "date"
  EXPECT_EQ(var.value, (uint64_t(7) << 32) | 0xFFFFFFFF);  // the value in the first 16-bit field
  EXPECT_EQ(result.doc->variableKinds, 1u << 4);
  EXPECT_EQ(ChapterName(result.doc.get(), 0), QStringLiteral("Intro"));
  // The character record's file font 3 is not in the file's font list.
  EXPECT_TRUE(log.assertMessages().contains(QStringLiteral("Bad font number")));
}

TEST(GlimmetNativeReader, KnotChildrenFillTheirFields) {
  struct Case {
    const char* child;
    uint32_t word;
    uint64_t value;
  };
  const Case cases[] = {
      {"<lev>2</lev>", 18, 0},
      {"<lev>9</lev>", 20, 0},
      {"<lev>17</lev>", 17, 0},
      {"<div>diamondLine</div>", 3, 0},
      {"<zoom>150</zoom><opacity>40</opacity>", 0, (uint64_t(40) << 48) | (uint64_t(150) << 32)},
      {"<align>vacenter</align>", 0, 2},
      {"<align>vacenter</align><magic>511</magic>", 0, 0xFF},
      {"<color>{255, 0, 0}</color>", 0x640000FF, 0},
  };
  for (const Case& c : cases) {
    Parts parts;
    parts.body = QString(QChar(0)) + QStringLiteral("\n");
    parts.extraKnots = QStringLiteral("<knot cp=\"19\" type=\"pic\" kink=\"-\">%1</knot>").arg(QLatin1String(c.child));
    LogCapture log;
    const ReadResult result = ReadData(SingleFile(parts));
    ASSERT_TRUE(result.ok) << c.child;
    ASSERT_EQ(result.doc->knots.count(), 9u);
    EXPECT_EQ(result.doc->knots.at(8).word, c.word) << c.child;
    EXPECT_EQ(result.doc->knots.at(8).value, c.value) << c.child;
  }
}

class GlimmetPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureKeys();
    package_ = folder_.path() + QStringLiteral("/Doc.Quillet");
    QDir().mkpath(package_ + QStringLiteral("/Images"));
  }
  void write(const QString& structureVer, const QString& text, const QString& images = QString()) {
    Parts parts;
    const QString full = FullText(parts);
    WriteFileBytes(package_ + QStringLiteral("/structure.xml"),
                   (QStringLiteral("<?xml version=\"1.0\"?><structure><ver>") + structureVer + QStringLiteral("</ver>") +
                    StructureXml(parts, int(full.size())) + images + QStringLiteral("</structure>"))
                       .toUtf8());
    WriteFileBytes(package_ + QStringLiteral("/format.xml"),
                   (QStringLiteral("<?xml version=\"1.0\"?><format><ver>2</ver>") + QString::fromLatin1(kFormatXml) +
                    QStringLiteral("</format>"))
                       .toUtf8());
    WriteFileBytes(package_ + QStringLiteral("/document.txt"), (text.isNull() ? full : text).toUtf8());
  }
  ReadResult read() {
    ReadResult result;
    result.doc.reset(NewGlimmetDoc(kDocHelp));
    result.ok = ReadNativeFile(package_, result.doc.get(), &result.error);
    return result;
  }

  QTemporaryDir folder_;
  QString package_;
  LogCapture log_;
};

TEST_F(GlimmetPackageTest, ReadsVersionsItKnowsAndNamesLaterOnes) {
  for (const char* ver : {"1", "2"}) {
    write(QLatin1String(ver), QString());
    EXPECT_TRUE(read().ok) << ver;
  }
  write(QStringLiteral("3"), QString());
  const ReadResult later = read();
  EXPECT_FALSE(later.ok);
  EXPECT_EQ(later.error, kLater);
}

TEST_F(GlimmetPackageTest, ShortTextOrMissingPartIsDamage) {
  write(QStringLiteral("2"), FullText(Parts()).chopped(1));
  ReadResult result = read();
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(log_.assertMessages().contains(QStringLiteral("Text is wrong length")));
  write(QStringLiteral("2"), QString());
  QFile::remove(package_ + QStringLiteral("/format.xml"));
  result = read();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, kDamaged);
}

// The help file is such a package: a part that is a FIFO (which would block for ever) or leads to
// a device (which would read without end) is refused at once with the reason.
TEST_F(GlimmetPackageTest, APartThatIsNoRegularFileIsRefusedAtOnce) {
  for (const char* part : {"structure.xml", "format.xml", "document.txt"}) {
    for (const bool fifo : {true, false}) {
      SCOPED_TRACE(testing::Message() << part << (fifo ? " FIFO" : " device"));
      const QString path = package_ + QLatin1Char('/') + QLatin1String(part);
      QFile::remove(path);  // the last round's FIFO, which writing would wait on
      write(QStringLiteral("2"), QString());
      ASSERT_TRUE(QFile::remove(path));
      if (fifo) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
      } else {
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
      }
      const ReadResult result = read();
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.error, QLatin1String(kNotRegularFileReason));
    }
  }
}

TEST_F(GlimmetPackageTest, AMissingTiffPictureFallsBackToItsPng) {
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(Qt::red);
  ASSERT_TRUE(image.save(package_ + QStringLiteral("/Images/p.png")));
  write(QStringLiteral("2"), QString(),
        QStringLiteral("<images><image source=\"embed\">p.tiff</image><image source=\"embed\">../x.png</image></images>"));
  const ReadResult result = read();
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  ASSERT_EQ(result.doc->pictures.size(), 2u);
  EXPECT_EQ(result.doc->pictures[0].identifier, QStringLiteral("p"));
  EXPECT_TRUE(result.doc->pictures[0].path.endsWith(QStringLiteral("p.png")));
  // A name that leads out of the package is never read; the picture stands in.
  EXPECT_TRUE(result.doc->pictures[1].path.isEmpty());
  EXPECT_TRUE(log_.assertMessages().contains(QStringLiteral("Image can't be loaded")));
}

// A picture is read only from inside the package: a link in "Images" (or "Images" itself) that
// leads out of it is refused, as a name with a separator is; one that stays inside is followed.
TEST_F(GlimmetPackageTest, PictureLinksThatLeadOutOfThePackageAreNotRead) {
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(Qt::red);
  const QString outside = folder_.path() + QStringLiteral("/outside.png");
  ASSERT_TRUE(image.save(outside));
  ASSERT_TRUE(image.save(package_ + QStringLiteral("/inside.png")));
  const QString images = package_ + QStringLiteral("/Images/");
  ASSERT_TRUE(QFile::link(outside, images + QStringLiteral("out.png")));
  ASSERT_TRUE(QFile::link(QStringLiteral("../inside.png"), images + QStringLiteral("in.png")));
  ASSERT_TRUE(QFile::link(QStringLiteral("../../outside.png"), images + QStringLiteral("up.png")));
  ASSERT_TRUE(QFile::link(outside, images + QStringLiteral("gone.png")));  // the fall-back of gone.tiff
  const struct {
    const char* name;
    bool read;
  } cases[] = {{"out.png", false}, {"in.png", true}, {"up.png", false}, {"gone.tiff", false}};
  QString xml = QStringLiteral("<images>");
  for (const auto& c : cases) xml += QStringLiteral("<image source=\"embed\">%1</image>").arg(QLatin1String(c.name));
  write(QStringLiteral("2"), QString(), xml + QStringLiteral("</images>"));
  const ReadResult result = read();
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  ASSERT_EQ(result.doc->pictures.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(!result.doc->pictures[i].path.isEmpty(), cases[i].read) << cases[i].name;

  // The whole folder a link out of the package.
  QDir(package_ + QStringLiteral("/Images")).removeRecursively();
  ASSERT_TRUE(QFile::link(folder_.path(), package_ + QStringLiteral("/Images")));
  write(QStringLiteral("2"), QString(), QStringLiteral("<images><image source=\"embed\">outside.png</image></images>"));
  const ReadResult linked = read();
  ASSERT_TRUE(linked.ok) << linked.error.toStdString();
  ASSERT_EQ(linked.doc->pictures.size(), 1u);
  EXPECT_TRUE(linked.doc->pictures[0].path.isEmpty());
}

}  // namespace
