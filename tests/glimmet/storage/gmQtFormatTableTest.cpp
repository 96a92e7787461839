// What Qt's table of formats costs a reading: formats Qt's hash cannot tell apart are compared
// with one another at every lookup, and the reading counts those comparisons in its steps, so that
// a page of thousands of such formats is bounded by its size as any other page is.
#include "framlet/foundation/flReadingMeter.h"
#include "glimmet/storage/gmHtmlReader.h"
#include "glimmet/storage/gmQtFormatTable.h"

#include <QBrush>
#include <QColor>
#include <QSet>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

// Shapes of many distinct formats, as a page makes them: those Qt's table finds at once, and
// those it compares with every other (measured: 20,000 of the latter take Qt seconds, of the
// former milliseconds).
struct Shape {
  const char* name;
  std::function<void(QTextCharFormat&, int)> make;
  bool alike;  // Qt's hash cannot tell them apart
};
const Shape kShapes[] = {
    {"faces", [](QTextCharFormat& f, int k) { f.setFontFamilies({QStringLiteral("Face%1").arg(k)}); }, true},
    {"anchor names", [](QTextCharFormat& f, int k) { f.setAnchorNames({QStringLiteral("n%1").arg(k)}); }, true},
    {"text and background colours of one sum",
     [](QTextCharFormat& f, int k) {
       f.setForeground(QColor::fromRgb(QRgb(k)));
       f.setBackground(QColor::fromRgb(QRgb(0x100000 - k)));
     },
     true},
    {"weights and underlines of one sum",
     [](QTextCharFormat& f, int k) {
       f.setProperty(QTextFormat::FontWeight, 1 + k);
       f.setProperty(QTextFormat::TextUnderlineStyle, 100000 - k);
     },
     true},
    {"text colours", [](QTextCharFormat& f, int k) { f.setForeground(QColor::fromRgb(QRgb(k))); }, false},
    {"links", [](QTextCharFormat& f, int k) { f.setAnchorHref(QStringLiteral("http://h/%1").arg(k)); }, false},
    {"sizes", [](QTextCharFormat& f, int k) { f.setFontPointSize(1 + k * 0.01); }, false},
    {"letter spacings", [](QTextCharFormat& f, int k) { f.setFontLetterSpacing(1 + k * 0.01); }, false},
};

// N distinct formats, each looked up twice: those Qt compares with one another cost about the
// square of their count, the rest about their count.
TEST(QtFormatTable, ALookupCostsTheFormatsQtsHashCannotTellFromIt) {
  constexpr int kCount = 2000;
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    GMQtFormatTable table;
    int64_t cost = 0;
    for (int round = 0; round < 2; ++round) {
      for (int k = 0; k < kCount; ++k) {
        QTextCharFormat format;
        shape.make(format, k);
        cost += table.lookupCost(format);
      }
    }
    EXPECT_EQ(table.distinct(), kCount);
    if (shape.alike) {
      EXPECT_GE(cost, int64_t(kCount) * kCount);
    } else {
      EXPECT_LE(cost, 4 * kCount);
    }
  }
}

// The same format looked up again, in another object, is one format.
TEST(QtFormatTable, AlikeFormatsAreOne) {
  GMQtFormatTable table;
  for (int k = 0; k < 100; ++k) {
    QTextCharFormat format;
    format.setFontWeight(700);
    format.setForeground(QColor(Qt::red));
    format.setFontFamilies({QStringLiteral("Face")});
    EXPECT_EQ(table.lookupCost(format), 1);
  }
  EXPECT_EQ(table.distinct(), 1);
}

// A page of runs in many faces, or in formats Qt compares with one another, read within a budget:
// the steps the reading takes grow with the square of the formats Qt compares (so that the
// page's size bounds them), with their count for the rest; and past kMostHtmlFontFaces faces the
// text is shown in the face around it.
TEST(QtFormatTable, APagesReadingCountsWhatQtsTableCosts) {
  const struct {
    const char* name;
    std::function<QString(int)> run;
    bool alike;
  } cases[] = {
      {"font faces", [](int k) { return QStringLiteral("<font face=\"Face%1\">x</font>").arg(k); }, true},
      {"css faces", [](int k) { return QStringLiteral("<span style=\"font-family: Face%1\">x</span>").arg(k); }, true},
      {"colours of one sum",
       [](int k) {
         return QStringLiteral("<span style=\"color: #%1; background-color: #%2\">x</span>")
             .arg(k, 6, 16, QLatin1Char('0'))
             .arg(0x100000 - k, 6, 16, QLatin1Char('0'));
       },
       true},
      {"colours",
       [](int k) { return QStringLiteral("<span style=\"color: #%1\">x</span>").arg(k, 6, 16, QLatin1Char('0')); },
       false},
      {"links", [](int k) { return QStringLiteral("<a href=\"http://h/%1\">x</a>").arg(k); }, false},
      {"named places", [](int k) { return QStringLiteral("<a name=\"n%1\">x</a>").arg(k); }, false},
  };
  constexpr int kRuns = 2000;
  constexpr int64_t kAlike = std::min<int64_t>(kRuns, kMostHtmlFontFaces);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QString html;
    for (int k = 0; k < kRuns; ++k) html += c.run(k) + QStringLiteral("<br>");
    FLReadingMeter meter(int64_t(1) << 32);
    QTextDocument text;
    ASSERT_TRUE(ReadHtmlPage(html, &text, int64_t(1) << 32).read());
    const int64_t steps = meter.stepsTaken();
    if (c.alike) {
      EXPECT_GE(steps, kAlike * kAlike / 2);
    } else {
      EXPECT_LE(steps, kAlike * kAlike / 4);
    }
  }
}

TEST(QtFormatTable, FacesPastTheBoundAreTheFaceAroundThem) {
  constexpr int kFaces = int(kMostHtmlFontFaces) + 200;
  QString html;
  for (int k = 0; k < kFaces; ++k) html += QStringLiteral("<p><font face=\"Face%1\">w%1</font></p>").arg(k);
  QTextDocument text;
  ASSERT_TRUE(ReadHtmlPage(html, &text, int64_t(1) << 32).read());
  QSet<QString> faces;
  int words = 0, plain = 0;
  for (QTextBlock block = text.begin(); block.isValid(); block = block.next()) {
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.text().startsWith(u'w')) continue;
      ++words;
      const QStringList families = fragment.charFormat().fontFamilies().toStringList();
      if (families.isEmpty()) {
        ++plain;
        continue;
      }
      faces.insert(families.first());
      // A face kept is the run's own.
      EXPECT_EQ(families.first().mid(4), fragment.text().mid(1));
    }
  }
  EXPECT_EQ(words, kFaces);
  EXPECT_EQ(faces.size(), kMostHtmlFontFaces);
  EXPECT_EQ(plain, kFaces - int(kMostHtmlFontFaces));
}

}  // namespace
