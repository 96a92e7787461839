#include "framlet/foundation/flFormatString.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(FlFormatString, WordsCardinalAndOrdinal) {
  const struct { const char* format; uint64_t value; const char* expected; } cases[] = {
      {"%a", 0, "zero"}, {"%a", 123, "one hundred twenty-three"}, {"%a", 1000000, "one million"},
      {"%a", 999999999999ULL,
       "nine hundred ninety-nine billion nine hundred ninety-nine million nine hundred ninety-nine "
       "thousand nine hundred ninety-nine"},
      {"%a", 1000000000000ULL, "!"}, {"%a", std::numeric_limits<uint64_t>::max(), "!"}, {"%>a", 3, "Three"},
      {"%>I", 21, "Twenty-first"}, {"%I", 0, "zeroth"}, {"%I", 3, "third"}, {"%I", 1012, "one thousand twelfth"},
      {"%I", 2000001, "two million first"}, {"%I", 5000000000ULL, "five billionth"}, {"%I", 1000000000000ULL, "!"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatString(c.format, c.value), U(c.expected)) << c.format << " " << c.value;
}

TEST(FlFormatString, LetterLabelsRomanNumeralsAndFootnotes) {
  const struct { const char* format; uint64_t value; const char* expected; } cases[] = {
      {"%l", 0, "0"}, {"%l", 1, "a"}, {"%l", 703, "aaa"},
      {"%l", std::numeric_limits<uint64_t>::max(), "gkgwbylwrxtlpo"},
      {"%R", 1994, "MCMXCIV"}, {"%R", 3999, "MMMCMXCIX"}, {"%R", 4000, "I\u0304V\u0304"},
      {"%R", 3999999, "M\u0304M\u0304M\u0304C\u0304M\u0304X\u0304C\u0304I\u0304X\u0304CMXCIX"},
      {"%R", 4000000, "!"}, {"%R", 0, "0"}, {"%z", 6, "#"}, {"%z", 7, "**"}, {"%z", 386, "!"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatString(c.format, c.value), U(c.expected)) << c.format << " " << c.value;
  EXPECT_EQ(FormatString("%z", 385), QString(65, u'*'));
}

TEST(FlFormatString, Integers) {
  const int64_t big = 1234567, smallest = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(FormatString("%d", 42), U("42"));
  EXPECT_EQ(FormatString("%d", int64_t(0x100000005)), U("5"));  // the low 32 bits
  EXPECT_EQ(FormatString("%02d", 5), U("05"));
  EXPECT_EQ(FormatString("%,d", 1234567), U("1,234,567"));
  EXPECT_EQ(FormatString("[%!d]", 0), U("[]"));
  EXPECT_EQ(FormatString("[%#3d]", 7), U("[7\u2007\u2007]"));
  EXPECT_EQ(FormatString("[%=3d]", 7), U("[7\u00A0\u00A0]"));
  EXPECT_EQ(FormatString("%,D", &big), U("1,234,567"));
  EXPECT_EQ(FormatString("%D", &smallest), U("-9223372036854775808"));
}

TEST(FlFormatString, BinaryOctalAndHexadecimal) {
  const uint64_t word = 0xDEADBEEF;
  EXPECT_EQ(FormatString("%b", 5), U("00000000000000000000000000000101"));
  EXPECT_EQ(FormatString("%b", uint64_t(0x1FFFFFFFF)), QString(32, u'1'));
  EXPECT_EQ(FormatString("%o", -1), U("77777777777"));
  EXPECT_EQ(FormatString("%x", -1), U("FFFFFFFFFFFFFFFF"));
  EXPECT_EQ(FormatString("%70X", 1), QString(63, u'0') + u'1');
  EXPECT_EQ(FormatString("%y", &word), U("DEADBEEF"));
}

TEST(FlFormatString, Floats) {
  const struct { const char* format; double value; const char* expected; } cases[] = {
      {"%.4f", 1.5e20, "1.5000E+20"}, {"%.4f", 9.99999e-8, "1.0000E-7"},
      {"%.2f", 0.125, "0.13"},    // halves round up
      {"%f", 3.7, "4"}, {"%!.2f", 0, ""}, {"%,.2f", 1234567.891, "1,234,567.89"}, {"[%8.2f]", 3.14159, "[3.14    ]"},
      {"[%08.2f]", -3.14159, "[-0003.14]"},
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
  EXPECT_EQ(FormatString("%C", 0x263A), U("☺"));
  EXPECT_EQ(FormatString("%g", 0x8A000041u), U("äA"));
  EXPECT_EQ(FormatString("%s", "caf\x8E"), U("café"));
  EXPECT_EQ(FormatString("[%s]", noText), U("[]"));
  EXPECT_EQ(FormatString("%@", QStringLiteral("abc")), U("abc"));
  EXPECT_EQ(FormatString("%@", Described()), U("described"));
  EXPECT_EQ(FormatString("a%tb%d", 1, 2), U("ab2"));  // "t" skips its argument
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

namespace {

// "-" moves the padding after the number; zeros there would change its value, so blanks go
// there instead, as printf does. The other pad characters keep their own.
TEST(FlFormatString, PaddingAfterTheNumberNeverAddsDigits) {
  const struct { const char* format; int value; const char* expected; } cases[] = {
      {"[%-05d]", 3, "[3    ]"}, {"[%-5d]", 3, "[3    ]"}, {"[%-05d]", -3, "[-3   ]"},
      {"[%05d]", -3, "[-0003]"}, {"[%-#4d]", 3, "[3\u2007\u2007\u2007]"}, {"[%-03d]", 1234, "[1234]"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatString(c.format, c.value), U(c.expected)) << c.format;
  EXPECT_EQ(FormatString("[%-06.2f]", 1.5f), U("[1.50  ]"));
}

// A "%%" pair writes one "%", and the text after it is still read as a directive; the list
// markers' ordinal directive "%i" reads the same with or without a literal percent before it.
TEST(FlFormatString, APercentPairIsLiteralAndTheNextPieceIsADirective) {
  const struct { const char* format; int value; const char* expected; } cases[] = {
      {"100%%d", 5, "100%5"}, {"%%d", 5, "%5"}, {"50%%", 0, "50%"}, {"%d%%", 50, "50%"},
      {"a%%%d", 5, "a%%5"}, {"%i", 1, "1st"}, {"%i", 12, "12th"},
      {"%i", 22, "22nd"}, {"%i", 113, "113th"}, {"%i", 1001, "1,001st"}, {"(%i)", 3, "(3rd)"},
      {"%%i", 2, "%2nd"}, {"%i%%", 2, "2nd%"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatString(c.format, c.value), U(c.expected)) << c.format;
}

}  // namespace
