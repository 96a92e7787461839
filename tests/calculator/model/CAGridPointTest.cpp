// Grid points: A1 and "x,y" texts, range classes, file type codes, header variables and
// stop-word removal.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <random>

#include "calculator/model/CAGridPoint.h"
#include "support/TestFiles.h"

namespace {

bool Parse(const QString& text, GridPoint* point) { return ParseGridPoint(text, 0, text.size(), point); }

TEST(GridPoint, ParsesA1ReferencesWithAbsoluteParts) {
  struct Row { const char* text; GridPoint point; };
  const Row rows[] = {
      {"A1", {0, 0}}, {"$B$3", {~1, ~2}}, {"aa10", {26, 9}}, {"B$3", {1, ~2}}, {"ZZZZZ1", {12356629, 0}},
      {"XFD1048576", {16383, 1048575}}, {"A9223372036854775805", {0, 0x7FFFFFFFFFFFFFFC}},
  };
  for (const Row& row : rows) {
    GridPoint point{-7, -7};
    EXPECT_TRUE(Parse(QString::fromLatin1(row.text), &point)) << row.text;
    EXPECT_EQ(point, row.point) << row.text;
  }
}

TEST(GridPoint, RefusesMalformedOrOutOfGridReferences) {
  const char* const texts[] = {
      "A0", "A", "1", "A1B", "", "$$A1", "A-1", "1A",
      // Beyond "ZZZZZ", and rows that would reach the marker values or leave 64 bits.
      "AAAAAA1", "A9223372036854775806", "A9223372036854775807", "A99999999999999999999999999",
  };
  for (const char* text : texts) {
    GridPoint point{-7, -7};
    EXPECT_FALSE(Parse(QString::fromLatin1(text), &point)) << text;
  }
}

TEST(GridPoint, RandomTextParsesOnlyToPointsThatFormatBack) {
  const QString alphabet = QStringLiteral("$AZaz0199 ");
  std::mt19937 random(5);
  for (int round = 0; round < 20000; ++round) {
    QString text;
    const int length = int(random() % 12);
    for (int i = 0; i < length; ++i) text += alphabet[qsizetype(random() % alphabet.size())];
    GridPoint point;
    if (!Parse(text, &point)) continue;
    GridPoint again;
    ASSERT_TRUE(Parse(FormatGridPoint(point), &again)) << text.toStdString();
    EXPECT_EQ(again, point) << text.toStdString();
  }
}

TEST(GridPoint, TheGridEndsAtZZZZZAndBelowTheMarkers) {
  EXPECT_EQ(FormatGridPoint(LastGridColumn(), 0), QStringLiteral("ZZZZZ1"));
  // Past the last column the text is still a reference, never a bare row number.
  EXPECT_EQ(FormatGridPoint(LastGridColumn() + 1, 4), QStringLiteral("ZZZZZ5"));
  EXPECT_EQ(FormatGridPoint(~(LastGridColumn() + 7), ~int64_t(0)), QStringLiteral("$ZZZZZ$1"));
  const struct { GridPoint point; bool onGrid; } cases[] = {
      {{0, 0}, true}, {{LastGridColumn(), kLastGridRow}, true}, {{LastGridColumn() + 1, 0}, false},
      {{0, kLastGridRow + 1}, false}, {{-1, 0}, false}, {{kGridWildcard, 0}, false}, {{0, kGridNoPoint}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOnGrid(c.point), c.onGrid) << c.point.x << "," << c.point.y;
}

GridRange Range(int64_t x0, int64_t y0, int64_t x1, int64_t y1) { return GridRange{{x0, y0}, {x1, y1}}; }

TEST(GridPoint, ClassifiesAndNormalisesRanges) {
  struct Row { GridRange range; int32_t type; GridRange normalized; };
  const int64_t W = kGridWildcard;
  const int64_t E = kGridOpenEnd;
  const Row rows[] = {
      {Range(2, 3, 2, 3), kRangeCell, Range(2, 3, 2, 3)},
      {Range(~2, ~3, ~2, ~3), kRangeAbsoluteCell, Range(2, 3, 2, 3)},
      {Range(1, 1, 4, 5), kRangeBlock, Range(1, 1, 4, 5)},
      {Range(~1, 1, 4, ~5), kRangeAbsoluteBlock, Range(1, 1, 4, 5)},
      {Range(W, 2, W, 6), kRangeRows, Range(0, 2, E, 6)}, {Range(3, W, 5, W), kRangeColumns, Range(3, 0, 5, E)},
  };
  for (const Row& row : rows) {
    GridRange normalized;
    EXPECT_EQ(TypeOfRange(&normalized, row.range), row.type);
    EXPECT_EQ(normalized, row.normalized);
    EXPECT_EQ(TypeOfRange(nullptr, row.range), row.type);
  }
}

class FileTypes : public testing::Test {
 protected:
  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }
  QTemporaryDir dir_;
};

TEST_F(FileTypes, FilesWithoutExtensionAreJudgedByContent) {
  EXPECT_EQ(FileTypeForFile(write("notes", "a,b\n1,2\n")), kFileTypeText);
  EXPECT_EQ(FileTypeForFile(write("letter", "{\\rtf1\\ansi hello}")), kFileTypeRtf);
  QByteArray pockwell(400, '\0');
  pockwell[0] = 2;
  pockwell[2] = 1;
  EXPECT_EQ(FileTypeForFile(write("sheet", pockwell)), kFileTypePockwell);
  QByteArray pict(600, '\0');
  pict[522] = 0x00;
  pict[523] = 0x11;
  pict[524] = 0x02;
  pict[525] = char(0xFF);
  EXPECT_EQ(FileTypeForFile(write("picture", pict)), kFileTypeImage);
  QImage image(4, 4, QImage::Format_RGB32);
  image.fill(Qt::red);
  const QString png = dir_.filePath(QStringLiteral("photo"));
  ASSERT_TRUE(image.save(png, "PNG"));
  EXPECT_EQ(FileTypeForFile(png), kFileTypeImage);
  EXPECT_EQ(FileTypeForFile(write("binary", QByteArray("\x01\x02\x03zz", 5))), kFileTypeUnknown);
  EXPECT_EQ(FileTypeForFile(write("empty", QByteArray())), kFileTypeUnknown);
  EXPECT_EQ(FileTypeForFile(dir_.filePath(QStringLiteral("missing"))), kFileTypeUnknown);
  QDir(dir_.path()).mkdir(QStringLiteral("folder"));
  EXPECT_EQ(FileTypeForFile(dir_.filePath(QStringLiteral("folder"))), kFileTypeUnknown);
}

TEST(HeaderVariables, FirstComponentNamingAFieldWins) {
  HeaderVariables variables{9, 9, 9};
  InterpretHeaderString(QStringLiteral("l=p;l=d"), variables);
  EXPECT_EQ(variables, (HeaderVariables{kHeaderPage, kHeaderNothing, kHeaderNothing}));
  InterpretHeaderString(QStringLiteral("c=pofp;r=d+;l=f"), variables);
  EXPECT_EQ(variables, (HeaderVariables{kHeaderFileName, kHeaderPageOfPages, kHeaderLongDate}));
  InterpretHeaderString(QStringLiteral("r=p/p;c=t;l=d"), variables);
  EXPECT_EQ(variables, (HeaderVariables{kHeaderDate, kHeaderTime, kHeaderPageSlashPages}));
  InterpretHeaderString(QString(), variables);
  EXPECT_EQ(variables, (HeaderVariables{0, 0, 0}));
}

TEST(StopWords, RemovesStopWordsWithTheSpaceAfterThem) {
  struct Row { const char* in; const char* out; };
  const Row rows[] = {
      {"The Great Gatsby", "Great Gatsby"}, {"Gone with the Wind", "Gone Wind"}, {"war and peace", "war peace"},
      {"Tale of", "Tale "}, {"the", ""},
      // Words with other characters than letters stay.
      {"the2 of-us", "the2 of-us"}, {"Nothing here", "Nothing here"},
  };
  for (const Row& row : rows) {
    QString text = QString::fromLatin1(row.in);
    GetNewStringWithoutStopListWords(text);
    EXPECT_EQ(text, QString::fromLatin1(row.out)) << row.in;
  }
}

}  // namespace
