// Excel number-format codes reduced to their sections, with the built-in formats as vectors.
#include <gtest/gtest.h>

#include "calculator/model/caExcelNumberFormat.h"

namespace {

struct Case { const char* code; QStringList sections; };

void ExpectSections(const Case& c) {
  EXPECT_EQ(NormalizeExcelNumberFormat(QString::fromUtf8(c.code)), c.sections) << c.code;
}

TEST(ExcelNumberFormat, BuiltInFormatsReduceToTheirNumberAndDateParts) {
  const Case cases[] = {
      {"General", {"general"}}, {"0", {"0"}}, {"#,##0", {"#,##0"}}, {"$#,##0_);($#,##0)", {"$#,##0", "($#,##0)"}},
      {"$#,##0_);[Red]($#,##0)", {"$#,##0", "($#,##0)"}}, {"0%", {"0%"}}, {"0.00E+00", {"0.00e+00"}},
      {"# ?/?", {"#/"}}, {"m/d/yy", {"m/d/yy"}}, {"d-mmm-yy", {"d-mmm-yy"}}, {"mmm-yy", {"mmm-yy"}},
      {"h:mm AM/PM", {""}}, {"h:mm:ss", {""}}, {"m/d/yy h:mm", {"m/d/yy"}},
      {"_(#,##0_);[Red](#,##0)", {"#,##0", "(#,##0)"}},
      {"_($* #,##0_);_($* (#,##0);_($* -_);_(@_)", {"$#,##0", "$(#,##0)", "$-"}},
      {"_(* #,##0_);_(* (#,##0);_(* -_);_(@_)", {"#,##0", "(#,##0)", "-"}},
      {"_($* #,##0.00_);_($* (#,##0.00);_($* -??_);_(@_)", {"$#,##0.00", "$(#,##0.00)", "$-"}}, {"mm:ss", {""}},
      {"[h]:mm:ss", {""}}, {"##0.0E+00", {"##0.0e+00"}}, {"@", {""}},
  };
  for (const Case& c : cases) ExpectSections(c);
}

TEST(ExcelNumberFormat, LiteralTextPaddingAndBracketsAreDropped) {
  const Case cases[] = {
      // Trailing commas scale by thousands and are removed.
      {"#,##0.00,", {"#,##0.00"}}, {"\"USD\" 0.00", {"0.00"}},
      // Quoted text and escapes keep only the characters that tell formats apart.
      {"\"(\"0\")\"", {"(0"}}, {"\\$0.00", {"$0.00"}}, {"0\\ \\k", {"0"}}, {"[$€-407]0.00", {"0.00"}},
      {"0.00 \"€\"", {"0.00€"}}, {"*-0", {"0"}}, {"[>=100]0;0.0", {"0", "0.0"}}, {"dd/mm/yyyy", {"dd/mm/yyyy"}},
      {"mmm d, yyyy", {"mmmd,yyyy"}},
      // A month run followed by a space and then seconds is minutes.
      {"m s", {""}}, {"yyyy-mm-dd hh:mm", {"yyyy-mm-dd"}},
  };
  for (const Case& c : cases) ExpectSections(c);
}

TEST(ExcelNumberFormat, CodesEndingInsideAConstructStopCleanly) {
  const Case cases[] = {
      {"0\\", {"0"}},   {"0_", {"0"}},     {"0*", {"0"}}, {"0[Red", {"0"}}, {"0\"abc", {"0"}}, {"mm", {"mm"}},
  };
  for (const Case& c : cases) ExpectSections(c);
}

TEST(ExcelNumberFormat, LongRunsOfMAreJudgedWhole) {
  // 100,000 letters, as a FORMAT joined from CONTINUE records may hold.
  const QString run(100000, QLatin1Char('m'));
  const QString spaced = QString(QStringLiteral("m ")).repeated(50000);
  const struct { QString code; QStringList sections; } cases[] = {
      {run, {run}},
      {run + QStringLiteral(":ss"), {QString()}},
      {QStringLiteral("d-") + spaced + QStringLiteral("-y"), {QStringLiteral("d-") + QString(50000, QLatin1Char('m')) + QStringLiteral("-y")}},
      {QStringLiteral("d-") + spaced + QStringLiteral("s;0"), {QStringLiteral("d-"), QString()}},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeExcelNumberFormat(c.code), c.sections) << c.code.left(8).toStdString();
}

}  // namespace
