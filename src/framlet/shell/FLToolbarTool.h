// One tool shown by the toolbar: its descriptor, what it draws (an image or a view) and where the
// last layout put it. Records are plain values; the toolbar keeps them in display order.
#pragma once

#include "framlet/shell/FLToolbarItem.h"

#include <QImage>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <cstdint>

enum FLToolType : int32_t {
  kFLToolNone = 0,
  kFLToolFlexibleSpace = 1,
  kFLToolIcon = 2,
  kFLToolSpace = 3,
  kFLToolView = 4,
};

struct FLToolbarTool {
  const FLToolbarItem* item = nullptr;
  QImage image;                // icon tools and spaces
  QImage alternateImage;       // loaded when first asked for
  QImage customizingImage;     // a view tool's picture while the toolbar is customised
  QPointer<QWidget> view;      // view tools; owned by the toolbar
  QRectF rect;                 // image or view frame in toolbar coordinates
  double labelWidth = 0;       // 0 without a label
  double paletteLabelWidth = 0;
  double x = 0;                // left edge of the tool's cell
  QString action;
  int32_t toolType = kFLToolNone;
  uint64_t sequenceID = 0;
  bool isEnabled = false;
  bool useAlternate = false;

  bool isSpace() const { return toolType == kFLToolSpace || toolType == kFLToolFlexibleSpace; }
};
