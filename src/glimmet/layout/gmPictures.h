// The picture side of an engine document: loading an image file for a picture, keeping images in
// the document's picture list, and inserting a picture knot at the selection.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>
#include <memory>

class FLImage;

// Knot data of new pictures: sitting on the baseline, fitted to the text, opaque.
inline constexpr uint32_t kPictureOnBaseline = 3;
inline constexpr uint32_t kPictureFitScale = 16383;

// The image of a file, or nullptr after logging "Failed to load image %@ at "%@"" with the name
// and path. Images other than PDF are rendered once so that they are ready to draw.
std::unique_ptr<FLImage> CreateImageFromFile(const QString& path, const QString& name);
// Appends the image to the document's picture list with a new identifier; its index, or all
// ones when the list cannot grow.
uint32_t StorePicture(GlimmetDoc* doc, std::shared_ptr<FLImage> image);
// Stores the image and inserts a picture knot for it at the current pane's selection.
bool InsertPicture(GlimmetDoc* doc, std::shared_ptr<FLImage> image, bool flag);
// Inserts a picture knot for a stored picture over the current pane's selection; a selected
// picture that it replaces passes on its placement, size and opacity. Refused for table cells.
bool InsertPictureWithIndex(GlimmetDoc* doc, uint32_t pictureIndex, bool flag);
