// The built-in function table: its names in search order, the date flags and the classes of
// the function browser.
#include <gtest/gtest.h>

#include "calculator/model/formula/caFunctionTable.h"

#include <QSet>
#include <QString>

#include <cstring>

namespace {

TEST(FunctionTable, HoldsTheNinetySevenNamesSortedForBisection) {
  const char* names =
      "ABS ACOS ACOSH ASIN ASINH ATAN ATAN2 ATANH AVERAGE AVERAGEA C CBRT CEILING "
      "CEILING.PRECISE COMBIN COS COSH COUNT COUNTA COUNTBLANK DATE DAY DAYS DEGREES E EC EDATE "
      "EDAY EOMONTH EVEN EXP EYEAR FACT FINE FLOOR FLOOR.PRECISE G GCD H HR INT K L LARGE LCM LN "
      "LOG LOG10 LOG2 MAX MAXA MEDIAN MIN MINA MOD MODE MODE.SNGL MONTH MROUND MULTINOMIAL ODD "
      "PERMUT PI PMT POWER PRODUCT QUOTIENT RADIANS RAND RANDBETWEEN ROUND ROUNDDOWN ROUNDUP "
      "SERIESSUM SIGN SIN SINH SMALL SQRT SQRTPI STDEV.P STDEV.S STDEVA STDEVPA SUM SUMSQ TAN TANH "
      "TODAY TRUNC VAR.P VAR.S VARA VARPA VP WEEKDAY YEAR";
  const QStringList expected = QString::fromLatin1(names).split(QLatin1Char(' '));
  ASSERT_EQ(expected.size(), kFunctionCount);
  EXPECT_STREQ(g_functionInfo[0].name, "");
  for (int32_t row = 1; row <= kFunctionCount; ++row) {
    EXPECT_EQ(QString::fromLatin1(g_functionInfo[row].name), expected[row - 1]);
    if (row > 1) {
      EXPECT_LT(QString::fromLatin1(g_functionInfo[row - 1].name)
                    .compare(QString::fromLatin1(g_functionInfo[row].name), Qt::CaseInsensitive),
                0);
    }
    EXPECT_GT(std::strlen(g_functionInfo[row].description), 0u);
  }
}

TEST(FunctionTable, OnlyTheDateFunctionsShowDates) {
  QSet<QString> dated;
  for (int32_t row = 1; row <= kFunctionCount; ++row)
    if (g_functionInfo[row].flags & kFunctionResultIsDate)
      dated.insert(QString::fromLatin1(g_functionInfo[row].name));
  EXPECT_EQ(dated, (QSet<QString>{"DATE", "EDATE", "EDAY", "EOMONTH", "EYEAR", "TODAY"}));
}

TEST(FunctionTable, TemplatesAndDescriptionsAreTheBrowserTexts) {
  const auto rowNamed = [](const char* name) {
    for (int32_t row = 1; row <= kFunctionCount; ++row)
      if (std::strcmp(g_functionInfo[row].name, name) == 0) return row;
    return 0;
  };
  EXPECT_STREQ(g_functionInfo[rowNamed("DATE")].argumentTemplate, "year,month,day");
  EXPECT_EQ(g_functionInfo[rowNamed("PI")].argumentTemplate, nullptr);
  EXPECT_EQ(QString::fromUtf8(g_functionInfo[rowNamed("SERIESSUM")].argumentTemplate),
            QStringLiteral("base,power,step,coeff1,\u2026"));
  EXPECT_EQ(QString::fromUtf8(g_functionInfo[rowNamed("LARGE")].description),
            QStringLiteral("The n\u1D57\u02B0 largest number in a range of numbers."));
  EXPECT_EQ(QString::fromUtf8(g_functionInfo[rowNamed("WEEKDAY")].argumentTemplate),
            QStringLiteral("date,optional-return-type"));
}

TEST(FunctionTable, EveryFunctionBelongsToExactlyOneClass) {
  struct Expected {
    const char* name;
    int32_t count;
  };
  const Expected expected[kFunctionClassCount] = {
      {"Recent Functions", 0}, {"Date", 11},     {"Finance", 1},     {"Math", 24},
      {"Physics", 9},          {"Rounding", 13}, {"Statistics", 24}, {"Trigonometry", 15},
  };
  QList<int32_t> seen;
  for (int32_t i = 0; i < kFunctionClassCount; ++i) {
    EXPECT_STREQ(g_functionClasses[i].name, expected[i].name);
    EXPECT_EQ(g_functionClasses[i].count, expected[i].count) << expected[i].name;
    for (int32_t m = 0; m < g_functionClasses[i].count; ++m) seen.append(g_functionClasses[i].members[m]);
  }
  std::sort(seen.begin(), seen.end());
  ASSERT_EQ(seen.size(), kFunctionCount);
  for (int32_t row = 1; row <= kFunctionCount; ++row) EXPECT_EQ(seen[row - 1], row);
  EXPECT_STREQ(g_functionInfo[g_functionClasses[2].members[0]].name, "PMT");
}

}  // namespace
