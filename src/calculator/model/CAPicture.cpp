#include "calculator/model/CAPicture.h"

#include "calculator/model/CADocument.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flBase64.h"
#include "framlet/foundation/flImageSaving.h"
#include "framlet/foundation/flImageSupport.h"
#include "framlet/foundation/flStringExtensions.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <iterator>

namespace {

constexpr const char* kFormatExtensions[] = {"tiff", "heic", "jpg", "pdf", "png",
                                             "tiff", "bmp",  "emf", "gif", "pict"};
constexpr const char* kSvgExtension = "svg";
constexpr const char* kPdfExtension = "pdf";

}  // namespace

QString PicturePastDecodeLimitReason() {
  const int64_t megabytes = (PictureDecodeLimit() + 999'999) / 1'000'000;
  return QString::fromLatin1(kPicturePastDecodeLimitReason).arg(megabytes);
}

QString CAPicture::extensionForFormat(int32_t imageFormat) {
  if (imageFormat < 0 || size_t(imageFormat) >= std::size(kFormatExtensions))
    imageFormat = kImageFormatUnknown;
  return QLatin1String(kFormatExtensions[imageFormat]);
}

std::shared_ptr<CAPicture> CAPicture::finish(const QString& path, std::shared_ptr<FLImage> image,
                                             const QString& guid, CADocument* document) {
  auto picture = std::make_shared<CAPicture>();
  picture->document_ = document;
  picture->guid_ = guid;
  picture->image_ = std::move(image);
  // Into the document's table once it is whole: a conversion below that fails for memory leaves
  // no picture there that no cell holds.
  const auto kept = [&] {
    if (document) document->mutablePictures().insert(guid, picture);
    return picture;
  };
  if (path.isEmpty()) return kept();

  const QString extension = QFileInfo(path).suffix();
  if (extension.compare(QLatin1String(kSvgExtension), Qt::CaseInsensitive) == 0) {
    // Vector pictures are kept as PDF, which every writer of the package understands.
    const QString pdfPath =
        QDir(QDir::tempPath()).filePath(guidString() + QLatin1Char('.') + QLatin1String(kPdfExtension));
    FLError error;
    const QString written = SaveImage(picture->image_.get(), pdfPath, kImageFormatPdf, &error);
    std::unique_ptr<FLImage> pdf = written.isEmpty() ? nullptr : FLImage::withContentsOfFile(written);
    if (!written.isEmpty()) QFile::remove(written);
    if (pdf) {
      picture->image_ = std::move(pdf);
      picture->imageFormat_ = kImageFormatPdf;
      return kept();
    }
    LogString("Can't save SVG \"%@\" as PDF", QFileInfo(path).fileName());
  }
  picture->imageFormat_ = ImageFormatFromExtension(extension);
  return kept();
}

std::shared_ptr<CAPicture> CAPicture::withFile(const QString& path, const QString& guid,
                                               CADocument* document) {
  std::shared_ptr<FLImage> image = FLImage::withContentsOfFile(path);
  if (!image) return nullptr;
  return finish(path, std::move(image), guid, document);
}

std::shared_ptr<CAPicture> CAPicture::withFile(const QString& path, const QString& guid, CADocument* document,
                                               FLPictureRefusal* refusal) {
  std::shared_ptr<FLImage> image = FLImage::withContentsOfFile(path, refusal);
  if (!image) return nullptr;
  // A picture kept as its bytes is no SVG made into PDF: its file is kept as it is.
  if (image->refusal() != FLPictureRefusal::None) {
    std::shared_ptr<CAPicture> picture = finish(QString(), std::move(image), guid, document);
    picture->imageFormat_ = ImageFormatFromExtension(QFileInfo(path).suffix());
    return picture;
  }
  return finish(path, std::move(image), guid, document);
}

std::shared_ptr<CAPicture> CAPicture::withFile(const QString& path, CADocument* document) {
  return withFile(path, guidString(), document);
}

std::shared_ptr<CAPicture> CAPicture::withImage(std::shared_ptr<FLImage> image, CADocument* document) {
  return finish(QString(), std::move(image), guidString(), document);
}

std::shared_ptr<CAPicture> CAPicture::withArchive(const QString& base64, const QString& guid,
                                                  int32_t imageFormat, CADocument* document) {
  const std::optional<QByteArray> data = NewDataFromBase64String(base64);
  if (!data) return nullptr;
  FLPictureRefusal refusal = FLPictureRefusal::None;
  std::shared_ptr<FLImage> image = FLImage::withData(*data, &refusal);
  if (!image) return nullptr;
  std::shared_ptr<CAPicture> picture = finish(QString(), std::move(image), guid, document);
  picture->imageFormat_ = imageFormat;
  return picture;
}

std::shared_ptr<CAPicture> CAPicture::copyForDocument(CADocument* document) const {
  std::shared_ptr<CAPicture> picture = finish(QString(), image_, guid_, document);
  picture->imageFormat_ = imageFormat_;
  return picture;
}

QString CAPicture::packageFile() const {
  if (!document_ || document_->filePath().isEmpty()) return QString();
  const QString file = QDir(document_->filePath())
                           .filePath(QLatin1String(kImagesFolderName) + QLatin1Char('/') + guid_ +
                                     QLatin1Char('.') + extensionForFormat(imageFormat_));
  return QFileInfo::exists(file) ? file : QString();
}

QString CAPicture::archive(int32_t* imageFormat) const {
  const QString file = packageFile();
  if (!file.isEmpty()) {
    QByteArray bytes;
    if (FLImage::readPictureFile(file, &bytes)) {
      if (imageFormat) *imageFormat = imageFormat_;
      return NewBase64StringFromBytes(bytes);
    }
  }
  // A picture kept as its bytes has no bitmap to make a TIFF of: its bytes are the picture.
  if (image_ && image_->isUndecoded() && !image_->sourceData().isEmpty()) {
    if (imageFormat) *imageFormat = image_->sourceFormat();
    return NewBase64StringFromBytes(image_->sourceData());
  }
  const QByteArray tiff = TiffFromImage(image_.get());
  if (imageFormat) *imageFormat = kImageFormatTiff;
  if (tiff.isEmpty()) return QString();
  return NewBase64StringFromBytes(tiff);
}

bool CAPicture::saveToFolder(const QString& folder, FLError* error) const {
  const QString target =
      QDir(folder).filePath(saveGuid_ + QLatin1Char('.') + extensionForFormat(imageFormat_));
  if (imageFormat_ != kImageFormatUnknown) {
    const QString file = packageFile();
    if (!file.isEmpty()) {
      QFile::remove(target);
      if (QFile::copy(file, target)) return true;
      SetError(error, -36, QStringLiteral("The picture file could not be copied."));
      return false;
    }
  }
  const QString written = SaveImage(image_.get(), target, imageFormat_, error);
  return !written.isEmpty() && written.startsWith(folder);
}
