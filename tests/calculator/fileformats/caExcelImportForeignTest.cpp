// The workbook import on what other writers put in workbooks and on hostile ones: stored text
// and error results, strings split inside a character, sheets named more than once, column
// counts past a worksheet's, sheets past the grid's last column and the import's cell budget.
#include "ExcelTestSupport.h"

#include "calculator/fileformats/caCompoundFile.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/model/CAGridPoint.h"
#include "support/LogCapture.h"

#include <QtEndian>

#include <gtest/gtest.h>

using namespace xls;

namespace {

struct Imported { bool read = false; QString failure; XLImportResult result; RecordingExcelDelegate cells; };

std::unique_ptr<Imported> ImportStream(const QByteArray& stream) {
  auto imported = std::make_unique<Imported>();
  imported->read = ImportExcelStream(stream, imported->cells, &imported->result, &imported->failure);
  return imported;
}

const QByteArray kA1 = Bytes().u8(0x24).u16(0).u16(0xC000).data;

// The stream with its first BOUNDSHEET record repeated `copies` more times, every copy naming
// the same sheet.
QByteArray WithRepeatedBoundSheet(const QByteArray& stream, int copies) {
  const qsizetype at = stream.indexOf(QByteArray("\x85\x00", 2));
  const qsizetype length = 4 + qFromLittleEndian<uint16_t>(stream.constData() + at + 2);
  QByteArray record = stream.mid(at, length);
  const uint32_t shifted = qFromLittleEndian<uint32_t>(record.constData() + 4) + uint32_t(copies * length);
  qToLittleEndian<uint32_t>(shifted, record.data() + 4);
  QByteArray result = stream.left(at);
  for (int i = 0; i <= copies; ++i) result += record;
  return result + stream.mid(at + length);
}

TEST(ExcelImportForeignTest, StoredTextResultsStayAsStoredAndMarkedErrorResultsStayLive) {
  // =A1 where A1 holds "aa", a reference to an error, and an empty text: all convert, but our
  // formulas would show 0 for the text. An error, as an empty text (which some writers store
  // for every formula), is no result to keep: the formula stays live.
  const auto imported = ImportStream(MakeWorkbookStream(
      {}, {Label(0, 0, QStringLiteral("aa")) + Formula(0, 1, 0, kA1, 0, 0) +
           Record(0x207, Bytes().latin1(QStringLiteral("aa")).data) + Formula(1, 1, 0, kA1, 0x07, 2) +
           Formula(2, 1, 0, kA1, 0, 3) + Formula(3, 1, 0, kA1, 1, 1) + Formula(4, 1, 0, kA1, 5)},
      {}));
  ASSERT_TRUE(imported->read) << imported->failure.toStdString();
  const RecordingExcelDelegate& cells = imported->cells;
  EXPECT_TRUE(cells.get(1, 0).formula.isEmpty());
  EXPECT_EQ(cells.get(1, 0).value.text, QStringLiteral("aa"));
  EXPECT_EQ(cells.get(1, 0).format.value_or(CAExcelFormatRecord{}).backgroundKolor, kFormulaImportErrorKolor);
  // Errors, empty texts, booleans and numbers become live formulas; the error is handed on as
  // what was stored, marked as an error.
  for (const int64_t y : {1, 2, 3, 4}) EXPECT_EQ(cells.get(1, y).formula, QStringLiteral("=A1")) << y;
  EXPECT_TRUE(cells.get(1, 1).value.error);
  EXPECT_EQ(cells.get(1, 1).value.text, QStringLiteral("#DIV/0!"));
  EXPECT_EQ(cells.get(1, 2).value.type, kXLValueNone);
  EXPECT_EQ(imported->result.formulasKept, 1u);
}

TEST(ExcelImportForeignTest, AStringSplitInsideACharacterReadsOnAsRawBytes) {
  // A wide text result in a STRING record whose CONTINUE begins in the middle of a UTF-16 unit
  // and without an option byte, as Gnumeric splits long results.
  QString text;
  for (int i = 0; i < 40; ++i) text += QChar(0x6F22 + i);
  Bytes string;
  string.u16(uint32_t(text.size())).u8(1);
  for (QChar c : text) string.u16(c.unicode());
  const QByteArray body = string.data;
  const qsizetype split = 3 + 2 * 17 + 1;  // inside the 18th character
  const QByteArray records = Record(0x207, body.left(split)) + Record(0x3C, body.mid(split));
  // The same split at an even offset without an option byte.
  const QByteArray even = Record(0x207, body.left(split + 1)) + Record(0x3C, body.mid(split + 1));
  const auto imported = ImportStream(MakeWorkbookStream(
      {}, {Formula(0, 0, 0, kA1, 0, 0) + records + Formula(1, 0, 0, kA1, 0, 0) + even + Number(2, 0, 0, 7)}, {}));
  ASSERT_TRUE(imported->read) << imported->failure.toStdString();
  EXPECT_EQ(imported->cells.get(0, 0).value.text, text);
  EXPECT_EQ(imported->cells.get(0, 1).value.text, text);
  EXPECT_EQ(imported->cells.get(0, 2).value.integer, 7);

  // A result that can't be read at all costs only its cell.
  const QByteArray cut = Record(0x207, body.left(9));
  const auto damaged = ImportStream(MakeWorkbookStream({}, {Formula(0, 0, 0, kA1, 0, 0) + cut + Number(1, 0, 0, 8)}, {}));
  ASSERT_TRUE(damaged->read) << damaged->failure.toStdString();
  EXPECT_EQ(damaged->cells.get(0, 0).value.text, QStringLiteral("<Formula>"));
  EXPECT_EQ(damaged->cells.get(0, 1).value.integer, 8);
}

TEST(ExcelImportForeignTest, UnconvertibleTokensAreCountedNotAsserted) {
  LogCapture log;
  const QByteArray concatenation = kA1 + kA1 + QByteArray(1, 0x08);
  const auto imported = ImportStream(MakeWorkbookStream(
      {}, {Formula(0, 0, 0, concatenation, 1) + Formula(1, 0, 0, Bytes().u8(0x16).data, 2) + Formula(2, 0, 0, kA1, 3)},
      {}));
  ASSERT_TRUE(imported->read);
  EXPECT_EQ(imported->result.formulasKept, 2u);
  EXPECT_TRUE(log.assertMessages().isEmpty()) << log.assertMessages().join(QLatin1Char('\n')).toStdString();
}

TEST(ExcelImportForeignTest, EachSheetIsReadOnceHoweverOftenItIsNamed) {
  const QByteArray stream = MakeWorkbookStream({}, {Number(0, 0, 0, 1) + Number(0, 1, 0, 2)}, {});
  const auto imported = ImportStream(WithRepeatedBoundSheet(stream, 500));
  ASSERT_TRUE(imported->read) << imported->failure.toStdString();
  EXPECT_EQ(imported->cells.sheetOffsets.size(), 1u);
  EXPECT_EQ(imported->cells.cells.size(), 2u);
  EXPECT_EQ(imported->result.cells, 2u);
}

TEST(ExcelImportForeignTest, ColumnCountsAreAWorksheetsAtMost) {
  // DIMENSIONS claiming 65535 columns moves the next sheet as a sheet of 256 would.
  const auto imported = ImportStream(
      MakeWorkbookStream({}, {Dimensions(65535) + Number(0, 0, 0, 1), Number(0, 0, 0, 2)}, {}));
  ASSERT_TRUE(imported->read);
  ASSERT_EQ(imported->cells.sheetOffsets.size(), 2u);
  EXPECT_EQ(imported->cells.sheetOffsets[1], 256 + 2);
  EXPECT_EQ(imported->cells.get(258, 0).value.integer, 2);
}

TEST(ExcelImportForeignTest, SheetsStopAtTheGridsLastColumn) {
  // Sheets of 256 columns: the grid holds LastGridColumn() + 1 columns, so only so many fit.
  std::vector<QByteArray> sheets;
  const int64_t fitting = (LastGridColumn() + 1) / 258;
  for (int64_t i = 0; i < fitting + 3; ++i) sheets.push_back(Dimensions(256) + Number(0, 255, 0, double(i)));
  const auto imported = ImportStream(MakeWorkbookStream({}, sheets, {}));
  ASSERT_TRUE(imported->read);
  EXPECT_TRUE(imported->result.columnsCut);
  for (const auto& [point, cell] : imported->cells.cells) EXPECT_LE(point.first, LastGridColumn());
  EXPECT_GE(int64_t(imported->cells.cells.size()), fitting);
  EXPECT_LT(int64_t(imported->cells.cells.size()), fitting + 3);
}

TEST(ExcelImportForeignTest, TheCellBudgetStopsTheImportAndSaysHowFar) {
  const uint64_t previous = SetImportCellBudget(5);
  QByteArray sheet;
  for (uint16_t y = 0; y < 20; ++y) sheet += Number(y, 0, 0, y);
  const auto imported = ImportStream(MakeWorkbookStream({}, {sheet, sheet}, {}));
  SetImportCellBudget(previous);
  ASSERT_TRUE(imported->read);
  EXPECT_TRUE(imported->result.budgetReached);
  EXPECT_EQ(imported->result.cells, 5u);
  EXPECT_EQ(imported->cells.cells.size(), 5u);
  EXPECT_EQ(imported->cells.sheetOffsets.size(), 1u);
}

}  // namespace
