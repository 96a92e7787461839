// Delimited text out of the sheet: sized by the cells that hold content, and refused, with the
// reason, when the cells lie so far apart that the text would be unreasonably large.
#include "PackageTestSupport.h"
#include "calculator/fileformats/caDif.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CAFormat.h"
#include "platform/FLError.h"

#include <QFileInfo>

#include <functional>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace {

class TextExportTest : public PackageTest {};

TEST_F(TextExportTest, OverflowPlaceholdersAddNoColumns) {
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(QString(200, QLatin1Char('w')));
  document.cellAtGridPointImperative({1, 1})->setFormula(QStringLiteral("x"));
  document.evaluate();
  ASSERT_NE(document.cellAtGridPoint({0, 0}), nullptr);
  ASSERT_GT(document.cellAtGridPoint({0, 0})->extraColumns(), 2u);
  ASSERT_GT(document.maxGridPoint(true).x, 2);  // drawn over, occupied by nothing
  const struct {
    bool commas;
    const char* name;
    QString expected;
  } cases[] = {
      {true, "wide.csv", QString(200, QLatin1Char('w')) + QStringLiteral(",\n,x\n")},
      {false, "wide.txt", QString(200, QLatin1Char('w')) + QStringLiteral("\t\n\tx\n")},
  };
  for (const auto& c : cases) {
    const QString path = scratch(QString::fromLatin1(c.name));
    FLError error;
    ASSERT_TRUE(document.saveToTextFile(path, c.commas, &error)) << error.reason.toStdString();
    EXPECT_EQ(ReadFileText(path), c.expected) << c.name;
  }
}

TEST_F(TextExportTest, AFormattedCellCountsAsContent) {
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("a"));
  CAFormat bold;
  bold.setBold(true);
  document.cellAtGridPointImperative({2, 0})->setFormat(bold);
  const QString path = scratch(QStringLiteral("formatted.csv"));
  FLError error;
  ASSERT_TRUE(document.saveToTextFile(path, true, &error));
  EXPECT_EQ(ReadFileText(path), QStringLiteral("a,,\n"));
}

TEST_F(TextExportTest, ATextOfCellsTooFarApartIsRefusedAndNothingIsWritten) {
  const struct {
    GridPoint far;
    bool refused;
  } cases[] = {
      {{100, 10000000}, true},  // a billion fields
      {{9, 1000}, false},
  };
  for (const auto& c : cases) {
    CADocument document;
    document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
    document.cellAtGridPointImperative(c.far)->setFormula(QStringLiteral("2"));
    const QString path = scratch(QStringLiteral("far.csv"));
    ASSERT_TRUE(WriteFileBytes(path, "earlier"));
    FLError error;
    EXPECT_EQ(document.saveToTextFile(path, true, &error), !c.refused) << c.far.y;
    if (c.refused) {
      EXPECT_EQ(error.code, kTextTooLargeCode);
      EXPECT_EQ(error.reason, QLatin1String(kTextTooLargeReason));
      EXPECT_EQ(ReadFileText(path), QStringLiteral("earlier"));
    } else {
      EXPECT_TRUE(ReadFileText(path).endsWith(QStringLiteral(",,,,,,,,,2\n")));
    }
  }
}

// Formats that write every row and column up to the far cell refuse it before they make
// anything row by row, or any file or folder at the path.
TEST_F(TextExportTest, EveryGridExportRefusesACellFarDown) {
  InstallFileFormatServices();
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  document.cellAtGridPointImperative({0, int64_t(1) << 31})->setFormula(QStringLiteral("2"));
  for (const char* name : {"far.csv", "far.txt", "far.dif", "far.html"}) {
    const QString path = scratch(QString::fromLatin1(name));
    FLError error;
    EXPECT_FALSE(document.saveCore(path, false, &error)) << name;
    EXPECT_EQ(error.code, kTextTooLargeCode) << name;
    EXPECT_EQ(error.reason, QLatin1String(kTextTooLargeReason)) << name;
    EXPECT_FALSE(QFileInfo::exists(path)) << name;
  }
}

// Each text file is counted as it is written: a text that takes n bytes is refused where at
// most n - 1 may be written and made where n may, whatever the sheet's rows, columns, cells,
// stripes and backgrounds.
TEST_F(TextExportTest, EachTextIsCountedAsItIsWritten) {
  CAFormat tinted;
  tinted.setBackgroundKolor(0x640000FF);
  CAFormat bold;
  bold.setBold(true);
  const struct {
    const char* name;
    std::function<void(CADocument&)> make;
  } sheets[] = {
      {"one far cell", [](CADocument& d) { d.cellAtGridPointImperative({0, 3000})->setFormula(QStringLiteral("9")); }},
      {"texts to quote",
       [](CADocument& d) {
         d.cellAtGridPointImperative({1, 1})->setFormula(QStringLiteral("a, \"b\"\t\u00e9\u2028<&>"));
         d.cellAtGridPointImperative({3, 4})->setFormula(QStringLiteral(" \U0001F600 "));
         d.cellAtGridPointImperative({0, 7})->setFormula(QStringLiteral("=1/3"));
       }},
      {"stripes, columns and rows",
       [&](CADocument& d) {
         d.setStripeInterval(3);
         d.setStripeKolor(0x6400FF00);
         d.columnImperative(2)->setFormat(tinted);
         d.columnImperative(4)->setDigitCount(30);
         d.rowImperative(5)->setFormat(tinted);
         d.cellAtGridPointImperative({1, 2})->setFormula(QStringLiteral("x"));
         d.cellAtGridPointImperative({2, 2})->setFormat(bold);
         d.cellAtGridPointImperative({5, 40})->setFormula(QStringLiteral("http://example.org/?a&b"));
         CACell* box = d.cellAtGridPointImperative({0, 9});
         box->setValueType(kValueCheckbox);
         box->setChecked(true);
       }},
      // More text than a writer gathers before it goes into the bytes, in characters of every width.
      {"long texts",
       [](CADocument& d) {
         for (int64_t y = 0; y < 5; ++y)
           d.cellAtGridPointImperative({y % 2, y * 3})
               ->setFormula(QStringLiteral("\u00e9\u65e5\U0001F600a, \"q\"").repeated(90'000 + int(y) * 7));
       }},
  };
  for (const auto& sheet : sheets) {
    CADocument document;
    sheet.make(document);
    document.evaluate();
    const GridRange grid{{0, 0}, document.maxGridPoint()};
    const std::function<QByteArray(int64_t, bool*)> writers[] = {
        [&](int64_t most, bool* refused) { return DelimitedBytesOfBlock(document, grid, true, most, refused); },
        [&](int64_t most, bool* refused) { return DelimitedBytesOfBlock(document, grid, false, most, refused); },
        [&](int64_t most, bool* refused) { return DifBytesOfDocument(document, most, refused); },
        [&](int64_t most, bool* refused) {
          QByteArray page;
          *refused = !ExportRangeAsHtml(document, grid, QString(), &page, nullptr, most, nullptr);
          return page;
        },
    };
    for (size_t w = 0; w < std::size(writers); ++w) {
      SCOPED_TRACE(std::string(sheet.name) + " writer " + std::to_string(w));
      bool refused = true;
      const QByteArray text = writers[w](kMaxDelimitedTextLength, &refused);
      ASSERT_FALSE(refused);
      ASSERT_GT(text.size(), 0);
      EXPECT_FALSE(writers[w](text.size(), &refused).isNull());
      EXPECT_FALSE(refused);
      EXPECT_TRUE(writers[w](text.size() - 1, &refused).isEmpty());
      EXPECT_TRUE(refused);
      if (w == 0) { EXPECT_EQ(text, DelimitedTextOfBlock(document, grid, true).toUtf8()); }
    }
  }
}

TEST_F(TextExportTest, ABlockTooLargeForTextGivesNoText) {
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  document.cellAtGridPointImperative({3, 400000000})->setFormula(QStringLiteral("2"));
  bool tooLarge = false;
  EXPECT_TRUE(DelimitedTextOfBlock(document, GridRange{{0, 0}, {3, 400000000}}, true, &tooLarge).isNull());
  EXPECT_TRUE(tooLarge);
  EXPECT_EQ(DelimitedTextOfBlock(document, GridRange{{0, 0}, {3, 0}}, true, &tooLarge), QStringLiteral("1,,,\n"));
  EXPECT_FALSE(tooLarge);
}

// A text refused says why: the cells' own text, or the empty cells between them, past the
// bound; a file of either kind is refused with it before anything is written.
TEST_F(TextExportTest, ARefusalSaysWhetherTheCellsTextOrTheirDistanceIsTooLarge) {
  const QString farReason = QLatin1String(kTextTooLargeReason), textReason = QLatin1String(kCellTextTooLargeReason);
  const struct {
    const char* name;
    std::function<void(CADocument&)> make;
    bool cellText;
  } sheets[] = {
      {"far apart",
       [](CADocument& d) {
         d.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
         d.cellAtGridPointImperative({2, 20000})->setFormula(QStringLiteral("2"));
       },
       false},
      {"long texts side by side",
       [](CADocument& d) {
         for (int y = 0; y < 4; ++y)
           for (int x = 0; x < 3; ++x)
             d.cellAtGridPointImperative({x, y})->setFormula(QString(5000, QChar(u'a' + x + y)));
       },
       true},
  };
  for (const auto& sheet : sheets) {
    CADocument document;
    sheet.make(document);
    document.evaluate();
    const GridRange grid{{0, 0}, document.maxGridPoint()};
    const std::function<QByteArray(int64_t, bool*, QString*)> writers[] = {
        [&](int64_t most, bool* refused, QString* reason) {
          bool cellText = false;
          QByteArray bytes = DelimitedBytesOfBlock(document, grid, true, most, refused, &cellText);
          *reason = cellText ? textReason : farReason;
          return bytes;
        },
        [&](int64_t most, bool* refused, QString* reason) {
          bool cellText = false;
          QByteArray bytes = DifBytesOfDocument(document, most, refused, &cellText);
          *reason = cellText ? textReason : farReason;
          return bytes;
        },
        [&](int64_t most, bool* refused, QString* reason) {
          QByteArray page;
          FLError error;
          *refused = !ExportRangeAsHtml(document, grid, QString(), &page, &error, most, nullptr);
          *reason = error.reason;
          return page;
        },
    };
    for (size_t w = 0; w < std::size(writers); ++w) {
      SCOPED_TRACE(std::string(sheet.name) + " writer " + std::to_string(w));
      bool refused = true;
      QString reason;
      const QByteArray text = writers[w](kMaxDelimitedTextLength, &refused, &reason);
      ASSERT_FALSE(refused);
      writers[w](text.size() - 1, &refused, &reason);
      EXPECT_TRUE(refused);
      EXPECT_EQ(reason, sheet.cellText ? textReason : farReason);
    }
  }
}

// A page is written only where reading it again takes no more than an open may: a far cell's
// page, which the rich text would take gigabytes to read, is refused before any of it is made;
// what the writer counts is what the reader counts, to the byte.
TEST_F(TextExportTest, APageIsWrittenOnlyWhereItsReaderWouldTakeIt) {
  CADocument far;
  far.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  far.cellAtGridPointImperative({0, 2000000})->setFormula(QStringLiteral("2"));
  far.evaluate();
  const QString path = scratch(QStringLiteral("far.html"));
  FLError error;
  EXPECT_FALSE(far.saveToHtmlFile(path, &error));
  EXPECT_EQ(error.reason, QLatin1String(kTextTooLargeReason));
  EXPECT_FALSE(QFileInfo::exists(path));

  CAFormat tinted;
  tinted.setBackgroundKolor(0x640000FF);
  const std::function<void(CADocument&)> sheets[] = {
      [](CADocument& d) { d.cellAtGridPointImperative({2, 300})->setFormula(QStringLiteral("a <b> & c")); },
      [&](CADocument& d) {
        d.setStripeInterval(2);
        d.setStripeKolor(0x6400FF00);
        d.columnImperative(1)->setFormat(tinted);
        d.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("=1/3"));
        d.cellAtGridPointImperative({3, 50})->setFormula(QStringLiteral("http://example.org/?a&b"));
        CACell* box = d.cellAtGridPointImperative({1, 9});
        box->setValueType(kValueCheckbox);
        box->setChecked(true);
      },
  };
  for (size_t i = 0; i < std::size(sheets); ++i) {
    SCOPED_TRACE(i);
    CADocument document;
    sheets[i](document);
    document.evaluate();
    const GridRange grid{{0, 0}, document.maxGridPoint()};
    QByteArray page;
    ASSERT_TRUE(ExportRangeAsHtml(document, grid, QString(), &page, nullptr, kMaxDelimitedTextLength, nullptr));
    const int64_t cost = RichTextHtmlCost(QByteArrayView(page));
    QByteArray again;
    EXPECT_TRUE(ExportRangeAsHtml(document, grid, QString(), &again, nullptr, kMaxDelimitedTextLength, nullptr, cost));
    EXPECT_EQ(again, page);
    EXPECT_FALSE(
        ExportRangeAsHtml(document, grid, QString(), &again, nullptr, kMaxDelimitedTextLength, nullptr, cost - 1));
    EXPECT_EQ(cost, RichTextHtmlCost(QString::fromUtf8(page)));
  }
}

}  // namespace
