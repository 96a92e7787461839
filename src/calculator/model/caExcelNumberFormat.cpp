// Excel number-format codes reduced to their sections.
#include "calculator/model/caExcelNumberFormat.h"

#include "framlet/foundation/flCharacterClasses.h"

namespace {

constexpr int kMaxSections = 3;

// Characters that quoted text and backslash escapes keep: they still tell a format apart.
bool IsKeptLiteral(QChar c) {
  switch (c.unicode()) {
    case '#':
    case '%':
    case '(':
    case ',':
    case '-':
    case '/':
    case ':':
      return true;
    default:
      return CharIsCurrency(c.unicode());
  }
}

bool IsDroppedPunctuation(QChar c) {
  static constexpr char16_t kDropped[] = u"?@!^&'~{}<>= ";
  for (char16_t d : kDropped)
    if (d && c.unicode() == d) return true;
  return false;
}

}  // namespace

QStringList NormalizeExcelNumberFormat(const QString& code) {
  QStringList sections;
  const QString text = code.toLower();
  const qsizetype length = text.size();
  qsizetype i = 0;
  int semicolons = 0;
  // Once a time component is met, it is dropped to the end of the code, across sections.
  bool timeState = false;

  while (i < length && sections.size() < kMaxSections) {
    QString section;
    while (i < length) {
      const QChar c = text[i];
      if (c == QLatin1Char(';')) {
        ++semicolons;
        ++i;
        break;
      }
      if (c == QLatin1Char('"')) {
        ++i;
        while (i < length && text[i] != QLatin1Char('"')) {
          if (IsKeptLiteral(text[i])) section.append(text[i]);
          ++i;
        }
        if (i < length) ++i;  // the closing quote
        continue;
      }
      if (c == QLatin1Char('\\')) {
        if (i + 1 >= length) {
          i = length;  // a backslash at the end ends the section
          break;
        }
        if (IsKeptLiteral(text[i + 1])) section.append(text[i + 1]);
        i += 2;
        continue;
      }
      if (timeState) {
        ++i;
        continue;
      }
      if (c == QLatin1Char('*') || c == QLatin1Char('_')) {
        i += 2;  // the fill or padding character goes with it
        continue;
      }
      if (c == QLatin1Char('[')) {
        while (i < length && text[i] != QLatin1Char(']')) ++i;
        if (i < length) ++i;
        continue;
      }
      if (c == QLatin1Char('h') || c == QLatin1Char('s') || c == QLatin1Char(':')) {
        timeState = true;
        ++i;
        continue;
      }
      if (c == QLatin1Char('m')) {
        // Minutes when a ':' or an 's' follows the run of m's (spaces allowed between). Every m of
        // the run sees the same end, so the run is judged once: the m's are kept as month letters
        // and the spaces dropped, or all of it goes.
        qsizetype j = i;
        while (j < length && (text[j] == QLatin1Char('m') || text[j] == QLatin1Char(' '))) ++j;
        if (j < length && (text[j] == QLatin1Char(':') || text[j] == QLatin1Char('s'))) {
          timeState = true;
          i = j;
          continue;
        }
        for (; i < j; ++i)
          if (text[i] == QLatin1Char('m')) section.append(text[i]);
        continue;
      }
      if (IsDroppedPunctuation(c)) {
        ++i;
        continue;
      }
      section.append(c);
      ++i;
    }
    // Trailing commas scale by thousands; they are not grouping.
    while (section.endsWith(QLatin1Char(','))) section.chop(1);
    sections.append(section);
  }
  if (semicolons >= 2 && sections.size() == 2) sections.append(QString());
  return sections;
}
