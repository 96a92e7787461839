// Kolor, the system's one colour value: a colour packed in 32 bits that fits in records, runs,
// archives and undo data, with its fixed text form, conversions to and from QColor, display
// texts for colour menus and the few standard colours every subsystem asks for.
#pragma once

#include <QColor>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>

// Bits 0-7 red, 8-15 green, 16-23 blue, 24-31 alpha in percent (1-100). Anything whose alpha
// byte is 0 or above 100 is no colour (transparent, not set).
using Kolor = uint32_t;

inline constexpr Kolor g_blackKolor = 0x64000000;
inline constexpr Kolor kWhiteKolor = 0x64FFFFFF;
// The value used by convention for "no colour".
inline constexpr Kolor kNoKolor = 0xFFFFFFFF;

// A Kolor is a colour only when, read as a signed number, it lies from 0x01000000 to 0x64FFFFFF.
constexpr bool KolorIsColor(Kolor kolor) {
  const int32_t value = static_cast<int32_t>(kolor);
  return value >= 0x01000000 && value <= 0x64FFFFFF;
}

constexpr Kolor MakeKolor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alphaPercent = 100) {
  return (Kolor(alphaPercent) << 24) | (Kolor(blue) << 16) | (Kolor(green) << 8) | Kolor(red);
}

// An invalid QColor stands for "no colour object" and gives kNoKolor. Channels are rounded to
// the nearest step, so ColorFromKolor followed by KolorFromColorCore gives the Kolor back.
Kolor KolorFromColorCore(const QColor& color);
// sRGB with alpha = percent / 100; no colour gives the clear colour (transparent black).
QColor ColorFromKolor(Kolor kolor);
// The colour made opaque; a colour that is already opaque comes back unchanged, and a fully
// transparent one becomes white.
QColor RemoveAlpha(const QColor& color);

// Texts for colour menus and tooltips: style 1 "(r, g, b)", style 2 fractions of 255, style 3
// "#RRGGBB", each followed by the alpha percentage when it is not 100. No colour, or another
// style, gives an em dash.
QString ColorDisplayString(Kolor kolor, int style);

// The text form: "{r, g, b}" for opaque colours, "{r, g, b, alpha}" otherwise. Every 32-bit value
// survives NewKolorString followed by KolorFromString; malformed text gives kNoKolor.
QString NewKolorString(Kolor kolor);
Kolor KolorFromString(const QString& text);

// The system's control accent colour when it offers one; otherwise the Kolor's colour, or an
// invalid QColor when the Kolor is no colour.
QColor AccentColor(Kolor kolor);
// The system's link colour when it offers one; otherwise sRGB 39, 43, 217.
QColor LinkColor();
// Grey levels 0-6: 0 transparent, 1 white, then 0xE0, 0xC0, 0x80, 0x40 and 0x20; any other level
// gives opaque black. The colours are made once and kept for the life of the process.
const QColor& GrayColor(int level);

// Where AccentColor and LinkColor ask the system for its colours. The kernel installs sources
// derived from the application palette at launch; without one (tools, most tests) the system
// is taken to offer none. A source answers an invalid QColor when it has nothing to offer.
// Each setter returns the source it replaces.
using FLSystemColorSource = std::function<QColor()>;
FLSystemColorSource SetSystemAccentColorSource(FLSystemColorSource source);
FLSystemColorSource SetSystemLinkColorSource(FLSystemColorSource source);

// A Kolor inside a QVariant travels as its four bytes in this type, so it can be told apart
// from any other value a variant may hold.
struct FLKolorBytes {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 0;
};
Q_DECLARE_METATYPE(FLKolorBytes)

QVariant ValueWithKolor(Kolor kolor);
// A variant holding anything else asserts "This is not a color value" and gives opaque black.
Kolor KolorValue(const QVariant& value);
