// Files as LibreOffice and Gnumeric write them (tests/data/foreign, made by
// tools/make_foreign_fixtures.py): one sheet as CSV, tab-separated text and DIF reads back with
// every cell as typing its text would make it, and their workbooks keep the results they stored
// where our formulas would compute something else.
#include "ImportAlertRecorder.h"

#include "calculator/fileformats/caExcelImport.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/ModelTestSupport.h"
#include "calculator/model/caColumnLabels.h"
#include "platform/FLError.h"
#include "platform/UserDefaults.h"
#include "support/TestData.h"
#include "support/TestFiles.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QJsonObject Expected(const char* name = "sheet.json") {
  QFile file(TestDataPath(QStringLiteral("foreign/") + QLatin1String(name)));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object();
}

// What typing the text into a cell makes of it, shown.
QString Typed(const QString& text) {
  CADocument document;
  document.setCellAtPoint({0, 0}, QVariant(text), kImportTypedText);
  const CACell* cell = document.cellAtGridPoint({0, 0});
  return cell ? cell->displayText(false) : QString();
}

class ForeignFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import")); }
  void TearDown() override { UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import")); }

  // Opens the fixture under another name (tab-separated text opens as ".txt").
  bool open(CADocument& document, const char* fixture, const char* as) {
    const QString path = folder.filePath(QLatin1String(as));
    if (!WriteFileBytes(path, ReadFileBytes(TestDataPath(QStringLiteral("foreign/") + QLatin1String(fixture)))))
      return false;
    FLError error;
    const int32_t code = document.openFile(path, &error);
    EXPECT_NE(code, 0) << fixture << ": " << error.reason.toStdString();
    return code != 0;
  }

  ModelEnvironment environment;
  QTemporaryDir folder;
  ImportAlertRecorder alerts;
};

TEST_F(ForeignFilesTest, OneSheetReadsBackTheSameFromEveryWriterAndFormat) {
  const QJsonArray rows = Expected().value(QLatin1String("rows")).toArray();
  ASSERT_FALSE(rows.isEmpty());
  const struct {
    const char* fixture;
    const char* as;
    // What the writer itself changed, as it is in the file: (x, y, text).
    std::vector<std::tuple<int64_t, int64_t, const char*>> written;
  } cases[] = {
      {"libreoffice.csv", "lo.csv", {}},
      {"gnumeric.csv", "gn.csv", {}},
      {"libreoffice.tsv", "lo.txt", {}},
      {"gnumeric.tsv", "gn.txt", {}},
      // LibreOffice writes DIF in Latin-1: the CJK characters come out as question marks.
      {"libreoffice.dif", "lo.dif", {{0, 5, "CJK ????"}}},
      // Gnumeric writes DIF numbers to six significant digits.
      {"gnumeric.dif", "gn.dif", {{2, 2, "1.23457e+12"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture);
    CADocument document;
    ASSERT_TRUE(open(document, c.fixture, c.as));
    EXPECT_TRUE(alerts.shown.isEmpty());
    for (qsizetype y = 0; y < rows.size(); ++y) {
      const QJsonArray row = rows[y].toArray();
      for (qsizetype x = 0; x < 3; ++x) {
        QString text = x < row.size() ? row[x].toString() : QString();
        for (const auto& [wx, wy, written] : c.written)
          if (wx == x && wy == y) text = QString::fromUtf8(written);
        const CACell* cell = document.cellAtGridPoint({x, y});
        if (text.isEmpty()) {
          EXPECT_EQ(cell, nullptr) << x << "," << y;
          continue;
        }
        ASSERT_NE(cell, nullptr) << x << "," << y;
        EXPECT_EQ(cell->displayText(false), Typed(text)) << x << "," << y << " " << text.toStdString();
      }
    }
  }
}

TEST_F(ForeignFilesTest, WorkbooksKeepStoredTextsAndDateSumsAndErrorResultsStayLive) {
  const QString longText = Expected().value(QLatin1String("long")).toString();
  ASSERT_FALSE(longText.isEmpty());
  // Gnumeric stores the text of =A1 and the long text of =REPT(...); LibreOffice, given the same
  // sheet, stored 0 for both.
  const struct { const char* fixture; bool texts; } cases[] = {{"libreoffice-formulas.xls", false},
                                                             {"gnumeric-formulas.xls", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture);
    alerts.shown.clear();
    UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import"));
    CADocument document;
    ASSERT_TRUE(open(document, c.fixture, "formulas.xls"));
    auto at = [&](int64_t x, int64_t y) { return document.cellAtGridPoint({x, y}); };
    auto shown = [&](int64_t x, int64_t y) { return at(x, y) ? at(x, y)->displayText(false) : QString(); };
    auto marked = [&](int64_t x, int64_t y) {
      return at(x, y) && at(x, y)->format() && at(x, y)->format()->backgroundKolor() == kFormulaImportErrorKolor;
    };
    // =1/0 stored an error, which is no value to keep: it stays live and shows what the sheet
    // computes. ="" keeps what the workbook stored, marked.
    ASSERT_NE(at(2, 0), nullptr);
    EXPECT_TRUE(at(2, 0)->isFormula());
    EXPECT_EQ(shown(2, 0), QStringLiteral("<Infinite>"));
    EXPECT_FALSE(marked(2, 0));
    EXPECT_EQ(shown(3, 0), QStringLiteral("<Formula>"));
    EXPECT_TRUE(marked(3, 0));
    // The day after 12/31/1999 and 60 days on compute as the workbook's dates (sums with a date
    // count in days) and stay live; =A2*1 in the general format is the stored day count.
    for (const auto& [x, day] : {std::pair{1, 20000101}, std::pair{2, 20000229}}) {
      ASSERT_NE(at(x, 1), nullptr) << x;
      EXPECT_EQ(at(x, 1)->valueType(), kValueFormula) << x;
      EXPECT_EQ(at(x, 1)->formulaResultType(), kValueDate) << x;
      EXPECT_EQ(NumberIn(at(x, 1)).integerValue(), day) << x;
      EXPECT_FALSE(marked(x, 1)) << x;
    }
    ASSERT_NE(at(3, 1), nullptr);
    EXPECT_EQ(NumberIn(at(3, 1)).integerValue(), 36525);
    // What computes the same stays live.
    ASSERT_NE(at(1, 2), nullptr);
    EXPECT_EQ(at(1, 2)->formula(), QStringLiteral("=A3*3"));
    EXPECT_EQ(NumberIn(at(1, 2)).integerValue(), 6);
    ASSERT_NE(at(3, 2), nullptr);
    EXPECT_EQ(at(3, 2)->formula(), QStringLiteral("=A3+0.5"));
    if (c.texts) {
      EXPECT_EQ(shown(1, 0), QStringLiteral("aa"));
      EXPECT_TRUE(marked(1, 0));
      // The long text result, which Gnumeric splits over CONTINUE records, is whole.
      ASSERT_NE(at(2, 2), nullptr);
      EXPECT_TRUE(at(2, 2)->formula() == longText) << at(2, 2)->formula().size();
    } else {
      EXPECT_EQ(shown(1, 0), QStringLiteral("0"));
    }
    EXPECT_EQ(alerts.shown.size(), 1);
  }
}

}  // namespace

// The loan workbooks (loan.json holds what LibreOffice computes at each rate) open with every
// formula live in every locale: their formula text is read as the peers wrote it, and shown as
// the user types. The writers' doubles drift from the exact balances; formulas that carry that
// drift forward (a total of differences that are 0 here, products and powers of the last
// balance) agree with what the writer stored on its own inputs, and stay live too.
TEST_F(ForeignFilesTest, LoanWorkbooksStayLiveInEveryLocaleAndFollowTheRate) {
  const QJsonObject loan = Expected("loan.json");
  const QJsonObject values = loan.value(QLatin1String("values")).toObject();
  const QJsonArray rates = loan.value(QLatin1String("rates")).toArray();
  ASSERT_EQ(rates.size(), 2);
  const auto point = [](const QString& name) {
    const qsizetype digits = name.indexOf(QRegularExpression(QStringLiteral("[0-9]")));
    return GridPoint{int64_t(ColumnForLabel(name.left(digits))), name.mid(digits).toLongLong() - 1};
  };
  const auto expectValues = [&](const CADocument& document, const QString& rate) {
    const QJsonObject expected = values.value(rate).toObject();
    ASSERT_FALSE(expected.isEmpty()) << rate.toStdString();
    for (auto it = expected.begin(); it != expected.end(); ++it) {
      const CACell* cell = document.cellAtGridPoint(point(it.key()));
      const std::string where = it.key().toStdString() + " at " + rate.toStdString();
      ASSERT_TRUE(cell && cell->valueType() == kValueFormula && cell->number()) << where;
      EXPECT_FALSE(cell->format() && cell->format()->backgroundKolor() == kFormulaImportErrorKolor) << where;
      const double want = it.value().toDouble();
      // The writer's drift, where the exact value is 0.
      EXPECT_NEAR(double(cell->number()->realValue()), want, std::max(1e-6, std::fabs(want) * 1e-9)) << where;
    }
  };
  for (const char* locale : {"en_US", "de_DE", "fr_FR"}) {
    for (const char* fixture : {"libreoffice-loan.xls", "gnumeric-loan.xls"}) {
      SCOPED_TRACE(std::string(locale) + " " + fixture);
      const TestLocale user(locale);
      alerts.shown.clear();
      CADocument document;
      ASSERT_TRUE(open(document, fixture, "loan.xls"));
      EXPECT_EQ(alerts.shown, QStringList());
      expectValues(document, rates[0].toString());
      const auto typed = [](QString text) {
        return text.replace(QLatin1Char('.'), NumberTextLocale().decimalSeparatorChar);
      };
      // Shown as the user types it.
      ASSERT_NE(document.cellAtGridPoint(point(QStringLiteral("B5"))), nullptr);
      const QString shown = document.cellAtGridPoint(point(QStringLiteral("B5")))->formula();
      EXPECT_TRUE(shown.contains(typed(QStringLiteral("0.05")))) << shown.toStdString();

      document.cellAtGridPointImperative(point(QStringLiteral("B2")))->setFormula(typed(rates[1].toString()));
      document.evaluate();
      expectValues(document, rates[1].toString());
      // The total of the "Left" column follows its inputs.
      document.cellAtGridPointImperative(point(QStringLiteral("R366")))->setFormula(QStringLiteral("5"));
      document.evaluate();
      EXPECT_EQ(NumberIn(document.cellAtGridPoint(point(QStringLiteral("G6")))).realValue(), 5);
    }
  }
}
