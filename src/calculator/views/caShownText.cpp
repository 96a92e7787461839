#include "calculator/views/caShownText.h"

#include "framlet/foundation/flCharacterClasses.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

CAShownExtent ShownExtentOfSize(const QSize& pixels, double lineSpacing) {
  const double spacing = std::max(lineSpacing, 1.0);
  CAShownExtent extent;
  extent.lines = std::max<qsizetype>(1, qsizetype(std::ceil(std::max(pixels.height(), 0) / spacing)) + 1);
  extent.across = std::max<qsizetype>(1, qsizetype(std::max(pixels.width(), 0)) + 1);
  return extent;
}

CAShownExtent ShownExtentOfScreens(double lineSpacing) {
  QSize largest(1920, 1080);
  for (const QScreen* screen : QGuiApplication::screens()) largest = largest.expandedTo(screen->geometry().size());
  return ShownExtentOfSize(largest, lineSpacing);
}

QString ShownPartOfText(const QString& text, const CAShownExtent& extent, bool* cut) {
  const qsizetype across = std::max<qsizetype>(extent.across, 1);
  const qsizetype size = text.size();
  QString shown;
  qsizetype start = 0;
  for (qsizetype line = 0; line < std::max<qsizetype>(extent.lines, 1) && start < size; ++line) {
    qsizetype end = start;
    const qsizetype limit = std::min(size, start + across);
    while (end < limit && !IsNewline(text[end].unicode())) ++end;
    if (end == limit && end < size && !IsNewline(text[end].unicode())) {
      // Cut: a surrogate pair stays whole, and the rest of the line is passed over.
      if (text[end - 1].isHighSurrogate()) ++end;
      shown += QStringView(text).sliced(start, end - start);
      while (end < size && !IsNewline(text[end].unicode())) ++end;
    } else {
      shown += QStringView(text).sliced(start, end - start);
    }
    if (end >= size) {
      start = size;
      break;
    }
    // The break itself, "\r\n" as one.
    const qsizetype breakEnd = text[end] == u'\r' && end + 1 < size && text[end + 1] == u'\n' ? end + 2 : end + 1;
    start = breakEnd;
    if (line + 1 < extent.lines) shown += QStringView(text).sliced(end, breakEnd - end);
  }
  // Nothing left out gives the text itself back.
  const bool cutAny = shown.size() != size;
  if (cut) *cut = cutAny;
  return cutAny ? shown : text;
}
