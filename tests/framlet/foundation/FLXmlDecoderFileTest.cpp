// Reading a file through its mapping, piece by piece, gives what reading its bytes whole gives:
// the same tags, values, attributes, positions and raw texts, wherever the pieces end.
#include "framlet/foundation/FLXmlDecoder.h"

#include "platform/FLError.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

qsizetype PageSize() { return qsizetype(::sysconf(_SC_PAGESIZE)); }

QString WriteFile(const QTemporaryDir& folder, const QString& name, const QByteArray& bytes) {
  const QString path = folder.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  EXPECT_EQ(file.write(bytes), bytes.size());
  return path;
}

// Everything a reader can learn from each tag, in order, then how the reading ended. An element
// named "x" is taken whole with extractTag and one named "skip" is skipped, as readers do.
std::vector<QString> Events(FLXmlDecoder& decoder) {
  std::vector<QString> events;
  while (decoder.getNextTag()) {
    QStringList attributes;
    for (auto it = decoder.attributes().cbegin(); it != decoder.attributes().cend(); ++it)
      attributes << it.key() + QLatin1Char('=') + it.value();
    attributes.sort();
    const QString raw = decoder.text(decoder.tagStart(), decoder.position()).toString();
    QString event = QStringLiteral("%1|%2|%3|%4%5|%6|%7|%8-%9|%10")
                        .arg(decoder.key())
                        .arg(decoder.xmlTag())
                        .arg(decoder.level())
                        .arg(int(decoder.startTag()))
                        .arg(int(decoder.endTag()))
                        .arg(decoder.value().isNull() ? QStringLiteral("(null)") : decoder.value())
                        .arg(attributes.join(QLatin1Char(',')))
                        .arg(decoder.tagStart())
                        .arg(decoder.position())
                        .arg(raw);
    if (decoder.xmlTag() == QLatin1String("x") && decoder.startTag() && !decoder.endTag())
      event += QStringLiteral("|extract:") + decoder.extractTag();
    else if (decoder.xmlTag() == QLatin1String("skip") && decoder.startTag() && !decoder.endTag())
      decoder.skipTag();
    events.push_back(event);
  }
  events.push_back(QStringLiteral("end|%1|%2|%3").arg(decoder.error()).arg(decoder.level()).arg(decoder.isDone()));
  return events;
}

// A comment that fills the text up to `target` bytes (no shorter than an empty comment).
QByteArray FillTo(const QByteArray& text, qsizetype target) {
  const qsizetype room = target - text.size() - 7;
  return "<!--" + QByteArray(std::max<qsizetype>(0, room), '-').replace("--", "-.") + "-->";
}

// A document whose constructs each begin `before` bytes ahead of a page boundary, so that each
// straddles one: a tag name, an attribute value with an entity, a text with entities, a CDATA
// section, characters of two, three and four bytes, a comment, an element taken whole and one
// skipped.
QByteArray Straddling(qsizetype before, bool byteOrderMark) {
  const qsizetype page = PageSize();
  const QByteArray constructs[] = {
      "<a_rather_long_tag_name attribute=\"1\">text</a_rather_long_tag_name>\n",
      "<v name=\"Tom &amp; Jerry &#x41;\" other='x'/>\n",
      "<t>a &lt; b &amp;&amp; c &quot;q&quot;</t>\n",
      "<c><![CDATA[<not a tag> & such]]></c>\n",
      "<u>\xC3\xA9\xC3\xA9\xC3\xA9</u>\n",
      "<u>\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC</u>\n",
      "<u>\xF0\x9F\x98\x80\xF0\x9F\x98\x80</u>\n",
      "<!-- a comment < > across -->\n<d/>\n",
      "<x k=\"1\"><y>inner</y><x>nested</x></x>\n",
      "<skip><z>gone</z><skip>again</skip></skip>\n",
      "<row y=\"12\"><cells><cell x=\"0\" y=\"12\" type=\"f\"><f>=A12+1</f><val>i13</val></cell></cells></row>\n",
  };
  QByteArray text = byteOrderMark ? QByteArray("\xEF\xBB\xBF") : QByteArray();
  text += kDeclaration;
  text += "<root>\n";
  qsizetype boundary = page;
  for (const QByteArray& construct : constructs) {
    for (qsizetype shift = 0; shift < construct.size(); shift += std::max<qsizetype>(1, construct.size() / 5)) {
      while (boundary - before - shift < text.size() + 8) boundary += page;
      text += FillTo(text, boundary - before - shift);
      text += construct;
    }
  }
  text += "</root>\n";
  return text;
}

TEST(FLXmlDecoderFile, ReadingInPiecesGivesWhatReadingWholeGives) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const qsizetype page = PageSize();
  std::mt19937 random(20260107);
  struct Case {
    QString name;
    QByteArray bytes;
  };
  std::vector<Case> cases;
  for (const qsizetype before : {1, 2, 3, 5, 17})
    for (const bool bom : {false, true})
      cases.push_back({QStringLiteral("straddle-%1-%2").arg(before).arg(bom), Straddling(before, bom)});
  // Rows of a sheet, many pages long, with values of varying lengths.
  QByteArray sheet = QByteArray(kDeclaration) + "<spreadsheet ver=\"1\">\n\t<rows>\n";
  for (int y = 0; y < 3000; ++y) {
    sheet += "\t\t<row y=\"" + QByteArray::number(y) + "\">\n\t\t\t<cells>\n\t\t\t\t<cell x=\"0\" y=\"" +
             QByteArray::number(y) + "\" type=\"s\">\n\t\t\t\t\t<f>" +
             QByteArray(int(random() % 40), 'a' + char(y % 26)) + " &amp; \xE2\x82\xAC</f>\n" +
             "\t\t\t\t</cell>\n\t\t\t</cells>\n\t\t</row>\n";
  }
  sheet += "\t</rows>\n</spreadsheet>\n";
  cases.push_back({QStringLiteral("sheet"), sheet});
  // Cut off in the middle of an element, and malformed far from the start.
  cases.push_back({QStringLiteral("cut"), sheet.left(sheet.size() * 2 / 3)});
  QByteArray malformed = sheet;
  malformed.insert(sheet.size() / 2, "<bad x=>");
  cases.push_back({QStringLiteral("malformed"), malformed});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    ASSERT_GT(c.bytes.size(), 3 * page);
    const QString path = WriteFile(folder, c.name, c.bytes);
    auto whole = FLXmlDecoder::withData(c.bytes);
    ASSERT_TRUE(whole);
    const std::vector<QString> expected = Events(*whole);
    ASSERT_GT(expected.size(), size_t(10));
    for (const qsizetype piece : {page, 2 * page}) {
      auto pieces = FLXmlDecoder::withRegularFile(path, c.bytes.size(), piece);
      ASSERT_TRUE(pieces);
      EXPECT_EQ(Events(*pieces), expected) << "pieces of " << piece;
      // Looking back at text long given back reads it again from the file.
      const qsizetype start = c.bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
      EXPECT_EQ(pieces->text(0, 38).toString(), QString::fromUtf8(c.bytes.mid(start, 38)));
    }
    FLError error;
    auto file = FLXmlDecoder::withFile(path, &error);
    ASSERT_TRUE(file);
    EXPECT_EQ(Events(*file), expected);
  }
}

TEST(FLXmlDecoderFile, TextsThatAreNotUtf8AreRefusedWhereverTheFaultLies) {
  QTemporaryDir folder;
  const qsizetype page = PageSize();
  const QByteArray good = Straddling(2, false);
  struct { const char* name; qsizetype at; QByteArray insert; bool accepted; } cases[] = {
      // A character split between two pieces is still one character.
      {"four-byte-across", 2 * page - 2, "\xF0\x9F\x98\x80", true},
      {"three-byte-across", 2 * page - 1, "\xE2\x82\xAC", true},
      {"lead-without-continuation", 2 * page - 1, "\xC3(", false},
      {"stray-continuation", 3 * page, "\x80", false},
      {"overlong", page + 7, "\xC0\xAF", false},
      {"invalid-byte", 3 * page - 1, "\xFF", false},
      {"truncated-at-end", -1, "\xE2\x82", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QByteArray bytes = good;
    // Inside a comment, where any character may stand.
    const qsizetype at = c.at < 0 ? bytes.size() : bytes.lastIndexOf("<!--", c.at) + 4;
    ASSERT_GT(at, 4);
    bytes.insert(c.at < 0 ? at : std::max(at, c.at), c.insert);
    const QString path = WriteFile(folder, QString::fromLatin1(c.name), bytes);
    EXPECT_EQ(bool(FLXmlDecoder::withData(bytes)), c.accepted);
    EXPECT_EQ(bool(FLXmlDecoder::withRegularFile(path, bytes.size(), page)), c.accepted);
    FLError error;
    EXPECT_EQ(bool(FLXmlDecoder::withFile(path, &error)), c.accepted);
    if (!c.accepted) { EXPECT_EQ(error.reason, QStringLiteral("I don't understand the file format")); }
  }
}

TEST(FLXmlDecoderFile, OnlyARegularFileOfAtMostTheSizeIsRead) {
  QTemporaryDir folder;
  const QByteArray bytes = QByteArray(kDeclaration) + "<a>1</a>\n";
  const QString path = WriteFile(folder, QStringLiteral("small.xml"), bytes);
  EXPECT_TRUE(FLXmlDecoder::withRegularFile(path, bytes.size()));
  EXPECT_FALSE(FLXmlDecoder::withRegularFile(path, bytes.size() - 1));
  EXPECT_FALSE(FLXmlDecoder::withRegularFile(folder.path(), 1 << 20));
  EXPECT_FALSE(FLXmlDecoder::withRegularFile(folder.filePath(QStringLiteral("missing.xml")), 1 << 20));
  EXPECT_FALSE(FLXmlDecoder::withRegularFile(WriteFile(folder, QStringLiteral("empty.xml"), {}), 1 << 20));
  // A FIFO would wait for a writer forever: it is refused at once.
  const QString fifo = folder.filePath(QStringLiteral("fifo.xml"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  EXPECT_FALSE(FLXmlDecoder::withRegularFile(fifo, 1 << 20));
}

// The resident size of the mapping that holds the address, in KiB; -1 when none is found.
int64_t ResidentKiBOfMappingAt(const void* address) {
  QFile maps(QStringLiteral("/proc/self/smaps"));
  if (!maps.open(QIODevice::ReadOnly)) return -1;
  const auto where = quintptr(address);
  bool inside = false;
  for (const QByteArray& line : maps.readAll().split('\n')) {
    const QByteArray first = line.left(line.indexOf(' '));
    if (first.endsWith(':')) {
      if (inside && first == "Rss:") return line.mid(4).trimmed().split(' ').value(0).toLongLong();
      continue;
    }
    // A mapping's header: "from-to perms offset device inode name".
    const qsizetype dash = first.indexOf('-');
    bool ok1 = false, ok2 = false;
    const quintptr from = first.left(dash).toULongLong(&ok1, 16);
    const quintptr to = first.mid(dash + 1).toULongLong(&ok2, 16);
    inside = dash > 0 && ok1 && ok2 && from <= where && where < to;
  }
  return -1;
}

TEST(FLXmlDecoderFile, ALargeFileIsNeverHeldWhole) {
  QTemporaryDir folder;
  QByteArray bytes = QByteArray(kDeclaration) + "<rows>\n";
  while (bytes.size() < (qsizetype(16) << 20))
    bytes += "\t<row y=\"1\"><cells><cell x=\"0\" y=\"1\" type=\"f\"><f>=A1+1</f><val>i2</val></cell></cells></row>\n";
  bytes += "</rows>\n";
  const QString path = WriteFile(folder, QStringLiteral("large.xml"), bytes);
  constexpr qsizetype kPiece = qsizetype(512) << 10;
  auto decoder = FLXmlDecoder::withRegularFile(path, bytes.size(), kPiece);
  ASSERT_TRUE(decoder);
  const void* start = decoder->text(0, 1).data();
  int64_t most = 0;
  int64_t tags = 0;
  while (decoder->getNextTag())
    if (++tags % 25000 == 0) most = std::max(most, ResidentKiBOfMappingAt(start));
  EXPECT_TRUE(decoder->error().isEmpty());
  EXPECT_EQ(decoder->level(), 0);
  ASSERT_GT(tags, 1000000);
  // The piece being read, the one kept behind it and what the kernel maps around a fault (whole
  // large pages of the file's cache on some systems): a few MiB, not the 16.
  EXPECT_GE(most, 0);
  EXPECT_LE(most, 4 * 1024) << "KiB resident";
}

}  // namespace

namespace {

// Another program cutting the file short while it is read (saving over it, a failing disk) takes
// the pages from under the mapping: the reading stops with a refusal instead of SIGBUS, at any
// point of the reading, through any way of making the decoder.
TEST(FLXmlDecoderFile, AFileCutShortWhileItIsReadIsRefusedWithoutACrash) {
  QTemporaryDir folder;
  QByteArray bytes = QByteArray(kDeclaration) + "<rows>\n";
  while (bytes.size() < (qsizetype(4) << 20)) bytes += "\t<row y=\"1\"><cells><cell x=\"0\"><val>i2</val></cell></cells></row>\n";
  bytes += "</rows>\n";
  const struct { const char* name; int64_t tagsBefore; off_t cutTo; bool regular; } cases[] = {
      {"cut-to-nothing-at-once", 1, 0, true},
      {"cut-to-nothing-far-in", 100000, 0, true},
      {"cut-behind-the-reading", 100000, 256 << 10, false},
      {"cut-just-ahead-of-the-reading", 100000, 1 << 20, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = WriteFile(folder, QString::fromLatin1(c.name), bytes);
    FLError error;
    std::unique_ptr<FLXmlDecoder> decoder = c.regular ? FLXmlDecoder::withRegularFile(path, bytes.size(), 64 << 10)
                                                      : FLXmlDecoder::withFile(path, &error);
    ASSERT_TRUE(decoder);
    int64_t tags = 0;
    while (tags < c.tagsBefore && decoder->getNextTag()) ++tags;
    ASSERT_EQ(tags, c.tagsBefore);
    EXPECT_FALSE(decoder->fileChanged());
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), c.cutTo), 0);
    while (decoder->getNextTag()) (void)decoder->value();
    EXPECT_TRUE(decoder->fileChanged());
    EXPECT_EQ(decoder->error(), QLatin1String(FLXmlDecoder::kNotUnderstoodReason));
    EXPECT_TRUE(decoder->isDone());
  }
}

}  // namespace
