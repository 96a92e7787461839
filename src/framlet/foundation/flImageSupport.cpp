#include "framlet/foundation/flImageSupport.h"

#include "framlet/foundation/flBase.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

namespace {

constexpr const char* kFormatExtensions[] = {"heic", "jpg", "pdf", "png", "tiff",
                                             "bmp",  "emf", "gif", "pict"};

bool StartsWith(const QByteArray& data, qsizetype offset, const char* signature, qsizetype length) {
  return data.size() >= offset + length && std::memcmp(data.constData() + offset, signature, length) == 0;
}

bool LooksLikePict(const QByteArray& data) {
  // A picture's version opcode follows its size word and frame, after an optional 512-byte
  // file header: 0x1101 (version 1) or 0x0011 0x02FF (version 2).
  for (qsizetype offset : {qsizetype(512), qsizetype(0)}) {
    if (StartsWith(data, offset + 10, "\x00\x11\x02\xFF", 4)) return true;
    if (StartsWith(data, offset + 10, "\x11\x01", 2)) return true;
  }
  return false;
}

}  // namespace

int32_t ImageFormatFromExtension(const QString& extension) {
  const QString lower = extension.toLower();
  if (lower == QLatin1String("jpg") || lower == QLatin1String("jpeg")) return kImageFormatJpeg;
  if (lower == QLatin1String("tiff") || lower == QLatin1String("tif")) return kImageFormatTiff;
  for (int32_t format = kImageFormatHeic; format <= kImageFormatPict; ++format)
    if (lower == QLatin1String(kFormatExtensions[format - 1])) return format;
  return kImageFormatUnknown;
}

QString ExtensionForImageFormat(int32_t format) {
  if (format < kImageFormatHeic || format > kImageFormatPict) return QStringLiteral("tiff");
  return QLatin1String(kFormatExtensions[format - 1]);
}

int32_t ImageFormatFromData(const QByteArray& data) {
  if (StartsWith(data, 0, "\x89PNG\r\n\x1A\n", 8)) return kImageFormatPng;
  if (StartsWith(data, 0, "\xFF\xD8\xFF", 3)) return kImageFormatJpeg;
  if (StartsWith(data, 0, "GIF87a", 6) || StartsWith(data, 0, "GIF89a", 6)) return kImageFormatGif;
  if (StartsWith(data, 0, "II*\0", 4) || StartsWith(data, 0, "MM\0*", 4)) return kImageFormatTiff;
  if (StartsWith(data, 0, "BM", 2) && data.size() >= 26) return kImageFormatBmp;
  if (StartsWith(data, 4, "ftyp", 4)) {
    static const char* const kBrands[] = {"heic", "heix", "hevc", "hevx", "heim",
                                          "heis", "mif1", "msf1"};
    for (const char* brand : kBrands)
      if (StartsWith(data, 8, brand, 4)) return kImageFormatHeic;
  }
  if (StartsWith(data, 0, "\x01\x00\x00\x00", 4) && StartsWith(data, 40, " EMF", 4))
    return kImageFormatEmf;
  const qsizetype pdf = data.left(1024).indexOf("%PDF-");
  if (pdf >= 0) return kImageFormatPdf;
  if (LooksLikePict(data)) return kImageFormatPict;
  return kImageFormatUnknown;
}

std::unique_ptr<FLBitmapContext> GraphicsContextForImage(const FLImage* image) {
  if (!image) return nullptr;
  const QSizeF size = image->size();
  if (!(size.width() >= 1 && size.height() >= 1)) return nullptr;
  const double width = std::min(std::trunc(size.width()), double(kFLMaxBitmapSide) + 1);
  const double height = std::min(std::trunc(size.height()), double(kFLMaxBitmapSide) + 1);
  return CreateQuartzBitmap(uint32_t(width), uint32_t(height));
}

bool LockImageFocus(FLImage* image) {
  uint8_t* storage = GetFLThreadStorage();
  if (storage[0]) LogAssert("UnlockFocus not called after last LockImageFocus", __func__, __FILE__, __LINE__);
  storage[0] = 0;
  if (!image) return false;
  QPainter* painter = nullptr;
  try {
    painter = image->lockFocus();
  } catch (const std::exception& exception) {
    LogException(exception, QStringLiteral("Image lock failed"));
    painter = nullptr;
  }
  if (!painter) {
    LogAssert("Image lock failed", __func__, __FILE__, __LINE__);
    return false;
  }
  storage[0] = 1;
  PushQuartzContext(painter);
  return true;
}

void UnlockImageFocus(FLImage* image) {
  uint8_t* storage = GetFLThreadStorage();
  if (!storage[0]) return;
  storage[0] = 0;
  if (image) image->unlockFocus();
}

std::unique_ptr<FLImage> LockImageFocusCopy(const FLImage* image) {
  if (!image) return nullptr;
  auto copy = std::make_unique<FLImage>(*image);
  if (!LockImageFocus(copy.get())) return nullptr;
  return copy;
}

QSizeF ImageSizeFromReps(const FLImage* image) {
  QSizeF result(0, 0);
  if (!image) return result;
  for (const QImage& rep : image->representations()) {
    // A page rendered at a device pixel ratio reports its size in points, as a vector
    // representation reports no pixels of its own.
    const QSizeF size = rep.devicePixelRatio() == 1 ? QSizeF(rep.size()) : rep.deviceIndependentSize();
    if (result.width() == 0 || size.width() < result.width()) result = size;
  }
  return result;
}

std::vector<std::shared_ptr<FLImage>> ImagesFromNames(const QStringList& names) {
  std::vector<std::shared_ptr<FLImage>> images;
  images.reserve(size_t(names.size()));
  for (qsizetype index = 0; index < names.size(); ++index) {
    std::shared_ptr<FLImage> image = FLImage::imageNamed(names[index]);
    if (!image) {
      const QByteArray message = QByteArray("Missing image ") + QByteArray::number(index);
      LogAssert(message.constData(), __func__, __FILE__, __LINE__);
      image = FLImage::imageNamed(QLatin1String(kFLStopProgressTemplateImageName));
    }
    images.push_back(std::move(image));
  }
  return images;
}

QList<FLDraggingImageComponent> DraggingImageComponents(std::shared_ptr<const FLImage> image,
                                                        const QRectF& frame) {
  return {FLDraggingImageComponent{QLatin1String(kFLDraggingImageComponentIconKey), std::move(image), frame}};
}

void FLImage::drawInRectNormally(QPainter& painter, const QRectF& rect) const {
  draw(painter, rect, QRectF(), QPainter::CompositionMode_SourceOver, 1.0);
}

void FLImage::drawInRectNormally(const QRectF& rect) const {
  if (QPainter* painter = CurrentQuartzContext()) drawInRectNormally(*painter, rect);
}
