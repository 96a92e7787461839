// The picture of an image cell: an image with a stable name (its guid) under which the
// document keeps it and the native package stores its file in "Images". Pictures are shared by
// the cells of one document that show them.
#pragma once

#include "framlet/foundation/FLImage.h"

#include <QString>

#include <cstdint>
#include <memory>

class CADocument;
struct FLError;

class CAPicture {
 public:
  // Each factory enters the picture in the document's pictures under its guid (replacing an
  // earlier entry) and returns it; nullptr when the image cannot be read or decoded.
  static std::shared_ptr<CAPicture> withFile(const QString& path, const QString& guid,
                                             CADocument* document);
  static std::shared_ptr<CAPicture> withFile(const QString& path, CADocument* document);
  // A picture of the document's own (a package's file): one too large to decode now is kept as its
  // bytes and shown as a placeholder, `refusal` telling why, so that it saves as it was read.
  static std::shared_ptr<CAPicture> withFile(const QString& path, const QString& guid, CADocument* document,
                                             FLPictureRefusal* refusal);
  static std::shared_ptr<CAPicture> withImage(std::shared_ptr<FLImage> image, CADocument* document);
  // An archived picture too large to decode now is kept as its bytes, as a package's is.
  static std::shared_ptr<CAPicture> withArchive(const QString& base64, const QString& guid,
                                                int32_t imageFormat, CADocument* document);
  // The same image, format and guid, entered in another document's pictures under the guid.
  std::shared_ptr<CAPicture> copyForDocument(CADocument* document) const;

  // Base64 of the picture's file in the document's package when there is one (with its
  // format), else of the image's TIFF data (format 5); null when neither is available.
  QString archive(int32_t* imageFormat) const;
  // Writes the picture as saveGuid plus its format's extension into the folder: the package's
  // own file copied when there is one, else the image saved in the picture's format.
  bool saveToFolder(const QString& folder, FLError* error) const;

  // "heic", "jpg", "pdf", "png", "tiff", "bmp", "emf", "gif", "pict" for 1-9; "tiff" otherwise.
  static QString extensionForFormat(int32_t imageFormat);

  CADocument* document() const { return document_; }
  void setDocument(CADocument* document) { document_ = document; }
  const std::shared_ptr<FLImage>& image() const { return image_; }
  void setImage(std::shared_ptr<FLImage> image) { image_ = std::move(image); }
  const QString& guid() const { return guid_; }
  void setGuid(const QString& guid) { guid_ = guid; }
  const QString& saveGuid() const { return saveGuid_; }
  void setSaveGuid(const QString& guid) { saveGuid_ = guid; }
  int32_t imageFormat() const { return imageFormat_; }
  void setImageFormat(int32_t format) { imageFormat_ = format; }
  bool saved() const { return saved_; }
  void setSaved(bool saved) { saved_ = saved; }

 private:
  static std::shared_ptr<CAPicture> finish(const QString& path, std::shared_ptr<FLImage> image,
                                           const QString& guid, CADocument* document);
  // The picture's file in the document's package, or null.
  QString packageFile() const;

  CADocument* document_ = nullptr;
  std::shared_ptr<FLImage> image_;
  QString guid_;
  QString saveGuid_;
  int32_t imageFormat_ = 0;
  bool saved_ = false;
};

// What an alert says of a picture refused for having more pixels than any picture may have
// decoded (FLPictureRefusal::PastDecodeLimit), the limit in megabytes.
inline constexpr const char* kPicturePastDecodeLimitReason = "It is larger than a picture may be when decoded (%1 MB).";
QString PicturePastDecodeLimitReason();

// The package folder that holds the pictures' files.
inline constexpr const char* kImagesFolderName = "Images";
