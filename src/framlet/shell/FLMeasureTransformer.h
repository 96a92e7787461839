// Binds a length in EMU to a control that shows points (a slider, a spin box): forward gives
// points, backward gives EMU rounded to the class-wide precision.
#pragma once

#include <QVariant>

#include <cstdint>

class FLMeasureTransformer {
 public:
  static bool allowsReverseTransformation() { return true; }
  // The quantum of the backward rounding (0: none; negative: the unit of the last parse).
  static void setPrecision(int64_t quantum);
  static int64_t precision();

  // EMU (a measure number) -> points as a double.
  static QVariant transformedValue(const QVariant& measure);
  // Points -> EMU, truncated and rounded, as a measure number (qlonglong).
  static QVariant reverseTransformedValue(const QVariant& points);
};
