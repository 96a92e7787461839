// Cell formats: the mask kept by the setters, the default format's marker, composition, the
// "format" element and the attributed text a cell is drawn with.
#include <gtest/gtest.h>

#include "calculator/model/CABorder.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/CAGridPoint.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "ModelTestSupport.h"

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
  EXPECT_FALSE(read.strike());
  EXPECT_EQ(read.alignment(), kAlignmentCenter);
  EXPECT_EQ(read.textKolor(), 0x1E0A0B0Cu);
  EXPECT_EQ(*read.numberFormat(), *format.numberFormat());
  EXPECT_TRUE(read.isBorderEqualTo(&format));
}

}  // namespace

// Formats that differ in one field alone, the field a file writes differently for each cell: the
// table holds each once and compares a new one with few others, whichever field it is.
TEST(CAFormatTable, FormatsDifferingInOneFieldAreComparedWithFewOthers) {
  struct Case {
    const char* field;
    void (*vary)(CAFormat&, int);
  };
  const Case cases[] = {
      {"currency symbol",
       [](CAFormat& f, int k) {
         CANumberFormat n;
         n.setDisplay(kDisplayMoney);
         n.setCurrencySymbol(QStringLiteral("C%1").arg(k));
         f.setNumberFormat(&n);
       }},
      {"digits",
       [](CAFormat& f, int k) {
         CANumberFormat n;
         n.setDisplay(kDisplayFloat);
         n.setSize(k);
         f.setNumberFormat(&n);
       }},
      {"border width",
       [](CAFormat& f, int k) {
         CABorder b;
         b.setWidth(k + 1);
         f.setBorder(&b);
       }},
      {"text colour", [](CAFormat& f, int k) { f.setTextKolor(Kolor(0x64000000u | uint32_t(k))); }},
  };
  constexpr int kFormats = 3000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    CAFormatTable table;
    for (int round = 0; round < 2; ++round)
      for (int k = 0; k < kFormats; ++k) {
        CAFormat format;
        c.vary(format, k);
        table.intern(std::move(format));
      }
    EXPECT_EQ(table.size(), size_t(kFormats));
    // The second round finds each in about one comparison; the first compares with hardly any.
    EXPECT_LT(table.comparisons(), uint64_t(4 * kFormats));
  }
}
