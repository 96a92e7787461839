// The formats importers give their cells: only what changes the look a cell's default, row and
// column give it, one object for cells formatted alike, and a package of the import that holds
// no more than that and reads back to the same sheet.
#include "ExcelTestSupport.h"
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caImportFormats.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/ModelTestSupport.h"
#include "platform/FLError.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace xls;

namespace {

constexpr Kolor kGrey = 0x64808080;
constexpr Kolor kRed = 0x64FF0000;

class SilentAlert : public CAImportAlert {
 public:
  bool showSuppressibleAlert(const QString&, const QString&) override { return false; }
};

// Reads the cell's format without asking for one of its own.
const CAFormat* FormatOf(const CADocument& document, const GridPoint& point) {
  const CACell* cell = document.cellAtGridPoint(point);
  return cell ? cell->format() : nullptr;
}

CAFormat Layer(std::initializer_list<uint64_t> bits, bool on = false, Kolor kolor = kRed) {
  CAFormat format;
  for (uint64_t bit : bits) {
    switch (bit) {
      case kFormatBold: format.setBold(on); break;
      case kFormatItalic: format.setItalic(on); break;
      case kFormatAlignment: format.setAlignment(kAlignmentRight); break;
      case kFormatTextColor: format.setTextKolor(kolor); break;
      case kFormatBackground: format.setBackgroundKolor(kolor); break;
      default: break;
    }
  }
  return format;
}

TEST(ImportFormatsTest, ACellKeepsOnlyWhatChangesTheLookUnderIt) {
  CAFormat plain;  // the document's default: everything set, nothing on
  plain.setMask(kFormatDefaultMask);
  const CAFormat bold = Layer({kFormatBold}, true), red = Layer({kFormatTextColor});
  const CAFormat boldBase = plain.composeWith(&bold);
  const CAFormat redBase = plain.composeWith(&red);
  struct Case {
    const char* name;
    CAFormat own;
    CAFormat base;
    uint64_t keptMask;
  } cases[] = {
      {"restating the default", Layer({kFormatBold, kFormatItalic, kFormatTextColor}, false, g_blackKolor), plain, 0},
      {"a background over the default", Layer({kFormatBold, kFormatBackground}, false, kGrey), plain, kFormatBackground},
      {"bold over a bold base", Layer({kFormatBold}, true), boldBase, 0},
      {"not bold over a bold base", Layer({kFormatBold}, false), boldBase, kFormatBold},
      {"black text over red", Layer({kFormatTextColor}, false, g_blackKolor), redBase, kFormatTextColor},
      {"red text over red", Layer({kFormatTextColor}), redBase, 0},
      {"an alignment", Layer({kFormatAlignment, kFormatItalic}), plain, kFormatAlignment},
  };
  for (const Case& c : cases) {
    const CAFormat beyond = FormatBeyond(c.own, c.base);
    EXPECT_EQ(beyond.mask(), c.keptMask) << c.name;
    EXPECT_TRUE(FormatsLookAlike(c.base.composeWith(&beyond), c.base.composeWith(&c.own))) << c.name;
  }

  // No layer smaller than the cell's own says "no number format" over a column's date.
  CAFormat dated = plain;
  CANumberFormat date;
  date.setDisplay(kDisplayDate);
  dated.setNumberFormat(&date);
  CAFormat general;
  general.setMask(kFormatNumberFormat);
  const CAFormat beyond = FormatBeyond(general, dated);
  EXPECT_EQ(beyond.mask(), kFormatNumberFormat);
  EXPECT_TRUE(FormatsLookAlike(dated.composeWith(&beyond), dated.composeWith(&general)));
}

TEST(ImportFormatsTest, EqualFormatsAreOneObject) {
  CAImportFormats formats;
  const CASharedFormat grey = formats.intern(Layer({kFormatBackground}, false, kGrey));
  EXPECT_EQ(formats.intern(Layer({kFormatBackground}, false, kGrey)).get(), grey.get());
  EXPECT_NE(formats.intern(Layer({kFormatBackground}, false, kRed)).get(), grey.get());
  EXPECT_NE(formats.intern(Layer({kFormatBackground, kFormatBold}, false, kGrey)).get(), grey.get());
  EXPECT_EQ(formats.size(), 3u);
}

class ImportedFormatsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetImportAlert(&alert); }
  void TearDown() override { SetImportAlert(nullptr); }

  ModelEnvironment environment;
  QTemporaryDir folder;
  SilentAlert alert;
};

// Column C and row 8 are grey (XF 3); XF 1 is a date.
QByteArray WorkbookOfFormats() {
  const QByteArray column = Record(0x7D, Bytes().u16(2).u16(2).u16(0).u16(3).u16(0).u16(0).data);
  const QByteArray row = Record(0x208, Bytes().u16(7).u16(0).u16(0).u16(300).u16(0).u16(0).u16(0x80).u16(3).data);
  return MakeWorkbook({}, {column + row + Number(0, 0, 0, 1) + Number(0, 1, 3, 2) + Number(0, 2, 3, 3) +
                           Number(0, 3, 3, 4) + Number(0, 4, 1, 36525) + Number(1, 4, 1, 36526) +
                           Number(7, 0, 3, 5) + Number(7, 1, 0, 6) + Label(1, 0, QStringLiteral("text"))});
}

TEST_F(ImportedFormatsTest, WorkbookCellsGetOnlyWhatTheirRowColumnAndDefaultLack) {
  CADocument document;
  const QString path = folder.filePath(QStringLiteral("formats.xls"));
  ASSERT_TRUE(WriteFileBytes(path, WorkbookOfFormats()));
  ASSERT_EQ(document.openFile(path, nullptr), 3);
  struct Expected {
    GridPoint point;
    uint64_t mask;  // of the cell's own format; 0: none
    Kolor shownBackground;
  } table[] = {
      {{0, 0}, 0, kWhiteKolor},                  // the default's format
      {{0, 1}, 0, kWhiteKolor},                  // a text in it
      {{1, 0}, kFormatBackground, kGrey},        // grey of its own
      {{3, 0}, kFormatBackground, kGrey},        // the same grey
      {{2, 0}, 0, kGrey},                        // the column is grey
      {{0, 7}, 0, kGrey},                        // the row is grey
      {{4, 0}, kFormatNumberFormat, kWhiteKolor},  // a date
      {{4, 1}, kFormatNumberFormat, kWhiteKolor},
  };
  for (const Expected& e : table) {
    const CACell* cell = document.cellAtGridPoint(e.point);
    ASSERT_NE(cell, nullptr) << e.point.x << "," << e.point.y;
    EXPECT_EQ(cell->format() ? cell->format()->mask() : 0, e.mask) << e.point.x << "," << e.point.y;
    EXPECT_EQ(document.formatForCell(cell, true).backgroundKolor(), e.shownBackground) << e.point.x << "," << e.point.y;
  }
  // B1 and D1 share their grey, E1 and E2 their date.
  EXPECT_EQ(FormatOf(document, {1, 0}), FormatOf(document, {3, 0}));
  EXPECT_EQ(FormatOf(document, {4, 0}), FormatOf(document, {4, 1}));
}

TEST_F(ImportedFormatsTest, TheImportsPackageHoldsNoRestatedPropertyAndReadsBackTheSame) {
  CADocument imported;
  const QString path = folder.filePath(QStringLiteral("formats.xls"));
  ASSERT_TRUE(WriteFileBytes(path, WorkbookOfFormats()));
  ASSERT_EQ(imported.openFile(path, nullptr), 3);
  const QString package = folder.filePath(QStringLiteral("Formats.Numlet"));
  FLError error;
  ASSERT_TRUE(imported.saveToNativeFile(package, false, &error));
  const QString xml = ReadFileText(QDir(package).filePath(QStringLiteral("document.xml")));
  const qsizetype rows = xml.indexOf(QLatin1String("<rows>"));
  ASSERT_GT(rows, 0);
  const QString cells = xml.mid(rows);
  // Two greys and two dates of the cells' own, the row's grey: nothing else restated.
  EXPECT_EQ(cells.count(QLatin1String("<format>")), 5) << cells.toStdString();
  EXPECT_FALSE(cells.contains(QLatin1String("<color>"))) << cells.toStdString();
  EXPECT_FALSE(cells.contains(QLatin1String("<bold>"))) << cells.toStdString();

  CADocument reread;
  ASSERT_GT(reread.openFile(package, &error), 0);
  for (int64_t y = 0; y < 10; ++y) {
    for (int64_t x = 0; x < 6; ++x) {
      const CACell* a = imported.cellAtGridPoint({x, y});
      const CACell* b = reread.cellAtGridPoint({x, y});
      ASSERT_EQ(a == nullptr || !a->holdsContent(), b == nullptr || !b->holdsContent()) << x << "," << y;
      if (!a || !a->holdsContent()) continue;
      EXPECT_EQ(a->displayText(false, imported.formatForCell(a, true)),
                b->displayText(false, reread.formatForCell(b, true)))
          << x << "," << y;
      EXPECT_EQ(a->formula(), b->formula()) << x << "," << y;
      EXPECT_TRUE(FormatsLookAlike(imported.formatForCell(a, true), reread.formatForCell(b, true))) << x << "," << y;
      EXPECT_EQ(a->format() ? a->format()->mask() : 0, b->format() ? b->format()->mask() : 0) << x << "," << y;
    }
  }
}

class ImportedPageFormatsTest : public RichTextTest {};

TEST_F(ImportedPageFormatsTest, PageCellsFormattedAlikeShareOneFormat) {
  ASSERT_TRUE(WriteFileBytes(path("page.html"), "<table><tr><td><b>one</b></td><td>two</td><td><b>three</b></td>"
                                                "<td><i>four</i></td></tr></table>"));
  FLError error;
  ASSERT_EQ(document.openFile(path("page.html"), &error), kFileTypeHtml);
  const CAFormat* one = FormatOf(document, {0, 0});
  ASSERT_NE(one, nullptr);
  EXPECT_TRUE(one->bold());
  EXPECT_EQ(FormatOf(document, {1, 0}), nullptr);
  EXPECT_EQ(FormatOf(document, {2, 0}), one);
  ASSERT_NE(FormatOf(document, {3, 0}), nullptr);
  EXPECT_NE(FormatOf(document, {3, 0}), one);
  // Changing one cell's format leaves the other's alone.
  document.cellAtGridPointImperative({2, 0})->format()->setBold(false);
  ASSERT_NE(document.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_TRUE(document.cellAtGridPoint({0, 0})->format()->bold());
}

}  // namespace
