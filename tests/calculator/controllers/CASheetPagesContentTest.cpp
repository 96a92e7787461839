// The pages of a sheet cover its cells with content and the text overflowing from them as it is
// shown, not the empty placeholders beyond.
#include "calculator/controllers/caSheetPages.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/views/CAGridGeometry.h"
#include "framlet/foundation/FLKernel.h"

#include <gtest/gtest.h>

namespace {

class SheetPagesContentTest : public testing::Test {
 protected:
  SheetPagesContentTest() {
    FLKernel::sharedInstance();
    for (auto set : {&CADocument::setLeftMargin, &CADocument::setRightMargin, &CADocument::setTopMargin,
                     &CADocument::setBottomMargin})
      (document.*set)(0);
    document.setHeaderOffset(0);
    document.setPrintLabels(false);
    // Eight columns and fourteen rows in use.
    for (int64_t y = 0; y < 14; ++y)
      for (int64_t x = 0; x < 8; ++x) document.cellAtGridPointImperative({x, y})->setFormula(QString::number(x + y));
  }
  // Pages across and down on paper of 10 columns by 20 rows.
  std::pair<size_t, size_t> pages() {
    const CAGridGeometry geometry(&document);
    const CASheetPages sheet(document, CAPageMode::Paginate,
                             QSizeF(10.5 * geometry.columnWidth(0), 20.5 * geometry.rowHeight(0)));
    return {sheet.breaks().columns.size(), sheet.breaks().rows.size()};
  }

  CADocument document;
};

TEST_F(SheetPagesContentTest, EmptyPlaceholdersPrintNoPages) {
  EXPECT_EQ(pages(), (std::pair<size_t, size_t>{1, 1}));
  // Placeholders left far to the right and below, holding nothing: cells that occupy nothing.
  const GridPoint last = document.maxGridPoint();
  document.cellAtGridPointImperative({600, 2})->setValueType(kValueOverflow);
  document.cellAtGridPointImperative({3, 60})->setValueType(kValueOverflow);
  ASSERT_NE(document.cellAtGridPoint({600, 2}), nullptr);
  ASSERT_NE(document.cellAtGridPoint({3, 60}), nullptr);
  EXPECT_EQ(document.maxGridPoint(), last);
  EXPECT_EQ(pages(), (std::pair<size_t, size_t>{1, 1}));
}

TEST_F(SheetPagesContentTest, TextOverflowingAsShownIsPrinted) {
  CACell& text = *document.cellAtGridPointImperative({7, 16});
  text.setFormula(QString(400, QLatin1Char('w')));
  document.evaluate();
  const uint64_t extra = text.extraColumns();
  ASSERT_GT(extra, 12u);
  const auto [across, down] = pages();
  // Columns 0 .. 7 + extra, ten a page.
  EXPECT_EQ(across, size_t((7 + extra) / 10 + 1));
  EXPECT_EQ(down, 1u);
}

}  // namespace
