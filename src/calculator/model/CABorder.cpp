#include "calculator/model/CABorder.h"

#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"

#include <QPainter>
#include <QPainterPath>

#include <iterator>

namespace {

constexpr const char* kStyleNames[] = {"none", "solid", "dot", "dash"};

}  // namespace

CABorder CABorder::withXml(FLXmlDecoder& decoder) {
  CABorder border;
  if (decoder.endTag()) return border;
  const int64_t level = decoder.level();
  while (decoder.getNextTag()) {
    if (decoder.level() < level) break;
    switch (XmlTagOf(decoder)) {
      case kXmlStyle:
        border.style_ = int32_t(decoder.decodeValueFromValues(kStyleNames));
        break;
      case kXmlColor:
        border.kolor_ = KolorFromString(decoder.value());
        break;
      case kXmlWidth:
        border.width_ = decoder.longValue();
        break;
      default:
        LogAssert("Unknown border tag", __func__, __FILE__, __LINE__);
        if (decoder.startTag() && !decoder.endTag()) decoder.skipTag();
        break;
    }
  }
  return border;
}

void CABorder::saveToXml(FLXmlEncoder& encoder) const {
  encoder.openTag(XmlName(kXmlBorder));
  const bool known = style_ >= 0 && size_t(style_) < std::size(kStyleNames);
  encoder.addTag(XmlName(kXmlStyle), QLatin1String(kStyleNames[known ? style_ : kBorderNone]));
  encoder.addTag(XmlName(kXmlColor), NewKolorString(kolor_));
  encoder.addTag(XmlName(kXmlWidth), width_);
  encoder.closeTag(XmlName(kXmlBorder));
}

CABorder CABorder::copy() const {
  CABorder border;
  border.setKolor(kolor_);
  border.setStyle(style_);
  border.setWidth(width_);
  return border;
}

void CABorder::setColor(Kolor kolor) {
  kolor_ = kolor;
  if (KolorIsColor(kolor)) {
    if (style_ == kBorderNone) style_ = kBorderSolid;
    if (width_ == 0) width_ = kEmuPerPoint;
  } else {
    style_ = kBorderNone;
  }
}

void CABorder::setStyle(int32_t style) {
  style_ = style;
  if (style != kBorderNone) {
    if (!KolorIsColor(kolor_)) kolor_ = g_blackKolor;
    if (width_ == 0) width_ = kEmuPerPoint;
  }
}

void CABorder::setWidth(int64_t width) {
  width_ = width;
  if (width != 0) {
    if (style_ == kBorderNone) style_ = kBorderSolid;
    if (!KolorIsColor(kolor_)) kolor_ = g_blackKolor;
  } else {
    style_ = kBorderNone;
  }
}

bool CABorder::isEqualTo(const CABorder* other) const {
  return other && other->style_ == style_ && other->width_ == width_ && other->kolor_ == kolor_;
}

std::vector<qreal> CABorder::dashPattern() const {
  std::vector<qreal> pattern;
  if (style_ == kBorderDot)
    pattern = {1.0, 2.0};
  else if (style_ == kBorderDash)
    pattern = {5.0, 2.0};
  const qreal width = lineWidth();
  if (width > 1.0)
    for (qreal& entry : pattern) entry *= width;
  return pattern;
}

QPen CABorder::pen(qreal phase) const {
  QPen pen(ColorFromKolor(kolor_));
  const qreal width = lineWidth();
  pen.setWidthF(width);
  pen.setCapStyle(Qt::FlatCap);
  const std::vector<qreal> pattern = dashPattern();
  if (!pattern.empty() && width > 0) {
    // Qt measures dashes and their offset in line widths.
    QList<qreal> scaled;
    for (qreal entry : pattern) scaled.append(entry / width);
    pen.setDashPattern(scaled);
    pen.setDashOffset(phase / width);
  }
  return pen;
}

void CABorder::drawWithBezier(QPainter& painter, const QPainterPath& path, qreal phase) const {
  painter.save();
  painter.setPen(pen(phase));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);
  painter.restore();
}
