// The package's small texts: the selection, padding and window rectangle as the reader takes
// them, the password file, the picture ids a package may name, and the key table.
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/model/caXmlTags.h"
#include "PackageTestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t W = kGridWildcard;

struct SelectionCase {
  const char* text;
  GridRange expected;
};

TEST(PackageTexts, SelectionRunsFromTheSmallerToTheLargerCoordinates) {
  const SelectionCase cases[] = {
      {"2,2:5,5", {{2, 2}, {5, 5}}},
      {"5,5:2,2", {{2, 2}, {5, 5}}},   // once (5,5)-(5,5): the start was not the minimum
      {"5,2:2,5", {{2, 2}, {5, 5}}},
      {"7,3:7,3", {{7, 3}, {7, 3}}},
      {"3,*:1,*", {{1, W}, {3, W}}},   // whole columns
      {"*,9:*,4", {{W, 4}, {W, 9}}},   // whole rows
      {"1,2:3,4:5,6", {{1, 2}, {3, 4}}},
      {"1,2", {}},                      // one part
      {"", {}},
      {"*,*:*,*", {}},                  // no axis left
      {"*,2:3,4", {}},                  // a wildcard at one end only
      {"-4,2:3,-1", {{0, 0}, {3, 2}}},  // absolute coordinates are no selection's
      {"x,y:z", {{0, 0}, {0, 0}}},
      {"9223372036854775807,1:2,2", {{0, 1}, {2, 2}}},
  };
  for (const SelectionCase& c : cases)
    EXPECT_EQ(SelectionFromString(QString::fromLatin1(c.text)), c.expected) << c.text;
}

TEST(PackageTexts, PaddingNeedsTwoParts) {
  EXPECT_EQ(PaddingFromString(QStringLiteral("25400,12700")), (GridPoint{25400, 12700}));
  EXPECT_EQ(PaddingFromString(QStringLiteral("1,2,3")), (GridPoint{1, 2}));
  EXPECT_EQ(PaddingFromString(QStringLiteral("38100")), (GridPoint{0, 0}));
  EXPECT_EQ(PaddingFromString(QStringLiteral("a,7")), (GridPoint{0, 7}));
  EXPECT_EQ(PaddingFromString(QString()), (GridPoint{0, 0}));
}

struct RectCase {
  const char* text;
  QRectF expected;
};

TEST(PackageTexts, RectanglesReadAsThePlatformNotationWithMissingNumbersZero) {
  const RectCase cases[] = {
      {"{{10, 20}, {800, 600.5}}", QRectF(10, 20, 800, 600.5)},
      {"{{-5.25, 1e2}, {3, 4}}", QRectF(-5.25, 100, 3, 4)},
      {"{{1, 2}, {3}}", QRectF(1, 2, 3, 0)},
      {"", QRectF()},
      {"garbage", QRectF()},
      {"{{1, 2}, {1e999, 4}}", QRectF(1, 2, 0, 4)},  // not finite
      {"{{1, 2}, {3, 4}} {5, 6}", QRectF(1, 2, 3, 4)},
  };
  for (const RectCase& c : cases) EXPECT_EQ(RectFromString(QString::fromLatin1(c.text)), c.expected) << c.text;
  EXPECT_EQ(StringFromRect(QRectF(10, 20, 800, 600.5)), QStringLiteral("{{10, 20}, {800, 600.5}}"));
  EXPECT_EQ(StringFromRect(QRectF()), QStringLiteral("{{0, 0}, {0, 0}}"));
  EXPECT_EQ(RectFromString(StringFromRect(QRectF(0.1, -7, 1.0 / 3, 2e9))), QRectF(0.1, -7, 1.0 / 3, 2e9));
}

TEST(PackageTexts, CellPointsFoldWhatNoCellCanBe) {
  EXPECT_EQ(CellPointFromString(QStringLiteral("4,7")), (GridPoint{4, 7}));
  EXPECT_EQ(CellPointFromString(QStringLiteral("-3,7")), (GridPoint{0, 7}));
  EXPECT_EQ(CellPointFromString(QStringLiteral("*,7")), (GridPoint{0, 7}));
  EXPECT_EQ(CellPointFromString(QStringLiteral("nonsense")), (GridPoint{0, 0}));
}

TEST(PackageTexts, PictureIdsAreLettersDigitsAndHyphens) {
  const char* accepted[] = {"5E1D0C2B-7A4F-4C3D-9B8A-0123456789AB", "a", "Z-9"};
  const char* refused[] = {"", "../escape", "..", "a/b", "a.png", "a b", "x\\y", "é", "-%2e%2e"};
  for (const char* id : accepted) EXPECT_TRUE(IsValidPictureId(QString::fromUtf8(id))) << id;
  for (const char* id : refused) EXPECT_FALSE(IsValidPictureId(QString::fromUtf8(id))) << id;
  EXPECT_TRUE(IsValidPictureId(QString(128, QLatin1Char('a'))));
  EXPECT_FALSE(IsValidPictureId(QString(129, QLatin1Char('a'))));
}

struct PasswordFileCase {
  QByteArray bytes;
  bool readable;
  const char* checkValue;
  const char* hint;
};

TEST(PackageTexts, PasswordFileHoldsACheckValueAndAHintLine) {
  const PasswordFileCase cases[] = {
      {"LA8JWFoXi2g\nIt is a test\n", true, "LA8JWFoXi2g", "It is a test"},
      {"LA8JWFoXi2g\n\n", true, "LA8JWFoXi2g", ""},
      {"LA8JWFoXi2g\n", true, "LA8JWFoXi2g", ""},
      {"LA8JWFoXi2g\nhint", true, "LA8JWFoXi2g", "hint"},
      {"LA8JWFoXi2g", false, "", ""},  // one line without a line feed
      {"", false, "", ""},
      {"\nhint\n", false, "", ""},      // no check value: no password could open it
      {"LA8J\xFF\nhint\n", false, "", ""},
      {"LA8JWFoXi2g\nGr\xC3\xBC\xC3\x9F" "e\n", true, "LA8JWFoXi2g", "Grüße"},
  };
  QTemporaryDir folder;
  const QString path = folder.filePath(QLatin1String(kPasswordFileName));
  for (const PasswordFileCase& c : cases) {
    ASSERT_TRUE(WriteFileBytes(path, c.bytes));
    const std::optional<CAPasswordFile> file = ReadPasswordFile(path);
    ASSERT_EQ(file.has_value(), c.readable) << c.bytes.toStdString();
    if (!file) continue;
    EXPECT_EQ(file->checkValue, QString::fromUtf8(c.checkValue));
    EXPECT_EQ(file->hint, QString::fromUtf8(c.hint));
  }
  EXPECT_FALSE(ReadPasswordFile(folder.filePath(QStringLiteral("missing.txt"))));
  EXPECT_EQ(PasswordFileText(QStringLiteral("LA8JWFoXi2g"), QString()), QStringLiteral("LA8JWFoXi2g\n\n"));
}

TEST(PackageTexts, DecodersOfTheFormatKnowEveryTagByNameAndNumber) {
  const QString xml = QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<spreadsheet><hunds/><100s/><88>1</88><zoom>2</zoom>"
      "<unknown/></spreadsheet>");
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(xml);
  ASSERT_TRUE(decoder);
  PrepareSpreadsheetDecoder(*decoder);
  std::vector<int32_t> keys;
  while (decoder->getNextTag())
    if (decoder->startTag()) keys.push_back(decoder->key());
  EXPECT_EQ(keys, (std::vector<int32_t>{kXmlSpreadsheet, kXmlHundredths, kXmlHundredths, kXmlZoom, kXmlZoom, 0}));
  EXPECT_EQ(SpreadsheetKeyTable()->size(), 89);
}

}  // namespace
