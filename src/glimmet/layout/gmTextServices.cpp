#include "glimmet/layout/gmTextServices.h"

#include "framlet/foundation/flCharacterClasses.h"
#include "glimmet/storage/GlimmetDoc.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <cstring>

char16_t FetchDocumentCharacter(int64_t index, bool* end, const void* context) {
  const GlimmetDoc* doc = static_cast<const GlimmetDoc*>(context);
  if (end) *end = false;
  if (!doc || index < 0 || index >= doc->totalLength) {
    if (end) *end = true;
    return 0;
  }
  return doc->text.at(uint32_t(index));
}

namespace {

bool IsClosingMark(char16_t c) { return c == u'"' || c == u'\'' || c == u')' || c == 0x2019 || c == 0x201D; }
bool IsSentenceBreak(char16_t c) {
  return c == 0x09 || c == 0x0A || c == 0x0B || c == 0x0C || c == 0x0D || c == 0x2028;
}
bool IsPlainWhite(char16_t c) { return c > 1 && TypeOfChar(c) == kCharClassSpace && !IsSentenceBreak(c); }

}  // namespace

uint32_t StartOfSentence(uint32_t cp, uint32_t first, uint32_t limit, GlimmetDoc* doc) {
  if (!doc || limit <= first) return first;
  cp = std::clamp(cp, first, limit);
  auto at = [&](uint32_t i) { return doc->text.at(i); };
  // The start after an end that closes at index next: white space (not line ends) passed.
  auto startAfter = [&](uint32_t next) {
    while (next < limit && next < cp && IsPlainWhite(at(next))) ++next;
    return next;
  };
  for (uint32_t i = cp; i-- > first;) {
    const char16_t c = at(i);
    if (IsSentenceBreak(c)) {
      const uint32_t start = startAfter(i + 1);
      if (start <= cp) return start;
      continue;
    }
    if (c != u'.' && c != u'!' && c != u'?') continue;
    uint32_t next = i + 1;
    bool quoted = false;
    while (next < limit && IsClosingMark(at(next))) {
      ++next;
      quoted = true;
    }
    if (next >= limit) {
      if (quoted) return limit;
      continue;
    }
    if (!quoted && !IsPlainWhite(at(next)) && !IsSentenceBreak(at(next))) continue;
    const uint32_t start = startAfter(next);
    if (start <= cp) return start;
  }
  return first;
}

uint32_t ConvertRawTextToUnicode(const char* bytes, uint32_t count, FLStringEncoding encoding, char16_t* buffer,
                                 uint32_t* capacity) {
  if (!bytes || !capacity) return 0;
  const std::optional<QString> text = DecodeText(QByteArrayView(bytes, qsizetype(count)), encoding);
  if (!text || text->isEmpty()) return 0;
  const uint32_t length = uint32_t(text->size());
  if (length > *capacity || !buffer) {
    *capacity = length;
    return 0;
  }
  std::memcpy(buffer, text->utf16(), length * sizeof(char16_t));
  return length;
}

QSizeF SizeOfTextInFont(const QString& text, const QFont& font) {
  const QFontMetricsF metrics(font);
  return {metrics.horizontalAdvance(text), metrics.height()};
}

void DrawCenteredString(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font,
                        const QColor& color, bool wrap) {
  if (text.isEmpty()) return;
  const QFontMetricsF metrics(font);
  const QString shown = wrap ? text : metrics.elidedText(text, Qt::ElideRight, rect.width());
  const int flags = wrap ? Qt::TextWordWrap : Qt::TextSingleLine;
  const QRectF bounds = metrics.boundingRect(QRectF(0, 0, rect.width(), rect.height()), flags, shown);
  const QRectF target(rect.x() + std::floor((rect.width() - bounds.width()) / 2),
                      rect.y() + std::floor((rect.height() - bounds.height()) / 2), bounds.width(), bounds.height());
  painter.save();
  painter.setFont(font);
  painter.setPen(color.isValid() ? color : QGuiApplication::palette().color(QPalette::Text));
  painter.drawText(target, flags, shown);
  painter.restore();
}
