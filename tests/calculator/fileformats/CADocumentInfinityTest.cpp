// Infinite numbers through the files: read from text with their sign, kept with it through the
// native package, and written to CSV and DIF as the cell shows them.
#include "PackageTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

class InfinityTest : public PackageTest {};

// Every cell of the sheet: its shown text and, for a number, the sign of its value.
std::map<std::pair<int64_t, int64_t>, QString> Cells(const CADocument& document) {
  std::map<std::pair<int64_t, int64_t>, QString> cells;
  for (const auto& row : document.rows()) {
    for (const CACellEntry& entry : row->cells()) {
      const CACellReading cell(entry, row->gridY(), &document);
      QString text = cell->displayText(false);
      if (const std::optional<CANumber> number = cell->number())
        text += std::signbit(number->realValue()) ? QStringLiteral(" (-)") : QStringLiteral(" (+)");
      cells[{entry.x(), row->gridY()}] = text;
    }
  }
  return cells;
}

TEST_F(InfinityTest, InfinitiesKeepTheirSignThroughThePackageAndGoOutAsShown) {
  const QString csv = scratch(QStringLiteral("in.csv"));
  ASSERT_TRUE(WriteFileBytes(csv, "-1e5000,1e5000,-5\n"));
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(csv, &error), kFileTypeCsv) << error.reason.toStdString();
  const std::map<std::pair<int64_t, int64_t>, QString> expected = {
      {{0, 0}, QStringLiteral("<Infinite> (-)")},
      {{1, 0}, QStringLiteral("<Infinite> (+)")},
      {{2, 0}, QStringLiteral("-5 (-)")},
  };
  EXPECT_EQ(Cells(document), expected);

  const QString package = scratch(QStringLiteral("Signs.Numlet"));
  ASSERT_TRUE(document.saveToNativeFile(package, false, &error)) << error.reason.toStdString();
  CADocument reopened;
  ASSERT_EQ(reopened.openFile(package, &error), kFileTypeNative) << error.reason.toStdString();
  EXPECT_EQ(Cells(reopened), expected);

  const QString out = scratch(QStringLiteral("out.csv"));
  ASSERT_TRUE(reopened.saveToTextFile(out, true, &error));
  EXPECT_EQ(ReadFileText(out), QStringLiteral("<Infinite>,<Infinite>,-5\n"));
  const QString dif = scratch(QStringLiteral("out.dif"));
  ASSERT_TRUE(reopened.saveToDifFile(dif, &error));
  EXPECT_TRUE(ReadFileText(dif).endsWith(
      QStringLiteral("-1,0\nBOT\n1,0\n\"<Infinite>\"\n1,0\n\"<Infinite>\"\n0,-5\nV\n-1,0\nEOD\n")))
      << ReadFileText(dif).toStdString();
}

}  // namespace
