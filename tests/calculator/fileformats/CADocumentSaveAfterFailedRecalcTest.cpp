// A recalculation that runs out of memory leaves cells showing what they showed before; a save
// that follows writes the values recalculated, never those, whichever allocation failed.
#include "support/AllocationFailures.h"

#include "PackageTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "framlet/foundation/flBase.h"

#include <QFile>

#include <gtest/gtest.h>

#include <new>

namespace {

class SaveAfterFailedRecalcTest : public PackageTest {
 protected:
  SaveAfterFailedRecalcTest() : previousLog_(SetLogHandler([](const QString&) {})) { InstallFileFormatServices(); }
  ~SaveAfterFailedRecalcTest() override { SetLogHandler(previousLog_); }

  // A1 1, B1 =A1*2, C1 =A1*3, recalculated; then A1 becomes 5.
  static void makeSheet(CADocument& document) {
    document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
    document.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("=A1*2"));
    document.cellAtGridPointImperative({2, 0})->setFormula(QStringLiteral("=A1*3"));
    document.evaluate();
    document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("5"));
  }
  static QString shown(const CADocument& document, int64_t x) {
    const CACell* cell = document.cellAtGridPoint({x, 0});
    return cell ? cell->displayText(false) : QString();
  }
  static QString firstLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("unreadable");
    return QString::fromUtf8(file.readLine()).trimmed();
  }

 private:
  FLLogHandler previousLog_;
};

TEST_F(SaveAfterFailedRecalcTest, ASaveAfterAFailedRecalculationWritesTheRecalculatedValues) {
  const struct {
    const char* name;
    const char* line;
  } writers[] = {{"sheet.csv", "5,10,15"}, {"sheet.txt", "5\t10\t15"}};
  // How many allocations the recalculation makes.
  int64_t allocations = 0;
  {
    CADocument document;
    makeSheet(document);
    FailAllocations(0);
    document.evaluate();
    allocations = AllowAllocations().allocations;
    ASSERT_GT(allocations, 0);
  }
  int stale = 0;
  for (int64_t k = 1; k <= allocations; ++k) {
    SCOPED_TRACE(k);
    CADocument document;
    makeSheet(document);
    bool threw = false;
    FailAllocations(k);
    try {
      document.evaluate();
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    AllowAllocations();
    if (!threw) continue;
    ASSERT_TRUE(document.recalcUnfinished());
    // The case a save must mend: the sheet still shows a value from before the edit.
    if (shown(document, 1) != QLatin1String("10") || shown(document, 2) != QLatin1String("15")) ++stale;
    for (const auto& writer : writers) {
      SCOPED_TRACE(writer.name);
      const QString path = scratch(QString::number(k) + QLatin1String(writer.name));
      ASSERT_TRUE(document.saveTo(path, false, true));
      EXPECT_EQ(firstLine(path), QLatin1String(writer.line));
    }
    EXPECT_FALSE(document.recalcUnfinished());
  }
  // Some failure left a stale value behind for the save to recalculate.
  EXPECT_GE(stale, 1);
}

}  // namespace
