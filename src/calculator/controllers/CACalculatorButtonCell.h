// How a calculator key draws itself in the key colour the user chose: a darker shade while
// pressed, a grey while disabled, white or black lettering by the fill's brightness, and the
// equals key as a picture of an equals sign. Without a chosen colour the platform draws the key.
#pragma once

#include "framlet/foundation/Kolor.h"

#include <QImage>
#include <QRectF>
#include <QString>

class QFont;
class QPainter;

inline constexpr Kolor kKeyBorderKolor = 0x64ABABAB;
inline constexpr Kolor kDisabledKeyBorderKolor = 0x64C5C5C5;

struct CACalculatorKeyLook {
  Kolor fill = kNoKolor;
  Kolor border = kKeyBorderKolor;
  bool dark = false;  // white lettering and the light equals sign
};

class CACalculatorButtonCell {
 public:
  // A key colour between 0x01000000 and 0x64FFFFFF; anything else means none is chosen.
  static bool isChosenKolor(Kolor kolor) { return KolorIsColor(kolor); }
  static Kolor pressedKolor(Kolor kolor);
  static Kolor disabledKolor(Kolor kolor);
  // 0.3 R + 0.59 G + 0.11 B, from 0 to 1; no colour counts as white.
  static double brightness(Kolor kolor);
  static CACalculatorKeyLook look(Kolor keyKolor, bool pressed, bool enabled);

  // Draws a key in a chosen colour: fill, border, then the title or, without one, the sign.
  static void drawInterior(QPainter& painter, const QRectF& frame, const CACalculatorKeyLook& look,
                           const QString& title, const QFont& font, const QColor& titleColor);
  static void drawEqualsSign(QPainter& painter, const QRectF& frame, bool onDark);
  // The two pictures of the equals sign, made once: dark strokes, or light ones for dark keys.
  static const QImage& equalsSignImage(bool light);
};
