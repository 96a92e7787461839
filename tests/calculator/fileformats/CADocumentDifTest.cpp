// DIF: the reader accepts what the format allows and refuses the rest with -50, the writer
// writes values from the cells and not from how they are shown, and files and sheets survive
// the round trip.
#include "PackageTestSupport.h"
#include "ImportAlertRecorder.h"
#include "TextImportRecorder.h"
#include "calculator/fileformats/caDif.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/caColumnLabels.h"
#include "framlet/foundation/flCollectionExtensions.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <utility>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/resource.h>

namespace {

constexpr const char* kHeader = "TABLE\n0,1\n\"Sheet\"\nVECTORS\n0,2\n\"\"\nTUPLES\n0,2\n\"\"\nDATA\n0,0\n\"\"\n";

QStringList DifLines(const char* data, const char* header = kHeader) {
  return TextLines(QString::fromUtf8(header) + QString::fromUtf8(data));
}

TEST(LoadDifLinesTest, EntersEachValueKind) {
  const struct { const char* data; const char* cells; } cases[] = {
      {"-1,0\nBOT\n0,42\nV\n1,0\n\"text\"\n-1,0\nEOD\n", "0,0=42|1,0=text"},
      // Doubled quotes inside a string become one; the enclosing quotes alone are removed.
      {"-1,0\nBOT\n1,0\n\"say \"\"hi\"\"\"\n1,0\n\"\"\"q\"\"\"\n-1,0\nEOD\n", "0,0=say \"hi\"|1,0=\"q\""},
      // An empty string enters nothing but takes its column.
      {"-1,0\nBOT\n1,0\n\"\"\n0,-1.5E+3\nV\n-1,0\nEOD\n", "1,0=-1.5E+3"},
      {"-1,0\nBOT\n0,0\nNA\n0,0\nERROR\n-1,0\nEOD\n", "0,0=<N/A>|1,0=<Value>"},
      // Rows of different lengths.
      {"-1,0\nBOT\n1,0\n\"a\"\n-1,0\nBOT\n1,0\n\"b\"\n1,0\n\"c\"\n-1,0\nEOD\n", "0,0=a|0,1=b|1,1=c"},
      // CRLF and spaces around the words, as LibreOffice writes them.
      {"-1,0\r\nBOT \r\n0,7\r\nV\r\n-1,0\r\nEOD\r\n", "0,0=7"},
      // A value without its number enters nothing.
      {"-1,0\nBOT\n0,\nV\n1,0\n\"b\"\n-1,0\nEOD\n", "1,0=b"},
      // A complete table without rows.
      {"-1,0\nEOD\n", ""},
      // A string holding line breaks, written raw as other programs write it, runs to its
      // closing quote; the next pair follows it.
      {"-1,0\nBOT\n1,0\n\"two\nlines \"\"q\"\"\n\"\n1,0\n\"b\"\n-1,0\nBOT\n0,3\nV\n-1,0\nEOD\n",
       "0,0=two\nlines \"q\"\n|1,0=b|0,1=3"},
      {"-1,0\r\nBOT\r\n1,0\r\n\"a\r\n\r\nb\"\r\n-1,0\r\nEOD\r\n", "0,0=a\n\nb"},
      // A quote that never closes keeps the value to its own line.
      {"-1,0\nBOT\n1,0\n\"open\n-1,0\nEOD\n", "0,0=\"open"},
  };
  for (const auto& c : cases) {
    TextImportRecorder recorder;
    FLError error;
    EXPECT_TRUE(LoadDifLines(DifLines(c.data), recorder, &error)) << c.data;
    EXPECT_EQ(recorder.summary(), QString::fromUtf8(c.cells)) << c.data;
  }
  TextImportRecorder recorder;
  ASSERT_TRUE(LoadDifLines(DifLines("-1,0\nBOT\n0,1\nTRUE\n0,0\nFALSE\n-1,0\nEOD\n"), recorder, nullptr));
  EXPECT_EQ(recorder.cells.at({0, 0}).type, kImportCheckbox);
  EXPECT_EQ(recorder.cells.at({0, 0}).value, QVariant(true));
  EXPECT_EQ(recorder.cells.at({0, 1}).value, QVariant(false));
  // The header's topics may come as TUPLES before VECTORS.
  EXPECT_TRUE(LoadDifLines(DifLines("-1,0\nEOD\n", "TABLE\n0,1\n\"\"\nTUPLES\n0,0\n\"\"\nVECTORS\n0,0\n\"\"\nDATA\n0,0\n\"\"\n"),
                           recorder, nullptr));
}

TEST(LoadDifLinesTest, RefusesWhatIsNotDifAndKeepsTheCellsBefore) {
  const struct { const char* header; const char* data; const char* cellsBefore; } cases[] = {
      {"TABLE\n0,1\n\"\"\nVECTORS\n0,0\n\"\"\nTUPLES\n0,0\n\"\"\n", "", ""},
      {"TABLE\n0,1\n\"\"\nLABELS\n0,0\n\"\"\nTUPLES\n0,0\n\"\"\nDATA\n0,0\n\"\"\n", "-1,0\nEOD\n", ""},
      {"TABLES\n0,1\n\"\"\nVECTORS\n0,0\n\"\"\nTUPLES\n0,0\n\"\"\nDATA\n0,0\n\"\"\n", "-1,0\nEOD\n", ""},
      {kHeader, "", ""}, {kHeader, "0,0\nEOD\n", ""}, {kHeader, "-1,0\nEOF\n", ""},
      // A row that ends without "-1,0" before the end of the file.
      {kHeader, "-1,0\nBOT\n1,0\n\"a\"\n", "0,0=a"},
      // A type line without its value line.
      {kHeader, "-1,0\nBOT\n1,0\n\"a\"\n0,5\n", "0,0=a"}, {kHeader, "-1,0\nBOT\n0,5\nVALUE\n-1,0\nEOD\n", ""},
      {kHeader, "-1,0\nBOT\n2,0\n\"x\"\n-1,0\nEOD\n", ""}, {kHeader, "-1,0\nBOT\n0,1,5\nV\n-1,0\nEOD\n", ""},
      {kHeader, "-1,0\nBOT\n0,3\nV\n-1,0\nBOT\n", "0,0=3"},
  };
  for (const auto& c : cases) {
    TextImportRecorder recorder;
    FLError error;
    EXPECT_FALSE(LoadDifLines(DifLines(c.data, c.header), recorder, &error)) << c.header << c.data;
    EXPECT_EQ(error.code, -50);
    EXPECT_EQ(recorder.summary(), QString::fromUtf8(c.cellsBefore)) << c.data;
  }
}

TEST(WriteDifFieldTest, WritesPairsWithTheirWords) {
  const struct { const char* text; int code; int64_t column; const char* written; } cases[] = {
      {"a", kDifString, 0, "-1,0\nBOT\n1,0\n\"a\"\n"},
      {"1,5 \"x\" \xC3\xBC\xE2\x82\xAC", kDifString, 1, "1,0\n\"1,5 \"\"x\"\" \xC3\xBC\xE2\x82\xAC\"\n"},
      {"two\nlines\tand\x01 more", kDifString, 1, "1,0\n\"two lines and more\"\n"},
      {"", kDifString, 2, "1,0\n\"\"\n"}, {"-2.5", kDifValue, 1, "0,-2.5\nV\n"}, {"1", kDifTrue, 1, "0,1\nTRUE\n"},
      {"0", kDifFalse, 1, "0,0\nFALSE\n"}, {"0", kDifError, 1, "0,0\nERROR\n"},
  };
  for (const auto& c : cases) {
    QString output;
    WriteDifField(output, QString::fromUtf8(c.text), c.code, c.column);
    EXPECT_EQ(output, QString::fromUtf8(c.written)) << c.text;
  }
}

class DifFileTest : public PackageTest {};

TEST_F(DifFileTest, NumbersGoOutFromTheirValuesNotTheirDisplay) {
  CADocument document;
  CACell* grouped = document.cellAtGridPointImperative({0, 0});
  grouped->setFormula(QStringLiteral("1234.5"));
  CAFormat format;
  CANumberFormat numberFormat;
  numberFormat.setGroupThousands(true);
  numberFormat.setDisplay(kDisplayMoney);
  format.setNumberFormat(&numberFormat);
  grouped->setFormat(format);
  ASSERT_TRUE(grouped->displayText(false).contains(QLatin1Char(',')));
  document.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("=1/3"));
  document.cellAtGridPointImperative({2, 0})->setFormula(QStringLiteral("\u00FCber, \"x\""));
  document.cellAtGridPointImperative({0, 1})->setFormula(QStringLiteral("=1/0"));
  document.cellAtGridPointImperative({1, 1})->setFormula(QStringLiteral("=MODE(1,2,3)"));
  document.setCellAtPoint({2, 1}, QVariant(true), kImportCheckbox);
  document.evaluate();

  const QString path = scratch(QStringLiteral("out.dif"));
  FLError error;
  ASSERT_TRUE(document.saveToDifFile(path, &error));
  const QString expected = QStringLiteral("TABLE\n0,1\n\"") + appName() +
                           QStringLiteral("\"\nVECTORS\n0,3\n\"\"\nTUPLES\n0,2\n\"\"\nDATA\n0,0\n\"\"\n"
                                          "-1,0\nBOT\n0,1234.5\nV\n0,0.33333333333333333334\nV\n1,0\n\"\u00FCber, \"\"x\"\"\"\n"
                                          "-1,0\nBOT\n0,0\nERROR\n0,0\nNA\n0,1\nTRUE\n"
                                          "-1,0\nEOD\n");
  EXPECT_EQ(ReadFileText(path), expected);
}

TEST_F(DifFileTest, SheetAndFileRoundTripsKeepValuesTextsAndCheckCells) {
  // DIF -> sheet -> DIF gives the same data.
  const QByteArray data =
      "-1,0\nBOT\n1,0\n\"Name\"\n1,0\n\"Amount\"\n1,0\n\"Done\"\n"
      "-1,0\nBOT\n1,0\n\"\xC3\x9C" "ber, \"\"quoted\"\"\"\n0,-3.25\nV\n0,1\nTRUE\n"
      "-1,0\nBOT\n1,0\n\"\"\n0,0.1\nV\n0,0\nFALSE\n"
      "-1,0\nEOD\n";
  const QString first = scratch(QStringLiteral("first.dif"));
  ASSERT_TRUE(WriteFileBytes(first, QByteArray("TABLE\n0,1\n\"Other\"\nVECTORS\n0,3\n\"\"\nTUPLES\n0,3\n\"\"\nDATA\n0,0\n\"\"\n") + data));
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(first, &error), 2) << error.reason.toStdString();
  const QString second = scratch(QStringLiteral("second.dif"));
  ASSERT_TRUE(document.saveToDifFile(second, &error));
  const QByteArray written = ReadFileBytes(second);
  EXPECT_TRUE(written.endsWith(data)) << written.toStdString();
  EXPECT_TRUE(written.contains("VECTORS\n0,3\n\"\"\nTUPLES\n0,3\n"));

  // Sheet -> DIF -> sheet keeps numbers exactly, dates as dates and texts as typed.
  CADocument sheet;
  sheet.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("=2/3"));
  sheet.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("1/31/2024"));
  sheet.cellAtGridPointImperative({2, 0})->setFormula(QStringLiteral("line\u00A0text \u4E2D"));
  sheet.cellAtGridPointImperative({3, 0})->setFormula(QStringLiteral("1e300"));
  sheet.evaluate();
  ASSERT_NE(sheet.cellAtGridPoint({1, 0}), nullptr);
  ASSERT_EQ(sheet.cellAtGridPoint({1, 0})->valueType(), kValueDate);
  const QString path = scratch(QStringLiteral("sheet.dif"));
  ASSERT_TRUE(sheet.saveToDifFile(path, &error));
  CADocument back;
  ASSERT_EQ(back.openFile(path, &error), 2);
  EXPECT_EQ(NumberIn(back.cellAtGridPoint({0, 0})).realValue(), NumberIn(sheet.cellAtGridPoint({0, 0})).realValue());
  EXPECT_EQ(NumberIn(back.cellAtGridPoint({1, 0})).archive(), NumberIn(sheet.cellAtGridPoint({1, 0})).archive());
  ASSERT_NE(back.cellAtGridPoint({2, 0}), nullptr);
  EXPECT_EQ(back.cellAtGridPoint({2, 0})->formula(), QStringLiteral("line\u00A0text \u4E2D"));
  EXPECT_EQ(NumberIn(back.cellAtGridPoint({3, 0})).archive(), NumberIn(sheet.cellAtGridPoint({3, 0})).archive());
}

TEST_F(DifFileTest, AnEmptySheetIsACompleteEmptyTable) {
  CADocument empty;
  const QString path = scratch(QStringLiteral("empty.dif"));
  FLError error;
  ASSERT_TRUE(empty.saveToDifFile(path, &error));
  EXPECT_EQ(ReadFileText(path).section(QLatin1Char('\n'), 3),
            QStringLiteral("VECTORS\n0,0\n\"\"\nTUPLES\n0,0\n\"\"\nDATA\n0,0\n\"\"\n-1,0\nEOD\n"));
}

TEST_F(DifFileTest, NumbersReadTheSameWhereverTheDecimalSeparatorIsAComma) {
  GermanNumberLocale german;
  const QString path = scratch(QStringLiteral("werte.dif"));
  ASSERT_TRUE(WriteFileBytes(path, QByteArray(kHeader) + "-1,0\nBOT\n0,1.25\nV\n0,-2.5E+3\nV\n0,1234\nV\n-1,0\nEOD\n"));
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(path, &error), 2);
  EXPECT_EQ(NumberIn(document.cellAtGridPoint({0, 0})).realValue(), 1.25L);
  // And they go out as they came in.
  ASSERT_TRUE(document.saveToDifFile(path, &error));
  EXPECT_TRUE(ReadFileBytes(path).endsWith("-1,0\nBOT\n0,1.25\nV\n0,-2500\nV\n0,1234\nV\n-1,0\nEOD\n"));
}

TEST_F(DifFileTest, ADifStopsAtTheCellBudgetAndTheLastColumnWithTheirAlerts) {
  // Three rows of four numbers, 10 y + x.
  QByteArray data = kHeader;
  for (int y = 0; y < 3; ++y) {
    data += "-1,0\nBOT\n";
    for (int x = 0; x < 4; ++x) data += "0," + QByteArray::number(10 * y + x) + "\nV\n";
  }
  data += "-1,0\nEOD\n";
  const struct {
    uint64_t budget;
    uint64_t lastColumn;
    int cells;  // read in file order, as far as the columns allow
    const char* alert;
  } cases[] = {
      {5, g_maxColumn, 5, "The file is too large to open whole.|Only the first 5 cells of \"cut.dif\" were read; "
                          "the rest of the file was left out."},
      {kDefaultImportCellBudget, 2, 9, "Truncated columns.|\"cut.dif\" has more columns than a spreadsheet can "
                                       "hold; the columns past the last were left out."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.alert);
    ImportAlertRecorder alerts;
    const QString path = scratch(QStringLiteral("cut.dif"));
    ASSERT_TRUE(WriteFileBytes(path, data));
    const uint64_t budget = SetImportCellBudget(c.budget);
    const uint64_t lastColumn = std::exchange(g_maxColumn, c.lastColumn);
    CADocument document;
    FLError error;
    const int32_t opened = document.openFile(path, &error);
    g_maxColumn = lastColumn;
    SetImportCellBudget(budget);
    ASSERT_EQ(opened, 2) << error.reason.toStdString();
    int read = 0;
    for (int64_t y = 0; y < 3; ++y) {
      for (int64_t x = 0; x < 4; ++x) {
        const CACell* cell = document.cellAtGridPoint({x, y});
        const bool wanted = x <= int64_t(c.lastColumn) && read < c.cells;
        ASSERT_EQ(cell != nullptr, wanted) << x << "," << y;
        if (!cell) continue;
        ++read;
        EXPECT_EQ(NumberIn(cell).integerValue(), 10 * y + x) << x << "," << y;
      }
    }
    EXPECT_EQ(read, c.cells);
    EXPECT_EQ(alerts.shown, QStringList{QString::fromUtf8(c.alert)});
  }
}

// A write the system cuts short (here by a file-size limit) fails with the system's reason,
// never "Unknown error", and leaves no file.
TEST_F(DifFileTest, AWriteCutShortGivesTheSystemsReason) {
  CADocument document;
  for (int y = 0; y < 2000; ++y) document.cellAtGridPointImperative({0, y})->setFormula(QStringLiteral("some text"));
  document.evaluate();
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit saved = limit;
  limit.rlim_cur = 4096;
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  FLError difError, csvError;
  const bool difSaved = document.saveToDifFile(scratch(QStringLiteral("cut.dif")), &difError);
  const bool csvSaved = document.saveToTextFile(scratch(QStringLiteral("cut.csv")), true, &csvError);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(difSaved);
  EXPECT_FALSE(csvSaved);
  const QString reason = QString::fromLocal8Bit(std::strerror(EFBIG));
  EXPECT_EQ(difError.reason, reason);
  EXPECT_EQ(csvError.reason, reason);
  EXPECT_FALSE(QFileInfo::exists(scratch(QStringLiteral("cut.dif"))));
}

}  // namespace
