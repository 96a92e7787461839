#include "framlet/foundation/FLImage.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDrawing.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flImageCodecs.h"
#include "framlet/foundation/flImageSaving.h"
#include "framlet/foundation/flImageSupport.h"
#include "platform/HeifCodec.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>
#include <QPainterPath>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <new>
#include <optional>

namespace {

// Files larger than this are not pictures anyone pastes into a cell; reading them whole would
// only exhaust memory.
constexpr qint64 kMaxImageFileBytes = qint64(512) * 1024 * 1024;
// Frames of a multi-image file (TIFF pages, icon sizes) kept as representations.
constexpr int kMaxRepresentations = 16;
// PDF pages are rendered at twice their size in points (at most this many points a side), so
// that they stay sharp when zoomed or printed.
constexpr double kPdfRenderScale = 2.0;
constexpr double kPdfMaxScaledSide = 4096;
// The size of a kept picture whose own frame cannot be read.
constexpr double kPlaceholderSide = 64;

QStringList& NamedImageFolders() {
  static QStringList folders{QStringLiteral(":/images")};
  return folders;
}

uint32_t ReadLE32(const QByteArray& data, qsizetype offset) {
  const auto* p = reinterpret_cast<const uint8_t*>(data.constData()) + offset;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t ReadBE32(const QByteArray& data, qsizetype offset) {
  const auto* p = reinterpret_cast<const uint8_t*>(data.constData()) + offset;
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

int16_t ReadBE16(const QByteArray& data, qsizetype offset) {
  const auto* p = reinterpret_cast<const uint8_t*>(data.constData()) + offset;
  return int16_t(uint16_t(p[0]) << 8 | uint16_t(p[1]));
}

// The frame a kept picture declares for itself, in points; empty when it declares none.
QSizeF KeptPictureFrame(const QByteArray& data, int32_t format) {
  if (format == kImageFormatEmf && data.size() >= 44) {
    // rclFrame, in hundredths of a millimetre.
    const double width = double(int32_t(ReadLE32(data, 32))) - double(int32_t(ReadLE32(data, 24)));
    const double height = double(int32_t(ReadLE32(data, 36))) - double(int32_t(ReadLE32(data, 28)));
    if (width > 0 && height > 0) return QSizeF(width * 72 / 2540, height * 72 / 2540);
  } else if (format == kImageFormatPict) {
    // picFrame (top, left, bottom, right at 72 dpi), after the optional 512-byte file header.
    for (qsizetype offset : {qsizetype(0), qsizetype(512)}) {
      if (data.size() < offset + 12) continue;
      const auto* p = reinterpret_cast<const uint8_t*>(data.constData()) + offset;
      const bool version1 = p[10] == 0x11 && p[11] == 0x01;
      const bool version2 = data.size() >= offset + 14 && p[10] == 0x00 && p[11] == 0x11 &&
                            p[12] == 0x02 && p[13] == 0xFF;
      if (!version1 && !version2) continue;
      const int width = ReadBE16(data, offset + 8) - ReadBE16(data, offset + 4);
      const int height = ReadBE16(data, offset + 6) - ReadBE16(data, offset + 2);
      if (width > 0 && height > 0) return QSizeF(width, height);
      break;
    }
  } else if (format == kImageFormatHeic) {
    // The largest image-spatial-extents property ("ispe": version, width, height).
    QSizeF largest;
    for (qsizetype at = data.indexOf("ispe"); at >= 0 && at + 16 <= data.size();
         at = data.indexOf("ispe", at + 4)) {
      const double width = ReadBE32(data, at + 8);
      const double height = ReadBE32(data, at + 12);
      if (width * height > largest.width() * largest.height()) largest = QSizeF(width, height);
    }
    if (!largest.isEmpty()) return largest;
  }
  return {};
}

double PrimaryScreenScale() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->devicePixelRatio() : 1.0;
}

bool IsMultiImageFormat(const QByteArray& qtFormat) {
  return qtFormat == "tiff" || qtFormat == "tif" || qtFormat == "ico" || qtFormat == "icns" ||
         qtFormat == "cur";
}

// The representation that draws best into a target of the given width in device pixels: the
// smallest at least that wide, else the widest.
const QImage* BestRepresentation(const QList<QImage>& reps, double deviceWidth) {
  const QImage* best = nullptr;
  const QImage* widest = nullptr;
  for (const QImage& rep : reps) {
    if (!widest || rep.width() > widest->width()) widest = &rep;
    if (rep.width() >= deviceWidth && (!best || rep.width() < best->width())) best = &rep;
  }
  return best ? best : widest;
}

QImage DrawStopProgressImage() {
  // An x in a 14-point square, drawn in black like the system's template images.
  QImage image(14, 14, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(3.5, 3.5), QPointF(10.5, 10.5));
  painter.drawLine(QPointF(10.5, 3.5), QPointF(3.5, 10.5));
  return image;
}

// A new image of the requested size with the old one drawn into it, rendered at the given
// number of pixels per point.
std::unique_ptr<FLImage> RedrawAtSize(const FLImage& image, QSizeF size, double scale) {
  if (scale < 1) scale = 1;
  const double width = std::ceil(size.width() * scale);
  const double height = std::ceil(size.height() * scale);
  if (width < 1 || height < 1 || width > kFLMaxBitmapSide || height > kFLMaxBitmapSide)
    return nullptr;
  const CodecErrnoScope codec;
  QImage canvas(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
  ThrowIfBitmapFailedForMemory(canvas);
  if (canvas.isNull()) return nullptr;
  canvas.fill(Qt::transparent);
  canvas.setDevicePixelRatio(scale);
  {
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    image.draw(painter, QRectF(QPointF(0, 0), size));
  }
  auto fresh = FLImage::withSize(size);
  fresh->addRepresentation(canvas);
  return fresh;
}

}  // namespace

FLImage::~FLImage() {
  if (focusPainter_) {
    // Destroyed while it holds this thread's focus: the lock ends with it.
    if (CurrentQuartzContext() == focusPainter_.get()) GetFLThreadStorage()[0] = 0;
    RemoveQuartzContext(focusPainter_.get());
    focusPainter_->end();
  }
}

FLImage::FLImage(const FLImage& other)
    : reps_(other.reps_),
      sourceData_(other.sourceData_),
      sourceFormat_(other.sourceFormat_),
      undecoded_(other.undecoded_),
      refusal_(other.refusal_),
      refusalCost_(other.refusalCost_),
      naturalSize_(other.naturalSize_),
      cachedSize_(other.cachedSize_) {}

FLImage& FLImage::operator=(const FLImage& other) {
  if (this != &other) {
    reps_ = other.reps_;
    sourceData_ = other.sourceData_;
    sourceFormat_ = other.sourceFormat_;
    undecoded_ = other.undecoded_;
    refusal_ = other.refusal_;
    refusalCost_ = other.refusalCost_;
    naturalSize_ = other.naturalSize_;
    cachedSize_ = other.cachedSize_;
  }
  return *this;
}

std::unique_ptr<FLImage> FLImage::decode(const QByteArray& data, const QString& extension) {
  if (data.isEmpty()) return nullptr;
  const int32_t format = ImageFormatFromData(data);
  auto image = std::make_unique<FLImage>();
  image->sourceData_ = data;
  image->sourceFormat_ = format;
  // The size a picture refused before its decoding shows as a placeholder.
  QSizeF refusedSize;
  const auto admitted = [&](const FLPicturePrice& price, QSizeF shown) {
    int64_t cost = 0;
    const FLPictureRefusal refusal = AdmitPicture(price, &cost);
    if (refusal == FLPictureRefusal::None) return true;
    image->refusal_ = refusal;
    image->refusalCost_ = cost;
    refusedSize = shown;
    return false;
  };

  // From the header to the last frame: a codec that ran out of memory reading the header fails
  // quietly again when asked for the pixels.
  const CodecErrnoScope codec;
  QBuffer buffer;
  buffer.setData(data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  QByteArray qtFormat = OpenImageReader(reader) ? reader.format() : QByteArray();
  // Formats without a signature accept almost any bytes; they are taken only when the file
  // says so by its extension.
  if ((qtFormat == "wbmp" || qtFormat == "tga") && extension.toLower().toLatin1() != qtFormat)
    qtFormat.clear();
  if (!qtFormat.isEmpty()) {
    if (format == kImageFormatPdf) {
      const QSize points = reader.size();
      double scale = kPdfRenderScale;
      if (points.width() * scale > kPdfMaxScaledSide || points.height() * scale > kPdfMaxScaledSide)
        scale = 1;
      if (points.isValid() && scale != 1) reader.setScaledSize(points * scale);
      if (admitted(PriceOfPicture(reader, data.size()), QSizeF(points))) {
        QImage page = ReadImageFrame(reader);
        if (!page.isNull()) {
          page.setDevicePixelRatio(points.isValid() && points.width() > 0
                                       ? double(page.width()) / points.width()
                                       : 1.0);
          image->reps_.append(page);
        }
      }
    } else {
      const bool many = IsMultiImageFormat(qtFormat);
      do {
        // Each frame is priced as it comes; frames after the first that do not fit are left
        // out, the image keeping those it has.
        if (!admitted(PriceOfPicture(reader, data.size()), QSizeF(reader.size()))) {
          if (!image->reps_.isEmpty()) image->refusal_ = FLPictureRefusal::None;
          break;
        }
        QImage frame = ReadImageFrame(reader);
        if (frame.isNull()) break;
        frame.setDevicePixelRatio(1);
        image->reps_.append(frame);
      } while (many && image->reps_.size() < kMaxRepresentations && reader.jumpToNextImage());
    }
  }
  // Qt has no plug-in for HEIC; libheif decodes it.
  if (image->reps_.isEmpty() && image->refusal_ == FLPictureRefusal::None && format == kImageFormatHeic) {
    const auto admitHeif = [&](int width, int height) {
      return admitted(PriceOfPixels(QSize(width, height), kHeifDecodingBitsPerPixel), QSizeF(width, height));
    };
    if (std::optional<QImage> picture = DecodeHeif(data, admitHeif)) image->reps_.append(*picture);
  }
  // A picture (or a frame of one) that could not be decoded for memory is not one that is not
  // there.
  if (codec.ranOutOfMemory()) throw std::bad_alloc();
  if (!image->reps_.isEmpty()) {
    image->naturalSize_ = image->reps_.first().deviceIndependentSize();
    return image;
  }
  // Pictures nothing here decodes (and HEIC that libheif cannot), and pictures too large to
  // decode, keep their bytes, so that saving the document writes them back unchanged; everything
  // else that fails to decode is no image.
  const bool refused = image->refusal_ != FLPictureRefusal::None;
  if (!refused && format != kImageFormatEmf && format != kImageFormatPict && format != kImageFormatHeic)
    return nullptr;
  image->undecoded_ = true;
  image->naturalSize_ = refused && !refusedSize.isEmpty() ? refusedSize : KeptPictureFrame(data, format);
  if (image->naturalSize_.isEmpty()) image->naturalSize_ = QSizeF(kPlaceholderSide, kPlaceholderSide);
  return image;
}

std::unique_ptr<FLImage> FLImage::unlessRefused(std::unique_ptr<FLImage> image) {
  if (image && image->refusal_ != FLPictureRefusal::None) return nullptr;
  return image;
}

bool FLImage::isPictureData(const QByteArray& head, const QString& extension) {
  if (head.isEmpty()) return false;
  const int32_t format = ImageFormatFromData(head);
  if (format == kImageFormatEmf || format == kImageFormatPict || format == kImageFormatHeic) return true;
  QBuffer buffer;
  buffer.setData(head);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  const QByteArray qtFormat = OpenImageReader(reader) ? reader.format() : QByteArray();
  if (qtFormat.isEmpty()) return false;
  return (qtFormat != "wbmp" && qtFormat != "tga") || extension.toLower().toLatin1() == qtFormat;
}

bool FLImage::readPictureFile(const QString& path, QByteArray* bytes) {
  if (path.isEmpty()) return false;
  FLError error;
  std::optional<QByteArray> data = ReadRegularFile(path, kMaxImageFileBytes, &error);
  // A picture whose bytes could not be held is not a missing picture.
  if (!data && error.code == ENOMEM) throw std::bad_alloc();
  if (!data) return false;
  if (bytes) *bytes = std::move(*data);
  return true;
}

std::unique_ptr<FLImage> FLImage::withContentsOfFile(const QString& path) {
  return unlessRefused(withContentsOfFile(path, static_cast<FLPictureRefusal*>(nullptr)));
}

std::unique_ptr<FLImage> FLImage::withContentsOfFile(const QString& path, FLPictureRefusal* refusal) {
  if (refusal) *refusal = FLPictureRefusal::None;
  // Every file, Illustrator's "ai" files included, is read whole and decoded from its bytes,
  // which the image keeps for pictures nothing here can decode.
  QByteArray data;
  if (!readPictureFile(path, &data)) return nullptr;
  auto image = decode(data, QFileInfo(path).suffix());
  if (image) image->size();
  if (image && refusal) *refusal = image->refusal_;
  return image;
}

std::unique_ptr<FLImage> FLImage::withContentsOfFile(const QString& path, QSizeF size) {
  return newImageWithRequestedSize(withContentsOfFile(path), size);
}

std::unique_ptr<FLImage> FLImage::withData(const QByteArray& data) {
  return unlessRefused(withData(data, static_cast<FLPictureRefusal*>(nullptr)));
}

std::unique_ptr<FLImage> FLImage::withData(const QByteArray& data, FLPictureRefusal* refusal) {
  if (refusal) *refusal = FLPictureRefusal::None;
  auto image = decode(data, QString());
  if (image) image->size();
  if (image && refusal) *refusal = image->refusal_;
  return image;
}

std::unique_ptr<FLImage> FLImage::withData(const QByteArray& data, QSizeF size) {
  return newImageWithRequestedSize(withData(data), size);
}

std::unique_ptr<FLImage> FLImage::withImage(const FLImage* image, QSizeF size) {
  if (!image) return nullptr;
  FLImageSaveRequest request;
  request.format = kImageFormatUnknown;
  request.quality = 1.0;
  if (!SaveImageCore(image, request, size.width(), size.height())) return nullptr;
  return withData(request.data);
}

std::unique_ptr<FLImage> FLImage::withCGImage(const QImage& bitmap, QSizeF size) {
  if (bitmap.isNull()) return nullptr;
  if (!(size.width() > 0)) size.setWidth(bitmap.width());
  if (!(size.height() > 0)) size.setHeight(bitmap.height());
  auto image = std::make_unique<FLImage>();
  QImage rep = bitmap;
  rep.setDevicePixelRatio(1);
  image->reps_.append(rep);
  image->naturalSize_ = rep.size();
  return newImageWithRequestedSize(std::move(image), size);
}

std::unique_ptr<FLImage> FLImage::withPasteboard(const QMimeData* mimeData) {
  return withPasteboard(mimeData, PrimaryScreenScale());
}

std::unique_ptr<FLImage> FLImage::withPasteboard(const QMimeData* mimeData, FLPictureRefusal* refusal) {
  return withPasteboard(mimeData, PrimaryScreenScale(), refusal);
}

std::unique_ptr<FLImage> FLImage::withPasteboard(const QMimeData* mimeData, double backingScale) {
  return withPasteboard(mimeData, backingScale, nullptr);
}

std::unique_ptr<FLImage> FLImage::withPasteboard(const QMimeData* mimeData, double backingScale,
                                                 FLPictureRefusal* refusal) {
  if (refusal) *refusal = FLPictureRefusal::None;
  if (!mimeData) return nullptr;
  std::unique_ptr<FLImage> image;
  static const char* const kTypes[] = {"image/png",  "image/tiff", "application/pdf",
                                       "image/jpeg", "image/gif",  "image/bmp",
                                       "image/heic", "image/emf",  "image/x-emf",
                                       "image/pict", "image/x-pict"};
  QStringList types;
  for (const char* type : kTypes) types.append(QLatin1String(type));
  // Every other picture type the clipboard offers is decoded here too, priced as these are,
  // rather than left to Qt's own decoding of the clipboard's image.
  for (const QString& type : mimeData->formats())
    if (type.startsWith(QLatin1String("image/")) && !types.contains(type)) types.append(type);
  FLPictureRefusal refused = FLPictureRefusal::None;
  for (const QString& type : std::as_const(types)) {
    if (!mimeData->hasFormat(type)) continue;
    image = decode(mimeData->data(type), QString());
    if (image && image->refusal_ != FLPictureRefusal::None) {
      // The same picture in another type is no smaller: the paste stops with the reason.
      refused = image->refusal_;
      image.reset();
      break;
    }
    if (image) break;
  }
  if (refused != FLPictureRefusal::None) {
    if (refusal) *refusal = refused;
    return nullptr;
  }
  if (!image && mimeData->hasImage()) {
    const QImage bitmap = qvariant_cast<QImage>(mimeData->imageData());
    if (!bitmap.isNull()) image = withCGImage(bitmap, QSizeF());
  }
  if (!image && mimeData->hasUrls()) {
    for (const QUrl& url : mimeData->urls()) {
      if (!url.isLocalFile()) continue;
      FLPictureRefusal fileRefusal = FLPictureRefusal::None;
      image = unlessRefused(withContentsOfFile(url.toLocalFile(), &fileRefusal));
      if (fileRefusal != FLPictureRefusal::None) {
        if (refusal) *refusal = fileRefusal;
        return nullptr;
      }
      if (image) break;
    }
  }
  if (!image) return nullptr;
  QSizeF size = image->size();
  if (backingScale > 1.0) {
    size /= backingScale;
    image->cachedSize_ = size;
    if (image->sizeFromReps() != size && !image->reps_.isEmpty() && !image->undecoded_) {
      // Redrawn at the screen's scale, so the pixels stay and only the size in points halves.
      if (auto fresh = RedrawAtSize(*image, size, backingScale)) image = std::move(fresh);
    }
  }
  return image;
}

std::unique_ptr<FLImage> FLImage::withSize(QSizeF size) {
  auto image = std::make_unique<FLImage>();
  image->cachedSize_ = size;
  image->naturalSize_ = size;
  return image;
}

std::unique_ptr<FLImage> FLImage::newImageWithRequestedSize(std::unique_ptr<FLImage> image,
                                                            QSizeF size) {
  // Zero (or the invalid QSizeF()) on either side keeps the image as it is.
  if (!image || !(size.width() > 0) || !(size.height() > 0)) return image;
  image->cachedSize_ = size;
  if (image->sizeFromReps() == size) return image;
  // A kept picture has no pixels to redraw, and an empty image nothing to draw: both only
  // take the size.
  if (image->undecoded_ || image->reps_.isEmpty()) return image;
  auto fresh = RedrawAtSize(*image, size, PrimaryScreenScale());
  return fresh ? std::move(fresh) : std::move(image);
}

QStringList FLImage::fileExtensions() {
  QStringList extensions;
  QList<QByteArray> formats;
  {
    const FLImageHandlerLookup lookup;
    formats = QImageReader::supportedImageFormats();
  }
  for (const QByteArray& format : std::as_const(formats))
    extensions.append(QString::fromLatin1(format).toLower());
  if (CanDecodeHeif()) extensions << QStringLiteral("heic") << QStringLiteral("heif");
  extensions.removeDuplicates();
  return extensions;
}

void FLImage::setNamedImageFolders(const QStringList& folders) { NamedImageFolders() = folders; }

std::unique_ptr<FLImage> FLImage::imageNamed(const QString& name) {
  if (name.isEmpty()) return nullptr;
  if (name == QLatin1String(kFLStopProgressTemplateImageName)) {
    static const QImage stop = DrawStopProgressImage();
    return withCGImage(stop, QSizeF());
  }
  static const char* const kExtensions[] = {"png", "pdf", "tiff", "tif", "jpg",
                                            "jpeg", "gif", "bmp", "icns"};
  const bool hasExtension = fileExtensions().contains(QFileInfo(name).suffix().toLower());
  for (const QString& folder : NamedImageFolders()) {
    const QDir dir(folder);
    QStringList candidates;
    if (hasExtension) candidates.append(dir.filePath(name));
    for (const char* extension : kExtensions)
      candidates.append(dir.filePath(name + QLatin1Char('.') + QLatin1String(extension)));
    for (const QString& candidate : candidates) {
      if (!QFileInfo(candidate).isFile()) continue;
      return withContentsOfFile(candidate);
    }
  }
  return nullptr;
}

QSizeF FLImage::size() const {
  if (cachedSize_.width() != 0 && cachedSize_.height() != 0) return cachedSize_;
  const QSizeF fromReps = sizeFromReps();
  if (fromReps.width() != 0 && fromReps.height() != 0) {
    cachedSize_ = fromReps;
    return cachedSize_;
  }
  cachedSize_ = naturalSize_;
  return cachedSize_;
}

QSizeF FLImage::sizeFromReps() const { return ImageSizeFromReps(this); }

void FLImage::addRepresentation(const QImage& bitmap) {
  if (!bitmap.isNull()) reps_.append(bitmap);
}

QImage FLImage::bitmap() const {
  const QImage* narrowest = nullptr;
  for (const QImage& rep : reps_)
    if (!narrowest || rep.width() < narrowest->width()) narrowest = &rep;
  return narrowest ? *narrowest : QImage();
}

bool FLImage::isNull() const { return reps_.isEmpty() && !undecoded_; }

void FLImage::draw(QPainter& painter, const QRectF& rect, const QRectF& fromRect,
                   QPainter::CompositionMode mode, double fraction) const {
  if (rect.isEmpty()) return;
  painter.save();
  painter.setCompositionMode(mode);
  painter.setOpacity(painter.opacity() * fraction);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  // Qt draws the first row of a bitmap at the rectangle's smaller y, which is the top only
  // while y runs down; in a context turned over (FlipContext) the image is mirrored back.
  if (painter.worldTransform().m22() < 0) {
    painter.translate(0, rect.top() + rect.bottom());
    painter.scale(1, -1);
  }
  const double deviceWidth = rect.width() * std::abs(painter.deviceTransform().m11());
  if (const QImage* rep = BestRepresentation(reps_, deviceWidth)) {
    QRectF source(QPointF(0, 0), QSizeF(rep->size()));
    const QSizeF points = size();
    if (!fromRect.isEmpty() && points.width() > 0 && points.height() > 0) {
      const double sx = rep->width() / points.width();
      const double sy = rep->height() / points.height();
      source = QRectF(fromRect.x() * sx, fromRect.y() * sy, fromRect.width() * sx,
                      fromRect.height() * sy);
    }
    painter.drawImage(rect, *rep, source);
  } else if (undecoded_) {
    drawPlaceholder(painter, rect);
  }
  painter.restore();
}

void FLImage::drawPlaceholder(QPainter& painter, const QRectF& rect) const {
  painter.fillRect(rect, QColor(240, 240, 240));
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(160, 160, 160), 1));
  const QRectF edge = rect.adjusted(0.5, 0.5, -0.5, -0.5);
  painter.drawRect(edge);
  painter.drawLine(edge.topLeft(), edge.bottomRight());
  painter.drawLine(edge.topRight(), edge.bottomLeft());
}

QPainter* FLImage::lockFocus() {
  if (focusPainter_) unlockFocus();
  const QSizeF points = size();
  const double width = std::ceil(points.width());
  const double height = std::ceil(points.height());
  if (width < 1 || height < 1 || width > kFLMaxBitmapSide || height > kFLMaxBitmapSide)
    return nullptr;
  auto canvas = std::make_unique<QImage>(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
  if (canvas->isNull()) return nullptr;
  canvas->fill(Qt::transparent);
  canvas_ = std::move(canvas);
  focusPainter_ = std::make_unique<QPainter>(canvas_.get());
  draw(*focusPainter_, QRectF(QPointF(0, 0), points));
  return focusPainter_.get();
}

void FLImage::unlockFocus() {
  if (!focusPainter_) return;
  RemoveQuartzContext(focusPainter_.get());
  focusPainter_->end();
  focusPainter_.reset();
  reps_ = {*canvas_};
  canvas_.reset();
  naturalSize_ = reps_.first().size();
  // A decoded image now shows what was drawn, which its old bytes no longer describe; a kept
  // picture's bytes are still all there is of the picture itself.
  if (!undecoded_) {
    sourceData_.clear();
    sourceFormat_ = kImageFormatUnknown;
  }
}
