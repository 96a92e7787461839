// Column letters: bijective base 26 up to "ZZZZZ".
#include <gtest/gtest.h>

#include "calculator/model/caColumnLabels.h"

namespace {

TEST(ColumnLabels, LabelsAndIndexesMatchTheBijectiveBase26Table) {
  struct Row { uint64_t column; const char* label; };
  const Row rows[] = {
      {0, "A"},        {25, "Z"},        {26, "AA"},        {51, "AZ"},
      {52, "BA"},      {701, "ZZ"},      {702, "AAA"},      {18277, "ZZZ"},
      {18278, "AAAA"}, {475253, "ZZZZ"}, {475254, "AAAAA"}, {12356629, "ZZZZZ"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(LabelForColumn(row.column), QString::fromLatin1(row.label)) << row.column;
    EXPECT_EQ(ColumnForLabel(QString::fromLatin1(row.label)), row.column) << row.label;
  }
}

TEST(ColumnLabels, ColumnsRoundTripAndLabelsAreInColumnOrder) {
  // Labels of consecutive columns must be ordered by length, then alphabetically: that, with
  // the round trip, makes the mapping a bijection. Every column of up to four letters and the
  // first and last thousand of five letters are checked, the rest by a stride.
  const auto check = [](uint64_t first, uint64_t last) {
    QString previous = first > 0 ? LabelForColumn(first - 1) : QString();
    for (uint64_t column = first; column <= last; ++column) {
      const QString label = LabelForColumn(column);
      ASSERT_EQ(ColumnForLabel(label), column);
      ASSERT_TRUE(label.size() > previous.size() ||
                  (label.size() == previous.size() && label > previous))
          << column;
      previous = label;
    }
  };
  check(0, 476254);
  check(g_maxColumn - 1000, g_maxColumn);
  for (uint64_t column = 476255; column < g_maxColumn; column += 997)
    ASSERT_EQ(ColumnForLabel(LabelForColumn(column)), column);
}

}  // namespace
