// The sample workbooks of tests/data/xls against what an independent reader (python3-xlrd)
// saw in each (expected/<file>.json): every BIFF8 file gives the same values, the others and the
// damaged ones a clear refusal.
//
// Where the two part, by the files' bytes:
// - capitalized_wbook_stream.xls keeps its BIFF8 records in a stream "BOOK", and
//   biff5-rich-text-string.xls has a BIFF5 "Book" beside a BIFF8 "WorkBook": stream names are
//   matched regardless of case, as the container defines them, so both are read as xlrd reads them.
// - date.xls and date_1904.xls hold 10.632... under a time-only format ("h:mm:ss"): xlrd calls it
//   a date; here a time of day alone stays a number, since the sheet's dates carry no time.
// - Error values (BOOLERR errors, cached formula errors) become their texts ("#DIV/0!").
// - The files of the tables below: refused, or read although xlrd refuses them.
#include "ExcelTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestData.h"

#include "calculator/fileformats/caCompoundFile.h"
#include "calculator/model/caExcelNumberFormat.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/ModelTestSupport.h"
#include "platform/FLError.h"
#include "support/TestFiles.h"

#include <QRegularExpression>

#include <QDate>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

namespace {

QString ErrorText(int code) {
  switch (code) {
    case 0x00: return QStringLiteral("#NULL!");
    case 0x07: return QStringLiteral("#DIV/0!");
    case 0x0F: return QStringLiteral("#VALUE!");
    case 0x17: return QStringLiteral("#REF!");
    case 0x1D: return QStringLiteral("#NAME?");
    case 0x24: return QStringLiteral("#NUM!");
    default: return QStringLiteral("#N/A");
  }
}

bool SameNumber(double a, double b) {
  if (a == b) return true;
  return std::fabs(a - b) <= 1e-15 * std::max(std::fabs(a), std::fabs(b)) * 10;
}

std::optional<double> NumberOf(const XLValue& value) {
  switch (value.type) {
    case kXLValueReal: return value.real;
    case kXLValueInteger: return double(value.integer);
    case kXLValueFraction: return double(value.numerator) / double(value.denominator);
    default: return std::nullopt;
  }
}

// The day of a serial number, from the calendar rather than from the importer's arithmetic.
int32_t DayIndexOfSerial(double serial, int dateMode) {
  const int64_t n = int64_t(serial);
  QDate day = dateMode == 1 ? QDate(1904, 1, 1).addDays(n)
                            : (n <= 60 ? QDate(1899, 12, 31).addDays(n) : QDate(1899, 12, 30).addDays(n));
  return day.year() * 10000 + day.month() * 100 + day.day();
}

// Files xlrd refuses although they hold a readable BIFF8 workbook; this reader takes them in.
struct ReadDespiteXlrd { const char* file; const char* reason; };
constexpr ReadDespiteXlrd kReadDespiteXlrd[] = {
    {"xlrd-samples/corrupted_error.xls",
     "a sector of another stream is claimed twice in the allocation table; the Workbook stream's "
     "own chain is sound"},
    {"xlrd-samples/invalid_formula.xls", "xlrd fails on a formula of its own accord; the records are sound"},
    {"calamine-tests/gh548_incorrect_sst_unique_count.xls",
     "the SST claims 7,668 unique strings (its total count) where it holds fewer (the LABELSST "
     "indexes go up to 891); xlrd asserts on it, this reader reads the strings that are there"},
};

// Files refused, with the message they get.
struct Refused { const char* file; const char* reason; const char* why; };
constexpr Refused kRefused[] = {
    {"calamine-tests/OOM_alloc2.xls", kExcelFormatReason, "BIFF5 (BOF version 0x0500)"},
    {"calamine-tests/biff5_write.xls", kExcelFormatReason, "BIFF5/7 workbook"},
    {"calamine-tests/issue_643_biff5_formula.xls", kExcelFormatReason, "BIFF5/7 workbook"},
    {"calamine-tests/malformed_format.xls", kExcelFormatReason, "BIFF5 workbook"},
    {"calamine-tests/misc_biff5_parsing.xls", kExcelFormatReason, "BIFF5/7 workbook"},
    {"calamine-tests/ptgexp-truncated-operand.xls", kExcelFormatReason, "BIFF5/7 workbook"},
    {"xlrd-samples/biff4_no_format_no_window2.xls", kExcelFormatReason, "a bare BIFF4 stream, no container"},
    {"calamine-tests/too_small.xls", kExcelFormatReason, "68 bytes of text, no container"},
    {"calamine-tests/OOM_alloc3.xls", kExcelFormatReason, "damaged; xlrd fails an assertion on it too"},
    {"calamine-tests/issue_385.xls", kExcelProtectedReason, "encrypted (FILEPASS)"},
};

const Refused* RefusedFile(const QString& file) {
  for (const auto& refused : kRefused)
    if (file == QLatin1String(refused.file)) return &refused;
  return nullptr;
}

bool ReadDespiteXlrd(const QString& file) {
  for (const auto& known : kReadDespiteXlrd)
    if (file == QLatin1String(known.file)) return true;
  return false;
}

bool FormatShowsADay(const RecordedCell& cell) {
  if (!cell.format || cell.format->numberFormatCode.isNull()) return false;
  const QStringList sections = NormalizeExcelNumberFormat(cell.format->numberFormatCode);
  return !sections.isEmpty() && sections[0].contains(QRegularExpression(QStringLiteral("[dmy]")));
}

TEST(ExcelImportCorpusTest, SampleWorkbooksGiveXlrdsValuesOrAClearRefusal) {
  LogCapture quiet;
  const QString root = TestDataPath(QStringLiteral("xls"));
  int compared = 0, refused = 0;
  for (const char* folder : {"xlrd-samples", "calamine-tests"}) {
    const QDir dir(root + QLatin1Char('/') + QLatin1String(folder));
    const QStringList files = dir.entryList({QStringLiteral("*.xls")}, QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << folder;
    for (const QString& name : files) {
      const QString relative = QLatin1String(folder) + QLatin1Char('/') + name;
      SCOPED_TRACE(relative.toStdString());
      const QByteArray bytes = ReadFileBytes(dir.filePath(name));
      const QJsonObject expected =
          QJsonDocument::fromJson(ReadFileBytes(root + QStringLiteral("/expected/") + relative + QStringLiteral(".json")))
              .object();
      ASSERT_FALSE(bytes.isEmpty() || expected.isEmpty());

      RecordingExcelDelegate delegate;
      XLImportResult result;
      QString failure;
      const bool read = ImportExcelWorkbook(bytes, delegate, &result, &failure);
      const bool biff8 = expected.value(QStringLiteral("biff_version")).toInt() == 80;
      if (ReadDespiteXlrd(relative)) {
        EXPECT_TRUE(read) << failure.toStdString();
        continue;
      }
      if (const Refused* refusal = RefusedFile(relative)) {
        EXPECT_FALSE(read) << refusal->why;
        EXPECT_EQ(failure, QLatin1String(refusal->reason)) << refusal->why;
        ++refused;
        continue;
      }
      ASSERT_TRUE(biff8) << "a file xlrd does not read as BIFF8 is missing from the tables above";
      EXPECT_TRUE(read) << failure.toStdString();
      if (!read) continue;
      ++compared;

      const int dateMode = expected.value(QStringLiteral("datemode")).toInt();
      std::vector<QJsonObject> visible;
      for (const QJsonValue& sheet : expected.value(QStringLiteral("sheets")).toArray())
        if (sheet.toObject().value(QStringLiteral("visibility")).toInt() == 0) visible.push_back(sheet.toObject());
      ASSERT_EQ(delegate.sheetOffsets.size(), visible.size());
      for (size_t s = 0; s < visible.size(); ++s) {
        const int64_t offset = delegate.sheetOffsets[s];
        for (const QJsonValue& item : visible[s].value(QStringLiteral("cells")).toArray()) {
          const QJsonArray cell = item.toArray();
          const int64_t row = cell[0].toInt(), column = cell[1].toInt();
          const QString kind = cell[2].toString();
          SCOPED_TRACE(QStringLiteral("sheet %1 row %2 column %3 %4").arg(s).arg(row).arg(column).arg(kind).toStdString());
          const RecordedCell* ours = delegate.at(offset + column, row);
          if (kind == QLatin1String("text") && cell[3].toString().isEmpty()) {
            // A formula whose stored result is an empty text stays live with no stored value, or
            // shows the placeholder, on the mark, when it cannot be converted.
            const bool placeholder = ours && ours->value.text == QLatin1String("<Formula>") &&
                                     ours->format && ours->format->backgroundKolor == kFormulaImportErrorKolor;
            EXPECT_TRUE(!ours || ours->value.type == kXLValueNone || ours->value.text.isEmpty() || placeholder)
                << ours->value.type << " " << ours->value.text.toStdString() << " " << ours->formula.toStdString();
            continue;
          }
          ASSERT_NE(ours, nullptr);
          const XLValue& value = ours->value;
          SCOPED_TRACE(QStringLiteral("ours: type %1 text \"%2\" formula \"%3\"")
                           .arg(value.type).arg(value.text, ours->formula).toStdString());
          if (kind == QLatin1String("text")) {
            EXPECT_EQ(value.type, kXLValueText);
            EXPECT_EQ(value.text, cell[3].toString());
          } else if (kind == QLatin1String("number")) {
            const std::optional<double> number = NumberOf(value);
            ASSERT_TRUE(number.has_value()) << value.type;
            EXPECT_TRUE(SameNumber(*number, cell[3].toDouble())) << *number << " " << cell[3].toDouble();
          } else if (kind == QLatin1String("date")) {
            const double serial = cell[3].toDouble();
            if (serial < 1 || !FormatShowsADay(*ours)) {
              // A time of day alone, or a time-only format such as "h:mm:ss": no date here,
              // the number stays (xlrd calls every time format a date).
              const std::optional<double> stays = NumberOf(value);
              ASSERT_TRUE(stays.has_value());
              EXPECT_TRUE(SameNumber(*stays, serial));
            } else {
              EXPECT_EQ(value.type, kXLValueDate);
              EXPECT_EQ(value.dayIndex, DayIndexOfSerial(serial, dateMode));
            }
          } else if (kind == QLatin1String("bool")) {
            EXPECT_EQ(value.type, kXLValueBoolean);
            EXPECT_EQ(value.boolean, cell[3].toInt() != 0);
          } else if (kind == QLatin1String("error")) {
            EXPECT_EQ(value.type, kXLValueText);
            EXPECT_EQ(value.text, ErrorText(cell[3].toInt()));
          }
        }
      }
    }
  }
  EXPECT_GT(compared, 25);
  EXPECT_EQ(refused, int(std::size(kRefused)));
}

// Excel computed each formula's value when it saved the file: a converted formula, read back by
// the sheet's parser and evaluated by its engine, must come to the same number. The formulas are
// read in the workbook's syntax whatever the user's locale: the same ones stay live in each.
TEST(ExcelImportCorpusTest, ConvertedFormulasEvaluateToExcelsCachedValues) {
  ModelEnvironment environment;
  LogCapture quiet;
  std::map<std::string, std::set<std::pair<int64_t, int64_t>>> live;  // in the first locale
  for (const char* locale : {"en_US", "de_DE", "fr_FR"}) {
    const TestLocale user(locale);
    int compared = 0;
    for (const char* folder : {"xlrd-samples", "calamine-tests"}) {
      const QDir dir(TestDataPath(QStringLiteral("xls/") + QLatin1String(folder)));
      for (const QString& name : dir.entryList({QStringLiteral("*.xls")}, QDir::Files, QDir::Name)) {
        SCOPED_TRACE(std::string(locale) + " " + name.toStdString());
        RecordingExcelDelegate delegate;
        if (!ImportExcelWorkbook(ReadFileBytes(dir.filePath(name)), delegate, nullptr, nullptr)) continue;
        CADocument document;
        FLError error;
        ASSERT_EQ(document.openFile(dir.filePath(name), &error), 3) << error.reason.toStdString();
        document.evaluate();
        std::set<std::pair<int64_t, int64_t>> formulas;
        for (const auto& [point, cell] : delegate.cells) {
          const CACell* ours = document.cellAtGridPoint({point.first, point.second});
          if (!cell.formula.isEmpty() && ours && ours->isFormula()) formulas.insert(point);
          const std::optional<double> cached = NumberOf(cell.value);
          if (cell.formula.isEmpty() || !cached) continue;
          ASSERT_TRUE(ours && ours->number()) << cell.formula.toStdString();
          EXPECT_NEAR(double(ours->number()->realValue()), *cached, 1e-9 * std::max(1.0, std::fabs(*cached)))
              << cell.formula.toStdString();
          ++compared;
        }
        const auto [first, inserted] = live.emplace(name.toStdString(), formulas);
        if (!inserted) { EXPECT_EQ(formulas, first->second); }
      }
    }
    EXPECT_GT(compared, 250);
  }
}

}  // namespace
