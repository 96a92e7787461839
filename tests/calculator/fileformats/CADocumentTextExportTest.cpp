// Delimited text out of the sheet: sized by the cells that hold content, and refused, with the
// reason, when the cells lie so far apart that the text would be unreasonably large.
#include "PackageTestSupport.h"
#include "calculator/fileformats/caDif.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CAFormat.h"

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
  ASSERT_GT(document.cellAtGridPoint({0, 0})->extraColumns(), 2u);
  ASSERT_GT(document.maxGridPoint().x, 2);
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

}  // namespace
