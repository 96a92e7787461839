// The RTF reader's share of holding a document to its bounds: the steps it charges (its tokens,
// the walks of its edits, the style names it sorts) grow as the document does, and text is no
// bound on a paragraph's length.
#include "framlet/foundation/flReadingMeter.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmRtfReader.h"

#include <QString>

#include <gtest/gtest.h>

#include <functional>

namespace {

// A table of 101 columns of a letter each, or a style sheet of styles each used by one paragraph,
// took time as the square of its rows or styles: four times the document takes about four times
// the steps.
TEST(RtfMeterReading, StepsGrowAsTheTableOrTheStyleSheet) {
  const struct {
    const char* name;
    std::function<QString(int)> rtf;
    int n;
  } cases[] = {
      {"table rows",
       [](int rows) {
         QString rtf = QStringLiteral("{\\rtf1\\trowd");
         for (int x = 1; x <= 101; ++x) rtf += QStringLiteral("\\cellx%1").arg(100 * x);
         return rtf + (QStringLiteral("\\intbl ") + QStringLiteral("x\\cell ").repeated(101) + QStringLiteral("\\row "))
                          .repeated(rows) + u'}';
       },
       60},
      {"styles",
       [](int styles) {
         QString sheet = QStringLiteral("{\\rtf1{\\stylesheet{\\s0 Normal;}"), body;
         for (int s = 1; s <= styles; ++s) {
           sheet += QStringLiteral("{\\s%1\\b Style %1;}").arg(s);
           body += QStringLiteral("\\pard\\s%1 Paragraph %1\\par ").arg(s);
         }
         return sheet + u'}' + body + u'}';
       },
       250},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int64_t steps[2] = {};
    for (int k = 0; k < 2; ++k) {
      const QString rtf = c.rtf(c.n << (2 * k));
      FLReadingMeter meter(0);
      GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
      ASSERT_EQ(ImportRtf(doc.get(), rtf, kRtfModeNormal), kRtfImportOk);
      steps[k] = meter.stepsTaken();
      EXPECT_LE(steps[k], rtf.size() * kRtfStepsPerUnit + kRtfLeastSteps);
    }
    EXPECT_GT(steps[0], 0);
    EXPECT_LE(steps[1], steps[0] * 9 / 2);
  }
}

// A paragraph, a run of escaped bytes or of letters past Latin-1 longer than the reader's token is
// read whole, in tokens one after another.
TEST(RtfMeterReading, ParagraphsOfMillionsOfLettersAreRead) {
  const struct {
    const char* name;
    QString text;   // as the RTF writes it
    qsizetype length;  // in the paragraph
  } cases[] = {
      {"letters", QString(2100000, u'x'), 2100000},
      {"letters past Latin-1", QString(2000001, QChar(0x4E00)), 2000001},
      {"escaped bytes", QStringLiteral("\\'e9").repeated(2000010), 2000010},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    ASSERT_EQ(ImportRtf(doc.get(), QStringLiteral("{\\rtf1 ") + c.text + QStringLiteral("\\par}"), kRtfModeNormal),
              kRtfImportOk);
    EXPECT_GE(doc->userLength - BodyStart(doc.get()), c.length);
    EXPECT_LE(doc->userLength - BodyStart(doc.get()), c.length + 2);
  }
}

}  // namespace
