#include "framlet/shell/FLCommaIntegerFormatter.h"
#include "framlet/shell/FLDayIndexFormatter.h"
#include "framlet/shell/FLMeasureFormatter.h"
#include "framlet/shell/FLMeasureTransformer.h"

#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

struct ParseCase { const char* text; bool ok; qlonglong value; const char* error; };

// Each text gives its value, or is refused with its message.
template <typename Formatter, size_t N>
void ExpectParses(Formatter& formatter, const ParseCase (&cases)[N]) {
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text);
    QVariant value;
    QString error;
    EXPECT_EQ(formatter.getObjectValue(&value, QString::fromUtf8(c.text), &error), c.ok);
    if (c.ok) {
      EXPECT_EQ(value.toLongLong(), c.value);
    } else {
      EXPECT_EQ(error.toStdString(), c.error);
    }
  }
}

TEST(FLMeasureFormatterTest, KeepsTypedLengthsWithinItsBounds) {
  FLMeasureFormatter formatter;
  formatter.setPreferredUnit(kFLUnitPoints);
  formatter.setMinimum(12700);
  formatter.setMaximum(127000);
  const ParseCase cases[] = {
      {"5", true, 63500, ""},
      {"-", true, kFLNoMeasure, ""},  // mixed selection: no range check
      {"0.5", false, 0, "Value is smaller than the minimum of 1 pt."},
      {"11", false, 0, "Value is larger than the maximum of 10 pt."},
      {"1/0", false, 0, "Denominator is zero."},
  };
  ExpectParses(formatter, cases);
}

TEST(FLMeasureFormatterTest, ShowsValuesAndServesItsField) {
  FLMeasureFormatter formatter;
  formatter.setPreferredUnit(kFLUnitCentimetres);
  EXPECT_EQ(formatter.stringForObjectValue(QVariant::fromValue<qlonglong>(540000)), QStringLiteral("1.5 cm"));
  EXPECT_TRUE(formatter.stringForObjectValue(QVariant(QStringLiteral("wide"))).isNull());
  formatter.setShowUnits(false);
  EXPECT_EQ(formatter.stringForObjectValue(720000), QStringLiteral("2"));

  QLineEdit field;
  auto* fieldFormatter = new FLMeasureFormatter;
  fieldFormatter->setPreferredUnit(kFLUnitInches);
  fieldFormatter->attachTo(&field);
  setMeasureValue(&field, 1371600);
  EXPECT_EQ(field.text(), QStringLiteral("1.5\""));
  field.setText(QStringLiteral("1 1/4"));
  EXPECT_EQ(measureValue(&field), 1143000);
  EXPECT_EQ(MeasureFromControl(&field, 28575), 1143000);
}

TEST(FLMeasureTransformerTest, PointsForwardEmuBackRounded) {
  EXPECT_DOUBLE_EQ(FLMeasureTransformer::transformedValue(QVariant::fromValue<qlonglong>(19050)).toDouble(), 1.5);
  FLMeasureTransformer::setPrecision(1270);
  EXPECT_EQ(FLMeasureTransformer::reverseTransformedValue(1.25).toLongLong(), 16510);
  FLMeasureTransformer::setPrecision(0);
  EXPECT_EQ(FLMeasureTransformer::reverseTransformedValue(1.25).toLongLong(), 15875);
  // Truncated, not rounded: 1.15 points is 14604.999... EMU in binary.
  EXPECT_EQ(FLMeasureTransformer::reverseTransformedValue(1.15).toLongLong(), 14604);
}

TEST(FLDayIndexFormatterTest, UnknownDaysAndBadDates) {
  FLDayIndexFormatter formatter;
  EXPECT_EQ(formatter.stringForObjectValue(0), QStringLiteral("<Unknown>"));
  formatter.setBlankUnknown(true);
  EXPECT_EQ(formatter.stringForObjectValue(0), QString());
  EXPECT_EQ(formatter.stringForObjectValue(20240315), QStringLiteral("3/15/2024"));

  QVariant value;
  QString error;
  ASSERT_TRUE(formatter.getObjectValue(&value, QStringLiteral("3/15/2024"), &error));
  EXPECT_EQ(value.toInt(), 20240315);
  EXPECT_FALSE(formatter.getObjectValue(&value, QStringLiteral("13/45/2024"), &error));
  EXPECT_TRUE(error.startsWith(QStringLiteral("The value you entered, \"13/45/2024\", is not a valid date: ")))
      << error.toStdString();
}

TEST(FLCommaIntegerFormatterTest, ParsesGroupedDigitsWithCheckedArithmetic) {
  FLCommaIntegerFormatter formatter;
  formatter.setMinimum(-1000000);
  const ParseCase cases[] = {
      {"", true, 0, ""}, {"-", true, 0, ""}, {"1,234,567", true, 1234567, ""}, {"12,34", true, 1234, ""},
      {"-1,000", true, -1000, ""}, {"1-2", false, 0, "This is not a valid number."},
      {"1.5", false, 0, "This is not a valid number."},
      {"-2,000,000", false, 0, "Value is smaller than the minimum of -1000000."},
      {"99,999,999,999,999,999,999", false, 0, "Number is too large."},
  };
  ExpectParses(formatter, cases);
  formatter.setMaximum(100);
  QString error;
  EXPECT_FALSE(formatter.getObjectValue(nullptr, QStringLiteral("101"), &error));
  EXPECT_EQ(error, QStringLiteral("Value is larger than the maximum of 100."));
  EXPECT_EQ(formatter.stringForObjectValue(QVariant::fromValue<qlonglong>(-1234567)), QStringLiteral("-1,234,567"));
}

}  // namespace
