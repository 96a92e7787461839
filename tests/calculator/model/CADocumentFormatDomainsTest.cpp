// Formats by domain on the document, in tables: the style toggle of the format commands, the
// look of links, the lines a whole-row or whole-column selection reaches and the formats found
// there, the row and column formats carried over from another document, and which deletions a
// selection allows.
#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "SheetTestSupport.h"
#include "UndoTestSupport.h"

namespace {

void SetStyle(CAFormat& format, uint64_t mask, bool on) {
  switch (mask) {
    case kFormatBold: format.setBold(on); break;
    case kFormatItalic: format.setItalic(on); break;
    case kFormatUnderline: format.setUnderline(on); break;
    default: format.setStrike(on); break;
  }
}

class FormatDomainsTest : public SheetTest {
 protected:
  CAFormat& layer(int32_t domain, const char* at) { return *document.formatForDomainImperative(domain, A1(at)); }
  void select(const GridRange& range, const char* active) {
    document.setSelectionRange(range);
    document.setActiveCellPoint(A1(active));
  }
  // The style option of each cell of B2:C3, row by row.
  std::vector<int32_t> options(uint64_t mask) {
    std::vector<int32_t> found;
    for (const char* at : {"B2", "C2", "B3", "C3"}) {
      const CAFormat* format = document.formatForDomain(kDomainCell, A1(at));
      found.push_back(format ? format->styleOptionForMask(mask) : 0);
    }
    return found;
  }
};

// The toggle looks at the active cell only: on there turns the style back to inherited
// everywhere; inherited or off there turns it on everywhere.
TEST_F(FormatDomainsTest, TheToggleFollowsTheActiveCell) {
  const struct {
    const char* what;
    int32_t activeBefore;  // 0 inherited, 1 on, 2 off
    int32_t othersBefore;
    int32_t after;
  } cases[] = {
      {"inherited everywhere", 0, 0, 1}, {"on at the active cell", 1, 2, 0}, {"off at the active cell", 2, 1, 1},
      {"inherited at the active cell, on elsewhere", 0, 1, 1},
  };
  for (const uint64_t mask : {kFormatBold, kFormatItalic, kFormatUnderline, kFormatStrike}) {
    for (const auto& c : cases) {
      for (const char* at : {"B2", "C2", "B3", "C3"}) {
        const int32_t option = std::string_view(at) == "B2" ? c.activeBefore : c.othersBefore;
        CAFormat& format = layer(kDomainCell, at);
        format.clearMask(mask);
        if (option != 0) SetStyle(format, mask, option == 1);
      }
      select(Range("B2", "C3"), "B2");
      document.toggleValueForMask(mask, kDomainCell);
      EXPECT_EQ(options(mask), std::vector<int32_t>(4, c.after)) << c.what << " mask " << mask;
    }
  }
}

TEST_F(FormatDomainsTest, TheToggleWorksOnRowAndColumnLayers) {
  select(Rows(1, 2), "A2");
  document.toggleValueForMask(kFormatItalic, kDomainRow);
  for (int64_t y : {1, 2}) {
    ASSERT_NE(document.formatForRow(y), nullptr) << y;
    EXPECT_EQ(document.formatForRow(y)->styleOptionForMask(kFormatItalic), 1) << y;
  }
  document.toggleValueForMask(kFormatItalic, kDomainRow);
  for (int64_t y : {1, 2}) EXPECT_EQ(document.formatForRow(y)->styleOptionForMask(kFormatItalic), 0) << y;

  select(Columns(3, 3), "D1");
  document.toggleValueForMask(kFormatBold, kDomainColumn);
  ASSERT_NE(document.formatForColumn(3), nullptr);
  EXPECT_TRUE(document.formatForColumn(3)->bold());
}

// An active link is underlined and red whatever its layers say; an inactive one is drawn as
// its layers say.
TEST_F(FormatDomainsTest, ActiveLinksAreUnderlinedAndRed) {
  const struct {
    const char* what;
    bool inactive;
    bool cellUnderlineOff;
    Kolor columnColour;  // kNoKolor: the column layer sets none
    bool underlined;
    Kolor colour;
  } cases[] = {
      {"active link", false, false, 0x64FF0000, true, kActiveLinkKolor},
      {"active link whose cell says no underline", false, true, 0x64FF0000, true, kActiveLinkKolor},
      {"inactive link", true, false, 0x64FF0000, false, 0x64FF0000},
      {"inactive link whose cell says no underline", true, true, 0x64FF0000, false, 0x64FF0000},
      {"active link without layer colours", false, false, kNoKolor, true, kActiveLinkKolor},
      {"inactive link without layer colours", true, false, kNoKolor, false, g_blackKolor},
  };
  // A typed address is a link.
  ASSERT_EQ(enter("B2", "http://example.org/").valueType(), kValueLink);
  for (const auto& c : cases) {
    CAFormat& column = layer(kDomainColumn, "B1");
    column.clearMask(kFormatTextColor);
    if (KolorIsColor(c.columnColour)) column.setTextKolor(c.columnColour);
    CACell& link = *document.cellAtGridPointImperative(A1("B2"));
    link.setValueType(kValueLink);
    link.setFormulaString(QStringLiteral("https://example.org/"));
    link.setInactiveLink(c.inactive);
    CAFormat& own = layer(kDomainCell, "B2");
    own.clearMask(kFormatUnderline);
    if (c.cellUnderlineOff) own.setUnderline(false);
    for (const bool ignoreStripe : {false, true}) {
      const CAFormat drawn = document.formatForCell(&link, ignoreStripe);
      EXPECT_EQ(drawn.underline(), c.underlined) << c.what;
      EXPECT_EQ(drawn.textKolor(), c.colour) << c.what;
    }
  }
  // The default format itself is never touched by a link's styling.
  EXPECT_FALSE(document.defaultFormat().underline());
  // A text cell beside it keeps its layers.
  enter("C2", "plain");
  EXPECT_FALSE(document.formatForCell(cell("C2"), true).underline());
}

// A whole-row or whole-column selection reaches to the last used line, no further.
TEST_F(FormatDomainsTest, OpenEndsRunToTheLastUsedLine) {
  layer(kDomainCell, "B2").setBold(true);
  layer(kDomainCell, "D2").setItalic(true);
  layer(kDomainCell, "B4").setStrike(true);
  enter("F5", "far");  // the extent ends at F5
  layer(kDomainRow, "A3").setBold(true);
  layer(kDomainColumn, "E1").setBold(true);
  const struct {
    const char* what;
    GridRange range;
    int32_t domain;
    size_t found;
  } cases[] = {
      {"cell formats of row 2", Rows(1, 1), kDomainCell, 2},
      {"cell formats of rows 2 to 4", Rows(1, 3), kDomainCell, 3},
      {"cell formats of columns B to D", Columns(1, 3), kDomainCell, 3},
      {"cell formats of column C", Columns(2, 2), kDomainCell, 0},
      {"row formats of columns B to D", Columns(1, 3), kDomainRow, 1},
      {"column formats of rows 1 to 2", Rows(0, 1), kDomainColumn, 1},
      {"the document", Rows(0, 1), kDomainDocument, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(document.formatsInRange(c.range, c.domain, false).size(), c.found) << c.what;

  // Created where missing: one row layer per row from the first to the last used row.
  EXPECT_EQ(document.formatsInRange(Columns(1, 1), kDomainRow, true).size(), 5u);
  for (int64_t y = 0; y <= 4; ++y) EXPECT_NE(document.formatForRow(y), nullptr) << y;
  EXPECT_EQ(document.formatForRow(5), nullptr);
  EXPECT_EQ(document.formatsInRange(Rows(0, 0), kDomainColumn, true).size(), 6u);
  EXPECT_EQ(document.formatForColumn(6), nullptr);
}

// Open-ended lines give the formats of the cells there, rows outer; a change makes formats only
// for the cells that are there.
TEST_F(FormatDomainsTest, FormatsOfOpenEndedLinesAreThoseOfTheCellsThere) {
  CAFormat bold;
  bold.setBold(true);
  for (const char* at : {"A2", "Z2", "C3", "AA5"}) document.cellAtGridPointImperative(A1(at))->setFormat(bold);
  enter("B3", "no format");
  const std::vector<CAFormat*> found = document.formatsInRange(Rows(1, 2), kDomainCell, false);
  EXPECT_EQ(found, (std::vector<CAFormat*>{cell("A2")->format(), cell("Z2")->format(), cell("C3")->format()}));
  // Whole columns A to C: rows to the last one used.
  const std::vector<CAFormat*> columns = document.formatsInRange(Columns(0, 2), kDomainCell, false);
  EXPECT_EQ(columns, (std::vector<CAFormat*>{cell("A2")->format(), cell("C3")->format()}));
  const std::vector<CAFormat*> made = document.formatsInRange(Rows(2, 2), kDomainCell, true);
  EXPECT_EQ(made.size(), 2u);
  EXPECT_NE(cell("B3")->format(), nullptr);
  EXPECT_EQ(cell("A3"), nullptr);
}

class TransferFormatsTest : public FormatDomainsTest {
 protected:
  CADocument source;
};

TEST_F(TransferFormatsTest, WholeRowsCarryTheirFormatsOrNone) {
  CAFormat bold;
  bold.setBold(true);
  source.rowImperative(1)->setFormat(bold);
  source.rowImperative(2);  // a row without a format
  CAFormat strike;
  strike.setStrike(true);
  source.rowImperative(9)->setFormat(strike);  // every row of the source goes, selected or not
  source.setSelectionRange(Rows(1, 2));
  CAFormat italic;
  italic.setItalic(true);
  document.rowImperative(6)->setFormat(italic);  // replaced by the row without a format
  select(Range("C6", "D9"), "C6");

  document.transferFormats(source);
  ASSERT_NE(document.formatForRow(5), nullptr);
  EXPECT_TRUE(document.formatForRow(5)->bold());
  EXPECT_EQ(document.formatForRow(6), nullptr);
  ASSERT_NE(document.formatForRow(13), nullptr);
  EXPECT_TRUE(document.formatForRow(13)->strike());
  EXPECT_EQ(document.selectionRange(), Rows(5, 6));
  EXPECT_EQ(document.activeCellPoint(), (GridPoint{0, 6}));
}

TEST_F(TransferFormatsTest, WholeColumnsCarryFormatsWidthsAndDigits) {
  CAFormat italic;
  italic.setItalic(true);
  CAColumn* b = source.columnImperative(1);
  b->setFormat(italic);
  b->setWidth(914400);
  b->setDigitCount(12);
  CAColumn* c = source.columnImperative(2);  // a width and digits, no format
  c->setWidth(457200);
  c->setDigitCount(7);
  source.columnImperative(3)->setDigitCount(5);  // digits alone
  source.setSelectionRange(Columns(1, 3));
  CAFormat bold;
  bold.setBold(true);
  document.columnImperative(5)->setFormat(bold);  // kept: only a format replaces a format
  select(GridRange{A1("E3"), A1("E3")}, "E3");

  document.transferFormats(source);
  ASSERT_NE(document.column(4), nullptr);
  ASSERT_NE(document.formatForColumn(4), nullptr);
  EXPECT_TRUE(document.formatForColumn(4)->italic());
  EXPECT_EQ(document.column(4)->width(), 914400);
  EXPECT_EQ(document.column(4)->digitCount(), 12);
  ASSERT_NE(document.column(5), nullptr);
  ASSERT_NE(document.formatForColumn(5), nullptr);
  EXPECT_TRUE(document.formatForColumn(5)->bold());
  EXPECT_EQ(document.column(5)->width(), 457200);
  EXPECT_EQ(document.column(5)->digitCount(), 7);
  ASSERT_NE(document.column(6), nullptr);
  EXPECT_EQ(document.formatForColumn(6), nullptr);
  EXPECT_EQ(document.column(6)->digitCount(), 5);
  EXPECT_EQ(document.selectionRange(), Columns(4, 6));
  EXPECT_EQ(document.activeCellPoint(), (GridPoint{6, 0}));
}

TEST_F(TransferFormatsTest, ABlockOfCellsCarriesNoLineFormats) {
  CAFormat bold;
  bold.setBold(true);
  source.rowImperative(0)->setFormat(bold);
  source.columnImperative(0)->setFormat(bold);
  source.setSelectionRange(Range("A1", "B2"));
  select(Range("C3", "C3"), "C3");
  const QString before = DocumentXml(document);
  document.transferFormats(source);
  EXPECT_EQ(DocumentXml(document).toStdString(), before.toStdString());
  EXPECT_EQ(document.formatForRow(2), nullptr);
  EXPECT_EQ(document.formatForColumn(2), nullptr);
  EXPECT_EQ(document.selectionRange(), Range("C3", "C3"));
}

// Deleting cells or lines across the selection's grain is refused; "from the selection" takes
// the selection's own kind.
TEST_F(FormatDomainsTest, WhichDeletionsASelectionAllows) {
  const struct {
    const char* what;
    GridRange selection;
    bool left, up, columns, rows, fromSelection;
    int32_t editType;
  } cases[] = {
      {"a block", Range("B2", "C3"), true, true, true, true, true, kEditCellsHorizontal},
      {"one cell", Range("A1", "A1"), true, true, true, true, true, kEditCellsHorizontal},
      {"whole rows", Rows(1, 2), false, true, false, true, true, kEditRows},
      {"whole columns", Columns(1, 2), true, false, true, false, true, kEditColumns},
  };
  for (const auto& c : cases) {
    document.setSelectionRange(c.selection);
    EXPECT_EQ(document.editTypeForSelection(), c.editType) << c.what;
    EXPECT_EQ(document.canDelete(kEditCellsHorizontal), c.left) << c.what;
    EXPECT_EQ(document.canDelete(kEditCellsVertical), c.up) << c.what;
    EXPECT_EQ(document.canDelete(kEditColumns), c.columns) << c.what;
    EXPECT_EQ(document.canDelete(kEditRows), c.rows) << c.what;
    EXPECT_EQ(document.canDelete(kEditFromSelection), c.fromSelection) << c.what;
    for (int32_t unknown : {-1, 5, 99}) EXPECT_FALSE(document.canDelete(unknown)) << c.what << " " << unknown;
  }
}

}  // namespace
