#include "calculator/model/CAFormat.h"

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flSeededHash.h"

#include <QHash>
#include <QPainter>
#include <QRectF>

#include <iterator>

namespace {

// Indexed by alignment - 100; 103 has no name of its own.
constexpr const char* kAlignmentNames[] = {"left", "center", "right", "left", "auto"};

constexpr uint64_t kStyleMasks = kFormatBold | kFormatItalic | kFormatUnderline | kFormatStrike |
                                 kFormatAlignment;
constexpr int32_t kExcelDateValueType = 2;

QString Flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

// A colour's text, made once for each colour: the formats of a sheet repeat a few colours over
// many cells, and the text's making costs more than the rest of a format's writing.
QString KolorText(Kolor kolor) {
  constexpr qsizetype kKeptColours = 256;
  thread_local FLHashMap<Kolor, QString> texts;
  const auto found = texts.find(kolor);
  if (found != texts.end()) return found->second;
  if (texts.size() >= size_t(kKeptColours)) texts.clear();
  return texts.emplace(kolor, NewKolorString(kolor)).first->second;
}

}  // namespace

CAFormat CAFormat::withXml(FLXmlDecoder& decoder) {
  CAFormat format;
  if (decoder.endTag()) return format;
  const int64_t level = decoder.level();
  while (decoder.getNextTag()) {
    if (decoder.level() < level) break;
    const bool on = decoder.integerValue() != 0;
    switch (XmlTagOf(decoder)) {
      case kXmlAlign:
        format.alignment_ = int32_t(decoder.decodeValueFromValues(kAlignmentNames)) + kAlignmentLeft;
        format.mask_ |= kFormatAlignment;
        break;
      case kXmlBackColor:
        format.backgroundKolor_ = KolorFromString(decoder.value());
        format.mask_ |= kFormatBackground;
        break;
      case kXmlBold:
        format.bold_ = on;
        format.mask_ |= kFormatBold;
        break;
      case kXmlBorder:
        format.border_ = CABorder::withXml(decoder);
        format.mask_ |= kFormatBorder;
        break;
      case kXmlColor:
        format.textKolor_ = KolorFromString(decoder.value());
        format.mask_ |= kFormatTextColor;
        break;
      case kXmlItalic:
        format.italic_ = on;
        format.mask_ |= kFormatItalic;
        break;
      case kXmlNumberFormat:
        format.numberFormat_ = CANumberFormat::withXml(decoder);
        format.mask_ |= kFormatNumberFormat;
        break;
      case kXmlStrike:
        format.strike_ = on;
        format.mask_ |= kFormatStrike;
        break;
      case kXmlUnder:
        format.underline_ = on;
        format.mask_ |= kFormatUnderline;
        break;
      default:
        LogAssert("Unknown format tag", __func__, __FILE__, __LINE__);
        if (decoder.startTag() && !decoder.endTag()) decoder.skipTag();
        break;
    }
  }
  return format;
}

CAFormat CAFormat::withExcelFormat(const CAExcelFormatRecord& record, int32_t valueType) {
  CAFormat format;
  format.mask_ = kStyleMasks;
  format.alignment_ = record.alignment;
  if (record.font) {
    format.bold_ = record.font->bold;
    format.italic_ = record.font->italic;
    format.underline_ = record.font->underline;
    format.strike_ = record.font->strike;
    format.textKolor_ = record.font->textKolor;
    if (KolorIsColor(format.textKolor_)) format.mask_ |= kFormatTextColor;
  }
  format.backgroundKolor_ = record.backgroundKolor;
  if (KolorIsColor(format.backgroundKolor_)) format.mask_ |= kFormatBackground;
  if (valueType == kExcelDateValueType || !record.numberFormatCode.isNull()) {
    format.numberFormat_ = record.numberFormatSections
                               ? CANumberFormat::withExcelSections(*record.numberFormatSections, valueType)
                               : CANumberFormat::withExcelFormat(record.numberFormatCode, valueType);
    format.mask_ |= kFormatNumberFormat;
  }
  return format;
}

void CAFormat::saveToXml(FLXmlEncoder& encoder, const GridPoint* point) const {
  if (point) {
    encoder.addAttribute(XmlName(kXmlX), point->x);
    encoder.addAttribute(XmlName(kXmlY), point->y);
  }
  encoder.openTag(XmlName(kXmlFormat));
  if (mask_ & kFormatBold) encoder.addTag(XmlName(kXmlBold), Flag(bold_));
  if (mask_ & kFormatItalic) encoder.addTag(XmlName(kXmlItalic), Flag(italic_));
  if (mask_ & kFormatUnderline) encoder.addTag(XmlName(kXmlUnder), Flag(underline_));
  if (mask_ & kFormatStrike) encoder.addTag(XmlName(kXmlStrike), Flag(strike_));
  if (mask_ & kFormatAlignment) {
    const int64_t index = int64_t(alignment_) - kAlignmentLeft;
    const bool known = index >= 0 && size_t(index) < std::size(kAlignmentNames);
    encoder.addTag(XmlName(kXmlAlign), QLatin1String(kAlignmentNames[known ? index : 0]));
  }
  if (mask_ & kFormatTextColor) encoder.addTag(XmlName(kXmlColor), KolorText(textKolor_));
  if (mask_ & kFormatBackground) encoder.addTag(XmlName(kXmlBackColor), KolorText(backgroundKolor_));
  if ((mask_ & kFormatNumberFormat) && numberFormat_) numberFormat_->saveToXml(encoder);
  if (border_ && border_->style() != kBorderNone) border_->saveToXml(encoder);
  encoder.closeTag(XmlName(kXmlFormat));
}

CAFormat CAFormat::copy() const {
  CAFormat format;
  format.setBold(bold_);
  format.setItalic(italic_);
  format.setUnderline(underline_);
  format.setStrike(strike_);
  format.setAlignment(alignment_);
  format.setTextKolor(textKolor_);
  format.setBackgroundKolor(backgroundKolor_);
  format.setNumberFormat(numberFormat_ ? &*numberFormat_ : nullptr);
  format.setBorder(border_ ? &*border_ : nullptr);
  format.mask_ = mask_;
  return format;
}

void CAFormat::clearMask(uint64_t mask) {
  if (!isDefaultFormat()) mask_ &= ~mask;
}

void CAFormat::setBold(bool on) {
  bold_ = on;
  mask_ |= kFormatBold;
}

void CAFormat::setItalic(bool on) {
  italic_ = on;
  mask_ |= kFormatItalic;
}

void CAFormat::setUnderline(bool on) {
  underline_ = on;
  mask_ |= kFormatUnderline;
}

void CAFormat::setStrike(bool on) {
  strike_ = on;
  mask_ |= kFormatStrike;
}

void CAFormat::setAlignment(int32_t alignment) {
  alignment_ = alignment;
  if (isDefaultFormat()) return;
  if (alignment == kAlignmentAuto)
    mask_ &= ~uint64_t(kFormatAlignment);
  else
    mask_ |= kFormatAlignment;
}

void CAFormat::setTextKolor(Kolor kolor) {
  if (isDefaultFormat()) {
    textKolor_ = KolorIsColor(kolor) ? kolor : g_blackKolor;
    return;
  }
  textKolor_ = kolor;
  if (KolorIsColor(kolor))
    mask_ |= kFormatTextColor;
  else
    mask_ &= ~uint64_t(kFormatTextColor);
}

void CAFormat::setBackgroundKolor(Kolor kolor) {
  if (isDefaultFormat()) {
    backgroundKolor_ = KolorIsColor(kolor) ? kolor : kWhiteKolor;
    return;
  }
  backgroundKolor_ = kolor;
  if (KolorIsColor(kolor))
    mask_ |= kFormatBackground;
  else
    mask_ &= ~uint64_t(kFormatBackground);
}

void CAFormat::setBorder(const CABorder* border) {
  const bool keep = border && border->style() != kBorderNone;
  if (keep)
    border_ = border->copy();
  else
    border_.reset();
  if (isDefaultFormat()) return;
  if (keep)
    mask_ |= kFormatBorder;
  else
    mask_ &= ~uint64_t(kFormatBorder);
}

void CAFormat::setNumberFormat(const CANumberFormat* format) {
  const bool keep = format && format->display() != kDisplayAuto;
  if (keep)
    numberFormat_ = *format;
  else
    numberFormat_.reset();
  if (isDefaultFormat()) return;
  if (keep)
    mask_ |= kFormatNumberFormat;
  else
    mask_ &= ~uint64_t(kFormatNumberFormat);
}

bool CAFormat::hasPropertyForMask(uint64_t mask) const {
  if (mask == kFormatBorder) return (mask_ & mask) != 0 && border_ && border_->style() != kBorderNone;
  return (mask_ & mask) != 0;
}

int64_t CAFormat::valueForMask(uint64_t mask) const {
  switch (mask) {
    case kFormatBold:
      return bold_;
    case kFormatItalic:
      return italic_;
    case kFormatUnderline:
      return underline_;
    case kFormatStrike:
      return strike_;
    case kFormatAlignment:
      return alignment_;
    default:
      LogAssert("Illegal mask", __func__, __FILE__, __LINE__);
      return 0;
  }
}

int32_t CAFormat::styleOptionForMask(uint64_t mask) const {
  if (!hasPropertyForMask(mask)) return 0;
  return valueForMask(mask) != 0 ? 1 : 2;
}

CAFormat CAFormat::composeWith(const CAFormat* other) const {
  if (!other || other->mask_ == 0) return *this;
  CAFormat result = *this;
  const uint64_t mask = other->mask_;
  if (mask & kFormatBold) result.setBold(other->bold_);
  if (mask & kFormatItalic) result.setItalic(other->italic_);
  if (mask & kFormatUnderline) result.setUnderline(other->underline_);
  if (mask & kFormatStrike) result.setStrike(other->strike_);
  if ((mask & kFormatAlignment) && other->alignment_ != kAlignmentAuto)
    result.setAlignment(other->alignment_);
  if (mask & kFormatTextColor) result.setTextKolor(other->textKolor_);
  if (mask & kFormatBackground) result.setBackgroundKolor(other->backgroundKolor_);
  if (mask & kFormatNumberFormat)
    result.setNumberFormat(other->numberFormat_ ? &*other->numberFormat_ : nullptr);
  return result;
}

bool CAFormat::shouldSave() const { return mask_ != 0 || border_ || numberFormat_; }

bool CAFormat::isBorderEqualTo(const CAFormat* other) const {
  if (!other) return false;
  const bool mine = (mask_ & kFormatBorder) != 0;
  const bool theirs = (other->mask_ & kFormatBorder) != 0;
  if (mine != theirs) return false;
  if (!border_) return false;
  return border_->isEqualTo(other->border_ ? &*other->border_ : nullptr);
}

std::optional<FLAttributedString> CAFormat::expressWithText(const QString& text, const QFont& font,
                                                           int32_t defaultAlignment) const {
  QFont styled = font;
  styled.setBold(bold_);
  styled.setItalic(italic_);
  styled.setUnderline(underline_);
  styled.setStrikeOut(strike_);
  const int32_t alignment = alignment_ == kAlignmentAuto ? defaultAlignment : alignment_;
  const FLLineBreakMode breakMode =
      alignment == kAlignmentRight ? FLLineBreakMode::TruncateHead : FLLineBreakMode::TruncateTail;
  const int drawn = alignment == kAlignmentCenter || alignment == kAlignmentRight ? alignment
                                                                                 : kAlignmentLeft;
  return attributedStringFromString(text, styled, drawn, ColorFromKolor(textKolor_), breakMode, 0);
}

void CAFormat::drawBackgroundInRect(QPainter& painter, const QRectF& rect) const {
  if ((mask_ & kFormatBackground) && KolorIsColor(backgroundKolor_))
    painter.fillRect(rect, ColorFromKolor(backgroundKolor_));
}

namespace {

// Whether two formats are the same in every property, the mask included: either may stand for
// the other.
bool SameFormat(const CAFormat& a, const CAFormat& b) {
  if (a.mask() != b.mask() || a.bold() != b.bold() || a.italic() != b.italic() ||
      a.underline() != b.underline() || a.strike() != b.strike() || a.alignment() != b.alignment() ||
      a.textKolor() != b.textKolor() || a.backgroundKolor() != b.backgroundKolor() ||
      a.numberFormat() != b.numberFormat() || a.border().has_value() != b.border().has_value())
    return false;
  return !a.border() || a.border()->isEqualTo(&*b.border());
}

// The formats a table holds are those of the cells a file or a page writes: their hash is the
// process's seeded one, and it takes in every field SameFormat compares (a number format's digits
// and currency symbol, a border's width), so that no file can be written whose formats crowd one
// place of the table and are all compared with one another.
size_t FormatHash(const CAFormat& format) {
  uint64_t number[4] = {};
  if (const std::optional<CANumberFormat>& n = format.numberFormat()) {
    number[0] = uint64_t(uint32_t(n->display())) | uint64_t(uint32_t(n->dateOrder())) << 32;
    number[1] = uint64_t(uint32_t(n->yearOption())) | uint64_t(uint32_t(n->monthOption())) << 32;
    number[2] = uint64_t(n->size());
    const bool flags[] = {n->padDayMonth(),         n->omitDay(),          n->omitSeparators(),
                          n->shortDashes(),         n->groupThousands(),   n->negativeParens(),
                          n->zeroBlank(),           n->keepFraction(),     n->forceHundredths(),
                          n->onlySignificantDigits(), n->traditionalScientific(), n->disallowScientific()};
    number[3] = uint64_t(uint32_t(n->weekdayOption())) << 32 | 1u << 31;
    for (size_t k = 0; k < std::size(flags); ++k) number[3] |= uint64_t(flags[k]) << k;
    number[3] ^= SeededHashBytes(n->currencySymbol().constData(),
                                 size_t(n->currencySymbol().size()) * sizeof(QChar), 4);
  }
  const uint64_t fields[] = {
      format.mask(),
      uint64_t(format.bold()) | uint64_t(format.italic()) << 1 | uint64_t(format.underline()) << 2 |
          uint64_t(format.strike()) << 3 | uint64_t(uint32_t(format.alignment())) << 8,
      uint64_t(format.textKolor()) << 32 | format.backgroundKolor(),
      format.border() ? uint64_t(uint32_t(format.border()->style())) << 32 | format.border()->kolor() : 0,
      format.border() ? uint64_t(format.border()->width()) : 0,
      number[0], number[1], number[2], number[3]};
  return size_t(SeededHashBytes(fields, sizeof fields, 3));
}

}  // namespace

CASharedFormat CAFormatTable::intern(CAFormat format) {
  std::vector<CASharedFormat>& alike = byHash_[FormatHash(format)];
  for (const CASharedFormat& known : alike) {
    ++comparisons_;
    if (SameFormat(*known, format)) return known;
  }
  ++count_;
  return alike.emplace_back(std::move(format));
}
