// Delimited text out of the sheet: sized by the cells that hold content, and refused, with the
// reason, when the cells lie so far apart that the text would be unreasonably large.
#include "PackageTestSupport.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CAFormat.h"

#include <QFileInfo>

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
