// Cell formats: the mask kept by the setters, the default format's marker, composition, the
// "format" element and the attributed text a cell is drawn with.
#include <gtest/gtest.h>

#include "calculator/model/CAFormat.h"
#include "calculator/model/CAGridPoint.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "ModelTestSupport.h"
#include "support/LogCapture.h"

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");

QString Xml(const CAFormat& format, const GridPoint* point = nullptr) {
  FLXmlEncoder encoder;
  format.saveToXml(encoder, point);
  return encoder.xml().mid(kDeclaration.size());
}

CAFormat Read(const QString& xml) {
  auto decoder = FLXmlDecoder::withString(kDeclaration + xml);
  EXPECT_TRUE(decoder && decoder->getNextTag());
  return CAFormat::withXml(*decoder);
}

CAFormat DefaultFormat() {
  CAFormat format;
  format.setBackgroundKolor(kWhiteKolor);
  format.setMask(kFormatDefaultMask);
  return format;
}

TEST(Format, NewFormatSetsNothing) {
  const CAFormat format;
  EXPECT_EQ(format.mask(), 0u);
  EXPECT_EQ(format.alignment(), kAlignmentAuto);
  EXPECT_EQ(format.textKolor(), 0x64000000u);
  EXPECT_EQ(format.backgroundKolor(), kNoKolor);
  EXPECT_FALSE(format.border());
  EXPECT_FALSE(format.numberFormat());
  EXPECT_FALSE(format.shouldSave());
}

TEST(Format, SettersKeepTheMaskInStep) {
  CAFormat format;
  format.setBold(false);  // a NO is a setting too
  EXPECT_EQ(format.mask(), uint64_t(kFormatBold));
  EXPECT_EQ(format.styleOptionForMask(kFormatBold), 2);
  format.setBold(true);
  EXPECT_EQ(format.styleOptionForMask(kFormatBold), 1);
  EXPECT_EQ(format.styleOptionForMask(kFormatItalic), 0);

  format.setAlignment(kAlignmentCenter);
  EXPECT_TRUE(format.hasPropertyForMask(kFormatAlignment));
  format.setAlignment(kAlignmentAuto);
  EXPECT_FALSE(format.hasPropertyForMask(kFormatAlignment));

  format.setTextKolor(0x640000FF);
  EXPECT_TRUE(format.hasPropertyForMask(kFormatTextColor));
  format.setTextKolor(kNoKolor);
  EXPECT_FALSE(format.hasPropertyForMask(kFormatTextColor));
  format.setBackgroundKolor(0x65000000);  // alpha above 100: no colour
  EXPECT_FALSE(format.hasPropertyForMask(kFormatBackground));

  CABorder none;
  none.setStyle(kBorderNone);
  format.setBorder(&none);
  EXPECT_FALSE(format.border());
  EXPECT_FALSE(format.hasPropertyForMask(kFormatBorder));
  const CABorder line;
  format.setBorder(&line);
  EXPECT_TRUE(format.hasPropertyForMask(kFormatBorder));

  CANumberFormat automatic;
  format.setNumberFormat(&automatic);
  EXPECT_FALSE(format.hasPropertyForMask(kFormatNumberFormat));
  CANumberFormat money;
  money.setDisplay(kDisplayMoney);
  format.setNumberFormat(&money);
  EXPECT_TRUE(format.hasPropertyForMask(kFormatNumberFormat));

  format.clearMask(kFormatBold | kFormatBorder);
  EXPECT_FALSE(format.hasPropertyForMask(kFormatBold));
  EXPECT_FALSE(format.hasPropertyForMask(kFormatBorder));
}

TEST(Format, DefaultFormatStaysRecognisable) {
  CAFormat format = DefaultFormat();
  format.setTextKolor(kNoKolor);
  EXPECT_EQ(format.textKolor(), 0x64000000u);
  format.setBackgroundKolor(kNoKolor);
  EXPECT_EQ(format.backgroundKolor(), kWhiteKolor);
  format.setAlignment(kAlignmentAuto);
  format.clearMask(kFormatBold);
  CANumberFormat automatic;
  format.setNumberFormat(&automatic);
  format.setBorder(nullptr);
  EXPECT_EQ(format.mask(), kFormatDefaultMask);
  EXPECT_TRUE(format.isDefaultFormat());
}

TEST(Format, ValueForMaskRefusesOtherMasks) {
  LogCapture log;
  CAFormat format;
  format.setAlignment(kAlignmentRight);
  EXPECT_EQ(format.valueForMask(kFormatAlignment), kAlignmentRight);
  EXPECT_EQ(format.valueForMask(kFormatTextColor), 0);
  EXPECT_TRUE(log.contains(QStringLiteral("Illegal mask")));
}

TEST(Format, ComposeTakesWhatTheUpperLayerSets) {
  CAFormat column;
  column.setBold(true);
  column.setTextKolor(0x640000FF);
  CAFormat cell;
  cell.setBold(false);
  CANumberFormat percent;
  percent.setDisplay(kDisplayPercent);
  cell.setNumberFormat(&percent);

  const CAFormat composed = DefaultFormat().composeWith(&column).composeWith(&cell);
  EXPECT_FALSE(composed.bold());
  EXPECT_EQ(composed.textKolor(), 0x640000FFu);
  ASSERT_TRUE(composed.numberFormat());
  EXPECT_EQ(composed.numberFormat()->display(), kDisplayPercent);
  EXPECT_EQ(composed.backgroundKolor(), kWhiteKolor);

  // A layer whose alignment is automatic leaves the alignment alone.
  CAFormat left;
  left.setAlignment(kAlignmentLeft);
  CAFormat automatic;
  automatic.setMask(kFormatAlignment);
  EXPECT_EQ(left.composeWith(&automatic).alignment(), kAlignmentLeft);
  // Borders are not composed.
  CAFormat bordered;
  const CABorder line;
  bordered.setBorder(&line);
  EXPECT_FALSE(CAFormat().composeWith(&bordered).border());
  EXPECT_EQ(CAFormat().composeWith(nullptr).mask(), 0u);
}

TEST(Format, CopyGoesThroughTheSettersAndKeepsTheMask) {
  CAFormat format;
  format.setItalic(true);
  format.setTextKolor(0x64112233);
  CABorder border;
  border.setStyle(kBorderDash);
  format.setBorder(&border);
  format.setMask(kFormatItalic);  // the border is kept though its bit is not set
  const CAFormat copy = format.copy();
  EXPECT_EQ(copy.mask(), uint64_t(kFormatItalic));
  EXPECT_TRUE(copy.italic());
  EXPECT_EQ(copy.textKolor(), 0x64112233u);
  ASSERT_TRUE(copy.border());
  EXPECT_EQ(copy.border()->style(), kBorderDash);
  EXPECT_TRUE(format.isBorderEqualTo(&copy));  // neither has the bit: the borders decide
  format.setBorder(&border);  // now only this one has the bit
  EXPECT_FALSE(format.isBorderEqualTo(&copy));
  CAFormat other = format.copy();
  EXPECT_TRUE(format.isBorderEqualTo(&other));
  EXPECT_FALSE(format.isBorderEqualTo(nullptr));
  EXPECT_FALSE(CAFormat().isBorderEqualTo(&other));
}

TEST(Format, WritesOnlyWhatItSets) {
  CAFormat format;
  format.setBold(true);
  format.setUnderline(false);
  format.setAlignment(kAlignmentRight);
  format.setBackgroundKolor(0x64FFFF00);
  const GridPoint point{2, 7};
  EXPECT_EQ(Xml(format, &point),
            QStringLiteral("<format x=\"2\" y=\"7\">\n\t<bold>1</bold>\n\t<under>0</under>\n"
                           "\t<align>right</align>\n\t<back_color>{0, 255, 255}</back_color>\n"
                           "</format>\n"));

  CAFormat numbers;
  CANumberFormat integer;
  integer.setDisplay(kDisplayInteger);
  numbers.setNumberFormat(&integer);
  CABorder border;
  border.setStyle(kBorderDot);
  numbers.setBorder(&border);
  numbers.setStrike(true);
  EXPECT_EQ(Xml(numbers).toStdString(), QStringLiteral("<format>\n\t<strike>1</strike>\n\t<num_fmt type=\"int\"></num_fmt>\n"
                                         "\t<border>\n"
                                         "\t\t<style>dot</style>\n\t\t<color>{0, 0, 0}</color>\n"
                                         "\t\t<width>12700</width>\n\t</border>\n</format>\n").toStdString());
}

TEST(Format, ReadsBackWhatItWrote) {
  CAFormat format;
  format.setItalic(true);
  format.setStrike(false);
  format.setAlignment(kAlignmentCenter);
  format.setTextKolor(0x1E0A0B0C);
  CANumberFormat date;
  date.setDisplay(kDisplayDate);
  format.setNumberFormat(&date);
  CABorder border;
  border.setStyle(kBorderDash);
  border.setWidth(25400);
  format.setBorder(&border);
  const CAFormat read = Read(Xml(format));
  EXPECT_EQ(read.mask(), format.mask());
  EXPECT_TRUE(read.italic());
  EXPECT_FALSE(read.strike());
  EXPECT_EQ(read.alignment(), kAlignmentCenter);
  EXPECT_EQ(read.textKolor(), 0x1E0A0B0Cu);
  ASSERT_TRUE(read.numberFormat());
  EXPECT_EQ(*read.numberFormat(), *format.numberFormat());
  EXPECT_TRUE(read.isBorderEqualTo(&format));
}

TEST(Format, AlignmentNamesReadAndWrite) {
  CAFormat justified;
  justified.setAlignment(kAlignmentJustified);
  EXPECT_EQ(Xml(justified), QStringLiteral("<format>\n\t<align>left</align>\n</format>\n"));
  EXPECT_EQ(Read(Xml(justified)).alignment(), kAlignmentLeft);
  EXPECT_EQ(Read(QStringLiteral("<format><align>auto</align></format>")).alignment(), kAlignmentAuto);
  LogCapture log;
  EXPECT_EQ(Read(QStringLiteral("<format><align>sideways</align><shadow>1</shadow></format>")).alignment(),
            kAlignmentLeft);
  EXPECT_TRUE(log.contains(QStringLiteral("Unknown format tag")));
}

TEST(Format, ExcelFormatsSetStylesAlignmentAndColours) {
  CAExcelFormatRecord record;
  record.alignment = kAlignmentCenter;
  record.font = CAExcelFont{true, false, true, false, 0x640000FF};
  const CAFormat format = CAFormat::withExcelFormat(record, 7);
  EXPECT_EQ(format.mask(), 31u + 32u);
  EXPECT_TRUE(format.bold());
  EXPECT_TRUE(format.underline());
  EXPECT_FALSE(format.numberFormat());

  CAExcelFormatRecord dated;
  dated.backgroundKolor = 0x64FFFFFF;
  const CAFormat date = CAFormat::withExcelFormat(dated, 2);
  EXPECT_EQ(date.mask(), 31u + 64u + 256u);
  ASSERT_TRUE(date.numberFormat());
  EXPECT_EQ(date.numberFormat()->display(), kDisplayDate);
}

TEST(Format, ExpressesTextForDrawing) {
  CAFormat format;
  format.setBold(true);
  format.setStrike(true);
  format.setTextKolor(0x640000FF);
  const QFont font(QStringLiteral("DejaVu Sans"), 12);
  const auto right = format.expressWithText(QStringLiteral("12"), font, kAlignmentRight);
  ASSERT_TRUE(right);
  EXPECT_TRUE(right->font.bold());
  EXPECT_FALSE(right->font.italic());
  EXPECT_TRUE(right->font.strikeOut());
  EXPECT_EQ(right->alignment, Qt::AlignRight);
  EXPECT_EQ(right->lineBreakMode, FLLineBreakMode::TruncateHead);
  EXPECT_EQ(right->color, QColor(255, 0, 0));
  format.setAlignment(kAlignmentJustified);
  const auto left = format.expressWithText(QStringLiteral("x"), font, kAlignmentRight);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->alignment, Qt::AlignLeft);
  EXPECT_EQ(left->lineBreakMode, FLLineBreakMode::TruncateTail);
  EXPECT_FALSE(format.expressWithText(QString(), font, kAlignmentLeft));
}

}  // namespace
