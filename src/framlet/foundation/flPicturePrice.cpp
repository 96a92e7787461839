#include "framlet/foundation/flPicturePrice.h"

#include "framlet/foundation/flReadingMeter.h"

#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <limits>

int64_t PictureDecodeLimit() {
  const int megabytes = QImageReader::allocationLimit();
  return megabytes > 0 ? int64_t(megabytes) << 20 : std::numeric_limits<int64_t>::max();
}

FLPicturePrice PriceOfPixels(QSize pixels, int bitsPerPixel, int copies) {
  FLPicturePrice price;
  price.pixels = pixels;
  if (!pixels.isValid()) return price;
  // In floating point: a header may claim sides whose product passes 64 bits.
  const double rowBytes = std::ceil(double(std::max(pixels.width(), 0)) * std::max(bitsPerPixel, 1) / 32) * 4;
  const double bytes = rowBytes * std::max(pixels.height(), 0) * std::max(copies, 1);
  constexpr double kMost = double(std::numeric_limits<int64_t>::max() / 2);
  price.bytes = int64_t(std::min(bytes, kMost));
  return price;
}

FLPicturePrice PriceOfPicture(QImageReader& reader, int64_t encodedBytes) {
  const QSize scaled = reader.scaledSize();
  const QSize size = scaled.isValid() && !scaled.isEmpty() ? scaled : reader.size();
  if (!size.isValid()) {
    FLPicturePrice unknown;
    unknown.bytes = std::max<int64_t>(encodedBytes, 0);
    return unknown;
  }
  const QImage::Format format = reader.imageFormat();
  const int bits = format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
  const bool turned = reader.autoTransform() && reader.transformation() != QImageIOHandler::TransformationNone;
  return PriceOfPixels(size, bits, turned ? 2 : 1);
}

FLPictureRefusal AdmitPicture(const FLPicturePrice& price, int64_t* cost) {
  if (cost) *cost = price.bytes;
  if (price.bytes > PictureDecodeLimit()) return FLPictureRefusal::PastDecodeLimit;
  int64_t grown = 0;
  int64_t room;
  FLReadingMeter* meter = FLReadingMeter::current();
  if (meter && meter->budget() > 0) {
    meter->measure();
    grown = meter->grown();
    room = meter->budget() - grown;
  } else {
    room = BudgetWithinLimits(std::numeric_limits<int64_t>::max());
  }
  if (cost) *cost = grown + price.bytes;
  return price.bytes > room ? FLPictureRefusal::PastBudget : FLPictureRefusal::None;
}
