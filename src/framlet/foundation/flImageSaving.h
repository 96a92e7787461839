// Encoding images as PNG, JPEG, TIFF, PDF, BMP (and HEIC where a codec exists) into memory or a
// file at a requested size, with the format chosen from the request or from the image and the
// file name; and the Quick Look preview and thumbnail of a document package.
#pragma once

#include "framlet/foundation/FLImage.h"
#include "platform/FLError.h"

#include <QByteArray>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstdint>

// What the caller asks for and what the save hands back.
struct FLImageSaveRequest {
  QString path;      // the file to write; empty encodes into data. Changed by extension/unique name
  QByteArray data;   // out: the encoded bytes when there is no path
  int32_t format = 0;  // image format code; 0 chooses from the image and the path
  QString typeIdentifier;  // filled: "public.heic", "public.jpeg", "com.adobe.pdf", ...
  QString extension;       // filled: "heic", "jpg", "pdf", "png", "tiff", "bmp", "emf", "gif", "pict"
  QRectF rect;             // filled: origin (0, 0) and the size written
  double quality = 1.0;    // compression quality 0.0 to 1.0
  bool uniqueName = false; // write under a free name rather than replace an existing file
  bool writeFailed = false;  // out: the file could not be written (not an encoding failure)
  // Encoder settings made by SetImageFileInfo: a lossy quality 0..1 (negative when none) and
  // the TIFF compression (0 none, 1 LZW).
  double lossyQuality = -1;
  int tiffCompression = 0;
};

// Encodes the image at width x height (0 for the image's own side) as the request says. The
// format, extension and path are settled first; the file is written under a temporary name in
// its folder and renamed over the target only when complete, so a failed save never loses the
// file it would have replaced. True when the data was made, or the file written and present.
// A picture that could not be encoded for want of memory throws std::bad_alloc (as do SaveImage
// and TiffFromImage): what it was written for fails for memory, never goes on without it.
bool SaveImageCore(const FLImage* image, FLImageSaveRequest& request, double width, double height);

// Fills the request's extension, type and encoder settings from its (settled) format, and with
// a path, gives the path that extension and, for a unique-name request, a free name.
void SetImageFileInfo(FLImageSaveRequest& request);

// Saves the image at path in a format (0: chosen), at a size (zero: the image's own), with a
// compression quality; answers the path written (after a change of extension or name), or an
// empty string with an error -50: "The image cannot be saved to \"%@\"." when writing failed,
// else "The image cannot be saved to the requested format.". A null image gives an empty string
// and no error. Callers that pass "a path without extension" get the format's extension added;
// the last argument is the quality some callers call the scale.
QString SaveImage(const FLImage* image, const QString& path, int32_t format, FLError* error,
                  QSizeF size = QSizeF(0, 0), double quality = 1.0);

// The image's first bitmap as TIFF bytes, or empty (no bitmap, an undecoded picture).
QByteArray TiffFromImage(const FLImage* image);

// The zero size (meaning the image's own) when both sides are within limit, otherwise the size
// scaled down to fit a limit x limit square (zero again when a side comes out 0).
QSizeF LimitImageSizeForSave(QSizeF size, double limit);

// Writes "QuickLook/Preview.jpg" (at most 1024 points a side) and "QuickLook/Thumbnail.jpg"
// (at most 512) into a document package as JPEG at quality 0.75, replacing existing files.
// Failures are ignored: a missing preview is no failure of the save.
void SaveQuicklookImage(const FLImage* image, const QString& packageFolder);

inline constexpr const char* kFLQuickLookFolderName = "QuickLook";
inline constexpr const char* kFLQuickLookPreviewName = "Preview.jpg";
inline constexpr const char* kFLQuickLookThumbnailName = "Thumbnail.jpg";
