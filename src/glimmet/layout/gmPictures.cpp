#include "glimmet/layout/gmPictures.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flImageSupport.h"
#include "glimmet/layout/gmSelection.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmKnots.h"

#include <QFileInfo>
#include <QUuid>

#include <new>

std::unique_ptr<FLImage> CreateImageFromFile(const QString& path, const QString& name) {
  std::unique_ptr<FLImage> image;
  if (!path.isNull()) image = FLImage::withContentsOfFile(path);
  if (!image || image->size().isEmpty()) {
    LogString("Failed to load image %@ at \"%@\"", name, path.isNull() ? QStringLiteral("(null)") : path);
    return nullptr;
  }
  if (QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) != 0) {
    if (LockImageFocus(image.get())) UnlockImageFocus(image.get());
  }
  return image;
}

uint32_t StorePicture(GlimmetDoc* doc, std::shared_ptr<FLImage> image) {
  if (!doc) return kGMNone;
  try {
    GMPicture picture;
    picture.image = std::move(image);
    picture.identifier = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    doc->pictures.push_back(std::move(picture));
  } catch (const std::bad_alloc& exception) {
    LogException(exception, QStringLiteral("StorePicture"));
    return kGMNone;
  }
  return uint32_t(doc->pictures.size() - 1);
}

bool InsertPicture(GlimmetDoc* doc, std::shared_ptr<FLImage> image, bool flag) {
  if (!doc || !image) return false;
  const uint32_t index = StorePicture(doc, std::move(image));
  if (index == kGMNone) return false;
  return InsertPictureWithIndex(doc, index, flag);
}

bool InsertPictureWithIndex(GlimmetDoc* doc, uint32_t pictureIndex, bool) {
  if (!doc) return false;
  Pane* pane = CurrentPane(doc);
  if (!pane || pane->selectionUnit == 1) return false;
  PropRecord chars;
  chars.kind = kPropChar;
  FetchCharPropsFromSelection(doc, chars.body);
  uint32_t vertical = kPictureOnBaseline;
  uint16_t scale = kPictureFitScale, opacity = 0;
  const uint32_t first = uint32_t(std::max(pane->selFirst, 0));
  const uint32_t limit = uint32_t(std::max(pane->selLimit, pane->selFirst));
  KnotInfo old;
  if (limit == first + 1 && FetchKnot(doc, first, &old, 0) && old.type() == kKnotPicture && old.first == first) {
    vertical = old.entry.alignment();
    scale = old.entry.scale();
    opacity = old.entry.opacity();
  }
  KinkData data;
  data.word = pictureIndex;
  data.value = KnotEntry::PictureValue(vertical, scale, opacity);
  DocRange range{doc, first, limit};
  if (!InsertKnotCore(&range, kKnotPicture, 0, 0, nullptr, 1, &data, false)) return false;
  ApplyPropsToRange(range, chars);
  // A caret after the picture, redrawn and announced as any selection is.
  SelectCpsCore(doc, range.limit, range.limit, false, false);
  return true;
}
