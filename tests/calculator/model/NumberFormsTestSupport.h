// Number and date texts as users of locales of different marks write them, with what each reads
// as in that locale: the locale's own forms, and the forms of another syntax, which read as no
// number there (never as the number their digits would make without their marks). The typing,
// the clipboard, the files and the calculators all read a number with one reader, so the one
// table serves each of their tests.
#pragma once

#include <cstdint>

// What a text reads as: a number (numerator over denominator), a date (a day index), or text.
struct NumberFormReading {
  enum Kind { text, number, date } kind = text;
  int64_t numerator = 0;
  uint64_t denominator = 1;
  int32_t dayIndex = 0;
};

inline constexpr NumberFormReading kStaysText{};
constexpr NumberFormReading ReadsAs(int64_t numerator, uint64_t denominator = 1) {
  return {NumberFormReading::number, numerator, denominator, 0};
}
constexpr NumberFormReading ReadsAsDate(int32_t dayIndex) { return {NumberFormReading::date, 0, 1, dayIndex}; }

struct NumberFormCase {
  const char* locale;
  const char* text;  // UTF-8
  NumberFormReading reading;
  // A page that declares no language reads it otherwise where the text settles its own syntax (both
  // marks, a date's day or month over 12) or the user's language writes another era on its pages.
  bool otherOnAPage = false;
  NumberFormReading onAPage{};
};

// Comma, point, blank (no-break and narrow no-break space), apostrophe and Arabic marks; dates
// day first, month first and year first; and Thai, whose calendar Qt writes in Gregorian years.
inline constexpr NumberFormCase kNumberForms[] = {
    // English (United States): point and comma, month first.
    {"en_US", "1,234.5", ReadsAs(2469, 2)},
    {"en_US", "0.125", ReadsAs(1, 8)},
    {"en_US", "-0.005", ReadsAs(-1, 200)},
    {"en_US", "$1,234.50", ReadsAs(2469, 2)},
    {"en_US", "12.5%", ReadsAs(1, 8)},
    {"en_US", "0,125", kStaysText},
    {"en_US", "-0,125", kStaysText},
    {"en_US", "0,001", kStaysText},
    {"en_US", "00,125", kStaysText},
    {"en_US", "1.234,5", kStaysText, true, ReadsAs(2469, 2)},
    {"en_US", "1,5", kStaysText},
    {"en_US", "1,025", ReadsAs(1025)},
    {"en_US", "3/4/2026", ReadsAsDate(20260304)},
    // German: comma and point, dates with dots.
    {"de_DE", "1.234,5", ReadsAs(2469, 2)},
    {"de_DE", "0,125", ReadsAs(1, 8)},
    {"de_DE", "1.000.025", ReadsAs(1000025)},
    {"de_DE", "0.125", kStaysText},
    {"de_DE", "0.001", kStaysText},
    {"de_DE", "-0.005", kStaysText},
    {"de_DE", "3.14", kStaysText},
    {"de_DE", "1.5", kStaysText},
    {"de_DE", "1,234.5", kStaysText, true, ReadsAs(2469, 2)},
    {"de_DE", "4.3.2026", ReadsAsDate(20260304)},
    // French: comma and the narrow no-break space (a no-break or plain one typed).
    {"fr_FR", "1\u202F234,5", ReadsAs(2469, 2)},
    {"fr_FR", "1\u00A0234,5", ReadsAs(2469, 2)},
    {"fr_FR", "1 234,5", ReadsAs(2469, 2)},
    {"fr_FR", "0,125", ReadsAs(1, 8)},
    {"fr_FR", "0\u202F125", kStaysText},
    {"fr_FR", "0 125", kStaysText},
    {"fr_FR", "3.14", kStaysText},
    {"fr_FR", "4/3/2026", ReadsAsDate(20260304)},
    // Russian and Polish: comma and the no-break space, dates with dots.
    {"ru_RU", "1\u00A0234\u00A0567", ReadsAs(1234567)},
    {"ru_RU", "-0,5", ReadsAs(-1, 2)},
    {"ru_RU", "0\u00A0125", kStaysText},
    {"ru_RU", "-0\u00A0125", kStaysText},
    {"ru_RU", "1,234.5", kStaysText, true, ReadsAs(2469, 2)},
    {"ru_RU", "4.3.2026", ReadsAsDate(20260304)},
    {"pl_PL", "12\u00A0345,75", ReadsAs(49383, 4)},
    {"pl_PL", "0\u00A0125", kStaysText},
    {"pl_PL", "0,125", ReadsAs(1, 8)},
    // Swiss French: comma and the narrow no-break space.
    {"fr_CH", "1\u202F000,5", ReadsAs(2001, 2)},
    {"fr_CH", "0\u202F125", kStaysText},
    {"fr_CH", "0 125", kStaysText},
    // Italian and German Switzerland: point and apostrophe, amounts in francs.
    {"it_CH", "1\u2019234.5", ReadsAs(2469, 2)},
    {"it_CH", "1'234.5", ReadsAs(2469, 2)},
    {"it_CH", "0\u2019125", kStaysText},
    {"it_CH", "0'125", kStaysText},
    {"it_CH", "CHF1\u2019234.50", ReadsAs(2469, 2)},
    {"it_CH", "CHF 12.50", ReadsAs(25, 2)},
    {"it_CH", "1,234.5", kStaysText, true, ReadsAs(2469, 2)},
    {"de_CH", "1\u2019000\u2019000", ReadsAs(1000000)},
    {"de_CH", "0\u2019125", kStaysText},
    // Japanese: point and comma, dates year first.
    {"ja_JP", "1,234.5", ReadsAs(2469, 2)},
    {"ja_JP", "0,125", kStaysText},
    {"ja_JP", "2026-03-04", ReadsAsDate(20260304)},
    // Pashto (Afghanistan) and Arabic (Egypt): the Arabic decimal and group marks.
    {"ps_AF", "1\u066C234\u066B5", ReadsAs(2469, 2)},
    {"ps_AF", "0\u066B125", ReadsAs(1, 8)},
    {"ps_AF", "0\u066C125", kStaysText},
    {"ps_AF", "-0\u066B5", ReadsAs(-1, 2)},
    {"ar_EG", "1\u066C234\u066B5", ReadsAs(2469, 2)},
    {"ar_EG", "0\u066C125", kStaysText},
    // South Africa and French Canada: a decimal comma and no-break blanks; their short dates lead
    // with the year, but a date that ends with its year is written day first.
    {"en_ZA", "1\u00A0234,5", ReadsAs(2469, 2)},
    {"en_ZA", "0\u00A0125", kStaysText},
    {"en_ZA", "4/3/2026", ReadsAsDate(20260304)},
    {"en_ZA", "13/3/2026", ReadsAsDate(20260313)},
    {"en_ZA", "3/13/2026", kStaysText, true, ReadsAsDate(20260313)},
    {"fr_CA", "1\u00A0234,5", ReadsAs(2469, 2)},
    {"fr_CA", "4/3/2026", ReadsAsDate(20260304)},
    {"fr_CA", "2026-03-04", ReadsAsDate(20260304)},
    // Thai: point and comma, dates day first.
    {"th_TH", "1,234.5", ReadsAs(2469, 2)},
    {"th_TH", "0,125", kStaysText},
    {"th_TH", "4/3/2026", ReadsAsDate(20260304), true, kStaysText},
};
