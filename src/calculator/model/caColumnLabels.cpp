// Column letters and column indexes.
#include "calculator/model/caColumnLabels.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCharacterClasses.h"

namespace {

constexpr uint64_t kLetterCount = 26;

}  // namespace

uint64_t g_maxColumn = 12356629;  // ColumnForLabel("ZZZZZ")

int ColumnLetters(uint64_t column, char (&letters)[kColumnLetterCapacity]) {
  // Compared on the index itself: i + 1 would wrap for the largest unsigned value.
  if (column > g_maxColumn) {
    FLAssert(false, "Bad column x");
    return 0;
  }
  char reversed[kColumnLetterCapacity];
  int count = 0;
  uint64_t n = column + 1;
  for (;;) {
    if (count == kColumnLetterCapacity) {
      FLAssert(false, "Label overflow");
      break;
    }
    const uint64_t r = n % kLetterCount;
    if (r == 0) {
      reversed[count++] = 'Z';
      n -= 1;
    } else {
      reversed[count++] = char('A' + r - 1);
    }
    const bool more = n > 25;  // taken after the 'Z' borrow, before the division
    n /= kLetterCount;
    if (!more) break;
  }
  for (int i = 0; i < count; ++i) letters[i] = reversed[count - 1 - i];
  return count;
}

QString LabelForColumn(uint64_t column) {
  char letters[kColumnLetterCapacity];
  const int count = ColumnLetters(column, letters);
  return QString::fromLatin1(letters, count);
}

uint64_t ColumnForLabel(const QString& label) { return ColumnForLabel(QStringView(label)); }

uint64_t ColumnForLabel(QStringView label) {
  // Unsigned arithmetic: overlong or odd labels wrap instead of overflowing.
  uint64_t value = 0;
  for (QChar c : label) value = value * kLetterCount + (uint64_t(UpperCaseChar(c.unicode())) - 64u);
  return value - 1;
}
