// Changing a cell's type: what each conversion keeps and what it starts the new type with.
#include "SheetTestSupport.h"

#include "calculator/model/CAFormat.h"
#include "calculator/model/CANumberFormat.h"

#include <QDate>

namespace {

class TypeChangeTest : public SheetTest {
 protected:
  static int64_t today() { return int64_t(QDate::currentDate().year()) * 10000 + QDate::currentDate().month() * 100 +
                                  QDate::currentDate().day(); }
};

TEST_F(TypeChangeTest, EachConversionKeepsOrStartsTheValueAsTheCellsRulesSay) {
  const int64_t now = today();
  const struct {
    const char* entered;
    int32_t to;
    int32_t type;        // the type afterwards
    const char* formula; // the entered text afterwards
    int64_t number;      // the integer value afterwards; -1: no number
  } cases[] = {
      // A number that reads as a day index is kept as one; any other number becomes today.
      {"20240315", kValueDate, kValueDate, "", 20240315},
      {"19000101", kValueDate, kValueDate, "", 19000101},
      {"30001231", kValueDate, kValueDate, "", 30001231},
      {"12.5", kValueDate, kValueDate, "", now},
      {"30001232", kValueDate, kValueDate, "", now},
      {"-3", kValueDate, kValueDate, "", now},
      // Any other change starts the new type afresh.
      {"some words", kValueNumber, kValueNumber, "", 0},
      {"some words", kValueFormula, kValueFormula, "=", -1},
      {"some words", kValueDate, kValueDate, "", now},
      {"=1+2", kValueText, kValueText, "", -1},
      {"=1+2", kValueNumber, kValueNumber, "", 0},
      {"12.5", kValueText, kValueText, "", -1},
      {"12.5", kValueFormula, kValueFormula, "=", -1},
  };
  for (const auto& c : cases) {
    // Eight digits would be taken for a date when typed: numbers are stored as numbers.
    CACell& cell = *document.cellAtGridPointImperative(A1("B2"));
    bool isNumber = false;
    const double value = QString::fromUtf8(c.entered).toDouble(&isNumber);
    if (isNumber)
      cell.setNumberValue(CANumber::withReal(value));
    else
      cell.setFormula(QString::fromUtf8(c.entered));
    recalc();
    cell.changeType(c.to, false, false);
    SCOPED_TRACE(c.entered);
    // The "=" a formula starts with is not a formula that runs: it shows as a failed one.
    if (c.type == kValueFormula)
      EXPECT_TRUE(cell.isFormula());
    else
      EXPECT_EQ(cell.valueType(), c.type);
    EXPECT_EQ(cell.formula(), QString::fromUtf8(c.formula));
    if (c.number < 0) {
      EXPECT_FALSE(cell.number() && c.to != kValueFormula);
    } else {
      ASSERT_TRUE(cell.number());
      EXPECT_EQ(cell.number()->integerValue(), c.number);
    }
    // A date shows as one; nothing else keeps a number format through a change.
    const CAFormat* format = cell.format();
    const bool hasNumberFormat = format && format->numberFormat();
    if (c.type == kValueDate) {
      ASSERT_TRUE(hasNumberFormat);
      EXPECT_EQ(format->numberFormat()->display(), kDisplayDate);
    } else {
      EXPECT_FALSE(hasNumberFormat);
    }
    document.cellAtGridPointImperative(A1("B2"))->clearValue();
    document.cellAtGridPointImperative(A1("B2"))->setFormat(std::nullopt);
  }
}

TEST_F(TypeChangeTest, ADateBecomesItsDayIndexAsANumber) {
  CACell& cell = *document.cellAtGridPointImperative(A1("C3"));
  cell.setNumberValue(CANumber(20240315));
  cell.changeType(kValueDate, false, false);
  ASSERT_EQ(cell.valueType(), kValueDate);
  cell.changeType(kValueNumber, false, false);
  EXPECT_EQ(cell.valueType(), kValueNumber);
  ASSERT_TRUE(cell.number());
  EXPECT_EQ(cell.number()->integerValue(), 20240315);
  // The date's number format went with the date.
  EXPECT_TRUE(!cell.format() || !cell.format()->numberFormat());
}

TEST_F(TypeChangeTest, ANumbersFormatGoesWithAChangeOfType) {
  CACell& cell = enter("A1", "7");
  CAFormat format;
  CANumberFormat money;
  money.setDisplay(kDisplayMoney);
  format.setNumberFormat(&money);
  cell.setFormat(format);
  cell.changeType(kValueText, false, false);
  ASSERT_NE(cell.format(), nullptr);
  EXPECT_FALSE(cell.format()->numberFormat());
}

}  // namespace
