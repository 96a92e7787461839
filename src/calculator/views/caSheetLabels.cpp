#include "calculator/views/caSheetLabels.h"

#include "calculator/model/CADocument.h"

#include <cmath>

QSizeF LabelExtent(double digitWidth, double lineHeight, double zoom) {
  if (zoom > 1.0) {
    digitWidth = std::ceil(float(digitWidth * zoom));
    lineHeight = std::ceil(float(lineHeight * zoom));
  }
  const double width = std::ceil(float(8.0 * digitWidth)) + 6.0 + 1.0;
  const double height = lineHeight + 4.0 + 1.0;
  return QSizeF(width, height);
}

QSizeF LabelExtent(const CADocument& document) {
  return LabelExtent(document.digitWidth(), document.lineHeight(), document.zoomValue());
}
