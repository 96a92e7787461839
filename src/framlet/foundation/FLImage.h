// The framework's image: one or more bitmaps that remember the size the image is shown at,
// read from files, data and the clipboard at a requested size. A picture in a format nothing
// here decodes (EMF, PICT) keeps its bytes, reports its own frame and draws as a placeholder.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include "framlet/foundation/flPicturePrice.h"

#include <cstdint>
#include <memory>

class QMimeData;

class FLImage {
 public:
  // An empty image of size 0; withSize gives one of a size.
  FLImage() = default;
  ~FLImage();
  // Copies the representations, the kept bytes and the cached size (not a locked focus).
  FLImage(const FLImage& other);
  FLImage& operator=(const FLImage& other);

  // Factories answer nullptr where the original initialisers answer nil: for bytes that are no
  // picture, or a file that cannot be read. A picture that could not be read or decoded for want
  // of memory is none of those: they throw std::bad_alloc, and the command fails for memory.
  // A file's contents; a path with the extension "ai" is decoded from the data like any other.
  static std::unique_ptr<FLImage> withContentsOfFile(const QString& path);
  static std::unique_ptr<FLImage> withContentsOfFile(const QString& path, QSizeF size);
  // The bytes of a picture file a document names: read only from a regular file (never a device,
  // a FIFO or a folder, which could block or never end) of at most the size a picture may have.
  // False, with nothing read, for anything else; std::bad_alloc when its bytes cannot be held.
  static bool readPictureFile(const QString& path, QByteArray* bytes);
  static std::unique_ptr<FLImage> withData(const QByteArray& data);
  static std::unique_ptr<FLImage> withData(const QByteArray& data, QSizeF size);
  // Every picture is priced by its pixels before it is decoded (AdmitPicture): one refused comes
  // back as nullptr from the factories above. Where such a picture is still wanted (a document's
  // own, which must save as it was read), these give it kept as its bytes, drawn as a placeholder
  // at the size its header gives, with `refusal` set to why; FLPictureRefusal::None when decoded.
  static std::unique_ptr<FLImage> withData(const QByteArray& data, FLPictureRefusal* refusal);
  static std::unique_ptr<FLImage> withContentsOfFile(const QString& path, FLPictureRefusal* refusal);
  // Whether the first bytes of a file (at least its first few kilobytes) begin a picture that the
  // decoding here takes, by their signature; `extension` as in withContentsOfFile.
  static bool isPictureData(const QByteArray& head, const QString& extension);
  // A copy made by encoding the image (format chosen automatically, quality 1.0) at the size
  // and decoding the bytes; nullptr when the image is null or cannot be encoded.
  static std::unique_ptr<FLImage> withImage(const FLImage* image, QSizeF size = QSizeF(0, 0));
  // A bitmap at a size; a zero width or height is the bitmap's own.
  static std::unique_ptr<FLImage> withCGImage(const QImage& bitmap, QSizeF size);
  // The clipboard's image (image bytes by MIME type, Qt's image data, or an image file's URL).
  // On a screen whose backing scale factor exceeds 1 the image is redrawn at its size divided
  // by that factor; the first form asks the primary screen.
  static std::unique_ptr<FLImage> withPasteboard(const QMimeData* mimeData);
  static std::unique_ptr<FLImage> withPasteboard(const QMimeData* mimeData, double backingScale);
  // The same, telling why a picture the clipboard holds was refused (nullptr is then answered).
  static std::unique_ptr<FLImage> withPasteboard(const QMimeData* mimeData, FLPictureRefusal* refusal);
  static std::unique_ptr<FLImage> withPasteboard(const QMimeData* mimeData, double backingScale,
                                                 FLPictureRefusal* refusal);
  static std::unique_ptr<FLImage> withSize(QSizeF size);

  // The image at a requested size: a zero side returns image unchanged; otherwise the cached
  // size becomes the request and, unless the representations already have that size, a new
  // image of that size with the old one drawn into it replaces it. Takes and returns ownership.
  static std::unique_ptr<FLImage> newImageWithRequestedSize(std::unique_ptr<FLImage> image,
                                                            QSizeF size);

  // The file extensions the image class reads, lower case.
  static QStringList fileExtensions();
  // A named image of the application (searched in the named-image folders, ":/images" unless
  // set otherwise) or one of the system's names below; nullptr when there is none.
  static std::unique_ptr<FLImage> imageNamed(const QString& name);
  static void setNamedImageFolders(const QStringList& folders);

  // The cached size when both sides are known; else the representations' size, else the
  // image's own (natural) size, each stored in the cache when found.
  QSizeF size() const;
  QSizeF sizeFromReps() const;
  QSizeF cachedSize() const { return cachedSize_; }
  void setCachedSize(QSizeF size) { cachedSize_ = size; }

  // The decoded bitmaps in the order they were added. ImageSizeFromReps reads them.
  const QList<QImage>& representations() const { return reps_; }
  void addRepresentation(const QImage& bitmap);
  // The bitmap that stands for the image when one is needed (the narrowest representation),
  // or a null QImage.
  QImage bitmap() const;
  bool isNull() const;

  // The bytes the image was read from, kept as long as they describe it, and their format code.
  // They are all there is of a picture nothing here decodes (isUndecoded): save or archive
  // those bytes rather than a bitmap.
  const QByteArray& sourceData() const { return sourceData_; }
  int32_t sourceFormat() const { return sourceFormat_; }
  bool isUndecoded() const { return undecoded_; }
  // Why a picture that could be decoded was kept as its bytes instead; None for every other.
  FLPictureRefusal refusal() const { return refusal_; }
  // What the reading would have taken with it decoded (AdmitPicture's cost), for a refusal to name.
  int64_t refusalCost() const { return refusalCost_; }

  // Draws the whole image (or the part fromRect of it, in points) into rect, always upright,
  // whichever way the painter's y axis runs.
  void draw(QPainter& painter, const QRectF& rect, const QRectF& fromRect = QRectF(),
            QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver,
            double fraction = 1.0) const;
  // Source-over at full opacity into rect, upright: into the given painter or the current one.
  void drawInRectNormally(QPainter& painter, const QRectF& rect) const;
  void drawInRectNormally(const QRectF& rect) const;

  // Drawing into the image (LockImageFocus and UnlockImageFocus pair these up): a painter on a
  // bitmap of the image's size that starts with the image's picture; unlocking makes that bitmap
  // the image's only representation. nullptr when the image has no size or the bitmap cannot be
  // had.
  QPainter* lockFocus();
  void unlockFocus();
  QPainter* focusPainter() const { return focusPainter_.get(); }

 private:
  static std::unique_ptr<FLImage> decode(const QByteArray& data, const QString& extension);
  // nullptr for an image whose picture was refused, as the plain factories answer.
  static std::unique_ptr<FLImage> unlessRefused(std::unique_ptr<FLImage> image);
  void drawPlaceholder(QPainter& painter, const QRectF& rect) const;

  QList<QImage> reps_;
  QByteArray sourceData_;
  int32_t sourceFormat_ = 0;
  bool undecoded_ = false;
  FLPictureRefusal refusal_ = FLPictureRefusal::None;
  int64_t refusalCost_ = 0;
  // What the platform image would report as its size: the decoder's, a metafile's frame, or the
  // size it was made with.
  QSizeF naturalSize_{0, 0};
  mutable QSizeF cachedSize_{0, 0};
  std::unique_ptr<QImage> canvas_;
  std::unique_ptr<QPainter> focusPainter_;
};

// The system's image that stands in for a missing one.
inline constexpr const char* kFLStopProgressTemplateImageName = "NSImageNameStopProgressTemplate";
