// The built-in function table: lookup bisects it, so its names must stay sorted without regard
// to case, and every row must have a description for the function browser.
#include <gtest/gtest.h>

#include "calculator/model/formula/caFunctionTable.h"

#include <QString>

#include <cstring>

namespace {

TEST(FunctionTable, NamesAreSortedForBisection) {
  EXPECT_STREQ(g_functionInfo[0].name, "");
  for (int32_t row = 2; row <= kFunctionCount; ++row) {
    EXPECT_LT(QString::fromLatin1(g_functionInfo[row - 1].name)
                  .compare(QString::fromLatin1(g_functionInfo[row].name), Qt::CaseInsensitive),
              0)
        << g_functionInfo[row].name;
    EXPECT_GT(std::strlen(g_functionInfo[row].description), 0u) << g_functionInfo[row].name;
  }
}

// The browser's classes hold every function exactly once, with the counts the browser shows.
TEST(FunctionTable, ClassesCoverEveryFunctionOnce) {
  const struct {
    const char* name;
    int32_t count;
  } expected[kFunctionClassCount] = {{"Recent Functions", 0}, {"Date", 11},       {"Finance", 1},
                                     {"Math", 24},            {"Physics", 9},     {"Rounding", 13},
                                     {"Statistics", 24},      {"Trigonometry", 15}};
  int seen[kFunctionCount + 1] = {};
  for (int32_t c = 0; c < kFunctionClassCount; ++c) {
    EXPECT_STREQ(g_functionClasses[c].name, expected[c].name);
    EXPECT_EQ(g_functionClasses[c].count, expected[c].count) << expected[c].name;
    for (int32_t i = 0; i < g_functionClasses[c].count; ++i) ++seen[g_functionClasses[c].members[i]];
  }
  for (int32_t row = 1; row <= kFunctionCount; ++row) EXPECT_EQ(seen[row], 1) << g_functionInfo[row].name;
}

}  // namespace
