// Column letters and column indexes.
#include "calculator/model/caColumnLabels.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCharacterClasses.h"

namespace {

constexpr int kMaxLabelLetters = 8;
constexpr uint64_t kLetterCount = 26;

}  // namespace

uint64_t g_maxColumn = 12356629;  // ColumnForLabel("ZZZZZ")

QString LabelForColumn(uint64_t column) {
  // Compared on the index itself: i + 1 would wrap for the largest unsigned value.
  if (column > g_maxColumn) {
    FLAssert(false, "Bad column x");
    return QString();
  }
  QChar letters[kMaxLabelLetters];
  int count = 0;
  uint64_t n = column + 1;
  for (;;) {
    if (count == kMaxLabelLetters) {
      FLAssert(false, "Label overflow");
      break;
    }
    const uint64_t r = n % kLetterCount;
    if (r == 0) {
      letters[count++] = QLatin1Char('Z');
      n -= 1;
    } else {
      letters[count++] = QLatin1Char(char('A' + r - 1));
    }
    const bool more = n > 25;  // taken after the 'Z' borrow, before the division
    n /= kLetterCount;
    if (!more) break;
  }
  QString label;
  label.reserve(count);
  for (int i = count - 1; i >= 0; --i) label.append(letters[i]);
  return label;
}

uint64_t ColumnForLabel(const QString& label) { return ColumnForLabel(QStringView(label)); }

uint64_t ColumnForLabel(QStringView label) {
  // Unsigned arithmetic: overlong or odd labels wrap instead of overflowing.
  uint64_t value = 0;
  for (QChar c : label) value = value * kLetterCount + (uint64_t(UpperCaseChar(c.unicode())) - 64u);
  return value - 1;
}
