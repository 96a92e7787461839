// The rules of formats that their setters, queries and the drawn text follow: the default
// format's marker, "Illegal mask", the three states of a style, the attributed text a cell draws
// and the format of a cell imported from a workbook.
#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "ModelTestSupport.h"
#include "support/LogCapture.h"

namespace {

CAFormat DefaultFormat() {
  CAFormat format;
  format.setBackgroundKolor(kWhiteKolor);
  format.setMask(kFormatDefaultMask);
  return format;
}

TEST(FormatRules, TheDefaultFormatKeepsItsMarkerAndTakesColoursForNone) {
  CAFormat format = DefaultFormat();
  format.setTextKolor(0xFFFFFFFF);
  EXPECT_EQ(format.textKolor(), 0x64000000u);
  format.setBackgroundKolor(0xFFFFFFFF);
  EXPECT_EQ(format.backgroundKolor(), 0x64FFFFFFu);
  format.setAlignment(kAlignmentAuto);
  format.clearMask(kFormatBold | kFormatTextColor);
  format.setBold(false);
  EXPECT_EQ(format.mask(), kFormatDefaultMask);
  EXPECT_TRUE(format.isDefaultFormat());
  // Taking a border or number format away leaves the marker too: the default format must stay
  // recognisable as the one that sets everything.
  CABorder none;
  none.setStyle(0);
  format.setBorder(&none);
  format.setNumberFormat(nullptr);
  EXPECT_TRUE(format.isDefaultFormat());

  // In any other format "no colour" clears the bit.
  CAFormat layer;
  layer.setTextKolor(0x640000FF);
  layer.setBackgroundKolor(0x6400FF00);
  EXPECT_EQ(layer.mask(), uint64_t(kFormatTextColor | kFormatBackground));
  layer.setTextKolor(0xFFFFFFFF);
  layer.setBackgroundKolor(0);
  EXPECT_EQ(layer.mask(), 0u);
}

TEST(FormatRules, StylesHaveThreeStatesAndOtherMasksAreIllegal) {
  CAFormat format;
  EXPECT_EQ(format.styleOptionForMask(kFormatItalic), 0);
  format.setItalic(true);
  EXPECT_EQ(format.styleOptionForMask(kFormatItalic), 1);
  format.setItalic(false);
  EXPECT_EQ(format.styleOptionForMask(kFormatItalic), 2);
  EXPECT_EQ(format.mask(), uint64_t(kFormatItalic));
  format.setAlignment(kAlignmentCenter);
  EXPECT_EQ(format.valueForMask(kFormatAlignment), kAlignmentCenter);
  EXPECT_EQ(format.valueForMask(kFormatItalic), 0);

  LogCapture log;
  for (const uint64_t mask : {uint64_t(kFormatTextColor), uint64_t(kFormatBorder), uint64_t(3)})
    EXPECT_EQ(format.valueForMask(mask), 0) << mask;
  EXPECT_EQ(log.assertMessages(),
            (QStringList{QStringLiteral("Illegal mask"), QStringLiteral("Illegal mask"), QStringLiteral("Illegal mask")}));
}

TEST(FormatRules, TheDrawnTextFollowsAlignmentColourAndLines) {
  const QFont font(QStringLiteral("Sans"), 12);
  const struct {
    int32_t alignment, defaultAlignment;
    Qt::Alignment drawn;
    FLLineBreakMode truncation;
  } cases[] = {
      {kAlignmentAuto, kAlignmentRight, Qt::AlignRight, FLLineBreakMode::TruncateHead},
      {kAlignmentAuto, kAlignmentLeft, Qt::AlignLeft, FLLineBreakMode::TruncateTail},
      {kAlignmentCenter, kAlignmentRight, Qt::AlignHCenter, FLLineBreakMode::TruncateTail},
      {kAlignmentJustified, kAlignmentRight, Qt::AlignLeft, FLLineBreakMode::TruncateTail},
      {kAlignmentRight, kAlignmentLeft, Qt::AlignRight, FLLineBreakMode::TruncateHead},
  };
  for (const auto& c : cases) {
    CAFormat format;
    format.setAlignment(c.alignment);
    const std::optional<FLAttributedString> text = format.expressWithText(QStringLiteral("abc"), font, c.defaultAlignment);
    ASSERT_TRUE(text) << c.alignment;
    EXPECT_EQ((text->alignment & Qt::AlignHorizontal_Mask).toInt(), c.drawn.toInt())
        << c.alignment << " " << c.defaultAlignment;
    EXPECT_EQ(int(text->lineBreakMode), int(c.truncation)) << c.alignment << " " << c.defaultAlignment;
  }
  CAFormat styled;
  styled.setBold(true);
  styled.setItalic(true);
  styled.setUnderline(true);
  styled.setStrike(true);
  styled.setTextKolor(0x64FF0000);
  const std::optional<FLAttributedString> text = styled.expressWithText(QStringLiteral("x"), font, kAlignmentLeft);
  ASSERT_TRUE(text);
  EXPECT_TRUE(text->font.bold());
  EXPECT_TRUE(text->font.italic());
  EXPECT_TRUE(text->font.underline());
  EXPECT_TRUE(text->font.strikeOut());
  EXPECT_EQ(text->color, ColorFromKolor(0x64FF0000));
  EXPECT_EQ(text->string, QStringLiteral("x"));
}

TEST(FormatRules, AWorkbookCellGetsStylesAlignmentAndColoursThatAreColours) {
  CAExcelFormatRecord record;
  record.alignment = kAlignmentCenter;
  record.font = CAExcelFont{true, false, true, false, 0x640000FF};
  record.backgroundKolor = kNoKolor;
  CAFormat format = CAFormat::withExcelFormat(record, kValueNumber);
  EXPECT_EQ(format.mask(), uint64_t(31 | kFormatTextColor));
  EXPECT_TRUE(format.bold());
  EXPECT_TRUE(format.underline());
  EXPECT_EQ(format.alignment(), kAlignmentCenter);
  EXPECT_FALSE(format.numberFormat());

  // A date cell gets a date number format even without a code; a code gives its own.
  record.backgroundKolor = 0x64FFFF00;
  format = CAFormat::withExcelFormat(record, kValueDate);
  EXPECT_EQ(format.mask(), uint64_t(31 | kFormatTextColor | kFormatBackground | kFormatNumberFormat));
  ASSERT_TRUE(format.numberFormat());
  EXPECT_EQ(format.numberFormat()->display(), kDisplayDate);
  record.numberFormatCode = QStringLiteral("0.00%");
  format = CAFormat::withExcelFormat(record, kValueNumber);
  ASSERT_TRUE(format.numberFormat());
  EXPECT_EQ(format.numberFormat()->display(), kDisplayPercent);
  EXPECT_EQ(format.numberFormat()->size(), 2);
}

}  // namespace
