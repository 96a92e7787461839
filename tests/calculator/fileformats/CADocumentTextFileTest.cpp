// The sheet as comma- and tab-separated text: files as other spreadsheets write them open into
// the right cells, and what the sheet writes reads back as the same sheet and file.
#include "PackageTestSupport.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

class TextFileTest : public PackageTest {
 protected:
  // Opens bytes written under the name; the file type code, or 0.
  int32_t open(CADocument& document, const char* name, const QByteArray& bytes, FLError* error = nullptr) {
    const QString path = scratch(QString::fromLatin1(name));
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return document.openFile(path, error);
  }

  static QString shown(const CADocument& document, int64_t x, int64_t y) {
    const CACell* cell = document.cellAtGridPoint({x, y});
    return cell ? cell->displayText(false) : QString();
  }
  static int32_t type(const CADocument& document, int64_t x, int64_t y) {
    const CACell* cell = document.cellAtGridPoint({x, y});
    return cell ? cell->valueType() : kValueNone;
  }
};

TEST_F(TextFileTest, FilesOfOtherSpreadsheetsOpenIntoTheirCells) {
  const struct {
    const char* name;
    QByteArray bytes;
    int32_t code;
    std::vector<std::vector<const char*>> rows;  // shown texts, "" for no cell
  } cases[] = {
      // Gnumeric with every field quoted, numbers too.
      {"gnumeric.csv", "\"Item\",\"Price\",\"Qty\"\n\"Apple\",\"1.25\",\"3\"\n\"Pear, green\",\"0.8\",\"12\"\n", 1,
       {{"Item", "Price", "Qty"}, {"Apple", "1.25", "3"}, {"Pear, green", "0.8", "12"}}},
      // LibreOffice on Windows: CRLF, text quoted only where needed, an empty field.
      {"libreoffice.csv", "Name,Note,Qty\r\nSmith,\"said \"\"no\"\"\",\r\n,\"two\r\nlines\",7\r\n", 1,
       {{"Name", "Note", "Qty"}, {"Smith", "said \"no\"", ""}, {"", "two\nlines", "7"}}},
      // Excel's "CSV UTF-8": a byte-order mark and CRLF.
      {"excel.CSV", "\xEF\xBB\xBFName,City\r\nJos\xC3\xA9,M\xC3\xBCnchen\r\n", 1,
       {{"Name", "City"}, {"Jos\xC3\xA9", "M\xC3\xBCnchen"}}},
      // Tab-separated text.
      {"export.Txt", "a\tb\n1\t\tc\n", 8, {{"a", "b", ""}, {"1", "", "c"}}},
      // An 8-bit file in the locale's code page.
      {"latin.txt", "caf\xE9;cr\xE8me;\x80\n", 8, {{"caf\xC3\xA9", "cr\xC3\xA8me", "\xE2\x82\xAC"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CADocument document;
    FLError error;
    ASSERT_EQ(open(document, c.name, c.bytes, &error), c.code) << error.reason.toStdString();
    EXPECT_FALSE(document.opening());
    for (size_t y = 0; y < c.rows.size(); ++y)
      for (size_t x = 0; x < c.rows[y].size(); ++x)
        EXPECT_EQ(shown(document, int64_t(x), int64_t(y)), QString::fromUtf8(c.rows[y][x])) << x << "," << y;
  }
  // Quoted numbers are numbers.
  CADocument document;
  open(document, "gnumeric.csv", cases[0].bytes);
  EXPECT_EQ(type(document, 1, 1), kValueNumber);
  EXPECT_EQ(type(document, 0, 1), kValueText);
}

TEST_F(TextFileTest, ImportedNumbersAreKeptPlainlyAndReadAsTyped) {
  CADocument document;
  ASSERT_EQ(open(document, "plain.csv", "Item,1.25,3\n-4,\"x\",2025-01-31\n"), 1);
  const struct {
    int64_t x, y;
    bool plain;
    const char* shown;
  } cases[] = {{0, 0, false, "Item"}, {1, 0, true, "1.25"}, {2, 0, true, "3"},
               {0, 1, true, "-4"},    {1, 1, false, "x"},   {2, 1, false, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    const CACellEntry* entry = document.row(c.y)->entryAt(c.x);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->isPlain(), c.plain);
    if (c.shown) {
      EXPECT_EQ(CACellReading(*entry, c.y, &document)->displayText(false), QString::fromUtf8(c.shown));
    }
  }
  EXPECT_EQ(type(document, 2, 1), kValueDate);
}

TEST_F(TextFileTest, SemicolonsWithDecimalCommasAsDecimalCommaLocalesWriteThem) {
  GermanNumberLocale german;
  CADocument document;
  ASSERT_EQ(open(document, "preise.csv", "Artikel;Preis;Menge\n\xC3\x84pfel;1,25;3\nBirnen;0,8;12\n"), 1);
  EXPECT_EQ(shown(document, 0, 1), QStringLiteral("\u00C4pfel"));
  EXPECT_EQ(NumberIn(document.cellAtGridPoint({1, 1})).realValue(), 1.25L);
  EXPECT_EQ(NumberIn(document.cellAtGridPoint({1, 2})).realValue(), 0.8L);
  EXPECT_EQ(shown(document, 2, 2), QStringLiteral("12"));
}

TEST_F(TextFileTest, AnUndecodableFileIsAnErrorAndMarksNothing) {
  CADocument document;
  FLError error;
  EXPECT_EQ(open(document, "utf16.csv", QByteArray("\xFF\xFE\x61\x00\x2C", 5), &error), 0);
  EXPECT_EQ(error.code, kTextEncodingUnknownCode);
  EXPECT_TRUE(document.filePath().isEmpty());
  EXPECT_FALSE(document.opening());
}

TEST_F(TextFileTest, TheSheetWritesAsCommaAndTabSeparatedText) {
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("name"));
  document.cellAtGridPointImperative({2, 0})->setFormula(QStringLiteral("42"));
  document.setCellAtPoint({1, 2}, QVariant(true), kImportCheckbox);
  document.setCellAtPoint({2, 2}, QVariant(false), kImportCheckbox);
  document.cellAtGridPointImperative({0, 3})->setFormula(QStringLiteral(" two\nlines, \"quoted\""));
  document.cellAtGridPointImperative({1, 3})->setFormula(QStringLiteral("tab\there"));

  const QString csv = scratch(QStringLiteral("out.csv"));
  FLError error;
  ASSERT_TRUE(document.saveToTextFile(csv, true, &error));
  EXPECT_EQ(ReadFileText(csv), QStringLiteral("name,,42\n,,\n,X,\n\" two\nlines, \"\"quoted\"\"\",tabhere,\n"));
  const QString tsv = scratch(QStringLiteral("out.txt"));
  ASSERT_TRUE(document.saveToTextFile(tsv, false, &error));
  EXPECT_EQ(ReadFileText(tsv), QStringLiteral("name\t\t42\n\t\t\n\tX\t\n two lines, \"quoted\"\ttabhere\t\n"));

  // A sheet without rows is an empty file.
  CADocument empty;
  ASSERT_TRUE(empty.saveToTextFile(csv, true, &error));
  EXPECT_TRUE(ReadFileBytes(csv).isEmpty());
  // An empty file opens as an empty sheet.
  EXPECT_EQ(empty.openFile(csv, &error), 1);
  EXPECT_TRUE(empty.rows().empty());
}

TEST_F(TextFileTest, CsvAndSheetRoundTripsKeepEveryField) {
  // CSV -> sheet -> CSV gives the same bytes.
  const QByteArray original =
      "Name,Amount,Note,Done\n"
      "\u00DCber \xE2\x82\xAC,42,\"a, b\",X\n"
      ",-3.5,\"say \"\"hi\"\"\",\n"
      "\" leading\",7,\"two\nlines\",\n"
      ",,,\n"
      "last,0.25,\"x;y\",\n";
  const QString first = scratch(QStringLiteral("first.csv"));
  ASSERT_TRUE(WriteFileBytes(first, original));
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(first, &error), 1);
  const QString second = scratch(QStringLiteral("second.csv"));
  ASSERT_TRUE(document.saveToTextFile(second, true, &error));
  EXPECT_EQ(ReadFileBytes(second), original);

  // Sheet -> CSV -> sheet keeps the texts and values, for one column as for several.
  const QStringList texts = {QStringLiteral("plain words"), QStringLiteral("a;b"), QStringLiteral("tab\u00A0x"),
                             QStringLiteral("\"q\""), QStringLiteral("line\nfeed"), QStringLiteral("12.75"),
                             QStringLiteral("1/31/2024"), QStringLiteral("=2/3"), QStringLiteral("=DATE(2024,2,29)")};
  for (int64_t columns : {1, 3}) {
    CADocument sheet;
    for (qsizetype i = 0; i < texts.size(); ++i)
      sheet.cellAtGridPointImperative({i % columns, i / columns})->setFormula(texts[i]);
    sheet.evaluate();
    ASSERT_NE(sheet.cellAtGridPoint({(texts.size() - 1) % columns, (texts.size() - 1) / columns}), nullptr);
    ASSERT_EQ(sheet.cellAtGridPoint({(texts.size() - 1) % columns, (texts.size() - 1) / columns})->formulaResultType(),
              kValueDate);
    const QString path = scratch(QStringLiteral("sheet%1.csv").arg(columns));
    ASSERT_TRUE(sheet.saveToTextFile(path, true, &error));
    CADocument back;
    ASSERT_EQ(back.openFile(path, &error), 1);
    for (qsizetype i = 0; i < texts.size(); ++i) {
      const CACell* cell = back.cellAtGridPoint({i % columns, i / columns});
      const CACell* original = sheet.cellAtGridPoint({i % columns, i / columns});
      EXPECT_EQ(cell->displayText(false), original->displayText(false)) << columns << " columns";
      // A formula goes out as its value, a fraction in the 15 significant digits that other
      // spreadsheets write too.
      if (original->valueType() == kValueFormula && original->formulaResultType() == kValueDate) {
        EXPECT_EQ(cell->valueType(), kValueDate);
        EXPECT_EQ(NumberIn(cell).archive(), NumberIn(original).archive());
        continue;
      }
      if (original->valueType() == kValueFormula) {
        EXPECT_NEAR(double(cell->number()->realValue()), double(original->number()->realValue()), 1e-15);
        continue;
      }
      EXPECT_EQ(cell->valueType(), original->valueType()) << texts[i].toStdString();
      if (original->number()) { EXPECT_EQ(cell->number()->archive(), original->number()->archive()); }
    }
  }
}

TEST_F(TextFileTest, ValuesAreWrittenWhateverTheirFormat) {
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("2/29/2024"));
  document.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("=DATE(2024,2,29)"));
  CACell* money = document.cellAtGridPointImperative({2, 0});
  money->setFormula(QStringLiteral("1234.5"));
  CANumberFormat numberFormat;
  numberFormat.setGroupThousands(true);
  numberFormat.setDisplay(kDisplayMoney);
  CAFormat format;
  format.setNumberFormat(&numberFormat);
  money->setFormat(format);
  document.evaluate();
  ASSERT_NE(money->displayText(false), QStringLiteral("1234.5"));
  const QString path = scratch(QStringLiteral("dates.csv"));
  FLError error;
  ASSERT_TRUE(document.saveToTextFile(path, true, &error));
  const QStringList fields = ReadFileText(path).trimmed().split(QLatin1Char(','));
  ASSERT_EQ(fields.size(), 3);
  // A date result as a date cell is written, not as its day index.
  EXPECT_EQ(fields[1], fields[0]);
  EXPECT_TRUE(fields[0].contains(QLatin1String("2024"))) << fields[0].toStdString();
  EXPECT_EQ(fields[2], QStringLiteral("1234.5"));
}

TEST_F(TextFileTest, AFailedWriteReportsTheError) {
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("x"));
  FLError error;
  EXPECT_FALSE(document.saveToTextFile(scratch(QStringLiteral("no/such/folder/out.csv")), true, &error));
  EXPECT_EQ(error.domain, QLatin1String(kFLCocoaErrorDomain));
}

}  // namespace
