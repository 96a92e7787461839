// The package's small texts: cell points as the reader takes them, the picture ids a package may
// name, and the password file.
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/model/caXmlTags.h"
#include "PackageTestSupport.h"

#include <gtest/gtest.h>

namespace {

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

struct PasswordFileCase { QByteArray bytes; bool readable; const char* checkValue; const char* hint; };

TEST(PackageTexts, PasswordFileHoldsACheckValueAndAHintLine) {
  const PasswordFileCase cases[] = {
      {"LA8JWFoXi2g\nIt is a test\n", true, "LA8JWFoXi2g", "It is a test"},
      {"LA8JWFoXi2g\n", true, "LA8JWFoXi2g", ""}, {"LA8JWFoXi2g\nhint", true, "LA8JWFoXi2g", "hint"},
      {"LA8JWFoXi2g", false, "", ""},  // one line without a line feed
      {"\nhint\n", false, "", ""},      // no check value: no password could open it
      {"LA8J\xFF\nhint\n", false, "", ""}, {"LA8JWFoXi2g\nGr\xC3\xBC\xC3\x9F" "e\n", true, "LA8JWFoXi2g", "Grüße"},
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

}  // namespace
