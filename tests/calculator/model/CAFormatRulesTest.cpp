// The rules a format layer keeps: which setter sets or clears which mask bit (and how the
// document's default format, which sets everything, differs), the style options of the
// three-state controls, the refusal of a mask that is no single property, the attributed text a
// cell is drawn with and the layer made from a workbook's format record.
#include <gtest/gtest.h>

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

// The default format never loses a colour: a non-colour is replaced, the mask stays.
TEST(FormatRules, TheDefaultFormatReplacesANonColour) {
  CAFormat defaults = DefaultFormat();
  defaults.setTextKolor(kNotAColour);
  EXPECT_EQ(defaults.textKolor(), kOpaqueBlack);
  defaults.setBackgroundKolor(kNotAColour);
  EXPECT_EQ(defaults.backgroundKolor(), 0x64FFFFFFu);
  EXPECT_EQ(defaults.mask(), kFormatDefaultMask);
  // A colour at the edges of the colour range is kept as given.
  const Kolor edges[] = {0x01000000, 0x64FFFFFF};
  for (Kolor kolor : edges) {
    CAFormat layer;
    layer.setTextKolor(kolor);
    EXPECT_EQ(layer.mask(), kFormatTextColor) << std::hex << kolor;
    EXPECT_EQ(layer.textKolor(), kolor);
  }
  CAFormat layer;
  layer.setTextKolor(0x65000000);  // past the range
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

// The text a cell is drawn with: the alignment decides where it is drawn and which end is cut.
TEST(FormatRules, ExpressWithTextFollowsAlignmentStylesAndColour) {
  const struct {
    int32_t alignment;
    int32_t defaultAlignment;
    Qt::Alignment drawn;
    FLLineBreakMode cut;
  } cases[] = {
      {kAlignmentLeft, kAlignmentRight, Qt::AlignLeft, FLLineBreakMode::TruncateTail},
      {kAlignmentCenter, kAlignmentLeft, Qt::AlignHCenter, FLLineBreakMode::TruncateTail},
      {kAlignmentRight, kAlignmentLeft, Qt::AlignRight, FLLineBreakMode::TruncateHead},
      {kAlignmentJustified, kAlignmentRight, Qt::AlignLeft, FLLineBreakMode::TruncateTail},
      {kAlignmentAuto, kAlignmentRight, Qt::AlignRight, FLLineBreakMode::TruncateHead},
      {kAlignmentAuto, kAlignmentCenter, Qt::AlignHCenter, FLLineBreakMode::TruncateTail},
      {kAlignmentAuto, kAlignmentLeft, Qt::AlignLeft, FLLineBreakMode::TruncateTail},
  };
  const QFont font(QStringLiteral("DejaVu Sans"), 12);
  for (const auto& c : cases) {
    CAFormat layer;
    layer.setAlignment(c.alignment);
    const auto text = layer.expressWithText(QStringLiteral("12.5"), font, c.defaultAlignment);
    ASSERT_TRUE(text) << c.alignment;
    EXPECT_EQ(text->string, QStringLiteral("12.5"));
    EXPECT_EQ(text->alignment & Qt::AlignHorizontal_Mask, c.drawn) << c.alignment << " " << c.defaultAlignment;
    EXPECT_EQ(text->lineBreakMode, c.cut) << c.alignment << " " << c.defaultAlignment;
    EXPECT_EQ(text->spaceAfter, 0);
  }

  CAFormat styled;
  styled.setBold(true);
  styled.setItalic(false);
  styled.setUnderline(true);
  styled.setStrike(true);
  styled.setTextKolor(kBlue);
  QFont italic = font;
  italic.setItalic(true);
  const auto text = styled.expressWithText(QStringLiteral("x"), italic, kAlignmentLeft);
  ASSERT_TRUE(text);
  EXPECT_TRUE(text->font.bold());
  EXPECT_FALSE(text->font.italic());  // the format says no italic, whatever the font
  EXPECT_TRUE(text->font.underline());
  EXPECT_TRUE(text->font.strikeOut());
  EXPECT_EQ(text->font.family(), font.family());
  EXPECT_EQ(text->color.toRgb().rgba(), qRgba(0, 0, 255, 255));
}

// A workbook's format record: the four styles and the alignment always, colours only when they
// are colours, a number format for a date cell or when the record has a code.
TEST(FormatRules, TheWorkbookRecordGivesItsMask) {
  constexpr int32_t kPlainValue = 1;
  constexpr int32_t kDateValue = 2;
  const uint64_t styles = kFormatBold | kFormatItalic | kFormatUnderline | kFormatStrike | kFormatAlignment;
  struct RecordCase {
    const char* what;
    CAExcelFormatRecord record;
    int32_t valueType;
    uint64_t mask;
  };
  CAExcelFormatRecord coloured;
  coloured.font = CAExcelFont{true, false, true, false, kBlue};
  coloured.backgroundKolor = 0x64FFFF00;
  CAExcelFormatRecord uncoloured;
  uncoloured.font = CAExcelFont{};
  CAExcelFormatRecord percent;
  percent.numberFormatCode = QStringLiteral("0.00%");
  const RecordCase cases[] = {
      {"nothing", CAExcelFormatRecord{}, kPlainValue, styles},
      {"colours", coloured, kPlainValue, styles | kFormatTextColor | kFormatBackground},
      {"a font without colour", uncoloured, kPlainValue, styles},
      {"a date cell without a code", CAExcelFormatRecord{}, kDateValue, styles | kFormatNumberFormat},
      {"a code", percent, kPlainValue, styles | kFormatNumberFormat},
  };
  for (const RecordCase& c : cases)
    EXPECT_EQ(CAFormat::withExcelFormat(c.record, c.valueType).mask(), c.mask) << c.what;

  const CAFormat fromColoured = CAFormat::withExcelFormat(coloured, kPlainValue);
  EXPECT_TRUE(fromColoured.bold());
  EXPECT_FALSE(fromColoured.italic());
  EXPECT_TRUE(fromColoured.underline());
  EXPECT_EQ(fromColoured.textKolor(), kBlue);
  EXPECT_EQ(fromColoured.backgroundKolor(), 0x64FFFF00u);
  CAExcelFormatRecord centred;
  centred.alignment = kAlignmentCenter;
  EXPECT_EQ(CAFormat::withExcelFormat(centred, kPlainValue).alignment(), kAlignmentCenter);

  const CAFormat fromPercent = CAFormat::withExcelFormat(percent, kPlainValue);
  ASSERT_TRUE(fromPercent.numberFormat());
  EXPECT_EQ(fromPercent.numberFormat()->display(), kDisplayPercent);
  EXPECT_EQ(fromPercent.numberFormat()->size(), 2);
  const CAFormat fromDate = CAFormat::withExcelFormat(CAExcelFormatRecord{}, kDateValue);
  ASSERT_TRUE(fromDate.numberFormat());
  EXPECT_EQ(fromDate.numberFormat()->display(), kDisplayDate);
}

}  // namespace
