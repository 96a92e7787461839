// The rich sample document (links, a table with a title row, stripes and coloured cells, bordered
// paragraph groups, a picture and every divider) read from RTF and shown in the draft view: what
// it draws, and that laying it out, copying, finding in and saving it log nothing.
#include "glimmet/layout/ViewTestSupport.h"
#include "framlet/foundation/FLKernel.h"
#include "glimmet/layout/gmDraft.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmFind.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmRtfWriter.h"
#include "support/LogCapture.h"
#include "support/TestData.h"

#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString SampleRtf() {
  QFile file(TestDataPath(QStringLiteral("glimmet/rich-sample.rtf")));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return QString::fromLatin1(file.readAll());
}

// The span of dark ink in the rectangle of the image, as [first, last] columns; (-1, -1) when none.
std::pair<int, int> InkColumns(const QImage& image, const QRect& rect, int darkerThan = 128) {
  int first = -1, last = -1;
  for (int x = std::max(rect.left(), 0); x <= std::min(rect.right(), image.width() - 1); ++x)
    for (int y = std::max(rect.top(), 0); y <= std::min(rect.bottom(), image.height() - 1); ++y)
      if (qGray(image.pixel(x, y)) < darkerThan) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return {first, last};
}

// The shown sample, its lines laid out, in a view tall enough for all of it.
struct ShownSample {
  LogCapture log;
  ShownDocument shown{ShownDocument::Rtf{SampleRtf()}, QSize(500, 1400)};
  GlimmetDoc* doc = shown.document->glimmetDoc();
  QImage image;

  ShownSample() {
    image = shown.view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  Pane* pane() const { return shown.pane(); }
  // The letters of the document from cp on, kinks left out.
  QString LettersAt(uint32_t cp, int count) const {
    QString text = TextOfRange({doc, cp, std::min<uint32_t>(cp + uint32_t(count) + 64, uint32_t(doc->totalLength))});
    // Kinks, and the marks of the chapter's empty slots, are no letters.
    text.removeIf([](QChar c) { return c.unicode() < 0x20; });
    return text.left(count);
  }
  // The index of the first line held whose letters begin with the text; -1 when none.
  int LineStarting(const QString& text) const {
    for (uint32_t i = 0; i < pane()->lines.count(); ++i)
      if (LettersAt(pane()->lines.cpAt(i), int(text.size())) == text) return int(i);
    return -1;
  }
  QRect LineRect(int index) const {
    const DraftLine& line = pane()->lines.at(uint32_t(index));
    const double zoom = shown.view->zoomValue();
    return QRectF(line.x * zoom, line.y * zoom, line.width * zoom, line.height * zoom).toRect();
  }
  std::pair<int, int> InkColumns(const QRect& rect, int darkerThan = 128) const {
    return ::InkColumns(image, rect, darkerThan);
  }
};

TEST(RichSample, LinksShowTheirTextNotTheirAddress) {
  ShownSample s;
  const int links = s.LineStarting(QStringLiteral("Links: "));
  ASSERT_GE(links, 0);
  // The same document with each link's text as plain text draws its first line as wide.
  QString plainRtf = SampleRtf();
  plainRtf.replace(QRegularExpression(QStringLiteral(R"(\{\\field\{\\\*\\fldinst\{HYPERLINK "[^"]*"\}\}\{\\fldrslt ([^}]*)\}\})")),
                   QStringLiteral("\\1"));
  ASSERT_FALSE(plainRtf.contains(QStringLiteral("HYPERLINK")));
  ShownDocument plain(ShownDocument::Rtf{plainRtf}, QSize(500, 100));
  const QImage plainImage = plain.view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const DraftLine& plainLine = plain.pane()->lines.at(0);
  const auto [plainFirst, plainLast] =
      InkColumns(plainImage, QRectF(plainLine.x, plainLine.y, plainLine.width, plainLine.height).toRect());
  const auto [first, last] = s.InkColumns(s.LineRect(links));
  ASSERT_GE(plainFirst, 0);
  EXPECT_NEAR(last - first, plainLast - plainFirst, 3);
}

TEST(RichSample, TheTableDrawsItsColoursAndTheTextAfterFollowsAtOnce) {
  ShownSample s;
  std::vector<int> rows;
  for (uint32_t i = 0; i < s.pane()->lines.count(); ++i)
    if (s.pane()->lines.at(i).startKind == kStartRow) rows.push_back(int(i));
  ASSERT_EQ(rows.size(), 3u);
  // The line after the last row is the text after the table, not an empty line.
  EXPECT_EQ(s.LettersAt(s.pane()->lines.cpAt(uint32_t(rows[2] + 1)), 5), QStringLiteral("After"));
  // Cells are 120 points wide from the row's left: sample near each cell's right end.
  auto cellColour = [&](int row, int column) {
    const QRect rect = s.LineRect(rows[size_t(row)]);
    return s.image.pixel(rect.left() + 110 + 120 * column, rect.center().y());
  };
  const QRgb white = 0xFFFFFFFF, red = 0xFFFF0000, blue = 0xFF0000FF, green = 0xFF00FF00;
  const QRgb title = cellColour(0, 0);
  EXPECT_NE(title, white);
  EXPECT_EQ(qRed(title), qBlue(title));  // the title row's grey
  EXPECT_EQ(cellColour(1, 0), red);      // its own colour
  EXPECT_EQ(cellColour(1, 1), white);    // the first row after the title is not striped
  EXPECT_EQ(cellColour(2, 0), green);    // the second is
  EXPECT_EQ(cellColour(2, 1), blue);     // but a cell's own colour wins
}

TEST(RichSample, AdjacentBoxedParagraphsShareOneBox) {
  ShownSample s;
  const int first = s.LineStarting(QStringLiteral("First boxed"));
  const int second = s.LineStarting(QStringLiteral("Second boxed"));
  const int single = s.LineStarting(QStringLiteral("A box of"));
  ASSERT_GE(first, 0);
  ASSERT_EQ(second, first + 1);
  ASSERT_GE(single, 0);
  // Rules crossed going down a column right of the text: the group's top and bottom, and the
  // lone box's own two.
  auto rulesCrossed = [&](int top, int bottom) {
    const QRect from = s.LineRect(top), to = s.LineRect(bottom);
    const int x = from.left() + from.width() * 3 / 4;
    int rules = 0;
    bool inRule = false;
    for (int y = from.top(); y <= to.bottom() && y < s.image.height(); ++y) {
      const bool dark = qGray(s.image.pixel(x, y)) < 128;
      if (dark && !inRule) ++rules;
      inRule = dark;
    }
    return rules;
  };
  EXPECT_EQ(rulesCrossed(first, second), 2);
  EXPECT_EQ(rulesCrossed(single, single), 2);
}

TEST(RichSample, ThePictureAndEveryDividerAreDrawn) {
  ShownSample s;
  const int picture = s.LineStarting(QStringLiteral("A picture"));
  ASSERT_GE(picture, 0);
  const QRect rect = s.LineRect(picture);
  int blue = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if (s.image.pixel(x, y) == 0xFF0000FFu) ++blue;
  EXPECT_EQ(blue, 16 * 12);
  int dividers = 0;
  for (uint32_t i = 0; i < s.pane()->lines.count(); ++i) {
    if (s.pane()->lines.at(i).startKind != kStartDivider) continue;
    ++dividers;
    // Hairlines half a point wide are grey, not black.
    EXPECT_GE(s.InkColumns(s.LineRect(int(i)), 240).first, 0) << "divider line " << i;
  }
  EXPECT_EQ(dividers, 11);
}

TEST(RichSample, LayingOutCopyingFindingAndSavingLogNothing) {
  // The colour space the kernel sets at launch, which the picture's saving checks for.
  if (!g_genericColorSpace.isValid()) g_genericColorSpace = QColorSpace(QColorSpace::SRgb);
  ShownSample s;
  InstallDocumentCopy();
  const DocRange all{s.doc, BodyStart(s.doc), uint32_t(s.doc->userLength)};
  // Copies cut at every cp, short and long, saved and read as plain text.
  for (uint32_t first = all.first; first < all.limit; ++first) {
    for (const uint32_t length : {1u, 7u, 37u, 80u}) {
      GlimmetDocPtr target(NewGlimmetDoc(kDocTemporary));
      DocRange at{target.get(), BodyStart(target.get()), BodyStart(target.get())};
      const DocRange from{s.doc, first, std::min(all.limit, first + length)};
      EXPECT_TRUE(ReplaceRangeCore(&at, &from, nullptr, 0, false)) << first << "+" << length;
      const DocRange copied{target.get(), BodyStart(target.get()), uint32_t(target->userLength)};
      EXPECT_FALSE(ExportRtf(copied).isEmpty());
      ExtractPlainText(copied, false);
    }
  }
  g_findSettings = GMFindSettings();
  g_findSettings.type = kFindText;
  g_findSettings.string = QStringLiteral("two");
  s.shown.document->setSelection(all.first, 0);
  EXPECT_TRUE(s.shown.document->performFind(true, true));
  EXPECT_FALSE(s.shown.document->findBrokenLink(true));
  g_findSettings = GMFindSettings();
  EXPECT_FALSE(ExportRtf(all).isEmpty());
  EXPECT_TRUE(s.log.assertMessages().isEmpty()) << s.log.assertMessages().join(u'|').toStdString();
}

}  // namespace
