// Image support: image format codes and their extensions, off-screen contexts for an image,
// locking the drawing focus on an image with a per-thread guard, the size of an image from
// its representations, lists of named images and the image of a dragged item.
#pragma once

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flDrawing.h"

#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// Image format codes, as pictures and the formats store them. Codes 6 to 9 come from documents
// and the clipboard; the savers write 6 themselves and keep the bytes of 7, 8 and 9.
enum : int32_t {
  kImageFormatUnknown = 0,
  kImageFormatHeic = 1,
  kImageFormatJpeg = 2,
  kImageFormatPdf = 3,
  kImageFormatPng = 4,
  kImageFormatTiff = 5,
  kImageFormatBmp = 6,
  kImageFormatEmf = 7,
  kImageFormatGif = 8,
  kImageFormatPict = 9,
};

// Case-insensitively "jpg"/"jpeg" 2, "png" 4, "pdf" 3, "tiff"/"tif" 5, "heic" 1, "bmp" 6,
// "emf" 7, "gif" 8, "pict" 9; anything else (or an empty extension) 0.
int32_t ImageFormatFromExtension(const QString& extension);
// The file extension of a format code: "heic", "jpg", "pdf", "png", "tiff", "bmp", "emf",
// "gif", "pict" for 1 to 9, and "tiff" for 0 or any other code.
QString ExtensionForImageFormat(int32_t format);
// The format of image bytes judged by their signature (0 when none is recognised).
int32_t ImageFormatFromData(const QByteArray& data);

// A bitmap of the image's size (whole pixels) to draw the image into, or nullptr for a null
// image or one without size.
std::unique_ptr<FLBitmapContext> GraphicsContextForImage(const FLImage* image);

// Makes the image the current drawing context of this thread (see CurrentQuartzContext) and
// answers true, or logs "Image lock failed" and answers false. A second lock before the unlock
// logs "UnlockFocus not called after last LockImageFocus" and still locks the second image.
bool LockImageFocus(FLImage* image);
// Ends the lock of this thread; without one it does nothing.
void UnlockImageFocus(FLImage* image);
// A copy of the image with its focus locked (the caller unlocks and owns it), or nullptr.
std::unique_ptr<FLImage> LockImageFocusCopy(const FLImage* image);

// The size of the narrowest representation (the first of equal widths): its pixel size, or its
// size in points when it was rendered at a device pixel ratio other than 1 (a page of a PDF).
// Zero when there is none. The text conversion asks for "the size in pixels of the largest
// representation": an image read from a file or the clipboard has one bitmap, for which both
// wordings give the same size, so one function serves both; with several, the narrowest wins,
// as the size of an image has always been worked out.
QSizeF ImageSizeFromReps(const FLImage* image);

// The images of the names, in order; a missing one logs the assertion "Missing image n"
// (n its place) and the system's stop-progress image takes its place.
std::vector<std::shared_ptr<FLImage>> ImagesFromNames(const QStringList& names);

// The dragging image of an item: one component under the key "icon" with the captured image
// as its contents and the captured rectangle as its frame.
inline constexpr const char* kFLDraggingImageComponentIconKey = "icon";
struct FLDraggingImageComponent {
  QString key;
  std::shared_ptr<const FLImage> contents;
  QRectF frame;
};
QList<FLDraggingImageComponent> DraggingImageComponents(std::shared_ptr<const FLImage> image,
                                                        const QRectF& frame);
