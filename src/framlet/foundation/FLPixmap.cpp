#include "framlet/foundation/FLPixmap.h"

#include "framlet/foundation/flBase.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The bitmap stores Qt's ARGB32_Premultiplied words; the pixel map speaks in RGBA words.
constexpr uint32_t NativeToPixel(uint32_t native) {
  return (native & 0x00FFFFFF) << 8 | native >> 24;
}

constexpr uint32_t PixelToNative(uint32_t pixel) {
  return (pixel & 0xFF) << 24 | pixel >> 8;
}

}  // namespace

uint32_t PixelFromKolor(Kolor kolor) {
  if (!KolorIsColor(kolor)) return 0;
  const uint32_t percent = kolor >> 24;
  const uint32_t red = kolor & 0xFF;
  const uint32_t green = (kolor >> 8) & 0xFF;
  const uint32_t blue = (kolor >> 16) & 0xFF;
  if (percent == 100) return red << 24 | green << 16 | blue << 8 | 0xFF;
  const uint64_t alpha = percent * 255 / 100;
  // channel x alpha / 255, rounded down.
  const auto premultiply = [alpha](uint32_t channel) {
    return uint32_t((uint64_t(channel) * alpha * 0x01010102ULL) >> 32);
  };
  return premultiply(red) << 24 | premultiply(green) << 16 | premultiply(blue) << 8 | uint32_t(alpha);
}

std::unique_ptr<FLPixmap> FLPixmap::withSize(QSizeF size) {
  if (!(size.width() >= 1) || !(size.height() >= 1)) return nullptr;
  const double width = std::trunc(std::min(size.width(), double(kFLMaxBitmapSide) + 1));
  const double height = std::trunc(std::min(size.height(), double(kFLMaxBitmapSide) + 1));
  auto bitmap = CreateQuartzBitmap(uint32_t(width), uint32_t(height));
  if (!bitmap) return nullptr;
  return std::unique_ptr<FLPixmap>(new FLPixmap(std::move(bitmap)));
}

std::unique_ptr<FLPixmap> FLPixmap::withImage(const FLImage& image) {
  const QSizeF size = image.size();
  auto pixmap = withSize(size);
  if (!pixmap) return nullptr;
  image.draw(pixmap->bitmap_->painter(), QRectF(QPointF(0, 0), size));
  pixmap->bitmap_->endPainting();
  return pixmap;
}

std::unique_ptr<FLPixmap> FLPixmap::withQuartzImage(const QImage& bitmap) {
  if (bitmap.isNull()) return nullptr;
  auto pixmap = withSize(QSizeF(bitmap.size()));
  if (!pixmap) return nullptr;
  QImage source = bitmap;
  source.setDevicePixelRatio(1);
  QPainter& painter = pixmap->bitmap_->painter();
  painter.drawImage(QPointF(0, 0), source);
  pixmap->bitmap_->endPainting();
  return pixmap;
}

std::unique_ptr<FLPixmap> FLPixmap::copy() const {
  auto twin = withSize(size());
  if (twin) twin->copyPixelsFromBitmap(*bitmap_);
  if (twin) twin->pixmapMode_ = pixmapMode_;
  return twin;
}

std::unique_ptr<FLImage> FLPixmap::createImage() const {
  const QImage pixels = createCGImage();
  if (pixels.isNull()) return nullptr;
  return FLImage::withCGImage(pixels, size());
}

QImage FLPixmap::createCGImage() const { return bitmap_->copyImage(); }

void FLPixmap::copyPixelsFromBitmap(const FLBitmapContext& bitmap) {
  if (bitmap.width() != bitmap_->width() || bitmap.height() != bitmap_->height() ||
      bitmap.bytesPerRow() != bitmap_->bytesPerRow()) {
    LogAssert("Bitmaps not same size", __func__, __FILE__, __LINE__);
    return;
  }
  if (&bitmap == bitmap_.get()) return;
  std::memcpy(bitmap_->data(), bitmap.data(), bitmap.bytesPerRow() * bitmap.height());
}

uint32_t FLPixmap::rawPixel(uint32_t x, uint32_t y) const {
  uint32_t native = 0;
  std::memcpy(&native, bitmap_->data() + size_t(y) * bitmap_->bytesPerRow() + size_t(x) * 4, 4);
  return NativeToPixel(native);
}

bool FLPixmap::getPixelColor(uint32_t* pixel, int64_t x, int64_t y) const {
  uint32_t value = 0;
  const bool inside = x >= 0 && y >= 0 && x < int64_t(bitmap_->width()) && y < int64_t(bitmap_->height());
  if (inside) {
    value = rawPixel(uint32_t(x), uint32_t(y));
    if (pixmapMode_ == kFLPixmapModeAlphaAsGray) {
      const uint32_t gray = 255 - (value & 0xFF);
      value = PixelFromKolor(MakeKolor(uint8_t(gray), uint8_t(gray), uint8_t(gray)));
    }
  }
  if (pixel) *pixel = value;
  return inside;
}

Kolor FLPixmap::kolorAtPoint(QPointF point) const {
  uint32_t pixel = 0;
  // Truncated toward zero, as the coordinates always were.
  if (!getPixelColor(&pixel, int64_t(point.x()), int64_t(point.y())) || pixel == 0) return kNoKolor;
  const uint32_t alpha = pixel & 0xFF;
  uint32_t red = pixel >> 24;
  uint32_t green = (pixel >> 16) & 0xFF;
  uint32_t blue = (pixel >> 8) & 0xFF;
  if (alpha == 255) return MakeKolor(uint8_t(red), uint8_t(green), uint8_t(blue));
  if (alpha == 0) return kNoKolor;  // colour without coverage: nothing to un-premultiply
  red = (red * 255 / alpha) & 0xFF;
  green = (green * 255 / alpha) & 0xFF;
  blue = (blue * 255 / alpha) & 0xFF;
  const uint32_t percent = (alpha * 6579400) >> 24;  // alpha x 100 / 255, rounded down
  return MakeKolor(uint8_t(red), uint8_t(green), uint8_t(blue), uint8_t(percent));
}

void FLPixmap::setColor(Kolor kolor, QPointF point) {
  const int64_t x = int64_t(point.x());
  const int64_t y = int64_t(point.y());
  if (x < 0 || y < 0 || x >= int64_t(bitmap_->width()) || y >= int64_t(bitmap_->height())) return;
  const uint32_t native = PixelToNative(PixelFromKolor(kolor));
  std::memcpy(bitmap_->data() + size_t(y) * bitmap_->bytesPerRow() + size_t(x) * 4, &native, 4);
}

QSizeF FLPixmap::size() const { return QSizeF(bitmap_->width(), bitmap_->height()); }

bool FLPixmap::hasAlpha() const {
  for (uint32_t y = 0; y < bitmap_->height(); ++y)
    for (uint32_t x = 0; x < bitmap_->width(); ++x)
      if ((rawPixel(x, y) & 0xFF) != 0xFF) return true;
  return false;
}

uint64_t FLPixmap::pixelCount() const {
  const uint64_t all = uint64_t(bitmap_->width()) * bitmap_->height();
  if (!hasAlpha()) return all;
  uint64_t count = 0;
  for (uint32_t y = 0; y < bitmap_->height(); ++y)
    for (uint32_t x = 0; x < bitmap_->width(); ++x)
      if ((rawPixel(x, y) & 0xFF) != 0) ++count;
  return count;
}

QPointF FLPixmap::centerOfMass() const {
  const uint32_t width = bitmap_->width();
  const uint32_t height = bitmap_->height();
  if (!hasAlpha()) return QPointF(width / 2, height / 2);
  std::vector<uint32_t> columns(width, 0);
  std::vector<uint32_t> rows(height, 0);
  uint64_t total = 0;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      if ((rawPixel(x, y) & 0xFF) != 0) {
        ++columns[x];
        ++rows[y];
        ++total;
      }
  if (total == 0) return QPointF(0, 0);
  uint64_t sumX = 0;
  uint64_t sumY = 0;
  for (uint32_t x = 0; x < width; ++x) sumX += uint64_t(columns[x]) * (x + 1);
  for (uint32_t y = 0; y < height; ++y) sumY += uint64_t(rows[y]) * (y + 1);
  return QPointF(double(sumX / total - 1), double(sumY / total - 1));
}
