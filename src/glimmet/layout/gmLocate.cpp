#include "glimmet/layout/gmLocate.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/layout/gmLineFormat.h"

#include <QTextLayout>

#include <algorithm>

bool LocateCpInLine(LocatorRec* locator, const LineFormat& line, float x) {
  if (!locator) return false;
  if (line.startKind == kStartRow) {
    LogAssert("Bad line type", __func__, __FILE__, __LINE__);
    return false;
  }
  const bool markEnded = line.endsWithBreakChar();
  const uint32_t lastCp = line.limitCp > line.firstCp ? line.limitCp - 1 : line.firstCp;
  locator->afterLineEnd = false;
  if (x >= line.rightEdge) {
    locator->cp = int32_t(lastCp);
    locator->afterLineEnd = !markEnded;
    return locator->afterLineEnd;
  }
  if (!line.layout || line.lineIndex < 0 || x < line.originX) {
    locator->cp = int32_t(line.firstCp);
    return false;
  }
  const QTextLine typeset = line.layout->lineAt(line.lineIndex);
  const int start = std::max(typeset.textStart(), int(line.firstCp > line.layoutFirst ? line.firstCp - line.layoutFirst : 0));
  const int end = typeset.textStart() + typeset.textLength();
  // The first character whose middle is not left of x; a point exactly on a middle stays left.
  int hit = -1;
  for (int position = start; position < end;) {
    int next = position + 1;
    while (next < end && !line.layout->isValidCursorPosition(next)) ++next;
    const double left = typeset.cursorToX(position);
    const double right = typeset.cursorToX(next);
    const double middle = (left + right) / 2;
    if (x < std::max(left, right)) {
      hit = locator->exact || x <= middle ? position : next;
      break;
    }
    position = next;
  }
  if (hit < 0) {
    locator->cp = int32_t(lastCp);
    locator->afterLineEnd = !markEnded;
    return locator->afterLineEnd;
  }
  const uint32_t cp = line.layoutFirst + uint32_t(hit);
  locator->afterLineEnd = cp >= line.limitCp && !markEnded;
  locator->cp = int32_t(std::min(cp, lastCp));
  return locator->afterLineEnd;
}
