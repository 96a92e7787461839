// A picture held as an off-screen bitmap whose pixels the program reads and writes directly:
// colours at pixel positions as Kolors, pixel counts, the centre of mass of the opaque pixels,
// and an image of it. A mode reads the alpha channel back as gray.
#pragma once

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flDrawing.h"

#include <QImage>
#include <QPointF>
#include <QSizeF>

#include <cstdint>
#include <memory>

// A pixel as the pixel map hands it out: red << 24 | green << 16 | blue << 8 | alpha, with the
// colours premultiplied by alpha. No colour gives 0 (transparent).
uint32_t PixelFromKolor(Kolor kolor);

inline constexpr int32_t kFLPixmapModeNormal = 0;
inline constexpr int32_t kFLPixmapModeAlphaAsGray = 1;

class FLPixmap {
 public:
  // Sides truncated to whole pixels; nullptr for a zero side or when no bitmap can be had.
  static std::unique_ptr<FLPixmap> withSize(QSizeF size);
  // The image drawn at (0, 0) at its full size (source-over, full opacity).
  static std::unique_ptr<FLPixmap> withImage(const FLImage& image);
  // A bitmap at its own pixel size.
  static std::unique_ptr<FLPixmap> withQuartzImage(const QImage& bitmap);

  FLPixmap(const FLPixmap&) = delete;
  FLPixmap& operator=(const FLPixmap&) = delete;
  // A pixel map of the same size with the pixels copied.
  std::unique_ptr<FLPixmap> copy() const;

  // A new image of the pixel map's size holding its pixels; nullptr when none can be made.
  std::unique_ptr<FLImage> createImage() const;
  QImage createCGImage() const;
  // Copies every pixel of a bitmap of the same width, height and row length; another size is
  // refused with "Bitmaps not same size".
  void copyPixelsFromBitmap(const FLBitmapContext& bitmap);

  // Outside the bitmap stores 0 and answers false. In mode 1 the pixel read is the opaque gray
  // of 255 - alpha.
  bool getPixelColor(uint32_t* pixel, int64_t x, int64_t y) const;
  // No colour for a transparent pixel or a point outside; otherwise the colour un-premultiplied,
  // with the alpha in percent rounded down.
  Kolor kolorAtPoint(QPointF point) const;
  // Inside the bitmap the pixel becomes the Kolor's; outside nothing happens.
  void setColor(Kolor kolor, QPointF point);

  QSizeF size() const;
  // Every pixel when none is transparent; else the pixels whose alpha is not 0.
  uint64_t pixelCount() const;
  // Whether some pixel is not fully opaque. Worked out on every call, so pixelCount and
  // centerOfMass are right whatever was drawn or set since.
  bool hasAlpha() const;
  // The mean position of the pixels whose alpha is not 0 (each column and row counted from 1,
  // the result from 0, in whole pixels); the middle of the bitmap when nothing is transparent.
  QPointF centerOfMass() const;

  int32_t pixmapMode() const { return pixmapMode_; }
  void setPixmapMode(int32_t mode) { pixmapMode_ = mode; }
  FLBitmapContext& bitmap() { return *bitmap_; }
  const FLBitmapContext& bitmap() const { return *bitmap_; }

 private:
  explicit FLPixmap(std::unique_ptr<FLBitmapContext> bitmap) : bitmap_(std::move(bitmap)) {}
  uint32_t rawPixel(uint32_t x, uint32_t y) const;

  std::unique_ptr<FLBitmapContext> bitmap_;
  int32_t pixmapMode_ = kFLPixmapModeNormal;
};
