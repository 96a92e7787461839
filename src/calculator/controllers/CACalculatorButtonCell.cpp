#include "calculator/controllers/CACalculatorButtonCell.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {

uint8_t Red(Kolor k) { return uint8_t(k & 0xFF); }
uint8_t Green(Kolor k) { return uint8_t((k >> 8) & 0xFF); }
uint8_t Blue(Kolor k) { return uint8_t((k >> 16) & 0xFF); }
uint8_t Alpha(Kolor k) { return uint8_t(k >> 24); }

QImage MakeEqualsSign(const QColor& color) {
  QImage image(16, 12, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.fillRect(QRect(1, 2, 14, 2), color);
  painter.fillRect(QRect(1, 8, 14, 2), color);
  return image;
}

}  // namespace

Kolor CACalculatorButtonCell::pressedKolor(Kolor kolor) {
  const uint8_t r = Red(kolor), g = Green(kolor), b = Blue(kolor);
  if (r == g && g == b) return MakeKolor(r / 2, g / 2, b / 2, Alpha(kolor));
  float hue = 0, saturation = 0, value = 0;
  QColor::fromRgb(r, g, b).getHsvF(&hue, &saturation, &value);
  const QColor pressed = QColor::fromHsvF(hue, saturation * 0.4f + 0.6f, value * 0.8f);
  return MakeKolor(uint8_t(pressed.red()), uint8_t(pressed.green()), uint8_t(pressed.blue()), Alpha(kolor));
}

Kolor CACalculatorButtonCell::disabledKolor(Kolor kolor) {
  const uint8_t r = Red(kolor), g = Green(kolor), b = Blue(kolor);
  if (r == g && g == b) return kolor;
  const auto luminance = uint8_t(0.212671 * r + 0.71516 * g + 0.072169 * b);
  return MakeKolor(luminance, luminance, luminance, Alpha(kolor));
}

double CACalculatorButtonCell::brightness(Kolor kolor) {
  if (!KolorIsColor(kolor)) kolor = 0xFFFFFFFF;
  return 0.3 * Red(kolor) / 255 + 0.59 * Green(kolor) / 255 + 0.11 * Blue(kolor) / 255;
}

CACalculatorKeyLook CACalculatorButtonCell::look(Kolor keyKolor, bool pressed, bool enabled) {
  CACalculatorKeyLook look;
  if (!enabled) {
    look.fill = disabledKolor(keyKolor);
    look.border = kDisabledKeyBorderKolor;
  } else {
    look.fill = pressed ? pressedKolor(keyKolor) : keyKolor;
  }
  look.dark = brightness(look.fill) < 0.5;
  return look;
}

void CACalculatorButtonCell::drawInterior(QPainter& painter, const QRectF& frame, const CACalculatorKeyLook& look,
                                          const QString& title, const QFont& font, const QColor& titleColor) {
  painter.save();
  painter.fillRect(frame, ColorFromKolor(look.fill));
  painter.setPen(QPen(ColorFromKolor(look.border), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(frame.adjusted(0.5, 0.5, -0.5, -0.5));
  if (title.isEmpty()) {
    drawEqualsSign(painter, frame, look.dark);
  } else {
    // The title's own size, centred in the frame inset by 2, one point lower, then grown by 1.
    const QFontMetricsF metrics(font);
    const QSizeF size(metrics.horizontalAdvance(title), metrics.height());
    const QRectF inner = frame.adjusted(2, 2, -2, -2);
    QRectF titleRect(QPointF(0, 0), size);
    titleRect.moveCenter(inner.center());
    titleRect.translate(0, 1);
    titleRect.adjust(-1, -1, 1, 1);
    painter.setFont(font);
    painter.setPen(look.dark ? QColor(Qt::white) : titleColor);
    painter.drawText(titleRect, Qt::AlignCenter, title);
  }
  painter.restore();
}

void CACalculatorButtonCell::drawEqualsSign(QPainter& painter, const QRectF& frame, bool onDark) {
  const QImage& image = equalsSignImage(onDark);
  QRectF target(QPointF(0, 0), QSizeF(image.size()));
  target.moveCenter(frame.adjusted(0, 10, 0, -10).center());
  painter.save();
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setOpacity(1.0);
  painter.drawImage(target, image);
  painter.restore();
}

const QImage& CACalculatorButtonCell::equalsSignImage(bool light) {
  static const QImage dark = MakeEqualsSign(QColor(0x20, 0x20, 0x20));
  static const QImage white = MakeEqualsSign(Qt::white);
  return light ? white : dark;
}
