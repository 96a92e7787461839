// Grid points: A1 and "x,y" texts, range classes, file type codes, header variables and
// stop-word removal.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <random>

#include "calculator/model/CAGridPoint.h"
#include "support/LogCapture.h"

namespace {

bool Parse(const QString& text, GridPoint* point) {
  return ParseGridPoint(text, 0, text.size(), point);
}

TEST(GridPoint, ParsesA1ReferencesWithAbsoluteParts) {
  struct Row {
    const char* text;
    GridPoint point;
  };
  const Row rows[] = {
      {"A1", {0, 0}},
      {"$B$3", {~1, ~2}},
      {"aa10", {26, 9}},
      {"B$3", {1, ~2}},
      {"$B3", {~1, 2}},
      {"ZZZZZ1", {12356629, 0}},
      {"A01", {0, 0}},
      {"XFD1048576", {16383, 1048575}},
      {"A9223372036854775805", {0, 0x7FFFFFFFFFFFFFFC}},
  };
  for (const Row& row : rows) {
    GridPoint point{-7, -7};
    EXPECT_TRUE(Parse(QString::fromLatin1(row.text), &point)) << row.text;
    EXPECT_EQ(point, row.point) << row.text;
  }
}

TEST(GridPoint, RefusesMalformedOrOutOfGridReferences) {
  const char* const texts[] = {
      "A0",
      "A",
      "1",
      "$",
      "A$",
      "A1B",
      "",
      "$$A1",
      "A-1",
      "A 1",
      "1A",
      // Beyond "ZZZZZ", and rows that would reach the marker values or leave 64 bits.
      "AAAAAA1",
      "ZZZZZZZZZZ1",
      "A9223372036854775806",
      "A9223372036854775807",
      "A99999999999999999999999999",
  };
  for (const char* text : texts) {
    GridPoint point{-7, -7};
    EXPECT_FALSE(Parse(QString::fromLatin1(text), &point)) << text;
  }
}

TEST(GridPoint, ParsesOnlyTheGivenSpan) {
  const QString text = QStringLiteral("=SUM(B2:$C$10)");
  GridPoint point;
  ASSERT_TRUE(ParseGridPoint(text, 5, 7, &point));
  EXPECT_EQ(point, (GridPoint{1, 1}));
  ASSERT_TRUE(ParseGridPoint(text, 8, 13, &point));
  EXPECT_EQ(point, (GridPoint{~2, ~9}));
  EXPECT_FALSE(ParseGridPoint(text, 8, 100, &point));  // the ")" is inside the clipped span
  EXPECT_FALSE(ParseGridPoint(text, 7, 5, &point));
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

TEST(GridPoint, FormatsA1Text) {
  EXPECT_EQ(FormatGridPoint(~1, ~2), QStringLiteral("$B$3"));
  EXPECT_EQ(FormatGridPoint(27, 9), QStringLiteral("AB10"));
  EXPECT_EQ(FormatGridPoint(0, 0), QStringLiteral("A1"));
  EXPECT_EQ(FormatGridPoint(~0, 4), QStringLiteral("$A5"));
}

TEST(GridPoint, FormattedTextParsesBack) {
  for (int64_t x : {int64_t(0), int64_t(25), int64_t(26), int64_t(701), int64_t(12356629)}) {
    for (int64_t y : {int64_t(0), int64_t(99), int64_t(1048575)}) {
      for (int absolute = 0; absolute < 4; ++absolute) {
        const GridPoint point{absolute & 1 ? ~x : x, absolute & 2 ? ~y : y};
        GridPoint parsed;
        ASSERT_TRUE(Parse(FormatGridPoint(point), &parsed)) << FormatGridPoint(point).toStdString();
        EXPECT_EQ(parsed, point);
      }
    }
  }
}

TEST(GridPoint, PlainTextUsesStarForTheWildcard) {
  EXPECT_EQ(StringFromGridPoint(5, kGridWildcard), QStringLiteral("5,*"));
  EXPECT_EQ(StringFromGridPoint(-3, 12), QStringLiteral("-3,12"));
  EXPECT_EQ(GridPointFromStringCalc(QStringLiteral("5,*"), false), (GridPoint{5, kGridWildcard}));
  EXPECT_EQ(GridPointFromStringCalc(QStringLiteral("*,7"), false), (GridPoint{kGridWildcard, 7}));
  EXPECT_EQ(GridPointFromStringCalc(QStringLiteral("-3,12"), false), (GridPoint{-3, 12}));
  EXPECT_EQ(GridPointFromStringCalc(QStringLiteral("12"), false), (GridPoint{-1, -1}));
  EXPECT_EQ(GridPointFromStringCalc(QStringLiteral("1,2,3"), true), (GridPoint{0, 0}));
  // Parts read as the platform reads integers: garbage is 0, overlong values saturate.
  EXPECT_EQ(GridPointFromStringCalc(QStringLiteral("x,99999999999999999999"), false),
            (GridPoint{0, INT64_MAX}));
}

GridRange Range(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  return GridRange{{x0, y0}, {x1, y1}};
}

TEST(GridPoint, ClassifiesAndNormalisesRanges) {
  struct Row {
    GridRange range;
    int32_t type;
    GridRange normalized;
  };
  const int64_t W = kGridWildcard;
  const int64_t E = kGridOpenEnd;
  const Row rows[] = {
      {Range(2, 3, 2, 3), kRangeCell, Range(2, 3, 2, 3)},
      {Range(~2, ~3, ~2, ~3), kRangeAbsoluteCell, Range(2, 3, 2, 3)},
      {Range(1, 1, 4, 5), kRangeBlock, Range(1, 1, 4, 5)},
      {Range(~1, 1, 4, ~5), kRangeAbsoluteBlock, Range(1, 1, 4, 5)},
      {Range(W, 2, W, 6), kRangeRows, Range(0, 2, E, 6)},
      {Range(3, W, 5, W), kRangeColumns, Range(3, 0, 5, E)},
  };
  for (const Row& row : rows) {
    GridRange normalized;
    EXPECT_EQ(TypeOfRange(&normalized, row.range), row.type);
    EXPECT_EQ(normalized, row.normalized);
    EXPECT_EQ(TypeOfRange(nullptr, row.range), row.type);
  }
}

TEST(GridPoint, InvalidRangesAreReported) {
  LogCapture log;
  GridRange normalized;
  EXPECT_EQ(TypeOfRange(&normalized, Range(4, 5, 1, 1)), kRangeInvalid);
  EXPECT_EQ(normalized, Range(4, 5, 1, 1));
  EXPECT_TRUE(log.contains(QStringLiteral("Invalid row or column selection")));
  log.clear();
  EXPECT_EQ(TypeOfRange(nullptr, Range(kGridWildcard, 2, 5, 6)), kRangeInvalid);
  EXPECT_TRUE(log.contains(QStringLiteral("Invalid row selection")));
  EXPECT_EQ(TypeOfRange(nullptr, Range(-2, kGridWildcard, 5, kGridWildcard)), kRangeInvalid);
  EXPECT_TRUE(log.contains(QStringLiteral("Invalid column selection")));
  EXPECT_EQ(TypeOfRange(nullptr, Range(1, 1, kGridWildcard, 3)), kRangeInvalid);
  // An end before the start only after normalising.
  EXPECT_EQ(TypeOfRange(nullptr, Range(~5, 0, 2, 0)), kRangeInvalid);
}

TEST(GridPoint, PointInRangeIncludesTheBounds) {
  const GridRange block = Range(1, 1, 3, 4);
  EXPECT_TRUE(IsGridPointInRange(1, 1, block));
  EXPECT_TRUE(IsGridPointInRange(3, 4, block));
  EXPECT_TRUE(IsGridPointInRange(~2, ~2, block));
  EXPECT_FALSE(IsGridPointInRange(0, 1, block));
  EXPECT_FALSE(IsGridPointInRange(3, 5, block));
  EXPECT_TRUE(IsGridPointInRange(1000000, 3, Range(kGridWildcard, 3, kGridWildcard, 3)));
  EXPECT_FALSE(IsGridPointInRange(7, 4, Range(kGridWildcard, 3, kGridWildcard, 3)));
  LogCapture log;
  EXPECT_FALSE(IsGridPointInRange(2, 2, Range(3, 3, 1, 1)));
}

class FileTypes : public testing::Test {
 protected:
  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }
  QTemporaryDir dir_;
};

TEST_F(FileTypes, ExtensionsDecideWithoutRegardToCase) {
  struct Row {
    const char* path;
    int32_t type;
  };
  const Row rows[] = {
      {"/x/a.Numlet", kFileTypeNative}, {"/x/a.numlet_autosave", kFileTypeNative},
      {"/x/a.XLS", kFileTypeExcel},     {"/x/a.Txt", kFileTypeText},
      {"/x/a.text", kFileTypeText},     {"/x/a.CSV", kFileTypeCsv},
      {"/x/a.dif", kFileTypeDif},       {"/x/a.rtf", kFileTypeRtf},
      {"/x/a.rtfd/", kFileTypeRtfd},    {"/x/a.pdf", kFileTypePdf},
      {"/x/a.html", kFileTypeHtml},     {"/x/a.HTM", kFileTypeHtml},
      {"/x/a.png", kFileTypeImage},     {"/x/a.jpg", kFileTypeImage},
      {"/x/a.doc", kFileTypeUnknown},   {"/x.y/noextension", kFileTypeUnknown},
  };
  for (const Row& row : rows)
    EXPECT_EQ(FileTypeForFile(QString::fromLatin1(row.path)), row.type) << row.path;
}

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

TEST(HeaderVariables, BadComponentsAreReportedAndSkipped) {
  LogCapture log;
  HeaderVariables variables;
  InterpretHeaderString(QStringLiteral("l=p;x"), variables);
  EXPECT_EQ(variables[kHeaderFieldLeft], kHeaderPage);
  EXPECT_TRUE(log.contains(QStringLiteral("Invalid variable component")));
  InterpretHeaderString(QStringLiteral("q=p"), variables);
  EXPECT_TRUE(log.contains(QStringLiteral("Invalid variable field")));
  InterpretHeaderString(QStringLiteral("c=zz"), variables);
  EXPECT_TRUE(log.contains(QStringLiteral("Invalid variable")));
  EXPECT_EQ(variables, (HeaderVariables{0, 0, 0}));
}

TEST(StopWords, RemovesStopWordsWithTheSpaceAfterThem) {
  struct Row {
    const char* in;
    const char* out;
  };
  const Row rows[] = {
      {"The Great Gatsby", "Great Gatsby"},
      {"Gone with the Wind", "Gone Wind"},
      {"war and peace", "war peace"},
      {"Tale of", "Tale "},
      {"the", ""},
      // Words with other characters than letters stay.
      {"the2 of-us", "the2 of-us"},
      {"Nothing here", "Nothing here"},
  };
  for (const Row& row : rows) {
    QString text = QString::fromLatin1(row.in);
    GetNewStringWithoutStopListWords(text);
    EXPECT_EQ(text, QString::fromLatin1(row.out)) << row.in;
  }
}

TEST(StopWords, OnlyTheFirst500CharactersAreKept) {
  QString text = QStringLiteral("the ") + QString(600, QLatin1Char('x'));
  GetNewStringWithoutStopListWords(text);
  EXPECT_EQ(text, QString(496, QLatin1Char('x')));
  QString untouched = QString(600, QLatin1Char('y'));
  GetNewStringWithoutStopListWords(untouched);
  EXPECT_EQ(untouched.size(), 600);
}

}  // namespace
