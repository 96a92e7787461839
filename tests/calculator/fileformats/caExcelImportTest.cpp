// The workbook import on workbooks written record by record: strings across CONTINUE records,
// dates in both systems, exact numbers, sheets side by side, cell records, protection, formulas
// and damaged input.
#include "ExcelTestSupport.h"

#include "calculator/fileformats/caCompoundFile.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

using namespace xls;

namespace {

struct Imported { bool read = false; QString failure; XLImportResult result; RecordingExcelDelegate cells; };

std::unique_ptr<Imported> Import(const QByteArray& file) {
  auto imported = std::make_unique<Imported>();
  imported->read = ImportExcelWorkbook(file, imported->cells, &imported->result, &imported->failure);
  return imported;
}

std::unique_ptr<Imported> ImportSheet(const QByteArray& sheet, const QByteArray& globals = {}) {
  return Import(MakeWorkbook(globals, {sheet}));
}

TEST(ExcelImportTest, SharedStringsKeepTheOptionByteOfEachContinuation) {
  // "abcdéf" starts in 8-bit characters in the SST and goes on in 16-bit ones after the
  // CONTINUE's option byte; the string after it must come out whole.
  Bytes sst;
  sst.u32(3).u32(3).latin1(QStringLiteral("first"));
  sst.u16(6).u8(0).raw("abc");
  Bytes more;
  more.u8(1);
  for (QChar c : QStringLiteral("d\u00e9f")) more.u16(c.unicode());
  more.latin1(QStringLiteral("last"));
  // 8-bit characters of a Unicode workbook are Latin-1: é, £ and ° as single bytes.
  const QByteArray globals = Record(0xFC, sst.data) + Record(0x3C, more.data);
  const auto imported = ImportSheet(LabelSst(0, 0, 0, 0) + LabelSst(1, 0, 0, 1) + LabelSst(2, 0, 0, 2) +
                                        Label(3, 0, QStringLiteral("caf\u00e9 \u00a3 \u00b0")),
                                    globals);
  ASSERT_TRUE(imported->read) << imported->failure.toStdString();
  EXPECT_EQ(imported->cells.get(0, 0).value.text, QStringLiteral("first"));
  EXPECT_EQ(imported->cells.get(0, 1).value.text, QStringLiteral("abcd\u00e9f"));
  EXPECT_EQ(imported->cells.get(0, 2).value.text, QStringLiteral("last"));
  EXPECT_EQ(imported->cells.get(0, 3).value.text, QStringLiteral("caf\u00e9 \u00a3 \u00b0"));
}

TEST(ExcelImportTest, SharedStringsThatReadTwoWaysAreReadOrRefusedWithinTheTablesBytes) {
  // Each block reads as two strings counted by units or by characters, both ways ending where
  // the next block begins: tried string by string, 40 blocks are 2^40 paths.
  const struct { const char* what; QByteArray sst; bool read; } cases[] = {
      {"no reading takes the table whole", AmbiguousSharedStrings(40), false},
      {"only its first string counted by characters does", AmbiguousSharedStrings(40, true), true},
  };
  for (const auto& c : cases) {
    const auto imported =
        ImportSheet(LabelSst(0, 0, 0, 0) + LabelSst(1, 0, 0, 1) + LabelSst(2, 0, 0, 2) + LabelSst(3, 0, 0, 80), c.sst);
    EXPECT_EQ(imported->read, c.read) << c.what;
    const uint64_t bodyBytes = uint64_t(c.sst.size()) - 4;
    EXPECT_LE(imported->result.sharedStringReadings, 2 * bodyBytes + 64) << c.what;
    if (!c.read) continue;
    EXPECT_EQ(imported->cells.get(0, 0).value.text, QStringLiteral("\U0001F600A"));
    EXPECT_EQ(imported->cells.get(0, 1).value.text, QStringLiteral("\U0001F600"));
    EXPECT_EQ(imported->cells.get(0, 2).value.text, QStringLiteral("\u0100A"));
    EXPECT_EQ(imported->cells.get(0, 3).value.text, QStringLiteral("\u0100A"));
  }
}

TEST(ExcelImportTest, EachNumberFormatCodeIsNormalisedOncePerImport) {
  // A code of 65,000 letters in CONTINUE records, and a built-in one, each used by two XFs
  // (4 and 5, 6 and 7).
  const QString months(65000, QLatin1Char('m'));
  const auto imported = ImportSheet(
      Number(0, 0, 4, 45000) + Number(1, 0, 5, 45000) + Number(2, 0, 6, 45000) + Number(3, 0, 7, 45000),
      Format(164, months) + Xf(164) + Xf(164) + Xf(14) + Xf(14));
  ASSERT_TRUE(imported->read) << imported->failure.toStdString();
  const struct { int64_t row; QString code; QStringList sections; } cases[] = {
      {0, months, {months}}, {1, months, {months}},
      {2, QStringLiteral("m/d/yy"), {QStringLiteral("m/d/yy")}}, {3, QStringLiteral("m/d/yy"), {QStringLiteral("m/d/yy")}},
  };
  for (const auto& c : cases) {
    const RecordedCell& cell = imported->cells.get(0, c.row);
    ASSERT_TRUE(cell.format && cell.format->numberFormatSections) << c.row;
    EXPECT_EQ(cell.format->numberFormatCode, c.code) << c.row;
    EXPECT_EQ(*cell.format->numberFormatSections, c.sections) << c.row;
    EXPECT_EQ(cell.value.type, kXLValueDate) << c.row;
    // The second XF of a code shares the first one's reading.
    if (c.row % 2 == 1) {
      EXPECT_EQ(cell.format->numberFormatSections, imported->cells.get(0, c.row - 1).format->numberFormatSections);
    }
  }
}

TEST(ExcelImportTest, DatesInBothSystems) {
  // Serial 60 is Excel's 29 February 1900, a day that never was; serials before it count from
  // 31 December 1899, later ones from 30 December.
  const struct {
    bool system1904;
    double serial;
    int32_t dayIndex;  // 0: no date
  } cases[] = {
      {false, 1, 19000101},  {false, 2, 19000102},    {false, 31, 19000131},  {false, 59, 19000228},
      {false, 60, 19000301}, {false, 61, 19000301},   {false, 62, 19000302},  {false, 44197, 20210101},
      {false, 44197.75, 20210101}, {false, 0.5, 0},   {true, 1, 19040102},    {true, 0, 0}, {true, 42735, 20210101},
  };
  for (const auto& c : cases) {
    const QByteArray globals = Record(0x22, Bytes().u16(c.system1904 ? 1 : 0).data);
    const auto imported = ImportSheet(Number(0, 0, 1, c.serial), globals);
    ASSERT_TRUE(imported->read);
    const XLValue& value = imported->cells.get(0, 0).value;
    if (c.dayIndex == 0) {
      EXPECT_NE(value.type, kXLValueDate) << c.serial;
    } else {
      EXPECT_EQ(value.type, kXLValueDate) << c.serial;
      EXPECT_EQ(value.dayIndex, c.dayIndex) << c.serial;
    }
  }
  // A time-only format makes no date.
  const auto time = ImportSheet(Number(0, 0, 2, 44197.5));
  EXPECT_NE(time->cells.get(0, 0).value.type, kXLValueDate);
}

TEST(ExcelImportTest, NumbersAreKeptExactWhereTheyAreShort) {
  const struct {
    QByteArray record;
    int32_t type;
    int64_t numerator;  // the integer, or the fraction's numerator
    int64_t denominator;
  } cases[] = {
      {Number(0, 0, 0, 0.5), kXLValueFraction, 5000000, 10000000},
      {Number(0, 0, 0, -2.25), kXLValueFraction, -22500000, 10000000},
      {Number(0, 0, 0, 0.1234567), kXLValueReal, 0, 0},
      // Within a hundred-millionth of a short decimal, but not it: stays as it is.
      {Number(0, 0, 0, 0.12999999), kXLValueReal, 0, 0}, {Number(0, 0, 0, 42.0), kXLValueInteger, 42, 1},
      {Number(0, 0, 0, 1e20), kXLValueReal, 0, 0}, {Rk(0, 0, 0, (1234u << 2) | 3), kXLValueFraction, 1234, 100},
      {Rk(0, 0, 0, (1200u << 2) | 3), kXLValueInteger, 12, 1},
      {Rk(0, 0, 0, (uint32_t(-7) << 2) | 2), kXLValueInteger, -7, 1},
      {Rk(0, 0, 0, 0x3FF80000), kXLValueFraction, 15000000, 10000000},  // 1.5
      {Rk(0, 0, 0, 0x3FF80001), kXLValueFraction, 150000, 10000000},    // 1.5 / 100
  };
  for (const auto& c : cases) {
    const auto imported = ImportSheet(c.record);
    ASSERT_TRUE(imported->read);
    const XLValue& value = imported->cells.get(0, 0).value;
    EXPECT_EQ(value.type, c.type) << c.record.toHex().toStdString();
    if (c.type == kXLValueInteger) { EXPECT_EQ(value.integer, c.numerator); }
    if (c.type == kXLValueFraction) {
      EXPECT_EQ(value.numerator, c.numerator);
      EXPECT_EQ(value.denominator, c.denominator);
    }
  }
}

TEST(ExcelImportTest, VisibleSheetsGoSideBySide) {
  const QByteArray bof = Record(0x809, Bytes().u16(0x600).u16(0x10).u32(0).u32(0).u32(0).data);
  const auto imported = Import(MakeWorkbook(
      {},
      {Dimensions(4) + Number(0, 0, 0, 1),
       Number(0, 0, 0, 2),                                   // hidden
       Dimensions(10) + Number(0, 1, 0, 3),
       Number(0, 5, 0, 4),                                   // no DIMENSIONS: cells to column 5
       Record(0x81, Bytes().u16(0x10).data) + Number(0, 0, 0, 5),  // a dialog sheet
       Number(0, 0, 0, 6) + bof + Record(0x0A, {}) + Number(1, 0, 0, 7)},  // an embedded chart
      {0, 1, 0, 0, 0, 0}));
  ASSERT_TRUE(imported->read) << imported->failure.toStdString();
  EXPECT_EQ(imported->cells.sheetOffsets, (std::vector<int64_t>{0, 6, 18, 26, 26}));
  EXPECT_EQ(imported->cells.get(7, 0).value.integer, 3);
  EXPECT_EQ(imported->cells.get(23, 0).value.integer, 4);
  EXPECT_EQ(imported->cells.get(26, 0).value.integer, 6);
  EXPECT_EQ(imported->cells.get(26, 1).value.integer, 7);
  for (const auto& [point, cell] : imported->cells.cells) EXPECT_NE(cell.value.integer, 2);
}

TEST(ExcelImportTest, CellRecordsOfEveryKind) {
  const auto imported = ImportSheet(Label(0, 0, QStringLiteral("label")) +
                                    Label(1, 0, QStringLiteral("rich"), 0xD6) + BoolErr(2, 0, 1, false) +
                                    BoolErr(3, 0, 0x07, true) + Number(4, 0, 3, 1) +
                                    Record(0x201, Bytes().u16(5).u16(0).u16(3).data) +
                                    Record(0xBD, Bytes().u16(6).u16(2).u16(0).u32((5u << 2) | 2).u16(0).u32((6u << 2) | 2).u16(3).data) +
                                    Record(0x208, Bytes().u16(7).u16(0).u16(0).u16(300).u16(0).u16(0).u16(0x80).u16(3).data) +
                                    Record(0x7D, Bytes().u16(1).u16(2).u16(10 * 256).u16(0).u16(2).u16(0).data) +
                                    Record(0x55, Bytes().u16(9).data));
  ASSERT_TRUE(imported->read);
  const RecordingExcelDelegate& cells = imported->cells;
  EXPECT_EQ(cells.get(0, 0).value.text, QStringLiteral("label"));
  EXPECT_EQ(cells.get(0, 1).value.text, QStringLiteral("rich"));
  EXPECT_TRUE(cells.get(0, 2).value.boolean);
  EXPECT_EQ(cells.get(0, 3).value.text, QStringLiteral("#DIV/0!"));
  EXPECT_EQ(cells.get(0, 4).format.value_or(CAExcelFormatRecord{}).backgroundKolor, 0x64808080u);
  EXPECT_EQ(cells.get(0, 5).value.type, kXLValueNone);
  EXPECT_EQ(cells.get(2, 6).value.integer, 5);
  EXPECT_EQ(cells.get(3, 6).value.integer, 6);
  EXPECT_EQ(cells.heights.at(7), 300 * 635);
  EXPECT_EQ(cells.widths.at(1), (3u * 2560 + 765) / 512);
  EXPECT_EQ(cells.widths.at(2), (3u * 2560 + 765) / 512);
  EXPECT_EQ(cells.defaultWidth, 9u);
}

TEST(ExcelImportTest, FontsAndTheMostUsedOne) {
  // Entries 1 and 2 after the workbook's own Arial: weights 700 and 600; XF 4 and 5 use them.
  auto font = [](uint16_t weight, const char* name) {
    return Record(0x31, Bytes().u16(240).u16(0x02).u16(10).u16(weight).u16(0).u8(1).u8(0).u8(0).u8(0)
                            .latin1(QLatin1String(name), false).data);
  };
  auto xf = [](uint16_t font) {
    return Record(0xE0, Bytes().u16(font).u16(0).u16(0).u8(2).u8(0).u8(0).u8(0).u32(0).u32(0).u16(0).data);
  };
  const QByteArray globals = font(700, "Bold") + font(600, "Semi") + xf(1) + xf(2);
  const auto imported = ImportSheet(Number(0, 0, 4, 1) + Number(1, 0, 5, 1) + Number(2, 0, 5, 1), globals);
  ASSERT_TRUE(imported->read);
  const CAExcelFont bold = imported->cells.get(0, 0).format.value_or(CAExcelFormatRecord{}).font.value_or(CAExcelFont{});
  EXPECT_TRUE(bold.bold && bold.italic && bold.underline);
  EXPECT_EQ(bold.textKolor, MakeKolor(255, 0, 0));
  EXPECT_FALSE(imported->cells.get(0, 1).format.value_or(CAExcelFormatRecord{}).font.value_or(CAExcelFont{}).bold);
  EXPECT_EQ(imported->cells.get(0, 1).format.value_or(CAExcelFormatRecord{}).alignment, kAlignmentCenter);
  EXPECT_EQ(imported->cells.font.value_or(QFont()).pointSizeF(), 12.0);
}

TEST(ExcelImportTest, ProtectionRefusesOnlyEncryption) {
  LogCapture quiet;
  // A PASSWORD record protects the structure or a sheet; the file is readable.
  const auto protectedSheet = ImportSheet(Record(0x13, Bytes().u16(0xCE4B).data) + Number(0, 0, 0, 1),
                                          Record(0x13, Bytes().u16(0x1234).data));
  EXPECT_TRUE(protectedSheet->read) << protectedSheet->failure.toStdString();
  const auto encrypted = ImportSheet(Number(0, 0, 0, 1), Record(0x2F, Bytes().u16(1).data));
  EXPECT_FALSE(encrypted->read);
  EXPECT_EQ(encrypted->failure, QLatin1String(kExcelProtectedReason));
}

TEST(ExcelImportTest, FormulasTheirCachedValuesAndTheMarkOfFailure) {
  LogCapture quiet;
  const QByteArray a1 = Bytes().u8(0x24).u16(0).u16(0xC000).data;
  const QByteArray text = Bytes().u8(0x17).u8(2).u8(0).raw("B2").data;
  const QByteArray sharedTokens = Bytes().u8(0x2C).u16(0xFFFF).u16(0xC000).data;
  const QByteArray shrfmla = Record(0x4BC, Bytes().u16(1).u16(3).u8(1).u8(1).u8(0).u8(2)
                                               .u16(uint32_t(sharedTokens.size())).raw(sharedTokens).data);
  const QByteArray exp = Bytes().u8(0x01).u16(1).u16(1).data;
  const auto imported = ImportSheet(
      Number(0, 0, 0, 7) + Formula(0, 1, 0, a1 + a1 + QByteArray(1, 3), 14) +
      Formula(0, 2, 0, text, 0, 0) + Record(0x207, Bytes().latin1(QStringLiteral("B2")).data) +
      Formula(0, 3, 3, text + text, 2.5) + Formula(0, 4, 0, text, 0, 3) +
      Formula(1, 1, 0, exp, 7, -1, 0x08) + shrfmla + Formula(2, 1, 0, exp, 14, -1, 0x08));
  ASSERT_TRUE(imported->read);
  const RecordingExcelDelegate& cells = imported->cells;
  EXPECT_EQ(cells.get(1, 0).formula, QStringLiteral("=A1+A1"));
  // The text "B2" is no reference: the cached text stays, on the colour of import errors.
  EXPECT_TRUE(cells.get(2, 0).formula.isEmpty());
  EXPECT_EQ(cells.get(2, 0).value.text, QStringLiteral("B2"));
  EXPECT_EQ(cells.get(2, 0).format.value_or(CAExcelFormatRecord{}).backgroundKolor, kFormulaImportErrorKolor);
  EXPECT_EQ(cells.get(3, 0).value.type, kXLValueFraction);
  EXPECT_EQ(cells.get(3, 0).format.value_or(CAExcelFormatRecord{}).backgroundKolor, kFormulaImportErrorKolor);
  // A stored empty text would be an empty red cell: it shows the placeholder instead.
  EXPECT_EQ(cells.get(4, 0).value.text, QStringLiteral("<Formula>"));
  EXPECT_EQ(cells.get(1, 1).formula, QStringLiteral("=B1"));
  EXPECT_EQ(cells.get(1, 2).formula, QStringLiteral("=B2"));
  EXPECT_TRUE(imported->result.formulaErrors);

  // A formula the sheet's parser refuses keeps its value the same way.
  RecordingExcelDelegate refusing;
  refusing.refuseFormulas = true;
  XLImportResult result;
  QString failure;
  ASSERT_TRUE(ImportExcelWorkbook(MakeWorkbook({}, {Formula(0, 0, 0, a1, 9)}), refusing, &result, &failure));
  EXPECT_EQ(refusing.get(0, 0).value.integer, 9);
  EXPECT_EQ(refusing.get(0, 0).format.value_or(CAExcelFormatRecord{}).backgroundKolor, kFormulaImportErrorKolor);
  EXPECT_TRUE(result.formulaErrors);
  // Without an XF the marked cell still gets the colour.
  const auto noXf = ImportSheet(Formula(0, 0, 99, text, 0x2A, 2));
  EXPECT_EQ(noXf->cells.get(0, 0).value.text, QStringLiteral("#N/A"));
  EXPECT_EQ(noXf->cells.get(0, 0).format.value_or(CAExcelFormatRecord{}).backgroundKolor, kFormulaImportErrorKolor);
}

TEST(ExcelImportTest, DamagedWorkbooksGiveAMessageNeverACrash) {
  LogCapture quiet;
  const QByteArray good = MakeWorkbookStream({}, {Number(0, 0, 0, 1) + LabelSst(0, 1, 0, 0)}, {});
  const QByteArray biff5 = Record(0x809, Bytes().u16(0x500).u16(5).u32(0).data);
  const struct { const char* what; QByteArray stream; const char* reason; } cases[] = {
      {"a BIFF5 workbook", biff5 + good.mid(20), kExcelFormatReason},
      {"no records", QByteArray(), kExcelFormatReason},
      {"a record past the end", good.left(good.size() - 7), kExcelFormatReason},
      {"no sheets", MakeWorkbookStream({}, {}), kExcelNoSheetsReason},
      {"a short NUMBER", MakeWorkbookStream({}, {Record(0x203, Bytes().u16(0).u16(0).data)}), kExcelFormatReason},
      {"a SST claiming strings it runs out of inside one",
       MakeWorkbookStream(Record(0xFC, Bytes().u32(1).u32(1).u16(50).u8(0).raw("abc").data), {Number(0, 0, 0, 1)}),
       kExcelFormatReason},
      {"a NAME longer than its record",
       MakeWorkbookStream(Record(0x18, Bytes().u16(0).u8(0).u8(200).u16(900).u32(0).u32(0).u8(0).data), {Number(0, 0, 0, 1)}),
       kExcelFormatReason},
      {"a sheet offset inside another record", [&] {
         QByteArray s = good;
         const qsizetype at = s.indexOf(QByteArray("\x85\x00", 2));
         qToLittleEndian<uint32_t>(3, s.data() + at + 4);
         return s;
       }(), kExcelFormatReason},
  };
  for (const auto& c : cases) {
    RecordingExcelDelegate delegate;
    QString failure;
    EXPECT_FALSE(ImportExcelStream(c.stream, delegate, nullptr, &failure)) << c.what;
    EXPECT_EQ(failure, QLatin1String(c.reason)) << c.what;
  }
  // A huge SST count is the writer's claim only: what is there is read.
  const auto claimed = Import(MakeWorkbook(Record(0xFC, Bytes().u32(1).u32(0x7FFFFFFF).latin1(QStringLiteral("x")).data),
                                           {LabelSst(0, 0, 0, 0) + LabelSst(1, 0, 0, 5)}));
  ASSERT_TRUE(claimed->read);
  EXPECT_EQ(claimed->cells.get(0, 0).value.text, QStringLiteral("x"));
}

}  // namespace
