#include "framlet/foundation/flImageSaving.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDrawing.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flImageCodecs.h"
#include "framlet/foundation/flImageSupport.h"
#include "platform/HeifCodec.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

constexpr int kSaveFailedCode = -50;
constexpr const char* kCannotSaveToPath = "The image cannot be saved to \"%@\".";
constexpr const char* kCannotSaveFormat = "The image cannot be saved to the requested format.";
constexpr double kQuicklookQuality = 0.75;
constexpr double kPreviewLimit = 1024;
constexpr double kThumbnailLimit = 512;

const char* TypeIdentifier(int32_t format) {
  switch (format) {
    case kImageFormatHeic: return "public.heic";
    case kImageFormatJpeg: return "public.jpeg";
    case kImageFormatPdf: return "com.adobe.pdf";
    case kImageFormatPng: return "public.png";
    case kImageFormatBmp: return "com.microsoft.bmp";
    case kImageFormatEmf: return "com.microsoft.emf";
    case kImageFormatGif: return "com.compuserve.gif";
    case kImageFormatPict: return "com.apple.pict";
    default: return "public.tiff";
  }
}

// The format a bitmap is encoded in when the request leaves it open: from the image's alpha and
// the path's extension. Note that "jpeg" is no reason to write a transparent image as JPEG.
int32_t ChooseFormat(const QImage& bitmap, const QString& path) {
  const bool opaque = !bitmap.hasAlphaChannel();
  const QString extension = QFileInfo(path).suffix().toLower();
  if (path.isEmpty() || extension.isEmpty()) return opaque ? kImageFormatJpeg : kImageFormatPng;
  if (extension == QLatin1String("png")) return kImageFormatPng;
  if (opaque || extension == QLatin1String("jpg")) return kImageFormatJpeg;
  return kImageFormatTiff;
}

// The format a decoded bitmap is written in for a requested code: the encoders here write
// HEIC (through libheif, when it has an encoder), JPEG, PDF, PNG, TIFF and BMP; GIF, EMF, PICT and any
// unknown code are written as TIFF.
int32_t EncodableFormat(int32_t format) {
  switch (format) {
    case kImageFormatJpeg:
    case kImageFormatPdf:
    case kImageFormatPng:
    case kImageFormatTiff:
    case kImageFormatBmp:
      return format;
    default:
      return kImageFormatTiff;
  }
}

const QImage* WidestRepresentation(const FLImage& image) {
  const QImage* widest = nullptr;
  for (const QImage& rep : image.representations())
    if (!widest || rep.width() > widest->width()) widest = &rep;
  return widest;
}

// The image as a bitmap of exactly width x height pixels: a representation of that size when
// there is one (the last such), else the image drawn at that size.
QImage BitmapOfSize(const FLImage& image, int width, int height) {
  const auto& reps = image.representations();
  for (auto rep = reps.rbegin(); rep != reps.rend(); ++rep)
    if (rep->width() == width && rep->height() == height) {
      QImage exact = *rep;
      exact.setDevicePixelRatio(1);
      return exact;
    }
  const CodecErrnoScope codec;
  QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
  ThrowIfBitmapFailedForMemory(canvas);
  if (canvas.isNull()) return canvas;
  canvas.fill(Qt::transparent);
  QPainter painter(&canvas);
  image.draw(painter, QRectF(0, 0, width, height));
  return canvas;
}

// JPEG keeps no alpha: transparent parts come out white rather than black.
QImage FlattenOnWhite(const QImage& bitmap) {
  if (!bitmap.hasAlphaChannel()) return bitmap;
  const CodecErrnoScope codec;
  QImage flat(bitmap.size(), QImage::Format_RGB32);
  ThrowIfBitmapFailedForMemory(flat);
  if (flat.isNull()) return flat;
  flat.fill(Qt::white);
  QPainter painter(&flat);
  painter.drawImage(0, 0, bitmap);
  return flat;
}

QByteArray EncodeBitmap(const QImage& bitmap, const FLImageSaveRequest& request) {
  // Qt has no plug-in for HEIC; libheif writes it.
  if (request.format == kImageFormatHeic)
    return EncodeHeif(bitmap, float(request.lossyQuality)).value_or(QByteArray());
  const char* qtFormat = nullptr;
  QImage source = bitmap;
  switch (request.format) {
    case kImageFormatJpeg: qtFormat = "jpeg"; source = FlattenOnWhite(bitmap); break;
    case kImageFormatPng: qtFormat = "png"; break;
    case kImageFormatBmp: qtFormat = "bmp"; break;
    default: qtFormat = "tiff"; break;
  }
  if (source.isNull()) return {};
  return EncodeImage(source, qtFormat, request.lossyQuality >= 0 ? int(std::lround(request.lossyQuality * 100)) : -1,
                     request.format == kImageFormatTiff ? request.tiffCompression : -1);
}

// One page whose media box is the request's rectangle, with the bitmap drawn into it.
QByteArray EncodePdf(const QImage& bitmap, const QRectF& rect) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(rect.size(), QPageSize::Point, QString(), QPageSize::ExactMatch));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&writer)) return {};
    painter.setClipRect(rect);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect, bitmap);
    painter.end();
  }
  return data;
}

// Writes under a temporary name in the target's folder and renames it over the target only
// when everything was written, so a failure leaves an existing file as it was.
bool WriteFileSafely(const QString& path, const QByteArray& data) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(data) != data.size()) {
    file.cancelWriting();
    file.commit();
    return false;
  }
  return file.commit();
}

bool FinishSave(FLImageSaveRequest& request, const QByteArray& data) {
  if (data.isEmpty()) return false;
  if (request.path.isEmpty()) {
    request.data = data;
    return true;
  }
  if (!WriteFileSafely(request.path, data)) {
    request.writeFailed = true;
    return false;
  }
  return QFileInfo::exists(request.path);
}

}  // namespace

void SetImageFileInfo(FLImageSaveRequest& request) {
  request.lossyQuality = -1;
  request.tiffCompression = 0;
  request.extension = ExtensionForImageFormat(request.format);
  request.typeIdentifier = QLatin1String(TypeIdentifier(request.format));
  switch (request.format) {
    case kImageFormatHeic:
      // A quality of exactly 0 would mean lossless to some encoders.
      request.lossyQuality = request.quality <= 0 ? 2e-7 : std::min(request.quality, 1.0);
      break;
    case kImageFormatJpeg:
      request.lossyQuality = std::clamp(request.quality, 0.0, 1.0);
      break;
    case kImageFormatTiff:
      if (request.quality >= 1.0) request.tiffCompression = 1;  // LZW
      break;
    default:
      break;
  }
  if (request.path.isEmpty()) return;
  const QFileInfo info(request.path);
  const QString suffix = info.suffix();
  if (suffix.compare(request.extension, Qt::CaseInsensitive) != 0) {
    if (suffix.isEmpty()) {
      if (!request.path.endsWith(QLatin1Char('.'))) request.path += QLatin1Char('.');
      request.path += request.extension;
    } else {
      request.path.chop(suffix.size());
      request.path += request.extension;
    }
  }
  // Replacing an existing file happens at the rename in WriteFileSafely, never before.
  if (request.uniqueName) {
    const QFileInfo target(request.path);
    request.path = UniqueFileName(target.absolutePath(), target.completeBaseName(), request.extension);
  }
}

bool SaveImageCore(const FLImage* image, FLImageSaveRequest& request, double width, double height) {
  FLAssert(g_genericColorSpace.isValid(), "InitializeFramlet or FLKernal not called");
  request.writeFailed = false;
  request.data.clear();
  if (!image || image->isNull()) return false;
  const QSizeF own = image->size();
  if (!(width > 0)) width = own.width();
  if (!(height > 0)) height = own.height();
  request.rect = QRectF(0, 0, width, height);
  const bool naturalSize = QSizeF(width, height) == own;

  // Bytes that only this image's source can give: a picture nothing here decodes, a GIF (no
  // encoder here) and a PDF (which stays vector) are written back as read.
  const int32_t sourceFormat = image->sourceFormat();
  const bool keepsBytes = !image->sourceData().isEmpty() &&
                          (image->isUndecoded() || sourceFormat == kImageFormatGif ||
                           sourceFormat == kImageFormatPdf);
  const bool sameFormat = request.format == sourceFormat ||
                          (image->isUndecoded() && request.format == kImageFormatUnknown);
  if (keepsBytes && sameFormat && naturalSize) {
    request.format = sourceFormat;
    SetImageFileInfo(request);
    return FinishSave(request, image->sourceData());
  }
  // An undecoded picture has no pixels to encode in another format or at another size.
  if (image->isUndecoded()) return false;

  try {
    const QImage* best = WidestRepresentation(*image);
    if (!best) return false;
    const int pixelsWide = std::max(1, int(std::lround(width)));
    const int pixelsHigh = std::max(1, int(std::lround(height)));
    if (pixelsWide > int(kFLMaxBitmapSide) || pixelsHigh > int(kFLMaxBitmapSide)) return false;

    if (request.format == kImageFormatUnknown) request.format = ChooseFormat(*best, request.path);
    // Without a HEIC encoder (libheif may be built without one) the request is settled by the
    // rules for an open format, which keep the quality for a lossy JPEG.
    if (request.format == kImageFormatHeic && !CanEncodeHeif())
      request.format = ChooseFormat(*best, request.path);
    else if (request.format != kImageFormatHeic)
      request.format = EncodableFormat(request.format);
    SetImageFileInfo(request);

    if (request.format == kImageFormatPdf) {
      // The page keeps the bitmap's own pixels; only the media box has the requested size.
      QImage page = *best;
      page.setDevicePixelRatio(1);
      return FinishSave(request, EncodePdf(page, request.rect));
    }
    const QImage bitmap = BitmapOfSize(*image, pixelsWide, pixelsHigh);
    if (bitmap.isNull()) return false;
    return FinishSave(request, EncodeBitmap(bitmap, request));
  } catch (const std::bad_alloc& exception) {
    // A picture that could not be encoded for memory fails whatever it was written for.
    LogException(exception, QStringLiteral("Image save failed"));
    throw;
  } catch (const std::exception& exception) {
    LogException(exception, QStringLiteral("Image save failed"));
    return false;
  }
}

QString SaveImage(const FLImage* image, const QString& path, int32_t format, FLError* error,
                  QSizeF size, double quality) {
  if (!image) return {};
  FLImageSaveRequest request;
  request.path = path;
  request.format = format;
  request.quality = quality;
  if (SaveImageCore(image, request, size.width(), size.height())) return request.path;
  if (request.writeFailed)
    SetError(error, kSaveFailedCode, StringWithFormat(kCannotSaveToPath, request.path));
  else
    SetError(error, kSaveFailedCode, QString::fromLatin1(kCannotSaveFormat));
  return {};
}

QByteArray TiffFromImage(const FLImage* image) {
  if (!image || image->isUndecoded()) return {};
  const QImage* best = WidestRepresentation(*image);
  if (!best) return {};
  QImage bitmap = *best;
  bitmap.setDevicePixelRatio(1);
  FLImageSaveRequest request;
  request.format = kImageFormatTiff;
  request.quality = 0;  // uncompressed, as a TIFF representation is
  SetImageFileInfo(request);
  try {
    return EncodeBitmap(bitmap, request);
  } catch (const std::bad_alloc& exception) {
    LogException(exception, QStringLiteral("TIFFRepresentation failed"));
    throw;
  } catch (const std::exception& exception) {
    LogException(exception, QStringLiteral("TIFFRepresentation failed"));
    return {};
  }
}

QSizeF LimitImageSizeForSave(QSizeF size, double limit) {
  if (size.width() <= limit && size.height() <= limit) return QSizeF(0, 0);
  QRectF fitted(QPointF(0, 0), size);
  CenterRectangle(fitted, QRectF(0, 0, limit, limit));
  if (fitted.width() == 0 || fitted.height() == 0) return QSizeF(0, 0);
  return fitted.size();
}

void SaveQuicklookImage(const FLImage* image, const QString& packageFolder) {
  if (!image) return;
  const QString folder = QDir(packageFolder).filePath(QLatin1String(kFLQuickLookFolderName));
  if (!QDir().mkpath(folder)) return;
  GiveUserFilePermissions(folder);
  const QSizeF size = image->size();
  const QDir dir(folder);
  try {
    SaveImage(image, dir.filePath(QLatin1String(kFLQuickLookPreviewName)), kImageFormatJpeg, nullptr,
              LimitImageSizeForSave(size, kPreviewLimit), kQuicklookQuality);
    SaveImage(image, dir.filePath(QLatin1String(kFLQuickLookThumbnailName)), kImageFormatJpeg, nullptr,
              LimitImageSizeForSave(size, kThumbnailLimit), kQuicklookQuality);
  } catch (const std::bad_alloc& exception) {
    // The preview is no part of the document: one that cannot be made for memory is left out.
    LogException(exception, QStringLiteral("Quick Look preview not written"));
  }
}
