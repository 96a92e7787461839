// Packed colours: conversions, text forms, display strings and the standard colours.
#include "framlet/foundation/Kolor.h"

#include "platform/StringValues.h"

#include "framlet/foundation/flBase.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <utility>

namespace {

constexpr const char* kKolorFormat3 = "{%d, %d, %d}";
constexpr const char* kKolorFormat4 = "{%d, %d, %d, %d}";
constexpr char16_t kKolorSeparator[] = u", ";
constexpr const char* kDisplayFormats[] = {
    "(%@%d, %d, %d)",
    "(%@%0.02f, %0.02f, %0.02f)",
    "%@#%02X%02X%02X",
};
constexpr const char* kDisplayAlphaFormat = "  %d%%";
constexpr char16_t kNoColorDisplay = u'\u2014';
constexpr const char* kNotAColorValue = "This is not a color value";

constexpr Kolor kGrayKolors[7] = {0x00FFFFFF, 0x64FFFFFF, 0x64E0E0E0, 0x64C0C0C0,
                                  0x64808080, 0x64404040, 0x64202020};
constexpr Kolor kFallbackLinkKolor = MakeKolor(39, 43, 217);

FLSystemColorSource& AccentSource() {
  static FLSystemColorSource source;
  return source;
}

FLSystemColorSource& LinkSource() {
  static FLSystemColorSource source;
  return source;
}

int Red(Kolor kolor) { return int(kolor & 0xFF); }
int Green(Kolor kolor) { return int((kolor >> 8) & 0xFF); }
int Blue(Kolor kolor) { return int((kolor >> 16) & 0xFF); }
int Alpha(Kolor kolor) { return int(kolor >> 24); }

// How far below a step a component may fall and still count as that step: QColor keeps its
// components in 16 bits, so a Kolor's component comes back as much as 0.002 steps short.
constexpr double kStepTolerance = 0.01;

// A component fraction truncated to `steps` steps (0.5 of 255 is 127, an alpha of 0.999 is 99);
// out-of-gamut values are held at the ends.
int Quantize(float fraction, int steps) {
  if (!(fraction > 0)) return 0;  // also catches NaN
  if (fraction >= 1) return steps;
  return std::clamp(int(std::floor(double(fraction) * steps + kStepTolerance)), 0, steps);
}

// The leading integer of a text as the colour lists in preferences were always read, held at
// the int range.
int LeadingInt(QStringView text) { return int(std::clamp<int64_t>(LeadingInteger(text), INT_MIN, INT_MAX)); }

}  // namespace

Kolor KolorFromColorCore(const QColor& color) {
  if (!color.isValid()) return kNoKolor;
  // QColor has no colour spaces; its RGB form is taken as sRGB. Extended-range components are
  // held at the ends of the range rather than wrapped.
  const QColor rgb = color.toRgb();
  return MakeKolor(uint8_t(Quantize(rgb.redF(), 255)), uint8_t(Quantize(rgb.greenF(), 255)),
                   uint8_t(Quantize(rgb.blueF(), 255)), uint8_t(Quantize(rgb.alphaF(), 100)));
}

QColor ColorFromKolor(Kolor kolor) {
  if (!KolorIsColor(kolor)) return QColor(Qt::transparent);
  return QColor::fromRgbF(float(Red(kolor) / 255.0), float(Green(kolor) / 255.0),
                          float(Blue(kolor) / 255.0), float(Alpha(kolor) / 100.0));
}

QColor RemoveAlpha(const QColor& color) {
  if (color.alphaF() == 1.0f) return color;
  Kolor kolor = KolorFromColorCore(color);
  if (kolor < 0x01000000) kolor = kWhiteKolor;
  return ColorFromKolor((kolor & 0x00FFFFFF) | 0x64000000);
}

QString ColorDisplayString(Kolor kolor, int style) {
  if (!KolorIsColor(kolor) || style < 1 || style > 3) return QString(QChar(kNoColorDisplay));
  const char* format = kDisplayFormats[style - 1];
  QString text = style == 2 ? StringWithFormat(format, QString(), Red(kolor) / 255.0, Green(kolor) / 255.0,
                                               Blue(kolor) / 255.0)
                            : StringWithFormat(format, QString(), Red(kolor), Green(kolor), Blue(kolor));
  if (Alpha(kolor) != 100) text += StringWithFormat(kDisplayAlphaFormat, Alpha(kolor));
  return text;
}

QString NewKolorString(Kolor kolor) {
  if (Alpha(kolor) == 100) return StringWithFormat(kKolorFormat3, Red(kolor), Green(kolor), Blue(kolor));
  return StringWithFormat(kKolorFormat4, Red(kolor), Green(kolor), Blue(kolor), Alpha(kolor));
}

Kolor KolorFromString(const QString& text) {
  if (text.size() < 9) return kNoKolor;
  const QList<QStringView> parts =
      QStringView(text).mid(1, text.size() - 2).split(QStringView(kKolorSeparator));
  if (parts.size() < 3) return kNoKolor;
  const Kolor red = Kolor(LeadingInt(parts[0])) & 0xFF;
  const Kolor green = Kolor(LeadingInt(parts[1])) & 0xFF;
  const Kolor blue = Kolor(LeadingInt(parts[2])) & 0xFF;
  const Kolor alpha = parts.size() == 3 ? 100u : Kolor(LeadingInt(parts[3]));
  return (alpha << 24) | (blue << 16) | (green << 8) | red;
}

QColor AccentColor(Kolor kolor) {
  if (const FLSystemColorSource& source = AccentSource()) {
    QColor accent = source();
    if (accent.isValid()) return accent;
  }
  return KolorIsColor(kolor) ? ColorFromKolor(kolor) : QColor();
}

QColor LinkColor() {
  if (const FLSystemColorSource& source = LinkSource()) {
    QColor link = source();
    if (link.isValid()) return link;
  }
  return ColorFromKolor(kFallbackLinkKolor);
}

const QColor& GrayColor(int level) {
  static const std::array<QColor, 8> grays = [] {
    std::array<QColor, 8> colors;
    for (size_t i = 0; i < 7; ++i) colors[i] = ColorFromKolor(kGrayKolors[i]);
    colors[7] = ColorFromKolor(g_blackKolor);
    return colors;
  }();
  return grays[size_t(level >= 0 && level < 7 ? level : 7)];
}

FLSystemColorSource SetSystemAccentColorSource(FLSystemColorSource source) {
  return std::exchange(AccentSource(), std::move(source));
}

FLSystemColorSource SetSystemLinkColorSource(FLSystemColorSource source) {
  return std::exchange(LinkSource(), std::move(source));
}

QVariant ValueWithKolor(Kolor kolor) {
  return QVariant::fromValue(
      FLKolorBytes{uint8_t(Red(kolor)), uint8_t(Green(kolor)), uint8_t(Blue(kolor)), uint8_t(Alpha(kolor))});
}

Kolor KolorValue(const QVariant& value) {
  if (value.metaType() != QMetaType::fromType<FLKolorBytes>()) {
    LogAssert(kNotAColorValue, __func__, __FILE__, __LINE__);
    return g_blackKolor;
  }
  const FLKolorBytes bytes = value.value<FLKolorBytes>();
  return MakeKolor(bytes.red, bytes.green, bytes.blue, bytes.alpha);
}
