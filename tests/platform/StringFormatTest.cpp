#include "platform/StringFormat.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

struct Described {
  QString description() const { return QStringLiteral("<described>"); }
};

TEST(StringFormat, NumericDirectivesMatchTheCLibrary) {
  // The C library's own output is the reference for every numeric directive.
  char expected[256];
  std::snprintf(expected, sizeof expected, "%d|%5d|%-5d|%05d|%+d|%x|%X|%#o|%lu|%lld|%.3f|%10.2e|%g|%c|%%",
                42, -7, 3, 12, -5, 255u, 0xBEEFu, 8u, 4294967296ul, -9000000000ll, 3.14159, 12345.678,
                0.0001, 'Z');
  QString got = FormatString("%d|%5d|%-5d|%05d|%+d|%x|%X|%#o|%lu|%lld|%.3f|%10.2e|%g|%c|%%", 42, -7, 3, 12,
                             -5, 255u, 0xBEEFu, 8u, 4294967296ul, -9000000000ll, 3.14159, 12345.678, 0.0001,
                             'Z');
  EXPECT_EQ(got, QString::fromUtf8(expected));
}

TEST(StringFormat, ObjectsAndTextsPrintThroughAtAndS) {
  struct Case {
    QString got;
    const char* expected;
  } cases[] = {
      {FormatString("%@ and %@", QStringLiteral("text"), 12), "text and 12"},
      {FormatString("%s=%@", "key", Described{}), "key=<described>"},
      {FormatString("[%-6s][%6s][%.2s]", "ab", QStringLiteral("cd"), "xyz"), "[ab    ][    cd][xy]"},
      {FormatString("%@", QStringLiteral("\u00e9t\u00e9")), "\u00e9t\u00e9"},
      {FormatString("%s", static_cast<const char*>(nullptr)), "(null)"},
      {FormatString("%d %d", 1), "1 (null)"},
      {FormatString("100%% of %*d", 4, 7), "100% of    7"},
      {FormatString("%.*f", 2, 2.0 / 3), "0.67"},
      {FormatString("trailing %"), "trailing %"},
      {FormatString(QStringLiteral("%@ \u2192 %d"), QStringLiteral("a"), 5), "a \u2192 5"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, QString::fromUtf8(c.expected));
}

TEST(StringFormat, MismatchedArgumentsAreConvertedNotMisread) {
  EXPECT_EQ(FormatString("%d", 2.9), QStringLiteral("2"));
  EXPECT_EQ(FormatString("%f", 3), QStringLiteral("3.000000"));
  EXPECT_EQ(FormatString("%u", -1), QStringLiteral("18446744073709551615"));
  EXPECT_EQ(FormatString("%Lf", 1.5L), QStringLiteral("1.500000"));
}

}  // namespace
