// Borders: the setters' adjustments, copying, equality, the stroke pattern and the "border"
// element.
#include <gtest/gtest.h>

#include "calculator/model/CABorder.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "support/LogCapture.h"

namespace {

TEST(Border, DashPatternsScaleWithThickLines) {
  CABorder border;
  border.setStyle(kBorderDot);
  border.setWidth(38100);
  EXPECT_EQ(border.dashPattern(), (std::vector<qreal>{3.0, 6.0}));
  border.setStyle(kBorderDash);
  border.setWidth(6350);  // half a point: not scaled
  EXPECT_EQ(border.dashPattern(), (std::vector<qreal>{5.0, 2.0}));
  border.setStyle(kBorderSolid);
  EXPECT_TRUE(border.dashPattern().empty());
  // Qt counts dashes in line widths.
  border.setStyle(kBorderDot);
  border.setWidth(38100);
  EXPECT_EQ(border.pen(0).dashPattern(), (QList<qreal>{1.0, 2.0}));
}

TEST(Border, WritesAndReadsItsElement) {
  CABorder border;
  border.setStyle(kBorderDash);
  border.setWidth(25400);
  border.setColor(0x320000FF);
  FLXmlEncoder encoder;
  border.saveToXml(encoder);
  EXPECT_EQ(encoder.xml(),
            QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<border>\n\t<style>dash</style>\n"
                           "\t<color>{255, 0, 0, 50}</color>\n\t<width>25400</width>\n</border>\n"));
  auto decoder = FLXmlDecoder::withString(encoder.xml());
  ASSERT_TRUE(decoder && decoder->getNextTag());
  EXPECT_TRUE(CABorder::withXml(*decoder).isEqualTo(&border));
}

TEST(Border, ReadsValuesAsWrittenAndSkipsUnknownTags) {
  LogCapture quiet;
  auto decoder = FLXmlDecoder::withString(QStringLiteral(
      "<?xml version=\"1.0\"?><border><style>none</style><width>50800</width><odd>1</odd></border>"));
  ASSERT_TRUE(decoder && decoder->getNextTag());
  const CABorder read = CABorder::withXml(*decoder);
  EXPECT_EQ(read.style(), kBorderNone);  // no adjustment to the width's solid line
  EXPECT_EQ(read.width(), 50800);
}

}  // namespace
