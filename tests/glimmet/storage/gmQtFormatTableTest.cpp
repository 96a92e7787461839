// What Qt's table of formats costs a reading: formats Qt's hash cannot tell apart are compared
// with one another at every lookup. The reading moves each past a few of them to a hash of its own
// and counts the comparisons that remain in its steps, so that a page of thousands of such formats
// reads in time that grows with it, every format kept.
#include "framlet/foundation/flReadingMeter.h"
#include "glimmet/storage/gmHtmlReader.h"
#include "glimmet/storage/gmQtFormatTable.h"

#include <QBrush>
#include <QColor>
#include <QSet>
#include <QTextCursor>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

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

// N distinct formats handed over twice: those Qt's hash cannot tell apart share a hash (the shapes
// are those Qt takes seconds over, bench/benchQtFormatShapes), and handed over they are spread
// over hashes of a few each, so that every lookup costs a few comparisons; the others are left as
// they are. The same format handed over again is one format, spread alike.
TEST(QtFormatTable, FormatsQtCannotTellApartAreSpreadOverHashesOfAFewEach) {
  constexpr int kCount = 2000;
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    GMQtFormatTable table;
    QSet<size_t> written, handed;
    int64_t cost = 0;
    for (int round = 0; round < 2; ++round) {
      for (int k = 0; k < kCount; ++k) {
        QTextCharFormat format;
        shape.make(format, k);
        written.insert(QtFormatTableHash(format));
        const QTextCharFormat before = format;
        cost += table.handOver(format);
        handed.insert(QtFormatTableHash(format));
        // Nothing the format shows is changed.
        QTextCharFormat shown = format;
        shown.clearProperty(kQtHashSpreadProperty);
        EXPECT_EQ(shown, before);
      }
    }
    EXPECT_EQ(table.distinct(), kCount);
    if (shape.alike) {
      EXPECT_LE(written.size(), 2);
    } else {
      EXPECT_EQ(written.size(), kCount);
    }
    EXPECT_GE(handed.size(), kCount / kMostAlikeInQt);
    EXPECT_LE(cost, 2 * kCount * kMostAlikeInQt);
  }
}

// Two distinct formats whose hashes both match are still two: every shape's formats, handed to a
// table whose hash of the whole format makes them all alike, are counted one by one and spread as
// they would be, and the same format handed again is found as itself.
TEST(QtFormatTable, FormatsWhoseHashesMatchAreComparedBeforeTheyAreTakenForOne) {
  constexpr int kCount = 200;
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    GMQtFormatTable table([](const QByteArray&) { return size_t(7); });
    std::vector<int> spreads(kCount);
    for (int round = 0; round < 2; ++round) {
      for (int k = 0; k < kCount; ++k) {
        QTextCharFormat format;
        shape.make(format, k);
        table.handOver(format);
        const int spread = format.intProperty(kQtHashSpreadProperty);
        if (round == 0)
          spreads[size_t(k)] = spread;
        else
          EXPECT_EQ(spread, spreads[size_t(k)]) << k;
      }
      EXPECT_EQ(table.distinct(), kCount) << "round " << round;
    }
  }
}

TEST(QtFormatTable, AlikeFormatsAreOne) {
  GMQtFormatTable table;
  for (int k = 0; k < 100; ++k) {
    QTextCharFormat format;
    format.setFontWeight(700);
    format.setForeground(QColor(Qt::red));
    format.setFontFamilies({QStringLiteral("Face")});
    EXPECT_EQ(table.handOver(format), 1);
  }
  EXPECT_EQ(table.distinct(), 1);
}

// Qt's table agrees: formats spread apart are as many formats in a text as they were, each run
// keeping its own, and the text reads as written.
TEST(QtFormatTable, SpreadFormatsAreTheirOwnInQtsText) {
  GMQtFormatTable table;
  QTextDocument text;
  QTextCursor cursor(&text);
  for (int k = 0; k < 300; ++k) {
    QTextCharFormat format;
    format.setFontFamilies({QStringLiteral("Face%1").arg(k)});
    table.handOver(format);
    cursor.insertText(QStringLiteral("w%1 ").arg(k), format);
  }
  int k = 0;
  for (QTextBlock::iterator it = text.begin().begin(); !it.atEnd(); ++it, ++k) {
    const QTextFragment fragment = it.fragment();
    EXPECT_EQ(fragment.text(), QStringLiteral("w%1 ").arg(k));
    EXPECT_EQ(fragment.charFormat().fontFamilies().toStringList(), QStringList{QStringLiteral("Face%1").arg(k)});
  }
  EXPECT_EQ(k, 300);
}

// Pages of runs each in a format of its own, read within a budget: those whose formats Qt cannot
// tell apart take steps that grow with the runs as the others do (not with their square), and
// every run keeps its look.
TEST(QtFormatTable, APagesFormatsTakeStepsThatGrowWithThem) {
  const struct {
    const char* name;
    std::function<QString(int)> run;
  } cases[] = {
      {"font faces", [](int k) { return QStringLiteral("<font face=\"Face%1\">x</font>").arg(k); }},
      {"css faces", [](int k) { return QStringLiteral("<span style=\"font-family: Face%1\">x</span>").arg(k); }},
      {"colours of one sum",
       [](int k) {
         return QStringLiteral("<span style=\"color: #%1; background-color: #%2\">x</span>")
             .arg(k, 6, 16, QLatin1Char('0'))
             .arg(0x100000 - k, 6, 16, QLatin1Char('0'));
       }},
      {"colours",
       [](int k) { return QStringLiteral("<span style=\"color: #%1\">x</span>").arg(k, 6, 16, QLatin1Char('0')); }},
      {"links", [](int k) { return QStringLiteral("<a href=\"http://h/%1\">x</a>").arg(k); }},
      {"named places", [](int k) { return QStringLiteral("<a name=\"n%1\">x</a>").arg(k); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int64_t steps[2] = {};
    for (int size = 0; size < 2; ++size) {
      const int runs = 1500 << (2 * size);
      QString html;
      for (int k = 0; k < runs; ++k) html += c.run(k) + QStringLiteral("<br>");
      FLReadingMeter meter(int64_t(1) << 32);
      QTextDocument text;
      ASSERT_TRUE(ReadHtmlPage(html, &text, int64_t(1) << 32).read());
      steps[size] = meter.stepsTaken();
      if (size == 0) {
        // Each run keeps its look: its own face or colours.
        QSet<QString> looks;
        for (QTextBlock block = text.begin(); block.isValid(); block = block.next())
          for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            looks.insert(format.fontFamilies().toStringList().join(u',') + format.foreground().color().name() +
                         format.background().color().name() + format.anchorHref());
          }
        if (QString::fromLatin1(c.name) != QLatin1String("named places")) {
          EXPECT_GE(looks.size(), runs);
        }
      }
    }
    // Four times the runs, at most five and a half times the steps.
    EXPECT_LE(steps[1], steps[0] * 11 / 2);
  }
}

}  // namespace
