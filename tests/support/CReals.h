// Reals read from test data and written into messages with ".", whatever the C library's
// locale, which a test program takes from the desktop as the application does.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

// The real at the start of the text (leading spaces and "+" allowed); 0 when there is none.
inline long double ReadCReal(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '+')) text.remove_prefix(1);
  long double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// As printf's "%.<precision>Lg" writes it in the C locale.
inline std::string CRealText(long double value, int precision) {
  char buffer[128];
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
  return std::string(buffer, result.ptr);
}
