#include "calculator/model/CAColumn.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"

int64_t MinimumColumnWidth() {
  return ModelPreferences().defaultUnits == kUnitsCentimetres ? kMinimumWidthMetric
                                                              : kMinimumWidthInches;
}

std::unique_ptr<CAColumn> CAColumn::withXml(FLXmlDecoder& decoder) {
  auto column = std::make_unique<CAColumn>(decoder.integerAttributeForTag(XmlName(kXmlX)));
  if (decoder.endTag()) return column;
  const int64_t level = decoder.level();
  while (decoder.getNextTag()) {
    if (decoder.level() < level) break;
    switch (XmlTagOf(decoder)) {
      case kXmlWidth:
        // Stored as written: the file's width wins over today's minimum.
        column->digitCount_ = -1;
        column->width_ = decoder.longValue();
        break;
      case kXmlDigits:
        column->digitCount_ = decoder.longValue();
        break;
      case kXmlFormat:
        column->format_ = std::make_unique<CAFormat>(CAFormat::withXml(decoder));
        break;
      default:
        LogAssert("Unknown column tag", __func__, __FILE__, __LINE__);
        if (decoder.startTag() && !decoder.endTag()) decoder.skipTag();
        break;
    }
  }
  return column;
}

void CAColumn::saveToXml(FLXmlEncoder& encoder) const {
  encoder.addAttribute(XmlName(kXmlX), gridX_);
  encoder.openTag(XmlName(kXmlCol));
  if (digitCount_ < 0)
    encoder.addTag(XmlName(kXmlWidth), width_);
  else if (digitCount_ != 0)
    encoder.addTag(XmlName(kXmlDigits), digitCount_);
  if (format_ && format_->shouldSave()) format_->saveToXml(encoder, nullptr);
  encoder.closeTag(XmlName(kXmlCol));
}

std::unique_ptr<CAColumn> CAColumn::copy() const {
  auto column = std::make_unique<CAColumn>(gridX_);
  column->digitCount_ = digitCount_;
  column->setWidth(width_);
  if (format_) column->format_ = std::make_unique<CAFormat>(format_->copy());
  return column;
}

void CAColumn::setWidth(int64_t width) {
  width_ = width == 0 ? 0 : std::max(width, MinimumColumnWidth());
}

void CAColumn::makeVanilla() {
  digitCount_ = 0;
  width_ = 0;
  format_.reset();
}
