// The text a cell is edited as: for every kind of value, the text that reads back as the value
// stored, whatever the cell's number format shows.
#include "calculator/views/caFormulaEditing.h"

#include "calculator/model/CAFormat.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/CANumberFormat.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

namespace {

class CellEditTextTest : public testing::Test, protected SizedSheet {
 protected:
  CACell& cellWith(const CANumber& number, int decimals) {
    CACell* cell = document.cellAtGridPointImperative(GridPoint{next_++, 0});
    cell->setNumberValue(number);
    if (decimals >= 0) {
      CANumberFormat format;
      format.setDisplay(kDisplayFloat);
      format.setSize(decimals);
      CAFormat cellFormat;
      cellFormat.setNumberFormat(&format);
      cell->setFormat(cellFormat);
    }
    return *cell;
  }
  int64_t next_ = 0;
};

TEST_F(CellEditTextTest, NumbersAreEditedInFullAndReadBackAsStored) {
  const struct {
    CANumber number;
    int decimals;
    const char* text;
  } cases[] = {
      {CANumber(int64_t(42)), 2, "42"},
      {CANumber(int64_t(123456789012345678)), -1, "123456789012345678"},
      {CANumber(int64_t(-7)), 0, "-7"},
      {CANumber::withNumerator(314159265, 100000000), 2, "3.14159265"},
      {CANumber::withNumerator(-1, 8), 1, "-0.125"},
      {CANumber::withNumerator(1, 1024), 3, "0.0009765625"},
      {CANumber::withNumerator(7, 2), -1, "3.5"},
  };
  for (const auto& c : cases) {
    CACell& cell = cellWith(c.number, c.decimals);
    const QString text = cell.editText();
    EXPECT_EQ(text, c.text);
    const std::optional<CANumber> read = CANumber::withValidatedString(text, true);
    ASSERT_TRUE(read.has_value()) << c.text;
    EXPECT_EQ(read->archive(), c.number.archive()) << c.text;
  }
}

TEST_F(CellEditTextTest, AFractionWithoutEndGivesItsLongestDecimalText) {
  CACell& third = cellWith(CANumber::withNumerator(1, 3), 2);
  const QString text = third.editText();
  EXPECT_TRUE(text.startsWith(QLatin1String("0.3333333333"))) << text.toStdString();
}

TEST_F(CellEditTextTest, TextFormulasAndDatesAreEditedAsTyped) {
  const char* const typed[] = {"hello", "=1+2", "2024-03-15"};
  for (const char* text : typed) {
    CACell* cell = document.cellAtGridPointImperative(GridPoint{next_++, 1});
    cell->setFormula(QString::fromUtf8(text));
    EXPECT_EQ(cell->editText(), cell->displayText(true)) << text;
  }
}

}  // namespace
