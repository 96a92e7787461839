// Rules of the format domains, line formats carried between documents, and which deletions a
// selection allows.
#include "UndoTestSupport.h"

#include "calculator/model/CAFormat.h"

namespace {

class RulesTest : public EditTest {};

TEST_F(RulesTest, AToggleTurnsAStyleOnAndThenBackToInherited) {
  enter("A1", "x");
  select("A1", "A1");
  document.toggleValueForMask(kFormatItalic, kDomainCell);
  EXPECT_EQ(cell("A1")->format()->styleOptionForMask(kFormatItalic), 1);
  document.toggleValueForMask(kFormatItalic, kDomainCell);
  EXPECT_EQ(cell("A1")->format()->styleOptionForMask(kFormatItalic), 0);
  // Set off, a toggle turns it on.
  document.setValue(2, kFormatItalic, kDomainCell);
  document.toggleValueForMask(kFormatItalic, kDomainCell);
  EXPECT_EQ(cell("A1")->format()->styleOptionForMask(kFormatItalic), 1);
}

TEST_F(RulesTest, AnActiveLinkIsDrawnUnderlinedInTheLinkColour) {
  CACell& link = enter("B2", "http://example.org/");
  ASSERT_EQ(link.valueType(), kValueLink);
  const CAFormat active = document.formatForCell(&link, true);
  EXPECT_TRUE(active.underline());
  EXPECT_EQ(active.textKolor(), kActiveLinkKolor);
  EXPECT_FALSE(document.defaultFormat().underline());  // the default format is left alone
  link.setInactiveLink(true);
  const CAFormat inactive = document.formatForCell(&link, true);
  EXPECT_FALSE(inactive.underline());
  EXPECT_EQ(inactive.textKolor(), g_blackKolor);
}

TEST_F(RulesTest, FormatsOfOpenEndedLinesAreThoseOfTheCellsThere) {
  CAFormat bold;
  bold.setBold(true);
  for (const char* at : {"A2", "Z2", "C3", "AA5"}) document.cellAtGridPointImperative(A1(at))->setFormat(bold);
  enter("B3", "no format");
  // Rows 2 and 3 whole: the cells with a format there, rows outer.
  const std::vector<CAFormat*> found = document.formatsInRange(Rows(1, 2), kDomainCell, false);
  EXPECT_EQ(found, (std::vector<CAFormat*>{cell("A2")->format(), cell("Z2")->format(), cell("C3")->format()}));
  // Whole columns A to C: rows to the last one used.
  const std::vector<CAFormat*> columns = document.formatsInRange(Columns(0, 2), kDomainCell, false);
  EXPECT_EQ(columns, (std::vector<CAFormat*>{cell("A2")->format(), cell("C3")->format()}));
  // Changing them gives B3 a format of its own, and nothing to the cells that are not there.
  const std::vector<CAFormat*> made = document.formatsInRange(Rows(2, 2), kDomainCell, true);
  EXPECT_EQ(made.size(), 2u);
  EXPECT_NE(cell("B3")->format(), nullptr);
  EXPECT_EQ(cell("A3"), nullptr);
}

TEST_F(RulesTest, LineFormatsGoToTheLinesFromTheSelectionsStart) {
  CADocument source;
  CAFormat bold;
  bold.setBold(true);
  source.rowImperative(0)->setFormat(bold);
  source.rowImperative(1);
  source.setSelectionRange(Rows(0, 1));
  select("C6", "C6");
  document.transferFormats(source);
  ASSERT_NE(document.formatForRow(5), nullptr);
  EXPECT_TRUE(document.formatForRow(5)->bold());
  EXPECT_EQ(document.formatForRow(6), nullptr);
  EXPECT_EQ(document.selectionRange(), Rows(5, 6));
  EXPECT_EQ(document.activeCellPoint(), (GridPoint{0, 6}));

  CADocument columns;
  CAFormat italic;
  italic.setItalic(true);
  columns.columnImperative(0)->setFormat(italic);
  columns.columnImperative(0)->setWidth(500000);
  columns.columnImperative(1)->setDigitCount(7);
  columns.setSelectionRange(Columns(0, 1));
  select("D1", "D1");
  document.transferFormats(columns);
  ASSERT_NE(document.column(3), nullptr);
  EXPECT_TRUE(document.formatForColumn(3)->italic());
  EXPECT_EQ(document.column(3)->width(), 500000);
  ASSERT_NE(document.column(4), nullptr);
  EXPECT_EQ(document.formatForColumn(4), nullptr);
  EXPECT_EQ(document.column(4)->digitCount(), 7);
  EXPECT_EQ(document.selectionRange(), Columns(3, 4));
  EXPECT_EQ(document.activeCellPoint(), (GridPoint{4, 0}));

  // A block carries no line formats.
  columns.setSelectionRange(Range("A1", "B2"));
  select("H1", "H1");
  const std::string before = xml();
  document.transferFormats(columns);
  EXPECT_EQ(xml(), before);
}

TEST_F(RulesTest, DeletionsTheSelectionAllows) {
  const struct {
    GridRange selection;
    int32_t editType;
    bool allowed;
  } cases[] = {
      {Rows(1, 2), kEditColumns, false},         {Rows(1, 2), kEditCellsHorizontal, false},
      {Rows(1, 2), kEditRows, true},             {Rows(1, 2), kEditCellsVertical, true},
      {Columns(1, 2), kEditRows, false},         {Columns(1, 2), kEditCellsVertical, false},
      {Columns(1, 2), kEditColumns, true},       {Columns(1, 2), kEditCellsHorizontal, true},
      {Range("B2", "C3"), kEditRows, true},      {Range("B2", "C3"), kEditColumns, true},
      {Range("B2", "C3"), kEditFromSelection, true}, {Rows(1, 2), kEditFromSelection, true},
      {Columns(1, 2), kEditFromSelection, true}, {Range("B2", "C3"), 9, false},
  };
  for (const auto& c : cases) {
    document.setSelectionRange(c.selection);
    EXPECT_EQ(document.canDelete(c.editType), c.allowed) << c.editType;
  }
}

}  // namespace
