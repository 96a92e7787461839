// The rules of formats that their setters, queries and the drawn text follow: the default
// format's marker, which setter sets or clears which mask bit, "Illegal mask", the three states
// of a style, borders saved and compared, the attributed text a cell draws and the format of a
// cell imported from a workbook.
#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "ModelTestSupport.h"
#include "support/LogCapture.h"

#include <functional>

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

constexpr Kolor kBlue = 0x64FF0000;  // blue in bits 16-23
constexpr Kolor kOpaqueBlack = 0x64000000;
constexpr Kolor kNotAColour = 0xFFFFFFFF;

struct SetterCase {
  const char* what;
  std::function<void(CAFormat&)> change;
  uint64_t maskOfNew;      // the mask a new format has after the change
  uint64_t maskOfDefault;  // the mask the default format has after it
};

// The default format's mask is also its marker: whatever is set or dropped there, it stays the
// format that sets everything (a border or number format dropped from it is simply absent).

TEST(FormatRules, EachSetterKeepsTheMaskInStep) {
  CANumberFormat automatic;
  CANumberFormat percent;
  percent.setDisplay(kDisplayPercent);
  CABorder solid;
  CABorder none;
  none.setStyle(kBorderNone);
  const SetterCase cases[] = {
      {"bold on", [](CAFormat& f) { f.setBold(true); }, kFormatBold, kFormatDefaultMask},
      {"bold off is a setting too", [](CAFormat& f) { f.setBold(false); }, kFormatBold, kFormatDefaultMask},
      {"italic off", [](CAFormat& f) { f.setItalic(false); }, kFormatItalic, kFormatDefaultMask},
      {"underline on", [](CAFormat& f) { f.setUnderline(true); }, kFormatUnderline, kFormatDefaultMask},
      {"strike off", [](CAFormat& f) { f.setStrike(false); }, kFormatStrike, kFormatDefaultMask},
      {"alignment right", [](CAFormat& f) { f.setAlignment(kAlignmentRight); }, kFormatAlignment, kFormatDefaultMask},
      {"alignment automatic", [](CAFormat& f) { f.setAlignment(kAlignmentAuto); }, 0, kFormatDefaultMask},
      {"text colour", [](CAFormat& f) { f.setTextKolor(kBlue); }, kFormatTextColor, kFormatDefaultMask},
      {"text no colour", [](CAFormat& f) { f.setTextKolor(kNotAColour); }, 0, kFormatDefaultMask},
      {"background colour", [](CAFormat& f) { f.setBackgroundKolor(kBlue); }, kFormatBackground, kFormatDefaultMask},
      {"background no colour", [](CAFormat& f) { f.setBackgroundKolor(kNotAColour); }, 0, kFormatDefaultMask},
      {"border with a style", [&](CAFormat& f) { f.setBorder(&solid); }, kFormatBorder,
       kFormatDefaultMask},
      {"border without a style", [&](CAFormat& f) { f.setBorder(&none); }, 0, kFormatDefaultMask},
      {"no border", [](CAFormat& f) { f.setBorder(nullptr); }, 0, kFormatDefaultMask},
      {"number format", [&](CAFormat& f) { f.setNumberFormat(&percent); }, kFormatNumberFormat,
       kFormatDefaultMask},
      {"automatic number format", [&](CAFormat& f) { f.setNumberFormat(&automatic); }, 0,
       kFormatDefaultMask},
      {"clear bold", [](CAFormat& f) { f.clearMask(kFormatBold); }, 0, kFormatDefaultMask},
  };
  for (const SetterCase& c : cases) {
    CAFormat layer;
    c.change(layer);
    EXPECT_EQ(layer.mask(), c.maskOfNew) << c.what;
    CAFormat defaults = DefaultFormat();
    c.change(defaults);
    EXPECT_EQ(defaults.mask(), c.maskOfDefault) << c.what;
  }
}

TEST(FormatRules, ClearingAfterSettingTakesTheBitAwayAgain) {
  CAFormat layer;
  layer.setAlignment(kAlignmentCenter);
  layer.setTextKolor(kBlue);
  layer.setBackgroundKolor(kBlue);
  layer.setItalic(true);
  EXPECT_EQ(layer.mask(), kFormatAlignment | kFormatTextColor | kFormatBackground | kFormatItalic);
  layer.setAlignment(kAlignmentAuto);
  layer.setTextKolor(kNotAColour);
  layer.setBackgroundKolor(0x00123456);  // no alpha: no colour
  layer.clearMask(kFormatItalic);
  EXPECT_EQ(layer.mask(), 0u);
}

TEST(FormatRules, StyleOptionsAndValuesByMask) {
  CAFormat layer;
  EXPECT_EQ(layer.styleOptionForMask(kFormatBold), 0);  // inherited
  layer.setBold(false);
  EXPECT_EQ(layer.styleOptionForMask(kFormatBold), 2);  // set and off
  layer.setBold(true);
  EXPECT_EQ(layer.styleOptionForMask(kFormatBold), 1);  // set and on
  layer.setAlignment(kAlignmentRight);
  EXPECT_EQ(layer.valueForMask(kFormatAlignment), kAlignmentRight);
  EXPECT_EQ(layer.valueForMask(kFormatBold), 1);
  EXPECT_EQ(layer.valueForMask(kFormatItalic), 0);

  // A mask that is no single style bit nor the alignment is refused with a log entry.
  const uint64_t refused[] = {kFormatTextColor, kFormatBackground, kFormatBorder, kFormatNumberFormat,
                              kFormatBold | kFormatItalic, 0};
  for (const uint64_t mask : refused) {
    LogCapture log;
    EXPECT_EQ(layer.valueForMask(mask), 0) << mask;
    EXPECT_TRUE(log.contains(QStringLiteral("Illegal mask"))) << mask;
  }

  // A border bit counts only with a border that has a style.
  CAFormat bordered;
  bordered.setMask(kFormatBorder);
  EXPECT_FALSE(bordered.hasPropertyForMask(kFormatBorder));
  const CABorder line;
  bordered.setBorder(&line);
  EXPECT_TRUE(bordered.hasPropertyForMask(kFormatBorder));
  EXPECT_TRUE(bordered.hasPropertyForMask(kFormatBorder | kFormatBold));
  EXPECT_FALSE(bordered.hasPropertyForMask(kFormatBold));
}

TEST(FormatRules, SavingAndComparingBorders) {
  EXPECT_FALSE(CAFormat().shouldSave());
  CAFormat off;
  off.setStrike(false);
  EXPECT_TRUE(off.shouldSave());

  CAFormat a;
  CAFormat b;
  EXPECT_FALSE(a.isBorderEqualTo(&b));  // neither has a border: never equal
  EXPECT_FALSE(a.isBorderEqualTo(nullptr));
  CABorder dotted;
  dotted.setStyle(kBorderDot);
  a.setBorder(&dotted);
  EXPECT_FALSE(a.isBorderEqualTo(&b));
  b.setBorder(&dotted);
  EXPECT_TRUE(a.isBorderEqualTo(&b));
  CABorder wide = dotted.copy();
  wide.setWidth(38100);
  b.setBorder(&wide);
  EXPECT_FALSE(a.isBorderEqualTo(&b));
}

}  // namespace
