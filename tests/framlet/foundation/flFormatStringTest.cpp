#include "framlet/foundation/flFormatString.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(FlFormatString, WordsCardinalAndOrdinal) {
  const struct {
    const char* format;
    uint64_t value;
    const char* expected;
  } cases[] = {
      {"%a", 0, "zero"},
      {"%a", 7, "seven"},
      {"%a", 40, "forty"},
      {"%a", 115, "one hundred fifteen"},
      {"%a", 123, "one hundred twenty-three"},
      {"%a", 1001, "one thousand one"},
      {"%a", 21000, "twenty-one thousand"},
      {"%a", 1000000, "one million"},
      {"%a", 2000300, "two million three hundred"},
      {"%a", 999999999999ULL,
       "nine hundred ninety-nine billion nine hundred ninety-nine million nine hundred ninety-nine "
       "thousand nine hundred ninety-nine"},
      {"%a", 1000000000000ULL, "!"},
      {"%a", std::numeric_limits<uint64_t>::max(), "!"},
      {"%>a", 3, "Three"},
      {"%<a", 3, "three"},
      {"%>I", 21, "Twenty-first"},
      {"%I", 0, "zeroth"},
      {"%I", 3, "third"},
      {"%I", 11, "eleventh"},
      {"%I", 12, "twelfth"},
      {"%I", 13, "thirteenth"},
      {"%I", 20, "twentieth"},
      {"%I", 90, "ninetieth"},
      {"%I", 100, "one hundredth"},
      {"%I", 103, "one hundred third"},
      {"%I", 1000, "one thousandth"},
      {"%I", 1012, "one thousand twelfth"},
      {"%I", 1000000, "one millionth"},
      {"%I", 2000001, "two million first"},
      {"%I", 5000000000ULL, "five billionth"},
      {"%I", 1000000000000ULL, "!"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatString(c.format, c.value), U(c.expected)) << c.format << " " << c.value;
}

TEST(FlFormatString, OrdinalDigits) {
  const struct {
    uint64_t value;
    const char* expected;
  } cases[] = {
      {0, "0th"},    {1, "1st"},    {2, "2nd"},     {3, "3rd"},     {4, "4th"},        {11, "11th"},
      {12, "12th"},  {13, "13th"},  {22, "22nd"},   {101, "101st"}, {111, "111th"},    {112, "112th"},
      {1001, "1,001st"}, {3000000000ULL, "3,000,000,000th"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatString("%i", c.value), U(c.expected)) << c.value;
}

TEST(FlFormatString, LetterLabelsRomanNumeralsAndFootnotes) {
  const struct {
    const char* format;
    uint64_t value;
    const char* expected;
  } cases[] = {
      {"%l", 0, "0"},
      {"%l", 1, "a"},
      {"%l", 26, "z"},
      {"%l", 27, "aa"},
      {"%L", 52, "AZ"},
      {"%l", 702, "zz"},
      {"%l", 703, "aaa"},
      {"%l", std::numeric_limits<uint64_t>::max(), "gkgwbylwrxtlpo"},
      {"%R", 1994, "MCMXCIV"},
      {"%r", 1994, "mcmxciv"},
      {"%R", 4, "IV"},
      {"%R", 3999, "MMMCMXCIX"},
      {"%R", 4000, "I\u0304V\u0304"},
      {"%R", 4001, "I\u0304V\u0304I"},
      {"%r", 4000, "i\u0304v\u0304"},
      {"%R", 3999999, "M\u0304M\u0304M\u0304C\u0304M\u0304X\u0304C\u0304I\u0304X\u0304CMXCIX"},
      {"%R", 4000000, "!"},
      {"%R", 0, "0"},
      {"%z", 0, "0"},
      {"%z", 1, "*"},
      {"%z", 2, "†"},
      {"%z", 3, "‡"},
      {"%z", 4, "§"},
      {"%z", 5, "‖"},
      {"%z", 6, "#"},
      {"%z", 7, "**"},
      {"%z", 8, "††"},
      {"%z", 386, "!"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatString(c.format, c.value), U(c.expected)) << c.format << " " << c.value;
  EXPECT_EQ(FormatString("%z", 385), QString(65, u'*'));
}

TEST(FlFormatString, Integers) {
  const int64_t big = 1234567;
  const int64_t smallest = std::numeric_limits<int64_t>::min();
  const int64_t* none = nullptr;
  EXPECT_EQ(FormatString("%d", 42), U("42"));
  EXPECT_EQ(FormatString("%d", -42), U("-42"));
  EXPECT_EQ(FormatString("%d", int64_t(0x100000005)), U("5"));  // the low 32 bits
  EXPECT_EQ(FormatString("%02d", 5), U("05"));
  EXPECT_EQ(FormatString("%05d", -5), U("-0005"));
  EXPECT_EQ(FormatString("%,d", 1234567), U("1,234,567"));
  EXPECT_EQ(FormatString("%,d", -1234), U("-1,234"));
  EXPECT_EQ(FormatString("[%!d]", 0), U("[]"));
  EXPECT_EQ(FormatString("[%4d]", 7), U("[7   ]"));
  EXPECT_EQ(FormatString("[%-04d]", 7), U("[7000]"));
  EXPECT_EQ(FormatString("[%#3d]", 7), U("[7\u2007\u2007]"));
  EXPECT_EQ(FormatString("[%=3d]", 7), U("[7\u00A0\u00A0]"));
  EXPECT_EQ(FormatString("%,D", &big), U("1,234,567"));
  EXPECT_EQ(FormatString("%D", none), U("0"));
  EXPECT_EQ(FormatString("%D", &smallest), U("-9223372036854775808"));
  EXPECT_EQ(FormatString("%D", int64_t(5000000000)), U("5000000000"));
  EXPECT_EQ(FormatString("%d:%02d", 5, 7), U("5:07"));
}

TEST(FlFormatString, BinaryOctalAndHexadecimal) {
  const uint64_t word = 0xDEADBEEF;
  const uint64_t* none = nullptr;
  EXPECT_EQ(FormatString("%b", 5), U("00000000000000000000000000000101"));
  EXPECT_EQ(FormatString("%b", uint64_t(0x1FFFFFFFF)), QString(32, u'1'));
  EXPECT_EQ(FormatString("%o", 8), U("00000000010"));
  EXPECT_EQ(FormatString("%o", -1), U("77777777777"));
  EXPECT_EQ(FormatString("%x", 255), U("FF"));
  EXPECT_EQ(FormatString("%X", 0), U("0"));
  EXPECT_EQ(FormatString("%8x", 255), U("000000FF"));
  EXPECT_EQ(FormatString("%x", -1), U("FFFFFFFFFFFFFFFF"));
  EXPECT_EQ(FormatString("%70X", 1), QString(63, u'0') + u'1');
  EXPECT_EQ(FormatString("%y", &word), U("DEADBEEF"));
  EXPECT_EQ(FormatString("%4Y", none), U("0000"));
}

TEST(FlFormatString, Floats) {
  const struct {
    const char* format;
    double value;
    const char* expected;
  } cases[] = {
      {"%.4f", 0.5, "0.5000"},
      {"%.4f", 1.5e20, "1.5000E+20"},
      {"%.4f", 1.2e-7, "1.2000E-7"},
      {"%.4f", 9.99999e-8, "1.0000E-7"},
      {"%.2f", 9.999e25, "1.00E+26"},
      {"%^.2f", 0.5, "5.00E-1"},
      {"%.2f", 0.125, "0.13"},    // halves round up
      {"%.1f", -0.25, "-0.3"},
      {"%f", 3.7, "4"},
      {"%.0f", 0, "0"},
      {"%!.2f", 0, ""},
      {"%,.2f", 1234567.891, "1,234,567.89"},
      {"[%8.2f]", 3.14159, "[3.14    ]"},
      {"[%08.2f]", -3.14159, "[-0003.14]"},
      {"%.2f", 0.999, "1.00"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatString(c.format, c.value), U(c.expected)) << c.format << " " << c.value;
  // Row heights are saved from 32-bit floats; 12.7 must not come back as 12.6999.
  EXPECT_EQ(FormatString("%.4f", 12.7f), U("12.7000"));
  EXPECT_EQ(FormatString("%.4f", 3), U("3.0000"));
}

TEST(FlFormatString, CharactersStringsAndObjects) {
  struct Described {
    QString description() const { return QStringLiteral("described"); }
  };
  const char* noText = nullptr;
  EXPECT_EQ(FormatString("%c", 65), U("A"));
  EXPECT_EQ(FormatString("%c", 0x8A), U("ä"));  // Mac OS Roman
  EXPECT_EQ(FormatString("[%c]", 0), U("[]"));
  EXPECT_EQ(FormatString("%>c", 'a'), U("A"));
  EXPECT_EQ(FormatString("%C", 0x263A), U("☺"));
  EXPECT_EQ(FormatString("%<C", u'Q'), U("q"));
  EXPECT_EQ(FormatString("[%C]", 0), U("[]"));
  EXPECT_EQ(FormatString("%g", 0x54455854u), U("TEXT"));
  EXPECT_EQ(FormatString("%g", 0x8A000041u), U("äA"));
  EXPECT_EQ(FormatString("%s", "caf\x8E"), U("café"));
  EXPECT_EQ(FormatString("%>s", "abc"), U("ABC"));
  EXPECT_EQ(FormatString("[%s]", noText), U("[]"));
  EXPECT_EQ(FormatString("%<S", QStringLiteral("MiXed")), U("mixed"));
  EXPECT_EQ(FormatString("[%S]", nullptr), U("[]"));
  EXPECT_EQ(FormatString("%@", QStringLiteral("abc")), U("abc"));
  EXPECT_EQ(FormatString("%@", 42), U("42"));
  EXPECT_EQ(FormatString("%@", 0.1), U("0.1"));
  EXPECT_EQ(FormatString("%@", Described()), U("described"));
  EXPECT_EQ(FormatString("a%tb%d", 1, 2), U("ab2"));  // "t" skips its argument
}

TEST(FlFormatString, MeasuresGoThroughTheInstalledFormatter) {
  QString seen;
  FLMeasureFormatter previous = SetMeasureFormatter(
      [&seen](int64_t emu, int decimals, bool scalar, bool showUnits, int unit) {
        seen = QStringLiteral("%1 %2 %3 %4 %5").arg(emu).arg(decimals).arg(scalar).arg(showUnits).arg(unit);
        return QStringLiteral("len");
      });
  EXPECT_EQ(FormatString("%.2m", int64_t(914400)), U("len"));
  EXPECT_EQ(seen, U("914400 2 0 1 13"));
  FormatString("%,m", 1);
  EXPECT_EQ(seen, U("1 0 0 1 0"));
  FormatString("%!m", 1);
  EXPECT_EQ(seen, U("1 0 0 1 5"));
  FormatString("%\"m", 1);
  EXPECT_EQ(seen, U("1 0 0 1 1"));
  SetMeasureFormatter(previous);

  // Without the shell, lengths are written in points.
  EXPECT_EQ(FormatString("%m", 0), U("0"));
  EXPECT_EQ(FormatString("%m", 12700), U("1 pt"));
  EXPECT_EQ(FormatString("%m", -19050), U("-1.5 pt"));
  EXPECT_EQ(FormatString("%m", std::numeric_limits<int64_t>::max()), U("-"));
}

TEST(FlFormatString, PercentPairsAndPieces) {
  LogCapture capture;
  EXPECT_EQ(FormatString("100%% sure"), U("100% sure"));
  EXPECT_EQ(FormatString("%%d"), U("%d"));
  EXPECT_EQ(FormatString("%%%d", 5), U("%5"));
  EXPECT_EQ(FormatString("%d apples", 3), U("3 apples"));
  EXPECT_EQ(FormatString("abc%"), U("abc"));
  EXPECT_EQ(FormatString("a%5-d"), U("a5-d"));  // "-" after the first character: literal piece
  EXPECT_EQ(FormatString("50% off"), U("50 off"));
  EXPECT_EQ(FormatString("no directives"), U("no directives"));
  EXPECT_TRUE(capture.entries().isEmpty());
}

TEST(FlFormatString, UnknownDirectiveAndMissingArgumentAreLogged) {
  LogCapture capture;
  EXPECT_EQ(FormatString("%q!"), U("q!"));
  EXPECT_TRUE(capture.contains(U("Assert: Unknown directive")));
  capture.clear();
  EXPECT_EQ(FormatString("%d and %d", 1), U("1 and "));
  EXPECT_TRUE(capture.contains(U("Assert: Missing argument for directive")));
}

TEST(FlFormatString, AbsurdWidthsAndPrecisionsStayBounded) {
  EXPECT_LE(FormatString("%999999999999d", 1).size(), 1024);
  EXPECT_LE(FormatString("%.999999999f", 1.5).size(), 63);
}

}  // namespace
