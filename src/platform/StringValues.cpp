#include "platform/StringValues.h"

int64_t LeadingInteger(QStringView text) {
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  uint64_t magnitude = 0;
  const uint64_t cap = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    const uint64_t digit = uint64_t(text[i].unicode() - u'0');
    magnitude = magnitude > (cap - digit) / 10 ? cap : magnitude * 10 + digit;
  }
  return negative ? int64_t(0 - magnitude) : int64_t(magnitude);
}
