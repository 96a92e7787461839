// Adding to and subtracting from dates counts in days; every other operation on dates works on
// their day indexes as before.
#include <gtest/gtest.h>

#include "calculator/model/formula/caFormulaErrors.h"
#include "../SheetTestSupport.h"

namespace {

class DateArithmeticTest : public SheetTest {
 protected:
  DateArithmeticTest() {
    date("A1", 20240315);
    date("A2", 20240401);
    enter("A3", "=DATE(2024,1,31)");  // a formula showing a date
    enter("A4", "5");
    date("A5", 20241231);
    recalc();
  }
  void date(const char* at, int32_t dayIndex) {
    CACell& cell = *document.cellAtGridPointImperative(A1(at));
    cell.setNumberValue(CANumber(dayIndex));
    cell.setValueType(kValueDate);
  }
};

TEST_F(DateArithmeticTest, PlusAndMinusCountInDays) {
  const struct {
    const char* formula;
    int64_t value;
    int32_t shownAs;
  } cases[] = {
      {"=A2-A1", 17, kValueNumber},
      {"=A1-A2", -17, kValueNumber},
      {"=A5-A1", 291, kValueNumber},
      {"=A1+30", 20240414, kValueDate},
      {"=30+A1", 20240414, kValueDate},
      {"=A1-15", 20240229, kValueDate},
      {"=A1+A4", 20240320, kValueDate},
      {"=A5+1", 20250101, kValueDate},
      {"=A1+1.9", 20240316, kValueDate},  // whole days
      {"=A3+1", 20240201, kValueDate},
      {"=DATE(2024,12,31)+1", 20250101, kValueDate},
      {"=A1+1-A1", 1, kValueNumber},
      {"=EDATE(A1,1)-A1", 31, kValueNumber},
      {"=TODAY()-TODAY()", 0, kValueNumber},
      // Everything else keeps working on the day indexes.
      {"=A1+A2", 40480716, kValueNumber},
      {"=A4-A1", 5 - 20240315, kValueNumber},
      {"=-A1", -20240315, kValueNumber},
      {"=(A1+1)*1", 20240316, kValueNumber},
      {"=SUM(A1,A2)", 40480716, kValueNumber},
      {"=A4+1", 6, kValueNumber},
  };
  for (const auto& c : cases) {
    CACell& cell = enter("C1", c.formula);
    recalc();
    ASSERT_EQ(cell.valueType(), kValueFormula) << c.formula << " error " << cell.evalResult();
    ASSERT_TRUE(cell.number()) << c.formula;
    EXPECT_EQ(cell.number()->integerValue(), c.value) << c.formula;
    EXPECT_EQ(cell.formulaResultType(), c.shownAs) << c.formula;
  }
}

TEST_F(DateArithmeticTest, DaysBackwardsStaysTheNumberError) {
  CACell& cell = enter("C1", "=DAYS(A2,A1)");
  recalc();
  EXPECT_EQ(cell.evalResult(), kFormulaErrorNumber);
  enter("C1", "=DAYS(A1,A2)");
  recalc();
  EXPECT_EQ(shown("C1"), QStringLiteral("17"));
}

TEST_F(DateArithmeticTest, ANumberThatIsNoRealDateIsNotMovedByDays) {
  date("B1", 20240230);  // not a real date
  CACell& cell = enter("C1", "=B1+1");
  recalc();
  ASSERT_TRUE(cell.number());
  EXPECT_EQ(cell.number()->integerValue(), 20240231);
  EXPECT_EQ(cell.formulaResultType(), kValueNumber);
}

// A date moved past the years dates can have is the date error, and formulas reading it show the
// error of a referenced error cell rather than counting with a value.
TEST_F(DateArithmeticTest, AMovePastTheLastDateIsTheDateError) {
  const struct {
    const char* formula;
    int32_t error;
    const char* shown;
  } cases[] = {
      {"=A5+400000", kFormulaErrorDate, "<Date>"},
      {"=400000+A5", kFormulaErrorDate, "<Date>"},
      {"=A1-400000", kFormulaErrorDate, "<Date>"},
      {"=A1+1E15", kFormulaErrorDate, "<Date>"},
      {"=DATE(3000,12,31)+1", kFormulaErrorDate, "<Date>"},
      {"=DATE(1900,1,1)-1", kFormulaErrorDate, "<Date>"},
  };
  for (const auto& c : cases) {
    CACell& sum = enter("D1", c.formula);
    CACell& reader = enter("D2", "=D1+5");
    CACell& total = enter("D3", "=SUM(D1:D2)");
    recalc();
    EXPECT_EQ(sum.evalResult(), c.error) << c.formula;
    EXPECT_EQ(sum.displayText(false), QString::fromLatin1(c.shown)) << c.formula;
    EXPECT_EQ(reader.displayText(false), QStringLiteral("<Value>")) << c.formula;
    EXPECT_EQ(total.valueType(), kValueError) << c.formula;
  }
  // The last date itself is still reached.
  CACell& last = enter("D1", "=DATE(3000,12,30)+1");
  recalc();
  ASSERT_TRUE(last.number());
  EXPECT_EQ(last.number()->integerValue(), 30001231);
}

}  // namespace
