// Formats by domain: the default format, the layers a cell is drawn with (default, stripe,
// row, column, cell, link), and the format commands of the selection.
#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "ModelTestSupport.h"

namespace {

class FormatsTest : public testing::Test {
 protected:
  void SetUp() override { document.setController(&window); }
  void TearDown() override { document.setController(nullptr); }

  CAFormat& layer(int32_t domain, const GridPoint& point) {
    return *document.formatForDomainImperative(domain, point);
  }

  ModelEnvironment environment;
  FakeWindow window;
  CADocument document;
};

TEST_F(FormatsTest, LayersComposeFromDefaultThroughStripeRowColumnAndCell) {
  document.setStripeInterval(2);
  document.setStripeKolor(0x64DDDDDD);
  CACell& striped = *document.cellAtGridPointImperative({1, 1});  // row 2 is striped
  EXPECT_EQ(document.formatForCell(&striped, false).backgroundKolor(), 0x64DDDDDDu);
  EXPECT_EQ(document.formatForCell(&striped, true).backgroundKolor(), kWhiteKolor);

  layer(kDomainRow, {0, 1}).setBackgroundKolor(0x640000FF);
  EXPECT_EQ(document.formatForCell(&striped, false).backgroundKolor(), 0x640000FFu);
  layer(kDomainColumn, {1, 0}).setBackgroundKolor(0x6400FF00);
  layer(kDomainColumn, {1, 0}).setBold(true);
  EXPECT_EQ(document.formatForCell(&striped, false).backgroundKolor(), 0x6400FF00u);
  layer(kDomainCell, {1, 1}).setBold(false);  // a column that sets bold, a cell that says no
  EXPECT_FALSE(document.formatForCell(&striped, false).bold());
  EXPECT_EQ(document.composedFormat({1, 1}).backgroundKolor(), 0x6400FF00u);
  EXPECT_FALSE(document.composedFormat({1, 1}).bold());
  EXPECT_TRUE(document.composedFormat({1, 5}).bold());
  EXPECT_EQ(document.composedFormat({-1, 1}).backgroundKolor(), 0x640000FFu);
}

TEST_F(FormatsTest, SetValueChangesOnePropertyOfEverySelectedFormat) {
  document.setSelectionRange({{1, 1}, {2, 2}});  // B2:C3
  document.setValue(2, kFormatBold, kDomainCell);
  for (const GridPoint& point : {GridPoint{1, 1}, GridPoint{1, 2}, GridPoint{2, 1}, GridPoint{2, 2}}) {
    ASSERT_NE(document.cellAtGridPoint(point), nullptr);
    EXPECT_EQ(document.cellAtGridPoint(point)->format()->styleOptionForMask(kFormatBold), 2);
  }
  EXPECT_EQ(window.domains.back(), kDomainCell);
  document.setValue(0, kFormatBold, kDomainCell);
  ASSERT_NE(document.cellAtGridPoint({1, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({1, 1})->format()->styleOptionForMask(kFormatBold), 0);
  document.setValue(0x640000FF, kFormatTextColor, kDomainCell);
  ASSERT_NE(document.cellAtGridPoint({2, 2}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({2, 2})->format()->textKolor(), 0x640000FFu);
  EXPECT_EQ(environment.panelKolors.back(), 0x640000FFu);  // the active cell's text colour
  document.setValue(int64_t(kNoKolor), kFormatTextColor, kDomainCell);
  ASSERT_NE(document.cellAtGridPoint({2, 2}), nullptr);
  EXPECT_FALSE(document.cellAtGridPoint({2, 2})->format()->hasPropertyForMask(kFormatTextColor));
  document.setValue(kAlignmentCenter, kFormatAlignment, kDomainRow);
  EXPECT_EQ(document.formatForRow(1)->alignment(), kAlignmentCenter);
  document.setValue(kAlignmentAuto, kFormatAlignment, kDomainRow);
  EXPECT_FALSE(document.formatForRow(2)->hasPropertyForMask(kFormatAlignment));
}

TEST_F(FormatsTest, ApplyFormatGoesToTheSelectedDomain) {
  CAFormat strike;
  strike.setStrike(true);
  document.setSelectionRange({{1, kGridWildcard}, {2, kGridWildcard}});
  document.columnImperative(1)->setDigitCount(7);
  document.applyFormat(strike, kKeepColumnWidths, 0);
  EXPECT_TRUE(document.formatForColumn(2)->strike());
  EXPECT_EQ(document.column(1)->digitCount(), 7);
  document.applyFormat(strike, -1, 500000);
  EXPECT_EQ(document.column(1)->digitCount(), -1);
  EXPECT_EQ(document.column(2)->width(), 500000);

  document.setSelectionRange({{kGridWildcard, 3}, {kGridWildcard, 4}});
  document.applyFormat(strike, 0, 0);
  EXPECT_TRUE(document.formatForRow(4)->strike());

  document.setSelectionRange({{0, 0}, {1, 0}});
  document.applyFormat(strike, 0, 0);
  ASSERT_NE(document.cellAtGridPoint({1, 0}), nullptr);
  EXPECT_TRUE(document.cellAtGridPoint({1, 0})->format()->strike());
}

}  // namespace
