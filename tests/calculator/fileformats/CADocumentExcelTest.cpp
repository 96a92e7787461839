// The document's Excel loader: cells, dates and formulas as the sheet keeps them, the mark and
// the one alert for formulas kept as values, its suppression in the shared preferences, and
// refusals through the open dispatch.
#include "ExcelTestSupport.h"

#include "calculator/fileformats/caCompoundFile.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CARow.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/ModelTestSupport.h"
#include "platform/FLError.h"
#include "platform/UserDefaults.h"
#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace xls;

namespace {

class RecordingAlert : public CAImportAlert {
 public:
  bool showSuppressibleAlert(const QString& message, const QString& information) override {
    shown.append(message + QLatin1Char('|') + information);
    return suppress;
  }
  QStringList shown;
  bool suppress = false;
};

class DocumentExcelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetImportAlert(&alert);
    UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import"));
  }
  void TearDown() override {
    SetImportAlert(nullptr);
    UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import"));
  }
  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = folder.filePath(name);
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }

  ModelEnvironment environment;
  QTemporaryDir folder;
  RecordingAlert alert;
};

QByteArray WorkbookWithAFailingFormula() {
  const QByteArray a1 = Bytes().u8(0x24).u16(0).u16(0xC000).data;
  const QByteArray text = Bytes().u8(0x17).u8(1).u8(0).raw("x").data;
  return MakeWorkbook({}, {Number(0, 0, 0, 2.5) + Number(1, 0, 1, 44197) + Label(2, 0, QStringLiteral("  padded  ")) +
                           BoolErr(3, 0, 1, false) + Formula(0, 1, 0, a1 + a1 + QByteArray(1, 5), 6.25) +
                           Formula(1, 1, 0, text + a1 + QByteArray(1, 3), 99)});
}

TEST_F(DocumentExcelTest, CellsFormulasAndTheMarkOfFailure) {
  CADocument document;
  FLError error;
  const QString path = write(QStringLiteral("Report.final.xls"), WorkbookWithAFailingFormula());
  ASSERT_EQ(document.openFile(path, &error), 3) << error.reason.toStdString();
  document.evaluate();
  // The lone number is kept plainly; the date, the kept value and the formula are cells.
  const auto plain = [&](int64_t x, int64_t y) { return document.row(y)->entryAt(x)->isPlain(); };
  EXPECT_TRUE(plain(0, 0));
  EXPECT_FALSE(plain(0, 1));
  EXPECT_FALSE(plain(1, 0));
  EXPECT_FALSE(plain(1, 1));
  EXPECT_EQ(document.cellAtGridPoint({0, 0})->number()->realValue(), 2.5L);
  EXPECT_EQ(document.cellAtGridPoint({0, 1})->valueType(), kValueDate);
  EXPECT_EQ(document.cellAtGridPoint({0, 1})->number()->integerValue(), 20210101);
  EXPECT_EQ(document.cellAtGridPoint({0, 2})->formula(), QStringLiteral("padded"));
  EXPECT_TRUE(document.cellAtGridPoint({0, 3})->isChecked());
  EXPECT_EQ(document.cellAtGridPoint({1, 0})->formula(), QStringLiteral("=A1*A1"));
  EXPECT_EQ(document.cellAtGridPoint({1, 0})->number()->realValue(), 6.25L);
  const CACell* kept = document.cellAtGridPoint({1, 1});
  EXPECT_EQ(kept->valueType(), kValueNumber);
  EXPECT_EQ(kept->number()->integerValue(), 99);
  EXPECT_EQ(kept->format()->backgroundKolor(), kFormulaImportErrorKolor);

  ASSERT_EQ(alert.shown.size(), 1);
  EXPECT_TRUE(alert.shown[0].startsWith(QStringLiteral("Excel file has import errors.|The file \"Report.final\" was imported")));
  EXPECT_FALSE(UserDefaults::sharedDefaults().boolForKey(QStringLiteral("ov.excel.import")));
}

TEST_F(DocumentExcelTest, TheAlertCanBeSuppressed) {
  const QString path = write(QStringLiteral("a.xls"), WorkbookWithAFailingFormula());
  alert.suppress = true;
  CADocument first;
  EXPECT_EQ(first.openFile(path, nullptr), 3);
  EXPECT_TRUE(UserDefaults::sharedDefaults().boolForKey(QStringLiteral("ov.excel.import")));
  CADocument second;
  EXPECT_EQ(second.openFile(path, nullptr), 3);
  EXPECT_EQ(alert.shown.size(), 1);
  // A workbook whose formulas all convert shows nothing.
  UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import"));
  CADocument clean;
  EXPECT_EQ(clean.openFile(write(QStringLiteral("b.xls"), MakeWorkbook({}, {Number(0, 0, 0, 1)})), nullptr), 3);
  EXPECT_EQ(alert.shown.size(), 1);
}

TEST_F(DocumentExcelTest, RefusalsCarryTheirMessages) {
  LogCapture quiet;
  const struct { const char* name; QByteArray bytes; int code; const char* reason; } cases[] = {
      {"text.xls", QByteArray("not a workbook at all, just text"), -50, kExcelFormatReason},
      {"hidden.xls", MakeWorkbook({}, {Number(0, 0, 0, 1)}, {1}), -50, "There are no visible spreadsheets in the file."},
  };
  for (const auto& c : cases) {
    CADocument document;
    FLError error;
    EXPECT_EQ(document.openFile(write(QLatin1String(c.name), c.bytes), &error), 0) << c.name;
    EXPECT_EQ(error.code, c.code) << c.name;
    EXPECT_EQ(error.reason, QLatin1String(c.reason)) << c.name;
    EXPECT_FALSE(document.opening());
  }
  CADocument document;
  FLError error;
  EXPECT_EQ(document.openFile(folder.filePath(QStringLiteral("missing.XLS")), &error), 0);
  EXPECT_EQ(error.domain, QLatin1String(kFLPosixErrorDomain));
}

}  // namespace
