#include "platform/StringWithFormat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include <locale.h>

namespace {

struct Described {
  QString description() const { return QStringLiteral("<described>"); }
};

TEST(StringWithFormat, NumericDirectivesMatchTheCLibrary) {
  // The C library's own output in its C locale is the reference for every numeric directive.
  const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
  const locale_t desktop = uselocale(c);
  char expected[256];
  std::snprintf(expected, sizeof expected, "%d|%5d|%-5d|%05d|%+d|%x|%X|%#o|%lu|%lld|%.3f|%10.2e|%g|%c|%%",
                42, -7, 3, 12, -5, 255u, 0xBEEFu, 8u, 4294967296ul, -9000000000ll, 3.14159, 12345.678,
                0.0001, 'Z');
  uselocale(desktop);
  freelocale(c);
  QString got = StringWithFormat("%d|%5d|%-5d|%05d|%+d|%x|%X|%#o|%lu|%lld|%.3f|%10.2e|%g|%c|%%", 42, -7, 3, 12,
                             -5, 255u, 0xBEEFu, 8u, 4294967296ul, -9000000000ll, 3.14159, 12345.678, 0.0001,
                             'Z');
  EXPECT_EQ(got, QString::fromUtf8(expected));
}

TEST(StringWithFormat, ObjectsAndTextsPrintThroughAtAndS) {
  struct Case { QString got; const char* expected; } cases[] = {
      {StringWithFormat("%@ and %@", QStringLiteral("text"), 12), "text and 12"},
      {StringWithFormat("%s=%@", "key", Described{}), "key=<described>"},
      {StringWithFormat("[%-6s][%6s][%.2s]", "ab", QStringLiteral("cd"), "xyz"), "[ab    ][    cd][xy]"},
      {StringWithFormat("%s", static_cast<const char*>(nullptr)), "(null)"},
      {StringWithFormat("%d %d", 1), "1 (null)"}, {StringWithFormat("100%% of %*d", 4, 7), "100% of    7"},
      {StringWithFormat("trailing %"), "trailing %"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, QString::fromUtf8(c.expected));
}

// The application takes the C library's locale from the desktop; numbers are still written as
// the system writes them, with a point. Locales not installed here are passed over.
TEST(StringWithFormat, RealsAreWrittenWithAPointWhateverTheCLibrarysLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  for (const char* name : {"C", "de_DE.UTF-8", "fr_FR.UTF-8"}) {
    if (!std::setlocale(LC_NUMERIC, name)) continue;
    EXPECT_EQ(StringWithFormat("%.2f|%Lg|%e", 0.5, 1.25L, 1500.0), QStringLiteral("0.50|1.25|1.500000e+03")) << name;
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(StringWithFormat, MismatchedArgumentsAreConvertedNotMisread) {
  EXPECT_EQ(StringWithFormat("%d", 2.9), QStringLiteral("2"));
  EXPECT_EQ(StringWithFormat("%f", 3), QStringLiteral("3.000000"));
  EXPECT_EQ(StringWithFormat("%u", -1), QStringLiteral("18446744073709551615"));
  EXPECT_EQ(StringWithFormat("%Lf", 1.5L), QStringLiteral("1.500000"));
}

}  // namespace
